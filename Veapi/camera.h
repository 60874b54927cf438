// Cameras: one viewport on the world with its projection, depth planes, depth
// ranges and the matrices built from them, plus the clip-code functions that
// classify points against the view volume. Every camera is listed so that a
// display-mode change can re-fit all viewports; one camera is current.
#pragma once

#include <cstdint>

#include "app/maths.h"
#include "platform/gfx.h"

// One depth range of a viewport: the z limits it writes and the planes it maps.
struct DepthRange {
    float minZ = 0.0f, maxZ = 1.0f;
    float nearZ = 0.0f, farZ = 10.0f;
    float invRange = 0.1f;
    uint32_t zFunc = gfx::cmp::LessEqual;
};

class Camera {
public:
    // Edge bits of the viewport flags: the edge is given in pixels.
    static constexpr uint8_t kLeftAbsolute = 0x1, kTopAbsolute = 0x2, kWidthAbsolute = 0x4,
                             kHeightAbsolute = 0x8;

    Camera();
    virtual ~Camera();
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;

    // Offset a derived camera adds to its view; the plain camera has none.
    virtual void ViewOffset(Vec3& out) const;
    virtual void OnChanged();

    void OnScreenChanged();
    void UpdateViewportX();
    void UpdateViewportY();
    void SetZFunc(uint32_t function);
    void UpdateDepthRange();
    void SetDepthHalving(bool on);
    void SelectSecondRange(bool on);
    static void ToggleAllSecondRanges();

    void Update();
    void ApplyViewport();
    void ApplyTransforms();
    void SetCurrent();
    static Camera* Current();
    // A new device knows no camera: the next draw must program its own.
    static void ForgetCurrent();

    void SetPosition(const Vec3& position);
    // Turns in radians: yaw about y, pitch about x, roll about z.
    void SetYaw(float radians);
    void SetPitch(float radians);
    void SetRoll(float radians);
    void SetViewSize(float width, float height);
    void SetPerspective(bool on);
    void SetNearFar(float nearPlane, float farPlane);
    float NearPlane() const { return near_; }
    float FarPlane() const { return far_; }
    void SetViewportFractions(float left, float top, float width, float height);
    void SetViewportPixels(int left, int top, int width, int height);
    // One edge as a fraction of the screen: pixels = screen extent x f,
    // rounded; the edge's absolute bit is cleared. 0 pixels are accepted
    // (the device viewport keeps at least one).
    void SetLeftFraction(float f);
    void SetTopFraction(float f);
    void SetWidthFraction(float f);
    void SetHeightFraction(float f);
    struct ViewportRecord {
        int left, top, width, height;
    };
    void SetViewport(const ViewportRecord& pixels);
    int PixelLeft() const { return pixLeft_; }
    int PixelTop() const { return pixTop_; }
    int PixelWidth() const { return pixWidth_; }
    int PixelHeight() const { return pixHeight_; }
    uint8_t ViewportFlags() const { return edgeFlags_; }
    // The depth planes, applied at once (a cut-scene's end restores them).
    void SetDepthRangeAndRefresh(float nearZ, float farZ);
    // The view size stored without refreshing the projection.
    void SetViewSizeFields(float width, float height);
    float ViewSizeWidth() const { return viewSizeWidth_; }
    float ViewSizeHeight() const { return viewSizeHeight_; }
    // Turns given in 4096ths of a turn, each stored as its half-angle
    // quaternion from the sine table (heading about y, pitch about x, roll
    // about z); any float is safe.
    void SetHeadingSteps(float steps);
    void SetPitchSteps(float steps);
    void SetRollSteps(float steps);
    const Quaternion& YawQuaternion() const { return yaw_; }
    const Quaternion& PitchQuaternion() const { return pitch_; }
    const Quaternion& RollQuaternion() const { return roll_; }
    void SetDepthRangeA(float minZ, float maxZ, float nearZ, float farZ);

    // The direction the camera looks in, after updating it when dirty.
    Vec3 GetViewDirection();
    float DepthToDistance(float depth) const;
    // Screen position of a world point (x, y in pixels, z the viewport depth);
    // false when it lies behind the eye.
    bool Project(const Vec3& world, Vec3& screen);

