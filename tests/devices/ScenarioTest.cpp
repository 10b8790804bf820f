// The devices on the driver service and the simulated library, in virtual
// time: detection and re-detection, arming, settings turned into commands,
// the blink, and short captures in each synchronisation mode.
#include "DevicesTestSupport.h"

#include "simusb/SimControl.h"

#include <algorithm>

using namespace devtest;
using namespace MoldraDigitalDevice;

namespace {

std::string UnitText(const std::string& name, int productType, const std::string& amplifierSerial,
                     const std::string& model, const std::string& platformSerial, const std::string& size,
                     const std::string& extra = "")
{
    return "[unit " + name + "]\nproduct_type = " + std::to_string(productType) + "\namplifier_model = ZDA-" +
           std::to_string(productType) + "\namplifier_serial = " + amplifierSerial +
           "\nfirmware_version = 3.2.7\nplatform_model = " + model + "\nplatform_serial = " + platformSerial + "\n" +
           size + extra;
}

const std::string PendraSize = "length = 23.622\nwidth = 15.748\n";
const std::string GorvinSize = "length = 35.433\nwidth = 35.433\n";

/// Two plates: someone standing on the first, the second empty.
const std::string OneStandingOfTwo = "[scenario]\ninit_polls = 1\n" +
                                     UnitText("L", 100, "A1", "Pendra-600", "P7", PendraSize, "force = 0 0 -700\n") +
                                     UnitText("R", 300, "A2", "Gorvin-900", "P8", GorvinSize);

std::size_t Count(const Lines& lines, const std::string& line)
{
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

std::ptrdiff_t IndexOf(const Lines& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) - lines.begin();
}

std::vector<std::int64_t> Frames(zorvahost::DeviceServices* services)
{
    std::vector<std::int64_t> frames;
    for (const zorvahost::PushedBlock& block : services->PushedBlocks())
        frames.push_back(block.frame);
    return frames;
}

TEST_F(SimBench, Attach_TwoUnits_PlatesInstantiatedMatchedAndConnected)
{
    ASSERT_NO_FATAL_FAILURE(Start(OneStandingOfTwo));

    EXPECT_EQ(InstantiateCalls(host), (Lines{"InstantiateDevice(\"ZORVA\", \"Pendra\", \"   \", \"A1P7\")",
                                             "InstantiateDevice(\"ZORVA\", \"Gorvin\", \"   \", \"A2P8\")"}));
    const std::vector<PlatePtr> plates = Plates();
    ASSERT_EQ(plates.size(), 2u);
    for (const PlatePtr& plate : plates)
        EXPECT_TRUE(Connected(ServicesOf(plate)));
    EXPECT_EQ(LibraryCalls().at(0), "fmDLLInit()");
    EXPECT_TRUE(SharedRearmRequired());
}

TEST_F(SimBench, ScanForHardware_UnplugAndReplug_SamePlatesConnectionFollows)
{
    ASSERT_NO_FATAL_FAILURE(Start(OneStandingOfTwo));
    const std::vector<PlatePtr> first = Plates();

    ASSERT_TRUE(zorvasim::SetPlugged(0, false));
    ASSERT_NO_FATAL_FAILURE(Rescan());
    EXPECT_EQ(Plates(), std::vector<PlatePtr>{first[1]});
    EXPECT_FALSE(Connected(ServicesOf(first[0])));
    EXPECT_TRUE(Connected(ServicesOf(first[1])));
    const std::size_t before = host.Calls().size();
    EXPECT_FALSE(first[0]->Arm(1, &setup));
    EXPECT_EQ(CallsSince(host, before), Lines{}); // a disconnected plate declares no stream

    ASSERT_TRUE(zorvasim::SetPlugged(0, true));
    ASSERT_NO_FATAL_FAILURE(Rescan());
    EXPECT_EQ(Plates(), first);
    EXPECT_TRUE(Connected(ServicesOf(first[0])));
    EXPECT_EQ(InstantiateCalls(host).size(), 2u);
}

TEST_F(SimBench, Arm_AfterDetection_RateStopPauseStartThenAcquiring)
{
    ASSERT_NO_FATAL_FAILURE(Start(OneStandingOfTwo));
    zorvasim::ClearTrace();

    ASSERT_TRUE(ArmAllAndWaitAcquiring());

    EXPECT_EQ(LibraryCalls(), (Lines{"fmBroadcastAcquisitionRate(1000)", "fmBroadcastStop()", "fmBroadcastStart()"}));
    const Lines trace = zorvasim::GetTrace();
    // The start is asked for only after the half-second pause, and the
    // worker runs the stop before it.
    EXPECT_LT(IndexOf(trace, "Sleep(500)"), IndexOf(trace, "fmBroadcastStart()"));
    EXPECT_LT(IndexOf(trace, "fmBroadcastStop()"), IndexOf(trace, "fmBroadcastStart()"));
    // Its own pause, then what still waited in the library (measured before
    // the start) is read and dropped.
    const std::size_t start = static_cast<std::size_t>(IndexOf(trace, "fmBroadcastStart()"));
    EXPECT_EQ(trace.at(start - 2), "Sleep(250)");
    EXPECT_EQ(trace.at(start - 1), "fmDLLTransferFloatData() -> 0");
    EXPECT_FALSE(SharedRearmRequired());
    for (const PlatePtr& plate : Plates())
        EXPECT_EQ(StateOf(*plate), ZORVA::DeviceState::Acquiring);
}

struct SettingCase
{
    const char* name;
    const char* parameter;
    std::uint64_t id;
    const char* text; ///< enum settings
    double number;    ///< the threshold
    Lines commands;
    ZORVA::DeviceState state;
    bool rearmRequired;
};

void PrintTo(const SettingCase& c, std::ostream* os) { *os << c.name; }

class SettingWhileAcquiring : public SimBench, public ::testing::WithParamInterface<SettingCase>
{};

const SettingCase SettingCases[] = {
    {"SampleRate_StopsAndSendsRate",
     "SampleRate",
     SampleRateId,
     "600",
     0,
     {"fmBroadcastStop()", "fmBroadcastAcquisitionRate(600)"},
     ZORVA::DeviceState::Stopped,
     true},
    {"SyncModeGenlock_StopsAndSwitchesGenlockOn",
     "SyncMode",
     SyncModeId,
     "Genlock",
     0,
     {"fmBroadcastStop()", "fmBroadcastGenlock(1)"},
     ZORVA::DeviceState::Stopped,
     true},
    {"SyncModeHardware_StopsAndSwitchesGenlockOff",
     "SyncMode",
     SyncModeId,
     "Hardware trigger",
     0,
     {"fmBroadcastStop()", "fmBroadcastGenlock(0)"},
     ZORVA::DeviceState::Stopped,
     true},
    {"DataThreshold_NoCommandNoStop",
     "DataThreshold",
     DataThresholdId,
     nullptr,
     30,
     {},
     ZORVA::DeviceState::Acquiring,
     false},
    {"BroadcastZero_ZeroesWithoutStop",
     "BroadcastZero",
     BroadcastZeroId,
     nullptr,
     0,
     {"fmBroadcastZero()"},
     ZORVA::DeviceState::Acquiring,
     false},
    {"UnknownId_Nothing", "Other", 4, nullptr, 0, {}, ZORVA::DeviceState::Acquiring, false},
};

TEST_P(SettingWhileAcquiring, ParametersChanged_Setting_Commands)
{
    const SettingCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start(OneStandingOfTwo));
    ASSERT_TRUE(ArmAllAndWaitAcquiring());
    zorvasim::ClearTrace();

