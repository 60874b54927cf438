// Helpers shared by the script tests: compile text and show its messages in
// one comparable form, "w|e LINE text".
#pragma once

#include "script/compiler.h"
#include "script/kinds.h"

#include <string>
#include <vector>

namespace script::test {

inline std::vector<std::string> Lines(const std::vector<ScriptMessage>& messages)
{
    std::vector<std::string> out;
    for (const auto& m : messages)
        out.push_back(std::string(m.severity == Severity::kError ? "e " : "w ") + std::to_string(m.line) + " " +
                      m.text);
    return out;
}

inline CompileResult Compile(const std::string& text, int mode = kLevelScriptMode, CompileOptions options = {})
{
    return CompileScriptText(text, "test.tvs", mode, options);
}

// The definition a compile yielded under list index i, or null.
inline ScriptDefinition* At(const CompileResult& r, std::size_t i)
{
    return r.list && i < r.list->Count() ? &(*r.list)[i] : nullptr;
}

} // namespace script::test
