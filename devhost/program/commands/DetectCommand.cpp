// detect: the plugin's hardware detection, the units it found and the plates
// they became.
#include "devhost/program/Commands.h"
#include "devhost/program/Report.h"

#include <cstdio>

namespace zorvahost {

int RunDetect(const Options& options) { return DetectWith(options, nullptr); }

int DetectWith(const Options& options, ReplayPlan* replay)
{
    // Declared before the session: the trace ends after the plugin shut the library down.
    TraceRecorder recorder;
    if (!StartRecording(recorder, options))
        return ExitFailure;
    hostkit::PluginSession session;
    if (!LoadPlugin(session, options))
        return ExitFailure;
    BenchControl bench;
    if (replay) {
        if (!StartReplay(bench, *replay))
            return ExitFailure;
        bench.SetReplaying();
    }
    ReplayReport replayReport(session, bench, replay);
    std::printf("Plugin %s (API version %d)\n", session.PluginPath().c_str(), session.ApiVersion());
    if (replay)
        std::printf("Replay of %s on the simulated USB library\n", replay->path.c_str());
    else if (bench.Available())
        std::printf("Simulated bench: %s\n", bench.Description().c_str());
    if (options.verbose)
        session.SetLogPrinter([](const hostkit::LogLine& line) { std::printf("  %s\n", LogText(line).c_str()); });
    session.Start();
    hostkit::DetectionReport report;
    if (!DetectHardware(session, report))
        return ExitFailure;
    if (!options.verbose) {
        std::printf("Detection log (--verbose shows every USB-library call):\n");
        for (const hostkit::LogLine& line : report.log) {
            if (line.Level() >= ZORVA::LogLevel::Information)
                std::printf("  %s\n", LogText(line).c_str());
        }
    }
    PrintUnits(session, report, CustomPlates(ZORVA::ReadCustomPlateSources()), bench, false);
    session.Shutdown();
    replayReport.Now();
    if (!FinishRecording(recorder))
        return ExitFailure;
    if (!report.succeeded) {
        std::fprintf(stderr,
                     "error: the detection failed: %s\nCheck that the signal conditioners are powered and "
                     "connected, then run detect again.\n",
                     report.message.c_str());
        return ExitFailure;
    }
    return ExitSuccess;
}

} // namespace zorvahost
