#include "app/directories.h"
#include "app/string_table.h"
#include "console/text_console.h"
#include "objects/teams.h"
#include "objects/unit.h"
#include "ui/client_objects.h"
#include "script/records.h"
#include "ui/game_view.h"
#include "ui/hud_view.h"
#include "ui/ui_placeholders.h"
#include "ui/wheel.h"
#include "platform/data_path.h"

namespace {

struct Pending {
    int action = WheelAction::kNone;
    int index = 0;
};
Pending g_pending;
WorldObject* g_commandUnit = nullptr;

const Unit* CommandUnit() { return ClientObjects::AsUnit(g_commandUnit); }

constexpr const char* kStandingParts[7] = {"st orders ld", "st orders lc", "st orders lb", "st orders la",
                                           "st orders ra", "st orders rb", "st orders rc"};

bool HasSelection() { return !HudView::Current().Selected().empty(); }

const char* Label(int id) { return TextConsole::Text(uint32_t(id)); }

// Definition records name model files from the data root ("rifs\Props.rif"),
// the way the level loads them; the wheel's shapes come from the rifs
// folder. A name that leads from the root into that folder becomes the
// rest of its path there; any other name is kept as it is.
std::string RifsName(const std::string& file)
{
    const app::DataDirectories& dirs = app::DataDirectories::Global();
    const auto rifs = dirs.Folder(app::kRifsDirectory);
    if (!rifs || dirs.StartDirectory().empty())
        return file;
    const auto path = platform::ResolveDataPath(dirs.StartDirectory(), file);
    if (!path)
        return file;
    const std::filesystem::path inside = path->lexically_relative(*rifs);
    if (inside.empty() || *inside.begin() == "..")
        return file;
    return inside.generic_string();
}

// Seven standing-order segments, rebuilt at every opening.
class StandingOrdersWheel : public Wheel {
public:
    explicit StandingOrdersWheel(WheelShapeFactory factory) : factory_(std::move(factory)) {}
    bool IsStandingOrders() const override { return true; }
    void Refresh() override
    {
        if (!g_commandUnit || !g_commandUnit->TakesMotionOrders())
            return;
        const auto& unit = static_cast<const MovingObject&>(*g_commandUnit);
        const TeamRecord* team = TeamTable::Find(unit.Side());
        const int formation = team ? team->formation : -1;
        for (int i = 0; i < ChildCount(); ++i) {
            WheelWidget* child = Child(i);
            const int id = child->Id();
            const bool current = id == 3   ? unit.StandingFlag()
                                 : id >= 4 ? id == unit.StandingOrder()
                                           : id == formation;
            child->SetVisualState(current ? 2 : 1);
        }
        Wheel::Refresh();
    }
    void Open(uint64_t now) override
    {
        RemoveAll();
        for (int i = 0; i < 7; ++i) {
            auto* segment = new ActionSegment([i](uint64_t) {
                g_pending = {WheelAction::kStandingOrder, i};
                return kClickCloseHolder;
            });
            segment->SetWidth(kNarrowWidth);
            segment->SetId(i);
            segment->SetLabel(Label(CommandWheel::kStandingLabels[i]));
            segment->SetEnabled(HasSelection());
            if (factory_)
                segment->SetShape(factory_(CommandWheel::kModelFile, kStandingParts[i]));
            Add(segment);
            segment->Release();
        }
        SetAnchors(0.65f, 0.65f);
        SetPlacement(PlacementX(), PlacementY());
        Wheel::Open(now);
    }

private:
    WheelShapeFactory factory_;
};

// One segment per ammunition type the command unit's weapon takes in the
// weapon table; empty without an armed command unit.
class AmmunitionWheel : public Wheel {
public:
    explicit AmmunitionWheel(WheelShapeFactory factory) : factory_(std::move(factory)) {}
    void Refresh() override
    {
        for (int i = 0; i < ChildCount(); ++i) {
            WheelWidget* child = Child(i);
            const int type = child->Id();
            const Unit* unit = CommandUnit();
            if (!unit || unit->WeaponType() < 0 || !unit->CarriesAmmo(type))
                child->SetVisualState(0);
            else
                child->SetVisualState(unit->AmmoType() == type ? 2 : 1);
        }
        Wheel::Refresh();
    }
    void Open(uint64_t now) override
    {
        RemoveAll();
        const int weapon = CommandUnit() ? CommandUnit()->WeaponType() : -1;
        const script::RecordTables& tables = script::RecordTables::Global();
        for (int type = 0; weapon >= 0 && type < script::kAmmoTypes; ++type) {
            const script::WeaponEntry* record = tables.Weapon(weapon, type);
            if (!record)
                continue;
            auto* segment = new ActionSegment([type](uint64_t) {
                g_pending = {WheelAction::kLoadAmmunition, type};
                return kClickCloseHolder;
            });
            segment->SetWidth(kNarrowWidth);
            segment->SetId(type);
            if (const script::AmmoEntry* ammo = tables.Ammo(type))
                segment->SetLabel(Label(ammo->nameId));
            // The record names its own model file and part; a record
            // without them leaves a segment that draws nothing.
            if (factory_ && !record->file.empty() && !record->name.empty())
                segment->SetShape(factory_(RifsName(record->file), record->name));
            Add(segment);
            segment->Release();
        }
        SetAnchors(0.5f, 0.5f);
        SetPlacement(PlacementX(), PlacementY());
        Wheel::Open(now);
    }

private:
    WheelShapeFactory factory_;
};

class MainWheel : public Wheel {
public:
    void Open(uint64_t now) override
    {
        if (Phase(now) == 0 && ChildCount() > 0)
            RotateToFront(main_a_);
        anchorChild_ = secondAnchorChild_ = nullptr;
        anchorFraction_ = secondAnchorFraction_ = 0;
        RefreshEnabled();
        Arrange();
        if (WheelEnvironment().playSound)
            WheelEnvironment().playSound(10);
        Wheel::Open(now);
    }
    void RefreshEnabled()
    {
        const bool selection = HasSelection();
        for (int i = 0; i < ChildCount(); ++i) {
            WheelWidget* child = Child(i);
            if (child == main_a_)
                child->SetEnabled(g_commandUnit != nullptr);
            else if (child == main_c_)
                child->SetEnabled(g_commandUnit != nullptr || selection);
            else
                child->SetEnabled(selection);
        }
    }
    WheelWidget* main_a_ = nullptr;
    WheelWidget* main_c_ = nullptr;
};

MainWheel* g_wheel = nullptr;

} // namespace

