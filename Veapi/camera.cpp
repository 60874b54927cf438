#include "Veapi/camera.h"

#include <algorithm>
#include <array>
#include <utility>
#include <cmath>
#include <mutex>
#include <vector>

#include "Veapi/ve3d.h"
#include "app/math_tables.h"

namespace {

struct Cameras {
    std::mutex lock;
    std::vector<Camera*> list;
    Camera* current = nullptr;
};

Cameras& All()
{
    static Cameras cameras;
    return cameras;
}

float g_clipNear = 1.0f;
float g_clipFar = 100.0f;

float ScreenWidth()
{
    return float(Display::Width());
}
float ScreenHeight()
{
    return float(Display::Height());
}

// Row i of the matrix of q: where q takes the i-th axis (row vectors: v' = v M).
gfx::Matrix RotationOf(const Quaternion& q)
{
    gfx::Matrix m;
    const Vec3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int i = 0; i < 3; ++i) {
        const Vec3 r = q.Rotate(axes[i]);
        m(i, 0) = r.x;
        m(i, 1) = r.y;
        m(i, 2) = r.z;
    }
    return m;
}

// One clip-code function per mask: the tests outside the mask compile away.
template <uint32_t M>
uint32_t ClipCodeOf(const Vec3& p)
{
    uint32_t code = 0;
    constexpr bool kHomogeneous = (M & 64) != 0;
    const float lo = kHomogeneous ? -p.z : -1.0f;
    const float hi = kHomogeneous ? p.z : 1.0f;
    // Written as "not inside" so that NaN falls outside for the lower bounds.
    if constexpr ((M & 1) != 0)
        code |= !(p.x >= lo) ? 1u : 0u;
    if constexpr ((M & 2) != 0)
        code |= p.x >= hi ? 2u : 0u;
    if constexpr ((M & 4) != 0)
        code |= !(p.y >= lo) ? 4u : 0u;
    if constexpr ((M & 8) != 0)
        code |= p.y >= hi ? 8u : 0u;
    if constexpr ((M & 48) == 48) {
        if (!(p.z >= g_clipNear))
            code |= 16u;
        else if (p.z >= g_clipFar)
            code |= 32u;
    } else if constexpr ((M & 16) != 0) {
        code |= !(p.z >= g_clipNear) ? 16u : 0u;
    } else if constexpr ((M & 32) != 0) {
        code |= (p.z >= g_clipNear && p.z >= g_clipFar) ? 32u : 0u;
    }
    return code;
}

template <uint32_t... M>
constexpr std::array<ClipCodes::Function, sizeof...(M)> MakeTable(std::integer_sequence<uint32_t, M...>)
{
    return {&ClipCodeOf<M>...};
}

constexpr auto kClipTable = MakeTable(std::make_integer_sequence<uint32_t, 128>{});

} // namespace

namespace ClipCodes {
const Function Table[128] = {
#define E8(b) kClipTable[b], kClipTable[b + 1], kClipTable[b + 2], kClipTable[b + 3], kClipTable[b + 4], \
              kClipTable[b + 5], kClipTable[b + 6], kClipTable[b + 7]
    E8(0),  E8(8),  E8(16), E8(24), E8(32), E8(40), E8(48), E8(56),
    E8(64), E8(72), E8(80), E8(88), E8(96), E8(104), E8(112), E8(120),
#undef E8
};
void SetPlanes(float nearPlane, float farPlane)
{
    g_clipNear = nearPlane;
    g_clipFar = farPlane;
}
float NearPlane() { return g_clipNear; }
float FarPlane() { return g_clipFar; }
} // namespace ClipCodes

void TransformPoint4(const gfx::Matrix& m, const Vec3& p, float out[4])
{
    for (int k = 0; k < 4; ++k)
        out[k] = p.x * m(0, k) + p.y * m(1, k) + p.z * m(2, k) + m(3, k);
}

gfx::Matrix InverseMatrix(const gfx::Matrix& in)
{
    // Gauss-Jordan with partial pivoting in double; a singular matrix gives identity.
    double a[4][8];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 8; ++c)
            a[r][c] = c < 4 ? double(in(r, c)) : (c - 4 == r ? 1.0 : 0.0);
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col]))
                pivot = r;
        if (std::fabs(a[pivot][col]) < 1e-30)
            return gfx::Matrix{};
        if (pivot != col)
            for (int c = 0; c < 8; ++c)
                std::swap(a[pivot][c], a[col][c]);
        const double inv = 1.0 / a[col][col];
        for (int c = 0; c < 8; ++c)
            a[col][c] *= inv;
        for (int r = 0; r < 4; ++r) {
            if (r == col || a[r][col] == 0.0)
                continue;
            const double f = a[r][col];
            for (int c = 0; c < 8; ++c)
                a[r][c] -= f * a[col][c];
        }
    }
    gfx::Matrix out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out(r, c) = float(a[r][c + 4]);
    return out;
}

