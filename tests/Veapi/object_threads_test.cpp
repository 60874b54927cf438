// The server animates its own objects with the draw-nothing flag while the
// game thread draws others made from the same model: nothing of the animating
// path may touch the device or state the drawing path writes.
#include <atomic>
#include <thread>

#include "Veapi/primitives.h"
#include "Veapi/render_queue.h"
#include "camera_fixture.h"
#include "model_support.h"

namespace {

using namespace modeltest;

constexpr int32_t kNormal = 0x10000;

// A body with an arm sliding from x = 1 to x = 3 over the first half of
// 1000 ticks, a box in each.
Hierarchy* SlidingArm(VeShape* box)
{
    std::vector<std::unique_ptr<Sequence>> body, arm;
    body.push_back(MakeSequence(0, 1000, {{0, {0, 0, 0}, 0}, {500, {0, 0, 0}, 0}}));
    body.push_back(MakeSequence(1, 1000, {{0, {0, 0, 0}, 0}}));
    arm.push_back(MakeSequence(0, 1000, {{0, {1, 0, 0}, 0}, {500, {3, 0, 0}, 0}}));
    arm.push_back(MakeSequence(1, 1000, {{0, {1, 0, 0}, 0}}));
    Hierarchy* root = MakeNode("body", MakeSet(std::move(body)));
    Hierarchy* a = MakeNode("arm", MakeSet(std::move(arm)));
    for (Hierarchy* h : {root, a}) {
        h->shapes_[0] = box;
        box->AddRef();
    }
    root->children_.PushBack(a);
    return root;
}

class ObjectThreads : public scenetest::SceneTest {};

TEST_F(ObjectThreads, ServerAnimatesWithoutDrawingWhileTheGameThreadDraws)
{
    StartScene(320, 240);
    SequencePlayer::SetTicksPerSecond(1000);
    VeShape* box = VeShape::FromPrimitive({6, 0, 0, 0, nullptr});
    HierarchyRef model(SlidingArm(box));
    box->Release();

    // Every object is made on the game thread; each thread then uses only its own.
    std::vector<VeObject*> server, game;
    for (int i = 0; i < 4; ++i) {
        server.push_back(VeObject::FromHierarchy(model.h, false));
        game.push_back(VeObject::FromHierarchy(model.h, true));
        game.back()->placement_.SetPosition({float(i) - 2, 0, 8});
    }
    for (VeObject* o : game)
        o->PlaySequence(0, &kNormal, -1, 0, nullptr, 0, true);

    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::thread serverThread([&] {
        uint64_t time = 0;
        for (int pass = 0; !stop.load() || pass < 200; ++pass, time += 37) {
            for (VeObject* o : server) {
                if (pass % 50 == 0)  // a new main sequence now and then, blended in
                    o->PlaySequence(pass % 100 ? 1 : 0, &kNormal, -1, time, nullptr,
                                    pass ? SequenceMode::kBlendIn : 0, true);
                o->Draw(time, 0, DrawFlag::kAnimateOnly, nullptr);
            }
            // Sequence 0 from the start: the arm's x is 1 + 2 x (time / 500) in its first half.
            if (pass == 10) {
                Vec3 at;
                if (!server[0]->FindPartPosition(at, "arm", 250) || std::abs(at.x - 2.0f) > 1e-4f)
                    ++wrong;
            }
        }
    });
    for (int frame = 0; frame < 30; ++frame) {
        BeginFrame(0);
        for (VeObject* o : game)
            o->QueueDraw(uint64_t(frame) * 40, camera_.get(), nullptr, DefaultMaterial::Get(DefaultMaterial::Opaque),
                         0, 0, nullptr, nullptr, nullptr);
        EndFrame();
    }
    stop = true;
    serverThread.join();
    EXPECT_EQ(wrong.load(), 0);
    for (VeObject* o : server)
        EXPECT_FALSE(o->Players().IsEmpty());
    for (auto* list : {&server, &game})
        for (VeObject* o : *list)
            o->Release();
    SequencePlayer::SetTicksPerSecond(0);
}

} // namespace
