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
    BuildCustomDefinitions();
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
    BuildCustomDefinitions();
    EXPECT_EQ(customDefinitionCount, 0);
    EXPECT_EQ(customDefinitions, nullptr);
}

TEST_F(CustomDefinitionsTest, BuildCustomDefinitions_SecondBuildAndRelease_ListReplacedThenEmptied)
{
    CopyAllFixtures();
    BuildCustomDefinitions();
    BuildCustomDefinitions(); // as a second Initialise would; the first list must not leak or double
    EXPECT_EQ(customDefinitionCount, 6);
    ReleaseCustomDefinitions();
    EXPECT_EQ(customDefinitions, nullptr);
    EXPECT_EQ(customDefinitionCount, 0);
    ReleaseCustomDefinitions();
    BuildCustomDefinitions();
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
    BuildCustomDefinitions();
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
    BuildCustomDefinitions();
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
    BuildCustomDefinitions();
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

/// The three files' contents (empty: no file), and what they give.
struct NameCase
{
    const char* name;
    std::string treadmill, combo, strivo;
    std::vector<std::string> names;
    std::vector<std::string> notes; // per file, in reading order
};

std::ostream& operator<<(std::ostream& out, const NameCase& c) { return out << c.name; }

class CustomDefinitionsNameTest : public CustomDefinitionsTest, public ::testing::WithParamInterface<NameCase>
{};

// Regression: a name given by two files was registered twice (the host keeps
// definitions by name); the later file's plate is now left out, and its Note
// says why.
TEST_P(CustomDefinitionsNameTest, BuildCustomDefinitions_NameAcrossFiles_LaterOneLeftOut)
{
    const NameCase& c = GetParam();
    const std::pair<const char*, std::string> files[] = {
        {TreadmillFile, c.treadmill}, {ComboFile, c.combo}, {StrivoFile, c.strivo}};
    for (const auto& file : files) {
        if (!file.second.empty())
            drive.Write(file.first, file.second);
    }
    BuildCustomDefinitions();
    EXPECT_EQ(DefinitionNames(), c.names);

    const std::vector<CustomPlateSource> sources = ReadCustomPlateSources();
    ASSERT_EQ(sources.size(), 3u);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        EXPECT_EQ(sources[i].Note, c.notes[i]) << sources[i].Path;
        if (!files[i].second.empty()) {
            EXPECT_EQ(sources[i].Result, ReaderResult::Read) << test::Show(sources[i].ErrorText);
        }
    }
}

const std::string TwoStrivoUnits = "ENABLED,1\nCOUNT,2\nSTRIVO,1,Walk,1,1,1\nSTRIVO,2,Belt,2,2,2\n" +
                                   CompleteStrivoUnit +
                                   "AMP,2,LEFT,x,A\nAMP,2,RIGHT,x,B\n"
                                   "SENSOR,2,LEFT,A,s,0,0,0\nSENSOR,2,LEFT,B,s,0,0,0\n"
                                   "SENSOR,2,RIGHT,A,s,0,0,0\nSENSOR,2,RIGHT,B,s,0,0,0\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, CustomDefinitionsNameTest,
    ::testing::Values(NameCase{"ComboNamedLikeTreadmill",
                               "SETUP_TYPE 4\n",
                               "CP_COUNT,2\nCP_INFO,1,0,Tandem TM,t,0,1,1,1\nCP_INFO,2,0,Walk,t,0,1,1,1\n",
                               "",
                               {"Tandem TM", "Walk"},
                               {"", "\"Tandem TM\" left out: already defined by C:\\ZORVA\\CFG\\TreadmillSupport.cfg",
                                "file not found"}},
                      NameCase{"UnitNamedLikeCombo",
                               "",
                               "CP_COUNT,1\nCP_INFO,1,0,Walk,t,0,1,1,1\n",
                               TwoStrivoUnits,
                               {"Walk", "Belt"},
                               {"file not found", "",
                                "\"Walk\" left out: already defined by C:\\ZORVA\\CFG\\CombinationPlatform.cfg"}},
                      NameCase{
                          "AllPlatesOfAFileTaken",
                          "SETUP_TYPE 5\n",
                          "CP_COUNT,2\nCP_INFO,1,0,Walk,t,0,1,1,1\nCP_INFO,2,0,Side-by-side TM,t,0,1,1,1\n",
                          TwoStrivoUnits + "STRIVO,2,Side-by-side TM,2,2,2\n",
                          {"Side-by-side TM", "Walk"},
                          {"", "\"Side-by-side TM\" left out: already defined by C:\\ZORVA\\CFG\\TreadmillSupport.cfg",
                           "\"Walk\" left out: already defined by C:\\ZORVA\\CFG\\CombinationPlatform.cfg; "
                           "\"Side-by-side TM\" left out: already defined by C:\\ZORVA\\CFG\\TreadmillSupport.cfg"}},
                      // A file that gives no plate takes no name.
                      NameCase{"DisabledTreadmillTakesNoName",
                               "ENABLED 0\nTREADMILL_TYPE 4\n",
                               "CP_COUNT,1\nCP_INFO,1,0,Tandem TM,t,0,1,1,1\n",
                               "",
                               {"Tandem TM"},
                               {"ENABLED is 0", "", "file not found"}}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.name); });

