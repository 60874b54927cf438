#include "app/processor.h"

#include <cstring>
#include <iterator>

namespace {

struct ModelName {
    uint32_t vendor, family, model;
    const char* name;
};

const char* const kVendors[] = {"GenuineIntel", "AuthenticAMD", "CyrixInstead", "UMC UMC UMC ",
                                "CentaurHauls", "NexGenDriven"};
const char* const kVendorNames[] = {"Intel", "AMD", "Cyrix", "UMC", "Centaur", "NexGen"};

const ModelName kNames[] = {
    {0, 4, 0, "486 DX-25/33"}, {0, 4, 1, "486 DX-50"}, {0, 4, 2, "486 SZ"}, {0, 4, 3, "486 DX/2"},
    {0, 4, 4, "486 SL"}, {0, 4, 5, "486 SX/2"}, {0, 4, 7, "486 DX/2-WB"}, {0, 4, 8, "486 DX/4"},
    {0, 4, 9, "486 DX/4-WB"},
    {0, 5, 0, "Pentium 60/66 A-step"}, {0, 5, 1, "Pentium 60/66"}, {0, 5, 2, "Pentium 75+"},
    {0, 5, 3, "OverDrive PODP5V83"}, {0, 5, 4, "Pentium MMX"}, {0, 5, 7, "Mobile Pentium 75+"},
    {0, 5, 8, "Mobile Pentium MMX"},
    {0, 6, 0, "Pentium Pro A-step"}, {0, 6, 1, "Pentium Pro"}, {0, 6, 3, "Pentium II"},
    {0, 6, 5, "Pentium II"}, {0, 6, 7, "Pentium III"},
    {1, 4, 3, "DX/2"}, {1, 4, 7, "DX/2-WB"}, {1, 4, 8, "DX/4"}, {1, 4, 9, "DX/4-WB"},
    {1, 4, 14, "Am5x86-WT"}, {1, 4, 15, "Am5x86-WB"},
    {1, 5, 0, "K5/SSA5 (PR-75, PR-90, PR-100)"}, {1, 5, 1, "K5 (PR-120, PR-133)"},
    {1, 5, 2, "K5 (PR-166)"}, {1, 5, 3, "K5 (PR-200)"}, {1, 5, 6, "K6 (166 - 266)"},
    {1, 5, 7, "K6 (166 - 300)"}, {1, 5, 8, "K6-3D (200 - 450)"}, {1, 5, 9, "K6-3D-Plus (200 - 450)"},
    {2, 4, 4, "MediaGX"}, {2, 4, 9, "5x86"}, {2, 5, 2, "6x86"}, {2, 5, 4, "GXm"}, {2, 6, 0, "6x86MX"},
    {3, 4, 1, "U5D"}, {3, 4, 2, "U5S"},
    {4, 5, 4, "C6"},
    {5, 5, 0, "Nx586"},
};

// Sixteen characters of the brand string, in register order.
std::string BrandPart(const platform::CpuidResult& r)
{
    const uint32_t regs[4] = {r.eax, r.ebx, r.ecx, r.edx};
    char text[16];
    std::memcpy(text, regs, 16);
    return std::string(text, 16);
}

} // namespace

void IdentifyCpuWith(ProcessorRecord& r, const CpuProbe& probe)
{
    r = ProcessorRecord{};
    if (!probe.alignmentCheckToggles) {
        r.cpuClass = 0;
        r.name = "386";
        return;
    }
    if (!probe.hasCpuid || !probe.cpuid) {
        r.cpuClass = 1;
        r.name = "486";
        return;
    }
    r.cpuClass = 2;
    const platform::CpuidResult l0 = probe.cpuid(0);
    r.maxLevel = l0.eax;
    char vendor[13] = {};
    std::memcpy(vendor, &l0.ebx, 4);
    std::memcpy(vendor + 4, &l0.edx, 4);
    std::memcpy(vendor + 8, &l0.ecx, 4);
    r.vendor = vendor;
    for (uint32_t i = 0; i < std::size(kVendors); ++i)
        if (std::memcmp(vendor, kVendors[i], 12) == 0) {
            r.vendorIndex = i;
            r.vendorName = kVendorNames[i];
        }
    if (r.maxLevel >= 1) {
        const platform::CpuidResult l1 = probe.cpuid(1);
        r.family = (l1.eax >> 8) & 0xF;
        r.model = (l1.eax >> 4) & 0xF;
        r.stepping = l1.eax & 0xF;
        // Bit 31 of leaf 1 is not 3DNow! on any processor (Intel uses it for
        // another feature): 3DNow! is believed only from AMD's extended leaf.
        r.features = l1.edx & ~kCpuFeature3DNow;
    }
    bool named = false;
    if (r.vendorIndex == 1) {
        const uint32_t ext = probe.cpuid(0x80000000u).eax & 0x7FFFFFFFu;
        if (ext >= 4) {
            std::string brand = BrandPart(probe.cpuid(0x80000002u)) + BrandPart(probe.cpuid(0x80000003u)) +
                                BrandPart(probe.cpuid(0x80000004u));
            brand.resize(std::strlen(brand.c_str()));
            r.name = brand;
            named = true;
        }
        if (ext >= 1) {
            const uint32_t extBits = 0x80000000u | 0x10000u | 0x800u;
            r.features = (r.features & ~extBits) | (probe.cpuid(0x80000001u).edx & extBits);
        }
        if (r.family == 5 && r.model == 0 && (r.features & 0x200)) {
            r.features &= ~0x200u;
            r.features |= 0x2000u;
        }
    }
    if (!named) {
        for (const ModelName& m : kNames)
            if (m.vendor == r.vendorIndex && m.family == r.family && m.model == r.model) {
                r.name = m.name;
                named = true;
                break;
            }
        if (!named)
            r.name = "(model " + std::to_string(r.family) + "/" + std::to_string(r.model) + " unknown)";
    }
    // The feature bits come from the identification instruction alone: no
    // trial instruction is run, so nothing can fault on a processor without it.
}

void IdentifyCpu(ProcessorRecord& record)
{
    CpuProbe probe;
    // A 64-bit processor always toggles the alignment-check flag.
    probe.hasCpuid = platform::HasCpuid();
    probe.cpuid = [](uint32_t leaf) { return platform::Cpuid(leaf); };
    IdentifyCpuWith(record, probe);
}
