#include "Rasterizer.h"

#include <algorithm>
#include <cmath>

namespace d3drm {

namespace {

constexpr int kAttributes = 6;  // 1/w, u/w, v/w, r/w, g/w, b/w
constexpr int kMaxClipVertices = 3 + 6;

// 4 x 4 ordered-dither thresholds, (n + 0.5) / 16 for the Bayer order n: the
// value added before truncating a colour to 8 bits. Without dither 0.5 is
// added, which rounds to the nearest value.
constexpr float kBayer[4][4] = {
    {0.5f / 16, 8.5f / 16, 2.5f / 16, 10.5f / 16},
    {12.5f / 16, 4.5f / 16, 14.5f / 16, 6.5f / 16},
    {3.5f / 16, 11.5f / 16, 1.5f / 16, 9.5f / 16},
    {15.5f / 16, 7.5f / 16, 13.5f / 16, 5.5f / 16},
};

// Texture coordinates reach the span loop limited to +-kMaxTextureCoordinate
// (see Rasterizer.h), so u * width stays far inside int range and the
// conversion below cannot overflow.
inline int FastFloor(float f)
{
    int i = static_cast<int>(f);
    return i - (f < static_cast<float>(i));
}

// Texture addressing wraps: the texture repeats in both directions.
inline int Wrap(int i, int n)
{
    if (static_cast<unsigned>(i) < static_cast<unsigned>(n))
        return i;
    i %= n;
    return i < 0 ? i + n : i;
}

inline uint32_t Pack(float r, float g, float b, float offset)
{
    auto channel = [offset](float c) { return static_cast<uint32_t>(std::min(c + offset, 255.0f)); };
    return (channel(r) << 16) | (channel(g) << 8) | channel(b);
}

ClipVertex Lerp(const ClipVertex& a, const ClipVertex& b, float t)
{
    auto mix = [t](float p, float q) { return p + (q - p) * t; };
    return {mix(a.x, b.x), mix(a.y, b.y), mix(a.w, b.w), mix(a.u, b.u),
            mix(a.v, b.v), mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b)};
}

}  // namespace

void Rasterizer::Begin(const RenderTarget& target, const PixelRect& viewport, float front, float back)
{
    target_ = target;
    clip_ = viewport.Intersect({0, 0, target.width, target.height});
    front_ = front;
    back_ = back;
    centreX_ = (static_cast<float>(viewport.left) + static_cast<float>(viewport.right)) * 0.5f;
    centreY_ = (static_cast<float>(viewport.top) + static_cast<float>(viewport.bottom)) * 0.5f;
    halfW_ = static_cast<float>(viewport.right - viewport.left) * 0.5f;
    halfH_ = static_cast<float>(viewport.bottom - viewport.top) * 0.5f;
    size_t needed = static_cast<size_t>(std::max(target.width, 0)) * static_cast<size_t>(std::max(target.height, 0));
    if (depthPitch_ != target.width || depth_.size() < needed) {
        // A new shape: nothing drawn yet at any place.
        depth_.assign(needed, 0.0f);
        depthPitch_ = target.width;
        depthDirty_ = {};
    }
    drawn_ = {};
}

void Rasterizer::End()
{
    depthDirty_.Unite(drawn_);
    target_ = {};
    texture_ = {};
}

void Rasterizer::Clear(uint32_t colour)
{
    if (!target_.pixels || clip_.Empty())
        return;
    for (int y = clip_.top; y < clip_.bottom; ++y)
        std::fill(target_.Scanline(y) + clip_.left, target_.Scanline(y) + clip_.right, colour & 0x00FFFFFFu);
    const PixelRect depthRect = depthDirty_.Intersect(clip_);
    for (int y = depthRect.top; y < depthRect.bottom; ++y) {
        float* depth = depth_.data() + static_cast<size_t>(y) * depthPitch_;
        std::fill(depth + depthRect.left, depth + depthRect.right, 0.0f);
    }
    // What lay outside the viewport stays dirty; inside it is clear now.
    if (depthRect.left == depthDirty_.left && depthRect.top == depthDirty_.top &&
        depthRect.right == depthDirty_.right && depthRect.bottom == depthDirty_.bottom)
        depthDirty_ = {};
}

