#include "media/screen_quads.h"

#include "Veapi/VertBuff.h"
#include "Veapi/bounding_box.h"
#include "Veapi/light_set.h"
#include "Veapi/screen_draw.h"
#include "Veapi/texture_loader.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/clock.h"
#include "app/directories.h"
#include "platform/data_path.h"

namespace {

std::optional<std::filesystem::path> GraphicsFolder()
{
    return app::DataDirectories::Global().Folder(app::kGraphicsDirectory);
}

std::string ResolveIn(const std::optional<std::filesystem::path>& folder, const std::string& name)
{
    if (!folder)
        return {};
    const auto path = platform::ResolveDataPath(*folder, name);
    return path ? path->string() : std::string();
}

uint32_t LargestSide()
{
    const uint32_t limit = Display::Caps().maxTextureSize;
    return limit ? limit : 2048;
}

// The loaded surface as a texture entry of the caller's (not in the table).
std::unique_ptr<TextureEntry> EntryOf(gfx::Surface* surface)
{
    if (!surface)
        return nullptr;
    auto entry = std::make_unique<TextureEntry>();
    entry->SetSurface(gfx::Texture::FromSurface(*surface));
    surface->Release();
    if (!entry->Surface())
        return nullptr;
    return entry;
}

// The part of a side the image covers: the image side halved as the loader
// reduced it, over the texture side.
float Covered(uint32_t image, uint32_t texture)
{
    if (texture == 0)
        return 0;
    while (image > texture)
        image /= 2;
    return float(image) / float(texture);
}

} // namespace

ColourQuad::ColourQuad(float red, float green, float blue, float alpha) : blended_(alpha < 1.0f)
{
    Colour colour;
    colour.Set(red, green, blue, alpha);
    Lights().SetEmissive(colour);
    Lights().Material().diffuse = {0, 0, 0, alpha};
    MakeQuad(UnitQuad(nullptr, 1, 1));
}

void ColourQuad::Draw(Camera* view)
{
    if (Quad())
        Quad()->QueueDraw(RealTime.Now64(), view, &Lights(),
                          blended_ ? DefaultMaterial::Get(DefaultMaterial::Blended) : nullptr, 0, 0, nullptr, nullptr,
                          nullptr);
}

void DrawGradientQuad(int left, int top, int right, int bottom, const Colour& leftColour, const Colour& rightColour)
{
    if (!Display::Device() || right <= left || bottom <= top)
        return;
    // Corners on the pixel edges, so exactly the rectangle's pixel centres lie inside.
    auto corner = [](int x, int y, const Colour& colour) {
        ScreenVertex v;
        v.x = float(x);
        v.y = float(y);
        v.diffuse = colour.Packed();
        return v;
    };
    const ScreenVertex topLeft = corner(left, top, leftColour), topRight = corner(right, top, rightColour),
                       bottomLeft = corner(left, bottom, leftColour),
                       bottomRight = corner(right, bottom, rightColour);
    const ScreenVertex first[3] = {topLeft, topRight, bottomLeft}, second[3] = {topRight, bottomRight, bottomLeft};
    ScreenDraw::Begin();
    ScreenDraw::ClipPolygon(first);
    ScreenDraw::ClipPolygon(second);
    ScreenDraw::Flush();
}

TextureQuad::TextureQuad(const std::filesystem::path& folder, const std::string& name, bool& ok)
    : name_(ResolveIn(folder, name))
{
    ok = !name_.empty() && Load("sWHOXOYBfnA", name_.c_str());
}

TextureQuad::TextureQuad(const std::string& name, bool& ok) : name_(ResolveIn(GraphicsFolder(), name))
{
    ok = !name_.empty() && Load("sWHOXOYBfnA", name_.c_str());
}

TextureQuad::~TextureQuad()
{
    ReleaseQuad();
    if (kept_)
        ve::TextureLoader::Release(kept_);
}

gfx::Texture* TextureQuad::Texture() const
{
    return entry_ ? entry_->Surface() : nullptr;
}

