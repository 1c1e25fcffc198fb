// mkrelease: makes an installer release folder from a folder of files.
//
//   mkrelease [options] CONTENT_FOLDER RELEASE_FOLDER
//
// Writes the archive volumes (NAME.ace, NAME.c00, ...), install.ini, and
// copies of the NFO file, the registry files and the emblem mesh.
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "Release.h"

namespace {

constexpr const char* kUsage = R"(usage: mkrelease [options] CONTENT_FOLDER RELEASE_FOLDER

Packs CONTENT_FOLDER into an ACE archive in RELEASE_FOLDER and writes the
installer's install.ini beside it.

  --archive NAME       first volume's file name (default setup.ace)
  --title TEXT         title shown by the installer
  --publisher TEXT     publisher shown by the installer
  --default-dir NAME   folder name offered for a new destination
  --nfo FILE           information text file, copied into the release
  --reg FILE           registry file copied into the destination after
                       installing (up to two)
  --emblem FILE        emblem mesh, copied as install.dat (a missing file
                       only gives a warning)
  --volume-size SIZE   split the archive into volumes of SIZE bytes
                       (suffixes K, M, G; 0 = one volume, the default)
  --method NAME        lz77 (default) or stored
  --dictionary SIZE    LZ77 dictionary, a power of two from 1K to 4M
                       (default 1M)
  --level N            1 (fastest) .. 5 (smallest), default 3
  --solid, --no-solid  one compression stream for all files (default) or not
  --date TIME          stamp entries and volumes with TIME: seconds since
                       1970 or YYYY-MM-DD[THH:MM[:SS]] (local time); also
                       taken from SOURCE_DATE_EPOCH
  --quiet              no progress bar
)";

[[noreturn]] void UsageError(const std::string& message) {
    std::fprintf(stderr, "mkrelease: %s\n(mkrelease --help lists the options)\n", message.c_str());
    std::exit(2);
}

std::optional<uint64_t> ParseSize(std::string_view text) {
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    size_t i = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value > (UINT64_MAX - 9) / 10) return std::nullopt;
        value = value * 10 + uint64_t(text[i] - '0');
    }
    if (i == 0) return std::nullopt;
    const std::string_view suffix = text.substr(i);
    unsigned shift = 0;
    if (suffix == "K" || suffix == "k" || suffix == "KiB") shift = 10;
    else if (suffix == "M" || suffix == "m" || suffix == "MiB") shift = 20;
    else if (suffix == "G" || suffix == "g" || suffix == "GiB") shift = 30;
    else if (!suffix.empty()) return std::nullopt;
    if (value > (UINT64_MAX >> shift)) return std::nullopt;
    return value << shift;
}

std::optional<int64_t> ParseTime(const std::string& text) {
    char* end = nullptr;
    const long long seconds = std::strtoll(text.c_str(), &end, 10);
    if (!text.empty() && *end == '\0') return seconds;
    std::tm tm{};
    int sec = 0;
    const int fields = std::sscanf(text.c_str(), "%d-%d-%d%*1[T ]%d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                                   &tm.tm_hour, &tm.tm_min, &sec);
    if (fields != 3 && fields < 5) return std::nullopt;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_sec = fields == 6 ? sec : 0;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) return std::nullopt;
    return static_cast<int64_t>(t);
}

std::string HumanSize(uint64_t bytes) {
    char text[32];
    if (bytes < 10 * 1024) std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
    else if (bytes < 10ull << 20) std::snprintf(text, sizeof text, "%.1f KiB", double(bytes) / 1024);
    else std::snprintf(text, sizeof text, "%.1f MiB", double(bytes) / (1 << 20));
    return text;
}

// A one-line progress bar on the terminal, redrawn at most ten times a second.
class ProgressBar {
public:
    explicit ProgressBar(bool enabled) : Enabled(enabled) {}
    void Update(uint64_t done, uint64_t total) {
        if (!Enabled) return;
        const auto now = std::chrono::steady_clock::now();
        if (done < total && now - Last < std::chrono::milliseconds(100)) return;
        Last = now;
        const double part = total == 0 ? 1.0 : double(done) / double(total);
        constexpr int kWidth = 40;
        const int filled = static_cast<int>(std::lround(part * kWidth));
        std::fprintf(stderr, "\r[%s%s] %3d%%  %s / %s ", std::string(size_t(filled), '#').c_str(),
                     std::string(size_t(kWidth - filled), '.').c_str(), static_cast<int>(part * 100),
                     HumanSize(done).c_str(), HumanSize(total).c_str());
        std::fflush(stderr);
        Drawn = true;
    }
    void Finish() {
        if (Drawn) std::fputc('\n', stderr);
        Drawn = false;
    }

private:
    bool Enabled;
    bool Drawn = false;
    std::chrono::steady_clock::time_point Last{};
};

}  // namespace

