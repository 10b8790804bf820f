/// The field trace: what the recording USB library writes and the reader,
/// the simulated library's replay and the tools read. docs/trace-format.md
/// describes the bytes; this header gives them names.
///
/// A trace is a file header followed by chunks. Each chunk carries a run of
/// numbered records, stored plain or zlib-compressed, with a CRC-32 over its
/// own header and one over its payload, so a cut or damaged file is found at
/// the chunk where it breaks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zorvatrace {

/// The first eight bytes of every trace: not text, and changed by any
/// conversion of line ends or of the high bit.
constexpr std::array<unsigned char, 8> kMagic = {0x89, 'Z', 'T', 'R', '\r', '\n', 0x1a, '\n'};
/// The version this build writes; the reader takes this one and older ones.
constexpr std::uint16_t kFormatVersion = 1;

/// Fixed part of the file header: magic, version, flags, length of the fields.
constexpr std::size_t kFileHeaderFixedSize = 16;
/// Most bytes of header fields a reader accepts.
constexpr std::uint32_t kMaxHeaderFieldsSize = 64 * 1024;

/// "ZCHK", little-endian, at the start of every chunk.
constexpr std::uint32_t kChunkTag = 0x4b48435au;
constexpr std::size_t kChunkHeaderSize = 36;
/// Most decoded bytes one chunk may hold; a writer seals chunks far below it.
constexpr std::uint32_t kMaxChunkRawSize = 16u * 1024 * 1024;

/// Text buffers of the library's queries (driver/ZORVAUSBDevice.h).
constexpr std::size_t kTextSize = 1024;
constexpr std::size_t kSizeTextSize = 32;
constexpr std::size_t kCelvoSlots = 16;
constexpr std::size_t kFloatsPerUnitBlock = 16 * 8;
/// Most units a recorded block may hold; a library that reports more has
/// only this many recorded (the record says so).
constexpr std::uint32_t kMaxBlockUnits = 1024;

enum class ChunkEncoding : std::uint8_t
{
    Stored = 0,
    Zlib = 1
};

/// Header field tags (type-length-value); readers skip tags they do not know.
enum class HeaderTag : std::uint16_t
{
    Created = 1,     ///< i64: microseconds since 1970-01-01 UTC
    System = 2,      ///< text: operating system and processor, e.g. "Linux x86_64"
    LibraryName = 3, ///< text: the recorded library's file name
    LibrarySize = 4, ///< u64: its size in bytes
    LibraryPath = 5, ///< text: the path it was loaded from
    Recorder = 6,    ///< text: what wrote the trace
    Program = 7      ///< text: the program that loaded the recorder
};

enum class RecordType : std::uint8_t
{
    Call = 1,    ///< one fm* call with its arguments, result and out-values
    Message = 2, ///< a thread message the library posted, as the relay passed it on
    Note = 3,    ///< a line of the recorder's own (library loaded, a function missing, ...)
    Dropped = 4, ///< records the recorder could not write (disk too slow), counted
    End = 5,     ///< the last record of a complete trace, with the totals
    Relay = 6    ///< the thread that stands between the library and the caller's thread
};

/// The library's 30 functions, numbered as in driver/ZORVAUSBDevice.h. The
/// numbers are part of the format: append, never renumber.
enum class Function : std::uint8_t
{
    DLLInit,
    DLLIsDeviceInitComplete,
    DLLSetupCheck,
    DLLSetUSBPacketSize,
    BroadcastRunMode,
    DLLSetDataFormat,
    DLLPostDataReadyMessages,
    DLLPostUserThreadMessages,
    BroadcastResetSoftware,
    DLLShutDown,
    BroadcastStart,
    BroadcastStop,
    BroadcastZero,
    BroadcastAcquisitionRate,
    BroadcastGenlock,
    DLLGetDeviceCount,
    DLLSelectDeviceIndex,
    GetProductType,
    GetAmplifierModelNumber,
    GetAmplifierSerialNumber,
    GetAmplifierFirmwareVersion,
    GetPlatformModelNumber,
    GetPlatformSerialNumber,
    GetPlatformXYZOffsets,
    GetPlatformLengthAndWidth,
    SetBlink,
    BroadcastCheckCelvo,
    CelvoDownloadCalFile,
    IsCelvoDownloadComplete,
    DLLTransferFloatData
};
constexpr std::size_t kFunctionCount = 30;

/// What a function takes besides its out-buffers.
enum class ArgumentKind : std::uint8_t
{
    None,
    Int,
    ThreadId ///< a thread id: differs from run to run, compared only as zero or not
};

/// What a function writes through its pointer arguments.
enum class OutKind : std::uint8_t
{
    None,
    Text,       ///< one text buffer of kTextSize bytes
    TwoTexts,   ///< two buffers of kSizeTextSize bytes (length, width)
    Offsets,    ///< three floats
    CelvoSlots, ///< kCelvoSlots ints
    Block       ///< a float* stored through a float**: the block it points to
};

