// Waiting in real time for what another thread (the plugin's worker, a
// program's) does, with a bound so that a hang fails a test instead of
// stopping the suite.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace zorvatest {

/// Polls `done` in real time until it holds (true) or ten seconds passed (false).
inline bool WaitUntil(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace zorvatest
