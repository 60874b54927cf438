// 3-D objects drawn through the render queue and read back from the screen:
// the sample robot turns as its walk sequence says, and a translucent
// texture under a material with a blended alternate shows what lies behind.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Veapi/primitives.h"
#include "Veapi/render_queue.h"
#include "camera_fixture.h"
#include "chunk/loaders/environment_loader.h"
#include "model_support.h"

namespace {

using namespace modeltest;
using scenetest::Rgb;
using scenetest::SceneTest;

constexpr int32_t kNormal = 0x10000;

std::filesystem::path SampleRifs()
{
    const char* dir = std::getenv("TREVOK_SAMPLE_DATA");
    return std::filesystem::path(dir ? dir : "sample-data") / "rifs";
}

bool Lit(const Rgb& c)
{
    return c.r + c.g + c.b > 30;
}

class ObjectScene : public SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        SequencePlayer::SetTicksPerSecond(1000);
    }
    void TearDown() override
    {
        RenderQueue::Clear();
        SequencePlayer::SetTicksPerSecond(0);
        SceneTest::TearDown();
    }

    // Queues the object for one frame at `time` and shows it.
    void DrawFrame(VeObject* object, uint64_t time, LightSet* lights, RenderMaterial* material,
                   uint32_t flags = DrawFlag::kNoBoxTests)
    {
        BeginFrame(0);
        object->QueueDraw(time, camera_.get(), lights, material, 0, flags, nullptr, nullptr, nullptr);
        EndFrame();
    }
};

// The robot's legs turn from -0.3 to +0.3 radians about their up axis over
// the first half of the walk (1200 ticks at 1000 a second). Seen along that
// axis, a point of the legs' footprint comes and goes as the sequence says.
TEST_F(ObjectScene, SampleRobotTurnsAsItsWalkSays)
{
    StartScene(320, 240);
    trevok::EnvironmentRecordPtr record = trevok::LoadEnvironmentFile(SampleRifs() / "robot_hierarchy.rif");
    if (!record)
        GTEST_SKIP() << "no sample data in " << SampleRifs();
    HierarchyPtr robot = LoadModel(*record, "ROBOT", 1000);
    ASSERT_NE(robot, nullptr);
    ASSERT_EQ(robot->name_, "robot_legs");
    ObjectRef object(VeObject::FromHierarchy(robot.get(), false));
    object->RemovePart("robot_torso");  // the legs alone
    // Up (-y, as y grows downward) turned to point away from the camera,
    // the feet 1.5 in front of it.
    object->placement_.SetOrientation(Quaternion::FromAxisAngle({1, 0, 0}, -1.5707963f));
    object->placement_.SetPosition({0, 0, 1.5f});
    object->PlaySequence(1, &kNormal, -1, 0, nullptr, 0, true);

    // Object-space points of the footprint plane: inside the legs (half
    // sizes 0.25 by 0.15) turned by `angle`, with a margin either way.
    auto inside = [](float x, float z, float angle, float margin) {
        const float c = std::cos(angle), s = std::sin(angle);
        const float u = c * x - s * z, v = s * x + c * z;  // turned back by -angle about y
        return std::abs(u) <= 0.25f - margin && std::abs(v) <= 0.15f - margin;
    };
    auto outside = [&](float x, float z, float angle, float margin) {
        return !inside(x, z, angle, -margin);
    };
    struct Probe {
        Vec3 point;
        bool found = false;
    };
    Probe onlyAtStart, onlyAtHalf;
    for (float x = -0.35f; x <= 0.35f; x += 0.01f)
        for (float z = -0.25f; z <= 0.25f; z += 0.01f) {
            if (!onlyAtStart.found && inside(x, z, -0.3f, 0.03f) && outside(x, z, 0.3f, 0.03f))
                onlyAtStart = {{x, 0, z}, true};
            if (!onlyAtHalf.found && inside(x, z, 0.3f, 0.03f) && outside(x, z, -0.3f, 0.03f))
                onlyAtHalf = {{x, 0, z}, true};
        }
    ASSERT_TRUE(onlyAtStart.found && onlyAtHalf.found);
    Vec3 a, b;
    ASSERT_TRUE(camera_->Project(object->placement_.Matrix().TransformPoint(onlyAtStart.point), a));
    ASSERT_TRUE(camera_->Project(object->placement_.Matrix().TransformPoint(onlyAtHalf.point), b));

    LightSet* lights = FrontLight();
    // Unlit: the shape's own colour shows whatever its normals say.
    RenderMaterial* material = new RenderMaterial(*DefaultMaterial::Get(DefaultMaterial::Opaque));
    material->lighting_ = 0;
    ASSERT_TRUE(material->Compile());
    Display::Device()->SetRenderState(gfx::RenderState::CullMode, gfx::cull::None);
    struct Case {
        uint64_t time;
        bool startLit, halfLit;
    };
    for (const Case& c : {Case{0, true, false}, Case{600, false, true}, Case{1200, true, false}}) {
        DrawFrame(object.o, c.time, lights, material);
        EXPECT_EQ(Lit(Pixel(int(a.x), int(a.y))), c.startLit) << "time " << c.time;
        EXPECT_EQ(Lit(Pixel(int(b.x), int(b.y))), c.halfLit) << "time " << c.time;
    }
    Display::Device()->SetRenderState(gfx::RenderState::CullMode, gfx::cull::CounterClockwise);
    lights->Release();
    material->Release();
}

