// The client replica of anything that walks, carries items and takes
// orders. Between the server's motion reports it steers along arcs toward
// its next path point; the player's orders leave as requests and are also
// kept in a local order list, so the queue shows before the server answers.
#pragma once

#include "objects/inventory.h"
#include "objects/world_object.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class Inventory;
class Level;

// The 48-byte motion record of messages 42, 43, 51 and 63.
struct MotionRecord {
    static constexpr uint32_t kSize = 48;
    static constexpr uint32_t kNoPolygon = 0xFFFFFF;

    float seconds = 0;
    Vec3 position{0, 0, 0};
    Quaternion orientation{0, 0, 0, 1};
    Vec3 velocity{0, 0, 0};
    uint32_t polygon = kNoPolygon;  // low 24 bits

    // False when the bytes are short or a float is not finite.
    bool Read(std::span<const uint8_t> bytes);
    void Write(std::span<uint8_t, kSize> out) const;
};

// One queued order, nine words as saved games keep it.
struct LocalOrder {
    enum Kind : int32_t {
        kAttackTarget = 0, kAttackLocation = 1, kWaypoint = 2, kHold = 3, kCrouch = 4, kEquip = 5, kGive = 6,
        kUse = 7, kDrop = 8, kUnequip = 9, kChangeAmmo = 10,
    };
    int32_t kind = 0;
    int32_t value = -1;
    int32_t item = 0;
    int32_t slot = 0;
    Vec3 position{0, 0, 0};
    uint32_t polygon = 0;
    int32_t attackFlag = 0;
};

// One step of the arc steering: where the walker is and which way it faces
// after travelling `travel` metres toward `next` with `turnBudget`
// 4096ths of a turn to spend (negative: turning is not limited).
struct ArcStep {
    Vec3 position;
    float heading;  // 4096ths of a turn
};
ArcStep SteerAlongArc(const Vec3& position, float heading, const Vec3& next, float travel, float turnBudget,
                      float turnRadiusSquared);
// 4096ths of a turn per radian.
inline constexpr float kStepsPerRadian = 651.8986469f;
// An angle in 4096ths of a turn brought into [-2048, 2048].
float WrapSteps(float steps);
// The heading, in 4096ths of a turn, of a yaw-only orientation and back.
float HeadingOf(const Quaternion& orientation);
Quaternion YawOrientation(float heading);

class MovingObject : public WorldObject {
public:
    MovingObject(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation, uint32_t id);

    static constexpr float kSteerDistance = 0.2f;
    static constexpr float kMarkerDistance = 2.0f;

    // ---- overrides ----
    Vec3 GetCentre() const override;
    float GetHealthFraction() const override;
    bool IsAlive() const override { return !dying_ && !destroyed_; }
    bool IsTranslucent() const override { return disguised_; }
    const script::CharacterRecord* GetCharacter() const override { return character_; }
    bool IsWalking() const override { return moving_; }
    // While an idle variation plays: the server's moves, alerts and
    // placements wait for it to end.
    bool IsBusy() const override { return IsIdleBusy(); }
    virtual bool IsIdleBusy() const;
    CollisionPolygon* GetPolygon() const override;
    Mover* GetMover() override { return mover_; }
    Inventory* GetInventory() override { return inventory_.get(); }
    int32_t GetCarriedFlag() const override { return carriedFlag_; }
    void SetCarriedFlag(int32_t side) override { carriedFlag_ = side; }
    bool IsCarried() const override { return carried_; }
    bool HasOrders() const override { return !orders_.empty(); }
    // The character's body for the upgrade screen: its customisation model.
    bool HasBodyHierarchy() const override { return character_ && character_->customisationShape; }
    Hierarchy* GetBodyHierarchy() const override;
    void SetSide(int32_t side) override;
    uint32_t SizeInBytes() const override { return 464; }
    bool IsMobile() const override { return true; }
    void Activate(uint64_t time, float seconds) override;
    void SetCarried(bool carried) override { carried_ = carried; }
    void TakeDamage(int32_t amount) override;
    void Update(uint64_t time, float seconds) override;
    float GetViewRange() const override { return viewRange_; }
    void PlaceAndDraw() override;
    bool IsSelectable() const override { return squadMember_ && IsAlive(); }
    bool IsSquadMember() const override { return squadMember_; }
    void Deactivate() override;
    void WriteImage(std::span<uint8_t> image) const override;
    bool SaveState(trevok::ByteWriter& out) const override;
    bool LoadState(trevok::ByteReader& in, std::span<const uint8_t> image) override;
    bool FixUpAfterLoad() override;

