/// The capture proper, as a host runs it between arming and disarming: the
/// user's actions at their times, the detections they start, re-arming
/// whenever the plugin asks, and how far it has come. While recording a trace
/// each action is noted in it; a replay does the recorded actions instead,
/// each once the replay has come to the point of the recording where the user
/// acted. It tells a reporter what happens; the program prints it.
///
/// Threads: the owner's thread (the session's).
#pragma once

#include "devhost/engine/BenchControl.h"
#include "devhost/engine/capture/Actions.h"
#include "devhost/engine/fieldtrace/FieldTrace.h"
#include "devhost/engine/fieldtrace/Replay.h"
#include "hostkit/Session.h"

#include <string>
#include <vector>

namespace zorvahost {

/// What a capture tells as it goes.
class CaptureReporter
{
public:
    virtual ~CaptureReporter() = default;
    /// Something happened `seconds` into the capture.
    virtual void Event(double seconds, const std::string& text) = 0;
    /// How far the capture has come (one line, redrawn each time).
    virtual void Progress(const std::string& text) = 0;
    /// No more progress: its line goes.
    virtual void EndProgress() = 0;
};

/// What the capture is asked to do.
struct CapturePlan
{
    double seconds = 3.0;
    std::vector<TimedAction> actions; ///< sorted by time
    /// Every log line is shown elsewhere (--verbose); otherwise the plugin's
    /// warnings from the capture on are events.
    bool verbose = false;
};

class CaptureRun
{
public:
    /// From now on (before the arming: a replay delivers at once) the
    /// plugin's warnings are events, unless the plan is verbose.
    CaptureRun(hostkit::PluginSession& session, const BenchControl& bench, const CapturePlan& plan,
               CaptureReporter& reporter, TraceRecorder& recorder, const ReplayPlan* replay);
    ~CaptureRun();
    CaptureRun(const CaptureRun&) = delete;
    CaptureRun& operator=(const CaptureRun&) = delete;

    /// Runs the capture that started at `start` (the host's clock) to its end:
    /// its length, or the end of the replayed recording.
    void Run(double start);

private:
    double Now() { return session_.Now() - start_; }
    /// A replay's step: does the recorded actions the replay has come to;
    /// true at the end of the recording.
    bool ReplayStep(double now);
    /// The plugin's new log lines (its warnings shown) and finished detections.
    void PollSession();
    void Note(HostEventKind kind, const std::string& detail);
    void Fire(const TimedAction& action);
    void FireBench(const TimedAction& action);
    /// Does what the user did at this point of the recording; true at its end.
    bool FireRecorded(const HostEvent& event);
    void Rescan();
    void Rearm();

    hostkit::PluginSession& session_;
    const BenchControl& bench_;
    const CapturePlan& plan_;
    CaptureReporter& reporter_;
    TraceRecorder& recorder_;
    const ReplayPlan* replay_;
    double start_;
    int pendingDetections_ = 0;
    double rearmNotBefore_ = 0.0;
    // Where a replay is: the next recorded action, the call the library
    // answers next, and when that last changed (seconds into the capture).
    std::size_t next_ = 0;
    std::uint64_t position_ = 0;
    double movedAt_ = 0.0;
};

/// The plate named by its instance name or its position in `plates`; -1 if none.
int ResolvePlate(const std::vector<hostkit::OfferedDevice>& plates, const std::string& target);
/// "0 (A), 1 (B)", or "none".
std::string PlateList(const std::vector<hostkit::OfferedDevice>& plates);
/// "A Connected true; B Connected false".
std::string ConnectionText(const std::vector<hostkit::OfferedDevice>& plates);
/// "  1.5/3.0 s  | 0: 92 blocks, Fz 712 N  | 1: ...": the elapsed time, and each
/// plate's blocks so far and its latest block's mean Fz.
std::string ProgressText(double elapsed, double total, const std::vector<hostkit::OfferedDevice>& plates);

} // namespace zorvahost
