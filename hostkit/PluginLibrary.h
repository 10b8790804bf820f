/// Loads the plugin the way the host does: by file, resolving the six entry
/// points by their plain names.
#pragma once

#include "host/HostInterfaces.h"

#include <string>

namespace hostkit {

class PluginLibrary
{
public:
    typedef int (*PluginAPIVersionFn)();
    typedef bool (*InitialiseFn)(MoldraDigitalDevice::IPluginHost*);
    typedef void (*ProvideDeviceDefinitionsFn)(MoldraDigitalDevice::IDefinitionRegistry*);
    typedef void (*BeginDeviceInstantiationFn)(MoldraDigitalDevice::IDeviceInstantiator*);
    typedef void (*OnManualDeviceInstantiationFn)(const char*, const char*, const char*);
    typedef void (*ShutdownFn)();

    /// Loads `path`; check Loaded() and Error().
    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    /// True when the file loaded and all six entry points were found.
    bool Loaded() const { return handle_ != nullptr && error_.empty(); }
    const std::string& Error() const { return error_; }

    PluginAPIVersionFn PluginAPIVersion = nullptr;
    InitialiseFn Initialise = nullptr;
    ProvideDeviceDefinitionsFn ProvideDeviceDefinitions = nullptr;
    BeginDeviceInstantiationFn BeginDeviceInstantiation = nullptr;
    OnManualDeviceInstantiationFn OnManualDeviceInstantiation = nullptr;
    ShutdownFn Shutdown = nullptr;

private:
    /// Looks up a symbol of the loaded file (dlsym or GetProcAddress); notes a missing one in Error().
    void* Resolve(const char* name);
    /// The six entry points by their plain names; shared by both loaders.
    void ResolveEntryPoints()
    {
        PluginAPIVersion = reinterpret_cast<PluginAPIVersionFn>(Resolve("PluginAPIVersion"));
        Initialise = reinterpret_cast<InitialiseFn>(Resolve("Initialise"));
        ProvideDeviceDefinitions = reinterpret_cast<ProvideDeviceDefinitionsFn>(Resolve("ProvideDeviceDefinitions"));
        BeginDeviceInstantiation = reinterpret_cast<BeginDeviceInstantiationFn>(Resolve("BeginDeviceInstantiation"));
        OnManualDeviceInstantiation =
            reinterpret_cast<OnManualDeviceInstantiationFn>(Resolve("OnManualDeviceInstantiation"));
        Shutdown = reinterpret_cast<ShutdownFn>(Resolve("Shutdown"));
    }

    void* handle_ = nullptr;
    std::string error_;
};

/// The plugin file next to the running program.
std::string DefaultPluginPath();

} // namespace hostkit
