#include "app/maths.h"

#include "app/int_math.h"
#include "app/math_tables.h"

#include <algorithm>
#include <cmath>

float Vec3::Length() const
{
    return std::sqrt(LengthSquared());
}

Vec3 Vec3::Normalised() const
{
    const float length = Length();
    if (length == 0.0f)
        return {0, 0, 0};
    return *this * (1.0f / length);
}

Quaternion Quaternion::FromAxisAngle(const Vec3& axis, float radians)
{
    const float s = std::sin(radians * 0.5f);
    return {axis.x * s, axis.y * s, axis.z * s, std::cos(radians * 0.5f)};
}

Quaternion Quaternion::Normalised() const
{
    const float length = std::sqrt(Dot(*this));
    if (length == 0.0f)
        return Identity();
    const float inv = 1.0f / length;
    return {x * inv, y * inv, z * inv, w * inv};
}

Vec3 Quaternion::Rotate(const Vec3& v) const
{
    const Quaternion r = *this * Quaternion(v.x, v.y, v.z, 0) * Conjugate();
    return {r.x, r.y, r.z};
}

Quaternion Quaternion::FromMatrix(const Matrix34& mat)
{
    const auto& m = mat.m;
    const float trace = m[0][0] + m[1][1] + m[2][2];
    Quaternion q;
    // Pivot on the largest of w, x, y, z so the square root never nears zero.
    if (trace > 0.0f) {
        const float s = std::sqrt(trace + 1.0f) * 2.0f;
        q = {(m[2][1] - m[1][2]) / s, (m[0][2] - m[2][0]) / s, (m[1][0] - m[0][1]) / s, 0.25f * s};
    } else if (m[0][0] > m[1][1] && m[0][0] > m[2][2]) {
        const float s = std::sqrt(1.0f + m[0][0] - m[1][1] - m[2][2]) * 2.0f;
        q = {0.25f * s, (m[0][1] + m[1][0]) / s, (m[0][2] + m[2][0]) / s, (m[2][1] - m[1][2]) / s};
    } else if (m[1][1] > m[2][2]) {
        const float s = std::sqrt(1.0f + m[1][1] - m[0][0] - m[2][2]) * 2.0f;
        q = {(m[0][1] + m[1][0]) / s, 0.25f * s, (m[1][2] + m[2][1]) / s, (m[0][2] - m[2][0]) / s};
    } else {
        const float s = std::sqrt(1.0f + m[2][2] - m[0][0] - m[1][1]) * 2.0f;
        q = {(m[0][2] + m[2][0]) / s, (m[1][2] + m[2][1]) / s, 0.25f * s, (m[1][0] - m[0][1]) / s};
    }
    if (q.w < 0.0f)
        q = {-q.x, -q.y, -q.z, -q.w};
    return q.Normalised();
}

Matrix34 Matrix34::FromMatrix44(const float m44[4][4])
{
    Matrix34 out;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            out.m[r][c] = m44[c][r];
        out.m[r][3] = m44[3][r];
    }
    return out;
}

void Matrix34::Multiply(Matrix34& out, const Matrix34& rhs) const
{
    Matrix34 result;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            result.m[r][c] = m[r][0] * rhs.m[0][c] + m[r][1] * rhs.m[1][c] + m[r][2] * rhs.m[2][c];
        }
        result.m[r][3] += m[r][3];
    }
    out = result; // out may be this or rhs
}

Vec3 Matrix34::TransformPoint(const Vec3& p) const
{
    return {m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + m[0][3],
            m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + m[1][3],
            m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + m[2][3]};
}

Vec3 Matrix34::TransformVector(const Vec3& v) const
{
    return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
            m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
}

Matrix34 Matrix34::RigidInverse() const
{
    Matrix34 out;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out.m[r][c] = m[c][r];
    const Vec3 t = out.TransformVector(Translation());
    out.m[0][3] = -t.x;
    out.m[1][3] = -t.y;
    out.m[2][3] = -t.z;
    return out;
}

void Matrix34::MakeTranslation(const Vec3& v)
{
    *this = Matrix34(1);
    SetTranslation(v);
}

