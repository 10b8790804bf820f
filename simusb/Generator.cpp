#include "simusb/Generator.h"

#include "driver/ZORVAUSBDevice.h"
#include "win32/ZorvaWin32.h"

#include <chrono>

namespace zorvasim {
namespace detail {

void Generator::SetMode(Mode mode)
{
    SimLock lifecycle(mutex_);
    mode_.store(mode);
    if (mode == Mode::Stepped)
        JoinLocked();
    else
        StartLocked();
}

void Generator::ResetMode()
{
    SimLock lifecycle(mutex_);
    mode_.store(Mode::FreeRunning);
}

void Generator::StartIfNeeded()
{
    SimLock lifecycle(mutex_);
    StartLocked();
}

void Generator::Stop()
{
    SimLock lifecycle(mutex_);
    JoinLocked();
}

void Generator::End()
{
    SimLock lifecycle(mutex_);
    ended_ = true;
    JoinLocked();
}

void Generator::StartLocked()
{
    if (mode_.load() != Mode::FreeRunning || thread_.joinable() || ended_)
        return;
    {
        SimLock lock(bench_.Mutex());
        quit_ = false;
    }
    thread_ = std::thread(&Generator::Loop, this);
}

void Generator::JoinLocked()
{
    if (!thread_.joinable())
        return;
    {
        SimLock lock(bench_.Mutex());
        quit_ = true;
        wake_.notify_all();
    }
    thread_.join();
}

bool Generator::ProduceLocked()
{
    SimLock lock(backlog_.Mutex());
    float* block = backlog_.NextSlotLocked();
    const int repeats = bench_.FillBlock(block);
    return backlog_.CommitLocked(repeats);
}

void Generator::Post(std::uint32_t threadId)
{
    const BOOL posted = PostThreadMessageW(threadId, ZORVA_USB_WM_DATA_READY, 0, 0);
    backlog_.RecordPost(posted != FALSE);
}

int Generator::Deliver(int count)
{
    if (mode_.load() != Mode::Stepped || count <= 0)
        return 0;
    int produced = 0;
    bool post = false;
    std::uint32_t threadId = 0;
    {
        SimLock lock(bench_.Mutex());
        while (produced < count && bench_.CanProduce()) {
            post = ProduceLocked() || post;
            ++produced;
        }
        threadId = bench_.ThreadId();
    }
    if (post)
        Post(threadId);
    return produced;
}

void Generator::Loop()
{
    using Clock = std::chrono::steady_clock;
    SimUniqueLock lock(bench_.Mutex());
    bool running = false;
    Clock::time_point previous; // when the last block was due, or acquisition began
    while (!quit_) {
        if (!bench_.CanProduce()) {
            running = false;
            wake_.wait(lock);
            continue;
        }
        const Clock::time_point now = Clock::now();
        if (!running) {
            running = true;
            previous = now;
        }
        // Recomputed on every wake-up, so a new rate applies to the block in progress.
        const auto period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(double(ZORVA_USB_SAMPLES_PER_BLOCK) / bench_.Rate()));
        const Clock::time_point due = previous + period;
        if (now < due) {
            wake_.wait_until(lock, due);
            continue;
        }
        const bool post = ProduceLocked();
        previous = due;
        // Held up far longer than the backlog covers (debugger, overloaded
        // machine): do not make up for it.
        if (now - previous > period * static_cast<long>(bench_.BacklogBlocks()))
            previous = now;
        if (post) {
            const std::uint32_t threadId = bench_.ThreadId();
            lock.Unlock();
            Post(threadId);
            lock.Lock();
        }
    }
}

} // namespace detail
} // namespace zorvasim
