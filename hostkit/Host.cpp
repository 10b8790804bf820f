#include "hostkit/Host.h"

#include <algorithm>

namespace hostkit {

using namespace MoldraDigitalDevice;

namespace {

std::string Text(const char* text) { return text ? text : ""; }

/// The setting whose offered values are the acquisition rates, as decimal texts.
const char kRateSetting[] = "SampleRate";

/// A rate text ("1800") as a number; 0 for anything but decimal digits that fit.
unsigned int RateOfText(const std::string& text)
{
    if (text.empty() || text.size() > 9)
        return 0;
    unsigned int rate = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        rate = rate * 10 + static_cast<unsigned int>(c - '0');
    }
    return rate;
}

class Failed final : public HostResult
{
public:
    explicit Failed(std::string message) : message_(std::move(message)) {}
    const char* GetMessage() override { return message_.c_str(); }
    void AddRef() override { ++references_; }
    void Release() override
    {
        if (--references_ == 0)
            delete this;
    }

private:
    ~Failed() = default;
    std::string message_;
    std::atomic<int> references_{1};
};

} // namespace

HostResult* NewFailure(const std::string& message) { return new Failed(message); }

unsigned int RateOfTicks(unsigned int tickRate, unsigned int ticks, const std::vector<unsigned int>& offered,
                         unsigned int setting)
{
    if (ticks == 0)
        return 0;
    unsigned int found = 0;
    for (unsigned int rate : offered) {
        if (rate == 0 || tickRate / rate != ticks)
            continue;
        if (rate == setting)
            return rate;
        found = std::max(found, rate);
    }
    return found ? found : tickRate / ticks;
}

const DefinedParameter* Definition::Parameter(const std::string& parameterName) const
{
    for (const DefinedParameter& parameter : parameters) {
        if (parameter.name == parameterName)
            return &parameter;
    }
    return nullptr;
}

// ---------------------------------------------------------------- host

Host::Host() : clockStart_(std::chrono::steady_clock::now()) {}

Host::~Host() = default;

void Host::Log(const char* message, int level)
{
    LogSink sink;
    {
        Lock lock(mutex_);
        sink = logSink_;
    }
    if (sink)
        sink(LogLine{Text(message), level});
}

unsigned int Host::GetTickRate() { return tickRate_; }

void Host::ReservedSlot3() {}

double Host::GetTime() { return Now(); }

double Host::Now()
{
    std::function<double()> clock;
    {
        Lock lock(mutex_);
        clock = clock_;
    }
    if (clock)
        return clock();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - clockStart_).count();
}

void Host::SetClock(std::function<double()> clock)
{
    Lock lock(mutex_);
    clock_ = std::move(clock);
}

void Host::SetTickRate(unsigned int ticksPerSecond) { tickRate_ = ticksPerSecond; }

void Host::SetLogSink(LogSink sink)
{
    Lock lock(mutex_);
    logSink_ = std::move(sink);
}

void Host::SetSampleSink(SampleSink sink)
{
    std::shared_ptr<const SampleSink> shared = sink ? std::make_shared<const SampleSink>(std::move(sink)) : nullptr;
    Lock lock(mutex_);
    sampleSink_ = std::move(shared);
}

void Host::SetNotifySink(NotifySink sink)
{
    Lock lock(mutex_);
    notifySink_ = std::move(sink);
}

HostResult* Host::BeginDefinition(const char* manufacturer, const char* name, const char* version,
                                  const char* description, const char* deviceType, const char* addLabel,
                                  const char* extra)
{
    Definition definition;
    definition.manufacturer = Text(manufacturer);
    definition.name = Text(name);
    definition.version = Text(version);
    definition.description = Text(description);
    definition.deviceType = Text(deviceType);
    definition.addLabel = Text(addLabel);
    definition.extra = Text(extra);
    Lock lock(mutex_);
    definitions_.push_back(std::move(definition));
    return nullptr;
}

HostResult* Host::AddParameter(const char* name, const char* displayName, const char* description, const char* group,
                               bool definitionFlag, IParameterValue* value, std::uint64_t id)
{
    DefinedParameter parameter;
    parameter.name = Text(name);
    parameter.displayName = Text(displayName);
    parameter.description = Text(description);
    parameter.group = Text(group);
    parameter.definitionFlag = definitionFlag;
    if (value)
        parameter.value = CopyValue(*value);
    parameter.id = id;
    Lock lock(mutex_);
    if (!definitions_.empty())
        definitions_.back().parameters.push_back(std::move(parameter));
    return nullptr;
}

HostResult* Host::AddSyncPort(const char* portName)
{
    Lock lock(mutex_);
    if (!definitions_.empty())
        definitions_.back().syncPorts.push_back(Text(portName));
    return nullptr;
}

