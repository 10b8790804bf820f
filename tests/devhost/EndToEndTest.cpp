// The development host run as a user runs it: the built program, the built
// plugin and the simulated bench, in real time, on the examples' bench and
// configuration files. Each test costs a few seconds; assertions are on what
// the program prints and writes, never on exact timing.
#include "DevhostRun.h"

#include "ZorvaVersion.h"
#include "platform/Program.h"
#include "simusb/Loads.h"
#include "simusb/SimControl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace zorvatest;
using zorvaplatform::ProgramDirectory;

namespace {

#if defined(_WIN32)
/// The plugin DLL reads the real C:\ZORVA\CFG, which other tests may fill at
/// the same time: definitions found through configuration files are not checked.
const bool kConfigurationFromEnvironment = false;
#else
const bool kConfigurationFromEnvironment = true;
#endif

const std::string kExampleBench = kSource + "/examples/bench.ini";
const std::string kTreadmill = "ZA300-7311TMT-0042";
const std::string kWalkway = "ZA100-5120GW1800-0007";

/// What a plate hands the host for one reading of its signal conditioner
/// (Fx..Mz in the amplifier's axes) with its platform origin in inches:
/// Fx Fy Fz Mx My Mz CoPx CoPy about the plate origin.
std::vector<double> PlateValues(const std::array<float, 6>& r, const std::array<float, 3>& originInches)
{
    const double ox = originInches[0] * 0.0254, oy = originInches[1] * 0.0254, oz = originInches[2] * -0.0254;
    const double fx = r[0], fy = r[1], fz = r[2], mx = r[3], my = r[4], mz = r[5];
    const double cx = ox - (oz * fx + my) / fz;
    const double cy = (mx - oz * fy) / fz + oy;
    const double tx = oz * fy - oy * fz, ty = ox * fz - oz * fx, tz = oy * fx - ox * fy;
    return {-fx, fy, -fz, -(mx - tx), my - ty, -(mz - tz), -cx, cy};
}

zorvasim::Scenario ExampleScenario()
{
    zorvasim::Scenario scenario;
    std::string error;
    EXPECT_TRUE(zorvasim::ParseScenario(ReadFile(kExampleBench), scenario, error)) << error;
    return scenario;
}

std::vector<CsvRow> RowsOf(const std::vector<CsvRow>& rows, const std::string& plate)
{
    std::vector<CsvRow> own;
    std::copy_if(rows.begin(), rows.end(), std::back_inserter(own),
                 [&](const CsvRow& row) { return row.plate == plate; });
    return own;
}

/// Runs of consecutive sample numbers, as (first, last).
std::vector<std::pair<std::int64_t, std::int64_t>> Runs(const std::vector<CsvRow>& rows)
{
    std::vector<std::pair<std::int64_t, std::int64_t>> runs;
    for (const CsvRow& row : rows) {
        if (!runs.empty() && runs.back().second + 1 == row.sample)
            runs.back().second = row.sample;
        else
            runs.push_back({row.sample, row.sample});
    }
    return runs;
}

/// The position of the first line at or after `from` that holds every part; -1 if none.
int FindLine(const std::vector<std::string>& lines, std::initializer_list<std::string> parts, int from = 0)
{
    for (int i = std::max(from, 0); i < static_cast<int>(lines.size()); ++i) {
        if (std::all_of(parts.begin(), parts.end(), [&](const std::string& p) { return Contains(lines[i], p); }))
            return i;
    }
    return -1;
}

/// The plugin's default Fz threshold: samples at or below it are written as zeros.
const double kThreshold = 20.0;

/// A row as the plate writes the unit's reading at a sample of the library's clock.
std::vector<double> ExpectedRow(const zorvasim::UnitSpec& unit, std::uint64_t clock)
{
    const std::array<float, 6> reading = zorvasim::UnitReading(unit, clock, 1000);
    if (!(std::fabs(static_cast<double>(reading[2])) > kThreshold))
        return std::vector<double>(8, 0.0);
    return PlateValues(reading, unit.originOffsets);
}

bool Near(const CsvRow& row, const std::vector<double>& expected)
{
    for (int v = 0; v < 8; ++v) {
        if (!(std::fabs(row.values[v] - expected[v]) <= 1e-4 * std::max(1.0, std::fabs(expected[v]))))
            return false;
    }
    return true;
}

/// Whether the rows (consecutive samples) are the unit's load read at
/// consecutive samples of the library's clock. Host sample numbers are not
/// that clock (it runs from the detection), so its sample for the first row
/// that carries a load is searched for over the first minute, then held to.
bool RowsFollowTheLoad(const std::vector<CsvRow>& rows, const zorvasim::UnitSpec& unit, std::string& why)
{
    const auto anchor = std::find_if(rows.begin(), rows.end(), [](const CsvRow& row) { return row.values[2] != 0.0; });
    if (anchor == rows.end()) {
        why = "no row carries a load";
        return false;
    }
    std::size_t candidates = 0;
    for (std::uint64_t clock = 0; clock < 60000; ++clock) {
        if (!Near(*anchor, ExpectedRow(unit, clock)))
            continue;
        ++candidates;
        const bool all = std::all_of(rows.begin(), rows.end(), [&](const CsvRow& row) {
            const std::int64_t at = static_cast<std::int64_t>(clock) + (row.sample - anchor->sample);
            return at >= 0 && Near(row, ExpectedRow(unit, static_cast<std::uint64_t>(at)));
        });
        if (all)
            return true;
    }
    why = std::to_string(candidates) + " clock samples read as the row of sample " + std::to_string(anchor->sample) +
          ", and from none of them do the others follow";
    return false;
}

class DevhostEndToEnd : public ::testing::Test
{
protected:
    DevhostResult Run(const std::vector<std::string>& arguments,
                      std::map<std::string, std::string> env = std::map<std::string, std::string>())
    {
        env.insert({"ZORVA_SIM_SCENARIO", kExampleBench});
        env.insert({"ZORVA_DRIVE_C", kSource + "/examples"});
        env.insert({"ZORVA_PYTHON", ""});
        DevhostResult result = RunDevhost(arguments, env, folder_);
        // Shown with any failure below.
        last_ = "exit code " + std::to_string(result.exitCode) + "\n--- stdout\n" + result.out + "--- stderr\n" +
                result.err;
        return result;
    }
    const std::string& Output() const { return last_; }
    std::string File(const std::string& name) const { return (folder_.Path() / name).string(); }
    const TempFolder& Folder() const { return folder_; }

private:
    TempFolder folder_;
    std::string last_;
};

} // namespace

