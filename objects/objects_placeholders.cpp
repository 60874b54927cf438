#include "objects/objects_placeholders.h"

namespace WorldObjectTable {
void UpdateLights() {}
}

namespace Squad {
namespace {
std::vector<Unit*> g_members;
}
std::vector<Unit*>& Members() { return g_members; }
} // namespace Squad

namespace ClientUnits {
namespace {
std::vector<Unit*> g_all;
}
std::vector<Unit*>& All() { return g_all; }
} // namespace ClientUnits
