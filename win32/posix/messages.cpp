// Thread message queues with Win32 semantics: a queue per thread, created by
// the thread's first message call and removed when the thread ends.
#include "windows_subset.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

namespace {

struct Queue
{
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<MSG> messages;
};

// Leaked on purpose: threads may end during static destruction.
std::mutex& RegistryMutex()
{
    static auto* mutex = new std::mutex;
    return *mutex;
}

std::map<DWORD, std::shared_ptr<Queue>>& Registry()
{
    static auto* registry = new std::map<DWORD, std::shared_ptr<Queue>>;
    return *registry;
}

thread_local DWORD t_threadId = 0;

DWORD NextThreadId()
{
    static std::mutex mutex;
    static DWORD next = 1000;
    std::lock_guard<std::mutex> lock(mutex);
    next += 4; // Windows thread ids are multiples of four
    return next;
}

// Owns the calling thread's queue registration; unregisters at thread exit.
struct ThreadQueue
{
    std::shared_ptr<Queue> queue;
    DWORD id = 0;
    ~ThreadQueue()
    {
        if (queue) {
            std::lock_guard<std::mutex> lock(RegistryMutex());
            Registry().erase(id);
        }
    }
};
thread_local ThreadQueue t_queue;

Queue& OwnQueue()
{
    if (!t_queue.queue) {
        t_queue.queue = std::make_shared<Queue>();
        t_queue.id = GetCurrentThreadId();
        std::lock_guard<std::mutex> lock(RegistryMutex());
        Registry()[t_queue.id] = t_queue.queue;
    }
    return *t_queue.queue;
}

bool InFilter(UINT message, UINT filterMin, UINT filterMax)
{
    return (filterMin == 0 && filterMax == 0) || (message >= filterMin && message <= filterMax);
}

// Takes (or peeks) the first message in the filter range; caller holds the lock.
bool TakeMatching(Queue& queue, LPMSG msg, UINT filterMin, UINT filterMax, bool remove)
{
    for (auto it = queue.messages.begin(); it != queue.messages.end(); ++it) {
        if (InFilter(it->message, filterMin, filterMax)) {
            if (msg)
                *msg = *it;
            if (remove)
                queue.messages.erase(it);
            return true;
        }
    }
    return false;
}

} // namespace

ZORVA_WIN32_API DWORD WINAPI GetCurrentThreadId()
{
    if (t_threadId == 0)
        t_threadId = NextThreadId();
    return t_threadId;
}

ZORVA_WIN32_API BOOL WINAPI GetMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax)
{
    if (!msg || hwnd) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1; // only thread messages exist here
    }
    Queue& queue = OwnQueue();
    std::unique_lock<std::mutex> lock(queue.mutex);
    queue.arrived.wait(lock, [&] { return TakeMatching(queue, msg, filterMin, filterMax, true); });
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

ZORVA_WIN32_API BOOL WINAPI PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg)
{
    if (hwnd)
        return FALSE;
    Queue& queue = OwnQueue();
    std::lock_guard<std::mutex> lock(queue.mutex);
    return TakeMatching(queue, msg, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
}

ZORVA_WIN32_API BOOL WINAPI PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<Queue> queue;
    {
        std::lock_guard<std::mutex> lock(RegistryMutex());
        auto it = Registry().find(threadId);
        if (it != Registry().end())
            queue = it->second;
    }
    if (!queue) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> lock(queue->mutex);
        MSG msg{};
        msg.message = message;
        msg.wParam = wParam;
        msg.lParam = lParam;
        queue->messages.push_back(msg);
    }
    queue->arrived.notify_all();
    return TRUE;
}
