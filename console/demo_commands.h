// The demo commands: RECORD, PLAYBACK, SAVE and LOAD, and the load the main
// menu's attract mode uses.
#pragma once

// The PLAYBACK command: state 5 or 12 becomes 7 at position 0.
void Command_Playback();
void Command_Record();
void Command_SaveDemo();
void Command_LoadDemo();

namespace Demo {
// Reads a demo file the program names (relative names are the start
// directory's) into the demo buffers; a damaged file is refused with a
// console message and the buffers stay as they were. In state 5 or 12 a
// complete file starts playback.
bool LoadFile(const char* name);
} // namespace Demo
