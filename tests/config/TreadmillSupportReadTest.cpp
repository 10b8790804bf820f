// The treadmill-support reader: free word format, normalisation, PHY_P lines.
#include "ConfigTestSupport.h"

#include "config/TreadmillSupportRead.h"

#include <gtest/gtest.h>

#include <limits>

namespace ZORVA {
namespace {

using test::ConfigDrive;
using test::ConfigPath;

class TreadmillSupportReadTest : public ::testing::Test
{
protected:
    ReaderResult Read(const std::string& content)
    {
        drive.Write("TreadmillSupport.cfg", content);
        return ReadTreadmillSupport(plates, ConfigPath("TreadmillSupport.cfg"), record, errorText);
    }

    ConfigDrive drive;
    TreadmillSupportRecord record;
    int plates = -1;
    std::wstring errorText;
};

struct SetupCase
{
    const char* name;
    std::string content;
    int enabled;
    int treadmillType;
    int setupType;
};

std::ostream& operator<<(std::ostream& out, const SetupCase& c) { return out << c.name; }

class TreadmillSetupTest : public TreadmillSupportReadTest, public ::testing::WithParamInterface<SetupCase>
{};

TEST_P(TreadmillSetupTest, ReadTreadmillSupport_SetupLines_Normalised)
{
    ASSERT_EQ(Read(GetParam().content), ReaderResult::Read) << test::Show(errorText);
    EXPECT_EQ(record.ENABLED, GetParam().enabled);
    EXPECT_EQ(record.TREADMILL_TYPE, GetParam().treadmillType);
    EXPECT_EQ(record.SETUP_TYPE, GetParam().setupType);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TreadmillSetupTest,
    ::testing::Values(SetupCase{"EmptyFile", "", 0, 0, 0},
                      SetupCase{"SetupTypeOverridesEnabled", "ENABLED 0\nSETUP_TYPE 4\n", 1, 4, 4},
                      SetupCase{"UnsupportedSetupTypeDisables", "ENABLED 1\nTREADMILL_TYPE 5\nSETUP_TYPE 3\n", 0, 0, 0},
                      SetupCase{"EnabledAndTreadmillType", "ENABLED 1\nTREADMILL_TYPE 5\n", 1, 5, 5},
                      SetupCase{"UnsupportedTreadmillType", "ENABLED 1\nTREADMILL_TYPE 2\n", 1, 2, 0},
                      SetupCase{"DisabledTreadmillType", "ENABLED 0\nTREADMILL_TYPE 4\n", 0, 4, 0},
                      SetupCase{"SetupTypeMinusOneIsAbsent", "ENABLED 1\nTREADMILL_TYPE 4\nSETUP_TYPE -1\n", 1, 4, 4},
                      SetupCase{"LaterLineOverwrites", "SETUP_TYPE 4\nSETUP_TYPE 5\n", 1, 5, 5},
                      SetupCase{"LowerCase", "enabled 1\ntreadmill_type 4\n", 1, 4, 4},
                      SetupCase{"ColonCommaTab", "ENABLED:1\nTREADMILL_TYPE,4\n", 1, 4, 4},
                      SetupCase{"TabAndCrLf", "ENABLED\t1\r\nTREADMILL_TYPE 4\r\n", 1, 4, 4},
                      SetupCase{"NoteLineChangesNothing", "ENABLED 1 TEXT_NOTE\nTREADMILL_TYPE 4\n", 0, 4, 0},
                      SetupCase{"SecondWordIsTheValue", "MY ENABLED 1\nTREADMILL_TYPE 4\n", 0, 4, 0},
                      SetupCase{"MissingValueReadsZero", "ENABLED 1\nENABLED\nTREADMILL_TYPE 4\n", 0, 4, 0},
                      SetupCase{"TrailingLettersIgnored", "SETUP_TYPE 5th\n", 1, 5, 5}),
    [](const ::testing::TestParamInfo<SetupCase>& info) { return std::string(info.param.name); });

TEST_F(TreadmillSupportReadTest, ReadTreadmillSupport_AllKeywords_FieldsFilled)
{
    ASSERT_EQ(Read("TEXT_NOTE treadmill set-up\n"
                   "VERSION 2\nOUTPUT_FORMAT 3\nNUM_CP 4\nSINGLE_PLATE 1\nCORRECT_FOOT_ORDER 1\n"
                   "DELAY_PACKETS 5\nDELAY_REPETITIONS 6\nSTRIKE_DELAY_REP 7\nSPIKE_ERROR_REP 8\n"
                   "DATA_TO_AVG_MS 12.5\nSTRIKE_LOAD 50\nUN_LOAD_N 20.25\nCOP_SUPPRESS_N 30\nPOST_UNLOAD_MS 15\n"
                   "FOOT_LENGTH 0.28\nFOOT_WIDTH 0.1\nFOOT_RADIUS 0.05\nRELIABLE_LOAD 40\nCOP_TRAVEL 0.3\n"
                   "COP_MINIMUM 0.01\nPLATFORM_GAP_MM 10\nDIST_L_F_TO_ORIG_MM 300\nDIST_ORIG_TO_ORIG_MM 600\n"
                   "X_DIMENSION 24.5\nY_DIMENSION 70.75\nLine without a keyword\n"),
              ReaderResult::Read)
        << test::Show(errorText);
    EXPECT_EQ(record.VERSION, 2);
    EXPECT_EQ(record.OUTPUT_FORMAT, 3);
    EXPECT_EQ(record.NUM_CP, 4);
    EXPECT_EQ(record.SINGLE_PLATE, 1);
    EXPECT_EQ(record.CORRECT_FOOT_ORDER, 1);
    EXPECT_EQ(record.DELAY_PACKETS, 5);
    EXPECT_EQ(record.DELAY_REPETITIONS, 6);
    EXPECT_EQ(record.STRIKE_DELAY_REP, 7);
    EXPECT_EQ(record.SPIKE_ERROR_REP, 8);
    EXPECT_EQ(record.DATA_TO_AVG_MS, 12.5f);
    EXPECT_EQ(record.STRIKE_LOAD, 50.0f);
    EXPECT_EQ(record.UN_LOAD_N, 20.25f);
    EXPECT_EQ(record.COP_SUPPRESS_N, 30.0f);
    EXPECT_EQ(record.POST_UNLOAD_MS, 15.0f);
    EXPECT_EQ(record.FOOT_LENGTH, 0.28f);
    EXPECT_EQ(record.FOOT_WIDTH, 0.1f);
    EXPECT_EQ(record.FOOT_RADIUS, 0.05f);
    EXPECT_EQ(record.RELIABLE_LOAD, 40.0f);
    EXPECT_EQ(record.COP_TRAVEL, 0.3f);
    EXPECT_EQ(record.COP_MINIMUM, 0.01f);
    EXPECT_EQ(record.PLATFORM_GAP_MM, 10.0f);
    EXPECT_EQ(record.DIST_L_F_TO_ORIG_MM, 300.0f);
    EXPECT_EQ(record.DIST_ORIG_TO_ORIG_MM, 600.0f);
    EXPECT_EQ(record.X_DIMENSION, 24.5f);
    EXPECT_EQ(record.Y_DIMENSION, 70.75f);
    EXPECT_EQ(record.platformCount, 2);
    EXPECT_EQ(plates, 0);
}

TEST_F(TreadmillSupportReadTest, ReadTreadmillSupport_ManualOffsets_PlateCountFromPhyP)
{
    const std::string phy = "PHY_P Front 1 2 3.5 4.5 5\nPHY_P Back 6 7 8 9 10\nphy_p, Third, 11, 12, 13, 14, 15\n";
    ASSERT_EQ(Read("USE_MANUAL_OFFSETS 1\n" + phy), ReaderResult::Read) << test::Show(errorText);
    EXPECT_EQ(plates, 3);
    EXPECT_EQ(record.platformCount, 3);
    const PhysicalPlate& front = record.plates[0];
    EXPECT_EQ(front.name, L"FRONT"); // the whole line is upper-cased
    EXPECT_EQ(front.word3, 1);
    EXPECT_EQ(front.word4, 2);
    EXPECT_EQ(front.word5, 3.5f);
    EXPECT_EQ(front.word6, 4.5f);
    EXPECT_EQ(front.word7, 5);
    EXPECT_EQ(record.plates[2].name, L"THIRD");
    EXPECT_EQ(record.plates[2].word7, 15);

    ASSERT_EQ(Read("USE_MANUAL_OFFSETS 0\n" + phy), ReaderResult::Read);
    EXPECT_EQ(plates, 3);
    EXPECT_EQ(record.platformCount, 2);
}

TEST_F(TreadmillSupportReadTest, ReadTreadmillSupport_ShortPhyPLine_CorruptedAndStops)
{
    EXPECT_EQ(Read("SETUP_TYPE 4\nPHY_P A 1 2 3 4 5\nPHY_P B 1 2\nX_DIMENSION 30\n"), ReaderResult::Failed);
    EXPECT_EQ(errorText, L"Corrupted data file");
    EXPECT_EQ(plates, 1);
    EXPECT_EQ(record.plates[1].name, L""); // no word of the earlier line is reused
    EXPECT_EQ(record.plates[1].word3, 0);
    EXPECT_EQ(record.X_DIMENSION, 0.0f); // reading stopped
    EXPECT_EQ(record.ENABLED, 1);        // the normalisation still ran
    EXPECT_EQ(record.SETUP_TYPE, 4);
}

TEST_F(TreadmillSupportReadTest, ReadTreadmillSupport_MorePhyPLinesThanPlates_First30Kept)
{
    std::string content = "USE_MANUAL_OFFSETS 1\n";
    for (int i = 1; i <= 35; ++i)
        content += "PHY_P P" + std::to_string(i) + " " + std::to_string(i) + " 0 0 0 0\n";
    EXPECT_EQ(Read(content + "X_DIMENSION 12\n"), ReaderResult::Read) << test::Show(errorText);
    EXPECT_EQ(plates, 30);
    EXPECT_EQ(record.platformCount, 30);
    EXPECT_EQ(record.plates[29].name, L"P30");
    EXPECT_EQ(record.plates[29].word3, 30);
    EXPECT_EQ(record.X_DIMENSION, 12.0f);
}

TEST_F(TreadmillSupportReadTest, ReadTreadmillSupport_OverLongWords_CutWithoutSpilling)
{
    // Word 3 has eight digits: it keeps seven, and the eighth does not become word 4.
    ASSERT_EQ(Read("PHY_P ABCDEFGHIJKLMNOPQRSTUVWXYZ 12345678 9 1.0000000000000000001 2 3\n"
                   "SINGLE_PLATE 0000000000000000000000012345\n"),
              ReaderResult::Read)
        << test::Show(errorText);
    EXPECT_EQ(record.plates[0].name, L"ABCDEFGHIJKLMNOPQRS");
    EXPECT_EQ(record.plates[0].word3, 1234567);
    EXPECT_EQ(record.plates[0].word4, 9);
    EXPECT_EQ(record.plates[0].word5, 1.0f);
    EXPECT_EQ(record.plates[0].word6, 2.0f);
    EXPECT_EQ(record.plates[0].word7, 3);
    EXPECT_EQ(record.SINGLE_PLATE, 1); // 24 characters kept: 23 zeros and a 1
}

TEST_F(TreadmillSupportReadTest, ReadTreadmillSupport_LineOver249Characters_RestIgnored)
{
    // The note word lies beyond the 249 characters kept, so the line is not a note.
    EXPECT_EQ(Read("X_DIMENSION 30 " + std::string(240, 'x') + " TEXT_NOTE\n"), ReaderResult::Read);
    EXPECT_EQ(record.X_DIMENSION, 30.0f);
    EXPECT_EQ(Read(std::string(249, ' ') + "ENABLED 1\n"), ReaderResult::Read);
    EXPECT_EQ(record.ENABLED, 0);
}

struct DimensionCase
{
    const char* name;
    std::string content;
    float x, y;
    int xLine, yLine, typeLine;
};

std::ostream& operator<<(std::ostream& out, const DimensionCase& c) { return out << c.name; }

class TreadmillDimensionTest : public TreadmillSupportReadTest, public ::testing::WithParamInterface<DimensionCase>
{};

// The file has no check of its values: a negative size, or one beyond the
// float range (an infinity), reads. What becomes of the treadmill plate is
// decided with the lines each value came from.
TEST_P(TreadmillDimensionTest, ReadTreadmillSupport_Dimensions_ReadWithTheirLines)
{
    const DimensionCase& c = GetParam();
    ASSERT_EQ(Read(c.content), ReaderResult::Read) << test::Show(errorText);
    EXPECT_EQ(record.X_DIMENSION, c.x);
    EXPECT_EQ(record.Y_DIMENSION, c.y);
    EXPECT_EQ(record.xDimensionLine, c.xLine);
    EXPECT_EQ(record.yDimensionLine, c.yLine);
    EXPECT_EQ(record.typeLine, c.typeLine);
}

const float FloatInfinity = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Cases, TreadmillDimensionTest,
    ::testing::Values(
        DimensionCase{"NoLines", "VERSION 1\n", 0, 0, 0, 0, 0},
        DimensionCase{"ZeroAndLarge", "SETUP_TYPE 4\nX_DIMENSION 0\nY_DIMENSION 3.4e38\n", 0, 3.4e38f, 2, 3, 1},
        DimensionCase{"Negative", "SETUP_TYPE 4\nX_DIMENSION -24.5\nY_DIMENSION 70\n", -24.5f, 70, 2, 3, 1},
        DimensionCase{"BeyondFloatRange", "SETUP_TYPE 4\nX_DIMENSION 24\ny_dimension: 1e39\n", 24, FloatInfinity, 2, 3,
                      1},
        DimensionCase{"LaterLineCounts", "X_DIMENSION -1\n\nX_DIMENSION 24\n", 24, 0, 3, 0, 0},
        DimensionCase{"SixNegativeLines",
                      "X_DIMENSION -1\nX_DIMENSION -2\nX_DIMENSION -3\nX_DIMENSION -4\n"
                      "X_DIMENSION -5\nY_DIMENSION -6\n",
                      -5, -6, 5, 6, 0},
        // The value word reads as 0 for both keywords.
        DimensionCase{"BothOnOneLine", "X_DIMENSION Y_DIMENSION\n", 0, 0, 1, 1, 0},
        // The type: the SETUP_TYPE line, else the TREADMILL_TYPE line.
        DimensionCase{"TypeFromTreadmillType", "ENABLED 1\nTREADMILL_TYPE 5\n", 0, 0, 0, 0, 2},
        DimensionCase{"SetupTypeOverTreadmillType", "TREADMILL_TYPE 5\nSETUP_TYPE 4\nENABLED 1\n", 0, 0, 0, 0, 2},
        DimensionCase{"SetupTypeMinusOneIsAbsent", "ENABLED 1\nTREADMILL_TYPE 4\nSETUP_TYPE -1\n", 0, 0, 0, 0, 2}),
    [](const ::testing::TestParamInfo<DimensionCase>& info) { return std::string(info.param.name); });

TEST_F(TreadmillSupportReadTest, ReadTreadmillSupport_MissingFile_RecordUntouched)
{
    drive.CreateConfigFolder();
    record.X_DIMENSION = 5.0f;
    errorText = L"stale";
    EXPECT_EQ(ReadTreadmillSupport(plates, ConfigPath("TreadmillSupport.cfg"), record, errorText),
              ReaderResult::NotFound);
    EXPECT_EQ(errorText, L"");
    EXPECT_EQ(record.X_DIMENSION, 5.0f);
}

} // namespace
} // namespace ZORVA
