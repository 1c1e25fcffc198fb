// The rasteriser's vector span loop against its plain one-value-at-a-time
// loop: the same triangles drawn both ways must cover the same pixels, pass
// and fail the same depth tests and differ by at most 1 per colour channel,
// and that only in a few pixels (a misplaced dither offset also stays within
// 1, but in many). The scenes hold spans of every short length at every
// x & 3, spans cut by the viewport, overlapping faces, faces drawn twice at
// the same depth, wrapping and negative texture coordinates, in the
// combinations of texture filter, dither and opacity.
#include "platform/d3drm/Rasterizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace d3drm::test {
namespace {

constexpr int kWidth = 61, kHeight = 83;            // odd, so rows end at every x & 3
constexpr PixelRect kViewport{3, 2, 58, 81};         // the rest of the target must stay untouched
// What the target holds before drawing. Its top byte is set, which drawn
// pixels, blended ones too, must not keep.
constexpr uint32_t kBackground = 0xFF123456;

// A vertex at screen position (sx, sy) seen at distance w.
struct ScreenPoint {
    float sx, sy, w, u, v, r, g, b;
};

ClipVertex ToClip(const ScreenPoint& p, const PixelRect& viewport)
{
    const float centreX = (viewport.left + viewport.right) * 0.5f, halfW = (viewport.right - viewport.left) * 0.5f;
    const float centreY = (viewport.top + viewport.bottom) * 0.5f, halfH = (viewport.bottom - viewport.top) * 0.5f;
    return {(p.sx - centreX) / halfW * p.w, (centreY - p.sy) / halfH * p.w, p.w, p.u, p.v, p.r, p.g, p.b};
}

// Deterministic pseudo-random numbers, the same on every platform.
class Random {
public:
    float Next(float low, float high)
    {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return low + (high - low) * static_cast<float>(state_ >> 40) / static_cast<float>(1 << 24);
    }

private:
    uint64_t state_ = 0x5eed;
};

using Triangle = std::vector<ScreenPoint>;  // three corners

// Rectangles two rows high whose rows cover exactly columns x0..x0+length-1,
// for each length 1..9 and x0 & 3 = 0..3, two side by side per pair of rows,
// and one reaching past both sides of the viewport. Each is two triangles
// with a different depth at each corner.
std::vector<Triangle> Strips(Random& random)
{
    std::vector<Triangle> strips;
    auto strip = [&](float left, float right, int y) {
        auto corner = [&](float sx, float sy) {
            return ScreenPoint{sx, sy, random.Next(1, 6), random.Next(-2.5f, 3.5f), random.Next(-2.5f, 3.5f),
                               random.Next(0, 2), random.Next(0, 2), random.Next(0, 2)};
        };
        // Edges a quarter pixel inside the outer pixel centres.
        const ScreenPoint a = corner(left + 0.25f, y + 0.25f), b = corner(right - 0.25f, y + 0.25f);
        const ScreenPoint c = corner(right - 0.25f, y + 1.75f), d = corner(left + 0.25f, y + 1.75f);
        strips.push_back({a, b, c});
        strips.push_back({a, c, d});
    };
    int y = kViewport.top;
    for (int length = 1; length <= 9; ++length) {
        for (int phase = 0; phase < 4; phase += 2, y += 2) {
            strip(static_cast<float>(8 + phase), static_cast<float>(8 + phase + length), y);
            strip(static_cast<float>(32 + phase + 1), static_cast<float>(32 + phase + 1 + length), y);
        }
    }
    strip(-4.0f, kWidth + 4.0f, y);
    return strips;
}

// Triangles of all sizes, many reaching past the viewport's sides, at
// overlapping depths.
std::vector<Triangle> Scatter(Random& random, int count)
{
    std::vector<Triangle> triangles;
    for (int i = 0; i < count; ++i) {
        const float cx = random.Next(-5, kWidth + 5), cy = random.Next(-5, kHeight + 5);
        const float size = random.Next(1, 30);
        Triangle t;
        for (int k = 0; k < 3; ++k)
            t.push_back({cx + random.Next(-size, size), cy + random.Next(-size, size), random.Next(1, 8),
                         random.Next(-4, 4), random.Next(-4, 4), random.Next(0, 2), random.Next(0, 2),
                         random.Next(0, 2)});
        triangles.push_back(t);
    }
    return triangles;
}

struct Texture {
    int width, height;
    std::vector<uint32_t> texels;
};

Texture MakeTexture(int width, int height)
{
    Texture t{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            t.texels.push_back(static_cast<uint32_t>(((x * 53 + y * 17) & 0xFF) << 16 | ((x * 7 + y * 91) & 0xFF) << 8 |
                                                     ((x ^ y) * 29 & 0xFF)));
    return t;
}

struct Settings {
    const Texture* texture;  // none: untextured
    TextureFilter filter;
    bool dither;
    float opacity;
};

std::string Name(const testing::TestParamInfo<Settings>& info)
{
    const Settings& s = info.param;
    std::string name = s.texture ? std::to_string(s.texture->width) + "x" + std::to_string(s.texture->height) +
                                       (s.filter == TextureFilter::Linear ? "Linear" : "Nearest")
                                 : "Untextured";
    return name + (s.dither ? "Dither" : "") + (s.opacity < 1.0f ? "Blended" : "");
}

std::vector<uint32_t> Render(const std::vector<Triangle>& triangles, const Settings& settings, bool vector,
                             const PixelRect& viewport = kViewport)
{
    std::vector<uint32_t> pixels(static_cast<size_t>(kWidth) * kHeight, kBackground);
    Rasterizer raster;
    raster.SetVectorSpans(vector);
    raster.Begin({pixels.data(), kWidth, kHeight, kWidth * 4}, viewport, 0.5f, 100.0f);
    RasterTexture texture;
    if (settings.texture)
        texture = {settings.texture->texels.data(), settings.texture->width, settings.texture->height};
    raster.SetTexture(settings.texture ? &texture : nullptr, settings.filter);
    raster.SetDither(settings.dither);
    raster.SetOpacity(settings.opacity);
    raster.SetCulling(false);
    for (const Triangle& t : triangles) {
        // Untextured colours are 0..255, textured ones multiply texels.
        const float scale = settings.texture ? 1.0f : 255.0f;
        ClipVertex v[3];
        for (int k = 0; k < 3; ++k) {
            v[k] = ToClip(t[k], viewport);
            v[k].r *= scale;
            v[k].g *= scale;
            v[k].b *= scale;
        }
        raster.DrawTriangle(v[0], v[1], v[2], raster.Outcode(v[0]), raster.Outcode(v[1]), raster.Outcode(v[2]));
    }
    raster.End();
    return pixels;
}

int ChannelDifference(uint32_t p, uint32_t q)
{
    int most = 0;
    for (int shift = 0; shift < 32; shift += 8)
        most = std::max(most, std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((q >> shift) & 0xFF)));
    return most;
}

// Checks `vector` against `plain` pixel by pixel; returns the largest
// channel difference.
int Compare(const std::vector<uint32_t>& plain, const std::vector<uint32_t>& vector, const std::string& what)
{
    int most = 0, drawn = 0, differing = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t p = plain[static_cast<size_t>(y) * kWidth + x], q = vector[static_cast<size_t>(y) * kWidth + x];
            const bool inside = x >= kViewport.left && x < kViewport.right && y >= kViewport.top && y < kViewport.bottom;
            if (!inside) {
                EXPECT_TRUE(p == kBackground && q == kBackground) << what << " at " << x << "," << y;
                continue;
            }
            // Covered by the same faces: drawn in both or in neither.
            EXPECT_EQ(p == kBackground, q == kBackground) << what << " at " << x << "," << y;
            drawn += p != kBackground;
            const int difference = ChannelDifference(p, q);
            EXPECT_LE(difference, 1) << what << " at " << x << "," << y << std::hex << ": " << p << " vs " << q;
            most = std::max(most, difference);
            differing += difference != 0;
        }
    }
    EXPECT_GT(drawn, 1000) << what;  // the scene is not empty
    EXPECT_LE(differing, drawn / 100) << what;
    return most;
}

