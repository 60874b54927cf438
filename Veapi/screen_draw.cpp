#include "Veapi/screen_draw.h"

#include <algorithm>

#include "Veapi/VertBuff.h"
#include "Veapi/camera.h"
#include "Veapi/ve3d.h"
#include "app/log_file.h"
#include "platform/cpu.h"
#include "platform/gfx.h"

namespace {

struct Batch {
    ScreenVertex lines[ScreenDraw::kBufferVertices];
    ScreenVertex triangles[ScreenDraw::kBufferVertices];
    int lineCount = 0, triangleCount = 0;
    TextureEntry* texture = nullptr;
    float z = 0.0f, rhw = 1.0f;
    bool active = false, drawn = false;
    int64_t drawTime = 0;
};

Batch& State()
{
    static Batch batch;
    return batch;
}

ScreenVertex Lerp(const ScreenVertex& a, const ScreenVertex& b, float t)
{
    ScreenVertex r;
    r.x = a.x + (b.x - a.x) * t;
    r.y = a.y + (b.y - a.y) * t;
    r.z = a.z + (b.z - a.z) * t;
    r.rhw = a.rhw + (b.rhw - a.rhw) * t;
    r.u = a.u + (b.u - a.u) * t;
    r.v = a.v + (b.v - a.v) * t;
    r.diffuse = a.diffuse;
    r.specular = 0;
    return r;
}

bool Draw(gfx::Primitive type, const ScreenVertex* vertices, int count)
{
    gfx::Device* dev = Display::Device();
    if (!dev) {
        LogFile::Write("Screen drawing: %d vertices dropped, no device\n", count);
        return false;
    }
    const uint64_t start = platform::ReadCycleCounter();
    const bool ok = dev->DrawPrimitive(type, gfx::kFvfTLVertex, vertices, uint32_t(count));
    State().drawTime += int64_t((platform::ReadCycleCounter() - start) >> 10);
    if (!ok)
        LogFile::Write("Screen drawing: DrawPrimitive of %d vertices failed\n", count);
    State().drawn = State().drawn || ok;
    return ok;
}

// One plane of the polygon clipper: signed distance, >= 0 inside.
float PlaneDistance(const ScreenVertex& v, int plane, const ScreenClipBounds& b)
{
    switch (plane) {
    case 0: return v.x;
    case 1: return b.width - v.x;
    case 2: return v.y;
    case 3: return b.height - v.y;
    case 4: return v.z - b.nearZ;
    default: return b.farZ - v.z;
    }
}

// Rounding in the cut can leave a point a hair outside its plane; put it on it.
void OntoPlane(ScreenVertex& v, int plane, const ScreenClipBounds& b)
{
    switch (plane) {
    case 0: v.x = 0.0f; break;
    case 1: v.x = b.width; break;
    case 2: v.y = 0.0f; break;
    case 3: v.y = b.height; break;
    case 4: v.z = b.nearZ; break;
    default: v.z = b.farZ; break;
    }
}

void KeepOnScreen(ScreenVertex& v, const ScreenClipBounds& b)
{
    v.x = std::clamp(v.x, 0.0f, b.width);
    v.y = std::clamp(v.y, 0.0f, b.height);
}

} // namespace

namespace ScreenDraw {

void Begin()
{
    Batch& s = State();
    s.texture = Display::NullTexture();
    s.active = true;
    s.drawn = false;
}

void SetMaterial(TextureEntry* texture) { State().texture = texture; }

void SetDepth(float z)
{
    State().z = z;
    // A zero depth would give an infinite reciprocal; the line test rejects
    // nothing for it, so keep it finite and large.
    State().rhw = z != 0.0f ? 1.0f / z : 1e30f;
}

ScreenClipBounds CurrentBounds()
{
    ScreenClipBounds b;
    b.width = float(Display::Width());
    b.height = float(Display::Height());
    if (Camera* cam = Camera::Current()) {
        b.nearZ = cam->DeviceViewport().minZ;
        b.farZ = cam->DeviceViewport().maxZ;
    }
    return b;
}

bool ClipLineTo(ScreenVertex& a, ScreenVertex& b, const ScreenClipBounds& bounds)
{
    if (!(a.rhw >= 1.0f) || !(b.rhw >= 1.0f))
        return false;
    // Lines are not cut in depth: an end in front of or behind the range drops it.
    for (const ScreenVertex* v : {&a, &b})
        if (!(v->z >= bounds.nearZ && v->z <= bounds.farZ))
            return false;
    // Parametric cut against the four screen edges; the range [t0, t1] of
    // the line that remains inside.
    float t0 = 0.0f, t1 = 1.0f;
    const float dx = b.x - a.x, dy = b.y - a.y;
    const float p[4] = {-dx, dx, -dy, dy};
    const float q[4] = {a.x, bounds.width - a.x, a.y, bounds.height - a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0f) {
            if (!(q[i] >= 0.0f))
                return false;
            continue;
        }
        const float t = q[i] / p[i];
        if (p[i] < 0.0f)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
    }
    if (t0 > t1)
        return false;
    const ScreenVertex from = a, to = b;
    if (t0 > 0.0f) {
        a = Lerp(from, to, t0);
        a.diffuse = from.diffuse;
        KeepOnScreen(a, bounds);
    }
    if (t1 < 1.0f) {
        b = Lerp(from, to, t1);
        b.diffuse = to.diffuse;
        KeepOnScreen(b, bounds);
    }
    a.specular = b.specular = 0;
    return true;
}

