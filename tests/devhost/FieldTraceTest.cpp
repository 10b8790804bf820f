// Field traces in the development host: the host notes a recording leaves
// for its replay (where each action waits for its turn), and what trace-info
// reads from a trace (counter gaps and repeats, library errors), on records
// made here and on the traces kept in traces/.
#include "devhost/engine/fieldtrace/FieldTrace.h"
#include "devhost/engine/fieldtrace/TraceInfo.h"
#include "driver/BlockLayout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>

using namespace zorvahost;
using zorvatrace::Function;
using zorvatrace::Record;
using zorvatrace::RecordType;

namespace {

/// Records numbered in order, as a trace holds them.
class Records
{
public:
    std::uint64_t Call(Function function, std::int32_t result = 1, std::int32_t argument = 0)
    {
        Record record = zorvatrace::CallRecord(function);
        record.result = result;
        record.argument = argument;
        return Add(record);
    }

    std::uint64_t Note(const std::string& text)
    {
        Record record;
        record.type = RecordType::Note;
        record.text = text;
        return Add(record);
    }

    /// A transfer of a block of `units` units whose counters run from
    /// `counters[unit]`, one per sample set.
    std::uint64_t Block(const std::vector<std::int64_t>& counters)
    {
        const unsigned int units = static_cast<unsigned int>(counters.size());
        Record record = zorvatrace::CallRecord(Function::DLLTransferFloatData);
        record.result = 1;
        record.flags = zorvatrace::kCallHasBlock;
        record.units = units;
        record.block.assign(ZORVA::BlockLayout::BlockFloats(units), 0.0f);
        for (int sample = 0; sample < ZORVA::BlockLayout::SamplesPerBlock; ++sample) {
            for (unsigned int unit = 0; unit < units; ++unit)
                record.block[ZORVA::BlockLayout::RecordOffset(sample, unit, units)] =
                    static_cast<float>((counters[unit] + sample) % ZORVA::BlockLayout::CounterModulus);
        }
        return Add(record);
    }

    const std::vector<Record>& All() const { return records_; }

private:
    std::uint64_t Add(Record record)
    {
        record.number = records_.size();
        records_.push_back(record);
        return record.number;
    }

    std::vector<Record> records_;
};

zorvatrace::TraceContents Contents(const Records& records)
{
    zorvatrace::TraceContents trace;
    trace.records = records.All();
    trace.complete = true;
    return trace;
}

} // namespace

TEST(FieldTrace, ReadRecordedSession_Notes_EachEventWaitsForTheFirstCallItCanHaveCaused)
{
    Records r;
    r.Note("forwarding to \"/lab/ZORVAUSBDevice.dll\""); // the recorder's own
    r.Note(SessionNote({"capture", "--seconds", "2", "--mode", "genlock"}));
    r.Call(Function::DLLInit);
    HostEvent zero;
    zero.seconds = 0.5;
    zero.kind = HostEventKind::Zero;
    r.Note(EventNote(zero));
    // Blocks go on until the host's call comes: they are not what it caused.
    r.Block({0});
    r.Call(Function::DLLTransferFloatData, 0);
    const std::uint64_t zeroCall = r.Call(Function::BroadcastZero);
    r.Note("zorva-devhost: event x zero");  // unreadable: left out
    r.Note("zorva-devhost: event 1 dance"); // an unknown event: left out
    HostEvent end;
    end.seconds = 2.0;
    end.kind = HostEventKind::End;
    HostEvent rescan;
    rescan.seconds = 1.0;
    rescan.kind = HostEventKind::Rescan;
    rescan.detail = "unplug=1 (Right side)";
    r.Note(EventNote(rescan));
    r.Note(EventNote(end));
    const std::uint64_t stopCall = r.Call(Function::BroadcastStop);
    HostEvent last;
    last.seconds = 2.5;
    last.kind = HostEventKind::Rearm;
    r.Note(EventNote(last));

    const RecordedSession session = ReadRecordedSession(r.All());
    ASSERT_TRUE(session.found);
    EXPECT_EQ(session.arguments, (std::vector<std::string>{"capture", "--seconds", "2", "--mode", "genlock"}));
    ASSERT_EQ(session.events.size(), 4u);
    EXPECT_EQ(session.events[0].kind, HostEventKind::Zero);
    EXPECT_EQ(session.events[0].seconds, 0.5);
    EXPECT_EQ(session.events[0].trigger, zeroCall);
    EXPECT_EQ(session.events[1].kind, HostEventKind::Rescan);
    EXPECT_EQ(session.events[1].detail, "unplug=1 (Right side)");
    EXPECT_EQ(session.events[1].trigger, stopCall) << "two events before one call both wait for it";
    EXPECT_EQ(session.events[2].kind, HostEventKind::End);
    EXPECT_EQ(session.events[2].trigger, stopCall);
    EXPECT_EQ(session.events[3].trigger, UINT64_MAX) << "no call after it: the end of the trace";
}

