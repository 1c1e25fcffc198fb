#include "platform/ddraw/Blit.h"

namespace ddraw::blit {

namespace {

template <Key key, Alpha alpha>
void CopyRow(std::uint32_t* __restrict dst, const std::uint32_t* __restrict src, int count,
             KeyRange k) {
    if constexpr (key == Key::None) {
        if constexpr (alpha == Alpha::Opaque) {
            // One pass: the restrict-qualified pointers let it vectorise.
            for (int x = 0; x < count; ++x) dst[x] = src[x] | kOpaqueTop;
        } else {
            std::memcpy(dst, src, static_cast<std::size_t>(count) * 4);
        }
    } else {
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC ivdep
#endif
        for (int x = 0; x < count; ++x) {
            const std::uint32_t p = src[x];
            std::uint32_t out = p;
            if constexpr (alpha == Alpha::Opaque) out |= kOpaqueTop;
            // Always load and store so that the loop turns into blends.
            const bool transparent = ((p & kColorMask) - k.low) <= k.span;
            dst[x] = transparent ? dst[x] : out;
        }
    }
}

}  // namespace

// Same-size copy of a w x h block. The buffers must not overlap.
template <Key key, Alpha alpha>
void Copy(Pixels dst, int dx, int dy, Pixels src, int sx, int sy, int w, int h, KeyRange k) {
    for (int row = 0; row < h; ++row)
        CopyRow<key, alpha>(dst.Row(dy + row) + dx, src.Row(sy + row) + sx, w, k);
}

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

void Fill(Pixels dst, int left, int top, int right, int bottom, std::uint32_t value) {
    for (int y = top; y < bottom; ++y) {
        std::uint32_t* row = dst.Row(y);
        for (int x = left; x < right; ++x) row[x] = value;
    }
}

template void Copy<Key::None, Alpha::Keep>(Pixels, int, int, Pixels, int, int, int, int, KeyRange);
template void Copy<Key::None, Alpha::Opaque>(Pixels, int, int, Pixels, int, int, int, int, KeyRange);
template void Copy<Key::Source, Alpha::Keep>(Pixels, int, int, Pixels, int, int, int, int, KeyRange);
template void Copy<Key::Source, Alpha::Opaque>(Pixels, int, int, Pixels, int, int, int, int, KeyRange);
template void Stretch<Key::None, Alpha::Keep>(Pixels, Pixels, const StretchGeometry&, KeyRange);
template void Stretch<Key::None, Alpha::Opaque>(Pixels, Pixels, const StretchGeometry&, KeyRange);
template void Stretch<Key::Source, Alpha::Keep>(Pixels, Pixels, const StretchGeometry&, KeyRange);
template void Stretch<Key::Source, Alpha::Opaque>(Pixels, Pixels, const StretchGeometry&, KeyRange);

}  // namespace ddraw::blit
