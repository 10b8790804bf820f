#include "devhost/Session.h"

#include "devhost/DetectionLog.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace zorvahost {

using namespace MoldraDigitalDevice;

namespace {

/// The shared device's setting and action identifiers, as its definition registers them.
const std::uint64_t kSyncModeId = 0;
const std::uint64_t kSampleRateId = 1;
const std::uint64_t kDataThresholdId = 2;
const std::uint64_t kBroadcastZeroId = 3;
const std::uint64_t kScanForHardwareId = 5;
/// A plate's blink action.
const std::uint64_t kBlinkActionId = 5;
/// A detection whose device count was logged ends at the shared device's
/// NotifyChanged; should that never come, its end is taken after this long.
const std::chrono::seconds kDetectionEndWithoutNotify(10);

} // namespace

PluginSession::PluginSession()
{
    host_.UseRealClock();
    // Runs inside the plugin's call of Log: nothing may escape into the plugin.
    host_.SetLogObserver([this](const LogLine& line) {
        try {
            std::lock_guard<std::mutex> lock(queueMutex_);
            queue_.push_back(PluginEvent{line, false});
        } catch (...) {
        }
    });
}

PluginSession::~PluginSession()
{
    Shutdown();
    // No log line may reach the observer once this object is gone.
    host_.SetLogObserver(nullptr);
}

bool PluginSession::Load(const std::string& path, std::string& error)
{
    path_ = path;
    library_.reset(new PluginLibrary(path));
    if (!library_->Loaded()) {
        error = library_->Error();
        library_.reset();
        return false;
    }
    return true;
}

int PluginSession::ApiVersion() const { return library_ ? library_->PluginAPIVersion() : 0; }

void PluginSession::Start()
{
    library_->PluginAPIVersion();
    library_->Initialise(&host_);
    initialised_ = true;
    library_->ProvideDeviceDefinitions(&host_);
    definitions_ = host_.Definitions();
}

bool PluginSession::InstantiateSharedDevice()
{
    library_->BeginDeviceInstantiation(&host_);
    host_.AttachNewDevices();
    const std::optional<InstantiatedDevice> shared = SharedDevice();
    if (!shared)
        return false;
    // Runs inside the plugin's call of NotifyChanged, after the log lines it
    // wrote before on that thread: nothing may escape into the plugin.
    shared->services->CallBackOnNotify([this] {
        try {
            std::lock_guard<std::mutex> lock(queueMutex_);
            queue_.push_back(PluginEvent{LogLine(), true});
        } catch (...) {
        }
    });
    return true;
}

void PluginSession::Shutdown()
{
    if (!initialised_)
        return;
    initialised_ = false;
    library_->Shutdown();
    Poll();
}

