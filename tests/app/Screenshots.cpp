// Pictures of the real window in its states over a simulated device (the README shows the connected one), of
// each lasting outcome (programmed, a refused page, a silent board, a busy port, a missing port) and of the
// port setup dialog, and of the production view with four boards at different stages. Not a test; run it
// under a display:
//   xvfb-run -a build/dev/tests/app/app_screenshots OUTPUT_FOLDER [WIDTH]
// WIDTH widens the window as an operator would, to read long device lines.
#include "AppRig.h"
#include "app/CPortSetupDlg.h"
#include "app/ProductionView.h"

#include <QApplication>
#include <QDir>
#include <QProgressBar>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace brenwick;

namespace {

struct CShooter {
    QDir out;
    int width = 0;
    bool ok = true;

    void Save(CAppRig& rig, bool reached, const char* name) {
        Pump(300); // let the last tick paint
        const QString file = out.filePath(QString::fromLatin1(name) + ".png");
        const bool saved = reached && rig.m_Frame->grab().save(file);
        std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "cannot write", qPrintable(file));
        ok = ok && saved;
    }

    // A fresh window over a fresh board with `options`, on line at 57600 baud, slow enough to catch the bar.
    std::unique_ptr<CAppRig> Open(DeviceSimOptions options) {
        options.name = "Brenwick Demo Board";
        options.serial = "DEMO0001";
        options.baud = 57600;
        auto rig = std::make_unique<CAppRig>(options);
        rig->m_Store.PutString("Settings\\Ints", "m_ComBaudrateIndex", "8"); // 57600
        ok = rig->LoadFirmware(0x8000) && ok;
        rig->Open();
        if (width > 0) {
            rig->m_Frame->resize(width, rig->m_Frame->height());
        }
        return rig;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: app_screenshots OUTPUT_FOLDER [WIDTH]\n");
        return 2;
    }
    CShooter shoot{QDir(QString::fromLocal8Bit(argv[1])),
                   argc == 3 ? QString::fromLocal8Bit(argv[2]).toInt() : 0};
    shoot.out.mkpath(".");

    {
        auto rig = shoot.Open({});
        shoot.Save(*rig, rig->WaitForStatus("Off Line"), "panel-offline");
        shoot.Save(*rig, rig->GoOnline(), "panel-connected");
        rig->View().StartButton().click();
        shoot.Save(*rig, PumpUntil([&] { return rig->View().Status().GetPos() >= 48; }, 20000),
                   "panel-programming");
        shoot.Save(*rig, rig->WaitForStatus("Programmed", 30000), "panel-programmed");
    }
    {
        DeviceSimOptions refusing;
        refusing.nakPage = 5;
        auto rig = shoot.Open(refusing);
        rig->GoOnline();
        rig->View().StartButton().click();
        shoot.Save(*rig, rig->WaitForStatus("Programming Error", 30000), "panel-refused-page");
    }
    {
        DeviceSimOptions silent;
        silent.silent = true;
        auto rig = shoot.Open(silent);
        rig->View().OnlineButton().click();
        shoot.Save(*rig, rig->WaitForStatus("Not Connected"), "panel-silent-board");
    }
    {
        auto rig = shoot.Open({});
        const int holder =
            ::open(rig->m_Device->PortPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        const bool held = holder >= 0 && ::flock(holder, LOCK_EX | LOCK_NB) == 0;
        rig->View().OnlineButton().click();
        shoot.Save(*rig, held && rig->WaitForStatus("COM Port Failed To Open"), "panel-busy-port");
        if (holder >= 0) {
            ::close(holder);
        }
    }
    {
        // A port that is not there: the device was unplugged, or the name is wrong.
        auto rig = shoot.Open({});
        rig->m_Doc.SetPortSettings("/dev/ttyUSB99", 8);
        rig->View().OnlineButton().click();
        shoot.Save(*rig, rig->WaitForStatus("COM Port Failed To Open"), "panel-missing-port");
    }
    {
        // Production: one board passed, one refused a page, one being programmed on a slow line, one waiting.
        std::vector<std::unique_ptr<CSimulatedDevice>> boards; // outlive the window, which lets go of them
        CAppRig rig({}, false);
        shoot.ok = rig.LoadFirmware(0x8000) && shoot.ok;
        rig.Open();
        rig.m_Frame->SetProductionMode(true);
        rig.m_Frame->resize(std::max(shoot.width, 1000), 330);
        app::CProductionView& view = rig.m_Frame->Production();
        view.AutoBox().setChecked(false);
        const struct {
            int baud;
            int nakPage;
        } kinds[] = {{0, 0}, {9600, 0}, {0, 5}, {0, 0}};
        int k = 0;
        for (const auto& kind : kinds) {
            DeviceSimOptions options;
            options.name = "Brenwick Demo Board";
            options.serial = "SIM00000" + std::to_string(++k);
            options.baud = kind.baud;
            options.nakPage = kind.nakPage;
            boards.push_back(std::make_unique<CSimulatedDevice>(options));
            std::string error;
            shoot.ok = boards.back()->Start(&error) && shoot.ok;
            serial::SerialPortInfo port;
            port.path = boards.back()->PortPath();
            view.OnAppeared(port);
        }
        const auto start = [&](int row) {
            view.Table().selectRow(row);
            view.StartButton().click();
        };
        start(0);
        start(2);
        const bool ended = PumpUntil([&] { return view.Passed() == 1 && view.Failed() == 1; }, 30000);
        start(1);
        const auto* bar =
            static_cast<QProgressBar*>(view.Table().cellWidget(1, app::CProductionView::ColProgress));
        view.Table().clearSelection();
        shoot.Save(rig, ended && PumpUntil([&] { return bar->value() >= 40; }, 30000), "production");
    }
    {
        serial::SerialPortInfo board;
        board.path = "/dev/ttyACM0";
        board.byId = "/dev/serial/by-id/usb-Veltmark_Board_0042-if00";
        board.usbId = "1234:5678";
        board.product = "Veltmark Board";
        serial::SerialPortInfo uart;
        uart.path = "/dev/ttyS0";
        app::CPortSetupDlg dialog({board, uart}, nullptr);
        dialog.m_PortName = board.path;
        dialog.m_BaudIndex = 9;
        dialog.OnInitDialog();
        dialog.show();
        Pump(300);
        const QString file = shoot.out.filePath(QStringLiteral("port-setup.png"));
        const bool saved = dialog.grab().save(file);
        std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "cannot write", qPrintable(file));
        shoot.ok = shoot.ok && saved;
    }
    return shoot.ok ? 0 : 1;
}
