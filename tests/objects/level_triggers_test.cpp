// Level trigger records own their names and script name and leave the
// level-trigger list when they are freed, whichever way that happens.
#include "objects/level_triggers.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<TriggerRecord*> Listed()
{
    std::vector<TriggerRecord*> out;
    for (List<TriggerRecord*>::Iterator it(LevelTriggers::All()); !it.AtEnd(); it.Next())
        out.push_back(*it.Get());
    return out;
}

TEST(LevelTriggers, FreedRecordsLeaveTheList)
{
    LevelTriggers::Clear();
    struct Case {
        const char* name;
        int freed; // index of the record freed by hand
        std::vector<int> left;
    };
    const Case cases[] = {{"first", 0, {1, 2}}, {"middle", 1, {0, 2}}, {"last", 2, {0, 1}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TriggerRecord* made[3];
        for (TriggerRecord*& r : made) {
            r = LevelTriggers::Add();
            r->names_.PushBack("squad leader");
            r->names_.PushBack("medic");
            r->scriptName_ = "ambush.tvs";
            r->radiusSquared_ = 25.0f;
        }
        ASSERT_NE(LevelTriggers::All().At(1), nullptr); // positional access builds the index
        delete made[c.freed];
        std::vector<TriggerRecord*> expected;
        for (int i : c.left)
            expected.push_back(made[i]);
        EXPECT_EQ(Listed(), expected);
        EXPECT_EQ(LevelTriggers::All().Count(), 2);
        EXPECT_EQ(*LevelTriggers::All().At(1), expected[1]) << "the index was rebuilt";
        LevelTriggers::Clear();
        EXPECT_TRUE(LevelTriggers::All().IsEmpty());
    }
}

} // namespace
