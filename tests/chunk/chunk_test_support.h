// Shared helpers of the chunk tests: fixture paths and a small byte builder of
// the tests' own (independent of the library's writer).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace chunktest {

inline std::filesystem::path FixturePath(const std::string& name)
{
    const char* root = std::getenv("TREVOK_FIXTURES");
    std::filesystem::path base = root ? root : TREVOK_SOURCE_FIXTURES;
    return base / "chunk" / name;
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
    Bytes& I32(int32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
        return *this;
    }
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

inline std::vector<uint8_t> PlainFile(const std::vector<std::vector<uint8_t>>& chunks)
{
    std::vector<uint8_t> body;
    for (const auto& c : chunks)
        body.insert(body.end(), c.begin(), c.end());
    Bytes f;
    f.Raw("VQNINFF2").I32(static_cast<int32_t>(12 + body.size())).Add(body);
    return f.b;
}

inline float F32At(const std::vector<uint8_t>& b, size_t at)
{
    float f;
    std::memcpy(&f, b.data() + at, 4);
    return f;
}

inline std::filesystem::path TempDir(const std::string& name)
{
    auto dir = std::filesystem::temp_directory_path() / ("trevok_chunk_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

} // namespace chunktest