namespace CameraList {
int Count()
{
    std::lock_guard<std::mutex> hold(All().lock);
    return int(All().list.size());
}
Camera* At(int index)
{
    std::lock_guard<std::mutex> hold(All().lock);
    return index >= 0 && size_t(index) < All().list.size() ? All().list[size_t(index)] : nullptr;
}
void ScreenChanged()
{
    std::vector<Camera*> copy;
    {
        std::lock_guard<std::mutex> hold(All().lock);
        copy = All().list;
    }
    for (Camera* c : copy)
        c->OnScreenChanged();
}
} // namespace CameraList

Camera::Camera()
{
    {
        std::lock_guard<std::mutex> hold(All().lock);
        All().list.push_back(this);
    }
    OnScreenChanged();
}

Camera::~Camera()
{
    std::lock_guard<std::mutex> hold(All().lock);
    auto& list = All().list;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (All().current == this)
        All().current = nullptr;
}

void Camera::ViewOffset(Vec3& out) const
{
    out = {0, 0, 0};
}

void Camera::OnChanged() {}

Camera* Camera::Current()
{
    return All().current;
}

void Camera::ForgetCurrent()
{
    All().current = nullptr;
}

void Camera::OnScreenChanged()
{
    const float w = ScreenWidth(), h = ScreenHeight();
    auto fit = [](bool absolute, int& pixels, float& fraction, float extent) {
        if (absolute)
            fraction = extent > 0 ? float(pixels) / extent : 0.0f;
        else
            pixels = int(std::lround(fraction * extent));
    };
    fit(edgeFlags_ & kLeftAbsolute, pixLeft_, fracLeft_, w);
    fit(edgeFlags_ & kTopAbsolute, pixTop_, fracTop_, h);
    fit(edgeFlags_ & kWidthAbsolute, pixWidth_, fracWidth_, w);
    fit(edgeFlags_ & kHeightAbsolute, pixHeight_, fracHeight_, h);
    UpdateViewportX();
    UpdateViewportY();
}

namespace {
// One axis of the viewport: start kept on the screen, at least one pixel wide.
void FitAxis(int start, int length, int screen, int& outStart, int& outLength)
{
    int x = std::min(start, screen - 1);
    x = std::max(x, 0);
    int right = x + length;
    if (right <= x)
        right = x + 1;
    else if (right > screen)
        right = screen;
    outStart = x;
    outLength = right - x;
}
} // namespace

void Camera::UpdateViewportX()
{
    int x = 0, width = 0;
    FitAxis(pixLeft_, pixWidth_, Display::Width(), x, width);
    viewport_.x = x;
    viewport_.width = width;
    halfWidth_ = float(width) * 0.5f;
    centreX_ = float(x + x + width) * 0.5f;
    invHalfWidth_ = 1.0f / halfWidth_;
    dirty_ = true;
}

void Camera::UpdateViewportY()
{
    int y = 0, height = 0;
    FitAxis(pixTop_, pixHeight_, Display::Height(), y, height);
    viewport_.y = y;
    viewport_.height = height;
    halfHeight_ = float(height) * 0.5f;
    centreY_ = float(y + y + height) * 0.5f;
    invHalfHeight_ = 1.0f / halfHeight_;
    dirty_ = true;
}

uint32_t Camera::FunctionFor(const DepthRange& range, uint32_t base)
{
    if (!(range.maxZ < range.minZ))
        return base;
    switch (base) {
    case gfx::cmp::Less: return gfx::cmp::Greater;
    case gfx::cmp::Greater: return gfx::cmp::Less;
    case gfx::cmp::LessEqual: return gfx::cmp::GreaterEqual;
    case gfx::cmp::GreaterEqual: return gfx::cmp::LessEqual;
    default: return base;
    }
}

void Camera::ApplyZFunc()
{
    if (Current() != this)
        return;
    if (Display::SetZFunc(zFunc_) != zFunc_)
        ApplyViewport();
}

