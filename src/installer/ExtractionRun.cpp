// The extraction run: extracts every entry of the release's archive into
// the destination folder while drawing its own progress screen, then copies
// and opens the registry files.
//
// It runs inside the Install click handler with the frame timer stopped,
// and keeps the window alive by pumping messages itself; Esc sets the
// cancel flag, which the next progress report turns into "stop".
#include "installer/ExtractionRun.h"

#include "installer/ExtractionMessages.h"
#include "installer/Scroller.h"
#include "installer/TForm1.h"
#include "platform/os/Clock.h"
#include "platform/os/FileSystem.h"
#include "toolkit/Application.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Shell.h"
#include "unace/UnACE.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr TColor kWhite = 0xFFFFFF;
constexpr TColor kBlack = 0x000000;

// Screen positions of the progress screen.
constexpr int kHintX = 12, kHintY = 20;
constexpr int kEntryLineX = 200, kEntryLineY = 125;
constexpr int kFileBarX = 200, kFileBarY = 140;
constexpr int kVolumeLineX = 200, kVolumeLineY = 165;
constexpr int kVolumeBarX = 200, kVolumeBarY = 180;

// Registry file paths keep to the 255 characters their copy buffers hold.
constexpr std::size_t kMaxRegistryPath = 255;

void ShowError(const std::string& text) {
    ShowMessageBox(text, "Error", MessageBoxIcon::Error);
}

std::string TextOf(const char* field, std::size_t size) {
    return std::string(field, strnlen(field, size));
}

// Resets "bg" to transparent however the run ends.
class BackgroundOpaqueWhileRunning {
public:
    explicit BackgroundOpaqueWhileRunning(TPictureCollectionItem* background)
        : background_(background) {
        if (background_) background_->Transparent = false;
    }
    ~BackgroundOpaqueWhileRunning() {
        if (background_) background_->Transparent = true;
    }

private:
    TPictureCollectionItem* background_;
};

// Marks the run as going for the menu (clicks are ignored meanwhile).
class RunningFlag {
public:
    explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~RunningFlag() { flag_ = false; }

private:
    bool& flag_;
};

}  // namespace

int VolumeBarWidth(std::int32_t volumesDone, std::int32_t numFiles) {
    if (numFiles < 1) return 0;
    std::int64_t width = std::int64_t(kProgressStripWidth / numFiles) * (std::int64_t(volumesDone) + 1);
    return int(std::clamp<std::int64_t>(width, 0, kProgressStripWidth));
}

int FileBarWidth(std::int32_t percent) {
    return std::clamp(3 * percent, 0, kProgressStripWidth);
}

std::int32_t PercentCell(double filePercent) {
    if (!std::isfinite(filePercent)) return 0;
    return static_cast<std::int32_t>(
        RoundHalfEven(std::clamp(filePercent, -2147483648.0, 2147483647.0)));
}

