// Replicas on a real display: a unit, a capture-the-flag flag and the move
// marker, drawn over a grey ground through the render queue; each shows
// where an empty frame shows only the ground.
#include "client_fixture.h"

#include "Veapi/camera.h"
#include "Veapi/camera_fixture.h"
#include "Veapi/hierarchy.h"
#include "Veapi/light_set.h"
#include "Veapi/render_queue.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "world/fog_of_war.h"

#include <cstring>

namespace {

constexpr int kWidth = 320, kHeight = 240;
constexpr float kGroundY = 2.0f;
constexpr uint32_t kGround = 0xFFC0C0C0;

// A closed box with outward normals, as an engine shape (one use). Each face
// turns clockwise seen from outside, the side the device keeps when it culls
// counter-clockwise faces: the other way round the near faces are culled and
// the insides of the far ones show, turned away from a light in front.
VeShape* BoxShape(const Vec3& lo, const Vec3& hi)
{
    const uint16_t quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    const Vec3 normals[6] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}};
    auto* shape = new VeShape;
    SubMesh* mesh = shape->AddSubMesh(24, 36, gfx::kFvfVertex, false);
    for (uint32_t f = 0; f < 6; ++f) {
        for (uint32_t k = 0; k < 4; ++k) {
            const int i = quads[f][k];
            const float v[8] = {(i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z,
                                normals[f].x, normals[f].y, normals[f].z, 0, 0};
            std::memcpy(mesh->Vertex(f * 4 + k), v, sizeof v);
        }
        const uint16_t b = static_cast<uint16_t>(f * 4);
        const uint16_t tri[6] = {b, uint16_t(b + 2), uint16_t(b + 1), b, uint16_t(b + 3), uint16_t(b + 2)};
        std::copy(std::begin(tri), std::end(tri), mesh->indices.begin() + f * 6);
    }
    shape->min_ = lo;
    shape->max_ = hi;
    shape->MakeBoundingBox();
    return shape;
}

struct ColouredVertex {
    float x, y, z;
    uint32_t diffuse;
};

class ReplicaScreen : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        clients.SetUp();
        StartScene(kWidth, kHeight);
        LightSet::CreateGlobals(nullptr);
        Colour white, none;
        white.Set(1, 1, 1, 1);
        none.Set(0, 0, 0, 1);
        LightSet::Global(0)->AddDirectionalLight(white, none, {0.3f, 0.5f, 1});
    }
    void TearDown() override
    {
        Clients::Empty();
        RenderQueue::Clear();
        WorldObjectTable::SetMoveMarkerModel(nullptr);
        TeamFlag::ShapeLoader() = savedFlagLoader;
        clients.TearDown();
        LightSet::DestroyGlobals();
        SceneTest::TearDown();
    }

    void DrawGround()
    {
        gfx::Device& dev = *Display::Device();
        dev.SetTransform(gfx::TransformType::World, gfx::Matrix{});
        dev.SetRenderState(gfx::RenderState::Lighting, 0);
        dev.SetRenderState(gfx::RenderState::ZEnable, 1);
        dev.SetRenderState(gfx::RenderState::ZWriteEnable, 1);
        dev.SetRenderState(gfx::RenderState::CullMode, gfx::cull::None);
        dev.SetTexture(0, nullptr);
        const ColouredVertex ground[6] = {
            {-20, kGroundY, 1, kGround}, {20, kGroundY, 1, kGround},  {20, kGroundY, 60, kGround},
            {-20, kGroundY, 1, kGround}, {20, kGroundY, 60, kGround}, {-20, kGroundY, 60, kGround},
        };
        dev.DrawPrimitive(gfx::Primitive::TriangleList, gfx::kFvfXyz | gfx::kFvfDiffuse, ground, 6);
        dev.SetRenderState(gfx::RenderState::Lighting, 1);
        dev.SetRenderState(gfx::RenderState::CullMode, gfx::cull::CounterClockwise);
    }

    // One frame: the ground, then (when asked) every replica and flag.
    std::vector<uint32_t> Frame(bool replicas)
    {
        BeginFrame(0xFF000000);
        DrawGround();
        if (replicas)
            WorldObjectTable::DrawAll();
        RenderQueue::Flush();
        std::vector<uint8_t> bytes;
        int pitch = 0;
        EXPECT_TRUE(gfx::ReadScreen(false, bytes, pitch));
        EndFrame();
        std::vector<uint32_t> pixels(size_t(kWidth * kHeight), 0);
        for (int y = 0; y < kHeight && !bytes.empty(); ++y)
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t* p = &bytes[size_t(y * pitch + x * 4)];
                pixels[size_t(y * kWidth + x)] = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
            }
        return pixels;
    }

    // Pixels that differ from the empty frame within a few pixels of where
    // the point shows.
    int Changed(const std::vector<uint32_t>& empty, const std::vector<uint32_t>& full, const Vec3& point)
    {
        Vec3 s;
        if (!camera_->Project(point, s))
            return -1;
        int changed = 0;
        for (int y = int(s.y) - 3; y <= int(s.y) + 3; ++y)
            for (int x = int(s.x) - 3; x <= int(s.x) + 3; ++x)
                if (x >= 0 && y >= 0 && x < kWidth && y < kHeight)
                    changed += empty[size_t(y * kWidth + x)] != full[size_t(y * kWidth + x)];
        return changed;
    }

    // The fixture's client world, without a test of its own.
    struct Clients : ClientWorld {
        void TestBody() override {}
        using ClientWorld::Empty;
        using ClientWorld::kOwnSide;
        using ClientWorld::NewRole;
        using ClientWorld::SetUp;
        using ClientWorld::TearDown;
    } clients;
    std::function<VeObject*()> savedFlagLoader = TeamFlag::ShapeLoader();
};

