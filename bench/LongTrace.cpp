// Makes a long field trace out of a short one, for measuring what reading a
// trace costs against its length (trace-info and replay read it record by
// record: their memory must not grow with it). A capture recorded by the
// development host (zorva-devhost capture --record-trace IN) has a run of
// data records in the middle: data-ready messages and transfers, nothing
// else. The long trace is the short one with that run repeated until it
// lasts MINUTES (the last one cut there), each repetition later by the run's
// duration and with every
// unit's sample counter running on, so the long trace reads as one capture
// of that length (no gap, no repeat) and replays as one: the development
// host's notes after the run (the session's length, its end) move with it.
//
//   long_trace IN OUT MINUTES
#include "driver/BlockLayout.h"
#include "trace/format/TraceReader.h"
#include "trace/format/TraceWriter.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using zorvatrace::Function;
using zorvatrace::Record;
using zorvatrace::RecordType;

bool IsBlock(const Record& record)
{
    return record.type == RecordType::Call && record.function == Function::DLLTransferFloatData &&
           (record.flags & zorvatrace::kCallHasBlock);
}

bool IsData(const Record& record)
{
    return record.type == RecordType::Message ||
           (record.type == RecordType::Call && record.function == Function::DLLTransferFloatData);
}

/// Every counter of the block `samples` further on, wrapped as the hardware wraps it.
void AdvanceCounters(Record& record, std::uint64_t samples)
{
    const std::int64_t modulus = ZORVA::BlockLayout::CounterModulus;
    const unsigned int units = record.units;
    for (int sample = 0; sample < ZORVA::BlockLayout::SamplesPerBlock; ++sample) {
        for (unsigned int unit = 0; unit < units; ++unit) {
            float& counter =
                record.block[ZORVA::BlockLayout::RecordOffset(sample, unit, units) + ZORVA::BlockLayout::Counter];
            const std::int64_t value = static_cast<std::int64_t>(counter);
            counter = static_cast<float>((value + static_cast<std::int64_t>(samples % modulus)) % modulus);
        }
    }
}

/// The number at `at` of `note` (up to the next space) `seconds` more.
std::string AddSeconds(const std::string& note, std::size_t at, double seconds)
{
    const std::size_t space = note.find(' ', at);
    const std::size_t length = space == std::string::npos ? note.size() - at : space - at;
    char number[32];
    std::snprintf(number, sizeof number, "%.3f", std::atof(note.substr(at, length).c_str()) + seconds);
    return note.substr(0, at) + number + note.substr(at + length);
}

/// The development host's notes, `seconds` longer: the session's length
/// ("zorva-devhost: session capture --seconds 10 ...") and, after the run, an
/// event's time ("zorva-devhost: event 10.01 end"), so a replay captures for
/// as long as the long trace lasts and ends where it ends.
std::string Longer(const std::string& note, double seconds, bool afterRun)
{
    const std::string session = "zorva-devhost: session ";
    const std::string event = "zorva-devhost: event ";
    const std::size_t length = note.find(" --seconds ");
    if (note.compare(0, session.size(), session) == 0 && length != std::string::npos)
        return AddSeconds(note, length + 11, seconds);
    if (afterRun && note.compare(0, event.size(), event) == 0)
        return AddSeconds(note, event.size(), seconds);
    return note;
}

