/// The live device of one force plate read through one signal conditioner.
#pragma once

#include "ChangedParameters.h"
#include "DeviceState.h"
#include "OperationGate.h"
#include "contract/SyncMode.h"
#include "contract/UnitIdentity.h"
#include "definitions/VZORVAGenericPlateDefinition.h"
#include "driver/BlockLayout.h"
#include "driver/VZORVADriverService.h"
#include "host/HostInterfaces.h"
#include "host/IDevice.h"
#include "values/ParameterValues.h"

#include <boost/function.hpp>
#include "win32/ThreadSafety.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace ZORVA {

class VSharedConfigDevice;

/// One plate's samples of one library block: made under the locks, handed to
/// the host after they are released (the host may call back into any device
/// from inside PushSamples). Lives on the worker's stack or in a buffer sized
/// at detection: the data path allocates nothing.
class VZORVATrelDevice;

struct PendingPush
{
    static const int SamplesPerBlock = BlockLayout::SamplesPerBlock;
    static const int ValuesPerSample = BlockLayout::ValuesPerSample;

    /// Null: nothing to push.
    MoldraDigitalDevice::IDeviceHost* services = nullptr;
    /// The plate whose push this is: told when it has reached the host.
    VZORVATrelDevice* plate = nullptr;
    unsigned int stream = 0;
    std::int64_t frame = 0;
    const int* outputs = nullptr;
    float values[SamplesPerBlock * ValuesPerSample];

    /// One PushSamples call (its result released unread), if there is
    /// anything to push; call with no plugin lock held.
    void Push();
};

/// Numbers the captures of a session: a capture begins when the driver
/// reports the restart of the latest Arm. A stream takes the blocks of one
/// capture; AnyCapture lets a plate used on its own take every block.
typedef std::uint64_t CaptureNumber;
const CaptureNumber AnyCapture = std::numeric_limits<CaptureNumber>::max();

/// Thread contract:
/// - Host threads call the IDevice operations; the driver's worker thread
///   calls the constructor, SetConnected, SetDeviceIndex and TransferBlock
///   (through the shared device, whose lock it then holds).
/// - `mutex` guards every field marked ZORVA_GUARDED_BY(mutex); the others are
///   set by the constructor and only read afterwards. SetDataThreshold and
///   SetSyncMode take it too, as do SetState, SetSampleRate, SetStartOffset,
///   BeginSharedArm and StreamRate: the shared device calls them under its
///   own lock while a host thread may be arming the plate, which reads or
///   writes what they touch. Lock order: the shared device's lock, then this
///   one; the plate never takes the shared device's.
/// - No call into the host but Log and GetTime is made with this lock (or the
///   shared device's) held: a host may call back into any device from inside
///   any of them. Samples are made under the lock and pushed after it is
///   released (PendingPush); Arm's capture set-up, the tick rate, the change
///   queries and the parameter writes are made without it.
/// - ParametersChanged runs on one thread at a time without a lock (see
///   ChangeRequests): a call that arrives while another runs leaves the work
///   to the running one.
/// - A push made under one arming never reaches the host after a later Arm
///   of the plate returned: Arm waits for the push in progress (a bounded
///   time; not on the thread that is pushing, whose host called back).
/// - "Connected" reaches the host one write at a time, the last write with
///   the newest value (OneAtATime), whichever thread changed it.
/// - No exception leaves an IDevice operation: each runs behind a catch-all
///   that logs the failure at level 2 and returns a safe result.
/// - After `gate` is closed (Shutdown) every IDevice operation returns at
///   once with a safe result.
class VZORVATrelDevice final : public MoldraDigitalDevice::IDevice
{
    ZORVA_HOST_OBJECT(VZORVATrelDevice)

public:
    /// Runs on the worker inside detection; copies what it needs from `info`
    /// and `definition` (null: the generic plate).
    VZORVATrelDevice(unsigned int sampleRate, const VZORVADriverService::VDeviceInfo& info,
                     const VZORVAGenericPlateDefinition* definition, MoldraDigitalDevice::IPluginHost* host,
                     VZORVADriverService* driver, OperationGate* gate = nullptr);
    VZORVATrelDevice(const VZORVATrelDevice&) = delete;
    VZORVATrelDevice& operator=(const VZORVATrelDevice&) = delete;
    ~VZORVATrelDevice();

