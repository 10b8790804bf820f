/// The plugin-wide device behind the host's "ZORVA Shared Config Device".
#pragma once

#include "definitions/VSharedConfigDefinition.h"
#include "host/HostInterfaces.h"
#include "host/IDevice.h"

#include <boost/thread/mutex.hpp>

namespace ZORVA {

class VZORVADriverService;

/// Carries the settings common to all signal conditioners.
///
/// Threads: the host calls the IDevice operations on its own threads; every
/// operation runs under `mutex`. `instantiator` is written by
/// BeginDeviceInstantiation on the host's thread without the lock (the host
/// calls the exports one at a time, before it attaches the device).
class VSharedConfigDevice : public MoldraDigitalDevice::IDevice
{
public:
    explicit VSharedConfigDevice(VZORVADriverService* driver);
    VSharedConfigDevice(const VSharedConfigDevice&) = delete;
    VSharedConfigDevice& operator=(const VSharedConfigDevice&) = delete;
    ~VSharedConfigDevice() override;

    void Attach(MoldraDigitalDevice::IDeviceHost* services) override;
    void ParametersChanged() override;
    bool Arm(unsigned int streamHandle, MoldraDigitalDevice::ICaptureSetup* setup) override;
    void Reserved() override;
    void StartCapture(double hostTime) override;
    void Disarm() override;
    void GetState(int* state, bool* rearmRequired) override;

    /// Kept for the plate devices created after hardware detection.
    MoldraDigitalDevice::IDeviceInstantiator* instantiator = nullptr;

private:
    boost::mutex mutex;
    int state = MoldraDigitalDevice::DeviceStateStopped;
    bool rearmRequired = true;
    MoldraDigitalDevice::IPluginHost* host;
    VZORVADriverService* driver;
    MoldraDigitalDevice::IDeviceHost* services = nullptr;
    unsigned int changeCursor = 1;
    VSharedConfigDefinition definition;
};

} // namespace ZORVA
