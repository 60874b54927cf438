// Any bytes as level-script lines, one per newline, run through the console's
// dispatcher inside the training level loaded from the sample data, with the
// server thread and the client running and the world, camera and effect
// commands installed as the game installs them. No line may crash, build a
// block the message-size table refuses, or leave an object at a position that
// is not finite; every block the server sent must keep its row and is then
// applied by the client, as a frame would.
#include "app/app_state.h"
#include "app/directories.h"
#include "console/command_script.h"
#include "console/command_table.h"
#include "console/console.h"
#include "console/script_messages.h"
#include "console/text_console.h"
#include "effects/client_effect_hooks.h"
#include "effects/effect_commands.h"
#include "effects/effect_list.h"
#include "objects/game_object.h"
#include "objects/object_registry.h"
#include "objects/role_table.h"
#include "objects/shape_cache.h"
#include "platform/data_path.h"
#include "script/directory_list.h"
#include "session/client_apply.h"
#include "session/game_state.h"
#include "session/level_session.h"
#include "session/message_queue.h"
#include "session/message_sizes.h"
#include "session/server_thread.h"
#include "ui/camera_commands.h"
#include "ui/camera_track.h"
#include "ui/game_view.h"
#include "ui/particle_tester.h"
#include "ui/script_commands.h"
#include "world/level.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// An input may spawn; past this many objects the level is loaded afresh.
constexpr size_t kMostObjects = 256;

// Commands that leave the level or the program, or read and write files
// outside the level's own: out of the fuzzer's reach.
void RemoveOutsideCommands()
{
    CommandTable& table = CommandTable::Global();
    // A name may be registered more than once: every row of it goes.
    for (std::string name : {std::string(TextConsole::Text(9000)), std::string(TextConsole::Text(9001)),
                             std::string(TextConsole::Text(9002)), std::string("BATCH"), std::string("RECORD"),
                             std::string("PLAYBACK"), std::string("SAVE"), std::string("LOAD"),
                             std::string("NEXT LEVEL"), std::string("ADD MISSION"), std::string("ADDMISSION")})
        while (const ConsoleCommand* command = table.FindExact(name.c_str()))
            if (!table.Remove(name.c_str(), command->handler))
                break;
}

void StartLevel()
{
    const std::filesystem::path root = std::getenv("TREVOK_SAMPLE_DATA") ? std::getenv("TREVOK_SAMPLE_DATA")
                                                                           : TREVOK_SAMPLE_DATA_DIR;
    if (!script::LoadDataDirectories(root)) {
        std::fprintf(stderr, "level_dispatch_fuzz: no sample data in %s\n", root.c_str());
        std::abort();
    }
    platform::ClearDataPathCache();
    Session::DataRoot() = root;
    Session::Names() = {"training_level.tvs", ""};
    if (!StartSession(true)) {
        std::fprintf(stderr, "level_dispatch_fuzz: the training level does not load: %s\n",
                     Session::LastError().c_str());
        std::abort();
    }
    SetAppState(AppState::Playing);
}

// The client's part of a frame, without waiting for a pass.
void DrainServerMessages()
{
    for (GameMessage m = ServerToClientQueue.Pop(); !m.IsEmpty(); m = ServerToClientQueue.Pop()) {
        if (!MessageSizes::Fits(MessageSizes::Direction::kToClient, {m.Data(), m.Size()}))
            __builtin_trap();
        Client::ApplyServerMessage(m);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool started = [] {
        RoleTable::Install();
        TextConsole::Create();
        CommandTable::Global().RegisterAll();
        EffectCommands::Install();
        CameraCommands::Install();
        ScriptCommands::Install();
        Effects::InstallLevelHooks();
        Effects::InstallClientHooks();
        GameView::InstallSessionHooks(nullptr);
        // No upgrade screen: its models outlive the run, which never ends the level.
        Session::Hooks().interfaceLoading = nullptr;
        CameraTrack::Install();
        ParticleTester::Install();
        RemoveOutsideCommands();
        StartLevel();
        // The game's way out: the server thread stops, then the level, the
        // console, the effects and the shared shapes go, before the statics
        // they use are destroyed.
        std::atexit([] {
            EndSession();
            TextConsole::Shutdown();
            Effects::ClearAll();
            ShapeCache::FreeAll();
        });
        return true;
    }();
    (void)started;
    const uint64_t refused = ScriptMessages::Refused();
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    for (int line = 1; start <= text.size(); ++line) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        TextConsole::ExecuteAtFullAccess(text.substr(start, end - start).c_str(),
                                         {LineSource::LevelFile, "fuzz.tcs", line});
        start = end + 1;
    }
    Server::Wake();
    DrainServerMessages();
    if (ScriptMessages::Refused() != refused)
        __builtin_trap();
    {
        GameState::Hold hold;
        for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
            const Vec3& p = object->Position();
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
                __builtin_trap();
        }
    }
    CommandScript::Clear();
    PlayerControlsOff = false;
    if (ObjectRegistry::Global().Count() > kMostObjects || !Level::Current()) {
        StopLevel();
        if (!LoadLevel(false)) {
            std::fprintf(stderr, "level_dispatch_fuzz: the training level does not load again: %s\n",
                         Session::LastError().c_str());
            std::abort();
        }
        SetAppState(AppState::Playing);
    }
    return 0;
}
