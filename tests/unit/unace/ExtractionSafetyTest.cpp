// What extraction does to the file system: names that try to leave the
// destination, links planted in it, failed entries (CRC, cancel, full disk)
// that must leave nothing behind, older files replaced only by complete new
// ones, entries refused for encryption or method, and the solid-archive
// rule that a failed entry spoils the compressed entries after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <iterator>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "TestArchive.h"
#include "unace/AceArchive.h"
#include "unace/OutputFiles.h"
#include "unace/UnACE.h"

namespace fs = std::filesystem;
using acetest::TestEntry;

namespace {

const std::string kCorpus = ACE_CORPUS_DIR;

struct Session {
    std::vector<int> results;
    int end = -1;
    int cancelAfter = -1;   // progress reports before answering 0
    int reports = 0;
};

int32_t CancelingProgress(const void*, int32_t, void* context) {
    auto* s = static_cast<Session*>(context);
    ++s->reports;
    return s->cancelAfter >= 0 && s->reports > s->cancelAfter ? 0 : 1;
}

Session ExtractFile(const std::string& archive, const std::string& dest, int cancelAfter = -1) {
    Session s;
    s.cancelAfter = cancelAfter;
    ArchiveOpenRecord open{};
    open.ArcName = archive.c_str();
    open.OpenMode = ACE_OPEN_EXTRACT;
    open.ProgressCallback = &CancelingProgress;
    open.CallbackContext = &s;
    ACEHandle handle = ACEOpenArchive(&open);
    EXPECT_NE(handle, nullptr) << open.OpenResult;
    if (!handle) return s;
    ArchiveHeaderRecord header;
    while ((s.end = ACEReadHeader(handle, &header)) == ACE_OK)
        s.results.push_back(ACEProcessFile(handle, ACE_OP_EXTRACT, dest.c_str()));
    ACECloseArchive(handle);
    return s;
}

Session Extract(const std::vector<TestEntry>& entries, const std::string& dest, uint16_t mainFlags = 0,
                int cancelAfter = -1) {
    const std::string archive = fs::path(dest).parent_path().string() + "/test.ace";
    acetest::WriteFile(archive, acetest::BuildArchive(entries, mainFlags));
    return ExtractFile(archive, dest, cancelAfter);
}

class ExtractionSafety : public testing::Test {
protected:
    void SetUp() override {
        root_ = acetest::MakeTempDir("safety");
        dest_ = root_ + "/dest";
        outside_ = root_ + "/outside";
        fs::create_directories(dest_);
        fs::create_directories(outside_);
    }
    void TearDown() override {
        unace::SetWriteFunctionForTesting(nullptr);
        fs::remove_all(root_);
    }
    std::vector<std::string> DestTree() const { return acetest::ListTree(dest_); }

