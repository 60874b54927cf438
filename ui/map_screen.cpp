#include "ui/map_screen.h"

#include "Veapi/light_set.h"
#include "media/screen_quads.h"
#include "ui/camera_controller.h"
#include "ui/screen_camera.h"
#include "ui/selection.h"
#include "world/level.h"

#include <cmath>

namespace {

std::unique_ptr<TextureQuad> LoadImage(const std::string& name)
{
    bool ok = false;
    auto quad = std::make_unique<TextureQuad>(name, ok);
    return ok ? std::move(quad) : nullptr;
}

} // namespace

MapScreen::MapScreen(int kind, float size, const std::string& image) : ObjectScreen(kind, size)
{
    zoom_ = std::isfinite(size) ? 1 - 0.2f * size : 1.0f;
    if (!image.empty())
        background_ = LoadImage(image);
    if (!background_)
        background_ = LoadImage(kFallbackImage);
}

MapScreen::~MapScreen() = default;

void MapScreen::Draw(int64_t)
{
    if (!background_ || !IsObjectScreenVisible())
        return;
    Colour white;
    white.Set(1, 1, 1, 1);
    background_->Lights().SetEmissive(white);
    background_->SetZ(ScreenCamera::kQuadDepth);
    background_->SetRect(left_, top_, left_ + width_, top_ + height_);
    background_->Draw(ScreenCamera::Get());
}

bool MapScreen::MapPoint(const Vec3& lo, const Vec3& hi, float ground, float u, float v, Vec3& out)
{
    if (!(u >= 0 && u <= 1 && v >= 0 && v <= 1))
        return false;
    out = {lo.x + u * (hi.x - lo.x), ground, lo.z + v * (hi.z - lo.z)};
    return std::isfinite(out.x) && std::isfinite(out.y) && std::isfinite(out.z);
}

bool MapScreen::Click(float x, float y)
{
    Level* level = Level::Current();
    if (!level || !(width_ > 0) || !(height_ > 0))
        return false;
    Vec3 point;
    // The lowest ground: the level's largest y, as y grows downward.
    if (!MapPoint(level->minimum_, level->maximum_, level->floorHeight_, (x - left_) / width_, (y - top_) / height_,
                  point))
        return false;
    CameraController::StopTracking();
    Selection::OrderMove(point, 0xFFFFFFFFu, 0);
    return true;
}
