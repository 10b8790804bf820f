#include "trace/format/TraceFormat.h"

#include "trace/format/Bytes.h"

#include <zlib.h>

#include <cstdio>
#include <sstream>

namespace zorvatrace {

namespace {

const FunctionInfo kFunctions[kFunctionCount] = {
    {"fmDLLInit", ArgumentKind::None, OutKind::None},
    {"fmDLLIsDeviceInitComplete", ArgumentKind::None, OutKind::None},
    {"fmDLLSetupCheck", ArgumentKind::None, OutKind::None},
    {"fmDLLSetUSBPacketSize", ArgumentKind::Int, OutKind::None},
    {"fmBroadcastRunMode", ArgumentKind::Int, OutKind::None},
    {"fmDLLSetDataFormat", ArgumentKind::Int, OutKind::None},
    {"fmDLLPostDataReadyMessages", ArgumentKind::Int, OutKind::None},
    {"fmDLLPostUserThreadMessages", ArgumentKind::ThreadId, OutKind::None},
    {"fmBroadcastResetSoftware", ArgumentKind::None, OutKind::None},
    {"fmDLLShutDown", ArgumentKind::None, OutKind::None},
    {"fmBroadcastStart", ArgumentKind::None, OutKind::None},
    {"fmBroadcastStop", ArgumentKind::None, OutKind::None},
    {"fmBroadcastZero", ArgumentKind::None, OutKind::None},
    {"fmBroadcastAcquisitionRate", ArgumentKind::Int, OutKind::None},
    {"fmBroadcastGenlock", ArgumentKind::Int, OutKind::None},
    {"fmDLLGetDeviceCount", ArgumentKind::None, OutKind::None},
    {"fmDLLSelectDeviceIndex", ArgumentKind::Int, OutKind::None},
    {"fmGetProductType", ArgumentKind::None, OutKind::None},
    {"fmGetAmplifierModelNumber", ArgumentKind::None, OutKind::Text},
    {"fmGetAmplifierSerialNumber", ArgumentKind::None, OutKind::Text},
    {"fmGetAmplifierFirmwareVersion", ArgumentKind::None, OutKind::Text},
    {"fmGetPlatformModelNumber", ArgumentKind::None, OutKind::Text},
    {"fmGetPlatformSerialNumber", ArgumentKind::None, OutKind::Text},
    {"fmGetPlatformXYZOffsets", ArgumentKind::None, OutKind::Offsets},
    {"fmGetPlatformLengthAndWidth", ArgumentKind::None, OutKind::TwoTexts},
    {"fmSetBlink", ArgumentKind::None, OutKind::None},
    {"fmBroadcastCheckCelvo", ArgumentKind::None, OutKind::CelvoSlots},
    {"fmCelvoDownloadCalFile", ArgumentKind::Int, OutKind::None},
    {"fmIsCelvoDownloadComplete", ArgumentKind::None, OutKind::None},
    {"fmDLLTransferFloatData", ArgumentKind::None, OutKind::Block},
};

const FunctionInfo kUnknownFunction = {nullptr, ArgumentKind::None, OutKind::None};

void PutText(std::vector<unsigned char>& out, const OutText& text)
{
    PutU16(out, static_cast<std::uint16_t>(text.bytes.size()));
    out.insert(out.end(), text.bytes.begin(), text.bytes.end());
    PutU8(out, text.terminated ? 1 : 0);
}

void PutTextField(std::vector<unsigned char>& out, HeaderTag tag, const std::string& text)
{
    const std::size_t n = text.size() < 0xffff ? text.size() : 0xffff;
    PutU16(out, static_cast<std::uint16_t>(tag));
    PutU16(out, static_cast<std::uint16_t>(n));
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
}

std::string Printable(const std::string& bytes)
{
    std::string shown;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
            shown += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            shown += escaped;
        }
    }
    return shown;
}

} // namespace

const FunctionInfo& Info(Function function)
{
    const auto index = static_cast<std::size_t>(function);
    return index < kFunctionCount ? kFunctions[index] : kUnknownFunction;
}

bool IsFunction(std::uint8_t value) { return value < kFunctionCount; }

Record CallRecord(Function function)
{
    Record record;
    record.type = RecordType::Call;
    record.function = function;
    return record;
}

std::string DescribeCall(Function function, std::int32_t argument)
{
    const FunctionInfo& info = Info(function);
    std::ostringstream line;
    line << (info.name ? info.name : "fm?") << '(';
    if (info.argument == ArgumentKind::Int)
        line << argument;
    else if (info.argument == ArgumentKind::ThreadId)
        line << "thread " << static_cast<std::uint32_t>(argument);
    line << ')';
    return line.str();
}

