#include "unace/AceArchive.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "unace/AceCrc.h"
#include "unace/EntryPath.h"
#include "unace/OutputFiles.h"
#include "unace/UnACE.h"

namespace unace {

namespace {

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint64_t Le64(const uint8_t* p) { return Le32(p) | uint64_t(Le32(p + 4)) << 32; }

// Internal result of Decode when the sink stopped (cancel or write failure).
constexpr int kSinkStopped = -1;

// Parses a main header block. False if it is not a usable main header.
bool ParseMainHeader(const std::vector<uint8_t>& b, MainHeader& main) {
    const size_t end = b.size();   // 4 + HEAD_SIZE
    if (end < kBlockPrefixSize + kMainMinHeadSize) return false;
    if (b[kHeadTypeOffset] != uint8_t(BlockType::Main)) return false;
    const uint16_t flags = Le16(&b[kHeadFlagsOffset]);
    if (flags & kFlagAddSize) return false;
    if (std::memcmp(&b[kMainSignatureOffset], kAceSignature, kAceSignatureSize) != 0) return false;
    main = MainHeader{};
    main.Flags = flags;
    main.VerExtract = b[kMainVerExtractOffset];
    main.VerCreated = b[kMainVerCreatedOffset];
    main.Host = b[kMainHostOffset];
    main.VolumeNum = b[kMainVolumeNumOffset];
    main.TimeCreated = Le32(&b[kMainTimeCreatedOffset]);
    main.Res1 = Le16(&b[kMainRes1Offset]);
    main.Res2 = Le16(&b[kMainRes2Offset]);
    // AV_SIZE is present whenever the header can hold it, whatever the flags
    // say; the comment follows the AV string. A bad comment is ignored.
    if (end > kMainAvSizeOffset) {
        const size_t avSize = b[kMainAvSizeOffset];
        if (kMainAvOffset + avSize <= end) {
            main.Av.assign(reinterpret_cast<const char*>(&b[kMainAvOffset]), avSize);
            const size_t commentAt = kMainAvOffset + avSize;
            if ((flags & kFlagComment) && commentAt + 2 <= end) {
                const size_t commentSize = Le16(&b[commentAt]);
                if (commentAt + 2 + commentSize <= end)
                    main.Comment.assign(b.begin() + long(commentAt + 2),
                                        b.begin() + long(commentAt + 2 + commentSize));
            }
        }
    }
    return true;
}

// Parses a file header block; every inner size is checked against HEAD_SIZE.
bool ParseFileHeader(const std::vector<uint8_t>& b, FileHeader& h, std::string& why) {
    const size_t end = b.size();
    h = FileHeader{};
    h.Type = b[kHeadTypeOffset];
    h.Flags = Le16(&b[kHeadFlagsOffset]);
    const bool wide = h.Type == uint8_t(BlockType::File64);
    if (wide != ((h.Flags & kFlag64Bit) != 0)) {
        why = "file header with a wrong size-field width";
        return false;
    }
    if (!(h.Flags & kFlagAddSize)) {
        why = "file header without a data size";
        return false;
    }
    const size_t shift = wide ? kFile64Shift : 0;
    if (end < kFileNameOffset32 + shift) {
        why = "file header too short";
        return false;
    }
    if (wide) {
        h.PackSize = Le64(&b[kFilePackSizeOffset]);
        h.OrigSize = Le64(&b[kFileOrigSizeOffset64]);
    } else {
        h.PackSize = Le32(&b[kFilePackSizeOffset]);
        h.OrigSize = Le32(&b[kFileOrigSizeOffset32]);
    }
    h.FTime = Le32(&b[kFileFTimeOffset32 + shift]);
    h.Attr = Le32(&b[kFileAttrOffset32 + shift]);
    h.Crc32 = Le32(&b[kFileCrc32Offset32 + shift]);
    h.TechType = b[kFileTechTypeOffset32 + shift];
    h.TechQual = b[kFileTechQualOffset32 + shift];
    h.TechParm = Le16(&b[kFileTechParmOffset32 + shift]);
    const size_t nameSize = Le16(&b[kFileNameSizeOffset32 + shift]);
    size_t at = kFileNameOffset32 + shift;
    if (at + nameSize > end) {
        why = "file name runs past its header";
        return false;
    }
    h.Name.assign(reinterpret_cast<const char*>(&b[at]), nameSize);
    at += nameSize;
    if (h.Flags & kFlagComment) {
        if (at + 2 > end || at + 2 + Le16(&b[at]) > end) {
            why = "file comment runs past its header";
            return false;
        }
        const size_t commentSize = Le16(&b[at]);
        h.Comment.assign(b.begin() + long(at + 2), b.begin() + long(at + 2 + commentSize));
        at += 2 + commentSize;
    }
    if (h.Flags & kFileFlagNtSecurity) {
        if (at + 2 > end || at + 2 + Le16(&b[at]) > end) {
            why = "security data runs past its header";
            return false;
        }
    }
    return true;
}

// Reports progress at most once per 64 KiB of output and per 10 ms.
class ProgressSink final : public OutputSink {
public:
    ProgressSink(OutputSink* inner, const Archive::ProgressHandler& handler)
        : inner_(inner), handler_(handler), last_(std::chrono::steady_clock::now()) {}

