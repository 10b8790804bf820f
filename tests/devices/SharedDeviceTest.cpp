// The shared configuration device without a driver: arming and the states it
// reports, the driver's acquisition reports, the settings it applies, and the
// acquisition rate it reconciles with what the detected units support.
#include "DevicesTestSupport.h"

#include "definitions/VSharedConfigDefinition.h"
#include "plugin/Plugin.h"

#include <algorithm>
#include <set>

using namespace devtest;
using namespace MoldraDigitalDevice;

namespace {

const unsigned int TickRate = 3600000; // divisible by every rate the cases choose

std::string TicksCall(unsigned int rate) { return "SetTicksPerSample(" + std::to_string(TickRate / rate) + ")"; }

bool Contains(const Lines& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::vector<DeviceInfo> UnitsOfTypes(const std::vector<int>& types)
{
    std::vector<DeviceInfo> units;
    for (std::size_t i = 0; i < types.size(); ++i) {
        const std::string n = std::to_string(i);
        units.push_back(Unit("A" + n, "P" + n, static_cast<int>(i), types[i]));
    }
    return units;
}

// ---------------------------------------------------------------- arming and states

TEST_F(DeviceBench, GetState_BeforeAnyArm_StoppedAndRearmRequired)
{
    EXPECT_EQ(SharedState(), ZORVA::DeviceState::Stopped);
    EXPECT_TRUE(SharedRearmRequired());
}

TEST_F(DeviceBench, Arm_BeforeAnyDetection_FalseAndStopped)
{
    EXPECT_FALSE(shared->Arm(1, nullptr));
    EXPECT_EQ(SharedState(), ZORVA::DeviceState::Stopped);
    EXPECT_FALSE(SharedRearmRequired());
    EXPECT_TRUE(pauses.empty());
}

TEST_F(DeviceBench, Arm_DetectionTimedOut_FalseUntilALaterDetectionSucceeds)
{
    Detect({Unit("A1", "P7", 0)}, TimedOut());
    // The list of a timed-out start-up is still processed.
    ASSERT_EQ(Plates().size(), 1u);
    EXPECT_FALSE(shared->Arm(1, nullptr));
    EXPECT_EQ(SharedState(), ZORVA::DeviceState::Stopped);

    Detect({Unit("A1", "P7", 0)});
    EXPECT_TRUE(shared->Arm(1, nullptr));
}

TEST_F(DeviceBench, Arm_OnlyUnsupportedUnits_False)
{
    Detect({Unit("A1", "P7", 0, 200)});
    EXPECT_FALSE(shared->Arm(1, nullptr));
    EXPECT_EQ(SharedState(), ZORVA::DeviceState::Stopped);
}

TEST_F(DeviceBench, Arm_AfterDetection_ArmedPausesHalfASecondClearsRearm)
{
    Detect({Unit("A1", "P7", 0)});
    EXPECT_TRUE(SharedRearmRequired());
    EXPECT_TRUE(shared->Arm(1, nullptr));
    EXPECT_EQ(SharedState(), ZORVA::DeviceState::Armed);
    EXPECT_FALSE(SharedRearmRequired());
    // Reading clears nothing.
    EXPECT_EQ(SharedState(), ZORVA::DeviceState::Armed);
    EXPECT_FALSE(SharedRearmRequired());
    EXPECT_EQ(pauses, (std::vector<unsigned int>{500}));
}

TEST_F(DeviceBench, OnAcquisitionStateChanged_ArmStartStop_StatesFollowReports)
{
    Detect({Unit("A1", "P1", 0), Unit("A2", "P2", 1)});
    ASSERT_TRUE(ArmAll(false));
    const int notified = sharedServices.NotifyCount();

    // The stop that Arm queues before its start leaves the armed state alone.
    shared->OnAcquisitionStateChanged(false);
    EXPECT_EQ(SharedState(), ZORVA::DeviceState::Armed);
    for (const PlatePtr& plate : Plates())
        EXPECT_EQ(PlateState(plate), ZORVA::DeviceState::Armed);
    EXPECT_FALSE(SharedRearmRequired());

    shared->OnAcquisitionStateChanged(true);
    EXPECT_EQ(SharedState(), ZORVA::DeviceState::Acquiring);
    for (const PlatePtr& plate : Plates())
        EXPECT_EQ(PlateState(plate), ZORVA::DeviceState::Acquiring);
    EXPECT_FALSE(SharedRearmRequired());

    // Stopped while running (a rate change, a blink): re-arm needed.
    shared->OnAcquisitionStateChanged(false);
    EXPECT_EQ(SharedState(), ZORVA::DeviceState::Stopped);
    for (const PlatePtr& plate : Plates())
        EXPECT_EQ(PlateState(plate), ZORVA::DeviceState::Stopped);
    EXPECT_TRUE(SharedRearmRequired());
    EXPECT_EQ(sharedServices.NotifyCount(), notified + 3);
}

TEST_F(DeviceBench, Disarm_WhileAcquiring_StoppedAndLaterStopReportNeedsNoRearm)
{
    Detect({Unit("A1", "P7", 0)});
    ASSERT_TRUE(ArmAll());
    shared->OnAcquisitionStateChanged(true);
    shared->Disarm();
    EXPECT_EQ(SharedState(), ZORVA::DeviceState::Stopped);
    EXPECT_EQ(PlateState(Plates()[0]), ZORVA::DeviceState::Stopped);

    shared->OnAcquisitionStateChanged(false);
    EXPECT_FALSE(SharedRearmRequired());
}

TEST_F(DeviceBench, Detect_AfterArm_RearmRequiredAndHostNotified)
{
    Detect({Unit("A1", "P7", 0)});
    ASSERT_TRUE(ArmAll());
    const int notified = sharedServices.NotifyCount();
    Detect({Unit("A1", "P7", 0)});
    EXPECT_TRUE(SharedRearmRequired());
    EXPECT_EQ(sharedServices.NotifyCount(), notified + 1);
}

// ---------------------------------------------------------------- settings

struct SyncModeCase
{
    const char* name;
    const char* text;
    bool syncInput;       ///< the first plate declares the sync port (hardware trigger)
    bool transfersAtOnce; ///< blocks flow without start time or marker (genlock)
};

void PrintTo(const SyncModeCase& c, std::ostream* os) { *os << c.name; }

class SyncModeText : public DeviceBench, public ::testing::WithParamInterface<SyncModeCase>
{};

const SyncModeCase SyncModeCases[] = {
    {"Software", "Software trigger", false, false},
    {"Hardware", "Hardware trigger", true, false},
    {"Genlock", "Genlock", false, true},
    // Exact, case-sensitive texts; anything else is software trigger.
    {"LowerCase", "genlock", false, false},
    {"TrailingSpace", "Hardware trigger ", false, false},
    {"Empty", "", false, false},
};

TEST_P(SyncModeText, ParametersChanged_SyncMode_PlatesFollowTheMode)
{
    const SyncModeCase& c = GetParam();
    Detect({Unit("A1", "P7", 0)});
    ChangeSyncMode("Genlock"); // a different mode before, so each case changes something
    ChangeSyncMode(c.text);
    const std::size_t before = host.Calls().size();
    ASSERT_TRUE(ArmAll());
    Block block(1);
    shared->OnDataReady(block.Data());

    const Lines calls = CallsSince(host, before);
    EXPECT_EQ(Contains(calls, "AddSyncInput(\"Sync Port\", 1, 1500, 0, 0, true)"), c.syncInput);
    EXPECT_EQ(Pushed(Plates()[0]).size(), c.transfersAtOnce ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, SyncModeText, ::testing::ValuesIn(SyncModeCases),
                         [](const ::testing::TestParamInfo<SyncModeCase>& info) { return info.param.name; });

TEST_F(DeviceBench, ParametersChanged_SeveralIds_EachActsInOrder)
{
    Detect({Unit("A1", "P7", 0)});
    IParameterValueEnum mode = EnumValue("Genlock");
    IParameterValueDouble threshold = DoubleValue(40.0);
    sharedServices.ChangeParameter("SyncMode", mode, SyncModeId);
    sharedServices.ChangeParameter("DataThreshold", threshold, DataThresholdId);
    sharedServices.ChangeParameter("Unknown", threshold, 4);
    shared->ParametersChanged();

    ASSERT_TRUE(ArmAll());
    Block block(1);
    block.SetLoad(0, {0, 0, -30, 0, 0, 0});
    shared->OnDataReady(block.Data());
    const std::vector<zorvahost::PushedBlock> pushed = Pushed(Plates()[0]);
    ASSERT_EQ(pushed.size(), 1u);               // genlock applied
    EXPECT_FLOAT_EQ(pushed[0].values[2], 0.0f); // threshold 40 applied
}

TEST_F(DeviceBench, ParametersChanged_NothingChanged_AsksNoValue)
{
    Detect({Unit("A1", "P7", 0)});
    const std::size_t before = host.Calls().size();
    shared->ParametersChanged();
    EXPECT_EQ(CallsSince(host, before), Lines{"GetChangedParameters(\"ZORVA Shared Config Device\")"});
}

TEST(SharedDeviceWithoutHost, Operations_NullHostObjects_Ignored)
{
    ZORVA::VSharedConfigDevice device(nullptr, nullptr);
    device.Attach(nullptr);
    device.ParametersChanged();
    device.OnDetectionComplete(Succeeded(), {Unit("A1", "P7", 0)});
    device.OnDataReady(nullptr);
    device.OnAcquisitionStateChanged(true);
    device.StartCapture(1.0);
    device.Disarm();
    device.GetState(nullptr, nullptr);
    int state = -1;
    bool rearm = false;
    device.GetState(&state, &rearm);
    EXPECT_EQ(static_cast<ZORVA::DeviceState>(state), ZORVA::DeviceState::Stopped);
    EXPECT_TRUE(rearm);
    ASSERT_EQ(device.Plates().size(), 1u);
    EXPECT_FALSE(device.Plates()[0]->Arm(1, nullptr));
}

// ---------------------------------------------------------------- acquisition rate

struct RateCase
{
    const char* name;
    std::vector<int> productTypes;
    const char* requested;
    unsigned int chosen;
};

void PrintTo(const RateCase& c, std::ostream* os) { *os << c.name; }

class RateReconciliation : public DeviceBench, public ::testing::WithParamInterface<RateCase>
{};

const RateCase RateCases[] = {
    {"Types100And300_2000Becomes1200", {100, 300}, "2000", 1200},
    {"Type400_900BecomesNearer1000", {400}, "900", 1000},
    {"Type400_800BetweenEqually_TakesLower600", {400}, "800", 600},
    {"Type400_20BetweenEqually_TakesLower15", {400}, "20", 15},
    {"Type100_750NearerUpper800", {100}, "750", 800},
    {"Type400_AboveEveryRate_Largest", {400}, "3000", 1000},
    {"Type400_BelowEveryRate_Smallest", {400}, "5", 10},
    {"Type400_InList_Unchanged", {400}, "600", 600},
    {"Type300_InList_Unchanged", {300}, "1200", 1200},
    {"Type100_2000_Unchanged", {100}, "2000", 2000},
};

TEST_P(RateReconciliation, ParametersChanged_SampleRate_NearestSupportedRate)
{
    const RateCase& c = GetParam();
    host.SetTickRate(TickRate);
    Detect(UnitsOfTypes(c.productTypes));
    ChangeRate(c.requested);

    const Lines warnings = LogTexts(host, LogLevel::Warning);
    if (std::to_string(c.chosen) == c.requested) {
        EXPECT_EQ(warnings, Lines{});
    } else {
        EXPECT_EQ(warnings, Lines{"Sample rate " + std::string(c.requested) + " adjusted to " +
                                  std::to_string(c.chosen) + " to match devices"});
    }
    // Every plate runs at the chosen rate.
    const std::size_t before = host.Calls().size();
    for (const PlatePtr& plate : Plates())
        EXPECT_TRUE(plate->Arm(1, &setup));
    const Lines calls = CallsSince(host, before);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), TicksCall(c.chosen)),
              static_cast<std::ptrdiff_t>(c.productTypes.size()));
}

