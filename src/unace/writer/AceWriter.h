// Writer of ACE 1.0 archives: stored and LZ77 entries, directories, solid or
// not, in one volume or split over several (NAME.ace, NAME.c00, NAME.c01, ...).
//
// Usage:
//   AceWriter w(options);
//   if (!w.Open("out/game.ace")) ...;
//   w.AddDirectory("data", dosTime);
//   w.AddFile("data\\map.bin", dosTime, kAttrArchive, size, reader);
//   w.Close();                        // w.VolumePaths() lists what was written
//
// Every call returns an AceWriteResult; the first failure is sticky: later
// calls return it again and Close() removes the volumes written so far.
//
// Volumes: an entry's data is cut at the volume size and continues after the
// next volume's main header under a repeated header (CONT_PREV, and
// CONT_NEXT if it goes on). Extractors move to the next volume only after a
// CONT_NEXT segment, so every volume but the last ends inside the data of a
// split entry: where the limit falls between entries or right after a header,
// the volume runs a little over (at most one header plus one data byte).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "unace/AceFormat.h"

namespace unace {

class Lz77Encoder;

enum class AceWriteError {
    None = 0,
    InvalidArgument,   // bad options or a call out of order
    InvalidName,       // an entry name the format (or an extractor) cannot take
    TooLarge,          // an entry or segment beyond the 32-bit size fields
    TooManyVolumes,    // VOLUME_NUM is one byte: at most 256 volumes
    CreateFailed,      // a volume file could not be created
    WriteFailed,       // writing a volume failed (disk full, I/O error)
    ReadFailed,        // the entry's source failed or ended early
    Aborted,           // the caller gave up (Abort)
};

struct AceWriteResult {
    AceWriteError Code = AceWriteError::None;
    std::string Message;

    explicit operator bool() const { return Code == AceWriteError::None; }
};

struct AceWriterOptions {
    Method Compression = Method::Lz77;   // Stored or Lz77
    unsigned DictionaryD = 10;           // dictionary 2^(10 + D) bytes, D = 0..12
    unsigned Level = 3;                  // 1 (fastest) .. 5 (best); TECH_QUAL of entries
    bool Solid = true;
    uint64_t VolumeSize = 0;             // 0: one volume of any size
    // TIME_CREATED of every main header, as a DOS date/time; 0 = the time each
    // volume is started.
    uint32_t CreationTime = 0;
    // Called with the number of source bytes consumed so far, summed over all
    // entries, after every chunk.
    std::function<void(uint64_t)> Progress;
};

// Reads up to `size` bytes of an entry's contents into `buffer`; returns the
// count read (0 only at the end) or -1 on an error.
using AceSourceReader = std::function<int64_t(uint8_t* buffer, size_t size)>;

// Why `name` cannot be stored as an entry name, or an empty string if it
// can. Names are relative, backslash-separated, printable, without empty,
// "." or ".." components, and without characters or device names that the
// extractors or a Windows file system refuse (: * ? " < > | and trailing dots
// or blanks in a component, CON, PRN, AUX, NUL, COM1..9, LPT1..9).
std::string CheckEntryName(std::string_view name);

// DOS date/time (local time) of a calendar time; clamped to 1980..2107.
uint32_t DosTimeFromUnix(int64_t unixSeconds);

class AceWriter {
public:
    explicit AceWriter(AceWriterOptions options);
    ~AceWriter();
    AceWriter(const AceWriter&) = delete;
    AceWriter& operator=(const AceWriter&) = delete;

    // Creates the first volume. Later volumes get the names of
    // AceVolumeName(firstVolumePath, n, lower case).
    AceWriteResult Open(const std::string& firstVolumePath);

    AceWriteResult AddDirectory(std::string_view name, uint32_t dosTime, uint32_t attributes = kAttrDirectory);
    // Adds a file of exactly `size` bytes read through `reader`.
    AceWriteResult AddFile(std::string_view name, uint32_t dosTime, uint32_t attributes, uint64_t size,
                           const AceSourceReader& reader);
    AceWriteResult AddFile(std::string_view name, uint32_t dosTime, uint32_t attributes,
                           std::span<const uint8_t> contents);

    // Finishes the last volume. After a failure, removes every volume written.
    AceWriteResult Close();
    // Gives up: the archive fails with `reason` and its volumes are removed.
    AceWriteResult Abort(std::string reason);

    const std::vector<std::string>& VolumePaths() const { return Volumes; }
    uint64_t BytesWritten() const { return TotalWritten; }

private:
    struct EntryInfo {
        std::string Name;
        uint32_t Time = 0;
        uint32_t Attributes = 0;
        uint32_t OrigSize = 0;
        Method Tech = Method::Stored;
    };

    AceWriteResult Fail(AceWriteError code, std::string message);
    AceWriteResult CheckReady(std::string_view name);
    bool StartVolume();
    bool FinishVolume();
    bool WriteBytes(std::span<const uint8_t> bytes);
    std::vector<uint8_t> MainHeader(uint32_t volumeNumber, uint32_t time) const;
    std::vector<uint8_t> FileHeader(const EntryInfo& entry, uint16_t flags, uint32_t packSize, uint32_t crc) const;
    bool BeginSegment(uint16_t contFlag);
    bool EndSegment(bool continues);
    bool EmitData(std::span<const uint8_t> data);

    AceWriterOptions Options;
    std::unique_ptr<Lz77Encoder> Encoder;
    AceWriteResult Status;
    bool IsOpen = false;
    bool IsClosed = false;

    std::string FirstPath;
    std::vector<std::string> Volumes;
    std::FILE* File = nullptr;
    uint64_t VolumeBytes = 0;     // bytes in the current volume
    uint64_t TotalWritten = 0;
    uint64_t SourceConsumed = 0;

    // The entry whose data is being written.
    EntryInfo Current;
    uint64_t SegmentHeaderOffset = 0;
    uint64_t SegmentBytes = 0;
    uint32_t Crc = 0;             // CRC-32 of the source bytes consumed so far
    bool SegmentContinues = false;   // the current segment has CONT_PREV
};

}  // namespace unace