void Matrix34::MakeScale(const Vec3& v)
{
    *this = Matrix34(0);
    SetScale(v);
}

void Matrix34::MakeRotationX(Angle a)
{
    *this = Matrix34(0);
    SetRotationX(a);
}

void Matrix34::MakeRotationY(Angle a)
{
    *this = Matrix34(0);
    SetRotationY(a);
}

void Matrix34::MakeRotationZ(Angle a)
{
    *this = Matrix34(0);
    SetRotationZ(a);
}

namespace {

void SetRotationRows(Matrix34& mat, const float r[3][3])
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            mat.m[i][j] = r[i][j];
}

} // namespace

void Matrix34::SetRotationX(Angle a)
{
    const float s = SineOf(a);
    const float c = CosineOf(a);
    const float r[3][3] = {{1, 0, 0}, {0, c, -s}, {0, s, c}};
    SetRotationRows(*this, r);
}

void Matrix34::SetRotationY(Angle a)
{
    const float s = SineOf(a);
    const float c = CosineOf(a);
    const float r[3][3] = {{c, 0, s}, {0, 1, 0}, {-s, 0, c}};
    SetRotationRows(*this, r);
}

void Matrix34::SetRotationZ(Angle a)
{
    const float s = SineOf(a);
    const float c = CosineOf(a);
    const float r[3][3] = {{c, -s, 0}, {s, c, 0}, {0, 0, 1}};
    SetRotationRows(*this, r);
}

void Matrix34::SetRotation(const Quaternion& q)
{
    const float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
    const float xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
    const float wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
    const float r[3][3] = {{1 - 2 * (yy + zz), 2 * (xy - wz), 2 * (xz + wy)},
                           {2 * (xy + wz), 1 - 2 * (xx + zz), 2 * (yz - wx)},
                           {2 * (xz - wy), 2 * (yz + wx), 1 - 2 * (xx + yy)}};
    SetRotationRows(*this, r);
}

void Matrix34::SetRotationAndTranslation(const Matrix34& rotation, const Vec3& v)
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m[i][j] = rotation.m[i][j];
    SetTranslation(v);
}

void Matrix34::SetTranslation(const Vec3& v)
{
    m[0][3] = v.x;
    m[1][3] = v.y;
    m[2][3] = v.z;
}

void Matrix34::SetScale(const Vec3& v)
{
    const float r[3][3] = {{v.x, 0, 0}, {0, v.y, 0}, {0, 0, v.z}};
    SetRotationRows(*this, r);
}

Vec3 Matrix44::TransformPoint(const float m44[4][4], const Vec3& p)
{
    return {p.x * m44[0][0] + p.y * m44[1][0] + p.z * m44[2][0] + m44[3][0],
            p.x * m44[0][1] + p.y * m44[1][1] + p.z * m44[2][1] + m44[3][1],
            p.x * m44[0][2] + p.y * m44[1][2] + p.z * m44[2][2] + m44[3][2]};
}

void QuaternionBlend::Setup(const Quaternion& from, const Quaternion& to)
{
    q0 = from;
    q1 = to;
    float d = from.Dot(to);
    if (d < 0.0f) {
        q1 = {-to.x, -to.y, -to.z, -to.w};
        d = -d;
    }
    if (d < 0.9f) {
        mode = 1;
        angle = ArcCosineSteps(d);
        angleSteps = FloorToInt(angle + 0.5f);
        invSin = 1.0f / SineOf(angleSteps);
    } else {
        mode = 2;
    }
}

Quaternion QuaternionBlend::Evaluate(float t) const
{
    if (mode != 1) {
        return {q0.x + (q1.x - q0.x) * t, q0.y + (q1.y - q0.y) * t, q0.z + (q1.z - q0.z) * t,
                q0.w + (q1.w - q0.w) * t};
    }
    const int32_t part = FloorToInt(t * angle + 0.5f);
    const float w0 = SineOf(angleSteps - part) * invSin;
    const float w1 = SineOf(part) * invSin;
    return {q0.x * w0 + q1.x * w1, q0.y * w0 + q1.y * w1, q0.z * w0 + q1.z * w1, q0.w * w0 + q1.w * w1};
}

