// Writes the sample data set: sample_gen OUT_DIR TEXT_DIR.
// Output is deterministic so tests can pin checksums.
#include "sample/generator.h"

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <vector>

namespace sample {
namespace {

struct Entry {
    int order;
    std::string name;
    Step step;
};

std::vector<Entry>& Steps()
{
    static std::vector<Entry> steps;
    return steps;
}

// Hand-written files (scripts, command files, briefings) go in as they are.
bool CopyTexts(const Context& ctx)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::exists(ctx.text))
        return true;
    fs::copy(ctx.text, ctx.out, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    if (ec) {
        std::fprintf(stderr, "sample_gen: copying %s: %s\n", ctx.text.c_str(), ec.message().c_str());
        return false;
    }
    return true;
}

const StepRegistration kTexts(0, "texts", CopyTexts);

} // namespace

StepRegistration::StepRegistration(int order, std::string name, Step step)
{
    Steps().push_back({order, std::move(name), std::move(step)});
}

} // namespace sample

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: sample_gen OUT_DIR TEXT_DIR\n");
        return 2;
    }
    sample::Context ctx{argv[1], argv[2]};
    std::error_code ec;
    std::filesystem::create_directories(ctx.out, ec);
    if (ec) {
        std::fprintf(stderr, "sample_gen: cannot create %s: %s\n", argv[1], ec.message().c_str());
        return 1;
    }
    auto& steps = sample::Steps();
    std::stable_sort(steps.begin(), steps.end(),
                     [](const auto& a, const auto& b) { return a.order < b.order; });
    for (const auto& s : steps) {
        if (!s.step(ctx)) {
            std::fprintf(stderr, "sample_gen: step '%s' failed\n", s.name.c_str());
            return 1;
        }
    }
    return 0;
}
