// The screen pictures that are not videos: a plain coloured quad (the
// frame-timing bars), one image on one texture, and a large image cut into
// square tiles (title screens, menus, the loading screen). Each is an
// animated texture, so it gives up its textures on a display change and
// loads them again after. Game thread.
#pragma once

#include "media/video_texture.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace ve {
class ImageReader;
}

// An untextured quad lit by its own colour (floats 0 to 1; alpha below 1
// blends).
class ColourQuad : public AnimatedTexture {
public:
    ColourQuad(float red, float green, float blue, float alpha);
    void Draw(Camera* view) override;
    bool Restore() override { return true; }
    void Release() override {}

private:
    bool blended_;
};

// A rectangle in screen pixels, [left, right) x [top, bottom), whose colour
// runs from `leftColour` at its left edge to `rightColour` at its right;
// drawn at once over whatever the frame holds (the loading bar). Nothing
// without a device or for an empty rectangle.
void DrawGradientQuad(int left, int top, int right, int bottom, const Colour& leftColour, const Colour& rightColour);

// One image on one texture; the quad shows the image's part of a texture
// the device rounded up.
class TextureQuad : public AnimatedTexture {
public:
    // `name` resolves inside `folder` (back-slashes, any case).
    TextureQuad(const std::filesystem::path& folder, const std::string& name, bool& ok);
    // From the game's graphics folder.
    TextureQuad(const std::string& name, bool& ok);
    ~TextureQuad() override;

    bool Restore() override;
    void Release() override;

    uint32_t Width() const { return imageWidth_; }
    uint32_t Height() const { return imageHeight_; }
    gfx::Texture* Texture() const;

private:
    bool Load(const char* options, const void* source);
    std::string name_;
    std::unique_ptr<TextureEntry> entry_;
    ve::ImageReader* kept_ = nullptr; // the decoded image, for reloading
    uint32_t textureWidth_ = 0, textureHeight_ = 0;
    uint32_t imageWidth_ = 0, imageHeight_ = 0;
};

// A large image in square tiles, each with a texture of its own. When the
// tiles do not fit and no unused texture can be freed, the tile side and
// the image are halved and the load tried again, at most twice.
class ScreenImage : public AnimatedTexture {
public:
    static constexpr uint32_t kDefaultTile = 256;
    static constexpr int kMaxHalvings = 2;

    ScreenImage(const std::filesystem::path& folder, const std::string& name, bool& ok,
                uint32_t tile = kDefaultTile);
    ScreenImage(const std::string& name, bool& ok, uint32_t tile = kDefaultTile);
    ~ScreenImage() override;

    bool Restore() override;
    void Release() override;

    uint32_t Width() const { return imageWidth_; }
    uint32_t Height() const { return imageHeight_; }
    uint32_t Tile() const { return tile_; }
    uint32_t Halvings() const { return halvings_; }
    size_t TileCount() const { return tiles_.size(); }

private:
    bool LoadTiles(const char* options, const void* source);
    void DropTiles();
    std::string name_;
    std::vector<std::unique_ptr<TextureEntry>> tiles_; // row by row
    ve::ImageReader* kept_ = nullptr;
    uint32_t tile_;
    uint32_t halvings_ = 0;
    uint32_t imageWidth_ = 0, imageHeight_ = 0;
};
