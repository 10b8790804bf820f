/// The tests' host: the host kit's host (hostkit/Host.h) with a recorder on
/// top. It records each call the plugin makes with its arguments in order,
/// keeps every log line and, on request, every pushed block, fails or throws
/// from chosen calls, runs a test's hook inside any host operation, slows
/// chosen calls down, counts the results it hands out (kept until the process
/// ends, so one released twice is counted, not a crash), and checks that no
/// call comes with a plugin lock held (SetLockCheck, which every test program
/// installs: tests/support/LockCheck.cpp). Its stores only grow: it is for
/// tests, not for long captures.
///
/// Threads: the plugin may call Log, InstantiateDevice, NotifyChanged, GetTime
/// and PushSamples from its worker thread while a host thread is inside the
/// plugin. Every recording goes through one mutex (`mutex_`), held only while
/// a record is written or read, never while the plugin is called.
#pragma once

#include "hostkit/Host.h"

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

using hostkit::CopyValue;
using hostkit::DescribeValue;
using hostkit::NewValueOfType;
using hostkit::Quote;
using hostkit::ValuePtr;

typedef hostkit::DefinedParameter RecordedParameter;
typedef hostkit::DefinedOutput RecordedOutput;
typedef hostkit::Definition RecordedDefinition;
typedef hostkit::LogLine LogLine;

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

/// The per-device services object handed to IDevice::Attach: the kit's,
/// recorded, with the tests' controls.
class DeviceServices : public hostkit::Instance
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

    std::vector<PushedBlock> PushedBlocks() const;

    /// A host that calls back into the plugin: `hook` runs inside every
    /// NotifyChanged, on the plugin's thread (null: none).
    void CallBackOnNotify(std::function<void()> hook);
    /// GetChangedParameterCount answers `count` from now on, whatever changed
    /// (the ids written stay the real ones).
    void AnnounceChangedCount(unsigned int count);
    /// A host that re-armed the device with stream `handle` (handles rising):
    /// from now on a push on a lower one is counted (OldStreamPushes).
    void CloseStreamsBelow(unsigned int handle) { openFrom_ = handle; }
    /// Pushes that reached this host on a stream closed by CloseStreamsBelow.
    int OldStreamPushes() const { return oldStreamPushes_; }

private:
    RecordingHost& recorder_;
    std::function<void()> notifyHook_;
    bool countAnnounced_ = false;
    unsigned int announcedCount_ = 0;
    std::vector<PushedBlock> pushed_;
    std::atomic<unsigned int> openFrom_{0};
    std::atomic<int> oldStreamPushes_{0};
};

/// The capture set-up object handed to IDevice::Arm: the kit's, recorded.
class CaptureSetup : public hostkit::CaptureSetup
{
public:
    explicit CaptureSetup(RecordingHost& host);
    HostResult* SetTicksPerSample(unsigned int ticks) override;
    HostResult* AddSyncInput(const char* portName, int edge, int tolerance, int reserved1, int reserved2,
                             bool enabled) override;
    void SetTimingMode(int mode) override;
    HostResult* SetSamplesPerBlock(unsigned int samples) override;

private:
    RecordingHost& recorder_;
};

struct InstantiatedDevice
{
    std::string manufacturer, definitionName, version, deviceName;
    MoldraDigitalDevice::IDevice* device = nullptr;
    bool accepted = false;
    std::shared_ptr<DeviceServices> services; ///< created when accepted
};

class RecordingHost : public hostkit::Host
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
    std::vector<InstantiatedDevice> Instantiated() const;
    /// Called on the plugin's thread for every log line (after it was recorded).
    void SetLogObserver(std::function<void(const LogLine&)> observer);
    void SetTime(double seconds);
    /// Each GetTime advances the SetTime clock by `seconds` after reading it;
    /// negative: a clock that runs backwards.
    void SetTimeStep(double seconds);
    /// GetTime reads a real clock (seconds since this call) instead of SetTime's value.
    void UseRealClock();
    /// GetTime reads `clock` (seconds), e.g. the simulated library's virtual clock.
    void UseClock(std::function<double()> clock);
    const ResultTracker& Results() const { return results_; }

protected:
    std::shared_ptr<hostkit::Instance> NewInstance(const std::string& deviceName) override;
    HostResult* Failure(const std::string& message) override;

private:
    friend class DeviceServices;
    friend class CaptureSetup;

    /// Records a call and returns its injected failure, or null.
    HostResult* Record(const std::string& call);
    /// The lock check and the call-back hook of a host operation the plugin
    /// called; `detail` (the call's text, or the device's name) only goes
    /// into a report. Allocates nothing unless it reports.
    void Enter(const char* operation, const std::string& detail);

    /// The recorder's own; the kit's host and each instance have theirs.
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<LogLine> logs_;
    std::vector<std::pair<std::string, std::string>> exactFailures_;
    std::vector<std::pair<std::string, std::string>> prefixFailures_;
    std::vector<std::pair<std::string, std::string>> prefixThrows_;
    bool failPushSamples_ = false;
    std::string pushFailure_;
    std::atomic<std::int64_t> pushDelayMicroseconds_{0};
    std::atomic<std::int64_t> instantiateDelayMicroseconds_{0};
    bool readStateOnNotify_ = false;
    std::map<std::string, std::function<void()>, std::less<>> callBacks_;
    /// The SetTime clock is the host's (its one clock, Host::SetClock) until
    /// UseClock or UseRealClock; GetTime steps it.
    bool manualClock_ = true;
    double timeStep_ = 0.0;
    double time_ = 0.0;
    ResultTracker results_;
};

} // namespace zorvahost
