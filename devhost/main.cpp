// The development host: loads ZORVAplugin.mdd like a motion-capture host and
// drives it on the simulated hardware (or whatever USB library sits next to
// it): definitions, detection, settings, arming, a capture, shut-down. It
// prints what the plugin registers, what the configuration files gave, the
// plate devices it instantiated and a summary of the samples of each plate.
#include "PluginLibrary.h"
#include "RecordingHost.h"

#include "definitions/CustomDefinitions.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

using namespace zorvahost;
using namespace MoldraDigitalDevice;

namespace {

struct Options
{
    std::string plugin = DefaultPluginPath();
    double seconds = 3.0;
    std::string rate;
    std::string mode;
    double threshold = -1.0;
    bool verbose = false;
};

void Usage(const char* program)
{
    std::printf("usage: %s [--plugin PATH] [--seconds S] [--rate N] [--mode software|hardware|genlock]\n"
                "          [--threshold NEWTONS] [--verbose]\n"
                "Runs the plugin through definitions, detection and a capture of S seconds (default 3).\n"
                "The simulated USB library reads its bench from $ZORVA_SIM_SCENARIO (default: two plates);\n"
                "configuration files are read from $ZORVA_DRIVE_C/ZORVA/CFG (default ~/.zorva/drive_c).\n",
                program);
}

bool Parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--plugin" && hasValue)
            options.plugin = argv[++i];
        else if (arg == "--seconds" && hasValue)
            options.seconds = std::atof(argv[++i]);
        else if (arg == "--rate" && hasValue)
            options.rate = argv[++i];
        else if (arg == "--mode" && hasValue)
            options.mode = argv[++i];
        else if (arg == "--threshold" && hasValue)
            options.threshold = std::atof(argv[++i]);
        else if (arg == "--verbose")
            options.verbose = true;
        else
            return false;
    }
    if (!options.mode.empty() && options.mode != "software" && options.mode != "hardware" && options.mode != "genlock")
        return false;
    return options.seconds >= 0.0;
}

void PrintDefinitions(const RecordingHost& host, bool verbose)
{
    const std::vector<RecordedDefinition> definitions = host.Definitions();
    std::printf("%zu definitions registered:\n", definitions.size());
    int index = 1;
    for (const RecordedDefinition& d : definitions) {
        std::printf("%3d. %s / %s (%s)\n", index++, d.manufacturer.c_str(), d.name.c_str(), d.deviceType.c_str());
        if (!verbose)
            continue;
        for (const RecordedParameter& p : d.parameters)
            std::printf("       %-20s %-18s id %llu  %s\n", p.name.c_str(), p.group.c_str(),
                        static_cast<unsigned long long>(p.id), p.value ? DescribeValue(*p.value).c_str() : "");
        for (const RecordedOutput& o : d.outputs) {
            std::printf("       output %s (%d):", o.name.c_str(), o.quantity);
            for (const std::string& c : o.channels)
                std::printf(" %s", c.c_str());
            std::printf("\n");
        }
    }
}

void PrintConfigurationSources()
{
    std::printf("Configuration files:\n");
    for (const ZORVA::CustomPlateSource& source : ZORVA::ReadCustomPlateSources()) {
        std::string error;
        for (wchar_t c : source.ErrorText)
            error += c == L'\r' ? ' ' : static_cast<char>(c & 0xff);
        std::printf("  %s: result %d, %zu plate(s)%s%s%s%s\n", source.Path.c_str(), source.Result, source.Plates.size(),
                    source.Note.empty() ? "" : " - ", source.Note.c_str(), error.empty() ? "" : " - ", error.c_str());
        for (const ZORVA::CustomPlate& plate : source.Plates)
            std::printf("      \"%s\" %.4f m x %.4f m\n", plate.Name.c_str(), plate.DimensionX, plate.DimensionY);
    }
}

/// The user changes a setting of the shared device.
template <typename V>
void ChangeSetting(const InstantiatedDevice& shared, const char* name, std::uint64_t id, V value)
{
    shared.services->ChangeParameter(name, value, id);
    shared.device->ParametersChanged();
}

