// The 30 fm* functions of the USB library, on the simulated bench, or from a
// trace while one is replayed (Replay.h). Nothing may leave them as an
// exception: a failure inside becomes the result 0.
#include "driver/ZORVAUSBDevice.h"

#include "simusb/replay/ReplayHub.h"
#include "simusb/bench/Simulator.h"

using zorvasim::detail::CallArgs;
using zorvasim::detail::Simulator;
using zorvasim::detail::TextField;
using zorvatrace::Function;

namespace {

template <typename Fn>
int Guarded(Function function, const CallArgs& args, Fn fn) noexcept
{
    try {
        int replayed = 0;
        if (zorvasim::detail::Replayed(function, args, replayed))
            return replayed;
        return fn(Simulator::Instance());
    } catch (...) {
        return 0;
    }
}

CallArgs Argument(int value)
{
    CallArgs args;
    args.argument = value;
    return args;
}

CallArgs Text(char* text)
{
    CallArgs args;
    args.text = text;
    return args;
}

CallArgs Offsets(float* offsets)
{
    CallArgs args;
    args.offsets = offsets;
    return args;
}

CallArgs Sizes(char* length, char* width)
{
    CallArgs args;
    args.text = length;
    args.text2 = width;
    return args;
}

CallArgs Slots(int* indices)
{
    CallArgs args;
    args.slots = indices;
    return args;
}

CallArgs Block(float** block)
{
    CallArgs args;
    args.block = block;
    return args;
}

} // namespace

ZORVA_USB_API int fmDLLInit()
{
    return Guarded(Function::DLLInit, {}, [](Simulator& s) { return s.Init(); });
}
ZORVA_USB_API int fmDLLIsDeviceInitComplete()
{
    return Guarded(Function::DLLIsDeviceInitComplete, {}, [](Simulator& s) { return s.IsInitComplete(); });
}
ZORVA_USB_API int fmDLLSetupCheck()
{
    return Guarded(Function::DLLSetupCheck, {}, [](Simulator& s) { return s.SetupCheck(); });
}
ZORVA_USB_API int fmDLLSetUSBPacketSize(int size)
{
    return Guarded(Function::DLLSetUSBPacketSize, Argument(size), [=](Simulator& s) { return s.SetPacketSize(size); });
}
ZORVA_USB_API int fmBroadcastRunMode(int mode)
{
    return Guarded(Function::BroadcastRunMode, Argument(mode), [=](Simulator& s) { return s.SetRunMode(mode); });
}
ZORVA_USB_API int fmDLLSetDataFormat(int format)
{
    return Guarded(Function::DLLSetDataFormat, Argument(format), [=](Simulator& s) { return s.SetDataFormat(format); });
}
ZORVA_USB_API int fmDLLPostDataReadyMessages(int enable)
{
    return Guarded(Function::DLLPostDataReadyMessages, Argument(enable),
                   [=](Simulator& s) { return s.PostDataReadyMessages(enable); });
}
ZORVA_USB_API int fmDLLPostUserThreadMessages(unsigned int threadId)
{
    return Guarded(Function::DLLPostUserThreadMessages, Argument(static_cast<int>(threadId)),
                   [=](Simulator& s) { return s.PostUserThreadMessages(threadId); });
}
ZORVA_USB_API int fmBroadcastResetSoftware()
{
    return Guarded(Function::BroadcastResetSoftware, {}, [](Simulator& s) { return s.ResetSoftware(); });
}
ZORVA_USB_API int fmDLLShutDown()
{
    return Guarded(Function::DLLShutDown, {}, [](Simulator& s) { return s.ShutDown(); });
}

