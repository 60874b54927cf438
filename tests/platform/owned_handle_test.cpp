#include "platform/owned_handle.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> g_freed;
void FreeInt(int handle) { g_freed.push_back(handle); }
using OwnedInt = platform::Owned<int, FreeInt>;

// Every handle is freed exactly once, by whichever holder owns it last;
// a forgotten one never.
TEST(OwnedHandle, EachHandleIsFreedOnceByItsLastOwner)
{
    g_freed.clear();
    {
        OwnedInt a(1);
        OwnedInt b(std::move(a));
        EXPECT_EQ(a.Get(), 0);
        OwnedInt c(2);
        c = std::move(b);  // 2 goes now, 1 moves on
        EXPECT_EQ(g_freed, std::vector<int>({2}));
        EXPECT_EQ(c.Get(), 1);
        OwnedInt d(3);
        d.Forget();
        OwnedInt e(4);
        e.Reset();
        e.Reset();
        EXPECT_EQ(g_freed, std::vector<int>({2, 4}));
    }
    EXPECT_EQ(g_freed, std::vector<int>({2, 4, 1}));
}

} // namespace
