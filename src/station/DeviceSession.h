#pragma once

#include "document/HeadlessLink.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace brenwick::station {

// How one device's run ended. The order of the values is the order of priority when several devices report
// different outcomes: the first one listed that any device had decides the outcome of the whole run.
enum class SessionResult {
    Interrupted,
    PortFailed,
    NoAnswer,
    LoadFailed,
    ProductMismatch,
    DeviceError,
    Succeeded,
};

// The program's own short text for a result, as the panel would show it.
std::string ResultText(SessionResult result);
// The result that decides the exit status of a run over several devices.
SessionResult WorstOf(SessionResult a, SessionResult b);

// One document wired to one port: its own notification loop plays the part of the window thread, and the
// command's main thread steps it along (connect, identify, program, wait for the device's verdict) without
// blocking, so that several devices run side by side and a stop signal is seen at once.
class CDeviceSession {
  public:
    enum class Phase { Idle, Opening, Identifying, Programming, AwaitingVerdict, Done };
    using Clock = std::chrono::steady_clock;

    CDeviceSession(std::string port, int baudIndex, std::chrono::milliseconds answerTimeout);
    ~CDeviceSession();
    CDeviceSession(const CDeviceSession&) = delete;
    CDeviceSession& operator=(const CDeviceSession&) = delete;

    // Opens the firmware file in this session's document; false (and the reason in Message()) when it fails.
    bool OpenFile(const std::string& path);
    // Starts the worker and goes on line; with program set, flashes the opened file once the device answers.
    void Start(bool program);
    // Asked once the device has identified itself, before programming: false leaves this device as it is and
    // ends the run as succeeded and Skipped() (a board already programmed with this firmware).
    void SetProgramFilter(std::function<bool(const DeviceInfo&)> filter) {
        m_ProgramFilter = std::move(filter);
    }
    bool Skipped() const { return m_Skipped; }
    // Moves the run on by what has happened since the last call; true once it has ended.
    bool Step();
    // Stops the worker and closes the port; a run that has not ended counts as interrupted.
    void Interrupt();

    Phase CurrentPhase() const { return m_Phase; }
    bool Done() const { return m_Phase == Phase::Done; }
    SessionResult Result() const { return m_Result; }
    const std::string& Message() const { return m_Message; }
    const std::string& Port() const { return m_Port; }
    // What the device reported about itself, and the state of its link.
    DocSnapshot Facts() const { return Doc().Snapshot(); }

    // Progress of the programming sequence, 0 to 100.
    int Percent() const;
    int32_t BytesSent() const;
    int32_t BytesToSend() const { return m_BytesToSend; }
    // The length and byte sum stamped into the image sent to this device (zero before programming began).
    const StampFacts& Stamp() const { return m_Stamp; }
    const std::string& File() const { return m_File; }
    // Seconds since Program was posted (up to the end of the sequence once it has ended).
    double ProgramSeconds() const;
    // Seconds since Start (up to the end of the run once it has ended).
    double TotalSeconds() const;

  private:
    void Finish(SessionResult result, std::string message);
    // Finishes with "<the result's text>: <why>".
    void Fail(SessionResult result, const std::string& why) {
        Finish(result, ResultText(result) + ": " + why);
    }
    void StepOpening();
    void StepIdentifying();
    void BeginProgramming();
    void StepProgramming();
    void StepVerdict();
    static bool DeviceAnswered(const DocSnapshot& state);
    std::string SequenceFailure(const DocSnapshot& state, SequenceResult result);
    CBrenwickDoc& Doc() { return m_Link.Doc(); }
    const CBrenwickDoc& Doc() const { return m_Link.Doc(); }
    std::string Seconds(std::chrono::milliseconds span) const;

    std::string m_Port;
    std::string m_File;
    std::chrono::milliseconds m_Timeout;
    bool m_Program = false;
    std::function<bool(const DeviceInfo&)> m_ProgramFilter;
    bool m_Skipped = false;
    StampFacts m_Stamp;
    Phase m_Phase = Phase::Idle;
    SessionResult m_Result = SessionResult::Interrupted;
    std::string m_Message;
    Clock::time_point m_Started{};
    Clock::time_point m_Deadline{};
    Clock::time_point m_ProgramStarted{};
    Clock::time_point m_ProgramEnded{};
    Clock::time_point m_Ended{};
    int32_t m_BytesToSend = 0;
    int32_t m_BytesSeen = 0; // the document's counter drops to 0 at the next idle step

    mutable std::mutex m_MessageLock; // the product message comes from the worker thread
    std::string m_DeviceMessage;

    CHeadlessLink m_Link;
};

// What a session is doing, in a few words: "Connecting", "Programming", ... then its result's text.
std::string PhaseText(const CDeviceSession& session);

} // namespace brenwick::station
