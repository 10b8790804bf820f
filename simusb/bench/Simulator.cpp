#include "simusb/bench/Simulator.h"

#include "trace/format/TraceReader.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <utility>

namespace zorvasim {
namespace detail {

namespace {

constexpr std::size_t kTraceCapacity = 65536;
// A scenario is a few hundred bytes; anything this big is not one.
constexpr std::streamsize kMaxScenarioFileBytes = 1 << 20;

std::atomic<Simulator*> g_instance{nullptr};

// Ends the generator thread before the process tears down the runtime under it.
struct GeneratorExitGuard
{
    ~GeneratorExitGuard()
    {
        if (Simulator* sim = g_instance.load())
            sim->EndGenerator();
    }
} g_generatorExitGuard;

const char* TextFunctionName(TextField field)
{
    switch (field) {
    case TextField::AmplifierModel: return "fmGetAmplifierModelNumber";
    case TextField::AmplifierSerial: return "fmGetAmplifierSerialNumber";
    case TextField::FirmwareVersion: return "fmGetAmplifierFirmwareVersion";
    case TextField::PlatformModel: return "fmGetPlatformModelNumber";
    case TextField::PlatformSerial: return "fmGetPlatformSerialNumber";
    }
    return "fmGet?";
}

bool ReadScenarioFile(const std::string& path, std::string& text, std::string& why)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "cannot open it";
        return false;
    }
    std::string content;
    char chunk[4096];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        content.append(chunk, static_cast<std::size_t>(in.gcount()));
        if (static_cast<std::streamsize>(content.size()) > kMaxScenarioFileBytes) {
            why = "larger than 1 MiB";
            return false;
        }
    }
    if (in.bad()) {
        why = "read error";
        return false;
    }
    text = std::move(content);
    return true;
}

} // namespace

Simulator& Simulator::Instance()
{
    // Never destroyed: fm calls from other libraries' exit code still find it.
    static Simulator* instance = [] {
        auto* sim = new Simulator();
        g_instance.store(sim);
        return sim;
    }();
    return *instance;
}

Simulator::Simulator()
    : trace_(kTraceCapacity),
      bench_(backlog_),
      generator_(bench_, backlog_),
      virtualTime_(trace_, &Simulator::TimePassed, this)
{
    LoadEnvironmentScenario();
}

void Simulator::LoadEnvironmentScenario()
{
    Scenario scenario = DefaultScenario();
    std::string origin = "built-in";
    std::string fallback;
    const char* path = std::getenv("ZORVA_SIM_SCENARIO");
    // A trace named there is the replay's (Replay.cpp), not a bench.
    if (path && *path && !zorvatrace::LooksLikeTrace(path)) {
        std::string text;
        std::string why;
        Scenario parsed;
        if (ReadScenarioFile(path, text, why) && ParseScenario(text, parsed, why)) {
            scenario = std::move(parsed);
            origin = std::string("file ") + path;
        } else {
            fallback = std::string("zorvasim: scenario file \"") + path + "\" (ZORVA_SIM_SCENARIO) not used: " + why +
                       "; using the built-in two plates";
            std::fprintf(stderr, "%s\n", fallback.c_str());
            std::fflush(stderr);
        }
    }
    SimLock lock(bench_.Mutex());
    bench_.Load(std::move(scenario), std::move(origin), std::move(fallback));
    generator_.Wake();
}

// ---------------------------------------------------------------- start-up

int Simulator::Init()
{
    SimLock lock(bench_.Mutex());
    bench_.Init();
    generator_.Wake();
    TraceCall("fmDLLInit()");
    return 1;
}

int Simulator::IsInitComplete()
{
    SimLock lock(bench_.Mutex());
    const int r = bench_.PollInitComplete();
    TraceCall(ResultEntry("fmDLLIsDeviceInitComplete()", r));
    return r;
}

int Simulator::SetupCheck()
{
    SimLock lock(bench_.Mutex());
    const int r = bench_.SetupCheck();
    TraceCall(ResultEntry("fmDLLSetupCheck()", r));
    return r;
}

