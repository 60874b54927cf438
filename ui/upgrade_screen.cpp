#include "ui/upgrade_screen.h"

#include "console/console_draw.h"
#include "console/text_console.h"
#include "ui/hud_view.h"
#include "ui/hud.h"
#include "ui/recon_view.h"
#include "objects/shape_cache.h"
#include "Veapi/camera.h"
#include "Veapi/font.h"
#include "Veapi/light_set.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace UpgradeScreen {
namespace {

constexpr float kGrowthCap = 0.34f;
constexpr int kCursorUpgrade = 3;

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
int64_t g_openTime = 0;

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

float MaxGrowthScale(float extent)
{
    if (!(extent > 0) || !std::isfinite(extent))
        return kGrowthCap;
    return std::min(0.63f / extent, kGrowthCap);
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
    SkyBackdrop::Load();
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
    SkyBackdrop::Release();
    std::fill(std::begin(g_slots), std::end(g_slots), nullptr);
    g_box = TextBox{};
    g_open = false;
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
    if (view.Selected().empty())
        return;
    if (ReconView::IsActive())
        ReconView::Toggle(false);
    g_open = true;
    g_openTime = view.RealNow();
    view.SetCursorMode(kCursorUpgrade);
}

void Close()
{
    g_open = false;
    SetText(nullptr);
    HudView::Current().SetCursorMode(0);
}

void UpdateAndDraw()
{
    HudView& view = HudView::Current();
    const int64_t now = view.RealNow();
    if (g_box.present) {
        const double seconds = double(now - g_box.start) / double(std::max<int64_t>(1, view.TicksPerSecond()));
        Text::DrawWrappedBox(g_box.text, RevealedCharacters(seconds), Hud::kWhite);
    }
    Hud::DrawActivePauseBanner(now);
    Hud::DrawCountdowns(view.LocalTeam());
}

} // namespace UpgradeScreen

namespace Hud {
void DrawPanelPulse(float) {}
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
