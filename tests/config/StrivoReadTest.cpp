// The treadmill-unit reader: unit records, semantic checks and completeness.
#include "ConfigTestSupport.h"

#include "config/StrivoRead.h"

#include <gtest/gtest.h>

namespace ZORVA {
namespace {

using test::ConfigDrive;
using test::ConfigPath;
using test::Semantic;
using test::Summary;

/// The AMP and SENSOR lines that make unit `n` complete, sides left and right.
std::string CompleteUnit(int n)
{
    const std::string u = std::to_string(n);
    return "AMP," + u + ",LEFT,x,AMP-" + u + "L\n" + "AMP," + u + ",RIGHT,x,AMP-" + u + "R\n" + "SENSOR," + u +
           ",LEFT,A,S1,1.5,2.5,0\n" + "SENSOR," + u + ",LEFT,B,S2,1,2,90\n" + "SENSOR," + u + ",RIGHT,A,S3,1,2,180\n" +
           "SENSOR," + u + ",RIGHT,B,S4,1,2,270\n";
}

/// Unit `n` with its STRIVO line and complete.
std::string DefinedUnit(int n)
{
    const std::string u = std::to_string(n);
    return "STRIVO," + u + ",Belt " + u + ",20,60,1\n" + CompleteUnit(n);
}

class StrivoReadTest : public ::testing::Test
{
protected:
    ReaderResult Read(const std::string& content)
    {
        drive.Write("Strivo.cfg", content);
        return reader.ReadConfigFile(ConfigPath("Strivo.cfg"), errorText);
    }

