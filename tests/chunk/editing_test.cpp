// Editing items of a stored file: locks, in-place writes, stored-copy matching,
// included files and the vertex key table of the shape builder.
#include "chunk_test_support.h"

#include "chunk/chunk_file.h"
#include "chunk/environment_chunks.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"
#include "chunk/vertex_key_table.h"

#include <gtest/gtest.h>

using namespace trevok;
using namespace chunktest;
namespace fs = std::filesystem;

TEST(Editing, BeginEditRefusesLockedBusyOrUnnamedFiles)
{
    auto named = ChunkFile::Open(FixturePath("objects.rif"));
    ASSERT_EQ(named->ErrorCode(), kChunkOk);
    auto unnamed = ChunkFile::FromFileImage(ReadBytes(FixturePath("objects.rif")));
    std::vector<ObjectChunk*> objects, unnamedObjects;
    named->GetObjects(objects);
    unnamed->GetObjects(unnamedObjects);
    ObjectChunk* locked = objects[0]; // flags bit 0
    ObjectChunk* free = objects[1];
    EXPECT_FALSE(locked->BeginEdit(named.get()));
    EXPECT_FALSE(unnamedObjects[1]->BeginEdit(unnamed.get()));
    ASSERT_TRUE(free->BeginEdit(named.get()));
    EXPECT_EQ(std::string(free->GetHeaderChunk()->editor_.data()), "Player");
    EXPECT_FALSE(free->BeginEdit(named.get())); // already being edited
    EXPECT_TRUE(free->EndEdit(named.get(), true));
    EXPECT_EQ(free->modified_, 1);
    EXPECT_EQ(free->beingEdited_, 0);
    EXPECT_TRUE(free->BeginEdit(named.get()));
}

TEST(Editing, WriteInPlaceReplacesTheStoredCopyAndKeepsTheRest)
{
    auto dir = TempDir("inplace_write");
    auto path = dir / "objects.rif";
    auto original = ReadBytes(FixturePath("objects.rif"));
    WriteBytes(path, original);
    auto file = ChunkFile::Open(path);
    std::vector<ObjectChunk*> objects;
    file->GetObjects(objects);
    ObjectChunk* barrel = objects[1];
    barrel->Header().name_ = "barrel"; // unchanged name: the stored copy matches by name
    barrel->Header().position_[1] = 77;
    new ObjectNotesChunk(barrel, "a longer object now");

    std::FILE* f = std::fopen(path.c_str(), "r+b");
    ASSERT_TRUE(f);
    ASSERT_TRUE(barrel->WriteInPlace(f));
    std::fclose(f);
    auto again = ChunkFile::Open(path);
    ASSERT_EQ(again->ErrorCode(), kChunkOk) << again->ErrorMessage();
    EXPECT_EQ(again->PlainImage(), file->PlainImage());
    std::vector<ObjectChunk*> stored;
    again->GetObjects(stored);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1]->Header().position_[1], 77);
    EXPECT_TRUE(again->FindChild("VQNSHAPE")); // the tail after the object was kept

    // A new object has no stored copy: it goes to the end of the file.
    ObjectHeader h;
    h.name_ = "added";
    auto* added = new ObjectChunk(file.get(), h);
    f = std::fopen(path.c_str(), "r+b");
    ASSERT_TRUE(added->WriteInPlace(f));
    std::fclose(f);
    again = ChunkFile::Open(path);
    ASSERT_EQ(again->ErrorCode(), kChunkOk) << again->ErrorMessage();
    again->GetObjects(stored);
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[2]->Name(), "added");

    // A compressed file is left alone: patching it would destroy it.
    ASSERT_TRUE(file->Save(dir / "packed.rif"));
    auto packed = ReadBytes(dir / "packed.rif");
    f = std::fopen((dir / "packed.rif").c_str(), "r+b");
    EXPECT_FALSE(added->WriteInPlace(f));
    std::fclose(f);
    EXPECT_EQ(ReadBytes(dir / "packed.rif"), packed);
    fs::remove_all(dir);
}

