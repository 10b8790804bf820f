/// Virtual time of the simulated library: the Sleep handler and its clock.
#pragma once

#include "simusb/bench/Locks.h"
#include "simusb/bench/CallTrace.h"
#include "win32/ZorvaWin32.h"

#include <atomic>
#include <cstdint>

namespace zorvasim {
namespace detail {

/// While on, every Sleep of the Win32 layer, on any thread, returns at once,
/// adds "Sleep(ms)" to the trace and advances the clock; then it tells the
/// listener (the generator's virtual-clock mode) the new time, on the
/// sleeping thread.
///
/// Threads: Set, On and ResetClock come from control threads; the Sleep
/// handler runs on whichever thread sleeps.
/// - `mutex_` serialises switching (installing or removing the handler in the
///   Win32 layer) and guards `on_`; it is taken alone, and the handler never
///   takes it.
/// - `ms_` is atomic: the handler adds to it without a lock.
class VirtualTime
{
public:
    /// Told each advance of the clock, from `fromMs` to `toMs`.
    typedef void (*Listener)(std::uint64_t fromMs, std::uint64_t toMs, void* context);

    /// `listener` hears every advance of the clock (fixed for the object's life).
    VirtualTime(CallTrace& trace, Listener listener, void* context)
        : trace_(trace), listener_(listener), listenerContext_(context)
    {}
    VirtualTime(const VirtualTime&) = delete;
    VirtualTime& operator=(const VirtualTime&) = delete;

    /// See zorvasim::SetVirtualTime.
    bool Set(bool on) ZORVA_EXCLUDES(mutex_);
    bool On() const ZORVA_EXCLUDES(mutex_);
    /// Milliseconds slept in virtual time since the last ResetClock.
    std::uint64_t Ms() const { return ms_.load(); }
    void ResetClock() { ms_.store(0); }

private:
    static void SleepHandler(DWORD milliseconds, void* context);

    CallTrace& trace_;
    const Listener listener_;
    void* const listenerContext_;
    mutable SimMutex mutex_;
    bool on_ ZORVA_GUARDED_BY(mutex_) = false;
    std::atomic<std::uint64_t> ms_{0};
};

} // namespace detail
} // namespace zorvasim
