// Malformed, huge and random input: every reader keeps within its records and
// buffers (run under AddressSanitizer/UBSan) and answers with a defined result.
#include "ConfigTestSupport.h"

#include "config/CComboRead.h"
#include "config/StrivoRead.h"
#include "config/TreadmillSupportRead.h"
#include "definitions/CustomDefinitions.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace ZORVA {
namespace {

using test::ConfigDrive;
using test::ConfigPath;

class ConfigRobustnessTest : public ::testing::Test
{
protected:
    void TearDown() override { ReleaseCustomDefinitions(); }

    ReaderResult ReadCombo(const std::string& content)
    {
        drive.Write("c.cfg", content);
        return combo.ReadConfigFile(ConfigPath("c.cfg"), errorText);
    }

    ReaderResult ReadStrivo(const std::string& content)
    {
        drive.Write("s.cfg", content);
        return strivo.ReadConfigFile(ConfigPath("s.cfg"), errorText);
    }

    ReaderResult ReadTreadmill(const std::string& content)
    {
        drive.Write("t.cfg", content);
        return ReadTreadmillSupport(plates, ConfigPath("t.cfg"), record, errorText);
    }

    void ExpectWithinLimits()
    {
        EXPECT_LE(combo.comboLines, CComboRead::MaxCombos);
        EXPECT_LE(combo.memberLines, CComboRead::MaxMembers);
        EXPECT_LE(combo.memberPlatformLines, CComboRead::MaxMemberPlatforms);
        for (const ComboPlatform& c : combo.combos) {
            EXPECT_LE(c.name.size(), CComboRead::TextLimit);
            EXPECT_LE(c.text2.size(), CComboRead::TextLimit);
        }
        for (const ComboMember& m : combo.members)
            EXPECT_LE(m.name.size(), CComboRead::TextLimit);
        for (const MemberPlatform& m : combo.memberPlatforms)
            EXPECT_LE(m.name.size(), CComboRead::TextLimit);
        for (const StrivoUnit& u : strivo.units) {
            EXPECT_LE(u.name.size(), StrivoRead::TextLimit);
            for (const std::wstring& id : u.ampIds)
                EXPECT_LE(id.size(), StrivoRead::TextLimit);
            for (const std::wstring& text : u.sensorTexts)
                EXPECT_LE(text.size(), StrivoRead::TextLimit);
        }
        EXPECT_LE(plates, TreadmillSupportRecord::MaxPlates);
        for (const PhysicalPlate& p : record.plates)
            EXPECT_LE(p.name.size(), 19u);
    }

