// MD5 against the system's md5sum, and the 8-byte name digests.
#include "chunk_test_support.h"

#include "chunk/md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

using namespace trevok;
using namespace chunktest;

namespace {

std::string Hex(const Md5Value& d)
{
    std::string s;
    char b[3];
    for (auto v : d) {
        std::snprintf(b, sizeof b, "%02x", v);
        s += b;
    }
    return s;
}

std::string Md5sum(const std::filesystem::path& p)
{
    std::string cmd = "md5sum '" + p.string() + "'";
    std::FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe)
        return {};
    char out[64] = {};
    size_t n = std::fread(out, 1, 32, pipe);
    pclose(pipe);
    return std::string(out, n);
}

} // namespace

TEST(Md5, AgreesWithMd5sum)
{
    std::mt19937 rng(5);
    std::vector<uint8_t> random(100000);
    for (auto& b : random)
        b = static_cast<uint8_t>(rng());
    auto text = [](std::string_view s) { return std::vector<uint8_t>(s.begin(), s.end()); };
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
    } cases[] = {
        {"empty", {}},
        {"one byte", text("a")},
        {"abc", text("abc")},
        {"55 bytes (padding fits one block)", std::vector<uint8_t>(55, 'x')},
        {"56 bytes (padding needs a second block)", std::vector<uint8_t>(56, 'x')},
        {"64 bytes", std::vector<uint8_t>(64, 'y')},
        {"65 bytes", std::vector<uint8_t>(65, 'z')},
        {"zero bytes", std::vector<uint8_t>(1000, 0)},
        {"random", random},
        {"chunk file", ReadBytes(FixturePath("objects.rif"))},
    };
    auto dir = TempDir("md5");
    for (const auto& c : cases) {
        auto path = dir / "input.bin";
        WriteBytes(path, c.data);
        std::string expected = Md5sum(path);
        ASSERT_EQ(expected.size(), 32u) << "md5sum did not run";
        EXPECT_EQ(Hex(Md5::Digest(c.data)), expected) << c.name;
        std::FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_TRUE(f);
        auto streamed = Md5::DigestStream(f);
        std::fclose(f);
        ASSERT_TRUE(streamed) << c.name;
        EXPECT_EQ(Hex(*streamed), expected) << c.name;
        // Fed in uneven pieces, the digest is the same.
        Md5 md5;
        for (size_t at = 0; at < c.data.size();) {
            size_t n = std::min<size_t>(c.data.size() - at, 1 + at % 97);
            md5.Update({c.data.data() + at, n});
            at += n;
        }
        EXPECT_EQ(Hex(md5.Finish()), expected) << c.name;
    }
    std::filesystem::remove_all(dir);
}

TEST(Md5, NameDigestKeepsSevenBytesAndAZero)
{
    // RFC 1321: MD5("") = d41d8cd98f00b204e9800998ecf8427e
    NameDigest d = NameDigest::Of("");
    EXPECT_EQ(d.words_[0], 0xd98c1dd4u);
    EXPECT_EQ(d.words_[1], 0x00b2008fu);
    EXPECT_NE(NameDigest::Of("level01.rifcrate"), NameDigest::Of("level01.rifCrate"));
}
