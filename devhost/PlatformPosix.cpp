// Platform.h on Linux and other POSIX systems.
#include "devhost/Platform.h"

#include "win32/posix/win32_control.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <dlfcn.h>
#include <elf.h>
#include <fstream>
#include <limits.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zorvahost {

namespace {

/// Owner and type of the plugin's version note (plugin/VersionNote.cpp).
const char kVersionNoteOwner[] = "ZORVA";
const Elf64_Word kVersionNoteType = NT_VERSION;
/// More than any note segment of ours: a corrupt size is not read.
const Elf64_Xword kMaxNoteSegment = 1 << 20;

bool ReadAt(std::ifstream& file, std::uint64_t offset, void* data, std::size_t size)
{
    file.clear();
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(static_cast<char*>(data), static_cast<std::streamsize>(size));
    return file.gcount() == static_cast<std::streamsize>(size);
}

std::size_t AlignUp(std::size_t value, std::size_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

/// The version note's text in one PT_NOTE segment's bytes, or empty.
std::string FindVersionNote(const std::string& notes, std::size_t alignment)
{
    std::size_t at = 0;
    while (at + sizeof(Elf64_Nhdr) <= notes.size()) {
        Elf64_Nhdr header;
        std::memcpy(&header, notes.data() + at, sizeof header);
        const std::size_t name = at + sizeof header;
        const std::size_t description = name + AlignUp(header.n_namesz, alignment);
        const std::size_t next = description + AlignUp(header.n_descsz, alignment);
        if (description + header.n_descsz > notes.size())
            return std::string();
        if (header.n_type == kVersionNoteType && header.n_namesz == sizeof kVersionNoteOwner &&
            std::memcmp(notes.data() + name, kVersionNoteOwner, sizeof kVersionNoteOwner) == 0) {
            const char* text = notes.data() + description;
            return std::string(text, strnlen(text, header.n_descsz));
        }
        at = next;
    }
    return std::string();
}

} // namespace

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

const char* NullDevice() { return "/dev/null"; }

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

std::string UsbLibraryForPlugin(const std::string& pluginPath, std::string& error)
{
    const std::string name = "libZORVAUSBDevice.so";
    std::vector<std::string> folders;
    if (const char* list = std::getenv("LD_LIBRARY_PATH")) {
        const std::string text = list;
        for (std::size_t at = 0; at <= text.size();) {
            const std::size_t colon = std::min(text.find(':', at), text.size());
            // An empty entry is the current folder, as the loader takes it.
            folders.push_back(colon == at ? "." : text.substr(at, colon - at));
            at = colon + 1;
        }
    }
    const std::size_t slash = pluginPath.find_last_of('/');
    folders.push_back(slash == std::string::npos ? "." : pluginPath.substr(0, slash == 0 ? 1 : slash));
    for (const std::string& folder : folders) {
        const std::string path = folder + (folder.back() == '/' ? "" : "/") + name;
        struct stat info;
        if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            char resolved[PATH_MAX];
            return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
        }
    }
    error = "no " + name + " beside the plugin " + pluginPath + " or on LD_LIBRARY_PATH";
    return std::string();
}

namespace {

void NoPause(DWORD, void*) {}

} // namespace

bool SkipPluginPauses()
{
    ZorvaWin32_SetSleepHandler(&NoPause, nullptr);
    return true;
}

bool ReadFileVersion(const std::string& path, std::string& version, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    // The 64-bit little-endian ELF files this build makes.
    Elf64_Ehdr header;
    if (!ReadAt(file, 0, &header, sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
        header.e_phentsize != sizeof(Elf64_Phdr)) {
        error = path + " is not a 64-bit ELF file";
        return false;
    }
    for (unsigned i = 0; i < header.e_phnum; ++i) {
        Elf64_Phdr segment;
        if (!ReadAt(file, header.e_phoff + std::uint64_t{i} * sizeof segment, &segment, sizeof segment)) {
            error = path + " is cut short";
            return false;
        }
        if (segment.p_type != PT_NOTE || segment.p_filesz > kMaxNoteSegment)
            continue;
        std::string notes(segment.p_filesz, '\0');
        if (!ReadAt(file, segment.p_offset, &notes[0], notes.size())) {
            error = path + " is cut short";
            return false;
        }
        // Notes are 4-byte aligned, or 8-byte in a segment aligned so.
        version = FindVersionNote(notes, segment.p_align == 8 ? 8 : 4);
        if (!version.empty())
            return true;
    }
    error = path + " has no version note";
    return false;
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
