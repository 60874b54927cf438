// Helpers for the model-family chunk tests: little-endian bytes built by hand (not
// with the library's writers), plain chunk-file images, fixtures and loading.
#pragma once

#include "chunk/chunk_families.h"
#include "chunk/chunk_file.h"
#include "chunk/hierarchy_chunks.h"
#include "platform/os.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace trevok::test {

using ByteVector = std::vector<uint8_t>;

struct Bytes {
    ByteVector b;

    Bytes& I32(std::initializer_list<int64_t> values)
    {
        for (int64_t v : values)
            for (int i = 0; i < 4; ++i)
                b.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
        return *this;
    }
    Bytes& F32(std::initializer_list<float> values)
    {
        for (float f : values) {
            uint32_t u;
            std::memcpy(&u, &f, 4);
            I32({u});
        }
        return *this;
    }
    // Text, NUL, zeros to (length & ~3) + 4 bytes.
    Bytes& Padded(const std::string& s)
    {
        b.insert(b.end(), s.begin(), s.end());
        b.insert(b.end(), (s.size() & ~size_t{3}) + 4 - s.size(), 0);
        return *this;
    }
    Bytes& Raw(const std::string& s)
    {
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    Bytes& Zeros(size_t n)
    {
        b.insert(b.end(), n, 0);
        return *this;
    }
    Bytes& Append(const ByteVector& v)
    {
        b.insert(b.end(), v.begin(), v.end());
        return *this;
    }
};

inline ByteVector ChunkOf(const std::string& id, const ByteVector& payload)
{
    Bytes out;
    std::string name = id;
    name.resize(8, '\0');
    out.Raw(name).I32({static_cast<int64_t>(payload.size() + 12)}).Append(payload);
    return out.b;
}

inline ByteVector PlainFile(std::initializer_list<ByteVector> chunks)
{
    ByteVector body;
    for (const auto& c : chunks)
        body.insert(body.end(), c.begin(), c.end());
    Bytes out;
    out.Raw("VQNINFF2").I32({static_cast<int64_t>(body.size() + 12)}).Append(body);
    return out.b;
}

inline void RegisterFamilies()
{
    EnsureChunkFamiliesRegistered();
    RegisterModelChunkFamilies();
}

inline std::unique_ptr<ChunkFile> LoadImage(const ByteVector& image)
{
    RegisterFamilies();
    return ChunkFile::FromFileImage(image, "test.rif");
}

// A damaged chunk and what is wrong with it.
struct DamagedChunk {
    const char* what;
    ByteVector chunk;
};

// Each chunk, alone in a file, fails the load with the bad-data code and a message.
inline void ExpectEachRefused(std::span<const DamagedChunk> cases)
{
    for (const auto& c : cases) {
        auto file = LoadImage(PlainFile({c.chunk}));
        EXPECT_EQ(file->ErrorCode(), kChunkBadData) << c.what;
        EXPECT_FALSE(file->ErrorMessage().empty()) << c.what;
    }
}

inline ByteVector ReadFixture(const std::string& name)
{
    const char* root = std::getenv("TREVOK_FIXTURES");
    std::filesystem::path path = std::filesystem::path(root ? root : "tests/fixtures") / "chunk" / name;
    auto bytes = platform::ReadWholeFile(path, kMaxChunkFileBytes);
    EXPECT_TRUE(bytes.has_value()) << path;
    return bytes ? std::move(*bytes) : ByteVector();
}

// The chunk, which the test requires to be there (a missing one fails the test).
template <class T>
T& Must(T* chunk)
{
    if (!chunk)
        throw std::runtime_error("expected chunk is missing");
    return *chunk;
}

// The bytes of a chunk as it writes itself.
inline ByteVector Written(Chunk& chunk)
{
    return chunk.BuildBlock();
}

} // namespace trevok::test