bool TextureQuad::Load(const char* options, const void* source)
{
    uint32_t alpha = 0;
    gfx::Surface* surface = nullptr;
    if (options[0] == 's')
        surface = ve::TextureLoader::LoadTexture(options, static_cast<const char*>(source), &textureWidth_,
                                                 &textureHeight_, &imageWidth_, &imageHeight_, &kept_,
                                                 TextureManager::LoadOptions(), LargestSide(), &alpha);
    else
        surface = ve::TextureLoader::LoadTexture(options, static_cast<ve::ImageReader*>(const_cast<void*>(source)),
                                                 &textureWidth_, &textureHeight_, TextureManager::LoadOptions(),
                                                 LargestSide(), &alpha);
    entry_ = EntryOf(surface);
    if (!entry_)
        return false;
    MakeQuad(UnitQuad(entry_.get(), Covered(imageWidth_, textureWidth_), Covered(imageHeight_, textureHeight_)));
    return true;
}

bool TextureQuad::Restore()
{
    if (entry_)
        return true;
    return kept_ && Load("rWHfnA", kept_);
}

void TextureQuad::Release()
{
    ReleaseQuad();
    entry_.reset();
}

ScreenImage::ScreenImage(const std::filesystem::path& folder, const std::string& name, bool& ok, uint32_t tile)
    : name_(ResolveIn(folder, name)), tile_(tile ? tile : kDefaultTile)
{
    ok = false;
    if (name_.empty())
        return;
    // The first pass only reads the image: its size decides the tiles.
    uint32_t alpha = 0;
    gfx::Surface* none = ve::TextureLoader::LoadTexture("sOXOYBfamA", name_.c_str(), &imageWidth_, &imageHeight_,
                                                        &kept_, TextureManager::LoadOptions(), 0u,
                                                        static_cast<ve::LoadRect*>(nullptr), 0u, &alpha);
    if (none)
        none->Release();
    ok = kept_ && imageWidth_ > 0 && imageHeight_ > 0 && Restore();
}

ScreenImage::ScreenImage(const std::string& name, bool& ok, uint32_t tile)
    : ScreenImage(GraphicsFolder().value_or(std::filesystem::path()), name, ok, tile)
{
}

ScreenImage::~ScreenImage()
{
    ReleaseQuad();
    if (kept_)
        ve::TextureLoader::Release(kept_);
}

bool ScreenImage::LoadTiles(const char* options, const void* source)
{
    const uint32_t width = imageWidth_ >> halvings_, height = imageHeight_ >> halvings_;
    if (width == 0 || height == 0)
        return false;
    std::vector<ve::LoadRect> rects;
    for (uint32_t top = 0; top < height; top += tile_)
        for (uint32_t left = 0; left < width; left += tile_)
            rects.push_back({int32_t(left), int32_t(top), int32_t(left + tile_), int32_t(top + tile_), 0, 0, nullptr});
    uint32_t alpha = 0;
    gfx::Surface* whole = ve::TextureLoader::LoadTexture(options, static_cast<ve::ImageReader*>(const_cast<void*>(source)),
                                                         TextureManager::LoadOptions() | ve::kLoadRectSize,
                                                         uint32_t(rects.size()), rects.data(), halvings_, &alpha);
    if (whole)
        whole->Release();
    DropTiles();
    bool all = true;
    for (ve::LoadRect& r : rects) {
        tiles_.push_back(EntryOf(r.surface));
        all = all && tiles_.back();
    }
    if (!all) {
        DropTiles();
        return false;
    }
    PrimitiveDesc desc;
    desc.kind = 4; // tiles: one sub-mesh per tile, row by row
    desc.p1 = int32_t(width);
    desc.p2 = int32_t(height);
    desc.p3 = int32_t(tile_);
    VeShape* shape = VeShape::FromPrimitive(desc);
    size_t i = 0;
    for (SubMesh* mesh : shape->SubMeshes())
        if (i < tiles_.size()) {
            shape->AddTexture(tiles_[i].get());
            mesh->texture = tiles_[i++].get();
            SharedVertexBuffer::Attach(mesh, false); // as a textured primitive's
        }
    MakeQuad(shape);
    return true;
}

bool ScreenImage::Restore()
{
    if (!tiles_.empty())
        return true;
    if (!kept_)
        return false;
    // Out of room: free what no one uses, then try smaller tiles.
    for (int freed = 0; freed < 1024; ++freed) {
        if (LoadTiles("rfamA", kept_))
            return true;
        if (TextureManager::ReleaseUnused())
            continue;
        if (halvings_ >= kMaxHalvings)
            return false;
        ++halvings_;
        tile_ = std::max(1u, tile_ / 2);
    }
    return false;
}

void ScreenImage::DropTiles()
{
    ReleaseQuad();
    tiles_.clear();
}

void ScreenImage::Release()
{
    DropTiles();
}