    // The disguise's client object id; -1: none.
    int32_t DisguiseId() const { return disguiseId_; }
    // The look of the disguise, drawn where the object stands; null: none.
    VeObject* DisguiseShape() const { return disguise_; }
    // The shape effect started with the object; a shield lights up on a hit
    // only on an object that carries one.
    bool CarriesShapeEffect() const { return shapeEffect_[0] != nullptr; }
    // No living mobile object of another side that is not neutral sees
    // this one: within its view range, beyond 2 m and inside its view cone.
    bool IsUnseen() const;

    // ---- what the server's messages do ----
    void ApplyMoving(const Vec3& nextPoint, const MotionRecord& record, const Vec3& finalDestination);
    void ApplyStopped(const MotionRecord& record);
    void Die(const MotionRecord& record);
    bool AddWaypointOrder(uint32_t polygon, int32_t value);
    void InsertHoldOrder();
    void RemoveHoldOrder();
    void PopOrder();
    void AddViewRange(float delta);
    void ChangeSpeed(int32_t delta, const MotionRecord& record);
    void SetCrouch(bool crouched, bool disguised);
    // SetPlacement, and the mover refilled from the record.
    bool SetPlacementFrom(const MotionRecord& record);
    // Put down by a cut-scene: it no longer walks, and with a level its
    // feet stand on the polygon under the position (kept where none is).
    void PlacedByCutScene(const Vec3& position);
    // Capture the flag: the object took the side's flag (59), dropped it
    // where it stands (60), or brought it home (61: the flag goes back to its
    // stand and the carrier's side scores; false, nothing changed, when the
    // object carries no flag).
    void OnFlagTaken(int32_t side);
    void OnFlagDropped();
    bool OnFlagCaptured();

    // ---- the player's orders: a request, and the local queue ----
    virtual void OrderStop();
    virtual void OrderCrouch(bool queued);
    virtual void OrderChangeAmmo(int32_t ammo, bool queued);
    void OrderEquip(int32_t item, int32_t slot, bool queued);
    void OrderUse(int32_t item, bool queued);
    void OrderDrop(int32_t item, bool queued);
    void OrderUnequip(int32_t item, bool queued);
    void OrderGive(int32_t item, int32_t receiver, bool queued);
    void SendStandingOrder(int32_t order);
    void UndoLastOrder();
    void SendMotionState(bool moving);
    // One request for the set; nothing is sent when none of them can move.
    static bool SendGroupOrder(std::span<WorldObject* const> objects, uint32_t polygon, int32_t value, bool queued,
                               bool paused);
    void AddEquipOrder(int32_t slot, int32_t item);
    // Queued attacks kept in the local list (units keep them).
    virtual void AddChangeAmmoOrder(int32_t) {}
    virtual void AddAttackLocationOrder(const Vec3&, int32_t) {}
    virtual void AddAttackTargetOrder(uint32_t, int32_t) {}
    void AppendOrder(const LocalOrder& order) { orders_.push_back(order); }
    // An order the server's actor put first in its list (its next to run).
    void PushOrderFront(const LocalOrder& order);

    // ---- queries ----
    const std::vector<LocalOrder>& Orders() const { return orders_; }
    bool IsCrouched() const { return crouched_; }
    bool IsDying() const { return dying_; }
    bool MarkerShown() const { return markerShown_; }
    VeObject* Marker() const { return marker_; }
    // The marker's draw at `now`: scale f x 25 and f x 3000 steps of turn,
    // f the part of its two seconds still to run (0 once it expired).
    static float MarkerFraction(uint64_t now, uint64_t expiry, uint64_t duration);
    const Vec3& NextPoint() const { return nextPoint_; }
    const Vec3& FinalDestination() const { return finalDestination_; }
    float Speed() const { return speed_; }
    int32_t SpeedFactor() const { return speedFactor_; }
    float TurnRadiusSquared() const { return turnRadiusSquared_; }
    int32_t StandingOrder() const { return standingOrder_; }
    bool StandingFlag() const { return standingFlag_; }
    void SetSquadMember(bool member) { squadMember_ = member; }
    void SetTurnRate(int32_t rate);
    void SetSpeedFactor(int32_t factor);

