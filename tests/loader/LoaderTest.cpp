// Loads the plugin with dlopen and drives it only through its six exports.
#include "ExpectedDefinitions.h"
#include "hostkit/PluginLibrary.h"
#include "tests/support/RecordingHost.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace zorvahost;
using hostkit::PluginLibrary;

namespace {

class LoadedPlugin : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // No configuration files: point drive C at an empty folder.
        setenv("ZORVA_DRIVE_C", "/nonexistent-zorva-drive-c", 1);
    }

    LoadedPlugin() : plugin(ZORVA_PLUGIN_PATH) {}

    PluginLibrary plugin;
    RecordingHost host;
};

} // namespace

TEST_F(LoadedPlugin, Load_ByFile_ResolvesTheSixEntryPoints)
{
    ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
    EXPECT_EQ(plugin.PluginAPIVersion(), 1);
}

TEST_F(LoadedPlugin, ProvideDeviceDefinitions_NoConfigFiles_ExactlyTheTwentyOneDefinitions)
{
    ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
    ASSERT_TRUE(plugin.Initialise(&host));
    plugin.ProvideDeviceDefinitions(&host);

    std::vector<std::string> expected = zorvatest::SharedConfigCalls();
    for (const zorvatest::PlateModel& model : zorvatest::StandardModels()) {
        const std::vector<std::string> calls = zorvatest::PlateCalls(model.name, model.x, model.y, model.actions);
        expected.insert(expected.end(), calls.begin(), calls.end());
    }
    const std::vector<std::string> generic = zorvatest::PlateCalls("Force plate", 0.5, 0.5, true);
    expected.insert(expected.end(), generic.begin(), generic.end());
    EXPECT_EQ(host.Calls(), expected);

    const std::vector<RecordedDefinition> definitions = host.Definitions();
    ASSERT_EQ(definitions.size(), 21u);
    EXPECT_EQ(definitions.front().name, "Digital device common settings");
    EXPECT_EQ(definitions.back().name, "Force plate");
    for (const RecordedDefinition& d : definitions)
        EXPECT_EQ(d.Parameter("BlinkAction") == nullptr, d.name == "Brisen" || d.deviceType != "ForcePlate") << d.name;
    plugin.Shutdown();
}

TEST_F(LoadedPlugin, BeginDeviceInstantiation_HandsOverSharedDeviceOnce)
{
    ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
    plugin.Initialise(&host);
    plugin.ProvideDeviceDefinitions(&host);
    plugin.BeginDeviceInstantiation(&host);
    plugin.BeginDeviceInstantiation(&host);
    plugin.OnManualDeviceInstantiation("ZORVA", "Digital device common settings", "V1.13");
    const std::vector<InstantiatedDevice> devices = host.Instantiated();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].deviceName, "ZORVA Shared Config Device");
    ASSERT_NE(devices[0].device, nullptr);

    host.AttachNewDevices();
    int state = -1;
    bool rearm = false;
    devices[0].device->GetState(&state, &rearm);
    EXPECT_EQ(state, 2);
    EXPECT_TRUE(rearm);
    plugin.Shutdown();
    EXPECT_EQ(host.Results().Outstanding(), 0);
}

TEST_F(LoadedPlugin, Shutdown_ThenInitialise_RunsAgain)
{
    ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
    plugin.Initialise(&host);
    plugin.BeginDeviceInstantiation(&host);
    plugin.Shutdown();
    RecordingHost again;
    plugin.Initialise(&again);
    plugin.ProvideDeviceDefinitions(&again);
    plugin.BeginDeviceInstantiation(&again);
    EXPECT_EQ(again.Definitions().size(), 21u);
    EXPECT_EQ(again.Instantiated().size(), 1u);
    plugin.Shutdown();
}
