// Placeholders for the game-object services the shell calls. The client
// registry (WorldObjectTable) and the client replicas are real and come in
// through their own headers; the F-keys' AlertTable and the objectives are
// in objects/ai.h and objects/teams.h.
#pragma once

#include "objects/ai.h"
#include "objects/teams.h"
#include "objects/unit.h"
#include "objects/world_object.h"
