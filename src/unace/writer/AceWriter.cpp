#include "unace/writer/AceWriter.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "unace/AceCrc.h"
#include "unace/writer/Lz77Encoder.h"

namespace unace {

namespace {

inline constexpr uint8_t kVersionNeeded = 10;    // stored and type-1 entries only
inline constexpr uint8_t kVersionCreated = 20;
inline constexpr size_t kMainHeadSize = 27;      // fixed fields + AV_SIZE byte (0)
inline constexpr size_t kFileFixedHeadSize = 31; // HEAD_SIZE without the name
inline constexpr size_t kMaxNameSize = 0xFFFF - kFileFixedHeadSize;
inline constexpr unsigned kMaxVolumes = 256;     // VOLUME_NUM is one byte
inline constexpr size_t kReadChunk = 256 * 1024;

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// HEAD_SIZE and HEAD_CRC of a header whose other bytes are in place.
void SealHeader(std::vector<uint8_t>& header) {
    const size_t headSize = header.size() - kBlockPrefixSize;
    Put16(header, kHeadSizeOffset, static_cast<uint32_t>(headSize));
    Put16(header, kHeadCrcOffset, AceCrc16(header.data() + kBlockPrefixSize, headSize));
}

bool IsReservedDeviceName(std::string_view component) {
    // The part before the first dot decides ("NUL.txt" is NUL too).
    std::string base(component.substr(0, component.find('.')));
    for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static constexpr std::array<std::string_view, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
    if (std::find(kPlain.begin(), kPlain.end(), base) != kPlain.end()) return true;
    return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '1' &&
           base[3] <= '9';
}

}  // namespace

std::string CheckEntryName(std::string_view name) {
    if (name.empty()) return "the name is empty";
    if (name.size() > kMaxNameSize) return "the name is longer than a header can hold";
    if (name.front() == '\\') return "the name starts with a separator";
    size_t start = 0;
    while (start <= name.size()) {
        const size_t end = std::min(name.find('\\', start), name.size());
        const std::string_view component = name.substr(start, end - start);
        if (component.empty()) return "the name has an empty path component";
        if (component == "." || component == "..") return "the name has a '.' or '..' component";
        for (const char ch : component) {
            const auto c = static_cast<unsigned char>(ch);
            if (c < 0x20 || c == 0x7F) return "the name contains a control character";
            if (std::strchr(":*?\"<>|/", c) != nullptr)
                return std::string("the name contains the character '") + ch + "'";
        }
        if (component.back() == '.' || component.back() == ' ')
            return "a path component ends with a dot or a blank";
        if (IsReservedDeviceName(component)) return "a path component is a reserved device name";
        start = end + 1;
    }
    return {};
}

uint32_t DosTimeFromUnix(int64_t unixSeconds) {
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr) return 0x00210000;   // 1980-01-01 00:00:00
    int year = tm.tm_year + 1900;
    if (year < 1980) return 0x00210000;
    if (year > 2107) {
        year = 2107;
        tm = std::tm{};
        tm.tm_mon = 11;
        tm.tm_mday = 31;
        tm.tm_hour = 23;
        tm.tm_min = 59;
        tm.tm_sec = 58;
    }
    const uint32_t date = uint32_t(year - 1980) << 9 | uint32_t(tm.tm_mon + 1) << 5 | uint32_t(tm.tm_mday);
    const uint32_t time = uint32_t(tm.tm_hour) << 11 | uint32_t(tm.tm_min) << 5 | uint32_t(std::min(tm.tm_sec, 59) / 2);
    return date << 16 | time;
}

AceWriter::AceWriter(AceWriterOptions options) : Options(std::move(options)) {}

AceWriter::~AceWriter() {
    if (File != nullptr) std::fclose(File);
}

AceWriteResult AceWriter::Fail(AceWriteError code, std::string message) {
    if (Status) Status = {code, std::move(message)};
    return Status;
}

