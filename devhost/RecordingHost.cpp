#include "RecordingHost.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace zorvahost {

using namespace MoldraDigitalDevice;

namespace {

/// A slow host's call: takes `microseconds` of real time (none when <= 0).
void SlowHostWait(std::int64_t microseconds)
{
    if (microseconds <= 0)
        return;
    // To the microsecond: a sleep of less than the system's tick may return early.
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds);
    std::this_thread::sleep_until(until);
    while (std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
}

std::mutex& LockCheckMutex()
{
    static auto* mutex = new std::mutex;
    return *mutex;
}
LockProbe g_lockProbe = nullptr;
LockViolationHandler* g_lockViolationHandler = nullptr;
std::atomic<int> g_lockViolations{0};

/// The operation's name: the call text up to its "(".
std::string OperationOf(const std::string& call) { return call.substr(0, call.find('(')); }

} // namespace

void SetLockCheck(LockProbe probe, LockViolationHandler handler)
{
    std::lock_guard<std::mutex> lock(LockCheckMutex());
    g_lockProbe = probe;
    delete g_lockViolationHandler;
    g_lockViolationHandler = handler ? new LockViolationHandler(std::move(handler)) : nullptr;
}

int LockViolationCount() { return g_lockViolations.load(); }

// ---------------------------------------------------------------- values

ValuePtr NewValueOfType(int type)
{
    switch (type) {
    case ParameterTypeBool: return ValuePtr(new IParameterValueBool());
    case ParameterTypeDouble: return ValuePtr(new IParameterValueDouble());
    case ParameterTypeString: return ValuePtr(new IParameterValueString());
    case ParameterTypeEnum: return ValuePtr(new IParameterValueEnum());
    case ParameterTypeAction: return ValuePtr(new IParameterValueAction());
    default: return nullptr;
    }
}

ValuePtr CopyValue(IParameterValue& value)
{
    ValuePtr copy = NewValueOfType(value.GetType());
    if (!copy || !value.CopyTo(*copy))
        return nullptr;
    return copy;
}

std::string Quote(const char* text)
{
    if (!text)
        return "null";
    std::string quoted = "\"";
    for (const char* c = text; *c; ++c) {
        if (*c == '"' || *c == '\\')
            quoted += '\\';
        quoted += *c;
    }
    return quoted + "\"";
}

std::string DescribeValue(IParameterValue& value)
{
    ValuePtr copy = CopyValue(value);
    if (!copy)
        return "Unreadable(type " + std::to_string(value.GetType()) + ")";
    std::ostringstream text;
    text.precision(17);
    auto flags = [&](IParameterValue& v) { text << " flags " << v.GetFlagA() << v.GetFlagB() << v.GetFlagC(); };
    switch (copy->GetType()) {
    case ParameterTypeBool: {
        auto& v = static_cast<IParameterValueBool&>(*copy);
        text << "Bool(" << (v.Value ? "true" : "false");
        flags(v);
        break;
    }
    case ParameterTypeDouble: {
        auto& v = static_cast<IParameterValueDouble&>(*copy);
        text << "Double(" << v.Value;
        flags(v);
        if (v.LimitsSet)
            text << " limits " << v.Minimum << ".." << v.Maximum;
        break;
    }
    case ParameterTypeString: {
        auto& v = static_cast<IParameterValueString&>(*copy);
        text << "String(" << Quote(v.Value.c_str());
        flags(v);
        break;
    }
    case ParameterTypeEnum: {
        auto& v = static_cast<IParameterValueEnum&>(*copy);
        text << "Enum(" << Quote(v.Value.c_str()) << " of " << v.EnumValues.size();
        flags(v);
        break;
    }
    case ParameterTypeAction: {
        auto& v = static_cast<IParameterValueAction&>(*copy);
        text << "Action(" << v.Value;
        flags(v);
        break;
    }
    }
    text << ")";
    return text.str();
}

const RecordedParameter* RecordedDefinition::Parameter(const std::string& parameterName) const
{
    for (const RecordedParameter& parameter : parameters) {
        if (parameter.name == parameterName)
            return &parameter;
    }
    return nullptr;
}

