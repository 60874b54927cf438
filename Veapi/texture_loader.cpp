#include "Veapi/texture_loader.h"

#include "platform/os.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

namespace ve {
namespace {

struct Candidate {
    PixelFormat format;
    bool colourKeyCapable = false;
    bool compressionBound = false;
    uint32_t paletteLimit = 0;
    uint32_t alphaBits = 0;
};

// Far above any texture's size, and below the 32-bit sizes the media use; a
// larger image file is refused unread.
constexpr uint64_t kMaxImageFileBytes = uint64_t{256} << 20;

// One level per magic byte; the deepest node with a factory wins.
struct RegistryNode {
    std::array<std::unique_ptr<RegistryNode>, 256> children;
    ImageReaderFactory factory = nullptr;
};

struct LoaderState {
    gfx::SurfaceFactory* factory = nullptr;
    bool capsKnown = false;
    uint32_t minWidth = 1, minHeight = 1;
    uint32_t maxWidth = UINT32_MAX, maxHeight = UINT32_MAX;
    bool pow2 = false, squareOnly = false;
    PixelFormat defaultFormat, plainFormat, argb, xrgb, target, surface;
    std::vector<Candidate> candidates;
    std::unique_ptr<RegistryNode> registry;
    uint32_t lastError = 0;
    int lastOsError = 0;
    int lastGfxResult = 0;
};

LoaderState& State()
{
    static LoaderState state;
    return state;
}

struct LoadRequest {
    bool texture = false;
    const char* fileName = nullptr;
    int handle = -1;
    bool hasHandle = false;
    const void* memory = nullptr;
    bool hasMemory = false;
    ImageReader* kept = nullptr;
    uint32_t limit = UINT32_MAX;
    bool hasLimit = false;
    uint32_t* consumed = nullptr;
    uint32_t flags = 0;
    bool hasFlags = false;
    uint32_t* outWidth = nullptr;
    uint32_t* outHeight = nullptr;
    uint32_t* imageWidth = nullptr;
    uint32_t* imageHeight = nullptr;
    ImageReader** keepOut = nullptr;
    gfx::Surface* target = nullptr;
    bool hasTarget = false;
    bool reuseRects = false;
    LoadCallback callback = nullptr;
    void* context = nullptr;
    bool hasCallback = false;
    uint32_t rectCount = 0;
    LoadRect* rects = nullptr;
    bool hasRects = false;
    bool levelOptions = false;
    uint32_t levelsToDrop = 0;
    uint32_t largest = 0x1000000;
    uint32_t* alphaOut = nullptr;
    bool hasAlphaOut = false;
    bool hasSource() const { return fileName || hasHandle || hasMemory || kept; }
};

bool ParseOptions(LoadRequest& r, const char* format, va_list args)
{
    auto fail = [] {
        TextureLoader::Fail(kTexBadOptions);
        return false;
    };
    if (!format)
        return fail();
    for (const char* p = format; *p; ++p) {
        switch (*p) {
        case 's':
            if (r.hasSource())
                return fail();
            r.fileName = va_arg(args, const char*);
            if (!r.fileName)
                return fail();
            break;
        case 'h':
            if (r.hasSource())
                return fail();
            r.handle = va_arg(args, int);
            r.hasHandle = true;
            break;
        case 'p':
            if (r.hasSource())
                return fail();
            r.memory = va_arg(args, const void*);
            r.hasMemory = true;
            break;
        case 'r':
            if (r.hasSource() || r.hasLimit || r.consumed || r.keepOut)
                return fail();
            r.kept = va_arg(args, ImageReader*);
            if (!r.kept)
                return fail();
            break;
        case 'x':
            if (r.hasLimit || r.kept)
                return fail();
            r.limit = va_arg(args, uint32_t);
            r.hasLimit = true;
            break;
        case 'N':
            if (r.consumed || r.kept)
                return fail();
            r.consumed = va_arg(args, uint32_t*);
            if (!r.consumed)
                return fail();
            break;
        case 'f':
            if (r.hasFlags)
                return fail();
            r.flags = va_arg(args, uint32_t);
            r.hasFlags = true;
            break;
        case 'W':
            if (r.outWidth || r.hasRects)
                return fail();
            r.outWidth = va_arg(args, uint32_t*);
            if (!r.outWidth)
                return fail();
            break;
        case 'H':
            if (r.outHeight || r.hasRects)
                return fail();
            r.outHeight = va_arg(args, uint32_t*);
            if (!r.outHeight)
                return fail();
            break;
        case 'O':
            ++p;
            if (*p == 'X') {
                if (r.imageWidth)
                    return fail();
                r.imageWidth = va_arg(args, uint32_t*);
                if (!r.imageWidth)
                    return fail();
            } else if (*p == 'Y') {
                if (r.imageHeight)
                    return fail();
                r.imageHeight = va_arg(args, uint32_t*);
                if (!r.imageHeight)
                    return fail();
            } else {
                return fail();
            }
            break;
        case 'B':
            if (r.keepOut || r.kept)
                return fail();
            r.keepOut = va_arg(args, ImageReader**);
            if (!r.keepOut)
                return fail();
            break;
        case 't':
            if (r.hasTarget)
                return fail();
            r.hasTarget = true;
            if (r.hasRects)
                r.reuseRects = true;
            else
                r.target = va_arg(args, gfx::Surface*);
            break;
        case 'c':
            if (r.hasCallback)
                return fail();
            r.callback = va_arg(args, LoadCallback);
            r.context = va_arg(args, void*);
            r.hasCallback = true;
            break;
        case 'a':
            if (r.hasRects || r.hasTarget || r.outWidth || r.outHeight)
                return fail();
            r.rectCount = va_arg(args, uint32_t);
            r.rects = va_arg(args, LoadRect*);
            r.hasRects = true;
            if (r.rectCount && !r.rects)
                return fail();
            break;
        case 'm':
            if (r.levelOptions)
                return fail();
            r.levelsToDrop = va_arg(args, uint32_t);
            r.levelOptions = true;
            break;
        case 'n':
            if (r.levelOptions)
                return fail();
            r.largest = va_arg(args, uint32_t);
            r.levelOptions = true;
            break;
        case 'A':
            if (r.hasAlphaOut)
                return fail();
            r.alphaOut = va_arg(args, uint32_t*);
            r.hasAlphaOut = true;
            break;
        case 'X':
        case 'Y':
            break;
        default:
            return fail();
        }
    }
    if (!r.hasSource())
        return fail();
    // Memory is read only within a stated size: 'p' needs its byte limit 'x'.
    if (r.hasMemory && !r.hasLimit)
        return fail();
    return true;
}

// Turns the medium's status into the loader's error; true when there is one.
bool CheckMedium(DataMedium* medium)
{
    uint32_t s = medium->Status();
    if (!s)
        return false;
    // A failed read also leaves the data short; the failure is what to report.
    if (s & kMediumIoError)
        TextureLoader::FailOs(kTexReadFailed, medium->OsError());
    else if (s & (kMediumEndOfData | kMediumShort))
        TextureLoader::Fail(kTexEndOfData);
    else if (s & (kMediumOpenFailed | kMediumCloseFailed))
        TextureLoader::FailOs(kTexOpenFailed, medium->OsError());
    else
        TextureLoader::FailOs(kTexReadFailed, medium->OsError());
    return true;
}

uint32_t EffectiveFlags(ImageReader* reader, const LoadRequest& r)
{
    if (r.flags & kLoadImageFlags)
        return reader->Flags();
    if (r.flags & kLoadKeyFromImage)
        return (r.flags & ~kLoadColourKey) | (reader->Flags() & kLoadColourKey);
    return r.flags;
}

void ChooseFormats(ImageReader* reader, const LoadRequest& r)
{
    LoaderState& st = State();
    st.target.flags &= uint8_t(~PixelFormat::kValid);
    uint32_t flags = EffectiveFlags(reader, r);
    reader->SetColourKeyDecision(reader->WantsColourKey(flags & kLoadColourKey));
    bool compressed = reader->IsCompressed();
    PixelFormat choice;
    if (r.texture || (flags & kLoadTextureFormat)) {
        choice = st.defaultFormat;
        uint32_t palette = reader->PaletteSize();
        uint32_t colours = reader->ColourCount();
        uint32_t alpha = reader->AlphaBits();
        bool key = reader->ColourKeyDecision();
        for (const Candidate& c : st.candidates) {
            bool ok;
            if (c.format.HasFourCC()) {
                ok = (!c.compressionBound || compressed) &&
                     c.format.desc.fourCC == (alpha <= 1 ? gfx::kFourCCDxt1 : gfx::kFourCCDxt3);
            } else {
                uint64_t holds = uint64_t(1) << c.format.bits;
                ok = ((colours >= 1 && colours <= holds) || !c.format.Palettised()) &&
                     (c.paletteLimit == 0 || (palette >= 1 && palette <= c.paletteLimit)) &&
                     (c.colourKeyCapable || !key) && alpha <= c.alphaBits &&
                     (!c.compressionBound || !compressed);
            }
            if (ok)
                choice = c.format;
        }
    } else {
        choice = st.plainFormat;
    }
    st.target = choice;
    if (compressed) {
        if (!st.target.HasFourCC()) {
            gfx::PixelFormatDesc own = gfx::FourCCFormat(reader->CompressedFourCC());
            st.surface.FromDDPixelFormat(&own);
        } else {
            st.target.desc.fourCC = reader->CompressedFourCC();
            st.surface = st.target;
        }
    } else if (!st.target.HasFourCC()) {
        st.surface = st.target;
    } else {
        st.surface = reader->AlphaBits() ? st.argb : st.xrgb;
    }
}

uint32_t Depth(const gfx::PixelFormatDesc& f)
{
    if (f.flags & gfx::kPfPaletteIndexed8)
        return 8;
    if (f.flags & gfx::kPfPaletteIndexed4)
        return 4;
    if (f.flags & gfx::kPfPaletteIndexed2)
        return 2;
    if (f.flags & gfx::kPfPaletteIndexed1)
        return 1;
    return f.bitCount;
}

constexpr uint32_t kMatchCaps = gfx::kCapsMipMap | gfx::kCapsVideoMemory | gfx::kCapsTexture |
                                gfx::kCapsSystemMemory | gfx::kCapsComplex;

bool SurfaceMatches(gfx::Surface* s, const gfx::SurfaceDesc& want, uint32_t extraLevels)
{
    gfx::SurfaceDesc have;
    s->GetDesc(have);
    if (have.width != want.width || have.height != want.height)
        return false;
    uint32_t mask = kMatchCaps;
    // A surface asked for without a memory placement may live anywhere.
    if (!(want.caps & (gfx::kCapsSystemMemory | gfx::kCapsVideoMemory)))
        mask &= ~(gfx::kCapsSystemMemory | gfx::kCapsVideoMemory);
    if ((have.caps & mask) != (want.caps & mask))
        return false;
    if (Depth(have.pixelFormat) != Depth(want.pixelFormat))
        return false;
    if ((have.pixelFormat.flags & gfx::kPfFourCC) != (want.pixelFormat.flags & gfx::kPfFourCC) ||
        ((have.pixelFormat.flags & gfx::kPfFourCC) && have.pixelFormat.fourCC != want.pixelFormat.fourCC))
        return false;
    if (have.flags & gfx::kSdMipMapCount)
        return have.mipMapCount == extraLevels + 1;
    return extraLevels == 0;
}

struct Record {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    uint32_t* outWidth = nullptr;
    uint32_t* outHeight = nullptr;
    LoadRect* rect = nullptr;
    RefPtr<gfx::Surface> surface;    // top level
    RefPtr<gfx::Surface> level;      // level being written
    RefPtr<gfx::Surface> stageInto;  // the caller's surface a staged load ends in
    uint32_t surfWidth = 0, surfHeight = 0;
    bool skip = false;
    uint8_t* bits = nullptr;  // while the level is locked
    uint32_t pitch = 0;
};

void ReleaseRecords(std::vector<Record>& records)
{
    for (Record& r : records)
        if (r.level && r.bits)
            r.level->Unlock();
    records.clear();
}

bool Failed() { return TextureLoader::LastError() != 0; }

bool GfxFailed(int result)
{
    if (result == gfx::kOk)
        return false;
    State().lastGfxResult = result;
    TextureLoader::Fail(kTexGfxFailed);
    return true;
}

RefPtr<gfx::Surface> CreateSurface(const gfx::SurfaceDesc& desc)
{
    gfx::Surface* made = nullptr;
    if (GfxFailed(State().factory->CreateSurface(desc, &made)))
        return {};
    return RefPtr<gfx::Surface>::Adopt(made);
}

// The next smaller level of `surface`'s chain; empty at the end of the chain
// (`failed` tells an error from the end).
RefPtr<gfx::Surface> NextLevel(gfx::Surface* surface, bool& failed)
{
    gfx::Surface* next = nullptr;
    const int res = surface->GetAttachedSurface(gfx::kCapsTexture | gfx::kCapsMipMap, &next);
    failed = res != gfx::kOk && res != gfx::kErrNotFound && GfxFailed(res);
    return RefPtr<gfx::Surface>::Adopt(res == gfx::kOk ? next : nullptr);
}

void WriteLevel(ImageReader* reader, std::vector<Record>& records)
{
    const PixelFormat& sf = State().surface;
    bool compressed = reader->IsCompressed();
    uint32_t step = compressed ? 4 : 1;
    uint32_t height = reader->Height();
    const uint8_t* palette = reader->ReadPalette();
    if (height == 0)
        return;
    uint32_t last = ((height - 1) / step) * step;
    bool bottomUp = reader->IsBottomUp();
    for (uint32_t n = 0; n <= last / step; ++n) {
        uint32_t row = bottomUp ? last - n * step : n * step;
        void* values = reader->RowBuffer(row);
        void* alpha = reader->AlphaRowBuffer(row);
        if (Failed())
            return;
        const void* pixels = reader->ReadRowInPlace(values);
        reader->ReadAlphaRow(alpha);
        for (Record& r : records) {
            if (r.skip || int32_t(row) < r.top || int32_t(row) >= r.bottom)
                continue;
            if (!r.bits) {
                void* bits = nullptr;
                if (GfxFailed(r.level->Lock(&bits, &r.pitch)))
                    return;
                r.bits = static_cast<uint8_t*>(bits);
            }
            uint32_t destRow = (row - uint32_t(r.top)) / step;
            uint32_t surfRows = gfx::RowCount(sf.desc, r.surfHeight);
            if (compressed)
                surfRows = (r.surfHeight + 3) / 4;
            if (destRow >= surfRows)
                continue;
            uint8_t* dest = r.bits + size_t(destRow) * r.pitch;
            uint32_t count = uint32_t(r.right - r.left);
            reader->ConvertRow(dest, r.surfWidth, pixels, alpha, uint32_t(r.left), count, palette);
            bool lastRow = row + step >= uint32_t(r.bottom);
            if (lastRow && destRow + 1 < surfRows)
                reader->ConvertRow(dest + r.pitch, r.surfWidth, pixels, alpha, uint32_t(r.left), count,
                                   palette);
        }
        if (Failed())
            return;
    }
    for (Record& r : records) {
        if (r.bits) {
            r.bits = nullptr;
            if (GfxFailed(r.level->Unlock()))
                return;
        }
    }
}

bool ApplyPalette(ImageReader* reader, gfx::Surface* surface, uint32_t depth)
{
    std::array<gfx::PaletteEntry, 256> entries{};
    const uint8_t* p = reader->ReadPalette();
    uint32_t colours = std::min<uint32_t>(reader->PaletteColourCount(), 256);
    for (uint32_t i = 0; p && i < colours; ++i)
        entries[i] = {p[3 * i], p[3 * i + 1], p[3 * i + 2], 0};
    uint32_t caps = depth == 1   ? gfx::kPalCaps1Bit
                    : depth == 2 ? gfx::kPalCaps2Bit
                    : depth == 4 ? gfx::kPalCaps4Bit
                                 : gfx::kPalCaps8Bit | gfx::kPalCapsAllow256;
    gfx::Palette* palette = nullptr;
    if (GfxFailed(State().factory->CreatePalette(caps, entries.data(), &palette)))
        return false;
    bool ok = !GfxFailed(surface->SetPalette(palette));
    palette->Release();
    return ok;
}

// Tries placements until the texture lands in (what the device calls) video memory.
int CreateDeviceTexture(const gfx::SurfaceDesc& base, RefPtr<gfx::Surface>& out)
{
    out.Reset();
    constexpr uint32_t memory = gfx::kCapsSystemMemory | gfx::kCapsVideoMemory |
                                gfx::kCapsLocalVidMem | gfx::kCapsNonLocalVidMem;
    for (int attempt = 0; attempt < 4; ++attempt) {
        gfx::SurfaceDesc d = base;
        d.caps &= ~memory;
        d.caps2 &= ~(gfx::kCaps2TextureManage | gfx::kCaps2DoNotPersist);
        if (attempt == 0)
            d.caps2 |= gfx::kCaps2TextureManage | gfx::kCaps2DoNotPersist;
        else if (attempt == 2)
            d.caps |= gfx::kCapsVideoMemory | gfx::kCapsLocalVidMem;
        else if (attempt == 3)
            d.caps |= gfx::kCapsVideoMemory | gfx::kCapsNonLocalVidMem;
        gfx::Surface* s = nullptr;
        int result = State().factory->CreateSurface(d, &s);
        if (result != gfx::kOk) {
            State().lastGfxResult = result;
            return 1;
        }
        auto made = RefPtr<gfx::Surface>::Adopt(s);
        if (made->Caps() & gfx::kCapsVideoMemory) {
            out = std::move(made);
            return 0;
        }
    }
    return 1;
}

// What one load makes, worked out before any surface exists.
struct BuildPlan {
    uint32_t flags = 0;
    bool asTexture = false;
    bool compressed = false;
    bool staging = false;   // rows go to a new system-memory surface, copied at the end
    uint32_t levels = 0;    // further levels the image has after those dropped
    uint32_t dropped = 0;   // levels dropped before the first one written
    uint32_t extra = 0;     // further levels written (mip maps)
};

BuildPlan PlanBuild(ImageReader* reader, const LoadRequest& req)
{
    BuildPlan plan;
    plan.flags = (req.flags & kLoadImageFlags) ? (reader->Flags() & ~(kLoadRestoreLost | kLoadOnlyIfLost)) |
                                                     (req.flags & (kLoadRestoreLost | kLoadOnlyIfLost))
                                               : EffectiveFlags(reader, req);
    plan.asTexture = req.texture || (plan.flags & kLoadTextureFormat);
    plan.compressed = reader->IsCompressed();
    plan.staging = req.texture && (plan.flags & kLoadStaging);
    plan.levels = reader->LevelCount();
    return plan;
}

// Drops the levels the request or the device cannot take: those asked for,
// then those larger than the largest dimension allowed.
bool DropLevels(ImageReader* reader, const LoadRequest& req, uint32_t entries, BuildPlan& plan)
{
    const LoaderState& st = State();
    uint32_t drop = reader->LevelsToDrop();
    uint32_t largest = reader->LargestDimension();
    if (plan.flags & kLoadAllLevels) {
        drop = 0;
        largest = 1024;
    } else if (req.levelOptions) {
        drop = req.levelsToDrop;
        largest = std::min(req.largest, largest);
    }
    if (st.capsKnown)
        largest = std::min({largest, st.maxWidth, st.maxHeight});
    auto dropOne = [&] {
        reader->SelectLevel(plan.dropped, entries);
        ++plan.dropped;
        --plan.levels;
    };
    while (plan.dropped < drop && plan.levels > 0 && !Failed())
        dropOne();
    if (req.hasRects) {
        uint32_t scale = 1;
        for (uint32_t i = 0; i < req.rectCount && !Failed(); ++i) {
            const LoadRect& rc = req.rects[i];
            int64_t w = (int64_t(rc.right) - rc.left) / scale, h = (int64_t(rc.bottom) - rc.top) / scale;
            if (plan.levels > 0 && (int64_t(largest) < w || int64_t(largest) < h)) {
                dropOne();
                scale *= 2;
            }
        }
    } else {
        uint32_t w = reader->Width(), h = reader->Height();
        while (plan.levels > 0 && (largest < w || largest < h) && !Failed()) {
            dropOne();
            w /= 2;
            h /= 2;
        }
    }
    return !Failed();
}

// The checks on the first level written, and the alpha bits the caller asked for.
bool CheckFirstLevel(ImageReader* reader, const LoadRequest& req, const BuildPlan& plan)
{
    const PixelFormat& sf = State().surface;
    uint32_t colours = reader->PaletteColourCount();
    if (sf.Palettised() && (colours == 0 || colours > (1u << sf.bits))) {
        TextureLoader::Fail(kTexPaletteMismatch);
        return false;
    }
    if (reader->Width() == 0 || reader->Height() == 0) {
        TextureLoader::Fail(kTexBadImage);
        return false;
    }
    if ((plan.flags & kLoadMipMapped) && !plan.asTexture) {
        TextureLoader::Fail(kTexBadOptions);
        return false;
    }
    if (req.alphaOut) {
        if (sf.HasFourCC())
            *req.alphaOut = sf.desc.fourCC == gfx::kFourCCDxt3       ? 8
                            : (sf.flags & PixelFormat::kTransparent) ? 1
                                                                     : 0;
        else
            *req.alphaOut = 8 - sf.alphaLoss;
    }
    return true;
}

// One record for the whole image, or one per usable rectangle.
bool MakeRecords(ImageReader* reader, LoadRequest& req, const BuildPlan& plan, std::vector<Record>& records)
{
    const uint32_t width = reader->Width(), height = reader->Height();
    if (!req.hasRects) {
        Record r;
        r.right = int32_t(width);
        r.bottom = int32_t(height);
        r.outWidth = req.outWidth;
        r.outHeight = req.outHeight;
        r.surface = RefPtr<gfx::Surface>(req.target);
        records.push_back(std::move(r));
        return true;
    }
    for (uint32_t i = 0; i < req.rectCount; ++i) {
        LoadRect& rc = req.rects[i];
        bool usable = rc.top < int32_t(height) && rc.left < int32_t(width) && rc.left < rc.right &&
                      rc.top < rc.bottom && rc.right > 0 && rc.bottom > 0 && !(req.reuseRects && !rc.surface);
        if (!usable) {
            if (!req.reuseRects)
                rc.surface = nullptr;
            continue;
        }
        rc.outWidth = rc.outHeight = 0;
        if (plan.compressed && ((rc.left | rc.top | rc.right | rc.bottom) & 3)) {
            TextureLoader::Fail(kTexUnalignedRect);
            return false;
        }
        Record r;
        r.left = std::max(rc.left, 0);
        r.top = std::max(rc.top, 0);
        r.right = std::min(rc.right, int32_t(width));
        r.bottom = std::min(rc.bottom, int32_t(height));
        r.rect = &rc;
        r.surface = RefPtr<gfx::Surface>(req.reuseRects ? rc.surface : nullptr);
        records.push_back(std::move(r));
    }
    return true;
}

// The surface a record's rows go into: its size, its description, and the
// given surface checked (or restored) or a new one made.
bool PrepareSurface(Record& r, const BuildPlan& plan)
{
    const LoaderState& st = State();
    const PixelFormat& sf = st.surface;
    uint32_t w = uint32_t(r.right - r.left), h = uint32_t(r.bottom - r.top);
    if ((plan.flags & kLoadRectSize) && r.rect) {
        w = uint32_t(r.rect->right - r.rect->left);
        h = uint32_t(r.rect->bottom - r.rect->top);
    }
    uint32_t sw = w, sh = h;
    if (plan.asTexture) {
        if (int e = TextureLoader::AdjustTextureSize(&sw, &sh, w, h, plan.flags)) {
            TextureLoader::Fail(uint32_t(e));
            return false;
        }
    } else {
        sw = (w + 3) & ~3u;
        sh = (h + 3) & ~3u;
    }
    r.surfWidth = sw;
    r.surfHeight = sh;
    if (r.outWidth)
        *r.outWidth = sw;
    if (r.outHeight)
        *r.outHeight = sh;
    if (r.rect) {
        r.rect->outWidth = sw;
        r.rect->outHeight = sh;
    }

    gfx::SurfaceDesc desc;
    desc.flags = gfx::kSdCaps | gfx::kSdHeight | gfx::kSdWidth | gfx::kSdPixelFormat;
    desc.width = sw;
    desc.height = sh;
    desc.pixelFormat = sf.desc;
    // Rows of whole-byte pixels without padding that cover a surface of the
    // picture's own size write every byte, so it need not be zeroed first.
    desc.topLevelWritten = !plan.compressed && !sf.FourCC() && sf.bits % 8 == 0 && sf.bits <= 32 && sf.bits > 0 &&
                           uint64_t(sw) * (sf.bits / 8) % 4 == 0 && uint32_t(r.right - r.left) == sw &&
                           uint32_t(r.bottom - r.top) == sh;
    if (plan.asTexture) {
        desc.caps = gfx::kCapsTexture;
        if (plan.flags & (kLoadStaging | kLoadTextureFormat))
            desc.caps |= gfx::kCapsSystemMemory;
    } else {
        desc.caps = gfx::kCapsOffscreenPlain |
                    ((plan.flags & kLoadVideoMemory) ? gfx::kCapsVideoMemory : gfx::kCapsSystemMemory);
    }
    if (sf.FourCC() != st.target.FourCC() && (desc.caps & gfx::kCapsVideoMemory))
        desc.caps = (desc.caps & ~gfx::kCapsVideoMemory) | gfx::kCapsSystemMemory;
    if (plan.extra) {
        desc.flags |= gfx::kSdMipMapCount;
        desc.mipMapCount = plan.extra + 1;
        desc.caps |= gfx::kCapsMipMap | gfx::kCapsComplex;
    }

    if (r.surface) {
        if (plan.flags & kLoadRestoreLost) {
            if (r.surface->IsLost()) {
                if (GfxFailed(r.surface->Restore()))
                    return false;
            } else if (plan.flags & kLoadOnlyIfLost) {
                r.skip = true;
                return true;
            }
        }
        if (plan.staging) {
            r.stageInto = std::move(r.surface);
        } else if (!SurfaceMatches(r.surface.Get(), desc, plan.extra)) {
            TextureLoader::Fail(kTexTargetMismatch);
            return false;
        }
    }
    if (!r.surface) {
        if (plan.staging)
            desc.caps = (desc.caps & ~gfx::kCapsVideoMemory) | gfx::kCapsSystemMemory;
        r.surface = CreateSurface(desc);
        if (!r.surface)
            return false;
    }
    r.level = r.surface;
    return true;
}

bool ApplyPalettes(ImageReader* reader, std::vector<Record>& records)
{
    const PixelFormat& sf = State().surface;
    if (sf.Palettised())
        for (Record& r : records)
            if (!r.skip && !ApplyPalette(reader, r.level.Get(), sf.bits))
                return false;
    return true;
}

// The mip levels after the first: each record moves down its chain, its
// rectangle halved, and the level's rows are written.
bool WriteFurtherLevels(ImageReader* reader, uint32_t entries, const BuildPlan& plan, std::vector<Record>& records)
{
    const PixelFormat& sf = State().surface;
    for (uint32_t level = 0; level < plan.extra; ++level) {
        reader->SelectLevel(plan.dropped + level, entries);
        if (Failed())
            return false;
        uint32_t c = reader->PaletteColourCount();
        if (sf.Palettised() && (c == 0 || c > (1u << sf.bits))) {
            TextureLoader::Fail(kTexPaletteMismatch);
            return false;
        }
        for (Record& r : records) {
            if (r.skip)
                continue;
            bool failed = false;
            RefPtr<gfx::Surface> next = NextLevel(r.level.Get(), failed);
            if (failed)
                return false;
            if (!next)
                return true;  // the chain ends here
            r.level = std::move(next);
            if ((r.left | r.top) & 1) {
                TextureLoader::Fail(kTexOddMipRect);
                return false;
            }
            r.left /= 2;
            r.top /= 2;
            r.right = std::min<int32_t>((r.right + 1) / 2, int32_t(reader->Width()));
            r.bottom = std::min<int32_t>((r.bottom + 1) / 2, int32_t(reader->Height()));
            r.surfWidth = r.level->Width();
            r.surfHeight = r.level->Height();
            if (r.left >= r.right || r.top >= r.bottom)
                r.right = r.left, r.bottom = r.top;  // nothing of this level falls inside
        }
        WriteLevel(reader, records);
        if (Failed() || !ApplyPalettes(reader, records))
            return false;
    }
    return true;
}

// Copies one level, by software when the device cannot copy it directly.
bool CopyLevel(gfx::Surface* source, gfx::Surface* dest)
{
    if (dest->Blt(source) == gfx::kOk)
        return true;
    gfx::SurfaceDesc wideDesc;
    source->GetDesc(wideDesc);
    wideDesc.flags = gfx::kSdCaps | gfx::kSdHeight | gfx::kSdWidth | gfx::kSdPixelFormat;
    wideDesc.caps = gfx::kCapsOffscreenPlain | gfx::kCapsSystemMemory;
    wideDesc.pixelFormat = gfx::RgbFormat(32, 0xff0000, 0xff00, 0xff, 0xff000000);
    gfx::SurfaceDesc narrowDesc = wideDesc;
    dest->GetDesc(narrowDesc);
    narrowDesc.flags = wideDesc.flags;
    narrowDesc.caps = wideDesc.caps;
    RefPtr<gfx::Surface> wide = CreateSurface(wideDesc);
    RefPtr<gfx::Surface> narrow = wide ? CreateSurface(narrowDesc) : RefPtr<gfx::Surface>();
    return narrow && TextureLoader::ConvertBySoftware(source, wide.Get(), narrow.Get(), dest);
}

// Staged loads and loads whose surface format differs from the device's
// end in a device texture: every level is copied down both chains.
bool CopyToDeviceTextures(ImageReader* reader, const BuildPlan& plan, std::vector<Record>& records)
{
    const LoaderState& st = State();
    for (Record& r : records) {
        if (r.skip)
            continue;
        gfx::SurfaceDesc loaded;
        r.surface->GetDesc(loaded);
        RefPtr<gfx::Surface> dest;
        if (r.stageInto) {
            gfx::SurfaceDesc want = loaded;
            want.pixelFormat = st.target.desc;
            want.caps = gfx::kCapsTexture | (plan.extra ? gfx::kCapsMipMap | gfx::kCapsComplex : 0);
            if (!SurfaceMatches(r.stageInto.Get(), want, plan.extra)) {
                TextureLoader::Fail(kTexTargetMismatch);
                return false;
            }
            dest = std::move(r.stageInto);
        } else {
            gfx::SurfaceDesc d = loaded;
            d.flags &= ~(gfx::kSdPitch | gfx::kSdLinearSize);
            d.flags |= gfx::kSdTextureStage;
            d.textureStage = 0;
            d.pixelFormat = st.target.desc;
            if (CreateDeviceTexture(d, dest) != 0) {
                TextureLoader::Fail(kTexGfxFailed);
                return false;
            }
        }
        if (st.target.Palettised() && !ApplyPalette(reader, dest.Get(), st.target.bits))
            return false;
        // The copy follows both chains while both go on.
        auto next = [](const RefPtr<gfx::Surface>& s) {
            gfx::Surface* n = nullptr;
            s->GetAttachedSurface(gfx::kCapsTexture | gfx::kCapsMipMap, &n);
            return RefPtr<gfx::Surface>::Adopt(n);
        };
        for (RefPtr<gfx::Surface> src = r.surface, dst = dest; src && dst; src = next(src), dst = next(dst)) {
            if (!CopyLevel(src.Get(), dst.Get())) {
                TextureLoader::Fail(kTexGfxFailed);
                return false;
            }
        }
        r.surface = std::move(dest);
    }
    return true;
}

// The first level's colour key, when one is set (the levels after it may differ).
std::optional<uint32_t> DecideColourKey(ImageReader* reader, uint32_t flags)
{
    const PixelFormat& sf = State().surface;
    if (!reader->ColourKeyDecision() || (sf.HasAlpha() && !(flags & kLoadKeyWithAlpha)))
        return std::nullopt;
    return reader->ColourKey();
}

bool SetColourKeys(std::optional<uint32_t> key, std::vector<Record>& records)
{
    if (!key || State().surface.HasFourCC())
        return true;
    for (Record& r : records)
        if (!r.skip && GfxFailed(r.surface->SetColorKey(*key, *key)))
            return false;
    return true;
}

// The result: the one surface, or each rectangle's surface in its rectangle.
gfx::Surface* HandOver(LoadRequest& req, std::vector<Record>& records)
{
    if (!req.hasRects)
        return records[0].surface.Detach();
    for (Record& r : records) {
        // A refilled surface of the caller's keeps the caller's own reference.
        if (!req.reuseRects)
            r.rect->surface = r.surface.Detach();
        r.surface.Reset();
    }
    return nullptr;
}

gfx::Surface* BuildSurfaces(ImageReader* reader, LoadRequest& req, uint32_t entries)
{
    BuildPlan plan = PlanBuild(reader, req);
    if (req.imageWidth)
        *req.imageWidth = reader->Width();
    if (req.imageHeight)
        *req.imageHeight = reader->Height();
    if (!DropLevels(reader, req, entries, plan) || !CheckFirstLevel(reader, req, plan))
        return nullptr;

    std::vector<Record> records;
    auto fail = [&]() -> gfx::Surface* {
        for (Record& r : records)
            if (r.rect) {
                r.rect->outWidth = r.rect->outHeight = 0;
                if (!req.reuseRects)
                    r.rect->surface = nullptr;
            }
        ReleaseRecords(records);
        return nullptr;
    };
    if (!MakeRecords(reader, req, plan, records))
        return fail();
    plan.extra = (plan.flags & kLoadMipMapped) ? plan.levels : 0;
    if (plan.extra > 32) {
        TextureLoader::Fail(kTexBadImage);
        return fail();
    }
    for (Record& r : records)
        if (!PrepareSurface(r, plan))
            return fail();

    WriteLevel(reader, records);
    if (Failed() || !ApplyPalettes(reader, records))
        return fail();
    const std::optional<uint32_t> key = DecideColourKey(reader, plan.flags);
    if (!WriteFurtherLevels(reader, entries, plan, records))
        return fail();
    const bool copy = req.texture && (plan.staging || State().surface.FourCC() != State().target.FourCC());
    if (copy && !CopyToDeviceTextures(reader, plan, records))
        return fail();
    if (!SetColourKeys(key, records))
        return fail();
    for (Record& r : records)
        r.level.Reset();
    return HandOver(req, records);
}

bool CheckReady(const LoadRequest& req)
{
    LoaderState& st = State();
    if (!st.surface.Valid() || !st.factory || (!st.capsKnown && req.texture)) {
        TextureLoader::Fail(kTexNoDevice);
        return false;
    }
    return true;
}

gfx::Surface* RunReader(ImageReader* reader, DataMedium* medium, LoadRequest& req)
{
    LoaderState& st = State();
    reader->SetRequest(req.levelsToDrop, req.largest, req.flags);
    st.lastError = 0;
    reader->ReadHeader(medium);
    // Values read past the end are not the image's: short data is what went wrong.
    if (medium->Status())
        st.lastError = 0;
    if (CheckMedium(medium) || Failed())
        return nullptr;
    ChooseFormats(reader, req);
    if (!CheckReady(req))
        return nullptr;
    if (st.target.Palettised() && reader->IsCompressed()) {
        TextureLoader::Fail(kTexCompressedPalette);
        return nullptr;
    }
    uint32_t entries = st.surface.Palettised() ? 1u << st.surface.bits : 0;
    reader->AllocateBuffers(req.keepOut != nullptr, entries);
    if (medium->Status())
        st.lastError = 0;
    if (CheckMedium(medium) || Failed()) {
        reader->Finish(false);
        return nullptr;
    }
    gfx::Surface* result = BuildSurfaces(reader, req, entries);
    bool ok = !Failed();
    if (CheckMedium(medium) && ok) {
        ok = false;
        if (result) {
            result->Release();
            result = nullptr;
        }
        if (req.hasRects && !req.reuseRects)
            for (uint32_t i = 0; i < req.rectCount; ++i) {
                if (req.rects[i].surface)
                    req.rects[i].surface->Release();
                req.rects[i].surface = nullptr;
                req.rects[i].outWidth = req.rects[i].outHeight = 0;
            }
    }
    reader->Finish(ok);
    if (ok && req.keepOut)
        *req.keepOut = reader->MakeKeptImage();
    return result;
}

gfx::Surface* ChooseReader(DataMedium* medium, LoadRequest& req)
{
    RegistryNode* node = State().registry.get();
    ImageReaderFactory factory = nullptr;
    int32_t read = 0;
    while (node) {
        if (node->factory)
            factory = node->factory;
        uint8_t b = 0;
        if (!medium->ReadUInt8(b))
            break;
        ++read;
        node = node->children[b].get();
    }
    medium->SkipBytes(-read);
    if (!factory) {
        if (!(medium->Status() & kMediumIoError) || !CheckMedium(medium))
            TextureLoader::Fail(kTexUnknownFormat);
        return nullptr;
    }
    ImageReader* reader = factory();
    gfx::Surface* result = RunReader(reader, medium, req);
    reader->Release();
    return result;
}

gfx::Surface* ReloadKept(LoadRequest& req)
{
    LoaderState& st = State();
    ImageReader* reader = req.kept;
    ChooseFormats(reader, req);
    if (!CheckReady(req))
        return nullptr;
    uint32_t entries = st.surface.Palettised() ? 1u << st.surface.bits : 0;
    reader->CheckPalette(entries);
    if (Failed())
        return nullptr;
    gfx::Surface* result = BuildSurfaces(reader, req, entries);
    reader->FinishReload(!Failed());
    return result;
}

// `image` holds a named file read whole; else the request names its source.
gfx::Surface* LoadFromMedium(LoadRequest& req, const platform::UnfilledBytes* image)
{
    if (!image && !req.hasHandle && !req.hasMemory)
        return ReloadKept(req);
    if (req.hasMemory && !req.memory) {
        TextureLoader::FailOs(kTexOpenFailed, 0);  // a memory source without memory
        return nullptr;
    }
    FileMedium* file = req.hasHandle ? new FileMedium(req.handle) : nullptr;
    DataMedium* medium = file    ? static_cast<DataMedium*>(file)
                         : image ? new MemoryMedium(image->data(), static_cast<uint32_t>(image->size()))
                                 : new MemoryMedium(req.memory, req.limit);
    SubRangeMedium* window = nullptr;
    DataMedium* use = medium;
    if (req.hasLimit || req.consumed) {
        window = new SubRangeMedium(medium, req.limit);
        use = window;
    }
    gfx::Surface* result = ChooseReader(use, req);
    if (window) {
        window->Finish();
        if (req.consumed)
            *req.consumed = window->Consumed();
        window->Release();
    }
    medium->Flush();
    if (file)
        file->Detach();
    medium->Release();
    return result;
}

} // namespace

int PixelFormat::FromDDPixelFormat(const gfx::PixelFormatDesc* format)
{
    *this = PixelFormat{};
    if (!format)
        return 2;
    const uint32_t f = format->flags;
    if (f & (gfx::kPfAlpha | gfx::kPfPaletteIndexedTo8 | gfx::kPfZBuffer | gfx::kPfZPixels | gfx::kPfYuv))
        return 2;
    uint32_t palBits = f & (gfx::kPfPaletteIndexed1 | gfx::kPfPaletteIndexed2 | gfx::kPfPaletteIndexed4 |
                            gfx::kPfPaletteIndexed8);
    if (std::popcount(palBits) > 1)
        return 2;
    bool alpha = f & gfx::kPfAlphaPixels;
    if (palBits) {
        if (alpha)
            return 2;
        flags |= kPalettised;
        bits = Depth(*format);
    } else if (f & gfx::kPfFourCC) {
        bits = 16;
        alpha = true;
    } else {
        uint32_t b = format->bitCount;
        if (!(f & gfx::kPfRgb) || !(b == 4 || b == 8 || b == 16 || b == 24 || b == 32))
            return 2;
        if (alpha && format->alphaMask == 0)
            return 2;
        bits = b;
    }
    if (alpha)
        flags |= kHasAlpha;
    auto posLoss = [](uint32_t mask, uint32_t& pos, uint32_t& loss) {
        pos = mask ? uint32_t(std::countr_zero(mask)) : 0;
        int width = std::popcount(mask);
        loss = width >= 8 ? 0 : uint32_t(8 - width);
    };
    posLoss(format->redMask, redPos, redLoss);
    posLoss(format->greenMask, greenPos, greenLoss);
    posLoss(format->blueMask, bluePos, blueLoss);
    posLoss(format->alphaMask, alphaPos, alphaLoss);
    desc = *format;
    if (!alpha || palBits)
        desc.alphaMask = 0;
    if (!alpha)
        alphaLoss = 8;
    flags |= kValid;
    return 0;
}

gfx::Surface* TextureLoader::LoadTexture(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    gfx::Surface* s = Load(true, format, args);
    va_end(args);
    return s;
}

gfx::Surface* TextureLoader::LoadSurface(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    gfx::Surface* s = Load(false, format, args);
    va_end(args);
    return s;
}

gfx::Surface* TextureLoader::Load(bool texture, const char* format, va_list args)
{
    LoaderState& st = State();
    st.lastError = 0;
    st.lastOsError = 0;
    LoadRequest req;
    req.texture = texture;
    va_list copy;
    va_copy(copy, args);
    bool ok = ParseOptions(req, format, copy);
    va_end(copy);
    if (!ok)
        return nullptr;
    if (!st.registry)
        RegisterBuiltinFormats();
    std::optional<platform::UnfilledBytes> image;
    if (req.fileName) {
        image = platform::ReadWholeFileUnfilled(req.fileName, kMaxImageFileBytes);
        if (!image) {
            FailOs(kTexOpenFailed, errno);
            return nullptr;
        }
    }
    return LoadFromMedium(req, image ? &*image : nullptr);
}

void TextureLoader::RegisterFormat(const void* magic, uint32_t length, ImageReaderFactory factory)
{
    LoaderState& st = State();
    if (!st.registry)
        st.registry = std::make_unique<RegistryNode>();
    RegistryNode* node = st.registry.get();
    const auto* bytes = static_cast<const uint8_t*>(magic);
    for (uint32_t i = 0; i < length; ++i) {
        auto& child = node->children[bytes[i]];
        if (!child)
            child = std::make_unique<RegistryNode>();
        node = child.get();
    }
    node->factory = factory;
}

void TextureLoader::SetDirectDraw(gfx::SurfaceFactory* factory) { State().factory = factory; }

int TextureLoader::SetDevice(gfx::SurfaceFactory* factory, const gfx::DeviceCaps* caps)
{
    SetDirectDraw(factory);
    return ReadDeviceCaps(caps);
}

void TextureLoader::ClearDirectDraw()
{
    State().factory = nullptr;
    State().capsKnown = false;
}

int TextureLoader::ReadDeviceCaps(const gfx::DeviceCaps* caps)
{
    LoaderState& st = State();
    st.capsKnown = false;
    if (!caps)
        return 0;
    if (!(caps->devCaps & (gfx::kDevCapsTextureSystemMemory | gfx::kDevCapsTextureVideoMemory |
                           gfx::kDevCapsTextureNonLocalVidMem)))
        return 2;
    st.minWidth = caps->minTextureWidth;
    st.minHeight = caps->minTextureHeight;
    st.maxWidth = caps->maxTextureWidth ? caps->maxTextureWidth : UINT32_MAX;
    st.maxHeight = caps->maxTextureHeight ? caps->maxTextureHeight : UINT32_MAX;
    st.pow2 = caps->textureCaps & gfx::kTexCapsPow2;
    st.squareOnly = caps->textureCaps & gfx::kTexCapsSquareOnly;
    st.capsKnown = true;
    return 0;
}

int TextureLoader::SetDefaultFormat(const gfx::PixelFormatDesc& format)
{
    LoaderState& st = State();
    st.candidates.clear();
    gfx::PixelFormatDesc argb = gfx::RgbFormat(32, 0xff0000, 0xff00, 0xff, 0xff000000);
    gfx::PixelFormatDesc xrgb = gfx::RgbFormat(32, 0xff0000, 0xff00, 0xff);
    st.argb.FromDDPixelFormat(&argb);
    st.xrgb.FromDDPixelFormat(&xrgb);
    return st.defaultFormat.FromDDPixelFormat(&format);
}

int TextureLoader::AddFormat(const gfx::PixelFormatDesc& format, uint32_t alphaBits,
                             bool colourKeyCapable, uint32_t paletteLimit, bool compressionBound)
{
    Candidate c;
    if (int e = c.format.FromDDPixelFormat(&format))
        return e;
    c.alphaBits = alphaBits;
    c.colourKeyCapable = colourKeyCapable;
    c.paletteLimit = paletteLimit;
    c.compressionBound = compressionBound;
    State().candidates.push_back(c);
    return 0;
}

int TextureLoader::SetSurfaceFormat(const gfx::PixelFormatDesc& format)
{
    return State().plainFormat.FromDDPixelFormat(&format);
}

int TextureLoader::AdjustTextureSize(uint32_t* outWidth, uint32_t* outHeight, uint32_t width,
                                     uint32_t height, uint32_t flags)
{
    LoaderState& st = State();
    if (!st.capsKnown)
        return kTexNoDevice;
    uint32_t w = std::max(width, st.minWidth), h = std::max(height, st.minHeight);
    if ((flags & kLoadMipMapped) || st.pow2) {
        w = std::bit_ceil(std::max(w, 1u));
        h = std::bit_ceil(std::max(h, 1u));
    }
    if (st.squareOnly)
        w = h = std::max(w, h);
    *outWidth = (w + 3) & ~3u;
    *outHeight = (h + 3) & ~3u;
    return 0;
}

int TextureLoader::Release(ImageReader* kept)
{
    if (!kept)
        return 2;
    kept->Release();
    return 0;
}

void TextureLoader::Shutdown()
{
    State().candidates.clear();
    State().registry.reset();
}

uint32_t TextureLoader::LastError() { return State().lastError; }
int TextureLoader::LastOsError() { return State().lastOsError; }
int TextureLoader::LastGfxResult() { return State().lastGfxResult; }
void TextureLoader::NoteGfxResult(int result) { State().lastGfxResult = result; }
gfx::SurfaceFactory* TextureLoader::Display() { return State().factory; }

bool TextureLoader::ConvertBySoftware(gfx::Surface* source, gfx::Surface* wide, gfx::Surface* narrow,
                                      gfx::Surface* final)
{
    auto failed = [](int result) {
        if (result == gfx::kOk)
            return false;
        NoteGfxResult(result);
        Fail(kTexGfxFailed);
        return true;
    };
    if (failed(wide->Blt(source)))
        return false;
    PixelFormat to;
    to.FromDDPixelFormat(&narrow->Format());
    const uint32_t bytes = narrow->Format().bitCount / 8;
    if (narrow->Format().flags & gfx::kPfFourCC) {
        if (failed(narrow->Blt(wide)))
            return false;
    } else if (bytes < 2 || bytes > 4 || to.Palettised()) {
        // Three colour bytes fit only 16, 24 and 32-bit pixels.
        return !failed(gfx::kErrUnsupported);
    } else {
        void* wideBits = nullptr;
        void* narrowBits = nullptr;
        uint32_t widePitch = 0, narrowPitch = 0;
        if (failed(narrow->Lock(&narrowBits, &narrowPitch)))
            return false;
        if (failed(wide->Lock(&wideBits, &widePitch))) {
            narrow->Unlock();
            return false;
        }
        const uint32_t width = std::min(wide->Width(), narrow->Width());
        const uint32_t height = std::min(wide->Height(), narrow->Height());
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* in = static_cast<const uint8_t*>(wideBits) + size_t(y) * widePitch;
            uint8_t* out = static_cast<uint8_t*>(narrowBits) + size_t(y) * narrowPitch;
            for (uint32_t x = 0; x < width; ++x, in += 4, out += bytes) {
                // A8R8G8B8 bytes in memory: blue, green, red, alpha.
                if (bytes == 2) {
                    const uint32_t v = (uint32_t(in[0]) >> to.blueLoss) << to.bluePos |
                                       (uint32_t(in[1]) >> to.greenLoss) << to.greenPos |
                                       (uint32_t(in[2]) >> to.redLoss) << to.redPos |
                                       (to.HasAlpha() ? (uint32_t(in[3]) >> to.alphaLoss) << to.alphaPos : 0);
                    out[0] = uint8_t(v);
                    out[1] = uint8_t(v >> 8);
                } else {
                    std::copy(in, in + 3, out);
                    if (bytes == 4)
                        out[3] = 0;
                }
            }
        }
        const bool ok = !failed(wide->Unlock());
        if (failed(narrow->Unlock()) || !ok)
            return false;
    }
    return !failed(final->Blt(narrow));
}

void TextureLoader::Fail(uint32_t code)
{
    if (State().lastError == 0)
        State().lastError = code;
}

void TextureLoader::FailOs(uint32_t code, int osError)
{
    if (State().lastError == 0) {
        State().lastError = code;
        State().lastOsError = osError;
    }
}

PixelFormat& TextureLoader::SurfaceFormat() { return State().surface; }
const PixelFormat& TextureLoader::TargetFormat() { return State().target; }

} // namespace ve