HostResult* Host::AddOutput(const char* name, int quantity)
{
    Lock lock(mutex_);
    if (!definitions_.empty())
        definitions_.back().outputs.push_back(DefinedOutput{Text(name), quantity, {}});
    return nullptr;
}

HostResult* Host::AddChannel(const char* name)
{
    Lock lock(mutex_);
    if (!definitions_.empty() && !definitions_.back().outputs.empty())
        definitions_.back().outputs.back().channels.push_back(Text(name));
    return nullptr;
}

HostResult* Host::ReservedSlot6() { return nullptr; }

HostResult* Host::EndDefinition()
{
    Lock lock(mutex_);
    if (!definitions_.empty())
        definitions_.back().ended = true;
    return nullptr;
}

HostResult* Host::InstantiateDevice(const char* manufacturer, const char* definitionName, const char* version,
                                    const char* deviceName, IDevice* device)
{
    AddInstance(manufacturer, definitionName, version, deviceName, device, device != nullptr);
    return nullptr;
}

std::shared_ptr<Instance> Host::NewInstance(const std::string& deviceName)
{
    return std::make_shared<Instance>(*this, deviceName);
}

HostResult* Host::Failure(const std::string& message) { return NewFailure(message); }

void Host::AddInstance(const char* manufacturer, const char* definitionName, const char* version,
                       const char* deviceName, IDevice* device, bool accepted)
{
    InstanceRecord entry;
    entry.manufacturer = Text(manufacturer);
    entry.definitionName = Text(definitionName);
    entry.version = Text(version);
    entry.deviceName = Text(deviceName);
    entry.device = device;
    entry.accepted = accepted && device != nullptr;
    if (entry.accepted) {
        entry.services = NewInstance(entry.deviceName);
        entry.services->SetDevice(device);
        // A new instance starts with its definition's parameter values.
        const Definition definition = DefinitionOf(entry);
        std::map<std::string, std::uint64_t> ids;
        for (const DefinedParameter& parameter : definition.parameters) {
            ids[parameter.name] = parameter.id;
            if (parameter.value)
                entry.services->SeedParameter(parameter.name, *parameter.value);
        }
        entry.services->SetParameterIds(std::move(ids));
    }
    Lock lock(mutex_);
    instances_.push_back(std::move(entry));
}

std::vector<Definition> Host::Definitions() const
{
    Lock lock(mutex_);
    return definitions_;
}

Definition Host::DefinitionOf(const InstanceRecord& device) const
{
    Lock lock(mutex_);
    for (const Definition& definition : definitions_) {
        if (definition.manufacturer == device.manufacturer && definition.name == device.definitionName &&
            definition.version == device.version)
            return definition;
    }
    return Definition();
}

std::vector<InstanceRecord> Host::Instances() const
{
    Lock lock(mutex_);
    return instances_;
}

void Host::AttachNewDevices()
{
    for (;;) {
        InstanceRecord entry;
        {
            Lock lock(mutex_);
            if (attached_ >= instances_.size())
                return;
            entry = instances_[attached_++];
        }
        if (entry.accepted)
            entry.device->Attach(entry.services.get());
    }
}

bool Host::ChangeSetting(const InstanceRecord& device, const std::string& parameter, IParameterValue& value)
{
    if (!device.accepted || !device.services->ChangeParameter(parameter, value))
        return false;
    device.device->ParametersChanged();
    return true;
}

bool Host::Press(const InstanceRecord& device, const std::string& action)
{
    IParameterValueAction press;
    return ChangeSetting(device, action, press);
}

bool Host::ArmAll(std::string& refusals)
{
    refusals.clear();
    std::vector<InstanceRecord> accepted;
    for (const InstanceRecord& device : Instances()) {
        if (device.accepted)
            accepted.push_back(device);
    }
    if (accepted.empty())
        return false;
    CaptureSetup setup(*this);
    for (std::size_t i = 1; i < accepted.size(); ++i) {
        // Each arming gets new stream handles, as a host numbers its streams per capture set-up.
        if (!accepted[i].device->Arm(streams_++, &setup))
            refusals += (refusals.empty() ? "" : ", ") + accepted[i].deviceName;
    }
    return accepted[0].device->Arm(streams_++, &setup);
}

void Host::StartCapture(double hostTime)
{
    for (const InstanceRecord& device : Instances()) {
        if (device.accepted)
            device.device->StartCapture(hostTime);
    }
}

void Host::DisarmAll()
{
    for (const InstanceRecord& device : Instances()) {
        if (device.accepted)
            device.device->Disarm();
    }
}