    /// Publishes identity, origin and "Connected"; a null `services` is ignored.
    void Attach(MoldraDigitalDevice::IDeviceHost* services) override;
    /// Blinks the signal conditioner when the host reports the blink action.
    void ParametersChanged() override;
    /// Declares the data stream: 16 samples a block, ticks per sample, timing
    /// mode 2, and in hardware-trigger mode on the first unit the sync input.
    bool Arm(unsigned int streamHandle, MoldraDigitalDevice::ICaptureSetup* setup) override;
    void Reserved() override;
    void StartCapture(double hostTime) override;
    void Disarm() override;
    /// Reports `state` and false.
    void GetState(int* state, bool* rearmRequired) override;

    /// Sets "Connected" and tells the host (once attached), without holding
    /// the plate's lock while it does.
    virtual void SetConnected(bool connected);
    /// Sets "Connected" without telling the host, for a caller that holds its
    /// own locks; PublishConnected tells it afterwards.
    void MarkConnected(bool connected) ZORVA_EXCLUDES(mutex);
    /// Tells the host the current "Connected" (once attached); no lock held.
    void PublishConnected() ZORVA_EXCLUDES(mutex);
    /// Newtons; caller holds the shared device's lock.
    virtual void SetDataThreshold(double threshold);
    /// Caller holds the shared device's lock.
    virtual void SetSyncMode(SyncMode mode);
    void SetDeviceIndex(int index);
    /// Datasets per second, as the shared device reconciled them with every
    /// unit; caller holds the shared device's lock.
    void SetSampleRate(unsigned int rate) ZORVA_EXCLUDES(mutex);
    /// The state the shared device gives all plates; caller holds its lock.
    void SetState(DeviceState value) ZORVA_EXCLUDES(mutex);
    /// The library counter that becomes host sample 0 (0: the counters
    /// themselves, as in genlock); caller holds the shared device's lock.
    void SetStartOffset(std::int64_t offset) ZORVA_EXCLUDES(mutex);

    /// Turns this plate's records of one library block into 16 samples of
    /// force, moment and centre of pressure in `out` (out.services null:
    /// nothing for the host). `deviceCount` units share the block. Runs on the
    /// worker, with the shared device's lock held when it comes from there;
    /// allocates nothing. A stream the host opened by a new Arm takes blocks
    /// only while `captureOpen` (the shared device's capture runs, or
    /// genlock): until then the old capture's sample numbers would show on it.
    /// `capture` is the capture the block belongs to: a stream armed after
    /// the plate took blocks of a capture waits for the next one.
    /// `captureRate` is the rate the capture was started at (0: unknown): a
    /// stream declared at another rate takes none of its blocks, whose
    /// sample numbers would stand for other times.
    void PrepareBlock(const float* block, unsigned int deviceCount, bool captureOpen, CaptureNumber capture,
                      unsigned int captureRate, PendingPush& out) ZORVA_EXCLUDES(mutex);
    /// PrepareBlock, then the push, without any lock held.
    void TransferBlock(const float* block, unsigned int deviceCount, bool captureOpen = true) ZORVA_EXCLUDES(mutex);
    /// The push PrepareBlock made has reached the host (or was refused).
    void PushFinished() ZORVA_EXCLUDES(mutex);
    /// Returns once the push in progress (if any) has reached the host, at
    /// most PushWaitMs later; at once on the pushing thread.
    void AwaitPush() ZORVA_EXCLUDES(mutex);

    /// Longest wait for a push in progress, ms: a host that takes longer is
    /// logged, and the arming goes on.
    static constexpr int PushWaitMs = 1000;

    /// The shared device's Arm begins: a stream declared since its previous
    /// Arm belongs to this arming (host arms plates first), any other is left
    /// out of StreamRate. Caller holds the shared device's lock.
    void BeginSharedArm() ZORVA_EXCLUDES(mutex);
    /// Datasets per second this plate's stream for the latest arming was
    /// declared at, whether the host armed it before or after the shared
    /// device; 0 when the host did not arm it for that arming.
    unsigned int StreamRate() ZORVA_EXCLUDES(mutex);

