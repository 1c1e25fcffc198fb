// The software rasteriser behind every 3D device of this layer.
//
// Pipeline of one triangle:
//   clip space  -> trivial reject by outcodes, back-face cull (clockwise on
//                  screen is the front), Sutherland-Hodgman clipping against
//                  the planes a vertex lies outside of (front, back, the four
//                  viewport sides)
//   screen space -> scan-lines over rows: each row's span comes from the two
//                  active edges (pixel centres at +0.5, top-left fill rule),
//                  attributes are plane equations stepped along the span
//   pixel        -> depth test on 1/w (larger is nearer; the buffer is cleared
//                  to 0), perspective-correct texture coordinates and colour,
//                  nearest or bilinear texel, modulated by the Gouraud colour,
//                  clamped to 255, optionally with a 4 x 4 ordered dither on
//                  the rounding to 8 bits
//
// The span loop is a template instantiated per (textured, filter, dither,
// blend), chosen once per triangle. Where the processor has SSE2 a pixel's
// attributes and colour channels are worked on side by side in the lanes of
// vector registers, and the spans of four rows are found at once, with the
// same operations per value as the plain loop, so both draw the same pixels.
// Nothing is allocated per triangle or pixel;
// the depth buffer lives as long as the rasteriser and is grown only when
// the target grows.
#pragma once

#include "RenderTarget.h"

#include <cstdint>
#include <vector>

namespace d3drm {

// Texture coordinates of vertices must lie within +-kMaxTextureCoordinate;
// pixels interpolate between vertices, so theirs do too, and u * 4096 stays
// far inside int range.
constexpr float kMaxTextureCoordinate = 1.0e5f;

// A vertex in clip space with its attributes. x and y are scaled so that the
// viewport spans -w..w; w is the distance along the camera's view axis.
// r, g, b are colour multipliers: 1.0 is full intensity (untextured) or the
// texel unchanged (textured); above 1.0 brightens and is clamped per pixel.
struct ClipVertex {
    float x, y, w;
    float u, v;
    float r, g, b;
};

// Outcode bits: which clip planes a vertex lies outside of.
enum : uint32_t {
    kOutFront = 1,
    kOutBack = 2,
    kOutLeft = 4,
    kOutRight = 8,
    kOutBottom = 16,
    kOutTop = 32,
};

struct RasterTexture {
    const uint32_t* pixels = nullptr;  // 0x00RRGGBB, rows `width` apart
    int width = 0;
    int height = 0;
};

enum class TextureFilter { Nearest, Linear };

// A rectangle of the target, right and bottom excluded.
struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
    void Unite(const PixelRect& o)
    {
        if (o.Empty())
            return;
        if (Empty()) {
            *this = o;
            return;
        }
        left = left < o.left ? left : o.left;
        top = top < o.top ? top : o.top;
        right = right > o.right ? right : o.right;
        bottom = bottom > o.bottom ? bottom : o.bottom;
    }
    PixelRect Intersect(const PixelRect& o) const
    {
        PixelRect r{left > o.left ? left : o.left, top > o.top ? top : o.top, right < o.right ? right : o.right,
                    bottom < o.bottom ? bottom : o.bottom};
        if (r.Empty())
            return {};
        return r;
    }
};

class Rasterizer {
public:
    // Starts drawing into `target`, limited to `viewport` (clipped to the
    // target), with the given front and back clipping distances. Grows the
    // depth buffer to the target's size when needed.
    void Begin(const RenderTarget& target, const PixelRect& viewport, float front, float back);
    void End();

    // Fills the viewport's pixels with `colour` (0x00RRGGBB) and resets its
    // depth to "nothing drawn" (only where something was drawn since).
    void Clear(uint32_t colour);

