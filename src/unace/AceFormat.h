// Constants and header records of the ACE archive format (versions 1.0 and
// 2.0), shared by the reader and the writer.
//
// An archive volume is a run of blocks. Every block starts with this common
// header; offsets count from the block's first byte, integers are
// little-endian:
//
//   +0  u16  HEAD_CRC    low 16 bits of AceCrc32 over the HEAD_SIZE bytes at +4
//   +2  u16  HEAD_SIZE   bytes that follow this field (whole header: 4 + HEAD_SIZE)
//   +4  u8   HEAD_TYPE   BlockType
//   +5  u16  HEAD_FLAGS  bits 0..2 common (kFlagAddSize, kFlagComment, kFlag64Bit)
//   +7  u32  ADDSIZE     only with kFlagAddSize (u64 with kFlag64Bit): length of
//                        the data area that follows the header
//
// The next block starts at 4 + HEAD_SIZE + ADDSIZE. Readers always skip by
// HEAD_SIZE: headers may carry bytes after the fields they define.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace unace {

// ---- block types ---------------------------------------------------------
enum class BlockType : uint8_t {
    Main = 0,
    File32 = 1,
    Recovery32 = 2,
    File64 = 3,
    Recovery64A = 4,
    Recovery64B = 5,
};

// ---- common header layout -------------------------------------------------
inline constexpr size_t kHeadCrcOffset = 0;
inline constexpr size_t kHeadSizeOffset = 2;
inline constexpr size_t kHeadTypeOffset = 4;
inline constexpr size_t kHeadFlagsOffset = 5;
inline constexpr size_t kAddSizeOffset = 7;
inline constexpr size_t kBlockPrefixSize = 4;   // HEAD_CRC + HEAD_SIZE
inline constexpr size_t kMinHeadSize = 3;       // HEAD_TYPE + HEAD_FLAGS

// ---- flags common to all blocks --------------------------------------------
inline constexpr uint16_t kFlagAddSize = 0x0001;
inline constexpr uint16_t kFlagComment = 0x0002;
inline constexpr uint16_t kFlag64Bit = 0x0004;

// ---- main header (type 0) ---------------------------------------------------
//   +7  7 bytes "**ACE**"     +14 VER_EXTRACT   +15 VER_CREATED
//   +16 HOST_CREATED          +17 VOLUME_NUM    +18 u32 TIME_CREATED (DOS)
//   +22 u16 RES1  +24 u16 RES2  +26 4 reserved bytes
//   +30 AV_SIZE (present whenever HEAD_SIZE >= 27, whatever the flags say)
//   +31 AV string, then u16 COMMENT_SIZE + comment when kFlagComment is set.
inline constexpr char kAceSignature[] = "**ACE**";
inline constexpr size_t kAceSignatureSize = 7;
inline constexpr size_t kMainSignatureOffset = 7;
inline constexpr size_t kMainVerExtractOffset = 14;
inline constexpr size_t kMainVerCreatedOffset = 15;
inline constexpr size_t kMainHostOffset = 16;
inline constexpr size_t kMainVolumeNumOffset = 17;
inline constexpr size_t kMainTimeCreatedOffset = 18;
inline constexpr size_t kMainRes1Offset = 22;
inline constexpr size_t kMainRes2Offset = 24;
inline constexpr size_t kMainResOffset = 26;
inline constexpr size_t kMainAvSizeOffset = 30;
inline constexpr size_t kMainAvOffset = 31;
inline constexpr size_t kMainMinHeadSize = 26;   // HEAD_SIZE without AV_SIZE
inline constexpr uint8_t kMaxVerExtract = 20;    // newest version we can extract

inline constexpr uint16_t kMainFlagV20Format = 0x0100;
inline constexpr uint16_t kMainFlagSfx = 0x0200;
inline constexpr uint16_t kMainFlagLimitSfxJr = 0x0400;
inline constexpr uint16_t kMainFlagMultiVolume = 0x0800;
inline constexpr uint16_t kMainFlagAv = 0x1000;
inline constexpr uint16_t kMainFlagRecovery = 0x2000;
inline constexpr uint16_t kMainFlagLocked = 0x4000;
inline constexpr uint16_t kMainFlagSolid = 0x8000;

// HOST_CREATED values.
enum class HostOs : uint8_t {
    MsDos = 0, Os2 = 1, Win32 = 2, Unix = 3, MacOs = 4, WinNt = 5, Primos = 6,
    AppleGs = 7, Atari = 8, Vax = 9, Amiga = 10, Next = 11, Linux = 12,
};

// The main-header search of self-extracting archives looks for the signature
// in the first 512 KiB of a volume.
inline constexpr size_t kSfxSearchLimit = 1024 * 512;

// ---- file header (type 1; type 3 moves everything after ORIG_SIZE by 8) ----
//   +7  u32 PACK_SIZE (= ADDSIZE)  +11 u32 ORIG_SIZE  +15 u32 FTIME (DOS)
//   +19 u32 ATTR  +23 u32 CRC32  +27 TECH_TYPE  +28 TECH_QUAL  +29 u16 TECH_PARM
//   +31 u16 reserved  +33 u16 FNAME_SIZE  +35 FNAME
//   then u16 COMMENT_SIZE + comment (kFlagComment),
//   then u16 SECURITY_SIZE + NT security data (kFileFlagNtSecurity).
inline constexpr size_t kFilePackSizeOffset = 7;
inline constexpr size_t kFileOrigSizeOffset32 = 11;
inline constexpr size_t kFileOrigSizeOffset64 = 15;
inline constexpr size_t kFileFTimeOffset32 = 15;
inline constexpr size_t kFileAttrOffset32 = 19;
inline constexpr size_t kFileCrc32Offset32 = 23;
inline constexpr size_t kFileTechTypeOffset32 = 27;
inline constexpr size_t kFileTechQualOffset32 = 28;
inline constexpr size_t kFileTechParmOffset32 = 29;
inline constexpr size_t kFileReservedOffset32 = 31;
inline constexpr size_t kFileNameSizeOffset32 = 33;
inline constexpr size_t kFileNameOffset32 = 35;
inline constexpr size_t kFile64Shift = 8;        // type 3: add to every offset from FTIME on

