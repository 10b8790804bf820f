// Field traces through the built development host, as a lab and a developer
// use them: a session recorded with --record-trace and replayed with replay
// (the same samples, sample numbers and log lines), the traces kept in
// traces/ replayed as regression cases, a replay that differs, and files
// that trace-info and replay refuse.
//
// A replay lets the plugin's pauses pass at once where the Win32 layer is
// ours (Linux): it takes a fraction of a second there. Under Wine the pauses
// are the system's: the round trip takes about as long as the session.
#include "DevhostRun.h"

#include "trace/format/TraceReader.h"
#include "trace/format/TraceWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>

using namespace zorvatest;

namespace {

const std::string kLeftUnit = "ZA100-4471PEN600-10482";
const std::string kRightUnit = "ZA300-5208GOR900-20931";
const char* const kMatched = "Verdict: the plugin's calls and data matched the recording";

std::string KeptTrace(const std::string& name) { return kSource + "/traces/" + name + ".trace"; }

/// A plate's sample numbers in the CSV as runs: "0..239, 256..559".
std::string SampleRuns(const std::vector<CsvRow>& rows, const std::string& plate)
{
    std::string text;
    std::int64_t first = 0, last = 0;
    bool open = false;
    auto close = [&] {
        if (open)
            text += (text.empty() ? "" : ", ") + std::to_string(first) + ".." + std::to_string(last);
    };
    for (const CsvRow& row : rows) {
        if (row.plate != plate)
            continue;
        if (open && row.sample == last + 1) {
            last = row.sample;
            continue;
        }
        close();
        first = last = row.sample;
        open = true;
    }
    close();
    return text;
}

/// The plugin's log lines as --verbose prints them, thread ids left out.
std::vector<std::string> LogLines(const std::string& out)
{
    const std::regex logLine("^  (trace|info|warning|error) .*");
    const std::regex thread("fmDLLPostUserThreadMessages\\([0-9]+\\)");
    std::vector<std::string> lines;
    for (const std::string& line : Lines(out)) {
        if (std::regex_match(line, logLine))
            lines.push_back(std::regex_replace(line, thread, "fmDLLPostUserThreadMessages(<thread>)"));
    }
    return lines;
}

class DevhostTrace : public ::testing::Test
{
protected:
    /// The kept traces' bench, and no configuration files: standard plates only.
    DevhostResult Run(const std::vector<std::string>& arguments)
    {
        const std::map<std::string, std::string> env = {{"ZORVA_SIM_SCENARIO", kSource + "/traces/bench.ini"},
                                                        {"ZORVA_DRIVE_C", drive_.Path().string()},
                                                        {"ZORVA_PYTHON", ""},
                                                        {"ZORVA_TRACE_LIBRARY", ""}};
        DevhostResult result = RunDevhost(arguments, env, folder_);
        last_ = "exit code " + std::to_string(result.exitCode) + "\n--- stdout\n" + result.out + "--- stderr\n" +
                result.err;
        return result;
    }
    const std::string& Output() const { return last_; }
    std::string File(const std::string& name) const { return (folder_.Path() / name).string(); }

private:
    TempFolder folder_;
    TempFolder drive_;
    std::string last_;
};

} // namespace

