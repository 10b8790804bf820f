// The six entry points the host resolves by their plain names. Each is a
// one-line call into the plugin, behind a catch-all: no exception may cross
// into the host's process.
#include "Plugin.h"

#include <exception>
#include <string>

#if defined(_WIN32)
#  define ZORVA_EXPORT extern "C" __declspec(dllexport)
#else
#  define ZORVA_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using namespace MoldraDigitalDevice;

namespace {

void ReportFailure(const char* entryPoint, const char* what) noexcept
{
    try {
        ZORVA::LogToHost((std::string("Unexpected failure in ") + entryPoint + ": " + what).c_str(), 2);
    } catch (...) {
    }
}

template <typename Result, typename Call>
Result Guarded(const char* entryPoint, Result safeValue, Call call) noexcept
{
    try {
        return call();
    } catch (const std::exception& e) {
        ReportFailure(entryPoint, e.what());
    } catch (...) {
        ReportFailure(entryPoint, "unknown exception");
    }
    return safeValue;
}

} // namespace

ZORVA_EXPORT int PluginAPIVersion()
{
    return Guarded("PluginAPIVersion", 1, [] { return ZORVA::PluginAPIVersion(); });
}

ZORVA_EXPORT bool Initialise(IPluginHost* host)
{
    return Guarded("Initialise", true, [&] { return ZORVA::Initialise(host); });
}

ZORVA_EXPORT void ProvideDeviceDefinitions(IDefinitionRegistry* registry)
{
    Guarded("ProvideDeviceDefinitions", 0, [&] { return ZORVA::ProvideDeviceDefinitions(registry), 0; });
}

ZORVA_EXPORT void BeginDeviceInstantiation(IDeviceInstantiator* instantiator)
{
    Guarded("BeginDeviceInstantiation", 0, [&] { return ZORVA::BeginDeviceInstantiation(instantiator), 0; });
}

ZORVA_EXPORT void OnManualDeviceInstantiation(const char* manufacturer, const char* name, const char* version)
{
    Guarded("OnManualDeviceInstantiation", 0,
            [&] { return ZORVA::OnManualDeviceInstantiation(manufacturer, name, version), 0; });
}

ZORVA_EXPORT void Shutdown()
{
    Guarded("Shutdown", 0, [] { return ZORVA::Shutdown(), 0; });
}
