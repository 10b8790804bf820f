/// Where the live loop and the server meet: the loop publishes the
/// session's state and log lines and takes the page's actions; the server
/// takes what is new for its frames, hands in actions and sends the replies.
///
/// Threads: the Publish/Take-action/Reply members run on the live loop's
/// thread, the others on the server's thread; `mutex_` guards every field and
/// is held only to copy in or out.
#pragma once

#include "devhost/live/LiveSource.h"
#include "win32/ThreadSafety.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace zorvahost {
namespace live {

/// A log line with its number in the session (from 1).
struct NumberedLine
{
    std::uint64_t number = 0;
    LiveLine line;
};

/// An action from a page: which browser asked and its request number.
struct PendingAction
{
    std::uint64_t client = 0;
    int request = 0;
    LiveAction action;
};

struct ActionReply
{
    std::uint64_t client = 0;
    int request = 0;
    bool ok = false;
    std::string text;
};

class Hub
{
public:
    /// The lines a page gets when it (re)starts: the newest this many.
    static constexpr std::size_t kKeptLines = 1000;
    /// Actions waiting for the loop; more are refused (a page that floods).
    static constexpr std::size_t kMaxPendingActions = 64;

    // The live loop's side.
    /// The session's state as the page reads it (JSON); counted as new only when it differs.
    void PublishState(const std::string& json);
    void PublishLines(const std::vector<LiveLine>& lines);
    bool TakeAction(PendingAction& action);
    void Reply(const ActionReply& reply);

    // The server's side.
    /// The state when newer than `version` (which is updated), else false.
    bool StateSince(std::uint64_t& version, std::string& json);
    /// The state whatever its version, with that version.
    std::string State(std::uint64_t& version);
    /// The lines numbered after `after`, of those kept; `after` becomes the newest's number.
    void LinesSince(std::uint64_t& after, std::vector<NumberedLine>& out);
    /// False when too many are waiting.
    bool PushAction(const PendingAction& action);
    void TakeReplies(std::vector<ActionReply>& out);

private:
    typedef ZORVA::AnnotatedMutex<std::mutex> Mutex;
    mutable Mutex mutex_;
    std::string state_ ZORVA_GUARDED_BY(mutex_) = "{}";
    std::uint64_t stateVersion_ ZORVA_GUARDED_BY(mutex_) = 0;
    std::deque<NumberedLine> lines_ ZORVA_GUARDED_BY(mutex_);
    std::uint64_t lineCount_ ZORVA_GUARDED_BY(mutex_) = 0;
    std::deque<PendingAction> actions_ ZORVA_GUARDED_BY(mutex_);
    std::vector<ActionReply> replies_ ZORVA_GUARDED_BY(mutex_);
};

} // namespace live
} // namespace zorvahost
