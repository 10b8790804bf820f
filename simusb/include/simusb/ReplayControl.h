/// Replay of a field trace (docs/trace-format.md) by the simulated library:
/// while a trace is loaded, every fm* call is answered as recorded, and the
/// recorded blocks arrive with the recorded thread messages. Where the caller
/// does differently from the recording, the library says where and goes on.
///
/// A trace is taken wherever a scenario is: ZORVA_SIM_SCENARIO may name one
/// (recognised by its first bytes), LoadScenarioFile loads one, and
/// LoadTraceFile does it explicitly. Loading a scenario or Reset ends a replay.
/// Every function may be called from any thread; none throws. The same as
/// plain C functions, for a host that finds them at run time: SimControlC.h.
#pragma once

#include "simusb/SimControlC.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zorvasim {

/// When the recorded messages are posted: ZorvaSimReplayPace (SimControlC.h).
enum class ReplayPace
{
    Auto = ZORVA_SIM_PACE_AUTO,           ///< Immediate while virtual time is on, Recorded otherwise
    Immediate = ZORVA_SIM_PACE_IMMEDIATE, ///< right after the call they followed in the recording
    Recorded = ZORVA_SIM_PACE_RECORDED    ///< as long after that call as in the recording
};

/// One place where the caller did not do what the recording did.
struct ReplayMismatch
{
    std::uint64_t call = 0;   ///< the caller's call, counted from 1 since the trace was loaded
    std::uint64_t record = 0; ///< the number of the recorded record it was held against
    std::string recorded;     ///< "fmBroadcastAcquisitionRate(1000)", or empty
    std::string now;          ///< "fmBroadcastAcquisitionRate(500)"
    std::string text;         ///< the whole line, as on stderr
};

struct ReplayStatus
{
    bool active = false;
    std::string path;
    /// Why the trace is not whole (cut short), or empty.
    std::string truncated;
    std::uint64_t calls = 0;           ///< calls answered
    std::uint64_t recordedCalls = 0;   ///< call records of the trace answered or passed over
    std::uint64_t blocks = 0;          ///< blocks handed out
    std::uint64_t messages = 0;        ///< messages posted
    std::uint64_t messageFailures = 0; ///< messages no thread took (none registered, or it refused)
    /// Transfers that found nothing, made in one run and not in the other:
    /// the thread timing, not the caller, differs. Counted, not reported.
    std::uint64_t timingDifferences = 0;
    std::uint64_t mismatches = 0;
    /// Every recorded call has been answered.
    bool finished = false;
    /// The record number of the recorded call the replay waits for next:
    /// how far it got (0 before the first call; the largest value once
    /// finished). A host that acts at recorded points waits for it.
    std::uint64_t nextCall = 0;
};

/// True for a file that begins as a trace does (whether or not it is sound).
ZORVA_SIM_API bool IsTraceFile(const std::string& path);
/// Checks the whole trace, then answers from it: refused whole (the current
/// scenario or replay stays) when it is not a trace, newer or corrupt; a
/// trace cut short is replayed up to its cut (stderr and the status say so).
ZORVA_SIM_API bool LoadTraceFile(const std::string& path, std::string* error = nullptr,
                                 ReplayPace pace = ReplayPace::Auto);
/// Back to the scenario in use.
ZORVA_SIM_API void EndReplay();
ZORVA_SIM_API ReplayStatus GetReplayStatus();
/// The first 1000 mismatches, in order (GetReplayStatus counts them all).
ZORVA_SIM_API std::vector<ReplayMismatch> ReplayMismatches();

} // namespace zorvasim
