// The link worker: opens and closes the port on command, keeps the link alive with the identification
// handshake and a status poll whenever it has been idle for half a second, and runs the programming sequence.
#include "document/Link.h"
#include "protocol/MessageFrame.h"

#include <algorithm>

namespace brenwick {

namespace {

struct HandshakeRequest {
    ControlItemCode code;
    int parameter; // -1: a request without a parameter
};

// The identification handshake, in the order the device expects it.
constexpr HandshakeRequest kHandshake[] = {
    {ControlItemCode::TargetName, -1},   {ControlItemCode::AuxWord, -1},
    {ControlItemCode::Revision, 0},      {ControlItemCode::Revision, 1},
    {ControlItemCode::ProductId, -1},    {ControlItemCode::SerialNumber, -1},
    {ControlItemCode::FlashGeometry, 0},
};

} // namespace

CLink::CLink(const CPortSettings& settings, const CFirmwareImage& image)
    : m_Settings(settings), m_Image(image) {
    m_RunEnded.Set();
}

CLink::~CLink() {
    StopWorker();
    ClosePort();
}

void CLink::StartWorker() {
    if (m_pWorkerThread.joinable()) {
        return;
    }
    m_StopRequested = false;
    m_StopEvent.Reset();
    m_WorkerExited.Reset();
    m_WorkerRunning = true;
    m_pWorkerThread = std::thread([this] { WorkerLoop(); });
}

void CLink::StopWorker() {
    if (!m_pWorkerThread.joinable()) {
        return;
    }
    m_WorkerRunning = false;
    {
        std::lock_guard lock(m_CommandLock);
        m_StopRequested = true;
        m_StopEvent.Set();
    }
    m_hResponseEvent.Set(); // a message waiting for its reply gives up at once
    PostCommand(WorkerCommand::None);
    // The handshake, the sequence and their pauses look at the stop flag between messages. Joining makes sure
    // no worker outlives the link.
    while (!CancelWritesUntil(m_WorkerExited, protocol::kStopRunLimitMs)) {
    }
    m_pWorkerThread.join();
}

bool CLink::CancelWritesUntil(serial::CSyncEvent& done, uint32_t limitMs) {
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

void CLink::PostCommand(WorkerCommand command) {
    std::lock_guard lock(m_CommandLock);
    m_Command = command;
    // From the moment Program is posted until the worker is done with it, the image must stay as it is.
    m_ImageInUse = command == WorkerCommand::Program || m_RunningCommand == WorkerCommand::Program;
    m_hCommandEvent.Set();
}

void CLink::ClearRunStopLocked() {
    m_RunStopRequested = false;
    if (!m_StopRequested) {
        m_StopEvent.Reset(); // a stopped run must not cut later pauses short
    }
}

bool CLink::StopRun() {
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

void CLink::WorkerLoop() {
    while (m_WorkerRunning) {
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

void CLink::IdleWork() {
    {
        std::lock_guard lock(m_RxLock);
        m_Assembler.IdleStep();
    }
    if (!m_OnLine) {
        m_LinkState = LinkState::OffLine;
    } else if (!Handshake() || !PollStatus()) {
        if (!Stopping()) {
            m_LinkState = LinkState::NotConnected;
        }
    }
    OnBytesSent(0);
}

void CLink::RunCommand(WorkerCommand command) {
    switch (command) {
    case WorkerCommand::Connect:
        OpenLink();
        m_OnLine = m_Port.IsOpen(); // once open, the link state waits for the next idle handshake
        if (!m_OnLine) {
            m_LinkState = LinkState::PortOpenFailed;
        }
        break;
    case WorkerCommand::Disconnect:
        ClosePort();
        m_OnLine = false;
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

bool CLink::Request(ControlItemCode code, int parameter) {
    if (Stopping()) {
        return false;
    }
    m_UnansweredRequest = static_cast<uint16_t>(code);
    uint8_t message[8];
    if (parameter < 0) {
        frame::BuildRequest(message, code);
    } else {
        frame::BuildRequest(message, code, static_cast<uint8_t>(parameter));
    }
    return SendAndWait(message).why == SendFailure::None;
}

bool CLink::Handshake() {
    return std::all_of(std::begin(kHandshake), std::end(kHandshake),
                       [this](const HandshakeRequest& r) { return Request(r.code, r.parameter); });
}

bool CLink::PollStatus() {
    if (!Request(ControlItemCode::Status, -1)) {
        return false;
    }
    m_UnansweredRequest = 0;
    return true;
}

bool CLink::PauseUnlessStopped(uint32_t timeoutMs) {
    m_StopEvent.Wait(timeoutMs);
    return !RunStopping();
}

void CLink::OnBytesSent(int32_t sent) {
    std::lock_guard lock(m_RunLock);
    m_BytesSent = sent;
}

bool CLink::ProgramDevice() {
    // The device's values as they stand now; a stray reply during the run must not move the pages.
    const DeviceInfo device = m_Device.Info();
    {
        std::lock_guard lock(m_RunLock);
        m_RunFailure = {};
        m_BytesSent = 0;
        m_BytesToSend = BytesToSend(m_Image.m_ImageLen, device.bootLength, device.pageSize);
    }
    RunFailure failure;
    const SequenceResult result = RunSequence(*this, m_Image, device, failure);
    if (result == SequenceResult::ProductMismatch && m_ShowMessage) {
        m_ShowMessage(kWrongProductText); // the front end shows it; the worker waits until it is closed
    }
    {
        std::lock_guard lock(m_RunLock);
        m_RunFailure = failure;
    }
    m_LastSequence = result;
    m_RunActive = false;
    return result == SequenceResult::Succeeded;
}

} // namespace brenwick
