#include "toolkit/Shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace {
bool recording = false;
std::vector<std::string> recorded;
}  // namespace

void ShellOpen(const std::string& path) {
    if (recording) {
        recorded.push_back(path);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void SetShellRecording(bool on) { recording = on; }
const std::vector<std::string>& RecordedShellOpens() { return recorded; }
void ClearRecordedShellOpens() { recorded.clear(); }
