// Small model trees built by hand for the object, pose and queue tests (key
// frames with spans and blends filled in as the sequence builder fills them),
// and model trees loaded from chunk files.
#pragma once

#include <cmath>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "Veapi/hierarchy.h"
#include "Veapi/sequence_player.h"
#include "Veapi/shape_builder.h"
#include "Veapi/ve_object.h"
#include "app/hash_table.h"
#include "chunk/chunk_file.h"
#include "chunk/hierarchy_chunks.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"

namespace modeltest {

struct KeyDesc {
    int32_t time;
    Vec3 position;
    float turn;  // radians about y
    int32_t flags = trevok::kKeyRotates | trevok::kKeyMoves;
};

inline Quaternion TurnY(float radians)
{
    return {0, std::sin(radians / 2), 0, std::cos(radians / 2)};
}

inline std::unique_ptr<Sequence> MakeSequence(int32_t index, int32_t length, std::initializer_list<KeyDesc> keys,
                                              int32_t flags = trevok::kSequenceBaseFlags)
{
    auto s = std::make_unique<Sequence>();
    s->index_ = index;
    s->length_ = length;
    s->flags_ = flags;
    int32_t ordinal = 0;
    for (const KeyDesc& k : keys) {
        SequenceKey key;
        key.time_ = k.time;
        key.position_ = k.position;
        key.rotation_ = TurnY(k.turn);
        key.flags_ = k.flags;
        key.ordinal_ = ordinal++;
        s->keys_.push_back(key);
    }
    for (size_t i = 0; i < s->keys_.size(); ++i) {
        SequenceKey& key = s->keys_[i];
        const SequenceKey& next = s->keys_[(i + 1) % s->keys_.size()];
        key.span_ = (i + 1 < s->keys_.size() ? next.time_ : length) - key.time_;
        key.blend_.from_ = key.rotation_;
        key.blend_.to_ = next.rotation_;
    }
    return s;
}

// A set with the given sequences at their indexes.
inline std::shared_ptr<SequenceSet> MakeSet(std::vector<std::unique_ptr<Sequence>> sequences)
{
    auto set = std::make_shared<SequenceSet>();
    for (auto& s : sequences) {
        const size_t at = size_t(s->index_);
        if (set->entries_.size() <= at)
            set->entries_.resize(at + 1);
        set->entries_[at] = std::move(s);
    }
    return set;
}

inline Hierarchy* MakeNode(const std::string& name, std::shared_ptr<SequenceSet> sequences = {})
{
    auto* h = new Hierarchy;
    h->name_ = name;
    h->sequences_ = std::move(sequences);
    return h;
}

// The tree's own use, for objects made from it.
struct HierarchyRef {
    Hierarchy* h;
    explicit HierarchyRef(Hierarchy* hierarchy) : h(hierarchy) {}
    ~HierarchyRef() { h->Release(); }
};

struct ObjectRef {
    VeObject* o;
    explicit ObjectRef(VeObject* object) : o(object) {}
    ~ObjectRef() { o->Release(); }
    VeObject* operator->() const { return o; }
};

// The smallest loader of a model hierarchy from a chunk file, for the tests
// until the game-side loader lands: slot 0 of each part takes the part
// object's shape, sequences are built at the given clock rate.
inline Hierarchy* BuildPart(const trevok::HierarchyChunk& part, trevok::SequenceBuildContext& context,
                            const trevok::EnvironmentRecord& setup)
{
    auto* node = new Hierarchy;
    if (trevok::HierarchyDataChunk* data = part.GetData()) {
        node->name_ = data->objectName_;
        if (trevok::ObjectChunk* object = data->GetObject())
            if (trevok::ShapeChunk* shape = object->GetShape())
                node->shapes_[0] = BuildShape(*shape, nullptr, setup, 0);
    }
    if (trevok::SequenceListChunk* list = part.GetSequenceList())
        node->sequences_ = trevok::BuildSequenceSet(*list, context);
    std::vector<trevok::HierarchyChunk*> parts;
    part.GetSubHierarchies(parts);
    for (trevok::HierarchyChunk* p : parts)
        node->children_.PushBack(BuildPart(*p, context, setup));
    return node;
}

inline Hierarchy* LoadHierarchy(trevok::ChunkFile& file, const std::string& name, int32_t ticksPerSecond)
{
    trevok::SequenceTables tables;
    trevok::SequenceBuildContext context;
    context.ticksPerSecond_ = ticksPerSecond;
    context.tables_ = &tables;
    trevok::EnvironmentRecord setup;
    setup.scale_ = context.scale_;
    for (trevok::Chunk* c = file.FirstChild(); c; c = c->Next()) {
        auto* model = dynamic_cast<trevok::HierarchyChunk*>(c);
        if (!model || !model->GetName() || !CompareName(model->GetName()->name_, name))
            continue;
        std::vector<trevok::HierarchyChunk*> parts;
        model->GetSubHierarchies(parts);
        return parts.empty() ? nullptr : BuildPart(*parts.front(), context, setup);
    }
    return nullptr;
}

} // namespace modeltest
