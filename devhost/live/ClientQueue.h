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
    /// At most `capacity` frames wait; a snapshot and replies are not counted.
    explicit ClientQueue(std::size_t capacity) : capacity_(capacity) {}

    /// Queues a frame; false (dropped, counted) when full or while a snapshot is due.
    bool Offer(const Message& frame)
    {
        if (snapshotDue_ || frames_ >= capacity_) {
            ++dropped_;
            snapshotDue_ = true;
            return false;
        }
        queue_.push_back(Entry{frame, true});
        ++frames_;
        return true;
    }

    /// A message that must not be dropped (a reply): queued even when full.
    void Force(const Message& message) { queue_.push_back(Entry{message, false}); }

    /// A snapshot is due and the frames before it have gone out.
    bool WantsSnapshot() const { return snapshotDue_ && frames_ == 0; }
    /// Queues the snapshot that ends the catching up.
    void SnapshotQueued(const Message& snapshot)
    {
        queue_.push_back(Entry{snapshot, false});
        snapshotDue_ = false;
    }

    bool Empty() const { return queue_.empty(); }
    const Message& Front() const { return queue_.front().message; }
    void Pop()
    {
        if (queue_.front().frame)
            --frames_;
        queue_.pop_front();
    }
    /// Frames this browser missed, since it connected.
    std::uint64_t Dropped() const { return dropped_; }

private:
    struct Entry
    {
        Message message;
        bool frame;
    };

    std::size_t capacity_;
    std::deque<Entry> queue_;
    std::size_t frames_ = 0;
    bool snapshotDue_ = false;
    std::uint64_t dropped_ = 0;
};

} // namespace live
} // namespace zorvahost
