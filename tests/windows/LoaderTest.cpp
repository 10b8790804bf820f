// A host of our own on Windows: loads ZORVAplugin.mdd with LoadLibraryW,
// resolves the six entry points with GetProcAddress and drives the plugin
// through them only, on the real Win32 API (thread messages, Sleep, files on
// drive C) and the simulated ZORVAUSBDevice.dll beside it.
#include "ExpectedDefinitions.h"
#include "hostkit/PluginLibrary.h"
#include "tests/support/RecordingHost.h"
#include "simusb/SimControl.h"
#include "win32/ZorvaWin32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace zorvahost;
using hostkit::DefaultPluginPath;
using hostkit::PluginLibrary;

namespace {

/// Beside the program, by its full path, as a host loads from its plugin folder.
const std::string PluginPath = DefaultPluginPath();

std::wstring ModulePath(HMODULE module)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    return std::wstring(path, n);
}

std::wstring Folder(const std::wstring& path) { return path.substr(0, path.find_last_of(L"\\/")); }

/// The definitions the plugin registers without configuration files, with
/// `custom` between the standard models and the generic plate.
std::vector<std::string> ExpectedCalls(const std::vector<std::string>& custom = {})
{
    std::vector<std::string> expected = zorvatest::SharedConfigCalls();
    for (const zorvatest::PlateModel& model : zorvatest::StandardModels()) {
        const std::vector<std::string> calls = zorvatest::PlateCalls(model.name, model.x, model.y, model.actions);
        expected.insert(expected.end(), calls.begin(), calls.end());
    }
    expected.insert(expected.end(), custom.begin(), custom.end());
    const std::vector<std::string> generic = zorvatest::PlateCalls("Force plate", 0.5, 0.5, true);
    expected.insert(expected.end(), generic.begin(), generic.end());
    return expected;
}

/// The configuration folder the plugin reads, C:\ZORVA\CFG, made for one test
/// and removed after it. On a machine where the folder already exists (a real
/// installation) the test is skipped rather than touching it.
class ConfigFolder
{
public:
    ConfigFolder()
    {
        std::error_code error;
        if (std::filesystem::exists(Root, error) && !std::filesystem::exists(Root / Marker, error))
            return;
        std::filesystem::create_directories(Root / "CFG", error);
        std::ofstream(Root / Marker) << "made by the Windows loader test\n";
        usable_ = !error;
    }
    ~ConfigFolder()
    {
        if (usable_) {
            std::error_code ignored;
            std::filesystem::remove_all(Root, ignored);
        }
    }
    ConfigFolder(const ConfigFolder&) = delete;
    ConfigFolder& operator=(const ConfigFolder&) = delete;

    bool Usable() const { return usable_; }
    void Write(const char* name, const std::string& text) const
    {
        std::ofstream(Root / "CFG" / name, std::ios::binary) << text;
    }

private:
    static inline const std::filesystem::path Root = L"C:\\ZORVA";
    static inline const std::filesystem::path Marker = L".zorva-loader-test";
    bool usable_ = false;
};

/// Polls `done` in real time (the plugin DLL pauses for real) for up to 30 s.
bool WaitUntil(const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

/// Shuts the plugin down once: when asked, or when the test ends early.
struct ShutdownOnExit
{
    PluginLibrary& plugin;
    bool done = false;

    void Now()
    {
        if (!done && plugin.Loaded())
            plugin.Shutdown();
        done = true;
    }
    ~ShutdownOnExit() { Now(); }
};

class WindowsLoader : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // A fresh simulated bench (default scenario), as after plugging in.
        zorvasim::Reset();
    }
};

} // namespace

TEST_F(WindowsLoader, LoadLibrary_PluginFile_SixPlainExportsAndUsbLibraryBesideIt)
{
    PluginLibrary plugin(PluginPath);
    ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
    EXPECT_EQ(plugin.PluginAPIVersion(), 1);

    const HMODULE module = GetModuleHandleW(L"ZORVAplugin.mdd");
    ASSERT_NE(module, nullptr);
    // Only the plain names are there: no C++ decoration, no leading underscore.
    EXPECT_EQ(GetProcAddress(module, "_Initialise"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "_Z10InitialiseP11IPluginHost"), nullptr);
    // The plugin imports the USB library by its file name, found beside the plugin.
    const HMODULE usb = GetModuleHandleW(L"ZORVAUSBDevice.dll");
    ASSERT_NE(usb, nullptr);
    EXPECT_EQ(Folder(ModulePath(usb)), Folder(ModulePath(module)));
}

TEST_F(WindowsLoader, ProvideDeviceDefinitions_NoConfigFolder_TwentyOneDefinitions)
{
    PluginLibrary plugin(PluginPath);
    ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
    RecordingHost host;
    ASSERT_TRUE(plugin.Initialise(&host));
    plugin.ProvideDeviceDefinitions(&host);
    EXPECT_EQ(host.Calls(), ExpectedCalls());
    EXPECT_EQ(host.Definitions().size(), 21u);
    plugin.Shutdown();
    EXPECT_EQ(host.Results().Outstanding(), 0);
}

