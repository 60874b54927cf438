#include "effects/shadows.h"

#include "Veapi/VertBuff.h"
#include "Veapi/bounding_box.h"
#include "Veapi/camera.h"
#include "Veapi/hierarchy.h"
#include "Veapi/light_set.h"
#include "Veapi/render_queue.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/app_time.h"
#include "app/log_file.h"
#include "app/math_tables.h"
#include "platform/byte_cursor.h"
#include "world/collision_polygon.h"
#include "world/level.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <strings.h>

uint32_t ShadowMode = 0;

namespace {

void Nothing() {}

Shadows::Routine gObjectCallback = Nothing;
Shadows::Routine gFramePass = Shadows::FramePassSimple;
bool gLevelShadows = false;
bool gFellBack = false;

Shadows::FrameHooks gHooks;
int64_t (*gGameTime)() = AppTime::GameNow;

std::vector<ShadowCaster*> gCasters;
TextureEntry* gTexture = nullptr;
VeShape* gSprite = nullptr;          // one use held
LightSet* gLights = nullptr;         // one use held
// The full-screen darkening quad; one use held, refilled on every restore.
RestorableVertexBuffer* gQuad = nullptr;
// This frame's volume quads; emptied each frame, its storage kept.
Shadows::VolumeGeometry gGeometry;

constexpr uint32_t kQuadDiffuse = 0x7F000000u;
constexpr float kBlobLift = 0.03f;
constexpr float kFootprintLift = 0.01f;
constexpr float kFootprintHalf = 0.1f;
constexpr uint32_t kBlobSortFlags = 0x4000000u;
// Quads per draw call: four vertices each within 16-bit indices.
constexpr size_t kQuadsPerDraw = 16000;

Vec3 Translation(const gfx::Matrix& m)
{
    return {m(3, 0), m(3, 1), m(3, 2)};
}

Vec3 TransformPoint(const float* m, const Vec3& v)
{
    return {v.x * m[0] + v.y * m[4] + v.z * m[8] + m[12], v.x * m[1] + v.y * m[5] + v.z * m[9] + m[13],
            v.x * m[2] + v.y * m[6] + v.z * m[10] + m[14]};
}

void ForEachNodeChildrenFirst(ShapeInstance& node, const auto& visit)
{
    for (List<ShapeInstance*>::Iterator it(node.children_); !it.AtEnd(); it.Next())
        ForEachNodeChildrenFirst(**it.Get(), visit);
    visit(node);
}

// Only a node carrying the name answers (an unnamed node is no match).
ShapeInstance* FindNamedNode(ShapeInstance& node, const char* name)
{
    if (!node.name_.empty() && strcasecmp(node.name_.c_str(), name) == 0)
        return &node;
    for (List<ShapeInstance*>::Iterator it(node.children_); !it.AtEnd(); it.Next())
        if (ShapeInstance* found = FindNamedNode(**it.Get(), name))
            return found;
    return nullptr;
}

void FreeShadowData(ShadowCaster& c)
{
    for (BlobEntry& b : c.blobs_)
        if (b.sprite)
            b.sprite->Release();
    c.blobs_.clear();
    c.edgeLists_.clear();
    c.shadowInstance_.reset();
}

void BuildEdgeLists(ShadowCaster& c, Hierarchy& hierarchy)
{
    c.shadowInstance_.reset(ShapeInstance::FromHierarchy(&hierarchy, false));
    if (!c.shadowInstance_)
        return;
    ShapeInstance* own = c.ShapeRoot();
    ForEachNodeChildrenFirst(*c.shadowInstance_, [&](ShapeInstance& node) {
        if (!node.slots_[0])
            return;
        EdgeBuilder builder(0.0f);
        AddNodeTriangles(builder, node, gfx::Matrix{});  // edges stay in the part's own space
        CasterEdgeList list;
        list.part = own && !node.name_.empty() ? FindNamedNode(*own, node.name_.c_str()) : own;
        list.edges = builder.Finish(true);
        if (!list.edges.empty())
            c.edgeLists_.push_back(std::move(list));
    });
}

// The part's world matrix as 16 floats (row vectors).
const float* PartMatrix(const CasterEdgeList& list, ShadowCaster& c)
{
    static const gfx::Matrix identity;
    if (list.part)
        return list.part->nodeMatrix_.m.data();
    ShapeInstance* root = c.ShapeRoot();
    return root ? root->nodeMatrix_.m.data() : identity.m.data();
}

constexpr size_t kQuadVertexBytes = 32;

// The quad at the display size of the moment: a restore after a mode change
// must cover the new screen.
void FillScreenQuad(uint8_t* vertices, uint32_t count)
{
    trevok::ByteWriter out(std::span<uint8_t>(vertices, size_t(count) * kQuadVertexBytes));
    for (const ScreenQuadVertex& v : Shadows::ScreenQuad(Display::Width(), Display::Height())) {
        out.F32(v.x);
        out.F32(v.y);
        out.F32(v.z);
        out.F32(v.rhw);
        out.U32(v.diffuse);
        out.U32(v.specular);
        out.F32(v.u);
        out.F32(v.v);
    }
}

void MakeScreenQuad()
{
    if (gQuad)
        gQuad->Refill();
    else
        gQuad = new RestorableVertexBuffer(gfx::kFvfTLVertex, 4, FillScreenQuad);
}

void SetQuadStencilStates(gfx::Device& dev)
{
    dev.SetRenderState(gfx::RenderState::StencilRef, 1);
    dev.SetRenderState(gfx::RenderState::StencilMask, 0xFFFFFFFFu);
    dev.SetRenderState(gfx::RenderState::StencilWriteMask, 0xFFFFFFFFu);
    dev.SetRenderState(gfx::RenderState::StencilFail, gfx::stencilop::Keep);
    dev.SetRenderState(gfx::RenderState::StencilZFail, gfx::stencilop::Keep);
}

void DrawVolumes(gfx::Device& dev, const std::vector<Vec3>& corners)
{
    std::vector<uint16_t> indices;
    const size_t quads = corners.size() / 4;
    for (size_t first = 0; first < quads; first += kQuadsPerDraw) {
        const size_t count = std::min(kQuadsPerDraw, quads - first);
        indices.clear();
        for (size_t q = 0; q < count; ++q) {
            const uint16_t b = uint16_t(q * 4);
            for (uint16_t k : {0, 1, 2, 2, 3, 0})
                indices.push_back(uint16_t(b + k));
        }
        dev.DrawIndexedPrimitive(gfx::Primitive::TriangleList, gfx::kFvfXyz, &corners[first * 4], uint32_t(count * 4),
                                 indices.data(), uint32_t(indices.size()));
    }
}

void FallBackToBlobs()
{
    LogFile::Write("Shadows: the device cannot switch the stencil off; blob shadows from now on\n");
    gFellBack = true;
    gObjectCallback = Shadows::DrawPartShadows;
    gFramePass = Shadows::FramePassSimple;
    gLevelShadows = false;
}

} // namespace