TEST_F(CustomDefinitionsTest, ReadCustomPlateSources_PluginsOwnNames_ReadersRefuseTheFile)
{
    drive.Write(ComboFile, "CP_COUNT,1\nCP_INFO,1,0,Force plate,t,0,1,1,1\n");
    drive.Write(StrivoFile, "ENABLED,1\nCOUNT,1\nSTRIVO,1,Zibbet,1,1,1\n" + CompleteStrivoUnit);
    const std::vector<CustomPlateSource> sources = ReadCustomPlateSources();
    ASSERT_EQ(sources.size(), 3u);
    EXPECT_EQ(sources[1].Result, ReaderResult::Failed);
    EXPECT_EQ(sources[1].ErrorText,
              L"Semantic error (Name Force plate is reserved) in configuration file at line 2 \r\n");
    EXPECT_EQ(sources[2].Result, ReaderResult::Failed);
    EXPECT_EQ(sources[2].ErrorText, L"Semantic error (Name Zibbet is reserved) in configuration file at line 3 \r\n");
    BuildCustomDefinitions();
    EXPECT_EQ(customDefinitionCount, 0);

    std::vector<std::string> reserved = ReservedPlateNames();
    ASSERT_EQ(reserved.size(), 20u);
    EXPECT_EQ(reserved.front(), "Pendra");
    EXPECT_EQ(reserved.back(), "Force plate");
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

TEST_F(PluginWithConfigFiles, ProvideDeviceDefinitions_NameRepeatedAcrossFiles_EachNameOnce)
{
    drive.CopyFixture(TreadmillFile, TreadmillFile);
    drive.CopyFixture(StrivoFile, StrivoFile);
    // Named like the fixtures' treadmill and third treadmill unit.
    drive.Write(ComboFile, "CP_COUNT,2\nCP_INFO,1,0,Side-by-side TM,t,0,1,1,1\nCP_INFO,2,0,Strivo Ramp,t,0,1,1,1\n");
    ASSERT_TRUE(Initialise(&host));
    ProvideDeviceDefinitions(&host);

    std::vector<std::string> names;
    for (const zorvahost::RecordedDefinition& definition : host.Definitions())
        names.push_back(definition.name);
    // Shared configuration, 19 standard models, the treadmill, the combined
    // platform "Strivo Ramp", two units (the third, "Strivo Ramp", comes later
    // and is left out), the generic plate.
    ASSERT_EQ(names.size(), 1u + 19u + 1u + 1u + 2u + 1u);
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "a name registered twice";
    EXPECT_EQ(names[20], "Side-by-side TM");
    EXPECT_EQ(names[21], "Strivo Ramp");
    EXPECT_EQ(names[22], "Strivo North");
    EXPECT_EQ(names[23], "Strivo South");
    EXPECT_EQ(names.back(), "Force plate");
}

} // namespace ZORVA
