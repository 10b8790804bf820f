// The bench's body loads, noise and drift: the shape of a walking step
// against the values gait studies report, the timing and placement of steps,
// a treadmill's two feet, standing sway, the amplifier's readings worked out
// by hand, and the same readings in the library's blocks.
#include "SimTestSupport.h"

#include "simusb/Loads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

using namespace zorvasim;
using simtest::SimTest;
using simtest::TransferAll;

constexpr std::size_t kSets = ZORVA_USB_SAMPLES_PER_BLOCK;
constexpr std::size_t kRecord = ZORVA_USB_FLOATS_PER_RECORD;

LoadProfile Body(LoadKind kind)
{
    LoadProfile p;
    p.kind = kind;
    p.mass = 75.0f;
    return p;
}

double BodyWeight(const LoadProfile& p) { return p.mass * kGravity; }

/// A load profile sampled at 1000 samples per second.
std::vector<PlateLoad> Sampled(const LoadProfile& p, int samples, double from = 0.0)
{
    std::vector<PlateLoad> loads;
    for (int i = 0; i < samples; ++i)
        loads.push_back(LoadAt(p, from + i / 1000.0));
    return loads;
}

double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// ---------------------------------------------------------------- a walking step

TEST(LoadShapeTest, LoadAt_WalkStance_VerticalForceHasTwoPeaksAroundAValley)
{
    LoadProfile p = Body(LoadKind::Walk);
    p.stepCount = 1;
    const std::vector<PlateLoad> loads = Sampled(p, 1000);
    std::vector<double> fz;
    for (const PlateLoad& l : loads)
        fz.push_back(l.Force().z / BodyWeight(p));

    // On the plate for the 0.65 s stance: heel strike at sample 0, toe-off after 649.
    EXPECT_EQ(loads[0].count, 1u);
    EXPECT_EQ(loads[649].count, 1u);
    EXPECT_EQ(loads[650].count, 0u);
    EXPECT_TRUE(std::all_of(fz.begin() + 1, fz.begin() + 650, [](double f) { return f > 0.0; }));

    const auto first = std::max_element(fz.begin(), fz.begin() + 325);
    const auto second = std::max_element(fz.begin() + 325, fz.begin() + 650);
    const auto valley = std::min_element(first, second);
    EXPECT_NEAR(*first, 1.2, 0.05);
    EXPECT_NEAR(*second, 1.2, 0.05);
    EXPECT_NEAR(*valley, 0.75, 0.05);
    // Loading response near a quarter of the stance, push-off near three quarters.
    EXPECT_NEAR((first - fz.begin()) / 650.0, 0.25, 0.07);
    EXPECT_NEAR((second - fz.begin()) / 650.0, 0.75, 0.07);
}

TEST(LoadShapeTest, LoadAt_WalkStance_ShearBrakesThenPropelsAndPushesTowardTheMidline)
{
    LoadProfile p = Body(LoadKind::Walk); // left foot first, walking along +y: left is -x
    p.stepCount = 1;
    std::vector<double> foreAft;
    std::vector<double> side;
    for (const PlateLoad& l : Sampled(p, 650)) {
        foreAft.push_back(l.Force().y / BodyWeight(p));
        side.push_back(l.Force().x / BodyWeight(p));
    }

    EXPECT_TRUE(std::all_of(foreAft.begin() + 1, foreAft.begin() + 325, [](double f) { return f < 0.0; }));
    EXPECT_TRUE(std::all_of(foreAft.begin() + 326, foreAft.end(), [](double f) { return f > 0.0; }));
    const double braking = *std::min_element(foreAft.begin(), foreAft.end());
    const double propulsion = *std::max_element(foreAft.begin(), foreAft.end());
    EXPECT_GE(-braking, 0.15);
    EXPECT_LE(-braking, 0.2);
    EXPECT_GE(propulsion, 0.15);
    EXPECT_LE(propulsion, 0.2);
    // A steady pace: braking and propulsion impulses cancel.
    const double net = std::accumulate(foreAft.begin(), foreAft.end(), 0.0);
    const double braked = std::accumulate(foreAft.begin(), foreAft.begin() + 325, 0.0);
    EXPECT_LT(std::fabs(net), 0.01 * std::fabs(braked));
    // The left foot is pushed toward the body's midline, +x, and only a little.
    EXPECT_TRUE(std::all_of(side.begin(), side.end(), [](double f) { return f >= 0.0 && f <= 0.08; }));
    EXPECT_GE(*std::max_element(side.begin(), side.end()), 0.03);
}

