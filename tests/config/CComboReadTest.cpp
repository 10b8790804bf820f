// The combination-platform reader: records, layout and consistency checks.
#include "ConfigTestSupport.h"

#include "config/CComboRead.h"

#include <gtest/gtest.h>

namespace ZORVA {
namespace {

using test::ConfigDrive;
using test::ConfigPath;
using test::Semantic;
using test::Summary;

/// Two combined platforms given in reverse order. Combo 1: members Left and
/// Right side by side; combo 2: member Turned (a quarter turn) beside Plain.
const char* const TwoCombos = "% two walkways\n"
                              "VERSION,3\n"
                              "ENABLED,1\n"
                              "UNITS,1\n"
                              "CP_COUNT,2\n"
                              "CP_INFO,2,20,Walkway B,second,2,1100,600,7.5\n"
                              "CP_INFO,1,10,Walkway A,first,2,800,600,0\n"
                              "PP_INFO,1,Left\n"
                              "PP_INFO,1,Right\n"
                              "PP_INFO,2,Turned\n"
                              "PP_INFO,2,Plain\n"
                              "PP_MEMBER,Left,p1,400,600,200,300,0\n"
                              "PP_MEMBER,Right,p2,400,600,600,300,2\n"
                              "PP_MEMBER,Turned,p3,400,600,1000,1000,1\n"
                              "PP_MEMBER,Plain,p4,400,600,1600,1000,0\n";

class CComboReadTest : public ::testing::Test
{
protected:
    ReaderResult Read(const std::string& content)
    {
        drive.Write("CombinationPlatform.cfg", content);
        return reader.ReadConfigFile(ConfigPath("CombinationPlatform.cfg"), errorText);
    }

