#include "session/request_table.h"

#include "objects/game_object.h"
#include "objects/object_registry.h"
#include "objects/order_receiver.h"
#include "objects/path_mover.h"
#include "objects/role_table.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "script/records.h"
#include "session/projectile_launch.h"
#include "session/server_thread.h"
#include "world/collision_polygon.h"
#include "world/level.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <strings.h>
#include <vector>

namespace RequestTable {
namespace {

struct Row {
    Acting acting = Acting::kNone;
    Handler handler = nullptr;
};

std::array<Row, kLastType + 1> g_rows{};

OrderReceiver* Receiver(GameObject* object) { return dynamic_cast<OrderReceiver*>(object); }

// The "none" word of a navigation node in messages.
constexpr uint32_t kNoNode = 0xFFFFFF;

uint32_t NodeWord(const CollisionPolygon* node) { return node ? node->tableIndex_ & kNoNode : kNoNode; }

CollisionPolygon* NodeAt(uint32_t index)
{
    Level* level = Level::Current();
    if (!level)
        return nullptr;
    LockGuard guard(level->lock_, false);
    return level->PolygonAt(index);
}

CollisionPolygon* PolygonUnder(const Vec3& position)
{
    Level* level = Level::Current();
    if (!level)
        return nullptr;
    LockGuard guard(level->lock_, false);
    return level->FindPolygonAt(position);
}

// The formation of a side without a team record (tests, a bare server).
const TeamRecord& RecordOf(int32_t side)
{
    static const TeamRecord fallback{};
    const TeamRecord* record = TeamTable::Find(side);
    return record ? *record : fallback;
}

// Requests 5 and 30: the members walk to formation places around the
// requested node, each at a node of its own unless a second pick repeats one.
void GroupOrder(const Request& request, bool waypoint)
{
    const float time = request.Float(1);
    const uint32_t targetWord = request.Word(3);
    const uint32_t count = request.Word(4); // the size row bounds it by the block
    if (!std::isfinite(time))
        return;
    CollisionPolygon* node = NodeAt(request.Word(2));
    // A waypoint names where to go: without a node there is nothing to queue
    // (a move without one still stops and clears the movers).
    if (waypoint && !node)
        return;
    const LevelGrid* level = Level::Current();
    std::vector<CollisionPolygon*> used;
    Vec3 formationOffset{0, 0, 0}, reference{0, 0, 0}, relative{0, 0, 0};
    bool first = true;
    for (uint32_t i = 0; i < count; ++i) {
        GameObject* object = ObjectRegistry::Global().Find(request.Word(5 + i));
        OrderReceiver* receiver = Receiver(object);
        if (!object || !receiver || !object->IsActor() || !SenderOwns(request.Sender(), *object))
            continue;
        if (waypoint && node) { // a member the formation found no place for queues nothing
            receiver->AppendMoveOrder(node, targetWord);
            uint8_t block[24];
            trevok::ByteWriter writer(std::span<uint8_t>(block, sizeof block));
            writer.U32(41);
            writer.U32(0); // unset words go out as 0
            writer.U32(NodeWord(node));
            writer.U32(targetWord);
            writer.U32(0);
            writer.U32(object->GetId());
            ServerLink::Get().Send(block, sizeof block, false);
        } else if (!waypoint) {
            receiver->GroupMove(node, targetWord, time);
        }
        const Vec3 nodeCentre = node ? *node->Centre() : object->Position();
        if (first) {
            formationOffset = nodeCentre - object->Position();
            reference = object->Position();
            first = false;
        }
        if (i + 1 < count) {
            if (const GameObject* next = ObjectRegistry::Global().Find(request.Word(6 + i)))
                relative = next->Position() - reference;
        }
        const TeamRecord& record = RecordOf(object->Side());
        CollisionPolygon* picked = record.PickFormationNode(nodeCentre, formationOffset, relative, level);
        if (picked && std::find(used.begin(), used.end(), picked) != used.end())
            picked = record.PickFormationNode(*picked->Centre(), formationOffset, relative, level);
        used.push_back(picked);
        node = picked;
    }
}

void GroupMove(const Request& request, GameObject*) { GroupOrder(request, false); }
void GroupWaypoint(const Request& request, GameObject*) { GroupOrder(request, true); }

void QueueChangeAmmo(const Request& request, GameObject* actor)
{
    if (OrderReceiver* receiver = Receiver(actor))
        receiver->QueueChangeAmmo(request.Word(2));
}

// 26 and 28: the time is not used.
void QueueAttackLocation(const Request& request, GameObject* actor)
{
    OrderReceiver* receiver = Receiver(actor);
    if (!receiver || !request.Finite(3, 3))
        return;
    receiver->QueueAttackLocation(request.Point(3), request.Type() == 28);
}

void QueueAttackTarget(const Request& request, GameObject* actor)
{
    if (OrderReceiver* receiver = Receiver(actor))
        receiver->QueueAttackTarget(request.Word(3), request.Type() == 29);
}

void QueueCrouch(const Request&, GameObject* actor)
{
    if (OrderReceiver* receiver = Receiver(actor))
        receiver->QueueCrouch();
}

// Role-type-11 objects report what came near them; the object goes.
// {37, mover id, wanted direction}: a player's switch opens or closes a
// door or calls a lift. Any side may work the level's movers, so no owner
// test; a block of any other length was freed unread before and still is.
void SwitchMover(const Request& request, GameObject*)
{
    if (request.Size() != kSwitchMoverSize)
        return;
    GameObject* object = ObjectRegistry::Global().Find(request.Word(1));
    if (object && object->IsAlive() && object->IsKind(Kind8Object::kAiType))
        static_cast<Kind8Object*>(object)->SetState(request.Word(2) != 0);
}

void RemoveNear(const Request&, GameObject* object)
{
    // In a networked game a client may only take away the kind that asks.
    if (Server::HasDirectPlay() && (!object->GetRole() || object->GetRole()->aiType != 11))
        return;
    object->Remove(true);
}

// 35: the squad key during a pause holds every other unit of the side.
void HoldOthers(const Request&, GameObject* requester)
{
    for (GameObject* object : SideLists::Global().Side(requester->Side())) {
        if (object == requester || !object->IsActor())
            continue;
        if (OrderReceiver* receiver = Receiver(object))
            receiver->InsertHoldOrder();
    }
    uint8_t block[8];
    StoreU32(block, 68);
    StoreU32(block + 4, requester->GetId());
    ServerLink::Get().Send(block, sizeof block, false);
}

// 36: the "trevok" character's power shot, paid from its charge.
void PowerShot(const Request& request, GameObject* actor)
{
    const script::Role* role = actor->GetRole();
    if (!role || strcasecmp(role->identifier.c_str(), "trevok") != 0 || !request.Finite(3, 3))
        return;
    script::Role* power = RoleTable::Global().FindByName("trevok_power");
    OrderReceiver* receiver = Receiver(actor);
    if (!power || !receiver)
        return;
    // The maximum charge is the role's shield value.
    const int32_t cost = static_cast<int32_t>(static_cast<float>(role->shields) * 0.33333f);
    // A stale charge on the client could otherwise fire a shot not paid for.
    if (receiver->Charge() < cost)
        return;
    const Vec3 from = actor->Position() - Vec3{0, 1.5f, 0};
    if (!Server::LaunchProjectile(power, from, request.Point(3), static_cast<int32_t>(actor->GetId()), -1,
                                  actor->Side()))
        return;
    receiver->SetCharge(receiver->Charge() - cost);
}

// 42 and 43: the client's own placement of a unit it steers.
void MotionState(const Request& request, GameObject* object)
{
    // Time, position, orientation and destination: words 2 to 12.
    if (!request.Finite(2, 11))
        return;
    OrderReceiver* receiver = Receiver(object);
    if (receiver)
        receiver->SetMotionDestination(request.Point(10));
    const Vec3 position = request.Point(3);
    const Quaternion orientation{request.Float(6), request.Float(7), request.Float(8), request.Float(9)};
    object->Place(position, orientation, request.Float(2));
    if (!receiver || !object->IsActor())
        return;
    if (request.Type() == 43) {
        receiver->SetHeldInPlace(true);
        return;
    }
    receiver->SetHeldInPlace(false);
    if (CollisionPolygon* polygon = PolygonUnder(object->Position()))
        receiver->SyncMotion(polygon);
}

void FillOwnRows()
{
    g_rows.fill(Row{});
    // Rows of the actors' own orders exist from the start so that they are
    // checked, and are dropped until the actor classes fill them.
    for (uint32_t type = 6; type <= 34; ++type)
        g_rows[type] = {Acting::kExisting, nullptr};
    g_rows[5] = {Acting::kNone, GroupMove};
    g_rows[30] = {Acting::kNone, GroupWaypoint};
    g_rows[23] = {Acting::kCanAct, QueueChangeAmmo};
    g_rows[26] = {Acting::kCanAct, QueueAttackLocation};
    g_rows[27] = {Acting::kCanAct, QueueAttackTarget};
    g_rows[28] = {Acting::kCanAct, QueueAttackLocation};
    g_rows[29] = {Acting::kCanAct, QueueAttackTarget};
    g_rows[31] = {Acting::kCanAct, QueueCrouch};
    g_rows[33] = {Acting::kExisting, RemoveNear};
    g_rows[35] = {Acting::kCanAct, HoldOthers};
    g_rows[36] = {Acting::kCanAct, PowerShot};
    g_rows[kSwitchMoverType] = {Acting::kNone, SwitchMover};
    // 38 to 41 are received and freed.
    g_rows[42] = {Acting::kExisting, MotionState};
    g_rows[43] = {Acting::kExisting, MotionState};
}

struct Filler {
    Filler() { FillOwnRows(); }
} g_filler;

} // namespace

uint32_t Request::Word(uint32_t index) const
{
    uint32_t value = 0;
    message_.ReadWord(index, value);
    return value;
}

float Request::Float(uint32_t index) const { return std::bit_cast<float>(Word(index)); }

Vec3 Request::Point(uint32_t index) const { return {Float(index), Float(index + 1), Float(index + 2)}; }

bool Request::Finite(uint32_t from, uint32_t count) const
{
    for (uint32_t i = from; i < from + count; ++i) {
        uint32_t word = 0;
        if (!message_.ReadWord(i, word) || !std::isfinite(std::bit_cast<float>(word)))
            return false;
    }
    return true;
}

void SetRow(uint32_t type, Acting acting, Handler handler)
{
    if (type <= kFirstType || type > kLastType)
        return;
    g_rows[type] = {acting, handler};
}

void ResetRows() { FillOwnRows(); }

bool SenderOwns(uint32_t sender, const GameObject& object)
{
    return object.Side() >= 0 && Server::SenderControlsSide(sender, static_cast<uint32_t>(object.Side()));
}

void Apply(const GameMessage& message, uint32_t sender)
{
    const uint32_t type = message.Type();
    if (type <= kFirstType || type > kLastType)
        return;
    const Row& row = g_rows[type];
    if (!row.handler)
        return;
    const Request request(message, sender);
    GameObject* actor = nullptr;
    if (row.acting != Acting::kNone) {
        actor = ObjectRegistry::Global().Find(request.Word(1));
        if (!actor)
            return;
        // Any client may report what came near a role-type-11 object.
        if (type != 33 && !SenderOwns(sender, *actor))
            return;
        if (row.acting == Acting::kCanAct && !actor->IsActor())
            return;
    }
    row.handler(request, actor);
}

} // namespace RequestTable
