// The installation as the real main window runs it: the menu action, the
// folder dialog answered by the test, the extraction run with its progress
// screen, the registry files. Message boxes and desktop opens are recorded.
#include "dialogs/FolderDialog.h"
#include "dialogs/NfoViewer.h"
#include "installer/EmblemScene.h"
#include "installer/ExtractionRun.h"
#include "installer/Forms.h"
#include "installer/TForm1.h"
#include "toolkit/Application.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Exceptions.h"
#include "toolkit/Shell.h"
#include "unace/writer/AceWriter.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const fs::path kCorpus = CORPUS_DIR;

std::string Md5Of(const fs::path& path) {
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::ReadOnly)) return "missing";
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5).toHex().toStdString();
}

// Checks every line of an md5sum list against the files below `root`.
void ExpectChecksums(const fs::path& list, const fs::path& root) {
    std::ifstream in(list);
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        if (line.size() < 35) continue;
        std::string sum = line.substr(0, 32);
        std::string name = line.substr(34);
        if (!name.empty() && name.back() == '\r') name.pop_back();
        EXPECT_EQ(Md5Of(root / name), sum) << name;
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A release folder: install.ini, the archive volumes and two registry files.
class Installation : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("installation-test-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        release_ = root_ / "release";
        fs::create_directories(release_);
        for (const char* volume : {"multivolume.ace", "multivolume.c00", "multivolume.c01"})
            fs::copy_file(kCorpus / "v1" / volume, release_ / volume);
        WriteFile(release_ / "first.reg", "REGEDIT4\r\n");
        WriteFile(release_ / "second.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n");
        WriteIni("SOURCE=multivolume.ace\r\nNUMFILES=3\r\nREGFILE1=first.reg\r\n"
                 "REGFILE2=second.reg\r\nTITLE=Test Title\r\nPUBLISHER=Test House\r\n");
        SetProgramFolderForTesting(release_.string());
        SetMessageBoxRecording(true);
        ClearRecordedMessageBoxes();
        SetShellRecording(true);
        ClearRecordedShellOpens();
        Application->SetActive(true);
        fs::create_directories(root_ / "tmp");
        SetTextureTempFolderForTesting((root_ / "tmp").string());
        form_ = std::make_unique<TForm1>();
    }
    void TearDown() override {
        form_.reset();
        SetTextureTempFolderForTesting("");
        SetProgramFolderForTesting("");
        fs::current_path(fs::temp_directory_path());
        fs::remove_all(root_);
    }
    void WriteIni(const std::string& flags) { WriteFile(release_ / "install.ini", "[FLAGS]\r\n" + flags); }

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : RecordedMessageBoxes()) texts.push_back(box.text);
        return texts;
    }

    // Runs the installation into `destination` as the OK of the dialog would.
    void RunInto(const fs::path& destination) {
        form_->DestDir = destination.string();
        form_->DXTimer1->SetEnabled(false);
        form_->ExtractArchive();
        form_->DXTimer1->SetEnabled(true);
    }

    // Replaces the release's archive with one large stored entry ("big.bin",
    // `size` bytes of a simple pattern) split over volumes of 1 MiB.
    void WriteLargeArchive(std::uint64_t size) {
        unace::AceWriterOptions options;
        options.Compression = unace::Method::Stored;
        options.VolumeSize = 1 << 20;
        unace::AceWriter writer(options);
        ASSERT_TRUE(writer.Open((release_ / "big.ace").string()));
        std::uint64_t produced = 0;
        ASSERT_TRUE(writer.AddFile("big.bin", 0x5A210000, 0x20, size,
                                   [&](std::uint8_t* buffer, std::size_t count) -> std::int64_t {
                                       count = std::size_t(std::min<std::uint64_t>(count, size - produced));
                                       for (std::size_t i = 0; i < count; ++i)
                                           buffer[i] = std::uint8_t((produced + i) * 131 >> 3);
                                       produced += count;
                                       return std::int64_t(count);
                                   }));
        ASSERT_TRUE(writer.Close());
        WriteIni("SOURCE=big.ace\r\nNUMFILES=" + std::to_string(writer.VolumePaths().size()) +
                 "\r\nREGFILE1=first.reg\r\n");
        form_->ReadSettings();
    }

    fs::path root_, release_;
    std::unique_ptr<TForm1> form_;
};

