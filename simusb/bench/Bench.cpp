#include "simusb/bench/Bench.h"

#include "driver/ZORVAUSBDevice.h"
#include "simusb/Loads.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zorvasim {
namespace detail {

namespace {

constexpr std::size_t kFloatsPerSet = ZORVA_USB_FLOATS_PER_RECORD;
constexpr std::size_t kSetsPerBlock = ZORVA_USB_SAMPLES_PER_BLOCK;

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

} // namespace

// ---------------------------------------------------------------- scenario

void Bench::Load(Scenario scenario, std::string origin, std::string fallbackMessage)
{
    scenario_ = std::move(scenario);
    origin_ = std::move(origin);
    fallbackMessage_ = std::move(fallbackMessage);
    blinks_.assign(scenario_.units.size(), 0);
    zeroCount_ = 0;
    inits_ = 0;
    repeatsPending_ = 0;
    skipsPending_ = 0;
    backlog_.SetTransferFault(TransferFault::None, 0);
    PowerOff();
}

Scenario Bench::CurrentScenario() const { return scenario_; }

std::string Bench::Origin() const { return origin_; }

std::string Bench::FallbackMessage() const { return fallbackMessage_; }

bool Bench::SetPlugged(int unit, bool plugged)
{
    if (unit < 0 || static_cast<std::size_t>(unit) >= scenario_.units.size())
        return false;
    scenario_.units[static_cast<std::size_t>(unit)].plugged = plugged;
    return true;
}

bool Bench::SetLoad(int unit, const LoadProfile& load)
{
    if (unit < 0 || static_cast<std::size_t>(unit) >= scenario_.units.size())
        return false;
    UnitSpec changed = scenario_.units[static_cast<std::size_t>(unit)];
    changed.load = load;
    std::string error;
    if (!ValidateLoad(changed, error))
        return false;
    scenario_.units[static_cast<std::size_t>(unit)].load = load;
    return true;
}

bool Bench::SetTrigger(int unit, const TriggerProfile& trigger)
{
    if (unit < 0 || static_cast<std::size_t>(unit) >= scenario_.units.size())
        return false;
    scenario_.units[static_cast<std::size_t>(unit)].trigger = trigger;
    return true;
}

bool Bench::InjectBlockFault(BlockFault fault, int blocks)
{
    if (blocks < 1)
        return false;
    switch (fault) {
    case BlockFault::Repeat: repeatsPending_ += blocks; break;
    case BlockFault::Skip: skipsPending_ += blocks; break;
    case BlockFault::StepBack: counterBack_ += kSetsPerBlock * static_cast<std::uint64_t>(blocks); break;
    }
    return true;
}

// ---------------------------------------------------------------- start-up

void Bench::PowerOff()
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
    backlog_.Resize(BacklogBlocks(), 0);
}

void Bench::Init()
{
    PowerOff();
    initialised_ = true;
    ++inits_;
    blocksMeasured_ = 0;
    for (std::size_t i = 0; i < scenario_.units.size(); ++i) {
        UnitSpec& unit = scenario_.units[i];
        // A loose cable: gone from this enumeration on, until plugged again.
        if (unit.unplugAtInit == inits_)
            unit.plugged = false;
        if (unit.plugged)
            enumerated_.push_back(i);
    }
    zero_.assign(enumerated_.size(), std::array<float, 6>{});
    backlog_.Resize(BacklogBlocks(), BlockFloats());
}

int Bench::PollInitComplete()
{
    if (initialised_ && !initComplete_) {
        ++initPolls_;
        if (scenario_.initPolls > 0 && initPolls_ >= scenario_.initPolls)
            initComplete_ = true;
    }
    return initComplete_ ? 1 : 0;
}

int Bench::SetupCheck() const { return initialised_ ? scenario_.setupCode : 0; }

void Bench::SetPosting(bool on)
{
    posting_ = on;
    backlog_.ForgetMessage();
}

void Bench::SetThreadId(std::uint32_t threadId)
{
    threadId_ = threadId;
    // A message that went to the old thread will never be answered.
    backlog_.ForgetMessage();
}

void Bench::ResetSoftware()
{
    sampleClock_ = 0;
    counterBack_ = 0;
    backlog_.Clear();
}

// ---------------------------------------------------------------- commands

int Bench::Start()
{
    if (!initialised_ || !initComplete_)
        return 0;
    acquiring_ = true;
    ++starts_;
    backlog_.ForgetMessage();
    return 1;
}

int Bench::Zero()
{
    // A tare: whatever the plates read now becomes their zero. Without the
    // noise: an amplifier averages while it zeroes.
    for (std::size_t k = 0; k < enumerated_.size(); ++k)
        zero_[k] = UnitReading(scenario_.units[enumerated_[k]], sampleClock_, rate_, false);
    if (initialised_)
        ++zeroCount_;
    return initialised_ ? 1 : 0;
}

int Bench::SetRate(int rate)
{
    if (rate < kMinRate || rate > kMaxRate)
        return 0;
    rate_ = rate;
    return 1;
}

// ---------------------------------------------------------------- devices

int Bench::DeviceCount() const { return static_cast<int>(enumerated_.size()); }

int Bench::SelectDevice(int index)
{
    selected_ = index;
    return Selected() ? 1 : 0;
}

