#include "ui/upgrade_screen.h"
#include "effects/effect_shapes.h"
#include "effects/frame_pass.h"

#include "console/console_draw.h"
#include "console/text_console.h"
#include "ui/camera_controller.h"
#include "ui/hud_view.h"
#include "ui/hud.h"
#include "ui/client_objects.h"
#include "ui/game_view.h"
#include "ui/recon_view.h"
#include "ui/picking.h"
#include "ui/screen_toggles.h"
#include "objects/body_part.h"
#include "objects/moving_object.h"
#include "objects/inventory.h"
#include "objects/inventory_display.h"
#include "objects/role_table.h"
#include "objects/shape_cache.h"
#include "objects/world_object.h"
#include "script/records.h"
#include "ui/status_window.h"
#include "ui/wheel.h"
#include "world/map_build.h"
#include <map>
#include "Veapi/camera.h"
#include "media/screen_quads.h"
#include "ui/screen_camera.h"
#include "Veapi/font.h"
#include "Veapi/light_set.h"
#include "Veapi/render_queue.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "Veapi/VertBuff.h"
#include "Veapi/texture_manager.h"
#include "objects/unit.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <strings.h>

namespace Hud {
void MakePanelQuads();
void ReleasePanelQuads();
} // namespace Hud

namespace UpgradeScreen {
namespace {

constexpr int kCursorUpgrade = 3;
// The row codes the inventory scrolls by, one per row: the up parts' kinds.
constexpr int32_t kRowCodes[3] = {22, 24, 26};

struct TextBox {
    std::string text;
    bool present = false;
    int lines = 0;
    int first = 0;
    int64_t start = 0;
};

std::vector<Part> g_parts;
UpgradeHotSpot* g_slots[9] = {};
TextBox g_box;
std::function<int(std::string_view)> g_counter;
Projection g_projection;
bool g_open = false;
bool g_descriptionShown = false; // since the screen opened
int64_t g_openTime = 0;

// The shown character and what is drawn on top of the inventory's panel;
// the model, the panel's items and the selection belong to the display.
struct ModelView {
    WorldObject* unit = nullptr; // one reference held
    float scale = 0, maximum = 0;
    int64_t shownAt = 0;
    float heading = 0, pressHeading = 0;
    std::vector<VeObject*> mounted; // copies of the picked item
    std::vector<ShownItem> shown;
};
ModelView g_view;
// The slot markers' atlas and the material that draws it.
RenderMaterial* g_markerMaterial = nullptr;
TextureEntry* g_markerTexture = nullptr;
bool g_passMode = false; // the picked item waits for a character to go to
bool g_carrying = false; // a drag carries the picked item
// Where the panel model's slot dummies stand, by name, in screen fractions.
std::map<std::string, Vec3> g_dummies;
std::vector<VeObject*> g_dummyObjects; // one use each, kept as the parts are

void MakeMarkerMaterial()
{
    RenderMaterial* base = DefaultMaterial::Get(DefaultMaterial::kText);
    if (g_markerMaterial || !base)
        return;
    g_markerTexture = TextureManager::Find(kMarkerTexture);
    g_markerMaterial = new RenderMaterial(*base);
    g_markerMaterial->stages_[0].texture = g_markerTexture;
    g_markerMaterial->Compile();
}

void ReleaseMarkerMaterial()
{
    if (g_markerMaterial)
        g_markerMaterial->Release();
    if (g_markerTexture)
        g_markerTexture->Unuse();
    g_markerMaterial = nullptr;
    g_markerTexture = nullptr;
}

// The role may not use an item whose restriction mask meets its own.
bool MayUse(const CarriedItem& item)
{
    const script::Role* role = g_view.unit ? g_view.unit->GetRole() : nullptr;
    return !role || (item.roleLimit & role->limit) == 0;
}

// Draws one request see-through: the light set's alpha is swapped for the
// given one around the draw.
class SeeThroughHook : public DrawHooks {
public:
    explicit SeeThroughHook(float alpha) : override_(new MaterialAlphaOverride(alpha)) {}
    void BeforeDraw(DrawRequest&, TextureEntry*) override { override_->Apply(); }
    void AfterDraw(DrawRequest&, TextureEntry*) override { override_->Restore(); }

protected:
    ~SeeThroughHook() override { override_->Release(); }

private:
    MaterialAlphaOverride* override_;
};

// The ammunition colour sheet that item models texture their colour bands
// with, held while the screen is built so that the models made as the rows
// scroll find it loaded.
TextureEntry* g_ammoColours = nullptr;

void HoldAmmoColours()
{
    if (g_ammoColours)
        return;
    g_ammoColours = TextureManager::Find(kAmmoColourTexture);
    TextureManager::LoadPending();
}

void ReleaseAmmoColours()
{
    if (g_ammoColours)
        g_ammoColours->Unuse();
    g_ammoColours = nullptr;
}

void ReleaseMounted()
{
    for (VeObject* object : g_view.mounted)
        object->Release();
    g_view.mounted.clear();
}

float LargestExtent(const VeObject& object)
{
    if (!object.HasBounds())
        return 0;
    const Vec3 size = object.maximum_ - object.minimum_;
    return std::max({std::fabs(size.x), std::fabs(size.y), std::fabs(size.z)});
}

void PlayScrollSound(int32_t sound) { GameView::PlaySound(sound); }

// Turns about the vertical axis by `steps` of 4096.
Quaternion Turn(float steps)
{
    const float half = steps * 3.14159265f / 4096.0f;
    return Quaternion(0, std::sin(half), 0, std::cos(half));
}

int DefaultLineCount(std::string_view text)
{
    if (const Font* font = ConsoleFonts::Get(ConsoleFonts::kSmall)) {
        const auto width = int32_t(0.7f * HudView::Current().ScreenWidth());
        return CountTextLines(font->Widths(), text, width, false);
    }
    return text.empty() ? 0 : int(std::count(text.begin(), text.end(), '\n')) + 1;
}

} // namespace

UpgradeHotSpot::Rect ProjectBox(const Vec3& a, const Vec3& b, const Projection& project)
{
    UpgradeHotSpot::Rect r;
    bool any = false;
    for (int corner = 0; corner < 8; ++corner) {
        const Vec3 p{corner & 1 ? b.x : a.x, corner & 2 ? b.y : a.y, corner & 4 ? b.z : a.z};
        float x = 0, y = 0;
        if (!project || !project(p, x, y) || !std::isfinite(x) || !std::isfinite(y))
            continue;
        if (!any) {
            r = {x, y, x, y};
            any = true;
        }
        r.x0 = std::min(r.x0, x);
        r.y0 = std::min(r.y0, y);
        r.x1 = std::max(r.x1, x);
        r.y1 = std::max(r.y1, y);
    }
    return r;
}

int AmmoColourGroup(int type)
{
    if (type < 0 || type >= 15)
        return 0;
    if (type <= 2)
        return 0;
    if (type == 6 || type == 7 || type == 12)
        return 2;
    if (type == 8 || type == 9)
        return 3;
    if (type == 10)
        return 4;
    if (type == 13 || type == 14)
        return 5;
    return 1;
}

TextureRect AmmoSwatch(int group)
{
    return {(64.0f * float(group) + 640) / 1024, (64.0f * float(group) + 702) / 1024, 0.375f, 0.4473f};
}

std::optional<std::string> SlotCountText(int kind, int count, int capacity)
{
    switch (kind) {
    case 3:
    case 6:
    case 9:
        return FormatFloat(float(count)) + "/" + FormatFloat(float(capacity));
    case 5:
        return FormatFloat(float(count));
    default:
        return std::nullopt;
    }
}

void SlotTextPosition(const UpgradeHotSpot::Rect& slot, float width, float height, float& x, float& y)
{
    x = (slot.x0 - 9) / std::max(width, 1.0f) + 0.021f;
    y = (slot.y0 + 1 - 5) / std::max(height, 1.0f) + 0.11f;
}

const char* DescriptionFor(const char* picked, bool passMode, int squadCharacters, const char* hoveredPage)
{
    if (passMode)
        return squadCharacters > 1 ? kPassPrompt : nullptr;
    if (picked)
        return picked;
    return hoveredPage;
}

bool ScrollButtonLit(bool canScroll, double secondsOpen)
{
    return canScroll && secondsOpen >= 0 && int64_t(std::floor(secondsOpen)) % 2 == 0;
}

bool InfoPageShown(double secondsOpen, bool descriptionShown)
{
    if (descriptionShown)
        return false;
    return secondsOpen >= 0 && int64_t(std::floor(0.3 * secondsOpen)) % 2 == 1;
}

float GrowthStep(float scale, int64_t elapsedTicks, float growthRate, float maximum)
{
    return std::min(scale + float(elapsedTicks) * growthRate * 0.001f, maximum);
}

void SetLineCounter(std::function<int(std::string_view)> counter) { g_counter = std::move(counter); }

void SetText(const char* text)
{
    g_box = TextBox{};
    if (!text)
        return;
    g_box.text = text;
    g_box.present = true;
    g_descriptionShown = true;
    g_box.lines = g_counter ? g_counter(g_box.text) : DefaultLineCount(g_box.text);
    g_box.start = HudView::Current().RealNow();
}

int TextLines() { return g_box.lines; }
int FirstLine() { return g_box.first; }
bool CanScrollUp() { return g_box.lines > kVisibleLines && g_box.first > 0; }
bool CanScrollDown() { return g_box.lines > kVisibleLines && g_box.lines - g_box.first > kVisibleLines; }
void ScrollUp()
{
    if (CanScrollUp())
        --g_box.first;
}
void ScrollDown()
{
    if (CanScrollDown())
        ++g_box.first;
}

int RevealedCharacters(double seconds)
{
    if (!(seconds > 0))
        return 0;
    return int(std::min<double>(double(g_box.text.size()), std::floor(seconds * kRevealRate)));
}

void SetProjection(Projection projection) { g_projection = std::move(projection); }

namespace {
// The parts are drawn by the screen camera, so their boxes go through it to
// pixels; without a display every box is empty.
bool ScreenProjection(const Vec3& p, float& x, float& y)
{
    Vec3 screen;
    if (!ScreenCamera::Get()->Project(p, screen))
        return false;
    x = screen.x;
    y = screen.y;
    return std::isfinite(x) && std::isfinite(y);
}
} // namespace

void Build()
{
    Release();
    // The stored game options take effect with each level's interface.
    CameraController::TakeOptions(KeyConfig::CurrentOptions());
    const Vec3 place{kPlaceX, kPlaceY, kPlaceZ};
    // The hot spots are measured against the display as it is now.
    if (!g_projection)
        ScreenCamera::Get()->OnScreenChanged();
    for (const PartSpec& spec : kParts) {
        Part part{spec.name, spec.hot, spec.kind ? new UpgradeHotSpot(spec.kind) : nullptr};
        if (VeShape* shape = ShapeCache::Get(kModelFile, spec.name)) {
            part.object = VeObject::FromShape(shape, true);
            shape->Release();
            part.object->placement_.SetPosition(place);
        }
        if (part.hotSpot && part.object)
            part.hotSpot->rect = ProjectBox(part.object->minimum_ + place, part.object->maximum_ + place,
                                            g_projection ? g_projection : ScreenProjection);
        g_parts.push_back(std::move(part));
    }
    // The slot dummies mark where the panel's items stand.
    for (char dummy = 'a'; dummy <= 'h'; ++dummy) {
        const std::string name = std::string("slot") + dummy;
        VeShape* shape = ShapeCache::Get(kModelFile, name);
        if (!shape)
            continue;
        VeObject* object = VeObject::FromShape(shape, true);
        shape->Release();
        if (object->HasBounds())
            g_dummies[name] = (object->minimum_ + object->maximum_) * 0.5f + place;
        g_dummyObjects.push_back(object);
    }
    // The recon view's scanner image, shown by the frame pass's overlays.
    Hud::CreateScanner();
    HoldAmmoColours();
    SkyBackdrop::Load();
    Hud::MakePanelQuads();
    // Slots by row (w, a, m) and position: entry = row + 3 x position.
    const char rows[3] = {'w', 'a', 'm'};
    for (Part& part : g_parts)
        if (part.name.size() == 2 && part.hotSpot && part.hotSpot->Kind() == kSlotKind)
            for (int row = 0; row < 3; ++row)
                if (part.name[0] == rows[row])
                    g_slots[row + 3 * (part.name[1] - '1')] = part.hotSpot;
}

void Release()
{
    for (Part& part : g_parts) {
        if (part.hotSpot)
            part.hotSpot->Release();
        if (part.object)
            part.object->Release();
    }
    g_parts.clear();
    g_dummies.clear();
    for (VeObject* object : g_dummyObjects)
        object->Release();
    g_dummyObjects.clear();
    SkyBackdrop::Release();
    Hud::ReleaseScanner();
    Hud::ReleasePanelQuads();
    ReleaseMarkerMaterial();
    ReleaseAmmoColours();
    std::fill(std::begin(g_slots), std::end(g_slots), nullptr);
    g_box = TextBox{};
    g_open = false;
    Show(nullptr);
}

const std::vector<Part>& Parts() { return g_parts; }

UpgradeHotSpot* Slot(int row, int position)
{
    if (row < 0 || row > 2 || position < 0 || position > 2)
        return nullptr;
    return g_slots[row + 3 * position];
}

bool IsOpen() { return g_open; }

void Toggle()
{
    if (g_open) {
        Close();
        return;
    }
    HudView& view = HudView::Current();
    if (!view.Selected().empty())
        Open(*view.Selected().front());
}

void Open(WorldObject& character)
{
    HudView& view = HudView::Current();
    if (ReconView::IsActive())
        ReconView::Toggle(false);
    g_open = true;
    g_descriptionShown = false;
    g_openTime = view.RealNow();
    view.SetCursorMode(kCursorUpgrade);
    Show(&character);
}

void Close()
{
    g_open = false;
    Show(nullptr);
    SetText(nullptr);
    HudView::Current().SetCursorMode(0);
}

namespace {

// Growth, then the character model; the panel's items turning in their
// slots; the picked item at the model's mounting points.
void DrawModelAndItems(int64_t now, int64_t ticksPerSecond)
{
    ModelView& v = g_view;
    Camera* camera = ScreenCamera::Get();
    LightSet* lights = InterfaceLights::Get(InterfaceLights::kNormal);
    const auto time = uint64_t(std::max<int64_t>(now, 0));
    v.shown.clear();
    VeObject* model = InventoryDisplay::Model();
    if (model) {
        const float growthRate = 320.0f / float(std::max<int64_t>(ticksPerSecond, 1));
        v.scale = GrowthStep(v.scale, now - v.shownAt, growthRate, v.maximum);
        model->placement_.SetPosition({kModelX, kModelY, kPlaceZ});
        model->placement_.SetScale({0.75f * v.scale, v.scale, 0.75f * v.scale});
        model->placement_.SetOrientation(Turn(v.heading));
        model->QueueDraw(time, camera, lights, nullptr, 0, 0, nullptr, nullptr, nullptr);
    }
    Inventory* inventory = InventoryDisplay::Shown();
    if (!inventory)
        return;
    // Items come and go while the screen is open: the panel follows.
    inventory->BuildPanel();
    const double seconds = double(now - v.shownAt) / double(std::max<int64_t>(ticksPerSecond, 1));
    const Quaternion turn = Turn(ItemTurn(seconds));
    const auto& slots = InventoryPanel::Slots();
    for (int row = 0; row < 3; ++row)
        for (int position = 0; position < 3; ++position) {
            const CarriedItem* item = slots[size_t(row + 3 * position)].item;
            VeObject* object = item ? item->panelObject : nullptr;
            if (!object)
                continue;
            object->placement_.SetOrientation(turn);
            // An item the role may not use is drawn disabled; the picked one
            // see-through, blended over the panel.
            ShownItem shown{row, position, item->id, object, !MayUse(*item), 1.0f};
            RenderMaterial* material = nullptr;
            SeeThroughHook* seeThrough = nullptr;
            if (item == InventoryPanel::Selected()) {
                shown.alpha = kPickedAlpha;
                material = DefaultMaterial::Get(DefaultMaterial::Blended);
                seeThrough = new SeeThroughHook(kPickedAlpha);
            }
            LightSet* itemLights = shown.disabled ? InterfaceLights::Get(InterfaceLights::kPressed) : lights;
            object->QueueDraw(time, camera, itemLights, material, 0, 0, nullptr, seeThrough, nullptr);
            if (seeThrough)
                seeThrough->Release();
            v.shown.push_back(shown);
            const UpgradeHotSpot* slot = Slot(row, position);
            if (const auto count = SlotCountText(item->kind, int(item->count), int(item->limit)); count && slot) {
                float x = 0, y = 0;
                HudView& view = HudView::Current();
                SlotTextPosition(slot->rect, view.ScreenWidth(), view.ScreenHeight(), x, y);
                Text::DrawSmallReduced(*count, x, y, Hud::kWhite);
            }
        }
    // The picked item tried on: weapons at every mounting point (the role's
    // hot spots), a module at the part bearing its own name.
    ReleaseMounted();
    const CarriedItem* picked = InventoryPanel::Selected();
    const script::Role* role = v.unit ? v.unit->GetRole() : nullptr;
    if (!picked || !model || !role)
        return;
    std::vector<std::pair<std::string, float>> points;
    if (picked->kind == ItemKind::kWeapon) {
        for (const auto& name : {role->hotspotName, role->alternateHotspotName})
            if (name)
                points.emplace_back(*name, kWeaponDrop);
    } else if (const script::Role* itemRole = RoleTable::Global().FindById(picked->roleId)) {
        if (!itemRole->identifier.empty())
            points.emplace_back(itemRole->identifier, kModuleDrop);
    }
    const script::ShapeRef* shape = picked->PanelLook();
    for (const auto& [name, drop] : points) {
        Vec3 at;
        if (!shape || !*shape || !model->FindPartPosition(at, name, time))
            continue;
        VeObject* copy = MakeRoleObject(*shape, true);
        if (!copy)
            continue;
        Vec3 world = model->placement_.ScaledMatrix().TransformPoint(at);
        world.y -= drop;
        copy->placement_.SetPosition(world);
        copy->placement_.SetScale({v.scale, v.scale, v.scale});
        copy->QueueDraw(time, camera, lights, nullptr, 0, 0, nullptr, nullptr, nullptr);
        v.mounted.push_back(copy);
        v.shown.push_back({-1, -1, picked->id, copy, false, 1.0f});
    }
}

} // namespace

void Show(WorldObject* unit)
{
    ReleaseMounted();
    InventoryDisplay::Release();
    if (g_view.unit)
        g_view.unit->Release();
    g_view = ModelView{};
    g_passMode = g_carrying = false;
    if (!unit)
        return;
    unit->AddRef();
    g_view.unit = unit;
    InventoryDisplay::Init(*unit, [](const std::string& dummy, Vec3& at) {
        const auto it = g_dummies.find(dummy);
        if (it == g_dummies.end())
            return false;
        at = it->second;
        return true;
    });
    VeObject* model = InventoryDisplay::Model();
    g_view.scale = kModelStartScale;
    g_view.maximum = InventoryDisplay::ModelScale(model ? LargestExtent(*model) : 0.0f);
    g_view.shownAt = HudView::Current().RealNow();
}

WorldObject* ShownUnit() { return g_view.unit; }
TextureEntry* AmmoColours() { return g_ammoColours; }
VeObject* Model() { return InventoryDisplay::Model(); }
float ModelScale() { return g_view.scale; }
float ModelMaximumScale() { return g_view.maximum; }

void SetPicked(int32_t itemId)
{
    Inventory* inventory = InventoryDisplay::Shown();
    InventoryPanel::Selected() = inventory && itemId ? inventory->FindById(itemId) : nullptr;
}

bool PressPart(int kind)
{
    Inventory* inventory = InventoryDisplay::Shown();
    if (!inventory)
        return false;
    for (int32_t code : kRowCodes) {
        if (kind == code)
            return inventory->ScrollBack(true, code, PlayScrollSound);
        if (kind == code + 1)
            return inventory->ScrollForward(true, code, PlayScrollSound);
    }
    return false;
}

float ItemTurn(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0)
        return 0;
    return float(std::fmod(seconds * kItemTurnSteps, 4096.0));
}

