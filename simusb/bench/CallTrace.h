/// The call trace of the simulated library.
#pragma once

#include "simusb/bench/Locks.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace zorvasim {
namespace detail {

/// An ordered, bounded list of trace lines.
///
/// Threads: any thread may call every operation; `mutex_` guards all fields
/// and is held only while a field is read or written, never while anything
/// else is called: it is the last lock of every order, so the trace can be
/// written under any other lock of the library. When full, each new entry
/// removes the oldest one; `dropped_` counts them.
class CallTrace
{
public:
    explicit CallTrace(std::size_t capacity);

    void Add(std::string entry) ZORVA_EXCLUDES(mutex_);
    std::vector<std::string> Entries() const ZORVA_EXCLUDES(mutex_);
    void Clear() ZORVA_EXCLUDES(mutex_);
    /// At least 1; the oldest entries go at once if there are more.
    void SetCapacity(std::size_t capacity) ZORVA_EXCLUDES(mutex_);
    std::uint64_t Dropped() const ZORVA_EXCLUDES(mutex_);
    /// Empties the trace, zeroes the drop count and restores the capacity.
    void Reset(std::size_t capacity) ZORVA_EXCLUDES(mutex_);

private:
    void TrimLocked() ZORVA_REQUIRES(mutex_);

    mutable SimMutex mutex_;
    std::deque<std::string> entries_ ZORVA_GUARDED_BY(mutex_);
    std::size_t capacity_ ZORVA_GUARDED_BY(mutex_);
    std::uint64_t dropped_ ZORVA_GUARDED_BY(mutex_) = 0;
};

/// Call-trace entries: "name(arg)" and "call -> result".
std::string CallEntry(const char* name, long long arg);
std::string ResultEntry(const std::string& call, long long result);

} // namespace detail
} // namespace zorvasim
