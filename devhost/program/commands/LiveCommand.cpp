// live: the session as capture runs it, with the page that shows every plate,
// until the page's Stop or Ctrl-C; the plugin shut down as a host does.
#include "devhost/program/commands/LiveCommand.h"

#include "devhost/live/Decimator.h"
#include "devhost/live/Hub.h"
#include "devhost/live/LiveLoop.h"
#include "devhost/live/SessionSource.h"
#include "devhost/program/Commands.h"
#include "devhost/program/Console.h"
#include "devhost/program/Startup.h"
#include "platform/Program.h"
#include "win32/ThreadSafety.h"

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

/// Lines of the server's thread and of the loop on one console, each whole:
/// `mutex_` is held while a line is written and flushed.
class ConsoleLines
{
public:
    void Say(std::FILE* to, const std::string& text)
    {
        ZORVA::ScopedLock<Mutex> lock(mutex_);
        std::fprintf(to, "%s\n", text.c_str());
        std::fflush(to);
    }

private:
    typedef ZORVA::AnnotatedMutex<std::mutex> Mutex;
    Mutex mutex_;
};

ConsoleLines console;

bool Loopback(const std::string& address)
{
    boost::system::error_code error;
    const boost::asio::ip::address parsed = boost::asio::ip::make_address(address, error);
    return !error && parsed.is_loopback();
}

/// --rate and --threshold against the shared settings. False, the reason printed.
bool CheckStartSettings(const Options& options, const SessionSource& source)
{
    std::string error;
    if (!options.rate.empty() && !source.CheckRate(options.rate, error)) {
        PrintError("--rate " + options.rate + ": " + error);
        return false;
    }
    if (options.thresholdSet && !source.CheckThreshold(options.threshold, error)) {
        PrintError("--threshold: " + error);
        return false;
    }
    return true;
}

/// The server's address and port as the options give them. False, the
/// reason printed, for an address that is not one.
bool ServerSettingsOf(const Options& options, ServerSettings& settings)
{
    settings.address = options.listen.empty() ? "127.0.0.1" : options.listen;
    boost::system::error_code invalid;
    boost::asio::ip::make_address(settings.address, invalid);
    if (invalid) {
        PrintError("--listen " + settings.address +
                   ": give a numeric address of this computer, for example 0.0.0.0 (every one) or 192.168.1.20");
        return false;
    }
    settings.port = options.portSet ? static_cast<unsigned short>(options.port) : kDefaultPort;
    return true;
}

/// The server listening, its address printed (and opened in a browser with
/// --open). False, the reason printed.
bool StartServer(LiveServer& server, const ServerSettings& settings, const Options& options,
                 const std::function<void(const LiveServer&)>& listening)
{
    std::string error;
    if (!server.Start(error)) {
        PrintError(error + (options.portSet
                                ? ""
                                : " (another program uses the port? give --port N, or --port 0 for a free one)"));
        return false;
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
    return true;
}

/// The console shows what the host did and the plugin's warnings; --verbose every line.
void ShowLine(const Options& options, const LiveLine& line)
{
    if (options.verbose || line.source == LineSource::Host || line.level >= 2)
        console.Say(stdout, std::string(line.source == LineSource::Host ? "  host     " : "  plugin   ") +
                                (line.level >= 2 ? "warning: " : "") + line.text);
}

} // namespace

int RunLiveSession(const Options& options, const std::atomic<bool>& interrupted,
                   const std::function<void(const LiveServer&)>& listening)
{
    // The data path's sink and the meeting point outlive the plugin's shut-down.
    Decimator decimator;
    Hub hub;
    CommandSession parts;
    if (!StartSession(parts, options, nullptr))
        return ExitFailure;
    PrintSessionHeader(parts, nullptr);
    hostkit::PluginSession& session = parts.Session();
    session.Start();
    SessionSource source(session, parts.Bench());
    if (!CheckStartSettings(options, source))
        return ExitUsage;
    source.SetStartSettings(options.mode, options.rate,
                            options.thresholdSet ? std::optional<double>(options.threshold) : std::nullopt);
    source.SetBlockSink(&decimator);

    ServerSettings settings;
    if (!ServerSettingsOf(options, settings))
        return ExitUsage;
    hostkit::Host& host = session.Host();
    LiveServer server(
        settings, hub, decimator, [&host] { return host.Now(); },
        [](const std::string& line) { console.Say(stderr, line); });
    if (!StartServer(server, settings, options, listening))
        return ExitFailure;

    if (!source.Begin()) {
        PrintError("the host could not instantiate the shared configuration device");
        return ExitFailure;
    }
    std::printf("Detecting the hardware...\n");
    std::fflush(stdout);
    LiveLoop loop(source, hub, [&options](const LiveLine& line) { ShowLine(options, line); });
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
