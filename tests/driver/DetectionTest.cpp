// Hardware start-up, calibration download and enumeration, on the simulated
// library in virtual time.
#include "DriverTestSupport.h"

#include <numeric>

using namespace zorvatest;

namespace {

std::string Unit(const std::string& name, const std::string& extra = "")
{
    return "[unit " + name + "]\nproduct_type = 100\namplifier_model = AMP-" + name + "\namplifier_serial = AS-" +
           name + "\nfirmware_version = FW-" + name + "\nplatform_model = Pendra\nplatform_serial = PS-" + name +
           "\norigin = 0.5 -0.25 1.5\nlength = 23.6\nwidth = 15.7\n" + extra;
}

std::string Scenario(const std::string& settings, int units, const std::string& unitExtra = "")
{
    std::string text = "[scenario]\n" + settings;
    for (int i = 0; i < units; ++i)
        text += Unit(std::string(1, static_cast<char>('A' + i)), unitExtra);
    return text;
}

Lines QueryLines(int index, const std::string& name)
{
    const std::string i = std::to_string(index);
    return {"fmDLLSelectDeviceIndex(" + i + ")", "L0 ::fmDLLSelectDeviceIndex(" + i + ")",
            "fmGetAmplifierModelNumber()",       "L0 ::fmGetAmplifierModelNumber() -> AMP-" + name,
            "fmGetProductType() -> 100",         "L0 ::fmGetProductType() -> 100",
            "fmGetAmplifierFirmwareVersion()",   "L0 ::fmGetAmplifierFirmwareVersion() -> FW-" + name,
            "fmGetAmplifierSerialNumber()",      "L0 ::fmGetAmplifierSerialNumber() -> AS-" + name,
            "fmGetPlatformModelNumber()",        "L0 ::fmGetPlatformModelNumber() -> Pendra",
            "fmGetPlatformSerialNumber()",       "L0 ::fmGetPlatformSerialNumber() -> PS-" + name,
            "fmGetPlatformXYZOffsets()",         "L0 ::fmGetPlatformXYZOffsets() -> (0.500000, -0.250000, 1.500000)",
            "fmGetPlatformLengthAndWidth()",     "L0 ::fmGetPlatformLengthAndWidth() -> 23.6, 15.7"};
}

/// The lines from the first equal to `from` up to, not including, the first
/// equal to `to` after it.
Lines Between(const Lines& lines, const std::string& from, const std::string& to)
{
    auto begin = std::find(lines.begin(), lines.end(), from);
    auto end = std::find(begin, lines.end(), to);
    return Lines(begin, end);
}

int SleptBetween(const Lines& lines, const std::string& from, const std::string& to)
{
    int total = 0;
    for (const std::string& line : Between(lines, from, to)) {
        if (line.compare(0, 6, "Sleep(") == 0)
            total += std::stoi(line.substr(6));
    }
    return total;
}

} // namespace

TEST_F(DriverTest, DetectHardware_OneUnit_ExactTimelineAndRecord)
{
    UseScenario(Scenario("init_polls = 1\nsetup_code = 1\n", 1));
    CreateService();
    service->DetectHardware(detections.Callback());
    ASSERT_TRUE(detections.Wait());
    DestroyService();
    EXPECT_EQ(Timeline(),
              Concat({StartupLines(1),
                      {"fmDLLGetDeviceCount() -> 1", "L0 ::fmDLLGetDeviceCount() -> 1", "fmBroadcastCheckCelvo() -> 0"},
                      QueryLines(0, "A"),
                      {"Sleep(500)", "detection complete", "Sleep(250)", "fmBroadcastStop()", "Sleep(250)",
                       "fmDLLShutDown()", "L0 ::fmDLLShutDown", "Sleep(500)"}}));

    const Service::VDllInitInfo info = detections.Info();
    EXPECT_EQ(info.status, ZORVA::DetectionStatus::SetupUnchanged);
    EXPECT_EQ(info.setupCode, 1);
    EXPECT_EQ(info.message, "The ZORVA setup is the same as the last saved configuration");
    const std::vector<Service::VDeviceInfo> devices = detections.Devices();
    ASSERT_EQ(devices.size(), 1u);
    const Service::VDeviceInfo& d = devices[0];
    EXPECT_EQ(d.productType, 100);
    EXPECT_EQ(d.amplifierModel, "AMP-A");
    EXPECT_EQ(d.amplifierSerial, "AS-A");
    EXPECT_EQ(d.firmwareVersion, "FW-A");
    EXPECT_EQ(d.platformModel, "Pendra");
    EXPECT_EQ(d.platformSerial, "PS-A");
    EXPECT_EQ(d.originOffsets, (std::vector<float>{0.5f, -0.25f, 1.5f}));
    EXPECT_EQ(d.platformLength, "23.6");
    EXPECT_EQ(d.platformWidth, "15.7");
    EXPECT_EQ(d.deviceIndex, 0);
}

