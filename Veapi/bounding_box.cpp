#include "Veapi/bounding_box.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "Veapi/VertBuff.h"
#include "Veapi/hit_probe.h"
#include "Veapi/ve3d.h"
#include "Veapi/ve_shape.h"

namespace {

std::vector<BoxBatch*>& Batches()
{
    static auto* list = new std::vector<BoxBatch*>;  // outlives the exit handlers
    return *list;
}

std::vector<SharedVertexBuffer*>& SharedBuffers()
{
    static auto* list = new std::vector<SharedVertexBuffer*>;  // outlives the exit handlers
    return *list;
}

float ReadFloat(const uint8_t* p)
{
    float f;
    std::memcpy(&f, p, 4);
    return f;
}

} // namespace

// ---- Bounding boxes ----------------------------------------------------------------

BoundingBox::BoundingBox(float x0, float y0, float z0, float x1, float y1, float z1)
{
    corners_[0] = {x0, y0, z0};
    corners_[1] = {x1, y0, z0};
    corners_[2] = {x1, y1, z0};
    corners_[3] = {x0, y1, z0};
    corners_[4] = {x0, y1, z1};
    corners_[5] = {x1, y1, z1};
    corners_[6] = {x1, y0, z1};
    corners_[7] = {x0, y0, z1};
    Register();
}

BoundingBox::~BoundingBox()
{
    Unregister();
}

void BoundingBox::Register()
{
    BoxBatch* chosen = nullptr;
    for (BoxBatch* b : Batches())
        if (b->vertexCount_ < BoxBatch::kVertexLimit && (!chosen || b->vertexCount_ < chosen->vertexCount_))
            chosen = b;
    if (!chosen) {
        chosen = new BoxBatch;
        Batches().push_back(chosen);
    } else {
        chosen->AddRef();
    }
    {
        std::lock_guard<std::mutex> hold(chosen->lock_);
        chosen->vertexCount_ += 8;
        chosen->members_.PushBack(this);
    }
    batch_ = chosen;
    chosen->Rebuild();
}

void BoundingBox::Unregister()
{
    BoxBatch* b = batch_;
    if (!b)
        return;
    {
        std::lock_guard<std::mutex> hold(b->lock_);
        if (b->members_.Remove(this))
            b->vertexCount_ -= 8;
    }
    batch_ = nullptr;
    // The buffer is not rebuilt: the other members keep their vertex indices.
    b->Release();
}

uint32_t BoundingBox::ClipFlags()
{
    gfx::Device* dev = Display::Device();
    gfx::VertexBuffer* clip = ProcessingBuffers::ClipTest();
    // Without a device buffer the box cannot be tested: it counts as visible,
    // since drawing something unseen costs less than losing something seen.
    if (!dev || !clip || !batch_ || !batch_->Buffer())
        return 0;
    // Texture-coordinate transforms must not touch the positions processed here.
    RenderMaterial* material = RenderMaterial::Current();
    uint32_t saved[RenderMaterial::kMaxStages] = {};
    const int stages = material ? std::clamp(material->stageCount_, 1, RenderMaterial::kMaxStages) : 0;
    for (int i = 0; i < stages; ++i)
        if (material->stages_[i].spare) {
            saved[i] = material->stages_[i].spare;
            dev->SetTextureStageState(uint32_t(i), gfx::StageState::TextureTransformFlags, 0);
        }
    gfx::ClipStatus status;
    status.flags = gfx::kClipStatusStatus;
    status.status = 0xFFF000;
    dev->SetClipStatus(status);
    dev->ProcessVertices(gfx::kProcessTransform | gfx::kProcessClip | gfx::kProcessNoCopyData, *clip, 0, 8,
                         *batch_->Buffer(), firstVertex_);
    for (int i = 0; i < stages; ++i)
        if (saved[i])
            dev->SetTextureStageState(uint32_t(i), gfx::StageState::TextureTransformFlags, saved[i]);
    return (dev->GetClipStatus().status >> 12) & 0x1FFF;
}

bool BoundingBox::TransformCorners(float out[8][4])
{
    gfx::Device* dev = Display::Device();
    gfx::VertexBuffer* t = ProcessingBuffers::Transform(0);
    if (!dev || !t || !batch_ || !batch_->Buffer())
        return false;
    if (!dev->ProcessVertices(gfx::kProcessTransform | gfx::kProcessNoCopyData, *t, 0, 8, *batch_->Buffer(),
                              firstVertex_))
        return false;
    const uint8_t* p = t->Data();
    for (int i = 0; i < 8; ++i)
        for (int k = 0; k < 4; ++k)
            out[i][k] = ReadFloat(p + size_t(i) * 16 + size_t(k) * 4);
    return true;
}

bool BoundingBox::ScreenRect(ScreenRectangle& out)
{
    float t[8][4];
    if (!TransformCorners(t))
        return false;
    ScreenRectangle r{INT_MAX, INT_MAX, -2147483647, -2147483647};
    for (auto& c : t) {
        // Rounded toward minus infinity, as the engine converts screen positions.
        const float fx = std::floor(c[0]), fy = std::floor(c[1]);
        const int x = fx >= float(INT_MAX) ? INT_MAX : fx <= float(INT_MIN) ? INT_MIN : std::isnan(fx) ? 0 : int(fx);
        const int y = fy >= float(INT_MAX) ? INT_MAX : fy <= float(INT_MIN) ? INT_MIN : std::isnan(fy) ? 0 : int(fy);
        r.left = std::min(r.left, x);
        r.top = std::min(r.top, y);
        r.right = std::max(r.right, x);
        r.bottom = std::max(r.bottom, y);
    }
    out = r;
    return true;
}

