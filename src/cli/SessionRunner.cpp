#include "cli/SessionRunner.h"

#include <thread>

namespace brenwick::cli {

namespace {

constexpr int kStepMs = 50;

} // namespace

bool RunSessions(SessionList& sessions, CStopSignals& stop, const std::function<void()>& tick) {
    for (;;) {
        bool allDone = true;
        for (auto& session : sessions) {
            allDone = session->Step() && allDone;
        }
        tick();
        if (allDone) {
            return true;
        }
        if (stop.WaitFor(kStepMs)) {
            // Each stop waits for its worker to reach a point between messages: stop them side by side.
            std::vector<std::jthread> stoppers;
            for (auto& session : sessions) {
                stoppers.emplace_back([&session] { session->Interrupt(); });
            }
            stoppers.clear();
            tick();
            return false;
        }
    }
}

} // namespace brenwick::cli