const std::vector<ShownItem>& ShownItems() { return g_view.shown; }

bool DragModel(int pressX, int x, int phase)
{
    if (!InventoryDisplay::Model())
        return false;
    if (phase & 1) // the drag starts
        g_view.pressHeading = g_view.heading;
    const float width = std::max(HudView::Current().ScreenWidth(), 1.0f);
    const float heading = g_view.pressHeading - 1200.0f * float(x - pressX) / width;
    if (std::isfinite(heading))
        g_view.heading = std::fmod(heading, 4096.0f);
    return (phase & ~1) == 0;
}

float ModelHeading() { return g_view.heading; }

PartLook LookOf(const PartSpec& part, const PanelState& state)
{
    if (part.hot && !state.fullPanel)
        return PartLook::kHidden;
    const auto lit = [](bool on) { return on ? PartLook::kLit : PartLook::kDisabled; };
    switch (part.kind) {
    case kSlotKind: return state.slotHoldsPicked ? PartLook::kOutlined : PartLook::kNormal;
    case 22: return lit(state.rowUp[0]);
    case 23: return lit(state.rowDown[0]);
    case 24: return lit(state.rowUp[1]);
    case 25: return lit(state.rowDown[1]);
    case 26: return lit(state.rowUp[2]);
    case 27: return lit(state.rowDown[2]);
    case 28: return lit(ScrollButtonLit(state.boxUp, state.secondsOpen));
    case 29: return lit(ScrollButtonLit(state.boxDown, state.secondsOpen));
    case 32: return state.passMode ? PartLook::kOutlined : PartLook::kNormal;
    case kPageKind: {
        const bool own = state.shownCharacter && strcasecmp(part.name, state.shownCharacter) == 0;
        return own && !InfoPageShown(state.secondsOpen, state.descriptionShown) ? PartLook::kNormal
                                                                                : PartLook::kHidden;
    }
    case kInfoKind:
        return InfoPageShown(state.secondsOpen, state.descriptionShown) ? PartLook::kNormal : PartLook::kHidden;
    default: return PartLook::kNormal;
    }
}

