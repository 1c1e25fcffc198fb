#include "Letterforms.h"

#include <QPainterPathStroker>
#include <QPolygonF>

#include <cmath>
#include <cstring>
#include <map>

namespace assetgen {

namespace {

bool IsNarrow(QChar letter)
{
    return letter == u'I' || letter == u'.';
}

// Centre-line frame of a letter box: the stroke's outer edges then touch the
// box. Corner cuts and the bar height are taken in this frame.
struct Frame {
    double l, r, t, b, m, cx, c;
};

} // namespace

QPainterPath CondensedCapital(QChar letter, const CapitalMetrics& m)
{
    const double w = IsNarrow(letter) ? m.stroke : m.width;
    const double h = m.height;
    const double half = m.stroke / 2;
    // The centre stem sits on whole pixels when the box and stroke do.
    const double centre = std::round((w - m.stroke) / 2) + half;
    Frame f { half, w - half, half, h - half, 0, centre, m.chamfer };
    f.m = f.t + (f.b - f.t) * 0.48;

    std::vector<QPolygonF> open;
    std::vector<QPolygonF> closed;
    auto line = [&](std::initializer_list<QPointF> pts) { open.emplace_back(QList<QPointF>(pts)); };
    auto ring = [&](std::initializer_list<QPointF> pts) { closed.emplace_back(QList<QPointF>(pts)); };
    const double l = f.l, r = f.r, t = f.t, b = f.b, mid = f.m, cx = f.cx, c = f.c;

    switch (letter.unicode()) {
    case u'A':
        line({ { l, b + half }, { l, t + c }, { l + c, t }, { r - c, t }, { r, t + c }, { r, b + half } });
        line({ { l, mid }, { r, mid } });
        break;
    case u'E':
        line({ { r + half, t }, { l, t }, { l, b }, { r + half, b } });
        line({ { l, mid }, { r - (r - l) * 0.18, mid } });
        break;
    case u'F':
        line({ { r + half, t }, { l, t }, { l, b + half } });
        line({ { l, mid }, { r - (r - l) * 0.18, mid } });
        break;
    case u'I':
        line({ { cx, t - half }, { cx, b + half } });
        break;
    case u'L':
        line({ { l, t - half }, { l, b }, { r + half, b } });
        break;
    case u'N':
        line({ { l, b + half }, { l, t }, { r, b }, { r, t - half } });
        break;
    case u'O':
        ring({ { l + c, t }, { r - c, t }, { r, t + c }, { r, b - c }, { r - c, b }, { l + c, b }, { l, b - c }, { l, t + c } });
        break;
    case u'Q':
        ring({ { l + c, t }, { r - c, t }, { r, t + c }, { r, b - c }, { r - c, b }, { l + c, b }, { l, b - c }, { l, t + c } });
        line({ { cx, b - (b - t) * 0.22 }, { r + half, b + half } });
        break;
    case u'R':
        line({ { l, b + half }, { l, t }, { r - c, t }, { r, t + c }, { r, mid - c }, { r - c, mid }, { l, mid } });
        line({ { l + (r - l) * 0.4, mid }, { r, b - (b - mid) * 0.3 }, { r, b + half } });
        break;
    case u'S':
        line({ { r + half, t }, { l + c, t }, { l, t + c }, { l, mid - c }, { l + c, mid }, { r - c, mid }, { r, mid + c }, { r, b - c }, { r - c, b }, { l - half, b } });
        break;
    case u'T':
        line({ { l - half, t }, { r + half, t } });
        line({ { cx, t }, { cx, b + half } });
        break;
    case u'U':
        line({ { l, t - half }, { l, b - c }, { l + c, b }, { r - c, b }, { r, b - c }, { r, t - half } });
        break;
    case u'V':
        line({ { l, t - half }, { l, t + (b - t) * 0.5 }, { cx, b + half } });
        line({ { r, t - half }, { r, t + (b - t) * 0.5 }, { cx, b + half } });
        break;
    case u'X': {
        const double k = (b - t) * 0.2;
        line({ { l, t - half }, { l, t + k }, { r, b - k }, { r, b + half } });
        line({ { r, t - half }, { r, t + k }, { l, b - k }, { l, b + half } });
        break;
    }
    case u'.': {
        QPainterPath dot;
        dot.addRect(QRectF(0, h - m.stroke, m.stroke, m.stroke));
        return dot;
    }
    default:
        return {};
    }

    QPainterPathStroker stroker;
    stroker.setWidth(m.stroke);
    stroker.setCapStyle(Qt::FlatCap);
    stroker.setJoinStyle(Qt::MiterJoin);
    stroker.setMiterLimit(8);
    QPainterPath shape;
    shape.setFillRule(Qt::WindingFill);
    for (const QPolygonF& p : open) {
        QPainterPath centre;
        centre.addPolygon(p);
        shape = shape.united(stroker.createStroke(centre));
    }
    for (const QPolygonF& p : closed) {
        QPainterPath centre;
        centre.addPolygon(p);
        centre.closeSubpath();
        shape = shape.united(stroker.createStroke(centre));
    }
    // Lines run half a stroke past the box so that their ends are cut
    // square by the box itself.
    QPainterPath box;
    box.addRect(QRectF(0, 0, w, h));
    return shape.intersected(box).simplified();
}

double CapitalAdvance(QChar letter, const CapitalMetrics& m)
{
    return (IsNarrow(letter) ? m.stroke : m.width) + m.tracking;
}

double CondensedTextWidth(const QString& text, const CapitalMetrics& m)
{
    double w = 0;
    for (QChar ch : text)
        w += CapitalAdvance(ch, m);
    return text.isEmpty() ? 0 : w - m.tracking;
}

QPainterPath CondensedText(const QString& text, const CapitalMetrics& m)
{
    QPainterPath all;
    double x = 0;
    for (QChar ch : text) {
        if (ch != u' ')
            all.addPath(CondensedCapital(ch, m).translated(x, 0));
        x += ch == u' ' ? m.width * 0.6 + m.tracking : CapitalAdvance(ch, m);
    }
    return all;
}

int PixelGlyph::Width() const
{
    return rows.empty() ? 0 : int(std::strlen(rows[0]));
}

const PixelGlyph& SmallCapital(QChar letter)
{
    static const std::map<char16_t, PixelGlyph> glyphs = {
        { u' ', { { "...", "...", "...", "...", "...", "...", "..." } } },
        { u'A', { { ".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#" } } },
        { u'B', { { "####.", "#...#", "#...#", "####.", "#...#", "#...#", "####." } } },
        { u'C', { { ".###.", "#...#", "#....", "#....", "#....", "#...#", ".###." } } },
        { u'D', { { "####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####." } } },
        { u'E', { { "#####", "#....", "#....", "####.", "#....", "#....", "#####" } } },
        { u'F', { { "#####", "#....", "#....", "####.", "#....", "#....", "#...." } } },
        { u'G', { { ".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####" } } },
        { u'H', { { "#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#" } } },
        { u'I', { { "###", ".#.", ".#.", ".#.", ".#.", ".#.", "###" } } },
        { u'K', { { "#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#" } } },
        { u'L', { { "#....", "#....", "#....", "#....", "#....", "#....", "#####" } } },
        { u'M', { { "#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#" } } },
        { u'N', { { "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#" } } },
        { u'O', { { ".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###." } } },
        { u'P', { { "####.", "#...#", "#...#", "####.", "#....", "#....", "#...." } } },
        { u'R', { { "####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#" } } },
        { u'S', { { ".####", "#....", "#....", ".###.", "....#", "....#", "####." } } },
        { u'T', { { "#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.." } } },
        { u'U', { { "#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###." } } },
        { u'V', { { "#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.." } } },
        { u'W', { { "#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#" } } },
        { u'X', { { "#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#" } } },
        { u'Y', { { "#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.." } } },
    };
    auto it = glyphs.find(letter.unicode());
    return it != glyphs.end() ? it->second : glyphs.at(u' ');
}

const PixelGlyph& TinyLowerCase(QChar letter)
{
    // Rows 0..1 ascenders, 2..6 x-height, 7..8 descenders.
    static const std::map<char16_t, PixelGlyph> glyphs = {
        { u' ', { { "..", "..", "..", "..", "..", "..", "..", "..", ".." } } },
        { u'd', { { "..#", "..#", ".##", "#.#", "#.#", "#.#", ".##", "...", "..." } } },
        { u'g', { { "...", "...", ".##", "#.#", "#.#", "#.#", ".##", "..#", "##." } } },
        { u'i', { { "#", ".", "#", "#", "#", "#", "#", ".", "." } } },
        { u'k', { { "#..", "#..", "#.#", "#.#", "##.", "#.#", "#.#", "...", "..." } } },
        { u'n', { { "...", "...", "##.", "#.#", "#.#", "#.#", "#.#", "...", "..." } } },
        { u's', { { "...", "...", ".##", "#..", ".#.", "..#", "##.", "...", "..." } } },
        { u'u', { { "...", "...", "#.#", "#.#", "#.#", "#.#", ".##", "...", "..." } } },
        { u'w', { { ".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#.", ".....", "....." } } },
    };
    auto it = glyphs.find(letter.unicode());
    return it != glyphs.end() ? it->second : glyphs.at(u' ');
}

} // namespace assetgen
