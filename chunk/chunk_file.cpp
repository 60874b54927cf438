#include "chunk/chunk_file.h"

#include "chunk/chunk_families.h"
#include "chunk/chunk_ids.h"
#include "chunk/environment_chunks.h"
#include "chunk/huffman_coder.h"
#include "chunk/light_chunks.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"
#include "platform/os.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <unistd.h>

namespace trevok {
namespace {

int32_t gHighestShapeNumber = 0;

// Object table slots are indexed by a number read from the file; an index this
// large is damage, not a table to allocate.
constexpr int32_t kMaxObjectTableIndex = 1 << 20;

template <class T>
void CollectTopLevel(const ParentChunk* root, std::string_view identifier, std::vector<T*>& list)
{
    list.clear();
    for (Chunk* c = root->FirstChild(); c; c = c->Next())
        if (c->Is(identifier))
            if (auto* t = dynamic_cast<T*>(c))
                list.push_back(t);
}

// Empty when a file of `fileSize` bytes may start with `head` (its first 12
// bytes or fewer); else why it is no chunk file. Too few bytes to tell are
// left to the loader, which names what is missing.
std::string HeadFault(std::span<const uint8_t> head, uint64_t fileSize)
{
    if (head.size() < 8 || std::memcmp(head.data(), chunk_id::kCompressedFile, 8) == 0)
        return {};
    if (std::memcmp(head.data(), chunk_id::kPlainFile, 8) != 0)
        return "not a chunk file (identifier is neither VQNINFF2 nor VQNCRIF1)";
    if (head.size() < static_cast<size_t>(kChunkHeaderSize))
        return {};
    const int32_t stored = ByteReader(head.subspan(8, 4)).I32();
    if (stored < 0 || static_cast<uint64_t>(stored) != fileSize)
        return "stored size " + std::to_string(stored) + " differs from the file's length " + std::to_string(fileSize);
    return {};
}

// Reads a whole file image into `root`: plain or compressed, the top-level chunks
// walked as a parent payload. `holder`, when given, owns `image`; the chunks may
// then keep referring to its bytes (an expansion is always held). Returns true
// when the walk ran (after-load work follows, even when it ended with -2).
bool LoadImage(ParentChunk* root, std::span<const uint8_t> image, std::shared_ptr<const void> holder,
               const std::string& name, std::string& message, bool& compressed)
{
    auto fail = [&](int32_t code, const std::string& what) {
        root->SetErrorCode(code);
        message = (name.empty() ? std::string() : name + ": ") + what;
        return false;
    };
    compressed = false;
    if (image.size() < 8)
        return fail(kChunkReadFailed, "file shorter than its 8-byte identifier");
    if (std::string why = HeadFault(image.first(std::min<size_t>(image.size(), kChunkHeaderSize)), image.size());
        !why.empty())
        return fail(kChunkBadData, why);
    std::span<const uint8_t> plain;
    if (std::memcmp(image.data(), chunk_id::kCompressedFile, 8) == 0) {
        compressed = true;
        auto expanded = std::make_shared<platform::UnfilledImage>();
        std::string why;
        if (!HuffmanCoder::Decompress(image, *expanded, &why))
            return fail(kChunkBadData, "compressed data damaged: " + why);
        if (expanded->size() < static_cast<size_t>(kChunkHeaderSize))
            return fail(kChunkBadData, "expanded image shorter than its 12-byte header");
        plain = *expanded;
        holder = std::move(expanded);
    } else {
        if (image.size() < static_cast<size_t>(kChunkHeaderSize))
            return fail(kChunkReadFailed, "file ends inside its 12-byte header");
        plain = image;
    }
    ChunkLoadScope scope(root, compressed ? name + " (expanded)" : name, plain, std::move(holder));
    root->ReadChildren(plain.subspan(kChunkHeaderSize));
    message = scope.Message();
    return true;
}

} // namespace

int32_t HighestShapeNumber()
{
    return gHighestShapeNumber;
}

void RaiseHighestShapeNumber(int32_t number)
{
    gHighestShapeNumber = std::max(gHighestShapeNumber, number);
}

int32_t NextShapeNumber()
{
    // A file may already hold the largest number; never overflow past it.
    return gHighestShapeNumber < std::numeric_limits<int32_t>::max() ? gHighestShapeNumber + 1 : gHighestShapeNumber;
}

void ResetShapeNumbersForTesting()
{
    gHighestShapeNumber = 0;
}

namespace {

// Reads through `read` (a whole-file read with a head check), the result codes
// as ReadChunkFileImage gives them.
template <class Read>
int32_t ReadImage(const std::filesystem::path& name, std::string& error, Read read)
{
    bool badHead = false;
    auto checkHead = [&](std::span<const uint8_t> head, uint64_t fileSize) {
        std::string why = HeadFault(head, fileSize);
        badHead = !why.empty();
        return why;
    };
    if (!read(name, kMaxChunkFileBytes, &error, kChunkHeaderSize, checkHead))
        return badHead ? kChunkBadData : kChunkReadFailed;
    return kChunkOk;
}

} // namespace

int32_t ReadChunkFileImage(const std::filesystem::path& name, std::vector<uint8_t>& bytes, std::string& error)
{
    bytes.clear();
    return ReadImage(name, error, [&](auto&&... args) {
        auto image = platform::ReadWholeFile(args...);
        if (image)
            bytes = std::move(*image);
        return image.has_value();
    });
}

// ---------------------------------------------------------------------------

ChunkFile::ChunkFile() : ParentChunk(nullptr, chunk_id::kPlainFile) {}

ChunkFile::~ChunkFile()
{
    objectTable_.clear();
    tableBuilt_ = false;
    DeleteChildren();
}

std::unique_ptr<ChunkFile> ChunkFile::Open(const std::filesystem::path& name)
{
    // Unfilled: the read writes every byte. Held, so the shape arrays need
    // not be copied out of it.
    auto bytes = std::make_shared<platform::UnfilledImage>();
    std::string error;
    const int32_t code = ReadImage(name, error, [&](auto&&... args) {
        auto image = platform::ReadWholeFileImage(args...);
        if (image)
            *bytes = std::move(*image);
        return image.has_value();
    });
    if (code != kChunkOk) {
        EnsureChunkFamiliesRegistered();
        std::unique_ptr<ChunkFile> root(new ChunkFile);
        root->fileName_ = name.string();
        root->errorCode_ = code;
        root->errorMessage_ = std::move(error);
        return root;
    }
    return FromHeldImage(*bytes, bytes, name.string());
}

std::unique_ptr<ChunkFile> ChunkFile::FromFileImage(std::span<const uint8_t> image, std::string name)
{
    return FromHeldImage(image, {}, std::move(name));
}

std::unique_ptr<ChunkFile> ChunkFile::FromHeldImage(std::span<const uint8_t> image, std::shared_ptr<const void> holder,
                                                    std::string name)
{
    EnsureChunkFamiliesRegistered();
    std::unique_ptr<ChunkFile> root(new ChunkFile);
    root->fileName_ = std::move(name);
    root->fromFile_ = true;
    if (LoadImage(root.get(), image, std::move(holder), root->fileName_, root->errorMessage_, root->compressed_))
        root->AfterLoad();
    return root;
}

std::unique_ptr<ChunkFile> ChunkFile::CreateEmpty()
{
    EnsureChunkFamiliesRegistered();
    std::unique_ptr<ChunkFile> root(new ChunkFile);
    new VersionChunk(root.get(), 0);
    return root;
}

std::unique_ptr<ChunkFile> ChunkFile::FromMemory(std::span<const uint8_t> chunks)
{
    EnsureChunkFamiliesRegistered();
    std::unique_ptr<ChunkFile> root(new ChunkFile);
    ChunkLoadScope scope(root.get(), std::string(), chunks);
    root->ReadChildren(chunks);
    root->errorMessage_ = scope.Message();
    return root;
}

void ChunkFile::AfterLoad()
{
    if (!fromFile_) {
        ParentChunk::AfterLoad();
        return;
    }
    // One walk over the top level (thousands of objects) finds the shapes, the
    // objects and the environment.
    std::vector<ShapeChunk*> shapes;
    std::vector<ObjectChunk*> objects;
    EnvironmentChunk* env = nullptr;
    for (Chunk* c = FirstChild(); c; c = c->Next()) {
        if (c->Is(chunk_id::kObject)) {
            if (auto* o = dynamic_cast<ObjectChunk*>(c))
                objects.push_back(o);
        } else if (c->Is(chunk_id::kShape)) {
            if (auto* s = dynamic_cast<ShapeChunk*>(c))
                shapes.push_back(s);
        } else if (!env && c->Is(chunk_id::kEnvironment)) {
            env = dynamic_cast<EnvironmentChunk*>(c);
        }
    }
    // Shape numbers come from the file: a map, not a table sized by the largest number.
    std::unordered_map<int32_t, ShapeChunk*> byNumber;
    for (auto* s : shapes)
        if (auto* h = s->GetHeader()) {
            RaiseHighestShapeNumber(h->shapeId_);
            if (h->shapeId_ >= 0)
                byNumber[h->shapeId_] = s;
        }
    for (auto* o : objects)
        if (auto* head = o->GetHeaderChunk()) {
            auto it = byNumber.find(head->shapeNumber_);
            if (it != byNumber.end())
                o->LinkShape(it->second);
        }
    auto* envName = env ? env->FindChildAs<FileNameChunk>(chunk_id::kFileName) : nullptr;
    hasEnvironmentName_ = envName != nullptr;
    environmentName_ = envName ? envName->name_ : std::string();
    afterLoad_ = true;
    ParentChunk::AfterLoad();
    afterLoad_ = hasEnvironmentName_ = false;
}

std::vector<uint8_t> ChunkFile::PlainImage()
{
    return BuildBlock();
}

bool ChunkFile::Save(const std::filesystem::path& name)
{
    return SaveImage(name, true);
}

bool ChunkFile::SavePlain(const std::filesystem::path& name)
{
    return SaveImage(name, false);
}

bool ChunkFile::SaveImage(const std::filesystem::path& name, bool compress)
{
    namespace fs = std::filesystem;
    if (name.empty())
        return false;
    std::error_code ec;
    if (fs::exists(name, ec)) {
        auto perms = fs::status(name, ec).permissions();
        if (ec || (perms & fs::perms::owner_write) == fs::perms::none)
            return false;
    }
    fileName_ = name.string();
    if (!name.has_filename())
        return false;
    fs::path temp = name.parent_path() / ("~temp~" + name.filename().string());
    BeforeSave();
    std::vector<uint8_t> image = BuildBlock();
    if (image.empty())
        return false;
    if (compress)
        image = HuffmanCoder::Compress(image);
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    ok = std::fflush(f) == 0 && ok;
    ok = fsync(fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    // The old file is replaced in one step, and only by a complete new one.
    if (ok) {
        fs::rename(temp, name, ec);
        ok = !ec;
    }
    if (!ok)
        fs::remove(temp, ec);
    return ok;
}

bool ChunkFile::SaveInPlace()
{
    if (fileName_.empty())
        return false;
    std::vector<ObjectChunk*> objects;
    GetObjects(objects);
    for (auto* o : objects)
        if (o->discardBeforeSave_)
            delete o;
    return Save(fileName_);
}

void ChunkFile::GetObjects(std::vector<ObjectChunk*>& list) const
{
    CollectTopLevel(this, chunk_id::kObject, list);
}

void ChunkFile::GetShapes(std::vector<ShapeChunk*>& list) const
{
    CollectTopLevel(this, chunk_id::kShape, list);
}

void ChunkFile::GetDummyObjects(std::vector<DummyObjectChunk*>& list) const
{
    CollectTopLevel(this, chunk_id::kDummyObject, list);
}

EnvironmentChunk* ChunkFile::GetEnvironmentData() const
{
    return FindChildAs<EnvironmentChunk>(chunk_id::kEnvironment);
}

void ChunkFile::BuildObjectTable()
{
    std::vector<ObjectChunk*> objects;
    GetObjects(objects);
    int32_t largest = -1;
    for (auto* o : objects)
        if (o->Header().tableIndex_ < kMaxObjectTableIndex)
            largest = std::max(largest, o->Header().tableIndex_);
    objectTable_.assign(static_cast<size_t>(largest + 1), nullptr);
    for (auto* o : objects) {
        int32_t i = o->Header().tableIndex_;
        if (i >= 0 && i < kMaxObjectTableIndex)
            objectTable_[static_cast<size_t>(i)] = o;
    }
    tableBuilt_ = true;
}

ObjectChunk* ChunkFile::GetObjectByIndex(int32_t index)
{
    if (!tableBuilt_)
        BuildObjectTable();
    if (index < 0 || static_cast<size_t>(index) >= objectTable_.size())
        return nullptr;
    return objectTable_[static_cast<size_t>(index)];
}

void ChunkFile::AddObject(ObjectChunk* object)
{
    if (!tableBuilt_)
        BuildObjectTable();
    auto slot = std::find(objectTable_.begin(), objectTable_.end(), nullptr);
    if (slot == objectTable_.end()) {
        objectTable_.push_back(nullptr);
        slot = objectTable_.end() - 1;
    }
    *slot = object;
    object->Header().tableIndex_ = static_cast<int32_t>(slot - objectTable_.begin());
}

void ChunkFile::ForgetObject(ObjectChunk* object)
{
    int32_t i = object->Header().tableIndex_;
    if (i >= 0 && static_cast<size_t>(i) < objectTable_.size() && objectTable_[static_cast<size_t>(i)] == object) {
        objectTable_[static_cast<size_t>(i)] = nullptr;
        return;
    }
    // An index changed behind the table's back: look for the slot.
    for (auto& slot : objectTable_)
        if (slot == object)
            slot = nullptr;
}

// ---------------------------------------------------------------------------

VersionChunk::VersionChunk(ParentChunk* parent, int32_t version)
    : DataChunk(parent, chunk_id::kVersion), version_(version)
{
}

VersionChunk::VersionChunk(ParentChunk* parent, const ChunkBytes& bytes) : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    version_ = r.I32();
    FinishRead(r, bytes);
}

FileNameChunk::FileNameChunk(ParentChunk* parent, std::string name)
    : DataChunk(parent, chunk_id::kFileName), name_(std::move(name))
{
}

FileNameChunk::FileNameChunk(ParentChunk* parent, const ChunkBytes& bytes) : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    name_ = r.PaddedString();
    FinishRead(r, bytes);
}

