// The environment of a level: its name, sound folder, sound scale and acoustics,
// texture identifier lists and special objects, in one VQNENVDT chunk at the top
// of a chunk file.
#pragma once

#include "chunk/object_chunks.h"

#include <array>
#include <string>
#include <vector>

namespace trevok {

class EnvironmentHeaderChunk : public DataChunk {
public:
    EnvironmentHeaderChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit EnvironmentHeaderChunk(ParentChunk* parent);
    int32_t flags_ = 0;
    std::array<char, 16> editor_{};
    int32_t revision_ = 0;

protected:
    size_t PayloadSize() const override { return 24; }
    void WritePayload(ByteWriter& out) const override;
};

class EnvironmentChunk : public EditableChunk {
public:
    EnvironmentChunk(ParentChunk* parent, const ChunkBytes& bytes) : EditableChunk(parent, bytes) {}
    explicit EnvironmentChunk(ParentChunk* parent);

    void AfterLoad() override;
    bool MatchesStoredEntry(std::FILE*) const override { return true; }
    const char* GetHeaderIdentifier() const override;
    void SetEditor(const std::string& editor) override;

    EnvironmentHeaderChunk* GetHeaderChunk() const;
    void BumpRevision();
    // The RIFFNAME text, or empty.
    std::string FileName() const;
};

// ENVSDSCL: the file's scale in thousandths of a world unit per file unit.
class SoundScaleChunk : public DataChunk {
public:
    SoundScaleChunk(ParentChunk* parent, const ChunkBytes& bytes);
    SoundScaleChunk(ParentChunk* parent, double scale);
    double scale_ = 1000.0;

protected:
    size_t PayloadSize() const override { return 8; }
    void WritePayload(ByteWriter& out) const override { out.F64(scale_); }
};

class SoundDirectoryChunk : public DataChunk {
public:
    SoundDirectoryChunk(ParentChunk* parent, const ChunkBytes& bytes);
    SoundDirectoryChunk(ParentChunk* parent, std::string folder);
    std::string folder_;

protected:
    size_t PayloadSize() const override { return ByteReader::PaddedLength(folder_.size()); }
    void WritePayload(ByteWriter& out) const override { out.PaddedString(folder_); }
};

class TextureIdListChunk : public DataChunk {
public:
    TextureIdListChunk(ParentChunk* parent, const ChunkBytes& bytes);
    TextureIdListChunk(ParentChunk* parent, std::string text);
    std::string text_;
    std::vector<int32_t> ids_;
    int32_t values_[2] = {};

protected:
    size_t PayloadSize() const override { return ByteReader::PaddedLength(text_.size()) + 12 + 4 * ids_.size(); }
    void WritePayload(ByteWriter& out) const override;
};

void RegisterEnvironmentChunks();

} // namespace trevok