int Fail(const std::string& why)
{
    std::fprintf(stderr, "long_trace: %s\n", why.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    int minutes = 0;
    if (argc != 4 || std::sscanf(argv[3], "%d", &minutes) != 1 || minutes < 1) {
        std::fprintf(stderr, "usage: long_trace IN OUT MINUTES\n");
        return 2;
    }
    zorvatrace::TraceContents in;
    if (!zorvatrace::ReadTraceFile(argv[1], in))
        return Fail(std::string(argv[1]) + ": " + in.error);
    std::vector<Record>& records = in.records;
    if (!records.empty() && records.back().type == RecordType::End)
        records.pop_back(); // the writer ends the long trace with its own

    // The run of data records around the first block (the data-ready
    // message before it included).
    std::size_t firstBlock = 0;
    while (firstBlock < records.size() && !IsBlock(records[firstBlock]))
        ++firstBlock;
    std::size_t first = firstBlock;
    while (first > 0 && IsData(records[first - 1]))
        --first;
    std::size_t end = firstBlock;
    std::uint64_t blocks = 0;
    std::uint64_t lastBlockUs = 0;
    for (; end < records.size() && IsData(records[end]); ++end) {
        if (IsBlock(records[end])) {
            ++blocks;
            lastBlockUs = records[end].timeUs;
        }
    }
    if (blocks < 2)
        return Fail(std::string(argv[1]) + " holds no run of blocks to repeat");
    // The run lasts from its first record to a block's period after its last.
    const std::uint64_t periodUs = (lastBlockUs - records[firstBlock].timeUs) / (blocks - 1);
    const std::uint64_t runUs = records[end - 1].timeUs - records[first].timeUs + periodUs;
    const std::uint64_t samplesPerRun = blocks * ZORVA::BlockLayout::SamplesPerBlock;
    const std::uint64_t wantedUs = static_cast<std::uint64_t>(minutes) * 60000000u;
    const std::uint64_t runs = (wantedUs + runUs - 1) / runUs;

    std::string error;
    std::unique_ptr<zorvatrace::Sink> sink = zorvatrace::OpenFileSink(argv[2], error);
    zorvatrace::TraceWriter writer;
    if (!sink || !writer.Open(std::move(sink), in.header, zorvatrace::WriterOptions(), error))
        return Fail(std::string(argv[2]) + ": " + error);
    std::uint64_t written = 0;
    auto write = [&](Record record, std::uint64_t laterUs) {
        record.timeUs += laterUs;
        writer.Append(record);
        // The writer never waits for the disk and drops what its queue cannot
        // hold: let it catch up now and then.
        if (++written % 20000 == 0)
            writer.Pause();
    };
    // How much later than the run's end the last record written of it comes:
    // the records after the run move by as much.
    std::uint64_t laterUs = 0;
    for (std::uint64_t run = 0; run < runs; ++run) {
        for (std::size_t i = first; i < end; ++i) {
            if (run * runUs + (records[i].timeUs - records[first].timeUs) >= wantedUs)
                break; // the last run only as far as the length asked for
            if (records[i].timeUs + run * runUs > records[end - 1].timeUs)
                laterUs = records[i].timeUs + run * runUs - records[end - 1].timeUs;
        }
    }
    const double laterSeconds = static_cast<double>(laterUs) / 1e6;
    for (std::size_t i = 0; i < first; ++i) {
        Record record = records[i];
        if (record.type == RecordType::Note)
            record.text = Longer(record.text, laterSeconds, false);
        write(record, 0);
    }
    for (std::uint64_t run = 0; run < runs; ++run) {
        for (std::size_t i = first; i < end; ++i) {
            if (run * runUs + (records[i].timeUs - records[first].timeUs) >= wantedUs)
                break;
            Record record = records[i];
            if (IsBlock(record))
                AdvanceCounters(record, run * samplesPerRun);
            write(record, run * runUs);
        }
    }
    for (std::size_t i = end; i < records.size(); ++i) {
        Record record = records[i];
        if (record.type == RecordType::Note)
            record.text = Longer(record.text, laterSeconds, true);
        write(record, laterUs);
    }
    const zorvatrace::WriterCounters counters = writer.Close();
    if (counters.failed || counters.droppedRecords > 0)
        return Fail(std::string(argv[2]) + ": " + (counters.failed ? counters.error : "records dropped"));
    std::printf("%s: %llu records, %llu bytes, %d minutes\n", argv[2],
                static_cast<unsigned long long>(counters.records), static_cast<unsigned long long>(counters.fileBytes),
                minutes);
    return 0;
}
