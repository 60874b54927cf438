#include "world/fog_of_war.h"

#include "Veapi/VertBuff.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/clock.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Right shift from an 8-bit channel value to the mask's width, and left
// shift to its place.
void ChannelShifts(uint32_t mask, int& right, int& left)
{
    const int bits = std::popcount(mask);
    right = std::max(0, 8 - bits);
    left = mask ? std::countr_zero(mask) : 0;
}

uint32_t PackChannel(float value, uint32_t mask)
{
    int right = 0, left = 0;
    ChannelShifts(mask, right, left);
    const float clamped = std::clamp(value, 0.0f, 1.0f);
    return ((uint32_t(clamped * 255.0f) >> right) << left) & mask;
}

// A stage that reads the fog texture through the second coordinate set,
// filtered linearly, with the given colour and alpha operations.
void SetFogStage(RenderMaterial::Stage& s, TextureEntry* texture, uint32_t colourOp, uint32_t alphaOp)
{
    s.texture = texture;
    s.colourOp = colourOp;
    s.alphaOp = alphaOp;
    s.colourArg1 = s.alphaArg1 = gfx::texarg::Texture;
    s.colourArg2 = s.alphaArg2 = gfx::texarg::Current;
    s.minFilter = gfx::filter::MinLinear;
    s.magFilter = gfx::filter::MagLinear;
    s.mipFilter = gfx::filter::MipNone;
    s.spare = 0;
    s.texCoordIndex = 1;
}

} // namespace

void FogRect::Add(const FogRect& o)
{
    if (o.Empty())
        return;
    if (Empty()) {
        *this = o;
        return;
    }
    x0 = std::min(x0, o.x0);
    y0 = std::min(y0, o.y0);
    x1 = std::max(x1, o.x1);
    y1 = std::max(y1, o.y1);
}

FogOfWar::FogOfWar(int32_t requestedSize, int32_t maxSize)
    : size_(std::max(1, std::min(requestedSize, std::max(1, maxSize))))
{
    colour_.Set(0, 0, 0, 0);
    const size_t cells = size_t(size_) * size_t(size_);
    discovered_.assign(cells, kFogged);
    visible_.assign(cells, kFogged);
    fixed_.assign(cells, kFogged);
    SetWorldArea(0, 0, 1, 1);
}

FogOfWar::~FogOfWar()
{
    for (RenderMaterial* material : {levelMaterial_, effectMaterial_})
        if (material)
            material->Release();
    for (FogDefogger* object : defoggers_) {
        object->SetDefogging(false);
        object->ReleaseForFog();
    }
    for (FogClearPoint* point : points_)
        delete point;
    if (Global() == this)
        Global() = nullptr;
}

FogOfWar*& FogOfWar::Global()
{
    static FogOfWar* global = nullptr;
    return global;
}

FogOfWar* FogOfWar::CreateGlobal(int32_t requestedSize)
{
    DestroyGlobal();
    if (!Display::Device())
        return nullptr;
    const int32_t limit = int32_t(std::min<uint32_t>(Display::Caps().maxTextureSize, 1u << 14));
    auto fog = std::make_unique<FogOfWar>(requestedSize, limit);
    if (!fog->CreateSurfaces(gfx::EnumerateTextureFormats()))
        return nullptr;
    const int32_t level = DeviceHardwareLevel();
    fog->levelMaterial_ = fog->MakeFogMaterial(*DefaultMaterial::Get(DefaultMaterial::Opaque), level);
    fog->effectMaterial_ = fog->MakeFogMaterial(*DefaultMaterial::Get(DefaultMaterial::Blended), level);
    Global() = fog.release();
    return Global();
}

void FogOfWar::DestroyGlobal()
{
    delete Global();
    Global() = nullptr;
}

int32_t FogOfWar::DeviceHardwareLevel()
{
    if (!Display::Device())
        return 0;
    return Display::Caps().maxSimultaneousTextures >= 2 ? 2 : 1;
}

uint32_t& FogOfWar::TextureFactor()
{
    static uint32_t factor = 0;
    return factor;
}

