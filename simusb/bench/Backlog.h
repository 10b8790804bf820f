/// The blocks the simulated library has produced and not yet handed out.
#pragma once

#include "simusb/bench/Locks.h"
#include "simusb/SimControl.h"

#include <cstddef>
#include <vector>

namespace zorvasim {
namespace detail {

/// A ring of blocks waiting for fmDLLTransferFloatData, as a device FIFO holds
/// them: when it is full the oldest block goes and is counted. It keeps the
/// one-outstanding-message rule (a data-ready message is due only when none is
/// outstanding; one is outstanding until a transfer finds the ring empty), the
/// injected transfer faults and the data-path counters.
///
/// Threads: the producer (the generator thread, or DeliverBlocks on a control
/// thread) and the fm* calls under the bench lock (the driver's worker and
/// host threads), GetCounters on any thread.
/// - `mutex_` guards every field. It is taken after the bench lock or alone,
///   never before it (Bench::mutex_ says so), and nothing outside this class
///   is called while it is held, except the bench filling a slot between
///   NextSlotLocked and CommitLocked.
/// - Functions without the Locked suffix take `mutex_` themselves; the
///   producer holds it across NextSlotLocked, writing the block and
///   CommitLocked, so a half-written block is never handed out.
/// - `current_` (the block handed out last) is replaced only by Transfer; its
///   caller reads it without the lock until its next call (the calls of the
///   one reader never overlap).
class Backlog
{
public:
    Backlog() = default;
    Backlog(const Backlog&) = delete;
    Backlog& operator=(const Backlog&) = delete;

    SimMutex& Mutex() const ZORVA_RETURN_CAPABILITY(mutex_) { return mutex_; }

    /// Room for `capacity` blocks (at least 1) of `blockFloats` floats each,
    /// empty, no message outstanding. The hand-out buffer is left alone.
    void Resize(std::size_t capacity, std::size_t blockFloats) ZORVA_EXCLUDES(mutex_);
    /// Drops the waiting blocks and forgets the outstanding message.
    void Clear() ZORVA_EXCLUDES(mutex_);
    /// The next block posts a message again (a new thread, posting switched,
    /// a new start).
    void ForgetMessage() ZORVA_EXCLUDES(mutex_);

    /// fmDLLTransferFloatData: hands out the oldest block (1), none (0, null)
    /// or fails as an injected fault says.
    int Transfer(float** block) ZORVA_EXCLUDES(mutex_);
    /// Counts what PostThreadMessageW made of the message CommitLocked asked
    /// for; a failed post lets the next block post again.
    void CountPost(bool posted) ZORVA_EXCLUDES(mutex_);

    /// See zorvasim::SetMessagePolicy.
    void SetMessagePolicy(MessagePolicy policy) ZORVA_EXCLUDES(mutex_);

    /// See zorvasim::SetTransferFault; (None, 0) ends every transfer fault.
    void SetTransferFault(TransferFault fault, int calls) ZORVA_EXCLUDES(mutex_);

    /// The data-path counters and the blocks waiting now (traceDropped is not
    /// this class's and stays 0).
    Counters GetCounters() const ZORVA_EXCLUDES(mutex_);
    void ResetCounters() ZORVA_EXCLUDES(mutex_);

    /// The slot the next block goes to, blockFloats floats; pushes the oldest
    /// block out when the ring is full.
    float* NextSlotLocked() ZORVA_REQUIRES(mutex_);
    /// The block written to the slot NextSlotLocked gave is waiting now, and
    /// `repeats` copies of it after it. Returns how many data-ready messages
    /// are due (0 or 1; one a block under MessagePolicy::EveryBlock).
    int CommitLocked(int repeats) ZORVA_REQUIRES(mutex_);
    /// Blocks the hardware measured while the ring was full and that never
    /// reached it.
    void CountDroppedLocked(std::uint64_t blocks) ZORVA_REQUIRES(mutex_);
    /// A block the hardware measured and lost on the way: never in the ring.
    void CountLostLocked() ZORVA_REQUIRES(mutex_) { ++counters_.blocksLost; }

private:
    float* SlotLocked(std::size_t position) ZORVA_REQUIRES(mutex_);

    mutable SimMutex mutex_;
    std::size_t capacity_ ZORVA_GUARDED_BY(mutex_) = 1; // blocks
    std::size_t blockFloats_ ZORVA_GUARDED_BY(mutex_) = 0;
    std::vector<float> ring_ ZORVA_GUARDED_BY(mutex_); // capacity_ blocks
    std::size_t head_ ZORVA_GUARDED_BY(mutex_) = 0;    // the oldest waiting block
    std::size_t count_ ZORVA_GUARDED_BY(mutex_) = 0;   // blocks waiting
    bool messageOutstanding_ ZORVA_GUARDED_BY(mutex_) = false;
    MessagePolicy policy_ ZORVA_GUARDED_BY(mutex_) = MessagePolicy::OneOutstanding;
    std::vector<float> current_ ZORVA_GUARDED_BY(mutex_);
    Counters counters_ ZORVA_GUARDED_BY(mutex_);
    TransferFault transferFault_ ZORVA_GUARDED_BY(mutex_) = TransferFault::None;
    int transferFaultCalls_ ZORVA_GUARDED_BY(mutex_) = 0; // negative: every call
};

} // namespace detail
} // namespace zorvasim
