#include "objects/world_object.h"

#include "Veapi/bounding_box.h"
#include "Veapi/camera.h"
#include "Veapi/ve3d.h"
#include "Veapi/light_set.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/app_time.h"
#include "objects/client_effects.h"
#include "objects/orders.h"
#include "objects/teams.h"
#include "Veapi/hierarchy.h"
#include "app/directories.h"
#include "chunk/loaders/environment_loader.h"
#include "chunk/loaders/hierarchy_loader.h"
#include "script/records.h"
#include "world/fog_of_war.h"
#include "world/level.h"
#include "world/map_build.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace {

// At namespace scope: the shell's exit handlers still release objects.
struct Node {
    WorldObject* object;
    Node* next;
};
std::array<Node*, WorldObjectTable::kBuckets> g_buckets{};
uint32_t g_count = 0;
uint32_t g_nextId = 0;
uint32_t g_nextClientOnlyId = WorldObjectTable::kFirstClientOnlyId;
WorldObject* g_current = nullptr;
std::vector<WorldObject*> g_squad;
std::function<void(const ClientDraw&)> g_drawHook;
std::function<void(uint32_t)> g_removedHook;
int32_t g_baseSortKey = 0;
ClientServices g_services;
int32_t g_variationCountdown = 0;
ClientEffectHooks g_effects;
std::vector<std::string> g_exhaustParts{"dum exhaust"};
Hierarchy* g_moveMarker = nullptr;  // one use held
bool g_moveMarkerTried = false;

// The corona a "lightdum" part gets: red, alpha 0.6.
constexpr float kPartCoronaAlpha = 0.6f;
// Exhaust smoke: particle group 0, kind 5, dark grey.
constexpr int32_t kSmokeGroup = 0, kSmokeKind = 5;
constexpr float kSmokeRate = 20.0f, kSmokeSpin = -1.0f;
// Sparks from the stump of a part cut off.
constexpr int32_t kSparkGroup = 12;
constexpr uint32_t kSparkCount = 50;
constexpr float kSparkRate = 10.0f;

// The client table's 31 starting words: fixed, so runs repeat.
constexpr uint32_t kClientStartWords[ParticleRandom::kDegree] = {
    0x9E3779B9u, 0x7F4A7C15u, 0xF39CC060u, 0x5CEDC834u, 0x1B873593u, 0xCC9E2D51u, 0x85EBCA6Bu, 0xC2B2AE35u,
    0x27D4EB2Fu, 0x165667B1u, 0xD3A2646Cu, 0xFD7046C5u, 0xB55A4F09u, 0x68E31DA4u, 0x9C30D539u, 0x3C6EF372u,
    0xA54FF53Au, 0x510E527Fu, 0x9B05688Cu, 0x1F83D9ABu, 0x5BE0CD19u, 0x6A09E667u, 0xBB67AE85u, 0x243F6A88u,
    0x85A308D3u, 0x13198A2Eu, 0x03707344u, 0xA4093822u, 0x299F31D0u, 0x082EFA98u, 0xEC4E6C89u};
ParticleRandom g_random(kClientStartWords, ParticleRandom::kSeparation, 0);
ReadWriteLock g_objectLock;

// Beyond this many seconds a placement does not pull the game clock ahead
// in one step (a bad or hostile report could otherwise skip the game).
constexpr float kMaxClockJump = 1.0f;

constexpr uint32_t kCaptureTheFlag = 5;

// The distance (in model units, thousandths of a metre) beyond which the
// coarser shapes are drawn, for a model that names none.
constexpr float kDefaultDetailDistance = 20000.0f;

uint32_t Fog(const Vec3& position, bool base)
{
    const FogOfWar* fog = FogOfWar::Global();
    if (!fog || fog->Mode() == FogOfWar::kModeOff)
        return 0;
    return base ? fog->BaseVisibilityAt(position) : fog->VisibilityAt(position);
}

bool FogOn()
{
    const FogOfWar* fog = FogOfWar::Global();
    return fog && fog->Mode() != FogOfWar::kModeOff;
}

void QueueWithEngine(const ClientDraw& draw)
{
    VeObject* object = draw.shape ? draw.shape : draw.object ? draw.object->Shape() : nullptr;
    Camera* camera = Camera::Current();
    if (!object || !camera)
        return;
    // Replicas stand in the level's world and are lit as it is.
    LightSet* lights = LightSet::Global(0);
    DrawHooks* hooks = nullptr;
    if (const Level* level = Level::Current()) {
        lights = level->WorldLights();
        hooks = level->ObjectLightingHook();
    }
    object->QueueDraw(static_cast<uint64_t>(AppTime::GameNow()), camera, lights, nullptr, draw.sortKey, draw.flags,
                      nullptr, hooks, nullptr);
}

