// The display layer itself: the primary surface writing into a window's
// picture, stretching, fills, locks and device contexts, video memory.
#include "platform/ddraw/DDraw.h"

#include <QImage>

#include <gtest/gtest.h>

#include <vector>

using namespace ddraw;

namespace {

// A window at a screen position with a picture of its own.
class FakeWindow final : public IWindow {
public:
    FakeWindow(int x, int y, int w, int h) : origin_{x, y}, w_(w), h_(h), pixels_(static_cast<std::size_t>(w * h), 7) {}
    POINT ClientOrigin() const override { return origin_; }
    WindowPicture LockPicture() override { return WindowPicture{pixels_.data(), w_, h_, w_ * 4}; }
    void UnlockPicture(const RECT& changed) override { changes.push_back(changed); }
    std::uint32_t At(int x, int y) const { return pixels_[static_cast<std::size_t>(y * w_ + x)]; }

    std::vector<RECT> changes;

private:
    POINT origin_;
    int w_, h_;
    std::vector<std::uint32_t> pixels_;
};

struct Display {
    IDirectDraw* dd = nullptr;
    Display() {
        ddraw::testing::Reset();
        EXPECT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    }
    ~Display() {
        dd->Release();
        ddraw::testing::Reset();
    }
    ComPtr<IDirectDrawSurface> Surface(int w, int h, DWORD caps = DDSCAPS_SYSTEMMEMORY) {
        DDSURFACEDESC d;
        d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        d.dwWidth = static_cast<DWORD>(w);
        d.dwHeight = static_cast<DWORD>(h);
        d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | caps;
        IDirectDrawSurface* s = nullptr;
        EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
        return ComPtr<IDirectDrawSurface>::Adopt(s);
    }
    ComPtr<IDirectDrawSurface> Primary() {
        DDSURFACEDESC d;
        d.dwFlags = DDSD_CAPS;
        d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        IDirectDrawSurface* s = nullptr;
        EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
        return ComPtr<IDirectDrawSurface>::Adopt(s);
    }
};

void FillRect(IDirectDrawSurface& s, RECT r, std::uint32_t value) {
    DDBLTFX fx;
    fx.dwFillColor = value;
    ASSERT_EQ(s.Blt(&r, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
}

TEST(DDraw, PrimaryWritesOnlyIntoTheClipperWindow) {
    Display d;
    auto back = d.Surface(20, 20);
    FillRect(*back, RECT{0, 0, 20, 20}, 0x00ABCDEF);
    auto primary = d.Primary();
    FakeWindow window(100, 50, 10, 8);
    IDirectDrawClipper* clipper = nullptr;
    ASSERT_EQ(d.dd->CreateClipper(0, &clipper, nullptr), DD_OK);
    clipper->SetHWnd(0, &window);
    primary->SetClipper(clipper);
    clipper->Release();

    // The frame overlaps the window's top-left corner by 5 x 4 pixels.
    RECT dest{85, 36, 105, 56};
    ASSERT_EQ(primary->Blt(&dest, back.Get(), nullptr, DDBLT_WAIT, nullptr), DD_OK);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(window.At(x, y), (x < 5 && y < 6) ? 0xFFABCDEFu : 7u) << x << "," << y;
    ASSERT_EQ(window.changes.size(), 1u);
    EXPECT_EQ(window.changes[0], (RECT{0, 0, 5, 6}));

    // Blits that cannot clip are refused on a surface with a clipper.
    EXPECT_EQ(primary->BltFast(0, 0, back.Get(), nullptr, DDBLTFAST_WAIT), DDERR_BLTFASTCANTCLIP);
    // Absurd rectangles are refused rather than computed with.
    RECT huge{-2000000000, 0, 2000000000, 10};
    EXPECT_EQ(primary->Blt(&huge, back.Get(), nullptr, DDBLT_WAIT, nullptr), DDERR_INVALIDRECT);
}

TEST(DDraw, StretchAndFill) {
    Display d;
    auto src = d.Surface(3, 1);
    DDSURFACEDESC lock;
    ASSERT_EQ(src->Lock(nullptr, &lock, DDLOCK_WAIT, nullptr), DD_OK);
    auto* row = static_cast<std::uint32_t*>(lock.lpSurface);
    row[0] = 1, row[1] = 2, row[2] = 3;
    src->Unlock(nullptr);
    auto dst = d.Surface(7, 2);
    RECT all{0, 0, 7, 2};
    ASSERT_EQ(dst->Blt(&all, src.Get(), nullptr, DDBLT_WAIT, nullptr), DD_OK);
    const std::uint32_t expect[7] = {1, 1, 1, 2, 2, 3, 3};  // x * 3 / 7
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 7; ++x) EXPECT_EQ(dst->Scanline(y)[x], expect[x]) << x;

    FillRect(*dst, RECT{2, 1, 4, 2}, 9);
    EXPECT_EQ(dst->Scanline(1)[1], 1u);
    EXPECT_EQ(dst->Scanline(1)[2], 9u);
    EXPECT_EQ(dst->Scanline(1)[3], 9u);
    EXPECT_EQ(dst->Scanline(0)[2], 1u);
    RECT outside{5, 0, 8, 1};
    DDBLTFX fx;
    EXPECT_EQ(dst->Blt(&outside, nullptr, nullptr, DDBLT_COLORFILL, &fx), DDERR_INVALIDRECT);
}

TEST(DDraw, LocksAndDeviceContextsExcludeEachOther) {
    Display d;
    auto s = d.Surface(5, 3);
    DDSURFACEDESC whole, part;
    ASSERT_EQ(s->Lock(nullptr, &whole, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(whole.lPitch % 16, 0) << "rows start on 16-byte boundaries";
    EXPECT_GE(whole.lPitch, 20);
    RECT r{2, 1, 4, 3};
    ASSERT_EQ(s->Lock(&r, &part, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(static_cast<char*>(part.lpSurface) - static_cast<char*>(whole.lpSurface), whole.lPitch + 8);
    HDC dc = nullptr;
    EXPECT_EQ(s->GetDC(&dc), DDERR_SURFACEBUSY);
    EXPECT_EQ(s->Unlock(nullptr), DD_OK);
    EXPECT_EQ(s->Unlock(nullptr), DD_OK);
    EXPECT_EQ(s->Unlock(nullptr), DDERR_NOTLOCKED);

    ASSERT_EQ(s->GetDC(&dc), DD_OK);
    EXPECT_EQ(ImageOf(dc).width(), 5);
    EXPECT_EQ(ImageOf(dc).bits(), static_cast<uchar*>(whole.lpSurface)) << "the image wraps the surface's rows";
    EXPECT_EQ(s->Lock(nullptr, &whole, DDLOCK_WAIT, nullptr), DDERR_SURFACEBUSY);
    auto other = d.Surface(5, 3);
    EXPECT_EQ(other->BltFast(0, 0, s.Get(), nullptr, DDBLTFAST_WAIT), DDERR_SURFACEBUSY);
    EXPECT_EQ(s->ReleaseDC(dc), DD_OK);
    EXPECT_EQ(s->ReleaseDC(dc), DDERR_NODC);
    EXPECT_EQ(other->BltFast(0, 0, s.Get(), nullptr, DDBLTFAST_WAIT), DD_OK);
}

TEST(DDraw, VideoMemoryIsAccounted) {
    Display d;
    ddraw::testing::SetVideoMemoryBytes(64 * 64 * 4);
    {
        auto a = d.Surface(64, 64, 0);
        DDSURFACEDESC desc;
        a->GetSurfaceDesc(&desc);
        EXPECT_TRUE(desc.ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY);
        EXPECT_EQ(ddraw::testing::VideoMemoryBytesFree(), 0u);
        DDSURFACEDESC more;
        more.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        more.dwWidth = more.dwHeight = 4;
        more.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
        IDirectDrawSurface* b = nullptr;
        EXPECT_EQ(d.dd->CreateSurface(&more, &b, nullptr), DDERR_OUTOFVIDEOMEMORY);
        more.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY;
        ASSERT_EQ(d.dd->CreateSurface(&more, &b, nullptr), DD_OK);
        b->Release();
    }
    EXPECT_EQ(ddraw::testing::VideoMemoryBytesFree(), 64u * 64 * 4) << "freed with the surface";
}

}  // namespace
