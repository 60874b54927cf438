// The chunk tree every model, shape, level and cut-scene file is made of: 8-character
// identifiers, 32-bit sizes that include the 12-byte header, parents whose payload is a
// run of child chunks. Classes register a builder per identifier (and, where needed, per
// parent identifier); chunks nobody registered are kept as raw bytes and written back.
#pragma once

#include "platform/byte_cursor.h"

#include <array>
#include <cstddef>
#include <optional>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace trevok {

class ChunkLoadScope;
class ParentChunk;
class ChunkFile;

inline constexpr int32_t kChunkHeaderSize = 12;

// Load results left in a chunk file's error code.
inline constexpr int32_t kChunkOk = 0;
inline constexpr int32_t kChunkReadFailed = -1;
inline constexpr int32_t kChunkBadData = -2;

// Parents nested deeper than this are refused: a hostile file could otherwise
// nest a chunk per 12 bytes and exhaust the stack.
inline constexpr int kMaxChunkDepth = 64;

// True when two identifiers agree over at most 8 characters (stopping at a NUL).
bool SameIdentifier(std::string_view a, std::string_view b);
// Inline: child searches compare identifiers on every load.
inline bool SameIdentifier(const char* a, const char* b)
{
    for (size_t i = 0; i < 8; ++i) {
        if (a[i] != b[i])
            return false;
        if (a[i] == 0)
            return true;
    }
    return true;
}

// One chunk as it lies in memory while a file is read: the 12-byte header and the
// payload, exactly `size` bytes (already checked against the parent).
struct ChunkBytes {
    std::span<const uint8_t> bytes;

    std::span<const uint8_t> Payload() const { return bytes.subspan(kChunkHeaderSize); }
    std::string_view Identifier() const;
};

class Chunk {
public:
    Chunk(ParentChunk* parent, std::string_view identifier);
    virtual ~Chunk();
    Chunk(const Chunk&) = delete;
    Chunk& operator=(const Chunk&) = delete;

    // Chunks built while a file is read come from that load's arena (a pointer
    // bump each; a level has thousands); the others from the heap. Each block
    // records which, so any chunk may be deleted on its own at any time.
    static void* operator new(size_t size);
    static void operator delete(void* block) noexcept;

    // Size of the whole chunk including its header; stored in size_.
    virtual int32_t ComputeSize() = 0;
    // Appends exactly size_ bytes (ComputeSize must have run).
    virtual void Serialize(ByteWriter& out) = 0;
    virtual bool WriteToFile(std::FILE* file);
    virtual int32_t ComputePartialSize() { return ComputeSize(); }
    virtual void SerializePartial(ByteWriter& out) { Serialize(out); }
    virtual void BeforeSave() {}
    virtual void AfterLoad() {}
    virtual bool IsUnregistered() const { return false; }
    virtual bool HasChildren() const { return false; }

    // The serialised chunk; empty when its size is 0.
    std::vector<uint8_t> BuildBlock();
    std::vector<uint8_t> BuildPartialBlock();

    void Unlink();
    Chunk* GetRoot();
    const char* Identifier() const { return identifier_; }
    bool Is(std::string_view identifier) const { return SameIdentifier(identifier_, identifier); }
    bool Is(const char* identifier) const { return SameIdentifier(identifier_, identifier); }
    int32_t Size() const { return size_; }
    ParentChunk* Parent() const { return parent_; }
    Chunk* Next() const { return next_; }
    Chunk* Previous() const { return previous_; }
    int32_t ErrorCode() const { return errorCode_; }
    void SetErrorCode(int32_t code) { errorCode_ = code; }
    // Set by a constructor from bytes that found its payload damaged; the builder then drops it.
    bool Damaged() const { return damaged_; }

protected:
    void WriteHeader(ByteWriter& out) const;
    // Records a damaged payload against the file being loaded and marks this chunk.
    void ReportDamage(const ChunkBytes& at, const std::string& what);

    int32_t errorCode_ = kChunkOk;
    Chunk* next_ = nullptr;
    Chunk* previous_ = nullptr;
    char identifier_[9] = {};
    int32_t size_ = 0;
    ParentChunk* parent_ = nullptr;
    bool damaged_ = false;

