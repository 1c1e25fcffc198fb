#include "Quantise.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>

namespace assetgen {

double BayerThreshold(int x, int y)
{
    static constexpr int bayer[4][4] = {
        { 0, 8, 2, 10 },
        { 12, 4, 14, 6 },
        { 3, 11, 1, 9 },
        { 15, 7, 13, 5 },
    };
    return (bayer[y & 3][x & 3] + 0.5) / 16.0;
}

int NearestEntry(const std::vector<Rgb>& table, Rgb c, int first, int last)
{
    if (last < 0)
        last = int(table.size()) - 1;
    int best = first;
    long bestDistance = -1;
    for (int i = first; i <= last; ++i) {
        const long dr = long(table[i].r) - c.r;
        const long dg = long(table[i].g) - c.g;
        const long db = long(table[i].b) - c.b;
        const long d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (bestDistance < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

void MapNearest(const QImage& drawn, IndexedImage& out)
{
    assert(drawn.width() == out.Width() && drawn.height() == out.Height());
    for (int y = 0; y < out.Height(); ++y)
        for (int x = 0; x < out.Width(); ++x) {
            const QRgb p = drawn.pixel(x, y);
            out.Set(x, y, uint8_t(NearestEntry(out.Table(), Rgb { uint8_t(qRed(p)), uint8_t(qGreen(p)), uint8_t(qBlue(p)) })));
        }
}

int DitherAlongRamp(const std::vector<int>& ramp, double position, int x, int y)
{
    assert(!ramp.empty());
    const double top = double(ramp.size() - 1);
    position = std::clamp(position, 0.0, top);
    const int below = int(std::floor(position));
    const double fraction = position - below;
    if (below >= int(ramp.size()) - 1)
        return ramp.back();
    return fraction > BayerThreshold(x, y) ? ramp[below + 1] : ramp[below];
}

namespace {

struct Box {
    std::vector<int> pixels; // indices into the colour list
    std::array<int, 3> lo {}, hi {};
};

void Measure(Box& box, const std::vector<std::array<int, 3>>& colours)
{
    box.lo = { 255, 255, 255 };
    box.hi = { 0, 0, 0 };
    for (int p : box.pixels)
        for (int ch = 0; ch < 3; ++ch) {
            box.lo[ch] = std::min(box.lo[ch], colours[p][ch]);
            box.hi[ch] = std::max(box.hi[ch], colours[p][ch]);
        }
}

int WidestChannel(const Box& box)
{
    int best = 0;
    for (int ch = 1; ch < 3; ++ch)
        if (box.hi[ch] - box.lo[ch] > box.hi[best] - box.lo[best])
            best = ch;
    return best;
}

} // namespace

MedianCutResult MedianCut(const QImage& drawn, int maxColours)
{
    const int n = drawn.width() * drawn.height();
    std::vector<std::array<int, 3>> colours(n);
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x) {
            const QRgb p = drawn.pixel(x, y);
            colours[y * drawn.width() + x] = { qRed(p), qGreen(p), qBlue(p) };
        }

    std::vector<Box> boxes(1);
    boxes[0].pixels.resize(n);
    for (int i = 0; i < n; ++i)
        boxes[0].pixels[i] = i;
    Measure(boxes[0], colours);

    while (int(boxes.size()) < maxColours) {
        // Split the box whose widest channel spread is largest; weight it by
        // the square root of its population so big flat areas keep detail.
        int pick = -1;
        double pickScore = 0;
        for (int i = 0; i < int(boxes.size()); ++i) {
            const Box& b = boxes[i];
            const int ch = WidestChannel(b);
            const int spread = b.hi[ch] - b.lo[ch];
            if (spread == 0 || b.pixels.size() < 2)
                continue;
            const double score = spread * std::sqrt(double(b.pixels.size()));
            if (score > pickScore) {
                pick = i;
                pickScore = score;
            }
        }
        if (pick < 0)
            break;
        Box& b = boxes[pick];
        const int ch = WidestChannel(b);
        std::stable_sort(b.pixels.begin(), b.pixels.end(), [&](int a, int c) { return colours[a][ch] < colours[c][ch]; });
        // Cut at the median, moved to the nearest change of value so that
        // equal colours never land in two boxes.
        size_t cut = b.pixels.size() / 2;
        while (cut < b.pixels.size() && colours[b.pixels[cut]][ch] == colours[b.pixels[cut - 1]][ch])
            ++cut;
        if (cut == b.pixels.size()) {
            cut = b.pixels.size() / 2;
            while (cut > 0 && colours[b.pixels[cut]][ch] == colours[b.pixels[cut - 1]][ch])
                --cut;
        }
        Box upper;
        upper.pixels.assign(b.pixels.begin() + long(cut), b.pixels.end());
        b.pixels.resize(cut);
        Measure(b, colours);
        Measure(upper, colours);
        boxes.push_back(std::move(upper));
    }

    MedianCutResult result;
    result.indexOfPixel.assign(n, 0);
    for (const Box& b : boxes) {
        std::array<long, 3> sum {};
        for (int p : b.pixels)
            for (int ch = 0; ch < 3; ++ch)
                sum[ch] += colours[p][ch];
        const long count = long(b.pixels.size());
        const Rgb mean { uint8_t((sum[0] + count / 2) / count), uint8_t((sum[1] + count / 2) / count), uint8_t((sum[2] + count / 2) / count) };
        // Two boxes can average to the same colour; they then share an entry.
        auto found = std::find(result.palette.begin(), result.palette.end(), mean);
        int index = int(found - result.palette.begin());
        if (found == result.palette.end())
            result.palette.push_back(mean);
        for (int p : b.pixels)
            result.indexOfPixel[p] = index;
    }
    return result;
}

} // namespace assetgen
