#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

namespace {
bool recording = false;
std::vector<RecordedMessageBox> recorded;

QMessageBox::Icon ToQtIcon(MessageBoxIcon icon) {
    switch (icon) {
    case MessageBoxIcon::Error: return QMessageBox::Critical;
    case MessageBoxIcon::Warning: return QMessageBox::Warning;
    case MessageBoxIcon::Information: return QMessageBox::Information;
    case MessageBoxIcon::Question: return QMessageBox::Question;
    case MessageBoxIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

MessageBoxResult DefaultAnswer(MessageBoxButtons buttons) {
    return buttons == MessageBoxButtons::YesNo ? MessageBoxResult::Yes : MessageBoxResult::Ok;
}
}  // namespace

MessageBoxResult ShowMessageBox(const std::string& text, const std::string& caption,
                                MessageBoxIcon icon, MessageBoxButtons buttons) {
    if (recording || QApplication::instance() == nullptr) {
        recorded.push_back({text, caption, icon, buttons});
        return DefaultAnswer(buttons);
    }
    QString shown = QString::fromUtf8(text.data(), qsizetype(text.size()));
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QChar('\r'), QChar('\n'));
    QMessageBox box(ToQtIcon(icon), QString::fromUtf8(caption.c_str()), shown);
    switch (buttons) {
    case MessageBoxButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MessageBoxButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MessageBoxButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    }
    switch (box.exec()) {
    case QMessageBox::Cancel: return MessageBoxResult::Cancel;
    case QMessageBox::Yes: return MessageBoxResult::Yes;
    case QMessageBox::No: return MessageBoxResult::No;
    default: return MessageBoxResult::Ok;
    }
}

void SetMessageBoxRecording(bool on) { recording = on; }
bool IsMessageBoxRecording() { return recording; }
const std::vector<RecordedMessageBox>& RecordedMessageBoxes() { return recorded; }
void ClearRecordedMessageBoxes() { recorded.clear(); }
