// The whole plugin through its entry points with the recording host, on the
// simulated library in virtual time: load to shut-down with a capture in
// between, and a shut-down that arrives while a detection runs.
#include "DevicesTestSupport.h"

#include "plugin/Plugin.h"
#include "tests/support/SimulatedBench.h"
#include "simusb/SimControl.h"
#include "win32/posix/win32_control.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

using namespace devtest;
using namespace MoldraDigitalDevice;

namespace {

const char* const Bench = R"([scenario]
init_polls = 3
[unit L]
product_type = 100
amplifier_serial = A1
platform_model = Pendra-600
platform_serial = P7
force = 0 0 -700
[unit R]
product_type = 400
amplifier_serial = A2
platform_model = Quillo-600
platform_serial = P8
)";

class PluginLifecycle : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // No configuration files: no custom plates.
        ZorvaWin32_SetDriveDirectory('C', "/nonexistent-zorva-devices-test");
        zorvasim::Reset();
        zorvasim::SetMode(zorvasim::Mode::Stepped);
        ASSERT_TRUE(zorvasim::SetVirtualTime(true));
        std::string error;
        ASSERT_TRUE(zorvasim::LoadScenarioText(Bench, &error)) << error;
    }

    void TearDown() override { zorvatest::ShutdownPluginAndBench(); }

    /// Instantiated devices the host accepted.
    std::vector<zorvahost::InstantiatedDevice> Devices() { return host.Instantiated(); }

    zorvahost::RecordingHost host;
    zorvahost::CaptureSetup setup{host};
};

TEST_F(PluginLifecycle, Exports_LoadToShutdown_DetectsCapturesAndStops)
{
    ASSERT_EQ(ZORVA::PluginAPIVersion(), 1);
    ASSERT_TRUE(ZORVA::Initialise(&host));
    ZORVA::ProvideDeviceDefinitions(&host);
    ZORVA::BeginDeviceInstantiation(&host);
    ASSERT_EQ(Devices().size(), 1u);
    zorvahost::DeviceServices* sharedServices = Devices()[0].services.get();
    IDevice* shared = Devices()[0].device;

    host.AttachNewDevices(); // the shared device: first detection
    ASSERT_TRUE(WaitUntil([&] { return sharedServices->NotifyCount() >= 2; }));
    ASSERT_EQ(Devices().size(), 3u);
    EXPECT_EQ(Devices()[1].deviceName, "A1P7");
    EXPECT_EQ(Devices()[1].definitionName, "Pendra");
    EXPECT_EQ(Devices()[2].deviceName, "A2P8");
    EXPECT_EQ(Devices()[2].definitionName, "Quillo");
    host.AttachNewDevices();

    ASSERT_TRUE(shared->Arm(1, &setup));
    for (std::size_t i = 1; i < 3; ++i)
        ASSERT_TRUE(Devices()[i].device->Arm(static_cast<unsigned int>(i), &setup));
    ASSERT_TRUE(WaitUntil([&] { return StateOf(*shared) == ZORVA::DeviceState::Acquiring; }));
    shared->StartCapture(host.GetTime());
    ASSERT_EQ(zorvasim::DeliverBlocks(5), 5);
    ASSERT_TRUE(
        WaitUntil([&] { return Devices()[1].services->PushCount() == 5 && Devices()[2].services->PushCount() == 5; }));
    std::vector<std::int64_t> frames;
    for (const zorvahost::PushedBlock& block : Devices()[1].services->PushedBlocks())
        frames.push_back(block.frame);
    EXPECT_EQ(frames, (std::vector<std::int64_t>{0, 16, 32, 48, 64}));

    for (const zorvahost::InstantiatedDevice& device : Devices())
        device.device->Disarm();
    ZORVA::Shutdown();

    EXPECT_FALSE(zorvasim::GetState().initialised);
    const Lines trace = zorvasim::GetTrace();
    ASSERT_GE(trace.size(), 2u);
    EXPECT_EQ(trace[trace.size() - 2], "fmDLLShutDown()");
    EXPECT_EQ(host.Results().Outstanding(), 0);
}