TEST_F(DevhostTrace, TraceInfoAndReplay_BrokenFiles_RefusedOrReadUpToTheCut)
{
    const std::string whole = ReadFile(KeptTrace("lost-block"));
    ASSERT_GT(whole.size(), 1000u);
    std::string corrupt = whole;
    corrupt[whole.size() / 2] = static_cast<char>(corrupt[whole.size() / 2] ^ 0x5a);
    struct Case
    {
        const char* name;
        std::string bytes;
        const char* why; ///< in the message of both commands
    };
    const Case refused[] = {
        {"text.trace", "Fz,Fy\n1,2\n", "not a trace: it does not begin with the trace magic"},
        {"header.trace", whole.substr(0, 20), "truncated at offset"},
        {"corrupt.trace", corrupt, "corrupt at offset"},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        const std::string path = File(c.name);
        std::ofstream(path, std::ios::binary) << c.bytes;
        const DevhostResult info = Run({"trace-info", path});
        EXPECT_EQ(info.exitCode, 1) << Output();
        EXPECT_TRUE(Contains(info.err, "error: " + path + " is refused: ")) << Output();
        EXPECT_TRUE(Contains(info.err, c.why)) << Output();
        const DevhostResult replay = Run({"replay", path});
        EXPECT_EQ(replay.exitCode, 1) << Output();
        EXPECT_TRUE(Contains(replay.err, "error: " + path + " cannot be replayed: ")) << Output();
        EXPECT_TRUE(Contains(replay.err, c.why)) << Output();
        EXPECT_FALSE(Contains(replay.out, "Detecting")) << "a refused trace ran the plugin\n" << Output();
    }

    // Cut short (a crash while recording): described, and replayed, up to the cut.
    const std::string cut = File("cut.trace");
    std::ofstream(cut, std::ios::binary) << whole.substr(0, whole.size() * 2 / 3);
    const DevhostResult info = Run({"trace-info", cut});
    EXPECT_EQ(info.exitCode, 0) << Output();
    EXPECT_TRUE(Contains(info.out, "Cut short: truncated at offset")) << Output();
    const DevhostResult replay = Run({"replay", cut});
    EXPECT_TRUE(Contains(replay.out, "cut short (truncated at offset")) << Output();
    EXPECT_EQ(replay.exitCode, 1) << "the plugin's calls beyond the cut are not in the recording\n" << Output();
}

/// The traces kept in traces/, each made on the simulated bench with one of
/// its faults (traces/README.md), replayed as the plugin is now: the samples
/// with the sample numbers it pushed when they were made, the lines it
/// logged, and no difference in its calls.
TEST_F(DevhostTrace, Replay_KeptTraces_SamplesAndLinesAsRecorded)
{
    struct Case
    {
        const char* trace;
        std::string left, right; ///< sample numbers of each plate
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        // A lost block shows as a jump of the sample numbers, without a word.
        {"lost-block", "0..239, 256..559", "0..239, 256..559", {}},
        // A block delivered twice goes to the host twice, with its own
        // sample numbers, and a warning for each plate.
        {"repeated-block",
         "0..255, 240..543",
         "0..255, 240..543",
         {"plugin warning  Sample counter of device 0 went from 240 to 240: a repeated block or a step back",
          "plugin warning  Sample counter of device 1 went from 240 to 240: a repeated block or a step back"}},
        // Two failed transfers lose nothing: the blocks wait in the library.
        {"transfer-failure", "0..543", "0..543", {"plugin warning  ::fmDLLTransferFloatData() -> -1 without a block"}},
        // Unplugged at a rescan: the right plate stops, the left one is
        // re-armed alone, its sample numbers anew from the library's restart.
        {"unplugged-at-rescan",
         "0..383, 0..191",
         "0..383",
         {"rescan, as recorded (unplug=1 (Right))",
          "detection finished: 1 unit; " + kLeftUnit + " Connected true; " + kRightUnit + " Connected false",
          // Whether the host re-arms before or after the plugin let the
          // right plate go is the host's timing, not the recording's.
          "re-armed: the plugin asked for it"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trace);
        const std::string csv = File(std::string(c.trace) + ".csv");
        const DevhostResult result = Run({"replay", KeptTrace(c.trace), "--csv", csv});
        EXPECT_EQ(result.exitCode, 0) << Output();
        EXPECT_TRUE(Contains(result.out, kMatched)) << Output();
        EXPECT_FALSE(Contains(result.out, "Differences")) << Output();
        std::string header;
        const std::vector<CsvRow> rows = ReadCaptureCsv(csv, header);
        EXPECT_EQ(SampleRuns(rows, kLeftUnit), c.left) << Output();
        EXPECT_EQ(SampleRuns(rows, kRightUnit), c.right) << Output();
        for (const std::string& line : c.lines)
            EXPECT_TRUE(Contains(result.out, line)) << "missing \"" << line << "\"\n" << Output();
        if (c.lines.empty()) {
            EXPECT_FALSE(Contains(result.out, "plugin warning")) << Output();
        }
    }
}

/// The plugin now sends what the recording does not have: the replay names
/// the call, the recorded and the current one, goes on, and fails.
TEST_F(DevhostTrace, Replay_RecordedRateDiffers_DifferenceNamedExitCode1)
{
    zorvatrace::TraceContents trace;
    ASSERT_TRUE(zorvatrace::ReadTraceFile(KeptTrace("lost-block"), trace)) << trace.error;
    std::uint64_t changed = 0;
    const std::string path = File("other-rate.trace");
    {
        std::string error;
        zorvatrace::TraceWriter writer;
        ASSERT_TRUE(
            writer.Open(zorvatrace::OpenFileSink(path, error), trace.header, zorvatrace::WriterOptions(), error))
            << error;
        for (zorvatrace::Record record : trace.records) {
            if (record.type == zorvatrace::RecordType::End)
                continue; // the writer writes its own
            if (record.type == zorvatrace::RecordType::Call && changed == 0 &&
                record.function == zorvatrace::Function::BroadcastAcquisitionRate) {
                record.argument = 1000;
                changed = record.number;
            }
            writer.Append(record);
        }
        EXPECT_FALSE(writer.Close().failed);
    }
    ASSERT_NE(changed, 0u);
    const DevhostResult result = Run({"replay", path, "--csv", File("other-rate.csv")});
    EXPECT_EQ(result.exitCode, 1) << Output();
    const std::regex difference("  call [0-9]+ \\(record " + std::to_string(changed) +
                                "\\): recorded fmBroadcastAcquisitionRate\\(1000\\), now "
                                "fmBroadcastAcquisitionRate\\(500\\): another argument");
    const std::vector<std::string> lines = Lines(result.out);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return std::regex_match(line, difference);
    })) << Output();
    EXPECT_TRUE(Contains(result.out, "Verdict: DIFFERENT from the recording: 1 difference")) << Output();
    std::string header;
    EXPECT_EQ(SampleRuns(ReadCaptureCsv(File("other-rate.csv"), header), kLeftUnit), "0..239, 256..559")
        << "the replay goes on after the difference\n"
        << Output();
}

