// Encoder for the ACE 1.0 LZ77 method (TECH type 1).
//
// Stream shape, per entry: blocks, each a main width table (symbols 0..284),
// a length width table (0..255), a 15-bit symbol count and that many main
// symbols. Main symbols are literals (0..255), matches with one of the last
// four distances (256..259) and matches with a new distance (260 + bit length
// of distance - 1, followed by the distance's low bits); every match symbol
// is followed by a length symbol. The entry's bit stream ends padded to a
// whole 32-bit word.
//
// Matching: a hash chain over 4-byte prefixes, the latest position of each
// 3-byte prefix (3-byte matches may only reach 8 KiB back), the four repeat distances
// tried at every position, one step of lazy evaluation, and choices weighed
// by bit costs taken from the code widths of the previous block.
//
// Solid archives: the history (window and hash chains) carries over from one
// entry to the next; the repeat list and the codes start afresh per entry.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "unace/writer/BitWriter.h"

namespace unace {

struct Lz77Params {
    unsigned DictionaryD = 10;     // dictionary 2^(10 + D) bytes, D = 0..12
    unsigned MaxChain = 128;       // hash chain links followed per position
    unsigned NiceLength = 128;     // a match this long ends the search
    unsigned LazyLength = 32;      // a pending match this long is taken without a lazy look
    unsigned GoodLength = 8;       // a pending match this long quarters the lazy look's chain
    unsigned BlockSymbols = 16384; // main symbols per block (1..32767)

    // Search effort of the archiver's levels 1 (fastest) .. 5 (best).
    static Lz77Params ForLevel(unsigned level, unsigned dictionaryD);
};

class Lz77Encoder {
public:
    // Receives compressed bytes of the current entry, in order.
    using Sink = std::function<void(std::span<const uint8_t>)>;

    explicit Lz77Encoder(const Lz77Params& params);
    ~Lz77Encoder();
    Lz77Encoder(const Lz77Encoder&) = delete;
    Lz77Encoder& operator=(const Lz77Encoder&) = delete;

    // Starts an entry. With `keepHistory` (solid archives) matches may reach
    // back into earlier entries; otherwise the history starts empty.
    void BeginEntry(bool keepHistory);
    // Compresses more of the entry; output may lag behind the input.
    void Write(std::span<const uint8_t> data, const Sink& sink);
    // Encodes the rest of the entry and pads it to a 32-bit word.
    void EndEntry(const Sink& sink);

    unsigned DictionarySize() const { return DictSize; }

private:
    struct Symbol {
        uint16_t Main;        // main symbol
        uint8_t LengthSym;    // length symbol (matches only)
        uint8_t ExtraBits;    // count of distance bits after the main symbol
        uint32_t Extra;       // their value
    };

    uint32_t Hash4(uint32_t prefix) const;
    static uint32_t Hash3(uint32_t prefix);
    void ResetHistory();
    void SlideWindow();
    void InsertUpTo(uint32_t last);
    void Compress(bool finishing, const Sink& sink);
    void FindMatch(uint32_t pos, uint32_t maxLen, unsigned chain, uint32_t& bestLen, uint32_t& bestDist) const;
    uint32_t MatchLength(uint32_t a, uint32_t b, uint32_t maxLen) const;

    struct Choice {
        uint32_t Length = 0;
        uint32_t Distance = 0;   // for new-distance matches
        int Repeat = -1;         // 0..3 for repeat matches
        int32_t Gain = 0;        // estimated bits saved against literals, x16
    };
    Choice BestAt(uint32_t pos, uint32_t maxLen, unsigned chain) const;
    void EmitLiteral(uint8_t byte, const Sink& sink);
    uint32_t SkipMask() const;
    void EmitMatch(const Choice& match, const Sink& sink);
    void PushSymbol(const Symbol& s, const Sink& sink);
    void FlushBlock(const Sink& sink);
    void UpdateCosts();

    Lz77Params Params;
    uint32_t DictSize;       // largest distance the stream may use
    uint32_t WSize;          // window half: power of two >= DictSize
    uint32_t MaxDist;        // largest distance the match finder offers
    unsigned HashBits;

    std::vector<uint8_t> Window;    // 2 * WSize bytes of history and lookahead, plus slack
    std::vector<uint32_t> Head;     // hash of 4 bytes -> latest position (0 = none)
    std::vector<uint32_t> Head3;    // hash of 3 bytes -> latest position (short matches)
    std::vector<uint32_t> Prev;     // position & (WSize - 1) -> previous position with that hash
    uint32_t Fill = 0;              // bytes in Window
    uint32_t Pos = 0;               // next position to encode
    uint32_t InsertNext = 1;        // first position not yet in the hash chains
    uint32_t HistoryStart = 1;      // first position a match may copy from

    uint32_t Repeats[4] = {0, 0, 0, 0};   // distance codes (distance - 1), most recent first

    // One step of lazy evaluation: the best match found at Pos - 1, if any.
    bool HavePending = false;
    Choice Pending;
    uint32_t LiteralRun = 0;        // literals since the last match

    std::vector<Symbol> Block;
    std::vector<uint8_t> Out;       // compressed bytes not yet given to the sink
    BitWriter Bits{Out};            // the entry's bit stream, across its blocks

    // Estimated bit costs (x16) from the previous block's code widths.
    uint16_t MainCost[285];
    uint16_t LengthCost[256];
    int32_t LiteralAverage = 8 * 16;
};

}  // namespace unace
