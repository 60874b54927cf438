// A fresh console on fake clocks, with a data root holding a scripts folder.
#pragma once

#include "app/directories.h"
#include "console/console.h"
#include "console/named_values.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace console_test {

inline int64_t g_real = 0;
inline int64_t g_game = 0;
inline constexpr int64_t kTps = 1000;

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_real = g_game = 0;
        TextConsole::SetClocks({[] { return g_real; }, [] { return g_game; }, [] { return kTps; }});
        root_ = std::filesystem::temp_directory_path() /
                ("console-test-" + std::to_string(getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ / "Scripts" / "Sub");
        auto& dirs = app::DataDirectories::Global();
        dirs.Clear();
        dirs.SetStartDirectory(root_);
        dirs.SetPath(app::kScriptsDirectory, "scripts");
        TextConsole::Create();
        TextConsole::Get().lines.clear();
    }
    void TearDown() override
    {
        TextConsole::Shutdown();
        TextConsole::SetClocks({});
        app::DataDirectories::Global().Clear();
        std::filesystem::remove_all(root_);
    }
    void Write(const std::filesystem::path& relative, const std::string& bytes)
    {
        std::ofstream(root_ / relative, std::ios::binary) << bytes;
    }
    static void Typed(const char* line) { TextConsole::ExecuteAtFullAccess(line, {LineSource::Typed, {}, 0}); }
    static std::string Last()
    {
        // Lines held back while the console is full are the newest.
        const auto& s = TextConsole::Get();
        if (!s.pending.empty())
            return s.pending.back().text;
        return s.lines.empty() ? std::string() : s.lines.back().text;
    }
    static float Value(const char* name)
    {
        float v = -12345.0f;
        NamedValueList::Global().Get(name, v);
        return v;
    }
    std::filesystem::path root_;
};

} // namespace console_test