std::string Describe(const Record& record)
{
    std::ostringstream line;
    switch (record.type) {
    case RecordType::Call: {
        line << DescribeCall(record.function, record.argument);
        if (record.flags & kCallMissing) {
            line << " not in the library";
            break;
        }
        line << " -> " << record.result;
        if (record.flags & kCallPointerNull) {
            line << " (null pointer)";
            break;
        }
        switch (Info(record.function).out) {
        case OutKind::Text: line << " \"" << Printable(record.texts[0].bytes) << '"'; break;
        case OutKind::TwoTexts:
            line << " \"" << Printable(record.texts[0].bytes) << "\", \"" << Printable(record.texts[1].bytes) << '"';
            break;
        case OutKind::Offsets:
            line << " (" << record.offsets[0] << ", " << record.offsets[1] << ", " << record.offsets[2] << ')';
            break;
        case OutKind::CelvoSlots: {
            const std::int32_t shown = record.result < 0 ? 0 : record.result < 16 ? record.result : 16;
            line << " [";
            for (std::int32_t i = 0; i < shown; ++i)
                line << (i ? " " : "") << record.slots[static_cast<std::size_t>(i)];
            line << ']';
            break;
        }
        case OutKind::Block:
            if (record.flags & kCallHasBlock)
                line << " block of " << record.units << (record.units == 1 ? " unit" : " units");
            else
                line << " no block";
            break;
        case OutKind::None: break;
        }
        break;
    }
    case RecordType::Message:
        line << "message " << record.message << " (" << record.wParam << ", " << record.lParam << ") "
             << (record.delivery == Delivery::Posted   ? "passed on"
                 : record.delivery == Delivery::Failed ? "not passed on: the thread refused it"
                                                       : "not passed on: no thread registered");
        break;
    case RecordType::Note: line << "note: " << record.text; break;
    case RecordType::Dropped:
        line << "dropped " << record.lostRecords << " records (" << record.lostBytes << " bytes) from record "
             << record.firstLost;
        break;
    case RecordType::End:
        line << "end: " << record.totalRecords << " records, " << record.totalDroppedRecords << " dropped, "
             << record.totalMessages << " messages";
        break;
    case RecordType::Relay:
        line << "relay: thread " << record.relayThread << " for thread " << record.callerThread
             << (record.relayStarted ? "" : " (not started: messages go straight to the caller's thread)");
        break;
    }
    return line.str();
}

std::uint32_t Crc32(const void* data, std::size_t size, std::uint32_t crc)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const uInt n = size > 0x40000000u ? 0x40000000u : static_cast<uInt>(size);
        crc = static_cast<std::uint32_t>(crc32(crc, bytes, n));
        bytes += n;
        size -= n;
    }
    return crc;
}

std::vector<unsigned char> EncodeHeader(const Header& header)
{
    std::vector<unsigned char> fields;
    PutU16(fields, static_cast<std::uint16_t>(HeaderTag::Created));
    PutU16(fields, 8);
    PutU64(fields, static_cast<std::uint64_t>(header.createdUs));
    PutTextField(fields, HeaderTag::System, header.system);
    PutTextField(fields, HeaderTag::LibraryName, header.libraryName);
    PutU16(fields, static_cast<std::uint16_t>(HeaderTag::LibrarySize));
    PutU16(fields, 8);
    PutU64(fields, header.librarySize);
    PutTextField(fields, HeaderTag::LibraryPath, header.libraryPath);
    PutTextField(fields, HeaderTag::Recorder, header.recorder);
    PutTextField(fields, HeaderTag::Program, header.program);

    std::vector<unsigned char> out(kMagic.begin(), kMagic.end());
    PutU16(out, header.version);
    PutU16(out, 0);
    PutU32(out, static_cast<std::uint32_t>(fields.size()));
    out.insert(out.end(), fields.begin(), fields.end());
    PutU32(out, Crc32(out.data(), out.size()));
    return out;
}

void EncodeRecord(const Record& record, std::vector<unsigned char>& out)
{
    const std::size_t start = out.size();
    PutU8(out, static_cast<std::uint8_t>(record.type));
    PutU32(out, 0); // body length, filled in below
    PutU64(out, record.timeUs);
    switch (record.type) {
    case RecordType::Call: {
        PutU32(out, record.durationUs);
        PutU32(out, record.thread);
        PutU8(out, static_cast<std::uint8_t>(record.function));
        PutU8(out, record.flags);
        PutI32(out, record.result);
        PutI32(out, record.argument);
        if (record.flags & (kCallPointerNull | kCallMissing))
            break;
        switch (Info(record.function).out) {
        case OutKind::Text: PutText(out, record.texts[0]); break;
        case OutKind::TwoTexts:
            PutText(out, record.texts[0]);
            PutText(out, record.texts[1]);
            break;
        case OutKind::Offsets:
            for (float f : record.offsets)
                PutF32(out, f);
            break;
        case OutKind::CelvoSlots:
            for (std::int32_t slot : record.slots)
                PutI32(out, slot);
            break;
        case OutKind::Block:
            if (record.flags & kCallHasBlock) {
                const std::size_t count = static_cast<std::size_t>(record.units) * kFloatsPerUnitBlock;
                PutU32(out, record.units);
                if (record.blockData)
                    PutFloats(out, record.blockData, count);
                else if (record.block.size() == count)
                    PutFloats(out, record.block.data(), count);
                else
                    out.resize(out.size() + count * 4, 0); // a record made by hand without its values
            }
            break;
        case OutKind::None: break;
        }
        break;
    }
    case RecordType::Message:
        PutU32(out, record.message);
        PutU64(out, record.wParam);
        PutU64(out, static_cast<std::uint64_t>(record.lParam));
        PutU32(out, record.target);
        PutU8(out, static_cast<std::uint8_t>(record.delivery));
        break;
    case RecordType::Note: {
        const std::size_t n = record.text.size() < 0xffff ? record.text.size() : 0xffff;
        PutU16(out, static_cast<std::uint16_t>(n));
        out.insert(out.end(), record.text.begin(), record.text.begin() + static_cast<std::ptrdiff_t>(n));
        break;
    }
    case RecordType::Dropped:
        PutU64(out, record.firstLost);
        PutU64(out, record.lostRecords);
        PutU64(out, record.lostBytes);
        break;
    case RecordType::End:
        PutU64(out, record.totalRecords);
        PutU64(out, record.totalDroppedRecords);
        PutU64(out, record.totalDroppedBytes);
        PutU64(out, record.totalMessages);
        break;
    case RecordType::Relay:
        PutU32(out, record.callerThread);
        PutU32(out, record.relayThread);
        PutU8(out, record.relayStarted ? 1 : 0);
        break;
    }
    SetU32(out, start + 1, static_cast<std::uint32_t>(out.size() - start - 5));
}

} // namespace zorvatrace
