// Replay on the simulated library, called directly: every out-value as
// recorded, messages after the call they followed, each kind of difference
// reported where it happens, and traces refused or taken as scenarios are.
#include "TraceTestSupport.h"

#include "driver/ZORVAUSBDevice.h"
#include "simusb/ReplayControl.h"
#include "simusb/SimControl.h"
#include "tests/support/TestEnvironment.h"
#include "trace/format/Bytes.h"
#include "win32/ZorvaWin32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

using namespace zorvatrace;
using namespace tracetest;

namespace {

Record Call(Function function, std::int32_t result, std::int32_t argument = 0, std::uint64_t timeUs = 0)
{
    Record record = CallRecord(function);
    record.result = result;
    record.argument = argument;
    record.timeUs = timeUs;
    return record;
}

Record Message(std::uint64_t timeUs, std::uint32_t message = ZORVA_USB_WM_DATA_READY)
{
    Record record;
    record.type = RecordType::Message;
    record.timeUs = timeUs;
    record.message = message;
    record.wParam = 7;
    record.lParam = -9;
    return record;
}

class Replay : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetEnvironment("ZORVA_SIM_SCENARIO", nullptr);
        zorvasim::Reset();
    }

    void TearDown() override
    {
        zorvasim::EndReplay();
        SetEnvironment("ZORVA_SIM_SCENARIO", nullptr);
        zorvasim::Reset();
        for (const std::string& file : files_)
            std::remove(file.c_str());
    }

    /// A trace file of these records (closed, with its end record).
    std::string Trace(const std::vector<Record>& records) { return Bytes(WriteTrace(records)); }

    std::string Bytes(const std::string& bytes)
    {
        files_.push_back(TemporaryFile("replay.trace"));
        std::ofstream(files_.back(), std::ios::binary) << bytes;
        return files_.back();
    }

    void Load(const std::string& path, zorvasim::ReplayPace pace = zorvasim::ReplayPace::Immediate)
    {
        std::string error;
        ASSERT_TRUE(zorvasim::LoadTraceFile(path, &error, pace)) << error;
    }

    static std::vector<std::string> Mismatches()
    {
        std::vector<std::string> texts;
        for (const zorvasim::ReplayMismatch& mismatch : zorvasim::ReplayMismatches())
            texts.push_back(mismatch.text);
        return texts;
    }

private:
    std::vector<std::string> files_;
};

/// True when a message is waiting for this thread (and takes it).
bool MessageWaiting(MSG& msg) { return PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE; }

} // namespace

