// Small model trees built by hand for the object, pose and queue tests (key
// frames with spans and blends filled in as the sequence builder fills them),
// and model trees loaded from chunk files by the game's loader.
#pragma once

#include <cmath>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Veapi/hierarchy.h"
#include "Veapi/sequence_player.h"
#include "Veapi/ve_object.h"
#include "chunk/loaders/hierarchy_loader.h"

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

// A model tree through the game's loader, its key times at `ticksPerSecond`.
inline HierarchyPtr LoadModel(trevok::EnvironmentRecord& record, std::string_view name, int32_t ticksPerSecond)
{
    SequencePlayer::SetTicksPerSecond(ticksPerSecond);
    return trevok::LoadHierarchyFromChunks(name, record);
}

} // namespace modeltest