// ---------------------------------------------------------------- results

class TrackedResult : public HostResult
{
public:
    TrackedResult(ResultTracker& tracker, std::string message) : tracker_(tracker), message_(std::move(message)) {}
    const char* GetMessage() override { return message_.c_str(); }
    void AddRef() override
    {
        std::lock_guard<std::mutex> lock(tracker_.mutex_);
        ++references_;
        ++tracker_.created_;
    }
    void Release() override
    {
        // Kept after the last release, so that one release too many is counted, not a crash.
        std::lock_guard<std::mutex> lock(tracker_.mutex_);
        if (references_ == 0) {
            ++tracker_.overReleased_;
            return;
        }
        ++tracker_.released_;
        --references_;
    }

private:
    ResultTracker& tracker_;
    std::string message_;
    int references_ = 1;
};

HostResult* ResultTracker::Create(const std::string& message)
{
    // Results live as long as the host: a faulty plugin releasing twice must
    // show up in OverReleased(), not as a use after free.
    static std::mutex poolMutex;
    static std::vector<std::unique_ptr<TrackedResult>>* pool = new std::vector<std::unique_ptr<TrackedResult>>;
    auto result = std::make_unique<TrackedResult>(*this, message);
    TrackedResult* raw = result.get();
    {
        std::lock_guard<std::mutex> lock(poolMutex);
        pool->push_back(std::move(result));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ++created_;
    return raw;
}

int ResultTracker::Outstanding() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return created_ - released_;
}

int ResultTracker::Created() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return created_;
}

int ResultTracker::OverReleased() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return overReleased_;
}

// ---------------------------------------------------------------- host

RecordingHost::RecordingHost() = default;
RecordingHost::~RecordingHost() = default;

void RecordingHost::Enter(const char* operation, const std::string& detail)
{
    LockProbe probe = nullptr;
    LockViolationHandler handler;
    {
        std::lock_guard<std::mutex> lock(LockCheckMutex());
        probe = g_lockProbe;
        if (g_lockViolationHandler)
            handler = *g_lockViolationHandler;
    }
    if (probe) {
        const int held = probe();
        if (held != 0) {
            ++g_lockViolations;
            if (handler) {
                const std::string name(operation);
                handler(detail.compare(0, name.size(), name) == 0 ? detail : name + "(" + Quote(detail.c_str()) + ")",
                        held);
            }
        }
    }
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = callBacks_.find(operation);
        if (it != callBacks_.end())
            hook = it->second;
    }
    // As a host may: back into the plugin, on the plugin's thread, before answering.
    if (hook)
        hook();
}

HostResult* RecordingHost::Record(const std::string& call)
{
    Enter(OperationOf(call).c_str(), call);
    std::string failure;
    bool fails = false;
    std::string thrown;
    bool throws = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(call);
        for (const auto& rule : exactFailures_) {
            if (call == rule.first) {
                fails = true;
                failure = rule.second;
            }
        }
        for (const auto& rule : prefixFailures_) {
            if (call.compare(0, rule.first.size(), rule.first) == 0) {
                fails = true;
                failure = rule.second;
            }
        }
        for (const auto& rule : prefixThrows_) {
            if (call.compare(0, rule.first.size(), rule.first) == 0) {
                throws = true;
                thrown = rule.second;
            }
        }
    }
    if (throws)
        throw std::runtime_error(thrown);
    return fails ? results_.Create(failure) : nullptr;
}

void RecordingHost::Log(const char* message, int level)
{
    LogLine line{message ? message : "", level};
    std::function<void(const LogLine&)> observer;
    bool echo;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        logs_.push_back(line);
        observer = logObserver_;
        echo = echoLogs_;
    }
    if (echo)
        std::printf("[log %d] %s\n", level, line.text.c_str());
    if (observer)
        observer(line);
}

unsigned int RecordingHost::GetTickRate()
{
    Enter("GetTickRate", std::string());
    std::lock_guard<std::mutex> lock(mutex_);
    return tickRate_;
}

