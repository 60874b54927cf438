#include "Veapi/iff.h"

#include "platform/os.h"

#include <algorithm>
#include <array>

namespace ve {
namespace {

// Groups nest at least 12 bytes a level; a bound keeps a hostile file from
// exhausting the stack.
constexpr uint32_t kMaxDepth = 64;

class IffReadArchive : public IffArchive {
public:
    IffReadArchive(DataMedium* medium, int64_t remaining, uint32_t depth, bool lend = false)
        : IffArchive(true), medium_(medium), remaining_(remaining), depth_(depth), lend_(lend)
    {
        if (medium_)
            medium_->AddRef();
    }
    ~IffReadArchive() override
    {
        if (medium_)
            medium_->Release();
    }

    int64_t Remaining() override { return remaining_; }

    IffArchive* OpenChild(uint32_t size) override
    {
        int64_t granted = std::min<int64_t>(size, remaining_);
        // A size beyond what the enclosing chunk (and so the stream) holds is
        // refused before anything is allocated for it.
        if (int64_t(size) > remaining_ || depth_ + 1 > kMaxDepth)
            error_ = true;
        remaining_ -= granted;
        return new IffReadArchive(medium_, granted, depth_ + 1, lend_);
    }

    void CloseChild(IffArchive* child) override
    {
        auto* c = static_cast<IffReadArchive*>(child);
        if (c->error_)
            error_ = true;
        if (c->remaining_ > 0 && medium_) {
            SkipMedium(c->remaining_);
            if (medium_->Status())
                error_ = true;
        }
        child->Release();
    }

    void Attach(DataMedium* medium) override
    {
        if (medium_)
            medium_->Release();
        medium_ = medium;
        medium_->AddRef();
        if (medium_->Status())
            error_ = true;
        int64_t size = medium_->Size();
        remaining_ = size > 0 ? size : 0;
    }

    void Detach() override
    {
        if (!medium_)
            return;
        if (remaining_ > 0)
            SkipMedium(remaining_);
        remaining_ = 0;
        medium_->Flush();
        medium_->Release();
        medium_ = nullptr;
    }

    void TransferId(IffId& id) override
    {
        uint32_t v = 0;
        if (ReadBig(v, 4))
            id = v;
    }
    void Transfer64(uint64_t& value) override
    {
        uint32_t hi = 0, lo = 0;
        if (ReadBig(hi, 4) && ReadBig(lo, 4))
            value = uint64_t(hi) << 32 | lo;
    }
    void Transfer32(uint32_t& value) override
    {
        uint32_t v = 0;
        if (ReadBig(v, 4))
            value = v;
    }
    void Transfer16(uint16_t& value) override
    {
        uint32_t v = 0;
        if (ReadBig(v, 2))
            value = uint16_t(v);
    }
    void Transfer8(uint8_t& value) override
    {
        uint32_t v = 0;
        if (ReadBig(v, 1))
            value = uint8_t(v);
    }
    void TransferColour(uint8_t rgb[3]) override { TransferBytes(rgb, 3); }

    void TransferBytes(uint8_t* buffer, uint32_t count) override
    {
        if (!Take(count))
            return;
        medium_->Flush();
        medium_->Read(buffer, count);
        if (medium_->Status())
            error_ = true;
    }

    void TransferRest(std::vector<uint8_t>& bytes) override
    {
        // From a medium in memory the bytes are copied straight out of it,
        // with no zero fill of the chunk first.
        uint32_t count = 0;
        if (const uint8_t* at = RestInMemory(count)) {
            bytes.assign(at, at + count);
            return;
        }
        bytes.assign(size_t(std::max<int64_t>(remaining_, 0)), 0);
        if (!bytes.empty())
            TransferBytes(bytes.data(), uint32_t(bytes.size()));
    }

    const uint8_t* LendRest(uint32_t& count) override
    {
        count = 0;
        return lend_ ? RestInMemory(count) : nullptr;
    }

private:
    // The rest of the chunk where it lies, taken, when the medium is memory
    // that holds all of it; else null with nothing taken.
    const uint8_t* RestInMemory(uint32_t& count)
    {
        count = uint32_t(std::clamp<int64_t>(remaining_, 0, UINT32_MAX));
        auto* memory = dynamic_cast<MemoryMedium*>(medium_);
        if (count > 0 && count == remaining_ && memory && memory->HasMemory() && memory->Size() >= count)
            if (const uint8_t* at = memory->ReadInPlace(count)) {
                Take(count);
                return at;
            }
        count = 0;
        return nullptr;
    }

