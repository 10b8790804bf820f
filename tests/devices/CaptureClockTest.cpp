// Sample numbers say when a sample was measured, in every capture of a
// session: the first and every later one, whether blocks flowed between them
// or not, whether the rate changed or not, in each sync mode.
//
// The simulated library runs on the virtual clock: every pause of any thread
// lets the hardware measure for that long (so it goes on measuring while the
// shared device pauses in Arm and while the worker runs the rate, stop and
// start jobs), logs when it measured each block, and writes each sample's
// clock into Fy, so every value the host receives tells which sample it is.
#include "DevicesTestSupport.h"
#include "hostkit/VirtualTime.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>

using namespace devtest;
using namespace MoldraDigitalDevice;

namespace {

const char* const TwoPlatesAt500 = R"(
[scenario]
init_polls = 1
rate = 500
backlog = 256
[unit A]
amplifier_serial = A1
platform_model = Pendra-600
platform_serial = P1
force = 0 0 -700
[unit B]
amplifier_serial = A2
platform_model = Pendra-600
platform_serial = P2
force = 0 0 -650
)";

struct CaptureCase
{
    const char* name;
    const char* mode;
    /// The rate of each of the three captures.
    const char* rates[3];
};

void PrintTo(const CaptureCase& c, std::ostream* os) { *os << c.name; }

/// What the test knows of one capture.
struct Capture
{
    unsigned int rate = 0;
    /// Host time given to StartCapture, seconds (software trigger).
    double startTime = 0.0;
    /// Virtual time at which the driver restarted acquisition, ms.
    double restartedMs = 0.0;
    /// Sample clock of the trigger pulse (hardware trigger).
    std::uint64_t triggerClock = 0;
};

class CaptureClock : public SimBench, public ::testing::WithParamInterface<CaptureCase>
{
protected:
    void SetUp() override
    {
        SimBench::SetUp();
        zorvasim::SetMode(zorvasim::Mode::VirtualClock);
        zorvasim::SetClockEcho(true);
        host.UseClock([] { return static_cast<double>(zorvasim::VirtualTimeMs()) / 1000.0; });
    }

    void ChangeText(const char* name, std::uint64_t id, const std::string& text)
    {
        IParameterValueEnum value = EnumValue(text);
        ChangeSetting(name, value, id);
    }

    /// Lets `ms` of virtual time pass, a block's time at a go, each time until
    /// the worker has handed on every block the library measured.
    void Pass(int ms) { ASSERT_TRUE(hostkit::virtualtime::Pass(ms, 16)); }

    /// Arms plates and shared device for capture `index` (stream handles
    /// 10 * (index + 1) + plate) and starts the capture at once, as a host
    /// does; then waits (in real time) until the driver has run the jobs Arm
    /// queued and reported acquisition running.
    void Arm(int index, Capture& capture)
    {
        unsigned int stream = 10u * static_cast<unsigned int>(index + 1);
        for (const PlatePtr& plate : Plates())
            ASSERT_TRUE(plate->Arm(stream++, &setup));
        ASSERT_TRUE(shared->Arm(1, nullptr));
        capture.startTime = host.GetTime();
        shared->StartCapture(capture.startTime);
        ASSERT_TRUE(WaitUntil([this] { return SharedState() == ZORVA::DeviceState::Acquiring; }));
        // No pause since the start: the virtual clock shows when it was.
        capture.restartedMs = static_cast<double>(zorvasim::VirtualTimeMs());
    }

    void Disarm()
    {
        shared->Disarm();
        for (const PlatePtr& plate : Plates())
            plate->Disarm();
    }

    /// When the sample with this clock was measured, virtual ms.
    static double MeasuredAt(const std::vector<zorvasim::MeasuredBlock>& blocks, std::uint64_t clock)
    {
        for (const zorvasim::MeasuredBlock& b : blocks) {
            if (clock >= b.sampleClock && clock < b.sampleClock + 16)
                return b.endMs - static_cast<double>(b.sampleClock + 15 - clock) * 1000.0 / b.rate;
        }
        ADD_FAILURE() << "no block measured sample " << clock;
        return 0.0;
    }
};

