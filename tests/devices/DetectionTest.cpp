// What the shared device makes of a detection result: one plate per signal
// conditioner / platform pair, matched to a definition and instantiated in
// the host once, reused and reconnected by later detections.
#include "DevicesTestSupport.h"

#include "definitions/CustomDefinitions.h"

using namespace devtest;
using namespace MoldraDigitalDevice;

namespace {

std::string InstantiateCall(const std::string& definitionName, const std::string& deviceName)
{
    return "InstantiateDevice(\"ZORVA\", " + zorvahost::Quote(definitionName.c_str()) + ", \"   \", " +
           zorvahost::Quote(deviceName.c_str()) + ")";
}

/// One custom definition for the length of a test.
class DetectionWithCustomPlate : public DeviceBench
{
protected:
    void SetUp() override
    {
        DeviceBench::SetUp();
        ZORVA::customDefinitions = new ZORVA::VZORVAGenericPlateDefinition[1];
        ZORVA::customDefinitions[0].Name = "Walkway";
        ZORVA::customDefinitions[0].DimensionX = 0.4;
        ZORVA::customDefinitions[0].DimensionY = 1.2;
        ZORVA::customDefinitionCount = 1;
    }
    void TearDown() override
    {
        ZORVA::ReleaseCustomDefinitions();
        DeviceBench::TearDown();
    }
};

TEST_F(DetectionWithCustomPlate, OnDetectionComplete_NewUnits_InstantiatedWithMatchedDefinitions)
{
    DeviceInfo standard = Unit("A1", "P7", 0, 100, "Pendra-600");
    DeviceInfo custom = Unit("A2", "P8", 1, 300, "Walkway");
    custom.platformLength = "47.244"; // 1200 x 400 mm: no standard size
    DeviceInfo unknown = Unit("A3", "P9", 2, 400, "Unknown");
    unknown.platformLength = "10";
    unknown.platformWidth = "10";
    Detect({standard, custom, unknown});

    EXPECT_EQ(InstantiateCalls(host), (Lines{InstantiateCall("Pendra", "A1P7"), InstantiateCall("Walkway", "A2P8"),
                                             InstantiateCall("Force plate", "A3P9")}));
    const std::vector<zorvahost::InstantiatedDevice> instantiated = host.Instantiated();
    const std::vector<PlatePtr> plates = Plates();
    ASSERT_EQ(plates.size(), 3u);
    for (std::size_t i = 0; i < plates.size(); ++i) {
        EXPECT_EQ(instantiated[i].device, plates[i].get());
        EXPECT_TRUE(Connected(ServicesOf(plates[i])));
    }
    EXPECT_DOUBLE_EQ(plates[1]->Definition().DimensionY, 1.2);
    EXPECT_EQ(
        LogTexts(host, LogLevel::Information),
        (Lines{"Successful ZORVA device detection loop: The ZORVA setup is the same as the last saved "
               "configuration",
               "Detected 3 ZORVA digital devices", "Instantiating device 0: ZDA-100 A1 Pendra-600 P7",
               "Instantiating device 1: ZDA-300 A2 Walkway P8", "Instantiating device 2: ZDA-400 A3 Unknown P9"}));
}

TEST_F(DeviceBench, OnDetectionComplete_UnsupportedTypes_SkippedButCounted)
{
    Detect({Unit("A0", "P0", 0, 200), Unit("A1", "P1", 1, 0), Unit("A2", "P2", 2)});

    EXPECT_EQ(LogTexts(host, LogLevel::Warning), (Lines{"Detected unsupported device type 200, skipping...)",
                                                        "Detected unsupported device type 0, skipping...)"}));
    EXPECT_EQ(InstantiateCalls(host), Lines{InstantiateCall("Pendra", "A2P2")});
    ASSERT_EQ(Plates().size(), 1u);
    EXPECT_EQ(LogTexts(host, LogLevel::Information).at(1), "Detected 3 ZORVA digital devices");

    // Three columns in the block; the plate reads the third.
    ChangeSyncMode("Genlock");
    ASSERT_TRUE(ArmAll());
    Block block(3);
    block.SetLoad(2, {0, 0, -300, 0, 0, 0});
    shared->OnDataReady(block.Data());
    const std::vector<zorvahost::PushedBlock> pushed = Pushed(Plates()[0]);
    ASSERT_EQ(pushed.size(), 1u);
    EXPECT_FLOAT_EQ(pushed[0].values[2], 300.0f);
}

TEST_F(DeviceBench, OnDetectionComplete_TimedOut_LogsFailureAndStillCreatesPlates)
{
    Detect({Unit("A1", "P7", 0)}, TimedOut());
    EXPECT_EQ(LogTexts(host, LogLevel::DetectionFailed),
              Lines{"Unsuccessful ZORVA device detection loop: ZORVA device initialization timed out, consider "
                    "restarting the application."});
    EXPECT_EQ(InstantiateCalls(host), Lines{InstantiateCall("Pendra", "A1P7")});
}

TEST_F(DeviceBench, OnDetectionComplete_SameUnitsAgain_ReusesPlatesWithoutInstantiating)
{
    Detect({Unit("A1", "P1", 0), Unit("A2", "P2", 1)});
    const std::vector<PlatePtr> first = Plates();
    Detect({Unit("A1", "P1", 0), Unit("A2", "P2", 1)});

    EXPECT_EQ(Plates(), first);
    EXPECT_EQ(InstantiateCalls(host).size(), 2u);
    for (const PlatePtr& plate : first)
        EXPECT_TRUE(Connected(ServicesOf(plate)));
}

TEST_F(DeviceBench, OnDetectionComplete_UnitUnpluggedAndBack_DisconnectedThenSamePlate)
{
    Detect({Unit("A1", "P1", 0), Unit("A2", "P2", 1)});
    const std::vector<PlatePtr> first = Plates();

    // A1 gone: A2 is now the library's unit 0.
    Detect({Unit("A2", "P2", 0)});
    ASSERT_EQ(Plates(), std::vector<PlatePtr>{first[1]});
    EXPECT_FALSE(Connected(ServicesOf(first[0])));
    EXPECT_TRUE(Connected(ServicesOf(first[1])));
    EXPECT_FALSE(first[0]->Arm(1, &setup));

    ChangeSyncMode("Genlock");
    ASSERT_TRUE(ArmAll());
    Block one(1);
    one.SetLoad(0, {0, 0, -222, 0, 0, 0});
    shared->OnDataReady(one.Data());
    ASSERT_EQ(Pushed(first[1]).size(), 1u);
    EXPECT_FLOAT_EQ(Pushed(first[1])[0].values[2], 222.0f); // follows its unit to index 0
    EXPECT_TRUE(Pushed(first[0]).empty());

    Detect({Unit("A1", "P1", 0), Unit("A2", "P2", 1)});
    EXPECT_EQ(Plates(), first);
    EXPECT_TRUE(Connected(ServicesOf(first[0])));
    EXPECT_EQ(InstantiateCalls(host).size(), 2u);
}

TEST_F(DeviceBench, OnDetectionComplete_AmplifierOnAnotherPlatform_NewPlate)
{
    Detect({Unit("A1", "P1", 0)});
    const PlatePtr before = Plates()[0];
    Detect({Unit("A1", "P2", 0)});

    ASSERT_EQ(Plates().size(), 1u);
    EXPECT_NE(Plates()[0], before);
    EXPECT_EQ(InstantiateCalls(host), (Lines{InstantiateCall("Pendra", "A1P1"), InstantiateCall("Pendra", "A1P2")}));
    EXPECT_FALSE(Connected(ServicesOf(before)));
}

namespace {

/// The single plate declares the sync input of hardware-trigger mode and
/// blanks a 30 N load, as a 40 N threshold does.
class ModeAndThreshold : public DeviceBench
{
protected:
    void ExpectHardwareTriggerAndThreshold40()
    {
        const std::size_t before = host.Calls().size();
        ASSERT_TRUE(ArmAll());
        EXPECT_EQ(CallsSince(host, before).back(), "AddSyncInput(\"Sync Port\", 1, 1500, 0, 0, true)");
        Block block(1);
        block.SetTrigger(0, 0, 1.0f);
        block.SetLoad(0, {0, 0, -30, 0, 0, 0});
        shared->OnDataReady(block.Data());
        ASSERT_EQ(Pushed(Plates()[0]).size(), 1u);
        EXPECT_FLOAT_EQ(Pushed(Plates()[0])[0].values[2], 0.0f);
    }
};

} // namespace

TEST_F(ModeAndThreshold, OnDetectionComplete_NewPlate_GetsCurrentModeAndThreshold)
{
    ChangeSyncMode("Hardware trigger");
    ChangeThreshold(40.0);
    Detect({Unit("A1", "P7", 0)});
    ExpectHardwareTriggerAndThreshold40();
}

TEST_F(ModeAndThreshold, OnDetectionComplete_PlateBackAfterSettingsChanged_GetsCurrentModeAndThreshold)
{
    // Regression: mode and threshold reach only the plates of the latest
    // detection, so a plate that was unplugged while they changed came back
    // with the old ones (no sync input, blanking at the old threshold).
    Detect({Unit("A1", "P7", 0)});
    Detect({});
    ChangeSyncMode("Hardware trigger");
    ChangeThreshold(40.0);
    Detect({Unit("A1", "P7", 0)});
    ExpectHardwareTriggerAndThreshold40();
}

TEST_F(DeviceBench, OnDetectionComplete_NoInstantiator_PlatesStillCreated)
{
    shared->instantiator = nullptr;
    Detect({Unit("A1", "P7", 0)});
    EXPECT_EQ(Plates().size(), 1u);
    EXPECT_EQ(InstantiateCalls(host), Lines{});
}

} // namespace

