/// The live view's main loop: ticks the source (its log, detections and
/// re-arming), publishes the session's state and lines to the Hub, and does
/// the page's actions one at a time, until the page or the user stops it.
///
/// Threads: Run on the session's main thread; RequestStop from any thread
/// (a signal handler's flag is read through `interrupted`).
#pragma once

#include "devhost/live/Hub.h"
#include "devhost/live/LiveSource.h"

#include <atomic>
#include <functional>
#include <string>

namespace zorvahost {
namespace live {

/// The state as the page reads it (live.js).
std::string StateJson(const SessionView& view);

class LiveLoop
{
public:
    /// `print` gets what the console shows: the host's lines and the plugin's warnings.
    LiveLoop(LiveSource& source, Hub& hub, std::function<void(const LiveLine&)> print)
        : source_(source), hub_(hub), print_(std::move(print))
    {}

    /// Until a page asks to stop or `interrupted` is set; true when a page stopped it.
    bool Run(const std::atomic<bool>& interrupted);

private:
    void Publish(std::vector<LiveLine>& lines);

    LiveSource& source_;
    Hub& hub_;
    std::function<void(const LiveLine&)> print_;
};

} // namespace live
} // namespace zorvahost
