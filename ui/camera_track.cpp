#include "ui/camera_track.h"

#include "Veapi/camera.h"
#include "Veapi/hierarchy.h"
#include "Veapi/light_set.h"
#include "Veapi/object_preview.h"
#include "Veapi/sequence_player.h"
#include "Veapi/ve_object.h"
#include "app/app_time.h"
#include "console/command_files.h"
#include "console/screen_message.h"
#include "effects/effect_builders.h"
#include "objects/moving_object.h"
#include "objects/shape_cache.h"
#include "objects/world_object.h"
#include "script/records.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr int32_t kNormalSpeed = 65536; // 1.0 in 16.16

bool SameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// A level character's key (its role's name) against a name, over the
// shorter of the two; an empty key or name is no match.
bool KeyMatches(const std::string& key, std::string_view name)
{
    const size_t n = std::min(key.size(), name.size());
    return n > 0 && key.compare(0, n, name.substr(0, n)) == 0;
}

std::unique_ptr<trevok::CutScene> MakeTrack() { return std::make_unique<CameraTrack>(); }

} // namespace

void CameraTrack::Install() { trevok::CutsceneRegistryReceiver::SetFactory(MakeTrack); }

CameraTrack::~CameraTrack()
{
    ReleaseCast();
    // A track dropped with the level while it ran gives the preview back.
    if (previewHidden_)
        ObjectPreview::Resume();
}

void CameraTrack::ReleaseCast()
{
    for (VeObject* o : drawList_)
        o->Release();
    for (VeObject* o : cast_)
        o->Release();
    for (Hierarchy* h : held_)
        h->Release();
    drawList_.clear();
    cast_.clear();
    held_.clear();
}

void CameraTrack::Start(double time, int32_t value)
{
    if (!previewHidden_)
        ObjectPreview::Suspend();
    previewHidden_ = true;
    trevok::CutScene::Start(time, value);
}

void CameraTrack::Stop()
{
    const uint64_t now = uint64_t(AppTime::GameNow());
    const int32_t speed = kNormalSpeed;
    for (WorldObject* object : WorldObjectTable::Snapshot()) {
        // The squad hands its placement back to the server and is let go.
        if (object->TakesMotionOrders()) {
            static_cast<MovingObject*>(object)->SendMotionState(true);
            object->SetHighlight(false);
        }
        if (!object->ShownInCutScenes())
            continue;
        object->SetShownInCutScenes(false);
        if (!object->Shape())
            continue;
        object->Shape()->StopSequences(VeObject::kStopAll, 0);
        object->Shape()->PlaySequence(0, &speed, -1, now, nullptr, 0, false);
    }
    ReleaseCast();
    // The scene's files are not needed once it is over.
    ChunkFileCache::FreeAll();
    if (previewHidden_)
        ObjectPreview::Resume();
    previewHidden_ = false;
    trevok::CutScene::Stop();
}

void CameraTrack::DrawSceneObjects(uint64_t time)
{
    Camera* camera = &MainCamera::Get();
    for (VeObject* o : drawList_)
        o->QueueDraw(time, camera, LightSet::Global(2), nullptr, 0, 0, nullptr, nullptr, nullptr);
}

void CameraTrack::ShowNextText(const std::string& text)
{
    if (muted_)
        return;
    ScreenMessages::RemoveKind(kSubtitleKind);
    ScreenMessage::Create(0.05f, 1.0f, text, kSubtitleKind, 0.9f);
}

int32_t CameraTrack::FadeSeconds(int32_t milliseconds) { return std::max(0, milliseconds / 1000); }

void CameraTrack::Fade(int32_t direction, int32_t milliseconds)
{
    if (direction != 0 && direction != 1)
        return;
    Colour black, clear;
    black.Set(0, 0, 0, 1);
    clear.Set(0, 0, 0, 0);
    Effects::FadeParams params;
    params.start = direction == 0 ? black : clear;
    params.end = direction == 0 ? clear : black;
    Effects::AddScreenFade(float(FadeSeconds(milliseconds)), params);
}

VeObject* CameraTrack::CastMember(int32_t cast) const
{
    if (cast >= 0)
        return nullptr;
    // In 64 bits: the lowest number has no 32-bit negation.
    const int64_t index = -int64_t(cast) - 1;
    return uint64_t(index) < cast_.size() ? cast_[size_t(index)] : nullptr;
}

WorldObject* CameraTrack::LevelCharacter(int32_t cast)
{
    return cast >= 0 && cast != kNoCast ? WorldObjectTable::FindById(uint32_t(cast)) : nullptr;
}

VeObject* CameraTrack::SequenceTarget(int32_t cast) const
{
    if (VeObject* own = CastMember(cast))
        return own;
    WorldObject* object = LevelCharacter(cast);
    return object ? object->Shape() : nullptr;
}

