#include "Veapi/texture_manager.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "Veapi/texture_loader.h"
#include "Veapi/ve3d.h"
#include "app/directories.h"
#include "platform/gfx_surface.h"
#include "platform/data_path.h"

namespace {

struct ManagerState {
    std::list<std::unique_ptr<TextureEntry>> lru;  // most recently requested first
    std::array<std::vector<TextureEntry*>, TextureManager::kBuckets> buckets;
    uint32_t loadOptions = 0;
    float progress = 0.0f;
    uint64_t residentCharge = 0;
    std::filesystem::path graphicsDir;
    TextureLoader loader;
};

// At namespace scope, made before main: it outlives the exit handlers that
// start-up registers, which still release entries (fonts, the display).
ManagerState g_state;

ManagerState& M()
{
    return g_state;
}

bool SameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

void RemoveFromBucket(TextureEntry* e)
{
    auto& b = M().buckets[TextureManager::Bucket(e->Name())];
    b.erase(std::remove(b.begin(), b.end(), e), b.end());
}

int64_t FreeTextureMemory()
{
    return int64_t(std::min<uint64_t>(Display::QueryVideoMemory().textureFree, uint64_t(INT64_MAX)));
}

// Takes a resident entry's charge off the total.
void Uncount(const TextureEntry& e)
{
    if (e.Resident())
        M().residentCharge -= std::min(M().residentCharge, e.Charge());
}

bool LoadThroughReaders(const TextureLoadRequest& req, TextureLoadResult& res);

// The loader in use: the one set, else the image readers.
const TextureLoader& Loader()
{
    static const TextureLoader readers = LoadThroughReaders;
    return M().loader ? M().loader : readers;
}

// The folder texture names resolve in: the one set, else the game's graphics directory.
std::optional<std::filesystem::path> GraphicsFolder()
{
    if (!M().graphicsDir.empty())
        return M().graphicsDir;
    return app::DataDirectories::Global().Folder(app::kGraphicsDirectory);
}

uint32_t Reduction()
{
    return std::max(Display::GlobalMinimumReduction(), Display::TextureReductionLevel());
}

} // namespace

void TextureEntry::SetSurface(std::unique_ptr<gfx::Texture> surface)
{
    surface_ = std::move(surface);
    width_ = surface_ ? surface_->Width() : 0;
    height_ = surface_ ? surface_->Height() : 0;
}

void TextureEntry::SetSize(uint32_t width, uint32_t height)
{
    if (surface_)
        return;
    width_ = width;
    height_ = height;
}

uint32_t TextureManager::Bucket(const std::string& name)
{
    uint32_t sum = 0;
    for (char c : name)
        sum += uint8_t(std::tolower(static_cast<unsigned char>(c)));
    return sum & (kBuckets - 1);
}

TextureEntry* TextureManager::Find(const std::string& name, uint32_t tag)
{
    ManagerState& m = M();
    for (TextureEntry* e : m.buckets[Bucket(name)])
        if (SameName(e->name_, name)) {
            ++e->useCount_;
            m.lru.splice(m.lru.begin(), m.lru, e->lru_);
            return e;
        }
    auto entry = std::make_unique<TextureEntry>();
    TextureEntry* e = entry.get();
    e->name_ = name;
    e->tag_ = tag;
    m.lru.push_front(std::move(entry));
    e->lru_ = m.lru.begin();
    // Names in a bucket are distinct, so their order there does not matter.
    m.buckets[Bucket(name)].push_back(e);
    return e;
}

void TextureManager::Use(TextureEntry* entry)
{
    if (!entry)
        return;
    ManagerState& m = M();
    for (TextureEntry* e : m.buckets[Bucket(entry->name_)])
        if (e == entry) {
            ++e->useCount_;
            m.lru.splice(m.lru.begin(), m.lru, e->lru_);
            return;
        }
    entry->useCount_ = 0;
}

void TextureManager::Unuse(TextureEntry* entry)
{
    if (entry && entry->useCount_ > 0)
        --entry->useCount_;
}

