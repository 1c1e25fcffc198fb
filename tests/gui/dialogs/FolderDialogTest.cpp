// The destination folder dialog with real widgets, real folders in a
// scratch area and simulated clicks and keys.
#include "dialogs/DriveBox.h"
#include "dialogs/FlatButton.h"
#include "dialogs/FolderDialog.h"
#include "dialogs/FolderList.h"
#include "dialogs/MountTable.h"
#include "dialogs/StoredPicture.h"
#include "toolkit/Exceptions.h"
#include "toolkit/InputBox.h"
#include "toolkit/MessageBox.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

namespace {
std::string Cwd() { return fs::current_path().string(); }

// A dialog wired to two strings standing in for the main window's fields.
struct Harness {
    std::string destDir;
    std::string defaultDirName = "untitled";
    int destDirWrites = 0;
    TForm2 form{{[this] { return defaultDirName; },
                 [this](const std::string& dir) { destDir = dir, ++destDirWrites; }}};
};

int RowOf(TFolderList* list, const QString& text) {
    const auto found = list->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? -1 : list->row(found.front());
}

void ClickRow(TFolderList* list, int row, bool twice) {
    const QPoint centre = list->visualItemRect(list->item(row)).center();
    if (twice)
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
    else
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
}
}  // namespace

class FolderDialogTest : public QObject {
    Q_OBJECT
    QTemporaryDir scratch_;
    std::string root_;  // canonical path of the scratch folder

private slots:
    void initTestCase() {
        SetMessageBoxRecording(true);
        QVERIFY(scratch_.isValid());
        root_ = fs::canonical(scratch_.path().toStdString()).string();
    }
    void init() {
        ClearRecordedMessageBoxes();
        fs::remove_all(root_);
        fs::create_directories(root_ + "/A");
        fs::create_directories(root_ + "/b/deeper");
        fs::create_directories(root_ + "/c");
        fs::current_path(root_);
    }
    void cleanup() { SetInputBoxAnswerer(nullptr); }

    // Start-up makes the program's folder the current directory before the
    // dialog exists; OK without browsing hands that folder over.
    void okOnFirstShowingGivesTheProgramFolder() {
        const std::string programFolder =
            fs::canonical(QCoreApplication::applicationDirPath().toStdString()).string();
        fs::current_path(programFolder);
        Harness h;
        h.form.show();
        QTest::mouseClick(h.form.SpeedButton1(), Qt::LeftButton);
        QCOMPARE(h.destDir, programFolder);
        QCOMPARE(h.form.result(), int(QDialog::Accepted));
        QVERIFY(!h.form.isVisible());
    }

    void listShowsPathCurrentAndSortedSubfolders() {
        const auto lines = BuildFolderLines("/work/main", {"zeta", "Alpha", "beta", "..", "."});
        QCOMPARE(lines.size(), size_t(6));
        const struct { FolderLineKind kind; const char* text; int indent; const char* target; } want[] = {
            {FolderLineKind::Path, "/", 2, "/"},
            {FolderLineKind::Path, "work", 6, "/work"},
            {FolderLineKind::Current, "main", 10, "/work/main"},
            {FolderLineKind::Subfolder, "Alpha", 14, "/work/main/Alpha"},
            {FolderLineKind::Subfolder, "beta", 14, "/work/main/beta"},
            {FolderLineKind::Subfolder, "zeta", 14, "/work/main/zeta"},
        };
        for (size_t i = 0; i < lines.size(); ++i) {
            QCOMPARE(lines[i].kind, want[i].kind);
            QCOMPARE(lines[i].text, std::string(want[i].text));
            QCOMPARE(lines[i].indent, want[i].indent);
            QCOMPARE(lines[i].target, std::string(want[i].target));
        }
        // At the root the root line is the current folder; subfolders sit
        // one separator deep.
        const auto atRoot = BuildFolderLines("/", {"usr"});
        QCOMPARE(atRoot.size(), size_t(2));
        QCOMPARE(atRoot[0].kind, FolderLineKind::Current);
        QCOMPARE(atRoot[1].indent, 10);
        QCOMPARE(atRoot[1].target, std::string("/usr"));
    }

