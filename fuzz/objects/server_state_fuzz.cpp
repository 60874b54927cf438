// Any bytes as a saved server object: byte 0 picks the class, then its image
// (zero-filled when short) and its state block. A read must refuse what it
// cannot take, and an object it took must save and load again to the same
// length of state.
#include "objects/path_mover.h"
#include "objects/object_registry.h"
#include "objects/projectile.h"
#include "objects/server_kinds.h"
#include "objects/unit_actor.h"
#include "script/records.h"

#include <algorithm>
#include <cstdlib>
#include <span>
#include <vector>

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
    GameObject* object = Make(data[0]);
    const std::span<const uint8_t> rest(data + 1, size - 1);
    std::vector<uint8_t> image(object->SizeInBytes(), 0);
    const size_t imageBytes = std::min(rest.size(), image.size());
    std::copy_n(rest.begin(), imageBytes, image.begin());
    trevok::ByteReader in(rest.subspan(imageBytes));
    if (object->LoadState(in, image)) {
        object->AfterLoad();
        std::vector<uint8_t> again(object->SizeInBytes(), 0);
        object->WriteImage(again);
        std::vector<uint8_t> state;
        trevok::ByteWriter out(state);
        if (!object->SaveState(out))
            std::abort();
        GameObject* copy = Make(data[0]);
        trevok::ByteReader back(state);
        if (!copy->LoadState(back, again) || back.Remaining() != 0)
            std::abort();
    }
    ObjectRegistry::Global().ReleaseAll();
    ObjectRegistry::Global().ResetIds();
    return 0;
}
