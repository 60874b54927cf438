// What the client replicas ask of the effects and shadows above them. The
// effects fill the table at their start-up; until then every entry does
// nothing, so replicas work without a display (servers, tools, tests).
#pragma once

#include "app/maths.h"

class ParticleEmitter;
class VeObject;
class WorldObject;

struct ClientEffectHooks {
    // A lasting corona emitter of that colour; null when none was made.
    ParticleEmitter* (*createCorona)(const Vec3& position, const Colour& colour) = nullptr;
    // The object's shadow for the current shadow mode: made and listed, or
    // freed and unlisted. Adding a listed object does nothing.
    void (*addCaster)(WorldObject& object) = nullptr;
    void (*removeCaster)(WorldObject& object) = nullptr;
    // A walker's shape effect: two sprite instances it carries (one use each
    // for the caller); false, with none made, without the effect shapes.
    bool (*addShapeEffect)(WorldObject& object, VeObject* (&sprites)[2]) = nullptr;
    // A shield took a hit: the object's shell lights up, or its shell from
    // an earlier hit starts afresh.
    void (*shieldHit)(WorldObject& object) = nullptr;
    // What a destroyed object leaves by its destructibility kind: shot
    // particles (1), the explosion under its debris (3), a big explosion
    // (any other). Each starts nothing where the fog hides the place.
    void (*shotImpact)(const Vec3& position) = nullptr;
    void (*debrisExplosion)(const Vec3& position) = nullptr;
    void (*bigExplosion)(const Vec3& position) = nullptr;
    // A piece cut off an object flies off along `direction` (unit length)
    // under gravity.
    void (*throwPiece)(WorldObject& piece, const Vec3& direction) = nullptr;
    // The debris left by a destroyed object breaks up: its parts fly off at
    // `speed` (evenly round the vertical when `radial`), trailing smoke
    // from their exhaust dummies.
    void (*breakUp)(WorldObject& debris, float speed, bool radial) = nullptr;
    // What an electric or beam shot leaves between its shooter's muzzle and
    // where it ended: a crackle of that amplitude (metres), a white burst,
    // an explosion, a beam.
    void (*electricity)(const Vec3& from, const Vec3& to, float amplitude) = nullptr;
    void (*whiteBurst)(const Vec3& position) = nullptr;
    void (*explosion)(const Vec3& position) = nullptr;
    void (*beam)(const Vec3& from, const Vec3& to) = nullptr;
};

ClientEffectHooks& ClientEffects();
