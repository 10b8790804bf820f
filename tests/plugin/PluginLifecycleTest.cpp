// The entry points driven in-process (through their C++ side), with the
// recording host standing in for the motion-capture host.
#include "plugin/Plugin.h"

#include "ExpectedDefinitions.h"
#include "definitions/CustomDefinitions.h"
#include "tests/support/RecordingHost.h"
#include "devices/VSharedConfigDevice.h"

#include <gtest/gtest.h>

#include <string>

using namespace ZORVA;
using zorvahost::RecordingHost;

namespace {

const std::string InstantiateShared = "InstantiateDevice(\"ZORVA\", \"Digital device common settings\", "
                                      "\"V1.13\", \"ZORVA Shared Config Device\")";

class PluginLifecycle : public ::testing::Test
{
protected:
    void TearDown() override
    {
        Shutdown();
        // What the host would have at a fresh load.
        hostServices = nullptr;
        deviceInstantiator = nullptr;
    }

    int InstantiationCount(const RecordingHost& host) const
    {
        int count = 0;
        for (const std::string& call : host.Calls())
            count += call == InstantiateShared;
        return count;
    }

    RecordingHost host;
};

} // namespace

TEST_F(PluginLifecycle, PluginAPIVersion_AnyTime_ReturnsOne)
{
    EXPECT_EQ(PluginAPIVersion(), 1);
    EXPECT_TRUE(Initialise(&host));
    EXPECT_EQ(PluginAPIVersion(), 1);
}

TEST_F(PluginLifecycle, ProvideDeviceDefinitions_NoConfigFiles_TwentyOneInOrder)
{
    ASSERT_TRUE(Initialise(&host));
    ASSERT_EQ(customDefinitionCount, 0);
    ProvideDeviceDefinitions(&host);

    std::vector<std::string> expected = zorvatest::SharedConfigCalls();
    for (const zorvatest::PlateModel& model : zorvatest::StandardModels()) {
        const bool includeActions = model.actions;
        const std::vector<std::string> calls = zorvatest::PlateCalls(model.name, model.x, model.y, includeActions);
        expected.insert(expected.end(), calls.begin(), calls.end());
    }
    const std::vector<std::string> generic = zorvatest::PlateCalls("Force plate", 0.5, 0.5, true);
    expected.insert(expected.end(), generic.begin(), generic.end());

    EXPECT_EQ(host.Calls(), expected);
    EXPECT_EQ(host.Definitions().size(), 21u);
}

TEST_F(PluginLifecycle, BeginDeviceInstantiation_Twice_InstantiatesOnceAndKeepsLatestInstantiator)
{
    Initialise(&host);
    RecordingHost second;
    BeginDeviceInstantiation(&host);
    BeginDeviceInstantiation(&second);
    EXPECT_EQ(InstantiationCount(host), 1);
    EXPECT_EQ(InstantiationCount(second), 0);
    EXPECT_EQ(deviceInstantiator, &second);
    EXPECT_EQ(sharedConfigDevice->instantiator, &second);
    ASSERT_EQ(host.Instantiated().size(), 1u);
    EXPECT_EQ(host.Instantiated()[0].device, sharedConfigDevice.get());
}

TEST_F(PluginLifecycle, OnManualDeviceInstantiation_AfterBegin_InstantiatesNothing)
{
    Initialise(&host);
    BeginDeviceInstantiation(&host);
    OnManualDeviceInstantiation("ZORVA", "Digital device common settings", "V1.13");
    EXPECT_EQ(InstantiationCount(host), 1);
}

TEST_F(PluginLifecycle, InstantiateDevice_HostRefuses_NeverAskedAgain)
{
    host.FailCall(InstantiateShared, "no licence");
    Initialise(&host);
    BeginDeviceInstantiation(&host);
    BeginDeviceInstantiation(&host);
    OnManualDeviceInstantiation("ZORVA", "Digital device common settings", "V1.13");
    EXPECT_EQ(InstantiationCount(host), 1);
    EXPECT_TRUE(sharedDeviceInstantiated);
    EXPECT_EQ(host.Results().Outstanding(), 0) << "the refusal is released unread";
    EXPECT_TRUE(host.Logs().empty()) << "the refusal is not logged";
}

