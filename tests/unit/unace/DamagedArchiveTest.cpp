// Damaged and hostile input: every corpus archive cut short at many points
// and with bytes flipped, plus hand-made headers whose inner sizes lie. The
// reader must end each with a clean result code: no crash, no hang, no
// success claimed for data it could not verify.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "TestArchive.h"
#include "unace/AceArchive.h"
#include "unace/UnACE.h"

namespace fs = std::filesystem;

namespace {

const std::string kCorpus = ACE_CORPUS_DIR;

class NullSink final : public unace::OutputSink {
public:
    bool Write(const uint8_t*, size_t) override { return true; }
};

struct Outcome {
    int open = -1;
    int end = -1;
    int okEntries = 0;
    std::vector<int> results;
};

// A hang would show as a test that never ends; the bound below is generous
// enough for sanitizer builds on a busy machine (normally a few seconds).

// Reads and tests every entry of an in-memory archive.
Outcome TestAll(const std::vector<uint8_t>& bytes) {
    Outcome out;
    unace::Archive archive;
    out.open = archive.OpenMemory(bytes.data(), bytes.size());
    if (out.open != ACE_OK) return out;
    for (int guard = 0; guard < 10000; ++guard) {
        out.end = archive.ReadHeader();
        if (out.end != ACE_OK) break;
        const int r = archive.Process(ACE_OP_TEST, "");
        out.results.push_back(r);
        out.okEntries += r == ACE_OK;
    }
    return out;
}

std::vector<std::string> CorpusArchives() {
    std::vector<std::string> out;
    for (const char* sub : {"v1", "v2"})
        for (const auto& f : fs::directory_iterator(kCorpus + "/" + sub)) {
            const std::string ext = f.path().extension().string();
            if (ext == ".ace" || ext == ".ACE" || ext == ".c00" || ext == ".c01")
                out.push_back(f.path().string());
        }
    std::sort(out.begin(), out.end());
    return out;
}

const std::set<int> kOpenCodes = {ACE_OK, ACE_ERR_READ, ACE_ERR_CRC, ACE_ERR_NOT_ACE};
const std::set<int> kHeaderCodes = {ACE_OK, ACE_END_OF_ARCHIVE, ACE_ERR_OPEN, ACE_ERR_READ, ACE_ERR_CRC};
const std::set<int> kProcessCodes = {ACE_OK,  ACE_ERR_OPEN,      ACE_ERR_READ,  ACE_ERR_CRC,
                                     ACE_ERR_ENCRYPTED, ACE_ERR_METHOD};

void ExpectClean(const Outcome& o, const std::string& what) {
    EXPECT_TRUE(kOpenCodes.count(o.open)) << what << " open " << o.open;
    if (o.open != ACE_OK) return;
    EXPECT_TRUE(kHeaderCodes.count(o.end)) << what << " header " << o.end;
    for (int r : o.results) EXPECT_TRUE(kProcessCodes.count(r)) << what << " process " << r;
}

TEST(DamagedArchives, TruncatedAtManyOffsetsFailCleanly) {
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& path : CorpusArchives()) {
        const auto original = acetest::ReadFile(path);
        const Outcome whole = TestAll(original);
        const size_t step = std::max<size_t>(1, original.size() / 97);
        for (size_t cut = 0; cut < original.size(); cut += step) {
            const std::vector<uint8_t> cutBytes(original.begin(), original.begin() + long(cut));
            const Outcome o = TestAll(cutBytes);
            ExpectClean(o, path + " cut at " + std::to_string(cut));
            // A shorter archive never verifies more entries than the whole one.
            EXPECT_LE(o.okEntries, whole.okEntries) << path << " cut at " << cut;
        }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(240));
}

TEST(DamagedArchives, FlippedBytesFailCleanly) {
    const auto start = std::chrono::steady_clock::now();
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    for (const std::string& path : CorpusArchives()) {
        const auto original = acetest::ReadFile(path);
        for (int trial = 0; trial < 80; ++trial) {
            auto bytes = original;
            const size_t at = next() % bytes.size();
            bytes[at] ^= uint8_t(1u << (next() % 8));
            if (trial % 3 == 0) bytes[next() % bytes.size()] = uint8_t(next());
            ExpectClean(TestAll(bytes), path + " flipped at " + std::to_string(at));
        }
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(240));
}

TEST(DamagedArchives, CorruptDataIsReportedAsCrcErrorNotSuccess) {
    // Flip bits inside the compressed data of onefile.ace (past its headers).
    const auto original = acetest::ReadFile(kCorpus + "/v1/onefile.ace");
    for (size_t at = 200; at + 8 < original.size(); at += 409) {
        auto bytes = original;
        bytes[at] ^= 0x10;
        const Outcome o = TestAll(bytes);
        ASSERT_EQ(o.results.size(), 1u);
        EXPECT_EQ(o.results[0], ACE_ERR_CRC) << at;
    }
}

