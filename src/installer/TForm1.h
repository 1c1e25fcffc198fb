// The main window: borderless, 571 x 306 client pixels, centred. It hosts
// the drawing surface, the image list and the frame timer, sees every key
// first, and holds the state that the title screen, the folder dialog and
// the extraction run share.
#pragma once

#include "installer/Scroller.h"
#include "installer/Settings.h"
#include "render/DXDraws.h"
#include "render/DXImageList.h"
#include "render/DXTimer.h"
#include "toolkit/Component.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

// An integer cell standing in for a never-shown control: a position within
// a range (the progress bars) or a tag (the cancel button).
struct TIntegerCell {
    std::int32_t Min = 0;
    std::int32_t Max = 100;
    std::int32_t Position = 0;
    std::int32_t Tag = 0;
};

class TForm1 : public QWidget, public TComponent {
public:
    static constexpr int kClientWidth = 571;
    static constexpr int kClientHeight = 306;
    static constexpr int VK_ESCAPE = 27;

    TForm1();
    ~TForm1() override;

    // Key handler of the window; with the key preview it sees every key of
    // the window's controls first. `key` is a virtual-key code.
    void FormKeyDown(QObject* sender, int key, Qt::KeyboardModifiers shift);

    // Drawing surface handlers.
    void DXDraw1Initialize(QObject* sender);          // starts the title screen
    void DXDraw1InitializeSurface(QObject* sender);   // device qualities of the emblem scene
    void DXDraw1Finalize(QObject* sender);
    void DXDraw1MouseDown(QObject* sender, TMouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void DXDraw1MouseMove(QObject* sender, Qt::KeyboardModifiers shift, int x, int y);
    void DXDraw1MouseUp(QObject* sender, TMouseButton button, Qt::KeyboardModifiers shift, int x, int y);

    // Frame timer handler: draws one frame of the title screen.
    void DXTimer1Timer(TCustomDXTimer* sender, std::int32_t lagCount);

    // The first step of DXDraw1Initialize: the rotating emblem scene.
    void BuildEmblemScene();

    // Menu actions started by releasing the mouse over Install and NFO.
    void InstallClick();
    void NfoClick();

    // Reads install.ini beside the program (throws on a bad NUMFILES).
    void ReadSettings();

    // The extraction run into DestDir, with its progress screen.
    void ExtractArchive();
    // The archive library's reports during ExtractArchive.
    std::int32_t ProgressCallback(const void* data, std::int32_t count);
    std::int32_t VolumeCallback(const char* volumePath, std::int32_t code);
    // True while ExtractArchive runs: menu clicks and Quit are ignored then.
    bool ExtractionRunning = false;

    // Components, made from the stored layout in this order.
    TDXDraw* DXDraw1 = nullptr;  // a child widget: owned by the window
    std::unique_ptr<TDXImageList> DXImageList1;
    std::unique_ptr<TDXTimer> DXTimer1;

    // Integer cells: ProgressBar1 = per-file percentage, ProgressBar2 =
    // volume counter (Position) and expected volume count (Max),
    // btn_cancel.Tag = cancel flag.
    TIntegerCell ProgressBar2;
    TIntegerCell btn_cancel;
    TIntegerCell ProgressBar1;

    // Fields.
    std::string MeshPath;
    std::string DestDir;
    std::string DefaultDirName;
    double FilePercent = 0;
    std::int32_t FileSize = 0;

    TInstallerSettings Settings;

    // Title screen state: the scroller and the mouse as the drawing
    // surface's handlers last reported it.
    TScroller Scroller;
    std::int32_t MouseX = 0;
    std::int32_t MouseY = 0;
    std::int32_t MouseDown = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Makes the components and gives them their stored properties.
    void LoadLayout();

    // Pieces of the extraction run.
    TPictureCollectionItem* ProgressStrip() const;
    void DrawEntryFrame(const std::string& entryName, const std::string& volumePath);
    void CopyAndOpenRegistryFile(const std::string& name);
    // Progress reports present the back buffer at most once per display
    // refresh (about 60 per second).
    static constexpr std::int32_t kProgressFlipPeriodMs = 16;
    std::uint32_t lastProgressFlip_ = 0;

    // Dragging the borderless window by its background.
    bool HandleWindowDrag(QEvent* event);
    bool dragging_ = false;
    bool dragMoved_ = false;
    QPoint dragStartGlobal_;
    QPoint windowStart_;

    bool finalized_ = false;
};

// True when (x, y) of the drawing surface lies on one of the three menu
// buttons, where a press belongs to the menu and never moves the window.
bool OnMenuButton(int x, int y);

// The one main window while it exists.
extern TForm1* Form1;

// Maps a Qt key to the virtual-key code the key handler expects (0 if none).
int VirtualKeyOf(int qtKey);
