// A client world of one object of each class the server messages address,
// under fixed ids, with its roles filed in a fixed order: the world the
// message fixtures of server_messages.py are written for. The table test
// and the fuzz target build it the same way.
#pragma once

#include "objects/inventory.h"
#include "objects/role_table.h"
#include "objects/teams.h"
#include "objects/typed_objects.h"
#include "script/records.h"

#include <cstdint>
#include <deque>

namespace MessageWorld {

// Object ids (server_messages.py uses the same numbers).
inline constexpr uint32_t kWalker = 40, kGunner = 41, kLift = 42, kDeployer = 43, kSegment = 44, kCreature = 45,
                          kShot = 46, kEnemy = 47, kPickUp = 48;
// Role ids, in filing order.
inline constexpr int32_t kWalkerRole = 0, kGunnerRole = 1, kLiftRole = 2, kDeployerRole = 3, kSegmentRole = 4,
                         kShotRole = 5, kCreatureRole = 6,
                         kPickUpRole = 7;
inline constexpr int32_t kOwnSide = 1, kEnemySide = 2;
inline constexpr int32_t kItemId = 7, kSecondItemId = 8, kArmourId = 10, kArmourValue = 5;

inline script::Role& FileRole(std::deque<script::Role>& roles, int32_t aiType, int32_t weapon, bool projectile)
{
    script::Role& r = roles.emplace_back();
    r.aiType = aiType;
    if (projectile) {
        r.projectile.emplace();
        r.limit = 0x6A;
    } else {
        r.character.emplace();
        r.character->strength = 100;
        r.character->weapon = weapon;
        r.character->walkingSpeed = 2 * 65536;
        r.character->turningSpeed = 2048;
        r.character->sightRange = 30.0f;
        r.character->modelHeight = 2.0f;
    }
    RoleTable::Global().File(r);
    return r;
}

inline WorldObject* Place(script::Role& role, int32_t side, float x, uint32_t id)
{
    return WorldObject::CreateFromMessage(side, &role, {x, 0, 0}, Quaternion::Identity(), id);
}

// Empties the client registry and the role table, then builds the world.
inline void Build(std::deque<script::Role>& roles)
{
    WorldObjectTable::DestroyAll();
    WorldObjectTable::ResetIds();
    WorldObjectTable::ResetRandom();
    TypedObject11::All().clear();
    RoleTable::Global().ForgetAll();
    RoleTable::Global().ResetIds();
    roles.clear();
    constexpr int32_t kNoWeapon = 2147483647;
    script::Role& walker = FileRole(roles, 2, kNoWeapon, false);
    script::Role& gunner = FileRole(roles, 0, 3, false);
    script::Role& lift = FileRole(roles, 8, 0, false);
    script::Role& deployer = FileRole(roles, 16, 3, false);
    script::Role& segment = FileRole(roles, 13, 3, false);
    script::Role& shot = FileRole(roles, 1, 0, true);
    script::Role& creature = FileRole(roles, 11, 0, false);
    script::Role& pickUp = FileRole(roles, 10, 0, false);
    TeamTable::Build(4, kOwnSide, 5);
    ClientServices::Get().ownSide = kOwnSide;

    Place(walker, kOwnSide, 0, kWalker);
    Place(gunner, kOwnSide, 2, kGunner);
    Place(lift, 0, 4, kLift);
    Place(deployer, kEnemySide, 6, kDeployer);
    Place(segment, kEnemySide, 8, kSegment);
    Place(creature, 0, 10, kCreature);
    Place(walker, kEnemySide, 12, kEnemy);
    Place(pickUp, 0, 14, kPickUp);
    auto* flying = new WorldProjectile(kEnemySide, &shot, {0, -1, 0}, Quaternion::Identity(), 10.0f, kDeployer, -1,
                                       kShot);
    flying->Activate(0, 0);
    if (auto* carrier = dynamic_cast<MovingObject*>(WorldObjectTable::FindById(kWalker)); carrier && carrier->GetInventory()) {
        for (int32_t id : {kItemId, kSecondItemId}) {
            CarriedItem item;
            item.kind = ItemKind::kHeal;
            item.id = id;
            item.roleId = kWalkerRole;
            carrier->GetInventory()->Add(item);
        }
    }
    if (auto* armed = dynamic_cast<Unit*>(WorldObjectTable::FindById(kGunner)); armed && armed->GetInventory()) {
        CarriedItem armour;
        armour.kind = 9;
        armour.id = kArmourId;
        armour.value = kArmourValue;
        armed->GetInventory()->Add(armour);
    }
}

} // namespace MessageWorld
