// The whole plugin under load, through its entry points with the recording
// host: sixteen units at 2000 datasets per second, captures between rescans
// and an unplug / replug, settings changed from two host threads meanwhile
// and a host that reads the state inside NotifyChanged. Stepped blocks and
// virtual time make every check exact: each plate's sample numbers run on by
// 16 without a gap (across the counter's wrap-around too), and Shutdown takes
// its own pauses and no more. A second test lets the library deliver, in
// real time, faster than a slow host takes the samples.
#include "tests/support/RecordingHost.h"
#include "plugin/Plugin.h"
#include "simusb/SimControl.h"
#include "tests/support/SimulatedBench.h"
#include "win32/posix/win32_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

using namespace MoldraDigitalDevice;
using zorvatest::WaitUntil;

namespace {

/// Real milliseconds since `start`.
long long MillisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

const std::uint64_t SyncModeId = 0;
const std::uint64_t SampleRateId = 1;
const std::uint64_t DataThresholdId = 2;
const std::uint64_t BroadcastZeroId = 3;
const std::uint64_t ScanForHardwareId = 5;
const int Units = 16;
/// The counter wraps to 0 during each round's capture.
const std::uint32_t CounterStart = 16777216u - 16u * 150u;

std::string Bench(int units, int rate, std::uint32_t counterStart)
{
    std::string text = "[scenario]\ninit_polls = 2\nrate = " + std::to_string(rate) +
                       "\ncounter_start = " + std::to_string(counterStart) + "\n";
    for (int k = 0; k < units; ++k) {
        const std::string n = std::to_string(k);
        text += "[unit U" + n + "]\nproduct_type = 100\namplifier_serial = A" + n +
                "\nplatform_model = Pendra-600\nplatform_serial = P" + n + "\nforce = 0 0 -" +
                std::to_string(300 + 10 * k) + "\n";
    }
    return text;
}

class PluginSoak : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ZorvaWin32_SetDriveDirectory('C', "/nonexistent-zorva-soak-test");
        zorvasim::Reset();
    }

    void TearDown() override { zorvatest::ShutdownPluginAndBench(); }

    /// Loads the plugin and waits for the first detection to find `units` plates.
    void Load(const std::string& bench, int units)
    {
        std::string error;
        ASSERT_TRUE(zorvasim::LoadScenarioText(bench, &error)) << error;
        ASSERT_TRUE(ZORVA::Initialise(&host));
        ZORVA::ProvideDeviceDefinitions(&host);
        ZORVA::BeginDeviceInstantiation(&host);
        ASSERT_EQ(host.Instantiated().size(), 1u);
        shared = host.Instantiated()[0].device;
        sharedServices = host.Instantiated()[0].services.get();
        host.AttachNewDevices();
        // A detection ends with its result and then its report of acquisition stopped.
        ASSERT_TRUE(WaitUntil([&] { return sharedServices->NotifyCount() == 2; }));
        ASSERT_EQ(Detections(), 1);
        ASSERT_EQ(host.Instantiated().size(), static_cast<std::size_t>(units) + 1);
        host.AttachNewDevices();
    }

    int Detections() const
    {
        int count = 0;
        for (const zorvahost::LogLine& line : host.Logs())
            count += line.text.compare(0, 9, "Detected ") == 0 && line.level == 1;
        return count;
    }

    void Change(const std::string& name, IParameterValue& value, std::uint64_t id)
    {
        sharedServices->ChangeParameter(name, value, id);
        shared->ParametersChanged();
    }

    void Rescan()
    {
        const int before = Detections();
        const int notified = sharedServices->NotifyCount();
        IParameterValueAction action;
        action.SetValue(1u);
        Change("ScanForHardware", action, ScanForHardwareId);
        ASSERT_TRUE(WaitUntil([&] { return sharedServices->NotifyCount() >= notified + 2; }));
        ASSERT_EQ(Detections(), before + 1);
        host.AttachNewDevices();
    }

    int SharedState()
    {
        int state = -1;
        bool rearm = false;
        shared->GetState(&state, &rearm);
        return state;
    }

    /// Plates first, then the shared device; waits until acquisition runs.
    void ArmAll(unsigned int firstStream)
    {
        const std::vector<zorvahost::InstantiatedDevice> devices = host.Instantiated();
        for (std::size_t i = 1; i < devices.size(); ++i)
            devices[i].device->Arm(firstStream + static_cast<unsigned int>(i), &setup);
        ASSERT_TRUE(shared->Arm(1, &setup));
        ASSERT_TRUE(WaitUntil([&] { return SharedState() == DeviceStateAcquiring; }));
    }

    void DisarmAll()
    {
        for (const zorvahost::InstantiatedDevice& device : host.Instantiated())
            device.device->Disarm();
    }

    /// Delivers `blocks` blocks, never more than the backlog holds at once.
    void Deliver(int blocks)
    {
        while (blocks > 0) {
            const int now = std::min(blocks, 32);
            ASSERT_EQ(zorvasim::DeliverBlocks(now), now);
            blocks -= now;
            ASSERT_TRUE(WaitUntil([] { return zorvasim::GetCounters().backlog == 0; }));
        }
    }

    zorvahost::RecordingHost host;
    zorvahost::CaptureSetup setup{host};
    IDevice* shared = nullptr;
    zorvahost::DeviceServices* sharedServices = nullptr;
};

