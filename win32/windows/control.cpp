// The test build's stand-ins for Sleep and CreateFileA. The plugin's core is
// linked into test programs with its imports of Sleep and CreateFileA renamed
// to __imp_ZorvaWin32_Sleep and __imp_ZorvaWin32_CreateFileA (see
// cmake/Windows.cmake); those import slots are defined here and point at
// functions that apply the test's handler or drive mapping and otherwise call
// the system. Nothing else in the program (C++ runtime, winpthreads,
// Boost.Thread, GoogleTest) is affected, so only the plugin's own pauses run in
// virtual time, as on Linux.
//
// One process, one set of controls: the program's build of this file
// (ZORVA_WIN32_CONTROL_PROGRAM) exports its controls, and the build linked into
// a DLL (the simulated USB library, which turns virtual time on for the tests)
// forwards to them, so the handler it sets is the one the core's Sleep calls.
// In a program without them (a host that loads the plugin DLL) the DLL's copy
// keeps its own settings, which nothing reads.
#include "win32_control.h"

#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

std::mutex g_handlerMutex;
ZorvaSleepHandler g_handler = nullptr;
void* g_context = nullptr;

std::mutex g_driveMutex;
std::map<char, std::string> g_driveOverrides;

char Upper(char letter) { return static_cast<char>(std::toupper(static_cast<unsigned char>(letter))); }

std::string MapPath(const char* windowsPath)
{
    const std::string path(windowsPath);
    if (path.size() < 2 || !std::isalpha(static_cast<unsigned char>(path[0])) || path[1] != ':')
        return path;
    std::string folder;
    {
        std::lock_guard<std::mutex> lock(g_driveMutex);
        auto it = g_driveOverrides.find(Upper(path[0]));
        if (it == g_driveOverrides.end())
            return path;
        folder = it->second;
    }
    std::string rest = path.substr(2);
    // "C:name" is relative to the drive's current folder; here, to its root.
    if (!rest.empty() && rest[0] != '\\' && rest[0] != '/')
        rest.insert(rest.begin(), '\\');
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
        folder.pop_back();
    return folder + rest;
}

/// In a DLL's copy, the program's export of `name`, if it has one; null in
/// the program's own copy.
template <typename Function>
Function ProgramControl(const char* name)
{
#if defined(ZORVA_WIN32_CONTROL_PROGRAM)
    (void)name;
    return nullptr;
#else
    const FARPROC exported = GetProcAddress(GetModuleHandleW(nullptr), name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(exported));
#endif
}

} // namespace

ZORVA_WIN32_API ZorvaSleepHandler ZorvaWin32_SetSleepHandler(ZorvaSleepHandler handler, void* context)
{
    if (auto program = ProgramControl<decltype(&ZorvaWin32_SetSleepHandler)>("ZorvaWin32_SetSleepHandler"))
        return program(handler, context);
    std::lock_guard<std::mutex> lock(g_handlerMutex);
    ZorvaSleepHandler old = g_handler;
    g_handler = handler;
    g_context = context;
    return old;
}

ZORVA_WIN32_API ZorvaSleepHandler ZorvaWin32_GetSleepHandler(void** context)
{
    if (auto program = ProgramControl<decltype(&ZorvaWin32_GetSleepHandler)>("ZorvaWin32_GetSleepHandler"))
        return program(context);
    std::lock_guard<std::mutex> lock(g_handlerMutex);
    if (context)
        *context = g_context;
    return g_handler;
}

ZORVA_WIN32_API void ZorvaWin32_SetDriveDirectory(char driveLetter, const char* directory)
{
    if (auto program = ProgramControl<decltype(&ZorvaWin32_SetDriveDirectory)>("ZorvaWin32_SetDriveDirectory"))
        return program(driveLetter, directory);
    std::lock_guard<std::mutex> lock(g_driveMutex);
    if (directory)
        g_driveOverrides[Upper(driveLetter)] = directory;
    else
        g_driveOverrides.erase(Upper(driveLetter));
}

ZORVA_WIN32_API std::size_t ZorvaWin32_MapPath(const char* windowsPath, char* out, std::size_t size)
{
    if (auto program = ProgramControl<decltype(&ZorvaWin32_MapPath)>("ZorvaWin32_MapPath"))
        return program(windowsPath, out, size);
    const std::string mapped = MapPath(windowsPath ? windowsPath : "");
    if (out && size > 0) {
        const std::size_t n = mapped.size() < size - 1 ? mapped.size() : size - 1;
        std::memcpy(out, mapped.data(), n);
        out[n] = '\0';
    }
    return mapped.size() + 1;
}

#if defined(ZORVA_WIN32_CONTROL_PROGRAM)

extern "C" void WINAPI ZorvaWin32_Sleep(DWORD milliseconds)
{
    ZorvaSleepHandler handler;
    void* context;
    {
        std::lock_guard<std::mutex> lock(g_handlerMutex);
        handler = g_handler;
        context = g_context;
    }
    if (handler)
        handler(milliseconds, context);
    else
        ::Sleep(milliseconds);
}

extern "C" HANDLE WINAPI ZorvaWin32_CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                                LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                                                DWORD flagsAndAttributes, HANDLE templateFile)
{
    if (!fileName)
        return ::CreateFileA(fileName, desiredAccess, shareMode, securityAttributes, creationDisposition,
                             flagsAndAttributes, templateFile);
    const std::string mapped = MapPath(fileName);
    return ::CreateFileA(mapped.c_str(), desiredAccess, shareMode, securityAttributes, creationDisposition,
                         flagsAndAttributes, templateFile);
}

// The import slots the renamed references of the core resolve to, laid out as
// the linker lays out a DLL import: a pointer to the function.
extern "C" {
void(WINAPI* __imp_ZorvaWin32_Sleep)(DWORD) = &ZorvaWin32_Sleep;
HANDLE(WINAPI* __imp_ZorvaWin32_CreateFileA)
(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) = &ZorvaWin32_CreateFileA;
}

#endif // ZORVA_WIN32_CONTROL_PROGRAM