void RecordingHost::ReservedSlot3() { Record("ReservedSlot3()"); }

HostResult* RecordingHost::ReservedSlot6() { return Record("ReservedSlot6()"); }

double RecordingHost::GetTime()
{
    std::function<double()> clock;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        clock = clock_;
    }
    if (clock)
        return clock();
    std::lock_guard<std::mutex> lock(mutex_);
    if (realClock_)
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - clockStart_).count();
    const double now = time_;
    time_ += timeStep_;
    return now;
}

void RecordingHost::SetTimeStep(double seconds)
{
    std::lock_guard<std::mutex> lock(mutex_);
    timeStep_ = seconds;
}

double RecordingHost::Now()
{
    std::function<double()> clock;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!clock_) {
            if (realClock_)
                return std::chrono::duration<double>(std::chrono::steady_clock::now() - clockStart_).count();
            return time_;
        }
        clock = clock_;
    }
    return clock();
}

void RecordingHost::UseClock(std::function<double()> clock)
{
    std::lock_guard<std::mutex> lock(mutex_);
    clock_ = std::move(clock);
}

void RecordingHost::CallBackFrom(const std::string& operation, std::function<void()> hook)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (hook)
        callBacks_[operation] = std::move(hook);
    else
        callBacks_.erase(operation);
}

void RecordingHost::UseRealClock()
{
    std::lock_guard<std::mutex> lock(mutex_);
    realClock_ = true;
    clockStart_ = std::chrono::steady_clock::now();
}

HostResult* RecordingHost::BeginDefinition(const char* manufacturer, const char* name, const char* version,
                                           const char* description, const char* deviceType, const char* addLabel,
                                           const char* extra)
{
    HostResult* result =
        Record("BeginDefinition(" + Quote(manufacturer) + ", " + Quote(name) + ", " + Quote(version) + ", " +
               Quote(description) + ", " + Quote(deviceType) + ", " + Quote(addLabel) + ", " + Quote(extra) + ")");
    RecordedDefinition definition;
    definition.manufacturer = manufacturer ? manufacturer : "";
    definition.name = name ? name : "";
    definition.version = version ? version : "";
    definition.description = description ? description : "";
    definition.deviceType = deviceType ? deviceType : "";
    definition.addLabel = addLabel ? addLabel : "";
    definition.extra = extra ? extra : "";
    std::lock_guard<std::mutex> lock(mutex_);
    definitions_.push_back(definition);
    return result;
}

HostResult* RecordingHost::AddParameter(const char* name, const char* displayName, const char* description,
                                        const char* group, bool definitionFlag, IParameterValue* value,
                                        std::uint64_t id)
{
    const std::string valueText = value ? DescribeValue(*value) : "null";
    HostResult* result = Record("AddParameter(" + Quote(name) + ", " + Quote(displayName) + ", " + Quote(description) +
                                ", " + Quote(group) + ", " + (definitionFlag ? "true" : "false") + ", " + valueText +
                                ", " + std::to_string(id) + ")");
    if (result)
        return result;
    RecordedParameter parameter;
    parameter.name = name ? name : "";
    parameter.displayName = displayName ? displayName : "";
    parameter.description = description ? description : "";
    parameter.group = group ? group : "";
    parameter.definitionFlag = definitionFlag;
    if (value)
        parameter.value = CopyValue(*value);
    parameter.id = id;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!definitions_.empty())
        definitions_.back().parameters.push_back(parameter);
    return nullptr;
}

HostResult* RecordingHost::AddSyncPort(const char* portName)
{
    HostResult* result = Record("AddSyncPort(" + Quote(portName) + ")");
    if (result)
        return result;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!definitions_.empty())
        definitions_.back().syncPorts.push_back(portName ? portName : "");
    return nullptr;
}

HostResult* RecordingHost::AddOutput(const char* name, int quantity)
{
    HostResult* result = Record("AddOutput(" + Quote(name) + ", " + std::to_string(quantity) + ")");
    if (result)
        return result;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!definitions_.empty())
        definitions_.back().outputs.push_back(RecordedOutput{name ? name : "", quantity, {}});
    return nullptr;
}

