/// The replay of a field trace behind the fm* functions (ReplayControl.h).
#pragma once

#include "simusb/bench/Locks.h"
#include "simusb/ReplayControl.h"
#include "trace/format/TraceFormat.h"
#include "trace/format/TraceReader.h"
#include "win32/ZorvaWin32.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace zorvasim {
namespace detail {

/// What one fm* call brought: its argument and its out-pointers.
struct CallArgs
{
    std::int32_t argument = 0;
    char* text = nullptr;
    char* text2 = nullptr;
    float* offsets = nullptr;
    int* slots = nullptr;
    float** block = nullptr;
};

/// The fm* functions' hook: true when a trace is replayed, `result` then
/// being the answer (out-values written through `args`); false to let the
/// bench answer.
bool Replayed(zorvatrace::Function function, const CallArgs& args, int& result);

/// One replay: the trace read as the calls come, a window ahead for the
/// calls the caller makes in another order.
struct ReplaySession
{
    std::string path;
    ReplayPace pace = ReplayPace::Auto;
    zorvatrace::TraceReader reader;
    bool readerDone = false;
    /// Records read and not yet used, in order.
    std::deque<zorvatrace::Record> window;
    /// Call records in `window`.
    std::size_t windowCalls = 0;
    std::uint32_t thread = 0; ///< the caller's thread the messages go to
    /// End of the call last answered, on the recording's clock: the recorded
    /// pace of the messages after it counts from there.
    std::uint64_t lastCallEndUs = 0;
    /// The last call was answered from a recorded call further on, which
    /// stayed in place (`borrowedRecord`): a call made once more than recorded,
    /// unless the next one follows it in the recording too.
    bool borrowed = false;
    std::uint64_t borrowedRecord = 0;
    /// Polls of the caller's that found nothing because a recorded call
    /// other than a transfer was due: the caller's worker polled before that
    /// call where the recording polled after it. As many recorded polls that
    /// found nothing are passed over when they come due, so the messages
    /// behind them go out although the caller, idle, will not poll for them.
    std::uint64_t pollsAhead = 0;
    bool lossReported = false;
    bool endReported = false;
    ReplayStatus status;
    std::vector<ReplayMismatch> mismatches;
};

/// The one replay hub (Instance(), never destroyed): the session, the block
/// handed out, and the thread that posts messages at the recorded pace.
///
/// Threads: fm* calls come from the caller's threads, the controls from any;
/// the pacer thread posts scheduled messages.
/// - `mutex_` guards the session and the block; it is held for each whole
///   answer (which adds to the simulator's trace, whose lock comes after
///   it), never while a message is posted.
/// - `pacerMutex_` guards the pacer's queue and thread; taken alone.
/// - `active_` mirrors "a session exists" for a check without the lock.
class ReplayHub
{
public:
    static ReplayHub& Instance();

    bool Active() const { return active_.load(std::memory_order_acquire); }
    bool Answer(zorvatrace::Function function, const CallArgs& args, int& result) ZORVA_EXCLUDES(mutex_);
    bool Load(const std::string& path, ReplayPace pace, std::string& error) ZORVA_EXCLUDES(mutex_);
    void End() ZORVA_EXCLUDES(mutex_);
    /// The trace named by ZORVA_SIM_SCENARIO, if it names one; else no replay.
    void LoadFromEnvironment() ZORVA_EXCLUDES(mutex_);
    ReplayStatus Status() const ZORVA_EXCLUDES(mutex_);
    std::vector<ReplayMismatch> Mismatches() const ZORVA_EXCLUDES(mutex_);
    /// Process exit: the pacer ends.
    void Exit() ZORVA_EXCLUDES(pacerMutex_);

private:
    struct Post
    {
        std::uint32_t thread = 0;
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
        std::chrono::steady_clock::time_point due;
    };

    ReplayHub() = default;

    void FillWindowLocked() ZORVA_REQUIRES(mutex_);
    /// Uses the records before the next call record: messages become posts.
    void ReleaseLocked(std::vector<Post>& posts) ZORVA_REQUIRES(mutex_);
    void PopFrontLocked() ZORVA_REQUIRES(mutex_);
    void AnswerFromLocked(const zorvatrace::Record& record, const CallArgs& args, int& result) ZORVA_REQUIRES(mutex_);
    void Mismatch(std::uint64_t record, const std::string& recorded, const std::string& now, const std::string& what)
        ZORVA_REQUIRES(mutex_);
    void Deliver(std::vector<Post>& posts, bool paced) ZORVA_EXCLUDES(mutex_, pacerMutex_);
    void PacerLoop() ZORVA_EXCLUDES(pacerMutex_);
    void StopPacer() ZORVA_EXCLUDES(pacerMutex_);
    void CountPosted(bool posted) ZORVA_EXCLUDES(mutex_);

    mutable SimMutex mutex_ ZORVA_ACQUIRED_BEFORE(pacerMutex_);
    std::unique_ptr<ReplaySession> session_ ZORVA_GUARDED_BY(mutex_);
    std::atomic<bool> active_{false};
    /// The block handed out: it stays valid until the next transfer call,
    /// also across a new replay or its end, so it lives as long as the hub.
    std::vector<float> block_ ZORVA_GUARDED_BY(mutex_);
    std::size_t blockFloatsUsed_ ZORVA_GUARDED_BY(mutex_) = 0;

    SimMutex pacerMutex_;
    std::condition_variable_any pacerWake_;
    std::deque<Post> pacerQueue_ ZORVA_GUARDED_BY(pacerMutex_);
    std::thread pacer_ ZORVA_GUARDED_BY(pacerMutex_);
    bool pacerQuit_ ZORVA_GUARDED_BY(pacerMutex_) = false;
};

} // namespace detail
} // namespace zorvasim
