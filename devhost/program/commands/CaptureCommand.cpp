// capture: a motion-capture host's session with the plugin, from detection to
// a summary of each plate's samples, with the user's actions on the way and
// the data written to CSV and drawn on request.
#include "devhost/engine/PlateMatch.h"
#include "contract/ParameterNames.h"
#include "devhost/engine/PluginLog.h"
#include "devhost/engine/Settings.h"
#include "devhost/engine/Text.h"
#include "devhost/engine/capture/CaptureData.h"
#include "devhost/engine/capture/CaptureRun.h"
#include "devhost/program/Commands.h"
#include "devhost/program/Console.h"
#include "devhost/program/DetectionOutput.h"
#include "devhost/program/Plot.h"
#include "devhost/program/Startup.h"
#include "platform/Program.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace zorvahost {

namespace {

/// The capture's output files, opened before the session so a wrong path or a
/// missing plotting library costs no capture: the CSV file the user asked
/// for, or for a plot without one a CSV file beside the picture, removed when
/// this goes.
class CaptureFiles
{
public:
    CaptureFiles() = default;
    ~CaptureFiles()
    {
        if (csv_)
            std::fclose(csv_);
        if (!temporary_.empty())
            std::remove(temporary_.c_str());
    }
    CaptureFiles(const CaptureFiles&) = delete;
    CaptureFiles& operator=(const CaptureFiles&) = delete;

    /// False, the reason printed, when a file cannot be written or no Python
    /// can draw the plot.
    bool Open(const Options& options)
    {
        csvPath_ = options.csvPath;
        if (!csvPath_.empty() && !OpenCsv("the CSV file " + csvPath_))
            return false;
        if (options.plotPath.empty())
            return true;
        std::string error;
        if (!FindPlotter(python_, error)) {
            PrintError(error);
            return false;
        }
        if (csvPath_.empty()) {
            // The plot reads a CSV file: a temporary one beside the picture.
            csvPath_ = options.plotPath + ".csv";
            if (!OpenCsv(csvPath_ + " for the plot"))
                return false;
            temporary_ = csvPath_;
        }
        return true;
    }

    std::FILE* Csv() const { return csv_; }

    /// Once no more blocks come: the CSV file flushed and closed, then the
    /// plot drawn. The exit code.
    int Finish(const Options& options, CapturedSamples& samples, const std::vector<PlotPlate>& plates)
    {
        if (csv_) {
            const bool written = samples.Finish();
            const bool closed = std::fclose(csv_) == 0;
            csv_ = nullptr;
            if (!written || !closed) {
                PrintError("writing " + csvPath_ + " failed (disk full?)");
                return ExitFailure;
            }
            if (!options.csvPath.empty())
                std::printf("Wrote %s: one row per sample and plate\n", csvPath_.c_str());
        }
        if (options.plotPath.empty())
            return ExitSuccess;
        std::fflush(stdout);
        std::string error;
        if (!DrawPlot(python_, csvPath_, options.plotPath, plates, error)) {
            PrintError(error);
            return ExitFailure;
        }
        std::printf("Wrote %s: Fz over time and the centre-of-pressure paths\n", options.plotPath.c_str());
        return ExitSuccess;
    }

private:
    bool OpenCsv(const std::string& what)
    {
        csv_ = std::fopen(csvPath_.c_str(), "w");
        if (!csv_) {
            PrintError("cannot write " + what + ": " + std::strerror(errno));
            return false;
        }
        return true;
    }

