// The drawing surface control: order of initialisation and finalisation,
// notifications, option rules, surface loss and restore, presenting frames.
#include "render/DXDraws.h"

#include <QCoreApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace ddraw;

namespace {

// The options the main window's layout stores.
const TDXDrawOptions kMainWindowOptions = {
    doAllowReboot, doWaitVBlank, doSystemMemory, doCenter, do3D, doHardware, doRetainedMode,
    doDrawPrimitive, doSelectDriver, doTexture, doRGB, doMono, doDither};

struct Log {
    std::vector<std::string> entries;
    std::string Joined() const {
        std::string s;
        for (const auto& e : entries) s += (s.empty() ? "" : " ") + e;
        return s;
    }
};

struct Listener {
    std::string name;
    Log* log;
    static void Notify(void* owner, TCustomDXDraw&, TDXDrawNotifyType kind) {
        auto* self = static_cast<Listener*>(owner);
        self->log->entries.push_back(self->name + std::to_string(static_cast<int>(kind)));
    }
};

class DXDrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        ddraw::testing::Reset();
        form = std::make_unique<QWidget>();
        form->resize(571, 306);
    }
    void TearDown() override {
        form.reset();
        ddraw::testing::Reset();
    }

    // A control set up as the main window's layout sets DXDraw1 up; the
    // handlers write into the log.
    TDXDraw* MakeMainSurface(bool load = true) {
        auto* dx = new TDXDraw(form.get());
        dx->BeginLoading();
        dx->setGeometry(0, 0, 571, 306);
        dx->SetOptions(kMainWindowOptions);
        dx->SetSurfaceWidth(571);
        dx->SetSurfaceHeight(306);
        const auto record = [this](const char* what) { return [this, what](QObject*) { log.entries.push_back(what); }; };
        dx->OnInitializing = record("OnInitializing");
        dx->OnInitialize = record("OnInitialize");
        dx->OnInitializeSurface = record("OnInitializeSurface");
        dx->OnFinalize = record("OnFinalize");
        dx->OnFinalizeSurface = record("OnFinalizeSurface");
        dx->OnRestoreSurface = record("OnRestoreSurface");
        if (load) dx->EndLoading();
        return dx;
    }

    Log log;
    // Listeners outlive the form (and so the control they listen to).
    Listener A{"A", &log}, B{"B", &log}, L{"L", &log};
    std::unique_ptr<QWidget> form;
};

TEST_F(DXDrawTest, InitialisationAndFinalisationOrder) {
    TDXDraw* dx = MakeMainSurface(false);
    dx->RegisterNotifyEvent(&Listener::Notify, &A);
    dx->RegisterNotifyEvent(&Listener::Notify, &B);
    EXPECT_EQ(log.Joined(), "A6 B6");
    log.entries.clear();

    dx->EndLoading();  // loaded: initialises at once
    ASSERT_TRUE(dx->Initialized());
    EXPECT_EQ(log.Joined(),
              "B6 A6 OnInitializing B0 A0 B6 A6 B1 A1 OnInitialize B2 A2 OnInitializeSurface "
              "OnRestoreSurface B5 A5");
    log.entries.clear();

    dx->Finalize();
    EXPECT_EQ(log.Joined(), "OnFinalizeSurface B4 A4 OnFinalize B3 A3");
    EXPECT_FALSE(dx->Initialized());
    EXPECT_EQ(dx->DDraw(), nullptr);
    EXPECT_EQ(dx->BackSurface(), nullptr);
    EXPECT_EQ(dx->RMObject(), nullptr);

    log.entries.clear();
    dx->Finalize();
    EXPECT_TRUE(log.entries.empty()) << "a second Finalize does nothing";

    // Initialising again rebuilds; the surface size survived finalisation.
    dx->Initialize();
    EXPECT_EQ(dx->BackSurface()->Width(), 571);
    EXPECT_EQ(dx->BackSurface()->Height(), 306);
}

