// The laser fences' part of a full saved game: each fence's two end points,
// built again on load.
#pragma once

namespace SavedFences {
void Install();
} // namespace SavedFences
