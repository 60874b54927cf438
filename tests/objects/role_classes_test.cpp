// Roles' object classes and ratings by their records.
#include <gtest/gtest.h>

#include "objects/role_classes.h"

#include <optional>

namespace {

script::Role MakeRole(int32_t aiType, std::optional<int32_t> weapon, bool projectile, float aggression = 0)
{
    script::Role r;
    r.aiType = aiType;
    if (weapon) {
        r.character.emplace();
        r.character->weapon = *weapon;
        r.character->aggression = aggression;
    }
    if (projectile)
        r.projectile.emplace();
    return r;
}

TEST(RoleClasses, AiTypeThenRecordsPickTheClientClass)
{
    struct Case {
        int32_t aiType;
        std::optional<int32_t> weapon;
        bool projectile;
        ClientClass expected;
    } cases[] = {
        {0, std::nullopt, false, ClientClass::kUnit},
        {2, 3, false, ClientClass::kMovingObject},
        {5, std::nullopt, true, ClientClass::kTypedObject},
        {17, std::nullopt, false, ClientClass::kTypedObject},
        {16, std::nullopt, false, ClientClass::kTypedUnit},
        {1, 3, false, ClientClass::kUnit},
        {3, kNoWeapon, false, ClientClass::kMovingObject},
        {7, std::nullopt, true, ClientClass::kNone},
        {15, std::nullopt, false, ClientClass::kWorldObject},
        {18, 4, false, ClientClass::kUnit},  // above 17: the last row
        {2147483647, std::nullopt, false, ClientClass::kWorldObject},
        {-1, std::nullopt, true, ClientClass::kNone},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClientClassFor(MakeRole(c.aiType, c.weapon, c.projectile)), c.expected) << c.aiType;
}

TEST(RoleClasses, RatingFloorsTheExactProduct)
{
    struct Case {
        std::optional<float> aggression;
        int32_t rating;
    } cases[] = {{0.4f, 4}, {0.6f, 6}, {0.7f, 6}, {0.9f, 8}, {std::nullopt, 2}, {0.0f, 0}, {-0.05f, -1}};
    for (const Case& c : cases) {
        script::Role r = MakeRole(0, c.aggression ? std::optional<int32_t>(1) : std::nullopt, false,
                                  c.aggression.value_or(0));
        EXPECT_EQ(r.GetRating(), c.rating) << c.aggression.value_or(-99);
    }
}

} // namespace
