/// The recording USB library's state: the library it forwards to, the trace
/// it writes, and the relay of the library's thread messages.
#pragma once

#include "trace/recorder/RecorderControl.h"
#include "trace/format/TraceFormat.h"
#include "trace/format/TraceWriter.h"
#include "trace/recorder/MessageRelay.h"
#include "win32/ThreadSafety.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zorvatrace {

/// A library the recorder forwards to: its 30 functions looked up by name
/// (null where it lacks one). Never freed: a caller may hold one of its blocks.
struct ForwardLibrary
{
    void* handle = nullptr;
    std::string path;
    void* functions[kFunctionCount] = {};
};

/// One process-wide instance (Instance()), never destroyed; an exit guard ends
/// the trace and the relay.
///
/// Threads: the fm* functions come from the caller's threads (the driver's
/// worker, a host thread for fmBroadcastZero), the controls from a host's;
/// the relay thread records messages.
/// - `controlMutex_` serialises starting from the environment, Begin, End and
///   the relay's start and stop, and guards `started_`. It is never held
///   while a forwarded call runs.
/// - `library_` is atomic: calls read it without a lock while Begin swaps it.
/// - The writer and the relay have their own locks; `units_` is atomic.
class Recorder
{
public:
    static Recorder& Instance();

    /// The library to forward to, loading it (and opening the trace) from the
    /// environment at first use; null when there is none.
    const ForwardLibrary* Library() ZORVA_EXCLUDES(controlMutex_);

    /// True while a trace is open: calls are recorded.
    bool Recording() const { return recording_.load(std::memory_order_acquire); }
    /// Time stamp for a record (microseconds since the trace began).
    std::uint64_t Now() const { return writer_.Now(); }
    /// Completes and appends a call record: duration from `timeUs`, thread.
    void RecordCall(Record& record);
    /// A note for the trace and, when `alsoStderr`, for stderr.
    void Note(const std::string& text, bool alsoStderr);

    /// fmDLLGetDeviceCount's result: the units of the blocks that follow.
    void SetUnits(int units) { units_.store(units); }
    int Units() const { return units_.load(); }
    /// True once, the first time a block arrives with no known unit count.
    bool FirstBlockOfUnknownSize() { return !unknownSizeNoted_.exchange(true); }

    /// fmDLLPostUserThreadMessages: the thread id to give the library for the
    /// caller's `thread` (the relay's, or `thread` itself if the relay cannot
    /// run), recorded.
    DWORD RelayFor(DWORD thread) ZORVA_EXCLUDES(controlMutex_);
    /// fmDLLShutDown: the library posts no more; the relay ends, what was
    /// recorded is written and the writer thread ends too (the trace stays
    /// open), so no thread of ours is left when a host unloads the library.
    void SessionEnded() ZORVA_EXCLUDES(controlMutex_);

    bool Begin(const std::string& tracePath, const std::string& libraryPath, std::string& error)
        ZORVA_EXCLUDES(controlMutex_);
    bool End(std::string& error) ZORVA_EXCLUDES(controlMutex_);
    ZorvaTraceCounters Counters() const;
    /// Process exit: the trace ends, the relay stops.
    void Exit() ZORVA_EXCLUDES(controlMutex_);

private:
    Recorder();

    void StartFromEnvironmentLocked() ZORVA_REQUIRES(controlMutex_);
    const ForwardLibrary* LoadLocked(const std::string& path, std::string& error) ZORVA_REQUIRES(controlMutex_);
    bool OpenLocked(const std::string& tracePath, std::string& error) ZORVA_REQUIRES(controlMutex_);
    bool EndLocked(std::string& error) ZORVA_REQUIRES(controlMutex_);
    void OnMessage(const MSG& message, DWORD target);
    void OnRefused(const MSG& message, DWORD target);

    typedef ZORVA::AnnotatedMutex<std::mutex> ControlMutex;
    typedef ZORVA::ScopedLock<ControlMutex> ControlLock;

    mutable ControlMutex controlMutex_;
    bool started_ ZORVA_GUARDED_BY(controlMutex_) = false;
    /// Every library loaded, the current one last: kept while the recorder
    /// lives, since a call may still be running in one that was replaced.
    std::vector<std::unique_ptr<ForwardLibrary>> libraries_ ZORVA_GUARDED_BY(controlMutex_);
    std::atomic<const ForwardLibrary*> library_{nullptr};
    std::atomic<bool> recording_{false};
    std::atomic<int> units_{-1};
    std::atomic<bool> unknownSizeNoted_{false};
    TraceWriter writer_;
    MessageRelay relay_;
};

} // namespace zorvatrace
