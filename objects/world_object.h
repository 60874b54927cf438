// The game thread's replica of a level object. The client factory makes one
// per object from a role under the id the server uses for it; server
// messages correct it, and every frame it is updated and queued for drawing
// with its shape. MovingObject, Unit and the kinds derive from it.
//
// Everything here runs on the game thread; the registry has no lock.
#pragma once

#include "Veapi/bounding_box.h"
#include "Veapi/particles.h"
#include "app/maths.h"
#include "app/read_write_lock.h"
#include "objects/replica_marks.h"
#include "platform/byte_cursor.h"
#include "platform/ref_counted.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace script {
struct Role;
struct CharacterRecord;
} // namespace script

class CollisionPolygon;
class Hierarchy;
class Inventory;
class Light;
class LightSet;
struct Mover;
class VeObject;
class VeShape;
struct WeaponState;
class WorldObject;

// What client objects need of the session above them. The session installs
// the real road; tests install their own. Unset entries do nothing.
struct ClientServices {
    // A request to the server (the client's own road).
    std::function<bool(const void* block, uint32_t size, bool guaranteed)> sendRequest;
    // A message to every client through the server's send; set only where a
    // server runs in this program.
    std::function<bool(const void* block, uint32_t size, bool guaranteed)> sendToClients;
    bool serverRunsHere = false;
    // The player's side; -1: the team table's own side.
    int32_t ownSide = -1;
    // The attack modifier key (bit 0 of the modifier-key state).
    bool modifierHeld = false;
    // The in-game screen (kinds 10 to 13) a gadget worn by an own-side
    // object opens, and its closing when the gadget comes off or the object
    // goes; unset: no screens (servers, tools).
    std::function<void(WorldObject& wearer, int32_t itemId, int32_t screenKind)> openItemScreen;
    std::function<void(WorldObject& wearer, int32_t itemId)> closeItemScreen;
    // Whether the object is the one unit selected (a lone pick is drawn
    // without its hit-test bits, so clicks go through it); unset: never.
    std::function<bool(const WorldObject& object)> soleSelected;
    // Whether the player has the object selected; unset: never.
    std::function<bool(const WorldObject& object)> selected;
    // The unit the view follows went: the player's view lets go of it.
    std::function<void(WorldObject& object)> resetView;
    // The object goes: the upgrade screen, when it shows it, closes.
    std::function<void(WorldObject& object)> closeUpgradeScreen;
    // A hit took `fraction` of the object's strength; told to its HUD panel
    // (only objects with an inventory have one).
    std::function<void(WorldObject& object, float fraction)> showHit;
    // The object's role name, ": " and a string-table text beside it (a unit
    // out of ammunition or changing stacks, a disguise given away); unset:
    // nothing is shown.
    std::function<void(WorldObject& object, int32_t textId)> sayBeside;

    static ClientServices& Get();
    int32_t OwnSide() const;
    bool Request(const void* block, uint32_t size, bool guaranteed) const
    {
        return sendRequest ? sendRequest(block, size, guaranteed) : false;
    }
};

// Creation flags of WorldObject.
namespace ClientCreate {
inline constexpr uint32_t kFogBase = 0x1;      // hidden by the base fog value, dynamic light, no mesh filed
inline constexpr uint32_t kAlwaysVisible = 0x2;
inline constexpr uint32_t kDynamicLight = 0x4;
inline constexpr uint32_t kNoGeometry = 0x8;
inline constexpr uint32_t kEmitterBit = 0x10;
} // namespace ClientCreate

// Render flag bits of WorldObject.
namespace ClientRender {
inline constexpr uint32_t kFogMaterial = 0x8;
inline constexpr uint32_t kHiddenInFog = 0x10;
inline constexpr uint32_t kSelectable = 0x10000000;
inline constexpr uint32_t kHitTested = 0x60000000;
inline constexpr uint32_t kAdvanceOnly = 0x1000000;
inline constexpr uint32_t kDrawn = 0x6000000;
inline constexpr uint32_t kCulled = 0x7000001;
} // namespace ClientRender

// One queued draw of a client object, as the drawing hook receives it.
struct ClientDraw {
    enum class What { kObject, kMoveMarker, kFlag, kShapeEffect };
    class WorldObject* object;  // null for a flag standing on its own
    int32_t sortKey;
    uint32_t flags;
    bool hidden;       // kept for its sequences, not drawn
    bool fogMaterial;
    bool translucent;
    What what = What::kObject;
    VeObject* shape = nullptr;  // the marker or flag drawn; null: the object's own
};