bool WaitForLog(const RecordingHost& host, const std::string& prefix, std::size_t after, double seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::vector<LogLine> logs = host.Logs();
        for (std::size_t i = after; i < logs.size(); ++i) {
            if (logs[i].text.compare(0, prefix.size(), prefix) == 0)
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void PrintSamples(const InstantiatedDevice& plate)
{
    const std::vector<PushedBlock> blocks = plate.services->PushedBlocks();
    if (blocks.empty()) {
        std::printf("  %-28s no samples\n", plate.deviceName.c_str());
        return;
    }
    double fz = 0.0, cx = 0.0, cy = 0.0;
    std::size_t loaded = 0, samples = 0;
    for (const PushedBlock& block : blocks) {
        for (std::size_t s = 0; s + 9 <= block.values.size(); s += 9) {
            ++samples;
            if (block.values[s + 2] == 0.0f)
                continue; // at or below the Fz threshold
            ++loaded;
            fz += block.values[s + 2];
            cx += block.values[s + 6];
            cy += block.values[s + 7];
        }
    }
    std::printf("  %-28s %zu blocks, frames %lld..%lld, %zu samples, %zu above threshold", plate.deviceName.c_str(),
                blocks.size(), static_cast<long long>(blocks.front().frame),
                static_cast<long long>(blocks.back().frame + blocks.back().samplesPerBlock - 1), samples, loaded);
    if (loaded > 0)
        std::printf(", mean Fz %.1f N, mean CoP (%.3f, %.3f) m", fz / loaded, cx / loaded, cy / loaded);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!Parse(argc, argv, options)) {
        Usage(argv[0]);
        return 2;
    }

    PluginLibrary plugin(options.plugin);
    if (!plugin.Loaded()) {
        std::fprintf(stderr, "cannot load plugin %s: %s\n", options.plugin.c_str(), plugin.Error().c_str());
        return 1;
    }
    RecordingHost host;
    host.UseRealClock();
    host.EchoLogs(options.verbose);
    std::printf("Plugin %s, API version %d\n", options.plugin.c_str(), plugin.PluginAPIVersion());
    PrintConfigurationSources();

    plugin.Initialise(&host);
    plugin.ProvideDeviceDefinitions(&host);
    PrintDefinitions(host, options.verbose);

    // The shared device: instantiated, attached, and its first detection.
    const std::size_t logsBefore = host.Logs().size();
    plugin.BeginDeviceInstantiation(&host);
    host.AttachNewDevices();
    if (!WaitForLog(host, "Detected ", logsBefore, 60.0)) {
        std::printf("No detection result within 60 s.\n");
        plugin.Shutdown();
        return 1;
    }
    host.AttachNewDevices(); // the plate devices detection instantiated
    for (const LogLine& line : host.Logs()) {
        if (line.level >= 1 && !options.verbose)
            std::printf("[log %d] %s\n", line.level, line.text.c_str());
    }

    const std::vector<InstantiatedDevice> devices = host.Instantiated();
    std::printf("Instantiated devices:\n");
    for (const InstantiatedDevice& d : devices)
        std::printf("  \"%s\" (%s / %s)%s\n", d.deviceName.c_str(), d.manufacturer.c_str(), d.definitionName.c_str(),
                    d.accepted ? "" : " - refused");
    if (devices.empty() || !devices[0].accepted) {
        plugin.Shutdown();
        return 1;
    }
    const InstantiatedDevice& shared = devices[0];

    // Settings the user chose.
    if (!options.mode.empty()) {
        IParameterValueEnum mode;
        mode.SetValue(options.mode == "hardware" ? "Hardware trigger"
                                                 : options.mode == "genlock" ? "Genlock" : "Software trigger");
        ChangeSetting(shared, "SyncMode", 0, mode);
    }
    if (!options.rate.empty()) {
        IParameterValueEnum rate;
        rate.SetValue(options.rate);
        ChangeSetting(shared, "SampleRate", 1, rate);
    }
    if (options.threshold >= 0.0) {
        IParameterValueDouble threshold;
        threshold.SetValue(options.threshold);
        ChangeSetting(shared, "DataThreshold", 2, threshold);
    }

    // Capture.
    CaptureSetup setup(host);
    bool armed = true;
    unsigned int stream = 0;
    for (const InstantiatedDevice& d : devices) {
        if (d.accepted)
            armed = d.device->Arm(stream++, &setup) && armed;
    }
    std::printf("Armed: %s\n", armed ? "all devices" : "not every device (see the log)");
    for (const InstantiatedDevice& d : devices) {
        if (d.accepted)
            d.device->StartCapture(host.GetTime());
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(options.seconds));
    for (const InstantiatedDevice& d : devices) {
        if (d.accepted)
            d.device->Disarm();
    }

    std::printf("Samples in %.1f s:\n", options.seconds);
    for (std::size_t i = 1; i < devices.size(); ++i) {
        if (devices[i].accepted)
            PrintSamples(devices[i]);
    }
    plugin.Shutdown();
    std::printf("Shut down.\n");
    return 0;
}
