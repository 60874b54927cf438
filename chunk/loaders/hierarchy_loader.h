// Loading a model tree by name into the engine's `Hierarchy` record: each part
// gets its ten level-of-detail shapes (built once and shared between levels
// that show the same object), its animation sequences and its children; the
// root also gets the model's bounds, switching distances and per-sequence
// velocities.
#pragma once

#include "Veapi/hierarchy.h"
#include "Veapi/ve_shape.h"
#include "chunk/environment_record.h"
#include "chunk/hierarchy_chunks.h"
#include "chunk/sequence_chunks.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace trevok {

inline constexpr int32_t kDefaultSwitchDistance = 20000;  // file units

static_assert(kShapeSlots == kLevelsOfDetail);

// The sequence tables of the last hierarchy load (non-reentrant, main thread).
SequenceTables& HierarchyLoadTables();

// The top-level hierarchy of that name (any letter case) or none, holding
// the caller's use; `sounds` (none: every sound gets id 0) resolves the
// sequences' sounds. Key times are in the sequence player's ticks.
HierarchyPtr LoadHierarchyFromChunks(std::string_view name, EnvironmentRecord& record,
                                                   SequenceSoundSystem* sounds = nullptr);

} // namespace trevok
