// The keyword-file rules common to every keyword reader, through a reader with
// a small table of its own that records each line it is handed.
#include "ConfigTestSupport.h"

#include "config/ConfigRead.h"
#include "config/TreadmillSupportRead.h"

#include <gtest/gtest.h>

namespace ZORVA {
namespace {

using test::ConfigDrive;
using test::ConfigPath;

const ConfigKeyword recordingKeywords[] = {{L"TEXT_NOTE", 1, 0}, {L"ONE", 2, 1}, {L"THREE", 3, 3}};

/// Records every call as KEYWORD(p1|p2|...); a parameter "BAD" gives the
/// message "bad value".
class RecordingReader : public ConfigRead
{
public:
    std::vector<std::wstring> calls;
    std::wstring summaryMessage;
    int initCount = 0;

protected:
    void InitData() override
    {
        keywordTable = recordingKeywords;
        keywordCount = 3;
        calls.clear();
        ++initCount;
    }

    bool ProcessKeyword(int id, const std::vector<std::wstring>& parameters, std::wstring& message) override
    {
        const ConfigKeyword& keyword = recordingKeywords[id - 1];
        std::wstring call = std::wstring(keyword.keyword) + L"(";
        for (int i = 0; i < keyword.parameterCount; ++i) {
            call += (i ? L"|" : L"") + parameters[static_cast<std::size_t>(i)];
            if (parameters[static_cast<std::size_t>(i)] == L"BAD")
                message = L"bad value";
        }
        calls.push_back(call + L")");
        return message.empty();
    }

