#include "effects/static_shadows.h"

#include "Veapi/bounding_box.h"
#include "Veapi/ve3d.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/int_math.h"
#include "app/log_file.h"
#include "platform/os.h"
#include "world/level.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <optional>
#include <type_traits>

namespace {

void WriteVec(trevok::ByteWriter& w, const Vec3& v)
{
    w.F32(v.x);
    w.F32(v.y);
    w.F32(v.z);
}

bool Finite(const Vec3& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// -0 and +0 are the same position.
uint32_t PositionBits(float f)
{
    return f == 0.0f ? 0u : std::bit_cast<uint32_t>(f);
}

Vec3 TransformPoint(const gfx::Matrix& m, const Vec3& v)
{
    return {v.x * m(0, 0) + v.y * m(1, 0) + v.z * m(2, 0) + m(3, 0),
            v.x * m(0, 1) + v.y * m(1, 1) + v.z * m(2, 1) + m(3, 1),
            v.x * m(0, 2) + v.y * m(1, 2) + v.z * m(2, 2) + m(3, 2)};
}

// Vertex formats whose positions are model-space points we know how to read.
bool KnownPositionFormat(uint32_t fvf)
{
    constexpr uint32_t kKnown = gfx::kFvfXyz | gfx::kFvfNormal | gfx::kFvfDiffuse | gfx::kFvfSpecular | 0xF00u;
    return (fvf & gfx::kFvfXyz) && !(fvf & gfx::kFvfXyzRhw) && !(fvf & ~kKnown) &&
           ((fvf >> gfx::kFvfTexCountShift) & 0xF) <= 8;
}

// The tree's own node matrices are left as its last draw made them: the
// edges follow the nodes' rest poses.
void WalkTree(EdgeBuilder& builder, ShapeInstance& node, const gfx::Matrix& parent)
{
    const gfx::Matrix world = ToDeviceMatrix(node.local_.Matrix()) * parent;
    for (List<ShapeInstance*>::Iterator it(node.children_); !it.AtEnd(); it.Next())
        WalkTree(builder, **it.Get(), world);
    AddNodeTriangles(builder, node, world);
}

} // namespace

// ---- Records ---------------------------------------------------------------

void ShadowEdge::Write(trevok::ByteWriter& w) const
{
    // The references only mean something while computing.
    w.U32(0);
    w.U32(0);
    WriteVec(w, normal1);
    WriteVec(w, normal2);
    w.U32(faceCount);
    WriteVec(w, a);
    WriteVec(w, b);
    WriteVec(w, meanNormal);
    w.F32(floorHeight);
    WriteVec(w, extrudedA);
    WriteVec(w, extrudedB);
    WriteVec(w, quadNormal);
}

// The edge is its cache record, field for field, so records are read
// straight into edges (and turned to host order in place on a big-endian
// host).
static_assert(sizeof(Vec3) == 12 && sizeof(ShadowEdge) == ShadowEdge::kBytes);
static_assert(std::is_trivially_copyable_v<ShadowEdge> && std::is_standard_layout_v<ShadowEdge>);
static_assert(offsetof(ShadowEdge, normal1) == 8 && offsetof(ShadowEdge, normal2) == 20 &&
              offsetof(ShadowEdge, faceCount) == 32 && offsetof(ShadowEdge, a) == 36 &&
              offsetof(ShadowEdge, b) == 48 && offsetof(ShadowEdge, meanNormal) == 60 &&
              offsetof(ShadowEdge, floorHeight) == 72 && offsetof(ShadowEdge, extrudedA) == 76 &&
              offsetof(ShadowEdge, extrudedB) == 88 && offsetof(ShadowEdge, quadNormal) == 100);

namespace {

// The checks of a loaded record, gathered over any number of records with
// no branch: the numbers lie from offset 8 to 76 with the face count among
// them at 32 (2 has a zero exponent field). An exponent field of all ones
// (an infinity or a NaN) plus one carries into the sign bit, so the OR of
// all such sums has its sign bit set exactly when some number was not
// finite. The sixteen words from offset 8 go four at a time.
class RecordChecks {
public:
    void Add(const ShadowEdge& e)
    {
        const auto* p = reinterpret_cast<const unsigned char*>(&e);
        const Lanes exponent = {kExponent, kExponent, kExponent, kExponent};
        const Lanes one = {kLowExponentBit, kLowExponentBit, kLowExponentBit, kLowExponentBit};
        sums_ |= (LoadLanes(p + 8) & exponent) + one;
        sums_ |= (LoadLanes(p + 24) & exponent) + one;
        sums_ |= (LoadLanes(p + 40) & exponent) + one;
        sums_ |= (LoadLanes(p + 56) & exponent) + one;
        uint32_t floor;
        std::memcpy(&floor, &e.floorHeight, 4);
        tail_ |= (floor & kExponent) + kLowExponentBit;
        faces_ |= e.faceCount ^ 2u;
    }
    bool AllUsable() const
    {
        const uint32_t sums = tail_ | sums_[0] | sums_[1] | sums_[2] | sums_[3];
        return (sums & 0x80000000u) == 0 && faces_ == 0;
    }

private:
    using Lanes = uint32_t __attribute__((vector_size(16)));
    static constexpr uint32_t kExponent = 0x7F800000u;
    static constexpr uint32_t kLowExponentBit = 0x00800000u;

