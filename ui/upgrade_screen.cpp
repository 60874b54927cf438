#include "ui/upgrade_screen.h"

#include "console/console_draw.h"
#include "console/text_console.h"
#include "ui/hud_view.h"
#include "ui/hud.h"
#include "ui/client_objects.h"
#include "ui/game_view.h"
#include "ui/recon_view.h"
#include "objects/inventory.h"
#include "objects/inventory_display.h"
#include "objects/role_table.h"
#include "objects/shape_cache.h"
#include "objects/world_object.h"
#include "script/records.h"
#include "ui/status_window.h"
#include "world/map_build.h"
#include <map>
#include "Veapi/camera.h"
#include "media/screen_quads.h"
#include "ui/screen_camera.h"
#include "Veapi/font.h"
#include "Veapi/light_set.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"

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
// Where the panel model's slot dummies stand, by name, in screen fractions.
std::map<std::string, Vec3> g_dummies;
std::vector<VeObject*> g_dummyObjects; // one use each, kept as the parts are

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

void Build()
{
    Release();
    const Vec3 place{kPlaceX, kPlaceY, kPlaceZ};
    for (const PartSpec& spec : kParts) {
        Part part{spec.name, spec.hot, spec.kind ? new UpgradeHotSpot(spec.kind) : nullptr};
        if (VeShape* shape = ShapeCache::Get(kModelFile, spec.name)) {
            part.object = VeObject::FromShape(shape, true);
            shape->Release();
            part.object->placement_.SetPosition(place);
        }
        if (part.hotSpot && part.object)
            part.hotSpot->rect = ProjectBox(part.object->minimum_ + place, part.object->maximum_ + place, g_projection);
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
    Hud::ReleasePanelQuads();
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
            object->QueueDraw(time, camera, lights, nullptr, 0, 0, nullptr, nullptr, nullptr);
            v.shown.push_back({row, position, item->id, object});
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
        v.shown.push_back({-1, -1, picked->id, copy});
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
