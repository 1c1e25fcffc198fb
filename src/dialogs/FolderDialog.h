// TForm2: the destination folder dialog.
//
// A borderless 299 x 214 silver window with its background picture, the
// drive box (drive1), the folder list (dir1) and three flat buttons: "OK",
// "New folder" and "Cancel". Escape closes it whichever control has the
// focus.
//
// The dialog reads and writes two strings that belong to its owner, the main
// window, through the functions of TForm2::Owner, so it does not depend on
// the main window's class:
//
//     TForm2 form2({[this] { return DefaultDirName; },
//                   [this](const std::string& dir) { DestDir = dir; }});
//     DestDir.clear();
//     form2.exec();              // OK has called SetDestDir; no other way out does
//     if (!DestDir.empty()) ...
//
// OK hands over the folder list's current folder, the process's current
// directory: "/" for the root, any other folder without a trailing separator.
#pragma once

#include <QDialog>
#include <QImage>

#include <functional>
#include <string>

class TDriveBox;
class TFlatButton;
class TFolderList;

class TForm2 : public QDialog {
    Q_OBJECT
public:
    struct Owner {
        // The default name offered for a new folder ("untitled" unless the
        // settings say otherwise).
        std::function<std::string()> DefaultDirName;
        // Receives the chosen folder; called by OK only.
        std::function<void(const std::string&)> SetDestDir;
    };

    explicit TForm2(Owner owner, QWidget* parent = nullptr);

    TDriveBox* drive1() const { return drive1_; }
    TFolderList* dir1() const { return dir1_; }
    TFlatButton* SpeedButton1() const { return ok_; }         // OK
    TFlatButton* SpeedButton2() const { return cancel_; }     // Cancel
    TFlatButton* SpeedButton3() const { return newFolder_; }  // New folder
    const QImage& Image1() const { return background_; }

    void SpeedButton1Click();  // OK
    void SpeedButton2Click();  // Cancel
    void SpeedButton3Click();  // New folder

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    Owner owner_;
    QImage background_;
    TDriveBox* drive1_;
    TFolderList* dir1_;
    TFlatButton* ok_;
    TFlatButton* newFolder_;
    TFlatButton* cancel_;
    bool placed_ = false;
};

// The path join rule with the native separator: `text` unchanged when it
// ends with a separator, otherwise `text` followed by one.
std::string AppendSeparator(const std::string& text);
