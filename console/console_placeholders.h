// Placeholders for the console services the shell calls: the console keeps
// its printed lines (echoed to standard error) and its key macros but draws
// nothing; the demo commands work on the shell's demo buffers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct InputEvent;

namespace TextConsole {

struct KeyMacro {
    uint32_t key = 0;
    std::string line;
};

struct State {
    int displayMode = 1;          // 0: open and taking keys
    float slidePosition = -1.0f;  // above -1 while slid out
    uint32_t consoleKey = 41;     // the key left of 1, with Shift
    std::vector<KeyMacro> macros;
    std::vector<std::string> lines;
};

State& Get();
void Create();
bool IsOpen();
bool CloseOnClick();
void Draw(int64_t realTime);
void ExecuteAtFullAccess(const char* line);
void HandleKey(const InputEvent& event);
void Print(const char* text);
void Shutdown();
void Toggle();

} // namespace TextConsole

namespace CommandScript {
bool IsPending();
bool NotifyClick();
void Step();
} // namespace CommandScript

// Set while the player's controls are switched off (scripted scenes).
extern bool PlayerControlsOff;

// The PLAYBACK command: state 5 or 12 becomes 7 at position 0.
void Command_Playback();

namespace Demo {
// Reads a demo file into the demo buffers; a damaged file is refused with a
// console message and the buffers stay as they were. In state 5 or 12 a
// complete file starts playback.
bool LoadFile(const char* name);
} // namespace Demo
