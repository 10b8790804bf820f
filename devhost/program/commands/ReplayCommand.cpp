// replay: a field trace run through the plugin on the simulated library, with
// the differences between the plugin's calls now and the recorded ones; and
// the recording of a trace (--record-trace) that capture and detect share.
#include "devhost/engine/BenchControl.h"
#include "devhost/program/Commands.h"
#include "platform/Program.h"
#include "devhost/engine/Text.h"
#include "devhost/engine/fieldtrace/TraceInfo.h"
#include "hostkit/PluginLibrary.h"
#include "trace/TraceReader.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace zorvahost {

using zorvatrace::Function;
using zorvatrace::Record;
using zorvatrace::RecordType;

namespace {

/// "2025-03-04 10:15:02 UTC" for microseconds since 1970.
std::string UtcText(std::int64_t microseconds)
{
    const std::time_t seconds = static_cast<std::time_t>(microseconds / 1000000);
    // The main thread only: std::gmtime's buffer is not shared.
    const std::tm* parts = std::gmtime(&seconds);
    if (!parts)
        return "?";
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", parts);
    return text;
}

} // namespace

namespace {

std::string TraceOrigin(const zorvatrace::Header& header)
{
    return "made " + UtcText(header.createdUs) + " on " + header.system + " by " + header.program + "; USB library " +
           header.libraryPath + " (" + std::to_string(header.librarySize) + " bytes)";
}

} // namespace

bool StartRecording(TraceRecorder& recorder, const Options& options)
{
    if (options.recordTrace.empty())
        return true;
    const std::string plugin = options.plugin.empty() ? hostkit::DefaultPluginPath() : options.plugin;
    std::string error;
    if (!recorder.Start(options.recordTrace, plugin, SessionArguments(options), error)) {
        std::fprintf(stderr, "error: cannot record a trace into %s: %s\n", options.recordTrace.c_str(), error.c_str());
        return false;
    }
    std::printf("Recording the USB library's calls into %s (the recording library stands in front of %s)\n",
                options.recordTrace.c_str(), recorder.Library().c_str());
    return true;
}

bool FinishRecording(TraceRecorder& recorder)
{
    if (!recorder.Active())
        return true;
    std::string summary, error;
    if (!recorder.Finish(summary, error)) {
        std::fprintf(stderr, "error: the trace was not written whole: %s (%s)\n", error.c_str(), summary.c_str());
        return false;
    }
    std::printf("Trace %s. Send it, or replay it: zorva-devhost replay FILE\n", summary.c_str());
    return true;
}

bool StartReplay(const BenchControl& bench, const ReplayPlan& plan)
{
    std::string error;
    if (!bench.LoadTrace(plan.path, error)) {
        std::fprintf(stderr, "error: cannot replay %s: %s\n", plan.path.c_str(), error.c_str());
        return false;
    }
    return true;
}

void ReportReplay(const BenchControl& bench, ReplayPlan& plan)
{
    ZorvaSimReplayProgress progress{};
    if (!bench.ReplayProgress(progress)) {
        std::printf("Replay: the simulated library holds no trace any more\nVerdict: not replayed\n");
        plan.matched = false;
        return;
    }
    std::printf("Replay of %s: %llu calls answered, %llu of the %llu recorded calls used, %llu of the %llu "
                "recorded blocks handed out, %llu messages posted; %llu polls found nothing more or less often "
                "than recorded (thread timing, not a difference)\n",
                plan.path.c_str(), progress.calls, progress.recordedCalls,
                static_cast<unsigned long long>(plan.recordedCalls), progress.blocks,
                static_cast<unsigned long long>(plan.recordedBlocks), progress.messages, progress.timingDifferences);
    const std::vector<std::string> mismatches = bench.ReplayMismatches();
    if (progress.mismatches > 0) {
        std::printf("Differences (%llu; call numbers count the plugin's calls from the replay's start, record "
                    "numbers the trace's records):\n",
                    progress.mismatches);
        for (const std::string& text : mismatches)
            std::printf("  %s\n", text.c_str());
        if (mismatches.size() < progress.mismatches)
            std::printf("  ... and %llu more\n",
                        progress.mismatches - static_cast<unsigned long long>(mismatches.size()));
    }
    std::vector<std::string> reasons;
    if (progress.mismatches > 0)
        reasons.push_back(std::to_string(progress.mismatches) + " difference" + (progress.mismatches == 1 ? "" : "s"));
    if (!progress.finished)
        reasons.push_back("the plugin stopped before the end of the recording");
    if (progress.blocks != plan.recordedBlocks)
        reasons.push_back(std::to_string(progress.blocks) + " of " + std::to_string(plan.recordedBlocks) +
                          " recorded blocks handed out");
    plan.matched = reasons.empty();
    if (plan.matched) {
        std::printf("Verdict: the plugin's calls and data matched the recording%s\n",
                    plan.cutShort ? " up to its cut" : "");
        return;
    }
    std::string text;
    for (std::size_t i = 0; i < reasons.size(); ++i)
        text += (i == 0 ? "" : "; ") + reasons[i];
    std::printf("Verdict: DIFFERENT from the recording: %s\n", text.c_str());
}

