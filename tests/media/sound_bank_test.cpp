// Sound bank files, wave and meta chunks, and the sound system's loaders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/directories.h"
#include "media/sound_bank.h"
#include "recording_sound_system.h"
#include "support/chunk_bytes.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Fixture(const std::string& name)
{
    return chunkbytes::ReadBytes(chunkbytes::FixturePath("media", name));
}

TEST(SoundBankFormat, HandBuiltFileReadsEveryField)
{
    const auto bytes = Fixture("hand_built_v2.dat");
    auto bank = ReadSoundBank(bytes);
    ASSERT_TRUE(bank);
    ASSERT_EQ(bank->entries.size(), 4u);
    EXPECT_EQ(bank->entries[0].name, "beep");
    EXPECT_EQ(bank->entries[1].name, "either");
    EXPECT_EQ(bank->entries[1].meta, 1u);
    EXPECT_EQ(bank->entries[3].name, "Loose");
    auto beep = ReadWaveChunk(bank->entries[0].data);
    ASSERT_TRUE(beep);
    EXPECT_EQ(beep->sound, 300);
    EXPECT_EQ(beep->volume, 80);
    EXPECT_EQ(beep->word, 7);
    EXPECT_EQ(beep->inner, 2.0f);
    EXPECT_EQ(beep->outer, 20.0f);
    EXPECT_EQ(beep->data, Fixture("tone_8bit.wav"));
    auto either = ReadMetaChunk(bank->entries[1].data);
    ASSERT_TRUE(either);
    EXPECT_EQ(either->flags, 1u);
    ASSERT_EQ(either->pairs.size(), 2u);
    EXPECT_EQ(either->pairs[1].sound, -2);
    EXPECT_FALSE(ReadWaveChunk(bank->entries[3].data));
}

TEST(SoundBankFormat, ChunksWriteBackToTheirHandBuiltBytes)
{
    const auto wave = Fixture("wave_v3.chunk");
    auto w = ReadWaveChunk(wave);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->pitch, 2.0f);
    EXPECT_EQ(WriteWaveChunk(*w), wave);
    const auto meta = Fixture("meta_sequence.chunk");
    auto m = ReadMetaChunk(meta);
    ASSERT_TRUE(m);
    EXPECT_EQ(WriteMetaChunk(*m), meta);
    // A bank written by the writer reads back to the same entries.
    const auto bankBytes = Fixture("hand_built_v2.dat");
    auto bank = ReadSoundBank(bankBytes);
    ASSERT_TRUE(bank);
    std::vector<SoundBankSource> sources;
    for (const auto& e : bank->entries) {
        auto chunk = ReadWaveChunk(e.data);
        sources.push_back({e.name, e.meta != 0, e.meta ? WriteMetaChunk(*ReadMetaChunk(e.data)) : chunk ? WriteWaveChunk(*chunk) : std::vector<uint8_t>{'x'}});
    }
    const auto again = WriteSoundBank(sources);
    auto reread = ReadSoundBank(again);
    ASSERT_TRUE(reread);
    ASSERT_EQ(reread->entries.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(reread->entries[i].name, bank->entries[i].name);
        EXPECT_EQ(reread->entries[i].meta, bank->entries[i].meta);
    }
}

TEST(SoundBankFormat, WaveChunkVersionsPlaceTheDataLength)
{
    struct Row {
        uint32_t version;
        bool read;
        int32_t word;
        float inner, outer;
    } rows[] = {{0, true, 0, 5, 50}, {1, true, 0, 5, 50}, {2, true, 9, 5, 50}, {3, true, 9, 1, 2}, {4, false, 0, 0, 0}};
    for (const auto& r : rows) {
        chunkbytes::Bytes b;
        b.Raw("WAVCHUNK").U32(60).U32(r.version).I32(3).I32(50).U32(0);
        if (r.version >= 2)
            b.I32(9);
        if (r.version >= 3)
            b.U32(0x3F800000).U32(0x40000000);
        b.U32(2).Raw("ab").Zeros(2);
        auto w = ReadWaveChunk(b.b);
        ASSERT_EQ(w.has_value(), r.read) << r.version;
        if (!w)
            continue;
        EXPECT_EQ(w->data, (std::vector<uint8_t>{'a', 'b'})) << r.version;
        EXPECT_EQ(w->word, r.word);
        EXPECT_EQ(w->inner, r.inner);
        EXPECT_EQ(w->outer, r.outer);
    }
}

