#include "objects/server_kinds.h"

#include "app/read_write_lock.h"
#include "objects/ai.h"
#include "objects/footprint.h"
#include "objects/inventory.h"
#include "objects/object_registry.h"
#include "objects/orders.h"
#include "objects/role_table.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "objects/think_routines.h"
#include "script/records.h"
#include "Veapi/ve_object.h"
#include "world/collision_polygon.h"
#include "world/level.h"

#include <algorithm>
#include <cmath>
#include <strings.h>

namespace {

bool g_restoring = false;

constexpr int32_t kNoBugKind = 2;
constexpr uint32_t kBugDraws = 5;
constexpr float kSegmentGap = 0.8f;     // squared
constexpr float kExitReach = 3.0f;      // squared
constexpr float kSideChangeReach = 5.0f;  // squared
constexpr float kSideChangeSeconds = 5.0f;

Quaternion FacingTowards(const Vec3& direction)
{
    const float horizontal = std::sqrt(direction.x * direction.x + direction.z * direction.z);
    const float yaw = std::atan2(direction.x, direction.z);
    const float pitch = -std::atan2(direction.y, horizontal);
    return Quaternion::FromAxisAngle({0, 1, 0}, yaw) * Quaternion::FromAxisAngle({1, 0, 0}, pitch);
}

} // namespace

void ServerKinds::SetRestoring(bool restoring) { g_restoring = restoring; }
bool ServerKinds::Restoring() { return g_restoring; }

bool ServerKinds::IsPlainFileName(const std::string& name)
{
    return !name.empty() && name != "." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos && name.find("..") == std::string::npos &&
           name.find(':') == std::string::npos;
}

// ---- Kind 5 ------------------------------------------------------------------

Kind5Object::Kind5Object(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                         uint32_t id)
    : GameObject(side, role, position, orientation, kCreateNoGeometry, id)
{
}

Kind5Object::~Kind5Object() { Unmark(); }

int32_t Kind5Object::Activate(uint64_t now, float seconds)
{
    if (Level* level = Level::Current(); level && marked_.empty())
        marked_ = Footprint::Mark(*level, Position(), Orientation(), Shape(), extent_);
    return GameObject::Activate(now, seconds);
}

void Kind5Object::Unmark() { Footprint::Unmark(Level::Current(), marked_); }

void Kind5Object::Detach()
{
    Unmark();
    GameObject::Detach();
}

// ---- Kind 10 -----------------------------------------------------------------

Kind10Object::Kind10Object(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                           uint32_t id)
    : GameObject(side, role, position, orientation, 0, id)
{
    destroyAfterCollection_ = role && (role->flags & script::kRoleDestroyAfterCollection);
    Kind10Object::ApplyRoleValue(role ? role->GetRating() : 0);
}

int32_t Kind10Object::GetArmour() const
{
    return destroyAfterCollection_ && GetRole() ? GetRole()->armour : 100;
}

void Kind10Object::ApplyRoleValue(int32_t kind)
{
    itemKind_ = kind;
    if (kind == kNoBugKind || ServerKinds::Restoring())
        return;
    script::Role* bug = RoleTable::Global().FindByName("bug");
    if (!bug)
        return;
    const uint32_t count = ServerRandom::Next() % kBugDraws;
    for (uint32_t i = 0; i < count; ++i)
        ServerLink::Get().Spawn(Side(), bug, Position(), Orientation());
}

void Kind10Object::Associate(const char* name, bool runOnce)
{
    if (name)
        commandFile_ = name;
    else
        commandFile_.reset();
    runOnce_ = runOnce;
    OutMessage(KindMessage::kSwitchLinked).U32(GetId()).Send(true);
}

void Kind10Object::SetRequiredRole(const char* name)
{
    if (name)
        requiredRole_ = name;
    else
        requiredRole_.reset();
}

void Kind10Object::MarkCollected()
{
    collected_ = true;
    if (destroyAfterCollection_)
        Remove(true);
    else
        OutMessage(KindMessage::kCollected).U32(GetId()).Send(true);
}

bool Kind10Object::UsableBy(Actor& actor) const
{
    if (collected_)
        return false;
    if (requiredRole_) {
        const script::Role* needed = RoleTable::Global().FindByName(*requiredRole_);
        Inventory* inventory = actor.GetInventory();
        if (!needed || !inventory)
            return false;
        const auto& items = inventory->Items();
        if (std::none_of(items.begin(), items.end(), [&](const CarriedItem& item) { return item.roleId == needed->id; }))
            return false;
    }
    return true;
}

bool Kind10Object::BeginPickUp(Actor& actor)
{
    if (commandFile_ || actor.pickUpPending_ || !actor.GetInventory() || !UsableBy(actor))
        return false;
    return actor.StartPickUp(PickUpSequence(), lastUpdate_ + 1.0f);
}

