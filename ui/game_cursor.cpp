#include "ui/game_cursor.h"

#include "Veapi/object_preview.h"
#include "app/directories.h"
#include "app/display_mode.h"
#include "chunk/loaders/environment_loader.h"
#include "chunk/loaders/hierarchy_loader.h"
#include "objects/world_object.h"
#include "session/level_session.h"
#include "ui/client_objects.h"
#include "ui/game_view.h"
#include "ui/mouse.h"
#include "ui/picking.h"
#include "ui/selection.h"
#include "ui/wheel.h"

#include <array>

namespace GameCursor {

const char* const kPartNames[kShapeCount] = {"unselected", "standard", "attack", "attack ground", "pick up",
                                             "activate",   "drop",     "pass",   "cameralock"};

namespace {

std::array<HierarchyPtr, kShapeCount> g_shapes;
Shape g_shown = kStandard;
int32_t g_looped = 0;
bool g_anyShown = false;
// Set by the preview when a one-shot sequence ends; the rules wait for it.
uint8_t g_onceDone = 1;
Preview g_preview;

void SendHierarchy(Shape shape)
{
    Hierarchy* h = g_shapes[shape].get();
    if (g_preview.setHierarchy)
        g_preview.setHierarchy(h);
    else
        ObjectPreview::SetHierarchy(h);
}

void SendLooped(int32_t sequence)
{
    if (g_preview.playLooped)
        g_preview.playLooped(sequence);
    else
        ObjectPreview::PlayLooped(sequence);
}

void SendOnce(int32_t sequence)
{
    g_onceDone = 0;
    if (g_preview.playOnce)
        g_preview.playOnce(sequence, &g_onceDone);
    else
        ObjectPreview::PlayOnce(sequence, &g_onceDone);
}

// A character takes items passed to it when it carries an inventory.
bool AcceptsItems(WorldObject& character)
{
    return character.IsMobile() && character.GetInventory() != nullptr;
}

void Show(Shape shape, int32_t sequence)
{
    if (!g_anyShown || shape != g_shown) {
        g_shown = shape;
        g_looped = sequence;
        g_anyShown = true;
        SendHierarchy(shape);
        SendLooped(sequence);
    } else if (sequence != g_looped) {
        g_looped = sequence;
        SendLooped(sequence);
    }
}

} // namespace

Preview& PreviewCalls() { return g_preview; }

bool LoadFrom(const std::filesystem::path& folder)
{
    Release();
    auto record = trevok::LoadEnvironmentFile(folder, kModelFile);
    if (!record)
        return false;
    bool all = true;
    for (int i = 0; i < kShapeCount; ++i) {
        g_shapes[i] = trevok::LoadHierarchyFromChunks(kPartNames[i], *record);
        all = all && g_shapes[i] != nullptr;
    }
    record.reset();
    // The shapes' textures load now, with the loading screen's progress,
    // as a level's do: the cursor shows from the first frame.
    trevok::LoadLevelTextures([](float done) { LoadingScreen::SetProgress(int(done * 100.0f)); });
    g_anyShown = false;
    g_onceDone = 1;
    Show(kStandard, 0);
    ObjectPreview::SetOrientation(Quaternion::Identity());
    if (GameView::GetHooks().showSystemCursor)
        GameView::GetHooks().showSystemCursor(false);
    return all;
}

bool Load()
{
    // The cursor model lies with the other chunk files, in the rifs folder.
    const auto folder = app::DataDirectories::Global().Folder(app::kRifsDirectory);
    return folder && LoadFrom(*folder);
}

void Release()
{
    if (g_preview.setHierarchy)
        g_preview.setHierarchy(nullptr);
    else
        ObjectPreview::SetHierarchy(nullptr);
    for (HierarchyPtr& shape : g_shapes)
        shape.reset();
    g_anyShown = false;
    g_onceDone = 1; // nothing plays without a shape
}

void Pick(Shape& s, int32_t& l)
{
    s = kStandard;
    l = 0;
    const int mode = MouseMode::Get();
    int x = 0, y = 0;
    Mouse::LastPoint(x, y);
    switch (mode) {
    case MouseMode::kStandard: {
        const PickResult under = Picking::At(x, y);
        const WorldObject* o = under.object;
        if (Selection::Count() > 0) {
            if (o && o->IsAlive() && o->Side() != GameView::LocalTeam()) {
                if (!ClientObjects::IsItem(*o) || ClientObjects::HiddenByFog(*o)) {
                    if (!GameView::IsNeutralTeam(o->Side()))
                        s = kAttack, l = 1;
                } else {
                    switch (ClientObjects::ItemUseOf(*o)) {
                    case ClientObjects::ItemUse::kActivate: s = kActivate, l = 1; break;
                    case ClientObjects::ItemUse::kNone: break;
                    case ClientObjects::ItemUse::kPickUp: s = kPickUp, l = 2; break;
                    }
                }
            }
        } else {
            s = kUnselected;
            if (o && o->IsSelectable())
                l = 1;
        }
        break;
    }
    case MouseMode::kAttack:
        if (GameView::PendingWheelAction() != WheelAction::kUpgradeScreen)
            s = kAttackGround;
        break;
    case MouseMode::kUpgrade: {
        GameView::Screens& screens = GameView::GetScreens();
        if (!screens.upgradeCarriesItem || !screens.upgradeCarriesItem())
            break;
        const PickResult under = Picking::At(x, y);
        const UiElement* e = under.element;
        WorldObject* owner = screens.upgradeOwner ? screens.upgradeOwner() : nullptr;
        const float fx = float(x) / float(std::max(App::CurrentMode().width, 1));
        const float fy = float(y) / float(std::max(App::CurrentMode().height, 1));
        if (e && e->kind == 5) {
            if (e->character && e->character != owner && AcceptsItems(*e->character))
                s = kPass, l = 1;
        } else if (e && e->kind == 32 && ClientObjects::Squad().size() >= 2) {
            s = kPass, l = 1;
        } else if (fx < 0.06f || fx > 0.95f || fy < 0.06f || fy > 0.95f || (e && e->kind == 31)) {
            s = kDrop, l = 1;
        }
        break;
    }
    default: break;
    }
}

void Update()
{
    if (!g_onceDone || MouseMode::Get() == MouseMode::kCutscene)
        return;
    Shape s;
    int32_t l;
    Pick(s, l);
    Show(s, l);
}

void ShowOnce(Shape shape, int32_t sequence)
{
    if (!g_anyShown || shape != g_shown) {
        g_shown = shape;
        g_anyShown = true;
        SendHierarchy(shape);
    }
    SendOnce(sequence);
}

Shape Shown() { return g_shown; }
int32_t LoopedSequence() { return g_looped; }
bool Loaded(Shape shape) { return g_shapes[shape] != nullptr; }

} // namespace GameCursor
