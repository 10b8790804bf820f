/// A host of our own: implements every host interface, records each call with
/// its arguments in order, keeps parameter values the way a host does (copying
/// the plugin's values through CopyTo), and fails chosen calls on request.
///
/// Built only from the host interface declarations and the value classes, as
/// any host would be; the tests and the development host drive the plugin with
/// it.
///
/// Threads: the plugin may call Log, InstantiateDevice, NotifyChanged, GetTime
/// and PushSamples from its worker thread while a host thread is inside the
/// plugin. Every recording goes through one mutex (`mutex_`), held only while
/// a record is written or read, never while the plugin is called.
#pragma once

#include "host/HostInterfaces.h"
#include "host/IDevice.h"
#include "values/ParameterValues.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zorvahost {

using MoldraDigitalDevice::HostResult;
using MoldraDigitalDevice::IParameterValue;

/// A value object the host owns, destroyed through its interface.
typedef std::unique_ptr<IParameterValue, MoldraDigitalDevice::HostObjectDeleter> ValuePtr;

/// A new default value of the class with this type code, or null.
ValuePtr NewValueOfType(int type);
/// A copy made through CopyTo, as a host keeps it; null if the copy fails.
ValuePtr CopyValue(IParameterValue& value);
/// One-line description of a value: class, content, flags, extras.
std::string DescribeValue(IParameterValue& value);
/// A text quoted as a C string literal.
std::string Quote(const char* text);

struct RecordedParameter
{
    std::string name;
    std::string displayName;
    std::string description;
    std::string group;
    bool definitionFlag = false;
    std::shared_ptr<IParameterValue> value; ///< the host's copy
    std::uint64_t id = 0;
};

struct RecordedOutput
{
    std::string name;
    int quantity = 0;
    std::vector<std::string> channels;
};

struct RecordedDefinition
{
    std::string manufacturer, name, version, description, deviceType, addLabel, extra;
    std::vector<RecordedParameter> parameters;
    std::vector<RecordedOutput> outputs;
    std::vector<std::string> syncPorts;
    bool ended = false;

    /// The parameter with this name, or null.
    const RecordedParameter* Parameter(const std::string& parameterName) const;
};

struct LogLine
{
    std::string text;
    int level = 0;
};

struct PushedBlock
{
    double hostTime = 0.0; ///< the host's clock when the block arrived (as GetTime reads it, unstepped)
    unsigned int stream = 0;
    std::int64_t frame = 0;
    int samplesPerBlock = 0;
    std::vector<int> outputs;
    std::vector<float> values;
};

/// The plugin's count of its own locks the calling thread holds; null: none known.
typedef int (*LockProbe)();
/// Told (on the plugin's thread) of a call the plugin made into the host while
/// it held `locksHeld` of its own locks.
typedef std::function<void(const std::string& call, int locksHeld)> LockViolationHandler;

/// Process-wide: every host call the plugin makes (but Log and GetTime, which
/// it may make under its locks) asks `probe` and tells `handler` when the
/// plugin holds a lock. A host that calls back into a device from inside such
/// a call would deadlock there. Null probe: no check.
void SetLockCheck(LockProbe probe, LockViolationHandler handler);
/// Calls made with a plugin lock held since the process started.
int LockViolationCount();

/// Tracks HostResult objects handed to the plugin: each must be released once.
class ResultTracker
{
public:
    HostResult* Create(const std::string& message);
    int Outstanding() const;
    int Created() const;
    /// Releases of an already released result (faults of the plugin).
    int OverReleased() const;

private:
    friend class TrackedResult;
    mutable std::mutex mutex_;
    int created_ = 0;
    int released_ = 0;
    int overReleased_ = 0;
};

class RecordingHost;

/// The per-device services object handed to IDevice::Attach.
class DeviceServices : public MoldraDigitalDevice::IDeviceHost
{
public:
    DeviceServices(RecordingHost& host, std::string deviceName);

    HostResult* GetParameterValue(IParameterValue* value, const char* name, const char* scope) override;
    HostResult* SetParameterValue(IParameterValue* value, const char* name, const char* scope) override;
    unsigned int GetChangedParameterCount() override;
    HostResult* GetChangedParameters(unsigned int* cursor, std::uint64_t* ids, unsigned int* count) override;
    HostResult* PushSamples(unsigned int stream, std::int64_t frame, int samplesPerBlock, const int* outputs,
                            int outputCount, const float* values, int valueCount) override;
    void NotifyChanged() override;

