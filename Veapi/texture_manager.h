// The one table of named textures. Anyone asks for a texture by file name and
// gets an entry at once; images load later in one pass (LoadPending) through
// the texture loader, are released when video memory runs short or the device
// is lost, and are restored from the kept image afterwards.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx.h"

// What the manager asks of the texture loader.
struct TextureLoadRequest {
    std::string format;                  // the loader's format letters, passed unchanged
    uint32_t options = 0;
    std::filesystem::path path;          // the resolved file (empty when rebuilding from `image`)
    std::shared_ptr<void> image;         // the image kept from an earlier load
    gfx::Texture* target = nullptr;      // reload into this surface instead of making one
    uint32_t reduction = 0;              // times to quarter the size
    std::function<bool()> freeOneTexture;  // frees an unused texture; false when none is left
};

struct TextureLoadResult {
    std::unique_ptr<gfx::Texture> surface;
    uint32_t width = 0, height = 0;
    uint32_t chargeSize = 0, chargeFactor = 0;  // charge = size x factor / 4096
    std::shared_ptr<void> image;
    // Alpha bits of the surface format (a colour key counts as one): non-zero
    // makes the entry translucent for the render queue and the shapes.
    uint32_t alphaBits = 0;
};

using TextureLoader = std::function<bool(const TextureLoadRequest&, TextureLoadResult&)>;

class TextureEntry {
public:
    gfx::Texture* Surface() const { return surface_.get(); }
    const std::string& Name() const { return name_; }
    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }
    uint32_t Options() const { return options_; }
    void SetOptions(uint32_t options) { options_ = options; }
    int32_t UseCount() const { return useCount_; }
    // Holders drop their use by this; the entry stays until purged.
    void Unuse() { --useCount_; }
    void Use() { ++useCount_; }
    // The keep count: one per shape naming the texture (and one for the display's
    // own); a kept entry loses only its surface when freed, never its place.
    bool Keep() const { return keep_ > 0; }
    int32_t KeepCount() const { return keep_; }
    void RaiseKeep() { ++keep_; }
    void LowerKeep()
    {
        if (keep_ > 0)
            --keep_;
    }
    // The size a model's texture table gives before the image is loaded; a
    // loaded surface keeps its own.
    void SetSize(uint32_t width, uint32_t height);
    bool Resident() const { return resident_; }
    uint32_t Tag() const { return tag_; }
    bool HasImage() const { return image_ != nullptr; }
    int64_t MemoryTaken() const { return memoryTaken_; }
    uint64_t Charge() const { return uint64_t(chargeSize_) * chargeFactor_ >> 12; }

    // For the display's own textures (the white null texture).
    void SetSurface(std::unique_ptr<gfx::Texture> surface);

private:
    friend class TextureManager;
    std::unique_ptr<gfx::Texture> surface_;
    std::shared_ptr<void> image_;
    uint32_t width_ = 0, height_ = 0;
    uint32_t chargeSize_ = 0, chargeFactor_ = 0;
    uint32_t options_ = 0;
    int32_t useCount_ = 1;
    int32_t keep_ = 0;
    int64_t memoryTaken_ = 0;
    bool resident_ = false;
    uint32_t tag_ = 0;
    std::string name_;
    std::list<std::unique_ptr<TextureEntry>>::iterator lru_;
};

class TextureManager {
public:
    static constexpr uint32_t kBuckets = 64;
    static constexpr uint32_t kRoundToPowerOfTwo = 0x400;

    // Never fails: a miss makes an unloaded entry with one use.
    static TextureEntry* Find(const std::string& name, uint32_t tag = 0);
    // A shape binding a texture it holds: an entry of the table moves to the
    // front of the use order with one more use; an entry the table does not hold
    // has its count set to 0, so it never keeps anything loaded.
    static void Use(TextureEntry* entry);
    // Drops one use, never below zero.
    static void Unuse(TextureEntry* entry);
    static void LoadPending(const std::function<void(float)>& progress = {});
    static bool ReleaseUnused();
    static void PurgeUnused();
    static void ReleaseAll();
    static void RestoreAll();
    static void UpdateResidency(TextureEntry& entry);
    static void UpdateLoadFlags();
    // Frees every unused surface, then purges unused entries (shut-down).
    static void FreeAllUnused();

    // Charge of the textures resident in local video memory.
    static uint64_t ResidentCharge();
    static uint32_t LoadOptions();
    static float Progress();
    static size_t Count();
    static std::vector<TextureEntry*> InRecentOrder();

    // Texture names from data resolve only inside this folder (by default the
    // graphics directory of the directory list).
    static void SetGraphicsDirectory(const std::filesystem::path& dir);
    // By default images load through the texture loader's readers.
    static void SetLoader(TextureLoader loader);
    // The engine's own loader: image files through the texture loader's readers.
    static TextureLoader ImageFileLoader();
    // Bucket of a name: the sum of its lower-cased bytes, masked.
    static uint32_t Bucket(const std::string& name);
    // Drops every entry (tests and the end of the program).
    static void Clear();
};
