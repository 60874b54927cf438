// The order in which the render queue draws a frame's requests: plain
// buckets, blended buckets, the sorted list; alternates and next passes.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Veapi/VertBuff.h"
#include "Veapi/render_queue.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"
#include "model_support.h"

namespace {

using modeltest::ObjectRef;

// Writes "object:material:texture" for every draw, "+" marking the alternate
// and "2" a next-pass copy.
class Recorder : public DrawHooks {
public:
    std::vector<std::string>* out = nullptr;
    std::map<const void*, std::string> names;

    void BeforeDraw(DrawRequest& r, TextureEntry* texture) override
    {
        RenderMaterial* m = r.material_;
        std::string entry = names[r.object_] + ":" + names[m];
        if (r.flags_ & RequestFlag::kAlternate)
            entry += "+";
        if (r.flags_ & RequestFlag::kNextPassCopy)
            entry += "2";
        entry += ":" + (texture ? names[texture] : std::string("-"));
        out->push_back(entry);
    }
    void AfterDraw(DrawRequest&, TextureEntry*) override {}
};

class RenderQueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TextureManager::Clear();
        hooks_ = new Recorder;
        hooks_->out = &drawn_;
        opaque_ = Material("opaque");
        other_ = Material("other");
        blended_ = Material("blended");
        blended_->alphaBlend_ = 1;
        blended2_ = Material("blended2");
        blended2_->alphaBlend_ = 1;
        sorted_ = Material("sorted");
        sorted_->sorted_ = 1;
        withAlternate_ = Material("withalt");
        withAlternate_->SetAlternate(blended_);
        withNext_ = Material("withnext");
        withNext_->SetNextPass(other_);
        plainTexture_ = Texture("wall", 0);
        glassTexture_ = Texture("glass", 1);
    }
    void TearDown() override
    {
        RenderQueue::Clear();
        objects_.clear();
        hooks_->Release();
        for (RenderMaterial* m : materials_)
            m->Release();
        TextureManager::Clear();
    }

    RenderMaterial* Material(const std::string& name)
    {
        auto* m = new RenderMaterial;
        materials_.push_back(m);
        hooks_->names[m] = name;
        return m;
    }
    TextureEntry* Texture(const std::string& name, uint32_t options)
    {
        TextureEntry* t = TextureManager::Find(name);
        t->SetOptions(options);
        hooks_->names[t] = name;
        return t;
    }
    // An object standing at height y (its queue key is -y).
    VeObject* Object(const std::string& name, float y)
    {
        VeObject* o = VeObject::FromShape(nullptr, false);
        o->placement_.SetPosition({0, y, 0});
        objects_.push_back(std::make_unique<ObjectRef>(o));
        hooks_->names[o] = name;
        return o;
    }
    void Queue(VeObject* o, RenderMaterial* m, std::initializer_list<TextureEntry*> textures)
    {
        List<TextureEntry*> list;
        for (TextureEntry* t : textures)
            list.PushBack(t);
        o->QueueDraw(0, nullptr, nullptr, m, 0, 0, nullptr, hooks_, &list);
    }

    std::vector<std::string> drawn_;
    Recorder* hooks_ = nullptr;
    std::vector<RenderMaterial*> materials_;
    std::vector<std::unique_ptr<ObjectRef>> objects_;
    RenderMaterial *opaque_, *other_, *blended_, *blended2_, *sorted_, *withAlternate_, *withNext_;
    TextureEntry *plainTexture_, *glassTexture_;
};

