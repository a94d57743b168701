// Pictures of the real window in its states over simulated devices, the port setup dialog and the help
// window. Not a test; run it under a display:   xvfb-run -a build/dev/tests/app/app_screenshots OUTPUT_FOLDER
// [WIDTH] WIDTH widens the window as an operator would, to read long device lines.
#include "AppRig.h"
#include "app/CPortSetupDlg.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>

using namespace brenwick;
using brenwick::app::CPortSetupDlg;

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: app_screenshots OUTPUT_FOLDER [WIDTH]\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    out.mkpath(".");
    bool ok = true;
    const auto save = [&](bool reached, QWidget* widget, const char* name) {
        QCoreApplication::processEvents();
        const QString file = out.filePath(QString::fromLatin1(name) + ".png");
        const bool saved = reached && widget != nullptr && widget->grab().save(file);
        std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "cannot write", qPrintable(file));
        ok = ok && saved;
    };
    DeviceSimOptions options;
    options.name = "Brenwick Demo Board";
    options.serial = "DEMO0001";
    options.baud = 57600;  // slow enough to catch the bar half way
    options.nakPage = 100; // refuses a page past half way: the run fails after the bar is pictured
    CAppRig rig(options);
    if (!rig.LoadFirmware(0x8000)) {
        return 1;
    }
    rig.m_Store.PutString("Settings\\Ints", "m_ComBaudrateIndex", "8"); // 57600
    rig.Open();
    if (argc == 3) {
        rig.m_Frame->resize(QString::fromLocal8Bit(argv[2]).toInt(), rig.m_Frame->height());
    }
    auto& view = rig.View();
    save(rig.WaitForStatus("Off Line"), rig.m_Frame.get(), "panel-offline");
    save(rig.GoOnline(), rig.m_Frame.get(), "panel-connected");
    view.StartButton().click();
    save(PumpUntil([&] { return rig.StatusText() == "Programming" && view.Status().GetPos() >= 48; }, 20000),
         rig.m_Frame.get(), "panel-programming");
    save(rig.WaitForStatus("Programming Error", 20000), rig.m_Frame.get(), "panel-programming-error");
    QTimer::singleShot(500, [&] {
        if (CPortSetupDlg* dialog = rig.m_Frame->PortSetupDialog()) {
            save(true, dialog, "port-setup");
            dialog->reject();
        }
    });
    rig.m_Frame->OnPortSetup();
    rig.m_Frame->SetHelpFolder(QDir(QCoreApplication::applicationDirPath()).filePath("../../bin/help"));
    rig.m_Frame->HelpAction().trigger();
    Pump(300);
    save(true, rig.m_Frame->HelpWindow(), "help-window");
    return ok ? 0 : 1;
}
