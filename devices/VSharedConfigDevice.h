/// The plugin-wide device behind the host's "ZORVA Shared Config Device": the
/// settings common to all signal conditioners, hardware detection, arming,
/// and the hand-over of data blocks to the plate devices.
#pragma once

#include "DeviceState.h"
#include "VZORVATrelDevice.h"
#include "definitions/PlateMatching.h"
#include "contract/SyncMode.h"
#include "definitions/VSharedConfigDefinition.h"
#include "driver/VZORVADriverService.h"
#include "host/HostInterfaces.h"
#include "host/IDevice.h"

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include "win32/ThreadSafety.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace ZORVA {

/// Thread contract:
/// - Host threads call the IDevice operations; the driver's worker calls
///   OnAcquisitionStateChanged, OnDataReady and OnDetectionComplete.
/// - Each holds `mutex` while it works on the fields below; it guards every
///   field marked ZORVA_GUARDED_BY(mutex) (`host` and `driver` are fixed at
///   construction). Lock order: this lock, then a plate's lock, or this lock,
///   then the driver's locks (inside its operations).
/// - No call into the host but Log and GetTime is made with this lock (or a
///   plate's) held, so a host may call back into any device from inside any
///   of them: settings are read from the host before the lock is taken and
///   stored under it; samples are made under the locks and pushed after they
///   are released (`pushes`); notifications and instantiations are collected
///   under the lock and made after it, in the same order.
/// - Arm holds the lock from its reconciliation through its 500 ms pause to
///   its start, so a settings change, Disarm, another Arm, a zero or Shutdown
///   from another host thread comes after the start: a stop it asks for runs
///   after the start and tells the host to re-arm. Only Arm's read of the
///   rate from the host is made before, without the lock.
/// - Arm marks a restart under the lock in the section that clears the
///   alignment; until the driver reports the start of the latest Arm
///   (StartReported), every block is dropped, whatever Disarm or another
///   Arm does meanwhile: it was measured before the restart. Each reported
///   restart begins a new capture (`capture`); a plate's new stream takes
///   the blocks of a capture its previous stream did not.
/// - Arm's reconciliation may choose another rate than the plates armed
///   before it declared (a detection removed the unit that limited it):
///   the host is then told to re-arm, and those streams take no block of
///   the capture. Plates armed after the shared device declare the chosen
///   rate.
/// - Before Arm returns, the pushes prepared before it have reached the host
///   (bounded, see VZORVATrelDevice::AwaitPush).
/// - Settings read from the host without the lock are stored only if no read
///   that began later was stored first: the newest read wins.
/// - ParametersChanged runs on one thread at a time without a lock (see
///   ChangeRequests).
/// - `pushes` belongs to the worker: sized by a detection, filled and pushed
///   by the data path, both on the worker.
/// - `instantiator` is written by BeginDeviceInstantiation on the host's thread
///   without the lock, before the host attaches the device (hence before any
///   detection can read it).
/// - The worker's calls into the host that the host may answer by calling
///   back into a device (NotifyChanged, InstantiateDevice, the plates'
///   "Connected") are collected under the lock and made after it is
///   released, in the order a detection or state change makes them.
/// - No exception leaves an IDevice operation or a driver callback: each runs
///   behind a catch-all that logs the failure at level 2.
/// - Close (Shutdown, before the driver service goes) waits for the host's
///   calls in progress into this device and its plates and refuses later ones.
/// - Every plate device created lives until this device is destroyed
///   (`knownPlates`), whatever the detections find: the host holds plain
///   pointers to them.
class VSharedConfigDevice final : public MoldraDigitalDevice::IDevice
{
    ZORVA_HOST_OBJECT(VSharedConfigDevice)

public:
    /// Logs and reads the host's time through `host` (may be null); its
    /// settings start as `definition`'s (the plugin's static one).
    VSharedConfigDevice(MoldraDigitalDevice::IPluginHost* host, VZORVADriverService* driver,
                        const VSharedConfigDefinition& definition = VSharedConfigDefinition());
    VSharedConfigDevice(const VSharedConfigDevice&) = delete;
    VSharedConfigDevice& operator=(const VSharedConfigDevice&) = delete;
    ~VSharedConfigDevice();

