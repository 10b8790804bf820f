// Scenario texts: the built-in default, the shipped examples, every key, the
// malformed cases and the choice through ZORVA_SIM_SCENARIO.
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <sstream>
#include <unistd.h>

namespace {

using namespace zorvasim;
using simtest::SimTest;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string ScenarioPath(const std::string& name) { return std::string(ZORVA_SIM_SCENARIO_DIR) + "/" + name; }

TEST(ScenarioTest, DefaultScenario_ShippedDefaultFile_DescribesTheSameBench)
{
    Scenario parsed;
    std::string error;
    ASSERT_TRUE(ParseScenario(ReadFile(ScenarioPath("default.ini")), parsed, error)) << error;
    EXPECT_TRUE(parsed == DefaultScenario());
}

TEST(ScenarioTest, DefaultScenario_TwoPlates_AreValidAndDistinct)
{
    const Scenario s = DefaultScenario();
    std::string error;
    EXPECT_TRUE(ValidateScenario(s, error)) << error;
    ASSERT_EQ(s.units.size(), 2u);
    EXPECT_EQ(s.units[0].productType, 100);
    EXPECT_EQ(s.units[1].productType, 300);
    EXPECT_NE(s.units[0].amplifierSerial, s.units[1].amplifierSerial);
    EXPECT_NE(s.units[0].platformSerial, s.units[1].platformSerial);
    EXPECT_EQ(s.initPolls, 3);
    EXPECT_EQ(s.setupCode, 1);
}

class ShippedScenarioTest : public ::testing::TestWithParam<const char*>
{};

TEST_P(ShippedScenarioTest, ParseScenario_ShippedExample_IsValid)
{
    Scenario s;
    std::string error;
    EXPECT_TRUE(ParseScenario(ReadFile(ScenarioPath(GetParam())), s, error)) << GetParam() << ": " << error;
    EXPECT_FALSE(s.units.empty());
}

INSTANTIATE_TEST_SUITE_P(Examples, ShippedScenarioTest,
                         ::testing::Values("default.ini", "celvo-pending.ini", "never-starts.ini", "walking.ini",
                                           "treadmill.ini", "standing.ini", "clean-bench.ini", "type-100-bench.ini",
                                           "../../examples/bench.ini"));

TEST(ScenarioTest, ParseScenario_EveryKey_FillsEveryField)
{
    // CRLF line ends, comments, commas and spaces as separators.
    const std::string text = "; comment\r\n"
                             "# another\r\n"
                             "[scenario]\r\n"
                             "name = bench 7\r\n"
                             "init_polls = never\r\n"
                             "setup_code = 215\r\n"
                             "rate = 500\r\n"
                             "counter_start = 16777200\r\n"
                             "backlog = 8\r\n"
                             "clock_ppm = -2500.5\r\n"
                             "lost_block_every = 40\r\n"
                             "[unit  Front left ]\r\n"
                             "product_type = 400\r\n"
                             "amplifier_model = ZDA-400 rev B\r\n"
                             "amplifier_serial = S-1\r\n"
                             "firmware_version = 9.9\r\n"
                             "platform_model = Hallon TREADMILL\r\n"
                             "platform_serial = PS-1\r\n"
                             "origin = 1.5, -2.25, -0.5\r\n"
                             "length = 47.244\r\n"
                             "width = abc\r\n"
                             "plugged = no\r\n"
                             "unplug_at_init = 3\r\n"
                             "calibration_pending = yes\r\n"
                             "cal_download_result = 0\r\n"
                             "cal_complete_results = 0, 0, 4\r\n"
                             "load = steps\r\n"
                             "force = 1 2 -300\r\n"
                             "moment = 4 5 6\r\n"
                             "offset = 0.5 0 1 0 0 -1\r\n"
                             "step_on = 10\r\n"
                             "step_off = 5\r\n"
                             "trigger_idle = 5\r\n"
                             "trigger_active = 0\r\n"
                             "trigger_from = 40\r\n"
                             "trigger_samples = 3\r\n"
                             "[unit B]\r\n"
                             "force = 0 0 -10\r\n";
    Scenario s;
    std::string error;
    ASSERT_TRUE(ParseScenario(text, s, error)) << error;
    EXPECT_EQ(s.name, "bench 7");
    EXPECT_EQ(s.initPolls, 0);
    EXPECT_EQ(s.setupCode, 215);
    EXPECT_EQ(s.rate, 500);
    EXPECT_EQ(s.counterStart, 16777200u);
    EXPECT_EQ(s.backlogBlocks, 8);
    EXPECT_EQ(s.clockPpm, -2500.5);
    EXPECT_EQ(s.lostBlockEvery, 40);
    ASSERT_EQ(s.units.size(), 2u);

    const UnitSpec& u = s.units[0];
    EXPECT_EQ(u.name, "Front left");
    EXPECT_EQ(u.productType, 400);
    EXPECT_EQ(u.amplifierModel, "ZDA-400 rev B");
    EXPECT_EQ(u.amplifierSerial, "S-1");
    EXPECT_EQ(u.firmwareVersion, "9.9");
    EXPECT_EQ(u.platformModel, "Hallon TREADMILL");
    EXPECT_EQ(u.platformSerial, "PS-1");
    EXPECT_EQ(u.originOffsets, (std::array<float, 3>{1.5f, -2.25f, -0.5f}));
    EXPECT_EQ(u.platformLength, "47.244");
    EXPECT_EQ(u.platformWidth, "abc"); // texts pass as they are
    EXPECT_FALSE(u.plugged);
    EXPECT_EQ(u.unplugAtInit, 3);
    EXPECT_TRUE(u.calibrationPending);
    EXPECT_EQ(u.calDownloadResult, 0);
    EXPECT_EQ(u.calCompleteResults, (std::vector<int>{0, 0, 4}));
    EXPECT_EQ(u.load.kind, LoadKind::Steps);
    EXPECT_EQ(u.load.load, (std::array<float, 6>{1, 2, -300, 4, 5, 6}));
    EXPECT_EQ(u.load.offset, (std::array<float, 6>{0.5f, 0, 1, 0, 0, -1}));
    EXPECT_EQ(u.load.stepOn, 10u);
    EXPECT_EQ(u.load.stepOff, 5u);
    EXPECT_EQ(u.trigger, (TriggerProfile{5.0f, 0.0f, 40, 3}));

    // A force without `load` means a static load; unset keys keep their defaults.
    const UnitSpec& b = s.units[1];
    EXPECT_EQ(b.load.kind, LoadKind::Static);
    EXPECT_EQ(b.productType, 100);
    EXPECT_TRUE(b.plugged);
    EXPECT_EQ(b.calCompleteResults, (std::vector<int>{1}));
    EXPECT_EQ(b.trigger, TriggerProfile{});
}

TEST(ScenarioTest, ParseScenario_BodyLoadKeys_FillTheProfile)
{
    const std::string text = "[unit W]\n"
                             "length = 70.866\n"
                             "width = 23.622\n"
                             "load = walk\n"
                             "mass = 82.5\n"
                             "at = 0.05, 0.8\n"
                             "direction = -y\n"
                             "step_time = 0.6\n"
                             "stance = 0.7\n"
                             "step_length = 0.75\n"
                             "step_width = 0.1\n"
                             "foot_length = 0.24\n"
                             "foot = right\n"
                             "step_count = 2\n"
                             "away = 1.5\n"
                             "start = 1.1\n"
                             "noise = 0.5 0.5 1 0.01 0.01 0.002\n"
                             "drift = 0.1 0 -0.2 0 0 0\n"
                             "seed = 42\n"
                             "[unit T]\n"
                             "load = treadmill\n"
                             "foot = both\n"
                             "[unit S]\n"
                             "load = stand\n"
                             "share = 0.5\n"
                             "sway = 0.005\n"
                             "[unit K]\n"
                             "load = weight\n"
                             "mass = 20\n"
                             "at = 0.1 -0.2\n";
    Scenario s;
    std::string error;
    ASSERT_TRUE(ParseScenario(text, s, error)) << error;
    ASSERT_EQ(s.units.size(), 4u);

    const LoadProfile& w = s.units[0].load;
    EXPECT_EQ(w.kind, LoadKind::Walk);
    EXPECT_EQ(w.mass, 82.5f);
    EXPECT_EQ(w.at, (std::array<float, 2>{0.05f, 0.8f}));
    EXPECT_EQ(w.direction, Direction::MinusY);
    EXPECT_EQ(w.stepTime, 0.6f);
    EXPECT_EQ(w.stance, 0.7f);
    EXPECT_EQ(w.stepLength, 0.75f);
    EXPECT_EQ(w.stepWidth, 0.1f);
    EXPECT_EQ(w.footLength, 0.24f);
    EXPECT_EQ(w.foot, Foot::Right);
    EXPECT_EQ(w.stepCount, 2u);
    EXPECT_EQ(w.away, 1.5f);
    EXPECT_EQ(w.start, 1.1f);
    EXPECT_EQ(w.noise, (std::array<float, 6>{0.5f, 0.5f, 1, 0.01f, 0.01f, 0.002f}));
    EXPECT_EQ(w.drift, (std::array<float, 6>{0.1f, 0, -0.2f, 0, 0, 0}));
    EXPECT_EQ(w.seed, 42u);

    // Keys left out keep the defaults: a 75 kg walker's 0.55 s steps.
    LoadProfile t;
    t.kind = LoadKind::Treadmill;
    t.foot = Foot::Both;
    EXPECT_TRUE(s.units[1].load == t);
    EXPECT_EQ(s.units[1].load.stepTime, 0.55f);
    EXPECT_EQ(s.units[1].load.mass, 75.0f);

    EXPECT_EQ(s.units[2].load.kind, LoadKind::Stand);
    EXPECT_EQ(s.units[2].load.share, 0.5f);
    EXPECT_EQ(s.units[2].load.sway, 0.005f);
    EXPECT_EQ(s.units[3].load.kind, LoadKind::Weight);
    EXPECT_EQ(s.units[3].load.mass, 20.0f);
    EXPECT_EQ(s.units[3].load.at, (std::array<float, 2>{0.1f, -0.2f}));
}

TEST(ScenarioTest, ParseScenario_NoUnits_GivesAnEmptyBench)
{
    Scenario s;
    std::string error;
    ASSERT_TRUE(ParseScenario("[scenario]\nsetup_code = 0\n", s, error)) << error;
    EXPECT_TRUE(s.units.empty());
    EXPECT_EQ(s.setupCode, 0);
}

struct MalformedCase
{
    const char* label;
    std::string text;
    const char* expected; // part of the error message
};

std::ostream& operator<<(std::ostream& os, const MalformedCase& c) { return os << c.label; }

std::string ManyUnits(std::size_t n)
{
    std::string text;
    for (std::size_t i = 0; i < n; ++i)
        text += "[unit " + std::to_string(i) + "]\nproduct_type = 100\n";
    return text;
}

class MalformedScenarioTest : public ::testing::TestWithParam<MalformedCase>
{};

TEST_P(MalformedScenarioTest, ParseScenario_Malformed_FailsSayingWhereAndKeepsOutput)
{
    Scenario out = DefaultScenario();
    std::string error;
    EXPECT_FALSE(ParseScenario(GetParam().text, out, error));
    EXPECT_NE(error.find(GetParam().expected), std::string::npos) << "error: " << error;
    EXPECT_TRUE(out == DefaultScenario());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedScenarioTest,
    ::testing::Values(
        MalformedCase{"NotANumber", "[scenario]\nrate = fast\n",
                      "[scenario] rate: expected a whole number, got \"fast\""},
        MalformedCase{"RateZero", "[scenario]\nrate = 0\n", "rate: expected 1 to 20000"},
        MalformedCase{"TrailingText", "[unit A]\nproduct_type = 100x\n", "product_type: expected a whole number"},
        MalformedCase{"Fraction", "[unit A]\nproduct_type = 1.5\n", "product_type: expected a whole number"},
        MalformedCase{"PollsZero", "[scenario]\ninit_polls = 0\n",
                      "init_polls: expected a poll number from 1, or never"},
        MalformedCase{"CounterTooBig", "[scenario]\ncounter_start = 16777216\n",
                      "counter_start: expected 0 to 16777215"},
        MalformedCase{"BacklogTooBig", "[scenario]\nbacklog = 1025\n", "backlog: expected 1 to 1024"},
        MalformedCase{"ClockFarOff", "[scenario]\nclock_ppm = 200000\n", "clock_ppm must be -100000 to 100000"},
        MalformedCase{"ClockNotANumber", "[scenario]\nclock_ppm = slow\n", "clock_ppm: expected a number"},
        MalformedCase{"EveryBlockLost", "[scenario]\nlost_block_every = 1\n",
                      "lost_block_every must be 0 (none) or 2 or more"},
        MalformedCase{"UnpluggedFromTheFirstInit", "[unit A]\nunplug_at_init = 1\n",
                      "[unit A] unplug_at_init must be 0 (never) or 2 or more"},
        MalformedCase{"TwoOffsets", "[unit A]\norigin = 1 2\n", "[unit A] origin: expected 3 numbers"},
        MalformedCase{"NanForce", "[unit A]\nforce = 1 2 nan\n", "force: expected 3 numbers"},
        MalformedCase{"HugeForce", "[unit A]\nforce = 1 2 1e50\n", "force: expected 3 numbers"},
        MalformedCase{"FiveOffsets", "[unit A]\noffset = 1 2 3 4 5\n", "offset: expected 6 numbers"},
        MalformedCase{"BadBool", "[unit A]\nplugged = maybe\n", "plugged: expected true or false"},
        MalformedCase{"BadLoad", "[unit A]\nload = heavy\n",
                      "load: expected none, static, steps, weight, walk, treadmill or stand"},
        MalformedCase{"StepsWithoutLength", "[unit A]\nload = steps\n",
                      "[unit A] load steps needs step_on or step_off"},
        MalformedCase{"EmptyResults", "[unit A]\ncal_complete_results =\n",
                      "cal_complete_results: expected one or more"},
        MalformedCase{"TriggerBelowNever", "[unit A]\ntrigger_from = -2\n", "trigger_from: expected -1 to"},
        MalformedCase{"UnknownKey", "[unit A]\nlod = static\n", "[unit A] unknown key \"lod\""},
        MalformedCase{"UnknownSection", "[plates]\nx = 1\n", "unknown section [plates]"},
        MalformedCase{"KeyOutsideSection", "rate = 5\n[scenario]\nname = x\n", "key \"rate\" outside a section"},
        MalformedCase{"UnmatchedBracket", "[unit A\nx = 1\n", "line 1: unmatched '['"},
        MalformedCase{"NoEquals", "[unit A]\nproduct_type 100\n", "line 2: '=' character not found"},
        MalformedCase{"DuplicateSection", "[unit A]\nproduct_type = 1\n[unit A]\nproduct_type = 2\n",
                      "line 3: duplicate section name"},
        MalformedCase{"DuplicateKey", "[scenario]\nrate = 1000\nrate = 2000\n", "line 3: duplicate key name"},
        MalformedCase{"TooManyUnits", ManyUnits(65), "at most 64 units"},
        // The body loads.
        MalformedCase{"KeyOfAnotherLoad", "[unit A]\nload = static\nstep_time = 0.5\n",
                      "[unit A] step_time: load static does not take it (walk and treadmill do)"},
        MalformedCase{"ForceOnAWalk", "[unit A]\nforce = 0 0 -700\nload = walk\n",
                      "force: load walk does not take it (static and steps do)"},
        MalformedCase{"MassWithoutLoad", "[unit A]\nmass = 70\n",
                      "mass: load none does not take it (weight, walk, treadmill and stand do)"},
        MalformedCase{"BadDirection", "[unit A]\nload = walk\ndirection = north\n",
                      "direction: expected +x, -x, +y or -y, got \"north\""},
        MalformedCase{"BadFoot", "[unit A]\nload = treadmill\nfoot = middle\n", "foot: expected left, right or both"},
        MalformedCase{"WalkOnBothFeet", "[unit A]\nload = walk\nfoot = both\n",
                      "[unit A] load walk: foot must be left or right"},
        MalformedCase{"StancesOverlap", "[unit A]\nload = treadmill\nstep_time = 0.5\nstance = 1.0\n",
                      "[unit A] load treadmill: stance must be above 0 and below twice step_time"},
        MalformedCase{"NoStepTime", "[unit A]\nload = walk\nstep_time = 0\n", "load walk: step_time must be above 0"},
        MalformedCase{"NegativeFootLength", "[unit A]\nload = walk\nfoot_length = -0.2\n",
                      "load walk: step_length, step_width and foot_length must be 0 or more"},
        MalformedCase{"NoStepInAPass", "[unit A]\nload = walk\nstep_count = 0\n", "step_count: expected 1 to 1000"},
        MalformedCase{"NegativeAway", "[unit A]\nload = walk\naway = -1\n", "load walk: away must be 0 or more"},
        MalformedCase{"MasslessWeight", "[unit A]\nload = weight\nmass = 0\n",
                      "[unit A] load weight: mass must be above 0"},
        MalformedCase{"ShareAboveOne", "[unit A]\nload = stand\nshare = 1.5\n",
                      "load stand: share must be above 0 and at most 1"},
        MalformedCase{"SwayTooFar", "[unit A]\nload = stand\nsway = 0.5\n", "load stand: sway must be 0 to 0.1 m"},
        MalformedCase{"PointOfOneNumber", "[unit A]\nload = weight\nat = 0.1\n", "at: expected 2 numbers"},
        MalformedCase{"NegativeNoise", "[unit A]\nnoise = 0 0 -1 0 0 0\n", "load none: noise must be 0 or more"},
        MalformedCase{"FiveDrifts", "[unit A]\ndrift = 1 2 3 4 5\n", "drift: expected 6 numbers"},
        MalformedCase{"NegativeSeed", "[unit A]\nseed = -1\n", "seed: expected 0 to"},
        MalformedCase{"WeightOffThePlate", "[unit A]\nlength = 23.622\nwidth = 15.748\nload = weight\nat = 0.25 0\n",
                      "[unit A] load weight: the centre of pressure leaves the plate, at x 0.25 m, y 0 m (the plate "
                      "reaches to x +-0.2 m, y +-0.3 m)"},
        MalformedCase{"WalkOffThePlate", "[unit A]\nlength = 23.622\nwidth = 15.748\nload = walk\nat = 0 -0.2\n",
                      "[unit A] load walk: the centre of pressure leaves the plate"}));

TEST(ScenarioTest, ParseScenario_SixtyFourUnits_IsTheLimitNotAnError)
{
    Scenario s;
    std::string error;
    EXPECT_TRUE(ParseScenario(ManyUnits(64), s, error)) << error;
    EXPECT_EQ(s.units.size(), 64u);
}

TEST(ScenarioTest, ValidateScenario_OutOfRangeStruct_IsRefusedByLoadScenario)
{
    Reset();
    Scenario bad = DefaultScenario();
    bad.name = "bad";
    bad.rate = 0;
    std::string error;
    EXPECT_FALSE(LoadScenario(bad, &error));
    EXPECT_NE(error.find("rate"), std::string::npos) << error;
    EXPECT_EQ(CurrentScenario().name, DefaultScenario().name);

    bad = DefaultScenario();
    bad.units[1].calCompleteResults.clear();
    EXPECT_FALSE(LoadScenario(bad, &error));
    EXPECT_NE(error.find("cal_complete_results"), std::string::npos) << error;

    // What the reader cannot produce: a number that is not one.
    bad = DefaultScenario();
    bad.units[0].load.kind = LoadKind::Walk;
    bad.units[0].load.stance = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(LoadScenario(bad, &error));
    EXPECT_NE(error.find("[unit Left] load walk: every value must be a finite number"), std::string::npos) << error;
    EXPECT_EQ(CurrentScenario().name, DefaultScenario().name);
}

// ---------------------------------------------------------------- the environment

class EnvironmentScenarioTest : public SimTest
{
protected:
    void TearDown() override
    {
        SimTest::TearDown();
        if (!path_.empty())
            std::remove(path_.c_str());
    }