TEST(FieldTrace, ReadRecordedSession_AnotherHostsTrace_NothingFound)
{
    Records r;
    r.Note("forwarding to \"/lab/ZORVAUSBDevice.dll\"");
    r.Call(Function::DLLInit);
    r.Note("the library lacks fmSetBlink: calls of it return 0");
    const RecordedSession session = ReadRecordedSession(r.All());
    EXPECT_FALSE(session.found);
    EXPECT_TRUE(session.events.empty());
}

TEST(TraceInfo, Summarize_Counters_GapsAndRepeatsPerUnitWithinEachRun)
{
    const std::int64_t top = ZORVA::BlockLayout::CounterModulus;
    Records r;
    r.Call(Function::DLLInit);
    r.Call(Function::DLLGetDeviceCount, 2);
    r.Call(Function::BroadcastStart);
    // Unit 0 runs on across the counter's wrap-around; unit 1 loses a block,
    // then gets one again.
    r.Block({top - 32, 100});
    r.Block({top - 16, 116});
    const std::uint64_t lostAfter = r.Block({0, 132});
    r.Block({16, 164});
    const std::uint64_t repeated = r.Block({32, 164});
    r.Block({48, 180});
    r.Call(Function::BroadcastStop);
    // A new run: its counters are not held against the last one's.
    r.Call(Function::BroadcastStart);
    r.Block({5000, 7000});

    const TraceSummary summary = Summarize(Contents(r));
    EXPECT_EQ(summary.blocks, 7u);
    ASSERT_EQ(summary.counters.size(), 2u);
    const CounterCheck& wrapped = summary.counters[0];
    EXPECT_EQ(wrapped.samples, 7u * 16);
    EXPECT_EQ(wrapped.gaps, 0u);
    EXPECT_EQ(wrapped.repeats, 0u);
    const CounterCheck& faulty = summary.counters[1];
    EXPECT_EQ(faulty.gaps, 1u);
    EXPECT_EQ(faulty.missing, 16u);
    EXPECT_EQ(faulty.firstGap, "after counter 147 (record " + std::to_string(lostAfter + 1) + ")");
    EXPECT_EQ(faulty.repeats, 1u);
    EXPECT_EQ(faulty.repeated, 16u);
    EXPECT_EQ(faulty.firstRepeat, "after counter 179 (record " + std::to_string(repeated) + ")");
    EXPECT_EQ(summary.deviceCounts, (std::vector<int>{2}));
}

TEST(TraceInfo, Summarize_LibraryErrors_EachKindCountedWithItsFirstRecord)
{
    Records r;
    const std::uint64_t init = r.Call(Function::DLLInit);
    for (int i = 0; i < 3; ++i)
        r.Call(Function::DLLIsDeviceInitComplete, 0);
    r.Call(Function::DLLShutDown); // the start-up never completed
    r.Call(Function::DLLInit);
    r.Call(Function::DLLIsDeviceInitComplete, 1);
    const std::uint64_t setup = r.Call(Function::DLLSetupCheck, 214);
    const std::uint64_t failed = r.Call(Function::DLLTransferFloatData, -1);
    r.Call(Function::DLLTransferFloatData, -1);
    const std::uint64_t noBlock = r.Call(Function::DLLTransferFloatData, 1);
    r.Call(Function::DLLTransferFloatData, 0); // found nothing: no error
    Record missing = zorvatrace::CallRecord(Function::SetBlink);
    missing.flags = zorvatrace::kCallMissing;
    missing.number = r.All().size();
    std::vector<Record> records = r.All();
    records.push_back(missing);

    zorvatrace::TraceContents trace;
    trace.records = records;
    const TraceSummary summary = Summarize(trace);
    struct Expected
    {
        std::string what;
        std::uint64_t count;
        std::uint64_t first;
    };
    const Expected expected[] = {
        {"the start-up never completed (fmDLLIsDeviceInitComplete polled 3 times)", 1, init},
        {"set-up check code 214", 1, setup},
        {"fmDLLTransferFloatData returned -1", 2, failed},
        {"fmDLLTransferFloatData returned 1 without a block", 1, noBlock},
        {"the library lacks fmSetBlink (the caller got 0)", 1, missing.number},
    };
    ASSERT_EQ(summary.errors.size(), std::size(expected)) << Render(summary);
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(summary.errors[i].what, expected[i].what);
        EXPECT_EQ(summary.errors[i].count, expected[i].count) << expected[i].what;
        EXPECT_EQ(summary.errors[i].firstRecord, expected[i].first) << expected[i].what;
    }
    EXPECT_EQ(summary.detections, 2u);
}

