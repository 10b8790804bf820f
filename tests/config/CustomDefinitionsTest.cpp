// Custom plate definitions built from the three configuration files.
#include "ConfigTestSupport.h"

#include "ExpectedDefinitions.h"
#include "definitions/CustomDefinitions.h"
#include "tests/support/RecordingHost.h"
#include "plugin/Plugin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace std::string_literals;

namespace ZORVA {
namespace {

using test::ConfigDrive;

const char* const TreadmillFile = "TreadmillSupport.cfg";
const char* const ComboFile = "CombinationPlatform.cfg";
const char* const StrivoFile = "Strivo.cfg";

struct Expected
{
    std::string name;
    double x;
    double y;
};

/// What the three fixtures give, in order: sizes as single-precision products.
const std::vector<Expected>& FixturePlates()
{
    static const std::vector<Expected> plates = {
        {"Side-by-side TM", static_cast<double>(24.5f * 0.0254f), static_cast<double>(70.75f * 0.0254f)},
        {"Double Walkway", static_cast<double>(600.0f * 0.001f), static_cast<double>(900.0f * 0.001f)},
        {"Long Runway", static_cast<double>(600.0f * 0.001f), static_cast<double>(1800.0f * 0.001f)},
        {"Strivo North", static_cast<double>(19.7f * 0.0254f), static_cast<double>(59.1f * 0.0254f)},
        {"Strivo South", static_cast<double>(19.7f * 0.0254f), static_cast<double>(59.1f * 0.0254f)},
        {"Strivo Ramp", static_cast<double>(23.6f * 0.0254f), static_cast<double>(70.9f * 0.0254f)},
    };
    return plates;
}

std::vector<std::string> DefinitionNames()
{
    std::vector<std::string> names;
    for (int i = 0; i < customDefinitionCount; ++i)
        names.push_back(customDefinitions[i].Name);
    return names;
}

class CustomDefinitionsTest : public ::testing::Test
{
protected:
    void SetUp() override { ReleaseCustomDefinitions(); }
    void TearDown() override { ReleaseCustomDefinitions(); }

    void CopyAllFixtures()
    {
        for (const char* file : {TreadmillFile, ComboFile, StrivoFile})
            drive.CopyFixture(file, file);
    }

    void Append(const char* file, const std::string& text)
    {
        std::ofstream out(drive.ConfigFolder() / file, std::ios::binary | std::ios::app);
        out << text;
    }

