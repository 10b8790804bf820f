// The fm* functions outside the data path: start-up, set-up check,
// enumeration, plugging, selection, calibration, caller buffers, recorded
// commands and the trace.
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <thread>

namespace {

using namespace zorvasim;
using simtest::OneUnit;
using simtest::SimTest;

class LibraryTest : public SimTest
{};

// ---------------------------------------------------------------- start-up

struct PollCase
{
    const char* label;
    const char* initPolls;
    std::vector<int> results; // of consecutive polls after fmDLLInit
};

std::ostream& operator<<(std::ostream& os, const PollCase& c) { return os << c.label; }

class StartUpPollTest : public SimTest, public ::testing::WithParamInterface<PollCase>
{};

TEST_P(StartUpPollTest, IsDeviceInitComplete_AfterInit_CompletesAtTheScenarioPoll)
{
    Load(OneUnit(std::string("init_polls = ") + GetParam().initPolls, ""));
    EXPECT_EQ(fmDLLIsDeviceInitComplete(), 0) << "before fmDLLInit";
    fmDLLInit();
    std::vector<int> results;
    for (std::size_t i = 0; i < GetParam().results.size(); ++i)
        results.push_back(fmDLLIsDeviceInitComplete());
    EXPECT_EQ(results, GetParam().results);
}

INSTANTIATE_TEST_SUITE_P(Cases, StartUpPollTest,
                         ::testing::Values(PollCase{"First", "1", {1, 1}}, PollCase{"Third", "3", {0, 0, 1, 1}},
                                           PollCase{"LastOfTheDriver", "51", std::vector<int>(50, 0)},
                                           PollCase{"Never", "never", std::vector<int>(60, 0)}));

TEST_F(LibraryTest, IsDeviceInitComplete_SecondInit_CountsPollsAgain)
{
    Load(OneUnit("init_polls = 2", ""));
    fmDLLInit();
    EXPECT_EQ(fmDLLIsDeviceInitComplete(), 0);
    EXPECT_EQ(fmDLLIsDeviceInitComplete(), 1);
    fmDLLInit();
    EXPECT_EQ(fmDLLIsDeviceInitComplete(), 0);
    EXPECT_EQ(fmDLLIsDeviceInitComplete(), 1);
    fmDLLShutDown();
    EXPECT_EQ(fmDLLIsDeviceInitComplete(), 0);
}

class SetupCodeTest : public SimTest, public ::testing::WithParamInterface<int>
{};

TEST_P(SetupCodeTest, SetupCheck_AfterInit_ReturnsTheScenarioCode)
{
    Load(OneUnit("setup_code = " + std::to_string(GetParam()), ""));
    EXPECT_EQ(fmDLLSetupCheck(), 0) << "nothing was found before fmDLLInit";
    ASSERT_TRUE(simtest::InitLibrary());
    EXPECT_EQ(fmDLLSetupCheck(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Codes, SetupCodeTest, ::testing::Values(0, 1, 211, 213, 214, 215, 212, -7));

// ---------------------------------------------------------------- enumeration

TEST_F(LibraryTest, Queries_DefaultBench_ReportEachUnitInScenarioOrder)
{
    ASSERT_TRUE(simtest::InitLibrary());
    const Scenario s = DefaultScenario();
    ASSERT_EQ(fmDLLGetDeviceCount(), 2);
    for (int i = 0; i < 2; ++i) {
        const UnitSpec& u = s.units[static_cast<std::size_t>(i)];
        EXPECT_EQ(fmDLLSelectDeviceIndex(i), 1);
        char text[ZORVA_USB_TEXT_SIZE];
        fmGetAmplifierModelNumber(text);
        EXPECT_EQ(text, u.amplifierModel);
        fmGetAmplifierSerialNumber(text);
        EXPECT_EQ(text, u.amplifierSerial);
        fmGetAmplifierFirmwareVersion(text);
        EXPECT_EQ(text, u.firmwareVersion);
        fmGetPlatformModelNumber(text);
        EXPECT_EQ(text, u.platformModel);
        fmGetPlatformSerialNumber(text);
        EXPECT_EQ(text, u.platformSerial);
        EXPECT_EQ(fmGetProductType(), u.productType);
        float offsets[3] = {};
        fmGetPlatformXYZOffsets(offsets);
        EXPECT_EQ(std::vector<float>(offsets, offsets + 3),
                  std::vector<float>(u.originOffsets.begin(), u.originOffsets.end()));
        char length[ZORVA_USB_SIZE_TEXT_SIZE];
        char width[ZORVA_USB_SIZE_TEXT_SIZE];
        fmGetPlatformLengthAndWidth(length, width);
        EXPECT_EQ(length, u.platformLength);
        EXPECT_EQ(width, u.platformWidth);
    }
}

TEST_F(LibraryTest, GetDeviceCount_UnplugAndPlug_TakesEffectAtTheNextInit)
{
    ASSERT_TRUE(simtest::InitLibrary());
    ASSERT_EQ(fmDLLGetDeviceCount(), 2);

    ASSERT_TRUE(SetPlugged(0, false));
    EXPECT_EQ(fmDLLGetDeviceCount(), 2) << "the bus is enumerated at fmDLLInit";
    ASSERT_TRUE(simtest::InitLibrary());
    ASSERT_EQ(fmDLLGetDeviceCount(), 1);
    fmDLLSelectDeviceIndex(0);
    char serial[ZORVA_USB_TEXT_SIZE];
    fmGetAmplifierSerialNumber(serial);
    EXPECT_EQ(serial, DefaultScenario().units[1].amplifierSerial) << "device 0 is now the second unit";
    EXPECT_EQ(GetState().enumeratedUnits, (std::vector<int>{1}));

    ASSERT_TRUE(SetPlugged(0, true));
    ASSERT_TRUE(simtest::InitLibrary());
    EXPECT_EQ(fmDLLGetDeviceCount(), 2);
    fmDLLSelectDeviceIndex(0);
    fmGetAmplifierSerialNumber(serial);
    EXPECT_EQ(serial, DefaultScenario().units[0].amplifierSerial);

    EXPECT_FALSE(SetPlugged(2, false));
    EXPECT_FALSE(SetPlugged(-1, false));
}

TEST_F(LibraryTest, GetDeviceCount_UnitUnpluggedAtTheSecondInit_GoneFromThenOnUntilPluggedAgain)
{
    Load("[scenario]\ninit_polls = 1\n[unit A]\namplifier_serial = A\nunplug_at_init = 2\n"
         "[unit B]\namplifier_serial = B\n");
    ASSERT_TRUE(simtest::InitLibrary());
    EXPECT_EQ(fmDLLGetDeviceCount(), 2);
    EXPECT_TRUE(CurrentScenario().units[0].plugged);
    ASSERT_TRUE(simtest::InitLibrary()); // the rescan that finds the loose cable
    EXPECT_EQ(GetState().enumeratedUnits, (std::vector<int>{1}));
    EXPECT_FALSE(CurrentScenario().units[0].plugged);
    ASSERT_TRUE(simtest::InitLibrary());
    EXPECT_EQ(fmDLLGetDeviceCount(), 1) << "it stays out";
    ASSERT_TRUE(SetPlugged(0, true));
    ASSERT_TRUE(simtest::InitLibrary());
    EXPECT_EQ(fmDLLGetDeviceCount(), 2) << "plugged back in, it is not pulled again";
}

TEST_F(LibraryTest, GetDeviceCount_BeforeInitAndAfterShutDown_IsZero)
{
    EXPECT_EQ(fmDLLGetDeviceCount(), 0);
    ASSERT_TRUE(simtest::InitLibrary());
    EXPECT_EQ(fmDLLGetDeviceCount(), 2);
    fmDLLShutDown();
    EXPECT_EQ(fmDLLGetDeviceCount(), 0);
}

TEST_F(LibraryTest, GetDeviceCount_StartUpNeverCompletes_StillReportsTheBus)
{
    Load(OneUnit("init_polls = never", ""));
    EXPECT_FALSE(simtest::InitLibrary());
    EXPECT_EQ(fmDLLGetDeviceCount(), 1);
    EXPECT_EQ(fmBroadcastStart(), 0) << "a bus that did not start sends nothing";
    EXPECT_FALSE(GetState().acquiring);
}

TEST_F(LibraryTest, Queries_SelectionOutOfRange_WriteEmptyResultsWithinTheBuffers)
{
    ASSERT_TRUE(simtest::InitLibrary());
    for (int index : {2, -1, 1000000}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(fmDLLSelectDeviceIndex(index), 0);
        EXPECT_EQ(fmGetProductType(), 0);
        auto text = std::make_unique<char[]>(ZORVA_USB_TEXT_SIZE);
        std::memset(text.get(), 'x', ZORVA_USB_TEXT_SIZE);
        EXPECT_EQ(fmGetPlatformSerialNumber(text.get()), 0);
        EXPECT_STREQ(text.get(), "");
        float offsets[3] = {7, 7, 7};
        EXPECT_EQ(fmGetPlatformXYZOffsets(offsets), 0);
        EXPECT_EQ(std::vector<float>(offsets, offsets + 3), (std::vector<float>{0, 0, 0}));
        char length[ZORVA_USB_SIZE_TEXT_SIZE] = "x";
        char width[ZORVA_USB_SIZE_TEXT_SIZE] = "x";
        EXPECT_EQ(fmGetPlatformLengthAndWidth(length, width), 0);
        EXPECT_STREQ(length, "");
        EXPECT_STREQ(width, "");
        EXPECT_EQ(fmSetBlink(), 0);
        EXPECT_EQ(fmCelvoDownloadCalFile(1), -1);
    }
    EXPECT_EQ(GetState().blinkCounts, (std::vector<int>{0, 0}));
}

TEST_F(LibraryTest, Queries_NullBuffers_WriteNothingAndReturnZero)
{
    ASSERT_TRUE(simtest::InitLibrary());
    fmDLLSelectDeviceIndex(0);
    EXPECT_EQ(fmGetAmplifierModelNumber(nullptr), 0);
    EXPECT_EQ(fmGetPlatformXYZOffsets(nullptr), 0);
    char width[ZORVA_USB_SIZE_TEXT_SIZE];
    EXPECT_EQ(fmGetPlatformLengthAndWidth(nullptr, width), 0);
    EXPECT_EQ(width, DefaultScenario().units[0].platformWidth);
    EXPECT_EQ(fmDLLTransferFloatData(nullptr), 0);
    EXPECT_EQ(fmBroadcastCheckCelvo(nullptr), 0);
}

// ---------------------------------------------------------------- caller buffers

TEST_F(LibraryTest, Queries_TextsLongerThanTheBuffers_AreCutAndTerminated)
{
    // Heap buffers of exactly the documented size, so a write past them is
    // caught by AddressSanitizer.
    const std::string longText(3000, 'M');
    const std::string longSize = "12345678901234567890123456789012345.5";
    Load(OneUnit("", "amplifier_model = " + longText + "\nplatform_serial = " + longText + "\nlength = " + longSize +
                         "\nwidth = " + longSize));
    ASSERT_TRUE(simtest::InitLibrary());
    fmDLLSelectDeviceIndex(0);

    auto text = std::make_unique<char[]>(ZORVA_USB_TEXT_SIZE);
    fmGetAmplifierModelNumber(text.get());
    EXPECT_EQ(std::string(text.get()), longText.substr(0, ZORVA_USB_TEXT_SIZE - 1));
    fmGetPlatformSerialNumber(text.get());
    EXPECT_EQ(std::strlen(text.get()), std::size_t(ZORVA_USB_TEXT_SIZE - 1));

    auto length = std::make_unique<char[]>(ZORVA_USB_SIZE_TEXT_SIZE);
    auto width = std::make_unique<char[]>(ZORVA_USB_SIZE_TEXT_SIZE);
    fmGetPlatformLengthAndWidth(length.get(), width.get());
    EXPECT_EQ(std::string(length.get()), longSize.substr(0, ZORVA_USB_SIZE_TEXT_SIZE - 1));
    EXPECT_EQ(std::string(width.get()), longSize.substr(0, ZORVA_USB_SIZE_TEXT_SIZE - 1));
}

TEST_F(LibraryTest, CheckCelvo_MorePendingThanSlots_FillsSixteenAndReturnsTheTrueCount)
{
    std::string text = "[scenario]\ninit_polls = 1\n";
    for (int i = 0; i < 20; ++i)
        text += "[unit " + std::to_string(i) + "]\ncalibration_pending = " + (i == 3 ? "false" : "true") + "\n";
    Load(text);
    ASSERT_TRUE(simtest::InitLibrary());

    auto slots = std::make_unique<int[]>(ZORVA_USB_CHECK_CELVO_SLOTS); // exactly 16: ASan catches a 17th
    EXPECT_EQ(fmBroadcastCheckCelvo(slots.get()), 19);
    std::vector<int> expected{0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(std::vector<int>(slots.get(), slots.get() + ZORVA_USB_CHECK_CELVO_SLOTS), expected);
}

// ---------------------------------------------------------------- calibration

struct CalibrationCase
{
    const char* label;
    int downloadResult;
    const char* completeResults;
    std::vector<int> polls; // fmIsCelvoDownloadComplete results until non-zero, at most 50
    bool pendingAfter;
};

std::ostream& operator<<(std::ostream& os, const CalibrationCase& c) { return os << c.label; }

class CalibrationTest : public SimTest, public ::testing::WithParamInterface<CalibrationCase>
{};

TEST_P(CalibrationTest, CelvoDownload_ScenarioOutcome_IsReportedAndClearsPendingOnlyOnSuccess)
{
    const CalibrationCase& c = GetParam();
    Load("[scenario]\ninit_polls = 1\n"
         "[unit Ready]\ncalibration_pending = false\n"
         "[unit Pending]\ncalibration_pending = true\ncal_download_result = " +
         std::to_string(c.downloadResult) + "\ncal_complete_results = " + c.completeResults + "\n");
    ASSERT_TRUE(simtest::InitLibrary());

    int slots[ZORVA_USB_CHECK_CELVO_SLOTS] = {};
    ASSERT_EQ(fmBroadcastCheckCelvo(slots), 1);
    ASSERT_EQ(slots[0], 1);
    fmDLLSelectDeviceIndex(slots[0]);
    ASSERT_EQ(fmCelvoDownloadCalFile(1), c.downloadResult);
    std::vector<int> polls;
    if (c.downloadResult == 0) {
        for (int i = 0; i < 50; ++i) {
            polls.push_back(fmIsCelvoDownloadComplete());
            if (polls.back() != 0)
                break;
        }
    }
    EXPECT_EQ(polls, c.polls);
    EXPECT_EQ(fmIsCelvoDownloadComplete(), c.downloadResult == 0 && polls.back() == 0 ? 0 : 2)
        << "a finished download reports failure when polled again";
    EXPECT_EQ(fmBroadcastCheckCelvo(slots), c.pendingAfter ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, CalibrationTest,
                         ::testing::Values(CalibrationCase{"CompleteAtOnce", 0, "1", {1}, false},
                                           CalibrationCase{"CompleteAfterTwoPolls", 0, "0 0 1", {0, 0, 1}, false},
                                           CalibrationCase{"BadVersion", 0, "0 3", {0, 3}, true},
                                           CalibrationCase{"BadCrc", 0, "4", {4}, true},
                                           CalibrationCase{"OtherFailure", 0, "0 0 0 9", {0, 0, 0, 9}, true},
                                           CalibrationCase{"NeverCompletes", 0, "0", std::vector<int>(50, 0), true},
                                           CalibrationCase{"NotACelvoPlatform", 1, "1", {}, true},
                                           CalibrationCase{"NotACelvoConditioner", 2, "1", {}, true},
                                           CalibrationCase{"NoFile", 3, "1", {}, true},
                                           CalibrationCase{"Unknown", 17, "1", {}, true}));

TEST_F(LibraryTest, IsCelvoDownloadComplete_NoDownloadStarted_ReportsFailure)
{
    ASSERT_TRUE(simtest::InitLibrary());
    EXPECT_EQ(fmIsCelvoDownloadComplete(), 2);
}

// ---------------------------------------------------------------- commands

TEST_F(LibraryTest, Commands_FromThePlugin_AreRecorded)
{
    ASSERT_TRUE(simtest::InitLibrary());
    fmDLLSetUSBPacketSize(512);
    fmBroadcastRunMode(1);
    fmDLLSetDataFormat(1);
    fmDLLPostDataReadyMessages(1);
    fmDLLPostUserThreadMessages(4242);
    fmBroadcastGenlock(1);
    EXPECT_EQ(fmBroadcastAcquisitionRate(600), 1);
    fmDLLSelectDeviceIndex(1);
    EXPECT_EQ(fmSetBlink(), 1);
    fmSetBlink();

    LibraryState s = GetState();
    EXPECT_EQ(s.packetSize, 512);
    EXPECT_EQ(s.runMode, 1);
    EXPECT_EQ(s.dataFormat, 1);
    EXPECT_TRUE(s.postingEnabled);
    EXPECT_EQ(s.threadId, 4242u);
    EXPECT_TRUE(s.genlock);
    EXPECT_EQ(s.rate, 600);
    EXPECT_EQ(s.selectedIndex, 1);
    EXPECT_EQ(s.blinkCounts, (std::vector<int>{0, 2}));

    fmBroadcastGenlock(0);
    EXPECT_FALSE(GetState().genlock);
}

TEST_F(LibraryTest, AcquisitionRate_OutOfRange_IsIgnored)
{
    ASSERT_TRUE(simtest::InitLibrary());
    ASSERT_EQ(fmBroadcastAcquisitionRate(2000), 1);
    for (int rate : {0, -1000, 20001}) {
        EXPECT_EQ(fmBroadcastAcquisitionRate(rate), 0) << rate;
        EXPECT_EQ(GetState().rate, 2000);
    }
}

TEST_F(LibraryTest, ShutDown_AfterAcquisition_ReturnsToPowerOnStateButKeepsRecords)
{
    Load(OneUnit("rate = 250", ""));
    ASSERT_TRUE(simtest::StartAcquisition(GetCurrentThreadId()));
    fmBroadcastAcquisitionRate(1000);
    fmBroadcastGenlock(1);
    fmDLLSelectDeviceIndex(0);
    fmSetBlink();
    ASSERT_EQ(DeliverBlocks(2), 2);

    fmDLLShutDown();
    const LibraryState s = GetState();
    EXPECT_FALSE(s.initialised);
    EXPECT_FALSE(s.acquiring);
    EXPECT_FALSE(s.postingEnabled);
    EXPECT_EQ(s.threadId, 0u);
    EXPECT_EQ(s.rate, 250) << "the scenario's rate again";
    EXPECT_FALSE(s.genlock);
    EXPECT_EQ(s.deviceCount, 0);
    EXPECT_EQ(s.blinkCounts, (std::vector<int>{1})) << "what happened stays readable";
    EXPECT_EQ(GetCounters().backlog, 0u);
    float* block = nullptr;
    EXPECT_EQ(fmDLLTransferFloatData(&block), 0);
    EXPECT_EQ(DeliverBlocks(1), 0);
}

// ---------------------------------------------------------------- trace

TEST_F(LibraryTest, Trace_StartUpInVirtualTime_InterleavesCallsPausesAndNotes)
{
    Load(OneUnit("init_polls = 2", "calibration_pending = true\ncal_complete_results = 0 1"));
    ClearTrace();

    // The start-up as the driver makes it, with its pauses.
    Note("detect");
    fmDLLInit();
    Sleep(250);
    for (int i = 0; i < 51; ++i) {
        const int done = fmDLLIsDeviceInitComplete();
        Sleep(250);
        if (done)
            break;
    }
    fmDLLSetupCheck();
    fmDLLSetUSBPacketSize(512);
    fmDLLPostUserThreadMessages(1004);
    Sleep(1000);
    fmDLLGetDeviceCount();
    int slots[ZORVA_USB_CHECK_CELVO_SLOTS];
    fmBroadcastCheckCelvo(slots);
    fmDLLSelectDeviceIndex(0);
    char text[ZORVA_USB_TEXT_SIZE];
    fmGetPlatformSerialNumber(text);
    fmCelvoDownloadCalFile(1);
    while (fmIsCelvoDownloadComplete() == 0)
        Sleep(500);
    float offsets[3];
    fmGetPlatformXYZOffsets(offsets);
    char length[ZORVA_USB_SIZE_TEXT_SIZE];
    char width[ZORVA_USB_SIZE_TEXT_SIZE];
    fmGetPlatformLengthAndWidth(length, width);
    fmBroadcastAcquisitionRate(1000);
    float* block = nullptr;
    fmDLLTransferFloatData(&block);
    Note("done");

    const std::vector<std::string> expected{
        "detect",
        "fmDLLInit()",
        "Sleep(250)",
        "fmDLLIsDeviceInitComplete() -> 0",
        "Sleep(250)",
        "fmDLLIsDeviceInitComplete() -> 1",
        "Sleep(250)",
        "fmDLLSetupCheck() -> 1",
        "fmDLLSetUSBPacketSize(512)",
        "fmDLLPostUserThreadMessages(1004)",
        "Sleep(1000)",
        "fmDLLGetDeviceCount() -> 1",
        "fmBroadcastCheckCelvo() -> 1",
        "fmDLLSelectDeviceIndex(0)",
        "fmGetPlatformSerialNumber()",
        "fmCelvoDownloadCalFile(1) -> 0",
        "fmIsCelvoDownloadComplete() -> 0",
        "Sleep(500)",
        "fmIsCelvoDownloadComplete() -> 1",
        "fmGetPlatformXYZOffsets()",
        "fmGetPlatformLengthAndWidth()",
        "fmBroadcastAcquisitionRate(1000)",
        "fmDLLTransferFloatData() -> 0",
        "done",
    };
    EXPECT_EQ(GetTrace(), expected);
    EXPECT_EQ(VirtualTimeMs(), 250u * 3 + 1000 + 500);
}

TEST_F(LibraryTest, Trace_EveryFunction_HasItsEntry)
{
    ASSERT_TRUE(simtest::InitLibrary());
    fmDLLSelectDeviceIndex(0);
    ClearTrace();
    char text[ZORVA_USB_TEXT_SIZE];
    char small[ZORVA_USB_SIZE_TEXT_SIZE];
    float offsets[3];
    int slots[ZORVA_USB_CHECK_CELVO_SLOTS];
    float* block = nullptr;
    const std::vector<std::pair<std::function<void()>, std::string>> table{
        {[] { fmDLLInit(); }, "fmDLLInit()"},
        {[] { fmDLLIsDeviceInitComplete(); }, "fmDLLIsDeviceInitComplete() -> 0"},
        {[] { fmDLLSetupCheck(); }, "fmDLLSetupCheck() -> 1"},
        {[] { fmDLLSetUSBPacketSize(512); }, "fmDLLSetUSBPacketSize(512)"},
        {[] { fmBroadcastRunMode(1); }, "fmBroadcastRunMode(1)"},
        {[] { fmDLLSetDataFormat(1); }, "fmDLLSetDataFormat(1)"},
        {[] { fmDLLPostDataReadyMessages(1); }, "fmDLLPostDataReadyMessages(1)"},
        {[] { fmDLLPostUserThreadMessages(4000000000u); }, "fmDLLPostUserThreadMessages(4000000000)"},
        {[] { fmBroadcastResetSoftware(); }, "fmBroadcastResetSoftware()"},
        {[] { fmBroadcastStart(); }, "fmBroadcastStart()"},
        {[] { fmBroadcastStop(); }, "fmBroadcastStop()"},
        {[] { fmBroadcastZero(); }, "fmBroadcastZero()"},
        {[] { fmBroadcastAcquisitionRate(-5); }, "fmBroadcastAcquisitionRate(-5)"},
        {[] { fmBroadcastGenlock(1); }, "fmBroadcastGenlock(1)"},
        {[] { fmDLLGetDeviceCount(); }, "fmDLLGetDeviceCount() -> 2"},
        {[] { fmDLLSelectDeviceIndex(1); }, "fmDLLSelectDeviceIndex(1)"},
        {[] { fmGetProductType(); }, "fmGetProductType() -> 300"},
        {[&] { fmGetAmplifierModelNumber(text); }, "fmGetAmplifierModelNumber()"},
        {[&] { fmGetAmplifierSerialNumber(text); }, "fmGetAmplifierSerialNumber()"},
        {[&] { fmGetAmplifierFirmwareVersion(text); }, "fmGetAmplifierFirmwareVersion()"},
        {[&] { fmGetPlatformModelNumber(text); }, "fmGetPlatformModelNumber()"},
        {[&] { fmGetPlatformSerialNumber(text); }, "fmGetPlatformSerialNumber()"},
        {[&] { fmGetPlatformXYZOffsets(offsets); }, "fmGetPlatformXYZOffsets()"},
        {[&] { fmGetPlatformLengthAndWidth(small, small); }, "fmGetPlatformLengthAndWidth()"},
        {[] { fmSetBlink(); }, "fmSetBlink()"},
        {[&] { fmBroadcastCheckCelvo(slots); }, "fmBroadcastCheckCelvo() -> 0"},
        {[] { fmCelvoDownloadCalFile(1); }, "fmCelvoDownloadCalFile(1) -> 0"},
        {[] { fmIsCelvoDownloadComplete(); }, "fmIsCelvoDownloadComplete() -> 1"},
        {[&] { fmDLLTransferFloatData(&block); }, "fmDLLTransferFloatData() -> 0"},
        {[] { fmDLLShutDown(); }, "fmDLLShutDown()"},
    };
    std::vector<std::string> expected;
    for (const auto& row : table) {
        row.first();
        expected.push_back(row.second);
    }
    EXPECT_EQ(table.size(), 30u);
    EXPECT_EQ(GetTrace(), expected);
}

TEST_F(LibraryTest, Trace_BeyondCapacity_KeepsTheNewestAndCountsTheRest)
{
    SetTraceCapacity(3);
    for (int i = 0; i < 5; ++i)
        Note("n" + std::to_string(i));
    EXPECT_EQ(GetTrace(), (std::vector<std::string>{"n2", "n3", "n4"}));
    EXPECT_EQ(GetCounters().traceDropped, 2u);
    SetTraceCapacity(1);
    EXPECT_EQ(GetTrace(), (std::vector<std::string>{"n4"}));
    EXPECT_EQ(GetCounters().traceDropped, 4u);

    Reset();
    EXPECT_TRUE(GetTrace().empty());
    EXPECT_EQ(GetCounters().traceDropped, 0u);
}

TEST_F(LibraryTest, VirtualTime_SleepOnAnyThread_IsRecordedAndAdvancesTheClock)
{
    std::thread other([] { Sleep(40); });
    other.join();
    Sleep(2);
    EXPECT_EQ(VirtualTimeMs(), 42u);
    EXPECT_EQ(GetTrace(), (std::vector<std::string>{"Sleep(40)", "Sleep(2)"}));

    ASSERT_TRUE(SetVirtualTime(false));
    EXPECT_FALSE(VirtualTimeOn());
    Sleep(1); // real again: neither traced nor counted
    EXPECT_EQ(VirtualTimeMs(), 42u);
    EXPECT_EQ(GetTrace().size(), 2u);

    ASSERT_TRUE(SetVirtualTime(true));
    Sleep(8);
    EXPECT_EQ(VirtualTimeMs(), 50u);
    Reset();
    EXPECT_FALSE(VirtualTimeOn());
    EXPECT_EQ(VirtualTimeMs(), 0u);
}

} // namespace
