// The bounds-checked little-endian reader and writer every format goes through.
#include "platform/byte_cursor.h"

#include <gtest/gtest.h>

using namespace trevok;

TEST(ByteCursor, ValuesRoundTripLittleEndian)
{
    std::vector<uint8_t> b;
    ByteWriter w(b);
    w.U8(0xAB);
    w.U16(0x1234);
    w.U32(0xDEADBEEF);
    w.I32(-2);
    w.F32(-1.5f);
    w.F64(1000.0);
    w.U64(0x0102030405060708ull);
    EXPECT_EQ(b.size(), 1u + 2 + 4 + 4 + 4 + 8 + 8);
    EXPECT_EQ(b[1], 0x34);
    EXPECT_EQ(b[3], 0xEF);
    ByteReader r(b);
    EXPECT_EQ(r.U8(), 0xAB);
    EXPECT_EQ(r.U16(), 0x1234);
    EXPECT_EQ(r.U32(), 0xDEADBEEFu);
    EXPECT_EQ(r.I32(), -2);
    EXPECT_EQ(r.F32(), -1.5f);
    EXPECT_EQ(r.F64(), 1000.0);
    EXPECT_EQ(r.U64(), 0x0102030405060708ull);
    EXPECT_TRUE(r.Ok());
    EXPECT_TRUE(r.AtEnd());
}

TEST(ByteCursor, ReadingPastTheEndFailsAndStaysFailed)
{
    const uint8_t data[] = {1, 2, 3, 4, 5, 6};
    ByteReader r(data);
    EXPECT_EQ(r.U32(), 0x04030201u);
    EXPECT_EQ(r.U32(), 0u); // only two bytes left
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.U8(), 0); // sticky: even a byte that exists is refused now
    EXPECT_EQ(r.Remaining(), 0u);
    EXPECT_TRUE(r.Take(1).empty());
}

TEST(ByteCursor, StringsPaddedFixedAndUnterminated)
{
    struct Case {
        const char* text;
        size_t stored; // (length & ~3) + 4
    } cases[] = {{"", 4}, {"abc", 4}, {"abcd", 8}, {"abcde", 8}, {"abcdefgh", 12}};
    for (const auto& c : cases) {
        std::vector<uint8_t> b;
        ByteWriter w(b);
        w.PaddedString(c.text);
        w.U32(7);
        EXPECT_EQ(b.size(), c.stored + 4) << c.text;
        ByteReader r(b);
        EXPECT_EQ(r.PaddedString(), c.text);
        EXPECT_EQ(r.U32(), 7u) << c.text;
        EXPECT_TRUE(r.Ok()) << c.text;
    }
    const uint8_t noNul[] = {'a', 'b', 'c'};
    ByteReader r(noNul);
    EXPECT_EQ(r.CString(), "");
    EXPECT_FALSE(r.Ok());

    std::vector<uint8_t> b;
    ByteWriter w(b);
    w.FixedString("SixteenCharsName", 16);
    w.FixedString("ab", 8);
    ByteReader f(b);
    EXPECT_EQ(f.FixedString(16), "SixteenCharsName");
    EXPECT_EQ(f.FixedString(8), "ab");
    EXPECT_TRUE(f.Ok());
}