namespace {

// Every part with the light set its look asks for.
void DrawParts(int64_t now, int64_t ticksPerSecond)
{
    ModelView& v = g_view;
    PanelState state;
    state.fullPanel = InventoryDisplay::Model() && v.scale >= v.maximum;
    Inventory* inventory = InventoryDisplay::Shown();
    for (int row = 0; row < 3; ++row) {
        state.rowUp[row] = inventory && inventory->ScrollBack(false, kRowCodes[row]);
        state.rowDown[row] = inventory && inventory->ScrollForward(false, kRowCodes[row]);
    }
    state.boxUp = CanScrollUp();
    state.boxDown = CanScrollDown();
    state.secondsOpen = double(now - g_openTime) / double(std::max<int64_t>(ticksPerSecond, 1));
    state.descriptionShown = g_descriptionShown;
    state.passMode = g_passMode;
    state.shownCharacter = v.unit ? ClientObjects::RoleName(*v.unit) : nullptr;
    const UpgradeHotSpot* pickedSlot = nullptr;
    const CarriedItem* picked = InventoryPanel::Selected();
    for (const ShownItem& item : v.shown)
        if (item.row >= 0 && picked && item.itemId == picked->id)
            pickedSlot = Slot(item.row, item.position);
    const auto time = uint64_t(std::max<int64_t>(now, 0));
    for (size_t i = 0; i < g_parts.size() && i < std::size(kParts); ++i) {
        Part& part = g_parts[i];
        if (!part.object)
            continue;
        state.slotHoldsPicked = pickedSlot && part.hotSpot == pickedSlot;
        InterfaceLights::Which lights = InterfaceLights::kNormal;
        switch (LookOf(kParts[i], state)) {
        case PartLook::kHidden: continue;
        case PartLook::kNormal: break;
        case PartLook::kLit: lights = InterfaceLights::kHighlighted; break;
        case PartLook::kDisabled: lights = InterfaceLights::kPressed; break;
        case PartLook::kOutlined: lights = InterfaceLights::kWhite; break;
        }
        part.object->QueueDraw(time, ScreenCamera::Get(), InterfaceLights::Get(lights), nullptr, 0, 0, nullptr,
                               nullptr, nullptr);
    }
}

} // namespace

