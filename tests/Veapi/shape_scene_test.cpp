// The twelve primitive kinds drawn under lights, read back as a player
// would see them.
#include <cmath>
#include <fstream>

#include "Veapi/primitives.h"
#include "camera_fixture.h"

namespace {

using scenetest::Rgb;
using scenetest::SceneTest;

constexpr uint32_t kOutside = 0xFFFF00FF;     // the screen beyond the viewport
constexpr uint32_t kBackground = 0xFF203040;  // the viewport's clear colour

// Rows of a row-vector rotation: where each axis goes.
gfx::Matrix Rotation(const Vec3& x, const Vec3& y, const Vec3& z)
{
    gfx::Matrix m;
    const Vec3 rows[3] = {x, y, z};
    for (int r = 0; r < 3; ++r) {
        m(r, 0) = rows[r].x;
        m(r, 1) = rows[r].y;
        m(r, 2) = rows[r].z;
    }
    return m;
}

// Scale, rotate, then move the shape's bounds centre to `at`.
gfx::Matrix Place(const VeShape& s, const gfx::Matrix& rotation, float scale, const Vec3& at)
{
    gfx::Matrix m = rotation;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            m(r, c) *= scale;
    const Vec3 centre = (s.min_ + s.max_) * 0.5f;
    float moved[4];
    TransformPoint4(m, centre, moved);
    m(3, 0) = at.x - moved[0];
    m(3, 1) = at.y - moved[1];
    m(3, 2) = at.z - moved[2];
    return m;
}

// World point at distance 10 that lands on pixel (x, y) of a 320 x 240 screen.
Vec3 AtPixel(float x, float y)
{
    const float unit = 10.0f / 120.0f;
    return {(x - 160.0f) * unit, (y - 120.0f) * unit, 10.0f};
}

bool Same(const Rgb& a, uint32_t rgb)
{
    const Rgb b = scenetest::Split(rgb);
    return std::abs(a.r - b.r) <= 2 && std::abs(a.g - b.g) <= 2 && std::abs(a.b - b.b) <= 2;
}

int Brightness(const Rgb& c)
{
    return c.r + c.g + c.b;
}

class PrimitiveScene : public SceneTest {
protected:
    // Clears the whole screen, then the viewport inside it.
    void BeginViewportFrame(int left, int top, int width, int height)
    {
        BeginFrame(kOutside);
        camera_->SetViewportPixels(left, top, width, height);
        camera_->SetCurrent();
        Display::ClearColour() = kBackground;
        Display::Clear();
    }

    LightSet* Lights(float directional, float point, const Vec3& pointAt, float range)
    {
        auto* set = new LightSet;
        Colour d, p, black;
        d.Set(directional, directional, directional, 1);
        p.Set(point, point, point, 1);
        black.Set(0, 0, 0, 1);
        set->AddDirectionalLight(d, black, {0, 0, 1});
        set->AddPointLight(p, black, pointAt, range);
        return set;
    }
};

TEST_F(PrimitiveScene, TwelveKindsAppearInTheirCellsAndNothingOutsideTheViewport)
{
    StartScene(320, 240);
    const gfx::Matrix upright = Rotation({1, 0, 0}, {0, 0, 1}, {0, -1, 0});  // y-plane shapes face the camera
    const gfx::Matrix side = Rotation({0, 0, -1}, {0, 1, 0}, {1, 0, 0});     // prisms and tubes lie across
    const gfx::Matrix none;
    struct Kind {
        PrimitiveDesc desc;
        const gfx::Matrix* rotation;
        float scale;
    };
    const Kind kinds[12] = {
        {{0, 1024, 1024, 0, nullptr}, &upright, 3.0f}, {{1, 1024, 1024, 0, nullptr}, &none, 3.0f},
        {{2, 1, 1, 0, nullptr}, &upright, 3.0f},       {{3, 1, 1, 0, nullptr}, &upright, 3.0f},
        {{4, 4, 4, 2, nullptr}, &none, 3.0f},          {{5, 4, 4, 1, nullptr}, &none, 3.0f},
        {{6, 0, 0, 0, nullptr}, &none, 3.0f},          {{7, 1, 1, 0, nullptr}, &upright, 3.0f},
        {{8, 0, 0, 0, nullptr}, &side, 3.0f},          {{9, 12, 0, 0, nullptr}, &side, 1.5f},
        {{10, 12, 1, 2, nullptr}, &side, 1.0f},        {{11, 1, 16, 0, nullptr}, &none, 1.5f},
    };
    // The viewport leaves a 10-pixel frame of the screen; the shapes are
    // drawn in 80-pixel cells, and a big box reaches past every edge.
    BeginViewportFrame(10, 10, 300, 220);
    Display::Device()->SetRenderState(gfx::RenderState::CullMode, gfx::cull::None);
    RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::Opaque));
    LightSet* lights = Lights(0.6f, 0.6f, {0, 0, 5}, 20.0f);
    lights->Apply();
    std::vector<VeShape*> shapes;
    for (int i = 0; i < 12; ++i) {
        VeShape* s = VeShape::FromPrimitive(kinds[i].desc);
        shapes.push_back(s);
        const float px = 40.0f + 80.0f * float(i % 4), py = 40.0f + 80.0f * float(i / 4);
        s->Draw(Place(*s, *kinds[i].rotation, kinds[i].scale, AtPixel(px, py)), nullptr, 0);
    }
    VeShape* big = VeShape::FromPrimitive({1, 1024, 1024, 0, nullptr});
    big->Draw(Place(*big, none, 200.0f, {0, 0, 50}), nullptr, 0);
    Display::Device()->SetRenderState(gfx::RenderState::CullMode, gfx::cull::CounterClockwise);
    EndFrame();

    for (int i = 0; i < 12; ++i) {
        const int px = 40 + 80 * (i % 4), py = 40 + 80 * (i / 4);
        EXPECT_FALSE(Same(Pixel(px, py), kBackground)) << "kind " << i << " not drawn at its cell";
    }
    // The big box fills the viewport round the shapes ...
    EXPECT_FALSE(Same(Pixel(12, 12), kBackground));
    EXPECT_FALSE(Same(Pixel(307, 227), kBackground));
    // ... and nothing reaches the screen outside it.
    const int outside[][2] = {{0, 0}, {9, 120}, {160, 9}, {310, 120}, {319, 239}, {160, 230}, {5, 235}};
    for (const auto& p : outside)
        EXPECT_TRUE(Same(Pixel(p[0], p[1]), kOutside)) << p[0] << ", " << p[1];
    for (VeShape* s : shapes)
        s->Release();
    big->Release();
    lights->Release();
}

