// Movie files from data: whatever FFmpeg makes of the bytes, opening and
// decoding stay inside the buffers handed in and always come to an end.
#include "platform/video.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("movie_fuzz_" + std::to_string(getpid()));
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(data), std::streamsize(size));
    if (auto movie = platform::video::Movie::Open(file)) {
        const auto& info = movie->Info();
        if (info.width > 0 && info.width <= 4096 && info.height > 0 && info.height <= 4096) {
            std::vector<uint16_t> pixels(size_t(info.width) * size_t(info.height));
            for (int i = 0; i < 8; ++i)
                if (movie->NextFrame(pixels.data(), info.width, info.height,
                                     platform::video::PixelLayout::Rgb565) != platform::video::Step::Ok)
                    break;
        }
        std::vector<int16_t> sound;
        for (int i = 0; i < 64 && sound.size() < (1u << 22); ++i)
            if (movie->NextSound(sound) != platform::video::Step::Ok)
                break;
        if (info.audioChannels > 0 && sound.size() % size_t(info.audioChannels) != 0)
            std::abort(); // a torn sample frame
    }
    std::filesystem::remove(file);
    return 0;
}
