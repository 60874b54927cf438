// Hit probes: screen points (normally the mouse) tested against what is
// drawn in a frame, box faces first and then the triangles of shapes drawn
// for hit testing, keeping the nearest hit and telling a hook about it.
#pragma once

#include <cstdint>

#include "app/maths.h"

class BoundingBox;
class HitProbe;
class VeObject;

// Told about every hit a probe registers.
class HitHook {
public:
    virtual ~HitHook() = default;
    virtual void OnHit(HitProbe& probe) = 0;
};

// A projected point: screen x, y, the viewport depth z, and 1/w.
struct ScreenPoint {
    float x, y, z, rhw;
};

class HitProbe {
public:
    static constexpr float kFarthest = 3.4028235e38f;

    bool active_ = false;
    bool exactDepth_ = false;
    bool hit_ = false;
    Vec3 hitPoint_{0, 0, 0};
    uint32_t spare_ = 0;
    float screenX_ = 0, screenY_ = 0;
    float bestDepth_ = kFarthest;
    float fractionX_ = 0.5f, fractionY_ = 0.5f;
    HitHook* hook_ = nullptr;
    // The object whose drawing gave the nearest hit; null when none did or
    // the hit came from a shape drawn on its own. Never dereferenced here,
    // and forgotten when that object goes.
    const VeObject* hitObject_ = nullptr;

    void UpdateScreenPosition();
    // Puts the probe at a pixel (the fractions follow it).
    void SetScreenPoint(float x, float y);
    // Forgets the last frame's hit.
    void Reset();
    bool IsNearer(const Vec3& world) const;
    bool TestPolygon(const ScreenPoint* points, float depth, int count);
    bool InsideBox(const ScreenPoint corners[8]) const;

    // The probe list of all probes.
    static void Register(HitProbe* probe);
    static void Unregister(HitProbe* probe);
    static void CreateGlobals();
    static void DestroyGlobals();
    static HitProbe& Default();
    static void UpdateAllScreenPositions();
    static void ResetAll();
    // The game's mouse handling turns testing on and off.
    static bool& Enabled();

    static bool TestQuad(const ScreenPoint points[4]);
    static bool TestTriangle(const ScreenPoint points[3]);
    // Fills the active list from a shape's box; false when it stays empty.
    static bool TestBoxForShape(BoundingBox& box);
    static bool AnyActive();
    // What a triangle hit reports: the draw matrix and the triangle's centroid.
    static void SetCurrentTriangle(const float* world4x4, const Vec3* centroid);
    // The object being drawn, which the hits of its boxes and shapes name.
    static const VeObject* CurrentObject();
    static void SetCurrentObject(const VeObject* object);
    // An object going away: no probe names it any longer.
    static void ForgetObject(const VeObject* object);
};