    static Lanes LoadLanes(const unsigned char* p)
    {
        Lanes v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }

    Lanes sums_ = {0, 0, 0, 0};
    uint32_t tail_ = 0;
    uint32_t faces_ = 0;
};

bool UsableRecord(const ShadowEdge& e)
{
    RecordChecks checks;
    checks.Add(e);
    return checks.AllUsable();
}

} // namespace

// ---- Edge matching -----------------------------------------------------------

EdgeBuilder::Key EdgeBuilder::MakeKey(const Vec3& a, const Vec3& b)
{
    Key ka{{PositionBits(a.x), PositionBits(a.y), PositionBits(a.z), PositionBits(b.x), PositionBits(b.y),
            PositionBits(b.z)}};
    Key kb{{ka.bits[3], ka.bits[4], ka.bits[5], ka.bits[0], ka.bits[1], ka.bits[2]}};
    return std::lexicographical_compare(std::begin(kb.bits), std::end(kb.bits), std::begin(ka.bits),
                                        std::end(ka.bits))
               ? kb
               : ka;
}

size_t EdgeBuilder::Hash(const Key& k)
{
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (uint32_t v : k.bits)
        h = (h ^ v) * 0x100000001B3ull + (h >> 29);
    return size_t(h ^ (h >> 32));
}

void EdgeBuilder::Reserve(size_t triangles)
{
    // A closed mesh has one and a half edges a triangle.
    const size_t edges = triangles + triangles / 2 + 1;
    edges_.reserve(edges);
    keys_.reserve(edges);
    if (slots_.size() < edges * 2)
        Grow(std::bit_ceil(edges * 2));
}

void EdgeBuilder::Grow(size_t slots)
{
    slots_.assign(std::max<size_t>({1024, slots, slots_.size() * 2}), 0);
    const size_t mask = slots_.size() - 1;
    for (size_t e = 0; e < keys_.size(); ++e) {
        size_t i = Hash(keys_[e]) & mask;
        while (slots_[i] != 0)
            i = (i + 1) & mask;
        slots_[i] = uint32_t(e + 1);
    }
}

std::pair<size_t, bool> EdgeBuilder::FindOrAdd(const Key& k)
{
    if ((keys_.size() + 1) * 2 > slots_.size())
        Grow(0);
    const size_t mask = slots_.size() - 1;
    for (size_t i = Hash(k) & mask;; i = (i + 1) & mask) {
        const uint32_t slot = slots_[i];
        if (slot == 0) {
            slots_[i] = uint32_t(keys_.size() + 1);
            keys_.push_back(k);
            return {keys_.size() - 1, true};
        }
        if (keys_[slot - 1] == k)
            return {slot - 1, false};
    }
}

void EdgeBuilder::AddTriangle(const Vec3& p0, const Vec3& p1, const Vec3& p2, uint32_t r0, uint32_t r1, uint32_t r2)
{
    if (!Finite(p0) || !Finite(p1) || !Finite(p2))
        return;
    // In double, so that corners far out (or far apart) cannot overflow the product.
    const double ux = double(p1.x) - p0.x, uy = double(p1.y) - p0.y, uz = double(p1.z) - p0.z;
    const double vx = double(p2.x) - p0.x, vy = double(p2.y) - p0.y, vz = double(p2.z) - p0.z;
    const double cx = uy * vz - uz * vy, cy = uz * vx - ux * vz, cz = ux * vy - uy * vx;
    const double length = std::sqrt(cx * cx + cy * cy + cz * cz);
    if (!(length > 0.0) || !std::isfinite(length))
        return;
    const Vec3 normal{float(cx / length), float(cy / length), float(cz / length)};
    const Vec3* corners[3] = {&p0, &p1, &p2};
    const uint32_t refs[3] = {r0, r1, r2};
    for (int i = 0; i < 3; ++i) {
        const int j = (i + 2) % 3;  // corner i closes from the corner before it
        const Vec3& a = *corners[j];
        const Vec3& b = *corners[i];
        const auto [index, added] = FindOrAdd(MakeKey(a, b));
        if (!added) {
            ShadowEdge& e = edges_[index];
            if (e.faceCount < 2) {
                e.normal2 = normal;
                e.faceCount = 2;
                e.meanNormal = (e.meanNormal + normal) * 0.5f;
            }
            continue;
        }
        ShadowEdge e;
        e.vertexRef[0] = refs[j];
        e.vertexRef[1] = refs[i];
        e.normal1 = normal;
        e.faceCount = 1;
        e.a = a;
        e.b = b;
        e.meanNormal = normal;
        e.floorHeight = floorHeight_;
        edges_.push_back(e);
    }
}

std::vector<ShadowEdge> EdgeBuilder::Finish(bool keepOpen)
{
    std::vector<ShadowEdge> out;
    out.reserve(edges_.size());
    for (const ShadowEdge& e : edges_) {
        if (e.faceCount < 2) {
            if (keepOpen)
                out.push_back(e);
            continue;
        }
        if ((e.normal1 - e.normal2).LengthSquared() < kFlatEdgeLimit)
            continue;
        out.push_back(e);
    }
    edges_.clear();
    keys_.clear();
    slots_.clear();
    return out;
}

void AddNodeTriangles(EdgeBuilder& builder, ShapeInstance& node, const gfx::Matrix& m)
{
    VeShape* shape = node.slots_[0];
    if (!shape)
        return;
    for (List<SubMesh*>::Iterator it(shape->SubMeshes()); !it.AtEnd(); it.Next()) {
        const SubMesh& mesh = **it.Get();
        if (!KnownPositionFormat(mesh.format))
            continue;
        const size_t stride = mesh.Stride();
        const size_t vertices = std::min<size_t>(mesh.vertexCount, stride ? mesh.vertices.size() / stride : 0);
        const size_t indices = std::min<size_t>(mesh.indexCount, mesh.indices.size());
        auto corner = [&](uint16_t index) {
            const uint8_t* p = mesh.vertices.data() + size_t(index) * stride;
            Vec3 v;
            std::memcpy(&v.x, p, 4);
            std::memcpy(&v.y, p + 4, 4);
            std::memcpy(&v.z, p + 8, 4);
            return TransformPoint(m, v);
        };
        for (size_t t = 0; t + 3 <= indices; t += 3) {
            const uint16_t i0 = mesh.indices[t], i1 = mesh.indices[t + 1], i2 = mesh.indices[t + 2];
            // An index past the vertices would read outside the mesh.
            if (i0 >= vertices || i1 >= vertices || i2 >= vertices)
                continue;
            builder.AddTriangle(corner(i0), corner(i1), corner(i2), i0, i1, i2);
        }
    }
}

namespace {

size_t TriangleCount(ShapeInstance& node)
{
    size_t count = 0;
    for (List<ShapeInstance*>::Iterator it(node.children_); !it.AtEnd(); it.Next())
        count += TriangleCount(**it.Get());
    if (VeShape* shape = node.slots_[0])
        for (List<SubMesh*>::Iterator it(shape->SubMeshes()); !it.AtEnd(); it.Next())
            count += std::min<size_t>((**it.Get()).indexCount, (**it.Get()).indices.size()) / 3;
    return count;
}

} // namespace

std::vector<ShadowEdge> ComputeEdges(ShapeInstance& root, float floorHeight, bool keepOpen)
{
    EdgeBuilder builder(floorHeight);
    builder.Reserve(TriangleCount(root));
    WalkTree(builder, root, gfx::Matrix{});
    return builder.Finish(keepOpen);
}

// ---- Volumes -----------------------------------------------------------------

bool SunCastsVolumes(const Vec3& sun)
{
    return Finite(sun) && sun.y >= kMinSunDown;
}

bool IsSilhouette(const ShadowEdge& e, const Vec3& sun, bool& swap)
{
    swap = false;
    const float d1 = sun.Dot(e.normal1);
    if (e.faceCount < 2)
        return d1 < 0.0f;
    const float d2 = sun.Dot(e.normal2);
    if ((d1 >= 0.0f) == (d2 >= 0.0f))
        return false;
    swap = d1 < 0.0f;
    return true;
}

Vec3 ExtrudeToFloor(const Vec3& v, const Vec3& sun, float floorHeight)
{
    return v + sun * ((floorHeight - v.y) / sun.y);
}

void OrderedEnds(const ShadowEdge& e, const Vec3& sun, Vec3& first, Vec3& second)
{
    const bool swap = e.faceCount >= 2 && sun.Dot(e.normal1) < 0.0f;
    first = swap ? e.b : e.a;
    second = swap ? e.a : e.b;
}

bool ExtrudeEdge(ShadowEdge& e, const Vec3& sun)
{
    bool swap = false;
    if (!SunCastsVolumes(sun) || !IsSilhouette(e, sun, swap))
        return false;
    Vec3 first, second;
    OrderedEnds(e, sun, first, second);
    e.extrudedA = ExtrudeToFloor(first, sun, e.floorHeight);
    e.extrudedB = ExtrudeToFloor(second, sun, e.floorHeight);
    // The ordered ends already run the way the face turned from the sun winds
    // them, so this normal points out of the volume whichever face came first.
    e.quadNormal = (second - first).Cross(e.extrudedA - first);
    return true;
}

// ---- Cells -------------------------------------------------------------------

int CellGridSide(size_t edgeCount)
{
    const int n = int(std::sqrt(double(edgeCount / 2000)));
    return std::clamp(n, 1, 3);
}

int ShadowCellIndex(float value, float lower, float size, int side)
{
    if (!(size > 0.0f) || side <= 1)
        return 0;
    return std::clamp(FloorToInt((double(value) - double(lower)) / double(size)), 0, side - 1);
}

const ShadowCell* LevelShadowData::CellAt(float x, float z) const
{
    if (cells.empty())
        return nullptr;
    const int column = ShadowCellIndex(x, lower.x, cellWidth, side);
    const int row = ShadowCellIndex(z, lower.z, cellDepth, side);
    return &cells[size_t(row * side + column)];
}

// ---- Cache file --------------------------------------------------------------

namespace ShadowCache {

std::string FileNameFor(const std::string& scriptName)
{
    auto endsInShd = [&] {
        if (scriptName.size() < 3)
            return false;
        std::string tail = scriptName.substr(scriptName.size() - 3);
        for (char& c : tail)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        return tail == "shd";
    };
    if (scriptName.size() <= 4 || endsInShd())
        return scriptName + "shd";
    return scriptName.substr(0, scriptName.size() - 3) + "shd";
}

std::vector<uint8_t> Serialize(uint64_t fileTime, std::span<const ShadowEdge> edges)
{
    std::vector<uint8_t> out;
    out.reserve(kHeaderBytes + ShadowEdge::kBytes * edges.size());
    trevok::ByteWriter w(out);
    w.U64(fileTime);
    w.U32(uint32_t(edges.size()));
    for (const ShadowEdge& e : edges)
        e.Write(w);
    return out;
}

namespace {

// The record count a cache's head announces, or why the file is not loaded.
ReadResult ReadHead(std::span<const uint8_t> head, uint64_t fileSize, uint64_t fileTime, uint32_t& count,
                    std::string& why)
{
    trevok::ByteReader r(head);
    if (!r.Has(kHeaderBytes)) {
        why = "short header (" + std::to_string(fileSize) + " bytes)";
        return ReadResult::Damaged;
    }
    if (r.U64() != fileTime) {
        why = "made for another level file";
        return ReadResult::Stale;
    }
    count = r.U32();
    if (fileSize != kHeaderBytes + uint64_t(ShadowEdge::kBytes) * count) {
        why = "size " + std::to_string(fileSize) + " does not hold " + std::to_string(count) + " records";
        return ReadResult::Damaged;
    }
    return ReadResult::Loaded;
}

// Counts unset edges, so a vector is built from them without its storage
// being filled before the records are read over it.
struct UnsetEdges {
    using iterator_category = std::random_access_iterator_tag;
    using value_type = ShadowEdge::Unset;
    using difference_type = std::ptrdiff_t;
    using pointer = const ShadowEdge::Unset*;
    using reference = ShadowEdge::Unset;

