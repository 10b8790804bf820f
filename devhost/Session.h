/// One run of the plugin in the development host: loading by file, the six
/// entry points in the host's order, the shared device and its detections,
/// settings and actions as a user triggers them in a host, and arming.
///
/// Threads: every member is called on the program's main thread. The plugin
/// logs from its worker too; those lines, and the shared device's
/// NotifyChanged among them, are queued by the host and read here in Poll().
#pragma once

#include "definitions/SyncMode.h"
#include "devhost/DetectionLog.h"
#include "devhost/PluginLibrary.h"
#include "devhost/RecordingHost.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zorvahost {

class PluginSession
{
public:
    /// Called for every log line read by Poll(), in order.
    typedef std::function<void(const LogLine&)> LogPrinter;

    PluginSession();
    /// Shuts the plugin down if it was initialised.
    ~PluginSession();
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    /// Loads the plugin file; false with `error` when it cannot be used.
    bool Load(const std::string& path, std::string& error);
    const std::string& PluginPath() const { return path_; }
    int ApiVersion() const;
    /// PluginAPIVersion, Initialise and ProvideDeviceDefinitions.
    void Start();
    /// BeginDeviceInstantiation and the shared device's Attach, which starts
    /// the first detection. False when the host got no shared device.
    bool InstantiateSharedDevice();
    /// Shutdown; the plugin stays loaded. Called by the destructor if needed.
    void Shutdown();

    RecordingHost& Host() { return host_; }
    void SetLogPrinter(LogPrinter printer) { printer_ = std::move(printer); }

    /// Reads the new log lines and returns the detections finished since the
    /// last call, with their plate devices attached.
    std::vector<DetectionReport> Poll();
    /// Polls until a detection finishes or `seconds` pass; false on time-out.
    bool WaitForDetection(double seconds, DetectionReport& report);

    /// The shared device, once the host accepted it.
    std::optional<InstantiatedDevice> SharedDevice() const;
    /// The plate devices the host accepted, in instantiation order.
    std::vector<InstantiatedDevice> Plates() const;
    /// The host's value of a plate's "Connected" parameter.
    static bool Connected(const InstantiatedDevice& plate);

    // What a user does in the host: change a setting, press an action button.
    /// Sets the SyncMode setting to the mode's text.
    void SetSyncMode(ZORVA::SyncMode mode);
    void SetSampleRate(const std::string& value);
    void SetDataThreshold(double newtons);
    void Rescan();
    void ZeroAll();
    void Blink(const InstantiatedDevice& plate);

    /// The registered definition the device was instantiated from, or null.
    const RecordedDefinition* DefinitionOf(const InstantiatedDevice& device) const;
    /// Every registered definition, as the host recorded it.
    const std::vector<RecordedDefinition>& Definitions() const { return definitions_; }

    /// Arms every accepted device, shared device first; the text lists the
    /// plates that refused. True when the shared device armed.
    bool ArmAll(std::string& refusals);
    /// StartCapture on every accepted device.
    void StartCapture(double hostTime);
    void DisarmAll();
    /// The shared device asks to be armed again (GetState).
    bool RearmRequired();
    /// The acquisition rate of the last arming, from the host's ticks per
    /// sample; 0 before any.
    unsigned int ArmedRate();

private:
    /// A log line, or the shared device's NotifyChanged in its place among them.
    struct PluginEvent
    {
        LogLine line;
        bool sharedNotified = false;
    };

    /// Ends the detection that logged its device count: attaches its plates.
    void FinishDetection();

    std::unique_ptr<PluginLibrary> library_;
    std::string path_;
    RecordingHost host_;
    CaptureSetup setup_{host_};
    bool initialised_ = false;
    std::vector<RecordedDefinition> definitions_;
    LogPrinter printer_;
    DetectionLogParser parser_;

    std::mutex queueMutex_;
    std::vector<PluginEvent> queue_; ///< filled on the plugin's threads
    /// When the current detection logged its device count (steady clock); its
    /// end is taken without the shared device's NotifyChanged after a while.
    std::optional<std::chrono::steady_clock::time_point> awaitingSince_;
    unsigned int streams_ = 0;
};

} // namespace zorvahost