int Simulator::SetPacketSize(int size)
{
    SimLock lock(bench_.Mutex());
    bench_.SetPacketSize(size);
    TraceCall(CallEntry("fmDLLSetUSBPacketSize", size));
    return 1;
}

int Simulator::SetRunMode(int mode)
{
    SimLock lock(bench_.Mutex());
    bench_.SetRunMode(mode);
    TraceCall(CallEntry("fmBroadcastRunMode", mode));
    return 1;
}

int Simulator::SetDataFormat(int format)
{
    SimLock lock(bench_.Mutex());
    bench_.SetDataFormat(format);
    TraceCall(CallEntry("fmDLLSetDataFormat", format));
    return 1;
}

int Simulator::PostDataReadyMessages(int enable)
{
    SimLock lock(bench_.Mutex());
    bench_.SetPosting(enable != 0);
    generator_.Wake();
    TraceCall(CallEntry("fmDLLPostDataReadyMessages", enable));
    return 1;
}

int Simulator::PostUserThreadMessages(unsigned int threadId)
{
    SimLock lock(bench_.Mutex());
    bench_.SetThreadId(threadId);
    generator_.Wake();
    TraceCall(CallEntry("fmDLLPostUserThreadMessages", threadId));
    return 1;
}

int Simulator::ResetSoftware()
{
    SimLock lock(bench_.Mutex());
    bench_.ResetSoftware();
    TraceCall("fmBroadcastResetSoftware()");
    return 1;
}

int Simulator::ShutDown()
{
    {
        SimLock lock(bench_.Mutex());
        bench_.PowerOff();
        generator_.Wake();
        TraceCall("fmDLLShutDown()");
    }
    // A library that is shut down keeps no thread running: the host may unload
    // it next, and on Windows a thread joined while a library unloads waits
    // for the loader lock that the unloading thread holds. The next start
    // begins a new generator.
    generator_.Stop();
    return 1;
}

// ---------------------------------------------------------------- commands

void Simulator::TimePassed(std::uint64_t fromMs, std::uint64_t toMs, void* context)
{
    static_cast<Simulator*>(context)->generator_.TimePassed(fromMs, toMs);
}

int Simulator::Start()
{
    generator_.StartIfNeeded();
    SimLock lock(bench_.Mutex());
    const int r = bench_.Start();
    if (r)
        generator_.Wake();
    TraceCall("fmBroadcastStart()");
    return r;
}

int Simulator::Stop()
{
    SimLock lock(bench_.Mutex());
    bench_.Stop();
    generator_.Wake();
    TraceCall("fmBroadcastStop()");
    return 1;
}

int Simulator::Zero()
{
    SimLock lock(bench_.Mutex());
    const int r = bench_.Zero();
    TraceCall("fmBroadcastZero()");
    return r;
}

int Simulator::SetRate(int rate)
{
    SimLock lock(bench_.Mutex());
    const int r = bench_.SetRate(rate);
    if (r)
        generator_.Wake();
    TraceCall(CallEntry("fmBroadcastAcquisitionRate", rate));
    return r;
}

int Simulator::SetGenlock(int on)
{
    SimLock lock(bench_.Mutex());
    bench_.SetGenlock(on != 0);
    TraceCall(CallEntry("fmBroadcastGenlock", on));
    return 1;
}

// ---------------------------------------------------------------- devices

int Simulator::DeviceCount()
{
    SimLock lock(bench_.Mutex());
    const int n = bench_.DeviceCount();
    TraceCall(ResultEntry("fmDLLGetDeviceCount()", n));
    return n;
}

int Simulator::SelectDevice(int index)
{
    SimLock lock(bench_.Mutex());
    const int r = bench_.SelectDevice(index);
    TraceCall(CallEntry("fmDLLSelectDeviceIndex", index));
    return r;
}

int Simulator::ProductType()
{
    SimLock lock(bench_.Mutex());
    const int r = bench_.ProductType();
    TraceCall(ResultEntry("fmGetProductType()", r));
    return r;
}

int Simulator::GetText(TextField field, char* text)
{
    SimLock lock(bench_.Mutex());
    TraceCall(std::string(TextFunctionName(field)) + "()");
    return bench_.GetText(field, text);
}

