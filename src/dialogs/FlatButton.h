// A flat push button: no face of its own, only its centred caption over
// whatever lies beneath, a thin raised edge while the pointer is over it and
// a sunken edge while it is held down. It never takes the keyboard focus and
// acts on a mouse click only.
#pragma once

#include <QAbstractButton>

class TFlatButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TFlatButton(const QString& caption, QWidget* parent = nullptr);

    bool Hovered() const { return hovered_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    bool hovered_ = false;
};
