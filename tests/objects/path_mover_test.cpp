#include "objects/path_mover.h"
#include "platform/byte_cursor.h"

#include "server_fixture.h"
#include "world/level.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>

namespace {

constexpr uint64_t kTicks = 1000000; // the fixture's clock rate
constexpr int32_t kLiftClass = 0x2000;

Vec3 Lerp(const Vec3& a, const Vec3& b, float t) { return a + (b - a) * t; }

// The reference evaluation: repeated linear interpolation of the points.
Vec3 DeCasteljau(const Vec3 (&p)[4], float t)
{
    const Vec3 a = Lerp(p[0], p[1], t), b = Lerp(p[1], p[2], t), c = Lerp(p[2], p[3], t);
    const Vec3 d = Lerp(a, b, t), e = Lerp(b, c, t);
    return Lerp(d, e, t);
}

void ExpectNear(const Vec3& a, const Vec3& b, float tolerance = 1e-3f)
{
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

class PathMoverTest : public ServerWorld {
protected:
    void TearDown() override
    {
        ServerWorld::TearDown();
        Level::Current() = nullptr;
    }

    Kind8Object* MakeMover(const Vec3 (&points)[4], bool riders = false)
    {
        script::Role& role = NewRole();
        role.aiType = Kind8Object::kAiType;
        auto* mover = new Kind8Object(0, &role, points[0], Quaternion::Identity(),
                                      ObjectRegistry::Global().TakeNextId());
        mover->Activate(now, 0);
        mover->SetTrack(points, Quaternion::Identity(), riders);
        return mover;
    }

    // Advances the clock and the mover to `seconds`.
    void RunTo(Kind8Object& mover, double seconds)
    {
        now = static_cast<uint64_t>(std::llround(seconds * kTicks));
        mover.Update(now, static_cast<float>(seconds));
    }

    // A 4 x 4 m platform of class polygons, as its own level.
    void MakePlatformLevel()
    {
        platform_.points = {{0, 0, 0}, {4, 0, 0}, {4, 0, 4}, {0, 0, 4}};
        platform_.quads.push_back({{0, 1, 2, 3}, Vec3(0, -1, 0), kLiftClass});
        level_ = std::make_unique<Level>(nullptr, Vec3(0, 0, 0), &platform_);
        level_->BuildCellGrid(4, 1, 4);
        level_->LinkPolygons();
        Level::Current() = level_.get();
    }

    CollisionMesh* PlatformMesh() const
    {
        for (CollisionMesh* mesh : level_->Meshes())
            return mesh;
        return nullptr;
    }

    const Vec3 line_[4] = {{0, 0, 0}, {10, 0, 0}, {20, 0, 0}, {30, 0, 0}};
    CollisionSource platform_;
    std::unique_ptr<Level> level_;
};

TEST_F(PathMoverTest, CurveMatchesDeCasteljau)
{
    const Vec3 shapes[][4] = {
        {{0, 0, 0}, {1, 5, 0}, {4, -3, 2}, {6, 0, 8}},
        {{-3, 2, 1}, {-3, 2, 1}, {7, 7, 7}, {7, 7, 7}},
        {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}},
    };
    for (const auto& points : shapes) {
        Kind8Object* mover = MakeMover(points);
        for (int step = 0; step <= 16; ++step) {
            const float u = static_cast<float>(step) / 16.0f;
            ExpectNear(mover->CurvePoint(u), DeCasteljau(points, u));
        }
    }
}

TEST_F(PathMoverTest, TakesTenSecondsAtSpeedOneTenthAndTellsTheClients)
{
    Kind8Object* mover = MakeMover(line_);
    mover->Start();
    ASSERT_EQ(Sent(PathMoverMessage::kStartForward).size(), 1u);
    EXPECT_EQ(Sent(PathMoverMessage::kStartForward)[0].bytes.size(), 12u);
    RunTo(*mover, 5.0);
    ExpectNear(mover->Position(), DeCasteljau(line_, 0.5f));
    RunTo(*mover, 9.99);
    EXPECT_TRUE(mover->IsMoving());
    RunTo(*mover, 10.01);
    EXPECT_FALSE(mover->IsMoving());
    ExpectNear(mover->Position(), line_[3]);
    EXPECT_TRUE(mover->Direction());
    // The next move runs backwards: message 107.
    mover->StartTrack();
    EXPECT_EQ(Sent(PathMoverMessage::kStartBackward).size(), 1u);
    RunTo(*mover, 20.02);
    ExpectNear(mover->Position(), line_[0]);
}

TEST_F(PathMoverTest, ReversalHalfWayReturnsInTheSameTimeWithoutAJump)
{
    Kind8Object* mover = MakeMover(line_);
    mover->SetState(true); // towards the end: starts
    RunTo(*mover, 5.0);
    const Vec3 halfWay = mover->Position();
    mover->SetState(true); // a door already heading there: nothing
    EXPECT_TRUE(Sent(PathMoverMessage::kReversed).empty());
    mover->SetState(mover->Direction()); // the current direction: reverses
    EXPECT_EQ(Sent(PathMoverMessage::kReversed).size(), 1u);
    RunTo(*mover, 5.001);
    EXPECT_LT((mover->Position() - halfWay).Length(), 0.01f);
    RunTo(*mover, 9.99);
    EXPECT_TRUE(mover->IsMoving());
    RunTo(*mover, 10.01);
    EXPECT_FALSE(mover->IsMoving());
    ExpectNear(mover->Position(), line_[0]);
}

TEST_F(PathMoverTest, ReversalEarlyInTheGameKeepsItsPlace)
{
    // The start time of the reversed move lies before tick 0.
    Kind8Object* mover = MakeMover(line_);
    mover->Start();
    RunTo(*mover, 1.0);
    mover->SetState(false);
    RunTo(*mover, 1.5);
    ExpectNear(mover->Position(), DeCasteljau(line_, 0.05f));
}

TEST_F(PathMoverTest, PauseDelaysArrivalByThePausedSpan)
{
    Kind8Object* mover = MakeMover(line_);
    mover->Start();
    RunTo(*mover, 4.0);
    mover->Pause();
    const Vec3 held = mover->Position();
    RunTo(*mover, 7.0);
    ExpectNear(mover->Position(), held);
    mover->Resume();
    EXPECT_EQ(Sent(PathMoverMessage::kPaused).size(), 1u);
    EXPECT_EQ(Sent(PathMoverMessage::kResumed).size(), 1u);
    RunTo(*mover, 7.001);
    ExpectNear(mover->Position(), held, 0.01f);
    RunTo(*mover, 12.99);
    EXPECT_TRUE(mover->IsMoving());
    RunTo(*mover, 13.01);
    EXPECT_FALSE(mover->IsMoving());
}

TEST_F(PathMoverTest, ResumeWithoutPauseDoesNothing)
{
    Kind8Object* mover = MakeMover(line_);
    mover->Resume();
    EXPECT_FALSE(mover->IsMoving());
    mover->Start();
    RunTo(*mover, 2.0);
    mover->Resume();
    EXPECT_TRUE(Sent(PathMoverMessage::kResumed).empty());
    RunTo(*mover, 5.0);
    ExpectNear(mover->Position(), DeCasteljau(line_, 0.5f));
}

TEST_F(PathMoverTest, LoopTimeRestartsItAndAPausedLoopStaysPaused)
{
    Kind8Object* mover = MakeMover(line_);
    mover->SetLoopTime(static_cast<int64_t>(12 * kTicks));
    mover->Start();
    RunTo(*mover, 10.5);
    EXPECT_FALSE(mover->IsMoving());
    RunTo(*mover, 11.9);
    EXPECT_FALSE(mover->IsMoving());
    RunTo(*mover, 12.1);
    EXPECT_TRUE(mover->IsMoving());
    EXPECT_EQ(Sent(PathMoverMessage::kStartBackward).size(), 1u);

    mover->Pause();
    RunTo(*mover, 40.0); // far past the loop time
    EXPECT_FALSE(mover->IsMoving());
    mover->StartTrack();
    EXPECT_EQ(Sent(PathMoverMessage::kStartForward).size() + Sent(PathMoverMessage::kStartBackward).size(), 2u);
}

TEST_F(PathMoverTest, SpeedStaysAboveZero)
{
    Kind8Object* mover = MakeMover(line_);
    for (float bad : {0.0f, -0.5f, std::nanf(""), INFINITY}) {
        EXPECT_FALSE(mover->SetSpeed(bad));
        EXPECT_FLOAT_EQ(mover->Speed(), Kind8Object::kDefaultSpeed);
    }
    EXPECT_TRUE(mover->SetSpeed(0.5f));
    mover->Start();
    RunTo(*mover, 2.01);
    EXPECT_FALSE(mover->IsMoving());

    // A saved game holds the speed at 0x10c of the image; one that is not
    // above 0 loads as the speed a new mover has, so a reversal still lands.
    std::vector<uint8_t> image(mover->SizeInBytes(), 0);
    mover->WriteImage(image);
    std::vector<uint8_t> state;
    trevok::ByteWriter out(state);
    ASSERT_TRUE(mover->SaveState(out));
    const struct {
        float saved, loaded;
    } rows[] = {{0.0f, Kind8Object::kDefaultSpeed}, {-0.5f, Kind8Object::kDefaultSpeed},
                {std::nanf(""), Kind8Object::kDefaultSpeed}, {INFINITY, Kind8Object::kDefaultSpeed},
                {0.25f, 0.25f}};
    for (const auto& row : rows) {
        std::memcpy(image.data() + 0x10c, &row.saved, 4);
        auto* copy = new Kind8Object(0, mover->GetRole(), line_[3], Quaternion::Identity(),
                                     ObjectRegistry::Global().TakeNextId());
        trevok::ByteReader in(state);
        ASSERT_TRUE(copy->LoadState(in, image)) << row.saved;
        EXPECT_FLOAT_EQ(copy->Speed(), row.loaded) << row.saved;
    }
}

// The saved image of a lift, laid out by hand: loop time (signed 32-bit
// ticks) at 0x108 and speed at 0x10c; a loop longer than 32 bits holds is
// saved as the longest that fits.
TEST_F(PathMoverTest, ImageHoldsLoopTimeAndSpeedAtTheirOffsets)
{
    Kind8Object* mover = MakeMover(line_);
    std::vector<uint8_t> state;
    trevok::ByteWriter out(state);
    ASSERT_TRUE(mover->SaveState(out));
    const struct {
        int64_t loopTime;
        int32_t stored;
    } rows[] = {{123456, 123456}, {-1, 0}, {int64_t{1} << 40, INT32_MAX}};
    for (const auto& row : rows) {
        mover->SetLoopTime(row.loopTime);
        ASSERT_TRUE(mover->SetSpeed(0.25f));
        std::vector<uint8_t> image(mover->SizeInBytes(), 0);
        mover->WriteImage(image);
        int32_t loop = 0;
        float speed = 0;
        std::memcpy(&loop, image.data() + 0x108, 4);
        std::memcpy(&speed, image.data() + 0x10c, 4);
        EXPECT_EQ(loop, row.stored) << row.loopTime;
        EXPECT_EQ(speed, 0.25f);
        EXPECT_EQ(image[0x104], row.loopTime >= 0 ? 1 : 0) << "loops";
    }
    std::vector<uint8_t> image(mover->SizeInBytes(), 0);
    mover->WriteImage(image);
    const int32_t loop = 7 * static_cast<int32_t>(kTicks);
    const float speed = 0.5f;
    std::memcpy(image.data() + 0x108, &loop, 4);
    std::memcpy(image.data() + 0x10c, &speed, 4);
    image[0x104] = 1;
    auto* copy = new Kind8Object(0, mover->GetRole(), line_[0], Quaternion::Identity(),
                                 ObjectRegistry::Global().TakeNextId());
    trevok::ByteReader in(state);
    ASSERT_TRUE(copy->LoadState(in, image));
    EXPECT_EQ(copy->LoopTime(), loop);
    EXPECT_TRUE(copy->Loops());
    EXPECT_EQ(copy->Speed(), speed);
}

// Times from a crafted file, or set by a script, near the 64-bit limits:
// the loop's sum, the reversal's doubled difference and the resume's shift
// stay sound, and the lift never leaves its curve.
TEST_F(PathMoverTest, CraftedTimesKeepTheLiftOnItsCurve)
{
    constexpr int64_t kMax = INT64_MAX, kMin = INT64_MIN;
    const double savedAt = 5.0;  // the lift's own time in the file, seconds
    const struct {
        const char* name;
        int64_t start, pause;
        bool moving, paused, direction, loops;
        int32_t loop;
        float speed;
        bool reverse;      // a door request reverses it after the load
        double arrivesBy;  // seconds after the load; 0: stays where it is
    } rows[] = {
        {"StartFarAheadMovingOut", kMax, 0, true, false, false, false, 0, 0.1f, false, 10.01},
        {"StartLongAgoMovingOut", kMin, 0, true, false, false, false, 0, 0.1f, false, 0.01},
        {"StartLongAgoMovingBack", kMin, 0, true, false, true, false, 0, 0.1f, false, 0.01},
        {"PausedWithBothAtTheLimits", kMax, kMin, false, true, false, false, 0, 0.1f, false, 10.01},
        {"ReversedLongAfterItsStart", kMin + 1, 0, true, false, false, false, 0, 0.1f, true, 10.01},
        {"ReversedAtACrawl", 4 * static_cast<int64_t>(kTicks), 0, true, false, false, false, 0, 1e-30f, true, 0},
        {"LoopingFromFarAhead", kMax, 0, false, false, false, true, INT32_MAX, 0.1f, false, 0},
        {"LoopTimeBelowZero", 0, 0, false, false, false, true, -5, 0.1f, false, 0.01 + 10.0},
    };
    Kind8Object* mover = MakeMover(line_);
    std::vector<uint8_t> state;
    trevok::ByteWriter out(state);
    ASSERT_TRUE(mover->SaveState(out));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        now = static_cast<uint64_t>(savedAt * kTicks);
        mover->Update(now, static_cast<float>(savedAt));
        std::vector<uint8_t> image(mover->SizeInBytes(), 0);
        mover->WriteImage(image);
        image[0x102] = row.moving;
        image[0x103] = row.direction;
        image[0x104] = row.loops;
        image[0x105] = row.paused;
        std::memcpy(image.data() + 0x108, &row.loop, 4);
        std::memcpy(image.data() + 0x10c, &row.speed, 4);
        std::memcpy(image.data() + 0x178, &row.start, 8);
        std::memcpy(image.data() + 0x180, &row.pause, 8);
        auto* copy = new Kind8Object(0, mover->GetRole(), line_[0], Quaternion::Identity(),
                                     ObjectRegistry::Global().TakeNextId());
        trevok::ByteReader in(state);
        ASSERT_TRUE(copy->LoadState(in, image));
        ASSERT_TRUE(copy->AfterLoad());
        if (row.paused)
            copy->Resume();
        if (row.reverse)
            copy->SetState(row.direction);
        const auto onCurve = [&](double seconds) {
            RunTo(*copy, savedAt + seconds);
            const Vec3 at = copy->Position();
            EXPECT_TRUE(std::isfinite(at.x) && at.x >= -1e-3f && at.x <= 30.001f) << seconds << " s: x " << at.x;
            EXPECT_FLOAT_EQ(at.y, 0.0f);
            EXPECT_FLOAT_EQ(at.z, 0.0f);
        };
        onCurve(0.001);
        const Vec3 first = copy->Position();
        if (row.arrivesBy > 0) {
            onCurve(row.arrivesBy);
            EXPECT_FALSE(copy->IsMoving()) << "arrived";
        } else {
            for (double seconds : {1.0, 100.0, 1000.0})
                onCurve(seconds);
            EXPECT_NEAR(copy->Position().x, first.x, 1e-3f) << "stays";
        }
        copy->Remove(false);
    }

