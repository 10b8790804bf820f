/// An in-process host for the plugin, built only from the host's interface
/// declarations and the value classes, as any host would be. This is its
/// owner's side: the registered definitions and the devices the plugin
/// offered, what a user does in a host (settings, action buttons, arming),
/// the clock, and sinks for every log line, pushed block and NotifyChanged.
/// Its answers to the plugin's calls are HostAnswers.h. It keeps nothing that
/// grows with time: no log, no samples, no call list.
///
/// The development host and the benchmarks run the plugin on it; the tests'
/// recording host (tests/support/RecordingHost.h) is one with a recorder,
/// fault injection and call-back hooks on top.
///
/// Threads: the owner's thread calls the members here; the plugin calls the
/// answers on its threads (HostAnswers.h). Sinks run on the plugin's thread
/// that made the call, without a host lock; they must not throw (nothing may
/// escape into the plugin) and should not block it long.
#pragma once

#include "hostkit/HostAnswers.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace hostkit {

class Host;

/// One accepted device as its owner sees it: the host's current values of its
/// parameters, what the user changes, and counts of what it pushed.
class Instance : public DeviceAnswers
{
public:
    Instance(Host& host, std::string deviceName);

    /// The host's starting value of a parameter (from the definition), not reported as a change.
    void SeedParameter(const std::string& name, IParameterValue& value);
    /// The user changes a parameter: the host stores the value and reports `id`.
    void ChangeParameter(const std::string& name, IParameterValue& value, std::uint64_t id);
    /// The same with the id the device's definition gave the parameter; false
    /// (nothing changed) when the definition has no parameter of that name.
    bool ChangeParameter(const std::string& name, IParameterValue& value);
    /// The host's current value of a parameter (a copy), or null.
    std::shared_ptr<IParameterValue> Parameter(const std::string& name) const;
    /// The text of an enumeration or text parameter; empty for none or another class.
    std::string Text(const std::string& name) const;
    /// A double parameter's value; 0 for none or another class.
    double Number(const std::string& name) const;
    /// A bool parameter's value; false for none or another class.
    bool Flag(const std::string& name) const;

    std::size_t PushCount() const;
    /// The values of the latest PushSamples call; empty before the first.
    std::vector<float> LatestValues() const;
    int NotifyCount() const;

    /// The ids of the definition's parameters, by name (set when the host accepts the device).
    void SetParameterIds(std::map<std::string, std::uint64_t> ids);

protected:
    void Delivered(const SampleBlock& block) override;
    void Notified() override;

private:
    friend class Host;

    Host& owner_;
};

class Host : public HostAnswers
{
public:
    /// Every log line, in the order the plugin wrote it on each thread.
    typedef std::function<void(const LogLine&)> LogSink;
    /// Every pushed block, after the instance counted it.
    typedef std::function<void(Instance&, const SampleBlock&)> SampleSink;
    /// Every NotifyChanged of an accepted device.
    typedef std::function<void(Instance&)> NotifySink;

    Host();
    virtual ~Host();

    /// Set before the plugin runs, or at any time; null: none. Called on the plugin's threads.
    void SetLogSink(LogSink sink);
    void SetSampleSink(SampleSink sink);
    void SetNotifySink(NotifySink sink);

    /// The one way to set the host's clock (seconds; GetTime and the blocks'
    /// hostTime read it): `clock`, or null for the host's own steady clock,
    /// which reads 0 when the host was made.
    void SetClock(std::function<double()> clock);
    using HostAnswers::Now;
    void SetTickRate(unsigned int ticksPerSecond);

    std::vector<Definition> Definitions() const;
    /// The definition a device was offered with, or none (an empty name).
    using HostAnswers::DefinitionOf;
    /// Every device the plugin offered, in order.
    std::vector<OfferedDevice> Instances() const;
    /// Attaches every accepted device that is not attached yet, in order, as
    /// a host does after the plugin's call that instantiated it.
    void AttachNewDevices();

    // What a user does in a host.
    /// Changes a parameter of an accepted device by name (the id is the
    /// definition's) and tells the device; false when it has no such parameter.
    bool ChangeSetting(const OfferedDevice& device, const std::string& parameter, IParameterValue& value);
    /// Presses an action button of an accepted device.
    bool Press(const OfferedDevice& device, const std::string& action);
    /// The device's GetState; stopped for a device the host did not accept.
    DeviceStatus StatusOf(const OfferedDevice& device) const;

    // The capture.
    /// Arms every accepted device, each with a new stream handle: the others
    /// first, the first one (the shared device, which starts the library)
    /// last, so a library that delivers at once (a replay does) finds every
    /// plate armed and the rate known.
    ArmResult ArmAll();
    void StartCapture(double hostTime);
    void DisarmAll();
    /// The acquisition rate of the last arming, datasets per second: the rate
    /// the shared device's SampleRate setting offers that the ticks per sample
    /// stand for (RateOfTicks); 0 before any. Cheap: a sink may call it on
    /// every block.
    unsigned int ArmedRate() const { return armedRate_; }

protected:
    friend class Instance;

    void Logged(const LogLine& line) override;
    std::shared_ptr<Instance> NewInstance(const std::string& deviceName) override;

    void DeliverSamples(Instance& instance, const SampleBlock& block);
    void DeliverNotify(Instance& instance);

private:
    /// The plugin's interface of an accepted device; null for another.
    IDevice* InterfaceOf(const OfferedDevice& device) const;

    /// Guards the sinks, which the plugin's threads read.
    mutable Mutex sinkMutex_;
    LogSink logSink_ ZORVA_GUARDED_BY(sinkMutex_);
    /// Read on every block: a copy under the lock would allocate.
    std::shared_ptr<const SampleSink> sampleSink_ ZORVA_GUARDED_BY(sinkMutex_);
    NotifySink notifySink_ ZORVA_GUARDED_BY(sinkMutex_);
    std::size_t attached_ = 0; ///< the owner's thread only
    unsigned int streams_ = 0; ///< the owner's thread only
};

} // namespace hostkit