struct DirectionCase
{
    const char* name;
    Direction direction;
    Vec3 forward;
};

void PrintTo(const DirectionCase& c, std::ostream* os) { *os << c.name; }

class WalkDirectionTest : public ::testing::TestWithParam<DirectionCase>
{};

TEST_P(WalkDirectionTest, LoadAt_WalkStance_CentreOfPressureRollsFromHeelToToe)
{
    LoadProfile p = Body(LoadKind::Walk);
    p.stepCount = 1;
    p.direction = GetParam().direction;
    p.at = {0.05f, -0.1f};
    const Vec3 forward = GetParam().forward;
    const Vec3 left = Cross(Vec3{0, 0, 1}, forward);
    const Vec3 at{p.at[0], p.at[1], 0};

    double previous = -1.0;
    std::vector<double> along;
    for (const PlateLoad& l : Sampled(p, 650)) {
        ASSERT_EQ(l.count, 1u);
        const Vec3 cop = l.contacts[0].point;
        EXPECT_EQ(cop.z, 0.0);
        along.push_back(Dot(cop - at, forward));
        EXPECT_GE(along.back(), previous) << "the centre of pressure went back";
        previous = along.back();
        // The left foot, half a step width left of the line, within a centimetre.
        EXPECT_NEAR(Dot(cop - at, left), 0.06, 0.0101);
    }
    EXPECT_NEAR(along.front(), 0.0, 1e-9);              // the heel
    EXPECT_NEAR(along.back(), p.footLength, 0.005);     // the toe
    EXPECT_NEAR(along[325], 0.5 * p.footLength, 0.005); // mid-foot at mid-stance
}

INSTANTIATE_TEST_SUITE_P(Directions, WalkDirectionTest,
                         ::testing::Values(DirectionCase{"PlusY", Direction::PlusY, {0, 1, 0}},
                                           DirectionCase{"MinusY", Direction::MinusY, {0, -1, 0}},
                                           DirectionCase{"PlusX", Direction::PlusX, {1, 0, 0}},
                                           DirectionCase{"MinusX", Direction::MinusX, {-1, 0, 0}}),
                         [](const ::testing::TestParamInfo<DirectionCase>& info) { return info.param.name; });

TEST(LoadShapeTest, LoadAt_WalkPass_StepsFollowInTimeAndPlaceThenTheWalkerIsAway)
{
    LoadProfile p = Body(LoadKind::Walk);
    p.at = {0.0f, -0.8f};
    p.stepCount = 3;
    p.away = 1.0f; // a pass: 2 x 0.55 + 0.65 s on the plate, 1 s away: 2.75 s

    // Heel strikes every 0.55 s, stances of 0.65 s: 0.1 s of double support.
    const struct
    {
        double seconds;
        std::size_t contacts;
    } timeline[] = {{0.01, 1}, {0.54, 1}, {0.56, 2}, {0.64, 2}, {0.66, 1}, {1.11, 2},
                    {1.19, 2}, {1.21, 1}, {1.74, 1}, {1.76, 0}, {2.74, 0}, {2.76, 1}};
    for (const auto& entry : timeline)
        EXPECT_EQ(LoadAt(p, entry.seconds).count, entry.contacts) << "at " << entry.seconds << " s";

    // Each heel lands a step length further, left and right of the line in turn.
    for (int k = 0; k < 3; ++k) {
        const PlateLoad l = LoadAt(p, 0.55 * k + 0.001);
        const Vec3 heel = l.contacts[l.count - 1].point;
        EXPECT_NEAR(heel.y, -0.8 + 0.7 * k, 0.002) << "step " << k;
        EXPECT_NEAR(heel.x, k % 2 == 0 ? -0.07 : 0.07, 0.001) << "step " << k;
    }

    // The next pass is the same; a start shifts the passes, both ways.
    LoadProfile later = p;
    later.start = 1.1f;
    for (double t : {0.3, 0.6, 1.3}) {
        const PlateLoad a = LoadAt(p, t);
        for (const PlateLoad& b : {LoadAt(p, t + 2.75), LoadAt(later, t + 1.1), LoadAt(later, t + 1.1 - 2.75)}) {
            ASSERT_EQ(a.count, b.count);
            EXPECT_NEAR(a.Force().z, b.Force().z, 1e-3);
            EXPECT_NEAR(a.contacts[0].point.y, b.contacts[0].point.y, 1e-6);
        }
    }
}

