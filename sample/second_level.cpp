// Sample data step: the second mission's model, rifs/level05.rif: the sample
// level's geometry under the name its script's map gives, with a start for
// the squad and one marker for each object kind the level places.
#include "sample/generator.h"

namespace sample {
namespace {

// Rows across the open floor, clear of the ramp, the doorway and the barrier
// square.
const LevelMarker kMarkers[] = {
    {"squad_start", 4000, 0, 4000, nullptr},  {"camera_plane", 0, -2000, 0, nullptr},
    {"kind_5", 4000, 0, 10000, nullptr},      {"kind_8", 8000, 0, 10000, nullptr},
    {"kind_9", 12000, 0, 10000, nullptr},     {"kind_10", 16000, 0, 10000, nullptr},
    {"kind_11", 4000, 0, 14000, nullptr},     {"kind_12", 6000, 0, 17000, nullptr},
    {"kind_13", 8000, 0, 17000, nullptr},     {"kind_14", 10000, 0, 17000, nullptr},
    {"kind_16", 12000, 0, 17000, nullptr},    {"kind_17", 14000, 0, 13000, nullptr},
};

bool WriteSecondLevel(const Context& ctx) { return WriteLevelModel(ctx, "level05", kMarkers); }

const StepRegistration kSecondLevel(24, "second level", WriteSecondLevel);

} // namespace
} // namespace sample
