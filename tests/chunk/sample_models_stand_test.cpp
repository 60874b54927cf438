// The generated models stand on the floor of a world whose y grows downward:
// every part rises from its foot (no point below y = 0, its top above it),
// every hierarchy's box reaches up from 0, and every face of a closed part
// is wound to face out of it, so it is not culled from outside.
#include "chunk/chunk_families.h"
#include "chunk/chunk_file.h"
#include "chunk/hierarchy_chunks.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>
#include <climits>
#include <filesystem>
#include <string>

namespace trevok {
namespace {

std::filesystem::path SampleRoot()
{
    const char* dir = std::getenv("TREVOK_SAMPLE_DATA");
    return dir ? dir : "sample-data";
}

struct Vec {
    double x, y, z;
};

Vec At(const ShapeData& d, int32_t i)
{
    const ShapePoint& p = d.points_[static_cast<size_t>(i)];
    return {double(p.x), double(p.y), double(p.z)};
}

// The face's normal by its winding, as the renderer culls it.
Vec Facing(const ShapeData& d, const ShapePolygon& p)
{
    const Vec a = At(d, p.vertices_[0]), b = At(d, p.vertices_[1]), c = At(d, p.vertices_[2]);
    const Vec u{b.x - a.x, b.y - a.y, b.z - a.z}, v{c.x - a.x, c.y - a.y, c.z - a.z};
    return {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}

TEST(SampleModels, PartsStandOnTheFloorAndFaceOutward)
{
    const struct {
        const char* file;
        const char* terrain; // the object of a ground sheet: faces up, may dip below 0
    } cases[] = {
        {"rifs/robot_hierarchy.rif", nullptr},
        {"rifs/footprint_models.rif", nullptr},
        {"rifs/wreck_hierarchy.rif", nullptr},
        {"rifs/objects/tf_flag.rif", nullptr},
        {"rifs/models.rif", "ground"},
        {"graphics/user interface/movement_indicator2.rif", nullptr},
    };
    RegisterModelChunkFamilies();
    int checked = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const std::filesystem::path path = SampleRoot() / c.file;
        if (!std::filesystem::exists(path))
            continue;
        auto file = ChunkFile::Open(path);
        ASSERT_TRUE(file);
        ASSERT_EQ(file->ErrorCode(), kChunkOk);
        ++checked;
        for (Chunk* chunk = file->FirstChild(); chunk; chunk = chunk->Next()) {
            if (auto* model = dynamic_cast<HierarchyChunk*>(chunk))
                if (const auto* box = model->FindChildAs<HierarchyBoundsChunk>("HIERBBOX")) {
                    EXPECT_EQ(box->maximum_[1], 0) << "the model's foot";
                    EXPECT_LT(box->minimum_[1], 0) << "the model's top is above its foot";
                }
            auto* shape = dynamic_cast<ShapeChunk*>(chunk);
            if (!shape)
                continue;
            const ShapeData& d = shape->Data();
            const std::string name = shape->GetUsers().empty() ? "" : shape->GetUsers().front()->Name();
            SCOPED_TRACE(name);
            ASSERT_FALSE(d.points_.empty());
            if (c.terrain && name == c.terrain) {
                for (const ShapePolygon& p : d.polygons_)
                    EXPECT_LT(Facing(d, p).y, 0) << "ground faces up";
                continue;
            }
            Vec centre{0, 0, 0};
            int32_t top = 0, foot = INT32_MIN;
            for (const ShapePoint& p : d.points_) {
                centre = {centre.x + p.x, centre.y + p.y, centre.z + p.z};
                top = std::min(top, p.y);
                foot = std::max(foot, p.y);
            }
            const double n = double(d.points_.size());
            centre = {centre.x / n, centre.y / n, centre.z / n};
            EXPECT_EQ(foot, 0) << "the part's foot";
            EXPECT_LT(top, 0) << "the part rises above its foot";
            for (const ShapePolygon& p : d.polygons_) {
                Vec middle{0, 0, 0};
                for (int i = 0; i < p.vertexCount_; ++i) {
                    const Vec q = At(d, p.vertices_[i]);
                    middle = {middle.x + q.x, middle.y + q.y, middle.z + q.z};
                }
                const double k = double(p.vertexCount_);
                const Vec out{middle.x / k - centre.x, middle.y / k - centre.y, middle.z / k - centre.z};
                const Vec f = Facing(d, p);
                EXPECT_GT(f.x * out.x + f.y * out.y + f.z * out.z, 0) << "a face wound inward";
            }
        }
    }
    if (checked == 0)
        GTEST_SKIP() << "no sample data in " << SampleRoot();
}

} // namespace
} // namespace trevok
