// The briefing screen (game state 11) before a mission and the debriefing
// after one: a briefing script, run line by line through the console,
// builds the screen with eleven commands that exist only while it runs
// (images, shapes, texts revealed letter by letter, light fades). The
// script's END BRIEFING, a key or a mouse button moves on to the game, to
// the following briefing or, after a lost game, to the title screen.
#pragma once

#include "app/maths.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class VeObject;

namespace Briefing {

inline constexpr const char* kGameOverScript = "gameover.brf";
inline constexpr const char* kSoundBank = "robots.dat";
inline constexpr const char* kMusic = "sound\\music\\track1.bik";
inline constexpr uint32_t kFirstText = 1001; // BRIEFING TEXT n shows string 1001 + n
inline constexpr double kCharactersPerSecond = 25.0;

// The script of the running (or last) briefing, as queued.
std::string& ScriptName();
// Set by the main loop when the game is lost; cleared when that briefing ends.
bool& GameOver();

// flag true: a briefing (".brf"), false: a debriefing (".dbf").
void Enter(bool briefing);
void Draw();
// Frees everything the briefing built and removes its commands; the steps
// are the same for either flag.
void Leave(bool briefing);
bool IsDebriefing();
bool IsActive();

// A key or a mouse button in state 11: a lost game goes back to the title,
// a debriefing leads on to the briefing, a briefing starts the game.
void Skip();

// The briefing script of a level whose definitions script is `definitions`:
// its last three characters become "brf" or "dbf". Empty (no briefing) for a
// name of 4 characters or fewer, which has no extension to replace.
std::string ScriptNameFor(const std::string& definitions, bool briefing);

// What the screen moves on to; unset entries call the game's own (the
// session start with a level load, the title screen).
struct Hooks {
    std::function<void()> startSession;
    std::function<void()> titleScreen;
};
Hooks& GetHooks();

// What the script built, for the screen's own tests and tools.
struct Text {
    float left = 0, right = 1, top = 0;
    int number = 0;      // as given; the string is kFirstText + number
    std::string text;    // the string table's text ("" when it has none)
    int64_t start = 0;   // real-time tick it was added
};
const std::vector<Text>& Texts();
// Characters of `text` shown at `now` (the whole text once revealed).
size_t RevealedCharacters(const Text& text, int64_t now);
size_t ImageCount();
struct Shape {
    std::string name;
    VeObject* object = nullptr; // one reference, the list's
};
const std::vector<Shape>& Shapes();
int FadeMode(); // 0 none, 1 in, 2 out
float FadeLevel();

// The uniform scale and position that fit an object's box to the screen:
// its larger screen extent becomes 1 and its middle the screen's middle.
// A box with no extent keeps the scale 1.
struct Fit {
    float scale;
    Vec3 position;
};
Fit FitToScreen(const Vec3& minimum, const Vec3& maximum);

} // namespace Briefing
