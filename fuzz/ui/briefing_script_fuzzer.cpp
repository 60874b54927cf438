// Any bytes as a briefing script: its lines run as the briefing's own, with
// no display and no other console commands. Nothing may crash, and leaving
// the briefing must take every briefing command away with it.
#include "app/directories.h"
#include "console/command_script.h"
#include "console/command_table.h"
#include "console/text_console.h"
#include "platform/data_path.h"
#include "session/level_session.h"
#include "ui/briefing.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {
int64_t g_now = 0;
int64_t Now() { return g_now; }
std::filesystem::path g_root; // the scratch data folder, gone at exit
void RemoveRoot()
{
    std::error_code ec;
    std::filesystem::remove_all(g_root, ec);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::filesystem::path root = [] {
        char name[] = "/tmp/trevok-briefing-fuzz-XXXXXX";
        const std::filesystem::path dir = mkdtemp(name);
        std::filesystem::create_directories(dir / "scripts");
        auto& dirs = app::DataDirectories::Global();
        dirs.SetStartDirectory(dir);
        dirs.SetPath(app::kScriptsDirectory, "scripts");
        TextConsole::SetClocks({Now, Now, nullptr});
        Session::Names().script = "fuzz.tvs";
        // Where the briefing would lead is out of the fuzzer's reach.
        Briefing::GetHooks() = {[] {}, [] {}};
        g_root = dir;
        std::atexit(RemoveRoot);
        return dir;
    }();
    std::ofstream(root / "scripts" / "fuzz.brf", std::ios::binary)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
    platform::ClearDataPathCache();
    Briefing::Enter(true);
    for (int i = 0; i < 16 && Briefing::IsActive(); ++i) {
        CommandScript::RunAll();
        Briefing::Draw();
        g_now += 1000000;
    }
    if (Briefing::IsActive())
        Briefing::Leave(true);
    if (CommandTable::Global().FindExact("BRIEFING TEXT") || CommandTable::Global().FindExact("END BRIEFING"))
        std::abort();
    return 0;
}