HostResult* RecordingHost::AddChannel(const char* name)
{
    HostResult* result = Record("AddChannel(" + Quote(name) + ")");
    if (result)
        return result;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!definitions_.empty() && !definitions_.back().outputs.empty())
        definitions_.back().outputs.back().channels.push_back(name ? name : "");
    return nullptr;
}

HostResult* RecordingHost::EndDefinition()
{
    HostResult* result = Record("EndDefinition()");
    std::lock_guard<std::mutex> lock(mutex_);
    if (!definitions_.empty())
        definitions_.back().ended = true;
    return result;
}

HostResult* RecordingHost::InstantiateDevice(const char* manufacturer, const char* definitionName, const char* version,
                                             const char* deviceName, IDevice* device)
{
    SlowHostWait(instantiateDelayMicroseconds_.load());
    HostResult* result = Record("InstantiateDevice(" + Quote(manufacturer) + ", " + Quote(definitionName) + ", " +
                                Quote(version) + ", " + Quote(deviceName) + ")");
    InstantiatedDevice entry;
    entry.manufacturer = manufacturer ? manufacturer : "";
    entry.definitionName = definitionName ? definitionName : "";
    entry.version = version ? version : "";
    entry.deviceName = deviceName ? deviceName : "";
    entry.device = device;
    entry.accepted = result == nullptr && device != nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    if (entry.accepted) {
        // A new instance starts with its definition's parameter values.
        entry.services = std::make_shared<DeviceServices>(*this, entry.deviceName);
        entry.services->SetDevice(device);
        for (const RecordedDefinition& definition : definitions_) {
            if (definition.manufacturer == entry.manufacturer && definition.name == entry.definitionName &&
                definition.version == entry.version) {
                for (const RecordedParameter& parameter : definition.parameters) {
                    if (parameter.value)
                        entry.services->SeedParameter(parameter.name, *parameter.value);
                }
            }
        }
    }
    instantiated_.push_back(entry);
    return result;
}

void RecordingHost::AttachNewDevices()
{
    for (;;) {
        InstantiatedDevice entry;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (attached_ >= instantiated_.size())
                return;
            entry = instantiated_[attached_++];
        }
        if (entry.accepted)
            entry.device->Attach(entry.services.get());
    }
}

void RecordingHost::FailCall(const std::string& callText, const std::string& message)
{
    std::lock_guard<std::mutex> lock(mutex_);
    exactFailures_.emplace_back(callText, message);
}

void RecordingHost::FailCallsStartingWith(const std::string& prefix, const std::string& message)
{
    std::lock_guard<std::mutex> lock(mutex_);
    prefixFailures_.emplace_back(prefix, message);
}

void RecordingHost::ThrowFromCallsStartingWith(const std::string& prefix, const std::string& message)
{
    std::lock_guard<std::mutex> lock(mutex_);
    prefixThrows_.emplace_back(prefix, message);
}

void RecordingHost::FailPushSamples(const std::string& message)
{
    std::lock_guard<std::mutex> lock(mutex_);
    failPushSamples_ = true;
    pushFailure_ = message;
}

void RecordingHost::SetPushSamplesDelay(std::chrono::microseconds delay) { pushDelayMicroseconds_ = delay.count(); }

void RecordingHost::SetInstantiateDelay(std::chrono::microseconds delay)
{
    instantiateDelayMicroseconds_ = delay.count();
}

void RecordingHost::ReadStateOnNotify(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    readStateOnNotify_ = on;
}

std::vector<std::string> RecordingHost::Calls() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::vector<LogLine> RecordingHost::Logs() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return logs_;
}

std::vector<RecordedDefinition> RecordingHost::Definitions() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return definitions_;
}

std::vector<InstantiatedDevice> RecordingHost::Instantiated() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return instantiated_;
}

