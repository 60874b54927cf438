// A display with the scene parts hooked in (cameras, materials, processing
// buffers, probes), a camera looking along +z, and helpers to draw and read
// back what a player would see.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Veapi/VertBuff.h"
#include "Veapi/bounding_box.h"
#include "Veapi/camera.h"
#include "Veapi/hit_probe.h"
#include "Veapi/light_set.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve_shape.h"
#include "display_fixture.h"

namespace scenetest {

struct Rgb {
    int r, g, b;
};

inline Rgb Split(uint32_t rgb)
{
    return {int((rgb >> 16) & 0xFF), int((rgb >> 8) & 0xFF), int(rgb & 0xFF)};
}

inline gfx::Matrix Translation(float x, float y, float z)
{
    gfx::Matrix m;
    m(3, 0) = x;
    m(3, 1) = y;
    m(3, 2) = z;
    return m;
}

inline gfx::Matrix ScaleTranslation(float s, float x, float y, float z)
{
    gfx::Matrix m = Translation(x, y, z);
    m(0, 0) = m(1, 1) = m(2, 2) = s;
    return m;
}

class SceneTest : public displaytest::DisplayTest {
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        InstallSceneHooks();
        HitProbe::CreateGlobals();
        HitProbe::Enabled() = false;
    }
    void TearDown() override
    {
        camera_.reset();
        LightSet::ForgetCurrent();
        HitProbe::DestroyGlobals();
        DisplayTest::TearDown();
    }

    // A 32-bit screen, a camera at the origin looking along +z whose view
    // size is set as the main camera sets it (y grows down the screen).
    void StartScene(int width = 320, int height = 240)
    {
        Start(width, height, 32);
        camera_ = std::make_unique<Camera>();
        camera_->SetViewSize(2.0f * float(width) / float(height), 2.0f);
        camera_->SetNearFar(1.0f, 100.0f);
        camera_->SetCurrent();
    }

    void BeginFrame(uint32_t clearColour = 0)
    {
        Display::ClearColour() = clearColour;
        ASSERT_TRUE(Display::BeginScene());
        Display::Clear();
        camera_->SetCurrent();
    }

    void EndFrame()
    {
        Display::EndFrame(nullptr, nullptr);
    }

    Rgb Pixel(int x, int y) { return Split(ScreenPixel(x, y)); }

    // One directional light from the camera's side, pointing along +z.
    LightSet* FrontLight(float level = 1.0f)
    {
        auto* set = new LightSet;
        Colour c, s;
        c.Set(level, level, level, 1);
        s.Set(0, 0, 0, 1);
        set->AddDirectionalLight(c, s, {0, 0, 1});
        return set;
    }

    std::unique_ptr<Camera> camera_;
};

// A loader that makes every texture 256 x 256 ARGB filled with one colour
// (also when it reloads into an existing surface).
inline TextureLoader FilledTextureLoader(uint32_t argb)
{
    return [argb](const TextureLoadRequest& req, TextureLoadResult& res) {
        if (req.target)
            return req.target->ColourFill(argb);
        res.surface = gfx::Texture::Create(256, 256, gfx::Argb8888(), 1);
        res.width = res.height = 256;
        return res.surface && res.surface->ColourFill(argb);
    };
}

} // namespace scenetest
