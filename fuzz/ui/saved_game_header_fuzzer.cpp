// Saved-game heads: any bytes either parse into names within the cap that
// end where their NUL was, or leave the previous head untouched.
#include "ui/saved_game_header.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SavedGame::Header head;
    head.scriptName = "kept";
    if (SavedGame::ParseHeader({data, size}, head)) {
        if (head.scriptName.size() >= SavedGame::kMaxNameBytes || head.commandFile.size() >= SavedGame::kMaxNameBytes)
            std::abort();
    } else if (head.scriptName != "kept") {
        std::abort();
    }
    return 0;
}