struct FunctionInfo
{
    const char* name;
    ArgumentKind argument;
    OutKind out;
};

/// Name and kinds of a function; null name for a number beyond the table.
const FunctionInfo& Info(Function function);
/// True for a byte that names one of the 30 functions.
bool IsFunction(std::uint8_t value);

/// Call-record flags.
constexpr std::uint8_t kCallPointerNull = 0x01; ///< the pointer argument was null: no out-values
constexpr std::uint8_t kCallHasBlock = 0x02;    ///< a block address was stored (transfer)
constexpr std::uint8_t kCallMissing = 0x04;     ///< the library lacks the function: not called, result 0
constexpr std::uint8_t kCallBlockCut = 0x08;    ///< the library reported more units than recorded
constexpr std::uint8_t kCallFlagsKnown = 0x0f;

/// Forwarding outcome of a message record.
enum class Delivery : std::uint8_t
{
    Posted = 0,  ///< passed on to the caller's thread
    Failed = 1,  ///< PostThreadMessageW refused it (the thread has no queue or ended)
    NoThread = 2 ///< no caller's thread was registered
};

/// One text out-value: the bytes before the NUL, or the whole buffer when the
/// library wrote no NUL into it.
struct OutText
{
    std::string bytes;
    bool terminated = true;
};

/// One record, as written and read. Which fields mean something depends on
/// `type` (and for calls on the function's kinds); the others stay default.
struct Record
{
    RecordType type = RecordType::Note;
    /// Position in the trace, from 0; records lost to a slow disk keep their
    /// numbers, so the numbers after a loss jump.
    std::uint64_t number = 0;
    /// Microseconds since the trace began (steady clock); for calls, the start.
    std::uint64_t timeUs = 0;

    // Call
    Function function = Function::DLLInit;
    std::uint32_t durationUs = 0;
    std::uint32_t thread = 0; ///< the calling thread's id
    std::uint8_t flags = 0;
    std::int32_t result = 0;
    std::int32_t argument = 0; ///< Int and ThreadId arguments (a thread id's bits)
    OutText texts[2];          ///< Text: texts[0]; TwoTexts: length, width
    std::array<float, 3> offsets{};
    std::array<std::int32_t, kCelvoSlots> slots{};
    std::uint32_t units = 0;  ///< Block: units recorded
    std::vector<float> block; ///< Block: units x 128 floats (as read)
    /// Block, when writing: the library's own block, encoded straight from
    /// it (units x 128 floats), so recording copies it only once.
    const float* blockData = nullptr;

    // Message
    std::uint32_t message = 0;
    std::uint64_t wParam = 0;
    std::int64_t lParam = 0;
    std::uint32_t target = 0; ///< the caller's thread it was passed to
    Delivery delivery = Delivery::Posted;

    // Note: text
    std::string text;

    // Dropped
    std::uint64_t firstLost = 0;
    std::uint64_t lostRecords = 0;
    std::uint64_t lostBytes = 0;

    // End: totals of the trace
    std::uint64_t totalRecords = 0; ///< records written before the end record
    std::uint64_t totalDroppedRecords = 0;
    std::uint64_t totalDroppedBytes = 0;
    std::uint64_t totalMessages = 0;

    // Relay
    std::uint32_t callerThread = 0;
    std::uint32_t relayThread = 0;
    bool relayStarted = false;
};

/// What the file header says.
struct Header
{
    std::uint16_t version = kFormatVersion;
    std::int64_t createdUs = 0;
    std::string system;
    std::string libraryName;
    std::uint64_t librarySize = 0;
    std::string libraryPath;
    std::string recorder;
    std::string program;
};

/// A call record for `function` with default values: what a writer fills in.
Record CallRecord(Function function);

/// "fmBroadcastAcquisitionRate(1000) -> 1", "fmGetAmplifierSerialNumber() -> 1 \"ZA100-4471\"",
/// "fmDLLTransferFloatData() -> 1 block 2 units": one line per record for
/// messages and listings.
std::string Describe(const Record& record);
/// "fmBroadcastAcquisitionRate(1000)": the call with its argument, no result.
std::string DescribeCall(Function function, std::int32_t argument);

/// Header bytes (fixed part, fields, CRC) for `header`.
std::vector<unsigned char> EncodeHeader(const Header& header);
/// Appends one record (type, length, body) to `out`.
void EncodeRecord(const Record& record, std::vector<unsigned char>& out);

/// CRC-32 (the zlib polynomial) of `size` bytes, continuing from `crc`.
std::uint32_t Crc32(const void* data, std::size_t size, std::uint32_t crc = 0);

} // namespace zorvatrace