INSTANTIATE_TEST_SUITE_P(Cases, RateReconciliation, ::testing::ValuesIn(RateCases),
                         [](const ::testing::TestParamInfo<RateCase>& info) { return info.param.name; });

// The rate a stream was declared at and the rate the capture runs at, after
// a detection lifted the limit that held the setting of 2000 at 1200 (the
// type-300 unit is gone): plates armed before the shared device declared the
// rate they last had, its Arm then chose 2000. And after a new setting, which
// the plates had before the arming: no re-arm, in either order.
struct DeclaredRateCase
{
    const char* name;
    bool platesFirst;
    /// The plates the host arms after the change.
    std::vector<std::size_t> armed;
    int rearmsAsked;
    /// Instead of the detection, the setting changes from 2000 (1200) to 600.
    bool rateSetting = false;
};

void PrintTo(const DeclaredRateCase& c, std::ostream* os) { *os << c.name; }

class DeclaredRate : public DeviceBench, public ::testing::WithParamInterface<DeclaredRateCase>
{};

const DeclaredRateCase DeclaredRateCases[] = {
    {"PlatesFirst_AskedOnce", true, {0, 1}, 1},
    {"SharedFirst_NoneAsked", false, {0, 1}, 0},
    // The plate left out keeps its stream of 1200 from the first capture.
    {"PlatesFirstOneLeftOut_AskedOnce", true, {0}, 1},
    {"SharedFirstOneLeftOut_AskedOnce", false, {0}, 1},
    // A host asks right after arming, before the start is reported: judged
    // against the capture still running (1200), the streams of 600 would ask
    // for a re-arm after every re-arm, for ever (the live view did).
    {"PlatesFirstNewSetting_NoneAsked", true, {0, 1, 2}, 0, true},
    {"SharedFirstNewSetting_NoneAsked", false, {0, 1, 2}, 0, true},
};

