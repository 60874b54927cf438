// The movie layer over FFmpeg: opens a movie file (any container FFmpeg
// probes by content), decodes its video frames into 16-bit texture pixels and
// its sound into 16-bit PCM. Pictures and sound can be taken in turn from
// one file (video textures do both, music only the sound). Decoding needs no
// display or sound card.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace platform::video {

struct MovieInfo {
    int width = 0, height = 0; // 0 without a picture stream
    double framesPerSecond = 0;
    int64_t frameCount = 0;    // 0 when the container does not say
    int audioRate = 0;         // 0 without a sound stream
    int audioChannels = 0;     // 1 or 2 once decoded (more are mixed down)
    double seconds = 0;        // the container's length; 0 when it does not say
};

// 16-bit texture layouts a frame can be written in.
enum class PixelLayout { Rgb565, Rgb555 };

enum class Step { Ok, End, Damaged };

class Movie {
public:
    // Null when the file does not open or holds neither pictures nor sound;
    // `error` then says why.
    static std::unique_ptr<Movie> Open(const std::filesystem::path& path, std::string* error = nullptr);
    ~Movie();
    Movie(const Movie&) = delete;
    Movie& operator=(const Movie&) = delete;

    const MovieInfo& Info() const { return info_; }

    // The next picture, scaled to nothing and written into `pixels` (rows of
    // `pitch` pixels, at least the width; `rows` at least the height).
    Step NextFrame(uint16_t* pixels, int pitch, int rows, PixelLayout layout);
    // Appends the next decoded sound as interleaved signed 16-bit samples of
    // Info().audioChannels channels at Info().audioRate.
    Step NextSound(std::vector<int16_t>& samples);
    // Back to the first frame and the first sound.
    bool Rewind();

private:
    struct Streams;
    explicit Movie(std::unique_ptr<Streams> streams);
    Step Receive(bool picture);
    std::unique_ptr<Streams> streams_;
    MovieInfo info_;
};

} // namespace platform::video
