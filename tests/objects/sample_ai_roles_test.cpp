// The sample campaign's AI roles, built through their definitions: each
// makes the server class its AI type picks, with the keys the AI reads.
#include "objects/role_table.h"
#include "objects/server_classes.h"
#include "objects/server_kinds.h"
#include "objects/path_mover.h"
#include "objects/unit_actor.h"
#include "script/compiler.h"
#include "script/object_list.h"
#include "script/records.h"
#include "tests/objects/server_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

using SampleAiRoles = ServerWorld;

TEST_F(SampleAiRoles, EachRoleMakesItsKindWithItsKeys)
{
    const char* root = std::getenv("TREVOK_SAMPLE_DATA");
    const std::filesystem::path file = std::filesystem::path(root ? root : "") / "scripts" / "ai_roles.tvs";
    if (!std::filesystem::exists(file))
        GTEST_SKIP() << "no sample data at " << file;
    auto& records = script::RecordTables::Global();
    records.Clear();
    RoleTable::Install();
    const script::CompileResult compiled = script::CompileScriptFile(file, script::kLevelScriptMode);
    ASSERT_TRUE(compiled.list);
    for (const script::ScriptMessage& m : compiled.messages) {
        if (m.severity == script::Severity::kError)
            ADD_FAILURE() << m.line << ": " << m.text;
    }
    ASSERT_EQ(compiled.errors, 0);
    compiled.list->BuildAll();
    RegisterActorClasses();
    const RoleTable& table = RoleTable::Global();

    const struct {
        const char* name;
        int32_t aiType;
        bool unit;
    } rows[] = {{"Emplacement Narrow", 0, true}, {"Emplacement Wide", 0, true}, {"Patrol Guard", 0, true},
                {"Mine", 2, true},                {"Decoy", 2, true},            {"Homing Bomb", 3, true},
                {"Lone Bomb", 15, true},         {"Nest", 14, false},           {"Critter", 1, true},
                {"bug", 1, true},                 {"centibody", 13, true},       {"Centihead", 12, true},
                {"Medkit Pickup", 10, false},    {"Ammo Crate", 10, false},     {"Footprint", 5, false},
                {"Sleeper", 16, true},           {"Escortee", 17, false},       {"Platform", 8, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        script::Role* role = table.FindByName(row.name);
        ASSERT_NE(role, nullptr);
        EXPECT_EQ(role->aiType, row.aiType);
        GameObject* object =
            ServerClasses::Make(1, role, {0, 0, 0}, Quaternion::Identity(), ObjectRegistry::Global().TakeNextId());
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->IsUnit(), row.unit);
        if (row.aiType >= 5 && row.aiType != 15) {
            EXPECT_TRUE(object->IsKind(row.aiType));
        }
    }
    // The keys the AI reads.
    EXPECT_EQ(table.FindByName("Emplacement Narrow")->character->sightAngle, 0);
    EXPECT_EQ(table.FindByName("Emplacement Wide")->character->sightAngle, 1013) << "89 degrees, the widest";
    EXPECT_EQ(table.FindByName("Emplacement Wide")->character->walkingSpeed, 0);
    EXPECT_FLOAT_EQ(table.FindByName("Patrol Guard")->character->alertRadius, 25.0f);
    for (const auto& [name, weapon] : {std::pair{"Mine", 0}, {"Remote Mine", 1}, {"Timed Mine", 2}, {"Decoy", 3}})
        EXPECT_EQ(table.FindByName(name)->character->weapon, weapon) << name;
    EXPECT_EQ(table.FindByName("Nest")->severPoints, std::vector<std::string>{"bug"});
    EXPECT_EQ(table.FindByName("Nest")->character->generationLimit, 5);
    EXPECT_TRUE(table.FindByName("Medkit Pickup")->flags & script::kRoleDestroyAfterCollection);
    EXPECT_FALSE(table.FindByName("Ammo Crate")->flags & script::kRoleDestroyAfterCollection);
    EXPECT_TRUE(table.FindByName("Rider")->flags & script::kRoleMovesOnLifts);
    EXPECT_FALSE(table.FindByName("Stayer")->flags & script::kRoleMovesOnLifts);
    ServerClasses::Set(0, nullptr);
    ServerClasses::SetCharacterMaker(nullptr);
}

} // namespace