TEST_F(ReplicaScreen, AUnitAFlagAndTheMarkerShowOverTheGround)
{
    const std::vector<uint32_t> empty = Frame(false);

    script::Role& role = clients.NewRole(0);
    VeShape* body = BoxShape({-0.4f, -1.8f, -0.4f}, {0.4f, 0, 0.4f});
    role.shape.shape = std::shared_ptr<void>(body, [](void* s) { static_cast<VeShape*>(s)->Release(); });
    role.shape.hasBox = true;
    const Vec3 unitAt{-2, kGroundY, 10}, flagAt{2.5f, kGroundY, 12}, markerAt{0, kGroundY, 7};
    WorldObject* unit = WorldObject::CreateByRole(Clients::kOwnSide, &role, unitAt, Quaternion::Identity());
    ASSERT_TRUE(unit && unit->IsUnit());
    unit->Activate(0, 0);

    TeamFlag::ShapeLoader() = [] {
        VeShape* pole = BoxShape({-0.2f, -2.0f, -0.2f}, {0.2f, 0, 0.2f});
        VeObject* object = VeObject::FromShape(pole, true);
        pole->Release();
        return object;
    };
    TeamTable::Find(1)->flag = std::make_unique<TeamFlag>(flagAt.x, flagAt.y, flagAt.z, 0);

    auto* marker = new Hierarchy;
    marker->shapes_[0] = BoxShape({-0.02f, -0.02f, -0.02f}, {0.02f, 0, 0.02f});
    WorldObjectTable::SetMoveMarkerModel(marker);
    marker->Release();
    auto* walker = static_cast<MovingObject*>(unit);
    MotionRecord record;
    record.position = unitAt;
    walker->ApplyMoving(markerAt, record, markerAt);
    walker->Update(1, 0);
    ASSERT_NE(walker->Marker(), nullptr);

    const std::vector<uint32_t> full = Frame(true);
    EXPECT_GT(Changed(empty, full, unit->GetCentre()), 20) << "the unit";
    EXPECT_GT(Changed(empty, full, flagAt + Vec3{0, -1, 0}), 20) << "the flag";
    EXPECT_GT(Changed(empty, full, markerAt + Vec3{0, -0.2f, 0}), 5) << "the marker";
    EXPECT_EQ(Changed(empty, full, {-1.5f, kGroundY, 30}), 0) << "bare ground";
    // The white sun lights the unit's white faces grey to white, not black.
    Vec3 s;
    ASSERT_TRUE(camera_->Project(unit->GetCentre(), s));
    const uint32_t lit = full[size_t(int(s.y) * kWidth + int(s.x))];
    EXPECT_GT(lit & 0xFF, 0x40u) << std::hex << lit;
    EXPECT_EQ((lit >> 16) & 0xFF, lit & 0xFF) << std::hex << lit << ": a white light on a white unit";
}


