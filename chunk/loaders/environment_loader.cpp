#include "chunk/loaders/environment_loader.h"

#include "Veapi/shape_builder.h"
#include "Veapi/texture_loader.h"
#include "Veapi/texture_manager.h"
#include "chunk/bitmap_name_chunks.h"
#include "chunk/chunk_families.h"
#include "chunk/cutscene_chunks.h"
#include "chunk/environment_chunks.h"
#include "chunk/hierarchy_chunks.h"
#include "chunk/light_chunks.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"
#include "chunk/sound_chunks.h"
#include "platform/data_path.h"

#include <algorithm>
#include <bit>
#include <cctype>

namespace trevok {
namespace {

// The whole-file step shared by the path and the image forms.
EnvironmentRecordPtr RecordFromFile(std::unique_ptr<ChunkFile> file, std::string* error)
{
    if (!file || file->ErrorCode() != kChunkOk) {
        if (error)
            *error = file ? file->ErrorMessage() : std::string("the file could not be read");
        return nullptr;
    }
    auto record = std::make_unique<EnvironmentRecord>();
    record->file_ = std::move(file);
    if (auto* env = record->file_->FindChildAs<EnvironmentChunk>(chunk_id::kEnvironment))
        ReadEnvironmentData(*env, *record);
    // Only the root's own sounds count; a later one with the same index wins.
    // Indexes outside the table name no slot and are left out.
    for (Chunk* c = record->file_->FirstChild(); c; c = c->Next())
        if (auto* sound = dynamic_cast<const IndexedSoundChunk*>(c))
            if (sound->index_ >= 0 && sound->index_ < kSequenceSlots)
                record->sounds_[size_t(sound->index_)] = sound;
    return record;
}

std::vector<uint32_t> TintOf(const ObjectChunk& object)
{
    std::vector<uint32_t> tint;
    if (auto* chunk = object.FindChildAs<VertexIntensityChunk>(chunk_id::kVertexIntensity))
        for (int32_t v : chunk->intensities_)
            tint.push_back(uint32_t(v));
    return tint;
}

float IntegerWord(uint32_t word)
{
    return float(std::bit_cast<int32_t>(word));
}

Vec3 IntegerTriple(const DummyVector& v)
{
    return Vec3(IntegerWord(v.words_[0]), IntegerWord(v.words_[1]), IntegerWord(v.words_[2]));
}

} // namespace

bool SameNameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

EnvironmentRecordPtr LoadEnvironmentFile(const std::filesystem::path& name, std::string* error)
{
    EnsureChunkFamiliesRegistered();
    return RecordFromFile(ChunkFile::Open(name), error);
}

EnvironmentRecordPtr LoadEnvironmentFile(const std::filesystem::path& folder, std::string_view dataName,
                                         std::string* error)
{
    const auto path = platform::ResolveDataPath(folder, dataName);
    if (!path) {
        if (error)
            *error = std::string(dataName) + ": no such file in " + folder.string();
        return nullptr;
    }
    return LoadEnvironmentFile(*path, error);
}

EnvironmentRecordPtr LoadEnvironmentImage(std::span<const uint8_t> image, std::string name, std::string* error)
{
    EnsureChunkFamiliesRegistered();
    return RecordFromFile(ChunkFile::FromFileImage(image, std::move(name)), error);
}

void FreeEnvironmentRecord(EnvironmentRecordPtr& record)
{
    record.reset();
}

void GetEnvironmentScale(float& scale, const EnvironmentRecord& record)
{
    scale = record.scale_;
}

void ReadEnvironmentData(const EnvironmentChunk& environment, EnvironmentRecord& record)
{
    const auto* scale = environment.FindChildAs<SoundScaleChunk>(chunk_id::kSoundScale);
    record.scale_ = scale ? float(scale->scale_ * 0.001) : kDefaultEnvironmentScale;

    const auto* names = environment.FindChildAs<BitmapNamesChunk>(chunk_id::kBitmapNames);
    if (!names)
        return;
    // The table is sized by the highest bitmap number: a number from the file
    // past the list's own limit would size a huge table, so such entries are left out.
    int32_t highest = -1;
    for (const BitmapNameEntry& e : names->Entries())
        if (e.number_ >= 0 && size_t(e.number_) < kMaxBitmapEntries)
            highest = std::max(highest, e.number_);
    record.textures_.assign(size_t(highest + 1), EnvironmentTexture{});
    record.hasTextureTable_ = true;
    for (const BitmapNameEntry& e : names->Entries()) {
        if (e.number_ < 0 || e.number_ > highest)
            continue;
        EnvironmentTexture& t = record.textures_[size_t(e.number_)];
        t.name_ = e.name_;
        const uint32_t w = uint32_t(e.Width()), h = uint32_t(e.Height());
        // Without a device the stored size is the best there is.
        if (ve::TextureLoader::AdjustTextureSize(&t.width_, &t.height_, w, h, kEnvironmentTextureLimit) != 0) {
            t.width_ = w;
            t.height_ = h;
        }
    }
}

void FindHierarchyChunks(const EnvironmentRecord& record, std::vector<const std::string*>& list)
{
    list.clear();
    if (!record.file_)
        return;
    for (Chunk* c = record.file_->FirstChild(); c; c = c->Next())
        if (auto* h = dynamic_cast<const HierarchyChunk*>(c))
            if (auto* name = h->GetName())
                list.push_back(&name->name_);
}

VeShape* LoadObjectFromChunks(EnvironmentRecord& record, std::string_view objectName, Vec3* position,
                              Quaternion* rotation, uint32_t options)
{
    if (!record.file_)
        return nullptr;
    std::vector<ObjectChunk*> objects;
    record.file_->GetObjects(objects);
    for (ObjectChunk* o : objects) {
        if (!SameNameIgnoringCase(o->Name(), objectName) || !o->GetShape())
            continue;
        const ObjectHeader& h = o->Header();
        if (position)
            *position = Vec3(float(h.position_[0]) * record.scale_, float(h.position_[1]) * record.scale_,
                             float(h.position_[2]) * record.scale_);
        if (rotation)
            *rotation = Quaternion(h.orientation_[0], h.orientation_[1], h.orientation_[2], h.orientation_[3]);
        return BuildObjectShape(*o, record, options);
    }
    return nullptr;
}

VeShape* BuildObjectShape(ObjectChunk& object, EnvironmentRecord& record, uint32_t options)
{
    ShapeChunk* shape = object.GetShape();
    if (!shape)
        return nullptr;
    const std::vector<uint32_t> tint = TintOf(object);
    return BuildShape(*shape, tint.empty() ? nullptr : &tint, record, options);
}

VeShape* LoadOnlyShape(EnvironmentRecord& record)
{
    if (!record.file_)
        return nullptr;
    ShapeChunk* only = nullptr;
    int count = 0;
    for (Chunk* c = record.file_->FirstChild(); c; c = c->Next())
        if (c->Is(chunk_id::kShape))
            if (auto* s = dynamic_cast<ShapeChunk*>(c)) {
                only = s;
                ++count;
            }
    return count == 1 ? BuildShape(*only, nullptr, record, 0) : nullptr;
}

void FilterObjectsByName(std::vector<ObjectChunk*>& list, const EnvironmentRecord& record, std::string_view name)
{
    list.clear();
    if (!record.file_)
        return;
    record.file_->GetObjects(list);
    std::erase_if(list, [&](const ObjectChunk* o) { return !SameNameIgnoringCase(o->Name(), name); });
}

ChunkObject ChunkObject::FromChunk(const DummyObjectChunk& chunk)
{
    ChunkObject out;
    if (const DummyObjectDataChunk* data = chunk.GetData()) {
        out.name_ = data->name_;
        out.position_ = IntegerTriple(data->position_);
        out.first_ = IntegerTriple(data->first_);
        out.second_ = IntegerTriple(data->second_);
        out.rotation_ = Quaternion(std::bit_cast<float>(data->orientation_[0]), std::bit_cast<float>(data->orientation_[1]),
                                   std::bit_cast<float>(data->orientation_[2]), std::bit_cast<float>(data->orientation_[3]));
    }
    if (const std::string* text = chunk.GetText()) {
        out.text_ = *text;
        out.hasText_ = true;
    }
    return out;
}

void LoadDummyObjects(std::vector<ChunkObject>& list, const EnvironmentRecord& record, const Vec3& origin)
{
    if (!record.file_)
        return;
    std::vector<DummyObjectChunk*> dummies;
    record.file_->GetDummyObjects(dummies);
    for (const DummyObjectChunk* d : dummies) {
        ChunkObject o = ChunkObject::FromChunk(*d);
        o.position_ = Vec3(o.position_.x * record.scale_ - origin.x, o.position_.y * record.scale_ - origin.y,
                           o.position_.z * record.scale_ - origin.z);
        list.push_back(std::move(o));
    }
}

const CutsceneChunk* FindEnvironmentCutscene(const EnvironmentRecord& record, std::string_view name)
{
    if (!record.file_)
        return nullptr;
    auto* env = record.file_->FindChildAs<ParentChunk>(chunk_id::kEnvironment);
    auto* special = env ? env->FindChildAs<ParentChunk>(chunk_id::kSpecialObjects) : nullptr;
    if (!special)
        return nullptr;
    for (Chunk* c = special->FirstChild(); c; c = c->Next())
        if (auto* cutscene = dynamic_cast<const CutsceneChunk*>(c))
            if (auto* data = cutscene->GetData(); data && SameNameIgnoringCase(data->name_, name))
                return cutscene;
    return nullptr;
}

bool LoadEnvironmentSpecials(CutsceneReceiver& cutscene, const EnvironmentRecord& record, std::string_view name,
                             const Vec3& origin)
{
    const CutsceneChunk* found = FindEnvironmentCutscene(record, name);
    if (!found)
        return false;
    cutscene.Load(*found, record.scale_, origin);
    return true;
}

void LoadLevelTextures(const std::function<void(float)>& progress)
{
    TextureManager::LoadPending(progress);
    TextureManager::PurgeUnused();
}

} // namespace trevok
