#include "world/level.h"

#include "Veapi/bounding_box.h"
#include "Veapi/camera.h"
#include "Veapi/hit_probe.h"
#include "Veapi/VertBuff.h"
#include "Veapi/light_set.h"
#include "Veapi/render_queue.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/clock.h"
#include "app/math_tables.h"
#include "app/quadratic.h"
#include "world/fog_of_war.h"
#include "world/line_of_sight.h"

#include <algorithm>
#include <cmath>

namespace {

Vec3 Blend(const Vec3& a, const Vec3& b)
{
    return a * 0.99f + b * 0.01f;
}

// The level's lighting hook: the engine's lighting pass of the level's
// request refreshes the level's copy of the global light values, and the
// level's own lights pick the point lights that reach it.
class LevelLighting : public DrawHooks {
public:
    explicit LevelLighting(Level& level) : level_(level) {}
    void BeforeDraw(DrawRequest& request, TextureEntry*) override
    {
        level_.RefreshLightValues();
        // The level's own record lights the level while the level light is on.
        if (level_.levelLightEnabled_ && level_.lightRecord_.registered)
            level_.lightRecord_.used = true;
        if (request.lights_ == &level_.Lights())
            level_.Lights().OnDrawBounds(level_.minimum_, level_.maximum_);
    }
    void AfterDraw(DrawRequest&, TextureEntry*) override {}

private:
    Level& level_;
};

// Holds nothing of the level: a request may outlive it, and then the set it
// names has forgotten the level's grid.
class ObjectLighting : public DrawHooks {
public:
    void BeforeDraw(DrawRequest& request, TextureEntry*) override
    {
        auto* lights = dynamic_cast<LevelLight*>(request.lights_);
        if (lights && request.object_) {
            const Vec3 at = request.object_->placement_.Position();
            lights->OnDrawBounds(at, at);
        }
    }
    void AfterDraw(DrawRequest&, TextureEntry*) override {}
};

} // namespace

Level::Level(VeShape* shape, const Vec3& position, const CollisionSource* collision)
    : object_(shape ? VeObject::FromShape(shape, false) : nullptr)
{
    BuildLevelMesh(position, collision);
}

Level::Level(VeObject& object, const Vec3& position, const CollisionSource* collision) : object_(&object)
{
    object_->AddRef();
    // The level lies where its polygons are: at the origin, unturned.
    object_->placement_.SetPosition({0, 0, 0});
    object_->placement_.SetAngles(0, 0, 0);
    BuildLevelMesh(position, collision);
}

Level::Level(std::unique_ptr<ShapeInstance> tree, const Vec3& position, const CollisionSource* collision)
{
    if (tree) {
        FitQueryBoxes(*tree);
        shapeTree_ = tree.get();
        // The object draws the tree through the render queue; queries walk
        // the same nodes.
        treeObject_ = VeObject::FromObject(tree.release(), false);
    }
    BuildLevelMesh(position, collision);
}

void Level::BuildLevelMesh(const Vec3& position, const CollisionSource* collision)
{
    levelColour_.Set(0.5f, 0.5f, 0.5f, 1.0f);
    levelColour_.flags = Colour::kFloatValid;
    lights_ = new LevelLight(this);
    lightingHook_ = new LevelLighting(*this);
    objectLightingHook_ = new ObjectLighting;
    lightRecord_.Register();
    origin_ = -position;
    ShapeInstance* root = GetShapeRoot();
    if (VeShape* shape = Shape()) {
        queryTree_ = BuildQueryTree(*shape, kShapeTreePieceVertices);
        shapeTree_ = queryTree_.get();
    }
    // Without a tree (a level that is not drawn) the collision is the mesh.
    const CollisionMesh* mesh =
        root ? AddMesh(root, TreePieces::Of(*root, true, collision).pieces, Matrix34::kIdentity)
             : AddMesh(nullptr, {CollisionPiece{collision, Matrix34::kIdentity}}, Matrix34::kIdentity);
    if (object_) {
        minimum_ = object_->minimum_;
        maximum_ = object_->maximum_;
    } else if (mesh->vertices_.size() != 0) {
        minimum_ = mesh->boxMin_;
        maximum_ = mesh->boxMax_;
    }
    innerMinimum_ = Blend(minimum_, maximum_);
    innerMaximum_ = Blend(maximum_, minimum_);
    cameraMinX_ = innerMinimum_.x;
    cameraMaxX_ = innerMaximum_.x;
    cameraMinZ_ = innerMinimum_.z;
    cameraMaxZ_ = innerMaximum_.z;
    floorHeight_ = maximum_.y;
    statusPolygons_ = mesh->PolygonCount();
    statusMeshes_ = 1;
    lightRecord_.attenuation[0] = lightRecord_.attenuation[1] = 0.5f;
    lightRecord_.valid = true;
    lightRecord_.owner = nullptr;
}

