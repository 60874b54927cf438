// The base of the server-side simulation tree. The server factory makes one
// per level object from a role, a placement, a side and an id; it files
// itself in the ObjectRegistry under that id (the key of every message and
// of its client replica), carries hit points and a 3-D shape instance, and
// the server pass advances it once per pass. Actors, units, projectiles and
// the kinds derive from it and override the virtual operations below.
//
// Everything here runs on the server thread; other threads reach objects only
// inside the game-state hand-over. The registry holds no reference of its
// own: the one creation gives is dropped by Remove or ObjectRegistry::ReleaseAll.
#pragma once

#include "app/maths.h"
#include "platform/byte_cursor.h"
#include "platform/ref_counted.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace script {
struct Role;
struct CharacterRecord;
} // namespace script

class CollisionPolygon;
struct CollisionHit;
class Inventory;
struct Mover;
class VeObject;
struct WeaponState;

// Creation flags.
inline constexpr uint32_t kCreateQuiet = 0x1;       // with 0x4: quiet
inline constexpr uint32_t kCreateQuietToo = 0x4;
inline constexpr uint32_t kCreateNoGeometry = 0x8;  // with 0x1: no geometry in the level grid

// Flag bits of GameObject::flags_.
inline constexpr uint32_t kObjectAiTyped = 0x2;
inline constexpr uint32_t kObjectShotAt = 0x4;
inline constexpr uint32_t kObjectHasTrackers = 0x8;
inline constexpr uint32_t kObjectExploded = 0x10;
inline constexpr uint32_t kObjectAimsAtPoint = 0x80;  // also: fires flares
inline constexpr uint32_t kObjectNoPolygonMark = 0x100;

// The think routine and the event callback of the AI (see objects/ai.h).
class GameObject;
using ThinkRoutine = int32_t (*)(GameObject& object, uint64_t now);

class GameObject : public RefCounted {
public:
    // Files the object in the registry; the caller owns the reference (1).
    // `role` must outlive the object (the role table holds it for the level).
    GameObject(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
               uint32_t creationFlags, uint32_t id);
    GameObject(const GameObject&) = delete;
    GameObject& operator=(const GameObject&) = delete;

    uint32_t GetId() const { return id_; }
    int32_t Side() const { return side_; }
    script::Role* GetRole() const { return role_; }
    const Vec3& Position() const { return position_; }
    const Quaternion& Orientation() const { return orientation_; }
    int32_t HitPoints() const { return hitPoints_; }
    VeObject* Shape() const { return shape_; }
    bool IsRemoved() const { return removed_; }

    // Store and mark the placement for the next update's message 76.
    void SetPosition(const Vec3& position);
    void SetOrientation(const Quaternion& orientation);
    void SetPositionQuiet(const Vec3& position) { position_ = position; }
    // The role spawned in this object's place when it is removed; sends 118.
    void SetRole(script::Role* role);
    void SetHitPoints(int32_t hitPoints) { hitPoints_ = hitPoints; }

    // Runs the role's destructibility record once (flag kObjectExploded
    // guards a second run): explosion, command file or removal.
    void Destroy();
    // True when no living actor of another, non-neutral side sees it.
    bool IsUnobserved() const;