TEST_F(Installation, InstallsAllVolumesThroughTheMenuAndOpensTheRegistryFiles) {
    const fs::path destination = root_ / "games";
    fs::create_directories(destination);
    fs::current_path(destination);
    TForm2 dialog({[this] { return form_->DefaultDirName; },
                   [this](const std::string& folder) { form_->DestDir = folder; }});
    Form2 = &dialog;
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.SpeedButton1Click(); });  // OK
    form_->InstallClick();
    Form2 = nullptr;

    EXPECT_TRUE(BoxTexts().empty()) << BoxTexts().front();
    EXPECT_EQ(form_->DestDir, destination.string() + "/");
    ExpectChecksums(kCorpus / "v1" / "multivolume.ace.md5", destination);
    EXPECT_EQ(form_->ProgressBar2.Position, 2);  // two volume changes
    EXPECT_EQ(form_->windowTitle().toStdString(), "multivolume.c01");
    EXPECT_EQ(RecordedShellOpens(), (std::vector<std::string>{(destination / "first.reg").string(),
                                                              (destination / "second.reg").string()}));
    EXPECT_TRUE(form_->DXImageList1->Items().Items(0)->Transparent);
    EXPECT_TRUE(form_->DXTimer1->Enabled());
    EXPECT_FALSE(form_->ExtractionRunning);
}

TEST_F(Installation, EscDuringALongEntryStopsAtTheNextReportAndKeepsTheOlderFile) {
    WriteLargeArchive(24u << 20);
    const fs::path destination = root_ / "dest";
    WriteFile(destination / "big.bin", "older version");
    // The first message pump of the run is the entry's frame; Esc arrives
    // there, as a user's key press would, before the entry's data flows.
    QTimer::singleShot(0, form_.get(), [this] { QTest::keyClick(form_.get(), Qt::Key_Escape); });
    RunInto(destination);

    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(form_->btn_cancel.Tag, 1);
    std::ifstream older(destination / "big.bin");
    std::string text((std::istreambuf_iterator<char>(older)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "older version");  // no damaged file under the entry's name
    int files = 0;
    for (const auto& entry : fs::directory_iterator(destination)) files += entry.is_regular_file();
    EXPECT_EQ(files, 1) << "a temporary file was left behind";
    EXPECT_FALSE(fs::exists(destination / "first.reg"));
    EXPECT_TRUE(RecordedShellOpens().empty());
    EXPECT_TRUE(form_->DXImageList1->Items().Items(0)->Transparent);
    EXPECT_FALSE(form_->ExtractionRunning);
}

TEST_F(Installation, MenuClicksAndQuitAreIgnoredWhileARunGoes) {
    WriteLargeArchive(4u << 20);
    const fs::path destination = root_ / "dest";
    bool closed = true;
    QTimer::singleShot(0, form_.get(), [&] {
        form_->InstallClick();  // would clear DestDir first
        form_->NfoClick();
        closed = form_->close();
    });
    form_->show();
    RunInto(destination);
    EXPECT_EQ(form_->DestDir, destination.string() + "/");
    EXPECT_FALSE(closed);
    EXPECT_TRUE(form_->isVisible());
    EXPECT_EQ(fs::file_size(destination / "big.bin"), 4u << 20);
}

TEST_F(Installation, MissingSecondVolumeNamesItThenReportsTheResultingError) {
    fs::remove(release_ / "multivolume.c00");
    RunInto(root_ / "dest");
    std::vector<std::string> texts = BoxTexts();
    ASSERT_GE(texts.size(), 1u);
    EXPECT_EQ(texts[0], "Can't find file " + (release_ / "multivolume.c00").string() +
                            ".\rProcess stopped...");
    ASSERT_EQ(texts.size(), 2u) << "no message for the resulting error code";
    EXPECT_EQ(texts[1], "Open file error");
    for (const auto& box : RecordedMessageBoxes()) {
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.icon, MessageBoxIcon::Error);
    }
    // The loop ended without a cancel: the registry files still follow.
    EXPECT_EQ(RecordedShellOpens().size(), 2u);
}