    friend class ParentChunk;
};

class ParentChunk : public Chunk {
public:
    ParentChunk(ParentChunk* parent, std::string_view identifier);
    // Reads the payload as child chunks.
    ParentChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ~ParentChunk() override;

    int32_t ComputeSize() override;
    void Serialize(ByteWriter& out) override;
    bool WriteToFile(std::FILE* file) override;
    int32_t ComputePartialSize() override;
    void SerializePartial(ByteWriter& out) override;
    void BeforeSave() override;
    void AfterLoad() override;
    bool HasChildren() const override { return true; }

    Chunk* FirstChild() const { return firstChild_; }
    Chunk* LastChild() const { return lastChild_; }
    Chunk* FindChild(std::string_view identifier) const;
    Chunk* FindChild(const char* identifier) const;
    void FindChildren(std::string_view identifier, std::vector<Chunk*>& list) const;
    int CountChildren(std::string_view identifier) const;
    void Children(std::vector<Chunk*>& list) const;
    void DeleteChildren();

    template <class T>
    T* FindChildAs(std::string_view identifier) const
    {
        for (Chunk* c = firstChild_; c; c = c->Next())
            if (c->Is(identifier))
                if (auto* t = dynamic_cast<T*>(c))
                    return t;
        return nullptr;
    }
    template <class T>
    T* FindChildAs(const char* identifier) const
    {
        for (Chunk* c = firstChild_; c; c = c->Next())
            if (c->Is(identifier))
                if (auto* t = dynamic_cast<T*>(c))
                    return t;
        return nullptr;
    }

    // Builds the child whose bytes are given (registered class or raw bytes) under this chunk.
    Chunk* CreateChild(const ChunkBytes& child);
    // Walks a payload of child chunks; stops at the first bad size with the load error set.
    void ReadChildren(std::span<const uint8_t> payload);

    void AppendChild(Chunk* child);
    // The file root this is, if it is one; asked by every object read and freed.
    virtual ChunkFile* AsChunkFile() { return nullptr; }
    // Changes whenever a child joins or leaves, so a remembered search can tell it is stale.
    uint64_t ChildrenVersion() const { return childrenVersion_; }

private:
    void ReadChildrenIn(ChunkLoadScope* load, std::span<const uint8_t> payload);

protected:
    Chunk* firstChild_ = nullptr;
    Chunk* lastChild_ = nullptr;
    uint64_t childrenVersion_ = 0;

    friend class Chunk;
};

// The first child of a class with an identifier, searched for again only once the
// parent's children have changed. Objects and shapes look their headers up at
// every link and teardown. A miss is not remembered: a child still being built is
// not yet of its class.
template <class T>
class RememberedChild {
public:
    T* Find(const ParentChunk& parent, const char* identifier) const
    {
        if (!found_ || version_ != parent.ChildrenVersion()) {
            found_ = parent.FindChildAs<T>(identifier);
            version_ = parent.ChildrenVersion();
        }
        return found_;
    }

private:
    mutable T* found_ = nullptr;
    mutable uint64_t version_ = 0;
};

// A chunk no class was registered for: its payload bytes, written back unchanged.
class UnregisteredChunk : public Chunk {
public:
    UnregisteredChunk(ParentChunk* parent, const ChunkBytes& bytes);
    UnregisteredChunk(ParentChunk* parent, std::string_view identifier, std::span<const uint8_t> payload);

    int32_t ComputeSize() override;
    void Serialize(ByteWriter& out) override;
    bool IsUnregistered() const override { return true; }
    std::span<const uint8_t> Payload() const { return payload_; }

private:
    std::vector<uint8_t> payload_;
};

// A chunk whose payload is a record of its own. Bytes after the record (a longer
// chunk than its layout) are kept and written back, so nothing is lost.
class DataChunk : public Chunk {
public:
    using Chunk::Chunk;
    int32_t ComputeSize() override;
    void Serialize(ByteWriter& out) override;

protected:
    virtual size_t PayloadSize() const = 0;
    virtual void WritePayload(ByteWriter& out) const = 0;
    // Ends reading a record: a record cut short marks the chunk damaged; what follows it is kept.
    bool FinishRead(ByteReader& r, const ChunkBytes& bytes);

