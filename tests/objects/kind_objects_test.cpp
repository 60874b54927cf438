#include "objects/kind_objects.h"

#include "objects/path_mover.h"
#include "objects/server_classes.h"
#include "server_fixture.h"
#include "world/level.h"

#include <cfloat>
#include <memory>

namespace {

class KindObjectsTest : public ServerWorld {
protected:
    void TearDown() override
    {
        ServerWorld::TearDown();
        Level::Current() = nullptr;
    }

    GameObject* MakeOfType(int32_t aiType, const Vec3& at)
    {
        script::Role& role = NewRole();
        role.aiType = aiType;
        return ServerClasses::Make(0, &role, at, Quaternion::Identity(), ObjectRegistry::Global().TakeNextId());
    }
};

TEST_F(KindObjectsTest, FactoryMakesEachKindWithItsPlacement)
{
    struct Row {
        int32_t aiType;
        Vec3 expected;
    };
    const Vec3 at{3, 5, 7};
    const Row rows[] = {
        {Kind8Object::kAiType, at},
        {Kind9Object::kAiType, {3, 4.8f, 7}},
        {Kind11Object::kAiType, {-FLT_MAX, -FLT_MAX, -FLT_MAX}},
        {0, at},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.aiType);
        GameObject* object = MakeOfType(row.aiType, at);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->IsKind(row.aiType), row.aiType != 0);
        EXPECT_FALSE(object->IsKind(row.aiType + 1));
        EXPECT_FLOAT_EQ(object->Position().x, row.expected.x);
        EXPECT_FLOAT_EQ(object->Position().y, row.expected.y);
        EXPECT_FLOAT_EQ(object->Position().z, row.expected.z);
    }
}

TEST_F(KindObjectsTest, ObjectOutsideTheWorldLooksUpNoPolygon)
{
    CollisionSource floor;
    floor.points = {{-1e6f, 0, -1e6f}, {1e6f, 0, -1e6f}, {1e6f, 0, 1e6f}, {-1e6f, 0, 1e6f}};
    floor.quads.push_back({{0, 1, 2, 3}, Vec3(0, -1, 0), 0});
    auto level = std::make_unique<Level>(nullptr, Vec3(0, 0, 0), &floor);
    level->BuildCellGrid(2, 1, 2);
    Level::Current() = level.get();
    GameObject* outside = MakeOfType(Kind11Object::kAiType, {0, 0, 0});
    outside->Activate(5, 1.0f);
    EXPECT_EQ(outside->GetPolygon(), nullptr);
    EXPECT_EQ(outside->now_, 5u);
    ServerWorld::EmptyTables();
}

} // namespace