TEST_F(Installation, ChecksBeforeOpeningStopWithTheirMessages) {
    WriteIni("SOURCE=missing.ace\r\nNUMFILES=3\r\n");
    form_->ReadSettings();
    RunInto(root_ / "dest");
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Can't find file to extract.\rProcess stopped..."}));
    EXPECT_FALSE(fs::exists(root_ / "dest"));

    ClearRecordedMessageBoxes();
    WriteIni("SOURCE=disk1\\multivolume.ace\r\nNUMFILES=3\r\n");
    form_->ReadSettings();
    fs::create_directories(release_ / "disk1");
    fs::rename(release_ / "multivolume.ace", release_ / "disk1" / "multivolume.ace");
    RunInto(release_ / "install.ini" / "below-a-file");
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Can't find directory to extract.\rProcess stopped..."}));
    EXPECT_TRUE(form_->DXImageList1->Items().Items(0)->Transparent);
    EXPECT_TRUE(RecordedShellOpens().empty());
}

TEST_F(Installation, ReadOnlyOlderFilesAreReplacedAndMissingParentsMade) {
    const fs::path destination = root_ / "a" / "b" / "c";
    std::ifstream list(kCorpus / "v1" / "multivolume.ace.md5");
    std::string line;
    std::getline(list, line);
    const std::string first = line.substr(34);
    WriteFile(destination / first, "old and read-only");
    fs::permissions(destination / first, fs::perms::owner_read, fs::perm_options::replace);
    RunInto(destination);
    EXPECT_TRUE(BoxTexts().empty());
    ExpectChecksums(kCorpus / "v1" / "multivolume.ace.md5", destination);
}

TEST_F(Installation, ExistingRegistryFilesInTheDestinationAreKept) {
    const fs::path destination = root_ / "dest";
    WriteFile(destination / "first.reg", "edited by the user");
    RunInto(destination);
    std::ifstream kept(destination / "first.reg");
    std::string text((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "edited by the user");
    EXPECT_EQ(RecordedShellOpens().size(), 2u);
}

TEST_F(Installation, MissingNfoReportsAndLeavesTheTimerStopped) {
    TForm3 viewer;
    Form3 = &viewer;
    WriteIni("NFOFILE=gone.nfo\r\nNUMFILES=3\r\n");
    form_->ReadSettings();
    try {
        form_->NfoClick();
        ADD_FAILURE() << "no error for a missing file";
    } catch (const EFOpenError& error) {
        EXPECT_EQ(error.Message(), "Cannot open file " + (release_ / "gone.nfo").string());
    }
    Form3 = nullptr;
    EXPECT_FALSE(form_->DXTimer1->Enabled());
    EXPECT_FALSE(viewer.isVisible());
}

TEST(ProgressBars, GrowInStepsAndStayWithinTheStrip) {
    EXPECT_EQ(VolumeBarWidth(0, 10), 29);
    EXPECT_EQ(VolumeBarWidth(9, 10), 290);
    EXPECT_EQ(VolumeBarWidth(2, 3), 297);
    EXPECT_EQ(VolumeBarWidth(3, 3), 299);  // more volumes than expected: cut to the strip
    EXPECT_EQ(FileBarWidth(50), 150);
    EXPECT_EQ(FileBarWidth(100), 299);
    EXPECT_EQ(FileBarWidth(-4), 0);
    EXPECT_EQ(PercentCell(12.5), 12);
    EXPECT_EQ(PercentCell(13.5), 14);
    EXPECT_EQ(FileNamePart("C:\\rel\\setup.c00"), "setup.c00");
    EXPECT_EQ(FileNamePart("/rel/setup.c01"), "setup.c01");
}

TEST_F(Installation, EmblemSceneLeavesNoTextureFileAndTheProgramFolderCurrent) {
    EXPECT_EQ(fs::current_path(), release_);
    EXPECT_TRUE(fs::is_empty(root_ / "tmp"));
    ASSERT_NE(EmblemFrame(), nullptr);
    d3drm::D3DVECTOR position{};
    EmblemFrame()->GetPosition(form_->DXDraw1->SceneFrame(), position);
    EXPECT_FLOAT_EQ(position.x, 3.0f);
    EXPECT_FLOAT_EQ(position.y, -0.25f);
}

TEST_F(Installation, UnwritableTemporaryFolderEndsStartUpWithCannotCreateFile) {
    form_.reset();
    SetTextureTempFolderForTesting((root_ / "no-such-folder").string());
    try {
        TForm1 failing;
        ADD_FAILURE() << "start-up went on";
    } catch (const EFCreateError& error) {
        EXPECT_EQ(error.Message(),
                  "Cannot create file " + (root_ / "no-such-folder" / "qorvind-XXXXXX.gdf").string());
    }
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    TApplication application(argc, argv);
    application.SetTitle("Install");
    return RUN_ALL_TESTS();
}
