#include "session/saved_game.h"

#include "app/app_time.h"
#include "app/clock.h"
#include "objects/game_object.h"
#include "objects/image_fields.h"
#include "objects/inventory.h"
#include "objects/level_triggers.h"
#include "objects/object_registry.h"
#include "objects/projectile.h"
#include "objects/role_table.h"
#include "objects/server_kinds.h"
#include "objects/typed_objects.h"
#include "platform/os.h"
#include "script/records.h"
#include "session/game_state.h"
#include "session/message_queue.h"
#include "session/save_slots.h"
#include "session/server_objects.h"
#include "session/session_placeholders.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unordered_set>

namespace fs = std::filesystem;

LevelStateBlock& LevelStateBlock::Live()
{
    static LevelStateBlock block;
    return block;
}

void LevelStateBlock::Write(trevok::ByteWriter& out) const
{
    out.Bytes(waitDeadlines.data(), waitDeadlines.size());
    out.U8(flag16);
    out.U8(flag17);
    out.U8(flag18);
    out.U8(flag19);
    out.U32(word20);
    out.U32(displayMode);
    for (uint32_t w : words28)
        out.U32(w);
    out.U32(word48);
    out.U32(word52);
    out.U32(sunWord56);
    for (float c : sunColour)
        out.F32(c);
    out.U32(sunWord76);
    for (float d : sunDirection)
        out.F32(d);
    out.F32(value92);
    out.U32(levelPhase);
    out.U8(clickWait);
    out.U8(clicked);
    out.Zeros(2);
}

void LevelStateBlock::Read(trevok::ByteReader& in)
{
    in.Bytes(waitDeadlines.data(), waitDeadlines.size());
    flag16 = in.U8();
    flag17 = in.U8();
    flag18 = in.U8();
    flag19 = in.U8();
    word20 = in.U32();
    displayMode = in.U32();
    for (uint32_t& w : words28)
        w = in.U32();
    word48 = in.U32();
    word52 = in.U32();
    sunWord56 = in.U32();
    for (float& c : sunColour)
        c = in.F32();
    sunWord76 = in.U32();
    for (float& d : sunDirection)
        d = in.F32();
    value92 = in.F32();
    levelPhase = in.U32();
    clickWait = in.U8();
    clicked = in.U8();
    in.Skip(2);
}

void LevelStateBlock::TakeLoaded(const LevelStateBlock& stored)
{
    flag16 = stored.flag16;
    flag18 = stored.flag18;
    flag19 = stored.flag19;
    word52 = stored.word52;
    sunWord56 = stored.sunWord56;
    sunColour = stored.sunColour;
    sunWord76 = stored.sunWord76;
    sunDirection = stored.sunDirection;
    value92 = stored.value92;
    // The loading phase marks a load running in this program; a file that
    // stores it would leave the next level without its map objects.
    if (stored.levelPhase != kPhaseLoading)
        levelPhase = stored.levelPhase;
}

namespace SavedGame {
namespace {
using trevok::ByteReader;
using trevok::ByteWriter;

constexpr ClassInfo kClasses[] = {
    {ClassTag::kPlain, 256, 0, false, false, false},
    {ClassTag::kActor, 440, 0, true, false, false},
    {ClassTag::kUnitActor, 648, 0, true, true, false},
    {ClassTag::kProjectile, 328, 0, false, false, true},
    {ClassTag::kKind5, 272, 5, false, false, false},
    {ClassTag::kKind8, 408, 8, false, false, false},
    {ClassTag::kKind9, 256, 9, false, false, false},
    {ClassTag::kKind10, 280, 10, false, false, false},
    {ClassTag::kKind11, 256, 11, false, false, false},
    {ClassTag::kKind12, 656, 12, true, true, false},
    {ClassTag::kKind13, 656, 13, true, true, false},
    {ClassTag::kKind14, 480, 14, true, false, false},
    {ClassTag::kKind16, 656, 16, true, true, false},
    {ClassTag::kKind17, 456, 17, true, false, false},
};

constexpr ClassInfo kReplicaClasses[] = {
    {ClassTag::kReplica, 256, 0, false, false, false},
    {ClassTag::kReplicaMoving, 464, 0, true, false, false},
    {ClassTag::kReplicaUnit, 632, 0, true, true, false},
    {ClassTag::kReplicaProjectile, 320, 0, false, false, true},
    {ClassTag::kReplica5, 272, 5, false, false, false},
    {ClassTag::kReplica8, 416, 8, false, false, false},
    {ClassTag::kReplica9, 280, 9, false, false, false},
    {ClassTag::kReplica10, 272, 10, false, false, false},
    {ClassTag::kReplica11, 304, 11, false, false, false},
    // A chain segment (12) answers to 13 as well: it comes first.
    {ClassTag::kReplica12, 640, 12, true, true, false},
    {ClassTag::kReplica13, 640, 13, true, true, false},
    {ClassTag::kReplica14, 504, 14, true, false, false},
    {ClassTag::kReplica16, 640, 16, true, true, false},
    {ClassTag::kReplica17, 480, 17, true, false, false},
};
constexpr uint32_t kLastReplicaSlot = 12;

constexpr uint32_t kOrderSize = 36, kWaypointSize = 16, kMoveToWaypoint = 2;
constexpr uint32_t kMaxBodySlot = 31;
// Weapon type + 1 and the ammunition type, as the unit's weapon takes them.
constexpr uint32_t kMaxWeaponType = script::kWeaponTypes, kMaxAmmoType = script::kAmmoTypes - 1;
constexpr size_t kActorPathState = 0x150;
constexpr int32_t kLastPathState = 3;
constexpr uint32_t kMaxFogSize = 4096;
constexpr size_t kCommandFileWord = 0x10c;

bool SoundPlacement(const ObjectRecord& record)
{
    const Vec3 p = record.Position();
    const Quaternion q = record.Orientation();
    return std::ranges::all_of(std::array{p.x, p.y, p.z, q.x, q.y, q.z, q.w}, ImageField::Sound);
}

class Parser {
public:
    explicit Parser(std::span<const uint8_t> bytes) : in_(bytes) {}

