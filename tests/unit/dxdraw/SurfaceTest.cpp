// Surface wrappers over the display layer: clipping of Draw, colour keys,
// pixel access, creation fall-backs, loss, canvas, loading pictures.
#include "render/DIB.h"
#include "render/DirectDraw.h"
#include "render/DirectDrawLibrary.h"
#include "toolkit/Fonts.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <memory>

using namespace ddraw;

namespace {

class SurfaceTest : public ::testing::Test {
protected:
    void SetUp() override { ddraw::testing::Reset(); dd = std::make_unique<TDirectDraw>(); }
    void TearDown() override { ddraw::testing::Reset(); }

    std::unique_ptr<TDirectDrawSurface> Make(int w, int h, bool systemMemory = true) {
        auto s = std::make_unique<TDirectDrawSurface>(*dd);
        s->SystemMemory = systemMemory;
        s->SetSize(w, h);
        return s;
    }
    // Every pixel gets a value naming its position.
    static void Number(TDirectDrawSurface& s, std::uint32_t base) {
        for (int y = 0; y < s.Height(); ++y)
            for (int x = 0; x < s.Width(); ++x) s.SetPixel(x, y, base + static_cast<std::uint32_t>(y * 256 + x));
    }
    static void Clear(TDirectDrawSurface& s, std::uint32_t value) { s.Fill(value); }

    std::unique_ptr<TDirectDraw> dd;
};

struct ClipRow {
    const char* what;
    int x, y;
    TRect src, destBounds, srcBounds;
    bool left;
    TRect expectDest, expectSrc;
};

TEST(ClipBlitRects, FollowsTheRuleInOrder) {
    const TRect b20{0, 0, 20, 20};
    const ClipRow rows[] = {
        {"inside", 10, 10, {0, 0, 5, 5}, b20, b20, true, {10, 10, 15, 15}, {0, 0, 5, 5}},
        {"over left and top", -2, -3, {0, 0, 5, 5}, b20, b20, true, {0, 0, 3, 2}, {2, 3, 5, 5}},
        {"over right and bottom", 18, 17, {0, 0, 5, 5}, b20, b20, true, {18, 17, 20, 20}, {0, 0, 2, 3}},
        {"source beyond its own top left", 0, 0, {-1, -2, 4, 4}, b20, {0, 0, 4, 4}, true, {1, 2, 5, 6}, {0, 0, 4, 4}},
        {"source beyond its own bottom right", 5, 5, {2, 2, 8, 9}, b20, {0, 0, 6, 6}, true, {5, 5, 9, 9}, {2, 2, 6, 6}},
        {"wholly right", 25, 0, {0, 0, 5, 5}, b20, b20, false, {}, {}},
        {"wholly left", -10, 0, {0, 0, 5, 5}, b20, b20, false, {}, {}},
        {"wholly below", 0, 20, {0, 0, 5, 5}, b20, b20, false, {}, {}},
        {"empty source", 3, 3, {4, 4, 4, 9}, b20, b20, false, {}, {}},
    };
    for (const ClipRow& r : rows) {
        TRect d{r.x, r.y, r.x + r.src.Width(), r.y + r.src.Height()};
        TRect s = r.src;
        EXPECT_EQ(ClipBlitRects(d, s, r.destBounds, r.srcBounds), r.left) << r.what;
        if (r.left) {
            EXPECT_EQ(d, r.expectDest) << r.what;
            EXPECT_EQ(s, r.expectSrc) << r.what;
        }
    }
}

TEST_F(SurfaceTest, DrawCopiesOnlyTheOverlap) {
    auto src = Make(8, 8);
    auto dst = Make(10, 10);
    Number(*src, 0x100000);
    Clear(*dst, 7);
    dst->Draw(6, -2, src->ClientRect(), src.get(), false);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 6 && y < 6;
            const std::uint32_t want = inside ? 0x100000u + static_cast<std::uint32_t>((y + 2) * 256 + (x - 6)) : 7u;
            ASSERT_EQ(dst->Pixel(x, y), want) << x << "," << y;
        }
    EXPECT_EQ(dst->LastResult(), DD_OK);
}

