// The self-test on the plugin's core in this process, the simulated bench
// measuring in virtual time: a run of twenty seconds of the bench takes a
// fraction of one. Each faulty bench makes its check fail, naming the unit
// and the measurement; the clean bench passes everything.
#include "DevhostRun.h"
#include "TestEnvironment.h"
#include "definitions/VSharedConfigDefinition.h"
#include "devhost/engine/selftest/SelfTest.h"
#include "devhost/program/SelfTestReport.h"
#include "devhost/program/Plot.h"
#include "hostkit/VirtualTime.h"
#include "plugin/Plugin.h"
#include "simusb/SimControl.h"
#include "win32/ZorvaWin32.h"
#include "win32/posix/win32_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <thread>

using namespace zorvahost;
using hostkit::PluginSession;
using zorvatest::kSource;

namespace {

/// Time as the simulated bench measures it: every millisecond let pass is a
/// Sleep(1) of the Win32 layer, after which the plugin's worker is given the
/// time to hand over what the hardware measured. Work of the plugin's own is
/// awaited in real time (its pauses are virtual too). `hook` runs once,
/// when `when` first holds after a millisecond: what happens to the bench
/// meanwhile.
class VirtualTime : public SelfTestTime
{
public:
    std::function<bool()> when;
    std::function<void()> hook;

    double Now() override { return hostkit::virtualtime::Seconds(); }

    void Pass(double seconds) override
    {
        hostkit::virtualtime::Pass(std::lround(seconds * 1000.0), 1, [this] {
            if (hook && when && when()) {
                hook();
                hook = nullptr;
            }
        });
    }

    bool Await(const std::function<bool()>& done, double) override
    {
        // The plugin's pauses take no real time: ten seconds mean a hang.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return true;
    }
};

class SelfTestInVirtualTime : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetEnvironment("ZORVA_SIM_SCENARIO", nullptr);
        // No configuration files: every plate matches a standard model.
        ZorvaWin32_SetDriveDirectory('C', drive_.Path().string().c_str());
        zorvasim::Reset();
        zorvasim::SetMode(zorvasim::Mode::VirtualClock);
        zorvasim::SetTraceCapacity(1);
        ASSERT_TRUE(zorvasim::SetVirtualTime(true));
    }

    void TearDown() override
    {
        ZORVA::hostServices = nullptr;
        ZORVA::deviceInstantiator = nullptr;
        zorvasim::SetVirtualTime(false);
        zorvasim::Reset();
        ZorvaWin32_SetDriveDirectory('C', nullptr);
    }

    /// The self-test on the bench of `scenarioFile`, its plugin linked in.
    SelfTestResult Run(const std::string& scenarioFile, SelfTestOptions options)
    {
        std::string error;
        EXPECT_TRUE(zorvasim::LoadScenarioFile(scenarioFile, &error)) << error;
        hostkit::Host host;
        host.SetClock(hostkit::virtualtime::Seconds);
        PluginSession session(host);
        session.Link({ZORVA::PluginAPIVersion, ZORVA::Initialise, ZORVA::ProvideDeviceDefinitions,
                      ZORVA::BeginDeviceInstantiation, ZORVA::OnManualDeviceInstantiation, ZORVA::Shutdown},
                     "linked");
        session.Start();
        const BenchControl bench;
        SelfTestResult result;
        {
            SelfTest test(session, time_, bench, std::move(options), [this](const std::string& line) {
                said_ += line + "\n";
                if (line.find("Zeroing") != std::string::npos)
                    zeroedAt_ = time_.Now();
            });
            result = test.Run();
        }
        session.Shutdown();
        return result;
    }

    /// Every row, for a failure message.
    std::string Rows(const SelfTestResult& result) const
    {
        std::string text;
        for (const CheckRow& row : result.rows)
            text += CheckName(row.kind) + " [" + row.condition + "] " + row.unit + ": " + row.measurement + " -> " +
                    (row.verdict == Verdict::Passed   ? "passed"
                     : row.verdict == Verdict::Failed ? "FAILED"
                                                      : "not run") +
                    "\n";
        return text + said_;
    }

    static const CheckRow* Find(const SelfTestResult& result, CheckKind kind, const std::string& unitPrefix)
    {
        for (const CheckRow& row : result.rows) {
            if (row.kind == kind && row.unit.compare(0, unitPrefix.size(), unitPrefix) == 0)
                return &row;
        }
        return nullptr;
    }

    zorvatest::TempFolder drive_;
    VirtualTime time_;
    std::string said_;
    /// When the self-test zeroed the plates; its rest capture begins half a second later.
    double zeroedAt_ = 1e9;
};

