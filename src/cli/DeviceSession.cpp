#include "cli/DeviceSession.h"

#include "cli/ExitCodes.h"
#include "serial/PortErrors.h"

#include <algorithm>
#include <cstdio>

namespace {

struct ResultRow {
    SessionResult result;
    int exitCode;
    const char* text;
};

// In order of priority, highest first (the order of SessionResult).
constexpr ResultRow kResults[] = {
    {SessionResult::Interrupted, kExitInterrupted, "Interrupted"},
    {SessionResult::PortFailed, kExitPortFailed, "COM Port Failed To Open"},
    {SessionResult::NoAnswer, kExitNoAnswer, "Not Connected"},
    {SessionResult::LoadFailed, kExitLoadFailed, "File Not Loaded"},
    {SessionResult::ProductMismatch, kExitProductMismatch, "Invalid .hex file for this Product"},
    {SessionResult::DeviceError, kExitDeviceError, "Programming Error"},
    {SessionResult::Succeeded, kExitOk, "OK"},
};

const ResultRow& RowFor(SessionResult result) {
    return kResults[static_cast<size_t>(result)];
}

std::string IdText(const std::array<uint8_t, 4>& id) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X %02X %02X", id[0], id[1], id[2], id[3]);
    return text;
}

} // namespace

int ExitCodeFor(SessionResult result) {
    return RowFor(result).exitCode;
}

const char* ResultText(SessionResult result) {
    return RowFor(result).text;
}

SessionResult WorstOf(SessionResult a, SessionResult b) {
    return static_cast<int>(a) < static_cast<int>(b) ? a : b;
}

CDeviceSession::CDeviceSession(std::string port, int baudIndex, std::chrono::milliseconds answerTimeout)
    : m_Port(std::move(port)), m_Timeout(answerTimeout),
      m_Loop([this](uint32_t message, uint32_t wParam, intptr_t lParam) {
          if (message == protocol::kPortMessage) {
              m_Doc.OnPortEvent(wParam & 0xFFFF, lParam);
          }
      }) {
    m_Doc.m_hNotifyWnd = &m_Loop;
    m_Doc.SetPortSettings(m_Port, baudIndex);
    m_Doc.SetMessageCallback([this](const std::string& text) {
        std::lock_guard lock(m_MessageLock);
        m_DeviceMessage = text;
    });
}

CDeviceSession::~CDeviceSession() {
    // Nothing may be delivered to the document once the loop is gone: the worker and the port go first.
    m_Doc.StopWorker();
    m_Doc.ClosePort();
}

bool CDeviceSession::OpenFile(const std::string& path) {
    if (m_Doc.OnOpenDocument(path) != 0) {
        return true;
    }
    m_Message = m_Doc.LastLoadResult().Describe();
    return false;
}

void CDeviceSession::Start(bool program) {
    m_Program = program;
    m_Started = Clock::now();
    m_Deadline = m_Started + m_Timeout;
    m_Phase = Phase::Opening;
    m_Doc.StartWorker();
    m_Doc.PostCommand(Connect);
}

bool CDeviceSession::Step() {
    switch (m_Phase) {
    case Phase::Opening:
        StepOpening();
        break;
    case Phase::Identifying:
        StepIdentifying();
        break;
    case Phase::Programming:
        StepProgramming();
        break;
    case Phase::AwaitingVerdict:
        StepVerdict();
        break;
    case Phase::Idle:
    case Phase::Done:
        break;
    }
    return Done();
}

void CDeviceSession::Interrupt() {
    m_Doc.StopWorker();
    m_Doc.ClosePort();
    if (!Done()) {
        if (m_Phase == Phase::Programming) {
            m_BytesSeen = std::max<int32_t>(m_BytesSeen, m_Doc.m_BytesSent);
            m_ProgramEnded = Clock::now();
        }
        Finish(SessionResult::Interrupted, "interrupted");
    }
}

void CDeviceSession::Finish(SessionResult result, std::string message) {
    m_Result = result;
    m_Message = std::move(message);
    m_Ended = Clock::now();
    m_Phase = Phase::Done;
}

void CDeviceSession::StepOpening() {
    // The worker clears the command slot once it has carried the Connect out.
    if (m_Doc.m_Command != None) {
        return;
    }
    if (m_Doc.m_OnLine == 0) {
        Finish(SessionResult::PortFailed, std::string(protocol::LinkStateText(PortOpenFailed)) + ": " +
                                              DescribePortError(m_Doc.LastOpenError()));
        return;
    }
    m_Phase = Phase::Identifying;
}

bool CDeviceSession::DeviceAnswered() const {
    // The state leaves OffLine only through a handshake and status poll that the device answered.
    const int32_t state = m_Doc.m_LinkState;
    return (state == Connected || state == Programming || state == ProgrammingError) &&
           m_Doc.m_FlashSize != 0;
}

std::string CDeviceSession::Seconds(std::chrono::milliseconds span) const {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", static_cast<double>(span.count()) / 1000.0);
    return text;
}

