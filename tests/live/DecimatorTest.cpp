// The live view's reduction of the pushed samples to columns for the screen,
// and the frames built from them.
#include "devhost/live/ClientQueue.h"
#include "devhost/live/Decimator.h"
#include "devhost/live/Frames.h"
#include "devhost/live/Hub.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace zorvahost::live;

namespace {

constexpr int kValues = 9; // Fx Fy Fz Mx My Mz Cx Cy Cz

/// Pushes `samples` samples at `rate`, 16 a block, the first at host time
/// `start`; `value(sample, channel)` gives each value.
template <typename Value>
void Push(Decimator& decimator, const std::string& plate, double start, int samples, unsigned int rate, Value value)
{
    std::vector<float> block(16 * kValues);
    for (int first = 0; first < samples; first += 16) {
        for (int s = 0; s < 16; ++s)
            for (int c = 0; c < kValues; ++c)
                block[s * kValues + c] = value(first + s, c);
        hostkit::SampleBlock pushed;
        pushed.hostTime = start + (rate > 0 ? (first + 15) / static_cast<double>(rate) : 0.0);
        pushed.samplesPerBlock = 16;
        pushed.values = block.data();
        pushed.valueCount = static_cast<int>(block.size());
        decimator.OnBlock(plate, pushed, rate);
    }
}

std::vector<Column> AllColumns(Decimator& decimator, const std::string& plate)
{
    std::vector<PlateChanges> changes;
    decimator.TakeChanges(changes);
    for (const PlateChanges& each : changes) {
        if (each.plate == plate)
            return each.columns;
    }
    return {};
}

} // namespace

TEST(Decimator, OnBlock_SpikeOfOneSample_KeptAsTheColumnsExtreme)
{
    // 2000 per second: 40 samples a column; one of a second's 2000 samples spikes up, one down.
    Decimator decimator;
    const std::string plate = "P1";
    Push(decimator, plate, 10.0, 2000, 2000, [](int sample, int channel) {
        if (channel != 2)
            return 0.0f;
        return sample == 777 ? 5000.0f : sample == 1500 ? -300.0f : 700.0f;
    });
    const std::vector<Column> columns = AllColumns(decimator, plate);
    ASSERT_GE(columns.size(), 50u);
    int spikesUp = 0, spikesDown = 0;
    std::uint32_t samples = 0;
    for (const Column& column : columns) {
        samples += column.samples;
        spikesUp += column.max[2] == 5000.0f;
        spikesDown += column.min[2] == -300.0f;
        if (column.samples > 0 && column.max[2] != 5000.0f && column.min[2] != -300.0f) {
            EXPECT_EQ(column.min[2], 700.0f);
            EXPECT_EQ(column.max[2], 700.0f);
        }
    }
    EXPECT_EQ(samples, 2000u);
    EXPECT_EQ(spikesUp, 1);
    EXPECT_EQ(spikesDown, 1);
}

TEST(Decimator, OnBlock_SamplesOfABlock_SpreadBackFromItsArrivalByTheRate)
{
    // A block of 16 samples at 100 per second arriving at 1.005 s spans 0.855 s to
    // 1.005 s: sample s falls into the 20 ms column floor(42.75 + s / 2).
    Decimator decimator;
    std::vector<float> block(16 * kValues, 0.0f);
    for (int s = 0; s < 16; ++s)
        block[s * kValues + 2] = static_cast<float>(s);
    hostkit::SampleBlock pushed;
    pushed.hostTime = 1.005;
    pushed.values = block.data();
    pushed.valueCount = static_cast<int>(block.size());
    decimator.OnBlock("P", pushed, 100);
    const std::vector<Column> columns = AllColumns(decimator, "P");
    ASSERT_EQ(columns.size(), 9u);
    EXPECT_EQ(columns[0].index, 42);
    EXPECT_EQ(columns[0].samples, 1u);
    for (std::size_t k = 1; k < 8; ++k) {
        EXPECT_EQ(columns[k].index, 42 + static_cast<std::int64_t>(k));
        EXPECT_EQ(columns[k].samples, 2u);
        EXPECT_EQ(columns[k].min[2], 2.0f * k - 1);
        EXPECT_EQ(columns[k].max[2], 2.0f * k);
    }
    EXPECT_EQ(columns[8].max[2], 15.0f);
}