    // ---- virtual operations; the base behaviour is the plain object's ----
    virtual Vec3 GetAimPoint() const;
    virtual float GetHealthFraction() const;
    virtual bool IsAlive() const { return !removed_; }
    virtual bool IsAttacking() const { return false; }
    virtual bool IsHidden() const { return false; }
    virtual const script::CharacterRecord* GetCharacter() const;
    virtual WeaponState* GetWeapon() { return nullptr; }
    virtual CollisionPolygon* GetPolygon() const { return polygon_; }
    virtual bool IsWalking() const { return false; }
    virtual GameObject* GetTarget() const { return nullptr; }
    virtual Inventory* GetInventory() { return nullptr; }
    virtual bool HasCustomisation() const { return false; }
    virtual int32_t GetArmour() const;
    virtual int32_t GetShield() const { return 0; }
    virtual void WearArmour(int32_t) {}
    virtual void DrainShield(int32_t) {}
    virtual int32_t GetMagazineSize() const { return 100; }
    virtual int32_t GetRounds() const { return 0; }
    virtual Mover* GetMover() { return nullptr; }
    virtual int32_t GetCarriedFlag() const { return 0; }
    virtual void SetCarriedFlag(int32_t) {}
    virtual void SetArmour(int32_t) {}
    virtual void SetShield(int32_t) {}
    virtual bool IsBusy() const { return false; }
    virtual void SetBusy(bool) {}
    virtual const char* GetFirePartName() const { return nullptr; }
    virtual bool HasOrders() const { return false; }
    virtual void SetSide(int32_t side);
    virtual uint32_t SizeInBytes() const { return 256; }
    virtual bool IsActor() const { return false; }
    virtual bool IsUnit() const { return false; }
    virtual bool IsProjectile() const { return false; }
    // The AI type's kind class, when it is one (5, 8 to 14, 16, 17).
    virtual bool IsKind(int32_t) const { return false; }
    virtual float GetSightRange() const;  // metres; the character's sight range
    virtual bool MovesOnLifts() const { return movesOnLifts_; }
    virtual bool IsMoving() const { return false; }
    virtual bool NeedsPath() const { return false; }
    virtual bool IsCrouching() const { return false; }

    // Sets the times, finds the polygon underneath, runs the AI event callback.
    virtual int32_t Activate(uint64_t now, float seconds);
    virtual void ReleaseLinks();
    virtual bool Place(const Vec3& position, const Quaternion& orientation, float seconds);
    virtual void MoveAndHit(uint64_t, float) {}
    virtual void ApproachTarget() {}
    virtual void ApplyRoleValue(int32_t) {}
    virtual void Associate(const char*, bool) {}
    // What an item requires before it can be used (a role name; null: none).
    virtual void SetRequiredRole(const char*) {}
    virtual void StartTrack() {}
    // Level triggers count living actors that can move; nothing else.
    virtual bool CountsForTriggers() const { return false; }
    // The polygon an actor's movement state holds (null: none), and the
    // move of that state onto a new polygon and position.
    virtual CollisionPolygon* MovementPolygon() const { return nullptr; }
    virtual void TakeMovementPolygon(CollisionPolygon*, const Vec3&) {}
    // A kind-8 track object opens (true) or closes; others ignore it.
    virtual void SetDoorState(bool) {}
    // Against the shape's geometry when the role's look has collision
    // geometry, else against its bounds; a hit lowers result.fraction (from
    // `maximum`) and answers true. No shape: no hit.
    virtual bool HitTestSegment(CollisionHit& result, const Vec3& start, const Vec3& vector, float maximum);
    virtual bool HitTestTrajectory(CollisionHit& result, const Vec3& start, const Vec3& velocity,
                                   const Vec3& acceleration, float maximum);
    // Forwarded to the shape instance (nothing without one).
    virtual void PlaySequence(int32_t index, const int32_t* speed, int32_t repeatCount, uint64_t start,
                              uint8_t* completion, uint32_t mode, bool counted);
    virtual void PlaySequenceOnTrack(int32_t index, const int32_t* speed, int32_t repeatCount, uint64_t start,
                                     uint8_t* completion, uint32_t mode, bool counted, int32_t track);
    virtual uint8_t PlaySequenceTo(int32_t index, const int32_t* speed, const int32_t* from, const int32_t* to,
                                   uint64_t start, uint64_t* end, uint8_t* completion, uint32_t mode, bool counted);
    virtual void StopSequences(uint32_t flags, int32_t track);
    // The console's track command: four points, the end orientation and
    // whether riders are carried.
    virtual void SetTrack(const Vec3 (&)[4], const Quaternion&, bool) {}
    virtual void SyncMover() {}
    // While the units are held: walkers stop and aimers stop aiming.
    virtual void HoldStill(float) {}
    // Once: marks removed, detaches, spawns the replacement role, sends 52
    // when `notify`, leaves the registry and drops creation's reference.
    virtual void Remove(bool notify);
    // Negative heals up to the strength; above the armour hurts; at 0 hit
    // points an object with a destructibility record is destroyed.
    virtual void TakeDamage(int32_t amount);
    // Every override calls this: times, life timer, shape, message 76.
    virtual void Update(uint64_t now, float seconds);
    // Drops the object's noise records and its device-table slots.
    virtual void Detach();

