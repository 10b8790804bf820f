/// The loads of the simulated bench as physics: a weight at a point, someone
/// walking across a plate or on a treadmill, someone standing and swaying, and
/// what the amplifier makes of them, with its noise and drift.
///
/// A body load is a set of contacts, each the ground reaction force at a point
/// of the plate's top surface, in the plate frame (LoadProfile says which).
/// The amplifier measures in its own axes, turned half a turn about y from the
/// plate frame (x and z change sign), and its moment is about its sensor
/// origin S: M = sum of (P - S) x F, plus each contact's free moment about the
/// vertical. So whoever inverts the readings for the centre of pressure comes
/// back to the contacts' points.
///
/// Every function here is a pure function of its arguments: loads depend only
/// on the time of the sample clock, noise only on the seed, the unit's name,
/// the channel and the sample. Exported for the tests, which check the
/// plugin's results against the loads it was given.
#pragma once

#include "simusb/Scenario.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zorvasim {

struct Vec3
{
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

inline Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(double k, const Vec3& v) { return {k * v.x, k * v.y, k * v.z}; }
/// a x b.
inline Vec3 Cross(const Vec3& a, const Vec3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
/// A plate-frame vector in the amplifier's axes, and back: a half turn about y.
inline Vec3 TurnedAboutY(const Vec3& v) { return {-v.x, v.y, -v.z}; }

/// Standard gravity, m/s^2.
constexpr double kGravity = 9.80665;
/// Most contacts on a plate at once: two feet.
constexpr std::size_t kMaxContacts = 2;
/// Most foot contacts in one pass of a walk.
constexpr std::uint32_t kMaxStepCount = 1000;

/// One contact: the ground reaction force (N) at a point of the top surface
/// (m, z = 0) and the free moment about the vertical there (N m), plate frame.
struct Contact
{
    Vec3 point;
    Vec3 force;
    double freeMoment = 0.0;
};

/// Everything on a plate at one instant.
struct PlateLoad
{
    std::array<Contact, kMaxContacts> contacts{};
    std::size_t count = 0;

    Vec3 Force() const
    {
        Vec3 f;
        for (std::size_t i = 0; i < count; ++i)
            f = f + contacts[i].force;
        return f;
    }

    /// The contacts' moment about a point of the plate frame, free moments included.
    Vec3 MomentAbout(const Vec3& about) const
    {
        Vec3 m;
        for (std::size_t i = 0; i < count; ++i)
            m = m + Cross(contacts[i].point - about, contacts[i].force) + Vec3{0.0, 0.0, contacts[i].freeMoment};
        return m;
    }

    /// Where the resultant meets the surface: the contacts' points weighted by
    /// their vertical forces. False without vertical force.
    bool CentreOfPressure(Vec3& cop) const
    {
        Vec3 sum;
        double fz = 0.0;
        for (std::size_t i = 0; i < count; ++i) {
            sum = sum + contacts[i].force.z * contacts[i].point;
            fz += contacts[i].force.z;
        }
        if (fz == 0.0)
            return false;
        cop = (1.0 / fz) * sum;
        return true;
    }
};

/// The sensor origin in the plate frame, from the unit's origin offsets as
/// fmGetPlatformXYZOffsets reports them: inches, in the amplifier's axes, the
/// depth below the surface negative.
inline Vec3 SensorOrigin(const std::array<float, 3>& originInches)
{
    const double inch = 0.0254;
    return TurnedAboutY(Vec3{inch * originInches[0], inch * originInches[1], -inch * originInches[2]});
}

/// The scenario key's word for a kind of load ("walk").
ZORVA_SIM_API const char* LoadKindName(LoadKind kind);

/// The contacts of a body load (Weight, Walk, Treadmill, Stand) `seconds`
/// after the sample clock started; none for the other kinds.
ZORVA_SIM_API PlateLoad LoadAt(const LoadProfile& profile, double seconds);

/// Fx, Fy, Fz, Mx, My, Mz as the amplifier measures `load`: its axes, the
/// moment about its sensor origin.
ZORVA_SIM_API std::array<double, 6> AmplifierReading(const PlateLoad& load, const std::array<float, 3>& originInches);

/// Standard normal noise of one channel of a unit at one sample: a function of
/// the seed, the unit's name, the channel and the sample alone.
ZORVA_SIM_API double NoiseSample(std::uint64_t seed, const std::string& unitName, int channel, std::uint64_t sample);

/// Fx..Mz of a unit's record at a sample of the sample clock, at `rate`
/// samples per second, before the zero offsets: offset, drift, load, and the
/// noise when `withNoise`.
ZORVA_SIM_API std::array<float, 6> UnitReading(const UnitSpec& unit, std::uint64_t sample, int rate,
                                               bool withNoise = true);

/// The checks of a unit's load: values in range and, when the unit's length
/// and width are numbers, every centre of pressure on the plate. On failure
/// `error` says what, naming the unit.
ZORVA_SIM_API bool ValidateLoad(const UnitSpec& unit, std::string& error);

} // namespace zorvasim