TEST_F(PrimitiveScene, LitFacesOutshineFacesTurnedAway)
{
    StartScene(320, 240);
    BeginViewportFrame(0, 0, 320, 240);
    RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::Opaque));
    Display::Device()->SetRenderState(gfx::RenderState::CullMode, gfx::cull::None);
    // The point light sits left of the sphere and in front of it.
    const Vec3 sphereAt = AtPixel(160, 120);
    LightSet* lights = Lights(0.3f, 1.0f, sphereAt + Vec3{-4, 0, -4}, 10.0f);
    lights->Apply();
    VeShape* sphere = VeShape::FromPrimitive({11, 2, 24, 0, nullptr});
    sphere->Draw(Place(*sphere, gfx::Matrix{}, 1.0f, sphereAt), nullptr, 0);
    // Two quads under the directional light only: one faces it, one is turned away.
    VeShape* quad = VeShape::FromPrimitive({1, 1024, 1024, 0, nullptr});
    const gfx::Matrix turned = Rotation({-1, 0, 0}, {0, 1, 0}, {0, 0, -1});
    quad->Draw(Place(*quad, gfx::Matrix{}, 3.0f, AtPixel(40, 40)), nullptr, 0);
    quad->Draw(Place(*quad, turned, 3.0f, AtPixel(280, 40)), nullptr, 0);
    Display::Device()->SetRenderState(gfx::RenderState::CullMode, gfx::cull::CounterClockwise);
    EndFrame();

    // The sphere's radius of 2 at distance 10 is 24 pixels; look 16 each side.
    const Rgb lit = Pixel(160 - 16, 120), away = Pixel(160 + 16, 120);

    EXPECT_GT(Brightness(lit), Brightness(away) + 60) << "side toward the point light";
    const Rgb facing = Pixel(40, 40), turnedAway = Pixel(280, 40);
    EXPECT_GT(Brightness(facing), Brightness(turnedAway) + 60);
    EXPECT_FALSE(Same(turnedAway, kBackground)) << "turned away is dark, not missing";
    sphere->Release();
    quad->Release();
    lights->Release();
}

