#include "installer/Settings.h"
#include "platform/os/IniFile.h"
#include "toolkit/Exceptions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

std::string Lookup(const std::string& text, const std::string& key, const std::string& def = "D") {
    return os::ProfileStringFromText(text, "FLAGS", key, def);
}

TEST(IniReader, MatchesNamesWithoutCaseAndTrimsBlanks) {
    const std::string text = "; comment\r\n[other]\r\nSOURCE=wrong\r\n  [ flags ]  \r\n"
                             "  source  =   disk1\\setup.ace   \r\nTitle=\tA Game\t\r\n";
    EXPECT_EQ(Lookup(text, "SOURCE"), "disk1\\setup.ace");
    EXPECT_EQ(Lookup(text, "title"), "A Game");
    EXPECT_EQ(Lookup(text, "PUBLISHER"), "D");
    EXPECT_EQ(os::ProfileStringFromText(text, "missing", "SOURCE", "def"), "def");
}

TEST(IniReader, RemovesOnePairOfMatchingQuotesOnly) {
    const std::string text = "[FLAGS]\nA=\"quoted value\"\nB='single'\nC=\"unbalanced\nD=\"mixed'\n"
                             "E=\"\"x\"\"\nF=\"\n";
    EXPECT_EQ(Lookup(text, "A"), "quoted value");
    EXPECT_EQ(Lookup(text, "B"), "single");
    EXPECT_EQ(Lookup(text, "C"), "\"unbalanced");
    EXPECT_EQ(Lookup(text, "D"), "\"mixed'");
    EXPECT_EQ(Lookup(text, "E"), "\"x\"");
    EXPECT_EQ(Lookup(text, "F"), "\"");
}

TEST(IniReader, EmptyValueIsNotTheDefaultAndFirstKeyWins) {
    const std::string text = "[FLAGS]\nNUMFILES=\nTITLE=first\nTITLE=second\n[FLAGS]\nTYPE=x\n";
    EXPECT_EQ(Lookup(text, "NUMFILES", "10"), "");
    EXPECT_EQ(Lookup(text, "TITLE"), "first");
    EXPECT_EQ(Lookup(text, "TYPE"), "D");
}

TEST(IniReader, CutsValuesTo1023Characters) {
    const std::string text = "[FLAGS]\nTITLE=" + std::string(1500, 'x') + "\n";
    EXPECT_EQ(Lookup(text, "TITLE").size(), 1023u);
    EXPECT_EQ(os::GetPrivateProfileString("FLAGS", "TITLE", std::string(2000, 'd'),
                                          "/nonexistent/install.ini")
                  .size(),
              1023u);
}

TEST(StrToInt, AcceptsDecimalHexAndLeadingBlanksOnly) {
    EXPECT_EQ(StrToInt("12"), 12);
    EXPECT_EQ(StrToInt("$0C"), 12);
    EXPECT_EQ(StrToInt("$0c"), 12);
    EXPECT_EQ(StrToInt(" 7"), 7);
    EXPECT_EQ(StrToInt("-3"), -3);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
    for (const char* bad : {"12x", "", " ", "7 ", "$", "x12", "2147483648", "$100000000", "1 2"}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const EConvertError& error) {
            EXPECT_EQ(error.Message(), std::string("'") + bad + "' is not a valid integer value");
        }
    }
}

TEST(AppendBackslash, AddsOneSeparatorOnlyWhenMissing) {
    EXPECT_EQ(AppendBackslash("/rel/dir"), "/rel/dir/");
    EXPECT_EQ(AppendBackslash("/rel/dir/"), "/rel/dir/");
    EXPECT_EQ(AppendBackslash(""), "/");
    EXPECT_EQ(NativePath("disk1\\setup.ace"), "disk1/setup.ace");
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("settings-test-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    void Write(const std::string& text) {
        std::ofstream(folder_ / "install.ini", std::ios::binary) << text;
    }
    TInstallerSettings Read() {
        TInstallerSettings settings;
        ReadInstallerSettings(folder_.string(), settings);
        return settings;
    }
    std::filesystem::path folder_;
};

TEST_F(SettingsFile, MissingFileGivesDefaults) {
    TInstallerSettings settings = Read();
    EXPECT_EQ(settings.DefaultDir, "untitled");
    EXPECT_EQ(settings.NumFiles, 10);
    EXPECT_EQ(settings.Title, "");
    EXPECT_EQ(settings.Publisher, "");
    EXPECT_EQ(settings.Source, folder_.string() + "/");
    EXPECT_EQ(settings.NfoFile, folder_.string() + "/");
}

TEST_F(SettingsFile, PathsAreMadeNativeUnderTheProgramFolder) {
    Write("[Flags]\nsource=disk1\\setup.ace\nNFOFILE=\"info\\release.nfo\"\nnumfiles=$0C\n"
          "REGFILE1=a.reg\nTITLE=  Skyforge  \n");
    TInstallerSettings settings = Read();
    EXPECT_EQ(settings.Source, folder_.string() + "/disk1/setup.ace");
    EXPECT_EQ(settings.NfoFile, folder_.string() + "/info/release.nfo");
    EXPECT_EQ(settings.NumFiles, 12);
    EXPECT_EQ(settings.RegFile1, "a.reg");
    EXPECT_EQ(settings.Title, "Skyforge");
}

TEST_F(SettingsFile, BadVolumeCountsStopReadingBeforeTheTitle) {
    for (const auto& [value, message] : std::vector<std::pair<std::string, std::string>>{
             {"12x", "'12x' is not a valid integer value"},
             {"", "'' is not a valid integer value"},
             {"0", "'0' is not a valid number of volumes (NUMFILES must be at least 1)"},
             {"-2", "'-2' is not a valid number of volumes (NUMFILES must be at least 1)"}}) {
        Write("[FLAGS]\nNUMFILES=" + value + "\nTITLE=never read\n");
        TInstallerSettings settings;
        try {
            ReadInstallerSettings(folder_.string(), settings);
            ADD_FAILURE() << "accepted NUMFILES=" << value;
        } catch (const EConvertError& error) {
            EXPECT_EQ(error.Message(), message);
        }
        EXPECT_EQ(settings.Title, "");
    }
}

}  // namespace
