// Files.h on Windows. Replaces FilesPosix.cpp in the Windows build.
#include "platform/Files.h"

#include "platform/WindowsText.h"

namespace zorvaplatform {

std::uint64_t FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data))
        return 0;
    return static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

std::string LocalPath(const std::string& windowsPath) { return windowsPath; }

bool FileExists(const std::string& windowsPath)
{
    const DWORD attributes = GetFileAttributesA(windowsPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

const char* NullDevice() { return "NUL"; }

} // namespace zorvaplatform
