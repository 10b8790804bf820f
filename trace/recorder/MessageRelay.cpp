#include "trace/recorder/MessageRelay.h"

#include <future>

namespace zorvatrace {

namespace {

/// Ends the relay when posted by Stop (and only then: a library could post
/// the same number, which is passed on like any other).
const UINT kRelayStop = 0x8000u + 0x2a7u; // WM_APP + 679

void Notify(const MessageRelay::Observer& observer, const MSG& msg, DWORD target)
{
    if (!observer)
        return;
    try {
        observer(msg, target);
    } catch (...) {
        // Seeing a message must never stop passing them on.
    }
}

} // namespace

DWORD MessageRelay::Start(DWORD target)
{
    RelayLock lock(mutex_);
    target_.store(target);
    if (thread_.joinable())
        return id_;
    std::promise<DWORD> started;
    std::future<DWORD> id = started.get_future();
    stopping_.store(false);
    try {
        thread_ = std::thread(&MessageRelay::Run, this, &started);
    } catch (...) {
        return 0;
    }
    id_ = id.get();
    return id_;
}

void MessageRelay::Stop()
{
    RelayLock lock(mutex_);
    if (!thread_.joinable())
        return;
    stopping_.store(true);
    // Queued behind whatever the library posted before: those pass on first.
    if (!PostThreadMessageW(id_, kRelayStop, 0, 0)) {
        // The thread is gone already (its queue with it); nothing to wait for
        // beyond its end.
    }
    thread_.join();
    id_ = 0;
}

void MessageRelay::Run(std::promise<DWORD>* started)
{
    MSG msg{};
    // The queue exists from the thread's first message call: before the id
    // goes to the library, or its first post would fail.
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    started->set_value(GetCurrentThreadId());
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got < 0)
            return;
        if (got == 0)
            msg.message = WM_QUIT; // passed on too: it is what the library sent
        else if (msg.message == kRelayStop && stopping_.load())
            return;
        // Seen before it is passed on: whatever the caller's thread then does
        // about it (its calls, recorded by the same writer) comes after it,
        // and the two never wait for each other's record.
        const DWORD target = target_.load();
        Notify(observer_, msg, target);
        if (target != 0 && !PostThreadMessageW(target, msg.message, msg.wParam, msg.lParam))
            Notify(refused_, msg, target);
    }
}

} // namespace zorvatrace
