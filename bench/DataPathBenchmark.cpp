// Times the data path: one library block through the shared device's
// OnDataReady to one PushSamples per plate, with 2 to 4 plates on a host whose
// PushSamples only counts. The program fails (exit code 1) if the path
// allocated anything or if the host saw values that were not computed from
// the block as the caller left it.
//
// Beside it, in the same run:
// - a floor: a plain loop doing the same arithmetic on the same records into
//   the same 144 floats, without devices, locks or host calls; the ratio of
//   the two is printed at the end;
// - the latency from the library's data-ready message to the end of the last
//   PushSamples with 16 units, through the real driver service's worker on the
//   simulated library, next to the bare thread-message round trip of the
//   platform layer (median and 99th percentile of each).
//
// Why the path cannot copy the block: OnDataReady takes the library's float*
// and hands that same pointer to each plate's TransferBlock, which reads its
// records at fixed offsets from it. No container on the path holds block data;
// the only buffer is each plate's 144-float output array on the stack. The run
// checks it: before every call the block is changed in place (counter and Fz
// of each unit), and the host must see results of exactly those values.
//
// Allocations are counted by replacing the global operator new and delete;
// malloc, calloc and realloc called from this program's objects (the plugin
// core is linked in as objects) are counted through linker wrappers.
#include "BenchPlates.h"
#include "hostkit/Host.h"
#include "devices/VSharedConfigDevice.h"
#include "devices/VZORVATrelDevice.h"
#include "driver/BlockLayout.h"
#include "plugin/Plugin.h"
#include "win32/posix/win32_control.h"

#include <benchmark/benchmark.h>

#include "simusb/SimControl.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

std::atomic<std::uint64_t> allocationCount{0};

} // namespace

#if defined(ZORVA_BENCH_WRAP_MALLOC)
extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* pointer, std::size_t size);

void* __wrap_malloc(std::size_t size)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __real_malloc(size);
}

void* __wrap_calloc(std::size_t count, std::size_t size)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __real_calloc(count, size);
}

void* __wrap_realloc(void* pointer, std::size_t size)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return __real_realloc(pointer, size);
}
}
#    define ZORVA_RAW_MALLOC __real_malloc
#else
#    define ZORVA_RAW_MALLOC std::malloc
#endif

namespace {

void* CountedAllocation(std::size_t size)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return ZORVA_RAW_MALLOC(size ? size : 1);
}

void* CountedAlignedAllocation(std::size_t size, std::align_val_t alignment)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    void* pointer = nullptr;
    const std::size_t align = static_cast<std::size_t>(alignment);
    if (posix_memalign(&pointer, align < sizeof(void*) ? sizeof(void*) : align, size ? size : 1) != 0)
        return nullptr;
    return pointer;
}

} // namespace

