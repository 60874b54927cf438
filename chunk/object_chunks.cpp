#include "chunk/object_chunks.h"

#include "chunk/chunk_file.h"
#include "chunk/chunk_ids.h"
#include "chunk/environment_chunks.h"
#include "chunk/light_chunks.h"
#include "chunk/shape_chunks.h"

#include <algorithm>
#include <cstring>
#include <unistd.h>

namespace trevok {

// ---------------------------------------------------------------------------

int32_t EditableChunk::ComputePartialSize()
{
    if (!writeInPartialPass_) {
        size_ = 0;
        return 0;
    }
    return ParentChunk::ComputePartialSize();
}

void EditableChunk::SerializePartial(ByteWriter& out)
{
    if (!writeInPartialPass_)
        return;
    ParentChunk::SerializePartial(out);
    writeInPartialPass_ = 0;
}

bool EditableChunk::BeginEdit(ChunkFile* root)
{
    if (!root || root->FileName().empty() || beingEdited_ || locked_)
        return false;
    beingEdited_ = 1;
    SetEditor("Player");
    return true;
}

bool EditableChunk::EndEdit(ChunkFile*, bool modified)
{
    if (modified)
        modified_ = 1;
    beingEdited_ = 0;
    return true;
}

bool EditableChunk::WriteInPlace(std::FILE* file)
{
    if (!GetHeaderIdentifier())
        return false;
    // Only a plain file can be patched in place; chunks written into a compressed
    // one would destroy it.
    char magic[8] = {};
    std::fseek(file, 0, SEEK_SET);
    if (std::fread(magic, 1, 8, file) != 8 || std::memcmp(magic, chunk_id::kPlainFile, 8) != 0)
        return false;
    std::vector<long> offsets;
    std::fseek(file, 0, SEEK_SET);
    ScanFileForChunks(offsets, file, identifier_);
    long match = -1;
    int32_t matchSize = 0;
    for (long o : offsets) {
        uint8_t b[4];
        if (std::fseek(file, o + 8, SEEK_SET) != 0 || std::fread(b, 1, 4, file) != 4)
            continue;
        ByteReader r({b, 4});
        int32_t s = r.I32();
        std::fseek(file, o, SEEK_SET);
        if (MatchesStoredEntry(file)) {
            match = o;
            matchSize = s;
            break;
        }
    }
    std::fseek(file, 0, SEEK_END);
    long end = std::ftell(file);
    bool ok = true;
    if (match < 0) {
        if (!discardBeforeSave_) {
            ComputeSize();
            ok = WriteToFile(file);
        }
    } else {
        std::vector<uint8_t> tail;
        long after = match + matchSize;
        if (after < end) {
            tail.resize(static_cast<size_t>(end - after));
            std::fseek(file, after, SEEK_SET);
            ok = std::fread(tail.data(), 1, tail.size(), file) == tail.size();
        }
        std::fseek(file, match, SEEK_SET);
        if (ok && !discardBeforeSave_) {
            ComputeSize();
            ok = WriteToFile(file);
        }
        if (ok && !tail.empty())
            ok = std::fwrite(tail.data(), 1, tail.size(), file) == tail.size();
    }
    if (!ok)
        return false;
    std::fflush(file);
    long length = std::ftell(file);
    if (ftruncate(fileno(file), length) != 0)
        return false;
    beingEdited_ = 0;
    modified_ = 0;
    std::vector<uint8_t> size;
    ByteWriter w(size);
    w.I32(static_cast<int32_t>(length));
    std::fseek(file, 8, SEEK_SET);
    ok = std::fwrite(size.data(), 1, 4, file) == 4;
    std::fflush(file);
    if (discardBeforeSave_)
        delete this;
    return ok;
}

// ---------------------------------------------------------------------------

ObjectChunk::ObjectChunk(ParentChunk* parent, const ChunkBytes& bytes) : EditableChunk(parent, bytes.Identifier())
{
    // Read here, not in the base, so the header child finds this object's record.
    ReadChildren(bytes.Payload());
}

ObjectChunk::ObjectChunk(ParentChunk* parent, const ObjectHeader& header) : EditableChunk(parent, chunk_id::kObject)
{
    header_ = header;
    header_.tableIndex_ = -1;
    auto* head = new ObjectHeaderChunk(this);
    head->flags_ = header_.mirrored_ ? 0x100 : 0;
    auto* internal = new ParentChunk(this, chunk_id::kObjectInternalData);
    new ObjectNotesChunk(internal, std::string_view("Enter notes here", 17));
    if (ChunkFile* file = parent ? parent->AsChunkFile() : nullptr)
        file->AddObject(this);
    ComputeNameDigest();
}

ObjectChunk::~ObjectChunk()
{
    if (ChunkFile* file = parent_ ? parent_->AsChunkFile() : nullptr)
        file->ForgetObject(this);
    DeleteChildren();
}

void ObjectChunk::AfterLoad()
{
    ComputeNameDigest();
    if (auto* head = GetHeaderChunk(); head && (head->flags_ & 1))
        locked_ = 1;
    ParentChunk::AfterLoad();
}

ObjectHeaderChunk* ObjectChunk::GetHeaderChunk() const
{
    return headerChunk_.Find(*this, chunk_id::kObjectHeader);
}

const char* ObjectChunk::GetHeaderIdentifier() const
{
    auto* head = GetHeaderChunk();
    return head ? head->Identifier() : nullptr;
}

void ObjectChunk::SetEditor(const std::string& editor)
{
    if (auto* head = GetHeaderChunk()) {
        head->editor_.fill(0);
        std::memcpy(head->editor_.data(), editor.data(), std::min<size_t>(editor.size(), 16));
    }
}

ShapeChunk* ObjectChunk::GetShape() const
{
    auto* head = GetHeaderChunk();
    return head ? head->shape_ : nullptr;
}

void ObjectChunk::SetHeader(const ObjectHeader& header)
{
    int32_t index = header_.tableIndex_;
    header_ = header;
    header_.tableIndex_ = index;
    ComputeNameDigest();
}

void ObjectChunk::ComputeNameDigest()
{
    header_.digest_ = {};
    if (!parent_)
        return;
    if (ChunkFile* file = parent_->AsChunkFile(); file && file->InAfterLoad()) {
        if (const std::string* name = file->EnvironmentNameDuringLoad())
            header_.digest_ = NameDigest::Of(*name + header_.name_);
        return;
    }
    auto* env = parent_->FindChild(chunk_id::kEnvironment);
    auto* envParent = dynamic_cast<ParentChunk*>(env);
    if (!envParent)
        return;
    auto* fileName = envParent->FindChildAs<FileNameChunk>(chunk_id::kFileName);
    if (!fileName)
        return;
    header_.digest_ = NameDigest::Of(fileName->name_ + header_.name_);
}

void ObjectChunk::LinkShape(ShapeChunk* shape)
{
    auto* head = GetHeaderChunk();
    if (!head || !shape || head->shape_ == shape)
        return;
    auto* shapeHead = shape->GetHeader();
    if (!shapeHead)
        return;
    if (head->shape_)
        if (auto* oldHead = head->shape_->GetHeader()) {
            auto& old = oldHead->users_;
            old.erase(std::remove(old.begin(), old.end(), this), old.end());
        }
    head->shape_ = shape;
    auto& users = shapeHead->users_;
    if (std::find(users.begin(), users.end(), this) == users.end())
        users.push_back(this);
}

void ObjectChunk::UnlinkShape(ShapeChunk* shape)
{
    if (shape) {
        if (auto* sh = shape->GetHeader()) {
            auto& users = sh->users_;
            users.erase(std::remove(users.begin(), users.end(), this), users.end());
        }
    }
    if (auto* head = GetHeaderChunk())
        head->shape_ = nullptr;
}

bool ObjectChunk::LinkShapeFromFile(ChunkFile* root)
{
    auto* head = GetHeaderChunk();
    if (!head || !root)
        return false;
    std::vector<ShapeChunk*> shapes;
    root->GetShapes(shapes);
    for (auto* s : shapes)
        if (auto* sh = s->GetHeader(); sh && sh->shapeId_ == head->shapeNumber_) {
            LinkShape(s);
            return true;
        }
    return false;
}

void ObjectChunk::BumpRevision()
{
    if (auto* head = GetHeaderChunk())
        ++head->revision_;
}

bool ObjectChunk::IsOlderRevisionOf(const ObjectChunk& other) const
{
    auto* a = GetHeaderChunk();
    auto* b = other.GetHeaderChunk();
    return a && b && a->revision_ < b->revision_ && Name() == other.Name();
}

ModuleArrayChunk* ObjectChunk::GetModuleArray() const
{
    auto* modules = FindChildAs<ParentChunk>(chunk_id::kModuleData);
    return modules ? modules->FindChildAs<ModuleArrayChunk>(chunk_id::kModuleArray) : nullptr;
}

void ObjectChunk::Delete(ChunkFile* root)
{
    int32_t index = header_.tableIndex_;
    if (root) {
        std::vector<ObjectChunk*> objects;
        root->GetObjects(objects);
        for (auto* o : objects) {
            if (o == this)
                continue;
            if (auto* array = o->GetModuleArray()) {
                auto& entries = array->entries_;
                for (size_t i = 0; i < entries.size();) {
                    if (entries[i].objectIndex_ != index) {
                        ++i;
                        continue;
                    }
                    int32_t removed = entries[i].entryIndex_;
                    entries.erase(entries.begin() + static_cast<ptrdiff_t>(i));
                    for (auto& e : entries)
                        if (e.entryIndex_ > removed)
                            --e.entryIndex_;
                }
                if (entries.empty())
                    delete array;
            }
            if (auto* modules = o->FindChildAs<ParentChunk>(chunk_id::kModuleData))
                if (auto* adjacent = modules->FindChildAs<AdjacentModulesChunk>(chunk_id::kAdjacentModules)) {
                    auto& e = adjacent->entries_;
                    e.erase(std::remove_if(e.begin(), e.end(),
                                           [&](const AdjacentModuleEntry& a) { return a.objectIndex_ == index; }),
                            e.end());
                }
        }
    }
    UnlinkShape(GetShape());
    BeginEdit(root);
    discardBeforeSave_ = 1;
    EndEdit(root, true);
}

int ObjectChunk::GetLevelsOfDetail(std::vector<ObjectChunk*>& list)
{
    list.assign(10, nullptr);
    list[0] = this;
    int limit = 10;
    if (parent_) {
        for (Chunk* c = parent_->FirstChild(); c; c = c->Next()) {
            auto* dummy = dynamic_cast<DummyObjectChunk*>(c);
            if (!dummy || !dummy->GetData())
                continue;
            const std::string& n = dummy->GetData()->name_;
            if (n.size() >= 3 && n[0] == 'L' && n[1] >= '1' && n[1] <= '9' && n[2] == '#' &&
                n.compare(3, std::string::npos, Name()) == 0)
                limit = std::min(limit, n[1] - '0');
        }
    }
    int found = 0;
    for (int level = 1; level <= 9; ++level) {
        if (level >= limit)
            break;
        std::string want = "L" + std::to_string(level) + "#" + Name();
        ObjectChunk* match = nullptr;
        if (parent_)
            for (Chunk* c = parent_->FirstChild(); c && !match; c = c->Next())
                if (auto* o = dynamic_cast<ObjectChunk*>(c); o && o->Name() == want)
                    match = o;
        if (match) {
            list[static_cast<size_t>(level)] = match;
            ++found;
        } else {
            list[static_cast<size_t>(level)] = list[static_cast<size_t>(level - 1)];
        }
    }
    return 1 + found;
}

bool ObjectChunk::MatchesStoredEntry(std::FILE* file) const
{
    long start = std::ftell(file);
    std::vector<long> heads;
    ScanFileForChunks(heads, file, chunk_id::kObjectHeader);
    bool match = false;
    if (heads.size() == 1 && std::fseek(file, heads[0] + 72, SEEK_SET) == 0) {
        std::string stored;
        int c;
        while ((c = std::fgetc(file)) != EOF && c != 0 && stored.size() <= Name().size())
            stored += static_cast<char>(c);
        match = stored == Name();
    }
    std::fseek(file, start, SEEK_SET);
    return match;
}

// ---------------------------------------------------------------------------

ObjectHeaderChunk::ObjectHeaderChunk(ParentChunk* parent) : DataChunk(parent, chunk_id::kObjectHeader)
{
    auto* owner = dynamic_cast<ObjectChunk*>(parent);
    header_ = owner ? &owner->Header() : &own_;
}

ObjectHeaderChunk::ObjectHeaderChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : ObjectHeaderChunk(parent)
{
    ByteReader r(bytes.Payload());
    ObjectHeader& h = *header_;
    flags_ = r.I32();
    r.Bytes(editor_.data(), 16);
    for (auto& p : h.position_)
        p = r.I32();
    for (auto& q : h.orientation_)
        q = r.F32();
    h.mirrored_ = (flags_ & 0x100) ? 1 : 0;
    h.tableIndex_ = r.I32();
    revision_ = r.I32();
    shapeNumber_ = r.I32();
    h.name_ = r.CString();
    if (r.Ok())
        r.Seek(std::min(r.Size(), 60 + ((h.name_.size() + 4) & ~size_t{3})));
    FinishRead(r, bytes);
}

ObjectHeaderChunk::~ObjectHeaderChunk()
{
    if (shape_) {
        if (auto* sh = shape_->GetHeader()) {
            auto& users = sh->users_;
            // The owner is the object holding this header: only its header is
            // ever linked, so no user's children need searching.
            users.erase(std::remove_if(users.begin(), users.end(),
                                       [&](ObjectChunk* o) { return static_cast<ParentChunk*>(o) == parent_; }),
                        users.end());
        }
    }
}

size_t ObjectHeaderChunk::PayloadSize() const
{
    return 60 + ((header_->name_.size() + 4) & ~size_t{3});
}

void ObjectHeaderChunk::WritePayload(ByteWriter& out) const
{
    const ObjectHeader& h = *header_;
    out.I32((flags_ & ~0x100) | (h.mirrored_ ? 0x100 : 0));
    out.Bytes(editor_.data(), 16);
    for (auto p : h.position_)
        out.I32(p);
    for (auto q : h.orientation_)
        out.F32(q);
    out.I32(h.tableIndex_);
    out.I32(revision_);
    out.I32(shapeNumber_);
    out.CString(h.name_);
    out.Zeros(((h.name_.size() + 4) & ~size_t{3}) - h.name_.size() - 1);
}

// ---------------------------------------------------------------------------

ObjectNotesChunk::ObjectNotesChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier()), bytes_(bytes.Payload().begin(), bytes.Payload().end())
{
}

