// The server's walking object: a mover on the level that follows waypoints
// and planned paths, runs its queued orders, carries an inventory and its
// equipped items, crouches and hides, carries team flags and dies. Units
// derive from it. Server thread only.
#pragma once

#include "objects/game_object.h"
#include "objects/order_receiver.h"
#include "objects/orders.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

struct CarriedItem;
namespace script {
struct VulnerabilityEntry;
}

struct EquippedItem {
    int32_t slot = 0;  // 0 and 1: the right and left upper arm
    int32_t type = 0;
    int32_t subtype = 0;
    int32_t itemId = 0;
};

// What a target does when a given attacker (and projectile role) aims at
// it: the level scripts fill these.
struct Vulnerability {
    const script::Role* attacker = nullptr;
    const script::Role* projectile = nullptr;  // null: any, and nothing is fired
    int32_t kind = 0;                          // 0 switch off, 1 delay, 2 remove, 3 command file
    float seconds = 0;
    std::string command;

    static Vulnerability From(const script::VulnerabilityEntry& entry);
};

struct Waypoint {
    Vec3 point{0, 0, 0};
    int32_t keep = 0;  // kept points are passed, not consumed: a patrol loop
};

namespace ItemType {
inline constexpr int32_t kHealing = 0, kShield = 3, kWeapon = 4, kDeployable = 5, kAmmunition = 6, kModule = 7,
                         kModule2 = 8, kArmour = 9;
}
namespace ModuleKind {
inline constexpr int32_t kSight = 3, kCloak = 4, kUntracked = 5;
}
// Console texts of the refusals.
inline constexpr int32_t kTextRoleLimit = 273, kTextCloakWhileAttacking = 284;

class Actor : public GameObject, public OrderReceiver {
public:
    static constexpr uint32_t kImageSize = 440;
    // Movement's distance: vertical differences count one hundredth.
    static float DistanceMeasure(const Vec3& a, const Vec3& b);
    // Turn `difference` (4096ths) folded into -2048..2048.
    static float FoldAngle(float difference);

    Actor(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id);

    // ---- GameObject ----
    Vec3 GetAimPoint() const override { return Position() + centreOffset_; }
    float GetHealthFraction() const override;
    bool IsAlive() const override { return HitPoints() > 0 && !IsRemoved(); }
    bool IsHidden() const override { return hidden_; }
    const script::CharacterRecord* GetCharacter() const override { return character_; }
    CollisionPolygon* GetPolygon() const override;
    bool IsWalking() const override { return walking_; }
    Inventory* GetInventory() override { return inventory_.get(); }
    bool HasCustomisation() const override;
    Mover* GetMover() override { return mover_; }
    int32_t GetCarriedFlag() const override { return carriedFlag_; }
    void SetCarriedFlag(int32_t team) override { carriedFlag_ = team; }
    bool IsBusy() const override { return busy_; }
    void SetBusy(bool busy) override { busy_ = busy; }
    bool HasOrders() const override { return !orders_.empty(); }
    void SetSide(int32_t side) override;
    uint32_t SizeInBytes() const override { return kImageSize; }
    bool IsActor() const override { return true; }
    float GetSightRange() const override { return sightRange_; }
    bool IsMoving() const override { return IsAlive() && stepLength_ != 0; }
    // A live unit that can walk: what the level triggers watch.
    bool CountsForTriggers() const override { return IsAlive() && speed_ != 0; }
    bool NeedsPath() const override { return pathState_ == 2 || pathState_ == 3; }
    bool IsCrouching() const override { return crouching_; }
    int32_t Activate(uint64_t now, float seconds) override;
    bool Place(const Vec3& position, const Quaternion& orientation, float seconds) override;
    void ApproachTarget() override {}
    void TakeDamage(int32_t amount) override;
    // Without a shape the body's box (radius, height above the feet) is hit.
    bool HitTestSegment(CollisionHit& result, const Vec3& start, const Vec3& vector, float maximum) override;
    bool HitTestTrajectory(CollisionHit& result, const Vec3& start, const Vec3& velocity, const Vec3& acceleration,
                           float maximum) override;
    void SyncMover() override;
    void HoldStill(float seconds) override;
    void Update(uint64_t now, float seconds) override;
    void Detach() override;

