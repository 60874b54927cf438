#include "platform/cpu.h"

#include "platform/time.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#define TREVOK_X86 1
#else
#define TREVOK_X86 0
#endif

namespace platform {

uint64_t ReadCycleCounter()
{
#if TREVOK_X86
    return __rdtsc();
#else
    return MonotonicNanoseconds();
#endif
}

bool HasCpuid()
{
#if TREVOK_X86
    return __get_cpuid_max(0, nullptr) != 0;
#else
    return false;
#endif
}

CpuidResult Cpuid(uint32_t leaf)
{
    CpuidResult r;
#if TREVOK_X86
    // __get_cpuid checks the leaf against the highest level of its range.
    if (!__get_cpuid(leaf, &r.eax, &r.ebx, &r.ecx, &r.edx))
        r = CpuidResult{};
#else
    (void)leaf;
#endif
    return r;
}

std::string CpuVendor()
{
    const CpuidResult r = Cpuid(0);
    if (r.eax == 0 && r.ebx == 0)
        return {};
    char text[12];
    std::memcpy(text, &r.ebx, 4);
    std::memcpy(text + 4, &r.edx, 4);
    std::memcpy(text + 8, &r.ecx, 4);
    return std::string(text, 12);
}

std::string CpuBrand()
{
    if (Cpuid(0x80000000u).eax < 0x80000004u)
        return {};
    char text[48];
    for (uint32_t i = 0; i < 3; ++i) {
        const CpuidResult r = Cpuid(0x80000002u + i);
        std::memcpy(text + 16 * i, &r.eax, 4);
        std::memcpy(text + 16 * i + 4, &r.ebx, 4);
        std::memcpy(text + 16 * i + 8, &r.ecx, 4);
        std::memcpy(text + 16 * i + 12, &r.edx, 4);
    }
    std::string brand(text, strnlen(text, sizeof text));
    const size_t first = brand.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : brand.substr(first);
}

} // namespace platform
