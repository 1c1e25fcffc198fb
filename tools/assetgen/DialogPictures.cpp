#include "DialogPictures.h"

#include "Drawing.h"
#include "Letterforms.h"
#include "Quantise.h"

#include <QPolygonF>
#include <QTransform>

#include <cmath>

namespace assetgen {

IndexedImage MakeDialogBackground()
{
    constexpr int W = 301, H = 213;
    IndexedImage bg(W, H, 8);
    bg.Table()[0] = RgbOf(0xFCE3C8); // pale orange
    bg.Table()[1] = RgbOf(0xF3AE96); // salmon
    bg.Fill(0);

    // Two colours only, so the letters are filled without antialiasing.
    const CapitalMetrics m { 32, 54, 10, 8, 8 };
    const QString name = QStringLiteral("VORTEXIA");
    const double width = CondensedTextWidth(name, m);
    QTransform place;
    place.translate(W / 2.0, H / 2.0);
    place.rotate(-33);
    place.translate(-width / 2, -m.height / 2);
    const Coverage cover(place.map(CondensedText(name, m)), QSize(W, H), false);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (cover.Any(x, y))
                bg.Set(x, y, 1);
    return bg;
}

namespace {

// The sixteen colours of the classic display palette; glyphs draw with
// these so that they look at home in a list box.
const std::vector<Rgb> StandardSixteen = {
    RgbOf(0x000000), RgbOf(0x800000), RgbOf(0x008000), RgbOf(0x808000),
    RgbOf(0x000080), RgbOf(0x800080), RgbOf(0x008080), RgbOf(0xC0C0C0),
    RgbOf(0x808080), RgbOf(0xFF0000), RgbOf(0x00FF00), RgbOf(0xFFFF00),
    RgbOf(0x0000FF), RgbOf(0xFF00FF), RgbOf(0x00FFFF), RgbOf(0xFFFFFF),
};
enum : uint8_t { K = 0, Maroon = 1, Green = 2, Olive = 3, Navy = 4, Teal = 6, Silver = 7, Grey = 8, Red = 9, Lime = 10, Yellow = 11, Blue = 12, Fuchsia = 13, Aqua = 14, White = 15 };

// Key shared by all glyph drawings. Teal is the transparent ground: no
// glyph uses it, and it fills the bottom-left pixel of every glyph.
constexpr const char* GlyphKeys = "KWYOSGLNBRCFgM";
const std::vector<uint8_t> GlyphKeyIndices = { K, White, Yellow, Olive, Silver, Grey, Lime, Navy, Blue, Red, Aqua, Fuchsia, Green, Maroon };

IndexedImage GlyphFrom(int w, int h, const std::vector<const char*>& rows)
{
    IndexedImage g(w, h, 4);
    g.Table() = StandardSixteen;
    g.Fill(Teal);
    PlotPixelArt(g, 0, 0, rows, GlyphKeys, GlyphKeyIndices);
    return g;
}

} // namespace

std::vector<Glyph> MakeListGlyphs()
{
    std::vector<Glyph> glyphs;
    glyphs.push_back({ QStringLiteral("openfolder.bmp"), GlyphFrom(16, 15, {
        "................",
        "................",
        ".KKKKK..........",
        "KWWWWWK.........",
        "KWYYYYWKKKKKKK..",
        "KWYYYYYYYYYYYK..",
        "KWYYKKKKKKKKKKKK",
        "KWYKWWWWWWWWWWWK",
        "KWYKWYYYYYYYYYK.",
        "KWKWYYYYYYYYYOK.",
        "KWKWYYYYYYYYYK..",
        "KKWYYYYYYYYYOK..",
        "KKWYYYYYYYYYK...",
        "KKKKKKKKKKKKK...",
        "................",
    }) });
    glyphs.push_back({ QStringLiteral("currentfolder.bmp"), GlyphFrom(16, 15, {
        "................",
        "......KKKKKKK...",
        ".KKKKKKWWWWWWK..",
        "KWWWWWKWGGGGWK..",
        "KWYYYYKWWWWWWKK.",
        "KWYYYYKWGGGGWWK.",
        "KWYYKKKKKKKKKKKK",
        "KWYKWWWWWWWWWWWK",
        "KWYKWYYYYYYYYYK.",
        "KWKWYYYYYYYYYOK.",
        "KWKWYYYYYYYYYK..",
        "KKWYYYYYYYYYOK..",
        "KKWYYYYYYYYYK...",
        "KKKKKKKKKKKKK...",
        "................",
    }) });
    glyphs.push_back({ QStringLiteral("closedfolder.bmp"), GlyphFrom(16, 15, {
        "................",
        "................",
        ".KKKKK..........",
        "KWWWWWK.........",
        "KWYYYYWKKKKKKK..",
        "KWWWWWWWWWWWWYK.",
        "KWYYYYYYYYYYYOK.",
        "KWYYYYYYYYYYYOK.",
        "KWYYYYYYYYYYYOK.",
        "KWYYYYYYYYYYYOK.",
        "KWYYYYYYYYYYYOK.",
        "KWYYYYYYYYYYYOK.",
        "KOOOOOOOOOOOOOK.",
        "KKKKKKKKKKKKKKK.",
        "................",
    }) });
    glyphs.push_back({ QStringLiteral("floppy.bmp"), GlyphFrom(16, 11, {
        "...KKKKKKKKKK...",
        "...KNNSSSSSNNK..",
        "...KNNSSKSSNNK..",
        "...KNNSSSSSNNK..",
        "...KNNNNNNNNNK..",
        "...KNWWWWWWWNK..",
        "...KNWGGGGGWNK..",
        "...KNWWWWWWWNK..",
        "...KNWGGGGGWNK..",
        "...KNWWWWWWWNK..",
        "...KKKKKKKKKKK..",
    }) });
    glyphs.push_back({ QStringLiteral("hard.bmp"), GlyphFrom(16, 11, {
        "................",
        "....KKKKKKKKKKK.",
        "...KWWWWWWWWWKK.",
        "..KWWWWWWWWWKGK.",
        ".KKKKKKKKKKKGGK.",
        ".KSSSSSSSSSKGGK.",
        ".KSSSSSSSSSKGK..",
        ".KSLLSGGGGSKK...",
        ".KKKKKKKKKKK....",
        "................",
        "................",
    }) });
    glyphs.push_back({ QStringLiteral("network.bmp"), GlyphFrom(16, 11, {
        "....KKKKKKKKKKK.",
        "...KWWWWWWWWWKK.",
        "..KWWWWWWWWWKGK.",
        ".KKKKKKKKKKKGGK.",
        ".KSSSSSSSSSKGK..",
        ".KSLLSGGGGSKK...",
        ".KKKKKKKKKKK....",
        "......KK........",
        "......KK........",
        ".KKKKKKKKKKKKKK.",
        "................",
    }) });
    glyphs.push_back({ QStringLiteral("cdrom.bmp"), GlyphFrom(16, 11, {
        ".....KKKKK......",
        "...KKSWWWSKK....",
        "..KSWWCWWWWSK...",
        ".KSWWCCWWWWWSK..",
        ".KSWWWKKKWWWSK..",
        ".KSWWWK.KWWWSK..",
        ".KSWWWKKKWWFSK..",
        ".KSWWWWWWWFFSK..",
        "..KSWWWWWWWSK...",
        "...KKSWWWSKK....",
        ".....KKKKK......",
    }) });
    glyphs.push_back({ QStringLiteral("ram.bmp"), GlyphFrom(16, 11, {
        "................",
        "................",
        ".KKKKKKKKKKKKKK.",
        ".KgggggggggggggK",
        ".KgKKgKKgKKgKKgK",
        ".KgKKgKKgKKgKKgK",
        ".KgggggggggggggK",
        ".KYKYKYKYKYKYKYK",
        ".KKKKKKKKKKKKKKK",
        "................",
        "................",
    }) });
    return glyphs;
}

Icon MakeProgramIcon()
{
    // The emblem as a thick coin seen from slightly above: a green face
    // with the black ring and cross, a darker rim below it.
    constexpr int N = 32, Super = 8;
    const double cx = 16, cy = 14, rx = 14.5, ry = 11.5, depth = 4.5;
    // An orange arrow pointing down into the coin's lower right: install.
    const QPolygonF arrowOuter({ { 22, 15 }, { 28, 15 }, { 28, 23 }, { 32, 23 }, { 25, 31 }, { 18, 23 }, { 22, 23 } });
    const QPolygonF arrowInner({ { 23.2, 16.2 }, { 26.8, 16.2 }, { 26.8, 24.2 }, { 29.4, 24.2 }, { 25, 29.3 }, { 20.6, 24.2 }, { 23.2, 24.2 } });
    QImage drawn(N, N, QImage::Format_ARGB32);
    drawn.fill(Qt::transparent);
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            double rgb[3] = { 0, 0, 0 };
            int hits = 0;
            for (int sy = 0; sy < Super; ++sy)
                for (int sx = 0; sx < Super; ++sx) {
                    const double px = x + (sx + 0.5) / Super, py = y + (sy + 0.5) / Super;
                    const double fx = (px - cx) / rx, fy = (py - cy) / ry;
                    const double fr = std::hypot(fx, fy);
                    Rgb c;
                    if (arrowInner.containsPoint({ px, py }, Qt::OddEvenFill)) {
                        c = Mix(RgbOf(0xFFD850), RgbOf(0xE8620E), (py - 16) / 13);
                    } else if (arrowOuter.containsPoint({ px, py }, Qt::OddEvenFill)) {
                        c = RgbOf(0x3A1804);
                    } else if (fr <= 1) {
                        // Face: light from the upper left.
                        const double light = 0.75 + 0.35 * (-fx - fy) / 2;
                        c = Mix(RgbOf(0x0E5A22), RgbOf(0x7CD65A), std::clamp(light - 0.25 + 0.15 * std::sin(7 * fx + 3 * fy), 0.0, 1.0));
                        const bool ring = fr >= 0.64 && fr <= 0.82;
                        const bool cross = fr < 0.8 && (std::abs(fx) * rx < 2.1 || std::abs(fy) * ry < 1.7);
                        if (ring || cross)
                            c = RgbOf(0x050805);
                        // A bright lip along the face's edge, strongest towards the light.
                        if (fr > 0.92)
                            c = Mix(c, RgbOf(0xD8F8B0), 0.3 + 0.4 * std::clamp((-fx - fy) / 1.4, 0.0, 1.0));
                    } else {
                        // Rim: the same ellipse pushed down by the coin's thickness.
                        const double ry2 = (py - cy - depth) / ry;
                        if (std::hypot(fx, ry2) > 1 || py < cy || std::abs(fx) > 1)
                            continue;
                        c = Mix(RgbOf(0x06301A), RgbOf(0x2E8A3E), std::clamp(0.6 - 0.6 * fx, 0.0, 1.0));
                    }
                    rgb[0] += c.r;
                    rgb[1] += c.g;
                    rgb[2] += c.b;
                    ++hits;
                }
            if (hits * 2 < Super * Super)
                continue;
            drawn.setPixel(x, y, qRgba(int(rgb[0] / hits), int(rgb[1] / hits), int(rgb[2] / hits), 255));
        }

