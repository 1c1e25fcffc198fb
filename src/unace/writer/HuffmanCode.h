// Huffman codes as an ACE stream transmits them.
//
// A code is sent as a list of widths (code lengths); the decoder sorts the
// list with one particular unstable quicksort and hands out table ranges,
// shortest codes first, in the order that sort leaves. The bit patterns
// therefore depend on the exact list length as well as on the widths, so the
// writer derives its codes by running the same sort on exactly the list it
// transmits (see AssignAceCodes).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "unace/writer/BitWriter.h"

namespace unace {

// Optimal code widths, none above `maxWidth`, for the given symbol
// frequencies (package-merge). Unused symbols get width 0. A single used
// symbol gets width 1. If no symbol is used, all widths are 0.
// Requires 2^maxWidth >= number of used symbols.
std::vector<uint8_t> LimitedCodeWidths(std::span<const uint32_t> frequencies, unsigned maxWidth);

// The code of every symbol as the decoder builds it from exactly these
// widths (table of 2^maxWidth entries): the start of the symbol's range
// divided by 2^(maxWidth - width). Unused symbols get code 0.
// `widths` must be what is transmitted: its size is N + 1, and a lone used
// symbol must have width 1.
std::vector<uint16_t> AssignAceCodes(std::span<const uint8_t> widths, unsigned maxWidth);

// A ready code: widths as transmitted plus the matching bit patterns.
struct HuffmanCode {
    std::vector<uint8_t> Widths;   // one per symbol of the full alphabet
    std::vector<uint16_t> Codes;

    // Builds the code for `frequencies` (one per symbol of the alphabet).
    // An alphabet with no used symbol gets symbol 0 as a lone symbol, so the
    // table can still be transmitted and decoded.
    static HuffmanCode Build(std::span<const uint32_t> frequencies, unsigned maxWidth);

    void Put(BitWriter& bits, unsigned symbol) const { bits.Put(Codes[symbol], Widths[symbol]); }
};

// Writes a width table: N (9 bits), LOWER and UPPER (4 bits each), the width
// code's widths (3 bits each), then the difference list coded with the width
// code, runs of 4..19 zero differences as the run symbol UPPER plus 4 bits.
// `code` must come from HuffmanCode::Build with the same maximum width the
// decoder will use for this table (11 for LZ77 tables).
void WriteWidthTable(BitWriter& bits, const HuffmanCode& code);

}  // namespace unace
