// capture: a motion-capture host's session with the plugin, from detection to
// a summary of each plate's samples, with the user's actions on the way and
// the data written to CSV and drawn on request.
#include "devhost/engine/BenchControl.h"
#include "devhost/engine/capture/CaptureData.h"
#include "devhost/program/Commands.h"
#include "devhost/engine/fieldtrace/FieldTrace.h"
#include "platform/Program.h"
#include "devhost/program/Plot.h"
#include "devhost/program/Report.h"
#include "devhost/engine/Text.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace zorvahost {

using namespace MoldraDigitalDevice;

namespace {

/// How often the main loop looks at the clock, the log and the devices.
const std::chrono::milliseconds kTick(20);
/// How often the progress line is redrawn, seconds.
const double kProgressInterval = 0.25;
/// A detection tells the plugin's acquisition state only after its result:
/// re-arming this long after the result avoids arming before that report.
const double kRearmDelay = 0.3;
/// A replay whose next recorded call has not come for this long, seconds,
/// waits for the host: it does the next recorded action (or ends) anyway.
const double kReplayStall = 3.0;
/// The simulated library's fault codes (ZorvaSim_InjectBlockFault, ZorvaSim_SetTransferFault).
const int kBlockRepeat = 0;
const int kBlockSkip = 1;
const int kTransferError = 2;

/// Event lines and the progress line on one output, without mixing them.
class Console
{
public:
    explicit Console(bool progress) : progress_(progress) {}

    void Line(const std::string& text)
    {
        Clear();
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }

    /// A line that says when, in seconds from the start of the capture.
    void Event(double seconds, const std::string& text)
    {
        const std::string time = Fixed(seconds, 2);
        Line("  [" + std::string(time.size() < 6 ? 6 - time.size() : 0, ' ') + time + " s] " + text);
    }

    void Progress(const std::string& text)
    {
        if (!progress_)
            return;
        std::string line = "\r" + text;
        if (text.size() < shown_)
            line += std::string(shown_ - text.size(), ' ');
        std::printf("%s", line.c_str());
        std::fflush(stdout);
        shown_ = text.size();
    }