    /// Registers the driver callbacks and starts the first detection.
    void Attach(MoldraDigitalDevice::IDeviceHost* services) override;
    /// Applies changed settings and runs the zero and detect actions.
    void ParametersChanged() override;
    /// Reconciles the rate, restarts acquisition; false without a successful
    /// detection that found a supported device.
    bool Arm(unsigned int streamHandle, MoldraDigitalDevice::ICaptureSetup* setup) override;
    void Reserved() override;
    /// Software trigger: host time (seconds) of the capture start.
    void StartCapture(double hostTime) override;
    void Disarm() override;
    void GetState(int* state, bool* rearmRequired) override;

    /// Worker thread: the driver reports acquisition started or stopped.
    void OnAcquisitionStateChanged(bool acquiringNow);
    /// Worker thread: one library block; aligns sample numbers once per Arm,
    /// then hands the block to every plate. Allocates nothing.
    void OnDataReady(float* block);
    /// Worker thread: the result of a detection.
    void OnDetectionComplete(const VZORVADriverService::VDllInitInfo& info,
                             const std::vector<VZORVADriverService::VDeviceInfo>& devices);

    /// Kept for the plate devices created after hardware detection. Written by
    /// BeginDeviceInstantiation on a host thread, read by detection on the worker.
    std::atomic<MoldraDigitalDevice::IDeviceInstantiator*> instantiator{nullptr};

    /// The plate devices of the latest detection, in detection order (a copy).
    std::vector<boost::shared_ptr<VZORVATrelDevice>> Plates();

    /// Shutdown: returns once no host call into this device or its plates is
    /// running (but the caller's own); later calls do nothing. Call before the
    /// driver service is released.
    void Close();

private:
    /// Host calls collected under the lock, made after it is released.
    typedef std::vector<boost::function<void()>> HostCalls;

    void TransferToPlates(float* block) ZORVA_EXCLUDES(mutex);
    /// Finds the counter that becomes host sample 0 (trigger marker or start
    /// time) and gives it to every plate; false when the block cannot align.
    bool Align(const float* block) ZORVA_REQUIRES(mutex);
    void ApplyChangedParameters() ZORVA_EXCLUDES(mutex);
    /// Reads a setting's value from the host into `definition`; the host is
    /// asked without the lock (a failed read leaves the value as it was), and
    /// a read that began before another one already stored is not stored.
    template <typename Value>
    void RefreshSetting(MoldraDigitalDevice::IDeviceHost& from,
                        VParameter<Value> VSharedConfigParameterHolder::*setting) ZORVA_EXCLUDES(mutex);
    void DetectionComplete(const VZORVADriverService::VDllInitInfo& info,
                           const std::vector<VZORVADriverService::VDeviceInfo>& devices, HostCalls& later)
        ZORVA_REQUIRES(mutex);
    void ReconcileSampleRate() ZORVA_REQUIRES(mutex);
    void ApplySyncMode() ZORVA_REQUIRES(mutex);
    void ApplyDataThreshold() ZORVA_REQUIRES(mutex);
    void SetDeviceStates(DeviceState state) ZORVA_REQUIRES(mutex);
    /// A plate's stream of the latest arming was declared to the host at
    /// another rate than the latest Arm started the units at: the host has
    /// to re-arm.
    bool StreamAtOtherRate() ZORVA_REQUIRES(mutex);
    /// What every Arm does first: no alignment, no start time, and blocks
    /// dropped until the restart is reported.
    void BeginRestart() ZORVA_REQUIRES(mutex);
    /// 0 accepted (0 resets the list), -1 unsupported product type.
    int UpdateSupportedRates(int productType) ZORVA_REQUIRES(mutex);
    /// The SampleRate setting's text as a rate; `fallback` when it is no number.
    unsigned int RateSetting(unsigned int fallback) ZORVA_REQUIRES(mutex);
    /// The SampleRate setting's text as a rate; false when it is none.
    bool ReadRateSetting(unsigned int& rate) ZORVA_REQUIRES(mutex);
    void DetectionCallbacks() ZORVA_REQUIRES(mutex);

