#include "Rasterizer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// static_cast<int>(std::ceil(f)) for f within int range, as clipped screen
// coordinates are; without SSE4.1 std::ceil is a long instruction sequence,
// and every row needs two.
inline int CeilToInt(float f)
{
    int i = static_cast<int>(f);
    return i + (f > static_cast<float>(i));
}

// Texture addressing wraps: the texture repeats in both directions.
inline int Wrap(int i, int n)
{
    if (static_cast<unsigned>(i) < static_cast<unsigned>(n))
        return i;
    i %= n;
    return i < 0 ? i + n : i;
}

// A negative colour (from a negative light) packs as 0.
inline uint32_t Pack(float r, float g, float b, float offset)
{
    auto channel = [offset](float c) { return static_cast<uint32_t>(std::max(std::min(c + offset, 255.0f), 0.0f)); };
    return (channel(r) << 16) | (channel(g) << 8) | channel(b);
}

ClipVertex Lerp(const ClipVertex& a, const ClipVertex& b, float t)
{
    auto mix = [t](float p, float q) { return p + (q - p) * t; };
    return {mix(a.x, b.x), mix(a.y, b.y), mix(a.w, b.w), mix(a.u, b.u),
            mix(a.v, b.v), mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b)};
}

#if defined(__SSE2__)

inline __m128 Select(__m128 mask, __m128 yes, __m128 no)
{
    return _mm_or_ps(_mm_and_ps(mask, yes), _mm_andnot_ps(mask, no));
}

