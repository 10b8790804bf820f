// The data path: block layout, counters, loads, zero, the data-ready message,
// the backlog, the two modes, and a reader on another thread as the driver's
// worker is.
#include "SimTestSupport.h"
#include "simusb/Loads.h"
#include "simusb/SimControlC.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

using namespace zorvasim;
using simtest::OneUnit;
using simtest::SimTest;
using simtest::TransferAll;

constexpr std::size_t kSets = ZORVA_USB_SAMPLES_PER_BLOCK;
constexpr std::size_t kRecord = ZORVA_USB_FLOATS_PER_RECORD;

std::size_t BlockFloats(std::size_t units) { return kSets * units * kRecord; }

/// Record of sample s, device index k, in a block of n devices.
const float* Record(const std::vector<float>& block, std::size_t n, std::size_t s, std::size_t k)
{
    return block.data() + (s * n + k) * kRecord;
}

class DataTest : public SimTest
{
protected:
    void Start(const std::string& scenario)
    {
        Load(scenario);
        ASSERT_TRUE(simtest::StartAcquisition(GetCurrentThreadId()));
    }
};

// A reader on its own thread, as the driver's worker: a message loop that
// drains every block on each data-ready message.
class Reader
{
public:
    /// `onBlock` runs on the reader's thread for every block.
    explicit Reader(std::size_t floatsPerBlock, std::function<void()> onBlock = nullptr)
        : floats_(floatsPerBlock), onBlock_(std::move(onBlock)), thread_([this] { Run(); })
    {
        while (id_.load() == 0)
            std::this_thread::yield();
    }

    ~Reader()
    {
        PostThreadMessageW(id_.load(), WM_QUIT, 0, 0);
        thread_.join();
    }

    DWORD Id() const { return id_.load(); }
    int Messages() const { return messages_.load(); }
    std::size_t Blocks() const { return blocks_.load(); }
    bool Consecutive() const { return consecutive_.load(); }

    bool WaitForBlocks(std::size_t n, std::chrono::milliseconds limit) const
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (blocks_.load() < n && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return blocks_.load() >= n;
    }

private:
    void Run()
    {
        MSG msg{};
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // make the queue before telling the id
        id_.store(GetCurrentThreadId());
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (msg.message != ZORVA_USB_WM_DATA_READY)
                continue;
            ++messages_;
            float* block = nullptr;
            while (fmDLLTransferFloatData(&block)) {
                // Every float is read, so a block freed or written under the
                // reader shows under the sanitizers.
                float sum = 0;
                for (std::size_t i = 0; i < floats_; ++i)
                    sum += block[i];
                (void)sum;
                const long counter = static_cast<long>(block[0]);
                if (last_ >= 0 && counter != (last_ + 16) % 16777216)
                    consecutive_.store(false);
                last_ = counter;
                if (onBlock_)
                    onBlock_();
                ++blocks_;
            }
        }
    }

    std::size_t floats_;
    std::function<void()> onBlock_;
    std::atomic<DWORD> id_{0};
    std::atomic<int> messages_{0};
    std::atomic<std::size_t> blocks_{0};
    std::atomic<bool> consecutive_{true};
    long last_ = -1; // reader thread only
    std::thread thread_;
};

// ---------------------------------------------------------------- layout

TEST_F(DataTest, TransferFloatData_TwoUnits_HoldsInterleavedRecordsOfCounterLoadAndTrigger)
{
    Start("[scenario]\ninit_polls = 1\ncounter_start = 100\n"
          "[unit A]\nforce = 1 2 -300\nmoment = 4 5 6\noffset = 0.5 0 0 0 0 0.25\n"
          "trigger_from = 5\ntrigger_samples = 3\n"
          "[unit B]\nforce = -10 -20 -30\nmoment = -40 -50 -60\n"
          "trigger_idle = 5\ntrigger_active = 0\ntrigger_from = 20\n");
    ASSERT_EQ(DeliverBlocks(2), 2);
    const auto blocks = TransferAll(BlockFloats(2));
    ASSERT_EQ(blocks.size(), 2u);

    for (std::size_t b = 0; b < 2; ++b) {
        for (std::size_t s = 0; s < kSets; ++s) {
            SCOPED_TRACE("block " + std::to_string(b) + " sample " + std::to_string(s));
            const std::size_t t = b * kSets + s; // samples since the reset
            const float* a = Record(blocks[b], 2, s, 0);
            const float* u = Record(blocks[b], 2, s, 1);
            EXPECT_EQ(a[0], float(100 + t));
            EXPECT_EQ(u[0], float(100 + t));
            EXPECT_EQ(std::vector<float>(a + 1, a + 7), (std::vector<float>{1.5f, 2, -300, 4, 5, 6.25f}));
            EXPECT_EQ(std::vector<float>(u + 1, u + 7), (std::vector<float>{-10, -20, -30, -40, -50, -60}));
            EXPECT_EQ(a[7], t >= 5 && t < 8 ? 1.0f : 0.0f);
            EXPECT_EQ(u[7], t >= 20 ? 0.0f : 5.0f);
        }
    }
}

