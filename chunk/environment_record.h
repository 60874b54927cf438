// One open model or level chunk file as the game-side loaders and the shape
// builder use it: the file, its scale, its texture table and its indexed
// sounds. Made by LoadEnvironmentFile, which owns the reading of it.
#pragma once

#include "chunk/chunk_file.h"
#include "chunk/sequence_chunks.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace trevok {

class IndexedSoundChunk;

inline constexpr float kDefaultEnvironmentScale = 0.001f;

// A texture-table slot: an empty name is a slot no bitmap entry filled.
struct EnvironmentTexture {
    std::string name_;
    uint32_t width_ = 0, height_ = 0;
};

struct EnvironmentRecord {
    float scale_ = kDefaultEnvironmentScale;  // file units to world units
    bool hasTextureTable_ = false;
    std::vector<EnvironmentTexture> textures_;  // indexed by bitmap number
    std::unique_ptr<ChunkFile> file_;
    // The root's indexed sounds by their index; they point into `file_`.
    std::array<const IndexedSoundChunk*, kSequenceSlots> sounds_{};
};

} // namespace trevok