namespace Shadows {

void SetFrameHooks(const FrameHooks& hooks)
{
    gHooks = hooks;
}

void SetGameTimeSource(int64_t (*now)())
{
    gGameTime = now ? now : AppTime::GameNow;
}

Routine ObjectCallback()
{
    return gObjectCallback;
}

Routine FramePass()
{
    return gFramePass;
}

bool LevelShadows()
{
    return gLevelShadows;
}

bool FellBackToBlobs()
{
    return gFellBack;
}

const std::vector<ShadowCaster*>& Casters()
{
    return gCasters;
}

std::array<ScreenQuadVertex, 4> ScreenQuad(int width, int height)
{
    const float w = float(width), h = float(height);
    auto v = [](float x, float y) { return ScreenQuadVertex{x, y, 0.0f, 1.0f, kQuadDiffuse, 0, 0.0f, 0.0f}; };
    return {v(0, h), v(0, 0), v(w, h), v(w, 0)};
}

std::optional<std::array<ScreenQuadVertex, 4>> CurrentScreenQuad()
{
    const gfx::VertexBuffer* buffer = gQuad ? gQuad->Buffer() : nullptr;
    if (!buffer)
        return std::nullopt;
    trevok::ByteReader in(std::span<const uint8_t>(buffer->Data(), size_t(buffer->Count()) * kQuadVertexBytes));
    std::array<ScreenQuadVertex, 4> quad{};
    for (ScreenQuadVertex& v : quad) {
        v.x = in.F32();
        v.y = in.F32();
        v.z = in.F32();
        v.rhw = in.F32();
        v.diffuse = in.U32();
        v.specular = in.U32();
        v.u = in.F32();
        v.v = in.F32();
    }
    return quad;
}

bool ScreenQuadMade()
{
    return gQuad != nullptr;
}

void Startup(LightSet* lights)
{
    gTexture = TextureManager::Find("units\\alpha junk.rim");
    TextureManager::LoadPending();
    if (!gSprite) {
        PrimitiveDesc desc;
        desc.kind = 2;
        desc.p1 = desc.p2 = 1024;
        desc.texture = gTexture;
        gSprite = VeShape::FromPrimitive(desc);
        static constexpr float kCorners[4][2] = {{457, 515}, {457, 565}, {504, 565}, {504, 515}};
        for (List<SubMesh*>::Iterator it(gSprite->SubMeshes()); !it.AtEnd(); it.Next()) {
            SubMesh& m = **it.Get();
            if (m.format != VeShape::kPrimitiveFormat)
                continue;
            for (uint32_t i = 0; i < m.vertexCount && i < 4; ++i) {
                float* v = m.Vertex(i);
                v[6] = kCorners[i][0] / 1024.0f;
                v[7] = kCorners[i][1] / 1024.0f;
            }
        }
        gSprite->OptimizeVertexBuffers();
    }
    if (!gLights) {
        gLights = lights ? lights : new LightSet;
        if (lights)
            gLights->AddRef();
    }
    Colour emissive;
    emissive.Set(0.13f, 0.13f, 0.13f, 0.8f);
    gLights->SetEmissive(emissive);
    gLights->SetAlpha(0.8f);
    ApplyMode();
}

void Shutdown()
{
    while (!gCasters.empty())
        RemoveCaster(gCasters.back());
    if (gSprite)
        gSprite->Release();
    gSprite = nullptr;
    if (gLights)
        gLights->Release();
    gLights = nullptr;
    // Find gave the texture a use; dropped here, the manager frees it with
    // the others instead of at static destruction, after the device is gone.
    if (gTexture)
        TextureManager::Unuse(gTexture);
    gTexture = nullptr;
    if (gQuad)
        gQuad->Release();
    gQuad = nullptr;
    gFellBack = false;
    gGeometry = {};
}

void ApplyMode()
{
    if (ShadowMode > 4)
        return;
    // After the device refused to drop the stencil, only blobs stay possible.
    if (gFellBack && ShadowMode >= 3) {
        FallBackToBlobs();
        return;
    }
    static constexpr Routine kCallbacks[5] = {Nothing, DrawFootPrints, DrawPartShadows, Nothing, Nothing};
    gObjectCallback = kCallbacks[ShadowMode];
    gFramePass = ShadowMode >= 3 ? FramePassProjected : FramePassSimple;
    gLevelShadows = ShadowMode == 4;
    if (ShadowMode == 4 && StaticShadows::MapAsks())
        if (Level* level = Level::Current())
            StaticShadows::LoadOrBuild(*level);
    if (ShadowMode < 3)
        return;
    // Before a device exists the mode is only recorded; the next call makes the quad.
    gfx::Device* dev = Display::Device();
    if (!dev)
        return;
    MakeScreenQuad();
    SetQuadStencilStates(*dev);
}

void AddCaster(ShadowCaster* object)
{
    if (!object || (object->flags_ & kCasterFlag) || !object->ShapeRoot() || ShadowMode < 1 || ShadowMode > 4)
        return;
    ShapeInstance& root = *object->ShapeRoot();
    switch (ShadowMode) {
    case 1:
        if (!FindNamedNode(root, "LFPrint"))
            return;
        break;
    case 2:
        if (!gSprite)
            return;
        ForEachNodeChildrenFirst(root, [&](ShapeInstance& node) {
            VeObject* sprite = VeObject::FromShape(gSprite, false);
            if (sprite)
                object->blobs_.push_back({sprite, &node});
        });
        break;
    default: {
        Hierarchy* hierarchy = object->ShadowHierarchy();
        if (!hierarchy)
            return;
        BuildEdgeLists(*object, *hierarchy);
        break;
    }
    }
    gCasters.push_back(object);
    object->flags_ |= kCasterFlag;
}

void RemoveCaster(ShadowCaster* object)
{
    if (!object || !(object->flags_ & kCasterFlag))
        return;
    FreeShadowData(*object);
    auto it = std::find(gCasters.begin(), gCasters.end(), object);
    if (it != gCasters.end())
        gCasters.erase(it);
    object->flags_ &= ~kCasterFlag;
}

FootprintQuad Footprint(const Vec3& foot, float floorY, float heading)
{
    const int32_t angle = int32_t(std::floor(heading));
    const float s = SineOf(angle) * kFootprintHalf, c = CosineOf(angle) * kFootprintHalf;
    const float y = floorY - kFootprintLift;
    // Along the heading (s, c) and across it (c, -s).
    const Vec3 along{s, 0, c}, across{c, 0, -s};
    const Vec3 centre{foot.x, y, foot.z};
    return {{centre + along - across, centre + along + across, centre - along + across, centre - along - across}};
}

void DrawFootPrints()
{
    if (gCasters.empty())
        return;
    std::vector<FootprintQuad> quads;
    const uint64_t time = uint64_t(gGameTime());
    for (ShadowCaster* c : gCasters) {
        ShapeInstance* root = c->ShapeRoot();
        if (!c->Visible() || !root)
            continue;
        const float floorY = c->FloorHeight();
        for (const char* dummy : {"LFPrint", "RFPrint"}) {
            Vec3 foot;
            // A caster without a right dummy leaves that footprint out.
            if (!root->FindPartPosition(foot, dummy, time))
                continue;
            quads.push_back(Footprint(TransformPoint(c->ObjectMatrix().m.data(), foot), floorY, c->Heading()));
        }
    }
    if (quads.empty())
        return;
    VeShape* shape = new VeShape;
    SubMesh* m = shape->AddSubMesh(uint32_t(quads.size() * 4), uint32_t(quads.size() * 6), gfx::kFvfVertex, false);
    m->texture = gTexture;
    const float uv[4][2] = {{kFootprintU0, kFootprintV0}, {kFootprintU1, kFootprintV0},
                            {kFootprintU1, kFootprintV1}, {kFootprintU0, kFootprintV1}};
    for (size_t q = 0; q < quads.size(); ++q) {
        for (uint32_t k = 0; k < 4; ++k) {
            float* v = m->Vertex(uint32_t(q * 4 + k));
            const Vec3& p = quads[q].corners[k];
            const float values[8] = {p.x, p.y, p.z, 0, -1, 0, uv[k][0], uv[k][1]};
            std::memcpy(v, values, sizeof values);
        }
        const uint16_t b = uint16_t(q * 4);
        const uint16_t idx[6] = {b, uint16_t(b + 1), uint16_t(b + 2), b, uint16_t(b + 2), uint16_t(b + 3)};
        std::copy(std::begin(idx), std::end(idx), m->indices.begin() + ptrdiff_t(q * 6));
    }
    if (gTexture)
        shape->AddTexture(gTexture);
    shape->MakeBoundingBox();
    if (VeObject* object = VeObject::FromShape(shape, false)) {
        object->QueueDraw(time, &MainCamera::Get(), gLights, nullptr, 0, 0, nullptr, nullptr, nullptr);
        object->Release();
    }
    shape->Release();
}

bool BlobPoint(const Vec3& part, const Vec3& sun, const Vec3& planePoint, const Vec3& planeNormal, Vec3& out)
{
    const float along = sun.Dot(planeNormal);
    if (!(std::fabs(along) > 1e-6f))
        return false;
    const float t = (planePoint - part).Dot(planeNormal) / along;
    if (!std::isfinite(t))
        return false;
    out = part + sun * t;
    out.y -= kBlobLift;
    return true;
}

void DrawPartShadows()
{
    Level* level = Level::Current();
    const uint64_t time = uint64_t(gGameTime());
    static const Quaternion kTurn{0.0f, std::sin(-float(M_PI) / 8.0f), 0.0f, std::cos(-float(M_PI) / 8.0f)};
    for (ShadowCaster* c : gCasters) {
        if (c->blobs_.empty() || !c->HasRole() || !c->Visible())
            continue;
        const Vec3 position = c->Position();
        CollisionPolygon* polygon = c->CurrentPolygon();
        if (!polygon && level) {
            LockGuard hold(level->lock_, false);
            polygon = level->FindPolygonAt(position);
        }
        if (!polygon || polygon->VertexCount() < 1)
            continue;
        Vec3 normal = polygon->normal_;
        if (normal.y > 0)
            normal = -normal;  // the side that faces up
        const Vec3 planePoint = *polygon->Vertices()[0];
        // The sprite faces up (-y); tilt it onto the plane by the half angle.
        const Vec3 up{0, -1, 0};
        const Vec3 axis = up.Cross(normal);
        Quaternion tilt{axis.x, axis.y, axis.z, 1.0f + up.Dot(normal)};
        const float length = std::sqrt(tilt.Dot(tilt));
        tilt = length > 1e-6f ? Quaternion{tilt.x / length, tilt.y / length, tilt.z / length, tilt.w / length}
                              : Quaternion::Identity();
        const Quaternion orientation = tilt * kTurn;
        for (BlobEntry& b : c->blobs_) {
            Vec3 point;
            if (!b.sprite || !BlobPoint(Translation(b.part->nodeMatrix_), SunDirection(), planePoint, normal, point))
                continue;
            float size = 0.7f;
            if (b.part->box_) {
                const Vec3 extent = b.part->box_->Corner(7) - b.part->box_->Corner(0);
                size = std::max(std::fabs(extent.x), std::fabs(extent.z));
            }
            const float reach = std::sqrt((position - point).LengthSquared());
            b.sprite->placement_.SetPosition(point);
            b.sprite->placement_.SetOrientation(orientation);
            b.sprite->placement_.SetScale({1.5f * reach, 1.0f, 1.5f * size});
            b.sprite->QueueDraw(time, &MainCamera::Get(), gLights, nullptr, 0, kBlobSortFlags, nullptr, nullptr,
                                nullptr);
        }
    }
}

void FramePassSimple()
{
    if (gHooks.drawLateList)
        gHooks.drawLateList(gGameTime());
    if (gHooks.drawOverlays && !(gHooks.normalView && gHooks.normalView()))
        gHooks.drawOverlays();
    if (gHooks.drawUpgradeItems)
        gHooks.drawUpgradeItems();
    RenderQueue::Flush();
}

namespace {

// Corner by corner: a quad gathered into a temporary first was stored in
// pieces and read back whole, which stalled every copy.
inline void PutQuad(std::vector<Vec3>& list, const Vec3& v1, const Vec3& v2, const Vec3& e2, const Vec3& e1)
{
    list.push_back(v1);
    list.push_back(v2);
    list.push_back(e2);
    list.push_back(e1);
}

inline std::vector<Vec3>& ListFacing(VolumeGeometry& g, const Vec3& v1, const Vec3& normal, const Vec3& camera)
{
    return normal.Dot(v1 - camera) < -0.0001f ? g.front : g.back;
}

// Room for `quads` more quads in both lists, so none grows inside an edge loop.
void MakeRoom(VolumeGeometry& g, size_t quads)
{
    for (std::vector<Vec3>* list : {&g.front, &g.back}) {
        const size_t need = list->size() + quads * 4;
        if (need > list->capacity())
            list->reserve(std::max(need, list->capacity() * 2));
    }
}

} // namespace

void VolumeGeometry::AddQuad(const Vec3& v1, const Vec3& v2, const Vec3& e2, const Vec3& e1, const Vec3& normal,
                             const Vec3& camera)
{
    PutQuad(ListFacing(*this, v1, normal, camera), v1, v2, e2, e1);
}

void AddCasterVolumes(VolumeGeometry& out, const std::vector<ShadowEdge>& edges, const float world[16], float floorY,
                      const Vec3& sun, const Vec3& camera)
{
    if (!SunCastsVolumes(sun))
        return;
    // The same tests and extrusion as ExtrudeEdge, with the normals first
    // (most edges are no silhouette and need nothing more) and one reciprocal.
    const float reciprocal = 1.0f / sun.y;
    MakeRoom(out, edges.size());
    // sun . (n M) = (M sun) . n: the sun carried into the part's space once
    // gives the same signs for a part turned and uniformly scaled.
    const Vec3 localSun{world[0] * sun.x + world[1] * sun.y + world[2] * sun.z,
                        world[4] * sun.x + world[5] * sun.y + world[6] * sun.z,
                        world[8] * sun.x + world[9] * sun.y + world[10] * sun.z};
    for (const ShadowEdge& local : edges) {
        const float d1 = localSun.Dot(local.normal1);
        bool swap = false;
        if (local.faceCount >= 2) {
            const float d2 = localSun.Dot(local.normal2);
            if ((d1 >= 0.0f) == (d2 >= 0.0f))
                continue;
            swap = d1 < 0.0f;
        } else if (!(d1 < 0.0f)) {
            continue;
        }
        const Vec3 first = TransformPoint(world, swap ? local.b : local.a);
        const Vec3 second = TransformPoint(world, swap ? local.a : local.b);
        const Vec3 firstOut = first + sun * ((floorY - first.y) * reciprocal);
        const Vec3 secondOut = second + sun * ((floorY - second.y) * reciprocal);
        PutQuad(ListFacing(out, first, (second - first).Cross(firstOut - first), camera), first, second, secondOut,
                firstOut);
    }
}

void AddCellVolumes(VolumeGeometry& out, const ShadowCell& cell, const Vec3& sun, const Vec3& camera)
{
    MakeRoom(out, cell.edges.size());
    for (const ShadowEdge* e : cell.edges) {
        Vec3 first, second;
        OrderedEnds(*e, sun, first, second);
        out.AddQuad(first, second, e->extrudedB, e->extrudedA, e->quadNormal, camera);
    }
}

std::vector<const ShadowCell*> CellsInUse(const LevelShadowData& data, const Vec3& camera, bool testView)
{
    std::vector<const ShadowCell*> cells;
    const ShadowCell* under = data.CellAt(camera.x, camera.z);
    if (!under)
        return cells;
    cells.push_back(under);
    for (const ShadowCell& c : data.cells) {
        if (&c == under)
            continue;
        if (testView && c.box && c.box->ClipFlags() != 0)
            continue;
        cells.push_back(&c);
    }
    return cells;
}

void FramePassProjected()
{
    FramePassSimple();
    gfx::Device* dev = Display::Device();
    if (!dev)
        return;
    MainCamera& camera = MainCamera::Get();
    if (Camera::Current() != &camera)
        camera.SetCurrent();
    const Vec3 eye = camera.Position();
    const Vec3& sun = SunDirection();
    VolumeGeometry& geometry = gGeometry;
    geometry.front.clear();
    geometry.back.clear();
    for (ShadowCaster* c : gCasters) {
        if (!c->ShapeRoot() || !c->Visible())
            continue;
        const float floorY = c->FloorHeight() + 1.0f;
        for (const CasterEdgeList& list : c->edgeLists_)
            AddCasterVolumes(geometry, list.edges, PartMatrix(list, *c), floorY, sun, eye);
    }
    // The volumes are built in world space, and so are the cell boxes tested
    // against the view: not in whatever space the effects drawn last left.
    dev->SetTransform(gfx::TransformType::World, gfx::Matrix{});
    Level* level = Level::Current();
    if (gLevelShadows && level && level->shadowData_) {
        const LevelShadowData& data = StaticShadows::DataOf(*level);
        for (const ShadowCell* cell : CellsInUse(data, eye, true))
            AddCellVolumes(geometry, *cell, sun, eye);
    }
    const uint32_t blendWas = dev->GetRenderState(gfx::RenderState::AlphaBlendEnable);
    const uint32_t srcWas = dev->GetRenderState(gfx::RenderState::SrcBlend);
    const uint32_t destWas = dev->GetRenderState(gfx::RenderState::DestBlend);
    dev->Clear({}, gfx::kClearStencil, 0, 1.0f, 0);
    SetQuadStencilStates(*dev);

    // Pass 1: faces towards the camera count up; colour and depth stay.
    dev->SetRenderState(gfx::RenderState::StencilEnable, 1);
    dev->SetRenderState(gfx::RenderState::ShadeMode, 1);
    dev->SetRenderState(gfx::RenderState::CullMode, gfx::cull::None);
    dev->SetRenderState(gfx::RenderState::ZWriteEnable, 0);
    dev->SetRenderState(gfx::RenderState::AlphaBlendEnable, 1);
    dev->SetRenderState(gfx::RenderState::SrcBlend, gfx::blend::Zero);
    dev->SetRenderState(gfx::RenderState::DestBlend, gfx::blend::One);
    dev->SetRenderState(gfx::RenderState::StencilFunc, gfx::cmp::Always);
    dev->SetRenderState(gfx::RenderState::StencilPass, gfx::stencilop::Incr);
    dev->SetTexture(0, nullptr);
    DrawVolumes(*dev, geometry.front);
    // Pass 2: faces away count down.
    dev->SetRenderState(gfx::RenderState::StencilPass, gfx::stencilop::DecrSat);
    DrawVolumes(*dev, geometry.back);
    geometry.front.clear();
    geometry.back.clear();

    // Darkening: every pixel whose count is at least 1.
    const int64_t started = AppTime::RealNow();
    dev->SetRenderState(gfx::RenderState::ZEnable, 0);
    dev->SetRenderState(gfx::RenderState::StencilFunc, gfx::cmp::LessEqual);
    dev->SetRenderState(gfx::RenderState::StencilPass, gfx::stencilop::Zero);
    dev->SetRenderState(gfx::RenderState::SrcBlend, gfx::blend::SrcAlpha);
    dev->SetRenderState(gfx::RenderState::DestBlend, gfx::blend::InvSrcAlpha);
    // A mode set before the device existed has no quad yet.
    if (!gQuad || !gQuad->Buffer())
        MakeScreenQuad();
    dev->DrawPrimitiveVB(gfx::Primitive::TriangleStrip, *gQuad->Buffer(), 0, 4);
    DisplayProfiling().frame += (AppTime::RealNow() - started) >> 10;

    // Restore.
    dev->SetRenderState(gfx::RenderState::ZEnable, 1);
    dev->SetRenderState(gfx::RenderState::ZWriteEnable, 1);
    dev->SetRenderState(gfx::RenderState::ShadeMode, 2);
    dev->SetRenderState(gfx::RenderState::CullMode, gfx::cull::CounterClockwise);
    dev->SetRenderState(gfx::RenderState::AlphaBlendEnable, blendWas);
    dev->SetRenderState(gfx::RenderState::SrcBlend, srcWas);
    dev->SetRenderState(gfx::RenderState::DestBlend, destWas);
    if (!dev->SetRenderState(gfx::RenderState::StencilEnable, 0))
        FallBackToBlobs();
}

} // namespace Shadows