Rasterizer::ScreenVertex Rasterizer::Project(const ClipVertex& v) const
{
    float invW = 1.0f / v.w;
    ScreenVertex s;
    s.x = centreX_ + v.x * invW * halfW_;
    s.y = centreY_ - v.y * invW * halfH_;
    s.a[0] = invW;
    s.a[1] = v.u * invW;
    s.a[2] = v.v * invW;
    s.a[3] = v.r * invW;
    s.a[4] = v.g * invW;
    s.a[5] = v.b * invW;
    return s;
}

void Rasterizer::DrawTriangle(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c, uint32_t codeA,
                              uint32_t codeB, uint32_t codeC)
{
    if (!target_.pixels || clip_.Empty() || (codeA & codeB & codeC) != 0)
        return;
    if (cull_ && !IsFrontFacing(a, b, c))
        return;
    uint32_t planes = codeA | codeB | codeC;
    if (planes == 0)
        FillTriangle(Project(a), Project(b), Project(c));
    else
        ClipAndDraw(a, b, c, planes);
}

void Rasterizer::ClipAndDraw(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c, uint32_t planes)
{
    ClipVertex bufferA[kMaxClipVertices], bufferB[kMaxClipVertices];
    ClipVertex* in = bufferA;
    ClipVertex* out = bufferB;
    in[0] = a;
    in[1] = b;
    in[2] = c;
    int count = 3;

    const float front = front_, back = back_;
    // Signed distance to each plane: >= 0 inside.
    auto distance = [front, back](uint32_t plane, const ClipVertex& v) {
        switch (plane) {
        case kOutFront: return v.w - front;
        case kOutBack: return back - v.w;
        case kOutLeft: return v.x + v.w;
        case kOutRight: return v.w - v.x;
        case kOutBottom: return v.y + v.w;
        default: return v.w - v.y;  // kOutTop
        }
    };

    for (uint32_t plane = kOutFront; plane <= kOutTop; plane <<= 1) {
        if (!(planes & plane))
            continue;
        int produced = 0;
        for (int i = 0; i < count; ++i) {
            const ClipVertex& p = in[i];
            const ClipVertex& q = in[(i + 1) % count];
            float dp = distance(plane, p), dq = distance(plane, q);
            if (dp >= 0)
                out[produced++] = p;
            if ((dp >= 0) != (dq >= 0))
                out[produced++] = Lerp(p, q, dp / (dp - dq));
        }
        count = produced;
        if (count < 3)
            return;
        std::swap(in, out);
    }

    ScreenVertex screen[kMaxClipVertices];
    for (int i = 0; i < count; ++i)
        screen[i] = Project(in[i]);
    for (int i = 1; i + 1 < count; ++i)
        FillTriangle(screen[0], screen[i], screen[i + 1]);
}

void Rasterizer::FillTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c)
{
    float e1x = b.x - a.x, e1y = b.y - a.y;
    float e2x = c.x - a.x, e2y = c.y - a.y;
    float area2 = e1x * e2y - e2x * e1y;
    // Degenerate, or not finite (a NaN or infinite coordinate): nothing to
    // fill, and nothing that could reach an int conversion below.
    if (!(std::fabs(area2) >= 1.0e-6f) || !std::isfinite(area2))
        return;
    float inv = 1.0f / area2;
    float dadx[kAttributes], dady[kAttributes];
    for (int i = 0; i < kAttributes; ++i) {
        float d1 = b.a[i] - a.a[i], d2 = c.a[i] - a.a[i];
        dadx[i] = (d1 * e2y - d2 * e1y) * inv;
        dady[i] = (d2 * e1x - d1 * e2x) * inv;
    }

    const ScreenVertex* v[3] = {&a, &b, &c};
    if (v[1]->y < v[0]->y)
        std::swap(v[0], v[1]);
    if (v[2]->y < v[1]->y)
        std::swap(v[1], v[2]);
    if (v[1]->y < v[0]->y)
        std::swap(v[0], v[1]);

    ++trianglesDrawn_;
    if (!texture_.pixels)
        FillRowsFor<false, TextureFilter::Nearest>(*v[0], *v[1], *v[2], dadx, dady, a);
    else if (filter_ == TextureFilter::Linear)
        FillRowsFor<true, TextureFilter::Linear>(*v[0], *v[1], *v[2], dadx, dady, a);
    else
        FillRowsFor<true, TextureFilter::Nearest>(*v[0], *v[1], *v[2], dadx, dady, a);
}

