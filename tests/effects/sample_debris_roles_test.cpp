// The sample roles whose objects break up: the script compiles, each role
// keeps its destruction type and takes the wreck model as its shape.
#include <gtest/gtest.h>

#include <filesystem>

#include "script/records.h"
#include "support/sample_scripts.h"

namespace {

TEST(SampleDebrisRoles, WrecksCompileWithTheirDestructionTypes)
{
    const std::filesystem::path file =
        std::filesystem::path(TREVOK_SAMPLE_DATA_DIR) / "scripts" / "debris_roles.tvs";
    if (!std::filesystem::exists(file))
        GTEST_SKIP() << "no sample data at " << file;
    auto& records = script::RecordTables::Global();
    records.Clear();
    ASSERT_TRUE(sampletest::CompileAndBuild(file));
    const struct {
        const char* identifier;
        int32_t type;
    } rows[] = {{"Wreck", 0}, {"Scattering wreck", 1}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.identifier);
        const script::Role* role = nullptr;
        for (size_t i = 0; i < records.RoleCount(); ++i)
            if (records.RoleAt(i)->identifier == row.identifier)
                role = records.RoleAt(i);
        ASSERT_NE(role, nullptr);
        ASSERT_TRUE(role->destruction.has_value());
        EXPECT_EQ(role->destruction->kind, script::DestructionKind::kDestructibility);
        EXPECT_EQ(role->destruction->type, row.type);
    }
    records.Clear();
}

} // namespace
