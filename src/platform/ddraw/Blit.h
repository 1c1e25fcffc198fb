// Pixel loops of the display layer. Callers clip first; these loops assume
// every rectangle they are given lies inside both buffers and run without
// bounds checks. The colour-key and alpha variants are template parameters,
// so each call picks one loop and no test is made per pixel beyond the key.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace ddraw::blit {

// Rows of 32-bit pixels, `pitchBytes` apart.
struct Pixels {
    std::uint32_t* base = nullptr;
    int pitchBytes = 0;

    std::uint32_t* Row(int y) const {
        return reinterpret_cast<std::uint32_t*>(reinterpret_cast<unsigned char*>(base) +
                                                static_cast<std::ptrdiff_t>(y) * pitchBytes);
    }
};

enum class Key { None, Source };
// Window pictures are shown by the window system, which may read the top
// byte as alpha; output to them gets that byte set.
enum class Alpha { Keep, Opaque };

// Source colour key as a range test: a pixel is transparent when its colour
// bits minus `low` (unsigned) is at most `span`.
struct KeyRange {
    std::uint32_t low = 0;
    std::uint32_t span = 0;
};

constexpr std::uint32_t kColorMask = 0x00FFFFFFu;
constexpr std::uint32_t kOpaqueTop = 0xFF000000u;

template <Key key, Alpha alpha>
inline void CopyRow(std::uint32_t* __restrict dst, const std::uint32_t* __restrict src, int count,
                    KeyRange k) {
    if constexpr (key == Key::None && alpha == Alpha::Keep) {
        std::memcpy(dst, src, static_cast<std::size_t>(count) * 4);
    } else {
        for (int x = 0; x < count; ++x) {
            const std::uint32_t p = src[x];
            std::uint32_t out = p;
            if constexpr (alpha == Alpha::Opaque) out |= kOpaqueTop;
            if constexpr (key == Key::Source) {
                // Always load and store so that the loop turns into blends.
                const bool transparent = ((p & kColorMask) - k.low) <= k.span;
                dst[x] = transparent ? dst[x] : out;
            } else {
                dst[x] = out;
            }
        }
    }
}

// Same-size copy of a w x h block. The buffers must not overlap.
template <Key key, Alpha alpha>
void Copy(Pixels dst, int dx, int dy, Pixels src, int sx, int sy, int w, int h, KeyRange k) {
    for (int row = 0; row < h; ++row)
        CopyRow<key, alpha>(dst.Row(dy + row) + dx, src.Row(sy + row) + sx, w, k);
}

// Nearest-neighbour stretch. The whole destination rectangle (fullDst, may
// reach outside the buffer) maps onto fullSrc; only the part of it inside
// `visible` (already clipped to the buffer) is written.
struct StretchGeometry {
    int fullDstLeft, fullDstTop, fullDstWidth, fullDstHeight;
    int fullSrcLeft, fullSrcTop, fullSrcWidth, fullSrcHeight;
    int visLeft, visTop, visRight, visBottom;
};

template <Key key, Alpha alpha>
void Stretch(Pixels dst, Pixels src, const StretchGeometry& g, KeyRange k) {
    const int visWidth = g.visRight - g.visLeft;
    std::vector<int> column(static_cast<std::size_t>(visWidth));
    for (int i = 0; i < visWidth; ++i) {
        const std::int64_t offset = g.visLeft + i - g.fullDstLeft;
        column[static_cast<std::size_t>(i)] =
            g.fullSrcLeft + static_cast<int>(offset * g.fullSrcWidth / g.fullDstWidth);
    }
    for (int y = g.visTop; y < g.visBottom; ++y) {
        const std::int64_t offset = y - g.fullDstTop;
        const int sy = g.fullSrcTop + static_cast<int>(offset * g.fullSrcHeight / g.fullDstHeight);
        const std::uint32_t* srcRow = src.Row(sy);
        std::uint32_t* dstRow = dst.Row(y) + g.visLeft;
        for (int i = 0; i < visWidth; ++i) {
            const std::uint32_t p = srcRow[column[static_cast<std::size_t>(i)]];
            std::uint32_t out = p;
            if constexpr (alpha == Alpha::Opaque) out |= kOpaqueTop;
            if constexpr (key == Key::Source) {
                if (((p & kColorMask) - k.low) <= k.span) continue;
            }
            dstRow[i] = out;
        }
    }
}

inline void Fill(Pixels dst, int left, int top, int right, int bottom, std::uint32_t value) {
    for (int y = top; y < bottom; ++y) {
        std::uint32_t* row = dst.Row(y);
        for (int x = left; x < right; ++x) row[x] = value;
    }
}

}  // namespace ddraw::blit
