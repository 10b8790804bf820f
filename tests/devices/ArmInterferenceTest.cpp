// A second host thread acts on the shared device 200 ms into Arm's pause
// between its stop and its start: a rate or mode change, Disarm, another
// Arm, a zero, Shutdown; and the trigger input held at its marker level while
// the plates are re-armed. Whatever comes during the pause takes effect after
// Arm's start, in the order the host made the calls: a stop it asks for runs
// after the start and tells the host to re-arm; the library sees the commands
// in that order, each after its pause; and once the host has re-armed where
// asked, every sample is numbered by when it was measured, at the rate the
// host set last, never on a stream the host has armed anew.
//
// The simulated library runs on the virtual clock (see CaptureClockTest.cpp):
// it measures while any thread pauses, and writes each sample's clock into
// Fy, so every value the host receives tells which sample it is.
#include "DevicesTestSupport.h"
#include "hostkit/VirtualTime.h"

#include "win32/posix/win32_control.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

using namespace devtest;
using namespace MoldraDigitalDevice;

namespace {

std::string TwoUnits(int productType)
{
    // Product type 400 marks the trigger with 0: its input idles at 1.
    const std::string trigger = productType == 400 ? "trigger_idle = 1\ntrigger_active = 0\n" : "";
    std::ostringstream text;
    text << "[scenario]\ninit_polls = 1\nrate = 1000\nbacklog = 256\n";
    for (int u = 1; u <= 2; ++u) {
        text << "[unit U" << u << "]\nproduct_type = " << productType << "\namplifier_serial = A" << u
             << "\nplatform_model = Pendra-600\nplatform_serial = P" << u << "\nforce = 0 0 -700\n"
             << trigger;
    }
    return text.str();
}

/// What the second host thread does during the pause.
enum class Act
{
    None,
    RateTo500,
    ToGenlock,
    ToSoftwareTrigger,
    Disarm,
    SecondArm,
    Zero,
    Shutdown
};

/// The trigger input of the first unit: a pulse once the last arming is
/// done, or held at the marker level from before the re-arming until well
/// after the restart.
enum class Trigger
{
    Pulse,
    Held
};

struct InterferenceCase
{
    const char* name;
    const char* mode;
    int productType;
    Act act;
    Trigger trigger;
    /// The library's commands from the arming on: R<rate>, S(top), T (start),
    /// G<on>, Z(ero), X (shut down).
    const char* commands;
    bool rearmAsked;
    /// The setting in force at the end.
    const char* finalMode;
    unsigned int finalRate;
};

void PrintTo(const InterferenceCase& c, std::ostream* os) { *os << c.name; }

/// The library's commands in a trace, each checked to come after a pause of 250 ms.
std::string Commands(const Lines& trace, std::size_t from, std::vector<std::string>& unpaused)
{
    std::string commands;
    bool paused = false;
    for (std::size_t i = from; i < trace.size(); ++i) {
        const std::string& line = trace[i];
        if (line == "Sleep(250)") {
            paused = true;
            continue;
        }
        std::string word;
        if (line == "fmBroadcastStop()")
            word = "S";
        else if (line == "fmBroadcastStart()")
            word = "T";
        else if (line == "fmBroadcastZero()")
            word = "Z";
        else if (line == "fmDLLShutDown()")
            word = "X";
        else if (line.compare(0, 27, "fmBroadcastAcquisitionRate(") == 0)
            word = "R" + line.substr(27, line.size() - 28);
        else if (line.compare(0, 19, "fmBroadcastGenlock(") == 0)
            word = "G" + line.substr(19, line.size() - 20);
        else
            continue;
        if (!paused)
            unpaused.push_back(word + " at trace line " + std::to_string(i));
        paused = false;
        commands += (commands.empty() ? "" : " ") + word;
    }
    return commands;
}

/// Runs `during` on a thread of its own 200 ms into the first 500 ms pause
/// the arming thread makes (Arm's), and gives it time to get as far as it
/// can before the pause goes on.
class PauseHook
{
public:
    void Install(std::function<void()> during)
    {
        during_ = std::move(during);
        armer_ = std::this_thread::get_id();
        next_ = ZorvaWin32_GetSleepHandler(&nextContext_);
        ZorvaWin32_SetSleepHandler(&PauseHook::OnSleep, this);
    }