ParticleEmitterDesc EmitterFromRole(const script::EmitterDesc& d)
{
    ParticleEmitterDesc desc;
    desc.group = d.type;
    desc.mode = d.lifeMode;
    desc.durationOrCount = static_cast<uint32_t>(std::clamp<int64_t>(d.lifeCount, 0, UINT32_MAX));
    desc.rate = d.rate;
    desc.colour1.Set(d.red, d.green, d.blue, d.alpha);
    desc.colour2.Set(d.red, d.green, d.blue, 0.0f);
    desc.scale1 = d.startScale;
    desc.scale2 = d.endScale;
    desc.spin = d.spin;
    desc.life = static_cast<uint32_t>(std::clamp<int64_t>(d.timeToLive, 0, UINT32_MAX));
    return desc;
}

// A replica as the fog sees a unit that clears it; the fog holds it.
class ReplicaDefogger;
// By replica id; game thread. Never destroyed: the fog lets its defoggers
// go when the shell's exit handlers free it, after static destruction.
std::unordered_map<uint32_t, ReplicaDefogger*>& Defoggers()
{
    static auto* defoggers = new std::unordered_map<uint32_t, ReplicaDefogger*>;
    return *defoggers;
}

class ReplicaDefogger final : public FogDefogger {
public:
    explicit ReplicaDefogger(WorldObject& object) : object_(&object) {}
    void HoldForFog() override { ++holds_; }
    void ReleaseForFog() override
    {
        if (--holds_ > 0)
            return;
        Defoggers().erase(object_->GetId());
        delete this;
    }
    Vec3 FogPosition() const override { return object_->Position(); }
    float GetViewRange() const override { return object_->GetViewRange(); }
    bool IsFogProjectile() const override { return object_->IsKind(0); }
    void SetDefogging(bool on) override { object_->Marks().defogging = on; }

private:
    ~ReplicaDefogger() override = default;
    WorldObjectRef object_;
    int32_t holds_ = 0;
};

} // namespace

ClientEffectHooks& ClientEffects() { return g_effects; }

ClientServices& ClientServices::Get() { return g_services; }

int32_t ClientServices::OwnSide() const { return ownSide >= 0 ? ownSide : TeamTable::OwnSide(); }

// ---------------------------------------------------------------------------
// WorldObject

WorldObject::WorldObject(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                         uint32_t creationFlags, uint32_t id)
    : side_(side), role_(role), position_(position), orientation_(orientation), id_(id)
{
    using namespace ClientCreate;
    dynamicLight_ = (creationFlags & (kFogBase | kDynamicLight)) != 0;
    const uint8_t roleFlags = role_ ? role_->flags : 0;
    if (role_ && role_->character)
        hitPoints_ = role_->character->strength;
    staticPlacement_ = (roleFlags & script::kRoleFragControl) != 0;
    if (roleFlags & script::kRoleDestinationSelectable)
        renderFlags_ |= ClientRender::kSelectable;
    if (role_)
        object_ = MakeRoleObject(role_->shape, !staticPlacement_);
    if (object_) {
        object_->placement_.SetPosition(position_);
        object_->placement_.SetOrientation(orientation_);
        // A model's first node box is its collision box; a plain shape
        // has its own bounds.
        if (!staticPlacement_ && (HasNodeBoxes() || object_->HasBounds())) {
            const script::ShapeRef& ref = role_->shape;
            const Vec3 box = HasNodeBoxes() ? Vec3{ref.maximum.x - ref.minimum.x, ref.maximum.y - ref.minimum.y,
                                                   ref.maximum.z - ref.minimum.z}
                                            : object_->maximum_ - object_->minimum_;
            const Vec3 size = orientation_.Rotate(box);
            extent_ = {std::fabs(size.x), std::fabs(size.y), std::fabs(size.z)};
        }
    }
    radius_ = 0.5f * std::max(extent_.x, extent_.z);
    if (!(roleFlags & script::kRoleHitTestIgnore))
        renderFlags_ |= ClientRender::kHitTested;
    if (!(creationFlags & kAlwaysVisible)) {
        if ((roleFlags & script::kRoleAlphaFogging) || (creationFlags & kFogBase))
            renderFlags_ |= ClientRender::kHiddenInFog;
        else if (roleFlags & script::kRolePerVertexFogging)
            renderFlags_ |= ClientRender::kFogMaterial;
        else
            alwaysVisible_ = true;
    } else {
        alwaysVisible_ = true;
    }
    // Where the server runs in this program it files the meshes itself.
    if (!(creationFlags & (kFogBase | kNoGeometry)) && object_ && !ClientServices::Get().serverRunsHere) {
        if (Level* level = Level::Current()) {
            LockGuard guard(level->lock_, true);
            inLevelGeometry_ = level->AddObjectGeometry(object_) != nullptr;
        }
    }
    StartLightsAndEmitters();
    WorldObjectTable::Insert(*this);
}

