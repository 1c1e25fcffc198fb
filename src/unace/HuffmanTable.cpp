#include "unace/HuffmanTable.h"

#include <utility>

namespace unace {

namespace {

// Orders key[] descending, moving sym[] along. This is the archiver's own
// quicksort (pivot = last element, Hoare-style scans, two-element ranges
// handled by a compare-and-swap); the resulting tie order is part of the
// format. The scans stay inside lo..hi for every input; the bounds in the
// scan loops only make that independent of the argument.
void SortWidths(uint8_t* key, uint16_t* sym, int lo, int hi) {
    auto swap = [&](int a, int b) {
        std::swap(key[a], key[b]);
        std::swap(sym[a], sym[b]);
    };
    int i = lo;
    int j = hi;
    const uint8_t pivot = key[hi];
    for (;;) {
        while (i < hi && key[i] > pivot) ++i;
        while (j > lo && key[j] < pivot) --j;
        if (i <= j) {
            swap(i, j);
            ++i;
            --j;
        }
        if (i >= j) break;
    }
    if (lo < j) {
        if (j - lo >= 2)
            SortWidths(key, sym, lo, j);
        else if (key[lo] < key[j])
            swap(lo, j);
    }
    if (i < hi) {
        if (hi - i >= 2)
            SortWidths(key, sym, i, hi);
        else if (key[i] < key[hi])
            swap(i, hi);
    }
}

}  // namespace

bool HuffmanTable::Build(const uint8_t* widths, unsigned count, unsigned maxWidth) {
    uint8_t key[kMaxSymbols];
    uint16_t sym[kMaxSymbols];
    uint8_t width[kMaxSymbols];
    if (count == 0 || count > kMaxSymbols || maxWidth == 0 || maxWidth > kMaxWidth) return false;
    for (unsigned i = 0; i < count; ++i) {
        if (widths[i] > maxWidth) return false;
        key[i] = width[i] = widths[i];
        sym[i] = uint16_t(i);
    }
    if (count > 1) SortWidths(key, sym, 0, int(count) - 1);

    unsigned used = 0;   // symbols with a nonzero width, now at the front
    while (used < count && key[used] != 0) ++used;
    if (used < 2) {
        // A lone symbol (or none) is sent as a single bit.
        width[sym[0]] = 1;
        if (used == 0) used = 1;
    }

    maxWidth_ = maxWidth;
    const unsigned size = 1u << maxWidth;
    unsigned pos = 0;
    for (unsigned j = used; j-- > 0;) {   // shortest codes first
        const unsigned n = 1u << (maxWidth - key[j]);
        if (pos + n > size) return false;  // oversubscribed
        const uint16_t entry = uint16_t(sym[j] | width[sym[j]] << kWidthShift);
        for (unsigned k = 0; k < n; ++k) table_[pos + k] = entry;
        pos += n;
    }
    for (; pos < size; ++pos) table_[pos] = 0;
    return true;
}

bool HuffmanTable::Read(BitReader& br, unsigned maxSymbol, unsigned maxWidth) {
    unsigned n = br.Read(9);
    if (n > maxSymbol) n = maxSymbol;
    const unsigned lower = br.Read(4);
    const unsigned upper = br.Read(4);

    // The widths are themselves coded with a small code over 0..upper.
    uint8_t codeWidths[16];
    for (unsigned i = 0; i <= upper; ++i) codeWidths[i] = uint8_t(br.Read(3));
    HuffmanTable widthCode;
    if (!widthCode.Build(codeWidths, upper + 1, 7)) return false;

    uint8_t v[kMaxSymbols];
    const unsigned count = n + 1;
    unsigned filled = 0;
    while (filled < count) {
        br.Refill();
        const int s = widthCode.Decode(br);
        if (s < 0 || br.Overrun()) return false;
        if (unsigned(s) < upper) {
            v[filled++] = uint8_t(s);
        } else {
            // A run of 4..19 zero differences: repeats the previous width.
            unsigned run = br.Read(4) + 4;
            if (run > count - filled) run = count - filled;
            while (run--) v[filled++] = 0;
        }
    }
    if (upper > 0)
        for (unsigned i = 1; i < count; ++i) v[i] = uint8_t((v[i] + v[i - 1]) % upper);

    uint8_t widths[kMaxSymbols];
    for (unsigned i = 0; i < count; ++i) {
        const unsigned w = v[i] == 0 ? 0 : v[i] + lower;
        if (w > maxWidth) return false;
        widths[i] = uint8_t(w);
    }
    if (br.Overrun()) return false;
    return Build(widths, count, maxWidth);
}

}  // namespace unace
