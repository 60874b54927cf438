#include "Veapi/quad_batch.h"

#include "Veapi/VertBuff.h"

void QuadBatch::SetMaterial(RenderMaterial* material)
{
    if (material == material_)
        return;
    DrawPending();
    material_ = material;
}

ScreenVertex* QuadBatch::Reserve(Kind kind, uint32_t vertices, uint32_t indices)
{
    if (kind != kind_ || buffer_.vertexCount_ + vertices > DynamicVertexBuffer::kVertices ||
        buffer_.indexCount_ + indices > DynamicVertexBuffer::kIndices)
        DrawPending();
    kind_ = kind;
    if (!vertices_)
        vertices_ = reinterpret_cast<ScreenVertex*>(buffer_.Lock());
    if (!vertices_) {
        failed_ = true;
        return nullptr;
    }
    ScreenVertex* at = vertices_ + buffer_.vertexCount_;
    buffer_.vertexCount_ += vertices;
    return at;
}

void QuadBatch::AddQuad(const ScreenVertex (&corners)[4])
{
    ScreenVertex* v = Reserve(Kind::Quads, 4, 6);
    if (!v)
        return;
    const uint32_t first = buffer_.vertexCount_ - 4;
    for (int i = 0; i < 4; ++i)
        v[i] = corners[i];
    uint16_t* index = buffer_.Indices() + buffer_.indexCount_;
    const uint16_t order[6] = {0, 1, 2, 0, 2, 3};
    for (int i = 0; i < 6; ++i)
        index[i] = uint16_t(first + order[i]);
    buffer_.indexCount_ += 6;
}

void QuadBatch::AddLine(const ScreenVertex& from, const ScreenVertex& to)
{
    ScreenVertex* v = Reserve(Kind::Lines, 2, 0);
    if (!v)
        return;
    v[0] = from;
    v[1] = to;
}

void QuadBatch::DrawPending()
{
    if (vertices_) {
        buffer_.Unlock();
        vertices_ = nullptr;
    }
    if (buffer_.vertexCount_ > 0) {
        buffer_.SetMaterial(material_);
        const bool ok = kind_ == Kind::Lines ? buffer_.Draw(gfx::Primitive::LineList, false)
                                             : buffer_.Draw(gfx::Primitive::TriangleList, true);
        failed_ = failed_ || !ok;
        ++draws_;
    }
    buffer_.vertexCount_ = buffer_.indexCount_ = 0;
}

bool QuadBatch::Flush()
{
    DrawPending();
    const bool ok = !failed_;
    failed_ = false;
    return ok;
}

void QuadBatch::Discard()
{
    if (vertices_)
        buffer_.Unlock();
    vertices_ = nullptr;
    buffer_.vertexCount_ = buffer_.indexCount_ = 0;
    failed_ = false;
}