int main(int argc, char** argv) {
    mkrelease::ReleaseOptions options;
    options.Archive.Compression = unace::Method::Lz77;
    options.Archive.DictionaryD = 10;
    options.Archive.Level = 3;
    bool quiet = false;
    std::vector<std::string> positional;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) UsageError(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--archive") {
            options.ArchiveName = value();
        } else if (arg == "--title") {
            options.Title = value();
        } else if (arg == "--publisher") {
            options.Publisher = value();
        } else if (arg == "--default-dir") {
            options.DefaultDir = value();
        } else if (arg == "--nfo") {
            options.NfoFile = value();
        } else if (arg == "--reg") {
            options.RegFiles.emplace_back(value());
            if (options.RegFiles.size() > 2) UsageError("at most two --reg files");
        } else if (arg == "--emblem") {
            options.Emblem = value();
        } else if (arg == "--volume-size") {
            const std::string v = value();
            const auto size = ParseSize(v);
            if (!size) UsageError("bad volume size \"" + v + "\"");
            options.Archive.VolumeSize = *size;
        } else if (arg == "--method") {
            const std::string v = value();
            if (v == "lz77") options.Archive.Compression = unace::Method::Lz77;
            else if (v == "stored") options.Archive.Compression = unace::Method::Stored;
            else UsageError("unknown method \"" + v + "\" (lz77 or stored)");
        } else if (arg == "--dictionary") {
            const std::string v = value();
            const auto size = ParseSize(v);
            unsigned d = 0;
            while (d <= unace::kMaxDictionaryD && size && (uint64_t(1) << (10 + d)) != *size) ++d;
            if (d > unace::kMaxDictionaryD) UsageError("the dictionary must be a power of two from 1K to 4M");
            options.Archive.DictionaryD = d;
        } else if (arg == "--level") {
            const std::string v = value();
            if (v.size() != 1 || v[0] < '1' || v[0] > '5') UsageError("the level must be 1 to 5");
            options.Archive.Level = unsigned(v[0] - '0');
        } else if (arg == "--solid") {
            options.Archive.Solid = true;
        } else if (arg == "--no-solid") {
            options.Archive.Solid = false;
        } else if (arg == "--date") {
            const std::string v = value();
            options.FixedTime = ParseTime(v);
            if (!options.FixedTime) UsageError("bad date \"" + v + "\"");
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg.starts_with("--")) {
            UsageError("unknown option " + arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) UsageError("give the content folder and the release folder");
    options.ContentFolder = positional[0];
    options.ReleaseFolder = positional[1];
    if (!options.FixedTime) {
        if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch != nullptr && *epoch != '\0') {
            options.FixedTime = ParseTime(epoch);
            if (!options.FixedTime) UsageError("bad SOURCE_DATE_EPOCH");
        }
    }

    ProgressBar bar(!quiet && ::isatty(STDERR_FILENO));
    const auto started = std::chrono::steady_clock::now();
    const mkrelease::ReleaseResult result =
        mkrelease::MakeRelease(options, [&](uint64_t done, uint64_t total) { bar.Update(done, total); });
    bar.Finish();
    for (const std::string& w : result.Warnings) std::fprintf(stderr, "mkrelease: warning: %s\n", w.c_str());
    if (!result.Ok) {
        for (const std::string& e : result.Errors) std::fprintf(stderr, "mkrelease: error: %s\n", e.c_str());
        return 1;
    }
    if (!quiet) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf("%s: %zu volume%s, %s packed into %s (%.1f%%) in %.2f s\n", options.ReleaseFolder.c_str(),
                    result.Volumes.size(), result.Volumes.size() == 1 ? "" : "s",
                    HumanSize(result.ContentBytes).c_str(), HumanSize(result.ArchiveBytes).c_str(),
                    result.ContentBytes ? 100.0 * double(result.ArchiveBytes) / double(result.ContentBytes) : 0.0,
                    seconds);
    }
    return 0;
}
