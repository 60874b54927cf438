// Shared helpers of the chunk tests: fixture paths, temporary folders and the
// hand-made chunk bytes of support/chunk_bytes.h.
#pragma once

#include "support/chunk_bytes.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace chunktest {

using chunkbytes::Bytes;
using chunkbytes::kTrueSize;
using chunkbytes::MakeChunk;
using chunkbytes::PlainFile;
using chunkbytes::ReadBytes;
using chunkbytes::WriteBytes;

inline std::filesystem::path FixturePath(const std::string& name)
{
    return chunkbytes::FixturePath("chunk", name);
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
