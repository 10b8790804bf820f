/// An in-process host for the plugin, built only from the host's interface
/// declarations and the value classes, as any host would be: it implements
/// every host interface, keeps the registered definitions and the accepted
/// devices with their parameters (by name and by the id the definition gave),
/// applies the user's settings, sets up the capture streams, and hands every
/// log line and every pushed block to the sinks its owner gives. It keeps
/// nothing that grows with time: no log, no samples, no call list.
///
/// The development host and the data-path benchmark run the plugin on it; the
/// tests' recording host (tests/support/RecordingHost.h) is one with a
/// recorder, fault injection and call-back hooks on top. A subclass may
/// override any host operation and call the one here for the host's answer.
///
/// Threads: the plugin calls the host operations on any of its threads (Log,
/// InstantiateDevice, NotifyChanged, GetTime and PushSamples from its worker)
/// while the owner's thread is inside the plugin. `mutex_` of the host and of
/// each Instance guard the fields marked so, held only while one is read or
/// written, never while the plugin or a sink is called. Sinks run on the
/// plugin's thread that made the call, without a host lock; they must not
/// throw (nothing may escape into the plugin) and should not block it long.
#pragma once

#include "hostkit/Values.h"
#include "host/HostInterfaces.h"
#include "host/IDevice.h"
#include "win32/ThreadSafety.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace hostkit {

using MoldraDigitalDevice::HostResult;
using MoldraDigitalDevice::IDevice;

typedef ZORVA::AnnotatedMutex<std::mutex> Mutex;
typedef ZORVA::ScopedLock<Mutex> Lock;

struct LogLine
{
    std::string text;
    int level = 0; ///< 0 trace, 1 information, 2 warning, 3 failed detection
};

struct DefinedParameter
{
    std::string name;
    std::string displayName;
    std::string description;
    std::string group;
    bool definitionFlag = false;
    std::shared_ptr<IParameterValue> value; ///< the host's copy of the starting value
    std::uint64_t id = 0;
};

struct DefinedOutput
{
    std::string name;
    int quantity = 0; ///< 13 force, 14 moment, 1 centre of pressure
    std::vector<std::string> channels;
};

/// One BeginDefinition ... EndDefinition.
struct Definition
{
    std::string manufacturer, name, version, description, deviceType, addLabel, extra;
    std::vector<DefinedParameter> parameters;
    std::vector<DefinedOutput> outputs;
    std::vector<std::string> syncPorts;
    bool ended = false;

    /// The parameter with this name, or null.
    const DefinedParameter* Parameter(const std::string& parameterName) const;
};

/// One PushSamples call as a sample sink sees it. The pointers are the
/// plugin's and valid only during the call: a sink copies what it keeps.
struct SampleBlock
{
    double hostTime = 0.0; ///< the host's clock when the block arrived (Host::Now)
    unsigned int stream = 0;
    std::int64_t frame = 0; ///< the host sample number of the block's first sample
    int samplesPerBlock = 0;
    const int* outputs = nullptr;
    int outputCount = 0;
    const float* values = nullptr; ///< samplesPerBlock rows of valueCount / samplesPerBlock values
    int valueCount = 0;
};

class Host;

/// The services of one device the host accepted (IDevice::Attach gets it):
/// the host's values of the device's parameters, the ids the user changed,
/// and the device's pushed blocks on their way to the host's sample sink.
class Instance : public MoldraDigitalDevice::IDeviceHost
{
public:
    Instance(Host& host, std::string deviceName);
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    virtual ~Instance() = default;

    MoldraDigitalDevice::HostResult* GetParameterValue(IParameterValue* value, const char* name,
                                                       const char* scope) override;
    MoldraDigitalDevice::HostResult* SetParameterValue(IParameterValue* value, const char* name,
                                                       const char* scope) override;
    unsigned int GetChangedParameterCount() override;
    MoldraDigitalDevice::HostResult* GetChangedParameters(unsigned int* cursor, std::uint64_t* ids,
                                                          unsigned int* count) override;
    /// Counts the block, keeps its values as the latest and hands it to the
    /// host's sample sink.
    MoldraDigitalDevice::HostResult* PushSamples(unsigned int stream, std::int64_t frame, int samplesPerBlock,
                                                 const int* outputs, int outputCount, const float* values,
                                                 int valueCount) override;
    /// Counts the call and tells the host's notify sink.
    void NotifyChanged() override;

