/// A field trace replayed through the plugin on the simulated library: the
/// plan read from the trace (what this program recorded of the session, the
/// calls and blocks to expect) and what the replay came to, from the
/// simulated library's counts (simusb/ReplayControl.h).
#pragma once

#include "devhost/engine/fieldtrace/FieldTrace.h"
#include "trace/format/TraceFormat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zorvahost {

class BenchControl;

/// A replay as the capture and detect commands run it.
struct ReplayPlan
{
    std::string path;
    zorvatrace::Header header;
    std::uint64_t records = 0; ///< records read
    double seconds = 0.0;      ///< from the trace's start to its last record
    /// This program's notes in the trace (none in a host's trace).
    RecordedSession recorded;
    std::uint64_t recordedCalls = 0;  ///< call records in the trace
    std::uint64_t recordedBlocks = 0; ///< of them, transfers that handed out a block
    bool cutShort = false;            ///< the trace ends without its end record
    std::string cut;                  ///< the reader's words for the cut
    /// Set once the replay is over (ReplayOutcome): the plugin's calls and data matched the recording.
    bool matched = false;
};

/// Reads the trace at `path` into a plan; false, with `error` in the reader's
/// words, when the file is no trace it can read (a trace cut short is read up
/// to its cut).
bool ReadReplayPlan(const std::string& path, ReplayPlan& plan, std::string& error);

/// "made 2025-03-04 10:15:02 UTC on Linux ... by PROGRAM; USB library PATH (N bytes)".
std::string TraceOrigin(const zorvatrace::Header& header);

/// What a replay came to: read after the plugin's shut-down, while it is
/// still loaded (its last calls belong to the recording).
struct ReplayOutcome
{
    bool held = false; ///< the simulated library still holds the trace
    // The simulated library's counts (ZorvaSimReplayProgress).
    unsigned long long calls = 0, recordedCallsUsed = 0, blocks = 0, messages = 0, timingDifferences = 0;
    unsigned long long mismatchCount = 0;
    std::vector<std::string> mismatches; ///< as the library words them; it keeps the first ones
    /// Why the replay did not match, in words; empty when it matched.
    std::vector<std::string> reasons;
};

/// The outcome from the bench's replay counts; sets plan.matched.
ReplayOutcome ReplayResult(const BenchControl& bench, ReplayPlan& plan);

} // namespace zorvahost
