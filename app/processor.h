// Identification of the processor at start-up: class, vendor, name, family,
// model, stepping and feature flags, from the identification instruction.
// Nothing is learnt by running an instruction the processor may lack.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/cpu.h"

struct ProcessorRecord {
    uint32_t cpuClass = 0;  // 0 "386", 1 "486" (no identification instruction), 2 identified
    std::string vendor;     // the 12 characters of leaf 0
    std::string name;
    std::string vendorName; // "Intel", "AMD", ...
    uint32_t vendorIndex = 6;  // 0 Intel .. 5 NexGen, 6 any other
    uint32_t maxLevel = 0;
    uint32_t family = 0, model = 0, stepping = 0;
    uint32_t features = 0;  // leaf 1 EDX, with the AMD extended bits
};

inline constexpr uint32_t kCpuFeatureMmx = 0x00800000;
inline constexpr uint32_t kCpuFeature3DNow = 0x80000000u;

// How the processor answers; tests give their own.
struct CpuProbe {
    bool alignmentCheckToggles = true;  // false on a 386
    bool hasCpuid = true;
    std::function<platform::CpuidResult(uint32_t)> cpuid;
};

void IdentifyCpu(ProcessorRecord& record);
void IdentifyCpuWith(ProcessorRecord& record, const CpuProbe& probe);
