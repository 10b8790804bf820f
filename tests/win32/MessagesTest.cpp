// Thread messages and Sleep of the POSIX Win32 layer behave as on Windows.
#include "win32/ZorvaWin32.h"
#include "win32/posix/win32_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

/// A thread that makes its queue, reports its id, then collects messages until WM_QUIT.
struct Receiver
{
    std::atomic<DWORD> id{0};
    std::vector<UINT> received;
    std::thread thread;

    void Start(bool makeQueue)
    {
        thread = std::thread([this, makeQueue] {
            MSG msg;
            if (makeQueue)
                PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
            id = GetCurrentThreadId();
            while (GetMessageW(&msg, nullptr, 0, 0) > 0)
                received.push_back(msg.message);
        });
        while (id == 0)
            std::this_thread::yield();
    }
};

} // namespace

TEST(Win32Messages, PostThreadMessageW_ThreadWithQueue_ArrivesInOrderUntilQuit)
{
    Receiver receiver;
    receiver.Start(true);
    for (UINT m = WM_USER; m < WM_USER + 100; ++m)
        ASSERT_TRUE(PostThreadMessageW(receiver.id, m, 0, 0));
    ASSERT_TRUE(PostThreadMessageW(receiver.id, WM_QUIT, 0, 0));
    receiver.thread.join();
    ASSERT_EQ(receiver.received.size(), 100u);
    for (UINT i = 0; i < 100; ++i)
        EXPECT_EQ(receiver.received[i], WM_USER + i);
}

TEST(Win32Messages, PostThreadMessageW_ThreadWithoutQueue_FailsWithInvalidThreadId)
{
    std::atomic<DWORD> id{0};
    std::atomic<bool> done{false};
    std::thread noQueue([&] {
        id = GetCurrentThreadId();
        while (!done)
            std::this_thread::yield();
    });
    while (id == 0)
        std::this_thread::yield();
    SetLastError(0);
    EXPECT_FALSE(PostThreadMessageW(id, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_THREAD_ID);
    done = true;
    noQueue.join();
    EXPECT_FALSE(PostThreadMessageW(123456789u, WM_USER, 0, 0)) << "no such thread";
}

TEST(Win32Messages, PostThreadMessageW_ThreadEnded_Fails)
{
    Receiver receiver;
    receiver.Start(true);
    PostThreadMessageW(receiver.id, WM_QUIT, 0, 0);
    receiver.thread.join();
    EXPECT_FALSE(PostThreadMessageW(receiver.id, WM_USER, 0, 0)) << "the queue went with its thread";
}

TEST(Win32Messages, PeekMessageW_Filter_TakesOnlyMatchingAndKeepsOrder)
{
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)); // makes the queue
    const DWORD self = GetCurrentThreadId();
    ASSERT_TRUE(PostThreadMessageW(self, WM_USER + 1, 11, 0));
    ASSERT_TRUE(PostThreadMessageW(self, WM_USER + 2, 22, 0));
    ASSERT_TRUE(PostThreadMessageW(self, WM_USER + 1, 33, 0));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER + 2, WM_USER + 2, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, 22u);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER + 2, WM_USER + 2, PM_REMOVE));
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.wParam, 11u);
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.wParam, 33u);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST(Win32Messages, GetCurrentThreadId_Threads_DistinctAndStable)
{
    const DWORD self = GetCurrentThreadId();
    EXPECT_EQ(GetCurrentThreadId(), self);
    DWORD other = 0;
    std::thread([&] { other = GetCurrentThreadId(); }).join();
    EXPECT_NE(other, self);
    EXPECT_NE(other, 0u);
}

namespace {
void RecordPause(DWORD ms, void* context) { static_cast<std::vector<DWORD>*>(context)->push_back(ms); }
} // namespace

TEST(Win32Sleep, Sleep_HandlerInstalled_RecordsInsteadOfWaiting)
{
    std::vector<DWORD> pauses;
    ZorvaWin32_SetSleepHandler(RecordPause, &pauses);
    Sleep(13000);
    Sleep(250);
    ZorvaWin32_SetSleepHandler(nullptr, nullptr);
    Sleep(0);
    EXPECT_EQ(pauses, (std::vector<DWORD>{13000, 250}));
}
