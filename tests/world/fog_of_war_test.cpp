#include "world/fog_of_war.h"

#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "platform/gfx_test_screen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

struct Unit : FogDefogger {
    Vec3 at{0, 0, 0};
    float range = 1;
    bool projectile = false;
    int holds = 0;
    bool defogging = true;

    void HoldForFog() override { ++holds; }
    void ReleaseForFog() override { --holds; }
    Vec3 FogPosition() const override { return at; }
    float GetViewRange() const override { return range; }
    bool IsFogProjectile() const override { return projectile; }
    void SetDefogging(bool on) override { defogging = on; }
};

constexpr int kSize = 32;

// Brute force over the whole grid: every unit and point lowers every cell
// within its square to d^2 x 127 / r^2 (+ 63 for points and projectiles).
struct Reference {
    std::vector<uint32_t> discovered = std::vector<uint32_t>(kSize * kSize, 127);
    std::vector<uint32_t> visible;

    static int Cell(float v) { return std::clamp(int(std::floor(v * kSize / 64.0f)), 0, kSize - 1); }
    static void Stamp(std::vector<uint32_t>& layer, const Vec3& at, float radiusCells, uint32_t base)
    {
        const long long r = std::max(1LL, (long long)std::floor(radiusCells));
        const int ci = Cell(at.x), cj = Cell(at.z);
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                if (std::abs(x - ci) <= r && std::abs(y - cj) <= r) {
                    const long long d2 = (long long)(x - ci) * (x - ci) + (long long)(y - cj) * (y - cj);
                    layer[x + y * kSize] = std::min<uint32_t>(layer[x + y * kSize], uint32_t(d2 * 127 / (r * r) + base));
                }
    }
    void Frame(const std::vector<Unit*>& units, const std::vector<FogClearPoint>& points)
    {
        visible.assign(kSize * kSize, 127);
        for (const FogClearPoint& p : points)
            Stamp(visible, p.position, p.radius * kSize / 64.0f, 63);
        for (const Unit* u : units)
            Stamp(visible, u->at, u->range * kSize / 64.0f, u->projectile ? 63 : 0);
        for (size_t i = 0; i < visible.size(); ++i)
            discovered[i] = std::min(discovered[i], visible[i]);
    }
};

std::unique_ptr<FogOfWar> MakeFog()
{
    auto fog = std::make_unique<FogOfWar>(kSize, 2048);
    fog->SetWorldArea(0, 0, 64, 40); // widened to a 64 square round the z centre
    fog->SetEnabled(true);
    return fog;
}

Vec3 Ground(float x, float z)
{
    return {x, 0, z - 12}; // the area's z runs from -12 to 52
}

TEST(FogOfWar, LayersEqualTheBruteForceAsUnitsMoveAndLeave)
{
    std::unique_ptr<FogOfWar> fog = MakeFog();
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> place(-4, 68), range(0, 14);
    Unit units[4];
    std::vector<Unit*> active;
    for (Unit& u : units) {
        u.range = range(rng);
        fog->AddDefogger(&u);
        active.push_back(&u);
    }
    units[3].projectile = true;
    auto point = std::make_unique<FogClearPoint>();
    point->position = {40, 0, 40};
    point->radius = 9;
    const std::vector<FogClearPoint> points = {*point};
    fog->AddClearPoint(std::move(point));
    Reference want;
    for (int frame = 0; frame < 12; ++frame) {
        for (Unit* u : active)
            u->at = {place(rng), 0, place(rng) - 12};
        if (frame == 6) { // one unit leaves; what it found stays discovered
            fog->RemoveDefogger(&units[1]);
            active.erase(std::find(active.begin(), active.end(), &units[1]));
            EXPECT_EQ(units[1].holds, 0);
        }
        fog->UpdateAt(uint64_t(frame));
        std::vector<Vec3> shifted;
        std::vector<Unit> moved;
        for (Unit* u : active)
            moved.push_back(*u);
        std::vector<Unit*> seen;
        for (Unit& u : moved) {
            u.at.z += 12;
            seen.push_back(&u);
        }
        std::vector<FogClearPoint> pts = points;
        for (FogClearPoint& p : pts)
            p.position.z += 12;
        want.Frame(seen, pts);
        ASSERT_EQ(fog->Visible(), want.visible) << "frame " << frame;
        ASSERT_EQ(fog->Discovered(), want.discovered) << "frame " << frame;
    }
    for (Unit* u : active)
        fog->RemoveDefogger(u);
    for (const Unit& u : units)
        EXPECT_EQ(u.holds, 0);
}