    bool Fail(std::string what)
    {
        if (error_.empty())
            error_ = "offset " + std::to_string(in_.Position()) + ": " + std::move(what);
        in_.Fail();
        return false;
    }
    const std::string& Error() const { return error_; }
    ByteReader& In() { return in_; }

    // A count whose records take at least `minSize` bytes each.
    bool Count(uint32_t& count, size_t minSize, const char* what)
    {
        count = in_.U32();
        if (!in_.Ok())
            return Fail(std::string("truncated before the ") + what + " count");
        if (minSize != 0 && count > in_.Remaining() / minSize)
            return Fail(std::string(what) + " count " + std::to_string(count) + " beyond the file");
        return true;
    }
    bool String(std::string& out, const char* what, uint32_t maxLength = CountedString::kMaxLength)
    {
        auto text = CountedString::Read(in_, maxLength);
        if (!text)
            return Fail(std::string("bad ") + what + " (empty, unterminated, too long or truncated)");
        out = std::move(*text);
        return true;
    }
    bool Objects(std::vector<ObjectRecord>& out, bool server);
    bool Head(File& file);
    bool FullWorld(World& world);

private:
    ByteReader in_;
    std::string error_;
};

bool Parser::Objects(std::vector<ObjectRecord>& out, bool server)
{
    const char* what = server ? "server object" : "client object";
    uint32_t count = 0;
    if (!Count(count, 4 + 256 + 8, what))
        return false;
    std::unordered_set<uint32_t> ids;
    for (uint32_t i = 0; i < count; ++i) {
        ObjectRecord record;
        uint32_t size = in_.U32();
        if (!in_.Ok() || size < 4 || !in_.Has(size))
            return Fail(std::string(what) + " image size " + std::to_string(size) + " beyond the file");
        auto image = in_.Take(size);
        uint32_t tag = ByteReader(image).U32();
        record.info = server ? FindClass(tag) : FindReplicaClass(tag);
        if (!record.info)
            return Fail(std::string(what) + " has unknown class tag " + std::to_string(tag));
        if (record.info->size != size)
            return Fail(std::string(what) + " image of " + std::to_string(size) + " bytes for a class of " +
                        std::to_string(record.info->size));
        record.image.assign(image.begin(), image.end());
        record.roleId = in_.I32();
        record.objectId = in_.U32();
        if (!in_.Ok())
            return Fail(std::string("truncated ") + what + " record");
        if (record.roleId < -1)
            return Fail(std::string(what) + " role " + std::to_string(record.roleId) + " out of range");
        // Only a projectile is made without a level role.
        if (record.roleId == -1 && !record.info->projectile)
            return Fail(std::string(what) + " " + std::to_string(record.objectId) + " has no role");
        // Server ids start at 1; the client's count from 0.
        if ((server && record.objectId == 0) || !ids.insert(record.objectId).second)
            return Fail(std::string(what) + " id " + std::to_string(record.objectId) + " stored twice or zero");
        if (server && record.info->actor) {
            int32_t path = ByteReader(record.image).At(kActorPathState).I32();
            if (path < 0 || path > kLastPathState)
                return Fail(std::string(what) + " path state " + std::to_string(path) + " out of range");
        }
        int32_t side = record.Side();
        if (side < 0 || side >= kSides)
            return Fail(std::string(what) + " side " + std::to_string(side) + " out of range");
        // An actor is placed where its image says before its own fields
        // are read (other kinds may stand outside the world on purpose).
        if (record.info->actor && !SoundPlacement(record))
            return Fail(std::string(what) + " " + std::to_string(record.objectId) + " placed at no sound position");
        size_t remaining = in_.Remaining();
        ByteReader probe = in_;
        std::span<const uint8_t> tail = probe.Take(remaining);
        const size_t length = server ? ServerStateLength(tail, *record.info, record.image)
                                     : ReplicaStateLength(tail, *record.info);
        if (length == 0)
            return Fail(std::string(what) + " state block damaged");
        auto state = in_.Take(length);
        record.state.assign(state.begin(), state.end());
        out.push_back(std::move(record));
    }
    return true;
}

bool Parser::Head(File& file)
{
    if (!String(file.levelScript, "level script name") || !String(file.companion, "companion file name"))
        return false;
    uint32_t levelStart = in_.U32();
    if (!in_.Ok() || levelStart > 1)
        return Fail("level-start flag " + std::to_string(levelStart) + " is not 0 or 1");
    file.levelStart = levelStart == 1;
    InventorySnapshot items;
    std::string why;
    if (!items.Read(in_, &why))
        return Fail(why);
    file.items = items.Units();
    uint32_t blockSize = in_.U32();
    if (!in_.Ok() || !in_.Has(std::min(blockSize, LevelStateBlock::kSize)))
        return Fail("level state block truncated");
    // A stored block of another size: its first 104 bytes at most, over
    // the defaults, and the rest skipped.
    std::vector<uint8_t> scratch;
    ByteWriter defaults(scratch);
    LevelStateBlock().Write(defaults);
    auto stored = in_.Take(std::min(blockSize, LevelStateBlock::kSize));
    std::copy(stored.begin(), stored.end(), scratch.begin());
    if (blockSize > LevelStateBlock::kSize) {
        if (!in_.Has(blockSize - LevelStateBlock::kSize))
            return Fail("level state block truncated");
        in_.Skip(blockSize - LevelStateBlock::kSize);
    }
    ByteReader block(scratch);
    file.block.Read(block);
    return true;
}

bool Parser::FullWorld(World& world)
{
    world.gameTime = in_.F32();
    world.nextObjectId = in_.U32();
    if (!in_.Ok())
        return Fail("truncated clock");
    if (!Objects(world.serverObjects, true) || !Objects(world.clientObjects, false))
        return false;
    for (const ObjectRecord& record : world.serverObjects) {
        if (record.objectId >= world.nextObjectId)
            return Fail("object id " + std::to_string(record.objectId) + " not below the next id");
    }
    uint32_t owners = 0;
    if (!Count(owners, 8, "item owner"))
        return false;
    world.nextItemId = in_.U32();
    std::unordered_set<uint32_t> ownerIds;
    for (uint32_t i = 0; i < owners; ++i) {
        ItemOwner owner;
        owner.ownerId = in_.U32();
        uint32_t items = 0;
        if (!Count(items, kItemRecordSize, "carried item"))
            return false;
        if (!ownerIds.insert(owner.ownerId).second)
            return Fail("item owner " + std::to_string(owner.ownerId) + " stored twice");
        owner.items.resize(items);
        for (auto& item : owner.items)
            In().Bytes(item.data(), item.size());
        world.owners.push_back(std::move(owner));
    }
    uint32_t count = 0;
    if (!Count(count, 5, "command line"))
        return false;
    world.lines.resize(count);
    for (std::string& line : world.lines) {
        if (!String(line, "command line", kMaxLineLength))
            return false;
    }
    if (!Count(count, 5 + 4, "named value"))
        return false;
    world.namedValues.resize(count);
    for (auto& [name, value] : world.namedValues) {
        if (!String(name, "named value name", kMaxNamedValueLength))
            return false;
        value = in_.F32();
    }
    if (!Count(count, 5, "part name"))
        return false;
    world.partNames.resize(count);
    for (std::string& name : world.partNames) {
        if (!String(name, "part name"))
            return false;
    }
    if (!Count(count, kTriggerImageSize + 4, "trigger"))
        return false;
    world.triggers.resize(count);
    for (Trigger& trigger : world.triggers) {
        in_.Bytes(trigger.image.data(), trigger.image.size());
        uint32_t kind = ByteReader(trigger.image).U32();
        if (in_.Ok() && kind > kLastTriggerKind)
            return Fail("trigger kind " + std::to_string(kind) + " out of range");
        if (ByteReader(trigger.image).At(68).U32() != 0) {
            std::string name;
            if (!String(name, "trigger script name"))
                return false;
            trigger.scriptName = std::move(name);
        }
        uint32_t names = 0;
        if (!Count(names, 5, "trigger name"))
            return false;
        trigger.names.resize(names);
        for (std::string& name : trigger.names) {
            if (!String(name, "trigger name"))
                return false;
        }
    }
    if (!Count(count, 12, "door"))
        return false;
    world.doors.resize(count);
    for (Door& door : world.doors) {
        door.number = in_.U32();
        uint32_t polygons = 0;
        if (!Count(polygons, 4, "door polygon"))
            return false;
        door.polygons.resize(polygons);
        for (uint32_t& p : door.polygons)
            p = in_.U32();
        uint32_t closed = in_.U32();
        if (!in_.Ok() || closed > 1)
            return Fail("door closed flag " + std::to_string(closed) + " is not 0 or 1");
        door.closed = closed == 1;
    }
    for (float& a : world.camera.angles)
        a = in_.F32();
    world.camera.target = {in_.F32(), in_.F32(), in_.F32()};
    world.camera.distance = in_.F32();
    world.fogSize = in_.U32();
    if (!in_.Ok())
        return Fail("truncated camera or fog");
    const Camera& camera = world.camera;
    for (float v : {camera.angles[0], camera.angles[1], camera.angles[2], camera.target.x, camera.target.y,
                    camera.target.z, camera.distance}) {
        if (!std::isfinite(v))
            return Fail("camera value not finite");
    }
    uint64_t cells = uint64_t{world.fogSize} * world.fogSize;
    if (world.fogSize > kMaxFogSize || cells > in_.Remaining() / 4)
        return Fail("fog grid " + std::to_string(world.fogSize) + " beyond the file");
    world.fogCells.resize(cells);
    for (uint32_t& cell : world.fogCells)
        cell = in_.U32();
    if (!Count(count, 24, "laser fence"))
        return false;
    world.fences.resize(count);
    for (Fence& fence : world.fences) {
        fence.start = {in_.F32(), in_.F32(), in_.F32()};
        fence.end = {in_.F32(), in_.F32(), in_.F32()};
    }
    if (!in_.Ok())
        return Fail("truncated");
    return true;
}

void WriteObjects(ByteWriter& out, const std::vector<ObjectRecord>& records)
{
    out.U32(static_cast<uint32_t>(records.size()));
    for (const ObjectRecord& record : records) {
        out.U32(static_cast<uint32_t>(record.image.size()));
        out.Bytes(record.image);
        out.I32(record.roleId);
        out.U32(record.objectId);
        out.Bytes(record.state);
    }
}

void WriteWorld(ByteWriter& out, const World& world)
{
    out.F32(world.gameTime);
    out.U32(world.nextObjectId);
    WriteObjects(out, world.serverObjects);
    WriteObjects(out, world.clientObjects);
    out.U32(static_cast<uint32_t>(world.owners.size()));
    out.U32(world.nextItemId);
    for (const ItemOwner& owner : world.owners) {
        out.U32(owner.ownerId);
        out.U32(static_cast<uint32_t>(owner.items.size()));
        for (const auto& item : owner.items)
            out.Bytes(item.data(), item.size());
    }
    out.U32(static_cast<uint32_t>(world.lines.size()));
    for (const std::string& line : world.lines)
        CountedString::Write(out, line);
    out.U32(static_cast<uint32_t>(world.namedValues.size()));
    for (const auto& [name, value] : world.namedValues) {
        CountedString::Write(out, name);
        out.F32(value);
    }
    out.U32(static_cast<uint32_t>(world.partNames.size()));
    for (const std::string& name : world.partNames)
        CountedString::Write(out, name);
    out.U32(static_cast<uint32_t>(world.triggers.size()));
    for (const Trigger& trigger : world.triggers) {
        std::array<uint8_t, kTriggerImageSize> image = trigger.image;
        // The script-name word says whether a name follows.
        ByteWriter(std::span<uint8_t>(image).subspan(68)).U32(trigger.scriptName ? 1 : 0);
        out.Bytes(image.data(), image.size());
        if (trigger.scriptName)
            CountedString::Write(out, *trigger.scriptName);
        out.U32(static_cast<uint32_t>(trigger.names.size()));
        for (const std::string& name : trigger.names)
            CountedString::Write(out, name);
    }
    out.U32(static_cast<uint32_t>(world.doors.size()));
    for (const Door& door : world.doors) {
        out.U32(door.number);
        out.U32(static_cast<uint32_t>(door.polygons.size()));
        for (uint32_t p : door.polygons)
            out.U32(p);
        out.U32(door.closed ? 1 : 0);
    }
    for (float a : world.camera.angles)
        out.F32(a);
    out.F32(world.camera.target.x);
    out.F32(world.camera.target.y);
    out.F32(world.camera.target.z);
    out.F32(world.camera.distance);
    out.U32(world.fogSize);
    for (uint32_t cell : world.fogCells)
        out.U32(cell);
    out.U32(static_cast<uint32_t>(world.fences.size()));
    for (const Fence& fence : world.fences) {
        for (const Vec3& v : {fence.start, fence.end}) {
            out.F32(v.x);
            out.F32(v.y);
            out.F32(v.z);
        }
    }
}

bool Fail(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
    return false;
}

// What a stored object's LoadState refused, with the image word when a
// number in it was the cause.
bool FailDamaged(std::string* error, const char* what, uint32_t id, std::optional<size_t> word)
{
    std::string text = std::string(what) + " " + std::to_string(id) + " has a damaged state";
    if (word) {
        char hex[24];
        std::snprintf(hex, sizeof hex, "0x%zx", *word);
        text += std::string(" (image word ") + hex + " is not a sound number)";
    }
    return Fail(error, std::move(text));
}

// Largest saved game read: well above any level's world.
constexpr uint64_t kMaxSaveBytes = 256u << 20;

std::optional<CarriedItem> ReadItem(std::span<const uint8_t, kItemRecordSize> bytes)
{
    ByteReader in(bytes);
    CarriedItem item;
    item.kind = in.I32();
    in.Skip(16);  // the look and shape words, derived again from the role
    item.value = in.I32();
    item.amount = in.I32();
    item.roleId = in.I32();
    item.subtype = in.I32();
    item.id = in.I32();
    item.limit = in.U32();
    item.count = in.U32();
    item.roleLimit = in.I32();
    if (item.roleId < 0 ? -item.roleId >= InventorySnapshot::kBuiltinRows
                        : RoleTable::Global().FindById(item.roleId) == nullptr)
        return std::nullopt;
    FindLooksAgain(item);
    return item;
}

ObjectRecord CaptureServerObject(const GameObject& object)
{
    ObjectRecord record;
    record.info = &ClassOf(object);
    record.image.assign(record.info->size, 0);
    object.WriteImage(record.image);
    ByteWriter(std::span<uint8_t>(record.image)).U32(static_cast<uint32_t>(record.info->tag));
    record.roleId = object.GetRole() ? object.GetRole()->id : -1;
    record.objectId = object.GetId();
    ByteWriter state(record.state);
    object.SaveState(state);
    return record;
}

ObjectRecord CaptureReplica(const WorldObject& object)
{
    ObjectRecord record;
    record.info = &ReplicaClassOf(object);
    record.image.assign(record.info->size, 0);
    object.WriteImage(record.image);
    ByteWriter(std::span<uint8_t>(record.image)).U32(static_cast<uint32_t>(record.info->tag));
    record.roleId = object.GetRole() ? object.GetRole()->id : -1;
    record.objectId = object.GetId();
    ByteWriter state(record.state);
    object.SaveState(state);
    return record;
}

World CaptureWorld()
{
    World world;
    Hooks& hooks = GetHooks();
    world.gameTime = hooks.gameSeconds ? hooks.gameSeconds() : 0.0f;
    ObjectRegistry& registry = ObjectRegistry::Global();
    world.nextObjectId = registry.PeekNextId();
    for (GameObject* object : registry.Snapshot()) {
        world.serverObjects.push_back(CaptureServerObject(*object));
        if (Inventory* inventory = object->GetInventory()) {
            ItemOwner owner{object->GetId(), {}};
            for (const CarriedItem& item : inventory->Items()) {
                if (item.kind == ItemKind::kInitial)
                    continue;
                std::vector<uint8_t> bytes;
                item.WriteRecord(bytes);
                auto& record = owner.items.emplace_back();
                std::copy_n(bytes.begin(), record.size(), record.begin());
            }
            world.owners.push_back(std::move(owner));
        }
    }
    // A replica without a role could not be made again on load; only a
    // shot is made without one.
    for (const WorldObject* object : WorldObjectTable::Snapshot()) {
        if (object->GetRole() || object->IsKind(0))
            world.clientObjects.push_back(CaptureReplica(*object));
    }
    world.nextItemId = static_cast<uint32_t>(CarriedItemIds::Peek());
    for (const Hooks::Section& section : hooks.sections) {
        if (section.save)
            section.save(world);
    }
    return world;
}

// Makes every stored server object under its stored id; false on the first
// one that cannot be made as stored.
bool MakeServerObjects(const World& world, std::string* error)
{
    Hooks& hooks = GetHooks();
    ObjectRegistry& registry = ObjectRegistry::Global();
    for (const ObjectRecord& record : world.serverObjects) {
        script::Role* role = nullptr;
        if (record.roleId >= 0 && !(role = RoleTable::Global().FindById(record.roleId)))
            return Fail(error, "object " + std::to_string(record.objectId) + " has unknown role " +
                                   std::to_string(record.roleId));
        if (registry.Find(record.objectId))
            return Fail(error, "object id " + std::to_string(record.objectId) + " already in use");
        GameObject* object = nullptr;
        if (record.info->projectile) {
            // Made where it flies now; its start and velocity come from the image.
            const uint32_t id = registry.TakeNextId();
            object = hooks.createDynamic ? hooks.createDynamic(record, id)
                                         : new Projectile(record.Side(), role, record.Position(),
                                                          record.Orientation(), 0, 0, 0xFFFFFFFFu, id);
        } else {
            int32_t id = Server::CreateLevelObject(record.Side(), role, record.Position(), record.Orientation());
            object = id < 0 ? nullptr : registry.Find(static_cast<uint32_t>(id));
        }
        if (!object || object->SizeInBytes() != record.info->size || &ClassOf(*object) != record.info)
            return Fail(error, "object " + std::to_string(record.objectId) + " cannot be made as stored");
        registry.Rekey(*object, record.objectId);
        ByteReader state(record.state);
        if (!object->LoadState(state, record.image))
            return FailDamaged(error, "object", record.objectId, object->UnsoundWord());
    }
    registry.SetNextId(world.nextObjectId);
    return true;
}

// Makes every stored replica under its stored id, the way the server
// objects are made; the client's id counter goes on from the stored one.
bool MakeReplicas(const World& world, std::string* error)
{
    for (const ObjectRecord& record : world.clientObjects) {
        script::Role* role = nullptr;
        if (record.roleId >= 0 && !(role = RoleTable::Global().FindById(record.roleId)))
            return Fail(error, "replica " + std::to_string(record.objectId) + " has unknown role " +
                                   std::to_string(record.roleId));
        if (WorldObjectTable::FindById(record.objectId))
            return Fail(error, "replica id " + std::to_string(record.objectId) + " already in use");
        WorldObject* object = nullptr;
        if (record.info->projectile)
            object = new WorldProjectile(record.Side(), role, record.Position(), record.Orientation(), 0, 0, -1,
                                         WorldObjectTable::TakeNextId());
        else
            object = WorldObject::CreateByRole(record.Side(), role, record.Position(), record.Orientation());
        if (!object)
            return Fail(error, "replica " + std::to_string(record.objectId) + " cannot be made as stored");
        if (object->SizeInBytes() != record.info->size || &ReplicaClassOf(*object) != record.info ||
            !WorldObjectTable::Rekey(*object, record.objectId)) {
            object->Release();
            return Fail(error, "replica " + std::to_string(record.objectId) + " cannot be made as stored");
        }
        ByteReader state(record.state);
        if (!object->LoadState(state, record.image))
            return FailDamaged(error, "replica", record.objectId, object->UnsoundWord());
    }
    // Never below a stored replica's id: a new replica must not take one in use.
    uint32_t next = world.nextObjectId;
    for (const ObjectRecord& record : world.clientObjects) {
        if (record.objectId < WorldObjectTable::kFirstClientOnlyId)
            next = std::max(next, record.objectId + 1);
    }
    WorldObjectTable::SetNextId(next);
    return true;
}

// The server object's items, and a copy in its replica's inventory when
// the replica keeps one.
bool GiveItems(const World& world, std::string* error)
{
    CarriedItemIds::Set(static_cast<int32_t>(world.nextItemId));
    for (const ItemOwner& owner : world.owners) {
        GameObject* object = ObjectRegistry::Global().Find(owner.ownerId);
        Inventory* inventory = object ? object->GetInventory() : nullptr;
        if (!inventory)
            return Fail(error, "item owner " + std::to_string(owner.ownerId) + " has no inventory");
        WorldObject* replica = WorldObjectTable::FindById(owner.ownerId);
        Inventory* copy = replica ? replica->GetInventory() : nullptr;
        for (const auto& bytes : owner.items) {
            auto item = ReadItem(bytes);
            if (!item)
                return Fail(error, "item of owner " + std::to_string(owner.ownerId) + " names an unknown role");
            inventory->Add(*item);
            if (copy)
                copy->Add(*item);
        }
    }
    return true;
}

// While a full load rebuilds the world: no pick-up spawns what the save
// brings back, and the console skips waits and world-changing lines.
class RestoringScope {
public:
    RestoringScope() { Tell(true); }
    ~RestoringScope() { Tell(false); }
    RestoringScope(const RestoringScope&) = delete;
    RestoringScope& operator=(const RestoringScope&) = delete;

private:
    static void Tell(bool on)
    {
        ServerKinds::SetRestoring(on);
        for (const Hooks::Section& section : GetHooks().sections) {
            if (section.restoring)
                section.restoring(on);
        }
    }
};

// Everything after the running level stopped; false leaves a partial world
// that the caller ends.
bool RebuildWorld(const File& file, std::string* error)
{
    Hooks& hooks = GetHooks();
    const World& world = *file.world;
    if (hooks.loadLevel && !hooks.loadLevel(CurrentLevel()))
        return Fail(error, "the level " + file.levelScript + " did not load");
    if (!MakeServerObjects(world, error) || !MakeReplicas(world, error) || !GiveItems(world, error))
        return false;
    // Every reference is resolved before any object runs.
    for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
        if (!object->AfterLoad())
            return Fail(error, "object " + std::to_string(object->GetId()) + " refers to a missing object or role");
    }
    const std::vector<WorldObject*> replicas = WorldObjectTable::Snapshot();
    for (WorldObject* replica : replicas)
        replica->FixUpAfterLoad();
    for (const Hooks::Section& section : hooks.sections) {
        if (section.load && !section.load(world))
            return Fail(error, "the level state could not be restored");
    }
    // What making the objects told the client is the save's already.
    ServerToClientQueue.Clear();
    CommandFileQueue.Clear();
    // Both clocks go on from the saved time: the replicas advance by the
    // client's, and the server objects' saved times (reloads, orders, the
    // next refresh) are on the server's.
    const uint64_t savedTicks = WorldObject::SecondsToTicks(world.gameTime);
    AppTime::SetGameTime(static_cast<int64_t>(savedTicks));
    Server::ServerClock().SetTicks(savedTicks);
    // Each server object goes on from its own saved clock: activated at 0,
    // its first pass would take the whole saved time as one step.
    for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
        const uint64_t previous = object->previous_;
        const float last = object->lastUpdate_;
        object->Activate(object->now_, object->nowSeconds_);
        object->previous_ = previous;
        object->lastUpdate_ = last;
    }
    for (WorldObject* replica : replicas)
        replica->ActivateLoaded();
    return true;
}
} // namespace

