#include "trace/format/TraceReader.h"

#include "trace/format/Bytes.h"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <utility>

namespace zorvatrace {

namespace {

/// Stored bytes a chunk may have beyond its decoded size (zlib's worst case).
constexpr std::uint32_t kMaxStoredOverhead = 1024 * 1024;

bool ReadText(ByteCursor& in, std::size_t bufferSize, OutText& text)
{
    std::uint16_t n = 0;
    std::uint8_t terminated = 0;
    if (!in.GetU16(n) || !in.GetBytes(n, text.bytes) || !in.GetU8(terminated) || terminated > 1)
        return false;
    text.terminated = terminated == 1;
    // A terminated text left room for its NUL; an unterminated one filled the buffer.
    return text.terminated ? n < bufferSize : n == bufferSize;
}

} // namespace

TraceReader::TraceReader() = default;
TraceReader::~TraceReader() = default;

bool TraceReader::Open(const std::string& path)
{
    auto file = std::make_unique<std::ifstream>(path, std::ios::binary);
    if (!*file)
        return Fail(ReadError::Io, "cannot open \"" + path + "\"");
    in_ = std::move(file);
    return ReadHeader();
}

bool TraceReader::OpenBytes(const std::string& bytes)
{
    in_ = std::make_unique<std::istringstream>(bytes, std::ios::binary);
    return ReadHeader();
}

bool TraceReader::Fail(ReadError kind, const std::string& message)
{
    if (errorKind_ == ReadError::None) {
        errorKind_ = kind;
        error_ = message;
    }
    return false;
}

bool TraceReader::Corrupt(const std::string& what)
{
    std::ostringstream message;
    message << "corrupt at offset " << chunkOffset_ << " (chunk " << chunkIndex_ << ", record " << expectedNumber_
            << "): " << what;
    return Fail(ReadError::Corrupt, message.str());
}

bool TraceReader::ReadExactly(unsigned char* data, std::size_t size, std::size_t& got)
{
    in_->read(reinterpret_cast<char*>(data), static_cast<std::streamsize>(size));
    got = static_cast<std::size_t>(in_->gcount());
    offset_ += got;
    if (in_->bad())
        return Fail(ReadError::Io, "read error at offset " + std::to_string(offset_));
    return true;
}

bool TraceReader::ReadHeader()
{
    unsigned char fixed[kFileHeaderFixedSize];
    std::size_t got = 0;
    if (!ReadExactly(fixed, sizeof fixed, got))
        return false;
    if (got < kMagic.size() || !std::equal(kMagic.begin(), kMagic.end(), fixed))
        return Fail(ReadError::NotATrace, "not a trace: it does not begin with the trace magic");
    if (got < sizeof fixed)
        return Fail(ReadError::Truncated, "truncated at offset " + std::to_string(got) + ": file header cut short");
    const std::uint16_t version = static_cast<std::uint16_t>(fixed[8] | fixed[9] << 8);
    if (version > kFormatVersion)
        return Fail(ReadError::NewerVersion, "trace format version " + std::to_string(version) +
                                                 " is newer than this reader's (" + std::to_string(kFormatVersion) +
                                                 "): use a newer build");
    if (version == 0)
        return Fail(ReadError::Corrupt, "corrupt at offset 8: format version 0");
    const std::uint32_t fieldsSize = LoadU32(fixed + 12);
    if (fieldsSize > kMaxHeaderFieldsSize)
        return Fail(ReadError::Corrupt, "corrupt at offset 12: header fields of " + std::to_string(fieldsSize) +
                                            " bytes (at most " + std::to_string(kMaxHeaderFieldsSize) + ")");
    std::vector<unsigned char> rest(fieldsSize + 4u);
    if (!ReadExactly(rest.data(), rest.size(), got))
        return false;
    if (got < rest.size())
        return Fail(ReadError::Truncated, "truncated at offset " + std::to_string(offset_) + ": file header cut short");
    std::uint32_t crc = Crc32(fixed, sizeof fixed);
    crc = Crc32(rest.data(), fieldsSize, crc);
    if (crc != LoadU32(rest.data() + fieldsSize))
        return Fail(ReadError::Corrupt, "corrupt at offset 0: file header CRC mismatch");

    header_ = Header();
    header_.version = version;
    ByteCursor fields(rest.data(), fieldsSize);
    while (fields.Left() > 0) {
        const std::size_t at = kFileHeaderFixedSize + fields.Position();
        std::uint16_t tag = 0;
        std::uint16_t length = 0;
        std::string value;
        if (!fields.GetU16(tag) || !fields.GetU16(length) || !fields.GetBytes(length, value))
            return Fail(ReadError::Corrupt, "corrupt at offset " + std::to_string(at) + ": header field cut short");
        const auto number = [&](std::uint64_t& out) {
            if (value.size() != 8)
                return false;
            out = LoadU64(reinterpret_cast<const unsigned char*>(value.data()));
            return true;
        };
        std::uint64_t n = 0;
        switch (static_cast<HeaderTag>(tag)) {
        case HeaderTag::Created:
            if (!number(n))
                return Fail(ReadError::Corrupt, "corrupt at offset " + std::to_string(at) + ": creation time");
            header_.createdUs = static_cast<std::int64_t>(n);
            break;
        case HeaderTag::LibrarySize:
            if (!number(header_.librarySize))
                return Fail(ReadError::Corrupt, "corrupt at offset " + std::to_string(at) + ": library size");
            break;
        case HeaderTag::System: header_.system = value; break;
        case HeaderTag::LibraryName: header_.libraryName = value; break;
        case HeaderTag::LibraryPath: header_.libraryPath = value; break;
        case HeaderTag::Recorder: header_.recorder = value; break;
        case HeaderTag::Program: header_.program = value; break;
        default: break; // a later field: skipped
        }
    }
    return true;
}

ReadStatus TraceReader::Next(Record& record)
{
    if (errorKind_ != ReadError::None)
        return ReadStatus::Error;
    while (chunkLeft_ == 0) {
        if (!LoadChunk())
            return errorKind_ != ReadError::None ? ReadStatus::Error : ReadStatus::End;
    }
    if (!ParseRecord(record))
        return ReadStatus::Error;
    return ReadStatus::Record;
}

bool TraceReader::LoadChunk()
{
    chunkOffset_ = offset_;
    unsigned char head[kChunkHeaderSize];
    std::size_t got = 0;
    if (!ReadExactly(head, sizeof head, got))
        return false;
    if (got == 0) {
        if (complete_)
            return false;
        return Fail(ReadError::Truncated, "truncated at offset " + std::to_string(offset_) + ": ends after " +
                                              std::to_string(expectedNumber_) + " records without its end record");
    }
    if (complete_)
        return Corrupt("data after the end record");
    if (got < sizeof head)
        return Fail(ReadError::Truncated, "truncated at offset " + std::to_string(chunkOffset_) + " (chunk " +
                                              std::to_string(chunkIndex_) + "): chunk header cut short (" +
                                              std::to_string(got) + " of " + std::to_string(sizeof head) + " bytes)");
    if (LoadU32(head) != kChunkTag)
        return Corrupt("no chunk begins here");
    if (Crc32(head, 32) != LoadU32(head + 32))
        return Corrupt("chunk header CRC mismatch");
    const std::uint8_t encoding = head[4];
    const std::uint32_t stored = LoadU32(head + 8);
    const std::uint32_t raw = LoadU32(head + 12);
    const std::uint64_t first = LoadU64(head + 16);
    const std::uint32_t count = LoadU32(head + 24);
    const std::uint32_t payloadCrc = LoadU32(head + 28);
    if (encoding != static_cast<std::uint8_t>(ChunkEncoding::Stored) &&
        encoding != static_cast<std::uint8_t>(ChunkEncoding::Zlib))
        return Corrupt("unknown chunk encoding " + std::to_string(encoding));
    if (head[5] != 0 || head[6] != 0 || head[7] != 0)
        return Corrupt("reserved chunk bytes not zero");
    if (raw > kMaxChunkRawSize)
        return Corrupt("chunk of " + std::to_string(raw) + " bytes (at most " + std::to_string(kMaxChunkRawSize) + ")");
    if (encoding == static_cast<std::uint8_t>(ChunkEncoding::Stored) ? stored != raw
                                                                     : stored > raw + kMaxStoredOverhead)
        return Corrupt("stored size " + std::to_string(stored) + " does not fit decoded size " + std::to_string(raw));
    if (count == 0 || count > raw / 13)
        return Corrupt(std::to_string(count) + " records cannot fill " + std::to_string(raw) + " bytes");
    if (first < expectedNumber_)
        return Corrupt("chunk starts at record " + std::to_string(first) + ", before the records already read");

    std::vector<unsigned char>& payload = encoding == static_cast<std::uint8_t>(ChunkEncoding::Zlib) ? packed_ : chunk_;
    payload.resize(stored);
    if (!ReadExactly(payload.data(), stored, got))
        return false;
    if (got < stored)
        return Fail(ReadError::Truncated, "truncated at offset " + std::to_string(chunkOffset_) + " (chunk " +
                                              std::to_string(chunkIndex_) + ", record " +
                                              std::to_string(expectedNumber_) + "): chunk of " +
                                              std::to_string(stored) + " bytes cut short after " + std::to_string(got));
    if (Crc32(payload.data(), payload.size()) != payloadCrc)
        return Corrupt("chunk payload CRC mismatch");
    if (encoding == static_cast<std::uint8_t>(ChunkEncoding::Zlib)) {
        chunk_.resize(raw);
        uLongf size = raw;
        if (uncompress(chunk_.data(), &size, packed_.data(), stored) != Z_OK || size != raw)
            return Corrupt("chunk does not decompress to its " + std::to_string(raw) + " bytes");
    }

    chunkStartsWithGap_ = first > expectedNumber_;
    gapFirst_ = expectedNumber_;
    gapRecords_ = first - expectedNumber_;
    expectedNumber_ = first;
    chunkAt_ = 0;
    chunkLeft_ = count;
    return true;
}

bool TraceReader::ParseRecord(Record& record)
{
    const bool firstOfChunk = chunkAt_ == 0;
    const std::size_t left = chunk_.size() - chunkAt_;
    if (left < 5)
        return Corrupt("record header cut short inside its chunk");
    const std::uint8_t type = chunk_[chunkAt_];
    const std::uint32_t length = LoadU32(chunk_.data() + chunkAt_ + 1);
    if (length > left - 5)
        return Corrupt("record of " + std::to_string(length) + " bytes runs past its chunk");
    ByteCursor in(chunk_.data() + chunkAt_ + 5, length);

    record = Record();
    record.number = expectedNumber_;
    if (!in.GetU64(record.timeUs))
        return Corrupt("record too short");
    bool ok = true;
    switch (static_cast<RecordType>(type)) {
    case RecordType::Call: {
        record.type = RecordType::Call;
        std::uint8_t function = 0;
        ok = in.GetU32(record.durationUs) && in.GetU32(record.thread) && in.GetU8(function) && in.GetU8(record.flags) &&
             in.GetI32(record.result) && in.GetI32(record.argument);
        if (!ok)
            return Corrupt("call record too short");
        if (!IsFunction(function))
            return Corrupt("unknown function number " + std::to_string(function));
        if (record.flags & ~kCallFlagsKnown)
            return Corrupt("unknown call flags");
        record.function = static_cast<Function>(function);
        const OutKind out = Info(record.function).out;
        if ((record.flags & kCallHasBlock) && out != OutKind::Block)
            return Corrupt("a block flag on " + std::string(Info(record.function).name));
        if (record.flags & (kCallPointerNull | kCallMissing))
            break;
        switch (out) {
        case OutKind::Text: ok = ReadText(in, kTextSize, record.texts[0]); break;
        case OutKind::TwoTexts:
            ok = ReadText(in, kSizeTextSize, record.texts[0]) && ReadText(in, kSizeTextSize, record.texts[1]);
            break;
        case OutKind::Offsets:
            for (float& f : record.offsets)
                ok = ok && in.GetF32(f);
            break;
        case OutKind::CelvoSlots:
            for (std::int32_t& slot : record.slots)
                ok = ok && in.GetI32(slot);
            break;
        case OutKind::Block:
            if (record.flags & kCallHasBlock) {
                ok = in.GetU32(record.units) && record.units <= kMaxBlockUnits &&
                     in.GetFloats(static_cast<std::size_t>(record.units) * kFloatsPerUnitBlock, record.block);
            }
            break;
        case OutKind::None: break;
        }
        if (!ok)
            return Corrupt(std::string("out-values of ") + Info(record.function).name + " malformed");
        break;
    }
    case RecordType::Message: {
        record.type = RecordType::Message;
        std::uint8_t delivery = 0;
        ok = in.GetU32(record.message) && in.GetU64(record.wParam) && in.GetI64(record.lParam) &&
             in.GetU32(record.target) && in.GetU8(delivery) && delivery <= 2;
        record.delivery = static_cast<Delivery>(delivery);
        break;
    }
    case RecordType::Note: {
        record.type = RecordType::Note;
        std::uint16_t n = 0;
        ok = in.GetU16(n) && in.GetBytes(n, record.text);
        break;
    }
    case RecordType::Dropped:
        record.type = RecordType::Dropped;
        ok = in.GetU64(record.firstLost) && in.GetU64(record.lostRecords) && in.GetU64(record.lostBytes);
        break;
    case RecordType::End:
        record.type = RecordType::End;
        ok = in.GetU64(record.totalRecords) && in.GetU64(record.totalDroppedRecords) &&
             in.GetU64(record.totalDroppedBytes) && in.GetU64(record.totalMessages);
        break;
    case RecordType::Relay: {
        record.type = RecordType::Relay;
        std::uint8_t started = 0;
        ok = in.GetU32(record.callerThread) && in.GetU32(record.relayThread) && in.GetU8(started) && started <= 1;
        record.relayStarted = started == 1;
        break;
    }
    default: return Corrupt("unknown record type " + std::to_string(type));
    }
    if (!ok)
        return Corrupt(Describe(record).substr(0, 40) + ": record fields malformed");
    if (in.Left() != 0)
        return Corrupt(std::to_string(in.Left()) + " bytes left over in a record");

    if (firstOfChunk && chunkStartsWithGap_) {
        // Numbers jump only after records the recorder had to drop, and the
        // chunk then opens with the record that counts them.
        if (record.type != RecordType::Dropped || record.firstLost != gapFirst_ || record.lostRecords != gapRecords_)
            return Corrupt("records " + std::to_string(gapFirst_) + " to " +
                           std::to_string(gapFirst_ + gapRecords_ - 1) + " are missing");
    }
    if (record.type == RecordType::End) {
        if (chunkLeft_ != 1 || chunkAt_ + 5 + length != chunk_.size())
            return Corrupt("records after the end record");
        if (record.totalRecords != record.number)
            return Corrupt("end record counts " + std::to_string(record.totalRecords) + " records, not " +
                           std::to_string(record.number));
        complete_ = true;
    }
    chunkAt_ += 5 + length;
    --chunkLeft_;
    ++expectedNumber_;
    if (chunkLeft_ == 0 && chunkAt_ != chunk_.size())
        return Corrupt(std::to_string(chunk_.size() - chunkAt_) + " bytes after the chunk's last record");
    if (chunkLeft_ == 0)
        ++chunkIndex_;
    return true;
}

namespace {

/// One pass of `reader`, opened (or not) already, with every record to `each`.
ReadOutcome ReadEach(TraceReader& reader, bool opened, const std::function<void(const Record&)>& each)
{
    ReadOutcome outcome;
    if (opened) {
        outcome.header = reader.GetHeader();
        Record record;
        while (reader.Next(record) == ReadStatus::Record) {
            ++outcome.records;
            each(record);
        }
    }
    outcome.complete = reader.Complete();
    outcome.errorKind = reader.ErrorKind();
    outcome.error = reader.Error();
    return outcome;
}

bool ReadAll(TraceReader& reader, bool opened, TraceContents& out)
{
    out = TraceContents();
    const ReadOutcome outcome =
        ReadEach(reader, opened, [&out](const Record& record) { out.records.push_back(record); });
    out.header = outcome.header;
    out.complete = outcome.complete;
    out.errorKind = outcome.errorKind;
    out.error = outcome.error;
    if (out.errorKind != ReadError::None && out.errorKind != ReadError::Truncated)
        out.records.clear();
    return out.errorKind == ReadError::None;
}

} // namespace

ReadOutcome ReadTraceRecords(const std::string& path, const std::function<void(const Record&)>& each)
{
    TraceReader reader;
    const bool opened = reader.Open(path);
    return ReadEach(reader, opened, each);
}

bool ReadTraceFile(const std::string& path, TraceContents& out)
{
    TraceReader reader;
    const bool opened = reader.Open(path);
    return ReadAll(reader, opened, out);
}

bool ReadTraceBytes(const std::string& bytes, TraceContents& out)
{
    TraceReader reader;
    const bool opened = reader.OpenBytes(bytes);
    return ReadAll(reader, opened, out);
}

bool LooksLikeTrace(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    unsigned char start[kMagic.size()] = {};
    in.read(reinterpret_cast<char*>(start), sizeof start);
    return in.gcount() == static_cast<std::streamsize>(sizeof start) && std::equal(kMagic.begin(), kMagic.end(), start);
}

} // namespace zorvatrace
