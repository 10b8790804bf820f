#include "simusb/Simulator.h"

#include "driver/ZORVAUSBDevice.h"
#include "win32/ZorvaWin32.h"
#include "win32/posix/win32_control.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace zorvasim {
namespace detail {

namespace {

constexpr std::size_t kTraceCapacity = 65536;
constexpr std::size_t kFloatsPerSet = ZORVA_USB_FLOATS_PER_RECORD;
constexpr std::size_t kSetsPerBlock = ZORVA_USB_SAMPLES_PER_BLOCK;
// A scenario is a few hundred bytes; anything this big is not one.
constexpr std::streamsize kMaxScenarioFileBytes = 1 << 20;

std::atomic<Simulator*> g_instance{nullptr};

// Ends the generator thread before the process tears down the runtime under it.
struct ExitGuard
{
    ~ExitGuard()
    {
        if (Simulator* sim = g_instance.load())
            sim->EndGenerator();
    }
} g_exitGuard;

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

const std::string& TextOf(const UnitSpec& unit, TextField field)
{
    switch (field) {
    case TextField::AmplifierModel: return unit.amplifierModel;
    case TextField::AmplifierSerial: return unit.amplifierSerial;
    case TextField::FirmwareVersion: return unit.firmwareVersion;
    case TextField::PlatformModel: return unit.platformModel;
    case TextField::PlatformSerial: return unit.platformSerial;
    }
    return unit.platformSerial;
}

/// Copies at most size - 1 bytes and a NUL: the caller's buffer is never overrun.
void CopyText(const std::string& text, char* out, std::size_t size)
{
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

std::string Call(const char* name, long long arg)
{
    return std::string(name) + "(" + std::to_string(arg) + ")";
}

std::string Result(const char* call, long long result)
{
    return std::string(call) + " -> " + std::to_string(result);
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

Simulator::Simulator() : trace_(kTraceCapacity)
{
    LoadEnvironmentScenario();
}

void Simulator::LoadEnvironmentScenario()
{
    Scenario scenario = DefaultScenario();
    std::string origin = "built-in";
    std::string fallback;
    const char* path = std::getenv("ZORVA_SIM_SCENARIO");
    if (path && *path) {
        std::string text;
        std::string why;
        Scenario parsed;
        if (ReadScenarioFile(path, text, why) && ParseScenario(text, parsed, why)) {
            scenario = std::move(parsed);
            origin = std::string("file ") + path;
        } else {
            fallback = std::string("zorvasim: scenario file \"") + path + "\" (ZORVA_SIM_SCENARIO) not used: " +
                       why + "; using the built-in two plates";
            std::fprintf(stderr, "%s\n", fallback.c_str());
            std::fflush(stderr);
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    scenario_ = std::move(scenario);
    origin_ = std::move(origin);
    fallbackMessage_ = std::move(fallback);
    blinks_.assign(scenario_.units.size(), 0);
    zeroCount_ = 0;
    ClearFaultsLocked();
    PowerOffLocked();
}

void Simulator::ClearFaultsLocked()
{
    transferFault_ = TransferFault::None;
    transferFaultCalls_ = 0;
    repeatsPending_ = 0;
    skipsPending_ = 0;
    counterBack_ = 0;
}

void Simulator::PowerOffLocked()
{
    initialised_ = false;
    initComplete_ = false;
    initPolls_ = 0;
    acquiring_ = false;
    rate_ = scenario_.rate;
    genlock_ = false;
    runMode_ = 0;
    packetSize_ = 0;
    dataFormat_ = 0;
    posting_ = false;
    threadId_ = 0;
    selected_ = -1;
    enumerated_.clear();
    zero_.clear();
    sampleClock_ = 0;
    counterBack_ = 0;
    download_ = Download{};
    blockFloats_ = 0;
    capacity_ = static_cast<std::size_t>(scenario_.backlogBlocks);
    ResizeBacklogLocked();
    wake_.notify_all();
}

void Simulator::ResizeBacklogLocked()
{
    ring_.assign(capacity_ * blockFloats_, 0.0f);
    head_ = 0;
    count_ = 0;
    messageOutstanding_ = false;
}

// ---------------------------------------------------------------- start-up

int Simulator::Init()
{
    std::lock_guard<std::mutex> lock(mutex_);
    PowerOffLocked();
    initialised_ = true;
    for (std::size_t i = 0; i < scenario_.units.size(); ++i)
        if (scenario_.units[i].plugged)
            enumerated_.push_back(i);
    zero_.assign(enumerated_.size(), std::array<float, 6>{});
    blockFloats_ = kSetsPerBlock * enumerated_.size() * kFloatsPerSet;
    ResizeBacklogLocked();
    TraceCall("fmDLLInit()");
    return 1;
}

int Simulator::IsInitComplete()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (initialised_ && !initComplete_) {
        ++initPolls_;
        if (scenario_.initPolls > 0 && initPolls_ >= scenario_.initPolls)
            initComplete_ = true;
    }
    const int r = initComplete_ ? 1 : 0;
    TraceCall(Result("fmDLLIsDeviceInitComplete()", r));
    return r;
}

int Simulator::SetupCheck()
{
    std::lock_guard<std::mutex> lock(mutex_);
    const int r = initialised_ ? scenario_.setupCode : 0;
    TraceCall(Result("fmDLLSetupCheck()", r));
    return r;
}

int Simulator::SetPacketSize(int size)
{
    std::lock_guard<std::mutex> lock(mutex_);
    packetSize_ = size;
    TraceCall(Call("fmDLLSetUSBPacketSize", size));
    return 1;
}

int Simulator::SetRunMode(int mode)
{
    std::lock_guard<std::mutex> lock(mutex_);
    runMode_ = mode;
    TraceCall(Call("fmBroadcastRunMode", mode));
    return 1;
}

int Simulator::SetDataFormat(int format)
{
    std::lock_guard<std::mutex> lock(mutex_);
    dataFormat_ = format;
    TraceCall(Call("fmDLLSetDataFormat", format));
    return 1;
}

int Simulator::PostDataReadyMessages(int enable)
{
    std::lock_guard<std::mutex> lock(mutex_);
    posting_ = enable != 0;
    messageOutstanding_ = false;
    wake_.notify_all();
    TraceCall(Call("fmDLLPostDataReadyMessages", enable));
    return 1;
}

int Simulator::PostUserThreadMessages(unsigned int threadId)
{
    std::lock_guard<std::mutex> lock(mutex_);
    threadId_ = threadId;
    // A message that went to the old thread will never be answered.
    messageOutstanding_ = false;
    wake_.notify_all();
    TraceCall(Call("fmDLLPostUserThreadMessages", threadId));
    return 1;
}

int Simulator::ResetSoftware()
{
    std::lock_guard<std::mutex> lock(mutex_);
    sampleClock_ = 0;
    counterBack_ = 0;
    head_ = 0;
    count_ = 0;
    messageOutstanding_ = false;
    TraceCall("fmBroadcastResetSoftware()");
    return 1;
}

int Simulator::ShutDown()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        PowerOffLocked();
        TraceCall("fmDLLShutDown()");
    }
    // A library that is shut down keeps no thread running: the host may unload
    // it next, and on Windows a thread joined while a library unloads waits
    // for the loader lock that the unloading thread holds. The next start
    // begins a new generator.
    std::unique_lock<std::mutex> lifecycle(lifecycleMutex_);
    StopGenerator(lifecycle);
    return 1;
}

// ---------------------------------------------------------------- commands

int Simulator::Start()
{
    StartGeneratorIfNeeded();
    std::lock_guard<std::mutex> lock(mutex_);
    int r = 0;
    if (initialised_ && initComplete_) {
        acquiring_ = true;
        messageOutstanding_ = false;
        wake_.notify_all();
        r = 1;
    }
    TraceCall("fmBroadcastStart()");
    return r;
}

int Simulator::Stop()
{
    std::lock_guard<std::mutex> lock(mutex_);
    acquiring_ = false;
    wake_.notify_all();
    TraceCall("fmBroadcastStop()");
    return 1;
}

int Simulator::Zero()
{
    std::lock_guard<std::mutex> lock(mutex_);
    // A tare: whatever the plates read now becomes their zero.
    for (std::size_t k = 0; k < enumerated_.size(); ++k)
        zero_[k] = ReadingLocked(scenario_.units[enumerated_[k]], sampleClock_);
    if (initialised_)
        ++zeroCount_;
    TraceCall("fmBroadcastZero()");
    return initialised_ ? 1 : 0;
}

int Simulator::SetRate(int rate)
{
    std::lock_guard<std::mutex> lock(mutex_);
    int r = 0;
    if (rate >= kMinRate && rate <= kMaxRate) {
        rate_ = rate;
        wake_.notify_all();
        r = 1;
    }
    TraceCall(Call("fmBroadcastAcquisitionRate", rate));
    return r;
}

int Simulator::SetGenlock(int on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    genlock_ = on != 0;
    TraceCall(Call("fmBroadcastGenlock", on));
    return 1;
}

// ---------------------------------------------------------------- devices

int Simulator::DeviceCount()
{
    std::lock_guard<std::mutex> lock(mutex_);
    const int n = static_cast<int>(enumerated_.size());
    TraceCall(Result("fmDLLGetDeviceCount()", n));
    return n;
}

int Simulator::SelectDevice(int index)
{
    std::lock_guard<std::mutex> lock(mutex_);
    selected_ = index;
    TraceCall(Call("fmDLLSelectDeviceIndex", index));
    return SelectedLocked() ? 1 : 0;
}

const UnitSpec* Simulator::SelectedLocked() const
{
    if (selected_ < 0 || static_cast<std::size_t>(selected_) >= enumerated_.size())
        return nullptr;
    return &scenario_.units[enumerated_[static_cast<std::size_t>(selected_)]];
}

int Simulator::ProductType()
{
    std::lock_guard<std::mutex> lock(mutex_);
    const UnitSpec* unit = SelectedLocked();
    const int r = unit ? unit->productType : 0;
    TraceCall(Result("fmGetProductType()", r));
    return r;
}

int Simulator::GetText(TextField field, char* text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    TraceCall(std::string(TextFunctionName(field)) + "()");
    if (!text)
        return 0;
    const UnitSpec* unit = SelectedLocked();
    CopyText(unit ? TextOf(*unit, field) : std::string(), text, ZORVA_USB_TEXT_SIZE);
    return unit ? 1 : 0;
}

int Simulator::GetOffsets(float* offsets)
{
    std::lock_guard<std::mutex> lock(mutex_);
    TraceCall("fmGetPlatformXYZOffsets()");
    if (!offsets)
        return 0;
    const UnitSpec* unit = SelectedLocked();
    const std::array<float, 3> values = unit ? unit->originOffsets : std::array<float, 3>{};
    std::copy(values.begin(), values.end(), offsets);
    return unit ? 1 : 0;
}

int Simulator::GetLengthAndWidth(char* length, char* width)
{
    std::lock_guard<std::mutex> lock(mutex_);
    TraceCall("fmGetPlatformLengthAndWidth()");
    const UnitSpec* unit = SelectedLocked();
    if (length)
        CopyText(unit ? unit->platformLength : std::string(), length, ZORVA_USB_SIZE_TEXT_SIZE);
    if (width)
        CopyText(unit ? unit->platformWidth : std::string(), width, ZORVA_USB_SIZE_TEXT_SIZE);
    return unit && length && width ? 1 : 0;
}

int Simulator::Blink()
{
    std::lock_guard<std::mutex> lock(mutex_);
    TraceCall("fmSetBlink()");
    if (!SelectedLocked())
        return 0;
    ++blinks_[enumerated_[static_cast<std::size_t>(selected_)]];
    return 1;
}

// ---------------------------------------------------------------- calibration

int Simulator::CheckCelvo(int* indices)
{
    std::lock_guard<std::mutex> lock(mutex_);
    int c = 0;
    for (std::size_t k = 0; k < enumerated_.size(); ++k) {
        if (!scenario_.units[enumerated_[k]].calibrationPending)
            continue;
        // Only 16 slots: the rest are counted, not written.
        if (indices && c < ZORVA_USB_CHECK_CELVO_SLOTS)
            indices[c] = static_cast<int>(k);
        ++c;
    }
    TraceCall(Result("fmBroadcastCheckCelvo()", c));
    return c;
}

int Simulator::DownloadCalFile(int mode)
{
    std::lock_guard<std::mutex> lock(mutex_);
    download_ = Download{};
    int r = -1; // nothing selected: failed
    if (SelectedLocked()) {
        const std::size_t unit = enumerated_[static_cast<std::size_t>(selected_)];
        r = scenario_.units[unit].calDownloadResult;
        if (r == 0) {
            download_.active = true;
            download_.unit = unit;
        }
    }
    TraceCall(Result(Call("fmCelvoDownloadCalFile", mode).c_str(), r));
    return r;
}

int Simulator::IsDownloadComplete()
{
    std::lock_guard<std::mutex> lock(mutex_);
    int q = 2; // no download running: failed
    if (download_.active && download_.unit < scenario_.units.size()) {
        UnitSpec& unit = scenario_.units[download_.unit];
        const std::vector<int>& results = unit.calCompleteResults;
        q = results.empty() ? 1 : results[std::min(download_.polls, results.size() - 1)];
        ++download_.polls;
        if (q != 0) {
            download_.active = false;
            if (q == 1)
                unit.calibrationPending = false;
        }
    }
    TraceCall(Result("fmIsCelvoDownloadComplete()", q));
    return q;
}

// ---------------------------------------------------------------- data

std::array<float, 6> Simulator::ReadingLocked(const UnitSpec& unit, std::uint64_t sample) const
{
    const LoadProfile& p = unit.load;
    bool loaded = false;
    if (p.kind == LoadKind::Static) {
        loaded = true;
    } else if (p.kind == LoadKind::Steps) {
        const std::uint64_t cycle = std::uint64_t(p.stepOn) + p.stepOff;
        loaded = cycle > 0 && sample % cycle < p.stepOn;
    }
    std::array<float, 6> r = p.offset;
    if (loaded)
        for (std::size_t c = 0; c < 6; ++c)
            r[c] += p.load[c];
    return r;
}

bool Simulator::CanProduceLocked() const
{
    return initialised_ && initComplete_ && acquiring_ && posting_ && threadId_ != 0 && !enumerated_.empty();
}

float* Simulator::NextSlotLocked()
{
    if (count_ == capacity_) {
        // The reader lags: the oldest block goes, as a device FIFO overruns.
        head_ = (head_ + 1) % capacity_;
        --count_;
        ++counters_.blocksDropped;
    }
    return ring_.data() + ((head_ + count_) % capacity_) * blockFloats_;
}

bool Simulator::ProduceLocked()
{
    // Lost blocks: their samples pass without reaching the backlog.
    sampleClock_ += kSetsPerBlock * static_cast<std::uint64_t>(skipsPending_);
    skipsPending_ = 0;

    float* block = NextSlotLocked();
    const std::size_t n = enumerated_.size();
    for (std::size_t s = 0; s < kSetsPerBlock; ++s) {
        const std::uint64_t t = sampleClock_ + s;
        // A step back can take the counter below its start: it wraps backwards too.
        const std::uint64_t back = counterBack_ % kCounterModulus;
        const auto counter = static_cast<float>((scenario_.counterStart + t + kCounterModulus - back) % kCounterModulus);
        for (std::size_t k = 0; k < n; ++k) {
            const UnitSpec& unit = scenario_.units[enumerated_[k]];
            float* record = block + (s * n + k) * kFloatsPerSet;
            const std::array<float, 6> reading = ReadingLocked(unit, t);
            record[0] = counter;
            for (std::size_t c = 0; c < 6; ++c)
                record[1 + c] = reading[c] - zero_[k][c];
            const TriggerProfile& tr = unit.trigger;
            const bool active = tr.from >= 0 && t >= static_cast<std::uint64_t>(tr.from) &&
                                (tr.samples == 0 || t - static_cast<std::uint64_t>(tr.from) < tr.samples);
            record[7] = active ? tr.active : tr.idle;
        }
    }
    sampleClock_ += kSetsPerBlock;
    ++count_;
    ++counters_.blocksProduced;
    // The same block again, as a library that hands one out twice.
    for (; repeatsPending_ > 0; --repeatsPending_) {
        const std::size_t previous = (head_ + count_ - 1) % capacity_;
        std::vector<float> copy(ring_.begin() + static_cast<std::ptrdiff_t>(previous * blockFloats_),
                                ring_.begin() + static_cast<std::ptrdiff_t>((previous + 1) * blockFloats_));
        float* again = NextSlotLocked();
        std::copy(copy.begin(), copy.end(), again);
        ++count_;
        ++counters_.blocksProduced;
    }
    // One message at a time: the reader drains every block per message, so a
    // reader that stalls gets a full backlog, not a flooded message queue.
    if (messageOutstanding_)
        return false;
    messageOutstanding_ = true;
    return true;
}

void Simulator::PostDataReady(std::unique_lock<std::mutex>& lock, std::uint32_t threadId)
{
    lock.unlock();
    const BOOL posted = PostThreadMessageW(threadId, ZORVA_USB_WM_DATA_READY, 0, 0);
    lock.lock();
    if (posted) {
        ++counters_.messagesPosted;
    } else {
        ++counters_.postFailures;
        messageOutstanding_ = false;
    }
}

int Simulator::TransferFloatData(float** block)
{
    std::lock_guard<std::mutex> lock(mutex_);
    int r = 0;
    if (block && transferFault_ != TransferFault::None) {
        // A failing library: nothing handed out, the backlog left as it is.
        r = transferFault_ == TransferFault::Error ? -1 : 1;
        *block = nullptr;
        messageOutstanding_ = false; // the next block posts again
        if (transferFaultCalls_ > 0 && --transferFaultCalls_ == 0)
            transferFault_ = TransferFault::None;
    } else if (block) {
        if (count_ == 0) {
            messageOutstanding_ = false; // drained: the next block posts again
            *block = nullptr;
        } else {
            if (current_.size() != blockFloats_)
                current_.assign(blockFloats_, 0.0f);
            const float* from = ring_.data() + head_ * blockFloats_;
            std::copy(from, from + blockFloats_, current_.begin());
            head_ = (head_ + 1) % capacity_;
            --count_;
            ++counters_.blocksTransferred;
            *block = current_.data();
            r = 1;
        }
    }
    TraceCall(Result("fmDLLTransferFloatData()", r));
    return r;
}

int Simulator::DeliverBlocks(int count)
{
    if (mode_.load() != Mode::Stepped || count <= 0)
        return 0;
    std::unique_lock<std::mutex> lock(mutex_);
    int produced = 0;
    bool post = false;
    while (produced < count && CanProduceLocked()) {
        post = ProduceLocked() || post;
        ++produced;
    }
    if (post)
        PostDataReady(lock, threadId_);
    return produced;
}

void Simulator::GeneratorLoop()
{
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> lock(mutex_);
    bool running = false;
    Clock::time_point previous; // when the last block was due, or acquisition began
    while (!quit_) {
        if (!CanProduceLocked()) {
            running = false;
            wake_.wait(lock);
            continue;
        }
        const Clock::time_point now = Clock::now();
        if (!running) {
            running = true;
            previous = now;
        }
        // Recomputed on every wake-up, so a new rate applies to the block in progress.
        const auto period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(double(kSetsPerBlock) / rate_));
        const Clock::time_point due = previous + period;
        if (now < due) {
            wake_.wait_until(lock, due);
            continue;
        }
        const bool post = ProduceLocked();
        previous = due;
        // Held up far longer than the backlog covers (debugger, overloaded
        // machine): do not make up for it.
        if (now - previous > period * static_cast<long>(capacity_))
            previous = now;
        if (post)
            PostDataReady(lock, threadId_);
    }
}

void Simulator::StartGeneratorLocked()
{
    if (mode_.load() != Mode::FreeRunning || generator_.joinable() || generatorEnded_)
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = false;
    }
    generator_ = std::thread(&Simulator::GeneratorLoop, this);
}

void Simulator::StartGeneratorIfNeeded()
{
    std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
    StartGeneratorLocked();
}

void Simulator::StopGenerator(std::unique_lock<std::mutex>&)
{
    if (!generator_.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
        wake_.notify_all();
    }
    generator_.join();
}

void Simulator::EndGenerator()
{
    std::unique_lock<std::mutex> lifecycle(lifecycleMutex_);
    generatorEnded_ = true;
    StopGenerator(lifecycle);
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
    std::lock_guard<std::mutex> lock(mutex_);
    scenario_ = scenario;
    origin_ = origin;
    fallbackMessage_.clear();
    blinks_.assign(scenario_.units.size(), 0);
    zeroCount_ = 0;
    ClearFaultsLocked();
    PowerOffLocked();
    if (error)
        error->clear();
    return true;
}

Scenario Simulator::CurrentScenario() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return scenario_;
}

