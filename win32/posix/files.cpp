// File opening with Win32 error codes, and the mapping of drive letters to
// directories (the way Wine maps drive C into its prefix).
#include "win32_control.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

std::mutex g_driveMutex;
std::map<char, std::string> g_driveOverrides;

/// Directory that stands for drive `letter`: the process override, else
/// $ZORVA_DRIVE_<X>, else $HOME/.zorva/drive_<x>.
std::string DriveDirectory(char letter)
{
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    {
        std::lock_guard<std::mutex> lock(g_driveMutex);
        auto it = g_driveOverrides.find(upper);
        if (it != g_driveOverrides.end())
            return it->second;
    }
    const std::string variable = std::string("ZORVA_DRIVE_") + upper;
    if (const char* value = std::getenv(variable.c_str()))
        return value;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.zorva/drive_" +
           static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
}

std::string MapPath(const char* windowsPath)
{
    std::string path(windowsPath);
    std::string result;
    std::size_t rest = 0;
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
        result = DriveDirectory(path[0]);
        rest = 2;
        if (rest < path.size() && path[rest] != '\\' && path[rest] != '/')
            result += '/';
    }
    for (std::size_t i = rest; i < path.size(); ++i)
        result += path[i] == '\\' ? '/' : path[i];
    return result;
}

DWORD Win32ErrorFromErrno(int error)
{
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG: return ERROR_INVALID_NAME;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EIO: return ERROR_READ_FAULT;
    default: return ERROR_INVALID_PARAMETER;
    }
}

/// Windows tells a missing file (ERROR_FILE_NOT_FOUND) from a missing folder
/// on the way to it (ERROR_PATH_NOT_FOUND); POSIX says ENOENT for both.
DWORD MissingError(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return ERROR_FILE_NOT_FOUND;
    struct stat info;
    const std::string parent = path.substr(0, slash);
    if (::stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
}

} // namespace

ZORVA_WIN32_API DWORD WINAPI GetLastError() { return t_lastError; }

ZORVA_WIN32_API void WINAPI SetLastError(DWORD errorCode) { t_lastError = errorCode; }

ZORVA_WIN32_API void ZorvaWin32_SetDriveDirectory(char driveLetter, const char* directory)
{
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(driveLetter)));
    std::lock_guard<std::mutex> lock(g_driveMutex);
    if (directory)
        g_driveOverrides[upper] = directory;
    else
        g_driveOverrides.erase(upper);
}

ZORVA_WIN32_API std::size_t ZorvaWin32_MapPath(const char* windowsPath, char* out, std::size_t size)
{
    const std::string mapped = MapPath(windowsPath ? windowsPath : "");
    if (out && size > 0) {
        const std::size_t n = mapped.size() < size - 1 ? mapped.size() : size - 1;
        std::memcpy(out, mapped.data(), n);
        out[n] = '\0';
    }
    return mapped.size() + 1;
}

ZORVA_WIN32_API HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                          LPVOID /*securityAttributes*/, DWORD creationDisposition,
                                          DWORD /*flagsAndAttributes*/, HANDLE /*templateFile*/)
{
    // Only reading existing files is needed (and supported) here. POSIX has
    // no share modes to enforce: other programs' handles never keep a file
    // from being read, as on Windows with read and write sharing.
    const DWORD knownSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    if (!fileName || desiredAccess != GENERIC_READ || creationDisposition != OPEN_EXISTING ||
        (shareMode & ~knownSharing) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::string path = MapPath(fileName);
    // Non-blocking, so that a named pipe without a writer does not hold the
    // caller in open(): CreateFileA never waits for one.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        SetLastError(error == ENOENT ? MissingError(path) : Win32ErrorFromErrno(error));
        return INVALID_HANDLE_VALUE;
    }
    // Opening a folder as a file is refused on Windows with "access denied".
    struct stat info;
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // Reads block again, as ReadFile's do.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
        const int error = errno;
        ::close(fd);
        SetLastError(Win32ErrorFromErrno(error));
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    // The descriptor, offset by one so that descriptor 0 is not a null handle.
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd) + 1);
}

ZORVA_WIN32_API BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                                     LPVOID /*overlapped*/)
{
    if (bytesRead)
        *bytesRead = 0;
    if (file == INVALID_HANDLE_VALUE || file == nullptr || (!buffer && bytesToRead > 0)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(file) - 1);
    ssize_t n;
    do {
        n = ::read(fd, buffer, bytesToRead);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        SetLastError(Win32ErrorFromErrno(errno));
        return FALSE;
    }
    if (bytesRead)
        *bytesRead = static_cast<DWORD>(n);
    return TRUE;
}

ZORVA_WIN32_API DWORD WINAPI GetFileType(HANDLE file)
{
    if (file == INVALID_HANDLE_VALUE || file == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FILE_TYPE_UNKNOWN;
    }
    const int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(file) - 1);
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FILE_TYPE_UNKNOWN;
    }
    SetLastError(NO_ERROR);
    if (S_ISREG(info.st_mode))
        return FILE_TYPE_DISK;
    if (S_ISCHR(info.st_mode))
        return FILE_TYPE_CHAR;
    if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))
        return FILE_TYPE_PIPE;
    return FILE_TYPE_UNKNOWN;
}

ZORVA_WIN32_API BOOL WINAPI CloseHandle(HANDLE object)
{
    if (object == INVALID_HANDLE_VALUE || object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(object) - 1);
    if (::close(fd) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
