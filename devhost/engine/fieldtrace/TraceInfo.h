/// What a field trace holds, for trace-info: where it was made, the units the
/// library reported, the blocks with the gaps and repeats in each unit's
/// sample counter, the library's errors, what the recorder dropped, the
/// messages and the notes.
#pragma once

#include "trace/format/TraceReader.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zorvahost {

/// One unit's sample counter over the trace's blocks, checked within each
/// acquisition run (a start begins a new one: the counter runs on while the
/// library is stopped).
struct CounterCheck
{
    std::uint64_t samples = 0;
    std::uint64_t gaps = 0;            ///< jumps forward
    std::uint64_t missing = 0;         ///< samples the jumps passed over
    std::uint64_t repeats = 0;         ///< steps back (a block again, or a counter that went back)
    std::uint64_t repeated = 0;        ///< samples stepped back over
    std::string firstGap, firstRepeat; ///< "after counter 1234 (record 56)"
};

/// A kind of library error and how often it came.
struct LibraryError
{
    std::string what; ///< "fmDLLTransferFloatData returned -1 without a block"
    std::uint64_t count = 0;
    std::uint64_t firstRecord = 0;
};

/// What trace-info shows. It grows with what happened in the trace (units,
/// kinds of error, notes), not with its length.
struct TraceSummary
{
    zorvatrace::Header header;
    zorvatrace::ReadError errorKind = zorvatrace::ReadError::None;
    std::string error; ///< why the reading stopped early (cut short, refused)
    std::uint64_t records = 0;
    std::uint64_t calls = 0;
    double seconds = 0.0;         ///< from the trace's start to its last record
    std::uint64_t detections = 0; ///< fmDLLInit calls
    /// fmDLLGetDeviceCount's answers, a repeated one once.
    std::vector<int> deviceCounts;
    /// "0: amplifier ZA300-7311, platform Tandem TM TMT-0042", as the library
    /// answered the detection's queries (the last detection's for each index).
    std::map<int, std::string> units;
    std::vector<int> rates; ///< fmBroadcastAcquisitionRate arguments, a repeated one once
    std::uint64_t blocks = 0;
    std::uint32_t blockUnits = 0;       ///< units in the last block
    std::vector<CounterCheck> counters; ///< per unit index
    std::vector<LibraryError> errors;
    std::uint64_t droppedRecords = 0;
    std::uint64_t droppedBytes = 0;
    std::map<std::uint32_t, std::uint64_t> messages; ///< by message number
    std::uint64_t messagesNotPassedOn = 0;           ///< no thread registered, or it refused
    std::vector<std::string> notes;
};

/// True when a reading gave nothing usable: not a trace, of a newer format,
/// corrupt, or cut short inside its file header. A trace cut short later is
/// usable up to its cut.
bool TraceRefused(const zorvatrace::TraceContents& trace);
bool TraceRefused(const TraceSummary& summary);

/// Reads the trace at `path` record by record into its summary (memory flat
/// in the trace's length), handing every record to `each` too when given (a
/// replay reads its notes on the same pass). A refused trace gives its error
/// (TraceRefused); what else the summary holds then means nothing.
TraceSummary SummarizeTraceFile(const std::string& path,
                                const std::function<void(const zorvatrace::Record&)>& each = nullptr);
/// The same of a trace read whole by ReadTraceFile (or in memory); refused
/// traces give only their error.
TraceSummary Summarize(const zorvatrace::TraceContents& trace);
/// The summary as trace-info prints it.
std::string Render(const TraceSummary& summary);

} // namespace zorvahost