LevelNames& CurrentLevel() { return Session::Names(); }

Hooks& GetHooks()
{
    static Hooks hooks;
    return hooks;
}

void AddSection(Hooks::Section section) { GetHooks().sections.push_back(std::move(section)); }

std::optional<std::vector<uint8_t>> ReadSave(std::string_view name, std::string* error)
{
    fs::path path = SavedGames::PathOf(name);
    if (path.empty()) {
        Fail(error, std::string(name) + ": not a saved-game name");
        return std::nullopt;
    }
    return platform::ReadWholeFile(path, kMaxSaveBytes, error);
}

bool CheckFile(std::string_view name, std::string* error)
{
    auto bytes = ReadSave(name, error);
    File file;
    return bytes && Parse(*bytes, file, error);
}

const ClassInfo* FindClass(uint32_t tag)
{
    for (const ClassInfo& info : kClasses) {
        if (static_cast<uint32_t>(info.tag) == tag)
            return &info;
    }
    return nullptr;
}

const ClassInfo& ClassOf(const GameObject& object)
{
    for (const ClassInfo& info : kClasses) {
        if (info.kind != 0 && object.IsKind(info.kind))
            return info;
    }
    if (object.IsProjectile())
        return *FindClass(static_cast<uint32_t>(ClassTag::kProjectile));
    if (object.IsUnit())
        return *FindClass(static_cast<uint32_t>(ClassTag::kUnitActor));
    if (object.IsActor())
        return *FindClass(static_cast<uint32_t>(ClassTag::kActor));
    return kClasses[0];
}

