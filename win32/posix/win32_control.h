/// Controls of the POSIX Win32 layer that Windows does not have: tests use them
/// to run every pause in virtual time. Not part of the Win32 subset; the plugin
/// never includes this header.
#pragma once

#include "windows_subset.h"

#include <cstddef>

/// Called instead of a real pause, on the thread that called Sleep.
typedef void (*ZorvaSleepHandler)(DWORD milliseconds, void* context);

/// Replaces what Sleep does; null restores real sleeping. Returns the old one.
ZORVA_WIN32_API ZorvaSleepHandler ZorvaWin32_SetSleepHandler(ZorvaSleepHandler handler, void* context);
/// The handler Sleep calls now (null: real pauses) and its context, so a test
/// can put a handler of its own in front of it and pass every pause on.
ZORVA_WIN32_API ZorvaSleepHandler ZorvaWin32_GetSleepHandler(void** context);

/// Maps drive letter to a directory, for this process (overrides ZORVA_DRIVE_<X>).
/// A null directory removes the override.
ZORVA_WIN32_API void ZorvaWin32_SetDriveDirectory(char driveLetter, const char* directory);

/// The POSIX path CreateFileA would open for a Windows path (for messages and tests).
/// Writes at most size bytes including the NUL; returns the full length needed.
ZORVA_WIN32_API std::size_t ZorvaWin32_MapPath(const char* windowsPath, char* out, std::size_t size);