void RecordingHost::SetLogObserver(std::function<void(const LogLine&)> observer)
{
    std::lock_guard<std::mutex> lock(mutex_);
    logObserver_ = std::move(observer);
}

void RecordingHost::EchoLogs(bool echo)
{
    std::lock_guard<std::mutex> lock(mutex_);
    echoLogs_ = echo;
}

void RecordingHost::SetTime(double seconds)
{
    std::lock_guard<std::mutex> lock(mutex_);
    time_ = seconds;
}

void RecordingHost::SetTickRate(unsigned int ticksPerSecond)
{
    std::lock_guard<std::mutex> lock(mutex_);
    tickRate_ = ticksPerSecond;
}

// ---------------------------------------------------------------- device services

DeviceServices::DeviceServices(RecordingHost& host, std::string deviceName)
    : host_(host), deviceName_(std::move(deviceName))
{}

HostResult* DeviceServices::GetParameterValue(IParameterValue* value, const char* name, const char* scope)
{
    HostResult* result = host_.Record("GetParameterValue(" + Quote(deviceName_.c_str()) + ", " + Quote(name) + ", " +
                                      Quote(scope) + ")");
    if (result)
        return result;
    std::shared_ptr<IParameterValue> stored = Parameter(name ? name : "");
    if (!stored || !value)
        return host_.results_.Create("Unknown parameter");
    if (!stored->CopyTo(*value))
        return host_.results_.Create("Parameter type mismatch");
    return nullptr;
}

HostResult* DeviceServices::SetParameterValue(IParameterValue* value, const char* name, const char* scope)
{
    const std::string valueText = value ? DescribeValue(*value) : "null";
    HostResult* result = host_.Record("SetParameterValue(" + Quote(deviceName_.c_str()) + ", " + Quote(name) + ", " +
                                      Quote(scope) + ", " + valueText + ")");
    if (result)
        return result;
    std::shared_ptr<IParameterValue> copy = value ? CopyValue(*value) : nullptr;
    if (!copy)
        return host_.results_.Create("Unreadable value");
    std::lock_guard<std::mutex> lock(mutex_);
    parameters_[name ? name : ""] = copy;
    return nullptr;
}

unsigned int DeviceServices::GetChangedParameterCount()
{
    host_.Enter("GetChangedParameterCount", deviceName_);
    std::lock_guard<std::mutex> lock(mutex_);
    return countAnnounced_ ? announcedCount_ : static_cast<unsigned int>(changes_.size());
}

void DeviceServices::AnnounceChangedCount(unsigned int count)
{
    std::lock_guard<std::mutex> lock(mutex_);
    countAnnounced_ = true;
    announcedCount_ = count;
}

void DeviceServices::CallBackOnNotify(std::function<void()> hook)
{
    std::lock_guard<std::mutex> lock(mutex_);
    notifyHook_ = std::move(hook);
}

MoldraDigitalDevice::IDevice* DeviceServices::Device() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return device_;
}

void DeviceServices::SetDevice(MoldraDigitalDevice::IDevice* device)
{
    std::lock_guard<std::mutex> lock(mutex_);
    device_ = device;
}

HostResult* DeviceServices::GetChangedParameters(unsigned int* cursor, std::uint64_t* ids, unsigned int* count)
{
    HostResult* result = host_.Record("GetChangedParameters(" + Quote(deviceName_.c_str()) + ")");
    if (result)
        return result;
    if (!cursor || !count)
        return host_.results_.Create("Null argument");
    std::lock_guard<std::mutex> lock(mutex_);
    // The caller sized `ids` from GetChangedParameterCount(): at most that many.
    unsigned int written = 0;
    const unsigned int room = countAnnounced_
                                  ? std::min<unsigned int>(announcedCount_, static_cast<unsigned int>(changes_.size()))
                                  : static_cast<unsigned int>(changes_.size());
    while (*cursor >= 1 && *cursor <= changes_.size() && written < room) {
        if (ids)
            ids[written] = changes_[*cursor - 1];
        ++written;
        ++*cursor;
    }
    *count = written;
    return nullptr;
}

