#include "chunk/loaders/hierarchy_loader.h"

#include "Veapi/sequence_player.h"
#include "Veapi/shape_builder.h"
#include "app/clock.h"
#include "chunk/chunk_file.h"
#include "chunk/light_chunks.h"
#include "chunk/loaders/environment_loader.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"

#include <algorithm>
#include <iterator>

namespace trevok {
namespace {

struct HierarchyBuild {
    EnvironmentRecord& record;
    SequenceBuildContext sequences;
};

// Levels are filled from the least detailed up, so a level showing the same
// object as the one above it shares that shape.
// Each slot holds one use of its shape.
void FillShapes(Hierarchy& node, ObjectChunk& object, EnvironmentRecord& record)
{
    std::vector<ObjectChunk*> levels;
    object.GetLevelsOfDetail(levels);
    levels.resize(kLevelsOfDetail, nullptr);
    for (int level = kLevelsOfDetail - 1; level >= 0; --level) {
        ObjectChunk* o = levels[size_t(level)];
        if (!o)
            continue;
        if (level + 1 < kLevelsOfDetail && levels[size_t(level + 1)] == o) {
            node.shapes_[level] = node.shapes_[level + 1];
            if (node.shapes_[level])
                node.shapes_[level]->AddRef();
            continue;
        }
        node.shapes_[level] = BuildObjectShape(*o, record, 0);
    }
}

// A new node holds one use, as do its children through it.
Hierarchy* BuildHierarchyNode(const HierarchyChunk& part, HierarchyBuild& build)
{
    auto* node = new Hierarchy;
    HierarchyDataChunk* data = part.GetData();
    ObjectChunk* object = data ? data->GetObject() : nullptr;
    if (object)
        FillShapes(*node, *object, build.record);
    for (Chunk* c = part.FirstChild(); c; c = c->Next())
        if (auto* list = dynamic_cast<const SequenceListChunk*>(c))
            node->sequences_ = std::shared_ptr<SequenceSet>(BuildSequenceSet(*list, build.sequences));
    for (Chunk* c = part.FirstChild(); c; c = c->Next())
        if (auto* child = dynamic_cast<const HierarchyChunk*>(c))
            node->children_.PushBack(BuildHierarchyNode(*child, build));
    if (data && !data->objectName_.empty())
        node->name_ = data->objectName_;
    return node;
}

const HierarchyChunk* FindTopLevel(const ChunkFile& file, std::string_view name)
{
    for (Chunk* c = file.FirstChild(); c; c = c->Next())
        if (auto* h = dynamic_cast<const HierarchyChunk*>(c))
            if (auto* n = h->GetName(); n && SameNameIgnoringCase(n->name_, name))
                return h;
    return nullptr;
}

void SetVelocities(Hierarchy& root, const SequenceTables& tables)
{
    const size_t n = std::min(root.sequences_->entries_.size(), size_t(kSequenceSlots));
    root.perSecond_.assign(n, Vec3(0, 0, 0));
    root.perTick_.assign(n, Vec3(0, 0, 0));
    root.speeds_.assign(n, 0.0f);
    const float secondsPerTick = Clock::GlobalSecondsPerTick();
    for (size_t i = n; i-- > 0;) {
        const Vec3 d = tables.direction_[i];
        const float s = tables.speed_[i];
        root.speeds_[i] = s;
        root.perSecond_[i] = Vec3(d.x * s, d.y * s, d.z * s);
        root.perTick_[i] = Vec3(d.x * s * secondsPerTick, d.y * s * secondsPerTick, d.z * s * secondsPerTick);
    }
}

} // namespace

SequenceTables& HierarchyLoadTables()
{
    static SequenceTables tables;
    return tables;
}

HierarchyPtr LoadHierarchyFromChunks(std::string_view name, EnvironmentRecord& record,
                                                   SequenceSoundSystem* sounds)
{
    SequenceTables& tables = HierarchyLoadTables();
    tables.Clear();
    if (!record.file_)
        return nullptr;
    const ChunkFile& file = *record.file_;
    const auto* distances = file.FindChildAs<DegradationDistancesChunk>(chunk_id::kDegradationDistances);
    const HierarchyChunk* model = FindTopLevel(file, name);
    if (!model)
        return nullptr;
    // A model without a root part has nothing to show.
    const HierarchyChunk* rootPart = model->FindChildAs<HierarchyChunk>(chunk_id::kHierarchy);
    if (!rootPart)
        return nullptr;

    HierarchyBuild build{record, {}};
    build.sequences.scale_ = record.scale_;
    build.sequences.ticksPerSecond_ = SequencePlayer::TicksPerSecond();
    build.sequences.sounds_ = record.sounds_;
    build.sequences.soundSystem_ = sounds;
    build.sequences.tables_ = &tables;
    HierarchyPtr root(BuildHierarchyNode(*rootPart, build));

    if (const HierarchyBoundsChunk* box = model->GetBounds()) {
        const float s = record.scale_;
        root->boundsValid_ = true;
        root->maximum_ = Vec3(float(box->maximum_[0]) * s, float(box->maximum_[1]) * s, float(box->maximum_[2]) * s);
        root->minimum_ = Vec3(float(box->minimum_[0]) * s, float(box->minimum_[1]) * s, float(box->minimum_[2]) * s);
    }
    // Distances a short list does not give keep the default.
    std::fill(std::begin(root->distances_), std::end(root->distances_), kDefaultSwitchDistance);
    if (distances)
        for (size_t i = 0; i < std::size(root->distances_) && i < distances->distances_.size(); ++i)
            root->distances_[i] = distances->distances_[i];
    if (root->sequences_)
        SetVelocities(*root, tables);
    return root;
}

} // namespace trevok