TEST_F(Replay, Calls_EveryKindOfOutValue_AnsweredBitForBit)
{
    std::vector<Record> records = SampleRecords(); // all 30 functions, then edge cases
    Load(Trace(records));

    for (const Record& r : records) {
        if (r.type != RecordType::Call)
            continue;
        SCOPED_TRACE(Describe(r));
        char text[ZORVA_USB_TEXT_SIZE];
        char width[ZORVA_USB_SIZE_TEXT_SIZE];
        std::memset(text, 0x55, sizeof text);
        std::memset(width, 0x55, sizeof width);
        float offsets[3] = {9, 9, 9};
        int slots[ZORVA_USB_CHECK_CELVO_SLOTS] = {};
        float* block = reinterpret_cast<float*>(&slots); // anything not null
        int result = -100;
        switch (r.function) {
        case Function::DLLInit: result = fmDLLInit(); break;
        case Function::DLLIsDeviceInitComplete: result = fmDLLIsDeviceInitComplete(); break;
        case Function::DLLSetupCheck: result = fmDLLSetupCheck(); break;
        case Function::DLLSetUSBPacketSize: result = fmDLLSetUSBPacketSize(r.argument); break;
        case Function::BroadcastRunMode: result = fmBroadcastRunMode(r.argument); break;
        case Function::DLLSetDataFormat: result = fmDLLSetDataFormat(r.argument); break;
        case Function::DLLPostDataReadyMessages: result = fmDLLPostDataReadyMessages(r.argument); break;
        case Function::DLLPostUserThreadMessages: result = fmDLLPostUserThreadMessages(77); break;
        case Function::BroadcastResetSoftware: result = fmBroadcastResetSoftware(); break;
        case Function::DLLShutDown: result = fmDLLShutDown(); break;
        case Function::BroadcastStart: result = fmBroadcastStart(); break;
        case Function::BroadcastStop: result = fmBroadcastStop(); break;
        case Function::BroadcastZero: result = fmBroadcastZero(); break;
        case Function::BroadcastAcquisitionRate: result = fmBroadcastAcquisitionRate(r.argument); break;
        case Function::BroadcastGenlock: result = fmBroadcastGenlock(r.argument); break;
        case Function::DLLGetDeviceCount: result = fmDLLGetDeviceCount(); break;
        case Function::DLLSelectDeviceIndex: result = fmDLLSelectDeviceIndex(r.argument); break;
        case Function::GetProductType: result = fmGetProductType(); break;
        case Function::GetAmplifierModelNumber: result = fmGetAmplifierModelNumber(text); break;
        case Function::GetAmplifierSerialNumber: result = fmGetAmplifierSerialNumber(text); break;
        case Function::GetAmplifierFirmwareVersion: result = fmGetAmplifierFirmwareVersion(text); break;
        case Function::GetPlatformModelNumber: result = fmGetPlatformModelNumber(text); break;
        case Function::GetPlatformSerialNumber: result = fmGetPlatformSerialNumber(text); break;
        case Function::GetPlatformXYZOffsets: result = fmGetPlatformXYZOffsets(offsets); break;
        case Function::GetPlatformLengthAndWidth: result = fmGetPlatformLengthAndWidth(text, width); break;
        case Function::SetBlink: result = fmSetBlink(); break;
        case Function::BroadcastCheckCelvo: result = fmBroadcastCheckCelvo(slots); break;
        case Function::CelvoDownloadCalFile: result = fmCelvoDownloadCalFile(r.argument); break;
        case Function::IsCelvoDownloadComplete: result = fmIsCelvoDownloadComplete(); break;
        case Function::DLLTransferFloatData: result = fmDLLTransferFloatData(&block); break;
        }
        EXPECT_EQ(result, (r.flags & kCallMissing) ? 0 : r.result);
        if (r.flags & (kCallPointerNull | kCallMissing)) {
            EXPECT_EQ(offsets[0], 9.0f) << "nothing written where the recorded call wrote nothing";
            continue;
        }
        switch (Info(r.function).out) {
        case OutKind::Text:
            EXPECT_EQ(std::string(text, r.texts[0].bytes.size()), r.texts[0].bytes);
            if (r.texts[0].terminated) {
                EXPECT_EQ(text[r.texts[0].bytes.size()], '\0');
            }
            break;
        case OutKind::TwoTexts:
            EXPECT_EQ(std::string(text), r.texts[0].bytes);
            EXPECT_EQ(std::string(width, sizeof width), r.texts[1].bytes) << "unterminated, as the library left it";
            break;
        case OutKind::Offsets:
            EXPECT_EQ(std::vector<float>(offsets, offsets + 3), (std::vector<float>{0.12f, -0.08f, -1.61f}));
            break;
        case OutKind::CelvoSlots:
            EXPECT_EQ(std::vector<int>(slots, slots + 16), std::vector<int>(r.slots.begin(), r.slots.end()));
            break;
        case OutKind::Block:
            if (r.flags & kCallHasBlock) {
                ASSERT_NE(block, nullptr);
                EXPECT_EQ(std::memcmp(block, r.block.data(), r.block.size() * 4), 0);
            } else {
                EXPECT_EQ(block, nullptr);
            }
            break;
        case OutKind::None: break;
        }
    }
    const zorvasim::ReplayStatus status = zorvasim::GetReplayStatus();
    EXPECT_EQ(Mismatches(), std::vector<std::string>{});
    EXPECT_TRUE(status.finished);
    EXPECT_EQ(status.blocks, 1u);
}

struct DifferenceCase
{
    const char* name;
    std::vector<Record> recorded;
    std::function<std::vector<int>()> calls; ///< the caller's calls; their results
    std::vector<int> results;
    std::vector<std::string> mismatches;
    std::uint64_t timing;
};

void PrintTo(const DifferenceCase& c, std::ostream* os) { *os << c.name; }

class ReplayDifference : public Replay, public ::testing::WithParamInterface<DifferenceCase>
{};