    ConfigDrive drive;
};

TEST_F(CustomDefinitionsTest, BuildCustomDefinitions_AllFiles_OrderNamesAndSinglePrecisionSizes)
{
    CopyAllFixtures();
    BuildCustomDefinitions(nullptr);
    const std::vector<Expected>& expected = FixturePlates();
    ASSERT_EQ(customDefinitionCount, static_cast<int>(expected.size()));
    ASSERT_NE(customDefinitions, nullptr);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const VZORVAGenericPlateDefinition& definition = customDefinitions[i];
        EXPECT_EQ(definition.Name, expected[i].name) << "entry " << i;
        EXPECT_EQ(definition.DimensionX, expected[i].x) << "entry " << i;
        EXPECT_EQ(definition.DimensionY, expected[i].y) << "entry " << i;
        // Everything else is the plate class's default.
        EXPECT_EQ(definition.Manufacturer, "ZORVA");
        EXPECT_EQ(definition.Version, "   ");
        EXPECT_EQ(definition.SyncPort, "Sync Port");
    }
    // The single-precision product is not the double nearest to 0.6.
    EXPECT_NE(customDefinitions[1].DimensionX, 0.6);
}

TEST_F(CustomDefinitionsTest, BuildCustomDefinitions_NoFiles_ListEmpty)
{
    BuildCustomDefinitions(nullptr);
    EXPECT_EQ(customDefinitionCount, 0);
    EXPECT_EQ(customDefinitions, nullptr);
}

TEST_F(CustomDefinitionsTest, BuildCustomDefinitions_SecondBuildAndRelease_ListReplacedThenEmptied)
{
    CopyAllFixtures();
    BuildCustomDefinitions(nullptr);
    BuildCustomDefinitions(nullptr); // as a second Initialise would; the first list must not leak or double
    EXPECT_EQ(customDefinitionCount, 6);
    ReleaseCustomDefinitions();
    EXPECT_EQ(customDefinitions, nullptr);
    EXPECT_EQ(customDefinitionCount, 0);
    ReleaseCustomDefinitions();
    BuildCustomDefinitions(nullptr);
    EXPECT_EQ(DefinitionNames().front(), "Side-by-side TM");
}

enum class Fault
{
    Missing,
    FolderInPlace,
    Faulty
};

struct FaultCase
{
    const char* name;
    const char* file;
    Fault fault;
    ReaderResult result;
    std::vector<std::string> names;
};

std::ostream& operator<<(std::ostream& out, const FaultCase& c) { return out << c.name; }

class CustomDefinitionsFaultTest : public CustomDefinitionsTest, public ::testing::WithParamInterface<FaultCase>
{};

TEST_P(CustomDefinitionsFaultTest, BuildCustomDefinitions_OneFileFails_OthersUnaffected)
{
    const FaultCase& c = GetParam();
    CopyAllFixtures();
    const std::filesystem::path path = drive.ConfigFolder() / c.file;
    switch (c.fault) {
    case Fault::Missing: std::filesystem::remove(path); break;
    case Fault::FolderInPlace:
        std::filesystem::remove(path);
        std::filesystem::create_directory(path);
        break;
    case Fault::Faulty:
        // A short PHY_P line for the treadmill file, an unknown keyword for the others.
        Append(c.file, std::string(c.file) == TreadmillFile ? "PHY_P X\n" : "BOGUS,1\n");
        break;
    }
    BuildCustomDefinitions(nullptr);
    EXPECT_EQ(DefinitionNames(), c.names);

    // The diagnostics tell the same story.
    const std::vector<CustomPlateSource> sources = ReadCustomPlateSources();
    ASSERT_EQ(sources.size(), 3u);
    std::size_t total = 0;
    for (const CustomPlateSource& source : sources) {
        total += source.Plates.size();
        const bool isFaulty = source.Path == std::string("C:\\ZORVA\\CFG\\") + c.file;
        EXPECT_EQ(source.Result, isFaulty ? c.result : ReaderResult::Read) << source.Path;
        if (isFaulty) {
            EXPECT_TRUE(source.Plates.empty());
            EXPECT_EQ(source.ErrorText.empty(), c.result == ReaderResult::NotFound) << test::Show(source.ErrorText);
            EXPECT_EQ(source.Note, c.result == ReaderResult::NotFound ? "file not found" : "");
        }
    }
    EXPECT_EQ(total, c.names.size());
}

const std::vector<std::string> ComboNames = {"Double Walkway", "Long Runway"};
const std::vector<std::string> StrivoNames = {"Strivo North", "Strivo South", "Strivo Ramp"};

std::vector<std::string> Join(std::vector<std::vector<std::string>> parts)
{
    std::vector<std::string> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

INSTANTIATE_TEST_SUITE_P(Cases, CustomDefinitionsFaultTest,
                         ::testing::Values(FaultCase{"TreadmillMissing", TreadmillFile, Fault::Missing,
                                                     ReaderResult::NotFound, Join({ComboNames, StrivoNames})},
                                           FaultCase{"TreadmillFolder", TreadmillFile, Fault::FolderInPlace,
                                                     ReaderResult::Failed, Join({ComboNames, StrivoNames})},
                                           FaultCase{"TreadmillFaulty", TreadmillFile, Fault::Faulty,
                                                     ReaderResult::Failed, Join({ComboNames, StrivoNames})},
                                           FaultCase{"ComboMissing", ComboFile, Fault::Missing, ReaderResult::NotFound,
                                                     Join({{"Side-by-side TM"}, StrivoNames})},
                                           FaultCase{"ComboFolder", ComboFile, Fault::FolderInPlace,
                                                     ReaderResult::Failed, Join({{"Side-by-side TM"}, StrivoNames})},
                                           FaultCase{"ComboFaulty", ComboFile, Fault::Faulty, ReaderResult::Failed,
                                                     Join({{"Side-by-side TM"}, StrivoNames})},
                                           FaultCase{"StrivoMissing", StrivoFile, Fault::Missing,
                                                     ReaderResult::NotFound, Join({{"Side-by-side TM"}, ComboNames})},
                                           FaultCase{"StrivoFolder", StrivoFile, Fault::FolderInPlace,
                                                     ReaderResult::Failed, Join({{"Side-by-side TM"}, ComboNames})},
                                           FaultCase{"StrivoFaulty", StrivoFile, Fault::Faulty, ReaderResult::Failed,
                                                     Join({{"Side-by-side TM"}, ComboNames})}),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

struct ContentCase
{
    const char* name;
    const char* file;
    std::string content;
    std::vector<std::string> names;
    std::string note;
};

std::ostream& operator<<(std::ostream& out, const ContentCase& c) { return out << c.name; }

class CustomDefinitionsContentTest : public CustomDefinitionsTest, public ::testing::WithParamInterface<ContentCase>
{};

TEST_P(CustomDefinitionsContentTest, BuildCustomDefinitions_SingleFile_EntriesAndNote)
{
    drive.Write(GetParam().file, GetParam().content);
    BuildCustomDefinitions(nullptr);
    EXPECT_EQ(DefinitionNames(), GetParam().names);
    const std::vector<CustomPlateSource> sources = ReadCustomPlateSources();
    for (const CustomPlateSource& source : sources) {
        if (source.Path == std::string("C:\\ZORVA\\CFG\\") + GetParam().file) {
            EXPECT_EQ(source.Result, ReaderResult::Read) << test::Show(source.ErrorText);
            EXPECT_EQ(source.Note, GetParam().note);
        }
    }
}

const std::string CompleteStrivoUnit = "AMP,1,LEFT,x,A\nAMP,1,RIGHT,x,B\nSENSOR,1,LEFT,A,s,0,0,0\n"
                                       "SENSOR,1,LEFT,B,s,0,0,0\nSENSOR,1,RIGHT,A,s,0,0,0\nSENSOR,1,RIGHT,B,s,0,0,0\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, CustomDefinitionsContentTest,
    ::testing::Values(
        ContentCase{"ComboDisabledStillCounts",
                    ComboFile,
                    "ENABLED,0\nCP_COUNT,1\nCP_INFO,1,0,Pair,t,0,10,20,0\n",
                    {"Pair"},
                    ""},
        ContentCase{"ComboCountZero", ComboFile, "ENABLED,1\n", {}, "CP_COUNT is 0"},
        ContentCase{"StrivoDisabled",
                    StrivoFile,
                    "ENABLED,0\nCOUNT,1\nSTRIVO,1,Belt,1,1,1\n" + CompleteStrivoUnit,
                    {},
                    "ENABLED is 0"},
        ContentCase{"StrivoEnabled",
                    StrivoFile,
                    "ENABLED,1\nCOUNT,1\nSTRIVO,1,Belt,1,1,1\n" + CompleteStrivoUnit,
                    {"Belt"},
                    ""},
        ContentCase{"TreadmillUnsupportedType",
                    TreadmillFile,
                    "ENABLED 1\nTREADMILL_TYPE 2\n",
                    {},
                    "no supported treadmill (SETUP_TYPE 4 or 5)"},
        ContentCase{"TreadmillDisabled", TreadmillFile, "ENABLED 0\nTREADMILL_TYPE 4\n", {}, "ENABLED is 0"},
        ContentCase{"TreadmillUnsupportedSetupType",
                    TreadmillFile,
                    "ENABLED 1\nSETUP_TYPE 3\n",
                    {},
                    "no supported treadmill (SETUP_TYPE 4 or 5)"},
        ContentCase{"TreadmillTandem", TreadmillFile, "SETUP_TYPE 4\n", {"Tandem TM"}, ""},
        ContentCase{"EightBitName", ComboFile, "CP_COUNT,1\nCP_INFO,1,0,Pist\xE9,t,0,10,20,0\n", {"Pist\xE9"}, ""}),
    [](const ::testing::TestParamInfo<ContentCase>& info) { return std::string(info.param.name); });

TEST_F(CustomDefinitionsTest, BuildCustomDefinitions_InchesAndMillimetres_FactorPerFile)
{
    drive.Write(ComboFile, "UNITS,0\nCP_COUNT,1\nCP_INFO,1,0,Inch,t,0,15.75,23.6,0\n");
    drive.Write(StrivoFile, "UNITS,METRIC\nENABLED,1\nCOUNT,1\nSTRIVO,1,Metric,400,600,1\n" + CompleteStrivoUnit);
    BuildCustomDefinitions(nullptr);
    ASSERT_EQ(customDefinitionCount, 2);
    EXPECT_EQ(customDefinitions[0].DimensionX, static_cast<double>(15.75f * 0.0254f));
    EXPECT_EQ(customDefinitions[0].DimensionY, static_cast<double>(23.6f * 0.0254f));
    EXPECT_EQ(customDefinitions[1].DimensionX, static_cast<double>(400.0f * 0.001f));
    EXPECT_EQ(customDefinitions[1].DimensionY, static_cast<double>(600.0f * 0.001f));
}

TEST_F(CustomDefinitionsTest, ReadCustomPlateSources_FaultyCombo_ReportsTheReadersText)
{
    CopyAllFixtures();
    drive.Write(ComboFile, "CP_COUNT,2\nCP_INFO,1,0,A,t,0,1,1,1\n");
    const std::vector<CustomPlateSource> sources = ReadCustomPlateSources();
    ASSERT_EQ(sources.size(), 3u);
    EXPECT_EQ(sources[0].Path, "C:\\ZORVA\\CFG\\TreadmillSupport.cfg");
    EXPECT_EQ(sources[1].Path, "C:\\ZORVA\\CFG\\CombinationPlatform.cfg");
    EXPECT_EQ(sources[2].Path, "C:\\ZORVA\\CFG\\Strivo.cfg");
    EXPECT_EQ(sources[1].Result, ReaderResult::Failed);
    EXPECT_EQ(sources[1].ErrorText, L"Summary error in configuration file: \r\nCombined platform count incorrect\r\n ");
    EXPECT_TRUE(sources[1].Plates.empty());
    ASSERT_EQ(sources[0].Plates.size(), 1u);
    EXPECT_EQ(sources[0].Plates[0].Name, "Side-by-side TM");
    EXPECT_EQ(sources[0].Plates[0].DimensionX, FixturePlates()[0].x);
    EXPECT_EQ(sources[2].Plates.size(), 3u);
}

/// Metres as a plate of the file gets them: the single-precision product.
double Inches(float value) { return static_cast<double>(value * 0.0254f); }
double Millimetres(float value) { return static_cast<double>(value * 0.001f); }

const std::string ComboPath = "C:\\ZORVA\\CFG\\CombinationPlatform.cfg";
const std::string StrivoPath = "C:\\ZORVA\\CFG\\Strivo.cfg";
const std::string TreadmillPath = "C:\\ZORVA\\CFG\\TreadmillSupport.cfg";

/// The level-2 line for a plate left out.
std::string LeftOutLine(const std::string& path, int line, const std::string& name, const std::string& reason)
{
    return path + " line " + std::to_string(line) + ": custom plate \"" + name + "\" left out: " + reason;
}

/// The level-2 line for a plate whose name an earlier plate has.
std::string SameNameLine(const std::string& path, int line, const std::string& name, const std::string& earlierPath,
                         int earlierLine)
{
    return path + " line " + std::to_string(line) + ": custom plate \"" + name + "\" has the name of the one at " +
           earlierPath + " line " + std::to_string(earlierLine) + "; a platform of model \"" + name +
           "\" gets this later one";
}

/// The three files' contents (empty: no file), the plates they give in
/// order, and the lines the plugin logs, each at level 2.
struct AcceptedCase
{
    const char* name;
    std::string treadmill, combo, strivo;
    std::vector<Expected> plates;
    std::vector<std::string> logs;
};

std::ostream& operator<<(std::ostream& out, const AcceptedCase& c) { return out << c.name; }

class CustomDefinitionsAcceptedTest : public CustomDefinitionsTest, public ::testing::WithParamInterface<AcceptedCase>
{};

// Files the readers read without error are used, whatever their names and
// sizes: only a plate that would harm the host or the matching is left out,
// by itself and with a log line naming its file, line and reason. Regression:
// a unit without a STRIVO line, a 26th CP_INFO line, an empty, reserved or
// repeated name and a negative size each made the whole file ignored.
TEST_P(CustomDefinitionsAcceptedTest, BuildCustomDefinitions_FilesReadWithoutError_PlatesAndLogLines)
{
    const AcceptedCase& c = GetParam();
    const std::pair<const char*, std::string> files[] = {
        {TreadmillFile, c.treadmill}, {ComboFile, c.combo}, {StrivoFile, c.strivo}};
    for (const auto& file : files) {
        if (!file.second.empty())
            drive.Write(file.first, file.second);
    }
    const std::vector<CustomPlateSource> sources = ReadCustomPlateSources();
    ASSERT_EQ(sources.size(), 3u);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        EXPECT_EQ(sources[i].Result, files[i].second.empty() ? ReaderResult::NotFound : ReaderResult::Read)
            << sources[i].Path << ": " << test::Show(sources[i].ErrorText);
    }

    zorvahost::RecordingHost host;
    BuildCustomDefinitions(&host);
    ASSERT_EQ(customDefinitionCount, static_cast<int>(c.plates.size())) << ::testing::PrintToString(DefinitionNames());
    for (std::size_t i = 0; i < c.plates.size(); ++i) {
        EXPECT_EQ(customDefinitions[i].Name, c.plates[i].name) << "entry " << i;
        EXPECT_EQ(customDefinitions[i].DimensionX, c.plates[i].x) << "entry " << i;
        EXPECT_EQ(customDefinitions[i].DimensionY, c.plates[i].y) << "entry " << i;
    }
    std::vector<std::string> logs;
    for (const zorvahost::LogLine& line : host.Logs()) {
        EXPECT_EQ(line.level, 2) << line.text;
        logs.push_back(line.text);
    }
    EXPECT_EQ(logs, c.logs);
}

const std::string TwoStrivoUnits = CompleteStrivoUnit + "AMP,2,LEFT,x,A\nAMP,2,RIGHT,x,B\n"
                                                        "SENSOR,2,LEFT,A,s,0,0,0\nSENSOR,2,LEFT,B,s,0,0,0\n"
                                                        "SENSOR,2,RIGHT,A,s,0,0,0\nSENSOR,2,RIGHT,B,s,0,0,0\n";

/// CP_COUNT 25 and 26 CP_INFO lines, the 26th repeating number 1.
std::string TwentySixComboLines()
{
    std::string content = "CP_COUNT,25\n";
    for (int i = 0; i < 26; ++i)
        content += "CP_INFO," + std::to_string(i % 25 + 1) + ",0,C" + std::to_string(i) + ",t,0,1,2,0\n";
    return content;
}

std::vector<Expected> TwentyFiveCombos()
{
    std::vector<Expected> plates;
    for (int i = 0; i < 25; ++i)
        plates.push_back({"C" + std::to_string(i), Inches(1), Inches(2)});
    return plates;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CustomDefinitionsAcceptedTest,
    ::testing::Values(
        AcceptedCase{"StrivoUnitWithoutStrivoLine",
                     "",
                     "",
                     "ENABLED,1\nCOUNT,2\nSTRIVO,1,Belt,500,1500,0\n" + TwoStrivoUnits,
                     {{"Belt", Millimetres(500), Millimetres(1500)}},
                     {LeftOutLine(StrivoPath, 2, "", "empty name (no STRIVO line for unit 2)")}},
        AcceptedCase{"TwentySixthComboLine", "", TwentySixComboLines(), "", TwentyFiveCombos(), {}},
        AcceptedCase{"ComboBlankName",
                     "",
                     "CP_COUNT,2\nCP_INFO,1,0,  ,t,0,1,1,1\nCP_INFO,2,0,Walk,t,0,24,70,0\n",
                     "",
                     {{"Walk", Inches(24), Inches(70)}},
                     {LeftOutLine(ComboPath, 2, "", "empty name")}},
        AcceptedCase{"ComboNumberGap",
                     "",
                     "UNITS,1\nCP_COUNT,2\nCP_INFO,1,0,A,t,0,600,900,0\nCP_INFO,3,0,C,t,0,1,1,1\n",
                     "",
                     {{"A", Millimetres(600), Millimetres(900)}},
                     {LeftOutLine(ComboPath, 2, "", "empty name (no CP_INFO line for combined platform 2)")}},
        AcceptedCase{"PluginsOwnNames",
                     "",
                     "CP_COUNT,3\nCP_INFO,1,0,Pendra,t,0,1,1,1\nCP_INFO,2,0,Force plate,t,0,1,1,1\n"
                     "CP_INFO,3,0,Walk,t,0,1,1,1\n",
                     "ENABLED,1\nCOUNT,1\nSTRIVO,1,TreadMill,1,1,1\n" + CompleteStrivoUnit,
                     {{"Walk", Inches(1), Inches(1)}},
                     {LeftOutLine(ComboPath, 2, "Pendra", "name of a standard plate model"),
                      LeftOutLine(ComboPath, 3, "Force plate", "name of the generic plate"),
                      LeftOutLine(StrivoPath, 3, "TreadMill", "name of a standard plate model")}},
        AcceptedCase{"NulInName",
                     "",
                     "",
                     "ENABLED,1\nCOUNT,2\nSTRIVO,1,Force plate\0x,1,1,1\nSTRIVO,2,Belt,1,1,1\n"s + TwoStrivoUnits,
                     {{"Belt", Millimetres(1), Millimetres(1)}},
                     {LeftOutLine(StrivoPath, 3, "Force plate\\0x", "NUL character in the name")}},
        AcceptedCase{"SizesBeyondFloatRange",
                     "SETUP_TYPE 4\nX_DIMENSION 1e39\nY_DIMENSION 70\n",
                     "CP_COUNT,2\nCP_INFO,1,0,Wide,t,0,1e39,1,0\nCP_INFO,2,0,Walk,t,0,1,1,0\n",
                     "ENABLED,1\nCOUNT,1\nSTRIVO,1,Long,1,-1e39,0\n" + CompleteStrivoUnit,
                     {{"Walk", Inches(1), Inches(1)}},
                     {LeftOutLine(TreadmillPath, 2, "Tandem TM", "X size is not a finite number"),
                      LeftOutLine(ComboPath, 2, "Wide", "X size is not a finite number"),
                      LeftOutLine(StrivoPath, 3, "Long", "Y size is not a finite number")}},
        AcceptedCase{"NegativeSizes",
                     "SETUP_TYPE 5\nX_DIMENSION -24.5\nY_DIMENSION 70\n",
                     "CP_COUNT,1\nCP_INFO,1,0,Walk,t,0,600,-900,0\n",
                     "ENABLED,1\nCOUNT,1\nSTRIVO,1,Belt,-20,60,1\n" + CompleteStrivoUnit,
                     {{"Side-by-side TM", Inches(-24.5f), Inches(70)},
                      {"Walk", Inches(600), Inches(-900)},
                      {"Belt", Millimetres(-20), Millimetres(60)}},
                     {}},
        AcceptedCase{
            "NameRepeatedWithinFiles",
            "",
            "CP_COUNT,3\nCP_INFO,1,0,Walk,t,0,1,1,1\nCP_INFO,2,0,Walk,u,0,2,2,2\n"
            "CP_INFO,3,0,ABCDEFGHIJKLMNOPQRSTUVWXYZ12-one,t,0,1,1,1\n",
            "ENABLED,1\nCOUNT,2\nSTRIVO,1,Belt,1,1,1\nSTRIVO,2,Belt,2,2,2\n" + TwoStrivoUnits,
            {{"Walk", Inches(1), Inches(1)},
             {"Walk", Inches(2), Inches(2)},
             {"ABCDEFGHIJKLMNOPQRSTUVWXYZ12", Inches(1), Inches(1)},
             {"Belt", Millimetres(1), Millimetres(1)},
             {"Belt", Millimetres(2), Millimetres(2)}},
            {SameNameLine(ComboPath, 3, "Walk", ComboPath, 2), SameNameLine(StrivoPath, 4, "Belt", StrivoPath, 3)}},
        AcceptedCase{"NameRepeatedAcrossFiles",
                     "% tandem\nSETUP_TYPE 4\nX_DIMENSION 24\nY_DIMENSION 70\n",
                     "CP_COUNT,2\nCP_INFO,1,0,Tandem TM,t,0,30,80,0\nCP_INFO,2,0,Walk,t,0,1,1,1\n",
                     "ENABLED,1\nCOUNT,2\nSTRIVO,1,Walk,1,1,1\nSTRIVO,2,Tandem TM,2,2,2\n" + TwoStrivoUnits,
                     {{"Tandem TM", Inches(24), Inches(70)},
                      {"Tandem TM", Inches(30), Inches(80)},
                      {"Walk", Inches(1), Inches(1)},
                      {"Walk", Millimetres(1), Millimetres(1)},
                      {"Tandem TM", Millimetres(2), Millimetres(2)}},
                     {SameNameLine(ComboPath, 2, "Tandem TM", TreadmillPath, 2),
                      SameNameLine(StrivoPath, 3, "Walk", ComboPath, 3),
                      SameNameLine(StrivoPath, 4, "Tandem TM", ComboPath, 2)}},
        // Unit 2 is warned about at the COUNT line, before unit 1's STRIVO line.
        AcceptedCase{"WarningsInLineOrder",
                     "",
                     "",
                     "ENABLED,1\nCOUNT,2\nSTRIVO,1,Walk,1,1e39,1\n" + TwoStrivoUnits,
                     {},
                     {LeftOutLine(StrivoPath, 2, "", "empty name (no STRIVO line for unit 2)"),
                      LeftOutLine(StrivoPath, 3, "Walk", "Y size is not a finite number")}},
        // A plate left out takes no name: the later one is not warned about.
        AcceptedCase{"LeftOutTakesNoName",
                     "",
                     "CP_COUNT,1\nCP_INFO,1,0,Walk,t,0,1e39,1,0\n",
                     "ENABLED,1\nCOUNT,1\nSTRIVO,1,Walk,1,1,1\n" + CompleteStrivoUnit,
                     {{"Walk", Millimetres(1), Millimetres(1)}},
                     {LeftOutLine(ComboPath, 2, "Walk", "X size is not a finite number")}}),
    [](const ::testing::TestParamInfo<AcceptedCase>& info) { return std::string(info.param.name); });

// Of equal names the later plate is the one a platform of that model gets by
// name; the earlier stays registered and still matches by size.
TEST_F(CustomDefinitionsTest, FindCustomDefinition_NameRepeatedAcrossFiles_LaterPlate)
{
    drive.Write(TreadmillFile, "SETUP_TYPE 4\nX_DIMENSION 24\nY_DIMENSION 70\n");
    drive.Write(ComboFile, "CP_COUNT,1\nCP_INFO,1,0,Tandem TM,t,0,30,80,0\n");
    BuildCustomDefinitions(nullptr);
    ASSERT_EQ(customDefinitionCount, 2);
    const std::unique_ptr<VZORVAGenericPlateDefinition> byName = FindCustomDefinition("Tandem TM", "0", "0");
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(byName->DimensionX, Inches(30));
    const std::unique_ptr<VZORVAGenericPlateDefinition> bySize = FindCustomDefinition("Belt", "70", "24");
    ASSERT_NE(bySize, nullptr);
    EXPECT_EQ(bySize->DimensionX, Inches(24));
}

TEST_F(CustomDefinitionsTest, ReservedPlateNames_StandardGenericAndShared_InOrder)
{
    const std::vector<std::string> reserved = ReservedPlateNames();
    ASSERT_EQ(reserved.size(), 21u);
    EXPECT_EQ(reserved.front(), "Pendra");
    EXPECT_EQ(reserved[19], "Force plate");
    EXPECT_EQ(reserved.back(), "Digital device common settings");
}

} // namespace
} // namespace ZORVA

