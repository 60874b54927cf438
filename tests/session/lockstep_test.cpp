// The lockstep harness: a scenario run twice gives the same checksums pass
// by pass, every pass keeps the invariants, and bad scenarios say where.
#include "tests/session/lockstep_harness.h"

#include "objects/ai.h"
#include "objects/object_registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::filesystem::path Scenario(const char* name)
{
    return std::filesystem::path(TREVOK_FIXTURES_DIR) / "scenarios" / name;
}

TEST(XxHash64, MatchesTheReferenceVectors)
{
    std::vector<uint8_t> hundred(100);
    for (size_t i = 0; i < hundred.size(); ++i)
        hundred[i] = static_cast<uint8_t>(i);
    const std::string text = "0123456789abcdefghijklmnopqrstuvwxyz!";
    const auto bytes = [](const std::string& s) {
        return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    };
    EXPECT_EQ(XxHash64({}, 0), 0xEF46DB3751D8E999ULL);
    EXPECT_EQ(XxHash64(bytes("abc"), 0), 0x44BC2CF5AD770999ULL);
    EXPECT_EQ(XxHash64(hundred, 27), 0x66E7A5DB26068111ULL);
    EXPECT_EQ(XxHash64(bytes(text), 1), 0x43889DC2FAF09DA1ULL);
}

std::vector<uint64_t> RunOnce(size_t* messages, uint32_t* left)
{
    // The scenario's roles make plain objects, whatever ran before.
    UninstallActorClasses();
    Lockstep run;
    std::string error;
    EXPECT_TRUE(run.LoadScenario(Scenario("barrel_yard.scn"), error)) << error;
    size_t requests = 0;
    run.onRequest = [&](std::span<const uint8_t> r) { requests += r.size(); };
    run.Run();
    EXPECT_EQ(requests, 20u) << "the request arrived as its bytes";
    EXPECT_TRUE(run.Broken().empty()) << run.Broken().front();
    *messages = run.Messages().size();
    *left = ObjectRegistry::Global().Count();
    return run.Checksums();
}

TEST(Lockstep, AScenarioRunTwiceGivesEqualChecksums)
{
    size_t firstMessages = 0, secondMessages = 0;
    uint32_t firstLeft = 0, secondLeft = 0;
    const std::vector<uint64_t> first = RunOnce(&firstMessages, &firstLeft);
    const std::vector<uint64_t> second = RunOnce(&secondMessages, &secondLeft);
    ASSERT_EQ(first.size(), 40u);
    EXPECT_EQ(first, second);
    EXPECT_EQ(firstMessages, secondMessages);
    EXPECT_GT(firstMessages, 20u) << "placements, blasts and removals were sent";
    // The chain took all three barrels, and each later blast the debris of
    // the one before; the crate died without a destructibility record. The
    // walkers and the last debris stay.
    EXPECT_EQ(firstLeft, 3u);
    EXPECT_NE(first.front(), first.back());
}

TEST(Lockstep, EveryHarnessStartsTheGeneratorsAfresh)
{
    int resets = 0;
    Lockstep::GeneratorResets().push_back([&] { ++resets; });
    uint32_t first = 0;
    {
        Lockstep run;
        first = AiRandom::Get().Next();
        AiRandom::Get().Next();
    }
    Lockstep again;
    EXPECT_EQ(AiRandom::Get().Next(), first);
    EXPECT_EQ(resets, 2);
    Lockstep::GeneratorResets().pop_back();
}

TEST(Lockstep, BrokenInvariantsAreReportedWithTheirPass)
{
    Lockstep run;
    bool broken = false;
    run.invariants.push_back([&] { return broken ? std::string("a search parent was left") : std::string(); });
    run.Pass();
    broken = true;
    run.Pass();
    ASSERT_EQ(run.Broken().size(), 1u);
    EXPECT_EQ(run.Broken()[0], "pass 1: a search parent was left");
}

TEST(Lockstep, BadScenariosNameTheirLine)
{
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"passes 2\njump 3\n", ":2: unknown step \"jump\""},
        {"role a strength 1\nspawn a 1 0 zero 0\n", ":2: \"zero\" is not a number"},
        {"spawn ghost 1 0 0 0\n", ":1: no role named \"ghost\""},
        {"# fine\n\npasses\n", ":3: \"passes\" takes 1 to 1 words"},
    };
    const auto dir = std::filesystem::temp_directory_path() / "lockstep_bad";
    std::filesystem::create_directories(dir);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto file = dir / "bad.scn";
        std::ofstream(file) << c.text;
        Lockstep run;
        std::string error;
        EXPECT_FALSE(run.LoadScenario(file, error));
        EXPECT_NE(error.find(file.string() + c.message), std::string::npos) << error;
    }
    Lockstep run;
    std::string error;
    EXPECT_FALSE(run.LoadScenario(dir / "missing.scn", error));
    EXPECT_NE(error.find("cannot be opened"), std::string::npos);
    std::filesystem::remove_all(dir);
}

} // namespace
