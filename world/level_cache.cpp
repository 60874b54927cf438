#include "world/level_cache.h"

#include "Veapi/mesh_data.h"
#include "Veapi/ve_object.h"
#include "platform/byte_cursor.h"
#include "chunk/huffman_coder.h"

#include <array>
#include <cfloat>
#include <chrono>
#include <cstring>
#include <fstream>
#include <system_error>

namespace {

constexpr float kMarker = FLT_MAX;
// A collision record: corners, normal, value.
constexpr size_t kTriangleBytes = 3 * 4 + 12 + 4;
constexpr size_t kQuadBytes = 4 * 4 + 12 + 4;

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::optional<LevelCacheContent> Miss(std::string* why, const char* what)
{
    if (why)
        *why = what;
    return std::nullopt;
}

} // namespace

LevelCacheContent::LevelCacheContent() = default;
LevelCacheContent::~LevelCacheContent() = default;
LevelCacheContent::LevelCacheContent(LevelCacheContent&&) noexcept = default;
LevelCacheContent& LevelCacheContent::operator=(LevelCacheContent&&) noexcept = default;

namespace LevelCache {

uint32_t Crc32(std::span<const uint8_t> data, uint32_t crc)
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (uint8_t b : data)
        crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::filesystem::path PathFor(const std::filesystem::path& levelFile, const std::filesystem::path& script)
{
    std::filesystem::path cache = levelFile;
    const std::string ext = levelFile.extension().string();
    if (ext.size() == 4)
        cache.replace_extension(".cut");
    else
        cache += ".cut";
    // Whatever the names, the cache must never land on a file it came from.
    const auto same = [](const std::filesystem::path& a, const std::filesystem::path& b) {
        return !b.empty() && Lower(a.lexically_normal().string()) == Lower(b.lexically_normal().string());
    };
    while (same(cache, levelFile) || same(cache, script))
        cache += ".cut";
    return cache;
}

uint64_t FileTime(const std::filesystem::path& file)
{
    std::error_code ec;
    const auto t = std::filesystem::last_write_time(file, ec);
    if (ec)
        return 0;
    // The cache stores file times in 100 ns units since 1601.
    constexpr int64_t kUnixEpochIn1601 = 116444736000000000;
    const auto sys = std::chrono::file_clock::to_sys(t);
    const int64_t ticks =
        std::chrono::duration_cast<std::chrono::nanoseconds>(sys.time_since_epoch()).count() / 100 + kUnixEpochIn1601;
    return ticks > 0 ? static_cast<uint64_t>(ticks) : 0;
}

std::vector<uint8_t> Encode(const LevelCacheKey& key, const Vec3& vector, const ShapeInstance& tree,
                            const CollisionSource& collision, bool compress)
{
    std::vector<uint8_t> payload;
    trevok::ByteWriter p(payload);
    p.U32(key.vertexLimit);
    Shape::WriteMeshData(p, tree);
    p.U32(static_cast<uint32_t>(collision.points.size()));
    for (const Vec3& v : collision.points) {
        p.F32(v.x);
        p.F32(v.y);
        p.F32(v.z);
    }
    p.U32(static_cast<uint32_t>(collision.triangles.size()));
    p.U32(static_cast<uint32_t>(collision.quads.size()));
    for (const GeometryTriangle& t : collision.triangles) {
        for (int32_t c : t.corners)
            p.I32(c);
        p.F32(t.normal.x);
        p.F32(t.normal.y);
        p.F32(t.normal.z);
        p.I32(t.flags);
    }
    for (const GeometryQuad& q : collision.quads) {
        for (int32_t c : q.corners)
            p.I32(c);
        p.F32(q.normal.x);
        p.F32(q.normal.y);
        p.F32(q.normal.z);
        p.I32(q.flags);
    }

    std::vector<uint8_t> image;
    trevok::ByteWriter w(image);
    w.U64(key.fileTime);
    std::vector<uint8_t> body;  // what follows the header, before compression
    trevok::ByteWriter b(body);
    if (compress) {
        for (int i = 0; i < 3; ++i)
            w.F32(kMarker);
        b.F32(vector.x);
        b.F32(vector.y);
        b.F32(vector.z);
    } else {
        w.F32(vector.x);
        w.F32(vector.y);
        w.F32(vector.z);
    }
    b.Bytes(payload);
    // The check covers the header and the plain payload, so a flipped bit in
    // either form reads as a miss.
    b.U32(Crc32(body, Crc32(image)));
    if (compress)
        w.Bytes(trevok::HuffmanCoder::Compress(body));
    else
        w.Bytes(body);
    return image;
}

bool Write(const std::filesystem::path& path, std::span<const uint8_t> image)
{
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        out.flush();
        if (!out) {
            out.close();
            std::error_code ec;
            std::filesystem::remove(temporary, ec);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}

std::optional<LevelCacheContent> Decode(std::span<const uint8_t> image, const LevelCacheKey& key, std::string* why)
{
    if (image.size() < kHeaderBytes)
        return Miss(why, "cache shorter than its header");
    trevok::ByteReader h(image.first(kHeaderBytes));
    if (h.U64() != key.fileTime)
        return Miss(why, "cache written for another level file time");
    float head[3];
    for (float& f : head)
        f = h.F32();
    const bool compressed = head[0] == kMarker && head[1] == kMarker && head[2] == kMarker;

    std::vector<uint8_t> expanded;
    std::span<const uint8_t> body = image.subspan(kHeaderBytes);
    if (compressed) {
        if (!trevok::HuffmanCoder::Decompress(body, expanded))
            return Miss(why, "cache payload does not expand");
        body = expanded;
    }
    if (body.size() < 4)
        return Miss(why, "cache payload cut short");
    const auto checked = body.first(body.size() - 4);
    trevok::ByteReader tail(body.last(4));
    if (tail.U32() != Crc32(checked, Crc32(image.first(kHeaderBytes))))
        return Miss(why, "cache check sum does not match");

    trevok::ByteReader in(checked);
    LevelCacheContent content;
    if (compressed) {
        content.vector.x = in.F32();
        content.vector.y = in.F32();
        content.vector.z = in.F32();
    } else {
        content.vector = {head[0], head[1], head[2]};
    }
    if (in.U32() != key.vertexLimit || !in.Ok())
        return Miss(why, "cache cut with another vertex limit");
    std::string error;
    content.tree.reset(MeshData::ReadMeshData(in, &error));
    if (!content.tree)
        return Miss(why, "cache mesh records damaged");

    const uint32_t points = in.U32();
    if (!in.Ok() || points > in.Remaining() / 12)
        return Miss(why, "cache point count exceeds the file");
    content.collision.points.resize(points);
    for (Vec3& v : content.collision.points) {
        v.x = in.F32();
        v.y = in.F32();
        v.z = in.F32();
    }
    const uint32_t triangles = in.U32();
    const uint32_t quads = in.U32();
    if (!in.Ok() || triangles > in.Remaining() / kTriangleBytes ||
        quads > (in.Remaining() - size_t(triangles) * kTriangleBytes) / kQuadBytes)
        return Miss(why, "cache polygon counts exceed the file");
    const auto corner = [&](int32_t c, bool mayBeAbsent) {
        return (c >= 0 && static_cast<uint32_t>(c) < points) || (mayBeAbsent && c == -1);
    };
    content.collision.triangles.resize(triangles);
    for (GeometryTriangle& t : content.collision.triangles) {
        for (int32_t& c : t.corners) {
            c = in.I32();
            if (!corner(c, false))
                return Miss(why, "cache triangle corner past the points");
        }
        t.normal = {in.F32(), in.F32(), in.F32()};
        t.flags = in.I32();
    }
    content.collision.quads.resize(quads);
    for (GeometryQuad& q : content.collision.quads) {
        for (int k = 0; k < 4; ++k) {
            q.corners[k] = in.I32();
            if (!corner(q.corners[k], k == 3))
                return Miss(why, "cache quad corner past the points");
        }
        q.normal = {in.F32(), in.F32(), in.F32()};
        q.flags = in.I32();
    }
    if (!in.Ok() || in.Remaining() != 0)
        return Miss(why, "cache holds bytes past its polygons");
    return content;
}

std::optional<LevelCacheContent> Read(const std::filesystem::path& path, const LevelCacheKey& key, std::string* why)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return Miss(why, "no cache file");
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return Decode(image, key, why);
}

} // namespace LevelCache
