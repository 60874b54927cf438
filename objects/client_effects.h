// What the client replicas ask of the effects and shadows above them. The
// effects fill the table at their start-up; until then every entry does
// nothing, so replicas work without a display (servers, tools, tests).
#pragma once

#include "app/maths.h"

class ParticleEmitter;
class WorldObject;

struct ClientEffectHooks {
    // A lasting corona emitter of that colour; null when none was made.
    ParticleEmitter* (*createCorona)(const Vec3& position, const Colour& colour) = nullptr;
    // The object's shadow for the current shadow mode: made and listed, or
    // freed and unlisted. Adding a listed object does nothing.
    void (*addCaster)(WorldObject& object) = nullptr;
    void (*removeCaster)(WorldObject& object) = nullptr;
};

ClientEffectHooks& ClientEffects();
