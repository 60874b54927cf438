#include "platform/video.h"

#include <deque>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace platform::video {

namespace {

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ScaleFreer {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct ResampleFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};

std::string ErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::unique_ptr<AVCodecContext, CodecCloser> OpenDecoder(AVStream* stream)
{
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        return nullptr;
    std::unique_ptr<AVCodecContext, CodecCloser> context(avcodec_alloc_context3(codec));
    if (!context || avcodec_parameters_to_context(context.get(), stream->codecpar) < 0)
        return nullptr;
    context->thread_count = 1; // music and video already run beside the game
    if (avcodec_open2(context.get(), codec, nullptr) < 0)
        return nullptr;
    return context;
}

} // namespace

struct Movie::Streams {
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    std::unique_ptr<AVCodecContext, CodecCloser> picture, sound;
    int pictureIndex = -1, soundIndex = -1;
    std::unique_ptr<AVFrame, FrameFreer> frame{av_frame_alloc()};
    std::unique_ptr<AVPacket, PacketFreer> packet{av_packet_alloc()};
    std::unique_ptr<SwsContext, ScaleFreer> scale;
    std::unique_ptr<SwrContext, ResampleFreer> resample;
    bool pictureFlushed = false, soundFlushed = false;
    // Packets read while decoding the other stream wait here for their own
    // decoder (0 pictures, 1 sound). Bounded: a stream nobody decodes keeps
    // only its newest packets.
    static constexpr size_t kMostWaiting = 256;
    std::deque<AVPacket*> waiting[2];

    ~Streams() { DropWaiting(); }
    void DropWaiting()
    {
        for (auto& queue : waiting)
            for (AVPacket*& p : queue)
                av_packet_free(&p);
        waiting[0].clear();
        waiting[1].clear();
    }
    // Keeps the packet just read for the stream of that slot.
    void Keep(int slot)
    {
        std::deque<AVPacket*>& queue = waiting[slot];
        if (queue.size() >= kMostWaiting) {
            av_packet_free(&queue.front());
            queue.pop_front();
        }
        AVPacket* kept = av_packet_alloc();
        if (!kept)
            return;
        av_packet_move_ref(kept, packet.get());
        queue.push_back(kept);
    }
};

Movie::Movie(std::unique_ptr<Streams> streams) : streams_(std::move(streams)) {}
Movie::~Movie() = default;

std::unique_ptr<Movie> Movie::Open(const std::filesystem::path& path, std::string* error)
{
    auto fail = [&](const std::string& why) -> std::unique_ptr<Movie> {
        if (error)
            *error = path.string() + ": " + why;
        return nullptr;
    };
    // failures come back through `error`; the library's own chatter is not wanted on standard error
    static const bool quiet = (av_log_set_level(AV_LOG_FATAL), true);
    (void)quiet;
    auto s = std::make_unique<Streams>();
    AVFormatContext* raw = nullptr;
    if (const int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr); rc < 0)
        return fail(ErrorText(rc));
    s->format.reset(raw);
    if (const int rc = avformat_find_stream_info(raw, nullptr); rc < 0)
        return fail(ErrorText(rc));
    s->pictureIndex = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    s->soundIndex = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    MovieInfo info;
    if (s->pictureIndex >= 0) {
        AVStream* stream = raw->streams[s->pictureIndex];
        s->picture = OpenDecoder(stream);
        if (s->picture && s->picture->width > 0 && s->picture->height > 0) {
            info.width = s->picture->width;
            info.height = s->picture->height;
            const AVRational rate = stream->avg_frame_rate.num ? stream->avg_frame_rate : stream->r_frame_rate;
            info.framesPerSecond = rate.den ? av_q2d(rate) : 0.0;
            info.frameCount = stream->nb_frames;
        } else {
            s->picture.reset();
            s->pictureIndex = -1;
        }
    }
    if (s->soundIndex >= 0) {
        s->sound = OpenDecoder(raw->streams[s->soundIndex]);
        if (s->sound && s->sound->sample_rate > 0 && s->sound->ch_layout.nb_channels > 0) {
            info.audioRate = s->sound->sample_rate;
            info.audioChannels = s->sound->ch_layout.nb_channels >= 2 ? 2 : 1;
        } else {
            s->sound.reset();
            s->soundIndex = -1;
        }
    }
    if (raw->duration > 0)
        info.seconds = double(raw->duration) / AV_TIME_BASE;
    if (!s->picture && !s->sound)
        return fail("no picture or sound this build can decode");
    std::unique_ptr<Movie> movie(new Movie(std::move(s)));
    movie->info_ = info;
    return movie;
}