    // ---- OrderReceiver ----
    void GroupMove(CollisionPolygon* node, uint32_t targetWord, float time) override;
    void AppendMoveOrder(CollisionPolygon* node, uint32_t targetWord) override;
    void InsertHoldOrder() override;
    void QueueCrouch() override;
    void SetMotionDestination(const Vec3& destination) override { moveTarget_ = destination; }
    void SetHeldInPlace(bool held) override { heldInPlace_ = held; }
    void SyncMotion(CollisionPolygon* polygon) override;
    void WriteImage(std::span<uint8_t> image) const override;
    bool SaveState(trevok::ByteWriter& out) const override;
    bool LoadState(trevok::ByteReader& in, std::span<const uint8_t> image) override;
    bool AfterLoad() override;

    // ---- added operations ----
    virtual void ToggleCrouch();
    virtual void SetDestination(const Vec3& point, float time);
    virtual void Die();
    virtual void PlayIdle() {}
    virtual void ChangeWeapon(int32_t) {}
    // False when the current weapon has no such ammunition.
    virtual bool ChangeAmmo(int32_t) { return false; }
    virtual void StopAiming(float) {}
    virtual bool AimAtObject(GameObject*, float, bool, bool) { return false; }

    // Movement.
    void AddSpeed(int32_t delta);
    void ExtendSight(float amount);
    bool SetMoveTarget(CollisionPolygon* polygon, float time);
    void Stop(float time);
    void WalkTo(const Vec3& point);
    bool NextWaypoint();
    void AppendWaypoint(const Vec3& point, int32_t keep) { waypoints_.push_back({point, keep}); }
    void PrependWaypoint(const Vec3& point, int32_t keep);
    void ClearWaypoints();
    const std::vector<Waypoint>& Waypoints() const { return waypoints_; }
    void PlanPath();
    void Replan();
    // A route toward `target` until a polygon within `range` (squared, like
    // every range here); walking stops and the route's centres are the new
    // waypoints. The search spends one plan of the pass's budget: with none
    // left nothing is searched (kDeferred, try again next pass). A target
    // that had no route a moment ago is not searched again before
    // kApproachRetrySeconds after `time` (kNoRoute).
    enum class Approach { kRouted, kNoRoute, kDeferred };
    static constexpr float kApproachRetrySeconds = 1.0f;
    Approach ApproachTarget(GameObject& target, float rangeSquared, float time);
    void ReplanNow(const Vec3& point, float time);
    // One walking step of `seconds` toward the move target (busy actors
    // slide along the mover's velocity instead).
    void WalkStep(float seconds);

    // Orders.
    const std::deque<OrderRecord>& Orders() const { return orders_; }
    void ClearOrders() { orders_.clear(); }
    void PushOrder(const OrderRecord& record) { orders_.push_back(record); }
    void PushOrderFront(const OrderRecord& record) { orders_.push_front(record); }
    void QueueWait();
    void ReleaseWait();
    void PopOrder();
    void QueueEquip(int32_t slot, int32_t item);
    void QueueUse(int32_t item) { PushOrder({OrderKind::kUse, -1, item}); }
    void QueueDrop(int32_t item) { PushOrder({OrderKind::kDrop, -1, item}); }
    void QueueGive(int32_t recipient, int32_t item) { PushOrder({OrderKind::kGive, recipient, item}); }
    void QueueUnequip(int32_t item) { PushOrder({OrderKind::kUnequip, -1, item}); }
    void DropQueuedOrders();
    // 0-2: the side's formation; 3: toggles hold position; 4-6: the standing
    // order (4 fires at will). Others are refused.
    bool SetStandingOrder(int32_t order);
    int32_t StandingOrder() const { return standingOrder_; }
    bool HoldsPosition() const { return holdPosition_; }

    // Items.
    bool EquipItem(int32_t slot, int32_t itemId, bool queued);
    void UnequipItem(const EquippedItem& record);
    // Unequips the first entry holding the item and tells the clients (88);
    // false, with nothing sent, when no entry holds it.
    bool UnequipAndAnnounce(int32_t itemId);
    bool UseItem(int32_t itemId, bool queued);
    bool GiveItemTo(int32_t itemId, uint32_t recipientId);
    // Sets off toward the recipient, holding it, with the item as the order's
    // parameter; the hand-over happens on arrival.
    void StartGive(GameObject& recipient, int32_t itemId, float time);
    bool DropItem(int32_t itemId);
    // Refused without an inventory and for anything but a pick-up not yet taken.
    bool GiveItem(GameObject& item, bool queued);
    // The pick-up's role joins the inventory as an item of `kind` (messages
    // 81 or 82); the pick-up itself stays for its owner to collect or remove.
    bool TakeItem(GameObject& item, int32_t kind, bool queued);
    static constexpr int32_t kPickUpAiType = 10;
    // Plays a pick-up sequence the model has: busy until it ends, when the
    // pending pick-up completes (message 56 with `until`). False without it.
    bool StartPickUp(int32_t sequence, float until);
    static bool IsPickUp(const GameObject& object);
    const std::vector<EquippedItem>& GetItemList() const { return equipped_; }
    const EquippedItem* FindEquipped(int32_t itemId) const;
    int32_t CloakOwner() const { return cloakOwner_; }
    void SetInventory(std::unique_ptr<Inventory> inventory);