namespace CommandWheel {

void Build(const WheelShapeFactory& factory)
{
    Release();
    g_wheel = new MainWheel;
    const auto shaped = [&](WheelWidget* w, const char* part, int labelIndex) {
        w->SetLabel(Label(kMainLabels[labelIndex]));
        if (factory)
            w->SetShape(factory(kModelFile, part));
        g_wheel->Add(w);
        w->Release();
        return w;
    };
    g_wheel->main_a_ = shaped(new ActionSegment([](uint64_t) {
                                  if (g_commandUnit) {
                                      g_pending = {WheelAction::kAttackLocation, 0};
                                      TextConsole::Print("Select a location to attack");
                                  }
                                  return kClickCloseHolder;
                              }),
                              "main a", 0);
    shaped(new StandingOrdersWheel(factory), "main b", 1);
    g_wheel->main_c_ = shaped(new ActionSegment([](uint64_t) {
                                  if (g_commandUnit)
                                      g_pending = {WheelAction::kNone, 0};
                                  Selection::ToggleCrouch(GameView::CurrentOrderFlags());
                                  return kClickCloseHolder;
                              }),
                              "main c", 2);
    shaped(new ActionSegment([](uint64_t) {
               Selection::ClearOrders();
               return kClickCloseHolder;
           }),
           "main d", 3);
    shaped(new ActionSegment([](uint64_t) {
               g_pending = {WheelAction::kUpgradeScreen, 0};
               return kClickCloseHolder;
           }),
           "main e", 4);
    shaped(new AmmunitionWheel(factory), "main f", 5);
}

void Release()
{
    if (g_wheel)
        g_wheel->Release();
    g_wheel = nullptr;
    g_commandUnit = nullptr;
}

Wheel* Get() { return g_wheel; }

bool IsOpen() { return g_wheel && g_wheel->GetState() != Wheel::kClosed; }

void OpenAt(float x, float y, uint64_t now)
{
    if (!g_wheel)
        return;
    g_wheel->SetPlacement(x, y);
    g_wheel->Open(now);
}

void SetCommandUnit(WorldObject* unit) { g_commandUnit = unit; }
int PendingAction() { return g_pending.action; }
int PendingIndex() { return g_pending.index; }
void ClearPendingAction() { g_pending = {}; }

} // namespace CommandWheel