// ---------------------------------------------------------------------------

IncludedFileChunk::IncludedFileChunk(ParentChunk* parent, const std::filesystem::path& name)
    : ParentChunk(parent, chunk_id::kIncludedFile)
{
    EnsureChunkFamiliesRegistered();
    std::vector<uint8_t> bytes;
    if (const int32_t code = ReadChunkFileImage(name, bytes, errorMessage_); code != kChunkOk) {
        errorCode_ = code;
        return;
    }
    bool compressed = false;
    auto image = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    if (LoadImage(this, *image, image, name.string(), errorMessage_, compressed))
        AfterLoad();
}

int32_t IncludedFileChunk::ComputeSize()
{
    size_ = 0;
    return 0;
}

void IncludedFileChunk::Serialize(ByteWriter&) {}

bool IncludedFileChunk::WriteToFile(std::FILE*)
{
    return true;
}

void IncludedFileChunk::AfterLoad()
{
    std::vector<ShapeChunk*> shapes;
    std::vector<ObjectChunk*> objects;
    GetShapes(shapes);
    GetObjects(objects);
    for (auto* o : objects) {
        auto* head = o->GetHeaderChunk();
        if (!head)
            continue;
        for (auto* s : shapes)
            if (auto* h = s->GetHeader(); h && h->shapeId_ == head->shapeNumber_) {
                o->LinkShape(s);
                break;
            }
    }
    for (auto* s : shapes)
        if (auto* h = s->GetHeader())
            RaiseHighestShapeNumber(h->shapeId_);
    ParentChunk::AfterLoad();
}

void IncludedFileChunk::GetObjects(std::vector<ObjectChunk*>& list) const
{
    CollectTopLevel(this, chunk_id::kObject, list);
}

void IncludedFileChunk::GetShapes(std::vector<ShapeChunk*>& list) const
{
    CollectTopLevel(this, chunk_id::kShape, list);
}

EnvironmentChunk* IncludedFileChunk::GetEnvironmentData() const
{
    return FindChildAs<EnvironmentChunk>(chunk_id::kEnvironment);
}

void RegisterFileChunks()
{
    auto& reg = ChunkRegistry::Instance();
    reg.Register(chunk_id::kVersion, "", BuildChunk<VersionChunk>);
    reg.Register(chunk_id::kFileName, "", BuildChunk<FileNameChunk>);
}

} // namespace trevok
