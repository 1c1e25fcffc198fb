// Building small ACE archives in tests: stored entries with any name, flags
// or checksum, so that the reader's safety rules can be tried on bytes the
// archivers would never write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "unace/AceFormat.h"

namespace acetest {

struct TestEntry {
    std::string name;
    std::string data;                 // stored contents (or raw packed bytes)
    uint16_t flags = unace::kFlagAddSize;
    uint32_t attr = unace::kAttrArchive;
    uint8_t method = 0;               // TECH_TYPE
    uint16_t techParm = 10;
    bool explicitCrc = false;
    uint32_t crc = 0;                 // used when explicitCrc
    uint64_t origSize = UINT64_MAX;   // default: data.size()
    uint32_t dosTime = 0x41046DDA;    // FTIME: DOS date and time, local
};

// A main header followed by the entries' headers and data.
std::vector<uint8_t> BuildArchive(const std::vector<TestEntry>& entries, uint16_t mainFlags = 0);

// One block: CRC, size, then `body` (type, flags, fields).
std::vector<uint8_t> Block(const std::vector<uint8_t>& body);

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFile(const std::string& path);
std::string ReadText(const std::string& path);

// A fresh empty folder below the test temporary folder.
std::string MakeTempDir(const std::string& tag);
// Every path below `dir` (files, folders, links), relative, sorted.
std::vector<std::string> ListTree(const std::string& dir);

}  // namespace acetest