/// The kept traces (traces/README.md) hold what their names say.
TEST(TraceInfo, Summarize_KeptTraces_EachShowsItsFault)
{
    struct Case
    {
        const char* file;
        std::uint64_t gaps, missing, repeats, repeated;
        const char* error; ///< a library error it must list, or ""
        std::vector<int> deviceCounts;
    };
    const Case cases[] = {
        {"lost-block", 1, 16, 0, 0, "", {2}},
        {"repeated-block", 0, 0, 1, 16, "", {2}},
        {"transfer-failure", 0, 0, 0, 0, "fmDLLTransferFloatData returned -1", {2}},
        {"unplugged-at-rescan", 0, 0, 0, 0, "", {2, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        zorvatrace::TraceContents trace;
        ASSERT_TRUE(zorvatrace::ReadTraceFile(std::string(ZORVA_SOURCE_DIR) + "/traces/" + c.file + ".trace", trace))
            << trace.error;
        const TraceSummary summary = Summarize(trace);
        ASSERT_FALSE(summary.counters.empty());
        for (const CounterCheck& unit : summary.counters) {
            EXPECT_EQ(unit.gaps, c.gaps);
            EXPECT_EQ(unit.missing, c.missing);
            EXPECT_EQ(unit.repeats, c.repeats);
            EXPECT_EQ(unit.repeated, c.repeated);
        }
        bool listed = *c.error == '\0';
        for (const LibraryError& error : summary.errors)
            listed = listed || error.what == c.error;
        EXPECT_TRUE(listed) << Render(summary);
        EXPECT_EQ(summary.deviceCounts, c.deviceCounts);
        EXPECT_TRUE(ReadRecordedSession(trace.records).found) << "made by the development host";
    }
}

/// trace-info and replay read a trace record by record, in memory flat in its
/// length: the same summary and the same recorded session as from the trace
/// read whole, for whole traces and for one cut short.
TEST(TraceInfo, SummarizeTraceFile_KeptTracesWholeAndCut_SameAsTheWholeRead)
{
    for (const char* file : {"lost-block", "repeated-block", "transfer-failure", "unplugged-at-rescan"}) {
        for (const bool cut : {false, true}) {
            SCOPED_TRACE(std::string(file) + (cut ? ", cut short" : ""));
            std::string path = std::string(ZORVA_SOURCE_DIR) + "/traces/" + file + ".trace";
            if (cut) {
                std::ifstream in(path, std::ios::binary);
                const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
                path = ::testing::TempDir() + "cut-" + file + ".trace";
                std::ofstream(path, std::ios::binary) << bytes.substr(0, bytes.size() * 2 / 3);
            }
            zorvatrace::TraceContents whole;
            zorvatrace::ReadTraceFile(path, whole);
            ASSERT_EQ(whole.errorKind, cut ? zorvatrace::ReadError::Truncated : zorvatrace::ReadError::None);
            RecordedSessionReader session;
            const TraceSummary streamed =
                SummarizeTraceFile(path, [&session](const Record& record) { session.Add(record); });
            EXPECT_EQ(TraceRefused(streamed), TraceRefused(whole));
            EXPECT_EQ(Render(streamed), Render(Summarize(whole)));
            const RecordedSession expected = ReadRecordedSession(whole.records);
            EXPECT_EQ(session.Session().arguments, expected.arguments);
            ASSERT_EQ(session.Session().events.size(), expected.events.size());
            for (std::size_t i = 0; i < expected.events.size(); ++i) {
                EXPECT_EQ(session.Session().events[i].noteRecord, expected.events[i].noteRecord);
                EXPECT_EQ(session.Session().events[i].trigger, expected.events[i].trigger);
            }
        }
    }
}
