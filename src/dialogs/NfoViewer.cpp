#include "dialogs/NfoViewer.h"

#include "dialogs/NfoText.h"
#include "dialogs/OemFont.h"
#include "dialogs/StoredPicture.h"

#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {
// Client area of the designed window: the text area (655 x 574) over the
// 19-pixel status bar. With a 4-pixel frame and a 23-pixel caption the
// outer size is 663 x 620.
constexpr int kClientWidth = 655;
constexpr int kMemoHeight = 574;
constexpr int kStatusHeight = 19;
const QColor kMemoBackground(0, 64, 128);
}  // namespace

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("View .nfo"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    InitDialogResources();
    setWindowIcon(QIcon(QStringLiteral(":/dialogs/install.png")));
    QFont formFont = font();
    formFont.setPixelSize(11);
    setFont(formFont);

    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName(QStringLiteral("Memo1"));
    memo_->setReadOnly(true);
    // Read-only, but the caret still moves and text can be selected and copied.
    memo_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setWordWrapMode(QTextOption::NoWrap);
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo_->setFont(OemFont());
    memo_->setTabStopDistance(QFontMetricsF(memo_->font()).horizontalAdvance(QChar(' ')) * 8);
    memo_->document()->setDocumentMargin(1);
    QPalette colours = memo_->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::Base, kMemoBackground);
        colours.setColor(group, QPalette::Text, Qt::white);
    }
    memo_->setPalette(colours);
    memo_->setPlainText(QStringLiteral("Memo1"));
    text_ = "Memo1";

    status_ = new QStatusBar(this);
    status_->setObjectName(QStringLiteral("StatusBar1"));
    status_->setFixedHeight(kStatusHeight);
    status_->setSizeGripEnabled(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(memo_, 1);
    layout->addWidget(status_);

    setFocusProxy(memo_);
    status_->setFocusPolicy(Qt::NoFocus);
    installEventFilter(this);
    memo_->installEventFilter(this);
    resize(kClientWidth, kMemoHeight + kStatusHeight);
}

void TForm3::LoadFromFile(const std::string& path) { SetText(NormalizeNfoText(ReadNfoFile(path))); }

void TForm3::LoadFromBytes(std::string_view bytes) { SetText(NormalizeNfoText(bytes)); }

void TForm3::SetText(std::string text) {
    if (text == text_) return;  // unchanged: keep the caret and the scroll position
    memo_->setPlainText(NfoDisplayText(text));
    text_ = std::move(text);
    memo_->moveCursor(QTextCursor::Start);
}

// Key preview: Escape closes the window whichever control has the focus.
bool TForm3::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        close();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TForm3::showEvent(QShowEvent* event) {
    // Centred on the screen the first time; afterwards where the user left it.
    if (!placed_) {
        placed_ = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    memo_->setFocus();
    QDialog::showEvent(event);
}
