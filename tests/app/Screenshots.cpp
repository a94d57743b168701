// Pictures of the real window for the documentation and for looking at: the panel in its states (over
// simulated devices), the port setup dialog and the help window. Not a test; run it under a display:
//   xvfb-run -a build/dev/tests/app/app_screenshots OUTPUT_FOLDER [WIDTH]
// WIDTH widens the window as an operator would, to read long device lines.
#include "app/CMainFrame.h"
#include "app/CPortSetupDlg.h"
#include "cli/Firmware.h"
#include "devsim/SimulatedDevice.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <memory>

using namespace brenwick::app;

using namespace brenwick;

namespace {

template <class Predicate>
bool PumpUntil(Predicate done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

bool Save(QWidget& widget, const QString& folder, const char* name) {
    QCoreApplication::processEvents();
    const QString file = QDir(folder).filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    const bool saved = widget.grab().save(file);
    std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "cannot write", qPrintable(file));
    return saved;
}

std::unique_ptr<CSimulatedDevice> StartDevice(DeviceSimOptions options) {
    auto device = std::make_unique<CSimulatedDevice>(std::move(options));
    std::string error;
    if (!device->Start(&error)) {
        std::fprintf(stderr, "app_screenshots: %s\n", error.c_str());
        return nullptr;
    }
    return device;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: app_screenshots OUTPUT_FOLDER [WIDTH]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    DeviceSimOptions options;
    options.name = "Brenwick Demo Board";
    options.serial = "DEMO0001";
    options.flashRev = 125;
    options.bootRev = 100;
    options.baud = 57600; // slow enough to catch the bar half way
    auto board = StartDevice(options);
    options.nakPage = 40; // refuses a page: the run fails
    auto faulty = StartDevice(options);
    if (!board || !faulty) {
        return 1;
    }

    CTempDir dir;
    const auto app = firmware::Application(0x8000, firmware::kSam7Word, 0);
    CMemorySettingsStore store;
    store.PutString("FilePaths", "g_ProjectFilePath", firmware::Write(dir, "demo-board.hex", app, true));
    store.PutString("Settings\\Strings", "m_ActivePortName", board->PortPath());
    store.PutString("Settings\\Ints", "m_ComBaudrateIndex", "8"); // 57600
    CBrenwickDoc doc;
    auto frame = std::make_unique<brenwick::app::CMainFrame>(doc, store);
    doc.OnNewDocument();
    frame->UpdateTitle(QString::fromStdString(doc.PathName()));
    frame->View().OnInitialUpdate();
    frame->ActivateFrame();
    if (argc == 3) {
        frame->resize(QString::fromLocal8Bit(argv[2]).toInt(), frame->height());
    }
    auto& view = frame->View();
    const auto status = [&] { return view.Status().GetText(); };
    bool ok = true;

    ok = PumpUntil([&] { return status() == "Off Line"; }, 3000) && Save(*frame, out, "panel-offline") && ok;
    view.OnlineButton().click();
    ok = PumpUntil([&] { return status() == "Connected"; }, 8000) && Save(*frame, out, "panel-connected") &&
         ok;
    view.StartButton().click();
    ok = PumpUntil([&] { return status() == "Programming" && view.Status().GetPos() >= 48; }, 20000) &&
         Save(*frame, out, "panel-programming") && ok;
    ok = PumpUntil([&] { return status() == "Connected"; }, 20000) && ok;

    // The faulty board: off line, the other port, on line, Start.
    view.OnlineButton().click();
    ok = PumpUntil([&] { return status() == "Off Line"; }, 3000) && ok;
    doc.SetPortSettings(faulty->PortPath(), 8);
    view.OnlineButton().click();
    ok = PumpUntil([&] { return status() == "Connected"; }, 8000) && ok;
    view.StartButton().click();
    ok = PumpUntil([&] { return status() == "Programming Error"; }, 20000) &&
         Save(*frame, out, "panel-programming-error") && ok;

    QTimer::singleShot(500, [&] {
        if (brenwick::app::CPortSetupDlg* dialog = frame->PortSetupDialog()) {
            ok = Save(*dialog, out, "port-setup") && ok;
            dialog->reject();
        }
    });
    frame->OnPortSetup();

    frame->SetHelpFolder(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../../bin/help")));
    frame->HelpAction().trigger();
    ok =
        PumpUntil([&] { return frame->HelpWindow() != nullptr && frame->HelpWindow()->isVisible(); }, 3000) &&
        ok;
    PumpUntil([] { return false; }, 300);
    if (frame->HelpWindow() != nullptr) {
        ok = Save(*frame->HelpWindow(), out, "help-window") && ok;
    }
    frame->close();
    frame.reset();
    return ok ? 0 : 1;
}