template <bool Textured, TextureFilter Filter>
void Rasterizer::FillRowsFor(const ScreenVertex& top, const ScreenVertex& mid, const ScreenVertex& bottom,
                             const float* dadx, const float* dady, const ScreenVertex& origin)
{
    if (opacity_ < 1.0f) {
        if (dither_)
            FillRows<Textured, Filter, true, true>(top, mid, bottom, dadx, dady, origin);
        else
            FillRows<Textured, Filter, false, true>(top, mid, bottom, dadx, dady, origin);
    } else {
        if (dither_)
            FillRows<Textured, Filter, true, false>(top, mid, bottom, dadx, dady, origin);
        else
            FillRows<Textured, Filter, false, false>(top, mid, bottom, dadx, dady, origin);
    }
}

template <bool Textured, TextureFilter Filter, bool Dither, bool Blend>
void Rasterizer::FillRows(const ScreenVertex& top, const ScreenVertex& mid, const ScreenVertex& bottom,
                          const float* dadx, const float* dady, const ScreenVertex& origin)
{
    // Rows whose centre lies in [top.y, bottom.y).
    int yFirst = std::max(clip_.top, static_cast<int>(std::ceil(top.y - 0.5f)));
    int yLast = std::min(clip_.bottom, static_cast<int>(std::ceil(bottom.y - 0.5f)));
    if (yFirst >= yLast)
        return;

    const float longSlope = (bottom.x - top.x) / (bottom.y - top.y);
    const float upperSlope = mid.y > top.y ? (mid.x - top.x) / (mid.y - top.y) : 0.0f;
    const float lowerSlope = bottom.y > mid.y ? (bottom.x - mid.x) / (bottom.y - mid.y) : 0.0f;
    // The middle vertex lies left of the long edge when the long edge passes
    // right of it at the middle vertex's height.
    const bool midOnLeft = mid.x < top.x + (mid.y - top.y) * longSlope;

    const uint32_t* texels = texture_.pixels;
    const int tw = texture_.width, th = texture_.height;
    const float ftw = static_cast<float>(tw), fth = static_cast<float>(th);

    const float opacity = opacity_, keep = 1.0f - opacity_;
    const float diw = dadx[0], duw = dadx[1], dvw = dadx[2], drw = dadx[3], dgw = dadx[4], dbw = dadx[5];
    int drawnLeft = clip_.right, drawnRight = clip_.left;

    for (int y = yFirst; y < yLast; ++y) {
        const float yc = static_cast<float>(y) + 0.5f;
        const float xLong = top.x + (yc - top.y) * longSlope;
        const float xShort = yc < mid.y ? top.x + (yc - top.y) * upperSlope : mid.x + (yc - mid.y) * lowerSlope;
        const float xl = midOnLeft ? xShort : xLong;
        const float xr = midOnLeft ? xLong : xShort;
        int xs = std::max(clip_.left, static_cast<int>(std::ceil(xl - 0.5f)));
        int xe = std::min(clip_.right, static_cast<int>(std::ceil(xr - 0.5f)));
        if (xs >= xe)
            continue;
        drawnLeft = std::min(drawnLeft, xs);
        drawnRight = std::max(drawnRight, xe);

        // Attributes at the centre of the span's first pixel.
        const float ox = static_cast<float>(xs) + 0.5f - origin.x, oy = yc - origin.y;
        float iw = origin.a[0] + dadx[0] * ox + dady[0] * oy;
        float uw = origin.a[1] + dadx[1] * ox + dady[1] * oy;
        float vw = origin.a[2] + dadx[2] * ox + dady[2] * oy;
        float rw = origin.a[3] + dadx[3] * ox + dady[3] * oy;
        float gw = origin.a[4] + dadx[4] * ox + dady[4] * oy;
        float bw = origin.a[5] + dadx[5] * ox + dady[5] * oy;

        uint32_t* colourRow = target_.Scanline(y);
        float* depthRow = depth_.data() + static_cast<size_t>(y) * depthPitch_;
        const float* ditherRow = kBayer[y & 3];

        for (int x = xs; x < xe; ++x) {
            if (iw > depthRow[x]) {
                // A see-through face is depth-tested but leaves the depth
                // as it was, so what lies behind it can still be drawn.
                if constexpr (!Blend)
                    depthRow[x] = iw;
                const float w = 1.0f / iw;
                float r = rw * w, g = gw * w, b = bw * w;
                if constexpr (Textured) {
                    const float u = uw * w, v = vw * w;
                    if constexpr (Filter == TextureFilter::Nearest) {
                        const int tx = Wrap(FastFloor(u * ftw), tw);
                        const int ty = Wrap(FastFloor(v * fth), th);
                        const uint32_t t = texels[static_cast<size_t>(ty) * tw + tx];
                        r *= static_cast<float>((t >> 16) & 0xFF);
                        g *= static_cast<float>((t >> 8) & 0xFF);
                        b *= static_cast<float>(t & 0xFF);
                    } else {
                        const float fu = u * ftw - 0.5f, fv = v * fth - 0.5f;
                        const int x0 = FastFloor(fu), y0 = FastFloor(fv);
                        const float ax = fu - static_cast<float>(x0), ay = fv - static_cast<float>(y0);
                        const int tx0 = Wrap(x0, tw), tx1 = Wrap(x0 + 1, tw);
                        const uint32_t* row0 = texels + static_cast<size_t>(Wrap(y0, th)) * tw;
                        const uint32_t* row1 = texels + static_cast<size_t>(Wrap(y0 + 1, th)) * tw;
                        const uint32_t t00 = row0[tx0], t01 = row0[tx1], t10 = row1[tx0], t11 = row1[tx1];
                        auto blend = [ax, ay](uint32_t p00, uint32_t p01, uint32_t p10, uint32_t p11, int shift) {
                            float c00 = static_cast<float>((p00 >> shift) & 0xFF);
                            float c01 = static_cast<float>((p01 >> shift) & 0xFF);
                            float c10 = static_cast<float>((p10 >> shift) & 0xFF);
                            float c11 = static_cast<float>((p11 >> shift) & 0xFF);
                            float upper = c00 + (c01 - c00) * ax;
                            float lower = c10 + (c11 - c10) * ax;
                            return upper + (lower - upper) * ay;
                        };
                        r *= blend(t00, t01, t10, t11, 16);
                        g *= blend(t00, t01, t10, t11, 8);
                        b *= blend(t00, t01, t10, t11, 0);
                    }
                }
                if constexpr (Blend) {
                    const uint32_t behind = colourRow[x];
                    r = std::min(r, 255.0f) * opacity + static_cast<float>((behind >> 16) & 0xFF) * keep;
                    g = std::min(g, 255.0f) * opacity + static_cast<float>((behind >> 8) & 0xFF) * keep;
                    b = std::min(b, 255.0f) * opacity + static_cast<float>(behind & 0xFF) * keep;
                }
                colourRow[x] = Pack(r, g, b, Dither ? ditherRow[x & 3] : 0.5f);
            }
            iw += diw;
            if constexpr (Textured) {
                uw += duw;
                vw += dvw;
            }
            rw += drw;
            gw += dgw;
            bw += dbw;
        }
    }
    if (drawnLeft < drawnRight)
        drawn_.Unite({drawnLeft, yFirst, drawnRight, yLast});
}