    Mutex mutex;
    DeviceState state ZORVA_GUARDED_BY(mutex) = DeviceState::Stopped;
    bool rearmRequired ZORVA_GUARDED_BY(mutex) = true;
    bool detectionSucceeded ZORVA_GUARDED_BY(mutex) = false;
    bool acquiring ZORVA_GUARDED_BY(mutex) = false;
    unsigned int deviceCount ZORVA_GUARDED_BY(mutex) = 0;
    int supportedRateCount ZORVA_GUARDED_BY(mutex) = 0;
    /// Datasets per second, descending.
    unsigned int supportedRates[StandardRateCount] ZORVA_GUARDED_BY(mutex);
    /// The rate last sent to the hardware, datasets per second.
    unsigned int sampleRate ZORVA_GUARDED_BY(mutex) = 1000;
    std::vector<int> triggerMarkers ZORVA_GUARDED_BY(mutex);
    bool synchronised ZORVA_GUARDED_BY(mutex) = false;
    bool startTimeSet ZORVA_GUARDED_BY(mutex) = false;
    /// Host time of the capture start, seconds.
    double startTime ZORVA_GUARDED_BY(mutex) = 0.0;
    SyncMode syncMode ZORVA_GUARDED_BY(mutex) = SyncMode::SoftwareTrigger;
    /// Newtons: the Fz threshold the plates use (a refused setting keeps it).
    double dataThreshold ZORVA_GUARDED_BY(mutex) = 20.0;
    MoldraDigitalDevice::IPluginHost* const host;
    VZORVADriverService* const driver;
    std::vector<boost::shared_ptr<VZORVATrelDevice>> plates ZORVA_GUARDED_BY(mutex);
    /// Every plate device ever created, by identity key, in creation order.
    /// Units whose identities are equal each keep their own plate.
    std::multimap<IdentityKey, boost::shared_ptr<VZORVATrelDevice>> knownPlates ZORVA_GUARDED_BY(mutex);
    MoldraDigitalDevice::IDeviceHost* services ZORVA_GUARDED_BY(mutex) = nullptr;
    /// ParametersChanged calls, and the cursor of GetChangedParameters.
    ChangeRequests changes;
    /// An Arm's restart is under way: blocks are dropped until the driver
    /// reports the start `restartStart` (NoStart until that Arm queued it).
    bool restartPending ZORVA_GUARDED_BY(mutex) = false;
    static constexpr std::uint64_t NoStart = ~std::uint64_t(0);
    std::uint64_t restartStart ZORVA_GUARDED_BY(mutex) = NoStart;
    /// The capture under way: counts the restarts the driver reported.
    CaptureNumber capture ZORVA_GUARDED_BY(mutex) = 0;
    /// Datasets per second the latest Arm started the units at, and the rate
    /// of the capture under way (0: none yet).
    unsigned int restartRate ZORVA_GUARDED_BY(mutex) = 0;
    unsigned int captureRate ZORVA_GUARDED_BY(mutex) = 0;
    /// Orders the reads of settings from the host: the number of the latest
    /// read begun, and per setting id the number of the read stored last.
    std::uint64_t settingReads ZORVA_GUARDED_BY(mutex) = 0;
    std::map<std::uint64_t, std::uint64_t> settingStored ZORVA_GUARDED_BY(mutex);
    /// Shared with the plates: Shutdown waits for the host's calls in progress.
    OperationGate gate;
    /// One per plate: the worker's samples of a block on their way to the host.
    std::vector<PendingPush> pushes;
    VSharedConfigDefinition definition ZORVA_GUARDED_BY(mutex);
};

/// The standard model (1 to 19) a detected platform is, by the text of its
/// model or else by its size; 0 for none (MatchPlate's standard rules).
int MatchPlateModel(VZORVADriverService::VDeviceInfo info);
/// The platform part of a unit's record, as MatchPlate takes it.
PlatformIdentity PlatformOf(const VZORVADriverService::VDeviceInfo& info);

} // namespace ZORVA