// A loader whose images are one colour with the given alpha, reporting 8
// alpha bits for a translucent one as the image loader does.
TextureLoader OneColourLoader()
{
    return [](const TextureLoadRequest& req, TextureLoadResult& res) {
        const std::string name = req.path.stem().string();
        const uint32_t colour = uint32_t(std::stoul(name, nullptr, 16));
        res.surface = gfx::Texture::Create(8, 8, gfx::Argb8888(), 1);
        if (!res.surface || !res.surface->ColourFill(colour))
            return false;
        res.width = res.height = 8;
        res.alphaBits = (colour >> 24) == 0xFF ? 0 : 8;
        return true;
    };
}

TEST_F(ObjectScene, TranslucentTextureBlendsOverWhatIsBehind)
{
    displaytest::TempDir dir;
    std::filesystem::create_directories(dir.Path() / "graphics");
    for (const char* name : {"ff00ff00.bmp", "80ff0000.bmp", "ffff0000.bmp"})
        std::ofstream(dir.Path() / "graphics" / name) << "x";
    TextureManager::SetGraphicsDirectory(dir.Path() / "graphics");
    TextureManager::SetLoader(OneColourLoader());
    StartScene(320, 240);
    TextureEntry* green = TextureManager::Find("ff00ff00.bmp");
    TextureEntry* red = TextureManager::Find("80ff0000.bmp");
    TextureEntry* solidRed = TextureManager::Find("ffff0000.bmp");
    TextureManager::LoadPending();
    ASSERT_EQ(green->Options(), 0u);
    ASSERT_NE(red->Options(), 0u);
    ASSERT_EQ(solidRed->Options(), 0u);

    // Two unit quads facing the camera, scaled over the screen's centre.
    auto quad = [](TextureEntry* t, float z) {
        VeShape* s = VeShape::FromPrimitive({1, 1024, 1024, 0, t});
        VeObject* o = VeObject::FromShape(s, false);
        s->Release();
        o->placement_.SetScale({4, 4, 1});
        o->placement_.SetPosition({-2, -2, z});
        return o;
    };
    ObjectRef back(quad(green, 6));
    ObjectRef front(quad(red, 5));
    ObjectRef solidFront(quad(solidRed, 5));
    auto* material = new RenderMaterial(*DefaultMaterial::Get(DefaultMaterial::Opaque));
    material->SetAlternate(DefaultMaterial::Get(DefaultMaterial::Blended));
    ASSERT_TRUE(material->Compile());
    LightSet* lights = FrontLight();

    struct Case {
        const char* name;
        VeObject* front;
        bool blends;
    };
    for (const Case& c : {Case{"a solid texture covers", solidFront.o, false},
                          Case{"a translucent texture blends", front.o, true}}) {
        BeginFrame(0);
        c.front->QueueDraw(0, camera_.get(), lights, material, 0, DrawFlag::kNoBoxTests, nullptr, nullptr, nullptr);
        back->QueueDraw(0, camera_.get(), lights, material, 0, DrawFlag::kNoBoxTests, nullptr, nullptr, nullptr);
        EndFrame();
        const Rgb p = Pixel(160, 120);
        if (c.blends) {
            EXPECT_NEAR(p.r, 128, 24) << c.name;
            EXPECT_NEAR(p.g, 128, 24) << c.name;
        } else {
            EXPECT_GT(p.r, 230) << c.name;
            EXPECT_LT(p.g, 20) << c.name;
        }
    }
    lights->Release();
    material->Release();
}

} // namespace