    // Saved games. The image is a zero-filled buffer of SizeInBytes bytes
    // whose word 0 the frame fills with the class tag; each class writes its
    // own fields at fixed offsets. The state block stores references as
    // numbers (id + 1, 0 for none) that AfterLoad turns back into objects,
    // once every object of the save exists. Derived classes call the base.
    virtual void WriteImage(std::span<uint8_t> image) const;
    virtual bool SaveState(trevok::ByteWriter& out) const;
    // False when a stored value is out of range or the block is short.
    virtual bool LoadState(trevok::ByteReader& in, std::span<const uint8_t> image);
    // The image word whose number made LoadState refuse the object, if one did.
    std::optional<size_t> UnsoundWord() const { return unsoundWord_; }
    // False when a stored reference names nothing (the load fails).
    virtual bool AfterLoad();

    // The held object (an item to pick up): one reference.
    void Hold(GameObject* object);
    GameObject* Held() const { return held_; }

    // Fields the AI and the derived classes read and write.
    ThinkRoutine think_ = nullptr;
    ThinkRoutine eventCallback_ = nullptr;
    bool active_ = true;
    bool quiet_ = false;
    int32_t followedId_ = -1;
    float alarmDelay_ = 0;
    int32_t aiType_ = 0;
    int32_t aiState_ = 0;
    uint64_t nextThink_ = 0;
    float speedFactor_ = 1.0f;
    float aggression_ = 0.7f;
    Vec3 aiPoint_{0, 0, 0};
    int32_t missCount_ = 0;
    bool fleeing_ = false;
    int32_t alertLevel_ = 0;
    uint64_t alertEnd_ = 0;
    uint64_t waitUntil_ = 0;
    uint32_t flags_ = 0;
    float lifeTimer_ = 10.0f;
    float lastUpdate_ = 0;
    uint64_t now_ = 0;
    uint64_t previous_ = 0;
    float nowSeconds_ = 0;
    float lastSent_ = 0;
    Vec3 extent_{1, 1, 1};
    float radius_ = 0.5f;
    bool moved_ = false;
    bool reactionActive_ = false;
    float reactionStart_ = 0, reactionEnd_ = 0;
    script::Role* replacementRole_ = nullptr;
    // Stored numbers between LoadState and AfterLoad (id + 1, 0 for none).
    uint32_t loadedReplacementRole_ = 0, loadedHeld_ = 0;
    std::optional<size_t> unsoundWord_;
    // Devices (AI type 2) that list the roles they affect; empty otherwise.
    std::vector<script::Role*> deviceRoles_;
    // The combat routine's memory: when the present target gives way to the
    // next farther one, that target's squared distance, and the weapon's own
    // round time before a near target halved it (0 until first taken).
    uint64_t retargetTime_ = 0;
    float targetDistance_ = 0;
    float baseRoundTime_ = 0;
    // Where the AI type was given: the anchor a guard wanders back to.
    Vec3 home_{0, 0, 0};
    bool hasHome_ = false;
    // What a homing bomb chases (one reference; dropped when it detaches).
    RefPtr<GameObject> followed_;

protected:
    ~GameObject() override;

private:
    void SendPlacement(float seconds);
    void Explode(int32_t& explosionNumber);

    uint32_t id_;
    int32_t side_;
    script::Role* role_;
    Vec3 position_;
    Quaternion orientation_;
    int32_t hitPoints_ = 0;
    bool movesOnLifts_ = false;
    bool inGrid_ = false;
    bool removed_ = false;
    bool listed_ = false;  // stands in its side's list
    GameObject* held_ = nullptr;
    VeObject* shape_ = nullptr;
    CollisionPolygon* polygon_ = nullptr;

    friend class SideLists;
    friend class ObjectRegistry;
};

// Holds one reference on a server object for a scope (the pass's hold).
using GameObjectRef = RefPtr<GameObject>;
