#include "chunk/chunk.h"

#include <atomic>
#include <cassert>
#include <cinttypes>
#include <cstring>
#include <utility>

namespace trevok {
namespace {

thread_local ChunkLoadScope* tCurrentLoad = nullptr;

// Every chunk's memory starts with a word naming the arena block it was cut
// from (none for the heap), padded to keep the chunk on new's alignment.
constexpr size_t kChunkTagSize = __STDCPP_DEFAULT_NEW_ALIGNMENT__;
static_assert(kChunkTagSize >= sizeof(void*));

constexpr size_t RoundToTag(size_t n)
{
    return (n + kChunkTagSize - 1) & ~(kChunkTagSize - 1);
}

// Under the address sanitizer every chunk is its own heap block, so a use
// after delete is still caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kArenaOn = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kArenaOn = false;
#else
constexpr bool kArenaOn = true;
#endif
#else
constexpr bool kArenaOn = true;
#endif

void CopyIdentifier(char out[9], std::string_view id)
{
    std::memset(out, 0, 9);
    for (size_t i = 0; i < 8 && i < id.size() && id[i] != 0; ++i)
        out[i] = id[i];
}

// The eight identifier bytes as one word, for equality only (host byte order).
uint64_t IdentifierWord(const void* bytes)
{
    uint64_t word;
    std::memcpy(&word, bytes, 8);
    return word;
}

// A registered identifier, NUL-padded to eight bytes.
uint64_t IdentifierWord(std::string_view id)
{
    char padded[8] = {};
    for (size_t i = 0; i < 8 && i < id.size() && id[i] != 0; ++i)
        padded[i] = id[i];
    return IdentifierWord(static_cast<const void*>(padded));
}

std::string Printable(std::span<const uint8_t> id)
{
    std::string s;
    for (uint8_t c : id) {
        if (c == 0)
            break;
        s += (c >= 32 && c < 127) ? static_cast<char>(c) : '?';
    }
    return s;
}

} // namespace

bool SameIdentifier(std::string_view a, std::string_view b)
{
    for (size_t i = 0; i < 8; ++i) {
        char ca = i < a.size() ? a[i] : 0;
        char cb = i < b.size() ? b[i] : 0;
        if (ca != cb)
            return false;
        if (ca == 0)
            return true;
    }
    return true;
}

std::string_view ChunkBytes::Identifier() const
{
    size_t n = 0;
    while (n < 8 && bytes[n] != 0)
        ++n;
    return {reinterpret_cast<const char*>(bytes.data()), n};
}

// ---------------------------------------------------------------------------

Chunk::Chunk(ParentChunk* parent, std::string_view identifier) : parent_(parent)
{
    CopyIdentifier(identifier_, identifier);
    if (parent)
        parent->AppendChild(this);
}

Chunk::~Chunk()
{
    Unlink();
}

void Chunk::Unlink()
{
    if (!parent_)
        return;
    ++parent_->childrenVersion_;
    if (parent_->firstChild_ == this) {
        parent_->firstChild_ = next_;
        if (next_)
            next_->previous_ = nullptr;
    } else {
        if (previous_)
            previous_->next_ = next_;
        if (next_)
            next_->previous_ = previous_;
    }
    if (parent_->lastChild_ == this)
        parent_->lastChild_ = previous_;
    // Detached for good: a second Unlink (from the destructor) must not touch the list again.
    next_ = previous_ = nullptr;
    parent_ = nullptr;
}

Chunk* Chunk::GetRoot()
{
    Chunk* c = this;
    while (c->parent_)
        c = c->parent_;
    return c;
}

void Chunk::WriteHeader(ByteWriter& out) const
{
    out.Bytes(identifier_, 8);
    out.I32(size_);
}

void Chunk::ReportDamage(const ChunkBytes& at, const std::string& what)
{
    damaged_ = true;
    if (auto* load = ChunkLoadScope::Current())
        load->Fail(kChunkBadData, at.bytes.data(), Printable(at.bytes.first(8)) + ": " + what);
}

std::vector<uint8_t> Chunk::BuildBlock()
{
    std::vector<uint8_t> block;
    int32_t size = ComputeSize();
    if (size <= 0)
        return block;
    block.reserve(static_cast<size_t>(size));
    ByteWriter w(block);
    Serialize(w);
    assert(block.size() == static_cast<size_t>(size));
    return block;
}

std::vector<uint8_t> Chunk::BuildPartialBlock()
{
    std::vector<uint8_t> block;
    int32_t size = ComputePartialSize();
    if (size <= 0)
        return block;
    block.reserve(static_cast<size_t>(size));
    ByteWriter w(block);
    SerializePartial(w);
    return block;
}

bool Chunk::WriteToFile(std::FILE* file)
{
    auto block = BuildBlock();
    if (block.empty())
        return size_ == 0;
    return std::fwrite(block.data(), 1, block.size(), file) == block.size();
}

// ---------------------------------------------------------------------------

namespace {
std::atomic<size_t> gArenaBlocks{0};
}

// While its arena cuts from it, a block's count holds a bias no set of deletes
// can reach; retiring the block takes off the bias less the chunks handed out,
// so the count is then the chunks still alive. The last delete frees it.
struct ChunkArena::Block {
    static constexpr size_t kSize = size_t{64} << 10;
    static constexpr size_t kBias = size_t{1} << 62;
    std::atomic<size_t> live{kBias};

