#include "Veapi/object_preview.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Veapi/camera.h"
#include "Veapi/ve3d.h"
#include "model_support.h"

namespace {

// Stands in for a loaded model: the factory reads its bounds back.
struct Model {
    Vec3 minimum, maximum;
};
Hierarchy* AsHierarchy(Model& m) { return reinterpret_cast<Hierarchy*>(&m); }

// An object that records what the preview asks of it.
struct Recorder : PreviewObject {
    Vec3 lo, hi, position{0, 0, 0};
    Quaternion orientation{0, 0, 0, 1};
    std::vector<std::string>* log;
    uint8_t* finish = nullptr;  // the flag a finite play reports into
    int draws = 0;

    Recorder(const Model& h, std::vector<std::string>* l) : lo(h.minimum), hi(h.maximum), log(l) {}
    ~Recorder() override { log->push_back("released"); }
    void Bounds(Vec3& minimum, Vec3& maximum) const override
    {
        minimum = lo;
        maximum = hi;
    }
    void SetBounds(const Vec3& minimum, const Vec3& maximum) override
    {
        lo = minimum;
        hi = maximum;
    }
    void SetPosition(const Vec3& p) override { position = p; }
    void SetOrientation(const Quaternion& q) override { orientation = q; }
    bool SequenceIsStatic(int32_t index) const override { return index == 7; }
    void PlaySequence(int32_t index, int32_t speed, int32_t repeat, uint32_t mode, uint8_t* done) override
    {
        log->push_back("play " + std::to_string(index) + " x" + std::to_string(repeat) + " mode " +
                       std::to_string(mode) + (speed == 0x10000 ? "" : " odd speed"));
        finish = done;
    }
    void QueueDraw(uint64_t, Camera&, LightSet*, RenderMaterial*, int, uint32_t flags) override
    {
        EXPECT_EQ(flags, 0x4000003u);
        ++draws;
    }
};

class PreviewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ObjectPreview::SetObjectFactory([this](Hierarchy* h) {
            auto r = std::make_unique<Recorder>(*reinterpret_cast<Model*>(h), &log_);
            last_ = r.get();
            return r;
        });
        ObjectPreview::Startup();
    }
    void TearDown() override
    {
        ObjectPreview::Shutdown();
        ObjectPreview::SetObjectFactory({});
    }
    Recorder* Shown() { return static_cast<Recorder*>(ObjectPreview::Current()); }
    std::vector<std::string> log_;
    Recorder* last_ = nullptr;
    Model cursor_{{-0.5f, -2.0f, -0.25f}, {1.5f, 0.5f, 0.75f}};
};

TEST_F(PreviewTest, ObjectIsFittedInACubeAndFollowsTheMouse)
{
    ObjectPreview::SetScreenPosition(0, 0);
    ObjectPreview::SetHierarchy(AsHierarchy(cursor_));
    ASSERT_NE(Shown(), nullptr);
    EXPECT_EQ(Shown()->lo, Vec3(-2, -2, -2));
    EXPECT_EQ(Shown()->hi, Vec3(2, 2, 2));
    EXPECT_FLOAT_EQ(ObjectPreview::GetCamera()->RangeA().nearZ, -2.0f);
    EXPECT_FLOAT_EQ(ObjectPreview::GetCamera()->RangeA().farZ, 2.0f);
    EXPECT_FLOAT_EQ(Shown()->position.x, 0.0f);
    EXPECT_FLOAT_EQ(Shown()->position.y, 0.125f);
    // The screen's far corner; before any display mode it is 640 x 480.
    const int w = Display::Width() > 0 ? Display::Width() : 640, h = Display::Height() > 0 ? Display::Height() : 480;
    ObjectPreview::SetScreenPosition(w / 2, h);
    EXPECT_FLOAT_EQ(Shown()->position.x, float(w / 2) / float(w));
    EXPECT_FLOAT_EQ(Shown()->position.y, 0.875f);
    ObjectPreview::SetOrientation({0, 1, 0, 0});
    EXPECT_EQ(Shown()->orientation, Quaternion(0, 1, 0, 0));
    ObjectPreview::QueueDraw();
    EXPECT_EQ(Shown()->draws, 1);
    ObjectPreview::SetHierarchy(nullptr);
    EXPECT_EQ(Shown(), nullptr);
    EXPECT_EQ(log_.back(), "released");
}

