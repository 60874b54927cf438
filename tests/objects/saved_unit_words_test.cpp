// Words of a saved unit. The ammunition item is stored plus one: every
// 32-bit word a file can hold there loads and saves back unchanged, the top
// bit included. A number field holding what no game keeps (not a number,
// infinite, absurdly large) refuses the unit and names its word, on the
// server's units and on the client's replicas alike.
#include "client_fixture.h"
#include "objects/object_registry.h"
#include "objects/unit_actor.h"
#include "script/records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// A stored word and the field it belongs to (a vector's three words all
// name the vector's first).
struct FloatWord {
    size_t word, field;
};

// Every number field of the server unit's image: the plain object's, the
// actor's and the unit's own.
constexpr FloatWord kServerUnitFloats[] = {
    {0x58, 0x58}, {0x5c, 0x5c}, {0x60, 0x5c}, {0x64, 0x5c}, {0x78, 0x78}, {0x7c, 0x7c}, {0x80, 0x80},
    {0x84, 0x84}, {0xa8, 0xa8}, {0xac, 0xac}, {0xc8, 0xc8}, {0xcc, 0xcc}, {0xd4, 0xd4}, {0xd8, 0xd4},
    {0xdc, 0xd4}, {0xe0, 0xe0}, {0xe4, 0xe0}, {0xe8, 0xe0}, {0xf0, 0xf0},
    // actor: move target, order time, aim angle, leg time, sight range
    {0x100, 0x100}, {0x104, 0x100}, {0x108, 0x100}, {0x10c, 0x10c}, {0x118, 0x118}, {0x11c, 0x11c},
    {0x128, 0x128},
    // unit: aim point, sweep angle, next sweep, last scan, shield, aim
    // start, last aim, aim yaw and pitch, muzzle speed, burst and cycles
    {0x1b8, 0x1b8}, {0x1bc, 0x1b8}, {0x1c0, 0x1b8}, {0x1c4, 0x1c4}, {0x1c8, 0x1c8}, {0x1d4, 0x1d4},
    {0x230, 0x230}, {0x234, 0x234}, {0x238, 0x238}, {0x248, 0x248}, {0x24c, 0x24c}, {0x250, 0x250},
    {0x264, 0x264}, {0x268, 0x268}, {0x270, 0x270},
};

// The replica unit's: the replica's clocks, extent and radius; the mover's
// view range, destination and next point; the unit's shield, target point
// and muzzle speed.
constexpr FloatWord kReplicaUnitFloats[] = {
    {0x2c, 0x2c},   {0x30, 0x30},   {0x50, 0x50},   {0x54, 0x54},   {0x58, 0x58},   {0x5c, 0x58},
    {0x60, 0x58},   {0x64, 0x64},   {0x108, 0x108}, {0x114, 0x114}, {0x118, 0x114}, {0x11c, 0x114},
    {0x120, 0x120}, {0x124, 0x120}, {0x128, 0x120}, {0x1d4, 0x1d4}, {0x1e4, 0x1e4}, {0x1e8, 0x1e4},
    {0x1ec, 0x1e4}, {0x1f4, 0x1f4},
};

const float kUnsound[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity(), 3.0e9f, -1.0e30f,
                          std::numeric_limits<float>::max()};

void PutFloat(std::vector<uint8_t>& image, size_t at, float value)
{
    trevok::ByteWriter(std::span<uint8_t>(image).subspan(at)).F32(value);
}

// Loads `image` and `state` into a fresh object from `make`, and tells
// whether it was taken and which word it named when not.
template <typename Make>
std::pair<bool, std::optional<size_t>> LoadInto(Make&& make, const std::vector<uint8_t>& image,
                                                const std::vector<uint8_t>& state)
{
    auto* object = make();
    trevok::ByteReader in(state);
    const bool taken = object->LoadState(in, image);
    return {taken, object->UnsoundWord()};
}

template <typename Make>
void ExpectUnsoundRefused(Make&& make, std::span<const FloatWord> words, const std::vector<uint8_t>& image,
                          const std::vector<uint8_t>& state)
{
    {
        const auto [taken, word] = LoadInto(make, image, state);
        ASSERT_TRUE(taken) << "the saved unit itself";
        EXPECT_FALSE(word);
    }
    for (const FloatWord& f : words) {
        for (const float value : kUnsound) {
            auto bad = image;
            PutFloat(bad, f.word, value);
            const auto [taken, word] = LoadInto(make, bad, state);
            EXPECT_FALSE(taken) << std::hex << f.word << " = " << value;
            EXPECT_EQ(word, f.field) << std::hex << f.word << " = " << value;
        }
        // An ordinary number there is taken.
        auto fine = image;
        PutFloat(fine, f.word, -12.5f);
        EXPECT_TRUE(LoadInto(make, fine, state).first) << std::hex << f.word;
    }
}

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

