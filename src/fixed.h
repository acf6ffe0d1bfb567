// 16.16 fixed-point arithmetic. Every coordinate, matrix, plane, colour and time value of
// the game is a Fixed, and these routines define the results bit for bit, approximation
// errors included: the view, the culling planes and the arena tree depend on them.
#pragma once
#include <cstdint>

typedef int32_t Fixed;

struct Vec3 {
    Fixed x, y, z;
};

// Column-major: element (row r, column c) is m[4c + r]; translation at 12, 13, 14.
struct Matrix4 {
    Fixed m[16];
};

struct Plane {
    Fixed a, b, c, d;
};

constexpr Fixed FIXED_ONE = 0x10000;

// Two's complement wrap-around without undefined behaviour.
inline Fixed FixedWrap(int64_t v) { return static_cast<Fixed>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }
inline Fixed FixedAdd(Fixed a, Fixed b) { return static_cast<Fixed>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
inline Fixed FixedSub(Fixed a, Fixed b) { return static_cast<Fixed>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
inline Fixed FixedNeg(Fixed a) { return static_cast<Fixed>(0u - static_cast<uint32_t>(a)); }

// 64-bit product shifted right arithmetically by 16: rounds toward minus infinity.
inline Fixed FixedMul(Fixed a, Fixed b) {
    return FixedWrap((static_cast<int64_t>(a) * static_cast<int64_t>(b)) >> 16);
}

Fixed FixedReciprocal(Fixed x);
Fixed FixedDiv(Fixed a, Fixed b);
Fixed FixedSqrt(Fixed v);
Fixed FixedSin(Fixed angle);
Fixed FixedCos(Fixed angle);

void Vec3Set(Vec3& out, Fixed x, Fixed y, Fixed z);
Vec3& Vec3Copy(Vec3& out, const Vec3& in);
Vec3& Vec3Sub(const Vec3& a, const Vec3& b, Vec3& out);
Vec3& Vec3Cross(const Vec3& a, const Vec3& b, Vec3& out);
Fixed Vec3Length(const Vec3& v);
Fixed Vec3Normalize(Vec3& v);

void Matrix4Identity(Matrix4& m);
Matrix4& Matrix4Multiply(const Matrix4& left, const Matrix4& right, Matrix4& out);

Fixed PlaneNormalize(Plane& p);

Fixed FloatToFixed(float f);
