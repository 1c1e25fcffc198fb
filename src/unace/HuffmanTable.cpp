#include "unace/HuffmanTable.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace unace {

namespace {

// Orders the entries by width, descending. Each entry packs width << 9 |
// symbol, so one swap moves both and comparisons look at the width only.
// This is the archiver's own quicksort (pivot = last element, Hoare-style
// scans, two-element ranges handled by a compare-and-swap); its tie order is
// part of the format. The scans stay inside lo..hi for every input; the
// bounds in the scan loops only make that independent of the argument.
constexpr unsigned kSymbolBits = 9;

inline unsigned WidthOf(uint16_t entry) { return entry >> kSymbolBits; }

void SortWidths(uint16_t* e, int lo, int hi, bool useRuns = true);

// When all entries of a range have the same width, every comparison comes
// out the same, so the order the sort leaves them in depends only on the
// range's length. Most widths are equal (long runs of unused symbols), so
// those ranges are rearranged from a table computed once per length.
class EqualRuns {
public:
    EqualRuns() {
        uint16_t e[HuffmanTable::kMaxSymbols];
        for (unsigned n = 1; n <= HuffmanTable::kMaxSymbols; ++n) {
            for (unsigned k = 0; k < n; ++k) e[k] = uint16_t(k);
            SortWidths(e, 0, int(n) - 1, false);
            offset_[n] = uint32_t(order_.size());
            order_.insert(order_.end(), e, e + n);
        }
    }
    // Rearranges e[lo..hi] (all of one width) as the sort would.
    void Apply(uint16_t* e, int lo, int hi) const {
        const unsigned n = unsigned(hi - lo + 1);
        uint16_t copy[HuffmanTable::kMaxSymbols];
        std::copy(e + lo, e + hi + 1, copy);
        const uint16_t* order = &order_[offset_[n]];
        for (unsigned k = 0; k < n; ++k) e[lo + int(k)] = copy[order[k]];
    }

private:
    std::vector<uint16_t> order_;
    uint32_t offset_[HuffmanTable::kMaxSymbols + 1] = {};
};

const EqualRuns& Runs() {
    static const EqualRuns runs;
    return runs;
}

void SortWidths(uint16_t* e, int lo, int hi, bool useRuns) {
    for (;;) {
        if (useRuns) {
            const unsigned first = WidthOf(e[lo]);
            int k = lo + 1;
            while (k <= hi && WidthOf(e[k]) == first) ++k;
            if (k > hi) {
                Runs().Apply(e, lo, hi);
                return;
            }
        }
        int i = lo;
        int j = hi;
        const unsigned pivot = WidthOf(e[hi]);
        for (;;) {
            while (i < hi && WidthOf(e[i]) > pivot) ++i;
            while (j > lo && WidthOf(e[j]) < pivot) --j;
            if (i <= j) {
                std::swap(e[i], e[j]);
                ++i;
                --j;
            }
            if (i >= j) break;
        }
        if (lo < j) {
            if (j - lo >= 2)
                SortWidths(e, lo, j, useRuns);
            else if (WidthOf(e[lo]) < WidthOf(e[j]))
                std::swap(e[lo], e[j]);
        }
        if (i >= hi) return;
        if (hi - i < 2) {
            if (WidthOf(e[i]) < WidthOf(e[hi])) std::swap(e[i], e[hi]);
            return;
        }
        lo = i;   // the second recursion, as a loop
    }
}

}  // namespace

bool HuffmanTable::Build(const uint8_t* widths, unsigned count, unsigned maxWidth) {
    uint16_t sorted[kMaxSymbols];
    uint8_t width[kMaxSymbols];
    if (count == 0 || count > kMaxSymbols || maxWidth == 0 || maxWidth > kMaxWidth) return false;
    for (unsigned i = 0; i < count; ++i) {
        if (widths[i] > maxWidth) return false;
        width[i] = widths[i];
        sorted[i] = uint16_t(widths[i] << kSymbolBits | i);
    }
    if (count > 1) SortWidths(sorted, 0, int(count) - 1);

    unsigned used = 0;   // symbols with a nonzero width, now at the front
    while (used < count && WidthOf(sorted[used]) != 0) ++used;
    if (used < 2) {
        // A lone symbol (or none) is sent as a single bit.
        width[sorted[0] & 0x1FF] = 1;
        if (used == 0) used = 1;
    }

    // The table only needs as many index bits as the longest code (the
    // first entry after sorting): a code of width w fills 2^(bits - w)
    // entries either way, so small tables are quick to build.
    const unsigned bits = std::max(1u, WidthOf(sorted[0]));
    maxWidth_ = bits;
    const unsigned size = 1u << bits;
    unsigned pos = 0;
    for (unsigned j = used; j-- > 0;) {   // shortest codes first
        const unsigned symbol = sorted[j] & 0x1FF;
        const unsigned n = 1u << (bits - WidthOf(sorted[j]));
        if (pos + n > size) {   // oversubscribed: leave no half-built table behind
            std::fill(table_, table_ + size, uint16_t(0));
            return false;
        }
        const uint16_t entry = uint16_t(symbol | width[symbol] << kWidthShift);
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
        for (unsigned i = 1; i < count; ++i) {
            // Both terms are below upper, so one subtraction reduces the sum.
            const unsigned sum = v[i] + v[i - 1];
            v[i] = uint8_t(sum >= upper ? sum - upper : sum);
        }

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
