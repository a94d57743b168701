#include "panel/PanelOutcome.h"

#include "document/RunReport.h"
#include "serial/PortErrors.h"

#include <algorithm>
#include <cstdio>

namespace brenwick::panel {

namespace {

using Lines = StatePaint::Lines;

constexpr const char* kPressStart = ": press Start to program it again";

StatePaint Row(LinkState state) {
    return PaintFor(static_cast<int32_t>(state), true);
}

// The status text and the lamp of a row.
void Paint(PanelView& view, const StatePaint& row) {
    view.text = row.text;
    view.lamp = row.lamp;
    view.lampMeaning = row.lampMeaning;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

} // namespace

void CPanelOutcome::OnAction() {
    m_Held.reset();
    m_Told.clear();
    if (m_Phase == Phase::Connecting) {
        m_Phase = Phase::Idle;
    }
}

void CPanelOutcome::OnConnect(const std::string& port) {
    OnAction();
    m_Port = port;
    if (!RunPending()) {
        m_Phase = Phase::Connecting;
    }
}

void CPanelOutcome::OnStart(const std::string& file, Clock::time_point now) {
    OnAction();
    m_File = file;
    m_Phase = Phase::Running;
    m_RunStarted = now;
    m_SequenceEnded = now;
    m_BytesToSend = 0;
    m_BytesSeen = 0;
    m_RunEnd.reset();
}

void CPanelOutcome::Tell(std::string detail) {
    m_Told = std::move(detail);
}

void CPanelOutcome::Hold(const StatePaint& paint, std::string detail, bool advice) {
    m_Held = Held{paint, std::move(detail), advice};
    m_Told.clear();
}

void CPanelOutcome::EndRun(station::SessionResult result, const StatePaint& paint, std::string detail,
                           bool advice, Clock::time_point now) {
    RunEnd end;
    end.result = result;
    end.reason = result == station::SessionResult::Succeeded ? "" : detail;
    end.bytesSent = result == station::SessionResult::Succeeded ? m_BytesToSend : m_BytesSeen;
    end.seconds = std::chrono::duration<double>(now - m_RunStarted).count();
    end.file = m_File;
    m_RunEnd = std::move(end);
    Hold(paint, std::move(detail), advice);
}

PanelView CPanelOutcome::Tick(const DocSnapshot& doc, Clock::time_point now) {
    switch (m_Phase) {
    case Phase::Connecting:
        FollowConnect(doc);
        break;
    case Phase::Running:
        FollowRun(doc, now);
        break;
    case Phase::AwaitingVerdict:
        FollowVerdict(doc, now);
        break;
    case Phase::Idle:
        break;
    }

    PanelView view = Live(doc);
    if (m_Phase == Phase::Running || m_Phase == Phase::AwaitingVerdict) {
        Paint(view, Row(LinkState::Programming));
        view.showsProgress = true;
        // Once everything is sent the bar stays full while the board checks what it got.
        view.progress = m_Phase == Phase::AwaitingVerdict ? 100 : doc.progress;
        view.startEnabled = false;
        view.detail = m_Phase == Phase::AwaitingVerdict
                          ? std::to_string(m_BytesToSend) + " bytes sent: waiting for the board to confirm"
                          : std::string();
    } else if (m_Held) {
        Paint(view, m_Held->paint);
        view.detail = m_Held->detail + (m_Held->advice && view.startEnabled ? kPressStart : "");
    }
    if (!m_Told.empty()) {
        view.detail = m_Told;
    }
    return view;
}

void CPanelOutcome::FollowConnect(const DocSnapshot& doc) {
    if (doc.commandPending) {
        return; // the worker has not opened the port yet
    }
    m_Phase = Phase::Idle;
    if (!doc.onLine && doc.lastOpenError) {
        Hold(Row(LinkState::PortOpenFailed), m_Port + ": " + serial::DescribePortError(doc.lastOpenError),
             false);
    }
}

void CPanelOutcome::FollowRun(const DocSnapshot& doc, Clock::time_point now) {
    m_BytesSeen = std::max(m_BytesSeen, doc.bytesSent);
    if (doc.imageInUse) {
        m_BytesToSend = doc.bytesToSend;
        return;
    }
    // The worker is done with the run: its result is the last sequence's.
    m_SequenceEnded = now;
    m_Phase = Phase::Idle;
    switch (doc.lastSequence) {
    case SequenceResult::Succeeded:
        m_BytesToSend = doc.bytesToSend;
        m_Phase = Phase::AwaitingVerdict;
        return;
    case SequenceResult::Stopped:
        EndRun(station::SessionResult::Interrupted, kNotProgrammedPaint,
               "programming was stopped: the board is not programmed", true, now);
        return;
    case SequenceResult::ProductMismatch:
        EndRun(station::SessionResult::ProductMismatch, Row(LinkState::ProgrammingError),
               std::string(kWrongProductText) + ": " + RunFailureText(doc, m_File), false, now);
        return;
    default:
        EndRun(station::SessionResult::DeviceError, Row(LinkState::ProgrammingError),
               RunFailureText(doc, m_File), true, now);
        return;
    }
}

void CPanelOutcome::FollowVerdict(const DocSnapshot& doc, Clock::time_point now) {
    // The run left the link state at Programming; only a status poll after it changes that.
    const double seconds = std::chrono::duration<double>(m_SequenceEnded - m_RunStarted).count();
    switch (doc.linkState) {
    case LinkState::Connected:
        m_Phase = Phase::Idle;
        EndRun(station::SessionResult::Succeeded, kProgrammedPaint,
               std::to_string(m_BytesToSend) + " bytes in " + Seconds(seconds) +
                   ": the board reports the new firmware in place",
               false, now);
        return;
    case LinkState::ProgrammingError:
        m_Phase = Phase::Idle;
        EndRun(station::SessionResult::DeviceError, Row(LinkState::ProgrammingError),
               "the board reported an error after programming", true, now);
        return;
    case LinkState::OffLine: {
        m_Phase = Phase::Idle; // the operator went off line: the verdict is not awaited any more
        const std::optional<Held> held = m_Held;
        EndRun(station::SessionResult::Interrupted, kNotProgrammedPaint,
               "went off line before the board confirmed the firmware", false, now);
        m_Held = held; // the panel itself shows what the operator's going off line shows
        return;
    }
    default:
        break; // still writing, or a poll missed while the board is busy: wait on
    }
    if (now - m_SequenceEnded < kVerdictTimeout) {
        return;
    }
    m_Phase = Phase::Idle;
    const std::string limit = Seconds(std::chrono::duration<double>(kVerdictTimeout).count());
    if (doc.linkState == LinkState::NotConnected) {
        EndRun(station::SessionResult::NoAnswer, Row(LinkState::NotConnected),
               "the board stopped answering after programming (no verdict within " + limit + ")", false, now);
    } else {
        EndRun(station::SessionResult::DeviceError, Row(LinkState::ProgrammingError),
               "the board still reports programming " + limit + " after the end", true, now);
    }
}

PanelView CPanelOutcome::Live(const DocSnapshot& doc) const {
    const StatePaint row = PaintFor(static_cast<int32_t>(doc.linkState), doc.fileLoaded);
    PanelView view;
    Paint(view, row);
    view.lines = row.lines;
    switch (doc.linkState) {
    case LinkState::Connected:
        view.startEnabled = true; // also without a file: Start then says why nothing happens
        if (!doc.fileLoaded) {
            view.detail = "no firmware file is loaded: open one with File > Open";
        }
        break;
    case LinkState::Programming:
        // A run this program is not carrying out: the board waits in it until it is programmed again.
        Paint(view, kNotProgrammedPaint);
        view.startEnabled = true;
        view.detail = std::string("the board is in an unfinished run") + kPressStart;
        break;
    case LinkState::ProgrammingError:
        view.startEnabled = true;
        view.detail = std::string("the board reports a failed run") + kPressStart;
        break;
    case LinkState::NotConnected:
        view.detail = NoAnswerText(doc) + (m_Port.empty() ? std::string() : " on " + m_Port) +
                      ": check the cable, the power and the baud rate";
        break;
    case LinkState::PortOpenFailed:
        view.detail = serial::DescribePortError(doc.lastOpenError);
        break;
    case LinkState::OffLine:
        break;
    }
    return view;
}

} // namespace brenwick::panel
