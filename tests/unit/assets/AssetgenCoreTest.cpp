// Building blocks of the asset generator, on tiny hand-checked inputs.

#include "IndexedImage.h"
#include "Letterforms.h"
#include "Quantise.h"

#include <gtest/gtest.h>

#include <QImage>

#include <set>

namespace assetgen {
namespace {

uint32_t U32(const QByteArray& b, int at)
{
    return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8 | uint8_t(b[at + 2]) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

// 3 x 2 at 4 bits: rows of 2 bytes padded to 4, the bottom row first, the
// even pixel in the high nibble.
TEST(IndexedImageLayout, FourBitRowsArePackedHighNibbleFirstBottomRowFirstAndPadded)
{
    IndexedImage image(3, 2, 4);
    image.Table()[1] = RgbOf(0x102030);
    image.Set(0, 0, 1);
    image.Set(1, 0, 2);
    image.Set(2, 0, 3);
    image.Set(0, 1, 4);
    image.Set(1, 1, 5);
    image.Set(2, 1, 6);
    const QByteArray stored = image.StoredData();
    ASSERT_EQ(stored.size(), 40 + 16 * 4 + 2 * 4);
    EXPECT_EQ(U32(stored, 0), 40u);
    EXPECT_EQ(U32(stored, 4), 3u);
    EXPECT_EQ(U32(stored, 8), 2u);
    EXPECT_EQ(U32(stored, 16), 0u);
    EXPECT_EQ(U32(stored, 32), 0u);
    EXPECT_EQ(QByteArray(stored.constData() + 44, 4), QByteArray("\x30\x20\x10\x00", 4)) << "blue, green, red, reserved";
    const QByteArray rows = stored.right(8);
    EXPECT_EQ(rows, QByteArray("\x45\x60\x00\x00\x12\x30\x00\x00", 8));
}

TEST(IndexedImageLayout, BitmapFileAndIconWrapTheSameStoredData)
{
    IndexedImage image(2, 2, 8);
    image.Set(1, 0, 7);
    const QByteArray stored = image.StoredData();
    const QByteArray file = image.BitmapFile();
    EXPECT_TRUE(file.startsWith("BM"));
    EXPECT_EQ(U32(file, 2), uint32_t(file.size()));
    EXPECT_EQ(U32(file, 10), 14u + 40 + 1024);
    EXPECT_EQ(file.mid(14), stored);

    // Top-left pixel transparent: its mask bit is in the last mask row
    // (rows bottom first), most significant bit first.
    std::vector<bool> transparent = { true, false, false, false };
    const QByteArray ico = image.IconFile(transparent);
    const int header = 6 + 16;
    EXPECT_EQ(U32(ico, 6 + 8), uint32_t(ico.size() - header));
    EXPECT_EQ(U32(ico, header + 8), 4u) << "picture and mask counted as one double-height bitmap";
    const int maskAt = header + 40 + 1024 + 2 * 4;
    ASSERT_EQ(ico.size(), maskAt + 2 * 4);
    EXPECT_EQ(uint8_t(ico[maskAt]), 0x00);
    EXPECT_EQ(uint8_t(ico[maskAt + 4]), 0x80);
}

TEST(Quantising, NearestEntryPrefersTheFirstOfEqualColours)
{
    // The background repeats black at 0, 14 and 15; its pixels must use 0.
    std::vector<Rgb> table(16, RgbOf(0x808080));
    table[0] = table[14] = table[15] = RgbOf(0x000000);
    EXPECT_EQ(NearestEntry(table, RgbOf(0x000000)), 0);
    EXPECT_EQ(NearestEntry(table, RgbOf(0x0A0A0A)), 0);
    EXPECT_EQ(NearestEntry(table, RgbOf(0x000000), 1), 14) << "search can start past an entry";
}

TEST(Quantising, DitherHitsRampEntriesExactlyAndSplitsHalfwayEvenly)
{
    const std::vector<int> ramp = { 3, 7, 9 };
    int upper = 0;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(DitherAlongRamp(ramp, 0.0, x, y), 3);
            EXPECT_EQ(DitherAlongRamp(ramp, 1.0, x, y), 7);
            EXPECT_EQ(DitherAlongRamp(ramp, 2.0, x, y), 9);
            EXPECT_EQ(DitherAlongRamp(ramp, 5.0, x, y), 9) << "clamped";
            upper += DitherAlongRamp(ramp, 1.5, x, y) == 9;
        }
    EXPECT_EQ(upper, 8);
}

QImage Stripes(int colours, int width)
{
    QImage image(width, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < width; ++x) {
            const int k = (x * colours / width);
            image.setPixel(x, y, qRgb(k * 7 % 256, (k * 53) % 256, 255 - k));
        }
    return image;
}

TEST(Quantising, MedianCutKeepsFewColoursExactlyAndUsesEveryEntryWhenCutting)
{
    const QImage few = Stripes(5, 40);
    const MedianCutResult exact = MedianCut(few, 16);
    ASSERT_EQ(exact.palette.size(), 5u);
    for (int x = 0; x < 40; ++x) {
        const Rgb c = exact.palette[exact.indexOfPixel[x]];
        EXPECT_EQ(qRgb(c.r, c.g, c.b), few.pixel(x, 0));
    }

    const QImage many = Stripes(200, 400);
    const MedianCutResult cut = MedianCut(many, 50);
    EXPECT_LE(cut.palette.size(), 50u);
    EXPECT_GE(cut.palette.size(), 45u);
    std::set<int> used(cut.indexOfPixel.begin(), cut.indexOfPixel.end());
    EXPECT_EQ(used.size(), cut.palette.size());
    const MedianCutResult again = MedianCut(many, 50);
    EXPECT_EQ(again.indexOfPixel, cut.indexOfPixel) << "deterministic";
}

TEST(Letterforms, EveryLetterTheArtUsesFillsPartOfItsOwnBox)
{
    const CapitalMetrics m { 14, 28, 5, 3, 4 };
    for (QChar letter : QStringLiteral("VORTEXIANSLFQU.")) {
        SCOPED_TRACE(QString(letter).toStdString());
        const QPainterPath path = CondensedCapital(letter, m);
        ASSERT_FALSE(path.isEmpty());
        const QRectF box(0, 0, CapitalAdvance(letter, m) - m.tracking, m.height);
        EXPECT_TRUE(box.adjusted(-0.01, -0.01, 0.01, 0.01).contains(path.boundingRect())) << "strokes are cut at the box";
        EXPECT_GE(path.boundingRect().height(), letter == u'.' ? m.stroke : m.height - 0.01);
    }
    EXPECT_DOUBLE_EQ(CondensedTextWidth(QStringLiteral("IT"), m), 5 + 4 + 14);
}

TEST(Letterforms, PixelTextAdvancesByGlyphWidthAndGap)
{
    std::set<std::pair<int, int>> pixels;
    const int width = DrawPixelText(QStringLiteral("IT"), 10, 0, 2, SmallCapital, [&](int x, int y) { pixels.insert({ x, y }); });
    EXPECT_EQ(width, 3 + 2 + 5);
    EXPECT_TRUE(pixels.count({ 10, 0 }));     // I's top bar
    EXPECT_TRUE(pixels.count({ 15 + 2, 6 })); // T's stem, bottom row
    EXPECT_FALSE(pixels.count({ 13, 3 }));    // the gap
}

} // namespace
} // namespace assetgen
