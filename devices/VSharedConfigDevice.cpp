#include "VSharedConfigDevice.h"

#include "ChangedParameters.h"
#include "VZORVATrelDevice.h"
#include "host/HostResultHandle.h"
#include "devices/Guarded.h"
#include "contract/Log.h"

#include <boost/bind/bind.hpp>
#include <boost/format.hpp>
#include <boost/lexical_cast.hpp>

#include <algorithm>
#include <cmath>
#include <limits>

namespace ZORVA {

using namespace MoldraDigitalDevice;

VSharedConfigDevice::VSharedConfigDevice(IPluginHost* pluginHost, VZORVADriverService* driverService,
                                         const VSharedConfigDefinition& settings)
    : host(pluginHost), driver(driverService), definition(settings)
{
    // What the rest of the device expects before the first detection, rate
    // change and mode change: every standard rate, and the modes' defaults.
    UpdateSupportedRates(0);
    sampleRate = RateSetting(1000);
    const double threshold = definition.DataThreshold.Value.GetValue();
    if (std::isfinite(threshold))
        dataThreshold = threshold;
}

VSharedConfigDevice::~VSharedConfigDevice() {}

std::vector<boost::shared_ptr<VZORVATrelDevice>> VSharedConfigDevice::Plates()
{
    MutexLock lock(mutex);
    return plates;
}

void VSharedConfigDevice::Close() { gate.Close(); }

void VSharedConfigDevice::Attach(IDeviceHost* deviceServices)
{
    Guarded(host, "Attach", [&] {
        const OperationGate::Pass pass(&gate);
        if (!pass.Admitted())
            return;
        MutexLock lock(mutex);
        rearmRequired = true;
        services = deviceServices;
        if (!driver)
            return;
        driver->SetAcquisitionStateCallback(
            boost::bind(&VSharedConfigDevice::OnAcquisitionStateChanged, this, boost::placeholders::_1));
        driver->SetDataReadyCallback(boost::bind(&VSharedConfigDevice::OnDataReady, this, boost::placeholders::_1));
        DetectionCallbacks();
    });
}

void VSharedConfigDevice::DetectionCallbacks()
{
    driver->DetectHardware(
        boost::bind(&VSharedConfigDevice::OnDetectionComplete, this, boost::placeholders::_1, boost::placeholders::_2));
}

void VSharedConfigDevice::ParametersChanged()
{
    Guarded(host, "ParametersChanged", [&] {
        const OperationGate::Pass pass(&gate);
        if (pass.Admitted())
            changes.Serve([&] { ApplyChangedParameters(); });
    });
}

template <typename Value>
void VSharedConfigDevice::RefreshSetting(IDeviceHost& from, VParameter<Value> VSharedConfigParameterHolder::*setting)
{
    Value value;
    std::string name;
    std::uint64_t id = 0, read = 0;
    {
        MutexLock lock(mutex);
        value = (definition.*setting).Value;
        name = (definition.*setting).Name;
        id = (definition.*setting).Id;
        read = ++settingReads;
    }
    HostResultHandle(from.GetParameterValue(&value, name.c_str(), ""));
    MutexLock lock(mutex);
    // Two threads read the same setting (Arm and a change): the read that
    // began last has the host's newest value.
    std::uint64_t& stored = settingStored[id];
    if (read < stored)
        return;
    stored = read;
    (definition.*setting).Value = value;
}

void VSharedConfigDevice::ApplyChangedParameters()
{
    IDeviceHost* to = nullptr;
    std::uint64_t sampleRateId = 0, syncModeId = 0, thresholdId = 0, zeroId = 0, scanId = 0;
    {
        MutexLock lock(mutex);
        to = services;
        sampleRateId = definition.SampleRate.Id;
        syncModeId = definition.SyncMode.Id;
        thresholdId = definition.DataThreshold.Id;
        zeroId = definition.BroadcastZero.Id;
        scanId = definition.ScanForHardware.Id;
    }
    if (!to)
        return;
    // Every host call without the lock: the host may call back into any
    // device from inside them.
    for (std::uint64_t id : changes.Read(*to, host)) {
        if (id == sampleRateId) {
            RefreshSetting(*to, &VSharedConfigParameterHolder::SampleRate);
            MutexLock lock(mutex);
            if (driver)
                driver->StopAcquisition();
            ReconcileSampleRate();
        } else if (id == syncModeId) {
            RefreshSetting(*to, &VSharedConfigParameterHolder::SyncMode);
            MutexLock lock(mutex);
            if (driver)
                driver->StopAcquisition();
            ApplySyncMode();
        } else if (id == thresholdId) {
            RefreshSetting(*to, &VSharedConfigParameterHolder::DataThreshold);
            MutexLock lock(mutex);
            ApplyDataThreshold();
        } else if (id == zeroId) {
            // After an Arm in progress (its lock), on this thread, without
            // the lock: the zero needs none of the device's state and may
            // wait for the service while a detection runs.
            {
                MutexLock lock(mutex);
            }
            if (driver)
                driver->ZeroPlatforms();
        } else if (id == scanId) {
            MutexLock lock(mutex);
            if (driver)
                DetectionCallbacks();
        }
    }
}

void VSharedConfigDevice::BeginRestart()
{
    synchronised = syncMode == SyncMode::Genlock;
    startTimeSet = false;
    startTime = 0.0;
    restartPending = true;
    restartStart = NoStart;
}

bool VSharedConfigDevice::Arm(unsigned int /*streamHandle*/, ICaptureSetup* /*setup*/)
{
    return Guarded(host, "Arm", false, [&] {
        const OperationGate::Pass pass(&gate);
        if (!pass.Admitted())
            return false;
        IDeviceHost* to = nullptr;
        {
            MutexLock lock(mutex);
            rearmRequired = false;
            if (!detectionSucceeded || plates.empty()) {
                synchronised = syncMode == SyncMode::Genlock;
                startTimeSet = false;
                startTime = 0.0;
                state = DeviceState::Stopped;
                return false;
            }
            // From here on no block aligns the capture or reaches a plate.
            BeginRestart();
            to = services;
        }
        // The one host call of Arm, without the lock: the host may call back.
        if (to)
            RefreshSetting(*to, &VSharedConfigParameterHolder::SampleRate);
        std::vector<boost::shared_ptr<VZORVATrelDevice>> armed;
        {
            // Held through the pause to the start: whatever another host
            // thread does to this device comes after the start.
            MutexLock lock(mutex);
            if (!detectionSucceeded || plates.empty()) {
                // A detection meanwhile found nothing to run.
                restartPending = false;
                state = DeviceState::Stopped;
                return false;
            }
            BeginRestart();
            if (services)
                ReconcileSampleRate();
            for (const boost::shared_ptr<VZORVATrelDevice>& plate : plates)
                plate->BeginSharedArm();
            restartRate = sampleRate;
            if (driver)
                driver->StopAcquisition();
            state = DeviceState::Armed;
            if (syncMode == SyncMode::Genlock) {
                // Genlock's sample numbers are the counters themselves, in
                // every capture, whatever an earlier capture aligned.
                for (const boost::shared_ptr<VZORVATrelDevice>& plate : plates)
                    plate->SetStartOffset(0);
            }
            Sleep(500);
            restartStart = driver ? driver->StartAcquisition() : 0;
            armed = plates;
        }
        // Pushes prepared before the restart reach the host before Arm returns.
        for (const boost::shared_ptr<VZORVATrelDevice>& plate : armed)
            plate->AwaitPush();
        return true;
    });
}

void VSharedConfigDevice::Reserved() {}

void VSharedConfigDevice::StartCapture(double hostTime)
{
    Guarded(host, "StartCapture", [&] {
        const OperationGate::Pass pass(&gate);
        if (!pass.Admitted())
            return;
        MutexLock lock(mutex);
        if (syncMode == SyncMode::SoftwareTrigger) {
            startTime = hostTime;
            startTimeSet = true;
        }
    });
}

void VSharedConfigDevice::Disarm()
{
    Guarded(host, "Disarm", [&] {
        const OperationGate::Pass pass(&gate);
        if (!pass.Admitted())
            return;
        MutexLock lock(mutex);
        acquiring = false;
        SetDeviceStates(DeviceState::Stopped);
    });
}

void VSharedConfigDevice::GetState(int* stateOut, bool* rearmRequiredOut)
{
    Guarded(host, "GetState", [&] {
        const OperationGate::Pass pass(&gate);
        if (!pass.Admitted()) {
            // Shut down: nothing runs any more.
            if (stateOut)
                *stateOut = static_cast<int>(DeviceState::Stopped);
            if (rearmRequiredOut)
                *rearmRequiredOut = false;
            return;
        }
        MutexLock lock(mutex);
        if (stateOut)
            *stateOut = static_cast<int>(state);
        if (rearmRequiredOut)
            *rearmRequiredOut = rearmRequired || StreamAtOtherRate();
    });
}

void VSharedConfigDevice::OnAcquisitionStateChanged(bool acquiringNow)
{
    Guarded(host, "OnAcquisitionStateChanged", [&] {
        IDeviceHost* notify = nullptr;
        {
            MutexLock lock(mutex);
            if (!acquiringNow) {
                // The stops of an Arm's own restart leave its set-up valid;
                // a stop after the restart (a new rate or mode) does not.
                if (acquiring && !restartPending)
                    rearmRequired = true;
                // The stop that Arm queues before its start leaves the armed state alone.
                if (state != DeviceState::Armed)
                    SetDeviceStates(DeviceState::Stopped);
                acquiring = false;
            } else {
                // Inside the callback the driver tells which start it reports;
                // an earlier Arm's start is not this restart.
                const bool latest = restartStart != NoStart && (!driver || driver->StartReported() >= restartStart);
                if (!restartPending || latest) {
                    if (restartPending) {
                        restartPending = false;
                        ++capture;
                        captureRate = restartRate;
                    }
                    SetDeviceStates(DeviceState::Acquiring);
                }
                acquiring = true;
            }
            notify = services;
        }
        // Unlocked: a host reads the new state from inside NotifyChanged.
        if (notify)
            notify->NotifyChanged();
    });
}

bool VSharedConfigDevice::ReadRateSetting(unsigned int& rate)
{
    try {
        // Through a signed type: a cast to unsigned would take "-1000" as 4294966296.
        const long long value = boost::lexical_cast<long long>(definition.SampleRate.Value.GetValue());
        if (value < 0 || value > static_cast<long long>(std::numeric_limits<unsigned int>::max()))
            return false;
        rate = static_cast<unsigned int>(value);
        return true;
    } catch (const boost::bad_lexical_cast&) {
        return false;
    }
}

bool VSharedConfigDevice::StreamAtOtherRate()
{
    // The latest Arm's rate, whether or not its start was reported yet: a
    // host asks right after arming.
    if (restartRate == 0)
        return false;
    for (const boost::shared_ptr<VZORVATrelDevice>& plate : plates) {
        const unsigned int declared = plate->StreamRate();
        if (declared != 0 && declared != restartRate)
            return true;
    }
    return false;
}

unsigned int VSharedConfigDevice::RateSetting(unsigned int fallback)
{
    unsigned int rate = fallback;
    // A text that is no rate: keep what the hardware runs at.
    return ReadRateSetting(rate) ? rate : fallback;
}

void VSharedConfigDevice::ReconcileSampleRate()
{
    if (!services)
        return;
    unsigned int requested = sampleRate;
    if (!ReadRateSetting(requested)) {
        requested = sampleRate;
        Log(host, LogLevel::Warning,
            boost::format("Sample rate \"%s\" is no acquisition rate; %d used instead") %
                definition.SampleRate.Value.GetValue() % requested);
    }

    // The supported rate nearest to the request; a tie goes to the lower rate.
    unsigned int chosen = requested;
    bool upperSeen = false;
    unsigned int upper = 0;
    for (int i = 0; i < supportedRateCount; ++i) {
        const unsigned int rate = supportedRates[i];
        if (rate == requested) {
            chosen = requested;
            break;
        }
        if (rate < requested) {
            chosen = (upperSeen && (requested - rate) > (upper - requested)) ? upper : rate;
            break;
        }
        upperSeen = true;
        upper = rate;
        chosen = rate; // every rate so far above the request: the smallest one
    }

    if (chosen != requested)
        Log(host, LogLevel::Warning,
            boost::format("Sample rate %d adjusted to %d to match devices") % requested % chosen);
    if (driver)
        driver->SetAcquisitionRate(chosen);
    for (const boost::shared_ptr<VZORVATrelDevice>& plate : plates)
        plate->SetSampleRate(chosen);
    sampleRate = chosen;
}

void VSharedConfigDevice::ApplySyncMode()
{
    if (!services)
        return;
    const std::string text = definition.SyncMode.Value.GetValue();
    SyncMode mode = SyncMode::SoftwareTrigger;
    if (!SyncModeFromText(text, mode))
        Log(host, LogLevel::Warning,
            boost::format("Sync mode \"%s\" is unknown; Software trigger used instead") % text);
    syncMode = mode;
    if (driver)
        driver->SetGenlockMode(mode == SyncMode::Genlock);
    for (const boost::shared_ptr<VZORVATrelDevice>& plate : plates)
        plate->SetSyncMode(mode);
}

void VSharedConfigDevice::ApplyDataThreshold()
{
    if (!services)
        return;
    const double threshold = definition.DataThreshold.Value.GetValue();
    if (!std::isfinite(threshold)) {
        // NaN and +infinity would blank every sample, -infinity none.
        Log(host, LogLevel::Warning,
            boost::format("Fz threshold %f refused; %f used instead") % threshold % dataThreshold);
        return;
    }
    dataThreshold = threshold;
    for (const boost::shared_ptr<VZORVATrelDevice>& plate : plates)
        plate->SetDataThreshold(threshold);
}

void VSharedConfigDevice::SetDeviceStates(DeviceState value)
{
    state = value;
    for (const boost::shared_ptr<VZORVATrelDevice>& plate : plates)
        plate->SetState(value);
}

} // namespace ZORVA