namespace {

/// When a detection comes during the host's Attach of a plate: inside the
/// host's answer to Attach's read of "Connected", or inside one of the
/// identity values it publishes before.
struct AttachRaceCase
{
    const char* name;
    const char* during; ///< the host operation whose answer runs the detection
    bool found;         ///< the detection finds the plate's unit again
};

void PrintTo(const AttachRaceCase& c, std::ostream* os) { *os << c.name; }

class AttachRace : public DeviceBench, public ::testing::WithParamInterface<AttachRaceCase>
{};

} // namespace

// Regression: Attach set "Connected" to true whatever a detection decided
// while it ran, so a unit found gone meanwhile showed as connected; and a
// detection's write made before Attach's could reach the host after it.
TEST_P(AttachRace, Attach_DetectionMeanwhile_HostShowsTheDetectionsVerdict)
{
    const AttachRaceCase& c = GetParam();
    const DeviceInfo unit = Unit("A1", "P7", 0);
    shared->OnDetectionComplete(Succeeded(), {unit});
    const PlatePtr plate = Plates().at(0);
    bool ran = false;
    host.CallBackFrom(c.during, [&] {
        if (ran)
            return;
        ran = true;
        shared->OnDetectionComplete(Succeeded(), c.found ? std::vector<DeviceInfo>{unit} : std::vector<DeviceInfo>{});
    });
    host.AttachNewDevices();
    host.CallBackFrom(c.during, nullptr);
    ASSERT_TRUE(ran);
    EXPECT_EQ(Connected(ServicesOf(plate)), c.found);
    // A plate that is not connected does not arm.
    EXPECT_EQ(plate->Arm(10, &setup), c.found);
}

INSTANTIATE_TEST_SUITE_P(Cases, AttachRace,
                         ::testing::Values(AttachRaceCase{"FoundDuringConnectedRead", "GetParameterValue", true},
                                           AttachRaceCase{"GoneDuringConnectedRead", "GetParameterValue", false},
                                           AttachRaceCase{"FoundDuringIdentity", "SetParameterValue", true},
                                           AttachRaceCase{"GoneDuringIdentity", "SetParameterValue", false}),
                         [](const ::testing::TestParamInfo<AttachRaceCase>& info) { return info.param.name; });
