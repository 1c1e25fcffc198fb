// Reading an ACE archive: volumes, blocks and headers, entries and their
// data, and extraction through the Decoder.
//
// The C interface (UnACE.h) is a thin layer over this class; tools, tests
// and benchmarks may use it directly. Results are the ACE_* codes of
// UnACE.h; LastError() adds a sentence for people.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "unace/AceFormat.h"
#include "unace/Decoder.h"
#include "unace/OutputFiles.h"

namespace unace {

// One volume file, read with positioned reads.
class VolumeFile {
public:
    VolumeFile() = default;
    VolumeFile(const VolumeFile&) = delete;
    VolumeFile& operator=(const VolumeFile&) = delete;
    ~VolumeFile() { Close(); }

    // ACE_OK, ACE_ERR_NOT_FOUND or ACE_ERR_OPEN.
    int Open(const std::string& path);
    // A volume held in memory (tests, fuzzing); the bytes must outlive it.
    void OpenMemory(const uint8_t* data, size_t size, const std::string& name);
    void Close();
    bool IsOpen() const { return fd_ >= 0 || memory_; }
    bool ReadAt(uint64_t offset, void* buffer, size_t size) const;
    uint64_t Size() const { return size_; }
    const std::string& Path() const { return path_; }
    void Swap(VolumeFile& other) {
        std::swap(fd_, other.fd_);
        std::swap(size_, other.size_);
        std::swap(path_, other.path_);
        std::swap(memory_, other.memory_);
        std::swap(cache_, other.cache_);
        std::swap(cacheOffset_, other.cacheOffset_);
        std::swap(cacheSize_, other.cacheSize_);
    }

private:
    // Small reads (headers, the tails of data areas) come from a read-ahead
    // buffer, so an archive of many small entries needs few system calls.
    static constexpr size_t kCacheSize = 64 * 1024;
    bool ReadDirect(uint64_t offset, uint8_t* buffer, size_t size) const;

    mutable std::vector<uint8_t> cache_;
    mutable uint64_t cacheOffset_ = 0;
    mutable size_t cacheSize_ = 0;
    const uint8_t* memory_ = nullptr;
    int fd_ = -1;
    uint64_t size_ = 0;
    std::string path_;
};

// The current entry as its headers describe it.
struct Entry {
    FileHeader Header;            // first part's header
    std::string VolumePath;       // volume holding the first part
    uint64_t PackSizeTotal = 0;   // over the parts seen so far
    bool NameIsSafe = false;
    std::vector<std::string> Components;   // the checked name's components
    std::string NameProblem;      // why the name is refused
};

class Archive {
public:
    // Volume callback: (volume path, ACE_VOLUME_NOT_FOUND or
    // ACE_VOLUME_CHANGED) -> false to stop.
    using VolumeHandler = std::function<bool(const std::string& path, int code)>;
    // Progress: bytes of the current entry done since the last report ->
    // false to abort the entry.
    using ProgressHandler = std::function<bool(uint64_t count)>;

    Archive();
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    void SetVolumeHandler(VolumeHandler handler) { volumeHandler_ = std::move(handler); }
    void SetProgressHandler(ProgressHandler handler) { progressHandler_ = std::move(handler); }

    // Opens the first volume and reads its main header. Returns ACE_OK or
    // an open result code (3, 5, 6, 9, 128).
    int Open(const std::string& path);
    // Opens a single-volume archive held in memory (`data` must outlive it).
    int OpenMemory(const uint8_t* data, size_t size);
    const MainHeader& Main() const { return main_; }
    bool IsSolid() const { return (main_.Flags & kMainFlagSolid) != 0; }

    // Moves to the next entry (skipping the current one if it was not
    // processed). ACE_OK, ACE_END_OF_ARCHIVE or a header error (5, 6, 9).
    int ReadHeader();
    const Entry& Current() const { return entry_; }
    bool HasCurrent() const { return hasCurrent_; }

    // Processes the current entry: ACE_OP_EXTRACT below `destination`,
    // ACE_OP_TEST (decode and check, write nothing) or ACE_OP_SKIP.
    int Process(int operation, const std::string& destination);

    // Decodes the current entry into `sink` (no files, no progress).
    int DecodeTo(OutputSink& sink);

    const std::string& LastError() const { return lastError_; }

private:
    class DataReader;
    friend class DataReader;

    struct Block {
        uint64_t Offset = 0;
        uint8_t Type = 0;
        uint16_t Flags = 0;
        uint64_t AddSize = 0;
        std::vector<uint8_t> Bytes;   // the whole header, 4 + HEAD_SIZE bytes
    };

    int Fail(int code, std::string message);
    int ReadBlock(const VolumeFile& volume, uint64_t offset, Block& block);
    int FindMainHeader(const VolumeFile& volume, MainHeader& main, uint64_t& next);
    int OpenNextVolume();
    int SkipRest();
    int Decode(OutputSink& sink);
    int ExtractCurrent(const std::string& destination);

    VolumeHandler volumeHandler_;
    ProgressHandler progressHandler_;

    std::string firstPath_;
    bool inMemory_ = false;        // no further volumes can be looked up
    MainHeader main_;
    VolumeFile volume_;
    unsigned volumeNumber_ = 0;
    uint64_t nextBlock_ = 0;       // offset of the next block in volume_

    Entry entry_;
    bool hasCurrent_ = false;
    bool processed_ = false;
    // Where the current entry's data stands.
    uint64_t segmentOffset_ = 0;   // next data byte in volume_
    uint64_t segmentLeft_ = 0;     // data bytes of this part still unread
    bool continues_ = false;       // the current part has CONT_NEXT
    uint32_t finalCrc_ = 0;        // CRC32 of the last part read so far
    int readerError_ = 0;          // first failure while reading data
    int fatal_ = 0;                // a volume is missing or wrong: nothing more can be read

    bool historyBroken_ = false;   // solid archive: an earlier entry was not decoded
    std::unique_ptr<Decoder> decoder_;
    DestinationFolder destination_;
    bool destinationFailed_ = false;
    std::string lastError_;
};

}  // namespace unace