const std::string kCleanBench = kSource + "/simusb/scenarios/clean-bench.ini";
const std::string kType100Bench = kSource + "/simusb/scenarios/type-100-bench.ini";
const std::string kLeft = "0 ZA100-4471";
const std::string kRight = "1 ZA300-5208";

} // namespace

TEST_F(SelfTestInVirtualTime, Run_CleanBench_EveryCheckPasses)
{
    SelfTestOptions options;
    options.rates = {1000, 100};
    options.weights = {WeightSpec{"0", 20.0, true, 0.05, 0.1, "0=20@0.05,0.1"}};
    options.hardwareTrigger = true;
    const SelfTestResult result = Run(kCleanBench, options);
    ASSERT_TRUE(result.AllPassed()) << Rows(result);

    // Every kind of check ran, for both units where it concerns a unit.
    for (const CheckInfo& info : CheckInfos()) {
        const std::string unit = info.kind == CheckKind::Detection                                            ? "bench"
                                 : info.kind == CheckKind::Weight || info.kind == CheckKind::CentreOfPressure ? kLeft
                                                                                                              : kRight;
        EXPECT_TRUE(Find(result, info.kind, unit)) << info.name << "\n" << Rows(result);
    }
    // What the bench is: its rate exactly, 20 kg at 9.80665 N/kg, the point the weight was put at.
    ASSERT_EQ(result.rates.size(), 4u);
    for (const RateRow& row : result.rates) {
        EXPECT_TRUE(row.estimate.measured);
        EXPECT_LT(std::fabs(row.estimate.ppm), 50.0) << row.plate << " at " << row.rate;
    }
    ASSERT_EQ(result.weights.size(), 1u);
    EXPECT_NE(Find(result, CheckKind::Weight, kLeft)->measurement.find("mean Fz 196.13 N"), std::string::npos)
        << Rows(result);
    EXPECT_NE(Find(result, CheckKind::CentreOfPressure, kLeft)->measurement.find("0.0 mm from"), std::string::npos)
        << Rows(result);
    // The plots' data: two zeroed plates at rest for two seconds.
    ASSERT_EQ(result.rest.size(), 2u);
    EXPECT_GE(result.rest[0].samples.size(), 2000u);
    EXPECT_GT(result.seconds, 15.0) << "virtual seconds of the bench";
    // On the simulated bench the self-test put the weight on and took it off.
    EXPECT_EQ(zorvasim::CurrentScenario().units[0].load.kind, zorvasim::LoadKind::None);
}

// Regression: the host kit read the armed rate back as the host's tick rate
// divided by the plates' ticks per sample, which the plugin truncates: at 1800
// and 1500 per second it took 1801 and 1501, and the self-test failed Capture
// ("the plugin ran 1801 per second") and Rate (about -500 ppm) on a bench whose
// units run every rate. The clean bench's type-300 unit excludes those rates.
TEST_F(SelfTestInVirtualTime, Run_Type100BenchAtEveryRate_EveryCheckPasses)
{
    const SelfTestResult result = Run(kType100Bench, SelfTestOptions());
    ASSERT_TRUE(result.AllPassed()) << Rows(result);

    // Every rate the setting offers, on both plates: whole, and timed at the
    // rate itself (the virtual clock's milliseconds blur the slow rates' fit).
    std::map<unsigned int, int> plates;
    for (const RateRow& row : result.rates) {
        ++plates[row.rate];
        EXPECT_TRUE(row.continuity.Whole()) << row.plate << " at " << row.rate;
        EXPECT_TRUE(row.estimate.measured) << row.plate << " at " << row.rate;
        EXPECT_LE(std::fabs(row.estimate.ppm), std::max(50.0, row.estimate.uncertaintyPpm))
            << row.plate << " at " << row.rate;
    }
    for (unsigned int rate : ZORVA::StandardRates)
        EXPECT_EQ(plates[rate], 2) << rate;
    EXPECT_EQ(plates.size(), static_cast<std::size_t>(ZORVA::StandardRateCount));
}

