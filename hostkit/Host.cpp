#include "hostkit/Host.h"

namespace hostkit {

using namespace MoldraDigitalDevice;

// ---------------------------------------------------------------- host

Host::Host() = default;

Host::~Host() = default;

void Host::Logged(const LogLine& line)
{
    LogSink sink;
    {
        Lock lock(sinkMutex_);
        sink = logSink_;
    }
    if (sink)
        sink(line);
}

std::shared_ptr<Instance> Host::NewInstance(const std::string& deviceName)
{
    return std::make_shared<Instance>(*this, deviceName);
}

void Host::SetClock(std::function<double()> clock)
{
    Lock lock(mutex_);
    clock_ = std::move(clock);
}

void Host::SetTickRate(unsigned int ticksPerSecond) { tickRate_ = ticksPerSecond; }

void Host::SetLogSink(LogSink sink)
{
    Lock lock(sinkMutex_);
    logSink_ = std::move(sink);
}

void Host::SetSampleSink(SampleSink sink)
{
    std::shared_ptr<const SampleSink> shared = sink ? std::make_shared<const SampleSink>(std::move(sink)) : nullptr;
    Lock lock(sinkMutex_);
    sampleSink_ = std::move(shared);
}

void Host::SetNotifySink(NotifySink sink)
{
    Lock lock(sinkMutex_);
    notifySink_ = std::move(sink);
}

std::vector<Definition> Host::Definitions() const
{
    Lock lock(mutex_);
    return definitions_;
}

std::vector<OfferedDevice> Host::Instances() const
{
    std::vector<OfferedDevice> devices;
    Lock lock(mutex_);
    for (const Offer& offer : offers_)
        devices.push_back(offer.offered);
    return devices;
}

void Host::AttachNewDevices()
{
    for (;;) {
        Offer offer;
        {
            Lock lock(mutex_);
            if (attached_ >= offers_.size())
                return;
            offer = offers_[attached_++];
        }
        if (offer.offered.accepted)
            offer.device->Attach(offer.offered.services.get());
    }
}

IDevice* Host::InterfaceOf(const OfferedDevice& device) const
{
    return device.accepted && device.services ? device.services->Device() : nullptr;
}

bool Host::ChangeSetting(const OfferedDevice& device, const std::string& parameter, IParameterValue& value)
{
    IDevice* const plugin = InterfaceOf(device);
    if (!plugin || !device.services->ChangeParameter(parameter, value))
        return false;
    plugin->ParametersChanged();
    return true;
}

bool Host::Press(const OfferedDevice& device, const std::string& action)
{
    IParameterValueAction press;
    return ChangeSetting(device, action, press);
}

DeviceStatus Host::StatusOf(const OfferedDevice& device) const
{
    DeviceStatus status;
    if (IDevice* const plugin = InterfaceOf(device))
        plugin->GetState(&status.state, &status.rearmRequired);
    return status;
}

ArmResult Host::ArmAll()
{
    ArmResult result;
    std::vector<OfferedDevice> accepted;
    for (const OfferedDevice& device : Instances()) {
        if (device.accepted)
            accepted.push_back(device);
    }
    if (accepted.empty())
        return result;
    CaptureSetup setup(*this);
    for (std::size_t i = 1; i < accepted.size(); ++i) {
        // Each arming gets new stream handles, as a host numbers its streams per capture set-up.
        if (!InterfaceOf(accepted[i])->Arm(streams_++, &setup))
            result.refused.push_back(accepted[i].deviceName);
    }
    result.armed = InterfaceOf(accepted[0])->Arm(streams_++, &setup);
    return result;
}

void Host::StartCapture(double hostTime)
{
    for (const OfferedDevice& device : Instances()) {
        if (IDevice* const plugin = InterfaceOf(device))
            plugin->StartCapture(hostTime);
    }
}

void Host::DisarmAll()
{
    for (const OfferedDevice& device : Instances()) {
        if (IDevice* const plugin = InterfaceOf(device))
            plugin->Disarm();
    }
}

void Host::DeliverSamples(Instance& instance, const SampleBlock& block)
{
    std::shared_ptr<const SampleSink> sink;
    {
        Lock lock(sinkMutex_);
        sink = sampleSink_;
    }
    if (sink && *sink)
        (*sink)(instance, block);
}

void Host::DeliverNotify(Instance& instance)
{
    NotifySink sink;
    {
        Lock lock(sinkMutex_);
        sink = notifySink_;
    }
    if (sink)
        sink(instance);
}

// ---------------------------------------------------------------- instance

Instance::Instance(Host& host, std::string deviceName) : DeviceAnswers(host, std::move(deviceName)), owner_(host) {}

void Instance::Delivered(const SampleBlock& block) { owner_.DeliverSamples(*this, block); }

void Instance::Notified() { owner_.DeliverNotify(*this); }

void Instance::SetParameterIds(std::map<std::string, std::uint64_t> ids)
{
    Lock lock(mutex_);
    ids_ = std::move(ids);
}

void Instance::SeedParameter(const std::string& name, IParameterValue& value)
{
    std::shared_ptr<IParameterValue> copy = CopyValue(value);
    Lock lock(mutex_);
    if (copy)
        parameters_[name] = copy;
}

void Instance::ChangeParameter(const std::string& name, IParameterValue& value, std::uint64_t id)
{
    std::shared_ptr<IParameterValue> copy = CopyValue(value);
    Lock lock(mutex_);
    if (copy)
        parameters_[name] = copy;
    changes_.push_back(id);
}

bool Instance::ChangeParameter(const std::string& name, IParameterValue& value)
{
    std::uint64_t id = 0;
    {
        Lock lock(mutex_);
        const auto it = ids_.find(name);
        if (it == ids_.end())
            return false;
        id = it->second;
    }
    ChangeParameter(name, value, id);
    return true;
}

std::shared_ptr<IParameterValue> Instance::Parameter(const std::string& name) const
{
    Lock lock(mutex_);
    auto it = parameters_.find(name);
    return it == parameters_.end() ? nullptr : it->second;
}

std::string Instance::Text(const std::string& name) const { return TextOf(Parameter(name).get()); }

double Instance::Number(const std::string& name) const { return NumberOf(Parameter(name).get()); }

bool Instance::Flag(const std::string& name) const { return FlagOf(Parameter(name).get()); }

std::size_t Instance::PushCount() const
{
    Lock lock(mutex_);
    return pushCount_;
}

std::vector<float> Instance::LatestValues() const
{
    Lock lock(mutex_);
    return latest_;
}

int Instance::NotifyCount() const
{
    Lock lock(mutex_);
    return notifyCount_;
}

} // namespace hostkit
