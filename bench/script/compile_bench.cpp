// Compiling a generated script of 10 000 definitions, beside the time gcc's
// cpp takes to preprocess the same file.
#include "bench/temp_file.h"
#include "script/compiler.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

BenchTempFile generatedFile("trevok_bench_10000", ".tvs");

const std::filesystem::path& GeneratedScript()
{
    static const std::filesystem::path path = [] {
        const std::filesystem::path& file = generatedFile.Path();
        std::ofstream out(file);
        out << "// generated: 10 000 definitions\n"
               "#define WHITE red 1 green 1 blue 1\n"
               "#define DARK specular red 0 specular green 0 specular blue 0\n"
               "light base_lamp ( WHITE DARK range 1 )\n";
        for (int i = 1; i < 10000; ++i) {
            switch (i % 4) {
            case 0: out << "light lamp_" << i << " : base_lamp { range " << i << ".5 }\n"; break;
            case 1: out << "shape shape_" << i << " { name \"shape " << i << "\" file \"rifs\\props.rif\" }\n"; break;
            case 2:
                out << "projectile bolt_" << i << " { damage " << i << " gravity no max range 120 sound laser sound }\n";
                break;
            default:
                out << "/* a character */ character body_" << i
                    << " { walking speed 2.5 turning speed 180 strength 100 aim 0.8\n"
                       "  sight angle 60 sight range 40 hearing range 25 aggression 0.5 }\n";
                break;
            }
        }
        return file;
    }();
    return path;
}

void CompileTenThousandDefinitions(benchmark::State& state)
{
    const auto& file = GeneratedScript();
    std::size_t objects = 0;
    for (auto _ : state) {
        const script::CompileResult r = script::CompileScriptFile(file, script::kLevelScriptMode);
        objects = r.list ? r.list->Count() : 0;
        benchmark::DoNotOptimize(objects);
    }
    state.counters["definitions"] = static_cast<double>(objects);
}
BENCHMARK(CompileTenThousandDefinitions)->Unit(benchmark::kMillisecond)->UseRealTime();

void PreprocessOnlyTenThousandDefinitions(benchmark::State& state)
{
    std::string text(std::filesystem::file_size(GeneratedScript()), '\0');
    if (std::FILE* f = std::fopen(GeneratedScript().c_str(), "rb")) {
        text.resize(std::fread(text.data(), 1, text.size(), f));
        std::fclose(f);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(script::PreprocessScriptText(text, "bench.tvs").text.size());
}
BENCHMARK(PreprocessOnlyTenThousandDefinitions)->Unit(benchmark::kMillisecond)->UseRealTime();

void GccCppSameFile(benchmark::State& state)
{
    if (std::system("cpp --version > /dev/null 2>&1") != 0) {
        state.SkipWithError("cpp is not installed");
        return;
    }
    const std::string command = "cpp -P -w '" + GeneratedScript().string() + "' > /dev/null";
    for (auto _ : state)
        benchmark::DoNotOptimize(std::system(command.c_str()));
}
BENCHMARK(GccCppSameFile)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
