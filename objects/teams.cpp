#include "objects/teams.h"

#include "objects/world_object.h"

#include "Veapi/hierarchy.h"
#include "Veapi/ve_object.h"
#include "app/directories.h"
#include "app/string_table.h"
#include "chunk/loaders/environment_loader.h"
#include "chunk/loaders/hierarchy_loader.h"
#include "world/level.h"

#include <cmath>
#include <mutex>
#include <numbers>
#include <strings.h>

namespace {

// The records of the current level; rebuilt by every Build, freed at exit
// with the program's statics.
std::vector<TeamRecord> g_records;
int32_t g_ownSide = 1;
uint32_t g_gameType = 0;

Objectives::Show g_show;
std::function<std::string(int32_t)> g_text;

constexpr float kMessageX = 0.5f, kMessageY = 0.5f;
constexpr int32_t kCompletedText[3] = {9067, 9068, 9069};

std::string Text(int32_t id)
{
    if (g_text)
        return g_text(id);
    if (const char* text = id < 0 ? nullptr : StringTable::Global().Find(static_cast<uint32_t>(id)))
        return text;
    return {};
}

void ShowMessage(const std::string& text, int kind, float revealRate)
{
    if (g_show)
        g_show(text, kMessageX, kMessageY, kind, revealRate);
}

Colour MakeColour(float r, float g, float b)
{
    Colour c;
    c.red = r;
    c.green = g;
    c.blue = b;
    c.alpha = 1.0f;
    c.packed = 0;
    return c;
}

const LevelDummy* FindDummy(const Level& level, const std::string& name)
{
    for (const LevelDummy& dummy : level.dummies_) {
        if (strcasecmp(dummy.name.c_str(), name.c_str()) == 0)
            return &dummy;
    }
    return nullptr;
}

} // namespace

// ---- Flags -------------------------------------------------------------------

namespace {

// The shared flag model, loaded on first use and kept to the program's end.
// A flag made before the data folders are known (or while the file is
// missing) stays bare, but the next flag tries the file again.
std::mutex g_flagModelLock;
HierarchyPtr g_flagModel;

Hierarchy* SharedFlagModel()
{
    std::lock_guard<std::mutex> guard(g_flagModelLock);
    if (!g_flagModel) {
        const auto rifs = app::DataDirectories::Global().Folder(app::kRifsDirectory);
        if (auto record = rifs ? trevok::LoadEnvironmentFile(*rifs, "objects\\tf_flag.rif") : nullptr)
            g_flagModel = trevok::LoadHierarchyFromChunks("tf_flag", *record);
    }
    return g_flagModel.get();
}

} // namespace

std::function<VeObject*()>& TeamFlag::ShapeLoader()
{
    static std::function<VeObject*()> loader = []() -> VeObject* {
        Hierarchy* model = SharedFlagModel();
        return model ? VeObject::FromHierarchy(model, true) : nullptr;
    };
    return loader;
}

TeamFlag::TeamFlag(float x, float y, float z, uint64_t now) : home{x, y, z}, position{x, y, z}, time(now)
{
    if (ShapeLoader())
        object_ = ShapeLoader()();
    if (object_) {
        object_->placement_.SetPosition(position);
        object_->placement_.SetOrientation(Quaternion::Identity());
        object_->motionStart_ = now;
        if (object_->HasSequence(0))
            object_->PlaySequence(0, nullptr, -1, now, nullptr, 0, false);
    }
}

TeamFlag::~TeamFlag()
{
    if (object_)
        object_->Release();
}

void TeamFlag::Place(float x, float y, float z, uint64_t now)
{
    position = {x, y, z};
    time = now;
    if (object_)
        object_->placement_.SetPosition(position);
}

void TeamFlag::Draw(uint64_t now)
{
    time = now;
    DrawCarried();
}

void TeamFlag::DrawCarried()
{
    if (!object_)
        return;
    constexpr uint32_t kFlagRenderFlags = 0x4000000;
    ClientDraw draw{nullptr, 0, kFlagRenderFlags, false, false, false};
    draw.what = ClientDraw::What::kFlag;
    draw.shape = object_;
    WorldObjectTable::Queue(draw);
}

// ---- Records -----------------------------------------------------------------

CollisionPolygon* TeamRecord::PickFormationNode(const Vec3& reference, const Vec3& direction, const Vec3& offset,
                                                const LevelGrid* level, Vec3* point) const
{
    Vec3 at = reference;
    switch (formation) {
    case 0: {
        // The heading in 4096ths, as the tables turn, then back to radians.
        const int32_t heading = static_cast<int32_t>(std::floor(std::atan2(direction.x, direction.z) * 2048.0f /
                                                                std::numbers::pi_v<float>)) &
                                0xFFF;
        const float radians = static_cast<float>(heading) * std::numbers::pi_v<float> / 2048.0f;
        const float s = std::sin(radians), c = std::cos(radians);
        at = reference + Vec3{offset.x * c + offset.z * s, offset.y, -offset.x * s + offset.z * c};
        break;
    }
    case 1: at = reference + Vec3{-direction.z, 0, direction.x}; break;
    default: at = reference - direction; break;
    }
    if (point)
        *point = at;
    if (!level)
        return nullptr;
    LockGuard guard(const_cast<LevelGrid*>(level)->lock_, false);
    return level->FindPolygonAt(at);
}

