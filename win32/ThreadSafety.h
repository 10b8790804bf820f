/// Lock contracts the compiler checks.
///
/// clang's -Wthread-safety reads the annotations below: a field marked
/// ZORVA_GUARDED_BY(m) may be read or written only while `m` is held, a
/// function marked ZORVA_REQUIRES(m) only be called with `m` held, and so on.
/// Other compilers ignore them. The test command compiles the plugin's core and
/// the simulated library with clang -Wthread-safety -Werror (scripts/threadsafety.sh).
///
/// The locks themselves: AnnotatedMutex wraps a native mutex (boost::mutex in
/// the plugin's core, std::mutex in the simulated library) and ScopedLock /
/// UniqueLock hold one for a scope, the way std::lock_guard / std::unique_lock
/// do, so the analysis can follow them.
#pragma once

#include <boost/thread/mutex.hpp>

#include <mutex>

#if defined(__clang__)
#    define ZORVA_THREAD_ANNOTATION(x) __attribute__((x))
#else
#    define ZORVA_THREAD_ANNOTATION(x)
#endif

#define ZORVA_CAPABILITY(x) ZORVA_THREAD_ANNOTATION(capability(x))
#define ZORVA_SCOPED_CAPABILITY ZORVA_THREAD_ANNOTATION(scoped_lockable)
#define ZORVA_GUARDED_BY(x) ZORVA_THREAD_ANNOTATION(guarded_by(x))
#define ZORVA_PT_GUARDED_BY(x) ZORVA_THREAD_ANNOTATION(pt_guarded_by(x))
#define ZORVA_ACQUIRED_BEFORE(...) ZORVA_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ZORVA_ACQUIRED_AFTER(...) ZORVA_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define ZORVA_REQUIRES(...) ZORVA_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ZORVA_ACQUIRE(...) ZORVA_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define ZORVA_RELEASE(...) ZORVA_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define ZORVA_TRY_ACQUIRE(...) ZORVA_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define ZORVA_EXCLUDES(...) ZORVA_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ZORVA_RETURN_CAPABILITY(x) ZORVA_THREAD_ANNOTATION(lock_returned(x))
#define ZORVA_NO_THREAD_SAFETY_ANALYSIS ZORVA_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace ZORVA {

/// A mutex the analysis knows. Native is the mutex underneath; `Native()`
/// hands it to a condition variable.
template <typename NativeMutex>
class ZORVA_CAPABILITY("mutex") AnnotatedMutex
{
public:
    AnnotatedMutex() = default;
    AnnotatedMutex(const AnnotatedMutex&) = delete;
    AnnotatedMutex& operator=(const AnnotatedMutex&) = delete;

    void lock() ZORVA_ACQUIRE() { native_.lock(); }
    void unlock() ZORVA_RELEASE() { native_.unlock(); }
    bool try_lock() ZORVA_TRY_ACQUIRE(true) { return native_.try_lock(); }

    NativeMutex& Native() { return native_; }

private:
    NativeMutex native_;
};

/// Holds a mutex from construction to the end of the scope.
template <typename Mutex>
class ZORVA_SCOPED_CAPABILITY ScopedLock
{
public:
    explicit ScopedLock(Mutex& mutex) ZORVA_ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
    ~ScopedLock() ZORVA_RELEASE() { mutex_.unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    Mutex& mutex_;
};

/// Holds a mutex for the scope, and may let it go and take it again in
/// between (Unlock/Lock), e.g. to call out without it.
template <typename Mutex>
class ZORVA_SCOPED_CAPABILITY UniqueLock
{
public:
    explicit UniqueLock(Mutex& mutex) ZORVA_ACQUIRE(mutex) : mutex_(mutex) { Lock(); }
    ~UniqueLock() ZORVA_RELEASE()
    {
        if (held_)
            mutex_.unlock();
    }
    UniqueLock(const UniqueLock&) = delete;
    UniqueLock& operator=(const UniqueLock&) = delete;

    void Lock() ZORVA_ACQUIRE()
    {
        mutex_.lock();
        held_ = true;
    }
    void Unlock() ZORVA_RELEASE()
    {
        held_ = false;
        mutex_.unlock();
    }
    /// For std::condition_variable_any, which locks and unlocks through these.
    void lock() ZORVA_ACQUIRE() { Lock(); }
    void unlock() ZORVA_RELEASE() { Unlock(); }

private:
    Mutex& mutex_;
    bool held_ = false;
};

/// Adds `delta` to the number of the plugin core's locks the calling thread
/// holds (plugin/HeldLocks.cpp).
void CountHeldPluginLocks(int delta) noexcept;
/// The number of the plugin core's locks the calling thread holds now.
int HeldPluginLocks() noexcept;

/// The plugin core's mutex: a boost::mutex that counts, per thread, the core's
/// locks held, so a test host can prove that no call into the host (but Log
/// and GetTime) is made under one, where a host calling back into a device
/// would deadlock.
class ZORVA_CAPABILITY("mutex") Mutex
{
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() ZORVA_ACQUIRE()
    {
        native_.lock();
        CountHeldPluginLocks(1);
    }
    void unlock() ZORVA_RELEASE()
    {
        CountHeldPluginLocks(-1);
        native_.unlock();
    }
    bool try_lock() ZORVA_TRY_ACQUIRE(true)
    {
        if (!native_.try_lock())
            return false;
        CountHeldPluginLocks(1);
        return true;
    }

private:
    boost::mutex native_;
};
typedef ScopedLock<Mutex> MutexLock;

} // namespace ZORVA