class SyncModes : public DevhostEndToEnd, public ::testing::WithParamInterface<const char*>
{};

TEST_P(SyncModes, Capture_ExampleBench_ContinuousSamplesWithTheBenchLoads)
{
    const std::string mode = GetParam();
    const DevhostResult result = Run({"capture", "--seconds", "1.5", "--mode", mode, "--csv", File("capture.csv")});
    ASSERT_EQ(result.exitCode, 0) << Output();
    const std::string modeText = mode == "software"   ? "Software trigger"
                                 : mode == "hardware" ? "Hardware trigger"
                                                      : "Genlock";
    EXPECT_TRUE(Contains(result.out, "Recording 1.5 s (" + modeText + ", 1000 datasets per second)")) << Output();
    // A progress line redraws itself with a lone carriage return (Windows ends lines with "\r\n").
    for (std::size_t r = result.out.find('\r'); r != std::string::npos; r = result.out.find('\r', r + 1))
        ASSERT_EQ(result.out.compare(r, 2, "\r\n"), 0) << "a progress line although the output is a file";
    if (kConfigurationFromEnvironment) {
        EXPECT_NE(FindLine(Lines(result.out), {kTreadmill, "Tandem TM"}), -1) << Output();
        EXPECT_NE(FindLine(Lines(result.out), {kWalkway, "Gait Walkway"}), -1) << Output();
    }
    EXPECT_TRUE(Contains(result.out, "Wrote " + File("capture.csv"))) << Output();

    std::string header;
    const std::vector<CsvRow> rows = ReadCaptureCsv(File("capture.csv"), header);
    EXPECT_EQ(header, "plate,sample,time_s,Fx_N,Fy_N,Fz_N,Mx_Nm,My_Nm,Mz_Nm,CoPx_m,CoPy_m");
    const zorvasim::Scenario bench = ExampleScenario();
    ASSERT_EQ(bench.units.size(), 2u);

    for (const std::string& plate : {kTreadmill, kWalkway}) {
        const std::vector<CsvRow> own = RowsOf(rows, plate);
        ASSERT_GE(own.size(), 160u) << plate << " has too few samples\n" << Output();
        EXPECT_EQ(own.size() % 16, 0u) << plate;
        const auto runs = Runs(own);
        EXPECT_EQ(runs.size(), 1u) << plate << ": sample numbers not continuous, first jump after "
                                   << runs.front().second;
        if (mode == "hardware") {
            // Sample 0 is the trigger, inside the first block written.
            EXPECT_LE(own.front().sample, 0) << plate;
            EXPECT_GT(own.front().sample, -16) << plate;
        } else if (mode == "software") {
            // Host sample numbers count from the capture start.
            EXPECT_GT(own.front().sample, 0) << plate;
            EXPECT_LT(own.front().sample, 1500) << plate;
        }
    }
    // Someone walking on each, noise included; the walkway's unloaded samples
    // (noise below the threshold) read as zeros.
    std::string why;
    EXPECT_TRUE(RowsFollowTheLoad(RowsOf(rows, kTreadmill), bench.units[0], why)) << "treadmill: " << why;
    EXPECT_TRUE(RowsFollowTheLoad(RowsOf(rows, kWalkway), bench.units[1], why)) << "walkway: " << why;
}