TEST_F(DXDrawTest, FinalizeWithoutInitialisationDoesNothing) {
    auto* dx = new TDXDraw(form.get());
    dx->OnFinalize = [this](QObject*) { log.entries.push_back("OnFinalize"); };
    EXPECT_NO_THROW(dx->Finalize());
    EXPECT_NO_THROW(dx->Finalize());
    EXPECT_TRUE(log.entries.empty());
}

TEST_F(DXDrawTest, MainWindowActiveOptions) {
    TDXDraw* dx = MakeMainSurface();
    ASSERT_TRUE(dx->Initialized());
    const TDXDrawOptions expected = {doWaitVBlank, doSystemMemory, doCenter, do3D, doRetainedMode,
                                     doDrawPrimitive, doTexture, doRGB, doDither};
    EXPECT_EQ(dx->ActiveOptions().Bits(), expected.Bits());
    EXPECT_EQ(dx->Options(), kMainWindowOptions) << "Options keep what was asked";
    EXPECT_EQ(dx->BackSurface()->Width(), 571);
    EXPECT_EQ(dx->BackSurface()->Height(), 306);
    EXPECT_TRUE(dx->BackSurface()->SurfaceDesc().ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY);
    ASSERT_NE(dx->RMDevice(), nullptr);
    EXPECT_EQ(dx->RMDevice()->GetColorModel(), d3drm::D3DCOLOR_RGB);
    EXPECT_EQ(dx->RMDevice()->GetQuality(), 137u);
    EXPECT_TRUE(dx->RMDevice()->GetDither());
    ASSERT_NE(dx->Viewport(), nullptr);
    EXPECT_EQ(dx->Viewport()->GetBack(), 5000.0f);
    EXPECT_EQ(dx->Viewport()->GetWidth(), 571);
    EXPECT_NE(dx->SceneFrame(), nullptr);
    EXPECT_NE(dx->CameraFrame(), nullptr);
    EXPECT_EQ(dx->RMObject()->GetDefaultTextureColors(), 64u);

    // Before initialisation the option rules alone apply.
    TDXDraw other(form.get());
    other.SetOptions(kMainWindowOptions);
    const TDXDrawOptions before = {doWaitVBlank, doSystemMemory, doCenter, do3D, doRetainedMode,
                                   doDrawPrimitive, doSelectDriver, doTexture, doRGB, doMono, doDither};
    EXPECT_EQ(other.ActiveOptions().Bits(), before.Bits());
}

TEST_F(DXDrawTest, OptionChangesWhileInitialised) {
    TDXDraw* dx = MakeMainSurface();
    TDXDrawOptions changed = {doStretch, do3D, doZBuffer, doFullScreen};  // dither, wait, centre off
    dx->SetOptions(changed);
    const TDXDrawOptions expected = {doSystemMemory, doStretch, do3D, doRetainedMode, doDrawPrimitive,
                                     doTexture, doRGB};
    EXPECT_EQ(dx->ActiveOptions().Bits(), expected.Bits());
    EXPECT_FALSE(dx->RMDevice()->GetDither()) << "dithering follows at once";
    dx->SetOptions(kMainWindowOptions);
    EXPECT_TRUE(dx->RMDevice()->GetDither());
}

TEST_F(DXDrawTest, NotReadyBeforeInitialisationAndWithoutForm) {
    TDXDraw* dx = MakeMainSurface(false);
    EXPECT_FALSE(dx->ReadyToDraw());
    dx->Flip();
    EXPECT_TRUE(dx->Picture().isNull());

    TDXDraw orphan;
    try {
        orphan.Initialize();
        FAIL() << "no exception";
    } catch (const EDXDrawError& e) {
        EXPECT_STREQ(e.what(), "Form not found");
    }
    EXPECT_FALSE(orphan.Initialized());
}

