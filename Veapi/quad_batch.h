// Screen-space quads and lines gathered in a dynamic vertex buffer and drawn
// whenever it fills, the material changes or the caller flushes. Text and
// particles both draw through it, so neither ever writes past the buffer.
#pragma once

#include <cstdint>

#include "Veapi/screen_draw.h"

class DynamicVertexBuffer;
class RenderMaterial;

class QuadBatch {
public:
    explicit QuadBatch(DynamicVertexBuffer& buffer) : buffer_(buffer) {}
    QuadBatch(const QuadBatch&) = delete;
    QuadBatch& operator=(const QuadBatch&) = delete;
    ~QuadBatch() { Flush(); }

    // Draws what is pending first when the material differs.
    void SetMaterial(RenderMaterial* material);
    // Corners in order top-left, top-right, bottom-right, bottom-left.
    void AddQuad(const ScreenVertex (&corners)[4]);
    void AddLine(const ScreenVertex& from, const ScreenVertex& to);
    // Draws what is pending; false when any draw since the last call failed.
    bool Flush();
    // Forgets what is pending without drawing it.
    void Discard();
    // Draw calls made so far.
    uint32_t Draws() const { return draws_; }

private:
    enum class Kind { None, Quads, Lines };
    ScreenVertex* Reserve(Kind kind, uint32_t vertices, uint32_t indices);
    void DrawPending();

    DynamicVertexBuffer& buffer_;
    RenderMaterial* material_ = nullptr;
    ScreenVertex* vertices_ = nullptr;  // the locked buffer
    Kind kind_ = Kind::None;
    uint32_t draws_ = 0;
    bool failed_ = false;
};
