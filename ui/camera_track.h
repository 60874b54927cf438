// The game's in-engine cut-scene: a cut-scene whose parts act on the running
// game. Its cast are characters found in the level (addressed by object id)
// or loaded for the scene from "units\" (addressed by negative numbers:
// -1 is the first loaded); loaded members are drawn by the track itself.
// Subtitles become screen messages, fades go through the effects' screen
// fade. A level's "camera track" definitions make one each.
#pragma once

#include "app/maths.h"
#include "media/cutscene.h"
#include "platform/ref_counted.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

class Hierarchy;
class VeObject;
class WorldObject;

class CameraTrack : public trevok::CutScene {
public:
    static constexpr int32_t kNoCast = std::numeric_limits<int32_t>::max();
    static constexpr const char* kCastFolder = "units\\";
    static constexpr int kSubtitleKind = 2;

    CameraTrack() = default;
    ~CameraTrack() override;

    // Level cut-scenes are made as camera tracks from now on.
    static void Install();

    void Start(double time, int32_t value) override;
    void Stop() override;

    void DrawSceneObjects(uint64_t time);
    void ShowNextText(const std::string& text);
    // Direction 0 from black to clear, 1 from clear to black, over whole
    // seconds of the milliseconds given; other directions do nothing.
    void Fade(int32_t direction, int32_t milliseconds);
    static int32_t FadeSeconds(int32_t milliseconds);
    void PlayCastSequence(int32_t cast, int32_t sequence, int32_t flags, int32_t next);
    void StopCastSequences(int32_t cast);
    // The length in seconds of one play of the member's sequence; 1.0 when
    // the member or its sequence is absent.
    float GetCastSequenceValue(int32_t cast, int32_t sequence);
    // The cast number of a character in the level (its object id) or loaded
    // from "units\<name>"; kNoCast when neither exists.
    int32_t FindCharacter(const char* name, const char* hierarchy);
    void PlaceCastMember(int32_t cast, float seconds, const Vec3& position, const Quaternion& orientation);

    // A loaded member by negative cast number; null for any other number.
    VeObject* CastMember(int32_t cast) const;
    // A level character by cast number (an object id); null when absent.
    static WorldObject* LevelCharacter(int32_t cast);
    size_t CastCount() const { return cast_.size(); }
    size_t DrawCount() const { return drawList_.size(); }

protected:
    int32_t FindActor(const trevok::CutsceneUser& user) override;
    void PlaceActor(int32_t actor, const Vec3& position, const Quaternion& orientation) override;
    int32_t StartAnimation(int32_t actor, int32_t value, int32_t flags, float speed) override;
    void ShowText(const std::string& text) override;

private:
    VeObject* SequenceTarget(int32_t cast) const;
    void ReleaseCast();

    std::vector<Hierarchy*> held_;        // one use each
    std::vector<VeObject*> cast_;         // one reference each
    std::vector<VeObject*> drawList_;     // one reference each
    bool previewHidden_ = false;
};