TEST_F(PluginLifecycle, Shutdown_DuringDetection_DetectionEndsThenLibraryShutsDown)
{
    std::mutex mutex;
    std::condition_variable changed;
    bool detecting = false;
    bool shuttingDown = false;
    // The worker waits inside the detection until Shutdown has begun.
    host.SetLogObserver([&](const zorvahost::LogLine& line) {
        if (line.text != "::fmDLLInit()")
            return;
        std::unique_lock<std::mutex> lock(mutex);
        detecting = true;
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(5), [&] { return shuttingDown; });
    });

    ASSERT_TRUE(ZORVA::Initialise(&host));
    ZORVA::BeginDeviceInstantiation(&host);
    host.AttachNewDevices();
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(5), [&] { return detecting; }));
        shuttingDown = true;
        changed.notify_all();
    }
    ZORVA::Shutdown();

    // The queued detection ran to its end before the worker stopped.
    EXPECT_EQ(Devices().size(), 3u);
    EXPECT_FALSE(zorvasim::GetState().initialised);
    const Lines trace = zorvasim::GetTrace();
    EXPECT_NE(std::find(trace.begin(), trace.end(), "fmDLLShutDown()"), trace.end());
    EXPECT_EQ(ZORVA::sharedConfigDevice, nullptr);
    EXPECT_EQ(ZORVA::driverService, nullptr);
}

/// A host call that another host thread's Shutdown overtakes: the device
/// operation that made it, the host operation inside which Shutdown begins,
/// and the library call the operation's job makes.
struct ShutdownCase
{
    const char* name;
    bool plate;            ///< the operation is a plate's (else the shared device's)
    const char* parameter; ///< the setting or action the host reports changed
    std::uint64_t id;
    const char* during;      ///< the host operation inside which Shutdown begins
    const char* libraryCall; ///< what the operation's job sends, before the shut-down
};

void PrintTo(const ShutdownCase& c, std::ostream* os) { *os << c.name; }

class ShutdownDuring : public PluginLifecycle, public ::testing::WithParamInterface<ShutdownCase>
{};

// Regression: Shutdown released the driver service while a host thread was
// still inside a device's ParametersChanged, which then queued its job on the
// destroyed service.
TEST_P(ShutdownDuring, Shutdown_HostThreadInsideOperation_OperationEndsFirst)
{
    const ShutdownCase& c = GetParam();
    ASSERT_TRUE(ZORVA::Initialise(&host));
    ZORVA::BeginDeviceInstantiation(&host);
    zorvahost::DeviceServices* sharedServices = Devices()[0].services.get();
    host.AttachNewDevices();
    ASSERT_TRUE(WaitUntil([&] { return sharedServices->NotifyCount() >= 2; }));
    host.AttachNewDevices();
    const zorvahost::InstantiatedDevice device = Devices()[c.plate ? 1 : 0];

    std::thread shutdown;
    std::atomic<bool> begun{false};
    std::atomic<bool> ended{false};
    host.CallBackFrom(c.during, [&] {
        if (begun.exchange(true))
            return;
        shutdown = std::thread([&] {
            ZORVA::Shutdown();
            ended = true;
        });
        // Shutdown has time to get as far as it can while the operation is inside the host.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    });
    if (std::string(c.parameter) == "SampleRate") {
        IParameterValueEnum rate = EnumValue("500");
        device.services->ChangeParameter(c.parameter, rate, c.id);
    } else {
        IParameterValueAction press = ActionValue();
        device.services->ChangeParameter(c.parameter, press, c.id);
    }
    device.device->ParametersChanged();
    host.CallBackFrom(c.during, nullptr);
    ASSERT_TRUE(begun);
    shutdown.join();
    ASSERT_TRUE(ended);

    const Lines trace = zorvasim::GetTrace();
    const auto call = std::find(trace.begin(), trace.end(), c.libraryCall);
    const auto shutDown = std::find(trace.begin(), trace.end(), "fmDLLShutDown()");
    ASSERT_NE(shutDown, trace.end());
    EXPECT_LT(call, shutDown) << c.libraryCall << " not sent before the library was shut down";
    EXPECT_EQ(ZORVA::sharedConfigDevice, nullptr);
    // After Shutdown the devices' operations do nothing.
}

INSTANTIATE_TEST_SUITE_P(Cases, ShutdownDuring,
                         ::testing::Values(ShutdownCase{"RateChange", false, "SampleRate", 1, "GetParameterValue",
                                                        "fmBroadcastAcquisitionRate(500)"},
                                           ShutdownCase{"Blink", true, "BlinkAction", 5, "GetChangedParameters",
                                                        "fmSetBlink()"}),
                         [](const ::testing::TestParamInfo<ShutdownCase>& info) { return info.param.name; });

} // namespace
