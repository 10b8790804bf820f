// Platform.h on Windows. Replaces PlatformPosix.cpp in the Windows build.
#include "devhost/Platform.h"

#include "win32/ZorvaWin32.h"

#include <cstdio>
#include <io.h>
#include <process.h>
#include <stdio.h>

namespace zorvahost {

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

bool StandardOutputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

void* FindUsbLibrarySymbol(const char* name)
{
    HMODULE library = GetModuleHandleW(L"ZORVAUSBDevice.dll");
    if (!library)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(library, name));
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

std::string ProgramDirectory()
{
    char self[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
    if (n == 0 || n >= sizeof self)
        return ".\\";
    const std::string path(self, n);
    return path.substr(0, path.find_last_of("\\/") + 1);
}

std::string LocalPath(const std::string& windowsPath) { return windowsPath; }

bool FileExists(const std::string& windowsPath)
{
    const DWORD attributes = GetFileAttributesA(windowsPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::vector<std::string> PythonCandidates() { return {"python", "py"}; }

} // namespace zorvahost