TEST_F(DriverTest, DetectHardware_NeverCompletes_51PollsAndTimesOutAfter13Seconds)
{
    UseScenario(Scenario("init_polls = never\n", 1));
    CreateService();
    service->DetectHardware(detections.Callback());
    ASSERT_TRUE(detections.Wait());
    const Lines lines = Timeline();
    EXPECT_EQ(Count("fmDLLIsDeviceInitComplete() -> 0"), 51);
    EXPECT_EQ(Count("L0 ::fmDLLIsDeviceInitComplete() -> 0"), 51);
    EXPECT_EQ(SleptBetween(lines, "fmDLLInit()", "L2 ::fmDLLInit() failed"), 13000);
    EXPECT_EQ(Count("fmDLLSetupCheck() -> 1"), 0) << "no set-up check after a time-out";
    EXPECT_EQ(Count("fmDLLGetDeviceCount() -> 1"), 1) << "the queries still run";

    const Service::VDllInitInfo info = detections.Info();
    EXPECT_EQ(info.status, ZORVA::DetectionStatus::TimedOut);
    EXPECT_EQ(info.message, "ZORVA device initialization timed out, consider restarting the application.");
    EXPECT_EQ(detections.Devices().size(), 1u);

    // The next scan starts the library directly; destruction leaves it alone.
    zorvasim::ClearTrace();
    service->DetectHardware(detections.Callback());
    ASSERT_TRUE(detections.Wait(2));
    DestroyService();
    const Lines rescan = Timeline();
    ASSERT_FALSE(rescan.empty());
    EXPECT_EQ(rescan.front(), "fmDLLInit()");
    EXPECT_EQ(Count("fmDLLShutDown()"), 0);
}

TEST_F(DriverTest, DetectHardware_Rescan_StopsAndWaitsOneSecondFirst)
{
    UseScenario(Scenario("init_polls = 1\n", 1));
    CreateService();
    DetectAndClear();
    service->DetectHardware(detections.Callback());
    ASSERT_TRUE(detections.Wait(2));
    const Lines lines = Timeline();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 5),
              (Lines{"Sleep(250)", "fmBroadcastStop()", "L0 ::fmBroadcastStop()", "Sleep(1000)", "fmDLLInit()"}));
}

namespace {

struct CallbackDelayCase
{
    int units;
    Lines pauses;
};

class CallbackDelay : public DriverTest, public ::testing::WithParamInterface<CallbackDelayCase>
{};

} // namespace

TEST_P(CallbackDelay, DetectHardware_UnitCount_PausesBeforeCallback)
{
    UseScenario(Scenario("init_polls = 1\nsetup_code = 0\n", GetParam().units));
    CreateService();
    service->DetectHardware(detections.Callback());
    ASSERT_TRUE(detections.Wait());
    Lines expected = GetParam().pauses;
    expected.push_back("detection complete");
    const Lines lines = Timeline();
    const std::string last =
        GetParam().units == 0 ? "fmBroadcastCheckCelvo() -> 0" : "L0 ::fmGetPlatformLengthAndWidth() -> 23.6, 15.7";
    auto after = std::find(lines.rbegin(), lines.rend(), last).base();
    EXPECT_EQ(Lines(after, after + static_cast<long>(expected.size())), expected);
    EXPECT_EQ(detections.Devices().size(), static_cast<std::size_t>(GetParam().units));
}

INSTANTIATE_TEST_SUITE_P(Units, CallbackDelay,
                         ::testing::Values(CallbackDelayCase{0, {"Sleep(500)"}}, CallbackDelayCase{4, {"Sleep(500)"}},
                                           CallbackDelayCase{5, {"Sleep(500)", "Sleep(2000)"}}));

namespace {

struct SetupCase
{
    int code;
    ZORVA::DetectionStatus status;
    const char* message;
};

class SetupCode : public DriverTest, public ::testing::WithParamInterface<SetupCase>
{};

const ZORVA::DetectionStatus SetupUnchanged = ZORVA::DetectionStatus::SetupUnchanged;
const ZORVA::DetectionStatus Started = ZORVA::DetectionStatus::Started;

} // namespace

