#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "Veapi/data_medium.h"
#include "texture_support.h"

using namespace texture_test;
using ve::DataMedium;

namespace {

// Counts the calls that reach the stream beneath the buffered reads.
class CountingMedium : public ve::MemoryMedium {
public:
    using MemoryMedium::MemoryMedium;
    const uint8_t* ReadBlock(uint32_t* length, uint32_t wanted) override
    {
        ++calls;
        return MemoryMedium::ReadBlock(length, wanted);
    }
    void Seek(uint32_t position) override
    {
        ++calls;
        MemoryMedium::Seek(position);
    }
    int calls = 0;
};

TEST(DataMedium, ValueCutShortByTheEndIsLeftUnchangedAndItsBytesKept)
{
    TempDir dir;
    // One whole block of values, then three bytes where a 32-bit value is asked for.
    std::vector<uint8_t> bytes(1027, 0x11);
    bytes[1024] = 0xaa;
    bytes[1025] = 0xbb;
    bytes[1026] = 0xcc;
    WriteBytes(dir / "file", bytes);
    ve::FileMedium* f = ve::FileMedium::Open(dir / "file");
    ASSERT_EQ(f->BlockSize(), 1024u);
    uint32_t v = 0;
    for (int i = 0; i < 256; ++i)
        ASSERT_TRUE(f->ReadUInt32(v));
    v = 0xdeadbeef;
    EXPECT_FALSE(f->ReadUInt32(v));
    EXPECT_EQ(v, 0xdeadbeefu);
    EXPECT_TRUE(f->Status() & ve::kMediumEndOfData);
    uint8_t b = 0;
    EXPECT_TRUE(f->ReadUInt8(b)) << "the three bytes stay readable in the new block";
    EXPECT_EQ(b, 0xaa);
    f->Release();
}

TEST(DataMedium, WindowRefusesWhatLiesBeyondItsLimit)
{
    std::vector<uint8_t> bytes(64, 7);
    ve::MemoryMedium inner(bytes.data(), uint32_t(bytes.size()));
    struct Case {
        const char* what;
        void (*act)(ve::SubRangeMedium&);
        bool endOfData;
    };
    const Case cases[] = {
        {"read of 11", [](ve::SubRangeMedium& w) { uint8_t buf[11]; w.Read(buf, 11); }, true},
        {"read of 10", [](ve::SubRangeMedium& w) { uint8_t buf[10]; w.Read(buf, 10); }, false},
        {"seek to 11", [](ve::SubRangeMedium& w) { w.Seek(11); }, true},
        {"seek to 10", [](ve::SubRangeMedium& w) { w.Seek(10); }, false},
        {"buffered read past 10",
         [](ve::SubRangeMedium& w) {
             uint32_t v;
             w.ReadUInt32(v);
             w.ReadUInt32(v);
             w.ReadUInt32(v);
         },
         true},
    };
    for (const Case& c : cases) {
        inner.Seek(0);
        ve::SubRangeMedium window(&inner, 10);
        c.act(window);
        EXPECT_EQ(bool(window.Status() & ve::kMediumEndOfData), c.endOfData) << c.what;
        EXPECT_LE(window.Consumed(), 10u) << c.what;
        window.Finish();
        EXPECT_LE(inner.Tell(), 10u) << c.what << ": the inner stream never moves past the window";
    }
}

TEST(DataMedium, SkippingBackWithinTheBlockNeedsNoStreamCall)
{
    std::vector<uint8_t> bytes = {1, 2, 3, 4};
    CountingMedium m(bytes.data(), uint32_t(bytes.size()));
    uint16_t v = 0;
    ASSERT_TRUE(m.ReadUInt16(v));
    int before = m.calls;
    m.SkipBytes(-2);
    EXPECT_EQ(m.calls, before);
    ASSERT_TRUE(m.ReadUInt16(v));
    EXPECT_EQ(v, 0x0201);
    // Flush gives back the block at the logical position, not its furthest.
    m.SkipBytes(-2);
    m.Flush();
    EXPECT_EQ(m.Tell(), 0u);
}

TEST(DataMedium, MemoryIsBoundedBySize)
{
    // Exactly sized: any read past the end would be a sanitizer error.
    std::vector<uint8_t> bytes = {9, 8, 7};
    ve::MemoryMedium m(bytes.data(), uint32_t(bytes.size()));
    uint8_t out[8] = {};
    m.Read(out, 8);
    EXPECT_TRUE(m.Status() & ve::kMediumShort);
    EXPECT_EQ(out[2], 7);
    EXPECT_EQ(out[3], 0);
    EXPECT_EQ(m.Size(), 0);
    ve::MemoryMedium none(nullptr, 10);
    uint8_t b;
    EXPECT_FALSE(none.ReadUInt8(b));
    EXPECT_TRUE(none.Status() & ve::kMediumUnavailable);
}

TEST(DataMedium, DetachedFileIsNotClosedOnRelease)
{
    TempDir dir;
    WriteBytes(dir / "f", {1, 2, 3});
    int fd = ::open((dir / "f").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    auto* m = new ve::FileMedium(fd);
    uint8_t b = 0;
    ASSERT_TRUE(m->ReadUInt8(b));
    m->Flush();
    m->Detach();
    m->Release();
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 1) << "the caller's descriptor is left after what was read";
    EXPECT_EQ(::close(fd), 0);

    ve::FileMedium* missing = ve::FileMedium::Open(dir / "nothing-here");
    EXPECT_TRUE(missing->Status() & ve::kMediumOpenFailed);
    EXPECT_EQ(missing->OsError(), ENOENT);
    missing->Release();
}

// Large reads go past the block into the caller's buffer: the bytes come in
// order whatever was buffered before, values read after them follow on, and
// a read the file cannot fill says how much it got and that data ran out.
TEST(DataMedium, LargeFileReadsKeepTheStreamInOrder)
{
    TempDir dir;
    std::vector<uint8_t> bytes(10000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 7 + i / 251);
    WriteBytes(dir / "file", bytes);
    struct Case {
        uint32_t before;  // bytes read as values first (part of a block)
        uint32_t large;   // then one read of this many
        uint32_t got;     // bytes it yields
    };
    const Case cases[] = {{0, 4096, 4096}, {3, 1024, 1024}, {1021, 5000, 5000}, {1024, 2048, 2048},
                          {6, 9994, 9994}, {6, 12000, 9994}, {9000, 4096, 1000}, {0, 1023, 1023}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.before) + " then " + std::to_string(c.large));
        ve::FileMedium* f = ve::FileMedium::Open(dir / "file");
        uint8_t b = 0;
        for (uint32_t i = 0; i < c.before; ++i)
            ASSERT_TRUE(f->ReadUInt8(b));
        std::vector<uint8_t> out(c.large, 0xEE);
        EXPECT_EQ(f->ReadBytes(out.data(), c.large), c.got);
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + c.got, bytes.begin() + c.before));
        EXPECT_EQ(f->Status() & ve::kMediumEndOfData, c.got < c.large ? ve::kMediumEndOfData : 0u);
        const uint32_t at = c.before + c.got;
        if (at < bytes.size()) {
            ASSERT_TRUE(f->ReadUInt8(b));
            EXPECT_EQ(b, bytes[at]);
        } else {
            EXPECT_FALSE(f->ReadUInt8(b));
        }
        f->Release();
    }
}

