// The string table over a resource library: texts by id, the one shared
// empty string for anything missing, and the record range as loaded.
#include "app/string_table.h"
#include "platform/resources.h"

#include <gtest/gtest.h>

namespace {

platform::ResourceLibrary Library(const std::map<uint32_t, std::string>& texts)
{
    const auto bytes = platform::BuildStringTableLibrary(texts);
    return *platform::ResourceLibrary::FromBytes(bytes.data(), bytes.size(), nullptr);
}

TEST(StringTable, FindsTextsAndTheSharedEmptyString)
{
    const auto library = Library({{7039, "Trevok"}, {7049, "TrevokMainWindow"}, {0, "first"}, {30002, "last"}});
    StringTable table;
    EXPECT_EQ(table.Load(library, StringTable::kFirstId, StringTable::kLastId), 4);
    EXPECT_STREQ(table.Find(7039), "Trevok");
    EXPECT_STREQ(table.Find(0), "first");
    EXPECT_STREQ(table.Find(30002), "last");
    struct Case {
        const char* why;
        uint32_t id;
    };
    for (const Case& c : {Case{"no text", 7040}, Case{"above the range", 30003}, Case{"far above", 0xFFFFFFFFu}}) {
        EXPECT_EQ(table.Find(c.id), StringTable::Empty()) << c.why;
        EXPECT_STREQ(table.Find(c.id), "") << c.why;
    }
    EXPECT_EQ(table.RecordCount(), 30003u);
    EXPECT_EQ(table.Free(), 30003);
    EXPECT_EQ(table.Find(7039), StringTable::Empty());
}

TEST(StringTable, RangesAsLoaded)
{
    const auto library = Library({{4, "four"}, {5, "five"}, {6, "six"}});
    StringTable table;
    EXPECT_EQ(table.Load(library, 5, 5), 1);
    EXPECT_EQ(table.RecordCount(), 1u);
    EXPECT_TRUE(table.IsLastRecord(0));
    EXPECT_STREQ(table.Find(5), "five");
    EXPECT_STREQ(table.Find(4), "") << "below the first id";
    EXPECT_STREQ(table.Find(6), "") << "past the end-marked record";
    // A reversed range makes no records rather than a huge allocation.
    EXPECT_EQ(table.Load(library, 6, 5), 0);
    EXPECT_EQ(table.RecordCount(), 0u);
    EXPECT_STREQ(table.Find(5), "");
}

} // namespace