TEST_P(SetupCode, DetectHardware_SetupCode_MessageStatusAndConfiguration)
{
    const SetupCase& c = GetParam();
    UseScenario(Scenario("init_polls = 1\nsetup_code = " + std::to_string(c.code) + "\n", c.code == 0 ? 0 : 1));
    CreateService();
    service->DetectHardware(detections.Callback());
    ASSERT_TRUE(detections.Wait());
    EXPECT_EQ(detections.Info().setupCode, c.code);
    EXPECT_EQ(detections.Info().status, c.status);
    EXPECT_EQ(detections.Info().message, c.message);
    const Lines startup = StartupLines(c.code);
    const Lines lines = Timeline();
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + static_cast<long>(std::min(lines.size(), startup.size()))), startup)
        << "every code leads to the configuration";
    EXPECT_EQ(Count("L2 " + std::string(c.message)), 0) << "the message is not logged here";
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SetupCode,
    ::testing::Values(
        SetupCase{0, Started, "No ZORVA devices were found"},
        SetupCase{1, SetupUnchanged, "The ZORVA setup is the same as the last saved configuration"},
        SetupCase{211, Started, "The configuration file was not found"},
        SetupCase{212, Started, "fmDLLSetupCheck returned an unknown status code"},
        SetupCase{213, Started, "A configuration file was found but for the wrong version of the software"},
        SetupCase{214, Started,
                  "The configuration has changed. A different number of ZORVA devices were detected than the "
                  "previously saved setup."},
        SetupCase{215, Started,
                  "The configuration has changed. The serial numbers don\x92t match the previously saved setup."},
        SetupCase{-7, Started, "fmDLLSetupCheck returned an unknown status code"}));

// ---------------------------------------------------------------- calibration

namespace {

struct CalibrationCase
{
    const char* name;
    std::string unitSettings; ///< for the one pending unit
    Lines expected;           ///< from the check to the first identity query
};

class Calibration : public DriverTest, public ::testing::WithParamInterface<CalibrationCase>
{};

const std::string Pending = "calibration_pending = true\n";

Lines Download(std::initializer_list<std::string> polls, Lines after)
{
    Lines lines = {"fmBroadcastCheckCelvo() -> 1",   "L2 1 Celvos not ready - BCF download will be attempted",
                   "fmDLLSelectDeviceIndex(0)",      "fmGetPlatformSerialNumber()",
                   "fmCelvoDownloadCalFile(1) -> 0", "L0 fmCelvoDownloadCalFile() called for platform PS-A"};
    lines.insert(lines.end(), polls.begin(), polls.end());
    lines.insert(lines.end(), after.begin(), after.end());
    return lines;
}

Lines Refused(int result, Lines messages)
{
    Lines lines = {"fmBroadcastCheckCelvo() -> 1", "L2 1 Celvos not ready - BCF download will be attempted",
                   "fmDLLSelectDeviceIndex(0)", "fmGetPlatformSerialNumber()",
                   "fmCelvoDownloadCalFile(1) -> " + std::to_string(result)};
    lines.insert(lines.end(), messages.begin(), messages.end());
    lines.push_back("L2 Device 0 may give bad results");
    return lines;
}

Lines TimedOut()
{
    Lines lines = Download({}, {});
    for (int i = 0; i < 50; ++i) {
        lines.push_back("fmIsCelvoDownloadComplete() -> 0");
        lines.push_back("Sleep(500)");
    }
    lines.push_back("L2 Celvo BCF download timed out for PS-A");
    lines.push_back("L2 Device 0 may give bad results");
    return lines;
}

} // namespace

TEST_P(Calibration, DetectHardware_PendingUnit_DownloadOutcomeLogged)
{
    UseScenario(Scenario("init_polls = 1\n", 1, Pending + GetParam().unitSettings));
    CreateService();
    service->DetectHardware(detections.Callback());
    ASSERT_TRUE(detections.Wait());
    const Lines lines = Timeline();
    EXPECT_EQ(Between(lines, "fmBroadcastCheckCelvo() -> 1", "L0 ::fmDLLSelectDeviceIndex(0)"), [&] {
        Lines e = GetParam().expected;
        e.push_back("fmDLLSelectDeviceIndex(0)");
        return e;
    }());
    EXPECT_EQ(detections.Devices().size(), 1u) << "the unit is enumerated whatever the outcome";
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, Calibration,
    ::testing::Values(
        CalibrationCase{"CompleteAtFirstPoll", "cal_complete_results = 1\n",
                        Download({"fmIsCelvoDownloadComplete() -> 1"}, {"L0 Celvo download is complete"})},
        CalibrationCase{"CompleteAfterTwoWaits", "cal_complete_results = 0 0 1\n",
                        Download({"fmIsCelvoDownloadComplete() -> 0", "Sleep(500)", "fmIsCelvoDownloadComplete() -> 0",
                                  "Sleep(500)", "fmIsCelvoDownloadComplete() -> 1"},
                                 {"L0 Celvo download is complete"})},
        CalibrationCase{"BadVersion", "cal_complete_results = 3\n",
                        Download({"fmIsCelvoDownloadComplete() -> 3"},
                                 {"L2 Bad Celvo BCF version seen for PS-A", "L2 Device 0 may give bad results"})},
        CalibrationCase{
            "BadCrc", "cal_complete_results = 0 4\n",
            Download({"fmIsCelvoDownloadComplete() -> 0", "Sleep(500)", "fmIsCelvoDownloadComplete() -> 4"},
                     {"L2 Bad CRC check on Celvo BCF download for PS-A", "L2 Device 0 may give bad results"})},
        CalibrationCase{"OtherFailure", "cal_complete_results = 9\n",
                        Download({"fmIsCelvoDownloadComplete() -> 9"},
                                 {"L2 Celvo BCF download failed for PS-A", "L2 Device 0 may give bad results"})},
        CalibrationCase{"NeverCompletes", "cal_complete_results = 0\n", TimedOut()},
        CalibrationCase{"NoFileOnSystem", "cal_download_result = 3\n",
                        Refused(3, {"L2 Can't find Celvo BCF on the system for PS-A"})},
        CalibrationCase{"NotACelvoConditioner", "cal_download_result = 2\n",
                        Refused(2, {"L2 Signal conditioner 0 thinks it's an Celvo but it isn't"})},
        CalibrationCase{"NotACelvoPlatform", "cal_download_result = 1\n",
                        Refused(1, {"L2 Platform PS-A is not an Celvo platform"})},
        CalibrationCase{"UnknownRefusal", "cal_download_result = 7\n",
                        Refused(7, {"L2 Unable to download Celvo BCF for unknown reasons"})}),
    [](const ::testing::TestParamInfo<CalibrationCase>& info) { return std::string(info.param.name); });

