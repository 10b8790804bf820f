// The commissioning self-test: detection and identity, a blink of each plate,
// the plates at rest before and after a zero, a known weight, a capture at
// each rate, the synchronisation modes and a rescan, each check with its
// measurement and its limit.
#include "devhost/engine/selftest/SelfTest.h"

#include "definitions/CustomDefinitions.h"
#include "contract/ProductTypes.h"
#include "contract/UnitIdentity.h"
#include "devhost/engine/capture/CaptureData.h"
#include "devhost/engine/PlateMatch.h"
#include "devhost/engine/Text.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <thread>

namespace zorvahost {

using namespace MoldraDigitalDevice;
using namespace selftest;

// ---------------------------------------------------------------- time

void RealTime::Pass(double seconds)
{
    if (seconds > 0.0)
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

bool RealTime::Await(const std::function<bool()>& done, double seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// ---------------------------------------------------------------- the window's blocks

namespace {

/// One sample kept for a plot: time from the window's start (s), then Fx..CoPy.
typedef std::array<float, 1 + ChannelCount> KeptSample;

/// What one plate pushed during a window.
struct PlateWindow
{
    std::vector<BlockArrival> blocks;
    ChannelStats stats;
    std::vector<KeptSample> samples; ///< only when the window keeps them
};

} // namespace

/// The plates' blocks during the self-test's current window: their arrival,
/// each channel's statistics and, on request, the samples for a plot. A
/// window lasts seconds, so what it keeps stays small.
///
/// Threads: Add runs on the plugin's worker (the host's sample sink), every
/// other member on the self-test's thread. `mutex_` guards every field.
class WindowCollector
{
public:
    /// Starts a new window (forgetting the last) at `rate` datasets per second.
    void Open(unsigned int rate, bool keepSamples)
    {
        hostkit::Lock lock(mutex_);
        open_ = true;
        rate_ = rate;
        keep_ = keepSamples;
        plates_.clear();
        origin_.clear();
    }

    void Close()
    {
        hostkit::Lock lock(mutex_);
        open_ = false;
    }

    /// Closes the window and hands over what it holds.
    std::map<std::string, PlateWindow> Take()
    {
        hostkit::Lock lock(mutex_);
        open_ = false;
        std::map<std::string, PlateWindow> taken;
        taken.swap(plates_);
        return taken;
    }

    /// The window's first block of `plate`; false before one came.
    bool First(const std::string& plate, BlockArrival& first) const
    {
        hostkit::Lock lock(mutex_);
        const auto it = plates_.find(plate);
        if (it == plates_.end() || it->second.blocks.empty())
            return false;
        first = it->second.blocks.front();
        return true;
    }

    /// The host's sample sink; nothing escapes into the plugin.
    void Add(hostkit::Instance& plate, const hostkit::SampleBlock& block) noexcept
    {
        try {
            hostkit::Lock lock(mutex_);
            if (!open_)
                return;
            PlateWindow& window = plates_[plate.DeviceName()];
            const int samples = block.values ? block.valueCount / static_cast<int>(kValuesPerSample) : 0;
            window.blocks.push_back(BlockArrival{block.frame, samples, block.hostTime});
            for (int s = 0; s < samples; ++s) {
                const float* values = block.values + static_cast<std::size_t>(s) * kValuesPerSample;
                window.stats.Add(values);
                if (!keep_ || rate_ == 0)
                    continue;
                const double time = static_cast<double>(block.frame + s) / rate_;
                auto origin = origin_.find(plate.DeviceName());
                if (origin == origin_.end())
                    origin = origin_.emplace(plate.DeviceName(), time).first;
                KeptSample kept;
                kept[0] = static_cast<float>(time - origin->second);
                std::copy(values, values + ChannelCount, kept.begin() + 1);
                window.samples.push_back(kept);
            }
        } catch (...) {
            // Out of memory: the window misses a block, which its checks show.
        }
    }

private:
    mutable hostkit::Mutex mutex_;
    bool open_ ZORVA_GUARDED_BY(mutex_) = false;
    bool keep_ ZORVA_GUARDED_BY(mutex_) = false;
    unsigned int rate_ ZORVA_GUARDED_BY(mutex_) = 0;
    std::map<std::string, PlateWindow> plates_ ZORVA_GUARDED_BY(mutex_);
    std::map<std::string, double> origin_ ZORVA_GUARDED_BY(mutex_); ///< sample time of each plate's first kept sample
};

// ---------------------------------------------------------------- helpers

namespace {

std::string Newtons(double value) { return Fixed(value, 2) + " N"; }

std::string PerSecond(unsigned int rate) { return std::to_string(rate) + " per second"; }

/// From a capture's start to every plate's first block, at most: the limit,
/// and the time one block takes at `rate`.
double FirstBlockLimit(unsigned int rate)
{
    return kFirstBlockSeconds + static_cast<double>(ZORVA::BlockLayout::SamplesPerBlock) / std::max(rate, 1u);
}

std::string UnitLabel(const hostkit::DetectedUnit& unit)
{
    return std::to_string(unit.index) + " " + (unit.amplifierSerial.empty() ? "(no serial)" : unit.amplifierSerial) +
           " / " + unit.platformModel + " " + unit.platformSerial;
}

/// Identity key as the plugin compares plates: models with serials.
ZORVA::IdentityKey IdentityKey(const hostkit::DetectedUnit& unit)
{
    return ZORVA::UnitIdentityKey(unit.amplifierModel, unit.amplifierSerial, unit.platformModel, unit.platformSerial);
}

const hostkit::OfferedDevice* FindPlate(const std::vector<hostkit::OfferedDevice>& plates, const std::string& name)
{
    for (const hostkit::OfferedDevice& plate : plates) {
        if (plate.deviceName == name)
            return &plate;
    }
    return nullptr;
}

} // namespace

const std::vector<CheckInfo>& CheckInfos()
{
    static const std::vector<CheckInfo> infos = {
        {CheckKind::Detection, "Detection", "The plugin's detection of the signal conditioners behind the USB library.",
         "Check that every signal conditioner is powered and its USB cable plugged in, and that the maker's "
         "ZORVAUSBDevice.dll is beside zorva-devhost.exe (zorva-devhost --version names the library in use); then "
         "run the self-test again. zorva-devhost detect --verbose shows every call to the library."},
        {CheckKind::Identity, "Identity",
         "Each unit's product type, amplifier, firmware and platform as it reports them, and the plate definition "
         "the plugin matched it to, with the rule that chose it.",
         "A product type the plugin does not drive needs another amplifier. Empty or equal serial numbers must be "
         "set in the amplifier with the maker's tools: the plugin tells plates apart by them. A plate matched to "
         "the generic \"Force plate\" or to the wrong model: check the platform model and size the unit reports and "
         "the lab's custom plates (zorva-devhost check-config)."},
        {CheckKind::Blink, "Blink",
         "The blink command of each plate reaches its amplifier, whose amber light then blinks for ten seconds.",
         "Only you can see which amplifier blinked: label each plate as it blinks. A command that did not reach the "
         "library: check the unit's USB connection and run zorva-devhost detect --verbose."},
        {CheckKind::Unloaded, "Unloaded reading", "The force each plate reads before it is zeroed, with nothing on it.",
         "Take everything off the plate and make sure nothing touches it (cables, cover plates, the floor around "
         "it), then run again. A large reading on an empty plate means a damaged plate or amplifier: call service."},
        {CheckKind::Zero, "Zero",
         "The mean of each channel after the plates were zeroed: nothing but noise should remain.",
         "If the zero did not reach the library the plates were not acquiring: check the USB connection. A mean "
         "that stays off zero is drift (let the amplifiers warm up for 30 minutes) or something that touched the "
         "plate while it ran."},
        {CheckKind::Noise, "Noise at rest", "The standard deviation of each channel of the unloaded, zeroed plate.",
         "Keep people and machines off and away from the plates while the test runs; check the cable shields and "
         "the grounding, and keep amplifiers and cables away from mains cables and motors (treadmills). One noisy "
         "channel alone points to its sensor or cable: call service."},
        {CheckKind::Weight, "Known weight",
         "The vertical force of a known mass against m g (standard gravity; local gravity differs by up to 0.3 %).",
         "Check the mass, that it stands wholly on this plate and on nothing else, and the plate's calibration (the "
         "amplifier's calibration file). A reading of the wrong sign means the plate is set up with wrong axes."},
        {CheckKind::CentreOfPressure, "Centre of pressure",
         "Where the plate puts the known weight, against where it was put (metres from the plate's centre, x "
         "across, y along the plate).",
         "Check where the weight stands and the plate's origin offsets (zorva-devhost detect); errors that grow "
         "toward the edges call for a recalibration."},
        {CheckKind::Continuity, "Capture",
         "A capture at each rate: every plate's blocks arrive, their sample numbers neither jump nor repeat, and "
         "the plugin runs the rate asked for.",
         "Lost samples: connect the amplifiers straight to the computer (or through a powered hub), use short, good "
         "USB cables and turn USB power saving off. Repeated numbers are a fault of the USB library or the "
         "amplifier's firmware. A rate the plugin did not run is one the units do not support."},
        {CheckKind::Rate, "Rate against the host clock",
         "The rate each plate achieved, timed by the computer's clock, in parts per million of the nominal rate.",
         "The amplifier's sample clock runs off its rate: its data drift against cameras synchronised by software "
         "trigger. Run again on an idle computer to rule out the computer's clock, then call service; genlock "
         "avoids the drift."},
        {CheckKind::SoftwareTrigger, "Software trigger",
         "Armed in software-trigger mode (every capture of the self-test), each plate delivers from the start.",
         "A plate that does not arm is not connected: run zorva-devhost detect. No block: check the USB connection "
         "and that no other program uses the amplifiers."},
        {CheckKind::Genlock, "Genlock", "Armed in genlock mode, each plate delivers, its sample numbers continuous.",
         "Check the genlock cable from the camera system's sync output to the amplifiers and its settings; without "
         "a genlock signal some amplifiers deliver nothing."},
        {CheckKind::HardwareTrigger, "Hardware trigger",
         "Armed in hardware-trigger mode, each plate delivers once the trigger input pulses, its samples numbered "
         "from the pulse.",
         "Check the trigger cable to the amplifiers' trigger input, and send the pulse while the self-test waits."},
        {CheckKind::Rescan, "Rescan",
         "A second detection finds the same units, reuses their plate devices and connects them again.",
         "A unit missing after the rescan has a loose cable or a failing hub or power supply: check its USB and "
         "power connections. A unit found only now was not ready at the first detection."},
    };
    return infos;
}

const CheckInfo& InfoOf(CheckKind kind) { return CheckInfos()[static_cast<std::size_t>(kind)]; }

bool SelfTestResult::AllPassed() const
{
    return !rows.empty() && usageError.empty() &&
           std::all_of(rows.begin(), rows.end(), [](const CheckRow& row) { return row.verdict == Verdict::Passed; });
}

double CaptureSeconds(unsigned int rate)
{
    if (rate == 0)
        return kCaptureSeconds;
    return std::max(kCaptureSeconds, static_cast<double>(kCaptureBlocks) * ZORVA::BlockLayout::SamplesPerBlock / rate);
}

std::vector<unsigned int> RatesToTest(const std::vector<unsigned int>& requested, const std::vector<int>& productTypes)
{
    std::vector<unsigned int> rates = requested.empty() ? ZORVA::SupportedRates(productTypes) : requested;
    // The rest checks run at the first: the plugin's default rate when it is among them.
    const auto standard = std::find(rates.begin(), rates.end(), 1000u);
    if (requested.empty() && standard != rates.end())
        std::rotate(rates.begin(), standard, standard + 1);
    return rates;
}

// ---------------------------------------------------------------- the self-test

struct SelfTest::Arming
{
    bool armed = false;                        ///< the shared device armed
    std::vector<std::string> refused;          ///< plates that did not arm
    unsigned int rate = 0;                     ///< what the plugin runs at
    double start = 0.0;                        ///< the capture's start, host clock
    std::map<std::string, BlockArrival> first; ///< each plate's first block
};

struct SelfTest::Window
{
    std::map<std::string, PlateWindow> plates;

    const PlateWindow* Of(const std::string& plate) const
    {
        const auto it = plates.find(plate);
        return it == plates.end() ? nullptr : &it->second;
    }
};

SelfTest::SelfTest(hostkit::PluginSession& session, SelfTestTime& time, const BenchControl& bench,
                   SelfTestOptions options, std::function<void(const std::string&)> say)
    : session_(session),
      time_(time),
      bench_(bench),
      options_(std::move(options)),
      say_(std::move(say)),
      collector_(std::make_shared<WindowCollector>())
{
    // The sink holds the collector: a block still on its way when the sink is
    // replaced finds it alive.
    std::shared_ptr<WindowCollector> collector = collector_;
    session_.SetSampleSink(
        [collector](hostkit::Instance& plate, const hostkit::SampleBlock& block) { collector->Add(plate, block); });
    session_.SetLogPrinter([this](const hostkit::LogLine& line) {
        log_.push_back(line);
        if (options_.logPrinter)
            options_.logPrinter(line);
    });
}

SelfTest::~SelfTest()
{
    session_.SetSampleSink(nullptr);
    session_.SetLogPrinter(nullptr);
}

void SelfTest::Say(const std::string& text)
{
    if (say_)
        say_(text);
}

void SelfTest::Add(CheckKind kind, const std::string& condition, const std::string& unit,
                   const std::string& measurement, const std::string& limit, Verdict verdict)
{
    result_.rows.push_back(CheckRow{kind, condition, unit, measurement, limit, verdict});
    if (verdict == Verdict::Failed)
        Say("  FAILED " + CheckName(kind) + (condition.empty() ? "" : " (" + condition + ")") + ", unit " + unit +
            ": " + measurement + "; limit: " + limit);
}

bool SelfTest::LoggedSince(std::size_t mark, ZORVA::LogLineId line, const std::string& value) const
{
    for (std::size_t i = mark; i < log_.size(); ++i) {
        std::string values;
        if (ZORVA::MatchLogLine(line, log_[i].text, &values) && values == value)
            return true;
    }
    return false;
}

void SelfTest::PassAndPoll(double seconds)
{
    const double step = 0.1;
    for (double passed = 0.0; passed < seconds - 1e-9; passed += step) {
        time_.Pass(std::min(step, seconds - passed));
        session_.Poll();
    }
}

SelfTestResult SelfTest::Run()
{
    const double started = time_.Now();
    if (Detect()) {
        CheckIdentity();
        if (!plated_.empty() && ResolveWeights()) {
            // At rest a plate reads little more than its noise: nothing may be blanked.
            session_.SetDataThreshold(0.0);
            session_.SetSyncMode(ZORVA::SyncMode::SoftwareTrigger);
            BlinkEach();
            RestAndRates();
            Rescan();
        }
    }
    collector_->Close();
    session_.DisarmAll();
    session_.Poll();
    result_.seconds = time_.Now() - started;
    return result_;
}

bool SelfTest::Detect()
{
    Say("Detecting the hardware...");
    const std::string limit = "a successful detection that finds a unit the plugin drives";
    if (!session_.InstantiateSharedDevice()) {
        Add(CheckKind::Detection, "", "bench", "the host got no shared configuration device from the plugin", limit,
            Verdict::Failed);
        return false;
    }
    bool finished = false;
    const bool done = time_.Await(
        [this, &finished] {
            for (const hostkit::DetectionReport& report : session_.Poll()) {
                detection_ = report;
                finished = true;
            }
            return finished;
        },
        hostkit::kDetectionTimeoutSeconds);
    if (!done) {
        Add(CheckKind::Detection, "", "bench",
            "no detection result within " + Short(hostkit::kDetectionTimeoutSeconds) + " s", limit, Verdict::Failed);
        return false;
    }
    int driven = 0;
    for (const hostkit::DetectedUnit& unit : detection_.units)
        driven += ZORVA::FindProductType(unit.productType) ? 1 : 0;
    const std::string found = std::to_string(detection_.units.size()) + " unit" +
                              (detection_.units.size() == 1 ? "" : "s") + ", " + std::to_string(driven) +
                              " of a type the plugin drives";
    if (!detection_.succeeded) {
        Add(CheckKind::Detection, "", "bench", "failed: " + detection_.message + "; " + found, limit, Verdict::Failed);
        return false;
    }
    Add(CheckKind::Detection, "", "bench", "succeeded (" + detection_.message + "): " + found, limit,
        driven > 0 ? Verdict::Passed : Verdict::Failed);
    return driven > 0;
}

void SelfTest::CheckIdentity()
{
    const std::vector<CustomPlateEntry> custom = CustomPlates(ZORVA::ReadCustomPlateSources());
    const std::vector<hostkit::OfferedDevice> plates = session_.Plates();
    std::map<ZORVA::IdentityKey, int> keys;
    for (const hostkit::DetectedUnit& unit : detection_.units)
        ++keys[IdentityKey(unit)];
    for (const hostkit::DetectedUnit& unit : detection_.units) {
        UnitRecord record;
        record.unit = unit;
        record.label = UnitLabel(unit);
        const bool driven = ZORVA::FindProductType(unit.productType) != nullptr;
        const hostkit::OfferedDevice* plate = driven ? PlateOf(plates, unit) : nullptr;
        record.why = ExplainMatch(unit, custom).reason;
        std::vector<std::string> problems;
        if (!driven)
            problems.push_back("product type " + std::to_string(unit.productType) + " is not one the plugin drives");
        else if (!plate)
            problems.push_back("no plate device (the host refused it, or detection did not finish)");
        else if (!hostkit::PluginSession::Connected(*plate))
            problems.push_back("its plate is not connected");
        if (unit.amplifierSerial.empty() || unit.platformSerial.empty())
            problems.push_back("a serial number is empty");
        if (unit.firmwareVersion.empty())
            problems.push_back("no firmware version");
        if (keys[IdentityKey(unit)] > 1)
            problems.push_back("another unit states the same models and serials");
        std::string measurement = "product type " + std::to_string(unit.productType) + ", firmware " +
                                  (unit.firmwareVersion.empty() ? "-" : unit.firmwareVersion);
        if (plate) {
            record.plate = plate->deviceName;
            record.definition = plate->definitionName;
            const hostkit::Definition* definition = session_.DefinitionOf(*plate);
            record.sizeX = definition ? definition->Number("StandardDimension_X") : 0.0;
            record.sizeY = definition ? definition->Number("StandardDimension_Y") : 0.0;
            measurement += ", plate \"" + record.definition + "\" (" + record.why + ")";
        }
        if (!problems.empty())
            measurement += "; " + Joined(problems, "; ");
        result_.units.push_back(record);
        Add(CheckKind::Identity, "", record.label, measurement,
            "a product type the plugin drives (100, 300, 400), serials and firmware stated, no two units alike, a "
            "connected plate device",
            problems.empty() ? Verdict::Passed : Verdict::Failed);
        if (plate && hostkit::PluginSession::Connected(*plate))
            plated_.push_back(result_.units.size() - 1);
    }
}

bool SelfTest::ResolveWeights()
{
    std::string list;
    for (std::size_t i = 0; i < plated_.size(); ++i)
        list += (list.empty() ? "" : ", ") + std::to_string(i) + " (" + result_.units[plated_[i]].plate + ")";
    for (const WeightSpec& weight : options_.weights) {
        int found = -1;
        for (std::size_t i = 0; i < plated_.size(); ++i) {
            if (result_.units[plated_[i]].plate == weight.plate)
                found = static_cast<int>(i);
        }
        if (found < 0) {
            const int index = ParseIndex(weight.plate);
            found = index >= 0 && index < static_cast<int>(plated_.size()) ? index : -1;
        }
        if (found < 0) {
            result_.usageError =
                "--weight " + weight.text + ": no plate \"" + weight.plate + "\"; the plates are " + list;
            return false;
        }
        const UnitRecord& unit = result_.units[plated_[static_cast<std::size_t>(found)]];
        if (weight.atGiven && unit.sizeX > 0.0 && unit.sizeY > 0.0 &&
            (std::fabs(weight.x) > unit.sizeX / 2 || std::fabs(weight.y) > unit.sizeY / 2)) {
            result_.usageError = "--weight " + weight.text + ": the point lies off plate " + unit.plate +
                                 ", which reaches to x +-" + Short(unit.sizeX / 2) + " m, y +-" +
                                 Short(unit.sizeY / 2) + " m from its centre";
            return false;
        }
        weights_.emplace_back(plated_[static_cast<std::size_t>(found)], weight);
    }
    return true;
}

void SelfTest::BlinkEach()
{
    Say("Blink: each plate's amplifier blinks in turn (its amber light, for ten seconds); note which plate is "
        "which.");
    const std::vector<hostkit::OfferedDevice> plates = session_.Plates();
    for (std::size_t n = 0; n < plated_.size(); ++n) {
        const UnitRecord& unit = result_.units[plated_[n]];
        const hostkit::OfferedDevice* plate = FindPlate(plates, unit.plate);
        if (!plate)
            continue;
        Say("  now: unit " + unit.label + ", plate " + std::to_string(n) + " (" + unit.plate + ")");
        const std::size_t mark = log_.size();
        session_.Blink(*plate);
        const std::string index = std::to_string(unit.unit.index);
        bool selected = false;
        const bool sent = time_.Await(
            [&] {
                session_.Poll();
                for (std::size_t i = mark; i < log_.size(); ++i) {
                    std::string value;
                    if (ZORVA::MatchLogLine(ZORVA::LogLineId::SelectDevice, log_[i].text, &value))
                        selected = value == index;
                    else if (selected && ZORVA::MatchLogLine(ZORVA::LogLineId::Blink, log_[i].text))
                        return true;
                }
                return false;
            },
            kCommandSeconds);
        Add(CheckKind::Blink, "", unit.label,
            sent ? "the library was told to blink device " + index
                 : "no blink command for device " + index + " reached the library within " + Short(kCommandSeconds) +
                       " s",
            "the command reaches the unit (its amber light blinks: watch it)",
            sent ? Verdict::Passed : Verdict::Failed);
        if (n + 1 < plated_.size())
            PassAndPoll(kBlinkPauseSeconds);
    }
}

SelfTest::Arming SelfTest::Arm(unsigned int rate)
{
    Arming arming;
    collector_->Close();
    session_.Poll();
    const std::size_t mark = log_.size();
    session_.SetSampleRate(std::to_string(rate));
    const hostkit::ArmResult armed = session_.ArmAll();
    arming.armed = armed.armed;
    arming.refused = armed.refused;
    arming.rate = session_.ArmedRate();
    // The plugin restarts acquisition on its worker after a pause: the
    // capture's time runs from when the library was told to start.
    if (arming.armed)
        time_.Await(
            [this, mark] {
                session_.Poll();
                return LoggedSince(mark, ZORVA::LogLineId::Start, "");
            },
            kCommandSeconds);
    arming.start = time_.Now();
    session_.StartCapture(arming.start);
    // Whatever comes from here on was measured for this arming.
    collector_->Open(arming.rate, false);
    session_.Poll();
    return arming;
}

void SelfTest::AwaitFirstBlocks(Arming& arming, double seconds)
{
    if (!arming.armed)
        return;
    for (;;) {
        bool all = true;
        for (std::size_t index : plated_) {
            const std::string& plate = result_.units[index].plate;
            if (std::find(arming.refused.begin(), arming.refused.end(), plate) != arming.refused.end())
                continue;
            BlockArrival first;
            if (!arming.first.count(plate) && collector_->First(plate, first))
                arming.first[plate] = first;
            all = all && arming.first.count(plate);
        }
        if (all || time_.Now() - arming.start >= seconds)
            return;
        time_.Pass(0.02);
        session_.Poll();
    }
}

SelfTest::Window SelfTest::Capture(double seconds, unsigned int rate, bool keepSamples)
{
    collector_->Open(rate, keepSamples);
    PassAndPoll(seconds);
    Window window;
    window.plates = collector_->Take();
    return window;
}

void SelfTest::ArmingRows(CheckKind kind, const Arming& arming)
{
    const double limitSeconds = FirstBlockLimit(arming.rate);
    for (std::size_t index : plated_) {
        const UnitRecord& unit = result_.units[index];
        std::string measurement;
        bool ok = false;
        const auto first = arming.first.find(unit.plate);
        if (!arming.armed)
            measurement = "the plugin did not arm (no plate can run)";
        else if (std::find(arming.refused.begin(), arming.refused.end(), unit.plate) != arming.refused.end())
            measurement = "not armed: the plate refused (not connected)";
        else if (first == arming.first.end())
            measurement = "armed, but no block within " + Short(limitSeconds, 2) + " s";
        else {
            const double after = first->second.hostTime - arming.start;
            measurement = "armed; first block " + Fixed(after, 2) + " s after the start";
            ok = after <= limitSeconds;
        }
        Add(kind, "", unit.label, measurement,
            "armed, and a block within " + Short(kFirstBlockSeconds) +
                " s of the start (plus a block's time: " + Short(limitSeconds, 2) + " s)",
            ok ? Verdict::Passed : Verdict::Failed);
    }
}

void SelfTest::ContinuityAndRateRows(unsigned int rate, const std::string& mode, const Arming& arming,
                                     const Window& window, bool timed)
{
    const std::string condition = PerSecond(rate) + (mode.empty() ? "" : ", " + mode);
    for (std::size_t index : plated_) {
        const UnitRecord& unit = result_.units[index];
        RateRow row;
        row.plate = unit.plate;
        row.rate = rate;
        const PlateWindow* plate = window.Of(unit.plate);
        const std::vector<BlockArrival> none;
        const std::vector<BlockArrival>& blocks = plate ? plate->blocks : none;
        row.continuity = MeasureContinuity(blocks);
        row.estimate = EstimateRate(blocks, arming.rate);
        if (timed)
            result_.rates.push_back(row);

        const Continuity& c = row.continuity;
        std::string measurement;
        if (arming.rate != rate)
            measurement =
                "the plugin ran " + std::to_string(arming.rate) + " per second: the units do not support this rate; ";
        if (!arming.armed)
            measurement += "not armed";
        else if (c.blocks == 0)
            measurement += "no block";
        else {
            measurement += std::to_string(c.samples) + " samples in " + std::to_string(c.blocks) + " blocks; lost " +
                           std::to_string(c.lostSamples) +
                           (c.gaps ? " (" + std::to_string(c.gaps) + (c.gaps == 1 ? " gap)" : " gaps)") : "") +
                           ", repeated " + std::to_string(c.repeatedSamples);
        }
        Add(CheckKind::Continuity, condition, unit.label, measurement,
            "blocks at this rate, no sample number lost or repeated",
            arming.rate == rate && c.Whole() ? Verdict::Passed : Verdict::Failed);

        if (!timed)
            continue;
        const RateEstimate& e = row.estimate;
        const std::string limit = "within +-" + Short(kRatePpm) + " ppm of " + std::to_string(rate);
        if (!e.measured) {
            Add(CheckKind::Rate, condition, unit.label, "too few blocks to time", limit,
                c.blocks == 0 ? Verdict::NotRun : Verdict::Failed);
            continue;
        }
        const RateJudgement judgement = JudgeRate(e, kRatePpm);
        std::string timing = Fixed(e.rate, 3) + " per second: " + (e.ppm >= 0.5 ? "+" : "") + Fixed(e.ppm, 0) +
                             " ppm (+-" + Fixed(e.uncertaintyPpm, 0) + ", " + std::to_string(e.blocksUsed) + " blocks)";
        if (judgement == RateJudgement::WithinScatter)
            timing += ", within the arrivals' scatter";
        else if (judgement == RateJudgement::TooScattered)
            timing += ": the arrivals scattered too much to judge; run again on an idle computer";
        const bool passed = judgement == RateJudgement::Within || judgement == RateJudgement::WithinScatter;
        Add(CheckKind::Rate, condition, unit.label, timing, limit,
            arming.rate == rate && passed ? Verdict::Passed : Verdict::Failed);
    }
}

void SelfTest::RestAndRates()
{
    std::vector<int> types;
    for (std::size_t index : plated_)
        types.push_back(result_.units[index].unit.productType);
    const std::vector<unsigned int> rates = RatesToTest(options_.rates, types);
    if (rates.empty())
        return;
    const unsigned int first = rates[0];

    Say("At rest, " + PerSecond(first) + ": leave every plate unloaded, with nothing touching it.");
    Arming arming = Arm(first);
    AwaitFirstBlocks(arming, FirstBlockLimit(first));
    // Every capture is in software-trigger mode; the first one says how it armed.
    ArmingRows(CheckKind::SoftwareTrigger, arming);

    UnloadedRows(Capture(kUnloadedSeconds, arming.rate, false));

    Say("Zeroing the plates.");
    const std::size_t mark = log_.size();
    session_.ZeroAll();
    session_.Poll();
    const bool zeroed = LoggedSince(mark, ZORVA::LogLineId::Zero, "");
    PassAndPoll(kSettleSeconds);
    const Window rest = Capture(CaptureSeconds(first), arming.rate, true);
    ZeroAndNoiseRows(rest, zeroed);
    ContinuityAndRateRows(first, "", arming, rest, true);

    WeighEach(first);
    for (std::size_t i = 1; i < rates.size(); ++i)
        CaptureAt(rates[i]);
    Synchronisation(first);
}

void SelfTest::UnloadedRows(const Window& unloaded)
{
    for (std::size_t index : plated_) {
        const UnitRecord& unit = result_.units[index];
        const PlateWindow* plate = unloaded.Of(unit.plate);
        const std::string limit =
            "|Fx|, |Fy| at most " + Short(kUnloadedForceN / 2) + " N, |Fz| at most " + Short(kUnloadedForceN) + " N";
        if (!plate || plate->stats.Count() == 0) {
            Add(CheckKind::Unloaded, "", unit.label, "no samples", limit, Verdict::NotRun);
            continue;
        }
        const ChannelStats& s = plate->stats;
        const bool ok = std::fabs(s.Mean(ChannelFx)) <= kUnloadedForceN / 2 &&
                        std::fabs(s.Mean(ChannelFy)) <= kUnloadedForceN / 2 &&
                        std::fabs(s.Mean(ChannelFz)) <= kUnloadedForceN;
        Add(CheckKind::Unloaded, "", unit.label,
            "mean Fx " + Newtons(s.Mean(ChannelFx)) + ", Fy " + Newtons(s.Mean(ChannelFy)) + ", Fz " +
                Newtons(s.Mean(ChannelFz)),
            limit, ok ? Verdict::Passed : Verdict::Failed);
    }
}

void SelfTest::ZeroAndNoiseRows(const Window& rest, bool zeroed)
{
    for (std::size_t index : plated_) {
        const UnitRecord& unit = result_.units[index];
        const PlateWindow* plate = rest.Of(unit.plate);
        const std::string zeroLimit =
            "|mean| at most " + Short(kZeroForceN) + " N (forces), " + Short(kZeroMomentNm) + " N m (moments)";
        std::string noiseLimit = "standard deviation at most";
        for (int c = ChannelFx; c <= ChannelMz; ++c)
            noiseLimit += std::string(c == ChannelFx ? " " : ", ") + ChannelName(c) + " " +
                          Short(kNoise[static_cast<std::size_t>(c)]) +
                          (c == ChannelFz || c == ChannelMz ? " " + std::string(ChannelUnit(c)) : "");
        if (!plate || plate->stats.Count() < 2) {
            Add(CheckKind::Zero, "", unit.label, "no samples", zeroLimit, Verdict::NotRun);
            Add(CheckKind::Noise, "", unit.label, "no samples", noiseLimit, Verdict::NotRun);
            continue;
        }
        const ChannelStats& s = plate->stats;
        std::string means, deviations;
        bool zeroOk = zeroed, noiseOk = true;
        for (int c = ChannelFx; c <= ChannelMz; ++c) {
            const bool force = c <= ChannelFz;
            means += std::string(c == ChannelFx ? "" : ", ") + ChannelName(c) + " " + Fixed(s.Mean(c), force ? 2 : 3);
            deviations += std::string(c == ChannelFx ? "" : ", ") + ChannelName(c) + " " + Fixed(s.Deviation(c), 3);
            if (c == ChannelFz || c == ChannelMz) {
                means += std::string(" ") + ChannelUnit(c);
                deviations += std::string(" ") + ChannelUnit(c);
            }
            zeroOk = zeroOk && std::fabs(s.Mean(c)) <= (force ? kZeroForceN : kZeroMomentNm);
            noiseOk = noiseOk && s.Deviation(c) <= kNoise[static_cast<std::size_t>(c)];
        }
        Add(CheckKind::Zero, "", unit.label,
            zeroed ? "mean after zeroing " + means : "the zero command did not reach the library; mean " + means,
            zeroLimit, zeroOk ? Verdict::Passed : Verdict::Failed);
        Add(CheckKind::Noise, "", unit.label, deviations + " (" + std::to_string(s.Count()) + " samples)", noiseLimit,
            noiseOk ? Verdict::Passed : Verdict::Failed);
        RestTrace trace;
        trace.plate = unit.plate;
        for (const KeptSample& k : plate->samples)
            trace.samples.push_back({k[0], k[1], k[2], k[3], k[4], k[5], k[6]});
        result_.rest.push_back(std::move(trace));
    }
}

void SelfTest::WeighEach(unsigned int rate)
{
    for (const auto& entry : weights_) {
        const UnitRecord& unit = result_.units[entry.first];
        const WeightSpec& weight = entry.second;
        WeightTrace trace;
        trace.plate = unit.plate;
        trace.weight = weight;
        trace.expectedN = weight.kg * kGravity;
        trace.toleranceN = std::max(kWeightShare * trace.expectedN, kWeightMinimumN);
        trace.sizeX = unit.sizeX;
        trace.sizeY = unit.sizeY;
        const std::string where =
            weight.atGiven ? "at x " + Short(weight.x) + " m, y " + Short(weight.y) + " m from its centre" : "";
        Say("Weight: put " + Short(weight.kg) + " kg on plate " + unit.plate + (where.empty() ? "" : " " + where) +
            " (unit " + unit.label + "); the self-test waits up to " + Short(kWeightWaitSeconds) + " s for it.");
        const int benchUnit = bench_.Available() ? bench_.FindUnit(unit.unit.amplifierSerial, unit.unit.platformModel,
                                                                   unit.unit.platformSerial)
                                                 : -1;
        if (benchUnit >= 0 && bench_.PlaceWeight(benchUnit, weight.kg, weight.x, weight.y))
            Say("  (simulated bench: the self-test puts it there itself)");

        // Wait for a load of at least half the weight that holds still.
        bool placed = false;
        double previous = -1e9, mean = 0.0;
        for (double waited = 0.0; waited < kWeightWaitSeconds && !placed; waited += 0.25) {
            const Window quarter = Capture(0.25, rate, false);
            const PlateWindow* plate = quarter.Of(unit.plate);
            if (!plate || plate->stats.Count() == 0)
                continue;
            mean = plate->stats.Mean(ChannelFz);
            placed =
                mean >= 0.5 * trace.expectedN && std::fabs(mean - previous) <= std::max(0.005 * trace.expectedN, 1.0);
            previous = mean;
        }
        const std::string forceLimit = Fixed(trace.expectedN, 1) + " N (m g) +- " + Fixed(trace.toleranceN, 1) + " N";
        const std::string copLimit = "within " + Short(kCopMetres * 1000) + " mm of where it was put";
        if (!placed) {
            Add(CheckKind::Weight, Short(weight.kg) + " kg", unit.label,
                "no steady load of at least half of it within " + Short(kWeightWaitSeconds) + " s (mean Fz " +
                    Newtons(mean) + ")",
                forceLimit, Verdict::Failed);
            if (weight.atGiven)
                Add(CheckKind::CentreOfPressure, Short(weight.kg) + " kg", unit.label, "no load", copLimit,
                    Verdict::NotRun);
        } else {
            const Window measured = Capture(kWeightSeconds, rate, true);
            const PlateWindow* plate = measured.Of(unit.plate);
            const bool any = plate && plate->stats.Count() > 0;
            const double fz = any ? plate->stats.Mean(ChannelFz) : 0.0;
            const double difference = fz - trace.expectedN;
            Add(CheckKind::Weight, Short(weight.kg) + " kg", unit.label,
                any ? "mean Fz " + Newtons(fz) + " (" + (difference >= 0 ? "+" : "") + Fixed(difference, 2) + " N, " +
                          Fixed(100.0 * difference / trace.expectedN, 2) + " %)"
                    : "no samples",
                forceLimit, any && std::fabs(difference) <= trace.toleranceN ? Verdict::Passed : Verdict::Failed);
            if (weight.atGiven) {
                const double x = any ? plate->stats.Mean(ChannelCopX) : 0.0;
                const double y = any ? plate->stats.Mean(ChannelCopY) : 0.0;
                const double off = Distance(x, y, weight.x, weight.y);
                Add(CheckKind::CentreOfPressure, Short(weight.kg) + " kg", unit.label,
                    any ? "mean at x " + Fixed(x, 4) + " m, y " + Fixed(y, 4) + " m: " + Fixed(off * 1000, 1) +
                              " mm from x " + Short(weight.x) + ", y " + Short(weight.y)
                        : "no samples",
                    copLimit, any && off <= kCopMetres ? Verdict::Passed : Verdict::Failed);
            }
            if (plate) {
                for (const KeptSample& k : plate->samples)
                    trace.samples.push_back({k[0], k[1 + ChannelFz], k[1 + ChannelCopX], k[1 + ChannelCopY]});
            }
        }
        result_.weights.push_back(std::move(trace));
        Say("  Take the weight off plate " + unit.plate + ".");
        if (benchUnit >= 0)
            bench_.PlaceWeight(benchUnit, 0.0, 0.0, 0.0);
    }
}

void SelfTest::CaptureAt(unsigned int rate)
{
    const double seconds = CaptureSeconds(rate);
    Say("Capturing at " + PerSecond(rate) + " for " + Short(seconds, 1) + " s.");
    Arming arming = Arm(rate);
    AwaitFirstBlocks(arming, FirstBlockLimit(rate));
    const Window window = Capture(seconds, arming.rate, false);
    ContinuityAndRateRows(rate, "", arming, window, true);
}

void SelfTest::Synchronisation(unsigned int rate)
{
    Say("Genlock: armed to follow the genlock input, " + PerSecond(rate) + ".");
    session_.SetSyncMode(ZORVA::SyncMode::Genlock);
    Arming arming = Arm(rate);
    const double limit = FirstBlockLimit(rate);
    AwaitFirstBlocks(arming, limit);
    Window window = Capture(kSyncSeconds, arming.rate, false);
    ArmingRows(CheckKind::Genlock, arming);
    ContinuityAndRateRows(rate, "genlock", arming, window, false);

    if (options_.hardwareTrigger) {
        session_.SetSyncMode(ZORVA::SyncMode::HardwareTrigger);
        arming = Arm(rate);
        Say("Hardware trigger: send a pulse to the trigger input now; the self-test waits up to " +
            Short(kTriggerWaitSeconds) + " s.");
        if (bench_.Available()) {
            PassAndPoll(0.5);
            if (bench_.PulseTrigger(ZORVA::BlockLayout::SamplesPerBlock))
                Say("  (simulated bench: the self-test sends it itself)");
        }
        AwaitFirstBlocks(arming, kTriggerWaitSeconds);
        window = Capture(kSyncSeconds, arming.rate, false);
        const std::string limitText = "a block within " + Short(kTriggerWaitSeconds) +
                                      " s, its samples numbered from the pulse (sample 0 in the first block)";
        for (std::size_t index : plated_) {
            const UnitRecord& unit = result_.units[index];
            const auto first = arming.first.find(unit.plate);
            if (!arming.armed || first == arming.first.end()) {
                Add(CheckKind::HardwareTrigger, "", unit.label,
                    arming.armed ? "no block: no pulse seen within " + Short(kTriggerWaitSeconds) + " s"
                                 : "the plugin did not arm",
                    limitText, Verdict::Failed);
                continue;
            }
            const BlockArrival& block = first->second;
            const bool aligned = block.frame <= 0 && block.frame + block.samples > 0;
            Add(CheckKind::HardwareTrigger, "", unit.label,
                "first block " + Fixed(block.hostTime - arming.start, 2) + " s after arming, from sample " +
                    std::to_string(block.frame),
                limitText, aligned ? Verdict::Passed : Verdict::Failed);
        }
        ContinuityAndRateRows(rate, "hardware trigger", arming, window, false);
    }
    collector_->Close();
    session_.DisarmAll();
}

void SelfTest::Rescan()
{
    Say("Rescan: detecting the hardware again; it must find the same units.");
    const std::vector<hostkit::OfferedDevice> platesBefore = session_.Plates();
    session_.Rescan();
    hostkit::DetectionReport report;
    bool finished = false;
    const bool done = time_.Await(
        [this, &report, &finished] {
            for (const hostkit::DetectionReport& each : session_.Poll()) {
                report = each;
                finished = true;
            }
            return finished;
        },
        hostkit::kDetectionTimeoutSeconds);
    const std::string limit = "every unit found again, its plate device reused and connected; no other unit";
    if (!done || !report.succeeded) {
        Add(CheckKind::Rescan, "", "bench",
            done ? "the detection failed: " + report.message
                 : "no detection result within " + Short(hostkit::kDetectionTimeoutSeconds) + " s",
            limit, Verdict::Failed);
        return;
    }
    const std::vector<hostkit::OfferedDevice> plates = session_.Plates();
    std::vector<bool> matched(report.units.size(), false);
    for (const UnitRecord& unit : result_.units) {
        int again = -1;
        for (std::size_t i = 0; i < report.units.size(); ++i) {
            if (!matched[i] && IdentityKey(report.units[i]) == IdentityKey(unit.unit)) {
                again = static_cast<int>(i);
                break;
            }
        }
        if (again < 0) {
            Add(CheckKind::Rescan, "", unit.label,
                "not found: the rescan lists " + std::to_string(report.units.size()) + " unit" +
                    (report.units.size() == 1 ? "" : "s"),
                limit, Verdict::Failed);
            continue;
        }
        matched[static_cast<std::size_t>(again)] = true;
        std::string measurement = "found again as device " + std::to_string(report.units[again].index);
        bool ok = true;
        if (!unit.plate.empty()) {
            const hostkit::OfferedDevice* before = FindPlate(platesBefore, unit.plate);
            const hostkit::OfferedDevice* now = FindPlate(plates, unit.plate);
            ok = before && now && now->SameDevice(*before) && hostkit::PluginSession::Connected(*now);
            measurement += ok ? ", its plate connected" : ", but its plate device is not the same or not connected";
        }
        Add(CheckKind::Rescan, "", unit.label, measurement, limit, ok ? Verdict::Passed : Verdict::Failed);
    }
    for (std::size_t i = 0; i < report.units.size(); ++i) {
        if (!matched[i])
            Add(CheckKind::Rescan, "", UnitLabel(report.units[i]), "found now, not at the first detection", limit,
                Verdict::Failed);
    }
    if (plates.size() != platesBefore.size())
        Add(CheckKind::Rescan, "", "bench",
            std::to_string(plates.size() - platesBefore.size()) + " new plate device(s) for units already known", limit,
            Verdict::Failed);
}

} // namespace zorvahost
