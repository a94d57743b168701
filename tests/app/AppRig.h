#pragma once

#include "app/CBrenwickView.h"
#include "app/CMainFrame.h"
#include "devsim/SimulatedDevice.h"
#include "document/BrenwickDoc.h"
#include "support/Firmware.h"
#include "support/MemorySettingsStore.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace brenwick {

// True when done() holds within timeoutMs, running the GUI thread's events meanwhile.
template <class Predicate>
bool PumpUntil(Predicate done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return done();
}

// Runs the GUI thread's events for `ms` milliseconds.
inline void Pump(int ms) {
    PumpUntil([] { return false; }, ms);
}

// Answers the panel's question whether to stop a run, each time it is asked, with the next of the answers
// given; the questions asked are kept.
class CQuestionAnswerer {
  public:
    explicit CQuestionAnswerer(brenwick::app::CBrenwickView& view)
        : CQuestionAnswerer([&view] { return view.OpenQuestion(); }) {}
    // The question that `openQuestion` finds open.
    explicit CQuestionAnswerer(std::function<QMessageBox*()> openQuestion) {
        QObject::connect(&m_Timer, &QTimer::timeout, [this, openQuestion = std::move(openQuestion)] {
            QMessageBox* box = openQuestion();
            if (box == nullptr || !box->isVisible() || m_Answers.empty()) {
                return;
            }
            m_Asked << box->text();
            box->button(m_Answers.front() ? QMessageBox::Yes : QMessageBox::No)->click();
            m_Answers.erase(m_Answers.begin());
        });
        m_Timer.start(20);
    }
    void Answer(bool yes) { m_Answers.push_back(yes); }

    QStringList m_Asked;

  private:
    std::vector<bool> m_Answers;
    QTimer m_Timer;
};

// The real main window and panel over the real document, its port naming a simulated device on a pty, with
// the settings in memory. The window is built the way the program starts it.
class CAppRig {
  public:
    explicit CAppRig(DeviceSimOptions options = {}, bool startDevice = true) {
        if (startDevice) {
            m_Device = std::make_unique<CSimulatedDevice>(options);
            std::string error;
            EXPECT_TRUE(m_Device->Start(&error)) << error;
            m_Store.PutString("Settings\\Strings", "m_ActivePortName", m_Device->PortPath());
        }
        m_Store.PutString("Settings\\Ints", "m_ComBaudrateIndex", "10"); // 115200
    }
    ~CAppRig() { m_Frame.reset(); } // stops the worker and closes the port before the device goes
    CAppRig(const CAppRig&) = delete;
    CAppRig& operator=(const CAppRig&) = delete;

    // Creates the window and the panel (first initial update: timer, settings, worker) and shows it.
    void Open() {
        m_Frame = std::make_unique<brenwick::app::CMainFrame>(m_Doc, m_Store);
        m_Doc.OnNewDocument();
        EXPECT_EQ(m_Doc.IsFileLoaded(), !m_FirmwarePath.empty()) << "the last file is reloaded at start";
        m_Frame->View().OnInitialUpdate();
        m_Frame->ActivateFrame();
    }

    // A firmware file for the simulated device's product: the last file of the previous run before Open(),
    // which reloads it; opened as File Open opens it after.
    bool LoadFirmware(size_t size = 0x6000) {
        m_App = firmware::Application(size, firmware::kSam7Word, 0);
        m_FirmwarePath = firmware::Write(m_Dir, "board.hex", m_App, true);
        return m_Frame ? m_Doc.OnOpenDocument(m_FirmwarePath) != 0
                       : m_Store.PutString("FilePaths", "g_ProjectFilePath", m_FirmwarePath);
    }
    std::vector<uint8_t> ExpectedFlash() const { return firmware::ExpectedFlash(m_App, 0, 0x40000, 256); }

    brenwick::app::CBrenwickView& View() { return m_Frame->View(); }
    QString StatusText() { return View().Status().GetText(); }
    QString Outcome() { return View().OutcomeLine().text(); }
    bool WaitForStatus(const QString& text, int timeoutMs = 6000) {
        return PumpUntil([&] { return StatusText() == text; }, timeoutMs);
    }
    // What the panel shows: the status text, the lamp, whether Start is enabled and Online ticked.
    void ExpectShows(const char* text, widgets::COLORREF lamp, bool startEnabled, bool online) {
        EXPECT_EQ(StatusText(), text);
        EXPECT_EQ(View().Status().GetLampColor(), lamp) << text;
        EXPECT_EQ(View().StartButton().isEnabled(), startEnabled) << text;
        EXPECT_EQ(View().OnlineButton().isChecked(), online) << text;
    }
    bool GoOnline() {
        View().OnlineButton().click();
        return WaitForStatus(m_FirmwarePath.empty() ? "File Not Loaded" : "Connected");
    }

    CTempDir m_Dir;
    std::unique_ptr<CSimulatedDevice> m_Device;
    CMemorySettingsStore m_Store;
    CBrenwickDoc m_Doc;
    std::unique_ptr<brenwick::app::CMainFrame> m_Frame;
    std::vector<uint8_t> m_App;
    std::string m_FirmwarePath;
};

} // namespace brenwick