TEST_F(DriverTest, DetectHardware_LongSerial_CutToSixteenInMessagesOnly)
{
    std::string text = Scenario("init_polls = 1\n", 1, Pending + "cal_download_result = 1\n");
    const std::string serial = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    text.replace(text.find("platform_serial = PS-A"), 22, "platform_serial = " + serial);
    UseScenario(text);
    CreateService();
    service->DetectHardware(detections.Callback());
    ASSERT_TRUE(detections.Wait());
    EXPECT_EQ(Count("L2 Platform ABCDEFGHIJKLMNOP is not an Celvo platform"), 1);
    ASSERT_EQ(detections.Devices().size(), 1u);
    EXPECT_EQ(detections.Devices()[0].platformSerial, serial);
}

TEST_F(DriverTest, DetectHardware_TwoPending_TreatedInListOrder)
{
    std::string text = "[scenario]\ninit_polls = 1\n" + Unit("A") +
                       "[unit B]\nproduct_type = 100\nplatform_serial = PS-B\n" + Pending +
                       "cal_download_result = 1\n" + "[unit C]\nproduct_type = 100\nplatform_serial = PS-C\n" +
                       Pending + "cal_complete_results = 1\n";
    UseScenario(text);
    CreateService();
    service->DetectHardware(detections.Callback());
    ASSERT_TRUE(detections.Wait());
    const Lines lines = Timeline();
    EXPECT_EQ(Between(lines, "fmBroadcastCheckCelvo() -> 2", "L0 ::fmDLLSelectDeviceIndex(0)"),
              (Lines{"fmBroadcastCheckCelvo() -> 2", "L2 2 Celvos not ready - BCF download will be attempted",
                     "fmDLLSelectDeviceIndex(1)", "fmGetPlatformSerialNumber()", "fmCelvoDownloadCalFile(1) -> 1",
                     "L2 Platform PS-B is not an Celvo platform", "L2 Device 1 may give bad results",
                     "fmDLLSelectDeviceIndex(2)", "fmGetPlatformSerialNumber()", "fmCelvoDownloadCalFile(1) -> 0",
                     "L0 fmCelvoDownloadCalFile() called for platform PS-C", "fmIsCelvoDownloadComplete() -> 1",
                     "L0 Celvo download is complete", "fmDLLSelectDeviceIndex(0)"}));
}

// The library has room for 16 indices; reading a 17th slot would overrun.
TEST_F(DriverTest, DetectHardware_EighteenPending_HandlesSixteenWithoutOverrun)
{
    UseScenario(Scenario("init_polls = 1\n", 18, Pending + "cal_complete_results = 1\n"));
    CreateService();
    service->DetectHardware(detections.Callback());
    ASSERT_TRUE(detections.Wait());
    EXPECT_EQ(Count("fmBroadcastCheckCelvo() -> 18"), 1);
    EXPECT_EQ(Count("L2 18 Celvos not ready - BCF download will be attempted"), 1);
    EXPECT_EQ(Count("fmCelvoDownloadCalFile(1) -> 0"), 16);
    EXPECT_EQ(Count("L2 Only 16 of 18 Celvos can be given a BCF download; the others may give bad results"), 1);
    EXPECT_EQ(detections.Devices().size(), 18u);
}
