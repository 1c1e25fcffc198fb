#include "dialogs/FlatButton.h"

#include <QKeyEvent>
#include <QPainter>
#include <qdrawutil.h>

TFlatButton::TFlatButton(const QString& caption, QWidget* parent) : QAbstractButton(parent) {
    setText(caption);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    QPalette colours = palette();
    colours.setColor(QPalette::ButtonText, Qt::black);
    setPalette(colours);
}

void TFlatButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool sunken = isDown();
    if (sunken || hovered_) {
        // White and grey one-pixel edges, swapped while held down.
        QPalette edges = palette();
        edges.setColor(QPalette::Light, Qt::white);
        edges.setColor(QPalette::Dark, QColor(128, 128, 128));
        qDrawShadeRect(&painter, rect(), edges, sunken, 1);
    }
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    // Held down, the caption moves one pixel right and down with the edge.
    const QRect textRect = sunken ? rect().translated(1, 1) : rect();
    painter.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, text());
}

void TFlatButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TFlatButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

// Mouse only: the space bar must not press it even if it were focused.
void TFlatButton::keyPressEvent(QKeyEvent* event) { event->ignore(); }
void TFlatButton::keyReleaseEvent(QKeyEvent* event) { event->ignore(); }
