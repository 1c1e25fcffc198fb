#include "Release.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "ReleaseContent.h"

namespace mkrelease {

namespace fs = std::filesystem;

namespace {

// The installer reads values into a 1024-byte buffer.
inline constexpr size_t kMaxIniValue = 1023;
inline constexpr unsigned kMaxVolumesProbed = 1001;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A value as it must appear after "KEY=" so that the reader (which drops
// blanks around a value and one pair of matching quotes) returns `value`.
bool IniValue(const std::string& key, const std::string& value, std::string& out, std::string& error) {
    for (const char c : value) {
        if (c < 0x20 || c >= 0x7F) {
            error = key + " must be a single line of printable ASCII";
            return false;
        }
    }
    if (value.size() > kMaxIniValue) {
        error = key + " is longer than " + std::to_string(kMaxIniValue) + " characters";
        return false;
    }
    const bool blankEnds = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    out = blankEnds || quoted ? "\"" + value + "\"" : value;
    return true;
}

bool SameOrInside(const fs::path& inner, const fs::path& outer) {
    std::error_code ec;
    const fs::path a = fs::weakly_canonical(inner, ec);
    const fs::path b = fs::weakly_canonical(outer, ec);
    auto ai = a.begin();
    for (auto bi = b.begin(); bi != b.end(); ++bi, ++ai) {
        if (bi->empty()) continue;   // a trailing separator
        if (ai == a.end() || *ai != *bi) return false;
    }
    return true;
}

bool CopyInto(const fs::path& from, const fs::path& folder, ReleaseResult& result) {
    std::error_code ec;
    const fs::path to = folder / from.filename();
    if (fs::exists(to, ec) && fs::equivalent(from, to, ec)) return true;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        result.Errors.push_back("cannot copy " + from.string() + " to " + to.string() + ": " + ec.message());
        return false;
    }
    return true;
}

}  // namespace

std::string FormatInstallIni(const InstallIni& ini, std::string& error) {
    std::string text = "[FLAGS]\r\n";
    const std::pair<const char*, const std::string*> keys[] = {
        {"SOURCE", &ini.Source},     {"TITLE", &ini.Title},     {"PUBLISHER", &ini.Publisher},
        {"DEFAULTDIR", &ini.DefaultDir}, {"NFOFILE", &ini.NfoFile}, {"REGFILE1", &ini.RegFile1},
        {"REGFILE2", &ini.RegFile2},
    };
    for (const auto& [key, value] : keys) {
        const bool optional = std::string(key) == "NFOFILE" || std::string(key).starts_with("REGFILE");
        if (optional && value->empty()) continue;
        std::string written;
        if (!IniValue(key, *value, written, error)) return {};
        text += std::string(key) + "=" + written + "\r\n";
        if (std::string(key) == "SOURCE") text += "NUMFILES=" + std::to_string(ini.NumFiles) + "\r\n";
    }
    return text;
}

ReleaseResult MakeRelease(const ReleaseOptions& options, const std::function<void(uint64_t, uint64_t)>& progress) {
    ReleaseResult result;
    std::error_code ec;
    auto error = [&](std::string message) {
        result.Errors.push_back(std::move(message));
        return result;
    };

    // ---- check the input before writing anything ----
    if (!fs::is_directory(options.ContentFolder, ec))
        return error("content folder " + options.ContentFolder.string() + " does not exist or is not a folder");
    if (SameOrInside(options.ReleaseFolder, options.ContentFolder))
        return error("the release folder must not be the content folder or lie inside it");
    if (const std::string why = CheckReleaseFileName(options.ArchiveName); !why.empty())
        return error("archive name \"" + options.ArchiveName + "\": " + why);
    if (options.RegFiles.size() > 2) return error("at most two registry files can be given");
    std::vector<fs::path> extras;
    if (!options.NfoFile.empty()) extras.push_back(options.NfoFile);
    extras.insert(extras.end(), options.RegFiles.begin(), options.RegFiles.end());
    for (const fs::path& extra : extras) {
        if (!fs::is_regular_file(extra, ec)) return error(extra.string() + " does not exist or is not a file");
        if (const std::string why = CheckReleaseFileName(extra.filename().string()); !why.empty())
            return error(extra.filename().string() + ": " + why);
        if (extra.filename() == "install.ini" || extra.filename() == options.ArchiveName)
            return error(extra.filename().string() + " would overwrite a file the release needs");
    }
    if (!options.DefaultDir.empty())
        if (const std::string why = CheckReleaseFileName(options.DefaultDir); !why.empty())
            return error("default folder \"" + options.DefaultDir + "\": " + why);

    ContentScan scan = ScanContent(options.ContentFolder);
    if (!scan.Problems.empty()) {
        result.Errors = std::move(scan.Problems);
        return result;
    }
    if (scan.Entries.empty()) return error("the content folder is empty: there is nothing to install");
    result.ContentBytes = scan.TotalBytes;

    // install.ini is checked before the archive is written, so that a bad
    // title does not cost a full packing run.
    InstallIni ini;
    ini.Source = options.ArchiveName;
    ini.Title = options.Title;
    ini.Publisher = options.Publisher;
    ini.DefaultDir = options.DefaultDir;
    if (!options.NfoFile.empty()) ini.NfoFile = options.NfoFile.filename().string();
    if (options.RegFiles.size() > 0) ini.RegFile1 = options.RegFiles[0].filename().string();
    if (options.RegFiles.size() > 1) ini.RegFile2 = options.RegFiles[1].filename().string();
    std::string iniError;
    if (FormatInstallIni(ini, iniError).empty()) return error(iniError);

    // ---- the release folder and its archive ----
    fs::create_directories(options.ReleaseFolder, ec);
    if (!fs::is_directory(options.ReleaseFolder, ec))
        return error("cannot create the release folder " + options.ReleaseFolder.string());
    // The volumes are written into a staging folder and moved into place only
    // when the archive is complete, so that a failed run leaves an earlier
    // release in the folder as it was.
    const fs::path staging = options.ReleaseFolder / ".mkrelease-staging";
    fs::remove_all(staging, ec);
    fs::create_directories(staging, ec);
    if (ec) return error("cannot write in the release folder " + options.ReleaseFolder.string() + ": " + ec.message());
    const std::string firstVolume = (options.ReleaseFolder / options.ArchiveName).string();

    unace::AceWriterOptions archive = options.Archive;
    if (options.FixedTime) archive.CreationTime = unace::DosTimeFromUnix(*options.FixedTime);
    archive.Progress = [&](uint64_t done) {
        if (progress) progress(done, scan.TotalBytes);
    };
    unace::AceWriter writer(archive);
    unace::AceWriteResult status = writer.Open((staging / options.ArchiveName).string());
    for (const ContentEntry& e : scan.Entries) {
        if (!status) break;
        const uint32_t time = unace::DosTimeFromUnix(options.FixedTime.value_or(e.ModifiedUnix));
        if (e.IsDirectory) {
            status = writer.AddDirectory(e.Name, time);
            continue;
        }
        std::FILE* file = std::fopen(e.Source.c_str(), "rb");
        if (file == nullptr) {
            result.Errors.push_back("cannot open " + e.Source.string());
            break;
        }
        const uint32_t attributes = unace::kAttrArchive | (e.ReadOnly ? unace::kAttrReadOnly : 0);
        status = writer.AddFile(e.Name, time, attributes, e.Size, [&](uint8_t* buffer, size_t size) -> int64_t {
            const size_t n = std::fread(buffer, 1, size, file);
            return n == 0 && std::ferror(file) ? -1 : static_cast<int64_t>(n);
        });
        std::fclose(file);
    }
    const unace::AceWriteResult closed = result.Errors.empty() ? writer.Close() : writer.Abort(result.Errors.back());
    if (!closed) {
        fs::remove_all(staging, ec);
        if (result.Errors.empty()) result.Errors.push_back(closed.Message);
        return result;
    }
    result.ArchiveBytes = writer.BytesWritten();

    // Volumes of an earlier, longer run would sit beside the new set and
    // confuse anyone copying the folder: remove them, then move the new set in.
    for (unsigned n = 1; n < kMaxVolumesProbed; ++n)
        for (const bool upper : {false, true}) {
            const fs::path stale = unace::AceVolumeName(firstVolume, n, upper);
            if (fs::is_regular_file(stale, ec)) fs::remove(stale, ec);
        }
    for (const std::string& staged : writer.VolumePaths()) {
        const fs::path to = options.ReleaseFolder / fs::path(staged).filename();
        fs::rename(staged, to, ec);
        if (ec) {
            fs::remove_all(staging, ec);
            return error("cannot move " + staged + " to " + to.string() + ": " + ec.message());
        }
        result.Volumes.push_back(to.string());
    }
    fs::remove_all(staging, ec);
    ini.NumFiles = static_cast<unsigned>(result.Volumes.size());

    // ---- install.ini and the files beside the archive ----
    const std::string text = FormatInstallIni(ini, iniError);
    const fs::path iniPath = options.ReleaseFolder / "install.ini";
    const fs::path iniTemp = options.ReleaseFolder / "install.ini.tmp";
    {
        std::ofstream out(iniTemp, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) return error("cannot write " + iniTemp.string());
    }
    fs::rename(iniTemp, iniPath, ec);
    if (ec) return error("cannot write " + iniPath.string() + ": " + ec.message());
    for (const fs::path& extra : extras)
        if (!CopyInto(extra, options.ReleaseFolder, result)) return result;
    if (!options.Emblem.empty()) {
        if (!fs::is_regular_file(options.Emblem, ec)) {
            result.Warnings.push_back("emblem mesh " + options.Emblem.string() +
                                      " not found; the release has no install.dat");
        } else {
            std::error_code copyError;
            const fs::path to = options.ReleaseFolder / "install.dat";
            if (!(fs::exists(to, ec) && fs::equivalent(options.Emblem, to, ec)))
                fs::copy_file(options.Emblem, to, fs::copy_options::overwrite_existing, copyError);
            if (copyError) return error("cannot copy the emblem mesh to " + to.string() + ": " + copyError.message());
        }
    }
    result.Ok = true;
    return result;
}

}  // namespace mkrelease