void Colour::Set(float r, float g, float b, float a)
{
    red = r;
    green = g;
    blue = b;
    alpha = a;
    flags = kFloatValid;
}

void Colour::SetBytes(uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    packed = (a & 0xFF) << 24 | (r & 0xFF) << 16 | (g & 0xFF) << 8 | (b & 0xFF);
    flags = kPackedValid;
}

void Colour::Unpack()
{
    if (!(flags & kPackedValid))
        return;
    constexpr float kScale = 0.003921569f; // 1/255
    alpha = static_cast<float>(packed >> 24) * kScale;
    red = static_cast<float>((packed >> 16) & 0xFF) * kScale;
    green = static_cast<float>((packed >> 8) & 0xFF) * kScale;
    blue = static_cast<float>(packed & 0xFF) * kScale;
    flags |= kFloatValid;
}

uint32_t Colour::Packed() const
{
    if (flags & kPackedValid)
        return packed;
    auto channel = [](float v) {
        return static_cast<uint32_t>(std::clamp(FloorToInt(static_cast<double>(v) * 255.0), 0, 255));
    };
    return channel(alpha) << 24 | channel(red) << 16 | channel(green) << 8 | channel(blue);
}

Transform::Transform() = default;

void Transform::SetPosition(const Vec3& v)
{
    position_ = v;
    flags_ = (flags_ & ~kValidBits) | (flags_ & kRotationValid) | kPositionSet;
}

void Transform::SetReferencePoint(const Vec3& v)
{
    referencePoint_ = v;
    flags_ = (flags_ & ~kValidBits) | (flags_ & kRotationValid) | kReferencePointSet;
}

void Transform::SetReferencePointXYZ(float x, float y, float z)
{
    referencePoint_ = {x, y, z};
    flags_ = (flags_ & ~kValidBits) | kReferencePointSet;
}

void Transform::SetAngles(Angle a, Angle b, Angle c)
{
    angles_[0] = a;
    angles_[1] = b;
    angles_[2] = c;
    flags_ = (flags_ & ~(kQuaternionOrientation | kMatrixValid | kRotationValid | kScaledMatrixValid)) | kAnglesSet;
}

void Transform::SetOrientation(const Quaternion& q)
{
    orientation_ = q;
    flags_ = (flags_ & ~(kMatrixValid | kRotationValid | kScaledMatrixValid)) | kQuaternionOrientation;
}

void Transform::SetScale(const Vec3& v)
{
    scale_ = v;
    flags_ &= ~(kScaleMatrixValid | kScaledMatrixValid | kNoScale);
}

const Matrix34& Transform::Matrix()
{
    if (flags_ & kMatrixValid)
        return matrix_;
    if (!(flags_ & kRotationValid)) {
        if (flags_ & kQuaternionOrientation) {
            matrix_.SetRotation(orientation_);
        } else {
            Matrix34 ry, rx, rz;
            ry.MakeRotationY(angles_[0]);
            rx.MakeRotationX(angles_[1]);
            rz.MakeRotationZ(angles_[2]);
            matrix_.SetRotationAndTranslation(ry * rx * rz, matrix_.Translation());
        }
        flags_ |= kRotationValid;
    }
    if (!(flags_ & kTranslationValid)) {
        if (!(flags_ & kPositionSet)) {
            position_ = {0, 0, 0};
            flags_ |= kPositionSet;
        }
        matrix_.SetTranslation(position_);
        flags_ |= kTranslationValid;
    }
    flags_ |= kMatrixValid;
    return matrix_;
}

Matrix34 Transform::InverseMatrix()
{
    inverse_ = Matrix().RigidInverse();
    return inverse_;
}

const Matrix34& Transform::ScaledMatrix()
{
    if (flags_ & kNoScale)
        return Matrix();
    if (!(flags_ & kScaleMatrixValid)) {
        scaleMatrix_.MakeScale(scale_);
        flags_ |= kScaleMatrixValid;
    }
    if (!(flags_ & kScaledMatrixValid)) {
        Matrix().Multiply(scaledMatrix_, scaleMatrix_);
        flags_ |= kScaledMatrixValid;
    }
    return scaledMatrix_;
}
