// The title screen on a real main window: start-up from the stored layout,
// the scroller's timing, what each frame shows, and the menu.
#include "installer/Scroller.h"
#include "installer/TForm1.h"
#include "installer/TitleScreen.h"
#include "platform/ddraw/DDraw.h"
#include "toolkit/Application.h"
#include "toolkit/Exceptions.h"
#include "toolkit/Fonts.h"

#include <QFontMetrics>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

constexpr std::uint32_t kOrange = 0xFF8000;  // as the window shows it: 0xRRGGBB

}  // namespace

class TitleScreenTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<TForm1> window;

    void MakeWindow(const QByteArray& title, const QByteArray& publisher) {
        folder = std::make_unique<QTemporaryDir>();
        QFile ini(folder->filePath("install.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[FLAGS]\r\nTITLE=" + title + "\r\nPUBLISHER=" + publisher + "\r\nNUMFILES=3\r\n");
        ini.close();
        SetProgramFolderForTesting(QDir::toNativeSeparators(folder->path()).toStdString());
        window = std::make_unique<TForm1>();
    }

    void Frames(int count) {
        for (int i = 0; i < count; ++i) window->DXTimer1Timer(window->DXTimer1.get(), 1);
    }

    // Whether the window shows exactly the picture of `image` at (x, y).
    bool Shows(const char* image, int x, int y) {
        TPictureCollection& pictures = window->DXImageList1->Items();
        TDirectDrawSurface* source = pictures.Items(pictures.Find(image))->SurfaceOfPattern(0);
        const QImage& shown = window->DXDraw1->Picture();
        for (int sy = 0; sy < source->Height(); ++sy)
            for (int sx = 0; sx < source->Width(); ++sx)
                if ((shown.pixel(x + sx, y + sy) & 0xFFFFFF) != (source->Pixel(sx, sy) & 0xFFFFFF)) return false;
        return true;
    }

    int CountColour(const QRect& area, std::uint32_t rgb) {
        const QImage& shown = window->DXDraw1->Picture();
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) count += (shown.pixel(x, y) & 0xFFFFFF) == rgb;
        return count;
    }

    void Move(int x, int y, Qt::MouseButtons held = Qt::NoButton) {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, y), window->DXDraw1->mapToGlobal(QPointF(x, y)),
                         Qt::NoButton, held, Qt::NoModifier);
        QCoreApplication::sendEvent(window->DXDraw1, &move);
    }

