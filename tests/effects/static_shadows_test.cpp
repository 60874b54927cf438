// The level's shadow edges: matching, the cache file (name, bytes, damaged
// files, failed writes), the cell grid and the sun.
#include "effects/static_shadows.h"

#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "world/level.h"

#include "cgal_edge_oracle.h"
#include "shadow_test_shapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>
#include <sstream>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>


namespace fs = std::filesystem;

namespace {

using shadowtest::Cube;
using shadowtest::FlatQuad;
using shadowtest::Mesh;
using shadowtest::ShapeOf;

std::vector<ShadowEdge> EdgesOf(const Mesh& m, bool keepOpen = false)
{
    EdgeBuilder b(10.0f);
    for (const auto& t : m.triangles)
        b.AddTriangle(m.points[t[0]], m.points[t[1]], m.points[t[2]]);
    return b.Finish(keepOpen);
}

std::unique_ptr<Level> LevelOf(const Mesh& m, uint64_t fileTime)
{
    VeShape* shape = ShapeOf(m);
    std::unique_ptr<ShapeInstance> tree(ShapeInstance::FromShape(shape, false));
    shape->Release();
    auto level = std::make_unique<Level>(std::move(tree), Vec3(0, 0, 0), nullptr);
    level->levelFileTime_ = fileTime;
    level->minimum_ = {0, 0, 0};
    level->maximum_ = {1, 1, 1};
    level->floorHeight_ = 1.0f;
    return level;
}

ShadowEdge TwoFaceEdge(const Vec3& a, const Vec3& b)
{
    ShadowEdge e;
    e.a = a;
    e.b = b;
    e.normal1 = {0, -1, 0};
    e.normal2 = {1, 0, 0};
    e.faceCount = 2;
    e.meanNormal = {0.5f, -0.5f, 0};
    e.floorHeight = 5.0f;
    return e;
}

std::vector<uint8_t> ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& p, const std::vector<uint8_t>& b)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