int RunReplay(const Options& options)
{
    zorvatrace::TraceContents trace;
    zorvatrace::ReadTraceFile(options.traceFile, trace);
    if (TraceRefused(trace)) {
        std::fprintf(stderr, "error: %s cannot be replayed: %s\n", options.traceFile.c_str(), trace.error.c_str());
        return ExitFailure;
    }
    ReplayPlan plan;
    plan.path = options.traceFile;
    plan.recorded = ReadRecordedSession(trace.records);
    std::uint64_t lastUs = 0;
    for (const Record& record : trace.records) {
        lastUs = std::max(lastUs, record.timeUs);
        if (record.type != RecordType::Call)
            continue;
        ++plan.recordedCalls;
        if (record.function == Function::DLLTransferFloatData && (record.flags & zorvatrace::kCallHasBlock))
            ++plan.recordedBlocks;
    }

    // The output options are this command's; what the session did, the recording's.
    Options session = options;
    session.traceFile.clear();
    std::printf("Field trace %s: %s; %llu records\n", options.traceFile.c_str(), TraceOrigin(trace.header).c_str(),
                static_cast<unsigned long long>(trace.records.size()));
    plan.cutShort = trace.errorKind == zorvatrace::ReadError::Truncated;
    if (plan.cutShort)
        std::printf("  cut short (%s): replayed up to its cut\n", trace.error.c_str());
    if (plan.recorded.found) {
        const ParseResult parsed = ParseCommandLine(plan.recorded.arguments);
        const Command command = parsed.options.command;
        if (!parsed.ok || (command != Command::Capture && command != Command::Detect)) {
            std::fprintf(stderr, "error: the session recorded in %s cannot be replayed: %s\n",
                         options.traceFile.c_str(), parsed.ok ? "not a capture or a detection" : parsed.error.c_str());
            return ExitFailure;
        }
        session.command = command;
        session.seconds = parsed.options.seconds;
        session.mode = parsed.options.mode;
        session.rate = parsed.options.rate;
        session.thresholdSet = parsed.options.thresholdSet;
        session.threshold = parsed.options.threshold;
        std::string line;
        for (const std::string& argument : plan.recorded.arguments)
            line += " " + argument;
        std::printf("  recorded by zorva-devhost%s, with %zu action%s, each done again where the recording "
                    "has it\n",
                    line.c_str(), plan.recorded.events.size(), plan.recorded.events.size() == 1 ? "" : "s");
    } else {
        session.command = Command::Capture;
        session.seconds = std::max(1.0, static_cast<double>(lastUs) / 1e6);
        std::printf("  recorded by another host: a capture runs until the replay waits for a call only the "
                    "host would cause\n");
    }
    if (zorvaplatform::SkipPluginPauses())
        std::printf("  the plugin's pauses pass at once\n");
    std::fflush(stdout);
    if (session.command == Command::Detect)
        DetectWith(session, &plan);
    else
        CaptureWith(session, &plan);
    return plan.matched ? ExitSuccess : ExitFailure;
}

} // namespace zorvahost