    size_t at;
    ShadowEdge::Unset operator*() const { return {}; }
    UnsetEdges& operator++()
    {
        ++at;
        return *this;
    }
    UnsetEdges operator++(int) { return {at++}; }
    UnsetEdges& operator--()
    {
        --at;
        return *this;
    }
    UnsetEdges& operator+=(difference_type n)
    {
        at += size_t(n);
        return *this;
    }
    difference_type operator-(const UnsetEdges& other) const { return difference_type(at - other.at); }
    bool operator==(const UnsetEdges&) const = default;
};

// `count` unset edges in `out`, as the bytes the records are read into.
std::span<uint8_t> RecordStorage(std::vector<ShadowEdge>& out, uint32_t count)
{
    // The old storage goes first, so a reload takes the same block again.
    std::vector<ShadowEdge>().swap(out);
    out = std::vector<ShadowEdge>(UnsetEdges{0}, UnsetEdges{count});
    return {reinterpret_cast<uint8_t*>(out.data()), out.size() * ShadowEdge::kBytes};
}

// The records just read into `edges`, in host order and checked; the
// references and the sun's vectors are cleared, as a file never supplies
// them. The checks are gathered without a branch a record; only a damaged
// file is walked again, to name its first bad record.
ReadResult FinishRecords(std::vector<ShadowEdge>& edges, std::string* why)
{
    RecordChecks checks;
    for (ShadowEdge& e : edges) {
        if constexpr (std::endian::native != std::endian::little) {
            uint32_t words[ShadowEdge::kBytes / 4];
            std::memcpy(words, &e, sizeof words);
            for (uint32_t& w : words)
                w = __builtin_bswap32(w);
            std::memcpy(&e, words, sizeof words);
        }
        checks.Add(e);
        e.vertexRef[0] = e.vertexRef[1] = 0;
        e.extrudedA = e.extrudedB = e.quadNormal = Vec3(0, 0, 0);
    }
    if (checks.AllUsable())
        return ReadResult::Loaded;
    size_t i = 0;
    while (i + 1 < edges.size() && UsableRecord(edges[i]))
        ++i;
    edges.clear();
    if (why)
        *why = "record " + std::to_string(i) + " at offset " + std::to_string(kHeaderBytes + i * ShadowEdge::kBytes) +
               " is not a two-face edge";
    return ReadResult::Damaged;
}

} // namespace

ReadResult Parse(std::span<const uint8_t> bytes, uint64_t fileTime, std::vector<ShadowEdge>& out, std::string* why)
{
    out.clear();
    uint32_t count = 0;
    std::string reason;
    const ReadResult head = ReadHead(bytes.first(std::min(bytes.size(), kHeaderBytes)), bytes.size(), fileTime,
                                     count, reason);
    if (head != ReadResult::Loaded) {
        if (why)
            *why = std::move(reason);
        return head;
    }
    const std::span<uint8_t> records = RecordStorage(out, count);
    if (!records.empty())
        std::memcpy(records.data(), bytes.data() + kHeaderBytes, records.size());
    return FinishRecords(out, why);
}

ReadResult Load(const std::filesystem::path& file, uint64_t fileTime, std::vector<ShadowEdge>& out, std::string* why)
{
    out.clear();
    // 4 M records is far beyond any level's edges.
    constexpr uint64_t kMaxBytes = kHeaderBytes + uint64_t(ShadowEdge::kBytes) * (4u << 20);
    std::optional<ReadResult> refused;
    bool placed = false;
    std::string error;
    const bool read = platform::ReadFileInto(
        file, kMaxBytes, kHeaderBytes,
        [&](std::span<const uint8_t> head, uint64_t size, std::string& reason) -> std::span<uint8_t> {
            uint32_t count = 0;
            if (const ReadResult r = ReadHead(head, size, fileTime, count, reason); r != ReadResult::Loaded) {
                refused = r;
                return {};
            }
            placed = true;
            return RecordStorage(out, count);
        },
        &error);
    if (read)
        return FinishRecords(out, why);
    out.clear();
    // The caller names the file itself.
    const std::string prefix = file.string() + ": ";
    if (why)
        *why = error.starts_with(prefix) ? error.substr(prefix.size()) : error;
    // A file that changed while its records were read is as good as damaged.
    return refused ? *refused : placed ? ReadResult::Damaged : ReadResult::Unread;
}

} // namespace ShadowCache

// ---- Level -------------------------------------------------------------------

namespace {

std::filesystem::path gLevelScript;
bool gMapAsks = true;
Vec3 gSun{0.0f, 1.0f, 0.0f};

} // namespace

const Vec3& SunDirection()
{
    return gSun;
}

void SetSunDirection(const Vec3& direction)
{
    const float length = std::sqrt(direction.LengthSquared());
    if (!(length > 0.0f) || !std::isfinite(length))
        return;
    gSun = direction * (1.0f / length);
    if (Level* level = Level::Current(); level && level->shadowData_)
        StaticShadows::BuildGeometry(*level);
}

namespace StaticShadows {

void SetLevelScript(const std::filesystem::path& script, bool mapAsks)
{
    gLevelScript = script;
    gMapAsks = mapAsks;
}

bool MapAsks()
{
    return gMapAsks;
}

const std::filesystem::path& LevelScript()
{
    return gLevelScript;
}

LevelShadowData& DataOf(Level& level)
{
    if (!level.shadowData_)
        level.shadowData_ = std::make_shared<LevelShadowData>();
    return *static_cast<LevelShadowData*>(level.shadowData_.get());
}

namespace {

std::vector<ShadowEdge> Compute(Level& level)
{
    ShapeInstance* root = level.GetShapeRoot();
    if (!root)
        root = level.ShapeTree();
    if (!root)
        return {};
    return ComputeEdges(*root, level.floorHeight_, false);
}

} // namespace

void LoadOrBuild(Level& level)
{
    LevelShadowData& data = DataOf(level);
    if (!data.edges.empty())
        return;
    std::filesystem::path cache;
    if (!gLevelScript.empty()) {
        cache = gLevelScript;
        cache.replace_filename(ShadowCache::FileNameFor(gLevelScript.filename().string()));
    }
    if (!cache.empty()) {
        std::string why;
        const auto result = ShadowCache::Load(cache, level.levelFileTime_, data.edges, &why);
        if (result == ShadowCache::ReadResult::Loaded) {
            BuildGeometry(level);
            return;
        }
        if (result == ShadowCache::ReadResult::Damaged)
            LogFile::Write("%s: %s; rebuilt\n", cache.string().c_str(), why.c_str());
    }
    data.edges = Compute(level);
    ++data.computeCount;
    if (!cache.empty()) {
        const std::vector<uint8_t> bytes = ShadowCache::Serialize(level.levelFileTime_, data.edges);
        // The old file stays whole when the write fails; the records are used all the same.
        if (!platform::WriteWholeFile(cache, bytes.data(), bytes.size()))
            LogFile::Write("%s: cannot write the shadow cache\n", cache.string().c_str());
    }
    BuildGeometry(level);
}

void BuildGeometry(LevelShadowData& data, const Vec3& sun, const Vec3& lower, const Vec3& upper)
{
    data.cells.clear();
    data.side = CellGridSide(data.edges.size());
    data.lower = lower;
    data.upper = upper;
    const int n = data.side;
    data.cellWidth = (upper.x - lower.x) / float(n);
    data.cellDepth = (upper.z - lower.z) / float(n);
    data.cells.resize(size_t(n * n));
    for (int row = 0; row < n; ++row)
        for (int column = 0; column < n; ++column) {
            ShadowCell& cell = data.cells[size_t(row * n + column)];
            cell.minimum = {lower.x + data.cellWidth * float(column), lower.y, lower.z + data.cellDepth * float(row)};
            cell.maximum = {column == n - 1 ? upper.x : cell.minimum.x + data.cellWidth, upper.y,
                            row == n - 1 ? upper.z : cell.minimum.z + data.cellDepth};
            if (Display::Device())
                cell.box = std::make_unique<BoundingBox>(cell.minimum.x, cell.minimum.y, cell.minimum.z,
                                                         cell.maximum.x, cell.maximum.y, cell.maximum.z);
        }
    for (ShadowEdge& e : data.edges) {
        if (!ExtrudeEdge(e, sun))
            continue;
        const Vec3 points[4] = {e.a, e.b, e.extrudedA, e.extrudedB};
        size_t lastCell = SIZE_MAX;
        bool seen[9] = {};
        for (const Vec3& p : points) {
            const size_t index = size_t(ShadowCellIndex(p.z, lower.z, data.cellDepth, n) * n +
                                        ShadowCellIndex(p.x, lower.x, data.cellWidth, n));
            if (index == lastCell || seen[index])
                continue;
            seen[index] = true;
            lastCell = index;
            data.cells[index].edges.push_back(&e);
        }
    }
    data.geometryBuilt = true;
}

void BuildGeometry(Level& level)
{
    BuildGeometry(DataOf(level), gSun, level.minimum_, level.maximum_);
}

} // namespace StaticShadows