private slots:
    void cleanup() {
        window.reset();
        ddraw::testing::Reset();
    }

    void startsFromTheStoredLayout() {
        MakeWindow("Starfall", "Nebula");
        TForm1& w = *window;
        QVERIFY(w.DXDraw1->Initialized());
        QCOMPARE(w.DXDraw1->Name(), std::string("DXDraw1"));
        QCOMPARE(w.DXDraw1->SurfaceWidth(), 571);
        QVERIFY(w.DXDraw1->Options().Contains(doSystemMemory));
        QVERIFY(w.DXTimer1->Enabled());
        QCOMPARE(w.DXTimer1->Interval(), 10);
        QCOMPARE(w.DXImageList1->DXDraw(), w.DXDraw1);
        QCOMPARE(w.ProgressBar2.Max, 3);  // NUMFILES, over the stored 100
        // The fourteen pictures have their surfaces; the palette came from them.
        TPictureCollection& pictures = w.DXImageList1->Items();
        QCOMPARE(pictures.Count(), 14);
        for (int i = 0; i < 14; ++i) QCOMPARE(pictures.Items(i)->NumPatterns(), 1);
        QVERIFY(pictures.Items(0)->Transparent);
        QVERIFY(w.DXDraw1->ColorTable == pictures.ColorTable());
        QVERIFY(w.DXDraw1->DefaultColorTable == pictures.ColorTable());
        QCOMPARE(w.Scroller.ScrollText.size(), std::size_t(350 + 8 + 6));
        QCOMPARE(w.Scroller.ScrollPos, 1.0);
    }

    void startUpErrorTearsDownCleanly() {
        // A bad NUMFILES fails inside DXDraw1Initialize, while the drawing
        // surface initialises from the layout: the window must come apart
        // without touching components that are already gone.
        folder = std::make_unique<QTemporaryDir>();
        QFile ini(folder->filePath("install.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[FLAGS]\r\nNUMFILES=12x\r\n");
        ini.close();
        SetProgramFolderForTesting(QDir::toNativeSeparators(folder->path()).toStdString());
        try {
            TForm1 broken;
            QFAIL("the window was made");
        } catch (const EConvertError& error) {
            QCOMPARE(error.Message(), std::string("'12x' is not a valid integer value"));
        }
        QCOMPARE(Form1, nullptr);
    }

    void fixedsysIsOneEightBySixteenStrike() {
        for (int size : {6, 10, 24}) {
            const QFontMetrics metrics(CanvasFont("FixedSys", size));
            QCOMPARE(metrics.height(), 16);
            QCOMPARE(metrics.horizontalAdvance(QString(53, QLatin1Char('M'))), 53 * 8);
        }
        QVERIFY(!BundledRasterFamily().isEmpty());
    }

    void scrollTextLayout_data() {
        QTest::addColumn<QByteArray>("title");
        QTest::addColumn<QByteArray>("publisher");
        QTest::newRow("usual") << QByteArray("Starfall Odyssey") << QByteArray("Nebula Interactive");
        QTest::newRow("one character each") << QByteArray("T") << QByteArray("P");
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void scrollTextLayout() {
        QFETCH(QByteArray, title);
        QFETCH(QByteArray, publisher);
        const std::string text = TScroller::BuildScrollText(title.toStdString(), publisher.toStdString());
        QCOMPARE(text.size(), std::size_t(350 + title.size() + publisher.size()));
        QCOMPARE(text.substr(0, 75), std::string(75, ' '));
        QCOMPARE(text.substr(75, 57), std::string("VORTEXIA is proud to present yet another stunning title: "));
        QCOMPARE(text.substr(132, std::size_t(title.size() + 3 + publisher.size())),
                 title.toStdString() + " - " + publisher.toStdString());
        const std::string greetings = text.substr(text.size() - 215);
        QCOMPARE(greetings.substr(0, 8), std::string(8, ' '));
        QCOMPARE(greetings.substr(159), std::string(56, ' '));
        QVERIFY(greetings[8] != ' ' && greetings[158] != ' ');  // exactly 151 characters of text
    }

    void scrollerTiming() {
        TScroller scroller;
        scroller.Build("T", "P");
        for (int i = 0; i < 5; ++i) scroller.Step();
        QCOMPARE(scroller.ScrollPos, 1.0);  // five frames leave it
        scroller.Step();
        QCOMPARE(scroller.ScrollPos, 2.0);  // the sixth moves it
        QCOMPARE(scroller.ScrollTicks, 0);

        scroller.Build("T", "P");
        scroller.ScrollTicks = 0;
        QCOMPARE(scroller.Window(), std::string(53, ' '));
        for (int i = 0; i < 138; ++i) scroller.Step();
        QCOMPARE(scroller.ScrollPos, 24.0);
        QCOMPARE(scroller.Window().size(), std::size_t(53));
        QCOMPARE(scroller.Window().back(), 'V');  // the first letter enters at the right
        QCOMPARE(scroller.Window().substr(0, 52), std::string(52, ' '));

        // 352 characters: position 352 shows one space, the next step wraps.
        scroller.ScrollPos = 351.0;
        for (int i = 0; i < 6; ++i) scroller.Step();
        QCOMPARE(scroller.ScrollPos, 352.0);
        QCOMPARE(scroller.Window(), std::string(" "));
        for (int i = 0; i < 6; ++i) scroller.Step();
        QCOMPARE(scroller.ScrollPos, 1.0);

        // Rebuilding keeps the frame counter.
        for (int i = 0; i < 4; ++i) scroller.Step();
        scroller.Build("", "");
        QCOMPARE(scroller.ScrollTicks, 4);
        QCOMPARE(scroller.ScrollText.substr(130, 5), std::string(":  - "));
    }

    void windowRoundsHalvesToEven() {
        QCOMPARE(RoundHalfEven(2.5), 2LL);
        QCOMPARE(RoundHalfEven(3.5), 4LL);
        QCOMPARE(RoundHalfEven(24.0), 24LL);
        QCOMPARE(RoundHalfEven(24.49), 24LL);
        TScroller scroller;
        scroller.Build("AB", "CD");
        scroller.ScrollPos = 76.5;  // rounds to 76: "VORTEXIA..."
        QCOMPARE(scroller.Window().substr(0, 3), std::string("VOR"));
        scroller.ScrollPos = 77.5;  // rounds to 78
        QCOMPARE(scroller.Window().substr(0, 3), std::string("RTE"));
    }

    void framesDrawTheTextLines() {
        MakeWindow("Starfall", "Nebula");
        Frames(1);
        // The title line in white from (140, 256); no orange yet: the window
        // holds only spaces.
        QVERIFY(CountColour(QRect(140, 256, 8 * 17, 16), 0xFFFFFF) > 50);
        QCOMPARE(CountColour(QRect(140, 285, 424, 16), kOrange), 0);
        Frames(137);  // 138 drawn frames: the "V" in the last cell (x 556..563)
        QCOMPARE(window->Scroller.ScrollPos, 24.0);
        QVERIFY(CountColour(QRect(556, 285, 8, 16), kOrange) > 5);
        QCOMPARE(CountColour(QRect(140, 285, 416, 16), kOrange), 0);
        QCOMPARE(CountColour(QRect(564, 285, 7, 16), kOrange), 0);  // nothing past the window
        QVERIFY(Shows("duskwing", 3, 290));
    }

    void framesThatCannotDrawLeaveTheScrollerAlone() {
        MakeWindow("T", "P");
        Frames(5);
        ddraw::testing::SetSurfacesLost(true);
        Frames(20);
        QCOMPARE(window->Scroller.ScrollTicks, 5);
        QCOMPARE(window->Scroller.ScrollPos, 1.0);
        ddraw::testing::SetSurfacesLost(false);
        Frames(1);  // restored: drawing resumes
        QCOMPARE(window->Scroller.ScrollPos, 2.0);
        QVERIFY(Shows("info_install1", 0, 30));
    }

    void hotAreaBounds_data() {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<QString>("install");
        QTest::addColumn<QString>("nfo");
        QTest::addColumn<QString>("quit");
        QTest::newRow("(0,50) column 0") << 0 << 50 << "info_install1" << "info_nfo1" << "info_quit1";
        QTest::newRow("(1,31)") << 1 << 31 << "info_install2" << "info_nfo1" << "info_quit1";
        QTest::newRow("(129,73)") << 129 << 73 << "info_install2" << "info_nfo1" << "info_quit1";
        QTest::newRow("(130,73)") << 130 << 73 << "info_install1" << "info_nfo1" << "info_quit1";
        QTest::newRow("(129,74)") << 129 << 74 << "info_install1" << "info_nfo1" << "info_quit1";
        QTest::newRow("(60,30) top row") << 60 << 30 << "info_install1" << "info_nfo1" << "info_quit1";
        QTest::newRow("(60,77) between") << 60 << 77 << "info_install1" << "info_nfo1" << "info_quit1";
        QTest::newRow("(60,100) NFO") << 60 << 100 << "info_install1" << "info_nfo2" << "info_quit1";
        QTest::newRow("(60,173) Quit") << 60 << 173 << "info_install1" << "info_nfo1" << "info_quit2";
    }
    void hotAreaBounds() {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(QString, install);
        QFETCH(QString, nfo);
        QFETCH(QString, quit);
        MakeWindow("T", "P");
        Move(x, y);
        QCOMPARE(window->MouseX, x);
        QCOMPARE(window->MouseY, y);
        Frames(1);
        QVERIFY(Shows(install.toLatin1().constData(), 0, kInstallTop));
        QVERIFY(Shows(nfo.toLatin1().constData(), 0, kNfoTop));
        QVERIFY(Shows(quit.toLatin1().constData(), 0, kQuitTop));
    }

    void pressOnInstallThenMoveToNfo() {
        MakeWindow("T", "P");
        Move(60, 50);
        QTest::mousePress(window->DXDraw1, Qt::LeftButton, Qt::NoModifier, QPoint(60, 50));
        Frames(1);
        QVERIFY(Shows("info_install3", 0, kInstallTop));
        Move(60, 100, Qt::LeftButton);
        Frames(1);
        QVERIFY(Shows("info_install1", 0, kInstallTop));
        QVERIFY(Shows("info_nfo3", 0, kNfoTop));

        // Releasing there runs NFO, not Install (Install would clear DestDir).
        window->DestDir = "marker";
        QTest::mouseRelease(window->DXDraw1, Qt::LeftButton, Qt::NoModifier, QPoint(60, 100));
        QCOMPARE(window->MouseDown, 0);
        QCOMPARE(window->DestDir, std::string("marker"));
        QVERIFY(window->DXTimer1->Enabled());
        Frames(1);
        QVERIFY(Shows("info_nfo2", 0, kNfoTop));  // hover, not pressed, once frames resume
    }

    void releaseUsesTheLastPositionOnly() {
        MakeWindow("T", "P");
        window->show();
        Move(60, 50);  // over Install
        window->DXDraw1MouseDown(window->DXDraw1, TMouseButton::mbLeft, Qt::NoModifier, 60, 150);
        window->DestDir = "marker";
        // The release reports Quit's area, but the pointer last moved over Install.
        window->DXDraw1MouseUp(window->DXDraw1, TMouseButton::mbRight, Qt::NoModifier, 60, 150);
        QVERIFY(window->isVisible());
        QCOMPARE(window->DestDir, std::string());  // Install ran

        Move(300, 200);  // outside every button: nothing but MouseDown cleared
        window->DXDraw1MouseDown(window->DXDraw1, TMouseButton::mbLeft, Qt::NoModifier, 300, 200);
        window->DestDir = "marker";
        window->DXDraw1MouseUp(window->DXDraw1, TMouseButton::mbLeft, Qt::NoModifier, 300, 200);
        QCOMPARE(window->MouseDown, 0);
        QCOMPARE(window->DestDir, std::string("marker"));
        QVERIFY(window->isVisible());
    }

    void quitClosesTheWindow() {
        MakeWindow("T", "P");
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // Pressed outside every button, moved onto Quit while held, released.
        Move(300, 200);
        QTest::mousePress(window->DXDraw1, Qt::LeftButton, Qt::NoModifier, QPoint(300, 200));
        Move(60, 150, Qt::LeftButton);
        QTest::mouseRelease(window->DXDraw1, Qt::LeftButton, Qt::NoModifier, QPoint(60, 150));
        QVERIFY(!window->isVisible());
        // Destroying the window finalises the surface, which stops the timer.
        TDXTimer* timer = window->DXTimer1.get();
        QVERIFY(timer->Enabled());
        delete window->DXDraw1;
        window->DXDraw1 = nullptr;
        QVERIFY(!timer->Enabled());
    }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication application(argc, argv);
    application.SetTitle("Install");
    TitleScreenTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TitleScreenTest.moc"
