// The interface's part of the level-script commands: CENTRE and REPTXT, and
// what the world and unit commands need of the client side (the object under
// the cursor, the selection, the status window, edge scrolling). The shell
// installs it when the console starts.
#pragma once

namespace ScriptCommands {
void Install();
void Centre();
void RepeatTextCommand();
} // namespace ScriptCommands