    // Quantise the opaque pixels to 15 colours; entry 0 stays black and
    // serves the transparent pixels, as the icon's mask expects.
    QImage opaque(N, N, QImage::Format_RGB32);
    std::vector<QRgb> list;
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x)
            if (qAlpha(drawn.pixel(x, y)))
                list.push_back(drawn.pixel(x, y));
    QImage strip(int(list.size()), 1, QImage::Format_RGB32);
    for (int i = 0; i < int(list.size()); ++i)
        strip.setPixel(i, 0, list[i]);
    const MedianCutResult cut = MedianCut(strip, 15);

    Icon icon { IndexedImage(N, N, 4), std::vector<bool>(N * N, true), QImage(N, N, QImage::Format_ARGB32) };
    for (size_t i = 0; i < cut.palette.size(); ++i)
        icon.image.Table()[i + 1] = cut.palette[i];
    icon.preview.fill(Qt::transparent);
    int next = 0;
    for (int y = 0; y < N; ++y)
        for (int x = 0; x < N; ++x) {
            if (!qAlpha(drawn.pixel(x, y))) {
                icon.image.Set(x, y, 0);
                continue;
            }
            const uint8_t index = uint8_t(cut.indexOfPixel[next++] + 1);
            icon.image.Set(x, y, index);
            icon.transparent[size_t(y) * N + x] = false;
            const Rgb c = icon.image.Table()[index];
            icon.preview.setPixel(x, y, qRgba(c.r, c.g, c.b, 255));
        }
    return icon;
}

} // namespace assetgen
