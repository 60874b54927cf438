// The processor's time-stamp counter and its identification instruction.
// The clock builds its tick counter on ReadCycleCounter; the start-up code
// fills its processor record from Cpuid.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The time-stamp counter (constant-rate on every processor this runs on).
// Where there is none, nanoseconds of the monotonic clock stand in.
uint64_t ReadCycleCounter();

struct CpuidResult {
    uint32_t eax = 0;
    uint32_t ebx = 0;
    uint32_t ecx = 0;
    uint32_t edx = 0;
};

// False only on processors without the identification instruction (or not x86).
bool HasCpuid();

// The four registers for `leaf` (sub-leaf 0). All zero when the leaf lies
// above the highest supported level of its range, or without the instruction.
CpuidResult Cpuid(uint32_t leaf);

// The 12-character vendor string of leaf 0 ("GenuineIntel", "AuthenticAMD", ...).
std::string CpuVendor();

// The brand string of leaves 0x80000002..4 with leading blanks removed; empty
// when the processor does not report one.
std::string CpuBrand();

} // namespace platform
