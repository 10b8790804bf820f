// Platform.h on Windows. Replaces PlatformPosix.cpp in the Windows build.
#include "devhost/Platform.h"

#include "win32/ZorvaWin32.h"

#include <cstdio>
#include <io.h>
#include <process.h>
#include <stdio.h>
#include <algorithm>
#include <vector>
#include <winver.h>
// After <windows.h>; PSAPI_VERSION 2: kernel32's K32GetProcessMemoryInfo, no psapi.dll.
#include <psapi.h>

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

std::wstring Widen(const std::string& text)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::string Narrow(const std::wstring& text)
{
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], n, nullptr, nullptr);
    return narrow;
}

} // namespace

bool StandardOutputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

std::size_t ResidentBytes()
{
    PROCESS_MEMORY_COUNTERS counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return counters.WorkingSetSize;
}

const char* NullDevice() { return "NUL"; }

void* FindUsbLibrarySymbol(const char* name)
{
    HMODULE library = GetModuleHandleW(L"ZORVAUSBDevice.dll");
    if (!library)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(library, name));
}

std::string UsbLibraryForPlugin(const std::string& pluginPath, std::string& error)
{
    // The search of LoadLibraryEx with LOAD_WITH_ALTERED_SEARCH_PATH, as the
    // host kit loads the plugin: its folder instead of the program's.
    const std::wstring name = L"ZORVAUSBDevice.dll";
    std::vector<std::wstring> folders;
    const std::wstring plugin = Widen(pluginPath);
    const std::size_t slash = plugin.find_last_of(L"\\/");
    folders.push_back(slash == std::wstring::npos ? L"." : plugin.substr(0, slash));
    std::vector<wchar_t> buffer(32768);
    if (UINT n = GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size())))
        folders.push_back(std::wstring(buffer.data(), n));
    if (UINT n = GetWindowsDirectoryW(buffer.data(), static_cast<UINT>(buffer.size())))
        folders.push_back(std::wstring(buffer.data(), n));
    folders.push_back(L".");
    if (DWORD n = GetEnvironmentVariableW(L"PATH", buffer.data(), static_cast<DWORD>(buffer.size()))) {
        const std::wstring path(buffer.data(), n < buffer.size() ? n : 0);
        for (std::size_t at = 0; at < path.size();) {
            const std::size_t semicolon = std::min(path.find(L';', at), path.size());
            if (semicolon > at)
                folders.push_back(path.substr(at, semicolon - at));
            at = semicolon + 1;
        }
    }
    for (const std::wstring& folder : folders) {
        const std::wstring candidate = folder + (folder.back() == L'\\' ? L"" : L"\\") + name;
        const DWORD attributes = GetFileAttributesW(candidate.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            continue;
        const DWORD n = GetFullPathNameW(candidate.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        return Narrow(n > 0 && n < buffer.size() ? std::wstring(buffer.data(), n) : candidate);
    }
    error = "no ZORVAUSBDevice.dll beside the plugin " + pluginPath + ", in the system folders or on PATH";
    return std::string();
}

bool SkipPluginPauses() { return false; }

bool ReadFileVersion(const std::string& path, std::string& version, std::string& error)
{
    const std::wstring widePath = Widen(path);
    if (GetFileAttributesW(widePath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        error = "cannot open " + path;
        return false;
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(widePath.c_str(), &ignored);
    std::vector<char> block(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoW(widePath.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof *info || info->dwSignature != VS_FFI_SIGNATURE) {
        error = path + " has no version resource";
        return false;
    }
    // Major.minor.patch, as the project numbers its versions; a build number
    // only when there is one.
    version = std::to_string(HIWORD(info->dwFileVersionMS)) + "." + std::to_string(LOWORD(info->dwFileVersionMS)) +
              "." + std::to_string(HIWORD(info->dwFileVersionLS));
    if (LOWORD(info->dwFileVersionLS) != 0)
        version += "." + std::to_string(LOWORD(info->dwFileVersionLS));
    return true;
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
