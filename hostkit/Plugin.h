/// The plugin loaded by file and driven through its six entry points in the
/// order a host calls them, on a Host.
///
/// Threads: the owner's thread calls every member; the plugin then calls the
/// host from its own threads too (Host says how that is handled).
#pragma once

#include "hostkit/Host.h"
#include "hostkit/PluginLibrary.h"

#include <memory>
#include <string>

namespace hostkit {

class Plugin
{
public:
    explicit Plugin(Host& host) : host_(host) {}
    /// Shuts the plugin down if it was initialised.
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    /// Loads the plugin file; false with `error` when it cannot be used.
    bool Load(const std::string& path, std::string& error);
    /// Uses a plugin linked into the program; `name` stands for its path.
    void Link(const PluginLibrary::EntryPoints& entryPoints, const std::string& name);
    const std::string& Path() const { return path_; }
    /// PluginAPIVersion of the loaded file; 0 when none is loaded.
    int ApiVersion() const;
    /// PluginAPIVersion, Initialise and ProvideDeviceDefinitions.
    void Start();
    /// BeginDeviceInstantiation, then Attach of every device it instantiated.
    void BeginInstantiation();
    /// Shutdown; the file stays loaded. Nothing when not initialised.
    void Shutdown();
    bool Initialised() const { return initialised_; }

private:
    Host& host_;
    std::unique_ptr<PluginLibrary> library_;
    std::string path_;
    bool initialised_ = false;
};

} // namespace hostkit