inline __m128i Select(__m128i mask, __m128i yes, __m128i no)
{
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// CeilToInt per lane.
inline __m128i CeilToInt(__m128 f)
{
    const __m128i i = _mm_cvttps_epi32(f);
    return _mm_sub_epi32(i, _mm_castps_si128(_mm_cmpgt_ps(f, _mm_cvtepi32_ps(i))));
}

#endif

// The rows of a triangle, and the run of pixels of each row whose centres
// lie inside it, within a clipping rectangle. Pixel centres are at +0.5; a
// centre exactly on a top or left edge is inside, on a bottom or right edge
// outside. Keeps the bounding box of the runs.
class SpanRows {
public:
    SpanRows(float topX, float topY, float midX, float midY, float bottomX, float bottomY, const PixelRect& clip)
        : first(std::max(clip.top, CeilToInt(topY - 0.5f))),
          last(std::min(clip.bottom, CeilToInt(bottomY - 0.5f))),
          topX_(topX),
          topY_(topY),
          midX_(midX),
          midY_(midY),
          longSlope_((bottomX - topX) / (bottomY - topY)),
          upperSlope_(midY > topY ? (midX - topX) / (midY - topY) : 0.0f),
          lowerSlope_(bottomY > midY ? (bottomX - midX) / (bottomY - midY) : 0.0f),
          // The middle vertex lies left of the long edge when the long edge
          // passes right of it at the middle vertex's height.
          midOnLeft_(midX < topX + (midY - topY) * longSlope_),
          clipLeft_(clip.left),
          clipRight_(clip.right),
          drawnLeft_(clip.right),
          drawnRight_(clip.left)
    {
    }

    // Pixels xs..xe-1 of row y; false when there are none.
    bool Span(int y, int& xs, int& xe)
    {
        const float yc = static_cast<float>(y) + 0.5f;
        const float xLong = topX_ + (yc - topY_) * longSlope_;
        const float xShort = yc < midY_ ? topX_ + (yc - topY_) * upperSlope_ : midX_ + (yc - midY_) * lowerSlope_;
        const float xl = midOnLeft_ ? xShort : xLong;
        const float xr = midOnLeft_ ? xLong : xShort;
        xs = std::max(clipLeft_, CeilToInt(xl - 0.5f));
        xe = std::min(clipRight_, CeilToInt(xr - 0.5f));
        if (xs >= xe)
            return false;
        drawnLeft_ = std::min(drawnLeft_, xs);
        drawnRight_ = std::max(drawnRight_, xe);
        return true;
    }

    PixelRect Drawn() const
    {
        return drawnLeft_ < drawnRight_ ? PixelRect{drawnLeft_, first, drawnRight_, last} : PixelRect{};
    }

#if defined(__SSE2__)
    // Four rows' spans, and the centre of each span's first pixel relative to
    // an origin, as Span and its caller compute them, one row per lane.
    struct Four {
        alignas(16) int32_t xs[4], xe[4];
        alignas(16) float ox[4], oy[4];
    };

    // Rows y..y+3 (those past `last` are computed too, but mean nothing).
    // The caller adds each span it draws to the box with Include.
    void Spans(int y, float originX, float originY, Four& four) const
    {
        const __m128 half = _mm_set1_ps(0.5f);
        const __m128 yc =
            _mm_add_ps(_mm_cvtepi32_ps(_mm_add_epi32(_mm_set1_epi32(y), _mm_setr_epi32(0, 1, 2, 3))), half);
        const __m128 topX = _mm_set1_ps(topX_), topY = _mm_set1_ps(topY_);
        const __m128 xLong = _mm_add_ps(topX, _mm_mul_ps(_mm_sub_ps(yc, topY), _mm_set1_ps(longSlope_)));
        const __m128 upper = _mm_add_ps(topX, _mm_mul_ps(_mm_sub_ps(yc, topY), _mm_set1_ps(upperSlope_)));
        const __m128 lower = _mm_add_ps(_mm_set1_ps(midX_),
                                        _mm_mul_ps(_mm_sub_ps(yc, _mm_set1_ps(midY_)), _mm_set1_ps(lowerSlope_)));
        const __m128 xShort = Select(_mm_cmplt_ps(yc, _mm_set1_ps(midY_)), upper, lower);
        const __m128 xl = midOnLeft_ ? xShort : xLong;
        const __m128 xr = midOnLeft_ ? xLong : xShort;
        const __m128i left = _mm_set1_epi32(clipLeft_), right = _mm_set1_epi32(clipRight_);
        __m128i xs = CeilToInt(_mm_sub_ps(xl, half)), xe = CeilToInt(_mm_sub_ps(xr, half));
        xs = Select(_mm_cmpgt_epi32(left, xs), left, xs);
        xe = Select(_mm_cmpgt_epi32(xe, right), right, xe);
        _mm_store_si128(reinterpret_cast<__m128i*>(four.xs), xs);
        _mm_store_si128(reinterpret_cast<__m128i*>(four.xe), xe);
        _mm_store_ps(four.ox, _mm_sub_ps(_mm_add_ps(_mm_cvtepi32_ps(xs), half), _mm_set1_ps(originX)));
        _mm_store_ps(four.oy, _mm_sub_ps(yc, _mm_set1_ps(originY)));
    }

    void Include(int xs, int xe)
    {
        drawnLeft_ = std::min(drawnLeft_, xs);
        drawnRight_ = std::max(drawnRight_, xe);
    }
#endif

    const int first, last;  // rows first..last-1

private:
    const float topX_, topY_, midX_, midY_;
    const float longSlope_, upperSlope_, lowerSlope_;
    const bool midOnLeft_;
    const int clipLeft_, clipRight_;
    int drawnLeft_, drawnRight_;
};

#if defined(__SSE2__)

// kBayer with each entry in all four lanes.
struct BayerSplat {
    alignas(16) float offsets[4][4][4];  // [y & 3][x & 3][lane]
};

constexpr BayerSplat MakeBayerSplat()
{
    BayerSplat splat{};
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            for (int lane = 0; lane < 4; ++lane)
                splat.offsets[row][column][lane] = kBayer[row][column];
    return splat;
}

constexpr BayerSplat kBayerSplat = MakeBayerSplat();

// Textures up to this many texels a side have their texel offsets formed by
// a 16-bit multiply-add; larger ones are drawn by the plain loop.
constexpr int kMaxLaneTextureSide = 32767;

// Lane `lane` (0..2) of v in all four lanes.
inline __m128 Splat(__m128 v, int lane)
{
    const __m128i i = _mm_castps_si128(v);
    switch (lane) {
    case 0: return _mm_castsi128_ps(_mm_shuffle_epi32(i, _MM_SHUFFLE(0, 0, 0, 0)));
    case 1: return _mm_castsi128_ps(_mm_shuffle_epi32(i, _MM_SHUFFLE(1, 1, 1, 1)));
    default: return _mm_castsi128_ps(_mm_shuffle_epi32(i, _MM_SHUFFLE(2, 2, 2, 2)));
    }
}

// A 0x00RRGGBB pixel as floats (b, g, r, top byte).
inline __m128 Unpack(uint32_t pixel)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i bytes = _mm_cvtsi32_si128(static_cast<int>(pixel));
    return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero));
}

