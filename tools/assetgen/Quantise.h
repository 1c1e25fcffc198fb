#pragma once

// Turning drawn colour pictures into palette pictures: nearest-entry mapping,
// ordered dithering between neighbouring ramp entries, and a median-cut
// palette for pictures with many colours (the texture).

#include "IndexedImage.h"

#include <QImage>

#include <vector>

namespace assetgen {

// 4 x 4 ordered-dither threshold in (0, 1), the same pattern for every
// picture so that dithered areas line up from one picture to the next.
double BayerThreshold(int x, int y);

// Index of the table entry closest to c (squared distance, red and green
// weighted as the eye weighs them), searched among entries [first, last].
// Ties go to the lower index, so a duplicated black resolves to the first.
int NearestEntry(const std::vector<Rgb>& table, Rgb c, int first = 0, int last = -1);

// Map every pixel of a drawn picture to its nearest entry of the picture's
// own table.
void MapNearest(const QImage& drawn, IndexedImage& out);

// A position along a ramp of table entries, 0 .. ramp.size() - 1, resolved
// to one entry with the ordered dither at (x, y).
int DitherAlongRamp(const std::vector<int>& ramp, double position, int x, int y);

// Median cut: split the picture's colours into at most maxColours boxes
// (always the box with the widest channel spread first) and give each pixel
// its box's mean colour. Every returned entry is used by some pixel. The
// result is deterministic: ties are broken by channel and box order.
struct MedianCutResult {
    std::vector<Rgb> palette;
    std::vector<int> indexOfPixel; // row by row, top first
};
MedianCutResult MedianCut(const QImage& drawn, int maxColours);

} // namespace assetgen