WorldObject::~WorldObject()
{
    if (registered_)
        WorldObjectTable::Erase(*this);
    if (inLevelGeometry_) {
        if (Level* level = Level::Current()) {
            LockGuard guard(level->lock_, true);
            level->RemoveObjectGeometry(object_);
        }
    }
    if (g_effects.removeCaster)
        g_effects.removeCaster(*this);
    WorldObject::Deactivate();
    if (object_)
        object_->Release();
}

void WorldObject::CatchUpClock(float seconds)
{
    const float now = AppTime::GameSeconds();
    if (std::isfinite(seconds) && now < seconds) {
        const float target = std::min(seconds, now + kMaxClockJump);
        AppTime::SetGameTime(static_cast<int64_t>(SecondsToTicks(target)));
    }
}

float WorldObject::TicksToSeconds(uint64_t ticks)
{
    return static_cast<float>(static_cast<double>(ticks) / static_cast<double>(AppTime::TicksPerSecond()));
}

uint64_t WorldObject::SecondsToTicks(float seconds)
{
    if (!(seconds > 0.0f))
        return 0;
    // A report from far in the future saturates rather than wrapping.
    const double ticks = static_cast<double>(seconds) * static_cast<double>(AppTime::TicksPerSecond());
    constexpr double kLargest = 9.0e18;  // below INT64_MAX, so signed uses stay sound
    return ticks >= kLargest ? static_cast<uint64_t>(kLargest) : static_cast<uint64_t>(ticks);
}

void WorldObject::SetProgress(float start, float end)
{
    progressShown_ = true;
    progressStart_ = start;
    progressEnd_ = end;
}

void WorldObject::PlaySequence(int32_t sequence) { PlaySequence(sequence, 1, 0x10000); }

void WorldObject::PlaySequence(int32_t sequence, int32_t repeatCount, int32_t speed)
{
    lastSequence_ = sequence;
    if (!object_)
        return;
    object_->PlaySequence(sequence, &speed, repeatCount, static_cast<uint64_t>(AppTime::GameNow()), nullptr, 0,
                          false);
}

void WorldObject::PlaySequenceSince(int32_t sequence, float seconds)
{
    if (lastSeconds_ <= seconds)
        PlaySequence(sequence);
}

uint32_t WorldObject::FogVisibility() const
{
    if (renderFlags_ & ClientRender::kHiddenInFog)
        return Fog(position_, true);
    if (renderFlags_ & ClientRender::kFogMaterial)
        return Fog(position_, false);
    return 0;
}

Vec3 WorldObject::GetCentre() const { return {position_.x, position_.y - 0.5f * extent_.y, position_.z}; }

float WorldObject::GetHealthFraction() const
{
    const script::CharacterRecord* character = GetCharacter();
    if (hitPoints_ > 0 && character && character->strength > 0)
        return static_cast<float>(hitPoints_) / static_cast<float>(character->strength);
    return 1.0f;
}

const script::CharacterRecord* WorldObject::GetCharacter() const
{
    return role_ && role_->character ? &*role_->character : nullptr;
}

int32_t WorldObject::GetArmour() const { return role_ ? role_->armour : 0; }

void WorldObject::SetDefogger(bool on)
{
    marks_.defogging = on;
    FogOfWar* fog = FogOfWar::Global();
    const auto found = Defoggers().find(id_);
    if (on && fog && found == Defoggers().end()) {
        auto* defogger = new ReplicaDefogger(*this);
        Defoggers()[id_] = defogger;
        fog->AddDefogger(defogger);
    } else if (!on && fog && found != Defoggers().end()) {
        fog->RemoveDefogger(found->second);
    }
}

float WorldObject::GetViewRange() const
{
    const script::CharacterRecord* character = GetCharacter();
    return character ? character->sightRange : 53.0f;
}

bool WorldObject::HasNodeBoxes() const
{
    return role_ && role_->shape.hierarchy && role_->shape.hasBox;
}

void WorldObject::Activate(uint64_t time, float seconds)
{
    time_ = previousTime_ = time;
    seconds_ = lastSeconds_ = seconds;
    if (Level* level = Level::Current())
        polygon_ = level->FindPolygonAt(position_);
    // A model that moves stands in its first sequence until told otherwise.
    if (object_ && HasNodeBoxes() && !staticPlacement_) {
        const int32_t speed = 0x10000;
        object_->PlaySequence(0, &speed, -1, time, nullptr, 0, false);
    }
    // Fogged vertex by vertex: the shape carries the fog map's coordinates
    // of where the object stands.
    if (object_ && (renderFlags_ & ClientRender::kFogMaterial))
        MapFog(true);
    if (IsSelectable() && side_ == ClientServices::Get().OwnSide()) {
        auto& squad = WorldObjectTable::SquadList();
        if (std::find(squad.begin(), squad.end(), this) == squad.end())
            squad.push_back(this);
    }
}

