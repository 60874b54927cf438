// The sample campaign's client roles, built through their definitions: the
// replicas the factory makes from them carry the flags the drawing reads.
#include "client_fixture.h"

#include "script/compiler.h"
#include "script/object_list.h"

#include <cstdlib>
#include <filesystem>

namespace {

using SampleClientRoles = ClientWorld;

TEST_F(SampleClientRoles, ReplicasTakeTheirRoleFlags)
{
    const char* root = std::getenv("TREVOK_SAMPLE_DATA");
    const std::filesystem::path file = std::filesystem::path(root ? root : "") / "scripts" / "client_roles.tvs";
    if (!std::filesystem::exists(file))
        GTEST_SKIP() << "no sample data at " << file;
    auto& records = script::RecordTables::Global();
    records.Clear();
    RoleTable::Install();
    const script::CompileResult compiled = script::CompileScriptFile(file, script::kLevelScriptMode);
    ASSERT_TRUE(compiled.list);
    for (const auto& m : compiled.messages) {
        if (m.severity == script::Severity::kError)
            ADD_FAILURE() << FormatMessage(m);
    }
    ASSERT_EQ(compiled.errors, 0);
    compiled.list->BuildAll();
    auto make = [&](const char* name) {
        script::Role* role = RoleTable::Global().FindByName(name);
        EXPECT_NE(role, nullptr) << name;
        return role ? WorldObject::CreateByRole(kEnemySide, role, {}, Quaternion::Identity()) : nullptr;
    };
    const struct {
        const char* name;
        uint32_t set, clear;
    } rows[] = {
        {"fog_alpha", ClientRender::kHiddenInFog | ClientRender::kHitTested, ClientRender::kFogMaterial},
        {"fog_vertex", ClientRender::kFogMaterial, ClientRender::kHiddenInFog},
        {"selectable", ClientRender::kSelectable, 0},
        {"ghost", 0, ClientRender::kHitTested},
    };
    for (const auto& row : rows) {
        WorldObject* made = make(row.name);
        ASSERT_NE(made, nullptr) << row.name;
        EXPECT_EQ(made->RenderFlags() & row.set, row.set) << row.name;
        EXPECT_EQ(made->RenderFlags() & row.clear, 0u) << row.name;
    }
    WorldObject* fixed = make("fixed");
    ASSERT_NE(fixed, nullptr);
    EXPECT_TRUE(fixed->StaticPlacement());
    const struct {
        const char* name;
        int32_t kind;
    } kinds[] = {{"fixed", 5},   {"track", 8},    {"drifter", 9},  {"prize", 10}, {"wanderer", 11},
                 {"chain", 12},  {"segment", 13}, {"hatcher", 14}, {"deployer", 16}, {"escort", 17}};
    for (const auto& k : kinds) {
        WorldObject* made = make(k.name);
        ASSERT_NE(made, nullptr) << k.name;
        EXPECT_TRUE(made->IsKind(k.kind)) << k.name;
    }
    const struct {
        const char* name;
        uint32_t flags;
    } shots[] = {{"shot_electric", 2}, {"shot_trail", 8}, {"shot_beam", 0x20}};
    for (const auto& shot : shots) {
        script::Role* role = RoleTable::Global().FindByName(shot.name);
        ASSERT_NE(role, nullptr) << shot.name;
        auto* made = new WorldProjectile(kEnemySide, role, {}, Quaternion::Identity(), 5, 0, -1,
                                         WorldObjectTable::TakeClientOnlyId());
        EXPECT_EQ(made->GetProjectileFlags(), shot.flags) << shot.name;
    }
    Empty();
    records.Clear();
}

} // namespace
