#include "Veapi/font.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "Veapi/VertBuff.h"
#include "Veapi/camera.h"
#include "Veapi/quad_batch.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"
#include "platform/byte_cursor.h"
#include "platform/data_path.h"

using namespace FontGlyphs;

bool BuildGlyphTable(int32_t lineHeight, std::span<const int32_t> widths, std::span<const uint8_t> rows,
                     GlyphTable& table, std::string& error)
{
    if (widths.size() < size_t(kFirstCode + kGlyphs)) {
        error = "font width table holds " + std::to_string(widths.size()) + " codes, needs " +
                std::to_string(kFirstCode + kGlyphs);
        return false;
    }
    if (rows.size() < size_t(kGlyphs)) {
        error = "font row table holds " + std::to_string(rows.size()) + " glyphs, needs " +
                std::to_string(kGlyphs);
        return false;
    }
    if (lineHeight <= 0 || lineHeight > kTextureSize) {
        error = "font line height " + std::to_string(lineHeight) + " is outside 1.." +
                std::to_string(kTextureSize);
        return false;
    }
    constexpr float kTexel = 1.0f / float(kTextureSize);
    int64_t x = 1, y = 1;
    for (int i = 0; i < kGlyphs; ++i) {
        const int64_t w = widths[size_t(kFirstCode + i)];
        // A glyph past the texture would sample its neighbours' texels or wrap.
        if (w < 0 || x + w + 1 > kTextureSize || y + lineHeight - 1 > kTextureSize) {
            error = "font glyph " + std::to_string(i) + " (code " + std::to_string(kFirstCode + i) + ", width " +
                    std::to_string(w) + ") at texel " + std::to_string(x) + "," + std::to_string(y) +
                    " does not fit the texture";
            return false;
        }
        table.left[i] = float(x) * kTexel;
        table.right[i] = float(x + w + 1) * kTexel;
        table.top[i] = float(y) * kTexel;
        table.bottom[i] = float(y + lineHeight - 1) * kTexel;
        if (i + 1 < kGlyphs && rows[size_t(i + 1)] == rows[size_t(i)]) {
            x += w + 3;
        } else {
            x = 1;
            y += lineHeight;
        }
    }
    return true;
}

int GlyphIndexOf(char ch)
{
    const int code = int(uint8_t(ch));
    return code >= kFirstCode && code < kFirstCode + kGlyphs ? code - kFirstCode : kFallback - kFirstCode;
}

int32_t GlyphAdvance(std::span<const int32_t> widths, char ch)
{
    const size_t code = size_t(GlyphIndexOf(ch) + kFirstCode);
    return code < widths.size() ? std::max<int32_t>(widths[code], 0) : 0;
}

int CountTextLines(std::span<const int32_t> widths, std::string_view text, int32_t width, bool oneLine)
{
    return WalkText(widths, text, width, oneLine, [](const PlacedChar&) {});
}

// ---- Font files ------------------------------------------------------------------

namespace {
constexpr uint32_t kFontMagic = 0x4E465654;  // "TVFN"
constexpr uint32_t kFontVersion = 1;
constexpr size_t kMaxTextureName = 260;
} // namespace

namespace {
// A rectangle's width in screen pixels as the font's own pixels at `scale`.
int32_t UnscaledWidth(int32_t pixels, float scale)
{
    return int32_t(std::clamp(std::floor(double(pixels) / double(scale)), -2147483647.0, 2147483647.0));
}
} // namespace

bool ReadFontFile(std::span<const uint8_t> bytes, FontFile& out, std::string& error)
{
    trevok::ByteReader r(bytes);
    auto fail = [&](const std::string& what) {
        error = "at byte " + std::to_string(r.Position()) + ": " + what;
        return false;
    };
    if (r.U32() != kFontMagic || !r.Ok())
        return fail("not a font file (no \"TVFN\")");
    const uint32_t version = r.U32();
    if (version != kFontVersion)
        return fail("version " + std::to_string(version) + " is not 1");
    out.lineHeight = r.I32();
    const size_t nameLength = r.U16();
    if (nameLength == 0 || nameLength > kMaxTextureName)
        return fail("texture name of " + std::to_string(nameLength) + " bytes");
    if (!r.Has(nameLength))
        return fail("file ends inside the texture name");
    out.texture.clear();
    for (size_t i = 0; i < nameLength; ++i)
        out.texture.push_back(char(r.U8()));
    const uint32_t codes = r.U32();
    if (codes < uint32_t(kFirstCode + kGlyphs) || codes > uint32_t(kWidthCodes))
        return fail("width table of " + std::to_string(codes) + " codes (132 to 256)");
    out.widths.assign(codes, 0);
    for (int32_t& w : out.widths)
        w = r.I32();
    out.rows.assign(kGlyphs, 0);
    for (uint8_t& row : out.rows)
        row = r.U8();
    if (!r.Ok())
        return fail("file ends inside the tables");
    return true;
}

