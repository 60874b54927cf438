#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "camera_fixture.h"

namespace {

using scenetest::SceneTest;

std::unique_ptr<BoundingBox> UnitBox(float at = 0)
{
    return std::make_unique<BoundingBox>(at, at, at, at + 1, at + 1, at + 1);
}

TEST(BoxBatches, HundredAndFiftyBoxesABatchAndTheEmptiestWins)
{
    ASSERT_EQ(BoxBatch::BatchCount(), 0);
    std::vector<std::unique_ptr<BoundingBox>> boxes;
    for (int i = 0; i < 150; ++i)
        boxes.push_back(UnitBox(float(i)));
    EXPECT_EQ(BoxBatch::BatchCount(), 1);
    BoxBatch* first = boxes[0]->Batch();
    EXPECT_EQ(first->VertexCount(), 1200u);
    EXPECT_EQ(boxes[149]->FirstVertex(), 149u * 8);

    boxes.push_back(UnitBox());  // the 151st
    BoxBatch* second = boxes.back()->Batch();
    EXPECT_NE(second, first);
    EXPECT_EQ(BoxBatch::BatchCount(), 2);

    // 1192 and 8 vertices: the next box joins the batch with fewer.
    boxes.erase(boxes.begin());
    EXPECT_EQ(first->VertexCount(), 1192u);
    boxes.push_back(UnitBox());
    EXPECT_EQ(boxes.back()->Batch(), second);
    EXPECT_EQ(second->VertexCount(), 16u);

    // Leaving a batch keeps the others' places in its buffer.
    const uint32_t place = boxes[10]->FirstVertex();
    boxes.erase(boxes.begin() + 3);
    EXPECT_EQ(boxes[9]->FirstVertex(), place);

    // Corners in the documented order: 0 minimum, 5 maximum.
    const Vec3 c0 = boxes[0]->Corner(0), c5 = boxes[0]->Corner(5), c6 = boxes[0]->Corner(6);
    EXPECT_EQ(c0, Vec3(1, 1, 1));
    EXPECT_EQ(c5, Vec3(2, 2, 2));
    EXPECT_EQ(c6, Vec3(2, 1, 2));
    boxes.clear();
    EXPECT_EQ(BoxBatch::BatchCount(), 0);
}

TEST_F(SceneTest, ClipFlagsCullOnlyBoxesWhollyOutsideOnePlane)
{
    StartScene(320, 240);
    struct Case {
        Vec3 at;
        float size;
        bool visible;
    };
    const Case cases[] = {
        {{-0.5f, -0.5f, 10}, 1, true},      // in front
        {{-0.5f, -0.5f, -10}, 1, false},    // behind the eye
        {{100, -0.5f, 10}, 1, false},       // far to one side
        {{-100, -0.5f, 10}, 1, false},
        {{-0.5f, 100, 10}, 1, false},
        {{-0.5f, -0.5f, 200}, 1, false},    // beyond the far plane
        {{-50, -0.5f, 10}, 100, true},      // wider than the view: crosses it
        {{-0.5f, -0.5f, -5}, 10, true},     // round the eye
        {{12, -0.5f, 10}, 1.5f, true},      // straddling the right edge
    };
    BeginFrame();
    for (const Case& c : cases) {
        BoundingBox box(c.at.x, c.at.y, c.at.z, c.at.x + c.size, c.at.y + c.size, c.at.z + c.size);
        Display::Device()->SetTransform(gfx::TransformType::World, gfx::Matrix{});
        EXPECT_EQ(box.ClipFlags() == 0, c.visible) << c.at.x << ", " << c.at.y << ", " << c.at.z;
    }
    EndFrame();
}

TEST_F(SceneTest, ScreenRectOfABoxCoversItsPixels)
{
    StartScene(320, 240);
    BeginFrame();
    BoundingBox box(-1, -1, 10, 1, 1, 10);
    ScreenRectangle r;
    ASSERT_TRUE(box.ScreenRect(r));
    // Half a unit at distance 10 with a view height of 2 is 12 pixels each way.
    EXPECT_EQ(r.left, 160 - 12);
    EXPECT_EQ(r.right, 160 + 12);
    EXPECT_EQ(r.top, 120 - 12);
    EXPECT_EQ(r.bottom, 120 + 12);
    EndFrame();
}

} // namespace
