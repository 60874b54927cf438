// Where a console line came from. Every line carries its origin so that a
// refusal or an error can name the file and line (or the key, or the typed
// line) that caused it; lines queued from a file, or run by "@", "IF" or
// BATCH, inherit the origin of the line that ran them.
#pragma once

#include <string>

enum class LineSource {
    Typed,
    KeyBinding,
    Program,
    LevelFile,
    BatchFile,
    Briefing,
    SavedGame,
    HostFile,
    Demo,
};

struct LineOrigin {
    LineSource source = LineSource::Program;
    std::string file; // the command file, for lines read from one
    int line = 0;     // 1-based line number in that file; 0 when none
    int depth = 0;    // how many BATCH files deep the line was queued

    // "typed line", "key binding", or e.g. "BATCH file intro.tcs, line 3".
    std::string Describe() const;
};

namespace TextConsole {
// The origin of the line being executed now.
const LineOrigin& CurrentOrigin();
// Makes `origin` current for the scope, restoring the previous one after.
class OriginScope {
public:
    explicit OriginScope(LineOrigin origin);
    ~OriginScope();
    OriginScope(const OriginScope&) = delete;
    OriginScope& operator=(const OriginScope&) = delete;

private:
    LineOrigin saved_;
};
} // namespace TextConsole
