#include "devhost/program/Startup.h"

#include "devhost/program/Console.h"
#include "hostkit/PluginLibrary.h"

#include <cstdio>

namespace zorvahost {

std::string PluginPath(const Options& options)
{
    return options.plugin.empty() ? hostkit::DefaultPluginPath() : options.plugin;
}

bool StartSession(CommandSession& parts, const Options& options, const ReplayPlan* replay)
{
    const std::string plugin = PluginPath(options);
    std::string error;
    if (!options.recordTrace.empty()) {
        if (!parts.StartRecording(options.recordTrace, plugin, SessionArguments(options), error)) {
            PrintError(error);
            return false;
        }
        std::printf("Recording the USB library's calls into %s (the recording library stands in front of %s)\n",
                    options.recordTrace.c_str(), parts.Recorder().Library().c_str());
    }
    if (!parts.LoadPlugin(plugin, error) || (replay && !parts.StartReplay(replay->path, error))) {
        PrintError(error);
        return false;
    }
    return true;
}

void PrintSessionHeader(const CommandSession& parts, const ReplayPlan* replay)
{
    std::printf("Plugin %s (API version %d)\n", parts.Session().PluginPath().c_str(), parts.Session().ApiVersion());
    if (replay)
        std::printf("Replay of %s on the simulated USB library\n", replay->path.c_str());
    else if (parts.Bench().Available())
        std::printf("Simulated bench: %s\n", parts.Bench().Description().c_str());
}

bool DetectHardware(CommandSession& parts, hostkit::DetectionReport& report)
{
    std::printf("Detecting the hardware...\n");
    std::fflush(stdout);
    std::string error;
    if (!parts.Detect(report, error)) {
        PrintError(error);
        return false;
    }
    return true;
}

bool FinishRecording(CommandSession& parts)
{
    TraceRecorder& recorder = parts.Recorder();
    if (!recorder.Active())
        return true;
    std::string summary, error;
    if (!recorder.Finish(summary, error)) {
        PrintError("the trace was not written whole: " + error + " (" + summary + ")");
        return false;
    }
    std::printf("Trace %s. Send it, or replay it: zorva-devhost replay FILE\n", summary.c_str());
    return true;
}

} // namespace zorvahost