class WorldObject : public RefCounted {
public:
    WorldObject(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                uint32_t creationFlags, uint32_t id);
    WorldObject(const WorldObject&) = delete;
    WorldObject& operator=(const WorldObject&) = delete;

    // The client factory: the class by the role's AI type, numbered by the
    // client id counter. Null for a role without a class.
    static WorldObject* CreateByRole(int32_t side, script::Role* role, const Vec3& position,
                                     const Quaternion& orientation);
    // The same under a given id (message 67, debris, detached parts),
    // activated at the current game time.
    static WorldObject* CreateFromMessage(int32_t side, script::Role* role, const Vec3& position,
                                          const Quaternion& orientation, uint32_t id);

    uint32_t GetId() const { return id_; }
    int32_t Side() const { return side_; }
    script::Role* GetRole() const { return role_; }
    script::Role* ShownRole() const { return shownRole_; }
    const Vec3& Position() const { return position_; }
    const Quaternion& Orientation() const { return orientation_; }
    int32_t HitPoints() const { return hitPoints_; }
    VeObject* Shape() const { return object_; }
    bool IsDestroyed() const { return destroyed_; }
    bool IsRegistered() const { return registered_; }
    bool IsVisible() const { return visible_; }
    // Whether the last frame's clip test found the object's box on the
    // screen, and where it stood there (kept for objects of a side).
    bool OnScreen() const { return onScreen_; }
    const ScreenRectangle& LastScreenRect() const { return screenRect_; }
    bool AlwaysVisible() const { return alwaysVisible_; }
    uint32_t RenderFlags() const { return renderFlags_; }
    const Vec3& Extent() const { return extent_; }
    float Radius() const { return radius_; }
    float LastSeconds() const { return lastSeconds_; }
    float PlacementSeconds() const { return placementSeconds_; }
    uint64_t Time() const { return time_; }
    bool ProgressShown() const { return progressShown_; }
    float ProgressStart() const { return progressStart_; }
    float ProgressEnd() const { return progressEnd_; }
    int32_t LastSequence() const { return lastSequence_; }

    void SetPosition(const Vec3& position) { position_ = position; }
    void SetOrientation(const Quaternion& orientation) { orientation_ = orientation; }
    void SetRole(script::Role* role) { shownRole_ = role; }
    void SetProgress(float start, float end);
    void ClearProgress() { progressShown_ = false; }
    void SetStaticPlacement(bool on) { staticPlacement_ = on; }
    // A cut-scene moves the object: while one plays, only such walkers show.
    void SetShownInCutScenes(bool on) { shownInCutScenes_ = on; }
    bool ShownInCutScenes() const { return shownInCutScenes_; }
    bool StaticPlacement() const { return staticPlacement_; }
    // Debris flight moves the shape itself: from then on the object stands
    // where its shape flew (its fog and distance are taken there).
    void SetThrown() { thrown_ = true; }
    // The role's model is a tree with node boxes (the first is its box).
    bool HasNodeBoxes() const;
    void SetHitPoints(int32_t hitPoints) { hitPoints_ = hitPoints; }
    // Message 74: the role's destructibility kind decides.
    void OnDestroyed(uint32_t newId);
    // Message 99: the role's sever point `index` comes off. The piece, built
    // from that node of the role's model, becomes an object of its own (a
    // client-only id) thrown away from the object; sparks rise from the
    // stump. False, with nothing changed, for an index the role lacks or a
    // part the shape does not have.
    bool DetachPart(uint32_t index);
    // Message 119.
    void PlaySequence(int32_t sequence);
    // Message 56: played once, unless the object's clock already passed
    // `seconds` (the message is stale).
    void PlaySequenceSince(int32_t sequence, float seconds);
    // Repeat count below 1: for ever; speed 16.16.
    void PlaySequence(int32_t sequence, int32_t repeatCount, int32_t speed);
    // Fog value for lights and coronas: 0 seen to 254 never discovered.
    uint32_t FogVisibility() const;

