/// What the trace tools need from the operating system: one implementation
/// per system (SystemPosix.cpp, SystemWindows.cpp), chosen by the build.
#pragma once

#include <cstdint>
#include <string>

namespace zorvatrace {

/// Loads a library by its path, kept for the process's life (never
/// unloaded: a caller may still hold one of its blocks). Its exports stay
/// out of the process's global names, so it never stands in for another
/// library of the same name. Null with `error` saying why.
void* LoadLibraryFile(const std::string& path, std::string& error);
/// An export of a library LoadLibraryFile returned; null when it has none.
void* LibrarySymbol(void* library, const char* name);

/// The file name of the USB library as the plugin imports it.
const char* UsbLibraryFileName();
/// An export of the USB library the process already loaded under its
/// import name (the recorder when it stands in front); null when none is
/// loaded or it lacks the name.
void* LoadedUsbLibrarySymbol(const char* name);

/// Loads a library so that libraries loaded after it that import its file
/// name bind to it (RTLD_GLOBAL; on Windows any module of that name).
void* LoadLibraryInFront(const std::string& path, std::string& error);

/// "Linux x86_64", "Windows 10.0 x86_64": the system the trace was made on.
std::string SystemDescription();
/// The running program's file.
std::string ProgramPath();
/// The file name part of a path (after the last / or \).
std::string FileName(const std::string& path);
/// A file's size in bytes; 0 when it cannot be read.
std::uint64_t FileSize(const std::string& path);
/// Microseconds since 1970-01-01 UTC.
std::int64_t WallClockUs();

} // namespace zorvatrace