inline constexpr uint16_t kFileFlagNtSecurity = 0x0400;
inline constexpr uint16_t kFileFlagContPrev = 0x1000;
inline constexpr uint16_t kFileFlagContNext = 0x2000;
inline constexpr uint16_t kFileFlagPassword = 0x4000;
inline constexpr uint16_t kFileFlagSolid = 0x8000;

// DOS attribute bits (only the low 16 bits of ATTR are meaningful).
inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;

// TECH_TYPE values.
enum class Method : uint8_t {
    Stored = 0,
    Lz77 = 1,      // ACE 1.0
    Blocked = 2,   // ACE 2.0: LZ77 with EXE, DELTA, SOUND and PIC modes
};

// TECH_PARM bits 0..3: dictionary 2^(10 + D) bytes, D <= 12 (4 MiB).
inline constexpr uint16_t kTechParmDictMask = 0x000F;
inline constexpr unsigned kDictionaryBitsBase = 10;
inline constexpr unsigned kMaxDictionaryD = 12;
inline constexpr size_t kMaxDictionarySize = size_t(1) << (kDictionaryBitsBase + kMaxDictionaryD);

// CRC32 value of empty contents (files of size 0 and directories).
inline constexpr uint32_t kEmptyCrc32 = 0xFFFFFFFF;

// ---- compressed stream constants -------------------------------------------
inline constexpr unsigned kMainSymbolMax = 284;      // main alphabet 0..284
inline constexpr unsigned kLengthSymbolMax = 255;    // length alphabet 0..255
inline constexpr unsigned kSoundSymbolMax = 289;     // SOUND alphabet 0..289
inline constexpr unsigned kMainMaxWidth = 11;
inline constexpr unsigned kSoundMaxWidth = 10;
inline constexpr unsigned kWidthCodeMaxWidth = 7;
inline constexpr unsigned kSymbolFirstRepeat = 256;  // 256..259: repeat distance k
inline constexpr unsigned kSymbolFirstDistance = 260;// 260..282: new distance of bit length b
inline constexpr unsigned kSymbolModeSwitch = 283;
inline constexpr unsigned kSoundSymbolModeSwitch = 288;
inline constexpr unsigned kMaxBlockCount = 32767;    // 15-bit symbol count per block
inline constexpr unsigned kMaxMatchLength = 259;
inline constexpr unsigned kMaxCommentSize = 32767;

// ACE 2.0 modes (mode switch record: 8-bit mode, then parameters).
enum class Mode : uint8_t {
    Lz77 = 0, Delta = 1, Exe = 2, Sound8 = 3, Sound16 = 4, Sound32A = 5, Sound32B = 6, Pic = 7,
};

// ---- parsed headers --------------------------------------------------------
struct MainHeader {
    uint16_t Flags = 0;
    uint8_t VerExtract = 0;
    uint8_t VerCreated = 0;
    uint8_t Host = 0;
    uint8_t VolumeNum = 0;
    uint32_t TimeCreated = 0;
    uint16_t Res1 = 0;
    uint16_t Res2 = 0;
    std::string Av;                 // untrusted 8-bit text, no terminator
    std::vector<uint8_t> Comment;   // compressed comment; empty if none or malformed
};

struct FileHeader {
    uint8_t Type = 1;               // BlockType::File32 or File64
    uint16_t Flags = 0;
    uint64_t PackSize = 0;          // data bytes of this segment in this volume
    uint64_t OrigSize = 0;          // decompressed size of the whole entry
    uint32_t FTime = 0;             // DOS date (high 16 bits) and time (low 16 bits)
    uint32_t Attr = 0;
    uint32_t Crc32 = kEmptyCrc32;
    uint8_t TechType = 0;
    uint8_t TechQual = 0;
    uint16_t TechParm = 0;
    std::string Name;               // raw bytes as stored, separators '\' or '/'
    std::vector<uint8_t> Comment;   // compressed comment

    bool IsDirectory() const { return (Attr & kAttrDirectory) != 0; }
    bool IsEncrypted() const { return (Flags & kFileFlagPassword) != 0; }
    bool ContinuesPrev() const { return (Flags & kFileFlagContPrev) != 0; }
    bool ContinuesNext() const { return (Flags & kFileFlagContNext) != 0; }
    unsigned DictionaryBits() const { return kDictionaryBitsBase + (TechParm & kTechParmDictMask); }
};

// The file name of volume `volumeNumber` (0 = the first) of the set whose
// first volume is `firstVolume`: volume n >= 1 replaces the extension with
// "C" + two digits of n - 1 (.C00 .. .C99), and from volume 101 on with three
// digits (.100, .101, ...). `upperCase` chooses "C" or "c"; volume 0 is the
// name itself.
std::string AceVolumeName(const std::string& firstVolume, unsigned volumeNumber, bool upperCase);

}  // namespace unace
