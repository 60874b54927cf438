#include "objects/world_object.h"

#include "Veapi/camera.h"
#include "Veapi/light_set.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/app_time.h"
#include "objects/teams.h"
#include "script/records.h"
#include "world/fog_of_war.h"
#include "world/level.h"

#include <algorithm>
#include <cmath>

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

// The client table's 31 starting words: fixed, so runs repeat.
constexpr uint32_t kClientStartWords[ParticleRandom::kDegree] = {
    0x9E3779B9u, 0x7F4A7C15u, 0xF39CC060u, 0x5CEDC834u, 0x1B873593u, 0xCC9E2D51u, 0x85EBCA6Bu, 0xC2B2AE35u,
    0x27D4EB2Fu, 0x165667B1u, 0xD3A2646Cu, 0xFD7046C5u, 0xB55A4F09u, 0x68E31DA4u, 0x9C30D539u, 0x3C6EF372u,
    0xA54FF53Au, 0x510E527Fu, 0x9B05688Cu, 0x1F83D9ABu, 0x5BE0CD19u, 0x6A09E667u, 0xBB67AE85u, 0x243F6A88u,
    0x85A308D3u, 0x13198A2Eu, 0x03707344u, 0xA4093822u, 0x299F31D0u, 0x082EFA98u, 0xEC4E6C89u};
ParticleRandom g_random(kClientStartWords, ParticleRandom::kSeparation, 0);
ReadWriteLock g_randomLock;

// Beyond this many seconds a placement does not pull the game clock ahead
// in one step (a bad or hostile report could otherwise skip the game).
constexpr float kMaxClockJump = 1.0f;

// The distance beyond which the far sort key is used, without a hierarchy.
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
    VeObject* object = draw.object->Shape();
    Camera* camera = Camera::Current();
    if (!object || !camera)
        return;
    object->QueueDraw(static_cast<uint64_t>(AppTime::GameNow()), camera, LightSet::Global(0), nullptr, draw.sortKey,
                      draw.flags, nullptr, nullptr, nullptr);
}

} // namespace

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
    if (role_ && role_->shape)
        object_ = VeObject::FromShape(static_cast<VeShape*>(role_->shape.shape.get()), !staticPlacement_);
    if (object_) {
        object_->placement_.SetPosition(position_);
        object_->placement_.SetOrientation(orientation_);
        if (!staticPlacement_ && object_->HasBounds()) {
            const Vec3 size = orientation_.Rotate(object_->maximum_ - object_->minimum_);
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

void WorldObject::PlaySequence(int32_t sequence)
{
    lastSequence_ = sequence;
    if (!object_)
        return;
    const int32_t speed = 0x10000;
    object_->PlaySequence(sequence, &speed, 1, static_cast<uint64_t>(AppTime::GameNow()), nullptr, 0, false);
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

float WorldObject::GetViewRange() const
{
    const script::CharacterRecord* character = GetCharacter();
    return character ? character->sightRange : 53.0f;
}

void WorldObject::Activate(uint64_t time, float seconds)
{
    time_ = previousTime_ = time;
    seconds_ = lastSeconds_ = seconds;
    if (Level* level = Level::Current())
        polygon_ = level->FindPolygonAt(position_);
    if (IsSelectable() && side_ == ClientServices::Get().OwnSide()) {
        auto& squad = WorldObjectTable::SquadList();
        if (std::find(squad.begin(), squad.end(), this) == squad.end())
            squad.push_back(this);
    }
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
}

void WorldObject::OnDestroyed(uint32_t newId)
{
    const script::DestructionRecord* record = role_ && role_->destruction ? &*role_->destruction : nullptr;
    const int32_t kind = record ? record->type : 0;
    switch (kind) {
    case 1:
        break;  // shot-impact particles only
    case 3:
        if (record && record->remove && object_)
            object_->RemovePart(*record->remove);
        OnPartsChanged();
        destroyed_ = true;
        // The debris is the client's own: it never takes an id the server
        // may hand out later.
        if (record && record->role) {
            (void)newId;
            WorldObject::CreateFromMessage(side_, const_cast<script::Role*>(record->role), position_, orientation_,
                                           WorldObjectTable::TakeClientOnlyId());
        }
        break;
    case 4:
        OnPartsChanged();
        destroyed_ = true;
        break;
    default:
        break;  // a big explosion
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
    auto& squad = WorldObjectTable::SquadList();
    squad.erase(std::remove(squad.begin(), squad.end(), this), squad.end());
    if (WorldObjectTable::CurrentObject() == this)
        WorldObjectTable::MakeCurrent(nullptr);
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
    if (!object_)
        return;
    const bool fogOn = FogOn();
    bool hidden = !(renderFlags_ & ClientRender::kFogMaterial) && !alwaysVisible_ && fogOn &&
                  (!(renderFlags_ & ClientRender::kHiddenInFog) || Fog(position_, false) > 253);
    hidden = hidden || IsCarried();
    visible_ = !hidden;
    if (!staticPlacement_) {
        object_->placement_.SetPosition(position_);
        object_->placement_.SetOrientation(orientation_);
    }
    ClientDraw draw{this, 9, ClientRender::kAdvanceOnly, true, false, false};
    if (!hidden) {
        draw.hidden = false;
        draw.flags = renderFlags_ | ClientRender::kDrawn;
        onScreen_ = true;
        int32_t key = WorldObjectTable::BaseSortKey();
        if (Camera* camera = Camera::Current()) {
            const float distance = (camera->Position() - position_).Length();
            if (distance * 1000.0f > kDefaultDetailDistance)
                key += 2;
        }
        draw.sortKey = key;
        draw.translucent = IsTranslucent();
        draw.fogMaterial = !draw.translucent && fogOn && !alwaysVisible_ && (renderFlags_ & ClientRender::kFogMaterial);
    }
    auto& hook = WorldObjectTable::DrawHook();
    if (hook)
        hook(draw);
    else
        QueueWithEngine(draw);
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
}

void WorldObjectTable::ResetIds()
{
    g_nextId = 0;
    g_nextClientOnlyId = kFirstClientOnlyId;
}

uint32_t WorldObjectTable::TakeNextId() { return g_nextId++; }

uint32_t WorldObjectTable::TakeClientOnlyId()
{
    // Wraps within the client-only range.
    const uint32_t id = g_nextClientOnlyId;
    g_nextClientOnlyId = g_nextClientOnlyId == 0xFFFFFFFEu ? kFirstClientOnlyId : g_nextClientOnlyId + 1;
    return id;
}

std::function<void(const ClientDraw&)>& WorldObjectTable::DrawHook() { return g_drawHook; }
std::function<void(uint32_t)>& WorldObjectTable::RemovedHook() { return g_removedHook; }
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

uint32_t WorldObjectTable::NextRandom()
{
    LockGuard guard(g_randomLock, true);
    return g_random.Next() >> 1;
}

void WorldObjectTable::ResetRandom()
{
    LockGuard guard(g_randomLock, true);
    g_random = ParticleRandom(kClientStartWords, ParticleRandom::kSeparation, 0);
    g_variationCountdown = 0;
}

int32_t& WorldObjectTable::VariationCountdown() { return g_variationCountdown; }