ObjectNotesChunk::ObjectNotesChunk(ParentChunk* parent, std::string_view text)
    : DataChunk(parent, chunk_id::kObjectNotes), bytes_(text.begin(), text.end())
{
}

void ObjectNotesChunk::WritePayload(ByteWriter& out) const
{
    out.Bytes(bytes_);
    out.Zeros(PayloadSize() - bytes_.size());
}

// ---------------------------------------------------------------------------

ModuleArrayChunk::ModuleArrayChunk(ParentChunk* parent) : DataChunk(parent, chunk_id::kModuleArray) {}

ModuleArrayChunk::ModuleArrayChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    int32_t n = r.I32();
    if (CheckCount(r, n, 16)) {
        entries_.resize(static_cast<size_t>(n));
        for (auto& e : entries_) {
            e.objectIndex_ = r.I32();
            e.entryIndex_ = r.I32();
            e.value1_ = r.I32();
            e.value2_ = r.I32();
        }
    }
    FinishRead(r, bytes);
}

void ModuleArrayChunk::WritePayload(ByteWriter& out) const
{
    out.I32(static_cast<int32_t>(entries_.size()));
    for (const auto& e : entries_) {
        out.I32(e.objectIndex_);
        out.I32(e.entryIndex_);
        out.I32(e.value1_);
        out.I32(e.value2_);
    }
}

