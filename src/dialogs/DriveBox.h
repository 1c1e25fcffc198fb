// drive1: the drive box of the destination dialog.
//
// A drop-down list with one line per mounted file system of a kind that
// holds files (removable, fixed, network, CD-ROM, RAM), each with its glyph.
// Choosing a line takes the linked folder list to the folder last used on
// that file system, or to its mount point; when the folder list opens a
// folder on another file system, the box follows.
#pragma once

#include "dialogs/MountTable.h"

#include <QComboBox>
#include <QPixmap>

#include <array>
#include <map>
#include <string>
#include <vector>

class TFolderList;

class TDriveBox : public QComboBox {
    Q_OBJECT
public:
    explicit TDriveBox(QWidget* parent = nullptr);

    // Fills the box from a mount table (the system's when not given) and
    // selects the drive of the linked list's folder.
    void Refresh();
    void Refresh(const std::string& mountInfo, const DriveProbe& probe);

    // Links the folder list this box steers and follows.
    void SetDirList(TFolderList* list);

    // Glyphs by kind (16 x 11), indexed by DriveKind.
    void SetGlyphs(std::array<QPixmap, 5> glyphs);

    const std::vector<Drive>& Drives() const { return drives_; }

    // Goes to the drive of line `index`: its last used folder, else its
    // mount point. Failures go to the application's error report and the
    // box goes back to the drive of the current folder.
    void ChooseDrive(int index);

    // Selects the line of the file system holding `folder` (none when it is
    // not listed) and remembers the folder as the last one used there.
    void FollowDirectory(const std::string& folder);

private:
    void Fill();
    int DriveIndexOf(const std::string& folder) const;

    TFolderList* dirList_ = nullptr;
    std::vector<MountEntry> mounts_;
    std::vector<Drive> drives_;
    std::map<std::string, std::string> lastFolder_;  // mount point -> folder
    std::array<QPixmap, 5> glyphs_;
};