TEST_F(DXDrawTest, LossRestoreAndPaletteReload) {
    TDXDraw* dx = MakeMainSurface();
    dx->DefaultColorTable[100] = TRGBQuad{3, 2, 1, 0};  // blue, green, red
    dx->ColorTable[100] = TRGBQuad{6, 5, 4, 0};
    dx->ColorTable[5] = TRGBQuad{9, 9, 9, 0};           // a static entry: the system's colour wins
    dx->ApplyPalette();
    dx->RegisterNotifyEvent(&Listener::Notify, &L);
    PALETTEENTRY atRestore{};
    dx->OnRestoreSurface = [&](QObject*) {
        log.entries.push_back("OnRestoreSurface");
        dx->Palette()->GetEntries(100, 1, &atRestore);
    };
    log.entries.clear();

    ddraw::testing::SetSurfacesLost(true);
    EXPECT_FALSE(dx->ReadyToDraw());
    EXPECT_FALSE(dx->ReadyToDraw());
    EXPECT_TRUE(log.entries.empty()) << "no restore while the surfaces cannot be restored";

    ddraw::testing::SetSurfacesLost(false);
    EXPECT_TRUE(dx->ReadyToDraw());
    EXPECT_EQ(log.Joined(), "OnRestoreSurface L5");
    EXPECT_EQ(atRestore, (PALETTEENTRY{1, 2, 3, 64})) << "default table first";
    PALETTEENTRY now[256];
    dx->Palette()->GetEntries(0, 256, now);
    EXPECT_EQ(now[100], (PALETTEENTRY{4, 5, 6, 64})) << "ColorTable last";
    EXPECT_EQ(now[5], (PALETTEENTRY{128, 0, 128, 64}));
    EXPECT_EQ(dx->PrimarySurface()->Interface()->IsLost(), DD_OK);
    EXPECT_EQ(dx->BackSurface()->Interface()->IsLost(), DD_OK);

    log.entries.clear();
    EXPECT_TRUE(dx->ReadyToDraw());
    EXPECT_TRUE(log.entries.empty()) << "nothing to restore any more";
}

TEST_F(DXDrawTest, ListenersJoiningAndLeaving) {
    TDXDraw* dx = MakeMainSurface();
    log.entries.clear();
    dx->RegisterNotifyEvent(&Listener::Notify, &L);
    EXPECT_EQ(log.Joined(), "L6 L1 L5");
    log.entries.clear();
    dx->RegisterNotifyEvent(&Listener::Notify, &L);  // again: leaves, then joins
    EXPECT_EQ(log.Joined(), "L3 L6 L1 L5");
    log.entries.clear();
    dx->UnRegisterNotifyEvent(&Listener::Notify, &L);
    EXPECT_EQ(log.Joined(), "L3");
    log.entries.clear();
    dx->UnRegisterNotifyEvent(&Listener::Notify, &L);
    EXPECT_TRUE(log.entries.empty());
}

TEST_F(DXDrawTest, SurfaceSizeChanges) {
    TDXDraw* dx = MakeMainSurface();
    dx->SetAutoSize(false);
    dx->RegisterNotifyEvent(&Listener::Notify, &L);
    log.entries.clear();

    dx->SetSurfaceSize(571, 306);
    EXPECT_TRUE(log.entries.empty()) << "same size: no notification";

    bool readyDuring = true;
    dx->OnFinalizeSurface = [&](QObject*) { readyDuring = dx->ReadyToDraw(); log.entries.push_back("OnFinalizeSurface"); };
    dx->SetSurfaceSize(0, 50);
    EXPECT_EQ(log.Joined(), "L4 OnFinalizeSurface L2 OnInitializeSurface OnRestoreSurface L5 L6");
    EXPECT_FALSE(readyDuring);
    EXPECT_EQ(dx->SurfaceWidth(), 1);
    EXPECT_EQ(dx->SurfaceHeight(), 50);
    EXPECT_EQ(dx->Viewport()->GetHeight(), 50) << "the 3D device follows the new surface";
    EXPECT_TRUE(dx->ReadyToDraw());
    dx->OnFinalizeSurface = nullptr;  // it refers to this test's locals
}

