// Pixel encodings, copy on write, colour tables and palettes, stretched
// drawing and assignment.
#include "DIBHelpers.h"

#include "toolkit/BitmapPicture.h"
#include "toolkit/Exceptions.h"
#include "toolkit/JpegImage.h"
#include "toolkit/Picture.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

TEST(DIBPixels, EncodingOfEachDepthWithinItsRow) {
    TDIB dib;
    dib.Allocate(3, 2, 1);
    EXPECT_EQ(dib.RowBytes(), 4);
    std::memset(dib.PBits(), 0, static_cast<std::size_t>(dib.ImageBytes()));
    dib.PutPixel(0, 0, 5);  // any non-zero value sets the bit
    EXPECT_EQ(dib.ScanLine(0)[0], 0x80);
    dib.PutPixel(2, 0, 1);
    dib.PutPixel(0, 0, 0);
    EXPECT_EQ(dib.ScanLine(0)[0], 0x20);
    EXPECT_EQ(dib.GetPixel(2, 0), 1u);

    dib.Allocate(3, 1, 4);
    dib.PutPixel(0, 0, 0x1A);  // low 4 bits only
    dib.PutPixel(1, 0, 0x3);
    EXPECT_EQ(dib.ScanLine(0)[0], 0xA3);
    EXPECT_EQ(dib.GetPixel(0, 0), 0xAu);

    dib.Allocate(2, 1, 24);
    dib.PutPixel(1, 0, 0x112233);
    const std::uint8_t* row = dib.ScanLine(0);
    EXPECT_EQ(row[3], 0x11);  // bits 16-23 go to the first byte
    EXPECT_EQ(row[5], 0x33);
    EXPECT_EQ(dib.GetPixel(1, 0), 0x112233u);

    dib.Allocate(2, 1, 16);
    dib.PutPixel(0, 0, 0x12345);
    EXPECT_EQ(dib.GetPixel(0, 0), 0x2345u);
    dib.Allocate(1, 1, 32);
    dib.PutPixel(0, 0, 0xDEADBEEF);
    EXPECT_EQ(dib.ScanLine(0)[0], 0xEF);
    EXPECT_EQ(dib.GetPixel(0, 0), 0xDEADBEEFu);
}

TEST(DIBPixels, OutsideThePictureReadsZeroAndWritesNothing) {
    TDIB dib;
    dib.Allocate(4, 3, 8);
    std::memset(dib.PBits(), 7, static_cast<std::size_t>(dib.ImageBytes()));
    const Bytes before = StoredOf(dib);
    for (auto [x, y] : {std::pair{-1, 0}, {4, 0}, {0, -1}, {0, 3}}) {
        EXPECT_EQ(dib.GetPixel(x, y), 0u);
        dib.PutPixel(x, y, 1);
    }
    EXPECT_EQ(StoredOf(dib), before);
    try {
        dib.RowAddress(3);
        FAIL();
    } catch (const EInvalidOperation& e) {
        EXPECT_EQ(e.Message(), "Index of the scanning line exceeded the range. (3)");
    }
    EXPECT_THROW(dib.ScanLine(-1), EInvalidOperation);
}

TEST(DIBChannels, FormatsFromCountsAndFromMasks) {
    const TDIBChannelFormat f555 = TDIBChannelFormat::FromCounts(5, 5, 5);
    EXPECT_EQ(f555.RBitMask, 0x7C00u);
    EXPECT_EQ(f555.GBitMask, 0x3E0u);
    EXPECT_EQ(f555.BBitMask, 0x1Fu);
    EXPECT_EQ(f555.RShift, 7);
    EXPECT_EQ(f555.BShift, 3);
    const TDIBChannelFormat f888 = TDIBChannelFormat::FromCounts(8, 8, 8);
    EXPECT_EQ(f888.RBitMask, 0xFF0000u);
    const TDIBChannelFormat f565 = TDIBChannelFormat::FromMasks(0xF800, 0x7E0, 0x1F);
    EXPECT_EQ(f565.GBitCount, 6u);
    EXPECT_EQ(f565.ToRGB(0xF800), 0xFF0000u);
    EXPECT_EQ(f565.FromRGB(0, 255, 0), 0x7E0u);
    // Masks in blue-green-red order stay where the header put them.
    const TDIBChannelFormat bgr = TDIBChannelFormat::FromMasks(0xFF, 0xFF00, 0xFF0000);
    EXPECT_EQ(bgr.ToRGB(0x0000FF), 0xFF0000u);
    // Overlapping masks fall back to counts packed from the top.
    const TDIBChannelFormat odd = TDIBChannelFormat::FromMasks(0xFFFF, 0xFFFF, 0xFFFF);
    EXPECT_EQ(odd.RBitCount, 16u);
    EXPECT_EQ(TDIBChannelFormat::FromMasks(0, 0, 0).RBitMask, 0u);
}