TEST_F(PreviewTest, SuspendsNestAndResumeBringsBackTheObjectPutAside)
{
    ObjectPreview::SetHierarchy(AsHierarchy(cursor_));
    Recorder* first = Shown();
    const struct {
        const char* step;
        bool suspend;
        int count;
        bool shown;
    } steps[] = {
        {"first suspend puts it aside", true, 1, false},
        {"second finds nothing shown", true, 2, false},
        {"first resume keeps it aside", false, 1, false},
        {"second resume brings it back", false, 0, true},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        s.suspend ? ObjectPreview::Suspend() : ObjectPreview::Resume();
        EXPECT_EQ(ObjectPreview::SuspendCount(), s.count);
        EXPECT_EQ(Shown() != nullptr, s.shown);
    }
    EXPECT_EQ(Shown(), first);
    // Suspending with an object shown restarts the count at 1.
    ObjectPreview::Suspend();
    ObjectPreview::Suspend();
    ObjectPreview::SetHierarchy(AsHierarchy(cursor_));
    ObjectPreview::Suspend();
    EXPECT_EQ(ObjectPreview::SuspendCount(), 1);
    ObjectPreview::Resume();
    EXPECT_EQ(ObjectPreview::SuspendCount(), 0);
    EXPECT_NE(Shown(), nullptr);
}

TEST_F(PreviewTest, OneShotsReportCompletionAndHandBackToTheLoop)
{
    uint8_t done = 9;
    ObjectPreview::PlayOnce(3, &done);
    EXPECT_EQ(done, 1) << "without an object a one-shot is done at once";

    ObjectPreview::SetHierarchy(AsHierarchy(cursor_));
    ObjectPreview::PlayLooped(1);
    ObjectPreview::PlayOnce(3, &done);
    EXPECT_EQ(done, 0);
    ObjectPreview::PlayLooped(2);  // remembered while the one-shot runs
    EXPECT_EQ(log_, (std::vector<std::string>{"play 1 x-1 mode 0", "play 3 x1 mode 8"}));
    ObjectPreview::QueueDraw();
    EXPECT_EQ(done, 0);
    *last_->finish = 1;  // the sequence player ends the one-shot
    ObjectPreview::QueueDraw();
    EXPECT_EQ(done, 1);
    EXPECT_EQ(log_.back(), "play 2 x-1 mode 0");
    EXPECT_EQ(ObjectPreview::LoopedSequence(), 2);

    // A static sequence reports straight into the caller's flag.
    done = 5;
    ObjectPreview::PlayOnce(7, &done);
    EXPECT_EQ(done, 0);
    EXPECT_EQ(log_.back(), "play 7 x1 mode 4");
    EXPECT_EQ(last_->finish, &done);
}

// Start-up's factory makes real 3-D objects: the hierarchy's bounds are
// fitted, its sequences play and an index it lacks is done at once.
TEST(PreviewFactory, MakesObjectsFromTheHierarchy)
{
    using namespace modeltest;
    std::vector<std::unique_ptr<Sequence>> sequences;
    sequences.push_back(MakeSequence(0, 1000, {{0, {0, 0, 0}, 0}, {500, {1, 0, 0}, 0.5f}}));
    HierarchyRef model(MakeNode("cursor", MakeSet(std::move(sequences))));
    model.h->boundsValid_ = true;
    model.h->minimum_ = {-1.0f, -0.5f, -0.25f};
    model.h->maximum_ = {0.5f, 3.0f, 0.25f};

    ObjectPreview::SetObjectFactory(ObjectPreview::MakeObject);
    ObjectPreview::Startup();
    ObjectPreview::SetHierarchy(model.h);
    ASSERT_NE(ObjectPreview::Current(), nullptr);
    Vec3 lo, hi;
    ObjectPreview::Current()->Bounds(lo, hi);
    EXPECT_EQ(lo, Vec3(-3, -3, -3));
    EXPECT_EQ(hi, Vec3(3, 3, 3));
    EXPECT_FALSE(ObjectPreview::Current()->SequenceIsStatic(0));
    uint8_t done = 9;
    ObjectPreview::PlayOnce(5, &done);
    EXPECT_EQ(done, 1) << "a sequence the model lacks";
    done = 9;
    ObjectPreview::PlayOnce(0, &done);
    EXPECT_EQ(done, 0) << "a sequence the model has plays";
    ObjectPreview::Shutdown();
    ObjectPreview::SetObjectFactory({});
}

} // namespace
