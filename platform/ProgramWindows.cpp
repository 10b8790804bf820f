// Program.h on Windows. Replaces ProgramPosix.cpp in the Windows build.
#include "platform/Program.h"

#include "platform/WindowsText.h"

#include <chrono>
#include <cstdio>
#include <io.h>
#include <process.h>
#include <stdio.h>
// After <windows.h>; PSAPI_VERSION 2: kernel32's K32GetProcessMemoryInfo, no psapi.dll.
#include <psapi.h>

namespace zorvaplatform {

namespace {

/// One argument as the C runtime of the started program splits it again.
std::string QuoteArgument(const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"')
            quoted.append(backslashes * 2 + 1, '\\');
        else
            quoted.append(backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

} // namespace

std::string ProgramPath()
{
    std::vector<wchar_t> buffer(32768);
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return n > 0 && n < buffer.size() ? Narrow(std::wstring(buffer.data(), n)) : std::string();
}

std::string ProgramDirectory()
{
    const std::string path = ProgramPath();
    if (path.empty())
        return ".\\";
    return path.substr(0, path.find_last_of("\\/") + 1);
}

std::string SystemDescription()
{
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    const char* machine = info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64   ? "x86_64"
                          : info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL ? "x86"
                                                                                        : "other";
    return std::string("Windows ") + machine;
}

std::int64_t WallClockUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool StandardOutputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

std::size_t ResidentBytes()
{
    PROCESS_MEMORY_COUNTERS counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return counters.WorkingSetSize;
}

int RunProgram(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        return -1;
    std::vector<std::string> quoted;
    for (const std::string& argument : arguments)
        quoted.push_back(QuoteArgument(argument));
    std::vector<const char*> argv;
    for (const std::string& argument : quoted)
        argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    std::fflush(stdout);
    const intptr_t result = _spawnvp(_P_WAIT, arguments[0].c_str(), argv.data());
    return result < 0 ? -1 : static_cast<int>(result);
}

std::vector<std::string> PythonCandidates() { return {"python", "py"}; }

// "start" is a command of cmd; its first quoted argument (here empty) is a window title.
std::vector<std::string> BrowserCommand(const std::string& url) { return {"cmd", "/c", "start", "", url}; }

bool SkipPluginPauses() { return false; }

} // namespace zorvaplatform