    bool Write(const uint8_t* data, size_t size) override {
        if (inner_ && !inner_->Write(data, size)) return false;
        pending_ += size;
        if (handler_ && pending_ >= kMinBytes) {
            const auto now = std::chrono::steady_clock::now();
            if (now - last_ >= kMinInterval) {
                last_ = now;
                return Report();
            }
        }
        return true;
    }
    // The report at the entry's end (also when nothing is pending).
    bool Finish() { return !handler_ || Report(); }
    bool Aborted() const { return aborted_; }

private:
    static constexpr uint64_t kMinBytes = 64 * 1024;
    static constexpr std::chrono::milliseconds kMinInterval{10};

    bool Report() {
        const uint64_t count = pending_;
        pending_ = 0;
        if (!handler_(count)) aborted_ = true;
        return !aborted_;
    }

    OutputSink* inner_;
    const Archive::ProgressHandler& handler_;
    std::chrono::steady_clock::time_point last_;
    uint64_t pending_ = 0;
    bool aborted_ = false;
};

}  // namespace

// ---- VolumeFile -------------------------------------------------------------

int VolumeFile::Open(const std::string& path) {
    Close();
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return errno == ENOENT || errno == ENOTDIR ? ACE_ERR_NOT_FOUND : ACE_ERR_OPEN;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        Close();
        return S_ISDIR(st.st_mode) ? ACE_ERR_NOT_FOUND : ACE_ERR_OPEN;
    }
    size_ = uint64_t(st.st_size);
    path_ = path;
    return ACE_OK;
}

void VolumeFile::OpenMemory(const uint8_t* data, size_t size, const std::string& name) {
    Close();
    memory_ = data;
    size_ = size;
    path_ = name;
}

void VolumeFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    cacheSize_ = 0;
    memory_ = nullptr;
    size_ = 0;
}

bool VolumeFile::ReadAt(uint64_t offset, void* buffer, size_t size) const {
    auto* p = static_cast<uint8_t*>(buffer);
    if (offset > size_ || size > size_ - offset) return false;
    if (memory_) {
        if (size) std::memcpy(p, memory_ + offset, size);
        return true;
    }
    if (offset >= cacheOffset_ && offset - cacheOffset_ + size <= cacheSize_) {
        std::memcpy(p, cache_.data() + (offset - cacheOffset_), size);
        return true;
    }
    if (size >= kCacheSize / 2) return ReadDirect(offset, p, size);
    const size_t fill = size_t(std::min<uint64_t>(kCacheSize, size_ - offset));
    if (cache_.size() < fill) cache_.resize(fill);
    cacheSize_ = 0;
    if (!ReadDirect(offset, cache_.data(), fill)) return false;
    cacheOffset_ = offset;
    cacheSize_ = fill;
    std::memcpy(p, cache_.data(), size);
    return true;
}

