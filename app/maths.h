// The value types of the 3-D world: vectors, quaternions, 3 x 4 matrices
// (rows {rotation x, y, z, translation}: p' = R p + t), the cached placement
// of every 3-D object, colours and integer angles (4096 steps per turn).
// Rotations follow the right-hand rule; a quaternion is (x, y, z, w).
#pragma once

#include <cstdint>

using Angle = int32_t; // 4096ths of a turn; AND 0xFFF indexes the tables

struct Vec3 {
    float x, y, z; // default construction leaves them unset, as the engine expects

    Vec3() = default;
    constexpr Vec3(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

    constexpr Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    constexpr Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    constexpr Vec3 operator-() const { return {-x, -y, -z}; }
    constexpr Vec3 operator*(float s) const { return {x * s, y * s, z * s}; }
    Vec3& operator+=(const Vec3& o) { return *this = *this + o; }
    Vec3& operator-=(const Vec3& o) { return *this = *this - o; }
    Vec3& operator*=(float s) { return *this = *this * s; }
    constexpr bool operator==(const Vec3&) const = default;

    constexpr float Dot(const Vec3& o) const { return x * o.x + y * o.y + z * o.z; }
    constexpr Vec3 Cross(const Vec3& o) const
    {
        return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
    }
    float Length() const;
    constexpr float LengthSquared() const { return Dot(*this); }
    // Unit vector in the same direction; the zero vector stays zero.
    Vec3 Normalised() const;
};

struct Matrix34;

struct Quaternion {
    float x, y, z, w;

    Quaternion() = default;
    constexpr Quaternion(float ax, float ay, float az, float aw) : x(ax), y(ay), z(az), w(aw) {}
    static constexpr Quaternion Identity() { return {0, 0, 0, 1}; }
    // Rotation by `radians` about the unit vector `axis`.
    static Quaternion FromAxisAngle(const Vec3& axis, float radians);
    // The unit quaternion (w >= 0) of the rotation part of `m`, which must be
    // a pure rotation.
    static Quaternion FromMatrix(const Matrix34& m);

    // Hamilton product: the rotation `o` first, then this.
    constexpr Quaternion operator*(const Quaternion& o) const
    {
        return {w * o.x + x * o.w + y * o.z - z * o.y, w * o.y - x * o.z + y * o.w + z * o.x,
                w * o.z + x * o.y - y * o.x + z * o.w, w * o.w - x * o.x - y * o.y - z * o.z};
    }
    constexpr bool operator==(const Quaternion&) const = default;
    constexpr float Dot(const Quaternion& o) const { return x * o.x + y * o.y + z * o.z + w * o.w; }
    constexpr Quaternion Conjugate() const { return {-x, -y, -z, w}; }
    Quaternion Normalised() const;
    Vec3 Rotate(const Vec3& v) const;
    // Where the rotation takes the z axis.
    static constexpr Vec3 ZAxis(const Quaternion& q)
    {
        return {2 * (q.x * q.z + q.w * q.y), 2 * (q.y * q.z - q.w * q.x), 1 - 2 * q.x * q.x - 2 * q.y * q.y};
    }
};

struct Matrix34 {
    float m[3][4]; // m[row][0..2] rotation, m[row][3] translation

    // All zero; the identity when `kind` is 1.
    constexpr explicit Matrix34(int kind = 0) : m{}
    {
        if (kind == 1)
            m[0][0] = m[1][1] = m[2][2] = 1.0f;
    }
    static const Matrix34 kIdentity;

    // The upper 3 x 4 of a 4 x 4 row-vector matrix (p' = p M), transposed.
    static Matrix34 FromMatrix44(const float m44[4][4]);

    // out = this x rhs: rhs applied first.
    void Multiply(Matrix34& out, const Matrix34& rhs) const;
    Matrix34 operator*(const Matrix34& rhs) const
    {
        Matrix34 out;
        Multiply(out, rhs);
        return out;
    }
    Vec3 TransformPoint(const Vec3& p) const;
    Vec3 TransformVector(const Vec3& v) const;
    // Inverse of a rotation-and-translation matrix: R^T and -R^T t.
    Matrix34 RigidInverse() const;

