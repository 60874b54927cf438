// The sample campaign's roles, built through their definitions into the
// installed role table, after an earlier level made roles of its own.
#include <gtest/gtest.h>

#include "objects/role_classes.h"
#include "objects/role_table.h"
#include "script/compiler.h"
#include "script/object_list.h"
#include "script/records.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

namespace {

TEST(SampleRoles, BuiltThroughTheirDefinitionsAndFoundByEveryLookup)
{
    const char* root = std::getenv("TREVOK_SAMPLE_DATA");
    const std::filesystem::path file = std::filesystem::path(root ? root : "") / "scripts" / "roles.tvs";
    if (!std::filesystem::exists(file))
        GTEST_SKIP() << "no sample data at " << file;
    auto& records = script::RecordTables::Global();
    records.Clear();
    RoleTable::Install();
    script::Role::Create();
    script::Role::Create();
    records.Clear();  // the earlier level stops

    const script::CompileResult compiled = script::CompileScriptFile(file, script::kLevelScriptMode);
    ASSERT_TRUE(compiled.list);
    ASSERT_EQ(compiled.errors, 0);
    compiled.list->BuildAll();
    const RoleTable& t = RoleTable::Global();
    auto named = [&](const char* name) { return t.FindByName(name); };
    ASSERT_NE(named("Grunt"), nullptr);

    struct Lookup {
        const char* what;
        const script::Role* found;
        std::string identifier;
    } lookups[] = {
        {"a third spelling finds one of the two", named("gRuNt"), "Grunt"},
        {"id 0 after an earlier level", t.FindById(0), "Grunt"},
        {"the other spelling by its id", t.FindById(1), "GRUNT"},
        {"no identifier: found by its id", t.FindById(2), ""},
        {"key of weapon 5 rates 6", t.FindByKey(5), "Keyholder"},
        {"weapon role of weapon 3 rates 4", t.FindWeaponRole(3), "Grunt"},
    };
    for (const Lookup& l : lookups) {
        SCOPED_TRACE(l.what);
        ASSERT_NE(l.found, nullptr);
        EXPECT_EQ(l.found->identifier, l.identifier);
    }
    EXPECT_EQ(named(""), nullptr) << "a nameless role is never found by name";
    EXPECT_EQ(t.FindByKey(3), t.FindById(1)) << "the keen grunt rates 6";

    // Aggression 0.4, 0.6, 0.7, 0.9 and no character, in filing order.
    struct Rating {
        int32_t id;
        const char* identifier;
        int32_t rating;
    } ratings[] = {{0, "Grunt", 4}, {1, "GRUNT", 6}, {3, "Keyholder", 6}, {4, "Boss", 8}, {5, "Barrel", 2}};
    for (const Rating& r : ratings) {
        const script::Role* role = t.FindById(r.id);
        ASSERT_NE(role, nullptr) << r.identifier;
        EXPECT_EQ(role->identifier, r.identifier);
        EXPECT_EQ(role->GetRating(), r.rating) << r.identifier;
    }

    for (int ai : {0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, 14, 16, 17}) {
        bool found = false;
        for (int32_t id = 0; id < int32_t(t.Count()); ++id)
            found = found || t.FindById(id)->aiType == ai;
        EXPECT_TRUE(found) << "a role of AI type " << ai;
    }
    EXPECT_EQ(ClientClassFor(*named("Barrel")), ClientClass::kTypedObject);
    EXPECT_EQ(ClientClassFor(*named("Kind 4")), ClientClass::kWorldObject);

    ASSERT_TRUE(named("Medkit")->inventory);
    EXPECT_TRUE(named("Medkit")->inventory->pickupName.has_value());
    ASSERT_TRUE(named("Keycard")->inventory) << "a description alone makes the look";
    EXPECT_FALSE(named("Keycard")->inventory->pickupName.has_value());

    for (const auto& [weapon, ammo] : {std::pair{3, 2}, std::pair{5, 6}, std::pair{15, 16}, std::pair{0, 1}})
        EXPECT_NE(records.Weapon(weapon, ammo), nullptr) << weapon << " x " << ammo;
    for (int ammo : {1, 2, 16}) {
        ASSERT_NE(records.Ammo(ammo), nullptr) << ammo;
        EXPECT_EQ(records.Ammo(ammo)->maxPerSlot, 30);
    }

    records.Clear();
    records.SetRoleFiler(nullptr);
}

} // namespace
