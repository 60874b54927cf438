// The move marker shown where a unit was ordered to go: the hierarchy
// "waypoint" of "user interface/movement_indicator2.rif", held from the start
// of a session to its end.
#pragma once

#include <filesystem>

class Hierarchy;

namespace MoveMarker {
inline constexpr const char* kModelFile = "user interface\\movement_indicator2.rif";
inline constexpr const char* kHierarchy = "waypoint";

// From the rifs folder, with the other chunk files; false when it does not load.
bool Load();
bool LoadFrom(const std::filesystem::path& folder);
void Release();
// Null while none is loaded.
Hierarchy* Get();
} // namespace MoveMarker
