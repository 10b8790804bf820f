// FileVersion.h on Windows: the file version of the version resource.
#include "platform/FileVersion.h"

#include "platform/WindowsText.h"

#include <vector>
#include <winver.h>

namespace zorvaplatform {

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

} // namespace zorvaplatform
