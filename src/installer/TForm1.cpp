#include "installer/TForm1.h"

#include "installer/TitleScreen.h"
#include "toolkit/Application.h"
#include "toolkit/Exceptions.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>
#include <QScreen>

TForm1* Form1 = nullptr;

int VirtualKeyOf(int qtKey) {
    if (qtKey == Qt::Key_Escape) return TForm1::VK_ESCAPE;
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return qtKey;  // same codes
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return qtKey;
    if (qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter) return 13;
    if (qtKey == Qt::Key_Space) return 32;
    return 0;
}

TForm1::TForm1() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {
    Form1 = this;
    SetName("Form1");
    setWindowTitle(QStringLiteral("Install"));
    setFixedSize(kClientWidth, kClientHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
    }

    if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(this);

    // The components come from the stored layout; DXDraw1 initialises itself
    // as soon as it is loaded and then calls DXDraw1Initialize.
    try {
        LoadLayout();
    } catch (...) {
        // The drawing surface is a child widget that would otherwise outlive
        // the members its handlers use.
        delete DXDraw1;
        DXDraw1 = nullptr;
        if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
        if (Form1 == this) Form1 = nullptr;
        throw;
    }
}

TForm1::~TForm1() {
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
    // The drawing surface finalises first (its finalise handler stops the
    // timer; the image list drops its surfaces), while the components its
    // handlers use still exist.
    delete DXDraw1;
    DXDraw1 = nullptr;
    if (DXTimer1) DXTimer1->SetEnabled(false);
    if (Form1 == this) Form1 = nullptr;
}

void TForm1::DXDraw1Finalize(QObject*) {
    if (DXTimer1) DXTimer1->SetEnabled(false);
}

void TForm1::FormKeyDown(QObject*, int key, Qt::KeyboardModifiers) {
    if (key != VK_ESCAPE) return;
    btn_cancel.Tag = 1;
    if (DXTimer1->Enabled()) close();
}

bool OnMenuButton(int x, int y) {
    if (x < 0 || x >= kButtonWidth) return false;
    for (int top : {kInstallTop, kNfoTop, kQuitTop})
        if (y >= top && y < top + kButtonHeight) return true;
    return false;
}

// A borderless window has no title bar to move it by, so a press on the
// screen's background followed by a move drags the window. The drawing
// surface still sees every event; presses on the buttons never drag.
bool TForm1::HandleWindowDrag(QEvent* event) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const QPoint at = mouse->position().toPoint();
        dragging_ = mouse->button() == Qt::LeftButton && !ExtractionRunning &&
                    !OnMenuButton(at.x(), at.y());
        dragMoved_ = false;
        dragStartGlobal_ = mouse->globalPosition().toPoint();
        windowStart_ = pos();
        break;
    }
    case QEvent::MouseMove: {
        if (!dragging_ || !(mouse->buttons() & Qt::LeftButton)) break;
        const QPoint delta = mouse->globalPosition().toPoint() - dragStartGlobal_;
        if (!dragMoved_ && delta.manhattanLength() < QApplication::startDragDistance()) break;
        dragMoved_ = true;
        // Where windows may not place themselves, the window system moves
        // the window; it then keeps the pointer until the drag ends.
        if (QGuiApplication::platformName() == QLatin1String("wayland") && windowHandle() &&
            windowHandle()->startSystemMove()) {
            dragging_ = false;
            MouseDown = 0;
            break;
        }
        move(windowStart_ + delta);
        break;
    }
    case QEvent::MouseButtonRelease:
        dragging_ = false;
        break;
    default:
        break;
    }
    return false;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (DXDraw1 && watched == DXDraw1 &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove ||
         event->type() == QEvent::MouseButtonRelease))
        return HandleWindowDrag(event);
    // Key preview: keys for this window or any of its controls reach the key
    // handler first.
    if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this) {
            auto* keyEvent = static_cast<QKeyEvent*>(event);
            int key = VirtualKeyOf(keyEvent->key());
            if (key != 0) FormKeyDown(this, key, keyEvent->modifiers());
            return key == VK_ESCAPE;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::closeEvent(QCloseEvent* event) {
    // The extraction run pumps messages from inside a click handler; closing
    // the window under it would pull the surfaces away mid-run.
    if (ExtractionRunning) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TForm1::ReadSettings() {
    ReadInstallerSettings(ProgramFolder(), Settings);
    DefaultDirName = Settings.DefaultDir;
    ProgressBar2.Max = Settings.NumFiles;
}