AdjacentModulesChunk::AdjacentModulesChunk(ParentChunk* parent) : DataChunk(parent, chunk_id::kAdjacentModules) {}

AdjacentModulesChunk::AdjacentModulesChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    int32_t n = r.I32();
    if (CheckCount(r, n, 20)) {
        entries_.resize(static_cast<size_t>(n));
        for (auto& e : entries_) {
            e.objectIndex_ = r.I32();
            for (auto& v : e.values_)
                v = r.I32();
        }
    }
    FinishRead(r, bytes);
}

void AdjacentModulesChunk::WritePayload(ByteWriter& out) const
{
    out.I32(static_cast<int32_t>(entries_.size()));
    for (const auto& e : entries_) {
        out.I32(e.objectIndex_);
        for (auto v : e.values_)
            out.I32(v);
    }
}

// ---------------------------------------------------------------------------

WordsChunk::WordsChunk(ParentChunk* parent, const ChunkBytes& bytes, size_t wordCount)
    : DataChunk(parent, bytes.Identifier()), words_(wordCount)
{
    ByteReader r(bytes.Payload());
    for (auto& w : words_)
        w = r.U32();
    FinishRead(r, bytes);
}

WordsChunk::WordsChunk(ParentChunk* parent, std::string_view identifier, std::vector<uint32_t> words)
    : DataChunk(parent, identifier), words_(std::move(words))
{
}