    // ---- lights, coronas, part emitters and shadows ----
    // Message 131 and construction: a lasting corona at the part's world
    // position; only with a shape and no corona yet.
    void AddCorona(const char* part, const Colour& colour);
    // Message 111: the own light replaced by a point light there, reaching
    // `range` metres (below 0: the role's light's range).
    void SetLight(const Colour& colour, const Colour& specular, float range = -1.0f);
    // Message 124.
    void RemoveLight();
    Light* OwnLight() const { return ownLight_; }
    ParticleEmitter* Corona() const;
    bool CoronaFollowsPart() const { return coronaFollowsPart_; }
    // An emitter started at the object (message 123's smoke): it follows the
    // object and stops with it. Null does nothing.
    void KeepEmitter(ParticleEmitter* emitter);
    // The part emitters still running, in the order started.
    std::vector<ParticleEmitter*> PartEmitters() const;
    // The character's shadow hierarchy's root shape; null: casts none.
    VeShape* ShadowShape() const;
    // The level surface height under the object; its y + 1000 without one.
    float GetGroundHeight() const;
    // Where the part its next shot leaves from stands in the world now;
    // false without a muzzle part or a shape that has it.
    bool MuzzlePoint(Vec3& out) const;
    // Message 111's glow: an emitter that follows the object until message
    // 124 stops it (or the object goes). A second one replaces the first.
    void KeepLightEmitter(ParticleEmitter* emitter);
    void StopLightEmitter();
    ParticleEmitter* LightEmitter() const { return lightEmitter_.Live(); }

    // ---- virtual operations ----
    virtual Vec3 GetCentre() const;
    virtual float GetHealthFraction() const;
    virtual bool IsAlive() const { return !destroyed_; }
    virtual bool IsAttacking() const { return false; }
    virtual bool IsTranslucent() const { return false; }
    virtual const script::CharacterRecord* GetCharacter() const;
    virtual WeaponState* GetWeapon() { return nullptr; }
    virtual CollisionPolygon* GetPolygon() const { return polygon_; }
    virtual bool IsSolid() const { return true; }
    virtual bool IsWalking() const { return false; }
    virtual WorldObject* GetTarget() const { return nullptr; }
    virtual Inventory* GetInventory() { return nullptr; }
    virtual int32_t GetArmour() const;
    virtual int32_t GetShield() const { return 0; }
    // Armour items worn wear down by `n` points.
    virtual void WearArmour(int32_t) {}
    virtual void ReduceShield(int32_t) {}
    virtual int32_t GetWeaponValue() const { return 100; }
    virtual int32_t GetUnitValue() const { return 0; }
    virtual void SetArmour(int32_t) {}
    virtual void SetShield(int32_t) {}
    // The character's body the upgrade screen dresses; null: none.
    virtual Hierarchy* GetBodyHierarchy() const { return nullptr; }
    virtual bool HasBodyHierarchy() const { return false; }
    // A word every object carries; no client class sets it, so it stays 0.
    virtual uint32_t GetExtraValue() const { return 0; }
    virtual Mover* GetMover() { return nullptr; }
    virtual int32_t GetCarriedFlag() const { return 0; }
    virtual void SetCarriedFlag(int32_t) {}
    virtual bool IsCarried() const { return false; }
    virtual const char* GetMuzzlePart() const { return nullptr; }
    virtual bool HasOrders() const { return false; }
    virtual void SetSide(int32_t side) { side_ = side; }
    virtual uint32_t SizeInBytes() const { return 256; }
    virtual bool IsMobile() const { return false; }
    virtual bool IsUnit() const { return false; }
    // The kind class, when it is one: 5, 8 to 14, 16, 17, and 0 for the projectile.
    virtual bool IsKind(int32_t) const { return false; }
    virtual void Activate(uint64_t time, float seconds);
    virtual void ReleaseReferences() {}
    // False, with nothing changed, for non-finite input.
    virtual bool SetPlacement(const Vec3& position, const Quaternion& orientation, float seconds);
    virtual void SetCarried(bool) {}
    virtual void TakeDamage(int32_t amount);
    virtual void Update(uint64_t time, float seconds);
    virtual void Remove();
    virtual void OnPartsChanged() {}
    virtual bool IsHidden() const { return false; }
    // Playing something the server's motion must not cut short.
    virtual bool IsBusy() const { return false; }
    virtual float GetViewRange() const;
    virtual void PlaceAndDraw();
    virtual bool IsPresent() const { return IsAlive(); }
    // What an attack order may aim at: something standing with hit points
    // to lose (made with a character record), not carried by another.
    virtual bool CanBeAttacked() const { return IsAlive() && !IsCarried() && GetCharacter() != nullptr; }
    virtual bool IsSelectable() const { return false; }
    virtual bool IsSquadMember() const { return false; }
    // A moving part's track (lifts), and its start; nothing for others.
    virtual void SetPartHierarchy(const Vec3 (&)[4], const Quaternion&, bool) {}
    virtual void ResetParts() {}
    virtual void Deactivate();

