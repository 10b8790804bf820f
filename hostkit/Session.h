/// One run of the plugin on the host kit, as a host runs it: loading by file,
/// the six entry points in the host's order, the shared device and its
/// detections (WaitForDetection), settings and actions as a user triggers
/// them in a host, and arming. The development host's commands, its live view
/// and the self-test's tests run the plugin through it.
///
/// Threads: every member is called on the owner's thread. The plugin logs
/// from its worker too; those lines, and the shared device's NotifyChanged
/// among them, are queued by the host's sinks (under `queueMutex_`) and read
/// here in Poll().
#pragma once

#include "contract/SyncMode.h"
#include "hostkit/DetectionLog.h"
#include "hostkit/Host.h"
#include "hostkit/Plugin.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hostkit {

/// Longest wait for a detection: a start-up that times out takes 13 s, and
/// each calibration-file download up to 25 s more.
constexpr double kDetectionTimeoutSeconds = 600.0;

class PluginSession
{
public:
    /// Called for every log line read by Poll(), in order.
    typedef std::function<void(const LogLine&)> LogPrinter;

    /// On a host of its own, whose clock is a steady one from now on.
    PluginSession();
    /// On `host` (a test's), which must outlive the session. The session
    /// takes its log and notify sinks.
    explicit PluginSession(hostkit::Host& host);
    /// Shuts the plugin down if it was initialised.
    ~PluginSession();
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    /// Loads the plugin file; false with `error` when it cannot be used.
    bool Load(const std::string& path, std::string& error);
    /// Uses the plugin linked into the program (a test's, in virtual time).
    void Link(const PluginLibrary::EntryPoints& entryPoints, const std::string& name)
    {
        plugin_.Link(entryPoints, name);
    }
    const std::string& PluginPath() const { return plugin_.Path(); }
    int ApiVersion() const { return plugin_.ApiVersion(); }
    /// PluginAPIVersion, Initialise and ProvideDeviceDefinitions.
    void Start();
    /// BeginDeviceInstantiation and the shared device's Attach, which starts
    /// the first detection. False when the host got no shared device.
    bool InstantiateSharedDevice();
    /// Shutdown; the plugin stays loaded. Called by the destructor if needed.
    void Shutdown();

    hostkit::Host& Host() { return host_; }
    /// The host's clock, seconds (the clock of StartCapture).
    double Now() { return host_.Now(); }
    void SetLogPrinter(LogPrinter printer) { printer_ = std::move(printer); }
    /// Every pushed block, on the plugin's thread (Host::SetSampleSink).
    void SetSampleSink(hostkit::Host::SampleSink sink) { host_.SetSampleSink(std::move(sink)); }

    /// Reads the new log lines and returns the detections finished since the
    /// last call, with their plate devices attached.
    std::vector<DetectionReport> Poll();
    /// Polls until a detection finishes or `seconds` pass; false on time-out.
    bool WaitForDetection(double seconds, DetectionReport& report);

    /// The shared device, once the host accepted it.
    std::optional<OfferedDevice> SharedDevice() const;
    /// The plate devices the host accepted, in instantiation order.
    std::vector<OfferedDevice> Plates() const;
    /// The host's value of a plate's "Connected" parameter.
    static bool Connected(const OfferedDevice& plate);
    /// A device's GetState.
    DeviceStatus StatusOf(const OfferedDevice& device) const { return host_.StatusOf(device); }

    // What a user does in the host: change a setting, press an action button.
    /// Sets the SyncMode setting to the mode's text. A change of the mode or
    /// the rate stops acquisition, and both return once the plugin reported
    /// the stop (at most a few seconds): otherwise the plugin folds the stops
    /// of two changes into one or not as its worker's timing has it, and a
    /// recording and its replay could differ by a call.
    void SetSyncMode(ZORVA::SyncMode mode);
    void SetSampleRate(const std::string& value);
    void SetDataThreshold(double newtons);
    void Rescan();
    void ZeroAll();
    void Blink(const OfferedDevice& plate);

    /// The registered definition the device was instantiated from, or null.
    const Definition* DefinitionOf(const OfferedDevice& device) const;
    /// Every registered definition, as the host keeps it.
    const std::vector<Definition>& Definitions() const { return definitions_; }
    /// The shared device's definition (registered first), or null before the plugin started.
    const Definition* SharedDefinition() const { return definitions_.empty() ? nullptr : &definitions_[0]; }

    /// Arms every accepted device (Host::ArmAll).
    ArmResult ArmAll() { return host_.ArmAll(); }
    /// StartCapture on every accepted device.
    void StartCapture(double hostTime) { host_.StartCapture(hostTime); }
    void DisarmAll() { host_.DisarmAll(); }
    /// The shared device asks to be armed again (GetState).
    bool RearmRequired();
    /// The acquisition rate of the last arming: the offered rate the plates'
    /// ticks per sample stand for (hostkit::RateOfTicks); 0 before any.
    unsigned int ArmedRate() { return host_.ArmedRate(); }

private:
    /// A log line, or the shared device's NotifyChanged in its place among them.
    struct PluginEvent
    {
        LogLine line;
        bool sharedNotified = false;
    };

    void TakeSinks();
    /// Ends the detection that logged its device count: attaches its plates.
    void FinishDetection();
    /// The shared device's setting or action changed by its name.
    void ChangeShared(const std::string& parameter, MoldraDigitalDevice::IParameterValue& value);
    /// Waits (real time, bounded) until the shared device notified more than `before` times.
    void AwaitSharedNotify(int before);

    std::unique_ptr<hostkit::Host> ownHost_;
    hostkit::Host& host_;
    Plugin plugin_;
    std::vector<Definition> definitions_;
    LogPrinter printer_;
    DetectionLogParser parser_;

    /// The shared device's NotifyChanged calls, counted on the plugin's threads.
    std::atomic<int> sharedNotifies_{0};
    Mutex queueMutex_;
    std::vector<PluginEvent> queue_ ZORVA_GUARDED_BY(queueMutex_); ///< filled on the plugin's threads
    /// When the current detection logged its device count (steady clock); its
    /// end is taken without the shared device's NotifyChanged after a while.
    std::optional<std::chrono::steady_clock::time_point> awaitingSince_;
};

} // namespace hostkit