TEST_P(CaptureClock, ThreeCaptures_BlocksFlowBetween_EverySampleNumberedWhenMeasured)
{
    const CaptureCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start(TwoPlatesAt500));
    ChangeText("SyncMode", SyncModeId, c.mode);
    const bool softwareTrigger = std::string(c.mode) == "Software trigger";
    const bool hardwareTrigger = std::string(c.mode) == "Hardware trigger";

    Capture captures[3];
    for (int k = 0; k < 3; ++k) {
        Capture& capture = captures[k];
        capture.rate = static_cast<unsigned int>(std::stoul(c.rates[k]));
        // A new rate stops acquisition; otherwise blocks flow right into Arm.
        if (k == 0 || capture.rate != captures[k - 1].rate) {
            ChangeText("SampleRate", SampleRateId, c.rates[k]);
        } else {
            IParameterValueDouble threshold = DoubleValue(25.0 + k);
            ChangeSetting("DataThreshold", threshold, DataThresholdId);
        }
        ASSERT_NO_FATAL_FAILURE(Arm(k, capture));
        if (hardwareTrigger) {
            // A pulse well inside the capture.
            capture.triggerClock = zorvasim::GetState().sampleClock + 250;
            zorvasim::TriggerProfile pulse;
            pulse.from = static_cast<std::int64_t>(capture.triggerClock);
            pulse.samples = 100;
            ASSERT_TRUE(zorvasim::SetTrigger(0, pulse));
        }
        ASSERT_NO_FATAL_FAILURE(Pass(2000));
        Disarm();
        // Blocks go on flowing after Disarm, as the hardware goes on measuring.
        ASSERT_NO_FATAL_FAILURE(Pass(400));
    }

    const std::vector<zorvasim::MeasuredBlock> measured = zorvasim::MeasuredBlocks();
    const std::vector<PlatePtr> plates = Plates();
    for (std::size_t p = 0; p < plates.size(); ++p) {
        std::map<unsigned int, std::vector<zorvahost::PushedBlock>> byStream;
        for (const zorvahost::PushedBlock& block : ServicesOf(plates[p])->PushedBlocks())
            byStream[block.stream].push_back(block);
        for (int k = 0; k < 3; ++k) {
            const Capture& capture = captures[k];
            const unsigned int stream = 10u * static_cast<unsigned int>(k + 1) + static_cast<unsigned int>(p);
            const std::vector<zorvahost::PushedBlock>& blocks = byStream[stream];
            SCOPED_TRACE("plate " + std::to_string(p) + ", capture " + std::to_string(k));
            ASSERT_GT(blocks.size(), 50u);
            const double rate = capture.rate;
            double worst = 0.0;
            for (const zorvahost::PushedBlock& block : blocks) {
                for (int s = 0; s < 16; ++s) {
                    const std::int64_t frame = block.frame + s;
                    const auto clock = static_cast<std::uint64_t>(block.values.at(static_cast<std::size_t>(s) * 9 + 1));
                    const double measuredMs = MeasuredAt(measured, clock);
                    // Nothing measured before this capture's restart.
                    ASSERT_GT(measuredMs, capture.restartedMs) << "sample " << clock;
                    if (softwareTrigger) {
                        const double since = rate * (measuredMs / 1000.0 - capture.startTime);
                        worst = std::max(worst, std::fabs(static_cast<double>(frame) - since));
                        // Never later than the host clock at delivery allows.
                        ASSERT_LE(static_cast<double>(block.frame + 15),
                                  rate * (block.hostTime - capture.startTime) + 16.0);
                    } else if (hardwareTrigger) {
                        ASSERT_EQ(frame,
                                  static_cast<std::int64_t>(clock) - static_cast<std::int64_t>(capture.triggerClock));
                    } else {
                        // Genlock: the counter is the reference, in every capture.
                        ASSERT_EQ(frame, static_cast<std::int64_t>(clock));
                    }
                }
            }
            // Within two blocks of when it was measured, since the capture's start.
            EXPECT_LE(worst, 32.0);
            if (softwareTrigger) {
                EXPECT_GE(blocks.front().frame, 0);
                EXPECT_LE(static_cast<double>(blocks.front().frame),
                          rate * (blocks.front().hostTime - capture.startTime) + 16.0);
            } else if (hardwareTrigger) {
                EXPECT_LE(blocks.front().frame, 0);
                EXPECT_GT(blocks.front().frame, -16);
            }
        }
    }

    // The library sees each stop, then the start's pause, then the start.
    const Lines trace = zorvasim::GetTrace();
    int starts = 0;
    for (std::size_t i = 0; i < trace.size(); ++i) {
        if (trace[i] != "fmBroadcastStart()")
            continue;
        ++starts;
        bool paused = false;
        std::size_t j = i;
        while (j > 0 && trace[--j] != "fmBroadcastStop()")
            paused = paused || trace[j] == "Sleep(250)";
        EXPECT_EQ(trace[j], "fmBroadcastStop()") << "start " << starts;
        EXPECT_TRUE(paused) << "start " << starts;
    }
    EXPECT_EQ(starts, 3);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CaptureClock,
    ::testing::Values(CaptureCase{"SoftwareTrigger", "Software trigger", {"500", "500", "500"}},
                      CaptureCase{"SoftwareTriggerRateChanges", "Software trigger", {"500", "1000", "500"}},
                      CaptureCase{"HardwareTrigger", "Hardware trigger", {"500", "500", "500"}},
                      CaptureCase{"HardwareTriggerRateChanges", "Hardware trigger", {"500", "1000", "500"}},
                      CaptureCase{"Genlock", "Genlock", {"500", "500", "500"}},
                      CaptureCase{"GenlockRateChanges", "Genlock", {"500", "1000", "500"}}),
    [](const ::testing::TestParamInfo<CaptureCase>& info) { return info.param.name; });

} // namespace
