#include "VSharedConfigDevice.h"

#include "plugin/Plugin.h"

namespace ZORVA {

using namespace MoldraDigitalDevice;

// Settings, arming and detection are not wired yet: the device only keeps its
// host objects and reports itself stopped, so the host can instantiate it.

VSharedConfigDevice::VSharedConfigDevice(VZORVADriverService* driverService)
    : host(hostServices), driver(driverService), definition(sharedConfigDefinition)
{
}

VSharedConfigDevice::~VSharedConfigDevice() {}

void VSharedConfigDevice::Attach(IDeviceHost* deviceServices)
{
    boost::mutex::scoped_lock lock(mutex);
    rearmRequired = true;
    services = deviceServices;
}

void VSharedConfigDevice::ParametersChanged() {}

bool VSharedConfigDevice::Arm(unsigned int /*streamHandle*/, ICaptureSetup* /*setup*/)
{
    boost::mutex::scoped_lock lock(mutex);
    rearmRequired = false;
    state = DeviceStateStopped;
    return false;
}

void VSharedConfigDevice::Reserved() {}

void VSharedConfigDevice::StartCapture(double /*hostTime*/) {}

void VSharedConfigDevice::Disarm()
{
    boost::mutex::scoped_lock lock(mutex);
    state = DeviceStateStopped;
}

void VSharedConfigDevice::GetState(int* stateOut, bool* rearmRequiredOut)
{
    boost::mutex::scoped_lock lock(mutex);
    if (stateOut)
        *stateOut = state;
    if (rearmRequiredOut)
        *rearmRequiredOut = rearmRequired;
}

} // namespace ZORVA
