/// A simulated bench as the simulated USB library takes it: the scenario's
/// records (its signal conditioners, what each measures, how the library
/// behaves), the built-in scenario and the reader of scenario texts (INI,
/// simusb/README.md). The scenario reader is a library of its own
/// (simusb/scenario/), which the fuzz targets link too; the simulated library
/// exports these functions.
#pragma once

#include "driver/ZORVAUSBDevice.h"
#include "simusb/SimControlC.h" // ZORVA_SIM_API

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zorvasim {

/// The sample counter wraps to 0 when it reaches this value (2^24), as the
/// library's declarations say.
constexpr std::uint32_t kCounterModulus = ZORVA_USB_COUNTER_MODULUS;
/// Most units a scenario may describe.
constexpr std::size_t kMaxUnits = 64;
/// Accepted acquisition rates, datasets per second.
constexpr int kMinRate = 1;
constexpr int kMaxRate = 20000;
/// Accepted backlog sizes, blocks.
constexpr int kMinBacklog = 1;
constexpr int kMaxBacklog = 1024;
/// Largest clock error a scenario may give, parts per million either way.
constexpr double kMaxClockPpm = 100000.0;

enum class LoadKind
{
    None,      ///< nothing on the plate: only the amplifier offset shows
    Static,    ///< `load` all the time
    Steps,     ///< `load` for stepOn samples, nothing for stepOff samples, repeating
    Weight,    ///< a mass at rest at a point of the plate
    Walk,      ///< someone walking across the plate, pass after pass
    Treadmill, ///< someone walking on a treadmill whose belt runs over the plate
    Stand      ///< someone standing still on the plate, swaying
};

/// The walking direction in the plate frame (see LoadProfile).
enum class Direction
{
    PlusX,
    MinusX,
    PlusY,
    MinusY
};

/// Walk: the foot of the first contact of a pass. Treadmill: the feet whose
/// stances the plate carries (one plate per belt: Left or Right; one plate
/// under both feet: Both).
enum class Foot
{
    Left,
    Right,
    Both
};

/// What a unit measures, as a function of the sample clock (samples produced
/// since the last fmDLLInit or fmBroadcastResetSoftware). Times of the body
/// loads are seconds of that clock: sample n is at n / rate seconds.
///
/// The body loads (Weight, Walk, Treadmill, Stand) are given in the plate
/// frame, the axes in which the plugin reports force, moment and centre of
/// pressure: origin at the centre of the plate's top surface, x across (the
/// width), y along (the length), z up; forces are the ground reaction (the
/// force the plate exerts on the body). The library derives the amplifier's
/// readings from them (simusb/Loads.h).
struct LoadProfile
{
    LoadKind kind = LoadKind::None;
    /// Static, Steps: Fx, Fy, Fz (N) and Mx, My, Mz (N m) while loaded, in the
    /// amplifier's axes (a body standing on the plate gives a negative Fz).
    std::array<float, 6> load{};
    /// Amplifier offset added to every sample until fmBroadcastZero tares it out.
    std::array<float, 6> offset{};
    /// Steps: samples loaded, then samples unloaded; the cycle starts loaded at
    /// sample 0 of the sample clock.
    std::uint32_t stepOn = 0;
    std::uint32_t stepOff = 0;

    /// kg: the weight's mass, or the body's.
    float mass = 75.0f;
    /// m, plate frame: the weight's point; where someone stands; walk: the
    /// point of the line of progression where the first heel lands; treadmill:
    /// where heels land, on the line of progression.
    std::array<float, 2> at{};
    /// Walk, treadmill: the way the walker faces (on a treadmill the belt runs
    /// the other way).
    Direction direction = Direction::PlusY;
    /// Walk, treadmill: s from one foot's heel strike to the other's.
    float stepTime = 0.55f;
    /// Walk, treadmill: s each foot stays on the ground; above stepTime the
    /// feet share a double support, below 2 x stepTime.
    float stance = 0.65f;
    /// Walk: m between successive heel strikes along the direction; treadmill:
    /// how far the belt runs in a step.
    float stepLength = 0.7f;
    /// Walk, treadmill: m between the feet's lines; each foot lands half of it
    /// beside the line of progression.
    float stepWidth = 0.12f;
    /// Walk, treadmill: m from heel to toe, the path of a foot's centre of pressure.
    float footLength = 0.25f;
    /// Walk: foot contacts in one pass across the plate.
    std::uint32_t stepCount = 3;
    /// Walk: s from a pass's last toe-off to the next pass's first heel strike.
    float away = 2.0f;
    /// Walk: s of the sample clock at which a pass's first heel strike falls
    /// (passes repeat from there, both ways): plates along one walkway take
    /// the same walk, each its own steps and start.
    float start = 0.0f;
    /// Walk: the first foot of a pass (Left or Right); treadmill: the feet on
    /// this plate.
    Foot foot = Foot::Left;
    /// Stand: the share of the body weight on this plate (0 to 1).
    float share = 1.0f;
    /// Stand: m the centre of pressure wanders from `at` at most, along x and y.
    float sway = 0.008f;

    /// Sensor noise: the standard deviation of Gaussian noise on Fx..Mz.
    std::array<float, 6> noise{};
    /// Offset drift on Fx..Mz, per second of the sample clock.
    std::array<float, 6> drift{};
    /// Noise and sway are drawn from this seed: the same seed, the same samples.
    std::uint64_t seed = 0;

    bool operator==(const LoadProfile& o) const
    {
        return kind == o.kind && load == o.load && offset == o.offset && stepOn == o.stepOn && stepOff == o.stepOff &&
               mass == o.mass && at == o.at && direction == o.direction && stepTime == o.stepTime &&
               stance == o.stance && stepLength == o.stepLength && stepWidth == o.stepWidth &&
               footLength == o.footLength && stepCount == o.stepCount && away == o.away && start == o.start &&
               foot == o.foot && share == o.share && sway == o.sway && noise == o.noise && drift == o.drift &&
               seed == o.seed;
    }
};

/// The trigger input (float 7 of each record).
struct TriggerProfile
{
    float idle = 0.0f;
    float active = 1.0f;
    /// First sample of the sample clock at which the input is active; negative: never.
    std::int64_t from = -1;
    /// Samples it stays active; 0: stays active.
    std::uint32_t samples = 0;

    bool operator==(const TriggerProfile& o) const
    {
        return idle == o.idle && active == o.active && from == o.from && samples == o.samples;
    }
};

/// One signal conditioner with its force platform.
struct UnitSpec
{
    std::string name; ///< the section name after "unit"; for messages only
    int productType = 100;
    std::string amplifierModel;
    std::string amplifierSerial;
    std::string firmwareVersion;
    std::string platformModel;
    std::string platformSerial;
    std::array<float, 3> originOffsets{}; ///< X, Y, Z, inches
    std::string platformLength;           ///< decimal text, inches
    std::string platformWidth;            ///< decimal text, inches
    bool plugged = true;
    /// Pulled out just before the fmDLLInit of this number (counted from 1
    /// since the scenario was loaded), as a loose cable: enumerated by the
    /// inits before it, not by that one or later (plugged turns false);
    /// 0: never.
    int unplugAtInit = 0;
    /// Reported by fmBroadcastCheckCelvo until a download completes with 1.
    bool calibrationPending = false;
    /// What fmCelvoDownloadCalFile returns for this unit.
    int calDownloadResult = 0;
    /// What fmIsCelvoDownloadComplete returns, poll after poll, once a download
    /// has started; the last value repeats.
    std::vector<int> calCompleteResults{1};
    LoadProfile load;
    TriggerProfile trigger;

    bool operator==(const UnitSpec& o) const
    {
        return name == o.name && productType == o.productType && amplifierModel == o.amplifierModel &&
               amplifierSerial == o.amplifierSerial && firmwareVersion == o.firmwareVersion &&
               platformModel == o.platformModel && platformSerial == o.platformSerial &&
               originOffsets == o.originOffsets && platformLength == o.platformLength &&
               platformWidth == o.platformWidth && plugged == o.plugged && unplugAtInit == o.unplugAtInit &&
               calibrationPending == o.calibrationPending && calDownloadResult == o.calDownloadResult &&
               calCompleteResults == o.calCompleteResults && load == o.load && trigger == o.trigger;
    }
};

/// A bench of signal conditioners and how the library behaves on it.
struct Scenario
{
    std::string name;
    /// The poll of fmDLLIsDeviceInitComplete, counted from 1 after fmDLLInit,
    /// that first reports completion; 0: never completes.
    int initPolls = 3;
    /// What fmDLLSetupCheck returns.
    int setupCode = 1;
    /// Acquisition rate until fmBroadcastAcquisitionRate changes it, datasets per second.
    int rate = 1000;
    /// Counter value of the first sample after fmDLLInit or fmBroadcastResetSoftware.
    std::uint32_t counterStart = 0;
    /// Blocks kept for a reader that lags; the oldest goes when one more arrives.
    int backlogBlocks = 64;
    /// Parts per million the sample clock runs fast of the rate it was told
    /// (negative: slow), in free-running and virtual-clock modes: a block
    /// takes 16 / (rate x (1 + clockPpm / 10^6)) seconds.
    double clockPpm = 0.0;
    /// Every this many blocks the hardware measures, one is lost on the way
    /// (its time and its samples pass, no block reaches the backlog), as over
    /// a failing USB link; 0: none.
    int lostBlockEvery = 0;
    std::vector<UnitSpec> units;

    bool operator==(const Scenario& o) const
    {
        return name == o.name && initPolls == o.initPolls && setupCode == o.setupCode && rate == o.rate &&
               counterStart == o.counterStart && backlogBlocks == o.backlogBlocks && clockPpm == o.clockPpm &&
               lostBlockEvery == o.lostBlockEvery && units == o.units;
    }
};

/// The built-in scenario: two plates (see README.md).
ZORVA_SIM_API Scenario DefaultScenario();

/// Reads a scenario text (INI format, README.md). On failure `error` says what
/// and where, and `out` is unchanged.
ZORVA_SIM_API bool ParseScenario(const std::string& text, Scenario& out, std::string& error);
/// Checks the ranges a scenario must respect, and that each body load stays on
/// its plate (ValidateLoad in Loads.h); the parser applies it too.
ZORVA_SIM_API bool ValidateScenario(const Scenario& scenario, std::string& error);

} // namespace zorvasim
