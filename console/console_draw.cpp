#include "console/console_draw.h"

#include "Veapi/VertBuff.h"
#include "Veapi/camera.h"
#include "Veapi/font.h"
#include "Veapi/light_set.h"
#include "Veapi/ve3d.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "console/screen_message.h"
#include "console/text_console.h"

#include <algorithm>
#include <array>

namespace ConsoleFonts {
namespace {
std::array<Font*, kCount> g_fonts{};
}

Font* Get(Which which) { return which >= 0 && which < kCount ? g_fonts[size_t(which)] : nullptr; }

void Unload()
{
    for (Font*& f : g_fonts) {
        if (f)
            f->Unload();
        f = nullptr;
    }
}

bool Load(const std::filesystem::path& fontsDir, const std::filesystem::path& graphicsDir, std::string& error)
{
    Unload();
    for (int i = 0; i < kCount; ++i) {
        std::string why;
        g_fonts[size_t(i)] = Font::LoadFile(fontsDir, kFiles[i], graphicsDir, why);
        if (!g_fonts[size_t(i)]) {
            error = why;
            Unload();
            return false;
        }
    }
    return true;
}
} // namespace ConsoleFonts

namespace {

// The text rectangle is as wide as the screen's remainder; wrapping and
// centring happen inside it.
void Queue(Font* font, std::string_view text, float left, float top, float right, uint32_t colour, int count,
           uint32_t flags, float scale, int cursor = 0, uint32_t second = 0)
{
    if (!font || (text.empty() && !(flags & TextFlags::kCursor)))
        return;
    font->DrawString(left, top, right, 1.0f, text, 0.0f, colour, count, flags, cursor, second, 0, scale);
}

// Console rows and the HUD's small lines are drawn a little under the
// font's own size.
constexpr float kRowScale = 0.85f, kSmallScale = 0.95f, kReducedScale = 0.9f, kBoxScale = 0.8f;

// The console measures its rows in the font's own pixels: the screen is
// wider and a row shorter by the row scale.
int32_t ScaledScreenWidth() { return int32_t(float(Display::Width()) / kRowScale); }

void SetRowMetrics(const Font* small)
{
    TextConsole::SetMetrics(small->Widths(), ScaledScreenWidth(), small->LineHeight() * kRowScale);
}

Font* Small() { return ConsoleFonts::Get(ConsoleFonts::kSmall); }
Font* SmallOrLarge(bool large) { return ConsoleFonts::Get(large ? ConsoleFonts::kLarge : ConsoleFonts::kSmall); }

// The backdrop is a unit quad seen by a camera of its own that maps the quad
// onto the whole screen (y down), so moving it by the slide offset slides it.
// Its light set has no lights: the emissive black with alpha 0.66 is all it
// shows. Plain pointers, freed by Release: the camera list they register in
// may be gone before a namespace-scope owner would let go of them.
struct Backdrop {
    VeObject* object = nullptr;
    LightSet* lights = nullptr;
    Camera* camera = nullptr;
};
Backdrop g_backdrop;

// Just past the camera's near plane (1 unit), in front of everything else.
constexpr float kBackdropDepth = 0.01f;

void DrawBackdrop(float slide)
{
    Backdrop& b = g_backdrop;
    if (!b.object || !Display::Device())
        return;
    b.object->placement_.SetPosition({0.0f, std::max(slide, -1.0f), kBackdropDepth});
    b.object->QueueDraw(0, b.camera, b.lights, DefaultMaterial::Get(DefaultMaterial::BlendedNoZWrite), 0,
                        DrawFlag::kNoBoxTests, nullptr, nullptr, nullptr);
}

// The current message of each kind, revealed character by character; the
// newest character stands out until the whole text shows.
void DrawScreenMessages()
{
    const int64_t now = TextConsole::GameNow();
    for (const ScreenMessage* m : ScreenMessages::DrawAll()) {
        const size_t shown = m->Shown(now);
        const bool whole = shown >= m->text.size();
        const uint32_t flags = whole ? 96 : 112;
        Queue(Small(), m->text, m->left, m->y, m->right, TextConsole::Get().textColour, int(shown), flags, kRowScale, 0,
              0xffffffffu);
    }
}

} // namespace

namespace ConsoleBackdrop {

void Create()
{
    Release();
    Backdrop& b = g_backdrop;
    VeShape* shape = VeShape::FromPrimitive({1, 1024, 1024, 0, nullptr});
    if (!shape)
        return;
    b.object = VeObject::FromShape(shape, false);
    shape->Release();
    b.lights = new LightSet;
    Colour black;
    black.Set(0.0f, 0.0f, 0.0f, kAlpha);
    b.lights->SetEmissive(black);
    b.camera = new Camera;
    b.camera->SetPerspective(false);
    b.camera->SetViewSize(1.0f, 1.0f);
    b.camera->SetPosition({0.5f, 0.5f, -1.0f});
}

void Release()
{
    Backdrop& b = g_backdrop;
    if (b.object)
        b.object->Release();
    if (b.lights)
        b.lights->Release();
    delete b.camera;
    b = {};
}

const VeObject* Object() { return g_backdrop.object; }
const LightSet* Lights() { return g_backdrop.lights; }

} // namespace ConsoleBackdrop

