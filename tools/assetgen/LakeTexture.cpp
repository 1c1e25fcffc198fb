// The emblem's texture: green water with streaks, carrying a black ring and
// cross. Drawn in full colour, then cut down to 250 colours.

#include "Drawing.h"
#include "Quantise.h"
#include "ScreenPictures.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace assetgen {

namespace {

constexpr int Size = 128;
constexpr int LakeColours = 250;

// Lattice value noise from an integer hash: the same numbers on every
// machine, unlike a library random generator.
double Lattice(int x, int y, uint32_t seed)
{
    uint32_t h = uint32_t(x) * 0x8DA6B343u ^ uint32_t(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return (h & 0xFFFFFF) / double(0xFFFFFF);
}

double ValueNoise(double x, double y, uint32_t seed)
{
    const int x0 = int(std::floor(x)), y0 = int(std::floor(y));
    const double fx = x - x0, fy = y - y0;
    const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const double a = Lattice(x0, y0, seed), b = Lattice(x0 + 1, y0, seed);
    const double c = Lattice(x0, y0 + 1, seed), d = Lattice(x0 + 1, y0 + 1, seed);
    return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

double Fbm(double x, double y, uint32_t seed, int octaves)
{
    double sum = 0, amplitude = 0.5, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * ValueNoise(x, y, seed + uint32_t(i) * 101);
        norm += amplitude;
        x *= 2.03;
        y *= 2.03;
        amplitude *= 0.5;
    }
    return sum / norm;
}

Rgb Water(double v)
{
    static const std::pair<double, Rgb> stops[] = {
        { 0.00, RgbOf(0x04200E) }, { 0.30, RgbOf(0x0F5424) }, { 0.55, RgbOf(0x238C38) },
        { 0.75, RgbOf(0x5EBE4C) }, { 0.90, RgbOf(0xB2E67E) }, { 1.00, RgbOf(0xEEFBC4) },
    };
    v = std::clamp(v, 0.0, 1.0);
    for (size_t i = 1; i < std::size(stops); ++i)
        if (v <= stops[i].first)
            return Mix(stops[i - 1].second, stops[i].second, (v - stops[i - 1].first) / (stops[i].first - stops[i - 1].first));
    return stops[std::size(stops) - 1].second;
}

// Signed distance-like test of the ring-and-cross at a point, in pixels of
// the texture, centre at (64, 64): true inside the black shape.
bool InEmblem(double x, double y)
{
    const double dx = x - 64, dy = y - 64, r = std::hypot(dx, dy);
    const bool ring = r >= 43 && r <= 53;
    const double arm = 5;
    const bool cross = r <= 60 && (std::abs(dx) <= arm || std::abs(dy) <= arm);
    // The arms' outer ends are cut to points beyond the ring.
    const bool cut = r > 53 && std::max(std::abs(dx), std::abs(dy)) + std::min(std::abs(dx), std::abs(dy)) * 1.6 > 60;
    return ring || (cross && !cut);
}

} // namespace

IndexedImage MakeLake()
{
    QImage drawn(Size, Size, QImage::Format_RGB32);
    // Streaks run at a slant; a slow warp bends them like wind on water.
    const double angle = 0.38, ca = std::cos(angle), sa = std::sin(angle);
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            double colour[3] = { 0, 0, 0 };
            // 4 x 4 samples per pixel, so the emblem's edges come out smooth.
            int inside = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx)
                    inside += InEmblem(x + (sx + 0.5) / 4, y + (sy + 0.5) / 4);
            const double u = x * ca + y * sa, v = -x * sa + y * ca;
            const double warp = Fbm(x / 40.0, y / 40.0, 7, 3) * 6.0;
            const double streak = Fbm(u / 48.0, (v + warp) / 3.2, 11, 4);
            const double body = Fbm(x / 22.0, y / 22.0, 23, 4);
            double level = 0.15 + 0.55 * streak + 0.45 * body - 0.12;
            // Thin bright glints along the strongest streaks.
            const double glint = Fbm(u / 20.0, (v + warp) / 1.6, 31, 2);
            if (glint > 0.68)
                level += (glint - 0.68) * 2.2;
            Rgb w = Water(level);
            // A soft shadow around the emblem lifts it off the water.
            double nearest = 99;
            for (int oy = -4; oy <= 4; ++oy)
                for (int ox = -4; ox <= 4; ++ox)
                    if (InEmblem(x + 0.5 + ox, y + 0.5 + oy))
                        nearest = std::min(nearest, std::hypot(double(ox), double(oy)));
            if (nearest <= 5)
                w = Mix(w, RgbOf(0x000000), 0.45 * (1 - nearest / 5.0));
            const Rgb final = Mix(w, RgbOf(0x000000), inside / 16.0);
            colour[0] = final.r;
            colour[1] = final.g;
            colour[2] = final.b;
            drawn.setPixel(x, y, qRgb(int(colour[0]), int(colour[1]), int(colour[2])));
        }

    const MedianCutResult cut = MedianCut(drawn, LakeColours);
    IndexedImage lake(Size, Size, 8);
    for (size_t i = 0; i < cut.palette.size(); ++i)
        lake.Table()[i] = cut.palette[i];
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x)
            lake.Set(x, y, uint8_t(cut.indexOfPixel[y * Size + x]));
    return lake;
}

} // namespace assetgen