TEST_F(SelfTestInVirtualTime, WriteReport_CleanBench_ReportDataAndPlotsOrWhyNone)
{
    SelfTestOptions options;
    options.rates = {1000};
    options.weights = {WeightSpec{"1", 10.0, false, 0.0, 0.0, "1=10"}};
    const SelfTestResult result = Run(kCleanBench, options);
    ASSERT_TRUE(result.AllPassed()) << Rows(result);

    const zorvatest::TempFolder folder;
    ReportContext context;
    context.bench = "clean bench";
    context.rates = "1000 per second (--rates)";
    std::string report, error;
    ASSERT_TRUE(WriteReport(result, context, folder.Path().string(), report, error)) << error;
    EXPECT_EQ(std::filesystem::path(report), folder.Path() / "report.md");
    const std::string md = zorvatest::ReadFile(report);
    EXPECT_EQ(md.find("# Commissioning self-test: PASSED: all "), 0u) << md;
    EXPECT_NE(md.find("| Simulated bench | clean bench |"), std::string::npos) << md;
    EXPECT_EQ(md.find("What did not pass"), std::string::npos) << md;
    // Every section that ran, each with its advice for when it fails.
    for (CheckKind kind :
         {CheckKind::Identity, CheckKind::Noise, CheckKind::Weight, CheckKind::Rate, CheckKind::Rescan})
        EXPECT_NE(md.find("### " + CheckName(kind) + "\n\n" + InfoOf(kind).what + "\n\n*If it fails:* " +
                          InfoOf(kind).advice),
                  std::string::npos)
            << CheckName(kind) << "\n"
            << md;

    // The plot data: a header and a row per sample of each plate at rest.
    const std::string rest = zorvatest::ReadFile(folder.Path() / "rest.csv");
    EXPECT_EQ(rest.rfind("plate,time_s,Fx_N,Fy_N,Fz_N,Mx_Nm,My_Nm,Mz_Nm\n", 0), 0u) << rest.substr(0, 100);
    EXPECT_EQ(static_cast<std::size_t>(std::count(rest.begin(), rest.end(), '\n')),
              1 + result.rest[0].samples.size() + result.rest[1].samples.size());
    EXPECT_NE(zorvatest::ReadFile(folder.Path() / "limits.csv").find("rate_ppm,500\n"), std::string::npos);
    EXPECT_NE(zorvatest::ReadFile(folder.Path() / "weight.csv").find(",10,98.0665,2,0,"), std::string::npos);

    // With Python and matplotlib the three plots, each shown in its section;
    // without (as under Wine) the report says why and where the data are.
    std::string python, missing;
    if (FindPlotter(python, missing)) {
        for (const char* plot : {"rest.png", "rates.png", "weight.png"}) {
            EXPECT_EQ(zorvatest::ReadFile(folder.Path() / plot).substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8))
                << plot;
            EXPECT_NE(md.find(std::string("](") + plot + ")"), std::string::npos) << md;
        }
    } else {
        EXPECT_NE(md.find("No plots: Python 3 with matplotlib was not found"), std::string::npos) << md;
        EXPECT_EQ(md.find(".png"), std::string::npos) << md;
    }
}