TEST(SavedUnitWords, ServerUnitNumbersNoGameHoldsAreRefused)
{
    script::Role role;
    role.character.emplace();
    role.character->strength = 100;
    role.character->sightAngle = 1024;
    auto& registry = ObjectRegistry::Global();
    const auto make = [&] {
        return new UnitActor(1, &role, {0, 0, 0}, Quaternion::Identity(), registry.TakeNextId());
    };
    UnitActor* unit = make();
    std::vector<uint8_t> image(unit->SizeInBytes(), 0);
    unit->WriteImage(image);
    std::vector<uint8_t> state;
    trevok::ByteWriter out(state);
    ASSERT_TRUE(unit->SaveState(out));
    ExpectUnsoundRefused(make, kServerUnitFloats, image, state);

    // A sweep angle past the sight angle, which no beam reaches, comes back
    // at the edge it passed.
    for (const auto& [stored, loaded] : {std::pair{5000.0f, 1024.0f}, {-5000.0f, -1024.0f}, {300.0f, 300.0f}}) {
        auto swept = image;
        PutFloat(swept, 0x1c4, stored);
        UnitActor* back = make();
        trevok::ByteReader in(state);
        ASSERT_TRUE(back->LoadState(in, swept)) << stored;
        EXPECT_EQ(back->SweepAngle(), loaded) << stored;
    }
    registry.ReleaseAll();
    registry.ResetIds();
}

// Aim poses under way when the game was saved are still under way after the
// load, so the unit holds its fire until its gun points at the aim; arrived
// ones load arrived, and so do those of older saves, which have no word.
TEST(SavedUnitWords, AimPosesUnderWayStayUnderWay)
{
    script::Role role;
    role.character.emplace();
    role.character->strength = 100;
    auto& registry = ObjectRegistry::Global();
    const auto make = [&] {
        return new UnitActor(1, &role, {0, 0, 0}, Quaternion::Identity(), registry.TakeNextId());
    };
    const struct {
        const char* name;
        bool aiming;
        bool olderSave;
        bool reached;
    } rows[] = {
        {"idle", false, false, true},
        {"aiming", true, false, false},
        {"aiming, saved before the poses were stored", true, true, true},
    };
    for (const auto& row : rows) {
        UnitActor* unit = make();
        if (row.aiming) {
            ASSERT_TRUE(unit->AimAtPoint({5, 0, 5}, 1.0f, false, false)) << row.name;
        }
        ASSERT_EQ(unit->AimPosesReached(), !row.aiming) << row.name;
        std::vector<uint8_t> image(unit->SizeInBytes(), 0);
        unit->WriteImage(image);
        if (row.olderSave)
            std::fill(image.begin() + 0x1e0, image.begin() + 0x22c, uint8_t{0});
        std::vector<uint8_t> state;
        trevok::ByteWriter out(state);
        ASSERT_TRUE(unit->SaveState(out)) << row.name;
        UnitActor* back = make();
        trevok::ByteReader in(state);
        ASSERT_TRUE(back->LoadState(in, image)) << row.name;
        EXPECT_EQ(back->AimPosesReached(), row.reached) << row.name;
    }
    registry.ReleaseAll();
    registry.ResetIds();
}

class SavedReplicaUnitWords : public ClientWorld {};

TEST_F(SavedReplicaUnitWords, ReplicaUnitNumbersNoGameHoldsAreRefused)
{
    script::Role& armed = NewRole(0, 100, 0);
    Unit* unit = Make<Unit>(armed, kEnemySide, {1, 0, 2});
    ASSERT_TRUE(unit);
    std::vector<uint8_t> image(unit->SizeInBytes(), 0);
    unit->WriteImage(image);
    std::vector<uint8_t> state;
    trevok::ByteWriter out(state);
    ASSERT_TRUE(unit->SaveState(out));
    ExpectUnsoundRefused([&] { return Make<Unit>(armed, kEnemySide, {1, 0, 2}); }, kReplicaUnitFloats, image,
                         state);
}

} // namespace
