// Round trips through our reader: a folder of varied content packed with
// each method, solid and not, into one volume and into many, extracted with
// the reader's C interface, must come back byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <tuple>

#include "TestData.h"
#include "unace/UnACE.h"
#include "unace/writer/AceWriter.h"

namespace {

using namespace unace;
using namespace acewriter_test;
namespace fs = std::filesystem;

constexpr uint32_t kTime = 0x5A8E6C21;

// Relative name ('\' separators) -> contents; a trailing '\' marks a folder.
using Tree = std::map<std::string, std::vector<uint8_t>>;

const Tree& SampleTree() {
    static const Tree tree = [] {
        Tree t;
        t["empty folder\\"] = {};
        t["docs\\"] = {};
        t["docs\\read me.txt"] = MakeData(Pattern::Text, 20000, 1);
        t["docs\\zero.txt"] = {};
        t["docs\\one"] = {'1'};
        t["data\\"] = {};
        t["data\\big text.dat"] = MakeData(Pattern::Text, 2'200'000, 2);
        t["data\\noise.bin"] = MakeData(Pattern::Random, 1'100'000, 3);
        t["data\\mixed.bin"] = MakeData(Pattern::Mixed, 300'000, 4);
        t["data\\copy of mixed.bin"] = t["data\\mixed.bin"];
        std::string deep;
        for (int i = 0; i < 12; ++i) {
            deep += "level " + std::to_string(i) + "\\";
            t[deep] = {};
        }
        t[deep + "deep file.txt"] = MakeData(Pattern::Runs, 5000, 5);
        return t;
    }();
    return tree;
}

int32_t VolumeChanged(const char*, int32_t code, void* context) {
    if (code == ACE_VOLUME_CHANGED) ++*static_cast<int*>(context);
    return code == ACE_VOLUME_CHANGED ? 1 : 0;
}

using Case = std::tuple<Method, bool /*solid*/, uint64_t /*volume size*/>;
class RoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(RoundTrip, ReaderExtractsIdenticalBytes) {
    const auto [method, solid, volumeSize] = GetParam();
    const fs::path dir = fs::temp_directory_path() / ("acewriter-rt-" + std::to_string(::getpid()) + "-" +
                                                       std::to_string(int(method)) + std::to_string(solid) +
                                                       "-" + std::to_string(volumeSize));
    fs::remove_all(dir);
    fs::create_directories(dir / "out");

    AceWriterOptions options;
    options.Compression = method;
    options.Solid = solid;
    options.VolumeSize = volumeSize;
    options.DictionaryD = 10;
    options.Level = 2;
    options.CreationTime = kTime;
    AceWriter w(options);
    const std::string archive = (dir / "release.ace").string();
    ASSERT_TRUE(w.Open(archive));
    for (const auto& [name, contents] : SampleTree()) {
        if (name.back() == '\\') {
            ASSERT_TRUE(w.AddDirectory(name.substr(0, name.size() - 1), kTime));
        } else {
            ASSERT_TRUE(w.AddFile(name, kTime, kAttrArchive, contents));
        }
    }
    ASSERT_TRUE(w.Close());
    if (volumeSize != 0) {
        EXPECT_GT(w.VolumePaths().size(), 3u);
    }

    int volumeChanges = 0;
    ArchiveOpenRecord open{};
    open.ArcName = archive.c_str();
    open.OpenMode = ACE_OPEN_EXTRACT;
    open.VolumeCallback = VolumeChanged;
    open.CallbackContext = &volumeChanges;
    ACEHandle h = ACEOpenArchive(&open);
    ASSERT_EQ(open.OpenResult, 0);
    ArchiveHeaderRecord header{};
    int32_t rc;
    size_t entries = 0;
    const std::string dest = (dir / "out").string() + "/";
    while ((rc = ACEReadHeader(h, &header)) == 0) {
        ASSERT_EQ(ACEProcessFile(h, ACE_OP_EXTRACT, dest.c_str()), 0)
            << header.EntryName << ": " << ACEGetLastErrorText(h);
        ++entries;
    }
    EXPECT_EQ(rc, ACE_END_OF_ARCHIVE) << ACEGetLastErrorText(h);
    ACECloseArchive(h);
    EXPECT_EQ(entries, SampleTree().size());
    EXPECT_EQ(size_t(volumeChanges) + 1, w.VolumePaths().size());

    for (const auto& [name, contents] : SampleTree()) {
        std::string native = name;
        std::replace(native.begin(), native.end(), '\\', '/');
        const fs::path p = dir / "out" / native;
        if (name.back() == '\\') {
            EXPECT_TRUE(fs::is_directory(p)) << name;
            continue;
        }
        std::ifstream in(p, std::ios::binary);
        ASSERT_TRUE(in) << name;
        const std::vector<uint8_t> got((std::istreambuf_iterator<char>(in)), {});
        EXPECT_TRUE(got == contents) << name << ": " << got.size() << " bytes instead of " << contents.size();
    }
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(MethodsSolidVolumes, RoundTrip,
                         ::testing::Combine(::testing::Values(Method::Stored, Method::Lz77), ::testing::Bool(),
                                            ::testing::Values(uint64_t(0), uint64_t(400'000))));

}  // namespace