TEST(FogOfWar, DegenerateUnitsAndPositionsStayInTheGrid)
{
    std::unique_ptr<FogOfWar> fog = MakeFog();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        Vec3 at;
        float range;
        int i, j; // the one cell cleared
    } cases[] = {
        {Ground(10, 10), 0.0f, 5, 5},            // rounds to no cell at all
        {Ground(10, 10), 1.0f, 5, 5},            // half a cell
        {Ground(10, 10), -5.0f, 5, 5},           // negative range
        {Ground(-100, 500), 0.0f, 0, kSize - 1}, // outside: the nearest edge cell
        {{nan, 0, nan}, nan, 0, 0},
    };
    for (const auto& c : cases) {
        Unit u;
        u.at = c.at;
        u.range = c.range;
        FogOfWar one(kSize, 2048);
        one.SetWorldArea(0, -12, 64, 52);
        one.SetEnabled(true);
        one.AddDefogger(&u);
        one.UpdateAt(0);
        for (int j = 0; j < kSize; ++j)
            for (int i = 0; i < kSize; ++i)
                ASSERT_EQ(one.Visible()[i + j * kSize], i == c.i && j == c.j ? 0u : 127u)
                    << "range " << c.range << " cell " << i << ", " << j;
        EXPECT_EQ(one.VisibilityAt(c.at), 0u);
        one.RemoveDefogger(&u);
    }
    // A range far past the grid clears it all without overflow.
    Unit wide;
    wide.at = Ground(32, 32);
    wide.range = 1e30f;
    fog->AddDefogger(&wide);
    fog->UpdateAt(0);
    EXPECT_EQ(*std::max_element(fog->Visible().begin(), fog->Visible().end()), 0u);
    fog->RemoveDefogger(&wide);
}

TEST(FogOfWar, QueriesReadTheNearestCellAndNothingWhenOff)
{
    std::unique_ptr<FogOfWar> fog = MakeFog();
    Unit u;
    u.at = Ground(0.5f, 0.5f);
    u.range = 4;
    fog->AddDefogger(&u);
    fog->UpdateAt(0);
    fog->RemoveDefogger(&u); // visible fogs again, discovered keeps the corner
    const struct {
        Vec3 at;
        uint32_t visibility, base;
    } cases[] = {
        {Ground(0.5f, 0.5f), 0 + 127, 254},
        {Ground(-50, -50), 127, 254},   // outside: the same corner cell
        {Ground(63.9f, 63.9f), 254, 254},
        {Ground(500, 500), 254, 254},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fog->VisibilityAt(c.at), c.visibility) << c.at.x;
        EXPECT_EQ(fog->BaseVisibilityAt(c.at), c.base) << c.at.x;
    }
    fog->SetEnabled(false);
    EXPECT_EQ(fog->VisibilityAt(Ground(60, 60)), 0u);
    EXPECT_EQ(fog->BaseVisibilityAt(Ground(60, 60)), 0u);
}

TEST(FogOfWar, ClearPointsMergeAndExpire)
{
    const struct {
        const char* name;
        Vec3 second;
        uint32_t kind;
        size_t points;
        float radius;
        uint32_t firstKind;
        int32_t remaining;
    } cases[] = {
        {"within three units: merged", {21, 0, 22}, FogClearPoint::kPermanent, 1, 6, FogClearPoint::kPermanent, 100},
        {"timed into timed: the longer time", {21, 0, 21}, FogClearPoint::kTimed, 1, 6, FogClearPoint::kTimed, 500},
        {"three units apart: kept apart", {23, 0, 20}, FogClearPoint::kTimed, 2, 4, FogClearPoint::kTimed, 100},
    };
    for (const auto& c : cases) {
        std::unique_ptr<FogOfWar> fog = MakeFog();
        auto first = std::make_unique<FogClearPoint>();
        first->position = {20, 0, 20};
        first->radius = 4;
        first->kind = FogClearPoint::kTimed;
        first->remaining = 100;
        fog->AddClearPoint(std::move(first));
        auto second = std::make_unique<FogClearPoint>();
        second->position = c.second;
        second->radius = 6;
        second->kind = c.kind;
        second->remaining = 500;
        fog->AddClearPoint(std::move(second));
        ASSERT_EQ(size_t(fog->ClearPoints().Count()), c.points) << c.name;
        const FogClearPoint& kept = **fog->ClearPoints().begin();
        EXPECT_EQ(kept.radius, c.radius) << c.name;
        EXPECT_EQ(kept.kind, c.firstKind) << c.name;
        EXPECT_EQ(kept.remaining, c.remaining) << c.name;
    }

    // A timed point lives while its time lasts; a gap longer than any
    // 32-bit time ends it instead of wrapping round; the permanent one stays.
    std::unique_ptr<FogOfWar> fog = MakeFog();
    for (uint32_t kind : {FogClearPoint::kTimed, FogClearPoint::kPermanent}) {
        auto p = std::make_unique<FogClearPoint>();
        p->position = kind == FogClearPoint::kTimed ? Vec3{10, 0, 10} : Vec3{50, 0, 50};
        p->radius = 5;
        p->kind = kind;
        p->remaining = 1000;
        fog->AddClearPoint(std::move(p));
    }
    int32_t ti = 0, tj = 0;
    fog->CellOf({10, 0, 10}, ti, tj);
    fog->UpdateAt(1'000'000);
    fog->UpdateAt(1'000'400);
    EXPECT_EQ(fog->ClearPoints().Count(), 2);
    EXPECT_EQ(fog->Fixed()[ti + tj * kSize], 63u);
    fog->UpdateAt(1'000'400 + (uint64_t(1) << 33) + 7);
    ASSERT_EQ(fog->ClearPoints().Count(), 1);
    EXPECT_EQ((*fog->ClearPoints().begin())->kind, FogClearPoint::kPermanent);
    EXPECT_EQ(fog->Fixed()[ti + tj * kSize], 127u) << "the fixed layer is rebuilt without it";
}

