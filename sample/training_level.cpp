// Sample data step: the training level's model, rifs/training_level.rif: the
// sample level's geometry under the name the training script's map gives,
// with the markers its use clauses, camera limits and ambient sound name.
#include "sample/generator.h"

#include "chunk/chunk_file.h"
#include "chunk/light_chunks.h"
#include "chunk/object_chunks.h"

#include <bit>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

namespace sample {

namespace {

// Marker positions are stored as integers, bit for bit.
trevok::DummyVector Integers(int32_t x, int32_t y, int32_t z)
{
    return trevok::DummyVector{{static_cast<uint32_t>(x), static_cast<uint32_t>(y), static_cast<uint32_t>(z)}};
}

} // namespace

bool WriteLevelModel(const Context& ctx, const std::string& level, std::span<const LevelMarker> markers)
{
    using namespace trevok;
    const auto dir = ctx.out / "rifs";
    auto file = ChunkFile::Open(dir / "sample_level.rif");
    if (!file || file->ErrorCode() != kChunkOk) {
        std::fprintf(stderr, "sample_gen: cannot read %s\n", (dir / "sample_level.rif").c_str());
        return false;
    }
    std::vector<ObjectChunk*> objects;
    file->GetObjects(objects);
    for (ObjectChunk* object : objects)
        if (object->Header().name_ == "level")
            object->Header().name_ = level;
    const uint32_t facing[4] = {0, 0, 0, std::bit_cast<uint32_t>(1.0f)};
    for (const LevelMarker& m : markers) {
        auto* dummy = new DummyObjectChunk(file.get(), m.name, Integers(m.x, m.y, m.z), DummyVector{{0, 0, 1}},
                                           DummyVector{{0, 1, 0}}, facing);
        if (m.text) {
            const std::string text = m.text;
            dummy->SetText(&text);
        }
    }
    const auto out = dir / (level + ".rif");
    if (!file->Save(out)) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", out.c_str());
        return false;
    }
    return true;
}

namespace {

const LevelMarker kMarkers[] = {
    {"trevok_start", 4000, 0, 4000, nullptr},
    {"vell_start", 6000, 0, 4000, nullptr},
    {"crate_01", 10000, 0, 8000, nullptr},
    {"crate_02", 12000, 0, 8000, nullptr},
    {"camera_plane", 0, -2000, 0, nullptr},
    {"lift_hum_source", 16000, -1000, 6000, "Sound\nlift_hum\nV80 P2"},
    // Capture the flag: side 1's flag and capture point (side 3 has neither).
    {"Flag_1", 2000, 0, 2000, nullptr},
    {"Capture_1", 18000, 0, 10000, nullptr},
};

// The path movers' places (the lift under the hum, a track cart by the far
// wall) and the escort game's pair of corners between which PRESIDENT puts
// the president.
const LevelMarker kMoverMarkers[] = {
    {"lift_base", 16000, 0, 6000, nullptr},
    {"track_start", 12000, 0, 16000, nullptr},
    {"dumpresa", 14000, 0, 2000, nullptr},
    {"dumpresb", 18000, 0, 4000, nullptr},
};

bool WriteTrainingLevel(const Context& ctx)
{
    std::vector<LevelMarker> markers(std::begin(kMarkers), std::end(kMarkers));
    markers.insert(markers.end(), std::begin(kMoverMarkers), std::end(kMoverMarkers));
    return WriteLevelModel(ctx, "training_level", markers);
}

const StepRegistration kTrainingLevel(23, "training level", WriteTrainingLevel);

} // namespace
} // namespace sample