TEST_F(SurfaceTest, DrawWhollyOutsideCopiesNothing) {
    auto src = Make(4, 4);
    auto dst = Make(6, 6);
    Number(*src, 0x10);
    Clear(*dst, 3);
    dst->SetLastResult(DDERR_GENERIC);
    dst->Draw(6, 0, src->ClientRect(), src.get(), false);
    dst->Draw(0, -4, src->ClientRect(), src.get(), false);
    EXPECT_EQ(dst->LastResult(), DDERR_GENERIC) << "no platform call was made";
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) ASSERT_EQ(dst->Pixel(x, y), 3u);
}

TEST_F(SurfaceTest, DrawOntoItself) {
    auto s = Make(6, 3);
    Number(*s, 0);
    s->SetLastResult(DDERR_GENERIC);
    s->Draw(0, 0, s->ClientRect(), s.get(), false);
    EXPECT_EQ(s->LastResult(), DDERR_GENERIC) << "source equal to destination at 0,0 does nothing";

    // Shifted by one pixel the rows overlap; each pixel still takes the
    // value its source had before the copy.
    s->Draw(1, 0, TRect{0, 0, 5, 3}, s.get(), false);
    EXPECT_EQ(s->LastResult(), DD_OK);
    for (int y = 0; y < 3; ++y)
        for (int x = 1; x < 6; ++x) ASSERT_EQ(s->Pixel(x, y), static_cast<std::uint32_t>(y * 256 + x - 1));
}

TEST_F(SurfaceTest, ColourKeyedCopies) {
    auto src = Make(4, 1);
    auto dst = Make(4, 1);
    // Key 0x00102030; a QPainter-written pixel of that colour carries a set
    // top byte and must still count as the key.
    const std::uint32_t key = 0x00102030;
    src->SetPixel(0, 0, key);
    src->SetPixel(1, 0, 0x00AABBCC);
    src->SetPixel(2, 0, 0xFF000000u | key);
    src->SetPixel(3, 0, key + 1);
    src->SetTransparentColor(key);

    const auto run = [&](auto copy) {
        Clear(*dst, 0x55);
        copy();
        return std::vector<std::uint32_t>{dst->Pixel(0, 0), dst->Pixel(1, 0), dst->Pixel(2, 0), dst->Pixel(3, 0)};
    };
    const std::vector<std::uint32_t> keyed{0x55, 0x00AABBCC, 0x55, key + 1};
    EXPECT_EQ(run([&] { dst->Draw(0, 0, src->ClientRect(), src.get(), true); }), keyed);
    EXPECT_EQ(run([&] { dst->BltFast(0, 0, src->ClientRect(), DDBLTFAST_SRCCOLORKEY, src.get()); }), keyed);
    EXPECT_EQ(run([&] { dst->BlitRect(dst->ClientRect(), src->ClientRect(), src.get(), true); }), keyed);
    EXPECT_EQ(run([&] { dst->Draw(0, 0, src->ClientRect(), src.get(), false); }),
              (std::vector<std::uint32_t>{key, 0x00AABBCC, 0xFF000000u | key, key + 1}));

    // Stretched keyed copy: each source pixel covers two destination pixels.
    auto wide = Make(8, 1);
    Clear(*wide, 0x55);
    wide->BlitRect(wide->ClientRect(), src->ClientRect(), src.get(), true);
    const std::uint32_t expect[8] = {0x55, 0x55, 0x00AABBCC, 0x00AABBCC, 0x55, 0x55, key + 1, key + 1};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(wide->Pixel(x, 0), expect[x]) << x;
}

TEST_F(SurfaceTest, BltFastDoesNoClippingButDrawFallsBackToBlt) {
    auto src = Make(4, 4);
    auto dst = Make(6, 6);
    Number(*src, 0x200);
    Clear(*dst, 1);
    EXPECT_FALSE(dst->BltFast(4, 4, src->ClientRect(), DDBLTFAST_WAIT, src.get()));
    EXPECT_EQ(dst->LastResult(), DDERR_INVALIDRECT);
    EXPECT_EQ(dst->Pixel(5, 5), 1u);

    // A clipper on the destination: BltFast refuses, Draw notices and blits.
    TDirectDrawClipper clipper(*dd);
    dst->Interface()->SetClipper(clipper.Interface());  // behind the wrapper's back
    EXPECT_FALSE(dst->HasClipper());
    EXPECT_FALSE(dst->BltFast(0, 0, src->ClientRect(), DDBLTFAST_WAIT, src.get()));
    EXPECT_EQ(dst->LastResult(), DDERR_BLTFASTCANTCLIP);
    dst->Draw(3, 3, src->ClientRect(), src.get(), false);
    EXPECT_TRUE(dst->HasClipper());
    EXPECT_EQ(dst->LastResult(), DD_OK);
    EXPECT_EQ(dst->Pixel(5, 5), 0x200u + 2 * 256 + 2);
}