const ClassInfo* FindReplicaClass(uint32_t tag)
{
    for (const ClassInfo& info : kReplicaClasses) {
        if (static_cast<uint32_t>(info.tag) == tag)
            return &info;
    }
    return nullptr;
}

const ClassInfo& ReplicaClassOf(const WorldObject& object)
{
    for (const ClassInfo& info : kReplicaClasses) {
        if (info.kind != 0 && object.IsKind(info.kind))
            return info;
    }
    if (object.IsKind(0))
        return *FindReplicaClass(static_cast<uint32_t>(ClassTag::kReplicaProjectile));
    if (object.IsUnit())
        return *FindReplicaClass(static_cast<uint32_t>(ClassTag::kReplicaUnit));
    if (object.IsMobile())
        return *FindReplicaClass(static_cast<uint32_t>(ClassTag::kReplicaMoving));
    return kReplicaClasses[0];
}

size_t ReplicaStateLength(std::span<const uint8_t> state, const ClassInfo& info)
{
    ByteReader in(state);
    auto count = [&](size_t minSize) -> std::optional<uint32_t> {
        uint32_t n = in.U32();
        if (!in.Ok() || n > in.Remaining() / minSize)
            return std::nullopt;
        return n;
    };
    in.Skip(4);  // shown role + 1
    if (info.actor) {
        auto slots = count(8);
        if (!slots)
            return 0;
        for (uint32_t i = 0; i < *slots; ++i) {
            in.U32();
            if (in.U32() > kLastReplicaSlot)
                return 0;
        }
        auto orders = count(kOrderSize);
        if (!orders)
            return 0;
        for (uint32_t i = 0; i < *orders; ++i) {
            uint32_t kind = in.U32();
            in.Skip(kOrderSize - 4);
            if (kind > static_cast<uint32_t>(kMaxOrderKind))
                return 0;
            if (kind == kMoveToWaypoint)
                in.U32();
        }
    }
    if (info.unit) {
        uint32_t weapon = in.U32();
        uint32_t ammo = in.U32();
        if (weapon > kMaxWeaponType || ammo > kMaxAmmoType)
            return 0;
        in.Skip(8);  // weapon item and target, id + 1
    }
    if (info.projectile)
        in.Skip(4);
    if (info.kind == 8) {
        auto riders = count(4);
        if (!riders)
            return 0;
        in.Skip(size_t{*riders} * 4);
    }
    return in.Ok() ? in.Position() : 0;
}

