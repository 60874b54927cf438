#include "objects/kind_objects.h"

#include <cfloat>

namespace {

constexpr float kRaise = 0.2f;

} // namespace

Kind9Object::Kind9Object(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                         uint32_t id)
    : GameObject(side, role, {position.x, position.y - kRaise, position.z}, orientation, kCreateQuiet, id)
{
}

GameObject* Kind9Object::Make(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                              uint32_t id)
{
    return new Kind9Object(side, role, position, orientation, id);
}

Kind11Object::Kind11Object(int32_t side, script::Role* role, const Quaternion& orientation, uint32_t id)
    : GameObject(side, role, {-FLT_MAX, -FLT_MAX, -FLT_MAX}, orientation, kCreateQuiet, id)
{
}

GameObject* Kind11Object::Make(int32_t side, script::Role* role, const Vec3&, const Quaternion& orientation,
                               uint32_t id)
{
    return new Kind11Object(side, role, orientation, id);
}

int32_t Kind11Object::Activate(uint64_t now, float seconds)
{
    now_ = previous_ = now;
    nowSeconds_ = lastUpdate_ = seconds;
    return eventCallback_ ? eventCallback_(*this, now) : 0;
}