namespace TextConsole {

namespace {
void (*g_statusWindowSetup)() = nullptr;
}

void SetStatusWindowSetup(void (*setup)()) { g_statusWindowSetup = setup; }

bool Init(const std::filesystem::path& fontsDir, const std::filesystem::path& graphicsDir, std::string& error)
{
    Create();
    ConsoleBackdrop::Create();
    if (!ConsoleFonts::Load(fontsDir, graphicsDir, error))
        return false;
    SetRowMetrics(Small());
    // The status window's panel and the interface light sets are set up with
    // the console, whose fonts the window writes with.
    if (g_statusWindowSetup)
        g_statusWindowSetup();
    return true;
}

int DrawLine(std::string_view text, float x, float y, uint32_t flags, uint32_t colour, int cursor)
{
    const float top = y + Get().slidePosition;
    const int rows = std::max(1, WrapRows(text, kWrapWidth));
    if (!Small())
        return rows;
    Queue(Small(), text, x, top, x + kWrapWidth, colour, -1, flags, kRowScale, cursor);
    return rows;
}

void DrawFrame()
{
    Font* small = Small();
    if (!small)
        return;
    // The measures follow display-mode changes.
    if (Display::Width() > 0 && (Get().widths.empty() || ScaledScreenWidth() != Get().screenWidth ||
                                 small->LineHeight() * kRowScale != Get().rowHeight))
        SetRowMetrics(small);
    const State& s = Get();
    if (s.displayMode != 3 && s.slidePosition > -1.0f) {
        DrawBackdrop(s.slidePosition);
        // Rows() places rows from the slide offset; DrawLine adds it back.
        for (const DrawRow& row : Rows()) {
            DrawLine(row.text, row.x, row.y - s.slidePosition, row.flags, row.colour, row.cursor);
        }
    }
    DrawScreenMessages();
}

} // namespace TextConsole

namespace Text {

void DrawSmall(std::string_view text, float x, float y, uint32_t colour, uint32_t flags)
{
    Queue(Small(), text, x, y, 1.0f, colour, -1, flags, kSmallScale);
}

void DrawSmall2(std::string_view text, float x, float y, uint32_t colour, uint32_t flags)
{
    Queue(ConsoleFonts::Get(ConsoleFonts::kSmall2), text, x, y, 1.0f, colour, -1, flags, kSmallScale);
}

void DrawSmallClipped(std::string_view text, int count, float x, float y, uint32_t colour, bool centred)
{
    Queue(Small(), text, x, y, 1.0f, colour, std::max(count, 0), centred ? TextFlags::kCentre : 0, kSmallScale);
}

void DrawSmallScaled(std::string_view text, int count, float x, float y, float scale, uint32_t colour)
{
    Queue(Small(), text, x, y, 1.0f, colour, std::max(count, 0), 0, scale);
}

void DrawSmallOrLarge(std::string_view text, bool large, float x, float y, uint32_t colour, uint32_t flags)
{
    Queue(SmallOrLarge(large), text, x, y, 1.0f, colour, -1, flags, 1.0f);
}

void DrawClipped(std::string_view text, int count, bool large, float x, float y, uint32_t colour)
{
    Queue(SmallOrLarge(large), text, x, y, 1.0f, colour, std::max(count, 0), 0, 1.0f);
}

void DrawRightAligned(std::string_view text, float x, float y, uint32_t colour)
{
    // The width at this helper's own scale, not the console rows'.
    const Font* small = Small();
    if (!small || Display::Width() <= 0)
        return;
    int64_t pixels = 0;
    for (const char ch : text)
        pixels += GlyphAdvance(small->Widths(), ch);
    const float left = x - float(double(pixels) * kSmallScale / double(Display::Width()));
    Queue(Small(), text, left, y, 1.0f, colour, -1, TextFlags::kOneLine, kSmallScale);
}

void DrawLoadingText(std::string_view text, uint32_t colour)
{
    Queue(ConsoleFonts::Get(ConsoleFonts::kLarge), text, 0.0f, 0.9f, 1.0f, colour, -1, 42, 1.0f);
}

void DrawSmallReduced(std::string_view text, float x, float y, uint32_t colour)
{
    Queue(Small(), text, x, y, 1.0f, colour, -1, 0, kReducedScale);
}

void DrawWrappedBox(std::string_view text, int count, uint32_t colour)
{
    Queue(Small(), text, 0.1f, 0.775f, 1.0f, colour, std::max(count, 0), 0, kBoxScale);
}

} // namespace Text
