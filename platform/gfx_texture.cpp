// Textures of the graphics layer: a CPU copy of every level, uploaded to a GL
// texture at unlock. Formats GL takes as they are go up unchanged (5-6-5,
// 1-5-5-5, 4-4-4-4, 8-8-8-8, DXT1/DXT3); palettised and odd-mask formats are
// expanded to 8-8-8-8 on the way.
#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/gfx_internal.h"
#include "platform/gfx_surface.h"

namespace gfx {

using detail::Gl;

namespace {

uint32_t ExpandChannel(uint32_t pixel, uint32_t mask, uint32_t fallback)
{
    if (!mask)
        return fallback;
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    uint32_t v = (pixel & mask) >> shift;
    // Replicate the top bits so full intensity stays 255.
    uint32_t out = v << (8 - std::min(bits, 8));
    if (bits < 8)
        out |= out >> bits;
    if (bits > 8)
        out = v >> (bits - 8);
    return out & 0xFF;
}

struct GlFormat {
    GLenum internal = 0, format = 0, type = 0;
    bool compressed = false;
    bool direct = false;  // the CPU copy goes up unchanged
};

GlFormat ChooseGlFormat(const FormatDesc& f)
{
    GlFormat g;
    if (f.flags & kFmtFourCC) {
        g.compressed = true;
        g.direct = true;
        g.internal = f.fourCC == kDxt1 ? GL_COMPRESSED_RGBA_S3TC_DXT1_EXT
                                       : GL_COMPRESSED_RGBA_S3TC_DXT3_EXT;
        return g;
    }
    if (f == Rgb565())
        return {GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, false, true};
    if (f == Argb1555())
        return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, false, true};
    if (f == Argb4444())
        return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, false, true};
    if (f == Argb8888())
        return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, false, true};
    if (f == Xrgb8888())
        return {GL_RGB8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, false, true};
    return {GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, false, false};
}

uint32_t LevelSize(uint32_t size, uint32_t level)
{
    return std::max(1u, size >> level);
}

} // namespace

std::unique_ptr<Texture> Texture::Create(uint32_t width, uint32_t height, const FormatDesc& format,
                                         uint32_t levels)
{
    if (width == 0 || height == 0 || width > 16384 || height > 16384 || !detail::EnsureContext())
        return nullptr;
    const bool known = (format.flags & kFmtFourCC) ? (format.fourCC == kDxt1 || format.fourCC == kDxt3)
                                                   : (format.bits == 8 || format.bits == 16 ||
                                                      format.bits == 24 || format.bits == 32);
    if (!known)
        return nullptr;
    levels = std::max(1u, levels);
    std::unique_ptr<Texture> t(new Texture);
    t->width_ = width;
    t->height_ = height;
    t->format_ = format;
    t->levels_.resize(levels);
    for (uint32_t l = 0; l < levels; ++l)
        t->levels_[l].assign(size_t(RowBytes(format, LevelSize(width, l))) *
                                 RowCount(format, LevelSize(height, l)),
                             0);
    if (format.flags & (kFmtPalette8 | kFmtPalette4))
        t->palette_.assign(256, 0xFF000000u);
    GLuint name = 0;
    glGenTextures(1, &name);
    detail::Touch();
    t->name_ = Name(name, Gl().context);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(levels - 1));
    for (uint32_t l = 0; l < levels; ++l)
        t->Upload(l);
    Gl().textures.insert(t.get());
    Gl().textureBytes += t->Bytes();
    return t;
}

std::unique_ptr<Texture> Texture::CreateRenderTarget(uint32_t width, uint32_t height)
{
    std::unique_ptr<Texture> t = Create(width, height, Argb8888(), 1);
    if (!t)
        return nullptr;
    detail::Touch();  // frame buffer and render buffer bindings change
    glBindTexture(GL_TEXTURE_2D, t->name_.Get());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    TargetNames& names = t->target_;
    names.context = Gl().context;
    glGenRenderbuffers(1, &names.depthStencil);
    glBindRenderbuffer(GL_RENDERBUFFER, names.depthStencil);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, GLsizei(width), GLsizei(height));
    glGenFramebuffers(1, &names.frame);
    glBindFramebuffer(GL_FRAMEBUFFER, names.frame);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, t->name_.Get(), 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, names.depthStencil);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    detail::BindBackBuffer();
    if (!complete)
        return nullptr;  // the destructor frees the names
    return t;
}

Texture::~Texture()
{
    detail::State& s = Gl();
    s.textures.erase(this);
    s.textureBytes -= std::min(s.textureBytes, Bytes());
    if (!target_.context)
        return;
    const bool live = s.context && target_.context == s.context;
    if (live) {
        SDL_GL_MakeCurrent(s.window, s.context);
        glDeleteFramebuffers(1, &target_.frame);
        glDeleteRenderbuffers(1, &target_.depthStencil);
        detail::Touch();
    }
    // Drawing goes back to the back buffer rather than into a freed target.
    if (s.target == this) {
        s.target = nullptr;
        if (live)
            detail::BindBackBuffer();
    }
}

