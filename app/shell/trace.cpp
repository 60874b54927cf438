#include "app/shell/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void Trace(const char* format, ...)
{
    static const bool on = [] {
        const char* v = std::getenv("TREVOK_TRACE");
        return v && *v && *v != '0';
    }();
    if (!on)
        return;
    std::va_list args;
    va_start(args, format);
    std::fputs("trace: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    va_end(args);
}
