#include "app/main_camera.h"

#include <cstring>

void PointerRecord::Set(int px, int py)
{
    x = float(px) + 0.5f;
    y = float(py) + 0.5f;
    valid = true;
}

PointerRecord& PointerRecord::Current()
{
    static PointerRecord record;
    return record;
}

char* DuplicateString(const char* text)
{
    if (!text)
        return nullptr;
    const size_t n = std::strlen(text) + 1;
    char* copy = new char[n];
    std::memcpy(copy, text, n);
    return copy;
}
