// The small server kinds that need nothing of the actor: a quiet object
// raised off the floor and an object kept outside the world.
#pragma once

#include "objects/game_object.h"

#include <cstdint>

// A plain quiet object, raised 0.2 m (y grows downward) so that it rests on
// the floor instead of in it.
class Kind9Object : public GameObject {
public:
    static constexpr int32_t kAiType = 9;
    Kind9Object(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id);
    static GameObject* Make(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                            uint32_t id);
    uint32_t SizeInBytes() const override { return GameObject::SizeInBytes(); }
    bool IsKind(int32_t kind) const override { return kind == kAiType; }

protected:
    ~Kind9Object() override = default;
};

// Kept outside the world at -FLT_MAX on every axis: it never collides and
// stands on no polygon.
class Kind11Object : public GameObject {
public:
    static constexpr int32_t kAiType = 11;
    Kind11Object(int32_t side, script::Role* role, const Quaternion& orientation, uint32_t id);
    static GameObject* Make(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                            uint32_t id);
    uint32_t SizeInBytes() const override { return GameObject::SizeInBytes(); }
    bool IsKind(int32_t kind) const override { return kind == kAiType; }
    // The common time stamps and think routine without the polygon lookup:
    // a point at -FLT_MAX has no cell and no ground.
    int32_t Activate(uint64_t now, float seconds) override;

protected:
    ~Kind11Object() override = default;
};
