// The level's ambient colour in a full saved game. A load builds the level
// again without its companion file, and a level's light set glows white
// until AMBIENT: the save therefore puts an AMBIENT line with the level's
// colour in front of the saved command lines, which the load runs first.
#pragma once

namespace SavedLighting {
void Install();
} // namespace SavedLighting
