#include "chunk/environment_chunks.h"

#include "chunk/chunk_file.h"
#include "chunk/chunk_ids.h"

#include <cstring>

namespace trevok {

EnvironmentHeaderChunk::EnvironmentHeaderChunk(ParentChunk* parent) : DataChunk(parent, chunk_id::kEnvironmentHeader) {}

EnvironmentHeaderChunk::EnvironmentHeaderChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    flags_ = r.I32();
    r.Bytes(editor_.data(), 16);
    revision_ = r.I32();
    FinishRead(r, bytes);
}

void EnvironmentHeaderChunk::WritePayload(ByteWriter& out) const
{
    out.I32(flags_);
    out.Bytes(editor_.data(), 16);
    out.I32(revision_);
}

EnvironmentChunk::EnvironmentChunk(ParentChunk* parent) : EditableChunk(parent, chunk_id::kEnvironment)
{
    new EnvironmentHeaderChunk(this);
}

void EnvironmentChunk::AfterLoad()
{
    if (auto* head = GetHeaderChunk(); head && (head->flags_ & 1))
        locked_ = 1;
    ParentChunk::AfterLoad();
}

EnvironmentHeaderChunk* EnvironmentChunk::GetHeaderChunk() const
{
    return FindChildAs<EnvironmentHeaderChunk>(chunk_id::kEnvironmentHeader);
}

const char* EnvironmentChunk::GetHeaderIdentifier() const
{
    auto* head = GetHeaderChunk();
    return head ? head->Identifier() : nullptr;
}

void EnvironmentChunk::SetEditor(const std::string& editor)
{
    if (auto* head = GetHeaderChunk()) {
        head->editor_.fill(0);
        std::memcpy(head->editor_.data(), editor.data(), std::min<size_t>(editor.size(), 16));
    }
}

void EnvironmentChunk::BumpRevision()
{
    if (auto* head = GetHeaderChunk())
        ++head->revision_;
}

std::string EnvironmentChunk::FileName() const
{
    auto* name = FindChildAs<FileNameChunk>(chunk_id::kFileName);
    return name ? name->name_ : std::string();
}

SoundScaleChunk::SoundScaleChunk(ParentChunk* parent, double scale)
    : DataChunk(parent, chunk_id::kSoundScale), scale_(scale)
{
}

SoundScaleChunk::SoundScaleChunk(ParentChunk* parent, const ChunkBytes& bytes) : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    scale_ = r.F64();
    FinishRead(r, bytes);
}

SoundDirectoryChunk::SoundDirectoryChunk(ParentChunk* parent, std::string folder)
    : DataChunk(parent, chunk_id::kSoundDirectory), folder_(std::move(folder))
{
}

SoundDirectoryChunk::SoundDirectoryChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    folder_ = r.PaddedString();
    FinishRead(r, bytes);
}

TextureIdListChunk::TextureIdListChunk(ParentChunk* parent, std::string text)
    : DataChunk(parent, chunk_id::kTextureIdList), text_(std::move(text))
{
}

TextureIdListChunk::TextureIdListChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    text_ = r.PaddedString();
    int32_t n = r.I32();
    if (CheckCount(r, n, 4)) {
        ids_.resize(static_cast<size_t>(n));
        for (auto& id : ids_)
            id = r.I32();
    }
    for (auto& v : values_)
        v = r.I32();
    FinishRead(r, bytes);
}

void TextureIdListChunk::WritePayload(ByteWriter& out) const
{
    out.PaddedString(text_);
    out.I32(static_cast<int32_t>(ids_.size()));
    for (auto id : ids_)
        out.I32(id);
    for (auto v : values_)
        out.I32(v);
}

void RegisterEnvironmentChunks()
{
    auto& reg = ChunkRegistry::Instance();
    reg.Register(chunk_id::kEnvironment, "", BuildChunk<EnvironmentChunk>);
    reg.Register(chunk_id::kEnvironmentHeader, "", BuildChunk<EnvironmentHeaderChunk>);
    reg.Register(chunk_id::kSoundScale, "", BuildChunk<SoundScaleChunk>);
    reg.Register(chunk_id::kEnvironmentAcoustics, "", BuildWordsChunk<3>);
    reg.Register(chunk_id::kSoundDirectory, "", BuildChunk<SoundDirectoryChunk>);
    reg.Register(chunk_id::kTextureIdList, "", BuildChunk<TextureIdListChunk>);
    reg.Register(chunk_id::kSpecialObjects, "", BuildChunk<ParentChunk>);
}

} // namespace trevok
