// The link worker: opens and closes the port on command, keeps the link alive with the identification
// handshake and a status poll whenever it has been idle for half a second, and runs the programming sequence.
#include "protocol/BrenwickDoc.h"
#include "protocol/MessageFrame.h"
#include "serial/SerialTypes.h"

namespace brenwick {

namespace {

struct Request {
    ControlItemCode code;
    int parameter; // -1: a request without a parameter
};

// The identification handshake, in the order the device expects it.
constexpr Request kHandshake[] = {
    {ControlItemCode::TargetName, -1},   {ControlItemCode::AuxWord, -1},
    {ControlItemCode::Revision, 0},      {ControlItemCode::Revision, 1},
    {ControlItemCode::ProductId, -1},    {ControlItemCode::SerialNumber, -1},
    {ControlItemCode::FlashGeometry, 0},
};

} // namespace

CBrenwickDoc::CBrenwickDoc() {
    m_RunEnded.Set();
}

CBrenwickDoc::~CBrenwickDoc() {
    StopWorker();
    ClosePort();
}

void CBrenwickDoc::StartWorker() {
    if (m_pWorkerThread.joinable()) {
        return;
    }
    m_StopRequested = false;
    m_StopEvent.Reset();
    m_WorkerExited.Reset();
    m_WorkerRunning = 1;
    m_pWorkerThread = std::thread([this] { WorkerLoop(); });
}

void CBrenwickDoc::StopWorker() {
    if (!m_pWorkerThread.joinable()) {
        return;
    }
    m_WorkerRunning = 0;
    {
        std::lock_guard lock(m_CommandLock);
        m_StopRequested = true;
        m_StopEvent.Set();
    }
    m_hResponseEvent.Set(); // a message waiting for its reply gives up at once
    PostCommand(WorkerCommand::None);
    // The handshake, the sequence and their pauses look at the stop flag between messages. Joining makes sure
    // no worker outlives the document.
    while (!CancelWritesUntil(m_WorkerExited, protocol::kStopRunLimitMs)) {
    }
    m_pWorkerThread.join();
}

bool CBrenwickDoc::CancelWritesUntil(serial::CSyncEvent& done, uint32_t limitMs) {
    // A write that a device which stopped reading holds up is cancelled, again and again, since a write may
    // start just after a cancel.
    for (uint32_t waited = 0; waited < limitMs; waited += protocol::kStopCancelEveryMs) {
        m_Port.CancelIo();
        if (done.Wait(protocol::kStopCancelEveryMs)) {
            return true;
        }
    }
    return false;
}

void CBrenwickDoc::PostCommand(WorkerCommand command) {
    std::lock_guard lock(m_CommandLock);
    m_Command = command;
    // From the moment Program is posted until the worker is done with it, the image must stay as it is.
    m_ImageInUse = command == WorkerCommand::Program || m_RunningCommand == WorkerCommand::Program;
    m_hCommandEvent.Set();
}

void CBrenwickDoc::ClearRunStopLocked() {
    m_RunStopRequested = false;
    if (!m_StopRequested) {
        m_StopEvent.Reset(); // a stopped run must not cut later pauses short
    }
}

bool CBrenwickDoc::StopRun() {
    {
        std::lock_guard lock(m_CommandLock);
        if (m_Command == WorkerCommand::Program) {
            m_Command = WorkerCommand::None; // not started: nothing of it reached the board
            m_ImageInUse = m_RunningCommand == WorkerCommand::Program;
        }
        if (m_RunningCommand != WorkerCommand::Program) {
            return true;
        }
        m_RunStopRequested = true;
        m_StopEvent.Set();
    }
    m_hResponseEvent.Set(); // the message in flight counts as not released
    return CancelWritesUntil(m_RunEnded, protocol::kStopRunLimitMs);
}

void CBrenwickDoc::WorkerLoop() {
    m_RxActive = 0;
    while (m_WorkerRunning != 0) {
        if (!m_hCommandEvent.Wait(protocol::kIdleWaitMs)) {
            IdleWork();
            continue;
        }
        WorkerCommand command = WorkerCommand::None;
        {
            std::lock_guard lock(m_CommandLock);
            command = m_Command.exchange(WorkerCommand::None);
            m_RunningCommand = command;
            if (command == WorkerCommand::Program) {
                ClearRunStopLocked();
                m_RunEnded.Reset();
            }
        }
        RunCommand(command);
        // A command posted while this one ran stays in the slot and runs next.
        std::lock_guard lock(m_CommandLock);
        m_RunningCommand = WorkerCommand::None;
        m_ImageInUse = m_Command == WorkerCommand::Program;
        if (command == WorkerCommand::Program) {
            ClearRunStopLocked();
            m_RunEnded.Set();
        }
    }
    m_WorkerExited.Set();
}

void CBrenwickDoc::IdleWork() {
    if (m_RxActive != 0 && --m_RxIdleCount <= 0) {
        m_RxActive = 0; // a message of which only a part arrived is dropped
        m_RxState = 0;
    }
    if (m_OnLine == 0) {
        m_LinkState = LinkState::OffLine;
    } else if (!Handshake() || !PollStatus()) {
        if (!Stopping()) {
            m_LinkState = LinkState::NotConnected;
        }
    }
    SetBytesSent(0);
}

void CBrenwickDoc::RunCommand(WorkerCommand command) {
    switch (command) {
    case WorkerCommand::Connect:
        OpenLink();
        if (m_Port.IsOpen()) {
            m_RxState = 0;
            m_OnLine = 1; // the link state waits for the next idle handshake
        } else {
            m_LinkState = LinkState::PortOpenFailed;
            m_OnLine = 0;
        }
        break;
    case WorkerCommand::Disconnect:
        ClosePort();
        m_OnLine = 0;
        m_LinkState = LinkState::OffLine;
        break;
    case WorkerCommand::Program:
        m_LinkState = LinkState::Programming;
        if (!ProgramDevice()) {
            m_LinkState = LinkState::ProgrammingError;
        }
        break;
    default:
        break;
    }
}

void CBrenwickDoc::ClosePort() {
    std::lock_guard lock(m_CloseLock);
    if (m_Port.IsOpen()) {
        m_Port.ClosePort();
    }
}

void CBrenwickDoc::OpenLink() {
    ClosePort();
    m_RxActive = 0;
    m_RxState = 0;
    m_ProductId = protocol::kDefaultProductId;
    m_ProductIdPending = 1;
    m_LastOpenError = std::error_code();
    m_LinkLost = false;
    m_UnansweredRequest = 0;

    std::string name;
    int baudIndex = 0;
    {
        std::lock_guard lock(m_SettingsLock);
        name = m_ActivePortName;
        baudIndex = m_ComBaudrateIndex;
    }
    // A stored index outside the table opens nothing: the connect fails as a port that cannot be opened.
    const int32_t baud = protocol::BaudRateForIndex(baudIndex);
    if (baud == 0) {
        m_LastOpenError = serial::PortErrc::InvalidArgument;
        return;
    }
    std::lock_guard lock(m_CloseLock);
    const std::error_code opened =
        m_Port.OpenPort(name.c_str(), m_hNotifyWnd, protocol::kPortMessage, 0, 32768, 32768);
    if (opened) {
        m_LastOpenError = opened;
        return;
    }
    m_LineBaud = baud;
    if (const std::error_code setup =
            m_Port.SetupLine(baud, serial::DataBits8, serial::ParityNone, serial::StopBitsOne)) {
        m_LastOpenError = setup;
        m_Port.ClosePort();
        return;
    }
    m_Port.SetHandshaking(serial::HandshakeOff);
    m_Port.SetEventMask(serial::EV_RXCHAR | serial::EV_TXEMPTY | serial::EV_ERR);
    m_Port.SetReadTimeoutMode(serial::ReadTimeoutNonblocking);
}

bool CBrenwickDoc::Handshake() {
    for (const Request& request : kHandshake) {
        if (Stopping()) {
            return false;
        }
        m_UnansweredRequest = static_cast<uint16_t>(request.code);
        if (request.parameter < 0) {
            frame::BuildRequest(m_TxBuffer, request.code);
        } else {
            frame::BuildRequest(m_TxBuffer, request.code, static_cast<uint8_t>(request.parameter));
        }
        if (!SendAndWait(m_TxBuffer)) {
            return false;
        }
    }
    return true;
}

bool CBrenwickDoc::PollStatus() {
    if (Stopping()) {
        return false;
    }
    m_UnansweredRequest = static_cast<uint16_t>(ControlItemCode::Status);
    frame::BuildRequest(m_TxBuffer, ControlItemCode::Status);
    if (!SendAndWait(m_TxBuffer)) {
        return false;
    }
    m_UnansweredRequest = 0;
    return true;
}

bool CBrenwickDoc::PauseUnlessStopped(uint32_t timeoutMs) {
    m_StopEvent.Wait(timeoutMs);
    return !RunStopping();
}

} // namespace brenwick
