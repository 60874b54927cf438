// What SoundSystem::Play answers and does, against a recording fake device.
#include <gtest/gtest.h>

#include <functional>

#include "media/sound_system.h"
#include "recording_sound_system.h"

namespace {

constexpr int32_t kClick = 5;   // a loaded sound at volume 100
constexpr int32_t kQuiet = 6;   // a loaded sound at volume 40
constexpr int32_t kMissing = 7; // never loaded

class Beacon final : public SoundEmitter {
public:
    explicit Beacon(Vec3 p) : at(p) {}
    Vec3 SoundPosition() const override { return at; }
    Vec3 at;
};

struct Scene {
    RecordingSoundSystem sound;
    int32_t handle = -99;
    int32_t sequenceHandle = -99;
    int32_t meta = 0; // minus index of a random meta-sound over kClick
    Vec3 point{3, 0, 4};
    Beacon* beacon = new Beacon({0, 0, 20});
    Scene()
    {
        sound.AddSound(kClick, "click");
        sound.AddSound(kQuiet, "quiet", 40);
        meta = -sound.AddMeta("pick", true, {{kClick, 1}});
    }
    ~Scene() { beacon->Release(); }
    const Voice* Played(int32_t index) { return sound.VoiceAt(index); }
};

struct PlayCase {
    const char* what;
    std::function<int32_t(Scene&)> play;
    int32_t result; // > 0 means "a voice index"
    std::function<void(Scene&, int32_t)> check;
};

void NoVoiceTaken(Scene& s, int32_t)
{
    EXPECT_TRUE(s.sound.starts.empty());
    for (int32_t i = 1; i < s.sound.VoiceCount(); ++i)
        EXPECT_FALSE(s.sound.VoiceAt(i)->Active()) << "voice " << i;
}

const PlayCase kCases[] = {
    {"plain id", [](Scene& s) { return s.sound.Play(kClick, nullptr); }, 1,
     [](Scene& s, int32_t v) {
         EXPECT_EQ(s.Played(v)->level, 79); // 80 % of 100, truncated
         EXPECT_TRUE(s.Played(v)->flags & Voice::kNoPosition);
     }},
    {"id 1024", [](Scene& s) { return s.sound.Play(1024, ""); }, 0, NoVoiceTaken},
    {"id -1", [](Scene& s) { return s.sound.Play(-1, ""); }, 0, NoVoiceTaken},
    {"sound not loaded", [](Scene& s) { return s.sound.Play(kMissing, ""); }, 0, NoVoiceTaken},
    {"looping sound not loaded", [](Scene& s) { return s.sound.Play(kMissing, "le", {&s.handle}); }, 0, NoVoiceTaken},
    {"l without e", [](Scene& s) { return s.sound.Play(kClick, "l"); }, 0, NoVoiceTaken},
    {"l with a null handle", [](Scene& s) { return s.sound.Play(kClick, "le", {static_cast<int32_t*>(nullptr)}); }, 0,
     NoVoiceTaken},
    {"t and d together", [](Scene& s) { return s.sound.Play(kClick, "td", {s.beacon, &s.point}); }, 0, NoVoiceTaken},
    {"l with t", [](Scene& s) { return s.sound.Play(kClick, "let", {&s.handle, s.beacon}); }, 0, NoVoiceTaken},
    {"m without e", [](Scene& s) { return s.sound.Play(s.meta, "m"); }, 0, NoVoiceTaken},
    {"l and m without x", [](Scene& s) { return s.sound.Play(s.meta, "lme", {&s.handle}); }, 0, NoVoiceTaken},
    {"a value of the wrong kind", [](Scene& s) { return s.sound.Play(kClick, "v", {1.5f}); }, 0, NoVoiceTaken},
    {"a null point", [](Scene& s) { return s.sound.Play(kClick, "d", {static_cast<const Vec3*>(nullptr)}); }, 0,
     NoVoiceTaken},
    {"a null emitter", [](Scene& s) { return s.sound.Play(kClick, "t", {static_cast<SoundEmitter*>(nullptr)}); }, 0,
     NoVoiceTaken},
    {"a value missing", [](Scene& s) { return s.sound.Play(kClick, "I"); }, 0, NoVoiceTaken},
    {"ler writes the handle", [](Scene& s) { return s.sound.Play(kClick, "ler", {&s.handle}); }, 1,
     [](Scene& s, int32_t v) {
         EXPECT_EQ(s.handle, v);
         EXPECT_TRUE(s.Played(v)->flags & Voice::kLoop);
         EXPECT_TRUE(s.Played(v)->flags & Voice::kResumable);
         s.sound.FreeVoiceByIndex(v);
         EXPECT_EQ(s.handle, 0);
     }},
    {"v above 100", [](Scene& s) { return s.sound.Play(kClick, "v", {150}); }, 1,
     [](Scene& s, int32_t v) { EXPECT_EQ(s.Played(v)->volume, 100); }},
    {"v below 0", [](Scene& s) { return s.sound.Play(kClick, "v", {-5}); }, 1,
     [](Scene& s, int32_t v) { EXPECT_EQ(s.Played(v)->volume, 0); }},
    {"default volume is the sound's", [](Scene& s) { return s.sound.Play(kQuiet, ""); }, 1,
     [](Scene& s, int32_t v) { EXPECT_EQ(s.Played(v)->volume, 40); }},
    {"unknown letters take no value", [](Scene& s) { return s.sound.Play(kClick, "zqv", {30}); }, 1,
     [](Scene& s, int32_t v) { EXPECT_EQ(s.Played(v)->volume, 30); }},
    {"n only sets its flag", [](Scene& s) { return s.sound.Play(kClick, "n"); }, 1,
     [](Scene& s, int32_t v) { EXPECT_TRUE(s.Played(v)->flags & Voice::kLetterN); }},
    {"d at a point", [](Scene& s) { return s.sound.Play(kClick, "dIR", {&s.point, 1.0f, 10.0f}); }, 1,
     [](Scene& s, int32_t v) {
         EXPECT_EQ(s.Played(v)->position, s.point);
         EXPECT_EQ(s.Played(v)->level, 50); // 100 x (1 - 5 / 10)
         EXPECT_FALSE(s.Played(v)->flags & Voice::kNoPosition);
     }},
    {"t follows an emitter", [](Scene& s) { return s.sound.Play(kClick, "t", {s.beacon}); }, 1,
     [](Scene& s, int32_t v) {
         EXPECT_EQ(s.beacon->RefCount(), 2);
         EXPECT_EQ(s.Played(v)->level, 60); // 100 x (1 - 20 / 50)
         s.sound.FreeVoiceByIndex(v);
         EXPECT_EQ(s.beacon->RefCount(), 1);
     }},
    {"f shifts by octaves once", [](Scene& s) { return s.sound.Play(kClick, "f", {1.0f}); }, 1,
     [](Scene& s, int32_t v) { EXPECT_EQ(s.Played(v)->octaves, 1.0f); }},
    {"m with a name not found", [](Scene& s) { return s.sound.Play(0, "me", {"nothing", &s.handle}); }, -1,
     NoVoiceTaken},
    {"m with a name", [](Scene& s) { return s.sound.Play(0, "me", {"pick", &s.handle}); }, 1,
     [](Scene& s, int32_t) { EXPECT_EQ(s.sound.starts.at(0).sound, kClick); }},
    {"m with an id takes no name", [](Scene& s) { return s.sound.Play(s.meta, "mev", {&s.handle, 30}); }, 1,
     [](Scene& s, int32_t v) { EXPECT_EQ(s.Played(v)->volume, 30); }},
    {"meta index beyond the table", [](Scene& s) { return s.sound.Play(500, "me", {&s.handle}); }, -1, NoVoiceTaken},
    {"meta index not built", [](Scene& s) { return s.sound.Play(60, "me", {&s.handle}); }, -1, NoVoiceTaken},
    {"device fails to start", [](Scene& s) {
         s.sound.failStarts = true;
         return s.sound.Play(kClick, "e", {&s.handle});
     },
     -2, [](Scene& s, int32_t) {
         EXPECT_EQ(s.sound.Sound(kClick)->playing, 0);
         EXPECT_EQ(s.handle, 0);
     }},
};

class PlayContract : public testing::TestWithParam<PlayCase> {};

TEST_P(PlayContract, AnswersAndSideEffects)
{
    const PlayCase& c = GetParam();
    Scene scene;
    const int32_t got = c.play(scene);
    if (c.result > 0)
        EXPECT_GT(got, 0) << c.what;
    else
        EXPECT_EQ(got, c.result) << c.what;
    c.check(scene, got);
}

INSTANTIATE_TEST_SUITE_P(Letters, PlayContract, testing::ValuesIn(kCases), [](const auto& param) {
    std::string name;
    for (const char* p = param.param.what; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
});

TEST(SilentSound, EveryPlayAnswersMinusOneAndChangesNothing)
{
    SilentSoundSystem silent;
    int32_t handle = 7;
    for (const char* options : {"", "ler", "me", "t"})
        EXPECT_EQ(silent.Play(1, options, {&handle}), -1);
    EXPECT_EQ(handle, 7);
    EXPECT_EQ(silent.LoadSoundBank("UI.dat"), 0);
    EXPECT_EQ(silent.FindSound("click"), 0);
    EXPECT_EQ(silent.MakeVariant(1, 50, 0, 5, 50), 0);
}

TEST(VoiceStealing, AtMostEightVoicesPlayOneSoundAndTheNinthReplacesTheQuietest)
{
    RecordingSoundSystem sound(32);
    sound.AddSound(kClick, "click");
    const Vec3 far{0, 0, 40}; // level 20 within the default 50
    for (int i = 0; i < 7; ++i)
        ASSERT_GT(sound.Play(kClick, "d", {&far}), 0);
    const Vec3 farther{0, 0, 45}; // level 10: the quietest
    const int32_t quietest = sound.Play(kClick, "d", {&farther});
    ASSERT_GT(quietest, 0);
    EXPECT_EQ(sound.Play(kClick, "d", {&farther}), 0) << "not louder than the quietest of eight";
    const int32_t loud = sound.Play(kClick, "");
    EXPECT_EQ(loud, quietest) << "the freed voice is reused";
    EXPECT_EQ(sound.Sound(kClick)->playing, 8);
}

TEST(VoiceStealing, BusyVoicesGoToLouderPlaysAndResumableOnesComeBack)
{
    RecordingSoundSystem sound(16); // voices 1..15
    sound.AddSound(kClick, "click");
    sound.AddSound(kQuiet, "quiet", 40);
    sound.AddSound(8, "other");
    for (int i = 0; i < 8; ++i)
        ASSERT_GT(sound.Play(8, ""), 0);
    for (int i = 0; i < 6; ++i)
        ASSERT_GT(sound.Play(kClick, ""), 0);
    int32_t ambient = 0;
    const int32_t ambientVoice = sound.Play(kQuiet, "ler", {&ambient});
    ASSERT_GT(ambientVoice, 0);
    ASSERT_EQ(sound.VoiceAt(ambientVoice)->level, 31); // the quietest of fifteen

    sound.stopPosition = 4410;
    EXPECT_EQ(sound.Play(kClick, "v", {30}), 0) << "level 23 is below every busy voice";
    const int32_t taken = sound.Play(kClick, "");
    EXPECT_EQ(taken, ambientVoice);
    EXPECT_EQ(sound.SuspendedCount(), 1u);
    EXPECT_EQ(ambient, 0) << "the owner's handle no longer names the stolen voice";
    EXPECT_EQ(sound.Sound(kQuiet)->playing, 1) << "the saved copy keeps its count";

    sound.finished.insert(3);
    sound.Update(ListenerPlacement{});
    EXPECT_EQ(sound.SuspendedCount(), 0u);
    EXPECT_EQ(ambient, 3);
    EXPECT_EQ(sound.starts.back(), (RecordingSoundSystem::Start{3, kQuiet, 4410, true}));
    EXPECT_EQ(sound.Sound(kQuiet)->playing, 1);
}

TEST(VoiceStealing, ASavedAmbientVoiceNeverWritesIntoAClearedRecord)
{
    RecordingSoundSystem sound(16);
    sound.AddSound(kQuiet, "quiet", 10);
    sound.AddSound(kClick, "click");
    sound.AddSound(8, "other");
    EnvironmentalSounds::Append(kQuiet).volume = 10;
    EnvironmentalSounds::Restart(sound);
    ASSERT_GT(EnvironmentalSounds::List().front().handle, 0);
    const Vec3 at{0, 0, 0};
    for (int i = 0; i < 7; ++i)
        sound.Play(kClick, "d", {&at});
    for (int i = 0; i < 8; ++i)
        sound.Play(8, "d", {&at});
    ASSERT_EQ(sound.SuspendedCount(), 1u);
    EnvironmentalSounds::Clear(&sound);
    EXPECT_EQ(sound.SuspendedCount(), 0u);
    EXPECT_EQ(sound.Sound(kQuiet)->playing, 0);
    sound.finished.insert(1);
    sound.Update(ListenerPlacement{});
    for (int32_t i = 1; i < sound.VoiceCount(); ++i) {
        const Voice* v = sound.VoiceAt(i);
        EXPECT_FALSE(v->Active() && v->sound == kQuiet) << "voice " << i;
    }
}

TEST(EnvironmentalSoundList, RestartingKeepsOneVoicePerRecordAndClearStopsIt)
{
    RecordingSoundSystem sound;
    sound.AddSound(kQuiet, "quiet");
    EnvironmentalSounds::Append(kQuiet).position = {1, 0, 1};
    EnvironmentalSounds::Restart(sound);
    EnvironmentalSounds::Restart(sound);
    EXPECT_EQ(sound.Sound(kQuiet)->playing, 1);
    const int32_t voice = EnvironmentalSounds::List().front().handle;
    ASSERT_GT(voice, 0);
    EXPECT_TRUE(sound.VoiceAt(voice)->flags & Voice::kLoop);
    EnvironmentalSounds::Clear(&sound);
    EXPECT_EQ(sound.Sound(kQuiet)->playing, 0);
    EXPECT_TRUE(EnvironmentalSounds::List().empty());
}

// Lets every playing voice finish and runs one update.
void FinishAll(RecordingSoundSystem& sound)
{
    for (int32_t i = 1; i < sound.VoiceCount(); ++i)
        if (sound.VoiceAt(i)->Active())
            sound.finished.insert(i);
    sound.Update(ListenerPlacement{});
}

TEST(Sequences, RepeatCountsThenALoopUntilFreed)
{
    RecordingSoundSystem sound;
    const int32_t a = sound.AddSound(10, "a"), b = sound.AddSound(11, "b");
    const int32_t meta = -sound.AddMeta("seq", false, {{a, 2}, {b, -1}});
    int32_t handle = 0, sequence = -1;
    ASSERT_GT(sound.Play(meta, "mex", {&handle, &sequence}), 0);
    EXPECT_GE(sequence, 0);
    for (int i = 0; i < 2; ++i)
        FinishAll(sound);
    std::vector<int32_t> played;
    for (const auto& s : sound.starts)
        played.push_back(s.sound);
    EXPECT_EQ(played, (std::vector<int32_t>{a, a, b}));
    EXPECT_TRUE(sound.starts.back().loop);
    // Freed by its owner: the sequence ends and its slot is free again.
    sound.FreeVoiceByIndex(handle);
    EXPECT_EQ(sequence, 0);
    for (int i = 0; i < SoundSystem::kSequenceCount + 1; ++i) {
        int32_t h = 0, x = 0;
        ASSERT_GT(sound.Play(meta, "mex", {&h, &x}), 0) << "sequence slots leak, play " << i;
        sound.FreeVoiceByIndex(h);
    }
}

TEST(Sequences, ALoopingSequenceStartsAgainAfterItsLastEntry)
{
    RecordingSoundSystem sound;
    const int32_t a = sound.AddSound(10, "a"), b = sound.AddSound(11, "b");
    const int32_t meta = -sound.AddMeta("seq", false, {{a, 1}, {b, 1}});
    int32_t handle = 0, sequence = 0;
    ASSERT_GT(sound.Play(meta, "lmex", {&handle, &sequence}), 0);
    for (int i = 0; i < 3; ++i)
        FinishAll(sound);
    std::vector<int32_t> played;
    for (const auto& s : sound.starts)
        played.push_back(s.sound);
    EXPECT_EQ(played, (std::vector<int32_t>{a, b, a, b}));
}

TEST(Sequences, AnEntryWhoseSoundIsNotLoadedEndsTheSequence)
{
    RecordingSoundSystem sound;
    const int32_t a = sound.AddSound(10, "a");
    const int32_t meta = -sound.AddMeta("seq", false, {{a, 1}, {kMissing, 1}});
    int32_t handle = 0, sequence = 0;
    ASSERT_GT(sound.Play(meta, "mex", {&handle, &sequence}), 0);
    FinishAll(sound);
    EXPECT_EQ(sound.starts.size(), 1u);
    EXPECT_EQ(sequence, 0);
}

TEST(RandomChoice, PicksFollowTheWeights)
{
    RecordingSoundSystem sound(64);
    const int32_t a = sound.AddSound(10, "a"), b = sound.AddSound(11, "b"), never = sound.AddSound(12, "never");
    const int32_t meta = -sound.AddMeta("pick", true, {{a, 3}, {never, 0}, {b, 1}});
    SoundSystem::ResetRandom();
    int counts[3] = {};
    for (int i = 0; i < 400; ++i) {
        int32_t handle = 0;
        const int32_t v = sound.Play(meta, "me", {&handle});
        ASSERT_GT(v, 0);
        const int32_t s = sound.VoiceAt(v)->sound;
        ++counts[s == a ? 0 : s == b ? 2 : 1];
        sound.FreeVoiceByIndex(v);
    }
    EXPECT_EQ(counts[1], 0);
    EXPECT_GT(counts[0], 250);
    EXPECT_LT(counts[0], 350);
    EXPECT_EQ(counts[0] + counts[2], 400);
}

TEST(DistanceLevel, FullInsideTheInnerDistanceNoneFromTheOuterAndLinearBetween)
{
    RecordingSoundSystem sound;
    struct Row {
        Vec3 at;
        int32_t level;
    } rows[] = {{{0, 0, 0}, 80}, {{0, 0, 5}, 80}, {{3, 0, 4}, 80}, {{0, 0, 25}, 40},
                {{0, 0, 49.9f}, 0}, {{0, 0, 50}, 0}, {{0, 60, 0}, 0}, {{0, 0, 10}, 64}};
    for (const auto& r : rows)
        EXPECT_EQ(sound.DistanceLevel(r.at, 80, 25.0f, 50.0f), r.level) << r.at.z;
}

TEST(EmitterVoices, LevelFollowsTheEmitterOnUpdate)
{
    RecordingSoundSystem sound;
    sound.AddSound(kClick, "click");
    auto* beacon = new Beacon({0, 0, 10});
    const int32_t v = sound.Play(kClick, "t", {static_cast<SoundEmitter*>(beacon)});
    ASSERT_GT(v, 0);
    EXPECT_EQ(sound.VoiceAt(v)->level, 80);
    beacon->at = {0, 0, 25};
    sound.Update(ListenerPlacement{});
    EXPECT_EQ(sound.VoiceAt(v)->level, 50);
    ListenerPlacement moved;
    moved.position = {0, 0, 20};
    sound.Update(moved);
    EXPECT_EQ(sound.VoiceAt(v)->level, 100) << "within the inner distance of the moved listener";
    beacon->Release();
}

} // namespace
