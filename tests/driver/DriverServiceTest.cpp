// The driver service's commands, queue, callbacks, data path and destruction,
// on the simulated library in virtual time.
#include "DriverTestSupport.h"
#include "driver/LibraryText.h"

#include <atomic>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>
#include <algorithm>
#include <chrono>

using namespace zorvatest;

namespace {

const char* const OneSetUpUnit = R"([scenario]
init_polls = 1
setup_code = 1
[unit A]
product_type = 100
amplifier_model = AMP-1
amplifier_serial = AS-1
firmware_version = FW-1
platform_model = Pendra
platform_serial = PS-1
origin = 0.5 -0.25 1.5
length = 23.6
width = 15.7
load = static
force = 1 2 -100
)";

const Lines LibraryShutdown = {"Sleep(250)",      "fmBroadcastStop()",  "Sleep(250)",
                               "fmDLLShutDown()", "L0 ::fmDLLShutDown", "Sleep(500)"};

} // namespace

TEST_F(DriverTest, Destroy_LibraryNeverStarted_NoCallNoLog)
{
    UseScenario(OneSetUpUnit);
    CreateService();
    DestroyService();
    EXPECT_EQ(Timeline(), Lines{});
    EXPECT_TRUE(host.Logs().empty());
}

TEST_F(DriverTest, Commands_LibraryNotStarted_RunInOrderWithPausesStartSendsNothing)
{
    UseScenario(OneSetUpUnit);
    CreateService();
    service->SetAcquisitionStateCallback([](bool on) { zorvasim::Note(on ? "told acquiring" : "told stopped"); });
    service->SetAcquisitionRate(500);
    service->SetGenlockMode(true);
    service->SetGenlockMode(false);
    service->StartAcquisition();
    service->BlinkDevice(1);
    service->StopAcquisition();
    DestroyService();
    EXPECT_EQ(Timeline(),
              (Lines{"Sleep(250)", "fmBroadcastAcquisitionRate(500)", "L0 ::fmBroadcastAcquisitionRate(500)",
                     "Sleep(250)", "fmBroadcastGenlock(1)", "L0 ::fmBroadcastGenlockMode(1)", "Sleep(250)",
                     "fmBroadcastGenlock(0)", "L0 ::fmBroadcastGenlockMode(0)", "Sleep(250)",
                     "fmDLLSelectDeviceIndex(1)", "L0 ::fmDLLSelectDeviceIndex(1)", "fmSetBlink()", "L0 ::fmSetBlink()",
                     "told stopped", "Sleep(250)", "fmBroadcastStop()", "L0 ::fmBroadcastStop()", "told stopped"}));
}

TEST_F(DriverTest, StartAndStop_AfterDetection_TellStateThenShutDownAtDestruction)
{
    UseScenario(OneSetUpUnit);
    CreateService();
    DetectAndClear();
    service->StartAcquisition();
    service->StopAcquisition();
    DestroyService();
    EXPECT_EQ(Timeline(),
              Concat({{"Sleep(250)", "fmDLLTransferFloatData() -> 0", "fmBroadcastStart()", "L0 ::fmBroadcastStart()",
                       "told acquiring", "Sleep(250)", "fmBroadcastStop()", "L0 ::fmBroadcastStop()", "told stopped"},
                      LibraryShutdown}));
}

TEST_F(DriverTest, Destroy_JobsQueued_RunsThemBeforeShutDown)
{
    UseScenario(OneSetUpUnit);
    CreateService();
    DetectAndClear();
    service->SetAcquisitionRate(250);
    service->SetGenlockMode(true);
    DestroyService();
    EXPECT_EQ(Timeline(),
              Concat({{"Sleep(250)", "fmBroadcastAcquisitionRate(250)", "L0 ::fmBroadcastAcquisitionRate(250)",
                       "Sleep(250)", "fmBroadcastGenlock(1)", "L0 ::fmBroadcastGenlockMode(1)"},
                      LibraryShutdown}));
}

TEST_F(DriverTest, ZeroPlatforms_OnlyWhileAcquiring_OnCallersThread)
{
    UseScenario(OneSetUpUnit);
    CreateService();
    DetectAndClear();
    service->ZeroPlatforms();
    EXPECT_EQ(Timeline(), Lines{}) << "not acquiring after a detection";

    service->StartAcquisition();
    ASSERT_TRUE(WaitUntil([&] { return Count("told acquiring") == 1; }));
    zorvasim::ClearTrace();
    service->ZeroPlatforms(); // returns only when done
    EXPECT_EQ(Timeline(), (Lines{"Sleep(250)", "fmBroadcastZero()", "L0 ::fmBroadcastZero()"}));

    // A blink leaves acquisition stopped, as far as the service knows.
    service->BlinkDevice(0);
    ASSERT_TRUE(WaitUntil([&] { return Count("told stopped") == 1; }));
    zorvasim::ClearTrace();
    service->ZeroPlatforms();
    EXPECT_EQ(Timeline(), Lines{});
}