Texture::Name::Name(Name&& other) noexcept
    : name_(std::exchange(other.name_, 0u)), context_(std::exchange(other.context_, nullptr))
{
}

Texture::Name& Texture::Name::operator=(Name&& other) noexcept
{
    if (this != &other) {
        Reset();
        name_ = std::exchange(other.name_, 0u);
        context_ = std::exchange(other.context_, nullptr);
    }
    return *this;
}

bool Texture::Name::Live() const { return Gl().context && context_ == Gl().context; }

void Texture::Name::Reset()
{
    if (name_ && Live()) {
        detail::State& s = Gl();
        SDL_GL_MakeCurrent(s.window, s.context);
        glDeleteTextures(1, &name_);
        detail::Touch();
    }
    name_ = 0;
    context_ = nullptr;
}

uint64_t Texture::Bytes() const
{
    uint64_t n = 0;
    for (auto& l : levels_)
        n += l.size();
    return n;
}

uint8_t* Texture::Lock(uint32_t level, uint32_t& pitch)
{
    if (lost_ || level >= levels_.size())
        return nullptr;
    pitch = RowBytes(format_, LevelSize(width_, level));
    // A render target's copy is what was drawn into it last.
    if (IsRenderTarget() && name_.Live()) {
        detail::Touch();
        glBindTexture(GL_TEXTURE_2D, name_.Get());
        glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, levels_[0].data());
    }
    return levels_[level].data();
}

bool Texture::Unlock(uint32_t level)
{
    if (lost_ || level >= levels_.size())
        return false;
    Upload(level);
    return true;
}

void Texture::SetPalette(const std::vector<uint32_t>& argb)
{
    palette_ = argb;
    palette_.resize(256, 0xFF000000u);
    for (uint32_t l = 0; l < levels_.size(); ++l)
        Upload(l);
}

bool Texture::ColourFill(uint32_t argb)
{
    if (lost_ || (format_.flags & (kFmtFourCC | kFmtPalette8 | kFmtPalette4)))
        return false;
    // Pack the colour into the format by its masks.
    auto pack = [](uint32_t value8, uint32_t mask) -> uint32_t {
        if (!mask)
            return 0;
        const int shift = std::countr_zero(mask);
        const int bits = std::popcount(mask);
        return ((bits >= 8 ? value8 << (bits - 8) : value8 >> (8 - bits)) << shift) & mask;
    };
    const uint32_t packed = pack(argb >> 24, format_.alphaMask) | pack((argb >> 16) & 0xFF, format_.redMask) |
                            pack((argb >> 8) & 0xFF, format_.greenMask) | pack(argb & 0xFF, format_.blueMask);
    const uint32_t bytes = format_.bits / 8;
    for (uint32_t l = 0; l < levels_.size(); ++l) {
        auto& data = levels_[l];
        for (size_t i = 0; i + bytes <= data.size(); i += bytes)
            for (uint32_t b = 0; b < bytes; ++b)
                data[i + b] = uint8_t(packed >> (8 * b));
        Upload(l);
    }
    return true;
}

void Texture::MarkLost()
{
    lost_ = true;
    for (uint32_t l = 0; l < levels_.size(); ++l) {
        std::fill(levels_[l].begin(), levels_[l].end(), uint8_t(0));
        if (name_.Live())
            Upload(l);
    }
}

bool Texture::Restore()
{
    if (!name_.Live())
        return false;
    lost_ = false;
    return true;
}