// ---------------------------------------------------------------- a treadmill

TEST(LoadShapeTest, LoadAt_TreadmillBothFeet_CarryTheBodyWeightOverAStride)
{
    LoadProfile p = Body(LoadKind::Treadmill);
    p.foot = Foot::Both;
    Vec3 sum;
    for (const PlateLoad& l : Sampled(p, 1100)) // one stride: two steps of 0.55 s
        sum = sum + l.Force();
    const Vec3 mean = (1.0 / 1100) * sum;
    EXPECT_NEAR(mean.z / BodyWeight(p), 1.0, 0.05);
    EXPECT_NEAR(mean.x / BodyWeight(p), 0.0, 0.002);
    EXPECT_NEAR(mean.y / BodyWeight(p), 0.0, 0.002);
}

TEST(LoadShapeTest, LoadAt_TreadmillLeftAndRightPlates_AlternateWithDoubleSupport)
{
    LoadProfile left = Body(LoadKind::Treadmill);
    left.foot = Foot::Left;
    LoadProfile right = left;
    right.foot = Foot::Right;
    LoadProfile both = left;
    both.foot = Foot::Both;

    int doubleSupport = 0;
    for (int i = 0; i < 2200; ++i) { // two strides
        const double t = i / 1000.0;
        const PlateLoad l = LoadAt(left, t);
        const PlateLoad r = LoadAt(right, t);
        const PlateLoad b = LoadAt(both, t);
        // The left foot's stance from 0, the right's from 0.55 s, every 1.1 s;
        // a millisecond's margin at each edge for the step time's float.
        const double inLeft = std::fmod(t, 1.1);
        const double inRight = std::fmod(t + 0.55, 1.1);
        if (std::fabs(inLeft - 0.65) > 0.001 && inLeft > 0.001) {
            EXPECT_EQ(l.count, inLeft < 0.65 ? 1u : 0u) << "left at " << t;
        }
        if (std::fabs(inRight - 0.65) > 0.001 && inRight > 0.001) {
            EXPECT_EQ(r.count, inRight < 0.65 ? 1u : 0u) << "right at " << t;
        }
        // One plate under both feet measures what the two belts' plates measure.
        EXPECT_EQ(b.count, l.count + r.count);
        EXPECT_NEAR(b.Force().z, l.Force().z + r.Force().z, 1e-6);
        EXPECT_NEAR(b.Force().y, l.Force().y + r.Force().y, 1e-6);
        doubleSupport += l.count == 1 && r.count == 1;
    }
    EXPECT_NEAR(doubleSupport, 4 * 100, 4); // 0.1 s twice a stride
}

TEST(LoadShapeTest, LoadAt_TreadmillFoot_BeltCarriesItBackWhileTheCopRollsToTheToe)
{
    LoadProfile p = Body(LoadKind::Treadmill);
    p.foot = Foot::Left;
    p.at = {0.0f, 0.3f};
    const PlateLoad strike = LoadAt(p, 0.0);
    const PlateLoad toeOff = LoadAt(p, 0.649);
    ASSERT_EQ(strike.count, 1u);
    ASSERT_EQ(toeOff.count, 1u);
    // Heel at 0.3 m; at toe-off the heel is 0.7 / 0.55 m/s x 0.65 s further
    // back and the centre of pressure a foot length ahead of it.
    EXPECT_NEAR(strike.contacts[0].point.y, 0.3, 1e-6);
    EXPECT_NEAR(toeOff.contacts[0].point.y, 0.3 - 0.7 / 0.55 * 0.649 + 0.25, 0.003);
    EXPECT_NEAR(strike.contacts[0].point.x, -0.07, 1e-6); // left foot, heel's outer side
}