// One corner per part: (1, 0, 2) in its own frame, first set (0.25, 0.75).
VeShape* Corner(uint32_t format)
{
    auto* shape = new VeShape;
    SubMesh* mesh = shape->AddSubMesh(1, 0, format, false);
    const Vec3 p{1, 0, 2};
    std::memcpy(mesh->Vertex(0), &p, sizeof p);
    const uint32_t sets = (format >> gfx::kFvfTexCountShift) & 0xF;
    const float first[2] = {0.25f, 0.75f};
    if (sets > 0)
        std::memcpy(reinterpret_cast<uint8_t*>(mesh->Vertex(0)) + mesh->Stride() - 8 * sets, first, 8);
    return shape;
}

TEST(FogOfWar, MappedShapesCarryTheFogCoordinatesOfTheirWorldPlace)
{
    FogOfWar fog(kSize, 2048);
    fog.SetWorldArea(-16, -16, 48, 48); // u = (x + 16) / 64
    const struct {
        const char* name;
        uint32_t format;
        bool mapNode; // MapShapeNode: only parts with two sets
        bool written;
        bool keepsFirst;
    } cases[] = {
        {"one set gains a second", gfx::kFvfVertex, false, true, true},
        {"no set gains two", gfx::kFvfXyz | gfx::kFvfDiffuse, false, true, false},
        {"two sets are written over", gfx::kFvfXyz | gfx::kFvfTex2, false, true, true},
        {"node mapping skips one set", gfx::kFvfVertex, true, false, true},
        {"node mapping writes two sets", gfx::kFvfXyz | gfx::kFvfNormal | gfx::kFvfTex2, true, true, true},
    };
    for (const auto& c : cases) {
        // A root turned a quarter round y and moved, a part moved below it.
        std::unique_ptr<ShapeInstance> root(new ShapeInstance);
        root->local_.SetPosition({4, 0, 8});
        root->local_.SetOrientation(Quaternion::FromAxisAngle({0, 1, 0}, 1.5707964f));
        VeShape* shape = Corner(c.format);
        ShapeInstance* part = ShapeInstance::FromShape(shape, false);
        shape->Release();
        part->local_.SetPosition({2, 0, 0});
        root->AppendChild(part);
        Matrix34 placement{1};
        placement.SetTranslation({-1, 0, 3});
        if (c.mapNode)
            fog.MapShapeNode(*root, placement);
        else
            fog.MapShape(*root, placement);
        const Vec3 world = (placement * root->local_.Matrix() * part->local_.Matrix()).TransformPoint({1, 0, 2});
        SubMesh& mesh = **part->slots_[0]->SubMeshes().begin();
        const uint32_t sets = (mesh.format >> gfx::kFvfTexCountShift) & 0xF;
        float uv[4] = {};
        std::memcpy(uv, reinterpret_cast<uint8_t*>(mesh.Vertex(0)) + mesh.Stride() - 8 * sets, 8 * std::min(sets, 2u));
        EXPECT_EQ(sets, c.written ? 2u : 1u) << c.name;
        Vec3 position;
        std::memcpy(&position, mesh.Vertex(0), sizeof position);
        EXPECT_EQ(position, Vec3(1, 0, 2)) << c.name;
        if (c.keepsFirst) {
            EXPECT_EQ(uv[0], 0.25f) << c.name;
            EXPECT_EQ(uv[1], 0.75f) << c.name;
        }
        if (c.written) {
            EXPECT_NEAR(uv[2], (world.x + 16) / 64, 1e-6) << c.name;
            EXPECT_NEAR(uv[3], (world.z + 16) / 64, 1e-6) << c.name;
        }
    }
}