TEST_P(DeclaredRate, Arm_DetectionLiftedRateLimit_RearmAskedUntilStreamsRunAtTheCapturesRate)
{
    const DeclaredRateCase& c = GetParam();
    host.SetTickRate(TickRate);
    Detect(UnitsOfTypes({100, 100, 300}));
    ChangeRate("2000");
    unsigned int stream = 10;
    Block block(3); // room for every unit the first detection found
    std::int64_t counter = 0;
    // Arms in the host's order, starts the capture and hands it a block;
    // true when the host is asked to re-arm.
    auto armAndCapture = [&](const std::vector<std::size_t>& which, std::vector<unsigned int>& streams) {
        streams.clear();
        if (!c.platesFirst) {
            EXPECT_TRUE(shared->Arm(1, nullptr));
        }
        for (std::size_t i : which) {
            streams.push_back(stream);
            EXPECT_TRUE(Plates().at(i)->Arm(stream++, &setup));
        }
        if (c.platesFirst) {
            EXPECT_TRUE(shared->Arm(1, nullptr));
        }
        // A host asks as soon as it armed, before the start is reported.
        const bool asked = SharedRearmRequired();
        shared->OnAcquisitionStateChanged(true);
        EXPECT_EQ(SharedRearmRequired(), asked);
        shared->StartCapture(host.GetTime());
        block.SetCounters(counter += 1000);
        shared->OnDataReady(block.Data());
        return asked;
    };
    std::vector<unsigned int> streams;
    EXPECT_FALSE(armAndCapture({0, 1, 2}, streams));
    shared->Disarm();
    if (c.rateSetting)
        ChangeRate("600");
    else
        Detect(UnitsOfTypes({100, 100}));
    const unsigned int runs = c.rateSetting ? 600 : 2000;

    int rearms = 0;
    std::set<unsigned int> stale;
    while (armAndCapture(c.armed, streams) && rearms < 3) {
        ++rearms;
        // Armed before the shared device: declared at 1200.
        if (c.platesFirst)
            stale.insert(streams.begin(), streams.end());
    }
    EXPECT_EQ(rearms, c.rearmsAsked);
    for (std::size_t i = 0; i < Plates().size(); ++i) {
        SCOPED_TRACE("plate " + std::to_string(i));
        const std::vector<zorvahost::PushedBlock> pushed = Pushed(Plates()[i]);
        const bool armedLast = std::find(c.armed.begin(), c.armed.end(), i) != c.armed.end();
        const unsigned int last =
            armedLast
                ? streams.at(static_cast<std::size_t>(std::find(c.armed.begin(), c.armed.end(), i) - c.armed.begin()))
                : 0;
        // Streams 10 to 12 are the first capture's, declared at 1200: one
        // block each, none of a later capture. Every stream declared at the
        // rate of its capture takes its block.
        int first = 0, later = 0, onLast = 0, onStale = 0;
        for (const zorvahost::PushedBlock& b : pushed) {
            first += b.stream < 13;
            later += b.stream >= 13;
            onLast += b.stream == last;
            onStale += stale.count(b.stream) > 0;
        }
        EXPECT_EQ(first, 1);
        EXPECT_EQ(onStale, 0) << "a sample of the capture at " << runs << " on a stream declared at 1200";
        EXPECT_EQ(onLast, armedLast ? 1 : 0);
        EXPECT_EQ(later, armedLast ? (c.platesFirst ? 1 : rearms + 1) : 0);
    }
    // Whatever the order, the last streams were declared at the capture's rate.
    const Lines calls = host.Calls();
    const std::size_t declared = static_cast<std::size_t>(std::count(calls.begin(), calls.end(), TicksCall(runs)));
    EXPECT_GE(declared, c.armed.size());
}

