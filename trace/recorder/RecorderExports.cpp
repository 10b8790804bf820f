// The recording USB library's 30 fm* functions and its controls. Each fm*
// function forwards to the library the recorder loaded and records the call
// with its arguments, result and out-values; nothing leaves as an exception.
#include "driver/ZORVAUSBDevice.h"
#include "trace/recorder/RecorderControl.h"
#include "platform/Library.h"
#include "trace/recorder/Recorder.h"

#include <algorithm>
#include <cstring>

using zorvatrace::Function;
using zorvatrace::Record;
using zorvatrace::Recorder;

namespace {

void NoOut(Record&) {}

/// Forwards one call through `call` (given the library's function as `Fn`)
/// and, while recording, appends its record after `fill` added the
/// out-values. A library without the function gets no call: 0, recorded so.
template <typename Fn, typename Call, typename Fill>
int Forward(Function function, std::int32_t argument, Call call, Fill fill) noexcept
{
    Recorder* recorder = nullptr;
    const zorvatrace::ForwardLibrary* library = nullptr;
    try {
        recorder = &Recorder::Instance();
        library = recorder->Library();
    } catch (...) {
        return 0;
    }
    void* symbol = library ? library->functions[static_cast<std::size_t>(function)] : nullptr;
    const bool recording = recorder->Recording();
    const std::uint64_t start = recording ? recorder->Now() : 0;
    const int result = symbol ? call(reinterpret_cast<Fn>(symbol)) : 0;
    if (recording) {
        try {
            Record record = zorvatrace::CallRecord(function);
            record.timeUs = start;
            record.argument = argument;
            record.result = result;
            if (symbol)
                fill(record);
            else
                record.flags |= zorvatrace::kCallMissing;
            recorder->RecordCall(record);
        } catch (...) {
            // Out of memory while recording: the call itself went through.
        }
    }
    return result;
}

int NoArgument(Function function)
{
    return Forward<int (*)()>(
        function, 0, [](int (*f)()) { return f(); }, NoOut);
}

int IntArgument(Function function, int value)
{
    return Forward<int (*)(int)>(
        function, value, [=](int (*f)(int)) { return f(value); }, NoOut);
}

/// The bytes the caller can read: up to the NUL within the buffer, or all
/// of it when the library wrote none.
zorvatrace::OutText Captured(const char* buffer, std::size_t size)
{
    zorvatrace::OutText text;
    const void* end = std::memchr(buffer, '\0', size);
    text.terminated = end != nullptr;
    text.bytes.assign(buffer, end ? static_cast<std::size_t>(static_cast<const char*>(end) - buffer) : size);
    return text;
}

int TextQuery(Function function, char* text)
{
    return Forward<int (*)(char*)>(
        function, 0, [=](int (*f)(char*)) { return f(text); },
        [=](Record& record) {
            if (!text)
                record.flags |= zorvatrace::kCallPointerNull;
            else
                record.texts[0] = Captured(text, ZORVA_USB_TEXT_SIZE);
        });
}

void WriteText(const std::string& text, char* buffer, int size)
{
    if (!buffer || size <= 0)
        return;
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

} // namespace

ZORVA_USB_API int fmDLLInit() { return NoArgument(Function::DLLInit); }
ZORVA_USB_API int fmDLLIsDeviceInitComplete() { return NoArgument(Function::DLLIsDeviceInitComplete); }
ZORVA_USB_API int fmDLLSetupCheck() { return NoArgument(Function::DLLSetupCheck); }
ZORVA_USB_API int fmDLLSetUSBPacketSize(int size) { return IntArgument(Function::DLLSetUSBPacketSize, size); }
ZORVA_USB_API int fmBroadcastRunMode(int mode) { return IntArgument(Function::BroadcastRunMode, mode); }
ZORVA_USB_API int fmDLLSetDataFormat(int format) { return IntArgument(Function::DLLSetDataFormat, format); }
ZORVA_USB_API int fmDLLPostDataReadyMessages(int enable)
{
    return IntArgument(Function::DLLPostDataReadyMessages, enable);
}

ZORVA_USB_API int fmDLLPostUserThreadMessages(unsigned int threadId)
{
    // The library posts to the relay, which records and passes on to the caller's thread.
    unsigned int given = threadId;
    try {
        given = Recorder::Instance().RelayFor(threadId);
    } catch (...) {
        given = threadId;
    }
    return Forward<int (*)(unsigned int)>(
        Function::DLLPostUserThreadMessages, static_cast<std::int32_t>(threadId),
        [=](int (*f)(unsigned int)) { return f(given); }, NoOut);
}

ZORVA_USB_API int fmBroadcastResetSoftware() { return NoArgument(Function::BroadcastResetSoftware); }

ZORVA_USB_API int fmDLLShutDown()
{
    const int result = NoArgument(Function::DLLShutDown);
    try {
        Recorder::Instance().SessionEnded();
    } catch (...) {
    }
    return result;
}

ZORVA_USB_API int fmBroadcastStart() { return NoArgument(Function::BroadcastStart); }
ZORVA_USB_API int fmBroadcastStop() { return NoArgument(Function::BroadcastStop); }
ZORVA_USB_API int fmBroadcastZero() { return NoArgument(Function::BroadcastZero); }
ZORVA_USB_API int fmBroadcastAcquisitionRate(int rate) { return IntArgument(Function::BroadcastAcquisitionRate, rate); }
ZORVA_USB_API int fmBroadcastGenlock(int on) { return IntArgument(Function::BroadcastGenlock, on); }

ZORVA_USB_API int fmDLLGetDeviceCount()
{
    const int count = NoArgument(Function::DLLGetDeviceCount);
    try {
        // The blocks that follow hold this many units.
        Recorder::Instance().SetUnits(count);
    } catch (...) {
    }
    return count;
}

ZORVA_USB_API int fmDLLSelectDeviceIndex(int index) { return IntArgument(Function::DLLSelectDeviceIndex, index); }
ZORVA_USB_API int fmGetProductType() { return NoArgument(Function::GetProductType); }
ZORVA_USB_API int fmGetAmplifierModelNumber(char* text) { return TextQuery(Function::GetAmplifierModelNumber, text); }
ZORVA_USB_API int fmGetAmplifierSerialNumber(char* text) { return TextQuery(Function::GetAmplifierSerialNumber, text); }
ZORVA_USB_API int fmGetAmplifierFirmwareVersion(char* text)
{
    return TextQuery(Function::GetAmplifierFirmwareVersion, text);
}
ZORVA_USB_API int fmGetPlatformModelNumber(char* text) { return TextQuery(Function::GetPlatformModelNumber, text); }
ZORVA_USB_API int fmGetPlatformSerialNumber(char* text) { return TextQuery(Function::GetPlatformSerialNumber, text); }

ZORVA_USB_API int fmGetPlatformXYZOffsets(float* offsets)
{
    return Forward<int (*)(float*)>(
        Function::GetPlatformXYZOffsets, 0, [=](int (*f)(float*)) { return f(offsets); },
        [=](Record& record) {
            if (!offsets)
                record.flags |= zorvatrace::kCallPointerNull;
            else
                std::copy(offsets, offsets + 3, record.offsets.begin());
        });
}

ZORVA_USB_API int fmGetPlatformLengthAndWidth(char* length, char* width)
{
    return Forward<int (*)(char*, char*)>(
        Function::GetPlatformLengthAndWidth, 0, [=](int (*f)(char*, char*)) { return f(length, width); },
        [=](Record& record) {
            if (!length || !width) {
                record.flags |= zorvatrace::kCallPointerNull;
                return;
            }
            record.texts[0] = Captured(length, ZORVA_USB_SIZE_TEXT_SIZE);
            record.texts[1] = Captured(width, ZORVA_USB_SIZE_TEXT_SIZE);
        });
}

ZORVA_USB_API int fmSetBlink() { return NoArgument(Function::SetBlink); }

ZORVA_USB_API int fmBroadcastCheckCelvo(int* indices)
{
    return Forward<int (*)(int*)>(
        Function::BroadcastCheckCelvo, 0, [=](int (*f)(int*)) { return f(indices); },
        [=](Record& record) {
            if (!indices)
                record.flags |= zorvatrace::kCallPointerNull;
            else
                std::copy(indices, indices + ZORVA_USB_CHECK_CELVO_SLOTS, record.slots.begin());
        });
}

ZORVA_USB_API int fmCelvoDownloadCalFile(int mode) { return IntArgument(Function::CelvoDownloadCalFile, mode); }
ZORVA_USB_API int fmIsCelvoDownloadComplete() { return NoArgument(Function::IsCelvoDownloadComplete); }

ZORVA_USB_API int fmDLLTransferFloatData(float** block)
{
    return Forward<int (*)(float**)>(
        Function::DLLTransferFloatData, 0, [=](int (*f)(float**)) { return f(block); },
        [=](Record& record) {
            if (!block) {
                record.flags |= zorvatrace::kCallPointerNull;
                return;
            }
            if (!*block)
                return;
            record.flags |= zorvatrace::kCallHasBlock;
            Recorder& recorder = Recorder::Instance();
            int units = recorder.Units();
            if (units < 0) {
                // Nothing says how big the block is: reading it could overrun.
                units = 0;
                if (recorder.FirstBlockOfUnknownSize())
                    recorder.Note("a block arrived before any fmDLLGetDeviceCount: blocks of unknown size are "
                                  "recorded without their values",
                                  false);
            }
            if (units > static_cast<int>(zorvatrace::kMaxBlockUnits)) {
                units = static_cast<int>(zorvatrace::kMaxBlockUnits);
                record.flags |= zorvatrace::kCallBlockCut;
            }
            record.units = static_cast<std::uint32_t>(units);
            record.blockData = *block;
        });
}

// ---------------------------------------------------------------- controls

ZORVA_TRACE_API int ZorvaTrace_Begin(const char* tracePath, const char* libraryPath, char* error, int size)
{
    std::string why;
    try {
        if (!tracePath || !*tracePath)
            why = "no trace file named";
        else if (Recorder::Instance().Begin(tracePath, libraryPath ? libraryPath : "", why))
            return 1;
    } catch (...) {
        why = "out of memory";
    }
    WriteText(why, error, size);
    return 0;
}

ZORVA_TRACE_API int ZorvaTrace_End(char* error, int size)
{
    std::string why;
    try {
        if (Recorder::Instance().End(why))
            return 1;
    } catch (...) {
        why = "out of memory";
    }
    WriteText(why, error, size);
    return 0;
}

ZORVA_TRACE_API void* ZorvaTrace_LibrarySymbol(const char* name)
{
    try {
        const zorvatrace::ForwardLibrary* library = Recorder::Instance().Library();
        return library && name ? zorvaplatform::LibrarySymbol(library->handle, name) : nullptr;
    } catch (...) {
        return nullptr;
    }
}

ZORVA_TRACE_API int ZorvaTrace_GetCounters(ZorvaTraceCounters* out)
{
    if (!out)
        return 0;
    try {
        *out = Recorder::Instance().Counters();
    } catch (...) {
        *out = ZorvaTraceCounters{};
    }
    return 1;
}

ZORVA_TRACE_API int ZorvaTrace_Note(const char* text)
{
    if (!text)
        return 0;
    try {
        Recorder& recorder = Recorder::Instance();
        if (!recorder.Recording())
            return 0;
        // A host's line, not a file: kept short.
        std::size_t length = 0;
        while (length < zorvatrace::kMaxHostNote && text[length] != '\0')
            ++length;
        recorder.Note(std::string(text, length), false);
        return 1;
    } catch (...) {
        return 0;
    }
}
