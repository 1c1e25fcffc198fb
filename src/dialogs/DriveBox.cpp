#include "dialogs/DriveBox.h"

#include "dialogs/FolderList.h"
#include "toolkit/Application.h"
#include "toolkit/Exceptions.h"

#include <QFile>
#include <QSignalBlocker>

TDriveBox::TDriveBox(QWidget* parent) : QComboBox(parent) {
    setIconSize(QSize(16, 11));
    setFocusPolicy(Qt::StrongFocus);
    QPalette colours = palette();
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::Button, Qt::white);
    colours.setColor(QPalette::Text, Qt::black);
    colours.setColor(QPalette::ButtonText, Qt::black);
    setPalette(colours);
    // Only a choice made by the user moves the folder list.
    connect(this, &QComboBox::activated, this, &TDriveBox::ChooseDrive);
}

void TDriveBox::SetDirList(TFolderList* list) {
    dirList_ = list;
    connect(list, &TFolderList::DirectoryChanged, this,
            [this](const QString& folder) { FollowDirectory(QFile::encodeName(folder).toStdString()); });
    if (!drives_.empty()) FollowDirectory(list->Directory());
}

void TDriveBox::SetGlyphs(std::array<QPixmap, 5> glyphs) {
    glyphs_ = std::move(glyphs);
    Fill();
}

void TDriveBox::Refresh() { Refresh(ReadSystemMountInfo(), SystemDriveProbe()); }

void TDriveBox::Refresh(const std::string& mountInfo, const DriveProbe& probe) {
    mounts_ = ParseMountInfo(mountInfo);
    drives_ = ListDrives(mounts_, probe);
    Fill();
}

void TDriveBox::Fill() {
    const QSignalBlocker quiet(this);
    clear();
    for (const Drive& drive : drives_)
        addItem(QIcon(glyphs_[size_t(drive.kind)]), QFile::decodeName(QByteArray::fromStdString(drive.text)));
    if (dirList_ != nullptr) FollowDirectory(dirList_->Directory());
}

int TDriveBox::DriveIndexOf(const std::string& folder) const {
    const MountEntry* mount = ContainingMount(mounts_, folder);
    if (mount == nullptr) return -1;
    for (size_t i = 0; i < drives_.size(); ++i)
        if (drives_[i].mountPoint == mount->mountPoint) return int(i);
    return -1;
}

void TDriveBox::FollowDirectory(const std::string& folder) {
    const int index = DriveIndexOf(folder);
    if (index >= 0) lastFolder_[drives_[size_t(index)].mountPoint] = folder;
    const QSignalBlocker quiet(this);
    setCurrentIndex(index);
}

void TDriveBox::ChooseDrive(int index) {
    if (dirList_ == nullptr || index < 0 || size_t(index) >= drives_.size()) return;
    const std::string& mountPoint = drives_[size_t(index)].mountPoint;
    const auto last = lastFolder_.find(mountPoint);
    try {
        if (last != lastFolder_.end() && last->second != dirList_->Directory()) {
            try {
                dirList_->SetDirectory(last->second);
                return;
            } catch (const EInOutError&) {
                // The folder last used there has gone: fall back to the mount point.
                lastFolder_.erase(mountPoint);
            }
        }
        if (DriveIndexOf(dirList_->Directory()) != index) dirList_->SetDirectory(mountPoint);
    } catch (const Exception& error) {
        ReportHandlerException(error);
        FollowDirectory(dirList_->Directory());
    }
}