const UnitSpec* Bench::Selected() const
{
    if (selected_ < 0 || static_cast<std::size_t>(selected_) >= enumerated_.size())
        return nullptr;
    return &scenario_.units[enumerated_[static_cast<std::size_t>(selected_)]];
}

int Bench::ProductType() const
{
    const UnitSpec* unit = Selected();
    return unit ? unit->productType : 0;
}

int Bench::GetText(TextField field, char* text) const
{
    if (!text)
        return 0;
    const UnitSpec* unit = Selected();
    CopyText(unit ? TextOf(*unit, field) : std::string(), text, ZORVA_USB_TEXT_SIZE);
    return unit ? 1 : 0;
}

int Bench::GetOffsets(float* offsets) const
{
    if (!offsets)
        return 0;
    const UnitSpec* unit = Selected();
    const std::array<float, 3> values = unit ? unit->originOffsets : std::array<float, 3>{};
    std::copy(values.begin(), values.end(), offsets);
    return unit ? 1 : 0;
}

int Bench::GetLengthAndWidth(char* length, char* width) const
{
    const UnitSpec* unit = Selected();
    if (length)
        CopyText(unit ? unit->platformLength : std::string(), length, ZORVA_USB_SIZE_TEXT_SIZE);
    if (width)
        CopyText(unit ? unit->platformWidth : std::string(), width, ZORVA_USB_SIZE_TEXT_SIZE);
    return unit && length && width ? 1 : 0;
}

int Bench::Blink()
{
    if (!Selected())
        return 0;
    ++blinks_[enumerated_[static_cast<std::size_t>(selected_)]];
    return 1;
}

// ---------------------------------------------------------------- calibration

int Bench::CheckCelvo(int* indices) const
{
    int c = 0;
    for (std::size_t k = 0; k < enumerated_.size(); ++k) {
        if (!scenario_.units[enumerated_[k]].calibrationPending)
            continue;
        // Only 16 slots: the rest are counted, not written.
        if (indices && c < ZORVA_USB_CHECK_CELVO_SLOTS)
            indices[c] = static_cast<int>(k);
        ++c;
    }
    return c;
}

int Bench::DownloadCalFile()
{
    download_ = Download{};
    if (!Selected())
        return -1; // nothing selected: failed
    const std::size_t unit = enumerated_[static_cast<std::size_t>(selected_)];
    const int r = scenario_.units[unit].calDownloadResult;
    if (r == 0) {
        download_.active = true;
        download_.unit = unit;
    }
    return r;
}

int Bench::IsDownloadComplete()
{
    if (!download_.active || download_.unit >= scenario_.units.size())
        return 2; // no download running: failed
    UnitSpec& unit = scenario_.units[download_.unit];
    const std::vector<int>& results = unit.calCompleteResults;
    const int q = results.empty() ? 1 : results[std::min(download_.polls, results.size() - 1)];
    ++download_.polls;
    if (q != 0) {
        download_.active = false;
        if (q == 1)
            unit.calibrationPending = false;
    }
    return q;
}

LibraryState Bench::State() const
{
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

// ---------------------------------------------------------------- data

bool Bench::CanProduce() const
{
    return initialised_ && initComplete_ && acquiring_ && posting_ && threadId_ != 0 && !enumerated_.empty();
}

std::size_t Bench::BacklogBlocks() const { return static_cast<std::size_t>(scenario_.backlogBlocks); }

std::size_t Bench::BlockFloats() const { return kSetsPerBlock * enumerated_.size() * kFloatsPerSet; }

void Bench::SkipSamples(std::uint64_t samples) { sampleClock_ += samples; }

bool Bench::NextBlockLost()
{
    ++blocksMeasured_;
    return scenario_.lostBlockEvery > 0 && blocksMeasured_ % static_cast<std::uint64_t>(scenario_.lostBlockEvery) == 0;
}

int Bench::FillBlock(float* block)
{
    // Lost blocks: their samples pass without reaching the backlog.
    sampleClock_ += kSetsPerBlock * static_cast<std::uint64_t>(skipsPending_);
    skipsPending_ = 0;

    const std::size_t n = enumerated_.size();
    for (std::size_t s = 0; s < kSetsPerBlock; ++s) {
        const std::uint64_t t = sampleClock_ + s;
        // A step back can take the counter below its start: it wraps backwards too.
        const std::uint64_t back = counterBack_ % kCounterModulus;
        const auto counter =
            static_cast<float>((scenario_.counterStart + t + kCounterModulus - back) % kCounterModulus);
        for (std::size_t k = 0; k < n; ++k) {
            const UnitSpec& unit = scenario_.units[enumerated_[k]];
            float* record = block + (s * n + k) * kFloatsPerSet;
            const std::array<float, 6> reading = UnitReading(unit, t, rate_);
            record[0] = counter;
            for (std::size_t c = 0; c < 6; ++c)
                record[1 + c] = reading[c] - zero_[k][c];
            if (clockEcho_)
                record[2] = static_cast<float>(t);
            const TriggerProfile& tr = unit.trigger;
            const bool active = tr.from >= 0 && t >= static_cast<std::uint64_t>(tr.from) &&
                                (tr.samples == 0 || t - static_cast<std::uint64_t>(tr.from) < tr.samples);
            record[7] = active ? tr.active : tr.idle;
        }
    }
    sampleClock_ += kSetsPerBlock;
    const int repeats = repeatsPending_;
    repeatsPending_ = 0;
    return repeats;
}

} // namespace detail
} // namespace zorvasim
