/// The keyword configuration reader: the common part of the readers of the
/// combination-platform file and the treadmill-unit file.
///
/// File format: 8-bit text, one statement per line, "KEYWORD,param,param,...".
/// Each line is trimmed; blank lines and lines starting with "%" are skipped
/// but still counted for line numbers. The first token is the text after any
/// leading commas up to the next comma; it is upper-cased (a to z) but not
/// trimmed, so "ENABLED ,1" names the unknown keyword "ENABLED ". Parameters
/// are taken the same way (commas before each are skipped, so empty fields
/// vanish), trimmed, and text after the last required one is ignored. There
/// is no quoting: a text parameter cannot hold a comma.
///
/// Limits: a file holds at most 1 MiB and a line at most 64 Ki characters
/// (ConfigFile); beyond either, and for anything but a regular file, the read
/// fails with "Cannot open configuration file: %s" saying which. Every field
/// of a reader's record has its own length limit, and longer texts are cut
/// to it. Once more than five lines are in error the error text is replaced
/// anyway, so no further line messages are kept; every line is still
/// examined.
///
/// The readers do not judge what a line gives a custom plate (its name and
/// sizes): a file is refused only for the faults above and the concrete
/// reader's own. Which plates may reach the host is decided where the custom
/// definitions are built, plate by plate, with the line each came from.
#pragma once

#include "ReaderResult.h"

#include <string>
#include <vector>

namespace ZORVA {

/// One entry of a reader's keyword table.
struct ConfigKeyword
{
    /// Upper case, as the keyword must read after upper-casing.
    const wchar_t* keyword;
    /// Handed to ProcessKeyword; 1, 2, 3, ... in table order.
    int id;
    /// Parameters the keyword requires.
    int parameterCount;
};

/// Base of the keyword-file readers. A reader object serves one read (or
/// several in turn: each read starts again from InitData).
///
/// Threads: a reader is used by one thread at a time and shares nothing.
class ConfigRead
{
public:
    /// The keywords every keyword file starts with, their ids in each
    /// reader's table; a reader's own keywords follow from FirstOwnKeyword.
    enum CommonKeywordId
    {
        TextNote = 1,
        Version,
        Enabled,
        Units,
        FirstOwnKeyword
    };

    ConfigRead() = default;
    virtual ~ConfigRead() = default;
    ConfigRead(const ConfigRead&) = delete;
    ConfigRead& operator=(const ConfigRead&) = delete;

    /// Reads the whole file at `path` (a Windows path; characters are bytes).
    /// Returns Read when the file was read and neither a line nor the summary
    /// check found an error (errorText empty); NotFound when the file does
    /// not exist (errorText empty); Failed when it exists but cannot be
    /// opened or read, or an error was found (errorText holds the messages).
    /// errorText is emptied first. Allocation failure propagates as
    /// std::bad_alloc.
    ReaderResult ReadConfigFile(const std::wstring& path, std::wstring& errorText);

protected:
    /// A reader's answer to a keyword its table has and its ProcessKeyword does not.
    static const wchar_t* const UnprocessedKeyword;

    /// Installs the keyword table and resets every data field to its default.
    /// Called once per read, after the file was opened, before the first line.
    virtual void InitData() = 0;

    /// Applies one recognised line. `parameters` holds at least the keyword's
    /// parameter count of trimmed texts (slots beyond it are empty).
    /// `message` arrives empty; the result is true exactly when it stays empty.
    virtual bool ProcessKeyword(int id, const std::vector<std::wstring>& parameters, std::wstring& message) = 0;

    /// Checks the data as a whole after the last line (also after line
    /// errors). `message` arrives empty. Returns Read when it stays empty,
    /// Failed when lines were written into it.
    virtual ReaderResult SummaryCheck(std::wstring& message) = 0;

    const ConfigKeyword* keywordTable = nullptr;
    int keywordCount = 0;
    /// The physical line being read, from 1 (blank lines and comments
    /// count): the line ProcessKeyword applies. 0 before a read.
    int lineNumber = 0;

public:
    /// Physical plates the file describes: 0 when a read starts, set by SummaryCheck.
    int plateCount = 0;
};

} // namespace ZORVA
