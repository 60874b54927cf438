// A display opened the way the shell opens it, on an off-screen window when
// no X display is given, and put back to its start state after each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>
#include <unistd.h>

#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"
#include "app/log_file.h"
#include "platform/gfx.h"

namespace displaytest {

// Runs a command that prints a binary PPM (P6, maximum 255) and returns its
// pixels as rows of 0xRRGGBB, top row first; empty when the tool fails.
inline std::vector<std::vector<uint32_t>> DecodePpmFrom(const std::string& command)
{
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return {};
    int w = 0, h = 0, max = 0;
    std::vector<std::vector<uint32_t>> rows;
    if (std::fscanf(p, "P6 %d %d %d", &w, &h, &max) == 3 && max == 255 && w > 0 && h > 0) {
        std::fgetc(p);
        rows.assign(size_t(h), std::vector<uint32_t>(size_t(w)));
        for (auto& row : rows)
            for (auto& px : row) {
                const int r = std::fgetc(p), g = std::fgetc(p), b = std::fgetc(p);
                px = uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
            }
    }
    pclose(p);
    return rows;
}

inline void UseHeadlessDisplayWhenNoneIsGiven()
{
    const char* display = std::getenv("DISPLAY");
    if ((!display || !*display) && !std::getenv("SDL_VIDEODRIVER"))
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
}

// A folder of its own, made current for the test, removed afterwards.
class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/trevok-display-XXXXXX";
        path_ = mkdtemp(pattern);
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
    ~TempDir()
    {
        std::filesystem::current_path(old_);
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_, old_;
};

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseHeadlessDisplayWhenNoneIsGiven();
        gfx::ResetFaults();
        Display::Flags() = 0;
        Display::Options() = DisplayOptions{};
        Display::ClearColour() = 0;
        Display::Hooks() = DisplayHooks{};
        TextureManager::Clear();
        TextureManager::SetLoader({});
    }
    void TearDown() override
    {
        Display::Shutdown();
        TextureManager::Clear();
        TextureManager::SetLoader({});
        gfx::ResetFaults();
    }

    // Start-up, a full-screen mode and the device, as the shell does it.
    void Start(int width = 640, int height = 480, int depth = 16)
    {
        ASSERT_TRUE(Display::Startup(nullptr));
        ASSERT_GT(Display::SetMode(width, height, depth, Display::Flags()), 0);
        ASSERT_TRUE(Display::OpenDevice());
        ASSERT_TRUE(Display::DeviceReady());
    }

    uint32_t ScreenPixel(int x, int y)
    {
        // Tests walk whole screens a pixel at a time: read the front buffer
        // once for each picture it shows.
        if (shotVersion_ != gfx::FrontBufferVersion() || shot_.empty()) {
            shot_.clear();
            EXPECT_TRUE(gfx::ReadScreen(true, shot_, shotPitch_));
            shotVersion_ = gfx::FrontBufferVersion();
        }
        const std::vector<uint8_t>& px = shot_;
        const int pitch = shotPitch_;
        if (px.empty())
            return 0xDEADBEEF;
        const int bpp = Display::Depth() / 8;
        const uint8_t* p = &px[size_t(y) * size_t(pitch) + size_t(x) * size_t(bpp)];
        if (bpp == 2) {
            const uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8;
            return ((v >> 11) & 0x1F) << 19 | ((v >> 5) & 0x3F) << 10 | (v & 0x1F) << 3;
        }
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    }

private:
    std::vector<uint8_t> shot_;
    int shotPitch_ = 0;
    uint64_t shotVersion_ = 0;
};

// A texture loader standing in for the image readers: the "file" is named
// after its colour ("ff0000.bmp"), the kept image is that colour.
struct ColourLoader {
    int loads = 0, reloads = 0, rebuilds = 0;
    std::vector<std::filesystem::path> paths;

    TextureLoader Loader()
    {
        return [this](const TextureLoadRequest& req, TextureLoadResult& res) {
            uint32_t colour = 0;
            if (req.format == "sfWHOXOYBcAm") {
                ++loads;
                paths.push_back(req.path);
                colour = 0xFF000000u | uint32_t(std::stoul(req.path.stem().string(), nullptr, 16));
            } else {
                colour = *static_cast<uint32_t*>(req.image.get());
                (req.target ? reloads : rebuilds) += 1;
            }
            if (req.target)
                return req.target->ColourFill(colour);
            res.surface = gfx::Texture::Create(8, 8, gfx::Argb8888(), 1);
            if (!res.surface || !res.surface->ColourFill(colour))
                return false;
            res.width = res.height = 8;
            res.chargeSize = 256;
            res.chargeFactor = 4096;
            res.image = std::make_shared<uint32_t>(colour);
            return true;
        };
    }
};

} // namespace displaytest