// ---------------------------------------------------------------- standing, a weight

TEST(LoadShapeTest, LoadAt_Stand_CarriesItsShareAndSwaysSlowlyWithinTheBound)
{
    LoadProfile p = Body(LoadKind::Stand);
    p.mass = 80.0f;
    p.share = 0.5f;
    p.sway = 0.008f;
    p.at = {0.02f, -0.03f};
    p.seed = 7;
    double lowX = 1, highX = -1, lowY = 1, highY = -1, fastest = 0;
    Vec3 previous = LoadAt(p, 0.0).contacts[0].point;
    for (int i = 1; i <= 6000; ++i) { // one minute at 100 samples per second
        const PlateLoad l = LoadAt(p, i / 100.0);
        ASSERT_EQ(l.count, 1u);
        const Vec3 cop = l.contacts[0].point;
        EXPECT_NEAR(l.Force().z, 0.5 * 80 * kGravity, 1e-9);
        EXPECT_LT(std::hypot(l.Force().x, l.Force().y), 0.01 * l.Force().z);
        lowX = std::min(lowX, cop.x - 0.02);
        highX = std::max(highX, cop.x - 0.02);
        lowY = std::min(lowY, cop.y + 0.03);
        highY = std::max(highY, cop.y + 0.03);
        fastest = std::max(fastest, std::hypot(cop.x - previous.x, cop.y - previous.y) * 100.0);
        previous = cop;
    }
    // Within the sway of `at`, wandering a few millimetres at least, slowly.
    EXPECT_GE(lowX, -0.008 - 1e-7);
    EXPECT_LE(highX, 0.008 + 1e-7);
    EXPECT_GE(lowY, -0.008 - 1e-7);
    EXPECT_LE(highY, 0.008 + 1e-7);
    EXPECT_GT(highX - lowX, 0.004);
    EXPECT_GT(highY - lowY, 0.004);
    EXPECT_LT(fastest, 2 * 3.1416 * 0.5 * 0.008 * std::sqrt(2.0)); // no faster than 0.5 Hz at full sway
}

TEST(LoadShapeTest, LoadAt_Stand_PathFollowsTheSeed)
{
    LoadProfile a = Body(LoadKind::Stand);
    a.seed = 11;
    LoadProfile b = a;
    LoadProfile c = a;
    c.seed = 12;
    double apart = 0.0;
    for (int i = 0; i < 3000; ++i) {
        const Vec3 pa = LoadAt(a, i / 100.0).contacts[0].point;
        const Vec3 pb = LoadAt(b, i / 100.0).contacts[0].point;
        const Vec3 pc = LoadAt(c, i / 100.0).contacts[0].point;
        EXPECT_EQ(pa.x, pb.x);
        EXPECT_EQ(pa.y, pb.y);
        apart = std::max(apart, std::hypot(pa.x - pc.x, pa.y - pc.y));
    }
    EXPECT_GT(apart, 0.002);
}

// ---------------------------------------------------------------- the amplifier

struct ReadingCase
{
    const char* name;
    PlateLoad load;
    std::array<float, 3> originInches;
    std::array<double, 6> expected; // amplifier Fx, Fy, Fz, Mx, My, Mz
};

void PrintTo(const ReadingCase& c, std::ostream* os) { *os << c.name; }

PlateLoad OneContact(Vec3 point, Vec3 force, double freeMoment = 0.0)
{
    PlateLoad l;
    l.contacts[0] = Contact{point, force, freeMoment};
    l.count = 1;
    return l;
}

