// Demo files and buffers: a file laid out by hand from the format, round
// trips, and damaged files refused without touching the buffers.
#include "app/demo.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

// "level05.tvs", "level05.tcs", two events (key down Enter, a mouse move),
// times 0.5 and 1.25.
std::vector<uint8_t> HandBuiltDemo()
{
    std::vector<uint8_t> b;
    Put32(b, 12);
    for (char c : std::string("level05.tvs"))
        b.push_back(uint8_t(c));
    b.push_back(0);
    Put32(b, 12);
    for (char c : std::string("level05.tcs"))
        b.push_back(uint8_t(c));
    b.push_back(0);
    Put32(b, 2);
    for (uint32_t w : {256u, 28u, 0u, 0u, 28u, 1u})
        Put32(b, w);
    for (uint32_t w : {512u, 0u, (200u << 16) | 320u, 0u, 0u, 0x100u})
        Put32(b, w);
    Put32(b, 0x3F000000); // 0.5f
    Put32(b, 0x3FA00000); // 1.25f
    return b;
}

TEST(DemoFile, ReadsAHandBuiltFileAndWritesTheSameBytes)
{
    const auto bytes = HandBuiltDemo();
    Demo::File file;
    std::string error;
    ASSERT_TRUE(Demo::Parse(bytes.data(), bytes.size(), file, error)) << error;
    EXPECT_EQ(file.levelScript, "level05.tvs");
    EXPECT_EQ(file.commandFile, "level05.tcs");
    ASSERT_EQ(file.events.size(), 2u);
    EXPECT_EQ(file.events[0], (InputEvent{256, 28, 0, 0, 28, 1}));
    EXPECT_EQ(file.events[1], (InputEvent{512, 0, (200u << 16) | 320u, 0, 0, 0x100}));
    EXPECT_EQ(file.times, (std::vector<float>{0.5f, 1.25f}));
    EXPECT_EQ(Demo::Serialize(file), bytes);
}

TEST(DemoFile, EmptyDemoHasOnlyItsNamesAndCount)
{
    Demo::File file;
    file.levelScript = "training_level.tvs";
    const auto bytes = Demo::Serialize(file);
    EXPECT_EQ(bytes.size(), 12u + 19u + 1u) << "an absent name is one NUL byte";
    Demo::File back;
    std::string error;
    ASSERT_TRUE(Demo::Parse(bytes.data(), bytes.size(), back, error)) << error;
    EXPECT_EQ(back.levelScript, "training_level.tvs");
    EXPECT_EQ(back.commandFile, "");
    EXPECT_TRUE(back.events.empty());
}

TEST(DemoFile, DamagedFilesAreRefusedWithThePlace)
{
    const auto good = HandBuiltDemo();
    for (size_t cut = 0; cut < good.size(); ++cut) {
        Demo::File file;
        std::string error;
        EXPECT_FALSE(Demo::Parse(good.data(), cut, file, error)) << "cut at " << cut;
        EXPECT_NE(error.find("byte "), std::string::npos) << error;
    }
    struct Case {
        const char* name;
        size_t offset;
        uint32_t value;
        const char* expected;
    };
    const size_t count = 4 + 12 + 4 + 12;
    const Case cases[] = {
        {"name length 0", 0, 0, "name length is 0"},
        {"name length past the end", 0, 0x7FFFFFFF, "file ends inside a name"},
        {"name without its NUL", 0, 11, "not NUL-terminated"},
        {"more events than a demo holds", count, 20001, "more events"},
        {"count past the data", count, 3, "file ends before all events"},
        {"count short of the data", count, 1, "unexpected bytes"},
        {"time that is not a number", count + 4 + 48, 0x7FC00000, "not a number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto bad = good;
        for (int i = 0; i < 4; ++i)
            bad[c.offset + size_t(i)] = uint8_t(c.value >> (8 * i));
        Demo::File file;
        std::string error;
        EXPECT_FALSE(Demo::Parse(bad.data(), bad.size(), file, error));
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
}

TEST(DemoBuffers, ADamagedFileLeavesTheBuffersAlone)
{
    auto buffers = std::make_unique<Demo::Buffers>();
    buffers->levelScript = "kept.tvs";
    Demo::Record(*buffers, InputEvent{256, 57, 0, 0, 57, 0}, 3.0f);
    const fs::path path = fs::temp_directory_path() / ("tvdemo-damaged-" + std::to_string(getpid()) + ".dem");
    auto bytes = HandBuiltDemo();
    bytes.pop_back();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
    std::string error;
    EXPECT_FALSE(Demo::LoadInto(*buffers, path, error));
    EXPECT_NE(error.find(path.string()), std::string::npos) << error;
    EXPECT_EQ(buffers->count, 1u);
    EXPECT_EQ(buffers->levelScript, "kept.tvs");
    EXPECT_EQ(buffers->events[0].scanCode, 57u);
    fs::remove(path);
}

TEST(DemoBuffers, SaveAndLoadKeepEventsTimesAndOrder)
{
    auto recorded = std::make_unique<Demo::Buffers>();
    recorded->levelScript = "level05.tvs";
    recorded->commandFile = "level05.tcs";
    for (uint32_t i = 0; i < 500; ++i)
        Demo::Record(*recorded, InputEvent{i % 2 ? 257u : 256u, i, i << 16, -int32_t(i), i, i & 3}, float(i) / 7.0f);
    const fs::path path = fs::temp_directory_path() / ("tvdemo-round-" + std::to_string(getpid()) + ".dem");
    std::string error;
    ASSERT_TRUE(Demo::SaveFrom(*recorded, path, error)) << error;
    auto loaded = std::make_unique<Demo::Buffers>();
    loaded->playbackPosition = 99;
    ASSERT_TRUE(Demo::LoadInto(*loaded, path, error)) << error;
    EXPECT_EQ(loaded->count, 500u);
    EXPECT_EQ(loaded->playbackPosition, 0u);
    EXPECT_EQ(loaded->levelScript, "level05.tvs");
    EXPECT_EQ(loaded->commandFile, "level05.tcs");
    for (uint32_t i = 0; i < 500; ++i) {
        ASSERT_EQ(loaded->events[i], recorded->events[i]) << i;
        ASSERT_EQ(std::bit_cast<uint32_t>(loaded->times[i]), std::bit_cast<uint32_t>(recorded->times[i])) << i;
    }
    fs::remove(path);
}

TEST(DemoBuffers, TheLastPlaceIsStoredThenRecordingReportsFull)
{
    auto buffers = std::make_unique<Demo::Buffers>();
    for (uint32_t i = 0; i + 1 < Demo::kCapacity; ++i)
        ASSERT_TRUE(Demo::Record(*buffers, InputEvent{256, 1, 0, 0, 1, 0}, 0.0f));
    EXPECT_FALSE(Demo::Record(*buffers, InputEvent{257, 2, 0, 0, 2, 0}, 9.0f)) << "the 20000th fills it";
    EXPECT_EQ(buffers->count, Demo::kCapacity);
    EXPECT_EQ(buffers->events[Demo::kCapacity - 1].scanCode, 2u);
    EXPECT_FALSE(Demo::Record(*buffers, InputEvent{}, 0.0f));
    EXPECT_EQ(buffers->count, Demo::kCapacity) << "never past the end";
}

} // namespace