bool Kind10Object::Use(Actor& actor)
{
    if (!UsableBy(actor))
        return false;
    if (commandFile_) {
        // A switch runs only a file of the scripts folder, never a path.
        if (!ServerKinds::IsPlainFileName(*commandFile_))
            return false;
        actor.followedId_ = -1;
        if (ServerLink::Get().broadcastCommandFile)
            ServerLink::Get().broadcastCommandFile(*commandFile_);
        if (runOnce_) {
            commandFile_.reset();
            collected_ = true;
            OutMessage(KindMessage::kSwitchSpent).U32(GetId()).Send(true);
        }
        return true;
    }
    if (BeginPickUp(actor))
        return true;
    // Taken at once, and always announced (81); the taker is free again.
    if (!actor.GiveItem(*this, true))
        return false;
    actor.SetBusy(false);
    return true;
}

// ---- Kinds 12 and 13 ---------------------------------------------------------

Kind13Actor::Kind13Actor(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                         uint32_t id)
    : UnitActor(side, role, position, orientation, id)
{
}

void Kind13Actor::DestroyFollowing()
{
    // Every segment behind this one, held while the chain is taken apart.
    std::vector<GameObjectRef> chain;
    for (Kind13Actor* next = NextSegment(); next; next = next->NextSegment())
        chain.emplace_back(next);
    for (GameObjectRef& segment : chain)
        segment->Destroy();
}

void Kind13Actor::Die()
{
    DestroyFollowing();
    Actor::Die();
}

void Kind13Actor::ReleaseLinks()
{
    next_.Reset();
    UnitActor::ReleaseLinks();
}

Kind12Actor::Kind12Actor(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                         uint32_t id)
    : Kind13Actor(side, role, position, orientation, id)
{
}

int32_t Kind12Actor::Activate(uint64_t now, float seconds)
{
    script::Role* body = RoleTable::Global().FindByName("centibody");
    if (body && !next_) {
        const Vec3 back = Quaternion::ZAxis(Orientation()) * -1.0f;
        Kind13Actor* previous = this;
        for (int32_t i = 1; i <= kSegments; ++i) {
            const uint32_t id =
                ServerLink::Get().Spawn(Side(), body, Position() + back * static_cast<float>(i), Quaternion::Identity());
            GameObject* made = id ? ObjectRegistry::Global().Find(id) : nullptr;
            if (!made || !made->IsKind(Kind13Actor::kAiType))
                break;
            previous->SetNextSegment(static_cast<Kind13Actor*>(made));
            OutMessage(KindMessage::kSegment).U32(previous->GetId()).U32(id).Send(true);
            previous = static_cast<Kind13Actor*>(made);
        }
    }
    return UnitActor::Activate(now, seconds);
}

void Kind12Actor::Update(uint64_t now, float seconds)
{
    GameObjectRef hold(this);
    Vec3 before = Position();
    UnitActor::Update(now, seconds);
    if (IsRemoved())
        return;
    const float step = (Position() - before).Length();
    if (!next_) {
        Destroy();
        if (!IsRemoved())
            Remove(true);
        return;
    }
    Kind13Actor* previous = this;
    while (Kind13Actor* segment = previous->NextSegment()) {
        if (!segment->IsAlive()) {
            previous->SetNextSegment(nullptr);  // the chain ends here
            break;
        }
        const Vec3 own = segment->Position();
        const Vec3 to = before - own;
        if (to.LengthSquared() > kSegmentGap) {
            const Vec3 direction = to.Normalised();
            segment->SetPosition(own + direction * step);
            segment->SetOrientation(FacingTowards(direction));
        }
        segment->UpdateSegment(now, seconds);
        before = own;
        previous = segment;
    }
}

// ---- Kind 14 -----------------------------------------------------------------

Kind14Actor::Kind14Actor(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                         uint32_t id)
    : Actor(side, role, position, orientation, id)
{
    if (role && role->character) {
        alertable_ = role->character->alertable;
        latchTrigger_ = role->character->latchTrigger;
        generationLimit_ = role->character->generationLimit;
    }
}

int32_t Kind14Actor::Activate(uint64_t now, float seconds)
{
    activation_ = lastSpawn_ = now;
    return Actor::Activate(now, seconds);
}

const std::vector<std::string>& Kind14Actor::SpawnNames()
{
    if (!namesBuilt_) {
        // Its role's "produces" list: the key it shares with "sever point".
        if (GetRole())
            names_ = GetRole()->severPoints;
        namesBuilt_ = true;
    }
    return names_;
}

// ---- Kind 16 -----------------------------------------------------------------

Kind16Actor::Kind16Actor(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                         uint32_t id)
    : UnitActor(side, role, position, orientation, id)
{
}

