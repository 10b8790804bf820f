// detect: the plugin's hardware detection, the units it found and the plates
// they became.
#include "devhost/engine/PluginLog.h"
#include "devhost/program/Commands.h"
#include "devhost/program/Console.h"
#include "devhost/program/DetectionOutput.h"
#include "devhost/program/Startup.h"

#include <cstdio>

namespace zorvahost {

int RunDetect(const Options& options) { return DetectWith(options, nullptr); }

int DetectWith(const Options& options, ReplayPlan* replay)
{
    CommandSession parts;
    if (!StartSession(parts, options, replay))
        return ExitFailure;
    ReplayReport replayReport(parts, replay);
    hostkit::PluginSession& session = parts.Session();
    PrintSessionHeader(parts, replay);
    if (options.verbose)
        session.SetLogPrinter([](const hostkit::LogLine& line) { std::printf("  %s\n", LogText(line).c_str()); });
    session.Start();
    hostkit::DetectionReport report;
    if (!DetectHardware(parts, report))
        return ExitFailure;
    if (!options.verbose) {
        std::printf("Detection log (--verbose shows every USB-library call):\n");
        for (const hostkit::LogLine& line : report.log) {
            if (line.Level() >= ZORVA::LogLevel::Information)
                std::printf("  %s\n", LogText(line).c_str());
        }
    }
    PrintUnits(session, report, CustomPlates(ZORVA::ReadCustomPlateSources()), parts.Bench(), false);
    session.Shutdown();
    replayReport.Now();
    if (!FinishRecording(parts))
        return ExitFailure;
    if (!report.succeeded) {
        PrintError("the detection failed: " + report.message +
                   "\nCheck that the signal conditioners are powered and connected, then run detect again.");
        return ExitFailure;
    }
    return ExitSuccess;
}

} // namespace zorvahost
