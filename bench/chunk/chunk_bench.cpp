// Chunk-file throughput: the Huffman coder against zlib on the same chunk data,
// and loading a large chunk file against merely reading its bytes.
#include "chunk/chunk_file.h"
#include "chunk/huffman_coder.h"
#include "chunk/light_chunks.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <string>

#include <stdlib.h>

namespace {

using namespace trevok;

// A level-sized file: terrain-like shapes and many placed objects.
const std::vector<uint8_t>& LargeImage()
{
    static const std::vector<uint8_t> image = [] {
        auto file = ChunkFile::CreateEmpty();
        std::mt19937 rng(11);
        for (int s = 0; s < 120; ++s) {
            ShapeData d;
            const int n = 24;
            for (int z = 0; z < n; ++z)
                for (int x = 0; x < n; ++x)
                    d.points_.push_back({x * 1000, static_cast<int32_t>(rng() % 800), z * 1000});
            for (int z = 0; z + 1 < n; ++z)
                for (int x = 0; x + 1 < n; ++x) {
                    ShapePolygon p;
                    p.type_ = 5;
                    p.vertexCount_ = 4;
                    int32_t a = z * n + x;
                    p.vertices_[0] = a;
                    p.vertices_[1] = a + n;
                    p.vertices_[2] = a + n + 1;
                    p.vertices_[3] = a + 1;
                    p.SetTextureNumber(static_cast<int32_t>(rng() % 4));
                    d.polygons_.push_back(p);
                    d.polygonNormals_.push_back({0, 1, 0});
                }
            d.vertexNormals_.assign(d.points_.size(), {0, 1, 0});
            d.pointCount_ = static_cast<int32_t>(d.points_.size());
            d.polygonCount_ = static_cast<int32_t>(d.polygons_.size());
            d.textureNames_ = {"grass.bmp", "rock.bmp", "sand.bmp", "mud.bmp"};
            auto* shape = new ShapeChunk(file.get(), d);
            shape->GetHeader()->shapeId_ = s + 1;
        }
        for (int o = 0; o < 3000; ++o) {
            ObjectHeader h;
            h.name_ = "object" + std::to_string(o);
            h.position_[0] = static_cast<int32_t>(rng() % 100000);
            h.orientation_[3] = 1;
            auto* object = new ObjectChunk(file.get(), h);
            object->GetHeaderChunk()->shapeNumber_ = 1 + o % 120;
        }
        return file->PlainImage();
    }();
    return image;
}

// Definition-script text, the other kind of data the coder packs.
const std::vector<uint8_t>& ScriptText()
{
    static const std::vector<uint8_t> text = [] {
        std::string s;
        for (int i = 0; s.size() < 2'000'000; ++i)
            s += "shape shape_" + std::to_string(i) + " { name \"shape " + std::to_string(i) +
                 "\" file \"rifs\\props.rif\" }\ncharacter body_" + std::to_string(i) +
                 " { walking speed 2.5 turning speed 180 strength 100 aim 0.8 }\n";
        return std::vector<uint8_t>(s.begin(), s.end());
    }();
    return text;
}

// Argument 0: the level file; 1: script text.
const std::vector<uint8_t>& BenchData(const benchmark::State& state)
{
    return state.range(0) == 0 ? LargeImage() : ScriptText();
}

// A file of its own per process and run: parallel benchmark runs must not
// overwrite each other's input.
std::filesystem::path WriteTemp(const char* stem, const std::vector<uint8_t>& bytes)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(stem) + "-XXXXXX")).string();
    int fd = mkstemp(pattern.data());
    if (fd < 0)
        return {};
    std::FILE* f = fdopen(fd, "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return pattern;
}

void BM_HuffmanCompress(benchmark::State& state)
{
    const auto& data = LargeImage();
    size_t out = 0;
    for (auto _ : state) {
        auto image = HuffmanCoder::Compress(data);
        out = image.size();
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
    state.counters["ratio"] = double(out) / double(data.size());
}

void BM_HuffmanExpand(benchmark::State& state)
{
    const auto& data = BenchData(state);
    auto image = HuffmanCoder::Compress(data);
    std::vector<uint8_t> out;
    for (auto _ : state) {
        HuffmanCoder::Decompress(image, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void BM_ZlibDeflate(benchmark::State& state)
{
    const auto& data = LargeImage();
    std::vector<uint8_t> out(compressBound(data.size()));
    uLongf size = 0;
    for (auto _ : state) {
        size = out.size();
        compress2(out.data(), &size, data.data(), data.size(), static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
    state.counters["ratio"] = double(size) / double(data.size());
}

void BM_ZlibInflate(benchmark::State& state)
{
    const auto& data = BenchData(state);
    std::vector<uint8_t> packed(compressBound(data.size()));
    uLongf packedSize = packed.size();
    compress2(packed.data(), &packedSize, data.data(), data.size(), 6);
    std::vector<uint8_t> out(data.size());
    for (auto _ : state) {
        uLongf size = out.size();
        uncompress(out.data(), &size, packed.data(), packedSize);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void BM_ReadFileBytes(benchmark::State& state)
{
    auto path = WriteTemp("trevok_bench_plain", LargeImage());
    std::vector<uint8_t> bytes;
    std::string error;
    for (auto _ : state) {
        ReadChunkFileImage(path, bytes, error);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * LargeImage().size()));
    std::filesystem::remove(path);
}

void BM_OpenPlainFile(benchmark::State& state)
{
    auto path = WriteTemp("trevok_bench_plain", LargeImage());
    for (auto _ : state) {
        auto file = ChunkFile::Open(path);
        if (file->ErrorCode() != kChunkOk)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(file.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * LargeImage().size()));
    std::filesystem::remove(path);
}

void BM_OpenCompressedFile(benchmark::State& state)
{
    auto path = WriteTemp("trevok_bench_compressed", HuffmanCoder::Compress(LargeImage()));
    for (auto _ : state) {
        auto file = ChunkFile::Open(path);
        if (file->ErrorCode() != kChunkOk)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(file.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * LargeImage().size()));
    std::filesystem::remove(path);
}

} // namespace

BENCHMARK(BM_HuffmanCompress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HuffmanExpand)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibDeflate)->Arg(1)->Arg(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFileBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenPlainFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenCompressedFile)->Unit(benchmark::kMillisecond);