TEST_F(DataTest, TransferFloatData_CounterNearTwoToThe24_WrapsToZero)
{
    Start(OneUnit("counter_start = 16777200", ""));
    ASSERT_EQ(DeliverBlocks(3), 3);
    const auto blocks = TransferAll(BlockFloats(1));
    ASSERT_EQ(blocks.size(), 3u);
    std::vector<float> counters;
    for (const auto& block : blocks)
        for (std::size_t s = 0; s < kSets; ++s)
            counters.push_back(Record(block, 1, s, 0)[0]);
    std::vector<float> expected;
    for (std::uint32_t i = 0; i < 48; ++i)
        expected.push_back(float((16777200u + i) % 16777216u));
    EXPECT_EQ(counters, expected);
    EXPECT_EQ(counters[15], 16777215.0f);
    EXPECT_EQ(counters[16], 0.0f);
}

TEST_F(DataTest, ResetSoftware_AfterBlocks_RestartsCounterAndDropsWaitingBlocks)
{
    Start(OneUnit("counter_start = 7", ""));
    ASSERT_EQ(DeliverBlocks(3), 3);
    fmBroadcastResetSoftware();
    EXPECT_EQ(GetCounters().backlog, 0u);
    ASSERT_EQ(DeliverBlocks(1), 1);
    const auto blocks = TransferAll(BlockFloats(1));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0][0], 7.0f);
}

TEST_F(DataTest, TransferFloatData_StepsLoad_AlternatesOnAndOff)
{
    Start(OneUnit("", "load = steps\nforce = 0 0 -500\nstep_on = 20\nstep_off = 12\noffset = 0 0 2 0 0 0"));
    ASSERT_EQ(DeliverBlocks(4), 4);
    const auto blocks = TransferAll(BlockFloats(1));
    ASSERT_EQ(blocks.size(), 4u);
    for (std::size_t t = 0; t < 64; ++t) {
        const float fz = Record(blocks[t / kSets], 1, t % kSets, 0)[3];
        EXPECT_EQ(fz, t % 32 < 20 ? -498.0f : 2.0f) << "sample " << t;
    }
}

TEST_F(DataTest, BroadcastZero_UnderLoad_TaresTheCurrentReading)
{
    Start(OneUnit("", "force = 3 0 -700\nmoment = 1 2 0\noffset = 0 1 4 0 0 0"));
    fmBroadcastZero();
    ASSERT_EQ(DeliverBlocks(1), 1);
    auto blocks = TransferAll(BlockFloats(1));
    ASSERT_EQ(blocks.size(), 1u);
    for (std::size_t s = 0; s < kSets; ++s) {
        const float* r = Record(blocks[0], 1, s, 0);
        EXPECT_EQ(std::vector<float>(r + 1, r + 7), std::vector<float>(6, 0.0f)) << s;
        EXPECT_EQ(r[0], float(s)) << "the counter is not zeroed";
    }
    EXPECT_EQ(GetState().zeroCount, 1);

    // Someone steps off: the plate now reads minus the load it was zeroed with.
    LoadProfile empty;
    empty.offset = {0, 1, 4, 0, 0, 0};
    ASSERT_TRUE(SetLoad(0, empty));
    ASSERT_EQ(DeliverBlocks(1), 1);
    blocks = TransferAll(BlockFloats(1));
    const float* r = Record(blocks[0], 1, 0, 0);
    EXPECT_EQ(std::vector<float>(r + 1, r + 7), (std::vector<float>{-3, 0, 700, -1, -2, 0}));
}