INSTANTIATE_TEST_SUITE_P(Devhost, SyncModes, ::testing::Values("software", "hardware", "genlock"));

TEST_F(DevhostEndToEnd, Capture_ZeroBlinkRescan_EachReportedAndCaptureGoesOn)
{
    const DevhostResult result = Run({"capture", "--seconds", "8", "--at", "0.5:zero", "--at", "1:blink=" + kTreadmill,
                                      "--at", "2:rescan", "--csv", File("capture.csv")});
    ASSERT_EQ(result.exitCode, 0) << Output();
    const std::vector<std::string> lines = Lines(result.out);
    const int zero = FindLine(lines, {"s] zero:"});
    const int blink = FindLine(lines, {"s] blink:", kTreadmill}, zero);
    const int rearmed = FindLine(lines, {"s] re-armed: the plugin asked for it"}, blink);
    const int rescan = FindLine(lines, {"s] rescan:"}, zero);
    const int detected = FindLine(
        lines, {"s] detection finished: 2 units", kTreadmill + " Connected true", kWalkway + " Connected true"},
        rescan);
    const int rearmedAgain = FindLine(lines, {"s] re-armed: the plugin asked for it"}, detected);
    EXPECT_NE(zero, -1) << Output();
    EXPECT_NE(blink, -1) << Output();
    EXPECT_NE(rearmed, -1) << "no re-arming after the blink stopped acquisition\n" << Output();
    EXPECT_NE(rescan, -1) << Output();
    EXPECT_NE(detected, -1) << Output();
    EXPECT_NE(rearmedAgain, -1) << "no re-arming after the rescan\n" << Output();

    std::string header;
    const std::vector<CsvRow> rows = ReadCaptureCsv(File("capture.csv"), header);
    const std::vector<CsvRow> walkway = RowsOf(rows, kWalkway);
    const std::vector<CsvRow> treadmill = RowsOf(rows, kTreadmill);
    ASSERT_FALSE(walkway.empty()) << Output();
    ASSERT_FALSE(treadmill.empty()) << Output();
    // Walking on the treadmill, its plate never carries less than 550 N; the
    // zero tares what it carried then, so less follows.
    EXPECT_GT(treadmill.front().values[2], 500.0);
    EXPECT_TRUE(std::any_of(treadmill.begin(), treadmill.end(), [](const CsvRow& row) {
        return row.values[2] < 500.0;
    })) << "the zero left the treadmill's readings as they were";
    // Stopped by the blink and the rescan, then armed again: later runs, later sample numbers.
    const auto runs = Runs(walkway);
    ASSERT_GE(runs.size(), 2u) << Output();
    for (std::size_t i = 1; i < runs.size(); ++i)
        EXPECT_GT(runs[i].first, runs[i - 1].second) << "sample numbers went back";
}

