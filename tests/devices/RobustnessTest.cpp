// The devices against hostile hosts and misbehaving libraries: units whose
// identities are equal, a host that calls back from NotifyChanged, a host that
// announces absurd change counts or throws, settings that are no settings, a
// second capture armed while blocks still flow, and a library that repeats or
// steps back its blocks.
#include "DevicesTestSupport.h"

#include "simusb/SimControl.h"

#include <atomic>
#include <cmath>
#include <functional>
#include <limits>

using namespace devtest;
using namespace MoldraDigitalDevice;

namespace {

std::vector<std::int64_t> Frames(const std::vector<zorvahost::PushedBlock>& pushed, unsigned int stream)
{
    std::vector<std::int64_t> frames;
    for (const zorvahost::PushedBlock& block : pushed) {
        if (block.stream == stream)
            frames.push_back(block.frame);
    }
    return frames;
}

std::size_t InstantiateCount(const zorvahost::RecordingHost& host)
{
    std::size_t count = 0;
    for (const std::string& call : host.Calls())
        count += call.compare(0, 18, "InstantiateDevice(") == 0;
    return count;
}

// ---------------------------------------------------------------- equal identities

// Regression: plates were kept by identity key, one per key. With two units
// whose identity texts are equal (all empty, say), a rescan put the second
// plate in the first one's place, so the first, still held by the host, was
// destroyed (its next Arm a use after free) and both units fed one plate.
TEST_F(DeviceBench, OnDetectionComplete_EqualIdentitiesRescanned_EachUnitKeepsItsOwnPlate)
{
    const DeviceInfo left = Unit("", "", 0);
    DeviceInfo right = Unit("", "", 1);
    Detect({left, right});
    const std::vector<PlatePtr> first = Plates();
    ASSERT_EQ(first.size(), 2u);
    ASSERT_NE(first[0], first[1]);

    right.deviceIndex = 1;
    Detect({left, right});
    EXPECT_EQ(Plates(), first);
    EXPECT_EQ(InstantiateCount(host), 2u);

    // One unplugged and back: none shared, none lost.
    DeviceInfo alone = right;
    alone.deviceIndex = 0;
    Detect({alone});
    ASSERT_EQ(Plates(), std::vector<PlatePtr>{first[0]});
    Detect({left, right});
    EXPECT_EQ(Plates(), first);
    EXPECT_EQ(InstantiateCount(host), 2u);

    // Every device the host holds is alive and its own.
    for (const zorvahost::InstantiatedDevice& device : host.Instantiated())
        EXPECT_TRUE(device.device->Arm(1, &setup));
    const Lines warnings = LogTexts(host, LogLevel::Warning);
    EXPECT_EQ(std::count(warnings.begin(), warnings.end(),
                         "Devices 0 and 1 report the same identity; their plates follow the detection order"),
              3);
}

// ---------------------------------------------------------------- callbacks into the plugin

// Regression: the worker called NotifyChanged with the shared device's lock
// held, so a host that reads GetState there (on the thread that called it)
// deadlocked the worker, and the next Arm waited for that lock for ever.
TEST_F(SimBench, NotifyChanged_HostReadsStateInside_NoDeadlock)
{
    std::atomic<int> reads{0};
    sharedServices.CallBackOnNotify([&] {
        int state = -1;
        bool rearm = false;
        shared->GetState(&state, &rearm);
        for (const PlatePtr& plate : shared->Plates())
            plate->GetState(&state, &rearm);
        ++reads;
    });
    ASSERT_NO_FATAL_FAILURE(Start("[scenario]\ninit_polls = 1\n[unit A]\namplifier_serial = A1\n"
                                  "[unit B]\namplifier_serial = A2\n"));
    // The detection's result and its report of acquisition stopped.
    EXPECT_TRUE(WaitUntil([&] { return reads.load() == 2; }));
    ASSERT_TRUE(ArmAllAndWaitAcquiring());
    EXPECT_TRUE(WaitUntil([&] { return reads.load() >= 3; }));
    ASSERT_NO_FATAL_FAILURE(Rescan());
    EXPECT_EQ(Plates().size(), 2u);
}

// ---------------------------------------------------------------- what the host answers

struct DeviceCase
{
    const char* name;
    bool plate; ///< the first plate, else the shared device
};

void PrintTo(const DeviceCase& c, std::ostream* os) { *os << c.name; }

class HostAnswers : public DeviceBench, public ::testing::WithParamInterface<DeviceCase>
{
protected:
    void SetUp() override
    {
        DeviceBench::SetUp();
        Detect({Unit("A1", "P7", 0)});
    }

