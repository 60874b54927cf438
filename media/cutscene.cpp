#include "media/cutscene.h"

#include "chunk/cutscene_chunks.h"
#include "app/directories.h"
#include "platform/data_path.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace trevok {

namespace {

constexpr float kFirstStepLimit = 0.04f; // seconds: a late first frame does not jump the scene
constexpr int32_t kTrackEndMark = 0;     // a kind-3 value that fails the scene

bool SameName(std::string_view a, std::string_view b)
{
    return SameNameIgnoringCase(a, b);
}

std::string SubtitleText(std::string_view row)
{
    // row starts with its tab; the text lies after the second tab
    const size_t second = row.find('\t', 1);
    if (second == std::string_view::npos)
        return {};
    std::string_view field = row.substr(second + 1);
    field = field.substr(0, field.find('\t'));
    std::string text;
    for (const char c : field) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 146)
            text += '\'';
        else if (byte == 133)
            text += "...";
        else
            text += c;
    }
    return text;
}

float FieldOfViewValue(float degrees)
{
    return 2.0f * std::tan(degrees * 0.5f * float(M_PI) / 180.0f);
}

} // namespace

std::vector<std::string> ReadSubtitles(std::istream& file, std::string_view name)
{
    std::vector<std::string> rows;
    std::string line;
    bool inSection = false;
    bool first = true;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (first) {
            first = false;
            continue;
        }
        const bool row = !line.empty() && line[0] == '\t';
        if (inSection) {
            if (!row)
                break;
            rows.push_back(SubtitleText(line));
            continue;
        }
        if (row)
            continue;
        std::string_view heading = line;
        while (!heading.empty() && heading.back() == '\t')
            heading.remove_suffix(1);
        inSection = SameName(heading, name);
    }
    return rows;
}

Vec3 CatmullRom(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3, float t)
{
    const float t2 = t * t, t3 = t2 * t;
    return (p1 * 2.0f + (p2 - p0) * t + (p0 * 2.0f - p1 * 5.0f + p2 * 4.0f - p3) * t2 +
            (p1 * 3.0f - p0 - p2 * 3.0f + p3) * t3) *
           0.5f;
}

float CutsceneTrack::SegmentTime(size_t segment) const
{
    const CutsceneTrackPoint& p = points[segment];
    if (speed == 0)
        return p.duration;
    return speed > 0 ? p.length / speed : std::numeric_limits<float>::infinity();
}

Vec3 CutsceneTrack::PointAt(size_t segment, float fraction) const
{
    if (!HasSegments())
        return points.size() > 1 ? points[1].position : Vec3{0, 0, 0};
    if (fraction >= 1.0f)
        return points[segment + 1].position;
    return CatmullRom(points[segment - 1].position, points[segment].position, points[segment + 1].position,
                      points[segment + 2].position, fraction);
}

CutsceneTrack BuildCutsceneTrack(const std::vector<Vec3>& positions, const std::vector<float>& durations)
{
    CutsceneTrack track;
    if (positions.empty())
        return track;
    const size_t n = positions.size();
    track.points.resize(n + 2);
    for (size_t i = 0; i < n; ++i) {
        track.points[i + 1].position = positions[i];
        track.points[i + 1].duration = i < durations.size() ? durations[i] : 0.0f;
    }
    if (n < 2) {
        track.points.front().position = positions.front();
        track.points.back().position = positions.back();
    } else {
        track.points.front().position = positions[0] * 2.0f - positions[1];
        track.points.back().position = positions[n - 1] * 2.0f - positions[n - 2];
    }
    for (size_t i = 0; i + 1 < track.points.size(); ++i)
        track.points[i].length = (track.points[i + 1].position - track.points[i].position).Length();
    return track;
}

Vec3 CutsceneUser::Position() const
{
    const CutsceneTrack* current = CurrentTrack();
    return current ? current->PointAt(segment, fraction) : Vec3{0, 0, 0};
}

// ---- building ----