void TextureManager::LoadPending(const std::function<void(float)>& progress)
{
    ManagerState& m = M();
    RestoreAll();
    const std::vector<TextureEntry*> entries = InRecentOrder();
    for (size_t i = 0; i < entries.size(); ++i) {
        TextureEntry* e = entries[i];
        m.progress = float(i) / float(entries.size());
        if (progress)
            progress(m.progress);
        // Names beginning with a blank are the display's own textures.
        if (e->useCount_ <= 0 || e->surface_ || e->name_.empty() || e->name_[0] == ' ')
            continue;
        // A name from data never leaves the graphics folder.
        const auto folder = GraphicsFolder();
        if (!folder)
            continue;
        auto path = platform::ResolveDataPath(*folder, e->name_);
        if (!path)
            continue;
        TextureLoadRequest req;
        req.format = "sfWHOXOYBcAm";
        req.options = m.loadOptions | 5;
        req.path = *path;
        req.reduction = Reduction();
        req.freeOneTexture = [] { return TextureManager::ReleaseUnused(); };
        const int64_t before = FreeTextureMemory();
        TextureLoadResult res;
        if (!Loader()(req, res) || !res.surface)
            continue;
        e->surface_ = std::move(res.surface);
        e->width_ = res.width ? res.width : e->surface_->Width();
        e->height_ = res.height ? res.height : e->surface_->Height();
        e->chargeSize_ = res.chargeSize;
        e->chargeFactor_ = res.chargeFactor;
        e->image_ = std::move(res.image);
        e->options_ = res.alphaBits;
        e->memoryTaken_ = before - FreeTextureMemory();
        UpdateResidency(*e);
    }
    m.progress = 1.0f;
}

bool TextureManager::ReleaseUnused()
{
    ManagerState& m = M();
    for (auto it = m.lru.end(); it != m.lru.begin();) {
        --it;
        TextureEntry& e = **it;
        if (e.useCount_ != 0 || !e.surface_)
            continue;
        Uncount(e);
        e.resident_ = false;
        e.surface_.reset();
        e.width_ = e.height_ = 0;
        e.chargeSize_ = e.chargeFactor_ = 0;
        e.memoryTaken_ = 0;
        e.image_.reset();
        if (!e.keep_) {
            RemoveFromBucket(&e);
            m.lru.erase(it);
        }
        return true;
    }
    return false;
}

void TextureManager::PurgeUnused()
{
    ManagerState& m = M();
    for (auto it = m.lru.begin(); it != m.lru.end();) {
        TextureEntry& e = **it;
        if (e.useCount_ == 0 && !e.keep_ && !e.surface_) {
            RemoveFromBucket(&e);
            it = m.lru.erase(it);
        } else {
            ++it;
        }
    }
}

void TextureManager::FreeAllUnused()
{
    while (ReleaseUnused()) {
    }
    PurgeUnused();
}

void TextureManager::ReleaseAll()
{
    for (auto& p : M().lru) {
        TextureEntry& e = *p;
        if (e.name_.size() && e.name_[0] == ' ')
            continue;  // the display releases its own
        Uncount(e);
        e.resident_ = false;
        e.surface_.reset();
        e.width_ = e.height_ = 0;
        e.memoryTaken_ = 0;
    }
}

void TextureManager::RestoreAll()
{
    ManagerState& m = M();
    for (auto& p : m.lru) {
        TextureEntry& e = *p;
        if (e.useCount_ <= 0 || (!e.surface_ && !e.image_))
            continue;
        if (e.surface_ && !e.surface_->IsLost())
            continue;
        const int64_t before = FreeTextureMemory();
        bool done = false;
        if (e.surface_ && e.surface_->Restore() && e.image_) {
            TextureLoadRequest req;
            req.format = "rWHftcA";
            req.options = m.loadOptions;
            req.image = e.image_;
            req.target = e.surface_.get();
            req.reduction = Reduction();
            TextureLoadResult res;
            done = Loader()(req, res);
        }
        if (!done) {
            Uncount(e);
            e.resident_ = false;
            e.surface_.reset();
            if (e.image_) {
                TextureLoadRequest req;
                req.format = "rWHfcmA";
                req.options = m.loadOptions;
                req.image = e.image_;
                req.reduction = Reduction();
                req.freeOneTexture = [] { return TextureManager::ReleaseUnused(); };
                TextureLoadResult res;
                if (Loader()(req, res) && res.surface) {
                    e.surface_ = std::move(res.surface);
                    e.width_ = e.surface_->Width();
                    e.height_ = e.surface_->Height();
                    if (res.chargeSize)
                        e.chargeSize_ = res.chargeSize, e.chargeFactor_ = res.chargeFactor;
                }
            }
        }
        e.memoryTaken_ = before - FreeTextureMemory();
        UpdateResidency(e);
    }
}