PlateLoad Weight(double kg, float x, float y)
{
    LoadProfile p;
    p.kind = LoadKind::Weight;
    p.mass = static_cast<float>(kg);
    p.at = {x, y};
    return LoadAt(p, 123.0);
}

class AmplifierReadingTest : public ::testing::TestWithParam<ReadingCase>
{};

// By hand. The amplifier's axes are the plate frame turned half a turn about
// y, so a reading is (-Fx, Fy, -Fz) of the force and (-Mx, My, -Mz) of the
// moment about the sensor origin S = 0.0254 (-X, Y, Z) m of the offsets.
const ReadingCase ReadingCases[] = {
    // 20 kg at (0.1, -0.2): F = (0, 0, 196.133); S = 0; M = P x F =
    // (-0.2 x 196.133, -0.1 x 196.133, 0).
    {"WeightCentredSensor", Weight(20, 0.1f, -0.2f), {0, 0, 0}, {0, 0, -196.133, 39.2266, -19.6133, 0}},
    // Offsets (1, 2, -1.5) in: S = (-0.0254, 0.0508, -0.0381). A foot at
    // P = (0.1, 0.2, 0) with F = (10, -20, 700): P - S = (0.1254, 0.1492, 0.0381),
    // (P - S) x F = (0.1492 x 700 + 0.0381 x 20, 0.0381 x 10 - 0.1254 x 700,
    // -0.1254 x 20 - 0.1492 x 10) = (105.202, -87.399, -4.0).
    {"ShearAndSensorBelowOffCentre",
     OneContact({0.1, 0.2, 0}, {10, -20, 700}),
     {1, 2, -1.5f},
     {-10, -20, -700, -105.202, -87.399, 4.0}},
    // The same with a free moment of 3 N m about the vertical: Mz 4 - 3.
    {"FreeMoment",
     OneContact({0.1, 0.2, 0}, {10, -20, 700}, 3.0),
     {1, 2, -1.5f},
     {-10, -20, -700, -105.202, -87.399, 1.0}},
    // Two weights: the moments add. 10 kg at (0.2, 0) and 10 kg at (-0.2, 0.1)
    // about S = (0, 0, -0.0508): (0.1 x 98.0665, -(0.2 - 0.2) x 98.0665, 0).
    {"TwoContacts",
     [] {
         PlateLoad l = Weight(10, 0.2f, 0.0f);
         l.contacts[1] = Weight(10, -0.2f, 0.1f).contacts[0];
         l.count = 2;
         return l;
     }(),
     {0, 0, -2},
     {0, 0, -196.133, -9.80665, 0, 0}},
};

TEST_P(AmplifierReadingTest, AmplifierReading_Load_ForceAndMomentAboutTheSensorInItsAxes)
{
    const ReadingCase& c = GetParam();
    const std::array<double, 6> got = AmplifierReading(c.load, c.originInches);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_NEAR(got[i], c.expected[i], 1e-3) << "channel " << i;
}

INSTANTIATE_TEST_SUITE_P(Cases, AmplifierReadingTest, ::testing::ValuesIn(ReadingCases),
                         [](const ::testing::TestParamInfo<ReadingCase>& info) { return info.param.name; });

// ---------------------------------------------------------------- noise, drift

UnitSpec NoisyUnit(const std::string& name, std::uint64_t seed)
{
    UnitSpec u;
    u.name = name;
    u.load.offset = {1, -2, 3, 0.5f, 0, 0.25f};
    u.load.noise = {0.5f, 1.0f, 2.0f, 0.05f, 0.1f, 0.0f};
    u.load.seed = seed;
    return u;
}

