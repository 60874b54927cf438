// The effects' shared resources: six shapes cut from regions of one texture,
// the multiplying overlay material, the sphere-map materials, the scanner
// image of the overlay pass and the overlay camera. Built at start-up (the
// scanner at level load) and released at shut-down.
#pragma once

#include <cstdint>

class Camera;
class RenderMaterial;
class TextureEntry;
class VeObject;
class VeShape;

namespace EffectShapes {
enum Which : int { FlashSprite, SecondSprite, ThirdSprite, LaserStrip, Cone, RayBox, Count };

void Build();
void Release();
// Null before Build or after Release.
VeShape* Get(Which which);
// A new instance of the shape (one use; null without the shape).
VeObject* NewInstance(Which which, bool withBox);

// Texture names of the effects' data.
inline constexpr const char* kParticleTexture = "bitmaps\\particles.rim";
inline constexpr const char* kAlphaJunkTexture = "units\\alpha junk.rim";
inline constexpr const char* kReflectTexture = "units\\reflect.rim";
inline constexpr const char* kShinyTexture = "ground\\shiny.rim";
inline constexpr const char* kScannerTexture = "bitmaps\\scanner.rim";

// The particle texture the screen-space line traces draw with (one use,
// held from Build to Release); null outside them.
TextureEntry* TraceTexture();
RenderMaterial* OverlayMaterial();
RenderMaterial* SphereMapMaterial();
RenderMaterial* LevelSphereMapMaterial();
Camera* OverlayCamera();
} // namespace EffectShapes

namespace SphereMap {
// Builds the two sphere-map materials once (needs the default materials).
void LoadTexture();
} // namespace SphereMap

namespace Hud {
void CreateScanner();
void ReleaseScanner();
VeObject* Scanner();
} // namespace Hud