void CameraTrack::PlayCastSequence(int32_t cast, int32_t sequence, int32_t flags, int32_t next)
{
    VeObject* target = SequenceTarget(cast);
    if (!target)
        return;
    const int32_t speed = kNormalSpeed;
    const int32_t repeat = (flags & 16) ? 1 : -1;
    const uint64_t now = uint64_t(AppTime::GameNow());
    const bool has = target->HasSequence(sequence);
    if (has && next != -1)
        target->PlaySequenceOnTrack(sequence, &speed, repeat, now, nullptr, uint32_t(flags) | 4, false, next);
    else
        target->PlaySequence(sequence, &speed, repeat, now, nullptr, uint32_t(flags) | (has ? 0x44u : 0u), false);
    GetCastSequenceValue(cast, sequence);
}

void CameraTrack::StopCastSequences(int32_t cast)
{
    if (VeObject* target = SequenceTarget(cast))
        target->StopSequences(VeObject::kStopAll, 0);
}

float CameraTrack::GetCastSequenceValue(int32_t cast, int32_t sequence)
{
    VeObject* target = SequenceTarget(cast);
    const Sequence* record =
        target && target->Root() ? Sequences::Find(target->Root()->sequences_.get(), sequence) : nullptr;
    if (!record)
        return 1.0f;
    const int32_t perSecond = SequencePlayer::TicksPerSecond();
    return perSecond > 0 ? float(double(record->length_) / double(perSecond)) : 1.0f;
}

int32_t CameraTrack::FindCharacter(const char* name, const char* hierarchy)
{
    if (!name || !*name)
        return kNoCast;
    const std::string_view wanted(name);
    for (WorldObject* object : WorldObjectTable::Snapshot()) {
        const script::Role* role = object->GetRole();
        if (role && KeyMatches(role->identifier, wanted) && object->GetId() < uint32_t(kNoCast))
            return int32_t(object->GetId());
    }
    // Loaded cast come only from the game's own units folder.
    if (CommandFiles::Escapes(name) || (hierarchy && CommandFiles::Escapes(hierarchy)))
        return kNoCast;
    const std::string file = std::string(kCastFolder) + name;
    Hierarchy* tree = nullptr;
    if (hierarchy && *hierarchy) {
        tree = HierarchyCache::Get(file, hierarchy);
    } else {
        std::vector<const std::string*> listed;
        ChunkFileCache::ListHierarchies(file, listed);
        // The name without its extension; a name too short to have one
        // matches no hierarchy, and the first is taken.
        const std::string_view stem = wanted.size() > 4 ? wanted.substr(0, wanted.size() - 4) : std::string_view();
        const std::string* pick = listed.empty() ? nullptr : listed.front();
        for (const std::string* n : listed)
            if (!stem.empty() && SameIgnoringCase(*n, stem)) {
                pick = n;
                break;
            }
        if (pick)
            tree = HierarchyCache::Get(file, *pick);
    }
    if (!tree)
        return kNoCast;
    VeObject* object = VeObject::FromHierarchy(tree, true);
    if (!object) {
        tree->Release();
        return kNoCast;
    }
    held_.push_back(tree);
    object->placement_.SetPosition({0, 0, 0});
    object->placement_.SetOrientation(Quaternion(0, 0, 0, 1));
    cast_.push_back(object);
    object->AddRef();
    drawList_.push_back(object);
    return -int32_t(cast_.size());
}

void CameraTrack::PlaceCastMember(int32_t cast, float seconds, const Vec3& position, const Quaternion& orientation)
{
    if (VeObject* own = CastMember(cast)) {
        own->placement_.SetPosition(position);
        own->placement_.SetOrientation(orientation);
        return;
    }
    WorldObject* object = LevelCharacter(cast);
    if (!object || !object->SetPlacement(position, orientation, seconds))
        return;
    object->SetHighlight(true);
    if (object->TakesMotionOrders())
        static_cast<MovingObject*>(object)->PlacedByCutScene(position);
    object->SetShownInCutScenes(true);
}

int32_t CameraTrack::FindActor(const trevok::CutsceneUser& user)
{
    return FindCharacter(user.hasName ? user.name.c_str() : nullptr,
                         user.hasHierarchyName ? user.hierarchyName.c_str() : nullptr);
}

void CameraTrack::PlaceActor(int32_t actor, const Vec3& position, const Quaternion& orientation)
{
    PlaceCastMember(actor, 0.0f, position, orientation);
}

int32_t CameraTrack::StartAnimation(int32_t actor, int32_t value, int32_t flags, float)
{
    PlayCastSequence(actor, value, flags, -1);
    return value;
}

void CameraTrack::ShowText(const std::string& text) { ShowNextText(text); }
