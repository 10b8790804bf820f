// Program.h on Linux and other POSIX systems.
#include "platform/Program.h"

#include "win32/posix/win32_control.h"

#include <cerrno>
#include <chrono>
#include <fstream>
#include <spawn.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zorvaplatform {

namespace {

void NoPause(DWORD, void*) {}

} // namespace

std::string ProgramPath()
{
    std::vector<char> buffer(4096);
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    return n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
}

std::string ProgramDirectory()
{
    const std::string path = ProgramPath();
    if (path.empty())
        return "./";
    return path.substr(0, path.find_last_of('/') + 1);
}

std::string SystemDescription()
{
    utsname name{};
    if (uname(&name) != 0)
        return "POSIX";
    return std::string(name.sysname) + " " + name.release + " " + name.machine;
}

std::int64_t WallClockUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

std::size_t ResidentBytes()
{
    // statm: total and resident size in pages.
    std::ifstream statm("/proc/self/statm");
    std::size_t total = 0, resident = 0;
    if (!(statm >> total >> resident))
        return 0;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
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

std::vector<std::string> PythonCandidates()
{
    // python3 first (a virtual environment the user chose); Debian's own
    // interpreter is the one its python3-matplotlib package serves.
    return {"python3", "/usr/bin/python3"};
}

std::vector<std::string> BrowserCommand(const std::string& url) { return {"xdg-open", url}; }

bool SkipPluginPauses()
{
    ZorvaWin32_SetSleepHandler(&NoPause, nullptr);
    return true;
}

} // namespace zorvaplatform
