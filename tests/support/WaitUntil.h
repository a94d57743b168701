#pragma once

#include <chrono>
#include <thread>

namespace brenwick {

// True when done() holds within timeoutMs; checks every few milliseconds.
template <class Predicate>
bool WaitUntil(Predicate done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace brenwick
