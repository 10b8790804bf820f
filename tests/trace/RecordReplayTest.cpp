// The recorder in front of two libraries with different insides (the
// simulated one, and a stand-in written here that posts one message per
// block), the plugin's driver service detecting and capturing through it;
// then the simulated library replays each trace and the plugin must push the
// same samples with the same sample numbers and log the same lines.
//
// This program sits in bin/trace beside the recorder: its import of the USB
// library finds the recorder first (the program's own folder on Windows, the
// first RUNPATH entry on Linux), and the recorder loads the library named in
// ZorvaTrace_Begin by its full path. The simulated library's controls are
// reached through the recorder (ZorvaTrace_LibrarySymbol), as a host would.
#include "PluginSession.h"
#include "TraceTestSupport.h"

#include "trace/recorder/RecorderControl.h"
#include "trace/recorder/RecorderInFront.h"
#include "platform/Library.h"
#include "trace/format/TraceReader.h"
#include "win32/posix/win32_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using namespace tracetest;
using namespace zorvatrace;
using namespace zorvaplatform;

namespace {

void NoPause(DWORD, void*) {}

template <typename Function>
Function Control(const char* name)
{
    return reinterpret_cast<Function>(RecordedLibrarySymbol(name));
}

/// The calls of a trace as they must repeat in a replay: no times or thread
/// ids, no transfers that found nothing (thread timing), blocks by content.
std::vector<std::string> CallsOf(const std::string& path)
{
    TraceContents trace;
    EXPECT_TRUE(ReadTraceFile(path, trace)) << trace.error;
    std::vector<std::string> calls;
    for (const Record& record : trace.records) {
        if (record.type != RecordType::Call)
            continue;
        if (record.function == Function::DLLTransferFloatData && !(record.flags & kCallHasBlock))
            continue;
        Record shown = record;
        if (shown.function == Function::DLLPostUserThreadMessages)
            shown.argument = shown.argument != 0;
        std::string line = Describe(shown);
        if (!record.block.empty())
            line += " crc " + std::to_string(Crc32(record.block.data(), record.block.size() * 4));
        calls.push_back(line);
    }
    return calls;
}

std::size_t Count(const std::string& path, RecordType type)
{
    TraceContents trace;
    ReadTraceFile(path, trace);
    std::size_t n = 0;
    for (const Record& record : trace.records)
        n += record.type == type;
    return n;
}

class RecordReplay : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(AdoptRecorder(Recorder(), error)) << error;
        ZorvaWin32_SetSleepHandler(&NoPause, nullptr);
    }

    void TearDown() override
    {
        std::string ignored;
        EndRecording(ignored);
        if (auto end = Control<void (*)()>("ZorvaSim_EndReplay"))
            end();
        ZorvaWin32_SetSleepHandler(nullptr, nullptr);
        for (const std::string& file : files_)
            if (!std::getenv("KEEP"))
                std::remove(file.c_str());
    }

    std::string File(const std::string& name)
    {
        files_.push_back(TemporaryFile(name));
        return files_.back();
    }

    void Begin(const std::string& trace, const std::string& library)
    {
        std::string error;
        ASSERT_TRUE(PutRecorderInFront(Recorder(), library, trace, error)) << error;
    }

    void End()
    {
        std::string error;
        ASSERT_TRUE(EndRecording(error)) << error;
    }

    /// Detection, capture of 3 then 2 blocks made by `deliver` (null: the
    /// replay brings them), disarming and the library's shut-down.
    SessionResult Session(int (*deliver)(int), std::size_t plates, const std::string& rate = std::string())
    {
        PluginSession session;
        EXPECT_TRUE(session.Detect());
        EXPECT_EQ(session.PlateCount(), plates);
        // Genlock: the sample numbers are the library's counters, whenever
        // the host starts its capture. (In software-trigger mode a replay
        // that delivers blocks sooner than the lab's library met a host that
        // had not started its capture yet: the host's timing is not in a trace.)
        session.SetSyncMode("Genlock");
        if (!rate.empty())
            session.SetRate(rate);
        EXPECT_TRUE(session.ArmAndCapture());
        if (deliver) {
            EXPECT_EQ(deliver(3), 3);
        }
        EXPECT_TRUE(session.WaitPushes(3));
        if (deliver) {
            EXPECT_EQ(deliver(2), 2);
        }
        EXPECT_TRUE(session.WaitPushes(5));
        session.Finish();
        return session.Result();
    }

    /// Replays `recorded` on the simulated library, recording the replay too.
    SessionResult Replay(const std::string& recorded, const std::string& replayed, std::size_t plates,
                         const std::string& rate = std::string())
    {
        Begin(replayed, SimulatedLibrary());
        auto load = Control<int (*)(const char*, int, char*, int)>("ZorvaSim_LoadTrace");
        EXPECT_NE(load, nullptr);
        char error[1024] = {};
        EXPECT_EQ(load ? load(recorded.c_str(), 1, error, static_cast<int>(sizeof error)) : 0, 1) << error;
        SessionResult result = Session(nullptr, plates, rate);
        End();
        return result;
    }

    static int MismatchCount() { return Control<int (*)()>("ZorvaSim_ReplayMismatchCount")(); }

    static std::string Mismatch(int index)
    {
        char text[1024] = {};
        Control<int (*)(int, char*, int)>("ZorvaSim_ReplayMismatch")(index, text, static_cast<int>(sizeof text));
        return text;
    }

