#include "media/video_texture.h"

#include "Veapi/camera.h"
#include "Veapi/light_set.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/app_state.h"
#include "app/clock.h"
#include "app/directories.h"
#include "media/sound_system.h"
#include "platform/audio_stream.h"
#include "platform/video.h"

#include <algorithm>
#include <cstring>

namespace {

// Game thread only: made with the first animated texture, gone with the last.
// A plain pointer, which static destruction never touches: textures held by
// other statics (the menus' bars) go at exit in no set order with this file.
std::vector<AnimatedTexture*>* g_textureList = nullptr;

std::vector<AnimatedTexture*>*& TextureList() { return g_textureList; }

double SteadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The first (or, for a screen video, the last) RGB 16-bit texture format
// without alpha the device offers.
bool PickFrameFormat(gfx::FormatDesc& format, bool last)
{
    bool found = false;
    for (const gfx::FormatDesc& f : gfx::EnumerateTextureFormats())
        if ((f.flags & gfx::kFmtRgb) && !(f.flags & gfx::kFmtAlpha) && f.bits == 16) {
            format = f;
            found = true;
            if (!last)
                break;
        }
    return found;
}

platform::video::PixelLayout LayoutOf(const gfx::FormatDesc& format)
{
    return format.greenMask == 0x07E0 ? platform::video::PixelLayout::Rgb565 : platform::video::PixelLayout::Rgb555;
}

} // namespace

AnimatedTexture::AnimatedTexture() : lights_(new LightSet)
{
    // Unlit: the quad shows its texture's own colours.
    Colour white;
    white.Set(1, 1, 1, 1);
    lights_->SetEmissive(white);
    if (!TextureList())
        TextureList() = new std::vector<AnimatedTexture*>;
    TextureList()->push_back(this);
}

AnimatedTexture::~AnimatedTexture()
{
    ReleaseQuad();
    lights_->Release();
    std::erase(*TextureList(), this);
    if (TextureList()->empty()) {
        delete TextureList();
        TextureList() = nullptr;
    }
}

void AnimatedTexture::Draw(Camera* view)
{
    if (quad_)
        quad_->QueueDraw(RealTime.Now64(), view, lights_, nullptr, 0, 0, nullptr, nullptr, nullptr);
}

void AnimatedTexture::SetRect(float x0, float y0, float x1, float y1)
{
    position_ = {x0, y0, position_.z};
    scale_ = {x1 - x0, y1 - y0, 1};
    Place();
}

void AnimatedTexture::SetZ(float z)
{
    position_.z = z;
    Place();
}

void AnimatedTexture::Place()
{
    if (!quad_)
        return;
    quad_->placement_.SetPosition(position_);
    quad_->placement_.SetScale(scale_);
}

VeShape* AnimatedTexture::UnitQuad(TextureEntry* texture, float u, float v)
{
    PrimitiveDesc desc;
    desc.kind = 1; // the unit quad, facing the camera
    desc.p1 = int32_t(u * 1024.0f);
    desc.p2 = int32_t(v * 1024.0f);
    desc.texture = texture;
    return VeShape::FromPrimitive(desc);
}

void AnimatedTexture::MakeQuad(VeShape* shape)
{
    ReleaseQuad();
    if (!shape)
        return;
    quad_ = VeObject::FromShape(shape, false);
    shape->Release(); // the object holds it
    Place();
}

