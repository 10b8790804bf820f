/// The commissioning self-test: on the plugin in a session, checks each unit
/// and plate a lab installed and says, for each check, what it measured,
/// against which limit, and whether it passed. SelfTestReport.h writes it up;
/// the selftest command (SelfTestCommand.cpp) runs it in real time, tests in
/// virtual time.
///
/// Threads: every member runs on the caller's thread (the program's main
/// thread); the plates' blocks reach the self-test's window collector on the plugin's
/// worker (SelfTest.cpp says how that is guarded).
#pragma once

#include "devhost/engine/BenchControl.h"
#include "devhost/engine/selftest/SelfTestOptions.h"
#include "hostkit/DetectionLog.h"
#include "devhost/engine/selftest/SelfTestMeasures.h"
#include "hostkit/Session.h"
#include "contract/LogLines.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zorvahost {

/// The self-test's time. In real time the hardware measures while the
/// program sleeps; in a test the simulated hardware measures as virtual time
/// passes, so a run of many seconds takes a fraction of one.
class SelfTestTime
{
public:
    virtual ~SelfTestTime() = default;
    /// The host's clock, seconds: the one the host stamps the blocks with.
    virtual double Now() = 0;
    /// Lets `seconds` pass: the hardware measures and the plugin hands the
    /// host what it measured meanwhile.
    virtual void Pass(double seconds) = 0;
    /// Waits for work of the plugin's own (a detection, a queued command)
    /// until `done` holds, calling it now and then; false when it did not
    /// within `seconds`.
    virtual bool Await(const std::function<bool()>& done, double seconds) = 0;
};

/// Real time on the host's clock: sleeps, and polls every 20 ms.
class RealTime : public SelfTestTime
{
public:
    explicit RealTime(hostkit::Host& host) : host_(host) {}
    double Now() override { return host_.Now(); }
    void Pass(double seconds) override;
    bool Await(const std::function<bool()>& done, double seconds) override;

private:
    hostkit::Host& host_;
};

/// The kinds of check, in the order the report shows them.
enum class CheckKind
{
    Detection,
    Identity,
    Blink,
    Unloaded,
    Zero,
    Noise,
    Weight,
    CentreOfPressure,
    Continuity,
    Rate,
    SoftwareTrigger,
    Genlock,
    HardwareTrigger,
    Rescan
};

/// What the report says of a kind of check.
struct CheckInfo
{
    CheckKind kind;
    const char* name;   ///< "Noise at rest"
    const char* what;   ///< what it measures, one sentence
    const char* advice; ///< what to do when it fails
};

/// Every kind of check, in CheckKind order.
const std::vector<CheckInfo>& CheckInfos();
const CheckInfo& InfoOf(CheckKind kind);
inline std::string CheckName(CheckKind kind) { return InfoOf(kind).name; }

enum class Verdict
{
    Passed,
    Failed,
    NotRun ///< what it needs failed first (named in the note)
};

/// One check of one unit (or of the bench).
struct CheckRow
{
    CheckKind kind = CheckKind::Detection;
    std::string condition;   ///< "1000 per second", or empty
    std::string unit;        ///< "0 ZA100-4471 / Pendra-600 PEN600-10482", or "bench"
    std::string measurement; ///< what was measured, with units
    std::string limit;       ///< what it had to be
    Verdict verdict = Verdict::Passed;
};

/// A unit as detected, and the plate it became.
struct UnitRecord
{
    hostkit::DetectedUnit unit;
    std::string label;               ///< as CheckRow::unit
    std::string plate;               ///< instance name; empty: none
    std::string definition;          ///< the definition it was instantiated from
    std::string why;                 ///< the matching rule, in words
    double sizeX = 0.0, sizeY = 0.0; ///< the definition's, metres
};

/// Data behind the report's plots.
struct RestTrace
{
    std::string plate;
    /// Time from the window's start (s), then Fx Fy Fz Mx My Mz.
    std::vector<std::array<float, 7>> samples;
};

struct RateRow
{
    std::string plate;
    unsigned int rate = 0;
    RateEstimate estimate;
    Continuity continuity;
};

struct WeightTrace
{
    std::string plate;
    WeightSpec weight;
    double expectedN = 0.0;
    double toleranceN = 0.0;
    double sizeX = 0.0, sizeY = 0.0;
    /// Time (s), Fz, CoPx, CoPy.
    std::vector<std::array<float, 4>> samples;
};

struct SelfTestResult
{
    std::vector<CheckRow> rows;
    std::vector<UnitRecord> units;
    std::vector<RestTrace> rest;
    std::vector<RateRow> rates;
    std::vector<WeightTrace> weights;
    /// A command-line value that names nothing on this bench (exit code 2).
    std::string usageError;
    double seconds = 0.0; ///< how long the run took, host clock

    /// True when every check ran and passed.
    bool AllPassed() const;
};

