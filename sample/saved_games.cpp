// Saved games put down byte by byte from the file layout (not by the game's
// writer): level-start saves of the training level, one whose squad carries
// items into it, a two-level campaign whose squad takes its items on to the
// second level, under extensions of mixed case, in the data set's "saves"
// folder.
#include "sample/generator.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace sample {
namespace {

struct Bytes {
    std::vector<uint8_t> b;
    void U8(uint8_t v) { b.push_back(v); }
    void U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void F32(float v)
    {
        uint32_t bits = 0;
        static_assert(sizeof bits == sizeof v);
        std::memcpy(&bits, &v, sizeof bits);
        U32(bits);
    }
    void Str(const std::string& s)
    {
        U32(static_cast<uint32_t>(s.size() + 1));
        b.insert(b.end(), s.begin(), s.end());
        U8(0);
    }
};

// The state block's defaults at program start, 104 bytes.
void DefaultBlock(Bytes& out)
{
    for (int i = 0; i < 16; ++i)
        out.U8(0);
    for (uint8_t flag : {1, 1, 0, 1})
        out.U8(flag);
    out.U32(5);
    out.U32(1);
    for (int i = 0; i < 5; ++i)
        out.U32(0);
    out.U32(1);
    out.U32(1);
    out.U32(0);
    for (float c : {0.3f, 0.3f, 0.275f, 1.0f})
        out.F32(c);
    out.U32(2);
    for (float d : {0.65f, -0.3937f, -0.65f})
        out.F32(d);
    out.F32(150.0f);
    out.U32(1);
    out.U8(0);
    out.U8(0);
    out.U8(0);
    out.U8(0);
}

struct Item {
    int32_t amount, limit, slot, count, builtin;
    const char* role;  // when builtin is -1
};
struct Unit {
    const char* name;
    std::vector<Item> items;
};

std::vector<uint8_t> LevelStart(const std::string& level, const std::vector<Unit>& squad)
{
    Bytes out;
    out.Str(level + ".tvs");
    out.Str(level + ".tcs");
    out.U32(1);
    out.U32(static_cast<uint32_t>(squad.size()));
    for (const Unit& unit : squad) {
        out.Str(unit.name);
        out.U32(static_cast<uint32_t>(unit.items.size()));
        for (const Item& item : unit.items) {
            out.I32(item.amount);
            out.I32(item.limit);
            out.I32(item.slot);
            out.I32(item.count);
            out.I32(item.builtin);
            if (item.builtin == -1)
                out.Str(item.role);
        }
    }
    out.U32(104);
    DefaultBlock(out);
    return out.b;
}

bool WriteSaves(const Context& ctx)
{
    const auto saves = ctx.out / "saves";
    std::filesystem::create_directories(saves);
    const struct {
        const char* name;
        const char* level;
        std::vector<Unit> squad;
    } files[] = {
        {"Level Start.sav", "training_level", {}},
        // The squad moving on carries a built-in item and one made from a role.
        {"Next Level.SAV", "training_level",
         {{"Sarge", {{1, 1, 0, 1, 2, nullptr}, {3, 5, -1, 1, -1, "medikit"}}}, {"Rook", {}}}},
        {"Mixed Case.Sav", "training_level", {{"Sarge", {{2, 2, 1, 1, 4, nullptr}}}}},
        // A campaign of two levels: the squad starts the first with its own
        // kit and carries it, with what it found there, into the second.
        {"Campaign 1.sav", "training_level", {{"Sarge", {{1, 1, 0, 1, 2, nullptr}}}, {"Rook", {}}}},
        {"Campaign 2.sAv", "mp_arena",
         {{"Sarge", {{1, 1, 0, 1, 2, nullptr}, {3, 5, -1, 1, -1, "medikit"}}},
          {"Rook", {{2, 2, 1, 1, 4, nullptr}}}}},
    };
    for (const auto& file : files) {
        const std::vector<uint8_t> bytes = LevelStart(file.level, file.squad);
        std::ofstream out(saves / file.name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "sample_gen: cannot write %s\n", (saves / file.name).c_str());
            return false;
        }
    }
    return true;
}

const StepRegistration kSavedGames(90, "saved games", WriteSaves);

} // namespace
} // namespace sample