    void singleClickOnlyHighlightsThenOkGivesTheCurrentFolder() {
        Harness h;
        h.form.show();
        TFolderList* list = h.form.dir1();
        QCOMPARE(list->Directory(), root_);
        const int b = RowOf(list, "b");
        QVERIFY(b > 0);
        QCOMPARE(RowOf(list, "A") + 1, b);  // sorted without regard to case
        ClickRow(list, b, false);
        QCOMPARE(list->currentRow(), b);
        QCOMPARE(list->Directory(), root_);
        QTest::mouseClick(h.form.SpeedButton1(), Qt::LeftButton);
        QCOMPARE(h.destDir, root_);
    }

    void doubleClickAndEnterOpenFolders() {
        Harness h;
        h.form.show();
        TFolderList* list = h.form.dir1();
        ClickRow(list, RowOf(list, "b"), true);
        QCOMPARE(list->Directory(), root_ + "/b");
        QCOMPARE(Cwd(), root_ + "/b");
        QCOMPARE(list->item(list->currentRow())->text(), QString("b"));
        QCOMPARE(RowOf(list, "deeper"), list->currentRow() + 1);

        // Enter on a line of the path part opens that level.
        list->setFocus();
        list->setCurrentRow(0);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(list->Directory(), std::string("/"));
        QCOMPARE(Cwd(), std::string("/"));

        // The root is handed over with its separator, other folders without.
        QTest::mouseClick(h.form.SpeedButton1(), Qt::LeftButton);
        QCOMPARE(h.destDir, std::string("/"));
    }

    void folderThatCannotBeOpenedReportsAndStays() {
        Harness h;
        h.form.show();
        TFolderList* list = h.form.dir1();
        const int c = RowOf(list, "c");
        fs::remove(root_ + "/c");
        ClickRow(list, c, true);
        QCOMPARE(RecordedMessageBoxes().size(), size_t(1));
        const RecordedMessageBox& box = RecordedMessageBoxes().front();
        QCOMPARE(box.caption, std::string("Install"));
        QCOMPARE(box.icon, MessageBoxIcon::Error);
        QVERIFY(box.text.find(root_ + "/c") != std::string::npos);
        QCOMPARE(list->Directory(), root_);
        QCOMPARE(Cwd(), root_);
    }

    void newFolder_data() {
        QTest::addColumn<std::optional<std::string>>("answer");  // nullopt: Cancel
        QTest::addColumn<QString>("defaultName");
        QTest::addColumn<bool>("made");
        QTest::addColumn<QString>("opened");  // relative to the scratch folder
        QTest::newRow("a new name") << std::optional<std::string>("fresh") << "untitled" << true << "fresh";
        QTest::newRow("emptied field") << std::optional<std::string>("") << "untitled" << false << "";
        QTest::newRow("existing name") << std::optional<std::string>("A") << "untitled" << false << "";
        QTest::newRow("missing parent") << std::optional<std::string>("x/y") << "untitled" << false << "";
        QTest::newRow("cancel makes the default") << std::optional<std::string>() << "untitled" << true
                                                  << "untitled";
        QTest::newRow("cancel, default exists") << std::optional<std::string>() << "A" << false << "";
    }
    void newFolder() {
        QFETCH(std::optional<std::string>, answer);
        QFETCH(QString, defaultName);
        QFETCH(bool, made);
        QFETCH(QString, opened);
        Harness h;
        h.defaultDirName = defaultName.toStdString();
        std::optional<InputBoxRequest> asked;
        SetInputBoxAnswerer([&](const InputBoxRequest& request) {
            asked = request;
            return answer;
        });
        h.form.show();
        QTest::mouseClick(h.form.SpeedButton3(), Qt::LeftButton);

        QVERIFY(asked.has_value());
        QCOMPARE(asked->caption, std::string("New folder"));
        QCOMPARE(asked->prompt, std::string("Enter name"));
        QCOMPARE(asked->value, h.defaultDirName);
        if (made) {
            const std::string folder = root_ + "/" + opened.toStdString();
            QVERIFY(fs::is_directory(folder));
            QCOMPARE(h.form.dir1()->Directory(), folder);
            QCOMPARE(Cwd(), folder);
            QVERIFY(RecordedMessageBoxes().empty());
        } else {
            QCOMPARE(RecordedMessageBoxes().size(), size_t(1));
            const RecordedMessageBox& box = RecordedMessageBoxes().front();
            QCOMPARE(box.text, std::string("Cannot create directory"));
            QCOMPARE(box.caption, std::string("Warning"));
            QCOMPARE(box.icon, MessageBoxIcon::Warning);
            QCOMPARE(box.buttons, MessageBoxButtons::Ok);
            QCOMPARE(h.form.dir1()->Directory(), root_);
            QVERIFY(!fs::exists(root_ + "/x"));
        }
        // Either way the dialog is still open and has handed nothing over.
        QVERIFY(h.form.isVisible());
        QCOMPARE(h.destDirWrites, 0);
    }