void WorldObject::MapFog(bool addSets)
{
    const FogOfWar* fog = FogOfWar::Global();
    if (!fog || !object_ || !object_->Root())
        return;
    PlaceShape();
    const Matrix34& placement = object_->placement_.ScaledMatrix();
    if (addSets)
        fog->MapShape(*object_->Root(), placement);
    else
        fog->MapShapeNode(*object_->Root(), placement);
}

bool WorldObject::SetPlacement(const Vec3& position, const Quaternion& orientation, float seconds)
{
    const float words[] = {position.x, position.y, position.z, orientation.x, orientation.y, orientation.z,
                           orientation.w, seconds};
    for (float f : words) {
        if (!std::isfinite(f))
            return false;
    }
    CatchUpClock(seconds);
    seconds_ = placementSeconds_ = seconds;
    time_ = SecondsToTicks(seconds);
    position_ = position;
    orientation_ = orientation;
    return true;
}

void WorldObject::TakeDamage(int32_t amount)
{
    const script::CharacterRecord* character = GetCharacter();
    const int32_t maximum = character ? character->strength : 0;
    if (amount < 0) {
        // Widened: the most negative amount has no positive int32.
        const int64_t raised = static_cast<int64_t>(hitPoints_) - static_cast<int64_t>(amount);
        hitPoints_ = static_cast<int32_t>(std::min<int64_t>(raised, std::max(maximum, hitPoints_)));
        return;
    }
    const int32_t armour = GetArmour();
    if (amount > armour)
        hitPoints_ = static_cast<int32_t>(std::max<int64_t>(0, int64_t{hitPoints_} - (int64_t{amount} - armour)));
}

void WorldObject::Update(uint64_t time, float seconds)
{
    previousTime_ = time_;
    time_ = time;
    countdown_ -= seconds - lastSeconds_;
    lastSeconds_ = seconds;
    seconds_ = seconds;
    if (!ownLight_)
        return;
    if (dynamicLight_)
        ownLight_->SetPosition(GetCentre());
    if (FogOn() && !alwaysVisible_ && role_ && role_->light) {
        const script::LightRecord& light = *role_->light;
        const float f = 1.0f - static_cast<float>(FogVisibility()) * 0.003937008f;
        gfx::Light& d = ownLight_->Description();
        d.diffuse = {f * light.red, f * light.green, f * light.blue, d.diffuse.a};
        d.specular = {f * light.specularRed, f * light.specularGreen, f * light.specularBlue, d.specular.a};
        LightSet::LightsChanged();
    }
}

void WorldObject::OnDestroyed(uint32_t newId)
{
    const script::DestructionRecord* record = role_ && role_->destruction ? &*role_->destruction : nullptr;
    const int32_t kind = record ? record->type : 0;
    switch (kind) {
    case 1:
        if (g_effects.shotImpact)
            g_effects.shotImpact(position_);
        break;
    case 3:
        if (record && record->remove && object_) {
            object_->RemovePart(*record->remove);
            ShadowsChanged();
        }
        OnPartsChanged();
        destroyed_ = true;
        // The debris is the client's own: it never takes an id the server
        // may hand out later.
        if (record && record->role) {
            (void)newId;
            const uint32_t debrisId = WorldObjectTable::TakeClientOnlyId();
            WorldObject::CreateFromMessage(side_, const_cast<script::Role*>(record->role), position_, orientation_,
                                           debrisId);
            WorldObject* debris = WorldObjectTable::FindById(debrisId);
            if (debris && g_effects.breakUp)
                g_effects.breakUp(*debris, static_cast<float>(record->scale), record->symmetric);
        }
        if (g_effects.debrisExplosion)
            g_effects.debrisExplosion(position_);
        break;
    case 4:
        OnPartsChanged();
        destroyed_ = true;
        break;
    default:
        if (g_effects.bigExplosion)
            g_effects.bigExplosion(position_);
        break;
    }
}

void WorldObject::Remove()
{
    // A destroyed object still registered (its parts blown off) is removed
    // all the same; one already unlinked has nothing left to do.
    if (!registered_)
        return;
    destroyed_ = true;
    Deactivate();
    // References it holds (a target, riders, links) go now: a removed
    // object that holds itself or its holder would never be freed.
    ReleaseReferences();
    WorldObjectTable::Erase(*this);
    if (const auto& removed = WorldObjectTable::RemovedHook())
        removed(id_);
    Release();
}

void WorldObject::Deactivate()
{
    if (deactivated_)
        return;
    deactivated_ = true;
    // The fog holds a defogger until it is taken off: one left behind would
    // clear the fog where the object ended for good.
    if (marks_.defogging)
        SetDefogger(false);
    auto& squad = WorldObjectTable::SquadList();
    squad.erase(std::remove(squad.begin(), squad.end(), this), squad.end());
    if (WorldObjectTable::CurrentObject() == this)
        WorldObjectTable::MakeCurrent(nullptr);
    if (const auto& close = ClientServices::Get().closeUpgradeScreen)
        close(*this);
    StopLightsAndEmitters();
    renderFlags_ &= ~ClientRender::kHitTested;
}