// Hand-made main headers and file headers with valid checksums but lying sizes.
TEST(HostileHeaders, InnerSizesAreCheckedAgainstTheHeader) {
    using acetest::Block;
    using acetest::TestEntry;
    const auto good = acetest::BuildArchive({TestEntry{"a.txt", "hello"}});
    ASSERT_EQ(TestAll(good).okEntries, 1);
    const size_t mainEnd = 4 + size_t(good[2] | good[3] << 8);
    const std::vector<uint8_t> mainHeader(good.begin(), good.begin() + long(mainEnd));

    struct Row {
        const char* what;
        std::vector<uint8_t> fileBody;   // header body after CRC and size
        int expectedEnd;
    };
    auto fileBody = [](uint8_t type, uint16_t flags, uint32_t pack, uint16_t nameSize,
                       const std::string& tail) {
        std::vector<uint8_t> b = {type, uint8_t(flags), uint8_t(flags >> 8), uint8_t(pack),
                                  uint8_t(pack >> 8), uint8_t(pack >> 16), uint8_t(pack >> 24)};
        b.resize(29, 0);   // ORIG_SIZE .. RESERVED stay 0
        b.push_back(uint8_t(nameSize));
        b.push_back(uint8_t(nameSize >> 8));
        b.insert(b.end(), tail.begin(), tail.end());
        return b;
    };
    auto withOrigSize = [](std::vector<uint8_t> body, uint8_t size) {
        body[7] = size;   // ORIG_SIZE, so that the data is really read
        return body;
    };
    const Row rows[] = {
        {"name runs past the header", fileBody(1, 1, 0, 200, "abc"), ACE_ERR_CRC},
        {"comment runs past the header", fileBody(1, 3, 0, 1, std::string("a\x54\x45", 3)), ACE_ERR_CRC},
        {"no data size flag", fileBody(1, 0, 0, 1, "a"), ACE_ERR_CRC},
        {"64-bit flag on a 32-bit header", fileBody(1, 5, 0, 1, "a"), ACE_ERR_CRC},
        {"data past the end of the volume", withOrigSize(fileBody(1, 1, 0x7FFFFFFF, 1, "a"), 5),
         ACE_ERR_READ},
        {"too short for its fields", std::vector<uint8_t>{1, 1, 0, 0, 0, 0, 0}, ACE_ERR_CRC},
    };
    for (const Row& row : rows) {
        auto bytes = mainHeader;
        const auto block = Block(row.fileBody);
        bytes.insert(bytes.end(), block.begin(), block.end());
        const Outcome o = TestAll(bytes);
        ASSERT_EQ(o.open, ACE_OK) << row.what;
        if (row.expectedEnd == ACE_ERR_READ) {
            // The header is fine; reading its data fails, then the archive ends badly.
            ASSERT_EQ(o.results.size(), 1u) << row.what;
            EXPECT_EQ(o.results[0], ACE_ERR_READ) << row.what;
        } else {
            EXPECT_TRUE(o.results.empty()) << row.what;
        }
        EXPECT_EQ(o.end, row.expectedEnd) << row.what;
    }

    // Stray bytes after the last block: the entries stay valid, the end is reported.
    for (size_t stray = 1; stray <= 3; ++stray) {
        auto bytes = good;
        bytes.resize(bytes.size() + stray, 0);
        const Outcome o = TestAll(bytes);
        EXPECT_EQ(o.okEntries, 1);
        EXPECT_EQ(o.end, ACE_ERR_READ);
    }
}

TEST(HostileHeaders, MainHeaderProblemsGiveTheOpenCodes) {
    const auto good = acetest::BuildArchive({acetest::TestEntry{"a.txt", "hello"}});
    // Not an archive at all.
    EXPECT_EQ(TestAll(std::vector<uint8_t>(1000, 'x')).open, ACE_ERR_NOT_ACE);
    EXPECT_EQ(TestAll({}).open, ACE_ERR_NOT_ACE);
    // The signature is there but the header checksum is wrong.
    auto broken = good;
    broken[0] ^= 1;
    EXPECT_EQ(TestAll(broken).open, ACE_ERR_CRC);
    // A newer format version.
    auto newer = acetest::Block({0, 0, 0, '*', '*', 'A', 'C', 'E', '*', '*', 30, 30, 2, 0, 0, 0, 0,
                                 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(TestAll(newer).open, ACE_ERR_NOT_ACE);
    // AV and comment sizes beyond the header are ignored, not trusted.
    auto av = acetest::Block({0, 2, 0, '*', '*', 'A', 'C', 'E', '*', '*', 20, 20, 2, 0, 0, 0, 0, 0,
                              0, 0, 0, 0, 0, 0, 0, 0, 0, 200, 0x54, 0x45});
    EXPECT_EQ(TestAll(av).open, ACE_OK);
}

TEST(HostileHeaders, SelfExtractorStubIsSkippedBySignatureSearch) {
    const auto archive = acetest::BuildArchive({acetest::TestEntry{"a.txt", "hello"}});
    std::vector<uint8_t> sfx = {'M', 'Z'};
    sfx.resize(3000, 0x90);
    // A stub that mentions the signature itself must not confuse the search.
    const std::string text = "xxxxxxx**ACE**";
    sfx.insert(sfx.begin() + 100, text.begin(), text.end());
    sfx.insert(sfx.end(), archive.begin(), archive.end());
    const Outcome o = TestAll(sfx);
    ASSERT_EQ(o.open, ACE_OK);
    EXPECT_EQ(o.okEntries, 1);
    EXPECT_EQ(o.end, ACE_END_OF_ARCHIVE);
}

}  // namespace
