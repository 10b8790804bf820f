#include "devhost/engine/fieldtrace/TraceInfo.h"

#include "devhost/engine/Text.h"
#include "driver/BlockLayout.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace zorvahost {

using zorvatrace::Function;
using zorvatrace::Record;
using zorvatrace::RecordType;

namespace {

void AddOnce(std::vector<int>& values, int value)
{
    if (values.empty() || values.back() != value)
        values.push_back(value);
}

void AddError(std::vector<LibraryError>& errors, const std::string& what, std::uint64_t record)
{
    for (LibraryError& error : errors) {
        if (error.what == what) {
            ++error.count;
            return;
        }
    }
    errors.push_back(LibraryError{what, 1, record});
}

/// Reads each unit's counters of one block against what came before.
class CounterReader
{
public:
    explicit CounterReader(std::vector<CounterCheck>& checks) : checks_(checks) {}

    /// A new acquisition run: counters are not held against the last run's.
    void Restart() { last_.clear(); }

    void Block(const Record& record)
    {
        const unsigned int units = record.units;
        if (units == 0 || record.block.size() < ZORVA::BlockLayout::BlockFloats(units))
            return;
        if (last_.size() != units)
            last_.assign(units, -1);
        if (checks_.size() < units)
            checks_.resize(units);
        const std::int64_t modulus = ZORVA::BlockLayout::CounterModulus;
        for (int sample = 0; sample < ZORVA::BlockLayout::SamplesPerBlock; ++sample) {
            for (unsigned int unit = 0; unit < units; ++unit) {
                const float value =
                    record.block[ZORVA::BlockLayout::RecordOffset(sample, unit, units) + ZORVA::BlockLayout::Counter];
                if (!(value >= 0.0f && value < static_cast<float>(modulus)))
                    continue; // not a counter: nothing to hold against
                const std::int64_t counter = static_cast<std::int64_t>(value);
                CounterCheck& check = checks_[unit];
                ++check.samples;
                std::int64_t& last = last_[unit];
                if (last >= 0) {
                    const std::int64_t step = ((counter - last) % modulus + modulus) % modulus;
                    const std::string where =
                        "after counter " + std::to_string(last) + " (record " + std::to_string(record.number) + ")";
                    if (step == 0 || step > modulus / 2) {
                        ++check.repeats;
                        check.repeated += static_cast<std::uint64_t>(step == 0 ? 1 : modulus - step + 1);
                        if (check.firstRepeat.empty())
                            check.firstRepeat = where;
                    } else if (step > 1) {
                        ++check.gaps;
                        check.missing += static_cast<std::uint64_t>(step - 1);
                        if (check.firstGap.empty())
                            check.firstGap = where;
                    }
                }
                last = counter;
            }
        }
    }

private:
    std::vector<CounterCheck>& checks_;
    std::vector<std::int64_t> last_;
};

std::string Plural(std::uint64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string List(const std::vector<int>& values, const char* separator)
{
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i)
        text += (i == 0 ? "" : separator) + std::to_string(values[i]);
    return text;
}

/// Builds a summary record by record: it keeps the summary, each unit's last
/// counter and the start-up being polled, nothing per record.
class Summarizer
{
public:
    Summarizer() : counters_(summary_.counters) {}
    Summarizer(const Summarizer&) = delete;
    Summarizer& operator=(const Summarizer&) = delete;

