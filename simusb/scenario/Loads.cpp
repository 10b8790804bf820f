// The loads of the simulated bench as physics (Loads.h).
#include "simusb/Loads.h"

#include <algorithm>
#include <cmath>
#include <locale>
#include <sstream>

namespace zorvasim {

namespace {

constexpr double kPi = 3.14159265358979323846;

// A stance's vertical force in body weights is M sin(pi p) + P sin(3 pi p)
// over its phase p (0 heel strike, 1 toe-off): peaks of about 1.2 near a
// quarter and three quarters of the stance, a valley of M - P = 0.75 between.
// Two feet's stances then carry the body weight over a stride.
constexpr double kVerticalMain = 1.22;
constexpr double kVerticalPeaks = 0.47;
// Fore-aft shear, body weights: braking in the first half, propulsion in the
// second, with no net impulse (a steady pace).
constexpr double kForeAftShear = 0.18;
// Sideways shear, body weights, toward the body's midline.
constexpr double kSideShear = 0.05;
// Free moment about the vertical, N m per newton of body weight.
constexpr double kFreeMoment = 0.004;
// The centre of pressure's path runs from the heel's outer side to the toe's
// inner side, this far off the foot's line each way (m).
constexpr double kCopSideShift = 0.01;
// Standing: height of the centre of mass (m), of an inverted pendulum.
constexpr double kComHeight = 1.0;
// Standing sway: three sinusoids per axis, of these shares of the sway,
// between these frequencies (Hz).
constexpr double kSwayShares[3] = {0.5, 0.3, 0.2};
constexpr double kSwayLowHz = 0.05;
constexpr double kSwayHighHz = 0.5;

// Phases of each contact a validation looks at.
constexpr int kPhasesChecked = 50;
constexpr double kMaxMass = 10000.0;
constexpr double kMaxSway = 0.1;

std::uint64_t Mix(std::uint64_t z)
{
    z += 0x9e3779b97f4a7c15ull;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

/// Uniform in [0, 1) from 53 bits of a hash.
double Unit(std::uint64_t h) { return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0); }

std::uint64_t NameHash(const std::string& name)
{
    std::uint64_t h = 1469598103934665603ull; // FNV-1a
    for (unsigned char c : name) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

/// The walker's forward and left directions in the plate frame.
struct Heading
{
    Vec3 forward;
    Vec3 left; // up x forward
};

Heading HeadingOf(Direction d)
{
    switch (d) {
    case Direction::PlusX: return {{1, 0, 0}, {0, 1, 0}};
    case Direction::MinusX: return {{-1, 0, 0}, {0, -1, 0}};
    case Direction::PlusY: return {{0, 1, 0}, {-1, 0, 0}};
    case Direction::MinusY: return {{0, -1, 0}, {1, 0, 0}};
    }
    return {{0, 1, 0}, {-1, 0, 0}};
}

Vec3 At(const LoadProfile& p) { return {p.at[0], p.at[1], 0.0}; }

/// The heel's landing point of a foot (side +1 left, -1 right) whose line of
/// progression passes through `line`.
Vec3 Heel(const LoadProfile& p, const Heading& h, const Vec3& line, double side)
{
    return line + (side * 0.5 * p.stepWidth) * h.left;
}

/// One foot at `phase` of its stance. The centre of pressure rolls from the
/// heel to the toe, a little faster at both ends than at mid-stance; on a
/// treadmill the belt carries the whole foot back meanwhile.
Contact FootContact(const LoadProfile& p, const Heading& h, const Vec3& heel, double side, double beltSpeed,
                    double phase)
{
    const double weight = p.mass * kGravity;
    const double roll = phase + 0.1 * std::sin(2.0 * kPi * phase);
    const Vec3 outward = side * h.left;
    Contact c;
    c.point = heel + (p.footLength * roll - beltSpeed * p.stance * phase) * h.forward +
              (kCopSideShift * (1.0 - 2.0 * roll)) * outward;
    const double vertical =
        weight * (kVerticalMain * std::sin(kPi * phase) + kVerticalPeaks * std::sin(3.0 * kPi * phase));
    const double foreAft = -weight * kForeAftShear * std::sin(2.0 * kPi * phase);
    const double inward = weight * kSideShear * std::sin(kPi * phase);
    c.force = foreAft * h.forward + (-inward) * outward + Vec3{0.0, 0.0, vertical};
    c.freeMoment = side * kFreeMoment * weight * std::sin(2.0 * kPi * phase);
    return c;
}

void Add(PlateLoad& load, const Contact& c)
{
    if (load.count < kMaxContacts)
        load.contacts[load.count++] = c;
}

/// Side of a walk's k-th contact: the first foot, then alternating.
double WalkSide(const LoadProfile& p, std::uint64_t k)
{
    const double first = p.foot == Foot::Right ? -1.0 : 1.0;
    return k % 2 == 0 ? first : -first;
}

Contact WalkContact(const LoadProfile& p, const Heading& h, std::uint64_t k, double phase)
{
    const double side = WalkSide(p, k);
    const Vec3 line = At(p) + (static_cast<double>(k) * p.stepLength) * h.forward;
    return FootContact(p, h, Heel(p, h, line, side), side, 0.0, phase);
}

double PassSeconds(const LoadProfile& p)
{
    return static_cast<double>(p.stepCount - 1) * p.stepTime + p.stance + p.away;
}

void AddWalk(const LoadProfile& p, double seconds, PlateLoad& load)
{
    if (p.stepCount == 0 || !(p.stepTime > 0.0f))
        return;
    const Heading h = HeadingOf(p.direction);
    const double pass = PassSeconds(p);
    double t = std::fmod(seconds - p.start, pass);
    if (t < 0.0)
        t += pass;
    // Stances are shorter than two steps: only the latest two contacts can be on.
    const double latest = std::min(std::floor(t / p.stepTime), static_cast<double>(p.stepCount - 1));
    for (double k = std::max(0.0, latest - 1.0); k <= latest; k += 1.0) {
        const double into = t - k * p.stepTime;
        if (into >= 0.0 && into < p.stance)
            Add(load, WalkContact(p, h, static_cast<std::uint64_t>(k), into / p.stance));
    }
}

/// A treadmill foot's stance starts (side +1 left) at 0, (-1 right) one step
/// later, every stride; the belt runs one step length per step.
Contact TreadmillContact(const LoadProfile& p, const Heading& h, double side, double phase)
{
    return FootContact(p, h, Heel(p, h, At(p), side), side, p.stepLength / p.stepTime, phase);
}

void AddTreadmill(const LoadProfile& p, double seconds, PlateLoad& load)
{
    if (!(p.stepTime > 0.0f))
        return;
    const Heading h = HeadingOf(p.direction);
    const double stride = 2.0 * p.stepTime;
    for (double side : {1.0, -1.0}) {
        if ((side > 0 && p.foot == Foot::Right) || (side < 0 && p.foot == Foot::Left))
            continue;
        // The walk is in its steady state from sample 0 on: the right foot's
        // stance that began before it is still on then.
        double into = std::fmod(seconds - (side > 0 ? 0.0 : p.stepTime), stride);
        if (into < 0.0)
            into += stride;
        if (into < p.stance)
            Add(load, TreadmillContact(p, h, side, into / p.stance));
    }
}

/// Standing: the centre of pressure wanders about `at` as three slow
/// sinusoids per axis, drawn from the seed (plates with the same seed sway
/// together, as one person's two feet). The body is an inverted pendulum: the
/// centre of mass follows each sinusoid a little less far, and the horizontal
/// force is what accelerates it.
void AddStand(const LoadProfile& p, double seconds, PlateLoad& load)
{
    Contact c;
    c.point = At(p);
    c.force.z = p.share * p.mass * kGravity;
    for (int axis = 0; axis < 2; ++axis) {
        double offset = 0.0;
        double force = 0.0;
        for (int i = 0; i < 3; ++i) {
            const std::uint64_t h = Mix(Mix(p.seed ^ 0x5357415953574159ull) + static_cast<std::uint64_t>(axis * 3 + i));
            const double omega = 2.0 * kPi * (kSwayLowHz + (kSwayHighHz - kSwayLowHz) * Unit(h));
            const double wave = std::sin(omega * seconds + 2.0 * kPi * Unit(Mix(h)));
            const double cop = kSwayShares[i] * p.sway;
            const double com = cop / (1.0 + kComHeight * omega * omega / kGravity);
            offset += cop * wave;
            force -= p.share * p.mass * omega * omega * com * wave;
        }
        (axis == 0 ? c.point.x : c.point.y) += offset;
        (axis == 0 ? c.force.x : c.force.y) += force;
    }
    Add(load, c);
}

bool LegacyLoaded(const LoadProfile& p, std::uint64_t sample)
{
    if (p.kind == LoadKind::Static)
        return true;
    if (p.kind == LoadKind::Steps) {
        const std::uint64_t cycle = std::uint64_t(p.stepOn) + p.stepOff;
        return cycle > 0 && sample % cycle < p.stepOn;
    }
    return false;
}

bool BodyLoad(LoadKind kind)
{
    return kind == LoadKind::Weight || kind == LoadKind::Walk || kind == LoadKind::Treadmill || kind == LoadKind::Stand;
}

/// A decimal number of inches, as the unit's length and width texts usually are.
bool Inches(const std::string& text, double& out)
{
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double v = 0.0;
    if (!(in >> v))
        return false;
    in >> std::ws;
    if (!in.eof() || !std::isfinite(v) || v <= 0.0)
        return false;
    out = v;
    return true;
}

/// Calls `fn` with every centre-of-pressure point the load can put on the plate.
template <typename Fn>
void ForEachPoint(const LoadProfile& p, Fn fn)
{
    const Heading h = HeadingOf(p.direction);
    switch (p.kind) {
    case LoadKind::Weight: fn(At(p)); break;
    case LoadKind::Stand:
        for (double dx : {-1.0, 1.0})
            for (double dy : {-1.0, 1.0})
                fn(At(p) + Vec3{dx * p.sway, dy * p.sway, 0.0});
        break;
    case LoadKind::Walk:
        for (std::uint64_t k = 0; k < p.stepCount; ++k)
            for (int i = 0; i <= kPhasesChecked; ++i)
                fn(WalkContact(p, h, k, static_cast<double>(i) / kPhasesChecked).point);
        break;
    case LoadKind::Treadmill:
        for (double side : {1.0, -1.0}) {
            if ((side > 0 && p.foot == Foot::Right) || (side < 0 && p.foot == Foot::Left))
                continue;
            for (int i = 0; i <= kPhasesChecked; ++i)
                fn(TreadmillContact(p, h, side, static_cast<double>(i) / kPhasesChecked).point);
        }
        break;
    default: break;
    }
}

std::string Number(double v)
{
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s.precision(3);
    s << v;
    return s.str();
}

} // namespace

const char* LoadKindName(LoadKind kind)
{
    switch (kind) {
    case LoadKind::None: return "none";
    case LoadKind::Static: return "static";
    case LoadKind::Steps: return "steps";
    case LoadKind::Weight: return "weight";
    case LoadKind::Walk: return "walk";
    case LoadKind::Treadmill: return "treadmill";
    case LoadKind::Stand: return "stand";
    }
    return "unknown";
}

PlateLoad LoadAt(const LoadProfile& profile, double seconds)
{
    PlateLoad load;
    switch (profile.kind) {
    case LoadKind::Weight: Add(load, Contact{At(profile), {0.0, 0.0, profile.mass * kGravity}, 0.0}); break;
    case LoadKind::Walk: AddWalk(profile, seconds, load); break;
    case LoadKind::Treadmill: AddTreadmill(profile, seconds, load); break;
    case LoadKind::Stand: AddStand(profile, seconds, load); break;
    default: break;
    }
    return load;
}

std::array<double, 6> AmplifierReading(const PlateLoad& load, const std::array<float, 3>& originInches)
{
    const Vec3 force = TurnedAboutY(load.Force());
    const Vec3 moment = TurnedAboutY(load.MomentAbout(SensorOrigin(originInches)));
    return {force.x, force.y, force.z, moment.x, moment.y, moment.z};
}

double NoiseSample(std::uint64_t seed, const std::string& unitName, int channel, std::uint64_t sample)
{
    // A hash per sample rather than a generator's sequence: the same sample
    // reads the same whichever block, repeat or tare asks for it.
    const std::uint64_t key = Mix(Mix(seed ^ NameHash(unitName)) + static_cast<std::uint64_t>(channel));
    const std::uint64_t h = Mix(key + sample * 0x9e3779b97f4a7c15ull);
    const double u1 = Unit(h) + 1.0 / 9007199254740992.0; // (0, 1]: the logarithm stays finite
    const double u2 = Unit(Mix(h));
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}

std::array<float, 6> UnitReading(const UnitSpec& unit, std::uint64_t sample, int rate, bool withNoise)
{
    const LoadProfile& p = unit.load;
    std::array<float, 6> r = p.offset;
    if (LegacyLoaded(p, sample))
        for (std::size_t c = 0; c < 6; ++c)
            r[c] += p.load[c];

    const double seconds = static_cast<double>(sample) / static_cast<double>(std::max(rate, 1));
    std::array<double, 6> more{};
    if (BodyLoad(p.kind))
        more = AmplifierReading(LoadAt(p, seconds), unit.originOffsets);
    for (std::size_t c = 0; c < 6; ++c) {
        more[c] += static_cast<double>(p.drift[c]) * seconds;
        if (withNoise && p.noise[c] != 0.0f)
            more[c] += p.noise[c] * NoiseSample(p.seed, unit.name, static_cast<int>(c), sample);
        r[c] = static_cast<float>(static_cast<double>(r[c]) + more[c]);
    }
    return r;
}

bool ValidateLoad(const UnitSpec& unit, std::string& error)
{
    const LoadProfile& p = unit.load;
    const std::string where = "[unit " + unit.name + "] load " + LoadKindName(p.kind) + ": ";
    auto fail = [&](const std::string& why) {
        error = where + why;
        return false;
    };

    if (p.kind == LoadKind::Steps && p.stepOn == 0 && p.stepOff == 0) {
        error = "[unit " + unit.name + "] load steps needs step_on or step_off above 0";
        return false;
    }
    const float values[] = {p.mass,      p.at[0],      p.at[1], p.stepTime, p.stance, p.stepLength,
                            p.stepWidth, p.footLength, p.away,  p.start,    p.share,  p.sway};
    bool finite = true;
    for (float v : values)
        finite = finite && std::isfinite(v);
    for (std::size_t c = 0; c < 6; ++c)
        finite = finite && std::isfinite(p.load[c]) && std::isfinite(p.offset[c]) && std::isfinite(p.noise[c]) &&
                 std::isfinite(p.drift[c]);
    if (!finite)
        return fail("every value must be a finite number");
    for (float n : p.noise)
        if (n < 0.0f)
            return fail("noise must be 0 or more");

    if (BodyLoad(p.kind) && !(p.mass > 0.0f && p.mass <= kMaxMass))
        return fail("mass must be above 0 and at most " + Number(kMaxMass) + " kg");
    if (p.kind == LoadKind::Walk || p.kind == LoadKind::Treadmill) {
        if (!(p.stepTime > 0.0f))
            return fail("step_time must be above 0 s");
        if (!(p.stance > 0.0f && p.stance < 2.0f * p.stepTime))
            return fail("stance must be above 0 and below twice step_time (a foot's stances cannot overlap)");
        if (p.stepLength < 0.0f || p.stepWidth < 0.0f || p.footLength < 0.0f)
            return fail("step_length, step_width and foot_length must be 0 or more");
    }
    if (p.kind == LoadKind::Walk) {
        if (p.stepCount < 1 || p.stepCount > kMaxStepCount)
            return fail("step_count must be 1 to " + std::to_string(kMaxStepCount));
        if (p.away < 0.0f)
            return fail("away must be 0 or more");
        if (p.foot == Foot::Both)
            return fail("foot must be left or right (the first foot of a pass)");
    }
    if (p.kind == LoadKind::Stand) {
        if (!(p.share > 0.0f && p.share <= 1.0f))
            return fail("share must be above 0 and at most 1");
        if (!(p.sway >= 0.0f && p.sway <= kMaxSway))
            return fail("sway must be 0 to " + Number(kMaxSway) + " m");
    }

    // A centre of pressure off the plate would be a load no plate can carry.
    double length = 0.0;
    double width = 0.0;
    if (BodyLoad(p.kind) && Inches(unit.platformLength, length) && Inches(unit.platformWidth, width)) {
        const double halfX = 0.0254 * width / 2.0 + 1e-6;
        const double halfY = 0.0254 * length / 2.0 + 1e-6;
        bool on = true;
        Vec3 off;
        ForEachPoint(p, [&](const Vec3& point) {
            if (on && (std::fabs(point.x) > halfX || std::fabs(point.y) > halfY)) {
                on = false;
                off = point;
            }
        });
        if (!on)
            return fail("the centre of pressure leaves the plate, at x " + Number(off.x) + " m, y " + Number(off.y) +
                        " m (the plate reaches to x +-" + Number(halfX) + " m, y +-" + Number(halfY) + " m)");
    }
    error.clear();
    return true;
}

} // namespace zorvasim