    const std::string& DeviceName() const { return deviceName_; }
    /// The device these services belong to (set when the host accepts it).
    IDevice* Device() const;
    void SetDevice(IDevice* device);

    /// The host's starting value of a parameter (from the definition), not reported as a change.
    void SeedParameter(const std::string& name, IParameterValue& value);
    /// The user changes a parameter: the host stores the value and reports `id`.
    void ChangeParameter(const std::string& name, IParameterValue& value, std::uint64_t id);
    /// The same with the id the device's definition gave the parameter; false
    /// (nothing changed) when the definition has no parameter of that name.
    bool ChangeParameter(const std::string& name, IParameterValue& value);
    /// The host's current value of a parameter (a copy), or null.
    std::shared_ptr<IParameterValue> Parameter(const std::string& name) const;

    std::size_t PushCount() const;
    /// The values of the latest PushSamples call; empty before the first.
    std::vector<float> LatestValues() const;
    int NotifyCount() const;

    /// The ids of the definition's parameters, by name (set when the host accepts the device).
    void SetParameterIds(std::map<std::string, std::uint64_t> ids);

protected:
    Host& host_;
    mutable Mutex mutex_;
    /// The ids reported, change n (from 1) at index n-1: it grows with the
    /// user's changes only, never with time or samples.
    std::vector<std::uint64_t> changes_ ZORVA_GUARDED_BY(mutex_);

private:
    const std::string deviceName_;
    IDevice* device_ ZORVA_GUARDED_BY(mutex_) = nullptr;
    std::map<std::string, std::shared_ptr<IParameterValue>> parameters_ ZORVA_GUARDED_BY(mutex_);
    std::map<std::string, std::uint64_t> ids_ ZORVA_GUARDED_BY(mutex_);
    std::size_t pushCount_ ZORVA_GUARDED_BY(mutex_) = 0;
    std::vector<float> latest_ ZORVA_GUARDED_BY(mutex_); ///< reuses its storage after the first block
    int notifyCount_ ZORVA_GUARDED_BY(mutex_) = 0;
};

/// A device the plugin offered through InstantiateDevice.
struct InstanceRecord
{
    std::string manufacturer, definitionName, version, deviceName;
    IDevice* device = nullptr;
    bool accepted = false;
    std::shared_ptr<Instance> services; ///< created when accepted
};

/// The capture set-up object handed to IDevice::Arm: the host takes each
/// setting; the last ticks per sample give the host's armed rate
/// (Host::ArmedRate).
class CaptureSetup : public MoldraDigitalDevice::ICaptureSetup
{
public:
    explicit CaptureSetup(Host& host) : host_(host) {}
    virtual ~CaptureSetup() = default;
    HostResult* SetTicksPerSample(unsigned int ticks) override;
    HostResult* AddSyncInput(const char* portName, int edge, int tolerance, int reserved1, int reserved2,
                             bool enabled) override;
    void SetTimingMode(int mode) override;
    HostResult* SetSamplesPerBlock(unsigned int samples) override;

protected:
    Host& host_;
};

