#include "app/maths.h"
#include "app/math_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace {

constexpr float kStepRadians = 2.0f * std::numbers::pi_v<float> / 4096.0f;

void ExpectNear(const Vec3& a, const Vec3& b, float tolerance)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

void ExpectSameRotation(Quaternion a, Quaternion b, float tolerance)
{
    if (a.Dot(b) < 0) // q and -q are the same rotation
        b = {-b.x, -b.y, -b.z, -b.w};
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
    EXPECT_NEAR(a.w, b.w, tolerance);
}

void ExpectNear(const Matrix34& a, const Matrix34& b, float tolerance)
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << r << "," << c;
}

Quaternion RandomRotation(std::mt19937& random)
{
    std::normal_distribution<float> n;
    return Quaternion(n(random), n(random), n(random), n(random)).Normalised();
}

TEST(Quaternion, MatrixRoundTrip)
{
    std::mt19937 random(3);
    std::vector<Quaternion> rotations = {
        Quaternion::Identity(),
        Quaternion::FromAxisAngle({1, 0, 0}, std::numbers::pi_v<float>), // trace -1: pivots off w
        Quaternion::FromAxisAngle({0, 1, 0}, std::numbers::pi_v<float>),
        Quaternion::FromAxisAngle({0, 0, 1}, std::numbers::pi_v<float>),
        Quaternion::FromAxisAngle(Vec3(1, 1, 0).Normalised(), 3.1f),
    };
    for (int i = 0; i < 200; ++i)
        rotations.push_back(RandomRotation(random));
    for (const Quaternion& q : rotations) {
        Matrix34 m(1);
        m.SetTranslation({1, 2, 3});
        m.SetRotation(q);
        EXPECT_EQ(m.Translation(), Vec3(1, 2, 3)) << "SetRotation keeps the translation";
        ExpectSameRotation(Quaternion::FromMatrix(m), q, 2e-5f);
        // The matrix and the quaternion move points alike.
        const Vec3 p(0.3f, -2.0f, 5.0f);
        ExpectNear(m.TransformVector(p), q.Rotate(p), 1e-4f);
        ExpectNear(Quaternion::ZAxis(q), m.TransformVector({0, 0, 1}), 1e-5f);
    }
}

TEST(Matrix34, AxisRotationsFollowTheRightHandRule)
{
    struct Case {
        void (Matrix34::*make)(Angle);
        Vec3 from, to;
    };
    const Case cases[] = {
        {&Matrix34::MakeRotationX, {0, 1, 0}, {0, 0, 1}},
        {&Matrix34::MakeRotationY, {0, 0, 1}, {1, 0, 0}},
        {&Matrix34::MakeRotationZ, {1, 0, 0}, {0, 1, 0}},
    };
    for (const Case& c : cases) {
        Matrix34 m;
        (m.*c.make)(1024); // a quarter turn
        ExpectNear(m.TransformPoint(c.from), c.to, 1e-6f);
        EXPECT_EQ(m.Translation(), Vec3(0, 0, 0));
    }
}

TEST(Matrix34, ProductInverseAndFourByFourRoundTrips)
{
    std::mt19937 random(5);
    std::uniform_int_distribution<int> angle(0, 4095);
    std::uniform_real_distribution<float> coordinate(-50, 50);
    for (int i = 0; i < 100; ++i) {
        Matrix34 rx, ry, translation;
        rx.MakeRotationX(angle(random));
        ry.MakeRotationY(angle(random));
        translation.MakeTranslation({coordinate(random), coordinate(random), coordinate(random)});
        const Matrix34 m = translation * ry * rx; // rx applied first
        const Vec3 p(coordinate(random), coordinate(random), coordinate(random));
        ExpectNear(m.TransformPoint(p), translation.TransformPoint(ry.TransformPoint(rx.TransformPoint(p))), 1e-3f);
        ExpectNear(m.RigidInverse().TransformPoint(m.TransformPoint(p)), p, 1e-3f);
        ExpectNear(m * m.RigidInverse(), Matrix34::kIdentity, 1e-5f);

        // The same matrix in row-vector 4 x 4 form maps points alike.
        float m44[4][4] = {};
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                m44[c][r] = m.m[r][c];
            m44[3][r] = m.m[r][3];
        }
        m44[3][3] = 1;
        ExpectNear(Matrix44::TransformPoint(m44, p), m.TransformPoint(p), 1e-3f);
        ExpectNear(Matrix34::FromMatrix44(m44), m, 0.0f);
    }
}

TEST(Matrix34, MultiplyMayWriteIntoAnOperand)
{
    Matrix34 a, b;
    a.MakeRotationZ(300);
    a.SetTranslation({1, 2, 3});
    b.MakeRotationX(700);
    b.SetTranslation({-4, 5, 0.5f});
    const Matrix34 expected = a * b;
    a.Multiply(a, b);
    ExpectNear(a, expected, 0.0f);
}