void UpdateAndDraw()
{
    HudView& view = HudView::Current();
    const int64_t now = view.RealNow();
    DrawModelAndItems(now, view.TicksPerSecond());
    DrawParts(now, view.TicksPerSecond());
    if (g_box.present) {
        const double seconds = double(now - g_box.start) / double(std::max<int64_t>(1, view.TicksPerSecond()));
        Text::DrawWrappedBox(g_box.text, RevealedCharacters(seconds), Hud::kWhite);
    }
    Hud::DrawActivePauseBanner(now);
    Hud::DrawCountdowns(view.LocalTeam());
}

// ---- the mouse on the panel ----

namespace {

constexpr uint32_t kFlagCtrl = 2, kFlagDoubleClick = 0x800;
constexpr int kExitKind = 30, kDropKind = 31, kPassKind = 32;
constexpr int kRightArmSlot = 0, kLeftArmSlot = 1, kFirstBodySlot = 2;
// Text of the refusal of an item the character's role may not use.
constexpr uint32_t kRefusalText = 273;
// Pointer fractions beyond these lie off the panel: a carried item dropped
// there leaves the character.
constexpr float kPanelLow = 0.06f, kPanelHigh = 0.95f;

// One element per part, in part order, so that an element's address names
// its part.
std::vector<UiElement> g_elements;

bool Queued(uint32_t flags) { return (GameView::OrderFlags(flags) & 0xFFu) != 0; }

MovingObject* Owner() { return ClientObjects::AsMoving(g_view.unit); }

CarriedItem* Picked() { return InventoryPanel::Selected(); }

const char* ItemDescription(const CarriedItem& item)
{
    const script::Role* role = RoleTable::Global().FindById(item.roleId);
    return role && role->inventory && role->inventory->description ? role->inventory->description->c_str() : nullptr;
}

void ShowDescription()
{
    const CarriedItem* picked = Picked();
    SetText(DescriptionFor(picked ? ItemDescription(*picked) : nullptr, g_passMode && picked,
                           int(ClientObjects::Squad().size()), nullptr));
}

void Pick(CarriedItem* item)
{
    InventoryPanel::Selected() = item;
    g_passMode = false;
    ShowDescription();
}

// The item of a slot part, or null.
CarriedItem* SlotItem(const Part& part)
{
    for (int row = 0; row < 3; ++row)
        for (int position = 0; position < 3; ++position)
            if (part.hotSpot && Slot(row, position) == part.hotSpot)
                return InventoryPanel::Slots()[size_t(row + 3 * position)].item;
    return nullptr;
}

// The body slot a double click equips an item into: a weapon into a free
// upper arm (the right one when both are taken), a module, shield or
// armour into the slot whose part bears the item's own name, else the
// first free body slot; -1 for items nobody wears. An item already worn
// keeps its slot rather than moving to another part.
int32_t EquipSlotFor(const MovingObject& owner, const CarriedItem& item)
{
    const auto worn = [&](int32_t slot) {
        return std::any_of(owner.GetItemList().begin(), owner.GetItemList().end(),
                           [&](const MovingObject::WornItem& w) { return w.slot == slot; });
    };
    for (const MovingObject::WornItem& w : owner.GetItemList())
        if (w.itemId == item.id)
            return w.slot;
    if (item.kind == ItemKind::kWeapon)
        return worn(kRightArmSlot) && !worn(kLeftArmSlot) ? kLeftArmSlot : kRightArmSlot;
    if (item.kind != ItemKind::kShield && item.kind != 7 && item.kind != 8 && item.kind != 9)
        return -1;
    if (const script::Role* role = RoleTable::Global().FindById(item.roleId))
        for (int32_t slot = kFirstBodySlot; slot < BodyPart::kSlots; ++slot)
            if (strcasecmp(BodyPart::Name(slot), role->identifier.c_str()) == 0)
                return slot;
    for (int32_t slot = kFirstBodySlot; slot < BodyPart::kSlots; ++slot)
        if (!worn(slot))
            return slot;
    return kFirstBodySlot;
}

bool Equip(CarriedItem& item, int32_t slot, uint32_t flags)
{
    MovingObject* owner = Owner();
    if (!owner || slot < 0)
        return false;
    if (!MayUse(item)) {
        TextConsole::Print(TextConsole::Text(kRefusalText));
        return false;
    }
    owner->OrderEquip(item.id, slot, Queued(flags));
    Pick(nullptr);
    return true;
}

bool Drop(uint32_t flags)
{
    MovingObject* owner = Owner();
    CarriedItem* item = Picked();
    if (!owner || !item)
        return false;
    owner->OrderDrop(item->id, Queued(flags));
    Pick(nullptr);
    return true;
}

bool TakesItems(const WorldObject& character)
{
    return character.IsMobile() && const_cast<WorldObject&>(character).GetInventory() != nullptr;
}

// Where an upper arm of the shown model stands on the screen.
bool ArmOnScreen(const char* part, float& x, float& y)
{
    VeObject* model = InventoryDisplay::Model();
    Vec3 at;
    if (!model || !g_projection || !model->FindPartPosition(at, part, 0))
        return false;
    return g_projection(model->placement_.ScaledMatrix().TransformPoint(at), x, y) && std::isfinite(x) &&
           std::isfinite(y);
}

} // namespace

