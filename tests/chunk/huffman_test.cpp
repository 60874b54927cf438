// The compressed form: what the compressor makes expands to its input, the code
// fits 11 bits, and damaged images are refused.
#include "chunk_test_support.h"

#include "chunk/huffman_coder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

using namespace trevok;
using namespace chunktest;

namespace {

std::vector<uint8_t> Repeat(uint8_t b, size_t n) { return std::vector<uint8_t>(n, b); }

std::vector<uint8_t> AllValuesEvenly(size_t rounds)
{
    std::vector<uint8_t> v;
    for (size_t r = 0; r < rounds; ++r)
        for (int b = 0; b < 256; ++b)
            v.push_back(static_cast<uint8_t>(b));
    return v;
}

std::vector<uint8_t> Random(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

// Counts growing like Fibonacci numbers make a Huffman tree far deeper than 11.
std::vector<uint8_t> Skewed()
{
    std::vector<uint8_t> v;
    uint64_t a = 1, b = 1;
    for (int s = 0; s < 26; ++s) {
        for (uint64_t i = 0; i < a; ++i)
            v.push_back(static_cast<uint8_t>(s));
        uint64_t c = a + b;
        a = b;
        b = c;
    }
    return v;
}

int32_t CountAt(const std::vector<uint8_t>& image, int length)
{
    size_t at = 16 + 4 * static_cast<size_t>(length - 1);
    return static_cast<int32_t>(image[at] | image[at + 1] << 8 | image[at + 2] << 16 |
                                static_cast<uint32_t>(image[at + 3]) << 24);
}

} // namespace

TEST(Huffman, ExpandsWhatItCompressed)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
    } cases[] = {
        {"empty", {}},
        {"one byte", {0x5A}},
        {"stream ends on a word boundary", Repeat('a', 32)},
        {"one symbol repeated", Repeat(7, 100000)},
        {"all 256 byte values evenly", AllValuesEvenly(40)},
        {"random", Random(65536, 1)},
        {"skewed, deeper than 11 bits", Skewed()},
        {"real chunk data", ReadBytes(FixturePath("objects.rif"))},
        {"real chunk data, second file", ReadBytes(FixturePath("shape.rif"))},
    };
    for (const auto& c : cases) {
        auto image = HuffmanCoder::Compress(c.data);
        ASSERT_GE(image.size(), kCompressedHeaderSize) << c.name;
        // The code is complete: 257 codes whose Kraft sum fills the 11-bit table.
        int64_t total = 0, kraft = 0;
        for (int l = 1; l <= kMaxCodeLength; ++l) {
            total += CountAt(image, l);
            kraft += int64_t{CountAt(image, l)} << (kMaxCodeLength - l);
        }
        EXPECT_EQ(total, 257) << c.name;
        EXPECT_EQ(kraft, 2048) << c.name;
        EXPECT_EQ((image.size() - kCompressedHeaderSize) % 4, 0u) << c.name;
        std::vector<uint8_t> out;
        std::string why;
        ASSERT_TRUE(HuffmanCoder::Decompress(image, out, &why)) << c.name << ": " << why;
        EXPECT_EQ(out, c.data) << c.name;
    }
}

// Random data takes nearly 8 bits a byte and some bytes up to 11: the image can be
// larger than the input plus its header, and must be written whole.
TEST(Huffman, OutputMayExceedInputPlusHeader)
{
    auto data = Random(4096, 7);
    // A few very common bytes push the rest to long codes.
    for (size_t i = 0; i < data.size(); i += 2)
        data[i] = static_cast<uint8_t>(i % 3);
    auto image = HuffmanCoder::Compress(data);
    std::vector<uint8_t> out;
    ASSERT_TRUE(HuffmanCoder::Decompress(image, out));
    EXPECT_EQ(out, data);
    auto flat = HuffmanCoder::Compress(AllValuesEvenly(16));
    EXPECT_GT(flat.size(), 16u * 256 + kCompressedHeaderSize);
}

TEST(Huffman, CompressionIsDeterministic)
{
    auto data = Random(5000, 3);
    EXPECT_EQ(HuffmanCoder::Compress(data), HuffmanCoder::Compress(data));
}

