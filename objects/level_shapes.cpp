#include "objects/level_shapes.h"

#include "objects/shape_cache.h"
#include "world/map_build.h"

void UseModelCaches(LevelServices& services)
{
    services.shapeSource = [](const std::string& file, const std::string& name) {
        return ShapeCache::Get(file, name);
    };
    services.hierarchySource = [](const std::string& file, const std::string& name) {
        return HierarchyCache::Get(file, name);
    };
}
