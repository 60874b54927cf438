#include "app/app_state.h"
#include "console/named_values.h"
#include "console/readers.h"
#include "console/text_console.h"
#include "objects/game_object.h"
#include "objects/object_registry.h"

#include <cmath>

namespace TextConsole {

PositionSources& Positions()
{
    static PositionSources sources;
    return sources;
}

bool ReadPosition(Vec3& out, Quaternion* orientation)
{
    if (!IsInGameState(CurrentAppState())) {
        Print(Text(6056));
        return false;
    }
    if (NextIsNumber()) {
        const float x = ReadFloat(0.0f), y = ReadFloat(0.0f), z = ReadFloat(0.0f);
        // A number too long for a float would put an object at infinity.
        if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
            Print("Position out of range.");
            return false;
        }
        out = {x, y, z};
        return true;
    }
    if (NextIsWord()) {
        const std::string name = ReadWord();
        Vec3 position;
        Quaternion turn = orientation ? *orientation : Quaternion::Identity();
        if (!Positions().dummy || !Positions().dummy(name, position, &turn)) {
            Print("Invalid dummy object specified.");
            return false;
        }
        out = position;
        if (orientation)
            *orientation = turn;
        return true;
    }
    Vec3 ground;
    if (!Positions().cursorGround || !Positions().cursorGround(ground)) {
        Print(Text(6057));
        return false;
    }
    out = ground;
    return true;
}

bool ReadObjectById(GameObject*& out)
{
    out = nullptr;
    float value = 0.0f;
    if (!NamedValueList::Global().Get(ReadWord(), value))
        return false;
    const int id = SaturatingFloor(value);
    if (id < 0)
        return false;
    out = ObjectRegistry::Global().Find(static_cast<uint32_t>(id));
    return out && out->IsAlive();
}

} // namespace TextConsole