    // ---- saved games (saved_state_replicas.cpp) ----
    // The image is a zero-filled buffer of SizeInBytes bytes whose word 0
    // the frame fills with the class tag; each class writes its own fields
    // at fixed offsets. The state block keeps references as numbers (id + 1,
    // 0 for none) until FixUpAfterLoad, once every object of the save
    // exists. Derived classes call the base.
    virtual void WriteImage(std::span<uint8_t> image) const;
    virtual bool SaveState(trevok::ByteWriter& out) const;
    // False when the block is short or a stored value is out of range.
    virtual bool LoadState(trevok::ByteReader& in, std::span<const uint8_t> image);
    // The image word whose number made LoadState refuse the object, if one did.
    std::optional<size_t> UnsoundWord() const { return unsoundWord_; }
    // References that no longer resolve become none.
    virtual bool FixUpAfterLoad();
    // Activation of a loaded object: it goes on from its stored times
    // instead of starting afresh.
    virtual void ActivateLoaded();

    // ---- what the player's interface marks on the object ----
    // Bit 24 of the state flags: the player steers the object directly.
    static constexpr uint32_t kDirectControl = 1u << 24;
    bool IsHighlighted() const { return highlighted_; }
    void SetHighlight(bool on) { highlighted_ = on; }
    uint32_t StateFlags() const { return stateFlags_; }
    void SetDirectControl(bool on) { stateFlags_ = on ? stateFlags_ | kDirectControl : stateFlags_ & ~kDirectControl; }
    // Non-zero while the player's mouse steers the unit's view; a unit
    // taken under direct control starts without it.
    uint8_t ViewSteering() const { return viewSteering_; }
    void SetViewSteering(uint8_t value) { viewSteering_ = value; }
    // A live squad member that walks.
    bool TakesMotionOrders() const { return IsMobile() && IsSelectable(); }
    // Highlight and direct control off; one that takes motion orders tells
    // the server where it stands and where it is heading (request 42).
    void ReleaseControl();

    // The game time, in seconds, of a number of ticks.
    static float TicksToSeconds(uint64_t ticks);
    static uint64_t SecondsToTicks(float seconds);
    // A server time ahead of the game clock moves the clock forward (by at
    // most a second at once); one behind it changes nothing.
    static void CatchUpClock(float seconds);

    // Notices of the server the interface shows (AI state, alert, fog).
    // Registers the replica with the fog of war as a unit that clears it,
    // or takes it off; the fog holds the registration.
    virtual void SetDefogger(bool on);
    ReplicaMarks& Marks() { return marks_; }
    const ReplicaMarks& Marks() const { return marks_; }

protected:
    ~WorldObject() override;
    bool ObjectHasPart(const char* name) const;
    // The distance (model units) beyond which the coarser shapes are drawn.
    float DetailDistance() const;
    void ClipTest(BoundingBox& box, ClientDraw& draw);
    // Writes the fog map's coordinates of where the object stands into its
    // shape's vertices; `addSets` gives parts without them a second set.
    void MapFog(bool addSets);
    // The shape to where the object stands (or, once thrown, the object to
    // where its shape is).
    void PlaceShape();

    int32_t side_;
    script::Role* role_;
    script::Role* shownRole_ = nullptr;
    Vec3 position_;
    Quaternion orientation_;
    int32_t hitPoints_ = 0;
    uint64_t time_ = 0, previousTime_ = 0;
    float seconds_ = 0, placementSeconds_ = 0, lastSeconds_ = 0;
    float countdown_ = 10.0f;
    VeObject* object_ = nullptr;
    Vec3 extent_{1, 1, 1};
    float radius_ = 0.5f;
    uint32_t renderFlags_ = 0;
    bool dynamicLight_ = false;
    bool alwaysVisible_ = false;
    bool staticPlacement_ = false;
    bool thrown_ = false;
    bool destroyed_ = false;
    bool onScreen_ = false;
    ScreenRectangle screenRect_;
    bool visible_ = false;
    bool shownInCutScenes_ = false;
    bool inLevelGeometry_ = false;
    bool deactivated_ = false;
    bool progressShown_ = false;
    float progressStart_ = 0, progressEnd_ = 0;
    int32_t lastSequence_ = -1;
    CollisionPolygon* polygon_ = nullptr;