TEST(Huffman, DamagedStreamsAreRefused)
{
    auto good = HuffmanCoder::Compress(Random(3000, 9));
    auto withWord = [&](size_t at, uint32_t v) {
        auto b = good;
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<uint8_t>(v >> (8 * i));
        return b;
    };
    // All 257 codes 11 bits long: the table is only partly filled, so most bit
    // patterns name no code.
    auto sparse = good;
    for (int l = 1; l <= 11; ++l)
        for (int i = 0; i < 4; ++i)
            sparse[16 + 4 * (l - 1) + i] = static_cast<uint8_t>(((l == 11) ? 257u : 0u) >> (8 * i));
    for (size_t i = kCompressedHeaderSize; i < sparse.size(); ++i)
        sparse[i] = 0xFF;
    sparse[12] = 10; // few enough symbols for 11-bit codes to fit the stream
    sparse[13] = sparse[14] = sparse[15] = 0;
    // 65535 symbols of 11 bits cannot fit the stream.
    std::vector<uint8_t> tooLong(sparse.begin(), sparse.end());
    tooLong.at(12) = 0xFF;
    tooLong.at(13) = 0xFF;
    struct Case {
        const char* name;
        std::vector<uint8_t> image;
        const char* message;
    } cases[] = {
        {"stream shorter than the expanded length needs", withWord(8, 4), "expanded length exceeds"},
        {"stream length beyond the file", withWord(8, 0x40000000), "exceeds the file"},
        {"not compressed", [&] { auto b = good; b[0] = 'X'; return b; }(), "not a compressed image"},
        {"undefined code", sparse, "does not define"},
        {"longer output than the shortest code allows", tooLong, "expanded length exceeds"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> out{1, 2, 3};
        std::string why;
        EXPECT_FALSE(HuffmanCoder::Decompress(c.image, out, &why)) << c.name;
        EXPECT_NE(why.find(c.message), std::string::npos) << c.name << ": " << why;
        EXPECT_TRUE(out.empty()) << c.name;
    }
}

TEST(Huffman, EndCodeBeforeTheExpandedLengthIsAnError)
{
    auto image = HuffmanCoder::Compress(std::vector<uint8_t>{1, 2, 3});
    // Claim more output than was coded (still within what the stream could hold).
    image[12] = 10;
    std::vector<uint8_t> out;
    std::string why;
    EXPECT_FALSE(HuffmanCoder::Decompress(image, out, &why));
    EXPECT_NE(why.find("ends before"), std::string::npos) << why;
}

// A file whose tail is compressed in place: the head stays byte for byte, the
// tail expands back, and a refused call leaves the file as it was.
TEST(Huffman, CompressFileTailInPlace)
{
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("trevok-tail-" + std::to_string(getpid()) + ".bin");
    std::vector<uint8_t> original(20, 0xAB);
    for (int i = 0; i < 500; ++i)
        original.push_back(static_cast<uint8_t>(i % 7));
    struct Case {
        const char* name;
        size_t offset;
        bool ok;
    };
    const Case cases[] = {
        {"tail after a 20-byte head", 20, true},
        {"whole file", 0, true},
        {"empty tail", 520, true},
        {"offset past the end", 521, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            std::ofstream out(file, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(original.data()), std::streamsize(original.size()));
        }
        ASSERT_EQ(CompressFileTail(file, c.offset), c.ok);
        std::ifstream in(file, std::ios::binary);
        const std::vector<uint8_t> now((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!c.ok) {
            EXPECT_EQ(now, original);
            continue;
        }
        ASSERT_GE(now.size(), c.offset + kCompressedHeaderSize);
        EXPECT_TRUE(std::equal(original.begin(), original.begin() + std::ptrdiff_t(c.offset), now.begin()));
        std::vector<uint8_t> tail;
        std::string why;
        ASSERT_TRUE(HuffmanCoder::Decompress(std::span(now).subspan(c.offset), tail, &why)) << why;
        EXPECT_TRUE(std::equal(tail.begin(), tail.end(), original.begin() + std::ptrdiff_t(c.offset),
                               original.end()));
        EXPECT_EQ(tail.size(), original.size() - c.offset);
    }
    std::filesystem::remove(file);
    EXPECT_FALSE(CompressFileTail(file, 0)) << "a missing file";
    EXPECT_FALSE(std::filesystem::exists(file));
}

namespace {

struct Expansion {
    bool ok = false;
    std::vector<uint8_t> out;
    std::string why;
};

// The stream decoded one bit at a time against the canonical codes the header
// describes; bits past the stream read as zero. The header must be sound.
Expansion ExpandBitByBit(const std::vector<uint8_t>& image)
{
    auto word = [&](size_t at) {
        return static_cast<uint32_t>(image[at] | image[at + 1] << 8 | image[at + 2] << 16 |
                                     static_cast<uint32_t>(image[at + 3]) << 24);
    };
    const uint64_t streamBits = uint64_t{word(8)} * 8;
    const uint32_t expanded = word(12);
    // [length][code read first bit first] -> symbol; 256 is the end code, -1 none.
    std::vector<std::array<int16_t, 1 << kMaxCodeLength>> codes(kMaxCodeLength + 1);
    for (auto& row : codes)
        row.fill(-1);
    uint32_t next = 0;
    int previous = 0, index = 0;
    for (int l = 1; l <= kMaxCodeLength; ++l)
        for (int32_t i = 0; i < CountAt(image, l); ++i, ++index) {
            next = index == 0 ? 0 : (next + 1) << (l - previous);
            previous = l;
            if (next < (1u << l))
                codes[l][next] = static_cast<int16_t>(index < 256 ? image[315 - static_cast<size_t>(index)] : 256);
        }
    Expansion e;
    uint64_t bit = 0;
    auto readBit = [&]() -> uint32_t {
        size_t at = kCompressedHeaderSize + static_cast<size_t>(bit / 8);
        uint32_t b = bit < streamBits && at < image.size() ? (image[at] >> (bit % 8)) & 1u : 0u;
        ++bit;
        return b;
    };
    while (e.out.size() < expanded) {
        uint32_t code = 0;
        int symbol = -1;
        for (int l = 1; l <= kMaxCodeLength && symbol < 0; ++l) {
            code = code << 1 | readBit();
            symbol = codes[l][code];
        }
        if (symbol < 0)
            return {false, {}, "bit stream holds a code the table does not define"};
        if (symbol == 256)
            return {false, {}, "bit stream ends before the expanded length"};
        if (bit > streamBits)
            return {false, {}, "bit stream runs past its stored length"};
        e.out.push_back(static_cast<uint8_t>(symbol));
    }
    e.ok = true;
    return e;
}

// Each image expands to the bytes, or fails with the message, that a
// code-by-code reading gives.
void ExpectBitByBitResults(const std::string& name,
                           const std::vector<std::pair<std::string, std::vector<uint8_t>>>& images)
{
    for (const auto& [kind, image] : images) {
        std::vector<uint8_t> out;
        std::string why;
        const bool ok = HuffmanCoder::Decompress(image, out, &why);
        const Expansion want = ExpandBitByBit(image);
        ASSERT_EQ(ok, want.ok) << name << ", " << kind << ": " << why;
        if (ok)
            EXPECT_TRUE(out == want.out) << name << ", " << kind;
        else
            EXPECT_EQ(why, want.why) << name << ", " << kind;
        // Into a buffer whose growth keeps what lay there: the same result.
        platform::UnfilledImage reused(2 * out.size() + 65536, 0xCD);
        reused.clear();
        std::string reusedWhy;
        EXPECT_EQ(HuffmanCoder::Decompress(image, reused, &reusedWhy), ok) << name << ", " << kind;
        EXPECT_TRUE(std::equal(reused.begin(), reused.end(), out.begin(), out.end())) << name << ", " << kind;
        EXPECT_EQ(reusedWhy, why) << name << ", " << kind;
    }
}

std::vector<uint8_t> LevelLike(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v;
    while (v.size() < n) {
        uint32_t r = rng();
        // Little-endian words of small coordinates: many zero and 0xFF bytes.
        for (int i = 0; i < 4; ++i)
            v.push_back(i == 0 ? static_cast<uint8_t>(r) : (r & 0x100) ? 0xFF : 0);
    }
    v.resize(n);
    return v;
}

} // namespace

// Whatever the decoder's lookup strategy, it must give the bytes and the first
// error a code-by-code reading gives, on sound and on damaged streams, right
// up to the last bytes of the output.
TEST(Huffman, ExpansionMatchesBitByBitDecoding)
{
    std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs = {
        {"level-like", LevelLike(20000, 4)}, {"random", Random(5000, 8)}, {"skewed", Skewed()},
        {"one value", Repeat(3, 3000)},     {"all values", AllValuesEvenly(3)},
    };
    // Short outputs, and outputs just past the size where runs are worth a table.
    for (size_t n : {1, 7, 31, 32, 33, 40, 64, 65, 4096, 4097, 4127, 4128, 4129})
        inputs.push_back({"level-like, " + std::to_string(n) + " bytes", LevelLike(n, static_cast<uint32_t>(n))});
    std::mt19937 rng(5);
    for (const auto& [name, data] : inputs) {
        const auto good = HuffmanCoder::Compress(data);
        std::vector<std::pair<std::string, std::vector<uint8_t>>> images = {{"intact", good}};
        const size_t stream = good.size() - kCompressedHeaderSize;
        for (int d = 0; d < 12 && stream > 0; ++d) {
            auto bad = good;
            bad[kCompressedHeaderSize + rng() % stream] ^= static_cast<uint8_t>(1u << (rng() % 8));
            images.push_back({"flipped bit " + std::to_string(d), bad});
        }
        auto shorter = good;
        if (good[12] > 0)
            --shorter[12]; // one byte less output than coded
        images.push_back({"expanded length one less", shorter});
        ExpectBitByBitResults(name, images);
    }
}

namespace {

std::vector<uint8_t> TextLike(size_t n, uint32_t seed)
{
    static const char* const words[] = {"shape ", "name ", "file ", "{ ", "} ", "speed ", "2.5 ", "\"rifs\\props.rif\" ",
                                        "character ", "\n", "aim ", "0.8 ", "strength ", "100 "};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n)
        s += words[rng() % std::size(words)];
    return std::vector<uint8_t>(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
}

} // namespace

// Long streams are expanded from several places at once and joined: the
// bytes and the first error must still be a code-by-code reading's, whether
// the stream is damaged near the places where it is cut, its parts expand at
// very different rates, or it holds codes past the expanded length.
TEST(Huffman, LongStreamsMatchBitByBitDecoding)
{
    auto mixed = TextLike(60000, 1);
    const auto noise = Random(50000, 2);
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    mixed.insert(mixed.end(), 120000, 'e');
    std::vector<uint8_t> runFirst(150000, 'e');
    const auto text = TextLike(120000, 5);
    runFirst.insert(runFirst.end(), text.begin(), text.end());
    const std::pair<const char*, std::vector<uint8_t>> inputs[] = {
        {"one value, then text", runFirst},
        {"text", TextLike(180000, 3)},
        {"level-like", LevelLike(300000, 4)},
        {"text, noise, then one value", mixed},
    };
    std::mt19937 rng(11);
    for (const auto& [name, data] : inputs) {
        const auto good = HuffmanCoder::Compress(data);
        const size_t stream = good.size() - kCompressedHeaderSize;
        ASSERT_GE(stream, size_t{64 * 1024}) << name << ": too short to be split";
        std::vector<std::pair<std::string, std::vector<uint8_t>>> images = {{"intact", good}};
        // Near each quarter and third of the stream (where later parts may start), near its end, and anywhere.
        std::vector<size_t> flips = {stream - 9, size_t{rng() % stream}, size_t{rng() % stream}};
        for (size_t part : {stream / 4, stream / 3, stream / 2, 2 * stream / 3, 3 * stream / 4})
            for (size_t at : {part - 3, part, part + 5})
                flips.push_back(at);
        for (size_t at : flips) {
            auto bad = good;
            bad[kCompressedHeaderSize + at] ^= static_cast<uint8_t>(1u << (rng() % 8));
            images.push_back({"flipped bit at byte " + std::to_string(at), bad});
        }
        auto fewer = good;
        fewer[13] = static_cast<uint8_t>(fewer[13] - 1); // 256 bytes less output than coded
        images.push_back({"codes past the expanded length", fewer});
        ExpectBitByBitResults(name, images);
        std::vector<uint8_t> out;
        ASSERT_TRUE(HuffmanCoder::Decompress(good, out));
        EXPECT_TRUE(out == data) << name;
    }
}