RenderMaterial* FogOfWar::MakeFogMaterial(const RenderMaterial& base, int32_t hardwareLevel)
{
    auto* material = new RenderMaterial(base);
    ApplyFog(*material, base, hardwareLevel);
    return material;
}

void FogOfWar::ApplyFog(RenderMaterial& material, const RenderMaterial& base, int32_t hardwareLevel)
{
    // Start from the plain base so a rebuild never stacks a pass on a stage.
    material.Assign(base);
    if (hardwareLevel <= 0) {
        mode_ = kModeOff;
    } else if (hardwareLevel == 1) {
        mode_ = kModePass;
        auto* pass = new RenderMaterial;
        // Blending is what lets the cleared cells' zero alpha show the
        // level through the pass.
        pass->alphaBlend_ = 1;
        pass->srcBlend_ = gfx::blend::SrcAlpha;
        pass->destBlend_ = gfx::blend::InvSrcAlpha;
        SetFogStage(pass->stages_[0], video_.get(), gfx::texop::SelectArg1, gfx::texop::SelectArg1);
        material.SetNextPass(pass);
        pass->Release();
    } else {
        mode_ = kModeStage;
        material.stageCount_ = std::max(material.stageCount_, 2);
        SetFogStage(material.stages_[1], video_.get(), gfx::texop::BlendTextureAlpha, gfx::texop::SelectArg2);
    }
    material.Compile();
}

void FogOfWar::RebuildMaterials(int32_t hardwareLevel)
{
    if (levelMaterial_)
        ApplyFog(*levelMaterial_, *DefaultMaterial::Get(DefaultMaterial::Opaque), hardwareLevel);
    if (effectMaterial_)
        ApplyFog(*effectMaterial_, *DefaultMaterial::Get(DefaultMaterial::Blended), hardwareLevel);
}

gfx::Texture* FogOfWar::VideoTexture() const
{
    return video_ ? video_->Surface() : nullptr;
}

void FogOfWar::Update(FogOfWar* fog)
{
    if (fog)
        fog->Update();
}

void FogOfWar::Restore(FogOfWar* fog)
{
    if (fog)
        fog->Restore();
}

void FogOfWar::SetWorldArea(float x0, float z0, float x1, float z1)
{
    static uint32_t mappings = 0;
    mapping_ = ++mappings;
    x0_ = x0;
    z0_ = z0;
    x1_ = x1;
    z1_ = z1;
    const float xExtent = x1 - x0, zExtent = z1 - z0;
    if (zExtent > xExtent) {
        const float centre = 0.5f * (x0 + x1);
        x0_ = centre - 0.5f * zExtent;
        x1_ = centre + 0.5f * zExtent;
    } else {
        const float centre = 0.5f * (z0 + z1);
        z0_ = centre - 0.5f * xExtent;
        z1_ = centre + 0.5f * xExtent;
    }
    const float extent = std::max(xExtent, zExtent);
    // An empty area maps everything onto the first cell rather than
    // dividing by zero.
    scale_ = extent > 0.0f && std::isfinite(extent) ? 1.0f / extent : 0.0f;
    cellsPerUnit_ = float(size_) * scale_;
}

void FogOfWar::SetEnabled(bool on, bool twoStages)
{
    mode_ = !on ? kModeOff : twoStages ? kModeStage : kModePass;
}

void FogOfWar::CellOf(const Vec3& position, int32_t& i, int32_t& j) const
{
    const auto cell = [&](float offset) {
        const float f = std::floor(offset * scale_ * float(size_));
        if (!(f >= 0.0f)) // NaN as well
            return 0;
        return f >= float(size_ - 1) ? size_ - 1 : int32_t(f);
    };
    i = cell(position.x - x0_);
    j = cell(position.z - z0_);
}

uint32_t FogOfWar::VisibilityAt(const Vec3& position) const
{
    if (mode_ == kModeOff)
        return 0;
    int32_t i = 0, j = 0;
    CellOf(position, i, j);
    return discovered_[Index(i, j)] + visible_[Index(i, j)];
}