// Bytes taken in place come in order after what was read before them, from
// memory without a copy, and a request past the end yields nothing.
TEST(DataMedium, BytesInPlaceFollowTheStream)
{
    TempDir dir;
    std::vector<uint8_t> bytes(5000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = uint8_t(i * 11 + i / 253);
    WriteBytes(dir / "file", bytes);
    for (bool inMemory : {true, false}) {
        SCOPED_TRACE(inMemory ? "memory" : "file");
        DataMedium* m = inMemory ? static_cast<DataMedium*>(new ve::MemoryMedium(bytes.data(), uint32_t(bytes.size())))
                                 : ve::FileMedium::Open(dir / "file");
        uint32_t v = 0;
        ASSERT_TRUE(m->ReadUInt32(v));
        uint32_t at = 4;
        for (uint32_t count : {10u, 2000u, 1u, 2500u}) {
            const uint8_t* p = m->ReadInPlace(count);
            ASSERT_NE(p, nullptr) << count;
            EXPECT_TRUE(std::equal(p, p + count, bytes.begin() + at)) << count;
            if (inMemory) {
                EXPECT_EQ(p, bytes.data() + at);
            }
            at += count;
        }
        EXPECT_EQ(m->Status(), 0u);
        EXPECT_EQ(m->ReadInPlace(uint32_t(bytes.size() - at + 1)), nullptr);
        EXPECT_TRUE(m->Status() & ve::kMediumEndOfData);
        m->Release();
    }
}

} // namespace