TEST_F(DataTest, BroadcastZero_DuringStepsOffPhase_LeavesOnlyTheLoad)
{
    Start(OneUnit("", "load = steps\nforce = 0 0 -500\nstep_on = 16\nstep_off = 16\noffset = 0 0 9 0 0 0"));
    ASSERT_EQ(DeliverBlocks(1), 1); // samples 0..15 on; the next one is off
    fmBroadcastZero();
    ASSERT_EQ(DeliverBlocks(2), 2);
    const auto blocks = TransferAll(BlockFloats(1));
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(Record(blocks[1], 1, 0, 0)[3], 0.0f);
    EXPECT_EQ(Record(blocks[2], 1, 0, 0)[3], -500.0f);
}

TEST_F(DataTest, TransferFloatData_UnitUnplugged_BlockHoldsOnlyThePluggedUnits)
{
    ASSERT_TRUE(SetPlugged(0, false));
    ASSERT_TRUE(simtest::StartAcquisition(GetCurrentThreadId()));
    ASSERT_EQ(DeliverBlocks(1), 1);
    const auto blocks = TransferAll(BlockFloats(1));
    ASSERT_EQ(blocks.size(), 1u);
    // The steps unit of the default bench, loaded at sample 0.
    const UnitSpec right = DefaultScenario().units[1];
    EXPECT_EQ(blocks[0][3], right.load.offset[2] + right.load.load[2]);
}

// ---------------------------------------------------------------- data-ready message

TEST_F(DataTest, DeliverBlocks_ReaderIdle_PostsOneMessageUntilDrained)
{
    Start(OneUnit("", ""));
    ASSERT_EQ(DeliverBlocks(3), 3);
    EXPECT_EQ(simtest::DrainMessages(), 1) << "one message stands for all waiting blocks";
    ASSERT_EQ(DeliverBlocks(1), 1);
    EXPECT_EQ(simtest::DrainMessages(), 0) << "the first message is not answered yet";

    float* block = nullptr;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(fmDLLTransferFloatData(&block), 1);
    EXPECT_EQ(fmDLLTransferFloatData(&block), 0);
    EXPECT_EQ(block, nullptr);

    ASSERT_EQ(DeliverBlocks(1), 1);
    EXPECT_EQ(simtest::DrainMessages(), 1) << "drained: the next block posts again";
    EXPECT_EQ(GetCounters().messagesPosted, 2u);
}

TEST_F(DataTest, DeliverBlocks_ReaderThread_ReceivesEveryBlockInOrder)
{
    Reader reader(BlockFloats(2));
    ASSERT_TRUE(simtest::StartAcquisition(reader.Id()));
    for (std::size_t i = 1; i <= 20; ++i) {
        ASSERT_EQ(DeliverBlocks(5), 5);
        // Paced to the reader: faster, the backlog would drop blocks.
        ASSERT_TRUE(reader.WaitForBlocks(5 * i, std::chrono::seconds(10)));
    }
    EXPECT_TRUE(reader.Consecutive());
    EXPECT_GE(reader.Messages(), 1);
    const Counters c = GetCounters();
    EXPECT_EQ(c.blocksProduced, 100u);
    EXPECT_EQ(c.blocksTransferred, 100u);
    EXPECT_EQ(c.blocksDropped, 0u);
    EXPECT_EQ(c.postFailures, 0u);
    EXPECT_EQ(c.messagesPosted, static_cast<std::uint64_t>(reader.Messages()));
}

TEST_F(DataTest, DeliverBlocks_ThreadWithoutQueue_CountsFailureAndPostsAgainLater)
{
    Load(OneUnit("", ""));
    ASSERT_TRUE(simtest::StartAcquisition(999999)); // no such thread
    ASSERT_EQ(DeliverBlocks(2), 2);
    EXPECT_EQ(GetCounters().postFailures, 1u);
    ASSERT_EQ(DeliverBlocks(1), 1);
    EXPECT_EQ(GetCounters().postFailures, 2u) << "a refused message is not waited for";

    fmDLLPostUserThreadMessages(GetCurrentThreadId());
    ASSERT_EQ(DeliverBlocks(1), 1);
    EXPECT_EQ(simtest::DrainMessages(), 1);
    EXPECT_EQ(TransferAll(BlockFloats(1)).size(), 4u);
}

