/// Files and their names as the tools need them: the plugin's Windows paths
/// mapped as the plugin maps them (drive C: is $ZORVA_DRIVE_C off Windows),
/// a file's size, the null device. One implementation per system
/// (FilesPosix.cpp, FilesWindows.cpp), chosen by the build.
#pragma once

#include <cstdint>
#include <string>

namespace zorvaplatform {

/// The file name part of a path (after the last / or \), the same on every system.
inline std::string FileName(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

/// A file's size in bytes; 0 when it cannot be read.
std::uint64_t FileSize(const std::string& path);

/// The local path the plugin opens for a Windows path such as
/// "C:\ZORVA\CFG\Strivo.cfg" (drive C mapped to $ZORVA_DRIVE_C off Windows);
/// the path itself on Windows.
std::string LocalPath(const std::string& windowsPath);
/// True when the file (a Windows path, mapped as the plugin maps it) exists.
bool FileExists(const std::string& windowsPath);

/// The file that swallows whatever is written to it ("/dev/null", "NUL").
const char* NullDevice();

} // namespace zorvaplatform