void CDeviceSession::StepIdentifying() {
    if (DeviceAnswered()) {
        if (m_Program) {
            BeginProgramming();
        } else {
            Finish(SessionResult::Succeeded, std::string(protocol::LinkStateText(m_Doc.m_LinkState)));
        }
        return;
    }
    if (Clock::now() >= m_Deadline) {
        const bool partial =
            m_Doc.m_LinkState != NotConnected && m_Doc.m_FlashSize == 0 && m_Doc.m_LinkState != OffLine;
        Finish(SessionResult::NoAnswer,
               std::string(protocol::LinkStateText(NotConnected)) + ": " +
                   (partial ? "the device did not report its flash geometry"
                            : "the device did not answer within " + Seconds(m_Timeout)));
    }
}

void CDeviceSession::BeginProgramming() {
    // Read the file again now that the device's geometry is known: the image is stamped for this device.
    if (m_Doc.ReloadImage() == 0) {
        Finish(SessionResult::LoadFailed, m_Doc.LastLoadResult().Describe());
        return;
    }
    const int32_t page = m_Doc.m_PageSize;
    const int32_t span = m_Doc.m_Firmware.m_ImageLen + 4 - m_Doc.m_BootLength;
    m_BytesToSend = page > 0 && span > 0 ? (span + page - 1) / page * page : 0;
    m_BytesSeen = 0;
    m_ProgramStarted = Clock::now();
    m_Doc.PostCommand(Program);
    m_Phase = Phase::Programming;
}

void CDeviceSession::StepProgramming() {
    m_BytesSeen = std::max<int32_t>(m_BytesSeen, m_Doc.m_BytesSent);
    if (m_Doc.IsImageInUse()) {
        return;
    }
    m_ProgramEnded = Clock::now();
    switch (m_Doc.LastSequenceResult()) {
    case SequenceResult::Succeeded:
        // The sequence is through; the device's own verdict comes with the next status poll.
        m_BytesSeen = m_BytesToSend;
        m_Deadline = m_ProgramEnded + m_Timeout + std::chrono::milliseconds(protocol::kIdleWaitMs);
        m_Phase = Phase::AwaitingVerdict;
        return;
    case SequenceResult::ProductMismatch: {
        std::string text;
        {
            std::lock_guard lock(m_MessageLock);
            text = m_DeviceMessage.empty() ? ResultText(SessionResult::ProductMismatch) : m_DeviceMessage;
        }
        Finish(SessionResult::ProductMismatch, text + " (the file is for product " +
                                                   IdText(m_Doc.m_Firmware.ProductId(m_Doc.m_BootLength)) +
                                                   ", the device is " + IdText(m_Doc.ProductIdBytes()) + ")");
        return;
    }
    case SequenceResult::BadPageSize:
        Finish(SessionResult::DeviceError, "Programming Error: the device reported a page size of " +
                                               std::to_string(m_Doc.m_PageSize.load()) +
                                               " bytes, which no message can carry");
        return;
    case SequenceResult::Stopped:
        Finish(SessionResult::Interrupted, "interrupted");
        return;
    case SequenceResult::NoRelease:
    case SequenceResult::NotRun:
        break;
    }
    Finish(SessionResult::DeviceError, "Programming Error: the device did not accept a message after " +
                                           std::to_string(m_BytesSeen) +
                                           " bytes (refused, or no answer in time)");
}

void CDeviceSession::StepVerdict() {
    switch (m_Doc.m_LinkState) {
    case Connected:
        Finish(SessionResult::Succeeded, "the device reports the new firmware in place");
        return;
    case ProgrammingError:
        Finish(SessionResult::DeviceError,
               "Programming Error: the device reported an error after programming");
        return;
    case NotConnected:
        Finish(SessionResult::NoAnswer, "Not Connected: the device stopped answering after programming");
        return;
    default:
        break;
    }
    if (Clock::now() >= m_Deadline) {
        Finish(SessionResult::DeviceError, "Programming Error: the device still reports programming " +
                                               Seconds(m_Timeout) + " after the end");
    }
}

DeviceFacts CDeviceSession::Facts() const {
    DeviceFacts facts;
    facts.name = m_Doc.TargetName();
    facts.serialNumber = m_Doc.SerialNumber();
    facts.bootRev = m_Doc.m_BootRev;
    facts.flashRev = m_Doc.m_FlashRev;
    facts.productId = m_Doc.ProductIdBytes();
    facts.flashSize = m_Doc.m_FlashSize;
    facts.pageSize = m_Doc.m_PageSize;
    facts.bootLength = m_Doc.m_BootLength;
    facts.linkState = m_Doc.m_LinkState;
    return facts;
}

int32_t CDeviceSession::BytesSent() const {
    return m_Phase == Phase::Programming ? std::max<int32_t>(m_BytesSeen, m_Doc.m_BytesSent) : m_BytesSeen;
}

int CDeviceSession::Percent() const {
    if (m_BytesToSend <= 0) {
        return 0;
    }
    return static_cast<int>(std::clamp<int64_t>(int64_t{BytesSent()} * 100 / m_BytesToSend, 0, 100));
}

double CDeviceSession::ProgramSeconds() const {
    if (m_ProgramStarted == Clock::time_point{}) {
        return 0;
    }
    const auto end = m_ProgramEnded != Clock::time_point{} ? m_ProgramEnded : Clock::now();
    return std::chrono::duration<double>(end - m_ProgramStarted).count();
}

double CDeviceSession::TotalSeconds() const {
    if (m_Started == Clock::time_point{}) {
        return 0;
    }
    const auto end = Done() ? m_Ended : Clock::now();
    return std::chrono::duration<double>(end - m_Started).count();
}