void Rasterizer::DrawTriangleEdges(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c, bool pointsOnly)
{
    if (!target_.pixels || clip_.Empty())
        return;
    uint32_t codes[3] = {Outcode(a), Outcode(b), Outcode(c)};
    if (pointsOnly) {
        const ClipVertex* corners[3] = {&a, &b, &c};
        for (int i = 0; i < 3; ++i) {
            if (codes[i] != 0)
                continue;
            ScreenVertex s = Project(*corners[i]);
            PlotPoint(static_cast<int>(std::floor(s.x)), static_cast<int>(std::floor(s.y)), s.a[0],
                      corners[i]->r, corners[i]->g, corners[i]->b);
        }
        return;
    }
    // Each edge is clipped on its own, as a two-point polygon.
    const ClipVertex* ends[3][2] = {{&a, &b}, {&b, &c}, {&c, &a}};
    const uint32_t endCodes[3][2] = {{codes[0], codes[1]}, {codes[1], codes[2]}, {codes[2], codes[0]}};
    for (int e = 0; e < 3; ++e) {
        ClipVertex p = *ends[e][0], q = *ends[e][1];
        if (endCodes[e][0] & endCodes[e][1])
            continue;
        uint32_t planes = endCodes[e][0] | endCodes[e][1];
        bool visible = true;
        for (uint32_t plane = kOutFront; plane <= kOutTop && visible; plane <<= 1) {
            if (!(planes & plane))
                continue;
            auto distance = [this, plane](const ClipVertex& v) {
                switch (plane) {
                case kOutFront: return v.w - front_;
                case kOutBack: return back_ - v.w;
                case kOutLeft: return v.x + v.w;
                case kOutRight: return v.w - v.x;
                case kOutBottom: return v.y + v.w;
                default: return v.w - v.y;
                }
            };
            float dp = distance(p), dq = distance(q);
            if (dp < 0 && dq < 0)
                visible = false;
            else if (dp < 0)
                p = Lerp(p, q, dp / (dp - dq));
            else if (dq < 0)
                q = Lerp(p, q, dp / (dp - dq));
        }
        if (visible)
            DrawLine(Project(p), Project(q));
    }
}

