// dir1: the folder list of the destination dialog.
//
// It shows the root, each folder on the way down to the current folder, the
// current folder and its subfolders (sorted, without "." and ".."), each
// with its glyph and indented by its depth. Double-click or Enter opens a
// line's folder; a single click only highlights it. The current folder is
// always the process's current directory: opening a folder changes it.
#pragma once

#include <QListWidget>
#include <QPixmap>

#include <string>
#include <vector>

enum class FolderLineKind { Path, Current, Subfolder };

struct FolderLine {
    FolderLineKind kind;
    std::string text;    // as shown
    int indent;          // pixels from the left edge to the glyph
    std::string target;  // the folder the line opens
};

// Left edge of the glyph for line `index` of the path part, and for every
// subfolder of a current folder whose path holds `separators` separators.
constexpr int PathLineIndent(int index) { return index * 4 + 2; }
constexpr int SubfolderIndent(int separators) { return separators * 4 + 6; }
// The text starts this many pixels after a 16-pixel glyph.
constexpr int kGlyphWidth = 16;
constexpr int kGlyphTextGap = 4;
constexpr int kFolderLineHeight = 16;

// The lines for an absolute, normalised `current` folder and the names of
// its subfolders (any order; they are sorted here).
std::vector<FolderLine> BuildFolderLines(const std::string& current, std::vector<std::string> subfolders);

// Names of the folders inside `folder` ("." and ".." never appear); empty
// when it cannot be read.
std::vector<std::string> ListSubfolders(const std::string& folder);

class TFolderList : public QListWidget {
    Q_OBJECT
public:
    // Starts at the process's current directory.
    explicit TFolderList(QWidget* parent = nullptr);

    // The current folder, as the system reports the process's current
    // directory: the root is "/", other folders have no trailing separator.
    const std::string& Directory() const { return directory_; }

    // Opens a folder: makes it the process's current directory and rebuilds
    // the list with its line selected. Throws EInOutError when the folder
    // cannot be opened; the list then stays where it was.
    void SetDirectory(const std::string& path);

    // Opens the folder of a line (the current folder's line changes nothing).
    // Failures go to the application's error report.
    void OpenLine(int row);

    // Rebuilds the lines for the current folder (after folders were made).
    void Refresh();

    // Glyphs of the three kinds of line (16 x 15).
    void SetGlyphs(QPixmap openFolder, QPixmap currentFolder, QPixmap closedFolder);

signals:
    void DirectoryChanged(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    std::string directory_;
    int currentRow_ = 0;
    class Delegate;
    Delegate* delegate_;
};
