// The trace file: what the writer writes the reader gives back, record for
// record; what the writer could not write is counted in the trace; and every
// file that is not a sound trace is refused with where it breaks.
#include "TraceTestSupport.h"

#include "trace/format/Bytes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <thread>

using namespace zorvatrace;
using namespace tracetest;

namespace {

std::vector<std::string> Fingerprints(const std::vector<Record>& records)
{
    std::vector<std::string> out;
    for (const Record& record : records)
        out.push_back(Fingerprint(record));
    return out;
}

/// The records as the reader must give them back: numbered in order, the end record last.
std::vector<Record> Numbered(std::vector<Record> records)
{
    for (std::size_t i = 0; i < records.size(); ++i)
        records[i].number = i;
    return records;
}

} // namespace

TEST(TraceFile, WriteThenRead_EveryRecordKind_ComesBackExactly)
{
    const std::vector<Record> records = SampleRecords();
    TraceContents read;
    ASSERT_TRUE(ReadTraceBytes(WriteTrace(records), read)) << read.error;

    EXPECT_TRUE(read.complete);
    const Header expected = SampleHeader();
    EXPECT_EQ(read.header.version, kFormatVersion);
    EXPECT_EQ(read.header.createdUs, expected.createdUs);
    EXPECT_EQ(read.header.system, expected.system);
    EXPECT_EQ(read.header.libraryName, expected.libraryName);
    EXPECT_EQ(read.header.librarySize, expected.librarySize);
    EXPECT_EQ(read.header.libraryPath, expected.libraryPath);
    EXPECT_EQ(read.header.program, expected.program);

    ASSERT_EQ(read.records.size(), records.size() + 1);
    std::vector<Record> withoutEnd(read.records.begin(), read.records.end() - 1);
    EXPECT_EQ(Fingerprints(withoutEnd), Fingerprints(Numbered(records)));
    const Record& end = read.records.back();
    EXPECT_EQ(end.type, RecordType::End);
    EXPECT_EQ(end.totalRecords, records.size());
    EXPECT_EQ(end.totalMessages, 1u);
    EXPECT_EQ(end.totalDroppedRecords, 0u);
}

TEST(TraceFile, WriteThenRead_BlockFloatsIncludingNaNAndNegativeZero_BitForBit)
{
    Record block = BlockRecord(1, 0.0f);
    const std::uint32_t oddBits[] = {0x7fc00001u, 0x80000000u, 0x7f800000u, 0x00000001u, 0xff800000u};
    for (std::size_t i = 0; i < 5; ++i)
        std::memcpy(&block.block[i], &oddBits[i], 4);
    TraceContents read;
    ASSERT_TRUE(ReadTraceBytes(WriteTrace({block}), read)) << read.error;
    ASSERT_EQ(read.records.at(0).block.size(), kFloatsPerUnitBlock);
    EXPECT_EQ(std::memcmp(read.records[0].block.data(), block.block.data(), kFloatsPerUnitBlock * 4), 0);
}

TEST(TraceFile, Write_SmallChunks_NumbersRunOnAcrossChunks)
{
    std::vector<Record> records;
    for (int i = 0; i < 200; ++i)
        records.push_back(BlockRecord(2, static_cast<float>(16 * i)));
    WriterOptions options;
    options.chunkBytes = 10000; // about four blocks a chunk
    TraceContents read;
    ASSERT_TRUE(ReadTraceBytes(WriteTrace(records, options), read)) << read.error;
    ASSERT_EQ(read.records.size(), 201u);
    for (std::size_t i = 0; i < 200; ++i) {
        EXPECT_EQ(read.records[i].number, i);
        EXPECT_EQ(read.records[i].block.at(0), 16.0f * static_cast<float>(i));
    }
}

TEST(TraceFile, Write_RepetitiveBlocks_Compressed)
{
    // Unloaded plates: counters run on, the readings repeat, as in much of a capture.
    std::vector<Record> records;
    for (int b = 0; b < 400; ++b) {
        Record record = BlockRecord(16, 0.0f);
        for (std::size_t i = 0; i < record.block.size(); ++i)
            record.block[i] = i % 8 == 0 ? static_cast<float>(16 * b + static_cast<int>(i / 128)) : 0.5f;
        records.push_back(record);
    }
    const std::string file = WriteTrace(records);
    TraceContents read;
    ASSERT_TRUE(ReadTraceBytes(file, read)) << read.error;
    const std::size_t raw = 400 * 16 * kFloatsPerUnitBlock * 4;
    EXPECT_LT(file.size(), raw / 10) << "zlib must pay on repetitive blocks";
    EXPECT_EQ(read.records.size(), 401u);
}