    /// The host's starting value of a parameter (from the definition), not reported as a change.
    void SeedParameter(const std::string& name, IParameterValue& value);
    /// The user changes a parameter: the host stores the value and reports `id`.
    void ChangeParameter(const std::string& name, IParameterValue& value, std::uint64_t id);
    /// The host's current value of a parameter (a copy), or null.
    std::shared_ptr<IParameterValue> Parameter(const std::string& name) const;
    std::vector<PushedBlock> PushedBlocks() const;
    int NotifyCount() const;
    /// Keep pushed values (default) or only count the blocks.
    void KeepSamples(bool keep);
    std::size_t PushCount() const;
    /// The values of the latest PushSamples call (kept or not); empty before the first.
    std::vector<float> LatestValues() const;
    const std::string& DeviceName() const { return deviceName_; }

    /// A host that calls back into the plugin: `hook` runs inside every
    /// NotifyChanged, on the plugin's thread (null: none).
    void CallBackOnNotify(std::function<void()> hook);
    /// GetChangedParameterCount answers `count` from now on, whatever changed
    /// (the ids written stay the real ones).
    void AnnounceChangedCount(unsigned int count);
    /// The device this services object belongs to (set by InstantiateDevice).
    MoldraDigitalDevice::IDevice* Device() const;
    void SetDevice(MoldraDigitalDevice::IDevice* device);

private:
    RecordingHost& host_;
    std::string deviceName_;
    MoldraDigitalDevice::IDevice* device_ = nullptr;
    std::function<void()> notifyHook_;
    bool countAnnounced_ = false;
    unsigned int announcedCount_ = 0;
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<IParameterValue>> parameters_;
    std::vector<std::uint64_t> changes_; ///< change n (from 1) at index n-1
    std::vector<PushedBlock> pushed_;
    std::size_t pushCount_ = 0;
    std::vector<float> latest_; ///< reuses its storage after the first block
    bool keepSamples_ = true;
    int notifyCount_ = 0;
};

/// The capture set-up object handed to IDevice::Arm.
class CaptureSetup : public MoldraDigitalDevice::ICaptureSetup
{
public:
    explicit CaptureSetup(RecordingHost& host) : host_(host) {}
    HostResult* SetTicksPerSample(unsigned int ticks) override;
    HostResult* AddSyncInput(const char* portName, int edge, int tolerance, int reserved1, int reserved2,
                             bool enabled) override;
    void SetTimingMode(int mode) override;
    HostResult* SetSamplesPerBlock(unsigned int samples) override;

private:
    RecordingHost& host_;
};

struct InstantiatedDevice
{
    std::string manufacturer, definitionName, version, deviceName;
    MoldraDigitalDevice::IDevice* device = nullptr;
    bool accepted = false;
    std::shared_ptr<DeviceServices> services; ///< created when accepted
};

