/// Writes a trace without making its callers wait for the disk.
#pragma once

#include "trace/format/TraceFormat.h"
#include "win32/ThreadSafety.h"

#include <zlib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zorvatrace {

/// Where the writer thread puts the bytes: a file, or a test's stand-in.
class Sink
{
public:
    virtual ~Sink() = default;
    /// False on failure, with Error() saying why.
    virtual bool Write(const unsigned char* data, std::size_t size) = 0;
    virtual bool Flush() = 0;
    virtual std::string Error() const = 0;
};

/// A new file at `path` (replaced if it exists); null with `error` otherwise.
std::unique_ptr<Sink> OpenFileSink(const std::string& path, std::string& error);

struct WriterOptions
{
    /// A chunk is sealed once it holds this many bytes of records.
    std::size_t chunkBytes = 64 * 1024;
    /// Sealed chunks waiting for the disk, in bytes of records; a chunk that
    /// would go beyond is dropped and counted.
    std::size_t queueBytes = 32u * 1024 * 1024;
    /// zlib level 1 on each chunk (stored plain when that does not shrink it).
    bool compress = true;
    /// A chunk older than this is sealed and written even when not full, so
    /// a trace cut by a crash loses at most this much.
    std::chrono::milliseconds sealAfter{250};
};

struct WriterCounters
{
    std::uint64_t records = 0;        ///< numbered, written or dropped
    std::uint64_t droppedRecords = 0; ///< lost because the queue was full
    std::uint64_t droppedBytes = 0;
    std::uint64_t chunksWritten = 0;
    std::uint64_t recordBytes = 0; ///< bytes of records in the chunks written
    std::uint64_t fileBytes = 0;   ///< bytes the file holds, header included
    std::uint64_t messages = 0;    ///< message records
    bool failed = false;           ///< the sink failed; nothing is written after
    std::string error;
};

/// Threads: Append, Seal, Now and Counters from any thread; Open, Pause and
/// Close from one controlling thread at a time (the recorder serialises
/// them). The writer thread, started by Open (and by the first record after a
/// Pause) and joined by Pause and Close, compresses and writes.
/// - `mutex_` guards the open chunk, the queue, the numbering and the counters;
///   it is held only to encode one record, to seal or take a chunk, and to
///   read the counters, never while compressing or writing.
/// - The sink is used by the writer thread alone between Open and Close.
class TraceWriter
{
public:
    TraceWriter() = default;
    ~TraceWriter();
    TraceWriter(const TraceWriter&) = delete;
    TraceWriter& operator=(const TraceWriter&) = delete;

    /// Writes the header (on the caller's thread) and starts the writer
    /// thread. False, with `error`, when a trace is open or the header cannot
    /// be written.
    bool Open(std::unique_ptr<Sink> sink, const Header& header, const WriterOptions& options, std::string& error)
        ZORVA_EXCLUDES(mutex_);
    bool IsOpen() const ZORVA_EXCLUDES(mutex_);
    /// Microseconds since Open, on the steady clock (0 when closed).
    std::uint64_t Now() const;
    /// Numbers the record and adds it to the open chunk; a full chunk is
    /// handed to the writer thread, or dropped and counted when the queue is
    /// full. Never waits for the disk; does nothing while closed.
    void Append(Record& record) ZORVA_EXCLUDES(mutex_);
    /// Hands the open chunk to the writer thread now.
    void Seal() ZORVA_EXCLUDES(mutex_);
    /// Writes everything so far and ends the writer thread; the trace stays
    /// open and the next record starts the thread again. For the end of a
    /// library session: on Windows a library unloaded later (under the
    /// loader's lock) must not have a thread of its own left to wait for.
    void Pause() ZORVA_EXCLUDES(mutex_);
    /// Adds the end record, waits until everything is written and closes
    /// the sink. Returns the final counters.
    WriterCounters Close() ZORVA_EXCLUDES(mutex_);
    WriterCounters Counters() const ZORVA_EXCLUDES(mutex_);

private:
    struct Chunk
    {
        std::uint64_t first = 0;
        std::uint32_t count = 0;
        std::vector<unsigned char> records;
    };

    void AppendLocked(Record& record) ZORVA_REQUIRES(mutex_);
    /// Moves the open chunk to the queue; `force` ignores the queue bound.
    void SealLocked(bool force) ZORVA_REQUIRES(mutex_);
    void StartLocked() ZORVA_REQUIRES(mutex_);
    void Run() ZORVA_EXCLUDES(mutex_);
    /// Writes the next sealed chunk (waiting for one when `wait`); false
    /// when there is none left and the writer is to stop.
    bool WriteNext(bool wait) ZORVA_EXCLUDES(mutex_);
    /// Compresses and writes one chunk; false once the sink failed.
    bool WriteChunk(const Chunk& chunk, WriterCounters& written);

    /// zlib level 1 on the writer thread, its state kept from chunk to chunk.
    class Deflater
    {
    public:
        Deflater() = default;
        ~Deflater();
        Deflater(const Deflater&) = delete;
        Deflater& operator=(const Deflater&) = delete;
        /// `raw` compressed into `out` (grown as needed): `size` bytes.
        bool Compress(const std::vector<unsigned char>& raw, std::vector<unsigned char>& out, std::size_t& size);

    private:
        z_stream stream_;
        bool ready_ = false;
    };

    typedef ZORVA::AnnotatedMutex<std::mutex> WriterMutex;
    typedef ZORVA::ScopedLock<WriterMutex> WriterLock;
    typedef ZORVA::UniqueLock<WriterMutex> WriterUniqueLock;

    mutable WriterMutex mutex_;
    std::condition_variable_any wake_;
    bool open_ ZORVA_GUARDED_BY(mutex_) = false;
    bool closing_ ZORVA_GUARDED_BY(mutex_) = false;
    bool stopping_ ZORVA_GUARDED_BY(mutex_) = false; ///< Pause: the thread ends once the queue is written
    WriterOptions options_ ZORVA_GUARDED_BY(mutex_);
    Chunk current_ ZORVA_GUARDED_BY(mutex_);
    std::chrono::steady_clock::time_point currentStarted_ ZORVA_GUARDED_BY(mutex_);
    std::deque<Chunk> queue_ ZORVA_GUARDED_BY(mutex_);
    std::size_t queuedBytes_ ZORVA_GUARDED_BY(mutex_) = 0;
    std::vector<std::vector<unsigned char>> spare_ ZORVA_GUARDED_BY(mutex_);
    std::uint64_t nextNumber_ ZORVA_GUARDED_BY(mutex_) = 0;
    /// Records lost since the last chunk that went to the queue: the next
    /// chunk starts with a Dropped record for them.
    std::uint64_t pendingLostFirst_ ZORVA_GUARDED_BY(mutex_) = 0;
    std::uint64_t pendingLostRecords_ ZORVA_GUARDED_BY(mutex_) = 0;
    std::uint64_t pendingLostBytes_ ZORVA_GUARDED_BY(mutex_) = 0;
    WriterCounters counters_ ZORVA_GUARDED_BY(mutex_);

    /// Set by Open before the thread starts; used by the writer thread, or
    /// by Close and Pause once it has ended; reset by Close.
    std::unique_ptr<Sink> sink_;
    /// Whoever writes (the writer thread, or Close after it): compression
    /// state and its output buffer.
    Deflater deflater_;
    std::vector<unsigned char> packed_;
    std::thread thread_ ZORVA_GUARDED_BY(mutex_);
    /// Steady-clock origin in nanoseconds; atomic so Now needs no lock.
    std::atomic<std::int64_t> originNs_{0};
};

} // namespace zorvatrace