int32_t ObjectRecord::Side() const { return ByteReader(image).At(0x04).I32(); }

Vec3 ObjectRecord::Position() const
{
    ByteReader in = ByteReader(image).At(0x08);
    return {in.F32(), in.F32(), in.F32()};
}

Quaternion ObjectRecord::Orientation() const
{
    ByteReader in = ByteReader(image).At(0x14);
    return {in.F32(), in.F32(), in.F32(), in.F32()};
}

size_t ServerStateLength(std::span<const uint8_t> state, const ClassInfo& info, std::span<const uint8_t> image)
{
    ByteReader in(state);
    auto count = [&](size_t minSize) -> std::optional<uint32_t> {
        uint32_t n = in.U32();
        if (!in.Ok() || n > in.Remaining() / minSize)
            return std::nullopt;
        return n;
    };
    in.Skip(8);  // replacement role and held object, resolved after loading
    if (info.actor) {
        auto slots = count(8);
        if (!slots)
            return 0;
        for (uint32_t i = 0; i < *slots; ++i) {
            in.U32();
            if (in.U32() > kMaxBodySlot)
                return 0;
        }
        auto orders = count(kOrderSize);
        if (!orders)
            return 0;
        for (uint32_t i = 0; i < *orders; ++i) {
            uint32_t kind = in.U32();
            in.Skip(kOrderSize - 4);
            if (kind > static_cast<uint32_t>(kMaxOrderKind))
                return 0;
            if (kind == kMoveToWaypoint)
                in.U32();
        }
        in.U32();  // destination polygon + 1
        auto waypoints = count(kWaypointSize);
        if (!waypoints)
            return 0;
        in.Skip(size_t{*waypoints} * kWaypointSize);
        auto second = count(kWaypointSize);
        if (!second)
            return 0;
        in.Skip(size_t{*second} * kWaypointSize);
    }
    if (info.unit) {
        uint32_t weapon = in.U32();
        uint32_t ammo = in.U32();
        if (weapon > kMaxWeaponType || ammo > kMaxAmmoType)
            return 0;
        in.Skip(8);  // weapon item and target, id + 1
    }
    if (info.projectile)
        in.Skip(4);
    // A kind-10 object's command file name follows when its image's word
    // at 0x10c says it has one.
    if (info.kind == 10 && ByteReader(image).At(kCommandFileWord).U32() != 0) {
        if (!CountedString::Read(in))
            return 0;
    }
    if (info.kind == 8) {
        auto riders = count(4);
        if (!riders)
            return 0;
        in.Skip(size_t{*riders} * 4);
    }
    return in.Ok() ? in.Position() : 0;
}