    void everyWayOutButOkLeavesDestDirEmpty_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("Cancel") << 0;
        QTest::newRow("Esc in the folder list") << 1;
        QTest::newRow("Esc in the drive box") << 2;
        QTest::newRow("closed by the window system") << 3;
        QTest::newRow("Esc on a button") << 4;
        QTest::newRow("Esc on the form itself") << 5;
    }
    void everyWayOutButOkLeavesDestDirEmpty() {
        QFETCH(int, way);
        Harness h;
        h.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h.form));
        ClickRow(h.form.dir1(), RowOf(h.form.dir1(), "b"), true);  // browse first
        switch (way) {
        case 0: QTest::mouseClick(h.form.SpeedButton2(), Qt::LeftButton); break;
        case 1: QTest::keyClick(h.form.dir1(), Qt::Key_Escape); break;
        case 2: QTest::keyClick(h.form.drive1(), Qt::Key_Escape); break;
        case 3: h.form.close(); break;
        case 4: QTest::keyClick(h.form.SpeedButton3(), Qt::Key_Escape); break;
        case 5: QTest::keyClick(&h.form, Qt::Key_Escape); break;
        }
        QVERIFY(!h.form.isVisible());
        QCOMPARE(h.form.result(), int(QDialog::Rejected));
        QCOMPARE(h.destDirWrites, 0);
        QVERIFY(h.destDir.empty());
        // Browsing still moved the process's current directory.
        QCOMPARE(Cwd(), root_ + "/b");
    }

    void flatButtonsNeverTakeTheFocus() {
        Harness h;
        h.form.show();
        for (TFlatButton* button : {h.form.SpeedButton1(), h.form.SpeedButton2(), h.form.SpeedButton3()})
            QCOMPARE(button->focusPolicy(), Qt::NoFocus);
        h.form.dir1()->setFocus();
        SetInputBoxAnswerer([](const InputBoxRequest&) { return std::nullopt; });
        QTest::mouseClick(h.form.SpeedButton3(), Qt::LeftButton);
        QVERIFY(!h.form.SpeedButton3()->hasFocus());
        QCOMPARE(h.form.size(), QSize(299, 214));
        QCOMPARE(h.form.dir1()->geometry(), QRect(13, 38, 145, 161));
    }

    // The layout data: the background picture from its stored form, the
    // glyphs with their bottom-left colour made transparent.
    void layoutDataLoads() {
        Harness h;
        QCOMPARE(h.form.Image1().size(), QSize(301, 213));
        for (const char* name : {"openfolder", "currentfolder", "closedfolder"}) {
            const QImage glyph = LoadGlyph(QString(":/dialogs/%1.bmp").arg(name)).toImage();
            QCOMPARE(glyph.size(), QSize(16, 15));
            QCOMPARE(qAlpha(glyph.pixel(0, 14)), 0);
            QVERIFY(qAlpha(glyph.pixel(8, 7)) != 0);
        }
        const QImage ram = LoadGlyph(":/dialogs/ram.bmp").toImage();
        QCOMPARE(ram.size(), QSize(16, 11));
        // Damaged stored data is an error, not a crash or a blank picture.
        QFile file(":/dialogs/background.picture");
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray stored = file.readAll();
        QCOMPARE(ReadStoredPicture(stored).size(), QSize(301, 213));
        for (qsizetype cut : {qsizetype(3), qsizetype(12), stored.size() - 1}) {
            bool failed = false;
            try {
                ReadStoredPicture(stored.left(cut));
            } catch (const Exception&) {
                failed = true;
            }
            QVERIFY2(failed, qPrintable(QString("cut at %1").arg(cut)));
        }
    }

    // The real input box: default text selected, 255 characters at most,
    // OK gives the field, Cancel gives nothing.
    void inputBoxWindow() {
        auto answer = [](bool ok, QString typed) {
            QTimer::singleShot(0, [ok, typed] {
                QWidget* box = QApplication::activeModalWidget();
                QVERIFY(box != nullptr);
                auto* field = box->findChild<QLineEdit*>();
                QCOMPARE(field->selectedText(), QString("untitled"));
                QCOMPARE(field->maxLength(), 255);
                if (!typed.isNull()) QTest::keyClicks(field, typed);
                const QString label = ok ? "OK" : "Cancel";
                for (QPushButton* button : box->findChildren<QPushButton*>())
                    if (button->text() == label) button->click();
            });
        };
        answer(true, "mine");
        QCOMPARE(InputQuery("New folder", "Enter name", "untitled"), std::optional<std::string>("mine"));
        answer(false, "ignored");
        QCOMPARE(InputQuery("New folder", "Enter name", "untitled"), std::optional<std::string>());
        answer(false, QString());
        QCOMPARE(InputBox("New folder", "Enter name", "untitled"), std::string("untitled"));
    }
};