namespace {

CutsceneEventRecord EventRecord(const CutsceneEvent& event)
{
    CutsceneEventRecord record;
    record.kind = event.type_;
    record.delay = float(event.secondTime_ != 0 ? event.secondTime_ : event.time_) / 1000.0f;
    record.target = event.value_;
    if (const auto* words = dynamic_cast<const CutsceneWordsEvent*>(&event)) {
        const auto word = [&](size_t i) { return i < words->words_.size() ? words->words_[i] : 0; };
        switch (event.type_) {
        case 2:
            record.value = word(1);
            record.flags = word(3);
            record.floatValue = words->FloatWord(4);
            break;
        case 3: record.value = int32_t(words->FloatWord(1)); break;
        case 8:
            record.value = word(1);
            record.flags = word(3);
            record.floatValue = words->FloatWord(2);
            break;
        default: break;
        }
    } else if (const auto* rounded = dynamic_cast<const CutsceneRoundedEvent*>(&event)) {
        record.value = rounded->rounded_;
        record.floatValue = std::bit_cast<float>(rounded->words_[0]);
    }
    return record;
}

// Where on the track `seconds` of travel lead; past the end: the end.
void PlaceGroup(const CutsceneTrack& track, float seconds, CutsceneEventGroup& group)
{
    group.segment = track.FirstSegment();
    group.fraction = 0;
    if (!track.HasSegments())
        return;
    for (size_t s = track.FirstSegment(); s <= track.LastSegment(); ++s) {
        const float t = track.SegmentTime(s);
        if (seconds < t) {
            group.segment = s;
            group.fraction = t > 0 ? std::clamp(seconds / t, 0.0f, 1.0f) : 0.0f;
            return;
        }
        seconds -= t;
    }
    group.segment = track.LastSegment();
    group.fraction = 1.0f;
}

CutsceneTrack LoadTrack(const CutsceneTrackChunk& chunk, float scale, const Vec3& origin, float fovOverride)
{
    std::vector<Vec3> positions;
    std::vector<float> durations;
    const CutscenePointsChunk* points = chunk.GetPoints();
    if (points) {
        const size_t n = points->points_.size();
        for (size_t i = 0; i < n; ++i) {
            const auto& p = points->points_[i];
            positions.push_back(Vec3{float(p[0]) * scale + origin.x, float(p[1]) * scale + origin.y,
                                     float(p[2]) * scale + origin.z});
            const uint32_t ms = uint32_t(p[3]) & 0xFFFFFF;
            durations.push_back(ms == 0 && i + 1 < n ? 1.0f : float(ms) / 1000.0f);
        }
    }
    CutsceneTrack track = BuildCutsceneTrack(positions, durations);
    float degrees = 90.0f;
    if (fovOverride != 0)
        degrees = fovOverride;
    else if (const CutsceneFovChunk* fov = chunk.GetFieldOfView())
        degrees = fov->FieldOfView();
    track.fieldOfView = FieldOfViewValue(degrees);
    if (points) {
        const auto word = [&](size_t i) { return std::bit_cast<float>(points->trailing_[i]); };
        track.hasStartOrientation = points->Flag(8);
        track.hasEndOrientation = points->Flag(9);
        track.startOrientation = Quaternion{word(0), word(1), word(2), word(3)};
        track.endOrientation = Quaternion{word(4), word(5), word(6), word(7)};
    }
    std::vector<CutsceneEventChunk*> eventChunks;
    chunk.GetEvents(eventChunks);
    for (const CutsceneEventChunk* events : eventChunks) {
        CutsceneEventGroup group;
        PlaceGroup(track, events->StartTime(), group);
        for (const auto& event : events->events_)
            group.events.push_back(EventRecord(*event));
        track.groups.push_back(std::move(group));
    }
    return track;
}

// Who looks and who is looked at: bits of the user's fourth data word.
constexpr int32_t kCameraUserBit = 1;
constexpr int32_t kTargetUserBit = 2;

} // namespace

void CutScene::Load(const CutsceneChunk& chunk, float scale, const Vec3& origin, std::istream* subtitles)
{
    if (const CutsceneDataChunk* data = chunk.GetData())
        name_ = data->name_;
    std::vector<CutsceneUserChunk*> users;
    chunk.GetUsers(users);
    for (const CutsceneUserChunk* userChunk : users) {
        CutsceneUser user;
        float fovOverride = 0;
        if (const CutsceneUserDataChunk* data = userChunk->GetData()) {
            user.name = data->name_;
            user.hasName = !data->name_.empty();
            user.target = data->Word(0);
            user.isCamera = (data->Word(3) & kCameraUserBit) != 0;
            user.isTarget = (data->Word(3) & kTargetUserBit) != 0;
            fovOverride = data->FloatWord(4);
        }
        if (const std::string* hierarchy = userChunk->GetHierarchyName()) {
            user.hierarchyName = *hierarchy;
            user.hasHierarchyName = true;
        }
        std::vector<CutsceneTrackChunk*> tracks;
        userChunk->GetTracks(tracks);
        for (const CutsceneTrackChunk* track : tracks)
            user.tracks.push_back(LoadTrack(*track, scale, origin, fovOverride));
        users_.push_back(std::move(user));
    }
    if (subtitles)
        subtitles_ = ReadSubtitles(*subtitles, name_);
}

