// The game speed: the speed of the server and client game clocks. Alone both
// change at once; in a networked game a slower speed waits until every
// player has slowed its own clock, so no client runs ahead of the server.
#pragma once

#include <cstdint>

namespace GameSpeed {
// The speed asked for: a pending slower speed counts at once.
float Get();
void Set(float speed); // game thread; 0 pauses game time

// Server thread: a speed answer (request 4) from `sender` with its sequence;
// a stale sequence or an unknown sender changes nothing.
void OnAnswer(uint32_t sender, uint32_t sequence);
// Server thread, once a pass: applies a pending speed when every player has
// answered or left.
void ApplyWhenAnswered();
// Forgets a pending change (session start).
void Reset();
} // namespace GameSpeed
