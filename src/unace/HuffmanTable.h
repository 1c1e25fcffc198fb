// Huffman code tables of the ACE compressed streams.
//
// A code is transmitted as a list of code widths (Read). The decoding table
// is a direct lookup indexed by as many bits as the longest code (at most
// 11, so at most 2048 two-byte entries = 4 KiB): peek that many bits, the
// entry gives the symbol and the number of bits it really occupies. No
// second level is needed at these widths. Codes need not be complete;
// unassigned entries decode as corrupt data.
//
// The assignment of codes to symbols is not canonical: the archiver orders
// the widths with one particular in-place quicksort whose tie order decides
// which symbol gets which code, so Build() reproduces that sort exactly.
#pragma once

#include <cstdint>

#include "unace/BitReader.h"

namespace unace {

class HuffmanTable {
public:
    static constexpr unsigned kMaxWidth = 11;

    HuffmanTable() { table_[0] = table_[1] = 0; }   // decodes nothing until built
    static constexpr unsigned kMaxSymbols = 290;   // SOUND alphabet 0..289 is the largest

    // Builds the table from widths[0..count-1] (count >= 1, each <= maxWidth).
    // Returns false for an oversubscribed code.
    bool Build(const uint8_t* widths, unsigned count, unsigned maxWidth);

    // Reads a transmitted width list for symbols 0..maxSymbol and builds the
    // table. Returns false on corrupt data.
    bool Read(BitReader& br, unsigned maxSymbol, unsigned maxWidth);

    // Decodes one symbol; needs at least maxWidth bits available (Refill()).
    // Returns -1 for an unassigned code.
    int Decode(BitReader& br) const {
        const uint16_t e = table_[br.Peek(maxWidth_)];
        const unsigned width = e >> kWidthShift;
        if (width == 0) return -1;
        br.Consume(width);
        return e & kSymbolMask;
    }

private:
    bool BuildSorted(uint16_t* entries, unsigned count);

    static constexpr unsigned kWidthShift = 12;
    static constexpr uint16_t kSymbolMask = 0x0FFF;

    unsigned maxWidth_ = 1;
    // symbol | width << 12; 0 = unassigned. Build() writes all 2^maxWidth
    // entries it uses, so the array is not cleared up front (Read() makes a
    // small table per call).
    uint16_t table_[1u << kMaxWidth];
};

}  // namespace unace
