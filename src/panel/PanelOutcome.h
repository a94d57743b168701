#pragma once

#include "document/DocSnapshot.h"
#include "panel/PanelState.h"
#include "station/DeviceSession.h"

#include <chrono>
#include <optional>
#include <string>
#include <utility>

namespace brenwick::panel {

// Everything the panel shows on one tick.
struct PanelView {
    std::string text; // the status bar
    COLORREF lamp = kLampGrey;
    std::string lampMeaning;
    StatePaint::Lines lines = StatePaint::Lines::Unchanged;
    bool showsProgress = false;
    int32_t progress = 0;
    bool startEnabled = false;
    std::string detail; // the outcome line: what happened, and what to do
};

// A run of the panel's that has ended, for the flash log.
struct RunEnd {
    station::SessionResult result = station::SessionResult::Interrupted;
    std::string reason; // why it did not succeed, in the outcome line's words
    int32_t bytesSent = 0;
    double seconds = 0;
    std::string file;
};

// What the panel says about the link, the last run and the operator's last action. The link's own state
// changes fast (a failure is followed by the next poll within half a second); the outcome of what the
// operator did stays on the panel until the operator's next action: "Programmed" after the board's verdict,
// or the reason a run or a connect failed, in words. A board that reports a run this program is not running
// (left by a run that failed or was stopped, or by an earlier session) can be programmed again with Start.
class CPanelOutcome {
  public:
    using Clock = std::chrono::steady_clock;

    // How long the board may take to give its verdict after the last message of a run: it may be busy
    // writing and miss a few polls.
    static constexpr std::chrono::milliseconds kVerdictTimeout{5500};

    // The operator does something: what was kept from the last action goes. A run in progress still reports
    // how it ends.
    void OnAction();
    // Online ticked while the port is closed: a port that cannot be opened is kept as the outcome.
    void OnConnect(const std::string& port);
    // Start posted a run of `file`.
    void OnStart(const std::string& file, Clock::time_point now);
    // Something that does not concern the board (a file that did not load, Make Bin), for the outcome line.
    void Tell(std::string detail);

    // What to show now, from the document's state.
    PanelView Tick(const DocSnapshot& doc, Clock::time_point now);

    // The run that has ended since the last call, once.
    std::optional<RunEnd> TakeRunEnd() { return std::exchange(m_RunEnd, std::nullopt); }
    // A run was posted and its verdict is not in yet.
    bool RunPending() const { return m_Phase == Phase::Running || m_Phase == Phase::AwaitingVerdict; }

  private:
    enum class Phase { Idle, Connecting, Running, AwaitingVerdict };
    struct Held {
        StatePaint paint;
        std::string detail;
        bool advice = false; // "press Start" is added while Start can be pressed
    };

    void FollowConnect(const DocSnapshot& doc);
    void FollowRun(const DocSnapshot& doc, Clock::time_point now);
    void FollowVerdict(const DocSnapshot& doc, Clock::time_point now);
    void Hold(const StatePaint& paint, std::string detail, bool advice);
    // Holds the outcome of the run that ended and keeps it for the flash log.
    void EndRun(station::SessionResult result, const StatePaint& paint, std::string detail, bool advice,
                Clock::time_point now);
    PanelView Live(const DocSnapshot& doc) const;

    Phase m_Phase = Phase::Idle;
    std::optional<Held> m_Held;
    std::string m_Told;
    std::string m_Port;
    std::string m_File;
    Clock::time_point m_RunStarted{};
    Clock::time_point m_SequenceEnded{};
    int32_t m_BytesToSend = 0;
    int32_t m_BytesSeen = 0; // the document's counter drops to 0 once the run is over
    std::optional<RunEnd> m_RunEnd;
};

} // namespace brenwick::panel