void Camera::SetZFunc(uint32_t function)
{
    baseZFunc_ = function;
    rangeA_.zFunc = FunctionFor(rangeA_, function);
    rangeB_.zFunc = FunctionFor(rangeB_, function);
    zFunc_ = secondRange_ ? rangeB_.zFunc : rangeA_.zFunc;
    ApplyZFunc();
}

void Camera::CopySelectedRange()
{
    const DepthRange& r = secondRange_ ? rangeB_ : rangeA_;
    near_ = r.nearZ;
    far_ = r.farZ;
    invRange_ = r.invRange;
    viewport_.minZ = r.minZ;
    viewport_.maxZ = r.maxZ;
    zFunc_ = r.zFunc;
    projectionDirty_ = true;
    dirty_ = true;
}

void Camera::UpdateDepthRange()
{
    rangeA_.invRange = rangeA_.farZ != rangeA_.nearZ ? 1.0f / (rangeA_.farZ - rangeA_.nearZ) : 0.0f;
    rangeA_.zFunc = FunctionFor(rangeA_, baseZFunc_);
    if (halving_) {
        rangeB_.minZ = 1.0f - rangeA_.maxZ;
        rangeB_.maxZ = 1.0f - rangeA_.minZ;
        rangeB_.nearZ = rangeA_.nearZ;
        rangeB_.farZ = rangeA_.farZ;
        rangeB_.invRange = rangeA_.invRange;
        rangeB_.zFunc = FunctionFor(rangeB_, baseZFunc_);
    }
    CopySelectedRange();
}

void Camera::SetDepthRangeA(float minZ, float maxZ, float nearZ, float farZ)
{
    rangeA_.minZ = minZ;
    rangeA_.maxZ = maxZ;
    rangeA_.nearZ = nearZ;
    rangeA_.farZ = farZ;
    UpdateDepthRange();
}

void Camera::SetDepthHalving(bool on)
{
    if (on == halving_)
        return;
    halving_ = on;
    const float f = on ? 0.5f : 2.0f;
    rangeA_.minZ *= f;
    rangeA_.maxZ *= f;
    if (!on && secondRange_)
        secondRange_ = false;
    UpdateDepthRange();
}

void Camera::SelectSecondRange(bool on)
{
    secondRange_ = on;
    CopySelectedRange();
    Update();
    if (Current() == this) {
        Display::SetZFunc(zFunc_);
        ApplyViewport();
        ClipCodes::SetPlanes(near_, far_);
    }
}

void Camera::ToggleAllSecondRanges()
{
    std::vector<Camera*> copy;
    {
        std::lock_guard<std::mutex> hold(All().lock);
        copy = All().list;
    }
    for (Camera* c : copy)
        if (c->halving_)
            c->SelectSecondRange(!c->secondRange_);
}

void Camera::RebuildProjection()
{
    gfx::Matrix p;
    p.m.fill(0.0f);
    p(0, 0) = scaleX_;
    p(1, 1) = scaleY_;
    if (perspective_) {
        const float q = far_ * invRange_;
        p(2, 2) = q;
        p(2, 3) = 1.0f;
        p(3, 2) = -near_ * q;
    } else {
        p(2, 2) = invRange_;
        p(3, 2) = -near_ * invRange_;
        p(3, 3) = 1.0f;
    }
    projection_ = p;
    depthScale_ = viewport_.maxZ * projection_(2, 2) - viewport_.minZ;
    depthOffset_ = viewport_.minZ - near_ * depthScale_;
    invDepthScale_ = depthScale_ != 0.0f ? 1.0f / depthScale_ : 0.0f;
    projectionDirty_ = false;
}

void Camera::RebuildView()
{
    if (yawPitchDirty_) {
        yawPitch_ = yaw_ * pitch_;
        yawPitchDirty_ = false;
    }
    orientation_ = yawPitch_ * roll_;
    gfx::Matrix v = RotationOf(orientation_);
    Vec3 offset;
    ViewOffset(offset);
    const Vec3 eye = position_ + offset;
    for (int c = 0; c < 3; ++c)
        v(3, c) = -(eye.x * v(0, c) + eye.y * v(1, c) + eye.z * v(2, c));
    view_ = v;
    orientationDirty_ = false;
    viewDirty_ = false;
}

