#include "hostkit/Session.h"
#include "contract/ParameterNames.h"

#include <chrono>
#include <thread>

namespace hostkit {

using namespace MoldraDigitalDevice;

namespace {

/// A detection whose device count was logged ends at the shared device's
/// NotifyChanged; should that never come, its end is taken after this long.
const std::chrono::seconds kDetectionEndWithoutNotify(10);
/// A setting's stop is reported within a pause of the plugin's (250 ms) and
/// its call; should the report not come, the session goes on after this.
const std::chrono::seconds kStopReported(3);

} // namespace

PluginSession::PluginSession() : ownHost_(new hostkit::Host()), host_(*ownHost_), plugin_(host_) { TakeSinks(); }

PluginSession::PluginSession(hostkit::Host& host) : host_(host), plugin_(host_) { TakeSinks(); }

void PluginSession::TakeSinks()
{
    // Both run inside the plugin's calls, on its threads: nothing may escape into the plugin.
    host_.SetLogSink([this](const LogLine& line) {
        try {
            Lock lock(queueMutex_);
            queue_.push_back(PluginEvent{line, false});
        } catch (...) {
        }
    });
    // The shared device's NotifyChanged comes after the log lines it wrote
    // before on that thread.
    host_.SetNotifySink([this](Instance& instance) {
        try {
            const std::optional<OfferedDevice> shared = SharedDevice();
            if (!shared || shared->services.get() != &instance)
                return;
            ++sharedNotifies_;
            Lock lock(queueMutex_);
            queue_.push_back(PluginEvent{LogLine(), true});
        } catch (...) {
        }
    });
}

PluginSession::~PluginSession()
{
    Shutdown();
    // No call may reach this object once it is gone.
    host_.SetLogSink(nullptr);
    host_.SetNotifySink(nullptr);
    host_.SetSampleSink(nullptr);
}

bool PluginSession::Load(const std::string& path, std::string& error) { return plugin_.Load(path, error); }

void PluginSession::Start()
{
    plugin_.Start();
    definitions_ = host_.Definitions();
}

bool PluginSession::InstantiateSharedDevice()
{
    plugin_.BeginInstantiation();
    return SharedDevice().has_value();
}

void PluginSession::Shutdown()
{
    if (!plugin_.Initialised())
        return;
    plugin_.Shutdown();
    Poll();
}

std::vector<DetectionReport> PluginSession::Poll()
{
    std::vector<PluginEvent> events;
    {
        Lock lock(queueMutex_);
        events.swap(queue_);
    }
    for (const PluginEvent& event : events) {
        if (event.sharedNotified) {
            // A detection's InstantiateDevice calls come after its device
            // count, outside the plugin's lock; its NotifyChanged comes last.
            if (parser_.AwaitingEnd())
                FinishDetection();
            continue;
        }
        if (printer_)
            printer_(event.line);
        parser_.Feed(event.line);
        if (!parser_.AwaitingEnd())
            awaitingSince_.reset();
        else if (!awaitingSince_)
            awaitingSince_ = std::chrono::steady_clock::now();
    }
    if (parser_.AwaitingEnd() && awaitingSince_ &&
        std::chrono::steady_clock::now() - *awaitingSince_ >= kDetectionEndWithoutNotify)
        FinishDetection();
    return parser_.TakeReports();
}

void PluginSession::FinishDetection()
{
    parser_.SharedDeviceNotified();
    awaitingSince_.reset();
    // The plates the detection instantiated, attached as a host does.
    host_.AttachNewDevices();
}

bool PluginSession::WaitForDetection(double seconds, DetectionReport& report)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        std::vector<DetectionReport> reports = Poll();
        if (!reports.empty()) {
            report = reports.back();
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::optional<OfferedDevice> PluginSession::SharedDevice() const
{
    // The shared device is the first the host instantiated.
    const std::vector<OfferedDevice> all = host_.Instances();
    if (all.empty() || !all[0].accepted)
        return std::nullopt;
    return all[0];
}

std::vector<OfferedDevice> PluginSession::Plates() const
{
    std::vector<OfferedDevice> plates;
    const std::vector<OfferedDevice> all = host_.Instances();
    for (std::size_t i = 1; i < all.size(); ++i) {
        if (all[i].accepted)
            plates.push_back(all[i]);
    }
    return plates;
}

bool PluginSession::Connected(const OfferedDevice& plate)
{
    return plate.services && plate.services->Flag(ZORVA::ParameterName::Connected);
}

void PluginSession::ChangeShared(const std::string& parameter, IParameterValue& value)
{
    const std::optional<OfferedDevice> shared = SharedDevice();
    if (shared)
        host_.ChangeSetting(*shared, parameter, value);
}

void PluginSession::AwaitSharedNotify(int before)
{
    const auto deadline = std::chrono::steady_clock::now() + kStopReported;
    while (sharedNotifies_.load() <= before && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void PluginSession::SetSyncMode(ZORVA::SyncMode mode)
{
    IParameterValueEnum value;
    value.SetValue(ZORVA::SyncModeText(mode));
    const int before = sharedNotifies_.load();
    ChangeShared(ZORVA::ParameterName::SyncMode, value);
    AwaitSharedNotify(before);
}

void PluginSession::SetSampleRate(const std::string& value)
{
    IParameterValueEnum rate;
    rate.SetValue(value);
    const int before = sharedNotifies_.load();
    ChangeShared(ZORVA::ParameterName::SampleRate, rate);
    AwaitSharedNotify(before);
}

void PluginSession::SetDataThreshold(double newtons)
{
    IParameterValueDouble threshold;
    threshold.SetValue(newtons);
    ChangeShared(ZORVA::ParameterName::DataThreshold, threshold);
}

void PluginSession::Rescan()
{
    IParameterValueAction press;
    ChangeShared(ZORVA::ParameterName::ScanForHardware, press);
}

void PluginSession::ZeroAll()
{
    IParameterValueAction press;
    ChangeShared(ZORVA::ParameterName::BroadcastZero, press);
}

void PluginSession::Blink(const OfferedDevice& plate) { host_.Press(plate, ZORVA::ParameterName::BlinkAction); }

const Definition* PluginSession::DefinitionOf(const OfferedDevice& device) const
{
    for (const Definition& definition : definitions_) {
        if (definition.manufacturer == device.manufacturer && definition.name == device.definitionName &&
            definition.version == device.version)
            return &definition;
    }
    return nullptr;
}

bool PluginSession::RearmRequired()
{
    const std::optional<OfferedDevice> shared = SharedDevice();
    if (!shared)
        return false;
    return host_.StatusOf(*shared).rearmRequired;
}

} // namespace hostkit