void TextureManager::UpdateResidency(TextureEntry& e)
{
    // GL keeps every texture it has in the card's own memory.
    const bool local = e.surface_ != nullptr;
    if (local != e.resident_) {
        if (local)
            M().residentCharge += e.Charge();
        else
            M().residentCharge -= std::min(M().residentCharge, e.Charge());
        e.resident_ = local;
    }
    Display::ChooseTextureDetail();
}

void TextureManager::UpdateLoadFlags()
{
    if ((Display::Caps().flags & kCapsSharedMemory) && Display::Options().roundToPowerOfTwo)
        M().loadOptions |= kRoundToPowerOfTwo;
    else
        M().loadOptions &= ~kRoundToPowerOfTwo;
}

uint64_t TextureManager::ResidentCharge()
{
    return M().residentCharge;
}

uint32_t TextureManager::LoadOptions()
{
    return M().loadOptions;
}

float TextureManager::Progress()
{
    return M().progress;
}

size_t TextureManager::Count()
{
    return M().lru.size();
}

std::vector<TextureEntry*> TextureManager::InRecentOrder()
{
    std::vector<TextureEntry*> out;
    for (auto& p : M().lru)
        out.push_back(p.get());
    return out;
}

void TextureManager::SetGraphicsDirectory(const std::filesystem::path& dir)
{
    M().graphicsDir = dir;
}

void TextureManager::SetLoader(TextureLoader loader)
{
    M().loader = std::move(loader);
}

namespace {

void FreeOneForLoader(void*)
{
    TextureManager::ReleaseUnused();
}

bool LoadThroughReaders(const TextureLoadRequest& req, TextureLoadResult& res)
{
    uint32_t width = 0, height = 0, imageWidth = 0, imageHeight = 0, alpha = 0;
    ve::ImageReader* kept = nullptr;
    gfx::Surface* surface = nullptr;
    if (!req.path.empty()) {
        const std::string path = req.path.string();
        surface = ve::TextureLoader::LoadTexture("sfWHOXOYBcAm", path.c_str(), req.options, &width, &height,
                                                 &imageWidth, &imageHeight, &kept, &FreeOneForLoader,
                                                 static_cast<void*>(nullptr), &alpha, req.reduction);
    } else if (req.image) {
        // Rebuilt from the kept image; a target gets the new pixels copied in.
        surface = ve::TextureLoader::LoadTexture("rWHfcmA", static_cast<ve::ImageReader*>(req.image.get()), &width,
                                                 &height, req.options, &FreeOneForLoader, static_cast<void*>(nullptr),
                                                 req.reduction, &alpha);
    }
    if (!surface)
        return false;
    bool ok;
    if (req.target) {
        ok = req.target->CopyFrom(*surface);
    } else {
        res.surface = gfx::Texture::FromSurface(*surface);
        ok = res.surface != nullptr;
        res.width = width;
        res.height = height;
        // Charged in kilobytes.
        res.chargeSize = res.surface ? uint32_t(res.surface->Bytes() >> 10) : 0;
        res.chargeFactor = 4096;
        res.alphaBits = alpha;
        if (kept)
            res.image = std::shared_ptr<void>(kept, [](void* p) { ve::TextureLoader::Release(static_cast<ve::ImageReader*>(p)); });
    }
    surface->Release();
    if (!res.image && kept && !req.target)
        ve::TextureLoader::Release(kept);
    return ok;
}

} // namespace

TextureLoader TextureManager::ImageFileLoader()
{
    return LoadThroughReaders;
}

void TextureManager::Clear()
{
    ManagerState& m = M();
    m.lru.clear();
    for (auto& b : m.buckets)
        b.clear();
    m.residentCharge = 0;
    m.progress = 0;
}
