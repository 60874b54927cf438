// Cut-scenes: the subtitle file, track curves, event timing and the registry.
#include <gtest/gtest.h>

#include "chunk/cutscene_chunks.h"
#include "chunk/loaders/environment_loader.h"
#include "media/cutscene.h"

#include <bit>
#include <cmath>
#include <filesystem>
#include <sstream>

using namespace trevok;

namespace {

TEST(CutsceneSubtitles, SectionRowsByNameInAnyCase)
{
    const std::string file = "Heading\tignored\n"
                             "\tx\tbefore any section\n"
                             "Intro\t\t\r\n"
                             "\tA\tThe robot\x92s arm\tnote\r\n"
                             "\tB\tWait\x85 now\n"
                             "\tC\n"
                             "\tD\tlast\n"
                             "Outro\n"
                             "\tE\tGoodbye\n";
    const struct {
        const char* name;
        std::vector<std::string> rows;
    } cases[] = {
        {"INTRO", {"The robot's arm", "Wait... now", "", "last"}},
        {"outro", {"Goodbye"}},
        {"Heading\tignored", {}}, // the first line is never a section
        {"missing", {}},
    };
    for (const auto& c : cases) {
        std::istringstream in(file);
        EXPECT_EQ(ReadSubtitles(in, c.name), c.rows) << c.name;
    }
}

TEST(CutsceneTracks, EndPointsCopiedOrExtrapolated)
{
    const struct {
        const char* what;
        std::vector<Vec3> points;
        Vec3 before, after;
    } cases[] = {
        {"one point", {{1, 2, 3}}, {1, 2, 3}, {1, 2, 3}},
        {"three points", {{0, 0, 0}, {1, 0, 0}, {3, 1, 0}}, {-1, 0, 0}, {5, 2, 0}},
    };
    for (const auto& c : cases) {
        const CutsceneTrack track = BuildCutsceneTrack(c.points, std::vector<float>(c.points.size(), 1.0f));
        ASSERT_EQ(track.points.size(), c.points.size() + 2) << c.what;
        EXPECT_EQ(track.points.front().position, c.before) << c.what;
        EXPECT_EQ(track.points.back().position, c.after) << c.what;
    }
}

// The same curve written as a cubic Hermite with tangents (next - previous) / 2.
Vec3 HermiteReference(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3, float t)
{
    const Vec3 m1 = (p2 - p0) * 0.5f, m2 = (p3 - p1) * 0.5f;
    const float h00 = 2 * t * t * t - 3 * t * t + 1, h10 = t * t * t - 2 * t * t + t;
    const float h01 = -2 * t * t * t + 3 * t * t, h11 = t * t * t - t * t;
    return p1 * h00 + m1 * h10 + p2 * h01 + m2 * h11;
}

TEST(CutsceneTracks, PointsFollowTheReferenceSpline)
{
    const CutsceneTrack track = BuildCutsceneTrack({{0, 0, 0}, {10, 0, 5}, {20, 4, 5}, {25, 8, -3}}, {1, 1, 1, 0});
    for (size_t s = track.FirstSegment(); s <= track.LastSegment(); ++s)
        for (float t : {0.0f, 0.25f, 0.5f, 0.8f, 0.999f}) {
            const Vec3 want = HermiteReference(track.points[s - 1].position, track.points[s].position,
                                               track.points[s + 1].position, track.points[s + 2].position, t);
            const Vec3 got = track.PointAt(s, t);
            EXPECT_NEAR(got.x, want.x, 1e-4) << s << " " << t;
            EXPECT_NEAR(got.y, want.y, 1e-4) << s << " " << t;
            EXPECT_NEAR(got.z, want.z, 1e-4) << s << " " << t;
        }
    EXPECT_EQ(track.PointAt(2, 1.0f), (Vec3{20, 4, 5}));
}

// A stage that writes down what the scene asks of it, with the scene time.
class RecordingScene : public CutScene {
public:
    std::vector<std::string> log;
    double now = 0;

protected:
    int32_t FindActor(const CutsceneUser& user) override { return user.name == "robot" ? 7 : kActorNotFound; }
    void ShowText(const std::string& text) override { log.push_back(Stamp() + "text " + text); }
    void Request(int32_t value, float f) override
    {
        log.push_back(Stamp() + "request " + std::to_string(value) + " " + std::to_string(int(f)));
    }
    int32_t StartAnimation(int32_t actor, int32_t value, int32_t flags, float) override
    {
        log.push_back(Stamp() + "animate " + std::to_string(actor) + " " + std::to_string(value) + " " +
                      std::to_string(flags));
        return 1;
    }

private:
    std::string Stamp() const { return std::to_string(int(std::lround(now * 10))) + ": "; }
};

struct SceneChunks {
    explicit SceneChunks(const char* name = "Intro") : scene(new CutsceneChunk(&root, name, 0, 0, 0)) {}
    ParentChunk root{nullptr, "TESTROOT"};
    CutsceneChunk* scene;

