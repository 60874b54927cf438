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

// Into a fixed buffer: what does not fit is refused whole, the writer stays
// failed, and no byte past the buffer is touched.
TEST(ByteCursor, FixedBufferRefusesWholeWritesThatDoNotFit)
{
    struct Case {
        const char* name;
        void (*write)(ByteWriter&);
        size_t written;
        bool ok;
    };
    const Case cases[] = {
        {"fits exactly", [](ByteWriter& w) { w.U32(0x04030201); w.U16(0x0605); }, 6, true},
        {"a word past the end", [](ByteWriter& w) { w.U32(1); w.U32(2); }, 4, false},
        {"later writes after a refusal", [](ByteWriter& w) { w.U32(1); w.U32(2); w.U8(3); }, 4, false},
        {"zeros past the end", [](ByteWriter& w) { w.Zeros(7); }, 0, false},
        {"text cut to its field", [](ByteWriter& w) { w.FixedString("abcdefgh", 6); }, 6, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> buffer(8, 0xEE);
        ByteWriter w(std::span<uint8_t>(buffer.data(), 6));
        c.write(w);
        EXPECT_EQ(w.Position(), c.written);
        EXPECT_EQ(w.Ok(), c.ok);
        EXPECT_EQ(buffer[6], 0xEE);
        EXPECT_EQ(buffer[7], 0xEE);
    }
}

TEST(ByteCursor, PositionedReadsStayInsideTheData)
{
    const std::vector<uint8_t> bytes = {1, 0, 2, 0, 0, 0};
    const ByteReader r(bytes);
    EXPECT_EQ(r.At(2).U32(), 2u);
    EXPECT_EQ(r.At(0).U16(), 1u);
    ByteReader past = r.At(4);
    EXPECT_EQ(past.U32(), 0u) << "two bytes left, not four";
    EXPECT_FALSE(past.Ok());
    EXPECT_FALSE(r.At(7).Ok()) << "beyond the end";
    EXPECT_TRUE(r.At(6).Ok()) << "at the end, nothing to read yet";
    EXPECT_FALSE(r.At(6).Has(1));
}
