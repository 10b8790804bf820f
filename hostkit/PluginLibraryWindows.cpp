// PluginLibrary on Windows: LoadLibraryW and GetProcAddress, as the
// motion-capture host loads a plugin; PluginLibraryPosix.cpp (dlopen) is the
// same elsewhere. The build takes one of the two.
#include "hostkit/PluginLibrary.h"

#include "win32/ZorvaWin32.h"

#include <string>
#include <vector>

namespace hostkit {

namespace {

std::wstring Widen(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

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

} // namespace

PluginLibrary::PluginLibrary(const std::string& path)
{
    const std::wstring widePath = Widen(path);
    // A host loads plugins from its plugin folder: the plugin's own imports
    // (ZORVAUSBDevice.dll) are looked for beside it, not beside the program.
    HMODULE module = IsAbsolute(widePath) ? LoadLibraryExW(widePath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                                          : LoadLibraryW(widePath.c_str());
    if (!module) {
        error_ = "cannot load " + path + ": " + SystemMessage(GetLastError());
        return;
    }
    handle_ = reinterpret_cast<void*>(module);
    ResolveEntryPoints();
}

PluginLibrary::~PluginLibrary()
{
    if (handle_)
        FreeLibrary(reinterpret_cast<HMODULE>(handle_));
}

void* PluginLibrary::Resolve(const char* name)
{
    // GetProcAddress finds only what the export table names: the plain name,
    // with no decoration, is the contract with the host.
    FARPROC symbol = GetProcAddress(reinterpret_cast<HMODULE>(handle_), name);
    if (!symbol && error_.empty())
        error_ = std::string("entry point not found: ") + name;
    return reinterpret_cast<void*>(symbol);
}

std::string DefaultPluginPath()
{
    std::vector<wchar_t> self(32768);
    const DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (n == 0 || n >= self.size())
        return "ZORVAplugin.mdd";
    std::wstring path(self.data(), n);
    path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"ZORVAplugin.mdd";
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, &narrow[0], bytes, nullptr, nullptr);
    narrow.resize(narrow.size() - 1);
    return narrow;
}

} // namespace hostkit