UiElement* ElementAt(int x, int y)
{
    if (!g_open)
        return nullptr;
    HudView& view = HudView::Current();
    const float width = std::max(view.ScreenWidth(), 1.0f), height = std::max(view.ScreenHeight(), 1.0f);
    g_elements.resize(g_parts.size());
    const float px = float(x) + 0.5f, py = float(y) + 0.5f;
    const char* shown = g_view.unit ? ClientObjects::RoleName(*g_view.unit) : nullptr;
    // Later parts lie in front: the slots before the rows' titles.
    for (size_t i = g_parts.size(); i-- > 0;) {
        const Part& part = g_parts[i];
        if (!part.hotSpot || !part.object)
            continue;
        const UpgradeHotSpot::Rect& r = part.hotSpot->rect;
        if (!(px >= r.x0 && px < r.x1 && py >= r.y0 && py < r.y1))
            continue;
        // Only the shown character's page is on the panel.
        if (part.hotSpot->Kind() == kPageKind && !(shown && strcasecmp(part.name.c_str(), shown) == 0))
            continue;
        UiElement& e = g_elements[i];
        e = UiElement{};
        e.kind = part.hotSpot->Kind();
        e.left = r.x0 / width;
        e.top = r.y0 / height;
        e.width = (r.x1 - r.x0) / width;
        e.height = (r.y1 - r.y0) / height;
        return &e;
    }
    return nullptr;
}

