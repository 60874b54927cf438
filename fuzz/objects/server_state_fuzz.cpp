// Any bytes as a saved server object: a read must refuse what it cannot take,
// and an object it took must save and load again to the same length of state.
#include "objects/path_mover.h"
#include "objects/object_registry.h"
#include "objects/projectile.h"
#include "objects/server_kinds.h"
#include "objects/unit_actor.h"
#include "script/records.h"
#include "state_round_trip.h"

namespace {

script::Role& FuzzRole()
{
    static script::Role role = [] {
        script::Role r;
        r.character.emplace();
        r.character->strength = 100;
        return r;
    }();
    return role;
}

GameObject* Make(uint8_t which)
{
    script::Role* role = &FuzzRole();
    const Vec3 at{0, 0, 0};
    const Quaternion q = Quaternion::Identity();
    ObjectRegistry& registry = ObjectRegistry::Global();
    switch (which % 6) {
    case 0: return new GameObject(1, role, at, q, 0, registry.TakeNextId());
    case 1: return new Actor(1, role, at, q, registry.TakeNextId());
    case 2: return new UnitActor(1, role, at, q, registry.TakeNextId());
    case 3: return new Projectile(1, role, at, q, 0, 0, 0xFFFFFFFFu, registry.TakeNextId());
    case 4: return new Kind8Object(1, role, at, q, registry.TakeNextId());
    default: return new Kind10Object(1, role, at, q, registry.TakeNextId());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    LoadSaveAndLoadAgain(data, size, Make, [](GameObject& o) { o.AfterLoad(); }, [](GameObject&) {});
    // The registry holds every object made, the copy included.
    ObjectRegistry::Global().ReleaseAll();
    ObjectRegistry::Global().ResetIds();
    return 0;
}