int32_t Kind16Actor::Activate(uint64_t now, float seconds)
{
    const int32_t result = UnitActor::Activate(now, seconds);
    aimOffset_ = centreOffset_;
    // The first two parts below the model's root, depth first: a risen
    // guard's head and gun, where shots at it aim.
    ShapeInstance* root = Shape() ? Shape()->Root() : nullptr;
    std::vector<ShapeInstance*> parts, open;
    const auto pushChildren = [&open](ShapeInstance& node) {
        const size_t at = open.size();
        for (ShapeInstance* child : node.children_)
            open.push_back(child);
        std::reverse(open.begin() + static_cast<std::ptrdiff_t>(at), open.end());
    };
    if (root)
        pushChildren(*root);
    while (!open.empty() && parts.size() < 2) {
        ShapeInstance* node = open.back();
        open.pop_back();
        parts.push_back(node);
        pushChildren(*node);
    }
    Matrix34 first, second;
    if (parts.size() == 2 && root->GetNodeMatrix(first, parts[0], now) && root->GetNodeMatrix(second, parts[1], now))
        aimOffset_ = Orientation().Rotate((first.Translation() + second.Translation()) * 0.5f);
    return result;
}

bool Kind16Actor::SeesEnemy() const
{
    // The character's own range and cone: what the guard carries does not
    // widen its sight while it lies dormant.
    const script::CharacterRecord* character = GetCharacter();
    if (!character)
        return false;
    const float range = character->sightRange;
    const float cone = std::cos(static_cast<float>(character->sightAngle) * 6.28318530718f / 4096.0f);
    const Vec3 facing = Quaternion::ZAxis(Orientation());
    for (int32_t side = 0; side < SideLists::kSides; ++side) {
        if (side == Side())
            continue;
        for (GameObject* other : SideLists::Global().Side(side)) {
            if (!other->IsAlive() || other->IsHidden())
                continue;
            const Vec3 to = other->Position() - Position();
            if (to.LengthSquared() < range * range && Ai::GroundCosine(facing, to) > cone)
                return true;
        }
    }
    return false;
}

void Kind16Actor::Update(uint64_t now, float seconds)
{
    if (!IsAlive()) {
        GameObject::Update(now, seconds);
        return;
    }
    // The rise has played (or there is no shape to play it): it fights.
    if (rising_ && !woken_ && (riseDone_ || !Shape()))
        woken_ = true;
    if (woken_) {
        think_ = &Ai::ThinkCombat;
        UnitActor::Update(now, seconds);
        return;
    }
    if (!rising_ && SeesEnemy()) {
        PlaySequence(kRiseSequence, nullptr, 1, now, &riseDone_, 0, false);
        rising_ = true;
        centreOffset_ = aimOffset_;
        OutMessage(KindMessage::kGuardRises).U32(GetId()).Send(true);
    }
    GameObject::Update(now, seconds);
}

// ---- Kind 17 -----------------------------------------------------------------

Kind17Actor::Kind17Actor(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                         uint32_t id)
    : Actor(side, role, position, orientation, id), goal_(position)
{
}

void Kind17Actor::SetSide(int32_t side)
{
    if (TeamTable::IsSquadSide(side)) {
        const uint32_t exit = ServerRandom::Next() & 3;
        std::string name = "exita";
        name.back() = static_cast<char>('a' + exit);
        if (Level* level = Level::Current()) {
            for (const LevelDummy& dummy : level->dummies_) {
                if (strcasecmp(dummy.name.c_str(), name.c_str()) == 0) {
                    goal_ = dummy.position;
                    hasGoal_ = true;
                    OutMessage(KindMessage::kEscortExit).U32(exit).Send(true);
                    break;
                }
            }
        }
    }
    const bool newGoal = hasGoal_ && TeamTable::IsSquadSide(side);
    Actor::SetSide(side);
    // It heads for its exit: nothing else would take it there.
    if (newGoal)
        SetDestination(goal_, lastUpdate_);
}

void Kind17Actor::Update(uint64_t now, float seconds)
{
    if (scored_)
        return;
    if (hasGoal_ && (goal_ - Position()).LengthSquared() < kExitReach) {
        // It scores once and leaves play: out of the registry, not only
        // out of its own reference.
        scored_ = true;
        if (TeamRecord* record = TeamTable::Find(Side()))
            record->score += kScore;
        Remove(true);
        return;
    }
    GameObject* nearest = nullptr;
    float best = 0;
    for (int32_t side = 0; side < SideLists::kSides; ++side) {
        if (side == Side() || !TeamTable::IsSquadSide(side))
            continue;
        for (GameObject* other : SideLists::Global().Side(side)) {
            const float d2 = (other->Position() - Position()).LengthSquared();
            if (!nearest || d2 < best) {
                nearest = other;
                best = d2;
            }
        }
    }
    if (nearest && nearest->Side() != Side() && best < kSideChangeReach &&
        seconds - lastSideChange_ > kSideChangeSeconds) {
        lastSideChange_ = seconds;
        const int32_t side = nearest->Side();
        OutMessage(KindMessage::kEscortSide).U32(GetId()).I32(side).Send(true);
        const bool listed = active_;
        if (listed)
            SideLists::Global().Remove(*this);
        SetSide(side);
        if (listed)
            SideLists::Global().Add(*this);
    }
    Actor::Update(now, seconds);
}