namespace {

struct ManualCase
{
    const char* name;
    const char* manufacturer;
    const char* definitionName;
    const char* version;
    bool instantiates;
};

class ManualInstantiation : public ::testing::TestWithParam<ManualCase>
{
protected:
    void TearDown() override
    {
        Shutdown();
        hostServices = nullptr;
        deviceInstantiator = nullptr;
    }
};

} // namespace

// The comparison only matters while an instantiator is stored and the shared
// device not yet handed over: after a restart (Shutdown, Initialise).
TEST_P(ManualInstantiation, OnManualDeviceInstantiation_AfterRestart_ComparesByteForByte)
{
    const ManualCase& c = GetParam();
    RecordingHost host;
    Initialise(&host);
    BeginDeviceInstantiation(&host);
    Shutdown();
    Initialise(&host);
    OnManualDeviceInstantiation(c.manufacturer, c.definitionName, c.version);
    const std::vector<zorvahost::InstantiatedDevice> devices = host.Instantiated();
    ASSERT_EQ(devices.size(), c.instantiates ? 2u : 1u);
    if (c.instantiates) {
        EXPECT_EQ(devices[1].device, sharedConfigDevice.get());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ManualInstantiation,
    ::testing::Values(ManualCase{"Exact", "ZORVA", "Digital device common settings", "V1.13", true},
                      ManualCase{"VersionTrailingBlank", "ZORVA", "Digital device common settings", "V1.13 ", false},
                      ManualCase{"LowerCaseMaker", "zorva", "Digital device common settings", "V1.13", false},
                      ManualCase{"ShorterName", "ZORVA", "Digital device common", "V1.13", false},
                      ManualCase{"PlateDefinition", "ZORVA", "Force plate", "   ", false},
                      ManualCase{"NullVersion", "ZORVA", "Digital device common settings", nullptr, false},
                      ManualCase{"NullMaker", nullptr, "Digital device common settings", "V1.13", false}),
    [](const ::testing::TestParamInfo<ManualCase>& info) { return std::string(info.param.name); });

TEST_F(PluginLifecycle, BeginDeviceInstantiation_BeforeInitialise_DoesNothingThenWorks)
{
    BeginDeviceInstantiation(&host);
    EXPECT_TRUE(host.Calls().empty());
    EXPECT_FALSE(sharedDeviceInstantiated);
    Initialise(&host);
    BeginDeviceInstantiation(&host);
    EXPECT_EQ(InstantiationCount(host), 1);
}

TEST_F(PluginLifecycle, OnManualDeviceInstantiation_BeforeAnyInstantiator_DoesNothing)
{
    Initialise(&host);
    OnManualDeviceInstantiation("ZORVA", "Digital device common settings", "V1.13");
    EXPECT_TRUE(host.Calls().empty());
    EXPECT_FALSE(sharedDeviceInstantiated);
    BeginDeviceInstantiation(&host);
    EXPECT_EQ(InstantiationCount(host), 1);
}

TEST_F(PluginLifecycle, NullHostObjects_NeverCrash)
{
    Initialise(nullptr);
    ProvideDeviceDefinitions(nullptr);
    BeginDeviceInstantiation(nullptr);
    OnManualDeviceInstantiation(nullptr, nullptr, nullptr);
    EXPECT_FALSE(sharedDeviceInstantiated);
}

TEST_F(PluginLifecycle, Initialise_AfterShutdown_StartsAgainWithFreshDevice)
{
    Initialise(&host);
    ProvideDeviceDefinitions(&host);
    BeginDeviceInstantiation(&host);
    ASSERT_TRUE(sharedConfigDevice);
    Shutdown();
    EXPECT_FALSE(sharedConfigDevice);
    EXPECT_FALSE(driverService);
    EXPECT_EQ(customDefinitionCount, 0);
    EXPECT_EQ(customDefinitions, nullptr);

    RecordingHost again;
    Initialise(&again);
    ProvideDeviceDefinitions(&again);
    BeginDeviceInstantiation(&again);
    EXPECT_EQ(again.Definitions().size(), 21u);
    ASSERT_EQ(again.Instantiated().size(), 1u);
    EXPECT_EQ(again.Instantiated()[0].device, sharedConfigDevice.get());
    EXPECT_EQ(hostServices, &again);
}

TEST_F(PluginLifecycle, Shutdown_Twice_IsHarmless)
{
    Initialise(&host);
    Shutdown();
    Shutdown();
    EXPECT_FALSE(sharedConfigDevice);
}