std::vector<uint8_t> WriteFontFile(const FontFile& font)
{
    std::vector<uint8_t> bytes;
    trevok::ByteWriter w(bytes);
    w.U32(kFontMagic);
    w.U32(kFontVersion);
    w.I32(font.lineHeight);
    w.U16(uint16_t(font.texture.size()));
    for (char ch : font.texture)
        w.U8(uint8_t(ch));
    w.U32(uint32_t(font.widths.size()));
    for (int32_t width : font.widths)
        w.I32(width);
    for (int i = 0; i < kGlyphs; ++i)
        w.U8(size_t(i) < font.rows.size() ? font.rows[size_t(i)] : 0);
    return bytes;
}

// ---- Fonts -----------------------------------------------------------------------

Font::Font() = default;

Font::~Font()
{
    All().Remove(this);
    if (batch_)
        batch_->Discard();
    if (material_)
        material_->Release();
}

List<Font*>& Font::All()
{
    static auto* fonts = new List<Font*>;  // fonts are unloaded from exit handlers
    return *fonts;
}

uint32_t& Font::OutlineColour()
{
    static uint32_t colour = kDefaultOutline;
    return colour;
}

Font* Font::Load(TextureEntry* texture, int32_t lineHeight, std::span<const int32_t> widths,
                 std::span<const uint8_t> rows, std::string& error)
{
    std::unique_ptr<Font> font(new Font);
    if (!BuildGlyphTable(lineHeight, widths, rows, font->glyphs_, error))
        return nullptr;
    font->widths_.assign(kWidthCodes, 0);
    std::copy_n(widths.begin(), std::min<size_t>(widths.size(), kWidthCodes), font->widths_.begin());
    font->lineHeight_ = lineHeight;
    font->texture_ = texture;
    if (texture)
        texture->Use();
    font->buffer_ = std::make_unique<DynamicVertexBuffer>();
    font->batch_ = std::make_unique<QuadBatch>(*font->buffer_);
    if (Display::Device()) {
        font->buffer_->Create();
        font->MakeMaterial();
    }
    All().PushBack(font.get());
    return font.release();
}