TEST_F(SurfaceTest, PixelValueOfRestoresTheBorrowedPixel) {
    auto s = Make(3, 3);
    Number(*s, 0x00123400);
    const std::uint32_t before = s->Pixel(0, 0);
    // Red 255, green 128, blue 0 in the colour value's byte order.
    EXPECT_EQ(s->PixelValueOf(0x0080FF), 0x00FF8000u);
    EXPECT_EQ(s->Pixel(0, 0), before);
    EXPECT_EQ(s->PixelValueOf(clBlack), 0u);
    EXPECT_EQ(s->Pixel(0, 0), before);
    const auto face = static_cast<std::uint32_t>(ColorToRGB(clBtnFace));
    EXPECT_EQ(s->PixelValueOf(clBtnFace),
              ((face & 0xFF) << 16) | (face & 0xFF00) | ((face >> 16) & 0xFF));
    EXPECT_FALSE(s->Canvas().HandleAllocated()) << "the canvas is released afterwards";

    TDirectDrawSurface none(*dd);
    EXPECT_EQ(none.PixelValueOf(clWhite), 0u);
}

TEST_F(SurfaceTest, PixelsOutsideOrWithoutInterface) {
    auto s = Make(2, 2);
    s->SetPixel(1, 1, 42);
    EXPECT_EQ(s->Pixel(1, 1), 42u);
    s->SetPixel(2, 0, 9);
    s->SetPixel(-1, 0, 9);
    EXPECT_EQ(s->Pixel(2, 0), 0u);
    EXPECT_EQ(s->Pixel(0, -1), 0u);
    // A held canvas makes the lock fail: reads give 0.
    ASSERT_NE(s->Canvas().Painter(), nullptr);
    EXPECT_EQ(s->Pixel(1, 1), 0u);
    s->Canvas().Release();
    EXPECT_EQ(s->Pixel(1, 1), 42u);
}

TEST_F(SurfaceTest, SetSizeWithoutAreaAndItsFallBack) {
    auto s = Make(5, 5);
    s->SetSize(0, 10);
    EXPECT_EQ(s->Interface(), nullptr);
    EXPECT_EQ(s->Width(), 0);
    EXPECT_EQ(s->Height(), 0);
    auto other = Make(2, 2);
    s->Draw(0, 0, other->ClientRect(), other.get(), false);
    s->Fill(3);
    EXPECT_THROW(s->ISurface(), EDirectDrawSurfaceError);

    // Video memory too small: the surface lands in system memory.
    ddraw::testing::SetVideoMemoryBytes(1024);
    TDirectDrawSurface v(*dd);
    v.SetSize(64, 64);
    EXPECT_TRUE(v.SystemMemory);
    EXPECT_TRUE(v.SurfaceDesc().ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY);
    TDirectDrawSurface small(*dd);
    small.SetSize(8, 8);
    EXPECT_FALSE(small.SystemMemory);
    EXPECT_TRUE(small.SurfaceDesc().ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY);

    TDirectDrawSurface huge(*dd);
    try {
        huge.SetSize(100000, 10);
        FAIL() << "no exception";
    } catch (const EDirectDrawSurfaceError& e) {
        EXPECT_STREQ(e.what(), "Surface cannot be made");
    }
}

TEST_F(SurfaceTest, LostSurfacesRefuseUntilRestored) {
    auto src = Make(2, 2);
    auto dst = Make(2, 2);
    src->Fill(5);
    ddraw::testing::SetSurfacesLost(true);
    dst->Draw(0, 0, src->ClientRect(), src.get(), false);
    EXPECT_EQ(dst->LastResult(), DDERR_SURFACELOST);
    EXPECT_FALSE(dst->Restore());
    ddraw::testing::SetSurfacesLost(false);
    EXPECT_EQ(dst->Interface()->IsLost(), DDERR_SURFACELOST) << "stays lost until restored";
    EXPECT_TRUE(dst->Restore());
    EXPECT_TRUE(src->Restore());
    EXPECT_EQ(src->Pixel(0, 0), 0u) << "a restored surface's content is gone";
    dst->Draw(0, 0, src->ClientRect(), src.get(), false);
    EXPECT_EQ(dst->LastResult(), DD_OK);
}

