// The map screens (kinds 10 and 11): the level's map image on a quad the
// object screens open; a click on the map sends the selected units to the
// place it shows.
#pragma once

#include "app/maths.h"
#include "ui/object_screen.h"

#include <memory>
#include <string>

class TextureQuad;

class MapScreen : public ObjectScreen {
public:
    static constexpr const char* kFallbackImage = "bitmaps\\maptest.bmp";

    // `size` is the requested size: the quad is five times it (at most the
    // screen) and the map's zoom 1 - 0.2 x size. Without `image`, or when it
    // does not load, the fallback image is shown.
    MapScreen(int kind, float size, const std::string& image);

    void Draw(int64_t now) override;

    // The level point under (u, v) of the map (0 to 1 across and down) over
    // the landscape bounds, at height `ground`; false off the map or for a
    // non-finite input.
    static bool MapPoint(const Vec3& minimum, const Vec3& maximum, float ground, float u, float v, Vec3& out);
    // A click at the screen point (fractions): the camera lets go of the
    // units it follows and the selection is ordered there. False when the
    // point is off the map or no level is loaded.
    bool Click(float x, float y);

    float Size() const { return width_; }
    float Zoom() const { return zoom_; }
    bool HasImage() const { return background_ != nullptr; }

protected:
    ~MapScreen() override;

private:
    std::unique_ptr<TextureQuad> background_;
    float zoom_ = 1;
};