std::vector<uint8_t> Write(const File& file)
{
    std::vector<uint8_t> bytes;
    ByteWriter out(bytes);
    CountedString::Write(out, file.levelScript);
    CountedString::Write(out, file.companion);
    out.U32(file.levelStart ? 1 : 0);
    InventorySnapshot::WriteUnits(out, file.items);
    out.U32(LevelStateBlock::kSize);
    file.block.Write(out);
    if (!file.levelStart && file.world)
        WriteWorld(out, *file.world);
    return bytes;
}

bool Parse(std::span<const uint8_t> bytes, File& out, std::string* error)
{
    Parser parser(bytes);
    File file;
    if (!parser.Head(file))
        return Fail(error, parser.Error());
    if (!file.levelStart) {
        World world;
        if (!parser.FullWorld(world))
            return Fail(error, parser.Error());
        file.world = std::move(world);
    }
    out = std::move(file);
    return true;
}

namespace {
// The load inside the hand-over; `startTicks` is set once a full load
// rebuilt the world.
bool LoadHeld(std::span<const uint8_t> bytes, std::string* error, std::optional<uint64_t>& startTicks)
{
    File file;
    if (!Parse(bytes, file, error))
        return false;
    LevelNames& level = CurrentLevel();
    level.script = file.levelScript;
    level.companion = file.companion;
    InventorySnapshot::Global().Set(file.items);
    LevelStateBlock::Live().TakeLoaded(file.block);
    Hooks& hooks = GetHooks();
    if (file.levelStart) {
        EndSession();
        if (hooks.enterBriefing)
            hooks.enterBriefing(1);
        return true;
    }
    GameState::Hold hold;
    // A full load always replaces the running level, whatever the stored phase.
    if (hooks.stopLevel)
        hooks.stopLevel();
    uint32_t& phase = LevelStateBlock::Live().levelPhase;
    const uint32_t running = phase;  // as saved
    phase = LevelStateBlock::kPhaseLoading;
    bool rebuilt = false;
    {
        RestoringScope restoring;
        rebuilt = RebuildWorld(file, error);
    }
    // Either way the load is over: a failed one must not leave the next
    // level start thinking a save is being restored.
    phase = running;
    if (rebuilt) {
        startTicks = WorldObject::SecondsToTicks(file.world->gameTime);
        return true;
    }
    if (hooks.stopLevel)
        hooks.stopLevel();
    EndSession();
    return false;
}
} // namespace

