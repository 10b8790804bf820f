#include "ConfigRead.h"

#include "ConfigFile.h"
#include "ConfigText.h"

#include <climits>

namespace ZORVA {

const wchar_t* const ConfigRead::UnprocessedKeyword = L"Unprocessed keyword";

namespace {

/// Beyond this many erroneous lines the error text is replaced by the
/// corrupt-file text.
const int MaxReportedErrors = 5;

// The error-text lines of a read.
const wchar_t* const SyntaxError = L"Syntax error in configuration file at line %d \r\n";
const wchar_t* const UnknownKeyword = L"Unknown keyword in configuration file at line %d \r\n";
const wchar_t* const MissingParameters = L"Missing parameters in configuration file at line %d \r\n";
const wchar_t* const SemanticError = L"Semantic error (%s) in configuration file at line %d \r\n";
const wchar_t* const SummaryError = L"Summary error in configuration file: \r\n%s ";
const wchar_t* const CorruptFile = L"Configuration file is corrupt - delete and reformat";

/// The next token from `position`: commas are skipped, then the characters up
/// to the next comma or the end of the line are taken. False when none is left.
bool NextToken(const std::wstring& line, std::size_t& position, std::wstring& token)
{
    while (position < line.size() && line[position] == L',')
        ++position;
    if (position >= line.size())
        return false;
    std::size_t end = line.find(L',', position);
    if (end == std::wstring::npos)
        end = line.size();
    token.assign(line, position, end - position);
    position = end;
    return true;
}

} // namespace

ReaderResult ConfigRead::ReadConfigFile(const std::wstring& path, std::wstring& errorText)
{
    errorText.clear();
    plateCount = 0;

    ConfigFile file;
    const ReaderResult opened = OpenConfigFile(file, path, errorText);
    if (opened != ReaderResult::Read)
        return opened;

    InitData();

    int widest = 0;
    for (int k = 0; k < keywordCount; ++k) {
        if (keywordTable[k].parameterCount > widest)
            widest = keywordTable[k].parameterCount;
    }
    std::vector<std::wstring> parameters(static_cast<std::size_t>(widest));

    lineNumber = 0;
    int errorCount = 0;
    // Counts an erroneous line; its message is kept only while the text can
    // still survive (more than five errors replace it).
    auto addError = [&](const std::wstring& text) {
        if (errorCount <= MaxReportedErrors)
            ++errorCount;
        if (errorCount <= MaxReportedErrors)
            errorText += text;
    };

    std::wstring line;
    std::wstring token;
    while (file.NextLine(line)) {
        if (lineNumber < INT_MAX)
            ++lineNumber;
        TrimText(line);
        if (line.empty() || line[0] == L'%')
            continue;
        const std::wstring number = std::to_wstring(lineNumber);

        std::size_t position = 0;
        if (!NextToken(line, position, token)) {
            addError(FormatText(SyntaxError, {number}));
            continue;
        }
        UpperCaseText(token);
        const ConfigKeyword* keyword = nullptr;
        for (int k = 0; k < keywordCount && !keyword; ++k) {
            if (token == keywordTable[k].keyword)
                keyword = &keywordTable[k];
        }
        if (!keyword) {
            addError(FormatText(UnknownKeyword, {number}));
            continue;
        }

        // GetParameters
        bool complete = true;
        for (std::wstring& slot : parameters)
            slot.clear();
        for (int i = 0; i < keyword->parameterCount; ++i) {
            std::wstring& slot = parameters[static_cast<std::size_t>(i)];
            if (!NextToken(line, position, slot)) {
                complete = false;
                break;
            }
            TrimText(slot);
        }
        if (!complete) {
            addError(FormatText(MissingParameters, {number}));
            continue;
        }

        std::wstring message;
        if (!ProcessKeyword(keyword->id, parameters, message))
            addError(FormatText(SemanticError, {message, number}));
    }

    if (file.ReadFailed()) {
        // What was read so far is not the file: nothing of it counts.
        errorText = CannotOpenText(file.ReadFailure());
        return ReaderResult::Failed;
    }
    file.Close();
    parameters.clear();
    parameters.shrink_to_fit();

    std::wstring message;
    if (SummaryCheck(message) == ReaderResult::Failed)
        errorText += FormatText(SummaryError, {message});

    if (errorCount > MaxReportedErrors)
        errorText = CorruptFile;
    return errorText.empty() ? ReaderResult::Read : ReaderResult::Failed;
}

} // namespace ZORVA
