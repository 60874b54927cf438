// Any bytes as a saved replica: a read must refuse what it cannot take, and a
// replica it took must fix up, save and load again.
#include "objects/typed_objects.h"
#include "state_round_trip.h"

namespace {

WorldObject* Make(uint8_t which)
{
    const Vec3 at{0, 0, 0};
    const Quaternion q = Quaternion::Identity();
    switch (which % 7) {
    case 0: return new WorldObject(1, nullptr, at, q, 0, 1);
    case 1: return new MovingObject(1, nullptr, at, q, 1);
    case 2: return new Unit(1, nullptr, at, q, 1);
    case 3: return new WorldProjectile(1, nullptr, at, q, 0, 0, -1, 1);
    case 4: return new TypedObject8(1, nullptr, at, q, 1);
    case 5: return new TypedObject10(1, nullptr, at, q, 1);
    default: return new TypedUnit16(1, nullptr, at, q, 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    WorldObject* object = LoadSaveAndLoadAgain(
        data, size, Make, [](WorldObject& o) { o.FixUpAfterLoad(); },
        [](WorldObject& copy) { copy.ReleaseReferences(); });
    // The table holds each replica's creation reference.
    object->ReleaseReferences();
    WorldObjectTable::DestroyAll();
    return 0;
}