class Host : public MoldraDigitalDevice::IPluginHost,
             public MoldraDigitalDevice::IDefinitionRegistry,
             public MoldraDigitalDevice::IDeviceInstantiator
{
public:
    /// Every log line, in the order the plugin wrote it on each thread.
    typedef std::function<void(const LogLine&)> LogSink;
    /// Every pushed block, after the instance counted it.
    typedef std::function<void(Instance&, const SampleBlock&)> SampleSink;
    /// Every NotifyChanged of an accepted device.
    typedef std::function<void(Instance&)> NotifySink;

    Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;
    virtual ~Host();

    // IPluginHost
    /// Hands the line to the log sink.
    void Log(const char* message, int level) override;
    unsigned int GetTickRate() override;
    void ReservedSlot3() override;
    /// Now().
    double GetTime() override;

    // IDefinitionRegistry: each call adds to the definition begun last.
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
    /// Accepts every device: its services start with its definition's values.
    HostResult* InstantiateDevice(const char* manufacturer, const char* definitionName, const char* version,
                                  const char* deviceName, IDevice* device) override;

    /// Set before the plugin runs, or at any time; null: none. Called on the plugin's threads.
    void SetLogSink(LogSink sink);
    void SetSampleSink(SampleSink sink);
    void SetNotifySink(NotifySink sink);

    /// The host's clock, seconds: `clock` when given, else a steady clock
    /// that reads 0 when the host was made.
    void SetClock(std::function<double()> clock);
    virtual double Now();
    void SetTickRate(unsigned int ticksPerSecond);

    std::vector<Definition> Definitions() const;
    /// The definition a device was offered with, or none (an empty name).
    Definition DefinitionOf(const InstanceRecord& device) const;
    /// Every device the plugin offered, in order.
    std::vector<InstanceRecord> Instances() const;
    /// Attaches every accepted device that is not attached yet, in order, as
    /// a host does after the plugin's call that instantiated it.
    void AttachNewDevices();

    // What a user does in a host.
    /// Changes a parameter of an accepted device by name (the id is the
    /// definition's) and tells the device; false when it has no such parameter.
    bool ChangeSetting(const InstanceRecord& device, const std::string& parameter, IParameterValue& value);
    /// Presses an action button of an accepted device.
    bool Press(const InstanceRecord& device, const std::string& action);

    // The capture.
    /// Arms every accepted device, each with a new stream handle: the others
    /// first, the first one (the shared device, which starts the library)
    /// last, so a library that delivers at once (a replay does) finds every
    /// plate armed and the rate known. `refusals` lists the others that
    /// refused. True when the first one armed.
    bool ArmAll(std::string& refusals);
    void StartCapture(double hostTime);
    void DisarmAll();
    /// The acquisition rate of the last arming, datasets per second: the rate
    /// the shared device's SampleRate setting offers that the ticks per sample
    /// stand for (RateOfTicks); 0 before any. Cheap: a sink may call it on
    /// every block.
    unsigned int ArmedRate() const { return armedRate_; }

protected:
    friend class Instance;
    friend class CaptureSetup;

    /// Notes a device the plugin offered; an accepted one gets services
    /// (NewInstance) that start with its definition's values.
    void AddInstance(const char* manufacturer, const char* definitionName, const char* version, const char* deviceName,
                     IDevice* device, bool accepted);
    /// The services of a newly accepted device; a subclass makes its own kind.
    virtual std::shared_ptr<Instance> NewInstance(const std::string& deviceName);
    /// A failed result with this message, released by the plugin.
    virtual HostResult* Failure(const std::string& message);
    /// Called by CaptureSetup::SetTicksPerSample: works out the armed rate
    /// with the tick rate the plugin divided (the host's own, not through
    /// GetTickRate, which a subclass may record or hook).
    void NoteTicksPerSample(unsigned int ticks);

    void DeliverSamples(Instance& instance, const SampleBlock& block);
    void DeliverNotify(Instance& instance);

private:
    mutable Mutex mutex_;
    std::vector<Definition> definitions_ ZORVA_GUARDED_BY(mutex_);
    std::vector<InstanceRecord> instances_ ZORVA_GUARDED_BY(mutex_);
    std::size_t attached_ ZORVA_GUARDED_BY(mutex_) = 0;
    LogSink logSink_ ZORVA_GUARDED_BY(mutex_);
    /// Read on every block: a copy under the lock would allocate.
    std::shared_ptr<const SampleSink> sampleSink_ ZORVA_GUARDED_BY(mutex_);
    NotifySink notifySink_ ZORVA_GUARDED_BY(mutex_);
    std::function<double()> clock_ ZORVA_GUARDED_BY(mutex_);
    const std::chrono::steady_clock::time_point clockStart_;
    std::atomic<unsigned int> tickRate_{1000000};
    std::atomic<unsigned int> armedRate_{0};
    unsigned int streams_ = 0; ///< the owner's thread only
};

/// A failed result that frees itself at its last release.
HostResult* NewFailure(const std::string& message);

/// The acquisition rate a device armed at, from the ticks per sample it
/// declared: it divides the host's tick rate by its rate and truncates, so
/// the quotient back (1 000 000 / 555 for 1800) is not the rate. It is the
/// rate among `offered` (datasets per second) with tickRate / rate == ticks;
/// where a coarse tick rate gives several of them the same ticks, `setting`
/// (the rate the user chose) if it is one of them, else the highest. When
/// no offered rate gives these ticks (no list, or a device that arms at a rate
/// of its own), tickRate / ticks. 0 for 0 ticks: the rate cannot be told.
unsigned int RateOfTicks(unsigned int tickRate, unsigned int ticks, const std::vector<unsigned int>& offered,
                         unsigned int setting);

} // namespace hostkit