    bool IsDirty() const { return dirty_ || projectionDirty_ || viewDirty_ || worldDirty_; }
    const gfx::Matrix& Combined() const { return combined_; }
    const gfx::Matrix& InverseCombined() const { return inverseCombined_; }
    const gfx::Matrix& Projection() const { return projection_; }
    const gfx::Matrix& View() const { return view_; }
    const gfx::Matrix& World() const { return world_; }
    const Vec3& Position() const { return position_; }
    const gfx::Viewport& DeviceViewport() const { return viewport_; }
    const DepthRange& RangeA() const { return rangeA_; }
    const DepthRange& RangeB() const { return rangeB_; }
    bool SecondRangeSelected() const { return secondRange_; }
    bool DepthHalving() const { return halving_; }
    uint32_t CurrentZFunc() const { return zFunc_; }
    bool Perspective() const { return perspective_; }
    float DepthScale() const { return depthScale_; }
    float DepthOffset() const { return depthOffset_; }
    float HalfWidth() const { return halfWidth_; }
    float HalfHeight() const { return halfHeight_; }
    float CentreX() const { return centreX_; }
    float CentreY() const { return centreY_; }
    // How often the matrices were rebuilt: lets callers see a clean frame.
    uint32_t Rebuilds() const { return rebuilds_; }

protected:
    void MarkDirty() { dirty_ = true; }

private:
    void RebuildProjection();
    void RebuildView();
    void CopySelectedRange();
    void ApplyZFunc();
    static uint32_t FunctionFor(const DepthRange& range, uint32_t base);

    gfx::Matrix combined_, projection_, view_, world_, inverseCombined_;
    bool dirty_ = true, projectionDirty_ = true, viewDirty_ = true, worldDirty_ = true;

    float halfWidth_ = 320, halfHeight_ = 240, centreX_ = 320, centreY_ = 240;
    float invHalfWidth_ = 1.0f / 320, invHalfHeight_ = 1.0f / 240;
    float depthScale_ = 1, invDepthScale_ = 1, depthOffset_ = 0;

    float fracLeft_ = 0, fracTop_ = 0, fracWidth_ = 1, fracHeight_ = 1;
    int pixLeft_ = 0, pixTop_ = 0, pixWidth_ = 640, pixHeight_ = 480;
    uint8_t edgeFlags_ = 0;

    float near_ = 1.0f, far_ = 100.0f, invRange_ = 0.0101f;
    DepthRange rangeA_{0.0f, 1.0f, 0.0f, 10.0f, 0.1f, gfx::cmp::LessEqual};
    DepthRange rangeB_{0.0f, 1.0f, 0.0f, 10.0f, 0.1f, gfx::cmp::LessEqual};
    uint32_t baseZFunc_ = gfx::cmp::LessEqual, zFunc_ = gfx::cmp::LessEqual;

    Vec3 position_{0, 0, 0};
    Quaternion orientation_{0, 0, 0, 1};
    Quaternion yaw_{0, 0, 0, 1}, pitch_{0, 0, 0, 1}, roll_{0, 0, 0, 1}, yawPitch_{0, 0, 0, 1};
    bool orientationDirty_ = true, yawPitchDirty_ = true;

    float scaleX_ = 1.0f, scaleY_ = 1.0f;
    float viewSizeWidth_ = 2.0f, viewSizeHeight_ = 2.0f;
    bool perspective_ = true, halving_ = false, secondRange_ = false;

    gfx::Viewport viewport_{0, 0, 640, 480, 0.0f, 1.0f};
    uint32_t rebuilds_ = 0;
};

// The main camera of the application: a camera that follows a focus point
// from a distance. Camera control moves the focus, distance and angles.
class MainCamera : public Camera {
public:
    Vec3 focus_{0, 0, 0};
    float distance_ = 10.0f;
    float requestedWidth_ = 2.0f, requestedHeight_ = 2.0f;

    // Start of frame: view size, perspective, position behind the focus.
    void FollowFocus();
    // After camera control moved the focus: place again and make current.
    void Place();
    float ViewWidth() const { return viewWidth_; }
    float ViewHeight() const { return viewHeight_; }

    static MainCamera& Get();

private:
    void PlaceBehindFocus();
    float viewWidth_ = 0.0f, viewHeight_ = 0.0f;
};

// Clip codes of a point in view-projection space. Mask bits choose the
// tests: 1 x < -1, 2 x >= 1, 4 y < -1, 8 y >= 1, 16 z below the near plane,
// 32 z at or beyond the far plane (only when not below the near plane), 64
// x and y compared with -z and z (points before the perspective divide).
namespace ClipCodes {
constexpr uint32_t kLeft = 1, kRight = 2, kBottom = 4, kTop = 8, kNear = 16, kFar = 32, kHomogeneous = 64;
using Function = uint32_t (*)(const Vec3& point);
// Entry m tests exactly the planes of mask m, straight-line code each.
extern const Function Table[128];
// The planes the z tests use: the current camera's.
void SetPlanes(float nearPlane, float farPlane);
float NearPlane();
float FarPlane();
} // namespace ClipCodes

// Row-vector helpers shared by the scene code.
gfx::Matrix InverseMatrix(const gfx::Matrix& m);
// (x, y, z, 1) x m, all four results.
void TransformPoint4(const gfx::Matrix& m, const Vec3& p, float out[4]);

// The sine-table index of half an angle of 4096ths of a turn, rounded to
// the nearest step; reduced first, so huge or negative angles stay in range.
int32_t HalfAngleTableIndex(float steps);

// Every camera, for display-mode changes and the range toggle.
namespace CameraList {
int Count();
Camera* At(int index);
void ScreenChanged();
} // namespace CameraList