class RecordingHost : public MoldraDigitalDevice::IPluginHost,
                      public MoldraDigitalDevice::IDefinitionRegistry,
                      public MoldraDigitalDevice::IDeviceInstantiator
{
public:
    RecordingHost();
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;
    virtual ~RecordingHost();

    // IPluginHost
    void Log(const char* message, int level) override;
    unsigned int GetTickRate() override;
    void ReservedSlot3() override;
    double GetTime() override;

    // IDefinitionRegistry
    HostResult* BeginDefinition(const char* manufacturer, const char* name, const char* version,
                                const char* description, const char* deviceType, const char* addLabel,
                                const char* extra) override;
    HostResult* AddParameter(const char* name, const char* displayName, const char* description, const char* group,
                             bool definitionFlag, IParameterValue* value, std::uint64_t id) override;
    HostResult* AddSyncPort(const char* portName) override;
    HostResult* AddOutput(const char* name, int quantity) override;
    HostResult* AddChannel(const char* name) override;
    HostResult* ReservedSlot6() override;
    HostResult* EndDefinition() override;

    // IDeviceInstantiator
    HostResult* InstantiateDevice(const char* manufacturer, const char* definitionName, const char* version,
                                  const char* deviceName, MoldraDigitalDevice::IDevice* device) override;

    /// Every later call whose recorded text equals `callText` fails with `message`.
    void FailCall(const std::string& callText, const std::string& message);
    /// Every later call whose recorded text starts with `prefix` fails with `message`.
    void FailCallsStartingWith(const std::string& prefix, const std::string& message);
    /// Every later call whose recorded text starts with `prefix` throws
    /// std::runtime_error(`message`) after it was recorded: a host that lets
    /// an exception out into the plugin.
    void ThrowFromCallsStartingWith(const std::string& prefix, const std::string& message);
    /// Every later PushSamples fails with `message` (the block is still recorded).
    void FailPushSamples(const std::string& message);
    /// A slow host: every PushSamples takes this long (real time, not the
    /// Win32 layer's Sleep, which virtual time would skip). May change at any time.
    void SetPushSamplesDelay(std::chrono::microseconds delay);
    /// A slow host: every InstantiateDevice takes this long (real time).
    void SetInstantiateDelay(std::chrono::microseconds delay);
    /// A host that reads the state of a device inside its NotifyChanged (on
    /// the plugin's thread), for every device it instantiated.
    void ReadStateOnNotify(bool on);
    /// A host that calls back into the plugin from inside its operation
    /// `operation` ("PushSamples", "GetParameterValue", "SetParameterValue",
    /// "GetChangedParameterCount", "GetChangedParameters", "NotifyChanged",
    /// "InstantiateDevice", "SetSamplesPerBlock", "SetTicksPerSample",
    /// "SetTimingMode", "AddSyncInput", "GetTickRate"): `hook` runs inside every such call, on the
    /// plugin's thread, before the host answers. Null: none.
    void CallBackFrom(const std::string& operation, std::function<void()> hook);

    /// The calls recorded so far (all but Log, GetTime, GetTickRate), in order.
    std::vector<std::string> Calls() const;
    std::vector<LogLine> Logs() const;
    std::vector<RecordedDefinition> Definitions() const;
    std::vector<InstantiatedDevice> Instantiated() const;
    /// Called on the plugin's thread for every log line (after it was recorded).
    void SetLogObserver(std::function<void(const LogLine&)> observer);
    /// Echo every log line to standard output as it arrives.
    void EchoLogs(bool echo);
    void SetTime(double seconds);
    /// Each GetTime advances the SetTime clock by `seconds` after reading it;
    /// negative: a clock that runs backwards.
    void SetTimeStep(double seconds);
    /// GetTime reads a real clock (seconds since this call) instead of SetTime's value.
    void UseRealClock();
    /// GetTime reads `clock` (seconds), e.g. the simulated library's virtual clock.
    void UseClock(std::function<double()> clock);
    void SetTickRate(unsigned int ticksPerSecond);
    const ResultTracker& Results() const { return results_; }
    /// Attaches every accepted device that is not attached yet, in order.
    void AttachNewDevices();

private:
    friend class DeviceServices;
    friend class CaptureSetup;

    /// Records a call and returns its injected failure, or null.
    HostResult* Record(const std::string& call);
    /// The lock check and the call-back hook of a host operation the plugin
    /// called; `detail` (the call's text, or the device's name) only goes
    /// into a report. Allocates nothing unless it reports.
    void Enter(const char* operation, const std::string& detail);
    /// The clock GetTime reads, without stepping it.
    double Now();

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<LogLine> logs_;
    std::vector<RecordedDefinition> definitions_;
    std::vector<InstantiatedDevice> instantiated_;
    std::vector<std::pair<std::string, std::string>> exactFailures_;
    std::vector<std::pair<std::string, std::string>> prefixFailures_;
    std::vector<std::pair<std::string, std::string>> prefixThrows_;
    bool failPushSamples_ = false;
    std::string pushFailure_;
    std::atomic<std::int64_t> pushDelayMicroseconds_{0};
    std::atomic<std::int64_t> instantiateDelayMicroseconds_{0};
    bool readStateOnNotify_ = false;
    std::map<std::string, std::function<void()>, std::less<>> callBacks_;
    std::function<double()> clock_;
    double timeStep_ = 0.0;
    std::function<void(const LogLine&)> logObserver_;
    bool echoLogs_ = false;
    double time_ = 0.0;
    bool realClock_ = false;
    std::chrono::steady_clock::time_point clockStart_;
    unsigned int tickRate_ = 1000000;
    std::size_t attached_ = 0;
    ResultTracker results_;
};

} // namespace zorvahost