void Texture::Upload(uint32_t level)
{
    if (!name_.Get() || !name_.Live())
        return;
    detail::Touch();  // the texture binding changes
    const uint32_t w = LevelSize(width_, level), h = LevelSize(height_, level);
    const GlFormat g = ChooseGlFormat(format_);
    const std::vector<uint8_t>& src = levels_[level];
    glBindTexture(GL_TEXTURE_2D, name_.Get());
    if (g.compressed) {
        glCompressedTexImage2D(GL_TEXTURE_2D, GLint(level), g.internal, GLsizei(w), GLsizei(h), 0,
                               GLsizei(src.size()), src.data());
        return;
    }
    if (g.direct) {
        glTexImage2D(GL_TEXTURE_2D, GLint(level), GLint(g.internal), GLsizei(w), GLsizei(h), 0,
                     g.format, g.type, src.data());
        return;
    }
    // Expand to A8R8G8B8 through the palette or the masks.
    std::vector<uint32_t> argb(size_t(w) * h);
    const uint32_t pitch = RowBytes(format_, w);
    const uint32_t bytes = std::max(1u, format_.bits / 8);
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* row = &src[size_t(y) * pitch];
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t out;
            if (format_.flags & kFmtPalette4) {
                const uint8_t b = row[x / 2];
                out = palette_[(x & 1) ? (b & 0xF) : (b >> 4)];
            } else if (format_.flags & kFmtPalette8) {
                out = palette_[row[x]];
            } else {
                uint32_t p = 0;
                for (uint32_t b = 0; b < bytes; ++b)
                    p |= uint32_t(row[size_t(x) * bytes + b]) << (8 * b);
                out = ExpandChannel(p, format_.alphaMask, 255) << 24 |
                      ExpandChannel(p, format_.redMask, 0) << 16 |
                      ExpandChannel(p, format_.greenMask, 0) << 8 | ExpandChannel(p, format_.blueMask, 0);
            }
            argb[size_t(y) * w + x] = out;
        }
    }
    glTexImage2D(GL_TEXTURE_2D, GLint(level), GL_RGBA8, GLsizei(w), GLsizei(h), 0, GL_BGRA,
                 GL_UNSIGNED_INT_8_8_8_8_REV, argb.data());
}

FormatDesc FromSurfaceFormat(const PixelFormatDesc& f)
{
    FormatDesc d;
    d.flags = f.flags & (kFmtAlpha | kFmtFourCC | kFmtPalette4 | kFmtPalette8 | kFmtRgb);
    d.fourCC = (f.flags & kPfFourCC) ? f.fourCC : 0;
    d.bits = (f.flags & kPfFourCC) ? 0 : f.bitCount;
    if (f.flags & kPfPaletteIndexed8)
        d.bits = 8;
    else if (f.flags & kPfPaletteIndexed4)
        d.bits = 4;
    if (!(f.flags & (kPfFourCC | kPfPaletteIndexed8 | kPfPaletteIndexed4))) {
        d.redMask = f.redMask;
        d.greenMask = f.greenMask;
        d.blueMask = f.blueMask;
        d.alphaMask = (f.flags & kPfAlphaPixels) ? f.alphaMask : 0;
    }
    return d;
}

PixelFormatDesc ToSurfaceFormat(const FormatDesc& f)
{
    if (f.flags & kFmtFourCC)
        return FourCCFormat(f.fourCC);
    if (f.flags & (kFmtPalette8 | kFmtPalette4))
        return PaletteFormat(f.bits);
    return RgbFormat(f.bits, f.redMask, f.greenMask, f.blueMask, f.alphaMask);
}

std::unique_ptr<Texture> Texture::FromSurface(Surface& surface)
{
    uint32_t levels = 1;
    for (Surface* s = &surface;;) {
        Surface* next = nullptr;
        if (s->GetAttachedSurface(0, &next) != kOk || !next)
            break;
        next->Release();  // the chain owns it; we only count
        s = next;
        ++levels;
    }
    auto t = Create(surface.Width(), surface.Height(), FromSurfaceFormat(surface.Format()), levels);
    if (!t || !t->CopyFrom(surface))
        return nullptr;
    return t;
}

bool Texture::CopyFrom(Surface& surface)
{
    if (lost_ || surface.Width() != width_ || surface.Height() != height_ ||
        !(FromSurfaceFormat(surface.Format()) == format_))
        return false;
    if (Palette* p = surface.GetPalette()) {
        std::vector<uint32_t> argb;
        for (const PaletteEntry& e : p->Entries())
            argb.push_back(0xFF000000u | uint32_t(e.red) << 16 | uint32_t(e.green) << 8 | e.blue);
        palette_ = argb;
        palette_.resize(256, 0xFF000000u);
    }
    Surface* s = &surface;
    for (uint32_t level = 0; level < levels_.size() && s; ++level) {
        const uint32_t rows = RowCount(format_, LevelSize(height_, level));
        const uint32_t ours = RowBytes(format_, LevelSize(width_, level));
        const uint32_t theirs = s->Pitch();
        const PixelBytes& src = s->Pixels();
        if (uint64_t(theirs) * rows > src.size() || theirs < ours)
            return false;
        for (uint32_t r = 0; r < rows; ++r)
            std::memcpy(&levels_[level][size_t(r) * ours], &src[size_t(r) * theirs], ours);
        Upload(level);
        Surface* next = nullptr;
        if (level + 1 < levels_.size() && s->GetAttachedSurface(0, &next) == kOk && next)
            next->Release();
        s = next;
    }
    return true;
}

std::vector<FormatDesc> EnumerateTextureFormats()
{
    return {Argb4444(), Argb1555(), Rgb565(), Argb8888(), Dxt(kDxt1), Dxt(kDxt3), Palette8()};
}

} // namespace gfx