void Host::NoteTicksPerSample(unsigned int ticks)
{
    // The offered rates as the shared device's definition lists them, the
    // one in force as the host holds it for the device.
    std::vector<unsigned int> offered;
    unsigned int setting = 0;
    for (const InstanceRecord& device : Instances()) {
        if (!device.accepted)
            continue;
        const Definition definition = DefinitionOf(device);
        const DefinedParameter* parameter = definition.Parameter(kRateSetting);
        if (!parameter || !parameter->value || parameter->value->GetType() != ParameterTypeEnum)
            continue;
        for (const std::string& text : static_cast<IParameterValueEnum&>(*parameter->value).EnumValues) {
            if (const unsigned int rate = RateOfText(text))
                offered.push_back(rate);
        }
        const std::shared_ptr<IParameterValue> value = device.services->Parameter(kRateSetting);
        if (value && value->GetType() == ParameterTypeEnum)
            setting = RateOfText(static_cast<IParameterValueEnum&>(*value).GetValue());
        break;
    }
    armedRate_ = RateOfTicks(tickRate_, ticks, offered, setting);
}

void Host::DeliverSamples(Instance& instance, const SampleBlock& block)
{
    std::shared_ptr<const SampleSink> sink;
    {
        Lock lock(mutex_);
        sink = sampleSink_;
    }
    if (sink && *sink)
        (*sink)(instance, block);
}

void Host::DeliverNotify(Instance& instance)
{
    NotifySink sink;
    {
        Lock lock(mutex_);
        sink = notifySink_;
    }
    if (sink)
        sink(instance);
}

// ---------------------------------------------------------------- instance

Instance::Instance(Host& host, std::string deviceName) : host_(host), deviceName_(std::move(deviceName)) {}

HostResult* Instance::GetParameterValue(IParameterValue* value, const char* name, const char* /*scope*/)
{
    std::shared_ptr<IParameterValue> stored = Parameter(Text(name));
    if (!stored || !value)
        return host_.Failure("Unknown parameter");
    if (!stored->CopyTo(*value))
        return host_.Failure("Parameter type mismatch");
    return nullptr;
}

HostResult* Instance::SetParameterValue(IParameterValue* value, const char* name, const char* /*scope*/)
{
    std::shared_ptr<IParameterValue> copy = value ? CopyValue(*value) : nullptr;
    if (!copy)
        return host_.Failure("Unreadable value");
    Lock lock(mutex_);
    parameters_[Text(name)] = copy;
    return nullptr;
}

unsigned int Instance::GetChangedParameterCount()
{
    Lock lock(mutex_);
    return static_cast<unsigned int>(changes_.size());
}

HostResult* Instance::GetChangedParameters(unsigned int* cursor, std::uint64_t* ids, unsigned int* count)
{
    if (!cursor || !count)
        return host_.Failure("Null argument");
    Lock lock(mutex_);
    // The caller sized `ids` from GetChangedParameterCount(): at most that many.
    unsigned int written = 0;
    while (*cursor >= 1 && *cursor <= changes_.size() && written < changes_.size()) {
        if (ids)
            ids[written] = changes_[*cursor - 1];
        ++written;
        ++*cursor;
    }
    *count = written;
    return nullptr;
}

HostResult* Instance::PushSamples(unsigned int stream, std::int64_t frame, int samplesPerBlock, const int* outputs,
                                  int outputCount, const float* values, int valueCount)
{
    SampleBlock block;
    block.hostTime = host_.Now();
    block.stream = stream;
    block.frame = frame;
    block.samplesPerBlock = samplesPerBlock;
    block.outputs = outputs;
    block.outputCount = outputs ? outputCount : 0;
    block.values = values;
    block.valueCount = values ? valueCount : 0;
    {
        Lock lock(mutex_);
        ++pushCount_;
        if (values && valueCount > 0)
            latest_.assign(values, values + valueCount);
    }
    host_.DeliverSamples(*this, block);
    return nullptr;
}

void Instance::NotifyChanged()
{
    {
        Lock lock(mutex_);
        ++notifyCount_;
    }
    host_.DeliverNotify(*this);
}

IDevice* Instance::Device() const
{
    Lock lock(mutex_);
    return device_;
}

void Instance::SetDevice(IDevice* device)
{
    Lock lock(mutex_);
    device_ = device;
}

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

// ---------------------------------------------------------------- capture set-up

HostResult* CaptureSetup::SetTicksPerSample(unsigned int ticks)
{
    host_.NoteTicksPerSample(ticks);
    return nullptr;
}

HostResult* CaptureSetup::AddSyncInput(const char*, int, int, int, int, bool) { return nullptr; }

void CaptureSetup::SetTimingMode(int) {}

HostResult* CaptureSetup::SetSamplesPerBlock(unsigned int) { return nullptr; }

} // namespace hostkit