    void SkipMedium(int64_t count)
    {
        while (count > 0) {
            int32_t step = int32_t(std::min<int64_t>(count, INT32_MAX));
            medium_->SkipBytes(step);
            count -= step;
        }
    }

    bool Take(uint32_t count)
    {
        if (!medium_ || int64_t(count) > remaining_) {
            error_ = true;
            return false;
        }
        remaining_ -= count;
        return true;
    }

    bool ReadBig(uint32_t& value, uint32_t bytes)
    {
        if (!Take(bytes))
            return false;
        uint32_t v = 0;
        for (uint32_t i = 0; i < bytes; ++i) {
            uint8_t b = 0;
            if (!medium_->ReadUInt8(b)) {
                error_ = true;
                return false;
            }
            v = v << 8 | b;
        }
        if (medium_->Status()) {
            error_ = true;
            return false;
        }
        value = v;
        return true;
    }

    DataMedium* medium_;
    int64_t remaining_;
    uint32_t depth_;
    bool lend_;
};

// Collects each chunk's bytes so that a group's size is known before its
// header is written.
class IffWriteArchive : public IffArchive {
public:
    IffWriteArchive() : IffArchive(false) { bytes_.reserve(128); }
    ~IffWriteArchive() override
    {
        if (medium_)
            medium_->Release();
    }

    // Writing: the bytes collected so far.
    int64_t Remaining() override { return int64_t(bytes_.size()); }
    IffArchive* OpenChild(uint32_t) override { return new IffWriteArchive; }
    void CloseChild(IffArchive* child) override
    {
        auto* c = static_cast<IffWriteArchive*>(child);
        if (c->error_)
            error_ = true;
        bytes_.insert(bytes_.end(), c->bytes_.begin(), c->bytes_.end());
        if (c->bytes_.size() & 1)
            bytes_.push_back(0);
        child->Release();
    }
    void Attach(DataMedium* medium) override
    {
        medium_ = medium;
        medium_->AddRef();
        if (medium_->Status())
            error_ = true;
    }
    void Detach() override
    {
        if (!medium_)
            return;
        if (!bytes_.empty())
            medium_->Write(bytes_.data(), uint32_t(bytes_.size()));
        if (medium_->Status())
            error_ = true;
        medium_->Release();
        medium_ = nullptr;
    }

    void TransferId(IffId& id) override { PutBig(id, 4); }
    void Transfer64(uint64_t& value) override
    {
        PutBig(uint32_t(value >> 32), 4);
        PutBig(uint32_t(value), 4);
    }
    void Transfer32(uint32_t& value) override { PutBig(value, 4); }
    void Transfer16(uint16_t& value) override { PutBig(value, 2); }
    void Transfer8(uint8_t& value) override { PutBig(value, 1); }
    void TransferColour(uint8_t rgb[3]) override { TransferBytes(rgb, 3); }
    void TransferBytes(uint8_t* buffer, uint32_t count) override
    {
        bytes_.insert(bytes_.end(), buffer, buffer + count);
    }
    void TransferRest(std::vector<uint8_t>& bytes) override
    {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    }

    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    void PutBig(uint32_t v, uint32_t bytes)
    {
        for (uint32_t i = bytes; i-- > 0;)
            bytes_.push_back(uint8_t(v >> (8 * i)));
    }

    std::vector<uint8_t> bytes_;
    DataMedium* medium_ = nullptr;
};

struct RegistryEntry {
    IffFactory factory;
    IffId formType;
    IffId id;
};

IffChunk* MakeForm(IffId) { return new IffForm; }
IffChunk* MakeList(IffId) { return new IffList; }
IffChunk* MakeCat(IffId) { return new IffCat; }
IffChunk* MakeProp(IffId) { return new IffProp; }

std::array<std::vector<RegistryEntry>, 64>& Buckets()
{
    static std::array<std::vector<RegistryEntry>, 64> buckets = [] {
        std::array<std::vector<RegistryEntry>, 64> b;
        auto add = [&b](IffFactory f, IffId id) {
            auto& bucket = b[IffRegistry::Bucket(id)];
            bucket.insert(bucket.begin(), RegistryEntry{f, 0, id});
        };
        add(MakeForm, kIffForm);
        add(MakeList, kIffList);
        add(MakeCat, kIffCat);
        add(MakeProp, kIffProp);
        return b;
    }();
    return buckets;
}

bool IsGroup(IffId id) { return id == kIffForm || id == kIffList || id == kIffCat || id == kIffProp; }

} // namespace

std::string IffIdText(IffId id)
{
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i) {
        char c = char(id >> (24 - 8 * i));
        s[size_t(i)] = (c >= 32 && c < 127) ? c : '?';
    }
    return s;
}