    // A script's loop time beyond the limit is no loop that starts at once.
    mover->SetLoopTime(INT64_MAX);
    mover->Start();
    RunTo(*mover, savedAt + 10.01);
    ASSERT_FALSE(mover->IsMoving());
    RunTo(*mover, savedAt + 1000.0);
    EXPECT_FALSE(mover->IsMoving());
}

TEST_F(PathMoverTest, CarriesOnlyRidersThatMoveOnLifts)
{
    MakePlatformLevel();
    const Vec3 up[4] = {{2, 0, 2}, {2, -1, 2}, {2, -2, 2}, {2, -3, 2}};
    Kind8Object* lift = MakeMover(up, true);
    CollisionMesh* mesh = PlatformMesh();
    ASSERT_NE(mesh, nullptr);
    lift->SetGeometry(mesh);

    script::Role& walker = NewRole();
    walker.flags = script::kRoleMovesOnLifts;
    script::Role& stayer = NewRole();
    GameObject* rider = Make(&walker, 0, {1, 0, 1});
    GameObject* other = Make(&stayer, 0, {3, 0, 3});
    rider->Activate(now, 0);
    other->Activate(now, 0);
    ASSERT_NE(rider->GetPolygon(), nullptr);

    lift->Start();
    ASSERT_EQ(lift->Riders().size(), 1u);
    const std::vector<SentMessage> starts = Sent(PathMoverMessage::kStartForward);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].Word(2), 1u);
    EXPECT_EQ(starts[0].Word(3), rider->GetId());

    RunTo(*lift, 10.01);
    ExpectNear(rider->Position(), {1, -3, 1});
    ExpectNear(other->Position(), {3, 0, 3});
    EXPECT_TRUE(lift->Riders().empty());
    // The platform's polygon went with it and is found at its new height.
    for (const Vec3& v : mesh->vertices_)
        EXPECT_NEAR(v.y, -3.0f, 1e-4f);
    LockGuard guard(level_->lock_, false);
    CollisionPolygon* found = level_->FindPolygonAt({2, -3.5f, 2});
    ASSERT_NE(found, nullptr);
    EXPECT_NEAR(found->Centre()->y, -3.0f, 1e-4f);
}

// Run under the thread sanitizer: the level's readers and the lift's
// writes meet only under the level lock.
TEST_F(PathMoverTest, GameThreadQueriesWhileTheLiftMoves)
{
    MakePlatformLevel();
    const Vec3 up[4] = {{2, 0, 2}, {2, -1, 2}, {2, -2, 2}, {2, -3, 2}};
    Kind8Object* lift = MakeMover(up, true);
    lift->SetGeometry(PlatformMesh());
    lift->SetSpeed(1.0f);
    lift->Start();
    std::atomic<bool> done{false};
    std::atomic<int> found{0};
    std::thread reader([&] {
        while (!done.load()) {
            LockGuard guard(level_->lock_, false);
            if (CollisionPolygon* p = level_->FindPolygonAt({2, -4.0f, 2}))
                found += p->Centre()->y <= 0.0f ? 1 : 0;
        }
    });
    for (int step = 1; step <= 200; ++step)
        RunTo(*lift, step * 0.0055);
    done = true;
    reader.join();
    EXPECT_FALSE(lift->IsMoving());
}

} // namespace
