// The console's part of a full saved game: the command lines still queued
// and the named values; and, while a load rebuilds the world, the console
// skips waits and world-changing lines.
#pragma once

namespace SavedConsole {
void Install();
} // namespace SavedConsole