void IffArchive::Transfer64(int64_t& value)
{
    auto v = uint64_t(value);
    Transfer64(v);
    value = int64_t(v);
}
void IffArchive::Transfer32(int32_t& value)
{
    auto v = uint32_t(value);
    Transfer32(v);
    value = int32_t(v);
}
void IffArchive::Transfer16(int16_t& value)
{
    auto v = uint16_t(value);
    Transfer16(v);
    value = int16_t(v);
}
void IffArchive::Transfer8(int8_t& value)
{
    auto v = uint8_t(value);
    Transfer8(v);
    value = int8_t(v);
}

IffChunk* IffChunk::FindProperty(IffId id) const
{
    IffContainer* form = parent_;
    if (!form)
        return nullptr;
    if (IffChunk* own = form->FindChild(id))
        return own;
    IffId type = form->FormType();
    for (IffContainer* up = form->Parent(); up; up = up->Parent()) {
        if (up->Id() != kIffList)
            continue;
        for (IffChunk* child : up->Children()) {
            IffContainer* prop = child->AsContainer();
            if (!prop || prop->Id() != kIffProp || child->Hidden())
                continue;
            if (prop->FormType() != type && prop->FormType() != 0)
                continue;
            if (IffChunk* found = prop->FindChild(id))
                return found;
        }
    }
    return nullptr;
}

IffContainer::~IffContainer() { Clear(); }

void IffContainer::OwnBytes()
{
    for (IffChunk* c : children_)
        c->OwnBytes();
}

void IffContainer::Clear()
{
    for (IffChunk* c : children_) {
        c->parent_ = nullptr;
        c->Release();
    }
    children_.clear();
}

void IffContainer::Append(IffChunk* chunk)
{
    chunk->parent_ = this;
    children_.push_back(chunk);
}

IffChunk* IffContainer::FindChild(IffId id) const
{
    for (IffChunk* c : children_)
        if (!c->Hidden() && c->Id() == id)
            return c;
    return nullptr;
}

void IffContainer::Transfer(IffArchive& archive)
{
    IffId type = formType_;
    archive.TransferId(type);
    formType_ = type;
    if (archive.Reading()) {
        Clear();
        while (archive.Remaining() > 0 && !archive.Error()) {
            IffChunk* child = CreateChild(archive);
            if (!child)
                break;
            Append(child);
        }
    } else {
        for (IffChunk* c : children_)
            IffWriteChunk(archive, c);
    }
}

IffChunk* IffContainer::CreateChild(IffArchive& archive)
{
    return IffReadChunk(archive, this);
}

bool IffContainer::ForEach(IffId formType, IffId id, IffChunkCallback callback, void* context)
{
    bool dataHere = (Id() == kIffForm || Id() == kIffProp) && IffIdMatches(formType, formType_);
    for (IffChunk* child : children_) {
        if (child->Hidden())
            continue;
        if (IffContainer* c = child->AsContainer()) {
            // Lists and catalogues are entered for their own type only.
            if (Id() != kIffForm && !IffIdMatches(formType, c->FormType()))
                continue;
            if (!c->ForEach(formType, id, callback, context))
                return false;
        } else if (dataHere && IffIdMatches(id, child->Id())) {
            if (!callback(child, context))
                return false;
        }
    }
    return true;
}

bool IffList::TypedChild(IffId id) const { return IsGroup(id); }
bool IffCat::TypedChild(IffId id) const { return id == kIffForm || id == kIffList || id == kIffCat; }
bool IffProp::TypedChild(IffId id) const { return !IsGroup(id); }

void IffRegistry::Register(IffFactory factory, IffId formType, IffId id)
{
    auto& bucket = Buckets()[Bucket(id)];
    bucket.insert(bucket.begin(), RegistryEntry{factory, formType, id});
}

IffFactory IffRegistry::Lookup(IffId formType, IffId id)
{
    for (const RegistryEntry& e : Buckets()[Bucket(id)])
        if (IffIdMatches(e.formType, formType) && IffIdMatches(e.id, id))
            return e.factory;
    return nullptr;
}