Level::~Level()
{
    SetReflectionTexture(nullptr);
    for (Mover* mover : movers_)
        delete mover;
    if (object_)
        object_->Release();
    if (treeObject_)
        treeObject_->Release();
    lightRecord_.Unregister();
    // A request still holding the set must not reach the grid through it.
    lights_->RemoveAll();
    lights_->Release();
    lightingHook_->Release();
    objectLightingHook_->Release();
    if (Current() == this)
        Current() = nullptr;
}

ShapeInstance* Level::GetShapeRoot() const
{
    return object_ ? object_->Root() : nullptr;
}

VeShape* Level::Shape() const
{
    const ShapeInstance* root = GetShapeRoot();
    return root ? root->slots_[0] : nullptr;
}

namespace {

void RebuildTree(ShapeInstance& node)
{
    for (VeShape* shape : node.slots_) {
        if (!shape)
            continue;
        shape->OptimizeVertexBuffers();
        // Probes (the mouse, the camera's pivot) test the level's triangles.
        shape->MakeBoundingBox();
        shape->BuildPositionBuffer();
    }
    for (ShapeInstance* child : node.children_)
        RebuildTree(*child);
}

} // namespace

void Level::RebuildMeshes()
{
    if (VeObject* drawn = DrawObject(); drawn && drawn->Root())
        RebuildTree(*drawn->Root());
}

CollisionMesh* Level::AddObjectGeometry(VeObject* object)
{
    if (!object || !object->Root())
        return nullptr;
    return AddMesh(*object->Root(), object->placement_.ScaledMatrix());
}

bool Level::RemoveObjectGeometry(VeObject* object)
{
    return object && object->Root() && RemoveMesh(object->Root());
}

Level*& Level::Current()
{
    static Level* current = nullptr;
    return current;
}

void Level::Draw(Level* level)
{
    if (level)
        level->DrawShape();
}

void Level::CopyGlobalLightValues(Level* level)
{
    if (level)
        level->RefreshLightValues();
}

void Level::RefreshLightValues()
{
    const LightRecord& global = GlobalLightRecord();
    globalLightValuesValid_ = global.used;
    if (global.used)
        globalLightValues_ = global.position;
}

void Level::SetFogEnabled(bool on)
{
    FogOfWar* fog = FogOfWar::Global();
    if (!fog)
        return;
    // A device with two stages blends the fog in a stage; any other draws
    // it as a second pass, which is also what an off fog keeps ready.
    const bool twoStages = FogOfWar::DeviceHardwareLevel() >= 2;
    fog->RebuildMaterials(on && twoStages ? 2 : 1);
    fog->SetEnabled(on, twoStages);
}

void Level::DrawShape()
{
    if (levelLightEnabled_) {
        lightRecord_.Register();
        lightRecord_.used = false;
        lightRecord_.range = FLT_MAX;
    }
    // The camera's pivot: the level surface under the screen's centre.
    HitProbe probe;
    if (probeRequested_) {
        probe.Reset();
        probe.exactDepth_ = true; // the hit point, not only the hit
        probe.UpdateScreenPosition();
        HitProbe::Register(&probe);
    }
    QueueAndFlush();
    DrawReflection();
    if (probeRequested_) {
        HitProbe::Unregister(&probe);
        probeValid_ = probe.hit_;
        if (probe.hit_)
            probePoint_ = probe.hitPoint_;
    }
    if (levelLightEnabled_) {
        litPositionValid_ = lightRecord_.used;
        if (lightRecord_.used)
            litPosition_ = lightRecord_.position;
        lightRecord_.Unregister();
    }
    GlobalLightRecord().Unregister();
}

void Level::QueueAndFlush()
{
    VeObject* drawn = DrawObject();
    if (!drawn)
        return;
    RenderMaterial* material = nullptr;
    if (const FogOfWar* fog = FogOfWar::Global(); fog && fog->Mode() != FogOfWar::kModeOff) {
        MapFog(*fog);
        material = fog->LevelMaterial();
    }
    LightSet* lights = WorldLights();
    // Every node at once (the level's box holds the whole view anyway),
    // tested against the probes triangle by triangle.
    const uint32_t flags = DrawFlag::kNoBoxTests | DrawFlag::kExactHit | DrawFlag::kHitTest | DrawFlag::kDefaultProbe;
    drawn->QueueDraw(GameTime.Now64(), Camera::Current(), lights, material, 0, flags, nullptr, lightingHook_,
                     nullptr);
    RenderQueue::Flush();
}