namespace TeamTable {

void Build(uint32_t sides, int32_t ownSide, uint32_t gameType)
{
    g_records.clear();
    g_records.resize(sides);
    g_ownSide = ownSide;
    g_gameType = gameType;
    for (uint32_t i = 0; i < sides; ++i) {
        TeamRecord& r = g_records[i];
        r.side = i;
        r.inPlay = true;
        r.neutral = i == 0;
        r.squadSide = i != 0 && (i != 2 || gameType == 4);
        r.hostileSquad = r.squadSide && static_cast<int32_t>(i) != ownSide;
    }
}

void Clear() { g_records.clear(); }
uint32_t Count() { return static_cast<uint32_t>(g_records.size()); }
int32_t OwnSide() { return g_ownSide; }
uint32_t GameType() { return g_gameType; }

TeamRecord* Find(int32_t side)
{
    return side < 0 || static_cast<size_t>(side) >= g_records.size() ? nullptr : &g_records[static_cast<size_t>(side)];
}

bool IsNeutral(int32_t side)
{
    const TeamRecord* r = Find(side);
    return r && r->neutral;
}

bool IsSquadSide(int32_t side)
{
    const TeamRecord* r = Find(side);
    return r && r->squadSide;
}

} // namespace TeamTable

void TeamFlags::Setup(uint64_t time)
{
    const Level* level = Level::Current();
    for (TeamRecord& r : g_records) {
        if (!r.squadSide)
            continue;
        const float i = static_cast<float>(r.side);
        if (g_gameType == 5) {
            const std::string digit(1, static_cast<char>('0' + r.side % 10));
            const LevelDummy* flag = level ? FindDummy(*level, "Flag_" + digit) : nullptr;
            const LevelDummy* capture = level ? FindDummy(*level, "Capture_" + digit) : nullptr;
            r.flagHome = flag ? flag->position : Vec3{i, 0, i};
            r.flagPosition = r.flagHome;
            r.capturePoint = capture ? capture->position : Vec3{i, 0, i};
            r.flag = std::make_unique<TeamFlag>(r.flagHome.x, r.flagHome.y, r.flagHome.z, time);
        }
        if (g_gameType >= 2 && g_gameType <= 5) {
            r.lightColour = r.side == 3 ? MakeColour(0.1f, 0.7f, 0.1f)
                          : r.side == 4 ? MakeColour(0.1f, 0.1f, 0.7f)
                                        : MakeColour(0.7f, 0.1f, 0.1f);
        } else {
            r.emissive = MakeColour(0.6f, 0.0f, 0.0f);
        }
    }
}

// ---- Objectives --------------------------------------------------------------

void Objectives::SetShow(Show show) { g_show = std::move(show); }
void Objectives::SetTextSource(std::function<std::string(int32_t)> text) { g_text = std::move(text); }

int32_t Objectives::KindOf(const std::string& word)
{
    if (strcasecmp(word.c_str(), "PRIMARY") == 0)
        return 0;
    if (strcasecmp(word.c_str(), "SECONDARY") == 0)
        return 1;
    return 2;
}

void Objectives::Add(TeamRecord& record, int32_t kind, int32_t key, int32_t steps, int32_t prefix, int32_t suffix,
                     int32_t description)
{
    Objective o;
    o.kind = kind < 0 || kind > 2 ? 2 : kind;
    o.key = key;
    o.stepsLeft = steps;
    o.prefix = Text(prefix + kStringBase);
    o.suffix = Text(suffix + kStringBase);
    o.description = Text(description + kStringBase);
    record.objectives.push_back(std::move(o));
}

void Objectives::Complete(TeamRecord& record, int32_t key)
{
    for (Objective& o : record.objectives) {
        if (o.key != key || o.stepsLeft <= 0)
            continue;
        if (--o.stepsLeft == 0)
            ShowMessage(Text(kCompletedText[o.kind]), 0, 1.0f);
        else
            ShowMessage(o.prefix + std::to_string(o.stepsLeft) + o.suffix, 1, 0.4f);
    }
}

void Objectives::Fail(TeamRecord& record, int32_t key)
{
    for (Objective& o : record.objectives) {
        if (o.key == key)
            o.stepsLeft = -1;
    }
}

void Objectives::Update()
{
    TeamRecord* own = TeamTable::Find(g_ownSide);
    if (!own)
        return;
    for (const Objective& o : own->objectives) {
        if (o.stepsLeft > 0)
            ShowMessage(o.description, 0, 0.4f);
    }
}
