// The head of a saved-game file: the level's definitions-script name, the
// companion command-file name and whether it was saved at the level's start.
// The save and load screens read it for every listed file.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace SavedGame {

struct Header {
    std::string scriptName;  // without its terminating NUL
    std::string commandFile;
    uint32_t levelStart = 0; // 1 a level-start save, 0 a full save
};

// Each name is at most this many bytes with its NUL; a longer count is a
// damaged file, not a reason to allocate whatever it says.
inline constexpr uint32_t kMaxNameBytes = 260;

// Parses a head from the file's first bytes; false when a length is 0, past
// the cap or past the bytes, or a name lacks its NUL.
bool ParseHeader(std::span<const uint8_t> bytes, Header& out);

// Reads the head of the saved game `name` (a file in the saves folder, any
// letter case; names that would leave it are refused). The last read head changes only on
// success. The game clock is stopped and the server held while reading; both
// are given back as they were, whatever the outcome.
bool ReadHeader(const char* name);

// The last head read successfully (empty with level-start 0 before any).
const Header& Last();

} // namespace SavedGame
