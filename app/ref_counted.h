// Reference counting (platform/ref_counted.h, beneath the platform layer so
// that its objects share the one count) and debugging aids over it.
#pragma once

#include "platform/ref_counted.h"

#include <cstdint>

// Debugging aids for any reference-counted object: its count read through
// the counting calls themselves, and the count forced to `n` by adding or
// releasing references. Forcing it to 0 destroys the object (and then
// nothing more is touched); a negative `n` counts as 0.
template <typename T>
int32_t ComRefCount(T* object)
{
    if (!object)
        return 0;
    object->AddRef();
    return object->Release();
}

template <typename T>
int32_t ComSetRefCount(T* object, int32_t n)
{
    if (!object)
        return 0;
    n = n < 0 ? 0 : n;
    int32_t count = ComRefCount(object);
    while (count < n) {
        object->AddRef();
        ++count;
    }
    while (count > n)
        count = object->Release();
    return count;
}
