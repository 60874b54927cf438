#include "world/mover.h"

#include <cmath>

WalkerBody::WalkerBody(float h, float r) : MoverBody(h, r), innerRadius(0.3f * r)
{
    const float side = std::sqrt(h * h + 0.49f * r * r);
    // A body of no size has no side to slope.
    slope = side > 0.0f ? -0.7f * r / side : 0.0f;
}
