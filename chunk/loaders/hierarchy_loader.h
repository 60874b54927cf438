// Loading a model tree by name: each part gets its ten level-of-detail shapes
// (built once and shared between levels that show the same object), its
// animation sequences and its children; the root also gets the model's
// bounds, switching distances and per-sequence velocities.
#pragma once

#include "Veapi/ve_shape.h"
#include "app/maths.h"
#include "app/ref_counted.h"
#include "chunk/environment_record.h"
#include "chunk/hierarchy_chunks.h"
#include "chunk/sequence_chunks.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trevok {

inline constexpr int32_t kDefaultSwitchDistance = 20000;  // file units

// One part of a loaded model; a node owns its children and each shape slot
// holds one use of its shape. The use and hold counts are for the model's
// users, who decide when the tree goes.
struct Hierarchy {
    int32_t useCount_ = 1;
    int32_t holdCount_ = 0;
    std::array<RefPtr<VeShape>, kLevelsOfDetail> shapes_{};  // level 0 the most detailed
    std::array<int32_t, kLevelsOfDetail> distances_{};  // root only
    bool hasBounds_ = false;                            // root only
    Vec3 maximum_{0, 0, 0}, minimum_{0, 0, 0};
    std::unique_ptr<SequenceSet> sequences_;
    std::vector<std::unique_ptr<Hierarchy>> children_;
    std::string name_;
    // Root only: the whole model's velocity while the sequence of that index plays.
    std::vector<Vec3> velocityPerTick_, velocityPerSecond_;
};

// The sequence tables of the last hierarchy load (non-reentrant, main thread).
SequenceTables& HierarchyLoadTables();

// The top-level hierarchy of that name (any letter case) or none; `sounds`
// (none: every sound gets id 0) resolves the sequences' sounds.
std::unique_ptr<Hierarchy> LoadHierarchyFromChunks(std::string_view name, EnvironmentRecord& record,
                                                   SequenceSoundSystem* sounds = nullptr);

} // namespace trevok
