// The briefings around the second mission and after a lost game, written
// with every briefing command; the in-game menu's two backgrounds; and the
// cast folder a camera track loads its characters from.
#include <fstream>
#include <string>

#include "sample/generator.h"

namespace sample {
namespace {

namespace fs = std::filesystem;

bool WriteLines(const fs::path& path, std::initializer_list<const char*> lines)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary);
    for (const char* line : lines)
        out << line << "\r\n";
    return bool(out);
}

// A 256x256 picture in one colour with a darker frame, so a screenshot
// shows where its quad lies.
bool WritePanel(const fs::path& path, uint8_t r, uint8_t g, uint8_t b)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary);
    constexpr int kSide = 256, kFrame = 8;
    out << "P6\n" << kSide << ' ' << kSide << "\n255\n";
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const bool frame = x < kFrame || y < kFrame || x >= kSide - kFrame || y >= kSide - kFrame;
            const uint8_t px[3] = {uint8_t(frame ? r / 2 : r), uint8_t(frame ? g / 2 : g), uint8_t(frame ? b / 2 : b)};
            out.write(reinterpret_cast<const char*>(px), 3);
        }
    return bool(out);
}

bool WriteBriefings(const Context& ctx)
{
    const fs::path scripts = ctx.out / "scripts";
    const bool briefings =
        WriteLines(scripts / "level05.brf",
                   {"DARK", "BACKGROUND bitmaps\\Title.rim", "FADE IN 2", "BRIEFING TEXT 0 0.05 0.6 0.1",
                    "BRIEFING SHAPE crate models.rif", "DISPLACE Crate 0 0.1 0", "BRIEFING HIERARCHY robot models.rif",
                    "REAL WAIT 3", "BITMAP 0.6 0.6 0.95 0.95 bitmaps\\please train.rim", "BRIEFING TEXT 1 0.05 0.6 0.3",
                    "REAL WAIT 4", "CLS", "BRIEFING TEXT 2 0.05 0.9 0.1", "REAL WAIT 4", "FADE OUT 1", "REAL WAIT 1",
                    "END BRIEFING"}) &&
        WriteLines(scripts / "level05.dbf",
                   {"BACKGROUND bitmaps\\VQNLOGO.rim", "FADE IN 1", "BRIEFING TEXT 3 0.1 0.9 0.2", "REAL WAIT 5",
                    "END BRIEFING"}) &&
        // The first mission's: its text over the title picture at once; Space
        // goes on to the level.
        WriteLines(scripts / "training_level.brf",
                   {"BACKGROUND bitmaps\\Title.rim", "FADE IN 0", "BRIEFING TEXT 0 0.05 0.6 0.1"}) &&
        WriteLines(scripts / "gameover.brf", {"DARK", "BACKGROUND bitmaps\\VQNLOGO.rim", "FADE IN 1",
                                             "BRIEFING TEXT 4 0.1 0.9 0.4", "REAL WAIT 5", "FADE OUT 2",
                                             "REAL WAIT 2", "END BRIEFING"});
    const fs::path units = ctx.out / "graphics" / "units";
    const bool menus = WritePanel(units / "main menu & in game menu 00.rim", 40, 60, 200) &&
                       WritePanel(units / "save screen.rim", 200, 40, 40);
    // The cast a camera track finds by name: "units\robot.rif".
    std::error_code ec;
    fs::create_directories(ctx.out / "rifs" / "units", ec);
    fs::copy_file(ctx.out / "rifs" / "robot_hierarchy.rif", ctx.out / "rifs" / "units" / "robot.rif",
                  fs::copy_options::overwrite_existing, ec);
    return briefings && menus && !ec;
}

const StepRegistration kBriefings(47, "briefings, menu backgrounds and the cast folder", WriteBriefings);

} // namespace
} // namespace sample
