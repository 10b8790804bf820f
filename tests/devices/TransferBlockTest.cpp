// One plate's share of a library block: force, moment and centre of pressure
// about the plate origin with the half-turn sign pattern, the Fz threshold,
// the records of several units side by side, and the sample numbers.
#include "DevicesTestSupport.h"

#include "plugin/Plugin.h"

#include <cmath>
#include <limits>

using namespace devtest;
using namespace MoldraDigitalDevice;

namespace {

const float NaN = std::numeric_limits<float>::quiet_NaN();

/// A plate constructed directly and attached to its own host services.
class PlateOnHost : public ::testing::Test
{
protected:
    PlatePtr MakePlate(int deviceIndex, std::vector<float> originInches = {0, 0, 0})
    {
        DeviceInfo info = Unit("A" + std::to_string(deviceIndex), "P" + std::to_string(deviceIndex), deviceIndex);
        info.originOffsets = originInches;
        PlatePtr plate(new ZORVA::VZORVATrelDevice(1000, info, nullptr, &host, nullptr));
        services.push_back(std::make_shared<zorvahost::DeviceServices>(host, plate->Name()));
        plate->Attach(services.back().get());
        return plate;
    }

    zorvahost::RecordingHost host;
    zorvahost::CaptureSetup setup{host};
    std::vector<std::shared_ptr<zorvahost::DeviceServices>> services;
};

struct ComputationCase
{
    const char* name;
    std::vector<float> originInches; ///< as the library reports it
    std::vector<float> record;       ///< Fx, Fy, Fz, Mx, My, Mz
    double threshold;
    std::vector<float> expected; ///< Fx, Fy, Fz, Mx, My, Mz, Cx, Cy, Cz
};

void PrintTo(const ComputationCase& c, std::ostream* os) { *os << c.name; }

class TransferComputation : public PlateOnHost, public ::testing::WithParamInterface<ComputationCase>
{};

// Expected values worked out by hand from the plate-origin formulas; origin
// offsets are inches, and the plate takes (x, y, -z) * 0.0254 m.
const ComputationCase ComputationCases[] = {
    // Moment My alone about a centred origin: CoP 0.1 m toward +X of the
    // conditioner, which the half turn shows as -0.1.
    {"MomentAboutCentre", {0, 0, 0}, {0, 0, -100, 0, 10, 0}, 20, {-0.0f, 0, 100, -0.0f, 10, -0.0f, -0.1f, 0, 0}},
    // Every component non-zero: X and Z change sign, Y stays.
    {"SignPattern", {0, 0, 0}, {1, 2, -100, 3, 4, 5}, 20, {-1, 2, 100, -3, 4, -5, -0.04f, -0.03f, 0}},
    // Origin 1 inch along X: the vertical force has a lever arm of 0.0254 m.
    {"OriginAlongX", {1, 0, 0}, {0, 0, -100, 0, 0, 0}, 20, {-0.0f, 0, 100, -0.0f, 2.54f, -0.0f, -0.0254f, 0, 0}},
    // origin (0.0254, 0.0508, -0.0762) m; Cx = 0.0254 - (-0.762 + 6) / -200,
    // Cy = (5 + 2.286) / -200 + 0.0508, t = (7.874, -4.318, -0.254).
    {"OriginAllAxes",
     {1, 2, 3},
     {10, 30, -200, 5, 6, 7},
     20,
     {-10, 30, 200, 2.874f, 10.318f, -7.254f, -0.05159f, 0.01437f, 0}},
    // A plate pulled upward still passes the threshold on |Fz|.
    {"PositiveFz", {0, 0, 0}, {0, 0, 50, 0, 5, 0}, 20, {-0.0f, 0, -50, -0.0f, 5, -0.0f, 0.1f, 0, 0}},
    {"FzEqualToThreshold_NineZeros", {1, 2, 3}, {7, 8, -20, 9, 10, 11}, 20, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"FzBelowThreshold_NineZeros", {0, 0, 0}, {7, 8, 19.5f, 9, 10, 11}, 20, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"FzNaN_NineZeros", {0, 0, 0}, {7, 8, NaN, 9, 10, 11}, 20, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
    // Threshold 0 and no force: nothing divides by zero.
    {"ZeroThresholdZeroFz_NineZeros", {0, 0, 0}, {1, 1, 0, 1, 1, 1}, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
    // Regression: a host that let the threshold go negative made Fz 0 pass it
    // and divided by zero, handing infinities to the host.
    {"NegativeThresholdZeroFz_NineZeros", {0, 0, 0}, {1, 1, 0, 1, 1, 1}, -5, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
};

TEST_P(TransferComputation, TransferBlock_Record_ForceMomentCoPAboutOrigin)
{
    const ComputationCase& c = GetParam();
    PlatePtr plate = MakePlate(0, c.originInches);
    plate->SetDataThreshold(c.threshold);
    Block block(1);
    block.SetCounters(100);
    block.SetLoad(0, c.record);

    plate->TransferBlock(block.Data(), 1);

    const std::vector<zorvahost::PushedBlock> pushed = services[0]->PushedBlocks();
    ASSERT_EQ(pushed.size(), 1u);
    ASSERT_EQ(pushed[0].values.size(), 144u);
    for (int s = 0; s < 16; ++s) {
        for (int i = 0; i < 9; ++i) {
            const float got = pushed[0].values[static_cast<std::size_t>(s * 9 + i)];
            const float want = c.expected[static_cast<std::size_t>(i)];
            EXPECT_NEAR(got, want, 1e-5f + std::fabs(want) * 1e-5f) << "sample " << s << " value " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TransferComputation, ::testing::ValuesIn(ComputationCases),
                         [](const ::testing::TestParamInfo<ComputationCase>& info) { return info.param.name; });

TEST_F(PlateOnHost, TransferBlock_OneBlock_PushesSixteenSamplesOfNineOnItsStream)
{
    PlatePtr plate = MakePlate(0);
    ASSERT_TRUE(plate->Arm(7, &setup));
    Block block(1);
    block.SetCounters(100);
    block.SetLoad(0, {0, 0, -100, 0, 0, 0});

    plate->TransferBlock(block.Data(), 1);

    const std::vector<zorvahost::PushedBlock> pushed = services[0]->PushedBlocks();
    ASSERT_EQ(pushed.size(), 1u);
    EXPECT_EQ(pushed[0].stream, 7u);
    EXPECT_EQ(pushed[0].frame, 100);
    EXPECT_EQ(pushed[0].samplesPerBlock, 16);
    EXPECT_EQ(pushed[0].outputs, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(pushed[0].values.size(), 144u);
}

TEST_F(PlateOnHost, TransferBlock_TwoUnits_EachPlateReadsItsInterleavedRecords)
{
    PlatePtr first = MakePlate(0);
    PlatePtr second = MakePlate(1);
    Block block(2);
    block.SetCounters(0);
    for (int s = 0; s < 16; ++s) {
        // Unit 0 weighs 100 + s newtons, unit 1 weighs 500 + s.
        block.Record(s, 0)[3] = -(100.0f + static_cast<float>(s));
        block.Record(s, 1)[3] = -(500.0f + static_cast<float>(s));
    }

    first->TransferBlock(block.Data(), 2);
    second->TransferBlock(block.Data(), 2);

    const std::vector<zorvahost::PushedBlock> a = services[0]->PushedBlocks();
    const std::vector<zorvahost::PushedBlock> b = services[1]->PushedBlocks();
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    for (int s = 0; s < 16; ++s) {
        EXPECT_FLOAT_EQ(a[0].values[static_cast<std::size_t>(s * 9 + 2)], 100.0f + static_cast<float>(s));
        EXPECT_FLOAT_EQ(b[0].values[static_cast<std::size_t>(s * 9 + 2)], 500.0f + static_cast<float>(s));
    }
}

TEST_F(PlateOnHost, TransferBlock_DeviceIndexOutsideBlock_WritesNothing)
{
    PlatePtr plate = MakePlate(2);
    Block block(2);
    block.SetCounters(0);
    plate->TransferBlock(block.Data(), 2);
    plate->TransferBlock(block.Data(), 0);
    EXPECT_TRUE(services[0]->PushedBlocks().empty());
}

struct FrameCase
{
    const char* name;
    std::vector<std::int64_t> counters; ///< first counter of each block
    std::vector<std::int64_t> frames;   ///< pushed sample numbers
    std::size_t stepsBack;              ///< level-2 lines about them
};

void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.name; }

class TransferFrames : public PlateOnHost, public ::testing::WithParamInterface<FrameCase>
{};

const std::int64_t Wrap = 16777216;

const FrameCase FrameCases[] = {
    {"Consecutive", {100, 116, 132}, {100, 116, 132}, 0},
    // Regression: the first block after Arm counted as a wrap when its counter
    // was 0 (lastCounter was reset to 0 and "not greater" means wrap), so a
    // capture started on a freshly reset library began at sample 16777216.
    {"FirstCounterZero", {0, 16, 32}, {0, 16, 32}, 0},
    {"WrapBetweenBlocks", {Wrap - 32, Wrap - 16, 0, 16}, {Wrap - 32, Wrap - 16, Wrap, Wrap + 16}, 0},
    {"WrapInsideBlock", {Wrap - 8, 8, 24}, {Wrap - 8, Wrap + 8, Wrap + 24}, 0},
    {"TwoWrapsWithGaps",
     {Wrap - 16, 0, 6000000, 12000000, Wrap - 16, 0},
     {Wrap - 16, Wrap, Wrap + 6000000, Wrap + 12000000, 2 * Wrap - 16, 2 * Wrap},
     0},
    // A gap in the library's delivery shows as a jump, not as filled samples.
    {"Gap", {100, 164}, {100, 164}, 0},
    {"GapAcrossWrap", {Wrap - 16, 48}, {Wrap - 16, Wrap + 48}, 0},
    // Regression: a repeated block or a counter that stepped back counted as
    // a wrap-around (its counter was not greater than the last), a leap of
    // 2^24 sample numbers. Its numbers now follow its counter.
    {"RepeatedBlock", {100, 116, 116, 132}, {100, 116, 116, 132}, 1},
    {"StepBack", {1000, 1016, 500, 516}, {1000, 1016, 500, 516}, 1},
    {"RepeatedAfterWrap", {Wrap - 16, 0, 0, 16}, {Wrap - 16, Wrap, Wrap, Wrap + 16}, 1},
    {"StepBackAcrossWrap", {Wrap - 16, 0, Wrap - 16, 0}, {Wrap - 16, Wrap, Wrap - 16, Wrap}, 1},
};

TEST_P(TransferFrames, TransferBlock_Counters_SampleNumbersKeepRising)
{
    const FrameCase& c = GetParam();
    PlatePtr plate = MakePlate(0);
    ASSERT_TRUE(plate->Arm(1, &setup));
    Block block(1);
    for (std::int64_t counter : c.counters) {
        block.SetCounters(counter);
        // Counters wrap within the block as the library's do.
        for (int s = 0; s < 16; ++s)
            block.Record(s, 0)[0] = static_cast<float>((counter + s) % Wrap);
        plate->TransferBlock(block.Data(), 1);
    }
    std::vector<std::int64_t> frames;
    for (const zorvahost::PushedBlock& pushed : services[0]->PushedBlocks())
        frames.push_back(pushed.frame);
    EXPECT_EQ(frames, c.frames);
    EXPECT_EQ(LogTexts(host, LogLevel::Warning).size(), c.stepsBack);
}

TEST_F(PlateOnHost, TransferBlock_RepeatedBlock_SaysWhichDeviceAndCounters)
{
    PlatePtr plate = MakePlate(0);
    ASSERT_TRUE(plate->Arm(1, &setup));
    Block block(1);
    for (std::int64_t counter : {100, 116, 116}) {
        block.SetCounters(counter);
        plate->TransferBlock(block.Data(), 1);
    }
    EXPECT_EQ(LogTexts(host, LogLevel::Warning),
              Lines{"Sample counter of device 0 went from 116 to 116: a repeated block or a step back"});
}

INSTANTIATE_TEST_SUITE_P(Cases, TransferFrames, ::testing::ValuesIn(FrameCases),
                         [](const ::testing::TestParamInfo<FrameCase>& info) { return info.param.name; });

TEST_F(PlateOnHost, TransferBlock_ArmAgain_WrapCountStartsAfresh)
{
    PlatePtr plate = MakePlate(0);
    ASSERT_TRUE(plate->Arm(1, &setup));
    Block block(1);
    block.SetCounters(Wrap - 16);
    plate->TransferBlock(block.Data(), 1);
    block.SetCounters(0);
    plate->TransferBlock(block.Data(), 1);
    ASSERT_TRUE(plate->Arm(1, &setup));
    block.SetCounters(32);
    plate->TransferBlock(block.Data(), 1);

    const std::vector<zorvahost::PushedBlock> pushed = services[0]->PushedBlocks();
    ASSERT_EQ(pushed.size(), 3u);
    EXPECT_EQ(pushed[1].frame, Wrap);
    EXPECT_EQ(pushed[2].frame, 32);
}

TEST_F(PlateOnHost, TransferBlock_CounterNotANumber_CountsAsZero)
{
    // A corrupt counter must not make the conversion to an integer undefined.
    PlatePtr plate = MakePlate(0);
    ASSERT_TRUE(plate->Arm(1, &setup));
    Block block(1);
    block.SetCounters(0);
    block.Record(0, 0)[0] = NaN;
    plate->TransferBlock(block.Data(), 1);
    block.SetCounters(16);
    plate->TransferBlock(block.Data(), 1);

    const std::vector<zorvahost::PushedBlock> pushed = services[0]->PushedBlocks();
    ASSERT_EQ(pushed.size(), 2u);
    EXPECT_EQ(pushed[0].frame, 0);
    EXPECT_EQ(pushed[1].frame, 16);
}

} // namespace