class SpanLoops : public testing::TestWithParam<Settings> {};

TEST_P(SpanLoops, VectorLoopDrawsWhatThePlainLoopDraws)
{
    Random random;
    std::vector<Triangle> triangles = Strips(random);
    const std::vector<Triangle> scatter = Scatter(random, 120);
    triangles.insert(triangles.end(), scatter.begin(), scatter.end());
    // Some again in other colours: the same depth does not pass the test.
    for (int i = 0; i < 20; ++i) {
        Triangle again = scatter[i];
        for (ScreenPoint& p : again)
            std::swap(p.r, p.b);
        triangles.push_back(again);
    }
    const int most = Compare(Render(triangles, GetParam(), false), Render(triangles, GetParam(), true), "scene");
    RecordProperty("largest_channel_difference", most);
}

const Texture kPowerOfTwo = MakeTexture(8, 16);
const Texture kOddSizes = MakeTexture(5, 3);
// Wider than the vector loop handles: drawn by the plain loop either way.
const Texture kVeryWide = MakeTexture(40000, 1);

TEST(SpanLoops, StripsCoverExactlyTheirColumns)
{
    Random random;
    const std::vector<Triangle> strips = Strips(random);
    const std::vector<uint32_t> pixels = Render(strips, {&kPowerOfTwo, TextureFilter::Nearest, true, 1.0f}, true);
    int expected = 2 * (kViewport.right - kViewport.left);  // the strip cut by the viewport
    for (int length = 1; length <= 9; ++length)
        expected += 4 * 2 * length;  // one strip per x & 3, two rows each
    int covered = 0;
    for (uint32_t p : pixels)
        covered += p != kBackground;
    EXPECT_EQ(covered, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, SpanLoops,
    testing::Values(Settings{&kPowerOfTwo, TextureFilter::Nearest, true, 1.0f},
                    Settings{&kPowerOfTwo, TextureFilter::Nearest, false, 1.0f},
                    Settings{&kOddSizes, TextureFilter::Nearest, true, 1.0f},
                    Settings{&kPowerOfTwo, TextureFilter::Linear, true, 1.0f},
                    Settings{&kOddSizes, TextureFilter::Linear, false, 1.0f},
                    Settings{nullptr, TextureFilter::Nearest, true, 1.0f},
                    Settings{nullptr, TextureFilter::Nearest, false, 1.0f},
                    Settings{&kPowerOfTwo, TextureFilter::Nearest, true, 0.4f},
                    Settings{&kOddSizes, TextureFilter::Linear, true, 0.7f},
                    Settings{nullptr, TextureFilter::Nearest, false, 0.5f},
                    Settings{&kVeryWide, TextureFilter::Nearest, true, 1.0f}),
    Name);

// Edges exactly through pixel centres: a centre on a left or top edge is
// inside, on a right or bottom edge outside. A 64 x 64 viewport at distance
// 1 places vertices exactly where given.
TEST(SpanLoops, EdgesThroughPixelCentresFollowTheTopLeftRule)
{
    const PixelRect viewport{-2, 0, 62, 64};
    auto at = [](float sx, float sy) { return ScreenPoint{sx, sy, 1, sx / 8, sy / 8, 1, 0.5f, 0.25f}; };
    std::vector<Triangle> shapes;
    // A rectangle with corners on the centres of pixels (3, 2) and (20, 9):
    // columns 3..19 and rows 2..8.
    shapes.push_back({at(3.5f, 2.5f), at(20.5f, 2.5f), at(20.5f, 9.5f)});
    shapes.push_back({at(3.5f, 2.5f), at(20.5f, 9.5f), at(3.5f, 9.5f)});
    // Triangles with slanted edges through centres, their middle corner on a
    // row's centre.
    shapes.push_back({at(30.5f, 12.5f), at(50.5f, 20.5f), at(26.5f, 40.5f)});
    shapes.push_back({at(10.5f, 20.5f), at(22.5f, 32.5f), at(4.5f, 50.5f)});
    shapes.push_back({at(40.5f, 44.5f), at(56.5f, 46.5f), at(44.5f, 60.5f)});
    for (bool dither : {false, true}) {
        const Settings settings{&kPowerOfTwo, TextureFilter::Nearest, dither, 1.0f};
        const std::vector<uint32_t> plain = Render(shapes, settings, false, viewport);
        const std::vector<uint32_t> vector = Render(shapes, settings, true, viewport);
        EXPECT_EQ(plain, vector);
        int rectangle = 0;
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 24; ++x)
                rectangle += vector[static_cast<size_t>(y) * kWidth + x] != kBackground;
        EXPECT_EQ(rectangle, 17 * 7);
        EXPECT_NE(vector[static_cast<size_t>(2) * kWidth + 3], kBackground);
        EXPECT_EQ(vector[static_cast<size_t>(2) * kWidth + 20], kBackground);
        EXPECT_EQ(vector[static_cast<size_t>(9) * kWidth + 3], kBackground);
    }
}