bool VolumeFile::ReadDirect(uint64_t offset, uint8_t* p, size_t size) const {
    while (size > 0) {
        const ssize_t n = ::pread(fd_, p, size, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        offset += uint64_t(n);
        size -= size_t(n);
    }
    return true;
}

// ---- reading the data of the current entry -----------------------------------

// The packed bytes of the current entry, joined over all of its parts; moves
// to the next volume when a part with CONT_NEXT is used up.
class Archive::DataReader final : public ByteSource {
public:
    explicit DataReader(Archive& archive) : a_(archive) {}

    size_t Fill(uint8_t* buffer, size_t capacity) override {
        size_t got = 0;
        while (got < capacity && a_.readerError_ == ACE_OK) {
            if (a_.segmentLeft_ == 0) {
                if (!a_.continues_) break;
                if (const int r = a_.OpenNextVolume()) a_.readerError_ = r;
                continue;
            }
            const size_t n = size_t(std::min<uint64_t>(capacity - got, a_.segmentLeft_));
            if (!a_.volume_.ReadAt(a_.segmentOffset_, buffer + got, n)) {
                a_.readerError_ = a_.Fail(ACE_ERR_READ, "archive " + a_.volume_.Path() +
                                                            " is truncated or unreadable");
                break;
            }
            a_.segmentOffset_ += n;
            a_.segmentLeft_ -= n;
            got += n;
        }
        return got;
    }

private:
    Archive& a_;
};

// ---- Archive ------------------------------------------------------------------

Archive::Archive() = default;
Archive::~Archive() = default;

int Archive::Fail(int code, std::string message) {
    lastError_ = std::move(message);
    return code;
}

int Archive::ReadBlock(const VolumeFile& volume, uint64_t offset, Block& block) {
    const uint64_t size = volume.Size();
    if (offset == size) return ACE_END_OF_ARCHIVE;
    if (offset > size) return Fail(ACE_ERR_READ, volume.Path() + " is truncated");
    if (size - offset < kBlockPrefixSize)
        return Fail(ACE_ERR_READ, volume.Path() + " ends with stray bytes after its last block");
    uint8_t prefix[kBlockPrefixSize];
    if (!volume.ReadAt(offset, prefix, sizeof prefix))
        return Fail(ACE_ERR_READ, "cannot read " + volume.Path());
    const uint16_t headSize = Le16(prefix + kHeadSizeOffset);
    if (headSize < kMinHeadSize)
        return Fail(ACE_ERR_CRC, volume.Path() + ": damaged block header");
    if (size - offset - kBlockPrefixSize < headSize)
        return Fail(ACE_ERR_READ, volume.Path() + " is truncated inside a block header");
    block.Offset = offset;
    block.Bytes.resize(kBlockPrefixSize + headSize);
    std::memcpy(block.Bytes.data(), prefix, sizeof prefix);
    if (!volume.ReadAt(offset + kBlockPrefixSize, block.Bytes.data() + kBlockPrefixSize, headSize))
        return Fail(ACE_ERR_READ, "cannot read " + volume.Path());
    if (AceCrc16(block.Bytes.data() + kBlockPrefixSize, headSize) != Le16(prefix + kHeadCrcOffset))
        return Fail(ACE_ERR_CRC, volume.Path() + ": block header checksum mismatch at offset " +
                                     std::to_string(offset));
    block.Type = block.Bytes[kHeadTypeOffset];
    block.Flags = Le16(&block.Bytes[kHeadFlagsOffset]);
    block.AddSize = 0;
    if (block.Flags & kFlagAddSize) {
        const size_t width = (block.Flags & kFlag64Bit) ? 8 : 4;
        if (block.Bytes.size() < kAddSizeOffset + width)
            return Fail(ACE_ERR_CRC, volume.Path() + ": block header too short for its data size");
        block.AddSize = width == 8 ? Le64(&block.Bytes[kAddSizeOffset])
                                   : Le32(&block.Bytes[kAddSizeOffset]);
    }
    return ACE_OK;
}

// Finds the main header: at offset 0, else by the signature search of
// self-extracting archives (first 512 KiB).
int Archive::FindMainHeader(const VolumeFile& volume, MainHeader& main, uint64_t& next) {
    const uint64_t size = volume.Size();
    bool sawBroken = false;
    auto tryAt = [&](uint64_t start) -> bool {
        Block block;
        const std::string keep = lastError_;
        const int r = ReadBlock(volume, start, block);
        lastError_ = keep;
        if (r != ACE_OK) {
            sawBroken = true;
            return false;
        }
        if (!ParseMainHeader(block.Bytes, main)) return false;
        next = start + block.Bytes.size();
        return true;
    };
    if (size >= kMainSignatureOffset + kAceSignatureSize) {
        uint8_t sig[kAceSignatureSize];
        if (!volume.ReadAt(kMainSignatureOffset, sig, sizeof sig))
            return Fail(ACE_ERR_READ, "cannot read " + volume.Path());
        if (std::memcmp(sig, kAceSignature, kAceSignatureSize) == 0 && tryAt(0)) return ACE_OK;
    }
    const size_t scan = size_t(std::min<uint64_t>(size, kSfxSearchLimit + kAceSignatureSize));
    std::vector<uint8_t> head(scan);
    if (scan && !volume.ReadAt(0, head.data(), scan))
        return Fail(ACE_ERR_READ, "cannot read " + volume.Path());
    for (size_t p = kMainSignatureOffset; p + kAceSignatureSize <= scan && p < kSfxSearchLimit; ++p) {
        const void* hit = std::memchr(&head[p], '*', scan - p);
        if (!hit) break;
        p = size_t(static_cast<const uint8_t*>(hit) - head.data());
        if (p + kAceSignatureSize > scan || p >= kSfxSearchLimit) break;
        if (std::memcmp(&head[p], kAceSignature, kAceSignatureSize) == 0 &&
            tryAt(p - kMainSignatureOffset))
            return ACE_OK;
    }
    if (sawBroken) return Fail(ACE_ERR_CRC, volume.Path() + " has a damaged main header");
    return Fail(ACE_ERR_NOT_ACE, volume.Path() + " is not an ACE archive");
}

int Archive::Open(const std::string& path) {
    firstPath_ = path;
    if (const int r = volume_.Open(path))
        return Fail(r, r == ACE_ERR_NOT_FOUND ? path + " not found" : "cannot open " + path);
    if (const int r = FindMainHeader(volume_, main_, nextBlock_)) return r;
    if (main_.VerExtract > kMaxVerExtract)
        return Fail(ACE_ERR_NOT_ACE, path + " needs a newer extractor (version " +
                                         std::to_string(main_.VerExtract / 10) + "." +
                                         std::to_string(main_.VerExtract % 10) + ")");
    volumeNumber_ = main_.VolumeNum;
    return ACE_OK;
}

int Archive::OpenMemory(const uint8_t* data, size_t size) {
    firstPath_ = "(memory)";
    inMemory_ = true;
    volume_.OpenMemory(data, size, firstPath_);
    if (const int r = FindMainHeader(volume_, main_, nextBlock_)) return r;
    if (main_.VerExtract > kMaxVerExtract) return Fail(ACE_ERR_NOT_ACE, "needs a newer extractor");
    volumeNumber_ = main_.VolumeNum;
    return ACE_OK;
}

int Archive::OpenNextVolume() {
    if (fatal_) return fatal_;
    if (inMemory_) return fatal_ = Fail(ACE_ERR_OPEN, "no further volume in memory");
    const unsigned number = volumeNumber_ + 1;
    // Try the letter case of the first volume's extension first.
    const size_t dot = firstPath_.find_last_of('.');
    const bool lower = dot != std::string::npos &&
                       std::any_of(firstPath_.begin() + long(dot), firstPath_.end(),
                                   [](char c) { return c >= 'a' && c <= 'z'; });
    const std::string preferred = AceVolumeName(firstPath_, number, !lower);
    const std::string other = AceVolumeName(firstPath_, number, lower);

    VolumeFile next;
    std::string path;
    for (int attempt = 0;; ++attempt) {
        if (next.Open(preferred) == ACE_OK) {
            path = preferred;
            break;
        }
        if (other != preferred && next.Open(other) == ACE_OK) {
            path = other;
            break;
        }
        // The handler may let the user supply the volume and ask to look again.
        if (attempt >= 7 || !volumeHandler_ || !volumeHandler_(preferred, ACE_VOLUME_NOT_FOUND))
            return fatal_ = Fail(ACE_ERR_OPEN, "volume " + preferred + " not found");
    }
    if (volumeHandler_ && !volumeHandler_(path, ACE_VOLUME_CHANGED))
        return fatal_ = Fail(ACE_ERR_ABORTED, "stopped at volume " + path);

    MainHeader main;
    uint64_t at = 0;
    if (const int r = FindMainHeader(next, main, at)) return fatal_ = r == ACE_ERR_READ ? r : ACE_ERR_CRC;
    if (!(main.Flags & kMainFlagMultiVolume) || main.VolumeNum != uint8_t(number))
        return fatal_ = Fail(ACE_ERR_CRC, path + " is not volume " + std::to_string(number) +
                                              " of " + firstPath_);

    // The first file header continues the current entry.
    for (;;) {
        Block block;
        const int r = ReadBlock(next, at, block);
        if (r == ACE_END_OF_ARCHIVE)
            return fatal_ = Fail(ACE_ERR_CRC, path + " does not continue the split entry");
        if (r != ACE_OK) return fatal_ = r;
        if (block.Type == uint8_t(BlockType::File32) || block.Type == uint8_t(BlockType::File64)) {
            FileHeader h;
            std::string why;
            if (!ParseFileHeader(block.Bytes, h, why))
                return fatal_ = Fail(ACE_ERR_CRC, path + ": " + why);
            if (!h.ContinuesPrev() || h.Name != entry_.Header.Name)
                return fatal_ = Fail(ACE_ERR_CRC, path + " does not continue " + entry_.Header.Name);
            segmentOffset_ = at + block.Bytes.size();
            segmentLeft_ = h.PackSize;
            continues_ = h.ContinuesNext();
            finalCrc_ = h.Crc32;
            entry_.PackSizeTotal += h.PackSize;
            nextBlock_ = h.PackSize > next.Size() ? next.Size() + 1 : segmentOffset_ + h.PackSize;
            break;
        }
        at += block.Bytes.size() + std::min<uint64_t>(block.AddSize, next.Size() + 1);
    }
    volume_.Swap(next);
    volumeNumber_ = number;
    return ACE_OK;
}

int Archive::SkipRest() {
    for (;;) {
        if (readerError_) return readerError_;
        segmentOffset_ += segmentLeft_;
        segmentLeft_ = 0;
        if (!continues_) return ACE_OK;
        if (const int r = OpenNextVolume()) return readerError_ = r;
    }
}

int Archive::ReadHeader() {
    if (fatal_) return fatal_;
    if (hasCurrent_ && !processed_) {
        const FileHeader& h = entry_.Header;
        if (!h.IsDirectory() && h.OrigSize > 0) historyBroken_ = true;
        processed_ = true;
        if (const int r = SkipRest()) return r;
    }
    hasCurrent_ = false;
    for (;;) {
        Block block;
        if (const int r = ReadBlock(volume_, nextBlock_, block)) {
            if (r == ACE_END_OF_ARCHIVE) lastError_.clear();
            return r;
        }
        const uint64_t dataOffset = block.Offset + block.Bytes.size();
        if (block.Type != uint8_t(BlockType::File32) && block.Type != uint8_t(BlockType::File64)) {
            // Recovery records and unknown blocks are skipped.
            if (block.AddSize > volume_.Size() - std::min(volume_.Size(), dataOffset))
                return Fail(ACE_ERR_READ, volume_.Path() + " is truncated");
            nextBlock_ = dataOffset + block.AddSize;
            continue;
        }
        FileHeader h;
        std::string why;
        if (!ParseFileHeader(block.Bytes, h, why))
            return Fail(ACE_ERR_CRC, volume_.Path() + ": " + why);
        nextBlock_ = h.PackSize > volume_.Size() ? volume_.Size() + 1 : dataOffset + h.PackSize;
        entry_ = Entry{};
        entry_.Header = h;
        entry_.VolumePath = volume_.Path();
        entry_.PackSizeTotal = h.PackSize;
        segmentOffset_ = dataOffset;
        segmentLeft_ = h.PackSize;
        continues_ = h.ContinuesNext();
        finalCrc_ = h.Crc32;
        readerError_ = ACE_OK;
        if (h.ContinuesPrev()) {
            // The rest of an entry whose beginning is in an earlier volume.
            historyBroken_ = true;
            if (const int r = SkipRest()) return r;
            continue;
        }
        entry_.NameIsSafe = SplitEntryName(h.Name, entry_.Components, entry_.NameProblem);
        hasCurrent_ = true;
        processed_ = false;
        return ACE_OK;
    }
}

int Archive::Decode(OutputSink& sink) {
    if (!decoder_) decoder_ = std::make_unique<Decoder>();
    const FileHeader& h = entry_.Header;
    DataReader reader(*this);
    uint32_t crc = 0;
    const DecodeStatus status =
        decoder_->DecodeEntry(Method(h.TechType), h.OrigSize, IsSolid(), reader, sink, crc);
    const int skipped = SkipRest();   // on to the next block, also after a failure
    if (status != DecodeStatus::Ok || crc != finalCrc_) historyBroken_ = true;
    if (readerError_) return readerError_;
    if (status == DecodeStatus::Stopped) return kSinkStopped;
    if (status == DecodeStatus::Corrupt)
        return Fail(ACE_ERR_CRC, "the data of " + h.Name + " is damaged");
    if (crc != finalCrc_) return Fail(ACE_ERR_CRC, "CRC error in " + h.Name);
    return skipped;
}

int Archive::DecodeTo(OutputSink& sink) {
    if (!hasCurrent_ || processed_) return Fail(ACE_ERR_CONSTANT, "no current entry");
    processed_ = true;
    const int r = Decode(sink);
    return r == kSinkStopped ? ACE_ERR_ABORTED : r;
}

int Archive::Process(int operation, const std::string& destination) {
    if (operation != ACE_OP_SKIP && operation != ACE_OP_TEST && operation != ACE_OP_EXTRACT)
        return Fail(ACE_ERR_CONSTANT, "unknown operation " + std::to_string(operation));
    if (!hasCurrent_ || processed_) return Fail(ACE_ERR_CONSTANT, "no current entry");
    processed_ = true;
    lastError_.clear();
    const FileHeader& h = entry_.Header;
    const bool hasData = !h.IsDirectory() && h.OrigSize > 0;
    const unsigned dictionary = h.TechParm & kTechParmDictMask;

    auto refuse = [&](int code, std::string message) {
        if (hasData) historyBroken_ = true;
        const int r = SkipRest();
        Fail(code, std::move(message));
        return r != ACE_OK && r != code ? r : code;
    };

    if (operation == ACE_OP_SKIP) {
        if (hasData) historyBroken_ = true;
        return SkipRest();
    }
    if (h.IsDirectory()) {
        if (const int r = SkipRest()) return r;
        if (operation == ACE_OP_EXTRACT) {
            if (!entry_.NameIsSafe)
                return Fail(ACE_ERR_OPEN, "refused entry name \"" + h.Name + "\": " + entry_.NameProblem);
            if (destination_.Path() != destination || destinationFailed_)
                destinationFailed_ = destination_.Open(destination, lastError_) != ACE_OK;
            if (destinationFailed_) return ACE_ERR_OPEN;
            int fd = -1;
            if (const int r = destination_.MakeFolders(entry_.Components, entry_.Components.size(), fd,
                                                       lastError_))
                return r;
        }
        ProgressSink progress(nullptr, progressHandler_);
        return progress.Finish() ? ACE_OK : Fail(ACE_ERR_ABORTED, "cancelled");
    }
    if (h.IsEncrypted()) return refuse(ACE_ERR_ENCRYPTED, h.Name + " is encrypted");
    if (h.TechType > uint8_t(Method::Blocked) ||
        (h.TechType != uint8_t(Method::Stored) && dictionary > kMaxDictionaryD))
        return refuse(ACE_ERR_METHOD, h.Name + " uses an unknown compression method");
    if (hasData && IsSolid() && historyBroken_ && h.TechType != uint8_t(Method::Stored))
        return refuse(ACE_ERR_CRC, h.Name + " cannot be decoded: an earlier entry of this solid "
                                            "archive was not decoded");

    if (operation == ACE_OP_TEST) {
        ProgressSink progress(nullptr, progressHandler_);
        const int r = Decode(progress);
        if (r == kSinkStopped) return Fail(ACE_ERR_ABORTED, "cancelled");
        if (r != ACE_OK) return r;
        return progress.Finish() ? ACE_OK : Fail(ACE_ERR_ABORTED, "cancelled");
    }
    return ExtractCurrent(destination);
}

namespace {
class NullSink final : public OutputSink {
public:
    bool Write(const uint8_t*, size_t) override { return true; }
};
}  // namespace

int Archive::ExtractCurrent(const std::string& destination) {
    const FileHeader& h = entry_.Header;
    // When the entry cannot be written, it is still decoded so that later
    // entries of a solid archive keep their history.
    auto decodeAndRefuse = [&](int code) {
        const std::string message = lastError_;
        NullSink null;
        Decode(null);
        lastError_ = message;
        return code;
    };
    if (!entry_.NameIsSafe) {
        Fail(ACE_ERR_OPEN, "refused entry name \"" + h.Name + "\": " + entry_.NameProblem);
        return decodeAndRefuse(ACE_ERR_OPEN);
    }
    if (destination_.Path() != destination || destinationFailed_)
        destinationFailed_ = destination_.Open(destination, lastError_) != ACE_OK;
    if (destinationFailed_) return decodeAndRefuse(ACE_ERR_OPEN);

    int dirFd = -1;
    const size_t folders = entry_.Components.size() - 1;
    if (const int r = destination_.MakeFolders(entry_.Components, folders, dirFd, lastError_))
        return decodeAndRefuse(r);
    PendingFile file;
    if (const int r = file.Create(dirFd, entry_.Components.back(), lastError_))
        return decodeAndRefuse(r);

    ProgressSink progress(&file, progressHandler_);
    int r = Decode(progress);
    if (r == kSinkStopped) {
        if (progress.Aborted()) return Fail(ACE_ERR_ABORTED, "cancelled");
        r = file.Error();
        return Fail(r, r == ACE_ERR_DISK_FULL ? "disk full while writing " + h.Name
                                              : "cannot write " + h.Name);
    }
    if (r != ACE_OK) return r;
    if (!progress.Finish()) return Fail(ACE_ERR_ABORTED, "cancelled");
    return file.Commit(h.FTime, lastError_);
}

}  // namespace unace