std::string FileNamePart(const std::string& path) {
    std::size_t cut = path.find_last_of("\\/:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::int32_t TForm1::ProgressCallback(const void*, std::int32_t count) {
    if (FileSize != 0)
        FilePercent += double(count) / double(FileSize) * 100.0;
    else
        FilePercent += count;
    ProgressBar1.Position = PercentCell(FilePercent);

    TDirectDrawSurface* back = DXDraw1->BackSurface();
    if (TPictureCollectionItem* strip = ProgressStrip()) {
        if (TDirectDrawSurface* source = strip->SurfaceOfPattern(0); back && source) {
            int width = FileBarWidth(ProgressBar1.Position);
            if (width > 0)
                back->BltFast(kFileBarX, kFileBarY, TRect{0, 0, width, kProgressStripHeight}, 0,
                              source);
        }
    }
    if (Application) Application->ProcessMessages();
    const std::int32_t cancel = btn_cancel.Tag;
    // A display shows a new picture once per refresh; presenting more often
    // than that only costs time (the library may report a few thousand
    // times a second). The back buffer keeps everything drawn meanwhile, so
    // the next presented frame shows it.
    const std::uint32_t now = os::timeGetTime();
    if (static_cast<std::int32_t>(now - lastProgressFlip_) >= kProgressFlipPeriodMs ||
        static_cast<std::int32_t>(now - lastProgressFlip_) < 0) {
        lastProgressFlip_ = now;
        DXDraw1->Flip();
    }
    return cancel == 0 ? 1 : 0;
}

std::int32_t TForm1::VolumeCallback(const char* volumePath, std::int32_t code) {
    if (code == ACE_VOLUME_NOT_FOUND) {
        ShowError(std::string("Can't find file ") + volumePath + ".\rProcess stopped...");
        return 0;
    }
    if (code == ACE_VOLUME_CHANGED) {
        setWindowTitle(QString::fromStdString(FileNamePart(volumePath)));
        ProgressBar2.Position += 1;
        return 1;
    }
    return 0;  // a code this program does not know: stop rather than guess
}

TPictureCollectionItem* TForm1::ProgressStrip() const {
    TPictureCollection& pictures = DXImageList1->Items();
    int index = pictures.Find("progbar");
    return index >= 0 ? pictures.Items(index) : nullptr;
}

void TForm1::DrawEntryFrame(const std::string& entryName, const std::string& volumePath) {
    TDirectDrawSurface* back = DXDraw1->BackSurface();
    if (!back) return;
    TPictureCollection& pictures = DXImageList1->Items();
    auto draw = [&](const char* name, int x, int y) {
        int index = pictures.Find(name);
        if (index >= 0) pictures.Items(index)->Draw(back, x, y, 0);
    };
    draw("bg", 0, 0);
    draw("duskwing", 3, 290);
    if (TPictureCollectionItem* strip = ProgressStrip()) {
        int width = VolumeBarWidth(ProgressBar2.Position, Settings.NumFiles);
        if (TDirectDrawSurface* source = strip->SurfaceOfPattern(0); source && width > 0)
            back->BltFast(kVolumeBarX, kVolumeBarY, TRect{0, 0, width, kProgressStripHeight}, 0,
                          source);
    }
    TDirectDrawSurfaceCanvas& canvas = back->Canvas();
    canvas.BrushStyle = TBrushStyle::bsClear;
    canvas.Font.Size = 8;
    canvas.Font.Color = kWhite;
    canvas.TextOut(kEntryLineX, kEntryLineY, "File: " + entryName);
    canvas.TextOut(kVolumeLineX, kVolumeLineY,
                   "Archive [" + std::to_string(ProgressBar2.Position + 1) + "/" +
                       std::to_string(Settings.NumFiles) + "]: " + FileNamePart(volumePath));
    canvas.Font.Color = kBlack;
    canvas.TextOut(kHintX, kHintY, "Press 'ESC' to cancel..");
    canvas.Release();
}

void TForm1::CopyAndOpenRegistryFile(const std::string& name) {
    if (name.empty()) return;
    const std::string source = AppendBackslash(ProgramFolder()) + NativePath(name);
    const std::string destination = AppendBackslash(DestDir) + NativePath(name);
    if (source.size() > kMaxRegistryPath || destination.size() > kMaxRegistryPath) return;
    // A registry file of that name already in the destination is kept (the
    // user may have edited it); whichever file is there afterwards is opened.
    if (!os::CopyFile(source, destination, /*failIfExists=*/true) && !os::FileExists(destination))
        return;
    ShellOpen(destination);
}

void TForm1::ExtractArchive() {
    TPictureCollection& pictures = DXImageList1->Items();
    BackgroundOpaqueWhileRunning opaque(pictures.Count() > 0 ? pictures.Items(0) : nullptr);
    RunningFlag running(ExtractionRunning);

    if (DestDir.empty()) return;
    if (!os::FileExists(Settings.Source)) {
        ShowError("Can't find file to extract.\rProcess stopped...");
        return;
    }
    if (!os::DirectoryExists(DestDir)) {
        os::ForceDirectories(DestDir);
        if (!os::DirectoryExists(DestDir)) {
            ShowError("Can't find directory to extract.\rProcess stopped...");
            return;
        }
    }
    DestDir = AppendBackslash(DestDir);

    ProgressBar2.Position = 0;
    lastProgressFlip_ = os::timeGetTime() - kProgressFlipPeriodMs;  // the first report presents
    ArchiveOpenRecord open{};
    open.ArcName = Settings.Source.c_str();
    open.OpenMode = ACE_OPEN_EXTRACT;
    open.Reserved79 = 4;
    open.VolumeCallback = [](const char* path, std::int32_t code, void* context) {
        return static_cast<TForm1*>(context)->VolumeCallback(path, code);
    };
    open.ProgressCallback = [](const void* data, std::int32_t count, void* context) {
        return static_cast<TForm1*>(context)->ProgressCallback(data, count);
    };
    open.CallbackContext = this;
    ACEHandle handle = ACEOpenArchive(&open);
    if (open.OpenResult != 0) {
        ShowOpenError(open.OpenResult, Settings.Source);
        return;
    }

    ArchiveHeaderRecord header{};
    auto readHeader = [&] {
        std::int32_t result = ACEReadHeader(handle, &header);
        FilePercent = 0;
        FileSize = header.Size;
        ProgressBar1.Position = 0;
        return result;
    };
    std::int32_t headerResult = readHeader();
    btn_cancel.Tag = 0;

    while (headerResult == 0) {
        const std::string entryName = TextOf(header.EntryName, sizeof header.EntryName);
        DrawEntryFrame(entryName, TextOf(header.VolumePath, sizeof header.VolumePath));
        if (Application) Application->ProcessMessages();

        // An older file of the entry's name is not deleted first: the
        // library writes the new file under a temporary name and renames it
        // over the old one only when it is complete, which also replaces a
        // read-only file. A failed or cancelled entry so keeps the old file.

        std::int32_t result = ACEProcessFile(handle, ACE_OP_EXTRACT, DestDir.c_str());
        if (btn_cancel.Tag == 1) {
            ACECloseArchive(handle);
            return;
        }
        if (result != 0 && FileSize != 0) {
            ShowProcessError(result);
            break;
        }
        headerResult = readHeader();
    }
    if (headerResult != 0) ShowHeaderError(headerResult);
    ACECloseArchive(handle);

    CopyAndOpenRegistryFile(Settings.RegFile1);
    CopyAndOpenRegistryFile(Settings.RegFile2);
}
