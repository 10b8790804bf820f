#include "hostkit/Plugin.h"

namespace hostkit {

Plugin::~Plugin() { Shutdown(); }

bool Plugin::Load(const std::string& path, std::string& error)
{
    path_ = path;
    library_.reset(new PluginLibrary(path));
    if (!library_->Loaded()) {
        error = library_->Error();
        library_.reset();
        return false;
    }
    return true;
}

void Plugin::Link(const PluginLibrary::EntryPoints& entryPoints, const std::string& name)
{
    path_ = name;
    library_.reset(new PluginLibrary(entryPoints));
}

int Plugin::ApiVersion() const { return library_ ? library_->PluginAPIVersion() : 0; }

void Plugin::Start()
{
    library_->PluginAPIVersion();
    library_->Initialise(&host_);
    initialised_ = true;
    library_->ProvideDeviceDefinitions(&host_);
}

void Plugin::BeginInstantiation()
{
    library_->BeginDeviceInstantiation(&host_);
    host_.AttachNewDevices();
}

void Plugin::Shutdown()
{
    if (!initialised_)
        return;
    initialised_ = false;
    library_->Shutdown();
}

} // namespace hostkit
