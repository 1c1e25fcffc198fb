// TForm3: the information viewer window.
//
// A sizeable top-level window, "View .nfo", holding a read-only text area
// (Memo1) that shows an information file white on dark blue in the OEM font,
// with both scroll bars and no wrapping, over an empty status bar. Escape
// closes it whichever control has the focus.
//
// The owner loads a file, then shows the window modally:
//
//     try {
//         Form3->LoadFromFile(nfoPath);   // throws before anything is shown
//         Form3->exec();
//     } catch (const Exception& error) { ReportHandlerException(error); }
#pragma once

#include <QDialog>

#include <string>
#include <string_view>

class QPlainTextEdit;
class QStatusBar;

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    // Replaces the text with the file's. Throws EFOpenError ("Cannot open
    // file %s"), EMemoTooLarge ("Text exceeds memo capacity") or EReadError;
    // on failure the text area keeps what it held. A text equal to the one
    // shown is left alone, scroll position included; a new text is shown
    // from the top.
    void LoadFromFile(const std::string& path);
    // The same for bytes already read (the rules of NormalizeNfoText).
    void LoadFromBytes(std::string_view bytes);

    QPlainTextEdit* Memo1() const { return memo_; }
    QStatusBar* StatusBar1() const { return status_; }
    // The text held, with CR LF line breaks, as bytes of the file.
    const std::string& Text() const { return text_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void SetText(std::string text);

    QPlainTextEdit* memo_;
    QStatusBar* status_;
    std::string text_;
    bool placed_ = false;
};
