// brenwick: the operator's window for flashing a board through its boot loader.
#include "app/AppIcon.h"
#include "app/CBrenwickApp.h"
#include "base/StandardStreams.h"
#include "base/Version.h"
#include "panel/CommandLine.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    using namespace brenwick;
    using namespace brenwick::app;
    // Before anything is opened: a closed standard stream must not lend its number to the serial port.
    if (!brenwick::EnsureStandardStreams()) {
        return 1;
    }
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const panel::AppOptions early = panel::ParseCommandLine(args);
    // These need no window system, so they work on a machine without a display too.
    if (early.help) {
        std::fputs(panel::UsageText("brenwick").c_str(), stdout);
        return 0;
    }
    if (early.version) {
        std::printf("%s\n", panel::VersionText().c_str());
        return 0;
    }
    if (!early.error.empty()) {
        std::fprintf(stderr, "brenwick: %s\n%s", early.error.c_str(), panel::UsageText("brenwick").c_str());
        return 2;
    }
    const auto isSet = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY") && !isSet("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "brenwick: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are "
                             "unset); brenwick-cli flashes from a terminal\n");
        return 1;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brenwick"));
    QApplication::setOrganizationName(QStringLiteral("Veltmark"));
    QApplication::setApplicationVersion(QString::fromLatin1(brenwick::kVersion));
    QApplication::setDesktopFileName(QStringLiteral("brenwick"));
    QApplication::setWindowIcon(AppIcon());

    CBrenwickApp app(early);
    if (!app.InitInstance()) {
        return app.ExitCode();
    }
    return QApplication::exec();
}
