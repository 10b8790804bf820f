#include "VZORVATrelDevice.h"

#include "ChangedParameters.h"

#include "contract/ParameterNames.h"
#include "contract/UnitIdentity.h"

#include "host/HostResultHandle.h"
#include "devices/Guarded.h"
#include "contract/Log.h"

#include <boost/format.hpp>

#include <algorithm>
#include <chrono>

namespace ZORVA {

using namespace MoldraDigitalDevice;

namespace {

/// Identifier of the BlinkAction parameter.
const std::uint64_t BlinkActionId = 5;

} // namespace

VZORVATrelDevice::VZORVATrelDevice(unsigned int rate, const VZORVADriverService::VDeviceInfo& info,
                                   const VZORVAGenericPlateDefinition* plateDefinition, IPluginHost* pluginHost,
                                   VZORVADriverService* driverService, OperationGate* operationGate)
    : driver(driverService),
      host(pluginHost),
      deviceIndex(info.deviceIndex),
      origin(info.originOffsets),
      outputIndices{0, 1, 2},
      definition(plateDefinition ? *plateDefinition : VZORVAGenericPlateDefinition()),
      amplifierModel(info.amplifierModel),
      amplifierSerial(info.amplifierSerial),
      platformModel(info.platformModel),
      platformSerial(info.platformSerial),
      firmwareVersion(info.firmwareVersion),
      sampleRate(rate),
      gate(operationGate)
{
    // The library always reports three offsets; anything else counts as zero.
    origin.resize(3, 0.0f);
    connected.Value = false;

    definition.FirmwareVersion.Value.SetValue(firmwareVersion);
    definition.AmplifierModel.Value.SetValue(amplifierModel);
    definition.AmplifierSerial.Value.SetValue(amplifierSerial);
    definition.PlatformModel.Value.SetValue(platformModel);
    definition.PlatformSerial.Value.SetValue(platformSerial);

    // Inches to metres, in single precision; Z points the other way.
    origin[0] = origin[0] * 0.0254f;
    origin[1] = origin[1] * 0.0254f;
    origin[2] = origin[2] * -0.0254f;
    definition.ParameterA.Value.SetValue(-static_cast<double>(origin[0]));
    definition.ParameterB.Value.SetValue(static_cast<double>(origin[1]));
    definition.ParameterAZ0.Value.SetValue(-static_cast<double>(origin[2]));

    name = InstanceName(definition.AmplifierSerial.Value.GetValue(), definition.PlatformSerial.Value.GetValue());
    state = DeviceState::Acquiring;

    Log(host, LogLevel::Information,
        boost::format("Instantiating device %d: %s %s %s %s") % deviceIndex % amplifierModel % amplifierSerial %
            platformModel % platformSerial);
}

VZORVATrelDevice::~VZORVATrelDevice() {}

IdentityKey VZORVATrelDevice::Identity() const
{
    return UnitIdentityKey(amplifierModel, amplifierSerial, platformModel, platformSerial);
}

void VZORVATrelDevice::Attach(IDeviceHost* deviceServices)
{
    Guarded(host, "Attach", [&] {
        const OperationGate::Pass pass(gate);
        if (!pass.Admitted() || !deviceServices)
            return;
        IParameterValueBool status;
        unsigned int changesBefore = 0;
        {
            MutexLock lock(mutex);
            services = deviceServices;
            status = connected;
            changesBefore = connectedChanges;
        }
        // Without the lock: the host may call back into the plate from these.
        // The published values never change after construction.
        auto publish = [deviceServices](IParameterValue& value, const std::string& parameterName) {
            HostResultHandle(deviceServices->SetParameterValue(&value, parameterName.c_str(), ""));
        };
        publish(definition.AmplifierSerial.Value, definition.AmplifierSerial.Name);
        publish(definition.AmplifierModel.Value, definition.AmplifierModel.Name);
        publish(definition.PlatformModel.Value, definition.PlatformModel.Name);
        publish(definition.PlatformSerial.Value, definition.PlatformSerial.Name);
        publish(definition.FirmwareVersion.Value, definition.FirmwareVersion.Name);
        publish(definition.ParameterA.Value, definition.ParameterA.Name);
        publish(definition.ParameterB.Value, definition.ParameterB.Name);
        publish(definition.ParameterAZ0.Value, definition.ParameterAZ0.Name);

        HostResultHandle(deviceServices->GetParameterValue(&status, ParameterName::Connected, ""));
        {
            MutexLock lock(mutex);
            // Attached means connected, unless a detection decided otherwise
            // while this ran: its verdict is the newer one.
            if (connectedChanges == changesBefore) {
                status.Value = true;
                connected = status;
            }
        }
        PublishConnected();
    });
}

void VZORVATrelDevice::ParametersChanged()
{
    Guarded(host, "ParametersChanged", [&] {
        const OperationGate::Pass pass(gate);
        if (pass.Admitted())
            changes.Serve([&] { ApplyChangedParameters(); });
    });
}

void VZORVATrelDevice::ApplyChangedParameters()
{
    IDeviceHost* to = nullptr;
    {
        MutexLock lock(mutex);
        to = services;
    }
    if (!to)
        return;
    // Without the lock: the host may call back into the plate from these.
    for (std::uint64_t id : changes.Read(*to, host)) {
        if (id != BlinkActionId || !driver)
            continue;
        int index = 0;
        {
            MutexLock lock(mutex);
            index = deviceIndex;
        }
        driver->BlinkDevice(static_cast<unsigned int>(index));
    }
}

bool VZORVATrelDevice::Arm(unsigned int handle, ICaptureSetup* setup)
{
    return Guarded(host, "Arm", false, [&] {
        const OperationGate::Pass pass(gate);
        if (!pass.Admitted())
            return false;
        bool isConnected = false;
        unsigned int rate = 0;
        bool takesTrigger = false;
        {
            UniqueLock<Mutex> lock(mutex);
            // A push made under the previous arming reaches the host before
            // this Arm returns, never after it with the old stream.
            AwaitPushLocked(lock);
            state = DeviceState::Armed;
            wrapOffset = 0;
            // No block seen yet: a first counter of 0 is not a wrap-around.
            lastCounter = -1;
            streamHandle = handle;
            newStream = true;
            // The capture whose blocks the last stream took is over for the
            // new one: a host that arms the plates before the shared device
            // would otherwise see its new stream begin with the old capture.
            firstCapture = streamCapture + 1;
            isConnected = connected.Value;
            rate = sampleRate;
            declaredRate = isConnected && setup ? rate : 0;
            declaredSinceSharedArm = true;
            rateMismatchLogged = false;
            // Only the first unit's plate takes the trigger input.
            takesTrigger = syncMode == SyncMode::HardwareTrigger && deviceIndex == 0;
        }
        // The stream's set-up without the lock: the host may call back into
        // the plate from inside any of these.
        if (!isConnected || !setup)
            return false;
        HostResultHandle(setup->SetSamplesPerBlock(BlockLayout::SamplesPerBlock));
        if (rate == 0)
            return false;
        const unsigned int ticksPerSample = (host ? host->GetTickRate() : 0) / rate;
        HostResultHandle(setup->SetTicksPerSample(ticksPerSample));
        setup->SetTimingMode(2);
        if (takesTrigger) {
            const int tolerance = static_cast<int>(std::max(ticksPerSample, 1u) * 1.5);
            HostResultHandle(setup->AddSyncInput(definition.SyncPort.c_str(), 1, tolerance, 0, 0, true));
        }
        return true;
    });
}

void VZORVATrelDevice::AwaitPushLocked(UniqueLock<Mutex>& lock)
{
    if (!pushInFlight || pushThread == GetCurrentThreadId())
        return;
    const bool done = pushDone.wait_for(lock, std::chrono::milliseconds(PushWaitMs),
                                        [this]() ZORVA_NO_THREAD_SAFETY_ANALYSIS { return !pushInFlight; });
    if (!done)
        Log(host, LogLevel::Warning,
            boost::format("The host took more than %d ms to take a block of %s; arming went on") % PushWaitMs % name);
}

void VZORVATrelDevice::AwaitPush()
{
    UniqueLock<Mutex> lock(mutex);
    AwaitPushLocked(lock);
}

void VZORVATrelDevice::PushFinished()
{
    {
        MutexLock lock(mutex);
        pushInFlight = false;
    }
    pushDone.notify_all();
}

void VZORVATrelDevice::Reserved() {}

void VZORVATrelDevice::StartCapture(double /*hostTime*/) {}

void VZORVATrelDevice::Disarm() {}

void VZORVATrelDevice::GetState(int* stateOut, bool* rearmRequiredOut)
{
    Guarded(host, "GetState", [&] {
        const OperationGate::Pass pass(gate);
        if (!pass.Admitted()) {
            // Shut down: nothing runs any more.
            if (stateOut)
                *stateOut = static_cast<int>(DeviceState::Stopped);
            if (rearmRequiredOut)
                *rearmRequiredOut = false;
            return;
        }
        MutexLock lock(mutex);
        if (rearmRequiredOut)
            *rearmRequiredOut = false;
        if (stateOut)
            *stateOut = static_cast<int>(state);
    });
}

void VZORVATrelDevice::MarkConnected(bool value)
{
    MutexLock lock(mutex);
    connected.Value = value;
    ++connectedChanges;
}

void VZORVATrelDevice::PublishConnected()
{
    // One write at a time; the last one carries the newest value, whichever
    // thread changed it meanwhile.
    connectedWrites.Serve([this] {
        IDeviceHost* to = nullptr;
        IParameterValueBool status;
        {
            MutexLock lock(mutex);
            to = services;
            status = connected;
        }
        if (to)
            HostResultHandle(to->SetParameterValue(&status, ParameterName::Connected, ""));
    });
}

void VZORVATrelDevice::SetConnected(bool value)
{
    MarkConnected(value);
    PublishConnected();
}

void VZORVATrelDevice::SetDataThreshold(double threshold)
{
    MutexLock lock(mutex);
    dataThreshold = threshold;
}

void VZORVATrelDevice::SetSyncMode(SyncMode mode)
{
    MutexLock lock(mutex);
    syncMode = mode;
}

void VZORVATrelDevice::SetDeviceIndex(int index)
{
    MutexLock lock(mutex);
    deviceIndex = index;
}

void VZORVATrelDevice::SetSampleRate(unsigned int rate)
{
    MutexLock lock(mutex);
    sampleRate = rate;
}

void VZORVATrelDevice::BeginSharedArm()
{
    MutexLock lock(mutex);
    rateAtSharedArm = declaredSinceSharedArm ? declaredRate : 0;
    declaredSinceSharedArm = false;
}

unsigned int VZORVATrelDevice::StreamRate()
{
    MutexLock lock(mutex);
    return declaredSinceSharedArm ? declaredRate : rateAtSharedArm;
}

void VZORVATrelDevice::SetState(DeviceState value)
{
    MutexLock lock(mutex);
    state = value;
}

void VZORVATrelDevice::SetStartOffset(std::int64_t offset)
{
    MutexLock lock(mutex);
    startOffset = offset;
}

} // namespace ZORVA
