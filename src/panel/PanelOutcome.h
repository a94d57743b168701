#pragma once

#include "document/DocSnapshot.h"
#include "panel/PanelState.h"

#include <chrono>
#include <optional>
#include <string>

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
    PanelView Live(const DocSnapshot& doc) const;

    Phase m_Phase = Phase::Idle;
    std::optional<Held> m_Held;
    std::string m_Told;
    std::string m_Port;
    std::string m_File;
    Clock::time_point m_RunStarted{};
    Clock::time_point m_SequenceEnded{};
    int32_t m_BytesToSend = 0;
};

} // namespace brenwick::panel
