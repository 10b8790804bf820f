#include "trace/System.h"

#ifndef NOMINMAX
#    define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <chrono>
#include <fstream>
#include <vector>

namespace zorvatrace {

namespace {

std::wstring Wide(const std::string& text)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], n);
    wide.resize(static_cast<std::size_t>(n - 1));
    return wide;
}

std::string Narrow(const std::wstring& text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string narrow(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &narrow[0], n, nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(n - 1));
    return narrow;
}

std::string LastErrorText(const std::string& path)
{
    return "cannot load \"" + path + "\": Windows error " + std::to_string(GetLastError());
}

} // namespace

void* LoadLibraryFile(const std::string& path, std::string& error)
{
    // A full path loads this very file, even with a module of the same name
    // (the recorder) loaded; its own DLLs are looked for beside it.
    HMODULE library = LoadLibraryExW(Wide(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!library)
        error = LastErrorText(path);
    return reinterpret_cast<void*>(library);
}

void* LibrarySymbol(void* library, const char* name)
{
    if (!library)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

const char* UsbLibraryFileName() { return "ZORVAUSBDevice.dll"; }

void* LoadedUsbLibrarySymbol(const char* name)
{
    HMODULE library = GetModuleHandleW(L"ZORVAUSBDevice.dll");
    return library ? reinterpret_cast<void*>(GetProcAddress(library, name)) : nullptr;
}

void* LoadLibraryInFront(const std::string& path, std::string& error)
{
    // Windows binds a later import of ZORVAUSBDevice.dll to the module of
    // that name already loaded, wherever it came from.
    HMODULE library = LoadLibraryExW(Wide(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!library)
        error = LastErrorText(path);
    return reinterpret_cast<void*>(library);
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

std::string ProgramPath()
{
    std::vector<wchar_t> buffer(32768);
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return n > 0 ? Narrow(std::wstring(buffer.data(), n)) : std::string();
}

std::string FileName(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::uint64_t FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data))
        return 0;
    return static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}

std::int64_t WallClockUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace zorvatrace