    ReaderResult SummaryCheck(std::wstring& message) override
    {
        message = summaryMessage;
        return message.empty() ? ReaderResult::Read : ReaderResult::Failed;
    }
};

struct LineCase
{
    const char* name;
    std::string content;
    ReaderResult result;
    std::wstring errorText;
    std::vector<std::wstring> calls;
};

std::ostream& operator<<(std::ostream& out, const LineCase& c) { return out << c.name; }

class ConfigReadLineTest : public ::testing::TestWithParam<LineCase>
{
protected:
    ConfigDrive drive;
};

TEST_P(ConfigReadLineTest, ReadConfigFile_Lines_ResultMessagesAndCalls)
{
    const LineCase& c = GetParam();
    drive.Write("test.cfg", c.content);
    RecordingReader reader;
    std::wstring errorText = L"left over from an earlier read";
    EXPECT_EQ(reader.ReadConfigFile(ConfigPath("test.cfg"), errorText), c.result);
    EXPECT_EQ(errorText, c.errorText);
    EXPECT_EQ(reader.calls, c.calls);
}

const std::wstring Unknown1 = L"Unknown keyword in configuration file at line 1 \r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigReadLineTest,
    ::testing::Values(
        LineCase{"EmptyFile", "", ReaderResult::Read, L"", {}},
        LineCase{"BlankAndCommentLinesCount",
                 "\n   \n% note\n\t\nXYZ,1\n",
                 ReaderResult::Failed,
                 L"Unknown keyword in configuration file at line 5 \r\n",
                 {}},
        LineCase{"CrLfLineEnds",
                 "ONE,5\r\n\r\nNOPE\r\n",
                 ReaderResult::Failed,
                 L"Unknown keyword in configuration file at line 3 \r\n",
                 {L"ONE(5)"}},
        LineCase{"LastLineWithoutLineFeed", "ONE,1\nONE,2", ReaderResult::Read, L"", {L"ONE(1)", L"ONE(2)"}},
        LineCase{"LowerCaseKeyword", "one,7", ReaderResult::Read, L"", {L"ONE(7)"}},
        LineCase{"MixedCaseKeyword", "  tHrEe,a,b,c  ", ReaderResult::Read, L"", {L"THREE(a|b|c)"}},
        LineCase{"BlankBeforeFirstComma", "ONE ,7", ReaderResult::Failed, Unknown1, {}},
        LineCase{"CommasBeforeKeyword", ",,ONE,7", ReaderResult::Read, L"", {L"ONE(7)"}},
        LineCase{"CommasOnly", ",,,", ReaderResult::Failed, L"Syntax error in configuration file at line 1 \r\n", {}},
        LineCase{"CommasAroundBlanksIsAToken", ", ,", ReaderResult::Failed, Unknown1, {}},
        LineCase{"NoteAlone", "TEXT_NOTE", ReaderResult::Read, L"", {L"TEXT_NOTE()"}},
        LineCase{"NoteWithText", "TEXT_NOTE, any, text, here", ReaderResult::Read, L"", {L"TEXT_NOTE()"}},
        LineCase{"NoteWithoutComma", "TEXT_NOTE hello world", ReaderResult::Failed, Unknown1, {}},
        LineCase{"DoubleCommaIsOneSeparator", "THREE,a,,b,c", ReaderResult::Read, L"", {L"THREE(a|b|c)"}},
        LineCase{"ParametersTrimmed", "THREE,  a b  ,\tc ,d", ReaderResult::Read, L"", {L"THREE(a b|c|d)"}},
        LineCase{"MissingParameters",
                 "THREE,a,b",
                 ReaderResult::Failed,
                 L"Missing parameters in configuration file at line 1 \r\n",
                 {}},
        LineCase{"TrailingCommasGiveNoParameter",
                 "THREE,a,,,",
                 ReaderResult::Failed,
                 L"Missing parameters in configuration file at line 1 \r\n",
                 {}},
        LineCase{"KeywordWithoutItsParameter",
                 "ONE",
                 ReaderResult::Failed,
                 L"Missing parameters in configuration file at line 1 \r\n",
                 {}},
        LineCase{"ExtraParametersIgnored", "ONE,1,2,3", ReaderResult::Read, L"", {L"ONE(1)"}},
        LineCase{"SemanticError",
                 "ONE,ok\nONE,BAD",
                 ReaderResult::Failed,
                 L"Semantic error (bad value) in configuration file at line 2 \r\n",
                 {L"ONE(ok)", L"ONE(BAD)"}},
        LineCase{
            "ByteOrderMarkSpoilsFirstKeyword", "\xEF\xBB\xBFONE,1\nONE,2", ReaderResult::Failed, Unknown1, {L"ONE(2)"}},
        LineCase{"SixteenBitText", std::string("\xFF\xFEO\0N\0E\0,\0001\0", 12), ReaderResult::Failed, Unknown1, {}},
        LineCase{"ErrorsDoNotStopReading",
                 "BAD\nONE,1\n,,\nONE,2",
                 ReaderResult::Failed,
                 L"Unknown keyword in configuration file at line 1 \r\n"
                 L"Syntax error in configuration file at line 3 \r\n",
                 {L"ONE(1)", L"ONE(2)"}},
        LineCase{"FiveErroneousLines",
                 "A\nB\nC\nD\nE\nONE,1",
                 ReaderResult::Failed,
                 L"Unknown keyword in configuration file at line 1 \r\n"
                 L"Unknown keyword in configuration file at line 2 \r\n"
                 L"Unknown keyword in configuration file at line 3 \r\n"
                 L"Unknown keyword in configuration file at line 4 \r\n"
                 L"Unknown keyword in configuration file at line 5 \r\n",
                 {L"ONE(1)"}},
        LineCase{"SixErroneousLines",
                 "A\nB\nC\nD\nE\nONE,1\nF",
                 ReaderResult::Failed,
                 L"Configuration file is corrupt - delete and reformat",
                 {L"ONE(1)"}}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

class ConfigReadTest : public ::testing::Test
{
protected:
    ConfigDrive drive;
};

TEST_F(ConfigReadTest, ReadConfigFile_SummaryMessage_AppendedAfterLineErrors)
{
    drive.Write("test.cfg", "X\nONE,1\n");
    RecordingReader reader;
    reader.summaryMessage = L"Totals wrong\r\n";
    std::wstring errorText;
    EXPECT_EQ(reader.ReadConfigFile(ConfigPath("test.cfg"), errorText), ReaderResult::Failed);
    EXPECT_EQ(errorText, L"Unknown keyword in configuration file at line 1 \r\n"
                         L"Summary error in configuration file: \r\nTotals wrong\r\n ");
}

TEST_F(ConfigReadTest, ReadConfigFile_SixErrorsAndSummary_OnlyCorruptText)
{
    drive.Write("test.cfg", "1\n2\n3\n4\n5\n6\n");
    RecordingReader reader;
    reader.summaryMessage = L"Totals wrong";
    std::wstring errorText;
    EXPECT_EQ(reader.ReadConfigFile(ConfigPath("test.cfg"), errorText), ReaderResult::Failed);
    EXPECT_EQ(errorText, L"Configuration file is corrupt - delete and reformat");
}

TEST_F(ConfigReadTest, ReadConfigFile_SecondRead_StartsAgainFromInitData)
{
    drive.Write("a.cfg", "ONE,1\nONE,2\n");
    drive.Write("b.cfg", "ONE,3\n");
    RecordingReader reader;
    std::wstring errorText;
    EXPECT_EQ(reader.ReadConfigFile(ConfigPath("a.cfg"), errorText), ReaderResult::Read);
    EXPECT_EQ(reader.ReadConfigFile(ConfigPath("b.cfg"), errorText), ReaderResult::Read);
    EXPECT_EQ(reader.initCount, 2);
    EXPECT_EQ(reader.calls, std::vector<std::wstring>{L"ONE(3)"});
}

// How the file system is laid out, and what both reader kinds answer.
enum class Layout
{
    NoFolder,
    FolderWithoutFile,
    FolderInPlaceOfFile,
    LowerCaseDriveLetter
};

struct OpenCase
{
    const char* name;
    Layout layout;
    ReaderResult result;
    bool cannotOpenText;
};

std::ostream& operator<<(std::ostream& out, const OpenCase& c) { return out << c.name; }

class ConfigOpenTest : public ::testing::TestWithParam<OpenCase>
{
protected:
    /// Lays out test.cfg as the case says; returns the path to read.
    std::wstring Prepare()
    {
        switch (GetParam().layout) {
        case Layout::NoFolder: break;
        case Layout::FolderWithoutFile: drive.CreateConfigFolder(); break;
        case Layout::FolderInPlaceOfFile: std::filesystem::create_directories(drive.ConfigFolder() / "test.cfg"); break;
        case Layout::LowerCaseDriveLetter: drive.Write("test.cfg", "ONE,1\n"); return L"c:\\ZORVA\\CFG\\test.cfg";
        }
        return ConfigPath("test.cfg");
    }

    void ExpectOutcome(ReaderResult result, const std::wstring& errorText)
    {
        EXPECT_EQ(result, GetParam().result);
        const std::wstring prefix = L"Cannot open configuration file: ";
        if (GetParam().cannotOpenText) {
            ASSERT_GT(errorText.size(), prefix.size()) << test::Show(errorText);
            EXPECT_EQ(errorText.substr(0, prefix.size()), prefix);
            EXPECT_LE(errorText.size() - prefix.size(), 99u);
        } else {
            EXPECT_EQ(errorText, L"");
        }
    }

    ConfigDrive drive;
};

TEST_P(ConfigOpenTest, ReadConfigFile_Layout_ResultAndText)
{
    const std::wstring path = Prepare();
    RecordingReader reader;
    std::wstring errorText = L"stale";
    ExpectOutcome(reader.ReadConfigFile(path, errorText), errorText);
}

TEST_P(ConfigOpenTest, ReadTreadmillSupport_Layout_ResultAndText)
{
    const std::wstring path = Prepare();
    TreadmillSupportRecord record;
    int plates = 0;
    std::wstring errorText = L"stale";
    ExpectOutcome(ReadTreadmillSupport(plates, path, record, errorText), errorText);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigOpenTest,
    ::testing::Values(OpenCase{"MissingFolder", Layout::NoFolder, ReaderResult::Failed, true},
                      OpenCase{"MissingFile", Layout::FolderWithoutFile, ReaderResult::NotFound, false},
                      OpenCase{"FolderInPlaceOfFile", Layout::FolderInPlaceOfFile, ReaderResult::Failed, true},
                      OpenCase{"LowerCaseDrive", Layout::LowerCaseDriveLetter, ReaderResult::Read, false}),
    [](const ::testing::TestParamInfo<OpenCase>& info) { return std::string(info.param.name); });

TEST_F(ConfigReadTest, ReadConfigFile_PathWithCharacterBeyondEightBits_CannotOpen)
{
    RecordingReader reader;
    std::wstring errorText;
    EXPECT_EQ(reader.ReadConfigFile(L"C:\\ZORVA\\CFG\\\x263A.cfg", errorText), ReaderResult::Failed);
    EXPECT_EQ(errorText, L"Cannot open configuration file: invalid file name");
}

} // namespace
} // namespace ZORVA