float WordsChunk::Float(size_t i) const
{
    return std::bit_cast<float>(words_[i]);
}

void WordsChunk::WritePayload(ByteWriter& out) const
{
    for (auto w : words_)
        out.U32(w);
}

WordsChunk* NewAcousticsChunk(ParentChunk* parent, std::string_view identifier, int32_t a, float b, int32_t c)
{
    return new WordsChunk(parent, identifier,
                          {static_cast<uint32_t>(a), std::bit_cast<uint32_t>(b), static_cast<uint32_t>(c)});
}

// ---------------------------------------------------------------------------

ObjectTrackChunk::ObjectTrackChunk(ParentChunk* parent) : DataChunk(parent, chunk_id::kObjectTrack) {}

ObjectTrackChunk::ObjectTrackChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    int32_t n = r.I32();
    if (CheckCount(r, n, 76)) {
        records_.resize(static_cast<size_t>(n));
        for (auto& rec : records_)
            for (auto& w : rec.words_)
                w = r.U32();
    }
    a_ = r.I32();
    b_ = r.I32();
    if (r.Ok() && a_ >= 0) {
        // Older files store the quaternions in another order and sign; convert once
        // and mark the chunk so a file written back is not converted again.
        for (auto& rec : records_) {
            for (int q = 0; q < 2; ++q) {
                uint32_t* v = rec.words_ + 4 * q;
                uint32_t q0 = v[0], q1 = v[1], q2 = v[2], q3 = v[3];
                v[0] = q3 ^ 0x80000000u;
                v[1] = q0;
                v[2] = q1;
                v[3] = q2 ^ 0x80000000u;
            }
        }
        a_ = static_cast<int32_t>(static_cast<uint32_t>(a_) | 0x80000000u);
    }
    FinishRead(r, bytes);
}