TEST(Decimator, OnBlock_BlankedSamples_CountedWithoutCentreOfPressure)
{
    // Every other sample blanked by the plugin (all zeros); the loaded ones at (0.1, -0.2) m.
    Decimator decimator;
    Push(decimator, "P", 0.0, 32, 1000, [](int sample, int channel) {
        if (sample % 2)
            return 0.0f;
        return channel == 2 ? 500.0f : channel == 6 ? 0.1f : channel == 7 ? -0.2f : 0.0f;
    });
    const std::vector<Column> columns = AllColumns(decimator, "P");
    std::uint32_t samples = 0, loaded = 0;
    for (const Column& column : columns) {
        samples += column.samples;
        loaded += column.loaded;
        if (column.loaded > 0) {
            EXPECT_NEAR(column.copSum[0] / column.loaded, 0.1, 1e-6);
            EXPECT_NEAR(column.copSum[1] / column.loaded, -0.2, 1e-6);
        }
    }
    EXPECT_EQ(samples, 32u);
    EXPECT_EQ(loaded, 16u);
}

TEST(Decimator, TakeChanges_NothingNew_NothingAgain)
{
    Decimator decimator;
    Push(decimator, "P", 0.0, 64, 1000, [](int, int) { return 1.0f; });
    std::vector<PlateChanges> changes;
    decimator.TakeChanges(changes);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].blocks, 4u);
    EXPECT_NEAR(changes[0].oldestPending, 0.015, 1e-9);
    decimator.TakeChanges(changes);
    EXPECT_TRUE(changes.empty());
    // One more block touches the newest column only, which comes again as it grew.
    Push(decimator, "P", 0.070, 16, 1000, [](int, int) { return 1.0f; });
    decimator.TakeChanges(changes);
    ASSERT_EQ(changes.size(), 1u);
    ASSERT_EQ(changes[0].columns.size(), 2u);
    EXPECT_EQ(changes[0].columns[0].index, 3);
    EXPECT_EQ(changes[0].columns[1].index, 4);
}

TEST(Decimator, OnBlock_LongGap_ColumnsBetweenAreEmptyAndAtMostTheKeptOnes)
{
    Decimator decimator;
    Push(decimator, "P", 0.0, 16, 1000, [](int, int) { return 5.0f; });
    Push(decimator, "P", 100.0, 16, 1000, [](int, int) { return 7.0f; });
    const std::vector<Column> columns = AllColumns(decimator, "P");
    ASSERT_EQ(columns.size(), static_cast<std::size_t>(kKeptColumns));
    std::uint32_t samples = 0;
    for (const Column& column : columns) {
        samples += column.samples;
        if (column.samples > 0) {
            EXPECT_EQ(column.max[2], 7.0f);
        }
    }
    EXPECT_EQ(samples, 16u);
}

TEST(Decimator, OnBlock_MalformedBlocks_IgnoredOrSkipped)
{
    Decimator decimator;
    hostkit::SampleBlock none; // no values at all
    decimator.OnBlock("P", none, 1000);
    std::vector<float> short_(5, 1.0f);
    hostkit::SampleBlock shortBlock;
    shortBlock.values = short_.data();
    shortBlock.valueCount = 5;
    decimator.OnBlock("P", shortBlock, 1000);
    // Not-a-number samples are left out; the others count. A rate of 0 puts every sample at the arrival.
    Push(decimator, "P", 0.0, 16, 0,
         [](int sample, int) { return sample < 4 ? std::numeric_limits<float>::quiet_NaN() : 3.0f; });
    const std::vector<Column> columns = AllColumns(decimator, "P");
    ASSERT_EQ(columns.size(), 1u);
    EXPECT_EQ(columns[0].samples, 12u);
    EXPECT_EQ(columns[0].max[2], 3.0f);
}