    /// The name the host knows the plate by: amplifier serial and platform serial, joined.
    const std::string& Name() const { return name; }
    const VZORVAGenericPlateDefinition& Definition() const { return definition; }
    /// Identity key: (amplifier model + serial, platform model + serial).
    IdentityKey Identity() const;

private:
    void ApplyChangedParameters() ZORVA_EXCLUDES(mutex);
    void AwaitPushLocked(UniqueLock<Mutex>& lock) ZORVA_REQUIRES(mutex);

    Mutex mutex;
    VZORVADriverService* const driver;
    MoldraDigitalDevice::IDeviceHost* services ZORVA_GUARDED_BY(mutex) = nullptr;
    MoldraDigitalDevice::IPluginHost* const host;
    MoldraDigitalDevice::IParameterValueBool connected ZORVA_GUARDED_BY(mutex);
    int deviceIndex ZORVA_GUARDED_BY(mutex);
    /// Sensor-origin offsets, metres, with the signs the transfer needs.
    std::vector<float> origin ZORVA_GUARDED_BY(mutex);
    std::vector<int> outputIndices;
    unsigned int streamHandle ZORVA_GUARDED_BY(mutex) = 0;
    /// ParametersChanged calls, and the cursor of GetChangedParameters.
    ChangeRequests changes;
    std::string name;
    VZORVAGenericPlateDefinition definition;
    std::string amplifierModel;
    std::string amplifierSerial;
    std::string platformModel;
    std::string platformSerial;
    std::string firmwareVersion;
    DeviceState state ZORVA_GUARDED_BY(mutex) = DeviceState::Acquiring;
    SyncMode syncMode ZORVA_GUARDED_BY(mutex) = SyncMode::SoftwareTrigger;
    /// Datasets per second.
    unsigned int sampleRate ZORVA_GUARDED_BY(mutex);
    /// Library counter value that becomes host sample 0; 0 until aligned.
    std::int64_t startOffset ZORVA_GUARDED_BY(mutex) = 0;
    /// Sum of counter wrap-arounds, a multiple of 2^24.
    std::int64_t wrapOffset ZORVA_GUARDED_BY(mutex) = 0;
    /// Counter of this plate's first sample in the previous block; -1 after Arm.
    std::int64_t lastCounter ZORVA_GUARDED_BY(mutex) = -1;
    /// Datasets per second the latest Arm declared to the host (0: none);
    /// whether that Arm came after the shared device's latest Arm; and the
    /// declared rate the shared device's latest Arm found (0: none).
    unsigned int declaredRate ZORVA_GUARDED_BY(mutex) = 0;
    bool declaredSinceSharedArm ZORVA_GUARDED_BY(mutex) = false;
    unsigned int rateAtSharedArm ZORVA_GUARDED_BY(mutex) = 0;
    /// A block of a capture at another rate than the stream's was dropped
    /// and logged: logged once per stream.
    bool rateMismatchLogged ZORVA_GUARDED_BY(mutex) = false;
    /// Set by Arm: the stream waits for the capture it was armed for.
    bool newStream ZORVA_GUARDED_BY(mutex) = false;
    /// The capture whose blocks the current stream took first (0: none yet),
    /// and the first capture a stream armed now may take.
    CaptureNumber streamCapture ZORVA_GUARDED_BY(mutex) = 0;
    CaptureNumber firstCapture ZORVA_GUARDED_BY(mutex) = 1;
    /// A push is on its way to the host, from `pushThread`.
    bool pushInFlight ZORVA_GUARDED_BY(mutex) = false;
    DWORD pushThread ZORVA_GUARDED_BY(mutex) = 0;
    std::condition_variable_any pushDone;
    /// Counts the changes of "Connected" (Attach keeps a detection's verdict
    /// that came while it ran), and its writes to the host.
    unsigned int connectedChanges ZORVA_GUARDED_BY(mutex) = 0;
    OneAtATime connectedWrites;
    OperationGate* const gate;
    /// Newtons; samples with |Fz| at or below it are blanked.
    double dataThreshold ZORVA_GUARDED_BY(mutex) = 20.0;
};

} // namespace ZORVA
