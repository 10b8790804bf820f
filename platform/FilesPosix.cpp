// Files.h on Linux and other POSIX systems.
#include "platform/Files.h"

#include "win32/posix/win32_control.h"

#include <fstream>
#include <sys/stat.h>

namespace zorvaplatform {

std::uint64_t FileSize(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : 0;
    return size > 0 ? static_cast<std::uint64_t>(size) : 0;
}

std::string LocalPath(const std::string& windowsPath)
{
    // The size needed includes the terminating NUL.
    const std::size_t needed = ZorvaWin32_MapPath(windowsPath.c_str(), nullptr, 0);
    std::string mapped(needed, '\0');
    ZorvaWin32_MapPath(windowsPath.c_str(), &mapped[0], mapped.size());
    mapped.resize(needed > 0 ? needed - 1 : 0);
    return mapped;
}

bool FileExists(const std::string& windowsPath)
{
    struct stat info;
    return stat(LocalPath(windowsPath).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

const char* NullDevice() { return "/dev/null"; }

} // namespace zorvaplatform
