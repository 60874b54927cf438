#include "ui/briefing.h"

#include "Veapi/camera.h"
#include "Veapi/font.h"
#include "Veapi/hierarchy.h"
#include "Veapi/light_set.h"
#include "Veapi/render_queue.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/app_state.h"
#include "app/app_time.h"
#include "app/directories.h"
#include "app/string_table.h"
#include "console/command_files.h"
#include "console/command_script.h"
#include "console/command_table.h"
#include "console/console_draw.h"
#include "console/readers.h"
#include "console/text_console.h"
#include "media/music_player.h"
#include "media/screen_quads.h"
#include "media/sound_system.h"
#include "objects/shape_cache.h"
#include "platform/data_path.h"
#include "session/level_session.h"
#include "ui/screen_camera.h"
#include "ui/still_screens.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>

namespace Briefing {
namespace {

// The scene light set: shapes and images are lit, and faded, through it.
LightSet* SceneLights() { return LightSet::Global(0); }

std::string g_script;
bool g_gameOver = false;
bool g_briefing = true;
bool g_active = false;
bool g_registered = false;
int g_fadeMode = 0;
int64_t g_fadeStart = 0, g_fadeEnd = 0;
float g_fadeLevel = 1.0f;
std::vector<Text> g_texts;
std::vector<std::unique_ptr<ScreenImage>> g_images;
std::vector<Shape> g_shapes;
Hooks g_hooks;

constexpr uint32_t kTextColour = 0xFFFFFFFFu;

void SetEmissiveGrey(float level)
{
    if (LightSet* lights = SceneLights()) {
        Colour c;
        c.Set(level, level, level, 1.0f);
        lights->SetEmissive(c);
    }
}

void StartGame()
{
    if (g_hooks.startSession)
        g_hooks.startSession();
    else
        StartSession(true);
}

void ShowTitle()
{
    if (g_hooks.titleScreen)
        g_hooks.titleScreen();
    else
        TitleScreen::Enter();
}

// A file name from a script line: refused, with the line's file and number,
// when it could leave the game's folders.
bool Acceptable(const std::string& name, const char* command)
{
    if (!CommandFiles::Escapes(name))
        return true;
    TextConsole::PrintFailure(std::string(command) + ": " + TextConsole::Text(6058) + name);
    return false;
}

void StartFade(int mode)
{
    const int seconds = std::max(0, TextConsole::ReadInt(3));
    g_fadeMode = mode;
    g_fadeStart = AppTime::RealNow();
    g_fadeEnd = g_fadeStart + int64_t(seconds) * AppTime::TicksPerSecond();
}

void AddImage(float x0, float y0, float x1, float y1, const std::string& file, const char* command)
{
    if (file.empty() || !Acceptable(file, command))
        return;
    auto folder = app::DataDirectories::Global().Folder(app::kGraphicsDirectory);
    if (!folder)
        return;
    bool ok = false;
    auto image = std::make_unique<ScreenImage>(*folder, file, ok);
    if (!ok)
        return;
    image->SetRect(x0, y0, x1, y1);
    g_images.push_back(std::move(image));
}

void AddObject(const std::string& name, VeObject* object)
{
    const Fit fit = FitToScreen(object->minimum_, object->maximum_);
    object->placement_.SetScale({fit.scale, fit.scale, fit.scale});
    object->placement_.SetPosition(fit.position);
    g_shapes.push_back({name.empty() ? object->Name() : name, object});
}

void CommandDark()
{
    if (LightSet* lights = SceneLights()) {
        lights->Clear();
        SetEmissiveGrey(0.0f);
    }
}

void CommandBackground() { AddImage(0, 0, 1, 1, TextConsole::ReadRestOfLine(), "BACKGROUND"); }

void CommandBitmap()
{
    const float x0 = TextConsole::ReadFloat(0), y0 = TextConsole::ReadFloat(0);
    const float x1 = TextConsole::ReadFloat(1), y1 = TextConsole::ReadFloat(1);
    AddImage(x0, y0, x1, y1, TextConsole::ReadRestOfLine(), "BITMAP");
}

void CommandFadeIn() { StartFade(1); }
void CommandFadeOut() { StartFade(2); }

void CommandText()
{
    Text text;
    text.number = TextConsole::ReadInt(0);
    text.left = TextConsole::ReadFloat(0);
    text.right = TextConsole::ReadFloat(1);
    text.top = TextConsole::ReadFloat(0);
    // Numbers far outside the table wrap to an id it does not have.
    const char* found = StringTable::Global().Find(kFirstText + uint32_t(text.number));
    text.text = found ? found : "";
    text.start = AppTime::RealNow();
    g_texts.push_back(std::move(text));
}

void CommandShape()
{
    const std::string name = TextConsole::ReadWord();
    const std::string file = TextConsole::ReadRestOfLine();
    if (file.empty() || !Acceptable(file, "BRIEFING SHAPE"))
        return;
    VeShape* shape = ShapeCache::Get(file, name);
    if (!shape)
        return;
    VeObject* object = VeObject::FromShape(shape, true);
    shape->Release(); // the object holds it now
    if (object)
        AddObject(name, object);
}

void CommandHierarchy()
{
    const std::string name = TextConsole::ReadWord();
    const std::string file = TextConsole::ReadRestOfLine();
    if (file.empty() || !Acceptable(file, "BRIEFING HIERARCHY"))
        return;
    Hierarchy* hierarchy = HierarchyCache::Get(file, name);
    if (!hierarchy) {
        // A name that is no hierarchy of the file: its first one.
        std::vector<const std::string*> listed;
        ChunkFileCache::ListHierarchies(file, listed);
        if (!listed.empty())
            hierarchy = HierarchyCache::Get(file, *listed.front());
    }
    if (!hierarchy)
        return;
    VeObject* object = VeObject::FromHierarchy(hierarchy, true);
    hierarchy->Release();
    if (object)
        AddObject(name, object);
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

void CommandDisplace()
{
    const std::string name = TextConsole::ReadWord();
    const float a = TextConsole::ReadFloat(0), b = TextConsole::ReadFloat(0), c = TextConsole::ReadFloat(0);
    for (Shape& shape : g_shapes) {
        if (!SameNameIgnoringCase(shape.name, name))
            continue;
        const Vec3 p = shape.object->placement_.Position();
        shape.object->placement_.SetPosition({p.x + c, p.y + b, p.z + a});
    }
}

void CommandCls() { g_texts.clear(); }

void CommandEnd()
{
    // A debriefing ends like a key press does: the briefing follows it, so
    // no mission starts without its own briefing.
    Skip();
}

struct BriefingCommand {
    const char* name;
    const char* help;
    CommandHandler handler;
};
constexpr BriefingCommand kCommands[] = {
    {"DARK", "Sets ambient light to (0,0,0).", CommandDark},
    {"BACKGROUND", "Loads & displays a new background image.", CommandBackground},
    {"BITMAP", "Loads & displays a new bitmap.", CommandBitmap},
    {"FADE IN", "Fades up the ambient light.", CommandFadeIn},
    {"FADE OUT", "Fades down the ambient light.", CommandFadeOut},
    {"BRIEFING TEXT", "Displays text on the briefing screen.", CommandText},
    {"BRIEFING SHAPE", "Loads a shape to be used on the briefing screen.", CommandShape},
    {"BRIEFING HIERARCHY", "Loads a hierarchy to be used on the briefing screen.", CommandHierarchy},
    {"DISPLACE", "Moves a (loaded) shape or hierarchy relative to its current position.", CommandDisplace},
    {"CLS", "Clears the screen", CommandCls},
    {"END BRIEFING", "Ends the briefing and begins the main game.", CommandEnd},
};

void RemoveCommands()
{
    for (const BriefingCommand& c : kCommands)
        while (CommandTable::Global().Remove(c.name, c.handler)) {
        }
    g_registered = false;
}

void RegisterCommands()
{
    // Entering again (the debriefing's own Enter, a script that ends at
    // once) must not stack a second copy of each.
    RemoveCommands();
    for (const BriefingCommand& c : kCommands)
        CommandTable::Global().Register(c.name, c.help, c.handler, 3);
    g_registered = true;
}

// Fade level at `now`: 1 when the fade is over, and a fade of no length is
// over on its first frame.
float FadeProgress(int64_t now)
{
    if (g_fadeEnd <= g_fadeStart || now >= g_fadeEnd)
        return 1.0f;
    if (now <= g_fadeStart)
        return 0.0f;
    return float(double(now - g_fadeStart) / double(g_fadeEnd - g_fadeStart));
}

uint32_t Faded(uint32_t colour, float level)
{
    auto channel = [&](int shift) {
        const float v = float((colour >> shift) & 0xFF) * std::clamp(level, 0.0f, 1.0f);
        return uint32_t(v) << shift;
    };
    return (colour & 0xFF000000u) | channel(16) | channel(8) | channel(0);
}

void FreeAll()
{
    g_texts.clear();
    for (Shape& s : g_shapes)
        s.object->Release();
    g_shapes.clear();
    if (!g_images.empty()) {
        // Their tiles may stand in this frame's render queue still.
        RenderQueue::Clear();
        g_images.clear();
    }
}

} // namespace

std::string& ScriptName() { return g_script; }
bool& GameOver() { return g_gameOver; }
bool IsDebriefing() { return !g_briefing; }
bool IsActive() { return g_active; }
Hooks& GetHooks() { return g_hooks; }
const std::vector<Text>& Texts() { return g_texts; }
size_t ImageCount() { return g_images.size(); }
const std::vector<Shape>& Shapes() { return g_shapes; }
int FadeMode() { return g_fadeMode; }
float FadeLevel() { return g_fadeLevel; }

std::string ScriptNameFor(const std::string& definitions, bool briefing)
{
    if (definitions.size() <= 4)
        return {};
    return definitions.substr(0, definitions.size() - 3) + (briefing ? "brf" : "dbf");
}

Fit FitToScreen(const Vec3& minimum, const Vec3& maximum)
{
    const float extent = std::max(maximum.x - minimum.x, maximum.y - minimum.y);
    const float scale = std::isfinite(extent) && extent > 0 ? 1.0f / extent : 1.0f;
    auto middle = [&](float lo, float hi) {
        const float m = 0.5f * (lo + hi);
        return std::isfinite(m) ? m : 0.0f;
    };
    return {scale, {0.5f - scale * middle(minimum.x, maximum.x), 0.5f - scale * middle(minimum.y, maximum.y), 0.5f}};
}

size_t RevealedCharacters(const Text& text, int64_t now)
{
    if (now <= text.start)
        return 0;
    const double seconds = double(now - text.start) / double(AppTime::TicksPerSecond());
    const double shown = std::round(seconds * kCharactersPerSecond);
    return shown >= double(text.text.size()) ? text.text.size() : size_t(shown);
}

void Enter(bool briefing)
{
    // A briefing entered over a running one replaces it whole.
    if (g_active)
        Leave(g_briefing);
    if (LightSet* lights = SceneLights()) {
        lights->Clear();
        Colour colour, specular;
        colour.Set(0.8f, 0.8f, 0.8f, 1.0f);
        specular.Set(0, 0, 0, 0);
        lights->AddDirectionalLight(colour, specular, {-0.57735f, -0.57735f, -0.57735f});
        SetEmissiveGrey(0.2f);
    }
    SetAppState(AppState::Briefing);
    g_briefing = briefing;
    g_active = true;
    g_fadeMode = 0;
    g_fadeLevel = 1.0f;
    RegisterCommands();
    if (SoundSystem* sound = SoundSystem::Global())
        sound->LoadSoundBank(kSoundBank);

    // Lines a level left queued never run as part of the briefing.
    CommandScript::Clear();
    g_script = g_gameOver ? std::string(kGameOverScript) : ScriptNameFor(Session::Names().script, briefing);
    if (!g_script.empty() && Acceptable(g_script, "BRIEFING")) {
        if (auto folder = CommandFiles::ScriptsFolder())
            if (auto path = platform::ResolveDataPath(*folder, g_script))
                CommandScript::QueueFile(*path, {LineSource::Briefing, g_script, 0, 0});
    }
    if (!CommandScript::IsPending()) {
        // Nothing to show: move on as a key press would (a lost game without
        // its script goes back to the title, never into a new game).
        if (g_gameOver) {
            Skip();
            return;
        }
        Leave(briefing);
        if (briefing)
            StartGame();
        else
            Enter(true);
        return;
    }
    if (!MusicPlayer::Global())
        MusicPlayer::Play(MusicPlayer::Create(), kMusic);
}

void Draw()
{
    const int64_t now = AppTime::RealNow();
    if (g_fadeMode == 1) {
        float level = FadeProgress(now);
        if (level >= 1.0f)
            g_fadeMode = 0;
        g_fadeLevel = level;
        SetEmissiveGrey(level);
    } else if (g_fadeMode == 2) {
        float level = 1.0f - FadeProgress(now);
        if (level <= 0.0f)
            g_fadeMode = 0;
        SetEmissiveGrey(level);
    }
    Camera* camera = ScreenCamera::Get();
    for (const Shape& s : g_shapes)
        s.object->QueueDraw(uint64_t(now), camera, SceneLights(), nullptr, 0, 0, nullptr, nullptr, nullptr);
    if (camera)
        camera->SetCurrent();
    // Pictures follow the scene's fades through their own lights.
    const float level = SceneLights() ? SceneLights()->Material().emissive.r : 1.0f;
    for (const auto& image : g_images) {
        Colour grey;
        grey.Set(level, level, level, 1.0f);
        image->Lights().SetEmissive(grey);
        image->Draw(camera);
    }
    Font* font = ConsoleFonts::Get(ConsoleFonts::kLarge);
    if (!font)
        return;
    const uint32_t colour = Faded(kTextColour, g_fadeLevel);
    for (const Text& text : g_texts) {
        const size_t shown = RevealedCharacters(text, now);
        const bool whole = shown >= text.text.size();
        font->DrawString(text.left, text.top, text.right, 1.0f, text.text, 0.0f, colour,
                         whole ? -1 : int32_t(shown),
                         TextFlags::kOutline | (whole ? 0 : TextFlags::kSecondColour), 0, colour, 0, 0.5f);
    }
}

void Leave(bool)
{
    if (g_registered)
        RemoveCommands();
    FreeAll();
    TextConsole::Reset();
    if (SoundSystem* sound = SoundSystem::Global())
        sound->UnloadSoundBank(kSoundBank);
    if (LightSet* lights = SceneLights())
        lights->Clear();
    MusicPlayer::Destroy();
    g_fadeMode = 0;
    g_active = false;
}

void Skip()
{
    if (g_gameOver) {
        g_gameOver = false;
        Leave(true);
        ShowTitle();
    } else if (!g_briefing) {
        Leave(false);
        Enter(true);
    } else {
        Leave(true);
        StartGame();
    }
}

} // namespace Briefing
