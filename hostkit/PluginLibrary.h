/// Loads the plugin the way the host does: by file, resolving the six entry
/// points by their plain names (the system's calls: platform/Library.h).
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

    /// The six entry points of a plugin linked into the program itself:
    /// tests run its core in-process, where virtual time reaches it on
    /// every system.
    struct EntryPoints
    {
        PluginAPIVersionFn pluginAPIVersion;
        InitialiseFn initialise;
        ProvideDeviceDefinitionsFn provideDeviceDefinitions;
        BeginDeviceInstantiationFn beginDeviceInstantiation;
        OnManualDeviceInstantiationFn onManualDeviceInstantiation;
        ShutdownFn shutdown;
    };

    /// Loads `path`; check Loaded() and Error().
    explicit PluginLibrary(const std::string& path);
    /// A plugin linked in: nothing to load or unload.
    explicit PluginLibrary(const EntryPoints& linked)
        : PluginAPIVersion(linked.pluginAPIVersion),
          Initialise(linked.initialise),
          ProvideDeviceDefinitions(linked.provideDeviceDefinitions),
          BeginDeviceInstantiation(linked.beginDeviceInstantiation),
          OnManualDeviceInstantiation(linked.onManualDeviceInstantiation),
          Shutdown(linked.shutdown),
          linked_(true)
    {}
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    /// True when the file loaded and all six entry points were found.
    bool Loaded() const { return (handle_ != nullptr || linked_) && error_.empty(); }
    const std::string& Error() const { return error_; }

    PluginAPIVersionFn PluginAPIVersion = nullptr;
    InitialiseFn Initialise = nullptr;
    ProvideDeviceDefinitionsFn ProvideDeviceDefinitions = nullptr;
    BeginDeviceInstantiationFn BeginDeviceInstantiation = nullptr;
    OnManualDeviceInstantiationFn OnManualDeviceInstantiation = nullptr;
    ShutdownFn Shutdown = nullptr;

private:
    /// Looks up a symbol of the loaded file; notes a missing one in Error().
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
    bool linked_ = false;
    std::string error_;
};

/// The plugin file next to the running program.
std::string DefaultPluginPath();

} // namespace hostkit