/// The whole way: a session on the simulated bench recorded through the
/// recording library (detection, a rate change, a capture, a zero, a rescan
/// with a unit unplugged, the second capture after it), then replayed: the
/// same samples with the same sample numbers, the same log lines.
TEST_F(DevhostTrace, RecordThenReplay_SessionOnTheBench_SameSamplesAndLogLines)
{
    const std::string trace = File("session.trace");
    const std::vector<std::string> actions = {"--seconds", "6", "--at", "0.8:zero", "--at", "1.2:unplug=Right"};
    std::vector<std::string> record = {
        "capture",  "--mode", "genlock", "--rate", "500", "--record-trace", trace, "--csv", File("recorded.csv"),
        "--verbose"};
    record.insert(record.end(), actions.begin(), actions.end());
    const DevhostResult recorded = Run(record);
    ASSERT_EQ(recorded.exitCode, 0) << Output();
    EXPECT_TRUE(Contains(recorded.out, "Recording the USB library's calls into " + trace)) << Output();
    EXPECT_TRUE(Contains(recorded.out, "Trace " + trace + ": ")) << Output();

    const DevhostResult info = Run({"trace-info", trace});
    EXPECT_EQ(info.exitCode, 0) << Output();
    EXPECT_TRUE(Contains(info.out, "Acquisition rates set: 500 per second")) << Output();
    EXPECT_TRUE(Contains(info.out, "units: 2, then 1")) << Output();

    const DevhostResult replayed = Run({"replay", trace, "--csv", File("replayed.csv"), "--verbose"});
    EXPECT_EQ(replayed.exitCode, 0) << Output();
    EXPECT_TRUE(Contains(replayed.out, kMatched)) << Output();
    EXPECT_TRUE(Contains(replayed.out, "zero, as recorded")) << Output();
    EXPECT_TRUE(Contains(replayed.out, "rescan, as recorded (unplug=1 (Right))")) << Output();

    std::string header;
    const std::vector<CsvRow> rows = ReadCaptureCsv(File("recorded.csv"), header);
    ASSERT_FALSE(rows.empty());
    // Two captures of the left plate, the second after the rescan.
    EXPECT_NE(SampleRuns(rows, kLeftUnit).find(", 0.."), std::string::npos) << SampleRuns(rows, kLeftUnit);
    EXPECT_EQ(ReadFile(File("replayed.csv")), ReadFile(File("recorded.csv")))
        << "the replay's samples differ from the recording's";
    const std::vector<std::string> recordedLines = LogLines(recorded.out);
    EXPECT_GT(recordedLines.size(), 50u);
    EXPECT_EQ(LogLines(replayed.out), recordedLines);
}