// ---------------------------------------------------------------- frames

namespace {

struct FrameFixture : ::testing::Test
{
    Decimator decimator;
    Hub hub;
    double clock = 5.0;
    FrameBuilder frames{decimator, hub, [this] { return clock; }};
};

std::size_t Count(const std::string& text, const std::string& what)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

} // namespace

TEST_F(FrameFixture, Next_StateAndLines_OnlyInTheFrameAfterTheyChanged)
{
    hub.PublishState("{\"plates\":[]}");
    hub.PublishLines(
        {LiveLine{LineSource::Plugin, 2, "warning \"one\"", 1.5}, LiveLine{LineSource::Host, 1, "armed", 2}});
    const std::string first = *frames.Next();
    EXPECT_NE(first.find("\"state\":{\"plates\":[]}"), std::string::npos) << first;
    EXPECT_NE(first.find("[1,\"plugin\",2,\"warning \\\"one\\\"\",1.5],[2,\"host\",1,\"armed\",2]"), std::string::npos)
        << first;
    hub.PublishState("{\"plates\":[]}"); // the same again: not new
    const std::string second = *frames.Next();
    EXPECT_EQ(second.find("\"state\""), std::string::npos) << second;
    EXPECT_EQ(second.find("\"lines\""), std::string::npos) << second;
    EXPECT_NE(second.find("\"seq\":2"), std::string::npos) << second;
}

TEST_F(FrameFixture, Snapshot_AfterSeveralFrames_HoldsTheWindowTheLinesAndTheState)
{
    hub.PublishState("{\"n\":1}");
    hub.PublishLines({LiveLine{LineSource::Plugin, 1, "first"}});
    // Three seconds of one plate, taken in frames as they come.
    for (int i = 0; i < 30; ++i) {
        Push(decimator, "P", 2.001 + i * 0.1, 96, 1000, [](int, int channel) { return channel == 2 ? 100.0f : 0.0f; });
        frames.Next();
    }
    hub.PublishLines({LiveLine{LineSource::Plugin, 1, "second"}});
    frames.Next();
    const std::string snapshot = *frames.Snapshot();
    EXPECT_EQ(snapshot.rfind("{\"type\":\"snapshot\"", 0), 0u) << snapshot.substr(0, 80);
    EXPECT_NE(snapshot.find("\"state\":{\"n\":1}"), std::string::npos);
    EXPECT_NE(snapshot.find("\"first\""), std::string::npos);
    EXPECT_NE(snapshot.find("\"second\""), std::string::npos);
    // 3 s of 20 ms columns, every one with samples.
    EXPECT_EQ(Count(snapshot, ",100,100,"), 150u);
}

TEST(ClientQueue, Offer_FullQueue_DropsUntilASnapshotCatchesUp)
{
    ClientQueue queue(2);
    const Message frame = std::make_shared<const std::string>("f");
    EXPECT_TRUE(queue.Offer(frame));
    EXPECT_TRUE(queue.Offer(frame));
    queue.Force(std::make_shared<const std::string>("reply")); // not counted, never dropped
    EXPECT_FALSE(queue.Offer(frame));
    EXPECT_EQ(queue.Dropped(), 1u);
    queue.Pop();
    // Room again, but a frame after a missed one would leave a hole in the
    // page's window: none until the queued frames are out and a snapshot follows.
    EXPECT_FALSE(queue.Offer(frame));
    EXPECT_FALSE(queue.WantsSnapshot());
    queue.Pop();
    EXPECT_TRUE(queue.WantsSnapshot());
    queue.SnapshotQueued(std::make_shared<const std::string>("s"));
    EXPECT_FALSE(queue.WantsSnapshot());
    EXPECT_EQ(queue.Dropped(), 2u);
    // The snapshot does not take a frame's place: the next frame follows it.
    EXPECT_TRUE(queue.Offer(frame));
    EXPECT_EQ(*queue.Front(), "reply");
    queue.Pop();
    EXPECT_EQ(*queue.Front(), "s");
}