    // A user on a straight track of points one second apart, flags in its fourth word.
    CutsceneTrackChunk* AddUser(const std::string& name, int32_t flags, int points)
    {
        auto* user = new CutsceneUserChunk(scene);
        user->GetData()->name_ = name;
        user->GetData()->words_[3] = flags;
        auto* track = new CutsceneTrackChunk(user, "t");
        auto* p = new CutscenePointsChunk(track);
        for (int i = 0; i < points; ++i)
            p->points_.push_back({i * 100, 0, 0, 1000});
        return track;
    }
    CutsceneEventChunk* AddEvents(CutsceneTrackChunk* track, float seconds)
    {
        auto* e = new CutsceneEventChunk(track, "");
        e->words_[0] = std::bit_cast<int32_t>(seconds);
        return e;
    }
};

template <class T>
T& AddEvent(CutsceneEventChunk* chunk, T* event, int32_t ms)
{
    event->time_ = ms;
    chunk->events_.emplace_back(event);
    return *event;
}

std::vector<std::string> PlayScene(RecordingScene& scene, double until, Vec3* camera = nullptr, bool* result = nullptr)
{
    Vec3 cam{-1, -1, -1}, target{-1, -1, -1};
    float fov = 0;
    bool ok = true;
    scene.Start(0, 0);
    for (int step = 1; ok && step <= int(until * 10 + 0.5); ++step) {
        scene.now = step / 10.0;
        ok = CutScene::AdvanceCurrent(scene.now, 0, cam, target, fov);
    }
    if (camera)
        *camera = cam;
    if (result)
        *result = ok;
    CutScene::StopCurrent();
    return scene.log;
}

TEST(CutsceneEvents, FireInOrderAfterTheirDelays)
{
    SceneChunks chunks;
    CutsceneEventChunk* events = chunks.AddEvents(chunks.AddUser("robot", 1, 3), 0.5f);
    AddEvent(events, new CutsceneWordsEvent(7), 1000);
    AddEvent(events, new CutsceneWordsEvent(7), 0);
    auto& request = AddEvent(events, new CutsceneRoundedEvent(), 500);
    request.rounded_ = 4;
    request.words_[0] = std::bit_cast<int32_t>(2.0f);
    auto& animate = AddEvent(events, new CutsceneWordsEvent(2), 200);
    animate.words_[1] = 11;
    animate.words_[3] = 3; // bit 0: without flag 16; bit 1: with flag 512

    RecordingScene scene;
    std::istringstream subtitles("head\nIntro\n\tl\tfirst\n\tl\tsecond\n\tl\tthird\n");
    scene.Load(*chunks.scene, 1.0f, Vec3{0, 0, 0}, &subtitles);
    // the first step is cut to 0.04 s, so scene time runs 0.06 s behind the clock
    const std::vector<std::string> want = {"6: text first", "8: animate 7 11 512", "11: request 4 2",
                                           "16: text second"};
    EXPECT_EQ(PlayScene(scene, 2.0), want);
}

TEST(CutsceneEvents, EndMarkStopsTheSceneAndAMissingCameraKeepsTheView)
{
    SceneChunks chunks;
    CutsceneEventChunk* events = chunks.AddEvents(chunks.AddUser("prop", 0, 2), 0.3f);
    auto& end = AddEvent(events, new CutsceneWordsEvent(3), 0);
    end.words_[1] = std::bit_cast<int32_t>(0.0f);

    RecordingScene scene;
    scene.Load(*chunks.scene, 1.0f, Vec3{0, 0, 0}, nullptr);
    Vec3 camera;
    bool ok = true;
    PlayScene(scene, 1.0, &camera, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(camera, (Vec3{-1, -1, -1}));
}

TEST(CutsceneEvents, CameraFollowsItsTrackToTheEnd)
{
    SceneChunks chunks;
    chunks.AddUser("eye", 1, 3);
    RecordingScene scene;
    scene.Load(*chunks.scene, 2.0f, Vec3{5, 0, 0}, nullptr);
    Vec3 camera;
    bool ok = false;
    PlayScene(scene, 3.0, &camera, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(camera, (Vec3{405, 0, 0})); // 200 scaled by 2, moved by the origin
}

TEST(CutsceneRegistry, PlaysByNameOnlyWhileNoneRuns)
{
    const std::filesystem::path path = std::filesystem::path(TREVOK_FIXTURES_DIR) / "chunk" / "cutscene.rif";
    std::string error;
    EnvironmentRecordPtr record = LoadEnvironmentFile(path, &error);
    ASSERT_TRUE(record) << error;
    CutsceneRegistryReceiver receiver("no such subtitle file.txt");
    ASSERT_TRUE(LoadEnvironmentSpecials(receiver, *record, "intro", Vec3{0, 0, 0}));
    SceneChunks chunks("Outro");
    auto other = std::make_unique<CutScene>();
    other->Load(*chunks.scene, 1.0f, Vec3{0, 0, 0}, nullptr);
    CutScene* second = other.get();
    CutScene::Register(std::move(other));

    CutScene::PlayByName("INTRO", 0, 0);
    ASSERT_NE(CutScene::Current(), nullptr);
    EXPECT_EQ(CutScene::Current()->Name(), "intro");
    CutScene::PlayByName("outro", 0, 0);
    EXPECT_NE(CutScene::Current(), second);
    CutScene::StopCurrent();
    CutScene::PlayByName("OUTRO", 0, 0);
    EXPECT_EQ(CutScene::Current(), second);
    CutScene::ClearAll();
    EXPECT_EQ(CutScene::Current(), nullptr);
}

// A scene freed while it plays (a level's own scenes go with the level) must
// not stay the current one: the next play by name would run a freed scene.
TEST(CutsceneRegistry, AScenePlayingWhenItGoesIsNoLongerCurrent)
{
    {
        CutScene scene;
        scene.Start(0, 0);
        ASSERT_EQ(CutScene::Current(), &scene);
    }
    EXPECT_EQ(CutScene::Current(), nullptr);
}

} // namespace