TEST(DIBCopyOnWrite, SharedStorageIsCopiedAtTheFirstWriteOnly) {
    TDIB a;
    a.Allocate(4, 4, 8);
    std::memset(a.PBits(), 1, static_cast<std::size_t>(a.ImageBytes()));
    TDIB b;
    b.AssignFrom(&a);
    EXPECT_EQ(a.Image(), b.Image());
    EXPECT_EQ(a.Image()->RefCount(), 2);
    EXPECT_EQ(b.GetPixel(1, 1), 1u);  // reading does not copy
    EXPECT_EQ(a.Image(), b.Image());

    b.PutPixel(1, 1, 9);
    EXPECT_NE(a.Image(), b.Image());
    EXPECT_EQ(a.GetPixel(1, 1), 1u);
    EXPECT_EQ(b.GetPixel(1, 1), 9u);

    TDIB c;
    c.AssignFrom(&a);
    c.Canvas().Paint([](QPainter& p) { p.fillRect(0, 0, 2, 2, QColor(255, 255, 255)); });
    EXPECT_EQ(a.GetPixel(0, 0), 1u);
    EXPECT_EQ(c.GetPixel(0, 0), 255u);  // white is grey-ramp entry 255
    EXPECT_EQ(c.GetPixel(3, 3), 1u);    // untouched pixels keep their index
}

TEST(DIBColorTable, ApplyingTheSameTableMakesNoCopyAndKeepsThePalette) {
    TDIB a;
    a.Allocate(2, 2, 4);
    TDIB b;
    b.AssignFrom(&a);
    const TLogicalPalette* palette = b.PaletteHandle();
    ASSERT_NE(palette, nullptr);
    b.ApplyColorTable();
    EXPECT_EQ(a.Image(), b.Image());
    EXPECT_EQ(b.PaletteHandle(), palette);

    b.ColorTable[3] = TRGBQuad{10, 20, 30, 4};
    b.ApplyColorTable();
    EXPECT_NE(a.Image(), b.Image());
    EXPECT_EQ(a.ColorTable[3], (TRGBQuad{3, 3, 3, 0}));
    const TLogicalPalette* fresh = b.PaletteHandle();
    ASSERT_EQ(fresh->Count(), 16);
    EXPECT_EQ(fresh->Version(), 0x300);
    EXPECT_EQ(fresh->Entries()[3], (TPaletteEntry{30, 20, 10, 4}));
    EXPECT_EQ(StoredOf(b)[40 + 12], 10);  // the info block's table follows
    EXPECT_TRUE(b.PaletteModified());

    TLogicalPalette incoming({{200, 100, 50, 0}, {1, 2, 3, 0}});
    b.SetPalette(&incoming);
    EXPECT_EQ(b.ColorTable[0], (TRGBQuad{50, 100, 200, 0}));
    EXPECT_EQ(b.Image()->ColorTable()[1], (TRGBQuad{3, 2, 1, 0}));
}

TEST(DIBDrawing, StretchedCopyTakesTheNearestPixelAndClips) {
    TDIB dib;
    dib.ColorTable[1] = TRGBQuad{0, 0, 255, 0};
    dib.ColorTable[2] = TRGBQuad{0, 255, 0, 0};
    dib.ColorTable[3] = TRGBQuad{255, 0, 0, 0};
    dib.ApplyColorTable();
    dib.Allocate(2, 2, 8);
    dib.PutPixel(0, 0, 0);
    dib.PutPixel(1, 0, 1);
    dib.PutPixel(0, 1, 2);
    dib.PutPixel(1, 1, 3);

    QImage target(5, 5, QImage::Format_RGB32);
    target.fill(QColor(9, 9, 9));
    {
        QPainter painter(&target);
        dib.DrawTo(painter, TRect{1, 1, 5, 5});
    }
    EXPECT_EQ(target.pixel(0, 0), qRgb(9, 9, 9));
    EXPECT_EQ(target.pixel(1, 1), qRgb(0, 0, 0));
    EXPECT_EQ(target.pixel(2, 2), qRgb(0, 0, 0));
    EXPECT_EQ(target.pixel(3, 1), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(4, 4), qRgb(0, 0, 255));

    // Partly outside the buffer; mirrored horizontally.
    std::uint32_t pixels[3 * 3] = {};
    dib.StretchToPixels(pixels, 3, 3, 3 * 4, TRect{2, -1, 4, 1});
    EXPECT_EQ(pixels[2], 0xFF00FF00u);  // bottom-left source pixel at (2, 0)
    EXPECT_EQ(pixels[3], 0u);
    dib.StretchToPixels(pixels, 3, 3, 3 * 4, TRect{2, 1, 0, 3});
    EXPECT_EQ(pixels[1 * 3 + 0], 0xFFFF0000u);
    EXPECT_EQ(pixels[1 * 3 + 1], 0xFF000000u);
}

