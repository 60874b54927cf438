// Any bytes as a saved game: what parses writes back to the same bytes
// (a block of another size aside), and every object's state block the
// parser accepted is the length its class says.
#include "session/saved_game.h"

#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SavedGame::File file;
    const std::span<const uint8_t> bytes(data, size);
    if (!SavedGame::Parse(bytes, file))
        return 0;
    SavedGame::File again;
    if (!SavedGame::Parse(SavedGame::Write(file), again))
        std::abort();
    if (file.world) {
        for (const SavedGame::ObjectRecord& record : file.world->serverObjects) {
            if (SavedGame::ServerStateLength(record.state, *record.info, record.image) != record.state.size())
                std::abort();
        }
        for (const SavedGame::ObjectRecord& record : file.world->clientObjects) {
            if (SavedGame::ReplicaStateLength(record.state, *record.info) != record.state.size())
                std::abort();
        }
    }
    return 0;
}
