// The application's side of the main camera: where the cursor pointed this
// frame (read by picking) and the string copy the shell's helpers share. The
// main camera itself, which follows its focus, is MainCamera in Veapi/camera.h.
#pragma once

struct PointerRecord {
    float x = 0.0f, y = 0.0f;
    bool valid = false;

    // Stores the pixel's centre.
    void Set(int px, int py);
    static PointerRecord& Current();
};

// A heap copy of a terminated string; the caller frees it with delete[].
// Null gives null.
char* DuplicateString(const char* text);