// Pack on lanes (b, g, r, 0): min(c + offset, 255) truncated per lane, and
// negative values as 0. The operands of min are in the order that gives
// std::min's result.
inline uint32_t PackLanes(__m128 colour, __m128 offset)
{
    const __m128i channels = _mm_cvttps_epi32(_mm_min_ps(_mm_set1_ps(255.0f), _mm_add_ps(colour, offset)));
    const __m128i words = _mm_packs_epi32(channels, channels);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
}

// FastFloor per lane.
inline __m128i FloorToInt(__m128 f)
{
    const __m128i i = _mm_cvttps_epi32(f);
    return _mm_add_epi32(i, _mm_castps_si128(_mm_cmplt_ps(f, _mm_cvtepi32_ps(i))));
}

// Lane 1 of v.
inline int Lane1(__m128i v) { return _mm_cvtsi128_si32(_mm_shuffle_epi32(v, _MM_SHUFFLE(1, 1, 1, 1))); }

// The span loop of FillRows with a pixel's values side by side in vector
// lanes: the colour attributes as (b/w, g/w, r/w, 0), matching the byte order
// of a pixel, and (u/w, v/w, 1/w, unused). Each lane goes through the same
// operations in the same order as its value in the plain loop (stepped one
// pixel at a time, times 1 / (1/w) from one division, no fused
// multiply-adds), so both loops write the same pixels and depths.
class LaneSpans {
public:
    // origin, dadx, dady: the six attributes 1/w, u/w, v/w, r/w, g/w, b/w.
    LaneSpans(const float* origin, const float* dadx, const float* dady, const RasterTexture& texture,
              float opacity)
        : colourOrigin_(ColourLanes(origin)),
          colourDx_(ColourLanes(dadx)),
          colourDy_(ColourLanes(dady)),
          coordOrigin_(CoordLanes(origin)),
          coordDx_(CoordLanes(dadx)),
          coordDy_(CoordLanes(dady)),
          texScale_(_mm_setr_ps(static_cast<float>(texture.width), static_cast<float>(texture.height), 0.0f, 0.0f)),
          opacity_(_mm_set1_ps(opacity)),
          keep_(_mm_set1_ps(1.0f - opacity)),
          wrapMask_(_mm_setr_epi32(WrapMask(texture.width), WrapMask(texture.height), 0, 0)),
          texSize_(_mm_setr_epi32(texture.width, texture.height, 1, 1)),
          rowStep_(_mm_setr_epi32(1 | (texture.width << 16), 0, 0, 0)),
          texels_(texture.pixels),
          tw_(texture.width),
          th_(texture.height),
          powerOfTwo_(WrapMask(texture.width) >= 0 && WrapMask(texture.height) >= 0)
    {
    }

    static bool Handles(const RasterTexture& texture)
    {
        return texture.width <= kMaxLaneTextureSide && texture.height <= kMaxLaneTextureSide;
    }

    // True when both texture sides are powers of two: Fill's MaskWrap.
    bool MaskWraps() const { return powerOfTwo_; }