/// Two host threads that keep changing settings that do not stop acquisition
/// (threshold, zero) and reading every device's state, until stopped.
class SettingsThreads
{
public:
    SettingsThreads(IDevice* shared, zorvahost::DeviceServices* services,
                    std::vector<zorvahost::InstantiatedDevice> devices)
    {
        threads_.emplace_back([=] {
            for (int i = 0; !stop_; ++i) {
                IParameterValueDouble threshold;
                threshold.SetValue(10.0 + i % 10);
                services->ChangeParameter("DataThreshold", threshold, DataThresholdId);
                shared->ParametersChanged();
                Pause();
            }
        });
        threads_.emplace_back([=] {
            for (int i = 0; !stop_; ++i) {
                if (i % 8 == 0) {
                    IParameterValueAction zero;
                    zero.SetValue(1u);
                    services->ChangeParameter("BroadcastZero", zero, BroadcastZeroId);
                    shared->ParametersChanged();
                }
                for (const zorvahost::InstantiatedDevice& device : devices) {
                    int state = -1;
                    bool rearm = false;
                    device.device->GetState(&state, &rearm);
                }
                devices[1 + static_cast<std::size_t>(i) % (devices.size() - 1)].device->ParametersChanged();
                Pause();
            }
        });
    }

    ~SettingsThreads()
    {
        stop_ = true;
        for (std::thread& thread : threads_)
            thread.join();
    }

private:
    static void Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

TEST_F(PluginSoak, Capture_SixteenUnitsRescansAndSettingsFromTwoThreads_FramesRunOnAndShutdownIsPrompt)
{
    zorvasim::SetMode(zorvasim::Mode::Stepped);
    ASSERT_TRUE(zorvasim::SetVirtualTime(true));
    host.ReadStateOnNotify(true);
    ASSERT_NO_FATAL_FAILURE(Load(Bench(Units, 1000, CounterStart), Units));
    IParameterValueEnum rate;
    rate.SetValue("2000");
    Change("SampleRate", rate, SampleRateId);
    const std::vector<zorvahost::InstantiatedDevice> devices = host.Instantiated();

    const int BlocksPerCapture = 300;
    {
        SettingsThreads settings(shared, sharedServices, devices);
        for (unsigned int round = 1; round <= 6; ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            // Rescans in rounds 2 to 5: unit 5 unplugged for round 3, back for round 4.
            if (round == 3) {
                ASSERT_TRUE(zorvasim::SetPlugged(5, false));
            }
            if (round == 4) {
                ASSERT_TRUE(zorvasim::SetPlugged(5, true));
            }
            if (round >= 2 && round <= 5) {
                ASSERT_NO_FATAL_FAILURE(Rescan());
            }
            ASSERT_EQ(host.Instantiated().size(), devices.size()) << "the same plates, none instantiated again";

            const unsigned int firstStream = round * 100;
            std::vector<std::size_t> expectedPushes;
            for (std::size_t i = 1; i < devices.size(); ++i) {
                const bool present = !(round == 3 && i == 6);
                expectedPushes.push_back(devices[i].services->PushCount() + (present ? BlocksPerCapture : 0));
            }
            ASSERT_NO_FATAL_FAILURE(ArmAll(firstStream));
            shared->StartCapture(host.GetTime());
            ASSERT_NO_FATAL_FAILURE(Deliver(BlocksPerCapture));
            // The last block is transferred before every plate has pushed it.
            ASSERT_TRUE(WaitUntil([&] {
                for (std::size_t i = 1; i < devices.size(); ++i) {
                    if (devices[i].services->PushCount() < expectedPushes[i - 1])
                        return false;
                }
                return true;
            }));
            DisarmAll();

            for (std::size_t i = 1; i < devices.size(); ++i) {
                const bool present = !(round == 3 && i == 6);
                std::vector<std::int64_t> frames;
                for (const zorvahost::PushedBlock& block : devices[i].services->PushedBlocks()) {
                    if (block.stream == firstStream + i)
                        frames.push_back(block.frame);
                }
                ASSERT_EQ(frames.size(), present ? static_cast<std::size_t>(BlocksPerCapture) : 0u)
                    << devices[i].deviceName;
                for (std::size_t b = 0; b < frames.size(); ++b)
                    ASSERT_EQ(frames[b], static_cast<std::int64_t>(16 * b)) << devices[i].deviceName;
            }
        }
    }
    for (const zorvahost::LogLine& line : host.Logs())
        EXPECT_TRUE(line.level < 2 || line.text.compare(0, 12, "Sample rate ") == 0) << line.text;

    const std::uint64_t virtualBefore = zorvasim::VirtualTimeMs();
    const auto started = std::chrono::steady_clock::now();
    ZORVA::Shutdown();
    RecordProperty("shutdown_ms", static_cast<int>(MillisecondsSince(started)));
    EXPECT_LT(MillisecondsSince(started), 1000);
    // 250 ms before the final stop, 250 ms before the shut-down, 500 ms after.
    EXPECT_EQ(zorvasim::VirtualTimeMs() - virtualBefore, 1000u);
    EXPECT_EQ(host.Results().Outstanding(), 0);
}

struct SlowHostCase
{
    const char* name;
    int units;
    int rate;
    std::chrono::microseconds pushTakes;
    zorvasim::MessagePolicy messages;
};

void PrintTo(const SlowHostCase& c, std::ostream* os) { *os << c.name; }

class SlowHost : public PluginSoak, public ::testing::WithParamInterface<SlowHostCase>
{};

// Regression: the worker drained blocks for as long as the library had any,
// so with a host slower than the data it never reached its quit message and
// Shutdown never returned. Then, with a library that posts a message per
// block: the worker looked only at the first waiting message, so a job or
// the quit waited behind every data-ready message, each costing a block's
// pushes (17 s for a shutdown behind 50 ms pushes).
TEST_P(SlowHost, Shutdown_LibraryFasterThanTheHost_JobsAndShutdownServedPromptly)
{
    const SlowHostCase& c = GetParam();
    zorvasim::SetMessagePolicy(c.messages);
    // Real time for the library's blocks and the host's pushes; virtual time
    // for the plugin's pauses, which are not what is measured here.
    ASSERT_TRUE(zorvasim::SetVirtualTime(true));
    ASSERT_NO_FATAL_FAILURE(Load(Bench(c.units, c.rate, 0), c.units));
    IParameterValueEnum rate;
    rate.SetValue(std::to_string(c.rate));
    Change("SampleRate", rate, SampleRateId);
    host.SetPushSamplesDelay(c.pushTakes);
    ASSERT_NO_FATAL_FAILURE(ArmAll(10));
    shared->StartCapture(host.GetTime());
    zorvahost::DeviceServices* first = host.Instantiated()[1].services.get();
    ASSERT_TRUE(WaitUntil([&] { return first->PushCount() >= 5; }));
    // Let the backlog (and the messages) build up behind the slow host.
    std::this_thread::sleep_for(
        std::chrono::milliseconds(c.messages == zorvasim::MessagePolicy::EveryBlock ? 1500 : 200));
    ASSERT_GT(zorvasim::GetCounters().backlog, 0u);

    // A settings change: its jobs reach the library within about a block's pushes.
    const auto changed = std::chrono::steady_clock::now();
    IParameterValueEnum mode;
    mode.SetValue("Genlock");
    Change("SyncMode", mode, SyncModeId);
    ASSERT_TRUE(WaitUntil([] {
        const std::vector<std::string> trace = zorvasim::GetTrace();
        return std::find(trace.begin(), trace.end(), "fmBroadcastGenlock(1)") != trace.end();
    }));
    RecordProperty("settings_change_ms", static_cast<int>(MillisecondsSince(changed)));
    EXPECT_LT(MillisecondsSince(changed), 500);

    const std::uint64_t virtualBefore = zorvasim::VirtualTimeMs();
    const auto started = std::chrono::steady_clock::now();
    std::future<void> shutdown = std::async(std::launch::async, [] { ZORVA::Shutdown(); });
    const bool inTime = shutdown.wait_for(std::chrono::seconds(1)) == std::future_status::ready;
    EXPECT_TRUE(inTime) << "Shutdown did not return within a second";
    if (!inTime)
        host.SetPushSamplesDelay(std::chrono::microseconds(0)); // so that the test can end
    shutdown.wait();
    RecordProperty("shutdown_ms", static_cast<int>(MillisecondsSince(started)));
    EXPECT_LT(MillisecondsSince(started), 1000);
    EXPECT_EQ(zorvasim::VirtualTimeMs() - virtualBefore, 1000u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SlowHost,
    ::testing::Values(SlowHostCase{"FiftyMillisecondsPerPush", 2, 1000, std::chrono::microseconds(50000),
                                   zorvasim::MessagePolicy::OneOutstanding},
                      SlowHostCase{"FiftyMillisecondsPerPushMessagePerBlock", 2, 1000, std::chrono::microseconds(50000),
                                   zorvasim::MessagePolicy::EveryBlock},
                      SlowHostCase{"SixteenUnitsAt2000", Units, 2000, std::chrono::microseconds(600),
                                   zorvasim::MessagePolicy::EveryBlock}),
    [](const ::testing::TestParamInfo<SlowHostCase>& info) { return info.param.name; });

} // namespace
