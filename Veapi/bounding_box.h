// Axis-aligned bounding boxes whose corners sit in shared device vertex
// buffers (box batches), so the device's own transform-and-clip pipeline says
// whether a box can be seen and where it lies on the screen; and the shared
// vertex buffers that sub-meshes of one texture and format draw from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "app/list.h"
#include "app/maths.h"
#include "app/ref_counted.h"
#include "platform/gfx.h"

class BoxBatch;
class TextureEntry;
struct SubMesh;

struct ScreenRectangle {
    int left = 0, top = 0, right = 0, bottom = 0;
};

class BoundingBox {
public:
    BoundingBox(float minX, float minY, float minZ, float maxX, float maxY, float maxZ);
    ~BoundingBox();
    BoundingBox(const BoundingBox&) = delete;
    BoundingBox& operator=(const BoundingBox&) = delete;

    // Clip-intersection bits of the eight corners: non-zero when every corner
    // lies outside one plane, so nothing of the box can be seen.
    uint32_t ClipFlags();
    // False (rectangle unset) when the corners cannot be transformed.
    bool ScreenRect(ScreenRectangle& out);
    // Tests the six faces against every probe (objects drawn for picking).
    bool TestProbes();
    // The corners as the current transforms place them on the screen.
    bool TransformCorners(float out[8][4]);

    const Vec3& Corner(int i) const { return corners_[i]; }
    BoxBatch* Batch() const { return batch_; }
    uint32_t FirstVertex() const { return firstVertex_; }

private:
    friend class BoxBatch;
    void Register();
    void Unregister();
    Vec3 corners_[8];
    BoxBatch* batch_ = nullptr;
    uint32_t firstVertex_ = 0;
};

class BoxBatch : public RefCountedResource {
public:
    static constexpr uint32_t kVertexLimit = 1200;  // 150 boxes of 8 corners

    BoxBatch();
    ~BoxBatch() override;
    void Rebuild();
    void ReleaseBuffer();
    void RestoreBuffer() { Rebuild(); }
    gfx::VertexBuffer* Buffer() const { return buffer_.get(); }
    uint32_t VertexCount() const { return vertexCount_; }
    int32_t MemberCount() const { return members_.Count(); }

    static void ReleaseAll();
    static void RestoreAll();
    static int BatchCount();
    static BoxBatch* BatchAt(int index);

private:
    friend class BoundingBox;
    std::mutex lock_;  // guards members_ and vertexCount_
    std::unique_ptr<gfx::VertexBuffer> buffer_;
    List<BoundingBox*> members_;
    uint32_t vertexCount_ = 0;
};

class SharedVertexBuffer : public RefCountedResource {
public:
    static constexpr uint32_t kVertexLimit = 30000;

    SharedVertexBuffer(TextureEntry* texture, uint32_t format);
    ~SharedVertexBuffer() override;

    static void Attach(SubMesh* mesh, bool optimise);
    static void Detach(SubMesh* mesh);
    void Rebuild(bool optimise);
    void ReleaseBuffer();
    void RestoreBuffer() { Rebuild(true); }

    gfx::VertexBuffer* Buffer() const { return buffer_.get(); }
    uint32_t TotalVertices() const { return total_; }
    uint32_t Format() const { return format_; }
    TextureEntry* Texture() const { return texture_; }
    int32_t MemberCount() const { return members_.Count(); }

    static void ReleaseAll();
    static void RestoreAll();
    static int BufferCount();

private:
    std::unique_ptr<gfx::VertexBuffer> buffer_;
    List<SubMesh*> members_;
    TextureEntry* texture_;
    uint32_t format_;
    uint32_t total_ = 0;
};