    IDevice& Device() { return GetParam().plate ? *Plates()[0] : static_cast<IDevice&>(*shared); }
    zorvahost::DeviceServices& Services() { return GetParam().plate ? *ServicesOf(Plates()[0]) : sharedServices; }
};

// Regression: room for 2^32 - 1 ids was asked for; std::bad_alloc left the
// plugin and terminated the host's process.
TEST_P(HostAnswers, ParametersChanged_AbsurdChangeCount_NothingAskedNothingThrown)
{
    Services().AnnounceChangedCount(0xFFFFFFFFu);
    const std::size_t before = host.Calls().size();
    EXPECT_NO_THROW(Device().ParametersChanged());
    EXPECT_EQ(CallsSince(host, before), Lines{});
    EXPECT_EQ(LogTexts(host, LogLevel::Warning),
              Lines{"Host announced 4294967295 changed parameters, more than 65536; none read"});
}

TEST_P(HostAnswers, ParametersChanged_LargestCountAllowed_StillRead)
{
    IParameterValueAction action = ActionValue();
    Services().ChangeParameter("Other", action, 9);
    Services().AnnounceChangedCount(65536);
    const std::size_t before = host.Calls().size();
    Device().ParametersChanged();
    EXPECT_EQ(CallsSince(host, before).size(), 1u);
    EXPECT_EQ(LogTexts(host, LogLevel::Warning), Lines{});
}

INSTANTIATE_TEST_SUITE_P(Devices, HostAnswers,
                         ::testing::Values(DeviceCase{"Shared", false}, DeviceCase{"Plate", true}),
                         [](const ::testing::TestParamInfo<DeviceCase>& info) { return info.param.name; });

class ThrowingHost;

struct ThrowingHostCase
{
    const char* name;
    const char* throwingCall; ///< prefix of the host calls that throw
    std::function<void(ThrowingHost&)> operation;
    const char* operationName;
};

void PrintTo(const ThrowingHostCase& c, std::ostream* os) { *os << c.name; }

class ThrowingHost : public DeviceBench, public ::testing::WithParamInterface<ThrowingHostCase>
{
public:
    ZORVA::VSharedConfigDevice& Shared() { return *shared; }
    ZORVA::VZORVATrelDevice& Plate() { return *Plates().at(0); }
    ICaptureSetup* CaptureSetup() { return &setup; }
    IDeviceHost* OtherServices() { return &otherServices; }
    int Notified() { return sharedServices.NotifyCount(); }

protected:
    zorvahost::DeviceServices otherServices{host, "other"};
};

// No exception leaves an IDevice operation, whatever the host throws into it.
TEST_P(ThrowingHost, Operation_HostCallThrows_LoggedNotThrown)
{
    const ThrowingHostCase& c = GetParam();
    Detect({Unit("A1", "P7", 0)});
    IParameterValueEnum rate = EnumValue("500");
    sharedServices.ChangeParameter("SampleRate", rate, SampleRateId);
    host.ThrowFromCallsStartingWith(c.throwingCall, "host failure");
    EXPECT_NO_THROW(c.operation(*this));
    EXPECT_EQ(LogTexts(host, LogLevel::Warning),
              Lines{std::string("Unexpected failure in ") + c.operationName + ": host failure"});
}

const ThrowingHostCase ThrowingHostCases[] = {
    {"SharedParametersChanged", "GetChangedParameters", [](ThrowingHost& t) { t.Shared().ParametersChanged(); },
     "ParametersChanged"},
    {"SharedArm", "GetParameterValue", [](ThrowingHost& t) { EXPECT_FALSE(t.Shared().Arm(1, nullptr)); }, "Arm"},
    {"PlateAttach", "SetParameterValue", [](ThrowingHost& t) { t.Plate().Attach(t.OtherServices()); }, "Attach"},
    {"PlateArm", "SetSamplesPerBlock", [](ThrowingHost& t) { EXPECT_FALSE(t.Plate().Arm(1, t.CaptureSetup())); },
     "Arm"},
    // The plate's "Connected" fails; the host is still told of the detection.
    {"PlateConnected", "SetParameterValue",
     [](ThrowingHost& t) {
         const int notified = t.Notified();
         t.Shared().OnDetectionComplete(Succeeded(), {});
         EXPECT_EQ(t.Notified(), notified + 1);
     },
     "OnDetectionComplete"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ThrowingHost, ::testing::ValuesIn(ThrowingHostCases),
                         [](const ::testing::TestParamInfo<ThrowingHostCase>& info) { return info.param.name; });

// ---------------------------------------------------------------- settings that are no settings

struct ThresholdCase
{
    const char* name;
    double threshold;
    const char* said;
};

void PrintTo(const ThresholdCase& c, std::ostream* os) { *os << c.name; }

class RefusedThreshold : public DeviceBench, public ::testing::WithParamInterface<ThresholdCase>
{};

// Regression: "NaN" blanked every sample (no |Fz| is greater than NaN), and
// without a word.
TEST_P(RefusedThreshold, ParametersChanged_ThresholdNotFinite_KeepsTheLastAndSaysSo)
{
    const ThresholdCase& c = GetParam();
    Detect({Unit("A1", "P7", 0)});
    ChangeSyncMode("Genlock");
    ChangeThreshold(40.0);
    ChangeThreshold(c.threshold);
    EXPECT_EQ(LogTexts(host, LogLevel::Warning), Lines{c.said});
    // A plate found afterwards takes the threshold in use too.
    Detect({Unit("A1", "P7", 0), Unit("A2", "P8", 1)});
    ASSERT_TRUE(ArmAll());

    Block block(2);
    for (int s = 0; s < 16; ++s) {
        const float fz = s % 2 ? -50.0f : -30.0f;
        block.Record(s, 0)[3] = fz;
        block.Record(s, 1)[3] = fz;
    }
    shared->OnDataReady(block.Data());
    for (const PlatePtr& plate : Plates()) {
        const std::vector<zorvahost::PushedBlock> pushed = Pushed(plate);
        ASSERT_EQ(pushed.size(), 1u);
        for (int s = 0; s < 16; ++s)
            EXPECT_EQ(pushed[0].values[static_cast<std::size_t>(s * 9 + 2)], s % 2 ? 50.0f : 0.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedThreshold,
                         ::testing::Values(ThresholdCase{"NaN", std::numeric_limits<double>::quiet_NaN(),
                                                         "Fz threshold nan refused; 40.000000 used instead"},
                                           ThresholdCase{"Infinity", std::numeric_limits<double>::infinity(),
                                                         "Fz threshold inf refused; 40.000000 used instead"},
                                           ThresholdCase{"MinusInfinity", -std::numeric_limits<double>::infinity(),
                                                         "Fz threshold -inf refused; 40.000000 used instead"}),
                         [](const ::testing::TestParamInfo<ThresholdCase>& info) { return info.param.name; });

// Regression: an unknown text became software trigger without a word.
TEST_F(DeviceBench, ParametersChanged_UnknownSyncMode_SoftwareTriggerAndSaysSo)
{
    Detect({Unit("A1", "P7", 0)});
    for (const char* mode : {"Genlock", "genlock", "Software trigger", "", "Hardware trigger "})
        ChangeSyncMode(mode);
    EXPECT_EQ(LogTexts(host, LogLevel::Warning),
              (Lines{"Sync mode \"genlock\" is unknown; Software trigger used instead",
                     "Sync mode \"\" is unknown; Software trigger used instead",
                     "Sync mode \"Hardware trigger \" is unknown; Software trigger used instead"}));
    // Software trigger: nothing until StartCapture.
    ASSERT_TRUE(ArmAll());
    Block block(1);
    shared->OnDataReady(block.Data());
    EXPECT_TRUE(Pushed(Plates()[0]).empty());
}

// ---------------------------------------------------------------- a second capture

struct SecondCaptureCase
{
    const char* name;
    const char* mode;
    /// Starts the new capture after the shared device's Arm: StartCapture, or
    /// the trigger marker in the next block.
    bool startCapture;
    bool marker;
    /// The new stream's first sample number: the new capture's.
    std::int64_t firstFrame;
};

void PrintTo(const SecondCaptureCase& c, std::ostream* os) { *os << c.name; }

class SecondCapture : public DeviceBench, public ::testing::WithParamInterface<SecondCaptureCase>
{
protected:
    /// One block with counters from `counter`; the marker at its first sample.
    void Deliver(std::int64_t counter, bool marker = false)
    {
        Block block(1);
        block.SetCounters(counter);
        if (marker)
            block.SetTrigger(0, 0, 1.0f);
        shared->OnDataReady(block.Data());
    }
};

// Regression: blocks keep flowing after Disarm, aligned for the last capture.
// A host that armed the plates before the shared device got the old capture's
// sample numbers on the new streams (about 2550 here), then a jump back once
// the new capture aligned.
TEST_P(SecondCapture, Arm_PlatesFirstWhileBlocksFlow_NewStreamStartsWithTheNewCapture)
{
    const SecondCaptureCase& c = GetParam();
    Detect({Unit("A1", "P7", 0)});
    ChangeSyncMode(c.mode);
    const PlatePtr plate = Plates()[0];

    ASSERT_TRUE(shared->Arm(1, nullptr));
    ASSERT_TRUE(plate->Arm(10, &setup));
    shared->OnAcquisitionStateChanged(true); // the driver started acquisition
    shared->StartCapture(0.0);
    std::int64_t counter = 1000;
    Deliver(counter, true);
    for (int i = 0; i < 160; ++i)
        Deliver(counter += 16);
    shared->Disarm();
    plate->Disarm();

    // The next capture: the plate first, while blocks still flow.
    ASSERT_TRUE(plate->Arm(11, &setup));
    for (int i = 0; i < 3; ++i)
        Deliver(counter += 16);
    ASSERT_TRUE(shared->Arm(1, nullptr));
    shared->OnAcquisitionStateChanged(true);
    Deliver(counter += 16);
    if (c.startCapture) {
        shared->StartCapture(100.0);
        host.SetTime(100.0);
    }
    Deliver(counter += 16, c.marker);
    Deliver(counter += 16);

    const std::vector<std::int64_t> frames = Frames(Pushed(plate), 11);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.front(), c.firstFrame);
    for (std::size_t i = 1; i < frames.size(); ++i)
        EXPECT_EQ(frames[i], frames[i - 1] + 16);
    EXPECT_EQ(Frames(Pushed(plate), 10).size(), 161u) << "the first capture";
}

INSTANTIATE_TEST_SUITE_P(Cases, SecondCapture,
                         ::testing::Values(SecondCaptureCase{"SoftwareTrigger", "Software trigger", true, false, 0},
                                           SecondCaptureCase{"HardwareTrigger", "Hardware trigger", false, true, 0},
                                           // No alignment: the sample numbers are the counters, in any
                                           // capture; the blocks measured before the restart (the three
                                           // after the plate's Arm) belong to none.
                                           SecondCaptureCase{"Genlock", "Genlock", false, false, 1000 + 164 * 16}),
                         [](const ::testing::TestParamInfo<SecondCaptureCase>& info) { return info.param.name; });

// Regression: with a host clock that runs backwards, the first block's host
// time came before the start time and the capture began at sample -1000.
TEST_F(DeviceBench, OnDataReady_HostClockRunsBackwards_CaptureStartsAtZero)
{
    Detect({Unit("A1", "P7", 0)});
    ASSERT_TRUE(ArmAll());
    host.SetTime(100.0);
    host.SetTimeStep(-1.0);
    shared->StartCapture(host.GetTime());
    Block block(1);
    block.SetCounters(5000);
    shared->OnDataReady(block.Data());
    block.SetCounters(5016);
    shared->OnDataReady(block.Data());
    EXPECT_EQ(Frames(Pushed(Plates()[0]), 10), (std::vector<std::int64_t>{0, 16}));
}

TEST_F(DeviceBench, OnDataReady_HostRefusesSamples_FlowGoesOnAndResultsAreReleased)
{
    Detect({Unit("A1", "P7", 0), Unit("A2", "P8", 1)});
    ChangeSyncMode("Genlock");
    ASSERT_TRUE(ArmAll());
    host.FailPushSamples("buffer full");
    Block block(2);
    for (int i = 0; i < 3; ++i) {
        block.SetCounters(16 * i);
        shared->OnDataReady(block.Data());
    }
    for (const PlatePtr& plate : Plates())
        EXPECT_EQ(Frames(Pushed(plate), plate == Plates()[0] ? 10u : 11u), (std::vector<std::int64_t>{0, 16, 32}));
    EXPECT_EQ(host.Results().Outstanding(), 0);
    EXPECT_EQ(LogTexts(host, LogLevel::Warning), Lines{});
}

// ---------------------------------------------------------------- a library that repeats

TEST_F(SimBench, Capture_LibraryRepeatsAndStepsBack_FramesFollowTheCounters)
{
    ASSERT_NO_FATAL_FAILURE(Start("[scenario]\ninit_polls = 1\n[unit A]\namplifier_serial = A1\n"
                                  "[unit B]\namplifier_serial = A2\n"));
    IParameterValueEnum mode = EnumValue("Genlock");
    ChangeSetting("SyncMode", mode, SyncModeId);
    ASSERT_TRUE(ArmAllAndWaitAcquiring());

    ASSERT_EQ(zorvasim::DeliverBlocks(2), 2);
    ASSERT_TRUE(zorvasim::InjectBlockFault(zorvasim::BlockFault::Repeat, 1));
    ASSERT_EQ(zorvasim::DeliverBlocks(2), 2);
    ASSERT_TRUE(zorvasim::InjectBlockFault(zorvasim::BlockFault::StepBack, 1));
    ASSERT_EQ(zorvasim::DeliverBlocks(1), 1);
    ASSERT_TRUE(zorvasim::InjectBlockFault(zorvasim::BlockFault::Skip, 2));
    ASSERT_EQ(zorvasim::DeliverBlocks(1), 1);

    for (const PlatePtr& plate : Plates()) {
        zorvahost::DeviceServices* services = ServicesOf(plate);
        ASSERT_TRUE(WaitUntil([&] { return services->PushCount() == 7; }));
        std::vector<std::int64_t> frames;
        for (const zorvahost::PushedBlock& block : services->PushedBlocks())
            frames.push_back(block.frame);
        EXPECT_EQ(frames, (std::vector<std::int64_t>{0, 16, 32, 32, 48, 48, 96}));
    }
    EXPECT_EQ(LogTexts(host, LogLevel::Warning),
              (Lines{"Sample counter of device 0 went from 32 to 32: a repeated block or a step back",
                     "Sample counter of device 1 went from 32 to 32: a repeated block or a step back",
                     "Sample counter of device 0 went from 48 to 48: a repeated block or a step back",
                     "Sample counter of device 1 went from 48 to 48: a repeated block or a step back"}));
}

} // namespace