    /// The interfering thread, once it has run.
    void Join()
    {
        if (thread_.joinable())
            thread_.join();
    }

    bool Fired() const { return fired_; }

private:
    static void OnSleep(DWORD ms, void* context)
    {
        PauseHook& hook = *static_cast<PauseHook*>(context);
        if (ms == 500 && std::this_thread::get_id() == hook.armer_ && !hook.fired_.exchange(true)) {
            hook.next_(200, hook.nextContext_);
            hook.thread_ = std::thread(hook.during_);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            hook.next_(300, hook.nextContext_);
            return;
        }
        hook.next_(ms, hook.nextContext_);
    }

    std::function<void()> during_;
    std::thread::id armer_;
    ZorvaSleepHandler next_ = nullptr;
    void* nextContext_ = nullptr;
    std::atomic<bool> fired_{false};
    std::thread thread_;
};

class ArmInterference : public SimBench, public ::testing::WithParamInterface<InterferenceCase>
{
protected:
    void SetUp() override
    {
        SimBench::SetUp();
        zorvasim::SetMode(zorvasim::Mode::VirtualClock);
        zorvasim::SetClockEcho(true);
        host.UseClock([] { return static_cast<double>(zorvasim::VirtualTimeMs()) / 1000.0; });
    }

    void TearDown() override
    {
        hook.Join();
        SimBench::TearDown();
    }

    void ChangeText(const char* name, std::uint64_t id, const std::string& text)
    {
        IParameterValueEnum value = EnumValue(text);
        ChangeSetting(name, value, id);
    }

    /// Lets `ms` of virtual time pass, a block's time at a go, each time until
    /// the worker has handed on every block the library measured.
    void Pass(int ms) { ASSERT_TRUE(hostkit::virtualtime::Pass(ms, 16)); }

    /// Until the worker has handed on every block measured so far. A host's
    /// StartCapture comes as the capture starts, while the plugin hands on
    /// blocks as they are measured; here another thread's pause (the zero's)
    /// may have let the clock run ahead of the worker in real time.
    static void Drain() { ASSERT_TRUE(hostkit::virtualtime::Drain()); }

    /// The host arms every plate with new stream handles (closing their old
    /// streams), then the shared device.
    bool ArmAll()
    {
        const unsigned int base = nextStream.fetch_add(10);
        const std::vector<PlatePtr> plates = Plates();
        for (std::size_t p = 0; p < plates.size(); ++p) {
            const unsigned int handle = base + static_cast<unsigned int>(p);
            if (!plates[p]->Arm(handle, &setup))
                return false;
            ServicesOf(plates[p])->CloseStreamsBelow(handle);
            latestStream[p] = handle;
        }
        const bool armed = shared->Arm(1, nullptr);
        armings += armed;
        return armed;
    }

    void Disarm()
    {
        shared->Disarm();
        for (const PlatePtr& plate : Plates())
            plate->Disarm();
    }

    /// Once the driver has run the start of every arming so far and reported
    /// it: the virtual time of the library's last start, ms.
    double AwaitRestart()
    {
        double ms = 0.0, startMs = 0.0;
        EXPECT_TRUE(WaitUntil([&] {
            int starts = 0;
            ms = startMs = 0.0;
            for (const std::string& line : zorvasim::GetTrace()) {
                if (line.compare(0, 6, "Sleep(") == 0) {
                    ms += std::stod(line.substr(6));
                } else if (line == "fmBroadcastStart()") {
                    startMs = ms;
                    ++starts;
                }
            }
            return starts >= armings && SharedState() != ZORVA::DeviceState::Armed;
        }));
        return startMs;
    }