TEST(SoundBankFormat, DamagedFilesAreRefusedWithTheFault)
{
    const auto good = Fixture("hand_built_v2.dat");
    auto patched = [&](size_t at, uint32_t v) {
        auto b = good;
        chunkbytes::Bytes word;
        word.U32(v);
        std::copy(word.b.begin(), word.b.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        return b;
    };
    struct Row {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* fragment;
    } rows[] = {
        {"another magic", {'F', 'I', 'L', 'E', 'C', 'H', 'N', 'X', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "FILECHNK"},
        {"shorter than stated", std::vector<uint8_t>(good.begin(), good.end() - 10), "shorter"},
        {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 12), "shorter"},
        {"count beyond the file", patched(16, 100000), "entry count"},
        {"name length not a multiple of 4", patched(20, 6), "name length"},
        {"name length past the end", patched(20, 0x7FFFFFF0), "name length"},
        {"data offset outside", patched(20 + 4 + 8 + 8, 0xFFFFFF00), "outside"},
    };
    for (const auto& r : rows) {
        std::string error;
        EXPECT_FALSE(ReadSoundBank(r.bytes, &error)) << r.what;
        EXPECT_NE(error.find(r.fragment), std::string::npos) << r.what << ": " << error;
    }
}

TEST(SoundBankFormat, TheBankDirectoryIsThePathWithoutItsExtension)
{
    const std::pair<const char*, const char*> rows[] = {
        {"UI.dat", "UI"},
        {"sub.dir\\robots.dat", "sub.dir\\robots"},
        {"a.b/c.d/environ.dat", "a.b/c.d/environ"},
        {"noext", "noext"},
        {"dir.x\\noext", "dir.x\\noext"},
    };
    for (const auto& [path, directory] : rows)
        EXPECT_EQ(BankDirectory(path), directory) << path;
}

// A sounds directory in a temporary data root.
class SoundLoading : public testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / ("trevok_sound_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(sounds());
        auto& dirs = app::DataDirectories::Global();
        dirs.Clear();
        dirs.SetStartDirectory(root_);
        dirs.SetPath(app::kSoundsDirectory, "Sounds");
        for (const char* name : {"hand_built_v2.dat", "hand_built_v1.dat"})
            chunkbytes::WriteBytes(sounds() / name, Fixture(name));
    }
    void TearDown() override
    {
        app::DataDirectories::Global().Clear();
        app::DataDirectories::Global().SetStartDirectory({});
        fs::remove_all(root_);
    }
    fs::path sounds() const { return root_ / "Sounds"; }
    void PutLoose(const fs::path& folder, const std::string& name)
    {
        fs::create_directories(sounds() / folder);
        chunkbytes::WriteBytes(sounds() / folder / name, Fixture("tone_8bit.wav"));
    }

    fs::path root_;
    RecordingSoundSystem sound_;
};

TEST_F(SoundLoading, TheSameBankInAnyLetterCaseIsLoadedOnce)
{
    EXPECT_EQ(sound_.LoadSoundBank("hand_built_v2.dat"), 0);
    EXPECT_EQ(sound_.LoadSoundBank("HAND_BUILT_V2.DAT"), 0);
    EXPECT_EQ(sound_.BankCount(), 1u);
    EXPECT_EQ(sound_.LoadSoundBank("missing.dat"), -1);
    EXPECT_EQ(sound_.BankCount(), 1u);
    sound_.UnloadSoundBank("Hand_Built_V2.dat");
    EXPECT_EQ(sound_.BankCount(), 0u);
}

TEST_F(SoundLoading, APermanentBankGivesFixedNextFreeAndLooseSounds)
{
    PutLoose("hand_built_v2", "loose");
    sound_.LoadSoundFile("hand_built_v2.dat");
    EXPECT_EQ(sound_.BankCount(), 0u) << "unloaded again";
    const SoundRecord* beep = sound_.Sound(300);
    ASSERT_TRUE(beep && beep->Loaded());
    EXPECT_EQ(beep->volume, 80);
    EXPECT_EQ(beep->outer, 20.0f);
    EXPECT_FALSE(beep->flags & SoundRecord::kLevel);
    EXPECT_EQ(sound_.FindSound("boop"), 256) << "id -2 takes the next free id";
    EXPECT_EQ(sound_.FindSound("Loose"), 257) << "an entry without data reads the bank's loose file";
    const int32_t either = sound_.FindSound("either");
    ASSERT_LT(either, 0);
    const MetaSound* meta = sound_.Meta(-either);
    ASSERT_TRUE(meta);
    EXPECT_EQ(meta->entries[0].sound, 300);
    EXPECT_EQ(meta->entries[1].sound, 256) << "pair -2 names the sound entry 2 became";
    EXPECT_EQ(sound_.FindSound("BEEP"), 0) << "names match in their own letter case";
}

