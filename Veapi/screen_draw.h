// Coloured lines and triangles given in screen pixels (HUD frames, selection
// boxes, the map overlay, debug lines). Vertices are clipped to the screen and
// the camera's depth range as they come in, gathered in two fixed buffers and
// drawn when a buffer fills or the batch is flushed. One batch at a time.
#pragma once

#include <cstdint>

#include "app/maths.h"

class TextureEntry;

// A pre-transformed vertex as the device takes it (format 0x1C4).
struct ScreenVertex {
    float x = 0, y = 0, z = 0, rhw = 1;
    uint32_t diffuse = 0, specular = 0;
    float u = 0, v = 0;
};
static_assert(sizeof(ScreenVertex) == 32);

// What vertices are clipped against: the screen rectangle and a depth range.
struct ScreenClipBounds {
    float width = 640, height = 480;
    float nearZ = 0, farZ = 1;
};

namespace ScreenDraw {
constexpr int kBufferVertices = 600;  // each buffer: 300 lines or 200 triangles
constexpr int kMaxClipped = 9;        // a triangle cut by six planes

void Begin();
void SetMaterial(TextureEntry* texture);
void SetDepth(float z);
void Line(int x0, int y0, const Colour& colour0, int x1, int y1, const Colour& colour1);
void WhiteLine(int x0, int y0, int x1, int y1);
void ClipLine(const Colour& colour0, const Colour& colour1, float x0, float y0, float z0, float rhw0, float x1,
              float y1, float z1, float rhw1);
void Triangle(int x0, int y0, const Colour& colour0, int x1, int y1, const Colour& colour1, int x2, int y2,
              const Colour& colour2);
void ClipPolygon(const ScreenVertex triangle[3]);
void FlushLines();
void FlushTriangles();
void Flush();

// The screen and the current camera's depth limits (0..1 without a camera).
ScreenClipBounds CurrentBounds();

// Cuts the line a-b to the bounds; false when nothing of it is left. Ends
// outside the depth range or with a reciprocal w below 1 drop the line.
bool ClipLineTo(ScreenVertex& a, ScreenVertex& b, const ScreenClipBounds& bounds);
// Sutherland-Hodgman against x, y and depth; returns the vertex count (0 or 3..9).
int ClipToScreen(const ScreenVertex in[3], ScreenVertex out[kMaxClipped], const ScreenClipBounds& bounds);

// Vertices waiting in each buffer.
int PendingLineVertices();
int PendingTriangleVertices();
bool Active();
// Time spent in draw calls, processor-clock units (cycles >> 10).
int64_t& DrawTime();
} // namespace ScreenDraw