    static double MeasuredAt(const std::vector<zorvasim::MeasuredBlock>& blocks, std::uint64_t clock, int* rate)
    {
        for (const zorvasim::MeasuredBlock& b : blocks) {
            if (clock >= b.sampleClock && clock < b.sampleClock + 16) {
                *rate = b.rate;
                return b.endMs - static_cast<double>(b.sampleClock + 15 - clock) * 1000.0 / b.rate;
            }
        }
        ADD_FAILURE() << "no block measured sample " << clock;
        return 0.0;
    }

    PauseHook hook;
    double secondStart = 0.0;
    std::atomic<unsigned int> nextStream{10};
    std::atomic<int> armings{0};
    std::map<std::size_t, unsigned int> latestStream;
};

TEST_P(ArmInterference, Arm_HostActsDuringPause_ActsAfterStartAndCaptureNumberedWhenMeasured)
{
    const InterferenceCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Start(TwoUnits(c.productType)));
    ChangeText("SyncMode", SyncModeId, c.mode);
    ChangeText("SampleRate", SampleRateId, "1000");

    // A first capture; blocks go on flowing after it, as the hardware goes on measuring.
    ASSERT_TRUE(ArmAll());
    shared->StartCapture(host.GetTime());
    AwaitRestart();
    ASSERT_NO_FATAL_FAILURE(Pass(500));
    Disarm();
    ASSERT_NO_FATAL_FAILURE(Pass(100));

    if (c.trigger == Trigger::Held) {
        zorvasim::TriggerProfile held;
        held.idle = c.productType == 400 ? 1.0f : 0.0f;
        held.active = c.productType == 400 ? 0.0f : 1.0f;
        held.from = static_cast<std::int64_t>(zorvasim::GetState().sampleClock) + 20;
        held.samples = 3000;
        ASSERT_TRUE(zorvasim::SetTrigger(0, held));
        ASSERT_NO_FATAL_FAILURE(Pass(100));
    }

    double shutdownSeconds = 0.0;
    hook.Install([&] {
        switch (c.act) {
        case Act::None: break;
        case Act::RateTo500: ChangeText("SampleRate", SampleRateId, "500"); break;
        case Act::ToGenlock: ChangeText("SyncMode", SyncModeId, "Genlock"); break;
        case Act::ToSoftwareTrigger: ChangeText("SyncMode", SyncModeId, "Software trigger"); break;
        case Act::Disarm: Disarm(); break;
        case Act::SecondArm:
            EXPECT_TRUE(ArmAll());
            secondStart = host.GetTime();
            shared->StartCapture(secondStart);
            break;
        case Act::Zero: {
            IParameterValueAction zero = ActionValue();
            ChangeSetting("BroadcastZero", zero, BroadcastZeroId);
            break;
        }
        case Act::Shutdown: {
            // What the plugin's Shutdown does with its two objects.
            const auto started = std::chrono::steady_clock::now();
            shared->Close();
            service.reset();
            shutdownSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            break;
        }
        }
    });
    if (c.trigger == Trigger::Held) {
        // A host that takes 50 ms to answer Arm's read of the rate: the blocks
        // measured meanwhile, the marker in them, are from before the restart.
        host.CallBackFrom("GetParameterValue", [] { hostkit::virtualtime::Pass(50, 50); });
    }
    zorvasim::Note("second arming");
    ASSERT_TRUE(ArmAll());
    host.CallBackFrom("GetParameterValue", nullptr);
    ASSERT_TRUE(hook.Fired());
    hook.Join();
    if (c.act == Act::Zero) {
        // The zero tared the load away: a new one, for samples that tell their clock.
        zorvasim::LoadProfile heavier;
        heavier.kind = zorvasim::LoadKind::Static;
        heavier.load = {0.0f, 0.0f, -1400.0f, 0.0f, 0.0f, 0.0f};
        for (int unit = 0; unit < 2; ++unit)
            ASSERT_TRUE(zorvasim::SetLoad(unit, heavier));
    }
    if (c.act == Act::Shutdown) {
        // Arm's own start ran before the service went: stop, start, then the shut-down's stop.
        std::vector<std::string> unpaused;
        const Lines trace = zorvasim::GetTrace();
        const std::size_t from = std::find(trace.begin(), trace.end(), "second arming") - trace.begin();
        EXPECT_EQ(Commands(trace, from, unpaused), c.commands);
        EXPECT_TRUE(unpaused.empty()) << unpaused.front();
        // Virtual pauses: what is left is the wait for Arm's pause (real time).
        EXPECT_LT(shutdownSeconds, 1.0);
        EXPECT_EQ(StateOf(*shared), ZORVA::DeviceState::Stopped) << "after Shutdown a device does nothing";
        return;
    }
    ASSERT_NO_FATAL_FAILURE(Drain());
    double startTime = host.GetTime();
    if (c.act != Act::SecondArm)
        shared->StartCapture(startTime);
    else
        startTime = secondStart; // the second arming started the capture
    // The restart of the latest Arm: the state says acquiring only then.
    double restartedMs = AwaitRestart();