Font* Font::LoadFile(const std::filesystem::path& fontsDir, const std::string& name,
                     const std::filesystem::path& graphicsDir, std::string& error)
{
    const auto path = platform::ResolveDataPath(fontsDir, name);
    if (!path) {
        error = name + ": font file not found";
        return nullptr;
    }
    std::ifstream in(*path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    FontFile file;
    std::string why;
    if (!ReadFontFile(bytes, file, why)) {
        error = path->string() + ": " + why;
        return nullptr;
    }
    if (!platform::ResolveDataPath(graphicsDir, file.texture)) {
        error = path->string() + ": texture \"" + file.texture + "\" not found";
        return nullptr;
    }
    TextureEntry* texture = TextureManager::Find(file.texture);
    // Find handed us one use; the font takes its own.
    texture->Unuse();
    Font* font = Load(texture, file.lineHeight, file.widths, file.rows, why);
    if (!font)
        error = path->string() + ": " + why;
    return font;
}

void Font::MakeMaterial()
{
    if (material_)
        return;
    RenderMaterial* text = DefaultMaterial::Get(DefaultMaterial::kText);
    if (!text)
        return;
    material_ = new RenderMaterial(*text);
    material_->stages_[0].texture = texture_;
    material_->Compile();
}

void Font::Unload()
{
    if (texture_)
        texture_->Unuse();
    texture_ = nullptr;
    delete this;
}

float Font::LineHeight() const
{
    const int h = Display::Height();
    return h > 0 ? float(lineHeight_) / float(h) : 0.0f;
}

int Font::DrawString(float left, float top, float right, float bottom, std::string_view text, float depth,
                     uint32_t colour, int32_t maxLength, uint32_t flags, int32_t cursor, uint32_t secondColour,
                     int32_t firstLine, float scale)
{
    // Beyond 64 a glyph outgrows any screen; the bound keeps pixel sums in range.
    scale = std::isfinite(scale) && scale > 0.0f ? std::min(scale, 64.0f) : 1.0f;
    const float w = float(Display::Width()), h = float(Display::Height());
    const int32_t l = int32_t(std::lround(left * w)), r = int32_t(std::lround(right * w));
    const int32_t t = int32_t(std::lround(top * h)), b = int32_t(std::lround(bottom * h));
    const bool upward = flags & TextFlags::kUpward;
    const double lineStep = double(lineHeight_) * scale;
    size_t firstChar = text.size();
    int64_t fitting = -1;  // last character whose line ends inside the bottom edge
    const int lines = WalkText(widths_, text, UnscaledWidth(r - l, scale), flags & TextFlags::kOneLine, [&](const PlacedChar& c) {
        if (c.line >= firstLine && firstChar == text.size())
            firstChar = c.index;
        if (double(t) + double(c.line - firstLine + 1) * lineStep <= double(b))
            fitting = int64_t(c.index);
    });
    if (firstLine < 0 || t < 0)
        return 0;
    // An empty edit line still shows its cursor.
    const bool cursorOnly = lines == 0 && (flags & TextFlags::kCursor) && firstLine == 0;
    if (!cursorOnly && (firstLine >= lines || firstChar == text.size()))
        return 0;
    if (flags & TextFlags::kMeasure)
        return lines - firstLine;
    QueuedString q;
    q.left = l;
    q.right = r;
    // Upward text keeps its last line at the given position.
    q.top = upward ? t - int32_t(std::lround(double(std::max(lines - firstLine - 1, 0)) * lineStep)) : t;
    q.text.assign(text.substr(firstChar));
    int64_t length = int64_t(q.text.size());
    if (maxLength >= 0)
        length = std::min<int64_t>(length, maxLength);
    if ((flags & TextFlags::kCutAtBottom) && !upward)
        length = std::min<int64_t>(length, fitting + 1 - int64_t(firstChar));
    q.length = int32_t(std::max<int64_t>(length, 0));
    q.depth = depth;
    q.colour = colour;
    q.flags = flags;
    q.cursor = cursor;
    q.secondColour = secondColour;
    q.scale = scale;
    queue_.PushBack(std::move(q));
    return std::max(lines - firstLine, 0);
}

void Font::DrawGlyph(int glyph, float x, float y, float z, float rhw, uint32_t colour, float clipTop, float scale)
{
    if (glyph < 0 || glyph >= kGlyphs)
        glyph = kFallback - kFirstCode;
    const float width = float(std::max(widths_[size_t(glyph + kFirstCode)], 0) + 1) * scale;
    const float height = float(lineHeight_ - 1) * scale;
    if (clipTop >= height)
        return;
    // The cut is in screen pixels; the texture is cut by as many texels unscaled.
    const float vTop = glyphs_.top[glyph] + clipTop / scale / float(kTextureSize);
    ScreenVertex q[4];
    // Pre-transformed pixel centres lie on whole coordinates: move by half a
    // pixel so each texel lands on one pixel.
    const float x0 = x - 0.5f, x1 = x + width - 0.5f, y0 = y + clipTop - 0.5f, y1 = y + height - 0.5f;
    const float xs[4] = {x0, x1, x1, x0}, ys[4] = {y0, y0, y1, y1};
    const float us[4] = {glyphs_.left[glyph], glyphs_.right[glyph], glyphs_.right[glyph], glyphs_.left[glyph]};
    const float vs[4] = {vTop, vTop, glyphs_.bottom[glyph], glyphs_.bottom[glyph]};
    for (int i = 0; i < 4; ++i) {
        q[i].x = xs[i];
        q[i].y = ys[i];
        q[i].z = z;
        q[i].rhw = rhw;
        q[i].diffuse = colour;
        q[i].specular = 0;
        q[i].u = us[i];
        q[i].v = vs[i];
    }
    // A font loaded before the device draws with the first material it can have.
    MakeMaterial();
    batch_->SetMaterial(material_);
    batch_->AddQuad(q);
}

bool Font::DrawQueued(const QueuedString& s)
{
    Camera* camera = camera_ ? camera_ : Camera::Current();
    if (camera_ && Camera::Current() != camera_) {
        batch_->Flush();
        camera_->SetCurrent();
    }
    float z = 0.0f, rhw = 1.0f;
    if (camera && camera->Perspective()) {
        const gfx::Viewport& vp = camera->DeviceViewport();
        z = vp.minZ + (vp.maxZ - vp.minZ) * s.depth;
        const float distance = camera->NearPlane() + (camera->FarPlane() - camera->NearPlane()) * s.depth;
        rhw = distance > 0.0f ? 1.0f / distance : 1.0f;
    }
    const std::string_view text(s.text.data(), std::min<size_t>(size_t(std::max(s.length, 0)), s.text.size()));
    const bool oneLine = s.flags & TextFlags::kOneLine;
    const float scale = s.scale;
    const int32_t width = UnscaledWidth(s.right - s.left, scale);  // in the font's own pixels
    // Widths of the lines, for centring.
    std::vector<int64_t> lineWidths;
    WalkText(widths_, text, width, oneLine, [&](const PlacedChar& c) {
        if (size_t(c.line) >= lineWidths.size())
            lineWidths.resize(size_t(c.line) + 1, 0);
        lineWidths[size_t(c.line)] = c.pen + GlyphAdvance(widths_, text[c.index]);
    });
    auto origin = [&](int32_t line) {
        int64_t x = s.left;
        if ((s.flags & TextFlags::kCentre) && size_t(line) < lineWidths.size())
            x += std::lround(double(s.right - s.left) - double(lineWidths[size_t(line)]) * scale) / 2;
        return x;
    };
    const uint32_t alpha = s.colour & 0xFF000000u;
    const uint32_t outline = (OutlineColour() & 0x00FFFFFFu) | alpha;
    // `pen` is in the font's pixels, `dx` and `dy` in screen pixels.
    auto place = [&](int glyph, int64_t lineLeft, int64_t pen, int32_t line, uint32_t colour, int dx = 0, int dy = 0) {
        const float x = float(lineLeft) + float(pen) * scale + float(dx);
        const float y = float(s.top) + float(line) * float(lineHeight_) * scale + float(dy);
        // Lines above the screen are not drawn; one cut by its top edge is
        // drawn from y = 0 on.
        if (y + float(lineHeight_) * scale <= 0.0f)
            return;
        const float cut = y < 0.0f ? -y : 0.0f;
        DrawGlyph(glyph, x, y, z, rhw, colour, cut, scale);
    };
    int32_t lastLine = 0;
    int64_t endPen = 0;
    WalkText(widths_, text, width, oneLine, [&](const PlacedChar& c) {
        const int glyph = GlyphIndexOf(text[c.index]);
        const int64_t x = origin(c.line);
        if (s.flags & TextFlags::kOutline) {
            place(glyph, x, c.pen, c.line, outline, -1);
            place(glyph, x, c.pen, c.line, outline, 1);
            place(glyph, x, c.pen, c.line, outline, 0, 1);
        }
        // The newest character of a text being revealed stands out.
        const bool second = (s.flags & TextFlags::kSecondColour) && c.index + 1 == text.size();
        place(glyph, x, c.pen, c.line, second ? s.secondColour : s.colour);
        lastLine = c.line;
        endPen = c.pen + GlyphAdvance(widths_, text[c.index]);
    });
    if (s.flags & TextFlags::kCursor) {
        // The cursor stands before the character at its position, or after the text.
        int64_t cx = origin(lastLine), pen = endPen;
        int32_t cl = lastLine;
        WalkText(widths_, text, width, oneLine, [&](const PlacedChar& c) {
            if (int64_t(c.index) == s.cursor) {
                cx = origin(c.line);
                pen = c.pen;
                cl = c.line;
            }
        });
        place(GlyphIndexOf(kCursor), cx, pen, cl, s.colour);
    }
    return true;
}

bool Font::Flush()
{
    bool ok = true;
    while (!queue_.IsEmpty()) {
        ok = DrawQueued(*List<QueuedString>::NodeValue(queue_.First())) && ok;
        queue_.PopFront();
    }
    return batch_->Flush() && ok;
}

bool Font::FlushAll()
{
    bool ok = true;
    for (Font* font : All())
        ok = font->Flush() && ok;
    return ok;
}