INSTANTIATE_TEST_SUITE_P(Cases, DeclaredRate, ::testing::ValuesIn(DeclaredRateCases),
                         [](const ::testing::TestParamInfo<DeclaredRateCase>& info) { return info.param.name; });

// Regression: "-1000" passed the conversion to unsigned as 4294966296 and was
// taken as a request above every rate.
TEST_F(DeviceBench, ParametersChanged_SampleRateNotARate_KeepsRateLastSentAndSaysSo)
{
    // Regression: these texts were set aside without a word.
    host.SetTickRate(TickRate);
    Detect(UnitsOfTypes({100}));
    Lines expected;
    for (const char* text : {"-1000", "fast", "", "1000x", "99999999999"}) {
        ChangeRate(text);
        expected.push_back("Sample rate \"" + std::string(text) + "\" is no acquisition rate; 1000 used instead");
    }
    EXPECT_EQ(LogTexts(host, LogLevel::Warning), expected);
    const std::size_t before = host.Calls().size();
    ASSERT_EQ(Plates().size(), 1u);
    EXPECT_TRUE(Plates()[0]->Arm(1, &setup));
    const Lines calls = CallsSince(host, before);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), TicksCall(1000)), 1);
}

struct SupportedRatesCase
{
    const char* name;
    std::vector<int> productTypes;
    std::vector<unsigned int> supported;
};

