// The real archives of the shared corpus, extracted through the four entry
// points and through acex, checked against their .md5 and .dirs lists; the
// encrypted and hostile samples; volume changes and progress reports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "TestArchive.h"
#include "unace/UnACE.h"

namespace fs = std::filesystem;

namespace {

const std::string kCorpus = ACE_CORPUS_DIR;

struct ExtractionRun {
    int openResult = -1;
    int endResult = -1;                       // the ACEReadHeader result that ended the loop
    std::vector<std::pair<std::string, int>> entries;   // name, ACEProcessFile result
    std::vector<std::pair<std::string, int>> volumes;   // volume callback calls
    std::map<std::string, uint64_t> progress;           // entry -> sum of counts
    std::map<std::string, int> reports;                 // entry -> number of reports
    std::map<std::string, int64_t> sizes;
    std::string current;
    int32_t volumeAnswer = 1;
};

int32_t OnVolume(const char* path, int32_t code, void* context) {
    auto* run = static_cast<ExtractionRun*>(context);
    run->volumes.emplace_back(path, code);
    return code == ACE_VOLUME_NOT_FOUND ? 0 : run->volumeAnswer;
}

int32_t OnProgress(const void*, int32_t count, void* context) {
    auto* run = static_cast<ExtractionRun*>(context);
    run->progress[run->current] += uint64_t(count);
    ++run->reports[run->current];
    return 1;
}

// Opens, reads and processes every entry as the installer does.
ExtractionRun ExtractWithEntryPoints(const std::string& archive, const std::string& dest,
                           int operation = ACE_OP_EXTRACT) {
    ExtractionRun run;
    ArchiveOpenRecord open{};
    open.ArcName = archive.c_str();
    open.OpenMode = ACE_OPEN_EXTRACT;
    open.Reserved79 = 4;
    open.VolumeCallback = &OnVolume;
    open.ProgressCallback = &OnProgress;
    open.CallbackContext = &run;
    ACEHandle handle = ACEOpenArchive(&open);
    run.openResult = open.OpenResult;
    if (!handle) return run;
    const std::string destination = dest + "/";
    ArchiveHeaderRecord header;
    while ((run.endResult = ACEReadHeader(handle, &header)) == ACE_OK) {
        run.current = header.EntryName;
        run.sizes[run.current] = header.Size;
        run.entries.emplace_back(header.EntryName,
                                 ACEProcessFile(handle, operation, destination.c_str()));
    }
    EXPECT_EQ(ACECloseArchive(handle), ACE_OK);
    return run;
}

bool Exists(const std::string& path) { return fs::exists(fs::symlink_status(path)); }

void ExpectListsMatch(const std::string& archive, const std::string& dest) {
    ASSERT_EQ(std::system(("cd '" + dest + "' && md5sum -c --quiet '" + archive + ".md5'").c_str()), 0)
        << archive;
    std::ifstream dirs(archive + ".dirs");
    for (std::string dir; std::getline(dirs, dir);)
        if (!dir.empty()) {
            EXPECT_TRUE(fs::is_directory(dest + "/" + dir)) << dir;
        }
}

// Archives whose .md5 list describes them (karate.ace has lists only).
std::vector<std::string> ListedArchives() {
    std::vector<std::string> out;
    for (const char* sub : {"v1", "v2"}) {
        if (!fs::is_directory(kCorpus + "/" + sub)) continue;
        for (const auto& f : fs::directory_iterator(kCorpus + "/" + sub)) {
            const std::string p = f.path().string();
            if (p.size() > 4 && p.substr(p.size() - 4) == ".md5" && fs::exists(p.substr(0, p.size() - 4)))
                out.push_back(p.substr(0, p.size() - 4));
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

class ListedArchive : public testing::TestWithParam<std::string> {};

TEST_P(ListedArchive, ExtractsThroughTheEntryPointsWithEveryChecksumMatching) {
    const std::string dest = acetest::MakeTempDir("corpus");
    const ExtractionRun run = ExtractWithEntryPoints(GetParam(), dest);
    ASSERT_EQ(run.openResult, ACE_OK);
    EXPECT_EQ(run.endResult, ACE_END_OF_ARCHIVE);
    ASSERT_FALSE(run.entries.empty());
    for (const auto& [name, result] : run.entries) EXPECT_EQ(result, ACE_OK) << name;
    // Progress counts add up to each entry's size.
    for (const auto& [name, size] : run.sizes) {
        EXPECT_EQ(run.progress.at(name), uint64_t(size)) << name;
        EXPECT_LE(run.reports.at(name), size / 65536 + 1) << name;
    }
    ExpectListsMatch(GetParam(), dest);
    fs::remove_all(dest);
}

TEST_P(ListedArchive, ExtractsWithAcex) {
    const std::string dest = acetest::MakeTempDir("acex");
    const std::string command = std::string(ACEX_PATH) + " x '" + GetParam() + "' '" + dest + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ExpectListsMatch(GetParam(), dest);
    EXPECT_EQ(std::system((std::string(ACEX_PATH) + " t '" + GetParam() + "' >/dev/null").c_str()), 0);
    fs::remove_all(dest);
}

INSTANTIATE_TEST_SUITE_P(Corpus, ListedArchive, testing::ValuesIn(ListedArchives()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = fs::path(info.param).filename().string();
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(CorpusSamples, EncryptedEntriesAreRefusedAndNothingIsWritten) {
    for (const char* name : {"/v1/passwd.ace", "/v2/passwd2.ace"}) {
        const std::string dest = acetest::MakeTempDir("passwd");
        const ExtractionRun run = ExtractWithEntryPoints(kCorpus + name, dest);
        ASSERT_EQ(run.openResult, ACE_OK) << name;
        ASSERT_EQ(run.entries.size(), 1u) << name;
        EXPECT_EQ(run.entries[0].second, ACE_ERR_ENCRYPTED) << name;
        EXPECT_EQ(run.endResult, ACE_END_OF_ARCHIVE) << name;
        EXPECT_TRUE(acetest::ListTree(dest).empty()) << name;
        EXPECT_NE(std::system((std::string(ACEX_PATH) + " x '" + kCorpus + name + "' '" + dest +
                               "' 2>/dev/null").c_str()),
                  0);
        EXPECT_TRUE(acetest::ListTree(dest).empty()) << name;
        fs::remove_all(dest);
    }
}

TEST(CorpusSamples, DirectoryTraversalSamplesWriteNothingOutside) {
    for (const char* name : {"/v1/dirtraversal1.ace", "/v1/dirtraversal2.ace"}) {
        // The file name the sample aims at, after "tmp/".
        const auto bytes = acetest::ReadFile(kCorpus + name);
        const std::string raw(bytes.begin(), bytes.end());
        const size_t at = raw.find("tmp/");
        ASSERT_NE(at, std::string::npos);
        const std::string target = "/tmp/" + std::string(raw.c_str() + at + 4);
        const bool existedBefore = Exists(target);

        const std::string sandbox = acetest::MakeTempDir("traversal");
        const std::string dest = sandbox + "/a/b/c/d/e/f/g/dest";
        fs::create_directories(dest);
        const ExtractionRun run = ExtractWithEntryPoints(kCorpus + name, dest);
        ASSERT_EQ(run.openResult, ACE_OK) << name;
        EXPECT_NE(run.endResult, ACE_END_OF_ARCHIVE) << name;   // the header is malformed
        for (const auto& entry : run.entries) EXPECT_NE(entry.second, ACE_OK) << entry.first;
        EXPECT_EQ(acetest::ListTree(sandbox).size(), 8u) << name;   // the folders a..dest only
        EXPECT_TRUE(acetest::ListTree(dest).empty()) << name;
        if (!existedBefore) {
            EXPECT_FALSE(Exists(target)) << target;
        }
        std::system((std::string(ACEX_PATH) + " x '" + kCorpus + name + "' '" + dest + "' 2>/dev/null").c_str());
        EXPECT_TRUE(acetest::ListTree(dest).empty()) << name;
        if (!existedBefore) {
            EXPECT_FALSE(Exists(target)) << target;
        }
        fs::remove_all(sandbox);
    }
}

TEST(CorpusSamples, OutOfBoundsSampleEndsWithAHeaderError) {
    const std::string dest = acetest::MakeTempDir("oob");
    const ExtractionRun run = ExtractWithEntryPoints(kCorpus + "/v1/out_of_bounds.ace", dest);
    ASSERT_EQ(run.openResult, ACE_OK);
    EXPECT_TRUE(run.entries.empty());
    EXPECT_EQ(run.endResult, ACE_ERR_CRC);
    EXPECT_TRUE(acetest::ListTree(dest).empty());
    fs::remove_all(dest);
}

TEST(MultiVolume, ReportsEachVolumeChangeInOrder) {
    const std::string dest = acetest::MakeTempDir("volumes");
    const ExtractionRun run = ExtractWithEntryPoints(kCorpus + "/v1/multivolume.ace", dest, ACE_OP_TEST);
    ASSERT_EQ(run.volumes.size(), 2u);
    EXPECT_EQ(run.volumes[0], std::make_pair(kCorpus + "/v1/multivolume.c00", int(ACE_VOLUME_CHANGED)));
    EXPECT_EQ(run.volumes[1], std::make_pair(kCorpus + "/v1/multivolume.c01", int(ACE_VOLUME_CHANGED)));
    EXPECT_EQ(run.endResult, ACE_END_OF_ARCHIVE);
    EXPECT_TRUE(acetest::ListTree(dest).empty());   // testing writes nothing
    fs::remove_all(dest);
}

TEST(MultiVolume, MissingVolumeIsReportedAndStopsTheArchive) {
    const std::string dir = acetest::MakeTempDir("missing");
    fs::copy_file(kCorpus + "/v1/multivolume.ace", dir + "/multivolume.ace");
    const std::string dest = dir + "/out";
    const ExtractionRun run = ExtractWithEntryPoints(dir + "/multivolume.ace", dest);
    ASSERT_EQ(run.openResult, ACE_OK);
    ASSERT_FALSE(run.volumes.empty());
    EXPECT_EQ(run.volumes[0], std::make_pair(dir + "/multivolume.c00", int(ACE_VOLUME_NOT_FOUND)));
    // Entries of the first volume are complete; the split one fails with no
    // file left behind, and nothing more is read.
    ASSERT_GE(run.entries.size(), 2u);
    EXPECT_EQ(run.entries.front().second, ACE_OK);
    EXPECT_EQ(run.entries.back().second, ACE_ERR_OPEN);
    EXPECT_EQ(run.endResult, ACE_ERR_OPEN);
    EXPECT_FALSE(Exists(dest + "/aclocal/libtool.m4"));
    for (const auto& path : acetest::ListTree(dest)) EXPECT_EQ(path.find(".part"), std::string::npos);
    fs::remove_all(dir);
}

TEST(MultiVolume, VolumeCallbackCanStopTheRun) {
    const std::string dest = acetest::MakeTempDir("stop");
    ExtractionRun run;
    run.volumeAnswer = 0;
    ArchiveOpenRecord open{};
    const std::string archive = kCorpus + "/v2/multivol2.ace";
    open.ArcName = archive.c_str();
    open.OpenMode = ACE_OPEN_EXTRACT;
    open.VolumeCallback = &OnVolume;
    open.CallbackContext = &run;
    ACEHandle handle = ACEOpenArchive(&open);
    ASSERT_NE(handle, nullptr);
    ArchiveHeaderRecord header;
    int32_t last = ACE_OK, result;
    while ((result = ACEReadHeader(handle, &header)) == ACE_OK)
        last = ACEProcessFile(handle, ACE_OP_TEST, nullptr);
    EXPECT_EQ(last, ACE_ERR_ABORTED);
    EXPECT_NE(result, ACE_END_OF_ARCHIVE);
    ACECloseArchive(handle);
    fs::remove_all(dest);
}

}  // namespace
