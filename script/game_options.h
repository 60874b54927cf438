// The compile options the game itself uses: every message goes to the log
// file as "file(line): error: text", and life clauses count ticks of the
// global clock. The console adds its own sink when it exists.
#pragma once

#include "script/compiler.h"

namespace script {

CompileOptions GameCompileOptions();

} // namespace script
