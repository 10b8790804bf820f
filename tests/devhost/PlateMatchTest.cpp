// The matching rules replayed for a detected unit: which definition and why.
#include "devhost/engine/PlateMatch.h"
#include "tests/support/RecordingHost.h"

#include "devices/VSharedConfigDevice.h"
#include "plugin/Plugin.h"

#include <gtest/gtest.h>

#include <set>

using namespace zorvahost;
using hostkit::DetectedUnit;

namespace {

DetectedUnit Unit(const std::string& model, const std::string& length, const std::string& width)
{
    DetectedUnit unit;
    unit.productType = 100;
    unit.platformModel = model;
    unit.length = length;
    unit.width = width;
    return unit;
}

CustomPlateEntry Custom(const std::string& name, double x, double y, const std::string& file)
{
    CustomPlateEntry entry;
    entry.plate.Name = name;
    entry.plate.DimensionX = x;
    entry.plate.DimensionY = y;
    entry.file = file;
    return entry;
}

} // namespace

TEST(PlateMatch, ExplainMatch_Table_DefinitionAndReason)
{
    const std::vector<CustomPlateEntry> custom = {
        Custom("Tandem TM", 0.6223, 1.797, "TreadmillSupport.cfg"),
        Custom("Gait Walkway", 0.6, 1.8, "CombinationPlatform.cfg"),
        Custom("Gait Walkway", 0.6, 1.8, "Strivo.cfg"),
    };
    struct Case
    {
        const char* what;
        DetectedUnit unit;
        const char* definition;
        const char* reason; ///< part of the reason
    };
    const Case cases[] = {
        {"model text", Unit("Pendra-600", "1", "1"), "Pendra", "the platform model contains \"Pendra\""},
        {"upper-case treadmill text", Unit("BIG TREADMILL 2", "", ""), "TreadMill", "contains \"TREADMILL\""},
        {"standard size", Unit("X-1", "35.433", "35.433"), "Gorvin", "fits Gorvin within 1 %"},
        {"custom by name, before its size", Unit("Tandem TM", "10", "10"), "Tandem TM",
         "from TreadmillSupport.cfg: named like the platform model"},
        {"custom by name, the last of two", Unit("Gait Walkway", "1", "1"), "Gait Walkway", "from Strivo.cfg"},
        {"custom by size", Unit("GW-1800", "70.866", "23.622"), "Gait Walkway",
         "from Strivo.cfg: the platform's size 1800 x 600 mm (length x width) is within 1 % of its 1800 x 600 mm"},
        {"names compared with case", Unit("tandem tm", "1", "1"), "Force plate", "names no standard model"},
        {"nothing fits", Unit("Mystery", "10", "10"), "Force plate",
         "its size 254 x 254 mm (length x width) fits neither within 1 %; custom plates: \"Tandem TM\" 1797 x "
         "622.3 mm"},
    };
    for (const Case& c : cases) {
        const MatchExplanation match = ExplainMatch(c.unit, custom);
        EXPECT_EQ(match.definition, c.definition) << c.what;
        EXPECT_NE(match.reason.find(c.reason), std::string::npos) << c.what << ": " << match.reason;
    }
}

TEST(PlateMatch, ExplainMatch_NoCustomPlates_PointsAtCheckConfig)
{
    // Unreadable sizes count as 19.7 in square, which is the Brisen's size.
    EXPECT_EQ(ExplainMatch(Unit("Mystery", "", "n/a"), {}).definition, "Brisen");
    const MatchExplanation match = ExplainMatch(Unit("Mystery", "10", "10"), {});
    EXPECT_EQ(match.definition, "Force plate");
    EXPECT_NE(match.reason.find("the configuration files give no custom plate (see check-config)"), std::string::npos)
        << match.reason;
}

TEST(PlateMatch, CustomPlates_InSourceOrderWithTheirFile)
{
    ZORVA::CustomPlateSource treadmill;
    treadmill.Path = "C:\\ZORVA\\CFG\\TreadmillSupport.cfg";
    treadmill.Plates.push_back(ZORVA::CustomPlate{"Tandem TM", 0.6, 1.8});
    ZORVA::CustomPlateSource combination;
    combination.Path = "C:\\ZORVA\\CFG\\CombinationPlatform.cfg";
    combination.Plates.push_back(ZORVA::CustomPlate{"A", 1, 2});
    combination.Plates.push_back(ZORVA::CustomPlate{"B", 3, 4});
    const std::vector<CustomPlateEntry> plates = CustomPlates({treadmill, combination});
    ASSERT_EQ(plates.size(), 3u);
    EXPECT_EQ(plates[0].file, "TreadmillSupport.cfg");
    EXPECT_EQ(plates[2].plate.Name, "B");
    EXPECT_EQ(plates[2].file, "CombinationPlatform.cfg");
}

