// Chunk files put together by hand for the tests of the chunk library and of
// rifdump: a little-endian byte builder independent of the library's writer,
// chunk and file wrappers, fixture paths and whole-file reads and writes.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace chunkbytes {

// `name` in the fixture folder `folder` (TREVOK_FIXTURES, else the source tree's).
inline std::filesystem::path FixturePath(std::string_view folder, const std::string& name)
{
    const char* root = std::getenv("TREVOK_FIXTURES");
    std::filesystem::path base = root ? root : TREVOK_SOURCE_FIXTURES;
    return base / folder / name;
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::filesystem::path& p, const std::vector<uint8_t>& b)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// Little-endian bytes put together by hand.
struct Bytes {
    std::vector<uint8_t> b;
    Bytes& U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
    Bytes& Raw(std::string_view s)
    {
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    Bytes& Add(const std::vector<uint8_t>& more)
    {
        b.insert(b.end(), more.begin(), more.end());
        return *this;
    }
    Bytes& Zeros(size_t n)
    {
        b.insert(b.end(), n, uint8_t{0});
        return *this;
    }
    // An identifier NUL-padded to 8 bytes.
    Bytes& Id(std::string_view id)
    {
        for (size_t i = 0; i < 8; ++i)
            b.push_back(i < id.size() ? static_cast<uint8_t>(id[i]) : 0);
        return *this;
    }
};

inline constexpr int64_t kTrueSize = INT64_MIN;

// A chunk with its header; the size field is 12 + payload unless given.
inline std::vector<uint8_t> MakeChunk(std::string_view id, const std::vector<uint8_t>& payload = {},
                                      int64_t size = kTrueSize)
{
    Bytes c;
    c.Id(id).I32(static_cast<int32_t>(size == kTrueSize ? 12 + static_cast<int64_t>(payload.size()) : size)).Add(payload);
    return c.b;
}

// A plain chunk file holding `chunks` at the top level.
inline std::vector<uint8_t> PlainFile(const std::vector<std::vector<uint8_t>>& chunks)
{
    Bytes body;
    for (const auto& c : chunks)
        body.Add(c);
    Bytes f;
    f.Raw("VQNINFF2").I32(static_cast<int32_t>(12 + body.b.size())).Add(body.b);
    return f.b;
}

} // namespace chunkbytes
