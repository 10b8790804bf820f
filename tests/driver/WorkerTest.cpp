// The worker against a misbehaving library and host: thread messages the
// plugin did not send, transfers that fail forever, and a library that
// delivers faster than the data callback takes the blocks.
#include "DriverTestSupport.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using namespace zorvatest;

namespace {

/// Real milliseconds since `start`.
long long MillisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

const char* const OneLoadedUnit = R"([scenario]
init_polls = 1
[unit A]
product_type = 100
amplifier_serial = AS-1
platform_model = Pendra
platform_serial = PS-1
force = 1 2 -100
)";

Lines LogTexts(const zorvahost::RecordingHost& host, ZORVA::LogLevel level)
{
    Lines texts;
    for (const zorvahost::LogLine& line : host.Logs()) {
        if (line.level == static_cast<int>(level))
            texts.push_back(line.text);
    }
    return texts;
}

class Worker : public DriverTest
{
protected:
    /// A detection, then acquisition started, with a data callback that counts blocks.
    void StartAcquiring()
    {
        service->SetDataReadyCallback([this](float*) { ++blocks; });
        ASSERT_NO_FATAL_FAILURE(DetectAndClear());
        service->StartAcquisition();
        ASSERT_TRUE(WaitUntil([&] { return Count("told acquiring") == 1; }));
    }

    /// A job queued now runs (its command reaches the library).
    bool JobRuns(int rate)
    {
        service->SetAcquisitionRate(static_cast<unsigned int>(rate));
        const std::string command = "fmBroadcastAcquisitionRate(" + std::to_string(rate) + ")";
        return WaitUntil([&] { return Count(command) == 1; });
    }

    std::atomic<int> blocks{0};
};

struct ForeignMessageCase
{
    const char* name;
    UINT message;
};

void PrintTo(const ForeignMessageCase& c, std::ostream* os) { *os << c.name; }

class ForeignMessage : public Worker, public ::testing::WithParamInterface<ForeignMessageCase>
{};

