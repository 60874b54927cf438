// Helpers shared by the texture tests: fixture paths, a loader set up over
// in-memory surfaces, PPM reading and the outside tools used as oracles.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Veapi/texture_loader.h"
#include "platform/gfx_surface.h"

namespace texture_test {

inline std::string Fixture(const std::string& name)
{
    const char* root = std::getenv("TREVOK_FIXTURES");
    return std::string(root ? root : "tests/fixtures") + "/Veapi/" + name;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline gfx::PixelFormatDesc Xrgb32() { return gfx::RgbFormat(32, 0xff0000, 0xff00, 0xff); }
inline gfx::PixelFormatDesc Argb32() { return gfx::RgbFormat(32, 0xff0000, 0xff00, 0xff, 0xff000000); }
inline gfx::PixelFormatDesc Rgb565() { return gfx::RgbFormat(16, 0xf800, 0x07e0, 0x001f); }

// A device that holds surfaces in memory and offers 32-bit textures; plain
// surfaces are 32-bit too unless a test says otherwise.
struct LoaderSetup {
    gfx::MemorySurfaceFactory factory;
    gfx::DeviceCaps caps;
    explicit LoaderSetup(const gfx::PixelFormatDesc& texture = Xrgb32())
    {
        caps.maxTextureWidth = caps.maxTextureHeight = 4096;
        ve::TextureLoader::RegisterBuiltinFormats();
        ve::TextureLoader::SetDevice(&factory, &caps);
        ve::TextureLoader::SetDefaultFormat(texture);
        ve::TextureLoader::SetSurfaceFormat(texture);
    }
    void Reset(const gfx::PixelFormatDesc& texture)
    {
        ve::TextureLoader::SetDevice(&factory, &caps);
        ve::TextureLoader::SetDefaultFormat(texture);
        ve::TextureLoader::SetSurfaceFormat(texture);
    }
    ~LoaderSetup() { ve::TextureLoader::ClearDirectDraw(); }
};

struct SurfaceRef {
    gfx::Surface* s = nullptr;
    SurfaceRef() = default;
    explicit SurfaceRef(gfx::Surface* surface) : s(surface) {}
    SurfaceRef(const SurfaceRef&) = delete;
    SurfaceRef& operator=(const SurfaceRef&) = delete;
    ~SurfaceRef()
    {
        if (s)
            s->Release();
    }
    gfx::Surface* operator->() const { return s; }
    explicit operator bool() const { return s != nullptr; }
};

// Every byte of `s` and of each smaller level chained to it, largest first.
inline std::vector<std::vector<uint8_t>> LevelBytes(gfx::Surface* s)
{
    std::vector<std::vector<uint8_t>> all;
    for (gfx::Surface* level = s; level;) {
        all.emplace_back(level->Pixels().begin(), level->Pixels().end());
        gfx::Surface* next = nullptr;
        level->GetAttachedSurface(gfx::kCapsTexture | gfx::kCapsMipMap, &next);
        if (next)
            next->Release();
        level = next;
    }
    return all;
}

struct Image {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;  // 3 bytes a pixel, top row first
    uint32_t At(uint32_t x, uint32_t y) const
    {
        const uint8_t* p = rgb.data() + 3 * (size_t(y) * width + x);
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
};

// Reads a binary P6 file with a maximum of 255 (what the tools write).
inline bool ReadPpm(const std::string& path, Image& image)
{
    std::vector<uint8_t> b = ReadBytes(path);
    size_t pos = 0;
    auto token = [&]() -> std::string {
        while (pos < b.size()) {
            if (b[pos] == '#')
                while (pos < b.size() && b[pos] != '\n')
                    ++pos;
            else if (isspace(b[pos]))
                ++pos;
            else
                break;
        }
        std::string t;
        while (pos < b.size() && !isspace(b[pos]))
            t += char(b[pos++]);
        return t;
    };
    if (token() != "P6")
        return false;
    image.width = uint32_t(std::stoul(token()));
    image.height = uint32_t(std::stoul(token()));
    if (token() != "255")
        return false;
    ++pos;
    size_t n = size_t(image.width) * image.height * 3;
    if (b.size() < pos + n)
        return false;
    image.rgb.assign(b.begin() + long(pos), b.begin() + long(pos + n));
    return true;
}

inline bool HaveTool(const std::string& name)
{
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

inline bool RunTool(const std::string& command)
{
    return std::system((command + " 2>/dev/null").c_str()) == 0;
}

struct TempDir {
    std::filesystem::path path;
    TempDir()
    {
        char tmpl[] = "/tmp/trevok-texture-XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

} // namespace texture_test