std::vector<DetectionReport> PluginSession::Poll()
{
    std::vector<PluginEvent> events;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
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

std::optional<InstantiatedDevice> PluginSession::SharedDevice() const
{
    // The shared device is the first the host instantiated.
    const std::vector<InstantiatedDevice> all = host_.Instantiated();
    if (all.empty() || !all[0].accepted)
        return std::nullopt;
    return all[0];
}

std::vector<InstantiatedDevice> PluginSession::Plates() const
{
    std::vector<InstantiatedDevice> plates;
    const std::vector<InstantiatedDevice> all = host_.Instantiated();
    for (std::size_t i = 1; i < all.size(); ++i) {
        if (all[i].accepted)
            plates.push_back(all[i]);
    }
    return plates;
}

bool PluginSession::Connected(const InstantiatedDevice& plate)
{
    if (!plate.services)
        return false;
    std::shared_ptr<IParameterValue> value = plate.services->Parameter("Connected");
    if (!value || value->GetType() != ParameterTypeBool)
        return false;
    return static_cast<IParameterValueBool&>(*value).Value;
}

void PluginSession::SetSyncMode(ZORVA::SyncMode mode)
{
    const std::optional<InstantiatedDevice> shared = SharedDevice();
    if (!shared)
        return;
    IParameterValueEnum value;
    value.SetValue(ZORVA::SyncModeText(mode));
    shared->services->ChangeParameter("SyncMode", value, kSyncModeId);
    shared->device->ParametersChanged();
}

void PluginSession::SetSampleRate(const std::string& value)
{
    const std::optional<InstantiatedDevice> shared = SharedDevice();
    if (!shared)
        return;
    IParameterValueEnum rate;
    rate.SetValue(value);
    shared->services->ChangeParameter("SampleRate", rate, kSampleRateId);
    shared->device->ParametersChanged();
}

void PluginSession::SetDataThreshold(double newtons)
{
    const std::optional<InstantiatedDevice> shared = SharedDevice();
    if (!shared)
        return;
    IParameterValueDouble threshold;
    threshold.SetValue(newtons);
    shared->services->ChangeParameter("DataThreshold", threshold, kDataThresholdId);
    shared->device->ParametersChanged();
}

void PluginSession::Rescan()
{
    const std::optional<InstantiatedDevice> shared = SharedDevice();
    if (!shared)
        return;
    IParameterValueAction press;
    shared->services->ChangeParameter("ScanForHardware", press, kScanForHardwareId);
    shared->device->ParametersChanged();
}

void PluginSession::ZeroAll()
{
    const std::optional<InstantiatedDevice> shared = SharedDevice();
    if (!shared)
        return;
    IParameterValueAction press;
    shared->services->ChangeParameter("BroadcastZero", press, kBroadcastZeroId);
    shared->device->ParametersChanged();
}

void PluginSession::Blink(const InstantiatedDevice& plate)
{
    IParameterValueAction press;
    plate.services->ChangeParameter("BlinkAction", press, kBlinkActionId);
    plate.device->ParametersChanged();
}

const RecordedDefinition* PluginSession::DefinitionOf(const InstantiatedDevice& device) const
{
    for (const RecordedDefinition& definition : definitions_) {
        if (definition.manufacturer == device.manufacturer && definition.name == device.definitionName &&
            definition.version == device.version)
            return &definition;
    }
    return nullptr;
}

bool PluginSession::ArmAll(std::string& refusals)
{
    refusals.clear();
    const std::vector<InstantiatedDevice> all = host_.Instantiated();
    bool sharedArmed = false;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (!all[i].accepted)
            continue;
        // Each arming gets new stream handles, as a host numbers its streams per capture set-up.
        const bool armed = all[i].device->Arm(streams_++, &setup_);
        if (i == 0)
            sharedArmed = armed;
        else if (!armed)
            refusals += (refusals.empty() ? "" : ", ") + all[i].deviceName;
    }
    return sharedArmed;
}

void PluginSession::StartCapture(double hostTime)
{
    for (const InstantiatedDevice& device : host_.Instantiated()) {
        if (device.accepted)
            device.device->StartCapture(hostTime);
    }
}

void PluginSession::DisarmAll()
{
    for (const InstantiatedDevice& device : host_.Instantiated()) {
        if (device.accepted)
            device.device->Disarm();
    }
}

bool PluginSession::RearmRequired()
{
    const std::optional<InstantiatedDevice> shared = SharedDevice();
    if (!shared)
        return false;
    int state = 0;
    bool rearm = false;
    shared->device->GetState(&state, &rearm);
    return rearm;
}

unsigned int PluginSession::ArmedRate()
{
    const std::vector<std::string> calls = host_.Calls();
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
        std::string rest;
        if (StartsWith(*it, "SetTicksPerSample(", &rest)) {
            const unsigned long ticks = std::strtoul(rest.c_str(), nullptr, 10);
            return ticks == 0 ? 0u : static_cast<unsigned int>(host_.GetTickRate() / ticks);
        }
    }
    return 0;
}

} // namespace zorvahost
