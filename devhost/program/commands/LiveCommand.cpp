// live: the session as capture runs it, with the page that shows every plate,
// until the page's Stop or Ctrl-C; the plugin shut down as a host does.
#include "devhost/program/commands/LiveCommand.h"

#include "devhost/engine/BenchControl.h"
#include "devhost/program/Commands.h"
#include "platform/Program.h"
#include "devhost/program/Report.h"
#include "devhost/live/Decimator.h"
#include "devhost/live/Hub.h"
#include "devhost/live/LiveLoop.h"
#include "devhost/live/SessionSource.h"

#include <boost/asio/ip/address.hpp>

#include <csignal>
#include <cstdio>
#include <mutex>

namespace zorvahost {
namespace live {

namespace {

/// Set by Ctrl-C (SIGINT) and SIGTERM.
std::atomic<bool> signalled{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnSignal(int) { signalled.store(true); }

/// Lines of the server's thread and of the loop on one console, whole.
std::mutex consoleMutex;

void Say(std::FILE* to, const std::string& text)
{
    std::lock_guard<std::mutex> lock(consoleMutex);
    std::fprintf(to, "%s\n", text.c_str());
    std::fflush(to);
}

bool Loopback(const std::string& address)
{
    boost::system::error_code error;
    const boost::asio::ip::address parsed = boost::asio::ip::make_address(address, error);
    return !error && parsed.is_loopback();
}

} // namespace

int RunLiveSession(const Options& options, const std::atomic<bool>& interrupted,
                   const std::function<void(const LiveServer&)>& listening)
{
    // The data path's sink and the meeting point outlive the plugin's shut-down.
    Decimator decimator;
    Hub hub;
    hostkit::PluginSession session;
    if (!LoadPlugin(session, options))
        return ExitFailure;
    const BenchControl bench;
    std::printf("Plugin %s (API version %d)\n", session.PluginPath().c_str(), session.ApiVersion());
    if (bench.Available())
        std::printf("Simulated bench: %s\n", bench.Description().c_str());
    session.Start();
    SessionSource source(session, bench);
    if (!options.rate.empty()) {
        const std::string error = source.CheckRate(options.rate);
        if (!error.empty()) {
            std::fprintf(stderr, "error: --rate %s: %s\n", options.rate.c_str(), error.c_str());
            return ExitUsage;
        }
    }
    if (options.thresholdSet) {
        const std::string error = source.CheckThreshold(options.threshold);
        if (!error.empty()) {
            std::fprintf(stderr, "error: --threshold: %s\n", error.c_str());
            return ExitUsage;
        }
    }
    source.SetStartSettings(options.mode, options.rate,
                            options.thresholdSet ? std::optional<double>(options.threshold) : std::nullopt);
    source.SetBlockSink(&decimator);

    ServerSettings settings;
    settings.address = options.listen.empty() ? "127.0.0.1" : options.listen;
    boost::system::error_code invalid;
    boost::asio::ip::make_address(settings.address, invalid);
    if (invalid) {
        std::fprintf(stderr,
                     "error: --listen %s: give a numeric address of this computer, for example 0.0.0.0 (every "
                     "one) or 192.168.1.20\n",
                     settings.address.c_str());
        return ExitUsage;
    }
    settings.port = options.portSet ? static_cast<unsigned short>(options.port) : kDefaultPort;
    hostkit::Host& host = session.Host();
    LiveServer server(
        settings, hub, decimator, [&host] { return host.Now(); }, [](const std::string& line) { Say(stderr, line); });
    std::string error;
    if (!server.Start(error)) {
        std::fprintf(stderr, "error: %s%s\n", error.c_str(),
                     options.portSet ? ""
                                     : " (another program uses the port? give --port N, or --port 0 for a free one)");
        return ExitFailure;
    }
    if (!Loopback(settings.address))
        std::printf("warning: listening on %s, not only on this computer's loopback address: anyone who can reach "
                    "this computer can watch the plates (the page's actions still need the page)\n",
                    settings.address.c_str());
    std::printf("Live view: %s  (open it in a browser; Ctrl-C or the page's Stop ends it)\n", server.Url().c_str());
    std::fflush(stdout);
    if (listening)
        listening(server);
    if (options.open && zorvaplatform::RunProgram(zorvaplatform::BrowserCommand(server.Url())) != 0)
        std::printf("Could not start a browser: open %s yourself.\n", server.Url().c_str());

    if (!source.Begin()) {
        std::fprintf(stderr, "error: the host could not instantiate the shared configuration device\n");
        return ExitFailure;
    }
    std::printf("Detecting the hardware...\n");
    std::fflush(stdout);
    LiveLoop loop(source, hub, [&options](const LiveLine& line) {
        // The console shows what the host did and the plugin's warnings; --verbose every line.
        if (options.verbose || line.source == LineSource::Host || line.level >= 2)
            Say(stdout, std::string(line.source == LineSource::Host ? "  host     " : "  plugin   ") +
                            (line.level >= 2 ? "warning: " : "") + line.text);
    });
    const bool stoppedByPage = loop.Run(interrupted);
    std::printf("%s: shutting the plugin down\n", stoppedByPage ? "Stopped from the page" : "Interrupted");
    std::fflush(stdout);
    session.DisarmAll();
    session.Shutdown();
    source.SetBlockSink(nullptr);
    // The page's last frames and the reply to its Stop go out first.
    const ServerStats stats = server.Stats();
    server.Stop();
    std::printf("Live view ended: %llu frames, %llu messages to browsers, %llu dropped by slow browsers\n",
                static_cast<unsigned long long>(stats.frames), static_cast<unsigned long long>(stats.messagesSent),
                static_cast<unsigned long long>(stats.framesDropped));
    return ExitSuccess;
}

} // namespace live

int RunLive(const Options& options)
{
    live::signalled.store(false);
    void (*previousInterrupt)(int) = std::signal(SIGINT, live::OnSignal);
    void (*previousTerminate)(int) = std::signal(SIGTERM, live::OnSignal);
    const int result = live::RunLiveSession(options, live::signalled, nullptr);
    std::signal(SIGINT, previousInterrupt == SIG_ERR ? SIG_DFL : previousInterrupt);
    std::signal(SIGTERM, previousTerminate == SIG_ERR ? SIG_DFL : previousTerminate);
    return result;
}

} // namespace zorvahost
