// Platform.h on Linux and other POSIX systems.
#include "devhost/Platform.h"

#include "win32/posix/win32_control.h"

#include <cerrno>
#include <dlfcn.h>
#include <limits.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zorvahost {

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

void* FindUsbLibrarySymbol(const char* name)
{
    // Only a library already in the process: the plugin brought it.
    void* library = dlopen("libZORVAUSBDevice.so", RTLD_NOW | RTLD_NOLOAD);
    if (!library)
        return nullptr;
    void* symbol = dlsym(library, name);
    dlclose(library); // drops the reference NOLOAD added
    return symbol;
}

int RunProgram(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        return -1;
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (!WIFEXITED(status))
        return -1;
    // posix_spawnp may report a missing program only through the child: the
    // shell convention 127 for "not found".
    return WEXITSTATUS(status) == 127 ? -1 : WEXITSTATUS(status);
}

std::string ProgramDirectory()
{
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return "./";
    const std::string path(self, static_cast<std::size_t>(n));
    return path.substr(0, path.find_last_of('/') + 1);
}

std::string LocalPath(const std::string& windowsPath)
{
    // The size needed includes the terminating NUL.
    const std::size_t needed = ZorvaWin32_MapPath(windowsPath.c_str(), nullptr, 0);
    std::string mapped(needed, '\0');
    ZorvaWin32_MapPath(windowsPath.c_str(), &mapped[0], mapped.size());
    mapped.resize(needed > 0 ? needed - 1 : 0);
    return mapped;
}

bool FileExists(const std::string& windowsPath)
{
    struct stat info;
    return stat(LocalPath(windowsPath).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::vector<std::string> PythonCandidates()
{
    // python3 first (a virtual environment the user chose); Debian's own
    // interpreter is the one its python3-matplotlib package serves.
    return {"python3", "/usr/bin/python3"};
}

} // namespace zorvahost
