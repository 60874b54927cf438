// Processor identification against scripted answers of the identification
// instruction, and once on the machine itself.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "app/processor.h"

namespace {

platform::CpuidResult Vendor(const char* v, uint32_t maxLevel)
{
    platform::CpuidResult r;
    r.eax = maxLevel;
    std::memcpy(&r.ebx, v, 4);
    std::memcpy(&r.edx, v + 4, 4);
    std::memcpy(&r.ecx, v + 8, 4);
    return r;
}

platform::CpuidResult Leaf1(uint32_t family, uint32_t model, uint32_t stepping, uint32_t edx)
{
    platform::CpuidResult r;
    r.eax = family << 8 | model << 4 | stepping;
    r.edx = edx;
    return r;
}

std::map<uint32_t, platform::CpuidResult> Brand(const char* text)
{
    char b[48] = {};
    std::strncpy(b, text, 47);
    std::map<uint32_t, platform::CpuidResult> leaves;
    for (uint32_t i = 0; i < 3; ++i) {
        platform::CpuidResult r;
        std::memcpy(&r, b + 16 * i, 16);
        leaves[0x80000002u + i] = r;
    }
    return leaves;
}

TEST(DisplayProcessor, IdentifiesFromTheIdentificationLeaves)
{
    struct Case {
        const char* what;
        std::map<uint32_t, platform::CpuidResult> leaves;
        const char* name;
        uint32_t vendorIndex, family, model;
        uint32_t features;
    };
    auto amdBrand = Brand("AMD-K6(tm) 3D processor");
    amdBrand[0] = Vendor("AuthenticAMD", 1);
    amdBrand[1] = Leaf1(5, 8, 12, kCpuFeatureMmx);
    amdBrand[0x80000000u] = {0x80000005u, 0, 0, 0};
    amdBrand[0x80000001u] = {0, 0, 0, kCpuFeature3DNow | 0x800 | 0x1};
    const Case cases[] = {
        {"Intel Pentium II", {{0, Vendor("GenuineIntel", 2)}, {1, Leaf1(6, 3, 3, kCpuFeatureMmx)}},
         "Pentium II", 0, 6, 3, kCpuFeatureMmx},
        // Bit 31 of leaf 1 on Intel is not 3DNow!: it never reaches the flags.
        {"Intel with bit 31 in leaf 1", {{0, Vendor("GenuineIntel", 2)}, {1, Leaf1(6, 7, 0, kCpuFeature3DNow | 1)}},
         "Pentium III", 0, 6, 7, 1},
        {"unknown Intel model", {{0, Vendor("GenuineIntel", 0x16)}, {1, Leaf1(6, 10, 0, 0)}},
         "(model 6/10 unknown)", 0, 6, 10, 0},
        {"AMD without extended leaves", {{0, Vendor("AuthenticAMD", 1)}, {1, Leaf1(5, 6, 1, kCpuFeature3DNow)}, {0x80000000u, {}}},
         "K6 (166 - 266)", 1, 5, 6, 0},
        // Brand string and the extended bits 31, 16 and 11 (bit 0 stays leaf 1's).
        {"AMD with brand string", amdBrand, "AMD-K6(tm) 3D processor", 1, 5, 8, kCpuFeatureMmx | kCpuFeature3DNow | 0x800},
        {"AMD K5 model 0 moves bit 9 to 13",
         {{0, Vendor("AuthenticAMD", 1)}, {1, Leaf1(5, 0, 0, 0x200)}, {0x80000000u, {0x80000000u, 0, 0, 0}}},
         "K5/SSA5 (PR-75, PR-90, PR-100)", 1, 5, 0, 0x2000},
        {"Cyrix", {{0, Vendor("CyrixInstead", 1)}, {1, Leaf1(6, 0, 0, 0)}}, "6x86MX", 2, 6, 0, 0},
        {"Centaur", {{0, Vendor("CentaurHauls", 1)}, {1, Leaf1(5, 4, 0, 0)}}, "C6", 4, 5, 4, 0},
        {"other vendor", {{0, Vendor("SomeoneElse!", 1)}, {1, Leaf1(5, 4, 0, 0)}}, "(model 5/4 unknown)", 6, 5, 4, 0},
        {"no leaf 1", {{0, Vendor("GenuineIntel", 0)}}, "(model 0/0 unknown)", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CpuProbe probe;
        probe.cpuid = [&c](uint32_t leaf) {
            auto it = c.leaves.find(leaf);
            return it == c.leaves.end() ? platform::CpuidResult{} : it->second;
        };
        ProcessorRecord r;
        IdentifyCpuWith(r, probe);
        EXPECT_EQ(r.cpuClass, 2u);
        EXPECT_EQ(r.name, c.name);
        EXPECT_EQ(r.vendorIndex, c.vendorIndex);
        EXPECT_EQ(r.family, c.family);
        EXPECT_EQ(r.model, c.model);
        EXPECT_EQ(r.features, c.features);
    }
}

TEST(DisplayProcessor, OlderProcessorClasses)
{
    ProcessorRecord r;
    CpuProbe probe;
    probe.alignmentCheckToggles = false;
    IdentifyCpuWith(r, probe);
    EXPECT_EQ(r.cpuClass, 0u);
    EXPECT_EQ(r.name, "386");
    probe.alignmentCheckToggles = true;
    probe.hasCpuid = false;
    IdentifyCpuWith(r, probe);
    EXPECT_EQ(r.cpuClass, 1u);
    EXPECT_EQ(r.name, "486");
}

TEST(DisplayProcessor, ThisMachine)
{
    ProcessorRecord r;
    IdentifyCpu(r);
    EXPECT_EQ(r.cpuClass, 2u);
    EXPECT_EQ(r.vendor, platform::CpuVendor());
    EXPECT_FALSE(r.name.empty());
    if (r.vendorIndex != 1) {
        EXPECT_EQ(r.features & kCpuFeature3DNow, 0u);
    }
}

} // namespace
