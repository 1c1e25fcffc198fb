// Vector and rigid-transform arithmetic of the 3D layer.
//
// Coordinates are left-handed (x right, y up, z away from the viewer) and
// points are row vectors: a point p in a frame's coordinates is p * M in its
// parent's. A Transform is a rotation (rows = the frame's x, y, z axes
// expressed in the parent's coordinates) followed by a translation.
#pragma once

#include <cmath>

namespace d3drm {

struct Vec3 {
    float x = 0, y = 0, z = 0;

    friend Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
    friend Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
    friend Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
    friend Vec3 operator-(Vec3 a) { return {-a.x, -a.y, -a.z}; }
};

inline float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
// The unit vector along `a`; the zero vector stays zero.
inline Vec3 Normalize(Vec3 a)
{
    float len = Length(a);
    return len > 0 ? a * (1.0f / len) : Vec3{};
}

struct Mat3 {
    Vec3 r[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

    static Mat3 Identity() { return {}; }
    // Rows x, y, z.
    static Mat3 FromRows(Vec3 x, Vec3 y, Vec3 z)
    {
        Mat3 m;
        m.r[0] = x;
        m.r[1] = y;
        m.r[2] = z;
        return m;
    }
    // Rotation by `angle` radians about the unit vector `axis`, for row
    // vectors: about +y a positive angle turns +x toward -z, about +z it
    // turns +x toward +y.
    static Mat3 Rotation(Vec3 axis, float angle)
    {
        float c = std::cos(angle), s = std::sin(angle), t = 1 - c;
        float x = axis.x, y = axis.y, z = axis.z;
        return FromRows({t * x * x + c, t * x * y + s * z, t * x * z - s * y},
                        {t * x * y - s * z, t * y * y + c, t * y * z + s * x},
                        {t * x * z + s * y, t * y * z - s * x, t * z * z + c});
    }
    Mat3 Transposed() const
    {
        return FromRows({r[0].x, r[1].x, r[2].x}, {r[0].y, r[1].y, r[2].y}, {r[0].z, r[1].z, r[2].z});
    }
};

// Row vector times matrix.
inline Vec3 operator*(Vec3 v, const Mat3& m) { return m.r[0] * v.x + m.r[1] * v.y + m.r[2] * v.z; }
inline Mat3 operator*(const Mat3& a, const Mat3& b)
{
    return Mat3::FromRows(a.r[0] * b, a.r[1] * b, a.r[2] * b);
}

struct Transform {
    Mat3 rotation;
    Vec3 translation;

    Vec3 Apply(Vec3 p) const { return p * rotation + translation; }
    Vec3 ApplyToDirection(Vec3 d) const { return d * rotation; }
    // The inverse of a rigid transform: transpose the rotation.
    Transform Inverse() const
    {
        Transform t;
        t.rotation = rotation.Transposed();
        t.translation = -(translation * t.rotation);
        return t;
    }
};

// First `a`, then `b`: (p * a) * b.
inline Transform operator*(const Transform& a, const Transform& b)
{
    Transform t;
    t.rotation = a.rotation * b.rotation;
    t.translation = a.translation * b.rotation + b.translation;
    return t;
}

// Re-orthonormalises a rotation that has collected rounding error from many
// small turns: keeps z's direction, rebuilds y and x from it.
inline Mat3 Orthonormalize(const Mat3& m)
{
    Vec3 z = Normalize(m.r[2]);
    Vec3 x = Normalize(Cross(m.r[1], z));
    Vec3 y = Cross(z, x);
    return Mat3::FromRows(x, y, z);
}

}  // namespace d3drm