void Camera::Update()
{
    if (!IsDirty() && !orientationDirty_)
        return;
    ++rebuilds_;
    // A changed range or viewport moves the depth terms too.
    RebuildProjection();
    if (orientationDirty_ || viewDirty_ || dirty_)
        RebuildView();
    combined_ = view_ * projection_;
    inverseCombined_ = InverseMatrix(combined_);
    if (worldDirty_) {
        world_ = gfx::Matrix{};
        worldDirty_ = false;
    }
    dirty_ = false;
    OnChanged();
}

void Camera::ApplyViewport()
{
    gfx::Device* dev = Display::Device();
    if (!dev)
        return;
    dev->SetViewport(viewport_);
    gfx::ClipStatus status;
    status.flags = gfx::kClipStatusExtents2;
    status.minX = float(viewport_.x);
    status.maxX = float(viewport_.x + viewport_.width);
    status.minY = float(viewport_.y);
    status.maxY = float(viewport_.y + viewport_.height);
    status.minZ = viewport_.minZ;
    status.maxZ = viewport_.maxZ;
    dev->SetClipStatus(status);
    Display::SetZFunc(zFunc_);
}

void Camera::ApplyTransforms()
{
    Update();
    gfx::Device* dev = Display::Device();
    if (!dev)
        return;
    dev->SetTransform(gfx::TransformType::World, world_);
    dev->SetTransform(gfx::TransformType::View, view_);
    dev->SetTransform(gfx::TransformType::Projection, projection_);
}

void Camera::SetCurrent()
{
    All().current = this;
    ClipCodes::SetPlanes(near_, far_);
    ApplyViewport();
    ApplyTransforms();
}

void Camera::SetPosition(const Vec3& position)
{
    position_ = position;
    viewDirty_ = true;
    dirty_ = true;
}

void Camera::SetYaw(float radians)
{
    yaw_ = Quaternion::FromAxisAngle({0, 1, 0}, radians);
    yawPitchDirty_ = orientationDirty_ = true;
    dirty_ = true;
}

void Camera::SetPitch(float radians)
{
    pitch_ = Quaternion::FromAxisAngle({1, 0, 0}, radians);
    yawPitchDirty_ = orientationDirty_ = true;
    dirty_ = true;
}

void Camera::SetRoll(float radians)
{
    roll_ = Quaternion::FromAxisAngle({0, 0, 1}, radians);
    orientationDirty_ = true;
    dirty_ = true;
}

void Camera::SetViewSize(float width, float height)
{
    viewSizeWidth_ = width;
    viewSizeHeight_ = height;
    scaleX_ = 2.0f / width;
    scaleY_ = -2.0f / height;
    projectionDirty_ = dirty_ = true;
}

void Camera::SetPerspective(bool on)
{
    if (perspective_ == on)
        return;
    perspective_ = on;
    projectionDirty_ = dirty_ = true;
}

void Camera::SetNearFar(float nearPlane, float farPlane)
{
    if (halving_) {
        nearPlane *= 0.5f;
        farPlane *= 0.5f;
    }
    rangeA_.nearZ = nearPlane;
    rangeA_.farZ = farPlane;
    UpdateDepthRange();
    if (Current() == this)
        ClipCodes::SetPlanes(near_, far_);
}

void Camera::SetViewportFractions(float left, float top, float width, float height)
{
    fracLeft_ = left;
    fracTop_ = top;
    fracWidth_ = width;
    fracHeight_ = height;
    edgeFlags_ = 0;
    OnScreenChanged();
}

namespace {
int ScaledPixels(float fraction, float extent) { return static_cast<int>(std::lround(double(fraction) * extent)); }
} // namespace

void Camera::SetLeftFraction(float f)
{
    fracLeft_ = f;
    pixLeft_ = ScaledPixels(f, ScreenWidth());
    edgeFlags_ &= static_cast<uint8_t>(~kLeftAbsolute);
    UpdateViewportX();
}

void Camera::SetWidthFraction(float f)
{
    fracWidth_ = f;
    pixWidth_ = ScaledPixels(f, ScreenWidth());
    edgeFlags_ &= static_cast<uint8_t>(~kWidthAbsolute);
    UpdateViewportX();
}

void Camera::SetTopFraction(float f)
{
    fracTop_ = f;
    pixTop_ = ScaledPixels(f, ScreenHeight());
    edgeFlags_ &= static_cast<uint8_t>(~kTopAbsolute);
    UpdateViewportY();
}

void Camera::SetHeightFraction(float f)
{
    fracHeight_ = f;
    pixHeight_ = ScaledPixels(f, ScreenHeight());
    edgeFlags_ &= static_cast<uint8_t>(~kHeightAbsolute);
    UpdateViewportY();
}

