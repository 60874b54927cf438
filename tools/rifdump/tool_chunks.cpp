#include "tools/rifdump/tool_chunks.h"

#include "chunk/chunk_families.h"
#include "chunk/chunk_file.h"
#include "chunk/chunk_ids.h"
#include "chunk/hierarchy_chunks.h"
#include "chunk/object_chunks.h"

#include <algorithm>
#include <mutex>

namespace trevok::rifdump {
namespace {

constexpr size_t kExtraSetBlockMinimum = 64;
constexpr size_t kEnvironmentBlockMinimum = 24;
constexpr uint32_t kDefaultEnvironmentValue = 200;
constexpr uint32_t kEnvironmentFlagsSet = 0x17;   // bits 0, 1, 2 and 4
constexpr uint32_t kEnvironmentFlagsClear = 0xE8; // bits 3, 5, 6 and 7
constexpr uint32_t kDefaultEnvironmentSixth = 30;
constexpr size_t kSpriteFrameWords = 11;
constexpr size_t kWaypointVectorBytes = 36;

uint32_t GetWord(const std::vector<uint8_t>& b, size_t word)
{
    size_t at = 4 * word;
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

void SetWord(std::vector<uint8_t>& b, size_t word, uint32_t v)
{
    for (size_t i = 0; i < 4; ++i)
        b[4 * word + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Older environment blocks lack the later fields; they get the values a new block has.
void UpgradeEnvironmentBlock(std::vector<uint8_t>& block, uint32_t storedSize)
{
    if (storedSize < 16)
        for (size_t w = 1; w <= 3; ++w)
            SetWord(block, w, kDefaultEnvironmentValue);
    if (storedSize < 24) {
        SetWord(block, 4, (GetWord(block, 4) | kEnvironmentFlagsSet) & ~kEnvironmentFlagsClear);
        SetWord(block, 5, kDefaultEnvironmentSixth);
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Layouts, in body order.

void GeneratorChunkLayout::Read(BodyReader& r)
{
    r.Words(6);
    r.Bytes(4);
    r.PaddedName();
}

void GeneratorNameChunkLayout::Read(BodyReader& r)
{
    r.Name();
}

void GeneratorExtraSetChunkLayout::Read(BodyReader& r)
{
    r.Words(2);
    r.Bytes(4);
    r.Words(2);
    r.SizedBlock(kExtraSetBlockMinimum);
}

void GlobalGeneratorDataChunkLayout::Read(BodyReader& r)
{
    r.Words(7);
}

void StartChunkLayout::Read(BodyReader& r)
{
    r.Words(3);
    r.Bytes(36);
    r.Words(2);
}

void CableChunkLayout::Read(BodyReader& r)
{
    r.Words(12);
    r.Name();
}

void EnvironmentChunkLayout::Read(BodyReader& r)
{
    r.SizedBlock(kEnvironmentBlockMinimum, UpgradeEnvironmentBlock);
}

void DecalChunkLayout::Read(BodyReader& r)
{
    uint32_t count = r.Word();
    uint32_t recordSize = r.Word();
    r.RecordBytes(count, recordSize);
}

void ParticleGeneratorDataChunkLayout::Read(BodyReader& r)
{
    r.Words(2);
    r.HalfWords(4);
    r.Words(13);
    r.Name();
}

void R6GeneratorDataChunkLayout::Read(BodyReader& r)
{
    r.Words(2);
    uint32_t count = r.Word();
    r.Records(count, 1);
}

void EnumHeaderChunkLayout::Read(BodyReader& r)
{
    r.Word();
    r.FixedName(16);
    r.Word();
}

void BitmapEnumsChunkLayout::Read(BodyReader& r)
{
    r.Words(2);
    r.PaddedName();
    uint32_t count = r.Word();
    if (!r.Fits(count, 12))
        return;
    for (uint32_t i = 0; i < count && r.Ok(); ++i) {
        r.Words(2);
        r.PaddedName();
    }
}

void FragmentTypeDataChunkLayout::Read(BodyReader& r)
{
    r.PaddedName();
    r.Words(3);
}

void FragmentTypeShapeChunkLayout::Read(BodyReader& r)
{
    r.PaddedName();
    r.Words(7);
}

void FragmentSoundChunkLayout::Read(BodyReader& r)
{
    r.Words(5);
    r.Name();
}

void SpriteSetHeaderChunkLayout::Read(BodyReader& r)
{
    EnumHeaderChunkLayout::Read(r);
}

void PathChunkLayout::Read(BodyReader& r)
{
    r.PaddedName();
    r.Words(3);
    uint32_t count = r.Word();
    r.Records(count, 6);
}

void PNotInBBChunkLayout::Read(BodyReader& r)
{
    // The list fills the body but for the last two words.
    size_t words = r.Raw().Remaining() / 4;
    if (words < 2) {
        r.Fail();
        return;
    }
    r.Words(words);
}

void SpriteActionChunkLayout::Read(BodyReader& r)
{
    r.Word();
    uint64_t a = r.Word();
    uint64_t b = r.Word();
    uint64_t c = r.Word();
    r.Words(2);
    // a x b x c frames of 11 words: each factor is checked against what is left, so the
    // product cannot wrap.
    uint64_t limit = r.Raw().Remaining() / (4 * kSpriteFrameWords);
    if (a && b && c && (b > limit / a || c > limit / (a * b))) {
        r.Fail();
        return;
    }
    r.Records(a * b * c, kSpriteFrameWords);
}

void SpriteSizeChunkLayout::Read(BodyReader& r)
{
    r.Words(8);
}

void SpriteVersionChunkLayout::Read(BodyReader& r)
{
    r.Word();
}

void SpriteBitmapScaleChunkLayout::Read(BodyReader& r)
{
    uint32_t count = r.Word();
    r.Records(count, 1);
}

void SpriteBitmapCentreChunkLayout::Read(BodyReader& r)
{
    uint32_t count = r.Word();
    r.Records(count, 4);
    r.Word();
}

void SpriteExtentChunkLayout::Read(BodyReader& r)
{
    r.Words(10);
}

void StrategyChunkLayout::Read(BodyReader& r)
{
    r.Words(2);
    ReadStrategyBlock(r, false);
}

void ExtraStrategyChunkLayout::Read(BodyReader& r)
{
    r.Words(2);
    ReadStrategyBlock(r, true);
}

void VisibleObjectPropertiesChunkLayout::Read(BodyReader& r)
{
    r.Words(4);
    r.PaddedName();
    r.Words(4);
}

void CameraOriginChunkLayout::Read(BodyReader& r)
{
    r.Bytes(24);
    r.Bytes(36);
}

// ---------------------------------------------------------------------------

SpriteActionListChunk::SpriteActionListChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : ParentChunk(parent, bytes.Identifier())
{
    auto payload = bytes.Payload();
    ChunkLoadScope* load = ChunkLoadScope::Current();
    size_t p = 0;
    while (p < payload.size()) {
        size_t left = payload.size() - p;
        int32_t size = -1;
        if (left >= static_cast<size_t>(kChunkHeaderSize)) {
            ByteReader r(payload.subspan(p + 8, 4));
            size = r.I32();
        }
        if (size < kChunkHeaderSize || static_cast<size_t>(size) > left) {
            if (load)
                load->Fail(kChunkBadData, payload.data() + p,
                           std::string(identifier_) + ": a child chunk runs past its end (" + std::to_string(left) +
                               " bytes left)");
            break;
        }
        ChunkBytes child{payload.subspan(p, static_cast<size_t>(size))};
        if (SameIdentifier(child.Identifier(), chunk_id::kSpriteAction))
            BuildChunk<SpriteActionChunk>(this, child);
        else
            new UnregisteredChunk(this, child);
        p += static_cast<size_t>(size);
    }
}

// ---------------------------------------------------------------------------

WaypointChunk::WaypointChunk(ParentChunk* parent, const ChunkBytes& bytes) : LayoutChunk(parent, bytes.Identifier())
{
    ReadBody(bytes, [this](BodyReader& r) {
        uint32_t count = r.Word();
        // The smallest waypoint: three vectors, flags, a value and two empty counts.
        if (!r.Fits(count, kWaypointVectorBytes + 16))
            return;
        uint32_t lastMarked = count;
        for (uint32_t i = 0; i < count && r.Ok(); ++i) {
            r.Bytes(kWaypointVectorBytes);
            size_t flagAt = r.FieldCount();
            uint32_t flags = r.Word();
            flagFields_.push_back(flagAt);
            if (flags & kWaypointGroupMark) {
                r.WordAt(flagAt) = flags & ~kWaypointGroupMark;
                lastMarked = i;
            }
            r.Word();
            uint32_t links = r.Word();
            r.Records(links, 2);
            uint32_t names = r.Word();
            if (!r.Fits(names, 8))
                return;
            for (uint32_t n = 0; n < names && r.Ok(); ++n) {
                r.PaddedName();
                r.Word();
            }
        }
        r.Words(2);
        secondGroupLength_ = count - lastMarked;
        firstGroupLength_ = count - secondGroupLength_;
    });
}

uint32_t WaypointChunk::WordToWrite(size_t index, uint32_t value) const
{
    if (secondGroupLength_ != 0 && firstGroupLength_ < flagFields_.size() && flagFields_[firstGroupLength_] == index)
        return value | kWaypointGroupMark;
    return value;
}

// ---------------------------------------------------------------------------

AIModuleMasterChunk::AIModuleMasterChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    FinishRead(r, bytes);
}

AIModuleMasterChunk::~AIModuleMasterChunk()
{
    for (auto* slave : slaves_)
        slave->master_ = nullptr;
}

AIModuleSlaveChunk::AIModuleSlaveChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    masterReference_ = r.U32();
    FinishRead(r, bytes);
}

AIModuleSlaveChunk::~AIModuleSlaveChunk()
{
    LeaveMaster();
}

void AIModuleSlaveChunk::LeaveMaster()
{
    if (!master_)
        return;
    auto& list = master_->slaves_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    master_ = nullptr;
}

void AIModuleSlaveChunk::AfterLoad()
{
    LeaveMaster();
    auto* file = dynamic_cast<ChunkFile*>(GetRoot());
    if (!file || masterReference_ > static_cast<uint32_t>(INT32_MAX))
        return;
    ObjectChunk* object = file->GetObjectByIndex(static_cast<int32_t>(masterReference_));
    auto* modules = object ? object->FindChildAs<ParentChunk>(chunk_id::kModuleData) : nullptr;
    auto* master = modules ? modules->FindChildAs<AIModuleMasterChunk>(chunk_id::kAIModuleMaster) : nullptr;
    if (!master)
        return;
    master_ = master;
    master->slaves_.push_back(this);
}

// ---------------------------------------------------------------------------

void RegisterRifdumpChunks()
{
    // The library's families first, so the tool's registrations come later and win.
    EnsureChunkFamiliesRegistered();
    RegisterModelChunkFamilies();
    static std::once_flag once;
    std::call_once(once, [] {
        auto& reg = ChunkRegistry::Instance();
        reg.Register(chunk_id::kGenerator, "", BuildChunk<GeneratorChunk>);
        reg.Register(chunk_id::kGeneratorExtra, "", BuildChunk<GeneratorExtraChunk>);
        reg.Register(chunk_id::kGeneratorName, "", BuildChunk<GeneratorNameChunk>);
        reg.Register(chunk_id::kGeneratorExtraSet, "", BuildChunk<GeneratorExtraSetChunk>);
        reg.Register(chunk_id::kGlobalGeneratorData, "", BuildChunk<GlobalGeneratorDataChunk>);
        reg.Register(chunk_id::kStart, "", BuildChunk<StartChunk>);
        reg.Register(chunk_id::kCable, "", BuildChunk<CableChunk>);
        reg.Register(chunk_id::kToolEnvironment, "", BuildChunk<EnvironmentChunk>);
        reg.Register(chunk_id::kDecal, "", BuildChunk<DecalChunk>);
        reg.Register(chunk_id::kParticleGenerator, "", BuildChunk<ParticleGeneratorChunk>);
        reg.Register(chunk_id::kParticleGeneratorData, "", BuildChunk<ParticleGeneratorDataChunk>);
        reg.Register(chunk_id::kR6GeneratorData, "", BuildChunk<R6GeneratorDataChunk>);
        reg.Register(chunk_id::kEnums, "", BuildChunk<EnumsChunk>);
        reg.Register(chunk_id::kEnumHeader, "", BuildChunk<EnumHeaderChunk>);
        reg.Register(chunk_id::kBitmapEnums, "", BuildChunk<BitmapEnumsChunk>);
        reg.Register(chunk_id::kFragmentType, "", BuildChunk<FragmentTypeChunk>);
        reg.Register(chunk_id::kFragmentTypeData, "", BuildChunk<FragmentTypeDataChunk>);
        reg.Register(chunk_id::kFragmentTypeShape, "", BuildChunk<FragmentTypeShapeChunk>);
        reg.Register(chunk_id::kFragmentSound, "", BuildChunk<FragmentSoundChunk>);
        reg.Register(chunk_id::kSpriteSet, "", BuildChunk<SpriteSetChunk>);
        reg.Register(chunk_id::kSpriteSetHeader, "", BuildChunk<SpriteSetHeaderChunk>);
        reg.Register(chunk_id::kPath, "", BuildChunk<PathChunk>);
        reg.Register(chunk_id::kPNotInBB, "", BuildChunk<PNotInBBChunk>);
        reg.Register(chunk_id::kSpriteHeader, "", BuildChunk<SpriteHeaderChunk>);
        reg.Register(chunk_id::kSpritePC, chunk_id::kSpriteHeader, BuildChunk<SpritePCChunk>);
        reg.Register(chunk_id::kSpriteSA, chunk_id::kSpriteHeader, BuildChunk<SpriteSAChunk>);
        reg.Register(chunk_id::kSpritePS, chunk_id::kSpriteHeader, BuildChunk<SpritePSChunk>);
        reg.Register(chunk_id::kSpriteAction, "", BuildChunk<SpriteActionChunk>);
        reg.Register(chunk_id::kSpriteSize, "", BuildChunk<SpriteSizeChunk>);
        reg.Register(chunk_id::kSpriteVersion, "", BuildChunk<SpriteVersionChunk>);
        reg.Register(chunk_id::kSpriteBitmapScale, "", BuildChunk<SpriteBitmapScaleChunk>);
        reg.Register(chunk_id::kSpriteBitmapCentre, "", BuildChunk<SpriteBitmapCentreChunk>);
        reg.Register(chunk_id::kSpriteExtent, "", BuildChunk<SpriteExtentChunk>);
        reg.Register(chunk_id::kStrategy, "", BuildChunk<StrategyChunk>);
        reg.Register(chunk_id::kExtraStrategy, "", BuildChunk<ExtraStrategyChunk>);
        reg.Register(chunk_id::kVisibleObject, "", BuildChunk<VisibleObjectChunk>);
        reg.Register(chunk_id::kVisibleObjectProperties, "", BuildChunk<VisibleObjectPropertiesChunk>);
        reg.Register(chunk_id::kCameraOrigin, "", BuildChunk<CameraOriginChunk>);
        reg.Register(chunk_id::kWaypoint, "", BuildChunk<WaypointChunk>);
        reg.Register(chunk_id::kAIModuleMaster, "", BuildChunk<AIModuleMasterChunk>);
        reg.Register(chunk_id::kAIModuleSlave, "", BuildChunk<AIModuleSlaveChunk>);
    });
}

} // namespace trevok::rifdump
