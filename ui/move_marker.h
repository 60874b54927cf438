// The move marker shown where a unit was ordered to go: the hierarchy
// "waypoint" of "user interface/movement_indicator2.rif", held from the start
// of a session to its end.
#pragma once

#include <filesystem>

class Hierarchy;

namespace MoveMarker {
// From the graphics folder, at the start of a session; false when it does
// not load. The replicas draw what is loaded here.
bool Load();
bool LoadFrom(const std::filesystem::path& folder);
void Release();
// Null while none is loaded.
Hierarchy* Get();
} // namespace MoveMarker
