/// The running program and the programs it starts, as the tools need them:
/// its file and folder, the system it runs on, its console and memory, and
/// another program run beside it (the plot script's Python, the browser).
/// One implementation per system (ProgramPosix.cpp, ProgramWindows.cpp),
/// chosen by the build, so the tools stay free of system calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zorvaplatform {

/// The running program's file; empty when the system does not say.
std::string ProgramPath();
/// The folder of the running program, ending in a path separator ("./" or
/// ".\" when the system does not say).
std::string ProgramDirectory();

/// "Linux 6.1.0 x86_64", "Windows x86_64": the system the program runs on.
std::string SystemDescription();
/// Microseconds since 1970-01-01 UTC.
std::int64_t WallClockUs();

/// True when standard output is a terminal (not a file or a pipe).
bool StandardOutputIsTerminal();
/// The process's resident memory now, bytes; 0 when the system does not say.
std::size_t ResidentBytes();

/// Runs `arguments[0]` (looked up on the PATH) with the other arguments and
/// waits for it. Its output goes where ours goes. Returns its exit code, or -1
/// when it could not be started.
int RunProgram(const std::vector<std::string>& arguments);
/// Python interpreters to try for the plot, in order.
std::vector<std::string> PythonCandidates();
/// The command that opens `url` in the user's browser.
std::vector<std::string> BrowserCommand(const std::string& url);

/// Lets the plugin's pauses (its Sleep calls) in this process pass at once
/// where the system layer allows it, for a replay, which answers as recorded
/// whatever the time: the POSIX Win32 layer does; on Windows the plugin calls
/// the system's Sleep and this does nothing. True when they pass at once.
bool SkipPluginPauses();

} // namespace zorvaplatform
