#include "ui/screen_camera.h"

#include "Veapi/camera.h"

namespace ScreenCamera {

Camera* Get()
{
    // Never freed: cameras unlist themselves from a list that static
    // destruction may already have taken down.
    static Camera* camera = [] {
        auto* c = new Camera;
        c->SetPerspective(false);
        c->SetViewSize(1.0f, 1.0f);
        c->SetNearFar(1.0f, 100.0f);
        c->SetPosition({0.5f, 0.5f, -10.0f});
        return c;
    }();
    return camera;
}

} // namespace ScreenCamera
