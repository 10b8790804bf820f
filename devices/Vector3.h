/// A three-vector for the sample transfer's physics: single precision, on the
/// stack, no allocation.
#pragma once

namespace ZORVA {

struct Vector3
{
    float x;
    float y;
    float z;
};

inline Vector3 operator+(const Vector3& a, const Vector3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }

/// a × b.
inline Vector3 Cross(const Vector3& a, const Vector3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

/// The same vector in axes turned half a turn about Y: X and Z change sign.
inline Vector3 TurnedAboutY(const Vector3& v) { return {-v.x, v.y, -v.z}; }

} // namespace ZORVA
