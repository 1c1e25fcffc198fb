// Writing extracted entries below a destination folder, safely.
//
// Every path is walked component by component from an open descriptor of
// the destination (openat with O_NOFOLLOW), so a link or a file planted in
// the destination cannot redirect a write elsewhere. A file's contents go
// to a fresh temporary name in its final folder; only a complete, verified
// file is renamed over its final name, so a failed entry leaves nothing
// under that name and an older file survives until the new one is ready.
// (POSIX; a Windows build needs its own version of this file.)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <sys/types.h>

#include "unace/Decoder.h"

namespace unace {

class DestinationFolder {
public:
    DestinationFolder() = default;
    DestinationFolder(const DestinationFolder&) = delete;
    DestinationFolder& operator=(const DestinationFolder&) = delete;
    ~DestinationFolder();

    // Opens (creating if missing) the folder `path`. Returns an ACE result code.
    int Open(const std::string& path, std::string& why);
    const std::string& Path() const { return path_; }

    // Makes the first `count` components as folders below the destination and
    // returns a descriptor of the innermost one in `dirFd`. The descriptor
    // stays the destination's: it is valid until the next call or Open. A
    // component that exists as a link or a non-folder is refused.
    int MakeFolders(const std::vector<std::string>& components, size_t count, int& dirFd,
                    std::string& why);

private:
    void ForgetFolder();

    int fd_ = -1;
    std::string path_;
    // The innermost folder of the last call, kept open: consecutive entries
    // mostly share their folder, and walking the path again costs three
    // system calls per component.
    std::vector<std::string> lastFolders_;
    int lastFolderFd_ = -1;
};

// An entry's file while it is being written.
class PendingFile final : public OutputSink {
public:
    PendingFile() = default;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile() override { Discard(); }

    // Creates a temporary file in folder `dirFd` for `name`. The folder's
    // descriptor must stay open until Commit or Discard.
    int Create(int dirFd, const std::string& name, std::string& why);
    bool Write(const uint8_t* data, size_t size) override;
    // ACE result code of the first write failure (ACE_OK if none).
    int Error() const { return error_; }
    // Sets the time stamp, closes and renames to the final name.
    int Commit(uint32_t dosTime, std::string& why);
    // Removes the temporary file (no effect after Commit).
    void Discard();

private:
    int dirFd_ = -1;
    int fd_ = -1;
    std::string name_;
    std::string tempName_;
    int error_ = 0;
};

// Test seam: the function that writes file data (default ::write), so tests
// can simulate a full disk.
using WriteFunction = ssize_t (*)(int fd, const void* data, size_t size);
void SetWriteFunctionForTesting(WriteFunction function);

}  // namespace unace
