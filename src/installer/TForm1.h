// The main window: borderless, 571 x 306 client pixels, centred. It hosts
// the drawing surface, the image list and the frame timer, sees every key
// first, and holds the state that the title screen, the folder dialog and
// the extraction run share.
#pragma once

#include "installer/Settings.h"
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
    void DXDraw1Initialize(QObject* sender);
    void DXDraw1Finalize(QObject* sender);

    // Reads install.ini beside the program (throws on a bad NUMFILES).
    void ReadSettings();

    // Components.
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool finalized_ = false;
};

// The one main window while it exists.
extern TForm1* Form1;

// Maps a Qt key to the virtual-key code the key handler expects (0 if none).
int VirtualKeyOf(int qtKey);
