// The 30 fm* functions of the USB library, on the simulated bench. Nothing
// may leave them as an exception: a failure inside becomes the result 0.
#include "driver/ZORVAUSBDevice.h"

#include "simusb/Simulator.h"

using zorvasim::detail::Simulator;
using zorvasim::detail::TextField;

namespace {

template <typename Fn>
int Guarded(Fn fn) noexcept
{
    try {
        return fn(Simulator::Instance());
    } catch (...) {
        return 0;
    }
}

} // namespace

ZORVA_USB_API int fmDLLInit()
{
    return Guarded([](Simulator& s) { return s.Init(); });
}
ZORVA_USB_API int fmDLLIsDeviceInitComplete()
{
    return Guarded([](Simulator& s) { return s.IsInitComplete(); });
}
ZORVA_USB_API int fmDLLSetupCheck()
{
    return Guarded([](Simulator& s) { return s.SetupCheck(); });
}
ZORVA_USB_API int fmDLLSetUSBPacketSize(int size)
{
    return Guarded([=](Simulator& s) { return s.SetPacketSize(size); });
}
ZORVA_USB_API int fmBroadcastRunMode(int mode)
{
    return Guarded([=](Simulator& s) { return s.SetRunMode(mode); });
}
ZORVA_USB_API int fmDLLSetDataFormat(int format)
{
    return Guarded([=](Simulator& s) { return s.SetDataFormat(format); });
}
ZORVA_USB_API int fmDLLPostDataReadyMessages(int enable)
{
    return Guarded([=](Simulator& s) { return s.PostDataReadyMessages(enable); });
}
ZORVA_USB_API int fmDLLPostUserThreadMessages(unsigned int threadId)
{
    return Guarded([=](Simulator& s) { return s.PostUserThreadMessages(threadId); });
}
ZORVA_USB_API int fmBroadcastResetSoftware()
{
    return Guarded([](Simulator& s) { return s.ResetSoftware(); });
}
ZORVA_USB_API int fmDLLShutDown()
{
    return Guarded([](Simulator& s) { return s.ShutDown(); });
}

ZORVA_USB_API int fmBroadcastStart()
{
    return Guarded([](Simulator& s) { return s.Start(); });
}
ZORVA_USB_API int fmBroadcastStop()
{
    return Guarded([](Simulator& s) { return s.Stop(); });
}
ZORVA_USB_API int fmBroadcastZero()
{
    return Guarded([](Simulator& s) { return s.Zero(); });
}
ZORVA_USB_API int fmBroadcastAcquisitionRate(int rate)
{
    return Guarded([=](Simulator& s) { return s.SetRate(rate); });
}
ZORVA_USB_API int fmBroadcastGenlock(int on)
{
    return Guarded([=](Simulator& s) { return s.SetGenlock(on); });
}

ZORVA_USB_API int fmDLLGetDeviceCount()
{
    return Guarded([](Simulator& s) { return s.DeviceCount(); });
}
ZORVA_USB_API int fmDLLSelectDeviceIndex(int index)
{
    return Guarded([=](Simulator& s) { return s.SelectDevice(index); });
}
ZORVA_USB_API int fmGetProductType()
{
    return Guarded([](Simulator& s) { return s.ProductType(); });
}
ZORVA_USB_API int fmGetAmplifierModelNumber(char* text)
{
    return Guarded([=](Simulator& s) { return s.GetText(TextField::AmplifierModel, text); });
}
ZORVA_USB_API int fmGetAmplifierSerialNumber(char* text)
{
    return Guarded([=](Simulator& s) { return s.GetText(TextField::AmplifierSerial, text); });
}
ZORVA_USB_API int fmGetAmplifierFirmwareVersion(char* text)
{
    return Guarded([=](Simulator& s) { return s.GetText(TextField::FirmwareVersion, text); });
}
ZORVA_USB_API int fmGetPlatformModelNumber(char* text)
{
    return Guarded([=](Simulator& s) { return s.GetText(TextField::PlatformModel, text); });
}
ZORVA_USB_API int fmGetPlatformSerialNumber(char* text)
{
    return Guarded([=](Simulator& s) { return s.GetText(TextField::PlatformSerial, text); });
}
ZORVA_USB_API int fmGetPlatformXYZOffsets(float* offsets)
{
    return Guarded([=](Simulator& s) { return s.GetOffsets(offsets); });
}
ZORVA_USB_API int fmGetPlatformLengthAndWidth(char* length, char* width)
{
    return Guarded([=](Simulator& s) { return s.GetLengthAndWidth(length, width); });
}
ZORVA_USB_API int fmSetBlink()
{
    return Guarded([](Simulator& s) { return s.Blink(); });
}

ZORVA_USB_API int fmBroadcastCheckCelvo(int* indices)
{
    return Guarded([=](Simulator& s) { return s.CheckCelvo(indices); });
}
ZORVA_USB_API int fmCelvoDownloadCalFile(int mode)
{
    return Guarded([=](Simulator& s) { return s.DownloadCalFile(mode); });
}
ZORVA_USB_API int fmIsCelvoDownloadComplete()
{
    return Guarded([](Simulator& s) { return s.IsDownloadComplete(); });
}

ZORVA_USB_API int fmDLLTransferFloatData(float** block)
{
    return Guarded([=](Simulator& s) { return s.TransferFloatData(block); });
}