const DifferenceCase DifferenceCases[] = {
    {"AnotherArgument",
     {Call(Function::BroadcastAcquisitionRate, 1, 1000), Call(Function::BroadcastStart, 1)},
     [] {
         return std::vector<int>{fmBroadcastAcquisitionRate(500), fmBroadcastStart()};
     },
     {1, 1},
     {"call 1 (record 0): recorded fmBroadcastAcquisitionRate(1000), now fmBroadcastAcquisitionRate(500): another "
      "argument"},
     0},
    {"CallsLeftOut",
     {Call(Function::BroadcastStart, 1), Call(Function::BroadcastGenlock, 1, 1), Call(Function::BroadcastZero, 3),
      Call(Function::BroadcastStop, 4)},
     [] {
         return std::vector<int>{fmBroadcastZero(), fmBroadcastStop()};
     },
     {3, 4},
     {"call 1 (record 0): recorded fmBroadcastStart(), now fmBroadcastZero(): not in the recording here; answered as "
      "record 2",
      "call 2 (record 0): recorded fmBroadcastStart(), now fmBroadcastStop(): the recording has 3 calls before it "
      "(fmBroadcastStart(), fmBroadcastGenlock(1), fmBroadcastZero()), passed over"},
     0},
    {"CallMadeOnceMore",
     {Call(Function::BroadcastStart, 1), BlockRecord(1, 0.0f), Call(Function::BroadcastStop, 5)},
     [] {
         float* block = nullptr;
         return std::vector<int>{fmBroadcastStop(), fmBroadcastStart(), fmDLLTransferFloatData(&block),
                                 fmBroadcastStop()};
     },
     {5, 1, 1, 5},
     {"call 1 (record 0): recorded fmBroadcastStart(), now fmBroadcastStop(): not in the recording here; answered as "
      "record 2"},
     0},
    {"CallNotRecorded",
     {Call(Function::BroadcastStart, 1), Call(Function::BroadcastStop, 2)},
     [] {
         return std::vector<int>{fmSetBlink(), fmBroadcastStart(), fmBroadcastStop()};
     },
     {0, 1, 2},
     {"call 1 (record 0): recorded fmBroadcastStart(), now fmSetBlink(): not in the recording here"},
     0},
    {"BeyondTheEnd",
     {Call(Function::DLLInit, 1)},
     [] {
         return std::vector<int>{fmDLLInit(), fmDLLShutDown()};
     },
     {1, 0},
     {"call 2 (record 2): now fmDLLShutDown(): beyond the end of the recording"},
     0},
    {"ThreadIdsDiffer",
     {Call(Function::DLLPostUserThreadMessages, 1, 4004), Call(Function::DLLPostUserThreadMessages, 1, 4004)},
     [] {
         return std::vector<int>{fmDLLPostUserThreadMessages(1234), fmDLLPostUserThreadMessages(0)};
     },
     {1, 1},
     {"call 2 (record 1): recorded fmDLLPostUserThreadMessages(thread 4004), now fmDLLPostUserThreadMessages(thread "
      "0): another argument"},
     0},
    {"PollsOfNothing",
     {Call(Function::BroadcastStart, 1), Call(Function::DLLTransferFloatData, 0), Call(Function::BroadcastStop, 1)},
     [] {
         float* block = nullptr;
         return std::vector<int>{fmBroadcastStart(), fmDLLTransferFloatData(&block), fmDLLTransferFloatData(&block),
                                 fmBroadcastStop()};
     },
     {1, 0, 0, 1},
     {},
     1},
    {"PollLeftOut",
     {Call(Function::DLLTransferFloatData, 0), Call(Function::BroadcastStop, 1)},
     [] { return std::vector<int>{fmBroadcastStop()}; },
     {1},
     {},
     1},
};

TEST_P(ReplayDifference, Calls_DifferFromTheRecording_SaysWhereAndGoesOn)
{
    const DifferenceCase& c = GetParam();
    Load(Trace(c.recorded));
    EXPECT_EQ(c.calls(), c.results);
    EXPECT_EQ(Mismatches(), c.mismatches);
    EXPECT_EQ(zorvasim::GetReplayStatus().timingDifferences, c.timing);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReplayDifference, ::testing::ValuesIn(DifferenceCases),
                         [](const ::testing::TestParamInfo<DifferenceCase>& info) { return info.param.name; });

TEST_F(Replay, Messages_PostedToTheCallersThreadAfterTheCallTheyFollowed)
{
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // this thread's queue
    // The library posted the message while fmBroadcastStart ran (after it
    // began, before its record): it still comes after the call.
    Load(Trace({Call(Function::DLLPostUserThreadMessages, 1, 4004, 10), Message(120, 1133),
                Call(Function::BroadcastStart, 1, 0, 100), Message(300, 1500),
                Call(Function::BroadcastStop, 1, 0, 400)}));

    ASSERT_EQ(fmDLLPostUserThreadMessages(GetCurrentThreadId()), 1);
    EXPECT_FALSE(MessageWaiting(msg)) << "nothing before fmBroadcastStart";
    ASSERT_EQ(fmBroadcastStart(), 1);
    ASSERT_TRUE(MessageWaiting(msg));
    EXPECT_EQ(msg.message, 1133u);
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_EQ(msg.lParam, -9);
    ASSERT_TRUE(MessageWaiting(msg));
    EXPECT_EQ(msg.message, 1500u) << "every message the library posted, not only data-ready";
    EXPECT_FALSE(MessageWaiting(msg));
    EXPECT_EQ(zorvasim::GetReplayStatus().messages, 2u);
}

