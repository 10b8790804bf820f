/// The messages waiting to go to one browser: bounded, so a browser that
/// reads slowly (a busy computer, a tab in the background) costs a few
/// frames' memory and nothing else. A frame that finds the queue full is
/// dropped and counted, and the browser's next message is a snapshot that
/// brings it up to date, so it never shows half a window.
///
/// Threads: the server's thread only.
#pragma once

#include "devhost/live/Frames.h"

#include <cstddef>
#include <cstdint>
#include <deque>

namespace zorvahost {
namespace live {

class ClientQueue
{
public:
    explicit ClientQueue(std::size_t capacity) : capacity_(capacity) {}

    /// Queues a frame; false (dropped, counted) when full or while a snapshot is due.
    bool Offer(const Message& frame)
    {
        if (snapshotDue_ || queue_.size() >= capacity_) {
            ++dropped_;
            snapshotDue_ = true;
            return false;
        }
        queue_.push_back(frame);
        return true;
    }

    /// A message that must not be dropped (a snapshot, a reply): queued even when full.
    void Force(const Message& message) { queue_.push_back(message); }

    /// A snapshot is due and there is room for it.
    bool WantsSnapshot() const { return snapshotDue_ && queue_.size() < capacity_; }
    /// Queues the snapshot that ends the catching up.
    void SnapshotQueued(const Message& snapshot)
    {
        queue_.push_back(snapshot);
        snapshotDue_ = false;
    }
    /// Starts with a snapshot.
    void RequireSnapshot() { snapshotDue_ = true; }

    bool Empty() const { return queue_.empty(); }
    std::size_t Size() const { return queue_.size(); }
    const Message& Front() const { return queue_.front(); }
    void Pop() { queue_.pop_front(); }
    /// Frames this browser missed, since it connected.
    std::uint64_t Dropped() const { return dropped_; }

private:
    std::size_t capacity_;
    std::deque<Message> queue_;
    bool snapshotDue_ = false;
    std::uint64_t dropped_ = 0;
};

} // namespace live
} // namespace zorvahost
