// Any text as a 'wait for' phrase: nothing may crash or read past the text,
// a refused phrase leaves nothing installed, and what is installed keeps at
// most 249 characters of its text.
#include "console/named_values.h"
#include "console/wait_for.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool started = [] {
        NamedValueList::Global().Set("boss", 3);
        NamedValueList::Global().Set("trevok", 1);
        return true;
    }();
    (void)started;
    const std::string text(reinterpret_cast<const char*>(data), size);
    WaitFor::Reset();
    const bool installed = WaitFor::Parse(text);
    if (installed != WaitFor::IsSet())
        std::abort();
    if (WaitFor::AppendText().size() >= WaitFor::kTextBytes)
        std::abort();
    WaitFor::IsSatisfied();
    WaitFor::Cancel();
    if (WaitFor::IsSet())
        std::abort();
    return 0;
}
