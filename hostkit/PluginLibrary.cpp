#include "hostkit/PluginLibrary.h"

#include "platform/Library.h"
#include "platform/Program.h"

namespace hostkit {

PluginLibrary::PluginLibrary(const std::string& path)
{
    handle_ = zorvaplatform::LoadPluginFile(path, error_);
    if (handle_)
        ResolveEntryPoints();
}

PluginLibrary::~PluginLibrary() { zorvaplatform::UnloadLibrary(handle_); }

void* PluginLibrary::Resolve(const char* name)
{
    void* symbol = zorvaplatform::LibrarySymbol(handle_, name);
    if (!symbol && error_.empty())
        error_ = std::string("entry point not found: ") + name;
    return symbol;
}

std::string DefaultPluginPath() { return zorvaplatform::ProgramDirectory() + zorvaplatform::kPluginFileName; }

} // namespace hostkit
