/// The thread that stands between the USB library and the caller's thread:
/// the library is given the relay's thread id, so every message it posts
/// passes here, is seen, and goes on to the caller's thread.
#pragma once

#include "trace/format/TraceFormat.h"
#include "win32/ThreadSafety.h"
#include "win32/ZorvaWin32.h"

#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace zorvatrace {

/// Threads: Start and Stop from the library's callers (the recorder
/// serialises them with `mutex_`, which guards the thread and its id); the
/// relay thread itself runs Run and calls the observer. `target_` is atomic:
/// Start changes it while the relay passes messages on.
class MessageRelay
{
public:
    /// Called on the relay thread for a message and the caller's thread it
    /// goes to (0: none registered).
    typedef std::function<void(const MSG& message, DWORD target)> Observer;

    /// `observer` sees each message before it is passed on; `refused` after
    /// the caller's thread refused it (it has no queue, or ended).
    MessageRelay(Observer observer, Observer refused) : observer_(std::move(observer)), refused_(std::move(refused)) {}
    ~MessageRelay() { Stop(); }
    MessageRelay(const MessageRelay&) = delete;
    MessageRelay& operator=(const MessageRelay&) = delete;

    /// Messages go to `target` from now on. Starts the relay thread when none
    /// runs; returns its id, or 0 when it could not start.
    DWORD Start(DWORD target) ZORVA_EXCLUDES(mutex_);
    /// Passes on what is queued, then ends the thread and waits for it.
    void Stop() ZORVA_EXCLUDES(mutex_);

private:
    void Run(std::promise<DWORD>* started);

    typedef ZORVA::AnnotatedMutex<std::mutex> RelayMutex;
    typedef ZORVA::ScopedLock<RelayMutex> RelayLock;

    Observer observer_;
    Observer refused_;
    mutable RelayMutex mutex_;
    std::thread thread_ ZORVA_GUARDED_BY(mutex_);
    DWORD id_ ZORVA_GUARDED_BY(mutex_) = 0;
    std::atomic<DWORD> target_{0};
    std::atomic<bool> stopping_{false};
};

} // namespace zorvatrace
