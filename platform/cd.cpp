#include "platform/cd.h"

#include "platform/video.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <string>

namespace platform::cd {

namespace {

// "trackNN.ext" in any case: NN, else 0.
int TrackNumber(const std::filesystem::path& file)
{
    std::string stem = file.stem().string();
    std::transform(stem.begin(), stem.end(), stem.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (stem.size() < 6 || stem.compare(0, 5, "track") != 0 || stem.size() > 8)
        return 0;
    int n = 0;
    for (size_t i = 5; i < stem.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(stem[i])))
            return 0;
        n = n * 10 + (stem[i] - '0');
    }
    return n;
}

bool DecodeAll(const std::filesystem::path& file, std::vector<int16_t>& samples, audio::PcmFormat& format)
{
    auto movie = video::Movie::Open(file);
    if (!movie || movie->Info().audioRate == 0)
        return false;
    format = {movie->Info().audioChannels, 16, movie->Info().audioRate};
    video::Step step;
    while ((step = movie->NextSound(samples)) == video::Step::Ok) {
    }
    return step == video::Step::End;
}

} // namespace

std::unique_ptr<Drive> Drive::Open(const std::filesystem::path& folder, audio::Device* device)
{
    std::unique_ptr<Drive> drive(new Drive());
    drive->device_ = device;
    std::error_code error;
    std::map<int, std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (const int n = TrackNumber(entry.path()); n > 0 && entry.is_regular_file(error))
            found.emplace(n, entry.path());
    // tracks count from 1 and stop at the first gap, as a disc's table does
    for (int n = 1; found.count(n); ++n) {
        auto movie = video::Movie::Open(found[n]);
        if (!movie || movie->Info().audioRate == 0)
            break;
        double seconds = movie->Info().seconds;
        if (seconds <= 0) {
            // the container does not say: count the samples
            std::vector<int16_t> samples;
            size_t frames = 0;
            video::Step step;
            while ((step = movie->NextSound(samples)) == video::Step::Ok) {
                frames += samples.size() / size_t(movie->Info().audioChannels);
                samples.clear();
            }
            if (step != video::Step::End)
                break;
            seconds = double(frames) / movie->Info().audioRate;
        }
        drive->tracks_.push_back({found[n], seconds});
    }
    return drive;
}

Drive::~Drive() = default;

double Drive::TrackSeconds(int track) const
{
    return track >= 1 && track <= TrackCount() ? tracks_[size_t(track - 1)].seconds : 0.0;
}

Mode Drive::ReadMode()
{
    if (tracks_.empty())
        return kNotReady;
    if (playing_) {
        const bool over = source_ ? !source_->IsPlaying() : std::chrono::steady_clock::now() >= ends_;
        if (over) {
            playing_ = false;
            endNotice_ = true;
            source_.reset();
            buffer_.reset();
        }
    }
    return playing_ ? kPlaying : kStopped;
}

bool Drive::Play(int track)
{
    Stop();
    if (track < 1 || track > TrackCount())
        return false;
    const Track& t = tracks_[size_t(track - 1)];
    if (device_) {
        std::vector<int16_t> samples;
        audio::PcmFormat format;
        if (!DecodeAll(t.file, samples, format))
            return false;
        const auto* bytes = reinterpret_cast<const uint8_t*>(samples.data());
        buffer_ = device_->MakeBuffer(format, {bytes, samples.size() * sizeof(int16_t)});
        if (!buffer_)
            return false;
        source_ = device_->MakeSource(*buffer_);
        if (!source_)
            return false;
        source_->SetGain(float(volume_) / 65535.0f);
        source_->Play();
    }
    ends_ = std::chrono::steady_clock::now() +
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(t.seconds));
    playing_ = true;
    endNotice_ = false;
    return true;
}

void Drive::Stop()
{
    if (source_)
        source_->Stop();
    source_.reset();
    buffer_.reset();
    playing_ = false;
}

bool Drive::TakeEndNotice()
{
    ReadMode();
    const bool notice = endNotice_;
    endNotice_ = false;
    return notice;
}

void Drive::SetVolume(uint32_t value)
{
    volume_ = std::min<uint32_t>(value, 65535);
    if (source_)
        source_->SetGain(float(volume_) / 65535.0f);
}

} // namespace platform::cd