TEST(NoiseTest, UnitReading_Noise_GaussianPerChannelWithTheGivenDeviation)
{
    const UnitSpec u = NoisyUnit("A", 3);
    const std::size_t n = 40000;
    std::array<std::vector<double>, 6> values;
    for (std::uint64_t s = 0; s < n; ++s) {
        const std::array<float, 6> r = UnitReading(u, s, 1000);
        for (std::size_t c = 0; c < 6; ++c)
            values[c].push_back(r[c] - u.load.offset[c]);
    }
    for (std::size_t c = 0; c < 6; ++c) {
        SCOPED_TRACE("channel " + std::to_string(c));
        const double sigma = u.load.noise[c];
        const std::vector<double>& v = values[c];
        if (sigma == 0.0) {
            EXPECT_TRUE(std::all_of(v.begin(), v.end(), [](double x) { return x == 0.0; }));
            continue;
        }
        const double mean = std::accumulate(v.begin(), v.end(), 0.0) / n;
        double square = 0.0, lagged = 0.0;
        std::size_t within = 0;
        for (std::size_t i = 0; i < n; ++i) {
            square += (v[i] - mean) * (v[i] - mean);
            if (i > 0)
                lagged += (v[i] - mean) * (v[i - 1] - mean);
            within += std::fabs(v[i]) < sigma;
        }
        EXPECT_NEAR(mean, 0.0, 4 * sigma / std::sqrt(double(n)));
        EXPECT_NEAR(std::sqrt(square / n), sigma, 0.02 * sigma);
        EXPECT_NEAR(double(within) / n, 0.6827, 0.01); // Gaussian, not uniform (0.58 within one deviation)
        EXPECT_LT(std::fabs(lagged / square), 0.02);   // white: samples do not follow each other
    }
    // The channels are independent of each other.
    double cross = 0.0, x2 = 0.0, y2 = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        cross += values[0][i] * values[2][i];
        x2 += values[0][i] * values[0][i];
        y2 += values[2][i] * values[2][i];
    }
    EXPECT_LT(std::fabs(cross / std::sqrt(x2 * y2)), 0.02);
}

TEST(NoiseTest, UnitReading_Noise_TheSameForTheSameSeedAndUnitOnly)
{
    const UnitSpec a = NoisyUnit("A", 3);
    int sameSeed = 0, otherSeed = 0, otherUnit = 0;
    for (std::uint64_t s = 1000; s < 1100; ++s) {
        sameSeed += UnitReading(a, s, 1000) == UnitReading(NoisyUnit("A", 3), s, 1000);
        otherSeed += UnitReading(a, s, 1000) == UnitReading(NoisyUnit("A", 4), s, 1000);
        otherUnit += UnitReading(a, s, 1000) == UnitReading(NoisyUnit("B", 3), s, 1000);
    }
    EXPECT_EQ(sameSeed, 100);
    EXPECT_EQ(otherSeed, 0);
    EXPECT_EQ(otherUnit, 0);
    // Without noise: the offset alone.
    EXPECT_EQ(UnitReading(a, 5, 1000, false), a.load.offset);
}

TEST(NoiseTest, UnitReading_Drift_GrowsWithTheSampleClocksSeconds)
{
    UnitSpec u;
    u.load.offset = {1, 0, 0, 0, 0, 0};
    u.load.drift = {0.5f, -0.25f, 2, 0, 0.01f, 0};
    // Sample 4000 is 4 s in at 1000 samples per second, 8 s at 500.
    EXPECT_EQ(UnitReading(u, 4000, 1000), (std::array<float, 6>{3, -1, 8, 0, 0.04f, 0}));
    EXPECT_EQ(UnitReading(u, 4000, 500), (std::array<float, 6>{5, -2, 16, 0, 0.08f, 0}));
    EXPECT_EQ(UnitReading(u, 0, 1000), u.load.offset);
}

// ---------------------------------------------------------------- in the library's blocks

class LoadDataTest : public SimTest
{
protected:
    /// Every record's Fx..Mz of unit k, sample by sample.
    std::vector<std::array<float, 6>> Records(std::size_t k, std::size_t units)
    {
        std::vector<std::array<float, 6>> out;
        for (const std::vector<float>& block : TransferAll(kSets * units * kRecord)) {
            for (std::size_t s = 0; s < kSets; ++s) {
                const float* r = block.data() + (s * units + k) * kRecord;
                out.push_back({r[1], r[2], r[3], r[4], r[5], r[6]});
            }
        }
        return out;
    }
};