TEST_F(WindowsLoader, Initialise_ConfigFileOnDriveC_CustomDefinitionAfterStandardModels)
{
    ConfigFolder folder;
    if (!folder.Usable())
        GTEST_SKIP() << "C:\\ZORVA exists and is not ours: not touching a real installation";
    // The treadmill-support file is read from the real path C:\ZORVA\CFG; a
    // folder where the combination-platform file belongs cannot be opened
    // and costs only that file's definitions.
    folder.Write("TreadmillSupport.cfg", "SETUP_TYPE 4\n");
    std::filesystem::create_directories(L"C:\\ZORVA\\CFG\\CombinationPlatform.cfg");

    PluginLibrary plugin(PluginPath);
    ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
    RecordingHost host;
    ASSERT_TRUE(plugin.Initialise(&host));
    plugin.ProvideDeviceDefinitions(&host);
    const std::vector<RecordedDefinition> definitions = host.Definitions();
    ASSERT_EQ(definitions.size(), 22u);
    EXPECT_EQ(definitions[20].name, "Tandem TM");
    EXPECT_EQ(definitions[21].name, "Force plate");
    plugin.Shutdown();
}

TEST_F(WindowsLoader, FreeLibrary_AfterShutdown_UnloadsAndLoadsAgainFresh)
{
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        {
            PluginLibrary plugin(PluginPath);
            ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
            RecordingHost host;
            ASSERT_TRUE(plugin.Initialise(&host));
            plugin.ProvideDeviceDefinitions(&host);
            plugin.BeginDeviceInstantiation(&host);
            plugin.BeginDeviceInstantiation(&host);
            const std::vector<InstantiatedDevice> devices = host.Instantiated();
            ASSERT_EQ(devices.size(), 1u);
            EXPECT_EQ(devices[0].deviceName, "ZORVA Shared Config Device");
            int state = -1;
            bool rearm = false;
            devices[0].device->GetState(&state, &rearm);
            EXPECT_EQ(state, 2);
            plugin.Shutdown();
            EXPECT_EQ(host.Results().Outstanding(), 0);
        }
        // The driver service's worker has ended: nothing pins the DLL.
        EXPECT_EQ(GetModuleHandleW(L"ZORVAplugin.mdd"), nullptr);
    }
}

TEST_F(WindowsLoader, Capture_SimulatedTwoPlateBench_DetectsPlatesAndPushesBlocks)
{
    PluginLibrary plugin(PluginPath);
    ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
    RecordingHost host;
    host.UseRealClock();
    // On a failed assertion too: the worker must end before the DLL unloads.
    ShutdownOnExit shutdown{plugin};
    ASSERT_TRUE(plugin.Initialise(&host));
    plugin.ProvideDeviceDefinitions(&host);
    plugin.BeginDeviceInstantiation(&host);

    // Attaching the shared device starts a detection on the driver's worker:
    // the USB library's start-up, its thread registration and enumeration.
    host.AttachNewDevices();
    ASSERT_TRUE(WaitUntil([&] { return host.Instantiated().size() >= 3; }))
        << "plates instantiated: " << host.Instantiated().size() - 1;
    host.AttachNewDevices();
    const std::vector<InstantiatedDevice> devices = host.Instantiated();
    ASSERT_EQ(devices.size(), 3u); // the shared device and the built-in bench's two plates

    // Arm every device, shared device first, and start the capture now: the
    // library posts its data-ready message to the worker with the real
    // PostThreadMessageW, and the worker hands each block to the plates.
    CaptureSetup setup(host);
    unsigned int stream = 1;
    for (const InstantiatedDevice& device : devices)
        EXPECT_TRUE(device.device->Arm(stream++, &setup)) << device.deviceName;
    for (const InstantiatedDevice& device : devices)
        device.device->StartCapture(host.GetTime());
    for (std::size_t i = 1; i < devices.size(); ++i) {
        ASSERT_TRUE(WaitUntil([&] { return devices[i].services->PushCount() >= 5; }))
            << devices[i].deviceName << " pushed " << devices[i].services->PushCount();
    }
    for (const InstantiatedDevice& device : devices)
        device.device->Disarm();
    shutdown.Now();

    for (std::size_t i = 1; i < devices.size(); ++i) {
        const std::vector<PushedBlock> blocks = devices[i].services->PushedBlocks();
        ASSERT_FALSE(blocks.empty());
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            EXPECT_EQ(blocks[b].samplesPerBlock, 16);
            EXPECT_EQ(blocks[b].values.size(), 16u * 9u);
            // Frames go up by whole blocks; a loaded machine may lose blocks
            // from the library's backlog, so gaps are allowed here.
            if (b > 0) {
                EXPECT_GT(blocks[b].frame, blocks[b - 1].frame) << devices[i].deviceName << " block " << b;
                EXPECT_EQ((blocks[b].frame - blocks[b - 1].frame) % 16, 0) << devices[i].deviceName << " block " << b;
            }
        }
    }
    EXPECT_EQ(host.Results().Outstanding(), 0);
}
