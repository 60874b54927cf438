// The game view's cursor: a small animated model shown through the object
// preview, its shape following the cursor mode and what lies under the
// pointer. Loaded once at start-up; the main loop updates it each frame and
// the orders play a shape's sequence once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

class Hierarchy;

namespace GameCursor {

enum Shape { kUnselected, kStandard, kAttack, kAttackGround, kPickUp, kActivate, kDrop, kPass, kCameraLock, kShapeCount };

inline constexpr const char* kModelFile = "user interface/game_cursor.rif";
// Part names in shape order.
extern const char* const kPartNames[kShapeCount];

// What the cursor sends to the preview; unset members go to ObjectPreview.
struct Preview {
    std::function<void(Hierarchy*)> setHierarchy;
    std::function<void(int32_t sequence)> playLooped;
    std::function<void(int32_t sequence, uint8_t* done)> playOnce;
};
Preview& PreviewCalls();

// From the rifs directory; false (the cursor stays empty) when the file or a
// part is missing.
bool Load();
bool LoadFrom(const std::filesystem::path& folder);
void Release();
void Update();
void ShowOnce(Shape shape, int32_t sequence);

Shape Shown();
int32_t LoopedSequence();
bool Loaded(Shape shape);
// The shape and looped sequence the rules pick now (no preview call).
void Pick(Shape& shape, int32_t& sequence);

} // namespace GameCursor
