// File names that console lines give (BATCH, SAVE, LOAD and the like):
// resolved inside the game's own folders only, and refused with a message
// naming the line's origin otherwise.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace CommandFiles {

// True when `name` could only leave its folder: absolute, a drive letter,
// or a ".." component (either slash).
bool Escapes(const std::string& name);

// The existing file `name` inside `root` (any case, back-slashes). Prints a
// refusal or a not-found message for `command` and gives nothing otherwise.
std::optional<std::filesystem::path> Open(const std::optional<std::filesystem::path>& root,
                                          const std::string& name, const char* command);
// The same for a file about to be written.
std::optional<std::filesystem::path> Create(const std::optional<std::filesystem::path>& root,
                                            const std::string& name, const char* command);

// The folders file names resolve in.
std::optional<std::filesystem::path> ScriptsFolder();
std::optional<std::filesystem::path> DemoFolder();

} // namespace CommandFiles
