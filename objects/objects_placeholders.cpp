#include "objects/objects_placeholders.h"

namespace WorldObjectTable {
void UpdateLights() {}
}
