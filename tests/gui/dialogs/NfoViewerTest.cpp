// The information viewer and the rules that turn a file into its text.
#include "dialogs/NfoText.h"
#include "dialogs/NfoViewer.h"
#include "toolkit/Application.h"
#include "toolkit/Cp437.h"
#include "toolkit/Exceptions.h"
#include "toolkit/MessageBox.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>

namespace {
std::string WriteFile(const QTemporaryDir& dir, const char* name, const std::string& bytes) {
    const std::string path = dir.filePath(name).toStdString();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
}

QString Shown(const TForm3& form) { return form.Memo1()->toPlainText(); }
}  // namespace

class NfoViewerTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase() {
        SetMessageBoxRecording(true);
        QVERIFY(dir_.isValid());
    }
    void init() { ClearRecordedMessageBoxes(); }

    void lineBreaksAreMadeUniform_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("CR LF") << QByteArray("one\r\ntwo\r\n\r\nfour");
        QTest::newRow("LF only") << QByteArray("one\ntwo\n\nfour");
        QTest::newRow("CR only") << QByteArray("one\rtwo\r\rfour");
        QTest::newRow("mixed") << QByteArray("one\rtwo\n\r\nfour");
    }
    void lineBreaksAreMadeUniform() {
        QFETCH(QByteArray, bytes);
        TForm3 form;
        form.LoadFromFile(WriteFile(dir_, "lines.nfo", bytes.toStdString()));
        QCOMPARE(form.Text(), std::string("one\r\ntwo\r\n\r\nfour"));
        QCOMPARE(Shown(form), QString("one\ntwo\n\nfour"));
        QCOMPARE(form.Memo1()->document()->blockCount(), 4);
    }

    void normalisingRules() {
        QCOMPARE(NormalizeNfoText(std::string_view("\r\r\n\n", 4)), std::string("\r\n\r\n\r\n"));
        QCOMPARE(NormalizeNfoText(std::string_view("a\rb\0c\nd", 7)), std::string("a\r\nb"));
        QCOMPARE(NormalizeNfoText(std::string_view("\0abc", 4)), std::string());
        QCOMPARE(NormalizeNfoText(""), std::string());
        // A CR at the very end is a line break of its own.
        QCOMPARE(NormalizeNfoText("end\r"), std::string("end\r\n"));
    }

    // The characters handed to the text area for the shade, box-drawing and
    // block range are the DOS shapes, not accented letters.
    void blockAndBoxBytesShowTheirDosShapes() {
        std::string bytes;
        for (int b = 0xB0; b <= 0xDF; ++b) bytes += char(b);
        TForm3 form;
        form.LoadFromBytes(bytes);
        const QString shown = Shown(form);
        QCOMPARE(shown.size(), 0xDF - 0xB0 + 1);
        const struct { int byte; char16_t shape; } spot[] = {
            {0xB0, u'░'}, {0xB1, u'▒'}, {0xB2, u'▓'}, {0xB3, u'│'}, {0xBA, u'║'}, {0xBB, u'╗'},
            {0xC4, u'─'}, {0xC5, u'┼'}, {0xC9, u'╔'}, {0xCD, u'═'}, {0xCE, u'╬'}, {0xD9, u'┘'},
            {0xDA, u'┌'}, {0xDB, u'█'}, {0xDC, u'▄'}, {0xDD, u'▌'}, {0xDE, u'▐'}, {0xDF, u'▀'},
        };
        for (const auto& s : spot) QCOMPARE(shown.at(s.byte - 0xB0).unicode(), s.shape);
        // All 48 lie in the box-drawing and block elements blocks.
        for (QChar c : shown) QVERIFY2(c.unicode() >= 0x2500 && c.unicode() <= 0x259F, qPrintable(QString(c)));
        // Control-range bytes show their shapes too, tab and line breaks excepted.
        QCOMPARE(Cp437Decode("\x01\x1A\x7F\t").toStdU16String(), std::u16string(u"☺→⌂\t"));
        QCOMPARE(Cp437ToUnicode(0x80), u'Ç');
        QCOMPARE(Cp437ToUnicode(0xE1), u'ß');
        QCOMPARE(Cp437ToUnicode(0xFF), u'\u00A0');
    }

    void zeroByteEndsTheTextAndEmptyFileShowsNothing() {
        TForm3 form;
        form.LoadFromFile(WriteFile(dir_, "zero.nfo", std::string("shown\r\nalso\0hidden\r\nnever", 26)));
        QCOMPARE(Shown(form), QString("shown\nalso"));
        form.LoadFromFile(WriteFile(dir_, "empty.nfo", ""));
        QCOMPARE(Shown(form), QString());
    }

    void unchangedTextKeepsTheScrollPosition() {
        std::string art;
        for (int line = 0; line < 400; ++line) art += "line " + std::to_string(line) + "\r\n";
        const std::string path = WriteFile(dir_, "long.nfo", art);
        TForm3 form;
        form.show();
        form.LoadFromFile(path);
        QScrollBar* bar = form.Memo1()->verticalScrollBar();
        QVERIFY(bar->maximum() > 100);
        bar->setValue(100);
        form.LoadFromFile(path);
        QCOMPARE(bar->value(), 100);
        // The same text with other line ends is the same text.
        std::string unix = art;
        std::erase(unix, '\r');
        form.LoadFromFile(WriteFile(dir_, "long.nfo", unix));
        QCOMPARE(bar->value(), 100);
        // A changed file replaces the text and shows it from the top.
        form.LoadFromFile(WriteFile(dir_, "long.nfo", "new\r\n" + art));
        QCOMPARE(bar->value(), 0);
        QVERIFY(Shown(form).startsWith("new\nline 0\n"));
    }

    void capacityIsBounded() {
        QCOMPARE(NormalizeNfoText(std::string(10, 'x'), 10).size(), size_t(10));
        QVERIFY_THROWS_EXCEPTION(EMemoTooLarge, NormalizeNfoText(std::string(11, 'x'), 10));
        // Lone line feeds grow into CR LF: the grown text counts.
        QVERIFY_THROWS_EXCEPTION(EMemoTooLarge, NormalizeNfoText(std::string(6, '\n'), 10));
        // So does the length of each line, line breaks not included.
        QCOMPARE(NormalizeNfoText("abcd\nefgh", 100, 4), std::string("abcd\r\nefgh"));
        QVERIFY_THROWS_EXCEPTION(EMemoTooLarge, NormalizeNfoText("abcd\nefghi", 100, 4));
        // Bytes after a 0 byte do not count, however many there are.
        const std::string hidden = "ok" + std::string(1, '\0') + std::string(100, 'x');
        QCOMPARE(ReadNfoFile(WriteFile(dir_, "hidden.nfo", hidden), 10), std::string("ok"));
        QVERIFY_THROWS_EXCEPTION(EMemoTooLarge, ReadNfoFile(WriteFile(dir_, "big.nfo", std::string(11, 'x')), 10));

        // The real limit: a file one byte over it is refused, with the
        // message, and the text area keeps its text.
        TForm3 form;
        form.LoadFromBytes("kept");
        std::string line(kNfoMaxLineLength, 'x');
        std::string huge;
        while (huge.size() <= kNfoCapacity) huge += line + "\r\n";
        const std::string path = WriteFile(dir_, "huge.nfo", huge);
        try {
            form.LoadFromFile(path);
            QFAIL("no error for a text over the capacity");
        } catch (const EMemoTooLarge& error) {
            QCOMPARE(error.Message(), std::string("Text exceeds memo capacity"));
        }
        QCOMPARE(Shown(form), QString("kept"));
        // A text just within both limits is taken.
        huge.resize(kNfoCapacity);
        form.LoadFromFile(WriteFile(dir_, "huge.nfo", huge));
        QCOMPARE(form.Text().size(), kNfoCapacity);
        std::filesystem::remove(path);
    }

    // The NFO action's path with a missing file: the error report, and the
    // viewer is never shown; the text area keeps what it held.
    void missingFileGivesTheErrorAndNoViewer_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing file") << dir_.filePath("missing.nfo");
        QTest::newRow("a folder") << dir_.path();
        QTest::newRow("a device") << QString("/dev/zero");
    }
    void missingFileGivesTheErrorAndNoViewer() {
        QFETCH(QString, path);
        TForm3 form;
        try {
            form.LoadFromFile(path.toStdString());
            form.exec();
            QFAIL("the viewer was shown");
        } catch (const EFOpenError& error) {
            QCOMPARE(error.Message(), "Cannot open file " + path.toStdString());
            ReportHandlerException(error);
        }
        QVERIFY(!form.isVisible());
        QCOMPARE(Shown(form), QString("Memo1"));
        QCOMPARE(RecordedMessageBoxes().size(), size_t(1));
        const RecordedMessageBox& box = RecordedMessageBoxes().front();
        QCOMPARE(box.text, "Cannot open file " + path.toStdString() + ".");
        QCOMPARE(box.caption, std::string("Install"));
        QCOMPARE(box.icon, MessageBoxIcon::Error);
    }

    void windowLooksAsDesigned() {
        TForm3 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.windowTitle(), QString("View .nfo"));
        QVERIFY(!form.windowIcon().pixmap(32, 32).isNull());
        QPlainTextEdit* memo = form.Memo1();
        QCOMPARE(memo->size(), QSize(655, 574));
        QCOMPARE(form.StatusBar1()->height(), 19);
        QVERIFY(form.StatusBar1()->currentMessage().isEmpty());
        QVERIFY(memo->isReadOnly());
        QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(memo->palette().color(QPalette::Base), QColor(0, 64, 128));
        QCOMPARE(memo->palette().color(QPalette::Text), QColor(Qt::white));
        // The bundled terminal font at its 12-pixel strike: 12 pixels a line.
        const QFontInfo info(memo->font());
        QCOMPARE(info.family(), QString("Terminus"));
        QCOMPARE(info.pixelSize(), 12);
        QCOMPARE(QFontMetrics(memo->font()).height(), 12);
        QCOMPARE(QFontMetrics(memo->font()).lineSpacing(), 12);
        QVERIFY(memo->hasFocus());
        // Lines do not wrap: a long line widens the scroll range.
        form.LoadFromBytes(std::string(400, '\xDB'));
        QVERIFY(memo->horizontalScrollBar()->maximum() > 0);
        QCOMPARE(memo->document()->blockCount(), 1);
        // Escape closes it from the text area.
        QTest::keyClick(memo, Qt::Key_Escape);
        QVERIFY(!form.isVisible());
        // And from the window itself.
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(!form.isVisible());
    }
};

QTEST_MAIN(NfoViewerTest)
#include "NfoViewerTest.moc"
