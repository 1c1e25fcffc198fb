#pragma once

// The lettering of all pictures is drawn from these shapes, so the generator
// needs no font installed and its output never changes with the machine:
// - tall condensed capitals built from stroked centre lines with cut corners
//   (the group's name, the buttons, the dialog's diagonal name);
// - a 5 x 7 pixel alphabet for small spaced capitals;
// - a 3-pixel-wide lower-case alphabet for the logo's wordmark.

#include <QPainterPath>
#include <QString>

#include <vector>

namespace assetgen {

struct CapitalMetrics {
    double width;   // box of a full-width letter
    double height;
    double stroke;  // stem thickness
    double chamfer; // cut taken off the corners of the centre line
    double tracking; // space between letter boxes
};

// One letter with its box's top-left corner at the origin. Letters outside
// the set this program needs give an empty path.
QPainterPath CondensedCapital(QChar letter, const CapitalMetrics& m);
double CapitalAdvance(QChar letter, const CapitalMetrics& m);
double CondensedTextWidth(const QString& text, const CapitalMetrics& m);
// The whole text, starting at the origin.
QPainterPath CondensedText(const QString& text, const CapitalMetrics& m);

// Pixel glyph: rows of '#' and '.', top first.
struct PixelGlyph {
    std::vector<const char*> rows;
    int Width() const;
};

const PixelGlyph& SmallCapital(QChar letter); // 5 x 7; a space is 3 wide
const PixelGlyph& TinyLowerCase(QChar letter); // 3 (w: 5) wide, 9 rows, x-height rows 2..6

// Calls plot(x, y) for each set pixel of the text drawn with the given
// glyph source and gap between glyphs; returns the width drawn.
template <class GlyphOf, class Plot>
int DrawPixelText(const QString& text, int x0, int y0, int gap, GlyphOf glyphOf, Plot plot)
{
    int x = x0;
    for (QChar ch : text) {
        const PixelGlyph& g = glyphOf(ch);
        for (int row = 0; row < int(g.rows.size()); ++row)
            for (int col = 0; g.rows[row][col]; ++col)
                if (g.rows[row][col] == '#')
                    plot(x + col, y0 + row);
        x += g.Width() + gap;
    }
    return x - gap - x0;
}

template <class GlyphOf>
int PixelTextWidth(const QString& text, int gap, GlyphOf glyphOf)
{
    return DrawPixelText(text, 0, 0, gap, glyphOf, [](int, int) {});
}

} // namespace assetgen