uint32_t FogOfWar::BaseVisibilityAt(const Vec3& position) const
{
    if (mode_ == kModeOff)
        return 0;
    int32_t i = 0, j = 0;
    CellOf(position, i, j);
    return 2 * visible_[Index(i, j)];
}

// The radius is floored to whole cells. A radius under one cell still
// clears the centre cell (the formula would divide by zero). Past 16 grid
// sides every cell of the grid gets 0 anyway, so larger radii stop there
// and the squares stay in 64-bit range.
void FogOfWar::Stamp(int32_t ci, int32_t cj, float radiusCells, bool partial, FogRect* stamped)
{
    const float floored = std::floor(radiusCells);
    const int32_t r = !(floored >= 1.0f) ? 1 : floored > float(16 * size_) ? 16 * size_ : int32_t(floored);
    const FogRect square{std::max(ci - r, 0), std::max(cj - r, 0), std::min(ci + r, size_ - 1) + 1,
                         std::min(cj + r, size_ - 1) + 1};
    if (square.Empty())
        return;
    dirty_.Add(square);
    if (stamped)
        stamped->Add(square);
    const int64_t r2 = int64_t(r) * r;
    const uint32_t base = partial ? kPartial : 0;
    for (int32_t y = square.y0; y < square.y1; ++y)
        for (int32_t x = square.x0; x < square.x1; ++x) {
            const int64_t d2 = int64_t(y - cj) * (y - cj) + int64_t(x - ci) * (x - ci);
            const int64_t v = d2 * kFogged / r2 + base;
            uint32_t& cell = visible_[Index(x, y)];
            if (v < cell)
                cell = uint32_t(v);
        }
}

// Points that expire or merge leave fog where they cleared, so the whole
// grid is uploaded again; points change rarely.
void FogOfWar::RebuildFixed()
{
    std::fill(visible_.begin(), visible_.end(), kFogged);
    for (const FogClearPoint* point : points_) {
        int32_t i = 0, j = 0;
        CellOf(point->position, i, j);
        Stamp(i, j, point->radius * cellsPerUnit_, true, nullptr);
    }
    fixed_ = visible_;
    MarkAllDirty();
}

void FogOfWar::RebuildVisible()
{
    std::copy(fixed_.begin(), fixed_.end(), visible_.begin());
    dirty_.Add(lastStamped_);
    FogRect stamped;
    for (const FogDefogger* object : defoggers_) {
        int32_t i = 0, j = 0;
        CellOf(object->FogPosition(), i, j);
        Stamp(i, j, cellsPerUnit_ * object->GetViewRange(), object->IsFogProjectile(), &stamped);
    }
    lastStamped_ = stamped;
}

void FogOfWar::Update()
{
    UpdateAt(Clock::ReadGlobalTicks() >> 10);
}

void FogOfWar::UpdateAt(uint64_t now)
{
    const uint64_t elapsed = clockStarted_ && now > previous_ ? now - previous_ : 0;
    previous_ = now;
    clockStarted_ = true;
    if (mode_ != kModeOff) {
        // A unit that moved or left since the last rebuild fogs its old
        // square again, even when no unit is left.
        if (!defoggers_.IsEmpty() || !lastStamped_.Empty())
            RebuildVisible();
        if (!dirty_.Empty()) {
            for (int32_t y = dirty_.y0; y < dirty_.y1; ++y)
                for (int32_t x = dirty_.x0; x < dirty_.x1; ++x)
                    discovered_[Index(x, y)] = std::min(discovered_[Index(x, y)], visible_[Index(x, y)]);
            Upload();
        }
    }
    // Lifetimes count down in 64 bits, so a long gap ends a point instead
    // of wrapping its time round to a large positive value.
    const int64_t step = int64_t(std::min<uint64_t>(elapsed, uint64_t(std::numeric_limits<int32_t>::max())));
    std::vector<FogClearPoint*> expired;
    for (FogClearPoint* point : points_) {
        if (point->kind != FogClearPoint::kTimed)
            continue;
        const int64_t left = int64_t(point->remaining) - step;
        if (left < 0)
            expired.push_back(point);
        else
            point->remaining = int32_t(left);
    }
    for (FogClearPoint* point : expired) {
        points_.Remove(point);
        delete point;
    }
    if (!expired.empty())
        RebuildFixed();
}