TEST_F(DriverTest, StopAcquisition_TwiceBeforeJobRuns_QueuesOneStop)
{
    UseScenario(OneSetUpUnit);
    CreateService();
    HoldWorkerInDetection();
    service->StopAcquisition();
    service->StopAcquisition();
    ReleaseWorker();
    ASSERT_TRUE(WaitUntil([&] { return Count("L0 ::fmBroadcastStop()") == 1; }));
    // Once that stop has run, the next one is queued again.
    service->StopAcquisition();
    DestroyService();
    EXPECT_EQ(Count("L0 ::fmBroadcastStop()"), 2);
}

TEST_F(DriverTest, StopAcquisition_RescanClearsPendingStop_NextStopIsQueued)
{
    UseScenario(OneSetUpUnit);
    CreateService();
    DetectAndClear();
    HoldWorkerInDetection();
    service->StopAcquisition(); // queued behind the held worker
    ReleaseWorker();
    DestroyService();
    EXPECT_EQ(Count("L0 ::fmBroadcastStop()"), 2) << "the rescan's stop and the queued one";
}

// Regression: a stop asked for while an Arm's stop and start were still
// queued was folded into the stop before the start, so acquisition ran on
// after a settings change had asked for it to stop.
TEST_F(DriverTest, StopAcquisition_AfterAQueuedStart_RunsAfterTheStart)
{
    UseScenario(OneSetUpUnit);
    CreateService();
    DetectAndClear();
    HoldWorkerInDetection();
    service->StopAcquisition();
    service->StartAcquisition();
    service->StopAcquisition();
    service->StopAcquisition(); // folded into the one after the start
    ReleaseWorker();
    DestroyService();
    Lines commands;
    for (const std::string& line : Timeline()) {
        if (line == "fmBroadcastStop()" || line == "fmBroadcastStart()")
            commands.push_back(line);
    }
    // The rescan's held detection stops first; the last stop is the shut-down's.
    EXPECT_EQ(commands, (Lines{"fmBroadcastStop()", "fmBroadcastStop()", "fmBroadcastStart()", "fmBroadcastStop()",
                               "fmBroadcastStop()"}));
}

TEST_F(DriverTest, StartAcquisition_EachStart_NumberedAndToldInItsCallback)
{
    UseScenario(OneSetUpUnit);
    CreateService();
    DetectAndClear();
    std::mutex mutex;
    std::vector<std::uint64_t> reported;
    // The starts may run while the service is being destroyed: its own pointer.
    ZORVA::VZORVADriverService* const told = service.get();
    service->SetAcquisitionStateCallback([&, told](bool on) {
        if (!on)
            return;
        std::lock_guard<std::mutex> lock(mutex);
        reported.push_back(told->StartReported());
    });
    const std::uint64_t first = service->StartAcquisition();
    const std::uint64_t second = service->StartAcquisition();
    DestroyService();
    EXPECT_LT(first, second);
    EXPECT_EQ(reported, (std::vector<std::uint64_t>{first, second}));
}

