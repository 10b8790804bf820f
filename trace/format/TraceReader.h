/// Reads a trace record by record, checking every byte it uses: a file that
/// is not a trace, of a newer format version, cut short or damaged is refused
/// with a message that names the offset and the record where it breaks.
/// Whoever reads a trace of any length reads it record by record, through
/// TraceReader or ReadTraceRecords: memory stays at one chunk and one record.
/// ReadTraceFile, which keeps every record, is for tests and small traces.
#pragma once

#include "trace/format/TraceFormat.h"

#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <string>
#include <vector>

namespace zorvatrace {

enum class ReadStatus
{
    Record, ///< `record` holds the next record
    End,    ///< the end record was read before; nothing follows
    Error   ///< see ErrorKind() and Error(); every later call says the same
};

enum class ReadError
{
    None,
    Io,           ///< the file cannot be opened or read
    NotATrace,    ///< no trace magic at the start
    NewerVersion, ///< written by a newer format version
    Truncated,    ///< ends before its end record: cut short (a crash, a copy in progress)
    Corrupt       ///< a byte is wrong: CRC, length, number or field out of its range
};

/// One pass over a trace. The file is read a chunk at a time: memory stays
/// at one chunk however long the trace.
class TraceReader
{
public:
    TraceReader();
    ~TraceReader();
    TraceReader(const TraceReader&) = delete;
    TraceReader& operator=(const TraceReader&) = delete;

    /// Opens a file and reads its header; false with Error() otherwise.
    bool Open(const std::string& path);
    /// Reads a trace held in memory (tests, the fuzz target).
    bool OpenBytes(const std::string& bytes);

    const Header& GetHeader() const { return header_; }
    ReadStatus Next(Record& record);

    ReadError ErrorKind() const { return errorKind_; }
    /// "corrupt at offset 1234 (chunk 5, record 340): payload CRC mismatch".
    const std::string& Error() const { return error_; }
    /// The end record was read: the trace is whole.
    bool Complete() const { return complete_ && errorKind_ == ReadError::None; }
    /// The number the next record should have (records dropped by the
    /// recorder included).
    std::uint64_t NextNumber() const { return expectedNumber_; }

private:
    bool ReadHeader();
    /// Reads, checks and decodes the next chunk; false at the end or on an error.
    bool LoadChunk();
    bool ParseRecord(Record& record);
    bool Fail(ReadError kind, const std::string& message);
    bool Corrupt(const std::string& what);
    bool ReadExactly(unsigned char* data, std::size_t size, std::size_t& got);

    std::unique_ptr<std::istream> in_;
    Header header_;
    ReadError errorKind_ = ReadError::None;
    std::string error_;
    bool complete_ = false;
    std::uint64_t offset_ = 0;      ///< bytes consumed from the file
    std::uint64_t chunkOffset_ = 0; ///< where the chunk being read starts
    std::uint64_t chunkIndex_ = 0;
    std::uint64_t expectedNumber_ = 0;
    std::vector<unsigned char> chunk_;
    std::vector<unsigned char> packed_;
    std::size_t chunkAt_ = 0;
    std::uint32_t chunkLeft_ = 0; ///< records of the chunk not yet returned
    bool chunkStartsWithGap_ = false;
    std::uint64_t gapFirst_ = 0;
    std::uint64_t gapRecords_ = 0;
};

/// How a pass over a whole trace ended.
struct ReadOutcome
{
    Header header;
    std::uint64_t records = 0; ///< records handed out
    bool complete = false;     ///< the end record was read: the trace is whole
    /// Why the reading stopped early; empty when whole.
    std::string error;
    ReadError errorKind = ReadError::None;
};

/// Reads `path` record by record and hands each record to `each`, in order,
/// as it is read: memory stays at one chunk and one record however long the
/// trace. A trace cut short (no end record, or a last chunk cut) hands out
/// its records before the cut and ends Truncated; any other fault ends the
/// pass where it is found, after the records before it (a caller that refuses
/// such a trace lets them go).
ReadOutcome ReadTraceRecords(const std::string& path, const std::function<void(const Record&)>& each);

/// A whole trace read into memory (tests, small traces).
struct TraceContents
{
    Header header;
    std::vector<Record> records;
    bool complete = false;
    /// Why the reading stopped early; empty when whole.
    std::string error;
    ReadError errorKind = ReadError::None;
};

/// Reads every record of `path`. A trace that is only cut short (no end
/// record, or a last chunk cut) gives its records before the cut and
/// `errorKind` Truncated; any other fault gives no records. True when the
/// trace was read whole.
bool ReadTraceFile(const std::string& path, TraceContents& out);
/// The same from bytes in memory.
bool ReadTraceBytes(const std::string& bytes, TraceContents& out);

/// True when the file begins with the trace magic (and so is meant as a
/// trace, whether or not the rest is sound).
bool LooksLikeTrace(const std::string& path);

} // namespace zorvatrace