const char* const kTwoBodies =
    "[scenario]\ninit_polls = 1\nrate = 500\n"
    "[unit W]\norigin = 0.2 -0.1 -1.6\nlength = 70.866\nwidth = 23.622\n"
    "load = walk\nat = 0 -0.8\nstep_count = 3\naway = 0.2\nnoise = 0.3 0.3 0.6 0.01 0.01 0.005\n"
    "drift = 0.01 0 -0.02 0 0.001 0\nseed = 5\n"
    "[unit S]\nload = stand\nmass = 60\nat = 0.01 0.02\nseed = 9\n";

TEST_F(LoadDataTest, TransferFloatData_BodyLoads_RecordsAreTheUnitsReadingsAtTheBroadcastRate)
{
    Load(kTwoBodies);
    ASSERT_TRUE(simtest::StartAcquisition(GetCurrentThreadId()));
    const Scenario bench = CurrentScenario();
    ASSERT_EQ(DeliverBlocks(40), 40);
    std::vector<std::array<float, 6>> walk = Records(0, 2);
    ASSERT_EQ(walk.size(), 640u);
    for (std::size_t t = 0; t < walk.size(); ++t)
        ASSERT_EQ(walk[t], UnitReading(bench.units[0], t, 500)) << "sample " << t;

    // At another rate the same samples are other times of the walk.
    fmBroadcastAcquisitionRate(250);
    ASSERT_EQ(DeliverBlocks(1), 1);
    walk = Records(0, 2);
    ASSERT_EQ(walk.size(), 16u);
    EXPECT_EQ(walk[0], UnitReading(bench.units[0], 640, 250));
    EXPECT_NE(walk[0], UnitReading(bench.units[0], 640, 500));
}

TEST_F(LoadDataTest, BroadcastZero_NoisyDriftingPlate_TaresTheReadingWithoutItsNoise)
{
    Load(simtest::OneUnit("init_polls = 1",
                          "offset = 2 0 5 0 0 0\ndrift = 0 0 0.5 0 0 0\nnoise = 0 0 0.2 0 0 0\nseed = 1"));
    ASSERT_TRUE(simtest::StartAcquisition(GetCurrentThreadId()));
    const UnitSpec unit = CurrentScenario().units[0];
    ASSERT_EQ(DeliverBlocks(10), 10);
    Records(0, 1);
    fmBroadcastZero(); // at sample 160
    ASSERT_EQ(DeliverBlocks(2), 2);
    const std::vector<std::array<float, 6>> after = Records(0, 1);
    ASSERT_EQ(after.size(), 32u);
    const std::array<float, 6> zero = UnitReading(unit, 160, 1000, false);
    for (std::size_t i = 0; i < after.size(); ++i) {
        const std::array<float, 6> reading = UnitReading(unit, 160 + i, 1000);
        for (std::size_t c = 0; c < 6; ++c)
            EXPECT_EQ(after[i][c], reading[c] - zero[c]) << "sample " << 160 + i << " channel " << c;
    }
}

TEST_F(LoadDataTest, SetLoad_BodyLoadOutOfRangeOrOffThePlate_RefusedAndTheOldLoadKept)
{
    Load(kTwoBodies);
    const LoadProfile before = CurrentScenario().units[0].load;

    LoadProfile overlapping = before;
    overlapping.stance = 1.2f; // a foot's stances would overlap
    EXPECT_FALSE(SetLoad(0, overlapping));
    LoadProfile offPlate = before;
    offPlate.at = {0.0f, 0.0f}; // the second step's toe lands 0.05 m past the far edge
    EXPECT_FALSE(SetLoad(0, offPlate));
    EXPECT_TRUE(CurrentScenario().units[0].load == before);

    LoadProfile shorter = before;
    shorter.stepCount = 2;
    shorter.at = {0.0f, -0.5f};
    EXPECT_TRUE(SetLoad(0, shorter));
    EXPECT_TRUE(CurrentScenario().units[0].load == shorter);
}

} // namespace
