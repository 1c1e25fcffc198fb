// Block structure the corpus does not exercise: recovery records and unknown
// blocks between entries, 64-bit file headers, and progress granularity on a
// large entry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestArchive.h"
#include "unace/AceArchive.h"
#include "unace/AceCrc.h"
#include "unace/UnACE.h"

namespace {

class CollectingSink final : public unace::OutputSink {
public:
    bool Write(const uint8_t* data, size_t size) override {
        text.append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    std::string text;
};

void Put(std::vector<uint8_t>& b, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// All entries' contents in order, or the first failure code.
std::vector<std::string> Contents(const std::vector<uint8_t>& bytes, int& end) {
    std::vector<std::string> out;
    unace::Archive archive;
    end = archive.OpenMemory(bytes.data(), bytes.size());
    if (end != ACE_OK) return out;
    while ((end = archive.ReadHeader()) == ACE_OK) {
        CollectingSink sink;
        const int r = archive.DecodeTo(sink);
        out.push_back(r == ACE_OK ? sink.text : "error " + std::to_string(r));
    }
    return out;
}

TEST(ArchiveStructure, RecoveryRecordsAndUnknownBlocksAreSkipped) {
    auto bytes = acetest::BuildArchive({acetest::TestEntry{"a.txt", "first"}});
    // A 32-bit recovery record with 10 bytes of data, then an unknown type
    // without data, then a 64-bit recovery record.
    std::vector<uint8_t> recovery = {2, 1, 0};
    Put(recovery, 10, 4);
    recovery.insert(recovery.end(), unace::kAceSignature, unace::kAceSignature + 7);
    recovery.resize(28, 0);
    auto block = acetest::Block(recovery);
    bytes.insert(bytes.end(), block.begin(), block.end());
    bytes.insert(bytes.end(), 10, 0xEE);
    block = acetest::Block({77, 0, 0, 1, 2, 3});
    bytes.insert(bytes.end(), block.begin(), block.end());
    std::vector<uint8_t> recovery64 = {4, 5, 0};
    Put(recovery64, 3, 8);
    recovery64.resize(36, 0);
    block = acetest::Block(recovery64);
    bytes.insert(bytes.end(), block.begin(), block.end());
    bytes.insert(bytes.end(), 3, 0xEE);
    const auto second = acetest::BuildArchive({acetest::TestEntry{"b.txt", "second"}});
    const size_t mainSize = 4 + size_t(second[2] | second[3] << 8);
    bytes.insert(bytes.end(), second.begin() + long(mainSize), second.end());

    int end = 0;
    EXPECT_EQ(Contents(bytes, end), (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(end, ACE_END_OF_ARCHIVE);
}

TEST(ArchiveStructure, SixtyFourBitFileHeadersAreRead) {
    const std::string data = "sixty-four";
    std::vector<uint8_t> h = {3};
    Put(h, unace::kFlagAddSize | unace::kFlag64Bit, 2);
    Put(h, data.size(), 8);                       // PACK_SIZE
    Put(h, data.size(), 8);                       // ORIG_SIZE
    Put(h, 0x41046DDA, 4);                        // FTIME
    Put(h, unace::kAttrArchive, 4);
    Put(h, unace::AceCrc32(data.data(), data.size()), 4);
    h.insert(h.end(), {0, 0, 10, 0, 0, 0});       // stored, quality, dictionary, reserved
    Put(h, 5, 2);
    for (char c : std::string("w.bin")) h.push_back(uint8_t(c));
    auto bytes = acetest::BuildArchive({});
    const auto block = acetest::Block(h);
    bytes.insert(bytes.end(), block.begin(), block.end());
    bytes.insert(bytes.end(), data.begin(), data.end());
    int end = 0;
    EXPECT_EQ(Contents(bytes, end), (std::vector<std::string>{data}));
    EXPECT_EQ(end, ACE_END_OF_ARCHIVE);
}

struct Reports {
    std::vector<int32_t> counts;
};

int32_t Record(const void*, int32_t count, void* context) {
    static_cast<Reports*>(context)->counts.push_back(count);
    return 1;
}

TEST(ArchiveStructure, ProgressReportsAreCoarseAndAddUpToTheSize) {
    const std::string dir = acetest::MakeTempDir("progress");
    const std::string big(1000000, 'z');
    acetest::WriteFile(dir + "/big.ace", acetest::BuildArchive({acetest::TestEntry{"big.bin", big},
                                                                acetest::TestEntry{"empty.bin", ""}}));
    Reports reports;
    ArchiveOpenRecord open{};
    const std::string path = dir + "/big.ace";
    open.ArcName = path.c_str();
    open.OpenMode = ACE_OPEN_EXTRACT;
    open.ProgressCallback = &Record;
    open.CallbackContext = &reports;
    ACEHandle handle = ACEOpenArchive(&open);
    ASSERT_NE(handle, nullptr);
    ArchiveHeaderRecord header;
    ASSERT_EQ(ACEReadHeader(handle, &header), ACE_OK);
    ASSERT_EQ(ACEProcessFile(handle, ACE_OP_TEST, nullptr), ACE_OK);
    int64_t sum = 0;
    for (int32_t c : reports.counts) {
        EXPECT_GE(c, 0);
        sum += c;
    }
    EXPECT_EQ(sum, int64_t(big.size()));
    EXPECT_LE(reports.counts.size(), big.size() / 65536 + 1);
    // An empty entry still gets its one report at the end.
    reports.counts.clear();
    ASSERT_EQ(ACEReadHeader(handle, &header), ACE_OK);
    ASSERT_EQ(ACEProcessFile(handle, ACE_OP_EXTRACT, (dir + "/out").c_str()), ACE_OK);
    EXPECT_EQ(reports.counts, (std::vector<int32_t>{0}));
    ACECloseArchive(handle);
}

}  // namespace
