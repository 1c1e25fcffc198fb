#include "unace/writer/HuffmanCode.h"

#include <algorithm>
#include <cassert>
#include <numeric>

#include "unace/AceFormat.h"

namespace unace {

// ---- length-limited widths: package-merge --------------------------------
//
// Each level of the algorithm is a list of items sorted by weight; an item is
// either a leaf (one symbol) or a package of two items of the previous level.
// The 2n - 2 lightest items of the last level, expanded to their leaves, give
// every symbol its width: the number of times it occurs among them.

namespace {

struct PmItem {
    uint64_t Weight;
    int32_t Leaf;      // symbol index for leaves, -1 for packages
    int32_t Left;      // packages: indices of both halves in the previous level
    int32_t Right;
};

void CountLeaves(const std::vector<std::vector<PmItem>>& levels, size_t level, int32_t index,
                 std::vector<uint8_t>& widths) {
    const PmItem& item = levels[level][static_cast<size_t>(index)];
    if (item.Leaf >= 0) {
        ++widths[static_cast<size_t>(item.Leaf)];
        return;
    }
    CountLeaves(levels, level - 1, item.Left, widths);
    CountLeaves(levels, level - 1, item.Right, widths);
}

}  // namespace

std::vector<uint8_t> LimitedCodeWidths(std::span<const uint32_t> frequencies, unsigned maxWidth) {
    std::vector<uint8_t> widths(frequencies.size(), 0);
    std::vector<PmItem> leaves;
    for (size_t s = 0; s < frequencies.size(); ++s)
        if (frequencies[s] != 0) leaves.push_back({frequencies[s], static_cast<int32_t>(s), -1, -1});
    if (leaves.empty()) return widths;
    if (leaves.size() == 1) {
        widths[static_cast<size_t>(leaves[0].Leaf)] = 1;
        return widths;
    }
    assert((size_t(1) << maxWidth) >= leaves.size());
    std::stable_sort(leaves.begin(), leaves.end(),
                     [](const PmItem& a, const PmItem& b) { return a.Weight < b.Weight; });

    std::vector<std::vector<PmItem>> levels;
    levels.push_back(leaves);
    for (unsigned level = 1; level < maxWidth; ++level) {
        const std::vector<PmItem>& prev = levels.back();
        std::vector<PmItem> merged;
        merged.reserve(leaves.size() + prev.size() / 2);
        size_t li = 0;
        size_t pi = 0;
        // Packages pair neighbours of the previous level: (0,1), (2,3), ...
        while (li < leaves.size() || pi + 1 < prev.size()) {
            const bool havePackage = pi + 1 < prev.size();
            const uint64_t packageWeight = havePackage ? prev[pi].Weight + prev[pi + 1].Weight : 0;
            if (li < leaves.size() && (!havePackage || leaves[li].Weight <= packageWeight)) {
                merged.push_back(leaves[li++]);
            } else {
                merged.push_back({packageWeight, -1, static_cast<int32_t>(pi), static_cast<int32_t>(pi + 1)});
                pi += 2;
            }
        }
        levels.push_back(std::move(merged));
    }
    const size_t take = 2 * leaves.size() - 2;
    for (size_t i = 0; i < take; ++i) CountLeaves(levels, levels.size() - 1, static_cast<int32_t>(i), widths);
    return widths;
}

// ---- the decoder's sort ---------------------------------------------------
//
// A Hoare-style quicksort into descending key order, pivot = last element,
// exactly as the format's decoder runs it. Ties end up in an order that
// depends on the whole list; nothing else reproduces it.

namespace {

void AceSort(std::vector<uint8_t>& key, std::vector<uint16_t>& sym, int lo, int hi) {
    auto swapAt = [&](int a, int b) {
        std::swap(key[static_cast<size_t>(a)], key[static_cast<size_t>(b)]);
        std::swap(sym[static_cast<size_t>(a)], sym[static_cast<size_t>(b)]);
    };
    int i = lo;
    int j = hi;
    const uint8_t pivot = key[static_cast<size_t>(hi)];
    for (;;) {
        while (key[static_cast<size_t>(i)] > pivot) ++i;
        while (key[static_cast<size_t>(j)] < pivot) --j;
        if (i <= j) {
            swapAt(i, j);
            ++i;
            --j;
        }
        if (i >= j) break;
    }
    if (lo < j) {
        if (j - lo >= 2)
            AceSort(key, sym, lo, j);
        else if (key[static_cast<size_t>(lo)] < key[static_cast<size_t>(j)])
            swapAt(lo, j);
    }
    if (i < hi) {
        if (hi - i >= 2)
            AceSort(key, sym, i, hi);
        else if (key[static_cast<size_t>(i)] < key[static_cast<size_t>(hi)])
            swapAt(i, hi);
    }
}

}  // namespace

std::vector<uint16_t> AssignAceCodes(std::span<const uint8_t> widths, unsigned maxWidth) {
    const size_t count = widths.size();
    std::vector<uint16_t> codes(count, 0);
    if (count == 0) return codes;
    std::vector<uint8_t> key(widths.begin(), widths.end());
    std::vector<uint16_t> sym(count);
    std::iota(sym.begin(), sym.end(), uint16_t{0});
    if (count >= 2) AceSort(key, sym, 0, static_cast<int>(count) - 1);

    size_t used = 0;
    while (used < count && key[used] != 0) ++used;
    if (used < 2) {
        // A lone symbol (or none) is decoded with width 1 and written as a 0 bit.
        codes[sym[0]] = 0;
        return codes;
    }
    uint32_t pos = 0;
    for (size_t j = used; j-- > 0;) {
        const unsigned width = key[j];
        codes[sym[j]] = static_cast<uint16_t>(pos >> (maxWidth - width));
        pos += uint32_t(1) << (maxWidth - width);
    }
    assert(pos <= (uint32_t(1) << maxWidth));
    return codes;
}

HuffmanCode HuffmanCode::Build(std::span<const uint32_t> frequencies, unsigned maxWidth) {
    HuffmanCode code;
    code.Widths = LimitedCodeWidths(frequencies, maxWidth);
    if (std::all_of(code.Widths.begin(), code.Widths.end(), [](uint8_t w) { return w == 0; }))
        code.Widths[0] = 1;
    // The decoder sorts only the transmitted N + 1 widths, N being the highest
    // used symbol; the codes must come from exactly that list.
    size_t last = code.Widths.size();
    while (last > 1 && code.Widths[last - 1] == 0) --last;
    code.Codes = AssignAceCodes(std::span<const uint8_t>(code.Widths.data(), last), maxWidth);
    code.Codes.resize(code.Widths.size(), 0);
    return code;
}

// ---- width tables -----------------------------------------------------------

namespace {

inline constexpr unsigned kRunSymbolMinRun = 4;    // a run symbol covers 4..19 zeros
inline constexpr unsigned kRunSymbolMaxRun = 19;
inline constexpr unsigned kWidthCodeFieldBits = 3;

}  // namespace

void WriteWidthTable(BitWriter& bits, const HuffmanCode& code) {
    const std::vector<uint8_t>& widths = code.Widths;
    size_t last = widths.size();
    while (last > 1 && widths[last - 1] == 0) --last;
    const unsigned n = static_cast<unsigned>(last - 1);

    unsigned smallest = 255;
    unsigned largest = 0;
    for (size_t i = 0; i < last; ++i) {
        if (widths[i] == 0) continue;
        smallest = std::min<unsigned>(smallest, widths[i]);
        largest = std::max<unsigned>(largest, widths[i]);
    }
    // Build() guarantees at least one used symbol.
    const unsigned lower = smallest - 1;
    const unsigned upper = largest - lower + 1;   // <= 12 for widths 1..11

    // Difference list: v = width - LOWER (0 for unused), d[i] = v[i] - v[i-1] mod UPPER.
    std::vector<uint8_t> diffs(last);
    unsigned prevV = 0;
    for (size_t i = 0; i < last; ++i) {
        const unsigned v = widths[i] == 0 ? 0 : widths[i] - lower;
        diffs[i] = static_cast<uint8_t>(i == 0 ? v : (v + upper - prevV) % upper);
        prevV = v;
    }

    // Symbol stream of the width code: d values, and zero runs as UPPER + 4 bits.
    struct WidthSymbol {
        uint8_t Symbol;
        uint8_t RunExtra;
    };
    std::vector<WidthSymbol> stream;
    for (size_t i = 0; i < last;) {
        if (diffs[i] == 0) {
            size_t run = 1;
            while (i + run < last && diffs[i + run] == 0 && run < kRunSymbolMaxRun) ++run;
            if (run >= kRunSymbolMinRun) {
                stream.push_back({static_cast<uint8_t>(upper), static_cast<uint8_t>(run - kRunSymbolMinRun)});
                i += run;
                continue;
            }
        }
        stream.push_back({diffs[i], 0});
        ++i;
    }

    std::vector<uint32_t> freq(upper + 1, 0);
    for (const WidthSymbol& s : stream) ++freq[s.Symbol];
    // The width code's widths are sent for all UPPER + 1 symbols, so its codes
    // come from that full list (Build trims only trailing zeros, which the
    // decoder also has, so pad back to UPPER + 1 before assigning).
    HuffmanCode widthCode;
    widthCode.Widths = LimitedCodeWidths(freq, kWidthCodeMaxWidth);
    widthCode.Codes = AssignAceCodes(widthCode.Widths, kWidthCodeMaxWidth);

    bits.Put(n, 9);
    bits.Put(lower, 4);
    bits.Put(upper, 4);
    for (unsigned s = 0; s <= upper; ++s) bits.Put(widthCode.Widths[s], kWidthCodeFieldBits);
    for (const WidthSymbol& s : stream) {
        widthCode.Put(bits, s.Symbol);
        if (s.Symbol == upper) bits.Put(s.RunExtra, 4);
    }
}

}  // namespace unace