std::string Simulator::Origin() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return origin_;
}

std::string Simulator::FallbackMessage() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return fallbackMessage_;
}

void Simulator::Reset()
{
    SetVirtualTime(false);
    virtualMs_.store(0);
    {
        std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
        mode_.store(Mode::FreeRunning);
    }
    LoadEnvironmentScenario();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        counters_ = Counters{};
    }
    trace_.Reset(kTraceCapacity);
}

void Simulator::SetMode(Mode mode)
{
    std::unique_lock<std::mutex> lifecycle(lifecycleMutex_);
    mode_.store(mode);
    if (mode == Mode::Stepped)
        StopGenerator(lifecycle);
    else
        StartGeneratorLocked();
}

bool Simulator::SetPlugged(int unit, bool plugged)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (unit < 0 || static_cast<std::size_t>(unit) >= scenario_.units.size())
        return false;
    scenario_.units[static_cast<std::size_t>(unit)].plugged = plugged;
    return true;
}

bool Simulator::SetLoad(int unit, const LoadProfile& load)
{
    if (load.kind == LoadKind::Steps && load.stepOn == 0 && load.stepOff == 0)
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (unit < 0 || static_cast<std::size_t>(unit) >= scenario_.units.size())
        return false;
    scenario_.units[static_cast<std::size_t>(unit)].load = load;
    return true;
}