void FogOfWar::Refresh()
{
    RebuildVisible();
    MarkAllDirty();
    Upload();
}

void FogOfWar::AddDefogger(FogDefogger* object)
{
    if (!object)
        return;
    object->HoldForFog();
    defoggers_.PushBack(object);
}

// The unit's square stays in the last stamped area, so the next update
// fogs and uploads it again.
void FogOfWar::RemoveDefogger(FogDefogger* object)
{
    if (!object || !defoggers_.Remove(object))
        return;
    object->ReleaseForFog();
    Update();
}

void FogOfWar::AddClearPoint(std::unique_ptr<FogClearPoint> point)
{
    if (!point)
        return;
    bool merged = false;
    for (FogClearPoint* existing : points_) {
        if ((existing->position - point->position).LengthSquared() >= 9.0f)
            continue;
        merged = true;
        existing->radius = std::max(existing->radius, point->radius);
        if (point->kind == FogClearPoint::kPermanent)
            existing->kind = FogClearPoint::kPermanent;
        else
            existing->remaining = std::max(existing->remaining, point->remaining);
    }
    if (!merged)
        points_.PushBack(point.release());
    RebuildFixed();
}

void FogOfWar::SetColour(const Colour& colour)
{
    colour_ = colour;
    packedColour_ = PackChannel(colour.red, format_.redMask) | PackChannel(colour.green, format_.greenMask) |
                    PackChannel(colour.blue, format_.blueMask);
    if (format_.bits == 16)
        packedColour_ |= packedColour_ << 16;
    const auto byte = [](float v) { return uint32_t(std::clamp(v, 0.0f, 1.0f) * 255.0f); };
    TextureFactor() = 0xFF000000u | byte(colour.red) << 16 | byte(colour.green) << 8 | byte(colour.blue);
    if (gfx::Device* device = Display::Device())
        device->SetRenderState(gfx::RenderState::TextureFactor, TextureFactor());
    MarkAllDirty();
    Upload();
}

bool FogOfWar::CreateSurfaces(const std::vector<gfx::FormatDesc>& formats)
{
    const gfx::FormatDesc* chosen = nullptr;
    for (const gfx::FormatDesc& f : formats) {
        if ((f.flags & gfx::kFmtFourCC) || f.alphaMask == 0 || f.bits > 32 ||
            (f.bits != 8 && f.bits != 16 && f.bits != 32))
            continue;
        const int alpha = std::popcount(f.alphaMask);
        if (!chosen || alpha > std::popcount(chosen->alphaMask) ||
            (alpha == std::popcount(chosen->alphaMask) && f.bits < chosen->bits))
            chosen = &f;
    }
    if (!chosen)
        return false;
    format_ = *chosen;
    if (!video_)
        video_ = std::make_unique<TextureEntry>();
    video_->SetSurface(gfx::Texture::Create(uint32_t(size_), uint32_t(size_), format_, 1));
    if (!video_->Surface())
        return false;
    RebuildFixed();
    RebuildVisible();
    discovered_ = visible_;
    SetColour(colour_);
    return true;
}

void FogOfWar::Restore()
{
    gfx::Texture* texture = VideoTexture();
    if (!video_ || !texture || !texture->IsLost() || texture->Restore()) {
        SetColour(colour_);
        return;
    }
    video_->SetSurface(gfx::Texture::Create(uint32_t(size_), uint32_t(size_), format_, 1));
    // The materials' state blocks name the old surface.
    for (RenderMaterial* material : {levelMaterial_, effectMaterial_})
        if (material)
            material->Compile();
    SetColour(colour_);
}

