// A chunk file: the root of one chunk tree, read from a plain ("VQNINFF2") or
// compressed ("VQNCRIF1") file, objects paired with their shapes after loading,
// saved back through a temporary file. Loaders and tools open model and level files here.
#pragma once

#include "chunk/chunk.h"
#include "chunk/chunk_ids.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace trevok {

class ObjectChunk;
class ShapeChunk;
class DummyObjectChunk;
class EnvironmentChunk;

// The highest shape number met so far (loads raise it; saves number new shapes above it).
int32_t HighestShapeNumber();
void RaiseHighestShapeNumber(int32_t number);
int32_t NextShapeNumber();
void ResetShapeNumbersForTesting();

class ChunkFile : public ParentChunk {
public:
    ~ChunkFile() override;

    // Always returns a root; ErrorCode() is 0, -1 (cannot open or read) or -2 (bad
    // identifier or size), ErrorMessage() says where and what.
    static std::unique_ptr<ChunkFile> Open(const std::filesystem::path& name);
    // The same load from a whole file image held in memory.
    static std::unique_ptr<ChunkFile> FromFileImage(std::span<const uint8_t> image, std::string name = {});
    // A root holding one RIFVERIN of version 0.
    static std::unique_ptr<ChunkFile> CreateEmpty();
    // Top-level chunks of a plain image (the bytes after its 12-byte header).
    static std::unique_ptr<ChunkFile> FromMemory(std::span<const uint8_t> chunks);

    // Always writes the compressed form. The old file is replaced only once the new
    // one is completely written.
    bool Save(const std::filesystem::path& name);
    bool SavePlain(const std::filesystem::path& name);
    bool SaveInPlace();
    // The plain file image of the tree as it stands.
    std::vector<uint8_t> PlainImage();

    const std::string& FileName() const { return fileName_; }
    const std::string& ErrorMessage() const { return errorMessage_; }
    bool WasCompressed() const { return compressed_; }

    void GetObjects(std::vector<ObjectChunk*>& list) const;
    void GetShapes(std::vector<ShapeChunk*>& list) const;
    void GetDummyObjects(std::vector<DummyObjectChunk*>& list) const;
    EnvironmentChunk* GetEnvironmentData() const;

    void BuildObjectTable();
    ObjectChunk* GetObjectByIndex(int32_t index);
    void AddObject(ObjectChunk* object);
    // Called by an object leaving the tree so its slot never dangles.
    void ForgetObject(ObjectChunk* object);
    int32_t ObjectCount() const { return static_cast<int32_t>(objectTable_.size()); }

    void AfterLoad() override;
    ChunkFile* AsChunkFile() override { return this; }
    // While the objects of a loaded file compute their name digests: the name of the
    // environment's file, looked up once instead of once per object.
    bool InAfterLoad() const { return afterLoad_; }
    const std::string* EnvironmentNameDuringLoad() const { return hasEnvironmentName_ ? &environmentName_ : nullptr; }

private:
    ChunkFile();
    static std::unique_ptr<ChunkFile> FromHeldImage(std::span<const uint8_t> image, std::shared_ptr<const void> holder,
                                                    std::string name);
    bool SaveImage(const std::filesystem::path& name, bool compress);
    void Load(std::span<const uint8_t> image);

    std::string fileName_;
    std::string errorMessage_;
    std::vector<ObjectChunk*> objectTable_;
    bool tableBuilt_ = false;
    bool fromFile_ = false;
    bool compressed_ = false;
    bool afterLoad_ = false;
    bool hasEnvironmentName_ = false;
    std::string environmentName_;
};

// RIFVERIN: the format version.
class VersionChunk : public DataChunk {
public:
    explicit VersionChunk(ParentChunk* parent, int32_t version = 0);
    VersionChunk(ParentChunk* parent, const ChunkBytes& bytes);
    int32_t version_ = 0;

protected:
    size_t PayloadSize() const override { return 4; }
    void WritePayload(ByteWriter& out) const override { out.I32(version_); }
};

// RIFFNAME: a file name.
class FileNameChunk : public DataChunk {
public:
    FileNameChunk(ParentChunk* parent, std::string name);
    FileNameChunk(ParentChunk* parent, const ChunkBytes& bytes);
    std::string name_;

protected:
    size_t PayloadSize() const override { return ByteReader::PaddedLength(name_.size()); }
    void WritePayload(ByteWriter& out) const override { out.PaddedString(name_); }
};

// SUBRIFFL: the top-level chunks of another chunk file, read in place. Not
// registered and never written: a tree that includes a file saves without them.
class IncludedFileChunk : public ParentChunk {
public:
    IncludedFileChunk(ParentChunk* parent, const std::filesystem::path& name);
    int32_t ComputeSize() override;
    void Serialize(ByteWriter& out) override;
    bool WriteToFile(std::FILE* file) override;
    int32_t ComputePartialSize() override { return ComputeSize(); }
    void SerializePartial(ByteWriter&) override {}
    void AfterLoad() override;

    void GetObjects(std::vector<ObjectChunk*>& list) const;
    void GetShapes(std::vector<ShapeChunk*>& list) const;
    EnvironmentChunk* GetEnvironmentData() const;
    const std::string& ErrorMessage() const { return errorMessage_; }

private:
    std::string errorMessage_;
};

// A chunk file larger than this is refused unread.
inline constexpr uint64_t kMaxChunkFileBytes = uint64_t{512} << 20;

// Reads a chunk file's whole image. Its identifier, and a plain file's stored
// size, are checked from the first bytes before the rest is read, so a large
// file of anything else costs nothing. On failure `error` names the file and
// the fault, and the result is kChunkReadFailed (no file to read) or
// kChunkBadData (not a chunk file); else kChunkOk.
int32_t ReadChunkFileImage(const std::filesystem::path& name, std::vector<uint8_t>& bytes, std::string& error);

void RegisterFileChunks();

} // namespace trevok
