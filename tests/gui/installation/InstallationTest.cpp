// The installation as the real main window runs it: the menu action, the
// folder dialog answered by the test, the extraction run with its progress
// screen, the registry files. Message boxes and desktop opens are recorded.
#include "dialogs/FolderDialog.h"
#include "dialogs/NfoViewer.h"
#include "installer/ExtractionRun.h"
#include "installer/Forms.h"
#include "installer/TForm1.h"
#include "toolkit/Application.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Shell.h"

#include <QCryptographicHash>
#include <QFile>
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
        form_ = std::make_unique<TForm1>();
    }
    void TearDown() override {
        form_.reset();
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

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    TApplication application(argc, argv);
    application.SetTitle("Install");
    return RUN_ALL_TESTS();
}
