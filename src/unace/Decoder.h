// Decoder of ACE entry data: stored, ACE 1.0 LZ77 and the ACE 2.0 blocked
// method with its LZ77, EXE, DELTA, SOUND and PIC modes.
//
// One Decoder serves a whole archive, because in a solid archive every entry
// may copy from the decoded contents of the entries before it. The history
// lives in a linear window of 2 x 4 MiB (the largest dictionary is 4 MiB):
// bytes are decoded at `pos_`, handed to the output in pieces of at most
// 64 KiB, and when the window fills up the last 4 MiB move to its front.
// The linear layout lets a match copy without wrap-around checks; the slack
// after the window's end absorbs the 8-byte strides of match copies.
//
// The history always receives the LZ77 output. EXE and DELTA regions are
// transformed on the way out, so the output then differs from the history.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "unace/AceFormat.h"
#include "unace/BitReader.h"
#include "unace/HuffmanTable.h"
#include "unace/PicModel.h"
#include "unace/SoundModel.h"

namespace unace {

// Receives an entry's output. Write returns false to stop decoding (the
// sink remembers why: cancel, write error).
class OutputSink {
public:
    virtual ~OutputSink() = default;
    virtual bool Write(const uint8_t* data, size_t size) = 0;
};

enum class DecodeStatus {
    Ok,         // exactly the entry's size was produced (compare the CRC next)
    Corrupt,    // the data is damaged or ends early (or the source failed)
    Stopped,    // the sink asked to stop
};

class Decoder {
public:
    static constexpr size_t kHistorySize = kMaxDictionarySize;   // 4 MiB
    static constexpr size_t kPieceSize = 64 * 1024;             // output granularity

    Decoder();

    // Forgets all history (start of an archive).
    void ResetHistory();

    // Decodes one entry of `origSize` bytes from `source` with `method`
    // (TECH_TYPE) into `sink`. `solid`: the entry may refer to the history
    // of earlier entries. `crc` receives the ACE CRC-32 of the output.
    DecodeStatus DecodeEntry(Method method, uint64_t origSize, bool solid, ByteSource& source,
                             OutputSink& sink, uint32_t& crc);

private:
    enum class LzResult { Done, Switch, Corrupt, Stopped };

    struct ModeRecord {
        unsigned mode = 0;
        unsigned deltaDistance = 0;
        unsigned deltaLength = 0;
        unsigned exeVariant = 0;
    };

    bool EnsureWindow();
    DecodeStatus CopyStored(ByteSource& source);
    DecodeStatus DecodeCompressed(ByteSource& source, bool blocked);
    LzResult DecodeLz(uint64_t want, bool blocked, bool inDelta);
    bool ReadBlockHeader();
    bool ReadModeRecord(ModeRecord& record);
    LzResult ApplySwitch(const ModeRecord& record);
    LzResult DecodeDeltaBlock();
    LzResult ExpectSwitch();
    LzResult DecodeSound();
    LzResult DecodePic();

    // Output side.
    bool FlushPiece();              // flush, compact when needed; false if stopped
    void FlushWindow();             // window bytes not yet output -> output filter
    void Compact();
    void ExeFeed(const uint8_t* data, size_t size);
    void ExeFinish();
    void Emit(const uint8_t* data, size_t size);
    bool PutByte(uint8_t b) {
        if (pos_ >= flushAt_ && !FlushPiece()) return false;
        window_[pos_++] = b;
        --produceLeft_;
        return true;
    }

    std::unique_ptr<uint8_t[]> window_;
    std::unique_ptr<uint8_t[]> input_;   // the bit reader's chunk buffer
    size_t pos_ = 0;          // next window index to decode into
    size_t emitted_ = 0;      // window bytes before this have gone to the output filter
    size_t histStart_ = 0;    // first window index a match may copy from
    size_t flushAt_ = 0;      // flush when pos_ reaches this

    // Per entry.
    BitReader br_;
    OutputSink* sink_ = nullptr;
    bool stopped_ = false;
    uint32_t crc_ = 0;
    uint64_t produceLeft_ = 0;   // bytes still to decode into the window
    uint64_t entryOut_ = 0;      // bytes output so far
    unsigned mode_ = 0;
    unsigned blockLeft_ = 0;
    uint32_t rep_[4] = {};
    HuffmanTable mainTable_;
    HuffmanTable lengthTable_;
    unsigned exeVariant_ = 0;
    uint8_t exeHeld_[8] = {};
    size_t exeHeldSize_ = 0;
    std::vector<uint8_t> scratch_;
    uint8_t deltaByte_ = 0;
    ModeRecord pending_;
    SoundModel sound_;
    PicModel pic_;
};

}  // namespace unace
