// The name field's key table, the extension rule and the saves listing.
#include "session/save_slots.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

TEST(SaveNameField, KeyTable)
{
    struct Case {
        const char* name;
        const char* start;
        size_t cursor;
        uint32_t scanCode;
        const char* keyText;
        const char* text;
        size_t cursorAfter;
        SaveNameField::Action action;
    };
    using A = SaveNameField::Action;
    const Case cases[] = {
        {"typing inserts at the cursor", "ac", 1, 48, "b", "abc", 2, A::None},
        {"backspace deletes before", "abc", 2, 14, "", "ac", 1, A::None},
        {"backspace at 0 does nothing", "abc", 0, 14, "", "abc", 0, A::None},
        {"delete at the cursor", "abc", 1, 211, "", "ac", 1, A::None},
        {"delete at the end does nothing", "abc", 3, 211, "", "abc", 3, A::None},
        {"home", "abc", 2, 199, "", "abc", 0, A::None},
        {"end", "abc", 0, 207, "", "abc", 3, A::None},
        {"left at 0", "abc", 0, 203, "", "abc", 0, A::None},
        {"right at the end", "abc", 3, 205, "", "abc", 3, A::None},
        {"tab, console, up, down ignored", "abc", 1, 15, "\t", "abc", 1, A::None},
        {"return confirms, cursor to 0", "abc", 2, 28, "", "abc", 0, A::Confirm},
        {"return with no name does nothing", "", 0, 28, "", "", 0, A::None},
        {"escape opens the menu", "abc", 1, 1, "", "abc", 1, A::OpenMenu},
        {"separators are refused", "ab", 2, 53, "/", "ab", 2, A::None},
        {"backslash refused", "ab", 2, 43, "\\", "ab", 2, A::None},
        {"cut to 19", "0123456789012345678", 19, 30, "a", "0123456789012345678", 19, A::None},
    };
    for (const Case& c : cases) {
        SaveNameField field;
        field.Set(c.start);
        while (field.Cursor() > c.cursor)
            field.OnKey(203, "");
        EXPECT_EQ(field.OnKey(c.scanCode, c.keyText), c.action) << c.name;
        EXPECT_EQ(field.Text(), c.text) << c.name;
        EXPECT_EQ(field.Cursor(), c.cursorAfter) << c.name;
    }
}

TEST(SaveNameField, ExtensionRule)
{
    const struct {
        const char* typed;
        const char* file;
    } cases[] = {
        {"mine", "mine.sav"},
        {"mine.SAV", "mine.SAV"},
        {"Mine.Sav", "Mine.Sav"},
        {"0123456789abcdefghi", "0123456789abcdef.sav"},
        {"0123456789abcdef", "0123456789abcdef.sav"},
    };
    for (const auto& c : cases) {
        SaveNameField field;
        field.Set(c.typed);
        EXPECT_EQ(field.FileName(), c.file) << c.typed;
    }
    std::string name = "abcdefgh";
    AppendExtension(name, ".sav", 10);
    EXPECT_EQ(name, "abcdef.sav");
    EXPECT_TRUE(EndsWithNoCase("A.SaV", ".sav"));
    EXPECT_FALSE(EndsWithNoCase("sav", ".sav"));
}

TEST(SavedGames, ListsSavesOfAnyCaseByNameAndRefusesEscapingNames)
{
    char temp[] = "/tmp/trevok-list-XXXXXX";
    std::filesystem::path dir = mkdtemp(temp);
    setenv("XDG_DATA_HOME", dir.c_str(), 1);
    std::filesystem::create_directories(SavedGames::Directory());
    for (const char* name : {"b.SAV", "a.sav", "c.Sav", "notes.txt"})
        std::ofstream(SavedGames::Directory() / name) << "x";
    EXPECT_EQ(SavedGames::List("*.sav"), 4);
    EXPECT_EQ(SavedGames::Entries(), (std::vector<std::string>{"a.sav", "b.SAV", "c.Sav"}));
    EXPECT_EQ(SavedGames::List("*.none"), 0);
    EXPECT_TRUE(SavedGames::Entries().empty());
    for (const char* bad : {"../x.sav", "a/b.sav", "a\\b.sav", "..", ""})
        EXPECT_TRUE(SavedGames::PathOf(bad).empty()) << bad;
    unsetenv("XDG_DATA_HOME");
    std::filesystem::remove_all(dir);
}

} // namespace
