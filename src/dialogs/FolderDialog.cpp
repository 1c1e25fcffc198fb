#include "dialogs/FolderDialog.h"

#include "dialogs/DriveBox.h"
#include "dialogs/FlatButton.h"
#include "dialogs/FolderList.h"
#include "dialogs/StoredPicture.h"
#include "toolkit/Application.h"
#include "toolkit/Exceptions.h"
#include "toolkit/InputBox.h"
#include "toolkit/MessageBox.h"

#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include <array>
#include <filesystem>
#include <system_error>

namespace {
const QColor kSilver(192, 192, 192);

QImage LoadBackground() {
    QFile file(QStringLiteral(":/dialogs/background.picture"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return ReadStoredPicture(file.readAll());
}

std::array<QPixmap, 5> LoadDriveGlyphs() {
    // Indexed by DriveKind: removable, fixed, network, CD-ROM, RAM.
    return {LoadGlyph(QStringLiteral(":/dialogs/floppy.bmp")), LoadGlyph(QStringLiteral(":/dialogs/hard.bmp")),
            LoadGlyph(QStringLiteral(":/dialogs/network.bmp")), LoadGlyph(QStringLiteral(":/dialogs/cdrom.bmp")),
            LoadGlyph(QStringLiteral(":/dialogs/ram.bmp"))};
}
}  // namespace

std::string AppendSeparator(const std::string& text) {
    constexpr char separator = char(std::filesystem::path::preferred_separator);
    return !text.empty() && text.back() == separator ? text : text + separator;
}

TForm2::TForm2(Owner owner, QWidget* parent) : QDialog(parent), owner_(std::move(owner)) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Form2"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(299, 214);
    QFont formFont = font();
    formFont.setPixelSize(11);
    setFont(formFont);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kSilver);
    setPalette(colours);

    background_ = LoadBackground();

    drive1_ = new TDriveBox(this);
    drive1_->setObjectName(QStringLiteral("drive1"));
    drive1_->setGeometry(13, 14, 145, 19);
    dir1_ = new TFolderList(this);
    dir1_->setObjectName(QStringLiteral("dir1"));
    dir1_->setGeometry(13, 38, 145, 161);
    dir1_->SetGlyphs(LoadGlyph(QStringLiteral(":/dialogs/openfolder.bmp")),
                     LoadGlyph(QStringLiteral(":/dialogs/currentfolder.bmp")),
                     LoadGlyph(QStringLiteral(":/dialogs/closedfolder.bmp")));
    drive1_->SetGlyphs(LoadDriveGlyphs());
    drive1_->SetDirList(dir1_);
    drive1_->Refresh();
    setTabOrder(drive1_, dir1_);

    ok_ = new TFlatButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("SpeedButton1"));
    ok_->setGeometry(214, 6, 81, 25);
    newFolder_ = new TFlatButton(QStringLiteral("New folder"), this);
    newFolder_->setObjectName(QStringLiteral("SpeedButton3"));
    newFolder_->setGeometry(214, 36, 81, 25);
    cancel_ = new TFlatButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("SpeedButton2"));
    cancel_->setGeometry(214, 65, 81, 25);
    connect(ok_, &QAbstractButton::clicked, this, &TForm2::SpeedButton1Click);
    connect(cancel_, &QAbstractButton::clicked, this, &TForm2::SpeedButton2Click);
    connect(newFolder_, &QAbstractButton::clicked, this, &TForm2::SpeedButton3Click);

    // Key preview: the form sees every key of its controls first.
    installEventFilter(this);
    drive1_->installEventFilter(this);
    dir1_->installEventFilter(this);
}

void TForm2::SpeedButton1Click() {
    if (owner_.SetDestDir) owner_.SetDestDir(dir1_->Directory());
    accept();
}

void TForm2::SpeedButton2Click() { reject(); }

void TForm2::SpeedButton3Click() {
    const std::string defaultName = owner_.DefaultDirName ? owner_.DefaultDirName() : std::string("untitled");
    // A cancelled box still gives the default name: a folder is made anyway.
    const std::string name = InputBox("New folder", "Enter name", defaultName);
    const std::string path = AppendSeparator(dir1_->Directory()) + name;

    // One level only: create_directory does not make missing parents, and
    // an existing folder of that name counts as a refusal.
    std::error_code ec;
    if (!std::filesystem::create_directory(path, ec) || ec) {
        ShowMessageBox("Cannot create directory", "Warning", MessageBoxIcon::Warning);
        return;
    }
    try {
        dir1_->SetDirectory(path);
    } catch (const Exception& error) {
        ReportHandlerException(error);
    }
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        reject();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TForm2::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kSilver);
    // The picture is 301 x 213: its last two columns fall outside the
    // window, and a silver line stays below it.
    if (!background_.isNull()) painter.drawImage(0, 0, background_);
}

void TForm2::showEvent(QShowEvent* event) {
    if (!placed_) {
        placed_ = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QDialog::showEvent(event);
}
