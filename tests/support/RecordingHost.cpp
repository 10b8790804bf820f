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

// ---------------------------------------------------------------- results

class TrackedResult final : public HostResult
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

RecordingHost::RecordingHost()
{
    // The SetTime clock until a test chooses another (UseClock, UseRealClock).
    SetClock([this] {
        std::lock_guard<std::mutex> lock(mutex_);
        return time_;
    });
}
RecordingHost::~RecordingHost() = default;

std::shared_ptr<hostkit::Instance> RecordingHost::NewInstance(const std::string& deviceName)
{
    return std::make_shared<DeviceServices>(*this, deviceName);
}

HostResult* RecordingHost::Failure(const std::string& message) { return results_.Create(message); }

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
    {
        std::lock_guard<std::mutex> lock(mutex_);
        logs_.push_back(line);
    }
    // The observer: the kit's log sink.
    Host::Log(message, level);
}

unsigned int RecordingHost::GetTickRate()
{
    Enter("GetTickRate", std::string());
    return Host::GetTickRate();
}

void RecordingHost::ReservedSlot3() { Record("ReservedSlot3()"); }

HostResult* RecordingHost::ReservedSlot6() { return Record("ReservedSlot6()"); }

double RecordingHost::GetTime()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (manualClock_) {
            const double now = time_;
            time_ += timeStep_;
            return now;
        }
    }
    return Host::GetTime();
}

void RecordingHost::SetTimeStep(double seconds)
{
    std::lock_guard<std::mutex> lock(mutex_);
    timeStep_ = seconds;
}

void RecordingHost::UseClock(std::function<double()> clock)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        manualClock_ = false;
    }
    SetClock(std::move(clock));
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
    const auto start = std::chrono::steady_clock::now();
    UseClock([start] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); });
}

HostResult* RecordingHost::BeginDefinition(const char* manufacturer, const char* name, const char* version,
                                           const char* description, const char* deviceType, const char* addLabel,
                                           const char* extra)
{
    HostResult* result =
        Record("BeginDefinition(" + Quote(manufacturer) + ", " + Quote(name) + ", " + Quote(version) + ", " +
               Quote(description) + ", " + Quote(deviceType) + ", " + Quote(addLabel) + ", " + Quote(extra) + ")");
    // Begun even when it fails: the calls that follow belong to it.
    Host::BeginDefinition(manufacturer, name, version, description, deviceType, addLabel, extra);
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
    return Host::AddParameter(name, displayName, description, group, definitionFlag, value, id);
}

HostResult* RecordingHost::AddSyncPort(const char* portName)
{
    HostResult* result = Record("AddSyncPort(" + Quote(portName) + ")");
    return result ? result : Host::AddSyncPort(portName);
}

HostResult* RecordingHost::AddOutput(const char* name, int quantity)
{
    HostResult* result = Record("AddOutput(" + Quote(name) + ", " + std::to_string(quantity) + ")");
    return result ? result : Host::AddOutput(name, quantity);
}

HostResult* RecordingHost::AddChannel(const char* name)
{
    HostResult* result = Record("AddChannel(" + Quote(name) + ")");
    return result ? result : Host::AddChannel(name);
}

HostResult* RecordingHost::EndDefinition()
{
    HostResult* result = Record("EndDefinition()");
    Host::EndDefinition();
    return result;
}

HostResult* RecordingHost::InstantiateDevice(const char* manufacturer, const char* definitionName, const char* version,
                                             const char* deviceName, IDevice* device)
{
    SlowHostWait(instantiateDelayMicroseconds_.load());
    HostResult* result = Record("InstantiateDevice(" + Quote(manufacturer) + ", " + Quote(definitionName) + ", " +
                                Quote(version) + ", " + Quote(deviceName) + ")");
    AddInstance(manufacturer, definitionName, version, deviceName, device, result == nullptr);
    return result;
}