void Simulator::SetTransferFault(TransferFault fault, int calls)
{
    std::lock_guard<std::mutex> lock(mutex_);
    transferFault_ = calls == 0 ? TransferFault::None : fault;
    transferFaultCalls_ = fault == TransferFault::None ? 0 : calls;
}

bool Simulator::InjectBlockFault(BlockFault fault, int blocks)
{
    if (blocks < 1)
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    switch (fault) {
    case BlockFault::Repeat: repeatsPending_ += blocks; break;
    case BlockFault::Skip: skipsPending_ += blocks; break;
    case BlockFault::StepBack: counterBack_ += kSetsPerBlock * static_cast<std::uint64_t>(blocks); break;
    }
    return true;
}

bool Simulator::SetTrigger(int unit, const TriggerProfile& trigger)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (unit < 0 || static_cast<std::size_t>(unit) >= scenario_.units.size())
        return false;
    scenario_.units[static_cast<std::size_t>(unit)].trigger = trigger;
    return true;
}

Counters Simulator::GetCounters() const
{
    Counters c;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        c = counters_;
        c.backlog = count_;
    }
    c.traceDropped = trace_.Dropped();
    return c;
}

LibraryState Simulator::GetState() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    LibraryState s;
    s.initialised = initialised_;
    s.initComplete = initComplete_;
    s.initPollsSeen = initPolls_;
    s.acquiring = acquiring_;
    s.rate = rate_;
    s.genlock = genlock_;
    s.runMode = runMode_;
    s.packetSize = packetSize_;
    s.dataFormat = dataFormat_;
    s.postingEnabled = posting_;
    s.threadId = threadId_;
    s.selectedIndex = selected_;
    s.deviceCount = static_cast<int>(enumerated_.size());
    s.enumeratedUnits.assign(enumerated_.begin(), enumerated_.end());
    s.sampleClock = sampleClock_;
    s.zeroCount = zeroCount_;
    s.blinkCounts = blinks_;
    s.zeroOffsets = zero_;
    return s;
}

void Simulator::SleepHandler(DWORD milliseconds, void* context)
{
    auto* sim = static_cast<Simulator*>(context);
    sim->virtualMs_.fetch_add(milliseconds);
    sim->trace_.Add(Call("Sleep", milliseconds));
}

bool Simulator::SetVirtualTime(bool on)
{
    std::lock_guard<std::mutex> lock(sleepMutex_);
    if (on == virtualTime_)
        return true;
    if (on) {
        if (ZorvaWin32_SetSleepHandler(&Simulator::SleepHandler, this) != nullptr) {
            std::fprintf(stderr, "zorvasim: virtual time replaced another Sleep handler; "
                                 "real sleeping returns when it ends\n");
        }
    } else {
        ZorvaWin32_SetSleepHandler(nullptr, nullptr);
    }
    virtualTime_ = on;
    return true;
}

bool Simulator::VirtualTimeOn() const
{
    std::lock_guard<std::mutex> lock(sleepMutex_);
    return virtualTime_;
}

} // namespace detail
} // namespace zorvasim
