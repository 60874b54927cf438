// Reading the directory list "tvdirs.tvs" at start-up: the list is a
// definition script of "directory" rows, compiled in directory-list mode;
// building each row stores its path in app::DataDirectories.
#pragma once

#include "script/compiler.h"

#include <filesystem>

namespace script {

// Compiles `listFile` and builds its rows. False when it could not be read.
bool ReadDirectoryList(const std::filesystem::path& listFile, const CompileOptions& options = {});

// Start-up: makes `start` (the game's data root) the start directory and
// reads "tvdirs.tvs" from it into the global table. Every message of the
// compile is written to standard error and the log file, and passed on to
// `options.sink`.
bool LoadDataDirectories(const std::filesystem::path& start, const CompileOptions& options = {});

} // namespace script
