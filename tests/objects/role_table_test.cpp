// The level's role registry: ids per level and the four finds.
#include <gtest/gtest.h>

#include "objects/role_table.h"
#include "script/records.h"

#include <deque>

namespace {

class RoleTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        table_.Clear();
        table_.ResetIds();
    }
    script::Role& Add(const char* name, std::optional<float> aggression = std::nullopt, int32_t weapon = 0)
    {
        script::Role& r = roles_.emplace_back();
        r.identifier = name;
        if (aggression) {
            r.character.emplace();
            r.character->aggression = *aggression;
            r.character->weapon = weapon;
        }
        table_.File(r);
        return r;
    }
    RoleTable table_;
    std::deque<script::Role> roles_;
};

TEST_F(RoleTableTest, LookupsByNameIdAndWeapon)
{
    // An earlier level's roles: the next level numbers its own from 0.
    Add("old");
    Add("older");
    table_.Clear();
    table_.ResetIds();

    script::Role& grunt = Add("Grunt", 0.4f, 3);
    script::Role& nameless = Add("", 0.6f, 3);
    script::Role& gruntUpper = Add("GRUNT");
    script::Role& key = Add("key", 0.7f, 5);  // 0.7 rates 6
    script::Role& wide = Add("wide", 0.7f, 9);
    // Filed at ids 64 and 0 share a bucket; the later one heads the chain.
    for (int i = 5; i < 64; ++i)
        Add("filler");
    script::Role& far = Add("far");

    struct Case {
        const char* what;
        script::Role* found;
        script::Role* expected;
    } cases[] = {
        {"name in any case", table_.FindByName("gRuNt"), &grunt},  // bucket 0 before bucket 2
        {"name upper", table_.FindByName("GRUNT"), &grunt},
        {"no name never matches", table_.FindByName(""), nullptr},
        {"id 0 after an earlier level", table_.FindById(0), &grunt},
        {"id 2", table_.FindById(2), &gruntUpper},
        {"id 64 shares bucket 0", table_.FindById(64), &far},
        {"unknown id", table_.FindById(65), nullptr},
        {"sentinel id", table_.FindById(2147483647), nullptr},
        {"negative id", table_.FindById(-1), nullptr},
        {"weapon role rates 4", table_.FindWeaponRole(3), &grunt},
        {"key rates 6", table_.FindByKey(5), &key},
        {"key of weapon 3 is the nameless", table_.FindByKey(3), &nameless},
        {"key of weapon 9", table_.FindByKey(9), &wide},
        {"no such weapon", table_.FindWeaponRole(12), nullptr},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.found, c.expected) << c.what;
    EXPECT_EQ(grunt.id, 0);
    EXPECT_EQ(far.id, 64);
    EXPECT_EQ(table_.Count(), 65u);
}

// Installed, the table files every role the record tables make, and a
// level stop empties it and numbers the next level's roles from 0 again.
TEST(RoleTableInstalled, FilesMadeRolesAndForgetsThemAtLevelStop)
{
    auto& records = script::RecordTables::Global();
    RoleTable& table = RoleTable::Global();
    records.Clear();
    RoleTable::Install();
    script::Role* first = script::Role::Create();
    script::Role* second = script::Role::Create();
    second->identifier = "Second";
    EXPECT_EQ(first->id, 0);
    EXPECT_EQ(second->id, 1);
    EXPECT_EQ(table.FindById(1), second);
    EXPECT_EQ(table.FindByName("SECOND"), second);

    records.Clear();
    EXPECT_EQ(table.Count(), 0u);
    EXPECT_EQ(table.FindById(0), nullptr) << "no pointer outlives its role";
    EXPECT_EQ(script::Role::Create()->id, 0) << "the next level's first role";
    records.Clear();
    records.SetRoleFiler(nullptr);
}

} // namespace
