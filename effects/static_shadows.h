// The level's silhouette-capable edges for the projected shadows of the
// level itself: computed once from the level model, cached beside the level
// script in a ".shd" file, and extruded along the sun into a grid of at most
// 3 x 3 cells that the frame pass draws from.
#pragma once

#include "Veapi/bounding_box.h"
#include "app/maths.h"
#include "platform/byte_cursor.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

class Level;
class ShapeInstance;

// One edge shared by two faces, 112 bytes in the cache file.
struct ShadowEdge {
    // The fields in a cache record's order and widths, every one a 32-bit
    // word, so a cache's records are read straight into edges. Declared
    // without initialisers: the default constructor sets them, and the
    // reader's constructor leaves them for the file's bytes.
    uint32_t vertexRef[2];  // only while computing; written as 0
    Vec3 normal1;
    Vec3 normal2;
    uint32_t faceCount;
    Vec3 a;
    Vec3 b;
    Vec3 meanNormal;
    float floorHeight;
    // For the current sun: the ordered ends extruded to the floor plane and
    // the normal of the shadow quad.
    Vec3 extrudedA;
    Vec3 extrudedB;
    Vec3 quadNormal;

    static constexpr size_t kBytes = 112;
    static constexpr size_t kCasterBytes = 80;  // the part a caster's edge uses

    void Write(trevok::ByteWriter& w) const;
    // A one-face edge at the origin, everything else zero.
    ShadowEdge()
        : vertexRef{0, 0}, normal1(0, 0, 0), normal2(0, 0, 0), faceCount(1), a(0, 0, 0), b(0, 0, 0),
          meanNormal(0, 0, 0), floorHeight(0), extrudedA(0, 0, 0), extrudedB(0, 0, 0), quadNormal(0, 0, 0)
    {
    }
    // Every field left as the memory holds it, for storage a reader fills
    // whole before anything looks at it.
    struct Unset {};
    explicit ShadowEdge(Unset) noexcept {}
};

// Matches triangle edges by their exact end positions (either order) and keeps
// the edges that can be silhouettes.
class EdgeBuilder {
public:
    explicit EdgeBuilder(float floorHeight) : floorHeight_(floorHeight) {}
    // Degenerate triangles and ones with non-finite corners are skipped.
    void AddTriangle(const Vec3& p0, const Vec3& p1, const Vec3& p2, uint32_t r0 = 0, uint32_t r1 = 0,
                     uint32_t r2 = 0);
    // Room for about this many triangles' edges, so none of the tables grows
    // while they are added.
    void Reserve(size_t triangles);
    // Drops flat two-face edges, and open edges unless `keepOpen`.
    std::vector<ShadowEdge> Finish(bool keepOpen);

private:
    struct Key {
        uint32_t bits[6];
        bool operator==(const Key&) const = default;
    };
    static Key MakeKey(const Vec3& a, const Vec3& b);
    static size_t Hash(const Key& k);
    // The edge with this key: its index, and whether it was just added (the
    // caller then appends it to edges_).
    std::pair<size_t, bool> FindOrAdd(const Key& k);
    // At least `slots` slots, and twice as many as before.
    void Grow(size_t slots);
    float floorHeight_;
    std::vector<ShadowEdge> edges_;
    // An open-addressed table over edges_: keys_[i] is edge i's key, a slot
    // holds an edge index + 1 (0: free); at most half the slots are taken.
    std::vector<Key> keys_;
    std::vector<uint32_t> slots_;
};

// Squared distance below which two face normals count as the same plane.
inline constexpr float kFlatEdgeLimit = 0.001f;

// The edges of every mesh of a tree, each node's corners placed by its rest
// pose under its parents'; the tree is not changed.
std::vector<ShadowEdge> ComputeEdges(ShapeInstance& root, float floorHeight, bool keepOpen);
// The same for one node's own meshes, its corners placed by `place`.
void AddNodeTriangles(EdgeBuilder& builder, ShapeInstance& node, const gfx::Matrix& place);

// ---- Volumes -------------------------------------------------------------

// Smallest downward component of a sun that casts volumes: a sun at or near
// the horizon, or one shining upwards, would extrude to infinity.
inline constexpr float kMinSunDown = 0.01f;
bool SunCastsVolumes(const Vec3& sun);