// ---- running ----

namespace {

struct Registry {
    std::vector<std::unique_ptr<CutScene>> scenes;
    CutScene* current = nullptr;
};

// Game thread only: level load fills it, the camera update runs it. At
// namespace scope, so it outlives the shell's exit handlers that stop the
// level and clear it.
Registry g_scenes;
Registry& Scenes() { return g_scenes; }

} // namespace

CutScene::~CutScene()
{
    if (Scenes().current == this)
        Scenes().current = nullptr;
}

void CutScene::Start(double time, int32_t value)
{
    Scenes().current = this;
    startTime_ = lastTime_ = time;
    startValue_ = lastValue_ = value;
    started_ = true;
    failed_ = false;
    nextSubtitle_ = 0;
    pending_.clear();
    camera_ = target_ = nullptr;
    for (CutsceneUser& user : users_) {
        user.track = 0;
        user.segment = 1;
        user.fraction = 0;
        user.ended = user.tracks.empty();
        user.placing = false;
        for (CutsceneTrack& track : user.tracks)
            for (CutsceneEventGroup& group : track.groups)
                group.fired = false;
        if (user.isCamera && !camera_)
            camera_ = &user;
        if (user.isTarget && !target_)
            target_ = &user;
        if (user.actor == kActorNotFound)
            user.actor = FindActor(user);
        if (user.actor != kActorNotFound)
            PlaceActor(user.actor, user.Position(), Orientation(user));
    }
}

void CutScene::Stop()
{
    for (CutsceneUser& user : users_)
        user.actor = kActorNotFound;
}

bool CutScene::Fire(const CutsceneEventRecord& event)
{
    switch (event.kind) {
    case 2:
    case 8: {
        int32_t flags = ((event.flags & 1) ? 0 : 16) | ((event.flags & 2) ? 512 : 0);
        if (event.kind == 8 && (event.flags & 8))
            flags |= 64;
        const float speed = event.kind == 8 ? event.floatValue : 0.0f;
        for (CutsceneUser& user : users_)
            if (user.target == event.target && user.actor != kActorNotFound)
                user.animation = StartAnimation(user.actor, event.value, flags, speed);
        return true;
    }
    case 3:
        if (event.value == kTrackEndMark)
            return false;
        if (event.value == 1)
            for (CutsceneUser& user : users_)
                if (user.target == event.target)
                    user.placing = true;
        return true;
    case 7:
        if (nextSubtitle_ < subtitles_.size())
            ShowText(subtitles_[nextSubtitle_++]);
        return true;
    case 10: Request(event.value, event.floatValue); return true;
    default: return true;
    }
}

bool CutScene::AdvanceUser(CutsceneUser& user, float dt)
{
    bool ok = true;
    while (!user.ended) {
        const CutsceneTrack& track = user.tracks[user.track];
        if (!track.HasSegments()) {
            // a track of one point: its events fire as it is reached
            for (CutsceneEventGroup& group : user.tracks[user.track].groups)
                if (!group.fired) {
                    group.fired = true;
                    for (const CutsceneEventRecord& event : group.events)
                        if (event.delay > 0)
                            pending_.push_back({event.delay - dt, event, true});
                        else
                            ok = Fire(event) && ok;
                }
        } else {
            const float t = track.SegmentTime(user.segment);
            const float left = (1.0f - user.fraction) * t;
            CutsceneEventGroup* next = nullptr;
            for (CutsceneEventGroup& group : user.tracks[user.track].groups)
                if (!group.fired && group.segment == user.segment && group.fraction >= user.fraction &&
                    (!next || group.fraction < next->fraction))
                    next = &group;
            if (next && (next->fraction - user.fraction) * t <= dt) {
                dt -= (next->fraction - user.fraction) * t;
                user.fraction = std::min(next->fraction, 1.0f);
                next->fired = true;
                // a delayed event counts its delay from the group, not from the frame's start
                for (const CutsceneEventRecord& event : next->events)
                    if (event.delay > 0)
                        pending_.push_back({event.delay - dt, event, true});
                    else
                        ok = Fire(event) && ok;
                continue;
            }
            if (dt < left) {
                user.fraction = t > 0 ? 1.0f - (left - dt) / t : 1.0f;
                return ok;
            }
            dt -= left;
            if (user.segment < track.LastSegment()) {
                ++user.segment;
                user.fraction = 0;
                continue;
            }
        }
        if (user.track + 1 < user.tracks.size()) {
            ++user.track;
            user.segment = 1;
            user.fraction = 0;
        } else {
            user.fraction = 1.0f;
            user.ended = true;
        }
    }
    return ok;
}