void AnimatedTexture::ReleaseQuad()
{
    if (quad_)
        quad_->Release();
    quad_ = nullptr;
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

VideoTexture::VideoTexture(const std::filesystem::path& path, uint32_t /*options*/, bool& ok)
{
    Open(path, false, ok);
}

VideoTexture::VideoTexture(const std::filesystem::path& path, uint32_t /*options*/, bool& ok, ScreenKind)
{
    Open(path, true, ok);
}

void VideoTexture::Open(const std::filesystem::path& path, bool screen, bool& ok)
{
    ok = false;
    now_ = SteadySeconds;
    // Both video kinds stand at (0.5, 0, 0), a 4:3 picture.
    SetRect(0.5f, 0, 1.5f, 0.75f);
    SetZ(0);
    movie_ = platform::video::Movie::Open(path);
    if (!movie_ || movie_->Info().width <= 0 || movie_->Info().height <= 0)
        return;
    const auto width = uint32_t(movie_->Info().width), height = uint32_t(movie_->Info().height);
    videoWidth_ = width;
    videoHeight_ = height;
    side_ = TextureSide(width, height);
    textureWidth_ = screen ? width : side_;
    textureHeight_ = screen ? height : side_;
    if (!PickFrameFormat(format_, screen))
        return;
    picture_.resize(size_t(width) * size_t(height));
    entry_ = std::make_unique<TextureEntry>();
    ok = Restore();
    started_ = now_();
    // The movie's sound goes where the sound system sends streamed audio;
    // a system with no output to lend leaves the movie silent, and the
    // pictures run the same either way.
    SoundSystem* system = SoundSystem::Global();
    platform::audio::Device* device = system ? system->OutputDevice() : nullptr;
    const platform::video::MovieInfo& info = movie_->Info();
    if (ok && device && info.audioRate > 0)
        sound_ = platform::audio::Stream::Open(*device, {info.audioChannels, 16, info.audioRate});
    FeedSound();
}

void VideoTexture::FeedSound()
{
    if (!sound_ || !movie_)
        return;
    // A tenth of a second a block: a few blocks queued stay ahead of a frame.
    const size_t block = size_t(std::max(1, movie_->Info().audioRate / 10)) * size_t(movie_->Info().audioChannels);
    while (!soundEnded_ && sound_->HasRoom()) {
        samples_.clear();
        while (samples_.size() < block)
            if (movie_->NextSound(samples_) != platform::video::Step::Ok) {
                soundEnded_ = true;
                break;
            }
        if (samples_.empty() || !sound_->Push(samples_))
            break;
    }
}

gfx::Texture* VideoTexture::Texture() const
{
    return entry_ ? entry_->Surface() : nullptr;
}

VideoTexture::~VideoTexture()
{
    // The quad's shape names the texture entry, which goes before the base.
    ReleaseQuad();
    sound_.reset();
}

void VideoTexture::SetClock(std::function<double()> now)
{
    now_ = std::move(now);
    started_ = now_();
}

bool VideoTexture::Update()
{
    if (ended_ || !movie_)
        return false;
    FeedSound();
    const double fps = movie_->Info().framesPerSecond > 0 ? movie_->Info().framesPerSecond : 25.0;
    if (now_() - started_ < double(frame_) / fps)
        return true; // not yet time for the next frame
    const platform::video::PixelLayout layout = LayoutOf(format_);
    const int width = movie_->Info().width, height = movie_->Info().height;
    if (movie_->NextFrame(picture_.data(), width, height, layout) != platform::video::Step::Ok) {
        ended_ = true; // past the last frame (or a damaged one): the texture keeps what it shows
        return false;
    }
    ++frame_;
    gfx::Texture* texture = Texture();
    if (!texture)
        return true; // released with the display; the video still keeps time
    uint32_t pitch = 0;
    uint8_t* bits = texture->Lock(0, pitch);
    if (!bits)
        return false;
    for (int y = 0; y < height; ++y)
        std::memcpy(bits + size_t(y) * pitch, picture_.data() + size_t(y) * size_t(width), size_t(width) * 2);
    return texture->Unlock(0);
}

void VideoTexture::Rewind()
{
    if (gfx::Texture* texture = Texture())
        texture->ColourFill(0);
    if (movie_)
        movie_->Rewind();
    frame_ = 0;
    ended_ = false;
    soundEnded_ = false;
    started_ = now_();
}

void VideoTexture::Close()
{
    sound_.reset();
    movie_.reset();
}

bool VideoTexture::Restore()
{
    if (!entry_)
        return false;
    if (!entry_->Surface() && textureWidth_ > 0)
        entry_->SetSurface(gfx::Texture::Create(textureWidth_, textureHeight_, format_, 1));
    gfx::Texture* texture = entry_->Surface();
    if (!texture)
        return false;
    texture->ColourFill(0);
    if (!Quad()) {
        // The picture fills the quad; a square texture's unused part does not show.
        const float u = float(videoWidth_) / float(textureWidth_);
        const float v = float(videoHeight_) / float(textureHeight_);
        MakeQuad(UnitQuad(entry_.get(), u, v));
    }
    return true;
}

void VideoTexture::Release()
{
    ReleaseQuad();
    if (entry_)
        entry_->SetSurface(nullptr);
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
    if (!Intro() || !Intro()->Update())
        return false;
    Intro()->Draw(Camera::Current());
    return true;
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