TEST_F(DevhostEndToEnd, Capture_UnplugThenPlug_PlateDisconnectsStopsAndContinuesAfterRearm)
{
    // A rescan takes about 3.5 s and the re-arming 1 s: the treadmill records
    // for about a second while the walkway is away, and both for 2 s at the end.
    // Both record for most of a second first, also on a loaded machine.
    const DevhostResult result = Run({"capture", "--seconds", "13.2", "--at", "1.0:unplug=Walkway", "--at",
                                      "6.5:plug=1", "--csv", File("capture.csv")});
    ASSERT_EQ(result.exitCode, 0) << Output();
    const std::vector<std::string> lines = Lines(result.out);
    const int unplugged = FindLine(lines, {"s] unplug: unit 1 \"Walkway\"", "unplugged"});
    const int gone = FindLine(
        lines, {"s] detection finished: 1 unit;", kTreadmill + " Connected true", kWalkway + " Connected false"},
        unplugged);
    const int armedWithout = FindLine(lines, {"s] re-armed", "not armed (not connected): " + kWalkway}, gone);
    const int plugged = FindLine(lines, {"s] plug: unit 1 \"Walkway\"", "plugged in"}, gone);
    const int back = FindLine(lines, {"s] detection finished: 2 units", kWalkway + " Connected true"}, plugged);
    const int armedWith = FindLine(lines, {"s] re-armed: the plugin asked for it"}, back);
    EXPECT_NE(unplugged, -1) << Output();
    EXPECT_NE(gone, -1) << "the unplugged plate did not show Connected false\n" << Output();
    EXPECT_NE(armedWithout, -1) << Output();
    EXPECT_NE(plugged, -1) << Output();
    EXPECT_NE(back, -1) << Output();
    EXPECT_NE(armedWith, -1) << Output();
    const int summary = FindLine(lines, {"Samples (Software trigger"}, armedWith);
    const int walkwaySummary = FindLine(lines, {kWalkway}, summary);
    ASSERT_NE(walkwaySummary, -1) << Output();
    EXPECT_FALSE(Contains(lines[walkwaySummary], "not connected")) << Output();

    std::string header;
    const std::vector<CsvRow> rows = ReadCaptureCsv(File("capture.csv"), header);
    const auto walkway = Runs(RowsOf(rows, kWalkway));
    const auto treadmill = Runs(RowsOf(rows, kTreadmill));
    ASSERT_GE(walkway.size(), 2u) << "the walkway did not continue after it was plugged in\n" << Output();
    // While it was unplugged the walkway wrote nothing, and the treadmill went on.
    const std::int64_t stopped = walkway[0].second, resumed = walkway[1].first;
    EXPECT_TRUE(std::any_of(
        treadmill.begin(), treadmill.end(),
        [&](const std::pair<std::int64_t, std::int64_t>& run) { return run.first > stopped && run.second < resumed; }))
        << "no treadmill samples while the walkway was away (walkway stopped at " << stopped << ", resumed at "
        << resumed << ")";
    // Software trigger: both runs are on the host's sample numbers since the capture start.
    EXPECT_GT(resumed, stopped + 16);
}