TEST_F(SoundLoading, LooseFilesLieBesideTheBankCutAtItsExtension)
{
    fs::create_directories(sounds() / "sub.dir");
    chunkbytes::WriteBytes(sounds() / "sub.dir" / "hand_built_v2.dat", Fixture("hand_built_v2.dat"));
    PutLoose(fs::path("sub.dir") / "hand_built_v2", "extra.wav");
    ASSERT_EQ(sound_.LoadSoundBank("sub.dir\\hand_built_v2.dat"), 0);
    const int32_t id = sound_.FindSound("extra.wav");
    EXPECT_GT(id, 0);
    EXPECT_TRUE(sound_.Sound(id)->flags & SoundRecord::kLevel);
    EXPECT_EQ(sound_.FindSound("nowhere.wav"), 0);
}

TEST_F(SoundLoading, AVersionOneBankHoldsOnlyWaves)
{
    sound_.LoadSoundFile("hand_built_v1.dat");
    EXPECT_GT(sound_.FindSound("old"), 0);
    EXPECT_EQ(sound_.FindSound("notmeta"), 0);
}

TEST_F(SoundLoading, LevelEndFreesLevelSoundsMetaSoundsAndVariantsOnly)
{
    sound_.LoadSoundFile("hand_built_v1.dat");
    const int32_t permanent = sound_.FindSound("old");
    ASSERT_EQ(permanent, 256);
    ASSERT_EQ(sound_.LoadSoundBank("hand_built_v2.dat"), 0);
    const int32_t boop = sound_.FindSound("boop");
    EXPECT_EQ(boop, 257);
    const int32_t meta = sound_.FindSound("either");
    ASSERT_LT(meta, 0);
    const int32_t variant = sound_.GetSoundVariant(permanent, 50, 1.0f, 5.0f, 40.0f);
    EXPECT_GT(variant, boop);
    EXPECT_EQ(sound_.GetSoundVariant(permanent, 50, 1.0f, 5.0f, 40.0f), variant) << "found again, not copied";
    EXPECT_EQ(sound_.GetSoundVariant(permanent, 100, 0.0f, 5.0f, 50.0f), permanent);
    sound_.UnloadSoundBank("hand_built_v2.dat");

    sound_.FreeLevelSounds();
    EXPECT_FALSE(sound_.Sound(boop)->Loaded());
    EXPECT_FALSE(sound_.Sound(variant)->Loaded());
    EXPECT_EQ(sound_.Meta(-meta)->flags, 0u);
    EXPECT_EQ(sound_.NextSoundId(), 257);
    EXPECT_EQ(sound_.NextMetaId(), 1);
    EXPECT_EQ(sound_.FindSound("old"), permanent) << "the variant's removal kept the original's name";
    EXPECT_TRUE(sound_.Sound(permanent)->Loaded());
}

TEST_F(SoundLoading, FreeingALevelSoundStopsItsVoicesFirst)
{
    ASSERT_EQ(sound_.LoadSoundBank("hand_built_v2.dat"), 0);
    const int32_t boop = sound_.FindSound("boop");
    int32_t handle = 0;
    ASSERT_GT(sound_.Play(boop, "le", {&handle}), 0);
    sound_.FreeLevelSounds();
    EXPECT_EQ(handle, 0);
    EXPECT_EQ(sound_.Play(boop, ""), 0) << "no longer loaded";
}

TEST_F(SoundLoading, MetaPairsOutsideTheirBankGiveNoSound)
{
    WaveDescriptor wave;
    wave.sound = 0;
    wave.data = Fixture("tone_8bit.wav");
    const auto bytes = WriteSoundBank({{"w", false, WriteWaveChunk(wave)},
                                       {"bad", true, WriteMetaChunk({1, {{-50, 1}}})},
                                       {"broken", false, WriteWaveChunk({.sound = 400, .data = {'R', 'I', 'F', 'F'}})}});
    chunkbytes::WriteBytes(sounds() / "odd.dat", bytes);
    sound_.LoadSoundFile("odd.dat");
    const int32_t bad = sound_.FindSound("bad");
    ASSERT_LT(bad, 0);
    int32_t handle = 0;
    EXPECT_EQ(sound_.Play(-bad, "me", {&handle}), -1);
    EXPECT_FALSE(sound_.Sound(400)->Loaded()) << "a damaged WAV image is refused";
}

} // namespace