    // ---- worn items (messages 83, 84 and 88; worn_items.cpp) ----
    struct WornItem {
        int32_t slot;
        int32_t itemId;
    };
    // False, with nothing changed, for an item not carried, a body slot the
    // item cannot go in, a cloak while attacking or an item the role may not
    // use. What the slot or the item wore before comes off first.
    bool EquipItem(int32_t slot, int32_t itemId);
    // Every worn record of the item loses its effect and goes; false when
    // none did.
    bool RemoveItemEffect(int32_t itemId);
    const std::vector<WornItem>& GetItemList() const { return worn_; }
    // Message 87: the item (its effect taken off first) is used up; a stack
    // loses one pick-up's worth and goes when no more than that is left.
    // False for an item not carried.
    bool RemoveItem(int32_t itemId);
    // Message 89: the item (its effect taken off first) moves, with its
    // looks, into the receiver's inventory. False, with nothing changed,
    // for an item not carried or a receiver without another inventory.
    bool PassItem(int32_t itemId, uint32_t receiverId);
    // Messages 81 and 82: the server gave the object an item. The upgrade
    // screen's panel, when it shows this inventory, is rebuilt around it so
    // that its slots show the list as it now is. False without an inventory.
    bool ReceiveItem(int32_t kind, const script::Role& role, int32_t itemId, Inventory::Announcer announce);

protected:
    // The upgrade panel, when it shows this inventory, laid out afresh.
    void RefreshShownPanel();
    // The worn item's effect on the object, or (on false) its undoing.
    virtual void ApplyWornEffect(const CarriedItem& item, bool on);
    // The screen a worn gadget keeps open for the own side: opened, or closed.
    void ShowItemScreen(const CarriedItem& item, bool open);
    std::vector<WornItem> worn_;

    ~MovingObject() override;
    void SendWords(std::span<const uint32_t> words, bool guaranteed) const;
    // The countdown of variations reached: one random draw for the choice.
    bool VariationDue(int32_t& draw);
    // The walk sequence, looped at the speed factor.
    void PlayWalk();
    // An idle variation, played once; the object is busy until it ends.
    void PlayIdle(int32_t sequence);

    const script::CharacterRecord* character_ = nullptr;
    float viewRange_ = 53.0f;
    int32_t speedFactor_ = 0;
    int32_t turnRate_ = 0;
    float speed_ = 0;
    float turnRadiusSquared_ = 0;
    bool moving_ = false, dying_ = false, disguised_ = false, crouched_ = false, carried_ = false;
    int32_t carriedFlag_ = 0;
    std::unique_ptr<Inventory> inventory_;
    std::vector<LocalOrder> orders_;
    int32_t standingOrder_ = 0;
    bool standingFlag_ = true;
    Vec3 finalDestination_;
    Vec3 centreOffset_{0, -0.5f, 0};
    Vec3 nextPoint_;
    Vec3 carrierVelocity_{0, 0, 0};
    float motionSeconds_ = 0, destinationSeconds_ = 0;
    bool sequenceDone_ = false;
    bool squadMember_ = false;
    // The idle variation playing, and the game time it ends at the latest.
    int32_t idleSequence_ = -1;
    uint64_t idleEnd_ = 0;
    bool markerShown_ = false;
    uint64_t markerExpiry_ = 0;
    bool sideSetUp_ = false;
    int32_t disguiseId_ = -1;

    // The feet on the level's polygons; owned by the level it was added to.
    Mover* mover_ = nullptr;
    Level* moverLevel_ = nullptr;
    void AddMover(uint64_t time);
    void RemoveMover();
    void AdvanceMover(uint64_t time);

    VeObject* disguise_ = nullptr;  // one use held while disguised
    VeObject* shapeEffect_[2] = {};  // one use each, or none
    // A cloak worn: the other side's object built most like this one lends
    // it its look.
    void StartDisguise();
    void EndDisguise();

    VeObject* marker_ = nullptr;  // one use held while shown
    uint64_t markerDuration_ = 0;
    void ReleaseMarker();
    void DrawMarker();
    void DrawShapeEffect();
    void DrawCarriedFlag();

private:
    template <typename Self, typename Field>
    static void VisitMovingImage(Self& self, Field&& field);
};
