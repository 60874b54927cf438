// Any bytes as a saved replica: byte 0 picks the class, then its image
// (zero-filled when short) and its state block. A read must refuse what it
// cannot take, and a replica it took must fix up, save and load again.
#include "objects/typed_objects.h"

#include <algorithm>
#include <cstdlib>
#include <span>
#include <vector>

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
    WorldObject* object = Make(data[0]);
    const std::span<const uint8_t> rest(data + 1, size - 1);
    std::vector<uint8_t> image(object->SizeInBytes(), 0);
    const size_t imageBytes = std::min(rest.size(), image.size());
    std::copy_n(rest.begin(), imageBytes, image.begin());
    trevok::ByteReader in(rest.subspan(imageBytes));
    if (object->LoadState(in, image)) {
        object->FixUpAfterLoad();
        std::vector<uint8_t> again(object->SizeInBytes(), 0);
        object->WriteImage(again);
        std::vector<uint8_t> state;
        trevok::ByteWriter out(state);
        if (!object->SaveState(out))
            std::abort();
        WorldObject* copy = Make(data[0]);
        trevok::ByteReader back(state);
        if (!copy->LoadState(back, again) || back.Remaining() != 0)
            std::abort();
        copy->ReleaseReferences();
    }
    // The table holds each replica's creation reference.
    object->ReleaseReferences();
    WorldObjectTable::DestroyAll();
    return 0;
}
