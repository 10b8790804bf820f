// Library.h on Windows: LoadLibraryW and GetProcAddress, as the
// motion-capture host loads a plugin. Replaces LibraryPosix.cpp in the Windows
// build.
#include "platform/Library.h"

#include "platform/WindowsText.h"

#include <algorithm>
#include <vector>

namespace zorvaplatform {

namespace {

std::string SystemMessage(DWORD code)
{
    char buffer[512] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                                   sizeof buffer, nullptr);
    std::string text(buffer, n);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return "error " + std::to_string(code) + (text.empty() ? "" : ": " + text);
}

bool IsAbsolute(const std::wstring& path)
{
    return (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) ||
           (path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/'));
}

std::string LastErrorText(const std::string& path)
{
    return "cannot load \"" + path + "\": Windows error " + std::to_string(GetLastError());
}

} // namespace

const char* UsbLibraryFileName() { return "ZORVAUSBDevice.dll"; }

void* LoadPluginFile(const std::string& path, std::string& error)
{
    const std::wstring widePath = Widen(path);
    // A host loads plugins from its plugin folder: the plugin's own imports
    // (the USB library) are looked for beside it, not beside the program.
    HMODULE module = IsAbsolute(widePath) ? LoadLibraryExW(widePath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                                          : LoadLibraryW(widePath.c_str());
    if (!module)
        error = "cannot load " + path + ": " + SystemMessage(GetLastError());
    return reinterpret_cast<void*>(module);
}

void UnloadLibrary(void* library)
{
    if (library)
        FreeLibrary(reinterpret_cast<HMODULE>(library));
}

void* LoadLibraryFile(const std::string& path, std::string& error)
{
    // A full path loads this very file, even with a module of the same name
    // (the recorder) loaded; its own DLLs are looked for beside it.
    HMODULE library = LoadLibraryExW(Widen(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!library)
        error = LastErrorText(path);
    return reinterpret_cast<void*>(library);
}

void* LibrarySymbol(void* library, const char* name)
{
    if (!library)
        return nullptr;
    // GetProcAddress finds only what the export table names: the plain name,
    // with no decoration, is the contract with the host.
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void* LoadedUsbLibrarySymbol(const char* name)
{
    HMODULE library = GetModuleHandleW(Widen(UsbLibraryFileName()).c_str());
    return library ? reinterpret_cast<void*>(GetProcAddress(library, name)) : nullptr;
}

void* LoadLibraryInFront(const std::string& path, std::string& error)
{
    // Windows binds a later import of the USB library's name to the module of
    // that name already loaded, wherever it came from.
    HMODULE library = LoadLibraryExW(Widen(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!library)
        error = LastErrorText(path);
    return reinterpret_cast<void*>(library);
}

std::string UsbLibraryForPlugin(const std::string& pluginPath, std::string& error)
{
    // The search of LoadLibraryEx with LOAD_WITH_ALTERED_SEARCH_PATH, as the
    // host kit loads the plugin: its folder instead of the program's.
    const std::wstring name = Widen(UsbLibraryFileName());
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
    error = std::string("no ") + UsbLibraryFileName() + " beside the plugin " + pluginPath +
            ", in the system folders or on PATH";
    return std::string();
}

} // namespace zorvaplatform
