// Pictures drawn as textures that follow the display: every animated texture
// sits in one list so all can give up their device textures on a display
// change or device loss and rebuild them after. The video kinds decode a movie
// file frame by frame into a 16-bit texture; the intro video is one of them.
#pragma once

#include "platform/gfx.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace platform::video {
class Movie;
}

class AnimatedTexture {
public:
    AnimatedTexture();
    virtual ~AnimatedTexture();
    AnimatedTexture(const AnimatedTexture&) = delete;
    AnimatedTexture& operator=(const AnimatedTexture&) = delete;

    virtual bool Restore() = 0;
    virtual void Release() {}

    // How many animated textures exist (the list goes with the last one).
    static size_t Count();
};

namespace AnimatedTextures {
void ReleaseAll();
bool RestoreAll(); // false when any could not rebuild its texture
} // namespace AnimatedTextures

class VideoTexture : public AnimatedTexture {
public:
    // The square side of a power of two that holds a width x height picture.
    static uint32_t TextureSide(uint32_t width, uint32_t height);

    // Opens the movie and makes its texture; `ok` says whether both worked.
    VideoTexture(const std::filesystem::path& path, uint32_t options, bool& ok);
    ~VideoTexture() override;

    // True while the video runs: uploads the next frame when it is due.
    bool Update();
    void Rewind();
    void Close();

    bool Restore() override;
    void Release() override;

    gfx::Texture* Texture() const { return texture_.get(); }
    uint32_t Side() const { return side_; }
    int64_t Frame() const { return frame_; }

    // The clock frames are timed by (seconds); tests step it by hand.
    void SetClock(std::function<double()> now);

private:
    std::unique_ptr<platform::video::Movie> movie_;
    std::unique_ptr<gfx::Texture> texture_;
    gfx::FormatDesc format_;
    uint32_t side_ = 0;
    int64_t frame_ = 0; // frames shown
    bool ended_ = false;
    double started_ = 0;
    std::vector<uint16_t> picture_; // the decoded frame before it reaches the texture
    std::function<double()> now_;
};

namespace IntroVideo {
// Opens "dz.bik" from the movie folder; false (and nothing made) when it
// does not open, so the caller goes on to the title screen.
bool Start();
bool Update(); // false once the video has ended
void Rewind();
void Stop();
VideoTexture* Current();
} // namespace IntroVideo