TEST(Transform, MatrixFollowsAnglesOrientationAndScale)
{
    Transform t;
    EXPECT_TRUE(t.Flags() & Transform::kNoScale);
    t.SetPosition({1, 2, 3});
    t.SetAngles(1024, 0, 0); // a quarter turn about y
    ExpectNear(t.Matrix().TransformPoint({0, 0, 1}), {2, 2, 3}, 1e-6f);
    EXPECT_TRUE(t.Flags() & Transform::kMatrixValid);

    const Quaternion q = Quaternion::FromAxisAngle({1, 0, 0}, std::numbers::pi_v<float> / 2);
    t.SetOrientation(q);
    EXPECT_FALSE(t.Flags() & Transform::kMatrixValid);
    ExpectNear(t.Matrix().TransformPoint({0, 1, 0}), {1, 2, 4}, 1e-6f);

    t.SetAngles(0, 1024, 0); // back to the angle form: a quarter turn about x
    EXPECT_FALSE(t.Flags() & Transform::kQuaternionOrientation);
    ExpectNear(t.Matrix().TransformPoint({0, 1, 0}), {1, 2, 4}, 1e-6f);

    t.SetPosition({0, 0, 0}); // rotation stays valid, translation rebuilt
    EXPECT_TRUE(t.Flags() & Transform::kRotationValid);
    ExpectNear(t.Matrix().TransformPoint({0, 1, 0}), {0, 0, 1}, 1e-6f);

    EXPECT_EQ(&t.ScaledMatrix(), &t.Matrix()) << "no scale: the plain matrix";
    t.SetScale({2, 3, 4});
    ExpectNear(t.ScaledMatrix().TransformPoint({0, 1, 0}), {0, 0, 3}, 1e-6f);
    t.SetPosition({10, 0, 0});
    ExpectNear(t.ScaledMatrix().TransformPoint({0, 1, 0}), {10, 0, 3}, 1e-6f);
    ExpectNear(t.InverseMatrix().TransformPoint(t.Matrix().TransformPoint({5, 6, 7})), {5, 6, 7}, 1e-5f);
}

TEST(Transform, AnglesComposeYThenXThenZ)
{
    Transform t;
    t.SetAngles(300, 500, 700);
    Matrix34 ry, rx, rz;
    ry.MakeRotationY(300);
    rx.MakeRotationX(500);
    rz.MakeRotationZ(700);
    ExpectNear(t.Matrix(), ry * rx * rz, 1e-6f);
}

TEST(QuaternionBlend, EndsAndMiddleOfBothModes)
{
    struct Case {
        const char* name;
        Quaternion from, to;
        int mode;
    };
    const float pi = std::numbers::pi_v<float>;
    const Case cases[] = {
        {"far apart", Quaternion::Identity(), Quaternion::FromAxisAngle({0, 1, 0}, pi / 2), 1},
        {"opposite hemisphere", Quaternion::Identity(), Quaternion::FromAxisAngle({0, 1, 0}, 1.4f * pi), 1},
        {"near", Quaternion::Identity(), Quaternion::FromAxisAngle({1, 0, 0}, 0.3f), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QuaternionBlend blend;
        blend.Setup(c.from, c.to);
        EXPECT_EQ(blend.mode, c.mode);
        ExpectSameRotation(blend.Evaluate(0), c.from, 2e-3f);
        ExpectSameRotation(blend.Evaluate(1), c.to, 2e-3f);
        // Halfway turns half the angle (the shorter way round).
        Quaternion target = c.to;
        if (c.from.Dot(target) < 0)
            target = {-target.x, -target.y, -target.z, -target.w};
        const float half = std::acos(std::clamp(c.from.Dot(target), -1.0f, 1.0f));
        const Quaternion middle = blend.Evaluate(0.5f).Normalised();
        EXPECT_NEAR(std::acos(std::clamp(middle.Dot(c.from), -1.0f, 1.0f)), half / 2, 4 * kStepRadians);
    }
}

TEST(QuaternionBlend, QAndMinusQBlendToQEverywhere)
{
    const Quaternion q = Quaternion::FromAxisAngle(Vec3(1, 2, 3).Normalised(), 1.0f);
    QuaternionBlend blend;
    blend.Setup(q, {-q.x, -q.y, -q.z, -q.w});
    EXPECT_EQ(blend.mode, 2);
    for (float t : {0.0f, 0.25f, 0.5f, 1.0f}) {
        const Quaternion r = blend.Evaluate(t);
        EXPECT_NEAR(r.x, q.x, 1e-6f);
        EXPECT_NEAR(r.w, q.w, 1e-6f);
    }
}

TEST(Colour, PackedAndFloatForms)
{
    Colour c;
    EXPECT_EQ(c.Packed(), 0xFFFFFFFFu) << "white by default";
    c.SetBytes(255, 0, 0, 255);
    EXPECT_EQ(c.Packed(), 0xFFFF0000u);
    c.Unpack();
    EXPECT_FLOAT_EQ(c.red, 1.0f);
    EXPECT_FLOAT_EQ(c.green, 0.0f);
    EXPECT_EQ(c.flags, Colour::kPackedValid | Colour::kFloatValid);

    struct Case {
        float r, g, b, a;
        uint32_t packed;
    };
    const Case cases[] = {
        {1, 0.5f, 0, 1, 0xFFFF7F00u},     // 127.5 rounds down
        {2.0f, 0, 0, 1, 0xFFFF0000u},     // over-bright stays in its byte
        {-0.5f, 0.2f, 1, 0, 0x000033FFu}, // negative is 0
    };
    for (const Case& k : cases) {
        c.Set(k.r, k.g, k.b, k.a);
        EXPECT_EQ(c.Packed(), k.packed) << std::hex << k.packed;
    }
}

} // namespace
