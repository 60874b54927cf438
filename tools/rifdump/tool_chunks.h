// Level-editor chunk types that only the dump tool registers (generators, particle
// generators, enumerations, fragments, sprites, paths, strategies, visible-object
// properties, camera origins, waypoints, AI modules). The report prints none of them;
// registering them lets files holding them load into typed chunks that keep their
// data and write it back.
#pragma once

#include "tools/rifdump/body_fields.h"

#include <vector>

namespace trevok::rifdump {

// Registers the chunk library's families and then the tool's own types, once.
void RegisterRifdumpChunks();

// Parent chunks whose bodies are runs of child chunks built through the registry.
#define TREVOK_RIFDUMP_PARENT(Name)                                                                                     \
    class Name : public ParentChunk {                                                                                    \
    public:                                                                                                              \
        Name(ParentChunk* parent, const ChunkBytes& bytes) : ParentChunk(parent, bytes) {}                               \
    }
TREVOK_RIFDUMP_PARENT(GeneratorExtraChunk);
TREVOK_RIFDUMP_PARENT(ParticleGeneratorChunk);
TREVOK_RIFDUMP_PARENT(EnumsChunk);
TREVOK_RIFDUMP_PARENT(FragmentTypeChunk);
TREVOK_RIFDUMP_PARENT(SpriteSetChunk);
TREVOK_RIFDUMP_PARENT(SpriteHeaderChunk);
TREVOK_RIFDUMP_PARENT(VisibleObjectChunk);
#undef TREVOK_RIFDUMP_PARENT

// SPRITEPC, SPRITESA, SPRITEPS: their SPRACTIO children are always sprite actions and
// every other child stays raw, whatever the registry holds.
class SpriteActionListChunk : public ParentChunk {
public:
    SpriteActionListChunk(ParentChunk* parent, const ChunkBytes& bytes);
};
class SpritePCChunk : public SpriteActionListChunk {
    using SpriteActionListChunk::SpriteActionListChunk;
};
class SpriteSAChunk : public SpriteActionListChunk {
    using SpriteActionListChunk::SpriteActionListChunk;
};
class SpritePSChunk : public SpriteActionListChunk {
    using SpriteActionListChunk::SpriteActionListChunk;
};

// Data chunks held as fields (see the layouts in tool_chunks.cpp).
#define TREVOK_RIFDUMP_LAYOUT(Name)                                                                                     \
    struct Name##Layout {                                                                                                \
        static void Read(BodyReader& r);                                                                                 \
    };                                                                                                                   \
    using Name = LayoutChunkOf<Name##Layout>
TREVOK_RIFDUMP_LAYOUT(GeneratorChunk);
TREVOK_RIFDUMP_LAYOUT(GeneratorNameChunk);
TREVOK_RIFDUMP_LAYOUT(GeneratorExtraSetChunk);
TREVOK_RIFDUMP_LAYOUT(GlobalGeneratorDataChunk);
TREVOK_RIFDUMP_LAYOUT(StartChunk);
TREVOK_RIFDUMP_LAYOUT(CableChunk);
TREVOK_RIFDUMP_LAYOUT(EnvironmentChunk);
TREVOK_RIFDUMP_LAYOUT(DecalChunk);
TREVOK_RIFDUMP_LAYOUT(ParticleGeneratorDataChunk);
TREVOK_RIFDUMP_LAYOUT(R6GeneratorDataChunk);
TREVOK_RIFDUMP_LAYOUT(EnumHeaderChunk);
TREVOK_RIFDUMP_LAYOUT(BitmapEnumsChunk);
TREVOK_RIFDUMP_LAYOUT(FragmentTypeDataChunk);
TREVOK_RIFDUMP_LAYOUT(FragmentTypeShapeChunk);
TREVOK_RIFDUMP_LAYOUT(FragmentSoundChunk);
TREVOK_RIFDUMP_LAYOUT(SpriteSetHeaderChunk);
TREVOK_RIFDUMP_LAYOUT(PathChunk);
TREVOK_RIFDUMP_LAYOUT(PNotInBBChunk);
TREVOK_RIFDUMP_LAYOUT(SpriteActionChunk);
TREVOK_RIFDUMP_LAYOUT(SpriteSizeChunk);
TREVOK_RIFDUMP_LAYOUT(SpriteVersionChunk);
TREVOK_RIFDUMP_LAYOUT(SpriteBitmapScaleChunk);
TREVOK_RIFDUMP_LAYOUT(SpriteBitmapCentreChunk);
TREVOK_RIFDUMP_LAYOUT(SpriteExtentChunk);
TREVOK_RIFDUMP_LAYOUT(StrategyChunk);
TREVOK_RIFDUMP_LAYOUT(ExtraStrategyChunk);
TREVOK_RIFDUMP_LAYOUT(VisibleObjectPropertiesChunk);
TREVOK_RIFDUMP_LAYOUT(CameraOriginChunk);
#undef TREVOK_RIFDUMP_LAYOUT

// WAYPOINT: waypoints of variable size. A flag word's bit 30 marks where a second
// group starts; the mark is taken out on load (the last one wins) and put back on
// the second group's first waypoint when written.
class WaypointChunk : public LayoutChunk {
public:
    WaypointChunk(ParentChunk* parent, const ChunkBytes& bytes);

    uint32_t firstGroupLength_ = 0;
    uint32_t secondGroupLength_ = 0;

protected:
    uint32_t WordToWrite(size_t index, uint32_t value) const override;

private:
    std::vector<size_t> flagFields_; // field index of each waypoint's flag word
};

inline constexpr uint32_t kWaypointGroupMark = 1u << 30;

class AIModuleSlaveChunk;

// AIMODMAS: no fields of its own; the slaves that linked to it after a load.
class AIModuleMasterChunk : public DataChunk {
public:
    AIModuleMasterChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ~AIModuleMasterChunk() override;

    std::vector<AIModuleSlaveChunk*> slaves_;

protected:
    size_t PayloadSize() const override { return 0; }
    void WritePayload(ByteWriter&) const override {}
};

// AIMODSLA: the master's reference (the index of the object whose MODULEDT holds
// the master). Links itself to that master after a load; stays unlinked when any
// step finds nothing.
class AIModuleSlaveChunk : public DataChunk {
public:
    AIModuleSlaveChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ~AIModuleSlaveChunk() override;

    void AfterLoad() override;
    AIModuleMasterChunk* Master() const { return master_; }

    uint32_t masterReference_ = 0;

protected:
    size_t PayloadSize() const override { return 4; }
    void WritePayload(ByteWriter& out) const override { out.U32(masterReference_); }

private:
    void LeaveMaster();
    AIModuleMasterChunk* master_ = nullptr;
    friend class AIModuleMasterChunk;
};

} // namespace trevok::rifdump
