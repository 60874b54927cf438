// Server messages into the client replicas: the input is a stream of
// blocks, each a byte of length then that many bytes, applied in order to a
// small world of every client class, then two frames of updates.
#include "objects/role_table.h"
#include "objects/teams.h"
#include "objects/typed_objects.h"
#include "script/records.h"
#include "session/client_apply.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>

namespace {

std::deque<script::Role>& Roles()
{
    static std::deque<script::Role> roles;
    if (roles.empty()) {
        RoleTable::Install();
        const struct {
            int32_t aiType, weapon;
            bool projectile;
        } kinds[] = {{2, 2147483647, false}, {0, 3, false},  {8, 0, false},  {11, 0, false},
                     {12, 3, false},         {13, 3, false}, {16, 3, false}, {1, 0, true}};
        for (const auto& kind : kinds) {
            script::Role& role = roles.emplace_back();
            role.aiType = kind.aiType;
            if (kind.projectile) {
                role.projectile.emplace();
                role.limit = 0x6A;
            } else {
                role.character.emplace();
                role.character->strength = 100;
                role.character->weapon = kind.weapon;
                role.character->walkingSpeed = 65536;
                role.character->turningSpeed = 1024;
            }
            RoleTable::Global().File(role);
        }
        TeamTable::Build(4, 1, 5);
        ClientServices::Get().ownSide = 1;
    }
    return roles;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::deque<script::Role>& roles = Roles();
    WorldObjectTable::DestroyAll();
    WorldObjectTable::ResetIds();
    WorldObjectTable::ResetRandom();
    // Ids 0 to 6: one object of each class, as the level would make them.
    for (size_t i = 0; i + 1 < roles.size(); ++i) {
        WorldObject* made = WorldObject::CreateByRole(static_cast<int32_t>(i % 3) + 1, &roles[i],
                                                      {static_cast<float>(i), 0, 0}, Quaternion::Identity());
        if (made)
            made->Activate(0, 0);
    }
    std::span<const uint8_t> rest(data, size);
    while (!rest.empty()) {
        const size_t length = rest[0];
        rest = rest.subspan(1);
        const size_t take = length < rest.size() ? length : rest.size();
        Client::ApplyServerMessage(rest.first(take));
        rest = rest.subspan(take);
    }
    WorldObjectTable::UpdateAll(50000, 0.05f);
    WorldObjectTable::UpdateAll(100000, 0.1f);
    WorldObjectTable::DrawAll();
    return 0;
}
