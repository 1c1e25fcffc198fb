// The title screen: its start, the frame drawn on every timer tick, and the
// three-button menu driven by the drawing surface's mouse handlers.
//
// Every frame is drawn from scratch into the back surface: the 3D scene,
// the background (whose black pixels let the scene show through), the
// logo, the title line and scroller, and the buttons in their normal,
// hover or pressed state; then the back surface is shown.
#include "installer/TForm1.h"

#include "installer/TitleScreen.h"
#include "toolkit/Fonts.h"

namespace {

struct MenuButton {
    const char* images[3];  // normal, hover, pressed
    int top;                // drawn at (0, top)
};

constexpr MenuButton kInstall{{"info_install1", "info_install2", "info_install3"}, kInstallTop};
constexpr MenuButton kNfo{{"info_nfo1", "info_nfo2", "info_nfo3"}, kNfoTop};
constexpr MenuButton kQuit{{"info_quit1", "info_quit2", "info_quit3"}, kQuitTop};

}  // namespace

void InstallCanvasFonts() {
    TDirectDrawSurfaceCanvas::SetFontResolver([](const TCanvasFont& font) {
        QFont resolved = CanvasFont(font.Name, font.Size);
        if (!IsFixedsysName(font.Name)) {
            resolved.setBold(font.Bold);
            resolved.setItalic(font.Italic);
            resolved.setStyleStrategy(QFont::NoAntialias);
        }
        return resolved;
    });
}

bool InButtonHotArea(int buttonTop, std::int32_t x, std::int32_t y) {
    // The button's rectangle without its leftmost column and its top row.
    return x > 0 && y > buttonTop && x < kButtonWidth && y < buttonTop + kButtonHeight;
}

const char* ButtonImageName(int buttonTop, std::int32_t mouseX, std::int32_t mouseY,
                            std::int32_t mouseDown) {
    const MenuButton* button = buttonTop == kInstall.top ? &kInstall
                               : buttonTop == kNfo.top   ? &kNfo
                               : buttonTop == kQuit.top  ? &kQuit
                                                         : nullptr;
    if (!button) return nullptr;
    if (!InButtonHotArea(buttonTop, mouseX, mouseY)) return button->images[0];
    return mouseDown == 1 ? button->images[2] : button->images[1];
}

void TForm1::DXDraw1Initialize(QObject*) {
    BuildEmblemScene();
    ReadSettings();

    TPictureCollection& pictures = DXImageList1->Items();
    pictures.BuildColorTable();
    DXDraw1->ColorTable = pictures.ColorTable();
    DXDraw1->DefaultColorTable = pictures.ColorTable();
    DXDraw1->ApplyPalette();

    Scroller.Build(Settings.Title, Settings.Publisher);

    // "bg" is item 0: its black lets the emblem scene show through.
    pictures.Items(0)->Transparent = true;

    DXTimer1->SetEnabled(true);
}

void TForm1::DXTimer1Timer(TCustomDXTimer*, std::int32_t) {
    if (!DXDraw1->ReadyToDraw()) return;

    if (d3drm::IDirect3DRMViewport* viewport = DXDraw1->Viewport())
        viewport->ForceUpdate(0, 0, DXDraw1->SurfaceWidth(), DXDraw1->SurfaceHeight());
    if (d3drm::IDirect3DRMFrame* scene = DXDraw1->SceneFrame()) scene->Move(1.0f);
    DXDraw1->Render();

    TDirectDrawSurface* back = DXDraw1->BackSurface();
    TPictureCollection& pictures = DXImageList1->Items();
    auto draw = [&](const char* name, int x, int y) {
        pictures.Items(pictures.Find(name))->Draw(back, x, y, 0);
    };

    draw("bg", 0, 0);
    draw("duskwing", 3, 290);
    Scroller.StepAndDraw(*back, Settings.Title, Settings.Publisher);
    for (const MenuButton* button : {&kInstall, &kNfo, &kQuit})
        draw(ButtonImageName(button->top, MouseX, MouseY, MouseDown), 0, button->top);

    DXDraw1->Flip();
}

void TForm1::DXDraw1MouseMove(QObject*, Qt::KeyboardModifiers, int x, int y) {
    MouseX = x;
    MouseY = y;
}

void TForm1::DXDraw1MouseDown(QObject*, TMouseButton, Qt::KeyboardModifiers, int, int) {
    MouseDown = 1;
}

void TForm1::DXDraw1MouseUp(QObject*, TMouseButton, Qt::KeyboardModifiers, int, int) {
    // Only the position the pointer last moved to counts, not the release's.
    MouseDown = 0;
    if (InButtonHotArea(kInstall.top, MouseX, MouseY)) {
        InstallClick();
        return;
    }
    if (InButtonHotArea(kNfo.top, MouseX, MouseY)) {
        NfoClick();
        return;
    }
    if (InButtonHotArea(kQuit.top, MouseX, MouseY)) close();
}
