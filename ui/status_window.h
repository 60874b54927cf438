// The developer's status read-out over the game view (GENERAL: level figures
// and frame rate; WATCH: one watched object and what its server-side AI is
// doing), its console command, and the interface light sets that the
// command wheel and the upgrade screen use as materials.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/hud.h"

class LightSet;

namespace InterfaceLights {
enum Which { kWhite, kNormal, kPressed, kBlue, kGreen, kHighlighted, kCount };
// Null before StatusWindow::Setup.
LightSet* Get(Which which);
} // namespace InterfaceLights

namespace StatusWindow {
enum Mode { kOff, kGeneral, kWatch };
inline constexpr float kOriginX = 0.04f, kOriginY = 0.5f;

// What WATCH mode reads of the server object of the watched id, filled in
// between the game-state enter and leave by whoever runs the server.
struct ServerReadout {
    bool alive = true, attacking = false, fleeing = false, moving = false;
    const char* targetRole = nullptr;
    int aiState = 0;
    bool hasDecisionTime = false;
    int64_t ticksToDecision = 0;
};
// Returns false when no server object has the id (or no server runs).
using ServerProbe = std::function<bool(uint32_t id, ServerReadout& out)>;
// Null restores the reader of the running server thread's objects, which
// parks the thread (the game-state hand-over) while it reads.
void SetServerProbe(ServerProbe probe);

void Setup();
void Release();
Mode CurrentMode();
void SetMode(Mode mode);
void SetWatched(uint32_t id);
// The handler of "STATUS WINDOW": reads one word.
void Command();
// The mode's lines at screen fractions for this frame.
std::vector<Hud::Line> BuildLines(int64_t lastFrameTicks);
void Draw();
} // namespace StatusWindow
