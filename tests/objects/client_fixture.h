// A client world for tests: recorded requests and relays, roles made in
// place (and filed so messages can name them), the client registry emptied
// before and after, the game clock at 0.
#pragma once

#include "Veapi/particles.h"
#include "Veapi/ve_object.h"
#include "app/app_time.h"
#include "objects/client_effects.h"
#include "objects/inventory.h"
#include "objects/role_table.h"
#include "objects/teams.h"
#include "objects/typed_objects.h"
#include "script/records.h"
#include "server_fixture.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

// Coronas as the effects make them: a lasting emitter of group 7.
inline void InstallTestCoronas()
{
    ClientEffects().createCorona = [](const Vec3& at, const Colour& colour) {
        ParticleEmitterDesc d;
        d.group = 7;
        d.colour1 = colour;
        return Particles::CreateEmitter(d, at);
    };
}

// A red corona on a "lightdum" part added to the object's shape.
inline ParticleEmitter* GiveLightdumCorona(WorldObject& object, const Vec3& partAt = {0, 0, 0})
{
    auto* part = new ShapeInstance;
    part->name_ = "lightdum";
    part->local_.SetPosition(partAt);
    object.Shape()->Root()->AppendChild(part);
    Colour red;
    red.Set(1, 0, 0, 0.6f);
    object.AddCorona("lightdum", red);
    return object.Corona();
}

// Puts a cloak (a kind-7 module of subtype 4) of that item id in the
// carrier's inventory, which it must have.
inline void CarryCloak(MovingObject& carrier, int32_t id)
{
    CarriedItem cloak;
    cloak.kind = 7;
    cloak.subtype = 4;
    cloak.id = id;
    carrier.GetInventory()->Add(cloak);
}

class ClientWorld : public ::testing::Test {
protected:
    static constexpr int32_t kOwnSide = 1, kEnemySide = 2;

    void SetUp() override
    {
        Empty();
        RoleTable::Global().ForgetAll();
        ClientServices& services = ClientServices::Get();
        services = ClientServices{};
        services.ownSide = kOwnSide;
        services.sendRequest = [this](const void* block, uint32_t size, bool guaranteed) {
            const auto* b = static_cast<const uint8_t*>(block);
            requests.push_back({std::vector<uint8_t>(b, b + size), guaranteed});
            return true;
        };
        TeamTable::Build(4, kOwnSide, 5);
        // The game clock stands still: tests move time by hand.
        AppTime::SetGameSpeed(0.0f);
        AppTime::SetGameTime(0);
    }

    void TearDown() override
    {
        Empty();
        RoleTable::Global().ForgetAll();
        ClientServices::Get() = ClientServices{};
        TeamTable::Clear();
        AppTime::SetGameSpeed(1.0f);
        AppTime::SetGameTime(0);
    }

    static void Empty()
    {
        WorldObjectTable::DestroyAll();
        WorldObjectTable::ResetIds();
        WorldObjectTable::ResetRandom();
        TypedObject11::All().clear();
    }

    // A filed role: `aiType` picks the client class; a weapon makes a unit.
    script::Role& NewRole(int32_t aiType = 2, int32_t strength = 100, int32_t weapon = 2147483647)
    {
        script::Role& r = roles.emplace_back();
        r.aiType = aiType;
        r.character.emplace();
        r.character->strength = strength;
        r.character->weapon = weapon;
        r.character->walkingSpeed = 2 * 65536;
        r.character->turningSpeed = 2048;
        r.character->sightRange = 30.0f;
        r.character->modelHeight = 2.0f;
        RoleTable::Global().File(r);
        return r;
    }

    // A character with a body to equip (a customisation model).
    static script::Role& WithBody(script::Role& role)
    {
        role.character->customisationShape.shape = std::make_shared<int>(0);
        return role;
    }

    template <typename T = WorldObject>
    T* Make(script::Role& role, int32_t side, const Vec3& at)
    {
        WorldObject* made = WorldObject::CreateByRole(side, &role, at, Quaternion::Identity());
        made->Activate(0, 0);
        return dynamic_cast<T*>(made);
    }

    static uint64_t Ticks(float seconds) { return WorldObject::SecondsToTicks(seconds); }

    std::vector<SentMessage> Requests(uint32_t type) const
    {
        std::vector<SentMessage> out;
        for (const SentMessage& b : requests)
            if (b.Type() == type)
                out.push_back(b);
        return out;
    }

    std::deque<script::Role> roles;  // stable addresses
    std::vector<SentMessage> requests;
};