std::vector<InstantiatedDevice> RecordingHost::Instantiated() const
{
    std::vector<InstantiatedDevice> devices;
    const std::vector<hostkit::OfferedDevice> offered = Instances();
    // The plugin's interfaces, for the tests that call the devices themselves.
    const std::vector<IDevice*> interfaces = OfferedInterfaces();
    for (std::size_t i = 0; i < offered.size() && i < interfaces.size(); ++i) {
        const hostkit::OfferedDevice& record = offered[i];
        InstantiatedDevice device;
        device.manufacturer = record.manufacturer;
        device.definitionName = record.definitionName;
        device.version = record.version;
        device.deviceName = record.deviceName;
        device.device = interfaces[i];
        device.accepted = record.accepted;
        device.services = std::static_pointer_cast<DeviceServices>(record.services);
        devices.push_back(device);
    }
    return devices;
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

void RecordingHost::SetLogObserver(std::function<void(const LogLine&)> observer) { SetLogSink(std::move(observer)); }

void RecordingHost::SetTime(double seconds)
{
    std::lock_guard<std::mutex> lock(mutex_);
    time_ = seconds;
}

// ---------------------------------------------------------------- device services

DeviceServices::DeviceServices(RecordingHost& host, std::string deviceName)
    : hostkit::Instance(host, std::move(deviceName)), recorder_(host)
{}

HostResult* DeviceServices::GetParameterValue(IParameterValue* value, const char* name, const char* scope)
{
    HostResult* result = recorder_.Record("GetParameterValue(" + Quote(DeviceName().c_str()) + ", " + Quote(name) +
                                          ", " + Quote(scope) + ")");
    return result ? result : Instance::GetParameterValue(value, name, scope);
}

HostResult* DeviceServices::SetParameterValue(IParameterValue* value, const char* name, const char* scope)
{
    const std::string valueText = value ? DescribeValue(*value) : "null";
    HostResult* result = recorder_.Record("SetParameterValue(" + Quote(DeviceName().c_str()) + ", " + Quote(name) +
                                          ", " + Quote(scope) + ", " + valueText + ")");
    return result ? result : Instance::SetParameterValue(value, name, scope);
}

unsigned int DeviceServices::GetChangedParameterCount()
{
    recorder_.Enter("GetChangedParameterCount", DeviceName());
    hostkit::Lock lock(mutex_);
    return countAnnounced_ ? announcedCount_ : static_cast<unsigned int>(changes_.size());
}

void DeviceServices::AnnounceChangedCount(unsigned int count)
{
    hostkit::Lock lock(mutex_);
    countAnnounced_ = true;
    announcedCount_ = count;
}

void DeviceServices::CallBackOnNotify(std::function<void()> hook)
{
    hostkit::Lock lock(mutex_);
    notifyHook_ = std::move(hook);
}

HostResult* DeviceServices::GetChangedParameters(unsigned int* cursor, std::uint64_t* ids, unsigned int* count)
{
    HostResult* result = recorder_.Record("GetChangedParameters(" + Quote(DeviceName().c_str()) + ")");
    if (result)
        return result;
    if (!cursor || !count)
        return recorder_.results_.Create("Null argument");
    hostkit::Lock lock(mutex_);
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
    recorder_.Enter("PushSamples", DeviceName());
    // The block has reached the host here, before a slow host takes it.
    if (stream < openFrom_.load())
        ++oldStreamPushes_;
    SlowHostWait(recorder_.pushDelayMicroseconds_.load());
    const double arrived = recorder_.Now();
    std::string failure;
    bool fails = false;
    {
        std::lock_guard<std::mutex> hostLock(recorder_.mutex_);
        fails = recorder_.failPushSamples_;
        failure = recorder_.pushFailure_;
    }
    {
        // Kept before the kit counts it: a test that waits for the count finds the block.
        hostkit::Lock lock(mutex_);
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
    Instance::PushSamples(stream, frame, samplesPerBlock, outputs, outputCount, values, valueCount);
    return fails ? recorder_.results_.Create(failure) : nullptr;
}

void DeviceServices::NotifyChanged()
{
    recorder_.Enter("NotifyChanged", DeviceName());
    Instance::NotifyChanged();
    std::function<void()> hook;
    {
        hostkit::Lock lock(mutex_);
        hook = notifyHook_;
    }
    bool readState = false;
    {
        std::lock_guard<std::mutex> lock(recorder_.mutex_);
        readState = recorder_.readStateOnNotify_;
    }
    IDevice* const device = Device();
    // As a host does: back into the plugin, on the thread that notified.
    if (readState && device) {
        int state = 0;
        bool rearm = false;
        device->GetState(&state, &rearm);
    }
    if (hook)
        hook();
}

std::vector<PushedBlock> DeviceServices::PushedBlocks() const
{
    hostkit::Lock lock(mutex_);
    return pushed_;
}

// ---------------------------------------------------------------- capture set-up

CaptureSetup::CaptureSetup(RecordingHost& host) : hostkit::CaptureSetup(host), recorder_(host) {}

HostResult* CaptureSetup::SetTicksPerSample(unsigned int ticks)
{
    HostResult* result = recorder_.Record("SetTicksPerSample(" + std::to_string(ticks) + ")");
    hostkit::CaptureSetup::SetTicksPerSample(ticks);
    return result;
}

HostResult* CaptureSetup::AddSyncInput(const char* portName, int edge, int tolerance, int reserved1, int reserved2,
                                       bool enabled)
{
    return recorder_.Record("AddSyncInput(" + Quote(portName) + ", " + std::to_string(edge) + ", " +
                            std::to_string(tolerance) + ", " + std::to_string(reserved1) + ", " +
                            std::to_string(reserved2) + ", " + (enabled ? "true" : "false") + ")");
}

void CaptureSetup::SetTimingMode(int mode) { recorder_.Record("SetTimingMode(" + std::to_string(mode) + ")"); }

HostResult* CaptureSetup::SetSamplesPerBlock(unsigned int samples)
{
    return recorder_.Record("SetSamplesPerBlock(" + std::to_string(samples) + ")");
}

} // namespace zorvahost
