// The whole definition-script compiler on arbitrary text: both passes, every
// kind, the result list and its builds. The first byte picks the compile mode.
#include "app/directories.h"
#include "script/compiler.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The largest inputs the target is run with; the game's own limits apply.
    if (size == 0 || size > 65536)
        return 0;
    const int mode = (data[0] & 1) ? script::kDirectoryListMode : script::kLevelScriptMode;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    script::CompileOptions options;
    int seen = 0;
    options.sink = [&](const script::ScriptMessage& m) { seen += m.text.empty() ? 0 : 1; };
    const script::CompileResult r = script::CompileScriptText(text, "fuzz.tvs", mode, options);
    if (r.errors + r.warnings != static_cast<int>(r.messages.size()) || seen != static_cast<int>(r.messages.size()))
        __builtin_trap();
    if (r.list) {
        r.list->BuildAll([](int percent) {
            if (percent < 0 || percent >= 100)
                __builtin_trap();
        });
        r.list->Release();
    }
    app::DataDirectories::Global().Clear();
    return 0;
}
