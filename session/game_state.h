// The one hand-over between the game thread and the server thread: the game
// thread brackets every touch of server-side state with Enter and Leave,
// which park the server thread between two passes. Calls nest; only the
// outermost pair parks and releases. On the server thread both do nothing.
#pragma once

#include <cstdint>

namespace GameState {
void Enter();
void Leave();
int32_t Depth(); // nesting depth on the game thread

// Enter for the enclosing scope.
class Hold {
public:
    Hold() { Enter(); }
    ~Hold() { Leave(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
};
} // namespace GameState

namespace GameClock {
uint64_t Now(); // server game time in ticks
}