// The clip test of the object's box decides what counts as on the screen:
// an object out of the view is kept for its sequences only and is neither
// visible nor on the screen; one in view stores where its box stands on the
// screen, unless it belongs to no side.
TEST_F(ReplicaScreen, OnlyAnObjectInViewIsOnTheScreen)
{
    script::Role& role = clients.NewRole(5);
    VeShape* body = BoxShape({-0.4f, -1.8f, -0.4f}, {0.4f, 0, 0.4f});
    role.shape.shape = std::shared_ptr<void>(body, [](void* s) { static_cast<VeShape*>(s)->Release(); });
    role.shape.hasBox = true;
    std::vector<ClientDraw> queued;
    WorldObjectTable::DrawHook() = [&](const ClientDraw& d) { queued.push_back(d); };
    const struct {
        const char* name;
        Vec3 at;
        int32_t side;
        bool onScreen;
        bool rectStored;
    } rows[] = {
        {"ahead", {0, kGroundY, 10}, Clients::kOwnSide, true, true},
        {"ahead, of no side", {0, kGroundY, 10}, 0, true, false},
        {"behind the camera", {0, kGroundY, -10}, Clients::kOwnSide, false, false},
        {"far to the side", {60, kGroundY, 10}, Clients::kOwnSide, false, false},
        {"beyond the far plane", {0, kGroundY, 150}, Clients::kOwnSide, false, false},
    };
    BeginFrame(0xFF000000);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        queued.clear();
        auto* object = new WorldObject(row.side, &role, row.at, Quaternion::Identity(), ClientCreate::kAlwaysVisible,
                                       WorldObjectTable::TakeNextId());
        object->Activate(0, 0);
        gfx::Device& device = *Display::Device();
        device.SetTransform(gfx::TransformType::World, gfx::Matrix{});
        object->PlaceAndDraw();
        ASSERT_EQ(queued.size(), 1u);
        EXPECT_EQ(device.GetTransform(gfx::TransformType::World)(3, 2), 0.0f) << "the world transform is left";
        EXPECT_EQ(object->OnScreen(), row.onScreen);
        EXPECT_EQ(object->IsVisible(), row.onScreen);
        EXPECT_EQ(queued[0].flags & ClientRender::kCulled,
                  row.onScreen ? ClientRender::kDrawn | DrawFlag::kNoBoxTests : ClientRender::kCulled);
        const ScreenRectangle& rect = object->LastScreenRect();
        if (row.rectStored) {
            Vec3 centre;
            ASSERT_TRUE(camera_->Project(object->GetCentre(), centre));
            EXPECT_LT(rect.left, int(centre.x));
            EXPECT_GT(rect.right, int(centre.x));
            EXPECT_LT(rect.top, int(centre.y));
            EXPECT_GT(rect.bottom, int(centre.y));
            EXPECT_GE(rect.left, 0);
            EXPECT_LE(rect.right, kWidth);
        } else {
            EXPECT_EQ(rect.right - rect.left, 0);
        }
        object->Remove();
    }
    EndFrame();
    WorldObjectTable::DrawHook() = nullptr;
}
} // namespace

namespace {

// A replica's own light lives in the first global set. The render queue
// programs a set only when it is not the current one, so every change of an
// own light, made in place or by replacing it, leaves no set current and
// the next frame shows it (also when one set stays current from frame to
// frame).
TEST_F(ReplicaScreen, AChangeOfAnOwnLightReachesTheNextFrame)
{
    script::Role& role = clients.NewRole(0);
    role.light = script::LightRecord{1, 0, 0, 1, 0, 0, 20};
    role.flags = script::kRoleAlphaFogging; // dimmed by the fog over it
    const struct {
        const char* name;
        uint32_t creationFlags;
        bool fog;
        void (*change)(WorldObject& lamp);
        Vec3 position; // of the light after the change
        float red;     // its diffuse red; below 0: no light
    } rows[] = {
        {"a lamp that walks takes its light along", ClientCreate::kDynamicLight, false,
         [](WorldObject& lamp) {
             lamp.SetPosition({0, 0, 60});
             lamp.Update(WorldObject::SecondsToTicks(0.1f), 0.1f);
         },
         {0, 0, 60}, 1},
        {"the fog over a lamp dims its light", 0, true,
         [](WorldObject& lamp) { lamp.Update(WorldObject::SecondsToTicks(0.1f), 0.1f); }, {0, 0, 5}, 0},
        {"message 111 gives it another light",
         0, false,
         [](WorldObject& lamp) {
             Colour green, none;
             green.Set(0, 1, 0, 1);
             none.Set(0, 0, 0, 1);
             lamp.SetLight(green, none, 5);
         },
         {0, 0, 5}, 0},
        {"message 124 takes its light", 0, false, [](WorldObject& lamp) { lamp.RemoveLight(); }, {}, -1},
    };
    LightSet* global = LightSet::Global(0);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto* lamp = new WorldObject(Clients::kOwnSide, &role, {0, 0, 5}, Quaternion::Identity(),
                                     row.creationFlags, WorldObjectTable::TakeNextId());
        lamp->Activate(0, 0);
        ASSERT_NE(lamp->OwnLight(), nullptr);
        FogOfWar fog(16, 2048);
        if (row.fog) {
            fog.SetWorldArea(-100, -100, 100, 100);
            fog.SetEnabled(true);
            FogOfWar::Global() = &fog;
        }
        // The frame before: the set programmed and current.
        global->Apply();
        ASSERT_EQ(LightSet::Current(), global);
        row.change(*lamp);
        EXPECT_EQ(LightSet::Current(), nullptr) << "the next draw programs the set again";
        if (row.red < 0) {
            EXPECT_EQ(lamp->OwnLight(), nullptr);
        } else {
            ASSERT_NE(lamp->OwnLight(), nullptr);
            const gfx::Light& d = lamp->OwnLight()->Description();
            EXPECT_NEAR(d.position.z, row.position.z, 1e-4f);
            EXPECT_NEAR(d.diffuse.r, row.red, 0.01f);
        }
        FogOfWar::Global() = nullptr;
        lamp->Remove();
    }
}

} // namespace