TEST_F(SurfaceTest, CanvasPaintsOnTheSurfaceAndBlocksBlitsWhileHeld) {
    auto s = Make(40, 20);
    auto other = Make(4, 4);
    s->Fill(0);
    TDirectDrawSurfaceCanvas& c = s->Canvas();
    c.BrushStyle = TBrushStyle::bsClear;
    c.Font.Name = "fixedsys";
    c.Font.Color = clWhite;
    c.TextOut(1, 1, "H");
    s->Draw(0, 0, other->ClientRect(), other.get(), false);
    EXPECT_EQ(s->LastResult(), DDERR_SURFACEBUSY);
    c.Release();
    c.Release();  // harmless twice
    int lit = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) lit += (s->Pixel(x, y) & 0xFFFFFF) == 0xFFFFFF;
    EXPECT_GT(lit, 4) << "the letter was drawn onto the surface's own pixels";
    s->Draw(0, 0, other->ClientRect(), other.get(), false);
    EXPECT_EQ(s->LastResult(), DD_OK);
}

// Text comes out where and as the painter draws it with its top-left cell
// corner at the given point, for the fonts the screens use, also when
// fonts alternate and a line is drawn again from the canvas's layouts.
TEST_F(SurfaceTest, TextOutDrawsLikeThePainterAtTheCellCorner) {
    struct Case {
        const char* name;
        int size;
        bool bold;
        std::uint32_t colour;
    };
    const Case cases[] = {{"fixedsys", 9, false, clWhite}, {"Small Fonts", 6, false, 0x0080FF},
                          {"Arial", 8, true, 0x00FF00}, {"fixedsys", 9, false, clWhite}};
    auto s = Make(200, 30);
    TDirectDrawSurfaceCanvas& c = s->Canvas();
    c.BrushStyle = TBrushStyle::bsClear;
    for (int round = 0; round < 2; ++round) {
        for (const Case& k : cases) {
            const std::string text = std::string("Skyforge Tactics ") + k.name + " 0123";
            s->Fill(0);
            c.Font.Name = k.name;
            c.Font.Size = k.size;
            c.Font.Bold = k.bold;
            c.Font.Color = k.colour;
            c.TextOut(3, 4, text);
            c.Release();
            QImage want(200, 30, QImage::Format_RGB32);
            want.fill(0);
            {
                TCanvasFont font;
                font.Name = k.name;
                font.Size = k.size;
                font.Bold = k.bold;
                QFont q = CanvasFont(font.Name, font.Size);
                q.setBold(font.Bold);
                QPainter painter(&want);
                painter.setFont(q);
                painter.setPen(QColor(int(k.colour & 0xFF), int(k.colour >> 8 & 0xFF), int(k.colour >> 16 & 0xFF)));
                painter.drawText(QPoint(3, 4 + QFontMetrics(q).ascent()), QString::fromLatin1(text.c_str()));
            }
            int lit = 0;
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 200; ++x) {
                    ASSERT_EQ(s->Pixel(x, y) & 0xFFFFFF, want.pixel(x, y) & 0xFFFFFF)
                        << k.name << " round " << round << " at " << x << "," << y;
                    lit += (s->Pixel(x, y) & 0xFFFFFF) != 0;
                }
            EXPECT_GT(lit, 20) << k.name;
        }
    }
}

// A canvas that has drawn with one font resolver uses a replacement at once,
// although the font description it holds did not change.
TEST_F(SurfaceTest, CanvasTakesUpAReplacedFontResolver) {
    auto s = Make(60, 40);
    TDirectDrawSurfaceCanvas& c = s->Canvas();
    c.BrushStyle = TBrushStyle::bsClear;
    c.Font.Name = "fixedsys";
    c.Font.Color = clWhite;
    auto litRows = [&] {
        c.Release();
        int rows = 0;
        for (int y = 0; y < 40; ++y) {
            bool lit = false;
            for (int x = 0; x < 60; ++x) lit |= (s->Pixel(x, y) & 0xFFFFFF) == 0xFFFFFF;
            rows += lit;
        }
        return rows;
    };
    s->Fill(0);
    c.TextOut(0, 0, "H");
    const int small = litRows();
    TDirectDrawSurfaceCanvas::SetFontResolver([](const TCanvasFont& font) {
        QFont big = CanvasFont("Courier", 24);
        big.setBold(font.Bold);
        return big;
    });
    s->Fill(0);
    c.TextOut(0, 0, "H");
    const int large = litRows();
    TDirectDrawSurfaceCanvas::SetFontResolver(nullptr);
    s->Fill(0);
    c.TextOut(0, 0, "H");
    EXPECT_EQ(litRows(), small) << "the default is back";
    EXPECT_GT(small, 0);
    EXPECT_GT(large, small + 4);
}

