// Release folders: install.ini must read back (through the installer's own
// INI reader) exactly as meant, NUMFILES must count the volumes written, the
// side files must be there, and bad input must stop before anything is left
// behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Release.h"
#include "ReleaseContent.h"
#include "platform/os/IniFile.h"
#include "unace/UnACE.h"

namespace {

namespace fs = std::filesystem;
using namespace mkrelease;

std::string Ini(const std::string& text, const std::string& key) {
    return os::ProfileStringFromText(text, "FLAGS", key, "<missing>");
}

TEST(InstallIni, ValuesReadBackUnchanged) {
    const std::vector<std::string> values = {"Skyforge Tactics", "  leading and trailing  ", "\"quoted\"",
                                             "'single'", "it's \"inside\"", "C:\\Games\\x", "", "a=b;c"};
    for (const std::string& v : values) {
        InstallIni ini;
        ini.Source = "setup.ace";
        ini.NumFiles = 7;
        ini.Title = v;
        ini.Publisher = v;
        std::string error;
        const std::string text = FormatInstallIni(ini, error);
        ASSERT_EQ(error, "") << v;
        EXPECT_EQ(Ini(text, "TITLE"), v);
        EXPECT_EQ(Ini(text, "PUBLISHER"), v);
        EXPECT_EQ(Ini(text, "NUMFILES"), "7");
        EXPECT_EQ(Ini(text, "SOURCE"), "setup.ace");
        EXPECT_EQ(Ini(text, "NFOFILE"), "<missing>");   // optional keys are left out when empty
    }
    for (const std::string& bad : {std::string("two\nlines"), std::string("tab\there"), std::string(1024, 'x'),
                                  std::string("caf\xC3\xA9")}) {
        InstallIni ini;
        ini.Title = bad;
        std::string error;
        EXPECT_EQ(FormatInstallIni(ini, error), "");
        EXPECT_NE(error.find("TITLE"), std::string::npos);
    }
}

class ReleaseTest : public ::testing::Test {
public:
    void SetUp() override {
        Root = fs::temp_directory_path() / ("mkrelease-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Root);
        Write("content/Data Files/level 1.map", std::string(40000, 'm'));
        Write("content/Data Files/noise.bin", Noise(150000));
        Write("content/readme.txt", "Skyforge Tactics\r\n");
        Write("content/empty.txt", "");
        fs::create_directories(Root / "content/Saves");
        Write("extra/skyforge.nfo", "\xDB\xDB\xB0 nfo");
        Write("extra/settings.reg", "Windows Registry Editor Version 5.00\r\n");
        Write("extra/uninstall.reg", "Windows Registry Editor Version 5.00\r\n");
        Write("extra/install.dat", "xof 0303txt 0032\n");
    }
    void TearDown() override { fs::remove_all(Root); }

    void Write(const std::string& name, const std::string& text) {
        fs::create_directories((Root / name).parent_path());
        std::ofstream(Root / name, std::ios::binary) << text;
    }
    static std::string Noise(size_t n) {
        std::string s(n, '\0');
        uint32_t x = 12345;
        for (char& c : s) c = static_cast<char>((x = x * 1103515245 + 12345) >> 24);
        return s;
    }
    ReleaseOptions Options() const {
        ReleaseOptions o;
        o.ContentFolder = Root / "content";
        o.ReleaseFolder = Root / "release";
        o.ArchiveName = "skyforge.ace";
        o.Title = "Skyforge Tactics";
        o.Publisher = "Northlight Interactive";
        o.DefaultDir = "Skyforge Tactics";
        o.NfoFile = Root / "extra/skyforge.nfo";
        o.RegFiles = {Root / "extra/settings.reg", Root / "extra/uninstall.reg"};
        o.Emblem = Root / "extra/install.dat";
        o.Archive.VolumeSize = 60000;
        o.FixedTime = 1773489600;
        return o;
    }
    fs::path Root;
};

TEST_F(ReleaseTest, MakesACompleteReleaseThatExtracts) {
    // A stale volume from a longer earlier run must not survive.
    Write("release/skyforge.c07", "old");
    const ReleaseResult r = MakeRelease(Options());
    ASSERT_TRUE(r.Ok) << (r.Errors.empty() ? "" : r.Errors[0]);
    EXPECT_TRUE(r.Warnings.empty());
    ASSERT_GE(r.Volumes.size(), 2u);
    EXPECT_FALSE(fs::exists(Root / "release/skyforge.c07"));

    std::ifstream in(Root / "release/install.ini", std::ios::binary);
    const std::string ini((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(Ini(ini, "SOURCE"), "skyforge.ace");
    EXPECT_EQ(Ini(ini, "NUMFILES"), std::to_string(r.Volumes.size()));
    EXPECT_EQ(Ini(ini, "TITLE"), "Skyforge Tactics");
    EXPECT_EQ(Ini(ini, "PUBLISHER"), "Northlight Interactive");
    EXPECT_EQ(Ini(ini, "DEFAULTDIR"), "Skyforge Tactics");
    EXPECT_EQ(Ini(ini, "NFOFILE"), "skyforge.nfo");
    EXPECT_EQ(Ini(ini, "REGFILE1"), "settings.reg");
    EXPECT_EQ(Ini(ini, "REGFILE2"), "uninstall.reg");
    for (const char* side : {"skyforge.nfo", "settings.reg", "uninstall.reg", "install.dat"})
        EXPECT_TRUE(fs::is_regular_file(Root / "release" / side)) << side;

    // Entry names, order and contents as the reader sees them.
    ArchiveOpenRecord open{};
    const std::string first = (Root / "release/skyforge.ace").string();
    open.ArcName = first.c_str();
    open.OpenMode = ACE_OPEN_EXTRACT;
    ACEHandle h = ACEOpenArchive(&open);
    ASSERT_EQ(open.OpenResult, 0);
    ArchiveHeaderRecord header{};
    std::vector<std::string> names;
    const std::string dest = (Root / "out").string();
    while (ACEReadHeader(h, &header) == 0) {
        names.push_back(header.EntryName);
        ASSERT_EQ(ACEProcessFile(h, ACE_OP_EXTRACT, dest.c_str()), 0) << header.EntryName;
    }
    ACECloseArchive(h);
    EXPECT_EQ(names, (std::vector<std::string>{"Data Files", "Data Files\\level 1.map", "Data Files\\noise.bin",
                                               "Saves", "empty.txt", "readme.txt"}));
    std::ifstream noise(Root / "out/Data Files/noise.bin", std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(noise)), {}), Noise(150000));
    EXPECT_TRUE(fs::is_directory(Root / "out/Saves"));
}

TEST_F(ReleaseTest, AFailedRunLeavesTheEarlierReleaseIntact) {
    const ReleaseResult good = MakeRelease(Options());
    ASSERT_TRUE(good.Ok);
    std::vector<uintmax_t> sizes;
    for (const std::string& v : good.Volumes) sizes.push_back(fs::file_size(v));
    ReleaseOptions o = Options();
    o.Archive.VolumeSize = 200;   // fails only once the archive is being written
    const ReleaseResult bad = MakeRelease(o);
    ASSERT_FALSE(bad.Ok);
    for (size_t i = 0; i < good.Volumes.size(); ++i) EXPECT_EQ(fs::file_size(good.Volumes[i]), sizes[i]);
    EXPECT_FALSE(fs::exists(Root / "release/.mkrelease-staging"));
    std::ifstream in(Root / "release/install.ini", std::ios::binary);
    const std::string ini((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(Ini(ini, "NUMFILES"), std::to_string(good.Volumes.size()));
}

TEST_F(ReleaseTest, MissingEmblemIsOnlyAWarning) {
    ReleaseOptions o = Options();
    o.Emblem = Root / "extra/absent.dat";
    const ReleaseResult r = MakeRelease(o);
    ASSERT_TRUE(r.Ok);
    ASSERT_EQ(r.Warnings.size(), 1u);
    EXPECT_NE(r.Warnings[0].find("absent.dat"), std::string::npos);
    EXPECT_FALSE(fs::exists(Root / "release/install.dat"));
}

TEST_F(ReleaseTest, BadInputStopsWithAClearErrorAndNoArchive) {
    struct Row {
        const char* What;
        std::function<void(ReleaseTest&, ReleaseOptions&)> Setup;
        const char* ErrorMentions;
    };
    const std::vector<Row> rows = {
        {"missing content folder", [](ReleaseTest& t, ReleaseOptions& o) { o.ContentFolder = t.Root / "nowhere"; },
         "does not exist"},
        {"release inside content", [](ReleaseTest& t, ReleaseOptions& o) { o.ReleaseFolder = t.Root / "content/rel"; },
         "inside"},
        {"release folder is a file",
         [](ReleaseTest& t, ReleaseOptions& o) { o.ReleaseFolder = t.Root / "extra/skyforge.nfo/x"; },
         "cannot create"},
        {"name with a colon", [](ReleaseTest& t, ReleaseOptions&) { t.Write("content/a:b.txt", "x"); }, "a:b.txt"},
        {"names equal but for case",
         [](ReleaseTest& t, ReleaseOptions&) { t.Write("content/README.TXT", "x"); }, "letter case"},
        {"reserved device name", [](ReleaseTest& t, ReleaseOptions&) { t.Write("content/Saves/aux.sav", "x"); },
         "device"},
        {"symbolic link",
         [](ReleaseTest& t, ReleaseOptions&) { fs::create_symlink("/etc/hostname", t.Root / "content/link"); },
         "symbolic"},
        {"name too long for the installer",
         [](ReleaseTest& t, ReleaseOptions&) {
             std::string deep = "content";
             for (int i = 0; i < 7; ++i) deep += "/" + std::string(36, char('a' + i));
             t.Write(deep + "/f.txt", "x");
         },
         "259"},
        {"missing NFO", [](ReleaseTest& t, ReleaseOptions& o) { o.NfoFile = t.Root / "extra/none.nfo"; },
         "none.nfo"},
        {"bad title", [](ReleaseTest&, ReleaseOptions& o) { o.Title = "line\nbreak"; }, "TITLE"},
        {"too many volumes", [](ReleaseTest&, ReleaseOptions& o) { o.Archive.VolumeSize = 200; }, "256"},
    };
    for (const Row& row : rows) {
        fs::remove_all(Root / "release");
        SetUp();
        ReleaseOptions o = Options();
        row.Setup(*this, o);
        const ReleaseResult r = MakeRelease(o);
        EXPECT_FALSE(r.Ok) << row.What;
        ASSERT_FALSE(r.Errors.empty()) << row.What;
        EXPECT_NE(r.Errors[0].find(row.ErrorMentions), std::string::npos) << row.What << ": " << r.Errors[0];
        EXPECT_FALSE(fs::exists(Root / "release/skyforge.ace")) << row.What;
        EXPECT_FALSE(fs::exists(Root / "release/install.ini")) << row.What;
    }
}

}  // namespace
