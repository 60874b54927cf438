#include "objects/objects_placeholders.h"

namespace AlertTable {
void Answer(uint32_t, int) {}
void ResolveAll() {}
} // namespace AlertTable

namespace Objectives {
void Update() {}
}

namespace WorldObjectTable {
void UpdateLights() {}
}
