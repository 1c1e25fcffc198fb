// Archives as written: every header field checked against the format's
// rules for writers, volumes that end only inside split entries, entries
// rebuilt from the raw volume bytes, and the failures a writer must report.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "StreamDecoder.h"
#include "TestData.h"
#include "unace/AceCrc.h"
#include "unace/writer/AceWriter.h"

namespace {

using namespace unace;
using namespace acewriter_test;
namespace fs = std::filesystem;

constexpr uint32_t kTime = 0x5A8E6C21;   // 2025-04-14 13:33:02

uint32_t Get16(const std::vector<uint8_t>& b, size_t at) { return b[at] | uint32_t(b[at + 1]) << 8; }
uint32_t Get32(const std::vector<uint8_t>& b, size_t at) { return Get16(b, at) | Get16(b, at + 2) << 16; }

struct Block {
    std::vector<uint8_t> Header;   // the whole header, HEAD_CRC included
    size_t DataOffset = 0;         // in the volume
    size_t DataSize = 0;
    uint32_t Flags() const { return Get16(Header, 5); }
    std::string Name() const { return std::string(Header.begin() + 35, Header.begin() + 35 + long(Get16(Header, 33))); }
};

struct Volume {
    std::vector<uint8_t> Bytes;
    std::vector<Block> Blocks;     // Blocks[0] is the main header
};

// Splits a volume into blocks, checking each HEAD_CRC and that the blocks
// cover the file exactly.
Volume ReadVolume(const std::string& path) {
    Volume v;
    std::ifstream in(path, std::ios::binary);
    v.Bytes.assign(std::istreambuf_iterator<char>(in), {});
    size_t at = 0;
    while (at < v.Bytes.size()) {
        EXPECT_GE(v.Bytes.size() - at, 4u) << path;
        const size_t headSize = Get16(v.Bytes, at + 2);
        Block b;
        b.Header.assign(v.Bytes.begin() + long(at), v.Bytes.begin() + long(at + 4 + headSize));
        EXPECT_EQ(Get16(b.Header, 0), AceCrc16(b.Header.data() + 4, headSize)) << path << " block at " << at;
        b.DataOffset = at + 4 + headSize;
        b.DataSize = (b.Flags() & kFlagAddSize) ? Get32(b.Header, 7) : 0;
        at = b.DataOffset + b.DataSize;
        EXPECT_LE(at, v.Bytes.size()) << path;
        v.Blocks.push_back(std::move(b));
    }
    return v;
}

struct Entry {
    std::vector<uint8_t> FirstHeader;
    std::vector<uint8_t> LastHeader;
    std::vector<uint8_t> Packed;
    std::vector<uint8_t> Contents;
};

// Joins split entries over the volumes, checking the continuation rules, and
// decodes every entry (solid history carried as the main header says).
std::vector<Entry> ReadArchive(const std::vector<std::string>& volumes) {
    std::vector<Entry> entries;
    bool open = false;   // the last entry continues in the next volume
    for (size_t n = 0; n < volumes.size(); ++n) {
        const Volume v = ReadVolume(volumes[n]);
        EXPECT_EQ(v.Blocks[0].Header[17], n) << "VOLUME_NUM";
        for (size_t i = 1; i < v.Blocks.size(); ++i) {
            const Block& b = v.Blocks[i];
            EXPECT_EQ(b.Header[4], 1);
            EXPECT_TRUE(b.Flags() & kFlagAddSize);
            const bool prev = b.Flags() & kFileFlagContPrev;
            EXPECT_EQ(prev, open && i == 1) << volumes[n] << " block " << i;
            if (prev && !entries.empty()) {
                Entry& e = entries.back();
                for (size_t field : {11, 15, 19, 27, 28, 29}) EXPECT_EQ(e.FirstHeader[field], b.Header[field]);
                EXPECT_EQ(b.Name(), Block{e.FirstHeader}.Name());
                e.LastHeader = b.Header;
            } else {
                entries.push_back({b.Header, b.Header, {}, {}});
            }
            entries.back().Packed.insert(entries.back().Packed.end(), v.Bytes.begin() + long(b.DataOffset),
                                         v.Bytes.begin() + long(b.DataOffset + b.DataSize));
            open = b.Flags() & kFileFlagContNext;
            if (open) {
                // Only the last block of a volume may continue, and its data must
                // reach the volume's end: extractors move on only from there.
                EXPECT_EQ(i, v.Blocks.size() - 1) << volumes[n];
                EXPECT_GT(b.DataSize, 0u);
            }
        }
        if (n + 1 < volumes.size()) {
            EXPECT_TRUE(open) << "volume " << n << " does not end in a split entry";
        }
    }
    EXPECT_FALSE(open) << "the last volume ends in a split entry";

    const Volume first = ReadVolume(volumes[0]);
    const bool solid = Get16(first.Blocks[0].Header, 5) & kMainFlagSolid;
    std::vector<uint8_t> history;
    for (Entry& e : entries) {
        const uint32_t origSize = Get32(e.FirstHeader, 11);
        const uint8_t tech = e.FirstHeader[27];
        if (!solid) history.clear();
        if (tech == 0 || origSize == 0) {
            e.Contents = e.Packed;
            history.insert(history.end(), e.Packed.begin(), e.Packed.end());
        } else {
            const size_t before = history.size();
            const unsigned dict = 1u << (10 + (Get16(e.FirstHeader, 29) & 15));
            EXPECT_EQ(DecodeLz77Entry(e.Packed, origSize, history, dict), "");
            e.Contents.assign(history.begin() + long(before), history.end());
        }
        EXPECT_EQ(e.Contents.size(), origSize);
        EXPECT_EQ(Get32(e.LastHeader, 23), AceCrc32(e.Contents.data(), e.Contents.size()));
    }
    return entries;
}

class AceWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() /
              ("acewriter-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }
    std::string Path(const std::string& name) const { return (Dir / name).string(); }
    fs::path Dir;
};

TEST_F(AceWriterTest, MainAndFileHeadersFollowTheWriterRules) {
    const auto text = MakeData(Pattern::Text, 30000, 1);
    for (const Method method : {Method::Stored, Method::Lz77}) {
        for (const bool solid : {true, false}) {
            AceWriterOptions options;
            options.Compression = method;
            options.Solid = solid;
            options.DictionaryD = 9;
            options.CreationTime = kTime;
            AceWriter w(options);
            const std::string path = Path("h.ace");
            ASSERT_TRUE(w.Open(path));
            ASSERT_TRUE(w.AddDirectory("Game Data", kTime - 2));
            ASSERT_TRUE(w.AddFile("Game Data\\empty.txt", kTime, kAttrArchive, {}));
            ASSERT_TRUE(w.AddFile("Game Data\\text.txt", kTime, kAttrArchive | kAttrReadOnly, text));
            ASSERT_TRUE(w.Close());
            ASSERT_EQ(w.VolumePaths(), std::vector<std::string>{path});

            const Volume v = ReadVolume(path);
            ASSERT_EQ(v.Blocks.size(), 4u);
            const auto& m = v.Blocks[0].Header;
            EXPECT_EQ(Get16(m, 2), 27u);   // the AV_SIZE byte is always there
            EXPECT_EQ(m[4], 0);
            EXPECT_EQ(Get16(m, 5), solid ? 0x8000u : 0u);
            EXPECT_EQ(std::string(m.begin() + 7, m.begin() + 14), "**ACE**");
            EXPECT_EQ(m[14], 10);   // only stored and type-1 entries
            EXPECT_EQ(m[15], 20);
            EXPECT_EQ(m[16], 2);
            EXPECT_EQ(m[17], 0);
            EXPECT_EQ(Get32(m, 18), kTime);
            const uint32_t res1 = 0xFFFF ^ (kTime & 0xFFFF);
            EXPECT_EQ(Get16(m, 22), res1);
            EXPECT_EQ(Get16(m, 24), res1 ^ ((kTime >> 12) & 0xFFFF));
            EXPECT_EQ(Get32(m, 26), 0u);
            EXPECT_EQ(m[30], 0);   // AV_SIZE

            const auto& dir = v.Blocks[1].Header;
            EXPECT_EQ(Get16(dir, 5), kFlagAddSize);
            EXPECT_EQ(Get32(dir, 7), 0u);
            EXPECT_EQ(Get32(dir, 11), 0u);
            EXPECT_EQ(Get32(dir, 15), kTime - 2);
            EXPECT_EQ(Get32(dir, 19), kAttrDirectory);
            EXPECT_EQ(Get32(dir, 23), kEmptyCrc32);
            EXPECT_EQ(dir[27], uint8_t(method));   // directories carry the archive's method
            EXPECT_EQ(Get16(dir, 29), 9u);
            EXPECT_EQ(v.Blocks[1].Name(), "Game Data");
            EXPECT_EQ(Get16(dir, 2), 31u + 9u);

            const auto& empty = v.Blocks[2].Header;
            EXPECT_EQ(Get16(empty, 5), kFlagAddSize);   // no SOLID flag on empty files
            EXPECT_EQ(empty[27], 0);                    // stored
            EXPECT_EQ(Get32(empty, 23), kEmptyCrc32);
            EXPECT_EQ(Get32(empty, 11), 0u);

            const auto& file = v.Blocks[3].Header;
            EXPECT_EQ(Get16(file, 5), solid ? (kFlagAddSize | kFileFlagSolid) : kFlagAddSize);
            EXPECT_EQ(Get32(file, 11), text.size());
            EXPECT_EQ(Get32(file, 19), kAttrArchive | kAttrReadOnly);
            EXPECT_EQ(Get32(file, 23), AceCrc32(text.data(), text.size()));
            EXPECT_EQ(file[27], uint8_t(method));
            if (method == Method::Stored) {
                EXPECT_EQ(Get32(file, 7), text.size());
            } else {
                EXPECT_EQ(Get32(file, 7) % 4, 0u);
                EXPECT_LT(Get32(file, 7), text.size() / 3);
            }
            const auto entries = ReadArchive(w.VolumePaths());
            ASSERT_EQ(entries.size(), 3u);
            EXPECT_EQ(entries[2].Contents, text);
        }
    }
}

// Every volume size from tiny to roomy, so that the limit falls inside
// headers, right after them, between entries and inside data.
TEST_F(AceWriterTest, VolumesEndOnlyInsideSplitEntriesAtEveryLimit) {
    const auto a = MakeData(Pattern::Mixed, 3000, 2);
    const auto b = MakeData(Pattern::Random, 700, 3);
    const auto c = MakeData(Pattern::Text, 5000, 4);
    for (const Method method : {Method::Stored, Method::Lz77}) {
        for (uint64_t limit = 40; limit <= 3200; limit += (limit < 400 ? 3 : 97)) {
            AceWriterOptions options;
            options.Compression = method;
            options.VolumeSize = limit;
            options.CreationTime = kTime;
            AceWriter w(options);
            ASSERT_TRUE(w.Open(Path("v.ace")));
            w.AddFile("a.bin", kTime, kAttrArchive, a);
            w.AddDirectory("d", kTime);
            w.AddFile("d\\b.bin", kTime, kAttrArchive, b);
            w.AddFile("d\\zero", kTime, kAttrArchive, {});
            w.AddFile("d\\c.txt", kTime, kAttrArchive, c);
            const AceWriteResult closed = w.Close();
            if (!closed) {
                ASSERT_EQ(closed.Code, AceWriteError::TooManyVolumes);
                ASSERT_LT(limit, 120u);   // about 8.7 KB over 256 volumes
                ASSERT_FALSE(fs::exists(Path("v.ace")));
                ASSERT_FALSE(fs::exists(Path("v.c00")));
                continue;
            }
            const auto& volumes = w.VolumePaths();
            for (size_t n = 0; n + 1 < volumes.size(); ++n) {
                const Volume v = ReadVolume(volumes[n]);
                // The volume is cut at the limit inside the split entry's data;
                // only where the limit fell among headers (of entries without
                // data, or before the first data byte) does it run over, to
                // one byte of data after them.
                const Block& last = v.Blocks.back();
                if (last.DataOffset < limit) {
                    EXPECT_EQ(v.Bytes.size(), limit);
                } else {
                    EXPECT_EQ(last.DataSize, 1u) << "limit " << limit;
                    size_t start = 0;
                    for (const Block& blk : v.Blocks) {
                        if (start >= limit) {
                            EXPECT_LE(blk.DataSize, 1u) << "limit " << limit;
                        }
                        start = blk.DataOffset + blk.DataSize;
                    }
                }
                EXPECT_EQ(Get16(v.Blocks[0].Header, 5) & kMainFlagMultiVolume, kMainFlagMultiVolume);
            }
            const auto entries = ReadArchive(volumes);
            ASSERT_EQ(entries.size(), 5u) << "limit " << limit;
            ASSERT_EQ(entries[0].Contents, a);
            ASSERT_EQ(entries[2].Contents, b);
            ASSERT_EQ(entries[4].Contents, c);
            for (size_t n = 0; n < volumes.size(); ++n) EXPECT_EQ(volumes[n], AceVolumeName(Path("v.ace"), unsigned(n), false));
            if (volumes.size() > 2) {
                EXPECT_EQ(fs::path(volumes[2]).filename(), "v.c01");
            }
        }
    }
}

TEST_F(AceWriterTest, NamesThatCannotBeStored) {
    for (const char* bad : {"", "\\lead", "a\\\\b", "trail\\", "..\\up", "a\\.\\b", "c:x", "a/b", "a*b", "q?",
                            "pipe|", "CON", "con.txt", "LPT1", "Nul.dat", "dot.", "blank ", "tab\tname"}) {
        EXPECT_NE(CheckEntryName(bad), "") << '"' << bad << '"';
    }
    for (const char* good : {"a", "a b\\c d.txt", "COM", "CONSOLE", "LPT10", ".hidden", "x\\y\\z\\w\\v\\u\\t"}) {
        EXPECT_EQ(CheckEntryName(good), "") << good;
    }
    // A refused name fails the archive, and Close removes what was written.
    AceWriter w({});
    ASSERT_TRUE(w.Open(Path("n.ace")));
    ASSERT_TRUE(w.AddFile("fine.txt", kTime, kAttrArchive, MakeData(Pattern::Text, 100, 1)));
    const auto r = w.AddDirectory("..\\escape", kTime);
    EXPECT_EQ(r.Code, AceWriteError::InvalidName);
    EXPECT_NE(r.Message.find("..\\escape"), std::string::npos);
    EXPECT_EQ(w.AddFile("later.txt", kTime, kAttrArchive, {}).Code, AceWriteError::InvalidName);
    EXPECT_FALSE(w.Close());
    EXPECT_FALSE(fs::exists(Path("n.ace")));
}

TEST_F(AceWriterTest, SourceFailuresAndLimitsAreReported) {
    struct Row {
        const char* What;
        AceWriteError Expected;
        std::function<AceWriteResult(AceWriter&)> Add;
    };
    const std::vector<Row> rows = {
        {"read error", AceWriteError::ReadFailed,
         [](AceWriter& w) { return w.AddFile("f", kTime, 0, 100, [](uint8_t*, size_t) -> int64_t { return -1; }); }},
        {"source shorter than announced", AceWriteError::ReadFailed,
         [](AceWriter& w) {
             return w.AddFile("f", kTime, 0, 100, [n = 0](uint8_t* b, size_t s) mutable -> int64_t {
                 if (n++) return 0;
                 std::fill(b, b + std::min<size_t>(s, 60), 'x');
                 return 60;
             });
         }},
        {"4 GiB entry", AceWriteError::TooLarge,
         [](AceWriter& w) { return w.AddFile("f", kTime, 0, 1ull << 32, [](uint8_t*, size_t) -> int64_t { return 0; }); }},
    };
    for (const Row& row : rows) {
        AceWriter w({});
        ASSERT_TRUE(w.Open(Path("s.ace")));
        EXPECT_EQ(row.Add(w).Code, row.Expected) << row.What;
        EXPECT_FALSE(w.Close()) << row.What;
        EXPECT_FALSE(fs::exists(Path("s.ace"))) << row.What;
    }
    AceWriter missingFolder({});
    EXPECT_EQ(missingFolder.Open(Path("no/such/folder/x.ace")).Code, AceWriteError::CreateFailed);
    AceWriterOptions badDictionary;
    badDictionary.DictionaryD = 13;
    AceWriter w13(badDictionary);
    EXPECT_EQ(w13.Open(Path("x.ace")).Code, AceWriteError::InvalidArgument);
}

TEST(DosTime, FromCalendarTime) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(DosTimeFromUnix(1344088012), 0x41046DDAu);   // 2012-08-04 13:46:52
    EXPECT_EQ(DosTimeFromUnix(0), 0x00210000u);            // before 1980: clamped
    EXPECT_EQ(DosTimeFromUnix(1344088013), 0x41046DDAu);   // odd seconds round down
}

}  // namespace
