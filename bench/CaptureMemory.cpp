// A long capture in virtual time, to show that the development host's capture
// keeps its memory flat whatever its length: 16 plates at 2000 datasets per
// second for an hour (by default), the simulated library measuring as the
// virtual clock passes, the plugin's core with its driver worker, the host
// kit, and the capture's recording (running figures per plate, every row
// formatted into the CSV writer on the null device). It prints the resident
// memory at each checkpoint and fails (exit code 1) if it grew by more than
// kAllowedGrowth after the baseline, if a sample was lost, or if the figures
// are not the bench's. The baseline is taken once the simulated library's own
// bounded records are full (it keeps the newest 65536 measured blocks, 8.7
// minutes here), or at the first checkpoint of a shorter run.
//
//   capture_memory [--minutes N]   (default 60)
#include "devhost/engine/capture/CaptureData.h"
#include "platform/Program.h"
#include "platform/Files.h"
#include "devhost/engine/Text.h"
#include "hostkit/Host.h"
#include "hostkit/VirtualTime.h"
#include "plugin/Plugin.h"
#include "simusb/SimControl.h"
#include "win32/ZorvaWin32.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace MoldraDigitalDevice;
using zorvahost::Fixed;

const int kUnits = 16;
const unsigned int kRate = 2000;
/// The resident memory may grow this much after the baseline (the
/// allocator's noise); keeping the samples would take 16 * 2000 * 9 floats
/// (1.1 MB) per second.
const std::size_t kAllowedGrowth = 4u << 20;
/// Virtual time let pass at a go: 32 blocks, within the library's backlog.
const int kStepMs = 256;
/// The library's record of measured blocks is full by then.
const long long kBaselineMs = 10 * 60000;

std::string SixteenUnits()
{
    std::string text = "[scenario]\nname = sixteen units\nrate = 2000\ninit_polls = 1\n";
    for (int k = 0; k < kUnits; ++k) {
        text += "[unit U" + std::to_string(k) + "]\nproduct_type = 100\namplifier_serial = A" + std::to_string(k) +
                "\nplatform_model = Pendra-600\nplatform_serial = P" + std::to_string(k) +
                "\norigin = 0.12 -0.08 -1.61\nforce = 2.5 -4 -700\nmoment = 14 35 0.8\n";
    }
    return text;
}