TEST_F(Replay, Messages_RecordedPace_WaitTheirRecordedGap)
{
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    Load(Trace({Call(Function::DLLPostUserThreadMessages, 1, 4004, 0), Call(Function::BroadcastStart, 1, 0, 1000),
                Message(81000), Call(Function::BroadcastStop, 1, 0, 90000)}),
         zorvasim::ReplayPace::Recorded);
    fmDLLPostUserThreadMessages(GetCurrentThreadId());
    const auto started = std::chrono::steady_clock::now();
    fmBroadcastStart();
    EXPECT_FALSE(MessageWaiting(msg)) << "80 ms early";
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(75));
    EXPECT_EQ(msg.message, 1133u);
}

TEST_F(Replay, Block_DeviceCountAboveWhatABlockHolds_AnsweredWithinTheBlock)
{
    Record count = Call(Function::DLLGetDeviceCount, 5000);
    Load(Trace({count, BlockRecord(1, 3.0f)}));
    const int units = fmDLLGetDeviceCount();
    EXPECT_EQ(units, static_cast<int>(kMaxBlockUnits));
    float* block = nullptr;
    ASSERT_EQ(fmDLLTransferFloatData(&block), 1);
    ASSERT_NE(block, nullptr);
    // A caller reads as many units as it was told: all there, zero beyond the recorded one.
    double sum = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(units) * kFloatsPerUnitBlock; ++i)
        sum += i < kFloatsPerUnitBlock ? 0.0 : block[i];
    EXPECT_EQ(sum, 0.0);
    EXPECT_EQ(block[0], 3.0f);
    ASSERT_EQ(Mismatches().size(), 1u);
    EXPECT_NE(Mismatches()[0].find("a device count of 5000 is answered as 1024"), std::string::npos);
}

TEST_F(Replay, LoadTraceFile_NotSound_RefusedAndTheBenchStays)
{
    const std::string sound = WriteTrace({Call(Function::DLLInit, 1)});
    std::string corrupt = sound;
    corrupt[corrupt.size() - 10] ^= 0x40;
    std::string newer = sound;
    newer[8] = 9;
    const struct
    {
        std::string bytes;
        const char* message;
    } cases[] = {
        {"[scenario]\nname = x\n", "not a trace"}, {corrupt, "corrupt at offset"}, {newer, "version 9 is newer"}};
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(zorvasim::LoadTraceFile(Bytes(c.bytes), &error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_FALSE(zorvasim::GetReplayStatus().active);
    }
    fmDLLInit();
    EXPECT_EQ(fmDLLGetDeviceCount(), 2) << "the built-in bench answers";
    fmDLLShutDown();
}

TEST_F(Replay, LoadTraceFile_CutShort_ReplaysUpToTheCut)
{
    WriterOptions oneRecordAChunk;
    oneRecordAChunk.chunkBytes = 1;
    const std::string whole =
        WriteTrace({Call(Function::DLLInit, 1), Call(Function::DLLGetDeviceCount, 3)}, oneRecordAChunk);
    // The end record's chunk cut in the middle: what a crash leaves.
    const std::string cut = whole.substr(0, whole.size() - 10);
    Load(Bytes(cut));
    EXPECT_NE(zorvasim::GetReplayStatus().truncated.find("truncated"), std::string::npos);
    EXPECT_EQ(fmDLLInit(), 1);
    EXPECT_EQ(fmDLLGetDeviceCount(), 3);
}

TEST_F(Replay, Scenario_TraceWhereAScenarioGoes_Replayed)
{
    const std::string trace = Trace({Call(Function::DLLGetDeviceCount, 7), Call(Function::DLLGetDeviceCount, 8)});

    SetEnvironment("ZORVA_SIM_SCENARIO", trace.c_str());
    zorvasim::Reset();
    EXPECT_TRUE(zorvasim::GetReplayStatus().active);
    EXPECT_EQ(zorvasim::ScenarioFallbackMessage(), "") << "a trace there is no broken scenario";
    EXPECT_EQ(fmDLLGetDeviceCount(), 7);

    std::string error;
    ASSERT_TRUE(zorvasim::LoadScenarioFile(trace, &error)) << error;
    EXPECT_EQ(fmDLLGetDeviceCount(), 7) << "loaded afresh";
    ASSERT_TRUE(zorvasim::LoadScenarioText("[unit A]\nproduct_type = 100\n", &error)) << error;
    EXPECT_FALSE(zorvasim::GetReplayStatus().active) << "a scenario ends the replay";
}