    IParameterValueEnum text = EnumValue(c.text ? c.text : "");
    IParameterValueDouble number = DoubleValue(c.number);
    IParameterValueAction action = ActionValue();
    IParameterValue& value = c.text                    ? static_cast<IParameterValue&>(text)
                             : c.id == DataThresholdId ? static_cast<IParameterValue&>(number)
                                                       : static_cast<IParameterValue&>(action);
    ChangeSetting(c.parameter, value, c.id);

    EXPECT_TRUE(WaitUntil([&] { return LibraryCalls().size() >= c.commands.size() && SharedState() == c.state; }));
    EXPECT_EQ(LibraryCalls(), c.commands);
    EXPECT_EQ(SharedState(), c.state);
    EXPECT_EQ(SharedRearmRequired(), c.rearmRequired);
    // Acquisition runs again only after the next Arm.
    EXPECT_EQ(Count(LibraryCalls(), "fmBroadcastStart()"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingWhileAcquiring, ::testing::ValuesIn(SettingCases),
                         [](const ::testing::TestParamInfo<SettingCase>& info) { return info.param.name; });

TEST_F(SimBench, ParametersChanged_ZeroWhileStopped_SendsNothing)
{
    ASSERT_NO_FATAL_FAILURE(Start(OneStandingOfTwo));
    zorvasim::ClearTrace();
    IParameterValueAction action = ActionValue();
    ChangeSetting("BroadcastZero", action, BroadcastZeroId);
    EXPECT_EQ(LibraryCalls(), Lines{});
}

TEST_F(SimBench, ParametersChanged_ScanWhileAcquiring_StopsAndDetectsAgain)
{
    ASSERT_NO_FATAL_FAILURE(Start(OneStandingOfTwo));
    ASSERT_TRUE(ArmAllAndWaitAcquiring());
    zorvasim::ClearTrace();
    ASSERT_NO_FATAL_FAILURE(Rescan());

    const Lines calls = LibraryCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(Lines(calls.begin(), calls.begin() + 2), (Lines{"fmBroadcastStop()", "fmDLLInit()"}));
    EXPECT_EQ(SharedState(), ZORVA::DeviceState::Stopped);
    EXPECT_TRUE(SharedRearmRequired());
}

TEST_F(SimBench, ParametersChanged_PlateBlinkAction_OnlyIdFiveBlinksItsUnit)
{
    ASSERT_NO_FATAL_FAILURE(Start(OneStandingOfTwo));
    const PlatePtr right = Plates().at(1);
    zorvahost::DeviceServices* services = ServicesOf(right);
    ASSERT_NE(services, nullptr);
    zorvasim::ClearTrace();

    IParameterValueAction action = ActionValue();
    services->ChangeParameter("Other", action, 0);
    services->ChangeParameter("Other", action, 6);
    right->ParametersChanged();
    right->ParametersChanged(); // nothing new since the last call
    EXPECT_EQ(LibraryCalls(), Lines{});

    const int notified = sharedServices.NotifyCount();
    services->ChangeParameter("BlinkAction", action, BlinkActionId);
    right->ParametersChanged();
    // The blink tells the shared device that acquisition stopped.
    ASSERT_TRUE(WaitNotified(notified, 1));
    EXPECT_EQ(LibraryCalls(), (Lines{"fmDLLSelectDeviceIndex(1)", "fmSetBlink()"}));
    EXPECT_EQ(zorvasim::GetState().blinkCounts, (std::vector<int>{0, 1}));
}

TEST_F(SimBench, Arm_HardwareTrigger_OnlyFirstUnitDeclaresSyncInput)
{
    ASSERT_NO_FATAL_FAILURE(Start(OneStandingOfTwo));
    IParameterValueEnum mode = EnumValue("Hardware trigger");
    ChangeSetting("SyncMode", mode, SyncModeId);
    const std::size_t before = host.Calls().size();
    ASSERT_TRUE(ArmAllAndWaitAcquiring());

    Lines setUp;
    for (const std::string& call : CallsSince(host, before)) {
        if (call.compare(0, 17, "GetParameterValue") != 0)
            setUp.push_back(call);
    }
    EXPECT_EQ(setUp, (Lines{"SetSamplesPerBlock(16)", "SetTicksPerSample(1000)", "SetTimingMode(2)",
                            "AddSyncInput(\"Sync Port\", 1, 1500, 0, 0, true)", "SetSamplesPerBlock(16)",
                            "SetTicksPerSample(1000)", "SetTimingMode(2)"}));
}

TEST_F(SimBench, Capture_SoftwareTrigger_ConsecutiveFramesFromZero)
{
    ASSERT_NO_FATAL_FAILURE(Start(OneStandingOfTwo));
    ASSERT_TRUE(ArmAllAndWaitAcquiring());
    shared->StartCapture(0.0);

    ASSERT_EQ(zorvasim::DeliverBlocks(4), 4);
    const std::vector<PlatePtr> plates = Plates();
    ASSERT_TRUE(
        WaitUntil([&] { return ServicesOf(plates[0])->PushCount() == 4 && ServicesOf(plates[1])->PushCount() == 4; }));

    for (const PlatePtr& plate : plates)
        EXPECT_EQ(Frames(ServicesOf(plate)), (std::vector<std::int64_t>{0, 16, 32, 48}));
    // Someone standing on the first plate; nothing on the second.
    for (const zorvahost::PushedBlock& block : ServicesOf(plates[0])->PushedBlocks()) {
        for (int s = 0; s < 16; ++s)
            EXPECT_FLOAT_EQ(block.values[static_cast<std::size_t>(s * 9 + 2)], 700.0f);
    }
    for (const zorvahost::PushedBlock& block : ServicesOf(plates[1])->PushedBlocks())
        EXPECT_EQ(block.values, std::vector<float>(144, 0.0f));
    EXPECT_EQ(ServicesOf(plates[1])->PushedBlocks().at(0).stream, 11u);
}

struct TriggerCase
{
    const char* name;
    int productType;
    const char* idle;
    const char* active;
};

void PrintTo(const TriggerCase& c, std::ostream* os) { *os << c.name; }

class TriggerCapture : public SimBench, public ::testing::WithParamInterface<TriggerCase>
{};

const TriggerCase TriggerCases[] = {
    {"Type100MarkerOne", 100, "0", "1"},
    {"Type400MarkerZero", 400, "5", "0"},
};

TEST_P(TriggerCapture, Capture_HardwareTrigger_SampleOfTheEdgeIsZero)
{
    const TriggerCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start("[scenario]\ninit_polls = 1\n" +
                                  UnitText("T", c.productType, "A1", "Quillo-600", "P1", PendraSize,
                                           std::string("trigger_idle = ") + c.idle + "\ntrigger_active = " + c.active +
                                               "\ntrigger_from = 1000\n")));
    IParameterValueEnum mode = EnumValue("Hardware trigger");
    ChangeSetting("SyncMode", mode, SyncModeId);
    ASSERT_TRUE(ArmAllAndWaitAcquiring());

    // Samples 0 to 1023; the edge at sample 1000 lies in the block from 992.
    ASSERT_EQ(zorvasim::DeliverBlocks(64), 64);
    ASSERT_TRUE(WaitUntil([] { return zorvasim::GetCounters().blocksTransferred == 64; }));
    zorvahost::DeviceServices* services = ServicesOf(Plates().at(0));
    ASSERT_TRUE(WaitUntil([&] { return services->PushCount() == 2; }));
    EXPECT_EQ(Frames(services), (std::vector<std::int64_t>{-8, 8}));
}

INSTANTIATE_TEST_SUITE_P(Cases, TriggerCapture, ::testing::ValuesIn(TriggerCases),
                         [](const ::testing::TestParamInfo<TriggerCase>& info) { return info.param.name; });

TEST_F(SimBench, Capture_Genlock_FramesAreCounters)
{
    ASSERT_NO_FATAL_FAILURE(Start(OneStandingOfTwo));
    IParameterValueEnum mode = EnumValue("Genlock");
    ChangeSetting("SyncMode", mode, SyncModeId);
    ASSERT_TRUE(ArmAllAndWaitAcquiring());
    ASSERT_EQ(zorvasim::DeliverBlocks(3), 3);
    zorvahost::DeviceServices* services = ServicesOf(Plates().at(0));
    ASSERT_TRUE(WaitUntil([&] { return services->PushCount() == 3; }));
    EXPECT_EQ(Frames(services), (std::vector<std::int64_t>{0, 16, 32}));
}

} // namespace
