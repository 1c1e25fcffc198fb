// Making a release folder: the archive volumes of a content folder, the
// installer's install.ini, and copies of the NFO file, the registry files
// and the emblem mesh beside them.
//
// install.ini, section [FLAGS], as the installer reads it: SOURCE is the
// first volume's name (the installer puts its own folder in front), NUMFILES
// the number of volumes, TITLE and PUBLISHER the title line, DEFAULTDIR the
// folder name offered for a new destination, NFOFILE the information text,
// REGFILE1/REGFILE2 registry files copied into the destination after
// extraction. Values are single lines of printable ASCII; a value with blanks
// or quotes at its ends is wrapped in double quotes, which the reader strips.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "unace/writer/AceWriter.h"

namespace mkrelease {

struct InstallIni {
    std::string Source;
    unsigned NumFiles = 1;
    std::string Title;
    std::string Publisher;
    std::string DefaultDir;
    std::string NfoFile;
    std::string RegFile1;
    std::string RegFile2;
};

// The file's text (CRLF line ends), or an empty string and `error` set when
// a value cannot be written so that the installer reads it back unchanged.
std::string FormatInstallIni(const InstallIni& ini, std::string& error);

struct ReleaseOptions {
    std::filesystem::path ContentFolder;
    std::filesystem::path ReleaseFolder;
    std::string ArchiveName = "setup.ace";
    std::string Title;
    std::string Publisher;
    std::string DefaultDir;
    std::filesystem::path NfoFile;                 // empty: none
    std::vector<std::filesystem::path> RegFiles;   // at most two
    std::filesystem::path Emblem;                  // empty: none; missing file: warning
    unace::AceWriterOptions Archive;
    std::optional<int64_t> FixedTime;              // stamp every entry and volume with this time
};

struct ReleaseResult {
    bool Ok = false;
    std::vector<std::string> Errors;
    std::vector<std::string> Warnings;
    std::vector<std::string> Volumes;
    uint64_t ContentBytes = 0;
    uint64_t ArchiveBytes = 0;
};

// `progress` gets (content bytes packed, content bytes in all).
ReleaseResult MakeRelease(const ReleaseOptions& options,
                          const std::function<void(uint64_t, uint64_t)>& progress = {});

}  // namespace mkrelease