bool WorldObject::ObjectHasPart(const char* name) const
{
    Vec3 ignored;
    return object_ && object_->FindPartPosition(ignored, name, time_);
}

void WorldObject::PlaceAndDraw()
{
    onScreen_ = visible_ = false;
    if (!object_) {
        PlaceLightsAndEmitters();
        return;
    }
    PlaceShape();
    const bool fogOn = FogOn();
    const bool cutScene = ServerFlags::CutScenePlaying();
    bool hidden = !(renderFlags_ & ClientRender::kFogMaterial) && !alwaysVisible_ && fogOn &&
                  (!(renderFlags_ & ClientRender::kHiddenInFog) || Fog(position_, false) > 253);
    // A rider shows in a cut-scene; any other walker shows there only when
    // the scene moves it.
    hidden = hidden || (IsCarried() && !cutScene) || (cutScene && IsMobile() && !shownInCutScenes_);
    visible_ = !hidden;
    ClientDraw draw{this, 9, ClientRender::kAdvanceOnly, true, false, false};
    if (!hidden) {
        draw.hidden = false;
        draw.flags = renderFlags_ | ClientRender::kDrawn;
        Camera* camera = Camera::Current();
        if (BoundingBox* box = object_->Box(); box && camera) {
            draw.flags |= DrawFlag::kNoBoxTests;  // tested here, once
            // A scene's own actors are not picked while it plays.
            if (!(cutScene && shownInCutScenes_))
                ClipTest(*box, draw);
        }
        int32_t key = WorldObjectTable::BaseSortKey();
        if (camera) {
            const float distance = (camera->Position() - position_).Length();
            if (distance * 1000.0f > DetailDistance())
                key += 2;
        }
        draw.sortKey = key;
        draw.translucent = IsTranslucent();
        draw.fogMaterial = !draw.translucent && fogOn && !alwaysVisible_ && (renderFlags_ & ClientRender::kFogMaterial);
    }
    WorldObjectTable::Queue(draw);
    PlaceLightsAndEmitters();
}

void WorldObject::PlaceShape()
{
    if (staticPlacement_ || !object_)
        return;
    if (thrown_) {
        position_ = object_->placement_.Position();
        return;
    }
    object_->placement_.SetPosition(position_);
    object_->placement_.SetOrientation(orientation_);
}

void WorldObject::ClipTest(BoundingBox& box, ClientDraw& draw)
{
    // The box is tested in the object's place; whatever is drawn next finds
    // the world transform as it was.
    gfx::Device* device = Display::Device();
    const gfx::Matrix before = device ? device->GetTransform(gfx::TransformType::World) : gfx::Matrix{};
    if (device)
        device->SetTransform(gfx::TransformType::World, ToDeviceMatrix(object_->placement_.ScaledMatrix()));
    // Without a device nothing can be tested: it counts as seen.
    const bool culled = box.ClipFlags() != 0;
    ScreenRectangle rect;
    const bool placed = !culled && side_ != 0 && box.ScreenRect(rect);
    if (device)
        device->SetTransform(gfx::TransformType::World, before);
    if (culled) {
        draw.flags = renderFlags_ | ClientRender::kCulled;
        visible_ = false;
        return;
    }
    onScreen_ = true;
    if (placed)
        screenRect_ = rect;
}

float WorldObject::DetailDistance() const
{
    // A model without a first switching distance never leaves its finest
    // level before the default.
    const auto* model = role_ ? static_cast<const Hierarchy*>(role_->shape.hierarchy.get()) : nullptr;
    return model && model->distances_[0] > 0 ? static_cast<float>(model->distances_[0]) : kDefaultDetailDistance;
}

// ---------------------------------------------------------------------------
// Lights, coronas, part emitters and shadows

ParticleEmitter* WorldObject::KeptEmitter::Live() const
{
    if (!emitter)
        return nullptr;
    for (ParticleEmitter* e = Particles::Group(group).emitters; e; e = e->Next()) {
        if (e == emitter)
            return emitter;
    }
    return nullptr;
}

void WorldObject::KeptEmitter::Stop()
{
    if (ParticleEmitter* e = Live())
        e->Stop();
    emitter = nullptr;
}

ParticleEmitter* WorldObject::Corona() const { return corona_.Live(); }

void WorldObject::KeepEmitter(ParticleEmitter* emitter)
{
    if (emitter)
        partEmitters_.push_back({emitter, emitter->Group(), {}});
}

std::vector<ParticleEmitter*> WorldObject::PartEmitters() const
{
    std::vector<ParticleEmitter*> out;
    for (const KeptEmitter& kept : partEmitters_) {
        if (ParticleEmitter* e = kept.Live())
            out.push_back(e);
    }
    return out;
}