// The drive box, fed with a sample mount table.
class DriveBoxTest : public QObject {
    Q_OBJECT
    QTemporaryDir scratch_;

    static DriveProbe FakeProbe(std::vector<std::string> notFolders = {}) {
        DriveProbe probe;
        probe.isRemovable = [](const std::string& device) { return device == "8:17"; };
        probe.label = [](const MountEntry& mount) {
            return mount.source == "/dev/sdb1" ? std::string("STICK") : std::string();
        };
        probe.isDirectory = [notFolders](const std::string& path) {
            return std::find(notFolders.begin(), notFolders.end(), path) == notFolders.end();
        };
        return probe;
    }

private slots:
    void initTestCase() { SetMessageBoxRecording(true); }

    void mountTableListsKindsAndSkipsPseudoFileSystems() {
        const std::string sample =
            "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
            "22 26 0:21 / /sys rw,relatime - sysfs sysfs rw\n"
            "23 26 0:6 / /dev rw - devtmpfs devtmpfs rw\n"
            "24 23 0:22 / /dev/shm rw,relatime shared:5 - tmpfs tmpfs rw,size=10k\n"
            "25 23 0:23 / /dev/pts rw - devpts devpts rw\n"
            "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
            "30 22 0:27 / /sys/fs/cgroup rw - tmpfs tmpfs rw\n"
            "31 30 0:28 / /sys/fs/cgroup/cpu rw - cgroup cgroup rw,cpu\n"
            "40 26 0:40 / /mnt/ram\\040disk rw - tmpfs none rw\n"
            "41 26 0:41 / /mnt/nfs rw - nfs4 server:/export rw\n"
            "42 26 11:0 / /media/cd ro - iso9660 /dev/sr0 ro\n"
            "43 26 8:17 / /media/usb rw master:1 shared:2 - vfat /dev/sdb1 rw\n"
            "44 26 254:0 /hostfile /etc/hosts rw - ext4 /dev/vda rw\n"
            "45 26 0:45 / /run/user/1000 rw - tmpfs tmpfs rw\n"
            "46 45 0:46 / /run/user/1000 rw - fuse.portal portal rw\n"
            "garbage line without fields\n";
        const auto mounts = ParseMountInfo(sample);
        QCOMPARE(mounts.size(), size_t(15));
        QCOMPARE(mounts[8].mountPoint, std::string("/mnt/ram disk"));

        const auto drives = ListDrives(mounts, FakeProbe({"/etc/hosts"}));
        const struct { const char* mountPoint; DriveKind kind; const char* text; } want[] = {
            {"/", DriveKind::Fixed, "/"},
            {"/dev/shm", DriveKind::Ram, "/dev/shm"},
            {"/media/cd", DriveKind::CdRom, "/media/cd"},
            {"/media/usb", DriveKind::Removable, "/media/usb"},
            {"/mnt/nfs", DriveKind::Network, "/mnt/nfs server:/export"},
            {"/mnt/ram disk", DriveKind::Ram, "/mnt/ram disk"},
        };
        QCOMPARE(drives.size(), std::size(want));  // /run/user/1000 is mounted over by an unknown kind
        for (size_t i = 0; i < drives.size(); ++i) {
            QCOMPARE(drives[i].mountPoint, std::string(want[i].mountPoint));
            QCOMPARE(drives[i].kind, want[i].kind);
            QCOMPARE(drives[i].text, std::string(want[i].text));
        }
        // A fixed disk shows its label in brackets; a network drive without
        // a source falls back to it.
        MountEntry disk{"8:1", "/", "/data", "ext4", "/dev/sda1"};
        QCOMPARE(DriveText(DriveKind::Fixed, disk, "Data"), std::string("/data [Data]"));
        MountEntry share{"0:50", "/", "/mnt/share", "cifs", ""};
        QCOMPARE(DriveText(DriveKind::Network, share, ""), std::string("/mnt/share"));

        QCOMPARE(ContainingMount(mounts, "/dev/shm/x")->mountPoint, std::string("/dev/shm"));
        QCOMPARE(ContainingMount(mounts, "/dev/shmem")->mountPoint, std::string("/dev"));
        QCOMPARE(ContainingMount(mounts, "/home")->mountPoint, std::string("/"));
    }

