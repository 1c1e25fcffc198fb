// Huffman side of the writer: widths stay within the limit and are optimal
// enough, codes match what the reader's table builder makes of exactly the
// transmitted widths, and width tables read back as sent.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "unace/AceFormat.h"
#include "unace/BitReader.h"
#include "unace/HuffmanTable.h"
#include "unace/writer/HuffmanCode.h"

namespace {

using namespace unace;

double KraftSum(const std::vector<uint8_t>& widths) {
    double sum = 0;
    for (uint8_t w : widths)
        if (w) sum += 1.0 / double(1u << w);
    return sum;
}

// Frequency sets that stress the limit: geometric (would want very long
// codes), flat, a single symbol, two symbols, sparse alphabets.
std::vector<std::vector<uint32_t>> FrequencySets() {
    std::vector<std::vector<uint32_t>> sets;
    std::vector<uint32_t> geometric(285, 0);
    for (size_t i = 0; i < 30; ++i) geometric[i * 9] = 1u << (i % 30);
    sets.push_back(geometric);
    sets.push_back(std::vector<uint32_t>(285, 7));
    std::vector<uint32_t> single(285, 0);
    single[284] = 5;
    sets.push_back(single);
    std::vector<uint32_t> two(256, 0);
    two[3] = 1;
    two[200] = 1000;
    sets.push_back(two);
    std::mt19937 rng(7);
    for (int n = 0; n < 40; ++n) {
        std::vector<uint32_t> f(285, 0);
        for (auto& x : f)
            if (rng() % 3 == 0) x = 1 + rng() % (1u << (rng() % 20));
        sets.push_back(f);
    }
    return sets;
}

TEST(HuffmanCode, WidthsAreLimitedCompleteAndNoWorseThanFlat) {
    for (const auto& freq : FrequencySets()) {
        for (unsigned maxWidth : {7u, 11u}) {
            size_t used = 0;
            for (uint32_t f : freq) used += f != 0;
            if (used > (1u << maxWidth)) continue;
            const auto widths = LimitedCodeWidths(freq, maxWidth);
            uint64_t cost = 0, flatCost = 0;
            unsigned flat = 0;
            while ((1u << flat) < used) ++flat;
            for (size_t s = 0; s < freq.size(); ++s) {
                ASSERT_LE(widths[s], maxWidth);
                ASSERT_EQ(widths[s] == 0, freq[s] == 0) << "symbol " << s;
                cost += uint64_t(freq[s]) * widths[s];
                flatCost += uint64_t(freq[s]) * std::max(flat, 1u);
            }
            EXPECT_LE(cost, flatCost);
            if (used >= 2) {
                EXPECT_DOUBLE_EQ(KraftSum(widths), 1.0);
            }
        }
    }
}

// Writes every used symbol's code and decodes it with the reader's table
// built from the same width list: the symbol must come back.
void ExpectCodesDecode(const std::vector<uint8_t>& widths, unsigned maxWidth) {
    const auto codes = AssignAceCodes(widths, maxWidth);
    std::vector<uint8_t> packed;
    BitWriter bits(packed);
    std::vector<unsigned> sent;
    size_t used = 0;
    for (uint8_t w : widths) used += w != 0;
    for (size_t s = 0; s < widths.size(); ++s) {
        if (widths[s] == 0) continue;
        bits.Put(codes[s], used == 1 ? 1 : widths[s]);
        sent.push_back(unsigned(s));
    }
    bits.FlushWord();
    HuffmanTable table;
    ASSERT_TRUE(table.Build(widths.data(), unsigned(widths.size()), maxWidth));
    MemorySource source(packed.data(), packed.size());
    auto buffer = std::make_unique<uint8_t[]>(BitReader::kBufferSize);
    BitReader br;
    br.Reset(&source, buffer.get());
    for (unsigned s : sent) {
        br.Refill();
        ASSERT_EQ(table.Decode(br), int(s));
    }
}

TEST(HuffmanCode, CodesFollowTheDecodersSortOnTheTransmittedList) {
    for (const auto& freq : FrequencySets()) {
        size_t used = 0;
        for (uint32_t f : freq) used += f != 0;
        const auto code = HuffmanCode::Build(freq, kMainMaxWidth);
        size_t last = code.Widths.size();
        while (last > 1 && code.Widths[last - 1] == 0) --last;
        ExpectCodesDecode(std::vector<uint8_t>(code.Widths.begin(), code.Widths.begin() + long(last)), kMainMaxWidth);
    }
    // The tie order depends on the list length: codes computed from a list
    // padded with zeros differ from those of the trimmed list, which is
    // exactly why the writer must sort what it transmits.
    for (const auto& [widths, padTo] : std::vector<std::pair<std::vector<uint8_t>, size_t>>{
             {{1, 1}, 18}, {{2, 0, 0, 4, 2, 4, 0, 2, 3}, 11}}) {
        std::vector<uint8_t> padded = widths;
        padded.resize(padTo, 0);
        auto a = AssignAceCodes(widths, 11);
        auto b = AssignAceCodes(padded, 11);
        b.resize(widths.size());
        EXPECT_NE(a, b);
        ExpectCodesDecode(widths, 11);
        ExpectCodesDecode(padded, 11);
    }
}

TEST(HuffmanCode, WidthTablesReadBackAsSent) {
    for (const auto& freq : FrequencySets()) {
        const unsigned maxSymbol = unsigned(freq.size()) - 1;
        const auto code = HuffmanCode::Build(freq, kMainMaxWidth);
        std::vector<uint8_t> packed;
        BitWriter bits(packed);
        WriteWidthTable(bits, code);
        // Follow with every used symbol, so the table must decode them.
        std::vector<unsigned> sent;
        for (size_t s = 0; s < freq.size(); ++s)
            if (code.Widths[s]) {
                code.Put(bits, unsigned(s));
                sent.push_back(unsigned(s));
            }
        bits.FlushWord();
        MemorySource source(packed.data(), packed.size());
        auto buffer = std::make_unique<uint8_t[]>(BitReader::kBufferSize);
        BitReader br;
        br.Reset(&source, buffer.get());
        HuffmanTable table;
        ASSERT_TRUE(table.Read(br, maxSymbol, kMainMaxWidth));
        for (unsigned s : sent) {
            br.Refill();
            ASSERT_EQ(table.Decode(br), int(s));
        }
        EXPECT_FALSE(br.Overrun());
    }
}

TEST(HuffmanCode, EmptyAlphabetBecomesALoneSymbolWrittenAsOneZeroBit) {
    std::vector<uint32_t> none(256, 0);
    const auto code = HuffmanCode::Build(none, kMainMaxWidth);
    EXPECT_EQ(code.Widths[0], 1);
    EXPECT_EQ(code.Codes[0], 0);
}

}  // namespace