    void SetTexture(const RasterTexture* texture, TextureFilter filter)
    {
        texture_ = texture && texture->pixels && texture->width > 0 && texture->height > 0 ? *texture : RasterTexture{};
        filter_ = filter;
    }
    void SetDither(bool dither) { dither_ = dither; }
    // Below 1, faces are blended over what is behind them with this weight
    // (and do not write depth).
    void SetOpacity(float opacity) { opacity_ = opacity >= 1.0f || !(opacity >= 0.0f) ? 1.0f : opacity; }
    void SetCulling(bool cull) { cull_ = cull; }
    // Off: spans are filled by the plain one-value-at-a-time loop, which the
    // vector loop must match (on by default; without SSE2 there is only the
    // plain loop).
    void SetVectorSpans(bool on) { vectorSpans_ = on; }

    uint32_t Outcode(const ClipVertex& v) const
    {
        uint32_t code = 0;
        if (v.w < front_)
            code |= kOutFront;
        if (v.w > back_)
            code |= kOutBack;
        if (v.x < -v.w)
            code |= kOutLeft;
        if (v.x > v.w)
            code |= kOutRight;
        if (v.y < -v.w)
            code |= kOutBottom;
        if (v.y > v.w)
            code |= kOutTop;
        return code;
    }

    // True when the camera sees a, b, c clockwise (the front side). The
    // determinant of the rows (x, y, w) is the triple product a . (b x c);
    // it is negative exactly then.
    static bool IsFrontFacing(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c)
    {
        float det = a.x * (b.y * c.w - b.w * c.y) - a.y * (b.x * c.w - b.w * c.x) + a.w * (b.x * c.y - b.y * c.x);
        return det < 0;
    }

    // Draws a filled triangle; outcodes are those of Outcode() for a, b, c.
    void DrawTriangle(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c, uint32_t codeA, uint32_t codeB,
                      uint32_t codeC);
    // Draws the triangle's clipped outline (wireframe fill) or its corners
    // (point fill), depth-tested, in the vertices' colours.
    void DrawTriangleEdges(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c, bool pointsOnly);

    // Bounding box of the pixels written since Begin (for the device's
    // update rectangles).
    const PixelRect& DrawnRect() const { return drawn_; }
    uint64_t TrianglesDrawn() const { return trianglesDrawn_; }

private:
    struct ScreenVertex {
        float x, y;  // pixels
        float a[6];  // 1/w, u/w, v/w, r/w, g/w, b/w
    };

    ScreenVertex Project(const ClipVertex& v) const;
    void ClipAndDraw(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c, uint32_t planes);
    void FillTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c);
    template <bool Textured, TextureFilter Filter>
    void FillRowsFor(const ScreenVertex& top, const ScreenVertex& mid, const ScreenVertex& bottom, const float* dadx,
                     const float* dady, const ScreenVertex& origin);
    template <bool Textured, TextureFilter Filter, bool Dither, bool Blend>
    void FillRows(const ScreenVertex& top, const ScreenVertex& mid, const ScreenVertex& bottom, const float* dadx,
                  const float* dady, const ScreenVertex& origin);
    void DrawLine(const ScreenVertex& a, const ScreenVertex& b);
    void PlotPoint(int x, int y, float invW, float r, float g, float b);

    RenderTarget target_;
    PixelRect clip_;  // viewport within the target
    float front_ = 1.0f;
    float back_ = 100.0f;
    float centreX_ = 0, centreY_ = 0, halfW_ = 0, halfH_ = 0;
    std::vector<float> depth_;  // 1/w per target pixel, 0 = empty
    int depthPitch_ = 0;
    RasterTexture texture_;
    TextureFilter filter_ = TextureFilter::Nearest;
    bool dither_ = false;
    float opacity_ = 1.0f;
    bool cull_ = true;
    bool vectorSpans_ = true;
    PixelRect drawn_;
    // Where the depth buffer may hold something other than "empty": Clear
    // resets only this part, since the rest is still clear.
    PixelRect depthDirty_;
    uint64_t trianglesDrawn_ = 0;
};

}  // namespace d3drm
