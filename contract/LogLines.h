/// The log lines a host may read back, one row each: the library calls the
/// driver traces, and a detection's outcome. The plugin writes them only
/// through LogLine() and a host reads them only through MatchLogLine(), both
/// from this table, so the texts exist once. Hosts and tests rely on every
/// text byte for byte: change a row only with everything that reads it.
///
/// ZORVA_LOG_LINE(Name, Level, Format): boost::format's conversions (%d, %s,
/// %f), no literal '%'.
#pragma once

#include "Log.h"

#include <boost/format.hpp>

#include <cstddef>
#include <cstring>
#include <string>

#define ZORVA_LOG_LINES(ZORVA_LOG_LINE)                                                                                \
    ZORVA_LOG_LINE(Init, Trace, "::fmDLLInit()")                                                                       \
    ZORVA_LOG_LINE(InitFailed, Warning, "::fmDLLInit() failed")                                                        \
    ZORVA_LOG_LINE(InitComplete, Trace, "::fmDLLIsDeviceInitComplete() -> %d")                                         \
    ZORVA_LOG_LINE(SetupCheck, Trace, "::fmDLLSetupCheck() -> %d")                                                     \
    ZORVA_LOG_LINE(SetUsbPacketSize, Trace, "::fmDLLSetUSBPacketSize(%d)")                                             \
    ZORVA_LOG_LINE(RunMode, Trace, "::fmBroadcastRunMode(%d)")                                                         \
    ZORVA_LOG_LINE(DataFormat, Trace, "::fmDLLSetDataFormat(%d)")                                                      \
    ZORVA_LOG_LINE(PostDataReadyMessages, Trace, "::fmDLLPostDataReadyMessages(%d)")                                   \
    ZORVA_LOG_LINE(PostUserThreadMessages, Trace, "::fmDLLPostUserThreadMessages(%d)")                                 \
    ZORVA_LOG_LINE(Genlock, Trace, "::fmBroadcastGenlock(%d)")                                                         \
    ZORVA_LOG_LINE(ResetSoftware, Trace, "::fmBroadcastResetSoftware()")                                               \
    ZORVA_LOG_LINE(DeviceCount, Trace, "::fmDLLGetDeviceCount() -> %d")                                                \
    ZORVA_LOG_LINE(SelectDevice, Trace, "::fmDLLSelectDeviceIndex(%d)")                                                \
    ZORVA_LOG_LINE(AmplifierModel, Trace, "::fmGetAmplifierModelNumber() -> %s")                                       \
    ZORVA_LOG_LINE(ProductType, Trace, "::fmGetProductType() -> %d")                                                   \
    ZORVA_LOG_LINE(FirmwareVersion, Trace, "::fmGetAmplifierFirmwareVersion() -> %s")                                  \
    ZORVA_LOG_LINE(AmplifierSerial, Trace, "::fmGetAmplifierSerialNumber() -> %s")                                     \
    ZORVA_LOG_LINE(PlatformModel, Trace, "::fmGetPlatformModelNumber() -> %s")                                         \
    ZORVA_LOG_LINE(PlatformSerial, Trace, "::fmGetPlatformSerialNumber() -> %s")                                       \
    ZORVA_LOG_LINE(PlatformOffsets, Trace, "::fmGetPlatformXYZOffsets() -> (%f, %f, %f)")                              \
    ZORVA_LOG_LINE(PlatformSize, Trace, "::fmGetPlatformLengthAndWidth() -> %s, %s")                                   \
    ZORVA_LOG_LINE(Zero, Trace, "::fmBroadcastZero()")                                                                 \
    ZORVA_LOG_LINE(AcquisitionRate, Trace, "::fmBroadcastAcquisitionRate(%d)")                                         \
    ZORVA_LOG_LINE(GenlockMode, Trace, "::fmBroadcastGenlockMode(%d)")                                                 \
    ZORVA_LOG_LINE(BlocksDiscarded, Trace, "%d blocks measured before the start discarded")                            \
    ZORVA_LOG_LINE(Start, Trace, "::fmBroadcastStart()")                                                               \
    ZORVA_LOG_LINE(Stop, Trace, "::fmBroadcastStop()")                                                                 \
    ZORVA_LOG_LINE(Blink, Trace, "::fmSetBlink()")                                                                     \
    ZORVA_LOG_LINE(TransferWithoutBlock, Warning, "::fmDLLTransferFloatData() -> %d without a block")                  \
    ZORVA_LOG_LINE(ShutDown, Trace, "::fmDLLShutDown")                                                                 \
    ZORVA_LOG_LINE(DetectionSucceeded, Information, "Successful ZORVA device detection loop: %s")                      \
    ZORVA_LOG_LINE(DetectionFailed, DetectionFailed, "Unsuccessful ZORVA device detection loop: %s")                   \
    ZORVA_LOG_LINE(DevicesDetected, Information, "Detected %d ZORVA digital devices")                                  \
    ZORVA_LOG_LINE(UnsupportedDevice, Warning, "Detected unsupported device type %d, skipping...)")                    \
    ZORVA_LOG_LINE(InstantiationRefused, Warning, "Host returned \"%s\" when trying to instantiate device %s")

namespace ZORVA {

#define ZORVA_LOG_LINE_NAME(Name, Level, Format) Name,
enum class LogLineId
{
    ZORVA_LOG_LINES(ZORVA_LOG_LINE_NAME)
};
#undef ZORVA_LOG_LINE_NAME

struct LogLineSpec
{
    LogLevel level;
    const char* format;
};

#define ZORVA_LOG_LINE_ROW(Name, Level, Format) {LogLevel::Level, Format},
/// Row i is LogLineId i.
constexpr LogLineSpec LogLineSpecs[] = {ZORVA_LOG_LINES(ZORVA_LOG_LINE_ROW)};
#undef ZORVA_LOG_LINE_ROW

constexpr const LogLineSpec& SpecOf(LogLineId line) { return LogLineSpecs[static_cast<int>(line)]; }

/// Writes the line `line` with `values` in its conversions, at its level.
template <typename... Values>
void LogLine(MoldraDigitalDevice::IPluginHost* host, LogLineId line, const Values&... values)
{
    if (!host)
        return;
    boost::format text(SpecOf(line).format);
    (void)std::initializer_list<int>{((void)(text % values), 0)...};
    Log(host, SpecOf(line).level, text);
}

/// True when `text` is a line of kind `line`: equal to a format without
/// conversions, else starting with the text before its first conversion and
/// ending with the text after its last. `values` gets what lies between
/// ("1, 2, 3" of an offsets line); the caller reads it.
inline bool MatchLogLine(LogLineId line, const std::string& text, std::string* values = nullptr)
{
    const char* format = SpecOf(line).format;
    const char* first = std::strchr(format, '%');
    if (!first) {
        if (values)
            values->clear();
        return text == format;
    }
    const char* last = std::strrchr(format, '%') + 2; // every conversion is two characters
    const std::size_t head = static_cast<std::size_t>(first - format);
    const std::size_t tail = std::strlen(last);
    if (text.size() < head + tail || text.compare(0, head, format, head) != 0 ||
        text.compare(text.size() - tail, tail, last) != 0)
        return false;
    if (values)
        *values = text.substr(head, text.size() - head - tail);
    return true;
}

} // namespace ZORVA
