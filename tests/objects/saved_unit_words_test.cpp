// A unit's saved ammunition item is stored plus one: every 32-bit word a file
// can hold there loads and saves back unchanged, the top bit included.
#include "objects/object_registry.h"
#include "objects/unit_actor.h"
#include "script/records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TEST(SavedUnitWords, AmmunitionItemWordComesBackWhole)
{
    script::Role role;
    role.character.emplace();
    role.character->strength = 100;
    auto& registry = ObjectRegistry::Global();
    auto* unit = new UnitActor(1, &role, {0, 0, 0}, Quaternion::Identity(), registry.TakeNextId());
    std::vector<uint8_t> image(unit->SizeInBytes(), 0);
    unit->WriteImage(image);
    std::vector<uint8_t> state;
    trevok::ByteWriter out(state);
    ASSERT_TRUE(unit->SaveState(out));
    ASSERT_GE(state.size(), 16u);
    // The state ends with weapon, ammunition, ammunition item and target.
    const size_t itemAt = state.size() - 8;
    for (const uint32_t word : {0u, 1u, 2u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        std::memcpy(state.data() + itemAt, &word, 4);
        auto* copy = new UnitActor(1, &role, {0, 0, 0}, Quaternion::Identity(), registry.TakeNextId());
        trevok::ByteReader in(state);
        ASSERT_TRUE(copy->LoadState(in, image)) << word;
        std::vector<uint8_t> again;
        trevok::ByteWriter back(again);
        ASSERT_TRUE(copy->SaveState(back)) << word;
        EXPECT_EQ(again, state) << word;
    }
    registry.ReleaseAll();
    registry.ResetIds();
}

} // namespace
