#include "trace/format/TraceWriter.h"

#include "trace/format/Bytes.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace zorvatrace {

namespace {

class FileSink : public Sink
{
public:
    FileSink(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}
    ~FileSink() override
    {
        if (file_)
            std::fclose(file_);
    }

    bool Write(const unsigned char* data, std::size_t size) override
    {
        if (std::fwrite(data, 1, size, file_) != size)
            return Failed("cannot write");
        return true;
    }
    bool Flush() override { return std::fflush(file_) == 0 || Failed("cannot write"); }
    std::string Error() const override { return error_; }

private:
    bool Failed(const char* what)
    {
        error_ = std::string(what) + " \"" + path_ + "\": " + std::strerror(errno);
        return false;
    }

    std::FILE* file_;
    std::string path_;
    std::string error_;
};

std::int64_t SteadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

std::unique_ptr<Sink> OpenFileSink(const std::string& path, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot create \"" + path + "\": " + std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<Sink>(new FileSink(file, path));
}

TraceWriter::~TraceWriter() { Close(); }

bool TraceWriter::Open(std::unique_ptr<Sink> sink, const Header& header, const WriterOptions& options,
                       std::string& error)
{
    {
        WriterLock lock(mutex_);
        if (open_) {
            error = "a trace is already being written";
            return false;
        }
    }
    if (!sink) {
        error = "no file to write the trace to";
        return false;
    }
    const std::vector<unsigned char> head = EncodeHeader(header);
    if (!sink->Write(head.data(), head.size()) || !sink->Flush()) {
        error = sink->Error();
        return false;
    }
    sink_ = std::move(sink);
    originNs_.store(SteadyNs());
    {
        WriterLock lock(mutex_);
        open_ = true;
        closing_ = false;
        options_ = options;
        if (options_.chunkBytes == 0)
            options_.chunkBytes = 1;
        current_ = Chunk();
        current_.records.reserve(options_.chunkBytes + 16 * 1024);
        currentStarted_ = std::chrono::steady_clock::now();
        queue_.clear();
        queuedBytes_ = 0;
        nextNumber_ = 0;
        pendingLostRecords_ = pendingLostBytes_ = pendingLostFirst_ = 0;
        counters_ = WriterCounters();
        counters_.fileBytes = head.size();
        StartLocked();
    }
    return true;
}

void TraceWriter::StartLocked()
{
    stopping_ = false;
    thread_ = std::thread(&TraceWriter::Run, this);
}

bool TraceWriter::IsOpen() const
{
    WriterLock lock(mutex_);
    return open_;
}

std::uint64_t TraceWriter::Now() const
{
    const std::int64_t elapsed = SteadyNs() - originNs_.load();
    return elapsed > 0 ? static_cast<std::uint64_t>(elapsed) / 1000u : 0;
}

void TraceWriter::Append(Record& record)
{
    WriterLock lock(mutex_);
    if (!open_ || closing_)
        return;
    AppendLocked(record);
    // After a pause (the library shut down) the next record brings the thread back.
    if (!thread_.joinable())
        StartLocked();
}

void TraceWriter::Pause()
{
    std::thread writer;
    {
        WriterLock lock(mutex_);
        if (!open_ || closing_ || !thread_.joinable())
            return;
        SealLocked(true);
        stopping_ = true;
        wake_.notify_one();
        writer = std::move(thread_);
    }
    writer.join(); // each chunk was flushed as it was written
}

void TraceWriter::AppendLocked(Record& record)
{
    if (current_.records.empty()) {
        current_.first = nextNumber_;
        currentStarted_ = std::chrono::steady_clock::now();
        if (pendingLostRecords_ > 0) {
            Record dropped;
            dropped.type = RecordType::Dropped;
            dropped.timeUs = record.timeUs;
            dropped.firstLost = pendingLostFirst_;
            dropped.lostRecords = pendingLostRecords_;
            dropped.lostBytes = pendingLostBytes_;
            // The loss stays pending until this chunk reaches the queue: if
            // it is dropped too, the next one reports both.
            dropped.number = nextNumber_++;
            ++counters_.records;
            EncodeRecord(dropped, current_.records);
            ++current_.count;
        }
    }
    record.number = nextNumber_++;
    ++counters_.records;
    if (record.type == RecordType::Message)
        ++counters_.messages;
    EncodeRecord(record, current_.records);
    ++current_.count;
    if (current_.records.size() >= options_.chunkBytes)
        SealLocked(false);
}

void TraceWriter::Seal()
{
    WriterLock lock(mutex_);
    if (open_ && !closing_)
        SealLocked(false);
}

void TraceWriter::SealLocked(bool force)
{
    if (current_.records.empty())
        return;
    const std::size_t size = current_.records.size();
    if (!force && queuedBytes_ + size > options_.queueBytes) {
        // The disk is behind: this chunk goes, counted, and the next chunk
        // says so in its first record.
        if (pendingLostRecords_ == 0)
            pendingLostFirst_ = current_.first;
        pendingLostRecords_ += current_.count;
        pendingLostBytes_ += size;
        counters_.droppedRecords += current_.count;
        counters_.droppedBytes += size;
        current_.records.clear();
        current_.count = 0;
        return;
    }
    pendingLostRecords_ = pendingLostBytes_ = 0;
    queuedBytes_ += size;
    queue_.push_back(std::move(current_));
    current_ = Chunk();
    if (!spare_.empty()) {
        current_.records = std::move(spare_.back());
        spare_.pop_back();
        current_.records.clear();
    } else {
        current_.records.reserve(options_.chunkBytes + 16 * 1024);
    }
    wake_.notify_one();
}

WriterCounters TraceWriter::Close()
{
    std::thread writer;
    {
        WriterLock lock(mutex_);
        if (!open_ || closing_)
            return counters_;
        Record end;
        end.type = RecordType::End;
        end.timeUs = Now();
        // The end record counts itself out: it holds the totals before it,
        // a pending Dropped record (added in front of it) included.
        const std::uint64_t droppedBefore = counters_.droppedRecords;
        const std::uint64_t droppedBytesBefore = counters_.droppedBytes;
        if (current_.records.empty() && pendingLostRecords_ > 0) {
            end.totalRecords = nextNumber_ + 1;
        } else {
            end.totalRecords = nextNumber_;
        }
        end.totalDroppedRecords = droppedBefore;
        end.totalDroppedBytes = droppedBytesBefore;
        end.totalMessages = counters_.messages;
        AppendLocked(end);
        SealLocked(true);
        closing_ = true;
        wake_.notify_one();
        writer = std::move(thread_);
    }
    if (writer.joinable())
        writer.join();
    // Paused, or the writer thread is gone: what is left is written here.
    while (WriteNext(false)) {
    }
    if (sink_)
        sink_->Flush();
    sink_.reset();
    WriterLock lock(mutex_);
    open_ = false;
    closing_ = false;
    spare_.clear();
    return counters_;
}

WriterCounters TraceWriter::Counters() const
{
    WriterLock lock(mutex_);
    return counters_;
}

void TraceWriter::Run()
{
    while (WriteNext(true)) {
    }
}

bool TraceWriter::WriteNext(bool wait)
{
    Chunk chunk;
    {
        WriterUniqueLock lock(mutex_);
        // Real time: the writer must not follow a test's virtual Sleep.
        if (wait)
            wake_.wait_for(lock, options_.sealAfter,
                           [this]() ZORVA_REQUIRES(mutex_) { return !queue_.empty() || closing_ || stopping_; });
        if (queue_.empty() && !current_.records.empty() &&
            std::chrono::steady_clock::now() - currentStarted_ >= options_.sealAfter)
            SealLocked(false);
        if (queue_.empty())
            return !closing_ && !stopping_;
        chunk = std::move(queue_.front());
        queue_.pop_front();
        queuedBytes_ -= chunk.records.size();
        if (counters_.failed)
            return true; // the file is broken: what is left goes unwritten
    }
    WriterCounters written;
    const bool ok = WriteChunk(chunk, written);
    WriterLock lock(mutex_);
    if (!ok) {
        counters_.failed = true;
        counters_.error = sink_ ? sink_->Error() : std::string("no file");
    } else {
        counters_.chunksWritten += written.chunksWritten;
        counters_.recordBytes += written.recordBytes;
        counters_.fileBytes += written.fileBytes;
    }
    if (spare_.size() < 4) {
        chunk.records.clear();
        spare_.push_back(std::move(chunk.records));
    }
    return true;
}

bool TraceWriter::WriteChunk(const Chunk& chunk, WriterCounters& written)
{
    const std::vector<unsigned char>& raw = chunk.records;
    ChunkEncoding encoding = ChunkEncoding::Stored;
    bool compress = false;
    {
        WriterLock lock(mutex_);
        compress = options_.compress;
    }
    std::size_t packedSize = 0;
    if (compress && deflater_.Compress(raw, packed_, packedSize) && packedSize < raw.size())
        encoding = ChunkEncoding::Zlib;
    const unsigned char* payload = encoding == ChunkEncoding::Zlib ? packed_.data() : raw.data();
    const std::size_t payloadSize = encoding == ChunkEncoding::Zlib ? packedSize : raw.size();

    std::vector<unsigned char> head;
    PutU32(head, kChunkTag);
    PutU8(head, static_cast<std::uint8_t>(encoding));
    PutU8(head, 0);
    PutU8(head, 0);
    PutU8(head, 0);
    PutU32(head, static_cast<std::uint32_t>(payloadSize));
    PutU32(head, static_cast<std::uint32_t>(raw.size()));
    PutU64(head, chunk.first);
    PutU32(head, chunk.count);
    PutU32(head, Crc32(payload, payloadSize));
    PutU32(head, Crc32(head.data(), head.size()));

    if (!sink_->Write(head.data(), head.size()) || !sink_->Write(payload, payloadSize) || !sink_->Flush())
        return false;
    ++written.chunksWritten;
    written.recordBytes += raw.size();
    written.fileBytes += head.size() + payloadSize;
    return true;
}

// One zlib stream for the writer's life, reset per chunk: deflateInit's
// quarter megabyte of state is allocated once, not once a chunk.
TraceWriter::Deflater::~Deflater()
{
    if (ready_)
        deflateEnd(&stream_);
}

bool TraceWriter::Deflater::Compress(const std::vector<unsigned char>& raw, std::vector<unsigned char>& out,
                                     std::size_t& size)
{
    if (!ready_) {
        stream_ = z_stream();
        if (deflateInit(&stream_, 1) != Z_OK)
            return false;
        ready_ = true;
    } else if (deflateReset(&stream_) != Z_OK) {
        return false;
    }
    const uLong bound = deflateBound(&stream_, static_cast<uLong>(raw.size()));
    if (out.size() < bound)
        out.resize(bound);
    stream_.next_in = const_cast<Bytef*>(raw.data());
    stream_.avail_in = static_cast<uInt>(raw.size());
    stream_.next_out = out.data();
    stream_.avail_out = static_cast<uInt>(out.size());
    if (deflate(&stream_, Z_FINISH) != Z_STREAM_END)
        return false;
    size = static_cast<std::size_t>(stream_.total_out);
    return true;
}

} // namespace zorvatrace