void Camera::SetViewport(const ViewportRecord& pixels)
{
    pixLeft_ = pixels.left;
    pixTop_ = pixels.top;
    pixWidth_ = pixels.width;
    pixHeight_ = pixels.height;
    UpdateViewportX();
    UpdateViewportY();
}

void Camera::SetDepthRangeAndRefresh(float nearZ, float farZ)
{
    rangeA_.nearZ = nearZ;
    rangeA_.farZ = farZ;
    UpdateDepthRange();
    dirty_ = projectionDirty_ = true;
    if (Current() == this)
        ClipCodes::SetPlanes(near_, far_);
}

void Camera::SetViewSizeFields(float width, float height)
{
    viewSizeWidth_ = width;
    viewSizeHeight_ = height;
}

int32_t HalfAngleTableIndex(float steps)
{
    if (!std::isfinite(steps))
        return 0;
    double half = std::fmod(double(steps) * 0.5, 4096.0);
    if (half < 0)
        half += 4096.0;
    return static_cast<int32_t>(std::floor(half + 0.5)) & 0xFFF;
}

namespace {
// (sin, cos) of half the angle from the engine's sine table.
void HalfAngle(float steps, float& s, float& c)
{
    const int32_t i = HalfAngleTableIndex(steps);
    s = SineOf(i);
    c = CosineOf(i);
}
} // namespace

void Camera::SetHeadingSteps(float steps)
{
    float s, c;
    HalfAngle(steps, s, c);
    yaw_ = {0, s, 0, c};
    yawPitchDirty_ = orientationDirty_ = dirty_ = true;
}

void Camera::SetPitchSteps(float steps)
{
    float s, c;
    HalfAngle(steps, s, c);
    pitch_ = {s, 0, 0, c};
    yawPitchDirty_ = orientationDirty_ = dirty_ = true;
}

void Camera::SetRollSteps(float steps)
{
    float s, c;
    HalfAngle(steps, s, c);
    roll_ = {0, 0, s, c};
    orientationDirty_ = dirty_ = true;
}

void Camera::SetViewportPixels(int left, int top, int width, int height)
{
    pixLeft_ = left;
    pixTop_ = top;
    pixWidth_ = width;
    pixHeight_ = height;
    edgeFlags_ = kLeftAbsolute | kTopAbsolute | kWidthAbsolute | kHeightAbsolute;
    OnScreenChanged();
}

Vec3 Camera::GetViewDirection()
{
    Update();
    return {view_(0, 2), view_(1, 2), view_(2, 2)};
}

float Camera::DepthToDistance(float depth) const
{
    return 1.0f / ((depth - projection_(3, 2)) / projection_(2, 2));
}

bool Camera::Project(const Vec3& world, Vec3& screen)
{
    Update();
    float c[4];
    TransformPoint4(combined_, world, c);
    if (!(c[3] > 0.0f))
        return false;
    const float rhw = 1.0f / c[3];
    screen.x = centreX_ + c[0] * rhw * halfWidth_;
    screen.y = centreY_ - c[1] * rhw * halfHeight_;
    screen.z = viewport_.minZ + c[2] * rhw * (viewport_.maxZ - viewport_.minZ);
    return true;
}

// ---- The main camera ----------------------------------------------------------

MainCamera& MainCamera::Get()
{
    static MainCamera camera;
    return camera;
}

void MainCamera::PlaceBehindFocus()
{
    const Vec3 wanted = focus_ - GetViewDirection() * distance_;
    const Vec3& now = Position();
    if (wanted.x != now.x || wanted.y != now.y || wanted.z != now.z)
        SetPosition(wanted);
}

void MainCamera::FollowFocus()
{
    Update();
    if (viewWidth_ != requestedWidth_ || viewHeight_ != requestedHeight_) {
        viewWidth_ = requestedWidth_;
        viewHeight_ = requestedHeight_;
        SetViewSize(viewWidth_, viewHeight_);
    }
    SetPerspective(true);
    PlaceBehindFocus();
    Update();
}

void MainCamera::Place()
{
    if (viewWidth_ != requestedWidth_ || viewHeight_ != requestedHeight_) {
        viewWidth_ = requestedWidth_;
        viewHeight_ = requestedHeight_;
        SetViewSize(viewWidth_, viewHeight_);
    }
    PlaceBehindFocus();
    Update();
    SetCurrent();
}
