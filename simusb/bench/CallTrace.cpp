#include "simusb/bench/CallTrace.h"

#include <algorithm>

namespace zorvasim {
namespace detail {

CallTrace::CallTrace(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

void CallTrace::Add(std::string entry)
{
    SimLock lock(mutex_);
    entries_.push_back(std::move(entry));
    TrimLocked();
}

std::vector<std::string> CallTrace::Entries() const
{
    SimLock lock(mutex_);
    return std::vector<std::string>(entries_.begin(), entries_.end());
}

void CallTrace::Clear()
{
    SimLock lock(mutex_);
    entries_.clear();
}

void CallTrace::SetCapacity(std::size_t capacity)
{
    SimLock lock(mutex_);
    capacity_ = std::max<std::size_t>(capacity, 1);
    TrimLocked();
}

std::uint64_t CallTrace::Dropped() const
{
    SimLock lock(mutex_);
    return dropped_;
}

void CallTrace::Reset(std::size_t capacity)
{
    SimLock lock(mutex_);
    entries_.clear();
    capacity_ = std::max<std::size_t>(capacity, 1);
    dropped_ = 0;
}

void CallTrace::TrimLocked()
{
    while (entries_.size() > capacity_) {
        entries_.pop_front();
        ++dropped_;
    }
}

std::string CallEntry(const char* name, long long arg) { return std::string(name) + "(" + std::to_string(arg) + ")"; }

std::string ResultEntry(const std::string& call, long long result) { return call + " -> " + std::to_string(result); }

} // namespace detail
} // namespace zorvasim