    std::string WriteTemp(const std::string& content)
    {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        path_ = ::testing::TempDir() + "zorvasim_" + std::to_string(getpid()) + "_" + name + ".ini";
        std::ofstream(path_, std::ios::binary) << content;
        return path_;
    }

    std::string path_;
};

TEST_F(EnvironmentScenarioTest, Reset_EnvironmentNamesValidFile_LibraryRunsThatBench)
{
    const std::string path = WriteTemp(simtest::OneUnit("", "product_type = 300\namplifier_model = From file"));
    SetEnvironment("ZORVA_SIM_SCENARIO", path.c_str());
    Reset();

    EXPECT_EQ(ScenarioOrigin(), "file " + path);
    EXPECT_EQ(ScenarioFallbackMessage(), "");
    ASSERT_TRUE(simtest::InitLibrary());
    ASSERT_EQ(fmDLLGetDeviceCount(), 1);
    fmDLLSelectDeviceIndex(0);
    char text[ZORVA_USB_TEXT_SIZE];
    fmGetAmplifierModelNumber(text);
    EXPECT_STREQ(text, "From file");
    EXPECT_EQ(fmGetProductType(), 300);
}

struct BadFileCase
{
    const char* label;
    const char* content; // null: the file does not exist
    const char* reason;
};

std::ostream& operator<<(std::ostream& os, const BadFileCase& c) { return os << c.label; }

class BadEnvironmentFileTest : public EnvironmentScenarioTest, public ::testing::WithParamInterface<BadFileCase>
{};

TEST_P(BadEnvironmentFileTest, Reset_EnvironmentFileUnusable_FallsBackToDefaultAndSaysWhy)
{
    const BadFileCase& c = GetParam();
    std::string path = WriteTemp(c.content ? c.content : "");
    if (!c.content) {
        std::remove(path.c_str());
        path_.clear();
    }
    SetEnvironment("ZORVA_SIM_SCENARIO", path.c_str());

    ::testing::internal::CaptureStderr();
    Reset();
    const std::string printed = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(ScenarioOrigin(), "built-in");
    EXPECT_TRUE(CurrentScenario() == DefaultScenario());
    const std::string message = ScenarioFallbackMessage();
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    EXPECT_NE(printed.find(message), std::string::npos) << printed;
    ASSERT_TRUE(simtest::InitLibrary());
    EXPECT_EQ(fmDLLGetDeviceCount(), 2);
}

INSTANTIATE_TEST_SUITE_P(Cases, BadEnvironmentFileTest,
                         ::testing::Values(BadFileCase{"Missing", nullptr, "cannot open it"},
                                           BadFileCase{"BadValue", "[scenario]\nrate = -1\n",
                                                       "rate: expected 1 to 20000"},
                                           BadFileCase{"Binary", "\x01\x02[\xff", "line 1"},
                                           BadFileCase{"BadSyntax", "[unit A]\nno equals sign\n", "line 2"}));

TEST_F(EnvironmentScenarioTest, LoadScenarioFile_Malformed_KeepsCurrentScenario)
{
    const std::string path = WriteTemp("[unit A]\nforce = 1\n");
    std::string error;
    EXPECT_FALSE(LoadScenarioFile(path, &error));
    EXPECT_NE(error.find("force: expected 3 numbers"), std::string::npos) << error;
    EXPECT_EQ(ScenarioOrigin(), "built-in");

    EXPECT_FALSE(LoadScenarioFile(path + ".missing", &error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;

    ASSERT_TRUE(LoadScenarioFile(ScenarioPath("celvo-pending.ini"), &error)) << error;
    EXPECT_EQ(CurrentScenario().name, "celvo calibration pending");
    EXPECT_EQ(ScenarioOrigin(), "file " + ScenarioPath("celvo-pending.ini"));
}

} // namespace
