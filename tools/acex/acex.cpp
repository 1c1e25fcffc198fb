// acex: list, test or extract an ACE archive from the command line.
//
//   acex l ARCHIVE            list the entries
//   acex t ARCHIVE            decode every entry and check its CRC
//   acex x ARCHIVE [DESTDIR]  extract below DESTDIR (default: the current folder)
//
// Errors go to standard error with the library's message; the exit code is
// 0 only when every entry succeeded. On a terminal a progress bar shows the
// current entry; otherwise the tool is quiet.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

#include "unace/UnACE.h"

namespace {

struct Progress {
    bool enabled = false;
    const char* name = "";
    uint64_t size = 0;
    uint64_t done = 0;
    int lastPercent = -1;

    void Start(const char* entryName, uint64_t entrySize) {
        name = entryName;
        size = entrySize;
        done = 0;
        lastPercent = -1;
        Draw();
    }
    void Draw() {
        if (!enabled) return;
        const int percent = size ? int(done * 100 / size) : 100;
        if (percent == lastPercent) return;
        lastPercent = percent;
        char bar[31];
        const int filled = percent * 30 / 100;
        for (int i = 0; i < 30; ++i) bar[i] = i < filled ? '#' : '.';
        bar[30] = '\0';
        std::fprintf(stderr, "\r[%s] %3d%% %-40.40s", bar, percent, name);
        std::fflush(stderr);
    }
    void Clear() {
        if (enabled && lastPercent >= 0) std::fprintf(stderr, "\r%80s\r", "");
        lastPercent = -1;
    }
};

Progress g_progress;

int32_t OnProgress(const void*, int32_t count, void*) {
    g_progress.done += uint64_t(count);
    g_progress.Draw();
    return 1;
}

int32_t OnVolume(const char* path, int32_t code, void*) {
    if (code == ACE_VOLUME_NOT_FOUND) {
        g_progress.Clear();
        std::fprintf(stderr, "acex: volume %s not found\n", path);
        return 0;
    }
    return 1;
}

const char* MethodName(const ArchiveHeaderRecord& h) {
    if (h.IsDirectory) return "dir";
    switch (h.Method) {
        case 0: return "stored";
        case 1: return "ace1";
        case 2: return "ace2";
        default: return "?";
    }
}

int Usage() {
    std::fprintf(stderr,
                 "usage: acex l ARCHIVE            list entries\n"
                 "       acex t ARCHIVE            test entries\n"
                 "       acex x ARCHIVE [DESTDIR]  extract entries\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || std::strlen(argv[1]) != 1 || !std::strchr("ltx", argv[1][0])) return Usage();
    const char command = argv[1][0];
    if ((command != 'x' && argc != 3) || argc > 4) return Usage();
    const char* archivePath = argv[2];
    std::string destination = command == 'x' && argc == 4 ? argv[3] : ".";
    g_progress.enabled = command != 'l' && isatty(STDERR_FILENO);

    ArchiveOpenRecord open{};
    open.ArcName = archivePath;
    open.OpenMode = ACE_OPEN_EXTRACT;
    open.Reserved79 = 4;
    open.VolumeCallback = &OnVolume;
    open.ProgressCallback = &OnProgress;
    ACEHandle handle = ACEOpenArchive(&open);
    if (!handle) {
        std::fprintf(stderr, "acex: cannot open %s (code %d)\n", archivePath, open.OpenResult);
        return 1;
    }

    int failures = 0;
    uint64_t files = 0, totalSize = 0, totalPacked = 0;
    if (command == 'l')
        std::printf("%12s %12s  %-16s %-6s  %s\n", "size", "packed", "date", "method", "name");

    ArchiveHeaderRecord header;
    int32_t result;
    while ((result = ACEReadHeader(handle, &header)) == ACE_OK) {
        ++files;
        totalSize += header.OrigSize;
        totalPacked += header.PackSize;
        if (command == 'l') {
            const uint32_t t = header.FileTime;
            std::printf("%12" PRIu64 " %12" PRIu64 "  %04u-%02u-%02u %02u:%02u %-6s  %s%s\n",
                        header.OrigSize, header.PackSize, 1980 + (t >> 25), (t >> 21) & 15,
                        (t >> 16) & 31, (t >> 11) & 31, (t >> 5) & 63, MethodName(header),
                        header.EntryName, header.IsEncrypted ? "  (encrypted)" : "");
            continue;
        }
        g_progress.Start(header.EntryName, header.OrigSize);
        const int32_t r = ACEProcessFile(handle, command == 't' ? ACE_OP_TEST : ACE_OP_EXTRACT,
                                         destination.c_str());
        g_progress.Clear();
        if (r != ACE_OK) {
            ++failures;
            std::fprintf(stderr, "acex: %s: %s (code %d)\n", header.EntryName,
                         ACEGetLastErrorText(handle), r);
        } else if (command == 't' && !g_progress.enabled && isatty(STDOUT_FILENO)) {
            std::printf("OK  %s\n", header.EntryName);
        }
    }
    if (result != ACE_END_OF_ARCHIVE) {
        ++failures;
        std::fprintf(stderr, "acex: %s: %s (code %d)\n", archivePath, ACEGetLastErrorText(handle),
                     result);
    }
    if (command == 'l')
        std::printf("%12" PRIu64 " %12" PRIu64 "  %" PRIu64 " entries\n", totalSize, totalPacked, files);
    else if (command == 't' && failures == 0)
        std::printf("%" PRIu64 " entries OK\n", files);
    ACECloseArchive(handle);
    return failures == 0 ? 0 : 1;
}
