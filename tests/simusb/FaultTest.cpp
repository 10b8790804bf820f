// Fault injection: transfers that fail, blocks delivered twice or lost,
// counters that step back, and units whose identities are equal.
#include "SimTestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace zorvasim;
using simtest::OneUnit;
using simtest::SimTest;
using simtest::TransferAll;

const std::size_t OneUnitBlock = ZORVA_USB_SAMPLES_PER_BLOCK * ZORVA_USB_FLOATS_PER_RECORD;

class FaultTest : public SimTest
{
protected:
    void Start(const std::string& scenario)
    {
        Load(scenario);
        ASSERT_TRUE(simtest::StartAcquisition(GetCurrentThreadId()));
    }

    /// Results of `calls` transfer calls, and whether each stored a block.
    std::vector<std::pair<int, bool>> Transfers(int calls)
    {
        std::vector<std::pair<int, bool>> results;
        for (int i = 0; i < calls; ++i) {
            float* block = reinterpret_cast<float*>(this); // anything but null
            const int r = fmDLLTransferFloatData(&block);
            results.emplace_back(r, block != nullptr);
        }
        return results;
    }
};

struct TransferFaultCase
{
    const char* name;
    TransferFault fault;
    int calls;
    std::vector<std::pair<int, bool>> results; ///< of five calls with two blocks waiting
};

void PrintTo(const TransferFaultCase& c, std::ostream* os) { *os << c.name; }

class TransferFaults : public FaultTest, public ::testing::WithParamInterface<TransferFaultCase>
{};

const TransferFaultCase TransferFaultCases[] = {
    {"NullBlockTwice", TransferFault::NullBlock, 2, {{1, false}, {1, false}, {1, true}, {1, true}, {0, false}}},
    {"ErrorOnce", TransferFault::Error, 1, {{-1, false}, {1, true}, {1, true}, {0, false}, {0, false}}},
    {"ErrorForever", TransferFault::Error, -1, {{-1, false}, {-1, false}, {-1, false}, {-1, false}, {-1, false}}},
    {"NoneIsNoFault", TransferFault::None, 3, {{1, true}, {1, true}, {0, false}, {0, false}, {0, false}}},
    {"ZeroCallsIsNoFault", TransferFault::Error, 0, {{1, true}, {1, true}, {0, false}, {0, false}, {0, false}}},
};

TEST_P(TransferFaults, TransferFloatData_Fault_FailsTheNextCallsAndKeepsTheBlocks)
{
    const TransferFaultCase& c = GetParam();
    Start(OneUnit("", ""));
    ASSERT_EQ(DeliverBlocks(2), 2);
    SetTransferFault(c.fault, c.calls);
    EXPECT_EQ(Transfers(5), c.results);
}

INSTANTIATE_TEST_SUITE_P(Cases, TransferFaults, ::testing::ValuesIn(TransferFaultCases),
                         [](const ::testing::TestParamInfo<TransferFaultCase>& info) { return info.param.name; });

TEST_F(FaultTest, SetTransferFault_None_EndsAFaultForever)
{
    Start(OneUnit("", ""));
    ASSERT_EQ(DeliverBlocks(1), 1);
    SetTransferFault(TransferFault::NullBlock);
    EXPECT_EQ(Transfers(3), (std::vector<std::pair<int, bool>>(3, {1, false})));
    SetTransferFault(TransferFault::None);
    EXPECT_EQ(Transfers(2), (std::vector<std::pair<int, bool>>{{1, true}, {0, false}}));
    EXPECT_EQ(GetCounters().blocksTransferred, 1u);
}

TEST_F(FaultTest, TransferFloatData_Faulted_NextBlockPostsAgain)
{
    // The reader gave up on a failing transfer; a later block must wake it.
    Start(OneUnit("", ""));
    ASSERT_EQ(DeliverBlocks(1), 1);
    EXPECT_EQ(simtest::DrainMessages(), 1);
    SetTransferFault(TransferFault::Error, 1);
    EXPECT_EQ(Transfers(1), (std::vector<std::pair<int, bool>>{{-1, false}}));
    ASSERT_EQ(DeliverBlocks(1), 1);
    EXPECT_EQ(simtest::DrainMessages(), 1);
    EXPECT_EQ(TransferAll(OneUnitBlock).size(), 2u);
}

TEST_F(FaultTest, Reset_TransferFaultPending_Ends)
{
    SetTransferFault(TransferFault::Error);
    Reset();
    SetMode(Mode::Stepped);
    Start(OneUnit("", ""));
    ASSERT_EQ(DeliverBlocks(1), 1);
    EXPECT_EQ(TransferAll(OneUnitBlock).size(), 1u);
}

struct BlockFaultCase
{
    const char* name;
    const char* scenarioKeys;
    BlockFault fault;
    int blocks;
    std::vector<float> firstCounters; ///< of each block handed out
};

void PrintTo(const BlockFaultCase& c, std::ostream* os) { *os << c.name; }

class BlockFaults : public FaultTest, public ::testing::WithParamInterface<BlockFaultCase>
{};

