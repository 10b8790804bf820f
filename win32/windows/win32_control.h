/// Controls of the Win32 layer for the Windows test build, with the same names
/// and meaning as win32/posix/win32_control.h: tests use them to run every
/// pause in virtual time and to give a drive letter another folder.
///
/// They act on the plugin's core as linked into a test program, whose calls of
/// Sleep and CreateFileA are routed here at link time (cmake/Windows.cmake);
/// the plugin DLL itself calls the system directly. Every module of a process
/// that links these controls shares the program's. Not part of the Win32
/// subset; the plugin never includes this header.
#pragma once

#include "win32/ZorvaWin32.h"

#include <cstddef>

/// The program's controls are exported, so that a DLL's copy can find them.
#if defined(ZORVA_WIN32_CONTROL_PROGRAM)
#    define ZORVA_WIN32_API extern "C" __declspec(dllexport)
#else
#    define ZORVA_WIN32_API extern "C"
#endif

/// Called instead of a real pause, on the thread that called Sleep.
typedef void (*ZorvaSleepHandler)(DWORD milliseconds, void* context);

/// Replaces what Sleep does; null restores real sleeping. Returns the old one.
ZORVA_WIN32_API ZorvaSleepHandler ZorvaWin32_SetSleepHandler(ZorvaSleepHandler handler, void* context);
/// The handler Sleep calls now (null: real pauses) and its context, so a test
/// can put a handler of its own in front of it and pass every pause on.
ZORVA_WIN32_API ZorvaSleepHandler ZorvaWin32_GetSleepHandler(void** context);

/// Maps drive letter to a folder (a Windows path), for this process; a null
/// folder removes the override. Without one the drive is the real drive.
ZORVA_WIN32_API void ZorvaWin32_SetDriveDirectory(char driveLetter, const char* directory);

/// The path CreateFileA would open for a Windows path (for messages and tests).
/// Writes at most size bytes including the NUL; returns the full length needed.
ZORVA_WIN32_API std::size_t ZorvaWin32_MapPath(const char* windowsPath, char* out, std::size_t size);
