#include "objects/orders.h"

#include "objects/server_link.h"
#include "world/collision_polygon.h"
#include "world/level_grid.h"

#include <utility>

void OrderRecord::Write(trevok::ByteWriter& out) const
{
    out.I32(kind);
    out.I32(targetId);
    out.I32(value);
    out.I32(slot);
    out.F32(position.x);
    out.F32(position.y);
    out.F32(position.z);
    out.I32(polygon ? static_cast<int32_t>(polygon->tableIndex_) : -1);
    out.I32(attack);
}

bool OrderRecord::Read(trevok::ByteReader& in, LevelGrid* level, OrderRecord& record)
{
    OrderRecord r;
    r.kind = in.I32();
    r.targetId = in.I32();
    r.value = in.I32();
    r.slot = in.I32();
    r.position = {in.F32(), in.F32(), in.F32()};
    const int32_t polygon = in.I32();
    r.attack = in.I32();
    if (!in.Ok() || r.kind < 0 || r.kind > OrderKind::kLast)
        return false;
    // Earlier saves kept an ammunition change's type in the id word.
    if (r.kind == OrderKind::kChangeAmmo && r.targetId >= 0) {
        r.value = r.targetId;
        r.targetId = -1;
    }
    if (polygon >= 0) {
        r.polygon = level ? level->PolygonAt(static_cast<uint32_t>(polygon)) : nullptr;
        if (!r.polygon)
            return false;
    }
    record = r;
    return true;
}

void OutMessage::Send(bool guaranteed) const
{
    const std::span<const uint8_t> bytes = Bytes();
    ServerLink::Get().Send(bytes.data(), static_cast<uint32_t>(bytes.size()), guaranteed);
}

namespace ServerFlags {
namespace {
std::atomic<bool> g_paused{false}, g_cutScene{false}, g_godMode{false}, g_unlimitedAmmo{false};
} // namespace
std::atomic<bool>& Paused() { return g_paused; }
std::atomic<bool>& CutScenePlaying() { return g_cutScene; }
std::atomic<bool>& GodMode() { return g_godMode; }
std::atomic<bool>& UnlimitedAmmo() { return g_unlimitedAmmo; }
} // namespace ServerFlags

namespace {
ServerOutbox g_outbox;
} // namespace

ServerOutbox& ServerOutbox::Global() { return g_outbox; }

void ServerOutbox::PrintText(int32_t stringId)
{
    std::lock_guard guard(lock_);
    texts_.push_back(stringId);
}

std::vector<int32_t> ServerOutbox::TakeTexts()
{
    std::lock_guard guard(lock_);
    return std::exchange(texts_, {});
}

void ServerOutbox::Cue(const ServerCue& cue)
{
    std::lock_guard guard(lock_);
    // A frame that never comes (no game thread draining) keeps only the
    // latest burst rather than growing without end.
    constexpr size_t kMostKept = 256;
    if (cues_.size() >= kMostKept)
        cues_.erase(cues_.begin());
    cues_.push_back(cue);
}

std::vector<ServerCue> ServerOutbox::TakeCues()
{
    std::lock_guard guard(lock_);
    return std::exchange(cues_, {});
}
