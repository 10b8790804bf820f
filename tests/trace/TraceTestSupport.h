// Building traces by hand for the tests: records of every kind, a sink in
// memory, and chunks made byte by byte so a test can break exactly one thing.
#pragma once

#include "trace/format/TraceFormat.h"
#include "trace/format/TraceReader.h"
#include "trace/format/TraceWriter.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tracetest {

typedef std::vector<unsigned char> Bytes;

/// Keeps what the writer writes; can be made to wait (a slow disk) or fail.
class MemorySink : public zorvatrace::Sink
{
public:
    struct Shared
    {
        std::mutex mutex;
        std::condition_variable changed;
        std::string bytes;
        bool held = false; ///< Write waits while set
        bool failing = false;
        int writes = 0;
    };

    explicit MemorySink(Shared& shared) : shared_(shared) {}
    bool Write(const unsigned char* data, std::size_t size) override;
    bool Flush() override { return true; }
    std::string Error() const override { return "the disk is full"; }

private:
    Shared& shared_;
};

/// A header as the recorder writes it, with fixed values.
zorvatrace::Header SampleHeader();
/// One call record of each of the 30 functions, with out-values of every
/// kind, plus a message, a note and a relay record.
std::vector<zorvatrace::Record> SampleRecords();
/// A transfer record with a block of `units` units whose floats are
/// counter-like (start + index).
zorvatrace::Record BlockRecord(std::uint32_t units, float start);

/// The records written through a TraceWriter (default options) and closed:
/// the whole file's bytes.
std::string WriteTrace(const std::vector<zorvatrace::Record>& records,
                       const zorvatrace::WriterOptions& options = zorvatrace::WriterOptions());

/// A chunk of stored records numbered from `first`, with correct CRCs.
Bytes Chunk(std::uint64_t first, std::uint32_t count, const Bytes& records);
/// Encoded records, one after another.
Bytes Encode(const std::vector<zorvatrace::Record>& records);
/// The end record that closes a trace of `records` records.
zorvatrace::Record EndRecord(std::uint64_t records);

std::string ToString(const Bytes& bytes);

/// A fresh file name in the system's temporary folder (test cases may run
/// as processes of their own at the same time).
std::string TemporaryFile(const std::string& name);

/// Fields that a round trip must keep (numbers included), for EXPECT_EQ.
std::string Fingerprint(const zorvatrace::Record& record);

} // namespace tracetest
