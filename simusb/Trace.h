/// The call trace of the simulated library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace zorvasim {
namespace detail {

/// An ordered, bounded list of trace lines.
///
/// Threads: any thread may call every operation; `mutex_` guards all fields
/// and is held only while a field is read or written, never while anything
/// else is called, so the trace can be written under any other lock of the
/// library. When full, each new entry removes the oldest one; `dropped_`
/// counts them.
class Trace
{
public:
    explicit Trace(std::size_t capacity);

    void Add(std::string entry);
    std::vector<std::string> Entries() const;
    void Clear();
    /// At least 1; the oldest entries go at once if there are more.
    void SetCapacity(std::size_t capacity);
    std::uint64_t Dropped() const;
    /// Empties the trace, zeroes the drop count and restores the capacity.
    void Reset(std::size_t capacity);

private:
    void TrimLocked();

    mutable std::mutex mutex_;
    std::deque<std::string> entries_;
    std::size_t capacity_;
    std::uint64_t dropped_ = 0;
};

} // namespace detail
} // namespace zorvasim
