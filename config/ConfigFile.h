/// A configuration file opened through the Win32 layer and read line by line.
#pragma once

#include "ReaderResult.h"

#include <cstddef>
#include <string>
#include <vector>

namespace ZORVA {

/// One open configuration file. A line ends at a line feed, and a carriage
/// return right before it is dropped; the last line needs no line feed. Each
/// byte becomes one wide character of the same value (8-bit text).
///
/// Only a regular file is read, of at most MaxFileBytes bytes and with lines of
/// at most MaxLineLength characters: a device, a pipe, a file that never ends
/// and a line that never ends are refused (as open or read failures) rather
/// than read until memory or patience runs out.
///
/// Threads: one object is used by one thread at a time; nothing is shared.
class ConfigFile
{
public:
    enum class OpenResult
    {
        Opened,
        NotFound,
        Failed
    };

    /// Bytes a configuration file may hold (real ones hold a few thousand).
    static constexpr std::size_t MaxFileBytes = 1024 * 1024;
    /// Characters a line may hold before its line feed.
    static constexpr std::size_t MaxLineLength = 64 * 1024;

    ConfigFile() = default;
    ~ConfigFile();
    ConfigFile(const ConfigFile&) = delete;
    ConfigFile& operator=(const ConfigFile&) = delete;

    /// Opens the file for reading. NotFound only when the system reports the
    /// file itself as not found; every other failure (missing folder, access
    /// denied, a folder in place of the file, not a regular file, ...) is
    /// Failed, with a short description (at most 99 characters) in `failure`.
    OpenResult Open(const std::wstring& path, std::wstring& failure);

    /// The next line into `line`, without its line end. A line longer than
    /// maxLength characters keeps its first maxLength; the rest of it is
    /// skipped. False at the end of the file or when reading failed, which
    /// includes a file beyond MaxFileBytes and a line beyond MaxLineLength.
    bool NextLine(std::wstring& line, std::size_t maxLength = std::wstring::npos);

    /// True when a read failed; `ReadFailure` then describes it (at most 99 characters).
    bool ReadFailed() const { return failed; }
    const std::wstring& ReadFailure() const { return failureText; }

    void Close();

private:
    /// Refills the buffer; false at the end of the file or on failure.
    bool Fill();
    void Fail(const std::wstring& failure);

    void* fileHandle = nullptr; // a Win32 HANDLE; null when closed
    std::vector<unsigned char> readBuffer;
    std::size_t readPosition = 0;
    std::size_t bytesFilled = 0;
    std::size_t bytesRead = 0;
    /// Lines begun so far, for the message of an over-long one.
    std::size_t lineNumber = 0;
    bool atEnd = false;
    bool failed = false;
    std::wstring failureText;
};

/// "Cannot open configuration file: %s" with the failure's description: the
/// whole error text of a file that cannot be opened or read.
std::wstring CannotOpenText(const std::wstring& failure);

/// Opens `path` for one of the readers: Read when opened; NotFound when the
/// file does not exist (errorText untouched); Failed for any other failure,
/// with errorText set to "Cannot open configuration file: %s" and a short
/// description.
ReaderResult OpenConfigFile(ConfigFile& file, const std::wstring& path, std::wstring& errorText);

} // namespace ZORVA