// Regression: WM_QUIT (posted by the library, say) or the id of the plugin's
// own quit ended the worker without a word: no data and no job after it,
// while Arm still returned true.
TEST_P(ForeignMessage, RunWorker_QuitNotSentByThePlugin_IgnoredAndLogged)
{
    UseScenario(OneLoadedUnit);
    CreateService();
    ASSERT_NO_FATAL_FAILURE(StartAcquiring());
    const DWORD worker = zorvasim::GetState().threadId;
    ASSERT_NE(worker, 0u);

    ASSERT_TRUE(PostThreadMessageW(worker, GetParam().message, 0, 0));
    EXPECT_TRUE(JobRuns(500));
    ASSERT_EQ(zorvasim::DeliverBlocks(2), 2);
    EXPECT_TRUE(WaitUntil([&] { return blocks.load() == 2; }));
    EXPECT_EQ(LogTexts(host, ZORVA::LogLevel::Warning),
              Lines{"Thread message " + std::to_string(GetParam().message) + " was not sent by the plugin; ignored"});
    DestroyService();
    EXPECT_EQ(Count("fmDLLShutDown()"), 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, ForeignMessage,
                         ::testing::Values(ForeignMessageCase{"WmQuit", WM_QUIT},
                                           ForeignMessageCase{"QuitWorkerId", Service::WM_QUIT_WORKER}),
                         [](const ::testing::TestParamInfo<ForeignMessageCase>& info) { return info.param.name; });

TEST_F(Worker, RunWorker_OtherForeignMessage_IgnoredSilently)
{
    UseScenario(OneLoadedUnit);
    CreateService();
    ASSERT_NO_FATAL_FAILURE(StartAcquiring());
    ASSERT_TRUE(PostThreadMessageW(zorvasim::GetState().threadId, WM_USER + 5, 0, 0));
    EXPECT_TRUE(JobRuns(500));
    EXPECT_EQ(LogTexts(host, ZORVA::LogLevel::Warning), Lines{});
}

struct TransferFaultCase
{
    const char* name;
    zorvasim::TransferFault fault;
    int result;
};

void PrintTo(const TransferFaultCase& c, std::ostream* os) { *os << c.name; }

class FailingTransfer : public Worker, public ::testing::WithParamInterface<TransferFaultCase>
{};

// Regression: the worker called fmDLLTransferFloatData for as long as it
// returned non-zero, so a library that answered 1 without a block, or -1,
// kept it spinning: no job ran and the destructor never returned.
TEST_P(FailingTransfer, DataReady_TransferFailsForever_WorkerStaysResponsive)
{
    const TransferFaultCase& c = GetParam();
    UseScenario(OneLoadedUnit);
    CreateService();
    ASSERT_NO_FATAL_FAILURE(StartAcquiring());
    zorvasim::SetTransferFault(c.fault);
    ASSERT_EQ(zorvasim::DeliverBlocks(1), 1);
    ASSERT_TRUE(WaitUntil([&] { return Count("fmDLLTransferFloatData() -> " + std::to_string(c.result)) >= 1; }));

    const bool responsive = JobRuns(500);
    EXPECT_TRUE(responsive);
    ASSERT_EQ(zorvasim::DeliverBlocks(2), 2);
    EXPECT_TRUE(WaitUntil([&] { return Count("fmDLLTransferFloatData() -> " + std::to_string(c.result)) >= 2; }));
    // One warning for the run of failures, however long (a null block also
    // with the text hosts know it by); no block passed on.
    Lines warnings{"::fmDLLTransferFloatData() -> " + std::to_string(c.result) + " without a block"};
    if (c.result > 0)
        warnings.push_back("Transfer data called with null pointer");
    EXPECT_EQ(LogTexts(host, ZORVA::LogLevel::Warning), warnings);
    EXPECT_EQ(blocks.load(), 0);

    // The library recovers: the blocks still waiting come through.
    zorvasim::SetTransferFault(zorvasim::TransferFault::None);
    ASSERT_EQ(zorvasim::DeliverBlocks(1), 1);
    EXPECT_TRUE(WaitUntil([&] { return blocks.load() == 4; }));
    DestroyService();
}

INSTANTIATE_TEST_SUITE_P(Cases, FailingTransfer,
                         ::testing::Values(TransferFaultCase{"NullBlock", zorvasim::TransferFault::NullBlock, 1},
                                           TransferFaultCase{"MinusOne", zorvasim::TransferFault::Error, -1}),
                         [](const ::testing::TestParamInfo<TransferFaultCase>& info) { return info.param.name; });

// Regression: the worker drained blocks for as long as any was waiting, so a
// library that delivers faster than the data callback returns kept it from
// its other messages: queued jobs waited and the destructor never returned.
TEST_F(Worker, Destroy_LibraryFasterThanTheCallback_ReturnsWithinItsPausesPlusASecond)
{
    UseScenario(OneLoadedUnit);
    zorvasim::SetMode(zorvasim::Mode::FreeRunning);
    CreateService();
    // A block every millisecond; the callback takes 3 ms.
    std::atomic<bool> slow{true};
    service->SetDataReadyCallback([&](float*) {
        ++blocks;
        if (slow)
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
    });
    ASSERT_NO_FATAL_FAILURE(DetectAndClear());
    service->SetAcquisitionRate(16000);
    service->StartAcquisition();
    ASSERT_TRUE(WaitUntil([&] { return blocks.load() >= 50; }));

    const auto queued = std::chrono::steady_clock::now();
    EXPECT_TRUE(JobRuns(15000));
    EXPECT_LT(MillisecondsSince(queued), 1000);

    const std::uint64_t virtualBefore = zorvasim::VirtualTimeMs();
    const auto started = std::chrono::steady_clock::now();
    std::future<void> destroyed = std::async(std::launch::async, [this] { service.reset(); });
    const bool inTime = destroyed.wait_for(std::chrono::seconds(1)) == std::future_status::ready;
    EXPECT_TRUE(inTime) << "the destructor did not return within a second";
    if (!inTime)
        slow = false; // let the old worker catch up, so the test can end
    destroyed.wait();
    EXPECT_LT(MillisecondsSince(started), 1000);
    // Its own pauses, in virtual time: 250 ms before the stop, 250 ms before
    // the shut-down, 500 ms after.
    EXPECT_EQ(zorvasim::VirtualTimeMs() - virtualBefore, 1000u);
}

} // namespace