// The silhouette test for one edge and the sun; `swap` tells that the ends go
// in the order (b, a).
bool IsSilhouette(const ShadowEdge& e, const Vec3& sun, bool& swap);
// V moved along the sun to the plane y = floorHeight.
Vec3 ExtrudeToFloor(const Vec3& v, const Vec3& sun, float floorHeight);
// For a silhouette edge: the ordered ends, their extrusions and the quad's
// normal, written into the edge's derived vectors. False (nothing written)
// when the edge is no silhouette or the sun casts no volumes.
bool ExtrudeEdge(ShadowEdge& e, const Vec3& sun);
// The ordered ends of a silhouette edge, as ExtrudeEdge chose them.
void OrderedEnds(const ShadowEdge& e, const Vec3& sun, Vec3& first, Vec3& second);

// ---- Cells -----------------------------------------------------------------

struct ShadowCell {
    Vec3 minimum{0, 0, 0};
    Vec3 maximum{0, 0, 0};
    std::vector<const ShadowEdge*> edges;
    std::unique_ptr<BoundingBox> box;  // made only where a device exists
};

// The grid side for a number of edge records: 1 below 8000, 2 below 18000, 3 from there on.
int CellGridSide(size_t edgeCount);
// Which column a coordinate falls into, clamped to the grid; a zero range gives 0.
int ShadowCellIndex(float value, float lower, float size, int side);

// What the shadows keep of one level: the edge records and the cells of the
// last sun they were extruded for.
struct LevelShadowData {
    std::vector<ShadowEdge> edges;
    std::vector<ShadowCell> cells;
    int side = 0;
    Vec3 lower{0, 0, 0};
    Vec3 upper{0, 0, 0};
    float cellWidth = 0, cellDepth = 0;
    bool geometryBuilt = false;
    uint32_t computeCount = 0;  // times the edges were computed from the model
    // The cell under a point.
    const ShadowCell* CellAt(float x, float z) const;
};

// ---- Cache file --------------------------------------------------------------

namespace ShadowCache {
inline constexpr size_t kHeaderBytes = 12;
// The cache name beside a script: the last three characters replaced by
// "shd"; a name of four characters or fewer, or one already ending in "shd",
// gets "shd" appended, so the cache never replaces the script.
std::string FileNameFor(const std::string& scriptName);

std::vector<uint8_t> Serialize(uint64_t fileTime, std::span<const ShadowEdge> edges);

enum class ReadResult { Loaded, Stale, Damaged, Unread };
// Stale: another file time. Damaged: the size is not 12 + 112 x count, or a
// record holds non-finite numbers or a face count other than 2; nothing of a
// damaged file is kept. Unread: the file could not be read at all (missing,
// not a regular file, a read error). `why` says what was wrong. The
// references and the sun's vectors are never taken from a file: they are
// zero in every edge read.
ReadResult Parse(std::span<const uint8_t> bytes, uint64_t fileTime, std::vector<ShadowEdge>& out,
                 std::string* why = nullptr);
// The same from a file, whose records are read straight into `out`.
ReadResult Load(const std::filesystem::path& file, uint64_t fileTime, std::vector<ShadowEdge>& out,
                std::string* why = nullptr);
} // namespace ShadowCache

namespace StaticShadows {
// The level script whose name the cache takes, and whether the map asks
// for static shadows; the level load sets both.
void SetLevelScript(const std::filesystem::path& script, bool mapAsks = true);
const std::filesystem::path& LevelScript();
bool MapAsks();

// The level's shadow data (made on first use; freed with the level).
LevelShadowData& DataOf(Level& level);
// Loads the edge records from the cache, or computes and writes them, then
// builds the geometry; nothing when the level already holds records.
void LoadOrBuild(Level& level);
// The cells for the current sun direction, from the level's edge records.
void BuildGeometry(Level& level);
void BuildGeometry(LevelShadowData& data, const Vec3& sun, const Vec3& lower, const Vec3& upper);
} // namespace StaticShadows

// The sun direction (unit, pointing the way the light goes; y grows
// downwards, so a sun above the level has a positive y).
const Vec3& SunDirection();
// Sets it and rebuilds the current level's cells; the edges stay.
void SetSunDirection(const Vec3& direction);
