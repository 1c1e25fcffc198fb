// MB/s of output: ACE 1.0 and 2.0 corpus archives decoded by the archive
// library, beside zlib's inflate (what `gzip -dc` runs) on the same content,
// each to memory and to the file system (into an empty folder, and over the
// files of an earlier extraction).
//
// For zlib every entry is compressed at level 9 as its own gzip stream, so
// both sides produce the same files from the same bytes. Bytes processed =
// decoded output bytes.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "unace/AceArchive.h"
#include "unace/UnACE.h"

namespace fs = std::filesystem;

namespace {

const std::string kCorpus = ACE_CORPUS_DIR;
const char* const kArchives[] = {"v1/onefile.ace", "v1/ZGFX2.ace", "v1/multivolume.ace",
                                 "v2/dir2.ace", "v2/multivol2.ace"};

class MemorySink final : public unace::OutputSink {
public:
    explicit MemorySink(std::vector<uint8_t>& buffer) : buffer_(buffer) {}
    bool Write(const uint8_t* data, size_t size) override {
        if (used_ + size > buffer_.size()) buffer_.resize(used_ + size);
        std::memcpy(buffer_.data() + used_, data, size);
        used_ += size;
        return true;
    }
    size_t Used() const { return used_; }

private:
    std::vector<uint8_t>& buffer_;
    size_t used_ = 0;
};

struct Content {
    std::vector<std::string> names;                 // file entries
    std::vector<std::vector<uint8_t>> plain;        // their contents
    std::vector<std::vector<uint8_t>> gzipped;      // each as a gzip stream
    uint64_t total = 0;
};

std::vector<uint8_t> Gzip(const std::vector<uint8_t>& in) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&z, uLong(in.size())) + 64);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = uInt(in.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

const Content& ContentOf(const std::string& archive) {
    static std::map<std::string, Content> cache;
    auto it = cache.find(archive);
    if (it != cache.end()) return it->second;
    Content c;
    unace::Archive a;
    if (a.Open(kCorpus + "/" + archive) == ACE_OK) {
        while (a.ReadHeader() == ACE_OK) {
            if (a.Current().Header.IsDirectory()) continue;
            std::vector<uint8_t> data;
            MemorySink sink(data);
            if (a.DecodeTo(sink) != ACE_OK) continue;
            data.resize(sink.Used());
            c.total += data.size();
            c.names.push_back(std::to_string(c.names.size()) + ".out");
            c.gzipped.push_back(Gzip(data));
            c.plain.push_back(std::move(data));
        }
    }
    return cache[archive] = std::move(c);
}

std::string TempDir() {
    const fs::path dir = fs::temp_directory_path() / ("unace-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir.string();
}

// Every file entry decoded into one reused memory buffer.
void AceToMemory(benchmark::State& state, const char* archive) {
    const Content& content = ContentOf(archive);
    std::vector<uint8_t> buffer(content.total);
    for (auto _ : state) {
        unace::Archive a;
        if (a.Open(kCorpus + "/" + archive) != ACE_OK) state.SkipWithError("open failed");
        MemorySink sink(buffer);
        while (a.ReadHeader() == ACE_OK)
            if (a.DecodeTo(sink) != ACE_OK) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(content.total));
}

void ZlibToMemory(benchmark::State& state, const char* archive) {
    const Content& content = ContentOf(archive);
    std::vector<uint8_t> buffer(content.total);
    for (auto _ : state) {
        size_t at = 0;
        for (size_t i = 0; i < content.gzipped.size(); ++i) {
            z_stream z{};
            inflateInit2(&z, 15 + 16);
            z.next_in = const_cast<Bytef*>(content.gzipped[i].data());
            z.avail_in = uInt(content.gzipped[i].size());
            z.next_out = buffer.data() + at;
            z.avail_out = uInt(content.plain[i].size());
            if (inflate(&z, Z_FINISH) != Z_STREAM_END && !content.plain[i].empty())
                state.SkipWithError("inflate failed");
            at += z.total_out;
            inflateEnd(&z);
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(content.total));
}

// Before each iteration the destination is emptied (outside the timing)
// when `fresh`, as for an installation into a new folder; otherwise every
// file replaces the one the previous iteration wrote.
void PrepareDestination(benchmark::State& state, const std::string& dest, bool fresh) {
    if (!fresh) return;
    state.PauseTiming();
    fs::remove_all(dest);
    fs::create_directories(dest);
    state.ResumeTiming();
}

// The whole archive extracted to files with the library's entry points.
void AceToFiles(benchmark::State& state, const char* archive, bool fresh) {
    const Content& content = ContentOf(archive);
    const std::string dest = TempDir() + "/ace/";
    const std::string path = kCorpus + "/" + archive;
    for (auto _ : state) {
        PrepareDestination(state, dest, fresh);
        ArchiveOpenRecord open{};
        open.ArcName = path.c_str();
        open.OpenMode = ACE_OPEN_EXTRACT;
        ACEHandle h = ACEOpenArchive(&open);
        ArchiveHeaderRecord header;
        while (h && ACEReadHeader(h, &header) == ACE_OK)
            if (ACEProcessFile(h, ACE_OP_EXTRACT, dest.c_str()) != ACE_OK) state.SkipWithError("extract");
        ACECloseArchive(h);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(content.total));
    fs::remove_all(dest);
}

// Each entry inflated and written to its own file, as gzip -dc > file would.
void ZlibToFiles(benchmark::State& state, const char* archive, bool fresh) {
    const Content& content = ContentOf(archive);
    const std::string dest = TempDir() + "/zlib/";
    fs::create_directories(dest);
    std::vector<uint8_t> buffer(64 * 1024);
    for (auto _ : state) {
        PrepareDestination(state, dest, fresh);
        for (size_t i = 0; i < content.gzipped.size(); ++i) {
            FILE* f = std::fopen((dest + content.names[i]).c_str(), "wb");
            z_stream z{};
            inflateInit2(&z, 15 + 16);
            z.next_in = const_cast<Bytef*>(content.gzipped[i].data());
            z.avail_in = uInt(content.gzipped[i].size());
            int r;
            do {
                z.next_out = buffer.data();
                z.avail_out = uInt(buffer.size());
                r = inflate(&z, Z_NO_FLUSH);
                std::fwrite(buffer.data(), 1, buffer.size() - z.avail_out, f);
            } while (r == Z_OK);
            inflateEnd(&z);
            std::fclose(f);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(content.total));
    fs::remove_all(dest);
}

void Register() {
    for (const char* archive : kArchives) {
        const std::string name = fs::path(archive).stem().string();
        benchmark::RegisterBenchmark(("Memory/ace/" + name).c_str(), AceToMemory, archive);
        benchmark::RegisterBenchmark(("Memory/zlib/" + name).c_str(), ZlibToMemory, archive);
        benchmark::RegisterBenchmark(("Files/ace/" + name).c_str(), AceToFiles, archive, true);
        benchmark::RegisterBenchmark(("Files/zlib/" + name).c_str(), ZlibToFiles, archive, true);
        benchmark::RegisterBenchmark(("Replace/ace/" + name).c_str(), AceToFiles, archive, false);
        benchmark::RegisterBenchmark(("Replace/zlib/" + name).c_str(), ZlibToFiles, archive, false);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Register();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
