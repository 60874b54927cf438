// Requests to actors and units, as a client might send them: blocks the size
// table lets through reach the actors' rows, then a server pass runs. No
// request may crash, read outside its block or leave a value that is not a
// number in an actor.
#include "objects/actor.h"
#include "objects/inventory.h"
#include "objects/object_registry.h"
#include "objects/teams.h"
#include "objects/unit_actor.h"
#include "script/records.h"
#include "session/actor_requests.h"
#include "session/game_message.h"
#include "session/message_sizes.h"
#include "session/request_table.h"
#include "session/server_objects.h"

#include <cmath>
#include <cstdlib>
#include <deque>
#include <span>

namespace {

std::deque<script::Role>& Roles()
{
    static std::deque<script::Role> roles;
    if (roles.empty()) {
        script::Role& role = roles.emplace_back();
        role.character.emplace();
        role.character->strength = 100;
        role.character->walkingSpeed = 2 * 65536;
        role.character->turningSpeed = 1024;
        role.character->canTurn = true;
        role.character->height = 1.8f;
        role.character->weapon = 0;
        role.shields = 20;
    }
    return roles;
}

void CheckFinite(const Vec3& v)
{
    if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z))
        std::abort();
}

} // namespace

// Input: blocks of [u8 length][length bytes], each one request.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool installed = [] {
        Server::InstallActorRequests();
        TeamTable::Build(3, 1, 0);
        return true;
    }();
    (void)installed;
    script::Role& role = Roles().front();
    auto* unit = new UnitActor(1, &role, {0, 0, 0}, Quaternion::Identity(), 1);
    auto* enemy = new UnitActor(2, &role, {0, 0, 6}, Quaternion::Identity(), 2);
    unit->Activate(0, 0);
    enemy->Activate(0, 0);
    for (int32_t id = 1; id <= 3; ++id) {
        CarriedItem item;
        item.kind = id == 1 ? ItemType::kShield : id == 2 ? ItemType::kWeapon : ItemType::kAmmunition;
        item.subtype = id;
        item.id = id;
        item.count = 5;
        unit->GetInventory()->Add(item);
    }
    size_t at = 0;
    uint64_t now = 0;
    while (at < size) {
        const size_t length = std::min<size_t>(data[at], size - at - 1);
        const std::span<const uint8_t> block(data + at + 1, length);
        at += 1 + length;
        if (!MessageSizes::Fits(MessageSizes::Direction::kToServer, block))
            continue;
        RequestTable::Apply(GameMessage(block.data(), static_cast<uint32_t>(block.size())), 0);
        now += 50000;
        Server::Tick(now, static_cast<float>(now) / 1e6f);
    }
    for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
        CheckFinite(object->Position());
        if (!std::isfinite(object->Orientation().w))
            std::abort();
    }
    ObjectRegistry::Global().ReleaseAll();
    SideLists::Global().Clear();
    ObjectRegistry::Global().ResetIds();
    return 0;
}