const BlockFaultCase BlockFaultCases[] = {
    {"RepeatOnce", "", BlockFault::Repeat, 1, {0, 16, 32, 32, 48}},
    {"RepeatTwice", "", BlockFault::Repeat, 2, {0, 16, 32, 32, 32, 48}},
    // The copies push older blocks out of a full backlog like any new block.
    {"RepeatIntoFullBacklog", "backlog = 2", BlockFault::Repeat, 1, {32, 48}},
    {"RepeatWithRoomForOne", "backlog = 1", BlockFault::Repeat, 1, {48}},
    {"SkipTwo", "", BlockFault::Skip, 2, {0, 16, 64, 80}},
    {"StepBackOne", "", BlockFault::StepBack, 1, {0, 16, 16, 32}},
    {"StepBackBelowZero", "", BlockFault::StepBack, 3, {0, 16, 16777200, 0}},
    {"StepBackAcrossWrap", "counter_start = 16777184", BlockFault::StepBack, 1, {16777184, 16777200, 16777200, 0}},
};

TEST_P(BlockFaults, DeliverBlocks_Fault_AppliesFromTheNextBlock)
{
    const BlockFaultCase& c = GetParam();
    Start(OneUnit(c.scenarioKeys, ""));
    ASSERT_EQ(DeliverBlocks(2), 2);
    ASSERT_TRUE(InjectBlockFault(c.fault, c.blocks));
    ASSERT_EQ(DeliverBlocks(2), 2);

    std::vector<float> counters;
    for (const std::vector<float>& block : TransferAll(OneUnitBlock)) {
        counters.push_back(block[0]);
        // Within a block the counter still runs on by one per sample.
        EXPECT_EQ(block[15 * ZORVA_USB_FLOATS_PER_RECORD],
                  static_cast<float>((static_cast<std::uint32_t>(block[0]) + 15) % kCounterModulus));
    }
    EXPECT_EQ(counters, c.firstCounters);
    const Counters counts = GetCounters();
    EXPECT_EQ(counts.blocksProduced, counts.blocksTransferred + counts.blocksDropped + counts.backlog);
}

INSTANTIATE_TEST_SUITE_P(Cases, BlockFaults, ::testing::ValuesIn(BlockFaultCases),
                         [](const ::testing::TestParamInfo<BlockFaultCase>& info) { return info.param.name; });

TEST_F(FaultTest, InjectBlockFault_StepBack_LastsUntilTheCounterRestarts)
{
    Start(OneUnit("counter_start = 100", ""));
    ASSERT_EQ(DeliverBlocks(1), 1);
    ASSERT_TRUE(InjectBlockFault(BlockFault::StepBack, 2));
    ASSERT_EQ(DeliverBlocks(1), 1);
    fmBroadcastResetSoftware();
    ASSERT_EQ(DeliverBlocks(1), 1);
    const auto blocks = TransferAll(OneUnitBlock);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0][0], 100.0f);
}

TEST_F(FaultTest, DeliverBlocks_LostBlockEveryThird_SamplesPassAndLossesCounted)
{
    Start(OneUnit("lost_block_every = 3", ""));
    ASSERT_EQ(DeliverBlocks(5), 5);
    std::vector<float> counters;
    for (const std::vector<float>& block : TransferAll(OneUnitBlock))
        counters.push_back(block[0]);
    // Measured: 0, 16, (32 lost), 48, 64, (80 lost), 96.
    EXPECT_EQ(counters, (std::vector<float>{0, 16, 48, 64, 96}));
    const Counters counts = GetCounters();
    EXPECT_EQ(counts.blocksLost, 2u);
    EXPECT_EQ(counts.blocksDropped, 0u);
    EXPECT_EQ(counts.blocksProduced, 5u);
}

TEST_F(FaultTest, VirtualClock_LostBlock_ItsTimePassesWithoutABlock)
{
    SetMode(Mode::VirtualClock);
    Start(OneUnit("rate = 1000\nlost_block_every = 2", ""));
    const double started = static_cast<double>(VirtualTimeMs());
    Sleep(16 * 4);
    std::vector<double> ends;
    for (const MeasuredBlock& block : MeasuredBlocks())
        ends.push_back(block.endMs - started);
    EXPECT_EQ(ends, (std::vector<double>{16, 48})) << "the lost ones were due at 32 and 64 ms";
    const auto blocks = TransferAll(OneUnitBlock);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[1][0], 32.0f);
    EXPECT_EQ(GetCounters().blocksLost, 2u);
}

TEST_F(FaultTest, InjectBlockFault_NoBlocks_Refused)
{
    EXPECT_FALSE(InjectBlockFault(BlockFault::Repeat, 0));
    EXPECT_FALSE(InjectBlockFault(BlockFault::Skip, -1));
    Start(OneUnit("", ""));
    ASSERT_EQ(DeliverBlocks(3), 3);
    EXPECT_EQ(TransferAll(OneUnitBlock).size(), 3u);
}

TEST_F(FaultTest, Queries_UnitsWithEqualIdentities_EnumeratedAsTwoDevices)
{
    // Nothing tells the two apart but their device index.
    Load("[scenario]\ninit_polls = 1\n[unit A]\nproduct_type = 100\n[unit B]\nproduct_type = 100\n");
    ASSERT_TRUE(simtest::InitLibrary());
    ASSERT_EQ(fmDLLGetDeviceCount(), 2);
    std::vector<std::string> serials;
    for (int k = 0; k < 2; ++k) {
        fmDLLSelectDeviceIndex(k);
        char text[ZORVA_USB_TEXT_SIZE] = {'x'};
        fmGetAmplifierSerialNumber(text);
        serials.emplace_back(text);
    }
    EXPECT_EQ(serials, (std::vector<std::string>{"", ""}));
}

} // namespace