    // The host re-arms whenever the plugin asks for it, as a host does.
    int rearms = 0;
    std::uint64_t triggerClock = 0;
    for (int t = 0; t < 2400; t += 16) {
        ASSERT_NO_FATAL_FAILURE(Pass(16));
        if (SharedRearmRequired()) {
            ++rearms;
            ASSERT_TRUE(ArmAll());
            startTime = host.GetTime();
            shared->StartCapture(startTime);
            restartedMs = AwaitRestart();
        }
        if (t == 400 && c.trigger == Trigger::Pulse && std::string(c.finalMode) == "Hardware trigger") {
            triggerClock = zorvasim::GetState().sampleClock + 100;
            zorvasim::TriggerProfile pulse;
            pulse.from = static_cast<std::int64_t>(triggerClock);
            pulse.samples = 100;
            ASSERT_TRUE(zorvasim::SetTrigger(0, pulse));
        }
    }
    EXPECT_EQ(rearms > 0, c.rearmAsked);
    EXPECT_LE(rearms, 1) << "a re-arm asks for no other";

    const Lines trace = zorvasim::GetTrace();
    const std::size_t from = std::find(trace.begin(), trace.end(), "second arming") - trace.begin();
    ASSERT_LT(from, trace.size());
    std::vector<std::string> unpaused;
    EXPECT_EQ(Commands(trace, from, unpaused), c.commands);
    EXPECT_TRUE(unpaused.empty()) << unpaused.front();

