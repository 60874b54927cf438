// The shared line buffer and the readers that command handlers take their
// arguments from: each reader removes what it consumed from the front of the
// buffer, so the next one sees the rest.
#pragma once

#include <cstddef>
#include <string>

namespace TextConsole {

inline constexpr size_t kLineSize = 250; // 249 characters and a terminator

// The buffer itself; always NUL-terminated within kLineSize.
char* LineBuffer();
// Replaces the buffer's text, cut to 249 characters.
void SetLine(const char* text);
// Removes n characters from the front (all when n passes the end).
void ConsumeLine(size_t n);

int ReadInt(int fallback);
float ReadFloat(float fallback);
// 1 for ON/TRUE, 0 for OFF/FALSE (any case), 2 for anything else.
int ReadOnOff();
std::string ReadWord();
std::string PeekWord();
std::string ReadRestOfLine();
// The rest of the line in place after blanks; null at its end.
const char* RestOfLine();
bool NextIsNumber();
int NextIsWord();
// On any text: the pointer past leading blanks, a word and its blanks.
const char* SkipWord(const char* text);
// 1 true, 0 false, 2 malformed (a message says why).
int ReadComparison();

// Clamps a named value's float to what an int holds (NaN gives 0), with the
// floor rounding of the game thread.
int SaturatingFloor(float value);

} // namespace TextConsole
