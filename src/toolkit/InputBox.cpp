#include "toolkit/InputBox.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {
InputBoxAnswerer answerer;

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}
}  // namespace

void SetInputBoxAnswerer(InputBoxAnswerer newAnswerer) { answerer = std::move(newAnswerer); }

std::optional<std::string> InputQuery(const std::string& caption, const std::string& prompt,
                                      const std::string& value) {
    if (answerer) return answerer({caption, prompt, value});

    QDialog box;
    box.setObjectName(QStringLiteral("InputBox"));
    box.setWindowTitle(FromUtf8(caption));
    box.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* label = new QLabel(FromUtf8(prompt), &box);
    auto* field = new QLineEdit(&box);
    field->setMaxLength(kInputBoxMaxLength);
    field->setText(FromUtf8(value));
    field->selectAll();
    field->setMinimumWidth(240);
    label->setBuddy(field);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);

    auto* layout = new QVBoxLayout(&box);
    layout->addWidget(label);
    layout->addWidget(field);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    box.adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = box.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        box.move(frame.topLeft());
    }
    field->setFocus();
    if (box.exec() != QDialog::Accepted) return std::nullopt;
    return field->text().toStdString();
}

std::string InputBox(const std::string& caption, const std::string& prompt,
                     const std::string& value) {
    return InputQuery(caption, prompt, value).value_or(value);
}