namespace ZORVA {
namespace {

class PluginWithConfigFiles : public ::testing::Test
{
protected:
    void TearDown() override
    {
        Shutdown();
        hostServices = nullptr;
        deviceInstantiator = nullptr;
    }

    test::ConfigDrive drive;
    zorvahost::RecordingHost host;
};

} // namespace

TEST_F(PluginWithConfigFiles, ProvideDeviceDefinitions_AllThreeFiles_CustomPlatesBeforeGenericPlate)
{
    for (const char* file : {TreadmillFile, ComboFile, StrivoFile})
        drive.CopyFixture(file, file);
    ASSERT_TRUE(Initialise(&host));
    ProvideDeviceDefinitions(&host);

    const std::vector<zorvahost::RecordedDefinition> definitions = host.Definitions();
    ASSERT_EQ(definitions.size(), 21u + FixturePlates().size());
    std::vector<std::string> expected = zorvatest::SharedConfigCalls();
    for (const zorvatest::PlateModel& model : zorvatest::StandardModels()) {
        const auto calls = zorvatest::PlateCalls(model.name, model.x, model.y, model.actions);
        expected.insert(expected.end(), calls.begin(), calls.end());
    }
    for (const Expected& plate : FixturePlates()) {
        const auto calls = zorvatest::PlateCalls(plate.name, plate.x, plate.y, true);
        expected.insert(expected.end(), calls.begin(), calls.end());
    }
    const auto generic = zorvatest::PlateCalls("Force plate", 0.5, 0.5, true);
    expected.insert(expected.end(), generic.begin(), generic.end());
    EXPECT_EQ(host.Calls(), expected);

    // Shutdown frees the list; a new start without files registers 21 again.
    Shutdown();
    EXPECT_EQ(customDefinitionCount, 0);
    std::filesystem::remove_all(drive.ConfigFolder());
    zorvahost::RecordingHost again;
    Initialise(&again);
    ProvideDeviceDefinitions(&again);
    EXPECT_EQ(again.Definitions().size(), 21u);
}

// Initialise logs each warning through the host, and registers the plates
// of equal names both, in file order.
TEST_F(PluginWithConfigFiles, Initialise_PlateLeftOutAndNameRepeated_LoggedAtLevel2BothRegistered)
{
    drive.CopyFixture(TreadmillFile, TreadmillFile);
    drive.CopyFixture(StrivoFile, StrivoFile);
    // Named like the fixtures' treadmill, a standard model and the third treadmill unit.
    drive.Write(ComboFile, "CP_COUNT,3\nCP_INFO,1,0,Side-by-side TM,t,0,1,1,1\nCP_INFO,2,0,Pendra,t,0,1,1,1\n"
                           "CP_INFO,3,0,Strivo Ramp,t,0,1,1,1\n");
    ASSERT_TRUE(Initialise(&host));
    std::vector<zorvahost::LogLine> warnings;
    for (const zorvahost::LogLine& line : host.Logs()) {
        if (line.text.find("custom plate") != std::string::npos)
            warnings.push_back(line);
    }
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_EQ(warnings[0].text, SameNameLine(ComboPath, 2, "Side-by-side TM", TreadmillPath, 4));
    EXPECT_EQ(warnings[1].text, LeftOutLine(ComboPath, 3, "Pendra", "name of a standard plate model"));
    EXPECT_EQ(warnings[2].text, SameNameLine(StrivoPath, 8, "Strivo Ramp", ComboPath, 4));
    for (const zorvahost::LogLine& line : warnings)
        EXPECT_EQ(line.level, 2) << line.text;

    ProvideDeviceDefinitions(&host);
    std::vector<std::string> names;
    for (const zorvahost::RecordedDefinition& definition : host.Definitions())
        names.push_back(definition.name);
    const std::vector<std::string> custom(names.begin() + 20, names.end() - 1);
    EXPECT_EQ(custom, (std::vector<std::string>{"Side-by-side TM", "Side-by-side TM", "Strivo Ramp", "Strivo North",
                                                "Strivo South", "Strivo Ramp"}));
    EXPECT_EQ(names.back(), "Force plate");
}

} // namespace ZORVA
