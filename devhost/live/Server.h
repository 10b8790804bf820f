/// The live view's HTTP and WebSocket server (Boost.Beast on Asio), on one
/// thread of its own: it serves the page's built-in files and nothing else,
/// streams a frame to every browser every 25 ms (a snapshot first), and hands
/// the page's actions to the live loop through the Hub.
///
/// Safety: it listens where it is told (the loopback address unless the user
/// says otherwise); it answers only requests whose Host is "localhost" or a
/// numeric address with its port; the data stream, the only way to act, is
/// opened only with the run's token, which only the served page carries, and
/// only from the page's own origin; every other request gets an HTTP error
/// and a line in the log. No request can stop the server or reach a file.
///
/// Threads: Start, Stop and the accessors on the owner's thread; everything
/// else on the server's thread. `statsMutex_` guards the statistics; the rest
/// of the server's state lives on its thread only.
#pragma once

#include "devhost/live/Decimator.h"
#include "devhost/live/Hub.h"
#include "win32/ThreadSafety.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace zorvahost {
namespace live {

struct ServerSettings
{
    std::string address = "127.0.0.1";
    unsigned short port = 0; ///< 0: one the system picks
    std::chrono::milliseconds framePeriod{25};
    std::size_t queueFrames = 8; ///< per browser
    std::size_t maxStreams = 16;
    std::size_t maxConnections = 64; ///< plain HTTP connections at once
};

/// What the server did, for the benchmark and the tests.
struct ServerStats
{
    std::uint64_t frames = 0;        ///< frames built
    std::uint64_t messagesSent = 0;  ///< to all browsers
    std::uint64_t framesDropped = 0; ///< by slow browsers
    std::uint64_t streams = 0;       ///< browsers streaming now
    std::uint64_t refused = 0;       ///< requests answered with an error
    /// From a block's arrival (host time) to its first frame being handed
    /// to a browser's connection, seconds, over the frames that carried new blocks.
    std::uint64_t latencyCount = 0;
    double latencySum = 0.0;
    double latencyMax = 0.0;
    /// Counts per millisecond, the last one for 1 s and more.
    std::uint64_t latencyMs[1001] = {};

    /// The latency below which `share` (0..1) of the samples fell, seconds.
    double LatencyQuantile(double share) const;
};

class LiveServer
{
public:
    /// `clock` is the host's (Host::Now, callable from any thread); `log`
    /// gets a line for every refused request and the server's own troubles,
    /// on the server's thread.
    LiveServer(ServerSettings settings, Hub& hub, Decimator& decimator, std::function<double()> clock,
               std::function<void(const std::string&)> log);
    ~LiveServer();
    LiveServer(const LiveServer&) = delete;
    LiveServer& operator=(const LiveServer&) = delete;

    /// Listens and starts the server's thread; false with `error` when it cannot listen.
    bool Start(std::string& error);
    /// Closes every connection and joins the thread. Nothing when not started.
    void Stop();

    unsigned short Port() const;
    /// "http://127.0.0.1:8317/"
    std::string Url() const;
    const std::string& Token() const;
    ServerStats Stats() const;

    /// The server itself (Server.cpp); its connections hold it.
    class Impl;

private:
    std::shared_ptr<Impl> impl_;
};

} // namespace live
} // namespace zorvahost
