/// What the development host needs from the operating system beyond the
/// plugin loader: one implementation per system (PlatformPosix.cpp,
/// PlatformWindows.cpp), chosen by the build, so the commands stay free of
/// system calls.
#pragma once

#include <string>
#include <vector>

namespace zorvahost {

/// True when standard output is a terminal (not a file or a pipe).
bool StandardOutputIsTerminal();

/// An export of the USB library the plugin loaded (ZORVAUSBDevice), or null
/// when that library is not loaded or lacks the name.
void* FindUsbLibrarySymbol(const char* name);

/// The USB library the plugin at `pluginPath` loads when it is loaded, found
/// as the system finds the plugin's import of it (the program itself imports
/// none): on Windows beside the plugin (the host loads it with its folder
/// searched first), in the system folders, the current folder, then on PATH;
/// elsewhere on LD_LIBRARY_PATH, then beside the plugin (its RUNPATH
/// $ORIGIN). Empty, with `error` naming where it looked, when there is none.
std::string UsbLibraryForPlugin(const std::string& pluginPath, std::string& error);

/// Lets the plugin's pauses (its Sleep calls) in this process pass at once
/// where the system layer allows it, for a replay, which answers as recorded
/// whatever the time: the POSIX Win32 layer does; on Windows the plugin calls
/// the system's Sleep and this does nothing. True when they pass at once.
bool SkipPluginPauses();

/// The version a module file states about itself, read from the file without
/// loading it: the file version of its version resource on Windows, its
/// "ZORVA" version note (ELF) elsewhere. False, with `error` saying why, when
/// the file cannot be read or states none.
bool ReadFileVersion(const std::string& path, std::string& version, std::string& error);

/// Runs `arguments[0]` (looked up on the PATH) with the other arguments and
/// waits for it. Its output goes where ours goes. Returns its exit code, or -1
/// when it could not be started.
int RunProgram(const std::vector<std::string>& arguments);

/// The folder of the running program, ending in a path separator.
std::string ProgramDirectory();

/// The local path the plugin opens for a Windows path such as
/// "C:\ZORVA\CFG\Strivo.cfg" (drive C mapped to $ZORVA_DRIVE_C off Windows);
/// the path itself on Windows.
std::string LocalPath(const std::string& windowsPath);

/// True when the file (a Windows path, mapped as the plugin maps it) exists.
bool FileExists(const std::string& windowsPath);

/// The process's resident memory now, bytes; 0 when the system does not say.
std::size_t ResidentBytes();

/// The file that swallows whatever is written to it ("/dev/null", "NUL").
const char* NullDevice();

/// Python interpreters to try for the plot, in order.
std::vector<std::string> PythonCandidates();

} // namespace zorvahost
