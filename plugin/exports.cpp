// The six entry points the host resolves by their plain names. Each is a
// one-line call into the plugin, behind a catch-all: no exception may cross
// into the host's process.
#include "Plugin.h"
#include "devices/Guarded.h"

#if defined(_WIN32)
#    define ZORVA_EXPORT extern "C" __declspec(dllexport)
#else
#    define ZORVA_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using namespace MoldraDigitalDevice;
using ZORVA::Guarded;
using ZORVA::hostServices;

ZORVA_EXPORT int PluginAPIVersion()
{
    return Guarded(hostServices, "PluginAPIVersion", 1, [] { return ZORVA::PluginAPIVersion(); });
}

ZORVA_EXPORT bool Initialise(IPluginHost* host)
{
    return Guarded(hostServices, "Initialise", true, [&] { return ZORVA::Initialise(host); });
}

ZORVA_EXPORT void ProvideDeviceDefinitions(IDefinitionRegistry* registry)
{
    Guarded(hostServices, "ProvideDeviceDefinitions", [&] { ZORVA::ProvideDeviceDefinitions(registry); });
}

ZORVA_EXPORT void BeginDeviceInstantiation(IDeviceInstantiator* instantiator)
{
    Guarded(hostServices, "BeginDeviceInstantiation", [&] { ZORVA::BeginDeviceInstantiation(instantiator); });
}

ZORVA_EXPORT void OnManualDeviceInstantiation(const char* manufacturer, const char* name, const char* version)
{
    Guarded(hostServices, "OnManualDeviceInstantiation",
            [&] { ZORVA::OnManualDeviceInstantiation(manufacturer, name, version); });
}

ZORVA_EXPORT void Shutdown()
{
    Guarded(hostServices, "Shutdown", [] { ZORVA::Shutdown(); });
}
