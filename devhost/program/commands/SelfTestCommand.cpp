// selftest: the commissioning self-test in real time, its summary on the
// console and, with --report, the report a lab keeps.
#include "ZorvaVersion.h"
#include "devhost/engine/PluginLog.h"
#include "devhost/engine/Settings.h"
#include "devhost/engine/Text.h"
#include "devhost/program/Commands.h"
#include "devhost/program/Console.h"
#include "devhost/program/SelfTestReport.h"
#include "devhost/program/Startup.h"
#include "platform/FileVersion.h"
#include "platform/Library.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace zorvahost {

using namespace MoldraDigitalDevice;

namespace {

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

/// The report's folder, made first: one that cannot be made costs no
/// self-test. False, the reason printed.
bool MakeReportFolder(const std::string& folder)
{
    std::error_code failure;
    std::filesystem::create_directories(folder, failure);
    if (failure || !std::filesystem::is_directory(folder)) {
        PrintError("cannot make the report folder " + folder + ": " +
                   (failure ? failure.message() : "a file of that name is in the way"));
        return false;
    }
    return true;
}

/// --rates against the rates the plugin offers. False, the reason printed.
bool CheckRates(const Options& options, const hostkit::PluginSession& session)
{
    for (unsigned int rate : options.rates) {
        if (!RateOffered(session, std::to_string(rate))) {
            PrintError("--rates: " + std::to_string(rate) + " is not an acquisition rate the plugin offers (" +
                       Joined(OfferedRates(session), ", ") + ")");
            return false;
        }
    }
    return true;
}

/// The self-test in real time, each line printed as it goes.
SelfTestResult RunChecks(CommandSession& parts, const Options& options)
{
    SelfTestOptions selfTestOptions;
    selfTestOptions.rates = options.rates;
    selfTestOptions.weights = options.weights;
    selfTestOptions.hardwareTrigger = options.hardwareTrigger;
    if (options.verbose)
        selfTestOptions.logPrinter = [](const hostkit::LogLine& line) {
            std::printf("    %s\n", LogText(line).c_str());
        };
    RealTime time(parts.Session().Host());
    SelfTest test(parts.Session(), time, parts.Bench(), selfTestOptions, [](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    });
    return test.Run();
}

/// --report: the report a lab keeps. False, the reason printed.
bool WriteSelfTestReport(const SelfTestResult& result, const CommandSession& parts, const Options& options)
{
    const std::string plugin = parts.Session().PluginPath();
    ReportContext context;
    context.date = LocalTime();
    context.program = std::string("zorva-devhost ") + ZORVA_VERSION_TEXT;
    std::string version, ignored;
    context.plugin = plugin + (zorvaplatform::ReadFileVersion(plugin, version, ignored) ? ", version " + version : "");
    std::string notFound;
    context.usbLibrary = zorvaplatform::UsbLibraryForPlugin(plugin, notFound);
    if (context.usbLibrary.empty())
        context.usbLibrary = notFound;
    context.bench = parts.Bench().Available() ? parts.Bench().Description() : std::string();
    context.rates = RatesInWords(options.rates);
    std::string report, error;
    if (!WriteReport(result, context, options.reportDir, report, error)) {
        PrintError(error);
        return false;
    }
    std::printf("Report: %s\n", report.c_str());
    return true;
}

} // namespace

int RunSelfTest(const Options& options)
{
    if (!options.reportDir.empty() && !MakeReportFolder(options.reportDir))
        return ExitFailure;
    CommandSession parts;
    if (!StartSession(parts, options, nullptr))
        return ExitFailure;
    PrintSessionHeader(parts, nullptr);
    hostkit::PluginSession& session = parts.Session();
    session.Start();
    if (!CheckRates(options, session))
        return ExitUsage;
    std::printf("Self-test: leave every plate unloaded, with nothing touching it, until a weight is asked for.\n");
    std::fflush(stdout);

    const SelfTestResult result = RunChecks(parts, options);
    session.Shutdown();
    if (!result.usageError.empty()) {
        PrintError(result.usageError);
        return ExitUsage;
    }
    std::printf("\n%s", ConsoleSummary(result).c_str());
    if (!options.reportDir.empty() && !WriteSelfTestReport(result, parts, options))
        return ExitFailure;
    return result.AllPassed() ? ExitSuccess : ExitFailure;
}

} // namespace zorvahost
