// What recording and replay cost, on 16 units at 2000 samples per second
// (125 blocks a second):
// - BM_WorkerPerBlock: the driver worker's share of one block, the library's
//   transfer, the shared device's OnDataReady to 16 plates and the transfer
//   that finds nothing more, calling the simulated library directly (mode 0),
//   through the recorder writing a trace (1) and through the recorder with no
//   trace open (2); 2000 blocks at eight times the real rate. Reported per
//   block (mean, median, 99th percentile, slowest) with the trace's bytes per
//   second at 2000/s and the records dropped.
// - BM_TraceBytesPerSecond: the writer alone on 500 blocks of three kinds of
//   signal (the simulated bench, noise quantised to an amplifier's step, noise
//   in every float bit): trace bytes for an hour, compression, writer speed.
// - BM_ReplaySpeed: a recorded capture of 1250 blocks (10 s of samples)
//   replayed in virtual time through the plugin's driver service and devices
//   to the host, against the 10 s it took the lab.
//
// It sits in bin/trace beside the recorder, as the trace tests do, and finds
// the simulated library's controls through it; the simulated bench is 16
// units (written to a scenario file before the library loads). The plugin's
// devices run on the host kit's host.
#include "BenchPlates.h"
#include "devices/VSharedConfigDevice.h"
#include "devices/VZORVATrelDevice.h"
#include "driver/VZORVADriverService.h"
#include "driver/ZORVAUSBDevice.h"
#include "hostkit/Host.h"
#include "plugin/Plugin.h"
#include "platform/Library.h"
#include "platform/Program.h"
#include "trace/format/TraceWriter.h"
#include "trace/recorder/RecorderControl.h"
#include "trace/recorder/RecorderInFront.h"
#include "win32/posix/win32_control.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace MoldraDigitalDevice;

const unsigned int kUnits = 16;

/// Set by a benchmark that found something wrong: the program then fails.
bool failed = false;

void Fail(benchmark::State& state, const std::string& why)
{
    failed = true;
    state.SkipWithError(why.c_str());
}
const double kBlocksPerSecond = 2000.0 / 16.0;

void NoPause(DWORD, void*) {}

std::string TemporaryPath(const std::string& name)
{
    return (std::filesystem::temp_directory_path() / ("zorvatrace-bench-" + name)).string();
}

template <typename Function>
Function Control(const char* name)
{
    return reinterpret_cast<Function>(zorvatrace::RecordedLibrarySymbol(name));
}

/// A full path beside this program (bin/trace/) in the system's form:
/// Windows loads a library by its full path only when it is one, without "..".
std::string Beside(const std::string& relative)
{
    const std::string program = zorvaplatform::ProgramPath();
    const std::string folder = program.substr(0, program.find_last_of("/\\") + 1);
    return std::filesystem::path(folder + relative).lexically_normal().make_preferred().string();
}

/// The recorder beside this program, and the simulated library one folder up.
std::string Recorder() { return Beside(zorvaplatform::UsbLibraryFileName()); }
std::string SimulatedLibrary() { return Beside(std::string("../") + zorvaplatform::UsbLibraryFileName()); }

