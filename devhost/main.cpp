// The development host: loads ZORVAplugin.mdd like a motion-capture host,
// drives it through its lifecycle on the simulated hardware and prints what
// the plugin registers and logs.
#include "PluginLibrary.h"
#include "RecordingHost.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace zorvahost;

namespace {

void PrintDefinitions(const RecordingHost& host)
{
    const std::vector<RecordedDefinition> definitions = host.Definitions();
    std::printf("%zu definitions registered:\n", definitions.size());
    int index = 1;
    for (const RecordedDefinition& d : definitions) {
        std::printf("%2d. %s / %s / \"%s\" (%s)\n", index++, d.manufacturer.c_str(), d.name.c_str(),
                    d.version.c_str(), d.deviceType.c_str());
        for (const RecordedParameter& p : d.parameters)
            std::printf("      %-20s %-14s id %llu  %s\n", p.name.c_str(), p.group.c_str(),
                        static_cast<unsigned long long>(p.id), p.value ? DescribeValue(*p.value).c_str() : "");
        for (const RecordedOutput& o : d.outputs) {
            std::printf("      output %s (%d):", o.name.c_str(), o.quantity);
            for (const std::string& c : o.channels)
                std::printf(" %s", c.c_str());
            std::printf("\n");
        }
        for (const std::string& s : d.syncPorts)
            std::printf("      sync port %s\n", s.c_str());
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::string path = DefaultPluginPath();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--plugin") == 0 && i + 1 < argc)
            path = argv[++i];
        else {
            std::fprintf(stderr, "usage: %s [--plugin PATH]\n", argv[0]);
            return 2;
        }
    }

    PluginLibrary plugin(path);
    if (!plugin.Loaded()) {
        std::fprintf(stderr, "cannot load plugin %s: %s\n", path.c_str(), plugin.Error().c_str());
        return 1;
    }
    RecordingHost host;
    host.EchoLogs(true);
    std::printf("Plugin %s, API version %d\n", path.c_str(), plugin.PluginAPIVersion());
    plugin.Initialise(&host);
    plugin.ProvideDeviceDefinitions(&host);
    PrintDefinitions(host);
    plugin.BeginDeviceInstantiation(&host);
    for (const InstantiatedDevice& d : host.Instantiated())
        std::printf("Instantiated \"%s\" (%s / %s)%s\n", d.deviceName.c_str(), d.manufacturer.c_str(),
                    d.definitionName.c_str(), d.accepted ? "" : " - refused");
    host.AttachNewDevices();
    plugin.Shutdown();
    std::printf("Shut down.\n");
    return 0;
}