HostResult* DeviceServices::PushSamples(unsigned int stream, std::int64_t frame, int samplesPerBlock,
                                        const int* outputs, int outputCount, const float* values, int valueCount)
{
    host_.Enter("PushSamples", deviceName_);
    SlowHostWait(host_.pushDelayMicroseconds_.load());
    const double arrived = host_.Now();
    std::string failure;
    bool fails = false;
    {
        std::lock_guard<std::mutex> hostLock(host_.mutex_);
        fails = host_.failPushSamples_;
        failure = host_.pushFailure_;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ++pushCount_;
    if (values && valueCount > 0)
        latest_.assign(values, values + valueCount);
    if (keepSamples_) {
        PushedBlock block;
        block.hostTime = arrived;
        block.stream = stream;
        block.frame = frame;
        block.samplesPerBlock = samplesPerBlock;
        if (outputs && outputCount > 0)
            block.outputs.assign(outputs, outputs + outputCount);
        if (values && valueCount > 0)
            block.values.assign(values, values + valueCount);
        pushed_.push_back(std::move(block));
    }
    return fails ? host_.results_.Create(failure) : nullptr;
}

void DeviceServices::NotifyChanged()
{
    host_.Enter("NotifyChanged", deviceName_);
    std::function<void()> hook;
    MoldraDigitalDevice::IDevice* device = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++notifyCount_;
        hook = notifyHook_;
        device = device_;
    }
    bool readState = false;
    {
        std::lock_guard<std::mutex> lock(host_.mutex_);
        readState = host_.readStateOnNotify_;
    }
    // As a host does: back into the plugin, on the thread that notified.
    if (readState && device) {
        int state = 0;
        bool rearm = false;
        device->GetState(&state, &rearm);
    }
    if (hook)
        hook();
}

void DeviceServices::SeedParameter(const std::string& name, IParameterValue& value)
{
    std::shared_ptr<IParameterValue> copy = CopyValue(value);
    std::lock_guard<std::mutex> lock(mutex_);
    if (copy)
        parameters_[name] = copy;
}

void DeviceServices::ChangeParameter(const std::string& name, IParameterValue& value, std::uint64_t id)
{
    std::shared_ptr<IParameterValue> copy = CopyValue(value);
    std::lock_guard<std::mutex> lock(mutex_);
    if (copy)
        parameters_[name] = copy;
    changes_.push_back(id);
}

std::shared_ptr<IParameterValue> DeviceServices::Parameter(const std::string& name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = parameters_.find(name);
    return it == parameters_.end() ? nullptr : it->second;
}

std::vector<PushedBlock> DeviceServices::PushedBlocks() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return pushed_;
}

int DeviceServices::NotifyCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return notifyCount_;
}

void DeviceServices::KeepSamples(bool keep)
{
    std::lock_guard<std::mutex> lock(mutex_);
    keepSamples_ = keep;
}

std::size_t DeviceServices::PushCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return pushCount_;
}

std::vector<float> DeviceServices::LatestValues() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return latest_;
}

// ---------------------------------------------------------------- capture set-up

HostResult* CaptureSetup::SetTicksPerSample(unsigned int ticks)
{
    return host_.Record("SetTicksPerSample(" + std::to_string(ticks) + ")");
}

HostResult* CaptureSetup::AddSyncInput(const char* portName, int edge, int tolerance, int reserved1, int reserved2,
                                       bool enabled)
{
    return host_.Record("AddSyncInput(" + Quote(portName) + ", " + std::to_string(edge) + ", " +
                        std::to_string(tolerance) + ", " + std::to_string(reserved1) + ", " +
                        std::to_string(reserved2) + ", " + (enabled ? "true" : "false") + ")");
}

void CaptureSetup::SetTimingMode(int mode) { host_.Record("SetTimingMode(" + std::to_string(mode) + ")"); }

HostResult* CaptureSetup::SetSamplesPerBlock(unsigned int samples)
{
    return host_.Record("SetSamplesPerBlock(" + std::to_string(samples) + ")");
}

} // namespace zorvahost
