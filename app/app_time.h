// The three times the shell reads: real time (screen and idle deadlines),
// game time (recorded event times, the music switch) and their tick rate.
// A thin view of the global timers in the units the shell keeps.
#pragma once

#include <cstdint>

namespace AppTime {

int64_t TicksPerSecond();
int64_t RealNow();          // ticks since StartRealTime
int64_t GameNow();          // ticks of game time (runs at the game speed)
float GameSeconds();        // game time in seconds
void StartRealTime();       // real and game time count from 0 from here

// Replaces the real-time reading (ticks at TicksPerSecond) so a test can run
// the screens' deadlines faster than the wall clock; null restores it.
void SetRealClock(int64_t (*now)());

void SetGameSpeed(float speed); // 0 pauses game time
void SetGameTime(int64_t ticks); // a level starts its game time at 0
float GameSpeed();

} // namespace AppTime
