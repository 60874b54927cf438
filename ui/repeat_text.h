// The training level's repeating line: printed into the console again at a
// fixed period while the command script waits for the player.
#pragma once

#include <cstddef>
#include <string>

namespace RepeatText {

inline constexpr size_t kMaxLength = 249;
inline constexpr float kPeriodSeconds = 20.0f;

void Set(const char* text); // cut to kMaxLength; first print one period from now
void Tick();                // prints when the period has passed
void Stop();

bool Active();

// "REPTXT": the rest of the line becomes the repeating text; an empty line
// stops it.
void Command();
// Gives the console its REPTXT and the command script's waits their ticks.
void Install();
const std::string& Text();

} // namespace RepeatText