// Reads every texel back and compares its alpha with discovered + visible.
void ExpectTextureShowsLayers(FogOfWar& fog, const std::string& what)
{
    gfx::Texture* texture = fog.VideoTexture();
    uint32_t pitch = 0;
    const uint8_t* bits = texture->Lock(0, pitch);
    ASSERT_NE(bits, nullptr);
    const gfx::FormatDesc& f = fog.Format();
    const int alphaBits = std::popcount(f.alphaMask), shift = std::countr_zero(f.alphaMask);
    int wrong = 0;
    for (int y = 0; y < fog.Size(); ++y)
        for (int x = 0; x < fog.Size(); ++x) {
            uint32_t texel = 0;
            std::memcpy(&texel, bits + size_t(y) * pitch + size_t(x) * (f.bits / 8), f.bits / 8);
            const uint32_t value = fog.Discovered()[x + y * fog.Size()] + fog.Visible()[x + y * fog.Size()];
            const uint32_t alpha = (texel & f.alphaMask) >> shift;
            wrong += alpha != value >> (8 - alphaBits);
            wrong += (texel & ~f.alphaMask & (f.bits == 16 ? 0xFFFFu : 0xFFFFFFFFu)) !=
                     (fog.PackedColour() & ~f.alphaMask & (f.bits == 16 ? 0xFFFFu : 0xFFFFFFFFu));
        }
    texture->Unlock(0);
    EXPECT_EQ(wrong, 0) << what;
}

class FogTexture : public gfxtest::Screen {};

TEST_F(FogTexture, ShowsTheLayersAfterEveryUpload)
{
    Open(64, 64, 32, false);
    for (const gfx::FormatDesc& format : {gfx::Argb8888(), gfx::Argb4444(), gfx::Argb1555()}) {
        FogOfWar fog(kSize - 1, 2048); // odd size: 16-bit rows end on an odd column
        fog.SetWorldArea(0, 0, 62, 62);
        fog.SetEnabled(true);
        Colour colour;
        colour.Set(0.25f, 0.5f, 1.0f, 1.0f);
        if (!fog.CreateSurfaces({gfx::Rgb565(), format}))
            FAIL() << "no fog texture";
        fog.SetColour(colour);
        const std::string name = std::to_string(format.bits) + "-bit alpha " + std::to_string(format.alphaMask);
        ExpectTextureShowsLayers(fog, name + " at creation");
        Unit a, b;
        a.range = 6;
        b.range = 3;
        fog.AddDefogger(&a);
        fog.AddDefogger(&b);
        const Vec3 route[] = {{3, 0, 3}, {9, 0, 4}, {21, 0, 30}, {40, 0, 41}, {61, 0, 7}};
        uint64_t now = 0;
        for (const Vec3& at : route) {
            a.at = at;
            b.at = {at.z, 0, at.x};
            fog.UpdateAt(now += 10);
            ExpectTextureShowsLayers(fog, name + " after a move");
        }
        fog.RemoveDefogger(&a);
        ExpectTextureShowsLayers(fog, name + " after a unit left");
        auto point = std::make_unique<FogClearPoint>();
        point->position = {30, 0, 30};
        point->radius = 8;
        point->kind = FogClearPoint::kTimed;
        point->remaining = 5;
        fog.AddClearPoint(std::move(point));
        fog.UpdateAt(now += 1);
        ExpectTextureShowsLayers(fog, name + " with a clearing point");
        fog.UpdateAt(now += 100); // it expires
        fog.UpdateAt(now += 1);
        ExpectTextureShowsLayers(fog, name + " after the point expired");
        fog.RemoveDefogger(&b);
        fog.UpdateAt(now += 1);
        ExpectTextureShowsLayers(fog, name + " with no unit left");
    }
}

TEST_F(FogTexture, RestoreAfterALostDeviceShowsTheLayersAgain)
{
    Open(64, 64, 32, false);
    FogOfWar fog(16, 2048);
    fog.SetWorldArea(0, 0, 16, 16);
    fog.SetEnabled(true);
    ASSERT_TRUE(fog.CreateSurfaces({gfx::Argb8888()}));
    Unit u;
    u.at = {8, 0, 8};
    u.range = 4;
    fog.AddDefogger(&u);
    fog.UpdateAt(1);
    fog.VideoTexture()->MarkLost();
    fog.Restore();
    ASSERT_NE(fog.VideoTexture(), nullptr);
    EXPECT_FALSE(fog.VideoTexture()->IsLost());
    ExpectTextureShowsLayers(fog, "after the restore");
    fog.RemoveDefogger(&u);
}

} // namespace