class TempFolder {
public:
    TempFolder()
    {
        path_ = fs::temp_directory_path() / ("trevok-shadows-" + std::to_string(getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempFolder() { fs::remove_all(path_); }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

} // namespace

TEST(ShadowEdges, CubeKeepsItsTwelveCreasesAndAFlatQuadNone)
{
    EXPECT_EQ(EdgesOf(Cube()).size(), 12u);
    EXPECT_EQ(EdgesOf(FlatQuad()).size(), 0u);
    // A quad's rim stays in a caster's list, which keeps open edges.
    EXPECT_EQ(EdgesOf(FlatQuad(), true).size(), 4u);
    for (const ShadowEdge& e : EdgesOf(Cube())) {
        EXPECT_EQ(e.faceCount, 2u);
        EXPECT_NEAR((e.normal1 - e.normal2).LengthSquared(), 2.0f, 1e-5f);
        EXPECT_FLOAT_EQ(e.floorHeight, 10.0f);
    }
}

TEST(ShadowEdges, DegenerateAndNonFiniteTrianglesAreSkipped)
{
    Mesh m = Cube();
    m.points.push_back({std::numeric_limits<float>::quiet_NaN(), 0, 0});
    m.triangles.push_back({0, 1, 8});  // a NaN corner
    m.triangles.push_back({0, 0, 1});  // no area
    for (const ShadowEdge& e : EdgesOf(m, true)) {
        EXPECT_TRUE(std::isfinite(e.normal1.x) && std::isfinite(e.normal1.y) && std::isfinite(e.normal1.z));
    }
    EXPECT_EQ(EdgesOf(m).size(), 12u);
    // Far-out corners keep their normals finite.
    EXPECT_EQ(EdgesOf(Cube(1e30f)).size(), 12u);
}

// Meshes the edges cannot be read from are passed over, not read past.
TEST(ShadowEdges, UnknownFormatsAndIndicesPastTheVerticesAreSkipped)
{
    VeShape* shape = ShapeOf(Cube());
    SubMesh* screen = shape->AddSubMesh(3, 3, gfx::kFvfTLVertex, false);  // pre-transformed
    screen->indices = {0, 1, 2};
    SubMesh* odd = shape->AddSubMesh(3, 3, gfx::kFvfXyz | 0x1000000u, false);  // a format bit we do not know
    odd->indices = {0, 1, 2};
    SubMesh* past = shape->AddSubMesh(3, 6, gfx::kFvfXyz, false);
    const float corners[9] = {5, 0, 0, 6, 0, 0, 5, 1, 0};
    std::memcpy(past->vertices.data(), corners, sizeof corners);
    past->indices = {0, 1, 2, 0, 1, 7};  // the second triangle names vertex 7 of 3
    std::unique_ptr<ShapeInstance> tree(ShapeInstance::FromShape(shape, false));
    shape->Release();
    const std::vector<ShadowEdge> edges = ComputeEdges(*tree, 0, true);
    EXPECT_EQ(edges.size(), 12u + 3u);  // the cube, and the one good triangle's rim
}

// A level's edges come from its nodes' rest poses; the drawn tree's own node
// matrices stay as its last draw left them.
TEST(ShadowEdges, NodesPlaceTheirCornersAndKeepTheirMatrices)
{
    ShapeInstance root;
    VeShape* shape = ShapeOf(Cube());
    auto* moved = ShapeInstance::FromShape(shape, false);
    shape->Release();
    moved->local_.SetPosition({10, 0, 0});
    root.AppendChild(moved);
    gfx::Matrix drawn;
    drawn(3, 1) = 77.0f;  // where a draw with some animation put it
    root.nodeMatrix_ = drawn;
    moved->nodeMatrix_ = drawn;
    const std::vector<ShadowEdge> edges = ComputeEdges(root, 0, false);
    ASSERT_EQ(edges.size(), 12u);
    for (const ShadowEdge& e : edges) {
        EXPECT_GE(std::min(e.a.x, e.b.x), 10.0f);
        EXPECT_LE(std::max(e.a.x, e.b.x), 11.0f);
        EXPECT_LE(std::max(e.a.y, e.b.y), 1.0f);
    }
    EXPECT_EQ(root.nodeMatrix_.m, drawn.m);
    EXPECT_EQ(moved->nodeMatrix_.m, drawn.m);
}

#ifdef TREVOK_HAVE_CGAL
// CGAL's halfedge structure counts the inner edges whose two faces are not
// coplanar, exactly and independently of our hashing.
TEST(ShadowEdges, CountsMatchCgal)
{
    auto oracle = [](const Mesh& m) {
        shadowtest::OracleMesh o;
        for (const Vec3& p : m.points)
            o.points.push_back({p.x, p.y, p.z});
        for (const auto& t : m.triangles)
            o.faces.push_back({t[0], t[1], t[2]});
        return o;
    };
    const struct {
        const char* name;
        Mesh mesh;
        size_t creases;
    } rows[] = {
        {"cube", Cube(), 12},
        {"flat quad", FlatQuad(), 0},
        {"large cube", Cube(3.5f), 12},
    };
    for (const auto& row : rows) {
        const shadowtest::CgalEdges cgal(oracle(row.mesh));
        ASSERT_TRUE(cgal.Valid()) << row.name;
        EXPECT_EQ(cgal.Creases(), row.creases) << row.name;
        EXPECT_EQ(EdgesOf(row.mesh).size(), cgal.Creases()) << row.name;
    }
}
#endif

TEST(ShadowCacheName, NeverTheScriptItself)
{
    const struct {
        const char* script;
        const char* cache;
    } rows[] = {
        {"level.tvs", "level.shd"}, {"a.tv", "a.tvshd"},       {"abcd", "abcdshd"},
        {"", "shd"},                {"base.shd", "base.shdshd"}, {"BASE.SHD", "BASE.SHDshd"},
        {"x.TVS", "x.shd"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ShadowCache::FileNameFor(row.script), row.cache) << row.script;
}

// No field has a member initialiser (records are read straight into unset
// edges), so the default constructor alone must clear them, whatever the
// memory held.
TEST(ShadowCache, ANewEdgeIsAOneFaceEdgeAtTheOrigin)
{
    alignas(ShadowEdge) unsigned char storage[sizeof(ShadowEdge)];
    std::memset(storage, 0xFF, sizeof storage);
    const ShadowEdge* e = ::new (storage) ShadowEdge;
    const std::vector<uint8_t> bytes = ShadowCache::Serialize(0, std::span(e, 1));
    std::vector<uint8_t> expect(12 + 112, 0);
    expect[8] = 1;        // one record
    expect[12 + 32] = 1;  // one face
    EXPECT_EQ(bytes, expect);
}

TEST(ShadowCache, RecordsLieFieldByFieldWithZeroReferences)
{
    ShadowEdge e = TwoFaceEdge({1, 2, 3}, {4, 5, 6});
    e.vertexRef[0] = 77;
    e.vertexRef[1] = 88;
    e.extrudedA = {9, 9, 9};
    const std::vector<uint8_t> bytes = ShadowCache::Serialize(0x0102030405060708ull, std::span(&e, 1));
    ASSERT_EQ(bytes.size(), 12u + 112u);
    trevok::ByteReader r(bytes);
    EXPECT_EQ(r.U64(), 0x0102030405060708ull);
    EXPECT_EQ(r.U32(), 1u);
    EXPECT_EQ(r.U32(), 0u);
    EXPECT_EQ(r.U32(), 0u);
    const float expect[] = {0, -1, 0, 1, 0, 0};
    for (float f : expect)
        EXPECT_EQ(r.F32(), f);
    EXPECT_EQ(r.U32(), 2u);
    const float positions[] = {1, 2, 3, 4, 5, 6, 0.5f, -0.5f, 0, 5.0f, 9, 9, 9};
    for (float f : positions)
        EXPECT_EQ(r.F32(), f);
    EXPECT_EQ(bytes[0], 0x08);
}

TEST(ShadowCache, FilesLoadedOrRebuiltAsTheirBytesSay)
{
    using R = ShadowCache::ReadResult;
    const uint64_t time = 133000000000000000ull;
    const std::vector<ShadowEdge> two = {TwoFaceEdge({0, 0, 0}, {1, 0, 0}), TwoFaceEdge({1, 0, 0}, {1, 0, 1})};
    const std::vector<uint8_t> good = ShadowCache::Serialize(time, two);
    auto with = [&](auto change) {
        std::vector<uint8_t> b = good;
        change(b);
        return b;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity(), minusInf = -inf;
    const float largest = std::numeric_limits<float>::max();
    // A longer file whose one bad record lies deep inside it.
    std::vector<ShadowEdge> forty;
    for (int i = 0; i < 40; ++i)
        forty.push_back(TwoFaceEdge({float(i), 0, 0}, {float(i) + 1, 0, 0}));
    std::vector<uint8_t> deep = ShadowCache::Serialize(time, forty);
    std::memcpy(&deep[12 + 37 * 112 + 68], &nan, 4);
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        R result;
        size_t records;
        const char* why;  // what the reason must say
    } rows[] = {
        {"good", good, R::Loaded, 2, ""},
        {"no records", ShadowCache::Serialize(time, {}), R::Loaded, 0, ""},
        {"one tick off", ShadowCache::Serialize(time + 1, two), R::Stale, 0, "made for another level file"},
        {"short header", std::vector<uint8_t>(good.begin(), good.begin() + 10), R::Damaged, 0,
         "short header (10 bytes)"},
        {"short record", std::vector<uint8_t>(good.begin(), good.end() - 1), R::Damaged, 0,
         "size 235 does not hold 2 records"},
        {"count too large", with([](auto& b) { b[8] = 3; }), R::Damaged, 0, "size 236 does not hold 3 records"},
        {"count too small", with([](auto& b) { b[8] = 1; }), R::Damaged, 0, "size 236 does not hold 1 records"},
        {"NaN normal", with([&](auto& b) { std::memcpy(&b[12 + 112 + 8], &nan, 4); }), R::Damaged, 0,
         "record 1 at offset 124 is not a two-face edge"},
        {"NaN second normal", with([&](auto& b) { std::memcpy(&b[12 + 28], &nan, 4); }), R::Damaged, 0,
         "record 0 at offset 12"},
        {"infinite end", with([&](auto& b) { std::memcpy(&b[12 + 112 + 44], &inf, 4); }), R::Damaged, 0,
         "record 1 at offset 124"},
        {"minus infinite mean normal", with([&](auto& b) { std::memcpy(&b[12 + 68], &minusInf, 4); }), R::Damaged,
         0, "record 0 at offset 12"},
        {"NaN floor height", with([&](auto& b) { std::memcpy(&b[12 + 112 + 72], &nan, 4); }), R::Damaged, 0,
         "record 1 at offset 124"},
        {"largest finite floor height", with([&](auto& b) { std::memcpy(&b[12 + 72], &largest, 4); }), R::Loaded, 2,
         ""},
        {"one face", with([](auto& b) { b[12 + 32] = 1; }), R::Damaged, 0, "record 0 at offset 12"},
        {"three faces in the second record", with([](auto& b) { b[12 + 112 + 32] = 3; }), R::Damaged, 0,
         "record 1 at offset 124"},
        {"face count with a high byte", with([](auto& b) { b[12 + 112 + 35] = 1; }), R::Damaged, 0,
         "record 1 at offset 124"},
        {"both records bad: the first is named",
         with([&](auto& b) {
             std::memcpy(&b[12 + 112 + 8], &nan, 4);
             b[12 + 32] = 0;
         }),
         R::Damaged, 0, "record 0 at offset 12"},
        {"deep bad record", deep, R::Damaged, 0, "record 37 at offset 4156 is not a two-face edge"},
        {"deep file whole", ShadowCache::Serialize(time, forty), R::Loaded, 40, ""},
    };
    // The same bytes as a file, whose records are read straight into the edges.
    TempFolder folder;
    const fs::path file = folder.Path() / "cache.shd";
    for (const auto& row : rows) {
        WriteAll(file, row.bytes);
        for (const bool fromFile : {false, true}) {
            SCOPED_TRACE(fromFile ? "from the file" : "from the bytes");
            // A vector that held records before must not keep any.
            std::vector<ShadowEdge> out = two;
            std::string why;
            const R result = fromFile ? ShadowCache::Load(file, time, out, &why)
                                      : ShadowCache::Parse(row.bytes, time, out, &why);
            EXPECT_EQ(result, row.result) << row.name;
            EXPECT_EQ(out.size(), row.records) << row.name;
            if (row.result == R::Damaged) {
                EXPECT_FALSE(why.empty()) << row.name;
            }
            EXPECT_NE(why.find(row.why), std::string::npos) << row.name << ": " << why;
        }
    }
    std::vector<ShadowEdge> none = two;
    std::string why;
    EXPECT_EQ(ShadowCache::Load(folder.Path() / "absent.shd", time, none, &why), R::Unread);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(why, "no such file");
    // Each record lands in its own edge, fields in their places.
    std::vector<ShadowEdge> many;
    ASSERT_EQ(ShadowCache::Parse(ShadowCache::Serialize(time, forty), time, many), R::Loaded);
    for (size_t i : {size_t(0), size_t(37), size_t(39)}) {
        EXPECT_EQ(many[i].a, Vec3(float(i), 0, 0)) << i;
        EXPECT_EQ(many[i].b, Vec3(float(i) + 1, 0, 0)) << i;
        EXPECT_EQ(many[i].normal2, Vec3(1, 0, 0)) << i;
        EXPECT_EQ(many[i].meanNormal, Vec3(0.5f, -0.5f, 0)) << i;
        EXPECT_EQ(many[i].floorHeight, 5.0f) << i;
        EXPECT_EQ(many[i].faceCount, 2u) << i;
    }
    // Nor are the references or the derived vectors, whatever the file holds there.
    std::vector<uint8_t> junk = good;
    for (size_t at : {size_t(12), size_t(12 + 112)}) {
        std::memset(&junk[at], 0x5A, 8);
        std::memset(&junk[at + 76], 0x3F, 36);
    }
    WriteAll(file, junk);
    for (const bool fromFile : {false, true}) {
        std::vector<ShadowEdge> out;
        ASSERT_EQ(fromFile ? ShadowCache::Load(file, time, out) : ShadowCache::Parse(junk, time, out), R::Loaded);
        ASSERT_EQ(out.size(), 2u);
        for (const ShadowEdge& e : out) {
            EXPECT_EQ(e.vertexRef[0] | e.vertexRef[1], 0u) << fromFile;
            EXPECT_EQ(e.extrudedA, Vec3(0, 0, 0)) << fromFile;
            EXPECT_EQ(e.extrudedB, Vec3(0, 0, 0)) << fromFile;
            EXPECT_EQ(e.quadNormal, Vec3(0, 0, 0)) << fromFile;
        }
        EXPECT_EQ(ShadowCache::Serialize(time, out), good) << fromFile;
    }
}

// The fixture comes from a writer that knows only the file layout.
TEST(ShadowCache, MatchesAnIndependentWriterByteForByte)
{
    const fs::path dir = fs::path(TREVOK_FIXTURES_DIR) / "effects" / "shadow_cache";
    const std::vector<uint8_t> file = ReadAll(dir / "three_edges.shd");
    const uint64_t time = 0x01D9123456789ABCull;
    std::vector<ShadowEdge> edges;
    ASSERT_EQ(ShadowCache::Parse(file, time, edges), ShadowCache::ReadResult::Loaded);
    ASSERT_EQ(edges.size(), 3u);
    EXPECT_EQ(edges[1].a, Vec3(1, 0, 0));
    EXPECT_EQ(edges[1].b, Vec3(1, 0, 1));
    EXPECT_EQ(edges[1].normal2, Vec3(1, 0, 0));
    EXPECT_EQ(edges[2].floorHeight, -3.5f);
    EXPECT_EQ(edges[0].meanNormal, Vec3(0, -0.5f, -0.5f));
    EXPECT_EQ(ShadowCache::Serialize(time, edges), file);
    std::vector<ShadowEdge> loaded;
    ASSERT_EQ(ShadowCache::Load(dir / "three_edges.shd", time, loaded), ShadowCache::ReadResult::Loaded);
    EXPECT_EQ(ShadowCache::Serialize(time, loaded), file);
    std::vector<ShadowEdge> none;
    EXPECT_EQ(ShadowCache::Parse(ReadAll(dir / "empty.shd"), time, none), ShadowCache::ReadResult::Loaded);
}

class StaticShadowsLoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        script_ = folder_.Path() / "base.tvs";
        WriteAll(script_, {'s', 'c', 'r', 'i', 'p', 't'});
        cache_ = folder_.Path() / "base.shd";
        StaticShadows::SetLevelScript(script_);
        SetSunDirection({0.3f, 1.0f, 0.2f});
    }
    void TearDown() override { StaticShadows::SetLevelScript({}); }

    TempFolder folder_;
    fs::path script_, cache_;
    static constexpr uint64_t kTime = 132500000000000000ull;
};

TEST_F(StaticShadowsLoad, ComputesWritesThenLoadsWithoutTheModel)
{
    {
        auto level = LevelOf(Cube(), kTime);
        StaticShadows::LoadOrBuild(*level);
        const LevelShadowData& d = StaticShadows::DataOf(*level);
        EXPECT_EQ(d.computeCount, 1u);
        EXPECT_EQ(d.edges.size(), 12u);
        EXPECT_TRUE(d.geometryBuilt);
        // A second call finds the records in place.
        StaticShadows::LoadOrBuild(*level);
        EXPECT_EQ(d.computeCount, 1u);
    }
    ASSERT_EQ(ReadAll(cache_).size(), 12u + 12u * 112u);
    EXPECT_EQ(ReadAll(script_).size(), 6u);
    auto level = LevelOf(FlatQuad(), kTime);  // the model is not looked at
    StaticShadows::LoadOrBuild(*level);
    EXPECT_EQ(StaticShadows::DataOf(*level).computeCount, 0u);
    EXPECT_EQ(StaticShadows::DataOf(*level).edges.size(), 12u);
}

// What we write, as a reader that knows only the layout sees it.
TEST_F(StaticShadowsLoad, WrittenCacheReadsBackThroughAnIndependentReader)
{
    auto level = LevelOf(Cube(), kTime);
    StaticShadows::LoadOrBuild(*level);
    const fs::path reader = fs::path(TREVOK_FIXTURES_DIR) / "effects" / "shadow_cache" / "make_cache.py";
    const std::string command = "python3 '" + reader.string() + "' --dump '" + cache_.string() + "'";
    FILE* p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, p))
        text += buffer;
    ASSERT_EQ(pclose(p), 0) << text;
    std::istringstream in(text);
    uint64_t time = 0;
    size_t count = 0;
    in >> time >> count;
    EXPECT_EQ(time, kTime);
    const auto& edges = StaticShadows::DataOf(*level).edges;
    ASSERT_EQ(count, edges.size());
    for (const ShadowEdge& e : edges) {
        uint32_t ref0 = 1, ref1 = 1, faces = 0;
        float f[16];
        in >> ref0 >> ref1 >> faces;
        for (float& v : f)
            in >> v;
        EXPECT_EQ(ref0, 0u);
        EXPECT_EQ(ref1, 0u);
        EXPECT_EQ(faces, 2u);
        const Vec3 read[5] = {{f[0], f[1], f[2]}, {f[3], f[4], f[5]}, {f[6], f[7], f[8]}, {f[9], f[10], f[11]},
                              {f[12], f[13], f[14]}};
        const Vec3 ours[5] = {e.normal1, e.normal2, e.a, e.b, e.meanNormal};
        for (int i = 0; i < 5; ++i)
            EXPECT_LT((read[i] - ours[i]).LengthSquared(), 1e-10f) << i;
        EXPECT_EQ(f[15], e.floorHeight);
    }
}

