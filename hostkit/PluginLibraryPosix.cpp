// PluginLibrary off Windows: dlopen and dlsym; PluginLibraryWindows.cpp is
// the same on Windows. The build takes one of the two.
#include "hostkit/PluginLibrary.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace hostkit {

PluginLibrary::PluginLibrary(const std::string& path)
{
    // RTLD_LOCAL: the plugin's symbols stay its own, as in a host process.
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* message = dlerror();
        error_ = message ? message : ("cannot load " + path);
        return;
    }
    ResolveEntryPoints();
}

PluginLibrary::~PluginLibrary()
{
    if (handle_)
        dlclose(handle_);
}

void* PluginLibrary::Resolve(const char* name)
{
    void* symbol = dlsym(handle_, name);
    if (!symbol && error_.empty())
        error_ = std::string("entry point not found: ") + name;
    return symbol;
}

std::string DefaultPluginPath()
{
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return "ZORVAplugin.mdd";
    std::string path(self, static_cast<std::size_t>(n));
    return path.substr(0, path.find_last_of('/') + 1) + "ZORVAplugin.mdd";
}

} // namespace hostkit