TEST(TraceFile, Append_DiskStalled_NeverWaitsAndCountsWhatItDropped)
{
    MemorySink::Shared shared;
    WriterOptions options;
    options.chunkBytes = 16 * 1024;
    options.queueBytes = 64 * 1024;
    TraceWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(std::unique_ptr<Sink>(new MemorySink(shared)), SampleHeader(), options, error)) << error;
    {
        // The header went through; now the disk takes nothing until released.
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.held = true;
    }
    // 300 blocks of 8 KiB (2.4 MB) against a queue of 64 KiB.
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 300; ++i) {
        Record record = BlockRecord(16, static_cast<float>(i));
        writer.Append(record);
    }
    const auto appending = std::chrono::steady_clock::now() - started;
    EXPECT_LT(appending, std::chrono::seconds(2)) << "appending waited for the disk";
    const WriterCounters during = writer.Counters();
    EXPECT_GT(during.droppedRecords, 250u);
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.held = false;
        shared.changed.notify_all();
    }
    const WriterCounters final = writer.Close();
    EXPECT_FALSE(final.failed);

    TraceContents read;
    std::string bytes;
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        bytes = shared.bytes;
    }
    ASSERT_TRUE(ReadTraceBytes(bytes, read)) << read.error;
    std::uint64_t blocks = 0, lost = 0;
    for (const Record& record : read.records) {
        blocks += record.type == RecordType::Call;
        lost += record.type == RecordType::Dropped ? record.lostRecords : 0;
    }
    // Every number is a record read or one counted as lost (Dropped records
    // lost with their chunk included).
    EXPECT_EQ(lost, final.droppedRecords);
    EXPECT_EQ(read.records.size() - 1 + lost, read.records.back().totalRecords);
    EXPECT_GT(blocks, 0u);
    EXPECT_LT(blocks, 50u);
    EXPECT_EQ(read.records.back().totalDroppedRecords, final.droppedRecords);
}

TEST(TraceFile, Pause_LibrarySessionEnded_WrittenSoFarAndWritingResumes)
{
    MemorySink::Shared shared;
    TraceWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(std::unique_ptr<Sink>(new MemorySink(shared)), SampleHeader(), WriterOptions(), error));
    for (int i = 0; i < 3; ++i) {
        Record record = BlockRecord(1, static_cast<float>(i));
        writer.Append(record);
    }
    writer.Pause();
    TraceContents read;
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        ReadTraceBytes(shared.bytes, read);
    }
    EXPECT_EQ(read.errorKind, ReadError::Truncated) << "open still: no end record yet";
    EXPECT_EQ(read.records.size(), 3u) << "everything before the pause is on the disk";

    for (int i = 3; i < 5; ++i) {
        Record record = BlockRecord(1, static_cast<float>(i));
        writer.Append(record);
    }
    writer.Close();
    std::lock_guard<std::mutex> lock(shared.mutex);
    ASSERT_TRUE(ReadTraceBytes(shared.bytes, read)) << read.error;
    ASSERT_EQ(read.records.size(), 6u);
    EXPECT_EQ(read.records[4].block.at(0), 4.0f);
}

TEST(TraceFile, Close_AfterPause_EndRecordWrittenByTheClosingThread)
{
    MemorySink::Shared shared;
    TraceWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(std::unique_ptr<Sink>(new MemorySink(shared)), SampleHeader(), WriterOptions(), error));
    writer.Pause(); // no thread now, nothing appended since
    writer.Close();
    std::lock_guard<std::mutex> lock(shared.mutex);
    TraceContents read;
    ASSERT_TRUE(ReadTraceBytes(shared.bytes, read)) << read.error;
    EXPECT_EQ(read.records.size(), 1u) << "the end record alone";
}

TEST(TraceFile, Write_DiskFails_CallersGoOnAndTheFailureIsReported)
{
    MemorySink::Shared shared;
    TraceWriter writer;
    std::string error;
    WriterOptions options;
    options.chunkBytes = 1000;
    ASSERT_TRUE(writer.Open(std::unique_ptr<Sink>(new MemorySink(shared)), SampleHeader(), options, error));
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.failing = true;
    }
    for (int i = 0; i < 20; ++i) {
        Record record = BlockRecord(1, 0.0f);
        writer.Append(record);
    }
    const WriterCounters counters = writer.Close();
    EXPECT_TRUE(counters.failed);
    EXPECT_EQ(counters.error, "the disk is full");
}

// ---------------------------------------------------------------- refused files

