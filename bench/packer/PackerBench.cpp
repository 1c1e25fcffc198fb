// Compression ratio and speed of the ACE 1.0 LZ77 encoder beside zlib's
// deflate at level 6 (what `gzip -6` runs), on the same files.
//
// Content: the folder named by PACKER_BENCH_CONTENT (environment), else the
// demo release's generated content. Files are grouped by kind (text,
// binary, noise, all); the encoder packs a group as one solid stream, as
// mkrelease does, while deflate packs every file as its own gzip stream (as
// gzip does; tar + gzip would differ by a few header bytes).
//
// Counters: bytes_per_second over the input, "ratio" = packed / input.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "unace/writer/Lz77Encoder.h"

namespace fs = std::filesystem;

namespace {

enum Group { kText, kBinary, kNoise, kAll, kGroups };
const char* const kGroupNames[kGroups] = {"text", "binary", "noise", "all"};

// Sorted by kind from the extension: what the demo content and typical
// releases hold.
Group KindOf(const fs::path& p) {
    const std::string ext = p.extension().string();
    if (ext == ".txt" || ext == ".cfg" || ext == ".nfo" || ext == ".ini" || ext == ".h" || ext == ".c") return kText;
    if (ext == ".snd" || ext == ".mus" || ext == ".ogg" || ext == ".jpg" || ext == ".zip") return kNoise;
    return kBinary;
}

struct Content {
    std::vector<std::vector<uint8_t>> Files[kGroups];
    uint64_t Bytes[kGroups] = {};
};

const Content& TheContent() {
    static const Content content = [] {
        Content c;
        const char* env = std::getenv("PACKER_BENCH_CONTENT");
        const fs::path root = env != nullptr ? fs::path(env) : fs::path(PACKER_DEFAULT_CONTENT);
        std::vector<fs::path> paths;
        std::error_code ec;
        for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
            if (it->is_regular_file()) paths.push_back(it->path());
        std::sort(paths.begin(), paths.end());
        for (const fs::path& p : paths) {
            std::ifstream in(p, std::ios::binary);
            std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), {});
            const Group g = KindOf(p);
            c.Bytes[g] += data.size();
            c.Bytes[kAll] += data.size();
            c.Files[kAll].push_back(data);
            c.Files[g].push_back(std::move(data));
        }
        return c;
    }();
    return content;
}

void BM_AceLz77(benchmark::State& state) {
    const auto group = static_cast<Group>(state.range(0));
    const auto level = static_cast<unsigned>(state.range(1));
    const Content& c = TheContent();
    if (c.Bytes[group] == 0) {
        state.SkipWithError("no content of this kind (set PACKER_BENCH_CONTENT)");
        return;
    }
    uint64_t packed = 0;
    for (auto _ : state) {
        unace::Lz77Encoder encoder(unace::Lz77Params::ForLevel(level, 10));
        packed = 0;
        const unace::Lz77Encoder::Sink sink = [&](std::span<const uint8_t> p) { packed += p.size(); };
        for (const auto& file : c.Files[group]) {
            if (file.empty()) continue;
            encoder.BeginEntry(true);
            encoder.Write(file, sink);
            encoder.EndEntry(sink);
        }
        benchmark::DoNotOptimize(packed);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.Bytes[group]));
    state.counters["ratio"] = double(packed) / double(c.Bytes[group]);
    state.SetLabel(std::string(kGroupNames[group]) + ", level " + std::to_string(level) + ", 1 MiB dictionary");
}

void BM_Deflate6(benchmark::State& state) {
    const auto group = static_cast<Group>(state.range(0));
    const Content& c = TheContent();
    if (c.Bytes[group] == 0) {
        state.SkipWithError("no content of this kind (set PACKER_BENCH_CONTENT)");
        return;
    }
    uint64_t packed = 0;
    std::vector<uint8_t> out;
    for (auto _ : state) {
        packed = 0;
        for (const auto& file : c.Files[group]) {
            z_stream z{};
            deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);   // gzip -6
            out.resize(deflateBound(&z, uLong(file.size())) + 64);
            z.next_in = const_cast<Bytef*>(file.data());
            z.avail_in = uInt(file.size());
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            deflate(&z, Z_FINISH);
            packed += z.total_out;
            deflateEnd(&z);
        }
        benchmark::DoNotOptimize(packed);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(c.Bytes[group]));
    state.counters["ratio"] = double(packed) / double(c.Bytes[group]);
    state.SetLabel(kGroupNames[group]);
}

void LevelsAndGroups(benchmark::internal::Benchmark* b) {
    for (int g = 0; g < kGroups; ++g)
        for (int level : {1, 3, 5}) b->Args({g, level});
}

BENCHMARK(BM_AceLz77)->Apply(LevelsAndGroups)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_Deflate6)->DenseRange(0, kGroups - 1)->Unit(benchmark::kMillisecond)->MinTime(0.5);

}  // namespace

BENCHMARK_MAIN();