struct NoDataCase
{
    const char* label;
    std::function<void()> breakIt; // after a complete start
};

std::ostream& operator<<(std::ostream& os, const NoDataCase& c) { return os << c.label; }

class NoDataTest : public DataTest, public ::testing::WithParamInterface<NoDataCase>
{};

TEST_P(NoDataTest, DeliverBlocks_LibraryNotReadyToSend_ProducesNothingAndPostsNothing)
{
    Start(OneUnit("", ""));
    GetParam().breakIt();
    EXPECT_EQ(DeliverBlocks(3), 0);
    EXPECT_EQ(simtest::DrainMessages(), 0);
    EXPECT_EQ(GetCounters().blocksProduced, 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, NoDataTest,
                         ::testing::Values(NoDataCase{"Stopped", [] { fmBroadcastStop(); }},
                                           NoDataCase{"PostingOff", [] { fmDLLPostDataReadyMessages(0); }},
                                           NoDataCase{"NoThread", [] { fmDLLPostUserThreadMessages(0); }},
                                           NoDataCase{"ShutDown", [] { fmDLLShutDown(); }},
                                           NoDataCase{"InitAgain", [] { fmDLLInit(); }},
                                           NoDataCase{"NoUnitAfterInit", [] {
                                                          SetPlugged(0, false);
                                                          simtest::StartAcquisition(GetCurrentThreadId());
                                                      }}));

TEST_F(DataTest, BroadcastStart_BeforeInitComplete_SendsNothing)
{
    Load(OneUnit("init_polls = 2", ""));
    fmDLLInit();
    fmDLLPostDataReadyMessages(1);
    fmDLLPostUserThreadMessages(GetCurrentThreadId());
    EXPECT_EQ(fmBroadcastStart(), 0);
    EXPECT_EQ(DeliverBlocks(1), 0);
    fmDLLIsDeviceInitComplete();
    fmDLLIsDeviceInitComplete();
    EXPECT_EQ(fmBroadcastStart(), 1);
    EXPECT_EQ(DeliverBlocks(1), 1);
}

// ---------------------------------------------------------------- backlog

TEST_F(DataTest, DeliverBlocks_ReaderLags_KeepsTheNewestBacklogAndCountsDrops)
{
    Start(OneUnit("backlog = 4", ""));
    ASSERT_EQ(DeliverBlocks(10), 10);
    Counters c = GetCounters();
    EXPECT_EQ(c.backlog, 4u);
    EXPECT_EQ(c.blocksDropped, 6u);
    const auto blocks = TransferAll(BlockFloats(1));
    ASSERT_EQ(blocks.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(blocks[i][0], float((6 + i) * kSets)) << "blocks 6 to 9 remain";
    c = GetCounters();
    EXPECT_EQ(c.blocksProduced, c.blocksTransferred + c.blocksDropped + c.backlog);
}

// The block handed out must survive until the next transfer call, even when
// the backlog wraps over its slots or the library re-enumerates fewer units
// (smaller blocks) meanwhile; AddressSanitizer reports a freed block.
TEST_F(DataTest, TransferFloatData_BlockHandedOut_StaysValidUntilTheNextCall)
{
    Load("[scenario]\ninit_polls = 1\nbacklog = 2\n"
         "[unit A]\nforce = 0 0 -1\n[unit B]\nforce = 0 0 -2\n");
    ASSERT_TRUE(simtest::StartAcquisition(GetCurrentThreadId()));
    ASSERT_EQ(DeliverBlocks(1), 1);
    float* block = nullptr;
    ASSERT_EQ(fmDLLTransferFloatData(&block), 1);
    const std::vector<float> copy(block, block + BlockFloats(2));

    ASSERT_EQ(DeliverBlocks(5), 5);
    std::string error;
    ASSERT_TRUE(LoadScenarioText(OneUnit("", ""), &error)) << error;
    ASSERT_TRUE(simtest::InitLibrary());
    EXPECT_EQ(std::vector<float>(block, block + BlockFloats(2)), copy);
}

// ---------------------------------------------------------------- modes

TEST_F(DataTest, SteppedMode_NoDelivery_ProducesNothingOverTime)
{
    Start(OneUnit("rate = 20000", ""));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(GetCounters().blocksProduced, 0u);
    EXPECT_EQ(simtest::DrainMessages(), 0);
}

TEST_F(DataTest, FreeRunningMode_ReaderThread_GetsBlocksAtTheBroadcastRate)
{
    SetMode(Mode::FreeRunning);
    EXPECT_EQ(DeliverBlocks(1), 0) << "free-running makes its own blocks";
    // A deep backlog lets the generator make up for long stalls of a busy machine.
    Load(OneUnit("rate = 1000\nbacklog = 1024", ""));
    Reader reader(BlockFloats(1));
    ASSERT_TRUE(simtest::StartAcquisition(reader.Id()));
    fmBroadcastAcquisitionRate(4000); // 4 ms per block
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(reader.WaitForBlocks(20, std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    fmBroadcastStop();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    // The generator makes up for late wake-ups, so the count follows the clock
    // closely even on a busy machine; the bound is loose on purpose.
    const Counters c = GetCounters();
    const double expected = seconds * 4000 / 16;
    EXPECT_GT(double(c.blocksProduced), expected * 0.7 - 2) << seconds << " s";
    EXPECT_LT(double(c.blocksProduced), expected * 1.1 + 2) << seconds << " s";

    // Stopped: no more blocks.
    const std::uint64_t produced = c.blocksProduced;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(GetCounters().blocksProduced, produced);
    EXPECT_TRUE(reader.WaitForBlocks(static_cast<std::size_t>(produced - GetCounters().blocksDropped),
                                     std::chrono::seconds(10)));
    EXPECT_EQ(GetCounters().postFailures, 0u);
}

TEST_F(DataTest, FreeRunningMode_RateChange_ChangesTheBlockPeriod)
{
    SetMode(Mode::FreeRunning);
    Load(OneUnit("rate = 10", "")); // 1.6 s per block
    Reader reader(BlockFloats(1));
    ASSERT_TRUE(simtest::StartAcquisition(reader.Id()));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(GetCounters().blocksProduced, 0u);
    fmBroadcastAcquisitionRate(16000); // 1 ms per block, from the block in progress on
    EXPECT_TRUE(reader.WaitForBlocks(10, std::chrono::milliseconds(1300)));
}

TEST_F(DataTest, FreeRunningMode_ConcurrentZeroRateAndReader_KeepsCountsConsistent)
{
    SetMode(Mode::FreeRunning);
    Load(OneUnit("rate = 20000\nbacklog = 8", "force = 0 0 -100"));
    Reader reader(BlockFloats(1));
    ASSERT_TRUE(simtest::StartAcquisition(reader.Id()));
    // The driver zeroes from a host thread while its worker reads.
    std::thread host([] {
        for (int i = 0; i < 50; ++i) {
            fmBroadcastZero();
            fmBroadcastAcquisitionRate(i % 2 ? 16000 : 20000);
            Note("host " + std::to_string(i));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    host.join();
    ASSERT_TRUE(reader.WaitForBlocks(10, std::chrono::seconds(10)));
    fmBroadcastStop();
    SetMode(Mode::Stepped); // joins the generator
    const Counters c = GetCounters();
    EXPECT_GT(c.blocksProduced, 0u);
    EXPECT_EQ(c.blocksProduced, c.blocksTransferred + c.blocksDropped + c.backlog);
}

// A clock 10 % fast: a block every 16 / 1.1 ms at 1000 per second. The
// period is taken from the first and the last block's arrival, which a late
// wake-up of either thread moves by a few milliseconds at most.
TEST_F(DataTest, FreeRunningMode_ClockFast_BlocksComeSooner)
{
    SetMode(Mode::FreeRunning);
    Load(OneUnit("rate = 1000\nclock_ppm = 100000\nbacklog = 1024", ""));
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    std::mutex mutex;
    Reader reader(BlockFloats(1), [&] {
        std::lock_guard<std::mutex> lock(mutex);
        arrivals.push_back(std::chrono::steady_clock::now());
    });
    ASSERT_TRUE(simtest::StartAcquisition(reader.Id()));
    ASSERT_TRUE(reader.WaitForBlocks(50, std::chrono::seconds(20)));
    fmBroadcastStop();
    std::lock_guard<std::mutex> lock(mutex);
    const double periodMs =
        std::chrono::duration<double, std::milli>(arrivals.back() - arrivals.front()).count() / (arrivals.size() - 1);
    EXPECT_NEAR(periodMs, 16.0 / 1.1, 0.5) << arrivals.size() << " blocks";
    EXPECT_TRUE(reader.Consecutive());
}

TEST_F(DataTest, VirtualClockMode_ClockSlow_BlocksMeasuredLater)
{
    SetMode(Mode::VirtualClock);
    ASSERT_NO_FATAL_FAILURE(Start(OneUnit("rate = 1000\nclock_ppm = -50000", ""))); // 5 % slow
    const double started = static_cast<double>(VirtualTimeMs());
    Sleep(48); // three blocks at 16 ms, two at 16.84 ms
    std::vector<double> ends;
    for (const MeasuredBlock& block : MeasuredBlocks())
        ends.push_back(block.endMs - started);
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_NEAR(ends[0], 16.0 / 0.95, 1e-9);
    EXPECT_NEAR(ends[1], 32.0 / 0.95, 1e-9);
    EXPECT_EQ(MeasuredBlocks()[1].rate, 1000) << "the rate it was told";
    EXPECT_EQ(MeasuredBlocks()[1].counter, 16u) << "the counter keeps to the sample clock";
}

TEST_F(DataTest, SetMode_SteppedAfterFreeRunning_StopsTheGenerator)
{
    SetMode(Mode::FreeRunning);
    ASSERT_TRUE(simtest::StartAcquisition(GetCurrentThreadId()));
    fmBroadcastAcquisitionRate(16000);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (GetCounters().blocksProduced == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    SetMode(Mode::Stepped);
    const std::uint64_t produced = GetCounters().blocksProduced;
    EXPECT_GT(produced, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(GetCounters().blocksProduced, produced);
    EXPECT_EQ(DeliverBlocks(1), 1) << "still acquiring, now on demand";
}

// Virtual-clock mode: the hardware measures while virtual time passes,
// whichever thread pauses, and says when it measured each block.
TEST_F(DataTest, VirtualClockMode_TimePasses_BlocksMeasuredAtTheirTimes)
{
    SetMode(Mode::VirtualClock);
    ASSERT_NO_FATAL_FAILURE(Start(OneUnit("rate = 1000", "force = 0 0 -700")));
    const double started = static_cast<double>(VirtualTimeMs());
    Sleep(40); // two blocks; the third is due at 48 ms
    EXPECT_EQ(simtest::DrainMessages(), 1);
    std::thread other([] { Sleep(10); }); // another thread's pause lets it measure too
    other.join();
    const auto blocks = TransferAll(BlockFloats(1));
    ASSERT_EQ(blocks.size(), 3u);
    std::vector<MeasuredBlock> measured = MeasuredBlocks();
    ASSERT_EQ(measured.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(measured[k].endMs, started + 16.0 * static_cast<double>(k + 1));
        EXPECT_EQ(measured[k].sampleClock, 16u * k);
        EXPECT_EQ(measured[k].counter, 16u * k);
        EXPECT_EQ(Record(blocks[k], 1, 0, 0)[0], static_cast<float>(16 * k));
        EXPECT_EQ(measured[k].rate, 1000);
    }

    // Stopped, nothing is measured; started again, the counter goes on.
    fmBroadcastStop();
    Sleep(100);
    EXPECT_TRUE(TransferAll(BlockFloats(1)).empty());
    fmBroadcastStart();
    const double restarted = static_cast<double>(VirtualTimeMs());
    fmBroadcastAcquisitionRate(500);
    Sleep(32);
    measured = MeasuredBlocks();
    ASSERT_EQ(measured.size(), 4u);
    EXPECT_EQ(measured.back().endMs, restarted + 32.0);
    EXPECT_EQ(measured.back().sampleClock, 48u);
    EXPECT_EQ(measured.back().rate, 500);
    EXPECT_EQ(DeliverBlocks(1), 0) << "blocks come from the clock only";
}

TEST_F(DataTest, VirtualClockMode_LongPauseUnread_NewestBlocksKeptOthersCounted)
{
    SetMode(Mode::VirtualClock);
    ASSERT_NO_FATAL_FAILURE(Start(OneUnit("rate = 1000\nbacklog = 4", "force = 0 0 -700")));
    Sleep(16 * 10);
    const auto blocks = TransferAll(BlockFloats(1));
    ASSERT_EQ(blocks.size(), 4u);
    // The samples of the six lost blocks passed on the counter.
    EXPECT_EQ(Record(blocks.front(), 1, 0, 0)[0], 96.0f);
    EXPECT_EQ(Record(blocks.back(), 1, 0, 0)[0], 144.0f);
    EXPECT_EQ(GetCounters().blocksDropped, 6u);
}

TEST_F(DataTest, MessagePolicy_EveryBlock_OneMessagePerBlock)
{
    ASSERT_NO_FATAL_FAILURE(Start(OneUnit("", "force = 0 0 -700")));
    EXPECT_EQ(DeliverBlocks(3), 3);
    EXPECT_EQ(simtest::DrainMessages(), 1) << "one outstanding at a time";
    TransferAll(BlockFloats(1));

    SetMessagePolicy(MessagePolicy::EveryBlock);
    EXPECT_EQ(DeliverBlocks(3), 3);
    EXPECT_EQ(simtest::DrainMessages(), 3) << "one a block, read or not";
    SetMode(Mode::VirtualClock);
    Sleep(16 * 5);
    EXPECT_EQ(simtest::DrainMessages(), 5);
    EXPECT_EQ(GetCounters().messagesPosted, 1u + 3u + 5u);
}

TEST_F(DataTest, ClockEcho_On_FyCarriesEachSamplesClock)
{
    ASSERT_NO_FATAL_FAILURE(Start(OneUnit("counter_start = 100", "force = 1 2 -700")));
    DeliverBlocks(1);
    SetClockEcho(true);
    DeliverBlocks(1);
    const auto blocks = TransferAll(BlockFloats(1));
    ASSERT_EQ(blocks.size(), 2u);
    for (std::size_t s = 0; s < 16; ++s) {
        EXPECT_EQ(Record(blocks[0], 1, s, 0)[2], 2.0f);
        EXPECT_EQ(Record(blocks[1], 1, s, 0)[2], static_cast<float>(16 + s)) << "the clock, not the counter";
        EXPECT_EQ(Record(blocks[1], 1, s, 0)[3], -700.0f);
    }
}

// What a user does on the bench, through the C controls a host finds at run time.
TEST_F(DataTest, PlaceWeightAndPulseTrigger_UserOnTheBench_NextBlocksShowThem)
{
    ASSERT_NO_FATAL_FAILURE(
        Start(OneUnit("", "length = 23.622\nwidth = 15.748\noffset = 0 0 2 0 0 0\ntrigger_idle = 0\n"
                          "trigger_active = 1")));
    DeliverBlocks(1);
    ASSERT_EQ(ZorvaSim_PlaceWeight(0, 20.0, 0.0, 0.0), 1);
    ASSERT_EQ(ZorvaSim_PulseTrigger(3), 1);
    DeliverBlocks(1);
    EXPECT_EQ(ZorvaSim_PlaceWeight(0, 20.0, 0.5, 0.0), 0) << "off the plate";
    EXPECT_EQ(ZorvaSim_PlaceWeight(1, 20.0, 0.0, 0.0), 0) << "no such unit";
    ASSERT_EQ(ZorvaSim_PlaceWeight(0, 0.0, 0.0, 0.0), 1);
    DeliverBlocks(1);
    const auto blocks = TransferAll(BlockFloats(1));
    ASSERT_EQ(blocks.size(), 3u);
    const float weighed = static_cast<float>(2.0 - 20.0 * kGravity); // the amplifier's Fz points down
    for (std::size_t s = 0; s < 16; ++s) {
        EXPECT_EQ(Record(blocks[0], 1, s, 0)[3], 2.0f);
        EXPECT_NEAR(Record(blocks[1], 1, s, 0)[3], weighed, 1e-3);
        EXPECT_EQ(Record(blocks[1], 1, s, 0)[7], s < 3 ? 1.0f : 0.0f) << s;
        EXPECT_EQ(Record(blocks[2], 1, s, 0)[3], 2.0f) << "taken off, the offset stays";
        EXPECT_EQ(Record(blocks[2], 1, s, 0)[7], 0.0f);
    }
}

} // namespace
