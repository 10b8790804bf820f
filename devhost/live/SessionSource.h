/// The live view's source on the development host's plugin session: the
/// plugin loaded by file on the host kit, the simulated bench's controls when
/// they are there. It runs the session as the capture command does (the
/// detection, arming, re-arming whenever the plugin asks) for as long as the
/// live view lasts, and does the page's actions as a user does them in a host.
///
/// Threads: every member on the live loop's thread (the session's main
/// thread); the pushed blocks reach the block sink on the plugin's threads
/// through a forwarder that outlives this object, so a block that arrives
/// while it goes never finds it gone.
#pragma once

#include "devhost/engine/BenchControl.h"
#include "hostkit/Session.h"
#include "devhost/live/LiveSource.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zorvahost {
namespace live {

class SessionSource : public LiveSource
{
public:
    /// The session must be started (hostkit::PluginSession::Start); the bench looked up after the plugin was loaded.
    SessionSource(hostkit::PluginSession& session, const BenchControl& bench);
    ~SessionSource() override;
    SessionSource(const SessionSource&) = delete;
    SessionSource& operator=(const SessionSource&) = delete;

    /// Hands the shared device to the plugin, which starts the first
    /// detection; false when the host got no shared device.
    bool Begin();
    /// Settings to apply once the first detection finished, before the first arming.
    void SetStartSettings(std::optional<ZORVA::SyncMode> mode, const std::string& rate, std::optional<double> threshold)
    {
        startMode_ = mode;
        startRate_ = rate;
        startThreshold_ = threshold;
    }
    /// True when the setting offers the rate / takes the threshold; else false with `error` saying why not.
    bool CheckRate(const std::string& rate, std::string& error) const;
    bool CheckThreshold(double newtons, std::string& error) const;

    double Now() override { return session_.Now(); }
    void SetBlockSink(BlockSink* sink) override { forward_->sink.store(sink); }
    void Tick(std::vector<LiveLine>& lines) override;
    SessionView View() override;
    bool Do(const LiveAction& action, std::vector<LiveLine>& lines, std::string& error) override;

private:
    struct Forward
    {
        std::atomic<BlockSink*> sink{nullptr};
        hostkit::Host* host = nullptr;
    };

    void Arm(std::vector<LiveLine>& lines, bool asked);
    void ApplyStartSettings(std::vector<LiveLine>& lines);
    bool Rescan(std::vector<LiveLine>& lines, const std::string& why);

    hostkit::PluginSession& session_;
    const BenchControl& bench_;
    std::shared_ptr<Forward> forward_;
    std::vector<LiveLine> pluginLines_; ///< filled by the session's log printer, in Poll
    unsigned int unitRate_ = 0;         ///< from the plugin's log, in Poll
    int pendingDetections_ = 0;
    bool firstDetection_ = false;
    bool armed_ = false;
    double rearmNotBefore_ = 0.0;
    std::optional<ZORVA::SyncMode> startMode_;
    std::string startRate_;
    std::optional<double> startThreshold_;
};

} // namespace live
} // namespace zorvahost
