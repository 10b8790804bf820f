#include "devhost/engine/fieldtrace/Replay.h"

#include "devhost/engine/BenchControl.h"
#include "devhost/engine/fieldtrace/TraceInfo.h"
#include "devhost/engine/fieldtrace/FieldTrace.h"

#include <algorithm>
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

std::string TraceOrigin(const zorvatrace::Header& header)
{
    return "made " + UtcText(header.createdUs) + " on " + header.system + " by " + header.program + "; USB library " +
           header.libraryPath + " (" + std::to_string(header.librarySize) + " bytes)";
}

bool ReadReplayPlan(const std::string& path, ReplayPlan& plan, std::string& error)
{
    // One pass, record by record: memory flat in the trace's length.
    RecordedSessionReader recorded;
    std::uint64_t calls = 0;
    std::uint64_t blocks = 0;
    const TraceSummary trace = SummarizeTraceFile(path, [&](const Record& record) {
        recorded.Add(record);
        if (record.type != RecordType::Call)
            return;
        ++calls;
        if (record.function == Function::DLLTransferFloatData && (record.flags & zorvatrace::kCallHasBlock))
            ++blocks;
    });
    if (TraceRefused(trace)) {
        error = trace.error;
        return false;
    }
    plan.path = path;
    plan.header = trace.header;
    plan.records = trace.records;
    plan.recorded = recorded.Session();
    plan.recordedCalls = calls;
    plan.recordedBlocks = blocks;
    plan.seconds = trace.seconds;
    plan.cutShort = trace.errorKind == zorvatrace::ReadError::Truncated;
    if (plan.cutShort)
        plan.cut = trace.error;
    return true;
}

ReplayOutcome ReplayResult(const BenchControl& bench, ReplayPlan& plan)
{
    ReplayOutcome outcome;
    ZorvaSimReplayProgress progress{};
    outcome.held = bench.ReplayProgress(progress);
    if (!outcome.held) {
        plan.matched = false;
        return outcome;
    }
    outcome.calls = progress.calls;
    outcome.recordedCallsUsed = progress.recordedCalls;
    outcome.blocks = progress.blocks;
    outcome.messages = progress.messages;
    outcome.timingDifferences = progress.timingDifferences;
    outcome.mismatchCount = progress.mismatches;
    outcome.mismatches = bench.ReplayMismatches();
    if (progress.mismatches > 0)
        outcome.reasons.push_back(std::to_string(progress.mismatches) + " difference" +
                                  (progress.mismatches == 1 ? "" : "s"));
    if (!progress.finished)
        outcome.reasons.push_back("the plugin stopped before the end of the recording");
    if (progress.blocks != plan.recordedBlocks)
        outcome.reasons.push_back(std::to_string(progress.blocks) + " of " + std::to_string(plan.recordedBlocks) +
                                  " recorded blocks handed out");
    plan.matched = outcome.reasons.empty();
    return outcome;
}

} // namespace zorvahost