TEST_F(StaticShadowsLoad, StaleOrDamagedCachesAreRebuiltWhole)
{
    const std::vector<ShadowEdge> one = {TwoFaceEdge({0, 0, 0}, {1, 0, 0})};
    std::vector<uint8_t> truncated = ShadowCache::Serialize(kTime, one);
    truncated.resize(truncated.size() - 40);
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } rows[] = {
        {"one tick off", ShadowCache::Serialize(kTime - 1, one)},
        {"truncated", truncated},
        {"empty", {}},
    };
    for (const auto& row : rows) {
        WriteAll(cache_, row.bytes);
        auto level = LevelOf(Cube(), kTime);
        StaticShadows::LoadOrBuild(*level);
        EXPECT_EQ(StaticShadows::DataOf(*level).computeCount, 1u) << row.name;
        EXPECT_EQ(StaticShadows::DataOf(*level).edges.size(), 12u) << row.name;
        std::vector<ShadowEdge> reread;
        EXPECT_EQ(ShadowCache::Parse(ReadAll(cache_), kTime, reread), ShadowCache::ReadResult::Loaded) << row.name;
        EXPECT_EQ(reread.size(), 12u) << row.name;
    }
}

TEST_F(StaticShadowsLoad, FourCharacterScriptIsLeftAlone)
{
    const fs::path shortScript = folder_.Path() / "a.tv";
    WriteAll(shortScript, {'k', 'e', 'e', 'p'});
    StaticShadows::SetLevelScript(shortScript);
    auto level = LevelOf(Cube(), kTime);
    StaticShadows::LoadOrBuild(*level);
    EXPECT_EQ(ReadAll(shortScript), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(ReadAll(folder_.Path() / "a.tvshd").size(), 12u + 12u * 112u);
}

TEST_F(StaticShadowsLoad, FailedWriteKeepsTheOldCacheAndStillBuilds)
{
    const std::vector<uint8_t> old = ShadowCache::Serialize(kTime - 1, {});
    WriteAll(cache_, old);
    // The temporary file cannot be made where a folder of its name stands.
    fs::path blocker = cache_;
    blocker += ".tmp" + std::to_string(getpid());
    fs::create_directories(blocker);
    auto level = LevelOf(Cube(), kTime);
    StaticShadows::LoadOrBuild(*level);
    EXPECT_EQ(ReadAll(cache_), old);
    EXPECT_EQ(StaticShadows::DataOf(*level).edges.size(), 12u);
    EXPECT_TRUE(StaticShadows::DataOf(*level).geometryBuilt);
    fs::remove_all(blocker);
}

// A process killed while it writes the cache (here by the file-size limit,
// part way into the records) leaves the old cache whole.
TEST_F(StaticShadowsLoad, WriteKilledMidwayKeepsTheOldCache)
{
    const std::vector<ShadowEdge> one = {TwoFaceEdge({0, 0, 0}, {1, 0, 0})};
    const std::vector<uint8_t> old = ShadowCache::Serialize(kTime - 1, one);
    WriteAll(cache_, old);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit{600, 600};
        setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, SIG_DFL);
        auto level = LevelOf(Cube(), kTime);
        StaticShadows::LoadOrBuild(*level);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
    EXPECT_EQ(ReadAll(cache_), old);
    // The next load finds the old cache stale and replaces it whole.
    fs::path leftover = cache_;
    leftover += ".tmp" + std::to_string(child);
    fs::remove(leftover);
    auto level = LevelOf(Cube(), kTime);
    StaticShadows::LoadOrBuild(*level);
    EXPECT_EQ(StaticShadows::DataOf(*level).computeCount, 1u);
    EXPECT_EQ(ReadAll(cache_).size(), 12u + 12u * 112u);
}

