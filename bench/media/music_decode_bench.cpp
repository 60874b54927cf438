// Music decoding as the music thread does it (decode and convert to 16-bit
// PCM) against FFmpeg decoding the same file to nothing.
#include <benchmark/benchmark.h>

#include "platform/video.h"
#include "sample/media_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cmath>
#include <filesystem>

namespace {

// Ten seconds of stereo at 44.1 kHz, written once.
const std::filesystem::path& MusicFile()
{
    static const std::filesystem::path file = [] {
        auto path = std::filesystem::temp_directory_path() / "music_decode_bench.wav";
        test_media::WriteWave(path, 44100, 2, 441000,
                              [](uint32_t f, int c) { return int16_t(12000 * std::sin(f * (0.05 + 0.01 * c))); });
        return path;
    }();
    return file;
}

void MusicPlayerDecode(benchmark::State& state)
{
    std::vector<int16_t> samples;
    for (auto _ : state) {
        auto movie = platform::video::Movie::Open(MusicFile());
        samples.clear();
        while (movie->NextSound(samples) == platform::video::Step::Ok) {
        }
        benchmark::DoNotOptimize(samples.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 441000);
}
BENCHMARK(MusicPlayerDecode)->Unit(benchmark::kMillisecond);

void FfmpegDecodeToNothing(benchmark::State& state)
{
    for (auto _ : state) {
        AVFormatContext* format = nullptr;
        avformat_open_input(&format, MusicFile().c_str(), nullptr, nullptr);
        avformat_find_stream_info(format, nullptr);
        const int index = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        const AVCodec* codec = avcodec_find_decoder(format->streams[index]->codecpar->codec_id);
        AVCodecContext* context = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(context, format->streams[index]->codecpar);
        avcodec_open2(context, codec, nullptr);
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == index && avcodec_send_packet(context, packet) >= 0)
                while (avcodec_receive_frame(context, frame) >= 0)
                    benchmark::DoNotOptimize(frame->data[0]);
            av_packet_unref(packet);
        }
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&context);
        avformat_close_input(&format);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 441000);
}
BENCHMARK(FfmpegDecodeToNothing)->Unit(benchmark::kMillisecond);

} // namespace