// Regression: a zero asked for while an Arm's start was still queued found
// acquisition stopped and was dropped without a word.
TEST_F(DriverTest, ZeroPlatforms_StartQueued_ZeroesAfterTheStart)
{
    UseScenario(OneSetUpUnit);
    CreateService();
    DetectAndClear();
    HoldWorkerInDetection();
    service->StartAcquisition();
    std::thread zero([this] { service->ZeroPlatforms(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ReleaseWorker();
    zero.join();
    DestroyService();
    const Lines timeline = Timeline();
    const auto start = std::find(timeline.begin(), timeline.end(), "fmBroadcastStart()");
    ASSERT_NE(start, timeline.end());
    EXPECT_NE(std::find(start, timeline.end(), "fmBroadcastZero()"), timeline.end());
}

TEST_F(DriverTest, SetAcquisitionStateCallback_Second_ReplacesFirst)
{
    UseScenario(OneSetUpUnit);
    CreateService();
    std::atomic<int> first{0}, second{0};
    service->SetAcquisitionStateCallback([&](bool) { ++first; });
    service->SetAcquisitionStateCallback([&](bool) { ++second; });
    service->StopAcquisition();
    DestroyService();
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
}

TEST_F(DriverTest, DataReady_Blocks_EachPassedOnceInOrder)
{
    UseScenario(OneSetUpUnit);
    CreateService();
    std::mutex mutex;
    std::vector<float> firstCounters;
    std::vector<float> fz;
    service->SetDataReadyCallback([&](float* block) {
        std::lock_guard<std::mutex> lock(mutex);
        firstCounters.push_back(block[0]);
        fz.push_back(block[3]);
    });
    std::atomic<int> ignored{0};
    service->SetDataReadyCallback([&](float*) { ++ignored; }); // only the first registration counts
    DetectAndClear();
    service->StartAcquisition();
    ASSERT_TRUE(WaitUntil([&] { return Count("told acquiring") == 1; }));

    ASSERT_EQ(zorvasim::DeliverBlocks(5), 5);
    ASSERT_TRUE(WaitUntil([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return firstCounters.size() == 5;
    }));
    DestroyService();
    EXPECT_EQ(firstCounters, (std::vector<float>{0, 16, 32, 48, 64}));
    EXPECT_EQ(fz, std::vector<float>(5, -100.0f)) << "the block reaches the callback as the library made it";
    EXPECT_EQ(ignored, 0);
    EXPECT_EQ(zorvasim::GetCounters().blocksTransferred, 5u);
    EXPECT_EQ(zorvasim::GetCounters().backlog, 0u);
}

TEST_F(DriverTest, DataReady_NoCallbackRegistered_StillDrainsTheLibrary)
{
    UseScenario(OneSetUpUnit);
    CreateService();
    DetectAndClear();
    service->StartAcquisition();
    ASSERT_TRUE(WaitUntil([&] { return Count("told acquiring") == 1; }));
    ASSERT_EQ(zorvasim::DeliverBlocks(3), 3);
    EXPECT_TRUE(WaitUntil([] { return zorvasim::GetCounters().blocksTransferred == 3; }));
    EXPECT_TRUE(WaitUntil([] { return zorvasim::GetCounters().backlog == 0; }));
}

// Every callback calls back into the service; with a service lock held
// during a callback this would deadlock (the test then fails on its wait).
TEST_F(DriverTest, Callbacks_CallingBackIntoService_DoNotDeadlock)
{
    UseScenario(OneSetUpUnit);
    CreateService();
    Service* s = service.get();
    std::atomic<int> zeroes{0};
    std::atomic<int> blocks{0};
    std::function<void(bool)> onState = [&, s](bool acquiring) {
        s->ZeroPlatforms();
        s->SetAcquisitionStateCallback(onState);
        s->SetDataReadyCallback([](float*) {});
        if (acquiring)
            ++zeroes;
    };
    s->SetAcquisitionStateCallback(onState);
    s->SetDataReadyCallback([&, s](float*) {
        s->ZeroPlatforms();
        s->SetAcquisitionStateCallback(onState);
        ++blocks;
    });
    s->DetectHardware([s](Service::VDllInitInfo, std::vector<Service::VDeviceInfo>) {
        s->SetDataReadyCallback([](float*) {});
        s->StartAcquisition();
    });
    ASSERT_TRUE(WaitUntil([&] { return zeroes.load() == 1; }));
    ASSERT_EQ(zorvasim::DeliverBlocks(2), 2);
    ASSERT_TRUE(WaitUntil([&] { return blocks.load() == 2; }));
    DestroyService();
    EXPECT_EQ(Count("fmBroadcastZero()"), 3) << "once when told acquiring, once per block";
}

TEST_F(DriverTest, Construct_JobPostedAtOnce_IsNeverLost)
{
    UseScenario(OneSetUpUnit);
    // A worker whose message queue did not yet exist would lose the first post.
    for (int i = 0; i < 50; ++i) {
        zorvasim::ClearTrace();
        CreateService();
        service->SetAcquisitionRate(100);
        DestroyService();
        ASSERT_EQ(Count("fmBroadcastAcquisitionRate(100)"), 1) << "round " << i;
    }
}

TEST(LibraryText, LibraryText_NoTerminator_StopsAtBufferEnd)
{
    struct
    {
        char text[8];
        char after[8];
    } memory;
    std::memset(memory.text, 'x', sizeof memory.text);
    std::memset(memory.after, 'y', sizeof memory.after);
    EXPECT_EQ(ZORVA::LibraryText(memory.text, sizeof memory.text), std::string(8, 'x'));

    const char terminated[8] = {'a', 'b', '\0', 'z', 'z', 'z', 'z', 'z'};
    EXPECT_EQ(ZORVA::LibraryText(terminated, sizeof terminated), "ab");
    const char empty[4] = {};
    EXPECT_EQ(ZORVA::LibraryText(empty, sizeof empty), "");
}
