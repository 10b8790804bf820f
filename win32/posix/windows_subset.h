/// A faithful subset of the Win32 API for POSIX systems.
///
/// Semantics follow Win32:
/// - A thread's message queue exists once that thread has made its first
///   message call (GetMessageW or PeekMessageW). PostThreadMessageW to a thread
///   without a queue fails with ERROR_INVALID_THREAD_ID. The queue goes away
///   when its thread ends.
/// - Messages posted to one thread arrive in the order they were posted.
/// - GetMessageW blocks until a message arrives and returns 0 for WM_QUIT.
/// - Sleep pauses the calling thread; tests may replace it (win32_control.h).
/// - CreateFileA maps a drive letter to a directory: "C:\a\b" opens
///   "$ZORVA_DRIVE_C/a/b", or "$HOME/.zorva/drive_c/a/b" when ZORVA_DRIVE_C is
///   not set (the way Wine maps drive C into its prefix). Backslashes become
///   slashes. Open failures set the Win32 error codes ERROR_FILE_NOT_FOUND,
///   ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ... Like Windows, opening
///   never waits: a named pipe without a writer opens at once.
/// - GetFileType tells a file on disk (a regular file) from a character device
///   and a pipe or socket; anything else is FILE_TYPE_UNKNOWN.
#pragma once

#include <cstdint>

#define ZORVA_WIN32_API extern "C" __attribute__((visibility("default")))
#define WINAPI

typedef std::uint32_t DWORD;
typedef unsigned int UINT;
typedef int BOOL;
typedef std::uintptr_t WPARAM;
typedef std::intptr_t LPARAM;
typedef void* HWND;
typedef void* HANDLE;
typedef void* LPVOID;
typedef const char* LPCSTR;
typedef DWORD* LPDWORD;

#ifndef TRUE
#    define TRUE 1
#endif
#ifndef FALSE
#    define FALSE 0
#endif

#define WM_QUIT 0x0012
#define WM_USER 0x0400
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

struct POINT
{
    long x;
    long y;
};

struct MSG
{
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG* LPMSG;

ZORVA_WIN32_API BOOL WINAPI GetMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax);
ZORVA_WIN32_API BOOL WINAPI PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg);
ZORVA_WIN32_API BOOL WINAPI PostThreadMessageW(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam);
ZORVA_WIN32_API DWORD WINAPI GetCurrentThreadId();
ZORVA_WIN32_API void WINAPI Sleep(DWORD milliseconds);

// Files: only what reading a configuration file needs.
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
#define GENERIC_READ 0x80000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define OPEN_EXISTING 3u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_TYPE_UNKNOWN 0x0000u
#define FILE_TYPE_DISK 0x0001u
#define FILE_TYPE_CHAR 0x0002u
#define FILE_TYPE_PIPE 0x0003u

#define ERROR_SUCCESS 0u
#define NO_ERROR 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_TOO_MANY_OPEN_FILES 4u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_READ_FAULT 30u
#define ERROR_SHARING_VIOLATION 32u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_INVALID_NAME 123u
#define ERROR_INVALID_THREAD_ID 1444u

ZORVA_WIN32_API HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                          LPVOID securityAttributes, DWORD creationDisposition,
                                          DWORD flagsAndAttributes, HANDLE templateFile);
ZORVA_WIN32_API BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                                     LPVOID overlapped);
ZORVA_WIN32_API DWORD WINAPI GetFileType(HANDLE file);
ZORVA_WIN32_API BOOL WINAPI CloseHandle(HANDLE object);
ZORVA_WIN32_API DWORD WINAPI GetLastError();
ZORVA_WIN32_API void WINAPI SetLastError(DWORD errorCode);