    // The box shows a tmpfs mount as a RAM disk, follows the folder list
    // and goes back to the folder last used on a drive.
    void boxFollowsAndRemembersFolders() {
        QVERIFY(scratch_.isValid());
        const std::string ram = fs::canonical(scratch_.path().toStdString()).string();
        fs::create_directories(ram + "/inner/most");
        const std::string sample = "26 1 254:0 / / rw - ext4 /dev/vda rw\n"
                                   "40 26 0:40 / " + ram + " rw - tmpfs tmpfs rw\n"
                                   "41 26 0:20 / /proc rw - proc proc rw\n";
        fs::current_path(ram + "/inner");
        TFolderList list;
        TDriveBox box;
        box.Refresh(sample, FakeProbe());
        box.SetDirList(&list);
        QCOMPARE(box.count(), 2);
        QCOMPARE(box.itemText(1), QString::fromStdString(ram));
        QCOMPARE(box.Drives()[1].kind, DriveKind::Ram);
        QCOMPARE(box.currentIndex(), 1);

        list.SetDirectory(ram + "/inner/most");
        list.SetDirectory("/");  // another file system: the box follows
        QCOMPARE(box.currentIndex(), 0);
        box.ChooseDrive(1);  // back to the folder last used there
        QCOMPARE(list.Directory(), ram + "/inner/most");
        QCOMPARE(box.currentIndex(), 1);

        list.SetDirectory("/proc");  // not a listed drive: nothing selected
        QCOMPARE(box.currentIndex(), -1);

        // A remembered folder that has gone: the mount point instead.
        fs::current_path("/");
        fs::remove_all(ram + "/inner");
        box.ChooseDrive(1);
        QCOMPARE(list.Directory(), ram);
        QVERIFY(RecordedMessageBoxes().empty());
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int failed = 0;
    {
        FolderDialogTest test;
        failed |= QTest::qExec(&test, argc, argv);
    }
    {
        DriveBoxTest test;
        failed |= QTest::qExec(&test, argc, argv);
    }
    return failed;
}

#include "FolderDialogTest.moc"
