// What the effects and the debris need of a client object. The client
// replicas implement it; effects hold a reference for as long as a record
// points at the object.
#pragma once

#include <cstdint>
#include <string>

#include "app/maths.h"
#include "platform/ref_counted.h"

class VeObject;

class EffectObject : public RefCounted {
public:
    static constexpr uint32_t kAnimatedTexture = 0x1000000;  // also set by debris explosions
    static constexpr uint32_t kCaster = 0x100000;
    static constexpr uint8_t kNoReflections = 0x08;

    // The alive test: false once the object has gone from the game.
    virtual bool Exists() const = 0;
    // The drawn instance, or null when the object has no shape.
    virtual VeObject* Instance() const = 0;
    virtual bool ShapeLoaded() const { return Instance() != nullptr; }
    // 0 (no shield) to 200 (full).
    virtual float ShieldValue() const { return 0.0f; }
    // 0 (in plain view) to 254 (wholly fogged).
    virtual uint32_t FogVisibility() const { return 0; }
    // The part electric bolts start from; empty for the object's origin.
    virtual std::string BoltPartName() const { return {}; }
    // The height of the level surface under the object (its height + 1000
    // where there is none).
    virtual float FloorHeight() const = 0;

    uint32_t flags_ = 0;       // object flags word
    uint8_t flagByte_ = 0;     // bit 3 disables reflections
    bool brokenUp_ = false;

protected:
    ~EffectObject() override = default;
};
