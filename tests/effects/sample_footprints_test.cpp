// The sample characters cast what their models allow: footprints from each
// foot dummy they have, and projected shadows only with a shadow hierarchy.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "Veapi/hierarchy.h"
#include "Veapi/ve_object.h"
#include "chunk/loaders/environment_loader.h"
#include "chunk/loaders/hierarchy_loader.h"
#include "effects/shadows.h"

namespace {

class ModelCaster : public ShadowCaster {
public:
    ModelCaster(Hierarchy* model, Hierarchy* shadow) : object_(VeObject::FromHierarchy(model, true)), shadow_(shadow) {}
    ~ModelCaster() override
    {
        Shadows::RemoveCaster(this);
        object_->Release();
    }
    ShapeInstance* ShapeRoot() override { return object_->Root(); }
    Hierarchy* ShadowHierarchy() override { return shadow_; }
    bool Visible() const override { return true; }
    Vec3 Position() const override { return {0, 0, 0}; }
    float Heading() const override { return 0; }
    float FloorHeight() const override { return 0; }

    VeObject* object_;
    Hierarchy* shadow_;
};

TEST(SampleFootprints, CharactersCastWhatTheirModelsAllow)
{
    const std::filesystem::path path = std::filesystem::path(TREVOK_SAMPLE_DATA_DIR) / "rifs" / "footprint_models.rif";
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << "no sample data at " << path;
    std::string error;
    trevok::EnvironmentRecordPtr file = trevok::LoadEnvironmentFile(path, &error);
    ASSERT_TRUE(file) << error;
    HierarchyPtr shadow = trevok::LoadHierarchyFromChunks("Walker Shadow", *file);
    ASSERT_TRUE(shadow);
    const struct {
        const char* model;
        bool withShadow;
        bool left, right;      // foot dummies found
        bool projectedCaster;  // accepted in mode 3
    } rows[] = {
        {"Walker", true, true, true, true},
        {"Hopper", false, true, false, false},
    };
    Shadows::Startup();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.model);
        HierarchyPtr model = trevok::LoadHierarchyFromChunks(row.model, *file);
        ASSERT_TRUE(model);
        ModelCaster caster(model.get(), row.withShadow ? shadow.get() : nullptr);
        Vec3 foot;
        EXPECT_EQ(caster.ShapeRoot()->FindPartPosition(foot, "LFPrint", 0), row.left);
        EXPECT_EQ(caster.ShapeRoot()->FindPartPosition(foot, "RFPrint", 0), row.right);
        // Both have the left dummy, so both leave footprints.
        ShadowMode = 1;
        Shadows::ApplyMode();
        Shadows::AddCaster(&caster);
        EXPECT_EQ(Shadows::Casters().size(), 1u);
        Shadows::RemoveCaster(&caster);
        ShadowMode = 3;
        Shadows::ApplyMode();
        Shadows::AddCaster(&caster);
        EXPECT_EQ(Shadows::Casters().size(), row.projectedCaster ? 1u : 0u);
        if (row.projectedCaster) {
            size_t edges = 0;
            for (const CasterEdgeList& list : caster.edgeLists_)
                edges += list.edges.size();
            EXPECT_EQ(edges, 12u) << "the shadow box's creases";
        }
        Shadows::RemoveCaster(&caster);
    }
    Shadows::Shutdown();
    ShadowMode = 0;
}

} // namespace