IffChunk* IffReadChunk(IffArchive& archive, const IffContainer* owner)
{
    IffId id = 0;
    archive.TransferId(id);
    if (archive.Error())
        return nullptr;
    IffChunk* chunk = nullptr;
    if (!owner || owner->TypedChild(id)) {
        if (IffFactory f = IffRegistry::Lookup(owner ? owner->FormType() : 0, id))
            chunk = f(id);
    }
    if (!chunk)
        chunk = new IffRawChunk(id);
    uint32_t size = 0;
    archive.Transfer32(size);
    IffArchive* child = archive.OpenChild(size);
    if (!archive.Error())
        chunk->Transfer(*child);
    archive.CloseChild(child);
    // A missing pad byte at the very end is forgiven.
    if ((size & 1) && archive.Remaining() > 0) {
        uint8_t pad = 0;
        archive.Transfer8(pad);
    }
    return chunk;
}

void IffWriteChunk(IffArchive& archive, IffChunk* chunk)
{
    IffArchive* child = archive.OpenChild(0);
    chunk->Transfer(*child);
    IffId id = chunk->Id();
    archive.TransferId(id);
    auto size = uint32_t(child->Remaining());
    archive.Transfer32(size);
    archive.CloseChild(child);
}

IffDocument::~IffDocument() { SetRoot(nullptr); }

void IffDocument::SetRoot(IffContainer* root)
{
    if (root_)
        root_->Release();
    root_ = root;
}

void IffDocument::Transfer(IffArchive& archive)
{
    if (!archive.Reading()) {
        if (root_)
            IffWriteChunk(archive, root_);
        return;
    }
    SetRoot(nullptr);
    if (archive.Remaining() <= 0) {
        archive.SetError();
        return;
    }
    IffId id = 0;
    archive.TransferId(id);
    if (archive.Error())
        return;
    if (id != kIffForm && id != kIffList && id != kIffCat) {
        archive.SetError();
        return;
    }
    IffFactory f = IffRegistry::Lookup(0, id);
    IffChunk* chunk = f ? f(id) : nullptr;
    IffContainer* root = chunk ? chunk->AsContainer() : nullptr;
    if (!root) {
        if (chunk)
            chunk->Release();
        archive.SetError();
        return;
    }
    uint32_t size = 0;
    archive.Transfer32(size);
    IffArchive* child = archive.OpenChild(size);
    if (!archive.Error())
        root->Transfer(*child);
    archive.CloseChild(child);
    if ((size & 1) && archive.Remaining() > 0) {
        uint8_t pad = 0;
        archive.Transfer8(pad);
    }
    root_ = root;
}

void IffDocument::OwnBytes()
{
    if (root_)
        root_->OwnBytes();
}

bool IffDocument::Read(DataMedium* medium, bool lend)
{
    error_ = false;
    if (medium->Status()) {
        error_ = true;
    } else {
        IffReadArchive archive(nullptr, 0, 0, lend);
        archive.Attach(medium);
        Transfer(archive);
        archive.Detach();
        error_ = archive.Error() || medium->Status() != 0;
    }
    mediumStatus_ = medium->Status();
    mediumOsError_ = medium->OsError();
    return !error_;
}

bool IffDocument::ReadFile(const std::string& path)
{
    path_ = path;
    const auto bytes = platform::ReadWholeFile(path, kMaxFileBytes);
    if (!bytes) {
        // Reported as a failed open, the way a file medium reports one.
        error_ = true;
        mediumStatus_ = kMediumOpenFailed;
        mediumOsError_ = errno;
        return false;
    }
    auto* medium = new MemoryMedium(bytes->data(), static_cast<uint32_t>(bytes->size()));
    bool ok = Read(medium);
    medium->Release();
    return ok;
}

bool IffDocument::Write(DataMedium* medium)
{
    IffWriteArchive archive;
    archive.Attach(medium);
    Transfer(archive);
    archive.Detach();
    mediumStatus_ = medium->Status();
    mediumOsError_ = medium->OsError();
    error_ = archive.Error() || mediumStatus_ != 0;
    return !error_;
}

bool IffDocument::WriteFile(const std::string& path)
{
    path_ = path;
    FileMedium* medium = FileMedium::Open(path, true);
    bool ok = Write(medium);
    medium->Release();
    return ok;
}

bool IffDocument::ForEach(IffId formType, IffId id, IffChunkCallback callback, void* context)
{
    return root_ ? root_->ForEach(formType, id, callback, context) : true;
}

} // namespace ve
