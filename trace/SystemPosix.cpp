#include "trace/System.h"

#include <dlfcn.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <vector>

namespace zorvatrace {

void* LoadLibraryFile(const std::string& path, std::string& error)
{
    // A path with a slash: glibc loads this very file, even when a library
    // with the same SONAME (the recorder) is loaded already.
    const std::string withSlash = path.find('/') == std::string::npos ? "./" + path : path;
    void* library = dlopen(withSlash.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        error = "cannot load \"" + path + "\": " + (why ? why : "unknown reason");
    }
    return library;
}

void* LibrarySymbol(void* library, const char* name) { return library ? dlsym(library, name) : nullptr; }

const char* UsbLibraryFileName() { return "libZORVAUSBDevice.so"; }

void* LoadedUsbLibrarySymbol(const char* name)
{
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
    if (!library) {
        const char* why = dlerror();
        error = "cannot load \"" + path + "\": " + (why ? why : "unknown reason");
    }
    return library;
}

std::string SystemDescription()
{
    utsname name{};
    if (uname(&name) != 0)
        return "POSIX";
    return std::string(name.sysname) + " " + name.release + " " + name.machine;
}

std::string ProgramPath()
{
    std::vector<char> buffer(4096);
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    return n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
}

std::string FileName(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::uint64_t FileSize(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : 0;
    return size > 0 ? static_cast<std::uint64_t>(size) : 0;
}

std::int64_t WallClockUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace zorvatrace