VeShape* WorldObject::ShadowShape() const
{
    const script::CharacterRecord* character = role_ && role_->character ? &*role_->character : nullptr;
    return character ? static_cast<VeShape*>(character->shadowShape.shape.get()) : nullptr;
}

float WorldObject::GetGroundHeight() const
{
    Level* level = Level::Current();
    Vec3 snapped = position_;
    if (level) {
        LockGuard guard(level->lock_, false);
        if (level->SnapToPolygon(snapped))
            return snapped.y;
    }
    return position_.y + 1000.0f;
}

bool WorldObject::PartWorldPosition(const std::string& part, Vec3& out, bool scaled) const
{
    Vec3 local;
    if (!object_ || !object_->FindPartPosition(local, part, time_))
        return false;
    const script::CharacterRecord* character = role_ && role_->character ? &*role_->character : nullptr;
    if (scaled && character && character->size > 0.0f)
        local = local * character->size;
    out = position_ + orientation_.Rotate(local);
    return true;
}

bool WorldObject::MuzzlePoint(Vec3& out) const
{
    const char* part = GetMuzzlePart();
    return part && *part && PartWorldPosition(part, out, true);
}

void WorldObject::KeepLightEmitter(ParticleEmitter* emitter)
{
    lightEmitter_.Stop();
    if (emitter)
        lightEmitter_ = {emitter, emitter->Group(), {}};
}

void WorldObject::StopLightEmitter() { lightEmitter_.Stop(); }

bool WorldObject::DetachPart(uint32_t index)
{
    if (!role_ || index >= role_->severPoints.size() || !object_)
        return false;
    const std::string& name = role_->severPoints[index];
    Vec3 stump;
    if (name.empty() || !PartWorldPosition(name, stump, false))
        return false;
    auto* model = static_cast<Hierarchy*>(role_->shape.hierarchy.get());
    Hierarchy* node = model ? model->FindNode(name) : nullptr;
    if (node) {
        // The piece is the client's own: the server never names it, and its
        // id must not meet one the server hands out.
        const uint32_t flags = ClientCreate::kNoGeometry | (alwaysVisible_ ? ClientCreate::kAlwaysVisible : 0u);
        auto* piece = new WorldObject(side_, nullptr, stump, orientation_, flags, WorldObjectTable::TakeClientOnlyId());
        piece->object_ = VeObject::FromHierarchy(node, false);
        piece->staticPlacement_ = true;  // the throw moves its shape
        if (piece->object_) {
            piece->object_->placement_.SetPosition(stump);
            piece->object_->placement_.SetOrientation(orientation_);
            piece->object_->ReleaseBounds();
        }
        piece->Activate(time_, seconds_);
        Vec3 away = stump - position_;
        away = away.LengthSquared() > 0.0f ? away.Normalised() : Vec3{0, -1, 0};
        if (g_effects.throwPiece)
            g_effects.throwPiece(*piece, away);
    }
    object_->RemovePart(name);
    ParticleEmitterDesc sparks;
    sparks.group = kSparkGroup;
    sparks.durationOrCount = kSparkCount;
    sparks.rate = kSparkRate;
    sparks.colour1.Set(0.2f, 0.7f, 0.9f, 0.6f);
    if (ParticleEmitter* e = Particles::CreateEmitter(sparks, stump))
        partEmitters_.push_back({e, sparks.group, name});
    ShadowsChanged();
    return true;
}

void WorldObject::StartLightsAndEmitters()
{
    const uint8_t roleFlags = role_ ? role_->flags : 0;
    if (role_ && role_->emitter) {
        const ParticleEmitterDesc desc = EmitterFromRole(*role_->emitter);
        ParticleEmitter* made = Particles::CreateEmitterIfVisible(desc, position_, Camera::Current());
        // A timed or counted emitter runs out by itself: it is not kept.
        if (made && role_->emitter->lifeMode == 0)
            corona_ = {made, desc.group, {}};
    }
    if (ShadowShape() && g_effects.addCaster)
        g_effects.addCaster(*this);
    if (role_ && role_->light) {
        const script::LightRecord& light = *role_->light;
        Colour diffuse, specular;
        diffuse.Set(light.red, light.green, light.blue, 0.0f);
        specular.Set(light.specularRed, light.specularGreen, light.specularBlue, 0.0f);
        if (LightSet* set = LightSet::Global(0)) {
            lightSet_ = set;
            lightSet_->AddRef();
            ownLight_ = lightSet_->AddPointLight(diffuse, specular, position_, light.range);
        }
    }
    if (!object_ || (roleFlags & script::kRoleFragControl))
        return;
    if (!corona_.emitter && ObjectHasPart("lightdum")) {
        Colour red;
        red.Set(1.0f, 0.0f, 0.0f, kPartCoronaAlpha);
        AddCorona("lightdum", red);
        coronaFollowsPart_ = corona_.emitter != nullptr;
        if (coronaFollowsPart_)
            corona_.emitter->SetOwnerMark(true);  // cleared once it is first seen
    }
    for (const std::string& part : g_exhaustParts) {
        Vec3 at;
        if (!PartWorldPosition(part, at, true))
            continue;
        ParticleEmitterDesc smoke;
        smoke.group = kSmokeGroup;
        smoke.kind = kSmokeKind;
        smoke.rate = kSmokeRate;
        smoke.spin = kSmokeSpin;
        smoke.colour1.Set(0.11f, 0.1f, 0.12f, 0.0f);
        if (ParticleEmitter* e = Particles::CreateEmitter(smoke, at))
            partEmitters_.push_back({e, smoke.group, part});
    }
}

