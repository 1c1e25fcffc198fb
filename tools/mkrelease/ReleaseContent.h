// The content of a release: the files and folders below a content folder,
// in archive order, with the names they get inside the archive.
//
// Archive names are relative, use '\' separators and must be something the
// installer can recreate on a Windows-style file system: printable ASCII
// (the archive has no code-page marker), no characters or device names such
// a file system refuses, at most 259 bytes (the installer's entry-name
// record holds 260 with the terminator), and no two names that differ only
// in letter case (they would land on the same file).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mkrelease {

inline constexpr size_t kMaxEntryName = 259;

struct ContentEntry {
    std::filesystem::path Source;   // file or folder on disk
    std::string Name;               // archive name, '\' separators
    bool IsDirectory = false;
    uint64_t Size = 0;
    int64_t ModifiedUnix = 0;       // last modification, seconds since 1970
    bool ReadOnly = false;
};

struct ContentScan {
    std::vector<ContentEntry> Entries;   // folders before their contents, names sorted
    std::vector<std::string> Problems;   // one sentence per entry that cannot be stored
    uint64_t TotalBytes = 0;
};

// Walks `folder` (which must exist). Problems do not stop the walk, so that
// all of them can be reported at once.
ContentScan ScanContent(const std::filesystem::path& folder);

// Why `name` (one path component, e.g. a file name for install.ini) cannot
// be used in a release, or an empty string.
std::string CheckReleaseFileName(const std::string& name);

}  // namespace mkrelease