    void Add(const Record& record)
    {
        ++summary_.records;
        summary_.seconds = std::max(summary_.seconds, static_cast<double>(record.timeUs) / 1e6);
        switch (record.type) {
        case RecordType::Message:
            ++summary_.messages[record.message];
            if (record.delivery != zorvatrace::Delivery::Posted)
                ++summary_.messagesNotPassedOn;
            return;
        case RecordType::Note: summary_.notes.push_back(record.text); return;
        case RecordType::Dropped:
            summary_.droppedRecords += record.lostRecords;
            summary_.droppedBytes += record.lostBytes;
            return;
        case RecordType::End:
        case RecordType::Relay: return;
        case RecordType::Call: break;
        }
        ++summary_.calls;
        if (record.flags & zorvatrace::kCallMissing) {
            AddError(summary_.errors,
                     std::string("the library lacks ") + zorvatrace::Info(record.function).name + " (the caller got 0)",
                     record.number);
            return;
        }
        if (record.flags & zorvatrace::kCallBlockCut)
            AddError(summary_.errors, "a block of more units than a record holds (1024), cut", record.number);
        const bool pointerNull = (record.flags & zorvatrace::kCallPointerNull) != 0;
        switch (record.function) {
        case Function::DLLInit:
            EndOfStartUp();
            ++summary_.detections;
            initComplete_ = false;
            initRecord_ = record.number;
            counters_.Restart();
            break;
        case Function::DLLIsDeviceInitComplete:
            ++initPolls_;
            if (record.result != 0)
                initComplete_ = true, initPolls_ = 0;
            break;
        case Function::DLLShutDown: EndOfStartUp(); break;
        case Function::DLLSetupCheck:
            if (record.result != 1)
                AddError(summary_.errors, "set-up check code " + std::to_string(record.result), record.number);
            break;
        case Function::DLLGetDeviceCount: AddOnce(summary_.deviceCounts, record.result); break;
        case Function::DLLSelectDeviceIndex: selected_ = record.argument; break;
        case Function::GetAmplifierSerialNumber:
            if (selected_ >= 0 && !pointerNull)
                summary_.units[selected_] = "amplifier " + record.texts[0].bytes;
            break;
        case Function::GetPlatformModelNumber:
            if (selected_ >= 0 && !pointerNull)
                summary_.units[selected_] += ", platform " + record.texts[0].bytes;
            break;
        case Function::GetPlatformSerialNumber:
            if (selected_ >= 0 && !pointerNull)
                summary_.units[selected_] += " " + record.texts[0].bytes;
            break;
        case Function::BroadcastAcquisitionRate: AddOnce(summary_.rates, record.argument); break;
        case Function::BroadcastStart:
        case Function::BroadcastResetSoftware: counters_.Restart(); break;
        case Function::CelvoDownloadCalFile:
            if (record.result != 0)
                AddError(summary_.errors, "fmCelvoDownloadCalFile returned " + std::to_string(record.result),
                         record.number);
            break;
        case Function::IsCelvoDownloadComplete:
            if (record.result != 0 && record.result != 1)
                AddError(summary_.errors, "fmIsCelvoDownloadComplete returned " + std::to_string(record.result),
                         record.number);
            break;
        case Function::DLLTransferFloatData:
            if (record.flags & zorvatrace::kCallHasBlock) {
                ++summary_.blocks;
                summary_.blockUnits = record.units;
                counters_.Block(record);
            } else if (record.result < 0) {
                AddError(summary_.errors, "fmDLLTransferFloatData returned " + std::to_string(record.result),
                         record.number);
            } else if (record.result > 0 && !pointerNull) {
                AddError(summary_.errors,
                         "fmDLLTransferFloatData returned " + std::to_string(record.result) + " without a block",
                         record.number);
            }
            break;
        default: break;
        }
    }

    /// The summary of the records added, read with this header and this end.
    TraceSummary Finish(const zorvatrace::Header& header, zorvatrace::ReadError errorKind, const std::string& error)
    {
        EndOfStartUp();
        summary_.header = header;
        summary_.errorKind = errorKind;
        summary_.error = error;
        return std::move(summary_);
    }

private:
    void EndOfStartUp()
    {
        if (!initComplete_ && initPolls_ > 0)
            AddError(summary_.errors,
                     "the start-up never completed (fmDLLIsDeviceInitComplete polled " + std::to_string(initPolls_) +
                         " times)",
                     initRecord_);
        initComplete_ = true;
        initPolls_ = 0;
    }

    TraceSummary summary_;
    CounterReader counters_;
    int selected_ = -1;
    std::uint64_t initPolls_ = 0;
    bool initComplete_ = true;
    std::uint64_t initRecord_ = 0;
};

} // namespace

bool TraceRefused(const zorvatrace::TraceContents& trace)
{
    if (trace.errorKind == zorvatrace::ReadError::None)
        return false;
    // Every trace the recorder writes names it in its header.
    const bool headerRead = !trace.header.recorder.empty() || !trace.records.empty();
    return trace.errorKind != zorvatrace::ReadError::Truncated || !headerRead;
}

bool TraceRefused(const TraceSummary& summary)
{
    if (summary.errorKind == zorvatrace::ReadError::None)
        return false;
    const bool headerRead = !summary.header.recorder.empty() || summary.records > 0;
    return summary.errorKind != zorvatrace::ReadError::Truncated || !headerRead;
}

