// The sample data generator: each subsystem adds a step that writes its files.
// Steps register themselves, so adding one touches no shared file.
#pragma once

#include <filesystem>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace sample {

struct Context {
    std::filesystem::path out;   // root of the data set being written
    std::filesystem::path text;  // hand-written text files copied as they are
};

// A step returns false after printing what went wrong.
using Step = std::function<bool(const Context&)>;

// order: lower runs first (texts 0, resources 10, chunk files 20, ...).
struct StepRegistration {
    StepRegistration(int order, std::string name, Step step);
};

// The sprite sheet "units\\alpha junk.rim", shared by the effect shapes and
// the shadows: the colour class at (u, v), 0 the background, 1 the second
// sprite's rectangle, 2 the third sprite's triangle.
int AlphaJunkClass(float u, float v);

// Writes `text` to `relative` under the data set's root (folders made);
// false after printing what went wrong.
bool WriteTextFile(const Context& ctx, const std::filesystem::path& relative, const std::string& text);

// A "role" definition of a script: the character, the identifier as it is
// written (quoted, or none), the AI type and further keys.
std::string RoleDefinition(const std::string& name, const std::string& identifier, const std::string& character,
                           int ai, const std::string& extra = "");

// A named marker of a level model: position in millimetres (y downward)
// and its text, or none.
struct LevelMarker {
    const char* name;
    int32_t x, y, z;
    const char* text;
};

// rifs/<level>.rif: the sample level's geometry under the name `level`, with
// the markers; false after printing what went wrong.
bool WriteLevelModel(const Context& ctx, const std::string& level, std::span<const LevelMarker> markers);

} // namespace sample