/// Limits and durations: the report quotes them.
namespace selftest {
constexpr double kUnloadedForceN = 50.0;                                   ///< |Fz| before zeroing; Fx, Fy half of it
constexpr double kZeroForceN = 1.0;                                        ///< |mean| after zeroing
constexpr double kZeroMomentNm = 0.2;                                      ///<
constexpr std::array<double, 6> kNoise = {0.5, 0.5, 1.0, 0.25, 0.25, 0.1}; ///< standard deviation, Fx..Mz
constexpr double kRatePpm = 500.0;                                         ///< |achieved - nominal| / nominal
constexpr double kFirstBlockSeconds = 2.0; ///< from the capture's start to every plate's first block
constexpr double kWeightShare = 0.01;      ///< of m g, at least kWeightMinimumN
constexpr double kWeightMinimumN = 2.0;
constexpr double kCopMetres = 0.01;
constexpr double kGravity = 9.80665; ///< standard gravity, m/s^2

constexpr double kUnloadedSeconds = 1.0;
constexpr double kSettleSeconds = 0.5;  ///< after the zero
constexpr double kCaptureSeconds = 2.0; ///< at each rate, at least
constexpr int kCaptureBlocks = 8;       ///< at each rate, at least
constexpr double kSyncSeconds = 1.0;
constexpr double kBlinkPauseSeconds = 2.0; ///< between two plates' blinks
constexpr double kCommandSeconds = 5.0;    ///< for a command to reach the library
constexpr double kWeightWaitSeconds = 60.0;
constexpr double kWeightSeconds = 2.0;
constexpr double kTriggerWaitSeconds = 30.0;
} // namespace selftest

/// How long the self-test captures at a rate: kCaptureSeconds, or
/// kCaptureBlocks blocks when those take longer.
double CaptureSeconds(unsigned int rate);

/// The rates to capture at: `requested` in its order, or else every rate
/// `productTypes` support (descending). The first is the one the rest
/// checks run at: 1000 when it is among them.
std::vector<unsigned int> RatesToTest(const std::vector<unsigned int>& requested, const std::vector<int>& productTypes);

class WindowCollector;

class SelfTest
{
public:
    /// Prints through `say` (one line a call) as it goes; null: silent.
    SelfTest(hostkit::PluginSession& session, SelfTestTime& time, const BenchControl& bench, SelfTestOptions options,
             std::function<void(const std::string&)> say);
    ~SelfTest();
    SelfTest(const SelfTest&) = delete;
    SelfTest& operator=(const SelfTest&) = delete;

    /// Runs every check on a started session (hostkit::PluginSession::Start), from
    /// the detection on; leaves the devices disarmed.
    SelfTestResult Run();

private:
    struct Arming;
    struct Window;

    bool Detect();
    void CheckIdentity();
    bool ResolveWeights();
    void BlinkEach();
    void RestAndRates();
    /// A row a plate: its unloaded reading before the zero.
    void UnloadedRows(const Window& unloaded);
    /// Two rows a plate: its means after the zero (`zeroed`: the command
    /// reached the library) and its noise, with the data of the rest plot.
    void ZeroAndNoiseRows(const Window& rest, bool zeroed);
    void WeighEach(unsigned int rate);
    void CaptureAt(unsigned int rate);
    void Synchronisation(unsigned int rate);
    void Rescan();

    Arming Arm(unsigned int rate);
    /// Lets time pass until every armed plate delivered a block, at most `seconds`.
    void AwaitFirstBlocks(Arming& arming, double seconds);
    Window Capture(double seconds, unsigned int rate, bool keepSamples);
    void PassAndPoll(double seconds);
    /// A row a plate: whether it armed and delivered its first block in time.
    void ArmingRows(CheckKind kind, const Arming& arming);
    /// A Capture row a plate and, when `timed`, a Rate row; `mode` names a
    /// synchronisation other than the software trigger.
    void ContinuityAndRateRows(unsigned int rate, const std::string& mode, const Arming& arming, const Window& window,
                               bool timed);

    void Add(CheckKind kind, const std::string& condition, const std::string& unit, const std::string& measurement,
             const std::string& limit, Verdict verdict);
    void Say(const std::string& text);
    bool LoggedSince(std::size_t mark, ZORVA::LogLineId line, const std::string& value) const;

    hostkit::PluginSession& session_;
    SelfTestTime& time_;
    const BenchControl& bench_;
    SelfTestOptions options_;
    std::function<void(const std::string&)> say_;
    std::shared_ptr<WindowCollector> collector_;
    SelfTestResult result_;
    hostkit::DetectionReport detection_;
    std::vector<hostkit::LogLine> log_; ///< every line the plugin wrote, read on this thread by Poll
    /// Indices into result_.units of the units with a plate, in plate order.
    std::vector<std::size_t> plated_;
    std::vector<std::pair<std::size_t, WeightSpec>> weights_; ///< unit index and weight
};

} // namespace zorvahost