LightSet* Level::WorldLights() const
{
    return lights_->Empty() ? LightSet::Global(0) : lights_;
}

void Level::SetReflectionTexture(TextureEntry* texture)
{
    if (texture == reflectionTexture_)
        return;
    if (texture)
        TextureManager::Use(texture);
    if (reflectionTexture_)
        TextureManager::Unuse(reflectionTexture_);
    reflectionTexture_ = texture;
}

void Level::RequestReflection(RenderMaterial* material, Camera* camera, LightSet* lights)
{
    reflectionMaterial_ = material;
    reflectionCamera_ = camera;
    reflectionLights_ = lights;
}

void Level::DrawReflection()
{
    RenderMaterial* material = reflectionMaterial_;
    reflectionMaterial_ = nullptr;
    VeObject* drawn = DrawObject();
    if (!material || !reflectionTexture_ || !drawn)
        return;
    RenderMaterial::Apply(material);
    if (reflectionCamera_ && Camera::Current() != reflectionCamera_)
        reflectionCamera_->SetCurrent();
    if (reflectionLights_ && LightSet::Current() != reflectionLights_)
        reflectionLights_->Apply();
    drawn->Draw(GameTime.Now64(), 0, DrawFlag::kFromQueue | DrawFlag::kSkipNodeBox | DrawFlag::kNoBoxTests,
                reflectionTexture_);
}

void Level::MapFog(const FogOfWar& fog)
{
    VeObject* drawn = DrawObject();
    if (fogMapping_ == fog.Mapping() || !drawn || !drawn->Root())
        return;
    fogMapping_ = fog.Mapping();
    // Meshes in shared buffers take the second set apart from them, and
    // join a buffer of the new layout after.
    std::vector<SubMesh*> shared;
    std::vector<ShapeInstance*> work{drawn->Root()};
    while (!work.empty()) {
        ShapeInstance* node = work.back();
        work.pop_back();
        for (VeShape* shape : node->slots_)
            if (shape)
                for (SubMesh* mesh : shape->SubMeshes())
                    if (mesh->shared && std::find(shared.begin(), shared.end(), mesh) == shared.end()) {
                        SharedVertexBuffer::Detach(mesh);
                        shared.push_back(mesh);
                    }
        for (ShapeInstance* child : node->children_)
            work.push_back(child);
    }
    fog.MapShape(*drawn->Root(), Matrix34::kIdentity);
    for (SubMesh* mesh : shared)
        SharedVertexBuffer::Attach(mesh, false);
    RebuildMeshes();
}

LevelMoveRecord Level::FillMoveRecord(const Vec3& start, const Vec3& end, uint32_t polygonIndex, uint32_t value) const
{
    return {value, start, PolygonAt(polygonIndex), end};
}

void Level::OnMeshRemoved(CollisionMesh& mesh)
{
    for (Mover* mover : movers_) {
        if (mover->surface && mesh.Owns(mover->surface))
            mover->surface = nullptr;
    }
}

Mover* Level::AddMover(Vec3& position, std::unique_ptr<MoverBody> body, uint32_t time)
{
    auto* mover = new Mover;
    mover->time = time;
    mover->body = std::move(body);
    const float height = mover->body ? mover->body->height : 0.0f;
    const float radius = mover->body ? mover->body->radius : 0.0f;
    mover->reach = 0.4f * height;
    movers_.PushBack(mover);
    mover->surface = FindPolygonAtPosition(position);
    if (mover->surface)
        position = *mover->surface->Centre();
    mover->position = position;
    uint32_t flags = mover->barrierFlags | mover_flags::kBody;
    if (radius > 1.1f)
        flags |= mover_flags::kWide;
    if (radius > 0.6f)
        flags |= mover_flags::kMedium;
    if (height > 1.5f)
        flags |= mover_flags::kTall;
    mover->bodyClassFlags = flags;
    return mover;
}

void Level::RemoveMover(Mover* mover)
{
    if (mover && movers_.Remove(mover))
        delete mover;
}

CollisionPolygon* Level::Crossing(const CollisionPolygon& from, const Mover& mover, const Vec3& point,
                                  const Vec3& velocity, int32_t crossTime) const
{
    for (uint32_t i = 0; i < from.LinkCount(); ++i) {
        CollisionPolygon* next = from.LinkAt(i);
        if ((next->flags_ & mover.barrierFlags) || !next->ContainsPointXZ(point, nullptr))
            continue;
        // Leaving through a corner at once: only a polygon that lies ahead.
        if (crossTime == 0 && !next->ContainsPointAhead(point, velocity))
            continue;
        return next;
    }
    return nullptr;
}

