// Demo buffers (the recorded input events and their game times) and the demo
// file that holds them: two NUL-terminated names with their u32 lengths, the
// u32 event count, the 24-byte events, then one f32 game time per event.
#pragma once

#include "app/input_event.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace Demo {

inline constexpr uint32_t kCapacity = 20000;
// Full buffers and two path names fit many times over; a larger file is
// refused unread.
inline constexpr uint64_t kMaxFileBytes = uint64_t{4} << 20;
// A stored name (with its NUL) longer than a path can be is refused.
inline constexpr uint32_t kMaxNameBytes = 260;

struct Buffers {
    std::array<InputEvent, kCapacity> events{};
    std::array<float, kCapacity> times{};
    uint32_t count = 0;
    uint32_t playbackPosition = 0;
    std::string levelScript; // the level's definition-script name
    std::string commandFile; // its companion command-file name
};

Buffers& Global();

// Stores one event while recording. True while there is room for more;
// false once the buffer became full with this event.
bool Record(Buffers& buffers, const InputEvent& event, float gameSeconds);

struct File {
    std::string levelScript;
    std::string commandFile;
    std::vector<InputEvent> events;
    std::vector<float> times;
};

// Checks every field; on failure `error` says at which byte what was wrong
// and nothing is returned, so a damaged file is never replayed.
bool Parse(const uint8_t* data, size_t size, File& out, std::string& error);
std::vector<uint8_t> Serialize(const File& file);

// Reads `path` into the buffers. A damaged file leaves them untouched and
// returns false with `error` naming the file and the fault.
bool LoadInto(Buffers& buffers, const std::filesystem::path& path, std::string& error);
// Writes the recorded part of the buffers.
bool SaveFrom(const Buffers& buffers, const std::filesystem::path& path, std::string& error);

} // namespace Demo