// Decodes until the wanted stream yields a frame into streams_->frame;
// packets of the other stream wait for it, so pictures and sound can be
// taken in turn from one file.
Step Movie::Receive(bool picture)
{
    Streams& s = *streams_;
    AVCodecContext* codec = picture ? s.picture.get() : s.sound.get();
    const int index = picture ? s.pictureIndex : s.soundIndex;
    bool& flushed = picture ? s.pictureFlushed : s.soundFlushed;
    if (!codec)
        return Step::End;
    for (;;) {
        const int rc = avcodec_receive_frame(codec, s.frame.get());
        if (rc == 0)
            return Step::Ok;
        if (rc == AVERROR_EOF)
            return Step::End;
        if (rc != AVERROR(EAGAIN))
            return Step::Damaged;
        if (flushed)
            return Step::End;
        if (std::deque<AVPacket*>& mine = s.waiting[picture ? 0 : 1]; !mine.empty()) {
            AVPacket* next = mine.front();
            mine.pop_front();
            const int sent = avcodec_send_packet(codec, next);
            av_packet_free(&next);
            if (sent < 0 && sent != AVERROR(EAGAIN))
                return Step::Damaged;
            continue;
        }
        const int read = av_read_frame(s.format.get(), s.packet.get());
        if (read == AVERROR_EOF) {
            flushed = true;
            if (avcodec_send_packet(codec, nullptr) < 0)
                return Step::End;
            continue;
        }
        if (read < 0)
            return Step::Damaged;
        if (s.packet->stream_index == index) {
            const int sent = avcodec_send_packet(codec, s.packet.get());
            av_packet_unref(s.packet.get());
            if (sent < 0 && sent != AVERROR(EAGAIN))
                return Step::Damaged;
        } else if (const int other = picture ? s.soundIndex : s.pictureIndex; other >= 0 &&
                                                                            s.packet->stream_index == other) {
            s.Keep(picture ? 1 : 0);
        } else {
            av_packet_unref(s.packet.get());
        }
    }
}

Step Movie::NextFrame(uint16_t* pixels, int pitch, int rows, PixelLayout layout)
{
    Streams& s = *streams_;
    if (!s.picture)
        return Step::End;
    if (pitch < info_.width || rows < info_.height)
        return Step::Damaged;
    const Step step = Receive(true);
    if (step != Step::Ok)
        return step;
    AVFrame* f = s.frame.get();
    if (f->width != info_.width || f->height != info_.height) {
        av_frame_unref(f);
        return Step::Damaged; // a size change mid-stream would overrun the texture
    }
    const AVPixelFormat target = layout == PixelLayout::Rgb565 ? AV_PIX_FMT_RGB565LE : AV_PIX_FMT_RGB555LE;
    s.scale.reset(sws_getCachedContext(s.scale.release(), f->width, f->height, AVPixelFormat(f->format), f->width,
                                       f->height, target, SWS_POINT, nullptr, nullptr, nullptr));
    if (!s.scale) {
        av_frame_unref(f);
        return Step::Damaged;
    }
    uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(pixels), nullptr, nullptr, nullptr};
    const int strides[4] = {pitch * 2, 0, 0, 0};
    sws_scale(s.scale.get(), f->data, f->linesize, 0, f->height, planes, strides);
    av_frame_unref(f);
    return Step::Ok;
}

Step Movie::NextSound(std::vector<int16_t>& samples)
{
    Streams& s = *streams_;
    if (!s.sound)
        return Step::End;
    const Step step = Receive(false);
    if (step != Step::Ok)
        return step;
    AVFrame* f = s.frame.get();
    if (!s.resample) {
        AVChannelLayout out = {};
        av_channel_layout_default(&out, info_.audioChannels);
        SwrContext* raw = nullptr;
        if (swr_alloc_set_opts2(&raw, &out, AV_SAMPLE_FMT_S16, info_.audioRate, &f->ch_layout,
                                AVSampleFormat(f->format), f->sample_rate, 0, nullptr) < 0 ||
            swr_init(raw) < 0) {
            swr_free(&raw);
            av_frame_unref(f);
            return Step::Damaged;
        }
        s.resample.reset(raw);
    }
    const int room = swr_get_out_samples(s.resample.get(), f->nb_samples);
    if (room < 0) {
        av_frame_unref(f);
        return Step::Damaged;
    }
    const size_t at = samples.size();
    samples.resize(at + size_t(room) * size_t(info_.audioChannels));
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(samples.data() + at)};
    const int got = swr_convert(s.resample.get(), out, room, const_cast<const uint8_t**>(f->extended_data),
                                f->nb_samples);
    av_frame_unref(f);
    if (got < 0) {
        samples.resize(at);
        return Step::Damaged;
    }
    samples.resize(at + size_t(got) * size_t(info_.audioChannels));
    return Step::Ok;
}

bool Movie::Rewind()
{
    Streams& s = *streams_;
    if (av_seek_frame(s.format.get(), -1, 0, AVSEEK_FLAG_BACKWARD) < 0 &&
        avformat_seek_file(s.format.get(), -1, INT64_MIN, 0, 0, 0) < 0)
        return false;
    if (s.picture)
        avcodec_flush_buffers(s.picture.get());
    if (s.sound)
        avcodec_flush_buffers(s.sound.get());
    s.pictureFlushed = s.soundFlushed = false;
    s.DropWaiting();
    return true;
}

} // namespace platform::video
