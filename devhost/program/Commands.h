/// The development host's commands; each returns its exit code (ExitCode).
#pragma once

#include "devhost/program/CommandLine.h"
#include "devhost/engine/fieldtrace/FieldTrace.h"
#include "hostkit/Session.h"

#include <cstdint>
#include <string>

namespace zorvahost {

class BenchControl;

int RunDefinitions(const Options& options);
int RunCheckConfig(const Options& options);
int RunDetect(const Options& options);
int RunCapture(const Options& options);
/// selftest: exit code 0 only when every check passed.
int RunSelfTest(const Options& options);
/// --version: prints the versions; exit code 1 when the plugin's cannot be read.
int RunVersion(const Options& options);
/// replay FILE: exit code 0 only when the plugin's calls and data matched the trace.
int RunReplay(const Options& options);
/// trace-info FILE: exit code 1 when the file is refused.
int RunTraceInfo(const Options& options);
/// live: the session with its page until the page or Ctrl-C stops it (devhost/live/LiveCommand.cpp).
int RunLive(const Options& options);

/// A replay as the capture and detect commands run it.
struct ReplayPlan
{
    std::string path;
    /// This program's notes in the trace (none in a host's trace).
    RecordedSession recorded;
    std::uint64_t recordedCalls = 0;  ///< call records in the trace
    std::uint64_t recordedBlocks = 0; ///< of them, transfers that handed out a block
    bool cutShort = false;            ///< the trace ends without its end record
    /// Set by ReportReplay: the plugin's calls and data matched the recording.
    bool matched = false;
};

/// The capture and detect commands, recording a trace as the options say,
/// or, with `replay`, on the simulated library replaying a trace.
int CaptureWith(const Options& options, ReplayPlan* replay);
int DetectWith(const Options& options, ReplayPlan* replay);

/// --record-trace: puts the recorder in front before the plugin is loaded
/// and says so; nothing without the option. False (said why) when it cannot.
bool StartRecording(TraceRecorder& recorder, const Options& options);
/// After the plugin's shut-down: ends the trace and says what it holds.
/// False (said why) when it was not written whole; true when none was open.
bool FinishRecording(TraceRecorder& recorder);
/// After the plugin is loaded: its USB library answers from the trace from
/// now on. False (said why) when it cannot replay.
bool StartReplay(const BenchControl& bench, const ReplayPlan& plan);
/// After the plugin's shut-down, before it is unloaded: prints every
/// difference and the verdict, and sets plan.matched.
void ReportReplay(const BenchControl& bench, ReplayPlan& plan);

/// Reports a replay once, however its command ends: the plugin shut down
/// first (its last calls are part of the recording), while it is still
/// loaded. Declared after the session; nothing without a replay.
class ReplayReport
{
public:
    ReplayReport(hostkit::PluginSession& session, const BenchControl& bench, ReplayPlan* plan)
        : session_(session), bench_(bench), plan_(plan)
    {}
    ~ReplayReport() { Now(); }
    ReplayReport(const ReplayReport&) = delete;
    ReplayReport& operator=(const ReplayReport&) = delete;
    void Now()
    {
        if (!plan_ || done_)
            return;
        done_ = true;
        session_.Shutdown();
        ReportReplay(bench_, *plan_);
    }

private:
    hostkit::PluginSession& session_;
    const BenchControl& bench_;
    ReplayPlan* plan_;
    bool done_ = false;
};

} // namespace zorvahost