AceWriteResult AceWriter::Open(const std::string& firstVolumePath) {
    if (IsOpen || IsClosed) return Fail(AceWriteError::InvalidArgument, "the writer was already opened");
    if (Options.Compression != Method::Stored && Options.Compression != Method::Lz77)
        return Fail(AceWriteError::InvalidArgument, "only the stored and the LZ77 method can be written");
    if (Options.DictionaryD > kMaxDictionaryD)
        return Fail(AceWriteError::InvalidArgument, "the dictionary can be at most 4 MiB (D = 12)");
    if (Options.Compression == Method::Lz77)
        Encoder = std::make_unique<Lz77Encoder>(Lz77Params::ForLevel(Options.Level, Options.DictionaryD));
    FirstPath = firstVolumePath;
    IsOpen = true;
    if (!StartVolume()) return Status;
    return Status;
}

std::vector<uint8_t> AceWriter::MainHeader(uint32_t volumeNumber, uint32_t time) const {
    std::vector<uint8_t> h(kBlockPrefixSize + kMainHeadSize, 0);
    uint16_t flags = 0;
    if (Options.Solid) flags |= kMainFlagSolid;
    if (Options.VolumeSize != 0) flags |= kMainFlagMultiVolume;
    h[kHeadTypeOffset] = static_cast<uint8_t>(BlockType::Main);
    Put16(h, kHeadFlagsOffset, flags);
    std::memcpy(&h[kMainSignatureOffset], kAceSignature, kAceSignatureSize);
    h[kMainVerExtractOffset] = kVersionNeeded;
    h[kMainVerCreatedOffset] = kVersionCreated;
    h[kMainHostOffset] = static_cast<uint8_t>(HostOs::Win32);
    h[kMainVolumeNumOffset] = static_cast<uint8_t>(volumeNumber);
    Put32(h, kMainTimeCreatedOffset, time);
    // Check words: RES1 = CRC-16 of the (empty) AV string ^ low half of the
    // time; RES2 = RES1 ^ bits 12..27 of the time.
    const uint16_t res1 = static_cast<uint16_t>(AceCrc16(nullptr, 0) ^ (time & 0xFFFF));
    const uint16_t res2 = static_cast<uint16_t>(res1 ^ ((time >> 12) & 0xFFFF));
    Put16(h, kMainRes1Offset, res1);
    Put16(h, kMainRes2Offset, res2);
    h[kMainAvSizeOffset] = 0;   // always present, also without the AV flag
    SealHeader(h);
    return h;
}

std::vector<uint8_t> AceWriter::FileHeader(const EntryInfo& entry, uint16_t flags, uint32_t packSize,
                                           uint32_t crc) const {
    std::vector<uint8_t> h(kBlockPrefixSize + kFileFixedHeadSize + entry.Name.size(), 0);
    h[kHeadTypeOffset] = static_cast<uint8_t>(BlockType::File32);
    Put16(h, kHeadFlagsOffset, flags);
    Put32(h, kFilePackSizeOffset, packSize);
    Put32(h, kFileOrigSizeOffset32, entry.OrigSize);
    Put32(h, kFileFTimeOffset32, entry.Time);
    Put32(h, kFileAttrOffset32, entry.Attributes);
    Put32(h, kFileCrc32Offset32, crc);
    h[kFileTechTypeOffset32] = static_cast<uint8_t>(entry.Tech);
    h[kFileTechQualOffset32] = static_cast<uint8_t>(std::clamp(Options.Level, 1u, 5u));
    Put16(h, kFileTechParmOffset32, Options.DictionaryD);
    Put16(h, kFileReservedOffset32, 0);
    Put16(h, kFileNameSizeOffset32, static_cast<uint32_t>(entry.Name.size()));
    std::memcpy(&h[kFileNameOffset32], entry.Name.data(), entry.Name.size());
    SealHeader(h);
    return h;
}