    // Pixels xs..xe-1 of row y; ox, oy place the centre of pixel xs relative
    // to the attributes' origin. MaskWrap: nearest texels wrap by a mask
    // alone (the texture's sides are powers of two).
    template <bool Textured, TextureFilter Filter, bool Dither, bool Blend, bool MaskWrap>
    void Fill(float ox, float oy, int xs, int xe, int y, uint32_t* colourRow, float* depthRow) const
    {
        // Local copies, which the pixel stores cannot alias, so that they
        // need not be read again for every pixel.
        const __m128 colourDx = colourDx_, coordDx = coordDx_, texScale = texScale_;
        const __m128 opacity = opacity_, keep = keep_;
        const __m128i wrapMask = wrapMask_, texSize = texSize_, rowStep = rowStep_;
        const uint32_t* const texels = texels_;
        const int tw = tw_, th = th_;
        // Offset of texel (tx, ty), given in lanes 0 and 1, after wrapping.
        auto texelIndex = [=](__m128i t) {
            t = _mm_and_si128(t, wrapMask);
            if constexpr (!MaskWrap) {
                const __m128i inside =
                    _mm_and_si128(_mm_cmpgt_epi32(t, _mm_set1_epi32(-1)), _mm_cmpgt_epi32(texSize, t));
                if ((_mm_movemask_ps(_mm_castsi128_ps(inside)) & 3) != 3)
                    return static_cast<uint32_t>(Wrap(Lane1(t), th) * tw + Wrap(_mm_cvtsi128_si32(t), tw));
            }
            // Both below 2^15: tx * 1 + ty * width in one 16-bit multiply-add.
            return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_madd_epi16(_mm_packs_epi32(t, t), rowStep)));
        };
        auto wrapX = [=](int i) { return Wrap(i & _mm_cvtsi128_si32(wrapMask), tw); };
        auto wrapY = [=](int i) { return Wrap(i & Lane1(wrapMask), th); };

        const __m128 vox = _mm_set1_ps(ox), voy = _mm_set1_ps(oy);
        __m128 colourW = _mm_add_ps(_mm_add_ps(colourOrigin_, _mm_mul_ps(colourDx, vox)), _mm_mul_ps(colourDy_, voy));
        __m128 coordW = _mm_add_ps(_mm_add_ps(coordOrigin_, _mm_mul_ps(coordDx, vox)), _mm_mul_ps(coordDy_, voy));
        // The dither offsets of pixel x are at byte ditherAt of ditherRow.
        const char* const ditherRow = reinterpret_cast<const char*>(kBayerSplat.offsets[y & 3]);
        size_t ditherAt = static_cast<size_t>(xs & 3) * sizeof(__m128);
        const __m128 one = _mm_set1_ps(1.0f), half = _mm_set1_ps(0.5f);

        for (int x = xs; x < xe; ++x, colourW = _mm_add_ps(colourW, colourDx), coordW = _mm_add_ps(coordW, coordDx),
                 ditherAt = (ditherAt + sizeof(__m128)) & (4 * sizeof(__m128) - 1)) {
            const __m128 iw = Splat(coordW, 2);
            if (!(_mm_cvtss_f32(iw) > depthRow[x]))
                continue;
            // A see-through face is depth-tested but leaves the depth as it
            // was, so what lies behind it can still be drawn.
            if constexpr (!Blend)
                _mm_store_ss(depthRow + x, iw);
            const __m128 w = _mm_div_ps(one, iw);
            __m128 colour = _mm_mul_ps(colourW, w);
            if constexpr (Textured) {
                const __m128 uv = _mm_mul_ps(_mm_mul_ps(coordW, w), texScale);  // (u * tw, v * th, ...)
                if constexpr (Filter == TextureFilter::Nearest) {
                    colour = _mm_mul_ps(colour, Unpack(texels[texelIndex(FloorToInt(uv))]));
                } else {
                    const __m128 f = _mm_sub_ps(uv, half);
                    const __m128i t0 = FloorToInt(f);
                    const __m128 along = _mm_sub_ps(f, _mm_cvtepi32_ps(t0));
                    const __m128 ax = Splat(along, 0), ay = Splat(along, 1);
                    const int x0 = _mm_cvtsi128_si32(t0), y0 = Lane1(t0);
                    const int tx0 = wrapX(x0), tx1 = wrapX(x0 + 1);
                    const uint32_t* row0 = texels + static_cast<size_t>(wrapY(y0)) * tw;
                    const uint32_t* row1 = texels + static_cast<size_t>(wrapY(y0 + 1)) * tw;
                    const __m128 c00 = Unpack(row0[tx0]), c01 = Unpack(row0[tx1]);
                    const __m128 c10 = Unpack(row1[tx0]), c11 = Unpack(row1[tx1]);
                    const __m128 upper = _mm_add_ps(c00, _mm_mul_ps(_mm_sub_ps(c01, c00), ax));
                    const __m128 lower = _mm_add_ps(c10, _mm_mul_ps(_mm_sub_ps(c11, c10), ax));
                    colour = _mm_mul_ps(colour, _mm_add_ps(upper, _mm_mul_ps(_mm_sub_ps(lower, upper), ay)));
                }
            }
            if constexpr (Blend) {
                const __m128 behind = Unpack(colourRow[x] & 0x00FFFFFFu);
                colour = _mm_add_ps(_mm_mul_ps(_mm_min_ps(_mm_set1_ps(255.0f), colour), opacity),
                                    _mm_mul_ps(behind, keep));
            }
            colourRow[x] =
                PackLanes(colour, Dither ? _mm_load_ps(reinterpret_cast<const float*>(ditherRow + ditherAt)) : half);
        }
    }

