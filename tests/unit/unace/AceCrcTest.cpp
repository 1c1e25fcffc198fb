// Checksums, volume names and entry-name checks: small pure functions
// whose mistakes would break every archive, tested against the format's
// published values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unace/AceCrc.h"
#include "unace/AceFormat.h"
#include "unace/EntryPath.h"

namespace {

TEST(AceCrc, MatchesTheFormatsTestVectors) {
    const std::string digits = "123456789";
    EXPECT_EQ(unace::AceCrc32(digits.data(), digits.size()), 0x340BC6D9u);
    EXPECT_EQ(unace::AceCrc16(digits.data(), digits.size()), 0xC6D9u);
    EXPECT_EQ(unace::AceCrc32("", 0), 0xFFFFFFFFu);
    EXPECT_EQ(unace::AceCrc32("42", 2), 0xCDDB4F77u);
    const std::vector<uint8_t> zeros(15859, 0);
    EXPECT_EQ(unace::AceCrc32(zeros.data(), zeros.size()), 0xE1319F54u);
}

TEST(AceCrc, IncrementalEqualsWholeAtEveryUnalignedSplit) {
    std::vector<uint8_t> data(100);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 37 + 11);
    const uint32_t whole = unace::AceCrc32(data.data(), data.size());
    for (size_t cut = 0; cut <= data.size(); ++cut)
        EXPECT_EQ(unace::AceCrc32(data.data() + cut, data.size() - cut,
                                  unace::AceCrc32(data.data(), cut)),
                  whole)
            << cut;
}

TEST(AceVolumeName, FollowsTheCNumberingAndThreeDigitsAfterC99) {
    struct Row {
        const char* first;
        unsigned volume;
        bool upper;
        const char* expected;
    } rows[] = {
        {"dir/set.ace", 0, true, "dir/set.ace"},
        {"dir/set.ace", 1, false, "dir/set.c00"},
        {"dir/set.ace", 2, true, "dir/set.C01"},
        {"dir/set.ace", 100, true, "dir/set.C99"},
        {"dir/set.ace", 101, true, "dir/set.100"},
        {"dir/set.ace", 102, false, "dir/set.101"},
        {"a.b/noext", 1, true, "a.b/noext.C00"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(unace::AceVolumeName(r.first, r.volume, r.upper), r.expected) << r.first << " " << r.volume;
}

TEST(EntryName, AcceptsRelativeNamesAndNormalisesSeparators) {
    std::vector<std::string> parts;
    std::string why;
    ASSERT_TRUE(unace::SplitEntryName("zman\\man1\\xx/file.1", parts, why));
    EXPECT_EQ(parts, (std::vector<std::string>{"zman", "man1", "xx", "file.1"}));
    ASSERT_TRUE(unace::SplitEntryName(".\\a\\\\b.\\..x", parts, why));
    EXPECT_EQ(parts, (std::vector<std::string>{"a", "b.", "..x"}));
}

TEST(EntryName, RefusesEveryWayOutOfTheDestination) {
    const char* refused[] = {
        "../x", "..\\x", "a\\..\\..\\x", "a/../b", "..", "/etc/passwd", "\\x", "\\\\server\\share\\x",
        "C:\\x", "c:x", "a\\b:stream", "", ".", ".\\", "a\x01" "b",
    };
    for (const char* name : refused) {
        std::vector<std::string> parts;
        std::string why;
        EXPECT_FALSE(unace::SplitEntryName(name, parts, why)) << name;
        EXPECT_FALSE(why.empty()) << name;
    }
    std::vector<std::string> parts;
    std::string why;
    EXPECT_FALSE(unace::SplitEntryName(std::string("a\0b", 3), parts, why));
}

}  // namespace
