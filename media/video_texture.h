// Pictures drawn as textures that follow the display: every animated texture
// sits in one list so all can give up their device textures on a display
// change or device loss and rebuild them after. The video kinds decode a movie
// file frame by frame into a 16-bit texture, and play its sound through the
// sound system's output when it lends one; the intro video is one of them.
#pragma once

#include "app/maths.h"
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
namespace platform::audio {
class Stream;
}

class Camera;
class LightSet;
class TextureEntry;
class VeObject;
class VeShape;

// A picture drawn as a quad object in front of the camera: a unit square
// standing at (0, 0, 7.5), moved and stretched over a rectangle by SetRect.
// Its place survives Release and Restore, which remake the quad.
class AnimatedTexture {
public:
    static constexpr float kDefaultZ = 7.5f;

    AnimatedTexture();
    virtual ~AnimatedTexture();
    AnimatedTexture(const AnimatedTexture&) = delete;
    AnimatedTexture& operator=(const AnimatedTexture&) = delete;

    // Queues the quad for drawing at the current real time under `view`
    // (null: whichever camera is current when the queue is drawn).
    virtual void Draw(Camera* view);
    virtual bool Restore() = 0;
    virtual void Release() { ReleaseQuad(); }

    // The quad's corner at (x0, y0) and its size x1 - x0 by y1 - y0.
    void SetRect(float x0, float y0, float x1, float y1);
    void SetZ(float z);
    VeObject* Quad() const { return quad_; }
    // The quad's own lights: white, unless the kind colours it.
    LightSet& Lights() const { return *lights_; }

    // How many animated textures exist (the list goes with the last one).
    static size_t Count();

protected:
    // A unit quad showing `texture` over [0, u] x [0, v] (no texture: plain).
    static VeShape* UnitQuad(TextureEntry* texture, float u, float v);
    // Takes the shape's use over into a new quad at the kept place.
    void MakeQuad(VeShape* shape);
    void ReleaseQuad();

private:
    void Place();
    VeObject* quad_ = nullptr; // one reference
    LightSet* lights_;         // one reference
    Vec3 position_{0, 0, kDefaultZ};
    Vec3 scale_{1, 1, 1};
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

    // True while the video runs: uploads the next frame when it is due and
    // keeps the sound fed.
    bool Update();
    // Whether the movie's sound is routed to an output.
    bool HasSound() const { return sound_ != nullptr; }
    void Rewind();
    void Close();

    bool Restore() override;
    void Release() override;

    gfx::Texture* Texture() const;
    uint32_t Side() const { return side_; }
    int64_t Frame() const { return frame_; }

    // The clock frames are timed by (seconds); tests step it by hand.
    void SetClock(std::function<double()> now);

protected:
    // A screen video: a texture of the video's own size in the last fitting
    // format, the quad placed as a video texture's.
    struct ScreenKind {};
    VideoTexture(const std::filesystem::path& path, uint32_t options, bool& ok, ScreenKind);

private:
    void Open(const std::filesystem::path& path, bool screen, bool& ok);
    void FeedSound();
    std::unique_ptr<platform::video::Movie> movie_;
    std::unique_ptr<platform::audio::Stream> sound_;  // null: silent (no output, or no sound)
    bool soundEnded_ = false;
    std::vector<int16_t> samples_;
    std::unique_ptr<TextureEntry> entry_; // owns the texture; not in the texture table
    gfx::FormatDesc format_;
    uint32_t side_ = 0;
    uint32_t videoWidth_ = 0, videoHeight_ = 0;
    uint32_t textureWidth_ = 0, textureHeight_ = 0;
    int64_t frame_ = 0; // frames shown
    bool ended_ = false;
    double started_ = 0;
    std::vector<uint16_t> picture_; // the decoded frame before it reaches the texture
    std::function<double()> now_;
};

// The second video kind: its texture has the video's own width and height
// (no power-of-two side) in the last fitting 16-bit format.
class VideoScreen : public VideoTexture {
public:
    VideoScreen(const std::filesystem::path& path, uint32_t options, bool& ok)
        : VideoTexture(path, options, ok, ScreenKind{})
    {
    }
};

namespace IntroVideo {
// Opens "dz.bik" from the movie folder; false (and nothing made) when it
// does not open, so the caller goes on to the title screen.
bool Start();
// Uploads the next frame when due and queues the quad with the current
// camera; false once the video has ended.
bool Update();
void Rewind();
void Stop();
VideoTexture* Current();
} // namespace IntroVideo