    std::string csvPath_;
    std::FILE* csv_ = nullptr;
    std::string temporary_;
    std::string python_;
};

/// What the summary shows of a plate.
struct CapturedPlate
{
    std::string name;       ///< the instance name the host knows it by
    std::string definition; ///< the definition it was instantiated from
    bool connected = false; ///< "Connected" at the end of the capture
    PlateSummary summary;
};

/// What the capture came to, for the summary and the plot.
struct CaptureOutcome
{
    std::string mode;      ///< the SyncMode setting's text
    unsigned int rate = 0; ///< the armed rate at the end
    std::vector<CapturedPlate> plates;
    std::vector<PlotPlate> plotPlates;
};

/// Actions the bench must do need the simulated bench, and a unit to unplug
/// must be one of its units. False, the reason printed, for a wrong one.
bool CheckBenchActions(const Options& options, const BenchControl& bench)
{
    for (const TimedAction& action : options.actions) {
        const ActionSpec& spec = ActionSpecOf(action.kind);
        if (!spec.benchOnly)
            continue;
        std::string error;
        if (!spec.Counted() && bench.ResolveUnit(action.target, error) < 0) {
            PrintError("--at " + action.text + ": " +
                       (bench.Available() ? error
                                          : "unplug= and plug= work only on the simulated bench; on real hardware "
                                            "pull the cable and use --at SECONDS:rescan"));
            return false;
        }
        if (spec.Counted() && !bench.Available()) {
            PrintError("--at " + action.text + ": lose=, repeat= and fail= work only on the simulated bench");
            return false;
        }
    }
    return true;
}

/// --rate and --threshold against the shared setting's offer and limits, as
/// a host's settings panel checks them. False, the reason printed.
bool CheckSettings(const Options& options, const hostkit::PluginSession& session)
{
    if (!options.rate.empty() && !RateOffered(session, options.rate)) {
        PrintError("--rate " + options.rate + ": the acquisition rate setting offers " +
                   Joined(OfferedRates(session), ", "));
        return false;
    }
    double minimum = 0.0, maximum = 0.0;
    if (options.thresholdSet && !ThresholdWithinLimits(session, options.threshold, minimum, maximum)) {
        PrintError("--threshold " + Short(options.threshold) + ": the Fz threshold setting takes " + Short(minimum) +
                   " to " + Short(maximum) + " N");
        return false;
    }
    return true;
}

/// The detection, its units and plates shown; ExitSuccess when there are
/// plates to capture and every --at blink names one, else the exit code.
int DetectPlates(CommandSession& parts, const Options& options, const std::vector<ZORVA::CustomPlateSource>& sources)
{
    hostkit::PluginSession& session = parts.Session();
    hostkit::DetectionReport report;
    if (!DetectHardware(parts, report))
        return ExitFailure;
    if (!options.verbose) {
        for (const hostkit::LogLine& line : report.log) {
            if (line.Level() >= ZORVA::LogLevel::Warning)
                std::printf("  plugin %s\n", LogText(line).c_str());
        }
    }
    PrintUnits(session, report, CustomPlates(sources), parts.Bench(), true);
    if (!report.succeeded) {
        PrintError("the detection failed: " + report.message);
        return ExitFailure;
    }
    const std::vector<hostkit::OfferedDevice> plates = session.Plates();
    if (plates.empty()) {
        PrintError("no plate to capture: the detection found no unit the plugin drives (run detect for details)");
        return ExitFailure;
    }
    for (const TimedAction& action : options.actions) {
        if (action.kind == ActionKind::Blink && ResolvePlate(plates, action.target) < 0) {
            PrintError("--at " + action.text + ": no plate \"" + action.target + "\"; the plates are " +
                       PlateList(plates));
            return ExitUsage;
        }
    }
    return ExitSuccess;
}

/// The settings of the command line, as the user makes them in a host.
void ApplySettings(hostkit::PluginSession& session, const Options& options)
{
    if (options.mode)
        session.SetSyncMode(*options.mode);
    if (!options.rate.empty())
        session.SetSampleRate(options.rate);
    if (options.thresholdSet)
        session.SetDataThreshold(options.threshold);
}

/// Arms, captures to the end and disarms; the samples go into `samples`.
/// ExitSuccess, or the exit code when the plugin did not arm.
int Record(CommandSession& parts, const Options& options, const ReplayPlan* replay, Console& console,
           CapturedSamples& samples, CaptureOutcome& outcome)
{
    hostkit::PluginSession& session = parts.Session();
    // The sink before the arming: the library (a replay at once) may hand out
    // the first block before ArmAll returns. Each block's rows take the rate
    // of the arming in force.
    hostkit::Host& host = session.Host();
    session.SetSampleSink([&samples, &host](hostkit::Instance& plate, const hostkit::SampleBlock& block) {
        samples.SetRate(host.ArmedRate());
        samples.Add(plate, block);
    });
    {
        CapturePlan plan;
        plan.seconds = options.seconds;
        plan.actions = options.actions;
        plan.verbose = options.verbose;
        // From the arming on, the plugin's warnings show as events (a replay
        // delivers its blocks at once).
        CaptureRun run(session, parts.Bench(), plan, console, parts.Recorder(), replay);
        const hostkit::ArmResult arming = session.ArmAll();
        if (!arming.armed) {
            session.Poll();
            PrintError("the plugin did not arm: no plate can run (run detect for details)");
            return ExitFailure;
        }
        const std::optional<hostkit::OfferedDevice> shared = session.SharedDevice();
        outcome.mode = shared ? shared->services->Text(ZORVA::ParameterName::SyncMode) : std::string();
        const double start = session.Now();
        session.StartCapture(start);
        std::printf("Recording %s s (%s, %u datasets per second)%s:\n", Short(options.seconds).c_str(),
                    outcome.mode.c_str(), session.ArmedRate(),
                    arming.refused.empty() ? "" : ("; not armed: " + Joined(arming.refused, ", ")).c_str());
        std::fflush(stdout);
        run.Run(start);
    }
    session.DisarmAll();
    outcome.rate = session.ArmedRate();
    for (const hostkit::OfferedDevice& plate : session.Plates()) {
        CapturedPlate captured;
        captured.name = plate.deviceName;
        captured.definition = plate.definitionName;
        captured.connected = hostkit::PluginSession::Connected(plate);
        const hostkit::Definition* definition = session.DefinitionOf(plate);
        outcome.plotPlates.push_back(PlotPlate{captured.name,
                                               definition ? definition->Number("StandardDimension_X") : 0.0,
                                               definition ? definition->Number("StandardDimension_Y") : 0.0});
        outcome.plates.push_back(std::move(captured));
    }
    session.Shutdown();
    // No block comes after the shut-down.
    for (CapturedPlate& plate : outcome.plates)
        plate.summary = samples.SummaryOf(plate.name);
    return ExitSuccess;
}

void PrintSummary(const CaptureOutcome& outcome, double seconds)
{
    std::printf("Samples (%s, %u datasets per second, %s s):\n", outcome.mode.c_str(), outcome.rate,
                Short(seconds).c_str());
    Table table;
    table.Add(
        {"#", "plate", "definition", "blocks", "samples", "sample numbers", "loaded", "mean Fz (N)", "mean CoP (m)"});
    for (std::size_t i = 0; i < outcome.plates.size(); ++i) {
        const CapturedPlate& plate = outcome.plates[i];
        const PlateSummary& s = plate.summary;
        table.Add({std::to_string(i), plate.name, plate.definition + (plate.connected ? "" : " (not connected)"),
                   std::to_string(s.blocks), std::to_string(s.samples), RunsText(s.runs), std::to_string(s.loaded),
                   s.loaded ? Fixed(s.meanFz, 1) : "-",
                   s.loaded ? Fixed(s.meanCopX, 3) + ", " + Fixed(s.meanCopY, 3) : "-"});
    }
    std::printf("%s", table.Render("  ").c_str());
    std::printf("  (loaded: samples above the Fz threshold; the others read as zeros)\n");
    for (const CapturedPlate& plate : outcome.plates) {
        if (plate.summary.runs.size() > 1)
            std::printf("  %s: its sample numbers jump between runs (the plate stopped and was re-armed, or "
                        "blocks were lost)\n",
                        plate.name.c_str());
    }
}

} // namespace

