#include "devhost/live/Hub.h"

namespace zorvahost {
namespace live {

typedef ZORVA::ScopedLock<ZORVA::AnnotatedMutex<std::mutex>> Lock;

void Hub::PublishState(const std::string& json)
{
    Lock lock(mutex_);
    if (json == state_)
        return;
    state_ = json;
    ++stateVersion_;
}

void Hub::PublishLines(const std::vector<LiveLine>& lines)
{
    if (lines.empty())
        return;
    Lock lock(mutex_);
    for (const LiveLine& line : lines) {
        lines_.push_back(NumberedLine{++lineCount_, line});
        if (lines_.size() > kKeptLines)
            lines_.pop_front();
    }
}

bool Hub::TakeAction(PendingAction& action)
{
    Lock lock(mutex_);
    if (actions_.empty())
        return false;
    action = actions_.front();
    actions_.pop_front();
    return true;
}

void Hub::Reply(const ActionReply& reply)
{
    Lock lock(mutex_);
    replies_.push_back(reply);
}

bool Hub::StateSince(std::uint64_t& version, std::string& json)
{
    Lock lock(mutex_);
    if (stateVersion_ == version)
        return false;
    version = stateVersion_;
    json = state_;
    return true;
}

std::string Hub::State(std::uint64_t& version)
{
    Lock lock(mutex_);
    version = stateVersion_;
    return state_;
}

void Hub::LinesSince(std::uint64_t& after, std::vector<NumberedLine>& out)
{
    out.clear();
    Lock lock(mutex_);
    for (const NumberedLine& line : lines_) {
        if (line.number > after)
            out.push_back(line);
    }
    after = lineCount_;
}

bool Hub::PushAction(const PendingAction& action)
{
    Lock lock(mutex_);
    if (actions_.size() >= kMaxPendingActions)
        return false;
    actions_.push_back(action);
    return true;
}

void Hub::TakeReplies(std::vector<ActionReply>& out)
{
    out.clear();
    Lock lock(mutex_);
    out.swap(replies_);
}

} // namespace live
} // namespace zorvahost
