// REFLECT on the level: the level's shiny surfaces are drawn a second time
// with the reflection texture added, right after the level's own draw, and
// nothing else on screen changes.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "Veapi/camera_fixture.h"
#include "Veapi/ve_object.h"
#include "effects/effect_builders.h"
#include "effects/effect_list.h"
#include "effects/effect_shapes.h"
#include "platform/gfx_caps.h"
#include "world/level.h"

namespace {

using scenetest::Rgb;

constexpr uint32_t kSurface = 0xFF606060u;  // every level texture
constexpr uint32_t kReflect = 0xFF0000C0u;  // the reflection texture

// Textures coloured by file: the reflection texture blue, any other grey.
TextureLoader ColourByName()
{
    return [](const TextureLoadRequest& req, TextureLoadResult& res) {
        const uint32_t argb = req.path.filename() == "reflect.rim" ? kReflect : kSurface;
        if (req.target)
            return req.target->ColourFill(argb);
        res.surface = gfx::Texture::Create(64, 64, gfx::Argb8888(), 1);
        res.width = res.height = 64;
        return res.surface && res.surface->ColourFill(argb);
    };
}

// A quad facing the camera, x0..x1 by y -1..1 at depth 5, with `texture`.
void AddQuad(VeShape& shape, float x0, float x1, const char* texture)
{
    SubMesh* m = shape.AddSubMesh(4, 6, gfx::kFvfVertex, false);
    const float corners[4][2] = {{x0, -1}, {x1, -1}, {x1, 1}, {x0, 1}};
    for (uint32_t i = 0; i < 4; ++i) {
        const float v[8] = {corners[i][0], corners[i][1], 5, 0, 0, -1, i == 1 || i == 2 ? 1.0f : 0.0f,
                            i >= 2 ? 1.0f : 0.0f};
        std::memcpy(m->Vertex(i), v, sizeof v);
    }
    const uint16_t indices[6] = {0, 1, 2, 0, 2, 3};
    std::memcpy(m->indices.data(), indices, sizeof indices);
    TextureEntry* t = TextureManager::Find(texture);
    shape.AddTexture(t);
    m->texture = t;
    TextureManager::Unuse(t); // the shape holds its own
}

class LevelReflection : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        std::filesystem::create_directories(dir_.Path() / "ground");
        std::filesystem::create_directories(dir_.Path() / "units");
        for (const char* name : {"ground/shiny.rim", "ground/plain.rim", "units/reflect.rim"})
            std::ofstream(dir_.Path() / name) << "x";
        TextureManager::SetGraphicsDirectory(dir_.Path());
        TextureManager::SetLoader(ColourByName());
    }
    void TearDown() override
    {
        Effects::ClearAll();
        Level::Current() = nullptr;
        level_.reset();
        EffectShapes::Release();
        Effects::SetGameCamera(nullptr);
        gfx::ResetCaps();
        SceneTest::TearDown();
    }

    // Shiny on the left of the screen's centre, plain on the right.
    void MakeLevel()
    {
        VeShape* shape = new VeShape;
        AddQuad(*shape, -2.0f, -0.2f, "ground\\shiny.rim");
        AddQuad(*shape, 0.2f, 2.0f, "GROUND\\Plain.rim");
        TextureManager::LoadPending();
        level_ = std::make_unique<Level>(shape, Vec3(0, 0, 0), nullptr);
        shape->Release();
        Colour c, s;
        c.Set(1, 1, 1, 1);
        s.Set(0, 0, 0, 1);
        level_->Lights().AddDirectionalLight(c, s, {0, 0, 1});
        Level::Current() = level_.get();
        Effects::SetGameCamera(camera_.get());
    }

    // One frame as the main loop draws it: effects first, then the level.
    void Frame()
    {
        BeginFrame(0);
        Effects::UpdateAndDrawAll(0, Effects::WorldList());
        Level::Draw(level_.get());
        EndFrame();
    }

    displaytest::TempDir dir_;
    std::unique_ptr<Level> level_;
};

TEST_F(LevelReflection, OnlyTheShinySurfacesTakeTheReflection)
{
    StartScene(320, 240);
    MakeLevel();
    // Screen points on the shiny quad, the plain quad and the empty middle.
    const int xs[3] = {130, 190, 160};
    Frame();
    Rgb before[3];
    for (int i = 0; i < 3; ++i)
        before[i] = Pixel(xs[i], 120);
    ASSERT_GT(before[0].r, 20) << "the level is drawn";

    Effects::AddSphereMapToActor(nullptr);
    Effects::AddSphereMapToActor(nullptr);  // the level has its reflection already
    EXPECT_EQ(Effects::CountKind(Effects::WorldList(), EffectKind::SphereMap), 1);
    ASSERT_NE(level_->ReflectionTexture(), nullptr);
    // The shiny texture stays in the level's list: the level still draws it.
    EXPECT_EQ(level_->DrawObject()->Textures().Count(), 2u);

    Frame();
    const Rgb shiny = Pixel(xs[0], 120);
    EXPECT_GT(shiny.b, before[0].b + 40) << "the blue reflection is added on the shiny quad";
    EXPECT_NEAR(shiny.r, before[0].r, 2);
    for (int i = 1; i < 3; ++i) {
        const Rgb now = Pixel(xs[i], 120);
        EXPECT_EQ(now.r, before[i].r) << xs[i];
        EXPECT_EQ(now.g, before[i].g) << xs[i];
        EXPECT_EQ(now.b, before[i].b) << xs[i];
    }

    // Once the record is gone, the level draws as before.
    Effects::ClearAll();
    Frame();
    EXPECT_EQ(Pixel(xs[0], 120).b, before[0].b);
}

TEST_F(LevelReflection, NothingWithoutShinySurfacesOrOnASingleStageDevice)
{
    struct Row {
        uint32_t stages;
        bool shiny;
    };
    const Row rows[] = {{1, true}, {8, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.stages << " stages, shiny " << row.shiny);
        gfx::CurrentCaps().textureStages = row.stages;
        StartScene(320, 240);
        VeShape* shape = new VeShape;
        AddQuad(*shape, -2.0f, 2.0f, row.shiny ? "ground\\shiny.rim" : "ground\\plain.rim");
        level_ = std::make_unique<Level>(shape, Vec3(0, 0, 0), nullptr);
        shape->Release();
        Level::Current() = level_.get();
        Effects::AddSphereMapToActor(nullptr);
        EXPECT_EQ(Effects::CountKind(Effects::WorldList(), EffectKind::SphereMap), 0);
        EXPECT_EQ(level_->ReflectionTexture(), nullptr);
        Level::Current() = nullptr;
        level_.reset();
        camera_.reset();
        Display::Shutdown();
    }
}

} // namespace
