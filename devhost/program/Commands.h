/// The development host's commands; each returns its exit code (ExitCode).
#pragma once

#include "devhost/engine/CommandSession.h"
#include "devhost/engine/fieldtrace/Replay.h"
#include "devhost/program/CommandLine.h"

namespace zorvahost {

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
/// live: the session with its page until the page or Ctrl-C stops it (commands/LiveCommand.cpp).
int RunLive(const Options& options);

/// The capture and detect commands, recording a trace as the options say,
/// or, with `replay`, on the simulated library replaying a trace.
int CaptureWith(const Options& options, ReplayPlan* replay);
int DetectWith(const Options& options, ReplayPlan* replay);

/// After the plugin's shut-down, before it is unloaded: prints every
/// difference and the verdict, and sets plan.matched.
void ReportReplay(const BenchControl& bench, ReplayPlan& plan);

/// Reports a replay once, however its command ends: the plugin shut down
/// first (its last calls are part of the recording), while it is still
/// loaded. Declared after the session; nothing without a replay.
class ReplayReport
{
public:
    ReplayReport(CommandSession& parts, ReplayPlan* plan) : parts_(parts), plan_(plan) {}
    ~ReplayReport() { Now(); }
    ReplayReport(const ReplayReport&) = delete;
    ReplayReport& operator=(const ReplayReport&) = delete;
    void Now()
    {
        if (!plan_ || done_)
            return;
        done_ = true;
        parts_.Session().Shutdown();
        ReportReplay(parts_.Bench(), *plan_);
    }

private:
    CommandSession& parts_;
    ReplayPlan* plan_;
    bool done_ = false;
};

} // namespace zorvahost