private:
    std::vector<std::string> files_;
};

} // namespace

TEST_F(RecordReplay, RecordThenReplay_InFrontOfSimulatedLibrary_SameSamplesLogsAndCalls)
{
    const std::string recorded = File("simulated.trace");
    const std::string replayed = File("simulated-replay.trace");
    ASSERT_NO_FATAL_FAILURE(Begin(recorded, SimulatedLibrary()));
    Control<void (*)(int)>("ZorvaSim_SetStepped")(1);
    const SessionResult original = Session(Control<int (*)(int)>("ZorvaSim_DeliverBlocks"), 2);
    ASSERT_NO_FATAL_FAILURE(End());

    TraceContents trace;
    ASSERT_TRUE(ReadTraceFile(recorded, trace)) << trace.error;
    EXPECT_EQ(trace.header.libraryName, UsbLibraryFileName());
    EXPECT_EQ(trace.header.libraryPath, SimulatedLibrary());
    EXPECT_GT(trace.header.librarySize, 0u);
    EXPECT_EQ(Count(recorded, RecordType::Relay), 1u);
    // One data-ready message per burst of blocks, or one for both: the
    // library posts again only after the worker's transfer that found it
    // empty, which can come after the second burst (seen under Wine).
    const std::size_t messages = Count(recorded, RecordType::Message);
    EXPECT_GE(messages, 1u);
    EXPECT_LE(messages, 2u);

    const SessionResult replay = Replay(recorded, replayed, 2);
    EXPECT_EQ(MismatchCount(), 0) << Mismatch(0);
    EXPECT_EQ(Control<int (*)()>("ZorvaSim_ReplayFinished")(), 1);
    EXPECT_EQ(original.pushes.size(), 10u);
    EXPECT_EQ(replay.pushes, original.pushes);
    EXPECT_EQ(replay.logs, original.logs);
    EXPECT_EQ(CallsOf(replayed), CallsOf(recorded));
}

TEST_F(RecordReplay, RecordThenReplay_InFrontOfStandIn_SameSamplesLogsAndCalls)
{
    const std::string recorded = File("standin.trace");
    const std::string replayed = File("standin-replay.trace");
    ASSERT_NO_FATAL_FAILURE(Begin(recorded, StandInLibrary()));
    auto deliver = Control<int (*)(int)>("StandIn_DeliverBlocks");
    ASSERT_NE(deliver, nullptr);
    const SessionResult original = Session(deliver, 3);
    ASSERT_NO_FATAL_FAILURE(End());

    TraceContents trace;
    ASSERT_TRUE(ReadTraceFile(recorded, trace)) << trace.error;
    EXPECT_EQ(trace.header.libraryPath, StandInLibrary());
    EXPECT_EQ(Count(recorded, RecordType::Message), 5u) << "the stand-in posts one message per block";
    const std::vector<std::string> calls = CallsOf(recorded);
    EXPECT_NE(std::find(calls.begin(), calls.end(), "fmBroadcastCheckCelvo() -> 1 [1]"), calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "fmDLLSetupCheck() -> 214"), calls.end());

    const SessionResult replay = Replay(recorded, replayed, 3);
    EXPECT_EQ(MismatchCount(), 0) << Mismatch(0);
    EXPECT_EQ(original.pushes.size(), 15u);
    EXPECT_EQ(replay.pushes, original.pushes);
    EXPECT_EQ(replay.logs, original.logs);
    EXPECT_EQ(CallsOf(replayed), CallsOf(recorded));
}

TEST_F(RecordReplay, Replay_PluginSendsAnotherRate_ReportsWhereAndGoesOn)
{
    const std::string recorded = File("rate.trace");
    ASSERT_NO_FATAL_FAILURE(Begin(recorded, SimulatedLibrary()));
    Control<void (*)(int)>("ZorvaSim_SetStepped")(1);
    Session(Control<int (*)(int)>("ZorvaSim_DeliverBlocks"), 2);
    ASSERT_NO_FATAL_FAILURE(End());

    const SessionResult replay = Replay(recorded, File("rate-replay.trace"), 2, "500");
    // Changing the rate adds a stop of its own before the rate, which the
    // replay reports too; the rate itself is held against the recorded one.
    std::string all;
    bool rate = false;
    for (int i = 0; i < MismatchCount(); ++i) {
        const std::string line = Mismatch(i);
        all += line + "\n";
        EXPECT_EQ(line.compare(0, 5, "call "), 0) << line;
        rate = rate || line.find("recorded fmBroadcastAcquisitionRate(1000), now fmBroadcastAcquisitionRate(500): "
                                 "another argument") != std::string::npos;
    }
    EXPECT_TRUE(rate) << all;
    EXPECT_EQ(replay.pushes.size(), 10u) << "the replay goes on after the difference";
}