/// Polls `done` without sleeping a scheduler tick each time; false after 60 s.
template <typename Done>
bool WaitFor(Done done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

bool Fail(const std::string& why)
{
    std::fprintf(stderr, "capture_memory: %s\n", why.c_str());
    return false;
}

bool Run(int minutes)
{
    std::string error;
    zorvasim::Reset();
    zorvasim::SetMode(zorvasim::Mode::VirtualClock);
    // The library's call trace is for tests that read it; this one does not.
    zorvasim::SetTraceCapacity(1);
    if (!zorvasim::LoadScenarioText(SixteenUnits(), &error) || !zorvasim::SetVirtualTime(true))
        return Fail("the simulated bench: " + error);

    hostkit::Host host;
    host.SetClock(hostkit::virtualtime::Seconds);
    std::FILE* null = std::fopen(zorvaplatform::NullDevice(), "w");
    if (!null)
        return Fail(std::string("cannot open ") + zorvaplatform::NullDevice());
    bool ok = true;
    {
        zorvahost::CapturedSamples recording(null);
        host.SetSampleSink(
            [&recording](hostkit::Instance& plate, const hostkit::SampleBlock& block) { recording.Add(plate, block); });
        ZORVA::Initialise(&host);
        ZORVA::ProvideDeviceDefinitions(&host);
        ZORVA::BeginDeviceInstantiation(&host);
        host.AttachNewDevices();
        if (!WaitFor([&] { return host.Instances().size() == kUnits + 1; }))
            ok = Fail("the detection did not instantiate 16 plates");
        host.AttachNewDevices();
        const std::vector<hostkit::OfferedDevice> devices = host.Instances();
        IParameterValueEnum rate;
        rate.SetValue(std::to_string(kRate));
        if (ok && !host.ChangeSetting(devices[0], "SampleRate", rate))
            ok = Fail("no SampleRate setting");
        const hostkit::ArmResult arming = ok ? host.ArmAll() : hostkit::ArmResult();
        if (ok && !arming.armed)
            ok = Fail("the shared device did not arm");
        if (ok && (host.ArmedRate() != kRate || !arming.refused.empty()))
            ok = Fail("armed at " + std::to_string(host.ArmedRate()) + " per second; " +
                      std::to_string(arming.refused.size()) + " plates refused");
        recording.SetRate(host.ArmedRate());
        host.StartCapture(host.Now());
        if (ok && !WaitFor([] { return zorvasim::GetState().acquiring; }))
            ok = Fail("acquisition did not start");

        std::printf("%-10s %-14s %-14s %s\n", "minutes", "samples", "resident MB", "grown since the baseline (MB)");
        std::size_t baseline = 0;
        const long long totalMs = static_cast<long long>(minutes) * 60000;
        long long nextCheck = std::min<long long>(60000, totalMs);
        const auto started = std::chrono::steady_clock::now();
        for (long long passed = 0; ok && passed < totalMs; passed += kStepMs) {
            if (!hostkit::virtualtime::Pass(kStepMs, kStepMs, nullptr, std::chrono::seconds(60)))
                ok = Fail("the worker did not keep up");
            if (passed + kStepMs >= nextCheck) {
                const std::size_t resident = zorvaplatform::ResidentBytes();
                const zorvahost::PlateSummary summary = recording.SummaryOf(devices[1].deviceName);
                if (baseline == 0 && (nextCheck >= kBaselineMs || totalMs < kBaselineMs))
                    baseline = resident;
                const std::string grown =
                    baseline == 0
                        ? "-"
                        : Fixed((static_cast<double>(resident) - static_cast<double>(baseline)) / 1048576.0, 2);
                std::printf("%-10.0f %-14zu %-14.1f %s\n", static_cast<double>(nextCheck) / 60000.0,
                            summary.samples * kUnits, static_cast<double>(resident) / 1048576.0, grown.c_str());
                std::fflush(stdout);
                if (baseline != 0 && resident > baseline + kAllowedGrowth)
                    ok = Fail("the resident memory grew with the capture's length");
                // Every ten minutes after the first, and at the end.
                nextCheck = std::min<long long>(nextCheck < kBaselineMs ? kBaselineMs : nextCheck + kBaselineMs,
                                                std::max<long long>(totalMs, nextCheck + 1));
            }
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        host.DisarmAll();
        ZORVA::Shutdown();
        host.SetSampleSink(nullptr);

        // Every plate: one run of sample numbers, as many as the time passed,
        // and the bench's load (Fz 700 N, turned to the plate's axes).
        const zorvasim::Counters counters = zorvasim::GetCounters();
        for (int k = 1; ok && k <= kUnits; ++k) {
            const zorvahost::PlateSummary s = recording.SummaryOf(devices[static_cast<std::size_t>(k)].deviceName);
            const double expected = static_cast<double>(totalMs) * kRate / 1000.0;
            if (s.runs.size() != 1 || std::fabs(static_cast<double>(s.samples) - expected) > 0.001 * expected ||
                std::fabs(s.meanFz - 700.0) > 0.01)
                ok =
                    Fail(devices[static_cast<std::size_t>(k)].deviceName + ": " + std::to_string(s.samples) +
                         " samples in " + std::to_string(s.runs.size()) + " runs, mean Fz " + std::to_string(s.meanFz));
        }
        if (ok && counters.blocksDropped != 0)
            ok = Fail(std::to_string(counters.blocksDropped) + " blocks dropped by the library");
        if (!recording.Finish())
            ok = Fail("writing the rows failed");
        std::printf("%d virtual minutes of %d plates at %u per second in %.0f s\n", minutes, kUnits, kRate, seconds);
    }
    std::fclose(null);
    ZORVA::hostServices = nullptr;
    zorvasim::SetVirtualTime(false);
    zorvasim::Reset();
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    int minutes = 60;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!(argument == "--minutes" && i + 1 < argc && zorvahost::ParseInteger(argv[++i], minutes))) {
            std::fprintf(stderr, "usage: capture_memory [--minutes N]\n");
            return 2;
        }
    }
    if (minutes < 1) {
        std::fprintf(stderr, "capture_memory: --minutes takes a whole number from 1\n");
        return 2;
    }
    return Run(minutes) ? 0 : 1;
}