const Part* PartOf(const UiElement& element)
{
    if (g_elements.empty() || &element < g_elements.data() || &element >= g_elements.data() + g_elements.size())
        return nullptr;
    const size_t index = size_t(&element - g_elements.data());
    return index < g_parts.size() ? &g_parts[index] : nullptr;
}

void ClickElement(const UiElement& element, uint32_t flags)
{
    const Part* part = PartOf(element);
    if (!part || !part->hotSpot || !g_open)
        return;
    const int kind = part->hotSpot->Kind();
    switch (kind) {
    case kSlotKind: {
        CarriedItem* item = SlotItem(*part);
        if (item && (flags & kFlagDoubleClick)) {
            if (const MovingObject* owner = Owner())
                Equip(*item, EquipSlotFor(*owner, *item), flags);
            return;
        }
        Pick(item && item != Picked() ? item : nullptr);
        return;
    }
    case 22: case 23: case 24: case 25: case 26: case 27: PressPart(kind); return;
    case 28: ScrollUp(); return;
    case 29: ScrollDown(); return;
    case kExitKind: ScreenToggles::CloseUpgradeScreen(); return;
    case kDropKind: Drop(flags); return;
    case kPassKind:
        if (Picked() && ClientObjects::Squad().size() > 1) {
            g_passMode = !g_passMode;
            ShowDescription();
        }
        return;
    default: return;
    }
}