void* operator new(std::size_t size)
{
    if (void* pointer = CountedAllocation(size))
        return pointer;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    if (void* pointer = CountedAllocation(size))
        return pointer;
    throw std::bad_alloc();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return CountedAllocation(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return CountedAllocation(size); }

void* operator new(std::size_t size, std::align_val_t alignment)
{
    if (void* pointer = CountedAlignedAllocation(size, alignment))
        return pointer;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size, std::align_val_t alignment)
{
    if (void* pointer = CountedAlignedAllocation(size, alignment))
        return pointer;
    throw std::bad_alloc();
}

// Every allocation above comes from malloc or aligned_alloc, so free is the
// matching release; GCC cannot see that through the replaced operators.
#if defined(__GNUC__) && !defined(__clang__)
#    pragma GCC diagnostic push
#    pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* pointer) noexcept { std::free(pointer); }
void operator delete[](void* pointer) noexcept { std::free(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { std::free(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { std::free(pointer); }
void operator delete(void* pointer, std::align_val_t) noexcept { std::free(pointer); }
void operator delete[](void* pointer, std::align_val_t) noexcept { std::free(pointer); }
void operator delete(void* pointer, std::size_t, std::align_val_t) noexcept { std::free(pointer); }
void operator delete[](void* pointer, std::size_t, std::align_val_t) noexcept { std::free(pointer); }
#if defined(__GNUC__) && !defined(__clang__)
#    pragma GCC diagnostic pop
#endif

namespace {

using namespace MoldraDigitalDevice;
using ZORVA::BlockLayout::CounterModulus;
using ZORVA::BlockLayout::RecordOffset;
using ZORVA::BlockLayout::SamplesPerBlock;

std::atomic<bool> failed{false};

/// A plate's host services that keep nothing: PushSamples counts the call and
/// checks sample 0's Fz against what the caller just wrote into the block.
class CountingServices : public zorvabench::SilentServices
{
public:
    HostResult* PushSamples(unsigned int, std::int64_t frame, int, const int*, int, const float* values,
                            int valueCount) override
    {
        ++pushes;
        // Fz shows with its sign turned: -(block's Fz).
        if (valueCount != SamplesPerBlock * ZORVA::BlockLayout::ValuesPerSample || values[2] != expectedFz ||
            frame != expectedFrame)
            ++mismatches;
        return nullptr;
    }

    float expectedFz = 0.0f;
    std::int64_t expectedFrame = 0;
    std::uint64_t mismatches = 0;
};

void NoPause(DWORD, void*) {}

/// The records of a block with `plateCount` units: someone standing on every
/// plate, slightly off centre; sample s of unit k starts at (s * n + k) * 8.
std::vector<float> LoadedBlock(unsigned int plateCount)
{
    std::vector<float> block(ZORVA::BlockLayout::BlockFloats(plateCount), 0.0f);
    for (int s = 0; s < SamplesPerBlock; ++s) {
        for (unsigned int k = 0; k < plateCount; ++k) {
            float* record = &block[RecordOffset(s, k, plateCount)];
            record[0] = static_cast<float>(s);
            record[1] = 2.5f;
            record[2] = -4.0f;
            record[3] = -700.0f;
            record[4] = 14.0f;
            record[5] = 35.0f;
            record[6] = 0.8f;
        }
    }
    return block;
}

void BM_OnDataReady(benchmark::State& state)
{
    const unsigned int plateCount = static_cast<unsigned int>(state.range(0));
    ZorvaWin32_SetSleepHandler(&NoPause, nullptr);
    hostkit::Host host;
    // A clock that stands still: the first block is host sample 0.
    host.SetClock([] { return 0.0; });
    hostkit::CaptureSetup setup(host);
    hostkit::Instance sharedServices(host, "ZORVA Shared Config Device");
    std::vector<CountingServices> services(plateCount);

    ZORVA::VSharedConfigDevice shared(&host, nullptr);
    shared.Attach(&sharedServices);
    ZORVA::VZORVADriverService::VDllInitInfo info;
    shared.OnDetectionComplete(info, zorvabench::PendraUnits(plateCount));
    const std::vector<boost::shared_ptr<ZORVA::VZORVATrelDevice>> plates = shared.Plates();
    for (unsigned int k = 0; k < plateCount; ++k) {
        plates[k]->Attach(&services[k]);
        plates[k]->Arm(k, &setup);
    }
    shared.Arm(0, &setup);
    shared.OnAcquisitionStateChanged(true); // the driver's report of the start Arm queued
    shared.StartCapture(host.GetTime());    // the first block is host sample 0

    std::vector<float> block = LoadedBlock(plateCount);
    std::int64_t counter = 0;
    auto nextBlock = [&](std::int64_t frame) {
        for (unsigned int k = 0; k < plateCount; ++k) {
            float* record = &block[RecordOffset(0, k, plateCount)];
            record[0] = static_cast<float>(counter);
            const float fz = -(600.0f + static_cast<float>((counter / SamplesPerBlock + k) % 200));
            record[3] = fz;
            services[k].expectedFz = -fz;
            services[k].expectedFrame = frame;
        }
    };
    nextBlock(0);
    shared.OnDataReady(block.data()); // aligns

    std::int64_t frame = 0;
    const std::uint64_t before = allocationCount.load();
    for (auto _ : state) {
        frame += SamplesPerBlock;
        counter = (counter + SamplesPerBlock) % CounterModulus;
        nextBlock(frame);
        shared.OnDataReady(block.data());
    }
    const std::uint64_t allocations = allocationCount.load() - before;

    std::uint64_t pushes = 0;
    std::uint64_t mismatches = 0;
    for (const CountingServices& plateServices : services) {
        pushes += plateServices.pushes;
        mismatches += plateServices.mismatches;
    }
    const std::uint64_t expectedPushes = (static_cast<std::uint64_t>(state.iterations()) + 1) * plateCount;
    state.counters["allocations"] = static_cast<double>(allocations);
    state.counters["mismatches"] = static_cast<double>(mismatches);
    state.counters["pushes"] =
        benchmark::Counter(static_cast<double>(pushes - plateCount), benchmark::Counter::kIsRate);
    if (allocations != 0 || mismatches != 0 || pushes != expectedPushes) {
        failed = true;
        state.SkipWithError("the data path allocated, copied the block or missed a push");
    }

    ZorvaWin32_SetSleepHandler(nullptr, nullptr);
}

/// The floor: the transfer's arithmetic written as one plain loop, with the
/// same origin (the plate's, in metres) and threshold, into the same 144 floats.
void BM_Floor(benchmark::State& state)
{
    const unsigned int plateCount = static_cast<unsigned int>(state.range(0));
    std::vector<float> block = LoadedBlock(plateCount);
    const float ox = 0.12f * 0.0254f, oy = -0.08f * 0.0254f, oz = -1.61f * -0.0254f;
    const double threshold = 20.0;
    std::int64_t counter = 0;
    std::uint64_t mismatches = 0;
    for (auto _ : state) {
        counter = (counter + SamplesPerBlock) % CounterModulus;
        for (unsigned int k = 0; k < plateCount; ++k) {
            float* first = &block[RecordOffset(0, k, plateCount)];
            first[0] = static_cast<float>(counter);
            const float expectedFz = 600.0f + static_cast<float>((counter / SamplesPerBlock + k) % 200);
            first[3] = -expectedFz;
            float values[SamplesPerBlock * ZORVA::BlockLayout::ValuesPerSample] = {};
            for (int s = 0; s < SamplesPerBlock; ++s) {
                const float* r = &block[RecordOffset(s, k, plateCount)];
                float* v = values + s * 9;
                const float fx = r[1], fy = r[2], fz = r[3], mx = r[4], my = r[5], mz = r[6];
                if (std::fabs(static_cast<double>(fz)) > threshold) {
                    v[0] = -fx;
                    v[1] = fy;
                    v[2] = -fz;
                    v[3] = -(mx - (oz * fy - oy * fz));
                    v[4] = my - (ox * fz - oz * fx);
                    v[5] = -(mz - (oy * fx - ox * fy));
                    v[6] = -(ox - (oz * fx + my) / fz);
                    v[7] = (mx - oz * fy) / fz + oy;
                }
            }
            const std::int64_t frame = static_cast<std::int64_t>(first[0]);
            benchmark::DoNotOptimize(values);
            benchmark::DoNotOptimize(frame);
            if (values[2] != expectedFz)
                ++mismatches;
        }
        benchmark::ClobberMemory();
    }
    if (mismatches != 0)
        state.SkipWithError("the floor computed another Fz");
}

// ---------------------------------------------------------------- latency

double Percentile(std::vector<double> samples, double fraction)
{
    if (samples.empty())
        return 0.0;
    std::sort(samples.begin(), samples.end());
    const std::size_t index = static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[std::min(index, samples.size() - 1)];
}

using Clock = std::chrono::steady_clock;

double Microseconds(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

/// The last plate's services: notes when its PushSamples ends.
class TimedServices : public CountingServices
{
public:
    HostResult* PushSamples(unsigned int, std::int64_t, int, const int*, int, const float*, int) override
    {
        if (last) {
            pushedAt.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
            pushCount.fetch_add(1, std::memory_order_release);
        }
        return nullptr;
    }
    bool last = false;
    std::atomic<Clock::rep> pushedAt{0};
    std::atomic<std::uint64_t> pushCount{0};
};

std::string SixteenUnits()
{
    std::string text = "[scenario]\nname = sixteen units\nrate = 2000\ninit_polls = 1\n";
    for (int k = 0; k < 16; ++k) {
        text += "[unit U" + std::to_string(k) + "]\nproduct_type = 100\namplifier_serial = A" + std::to_string(k) +
                "\nplatform_model = Pendra-600\nplatform_serial = P" + std::to_string(k) +
                "\norigin = 0.12 -0.08 -1.61\nforce = 2.5 -4 -700\nmoment = 14 35 0.8\n";
    }
    return text;
}

/// From the simulated library producing a block of 16 units and posting its
/// data-ready message to the driver's worker, to the end of the last plate's
/// PushSamples: the worker's message loop, the transfer call, the shared
/// device and 16 plates. Pauses run in virtual time; blocks come one at a
/// time, each after the previous one was pushed.
void BM_DataReadyLatency(benchmark::State& state)
{
    const int units = 16;
    const int samples = 2000;
    zorvasim::Reset();
    zorvasim::SetMode(zorvasim::Mode::Stepped);
    std::string error;
    if (!zorvasim::LoadScenarioText(SixteenUnits(), &error) || !zorvasim::SetVirtualTime(true)) {
        state.SkipWithError(("scenario: " + error).c_str());
        return;
    }
    hostkit::Host host;
    host.SetClock([] { return 0.0; });
    std::vector<double> latencies;
    {
        ZORVA::VZORVADriverService driver(&host);
        ZORVA::VSharedConfigDevice shared(&host, &driver);
        shared.instantiator = &host;
        hostkit::Instance sharedServices(host, "ZORVA Shared Config Device");
        hostkit::CaptureSetup setup(host);
        std::vector<TimedServices> services(units);
        services.back().last = true;
        shared.Attach(&sharedServices);
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
        while (shared.Plates().size() < static_cast<std::size_t>(units) && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const std::vector<boost::shared_ptr<ZORVA::VZORVATrelDevice>> plates = shared.Plates();
        if (plates.size() != static_cast<std::size_t>(units)) {
            state.SkipWithError("detection did not find 16 units");
        } else {
            for (int k = 0; k < units; ++k) {
                plates[static_cast<std::size_t>(k)]->Attach(&services[static_cast<std::size_t>(k)]);
                plates[static_cast<std::size_t>(k)]->Arm(static_cast<unsigned int>(k), &setup);
            }
            shared.Arm(0, &setup);
            shared.StartCapture(host.GetTime());
            while (!zorvasim::GetState().acquiring && Clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            TimedServices& last = services.back();
            for (auto _ : state) {
                latencies.clear();
                for (int i = 0; i < samples + 1; ++i) {
                    const std::uint64_t before = last.pushCount.load(std::memory_order_acquire);
                    const Clock::time_point posted = Clock::now();
                    if (zorvasim::DeliverBlocks(1) != 1)
                        break;
                    while (last.pushCount.load(std::memory_order_acquire) == before &&
                           Clock::now() < deadline + std::chrono::seconds(20))
                        std::this_thread::yield();
                    const Clock::rep end = last.pushedAt.load(std::memory_order_acquire);
                    if (i > 0) // the first block aligns the sample numbers
                        latencies.push_back(Microseconds(Clock::duration(end) - posted.time_since_epoch()));
                }
            }
            if (latencies.size() != static_cast<std::size_t>(samples))
                state.SkipWithError("blocks were not delivered or not pushed");
        }
    }
    zorvasim::SetVirtualTime(false);
    zorvasim::Reset();
    state.counters["median_us"] = Percentile(latencies, 0.5);
    state.counters["p99_us"] = Percentile(latencies, 0.99);
}

/// The platform layer's bare thread-message round trip: post to a thread
/// waiting in GetMessageW, which posts back to one waiting in GetMessageW.
void BM_MessageRoundTrip(benchmark::State& state)
{
    const int samples = 2000;
    const UINT Ping = WM_USER + 1;
    const UINT Pong = WM_USER + 2;
    std::atomic<DWORD> echoThread{0};
    const DWORD self = GetCurrentThreadId();
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE); // this thread's queue
    std::thread echo([&] {
        MSG m;
        PeekMessageW(&m, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
        echoThread = GetCurrentThreadId();
        while (GetMessageW(&m, nullptr, 0, 0) > 0)
            if (m.message == Ping)
                PostThreadMessageW(self, Pong, 0, 0);
    });
    while (echoThread.load() == 0)
        std::this_thread::yield();
    std::vector<double> trips;
    for (auto _ : state) {
        trips.clear();
        for (int i = 0; i < samples; ++i) {
            const Clock::time_point start = Clock::now();
            PostThreadMessageW(echoThread, Ping, 0, 0);
            while (GetMessageW(&msg, nullptr, 0, 0) > 0 && msg.message != Pong) {
            }
            trips.push_back(Microseconds(Clock::now() - start));
        }
    }
    PostThreadMessageW(echoThread, WM_QUIT, 0, 0);
    echo.join();
    state.counters["median_us"] = Percentile(trips, 0.5);
    state.counters["p99_us"] = Percentile(trips, 0.99);
}

/// Keeps each run's time per iteration, so main can print the ratios.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (!run.error_occurred && run.iterations > 0)
                perIteration[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> perIteration;
};

BENCHMARK(BM_OnDataReady)->ArgName("plates")->DenseRange(2, 4);
BENCHMARK(BM_Floor)->ArgName("plates")->DenseRange(2, 4);
BENCHMARK(BM_DataReadyLatency)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MessageRoundTrip)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (int plates = 2; plates <= 4; ++plates) {
        const std::string suffix = "/plates:" + std::to_string(plates);
        const auto path = reporter.perIteration.find("BM_OnDataReady" + suffix);
        const auto floor = reporter.perIteration.find("BM_Floor" + suffix);
        if (path != reporter.perIteration.end() && floor != reporter.perIteration.end() && floor->second > 0.0)
            std::printf("data path / floor, %d plates: %.2f\n", plates, path->second / floor->second);
    }
    if (failed) {
        std::fprintf(stderr, "datapath_benchmark: the data path allocated, copied the block or missed a push\n");
        return 1;
    }
    return 0;
}