/// Polls `done` in real time until it holds (true) or ten seconds passed (false).
bool WaitUntil(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

/// The plugin's devices on its driver service, driven as a host drives them
/// (a detection, plates armed, a capture, then disarming and the service's
/// end), on the host kit's host.
class DeviceSession
{
public:
    DeviceSession() = default;
    ~DeviceSession()
    {
        service_.reset();
        shared_.reset();
    }
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    /// Creates the service and the shared device, waits for the first
    /// detection and attaches the plates.
    bool Detect()
    {
        service_.reset(new ZORVA::VZORVADriverService(&host_));
        shared_.reset(new ZORVA::VSharedConfigDevice(&host_, service_.get()));
        shared_->instantiator = &host_;
        const int notified = sharedServices_.NotifyCount();
        shared_->Attach(&sharedServices_);
        // A detection ends with its result and then its report of acquisition stopped.
        if (!WaitUntil([&] { return sharedServices_.NotifyCount() >= notified + 2; }))
            return false;
        host_.AttachNewDevices();
        return true;
    }

    /// Changes the synchronisation mode (before arming), and waits for the
    /// stop the change queues: arming then queues its own, as recorded.
    void SetSyncMode(const std::string& mode)
    {
        IParameterValueEnum value;
        value.SetValue(mode);
        const int notified = sharedServices_.NotifyCount();
        sharedServices_.ChangeParameter("SyncMode", value, 0);
        shared_->ParametersChanged();
        WaitUntil([&] { return sharedServices_.NotifyCount() > notified; });
    }

    /// Arms the plates, then the shared device, waits until acquiring and
    /// starts the capture at host time 0.
    bool ArmAndCapture()
    {
        bool armed = true;
        unsigned int stream = 10;
        for (const auto& plate : shared_->Plates())
            armed = plate->Arm(stream++, &setup_) && armed;
        armed = shared_->Arm(1, nullptr) && armed;
        const bool acquiring = WaitUntil([this] {
            int state = -1;
            bool rearm = false;
            shared_->GetState(&state, &rearm);
            return state == static_cast<int>(ZORVA::DeviceState::Acquiring);
        });
        shared_->StartCapture(0.0);
        return armed && acquiring;
    }

    /// Waits (real time, bounded) until every plate has pushed `blocks` blocks.
    bool WaitPushes(std::size_t blocks)
    {
        return WaitUntil([&] {
            for (const hostkit::OfferedDevice& device : host_.Instances()) {
                if (device.services && device.services->PushCount() < blocks)
                    return false;
            }
            return true;
        });
    }

    /// Disarms every device, then ends the service: the library stops and shuts down.
    void Finish()
    {
        for (const auto& plate : shared_->Plates())
            plate->Disarm();
        shared_->Disarm();
        service_.reset();
    }

private:
    hostkit::Host host_;
    hostkit::Instance sharedServices_{host_, "ZORVA Shared Config Device"};
    hostkit::CaptureSetup setup_{host_};
    std::unique_ptr<ZORVA::VZORVADriverService> service_;
    std::unique_ptr<ZORVA::VSharedConfigDevice> shared_;
};

/// The library's functions the worker calls on the data path, either the
/// recorder's (this program's imports) or the simulated library's own.
struct Library
{
    int (*init)() = fmDLLInit;
    int (*initComplete)() = fmDLLIsDeviceInitComplete;
    int (*deviceCount)() = fmDLLGetDeviceCount;
    int (*posting)(int) = fmDLLPostDataReadyMessages;
    int (*thread)(unsigned int) = fmDLLPostUserThreadMessages;
    int (*start)() = fmBroadcastStart;
    int (*stop)() = fmBroadcastStop;
    int (*shutDown)() = fmDLLShutDown;
    int (*transfer)(float**) = fmDLLTransferFloatData;

    static Library Direct()
    {
        Library l;
        l.init = Control<int (*)()>("fmDLLInit");
        l.initComplete = Control<int (*)()>("fmDLLIsDeviceInitComplete");
        l.deviceCount = Control<int (*)()>("fmDLLGetDeviceCount");
        l.posting = Control<int (*)(int)>("fmDLLPostDataReadyMessages");
        l.thread = Control<int (*)(unsigned int)>("fmDLLPostUserThreadMessages");
        l.start = Control<int (*)()>("fmBroadcastStart");
        l.stop = Control<int (*)()>("fmBroadcastStop");
        l.shutDown = Control<int (*)()>("fmDLLShutDown");
        l.transfer = Control<int (*)(float**)>("fmDLLTransferFloatData");
        return l;
    }
};

void BM_WorkerPerBlock(benchmark::State& state)
{
    // 0: the simulated library called directly; 1: through the recorder
    // writing a trace; 2: through the recorder with no trace open.
    const bool recording = state.range(0) == 1;
    const bool through = state.range(0) != 0;
    const std::string trace = TemporaryPath("worker.trace");
    std::string error;
    if (recording && !zorvatrace::PutRecorderInFront(Recorder(), SimulatedLibrary(), trace, error)) {
        Fail(state, error);
        return;
    }
    const Library library = through ? Library() : Library::Direct();
    auto deliver = Control<int (*)(int)>("ZorvaSim_DeliverBlocks");
    Control<void (*)(int)>("ZorvaSim_SetStepped")(1);

    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // this thread's queue: it stands for the worker
    library.init();
    while (!library.initComplete()) {
    }
    const int units = library.deviceCount();
    library.posting(1);
    library.thread(GetCurrentThreadId());
    library.start();

    hostkit::Host host;
    hostkit::CaptureSetup setup(host);
    hostkit::Instance sharedServices(host, "ZORVA Shared Config Device");
    std::vector<zorvabench::SilentServices> services(kUnits);
    ZORVA::VSharedConfigDevice shared(&host, nullptr);
    shared.Attach(&sharedServices);
    shared.OnDetectionComplete(ZORVA::VZORVADriverService::VDllInitInfo(), zorvabench::PendraUnits(kUnits));
    const auto plates = shared.Plates();
    for (unsigned int k = 0; k < kUnits; ++k) {
        plates[k]->Attach(&services[k]);
        plates[k]->Arm(k, &setup);
    }
    shared.Arm(0, &setup);
    shared.StartCapture(host.GetTime());

    // Eight times the real rate: the writer keeps up, as it must at the real
    // one, while the loop still counts thousands of blocks.
    const auto interval = std::chrono::microseconds(static_cast<long long>(1e6 / kBlocksPerSecond / 8));
    auto due = std::chrono::steady_clock::now();
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(state.max_iterations));
    std::uint64_t blocks = 0;
    for (auto _ : state) {
        due += interval;
        std::this_thread::sleep_until(due);
        deliver(1);
        GetMessageW(&msg, nullptr, 0, 0); // the data-ready message, through the relay when recording
        const auto started = std::chrono::steady_clock::now();
        float* block = nullptr;
        while (library.transfer(&block) > 0 && block) {
            shared.OnDataReady(block);
            ++blocks;
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        times.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    library.stop();
    library.shutDown();

    std::sort(times.begin(), times.end());
    state.counters["units"] = units;
    if (!times.empty()) {
        state.counters["median_us"] = times[times.size() / 2] * 1e6;
        state.counters["p99_us"] = times[times.size() * 99 / 100] * 1e6;
        state.counters["slowest_us"] = times.back() * 1e6;
    }
    if (blocks != static_cast<std::uint64_t>(state.iterations()))
        Fail(state, "a block went missing");
    if (recording) {
        zorvatrace::EndRecording(error);
        ZorvaTraceCounters counters{};
        reinterpret_cast<ZorvaTraceGetCountersFn>(zorvatrace::RecorderSymbol("ZorvaTrace_GetCounters"))(&counters);
        const double perBlock = static_cast<double>(counters.fileBytes) / static_cast<double>(blocks);
        state.counters["trace_kB_per_s"] = perBlock * kBlocksPerSecond / 1e3;
        state.counters["dropped"] = static_cast<double>(counters.droppedRecords);
        std::remove(trace.c_str());
    }
}

/// Counts what the writer writes.
class CountingSink : public zorvatrace::Sink
{
public:
    explicit CountingSink(std::uint64_t& bytes) : bytes_(bytes) {}
    bool Write(const unsigned char*, std::size_t size) override
    {
        bytes_ += size;
        return true;
    }
    bool Flush() override { return true; }
    std::string Error() const override { return std::string(); }

private:
    std::uint64_t& bytes_;
};

/// 500 blocks of 16 units: 0 the simulated bench's kind (constant loads that
/// step on and off), 1 loads with noise quantised to a 0.0153 N step, 2 loads
/// with noise in every bit of the float.
std::vector<std::vector<float>> Signal(int kind)
{
    std::mt19937 random(1);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    const float load[6] = {2.5f, -4.0f, -700.0f, 14.0f, 35.0f, 0.8f};
    const float spread[6] = {0.3f, 0.3f, 1.0f, 0.05f, 0.05f, 0.02f};
    std::vector<std::vector<float>> blocks(500, std::vector<float>(16 * kUnits * 8, 0.0f));
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        for (unsigned int s = 0; s < 16; ++s) {
            const std::size_t n = b * 16 + s;
            for (unsigned int k = 0; k < kUnits; ++k) {
                float* record = &blocks[b][(s * kUnits + k) * 8];
                record[0] = static_cast<float>(n);
                const bool on = (n / 600 + k) % 2 == 0;
                for (int i = 0; i < 6; ++i) {
                    float v = on ? load[i] : 0.0f;
                    if (kind >= 1)
                        v += spread[i] * noise(random);
                    if (kind == 1)
                        v = std::round(v / 0.0153f) * 0.0153f;
                    record[1 + i] = v;
                }
            }
        }
    }
    return blocks;
}

void BM_TraceBytesPerSecond(benchmark::State& state)
{
    const std::vector<std::vector<float>> blocks = Signal(static_cast<int>(state.range(0)));
    std::uint64_t bytes = 0;
    std::uint64_t raw = 0;
    for (auto _ : state) {
        bytes = 0;
        zorvatrace::TraceWriter writer;
        std::string error;
        writer.Open(std::unique_ptr<zorvatrace::Sink>(new CountingSink(bytes)), zorvatrace::Header(),
                    zorvatrace::WriterOptions(), error);
        for (const std::vector<float>& values : blocks) {
            zorvatrace::Record record = zorvatrace::CallRecord(zorvatrace::Function::DLLTransferFloatData);
            record.result = 1;
            record.flags = zorvatrace::kCallHasBlock;
            record.units = kUnits;
            record.blockData = values.data();
            writer.Append(record);
            zorvatrace::Record message;
            message.type = zorvatrace::RecordType::Message;
            message.message = ZORVA_USB_WM_DATA_READY;
            writer.Append(message);
            zorvatrace::Record empty = zorvatrace::CallRecord(zorvatrace::Function::DLLTransferFloatData);
            writer.Append(empty);
        }
        raw = writer.Close().recordBytes;
    }
    const double seconds = static_cast<double>(blocks.size()) / kBlocksPerSecond;
    state.counters["compressed_percent"] = 100.0 * static_cast<double>(bytes) / static_cast<double>(raw);
    state.counters["GB_per_hour"] = static_cast<double>(bytes) / seconds * 3600.0 / 1e9;
    state.counters["raw_GB_per_hour"] = static_cast<double>(raw) / seconds * 3600.0 / 1e9;
    state.SetBytesProcessed(static_cast<std::int64_t>(raw) * state.iterations());
}

void BM_ReplaySpeed(benchmark::State& state)
{
    const std::size_t blocks = 1250; // 10 s at 2000 samples per second
    const std::string trace = TemporaryPath("replay.trace");
    std::string error;
    if (!zorvatrace::PutRecorderInFront(Recorder(), SimulatedLibrary(), trace, error)) {
        Fail(state, error);
        return;
    }
    Control<void (*)(int)>("ZorvaSim_SetStepped")(1);
    auto deliver = Control<int (*)(int)>("ZorvaSim_DeliverBlocks");
    {
        DeviceSession session;
        session.Detect();
        session.SetSyncMode("Genlock");
        session.ArmAndCapture();
        for (std::size_t done = 0; done < blocks; done += 50) {
            deliver(50);
            session.WaitPushes(done + 50);
        }
        session.Finish();
    }
    zorvatrace::EndRecording(error);

    auto load = Control<int (*)(const char*, int, char*, int)>("ZorvaSim_LoadTrace");
    bool whole = true;
    double replaying = 0;
    for (auto _ : state) {
        char why[512] = {};
        load(trace.c_str(), 1, why, static_cast<int>(sizeof why));
        const auto started = std::chrono::steady_clock::now();
        DeviceSession session;
        session.Detect();
        session.SetSyncMode("Genlock");
        session.ArmAndCapture();
        whole = session.WaitPushes(blocks) && whole;
        session.Finish();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        replaying += seconds;
        state.SetIterationTime(seconds);
    }
    Control<void (*)()>("ZorvaSim_EndReplay")();
    std::remove(trace.c_str());
    if (!whole)
        Fail(state, "the replay did not deliver every block");
    const double recorded = static_cast<double>(blocks) / kBlocksPerSecond * static_cast<double>(state.iterations());
    state.counters["x_real_time"] = replaying > 0 ? recorded / replaying : 0;
}

BENCHMARK(BM_WorkerPerBlock)
    ->ArgName("mode")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Iterations(2000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TraceBytesPerSecond)->ArgName("signal")->DenseRange(0, 2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaySpeed)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    // The simulated bench: 16 units at 2000 samples per second, read when the
    // library loads (through the recorder, at the first call).
    std::string scenario = "[scenario]\nname = 16 units\ninit_polls = 1\nrate = 2000\n";
    for (unsigned int k = 0; k < kUnits; ++k)
        scenario += "[unit U" + std::to_string(k) + "]\nproduct_type = 100\namplifier_serial = A" + std::to_string(k) +
                    "\nplatform_model = Pendra-600\nplatform_serial = P" + std::to_string(k) +
                    "\nlength = 23.622\nwidth = 15.748\nforce = 1 2 -700\n";
    const std::string scenarioFile = TemporaryPath("16-units.ini");
    std::ofstream(scenarioFile) << scenario;
#if defined(_WIN32)
    _putenv_s("ZORVA_SIM_SCENARIO", scenarioFile.c_str());
#else
    setenv("ZORVA_SIM_SCENARIO", scenarioFile.c_str(), 1);
#endif
    std::string error;
    const std::string trace = TemporaryPath("start.trace");
    // The recorder loads the simulated library; no trace is open until a benchmark opens one.
    if (!zorvatrace::AdoptRecorder(Recorder(), error) ||
        !zorvatrace::PutRecorderInFront(Recorder(), SimulatedLibrary(), trace, error) ||
        !zorvatrace::EndRecording(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::remove(trace.c_str());
    ZorvaWin32_SetSleepHandler(&NoPause, nullptr);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(scenarioFile.c_str());
    return failed ? 1 : 0;
}
