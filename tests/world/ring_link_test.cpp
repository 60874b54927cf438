#include "world/ring_link.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The owners met walking `next` from `start` until it comes round, checked
// against the `previous` walk the other way.
std::vector<int> Ring(RingLink& start)
{
    std::vector<int> owners;
    RingLink* l = &start;
    do {
        owners.push_back(*static_cast<int*>(l->owner));
        EXPECT_EQ(l->next->previous, l);
        l = l->next;
    } while (l != &start && owners.size() < 16);
    return owners;
}

struct Links {
    int ids[5] = {0, 1, 2, 3, 4};
    RingLink link[5];
    Links()
    {
        for (int i = 0; i < 5; ++i)
            link[i].Init(&ids[i]);
    }
};

TEST(RingLink, MovesAndUnlinksKeepBothRingsConsistent)
{
    const struct {
        const char* name;
        std::vector<std::pair<int, int>> moves; // (link, before link); before -1 unlinks
        int start;
        std::vector<int> ring;
    } cases[] = {
        {"a ring of one", {}, 0, {0}},
        {"one moved before another", {{1, 0}}, 0, {0, 1}},
        {"three in order", {{1, 0}, {2, 0}}, 0, {0, 1, 2}},
        {"moved within its own ring", {{1, 0}, {2, 0}, {2, 1}}, 0, {0, 2, 1}},
        {"moved before its own successor", {{1, 0}, {2, 0}, {1, 2}}, 0, {0, 1, 2}},
        {"moved before itself stays", {{1, 0}, {1, 1}}, 0, {0, 1}},
        {"moved to another ring", {{1, 0}, {3, 2}, {1, 2}}, 0, {0}},
        {"the other ring gains it", {{1, 0}, {3, 2}, {1, 2}}, 2, {2, 3, 1}},
        {"unlinked from three", {{1, 0}, {2, 0}, {1, -1}}, 0, {0, 2}},
        {"the unlinked one is alone", {{1, 0}, {2, 0}, {1, -1}}, 1, {1}},
        {"unlinking twice is harmless", {{1, 0}, {2, 0}, {1, -1}, {1, -1}}, 0, {0, 2}},
        {"unlinking a ring of one", {{4, -1}}, 4, {4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Links l;
        for (auto [from, before] : c.moves) {
            if (before < 0)
                l.link[from].Unlink();
            else
                EXPECT_EQ(l.link[from].MoveBefore(&l.link[before]), &l.link[before]);
        }
        EXPECT_EQ(Ring(l.link[c.start]), c.ring);
    }
}

} // namespace
