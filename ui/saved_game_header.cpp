#include "ui/saved_game_header.h"

#include "app/app_time.h"
#include "platform/byte_cursor.h"
#include "platform/data_path.h"
#include "session/game_state.h"
#include "session/save_slots.h"

#include <fstream>
#include <vector>

namespace SavedGame {
namespace {

Header g_last; // game thread; written while the server is held

bool ReadName(trevok::ByteReader& in, std::string& out)
{
    uint32_t length = in.U32();
    if (!in.Ok() || length == 0 || length > kMaxNameBytes || !in.Has(length))
        return false;
    std::string text(length, '\0');
    in.Bytes(text.data(), length);
    if (!in.Ok() || text.back() != '\0')
        return false;
    text.pop_back();
    // An embedded NUL ends the name, as every reader of the name would see it.
    out = text.substr(0, text.find('\0'));
    return true;
}

} // namespace

bool ParseHeader(std::span<const uint8_t> bytes, Header& out)
{
    trevok::ByteReader in(bytes);
    Header header;
    if (!ReadName(in, header.scriptName) || !ReadName(in, header.commandFile))
        return false;
    header.levelStart = in.U32();
    if (!in.Ok())
        return false;
    out = std::move(header);
    return true;
}

bool ReadHeader(const char* name)
{
    if (!name || !*name)
        return false;
    // Inside the saves folder only, in any letter case.
    auto path = platform::ResolveDataPath(SavedGames::Directory(), name);
    if (!path)
        return false;
    std::ifstream file(*path, std::ios::binary);
    if (!file)
        return false;

    // The clock stops only while the server thread, which reads it, is parked.
    GameState::Hold hold;
    const float speed = AppTime::GameSpeed();
    AppTime::SetGameSpeed(0);
    // Never more than the largest head, whatever the lengths claim.
    std::vector<uint8_t> bytes(3 * 4 + 2 * kMaxNameBytes);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(file.gcount()));
    const bool ok = ParseHeader(bytes, g_last);
    AppTime::SetGameSpeed(speed);
    return ok;
}

const Header& Last() { return g_last; }

} // namespace SavedGame
