// Any bytes as console lines, one per newline, run through the dispatcher
// and the script queue: nothing may crash, overrun the line buffer, or
// leave a named value that is not a finite number within its limit.
#include "console/console.h"
#include "console/named_values.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {
int64_t g_now = 0;
int64_t Now() { return g_now; }
int64_t Tps() { return 1000; }
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool started = [] {
        TextConsole::SetClocks({Now, Now, Tps});
        TextConsole::Create();
        // Leaving the process and reading files are out of the fuzzer's reach.
        for (const char* name : {TextConsole::Text(9000), TextConsole::Text(9001)})
            CommandTable::Global().Remove(name, ConsoleControl::Quit);
        CommandTable::Global().Remove("BATCH", CommandScript::CommandBatch);
        return true;
    }();
    (void)started;
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        CommandScript::QueueLine(line.c_str(), {LineSource::HostFile, "fuzz", 1});
        start = end + 1;
    }
    for (int i = 0; i < 64 && CommandScript::IsPending(); ++i) {
        CommandScript::RunAll();
        g_now += 3600 * 1000;
    }
    if (std::strlen(TextConsole::LineBuffer()) >= TextConsole::kLineSize)
        __builtin_trap();
    float v = 0;
    if (NamedValueList::Global().Get("res", v) && !(std::fabs(v) <= NamedValueList::kLimit))
        __builtin_trap();
    CommandScript::Clear();
    NamedValueList::Global().Set("res", 0);
    return 0;
}
