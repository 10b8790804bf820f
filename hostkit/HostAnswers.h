/// The host kit's answers to the plugin's calls: every host interface the
/// plugin calls (IPluginHost, IDefinitionRegistry, IDeviceInstantiator, and
/// per device IDeviceHost and ICaptureSetup), and nothing its owner calls
/// (Host.h has that). A subclass (the tests' recording host) may override any
/// of them and call the one here for the host's answer.
///
/// Threads: the plugin calls these on any of its threads (Log,
/// InstantiateDevice, NotifyChanged, GetTime and PushSamples from its worker)
/// while the owner's thread is inside the plugin. `mutex_` of the host and of
/// each device guard the fields marked so, held only while one is read or
/// written, never while the plugin or an owner's sink is called.
#pragma once

#include "host/HostInterfaces.h"
#include "host/IDevice.h"
#include "hostkit/HostRecords.h"
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

class HostAnswers;

/// The answers to one accepted device's calls (IDevice::Attach gets it): the
/// host's values of the device's parameters, the ids the user changed, and
/// the device's pushed blocks and NotifyChanged on their way to the owner.
class DeviceAnswers : public MoldraDigitalDevice::IDeviceHost
{
public:
    DeviceAnswers(const DeviceAnswers&) = delete;
    DeviceAnswers& operator=(const DeviceAnswers&) = delete;
    virtual ~DeviceAnswers() = default;

    MoldraDigitalDevice::HostResult* GetParameterValue(IParameterValue* value, const char* name,
                                                       const char* scope) override;
    MoldraDigitalDevice::HostResult* SetParameterValue(IParameterValue* value, const char* name,
                                                       const char* scope) override;
    unsigned int GetChangedParameterCount() override;
    MoldraDigitalDevice::HostResult* GetChangedParameters(unsigned int* cursor, std::uint64_t* ids,
                                                          unsigned int* count) override;
    /// Counts the block, keeps its values as the latest and hands it on (Delivered).
    MoldraDigitalDevice::HostResult* PushSamples(unsigned int stream, std::int64_t frame, int samplesPerBlock,
                                                 const int* outputs, int outputCount, const float* values,
                                                 int valueCount) override;
    /// Counts the call and hands it on (Notified).
    void NotifyChanged() override;

    const std::string& DeviceName() const { return deviceName_; }

protected:
    DeviceAnswers(HostAnswers& host, std::string deviceName);

    /// The owner's side of a pushed block and of a NotifyChanged, after they were counted.
    virtual void Delivered(const SampleBlock& block) = 0;
    virtual void Notified() = 0;

    /// The device these answers belong to (set when the host accepts it).
    IDevice* Device() const;

    HostAnswers& host_;
    mutable Mutex mutex_;
    /// The ids reported, change n (from 1) at index n-1: it grows with the
    /// user's changes only, never with time or samples.
    std::vector<std::uint64_t> changes_ ZORVA_GUARDED_BY(mutex_);
    std::map<std::string, std::shared_ptr<IParameterValue>> parameters_ ZORVA_GUARDED_BY(mutex_);
    std::map<std::string, std::uint64_t> ids_ ZORVA_GUARDED_BY(mutex_);
    std::size_t pushCount_ ZORVA_GUARDED_BY(mutex_) = 0;
    std::vector<float> latest_ ZORVA_GUARDED_BY(mutex_); ///< reuses its storage after the first block
    int notifyCount_ ZORVA_GUARDED_BY(mutex_) = 0;

private:
    friend class HostAnswers;

    void SetDevice(IDevice* device);

    const std::string deviceName_;
    IDevice* device_ ZORVA_GUARDED_BY(mutex_) = nullptr;
};

/// The capture set-up object handed to IDevice::Arm: the host takes each
/// setting; the last ticks per sample give the host's armed rate
/// (Host::ArmedRate).
class CaptureSetup : public MoldraDigitalDevice::ICaptureSetup
{
public:
    explicit CaptureSetup(HostAnswers& host) : host_(host) {}
    virtual ~CaptureSetup() = default;
    HostResult* SetTicksPerSample(unsigned int ticks) override;
    HostResult* AddSyncInput(const char* portName, int edge, int tolerance, int reserved1, int reserved2,
                             bool enabled) override;
    void SetTimingMode(int mode) override;
    HostResult* SetSamplesPerBlock(unsigned int samples) override;

protected:
    HostAnswers& host_;
};

class HostAnswers : public MoldraDigitalDevice::IPluginHost,
                    public MoldraDigitalDevice::IDefinitionRegistry,
                    public MoldraDigitalDevice::IDeviceInstantiator
{
public:
    HostAnswers(const HostAnswers&) = delete;
    HostAnswers& operator=(const HostAnswers&) = delete;
    virtual ~HostAnswers();

    // IPluginHost
    /// Hands the line on (Logged).
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
    /// Accepts every device: its answers start with its definition's values.
    HostResult* InstantiateDevice(const char* manufacturer, const char* definitionName, const char* version,
                                  const char* deviceName, IDevice* device) override;

    /// The host's clock, seconds, as GetTime answers it (Host::SetClock).
    double Now();

protected:
    friend class DeviceAnswers;
    friend class CaptureSetup;

    HostAnswers();

    /// The owner's side of a log line (its sink).
    virtual void Logged(const LogLine& line) = 0;
    /// The answers to a newly accepted device's calls; a subclass makes its own kind.
    virtual std::shared_ptr<Instance> NewInstance(const std::string& deviceName) = 0;
    /// A failed result with this message, released by the plugin.
    virtual HostResult* Failure(const std::string& message);

    /// Notes a device the plugin offered; an accepted one gets answers
    /// (NewInstance) that start with its definition's values.
    void AddInstance(const char* manufacturer, const char* definitionName, const char* version, const char* deviceName,
                     IDevice* device, bool accepted);
    /// The plugin's device of every offered device, in the order of Offered():
    /// for a subclass that calls the plugin as a test's host does.
    std::vector<IDevice*> OfferedInterfaces() const;
    /// The definition a device was offered with, or none (an empty name).
    Definition DefinitionOf(const OfferedDevice& device) const;

    /// Called by CaptureSetup::SetTicksPerSample: works out the armed rate
    /// with the tick rate the plugin divided (the host's own, not through
    /// GetTickRate, which a subclass may record or hook).
    void NoteTicksPerSample(unsigned int ticks);

    /// A device offered, with the plugin's interface of it (the owner gets `offered` only).
    struct Offer
    {
        OfferedDevice offered;
        IDevice* device = nullptr;
    };

    mutable Mutex mutex_;
    std::vector<Definition> definitions_ ZORVA_GUARDED_BY(mutex_);
    std::vector<Offer> offers_ ZORVA_GUARDED_BY(mutex_);
    std::function<double()> clock_ ZORVA_GUARDED_BY(mutex_);
    const std::chrono::steady_clock::time_point clockStart_;
    std::atomic<unsigned int> tickRate_{1000000};
    std::atomic<unsigned int> armedRate_{0};
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