    // Emitters belong to the particle system, which may free them (level
    // reset): each is kept with its group and checked before use.
    struct KeptEmitter {
        ParticleEmitter* emitter = nullptr;
        int32_t group = 0;
        std::string part;  // the part it follows; empty: the object's position
        ParticleEmitter* Live() const;
        void Stop();
    };
    LightSet* lightSet_ = nullptr;  // one reference while the own light is in it
    Light* ownLight_ = nullptr;
    KeptEmitter corona_;
    KeptEmitter lightEmitter_;
    bool coronaFollowsPart_ = false;
    std::vector<KeptEmitter> partEmitters_;
    void StartLightsAndEmitters();
    void StopLightsAndEmitters();
    void PlaceLightsAndEmitters();
    void ShadowsChanged();
    // A part's world position at the current time; false without it.
    bool PartWorldPosition(const std::string& part, Vec3& out, bool scaled) const;

    // The shown role as stored (id + 1) between LoadState and FixUpAfterLoad.
    uint32_t loadedShownRole_ = 0;
    std::optional<size_t> unsoundWord_;

private:
    template <typename Self, typename Field>
    static void VisitImage(Self& self, Field&& field);

    uint32_t id_;
    bool registered_ = false;
    ReplicaMarks marks_;
    friend class WorldObjectTable;
    bool highlighted_ = false;
    uint8_t viewSteering_ = 0;
    uint32_t stateFlags_ = 0;
};

using WorldObjectRef = RefPtr<WorldObject>;

// The client registry: 64 buckets keyed by id AND 63, newest first.
class WorldObjectTable {
public:
    static constexpr uint32_t kBuckets = 64, kMask = 63;
    // Debris and detached parts the client makes itself take ids from here
    // up, apart from the server's and the factory's.
    static constexpr uint32_t kFirstClientOnlyId = 0x7F000000u;
    static constexpr float kGravity = 9.81f;

    static WorldObject* FindById(uint32_t id);
    static uint32_t Count();
    // The objects in bucket order, newest first within a bucket.
    static std::vector<WorldObject*> Snapshot();

    static void UpdateAll(uint64_t time, float seconds);
    static void DrawAll();
    // The lights follow their objects (the shell's per-frame call).
    static void UpdateLights() { DrawAll(); }
    static void ActivateAll();
    // Level end: every object released.
    static void DestroyAll();
    // Level load: both id counters restart.
    static void ResetIds();
    static uint32_t TakeNextId();
    static uint32_t TakeClientOnlyId();
    // A saved game: the counter goes on from the stored next id, and a
    // loaded object takes its stored id (false, nothing changed, when the
    // id is in use by another object).
    static void SetNextId(uint32_t id);
    static bool Rekey(WorldObject& object, uint32_t id);

    // Where a client object's draw goes; unset: to the 3-D engine's queue.
    static std::function<void(const ClientDraw&)>& DrawHook();
    // Told the id of every object removed from the world (the level
    // script's waits on an actor); unset: nobody.
    static std::function<void(uint32_t id)>& RemovedHook();
    // One draw to the hook, or else to the engine with the current camera.
    static void Queue(const ClientDraw& draw);
    // The level's base sort key.
    static int32_t& BaseSortKey();

    // The object the command wheel and the status window act on.
    static WorldObject* CurrentObject();
    static void MakeCurrent(WorldObject* object);
    // The own side's squad members in squad order.
    static std::vector<WorldObject*>& SquadList();

    // The moving objects' shared random table (draws under ObjectLock).
    static uint32_t NextRandom();
    static ReadWriteLock& ObjectLock();
    static void ResetRandom();
    // The shared countdown of idle and walk variations.
    static int32_t& VariationCountdown();

    // The dummies smoke rises from (the level load names "dum exhaust").
    static std::vector<std::string>& ExhaustParts();
    // The move marker's model: loaded on first use from the graphics
    // folder, or what a test installs; freed by DestroyAll (level end).
    static Hierarchy* MoveMarkerModel();
    static void SetMoveMarkerModel(Hierarchy* model);  // takes a use
    // Reads "user interface/movement_indicator2.rif" under `folder` and
    // keeps its "waypoint" hierarchy; false (and no marker) when it fails.
    static bool LoadMoveMarkerModel(const std::filesystem::path& folder);

private:
    friend class WorldObject;
    static void Insert(WorldObject& object);
    static void Erase(WorldObject& object);
};