TEST(ShadowCells, GridSideFollowsTheEdgeCount)
{
    const struct {
        size_t edges;
        int side;
    } rows[] = {{0, 1}, {7999, 1}, {8000, 2}, {17999, 2}, {18000, 3}, {1000000, 3}};
    for (const auto& row : rows) {
        EXPECT_EQ(CellGridSide(row.edges), row.side) << row.edges;
        LevelShadowData d;
        d.edges.assign(row.edges, TwoFaceEdge({0.5f, 0, 0.5f}, {0.6f, 0, 0.5f}));
        StaticShadows::BuildGeometry(d, {0, 1, 0}, {0, 0, 0}, {30, 5, 30});
        EXPECT_EQ(d.cells.size(), size_t(row.side * row.side)) << row.edges;
    }
}

TEST(ShadowCells, IndicesClampAndAZeroRangeGivesOneCell)
{
    EXPECT_EQ(ShadowCellIndex(-5.0f, 0.0f, 10.0f, 3), 0);
    EXPECT_EQ(ShadowCellIndex(45.0f, 0.0f, 10.0f, 3), 2);
    EXPECT_EQ(ShadowCellIndex(15.0f, 0.0f, 10.0f, 3), 1);
    EXPECT_EQ(ShadowCellIndex(1e30f, 0.0f, 1e-30f, 3), 2);
    EXPECT_EQ(ShadowCellIndex(5.0f, 5.0f, 0.0f, 3), 0);
    LevelShadowData d;
    d.edges.assign(20000, TwoFaceEdge({5, 0, 5}, {5, 0, 6}));
    StaticShadows::BuildGeometry(d, {0, 1, 0}, {5, 0, 5}, {5, 5, 5});  // no x or z range
    ASSERT_EQ(d.cells.size(), 9u);
    size_t placed = 0;
    for (const ShadowCell& c : d.cells)
        placed += c.edges.size();
    EXPECT_EQ(placed, 20000u);  // each edge once, in the clamped cell
    EXPECT_EQ(d.CellAt(-100, 1e9f), &d.cells[0]);
}