    void Clear()
    {
        if (shown_ == 0)
            return;
        std::printf("\r%s\r", std::string(shown_, ' ').c_str());
        shown_ = 0;
    }

private:
    bool progress_;
    std::size_t shown_ = 0;
};

/// The output CSV file, opened before the capture so a wrong path costs no capture.
struct FileCloser
{
    void operator()(std::FILE* file) const
    {
        if (file)
            std::fclose(file);
    }
};
typedef std::unique_ptr<std::FILE, FileCloser> File;

/// What the summary shows of a plate.
struct PlateRecording
{
    std::string name;       ///< the instance name the host knows it by
    std::string definition; ///< the definition it was instantiated from
    bool connected = false; ///< "Connected" at the end of the capture
    PlateSummary summary;
};

/// A file removed when this goes, whatever the way out: the CSV the plot
/// reads when the user asked for no CSV.
class TemporaryFile
{
public:
    TemporaryFile() = default;
    ~TemporaryFile()
    {
        if (!path_.empty())
            std::remove(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    void Set(const std::string& path) { path_ = path; }

private:
    std::string path_;
};

/// Checks --rate and --threshold against the shared setting's offer and
/// limits, as a host's settings panel would. Empty when fine.
std::string CheckSettings(const Options& options, const std::vector<hostkit::Definition>& definitions)
{
    if (definitions.empty())
        return std::string();
    const hostkit::Definition& shared = definitions[0];
    if (!options.rate.empty()) {
        if (const IParameterValueEnum* rate = shared.Value<IParameterValueEnum>("SampleRate")) {
            const std::vector<std::string>& offered = rate->EnumValues;
            if (std::find(offered.begin(), offered.end(), options.rate) == offered.end()) {
                std::string list;
                for (const std::string& value : offered)
                    list += (list.empty() ? "" : ", ") + value;
                return "--rate " + options.rate + ": the acquisition rate setting offers " + list;
            }
        }
    }
    if (options.thresholdSet) {
        if (const IParameterValueDouble* threshold = shared.Value<IParameterValueDouble>("DataThreshold")) {
            const IParameterValueDouble& value = *threshold;
            if (value.LimitsSet && (options.threshold < value.Minimum || options.threshold > value.Maximum))
                return "--threshold " + Short(options.threshold) + ": the Fz threshold setting takes " +
                       Short(value.Minimum) + " to " + Short(value.Maximum) + " N";
        }
    }
    return std::string();
}

/// The plate named by its instance name or its position in `plates`; -1 if none.
int ResolvePlate(const std::vector<hostkit::OfferedDevice>& plates, const std::string& target)
{
    for (std::size_t i = 0; i < plates.size(); ++i) {
        if (plates[i].deviceName == target)
            return static_cast<int>(i);
    }
    const int index = ParseIndex(target);
    return index >= 0 && index < static_cast<int>(plates.size()) ? index : -1;
}

std::string PlateList(const std::vector<hostkit::OfferedDevice>& plates)
{
    std::string list;
    for (std::size_t i = 0; i < plates.size(); ++i)
        list += (list.empty() ? "" : ", ") + std::to_string(i) + " (" + plates[i].deviceName + ")";
    return list.empty() ? "none" : list;
}

/// One line per plate: connected or not.
std::string ConnectionText(const std::vector<hostkit::OfferedDevice>& plates)
{
    std::string text;
    for (const hostkit::OfferedDevice& plate : plates)
        text += (text.empty() ? "" : "; ") + plate.deviceName + " Connected " +
                (hostkit::PluginSession::Connected(plate) ? "true" : "false");
    return text;
}

std::string ProgressText(double elapsed, double total, const std::vector<hostkit::OfferedDevice>& plates)
{
    std::string text = "  " + Fixed(elapsed, 1) + "/" + Fixed(total, 1) + " s";
    for (std::size_t i = 0; i < plates.size(); ++i) {
        const std::vector<float> latest = plates[i].services->LatestValues();
        double fz = 0.0;
        const std::size_t samples = latest.size() / kValuesPerSample;
        for (std::size_t s = 0; s < samples; ++s)
            fz += latest[s * kValuesPerSample + 2];
        text += "  | " + std::to_string(i) + ": " + std::to_string(plates[i].services->PushCount()) + " blocks, Fz " +
                (samples ? Fixed(fz / samples, 0) + " N" : std::string("-"));
    }
    return text;
}

/// The capture proper: actions, detections, re-arming and progress until the
/// end. While recording a trace, each action is noted in it; a replay does
/// the recorded actions instead, each once the replay has come to the point
/// of the recording where the user acted.
class CaptureLoop
{
public:
    /// Without --verbose, the plugin's warnings from now on are shown as events.
    CaptureLoop(hostkit::PluginSession& session, const BenchControl& bench, const Options& options, Console& console,
                TraceRecorder& recorder, const ReplayPlan* replay)
        : session_(session),
          bench_(bench),
          options_(options),
          console_(console),
          start_(session.Now()),
          recorder_(recorder),
          replay_(replay)
    {
        if (!options_.verbose)
            session_.SetLogPrinter([this](const hostkit::LogLine& line) {
                if (line.Level() >= ZORVA::LogLevel::Warning)
                    console_.Event(Now(), "plugin " + LogText(line));
            });
    }

    void Run(double start)
    {
        start_ = start;
        std::size_t next = 0;
        double lastProgress = -1.0;
        std::uint64_t position = 0;
        double movedAt = 0.0;
        for (;;) {
            const double now = Now();
            if (replay_) {
                // Where the replay waits now; unchanged for long, the plugin
                // makes no call the recording has next by itself.
                ZorvaSimReplayProgress progress{};
                bench_.ReplayProgress(progress);
                if (progress.nextCall != position) {
                    position = progress.nextCall;
                    movedAt = now;
                }
                const bool stalled = now - movedAt >= kReplayStall;
                const std::vector<HostEvent>& events = replay_->recorded.events;
                bool ended = false;
                while (next < events.size() && (position >= events[next].trigger || stalled) && !ended) {
                    if (position < events[next].trigger)
                        console_.Event(now, std::string("the replay did not come to where the user acted (") +
                                                EventWord(events[next].kind) + ", record " +
                                                std::to_string(events[next].trigger) + "): acting now");
                    ended = FireRecorded(events[next++]);
                    movedAt = Now();
                }
                if (ended)
                    break;
                if (!replay_->recorded.found && stalled && progress.nextCall > 0) {
                    console_.Event(now, "the replay waits for a call the plugin makes only when the host acts: the "
                                        "capture ends here");
                    break;
                }
                // A trace cut short has no recorded end: once every recorded
                // action is done and the recording is used up (or nothing
                // moves any more), the capture ends there.
                if (replay_->recorded.found && next == events.size() && (progress.finished || stalled)) {
                    console_.Event(now, "the recording ends here");
                    break;
                }
            } else {
                if (now >= options_.seconds) {
                    Note(HostEventKind::End, std::string());
                    break;
                }
                while (next < options_.actions.size() && options_.actions[next].seconds <= now)
                    Fire(options_.actions[next++]);
            }
            PollSession();
            // A replay of this program's trace re-arms where the recording did.
            const bool rearmOnRequest = !replay_ || !replay_->recorded.found;
            if (rearmOnRequest && pendingDetections_ == 0 && Now() >= rearmNotBefore_ && session_.RearmRequired())
                Rearm();
            if (Now() - lastProgress >= kProgressInterval) {
                lastProgress = Now();
                console_.Progress(
                    ProgressText(std::min(lastProgress, options_.seconds), options_.seconds, session_.Plates()));
            }
            std::this_thread::sleep_for(kTick);
        }
        // What the plugin said up to the end (a replay may have come to its
        // end within one tick).
        PollSession();
        console_.Clear();
        if (pendingDetections_ > 0)
            console_.Event(Now(), "the capture ends while a detection is still running");
    }

private:
    /// The plugin's new log lines (its warnings shown) and finished detections.
    void PollSession()
    {
        for (const hostkit::DetectionReport& report : session_.Poll()) {
            if (pendingDetections_ > 0)
                --pendingDetections_;
            ReportDetection(report);
            rearmNotBefore_ = Now() + kRearmDelay;
        }
    }

    double Now() { return session_.Now() - start_; }

    void Note(HostEventKind kind, const std::string& detail)
    {
        HostEvent event;
        event.seconds = Now();
        event.kind = kind;
        event.detail = detail;
        recorder_.Note(event);
    }

    void Fire(const TimedAction& action)
    {
        std::string error;
        switch (action.kind) {
        case ActionKind::Rescan:
            console_.Event(Now(), "rescan: the user presses \"Detect ZORVA digital devices\"");
            Note(HostEventKind::Rescan, std::string());
            session_.Rescan();
            ++pendingDetections_;
            break;
        case ActionKind::Zero:
            console_.Event(Now(), "zero: the user presses \"Zero digital platforms\" (the plates read their "
                                  "present load as zero from now on)");
            Note(HostEventKind::Zero, std::string());
            session_.ZeroAll();
            break;
        case ActionKind::Blink: {
            const std::vector<hostkit::OfferedDevice> plates = session_.Plates();
            const int plate = ResolvePlate(plates, action.target);
            if (plate < 0) {
                console_.Event(Now(),
                               "blink=" + action.target + ": no such plate now; the plates are " + PlateList(plates));
                break;
            }
            console_.Event(Now(), "blink: the user presses \"Blink\" of " + plates[plate].deviceName);
            Note(HostEventKind::Blink, plates[plate].deviceName);
            session_.Blink(plates[plate]);
            break;
        }
        case ActionKind::Unplug:
        case ActionKind::Plug: {
            const bool plug = action.kind == ActionKind::Plug;
            const int unit = bench_.ResolveUnit(action.target, error);
            if (unit < 0 || !bench_.SetPlugged(unit, plug)) {
                console_.Event(Now(), (plug ? "plug=" : "unplug=") + action.target + ": " + error);
                break;
            }
            console_.Event(Now(), std::string(plug ? "plug: unit " : "unplug: unit ") + std::to_string(unit) + " \"" +
                                      bench_.UnitName(unit) + "\" (" + bench_.UnitIdentity(unit) + ") " +
                                      (plug ? "plugged in" : "unplugged") +
                                      "; the library sees it at the next detection, so the user rescans");
            Note(HostEventKind::Rescan,
                 std::string(plug ? "plug=" : "unplug=") + std::to_string(unit) + " (" + bench_.UnitName(unit) + ")");
            session_.Rescan();
            ++pendingDetections_;
            break;
        }
        case ActionKind::Lose:
        case ActionKind::Repeat:
        case ActionKind::Fail: {
            int count = 0;
            ParseInteger(action.target, count);
            const bool done =
                action.kind == ActionKind::Fail
                    ? bench_.SetTransferFault(kTransferError, count)
                    : bench_.InjectBlockFault(action.kind == ActionKind::Lose ? kBlockSkip : kBlockRepeat, count);
            const std::string what = action.kind == ActionKind::Lose
                                         ? "the library loses its next " + action.target + " block(s)"
                                     : action.kind == ActionKind::Repeat
                                         ? "the library's next block comes " + action.target + " more time(s)"
                                         : "the library's next " + action.target + " transfer(s) fail";
            console_.Event(Now(), done ? "fault: " + what
                                       : "fault: " + what + " is not possible: the library is not the simulated one");
            if (done)
                Note(HostEventKind::Bench, action.text.substr(action.text.find(':') + 1));
            break;
        }
        }
    }

    /// Does what the user did at this point of the recording; true at its end.
    bool FireRecorded(const HostEvent& event)
    {
        switch (event.kind) {
        case HostEventKind::Zero:
            console_.Event(Now(), "zero, as recorded");
            session_.ZeroAll();
            break;
        case HostEventKind::Blink: {
            const std::vector<hostkit::OfferedDevice> plates = session_.Plates();
            const int plate = ResolvePlate(plates, event.detail);
            console_.Event(Now(), "blink " + event.detail + ", as recorded" + (plate < 0 ? ": no such plate now" : ""));
            if (plate >= 0)
                session_.Blink(plates[plate]);
            break;
        }
        case HostEventKind::Rescan:
            console_.Event(Now(), "rescan, as recorded" + (event.detail.empty() ? "" : " (" + event.detail + ")"));
            session_.Rescan();
            ++pendingDetections_;
            break;
        case HostEventKind::Rearm: Rearm(); break;
        case HostEventKind::End: return true;
        case HostEventKind::Bench: break; // in the recorded blocks already
        }
        return false;
    }

    void ReportDetection(const hostkit::DetectionReport& report)
    {
        console_.Event(Now(), std::string("detection ") + (report.succeeded ? "finished" : "failed") + ": " +
                                  std::to_string(report.units.size()) + " unit" +
                                  (report.units.size() == 1 ? "" : "s") + "; " + ConnectionText(session_.Plates()));
    }

    void Rearm()
    {
        Note(HostEventKind::Rearm, std::string());
        const hostkit::ArmResult arming = session_.ArmAll();
        session_.StartCapture(start_);
        std::string text = arming.armed ? "re-armed: the plugin asked for it" : "re-arming failed: no plate can run";
        if (!arming.refused.empty())
            text += "; not armed (not connected): " + Joined(arming.refused, ", ");
        console_.Event(Now(), text);
        // A stop reported after this arming asks again; not sooner than this.
        rearmNotBefore_ = Now() + kRearmDelay;
    }

    hostkit::PluginSession& session_;
    const BenchControl& bench_;
    const Options& options_;
    Console& console_;
    double start_;
    TraceRecorder& recorder_;
    const ReplayPlan* replay_;
    int pendingDetections_ = 0;
    double rearmNotBefore_ = 0.0;
};

void PrintSummary(const std::vector<PlateRecording>& recordings, const std::string& mode, unsigned int rate,
                  double seconds)
{
    std::printf("Samples (%s, %u datasets per second, %s s):\n", mode.c_str(), rate, Short(seconds).c_str());
    Table table;
    table.Add(
        {"#", "plate", "definition", "blocks", "samples", "sample numbers", "loaded", "mean Fz (N)", "mean CoP (m)"});
    for (std::size_t i = 0; i < recordings.size(); ++i) {
        const PlateRecording& r = recordings[i];
        const PlateSummary& s = r.summary;
        table.Add({std::to_string(i), r.name, r.definition + (r.connected ? "" : " (not connected)"),
                   std::to_string(s.blocks), std::to_string(s.samples), RunsText(s.runs), std::to_string(s.loaded),
                   s.loaded ? Fixed(s.meanFz, 1) : "-",
                   s.loaded ? Fixed(s.meanCopX, 3) + ", " + Fixed(s.meanCopY, 3) : "-"});
    }
    std::printf("%s", table.Render("  ").c_str());
    std::printf("  (loaded: samples above the Fz threshold; the others read as zeros)\n");
    for (const PlateRecording& r : recordings) {
        if (r.summary.runs.size() > 1)
            std::printf("  %s: its sample numbers jump between runs (the plate stopped and was re-armed, or "
                        "blocks were lost)\n",
                        r.name.c_str());
    }
}

} // namespace

int RunCapture(const Options& options) { return CaptureWith(options, nullptr); }

int CaptureWith(const Options& options, ReplayPlan* replay)
{
    // Output files first: a wrong path or a missing plotting library should
    // not cost a capture. The plot's own CSV goes after the file is closed.
    TemporaryFile plotCsv;
    File csv;
    if (!options.csvPath.empty()) {
        csv.reset(std::fopen(options.csvPath.c_str(), "w"));
        if (!csv) {
            std::fprintf(stderr, "error: cannot write the CSV file %s: %s\n", options.csvPath.c_str(),
                         std::strerror(errno));
            return ExitFailure;
        }
    }
    // Declared before the session, whose shut-down may still print through it.
    Console console(zorvaplatform::StandardOutputIsTerminal() && !options.verbose);
    std::string python;
    if (!options.plotPath.empty()) {
        std::string error;
        if (!FindPlotter(python, error)) {
            std::fprintf(stderr, "error: %s\n", error.c_str());
            return ExitFailure;
        }
    }
    std::string csvPath = options.csvPath;
    if (!options.plotPath.empty() && csvPath.empty()) {
        // The plot reads a CSV file: a temporary one beside the picture.
        csvPath = options.plotPath + ".csv";
        csv.reset(std::fopen(csvPath.c_str(), "w"));
        if (!csv) {
            std::fprintf(stderr, "error: cannot write %s for the plot: %s\n", csvPath.c_str(), std::strerror(errno));
            return ExitFailure;
        }
        plotCsv.Set(csvPath);
    }
    // Declared before the session: the plugin pushes into it until the session ends.
    CaptureRecording recording(csv.get());

    // Declared before the session: the trace ends after the plugin shut the library down.
    TraceRecorder recorder;
    if (!StartRecording(recorder, options))
        return ExitFailure;
    hostkit::PluginSession session;
    if (!LoadPlugin(session, options))
        return ExitFailure;
    BenchControl bench;
    if (replay) {
        if (!StartReplay(bench, *replay))
            return ExitFailure;
        bench.SetReplaying();
    }
    ReplayReport replayReport(session, bench, replay);
    for (const TimedAction& action : options.actions) {
        std::string error;
        if ((action.kind == ActionKind::Unplug || action.kind == ActionKind::Plug) &&
            bench.ResolveUnit(action.target, error) < 0) {
            std::fprintf(stderr, "error: --at %s: %s\n", action.text.c_str(),
                         bench.Available() ? error.c_str()
                                           : "unplug= and plug= work only on the simulated bench; on real hardware "
                                             "pull the cable and use --at SECONDS:rescan");
            return ExitUsage;
        }
        const bool fault =
            action.kind == ActionKind::Lose || action.kind == ActionKind::Repeat || action.kind == ActionKind::Fail;
        if (fault && !bench.Available()) {
            std::fprintf(stderr, "error: --at %s: lose=, repeat= and fail= work only on the simulated bench\n",
                         action.text.c_str());
            return ExitUsage;
        }
    }

    if (options.verbose)
        session.SetLogPrinter([&console](const hostkit::LogLine& line) { console.Line("  " + LogText(line)); });

    std::printf("Plugin %s (API version %d)\n", session.PluginPath().c_str(), session.ApiVersion());
    if (replay)
        std::printf("Replay of %s on the simulated USB library\n", replay->path.c_str());
    else if (bench.Available())
        std::printf("Simulated bench: %s\n", bench.Description().c_str());
    const std::vector<ZORVA::CustomPlateSource> sources = ZORVA::ReadCustomPlateSources();
    PrintConfigurationBrief(sources);

    session.Start();
    const std::string settingsError = CheckSettings(options, session.Definitions());
    if (!settingsError.empty()) {
        std::fprintf(stderr, "error: %s\n", settingsError.c_str());
        return ExitUsage;
    }
    std::printf("Definitions: %d registered\n", static_cast<int>(session.Definitions().size()));
    hostkit::DetectionReport report;
    if (!DetectHardware(session, report))
        return ExitFailure;
    if (!options.verbose) {
        for (const hostkit::LogLine& line : report.log) {
            if (line.Level() >= ZORVA::LogLevel::Warning)
                std::printf("  plugin %s\n", LogText(line).c_str());
        }
    }
    PrintUnits(session, report, CustomPlates(sources), bench, true);
    if (!report.succeeded) {
        std::fprintf(stderr, "error: the detection failed: %s\n", report.message.c_str());
        return ExitFailure;
    }
    const std::vector<hostkit::OfferedDevice> plates = session.Plates();
    if (plates.empty()) {
        std::fprintf(stderr, "error: no plate to capture: the detection found no unit the plugin drives "
                             "(run detect for details)\n");
        return ExitFailure;
    }
    for (const TimedAction& action : options.actions) {
        if (action.kind == ActionKind::Blink && ResolvePlate(plates, action.target) < 0) {
            std::fprintf(stderr, "error: --at %s: no plate \"%s\"; the plates are %s\n", action.text.c_str(),
                         action.target.c_str(), PlateList(plates).c_str());
            return ExitUsage;
        }
    }

    if (options.mode)
        session.SetSyncMode(*options.mode);
    if (!options.rate.empty())
        session.SetSampleRate(options.rate);
    if (options.thresholdSet)
        session.SetDataThreshold(options.threshold);

    // The sink before the arming: the library (a replay at once) may hand out
    // the first block before ArmAll returns. Each block's rows take the rate
    // of the arming in force.
    hostkit::Host& host = session.Host();
    session.SetSampleSink([&recording, &host](hostkit::Instance& plate, const hostkit::SampleBlock& block) {
        recording.SetRate(host.ArmedRate());
        recording.Add(plate, block);
    });
    // From the arming on, the plugin's warnings show as events (a replay
    // delivers its blocks at once).
    CaptureLoop loop(session, bench, options, console, recorder, replay);
    const hostkit::ArmResult arming = session.ArmAll();
    if (!arming.armed) {
        session.Poll();
        std::fprintf(stderr, "error: the plugin did not arm: no plate can run (run detect for details)\n");
        return ExitFailure;
    }
    const std::optional<hostkit::OfferedDevice> shared = session.SharedDevice();
    const std::string mode = shared ? shared->services->Text("SyncMode") : std::string();
    const double start = session.Now();
    session.StartCapture(start);
    std::printf("Recording %s s (%s, %u datasets per second)%s:\n", Short(options.seconds).c_str(), mode.c_str(),
                session.ArmedRate(),
                arming.refused.empty() ? "" : ("; not armed: " + Joined(arming.refused, ", ")).c_str());
    std::fflush(stdout);

    loop.Run(start);
    if (!options.verbose)
        session.SetLogPrinter(nullptr); // warnings show during the capture only
    session.DisarmAll();
    const unsigned int rate = session.ArmedRate();

    std::vector<PlateRecording> recordings;
    std::vector<PlotPlate> plotPlates;
    for (const hostkit::OfferedDevice& plate : session.Plates()) {
        PlateRecording r;
        r.name = plate.deviceName;
        r.definition = plate.definitionName;
        r.connected = hostkit::PluginSession::Connected(plate);
        const hostkit::Definition* definition = session.DefinitionOf(plate);
        plotPlates.push_back(PlotPlate{r.name, definition ? definition->Number("StandardDimension_X") : 0.0,
                                       definition ? definition->Number("StandardDimension_Y") : 0.0});
        recordings.push_back(std::move(r));
    }
    session.Shutdown();
    // No block comes after the shut-down.
    for (PlateRecording& r : recordings)
        r.summary = recording.SummaryOf(r.name);
    PrintSummary(recordings, mode, rate, options.seconds);

    int result = ExitSuccess;
    replayReport.Now();
    if (!FinishRecording(recorder))
        result = ExitFailure;
    if (csv) {
        const bool written = recording.Finish();
        const bool closed = std::fclose(csv.release()) == 0;
        if (!written || !closed) {
            std::fprintf(stderr, "error: writing %s failed (disk full?)\n", csvPath.c_str());
            return ExitFailure;
        }
        if (!options.csvPath.empty())
            std::printf("Wrote %s: one row per sample and plate\n", csvPath.c_str());
    }
    if (!options.plotPath.empty()) {
        std::fflush(stdout);
        std::string error;
        if (!DrawPlot(python, csvPath, options.plotPath, plotPlates, error)) {
            std::fprintf(stderr, "error: %s\n", error.c_str());
            result = ExitFailure;
        } else {
            std::printf("Wrote %s: Fz over time and the centre-of-pressure paths\n", options.plotPath.c_str());
        }
    }
    return result;
}

} // namespace zorvahost