namespace {

// Behind the camera the object's box culls the whole tree, which still
// animates; in front of it every node draws.
TEST_F(ObjectScene, ABoxOutOfViewCullsTheTreeWhichStillAnimates)
{
    StartScene(320, 240);
    VeShape* box = VeShape::FromPrimitive({6, 0, 0, 0, nullptr});
    std::vector<std::unique_ptr<Sequence>> body;
    body.push_back(MakeSequence(0, 1000, {{0, {0, 0, 0}, 0}, {500, {0.5f, 0, 0}, 0}}));
    Hierarchy* root = MakeNode("body", MakeSet(std::move(body)));
    root->children_.PushBack(MakeNode("arm"));
    for (Hierarchy* h : {root, *root->children_.At(0)}) {
        h->shapes_[0] = box;
        box->AddRef();
    }
    root->boundsValid_ = true;
    root->minimum_ = {0, 0, 0};
    root->maximum_ = {1.5f, 1, 1};
    box->Release();
    HierarchyRef model(root);
    struct Case {
        const char* name;
        float z;
        bool culled;
        bool objectBox;
    };
    // Without the object's box the root node's box culls, and its child,
    // culled with it, neither tests nor draws.
    for (const Case& c : {Case{"behind the camera", -6, true, true}, Case{"in front", 6, false, true},
                          Case{"behind, by the nodes' boxes", -6, true, false}}) {
        ObjectRef object(VeObject::FromHierarchy(root, true));
        if (!c.objectBox)
            object->ReleaseBounds();
        object->placement_.SetPosition({0, 0, c.z});
        uint8_t done = 0;
        object->PlaySequence(0, &kNormal, 1, 0, &done, 0, true);
        DrawFrame(object.o, 1500, nullptr, DefaultMaterial::Get(DefaultMaterial::Opaque), 0);
        EXPECT_EQ(done, 1) << c.name;
        EXPECT_EQ(object->Root()->culled_ != 0, c.culled) << c.name;
        EXPECT_EQ(object->Root()->FirstChild()->culled_ != 0, c.culled) << c.name;
    }
}

} // namespace

namespace {

// A shape slot beyond the ten draws nothing rather than reading past them.
TEST_F(ObjectScene, OnlyTheTenShapeSlotsDraw)
{
    StartScene(320, 240);
    VeShape* box = VeShape::FromPrimitive({6, 0, 0, 0, nullptr});
    Hierarchy* h = MakeNode("box");
    h->shapes_[3] = box;  // the tree holds the maker's use
    HierarchyRef model(h);
    ObjectRef object(VeObject::FromHierarchy(h, false));
    object->placement_.SetPosition({-0.5f, -0.5f, 4});
    RenderMaterial* unlit = new RenderMaterial(*DefaultMaterial::Get(DefaultMaterial::Opaque));
    unlit->lighting_ = 0;
    ASSERT_TRUE(unlit->Compile());
    struct Case {
        int32_t slot;
        bool drawn;
    };
    for (const Case& c : {Case{3, true}, Case{0, false}, Case{kShapeSlots, false}, Case{-1, false}}) {
        BeginFrame(0);
        object->QueueDraw(0, camera_.get(), nullptr, unlit, c.slot, DrawFlag::kNoBoxTests, nullptr, nullptr, nullptr);
        EndFrame();
        EXPECT_EQ(Lit(Pixel(160, 120)), c.drawn) << "slot " << c.slot;
    }
    unlit->Release();
}

} // namespace