TEST_F(PrimitiveScene, MaterialsGiveTheirColours)
{
    StartScene(320, 240);
    BeginViewportFrame(0, 0, 320, 240);
    VeShape* box = VeShape::FromPrimitive({6, 0, 0, 0, nullptr});
    struct Case {
        float r, g, b;
        int x;
    };
    const Case cases[] = {{1, 0, 0, 60}, {0, 1, 0, 160}, {0, 0, 1, 260}};
    std::vector<LightSet*> sets;
    for (const Case& c : cases) {
        LightSet* s = Lights(1.0f, 0.0f, {0, 0, 0}, 1.0f);
        s->Material().diffuse = {c.r, c.g, c.b, 1};
        s->Apply();
        sets.push_back(s);
        RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::Opaque));
        box->Draw(Place(*box, gfx::Matrix{}, 3.0f, AtPixel(float(c.x), 120)), nullptr, 0);
    }
    // Vertex-colour material: lights and material play no part.
    struct Lv {
        float x, y, z;
        uint32_t diffuse, specular;
        float u, v;
    };
    const Vec3 a = AtPixel(150, 200), b = AtPixel(170, 200), d = AtPixel(160, 220);
    const Lv tri[3] = {{a.x, a.y, a.z, 0xFFFFFF00, 0, 0, 0}, {b.x, b.y, b.z, 0xFFFFFF00, 0, 0, 0},
                       {d.x, d.y, d.z, 0xFFFFFF00, 0, 0, 0}};
    RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::kLines));
    Display::Device()->SetRenderState(gfx::RenderState::CullMode, gfx::cull::None);
    Display::Device()->SetTransform(gfx::TransformType::World, gfx::Matrix{});
    Display::Device()->DrawPrimitive(gfx::Primitive::TriangleList, gfx::kFvfLVertex, tri, 3);
    Display::Device()->SetRenderState(gfx::RenderState::CullMode, gfx::cull::CounterClockwise);
    EndFrame();

    const Rgb red = Pixel(60, 120), green = Pixel(160, 120), blue = Pixel(260, 120);
    EXPECT_GT(red.r, 120);
    EXPECT_LT(red.g + red.b, 30);
    EXPECT_GT(green.g, 120);
    EXPECT_LT(green.r + green.b, 30);
    EXPECT_GT(blue.b, 120);
    EXPECT_LT(blue.r + blue.g, 30);
    const Rgb yellow = Pixel(160, 208);
    EXPECT_GT(yellow.r, 240);
    EXPECT_GT(yellow.g, 240);
    EXPECT_LT(yellow.b, 15);
    box->Release();
    for (LightSet* s : sets)
        s->Release();
}

} // namespace

namespace {

// Textured shapes (drawn from shared buffers), boxes and materials are all
// rebuilt when the device comes back from losing its surfaces.
TEST_F(PrimitiveScene, SceneLooksTheSameAfterDeviceLoss)
{
    displaytest::TempDir dir;
    for (const char* name : {"ff0000.bmp", "0000ff.bmp"})
        std::ofstream(dir.Path() / name) << "x";
    displaytest::ColourLoader loader;
    TextureManager::SetLoader(loader.Loader());
    TextureManager::SetGraphicsDirectory(dir.Path());
    StartScene(320, 240);
    TextureEntry* red = TextureManager::Find("ff0000.bmp");
    TextureEntry* blue = TextureManager::Find("0000ff.bmp");
    TextureManager::LoadPending();
    VeShape* left = VeShape::FromPrimitive({1, 1024, 1024, 0, red});
    VeShape* right = VeShape::FromPrimitive({6, 0, 0, 0, blue});
    left->BuildPositionBuffer();
    ASSERT_NE((*left->SubMeshes().begin())->shared, nullptr);

    auto frame = [&] {
        BeginViewportFrame(0, 0, 320, 240);
        LightSet* lights = Lights(1.0f, 0.0f, {0, 0, 0}, 1.0f);
        lights->Material().emissive = {1, 1, 1, 1};  // full texture colour whatever the normals
        lights->Apply();
        RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::Opaque));
        left->Draw(Place(*left, gfx::Matrix{}, 4.0f, AtPixel(80, 120)), nullptr, 0);
        right->Draw(Place(*right, gfx::Matrix{}, 4.0f, AtPixel(240, 120)), nullptr, 0);
        const bool boxSeen = left->Box()->ClipFlags() == 0;
        EndFrame();
        lights->Release();
        return boxSeen;
    };
    ASSERT_TRUE(frame());
    const Rgb before[2] = {Pixel(80, 120), Pixel(240, 120)};
    EXPECT_GT(before[0].r, 240);
    EXPECT_LT(before[0].b, 15);
    EXPECT_GT(before[1].b, 240);
    EXPECT_LT(before[1].r, 15);

    Display::ReleaseDeviceObjects();
    gfx::SimulateSurfaceLoss();
    EXPECT_EQ(DefaultMaterial::Get(DefaultMaterial::Opaque)->StateBlock(), 0u);
    EXPECT_EQ((*left->SubMeshes().begin())->shared->Buffer(), nullptr);
    Display::RestoreDeviceObjects();

    EXPECT_NE(DefaultMaterial::Get(DefaultMaterial::Opaque)->StateBlock(), 0u);
    EXPECT_NE((*left->SubMeshes().begin())->shared->Buffer(), nullptr);
    EXPECT_NE(left->Box()->Batch()->Buffer(), nullptr);
    EXPECT_TRUE(frame()) << "the box is tested against a rebuilt batch";
    const Rgb after[2] = {Pixel(80, 120), Pixel(240, 120)};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(after[i].r, before[i].r) << i;
        EXPECT_EQ(after[i].g, before[i].g) << i;
        EXPECT_EQ(after[i].b, before[i].b) << i;
    }
    left->Release();
    right->Release();
}

} // namespace
