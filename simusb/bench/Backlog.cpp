#include "simusb/bench/Backlog.h"

#include <algorithm>

namespace zorvasim {
namespace detail {

void Backlog::Resize(std::size_t capacity, std::size_t blockFloats)
{
    SimLock lock(mutex_);
    capacity_ = std::max<std::size_t>(capacity, 1);
    blockFloats_ = blockFloats;
    ring_.assign(capacity_ * blockFloats_, 0.0f);
    head_ = 0;
    count_ = 0;
    messageOutstanding_ = false;
}

void Backlog::Clear()
{
    SimLock lock(mutex_);
    head_ = 0;
    count_ = 0;
    messageOutstanding_ = false;
}

void Backlog::ForgetMessage()
{
    SimLock lock(mutex_);
    messageOutstanding_ = false;
}

int Backlog::Transfer(float** block)
{
    SimLock lock(mutex_);
    if (!block)
        return 0;
    if (transferFault_ != TransferFault::None) {
        // A failing library: nothing handed out, the backlog left as it is.
        const int r = transferFault_ == TransferFault::Error ? -1 : 1;
        *block = nullptr;
        messageOutstanding_ = false; // the next block posts again
        if (transferFaultCalls_ > 0 && --transferFaultCalls_ == 0)
            transferFault_ = TransferFault::None;
        return r;
    }
    if (count_ == 0) {
        messageOutstanding_ = false; // drained: the next block posts again
        counters_.drained = true;
        *block = nullptr;
        return 0;
    }
    counters_.drained = false;
    if (current_.size() != blockFloats_)
        current_.assign(blockFloats_, 0.0f);
    const float* from = SlotLocked(head_);
    std::copy(from, from + blockFloats_, current_.begin());
    head_ = (head_ + 1) % capacity_;
    --count_;
    ++counters_.blocksTransferred;
    *block = current_.data();
    return 1;
}

void Backlog::CountPost(bool posted)
{
    SimLock lock(mutex_);
    if (posted) {
        ++counters_.messagesPosted;
    } else {
        ++counters_.postFailures;
        messageOutstanding_ = false;
    }
}

void Backlog::SetTransferFault(TransferFault fault, int calls)
{
    SimLock lock(mutex_);
    transferFault_ = calls == 0 ? TransferFault::None : fault;
    transferFaultCalls_ = fault == TransferFault::None ? 0 : calls;
}

Counters Backlog::GetCounters() const
{
    SimLock lock(mutex_);
    Counters c = counters_;
    c.backlog = count_;
    return c;
}

void Backlog::ResetCounters()
{
    SimLock lock(mutex_);
    counters_ = Counters{};
}

float* Backlog::SlotLocked(std::size_t position) { return ring_.data() + (position % capacity_) * blockFloats_; }

float* Backlog::NextSlotLocked()
{
    if (count_ == capacity_) {
        // The reader lags: the oldest block goes, as a device FIFO overruns.
        head_ = (head_ + 1) % capacity_;
        --count_;
        ++counters_.blocksDropped;
    }
    return SlotLocked(head_ + count_);
}

int Backlog::CommitLocked(int repeats)
{
    ++count_;
    ++counters_.blocksProduced;
    const int blocks = 1 + (repeats > 0 ? repeats : 0);
    // The same block again, as a library that hands one out twice.
    for (; repeats > 0; --repeats) {
        const float* newest = SlotLocked(head_ + count_ - 1);
        float* again = NextSlotLocked();
        // With room for one block the copy would land on itself.
        if (again != newest)
            std::copy(newest, newest + blockFloats_, again);
        ++count_;
        ++counters_.blocksProduced;
    }
    // One message at a time: the reader drains every block per message, so a
    // reader that stalls gets a full backlog, not a flooded message queue.
    // Unless the library is one that posts for every block.
    if (policy_ == MessagePolicy::EveryBlock) {
        messageOutstanding_ = true;
        return blocks;
    }
    if (messageOutstanding_)
        return 0;
    messageOutstanding_ = true;
    return 1;
}

void Backlog::SetMessagePolicy(MessagePolicy policy)
{
    SimLock lock(mutex_);
    policy_ = policy;
}

void Backlog::CountDroppedLocked(std::uint64_t blocks) { counters_.blocksDropped += blocks; }

} // namespace detail
} // namespace zorvasim