/// A faulty bench and what the self-test must say about it.
struct FaultCase
{
    const char* name;
    std::string scenario;
    std::vector<unsigned int> rates;
    /// What happens to the bench during the capture at rest (null: nothing).
    std::function<void()> fault;
    CheckKind kind;                   ///< the check that names the fault
    std::vector<std::string> units;   ///< the units it names (label prefixes)
    std::string measured;             ///< part of the failed rows' measurement
    std::vector<CheckKind> alsoFails; ///< other checks the fault makes fail, and no more
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class SelfTestFaults : public SelfTestInVirtualTime, public ::testing::WithParamInterface<FaultCase>
{};

const std::string kSelfTestBenches = kSource + "/examples/selftest/";

const FaultCase kFaultCases[] = {
    {"LostBlocks",
     kSelfTestBenches + "lost-blocks.ini",
     {1000},
     nullptr,
     CheckKind::Continuity,
     {kLeft, kRight},
     " gap",
     {}},
    {"NoisyUnit", kSelfTestBenches + "noisy-unit.ini", {1000}, nullptr, CheckKind::Noise, {kRight}, "Fz 3.0", {}},
    {"SlowClock",
     kSelfTestBenches + "slow-clock.ini",
     {1000, 250},
     nullptr,
     CheckKind::Rate,
     {kLeft, kRight},
     "ppm",
     {}},
    {"UnitDropsOut",
     kSelfTestBenches + "unit-drops-out.ini",
     {1000},
     nullptr,
     CheckKind::Rescan,
     {kRight},
     "not found: the rescan lists 1 unit",
     {}},
    {"BlocksSkipped",
     kCleanBench,
     {1000},
     [] { zorvasim::InjectBlockFault(zorvasim::BlockFault::Skip, 3); },
     CheckKind::Continuity,
     {kLeft, kRight},
     "lost 48 (1 gap), repeated 0",
     {}},
    {"BlockRepeated",
     kCleanBench,
     {1000},
     [] { zorvasim::InjectBlockFault(zorvasim::BlockFault::Repeat, 1); },
     CheckKind::Continuity,
     {kLeft, kRight},
     "repeated 16",
     {}},
    // The rates only type 100 runs are judged as strictly as the others.
    {"BlocksSkippedAt1800",
     kType100Bench,
     {1800},
     [] { zorvasim::InjectBlockFault(zorvasim::BlockFault::Skip, 3); },
     CheckKind::Continuity,
     {kLeft, "1 ZA100-5208"},
     "lost 48 (1 gap), repeated 0",
     {}},
    {"RateTheUnitsLack",
     kCleanBench,
     {2000},
     nullptr,
     CheckKind::Continuity,
     {kLeft, kRight},
     "the plugin ran 1200 per second",
     {CheckKind::Rate}},
};

TEST_P(SelfTestFaults, Run_FaultyBench_TheNamedCheckFailsForTheUnitWithItsMeasurement)
{
    const FaultCase& c = GetParam();
    // A second into the capture at rest.
    time_.when = [this] { return time_.Now() >= zeroedAt_ + 1.5; };
    time_.hook = c.fault;
    SelfTestOptions options;
    options.rates = c.rates;
    const SelfTestResult result = Run(c.scenario, options);
    EXPECT_FALSE(result.AllPassed()) << Rows(result);
    for (const std::string& unit : c.units) {
        bool named = false;
        for (const CheckRow& row : result.rows) {
            if (row.kind == c.kind && row.verdict == Verdict::Failed && row.unit.compare(0, unit.size(), unit) == 0) {
                named = true;
                EXPECT_NE(row.measurement.find(c.measured), std::string::npos) << row.measurement;
                // The report's list of what did not pass says it too.
                const std::string md = MarkdownReport(result, ReportContext(), {}, "");
                EXPECT_NE(md.find("- **" + CheckName(row.kind) +
                                  (row.condition.empty() ? "" : " (" + row.condition + ")") + ", unit " + row.unit +
                                  "**: FAILED. Measured " + row.measurement),
                          std::string::npos)
                    << md;
            }
        }
        EXPECT_TRUE(named) << CheckName(c.kind) << " does not fail for " << unit << "\n" << Rows(result);
    }
    // The fault shows where it is, not all over the report.
    for (const CheckRow& row : result.rows) {
        if (row.verdict == Verdict::Passed || row.kind == c.kind)
            continue;
        EXPECT_NE(std::find(c.alsoFails.begin(), c.alsoFails.end(), row.kind), c.alsoFails.end())
            << CheckName(row.kind) << " fails too:\n"
            << Rows(result);
    }
}

INSTANTIATE_TEST_SUITE_P(Benches, SelfTestFaults, ::testing::ValuesIn(kFaultCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

TEST_F(SelfTestInVirtualTime, Run_WeightOnAPlateThatIsNotThere_UsageErrorBeforeAnyCapture)
{
    SelfTestOptions options;
    options.weights = {WeightSpec{"2", 20.0, false, 0.0, 0.0, "2=20"},
                       WeightSpec{"0", 5.0, true, 0.5, 0.0, "0=5@0.5,0"}};
    SelfTestResult result = Run(kCleanBench, options);
    EXPECT_NE(result.usageError.find("--weight 2=20: no plate \"2\"; the plates are 0 (ZA100-4471PEN600-10482), 1 "
                                     "(ZA300-5208GOR900-20931)"),
              std::string::npos)
        << result.usageError;
    EXPECT_FALSE(result.AllPassed());
    EXPECT_EQ(result.rates.size(), 0u);

    options.weights.erase(options.weights.begin());
    result = Run(kCleanBench, options);
    EXPECT_NE(result.usageError.find("the point lies off plate ZA100-4471PEN600-10482, which reaches to x +-0.2 m"),
              std::string::npos)
        << result.usageError;
}
