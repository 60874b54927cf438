#include "ui/plate_pool.h"

#include "platform/ref_counted.h"

#include <gtest/gtest.h>

namespace ui_test {
namespace {

int g_alive = 0;
struct Plate : RefCounted {
    Plate() { ++g_alive; }
    ~Plate() override { --g_alive; }
};

TEST(PlatePool, GrowsByHalfAndOneAndReusesAfterReset)
{
    {
        PlatePoolOf<Plate> pool([] { return new Plate; });
        const size_t sizes[] = {1, 2, 4, 4, 7, 7, 7, 11};
        std::vector<Plate*> handed;
        for (size_t size : sizes) {
            handed.push_back(pool.Next());
            EXPECT_EQ(pool.Size(), size);
        }
        EXPECT_EQ(pool.Used(), 8u);
        pool.Reset();
        EXPECT_EQ(pool.Next(), handed[0]);
        EXPECT_EQ(pool.Size(), 11u);
        EXPECT_EQ(g_alive, 11);
    }
    EXPECT_EQ(g_alive, 0);
}

TEST(PlatePool, AFactoryThatFailsGivesNull)
{
    int made = 0;
    PlatePoolOf<Plate> pool([&]() -> Plate* { return made++ < 1 ? new Plate : nullptr; });
    EXPECT_NE(pool.Next(), nullptr);
    EXPECT_EQ(pool.Next(), nullptr);
    EXPECT_EQ(pool.Size(), 1u);
}

TEST(PlateBatch, DrawsWithItsMaterialAtEnd)
{
    std::vector<RenderMaterial*> drawnWith;
    SpriteBatch sprites([&](auto, auto, RenderMaterial* m) { drawnWith.push_back(m); });
    PlateBatch plates(sprites);
    auto* material = reinterpret_cast<RenderMaterial*>(uintptr_t(64));
    plates.SetMaterial(material);
    plates.Begin();
    plates.Quads().DrawQuad({1, 5, 1, 5}, {}, 0, 1);
    EXPECT_TRUE(drawnWith.empty());
    plates.End();
    ASSERT_EQ(drawnWith.size(), 1u);
    EXPECT_EQ(drawnWith[0], material);
}

} // namespace
} // namespace ui_test