TEST_F(DXDrawTest, CenterWithAnOddSizeDifference) {
    auto* dx = new TDXDraw(form.get());
    dx->BeginLoading();
    dx->SetAutoSize(false);
    dx->setGeometry(0, 0, 100, 60);
    dx->SetOptions({doCenter, doSystemMemory});
    dx->SetSurfaceWidth(91);   // 9 pixels narrower
    dx->SetSurfaceHeight(53);  // 7 pixels lower
    dx->EndLoading();
    ASSERT_TRUE(dx->Initialized());
    ASSERT_TRUE(dx->ReadyToDraw());
    dx->BackSurface()->Fill(0x00FF0000);
    dx->Flip();
    const QImage& p = dx->Picture();
    ASSERT_EQ(p.size(), QSize(100, 60));
    const auto red = [&](int x, int y) { return (p.pixel(x, y) & 0xFFFFFF) == 0xFF0000; };
    // Left margin 4, right margin 5; top margin 3, bottom margin 4.
    EXPECT_FALSE(red(3, 30));
    EXPECT_TRUE(red(4, 30));
    EXPECT_TRUE(red(94, 30));
    EXPECT_FALSE(red(95, 30));
    EXPECT_FALSE(red(50, 2));
    EXPECT_TRUE(red(50, 3));
    EXPECT_TRUE(red(50, 55));
    EXPECT_FALSE(red(50, 56));

    // Stretching covers the whole control.
    dx->SetOptions({doStretch, doSystemMemory});
    dx->Flip();
    EXPECT_TRUE(red(0, 0));
    EXPECT_TRUE(red(99, 59));
}

TEST_F(DXDrawTest, CenterWhenTheSurfaceIsLarger) {
    auto* dx = new TDXDraw(form.get());
    dx->BeginLoading();
    dx->SetAutoSize(false);
    dx->setGeometry(0, 0, 20, 10);
    dx->SetOptions({doCenter, doSystemMemory});
    dx->SetSurfaceWidth(29);  // 9 wider: (20 - 29) / 2 = -4, toward zero
    dx->SetSurfaceHeight(10);
    dx->EndLoading();
    ASSERT_TRUE(dx->Initialized());
    for (int x = 0; x < 29; ++x)
        for (int y = 0; y < 10; ++y) dx->BackSurface()->SetPixel(x, y, static_cast<std::uint32_t>(x));
    dx->Flip();
    EXPECT_EQ(dx->Picture().pixel(0, 0) & 0xFFFFFF, 4u);
    EXPECT_EQ(dx->Picture().pixel(19, 9) & 0xFFFFFF, 23u);
}

TEST_F(DXDrawTest, AutoSizeFollowsTheControl) {
    TDXDraw* dx = MakeMainSurface();
    ASSERT_TRUE(dx->AutoSize());
    form->show();  // a hidden widget hears of its new size only when shown
    dx->resize(300, 200);
    EXPECT_EQ(dx->SurfaceWidth(), 300);
    EXPECT_EQ(dx->SurfaceHeight(), 200);
    EXPECT_EQ(dx->Viewport()->GetWidth(), 300);
    EXPECT_TRUE(dx->ReadyToDraw());
}

