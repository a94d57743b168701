#include "station/DeviceSession.h"

#include "document/RunReport.h"
#include "serial/PortErrors.h"

#include <algorithm>
#include <cstdio>

namespace brenwick::station {

namespace {

struct ResultRow {
    SessionResult result;
    std::string_view text;
};

// In order of priority, highest first (the order of SessionResult).
constexpr ResultRow kResults[] = {
    {SessionResult::Interrupted, "Interrupted"},
    {SessionResult::PortFailed, protocol::LinkStateText(LinkState::PortOpenFailed)},
    {SessionResult::NoAnswer, protocol::LinkStateText(LinkState::NotConnected)},
    {SessionResult::LoadFailed, "File Not Loaded"},
    {SessionResult::ProductMismatch, kWrongProductText},
    {SessionResult::DeviceError, protocol::LinkStateText(LinkState::ProgrammingError)},
    {SessionResult::Succeeded, "OK"},
};

const ResultRow& RowFor(SessionResult result) {
    return kResults[static_cast<size_t>(result)];
}

} // namespace

std::string ResultText(SessionResult result) {
    return std::string(RowFor(result).text);
}

SessionResult WorstOf(SessionResult a, SessionResult b) {
    return static_cast<int>(a) < static_cast<int>(b) ? a : b;
}

std::string PhaseText(const CDeviceSession& session) {
    switch (session.CurrentPhase()) {
    case CDeviceSession::Phase::Idle:
    case CDeviceSession::Phase::Opening:
        return "Opening the port";
    case CDeviceSession::Phase::Identifying:
        return "Connecting";
    case CDeviceSession::Phase::Programming:
        return "Programming";
    case CDeviceSession::Phase::AwaitingVerdict:
        return "Waiting for the device's verdict";
    case CDeviceSession::Phase::Done:
        break;
    }
    return ResultText(session.Result());
}

CDeviceSession::CDeviceSession(std::string port, int baudIndex, std::chrono::milliseconds answerTimeout)
    : m_Port(std::move(port)), m_Timeout(answerTimeout) {
    Doc().SetPortSettings(m_Port, baudIndex);
    Doc().SetMessageCallback([this](const std::string& text) {
        std::lock_guard lock(m_MessageLock);
        m_DeviceMessage = text;
    });
}

CDeviceSession::~CDeviceSession() = default;

bool CDeviceSession::OpenFile(const std::string& path) {
    m_File = path;
    if (Doc().OnOpenDocument(path) != 0) {
        return true;
    }
    m_Message = Doc().LastLoadResult().Describe();
    return false;
}

void CDeviceSession::Start(bool program) {
    m_Program = program;
    m_Started = Clock::now();
    m_Deadline = m_Started + m_Timeout;
    m_Phase = Phase::Opening;
    Doc().StartWorker();
    Doc().PostCommand(WorkerCommand::Connect);
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
    Doc().StopWorker();
    Doc().ClosePort();
    if (!Done()) {
        if (m_Phase == Phase::Programming) {
            m_BytesSeen = std::max<int32_t>(m_BytesSeen, Doc().Snapshot().bytesSent);
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
    const DocSnapshot state = Doc().Snapshot();
    if (state.commandPending) {
        return;
    }
    if (!state.onLine) {
        Fail(SessionResult::PortFailed, serial::DescribePortError(state.lastOpenError));
        return;
    }
    m_Phase = Phase::Identifying;
}

bool CDeviceSession::DeviceAnswered(const DocSnapshot& state) {
    // The state leaves OffLine only through a handshake and status poll that the device answered.
    const LinkState link = state.linkState;
    return (link == LinkState::Connected || link == LinkState::Programming ||
            link == LinkState::ProgrammingError) &&
           state.device.flashSize != 0;
}

std::string CDeviceSession::Seconds(std::chrono::milliseconds span) const {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", static_cast<double>(span.count()) / 1000.0);
    return text;
}

void CDeviceSession::StepIdentifying() {
    const DocSnapshot state = Doc().Snapshot();
    if (DeviceAnswered(state)) {
        if (m_Program && m_ProgramFilter && !m_ProgramFilter(state.device)) {
            m_Skipped = true;
            Finish(SessionResult::Succeeded, "already programmed with this firmware");
        } else if (m_Program) {
            BeginProgramming();
        } else {
            Finish(SessionResult::Succeeded, std::string(protocol::LinkStateText(state.linkState)));
        }
        return;
    }
    if (state.lineGone) {
        // Nothing can answer on a line that was hung up: waiting out the time-out would tell nothing more.
        Fail(SessionResult::NoAnswer, "the device went away (the line was hung up) before it answered");
        return;
    }
    if (Clock::now() >= m_Deadline) {
        // A device that answered part of the identification is told apart from one that is silent.
        std::string why = "the device did not answer within " + Seconds(m_Timeout);
        if (state.unansweredRequest && *state.unansweredRequest != ControlItemCode::TargetName) {
            why = NoAnswerText(state) + " (waited " + Seconds(m_Timeout) + ")";
        } else if (state.linkState != LinkState::NotConnected && state.linkState != LinkState::OffLine &&
                   state.device.flashSize == 0) {
            why = "the device did not report its flash geometry"; // it answered, but with a short reply
        }
        Fail(SessionResult::NoAnswer, why);
    }
}

void CDeviceSession::BeginProgramming() {
    // Read the file again now that the device's geometry is known: the image is stamped for this device.
    if (Doc().ReloadImage() == 0) {
        Finish(SessionResult::LoadFailed, m_File + ": " + Doc().LastLoadResult().Describe() +
                                              " (stamped for this device's boot area of " +
                                              std::to_string(Doc().Snapshot().device.bootLength) + " bytes)");
        return;
    }
    const DocSnapshot state = Doc().Snapshot();
    m_Stamp = Doc().Stamp();
    m_BytesToSend = Doc().BytesToSend(state.device.bootLength, state.device.pageSize);
    m_BytesSeen = 0;
    m_ProgramStarted = Clock::now();
    Doc().PostCommand(WorkerCommand::Program);
    m_Phase = Phase::Programming;
}

std::string CDeviceSession::SequenceFailure(const DocSnapshot& state, SequenceResult result) {
    const std::string why = RunFailureText(state, m_File);
    const std::string failed = ResultText(SessionResult::DeviceError) + ": " + why;
    switch (result) {
    case SequenceResult::ProductMismatch: {
        std::lock_guard lock(m_MessageLock);
        const std::string text =
            m_DeviceMessage.empty() ? ResultText(SessionResult::ProductMismatch) : m_DeviceMessage;
        return text + " (" + why + ")";
    }
    case SequenceResult::BadPageSize:
    case SequenceResult::TooLarge:
        return failed;
    default:
        return failed + " after " + std::to_string(m_BytesSeen) + " bytes";
    }
}

void CDeviceSession::StepProgramming() {
    const DocSnapshot state = Doc().Snapshot();
    m_BytesSeen = std::max<int32_t>(m_BytesSeen, state.bytesSent);
    if (state.imageInUse) {
        return;
    }
    m_ProgramEnded = Clock::now();
    switch (state.lastSequence) {
    case SequenceResult::Succeeded:
        // The sequence is through; the device's own verdict comes with a status poll within the time-out.
        m_BytesSeen = m_BytesToSend;
        m_Deadline = m_ProgramEnded + m_Timeout + std::chrono::milliseconds(protocol::kIdleWaitMs);
        m_Phase = Phase::AwaitingVerdict;
        return;
    case SequenceResult::ProductMismatch:
        Finish(SessionResult::ProductMismatch, SequenceFailure(state, state.lastSequence));
        return;
    case SequenceResult::Stopped:
        Finish(SessionResult::Interrupted, "interrupted");
        return;
    default:
        Finish(SessionResult::DeviceError, SequenceFailure(state, state.lastSequence));
        return;
    }
}

void CDeviceSession::StepVerdict() {
    const LinkState link = Doc().Snapshot().linkState;
    switch (link) {
    case LinkState::Connected:
        Finish(SessionResult::Succeeded, "the device reports the new firmware in place");
        return;
    case LinkState::ProgrammingError:
        Fail(SessionResult::DeviceError, "the device reported an error after programming");
        return;
    default:
        break; // still programming, or a poll missed while the device writes or restarts: wait on
    }
    if (Clock::now() < m_Deadline) {
        return;
    }
    if (link == LinkState::NotConnected) {
        Fail(SessionResult::NoAnswer,
             "the device stopped answering after programming (no verdict within " + Seconds(m_Timeout) + ")");
    } else {
        Fail(SessionResult::DeviceError,
             "the device still reports programming " + Seconds(m_Timeout) + " after the end");
    }
}

int32_t CDeviceSession::BytesSent() const {
    return m_Phase == Phase::Programming ? std::max<int32_t>(m_BytesSeen, Doc().Snapshot().bytesSent)
                                         : m_BytesSeen;
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

} // namespace brenwick::station
