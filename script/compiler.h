// The definition-script compiler: two passes over one file (preprocess, then
// parse) into a list of typed definitions. Callers are the directory-list
// reader at start-up and the level loader; they act on the error and warning
// counts, and receive every message with its file and line through a sink.
#pragma once

#include "script/object_list.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace script {

// Compile modes: bit 0 a level or data script, bit 1 the directory list.
inline constexpr int kLevelScriptMode = 1;
inline constexpr int kDirectoryListMode = 2;

enum class Severity { kWarning, kError };

struct ScriptMessage {
    Severity severity = Severity::kError;
    std::string file;
    unsigned line = 0;
    std::string text;
};

// "file(line): error: text", the form the log and the console show.
std::string FormatMessage(const ScriptMessage& message);

using MessageSink = std::function<void(const ScriptMessage&)>;

struct CompileOptions {
    MessageSink sink;  // called for each message as it is reported
    // #include names resolve inside this folder (back-slashes, any case) and
    // never leave it. Empty: the folder of the compiled file.
    std::filesystem::path includeRoot;
    // Clock ticks per second for "life N seconds"; the loader passes the
    // calibrated clock's rate.
    double ticksPerSecond = 1.0e9;
    // Bounds against hostile input: a small file whose macros multiply into
    // more text than memory holds, or than a start-up should wait for.
    int maxIncludeDepth = 32;
    int maxMacroDepth = 200;
    long maxMacroExpansions = 200000;
    long maxMacroTokens = 1000000;              // pieces macro expansions may produce in one compile
    uint64_t maxMacroBytes = uint64_t{8} << 20;   // text macro expansions may produce in one compile
    uint64_t maxOutputBytes = uint64_t{32} << 20; // pass-1 output of one compile, includes and all
    uint64_t maxFileBytes = uint64_t{16} << 20;   // one script or included file; larger ones are refused unread
};

struct CompileResult {
    std::unique_ptr<ScriptObjectList> list;  // null when the compile failed
    int errors = 0;
    int warnings = 0;
    std::vector<ScriptMessage> messages;
};

CompileResult CompileScriptFile(const std::filesystem::path& path, int mode, const CompileOptions& options = {});

// Compiles text held in memory as if it were a file called `name`.
CompileResult CompileScriptText(std::string_view text, std::string_view name, int mode,
                                const CompileOptions& options = {});

struct PreprocessResult {
    std::string text;  // pass-1 output: pieces separated by one blank, line markers included
    int errors = 0;
    int warnings = 0;
    std::vector<ScriptMessage> messages;
};

// Pass 1 alone, for tools and tests.
PreprocessResult PreprocessScriptText(std::string_view text, std::string_view name,
                                      const CompileOptions& options = {});

} // namespace script