class Foreign : public TPersistent {
public:
    const char* ClassName() const override { return "TFont"; }
};

TEST(DIBAssign, EveryKindOfSource) {
    TDIB dib;
    dib.Allocate(2, 2, 8);
    dib.AssignFrom(nullptr);
    EXPECT_TRUE(dib.Empty());

    // A device bitmap brings its depth, palette and pixels.
    QImage indexed(3, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(10, 20, 30), qRgb(200, 100, 0), qRgb(0, 0, 255)});
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) indexed.setPixel(x, y, static_cast<uint>((x + y) % 3));
    TBitmap bitmap;
    bitmap.SetImage(indexed);
    dib.AssignFrom(&bitmap);
    ASSERT_EQ(dib.BitCount(), 8);
    EXPECT_EQ(dib.ColorTable[1], (TRGBQuad{0, 100, 200, 0}));
    EXPECT_EQ(dib.GetPixel(2, 1), 0u);
    EXPECT_EQ(dib.GetPixel(1, 0), 1u);
    EXPECT_EQ(dib.GetPixel(2, 0), 2u);

    // Any other picture becomes 24 bits; a container hands over its picture.
    TJPEGImage jpeg;
    QImage grey(4, 4, QImage::Format_RGB32);
    grey.fill(QColor(128, 128, 128));
    jpeg.SetImage(grey);
    TPicture picture;
    picture.Assign(&jpeg);
    dib.AssignFrom(&picture);
    EXPECT_EQ(dib.BitCount(), 24);
    EXPECT_NEAR(static_cast<int>(dib.PixelColor(2, 2) & 0xFF), 128, 3);
    TPicture emptyPicture;
    dib.AssignFrom(&emptyPicture);
    EXPECT_TRUE(dib.Empty());

    Foreign font;
    try {
        dib.AssignFrom(&font);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Cannot assign a TFont to a TDIB");
    }
}

TEST(DIBAssign, DeviceBitmapsTakeTheScreenFormatAndSectionsTheirMasks) {
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(QColor(10, 200, 30));
    image.setPixel(2, 1, qRgb(255, 0, 128));
    TBitmap bitmap;
    bitmap.SetImage(image);
    bitmap.SetHandleType(TBitmapHandleType::bmDDB);
    TDIB dib;
    dib.AssignFrom(&bitmap);
    EXPECT_EQ(dib.BitCount(), 32);
    EXPECT_EQ(dib.ChannelFormat().RBitMask, 0xFF0000u);
    EXPECT_EQ(dib.PixelColor(0, 0), 0x0AC81Eu);
    EXPECT_EQ(dib.PixelColor(2, 1), 0xFF0080u);

    // A 16-bit section with 5-6-5 masks keeps them.
    TDIB source;
    source.WantedChannelFormat = TDIBChannelFormat::FromMasks(0xF800, 0x7E0, 0x1F);
    source.Allocate(2, 2, 16);
    source.PutPixel(0, 0, 0xF800);
    TBitmap section;
    TMemoryStream file;
    source.WriteBitmapFile(file);
    file.SetPosition(0);
    section.LoadFromStream(file);
    EXPECT_EQ(section.ObjectInfo().greenMask, 0x7E0u);
    dib.AssignFrom(&section);
    EXPECT_EQ(dib.BitCount(), 16);
    EXPECT_EQ(dib.ChannelFormat().GBitMask, 0x7E0u);
    EXPECT_EQ(dib.GetPixel(0, 0), 0xF800u);
}

TEST(DIBSizesChange, WidthAndHeightReallocateOrEmpty) {
    TDIB dib;
    dib.SetWidth(5);
    EXPECT_EQ(dib.Height(), 1);
    EXPECT_EQ(dib.BitCount(), 8);
    dib.Allocate(5, 3, 4);
    dib.SetHeight(7);
    EXPECT_EQ(dib.BitCount(), 4);
    EXPECT_EQ(dib.Width(), 5);
    dib.SetWidth(0);
    EXPECT_TRUE(dib.Empty());
    EXPECT_EQ(dib.Image(), TDIBSharedImage::EmptyImage());
}

}  // namespace
