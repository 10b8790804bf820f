#include "devhost/engine/CommandSession.h"

namespace zorvahost {

bool CommandSession::StartRecording(const std::string& tracePath, const std::string& pluginPath,
                                    const std::vector<std::string>& sessionArguments, std::string& error)
{
    std::string why;
    if (recorder_.Start(tracePath, pluginPath, sessionArguments, why))
        return true;
    error = "cannot record a trace into " + tracePath + ": " + why;
    return false;
}

bool CommandSession::LoadPlugin(const std::string& pluginPath, std::string& error)
{
    std::string why;
    if (!session_.Load(pluginPath, why)) {
        error = "cannot load the plugin " + pluginPath + ": " + why +
                "\nBuild it (scripts/run.sh builds it beside the program) or name another with --plugin PATH.";
        return false;
    }
    // The plugin brought its USB library: the simulated one has the controls.
    bench_.emplace();
    return true;
}

bool CommandSession::StartReplay(const std::string& tracePath, std::string& error)
{
    std::string why;
    if (!bench_ || !bench_->LoadTrace(tracePath, why)) {
        error = "cannot replay " + tracePath + ": " + why;
        return false;
    }
    bench_->SetReplaying();
    return true;
}

bool CommandSession::Detect(hostkit::DetectionReport& report, std::string& error)
{
    if (!session_.InstantiateSharedDevice()) {
        error = "the host could not instantiate the shared configuration device";
        return false;
    }
    if (!session_.WaitForDetection(hostkit::kDetectionTimeoutSeconds, report)) {
        error =
            "no detection result within " + std::to_string(static_cast<int>(hostkit::kDetectionTimeoutSeconds)) + " s";
        return false;
    }
    return true;
}

} // namespace zorvahost