bool GiveTo(WorldObject& character, uint32_t flags)
{
    MovingObject* owner = Owner();
    CarriedItem* item = Picked();
    if (!owner || !item || &character == g_view.unit || !TakesItems(character))
        return false;
    owner->OrderGive(item->id, int32_t(character.GetId()), Queued(flags));
    Pick(nullptr);
    return true;
}

bool PassMode() { return g_passMode; }
bool CarriesItem() { return g_carrying; }

DropTarget TargetAt(int x, int y, WorldObject** character)
{
    const float px = float(x) + 0.5f, py = float(y) + 0.5f;
    float best = kArmReach * kArmReach;
    DropTarget arm = DropTarget::kNone;
    for (const auto& [name, target] :
         {std::pair{"Upper Arm Right", DropTarget::kRightArm}, std::pair{"Upper Arm Left", DropTarget::kLeftArm}}) {
        float ax = 0, ay = 0;
        if (!ArmOnScreen(name, ax, ay))
            continue;
        const float d = (ax - px) * (ax - px) + (ay - py) * (ay - py);
        if (d < best) {
            best = d;
            arm = target;
        }
    }
    if (arm != DropTarget::kNone)
        return arm;
    const UiElement* e = Picking::At(x, y).element;
    if (e && e->kind == 5 && e->character) {
        if (e->character == g_view.unit || !TakesItems(*e->character))
            return DropTarget::kNone;
        if (character)
            *character = e->character;
        return DropTarget::kCharacter;
    }
    if (e && e->kind == kPassKind && ClientObjects::Squad().size() >= 2)
        return DropTarget::kPassMode;
    HudView& view = HudView::Current();
    const float fx = px / std::max(view.ScreenWidth(), 1.0f), fy = py / std::max(view.ScreenHeight(), 1.0f);
    if (fx < kPanelLow || fx > kPanelHigh || fy < kPanelLow || fy > kPanelHigh || (e && e->kind == kDropKind))
        return DropTarget::kDrop;
    return DropTarget::kNone;
}

bool Drag(int pressX, int pressY, int x, int y, int phase, uint32_t flags)
{
    if (phase & 1) {
        const UiElement* e = ElementAt(pressX, pressY);
        const Part* part = e ? PartOf(*e) : nullptr;
        CarriedItem* item = part && part->hotSpot && part->hotSpot->Kind() == kSlotKind ? SlotItem(*part) : nullptr;
        g_carrying = item != nullptr;
        if (item)
            Pick(item);
    }
    if (!g_carrying)
        return DragModel(pressX, x, phase);
    if (phase & 4) { // cancelled: the item stays picked
        g_carrying = false;
        return false;
    }
    if (!(phase & 2))
        return true;
    g_carrying = false;
    CarriedItem* item = Picked();
    if (!item)
        return false;
    WorldObject* character = nullptr;
    switch (TargetAt(x, y, &character)) {
    case DropTarget::kRightArm: Equip(*item, kRightArmSlot, flags); break;
    case DropTarget::kLeftArm: Equip(*item, kLeftArmSlot, flags); break;
    case DropTarget::kCharacter: GiveTo(*character, flags); break;
    case DropTarget::kPassMode:
        g_passMode = true;
        ShowDescription();
        break;
    case DropTarget::kDrop: Drop(flags); break;
    case DropTarget::kNone: break;
    }
    return false;
}

std::vector<SlotMarker> MarkersFor(const UpgradeHotSpot::Rect& slot, bool mayUse, bool loaded, int swatchGroup)
{
    const float x = slot.x1 - 23, y = slot.y0 + 1;
    std::vector<SlotMarker> out;
    if (!mayUse)
        out.push_back({{x, x + 20, y, y + 22}, kCannotUseMarker});
    if (loaded)
        out.push_back({{x, x + 22, y, y + 20}, kLoadedMarker});
    // The swatch takes the loaded marker's place and size.
    if (swatchGroup >= 0)
        out.push_back({{x, x + 22, y, y + 20}, AmmoSwatch(swatchGroup)});
    return out;
}