    ConfigDrive drive;
    CComboRead reader;
    std::wstring errorText;
};

TEST_F(CComboReadTest, ReadConfigFile_TwoCombos_RecordsByNumberAndLayout)
{
    ASSERT_EQ(Read(TwoCombos), ReaderResult::Read) << test::Show(errorText);
    EXPECT_EQ(reader.VERSION, 3);
    EXPECT_EQ(reader.UNITS, 1);
    EXPECT_EQ(reader.CP_COUNT, 2);
    EXPECT_EQ(reader.comboLines, 2);
    EXPECT_EQ(reader.memberLines, 4);
    EXPECT_EQ(reader.memberPlatformLines, 4);
    EXPECT_EQ(reader.plateCount, 4);

    // The record is chosen by the number in the line, not the line's position.
    const ComboPlatform& a = reader.combos[0];
    EXPECT_EQ(a.name, L"Walkway A");
    EXPECT_EQ(a.text2, L"first");
    EXPECT_EQ(a.number, 10);
    EXPECT_EQ(a.memberCount, 2);
    EXPECT_EQ(a.xSize, 800.0f);
    EXPECT_EQ(a.ySize, 600.0f);
    const ComboPlatform& b = reader.combos[1];
    EXPECT_EQ(b.name, L"Walkway B");
    EXPECT_EQ(b.number, 20);
    EXPECT_EQ(b.xSize, 1100.0f);
    EXPECT_EQ(b.thirdSize, 7.5f);

    // Combo 1: boxes [0,400] and [400,800] along X give the centre X 400.
    EXPECT_EQ(reader.members[0].name, L"Left");
    EXPECT_EQ(reader.members[0].comboIndex, 0);
    EXPECT_EQ(reader.members[0].placed, 1);
    EXPECT_EQ(reader.members[0].offsetX, 200.0f);
    EXPECT_EQ(reader.members[0].offsetY, 0.0f);
    EXPECT_EQ(reader.members[1].offsetX, -200.0f);
    EXPECT_EQ(reader.members[1].orientation, 2);

    // Combo 2: the turned member spans 600 along X ([700,1300]), Plain
    // [1400,1800]; centre X 1250. Unswapped sizes would give 1300.
    EXPECT_EQ(reader.members[2].comboIndex, 1);
    EXPECT_EQ(reader.members[2].offsetX, 250.0f);
    EXPECT_EQ(reader.members[2].offsetY, 0.0f);
    EXPECT_EQ(reader.members[2].orientation, 1);
    EXPECT_EQ(reader.members[3].offsetX, -350.0f);
    EXPECT_EQ(reader.membersPerCombo[0], 2);
    EXPECT_EQ(reader.membersPerCombo[1], 2);
}

TEST_F(CComboReadTest, ReadConfigFile_EnabledZero_ReadsWithoutPlateCount)
{
    std::string content = TwoCombos;
    content.replace(content.find("ENABLED,1"), 9, "ENABLED,0");
    EXPECT_EQ(Read(content), ReaderResult::Read);
    EXPECT_EQ(reader.plateCount, 0);
    EXPECT_EQ(reader.combos[0].name, L"Walkway A");
}

TEST_F(CComboReadTest, ReadConfigFile_Defaults_ClearedBetweenReads)
{
    ASSERT_EQ(Read(TwoCombos), ReaderResult::Read);
    ASSERT_EQ(Read("CP_COUNT,1\nCP_INFO,1,5,Only,t,0,10,20,0\n"), ReaderResult::Read) << test::Show(errorText);
    EXPECT_EQ(reader.VERSION, 0);
    EXPECT_EQ(reader.ENABLED, 0);
    EXPECT_EQ(reader.UNITS, 0);
    EXPECT_EQ(reader.comboLines, 1);
    EXPECT_EQ(reader.memberLines, 0);
    EXPECT_EQ(reader.memberPlatformLines, 0);
    EXPECT_EQ(reader.combos[1].name, L"");
    EXPECT_EQ(reader.combos[1].xSize, 0.0f);
    EXPECT_EQ(reader.members[0].name, L"");
    EXPECT_EQ(reader.memberPlatforms[0].name, L"");
    EXPECT_EQ(reader.membersPerCombo[0], 0);
}

TEST_F(CComboReadTest, ReadConfigFile_UnitsAsWordAndOrientations_ReadAsIntegers)
{
    ASSERT_EQ(Read("UNITS,METRIC\n"
                   "PP_MEMBER,a,t,1,1,0,0,7\n"
                   "PP_MEMBER,b,t,1,1,0,0,-1\n"
                   "PP_MEMBER,c,t,1,1,0,0,3\n"
                   "PP_MEMBER,d,t,1,1,0,0,2x\n"),
              ReaderResult::Read)
        << test::Show(errorText);
    EXPECT_EQ(reader.UNITS, 0);
    EXPECT_EQ(reader.memberPlatforms[0].orientation, 0);
    EXPECT_EQ(reader.memberPlatforms[1].orientation, 0);
    EXPECT_EQ(reader.memberPlatforms[2].orientation, 3);
    EXPECT_EQ(reader.memberPlatforms[3].orientation, 2);
}

TEST_F(CComboReadTest, ReadConfigFile_LongTexts_CutTo28Characters)
{
    const std::string name35 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ123456789";
    ASSERT_EQ(Read("CP_COUNT,1\nCP_INFO,1,1," + name35 + "," + name35 + ",1,1,1,1\nPP_INFO,1," + name35 +
                   "\nPP_MEMBER," + name35 + ",x,1,1,0,0,0\n"),
              ReaderResult::Read)
        << test::Show(errorText);
    const std::wstring name28 = L"ABCDEFGHIJKLMNOPQRSTUVWXYZ12";
    EXPECT_EQ(reader.combos[0].name, name28);
    EXPECT_EQ(reader.combos[0].text2, name28);
    EXPECT_EQ(reader.members[0].name, name28);
    EXPECT_EQ(reader.memberPlatforms[0].name, name28);
}

// A 26th CP_INFO line is dropped without a message, also when it only
// repeats a number (CP_COUNT 25 then still matches): the file reads.
TEST_F(CComboReadTest, ReadConfigFile_TwentySixthComboLine_DroppedSilently)
{
    std::string content = "CP_COUNT,25\n";
    for (int i = 0; i < 26; ++i) // the 26th repeats number 1
        content += "CP_INFO," + std::to_string(i % 25 + 1) + ",0,C" + std::to_string(i) + ",t,0,1,1,1\n";
    EXPECT_EQ(Read(content + "CP_INFO,99,0,X,t,0,1,1,1\n"), ReaderResult::Read) << test::Show(errorText);
    EXPECT_EQ(reader.comboLines, 25);
    EXPECT_EQ(reader.combos[0].name, L"C0");
    EXPECT_EQ(reader.combos[0].line, 2);
}

// What the building of custom definitions needs to name a plate's line: the
// CP_INFO line of each record (the last for a repeated number) and the
// CP_COUNT line, which alone makes a combined platform no line numbers.
TEST_F(CComboReadTest, ReadConfigFile_GapAndRepeatedNumber_ReadWithLines)
{
    ASSERT_EQ(Read("% a gap at 2, number 1 twice\nCP_COUNT,3\nCP_INFO,1,0,A,t,0,1,1,1\n\n"
                   "CP_INFO,3,0,C,t,0,1,1,1\nCP_INFO,1,0,B,t,0,2,2,2\n"),
              ReaderResult::Read)
        << test::Show(errorText);
    EXPECT_EQ(reader.countLine, 2);
    EXPECT_EQ(reader.combos[0].name, L"B");
    EXPECT_EQ(reader.combos[0].line, 6);
    EXPECT_EQ(reader.combos[1].name, L"");
    EXPECT_EQ(reader.combos[1].xSize, 0.0f);
    EXPECT_EQ(reader.combos[1].line, 0);
    EXPECT_EQ(reader.combos[2].line, 5);
}

TEST_F(CComboReadTest, ReadConfigFile_MemberLinesBeyondTables_DroppedSilently)
{
    std::string content = "CP_COUNT,1\nCP_INFO,1,0,C,t,0,1,1,1\n";
    for (int i = 0; i < 31; ++i)
        content += "PP_MEMBER,M" + std::to_string(i) + ",t,1,1,0,0,0\n";
    EXPECT_EQ(Read(content), ReaderResult::Read) << test::Show(errorText);
    EXPECT_EQ(reader.memberPlatformLines, 30);
    EXPECT_EQ(reader.memberPlatforms[29].name, L"M29");

    content = "CP_COUNT,1\nCP_INFO,1,0,C,t,100,1,1,1\nPP_MEMBER,M,t,1,1,0,0,0\n";
    for (int i = 0; i < 101; ++i)
        content += "PP_INFO,1,M\n";
    EXPECT_EQ(Read(content), ReaderResult::Read) << test::Show(errorText);
    EXPECT_EQ(reader.memberLines, 100);
    EXPECT_EQ(reader.membersPerCombo[0], 100);
}

struct ComboErrorCase
{
    const char* name;
    std::string content;
    std::wstring errorText;
};

std::ostream& operator<<(std::ostream& out, const ComboErrorCase& c) { return out << c.name; }

class CComboReadErrorTest : public CComboReadTest, public ::testing::WithParamInterface<ComboErrorCase>
{};

TEST_P(CComboReadErrorTest, ReadConfigFile_Inconsistent_FailsWithMessage)
{
    EXPECT_EQ(Read(GetParam().content), ReaderResult::Failed);
    EXPECT_EQ(errorText, GetParam().errorText);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CComboReadErrorTest,
    ::testing::Values(
        ComboErrorCase{"ComboCountTooHigh", "CP_COUNT,3\nCP_INFO,1,0,A,t,0,1,1,1\nCP_INFO,2,0,B,t,0,1,1,1\n",
                       Summary(L"Combined platform count incorrect\r\n")},
        ComboErrorCase{"MemberCountTooHigh",
                       "CP_COUNT,1\nCP_INFO,1,0,A,t,3,1,1,1\nPP_INFO,1,M\nPP_INFO,1,M\nPP_MEMBER,M,t,1,1,0,0,0\n",
                       Summary(L"Member platform count incorrect for combo platform 1\r\n")},
        ComboErrorCase{"MemberNameDiffersInCase",
                       "CP_COUNT,1\nCP_INFO,1,0,A,t,1,1,1,1\nPP_INFO,1,left\nPP_MEMBER,Left,t,1,1,0,0,0\n",
                       Summary(L"Member platform 'left' unknown for combo platform 1\r\n")},
        ComboErrorCase{"ComboNumberAboveTable", "CP_INFO,26,0,A,t,0,1,1,1\n",
                       Semantic(L"Bad combo platform number 26", 1)},
        ComboErrorCase{"ComboNumberZero", "\nCP_INFO,0,0,A,t,0,1,1,1\n", Semantic(L"Bad combo platform number 0", 2)},
        ComboErrorCase{"MemberComboNumberNegative", "PP_INFO,-4,M\n", Semantic(L"Bad combo platform number -4", 1)},
        ComboErrorCase{"SeveralSummaryLines", "CP_COUNT,2\nCP_INFO,1,0,A,t,2,1,1,1\nPP_INFO,1,X\n",
                       Summary(L"Combined platform count incorrect\r\n"
                               L"Member platform count incorrect for combo platform 1\r\n"
                               L"Member platform 'X' unknown for combo platform 1\r\n")}),
    [](const ::testing::TestParamInfo<ComboErrorCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace ZORVA
