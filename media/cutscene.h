// Cut-scenes: a camera and its actors moved along curves through timed
// points, firing timed events and showing subtitle lines. Built from a level's
// cut-scene chunks at level load (the environment loader hands them in), kept
// in one registry, and advanced by the camera update while one runs. The game
// side (finding actors, placing them, texts, animations) derives from
// CutScene and overrides the stage operations.
#pragma once

#include "app/maths.h"
#include "chunk/loaders/environment_loader.h"

#include <cstdint>
#include <istream>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trevok {

class CutsceneChunk;

// The subtitle rows of the section named `name` (any letter case) of a
// subtitle file: the first line is a heading, a section is a line without a
// leading tab, its rows the tab-led lines after it. A row's text is its
// second tab-separated field; byte 146 reads as an apostrophe and byte 133 as
// "...". A row without that field gives an empty line, so later rows keep
// their places.
std::vector<std::string> ReadSubtitles(std::istream& file, std::string_view name);

// The uniform Catmull-Rom curve through p1 (t = 0) and p2 (t = 1).
Vec3 CatmullRom(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3, float t);

struct CutsceneEventRecord {
    int32_t kind = 0;
    float delay = 0;       // seconds
    int32_t target = -1;   // the users whose target equals this
    int32_t flags = 0;
    int32_t value = 0;
    float floatValue = 0;
};

struct CutsceneTrackPoint {
    Vec3 position;
    float length = 0;   // to the next point
    float duration = 0; // seconds to the next point
};

struct CutsceneEventGroup {
    size_t segment = 0; // index of the segment's first point
    float fraction = 0;
    bool fired = false;
    std::vector<CutsceneEventRecord> events;
};

struct CutsceneTrack {
    // The real points between an extra point at each end.
    std::vector<CutsceneTrackPoint> points;
    float fieldOfView = 2.0f; // 2 tan(half the angle); 90 degrees gives 2
    bool hasStartOrientation = false;
    Quaternion startOrientation{0, 0, 0, 1};
    bool hasEndOrientation = false;
    Quaternion endOrientation{0, 0, 0, 1};
    float speed = 0; // when not 0, a segment takes length / speed seconds
    std::vector<CutsceneEventGroup> groups;

    // Real points (n) give segments 1 .. n-1 (by first point index).
    size_t FirstSegment() const { return 1; }
    size_t LastSegment() const { return points.size() >= 4 ? points.size() - 3 : 1; }
    bool HasSegments() const { return points.size() >= 4; }
    float SegmentTime(size_t segment) const;
    Vec3 PointAt(size_t segment, float fraction) const;
};

// The track of `positions` (already scaled and moved) with their durations:
// the extra end points copy the ends of a track of fewer than two points and
// are extrapolated otherwise, so every real segment has four neighbours.
CutsceneTrack BuildCutsceneTrack(const std::vector<Vec3>& positions, const std::vector<float>& durations);

constexpr int32_t kActorNotFound = std::numeric_limits<int32_t>::max();

struct CutsceneUser {
    std::string name, hierarchyName;
    bool hasName = false, hasHierarchyName = false;
    int32_t target = -1;
    bool isCamera = false, isTarget = false;
    int32_t actor = kActorNotFound;
    int32_t animation = 0;
    bool placing = false; // placed on its track every frame
    std::vector<CutsceneTrack> tracks;
    size_t track = 0;
    size_t segment = 1;
    float fraction = 0;
    bool ended = false;

    const CutsceneTrack* CurrentTrack() const { return track < tracks.size() ? &tracks[track] : nullptr; }
    Vec3 Position() const;
};

class CutScene {
public:
    CutScene() = default;
    virtual ~CutScene();  // a scene that goes while playing stops being the current one
    CutScene(const CutScene&) = delete;
    CutScene& operator=(const CutScene&) = delete;

    // Builds from the chunk; the chunk's strings are copied. Subtitles come
    // from `subtitles` when given (the registry reads the game's file).
    void Load(const CutsceneChunk& chunk, float scale, const Vec3& origin, std::istream* subtitles);

    virtual void Start(double time, int32_t value);
    virtual void Stop();

    const std::string& Name() const { return name_; }
    const std::vector<std::string>& Subtitles() const { return subtitles_; }
    std::vector<CutsceneUser>& Users() { return users_; }
    bool Paused() const { return paused_; }
    void SetPaused(bool on) { paused_ = on; }
    uint8_t muted_ = 0;

    // Advances the running cut-scene to `time` (seconds); false once it failed
    // or none runs. Without a camera or target user those outputs keep their
    // values.
    static bool AdvanceCurrent(double time, int32_t value, Vec3& camera, Vec3& target, float& fieldOfView);
    static void StopCurrent();
    static CutScene* Current();
    // Starts every registered cut-scene of that name, unless one runs.
    static void PlayByName(std::string_view name, double time, int32_t value);
    static void Register(std::unique_ptr<CutScene> scene);
    static void ClearAll();

protected:
    // The stage: what the game does for the cut-scene. The defaults do nothing.
    virtual int32_t FindActor(const CutsceneUser&) { return kActorNotFound; }
    virtual void PlaceActor(int32_t /*actor*/, const Vec3& /*position*/, const Quaternion& /*orientation*/) {}
    virtual int32_t StartAnimation(int32_t /*actor*/, int32_t /*value*/, int32_t /*flags*/, float /*speed*/) { return 0; }
    virtual void ShowText(const std::string& /*text*/) {}
    virtual void Request(int32_t /*value*/, float /*floatValue*/) {}

private:
    bool Advance(double time, Vec3& camera, Vec3& target, float& fieldOfView);
    bool AdvanceUser(CutsceneUser& user, float dt);
    bool Fire(const CutsceneEventRecord& event);
    Quaternion Orientation(const CutsceneUser& user) const;

    struct Pending {
        float left;
        CutsceneEventRecord event;
        bool fresh; // added during this step
    };

    std::string name_;
    std::vector<CutsceneUser> users_;
    std::vector<std::string> subtitles_;
    size_t nextSubtitle_ = 0;
    CutsceneUser* camera_ = nullptr;
    CutsceneUser* target_ = nullptr;
    double startTime_ = 0, lastTime_ = 0;
    int32_t startValue_ = 0, lastValue_ = 0;
    bool started_ = false;
    bool failed_ = false;
    bool paused_ = false;
    std::vector<Pending> pending_;
};

// What the environment loader hands level cut-scenes to: builds each into
// the registry, reading subtitles from `subtitleFile` (a data path).
class CutsceneRegistryReceiver final : public CutsceneReceiver {
public:
    explicit CutsceneRegistryReceiver(std::string subtitleFile = "tools inifile\\script_english.txt")
        : subtitleFile_(std::move(subtitleFile))
    {
    }
    void Load(const CutsceneChunk& cutscene, float scale, const Vec3& origin) override;

    // What a level's cut-scenes are made as: the game installs its own
    // class (the camera track); unset, plain cut-scenes.
    using Factory = std::unique_ptr<CutScene> (*)();
    static void SetFactory(Factory factory);

private:
    std::string subtitleFile_;
};

} // namespace trevok