bool AceWriter::StartVolume() {
    const auto number = static_cast<unsigned>(Volumes.size());
    if (number >= kMaxVolumes) {
        Fail(AceWriteError::TooManyVolumes,
             "more than " + std::to_string(kMaxVolumes) + " volumes would be needed; choose a larger volume size");
        return false;
    }
    const std::string path = AceVolumeName(FirstPath, number, false);
    File = std::fopen(path.c_str(), "wb");
    if (File == nullptr) {
        Fail(AceWriteError::CreateFailed, "cannot create " + path + ": " + std::strerror(errno));
        return false;
    }
    Volumes.push_back(path);
    VolumeBytes = 0;
    uint32_t time = Options.CreationTime;
    if (time == 0) time = DosTimeFromUnix(static_cast<int64_t>(std::time(nullptr)));
    return WriteBytes(MainHeader(number, time));
}

bool AceWriter::FinishVolume() {
    if (File == nullptr) return true;
    const bool ok = std::fflush(File) == 0 && std::ferror(File) == 0;
    const bool closed = std::fclose(File) == 0;
    File = nullptr;
    if (!ok || !closed) {
        Fail(AceWriteError::WriteFailed, "cannot write " + Volumes.back() + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

bool AceWriter::WriteBytes(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return true;
    if (std::fwrite(bytes.data(), 1, bytes.size(), File) != bytes.size()) {
        Fail(AceWriteError::WriteFailed, "cannot write " + Volumes.back() + ": " + std::strerror(errno));
        return false;
    }
    VolumeBytes += bytes.size();
    TotalWritten += bytes.size();
    return true;
}

AceWriteResult AceWriter::CheckReady(std::string_view name) {
    if (!Status) return Status;
    if (!IsOpen || IsClosed) return Fail(AceWriteError::InvalidArgument, "the archive is not open");
    if (const std::string problem = CheckEntryName(name); !problem.empty())
        return Fail(AceWriteError::InvalidName, "cannot store \"" + std::string(name) + "\": " + problem);
    return Status;
}

AceWriteResult AceWriter::AddDirectory(std::string_view name, uint32_t dosTime, uint32_t attributes) {
    if (!CheckReady(name)) return Status;
    EntryInfo dir;
    dir.Name = std::string(name);
    dir.Time = dosTime;
    dir.Attributes = attributes | kAttrDirectory;
    dir.Tech = Options.Compression;   // directories carry the archive's method
    WriteBytes(FileHeader(dir, kFlagAddSize, 0, kEmptyCrc32));
    return Status;
}

AceWriteResult AceWriter::AddFile(std::string_view name, uint32_t dosTime, uint32_t attributes,
                                  std::span<const uint8_t> contents) {
    size_t offset = 0;
    return AddFile(name, dosTime, attributes, contents.size(), [&](uint8_t* buffer, size_t size) -> int64_t {
        const size_t n = std::min(size, contents.size() - offset);
        std::memcpy(buffer, contents.data() + offset, n);
        offset += n;
        return static_cast<int64_t>(n);
    });
}

AceWriteResult AceWriter::AddFile(std::string_view name, uint32_t dosTime, uint32_t attributes, uint64_t size,
                                  const AceSourceReader& reader) {
    if (!CheckReady(name)) return Status;
    if (size > 0xFFFFFFFFu)
        return Fail(AceWriteError::TooLarge, "cannot store \"" + std::string(name) + "\": larger than 4 GiB - 1");
    Current = EntryInfo{std::string(name), dosTime, attributes & ~kAttrDirectory, static_cast<uint32_t>(size),
                        size == 0 ? Method::Stored : Options.Compression};
    Crc = kAceCrcInit;
    if (size == 0) {
        // Empty files are stored entries without the SOLID flag.
        WriteBytes(FileHeader(Current, kFlagAddSize, 0, kEmptyCrc32));
        return Status;
    }
    if (!BeginSegment(0)) return Status;
    if (Encoder) Encoder->BeginEntry(Options.Solid);

    const Lz77Encoder::Sink sink = [this](std::span<const uint8_t> packed) { EmitData(packed); };
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(size, kReadChunk)));
    uint64_t left = size;
    while (left > 0 && Status) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
        const int64_t got = reader(buffer.data(), want);
        if (got <= 0 || static_cast<uint64_t>(got) > want) {
            return Fail(AceWriteError::ReadFailed,
                        got < 0 ? "cannot read \"" + Current.Name + "\""
                                : "\"" + Current.Name + "\" ended before its announced size");
        }
        const std::span<const uint8_t> chunk(buffer.data(), static_cast<size_t>(got));
        Crc = AceCrc32(chunk.data(), chunk.size(), Crc);
        left -= chunk.size();
        SourceConsumed += chunk.size();
        if (Encoder)
            Encoder->Write(chunk, sink);
        else
            EmitData(chunk);
        if (Options.Progress) Options.Progress(SourceConsumed);
    }
    if (!Status) return Status;
    if (Encoder) Encoder->EndEntry(sink);
    if (Status) EndSegment(false);
    return Status;
}