void PrintTo(const SupportedRatesCase& c, std::ostream* os) { *os << c.name; }

class RateBench : public DeviceBench
{
protected:
    /// The standard rates that a request keeps unchanged (no adjustment logged).
    std::vector<unsigned int> RatesKept()
    {
        std::vector<unsigned int> kept;
        for (unsigned int rate : ZORVA::StandardRates) {
            const std::size_t warnings = LogTexts(host, LogLevel::Warning).size();
            ChangeRate(std::to_string(rate));
            if (LogTexts(host, LogLevel::Warning).size() == warnings)
                kept.push_back(rate);
        }
        return kept;
    }
};

class SupportedRates : public RateBench, public ::testing::WithParamInterface<SupportedRatesCase>
{};

const std::vector<unsigned int> AllRates(ZORVA::StandardRates, ZORVA::StandardRates + ZORVA::StandardRateCount);
const std::vector<unsigned int> Without300(AllRates.begin() + 3, AllRates.end());
const std::vector<unsigned int> Type400Rates = {1000, 600, 500, 300, 250, 200, 150, 125,
                                                120,  100, 60,  50,  30,  25,  15,  10};

const SupportedRatesCase SupportedRatesCases[] = {
    {"NoUnit", {}, AllRates},
    {"Type100", {100}, AllRates},
    {"Type300", {300}, Without300},
    {"Types100And300", {100, 300}, Without300},
    {"Type400", {400}, Type400Rates},
    {"Types300And400", {300, 400}, Type400Rates},
    {"Types400And100", {400, 100}, Type400Rates},
    {"UnsupportedTypeIgnored", {200, 100}, AllRates},
    // Type 0 would be the list's reset request; it is rejected like any other.
    {"TypeZeroRejected", {400, 0}, Type400Rates},
};

