#include "TraceTestSupport.h"

#include "trace/format/Bytes.h"

#include <chrono>
#include <filesystem>
#include <random>
#include <sstream>

namespace tracetest {

using namespace zorvatrace;

bool MemorySink::Write(const unsigned char* data, std::size_t size)
{
    std::unique_lock<std::mutex> lock(shared_.mutex);
    shared_.changed.wait(lock, [this] { return !shared_.held; });
    if (shared_.failing)
        return false;
    shared_.bytes.append(reinterpret_cast<const char*>(data), size);
    ++shared_.writes;
    shared_.changed.notify_all();
    return true;
}

Header SampleHeader()
{
    Header header;
    header.createdUs = 1765400000123456;
    header.system = "Linux 6.1 x86_64";
    header.libraryName = "libZORVAUSBDevice.so";
    header.librarySize = 123456;
    header.libraryPath = "/lab/bin/libZORVAUSBDevice.so";
    header.recorder = "test";
    header.program = "/lab/bin/host";
    return header;
}

Record BlockRecord(std::uint32_t units, float start)
{
    Record record = CallRecord(Function::DLLTransferFloatData);
    record.result = 1;
    record.flags = kCallHasBlock;
    record.units = units;
    record.block.resize(units * kFloatsPerUnitBlock);
    for (std::size_t i = 0; i < record.block.size(); ++i)
        record.block[i] = start + static_cast<float>(i);
    return record;
}

std::vector<Record> SampleRecords()
{
    std::vector<Record> records;
    for (std::size_t i = 0; i < kFunctionCount; ++i) {
        Record call = CallRecord(static_cast<Function>(i));
        call.timeUs = 1000 * i;
        call.durationUs = static_cast<std::uint32_t>(3 * i);
        call.thread = 4004;
        call.result = static_cast<std::int32_t>(i) - 3;
        if (Info(call.function).argument != ArgumentKind::None)
            call.argument = static_cast<std::int32_t>(100 + i);
        switch (Info(call.function).out) {
        case OutKind::Text: call.texts[0].bytes = "ZA100-" + std::to_string(i) + std::string("\x92\x01", 2); break;
        case OutKind::TwoTexts:
            call.texts[0].bytes = "23.622";
            // A library that filled the buffer without a NUL.
            call.texts[1].bytes = std::string(kSizeTextSize, '9');
            call.texts[1].terminated = false;
            break;
        case OutKind::Offsets: call.offsets = {0.12f, -0.08f, -1.61f}; break;
        case OutKind::CelvoSlots:
            for (std::size_t s = 0; s < kCelvoSlots; ++s)
                call.slots[s] = static_cast<std::int32_t>(s * s) - 7;
            break;
        case OutKind::Block: call = BlockRecord(3, -5.5f); break;
        case OutKind::None: break;
        }
        records.push_back(call);
    }
    // A text left unterminated at full size, a null pointer, a missing function.
    Record full = CallRecord(Function::GetPlatformSerialNumber);
    full.texts[0].bytes = std::string(kTextSize, 'x');
    full.texts[0].terminated = false;
    records.push_back(full);
    Record null = CallRecord(Function::GetPlatformXYZOffsets);
    null.flags = kCallPointerNull;
    records.push_back(null);
    Record missing = CallRecord(Function::SetBlink);
    missing.flags = kCallMissing;
    records.push_back(missing);
    Record none = CallRecord(Function::DLLTransferFloatData);
    records.push_back(none);

    Record relay;
    relay.type = RecordType::Relay;
    relay.callerThread = 4004;
    relay.relayThread = 4008;
    relay.relayStarted = true;
    records.push_back(relay);
    Record message;
    message.type = RecordType::Message;
    message.message = 1133;
    message.wParam = 0xfedcba9876543210ull;
    message.lParam = -2;
    message.target = 4004;
    message.delivery = Delivery::Failed;
    records.push_back(message);
    Record note;
    note.type = RecordType::Note;
    note.text = "forwarding to \"x\"";
    records.push_back(note);
    return records;
}

std::string WriteTrace(const std::vector<Record>& records, const WriterOptions& options)
{
    MemorySink::Shared shared;
    TraceWriter writer;
    std::string error;
    if (!writer.Open(std::unique_ptr<Sink>(new MemorySink(shared)), SampleHeader(), options, error))
        return std::string();
    for (Record record : records)
        writer.Append(record);
    writer.Close();
    std::lock_guard<std::mutex> lock(shared.mutex);
    return shared.bytes;
}

Bytes Encode(const std::vector<Record>& records)
{
    Bytes out;
    for (const Record& record : records)
        EncodeRecord(record, out);
    return out;
}

Bytes Chunk(std::uint64_t first, std::uint32_t count, const Bytes& records)
{
    Bytes head;
    PutU32(head, kChunkTag);
    PutU32(head, 0); // stored, reserved bytes zero
    PutU32(head, static_cast<std::uint32_t>(records.size()));
    PutU32(head, static_cast<std::uint32_t>(records.size()));
    PutU64(head, first);
    PutU32(head, count);
    PutU32(head, Crc32(records.data(), records.size()));
    PutU32(head, Crc32(head.data(), head.size()));
    head.insert(head.end(), records.begin(), records.end());
    return head;
}

Record EndRecord(std::uint64_t records)
{
    Record end;
    end.type = RecordType::End;
    end.totalRecords = records;
    return end;
}

std::string ToString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string TemporaryFile(const std::string& name)
{
    static std::mt19937_64 random(
        std::random_device{}() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    return (folder / ("zorvatrace-" + std::to_string(random()) + "-" + name)).string();
}

std::string Fingerprint(const Record& r)
{
    std::ostringstream s;
    s << static_cast<int>(r.type) << '#' << r.number << '@' << r.timeUs << ' ' << Describe(r) << " d" << r.durationUs
      << " t" << r.thread << " f" << static_cast<int>(r.flags) << " '" << r.texts[0].bytes << "'"
      << r.texts[0].terminated << " '" << r.texts[1].bytes << "'" << r.texts[1].terminated << " w" << r.wParam << " l"
      << r.lParam << " g" << r.target << " lost" << r.firstLost << '/' << r.lostRecords << '/' << r.lostBytes << " end"
      << r.totalRecords << '/' << r.totalDroppedRecords << '/' << r.totalMessages;
    for (std::int32_t slot : r.slots)
        s << ',' << slot;
    for (float f : r.offsets)
        s << ',' << f;
    s << " u" << r.units << ':' << r.block.size();
    for (float f : r.block)
        s << ',' << f;
    return s.str();
}

} // namespace tracetest