    // The streams of the last arming: numbered by when each sample was measured.
    const std::vector<zorvasim::MeasuredBlock> measured = zorvasim::MeasuredBlocks();
    const std::vector<PlatePtr> plates = Plates();
    const std::string finalMode = c.finalMode;
    for (std::size_t p = 0; p < plates.size(); ++p) {
        SCOPED_TRACE("plate " + std::to_string(p));
        zorvahost::DeviceServices* services = ServicesOf(plates[p]);
        EXPECT_EQ(services->OldStreamPushes(), 0) << "a push on a stream armed anew";
        std::vector<zorvahost::PushedBlock> blocks;
        for (const zorvahost::PushedBlock& block : services->PushedBlocks()) {
            if (block.stream == latestStream[p])
                blocks.push_back(block);
        }
        // After Disarm the host's new streams take nothing (unless genlock).
        if (c.act != Act::Disarm || finalMode == "Genlock") {
            ASSERT_GT(blocks.size(), 30u);
        }
        std::int64_t firstClock = -1;
        double worst = 0.0;
        for (const zorvahost::PushedBlock& block : blocks) {
            for (int s = 0; s < 16; ++s) {
                // A sample at or below the threshold reads zeros: no clock to tell.
                if (block.values.at(static_cast<std::size_t>(s) * 9 + 2) == 0.0f)
                    continue;
                const std::int64_t frame = block.frame + s;
                const auto clock = static_cast<std::uint64_t>(block.values.at(static_cast<std::size_t>(s) * 9 + 1));
                if (firstClock < 0)
                    firstClock = static_cast<std::int64_t>(clock);
                int rate = 0;
                const double measuredMs = MeasuredAt(measured, clock, &rate);
                ASSERT_GT(measuredMs, restartedMs) << "sample " << clock << " was measured before the restart";
                ASSERT_EQ(static_cast<unsigned int>(rate), c.finalRate) << "sample " << clock;
                if (finalMode == "Software trigger") {
                    worst = std::max(
                        worst, std::fabs(static_cast<double>(frame) - c.finalRate * (measuredMs / 1000.0 - startTime)));
                } else if (finalMode == "Genlock") {
                    ASSERT_EQ(frame, static_cast<std::int64_t>(clock));
                } else if (c.trigger == Trigger::Held) {
                    // The level is there from the restart on: its first sample is 0.
                    ASSERT_EQ(frame, static_cast<std::int64_t>(clock) - firstClock);
                } else {
                    ASSERT_EQ(frame, static_cast<std::int64_t>(clock) - static_cast<std::int64_t>(triggerClock));
                }
            }
        }
        EXPECT_LE(worst, 32.0) << "within two blocks of when it was measured";
        if (c.trigger == Trigger::Held) {
            EXPECT_EQ(blocks.front().frame, 0);
        }
    }
    // The plates declared the rate the capture runs at.
    std::string lastTicks;
    for (const std::string& call : host.Calls()) {
        if (call.compare(0, 17, "SetTicksPerSample") == 0)
            lastTicks = call;
    }
    EXPECT_EQ(lastTicks, "SetTicksPerSample(" + std::to_string(host.GetTickRate() / c.finalRate) + ")");
}

// The rows that failed before Arm kept its lock through the pause and waited
// for the start of its own restart: the rate and mode changes (their stop and
// command ran before the start, no re-arm was asked, the capture ran in the
// new setting on streams declared in the old), the zero (dropped: acquisition
// was stopped), the second Arm (one start for both), Disarm (lifted the
// guard: blocks measured before the restart were aligned), Shutdown (the
// start was queued on a destroyed service) and the held trigger (a block
// measured before the restart fixed the offset).
INSTANTIATE_TEST_SUITE_P(
    Cases, ArmInterference,
    ::testing::Values(InterferenceCase{"SoftwareRate", "Software trigger", 100, Act::RateTo500, Trigger::Pulse,
                                       "R1000 S T S R500 R500 S T", true, "Software trigger", 500},
                      InterferenceCase{"HardwareRate", "Hardware trigger", 100, Act::RateTo500, Trigger::Pulse,
                                       "R1000 S T S R500 R500 S T", true, "Hardware trigger", 500},
                      InterferenceCase{"GenlockRate", "Genlock", 100, Act::RateTo500, Trigger::Pulse,
                                       "R1000 S T S R500 R500 S T", true, "Genlock", 500},
                      InterferenceCase{"SoftwareToGenlock", "Software trigger", 100, Act::ToGenlock, Trigger::Pulse,
                                       "R1000 S T S G1 R1000 S T", true, "Genlock", 1000},
                      InterferenceCase{"HardwareToGenlock", "Hardware trigger", 100, Act::ToGenlock, Trigger::Pulse,
                                       "R1000 S T S G1 R1000 S T", true, "Genlock", 1000},
                      InterferenceCase{"GenlockToSoftware", "Genlock", 100, Act::ToSoftwareTrigger, Trigger::Pulse,
                                       "R1000 S T S G0 R1000 S T", true, "Software trigger", 1000},
                      InterferenceCase{"SoftwareDisarm", "Software trigger", 100, Act::Disarm, Trigger::Pulse,
                                       "R1000 S T", false, "Software trigger", 1000},
                      InterferenceCase{"HardwareDisarm", "Hardware trigger", 100, Act::Disarm, Trigger::Pulse,
                                       "R1000 S T", false, "Hardware trigger", 1000},
                      InterferenceCase{"GenlockDisarm", "Genlock", 100, Act::Disarm, Trigger::Pulse, "R1000 S T", false,
                                       "Genlock", 1000},
                      InterferenceCase{"SoftwareSecondArm", "Software trigger", 100, Act::SecondArm, Trigger::Pulse,
                                       "R1000 S T R1000 S T", false, "Software trigger", 1000},
                      InterferenceCase{"HardwareSecondArm", "Hardware trigger", 100, Act::SecondArm, Trigger::Pulse,
                                       "R1000 S T R1000 S T", false, "Hardware trigger", 1000},
                      InterferenceCase{"GenlockSecondArm", "Genlock", 100, Act::SecondArm, Trigger::Pulse,
                                       "R1000 S T R1000 S T", false, "Genlock", 1000},
                      InterferenceCase{"SoftwareZero", "Software trigger", 100, Act::Zero, Trigger::Pulse,
                                       "R1000 S T Z", false, "Software trigger", 1000},
                      InterferenceCase{"HardwareZero", "Hardware trigger", 100, Act::Zero, Trigger::Pulse,
                                       "R1000 S T Z", false, "Hardware trigger", 1000},
                      InterferenceCase{"GenlockZero", "Genlock", 100, Act::Zero, Trigger::Pulse, "R1000 S T Z", false,
                                       "Genlock", 1000},
                      InterferenceCase{"SoftwareShutdown", "Software trigger", 100, Act::Shutdown, Trigger::Pulse,
                                       "R1000 S T S X", false, "Software trigger", 1000},
                      InterferenceCase{"HardwareShutdown", "Hardware trigger", 100, Act::Shutdown, Trigger::Pulse,
                                       "R1000 S T S X", false, "Hardware trigger", 1000},
                      InterferenceCase{"GenlockShutdown", "Genlock", 100, Act::Shutdown, Trigger::Pulse,
                                       "R1000 S T S X", false, "Genlock", 1000},
                      InterferenceCase{"HardwareHeldMarker1", "Hardware trigger", 100, Act::None, Trigger::Held,
                                       "R1000 S T", false, "Hardware trigger", 1000},
                      InterferenceCase{"HardwareHeldMarker0Type400", "Hardware trigger", 400, Act::None, Trigger::Held,
                                       "R1000 S T", false, "Hardware trigger", 1000}),
    [](const ::testing::TestParamInfo<InterferenceCase>& info) { return info.param.name; });