void WorldObject::StopLightsAndEmitters()
{
    RemoveLight();
    for (KeptEmitter& kept : partEmitters_)
        kept.Stop();
    partEmitters_.clear();
    corona_.Stop();
    lightEmitter_.Stop();
}

void WorldObject::AddCorona(const char* part, const Colour& colour)
{
    if (!object_ || corona_.emitter || !part || !g_effects.createCorona)
        return;
    Vec3 at;
    if (!PartWorldPosition(part, at, false))
        return;
    if (ParticleEmitter* e = g_effects.createCorona(at, colour))
        corona_ = {e, e->Group(), part};
}

void WorldObject::SetLight(const Colour& colour, const Colour& specular, float range)
{
    RemoveLight();
    LightSet* set = LightSet::Global(0);
    if (!set)
        return;
    lightSet_ = set;
    lightSet_->AddRef();
    if (range < 0.0f)
        range = role_ && role_->light ? role_->light->range : 0.0f;
    ownLight_ = lightSet_->AddPointLight(colour, specular, position_, range);
}

void WorldObject::RemoveLight()
{
    if (lightSet_) {
        if (ownLight_)
            lightSet_->RemoveLight(ownLight_);
        lightSet_->Release();
    }
    lightSet_ = nullptr;
    ownLight_ = nullptr;
}

void WorldObject::PlaceLightsAndEmitters()
{
    // The fog over the object dims its corona and smoke as it dims its light.
    const float fogFactor = FogOn() ? static_cast<float>(FogVisibility()) / 254.0f : 0.0f;
    if (ParticleEmitter* corona = corona_.Live()) {
        corona->SetFogFactor(fogFactor);
        corona->SetPosition(position_);
        if (coronaFollowsPart_) {
            corona->SetHidden(!visible_);
            Vec3 at;
            if (visible_) {
                corona->SetOwnerMark(false);
                if (PartWorldPosition(corona_.part, at, false))
                    corona->SetPosition(at);
            }
        }
    }
    if (ParticleEmitter* glow = lightEmitter_.Live()) {
        glow->SetFogFactor(fogFactor);
        glow->SetPosition(position_);
    }
    // Smoke keeps rising where nobody sees the object, unseen; it follows
    // the object only in sight.
    for (const KeptEmitter& kept : partEmitters_) {
        Vec3 at;
        ParticleEmitter* e = kept.Live();
        if (!e)
            continue;
        e->SetFogFactor(visible_ ? fogFactor : 1.0f);
        if (!visible_)
            continue;
        if (kept.part.empty())
            e->SetPosition(position_);
        else if (PartWorldPosition(kept.part, at, true))
            e->SetPosition(at);
    }
}

void WorldObject::ShadowsChanged()
{
    if (!ShadowShape())
        return;
    if (g_effects.removeCaster)
        g_effects.removeCaster(*this);
    if (g_effects.addCaster)
        g_effects.addCaster(*this);
}

// ---------------------------------------------------------------------------
// WorldObjectTable

void WorldObjectTable::Insert(WorldObject& object)
{
    Node*& head = g_buckets[object.GetId() & kMask];
    head = new Node{&object, head};
    object.registered_ = true;
    ++g_count;
}

void WorldObjectTable::Erase(WorldObject& object)
{
    // By pointer: ids 64 apart share a bucket, and a stale twin may share the id.
    for (Node** link = &g_buckets[object.GetId() & kMask]; *link; link = &(*link)->next) {
        if ((*link)->object == &object) {
            Node* gone = *link;
            *link = gone->next;
            delete gone;
            object.registered_ = false;
            --g_count;
            return;
        }
    }
}

WorldObject* WorldObjectTable::FindById(uint32_t id)
{
    for (const Node* node = g_buckets[id & kMask]; node; node = node->next) {
        if (node->object->GetId() == id)
            return node->object;
    }
    return nullptr;
}

uint32_t WorldObjectTable::Count() { return g_count; }

std::vector<WorldObject*> WorldObjectTable::Snapshot()
{
    std::vector<WorldObject*> out;
    out.reserve(g_count);
    for (const Node* head : g_buckets) {
        for (const Node* node = head; node; node = node->next)
            out.push_back(node->object);
    }
    return out;
}

