#include <gtest/gtest.h>

#include <cstring>

#include "app/main_camera.h"

namespace {

TEST(PointerRecord, StoresThePixelCentre)
{
    const int cases[][2] = {{0, 0}, {639, 479}, {-3, 7}};
    for (const auto& c : cases) {
        PointerRecord r;
        r.Set(c[0], c[1]);
        EXPECT_TRUE(r.valid);
        EXPECT_FLOAT_EQ(r.x, float(c[0]) + 0.5f);
        EXPECT_FLOAT_EQ(r.y, float(c[1]) + 0.5f);
    }
}

TEST(DuplicateString, CopiesIntoStorageOfItsOwn)
{
    for (const char* text : {"", "Trevok", "a longer line with spaces"}) {
        char* copy = DuplicateString(text);
        ASSERT_NE(copy, nullptr);
        EXPECT_NE(copy, text);
        EXPECT_STREQ(copy, text);
        delete[] copy;
    }
    EXPECT_EQ(DuplicateString(nullptr), nullptr);
}

} // namespace
