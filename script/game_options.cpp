#include "script/game_options.h"

#include "app/clock.h"
#include "app/log_file.h"

namespace script {

CompileOptions GameCompileOptions()
{
    CompileOptions options;
    options.sink = [](const ScriptMessage& m) { LogFile::WriteLine(FormatMessage(m).c_str()); };
    // Zero before the clock is calibrated (the directory list is read first).
    const float rate = Clock::GlobalTicksPerSecond();
    if (rate > 0)
        options.ticksPerSecond = rate;
    return options;
}

} // namespace script
