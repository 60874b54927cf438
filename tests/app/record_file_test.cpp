// The 60-byte record file: written and read back whole, and a count that
// does not match the file's length refused rather than read past the end.
#include "app/record_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TEST(RecordFile, RoundTripAndMismatchedCounts)
{
    const fs::path path = fs::temp_directory_path() / ("records-" + std::to_string(getpid()) + ".bin");
    std::vector<RecordFile::Record> records(3);
    for (size_t i = 0; i < records.size(); ++i)
        records[i].fill(uint8_t(i + 1));
    ASSERT_TRUE(RecordFile::WriteWholeFile(records, path));
    EXPECT_EQ(fs::file_size(path), 4u + 3u * 60u);
    std::vector<RecordFile::Record> back;
    ASSERT_TRUE(RecordFile::ReadWholeFile(back, path));
    EXPECT_EQ(back, records);

    struct Case {
        const char* name;
        uint32_t count;
        size_t recordBytes;
    };
    const Case cases[] = {{"count above the records", 4, 180}, {"count below the records", 2, 180},
                          {"a partial record", 3, 170}, {"huge count", 0xFFFFFFFFu, 60}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        for (int i = 0; i < 4; ++i)
            out.put(char(c.count >> (8 * i)));
        out << std::string(c.recordBytes, 'r');
        out.close();
        std::vector<RecordFile::Record> kept(1);
        std::string error;
        EXPECT_FALSE(RecordFile::ReadWholeFile(kept, path, &error));
        EXPECT_EQ(kept.size(), 1u) << "left as it was";
        EXPECT_NE(error.find(path.string()), std::string::npos) << error;
    }
    fs::remove(path);
}

} // namespace
