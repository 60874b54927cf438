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
    // What a destroyed object leaves by its destructibility kind: shot
    // particles (1), the explosion under its debris (3), a big explosion
    // (any other). Each starts nothing where the fog hides the place.
    void (*shotImpact)(const Vec3& position) = nullptr;
    void (*debrisExplosion)(const Vec3& position) = nullptr;
    void (*bigExplosion)(const Vec3& position) = nullptr;
    // A piece cut off an object flies off along `direction` (unit length)
    // under gravity.
    void (*throwPiece)(WorldObject& piece, const Vec3& direction) = nullptr;
};

ClientEffectHooks& ClientEffects();