private:
    // (b/w, g/w, r/w, 0) from the six attributes.
    static __m128 ColourLanes(const float* a)
    {
        const __m128 vrgb = _mm_loadu_ps(a + 2);
        const __m128 firstThree = _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0));
        return _mm_and_ps(_mm_shuffle_ps(vrgb, vrgb, _MM_SHUFFLE(0, 1, 2, 3)), firstThree);
    }
    // (u/w, v/w, 1/w, r/w) from the six attributes; lane 3 is not used.
    static __m128 CoordLanes(const float* a)
    {
        const __m128 wuvr = _mm_loadu_ps(a);
        return _mm_shuffle_ps(wuvr, wuvr, _MM_SHUFFLE(3, 0, 2, 1));
    }

    // n - 1 when n is a power of two, where wrapping is a mask (the same as
    // Wrap); else -1.
    static int WrapMask(int n) { return n > 0 && (n & (n - 1)) == 0 ? n - 1 : -1; }

    __m128 colourOrigin_, colourDx_, colourDy_;
    __m128 coordOrigin_, coordDx_, coordDy_;
    __m128 texScale_;
    __m128 opacity_, keep_;
    __m128i wrapMask_, texSize_, rowStep_;
    const uint32_t* texels_;
    int tw_, th_;
    bool powerOfTwo_;
};