ZORVA_USB_API int fmBroadcastStart()
{
    return Guarded(Function::BroadcastStart, {}, [](Simulator& s) { return s.Start(); });
}
ZORVA_USB_API int fmBroadcastStop()
{
    return Guarded(Function::BroadcastStop, {}, [](Simulator& s) { return s.Stop(); });
}
ZORVA_USB_API int fmBroadcastZero()
{
    return Guarded(Function::BroadcastZero, {}, [](Simulator& s) { return s.Zero(); });
}
ZORVA_USB_API int fmBroadcastAcquisitionRate(int rate)
{
    return Guarded(Function::BroadcastAcquisitionRate, Argument(rate), [=](Simulator& s) { return s.SetRate(rate); });
}
ZORVA_USB_API int fmBroadcastGenlock(int on)
{
    return Guarded(Function::BroadcastGenlock, Argument(on), [=](Simulator& s) { return s.SetGenlock(on); });
}

ZORVA_USB_API int fmDLLGetDeviceCount()
{
    return Guarded(Function::DLLGetDeviceCount, {}, [](Simulator& s) { return s.DeviceCount(); });
}
ZORVA_USB_API int fmDLLSelectDeviceIndex(int index)
{
    return Guarded(Function::DLLSelectDeviceIndex, Argument(index),
                   [=](Simulator& s) { return s.SelectDevice(index); });
}
ZORVA_USB_API int fmGetProductType()
{
    return Guarded(Function::GetProductType, {}, [](Simulator& s) { return s.ProductType(); });
}
ZORVA_USB_API int fmGetAmplifierModelNumber(char* text)
{
    return Guarded(Function::GetAmplifierModelNumber, Text(text),
                   [=](Simulator& s) { return s.GetText(TextField::AmplifierModel, text); });
}
ZORVA_USB_API int fmGetAmplifierSerialNumber(char* text)
{
    return Guarded(Function::GetAmplifierSerialNumber, Text(text),
                   [=](Simulator& s) { return s.GetText(TextField::AmplifierSerial, text); });
}
ZORVA_USB_API int fmGetAmplifierFirmwareVersion(char* text)
{
    return Guarded(Function::GetAmplifierFirmwareVersion, Text(text),
                   [=](Simulator& s) { return s.GetText(TextField::FirmwareVersion, text); });
}
ZORVA_USB_API int fmGetPlatformModelNumber(char* text)
{
    return Guarded(Function::GetPlatformModelNumber, Text(text),
                   [=](Simulator& s) { return s.GetText(TextField::PlatformModel, text); });
}
ZORVA_USB_API int fmGetPlatformSerialNumber(char* text)
{
    return Guarded(Function::GetPlatformSerialNumber, Text(text),
                   [=](Simulator& s) { return s.GetText(TextField::PlatformSerial, text); });
}
ZORVA_USB_API int fmGetPlatformXYZOffsets(float* offsets)
{
    return Guarded(Function::GetPlatformXYZOffsets, Offsets(offsets),
                   [=](Simulator& s) { return s.GetOffsets(offsets); });
}
ZORVA_USB_API int fmGetPlatformLengthAndWidth(char* length, char* width)
{
    return Guarded(Function::GetPlatformLengthAndWidth, Sizes(length, width),
                   [=](Simulator& s) { return s.GetLengthAndWidth(length, width); });
}
ZORVA_USB_API int fmSetBlink()
{
    return Guarded(Function::SetBlink, {}, [](Simulator& s) { return s.Blink(); });
}

ZORVA_USB_API int fmBroadcastCheckCelvo(int* indices)
{
    return Guarded(Function::BroadcastCheckCelvo, Slots(indices), [=](Simulator& s) { return s.CheckCelvo(indices); });
}
ZORVA_USB_API int fmCelvoDownloadCalFile(int mode)
{
    return Guarded(Function::CelvoDownloadCalFile, Argument(mode),
                   [=](Simulator& s) { return s.DownloadCalFile(mode); });
}
ZORVA_USB_API int fmIsCelvoDownloadComplete()
{
    return Guarded(Function::IsCelvoDownloadComplete, {}, [](Simulator& s) { return s.IsDownloadComplete(); });
}

ZORVA_USB_API int fmDLLTransferFloatData(float** block)
{
    return Guarded(Function::DLLTransferFloatData, Block(block),
                   [=](Simulator& s) { return s.TransferFloatData(block); });
}