    std::vector<uint8_t> tail_;
};

// A count read from a file, checked against the bytes left that must hold its
// records before anything is allocated for it; fails the reader when it cannot fit.
bool CheckCount(ByteReader& r, int64_t count, size_t recordSize);

// A value from a file as an int32, toward zero and held inside the int32 range
// (out-of-range casts are undefined); a NaN is 0.
inline int32_t TruncateToInt32(double v)
{
    if (!(v == v))
        return 0;
    if (v >= 2147483647.0)
        return INT32_MAX;
    if (v <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

using ChunkBuilder = Chunk* (*)(ParentChunk* parent, const ChunkBytes& bytes);

// Builder for a class constructed as T(parent, bytes); a damaged chunk is dropped.
template <class T>
Chunk* BuildChunk(ParentChunk* parent, const ChunkBytes& bytes)
{
    auto* chunk = new T(parent, bytes);
    if (chunk->Damaged()) {
        delete chunk;
        return nullptr;
    }
    return chunk;
}

class ChunkRegistry {
public:
    static ChunkRegistry& Instance();

    // parentIdentifier empty: any parent. Later registrations of one pair win.
    int Register(std::string_view identifier, std::string_view parentIdentifier, ChunkBuilder builder);
    // The builder for a child header's identifier bytes under a parent, or none.
    ChunkBuilder Find(const uint8_t identifier[8], const char* parentIdentifier) const;
    int Count() const { return count_; }

    static uint32_t Bucket(const uint8_t identifier[8]);

private:
    // Identifiers as their eight bytes in one word: compared in one step on every child read.
    struct Entry {
        uint64_t identifier;
        uint64_t parent;
        ChunkBuilder builder;
    };
    std::array<std::vector<Entry>, 64> buckets_;
    int count_ = 0;
};

// Memory for the chunks one load builds: blocks cut by a pointer bump, each
// returned once the arena has moved on and every chunk cut from it is deleted.
class ChunkArena {
public:
    ChunkArena() = default;
    ~ChunkArena();
    ChunkArena(const ChunkArena&) = delete;
    ChunkArena& operator=(const ChunkArena&) = delete;

    // Room for a chunk of `size` bytes, or none when the arena does not serve it.
    void* Allocate(size_t size);

    struct Block;
    // A chunk cut from `block` was deleted; inside a teardown the release waits
    // for the run of deletes from that block to end.
    static void ReleaseFromTeardown(Block* block);
    static void BeginTeardown();
    static void EndTeardown();
    // Blocks not yet freed, across all arenas: a leak check for tests.
    static size_t BlocksAlive();

private:
    void Retire();

    Block* block_ = nullptr;
    size_t used_ = 0;
    size_t handedOut_ = 0;
};

// What a load in progress reports into: the root's error code and a message
// naming the file, the offset and the fault. One per thread.
class ChunkLoadScope {
public:
    // `holder`, when given, owns `image`: chunks may keep referring to its bytes.
    ChunkLoadScope(Chunk* root, std::string fileName, std::span<const uint8_t> image,
                   std::shared_ptr<const void> holder = {});
    ~ChunkLoadScope();
    ChunkLoadScope(const ChunkLoadScope&) = delete;
    ChunkLoadScope& operator=(const ChunkLoadScope&) = delete;

    static ChunkLoadScope* Current();
    // Sets the error (the first one wins) and its message.
    void Fail(int32_t code, const uint8_t* where, const std::string& what);
    bool Failed() const { return root_ && root_->ErrorCode() != kChunkOk; }
    const std::string& Message() const { return message_; }
    // The image's holder when `bytes` lie inside the held image, else none.
    std::shared_ptr<const void> HolderOf(std::span<const uint8_t> bytes) const;
    int depth_ = 0;
    ChunkArena arena_;

private:
    Chunk* root_;
    std::string fileName_;
    std::span<const uint8_t> image_;
    std::shared_ptr<const void> holder_;
    std::string message_;
    ChunkLoadScope* previous_;
};

// Offsets of the children with an identifier of the chunk whose header is at the
// file's current position, without loading anything.
void ScanFileForChunks(std::vector<long>& offsets, std::FILE* file, std::string_view identifier);

} // namespace trevok
