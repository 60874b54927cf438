// The one way the program ends on a condition it cannot recover from (out of
// memory, a display that cannot be restored). Tests replace the handler to
// observe the exit code instead of losing the process.
#pragma once

using FatalExitHandler = void (*)(int code);

// Ends the program with `code` (negative codes reach the shell modulo 256).
// Runs the installed handler first; if the handler returns, std::exit runs so
// the registered exit handlers still restore the display and stop threads.
[[noreturn]] void FatalExit(int code);

// Installs `handler` (null restores the default) and returns the previous one.
// A test handler typically throws or longjmps out; it must not return to the
// caller expecting the program to go on.
FatalExitHandler SetFatalExitHandler(FatalExitHandler handler);

// Exit codes shared by several modules.
inline constexpr int kExitOutOfMemory = -10;