Quaternion CutScene::Orientation(const CutsceneUser& user) const
{
    const CutsceneTrack* track = user.CurrentTrack();
    if (!track || !track->HasSegments())
        return Quaternion::Identity();
    if (track->hasStartOrientation && user.segment == track->FirstSegment() && user.fraction == 0)
        return track->startOrientation;
    const bool atEnd = user.segment == track->LastSegment() && user.fraction >= 1.0f;
    if (track->hasEndOrientation && atEnd)
        return track->endOrientation;
    const auto at = [&](float f) {
        size_t s = user.segment;
        if (f < 0 && s > track->FirstSegment()) {
            --s;
            f += 1.0f;
        } else if (f > 1 && s < track->LastSegment()) {
            ++s;
            f -= 1.0f;
        }
        return track->PointAt(s, std::clamp(f, 0.0f, 1.0f));
    };
    const Vec3 a = atEnd ? at(0.999f) : at(user.fraction - 0.001f);
    const Vec3 b = atEnd ? track->PointAt(user.segment, 1.0f) : at(user.fraction + 0.001f);
    // heading in 4096ths of a turn, as every angle of the game is kept
    const float steps = std::floor(std::atan2(b.x - a.x, b.z - a.z) * 4096.0f / (2.0f * float(M_PI)));
    const float half = steps * float(M_PI) / 4096.0f;
    return {0, std::sin(half), 0, std::cos(half)};
}

bool CutScene::Advance(double time, Vec3& camera, Vec3& target, float& fieldOfView)
{
    float dt = paused_ ? 0.0f : float(time - lastTime_);
    if (started_ && !paused_)
        dt = std::min(dt, kFirstStepLimit);
    started_ = false;
    lastTime_ = time;
    for (CutsceneUser& user : users_)
        if (!AdvanceUser(user, dt))
            failed_ = true;
    for (CutsceneUser& user : users_)
        if (user.actor != kActorNotFound)
            PlaceActor(user.actor, user.Position(), Orientation(user));
    // events put in the list during this step already counted the time after their group
    std::vector<Pending> due;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (!it->fresh)
            it->left -= dt;
        it->fresh = false;
        if (it->left <= 0) {
            due.push_back(*it);
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
    std::stable_sort(due.begin(), due.end(), [](const Pending& a, const Pending& b) { return a.left < b.left; });
    for (const Pending& p : due)
        if (!Fire(p.event))
            failed_ = true;
    if (camera_) {
        camera = camera_->Position();
        if (const CutsceneTrack* track = camera_->CurrentTrack())
            fieldOfView = track->fieldOfView;
    }
    if (target_)
        target = target_->Position();
    return !failed_;
}

bool CutScene::AdvanceCurrent(double time, int32_t value, Vec3& camera, Vec3& target, float& fieldOfView)
{
    CutScene* scene = Scenes().current;
    if (!scene)
        return false;
    scene->lastValue_ = value;
    return scene->Advance(time, camera, target, fieldOfView);
}

void CutScene::StopCurrent()
{
    if (CutScene* scene = Scenes().current) {
        scene->Stop();
        Scenes().current = nullptr;
    }
}

CutScene* CutScene::Current()
{
    return Scenes().current;
}

void CutScene::PlayByName(std::string_view name, double time, int32_t value)
{
    if (Scenes().current)
        return;
    for (const auto& scene : Scenes().scenes)
        if (SameName(scene->Name(), name))
            scene->Start(time, value);
}

void CutScene::Register(std::unique_ptr<CutScene> scene)
{
    Scenes().scenes.push_back(std::move(scene));
}

void CutScene::ClearAll()
{
    Scenes().current = nullptr;
    Scenes().scenes.clear();
}

namespace {
CutsceneRegistryReceiver::Factory g_sceneFactory = nullptr;
}

void CutsceneRegistryReceiver::SetFactory(Factory factory) { g_sceneFactory = factory; }

void CutsceneRegistryReceiver::Load(const CutsceneChunk& cutscene, float scale, const Vec3& origin)
{
    std::unique_ptr<CutScene> scene = g_sceneFactory ? g_sceneFactory() : nullptr;
    if (!scene)
        scene = std::make_unique<CutScene>();
    std::ifstream file;
    if (const auto path = platform::ResolveDataPath(app::DataDirectories::Global().StartDirectory(), subtitleFile_))
        file.open(*path, std::ios::binary);
    scene->Load(cutscene, scale, origin, file.is_open() ? &file : nullptr);
    CutScene::Register(std::move(scene));
}

} // namespace trevok