TEST_F(DXDrawTest, RenderFlipAndPaint) {
    TDXDraw* dx = MakeMainSurface();
    ASSERT_TRUE(dx->ReadyToDraw());
    dx->SceneFrame()->SetSceneBackgroundRGB(0.0f, 0.0f, 1.0f);
    dx->Render();
    EXPECT_EQ(dx->BackSurface()->Pixel(10, 10) & 0xFFFFFF, 0x0000FFu) << "the viewport clear reached the back surface";
    dx->BackSurface()->Canvas().FillRect(TRect{0, 0, 4, 4});
    dx->BackSurface()->Canvas().Release();
    dx->Flip();
    const QImage& picture = dx->Picture();
    EXPECT_EQ(picture.pixel(1, 1), 0xFFFFFFFFu);
    EXPECT_EQ(picture.pixel(100, 100), 0xFF0000FFu) << "window pixels are opaque";
    // Painting shows the picture as it is.
    const QImage shown = dx->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.pixel(100, 100), 0xFF0000FFu);
    EXPECT_EQ(shown.pixel(2, 2), 0xFFFFFFFFu);
}

// Full screen waits for the form to be shown, sets a display mode (or says
// which one it could not set) and flips pages.
TEST_F(DXDrawTest, FullScreenStartsWhenTheFormIsShown) {
    auto* dx = new TDXDraw(form.get());
    dx->BeginLoading();
    dx->SetOptions({doFullScreen, doFlip, do3D, doRetainedMode, doRGB});
    dx->EndLoading();
    EXPECT_FALSE(dx->Initialized()) << "the form hook starts it";
    EXPECT_THROW(dx->Display().SetBitCount(12), EDirectDrawError);
    try {
        form->show();
        FAIL() << "no exception";
    } catch (const EDXDrawError& e) {
        // The display offers 32-bit modes only, and the bit count is fixed.
        EXPECT_STREQ(e.what(), "Display mode cannot be changed (640x480 8bit)");
    }
    EXPECT_FALSE(dx->Initialized());

    dx->Display().SetBitCount(32);
    dx->Initialize();
    ASSERT_TRUE(dx->Initialized());
    EXPECT_TRUE(dx->ActiveOptions().Contains(doFlip));
    EXPECT_FALSE(dx->ActiveOptions().Contains(doSystemMemory));
    EXPECT_EQ(dx->BackSurface()->Width(), 640);
    EXPECT_EQ(dx->BackSurface()->Height(), 480);
    EXPECT_NE(dx->RMDevice(), nullptr);
    dx->SetSurfaceSize(100, 100);
    EXPECT_EQ(dx->SurfaceWidth(), 640) << "page flipping keeps the display's size";
    dx->BackSurface()->Fill(0x123456);
    dx->Flip();
    EXPECT_EQ(dx->PrimarySurface()->LastResult(), DD_OK);
}

TEST_F(DXDrawTest, MouseEventsReachTheHandlers) {
    TDXDraw* dx = MakeMainSurface();
    std::vector<std::string> seen;
    dx->OnMouseDown = [&](QObject* sender, TMouseButton b, Qt::KeyboardModifiers, int x, int y) {
        EXPECT_EQ(sender, dx);
        seen.push_back("down " + std::to_string(static_cast<int>(b)) + " " + std::to_string(x) + "," + std::to_string(y));
    };
    dx->OnMouseMove = [&](QObject*, Qt::KeyboardModifiers, int x, int y) {
        seen.push_back("move " + std::to_string(x) + "," + std::to_string(y));
    };
    dx->OnMouseUp = [&](QObject*, TMouseButton b, Qt::KeyboardModifiers, int x, int y) {
        seen.push_back("up " + std::to_string(static_cast<int>(b)) + " " + std::to_string(x) + "," + std::to_string(y));
    };
    const auto send = [&](QEvent::Type type, Qt::MouseButton button, QPoint at) {
        QMouseEvent e(type, QPointF(at), dx->mapToGlobal(QPointF(at)), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
        QCoreApplication::sendEvent(dx, &e);
    };
    send(QEvent::MouseMove, Qt::NoButton, {10, 20});
    send(QEvent::MouseButtonPress, Qt::RightButton, {11, 21});
    send(QEvent::MouseButtonRelease, Qt::RightButton, {12, 22});
    EXPECT_EQ(seen, (std::vector<std::string>{"move 10,20", "down 1 11,21", "up 1 12,22"}));
}

}  // namespace