TraceSummary SummarizeTraceFile(const std::string& path, const std::function<void(const Record&)>& each)
{
    Summarizer summarizer;
    const zorvatrace::ReadOutcome outcome = zorvatrace::ReadTraceRecords(path, [&](const Record& record) {
        summarizer.Add(record);
        if (each)
            each(record);
    });
    return summarizer.Finish(outcome.header, outcome.errorKind, outcome.error);
}

TraceSummary Summarize(const zorvatrace::TraceContents& trace)
{
    Summarizer summarizer;
    for (const Record& record : trace.records)
        summarizer.Add(record);
    return summarizer.Finish(trace.header, trace.errorKind, trace.error);
}

std::string Render(const TraceSummary& s)
{
    const zorvatrace::Header& h = s.header;
    std::string text;
    text += "Recorded by " + h.recorder + " in " + h.program + " on " + h.system + "\n";
    text += "USB library: " + h.libraryName + " (" + h.libraryPath + ", " + std::to_string(h.librarySize) + " bytes)\n";
    if (s.errorKind == zorvatrace::ReadError::Truncated)
        text += "Cut short: " + s.error + "; what follows is up to the cut\n";
    text += "Duration: " + Fixed(s.seconds, 3) + " s, " + Plural(s.records, "record", "records") + ", " +
            Plural(s.calls, "call", "calls") + "\n";
    text += "Detections: " + std::to_string(s.detections) +
            (s.deviceCounts.empty() ? std::string() : "; units: " + List(s.deviceCounts, ", then ")) + "\n";
    for (const auto& unit : s.units)
        text += "  unit " + std::to_string(unit.first) + ": " + unit.second + "\n";
    if (!s.rates.empty())
        text += "Acquisition rates set: " + List(s.rates, ", then ") + " per second\n";
    text += "Blocks: " + std::to_string(s.blocks) +
            (s.blocks ? " (the last of " + Plural(s.blockUnits, "unit", "units") + ")" : std::string()) + "\n";
    for (std::size_t unit = 0; unit < s.counters.size(); ++unit) {
        const CounterCheck& c = s.counters[unit];
        text += "  unit " + std::to_string(unit) + " counter: " + std::to_string(c.samples) + " samples, ";
        if (c.gaps == 0 && c.repeats == 0) {
            text += "no gap, no repeat\n";
            continue;
        }
        text += Plural(c.gaps, "gap", "gaps") + " (" + Plural(c.missing, "sample", "samples") + " missing" +
                (c.firstGap.empty() ? "" : ", the first " + c.firstGap) + "), ";
        text += Plural(c.repeats, "repeat", "repeats") + " (" + Plural(c.repeated, "sample", "samples") + " again" +
                (c.firstRepeat.empty() ? "" : ", the first " + c.firstRepeat) + ")\n";
    }
    if (s.errors.empty()) {
        text += "Library errors: none\n";
    } else {
        text += "Library errors:\n";
        for (const LibraryError& e : s.errors)
            text += "  " + e.what + ": " + Plural(e.count, "time", "times") + ", the first at record " +
                    std::to_string(e.firstRecord) + "\n";
    }
    text += "Dropped by the recorder: " +
            (s.droppedRecords == 0 ? std::string("nothing")
                                   : Plural(s.droppedRecords, "record", "records") + ", " +
                                         std::to_string(s.droppedBytes) + " bytes (its disk was too slow)") +
            "\n";
    std::uint64_t messages = 0;
    for (const auto& m : s.messages)
        messages += m.second;
    text += "Messages: " + std::to_string(messages);
    for (const auto& m : s.messages)
        text += (m.first == s.messages.begin()->first ? " (" : ", ") + Plural(m.second, "time", "times") + " message " +
                std::to_string(m.first);
    text += s.messages.empty() ? "" : ")";
    if (s.messagesNotPassedOn)
        text += "; " + std::to_string(s.messagesNotPassedOn) + " not passed on (no thread to take them)";
    text += "\nNotes:" + std::string(s.notes.empty() ? " none" : "") + "\n";
    for (const std::string& note : s.notes)
        text += "  " + note + "\n";
    return text;
}

} // namespace zorvahost