TEST_F(RenderQueueTest, DrawsATableOfRequestsInItsOrder)
{
    struct Case {
        const char* name;
        std::function<void()> queue;
        std::vector<std::string> order;
    };
    const Case cases[] = {
        {"one material and texture: first come, first drawn",
         [&] {
             Queue(Object("a", 0), opaque_, {plainTexture_});
             Queue(Object("b", 0), opaque_, {plainTexture_});
         },
         {"a:opaque:wall", "b:opaque:wall"}},
        {"a new plain material goes before the older ones",
         [&] {
             Queue(Object("a", 0), opaque_, {plainTexture_});
             Queue(Object("b", 0), other_, {plainTexture_});
             Queue(Object("c", 0), opaque_, {plainTexture_});
         },
         {"b:other:wall", "a:opaque:wall", "c:opaque:wall"}},
        {"blended buckets after the plain ones, oldest first",
         [&] {
             Queue(Object("a", 0), blended_, {plainTexture_});
             Queue(Object("b", 0), blended2_, {plainTexture_});
             Queue(Object("c", 0), opaque_, {plainTexture_});
         },
         {"c:opaque:wall", "a:blended:wall", "b:blended2:wall"}},
        {"one draw per texture of the object",
         [&] { Queue(Object("a", 0), opaque_, {plainTexture_, glassTexture_}); },
         {"a:opaque:wall", "a:opaque:glass"}},
        {"sorted by key, after every bucket",
         [&] {
             Queue(Object("k3", -3), sorted_, {plainTexture_});
             Queue(Object("k1", -1), sorted_, {plainTexture_});
             Queue(Object("k2", -2), sorted_, {plainTexture_});
             Queue(Object("a", 0), blended_, {plainTexture_});
         },
         {"a:blended:wall", "k1:sorted:-", "k2:sorted:-", "k3:sorted:-"}},
        {"equal keys: the newest first",
         [&] {
             Queue(Object("old", -1), sorted_, {plainTexture_});
             Queue(Object("new", -1), sorted_, {plainTexture_});
         },
         {"new:sorted:-", "old:sorted:-"}},
        {"a translucent texture under a material with an alternate is sorted and drawn with the alternate",
         [&] { Queue(Object("a", 0), withAlternate_, {plainTexture_, glassTexture_}); },
         {"a:withalt:wall", "a:blended+:-"}},
        {"without an alternate a translucent texture stays in its bucket",
         [&] { Queue(Object("a", 0), opaque_, {glassTexture_}); },
         {"a:opaque:glass"}},
        {"a next pass draws the object again with the next material",
         [&] { Queue(Object("a", 0), withNext_, {plainTexture_}); },
         {"a:other2:wall", "a:withnext:wall"}},
    };
    for (const Case& c : cases) {
        drawn_.clear();
        c.queue();
        RenderQueue::Flush();
        EXPECT_EQ(drawn_, c.order) << c.name;
        EXPECT_EQ(RenderQueue::Count(), 0u) << c.name;
    }
}

TEST_F(RenderQueueTest, QueuedObjectsLiveUntilDrawnAndClearDrawsNothing)
{
    List<TextureEntry*> textures;
    textures.PushBack(plainTexture_);
    VeObject* o = VeObject::FromShape(nullptr, false);
    hooks_->names[o] = "o";
    o->QueueDraw(0, nullptr, nullptr, opaque_, 0, 0, nullptr, hooks_, &textures);
    o->QueueDraw(0, nullptr, nullptr, opaque_, 0, 0, nullptr, hooks_, &textures);
    EXPECT_EQ(o->RefCount(), 3);
    o->Release();  // the game lets go during the frame
    RenderQueue::Flush();
    EXPECT_EQ(drawn_, (std::vector<std::string>{"o:opaque:wall", "o:opaque:wall"}));

    VeObject* p = VeObject::FromShape(nullptr, false);
    p->QueueDraw(0, nullptr, nullptr, opaque_, 0, 0, nullptr, hooks_, &textures);
    p->QueueDraw(0, nullptr, nullptr, withNext_, 0, 0, nullptr, hooks_, &textures);
    EXPECT_EQ(p->RefCount(), 4) << "one each for the two requests and the next-pass copy";
    drawn_.clear();
    RenderQueue::Clear();
    EXPECT_TRUE(drawn_.empty());
    EXPECT_EQ(p->RefCount(), 1);
    p->Release();
}

// Materials naming each other as next pass would queue for ever.
TEST_F(RenderQueueTest, NextPassesThatLoopEnd)
{
    withNext_->SetNextPass(other_);
    other_->SetNextPass(withNext_);
    Queue(Object("a", 0), withNext_, {plainTexture_});
    RenderQueue::Flush();
    EXPECT_GT(drawn_.size(), 1u);
    EXPECT_LE(drawn_.size(), 8u);
    other_->SetNextPass(nullptr);
}

} // namespace

namespace {

// Without a ready device the end of the frame draws nothing, and lets the
// frame's requests go rather than piling them up.
TEST_F(RenderQueueTest, AFrameWithoutADeviceReleasesItsRequests)
{
    VeObject* o = Object("a", 0);
    Queue(o, opaque_, {plainTexture_});
    Queue(o, sorted_, {plainTexture_});
    ASSERT_EQ(RenderQueue::Count(), 2u);
    Display::EndFrame(nullptr, nullptr);
    EXPECT_EQ(RenderQueue::Count(), 0u);
    EXPECT_TRUE(drawn_.empty());
    EXPECT_EQ(o->RefCount(), 1);
}

} // namespace