TEST(SpanLoops, NegativeColoursDrawBlackInBothLoops)
{
    Triangle t = {{10, 10, 2, 0, 0, -1, -0.5f, -2}, {50, 12, 3, 1, 0, -1, -0.5f, -2}, {30, 70, 4, 0, 1, -1, -0.5f, -2}};
    for (bool vector : {false, true}) {
        const std::vector<uint32_t> pixels = Render({t}, {&kPowerOfTwo, TextureFilter::Nearest, true, 1.0f}, vector);
        EXPECT_EQ(pixels[static_cast<size_t>(30) * kWidth + 30], 0u) << "vector " << vector;
    }
}

// Clearing fills exactly the viewport with the colour (black through the
// fast path, other colours row by row, padded rows and partial widths too)
// and forgets the depth of what was drawn, so a farther face drawn after
// the clear shows.
TEST(RasterClear, FillsTheViewportAndForgetsDepth)
{
    constexpr int kPitch = kWidth + 3;   // padded rows
    const PixelRect viewports[] = {{0, 0, kWidth, kHeight}, kViewport};
    for (const PixelRect& viewport : viewports) {
        for (int pitch : {kWidth, kPitch}) {
            for (uint32_t colour : {0x00000000u, 0xFF204080u}) {
                std::vector<uint32_t> pixels(static_cast<size_t>(pitch) * kHeight, kBackground);
                Rasterizer raster;
                raster.Begin({pixels.data(), kWidth, kHeight, pitch * 4}, viewport, 0.5f, 100.0f);
                const Triangle near = {{5, 5, 1, 0, 0, 1, 1, 1}, {55, 5, 1, 0, 0, 1, 1, 1}, {30, 75, 1, 0, 0, 1, 1, 1}};
                const Triangle far = {{5, 5, 9, 0, 0, 128, 128, 128}, {55, 5, 9, 0, 0, 128, 128, 128},
                                      {30, 75, 9, 0, 0, 128, 128, 128}};
                auto draw = [&](const Triangle& t) {
                    const ClipVertex a = ToClip(t[0], viewport), b = ToClip(t[1], viewport), c = ToClip(t[2], viewport);
                    raster.DrawTriangle(a, b, c, raster.Outcode(a), raster.Outcode(b), raster.Outcode(c));
                };
                draw(near);
                raster.End();
                raster.Begin({pixels.data(), kWidth, kHeight, pitch * 4}, viewport, 0.5f, 100.0f);
                raster.Clear(colour);
                for (int y = 0; y < kHeight; ++y)
                    for (int x = 0; x < pitch; ++x) {
                        const bool inside = x >= viewport.left && x < viewport.right && y >= viewport.top &&
                                            y < viewport.bottom;
                        const uint32_t want = inside ? colour & 0x00FFFFFFu : kBackground;
                        ASSERT_EQ(pixels[static_cast<size_t>(y) * pitch + x], want)
                            << x << "," << y << " pitch " << pitch << " colour " << colour;
                    }
                draw(far);
                EXPECT_EQ(pixels[static_cast<size_t>(30) * pitch + 30], 0x808080u) << "pitch " << pitch;
            }
        }
    }
}

}  // namespace
}  // namespace d3drm::test
