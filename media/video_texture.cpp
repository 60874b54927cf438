#include "media/video_texture.h"

#include "Veapi/light_set.h"
#include "app/app_state.h"
#include "app/directories.h"
#include "platform/video.h"

#include <algorithm>
#include <cstring>

namespace {

// Game thread only: made with the first animated texture, gone with the last.
std::unique_ptr<std::vector<AnimatedTexture*>>& TextureList()
{
    static std::unique_ptr<std::vector<AnimatedTexture*>> list;
    return list;
}

double SteadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The first RGB 16-bit texture format without alpha the device offers.
bool PickFrameFormat(gfx::FormatDesc& format, platform::video::PixelLayout& layout)
{
    for (const gfx::FormatDesc& f : gfx::EnumerateTextureFormats())
        if ((f.flags & gfx::kFmtRgb) && !(f.flags & gfx::kFmtAlpha) && f.bits == 16) {
            format = f;
            layout = f.greenMask == 0x07E0 ? platform::video::PixelLayout::Rgb565
                                           : platform::video::PixelLayout::Rgb555;
            return true;
        }
    return false;
}

} // namespace

AnimatedTexture::AnimatedTexture()
{
    if (!TextureList())
        TextureList() = std::make_unique<std::vector<AnimatedTexture*>>();
    TextureList()->push_back(this);
}

AnimatedTexture::~AnimatedTexture()
{
    std::erase(*TextureList(), this);
    if (TextureList()->empty())
        TextureList().reset();
}

size_t AnimatedTexture::Count()
{
    return TextureList() ? TextureList()->size() : 0;
}

namespace AnimatedTextures {

void ReleaseAll()
{
    if (TextureList())
        for (AnimatedTexture* t : *TextureList())
            t->Release();
}

bool RestoreAll()
{
    bool all = true;
    if (TextureList())
        for (AnimatedTexture* t : *TextureList())
            all = t->Restore() && all;
    return all;
}

} // namespace AnimatedTextures

uint32_t VideoTexture::TextureSide(uint32_t width, uint32_t height)
{
    uint32_t side = 1;
    while (side < width)
        side *= 2;
    while (side < height)
        side *= 2;
    return side;
}

VideoTexture::VideoTexture(const std::filesystem::path& path, uint32_t /*options*/, bool& ok) : now_(SteadySeconds)
{
    ok = false;
    movie_ = platform::video::Movie::Open(path);
    if (!movie_ || movie_->Info().width == 0)
        return;
    side_ = TextureSide(uint32_t(movie_->Info().width), uint32_t(movie_->Info().height));
    platform::video::PixelLayout layout;
    if (!PickFrameFormat(format_, layout))
        return;
    picture_.resize(size_t(movie_->Info().width) * size_t(movie_->Info().height));
    ok = Restore();
    started_ = now_();
}

VideoTexture::~VideoTexture() = default;

void VideoTexture::SetClock(std::function<double()> now)
{
    now_ = std::move(now);
    started_ = now_();
}

bool VideoTexture::Update()
{
    if (ended_ || !movie_)
        return false;
    const double fps = movie_->Info().framesPerSecond > 0 ? movie_->Info().framesPerSecond : 25.0;
    if (now_() - started_ < double(frame_) / fps)
        return true; // not yet time for the next frame
    const platform::video::PixelLayout layout = format_.greenMask == 0x07E0 ? platform::video::PixelLayout::Rgb565
                                                                            : platform::video::PixelLayout::Rgb555;
    const int width = movie_->Info().width, height = movie_->Info().height;
    if (movie_->NextFrame(picture_.data(), width, height, layout) != platform::video::Step::Ok) {
        ended_ = true; // past the last frame (or a damaged one): the texture keeps what it shows
        return false;
    }
    ++frame_;
    if (!texture_)
        return true; // released with the display; the video still keeps time
    uint32_t pitch = 0;
    uint8_t* bits = texture_->Lock(0, pitch);
    if (!bits)
        return false;
    for (int y = 0; y < height; ++y)
        std::memcpy(bits + size_t(y) * pitch, picture_.data() + size_t(y) * size_t(width), size_t(width) * 2);
    return texture_->Unlock(0);
}

void VideoTexture::Rewind()
{
    if (texture_)
        texture_->ColourFill(0);
    if (movie_)
        movie_->Rewind();
    frame_ = 0;
    ended_ = false;
    started_ = now_();
}

void VideoTexture::Close()
{
    movie_.reset();
}

bool VideoTexture::Restore()
{
    if (!texture_ && side_ > 0)
        texture_ = gfx::Texture::Create(side_, side_, format_, 1);
    if (texture_)
        texture_->ColourFill(0);
    return texture_ != nullptr;
}

void VideoTexture::Release()
{
    texture_.reset();
}

namespace IntroVideo {

namespace {
std::unique_ptr<VideoTexture>& Intro()
{
    static std::unique_ptr<VideoTexture> video;
    return video;
}
} // namespace

bool Start()
{
    SetAppState(AppState::Video);
    Intro().reset();
    bool ok = false;
    if (const auto path = app::DataDirectories::Global().Resolve(app::kFmvsDirectory, "dz.bik")) {
        auto video = std::make_unique<VideoTexture>(*path, 0, ok);
        if (ok)
            Intro() = std::move(video);
    }
    // The video's quad is lit by the current set: white shows its own colours.
    if (LightSet* lights = LightSet::Current())
        lights->SetEmissive(Colour{}); // white, opaque
    return ok;
}

bool Update()
{
    return Intro() && Intro()->Update();
}

void Rewind()
{
    if (Intro())
        Intro()->Rewind();
}

void Stop()
{
    Intro().reset();
}

VideoTexture* Current()
{
    return Intro().get();
}

} // namespace IntroVideo
