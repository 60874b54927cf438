// What the server's messages reach above the session: the effects, the
// selection, the camera, the in-game screens, the shadows and the console.
// Each higher folder installs its entries at its start-up; tests install
// recording ones. An unset entry does nothing (the sound entry falls back to
// the sound system, the print entry to the session's print).
#pragma once

#include "app/maths.h"

#include <cstdint>
#include <functional>
#include <string>

class WorldObject;

struct ClientHooks {
    // ---- console ----
    std::function<void(const char* text)> print;
    // Message 112: a timed screen message; the text is the hook's own copy.
    std::function<void(WorldObject& speaker, std::string text, float scale)> speak;
    // Messages 113 and 114 switch the player's controls off.
    std::function<void()> controlsOff;
    // 61: a flag was captured; the notice's text id (282 the own side's flag, 283 another's).
    std::function<void(uint32_t textId)> flagNotice;

    // ---- interface ----
    std::function<void()> sideDefeated;                                  // 95: the defeat screen, no edge scrolling
    std::function<void(const float (&placement)[12], float rate)> cameraMove;  // 103: scripted camera move
    std::function<void(WorldObject& object)> selectAndTrack;             // 113: select it alone, lock the camera
    std::function<void(WorldObject& object)> addToSelection;            // 128
    std::function<void()> clearSelection;                                // 114, after the group order
    std::function<void(WorldObject& object)> unitPanel;                 // 3: the unit's panel screen
    // 81, for a squad member: a text beside it, and the pick-up's own text
    // on the screen. Neither shows while the camera holds the units.
    std::function<void(WorldObject& object, std::string text)> showText;
    std::function<void(WorldObject& object, std::string text)> pickUpText;

    // ---- effects and shadows ----
    std::function<void(const Vec3& point, int64_t now)> bigExplosion;    // 71, 75
    std::function<void(const Vec3& point, int64_t now)> spotlight;       // 127
    std::function<void(const Vec3& first, const Vec3& second)> explosionArea;  // 127
    std::function<void(bool blinking, const Vec3& point, const Colour& first, const Colour& second, float period)>
        pulsingLight;                                                    // 125, 126
    std::function<void(WorldObject& object, int32_t count, const float* pairs)> textureAnimation;  // 130
    std::function<void(WorldObject& object)> smoke;                     // 123
    std::function<void(WorldObject& object)> addShadow;                 // 129
    // 49: the white burst of a shot whose flags ask for one at its launch.
    std::function<void(const Vec3& point)> launchBurst;
    // 50, where a shot ended: on the ground; fire on what it struck; the
    // big burst; the spray along the shot's heading (dx, dz of unit
    // length); the dissolve of what it destroyed.
    std::function<void(const Vec3& point)> groundHit;
    std::function<void(const Vec3& point)> shotFire;
    std::function<void(const Vec3& point)> bigBurst;
    std::function<void(const Vec3& point, float dx, float dz)> spray;
    std::function<void(WorldObject& object)> destructionEffect;
    // 48: a one-shot attack ended; the keys' quick weapon, when readied, ends.
    std::function<void(WorldObject& unit)> quickWeaponEnd;

    // ---- below the session, replaceable by tests ----
    std::function<void(int32_t sound)> playSound;
    // A numbered sound heard from a point (a shot's report, its impact).
    std::function<void(int32_t sound, const Vec3& point)> playSoundAt;
    // The level's polygon under a point (127); unset: the current level's,
    // under its lock.
    std::function<bool(const Vec3& point)> polygonBelow;

    static ClientHooks& Get();
};
