// Library.h on Linux and other POSIX systems: dlopen and dlsym.
#include "platform/Library.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace zorvaplatform {

namespace {

std::string DlError(const char* fallback)
{
    const char* why = dlerror();
    return why ? why : fallback;
}

} // namespace

const char* UsbLibraryFileName() { return "libZORVAUSBDevice.so"; }

void* LoadPluginFile(const std::string& path, std::string& error)
{
    // RTLD_LOCAL: the plugin's symbols stay its own, as in a host process.
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        error = DlError(("cannot load " + path).c_str()); // dlerror names the file
    return library;
}

void UnloadLibrary(void* library)
{
    if (library)
        dlclose(library);
}

void* LoadLibraryFile(const std::string& path, std::string& error)
{
    // A path with a slash: glibc loads this very file, even when a library
    // with the same SONAME (the recorder) is loaded already.
    const std::string withSlash = path.find('/') == std::string::npos ? "./" + path : path;
    void* library = dlopen(withSlash.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        error = "cannot load \"" + path + "\": " + DlError("unknown reason");
    return library;
}

void* LibrarySymbol(void* library, const char* name) { return library ? dlsym(library, name) : nullptr; }

void* LoadedUsbLibrarySymbol(const char* name)
{
    // Only a library already in the process: the plugin brought it.
    void* library = dlopen(UsbLibraryFileName(), RTLD_NOW | RTLD_NOLOAD);
    if (!library)
        return nullptr;
    void* symbol = dlsym(library, name);
    dlclose(library); // drops the reference NOLOAD added
    return symbol;
}

void* LoadLibraryInFront(const std::string& path, std::string& error)
{
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!library)
        error = "cannot load \"" + path + "\": " + DlError("unknown reason");
    return library;
}

std::string UsbLibraryForPlugin(const std::string& pluginPath, std::string& error)
{
    const std::string name = UsbLibraryFileName();
    std::vector<std::string> folders;
    if (const char* list = std::getenv("LD_LIBRARY_PATH")) {
        const std::string text = list;
        for (std::size_t at = 0; at <= text.size();) {
            const std::size_t colon = std::min(text.find(':', at), text.size());
            // An empty entry is the current folder, as the loader takes it.
            folders.push_back(colon == at ? "." : text.substr(at, colon - at));
            at = colon + 1;
        }
    }
    const std::size_t slash = pluginPath.find_last_of('/');
    folders.push_back(slash == std::string::npos ? "." : pluginPath.substr(0, slash == 0 ? 1 : slash));
    for (const std::string& folder : folders) {
        const std::string path = folder + (folder.back() == '/' ? "" : "/") + name;
        struct stat info;
        if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            char resolved[PATH_MAX];
            return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
        }
    }
    error = "no " + name + " beside the plugin " + pluginPath + " or on LD_LIBRARY_PATH";
    return std::string();
}

} // namespace zorvaplatform
