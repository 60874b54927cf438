// Compiles a definition script of the sample data as a level script and
// builds its definitions; every error message fails the calling test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "script/compiler.h"
#include "script/object_list.h"

namespace sampletest {

// True when the script compiled without errors and was built.
inline bool CompileAndBuild(const std::filesystem::path& file)
{
    const script::CompileResult compiled = script::CompileScriptFile(file, script::kLevelScriptMode);
    for (const auto& m : compiled.messages) {
        if (m.severity == script::Severity::kError)
            ADD_FAILURE() << FormatMessage(m);
    }
    if (!compiled.list || compiled.errors != 0)
        return false;
    compiled.list->BuildAll();
    return true;
}

} // namespace sampletest
