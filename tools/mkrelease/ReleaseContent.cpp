#include "ReleaseContent.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <system_error>

#include "unace/writer/AceWriter.h"

namespace mkrelease {

namespace fs = std::filesystem;

namespace {

std::string Lowered(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool IsPrintableAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

struct Walker {
    ContentScan& Scan;
    // Lower-cased archive name -> the first name seen with it.
    std::map<std::string, std::string> Seen;

    void Problem(const fs::path& where, const std::string& why) {
        Scan.Problems.push_back(where.string() + ": " + why);
    }

    // Adds `path` under archive name `name`; returns false if it was refused.
    bool Check(const fs::path& path, const std::string& name) {
        if (!IsPrintableAscii(name)) {
            Problem(path, "the name has characters outside printable ASCII, which the archive cannot mark");
            return false;
        }
        if (path.filename().string().find('\\') != std::string::npos) {
            Problem(path, "the name contains a backslash, the archive's folder separator");
            return false;
        }
        if (const std::string why = unace::CheckEntryName(name); !why.empty()) {
            Problem(path, why);
            return false;
        }
        if (name.size() > kMaxEntryName) {
            Problem(path, "the path inside the release is longer than " + std::to_string(kMaxEntryName) + " bytes");
            return false;
        }
        const auto [it, inserted] = Seen.emplace(Lowered(name), name);
        if (!inserted) {
            Problem(path, "differs from \"" + it->second + "\" only in letter case; both would be the same file");
            return false;
        }
        return true;
    }

    void Walk(const fs::path& folder, const std::string& prefix) {
        std::error_code ec;
        std::vector<fs::directory_entry> children;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) children.push_back(*it);
        if (ec) {
            Problem(folder, "cannot list the folder: " + ec.message());
            return;
        }
        std::sort(children.begin(), children.end(),
                  [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
        for (const fs::directory_entry& child : children) {
            const fs::path& path = child.path();
            const std::string name = prefix + path.filename().string();
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0) {
                Problem(path, "cannot read its attributes");
                continue;
            }
            if (S_ISLNK(st.st_mode)) {
                Problem(path, "symbolic links cannot be stored; copy the target into the folder instead");
                continue;
            }
            if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) {
                Problem(path, "only regular files and folders can be stored");
                continue;
            }
            if (!Check(path, name)) continue;
            ContentEntry e;
            e.Source = path;
            e.Name = name;
            e.IsDirectory = S_ISDIR(st.st_mode);
            e.Size = e.IsDirectory ? 0 : static_cast<uint64_t>(st.st_size);
            e.ModifiedUnix = st.st_mtim.tv_sec;
            e.ReadOnly = (st.st_mode & S_IWUSR) == 0;
            if (e.Size > 0xFFFFFFFFull) {
                Problem(path, "files of 4 GiB or more cannot be stored in an ACE 1.0 archive");
                continue;
            }
            Scan.TotalBytes += e.Size;
            Scan.Entries.push_back(e);
            if (e.IsDirectory) Walk(path, name + "\\");
        }
    }
};

}  // namespace

ContentScan ScanContent(const fs::path& folder) {
    ContentScan scan;
    Walker walker{scan, {}};
    walker.Walk(folder, "");
    return scan;
}

std::string CheckReleaseFileName(const std::string& name) {
    if (!IsPrintableAscii(name)) return "it has characters outside printable ASCII";
    if (name.find('\\') != std::string::npos) return "it must be a plain name, without folders";
    return unace::CheckEntryName(name);
}

}  // namespace mkrelease
