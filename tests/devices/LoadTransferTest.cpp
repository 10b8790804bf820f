// Known loads through the plugin's data path: the simulated bench puts
// weights at known points and people walking on plates whose sensor origins
// lie off centre and below the surface; the plates must hand the host the
// force of each load, its moment about the plate origin and the point it acts
// at. Stepped mode and virtual time; genlock, so a pushed frame is the
// library's sample clock and each sample's load is known exactly.
#include "DevicesTestSupport.h"

#include "simusb/Loads.h"
#include "simusb/SimControl.h"

#include <algorithm>
#include <cmath>
#include <map>

using namespace devtest;
using namespace MoldraDigitalDevice;

namespace {

const double Threshold = 20.0;

std::string UnitText(const std::string& name, const std::string& serial, const std::string& origin,
                     const std::string& keys)
{
    // 1200 x 600 mm plates: room for a walk's two steps and for every point below.
    return "[unit " + name + "]\nproduct_type = 100\namplifier_model = ZDA-100\namplifier_serial = " + serial +
           "\nplatform_model = Hallon-1200\nplatform_serial = P" + serial + "\nlength = 47.244\nwidth = 23.622\n" +
           "origin = " + origin + "\n" + keys;
}

/// A plate's 144 values of one block, and the library sample of its first.
struct Pushed
{
    std::int64_t clock;
    std::vector<float> values;
};

class LoadTransfer : public SimBench
{
protected:
    /// Starts the bench in genlock mode with the Fz threshold set, arms every
    /// plate and delivers `blocks` blocks.
    void Capture(const std::string& units, int blocks)
    {
        ASSERT_NO_FATAL_FAILURE(Start("[scenario]\ninit_polls = 1\n" + units));
        IParameterValueEnum mode = EnumValue("Genlock");
        ChangeSetting("SyncMode", mode, SyncModeId);
        IParameterValueDouble threshold = DoubleValue(Threshold);
        ChangeSetting("DataThreshold", threshold, DataThresholdId);
        ASSERT_TRUE(ArmAllAndWaitAcquiring());
        for (int delivered = 0; delivered < blocks;) {
            // No more than the backlog holds before the worker catches up.
            const int n = std::min(32, blocks - delivered);
            ASSERT_EQ(zorvasim::DeliverBlocks(n), n);
            delivered += n;
            ASSERT_TRUE(WaitUntil([&] {
                for (const PlatePtr& plate : Plates()) {
                    if (ServicesOf(plate)->PushCount() < static_cast<std::size_t>(delivered))
                        return false;
                }
                return true;
            }));
        }
        const zorvasim::Scenario bench = zorvasim::CurrentScenario();
        for (const PlatePtr& plate : Plates()) {
            for (const zorvasim::UnitSpec& unit : bench.units) {
                if (plate->Name() == unit.amplifierSerial + unit.platformSerial)
                    units_[plate->Name()] = unit;
            }
        }
    }

    const zorvasim::UnitSpec& UnitOf(const PlatePtr& plate) { return units_.at(plate->Name()); }

    std::vector<Pushed> PushedOf(const PlatePtr& plate)
    {
        std::vector<Pushed> blocks;
        for (const zorvahost::PushedBlock& block : ServicesOf(plate)->PushedBlocks())
            blocks.push_back({block.frame, block.values});
        return blocks;
    }