// Regression: a host that takes 30 ms per push re-armed the plates for a
// second capture; a push the worker had prepared before a plate's Arm reached
// the host after that Arm returned, on the first capture's stream.
TEST_F(ArmInterference, Arm_SlowHostPushing_NoPushOnTheOldStreamAfterArmReturns)
{
    ASSERT_NO_FATAL_FAILURE(Start(TwoUnits(100)));
    host.SetPushSamplesDelay(std::chrono::milliseconds(30));
    for (int capture = 0; capture < 3; ++capture) {
        ASSERT_TRUE(ArmAll());
        shared->StartCapture(host.GetTime());
        AwaitRestart();
        for (int i = 0; i < 6; ++i) {
            Sleep(16);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        Disarm();
    }
    for (const PlatePtr& plate : Plates())
        EXPECT_EQ(ServicesOf(plate)->OldStreamPushes(), 0);
}

// Regression: the host arms the plates before the shared device, whose Arm
// reconciles the rate. A detection found the unit that held the rate at 1200
// unplugged; at the next arming the plates declared 1200 (the rate they last
// had), the shared device's Arm chose the 2000 set and started the units at
// it, and nothing asked the host to re-arm: a capture at 2000 per second on
// streams of 1200, numbered 1.7 times too slowly.
TEST_F(ArmInterference, Arm_DetectionLiftedTheRateLimit_RearmAskedThenCaptureAtTheSetRate)
{
    const std::string bench = "[scenario]\ninit_polls = 1\nrate = 1000\nbacklog = 256\n"
                              "[unit U1]\nproduct_type = 100\namplifier_serial = A1\nplatform_model = Pendra-600\n"
                              "platform_serial = P1\nforce = 0 0 -700\n"
                              "[unit U2]\nproduct_type = 300\namplifier_serial = A2\nplatform_model = Pendra-600\n"
                              "platform_serial = P2\nforce = 0 0 -700\n";
    ASSERT_NO_FATAL_FAILURE(Start(bench));
    ChangeText("SampleRate", SampleRateId, "2000");
    ASSERT_TRUE(ArmAll());
    AwaitRestart();
    EXPECT_FALSE(SharedRearmRequired());
    ASSERT_NO_FATAL_FAILURE(Pass(200));
    Disarm();

    ASSERT_TRUE(zorvasim::SetPlugged(1, false));
    ASSERT_NO_FATAL_FAILURE(Rescan());
    ASSERT_EQ(Plates().size(), 1u);
    const PlatePtr plate = Plates().front();
    zorvahost::DeviceServices* const services = ServicesOf(plate);
    const std::string declared1200 = "SetTicksPerSample(" + std::to_string(host.GetTickRate() / 1200) + ")";
    const std::string declared2000 = "SetTicksPerSample(" + std::to_string(host.GetTickRate() / 2000) + ")";

    const std::size_t callsBefore = host.Calls().size();
    ASSERT_TRUE(ArmAll());
    const unsigned int stale = latestStream[0];
    shared->StartCapture(host.GetTime());
    AwaitRestart();
    ASSERT_NO_FATAL_FAILURE(Pass(200));
    const Lines armCalls = CallsSince(host, callsBefore);
    EXPECT_NE(std::find(armCalls.begin(), armCalls.end(), declared1200), armCalls.end()) << "the plate armed first";
    EXPECT_TRUE(SharedRearmRequired()) << "units at 2000 per second, the stream declared at 1200";
    const std::vector<zorvahost::PushedBlock> pushed = services->PushedBlocks();
    EXPECT_EQ(std::count_if(pushed.begin(), pushed.end(),
                            [stale](const zorvahost::PushedBlock& block) { return block.stream == stale; }),
              0)
        << "samples of the 2000 capture on the stream of 1200";
    const Lines warnings = LogTexts(host, LogLevel::Warning);
    EXPECT_NE(std::find(warnings.begin(), warnings.end(),
                        plate->Name() + " was armed at 1200 per second and the units run 2000; its samples wait "
                                        "for the host to re-arm"),
              warnings.end());

    // The host re-arms as asked: the stream declares 2000, and its samples
    // are numbered by when they were measured.
    const std::size_t rearmCalls = host.Calls().size();
    ASSERT_TRUE(ArmAll());
    const double startTime = host.GetTime();
    shared->StartCapture(startTime);
    const double restartedMs = AwaitRestart();
    ASSERT_NO_FATAL_FAILURE(Pass(500));
    EXPECT_FALSE(SharedRearmRequired());
    const Lines rearm = CallsSince(host, rearmCalls);
    EXPECT_NE(std::find(rearm.begin(), rearm.end(), declared2000), rearm.end());

    const std::vector<zorvasim::MeasuredBlock> measured = zorvasim::MeasuredBlocks();
    std::size_t taken = 0;
    double worst = 0.0;
    for (const zorvahost::PushedBlock& block : services->PushedBlocks()) {
        if (block.stream != latestStream[0])
            continue;
        ++taken;
        for (int s = 0; s < 16; ++s) {
            const auto clock = static_cast<std::uint64_t>(block.values.at(static_cast<std::size_t>(s) * 9 + 1));
            int rate = 0;
            const double measuredMs = MeasuredAt(measured, clock, &rate);
            ASSERT_GT(measuredMs, restartedMs);
            ASSERT_EQ(rate, 2000);
            worst = std::max(
                worst, std::fabs(static_cast<double>(block.frame + s) - 2000.0 * (measuredMs / 1000.0 - startTime)));
        }
    }
    EXPECT_GT(taken, 30u);
    EXPECT_LE(worst, 32.0) << "within two blocks of when it was measured";
}

} // namespace