void ObjectTrackChunk::WritePayload(ByteWriter& out) const
{
    out.I32(static_cast<int32_t>(records_.size()));
    for (const auto& rec : records_)
        for (auto w : rec.words_)
            out.U32(w);
    out.I32(a_);
    out.I32(b_);
}

TrackSoundChunk::TrackSoundChunk(ParentChunk* parent, std::string soundName)
    : DataChunk(parent, chunk_id::kTrackSound), soundName_(std::move(soundName))
{
}

TrackSoundChunk::TrackSoundChunk(ParentChunk* parent, const ChunkBytes& bytes) : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    for (auto& v : values_)
        v = r.I32();
    soundName_ = r.PaddedString();
    FinishRead(r, bytes);
}

void TrackSoundChunk::WritePayload(ByteWriter& out) const
{
    for (auto v : values_)
        out.I32(v);
    out.PaddedString(soundName_);
}

TrackSoundCategoryChunk::TrackSoundCategoryChunk(ParentChunk* parent, std::string text)
    : DataChunk(parent, chunk_id::kTrackSoundCategory), text_(std::move(text))
{
}

TrackSoundCategoryChunk::TrackSoundCategoryChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    text_ = r.PaddedString();
    for (auto& v : values_)
        v = r.I32();
    FinishRead(r, bytes);
}