// Falls under the mover's gravity: y grows by v t + g t^2 / 2 (y grows
// downward) until the ground found under it is reached.
bool Level::Fall(Mover& mover, uint32_t remaining)
{
    CollisionPolygon* ground = FindPolygonAtPosition(mover.position);
    if (!ground)
        return false;
    Vec3 onGround = mover.position;
    SnapToPolygon(onGround);
    const float drop = onGround.y - mover.position.y;
    if (drop < 0) {
        mover.surface = ground;
        return true;
    }
    // g/2 t^2 + v t - drop = 0: the roots have opposite signs (or one is 0),
    // so the second is when the fall meets the ground.
    const float g = mover.gravity > 0 ? mover.gravity : 9.81f;
    float first = 0, second = 0;
    const bool solved = SolveQuadratic(first, second, 2.0f * mover.velocity.y / g, -2.0f * drop / g) == 2;
    const float r = static_cast<float>(remaining);
    if (!solved || !(second <= r)) {
        mover.position.y += mover.velocity.y * r + 0.5f * g * r * r;
        mover.velocity.y += g * r;
        return false;
    }
    const auto landing = static_cast<uint32_t>(std::min(static_cast<double>(std::max(second, 0.0f)),
                                                        static_cast<double>(remaining)));
    mover.time += landing;
    mover.position.y = onGround.y;
    mover.velocity.y = 0;
    mover.surface = ground;
    return true;
}

bool Level::AdvanceMover(Vec3& target, Mover& mover, uint32_t time)
{
    const int32_t elapsed = static_cast<int32_t>(time - mover.time);
    // A time earlier than the mover's own moves nothing: the unsigned
    // difference would otherwise send it across the level.
    if (elapsed <= 0) {
        target = mover.position;
        mover.time = time;
        return true;
    }
    // A target that is not a finite point would carry the mover's own
    // position with it; the mover then only falls, if it falls at all.
    const bool finite = std::isfinite(target.x) && std::isfinite(target.z);
    mover.velocity.x = finite ? (target.x - mover.position.x) / static_cast<float>(elapsed) : 0.0f;
    mover.velocity.z = finite ? (target.z - mover.position.z) / static_cast<float>(elapsed) : 0.0f;

    const float radius = mover.body ? mover.body->radius : 0.0f;
    int crossings = 0;
    while (mover.time != time) {
        const uint32_t remaining = time - mover.time;
        if (!mover.surface) {
            if (!Fall(mover, remaining))
                break;
            continue;
        }
        CollisionPolygon& surface = *mover.surface;
        const Vec3 n = surface.normal_;
        Vec3 v = mover.velocity - n * mover.velocity.Dot(n);
        const Vec3& r = *surface.Centre();
        mover.position.y = (n.x * (r.x - mover.position.x) + n.y * r.y + n.z * (r.z - mover.position.z)) / n.y;
        if (surface.flags_ & mover_flags::kSlowGround)
            v *= 0.5f;

        int32_t touch = 0, cross = 0;
        surface.EdgeExitTimes(mover.position, v, radius, touch, cross);
        if (touch == INT32_MAX || static_cast<int64_t>(touch) > static_cast<int64_t>(remaining)) {
            mover.position += v * static_cast<float>(remaining);
            break;
        }
        Vec3 exit = mover.position + v * static_cast<float>(cross);
        CollisionPolygon* next = Crossing(surface, mover, exit, v, cross);
        if (!next) {
            const float speedSquared = v.x * v.x + v.z * v.z;
            if (speedSquared > 0) {
                const float inverse = FastInvSqrt(speedSquared);
                exit += Vec3(v.x * inverse, 0, v.z * inverse) * 0.01f;
                next = Crossing(surface, mover, exit, v, cross);
            }
        }
        if (!next || ++crossings > kMaxCrossings) {
            mover.position += v * static_cast<float>(touch);
            target = mover.position;
            mover.time = time;
            return false;
        }
        if (static_cast<int64_t>(cross) > static_cast<int64_t>(remaining)) {
            mover.position += v * static_cast<float>(remaining);
            break;
        }
        if (cross > 0) {
            mover.position = exit;
            mover.time += static_cast<uint32_t>(cross);
        }
        mover.surface = next;
    }
    target = mover.position;
    mover.time = time;
    return true;
}
