// Saving: the compressed form, through a temporary file that replaces the old
// file only once complete.
#include "chunk_test_support.h"

#include "chunk/chunk_file.h"
#include "chunk/huffman_coder.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"

#include <gtest/gtest.h>

using namespace trevok;
using namespace chunktest;
namespace fs = std::filesystem;

TEST(Save, EmptyTreeSavesAsOneVersionChunk)
{
    auto dir = TempDir("empty");
    auto file = ChunkFile::CreateEmpty();
    ASSERT_TRUE(file->Save(dir / "empty.rif"));
    std::vector<uint8_t> expanded;
    ASSERT_TRUE(HuffmanCoder::Decompress(ReadBytes(dir / "empty.rif"), expanded));
    auto expected = PlainFile({MakeChunk("RIFVERIN", Bytes().I32(0).b)});
    EXPECT_EQ(expanded, expected);
    EXPECT_EQ(expected.size(), 28u);
    EXPECT_FALSE(fs::exists(dir / "~temp~empty.rif"));
    fs::remove_all(dir);
}

TEST(Save, FailuresLeaveTheNamedFileUntouched)
{
    auto dir = TempDir("fail");
    auto original = ReadBytes(FixturePath("lights.rif"));
    auto file = ChunkFile::FromFileImage(original);
    ASSERT_EQ(file->ErrorCode(), kChunkOk);

    // Read-only target.
    WriteBytes(dir / "ro.rif", original);
    fs::permissions(dir / "ro.rif", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_FALSE(file->Save(dir / "ro.rif"));
    EXPECT_EQ(ReadBytes(dir / "ro.rif"), original);

    // The temporary file cannot be created (a folder stands in its place).
    WriteBytes(dir / "busy.rif", original);
    fs::create_directory(dir / "~temp~busy.rif");
    EXPECT_FALSE(file->Save(dir / "busy.rif"));
    EXPECT_EQ(ReadBytes(dir / "busy.rif"), original);

    // No file part.
    EXPECT_FALSE(file->Save(dir / ""));
    EXPECT_FALSE(file->Save(""));

    // A full disk: the write fails, the old file stays, no temporary is left.
    if (fs::exists("/dev/full")) {
        fs::create_directory(dir / "full");
        WriteBytes(dir / "full" / "a.rif", original);
        fs::create_symlink("/dev/full", dir / "full" / "~temp~a.rif");
        EXPECT_FALSE(file->Save(dir / "full" / "a.rif"));
        EXPECT_EQ(ReadBytes(dir / "full" / "a.rif"), original);
    }
    fs::permissions(dir / "ro.rif", fs::perms::owner_write, fs::perm_options::add);
    fs::remove_all(dir);
}

TEST(Save, ReplacesTheOldFileAndNumbersNewShapesOnce)
{
    auto dir = TempDir("number");
    auto path = dir / "model.rif";
    WriteBytes(path, ReadBytes(FixturePath("lights.rif")));
    ResetShapeNumbersForTesting();
    RaiseHighestShapeNumber(40);
    auto file = ChunkFile::CreateEmpty();
    ShapeData d;
    d.points_ = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}};
    d.pointCount_ = 3;
    auto* shape = new ShapeChunk(file.get(), d);
    ASSERT_TRUE(file->Save(path));
    EXPECT_EQ(shape->GetHeader()->shapeId_, 41);
    EXPECT_EQ(shape->GetHeader()->version_, 1);
    ASSERT_TRUE(file->Save(path));
    EXPECT_EQ(shape->GetHeader()->shapeId_, 41);
    EXPECT_EQ(shape->GetHeader()->version_, 2);
    auto again = ChunkFile::Open(path);
    ASSERT_EQ(again->ErrorCode(), kChunkOk);
    std::vector<ShapeChunk*> shapes;
    again->GetShapes(shapes);
    ASSERT_EQ(shapes.size(), 1u);
    EXPECT_EQ(shapes[0]->GetHeader()->shapeId_, 41);
    EXPECT_EQ(shapes[0]->Data().points_, d.points_);
    EXPECT_EQ(file->FileName(), path.string());
    fs::remove_all(dir);
}

TEST(Save, InPlaceDropsDeletedObjectsAndTheirModuleLinks)
{
    auto dir = TempDir("inplace");
    auto path = dir / "objects.rif";
    WriteBytes(path, ReadBytes(FixturePath("objects.rif")));
    auto file = ChunkFile::Open(path);
    ASSERT_EQ(file->ErrorCode(), kChunkOk);
    std::vector<ObjectChunk*> objects;
    file->GetObjects(objects);
    ASSERT_EQ(objects.size(), 2u);
    // The crate's module array names object 1 (entry 0) and object 3 (entry 1).
    objects[1]->Delete(file.get());
    EXPECT_EQ(objects[1]->discardBeforeSave_, 1);
    auto* array = objects[0]->GetModuleArray();
    ASSERT_TRUE(array);
    ASSERT_EQ(array->entries_.size(), 1u);
    EXPECT_EQ(array->entries_[0].objectIndex_, 3);
    EXPECT_EQ(array->entries_[0].entryIndex_, 0); // lowered past the removed entry
    ASSERT_TRUE(file->SaveInPlace());
    auto again = ChunkFile::Open(path);
    ASSERT_EQ(again->ErrorCode(), kChunkOk);
    again->GetObjects(objects);
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0]->Name(), "crate");
    // The deleted object's table slot is free for the next one.
    ObjectHeader h;
    h.name_ = "newcomer";
    auto* added = new ObjectChunk(file.get(), h);
    EXPECT_EQ(added->Header().tableIndex_, 1);
    EXPECT_EQ(file->GetObjectByIndex(1), added);
    fs::remove_all(dir);
}
