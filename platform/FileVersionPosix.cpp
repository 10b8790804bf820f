// FileVersion.h on Linux and other POSIX systems: the version note of an ELF file.
#include "platform/FileVersion.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <elf.h>
#include <fstream>

namespace zorvaplatform {

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

} // namespace zorvaplatform