void WorldObjectTable::UpdateAll(uint64_t time, float seconds)
{
    // A copy with a reference each: an update may remove objects.
    std::vector<WorldObjectRef> objects;
    objects.reserve(g_count);
    for (WorldObject* object : Snapshot())
        objects.emplace_back(object);
    for (const WorldObjectRef& object : objects) {
        if (object->IsRegistered())
            object->Update(time, seconds);
    }
}

void WorldObjectTable::DrawAll()
{
    for (const Node* head : g_buckets) {
        for (const Node* node = head; node; node = node->next)
            node->object->PlaceAndDraw();
    }
    if (TeamTable::GameType() != kCaptureTheFlag)
        return;
    const uint64_t now = static_cast<uint64_t>(AppTime::GameNow());
    for (uint32_t side = 0; side < TeamTable::Count(); ++side) {
        const TeamRecord* record = TeamTable::Find(static_cast<int32_t>(side));
        if (record && record->flag && record->flag->present && !record->flag->carried)
            record->flag->Draw(now);
    }
}

void WorldObjectTable::ActivateAll()
{
    for (WorldObject* object : Snapshot())
        object->Activate(0, 0);
}

void WorldObjectTable::DestroyAll()
{
    MakeCurrent(nullptr);
    const std::vector<WorldObject*> objects = Snapshot();
    for (WorldObject* object : objects)
        object->ReleaseReferences();
    for (WorldObject* object : objects) {
        Erase(*object);
        object->Release();
    }
    g_squad.clear();
    // The marker's model goes with the level's shapes; the next one loads it again.
    if (g_moveMarker)
        g_moveMarker->Release();
    g_moveMarker = nullptr;
    g_moveMarkerTried = false;
}

void WorldObjectTable::ResetIds()
{
    g_nextId = 0;
    g_nextClientOnlyId = kFirstClientOnlyId;
}

uint32_t WorldObjectTable::TakeNextId() { return g_nextId++; }

void WorldObjectTable::SetNextId(uint32_t id) { g_nextId = id; }

uint32_t WorldObjectTable::TakeClientOnlyId()
{
    // Wraps within the client-only range.
    const uint32_t id = g_nextClientOnlyId;
    g_nextClientOnlyId = g_nextClientOnlyId == 0xFFFFFFFEu ? kFirstClientOnlyId : g_nextClientOnlyId + 1;
    return id;
}

std::function<void(const ClientDraw&)>& WorldObjectTable::DrawHook() { return g_drawHook; }
std::function<void(uint32_t)>& WorldObjectTable::RemovedHook() { return g_removedHook; }

void WorldObjectTable::Queue(const ClientDraw& draw)
{
    if (g_drawHook)
        g_drawHook(draw);
    else
        QueueWithEngine(draw);
}
int32_t& WorldObjectTable::BaseSortKey() { return g_baseSortKey; }

WorldObject* WorldObjectTable::CurrentObject() { return g_current; }

void WorldObjectTable::MakeCurrent(WorldObject* object)
{
    if (object)
        object->AddRef();
    if (g_current)
        g_current->Release();
    g_current = object;
}

std::vector<WorldObject*>& WorldObjectTable::SquadList() { return g_squad; }

ReadWriteLock& WorldObjectTable::ObjectLock() { return g_objectLock; }

uint32_t WorldObjectTable::NextRandom()
{
    LockGuard guard(g_objectLock, true);
    return g_random.Next() >> 1;
}

void WorldObjectTable::ResetRandom()
{
    LockGuard guard(g_objectLock, true);
    g_random = ParticleRandom(kClientStartWords, ParticleRandom::kSeparation, 0);
    g_variationCountdown = 0;
}

int32_t& WorldObjectTable::VariationCountdown() { return g_variationCountdown; }

std::vector<std::string>& WorldObjectTable::ExhaustParts() { return g_exhaustParts; }

void WorldObjectTable::SetMoveMarkerModel(Hierarchy* model)
{
    if (model)
        model->AddRef();
    if (g_moveMarker)
        g_moveMarker->Release();
    g_moveMarker = model;
    g_moveMarkerTried = model != nullptr;
}

bool WorldObjectTable::LoadMoveMarkerModel(const std::filesystem::path& folder)
{
    SetMoveMarkerModel(nullptr);
    g_moveMarkerTried = true;
    if (auto record = trevok::LoadEnvironmentFile(folder, "user interface\\movement_indicator2.rif")) {
        HierarchyPtr loaded = trevok::LoadHierarchyFromChunks("waypoint", *record);
        g_moveMarker = loaded.release();
    }
    return g_moveMarker != nullptr;
}

Hierarchy* WorldObjectTable::MoveMarkerModel()
{
    if (g_moveMarker || g_moveMarkerTried)
        return g_moveMarker;
    if (const auto graphics = app::DataDirectories::Global().Folder(app::kGraphicsDirectory))
        LoadMoveMarkerModel(*graphics);
    g_moveMarkerTried = true;
    return g_moveMarker;
}