TEST(Editing, ShapeMatchesItsStoredCopyByIdAndLinksNamedObjects)
{
    auto dir = TempDir("sameshape");
    auto path = dir / "objects.rif";
    WriteBytes(path, ReadBytes(FixturePath("objects.rif")));
    auto file = ChunkFile::Open(path);
    std::vector<ShapeChunk*> shapes;
    file->GetShapes(shapes);
    ASSERT_EQ(shapes.size(), 1u);
    std::vector<long> offsets;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_TRUE(f);
    ScanFileForChunks(offsets, f, "VQNSHAPE");
    ASSERT_EQ(offsets.size(), 1u);
    std::fseek(f, offsets[0], SEEK_SET);
    EXPECT_TRUE(shapes[0]->IsSameShapeInFile(f));
    shapes[0]->GetHeader()->shapeId_ = 8;
    std::fseek(f, offsets[0], SEEK_SET);
    EXPECT_FALSE(shapes[0]->IsSameShapeInFile(f));
    std::fclose(f);

    // The header names "crate": linking finds it; a missing name fails.
    EXPECT_TRUE(shapes[0]->LinkObjects(file.get()));
    shapes[0]->GetHeader()->objectNames_.push_back("nobody");
    EXPECT_FALSE(shapes[0]->LinkObjects(file.get()));
    fs::remove_all(dir);
}

TEST(Editing, IncludedFileIsReadButNeverWritten)
{
    auto file = ChunkFile::CreateEmpty();
    auto before = file->PlainImage();
    auto* included = new IncludedFileChunk(file.get(), FixturePath("objects.rif"));
    EXPECT_EQ(included->ErrorCode(), kChunkOk) << included->ErrorMessage();
    std::vector<ObjectChunk*> objects;
    included->GetObjects(objects);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_TRUE(objects[0]->GetShape()); // linked by shape number inside the included file
    EXPECT_TRUE(included->GetEnvironmentData());
    EXPECT_EQ(file->PlainImage(), before);
    auto* missing = new IncludedFileChunk(file.get(), "/nonexistent/x.rif");
    EXPECT_EQ(missing->ErrorCode(), kChunkReadFailed);
}

TEST(Editing, SavingABareNameUsesTheCurrentFolder)
{
    auto dir = TempDir("bare");
    auto cwd = fs::current_path();
    fs::current_path(dir);
    auto file = ChunkFile::CreateEmpty();
    EXPECT_TRUE(file->Save("bare.rif"));
    EXPECT_TRUE(fs::exists(dir / "bare.rif"));
    EXPECT_FALSE(fs::exists(dir / "~temp~bare.rif"));
    fs::current_path(cwd);
    fs::remove_all(dir);
}

TEST(VertexKeyTable, SeventhValueIsIgnoredAndSignedZerosMatch)
{
    VertexKeyTable table(6);
    VertexKey a{{1, 2, 3, 0, 0, 1, 0.5f, 0.25f, 0.75f}};
    table.Insert(&a);
    struct Case {
        const char* name;
        VertexKey key;
        bool found;
    } cases[] = {
        {"same", a, true},
        {"seventh differs", {{1, 2, 3, 0, 0, 1, 99.0f, 0.25f, 0.75f}}, true},
        {"negative zero normal", {{1, 2, 3, -0.0f, -0.0f, 1, 0.5f, 0.25f, 0.75f}}, true},
        {"texture coordinate differs", {{1, 2, 3, 0, 0, 1, 0.5f, 0.25f, 0.5f}}, false},
        {"position differs", {{1, 2, 4, 0, 0, 1, 0.5f, 0.25f, 0.75f}}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(table.Find(c.key) == &a, c.found) << c.name;
    // A long chain in one bucket is freed without recursing.
    auto many = std::make_unique<VertexKeyTable>(0);
    std::vector<VertexKey> keys(200000);
    for (size_t i = 0; i < keys.size(); ++i) {
        keys[i].values_[0] = static_cast<float>(i);
        many->Insert(&keys[i]);
    }
    EXPECT_EQ(many->Count(), keys.size());
    many.reset();
}
