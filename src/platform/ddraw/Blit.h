// Pixel loops of the display layer. Callers clip first; these loops assume
// every rectangle they are given lies inside both buffers and run without
// bounds checks. The colour-key and alpha variants are template parameters,
// so each call picks one loop and no test is made per pixel beyond the key.
// The loops live in Blit.cpp, instantiated there for every variant, so each
// is compiled (and vectorised) on its own rather than inside its callers.
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

// Same-size copy of a w x h block. The buffers must not overlap.
template <Key key, Alpha alpha>
void Copy(Pixels dst, int dx, int dy, Pixels src, int sx, int sy, int w, int h, KeyRange k);

// Nearest-neighbour stretch. The whole destination rectangle (fullDst, may
// reach outside the buffer) maps onto fullSrc; only the part of it inside
// `visible` (already clipped to the buffer) is written.
struct StretchGeometry {
    int fullDstLeft, fullDstTop, fullDstWidth, fullDstHeight;
    int fullSrcLeft, fullSrcTop, fullSrcWidth, fullSrcHeight;
    int visLeft, visTop, visRight, visBottom;
};

template <Key key, Alpha alpha>
void Stretch(Pixels dst, Pixels src, const StretchGeometry& g, KeyRange k);

void Fill(Pixels dst, int left, int top, int right, int bottom, std::uint32_t value);

}  // namespace ddraw::blit
