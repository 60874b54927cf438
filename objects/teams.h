// The sides of a level: one TeamRecord per side with its relation to the own
// side, its score (the server's copy is the one that counts; clients keep a
// view), the formation of its group moves, its mission objectives and, in
// capture the flag, its flag. The level start rebuilds the table; the
// objective commands add, complete and fail objectives; the key F1 shows them.
#pragma once

#include "app/maths.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CollisionPolygon;
class LevelGrid;
class VeObject;

struct Objective {
    int32_t kind = 0;        // 0 "PRIMARY", 1 "SECONDARY", 2 anything else
    int32_t key = 0;
    int32_t stepsLeft = 0;   // -1 failed, 0 completed
    std::string prefix, suffix, description;
};

// A capture-the-flag flag: its home, where it stands now, and its shape.
class TeamFlag {
public:
    TeamFlag(float x, float y, float z, uint64_t time);
    ~TeamFlag();
    TeamFlag(const TeamFlag&) = delete;
    TeamFlag& operator=(const TeamFlag&) = delete;

    void Place(float x, float y, float z, uint64_t time);
    VeObject* Object() const { return object_; }
    // Queued where it stands, stamped with the time; sort key 0.
    void Draw(uint64_t time);
    // Queued where its carrier put it (Place).
    void DrawCarried();

    Vec3 home{0, 0, 0};
    Vec3 position{0, 0, 0};
    bool carried = false;
    bool present = true;
    uint64_t time = 0;

    // The shared flag shape ("tf_flag" of "objects/tf_flag.rif"): a fresh
    // instance per flag, or null. The game installs the loader.
    static std::function<VeObject*()>& ShapeLoader();

private:
    VeObject* object_ = nullptr;
};

struct TeamRecord {
    bool hostileSquad = false;
    bool inPlay = false;
    bool squadSide = false;
    bool neutral = false;
    uint32_t side = 0;
    int32_t score = 0;
    Vec3 flagHome{0, 0, 0}, flagPosition{0, 0, 0}, capturePoint{0, 0, 0};
    std::unique_ptr<TeamFlag> flag;
    Colour lightColour{};       // the colour of the side's flag lights
    Colour emissive{};
    int32_t formation = 2;      // 0, 1 or 2
    std::vector<Objective> objectives;

    // Where a unit of a group move should go: 0 the offset turned to the
    // direction's heading, 1 beside the reference, 2 behind it; the polygon
    // under that point (null when none, or without a level).
    CollisionPolygon* PickFormationNode(const Vec3& reference, const Vec3& direction, const Vec3& offset,
                                        const LevelGrid* level, Vec3* point = nullptr) const;
};

namespace TeamTable {
// One record per side (the old ones and their objectives and flags go).
void Build(uint32_t sides, int32_t ownSide, uint32_t gameType);
void Clear();
uint32_t Count();
int32_t OwnSide();
uint32_t GameType();
// Null for a side outside the table.
TeamRecord* Find(int32_t side);
// Side 0 is neutral; a side outside the table is neither neutral nor a squad.
bool IsNeutral(int32_t side);
bool IsSquadSide(int32_t side);
} // namespace TeamTable

namespace TeamFlags {
// Level load: flags and capture points from the level dummies "Flag_<i>"
// and "Capture_<i>" ((i, 0, i) when missing) in game type 5, and the
// sides' colours.
void Setup(uint64_t time);
} // namespace TeamFlags

namespace Objectives {
inline constexpr int32_t kStringBase = 2000;  // string ids of the commands are + 2000
// How a screen message is shown; the game installs the screen-message
// list, tests record. Unset: nothing is shown.
using Show = std::function<void(const std::string& text, float x, float y, int kind, float revealRate)>;
void SetShow(Show show);
// The text of a string id; unset: the number in decimal.
void SetTextSource(std::function<std::string(int32_t id)> text);

// "PRIMARY" 0, "SECONDARY" 1, any other word 2 (ignoring case).
int32_t KindOf(const std::string& word);
void Add(TeamRecord& record, int32_t kind, int32_t key, int32_t steps, int32_t prefix, int32_t suffix,
         int32_t description);
// One step off every open objective of the key; completed or failed ones
// are left alone and show nothing.
void Complete(TeamRecord& record, int32_t key);
void Fail(TeamRecord& record, int32_t key);
// The own side's open objectives, each as a screen message.
void Update();
} // namespace Objectives
