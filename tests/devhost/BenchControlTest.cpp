// The simulated bench as the development host finds it at run time: the USB
// library's plain C controls, and units named by section name or position.
#include "devhost/engine/BenchControl.h"

#include "simusb/SimControl.h"

#include <gtest/gtest.h>

using namespace zorvahost;

namespace {

class Bench : public ::testing::Test
{
protected:
    void SetUp() override
    {
        zorvasim::Reset();
        // A unit named "1" at position 0: names come before positions.
        ASSERT_TRUE(zorvasim::LoadScenarioText("[scenario]\nname = three\n"
                                               "[unit 1]\namplifier_serial = ZA1\nplatform_model = M1\n"
                                               "platform_serial = P1\n"
                                               "[unit Left]\namplifier_serial = ZA2\n"
                                               "[unit Right]\nplugged = false\n"));
    }
    void TearDown() override { zorvasim::Reset(); }
};

} // namespace

TEST_F(Bench, Controls_FoundInTheLoadedLibrary)
{
    const BenchControl bench;
    ASSERT_TRUE(bench.Available());
    EXPECT_EQ(bench.UnitCount(), 3);
    EXPECT_EQ(bench.UnitName(1), "Left");
    EXPECT_EQ(bench.UnitIdentity(0), "ZA1 / M1 P1");
    EXPECT_EQ(bench.UnitName(3), "");
    EXPECT_NE(bench.Description().find("text: three"), std::string::npos) << bench.Description();
}

TEST_F(Bench, ResolveUnit_NameBeforePosition)
{
    const BenchControl bench;
    struct Case
    {
        const char* target;
        int unit;
    };
    const Case cases[] = {{"Left", 1}, {"Right", 2}, {"1", 0}, {"2", 2}, {"0", 0}};
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(bench.ResolveUnit(c.target, error), c.unit) << c.target << ": " << error;
    }
    for (const char* unknown : {"left", "3", "-1", "", "Left "}) {
        std::string error;
        EXPECT_EQ(bench.ResolveUnit(unknown, error), -1) << unknown;
        EXPECT_NE(error.find("its units are: 0 (1) 1 (Left) 2 (Right)"), std::string::npos) << error;
    }
}

TEST_F(Bench, SetPlugged_SeenByTheScenario)
{
    const BenchControl bench;
    EXPECT_TRUE(bench.Plugged(0));
    EXPECT_FALSE(bench.Plugged(2));
    EXPECT_TRUE(bench.SetPlugged(0, false));
    EXPECT_TRUE(bench.SetPlugged(2, true));
    EXPECT_FALSE(zorvasim::CurrentScenario().units[0].plugged);
    EXPECT_TRUE(zorvasim::CurrentScenario().units[2].plugged);
    EXPECT_FALSE(bench.SetPlugged(3, true));
    EXPECT_FALSE(bench.Plugged(-1));
}

TEST_F(Bench, PlaceWeightAndPulseTrigger_ChangeTheScenario)
{
    const BenchControl bench;
    EXPECT_EQ(bench.FindUnit("ZA1", "M1", "P1"), 0);
    EXPECT_EQ(bench.FindUnit("ZA2", "", ""), 1);
    EXPECT_EQ(bench.FindUnit("ZA1", "M1", "P2"), -1);

    ASSERT_TRUE(bench.PlaceWeight(1, 20.0, 0.1, -0.05));
    zorvasim::LoadProfile load = zorvasim::CurrentScenario().units[1].load;
    EXPECT_EQ(load.kind, zorvasim::LoadKind::Weight);
    EXPECT_EQ(load.mass, 20.0f);
    EXPECT_EQ(load.at, (std::array<float, 2>{0.1f, -0.05f}));
    ASSERT_TRUE(bench.PlaceWeight(1, 0.0, 0.0, 0.0));
    EXPECT_EQ(zorvasim::CurrentScenario().units[1].load.kind, zorvasim::LoadKind::None);
    EXPECT_FALSE(bench.PlaceWeight(5, 20.0, 0.0, 0.0));

    ASSERT_TRUE(bench.PulseTrigger(4));
    for (const zorvasim::UnitSpec& unit : zorvasim::CurrentScenario().units)
        EXPECT_EQ(unit.trigger.samples, 4u);
}

TEST(BenchControlText, ParseIndex_WholeDecimalsOnly)
{
    EXPECT_EQ(ParseIndex("0"), 0);
    EXPECT_EQ(ParseIndex("12"), 12);
    for (const char* bad : {"", "-1", "+1", "1a", " 1", "1.0", "9999999"})
        EXPECT_EQ(ParseIndex(bad), -1) << bad;
}