TEST(ShadowCells, EdgesGoToEveryCellTheirPointsFallInto)
{
    LevelShadowData d;
    // Enough edges for a 2 x 2 grid; all but the first lie past the far corner.
    d.edges.assign(8000, TwoFaceEdge({100, 0, 100}, {101, 0, 100}));
    d.edges[0] = TwoFaceEdge({4, 0, 1}, {6, 0, 1});  // crosses x = 5
    d.edges[0].normal2 = {0, 1, 0.1f};
    StaticShadows::BuildGeometry(d, {0, 1, 0}, {0, 0, 0}, {10, 5, 10});
    ASSERT_EQ(d.side, 2);
    auto holds = [&](int cell) {
        const auto& e = d.cells[size_t(cell)].edges;
        return std::find(e.begin(), e.end(), &d.edges[0]) != e.end();
    };
    EXPECT_TRUE(holds(0));
    EXPECT_TRUE(holds(1));
    EXPECT_FALSE(holds(2));
    EXPECT_FALSE(holds(3));
}

TEST(ShadowVolumes, SunOverheadExtrudesStraightDownToTheFloor)
{
    ShadowEdge e = TwoFaceEdge({1, 2, 3}, {2, 2, 3});
    e.normal1 = {0, 1, 0};  // faces the sun's way
    e.normal2 = {0, -1, 0.1f};
    e.floorHeight = 10.0f;
    ASSERT_TRUE(ExtrudeEdge(e, {0, 1, 0}));
    EXPECT_EQ(e.extrudedA, Vec3(1, 10, 3));
    EXPECT_EQ(e.extrudedB, Vec3(2, 10, 3));
    EXPECT_GT(e.quadNormal.LengthSquared(), 0.0f);
    // The same edge as its other face would have made it (faces and ends
    // the other way round) gives the same quad.
    ShadowEdge f = e;
    std::swap(f.normal1, f.normal2);
    std::swap(f.a, f.b);
    ASSERT_TRUE(ExtrudeEdge(f, {0, 1, 0}));
    EXPECT_EQ(f.extrudedA, e.extrudedA);
    EXPECT_EQ(f.extrudedB, e.extrudedB);
    EXPECT_LT((f.quadNormal - e.quadNormal).LengthSquared(), 1e-6f);
}