    /// Each sample's nine values against the load the unit had then: the
    /// force, its moment about the plate origin, the centre of pressure; zeros
    /// where the amplifier's Fz is within the threshold. Returns the samples
    /// that carried a load.
    int ExpectTheLoad(const PlatePtr& plate)
    {
        const zorvasim::UnitSpec& unit = UnitOf(plate);
        int loaded = 0;
        for (const Pushed& block : PushedOf(plate)) {
            for (int s = 0; s < 16; ++s) {
                const std::uint64_t clock = static_cast<std::uint64_t>(block.clock + s);
                const float* v = block.values.data() + s * 9;
                const zorvasim::PlateLoad load = zorvasim::LoadAt(unit.load, clock / 1000.0);
                const std::array<float, 6> reading = zorvasim::UnitReading(unit, clock, 1000);
                SCOPED_TRACE(plate->Name() + " sample " + std::to_string(clock));
                if (!(std::fabs(reading[2]) > Threshold)) {
                    EXPECT_EQ(std::vector<float>(v, v + 9), std::vector<float>(9, 0.0f));
                    continue;
                }
                ++loaded;
                const zorvasim::Vec3 f = load.Force();
                const zorvasim::Vec3 m = load.MomentAbout({0, 0, 0});
                zorvasim::Vec3 cop;
                EXPECT_TRUE(load.CentreOfPressure(cop));
                const double want[9] = {f.x, f.y, f.z, m.x, m.y, m.z, cop.x, cop.y, 0.0};
                // Single precision in the block and in the plugin: 1e-5 of the
                // value, and 10 micrometres for the centre of pressure.
                for (int i = 0; i < 6; ++i)
                    EXPECT_NEAR(v[i], want[i], 1e-3 + 1e-5 * std::fabs(want[i])) << "value " << i;
                for (int i = 6; i < 9; ++i)
                    EXPECT_NEAR(v[i], want[i], 1e-5) << "value " << i;
            }
        }
        return loaded;
    }

private:
    std::map<std::string, zorvasim::UnitSpec> units_;
};

// The first unit by hand. Offsets (1, 2, -1.5) in put the sensor origin at
// S = 0.0254 x (-1, 2, -1.5) = (-0.0254, 0.0508, -0.0381) m in the plate
// frame (x across, y along, z up), 38 mm below the surface. 20 kg at
// P = (0.1, -0.2): F = (0, 0, 196.133) N, P - S = (0.1254, -0.2508, 0.0381),
// (P - S) x F = (-0.2508 x 196.133, -0.1254 x 196.133, 0) = (-49.1902, -24.5951, 0).
// The amplifier's axes turn x and z: it reads F = (0, 0, -196.133),
// M = (49.1902, -24.5951, 0).
// The plugin's origin is (0.0254, 0.0508, 0.0381) m:
//   Cx = 0.0254 - (0.0381 x 0 + -24.5951) / -196.133 = 0.0254 - 0.1254 = -0.1, shown as 0.1;
//   Cy = (49.1902 - 0.0381 x 0) / -196.133 + 0.0508 = -0.2508 + 0.0508 = -0.2;
//   M + O x F = (49.1902 - 0.0508 x 196.133, -24.5951 + 0.0254 x 196.133, 0)
//             = (39.2266, -19.6133, 0), shown as (-39.2266, -19.6133, 0) = P x F.
TEST_F(LoadTransfer, Capture_WeightsAtKnownPoints_CentreOfPressureAndMomentComeBackToThem)
{
    const struct
    {
        const char* origin; ///< inches, as the library reports them
        const char* keys;
    } weights[] = {
        {"1 2 -1.5", "load = weight\nmass = 20\nat = 0.1 -0.2\n"},
        {"0 0 0", "load = weight\nmass = 80\nat = 0 0\n"},
        {"0 0 -1.61", "load = weight\nmass = 50\nat = -0.25 0.55\n"},
        {"0.12 -0.08 -2.2", "load = weight\nmass = 5\nat = 0.29 -0.59\n"},
        {"-3 1.5 -0.6", "load = weight\nmass = 100\nat = -0.12 0.31\n"},
    };
    std::string units;
    int n = 0;
    for (const auto& w : weights) {
        ++n;
        units += UnitText("W" + std::to_string(n), "A" + std::to_string(n), w.origin, w.keys);
    }
    ASSERT_NO_FATAL_FAILURE(Capture(units, 2));
    ASSERT_EQ(Plates().size(), 5u);

    for (const PlatePtr& plate : Plates())
        EXPECT_EQ(ExpectTheLoad(plate), 32) << plate->Name();
    // The unit worked out by hand, in the host's terms.
    const PlatePtr first = Plates().at(0);
    ASSERT_EQ(first->Name(), "A1PA1");
    const std::vector<float> values = PushedOf(first).at(0).values;
    const float byHand[9] = {0, 0, 196.133f, -39.2266f, -19.6133f, 0, 0.1f, -0.2f, 0};
    for (std::size_t i = 0; i < 9; ++i)
        EXPECT_NEAR(values[i], byHand[i], 2e-4) << "value " << i;
}

TEST_F(LoadTransfer, Capture_PeopleWalking_ForceMomentAndCentreOfPressureFollowTheirFeet)
{
    // A walk across one plate (two steps, left then right, 0.3 s away), a
    // treadmill plate under both feet and one under the left foot only, each
    // with its sensor origin off centre and below the surface.
    const std::string units =
        UnitText("Walk", "A1", "0.2 -0.1 -1.6", "load = walk\nat = 0.02 -0.5\nstep_count = 2\naway = 0.3\n") +
        UnitText("Both", "A2", "-0.5 0.3 -2.4", "load = treadmill\nmass = 90\nat = 0 0.2\nfoot = both\n") +
        UnitText("Left", "A3", "0 0 -1.9", "load = treadmill\nat = 0 -0.2\ndirection = -y\nfoot = left\n");
    // 2.05 s: the walk's whole pass and its return, nearly two strides.
    ASSERT_NO_FATAL_FAILURE(Capture(units, 128));
    ASSERT_EQ(Plates().size(), 3u);

    // Loaded but for a few samples about each heel strike and toe-off: the
    // walk for 1.2 s of each 1.5 s pass (all of the first, 0.548 s of the
    // second), the left foot for 0.65 s of each 1.1 s stride; both feet always.
    const std::vector<PlatePtr> plates = Plates();
    const int walk = ExpectTheLoad(plates[0]);
    EXPECT_GT(walk, 1200 + 548 - 20);
    EXPECT_LE(walk, 1200 + 548);
    EXPECT_EQ(ExpectTheLoad(plates[1]), 2048);
    const int left = ExpectTheLoad(plates[2]);
    EXPECT_GT(left, 2 * 650 - 20);
    EXPECT_LE(left, 2 * 650);
}

} // namespace
