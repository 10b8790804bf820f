// Times the data path: one library block through the shared device's
// OnDataReady to one PushSamples per plate, with 2 to 4 plates on a host whose
// PushSamples only counts. The program fails (exit code 1) if the path
// allocated anything or if the host saw values that were not computed from
// the block as the caller left it.
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
#include "devhost/RecordingHost.h"
#include "devices/VSharedConfigDevice.h"
#include "devices/VZORVATrelDevice.h"
#include "plugin/Plugin.h"
#include "win32/posix/win32_control.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
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
#define ZORVA_RAW_MALLOC __real_malloc
#else
#define ZORVA_RAW_MALLOC std::malloc
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
#  pragma GCC diagnostic push
#  pragma GCC diagnostic ignored "-Wmismatched-new-delete"
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
#  pragma GCC diagnostic pop
#endif

namespace {

using namespace MoldraDigitalDevice;

std::atomic<bool> failed{false};

/// A plate's host services that keep nothing: PushSamples counts the call and
/// checks sample 0's Fz against what the caller just wrote into the block.
class CountingServices : public IDeviceHost
{
public:
    HostResult* GetParameterValue(IParameterValue*, const char*, const char*) override { return nullptr; }
    HostResult* SetParameterValue(IParameterValue*, const char*, const char*) override { return nullptr; }
    unsigned int GetChangedParameterCount() override { return 0; }
    HostResult* GetChangedParameters(unsigned int*, std::uint64_t*, unsigned int* count) override
    {
        if (count)
            *count = 0;
        return nullptr;
    }
    HostResult* PushSamples(unsigned int, std::int64_t frame, int, const int*, int, const float* values,
                            int valueCount) override
    {
        ++pushes;
        // Fz shows with its sign turned: -(block's Fz).
        if (valueCount != 144 || values[2] != expectedFz || frame != expectedFrame)
            ++mismatches;
        return nullptr;
    }
    void NotifyChanged() override {}

    float expectedFz = 0.0f;
    std::int64_t expectedFrame = 0;
    std::uint64_t pushes = 0;
    std::uint64_t mismatches = 0;
};

void NoPause(DWORD, void*) {}

const std::int64_t CounterModulus = 16777216;

void BM_OnDataReady(benchmark::State& state)
{
    const unsigned int plateCount = static_cast<unsigned int>(state.range(0));
    ZorvaWin32_SetSleepHandler(&NoPause, nullptr);
    zorvahost::RecordingHost host;
    ZORVA::hostServices = &host;
    zorvahost::CaptureSetup setup(host);
    zorvahost::DeviceServices sharedServices(host, "ZORVA Shared Config Device");
    std::vector<CountingServices> services(plateCount);

    ZORVA::VSharedConfigDevice shared(nullptr);
    shared.Attach(&sharedServices);
    std::vector<ZORVA::VZORVADriverService::VDeviceInfo> units(plateCount);
    for (unsigned int k = 0; k < plateCount; ++k) {
        units[k].productType = 100;
        units[k].amplifierSerial = "A" + std::to_string(k);
        units[k].platformModel = "Pendra-600";
        units[k].platformSerial = "P" + std::to_string(k);
        units[k].originOffsets = {0.12f, -0.08f, -1.61f};
        units[k].deviceIndex = static_cast<int>(k);
    }
    ZORVA::VZORVADriverService::VDllInitInfo info;
    shared.OnDetectionComplete(info, units);
    const std::vector<boost::shared_ptr<ZORVA::VZORVATrelDevice>> plates = shared.Plates();
    for (unsigned int k = 0; k < plateCount; ++k) {
        plates[k]->Attach(&services[k]);
        plates[k]->Arm(k, &setup);
    }
    shared.Arm(0, &setup);
    shared.StartCapture(host.GetTime()); // the first block is host sample 0

    // Someone standing on every plate, slightly off centre.
    std::vector<float> block(16u * plateCount * 8u, 0.0f);
    for (int s = 0; s < 16; ++s) {
        for (unsigned int k = 0; k < plateCount; ++k) {
            float* record = &block[(static_cast<std::size_t>(s) * plateCount + k) * 8u];
            record[0] = static_cast<float>(s);
            record[1] = 2.5f;
            record[2] = -4.0f;
            record[3] = -700.0f;
            record[4] = 14.0f;
            record[5] = 35.0f;
            record[6] = 0.8f;
        }
    }
    std::int64_t counter = 0;
    auto nextBlock = [&](std::int64_t frame) {
        for (unsigned int k = 0; k < plateCount; ++k) {
            float* record = &block[static_cast<std::size_t>(k) * 8u];
            record[0] = static_cast<float>(counter);
            const float fz = -(600.0f + static_cast<float>((counter / 16 + k) % 200));
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
        frame += 16;
        counter = (counter + 16) % CounterModulus;
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

    ZORVA::hostServices = nullptr;
    ZorvaWin32_SetSleepHandler(nullptr, nullptr);
}

BENCHMARK(BM_OnDataReady)->ArgName("plates")->DenseRange(2, 4);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (failed) {
        std::fprintf(stderr, "datapath_benchmark: the data path allocated, copied the block or missed a push\n");
        return 1;
    }
    return 0;
}