int Simulator::GetOffsets(float* offsets)
{
    SimLock lock(bench_.Mutex());
    TraceCall("fmGetPlatformXYZOffsets()");
    return bench_.GetOffsets(offsets);
}

int Simulator::GetLengthAndWidth(char* length, char* width)
{
    SimLock lock(bench_.Mutex());
    TraceCall("fmGetPlatformLengthAndWidth()");
    return bench_.GetLengthAndWidth(length, width);
}

int Simulator::Blink()
{
    SimLock lock(bench_.Mutex());
    TraceCall("fmSetBlink()");
    return bench_.Blink();
}

// ---------------------------------------------------------------- calibration

int Simulator::CheckCelvo(int* indices)
{
    SimLock lock(bench_.Mutex());
    const int c = bench_.CheckCelvo(indices);
    TraceCall(ResultEntry("fmBroadcastCheckCelvo()", c));
    return c;
}

int Simulator::DownloadCalFile(int mode)
{
    SimLock lock(bench_.Mutex());
    const int r = bench_.DownloadCalFile();
    TraceCall(ResultEntry(CallEntry("fmCelvoDownloadCalFile", mode), r));
    return r;
}

int Simulator::IsDownloadComplete()
{
    SimLock lock(bench_.Mutex());
    const int q = bench_.IsDownloadComplete();
    TraceCall(ResultEntry("fmIsCelvoDownloadComplete()", q));
    return q;
}

// ---------------------------------------------------------------- data

int Simulator::TransferFloatData(float** block)
{
    SimLock lock(bench_.Mutex());
    const int r = backlog_.Transfer(block);
    TraceCall(ResultEntry("fmDLLTransferFloatData()", r));
    return r;
}

// ---------------------------------------------------------------- control

bool Simulator::Load(const Scenario& scenario, const std::string& origin, std::string* error)
{
    std::string why;
    if (!ValidateScenario(scenario, why)) {
        if (error)
            *error = why;
        return false;
    }
    SimLock lock(bench_.Mutex());
    bench_.Load(scenario, origin, std::string());
    generator_.Wake();
    if (error)
        error->clear();
    return true;
}

Scenario Simulator::CurrentScenario() const
{
    SimLock lock(bench_.Mutex());
    return bench_.CurrentScenario();
}

std::string Simulator::Origin() const
{
    SimLock lock(bench_.Mutex());
    return bench_.Origin();
}

std::string Simulator::FallbackMessage() const
{
    SimLock lock(bench_.Mutex());
    return bench_.FallbackMessage();
}

void Simulator::Reset()
{
    virtualTime_.Set(false);
    virtualTime_.ResetClock();
    generator_.ResetMode();
    generator_.ClearMeasuredBlocks();
    backlog_.SetMessagePolicy(MessagePolicy::OneOutstanding);
    SetClockEcho(false);
    LoadEnvironmentScenario();
    backlog_.ResetCounters();
    trace_.Reset(kTraceCapacity);
}

void Simulator::SetClockEcho(bool on)
{
    SimLock lock(bench_.Mutex());
    bench_.SetClockEcho(on);
}

bool Simulator::SetPlugged(int unit, bool plugged)
{
    SimLock lock(bench_.Mutex());
    return bench_.SetPlugged(unit, plugged);
}

bool Simulator::SetLoad(int unit, const LoadProfile& load)
{
    SimLock lock(bench_.Mutex());
    return bench_.SetLoad(unit, load);
}

bool Simulator::SetTrigger(int unit, const TriggerProfile& trigger)
{
    SimLock lock(bench_.Mutex());
    return bench_.SetTrigger(unit, trigger);
}

bool Simulator::InjectBlockFault(BlockFault fault, int blocks)
{
    SimLock lock(bench_.Mutex());
    return bench_.InjectBlockFault(fault, blocks);
}

Counters Simulator::GetCounters() const
{
    Counters c = backlog_.GetCounters();
    c.traceDropped = trace_.Dropped();
    return c;
}

LibraryState Simulator::GetState() const
{
    SimLock lock(bench_.Mutex());
    return bench_.State();
}

} // namespace detail
} // namespace zorvasim
