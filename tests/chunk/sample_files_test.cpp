// Every chunk file of the generated sample set reads and writes back unchanged.
#include "chunk_test_support.h"

#include "chunk/chunk_file.h"
#include "chunk/huffman_coder.h"
#include "chunk/light_chunks.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

using namespace trevok;
using namespace chunktest;
namespace fs = std::filesystem;

namespace {

const char* SampleRoot()
{
    const char* root = std::getenv("TREVOK_SAMPLE_DATA");
    return root ? root : TREVOK_BUILD_SAMPLE_DATA;
}

std::vector<fs::path> SampleChunkFiles()
{
    std::vector<fs::path> files;
    const char* root = SampleRoot();
    if (!root || !fs::exists(fs::path(root) / "rifs"))
        return files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        auto ext = e.path().extension().string();
        for (auto& ch : ext)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (e.is_regular_file() && ext == ".rif")
            files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

TEST(SampleFiles, ReadAndWriteBackByteIdentical)
{
    auto files = SampleChunkFiles();
    if (files.empty())
        GTEST_SKIP() << "no sample data (TREVOK_SAMPLE_DATA)";
    for (const auto& path : files) {
        auto bytes = ReadBytes(path);
        auto file = ChunkFile::Open(path);
        ASSERT_EQ(file->ErrorCode(), kChunkOk) << path << ": " << file->ErrorMessage();
        auto plain = file->PlainImage();
        if (file->WasCompressed())
            EXPECT_EQ(HuffmanCoder::Compress(plain), bytes) << path;
        else
            EXPECT_EQ(plain, bytes) << path;
    }
}

TEST(SampleFiles, ModelFileHoldsLinkedObjectsShapesLightsAndEnvironment)
{
    const char* root = SampleRoot();
    if (!fs::exists(fs::path(root) / "rifs" / "models.rif"))
        GTEST_SKIP() << "no sample data";
    auto compressed = ChunkFile::Open(fs::path(root) / "rifs" / "models.rif");
    auto plain = ChunkFile::Open(fs::path(root) / "rifs" / "models_plain.rif");
    ASSERT_EQ(compressed->ErrorCode(), kChunkOk);
    ASSERT_EQ(plain->ErrorCode(), kChunkOk);
    EXPECT_TRUE(compressed->WasCompressed());
    EXPECT_EQ(compressed->PlainImage(), plain->PlainImage());
    std::vector<ObjectChunk*> objects;
    compressed->GetObjects(objects);
    ASSERT_GE(objects.size(), 3u);
    for (auto* o : objects) {
        ASSERT_TRUE(o->GetShape()) << o->Name();
        EXPECT_TRUE(o->GetShape()->Data().IndicesValid()) << o->Name();
    }
    EXPECT_TRUE(compressed->GetEnvironmentData());
    EXPECT_TRUE(compressed->FindChild("LIGHTSET"));
    std::vector<DummyObjectChunk*> dummies;
    compressed->GetDummyObjects(dummies);
    EXPECT_FALSE(dummies.empty());
}
