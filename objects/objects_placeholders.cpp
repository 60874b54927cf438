#include "objects/objects_placeholders.h"

namespace Squad {
namespace {
std::vector<UiUnit*> g_members;
}
std::vector<UiUnit*>& Members() { return g_members; }
} // namespace Squad

namespace ClientUnits {
namespace {
std::vector<UiUnit*> g_all;
}
std::vector<UiUnit*>& All() { return g_all; }
} // namespace ClientUnits