int ClipToScreen(const ScreenVertex in[3], ScreenVertex out[kMaxClipped], const ScreenClipBounds& bounds)
{
    ScreenVertex work[2][kMaxClipped];
    std::copy(in, in + 3, work[0]);
    int count = 3;
    int from = 0;
    for (int plane = 0; plane < 6 && count > 0; ++plane) {
        const ScreenVertex* src = work[from];
        ScreenVertex* dst = work[from ^ 1];
        int n = 0;
        for (int i = 0; i < count; ++i) {
            const ScreenVertex& prev = src[(i + count - 1) % count];
            const ScreenVertex& cur = src[i];
            const float dp = PlaneDistance(prev, plane, bounds), dc = PlaneDistance(cur, plane, bounds);
            const bool prevIn = dp >= 0.0f, curIn = dc >= 0.0f;
            // Each plane adds at most one vertex, so n never passes 3 + 6.
            if (prevIn != curIn && n < kMaxClipped) {
                dst[n] = Lerp(prev, cur, dp / (dp - dc));
                OntoPlane(dst[n++], plane, bounds);
            }
            if (curIn && n < kMaxClipped)
                dst[n++] = cur;
        }
        count = n;
        from ^= 1;
    }
    if (count < 3)
        return 0;
    std::copy(work[from], work[from] + count, out);
    return count;
}

void ClipLine(const Colour& colour0, const Colour& colour1, float x0, float y0, float z0, float rhw0, float x1,
              float y1, float z1, float rhw1)
{
    ScreenVertex a, b;
    a.x = x0, a.y = y0, a.z = z0, a.rhw = rhw0, a.diffuse = colour0.Packed();
    b.x = x1, b.y = y1, b.z = z1, b.rhw = rhw1, b.diffuse = colour1.Packed();
    if (!ClipLineTo(a, b, CurrentBounds()))
        return;
    Batch& s = State();
    s.lines[s.lineCount++] = a;
    s.lines[s.lineCount++] = b;
    if (s.lineCount >= kBufferVertices)
        FlushLines();
}

void Line(int x0, int y0, const Colour& colour0, int x1, int y1, const Colour& colour1)
{
    const Batch& s = State();
    ClipLine(colour0, colour1, float(x0) + 0.5f, float(y0) + 0.5f, s.z, s.rhw, float(x1) + 0.5f,
             float(y1) + 0.5f, s.z, s.rhw);
}

void WhiteLine(int x0, int y0, int x1, int y1)
{
    Colour white;
    white.Set(1, 1, 1, 1);
    Line(x0, y0, white, x1, y1, white);
}

void Triangle(int x0, int y0, const Colour& colour0, int x1, int y1, const Colour& colour1, int x2, int y2,
              const Colour& colour2)
{
    const Batch& s = State();
    ScreenVertex v[3];
    const int xs[3] = {x0, x1, x2}, ys[3] = {y0, y1, y2};
    const Colour* cs[3] = {&colour0, &colour1, &colour2};
    for (int i = 0; i < 3; ++i) {
        v[i].x = float(xs[i]) + 0.5f;
        v[i].y = float(ys[i]) + 0.5f;
        v[i].z = s.z;
        v[i].rhw = s.rhw;
        v[i].diffuse = cs[i]->Packed();
    }
    ClipPolygon(v);
}

void ClipPolygon(const ScreenVertex triangle[3])
{
    ScreenVertex poly[kMaxClipped];
    const int n = ClipToScreen(triangle, poly, CurrentBounds());
    Batch& s = State();
    for (int i = 1; i + 1 < n; ++i) {
        s.triangles[s.triangleCount++] = poly[0];
        s.triangles[s.triangleCount++] = poly[i];
        s.triangles[s.triangleCount++] = poly[i + 1];
        if (s.triangleCount >= kBufferVertices)
            FlushTriangles();
    }
}

void FlushLines()
{
    Batch& s = State();
    if (s.lineCount > 0) {
        RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::kLines));
        Draw(gfx::Primitive::LineList, s.lines, s.lineCount);
    }
    s.lineCount = 0;
}

void FlushTriangles()
{
    Batch& s = State();
    if (s.triangleCount > 0) {
        if (!s.texture || s.texture == Display::NullTexture()) {
            RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::kLines));
        } else {
            RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::kText));
            Display::SetStageTexture(s.texture, 0);
        }
        Draw(gfx::Primitive::TriangleList, s.triangles, s.triangleCount);
    }
    s.triangleCount = 0;
}

void Flush()
{
    if (State().lineCount > 0)
        FlushLines();
    if (State().triangleCount > 0)
        FlushTriangles();
    State().active = false;
}

int PendingLineVertices() { return State().lineCount; }
int PendingTriangleVertices() { return State().triangleCount; }
bool Active() { return State().active; }
int64_t& DrawTime() { return State().drawTime; }

} // namespace ScreenDraw