TEST_F(DevhostEndToEnd, Capture_Plot_WritesAPicture)
{
    const std::string png = File("capture.png");
    const DevhostResult result = Run({"capture", "--seconds", "1", "--plot", png});
#if defined(_WIN32)
    // No Python beside Wine's programs: the clear failure, before any capture.
    EXPECT_EQ(result.exitCode, 1) << Output();
    EXPECT_TRUE(Contains(result.err, "--plot needs Python 3 with matplotlib")) << Output();
    EXPECT_FALSE(Contains(result.out, "Detecting")) << Output();
#else
    ASSERT_EQ(result.exitCode, 0) << Output();
    const std::string picture = ReadFile(png);
    EXPECT_GT(picture.size(), 10000u);
    EXPECT_EQ(picture.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_TRUE(Contains(result.out, "Wrote " + png)) << Output();
    EXPECT_TRUE(ReadFile(png + ".csv").empty()) << "the plot's CSV file was left behind";
#endif
}

TEST_F(DevhostEndToEnd, Capture_NoPlottingLibrary_FailsBeforeCapturing)
{
    std::vector<std::pair<std::string, std::string>> cases = {{"no-such-python-zorva", "(not found)"}};
#if !defined(_WIN32)
    // A Python without its site packages: matplotlib cannot be imported.
    const std::filesystem::path bare = Folder().Write("bare-python", "#!/bin/sh\nexec python3 -S \"$@\" 2>/dev/null\n");
    std::filesystem::permissions(bare, std::filesystem::perms::owner_all);
    cases.push_back({bare.string(), "(no matplotlib)"});
#endif
    for (const auto& c : cases) {
        const DevhostResult result =
            Run({"capture", "--seconds", "1", "--plot", File("p.png")}, {{"ZORVA_PYTHON", c.first}});
        EXPECT_EQ(result.exitCode, 1) << Output();
        EXPECT_TRUE(Contains(result.err, "--plot needs Python 3 with matplotlib")) << Output();
        EXPECT_TRUE(Contains(result.err, c.first + " " + c.second)) << Output();
        EXPECT_TRUE(Contains(result.err, "apt-get install python3-matplotlib")) << Output();
        EXPECT_FALSE(Contains(result.out, "Detecting")) << "it captured first\n" << Output();
    }
}

TEST_F(DevhostEndToEnd, CommandLine_WrongUse_ExitCode2WithWhatToDo)
{
    struct Case
    {
        std::vector<std::string> arguments;
        int exitCode;
        const char* message; ///< in standard error
    };
    const Case cases[] = {
        {{"frobnicate"}, 2, "unknown command \"frobnicate\""},
        {{"detect", "--seconds", "2"}, 2, "option --seconds is not used by detect"},
        {{"--at", "5:zero"}, 2, "the capture ends at 3 s"},
        {{"--rate", "1234"}, 2, "the acquisition rate setting offers 2000, 1800"},
        {{"--threshold", "80"}, 2, "the Fz threshold setting takes 0 to 50 N"},
        {{"--at", "1:unplug=Nobody"}, 2, "no unit \"Nobody\" on the bench; its units are: 0 (Treadmill) 1 (Walkway)"},
        {{"--at", "1:blink=Nobody"}, 2, "no plate \"Nobody\"; the plates are 0 (ZA300-7311TMT-0042)"},
        {{"--plugin", "/no/such/ZORVAplugin.mdd"}, 1, "cannot load the plugin /no/such/ZORVAplugin.mdd"},
        {{"--csv", "/no/such/folder/out.csv"}, 1, "cannot write the CSV file /no/such/folder/out.csv"},
        {{"selftest", "--rates", "1000,1234"}, 2, "--rates: 1234 is not an acquisition rate the plugin offers (2000,"},
        {{"selftest", "--weight", "Nobody=20"},
         2,
         "--weight Nobody=20: no plate \"Nobody\"; the plates are 0 (ZA300-7311TMT-0042)"},
        {{"selftest", "--report", Folder().Write("taken", "a file").string()}, 1, "cannot make the report folder"},
    };
    for (const Case& c : cases) {
        const DevhostResult result = Run(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << Output();
        EXPECT_TRUE(Contains(result.err, c.message)) << "expected \"" << c.message << "\"\n" << Output();
    }
    const DevhostResult help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(Contains(help.out, "Commands:")) << help.out;
}

TEST_F(DevhostEndToEnd, Version_BuiltProgram_ItsPluginsVersionAndItsUsbLibrary)
{
    const std::string folder = ProgramDirectory();
    const DevhostResult result = Run({"--version"});
    EXPECT_EQ(result.exitCode, 0) << Output();
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 3u) << Output();
    EXPECT_EQ(lines[0], std::string("zorva-devhost ") + ZORVA_VERSION_TEXT);
    EXPECT_EQ(lines[1], std::string("plugin ") + ZORVA_VERSION_TEXT + " (" + folder + ZORVA_PLUGIN_FILE + ")");
    // The simulated library beside the program, which states no version.
    EXPECT_EQ(lines[2], "USB library without version information (" + folder + ZORVA_USB_FILE + ")");

    const DevhostResult missing = Run({"--version", "--plugin", "/no/such/ZORVAplugin.mdd"});
    EXPECT_EQ(missing.exitCode, 1) << Output();
    EXPECT_TRUE(Contains(missing.err, "no plugin version: cannot open /no/such/ZORVAplugin.mdd")) << Output();
}

TEST_F(DevhostEndToEnd, Detect_MixedBench_EachUnitWithItsPlateOrWhyNone)
{
    const std::filesystem::path bench =
        Folder().Write("bench.ini", "[scenario]\ninit_polls = 1\n"
                                    "[unit Standard]\namplifier_serial = ZA1\n"
                                    "platform_model = Pendra-600\nplatform_serial = P1\n"
                                    "[unit Belt]\nproduct_type = 300\n"
                                    "amplifier_serial = ZA2\nplatform_model = Tandem TM\n"
                                    "platform_serial = P2\nlength = 70.75\n"
                                    "width = 24.5\n"
                                    "[unit Odd]\nproduct_type = 200\n"
                                    "amplifier_serial = ZA3\nplatform_model = X\n"
                                    "[unit Mystery]\namplifier_serial = ZA4\n"
                                    "platform_model = Mystery\nplatform_serial = P4\n"
                                    "length = 10\nwidth = 10\n"
                                    "[unit Spare]\nplugged = false\n"
                                    "amplifier_serial = ZA5\n");
    const DevhostResult result = Run({"detect"}, {{"ZORVA_SIM_SCENARIO", bench.string()}});
    ASSERT_EQ(result.exitCode, 0) << Output();
    const std::vector<std::string> lines = Lines(result.out);
    EXPECT_NE(FindLine(lines, {"info", "Detected 4 ZORVA digital devices"}), -1) << Output();
    EXPECT_NE(FindLine(lines, {"warning", "Detected unsupported device type 200"}), -1) << Output();
    const int standard = FindLine(lines, {"unit 0: product type 100", "Pendra-600 P1"});
    EXPECT_NE(FindLine(lines, {"plate \"ZA1P1\": Pendra"}, standard), -1) << Output();
    EXPECT_NE(FindLine(lines, {"why: standard model: the platform model contains \"Pendra\""}, standard), -1);
    EXPECT_NE(FindLine(lines, {"no plate: product type 200 is not supported"}), -1) << Output();
    const int mystery = FindLine(lines, {"plate \"ZA4P4\": Force plate"});
    EXPECT_NE(mystery, -1) << Output();
    EXPECT_NE(FindLine(lines, {"why: generic plate: the platform model \"Mystery\"", "254 x 254 mm"}, mystery), -1)
        << Output();
    EXPECT_NE(FindLine(lines, {"simulated bench: unit 4 \"Spare\"", "is not plugged in"}), -1) << Output();
    if (kConfigurationFromEnvironment) {
        EXPECT_NE(FindLine(lines, {"plate \"ZA2P2\": Tandem TM"}), -1) << Output();
        EXPECT_NE(FindLine(lines, {"custom plates: \"Tandem TM\"", "\"Gait Walkway\" 1800 x 600 mm"}, mystery), -1)
            << Output();
    }
}

TEST_F(DevhostEndToEnd, Definitions_Examples_TableWithCustomPlatesAndFullParameters)
{
    const DevhostResult table = Run({"definitions"});
    ASSERT_EQ(table.exitCode, 0) << Output();
    const std::vector<std::string> lines = Lines(table.out);
    EXPECT_NE(FindLine(lines, {"1", "ZORVA / Digital device common settings", "Shared Configuration"}), -1);
    EXPECT_NE(
        FindLine(lines, {"ZORVA / Pendra", "ForcePlate", "0.400 x 0.600", "Force, Moment, CoP", "standard model"}), -1)
        << Output();
    EXPECT_NE(FindLine(lines, {"ZORVA / Force plate", "0.500 x 0.500", "generic"}), -1) << Output();
    if (kConfigurationFromEnvironment) {
        EXPECT_NE(FindLine(lines, {"registers 23 definitions"}), -1) << Output();
        EXPECT_NE(FindLine(lines, {"21", "ZORVA / Tandem TM", "0.622 x 1.797", "custom, TreadmillSupport.cfg"}), -1)
            << Output();
        EXPECT_NE(FindLine(lines, {"22", "ZORVA / Gait Walkway", "0.600 x 1.800", "custom, CombinationPlatform.cfg"}),
                  -1)
            << Output();
    }
    const DevhostResult full = Run({"definitions", "--full"});
    ASSERT_EQ(full.exitCode, 0) << Output();
    const std::vector<std::string> fullLines = Lines(full.out);
    const int pendra = FindLine(fullLines, {"ZORVA / Pendra"});
    EXPECT_NE(FindLine(fullLines, {"StandardDimension_X", "6", "Dimensions", "Double(0.4"}, pendra), -1) << Output();
    EXPECT_NE(FindLine(fullLines, {"BlinkAction", "5", "Amplifier", "Action(0"}, pendra), -1) << Output();
    EXPECT_NE(FindLine(fullLines, {"output Force (quantity 13): Fx Fy Fz"}, pendra), -1) << Output();
    EXPECT_NE(FindLine(fullLines, {"sync port \"Sync Port\""}, pendra), -1) << Output();
}

/// check-config on files the plugin reads, with plates it leaves out and a
/// name given twice: each is a warning with its line, the other plates are
/// listed, and the exit code stays 0. definitions then shows both plates of
/// the name, each from its own file.
TEST_F(DevhostEndToEnd, CheckConfig_PlatesLeftOutAndNameTwice_WarningsWithLinesExitCode0)
{
    if (!kConfigurationFromEnvironment)
        GTEST_SKIP() << "on Windows the files are the real C:\\ZORVA\\CFG";
    TempFolder drive;
    drive.Write("ZORVA/CFG/CombinationPlatform.cfg", "UNITS,1\nCP_COUNT,2\nCP_INFO,1,0,Pendra,t,0,400,600,0\n"
                                                     "CP_INFO,2,0,Belt,t,0,600,1800,0\n");
    // Unit 2 has no STRIVO line: it has an empty name.
    std::string strivo = "ENABLED,1\nCOUNT,2\nSTRIVO,1,Belt,500,1500,0\n";
    for (const char* unit : {"1", "2"}) {
        for (const char* side : {"LEFT", "RIGHT"}) {
            strivo += std::string("AMP,") + unit + "," + side + ",0,A\n";
            for (const char* position : {"A", "B"})
                strivo += std::string("SENSOR,") + unit + "," + side + "," + position + ",s,1,1,0\n";
        }
    }
    drive.Write("ZORVA/CFG/Strivo.cfg", strivo);
    const std::map<std::string, std::string> env = {{"ZORVA_DRIVE_C", drive.Path().string()}};

    const DevhostResult result = Run({"check-config"}, env);
    EXPECT_EQ(result.exitCode, 0) << Output();
    const std::vector<std::string> lines = Lines(result.out);
    const int combo = FindLine(lines, {"C:\\ZORVA\\CFG\\CombinationPlatform.cfg"});
    const int units = FindLine(lines, {"C:\\ZORVA\\CFG\\Strivo.cfg"});
    ASSERT_NE(combo, -1) << Output();
    ASSERT_NE(units, -1) << Output();
    EXPECT_EQ(FindLine(lines, {"result: 1, read without error"}, combo), combo + 2) << Output();
    EXPECT_NE(
        FindLine(lines, {"warning: line 3: custom plate \"Pendra\" left out: name of a standard plate model"}, combo),
        -1)
        << Output();
    EXPECT_NE(FindLine(lines, {"\"Belt\"", "X 0.6000 m x Y 1.8000 m", "from line 4: a combined platform"}, combo), -1)
        << Output();
    EXPECT_EQ(FindLine(lines, {"result: 1, read without error"}, units), units + 2) << Output();
    EXPECT_NE(
        FindLine(lines, {"warning: line 2: custom plate \"\" left out: empty name (no STRIVO line for unit 2)"}, units),
        -1)
        << Output();
    EXPECT_NE(FindLine(lines,
                       {"warning: line 3: custom plate \"Belt\" has the name of the one at "
                        "C:\\ZORVA\\CFG\\CombinationPlatform.cfg line 4"},
                       units),
              -1)
        << Output();
    EXPECT_NE(FindLine(lines, {"\"Belt\"", "X 0.5000 m x Y 1.5000 m", "from line 3: a treadmill unit"}, units), -1)
        << Output();
    EXPECT_NE(FindLine(lines, {"2 custom plates; 3 warnings: the plugin logs each (level 2) and still uses the file"}),
              -1)
        << Output();

    const DevhostResult definitions = Run({"definitions"}, env);
    ASSERT_EQ(definitions.exitCode, 0) << Output();
    const std::vector<std::string> rows = Lines(definitions.out);
    EXPECT_NE(FindLine(rows, {"registers 23 definitions"}), -1) << Output();
    EXPECT_NE(FindLine(rows, {"21", "ZORVA / Belt", "0.600 x 1.800", "custom, CombinationPlatform.cfg"}), -1)
        << Output();
    EXPECT_NE(FindLine(rows, {"22", "ZORVA / Belt", "0.500 x 1.500", "custom, Strivo.cfg"}), -1) << Output();
}

/// check-config on files of the user's: each broken file names its line and
/// its fault, and makes the exit code 1.
TEST_F(DevhostEndToEnd, CheckConfig_BrokenFiles_LineAndFaultNamedExitCode1)
{
    if (!kConfigurationFromEnvironment)
        GTEST_SKIP() << "on Windows the files are the real C:\\ZORVA\\CFG";
    struct Case
    {
        const char* file;
        const char* text;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"CombinationPlatform.cfg",
         "VERSION,1\nENABLED,1\nCP_CUONT,1\n",
         {"error:  Unknown keyword in configuration file at line 3"}},
        {"CombinationPlatform.cfg",
         "% two declared, one given\nCP_COUNT,2\nCP_INFO,1,1,One,x,0,600,900,0\n",
         {"error:  Summary error in configuration file:", "error:  Combined platform count incorrect"}},
        {"Strivo.cfg",
         "\n% metric\nVERSION,100\n",
         {"error:  Semantic error (Bad file version) in configuration file at line 3"}},
        {"Strivo.cfg",
         "COUNT,1\nSTRIVO,1,Belt,500,1500,0\nAMP,1,LEFT,0,A1\nSENSOR,1,LEFT,C,s,1,1,0\n",
         {"error:  Semantic error (Bad sensor position C) in configuration file at line 4",
          "error:  Missing amplifier ID for the Right side", "error:  Missing sensor record for Left A"}},
    };
    for (const Case& c : cases) {
        TempFolder drive;
        drive.Write(std::string("ZORVA/CFG/") + c.file, c.text);
        const DevhostResult result = Run({"check-config"}, {{"ZORVA_DRIVE_C", drive.Path().string()}});
        EXPECT_EQ(result.exitCode, 1) << Output();
        const std::vector<std::string> lines = Lines(result.out);
        const int file = FindLine(lines, {std::string("C:\\ZORVA\\CFG\\") + c.file});
        EXPECT_NE(FindLine(lines, {"result: -1, the plugin ignores this whole file"}, file), -1) << Output();
        for (const std::string& message : c.messages)
            EXPECT_NE(FindLine(lines, {message}, file), -1) << "missing \"" << message << "\"\n" << Output();
        EXPECT_NE(FindLine(lines, {"1 file with errors: fix the lines named above"}), -1) << Output();
    }

    // The examples: two custom plates, no error.
    const DevhostResult examples = Run({"check-config"});
    EXPECT_EQ(examples.exitCode, 0) << Output();
    const std::vector<std::string> lines = Lines(examples.out);
    EXPECT_NE(FindLine(lines, {"\"Tandem TM\"", "X 0.6223 m x Y 1.7970 m", "from line 5: the treadmill set-up"}), -1)
        << Output();
    EXPECT_NE(FindLine(lines, {"\"Gait Walkway\"", "X 0.6000 m x Y 1.8000 m", "from line 7: a combined platform"}), -1)
        << Output();
    EXPECT_EQ(FindLine(lines, {"warning"}), -1) << Output();
    EXPECT_NE(FindLine(lines, {"result: 0, not present"}), -1) << Output();

    // No configuration folder at all: nothing wrong, and said so.
    TempFolder empty;
    const DevhostResult none = Run({"check-config"}, {{"ZORVA_DRIVE_C", empty.Path().string()}});
    EXPECT_EQ(none.exitCode, 0) << Output();
    EXPECT_TRUE(Contains(none.out, "there are no configuration files")) << Output();
}
