// Placeholders for the game-object services the shell calls (client lights,
// the client unit record). The F-keys' AlertTable and the objectives are in
// objects/ai.h and objects/teams.h.
#pragma once

#include "objects/ai.h"
#include "objects/teams.h"

#include <cstdint>

namespace WorldObjectTable {
void UpdateLights();
}

// The client unit as the number keys see it.
class Unit {
public:
    virtual ~Unit() = default;
    uint32_t Id() const { return id_; }
    virtual bool IsAlive() const { return true; }
    virtual bool TakesOrders() const { return true; }
    int FirstOrderKind() const { return firstOrderKind_; } // 0: no order

protected:
    uint32_t id_ = 0;
    int firstOrderKind_ = 0;
};
