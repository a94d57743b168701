// Pictures of the real window in its states over a simulated device (the README shows the connected one). Not
// a test; run it under a display:   xvfb-run -a build/dev/tests/app/app_screenshots OUTPUT_FOLDER [WIDTH]
// WIDTH widens the window as an operator would, to read long device lines.
#include "AppRig.h"

#include <QApplication>
#include <QDir>
#include <cstdio>

using namespace brenwick;

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: app_screenshots OUTPUT_FOLDER [WIDTH]\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    out.mkpath(".");
    DeviceSimOptions options;
    options.name = "Brenwick Demo Board";
    options.serial = "DEMO0001";
    options.baud = 57600;  // slow enough to catch the bar half way
    options.nakPage = 100; // refuses a page past half way: the run fails after the bar is pictured
    CAppRig rig(options);
    if (!rig.LoadFirmware(0x8000)) {
        return 1;
    }
    bool ok = true;
    const auto save = [&](bool reached, const char* name) {
        QCoreApplication::processEvents();
        const QString file = out.filePath(QString::fromLatin1(name) + ".png");
        const bool saved = reached && rig.m_Frame->grab().save(file);
        std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "cannot write", qPrintable(file));
        ok = ok && saved;
    };
    rig.m_Store.PutString("Settings\\Ints", "m_ComBaudrateIndex", "8"); // 57600
    rig.Open();
    if (argc == 3) {
        rig.m_Frame->resize(QString::fromLocal8Bit(argv[2]).toInt(), rig.m_Frame->height());
    }
    auto& view = rig.View();
    save(rig.WaitForStatus("Off Line"), "panel-offline");
    save(rig.GoOnline(), "panel-connected");
    view.StartButton().click();
    save(PumpUntil([&] { return rig.StatusText() == "Programming" && view.Status().GetPos() >= 48; }, 20000),
         "panel-programming");
    save(rig.WaitForStatus("Programming Error", 20000), "panel-programming-error");
    return ok ? 0 : 1;
}