TEST_P(SupportedRates, OnDetectionComplete_ProductTypes_RatesAllUnitsSupport)
{
    const SupportedRatesCase& c = GetParam();
    Detect(UnitsOfTypes(c.productTypes));
    EXPECT_EQ(RatesKept(), c.supported);
}

INSTANTIATE_TEST_SUITE_P(Cases, SupportedRates, ::testing::ValuesIn(SupportedRatesCases),
                         [](const ::testing::TestParamInfo<SupportedRatesCase>& info) { return info.param.name; });

TEST_F(RateBench, OnDetectionComplete_Again_RebuildsListFromNothing)
{
    Detect(UnitsOfTypes({400}));
    Detect(UnitsOfTypes({100}));
    EXPECT_EQ(RatesKept(), AllRates);
}

TEST_F(DeviceBench, ParametersChanged_RateTextNoNumber_KeepsRateLastSent)
{
    host.SetTickRate(TickRate);
    Detect(UnitsOfTypes({100, 300}));
    ChangeRate("2000");
    ChangeRate("fast");
    ChangeRate("");
    EXPECT_EQ(LogTexts(host, LogLevel::Warning),
              (Lines{"Sample rate 2000 adjusted to 1200 to match devices",
                     "Sample rate \"fast\" is no acquisition rate; 1200 used instead",
                     "Sample rate \"\" is no acquisition rate; 1200 used instead"}));
    const std::size_t before = host.Calls().size();
    ASSERT_TRUE(Plates()[0]->Arm(1, &setup));
    EXPECT_TRUE(Contains(CallsSince(host, before), TicksCall(1200)));
}

TEST_F(DeviceBench, Arm_RateNeverChanged_RunsAtTheSettingsDefault)
{
    host.SetTickRate(TickRate);
    Detect({Unit("A1", "P7", 0)});
    const std::size_t before = host.Calls().size();
    ASSERT_TRUE(ArmAll());
    // The host holds no rate yet: its refusal leaves the setting's 1000.
    EXPECT_TRUE(Contains(CallsSince(host, before), TicksCall(1000)));
    EXPECT_EQ(LogTexts(host, LogLevel::Warning), Lines{});
}

} // namespace