// Pictures of every depth copy onto a surface with their colours; a part of
// the picture can be taken and stretched.
TEST_F(SurfaceTest, LoadPictureRectFromBitmapsOfEveryDepth) {
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        TDIB dib;
        if (bits == 16) dib.WantedChannelFormat = TDIBChannelFormat::FromCounts(5, 6, 5);
        for (int i = 0; i < 256; ++i)
            dib.ColorTable[static_cast<std::size_t>(i)] =
                TRGBQuad{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                         static_cast<std::uint8_t>(i * 7), 0};
        dib.ApplyColorTable();
        dib.Allocate(9, 5, bits);
        const std::uint32_t limit = bits < 32 ? (1u << bits) : 0xFFFFFFu;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 9; ++x)
                dib.PutPixel(x, y, (static_cast<std::uint32_t>(x * 37 + y * 101) * 2654435761u) % limit);

        TDirectDrawSurface s(*dd);
        s.SystemMemory = true;
        s.LoadPictureRect(dib, 0, 0, TRect{2, 1, 8, 4});
        ASSERT_EQ(s.Width(), 6) << bits;
        ASSERT_EQ(s.Height(), 3) << bits;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 6; ++x)
                ASSERT_EQ(s.Pixel(x, y) & 0xFFFFFF, dib.PixelColor(x + 2, y + 1)) << bits << " bits at " << x << "," << y;

        TDirectDrawSurface big(*dd);
        big.LoadPictureRect(dib, 12, 6, TRect{2, 1, 8, 4});
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 12; ++x)
                ASSERT_EQ(big.Pixel(x, y) & 0xFFFFFF, dib.PixelColor(x / 2 + 2, y / 2 + 1)) << bits << " bits stretched";
        EXPECT_FALSE(big.Canvas().HandleAllocated());
    }
}

TEST_F(SurfaceTest, LibraryLoaderAndCreationFailures) {
    dxlibrary::testing::SetLibraryMissing("ddraw.dll", true);
    try {
        TDirectDraw missing;
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "DDraw.dll not loaded");
    }
    dxlibrary::testing::SetLibraryMissing("ddraw.dll", false);
    try {
        DXLoadLibraryEntry("DDRAW.DLL", "NoSuchEntry");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "DDRAW.DLL not loaded");
    }
    EXPECT_NE(DXLoadLibraryEntry("d3drm.dll", "Direct3DRMCreate"), nullptr);

    ddraw::testing::SetCreateFails(true);
    try {
        TDirectDraw failing;
        FAIL() << "no exception";
    } catch (const EDirectDrawError& e) {
        EXPECT_STREQ(e.what(), "DirectDraw cannot be initialized");
    }
}

TEST_F(SurfaceTest, DirectDrawOutlivedByItsObjects) {
    auto s = Make(4, 4);
    auto palette = std::make_unique<TDirectDrawPalette>(*dd);
    std::vector<PALETTEENTRY> entries(256);
    ASSERT_TRUE(palette->CreatePalette(DDPCAPS_8BIT, entries.data()));
    auto clipper = std::make_unique<TDirectDrawClipper>(*dd);
    EXPECT_EQ(dd->Surfaces().size(), 1u);
    dd.reset();
    // The wrappers stay usable as empty objects and can be deleted later.
    EXPECT_EQ(s->Interface(), nullptr);
    EXPECT_EQ(palette->Interface(), nullptr);
    EXPECT_THROW(clipper->IClipper(), EDirectDrawClipperError);
    EXPECT_THROW(palette->IPalette(), EDirectDrawPaletteError);
    EXPECT_THROW(s->SetSize(2, 2), EDirectDrawSurfaceError) << "nothing left to make surfaces on";
    EXPECT_EQ(s->Interface(), nullptr);
    s.reset();
    palette.reset();
    clipper.reset();
}

}  // namespace
