// Placeholders for the game-object services the shell calls (alerts,
// objectives, client lights, the client unit record).
#pragma once

#include <cstdint>

namespace AlertTable {
void Answer(uint32_t key, int slot); // F1..F10 answer slot 0..9
void ResolveAll();
} // namespace AlertTable

namespace Objectives {
void Update(); // shows the current side's objectives
}

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