bool AceWriter::BeginSegment(uint16_t contFlag) {
    SegmentHeaderOffset = VolumeBytes;
    SegmentBytes = 0;
    SegmentContinues = contFlag != 0;
    // PACK_SIZE, CRC and CONT_NEXT are filled in when the segment ends.
    return WriteBytes(FileHeader(Current, kFlagAddSize, 0, Crc));
}

bool AceWriter::EndSegment(bool continues) {
    if (SegmentBytes > 0xFFFFFFFFu) {
        Fail(AceWriteError::TooLarge, "the packed data of \"" + Current.Name + "\" exceeds 4 GiB - 1 in one volume");
        return false;
    }
    uint16_t flags = kFlagAddSize;
    if (Options.Solid) flags |= kFileFlagSolid;
    if (SegmentContinues) flags |= kFileFlagContPrev;
    if (continues) flags |= kFileFlagContNext;
    // A non-final segment holds the CRC of the source read so far; extractors
    // take the entry's CRC from its last segment.
    const std::vector<uint8_t> header =
        FileHeader(Current, flags, static_cast<uint32_t>(SegmentBytes), Crc);
    if (std::fflush(File) != 0 || fseeko(File, static_cast<off_t>(SegmentHeaderOffset), SEEK_SET) != 0 ||
        std::fwrite(header.data(), 1, header.size(), File) != header.size() || std::fflush(File) != 0 ||
        fseeko(File, 0, SEEK_END) != 0) {
        Fail(AceWriteError::WriteFailed, "cannot write " + Volumes.back() + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

bool AceWriter::EmitData(std::span<const uint8_t> data) {
    while (!data.empty() && Status) {
        uint64_t room = UINT64_MAX;
        if (Options.VolumeSize != 0) {
            room = Options.VolumeSize > VolumeBytes ? Options.VolumeSize - VolumeBytes : 0;
            // A volume may only end inside the data, never right after the header.
            if (SegmentBytes == 0) room = std::max<uint64_t>(room, 1);
        }
        if (data.size() <= room) {
            if (!WriteBytes(data)) return false;
            SegmentBytes += data.size();
            return true;
        }
        // More data than room: fill this volume and continue in the next.
        const auto part = static_cast<size_t>(room);
        if (!WriteBytes(data.first(part))) return false;
        SegmentBytes += part;
        data = data.subspan(part);
        if (!EndSegment(true) || !FinishVolume() || !StartVolume() || !BeginSegment(kFileFlagContPrev)) return false;
    }
    return static_cast<bool>(Status);
}

AceWriteResult AceWriter::Abort(std::string reason) {
    Fail(AceWriteError::Aborted, std::move(reason));
    IsClosed = false;
    return Close();
}

AceWriteResult AceWriter::Close() {
    if (IsClosed) return Status;
    IsClosed = true;
    if (IsOpen) FinishVolume();
    if (!Status) {
        if (File != nullptr) {
            std::fclose(File);
            File = nullptr;
        }
        for (const std::string& path : Volumes) std::remove(path.c_str());
        Volumes.clear();
    }
    return Status;
}

}  // namespace unace
