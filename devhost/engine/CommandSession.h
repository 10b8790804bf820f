/// One command's session with the plugin, made the same way for every command
/// (the program's StartSession says what it prints): the trace recorder in
/// front of the USB library when the command records a trace, the plugin
/// loaded by file, the simulated bench's controls looked up in the USB
/// library it loaded, and the replay of a trace when the command replays one.
/// The members are declared in the order they must go: the plugin shuts down
/// (the session's destructor) before the trace ends, so the trace holds the
/// plugin's last calls.
///
/// Every step returns false with `error` saying why; nothing here prints.
/// Threads: the owner's thread only.
#pragma once

#include "devhost/engine/BenchControl.h"
#include "devhost/engine/fieldtrace/FieldTrace.h"
#include "hostkit/Session.h"

#include <optional>
#include <string>
#include <vector>

namespace zorvahost {

class CommandSession
{
public:
    CommandSession() = default;
    CommandSession(const CommandSession&) = delete;
    CommandSession& operator=(const CommandSession&) = delete;

    /// Puts the recorder in front of the USB library the plugin at
    /// `pluginPath` loads, recording into `tracePath`, with the session's
    /// command line noted (`sessionArguments`). Before LoadPlugin.
    bool StartRecording(const std::string& tracePath, const std::string& pluginPath,
                        const std::vector<std::string>& sessionArguments, std::string& error);
    /// Loads the plugin, then looks the bench's controls up in its USB library.
    bool LoadPlugin(const std::string& pluginPath, std::string& error);
    /// The simulated library answers every call from the trace at `tracePath`
    /// from now on; the bench stands for nothing (BenchControl::SetReplaying).
    /// After LoadPlugin.
    bool StartReplay(const std::string& tracePath, std::string& error);
    /// Hands the shared configuration device to the plugin and waits for the
    /// detection it starts (at most hostkit::kDetectionTimeoutSeconds).
    bool Detect(hostkit::DetectionReport& report, std::string& error);

    TraceRecorder& Recorder() { return recorder_; }
    hostkit::PluginSession& Session() { return session_; }
    const hostkit::PluginSession& Session() const { return session_; }
    /// The bench's controls; without any before LoadPlugin.
    const BenchControl& Bench() const { return bench_ ? *bench_ : none_; }

private:
    TraceRecorder recorder_;
    hostkit::PluginSession session_;
    std::optional<BenchControl> bench_;
    /// Stands for the bench before the plugin is loaded (and in a failed start).
    BenchControl none_{BenchControl::Absent()};
};

} // namespace zorvahost
