// replay: a field trace run through the plugin on the simulated library, with
// the differences between the plugin's calls now and the recorded ones.
#include "devhost/engine/BenchControl.h"
#include "devhost/engine/Text.h"
#include "devhost/engine/fieldtrace/Replay.h"
#include "devhost/program/Commands.h"
#include "devhost/program/Console.h"
#include "platform/Program.h"

#include <algorithm>
#include <cstdio>

namespace zorvahost {

namespace {

/// The session to run again: the command and settings this program recorded
/// (the output options stay this command's), or for another host's trace a
/// capture as long as the recording. False, the reason printed, for a
/// recorded command that cannot be replayed.
bool SessionOptions(const Options& options, const ReplayPlan& plan, Options& session)
{
    session = options;
    session.traceFile.clear();
    if (!plan.recorded.found) {
        session.command = Command::Capture;
        session.seconds = std::max(1.0, plan.seconds);
        std::printf("  recorded by another host: a capture runs until the replay waits for a call only the "
                    "host would cause\n");
        return true;
    }
    const ParseResult parsed = ParseCommandLine(plan.recorded.arguments);
    const Command command = parsed.options.command;
    if (!parsed.ok || (command != Command::Capture && command != Command::Detect)) {
        PrintError("the session recorded in " + options.traceFile +
                   " cannot be replayed: " + (parsed.ok ? "not a capture or a detection" : parsed.error));
        return false;
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
    std::printf("  recorded by zorva-devhost%s, with %zu action%s, each done again where the recording has it\n",
                line.c_str(), plan.recorded.events.size(), plan.recorded.events.size() == 1 ? "" : "s");
    return true;
}

} // namespace

void ReportReplay(const BenchControl& bench, ReplayPlan& plan)
{
    const ReplayOutcome outcome = ReplayResult(bench, plan);
    if (!outcome.held) {
        std::printf("Replay: the simulated library holds no trace any more\nVerdict: not replayed\n");
        return;
    }
    std::printf("Replay of %s: %llu calls answered, %llu of the %llu recorded calls used, %llu of the %llu "
                "recorded blocks handed out, %llu messages posted; %llu polls found nothing more or less often "
                "than recorded (thread timing, not a difference)\n",
                plan.path.c_str(), outcome.calls, outcome.recordedCallsUsed,
                static_cast<unsigned long long>(plan.recordedCalls), outcome.blocks,
                static_cast<unsigned long long>(plan.recordedBlocks), outcome.messages, outcome.timingDifferences);
    if (outcome.mismatchCount > 0) {
        std::printf("Differences (%llu; call numbers count the plugin's calls from the replay's start, record "
                    "numbers the trace's records):\n",
                    outcome.mismatchCount);
        for (const std::string& text : outcome.mismatches)
            std::printf("  %s\n", text.c_str());
        if (outcome.mismatches.size() < outcome.mismatchCount)
            std::printf("  ... and %llu more\n",
                        outcome.mismatchCount - static_cast<unsigned long long>(outcome.mismatches.size()));
    }
    if (plan.matched) {
        std::printf("Verdict: the plugin's calls and data matched the recording%s\n",
                    plan.cutShort ? " up to its cut" : "");
        return;
    }
    std::printf("Verdict: DIFFERENT from the recording: %s\n", Joined(outcome.reasons, "; ").c_str());
}

int RunReplay(const Options& options)
{
    ReplayPlan plan;
    std::string error;
    if (!ReadReplayPlan(options.traceFile, plan, error)) {
        PrintError(options.traceFile + " cannot be replayed: " + error);
        return ExitFailure;
    }
    std::printf("Field trace %s: %s; %llu records\n", options.traceFile.c_str(), TraceOrigin(plan.header).c_str(),
                static_cast<unsigned long long>(plan.records));
    if (plan.cutShort)
        std::printf("  cut short (%s): replayed up to its cut\n", plan.cut.c_str());
    Options session;
    if (!SessionOptions(options, plan, session))
        return ExitFailure;
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