    // Flags.
    void TakeFlag(int32_t team);
    void DropFlag();
    void CaptureFlag();

    // The spare list: the patrol points the AI walks to. Its changes leave
    // the route and its cursor alone.
    const std::vector<Waypoint>& SparePoints() const { return sparePoints_; }
    void AppendSparePoint(const Vec3& point, int32_t keep) { sparePoints_.push_back({point, keep}); }
    void PrependSparePoint(const Vec3& point, int32_t keep);
    void ClearSparePoints() { sparePoints_.clear(); }
    // What the AI reads: the character's sight angle (4096ths) and alarm
    // radius (metres).
    float SightAngle() const { return sightAngle_; }
    // Drops a pending plan (the AI stops an actor and plans anew).
    void ClearPathState() { pathState_ = 0; }
    float AlertRadius() const { return alertRadius_; }

    float StepLength() const { return stepLength_; }
    float TurningCircleSquared() const { return turningCircle_; }
    const Vec3& MoveTarget() const { return moveTarget_; }
    int32_t PathState() const { return pathState_; }
    float OrderTime() const { return orderTime_; }

    std::vector<Vulnerability> vulnerabilities_;
    bool removeAfterOrder_ = false;
    bool pickUpPending_ = false;
    uint32_t nextItemNumber_ = 1;

protected:
    int32_t ReleaseFlag(uint32_t message, bool home);
    ~Actor() override;
    void UpdateStep();
    void SendMotion(uint32_t type, bool guaranteed);
    // 42 while walking or waypoints remain, else 43.
    uint32_t MotionType() const;
    void StopWalking(float time);
    float Heading() const;  // 4096ths
    void FireAtWill(uint64_t now);
    void RunActorOrder();
    float ElapsedSeconds(uint64_t now) const;
    bool RoleLimitRefuses(const CarriedItem& item) const;
    void BodyBox(Vec3& minimum, Vec3& maximum) const;
    void ChooseDisguise();
    void SpawnAtActor(script::Role* role, int32_t side);

    const script::CharacterRecord* character_ = nullptr;
    float sightRange_ = 0, alertRadius_ = 0, sightAngle_ = 0;
    int32_t speed_ = 0;
    float stepLength_ = 0;
    float turningCircle_ = 0;
    bool walking_ = false;
    bool hidden_ = false;
    bool crouching_ = false;
    bool busy_ = false;
    bool heldInPlace_ = false;
    int32_t carriedFlag_ = 0;
    int32_t cloakOwner_ = -1;
    std::unique_ptr<Inventory> inventory_;
    std::vector<EquippedItem> equipped_;
    int32_t standingOrder_ = 0;
    bool holdPosition_ = true;
    float aimAngle_ = 0;
    int32_t pathState_ = 0;
    CollisionPolygon* destination_ = nullptr;
    Vec3 centreOffset_{0, 0, 0};
    Vec3 moveTarget_{0, 0, 0};
    float orderTime_ = 0;
    float legTime_ = 0;
    std::deque<OrderRecord> orders_;
    Mover* mover_ = nullptr;
    bool orderFinished_ = false;
    bool changed_ = false;
    std::vector<Waypoint> waypoints_, sparePoints_;
    // The actor's image fields, one list for writing and reading.
    template <typename Self, typename Field>
    static void VisitActorImage(Self& self, Field&& field);
    size_t cursor_ = 0;
    int32_t approachFailures_ = 0;
    bool pickUpPlaying_ = false;
    bool restored_ = false;  // loaded from a saved game and not yet activated
    uint8_t pickUpDone_ = 0;  // the pick-up sequence's completion flag
    // The target whose approach found no route, and until when it is not
    // searched again.
    uint32_t unreachableId_ = 0;
    float unreachableUntil_ = -1;
};