// The markers' vertices are already on the screen: their depth is the
// device's, 0 (nearest) to 1, so they lie over the panel's parts drawn
// before them.
constexpr float kMarkerDepth = 0.0f;

void DrawSlotMarkers(int row, SpriteBatch& batch)
{
    if (row < 0 || row > 2 || !InventoryDisplay::Shown())
        return;
    const Unit* unit = g_view.unit && g_view.unit->IsUnit() ? static_cast<const Unit*>(g_view.unit) : nullptr;
    const int weapon = unit ? unit->WeaponType() : -1;
    const script::RecordTables& tables = script::RecordTables::Global();
    for (int position = 0; position < 3; ++position) {
        const CarriedItem* item = InventoryPanel::Slots()[size_t(row + 3 * position)].item;
        const UpgradeHotSpot* slot = Slot(row, position);
        if (!item || !slot)
            continue;
        const bool stack = item->kind == ItemKind::kAmmoStack;
        const bool loaded = stack && weapon >= 0 && unit->AmmoType() == item->subtype;
        const bool fits = stack && weapon >= 0 && tables.Weapon(weapon, item->subtype);
        for (const SlotMarker& m : MarkersFor(slot->rect, MayUse(*item), loaded, fits ? AmmoColourGroup(weapon) : -1))
            batch.DrawQuad(m.screen, m.texture, 0xFFFFFFFFu, kMarkerDepth);
    }
}

void DrawItemLists()
{
    if (!g_open || !InventoryDisplay::Shown())
        return;
    HudView& view = HudView::Current();
    SpriteBatch batch(SpriteBatch::DeviceSink());
    batch.SetScreen(view.ScreenWidth(), view.ScreenHeight());
    // Made on first use, while the device that compiles it is up.
    MakeMarkerMaterial();
    batch.SetMaterial(g_markerMaterial);
    for (int row = 0; row < 3; ++row)
        DrawSlotMarkers(row, batch);
    batch.Flush();
}

void InstallHooks()
{
    GameView::Screens& screens = GameView::GetScreens();
    Picking::SetElementLookup(ElementAt);
    screens.upgradeElementClick = ClickElement;
    screens.upgradeDrag = Drag;
    screens.giveHeldItem = [](WorldObject& character) { return g_passMode && GiveTo(character); };
    screens.upgradeOwner = [] { return g_view.unit; };
    screens.upgradeCarriesItem = [] { return g_carrying; };
    // A character that leaves the game takes its screen with it.
    ClientServices::Get().closeUpgradeScreen = [](WorldObject& object) {
        if (g_open && g_view.unit == &object)
            Close();
    };
    // The markers go over the panel in the effects' pass after the scene;
    // with the command wheel open the level is drawn instead of the panel.
    Effects::SetItemListsHook([] {
        if (!CommandWheel::IsOpen())
            DrawItemLists();
    });
}

} // namespace UpgradeScreen

namespace Hud {
namespace {
// The two bands' quads, made by the upgrade screen's build.
std::unique_ptr<ColourQuad> g_bands[2];
} // namespace

void MakePanelQuads()
{
    for (auto& band : g_bands)
        band = std::make_unique<ColourQuad>(0.0f, 0.0f, 0.0f, 1.0f);
}

void ReleasePanelQuads()
{
    for (auto& band : g_bands)
        band.reset();
}

std::vector<PanelBand> PanelPulseBands(float level)
{
    if (!(level > 0))
        return {};
    const float height = 0.1f * std::min(level, 5.0f);
    return {{0, 0, 1, height}, {0, 1 - height, 1, 1}};
}

void DrawPanelPulse(float level)
{
    const auto bands = PanelPulseBands(level);
    for (size_t i = 0; i < bands.size(); ++i) {
        if (!g_bands[i])
            continue;
        g_bands[i]->SetZ(ScreenCamera::kQuadDepth);
        g_bands[i]->SetRect(bands[i].x0, bands[i].y0, bands[i].x1, bands[i].y1);
        g_bands[i]->Draw(ScreenCamera::Get());
    }
}
} // namespace Hud

namespace SkyBackdrop {
namespace {
VeObject* g_sky = nullptr;
}

bool Load()
{
    if (g_sky)
        return true;
    VeShape* shape = ShapeCache::Get(kFile, "sky");
    if (!shape)
        return false;
    g_sky = VeObject::FromShape(shape, false);
    shape->Release();
    return true;
}

void Release()
{
    if (g_sky)
        g_sky->Release();
    g_sky = nullptr;
}

VeObject* Object() { return g_sky; }

void Draw()
{
    if (!g_sky)
        return;
    MainCamera& camera = MainCamera::Get();
    Vec3 offset{0, 0, 0};
    camera.ViewOffset(offset);
    g_sky->placement_.SetPosition(camera.Position() + offset);
    g_sky->QueueDraw(uint64_t(HudView::Current().RealNow()), &camera, LightSet::Global(1), nullptr, 0, 0, nullptr,
                     nullptr, nullptr);
}
} // namespace SkyBackdrop