bool Load(std::span<const uint8_t> bytes, std::string* error)
{
    std::optional<uint64_t> startTicks;
    if (!LoadHeld(bytes, error, startTicks))
        return false;
    Hooks& hooks = GetHooks();
    if (!startTicks || !hooks.handshake || hooks.handshake(*startTicks))
        return true;
    Fail(error, "the other players did not start the loaded game");
    if (hooks.stopLevel)
        hooks.stopLevel();
    EndSession();
    return false;
}
} // namespace SavedGame

bool SaveGame(const char* name, int full)
{
    using namespace SavedGame;
    fs::path path = SavedGames::PathOf(name ? name : "");
    if (path.empty())
        return false;
    File file;
    file.levelScript = CurrentLevel().script;
    file.companion = CurrentLevel().companion;
    file.levelStart = full == 0;
    file.items = InventorySnapshot::Global().Units();
    file.block = LevelStateBlock::Live();
    if (full) {
        // The server thread is parked while its tables are read.
        GameState::Hold hold;
        file.world = CaptureWorld();
    }
    std::vector<uint8_t> bytes = Write(file);
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    return platform::WriteWholeFile(path, bytes.data(), bytes.size());
}

bool LoadSavedGame(const char* name)
{
    auto bytes = SavedGame::ReadSave(name ? name : "", nullptr);
    return bytes && SavedGame::Load(*bytes, nullptr);
}