void Rasterizer::DrawLine(const ScreenVertex& a, const ScreenVertex& b)
{
    float dx = b.x - a.x, dy = b.y - a.y;
    int steps = static_cast<int>(std::ceil(std::max(std::fabs(dx), std::fabs(dy))));
    steps = std::clamp(steps, 1, 1 << 16);
    for (int i = 0; i <= steps; ++i) {
        float t = static_cast<float>(i) / static_cast<float>(steps);
        float iw = a.a[0] + (b.a[0] - a.a[0]) * t;
        float w = 1.0f / iw;
        PlotPoint(static_cast<int>(std::floor(a.x + dx * t)), static_cast<int>(std::floor(a.y + dy * t)), iw,
                  (a.a[3] + (b.a[3] - a.a[3]) * t) * w, (a.a[4] + (b.a[4] - a.a[4]) * t) * w,
                  (a.a[5] + (b.a[5] - a.a[5]) * t) * w);
    }
}

void Rasterizer::PlotPoint(int x, int y, float invW, float r, float g, float b)
{
    if (x < clip_.left || x >= clip_.right || y < clip_.top || y >= clip_.bottom)
        return;
    float& depth = depth_[static_cast<size_t>(y) * depthPitch_ + x];
    if (invW <= depth)
        return;
    depth = invW;
    target_.Scanline(y)[x] = Pack(r, g, b, dither_ ? kBayer[y & 3][x & 3] : 0.5f);
    drawn_.Unite({x, y, x + 1, y + 1});
}

}  // namespace d3drm