// Writes the dirty cells' alpha (discovered + visible) into the texture;
// 16-bit rows start on an even column, as two texels share a word.
void FogOfWar::Upload()
{
    const FogRect rect = dirty_;
    dirty_ = {};
    gfx::Texture* texture = VideoTexture();
    if (!texture || rect.Empty())
        return;
    uint32_t pitch = 0;
    uint8_t* bits = texture->Lock(0, pitch);
    if (!bits)
        return;
    int right = 0, left = 0;
    ChannelShifts(format_.alphaMask, right, left);
    const int32_t x0 = format_.bits == 16 ? rect.x0 & ~1 : rect.x0;
    const int32_t x1 = format_.bits == 16 ? std::min(size_, (rect.x1 + 1) & ~1) : rect.x1;
    for (int32_t y = rect.y0; y < rect.y1; ++y) {
        uint8_t* row = bits + size_t(y) * pitch;
        for (int32_t x = x0; x < x1; ++x) {
            const uint32_t value = discovered_[Index(x, y)] + visible_[Index(x, y)];
            const uint32_t alpha = ((value >> right) << left) & format_.alphaMask;
            if (format_.bits == 8) {
                row[x] = uint8_t(alpha);
            } else if (format_.bits == 16) {
                const uint16_t texel = uint16_t(alpha | (packedColour_ & 0xFFFFu));
                std::memcpy(row + 2 * size_t(x), &texel, 2);
            } else {
                const uint32_t texel = alpha | packedColour_;
                std::memcpy(row + 4 * size_t(x), &texel, 4);
            }
        }
    }
    texture->Unlock(0);
}

void FogOfWar::MapShape(ShapeInstance& node, const Matrix34& placement) const
{
    MapTree(node, placement, true);
}

void FogOfWar::MapShapeNode(ShapeInstance& node, const Matrix34& placement) const
{
    MapTree(node, placement, false);
}

void FogOfWar::MapTree(ShapeInstance& node, const Matrix34& placement, bool addSets) const
{
    const Matrix34 world = placement * node.local_.Matrix();
    std::vector<const VeShape*> done;
    for (VeShape* shape : node.slots_) {
        if (!shape || std::find(done.begin(), done.end(), shape) != done.end())
            continue;
        done.push_back(shape);
        for (SubMesh* mesh : shape->SubMeshes()) {
            uint32_t sets = (mesh->format >> gfx::kFvfTexCountShift) & 0xF;
            if (sets < 2) {
                if (!addSets || mesh->shared)
                    continue;
                // Coordinate sets come last in a vertex, so the old vertex is
                // the new one's beginning; a missing first set reads zero.
                const size_t oldStride = mesh->Stride();
                mesh->format = (mesh->format & ~(0xFu << gfx::kFvfTexCountShift)) | (2u << gfx::kFvfTexCountShift);
                const size_t newStride = mesh->Stride();
                std::vector<uint8_t> grown(size_t(mesh->vertexCount) * newStride, 0);
                for (size_t i = 0; i < mesh->vertexCount && (i + 1) * oldStride <= mesh->vertices.size(); ++i)
                    std::memcpy(grown.data() + i * newStride, mesh->vertices.data() + i * oldStride, oldStride);
                mesh->vertices.swap(grown);
                sets = 2;
            }
            const size_t stride = mesh->Stride();
            if (stride < sizeof(Vec3) + 8 * size_t(sets))
                continue;
            const size_t second = stride - 8 * size_t(sets) + 8;
            for (size_t i = 0; (i + 1) * stride <= mesh->vertices.size(); ++i) {
                uint8_t* vertex = mesh->vertices.data() + i * stride;
                Vec3 p{0, 0, 0};
                std::memcpy(&p, vertex, sizeof p);
                const Vec3 w = world.TransformPoint(p);
                const float uv[2] = {(w.x - x0_) * scale_, (w.z - z0_) * scale_};
                std::memcpy(vertex + second, uv, sizeof uv);
            }
        }
    }
    for (ShapeInstance* child : node.children_)
        MapTree(*child, world, addSets);
}