#endif

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
    // Black (the usual background) and "nothing drawn" (0.0f) are all-zero
    // bytes, which the C library clears fastest; whole-width rows of a
    // target without padding are one block.
    const uint32_t fill = colour & 0x00FFFFFFu;
    const size_t rowBytes = static_cast<size_t>(clip_.right - clip_.left) * 4;
    const bool oneBlock = clip_.left == 0 && clip_.right == target_.width && target_.pitchBytes == target_.width * 4;
    if (fill == 0 && oneBlock) {
        std::memset(target_.Scanline(clip_.top), 0, rowBytes * static_cast<size_t>(clip_.bottom - clip_.top));
    } else {
        for (int y = clip_.top; y < clip_.bottom; ++y) {
            if (fill == 0)
                std::memset(target_.Scanline(y) + clip_.left, 0, rowBytes);
            else
                std::fill(target_.Scanline(y) + clip_.left, target_.Scanline(y) + clip_.right, fill);
        }
    }
    const PixelRect depthRect = depthDirty_.Intersect(clip_);
    for (int y = depthRect.top; y < depthRect.bottom; ++y) {
        float* depth = depth_.data() + static_cast<size_t>(y) * depthPitch_;
        std::memset(depth + depthRect.left, 0, static_cast<size_t>(depthRect.right - depthRect.left) * sizeof(float));
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
    SpanRows rows(top.x, top.y, mid.x, mid.y, bottom.x, bottom.y, clip_);
    if (rows.first >= rows.last)
        return;
    // Local copies, which the pixel stores cannot alias, so that they need
    // not be read again for every row. A span's attributes start from those
    // at `origin`, offset by the centre of its first pixel relative to
    // origin.x, origin.y.
    const float originX = origin.x, originY = origin.y;
    const RenderTarget target = target_;
    float* const depth = depth_.data();
    const size_t depthPitch = static_cast<size_t>(depthPitch_);
#if defined(__SSE2__)
    if (vectorSpans_ && (!Textured || LaneSpans::Handles(texture_))) {
        const LaneSpans lanes(origin.a, dadx, dady, texture_, opacity_);
        auto fill = [&](auto maskWrap) {
            uint8_t* const colour = reinterpret_cast<uint8_t*>(target.pixels);
            const size_t colourPitch = static_cast<size_t>(target.pitchBytes);
            size_t colourAt = static_cast<size_t>(rows.first) * colourPitch;
            size_t depthAt = static_cast<size_t>(rows.first) * depthPitch;
            SpanRows::Four four;
            for (int y0 = rows.first; y0 < rows.last; y0 += 4) {
                rows.Spans(y0, originX, originY, four);
                const int count = std::min(4, rows.last - y0);
                for (int k = 0; k < count; ++k, colourAt += colourPitch, depthAt += depthPitch) {
                    const int xs = four.xs[k], xe = four.xe[k];
                    if (xs >= xe)
                        continue;
                    rows.Include(xs, xe);
                    lanes.Fill<Textured, Filter, Dither, Blend, decltype(maskWrap)::value>(
                        four.ox[k], four.oy[k], xs, xe, y0 + k, reinterpret_cast<uint32_t*>(colour + colourAt),
                        depth + depthAt);
                }
            }
        };
        // Only nearest texels wrap differently; the other variants need one
        // instantiation.
        if (Textured && Filter == TextureFilter::Nearest && lanes.MaskWraps())
            fill(std::true_type{});
        else
            fill(std::false_type{});
        drawn_.Unite(rows.Drawn());
        return;
    }
#endif

    const uint32_t* texels = texture_.pixels;
    const int tw = texture_.width, th = texture_.height;
    const float ftw = static_cast<float>(tw), fth = static_cast<float>(th);
    const float opacity = opacity_, keep = 1.0f - opacity_;
    const float diw = dadx[0], duw = dadx[1], dvw = dadx[2], drw = dadx[3], dgw = dadx[4], dbw = dadx[5];

    for (int y = rows.first; y < rows.last; ++y) {
        int xs, xe;
        if (!rows.Span(y, xs, xe))
            continue;
        const float ox = static_cast<float>(xs) + 0.5f - originX, oy = static_cast<float>(y) + 0.5f - originY;
        float iw = origin.a[0] + dadx[0] * ox + dady[0] * oy;
        float uw = origin.a[1] + dadx[1] * ox + dady[1] * oy;
        float vw = origin.a[2] + dadx[2] * ox + dady[2] * oy;
        float rw = origin.a[3] + dadx[3] * ox + dady[3] * oy;
        float gw = origin.a[4] + dadx[4] * ox + dady[4] * oy;
        float bw = origin.a[5] + dadx[5] * ox + dady[5] * oy;

        uint32_t* colourRow = target.Scanline(y);
        float* depthRow = depth + static_cast<size_t>(y) * depthPitch;
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
    drawn_.Unite(rows.Drawn());
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