int RunCapture(const Options& options) { return CaptureWith(options, nullptr); }

int CaptureWith(const Options& options, ReplayPlan* replay)
{
    // Output files first: a wrong path or a missing plotting library should
    // not cost a capture.
    CaptureFiles files;
    if (!files.Open(options))
        return ExitFailure;
    // Declared before the session, whose shut-down may still print through it.
    Console console(zorvaplatform::StandardOutputIsTerminal() && !options.verbose);
    // Declared before the session: the plugin pushes into it until the session ends.
    CapturedSamples samples(files.Csv());
    CommandSession parts;
    if (!StartSession(parts, options, replay))
        return ExitFailure;
    ReplayReport replayReport(parts, replay);
    if (!CheckBenchActions(options, parts.Bench()))
        return ExitUsage;

    hostkit::PluginSession& session = parts.Session();
    if (options.verbose)
        session.SetLogPrinter([&console](const hostkit::LogLine& line) { console.Line("  " + LogText(line)); });
    PrintSessionHeader(parts, replay);
    const std::vector<ZORVA::CustomPlateSource> sources = ZORVA::ReadCustomPlateSources();
    PrintConfigurationBrief(sources);
    session.Start();
    if (!CheckSettings(options, session))
        return ExitUsage;
    std::printf("Definitions: %d registered\n", static_cast<int>(session.Definitions().size()));
    if (const int detected = DetectPlates(parts, options, sources); detected != ExitSuccess)
        return detected;
    ApplySettings(session, options);

    CaptureOutcome outcome;
    if (const int recorded = Record(parts, options, replay, console, samples, outcome); recorded != ExitSuccess)
        return recorded;
    PrintSummary(outcome, options.seconds);

    replayReport.Now();
    const bool traced = FinishRecording(parts);
    const int written = files.Finish(options, samples, outcome.plotPlates);
    return traced ? written : ExitFailure;
}

} // namespace zorvahost
