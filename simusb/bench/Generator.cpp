#include "simusb/bench/Generator.h"

#include "driver/ZORVAUSBDevice.h"
#include "win32/ZorvaWin32.h"

#include <chrono>

namespace {

/// Measured blocks kept for MeasuredBlocks (about a minute at 16 units and 20000 per second).
constexpr std::size_t kMeasuredCapacity = 65536;

} // namespace

namespace zorvasim {
namespace detail {

void Generator::SetMode(Mode mode)
{
    SimLock lifecycle(mutex_);
    mode_.store(mode);
    if (mode == Mode::FreeRunning)
        StartLocked();
    else
        JoinLocked();
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

int Generator::ProduceLocked(bool& made, std::uint32_t* firstCounter)
{
    made = !bench_.NextBlockLost();
    SimLock lock(backlog_.Mutex());
    if (!made) {
        bench_.SkipSamples(ZORVA_USB_SAMPLES_PER_BLOCK);
        backlog_.CountLostLocked();
        return 0;
    }
    float* block = backlog_.NextSlotLocked();
    const int repeats = bench_.FillBlock(block);
    if (firstCounter)
        *firstCounter = static_cast<std::uint32_t>(block[0]);
    return backlog_.CommitLocked(repeats);
}

void Generator::TimePassed(std::uint64_t fromMs, std::uint64_t toMs)
{
    if (mode_.load() != Mode::VirtualClock)
        return;
    int posts = 0;
    std::uint32_t threadId = 0;
    {
        SimLock lock(bench_.Mutex());
        if (!bench_.CanProduce()) {
            clockRunning_ = false;
            return;
        }
        const double now = static_cast<double>(toMs);
        const double period = 1000.0 * ZORVA_USB_SAMPLES_PER_BLOCK / bench_.ClockRate();
        if (!clockRunning_ || clockStart_ != bench_.Starts() || nextDueMs_ > now + period) {
            // A start this clock has not seen (or a clock set back): it was
            // made before this pause, since nothing else moves the clock.
            clockRunning_ = true;
            clockStart_ = bench_.Starts();
            nextDueMs_ = static_cast<double>(fromMs) + period;
        }
        if (nextDueMs_ > now)
            return;
        // More than the FIFO holds: the oldest never reach it, but their
        // samples pass on the counter.
        const std::uint64_t due = static_cast<std::uint64_t>((now - nextDueMs_) / period) + 1;
        const std::uint64_t room = bench_.BacklogBlocks();
        if (due > room) {
            const std::uint64_t lost = due - room;
            bench_.SkipSamples(lost * ZORVA_USB_SAMPLES_PER_BLOCK);
            {
                SimLock backlogLock(backlog_.Mutex());
                backlog_.CountDroppedLocked(lost);
            }
            nextDueMs_ += static_cast<double>(lost) * period;
        }
        while (nextDueMs_ <= now) {
            MeasuredBlock measured;
            measured.rate = bench_.Rate();
            measured.endMs = nextDueMs_;
            bool made = false;
            posts += ProduceLocked(made, &measured.counter);
            measured.sampleClock = bench_.SampleClock() - ZORVA_USB_SAMPLES_PER_BLOCK;
            if (made)
                measured_.push_back(measured);
            if (measured_.size() > kMeasuredCapacity)
                measured_.pop_front();
            nextDueMs_ += period;
        }
        threadId = bench_.ThreadId();
    }
    Post(threadId, posts);
}

std::vector<MeasuredBlock> Generator::MeasuredBlocks() const
{
    SimLock lock(bench_.Mutex());
    return std::vector<MeasuredBlock>(measured_.begin(), measured_.end());
}

void Generator::ClearMeasuredBlocks()
{
    SimLock lock(bench_.Mutex());
    measured_.clear();
}

void Generator::Post(std::uint32_t threadId, int count)
{
    for (int i = 0; i < count; ++i) {
        const BOOL posted = PostThreadMessageW(threadId, ZORVA_USB_WM_DATA_READY, 0, 0);
        backlog_.CountPost(posted != FALSE);
    }
}

int Generator::Deliver(int count)
{
    if (mode_.load() != Mode::Stepped || count <= 0)
        return 0;
    int produced = 0;
    int posts = 0;
    std::uint32_t threadId = 0;
    {
        SimLock lock(bench_.Mutex());
        while (produced < count && bench_.CanProduce()) {
            bool made = false;
            posts += ProduceLocked(made);
            produced += made ? 1 : 0;
        }
        threadId = bench_.ThreadId();
    }
    Post(threadId, posts);
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
            std::chrono::duration<double>(double(ZORVA_USB_SAMPLES_PER_BLOCK) / bench_.ClockRate()));
        const Clock::time_point due = previous + period;
        if (now < due) {
            wake_.wait_until(lock, due);
            continue;
        }
        bool made = false;
        const int posts = ProduceLocked(made);
        previous = due;
        // Held up far longer than the backlog covers (debugger, overloaded
        // machine): do not make up for it.
        if (now - previous > period * static_cast<long>(bench_.BacklogBlocks()))
            previous = now;
        if (posts > 0) {
            const std::uint32_t threadId = bench_.ThreadId();
            lock.Unlock();
            Post(threadId, posts);
            lock.Lock();
        }
    }
}

} // namespace detail
} // namespace zorvasim
