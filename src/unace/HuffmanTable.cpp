#include "unace/HuffmanTable.h"

#include <algorithm>
#include <utility>

namespace unace {

namespace {

// Orders the entries by width, descending. Each entry packs width << 9 |
// symbol, so one swap moves both and comparisons look at the width only.
// This is the archiver's own quicksort (pivot = last element, Hoare-style
// scans, two-element ranges handled by a compare-and-swap); its tie order is
// part of the format. The scans stay inside lo..hi for every input; the
// bounds in the scan loops only make that independent of the argument.
constexpr unsigned kSymbolBits = 9;

constexpr unsigned WidthOf(uint16_t entry) { return entry >> kSymbolBits; }

// Ranges whose entries all have one width are handed to `equalRange`
// instead of being sorted: the order the sort leaves them in depends only
// on their length.
template <typename Equal>
constexpr void SortWidths(uint16_t* e, int lo, int hi, const Equal& equalRange) {
    for (;;) {
        {
            const unsigned first = WidthOf(e[lo]);
            int k = lo + 1;
            while (k <= hi && WidthOf(e[k]) == first) ++k;
            if (k > hi) {
                equalRange(e, lo, hi);
                return;
            }
        }
        int i = lo;
        int j = hi;
        // Entries compare by width: width > pivot <=> entry >= above,
        // width < pivot <=> entry < below.
        const unsigned below = unsigned(WidthOf(e[hi])) << kSymbolBits;
        const unsigned above = below + (1u << kSymbolBits);
        for (;;) {
            while (i < hi && e[i] >= above) ++i;
            while (j > lo && e[j] < below) --j;
            if (i <= j) {
                std::swap(e[i], e[j]);
                ++i;
                --j;
            }
            if (i >= j) break;
        }
        if (lo < j) {
            if (j - lo >= 2)
                SortWidths(e, lo, j, equalRange);
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

// Most widths are equal (long runs of unused symbols), so the order the
// sort leaves an equal range of each length in is worked out once.
//
// On an equal range every comparison comes out the same: the partitioning
// swaps reverse the range and stop with i = n / 2 and j = (n - 1) / 2 (for
// odd n both parts share the middle entry); then the part 0..j and the part
// i..n-1 are sorted in turn, each only if it has three entries or more (a
// two-entry part is a compare-and-swap that leaves equal entries as they
// are). The parts are shorter equal ranges, so each length's order is
// composed from those of shorter lengths.
class EqualRuns {
public:
    static constexpr unsigned kMaxLength = HuffmanTable::kMaxSymbols;

    constexpr EqualRuns() {
        unsigned at = 0;
        for (unsigned n = 1; n <= kMaxLength; ++n) {
            offset_[n] = uint16_t(at);
            uint16_t* order = &order_[at];
            for (unsigned k = 0; k < n; ++k) order[k] = uint16_t(n - 1 - k);
            const unsigned left = (n - 1) / 2 + 1, right = n - n / 2;
            if (left >= 3) Compose(order, left);
            if (right >= 3) Compose(order + n / 2, right);
            at += n;
        }
    }
    // Rearranges e[lo..hi] (all of one width) as the sort would.
    void Apply(uint16_t* e, int lo, int hi) const {
        const unsigned n = unsigned(hi - lo + 1);
        uint16_t copy[kMaxLength];
        std::copy(e + lo, e + hi + 1, copy);
        const uint16_t* order = &order_[offset_[n]];
        for (unsigned k = 0; k < n; ++k) e[lo + int(k)] = copy[order[k]];
    }

private:
    // Rearranges order[0..n-1] by the order of length n.
    constexpr void Compose(uint16_t* order, unsigned n) const {
        uint16_t copy[kMaxLength] = {};
        for (unsigned k = 0; k < n; ++k) copy[k] = order[k];
        const uint16_t* by = &order_[offset_[n]];
        for (unsigned k = 0; k < n; ++k) order[k] = copy[by[k]];
    }

    uint16_t order_[kMaxLength * (kMaxLength + 1) / 2] = {};
    uint16_t offset_[kMaxLength + 1] = {};
};

// Constant-initialised by compilers that evaluate it within their limits,
// otherwise built once on first use.
const EqualRuns& Runs() {
    static const EqualRuns runs;
    return runs;
}

}  // namespace

bool HuffmanTable::Build(const uint8_t* widths, unsigned count, unsigned maxWidth) {
    if (count == 0 || count > kMaxSymbols || maxWidth == 0 || maxWidth > kMaxWidth) return false;
    uint16_t entries[kMaxSymbols];
    for (unsigned i = 0; i < count; ++i) {
        if (widths[i] > maxWidth) return false;
        entries[i] = uint16_t(widths[i] << kSymbolBits | i);
    }
    return BuildSorted(entries, count);
}

// `e` holds width << 9 | symbol for symbols 0..count-1, widths checked.
bool HuffmanTable::BuildSorted(uint16_t* e, unsigned count) {
    if (count > 1)
        SortWidths(e, 0, int(count) - 1, [](uint16_t* range, int lo, int hi) {
            // Unused symbols get no code, so their order only matters when
            // no symbol is used at all (then the first one gets a code, and
            // the range starts at 0).
            if (lo > 0 && WidthOf(range[lo]) == 0) return;
            Runs().Apply(range, lo, hi);
        });

    unsigned used = 0;   // symbols with a nonzero width, now at the front
    while (used < count && WidthOf(e[used]) != 0) ++used;
    // A lone symbol (or none) is sent as a single bit: its width, not the
    // share of the table its code fills, becomes 1.
    const unsigned loneSymbol = used < 2 ? e[0] & 0x1FF : kMaxSymbols;
    if (used == 0) used = 1;

    // The table only needs as many index bits as the longest code (the
    // first entry after sorting): a code of width w fills 2^(bits - w)
    // entries either way, so small tables are quick to build.
    const unsigned bits = std::max(1u, WidthOf(e[0]));
    maxWidth_ = bits;
    const unsigned size = 1u << bits;
    unsigned pos = 0;
    for (unsigned j = used; j-- > 0;) {   // shortest codes first
        const unsigned symbol = e[j] & 0x1FF;
        const unsigned width = WidthOf(e[j]);
        const unsigned n = 1u << (bits - width);
        if (pos + n > size) {   // oversubscribed: leave no half-built table behind
            std::fill(table_, table_ + size, uint16_t(0));
            return false;
        }
        const unsigned codeWidth = symbol == loneSymbol ? 1 : width;
        std::fill(table_ + pos, table_ + pos + n, uint16_t(symbol | codeWidth << kWidthShift));
        pos += n;
    }
    std::fill(table_ + pos, table_ + size, uint16_t(0));
    return true;
}

bool HuffmanTable::Read(BitReader& reader, unsigned maxSymbol, unsigned maxWidth) {
    // A local copy keeps the reader in registers through the symbol loop.
    BitReader br = reader;
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
            const unsigned run = std::min(br.Read(4) + 4, count - filled);
            std::fill(v + filled, v + filled + run, uint8_t(0));
            filled += run;
        }
    }
    if (br.Overrun()) return false;
    reader = br;

    // Undo the differences (mod upper) and turn values into widths.
    uint16_t entries[kMaxSymbols];
    unsigned value = 0;
    for (unsigned i = 0; i < count; ++i) {
        // Both terms are below upper, so one subtraction reduces the sum.
        value += v[i];
        if (value >= upper && upper > 0) value -= upper;
        const unsigned w = value == 0 ? 0 : value + lower;
        if (w > maxWidth) return false;
        entries[i] = uint16_t(w << kSymbolBits | i);
    }
    return BuildSorted(entries, count);
}

}  // namespace unace