    ConfigDrive drive;
    StrivoRead reader;
    std::wstring errorText;
};

TEST_F(StrivoReadTest, ReadConfigFile_TwoCompleteUnits_RecordsFilled)
{
    ASSERT_EQ(Read("TEXT_NOTE, two units\nENABLED,1\nUNITS,english\nCOUNT,2\n"
                   "STRIVO,1,Belt One,24,70.5,2\nSTRIVO,2,Belt Two,20,60,1\n" +
                   CompleteUnit(1) + CompleteUnit(2)),
              ReaderResult::Read)
        << test::Show(errorText);
    EXPECT_EQ(reader.VERSION, 101); // no VERSION line
    EXPECT_TRUE(reader.ENABLED);
    EXPECT_EQ(reader.UNITS, 0);
    EXPECT_EQ(reader.COUNT, 2);
    EXPECT_EQ(reader.plateCount, 4);
    EXPECT_FALSE(reader.frontBack);
    const StrivoUnit& unit = reader.units[0];
    EXPECT_TRUE(unit.defined);
    EXPECT_EQ(unit.name, L"Belt One");
    EXPECT_EQ(unit.xSize, 24.0f);
    EXPECT_EQ(unit.ySize, 70.5f);
    EXPECT_EQ(unit.thirdSize, 2.0f);
    EXPECT_EQ(unit.ampIds[0], L"AMP-1L");
    EXPECT_EQ(unit.ampIds[1], L"AMP-1R");
    EXPECT_EQ(unit.sensorSlots, (std::array<int, 4>{0, 1, 2, 3}));
    EXPECT_EQ(unit.sensorTexts[0], L"S1");
    EXPECT_EQ(unit.sensorValuesA[0], 1.5f);
    EXPECT_EQ(unit.sensorValuesB[0], 2.5f);
    EXPECT_EQ(unit.sensorOrientations, (std::array<int, 4>{0, 90, 180, 270}));
    EXPECT_EQ(reader.units[1].name, L"Belt Two");
    EXPECT_FALSE(reader.units[2].defined);
    EXPECT_EQ(reader.units[2].sensorSlots[0], -1);
}

TEST_F(StrivoReadTest, ReadConfigFile_EnabledZero_ReadsWithoutPlateCount)
{
    EXPECT_EQ(Read("ENABLED,0\nCOUNT,1\n" + DefinedUnit(1)), ReaderResult::Read) << test::Show(errorText);
    EXPECT_FALSE(reader.ENABLED);
    EXPECT_EQ(reader.UNITS, 1); // metric when no UNITS line
    EXPECT_EQ(reader.plateCount, 0);
}

// A unit needs no STRIVO line: with its AMP and SENSOR lines it is complete,
// and keeps an empty name and zero sizes (line 0; the COUNT line declared it).
TEST_F(StrivoReadTest, ReadConfigFile_UnitWithoutStrivoLine_ReadWithEmptyName)
{
    EXPECT_EQ(Read("units,metric\nENABLED,1\nCOUNT,2\n" + DefinedUnit(1) + CompleteUnit(2)), ReaderResult::Read)
        << test::Show(errorText);
    EXPECT_EQ(reader.countLine, 3);
    EXPECT_EQ(reader.units[0].line, 4);
    EXPECT_FALSE(reader.units[1].defined);
    EXPECT_EQ(reader.units[1].name, L"");
    EXPECT_EQ(reader.units[1].xSize, 0.0f);
    EXPECT_EQ(reader.units[1].ySize, 0.0f);
    EXPECT_EQ(reader.units[1].line, 0);
    EXPECT_EQ(reader.plateCount, 4);
}

// Regression: a COUNT of 2^30 or more is reported, but the summary still
// looked at the four units of the table and, finding them complete, set
// plateCount = 2 * COUNT, a signed overflow (UBSan stopped the read).
TEST_F(StrivoReadTest, ReadConfigFile_HugeCountWithFourCompleteUnits_FailsWithoutOverflow)
{
    for (const char* count : {"1073741824", "2147483647"}) {
        SCOPED_TRACE(count);
        EXPECT_EQ(Read(std::string("ENABLED,1\nCOUNT,") + count + "\n" + DefinedUnit(1) + DefinedUnit(2) +
                       DefinedUnit(3) + DefinedUnit(4)),
                  ReaderResult::Failed);
        EXPECT_EQ(errorText, Semantic(L"Bad device count", 2));
        EXPECT_EQ(reader.plateCount, 8);
    }
}

TEST_F(StrivoReadTest, ReadConfigFile_FrontAndBack_CompleteAndFrontBackSet)
{
    EXPECT_EQ(Read("COUNT,1\nSTRIVO,1,Belt,1,1,1\nAMP,1,Front,x,F\nAMP,1,back,x,B\nSENSOR,1,front,a,s,0,0,0\nSENSOR,1,"
                   "FRONT,b,s,0,0,0\n"
                   "SENSOR,1,BACK,A,s,0,0,0\nSENSOR,1,BACK,B,s,0,0,0\n"),
              ReaderResult::Read)
        << test::Show(errorText);
    EXPECT_TRUE(reader.frontBack);
    EXPECT_EQ(reader.units[0].ampIds[0], L"F");
    EXPECT_EQ(reader.units[0].ampIds[1], L"B");
}

TEST_F(StrivoReadTest, ReadConfigFile_BadOrientation_FailsButValuesStored)
{
    EXPECT_EQ(Read("COUNT,1\n" + DefinedUnit(1) + "SENSOR,1,LEFT,A,New,7,8,45\n"), ReaderResult::Failed);
    EXPECT_EQ(errorText, L"Semantic error (Bad sensor orientation 45) in configuration file at line 9 \r\n");
    EXPECT_EQ(reader.units[0].sensorTexts[0], L"New");
    EXPECT_EQ(reader.units[0].sensorValuesA[0], 7.0f);
    EXPECT_EQ(reader.units[0].sensorOrientations[0], 45);
}

TEST_F(StrivoReadTest, ReadConfigFile_LongTexts_CutTo29Characters)
{
    const std::string text29 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ123";
    const std::string text35 = text29 + "456789";
    ASSERT_EQ(Read("COUNT,2\nSTRIVO,1," + text29 + ",1,1,1\nSTRIVO,2,x" + text35 + ",1,1,1\n" + CompleteUnit(1) +
                   CompleteUnit(2) + "AMP,2,LEFT,x," + text35 + "\nSENSOR,2,RIGHT,B," + text35 + ",0,0,0\n"),
              ReaderResult::Read)
        << test::Show(errorText);
    const std::wstring wide29 = L"ABCDEFGHIJKLMNOPQRSTUVWXYZ123";
    EXPECT_EQ(reader.units[0].name, wide29);
    EXPECT_EQ(reader.units[1].name, L"x" + wide29.substr(0, 28));
    EXPECT_EQ(reader.units[1].ampIds[0], wide29);
    EXPECT_EQ(reader.units[1].sensorTexts[3], wide29);
}

struct StrivoErrorCase
{
    const char* name;
    std::string content;
    std::wstring errorText;
};

std::ostream& operator<<(std::ostream& out, const StrivoErrorCase& c) { return out << c.name; }

class StrivoReadErrorTest : public StrivoReadTest, public ::testing::WithParamInterface<StrivoErrorCase>
{};

TEST_P(StrivoReadErrorTest, ReadConfigFile_Faulty_FailsWithMessage)
{
    EXPECT_EQ(Read(GetParam().content), ReaderResult::Failed);
    EXPECT_EQ(errorText, GetParam().errorText);
}

const std::wstring IncompleteUnit = L"Missing amplifier ID for the Left side \r\n"
                                    L"Missing amplifier ID for the Right side \r\n"
                                    L"Missing sensor record for Left A \r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, StrivoReadErrorTest,
    ::testing::Values(
        StrivoErrorCase{"Version100", "VERSION,100\nCOUNT,1\n" + DefinedUnit(1), Semantic(L"Bad file version", 1)},
        StrivoErrorCase{"UnknownUnits", "UNITS,furlongs\nCOUNT,1\n" + DefinedUnit(1),
                        Semantic(L"Bad units FURLONGS", 1)},
        StrivoErrorCase{"NoCountLine", "ENABLED,1\n", Summary(L"No Strivo units defined in configuration")},
        StrivoErrorCase{"CountZero", "COUNT,0\n", Summary(L"No Strivo units defined in configuration")},
        StrivoErrorCase{"UnitBeforeCount", "STRIVO,1,A,1,1,1\nCOUNT,1\n" + CompleteUnit(1),
                        Semantic(L"Bad device index 1", 1)},
        StrivoErrorCase{"UnitAboveCount", "COUNT,1\n" + DefinedUnit(1) + "AMP,2,LEFT,x,A\n",
                        Semantic(L"Bad device index 2", 9)},
        // A bad COUNT is stored; only the four units of the table are looked at.
        StrivoErrorCase{"CountAboveTable", "COUNT,7\n" + DefinedUnit(1) + "STRIVO,5,A,1,1,1\n",
                        Semantic(L"Bad device count", 1) + Semantic(L"Bad device index 5", 9) +
                            Summary(IncompleteUnit + IncompleteUnit + IncompleteUnit)},
        StrivoErrorCase{"BadAmpSide", "COUNT,1\n" + DefinedUnit(1) + "AMP,1,up,x,A\n", Semantic(L"Bad amp id UP", 9)},
        StrivoErrorCase{"BadSensorSide", "COUNT,1\n" + DefinedUnit(1) + "SENSOR,1,middle,A,s,0,0,0\n",
                        Semantic(L"Bad amp id MIDDLE", 9)},
        StrivoErrorCase{"BadSensorPosition", "COUNT,1\n" + DefinedUnit(1) + "SENSOR,1,LEFT,c,s,0,0,0\n",
                        Semantic(L"Bad sensor position C", 9)},
        StrivoErrorCase{"MissingLeftAmp",
                        "COUNT,1\nSTRIVO,1,B,1,1,1\nAMP,1,RIGHT,x,R\nSENSOR,1,LEFT,A,s,0,0,0\nSENSOR,1,LEFT,B,s,0,0,0\n"
                        "SENSOR,1,RIGHT,A,s,0,0,0\nSENSOR,1,RIGHT,B,s,0,0,0\n",
                        Summary(L"Missing amplifier ID for the Left side \r\n")},
        StrivoErrorCase{
            "MissingBackAmpNamedRight",
            "COUNT,1\nSTRIVO,1,B,1,1,1\nAMP,1,FRONT,x,F\nSENSOR,1,FRONT,A,s,0,0,0\nSENSOR,1,FRONT,B,s,0,0,0\n"
            "SENSOR,1,BACK,A,s,0,0,0\nSENSOR,1,BACK,B,s,0,0,0\n",
            Summary(L"Missing amplifier ID for the Right side \r\n")},
        StrivoErrorCase{"FirstMissingSensorOnly",
                        "COUNT,1\nSTRIVO,1,B,1,1,1\nAMP,1,LEFT,x,L\nAMP,1,RIGHT,x,R\nSENSOR,1,RIGHT,A,s,0,0,0\n"
                        "SENSOR,1,RIGHT,B,s,0,0,0\n",
                        Summary(L"Missing sensor record for Left A \r\n")},
        StrivoErrorCase{"MissingRightBSensor",
                        "COUNT,1\nSTRIVO,1,B,1,1,1\nAMP,1,LEFT,x,L\nAMP,1,RIGHT,x,R\nSENSOR,1,LEFT,A,s,0,0,0\n"
                        "SENSOR,1,LEFT,B,s,0,0,0\nSENSOR,1,RIGHT,A,s,0,0,0\n",
                        Summary(L"Missing sensor record for Right B \r\n")},
        StrivoErrorCase{"SecondUnitIncomplete", "COUNT,2\n" + DefinedUnit(1), Summary(IncompleteUnit)}),
    [](const ::testing::TestParamInfo<StrivoErrorCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace ZORVA
