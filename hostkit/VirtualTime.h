/// Virtual time on the simulated bench, for tests and benchmarks that run the
/// plugin's core in their own process: the Win32 layer's Sleep lets the
/// bench's clock pass (zorvasim::SetVirtualTime), the simulated hardware
/// measures meanwhile, and the plugin's worker is then given the time (real
/// time, bounded) to hand on every block it measured. So a capture of an hour
/// takes as long as its blocks take to pass through the plugin.
///
/// Header-only: on Windows the test programs' own objects have their Sleep
/// routed to the test controls (cmake/windows/RouteImports.cmake), and this
/// code is compiled into them.
#pragma once

#include "simusb/SimControl.h"
#include "win32/ZorvaWin32.h"

#include <chrono>
#include <functional>
#include <thread>

namespace hostkit {
namespace virtualtime {

/// The bench's virtual clock, seconds: a host's clock in virtual time
/// (Host::SetClock(hostkit::virtualtime::Seconds)).
inline double Seconds() { return static_cast<double>(zorvasim::VirtualTimeMs()) / 1000.0; }

/// Waits in real time until the plugin's worker has handed on every block the
/// bench measured so far (none waiting, and the last transfer found none), at
/// most `limit`. False when it did not: the worker is stuck or far behind.
inline bool Drain(std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const zorvasim::Counters counters = zorvasim::GetCounters();
        if (counters.backlog == 0 && counters.drained)
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
}

/// Lets `ms` milliseconds of virtual time pass in steps of `stepMs` (the last
/// one whole: the time passed is `ms` rounded up to whole steps), draining
/// after each step (each drain at most `drainLimit`); `afterStep` runs after
/// each drain. False when a drain timed out (the time passes all the same).
inline bool Pass(long ms, long stepMs = 1, const std::function<void()>& afterStep = nullptr,
                 std::chrono::milliseconds drainLimit = std::chrono::seconds(10))
{
    bool drained = true;
    for (long passed = 0; passed < ms; passed += stepMs) {
        Sleep(static_cast<DWORD>(stepMs));
        drained = Drain(drainLimit) && drained;
        if (afterStep)
            afterStep();
    }
    return drained;
}

} // namespace virtualtime
} // namespace hostkit
