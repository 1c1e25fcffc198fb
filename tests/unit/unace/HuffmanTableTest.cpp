// The decoding tables against a plain transcription of the archiver's sort
// and code assignment, on random width lists of every alphabet size; plus
// the width-list reader's corrupt-data checks.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "unace/BitReader.h"
#include "unace/HuffmanTable.h"

namespace {

// The sort exactly as the format describes it: two arrays, recursion on
// both sides, no shortcuts.
void ReferenceSort(std::vector<int>& key, std::vector<int>& sym, int lo, int hi) {
    auto swap = [&](int a, int b) {
        std::swap(key[size_t(a)], key[size_t(b)]);
        std::swap(sym[size_t(a)], sym[size_t(b)]);
    };
    int i = lo, j = hi;
    const int p = key[size_t(hi)];
    for (;;) {
        while (key[size_t(i)] > p) ++i;
        while (key[size_t(j)] < p) --j;
        if (i <= j) {
            swap(i, j);
            ++i;
            --j;
        }
        if (i >= j) break;
    }
    if (lo < j) {
        if (j - lo >= 2)
            ReferenceSort(key, sym, lo, j);
        else if (key[size_t(lo)] < key[size_t(j)])
            swap(lo, j);
    }
    if (i < hi) {
        if (hi - i >= 2)
            ReferenceSort(key, sym, i, hi);
        else if (key[size_t(i)] < key[size_t(hi)])
            swap(i, hi);
    }
}

// Reference table: symbol and consumed width per W-bit pattern, -1 unassigned;
// empty if oversubscribed.
std::vector<std::pair<int, int>> ReferenceTable(const std::vector<int>& widths, int maxWidth) {
    std::vector<int> key = widths, sym(widths.size()), width = widths;
    for (size_t i = 0; i < sym.size(); ++i) sym[i] = int(i);
    if (widths.size() > 1) ReferenceSort(key, sym, 0, int(widths.size()) - 1);
    size_t used = 0;
    while (used < key.size() && key[used] != 0) ++used;
    if (used < 2) {
        width[size_t(sym[0])] = 1;
        if (used == 0) used = 1;
    }
    std::vector<std::pair<int, int>> table(size_t(1) << maxWidth, {-1, 0});
    size_t pos = 0;
    for (size_t j = used; j-- > 0;) {
        const size_t n = size_t(1) << (maxWidth - key[j]);
        if (pos + n > table.size()) return {};
        for (size_t k = 0; k < n; ++k) table[pos + k] = {sym[j], width[size_t(sym[j])]};
        pos += n;
    }
    return table;
}

// Decodes the W-bit pattern x with the library's table and returns the
// symbol and the number of bits it consumed. A marker bit right after the
// pattern shows how far the reader moved.
std::pair<int, int> DecodePattern(const unace::HuffmanTable& table, unsigned x, int maxWidth) {
    const uint32_t word = x << (32 - maxWidth) | 1u << (31 - maxWidth);
    uint8_t bytes[8] = {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16), uint8_t(word >> 24)};
    unace::MemorySource source(bytes, sizeof bytes);
    static std::vector<uint8_t> buffer(unace::BitReader::kBufferSize);
    unace::BitReader br;
    br.Reset(&source, buffer.data());
    const int s = table.Decode(br);
    if (s < 0) return {-1, 0};
    br.Refill();
    const uint32_t rest = br.Peek(32);
    for (int consumed = 0; consumed <= maxWidth; ++consumed)
        if (uint32_t(uint64_t(word) << consumed) == rest) return {s, consumed};
    return {s, -1};
}

TEST(HuffmanTable, MatchesTheReferenceOnRandomWidthLists) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 300; ++trial) {
        const int maxWidth = trial % 3 == 0 ? 7 : 11;
        const size_t count = 1 + rng() % (trial % 5 == 0 ? 3 : 290);
        std::vector<int> widths(count);
        const int density = 1 + int(rng() % 4);   // how many symbols get a width
        for (int& w : widths) w = rng() % 4 < unsigned(density) ? int(1 + rng() % maxWidth) : 0;
        // Favour near-complete codes: lengthen widths until the code fits.
        auto reference = ReferenceTable(widths, maxWidth);
        for (int guard = 0; reference.empty() && guard < 200; ++guard) {
            widths[rng() % count] = std::min(maxWidth, 1 + widths[rng() % count]);
            reference = ReferenceTable(widths, maxWidth);
        }
        std::vector<uint8_t> w8(widths.begin(), widths.end());
        unace::HuffmanTable table;
        const bool built = table.Build(w8.data(), unsigned(count), unsigned(maxWidth));
        ASSERT_EQ(built, !reference.empty()) << "trial " << trial;
        if (!built) continue;
        for (unsigned x = 0; x < reference.size(); ++x) {
            const auto got = DecodePattern(table, x, maxWidth);
            ASSERT_EQ(got.first, reference[x].first) << "trial " << trial << " pattern " << x;
            if (got.first >= 0) {
                ASSERT_EQ(got.second, reference[x].second) << "trial " << trial << " pattern " << x;
            }
        }
    }
}

// Lists with no used symbol or a lone one: the order of the unused symbols
// decides which symbol gets the one-bit code when none is used, and a lone
// symbol keeps the table share of its declared width but consumes one bit.
TEST(HuffmanTable, MatchesTheReferenceWithNoneOrOneSymbolUsed) {
    std::mt19937 rng(11);
    for (size_t count = 1; count <= unace::HuffmanTable::kMaxSymbols; ++count) {
        for (int lone = 0; lone < 2; ++lone) {
            std::vector<int> widths(count, 0);
            if (lone) widths[rng() % count] = int(1 + rng() % 11);
            const auto reference = ReferenceTable(widths, 11);
            std::vector<uint8_t> w8(widths.begin(), widths.end());
            unace::HuffmanTable table;
            ASSERT_TRUE(table.Build(w8.data(), unsigned(count), 11)) << count;
            for (unsigned x = 0; x < reference.size(); x += 7) {
                const auto got = DecodePattern(table, x, 11);
                ASSERT_EQ(got.first, reference[x].first) << "count " << count << " pattern " << x;
                if (got.first >= 0) {
                    ASSERT_EQ(got.second, 1) << "count " << count;
                }
            }
        }
    }
}

TEST(HuffmanTable, RejectsOversubscribedCodesAndLeavesNothingDecodable) {
    const uint8_t widths[] = {1, 1, 1};
    unace::HuffmanTable table;
    EXPECT_FALSE(table.Build(widths, 3, 11));
    EXPECT_EQ(DecodePattern(table, 0, 11).first, -1);
    const uint8_t tooLong[] = {12, 1};
    EXPECT_FALSE(table.Build(tooLong, 2, 11));
}

}  // namespace
