/// What makes the simulated library's blocks: a free-running thread, or the
/// caller of DeliverBlocks in stepped mode.
#pragma once

#include "simusb/bench/Backlog.h"
#include "simusb/bench/Bench.h"
#include "simusb/bench/Locks.h"
#include "simusb/SimControl.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <thread>
#include <vector>

namespace zorvasim {
namespace detail {

/// Produces blocks from the bench into the backlog and posts the data-ready
/// message. Free-running mode: a thread, started at the first fmBroadcastStart,
/// makes one block every 16 / rate seconds of real time (the rate with the
/// scenario's clock error) while the library
/// sends data (its waits do not go through Sleep: virtual time must not make
/// the simulated hardware run faster). Stepped mode: no thread; Deliver makes
/// blocks on the caller's thread. Virtual-clock mode: no thread; each Sleep
/// in virtual time (TimePassed, on the sleeping thread) makes the blocks the
/// hardware measured while the clock advanced, and logs when each was measured.
///
/// Threads: SetMode, ResetMode, StartIfNeeded, Stop and End come from control
/// threads, fmBroadcastStart, fmDLLShutDown and the exit guard; Deliver from a
/// control thread; Wake from whoever changed the bench; Loop runs on the
/// generator thread.
/// - `mutex_` (the lifecycle lock) guards `thread_` and `ended_` and
///   serialises writes of `mode_`, which is read without it. It is taken
///   before the bench lock, never after it, and held while the thread is
///   joined; the thread never takes it.
/// - The generator thread waits on `wake_` with the bench lock, which also
///   guards `quit_`; Wake notifies it after a change to what it waits for
///   (the bench's production state or its rate).
/// - A block is made under the bench lock and the backlog lock (in that
///   order); the message is posted with neither held.
class Generator
{
public:
    Generator(Bench& bench, Backlog& backlog) : bench_(bench), backlog_(backlog) {}
    Generator(const Generator&) = delete;
    Generator& operator=(const Generator&) = delete;

    Mode GetMode() const { return mode_.load(); }
    /// Switching to stepped mode joins the thread; to free-running starts it.
    void SetMode(Mode mode) ZORVA_EXCLUDES(mutex_, bench_.Mutex());
    /// Back to free-running mode without starting or joining the thread: it
    /// starts at the next fmBroadcastStart (zorvasim::Reset).
    void ResetMode() ZORVA_EXCLUDES(mutex_);
    /// fmBroadcastStart: the thread, in free-running mode, if none runs.
    void StartIfNeeded() ZORVA_EXCLUDES(mutex_, bench_.Mutex());
    /// Joins the thread; the next StartIfNeeded begins a new one.
    void Stop() ZORVA_EXCLUDES(mutex_, bench_.Mutex());
    /// Joins the thread for good (process exit).
    void End() ZORVA_EXCLUDES(mutex_, bench_.Mutex());
    /// The bench changed what the thread waits for. Called after the change
    /// was made under the bench lock, held or not by then: the thread checks
    /// under that lock, and condition_variable_any's own lock keeps the
    /// notification from falling between its check and its wait.
    void Wake() { wake_.notify_all(); }

    /// Stepped mode: up to `count` blocks now, then the data-ready message.
    /// Returns the number made: 0 in free-running mode.
    int Deliver(int count) ZORVA_EXCLUDES(bench_.Mutex(), backlog_.Mutex());

    /// Virtual-clock mode: a pause took the virtual clock from `fromMs` to
    /// `toMs`; makes the blocks measured meanwhile (the newest backlog's worth:
    /// the others overflowed the FIFO) and posts the data-ready message. A
    /// start it has not seen yet was made at `fromMs`: nothing else moves the
    /// clock.
    void TimePassed(std::uint64_t fromMs, std::uint64_t toMs) ZORVA_EXCLUDES(bench_.Mutex(), backlog_.Mutex());
    /// The log of measured blocks (virtual-clock mode), oldest first.
    std::vector<MeasuredBlock> MeasuredBlocks() const ZORVA_EXCLUDES(bench_.Mutex());
    void ClearMeasuredBlocks() ZORVA_EXCLUDES(bench_.Mutex());

private:
    void StartLocked() ZORVA_REQUIRES(mutex_) ZORVA_EXCLUDES(bench_.Mutex());
    void JoinLocked() ZORVA_REQUIRES(mutex_) ZORVA_EXCLUDES(bench_.Mutex());
    void Loop() ZORVA_EXCLUDES(bench_.Mutex());
    /// The hardware measures one block: into the backlog (more with a
    /// repeat fault), or lost on the way as the scenario says (`made` false,
    /// its samples pass, counted as lost). How many data-ready messages
    /// are due.
    int ProduceLocked(bool& made, std::uint32_t* firstCounter = nullptr) ZORVA_REQUIRES(bench_.Mutex())
        ZORVA_EXCLUDES(backlog_.Mutex());
    /// Posts `count` data-ready messages to `threadId` and counts the outcome.
    void Post(std::uint32_t threadId, int count) ZORVA_EXCLUDES(bench_.Mutex(), backlog_.Mutex());

    Bench& bench_;
    Backlog& backlog_;

    SimMutex mutex_ ZORVA_ACQUIRED_BEFORE(bench_.Mutex());
    std::thread thread_ ZORVA_GUARDED_BY(mutex_);
    bool ended_ ZORVA_GUARDED_BY(mutex_) = false; // no thread once process exit began
    std::atomic<Mode> mode_{Mode::FreeRunning};

    std::condition_variable_any wake_; // with the bench lock: work, a rate change, or quit
    bool quit_ ZORVA_GUARDED_BY(bench_.Mutex()) = false;

    // Virtual-clock mode.
    bool clockRunning_ ZORVA_GUARDED_BY(bench_.Mutex()) = false;
    /// The bench's start the clock runs for: a new start begins a new timeline.
    std::uint64_t clockStart_ ZORVA_GUARDED_BY(bench_.Mutex()) = 0;
    double nextDueMs_ ZORVA_GUARDED_BY(bench_.Mutex()) = 0.0;
    std::deque<MeasuredBlock> measured_ ZORVA_GUARDED_BY(bench_.Mutex());
};

} // namespace detail
} // namespace zorvasim