namespace {

Bytes HeaderBytes() { return EncodeHeader(SampleHeader()); }

/// A sound trace by hand: header, one chunk of two calls, one chunk with the end record.
struct HandMade
{
    Bytes header = HeaderBytes();
    Bytes first = Chunk(0, 2, Encode({CallRecord(Function::DLLInit), BlockRecord(1, 0.0f)}));
    Bytes second = Chunk(2, 1, Encode({EndRecord(2)}));

    std::string All() const { return ToString(header) + ToString(first) + ToString(second); }
};

struct RefusedCase
{
    const char* name;
    std::function<std::string()> file;
    ReadError kind;
    const char* message;     ///< a part of the message
    std::size_t recordsKept; ///< records a truncated trace still gives
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

std::string WithByte(std::string file, std::size_t at, unsigned char value)
{
    file[at] = static_cast<char>(value);
    return file;
}

std::string VersionTwo()
{
    Bytes header = HeaderBytes();
    header[8] = 2;
    // A newer version is told as such even though its CRC no longer fits.
    return ToString(header);
}

std::string RecordsChunk(const std::vector<Record>& records, std::uint64_t first = 0)
{
    return ToString(HeaderBytes()) +
           ToString(Chunk(first, static_cast<std::uint32_t>(records.size()), Encode(records)));
}

std::string WithRawRecord(const Bytes& raw, std::uint32_t count = 1)
{
    return ToString(HeaderBytes()) + ToString(Chunk(0, count, raw));
}

Bytes UnknownFunction()
{
    Bytes raw = Encode({CallRecord(Function::DLLInit)});
    raw[5 + 8 + 8] = 30; // the function number
    return raw;
}

Bytes TextLongerThanItsBuffer()
{
    Record record = CallRecord(Function::GetPlatformLengthAndWidth);
    record.texts[0].bytes = std::string(40, '1'); // a 32-byte buffer
    return Encode({record});
}

Bytes TooManyUnits()
{
    Bytes raw = Encode({BlockRecord(1, 0.0f)});
    SetU32(raw, 5 + 8 + 4 + 4 + 1 + 1 + 4 + 4, kMaxBlockUnits + 1);
    return raw;
}

Bytes LengthPastChunk()
{
    Bytes raw = Encode({CallRecord(Function::DLLInit)});
    SetU32(raw, 1, 1000);
    return raw;
}

const RefusedCase RefusedCases[] = {
    {"Empty", [] { return std::string(); }, ReadError::NotATrace, "not a trace", 0},
    {"ScenarioText", [] { return std::string("[scenario]\nname = bench\n"); }, ReadError::NotATrace, "not a trace", 0},
    {"MagicOnly", [] { return HandMade().All().substr(0, 8); }, ReadError::Truncated, "file header cut short", 0},
    {"NewerVersion", VersionTwo, ReadError::NewerVersion, "version 2 is newer than this reader's (1)", 0},
    {"HeaderCrc", [] { return WithByte(HandMade().All(), 20, 0x55); }, ReadError::Corrupt,
     "offset 0: file header CRC mismatch", 0},
    {"NoEndRecord",
     [] {
         HandMade m;
         return ToString(m.header) + ToString(m.first);
     },
     ReadError::Truncated, "ends after 2 records without its end record", 2},
    {"ChunkHeaderCut",
     [] {
         HandMade m;
         return ToString(m.header) + ToString(m.first) + ToString(m.second).substr(0, 20);
     },
     ReadError::Truncated, "chunk header cut short (20 of 36 bytes)", 2},
    {"PayloadCut",
     [] {
         std::string f = HandMade().All();
         return f.substr(0, f.size() - 3);
     },
     ReadError::Truncated, "record 2): chunk of", 2},
    {"PayloadByteFlipped",
     [] {
         HandMade m;
         return WithByte(m.All(), m.header.size() + kChunkHeaderSize + 30, 0xaa);
     },
     ReadError::Corrupt, "(chunk 0, record 0): chunk payload CRC mismatch", 0},
    {"ChunkHeaderFlipped",
     [] {
         HandMade m;
         return WithByte(m.All(), m.header.size() + 9, 0x7f);
     },
     ReadError::Corrupt, "chunk header CRC mismatch", 0},
    {"NotAChunk",
     [] {
         HandMade m;
         return ToString(m.header) + std::string(40, 'z');
     },
     ReadError::Corrupt, "no chunk begins here", 0},
    {"ChunkMissing",
     [] {
         HandMade m;
         return ToString(m.header) + ToString(Chunk(2, 1, Encode({EndRecord(2)})));
     },
     ReadError::Corrupt, "records 0 to 1 are missing", 0},
    {"AfterTheEnd", [] { return HandMade().All() + "x"; }, ReadError::Corrupt, "data after the end record", 0},
    {"UnknownFunction", [] { return WithRawRecord(UnknownFunction()); }, ReadError::Corrupt,
     "unknown function number 30", 0},
    {"TextPastItsBuffer", [] { return WithRawRecord(TextLongerThanItsBuffer()); }, ReadError::Corrupt,
     "out-values of fmGetPlatformLengthAndWidth malformed", 0},
    {"BlockOfTooManyUnits", [] { return WithRawRecord(TooManyUnits()); }, ReadError::Corrupt,
     "out-values of fmDLLTransferFloatData malformed", 0},
    {"RecordPastItsChunk", [] { return WithRawRecord(LengthPastChunk()); }, ReadError::Corrupt, "runs past its chunk",
     0},
    {"EndCountsWrong",
     [] {
         return RecordsChunk({CallRecord(Function::DLLInit), EndRecord(5)});
     },
     ReadError::Corrupt, "end record counts 5 records, not 1", 0},
    {"RecordsAfterEnd",
     [] {
         return RecordsChunk({EndRecord(0), CallRecord(Function::DLLInit)});
     },
     ReadError::Corrupt, "records after the end record", 0},
};

class RefusedTrace : public ::testing::TestWithParam<RefusedCase>
{};

} // namespace

TEST_P(RefusedTrace, Read_BrokenFile_RefusedSayingWhere)
{
    const RefusedCase& c = GetParam();
    TraceContents read;
    EXPECT_FALSE(ReadTraceBytes(c.file(), read));
    EXPECT_EQ(read.errorKind, c.kind);
    EXPECT_NE(read.error.find(c.message), std::string::npos) << read.error;
    EXPECT_EQ(read.records.size(), c.recordsKept);
    EXPECT_FALSE(read.complete);
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedTrace, ::testing::ValuesIn(RefusedCases),
                         [](const ::testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

TEST(TraceFile, Read_MissingFile_IoErrorNamingIt)
{
    TraceContents read;
    EXPECT_FALSE(ReadTraceFile("/nonexistent/zorva.trace", read));
    EXPECT_EQ(read.errorKind, ReadError::Io);
    EXPECT_EQ(read.error, "cannot open \"/nonexistent/zorva.trace\"");
}

namespace {

std::string FileOf(const std::string& bytes, const std::string& name)
{
    const std::string path = TemporaryFile(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

} // namespace

TEST(TraceFile, ReadTraceRecords_SoundTrace_EveryRecordInOrderAsTheWholeRead)
{
    std::vector<Record> records = SampleRecords();
    for (int i = 0; i < 300; ++i)
        records.push_back(BlockRecord(2, static_cast<float>(16 * i)));
    WriterOptions options;
    options.chunkBytes = 4096; // many chunks
    const std::string path = FileOf(WriteTrace(records, options), "stream.trace");
    TraceContents whole;
    ASSERT_TRUE(ReadTraceFile(path, whole)) << whole.error;

    std::vector<std::string> streamed;
    const ReadOutcome outcome =
        ReadTraceRecords(path, [&streamed](const Record& record) { streamed.push_back(Fingerprint(record)); });
    std::remove(path.c_str());
    EXPECT_TRUE(outcome.complete);
    EXPECT_EQ(outcome.errorKind, ReadError::None);
    EXPECT_EQ(outcome.records, whole.records.size());
    EXPECT_EQ(outcome.header.program, SampleHeader().program);
    EXPECT_EQ(streamed, Fingerprints(whole.records));
}

/// A broken file ends the pass as the whole read ends, after the records
/// before the break: those a trace cut short keeps.
TEST_P(RefusedTrace, ReadTraceRecords_BrokenFile_EndsAsTheWholeRead)
{
    const RefusedCase& c = GetParam();
    const std::string path = FileOf(c.file(), std::string("broken-") + c.name + ".trace");
    TraceContents whole;
    ReadTraceFile(path, whole);
    std::uint64_t handedOut = 0;
    const ReadOutcome outcome = ReadTraceRecords(path, [&handedOut](const Record&) { ++handedOut; });
    std::remove(path.c_str());
    EXPECT_EQ(outcome.errorKind, c.kind);
    EXPECT_EQ(outcome.error, whole.error);
    EXPECT_FALSE(outcome.complete);
    EXPECT_EQ(outcome.records, handedOut);
    if (c.kind == ReadError::Truncated) {
        EXPECT_EQ(handedOut, c.recordsKept);
    }
}
