/// Lets Shutdown wait for the host's calls into the devices that are still
/// running, and refuses the ones that come after it.
#pragma once

#include "win32/ThreadSafety.h"

#include <condition_variable>

namespace ZORVA {

/// Thread contract: any thread enters and leaves (through Pass); the thread
/// that shuts the plugin down calls Close once, outside every Pass of its own
/// but those it is inside of (a host that calls Shutdown from inside a device
/// call is not waited for by itself). `mutex` guards the counts; it is never
/// held while a device works or calls the host.
///
/// Shutdown releases the driver service and then the devices: a host thread
/// still inside Arm's pause, a settings change or a blink would otherwise go
/// on with a destroyed service or device.
class OperationGate
{
public:
    /// One device operation: admitted unless the gate is closed.
    class Pass
    {
    public:
        /// A null gate admits everything (a device used on its own, in tests).
        explicit Pass(OperationGate* gate) : gate_(gate), admitted_(!gate || gate->Enter()) {}
        ~Pass()
        {
            if (gate_ && admitted_)
                gate_->Leave();
        }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;

        bool Admitted() const { return admitted_; }

    private:
        OperationGate* const gate_;
        const bool admitted_;
    };

    /// Refuses every later operation and returns once those running have
    /// ended (those of the calling thread excepted).
    void Close() ZORVA_EXCLUDES(mutex_)
    {
        UniqueLock<Mutex> lock(mutex_);
        closed_ = true;
        const int own = Depth();
        left_.wait(lock, [&]() ZORVA_NO_THREAD_SAFETY_ANALYSIS { return inside_ <= own; });
    }

    bool Closed() ZORVA_EXCLUDES(mutex_)
    {
        MutexLock lock(mutex_);
        return closed_;
    }

private:
    bool Enter() ZORVA_EXCLUDES(mutex_)
    {
        MutexLock lock(mutex_);
        if (closed_)
            return false;
        ++inside_;
        ++Depth();
        return true;
    }

    void Leave() ZORVA_EXCLUDES(mutex_)
    {
        {
            MutexLock lock(mutex_);
            --inside_;
            --Depth();
        }
        left_.notify_all();
    }

    /// How many passes the calling thread holds (of any gate: one plugin runs one).
    static int& Depth()
    {
        static thread_local int depth = 0;
        return depth;
    }

    Mutex mutex_;
    bool closed_ ZORVA_GUARDED_BY(mutex_) = false;
    int inside_ ZORVA_GUARDED_BY(mutex_) = 0;
    std::condition_variable_any left_;
};

} // namespace ZORVA