namespace {

/// The plugin's custom definitions for one test, released at its end.
class CustomDefinitionsInUse
{
public:
    explicit CustomDefinitionsInUse(const std::vector<CustomPlateEntry>& entries)
    {
        ZORVA::ReleaseCustomDefinitions();
        ZORVA::customDefinitions = new ZORVA::VZORVAGenericPlateDefinition[entries.size()];
        for (std::size_t i = 0; i < entries.size(); ++i) {
            ZORVA::customDefinitions[i].Name = entries[i].plate.Name;
            ZORVA::customDefinitions[i].DimensionX = entries[i].plate.DimensionX;
            ZORVA::customDefinitions[i].DimensionY = entries[i].plate.DimensionY;
        }
        ZORVA::customDefinitionCount = static_cast<int>(entries.size());
    }
    ~CustomDefinitionsInUse() { ZORVA::ReleaseCustomDefinitions(); }
};

} // namespace

// The explanation runs the plugin's own matching function; this holds it to
// what a detection instantiates, unit by unit, so neither can drift.
TEST(PlateMatch, ExplainMatch_TableOfUnitsAndCustomPlates_AgreesWithDetection)
{
    const std::vector<CustomPlateEntry> custom = {
        Custom("Tandem TM", 0.6223, 1.797, "TreadmillSupport.cfg"),
        Custom("Gait Walkway", 0.6, 1.8, "CombinationPlatform.cfg"),
        Custom("Belt", 0.5, 1.5, "Strivo.cfg"),
        Custom("Gait Walkway", 0.7, 2.0, "Strivo.cfg"),
        Custom("Pendra", 0.3, 0.3, "Strivo.cfg"), // a reader refuses it; the rules must not care
    };
    const std::vector<DetectedUnit> units = {
        Unit("Pendra-600", "1", "1"),       Unit("XYZ Gorvin rev B", "23.622", "15.748"),
        Unit("BIG TREADMILL 2", "", ""),    Unit("X-1", "35.433", "35.433"),
        Unit("", "35.433", "23.87"),        Unit("Tandem TM", "10", "10"),
        Unit("Gait Walkway", "1", "1"),     Unit("GW-1800", "70.866", "23.622"),
        Unit("B-1500", "59.055", "19.685"), Unit("tandem tm", "1", "1"),
        Unit("Mystery", "10", "10"),        Unit("Mystery", "n/a", ""),
        Unit("Odd", "1e999", "-3"),
    };
    CustomDefinitionsInUse inUse(custom);
    zorvahost::RecordingHost host;
    std::vector<std::string> detected;
    {
        ZORVA::VSharedConfigDevice shared(&host, nullptr);
        shared.instantiator = &host;
        std::vector<ZORVA::VZORVADriverService::VDeviceInfo> records;
        for (std::size_t i = 0; i < units.size(); ++i) {
            ZORVA::VZORVADriverService::VDeviceInfo record;
            record.productType = 100;
            record.amplifierSerial = "A" + std::to_string(i);
            record.platformSerial = "P" + std::to_string(i);
            record.platformModel = units[i].platformModel;
            record.platformLength = units[i].length;
            record.platformWidth = units[i].width;
            record.originOffsets.assign(3, 0.0f);
            record.deviceIndex = static_cast<int>(i);
            records.push_back(record);
        }
        ZORVA::VZORVADriverService::VDllInitInfo info;
        shared.OnDetectionComplete(info, records);
        for (const InstantiatedDevice& device : host.Instantiated())
            detected.push_back(device.definitionName);
    }
    ASSERT_EQ(detected.size(), units.size());
    std::set<std::string> kinds;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const MatchExplanation match = ExplainMatch(units[i], custom);
        EXPECT_EQ(match.definition, detected[i]) << units[i].platformModel << ": " << match.reason;
        kinds.insert(match.reason.substr(0, match.reason.find(' ')));
    }
    // Standard models, custom plates and the generic plate all among them.
    EXPECT_EQ(kinds, (std::set<std::string>{"standard", "custom", "generic"}));
}
