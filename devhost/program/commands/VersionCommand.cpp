// --version: what a lab has installed: this program's version, the plugin's
// (read from its file, which is not loaded) and the USB library the program
// runs on (the one the plugin loads), the maker's or the simulated one.
#include "ZorvaVersion.h"
#include "devhost/program/Commands.h"
#include "platform/FileVersion.h"
#include "platform/Library.h"
#include "devhost/program/Console.h"
#include "devhost/program/Startup.h"

#include <cstdio>
#include <string>

namespace zorvahost {

int RunVersion(const Options& options)
{
    std::printf("zorva-devhost %s\n", ZORVA_VERSION_TEXT);
    const std::string plugin = PluginPath(options);
    std::string pluginVersion, error;
    const bool pluginRead = zorvaplatform::ReadFileVersion(plugin, pluginVersion, error);
    if (pluginRead)
        std::printf("plugin %s (%s)\n", pluginVersion.c_str(), plugin.c_str());

    std::string usbVersion, why, ignored;
    const std::string usb = zorvaplatform::UsbLibraryForPlugin(plugin, why);
    if (usb.empty())
        std::printf("USB library not found: %s\n", why.c_str());
    else if (zorvaplatform::ReadFileVersion(usb, usbVersion, ignored))
        std::printf("USB library %s (%s)\n", usbVersion.c_str(), usb.c_str());
    else
        std::printf("USB library without version information (%s)\n", usb.c_str());

    if (!pluginRead) {
        PrintError("no plugin version: " + error);
        return ExitFailure;
    }
    if (pluginVersion != ZORVA_VERSION_TEXT)
        std::printf("note: the plugin's version is not this program's; the program may not know all it does\n");
    return ExitSuccess;
}

} // namespace zorvahost
