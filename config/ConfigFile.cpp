#include "ConfigFile.h"

#include "ConfigText.h"
#include "win32/ZorvaWin32.h"

namespace ZORVA {

namespace {

const std::size_t ReadChunk = 64 * 1024;

/// A short description of an open or read failure, at most 99 characters.
std::wstring DescribeError(DWORD error)
{
    switch (error) {
    case ERROR_PATH_NOT_FOUND: return L"path not found (a folder on the way does not exist)";
    case ERROR_ACCESS_DENIED: return L"access denied (no permission, or the path names a folder)";
    case ERROR_SHARING_VIOLATION: return L"the file is in use by another program";
    case ERROR_TOO_MANY_OPEN_FILES: return L"too many open files";
    case ERROR_INVALID_NAME: return L"invalid file name";
    case ERROR_NOT_ENOUGH_MEMORY: return L"not enough memory";
    case ERROR_READ_FAULT: return L"the device cannot be read";
    default: return FormatText(L"system error %d", {std::to_wstring(static_cast<unsigned long>(error))});
    }
}

// What the limits of a configuration file give, each at most 99 characters.
const wchar_t* const NotRegularFile = L"not a regular file";
const wchar_t* const FileTooLarge = L"larger than %d bytes";
const wchar_t* const LineTooLong = L"line %d longer than %d characters";

} // namespace

ConfigFile::~ConfigFile() { Close(); }

ConfigFile::OpenResult ConfigFile::Open(const std::wstring& path, std::wstring& failure)
{
    Close();
    failure.clear();
    readPosition = bytesFilled = bytesRead = lineNumber = 0;
    atEnd = failed = false;
    failureText.clear();

    // The 8-bit name the system is asked for; a character that has no byte
    // (or a NUL) cannot be part of it.
    std::string narrowPath;
    narrowPath.reserve(path.size());
    for (wchar_t c : path) {
        if (c == L'\0' || static_cast<unsigned long>(c) > 0xFFu) {
            failure = DescribeError(ERROR_INVALID_NAME);
            return OpenResult::Failed;
        }
        narrowPath += static_cast<char>(static_cast<unsigned char>(c));
    }

    // Others may go on reading and writing it, as with an ordinary text-mode
    // open: a file an editor holds open for writing is still read.
    HANDLE handle = CreateFileA(narrowPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return OpenResult::NotFound;
        failure = DescribeError(error);
        return OpenResult::Failed;
    }
    // A device or a pipe may never end, or never answer.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        failure = NotRegularFile;
        return OpenResult::Failed;
    }
    fileHandle = handle;
    readBuffer.resize(ReadChunk);
    return OpenResult::Opened;
}

void ConfigFile::Fail(const std::wstring& failure)
{
    failed = true;
    failureText = failure;
}

bool ConfigFile::Fill()
{
    if (!fileHandle || atEnd || failed)
        return false;
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(fileHandle), readBuffer.data(), static_cast<DWORD>(readBuffer.size()), &got,
                  nullptr)) {
        Fail(FormatText(L"read failed: %s", {DescribeError(GetLastError())}));
        return false;
    }
    if (got == 0) {
        atEnd = true;
        return false;
    }
    readPosition = 0;
    bytesFilled = got < readBuffer.size() ? got : readBuffer.size();
    bytesRead += bytesFilled;
    if (bytesRead > MaxFileBytes) {
        Fail(FormatText(FileTooLarge, {std::to_wstring(MaxFileBytes)}));
        return false;
    }
    return true;
}

bool ConfigFile::NextLine(std::wstring& line, std::size_t maxLength)
{
    line.clear();
    if (failed)
        return false;
    bool any = false;
    bool storedCarriageReturn = false; // the last character stored is a carriage return
    std::size_t length = 0;            // characters of the line, stored or skipped
    for (;;) {
        if (readPosition >= bytesFilled && !Fill())
            return any && !failed;
        if (!any)
            ++lineNumber;
        any = true;
        while (readPosition < bytesFilled) {
            const unsigned char byte = readBuffer[readPosition++];
            if (byte == '\n') {
                if (storedCarriageReturn)
                    line.pop_back();
                return true;
            }
            if (++length > MaxLineLength) {
                Fail(FormatText(LineTooLong, {std::to_wstring(lineNumber), std::to_wstring(MaxLineLength)}));
                return false;
            }
            storedCarriageReturn = false;
            if (line.size() < maxLength) {
                line += static_cast<wchar_t>(byte);
                storedCarriageReturn = byte == '\r';
            }
        }
    }
}

void ConfigFile::Close()
{
    if (fileHandle) {
        CloseHandle(static_cast<HANDLE>(fileHandle));
        fileHandle = nullptr;
    }
}

std::wstring CannotOpenText(const std::wstring& failure)
{
    return FormatText(L"Cannot open configuration file: %s", {failure});
}

ReaderResult OpenConfigFile(ConfigFile& file, const std::wstring& path, std::wstring& errorText)
{
    std::wstring failure;
    switch (file.Open(path, failure)) {
    case ConfigFile::OpenResult::NotFound: return ReaderResult::NotFound;
    case ConfigFile::OpenResult::Failed: errorText = CannotOpenText(failure); return ReaderResult::Failed;
    case ConfigFile::OpenResult::Opened: break;
    }
    return ReaderResult::Read;
}

} // namespace ZORVA