TEST(ShadowVolumes, HorizontalOrRisingSunCastsNothing)
{
    const Vec3 suns[] = {{1, 0, 0}, {0, -1, 0}, {0.99995f, 0.00999f, 0}, {std::nanf(""), 1, 0}};
    for (const Vec3& sun : suns) {
        ShadowEdge e = TwoFaceEdge({0, 0, 0}, {1, 0, 0});
        EXPECT_FALSE(ExtrudeEdge(e, sun));
        EXPECT_EQ(e.extrudedA, Vec3(0, 0, 0));
        LevelShadowData d;
        d.edges.assign(3, e);
        StaticShadows::BuildGeometry(d, sun, {0, 0, 0}, {1, 1, 1});
        EXPECT_TRUE(d.cells[0].edges.empty());
    }
}

TEST(ShadowVolumes, SilhouetteNeedsFacesOnBothSides)
{
    const struct {
        Vec3 n1, n2;
        uint32_t faces;
        bool silhouette, swap;
    } rows[] = {
        {{0, 1, 0}, {0, -1, 0}, 2, true, false}, {{0, -1, 0}, {0, 1, 0}, 2, true, true},
        {{0, 1, 0}, {1, 0, 0}, 2, false, false}, // zero counts with the positive
        {{0, -1, 0}, {-1, -1, 0}, 2, false, false}, {{0, -1, 0}, {}, 1, true, false},
        {{0, 1, 0}, {}, 1, false, false},
    };
    for (const auto& row : rows) {
        ShadowEdge e;
        e.normal1 = row.n1;
        e.normal2 = row.n2;
        e.faceCount = row.faces;
        bool swap = true;
        EXPECT_EQ(IsSilhouette(e, {0, 1, 0}, swap), row.silhouette);
        EXPECT_EQ(swap, row.swap);
    }
}

TEST_F(StaticShadowsLoad, SunChangeRebuildsCellsWithoutRecomputing)
{
    auto level = LevelOf(Cube(), kTime);
    Level::Current() = level.get();
    StaticShadows::LoadOrBuild(*level);
    LevelShadowData& d = StaticShadows::DataOf(*level);
    auto silhouettes = [&] { return d.cells[0].edges.size(); };
    const size_t before = silhouettes();
    d.cells[0].edges.clear();
    SetSunDirection({0, 1, 0});
    EXPECT_EQ(d.computeCount, 1u);
    EXPECT_EQ(d.edges.size(), 12u);
    // Straight down, the rim of the top face is the silhouette.
    EXPECT_EQ(silhouettes(), 4u);
    EXPECT_GT(before, 0u);
    Level::Current() = nullptr;
}