    ConfigDrive drive;
    CComboRead combo;
    StrivoRead strivo;
    TreadmillSupportRecord record;
    int plates = 0;
    std::wstring errorText;
};

TEST_F(ConfigRobustnessTest, ReadConfigFile_LongTextParameter_CutToField)
{
    const std::string huge(30000, 'N'); // two of them still fit one line
    EXPECT_EQ(ReadCombo("CP_COUNT,1\nCP_INFO,1,1," + huge + "," + huge + ",0,1,1,1\n"), ReaderResult::Read)
        << test::Show(errorText);
    EXPECT_EQ(combo.combos[0].name, std::wstring(28, L'N'));
    EXPECT_EQ(ReadStrivo("COUNT,1\nSTRIVO,1," + huge + ",1,1,1\nAMP,1,LEFT,x," + huge + "\n"), ReaderResult::Failed);
    EXPECT_EQ(strivo.units[0].name, std::wstring(29, L'N'));
    EXPECT_EQ(strivo.units[0].ampIds[0], std::wstring(29, L'N'));
}

TEST_F(ConfigRobustnessTest, ReadConfigFile_LongKeywordAndNumbers_DefinedOutcome)
{
    EXPECT_EQ(ReadCombo(std::string(60000, 'K')), ReaderResult::Failed);
    EXPECT_EQ(errorText, L"Unknown keyword in configuration file at line 1 \r\n");
    EXPECT_EQ(ReadCombo(std::string(60000, ',')), ReaderResult::Failed);
    EXPECT_EQ(errorText, L"Syntax error in configuration file at line 1 \r\n");
    const std::string digits(9000, '9'); // six of them still fit one line
    EXPECT_EQ(ReadCombo("CP_COUNT," + digits + "\nPP_MEMBER,a,b," + digits + ",0." + digits + ",1e" + digits + ",-" +
                        digits + "," + digits + "\n"),
              ReaderResult::Failed);
    EXPECT_EQ(combo.CP_COUNT, 2147483647);
    EXPECT_EQ(combo.memberPlatforms[0].orientation, 0);
    EXPECT_EQ(combo.memberPlatforms[0].ySize, 1.0f);
    EXPECT_TRUE(std::isinf(combo.memberPlatforms[0].xCentre));
}

TEST_F(ConfigRobustnessTest, ReadConfigFile_HugeLineCounts_BoundedErrorText)
{
    std::string errors;
    for (int i = 0; i < 140000; ++i) // just under the 1 MiB a file may hold
        errors += "NOPE,1\n";
    EXPECT_EQ(ReadCombo(errors), ReaderResult::Failed);
    EXPECT_EQ(errorText, L"Configuration file is corrupt - delete and reformat");

    std::string members = "CP_COUNT,1\nCP_INFO,1,0,A,t,100,1,1,1\nPP_MEMBER,M,t,1,1,0,0,0\n";
    for (int i = 0; i < 16000; ++i)
        members += "PP_INFO,1,M\nPP_MEMBER,M,t,1,1,0,0,0\nCP_INFO,1,0,A,t,100,1,1,1\n";
    EXPECT_EQ(ReadCombo(members), ReaderResult::Failed);
    ExpectWithinLimits();

    std::string blank(500000, '\n');
    EXPECT_EQ(ReadStrivo(blank + "VERSION,1\n"), ReaderResult::Failed);
    EXPECT_EQ(errorText, L"Semantic error (Bad file version) in configuration file at line 500001 \r\n"
                         L"Summary error in configuration file: \r\nNo Strivo units defined in configuration ");
}

TEST_F(ConfigRobustnessTest, ReadTreadmillSupport_LongLinesWordsAndCounts_WithinRecord)
{
    const std::string word(10000, '7'); // six of them still fit one line
    EXPECT_EQ(ReadTreadmill("PHY_P " + word + " " + word + " " + word + " " + word + " " + word + " " + word + "\n"),
              ReaderResult::Failed); // the words beyond 249 characters are lost, so the line is short
    EXPECT_EQ(errorText, L"Corrupted data file");
    EXPECT_EQ(ReadTreadmill("PHY_P " + std::string(40, 'N') + " 1234567890 2 3 4 5\nX_DIMENSION " + word + "\n"),
              ReaderResult::Read);
    EXPECT_EQ(record.plates[0].name, std::wstring(19, L'N'));
    EXPECT_EQ(record.plates[0].word3, 1234567);
    EXPECT_EQ(record.X_DIMENSION, 777777777777777777777777.0f);

    std::string many = "USE_MANUAL_OFFSETS 1\n";
    for (int i = 0; i < 50000; ++i)
        many += "PHY_P N 1 2 3 4 5\n";
    EXPECT_EQ(ReadTreadmill(many), ReaderResult::Read);
    EXPECT_EQ(plates, 30);
    EXPECT_EQ(record.platformCount, 30);
}

/// A file at or beyond one of the limits every reader shares.
struct LimitCase
{
    const char* name;
    std::string content;
    /// Empty: the file is read; otherwise the read failure after "Cannot open
    /// configuration file: ".
    std::wstring failure;
};

std::ostream& operator<<(std::ostream& out, const LimitCase& c) { return out << c.name; }

class ConfigLimitTest : public ConfigRobustnessTest, public ::testing::WithParamInterface<LimitCase>
{};

// Regression: a file or a line without end grew one text by about four bytes
// of memory per byte read until the process died; both are now capped, for
// the keyword readers and the treadmill reader alike.
TEST_P(ConfigLimitTest, AllReaders_FileAtOrBeyondLimit_ReadOrReadError)
{
    const std::wstring expected =
        GetParam().failure.empty() ? L"" : L"Cannot open configuration file: " + GetParam().failure;
    const ReaderResult result = expected.empty() ? ReaderResult::Read : ReaderResult::Failed;
    EXPECT_EQ(ReadCombo(GetParam().content), result);
    EXPECT_EQ(errorText, expected);
    EXPECT_EQ(ReadTreadmill(GetParam().content), result);
    EXPECT_EQ(errorText, expected);
}

// Regression: the files were opened sharing reads only, so on Windows a file
// that another program (an editor) held open for writing could not be read,
// where an ordinary text-mode open reads it.
TEST_F(ConfigRobustnessTest, AllReaders_FileHeldOpenForWriting_Read)
{
    drive.CopyFixture("CombinationPlatform.cfg", "c.cfg");
    drive.CopyFixture("Strivo.cfg", "s.cfg");
    drive.CopyFixture("TreadmillSupport.cfg", "t.cfg");
    std::ofstream c(drive.ConfigFolder() / "c.cfg", std::ios::app);
    std::ofstream s(drive.ConfigFolder() / "s.cfg", std::ios::app);
    std::ofstream t(drive.ConfigFolder() / "t.cfg", std::ios::app);
    ASSERT_TRUE(c && s && t);

    EXPECT_EQ(combo.ReadConfigFile(ConfigPath("c.cfg"), errorText), ReaderResult::Read) << test::Show(errorText);
    EXPECT_EQ(strivo.ReadConfigFile(ConfigPath("s.cfg"), errorText), ReaderResult::Read) << test::Show(errorText);
    EXPECT_EQ(ReadTreadmillSupport(plates, ConfigPath("t.cfg"), record, errorText), ReaderResult::Read)
        << test::Show(errorText);
}

/// A note line of `length` characters, with its line feed.
std::string NoteLine(std::size_t length) { return "TEXT_NOTE," + std::string(length - 10, 'n') + "\n"; }

/// `bytes` bytes of note lines.
std::string NoteFile(std::size_t bytes)
{
    std::string file;
    while (file.size() + 1001 <= bytes)
        file += NoteLine(1000);
    if (file.size() < bytes)
        file += std::string(bytes - file.size(), '%');
    return file;
}

INSTANTIATE_TEST_SUITE_P(Cases, ConfigLimitTest,
                         ::testing::Values(LimitCase{"LongestLine", "CP_COUNT,0\n" + NoteLine(65536), L""},
                                           LimitCase{"LineOneTooLong", "CP_COUNT,0\n" + NoteLine(65537),
                                                     L"line 2 longer than 65536 characters"},
                                           LimitCase{"LongestLastLineWithoutEnd", std::string(65536, '%'), L""},
                                           LimitCase{"EndlessLineWithoutLineFeed", std::string(1024 * 1024, 'x'),
                                                     L"line 1 longer than 65536 characters"},
                                           LimitCase{"LargestFile", NoteFile(1024 * 1024), L""},
                                           LimitCase{"FileOneByteTooLarge", NoteFile(1024 * 1024 + 1),
                                                     L"larger than 1048576 bytes"}),
                         [](const ::testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

/// Random lines from the keywords of all three files, with random separators,
/// numbers, words of every length and raw bytes.
std::string RandomFile(std::mt19937& random)
{
    static const char* const words[] = {"TEXT_NOTE",   "VERSION", "ENABLED",    "UNITS",   "CP_COUNT",
                                        "CP_INFO",     "PP_INFO", "PP_MEMBER",  "COUNT",   "STRIVO",
                                        "AMP",         "SENSOR",  "SETUP_TYPE", "PHY_P",   "TREADMILL_TYPE",
                                        "X_DIMENSION", "LEFT",    "BACK",       "A",       "b",
                                        "METRIC",      "english", "%",          "cp_info", "1",
                                        "-1",          "0",       "4",          "25",      "26",
                                        "101",         "90"};
    static const char* const separators[] = {",", ",,", " ", "\t", ":", ", ", ""};
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::string file;
    const int lines = pick(60);
    for (int l = 0; l < lines; ++l) {
        const int fields = pick(12);
        for (int f = 0; f < fields; ++f) {
            switch (pick(8)) {
            case 0: file += std::to_string(static_cast<int>(random())); break;
            case 1:
                file += std::to_string(pick(2000) - 1000) + "." + std::to_string(pick(1000)) + "e" +
                        std::to_string(pick(90) - 45);
                break;
            case 2: file += std::string(static_cast<std::size_t>(pick(3) == 0 ? pick(5000) : pick(40)), 'W'); break;
            case 3:
                for (int b = pick(30); b > 0; --b)
                    file += static_cast<char>(pick(256));
                break;
            default: file += words[pick(sizeof(words) / sizeof(words[0]))]; break;
            }
            file += separators[pick(sizeof(separators) / sizeof(separators[0]))];
        }
        file += pick(4) == 0 ? "\r\n" : "\n";
    }
    return file;
}

TEST_F(ConfigRobustnessTest, AllReaders_RandomFiles_DefinedResultsWithinLimits)
{
    std::mt19937 random(20240611u);
    for (int i = 0; i < 400; ++i) {
        const std::string content = RandomFile(random);
        SCOPED_TRACE("file " + std::to_string(i));
        EXPECT_NE(ReadCombo(content), ReaderResult::NotFound);
        EXPECT_NE(ReadStrivo(content), ReaderResult::NotFound);
        const ReaderResult treadmill = ReadTreadmill(content);
        EXPECT_TRUE(treadmill == ReaderResult::Read || treadmill == ReaderResult::Failed);
        EXPECT_TRUE(record.SETUP_TYPE == 0 || record.SETUP_TYPE == 4 || record.SETUP_TYPE == 5);
        ExpectWithinLimits();

        if (i % 20 == 0) {
            for (const char* name : {"TreadmillSupport.cfg", "CombinationPlatform.cfg", "Strivo.cfg"})
                drive.Write(name, content);
            BuildCustomDefinitions(nullptr);
            EXPECT_LE(customDefinitionCount, 30);
            for (int d = 0; d < customDefinitionCount; ++d)
                EXPECT_LE(customDefinitions[d].Name.size(), 30u);
        }
    }
}

} // namespace
} // namespace ZORVA