    void MakeTranslation(const Vec3& v);
    void MakeScale(const Vec3& v);
    void MakeRotationX(Angle a);
    void MakeRotationY(Angle a);
    void MakeRotationZ(Angle a);
    // Rotation part from a unit quaternion; the translation is kept.
    void SetRotation(const Quaternion& q);
    void SetRotationAndTranslation(const Matrix34& rotation, const Vec3& v);
    void SetTranslation(const Vec3& v);
    void SetScale(const Vec3& v); // diagonal scale rotation part, translation kept
    void SetRotationX(Angle a);
    void SetRotationY(Angle a);
    void SetRotationZ(Angle a);
    Vec3 Translation() const { return {m[0][3], m[1][3], m[2][3]}; }
};

inline constexpr Matrix34 Matrix34::kIdentity{1};

namespace Matrix44 {
// (x, y, z, 1) times a 4 x 4 row-vector matrix, w dropped.
Vec3 TransformPoint(const float m44[4][4], const Vec3& p);
}

// Interpolation between two orientations: spherical with table sines when
// they lie far apart, linear (not renormalised) when near.
struct QuaternionBlend {
    Quaternion q0{0, 0, 0, 1};
    Quaternion q1{0, 0, 0, 1}; // sign-corrected end
    float angle = 0.0f;        // steps between them (spherical mode)
    int32_t angleSteps = 0;
    float invSin = 0.0f;
    int32_t mode = 2;          // 1 spherical, 2 linear

    void Setup(const Quaternion& from, const Quaternion& to);
    Quaternion Evaluate(float t) const;
};

// Colour with a packed ARGB word and float channels, each form valid by flag.
struct Colour {
    static constexpr uint32_t kPackedValid = 1;
    static constexpr uint32_t kFloatValid = 2;

    uint32_t packed = 0;
    float red = 1.0f, green = 1.0f, blue = 1.0f, alpha = 1.0f;
    uint32_t flags = kFloatValid;

    void Set(float r, float g, float b, float a);
    void SetBytes(uint32_t r, uint32_t g, uint32_t b, uint32_t a);
    // Float channels from the packed word (bytes / 255) when that is valid.
    void Unpack();
    // The stored word when valid, else built from the floats: each channel
    // x 255 rounded down and kept within 0..255, so an over-bright channel
    // cannot spill into its neighbour.
    uint32_t Packed() const;
};

// Placement of a 3-D object: position, reference point, angles or an
// orientation quaternion, scale, and the matrices built from them on demand.
class Transform {
public:
    static constexpr uint32_t kMatrixValid = 0x01;
    static constexpr uint32_t kRotationValid = 0x04;
    static constexpr uint32_t kTranslationValid = 0x08;
    static constexpr uint32_t kScaleMatrixValid = 0x10;
    static constexpr uint32_t kScaledMatrixValid = 0x20;
    static constexpr uint32_t kReferencePointSet = 0x40;
    static constexpr uint32_t kPositionSet = 0x80;
    static constexpr uint32_t kAnglesSet = 0x100;
    static constexpr uint32_t kQuaternionOrientation = 0x200;
    static constexpr uint32_t kNoScale = 0x80000000u;
    static constexpr uint32_t kValidBits =
        kMatrixValid | kRotationValid | kTranslationValid | kScaleMatrixValid | kScaledMatrixValid;

    Transform();

    void SetPosition(const Vec3& v);
    void SetPositionXYZ(float x, float y, float z) { SetPosition({x, y, z}); }
    void SetReferencePoint(const Vec3& v);
    void SetReferencePointXYZ(float x, float y, float z);
    // Rotation = Ry(a) x Rx(b) x Rz(c); replaces a quaternion orientation.
    void SetAngles(Angle a, Angle b, Angle c);
    void SetOrientation(const Quaternion& q);
    void SetScale(const Vec3& v);

    const Matrix34& Matrix();
    Matrix34 InverseMatrix();
    // Matrix x scale matrix; the plain matrix while no scale was set.
    const Matrix34& ScaledMatrix();

    const Vec3& Position() const { return position_; }
    const Vec3& ReferencePoint() const { return referencePoint_; }
    const Quaternion& Orientation() const { return orientation_; }
    const Vec3& Scale() const { return scale_; }
    Angle AngleA() const { return angles_[0]; }
    Angle AngleB() const { return angles_[1]; }
    Angle AngleC() const { return angles_[2]; }
    uint32_t Flags() const { return flags_; }

private:
    Vec3 referencePoint_{0, 0, 0};
    Vec3 position_{0, 0, 0};
    Angle angles_[3] = {0, 0, 0};
    Quaternion orientation_{0, 0, 0, 1};
    Matrix34 matrix_{1};
    Matrix34 inverse_{1};
    uint32_t flags_ = kNoScale;
    Vec3 scale_{1, 1, 1};
    Matrix34 scaleMatrix_{1};
    Matrix34 scaledMatrix_{1};
};
