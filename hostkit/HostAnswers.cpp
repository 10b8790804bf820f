#include "hostkit/HostAnswers.h"
#include "contract/ParameterNames.h"

#include "hostkit/Host.h"

#include <algorithm>

namespace hostkit {

using namespace MoldraDigitalDevice;

namespace {

std::string Text(const char* text) { return text ? text : ""; }

/// The setting whose offered values are the acquisition rates, as decimal texts.
constexpr const char* kRateSetting = ZORVA::ParameterName::SampleRate;

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

double Definition::Number(const std::string& parameterName) const
{
    const DefinedParameter* parameter = Parameter(parameterName);
    return parameter ? NumberOf(parameter->value.get()) : 0.0;
}

std::vector<std::string> Definition::Offered(const std::string& parameterName) const
{
    const DefinedParameter* parameter = Parameter(parameterName);
    return parameter ? OfferedOf(parameter->value.get()) : std::vector<std::string>();
}

// ---------------------------------------------------------------- the host's answers

HostAnswers::HostAnswers() : clockStart_(std::chrono::steady_clock::now()) {}

HostAnswers::~HostAnswers() = default;

void HostAnswers::Log(const char* message, int level) { Logged(LogLine{Text(message), level}); }

unsigned int HostAnswers::GetTickRate() { return tickRate_; }

void HostAnswers::ReservedSlot3() {}

double HostAnswers::GetTime() { return Now(); }

double HostAnswers::Now()
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

HostResult* HostAnswers::BeginDefinition(const char* manufacturer, const char* name, const char* version,
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

HostResult* HostAnswers::AddParameter(const char* name, const char* displayName, const char* description,
                                      const char* group, bool definitionFlag, IParameterValue* value, std::uint64_t id)
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

HostResult* HostAnswers::AddSyncPort(const char* portName)
{
    Lock lock(mutex_);
    if (!definitions_.empty())
        definitions_.back().syncPorts.push_back(Text(portName));
    return nullptr;
}

HostResult* HostAnswers::AddOutput(const char* name, int quantity)
{
    Lock lock(mutex_);
    if (!definitions_.empty())
        definitions_.back().outputs.push_back(DefinedOutput{Text(name), static_cast<Quantity>(quantity), {}});
    return nullptr;
}

HostResult* HostAnswers::AddChannel(const char* name)
{
    Lock lock(mutex_);
    if (!definitions_.empty() && !definitions_.back().outputs.empty())
        definitions_.back().outputs.back().channels.push_back(Text(name));
    return nullptr;
}

HostResult* HostAnswers::ReservedSlot6() { return nullptr; }

HostResult* HostAnswers::EndDefinition()
{
    Lock lock(mutex_);
    if (!definitions_.empty())
        definitions_.back().ended = true;
    return nullptr;
}

HostResult* HostAnswers::InstantiateDevice(const char* manufacturer, const char* definitionName, const char* version,
                                           const char* deviceName, IDevice* device)
{
    AddInstance(manufacturer, definitionName, version, deviceName, device, device != nullptr);
    return nullptr;
}

HostResult* HostAnswers::Failure(const std::string& message) { return NewFailure(message); }

void HostAnswers::AddInstance(const char* manufacturer, const char* definitionName, const char* version,
                              const char* deviceName, IDevice* device, bool accepted)
{
    Offer offer;
    OfferedDevice& entry = offer.offered;
    entry.manufacturer = Text(manufacturer);
    entry.definitionName = Text(definitionName);
    entry.version = Text(version);
    entry.deviceName = Text(deviceName);
    entry.accepted = accepted && device != nullptr;
    offer.device = device;
    if (entry.accepted) {
        entry.services = NewInstance(entry.deviceName);
        static_cast<DeviceAnswers&>(*entry.services).SetDevice(device);
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
    offers_.push_back(std::move(offer));
}

std::vector<IDevice*> HostAnswers::OfferedInterfaces() const
{
    std::vector<IDevice*> devices;
    Lock lock(mutex_);
    for (const Offer& offer : offers_)
        devices.push_back(offer.device);
    return devices;
}

Definition HostAnswers::DefinitionOf(const OfferedDevice& device) const
{
    Lock lock(mutex_);
    for (const Definition& definition : definitions_) {
        if (definition.manufacturer == device.manufacturer && definition.name == device.definitionName &&
            definition.version == device.version)
            return definition;
    }
    return Definition();
}

void HostAnswers::NoteTicksPerSample(unsigned int ticks)
{
    // The offered rates as the shared device's definition lists them, the
    // one in force as the host holds it for the device.
    std::vector<OfferedDevice> accepted;
    {
        Lock lock(mutex_);
        for (const Offer& offer : offers_) {
            if (offer.offered.accepted)
                accepted.push_back(offer.offered);
        }
    }
    std::vector<unsigned int> offered;
    unsigned int setting = 0;
    for (const OfferedDevice& device : accepted) {
        const Definition definition = DefinitionOf(device);
        const IParameterValueEnum* rates = definition.Value<IParameterValueEnum>(kRateSetting);
        if (!rates)
            continue;
        for (const std::string& text : rates->EnumValues) {
            if (const unsigned int rate = RateOfText(text))
                offered.push_back(rate);
        }
        const std::shared_ptr<IParameterValue> value = device.services->Parameter(kRateSetting);
        if (const IParameterValueEnum* rate = As<IParameterValueEnum>(value.get()))
            setting = RateOfText(rate->Value);
        break;
    }
    armedRate_ = RateOfTicks(tickRate_, ticks, offered, setting);
}

// ---------------------------------------------------------------- a device's answers

DeviceAnswers::DeviceAnswers(HostAnswers& host, std::string deviceName)
    : host_(host), deviceName_(std::move(deviceName))
{}

HostResult* DeviceAnswers::GetParameterValue(IParameterValue* value, const char* name, const char* /*scope*/)
{
    std::shared_ptr<IParameterValue> stored;
    {
        Lock lock(mutex_);
        auto it = parameters_.find(Text(name));
        if (it != parameters_.end())
            stored = it->second;
    }
    if (!stored || !value)
        return host_.Failure("Unknown parameter");
    if (!stored->CopyTo(*value))
        return host_.Failure("Parameter type mismatch");
    return nullptr;
}

HostResult* DeviceAnswers::SetParameterValue(IParameterValue* value, const char* name, const char* /*scope*/)
{
    std::shared_ptr<IParameterValue> copy = value ? CopyValue(*value) : nullptr;
    if (!copy)
        return host_.Failure("Unreadable value");
    Lock lock(mutex_);
    parameters_[Text(name)] = copy;
    return nullptr;
}

unsigned int DeviceAnswers::GetChangedParameterCount()
{
    Lock lock(mutex_);
    return static_cast<unsigned int>(changes_.size());
}

HostResult* DeviceAnswers::GetChangedParameters(unsigned int* cursor, std::uint64_t* ids, unsigned int* count)
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

HostResult* DeviceAnswers::PushSamples(unsigned int stream, std::int64_t frame, int samplesPerBlock, const int* outputs,
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
    Delivered(block);
    return nullptr;
}

void DeviceAnswers::NotifyChanged()
{
    {
        Lock lock(mutex_);
        ++notifyCount_;
    }
    Notified();
}

IDevice* DeviceAnswers::Device() const
{
    Lock lock(mutex_);
    return device_;
}

void DeviceAnswers::SetDevice(IDevice* device)
{
    Lock lock(mutex_);
    device_ = device;
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