void TrackSoundCategoryChunk::WritePayload(ByteWriter& out) const
{
    out.PaddedString(text_);
    for (auto v : values_)
        out.I32(v);
}

AlternativeLocationsChunk::AlternativeLocationsChunk(ParentChunk* parent)
    : DataChunk(parent, chunk_id::kAlternativeLocations)
{
}

AlternativeLocationsChunk::AlternativeLocationsChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    for (auto& v : values_)
        v = r.I32();
    int32_t n = r.I32();
    if (CheckCount(r, n, 36)) {
        locations_.resize(static_cast<size_t>(n));
        for (auto& l : locations_)
            for (auto& w : l.words_)
                w = r.U32();
    }
    FinishRead(r, bytes);
}

void AlternativeLocationsChunk::WritePayload(ByteWriter& out) const
{
    for (auto v : values_)
        out.I32(v);
    out.I32(static_cast<int32_t>(locations_.size()));
    for (const auto& l : locations_)
        for (auto w : l.words_)
            out.U32(w);
}

// ---------------------------------------------------------------------------

void RegisterObjectChunks()
{
    auto& reg = ChunkRegistry::Instance();
    reg.Register(chunk_id::kObject, "", BuildChunk<ObjectChunk>);
    reg.Register(chunk_id::kObjectHeader, "", BuildChunk<ObjectHeaderChunk>);
    reg.Register(chunk_id::kObjectInternalData, "", BuildChunk<ParentChunk>);
    reg.Register(chunk_id::kObjectNotes, "", BuildChunk<ObjectNotesChunk>);
    reg.Register(chunk_id::kModuleData, "", BuildChunk<ParentChunk>);
    reg.Register(chunk_id::kModuleArray, "", BuildChunk<ModuleArrayChunk>);
    reg.Register(chunk_id::kAdjacentModules, "", BuildChunk<AdjacentModulesChunk>);
    reg.Register(chunk_id::kModuleFlags, "", BuildWordsChunk<2>);
    reg.Register(chunk_id::kModuleZone, "", BuildWordsChunk<2>);
    reg.Register(chunk_id::kModuleAcoustics, "", BuildWordsChunk<3>);
    reg.Register(chunk_id::kObjectProjectData, "", BuildChunk<ParentChunk>);
    reg.Register(chunk_id::kObjectTrack, "", BuildChunk<ObjectTrackChunk>);
    reg.Register(chunk_id::kTrackSound, "", BuildChunk<TrackSoundChunk>);
    reg.Register(chunk_id::kTrackSoundCategory, "", BuildChunk<TrackSoundCategoryChunk>);
    reg.Register(chunk_id::kAlternativeLocations, "", BuildChunk<AlternativeLocationsChunk>);
}

} // namespace trevok
