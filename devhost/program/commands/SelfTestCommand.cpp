// selftest: the commissioning self-test in real time, its summary on the
// console and, with --report, the report a lab keeps.
#include "ZorvaVersion.h"
#include "devhost/program/Commands.h"
#include "platform/FileVersion.h"
#include "platform/Library.h"
#include "devhost/program/Report.h"
#include "devhost/program/SelfTestReport.h"
#include "devhost/engine/Text.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace zorvahost {

using namespace MoldraDigitalDevice;

namespace {

/// The rates the SampleRate setting offers, as the plugin registered it.
std::vector<std::string> OfferedRates(const std::vector<hostkit::Definition>& definitions)
{
    return definitions.empty() ? std::vector<std::string>() : definitions[0].Offered("SampleRate");
}

std::string LocalTime()
{
    const std::time_t now = std::time(nullptr);
    char text[64] = "";
    const std::tm* local = std::localtime(&now);
    if (local)
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", local);
    return text;
}

std::string RatesInWords(const std::vector<unsigned int>& rates)
{
    if (rates.empty())
        return "every rate the units support";
    std::string text;
    for (unsigned int rate : rates)
        text += (text.empty() ? "" : ", ") + std::to_string(rate);
    return text + " per second (--rates)";
}

} // namespace

int RunSelfTest(const Options& options)
{
    // The report's folder first: one that cannot be made costs no self-test.
    if (!options.reportDir.empty()) {
        std::error_code failure;
        std::filesystem::create_directories(options.reportDir, failure);
        if (failure || !std::filesystem::is_directory(options.reportDir)) {
            std::fprintf(stderr, "error: cannot make the report folder %s: %s\n", options.reportDir.c_str(),
                         failure ? failure.message().c_str() : "a file of that name is in the way");
            return ExitFailure;
        }
    }
    hostkit::PluginSession session;
    if (!LoadPlugin(session, options))
        return ExitFailure;
    const BenchControl bench;
    std::printf("Plugin %s (API version %d)\n", session.PluginPath().c_str(), session.ApiVersion());
    if (bench.Available())
        std::printf("Simulated bench: %s\n", bench.Description().c_str());
    session.Start();
    const std::vector<std::string> offered = OfferedRates(session.Definitions());
    for (unsigned int rate : options.rates) {
        if (!offered.empty() && std::find(offered.begin(), offered.end(), std::to_string(rate)) == offered.end()) {
            std::string list;
            for (const std::string& each : offered)
                list += (list.empty() ? "" : ", ") + each;
            std::fprintf(stderr, "error: --rates: %u is not an acquisition rate the plugin offers (%s)\n", rate,
                         list.c_str());
            return ExitUsage;
        }
    }
    std::printf("Self-test: leave every plate unloaded, with nothing touching it, until a weight is asked for.\n");
    std::fflush(stdout);

    SelfTestOptions selfTestOptions;
    selfTestOptions.rates = options.rates;
    selfTestOptions.weights = options.weights;
    selfTestOptions.hardwareTrigger = options.hardwareTrigger;
    if (options.verbose)
        selfTestOptions.logPrinter = [](const hostkit::LogLine& line) {
            std::printf("    %s\n", LogText(line).c_str());
        };
    RealTime time(session.Host());
    SelfTestResult result;
    {
        SelfTest test(session, time, bench, selfTestOptions, [](const std::string& line) {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        });
        result = test.Run();
    }
    session.Shutdown();
    if (!result.usageError.empty()) {
        std::fprintf(stderr, "error: %s\n", result.usageError.c_str());
        return ExitUsage;
    }
    std::printf("\n%s", ConsoleSummary(result).c_str());

    if (!options.reportDir.empty()) {
        ReportContext context;
        context.date = LocalTime();
        context.program = std::string("zorva-devhost ") + ZORVA_VERSION_TEXT;
        std::string version, ignored;
        context.plugin =
            session.PluginPath() +
            (zorvaplatform::ReadFileVersion(session.PluginPath(), version, ignored) ? ", version " + version : "");
        std::string notFound;
        context.usbLibrary = zorvaplatform::UsbLibraryForPlugin(session.PluginPath(), notFound);
        if (context.usbLibrary.empty())
            context.usbLibrary = notFound;
        context.bench = bench.Available() ? bench.Description() : std::string();
        context.rates = RatesInWords(options.rates);
        std::string report, error;
        if (!WriteReport(result, context, options.reportDir, report, error)) {
            std::fprintf(stderr, "error: %s\n", error.c_str());
            return ExitFailure;
        }
        std::printf("Report: %s\n", report.c_str());
    }
    return result.AllPassed() ? ExitSuccess : ExitFailure;
}

} // namespace zorvahost
