/// The host's interface of a live device. The plugin implements it; the host
/// calls it and owns nothing. Slot order is part of the binary contract.
#pragma once

#include "HostAbi.h"

namespace MoldraDigitalDevice {

class IDeviceHost;
class ICaptureSetup;

/// Device state values reported by GetState.
enum DeviceState
{
    DeviceStateArmed = 0,
    DeviceStateAcquiring = 1,
    DeviceStateStopped = 2
};

/// The destructor slot (its layout: HostAbi.h), then seven operations in this
/// slot order. An implementation lets no exception out of any of them.
class IDevice
{
    ZORVA_HOST_INTERFACE_DESTRUCTOR(IDevice)

public:
    virtual void Attach(IDeviceHost* services) = 0;
    virtual void ParametersChanged() = 0;
    virtual bool Arm(unsigned int streamHandle, ICaptureSetup* setup) = 0;
    virtual void Reserved() = 0;
    /// hostTime in seconds, on the clock of IPluginHost::GetTime.
    virtual void StartCapture(double hostTime) = 0;
    virtual void Disarm() = 0;
    virtual void GetState(int* state, bool* rearmRequired) = 0;
};

} // namespace MoldraDigitalDevice