    std::string root_, dest_, outside_;
};

TEST_F(ExtractionSafety, BackslashNamesLandAtTheirRelativePath) {
    const Session s = Extract({TestEntry{"dir\\sub\\f.txt", "one"}, TestEntry{"./a//b.txt", "two"}}, dest_);
    EXPECT_EQ(s.results, (std::vector<int>{ACE_OK, ACE_OK}));
    EXPECT_EQ(acetest::ReadText(dest_ + "/dir/sub/f.txt"), "one");
    EXPECT_EQ(acetest::ReadText(dest_ + "/a/b.txt"), "two");
    // A destination given with the archive's own trailing backslash works too.
    const std::string other = root_ + "/other";
    const Session t = Extract({TestEntry{"x.txt", "three"}}, other + "\\");
    EXPECT_EQ(t.results, (std::vector<int>{ACE_OK}));
    EXPECT_EQ(acetest::ReadText(other + "/x.txt"), "three");
}

// Entries that move between folders, deeper and shallower and back, each
// land in their own folder (the last folder walked is reused only for an
// entry with exactly the same folders).
TEST_F(ExtractionSafety, EntriesAlternatingBetweenFoldersLandInTheirOwn) {
    const char* names[] = {"a\\1", "a\\b\\2", "a\\3", "b\\4", "a\\b\\5", "6", "a\\b\\7", "b\\a\\b\\8"};
    std::vector<TestEntry> entries;
    for (const char* name : names) entries.push_back(TestEntry{name, name});
    const Session s = Extract(entries, dest_);
    EXPECT_EQ(s.results, std::vector<int>(entries.size(), ACE_OK));
    for (const char* name : names) {
        std::string path = name;
        std::replace(path.begin(), path.end(), '\\', '/');
        EXPECT_EQ(acetest::ReadText(dest_ + "/" + path), name) << name;
    }
    EXPECT_EQ(DestTree().size(), 8u + 5u);   // the files and a, a/b, b, b/a, b/a/b
}

// Files get the entry's time stamp (local time), also for entries that share
// an hour or follow one of another date; an impossible time leaves the
// file's own time.
TEST_F(ExtractionSafety, FilesTakeTheEntrysLocalTime) {
    auto dos = [](int year, int month, int day, int hour, int minute, int second) {
        return uint32_t(year - 1980) << 25 | uint32_t(month) << 21 | uint32_t(day) << 16 |
               uint32_t(hour) << 11 | uint32_t(minute) << 5 | uint32_t(second / 2);
    };
    auto local = [](int year, int month, int day, int hour, int minute, int second) {
        std::tm tm{};
        tm.tm_year = year - 1900;
        tm.tm_mon = month - 1;
        tm.tm_mday = day;
        tm.tm_hour = hour;
        tm.tm_min = minute;
        tm.tm_sec = second;
        tm.tm_isdst = -1;
        return std::mktime(&tm);
    };
    struct Stamp {
        int y, mo, d, h, mi, s;
    };
    const Stamp stamps[] = {{2003, 7, 14, 9, 5, 40}, {2003, 7, 14, 9, 59, 58}, {1998, 1, 28, 15, 10, 36},
                            {2003, 7, 14, 10, 0, 0}, {2003, 1, 14, 9, 5, 40}};
    std::vector<TestEntry> entries;
    for (size_t i = 0; i < std::size(stamps); ++i) {
        const Stamp& t = stamps[i];
        TestEntry e{"t" + std::to_string(i), "x"};
        e.dosTime = dos(t.y, t.mo, t.d, t.h, t.mi, t.s);
        entries.push_back(e);
    }
    TestEntry bad{"bad", "x"};
    bad.dosTime = dos(2003, 13, 40, 25, 61, 62);
    entries.push_back(bad);
    const time_t before = std::time(nullptr);
    const Session s = Extract(entries, dest_);
    EXPECT_EQ(s.results, std::vector<int>(entries.size(), ACE_OK));
    for (size_t i = 0; i < std::size(stamps); ++i) {
        const Stamp& t = stamps[i];
        struct stat st {};
        ASSERT_EQ(::stat((dest_ + "/t" + std::to_string(i)).c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, local(t.y, t.mo, t.d, t.h, t.mi, t.s)) << i;
    }
    struct stat st {};
    ASSERT_EQ(::stat((dest_ + "/bad").c_str(), &st), 0);
    EXPECT_GE(st.st_mtime, before);
}

TEST_F(ExtractionSafety, NamesLeavingTheDestinationAreRefusedAndTheRestGoesOn) {
    const char* hostile[] = {"..\\evil.txt", "a\\..\\..\\evil.txt", "\\evil.txt", "/evil.txt",
                             "C:\\evil.txt", "c:evil.txt", "\\\\server\\share\\evil.txt",
                             "../outside/evil.txt"};
    std::vector<TestEntry> entries;
    for (const char* name : hostile) entries.push_back(TestEntry{name, "bad"});
    entries.push_back(TestEntry{"good.txt", "good"});
    const Session s = Extract(entries, dest_);
    ASSERT_EQ(s.results.size(), entries.size());
    for (size_t i = 0; i + 1 < entries.size(); ++i) EXPECT_EQ(s.results[i], ACE_ERR_OPEN) << hostile[i];
    EXPECT_EQ(s.results.back(), ACE_OK);
    EXPECT_EQ(DestTree(), (std::vector<std::string>{"good.txt"}));
    EXPECT_TRUE(acetest::ListTree(outside_).empty());
    EXPECT_FALSE(fs::exists(root_ + "/evil.txt"));
}

TEST_F(ExtractionSafety, LinksInTheDestinationAreNotFollowed) {
    fs::create_directory_symlink(outside_, dest_ + "/linkdir");
    acetest::WriteFile(outside_ + "/target.txt", {'o', 'l', 'd'});
    fs::create_symlink(outside_ + "/target.txt", dest_ + "/linkfile.txt");
    const Session s = Extract({TestEntry{"linkdir\\f.txt", "new"}, TestEntry{"linkdir", "", 1, 0x10},
                               TestEntry{"linkfile.txt", "new"}},
                              dest_);
    ASSERT_EQ(s.results.size(), 3u);
    EXPECT_EQ(s.results[0], ACE_ERR_OPEN);
    EXPECT_EQ(s.results[1], ACE_ERR_OPEN);
    // The file entry replaces the link itself; the link's target is untouched.
    EXPECT_EQ(s.results[2], ACE_OK);
    EXPECT_FALSE(fs::is_symlink(dest_ + "/linkfile.txt"));
    EXPECT_EQ(acetest::ReadText(dest_ + "/linkfile.txt"), "new");
    EXPECT_EQ(acetest::ReadText(outside_ + "/target.txt"), "old");
    EXPECT_EQ(acetest::ListTree(outside_), (std::vector<std::string>{"target.txt"}));
}

TEST_F(ExtractionSafety, FailedEntriesLeaveNoFileAndKeepTheOlderOne) {
    acetest::WriteFile(dest_ + "/kept.txt", {'o', 'l', 'd'});
    TestEntry badCrc{"kept.txt", "new contents"};
    badCrc.explicitCrc = true;
    badCrc.crc = 0x12345678;
    TestEntry fresh = badCrc;
    fresh.name = "fresh.txt";
    const Session s = Extract({badCrc, fresh}, dest_);
    EXPECT_EQ(s.results, (std::vector<int>{ACE_ERR_CRC, ACE_ERR_CRC}));
    EXPECT_EQ(acetest::ReadText(dest_ + "/kept.txt"), "old");
    EXPECT_EQ(DestTree(), (std::vector<std::string>{"kept.txt"}));   // no temporary files either
}

TEST_F(ExtractionSafety, ReadOnlyOlderFileIsReplacedByTheCompleteNewOne) {
    acetest::WriteFile(dest_ + "/ro.txt", {'o', 'l', 'd'});
    ::chmod((dest_ + "/ro.txt").c_str(), 0444);
    const Session s = Extract({TestEntry{"ro.txt", "new"}}, dest_);
    EXPECT_EQ(s.results, (std::vector<int>{ACE_OK}));
    EXPECT_EQ(acetest::ReadText(dest_ + "/ro.txt"), "new");
}

TEST_F(ExtractionSafety, CancelFromTheProgressCallbackLeavesNothing) {
    acetest::WriteFile(dest_ + "/big.bin", {'o', 'l', 'd'});
    const Session s = Extract({TestEntry{"big.bin", std::string(300000, 'x')}}, dest_, 0, 0);
    EXPECT_EQ(s.results, (std::vector<int>{ACE_ERR_ABORTED}));
    EXPECT_EQ(acetest::ReadText(dest_ + "/big.bin"), "old");
    EXPECT_EQ(DestTree(), (std::vector<std::string>{"big.bin"}));
}

TEST_F(ExtractionSafety, FullDiskGivesCode4AndNoFile) {
    unace::SetWriteFunctionForTesting([](int, const void*, size_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    });
    const Session s = Extract({TestEntry{"full.bin", std::string(1000, 'x')}}, dest_);
    EXPECT_EQ(s.results, (std::vector<int>{ACE_ERR_DISK_FULL}));
    EXPECT_TRUE(DestTree().empty());
    unace::SetWriteFunctionForTesting([](int, const void*, size_t) -> ssize_t {
        errno = EIO;
        return -1;
    });
    const Session t = Extract({TestEntry{"io.bin", std::string(1000, 'x')}}, dest_);
    EXPECT_EQ(t.results, (std::vector<int>{ACE_ERR_WRITE}));
    EXPECT_TRUE(DestTree().empty());
}

TEST_F(ExtractionSafety, EncryptedAndUnknownMethodEntriesAreRefused) {
    TestEntry encrypted{"secret.txt", "xxxxxxxx"};
    encrypted.flags |= unace::kFileFlagPassword;
    TestEntry unknown{"unknown.txt", "xxxx"};
    unknown.method = 7;
    TestEntry hugeDictionary{"dict.txt", "xxxx"};
    hugeDictionary.method = 1;
    hugeDictionary.techParm = 13;
    const Session s = Extract({encrypted, unknown, hugeDictionary, TestEntry{"plain.txt", "ok"}}, dest_);
    EXPECT_EQ(s.results, (std::vector<int>{ACE_ERR_ENCRYPTED, ACE_ERR_METHOD, ACE_ERR_METHOD, ACE_OK}));
    EXPECT_EQ(DestTree(), (std::vector<std::string>{"plain.txt"}));
    EXPECT_EQ(s.end, ACE_END_OF_ARCHIVE);
}

// The compressed entry of onefile.ace, which needs no earlier history.
TestEntry CompressedEntryFromCorpus() {
    const auto bytes = acetest::ReadFile(kCorpus + "/v1/onefile.ace");
    auto le16 = [&](size_t at) { return uint32_t(bytes[at] | bytes[at + 1] << 8); };
    auto le32 = [&](size_t at) { return le16(at) | le16(at + 2) << 16; };
    const size_t file = 4 + le16(2);
    const size_t data = file + 4 + le16(file + 2);
    TestEntry e;
    e.name = std::string(bytes.begin() + long(file + 35), bytes.begin() + long(file + 35 + le16(file + 33)));
    e.data.assign(bytes.begin() + long(data), bytes.begin() + long(data + le32(file + 7)));
    e.origSize = le32(file + 11);
    e.explicitCrc = true;
    e.crc = le32(file + 23);
    e.method = bytes[file + 27];
    e.techParm = uint16_t(le16(file + 29));
    e.flags |= unace::kFileFlagSolid;
    return e;
}

TEST_F(ExtractionSafety, SolidArchiveRefusesCompressedEntriesAfterAFailure) {
    const TestEntry compressed = CompressedEntryFromCorpus();
    ASSERT_EQ(compressed.method, 1);
    TestEntry encrypted{"secret.txt", "xxxxxxxx"};
    encrypted.flags |= unace::kFileFlagPassword;

    // Without the failure the compressed entry decodes.
    const Session good = Extract({TestEntry{"first.txt", "stored"}, compressed}, dest_, unace::kMainFlagSolid);
    EXPECT_EQ(good.results, (std::vector<int>{ACE_OK, ACE_OK}));

    fs::remove_all(dest_);
    const Session s = Extract({encrypted, compressed, TestEntry{"later.txt", "stored"}}, dest_,
                              unace::kMainFlagSolid);
    EXPECT_EQ(s.results, (std::vector<int>{ACE_ERR_ENCRYPTED, ACE_ERR_CRC, ACE_OK}));
    EXPECT_EQ(DestTree(), (std::vector<std::string>{"later.txt"}));

    // Not solid: every entry stands alone.
    fs::remove_all(dest_);
    const Session n = Extract({encrypted, compressed}, dest_);
    EXPECT_EQ(n.results, (std::vector<int>{ACE_ERR_ENCRYPTED, ACE_OK}));
}

TEST(EntryPoints, RejectInvalidHandlesAndConstants) {
    int dummy = 0;
    ACEHandle bogus = &dummy;
    ArchiveHeaderRecord header;
    EXPECT_EQ(ACEReadHeader(bogus, &header), ACE_ERR_HANDLE);
    EXPECT_EQ(ACEProcessFile(bogus, ACE_OP_EXTRACT, "/tmp/"), ACE_ERR_HANDLE);
    EXPECT_EQ(ACECloseArchive(bogus), ACE_ERR_HANDLE);
    EXPECT_EQ(ACECloseArchive(nullptr), ACE_ERR_HANDLE);

    const std::string archive = kCorpus + "/v1/tiny.ace";
    ArchiveOpenRecord open{};
    open.ArcName = archive.c_str();
    open.OpenMode = 2;
    EXPECT_EQ(ACEOpenArchive(&open), nullptr);
    EXPECT_EQ(open.OpenResult, ACE_ERR_CONSTANT);

    open.OpenMode = ACE_OPEN_EXTRACT;
    const std::string missing = archive + ".missing";
    open.ArcName = missing.c_str();
    EXPECT_EQ(ACEOpenArchive(&open), nullptr);
    EXPECT_EQ(open.OpenResult, ACE_ERR_NOT_FOUND);

    open.ArcName = archive.c_str();
    ACEHandle handle = ACEOpenArchive(&open);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(ACEProcessFile(handle, ACE_OP_TEST, ""), ACE_ERR_CONSTANT);   // no header read yet
    ASSERT_EQ(ACEReadHeader(handle, &header), ACE_OK);
    EXPECT_STREQ(header.EntryName, "t");
    EXPECT_TRUE(header.IsDirectory);
    EXPECT_EQ(ACEProcessFile(handle, 7, ""), ACE_ERR_CONSTANT);
    ASSERT_EQ(ACEReadHeader(handle, &header), ACE_OK);   // skips the folder
    EXPECT_STREQ(header.EntryName, "t\\t.txt");
    EXPECT_EQ(header.Size, 2);
    EXPECT_EQ(ACEProcessFile(handle, ACE_OP_TEST, ""), ACE_OK);
    EXPECT_EQ(ACEReadHeader(handle, &header), ACE_END_OF_ARCHIVE);
    EXPECT_EQ(ACECloseArchive(handle), ACE_OK);
    EXPECT_EQ(ACECloseArchive(handle), ACE_ERR_HANDLE);
}

}  // namespace