bool BoundingBox::TestProbes()
{
    float t[8][4];
    if (!TransformCorners(t))
        return false;
    ScreenPoint c[8];
    for (int i = 0; i < 8; ++i)
        c[i] = {t[i][0], t[i][1], t[i][2], t[i][3]};
    static constexpr int kFaces[6][4] = {{0, 1, 2, 3}, {2, 1, 6, 5}, {4, 3, 2, 5},
                                         {5, 6, 7, 4}, {7, 0, 3, 4}, {0, 7, 6, 1}};
    bool any = false;
    if (!HitProbe::Enabled())
        return false;
    for (const auto& f : kFaces) {
        const ScreenPoint quad[4] = {c[f[0]], c[f[1]], c[f[2]], c[f[3]]};
        any = HitProbe::TestQuad(quad) || any;
    }
    return any;
}

// ---- Box batches ---------------------------------------------------------------------

BoxBatch::BoxBatch() = default;

BoxBatch::~BoxBatch()
{
    auto& list = Batches();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void BoxBatch::Rebuild()
{
    std::lock_guard<std::mutex> hold(lock_);
    buffer_.reset();
    if (vertexCount_ == 0)
        return;
    buffer_ = std::make_unique<gfx::VertexBuffer>(gfx::kFvfXyz, vertexCount_, gfx::kVbWriteOnly | gfx::kVbSystemMemory);
    uint8_t* p = buffer_->Lock();
    if (!p) {
        buffer_.reset();
        return;
    }
    uint32_t first = 0;
    for (BoundingBox* box : members_) {
        box->firstVertex_ = first;
        std::memcpy(p + size_t(first) * 12, box->corners_, sizeof box->corners_);
        first += 8;
    }
    buffer_->Unlock();
}

void BoxBatch::ReleaseBuffer()
{
    std::lock_guard<std::mutex> hold(lock_);
    buffer_.reset();
}

void BoxBatch::ReleaseAll()
{
    for (BoxBatch* b : Batches())
        b->ReleaseBuffer();
}

void BoxBatch::RestoreAll()
{
    for (BoxBatch* b : Batches())
        b->Rebuild();
}

int BoxBatch::BatchCount()
{
    return int(Batches().size());
}

BoxBatch* BoxBatch::BatchAt(int index)
{
    return index >= 0 && size_t(index) < Batches().size() ? Batches()[size_t(index)] : nullptr;
}

// ---- Shared vertex buffers ---------------------------------------------------------------

SharedVertexBuffer::SharedVertexBuffer(TextureEntry* texture, uint32_t format) : texture_(texture), format_(format)
{
    SharedBuffers().push_back(this);
}

SharedVertexBuffer::~SharedVertexBuffer()
{
    auto& list = SharedBuffers();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void SharedVertexBuffer::Attach(SubMesh* mesh, bool optimise)
{
    if (!mesh || mesh->shared)
        return;
    SharedVertexBuffer* chosen = nullptr;
    for (SharedVertexBuffer* b : SharedBuffers())
        if (b->texture_ == mesh->texture && b->format_ == mesh->format && b->total_ + mesh->vertexCount < kVertexLimit) {
            chosen = b;
            break;
        }
    if (chosen)
        chosen->AddRef();
    else
        chosen = new SharedVertexBuffer(mesh->texture, mesh->format);
    chosen->total_ += mesh->vertexCount;
    chosen->members_.PushBack(mesh);
    mesh->shared = chosen;
    chosen->Rebuild(optimise);
}

void SharedVertexBuffer::Detach(SubMesh* mesh)
{
    SharedVertexBuffer* b = mesh ? mesh->shared : nullptr;
    if (!b)
        return;
    if (b->members_.Remove(mesh))
        b->total_ -= mesh->vertexCount;
    mesh->shared = nullptr;
    b->Rebuild(true);
    b->Release();
}

void SharedVertexBuffer::Rebuild(bool)
{
    // Optimising is a no-op on this device: buffers are already in the form it draws from.
    buffer_.reset();
    uint32_t first = 0;
    for (SubMesh* m : members_) {
        m->firstVertex = first;
        m->sharedIndices.resize(m->indexCount);
        for (uint32_t i = 0; i < m->indexCount && i < m->indices.size(); ++i)
            m->sharedIndices[i] = uint16_t(m->indices[i] + first);
        first += m->vertexCount;
    }
    if (total_ == 0 || !(Display::OpenState() & kOpenDirect3D))
        return;
    buffer_ = std::make_unique<gfx::VertexBuffer>(format_, total_, gfx::kVbWriteOnly | Display::Caps().vertexBufferFlags);
    uint8_t* p = buffer_->Lock();
    if (!p) {
        buffer_.reset();
        return;
    }
    for (SubMesh* m : members_)
        m->CopyToBuffer(p + size_t(m->firstVertex) * m->Stride());
    buffer_->Unlock();
}

void SharedVertexBuffer::ReleaseBuffer()
{
    buffer_.reset();
}

void SharedVertexBuffer::ReleaseAll()
{
    for (SharedVertexBuffer* b : SharedBuffers())
        b->ReleaseBuffer();
}

void SharedVertexBuffer::RestoreAll()
{
    for (SharedVertexBuffer* b : SharedBuffers())
        b->Rebuild(true);
}

int SharedVertexBuffer::BufferCount()
{
    return int(SharedBuffers().size());
}
