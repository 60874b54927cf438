// Sample data step: makes the seven data directories that "tvdirs.tvs" names
// and checks that the sample's level scripts compile without errors.
#include "app/directories.h"
#include "sample/generator.h"
#include "script/compiler.h"
#include "script/directory_list.h"

#include <cstdio>
#include <system_error>

namespace sample {
namespace {

bool PrintMessages(const script::CompileResult& r)
{
    for (const auto& m : r.messages)
        if (m.severity == script::Severity::kError)
            std::fprintf(stderr, "sample_gen: %s\n", script::FormatMessage(m).c_str());
    return r.list && r.errors == 0;
}

bool WriteDirectories(const Context& ctx)
{
    auto& dirs = app::DataDirectories::Global();
    if (!script::LoadDataDirectories(ctx.out))
        return false;
    for (int i = 0; i < app::kDataDirectoryCount; ++i) {
        const char* path = dirs.Path(i);
        if (!path) {
            std::fprintf(stderr, "sample_gen: tvdirs.tvs names no '%s' directory\n", app::DataDirectories::Name(i));
            return false;
        }
        std::error_code ec;
        std::filesystem::create_directories(ctx.out / path, ec);
        if (ec)
            return false;
    }
    const auto scripts = dirs.Folder(app::kScriptsDirectory);
    for (const char* level : {"training_level.tvs", "mp_arena.tvs", "level05.tvs"}) {
        const auto file = scripts ? dirs.Resolve(app::kScriptsDirectory, level) : std::nullopt;
        if (!file || !PrintMessages(script::CompileScriptFile(*file, script::kLevelScriptMode)))
            return false;
    }
    return true;
}

const StepRegistration kDirectories(5, "data directories", WriteDirectories);

} // namespace
} // namespace sample
