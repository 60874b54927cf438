// A small screen for drawing tests: opens the graphics layer (off-screen when
// no X display is given), builds a mode and a device, and reads pixels back.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/gfx.h"

namespace gfxtest {

inline void UseHeadlessDisplayWhenNoneIsGiven()
{
    const char* display = std::getenv("DISPLAY");
    if ((!display || !*display) && !std::getenv("SDL_VIDEODRIVER"))
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
}

struct TlVertex {
    float x, y, z, rhw;
    uint32_t diffuse, specular;
    float u, v;
};
static_assert(sizeof(TlVertex) == 32);

struct LVertex {
    float x, y, z;
    uint32_t diffuse, specular;
    float u, v;
};

struct NVertex {
    float x, y, z, nx, ny, nz, u, v;
};

// Two triangles covering [x0, x1) x [y0, y1) in screen pixels.
inline std::vector<TlVertex> ScreenQuad(float x0, float y0, float x1, float y1, uint32_t colour,
                                        float z = 0.5f)
{
    TlVertex a{x0, y0, z, 1, colour, 0, 0, 0}, b{x1, y0, z, 1, colour, 0, 1, 0},
        c{x1, y1, z, 1, colour, 0, 1, 1}, d{x0, y1, z, 1, colour, 0, 0, 1};
    return {a, b, c, a, c, d};
}

class Screen : public ::testing::Test {
protected:
    void Open(int width, int height, int depth, bool withZ = true)
    {
        UseHeadlessDisplayWhenNoneIsGiven();
        gfx::ResetFaults();
        ASSERT_TRUE(gfx::Open(nullptr));
        ASSERT_TRUE(gfx::CreateScreen(width, height, depth, true, 2));
        if (withZ) {
            ASSERT_TRUE(gfx::CreateZBuffer(gfx::EnumerateZFormats().back()));
        }
        device_ = gfx::CreateDevice(gfx::kTnlDeviceName);
        ASSERT_NE(device_, nullptr);
        width_ = width;
        height_ = height;
        depth_ = depth;
    }
    void TearDown() override
    {
        device_.reset();
        gfx::ResetFaults();
        gfx::Close();
    }

    // A pixel of the back buffer as 0xRRGGBB.
    uint32_t Pixel(int x, int y, bool front = false)
    {
        std::vector<uint8_t> px;
        int pitch = 0;
        EXPECT_TRUE(gfx::ReadScreen(front, px, pitch));
        if (px.empty())
            return 0xDEADBEEF;
        const uint8_t* p = &px[size_t(y) * size_t(pitch) + size_t(x) * size_t(depth_ / 8)];
        if (depth_ == 16) {
            const uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8;
            return ((v >> 11) & 0x1F) << 19 | ((v >> 5) & 0x3F) << 10 | (v & 0x1F) << 3;
        }
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    }

    void Draw(const std::vector<TlVertex>& v, gfx::Primitive type = gfx::Primitive::TriangleList)
    {
        ASSERT_TRUE(device_->DrawPrimitive(type, gfx::kFvfTLVertex, v.data(), uint32_t(v.size())));
    }

    void ClearTo(uint32_t argb)
    {
        ASSERT_TRUE(device_->Clear({}, gfx::kClearTarget | (gfx::HasZBuffer() ? gfx::kClearZBuffer : 0u),
                                   argb, 1.0f, 0));
    }

    std::unique_ptr<gfx::Device> device_;
    int width_ = 0, height_ = 0, depth_ = 0;
};

} // namespace gfxtest
