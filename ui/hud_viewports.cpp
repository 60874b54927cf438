#include "ui/hud_viewports.h"

#include "Veapi/camera.h"

namespace HudViewports {
namespace {

struct Row {
    Camera& (*camera)();
    float nearPlane, farZ;
    bool viewport;
    float left, top, width, height;
};

Camera& Main() { return MainCamera::Get(); }

// The near clip plane and the far end of the depth range of each camera;
// the small inset's viewport is its window's to set.
const Row kRows[] = {
    {Main, 0.95f, 200.0f, true, 0, 0, 1, 1},        {Overview, 1.0f, 1000.0f, true, 0, 0, 1, 1},
    {HudText, 0.04f, 10.0f, true, 0, 0, 1, 1},      {HudOverlay, 0.04f, 10.0f, true, 0, 0, 1, 1},
    {InsetWindow, 0.3f, 10.0f, true, 0.05f, 0.05f, 0.9f, 0.9f}, {SmallInset, 0.03f, 10.0f, false, 0, 0, 0, 0},
};

} // namespace

// Made on first use, after the display exists, and kept to the end.
Camera& Overview()
{
    static Camera camera;
    return camera;
}
Camera& HudText()
{
    static Camera camera;
    return camera;
}
Camera& HudOverlay()
{
    static Camera camera;
    return camera;
}
Camera& InsetWindow()
{
    static Camera camera;
    return camera;
}
Camera& SmallInset()
{
    static Camera camera;
    return camera;
}

void SetUp()
{
    // The overlay draws the command wheel's parts: square pixels on a 4:3
    // screen, and y growing down the screen like every other camera, so
    // the hit probes' edge tests see its faces the same way round.
    HudOverlay().SetViewSize(kOverlayViewWidth, kOverlayViewHeight);
    for (const Row& row : kRows) {
        Camera& c = row.camera();
        c.SetNearFar(row.nearPlane, row.farZ);
        if (!row.viewport)
            continue;
        c.SetLeftFraction(row.left);
        c.SetTopFraction(row.top);
        c.SetWidthFraction(row.width);
        c.SetHeightFraction(row.height);
    }
}

} // namespace HudViewports
