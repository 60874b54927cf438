// The shared line buffer and the readers that command handlers take their
// arguments from: each reader removes what it consumed from the front of the
// buffer, so the next one sees the rest.
#pragma once

#include "app/maths.h"

#include <cstddef>
#include <string>

class GameObject;

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

// Where positions come from besides numbers: the level's dummies and the
// ground under the game cursor, installed by the layers that own them.
struct PositionSources {
    // False when no dummy (types other than "Sound") has that name.
    bool (*dummy)(const std::string& name, Vec3& position, Quaternion* orientation) = nullptr;
    // False when the cursor is over no ground.
    bool (*cursorGround)(Vec3& position) = nullptr;
};
PositionSources& Positions();

// Three numbers, a dummy's name or, at the end of the line, the ground
// under the cursor; only in a game. False after printing why; `out` (and
// `orientation`) are written only on success.
bool ReadPosition(Vec3& out, Quaternion* orientation = nullptr);

// A word naming a named value whose value, rounded down, is the id of a
// server object. `out` gets the object or null; true only for a live one.
// Callers hold the game state (the registry is the server thread's).
bool ReadObjectById(GameObject*& out);

} // namespace TextConsole