    Block() { gArenaBlocks.fetch_add(1, std::memory_order_relaxed); }
    ~Block() { gArenaBlocks.fetch_sub(1, std::memory_order_relaxed); }
    static size_t Start() { return RoundToTag(sizeof(Block)); }
    void Release(size_t count)
    {
        if (live.fetch_sub(count, std::memory_order_acq_rel) == count) {
            this->~Block();
            ::operator delete(static_cast<void*>(this));
        }
    }
};

size_t ChunkArena::BlocksAlive()
{
    return gArenaBlocks.load(std::memory_order_relaxed);
}

ChunkArena::~ChunkArena()
{
    Retire();
}

void ChunkArena::Retire()
{
    if (block_)
        block_->Release(Block::kBias - handedOut_);
    block_ = nullptr;
}

namespace {

// While a tree is torn down on this thread, deletes of chunks from one block
// are counted here and taken off the block's count once, not one atomic
// decrement each. The outermost teardown hands the rest back.
struct PendingRelease {
    ChunkArena::Block* block = nullptr;
    size_t count = 0;
    int teardowns = 0;
};
thread_local PendingRelease tPending;

} // namespace

void ChunkArena::ReleaseFromTeardown(Block* block)
{
    PendingRelease& pending = tPending;
    if (pending.teardowns == 0) {
        block->Release(1);
        return;
    }
    if (pending.block != block) {
        if (pending.block)
            pending.block->Release(pending.count);
        pending.block = block;
        pending.count = 0;
    }
    ++pending.count;
}

void ChunkArena::BeginTeardown()
{
    ++tPending.teardowns;
}

void ChunkArena::EndTeardown()
{
    PendingRelease& pending = tPending;
    if (--pending.teardowns > 0 || !pending.block)
        return;
    Block* block = std::exchange(pending.block, nullptr);
    block->Release(std::exchange(pending.count, 0));
}

void* ChunkArena::Allocate(size_t size)
{
    const size_t need = kChunkTagSize + RoundToTag(size);
    if (!kArenaOn || need > Block::kSize / 4)
        return nullptr;
    if (!block_ || used_ + need > Block::kSize) {
        Retire();
        block_ = new (::operator new(Block::kSize)) Block;
        used_ = Block::Start();
        handedOut_ = 0;
    }
    auto* at = reinterpret_cast<uint8_t*>(block_) + used_;
    used_ += need;
    ++handedOut_;
    *reinterpret_cast<Block**>(at) = block_;
    return at + kChunkTagSize;
}

void* Chunk::operator new(size_t size)
{
    if (ChunkLoadScope* load = tCurrentLoad)
        if (void* block = load->arena_.Allocate(size))
            return block;
    auto* at = static_cast<uint8_t*>(::operator new(kChunkTagSize + size));
    *reinterpret_cast<ChunkArena::Block**>(at) = nullptr;
    return at + kChunkTagSize;
}

void Chunk::operator delete(void* block) noexcept
{
    if (!block)
        return;
    auto* at = static_cast<uint8_t*>(block) - kChunkTagSize;
    if (auto* arenaBlock = *reinterpret_cast<ChunkArena::Block**>(at))
        ChunkArena::ReleaseFromTeardown(arenaBlock);
    else
        ::operator delete(static_cast<void*>(at));
}

// ---------------------------------------------------------------------------

ParentChunk::ParentChunk(ParentChunk* parent, std::string_view identifier) : Chunk(parent, identifier) {}

ParentChunk::ParentChunk(ParentChunk* parent, const ChunkBytes& bytes) : Chunk(parent, bytes.Identifier())
{
    ReadChildren(bytes.Payload());
}

ParentChunk::~ParentChunk()
{
    DeleteChildren();
}

void ParentChunk::DeleteChildren()
{
    ChunkArena::BeginTeardown();
    while (firstChild_)
        delete firstChild_; // each child unlinks itself
    ChunkArena::EndTeardown();
}

void ParentChunk::AppendChild(Chunk* child)
{
    ++childrenVersion_;
    child->parent_ = this;
    child->next_ = nullptr;
    child->previous_ = lastChild_;
    if (lastChild_)
        lastChild_->next_ = child;
    else
        firstChild_ = child;
    lastChild_ = child;
}

int32_t ParentChunk::ComputeSize()
{
    int64_t size = kChunkHeaderSize;
    for (Chunk* c = firstChild_; c; c = c->next_)
        size += c->ComputeSize();
    size_ = static_cast<int32_t>(size);
    return size_;
}

void ParentChunk::Serialize(ByteWriter& out)
{
    WriteHeader(out);
    for (Chunk* c = firstChild_; c; c = c->next_) {
        size_t before = out.Position();
        c->Serialize(out);
        assert(out.Position() - before == static_cast<size_t>(c->size_));
        (void)before;
    }
}

bool ParentChunk::WriteToFile(std::FILE* file)
{
    std::vector<uint8_t> header;
    ByteWriter w(header);
    WriteHeader(w);
    if (std::fwrite(header.data(), 1, header.size(), file) != header.size())
        return false;
    for (Chunk* c = firstChild_; c; c = c->next_)
        if (!c->WriteToFile(file))
            return false;
    return true;
}

int32_t ParentChunk::ComputePartialSize()
{
    int64_t size = kChunkHeaderSize;
    for (Chunk* c = firstChild_; c; c = c->next_)
        size += c->ComputePartialSize();
    size_ = static_cast<int32_t>(size);
    return size_;
}

void ParentChunk::SerializePartial(ByteWriter& out)
{
    WriteHeader(out);
    for (Chunk* c = firstChild_; c; c = c->next_)
        c->SerializePartial(out);
}

void ParentChunk::BeforeSave()
{
    for (Chunk* c = firstChild_; c; c = c->next_)
        c->BeforeSave();
}

void ParentChunk::AfterLoad()
{
    // A child's AfterLoad may delete that child (a record that fails to assemble).
    for (Chunk* c = firstChild_; c;) {
        Chunk* next = c->next_;
        c->AfterLoad();
        c = next;
    }
}

Chunk* ParentChunk::FindChild(std::string_view identifier) const
{
    for (Chunk* c = firstChild_; c; c = c->next_)
        if (c->Is(identifier))
            return c;
    return nullptr;
}

Chunk* ParentChunk::FindChild(const char* identifier) const
{
    for (Chunk* c = firstChild_; c; c = c->next_)
        if (c->Is(identifier))
            return c;
    return nullptr;
}

void ParentChunk::FindChildren(std::string_view identifier, std::vector<Chunk*>& list) const
{
    list.clear();
    for (Chunk* c = firstChild_; c; c = c->next_)
        if (c->Is(identifier))
            list.push_back(c);
}

int ParentChunk::CountChildren(std::string_view identifier) const
{
    int n = 0;
    for (Chunk* c = firstChild_; c; c = c->next_)
        if (c->Is(identifier))
            ++n;
    return n;
}

void ParentChunk::Children(std::vector<Chunk*>& list) const
{
    list.clear();
    for (Chunk* c = firstChild_; c; c = c->next_)
        list.push_back(c);
}

Chunk* ParentChunk::CreateChild(const ChunkBytes& child)
{
    if (ChunkBuilder builder = ChunkRegistry::Instance().Find(child.bytes.data(), identifier_))
        return builder(this, child);
    return new UnregisteredChunk(this, child);
}

void ParentChunk::ReadChildren(std::span<const uint8_t> payload)
{
    if (ChunkLoadScope* load = ChunkLoadScope::Current()) {
        ReadChildrenIn(load, payload);
        return;
    }
    // Reading outside a file load (a clone, a copy built from a block) reports into this chunk.
    // The scope is built only here: zeroing it on every call cost the load's walk.
    ChunkLoadScope local(this, std::string(), payload);
    ReadChildrenIn(&local, payload);
}

void ParentChunk::ReadChildrenIn(ChunkLoadScope* load, std::span<const uint8_t> payload)
{
    if (++load->depth_ > kMaxChunkDepth) {
        load->Fail(kChunkBadData, payload.data(),
                   std::string(identifier_) + ": chunks nested deeper than " + std::to_string(kMaxChunkDepth));
        --load->depth_;
        return;
    }
    size_t p = 0;
    while (p < payload.size() && !load->Failed()) {
        const uint8_t* at = payload.data() + p;
        size_t left = payload.size() - p;
        if (left < static_cast<size_t>(kChunkHeaderSize)) {
            load->Fail(kChunkBadData, at, std::string(identifier_) + ": " + std::to_string(left) +
                                              " bytes left over after the last child chunk");
            break;
        }
        ByteReader r(payload.subspan(p + 8, 4));
        int32_t size = r.I32();
        // The printable name only when something failed: most children never need it.
        auto name = [&] { return Printable(payload.subspan(p, 8)); };
        if (size < kChunkHeaderSize) {
            load->Fail(kChunkBadData, at, name() + ": chunk size " + std::to_string(size) + " is below 12");
            break;
        }
        if (static_cast<size_t>(size) > left) {
            load->Fail(kChunkBadData, at,
                       name() + ": chunk size " + std::to_string(size) + " runs past the end of " +
                           (parent_ || !std::string_view(identifier_).empty() ? std::string(identifier_) : "its parent") +
                           " (" + std::to_string(left) + " bytes left)");
            break;
        }
        CreateChild(ChunkBytes{payload.subspan(p, static_cast<size_t>(size))});
        p += static_cast<size_t>(size);
    }
    --load->depth_;
}

// ---------------------------------------------------------------------------

UnregisteredChunk::UnregisteredChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : Chunk(parent, bytes.Identifier()), payload_(bytes.Payload().begin(), bytes.Payload().end())
{
    // Keep the identifier bytes exactly, even past a NUL.
    std::memcpy(identifier_, bytes.bytes.data(), 8);
}

UnregisteredChunk::UnregisteredChunk(ParentChunk* parent, std::string_view identifier,
                                     std::span<const uint8_t> payload)
    : Chunk(parent, identifier), payload_(payload.begin(), payload.end())
{
}

int32_t UnregisteredChunk::ComputeSize()
{
    size_ = static_cast<int32_t>(payload_.size()) + kChunkHeaderSize;
    return size_;
}

void UnregisteredChunk::Serialize(ByteWriter& out)
{
    WriteHeader(out);
    out.Bytes(payload_);
}

// ---------------------------------------------------------------------------

int32_t DataChunk::ComputeSize()
{
    size_ = static_cast<int32_t>(kChunkHeaderSize + PayloadSize() + tail_.size());
    return size_;
}

void DataChunk::Serialize(ByteWriter& out)
{
    WriteHeader(out);
    size_t before = out.Position();
    WritePayload(out);
    assert(out.Position() - before == PayloadSize());
    (void)before;
    out.Bytes(tail_);
}

bool DataChunk::FinishRead(ByteReader& r, const ChunkBytes& bytes)
{
    if (!r.Ok()) {
        ReportDamage(bytes, "payload of " + std::to_string(bytes.Payload().size()) +
                                " bytes is too short for its record");
        return false;
    }
    auto rest = r.Take(r.Remaining());
    tail_.assign(rest.begin(), rest.end());
    return true;
}

bool CheckCount(ByteReader& r, int64_t count, size_t recordSize)
{
    if (count < 0 || static_cast<uint64_t>(count) * recordSize > r.Remaining()) {
        r.Fail();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------

ChunkRegistry& ChunkRegistry::Instance()
{
    static ChunkRegistry registry;
    return registry;
}

uint32_t ChunkRegistry::Bucket(const uint8_t identifier[8])
{
    auto word = [&](int at) {
        return static_cast<uint32_t>(identifier[at]) | static_cast<uint32_t>(identifier[at + 1]) << 8 |
               static_cast<uint32_t>(identifier[at + 2]) << 16 | static_cast<uint32_t>(identifier[at + 3]) << 24;
    };
    uint32_t k = word(0) + word(4);
    return (k ^ k >> 4 ^ k >> 9 ^ k >> 15 ^ k >> 22) & 63;
}

int ChunkRegistry::Register(std::string_view identifier, std::string_view parentIdentifier, ChunkBuilder builder)
{
    Entry e{IdentifierWord(identifier), IdentifierWord(parentIdentifier), builder};
    uint8_t bytes[8];
    std::memcpy(bytes, &e.identifier, 8);
    buckets_[Bucket(bytes)].push_back(e);
    return ++count_;
}

ChunkBuilder ChunkRegistry::Find(const uint8_t identifier[8], const char* parentIdentifier) const
{
    const uint64_t id = IdentifierWord(static_cast<const void*>(identifier));
    const uint64_t parent = IdentifierWord(static_cast<const void*>(parentIdentifier));
    const auto& bucket = buckets_[Bucket(identifier)];
    // Newest first, so a later registration of the same pair wins.
    for (auto it = bucket.rbegin(); it != bucket.rend(); ++it)
        if (it->identifier == id && (it->parent == 0 || parent == 0 || it->parent == parent))
            return it->builder;
    return nullptr;
}

// ---------------------------------------------------------------------------

ChunkLoadScope::ChunkLoadScope(Chunk* root, std::string fileName, std::span<const uint8_t> image,
                               std::shared_ptr<const void> holder)
    : root_(root), fileName_(std::move(fileName)), image_(image), holder_(std::move(holder)), previous_(tCurrentLoad)
{
    tCurrentLoad = this;
}

ChunkLoadScope::~ChunkLoadScope()
{
    tCurrentLoad = previous_;
}

ChunkLoadScope* ChunkLoadScope::Current()
{
    return tCurrentLoad;
}

std::shared_ptr<const void> ChunkLoadScope::HolderOf(std::span<const uint8_t> bytes) const
{
    // Compared as addresses: bytes from elsewhere (a block built during the load) are not the image's.
    const auto first = reinterpret_cast<uintptr_t>(image_.data());
    const auto at = reinterpret_cast<uintptr_t>(bytes.data());
    if (!holder_ || at < first || at - first > image_.size() || bytes.size() > image_.size() - (at - first))
        return {};
    return holder_;
}

void ChunkLoadScope::Fail(int32_t code, const uint8_t* where, const std::string& what)
{
    if (!root_ || root_->ErrorCode() != kChunkOk)
        return;
    root_->SetErrorCode(code);
    char offset[48] = "";
    if (where && where >= image_.data() && where <= image_.data() + image_.size())
        std::snprintf(offset, sizeof offset, "offset %" PRIuPTR ": ",
                      static_cast<uintptr_t>(where - image_.data()));
    message_ = (fileName_.empty() ? std::string() : fileName_ + ": ") + offset + what;
}

// ---------------------------------------------------------------------------

void ScanFileForChunks(std::vector<long>& offsets, std::FILE* file, std::string_view identifier)
{
    offsets.clear();
    long base = std::ftell(file);
    if (base < 0 || std::fseek(file, 0, SEEK_END) != 0)
        return;
    long fileSize = std::ftell(file);
    std::fseek(file, base, SEEK_SET);
    uint8_t header[12];
    if (std::fread(header, 1, 12, file) != 12)
        return;
    ByteReader hr({header, 12});
    hr.Skip(8);
    int64_t total = hr.I32();
    if (total < kChunkHeaderSize || base + total > fileSize)
        return;
    long end = base + static_cast<long>(total);
    long q = base + kChunkHeaderSize;
    while (q + kChunkHeaderSize <= end) {
        if (std::fseek(file, q, SEEK_SET) != 0 || std::fread(header, 1, 12, file) != 12)
            break;
        ByteReader r({header, 12});
        r.Skip(8);
        int32_t size = r.I32();
        // A size below 12 would stall or walk backwards; end the scan there.
        if (size < kChunkHeaderSize || size > end - q)
            break;
        if (SameIdentifier({reinterpret_cast<const char*>(header), 8}, identifier))
            offsets.push_back(q);
        q += size;
    }
    std::fseek(file, q, SEEK_SET);
}

} // namespace trevok
