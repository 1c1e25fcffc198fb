// The LZ77 stream: every input must decode back exactly, under each rule of
// the format (length ranges per distance class, distances inside the
// dictionary and the history, exact block counts, word padding).
#include <gtest/gtest.h>

#include <tuple>

#include "StreamDecoder.h"
#include "TestData.h"
#include "unace/writer/Lz77Encoder.h"

namespace {

using namespace unace;
using namespace acewriter_test;

std::vector<uint8_t> Encode(Lz77Encoder& enc, const std::vector<uint8_t>& data, bool keepHistory,
                            size_t chunk = 100000) {
    std::vector<uint8_t> packed;
    const Lz77Encoder::Sink sink = [&](std::span<const uint8_t> p) { packed.insert(packed.end(), p.begin(), p.end()); };
    enc.BeginEntry(keepHistory);
    for (size_t at = 0; at < data.size(); at += chunk)
        enc.Write(std::span(data).subspan(at, std::min(chunk, data.size() - at)), sink);
    enc.EndEntry(sink);
    return packed;
}

using Case = std::tuple<Pattern, unsigned /*D*/, unsigned /*level*/>;
class Lz77RoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(Lz77RoundTrip, DecodesToTheInput) {
    const auto [pattern, d, level] = GetParam();
    auto params = Lz77Params::ForLevel(level, d);
    Lz77Encoder enc(params);
    for (size_t size : {size_t(1), size_t(2), size_t(5), size_t(300), size_t(70000), size_t(700000)}) {
        const auto data = MakeData(pattern, size, uint32_t(size + d));
        const auto packed = Encode(enc, data, false, 65536 + 7);
        std::vector<uint8_t> out;
        ASSERT_EQ(DecodeLz77Entry(packed, data.size(), out, enc.DictionarySize()), "") << "size " << size;
        ASSERT_EQ(out, data) << "size " << size;
    }
}

INSTANTIATE_TEST_SUITE_P(PatternsDictionariesLevels, Lz77RoundTrip,
                         ::testing::Combine(::testing::Values(Pattern::Text, Pattern::Random, Pattern::Runs,
                                                              Pattern::Mixed),
                                            ::testing::Values(0u, 3u, 10u), ::testing::Values(1u, 3u, 5u)));

TEST(Lz77Encoder, SolidEntriesReachIntoEarlierOnesAndDecodeInOrder) {
    Lz77Encoder enc(Lz77Params::ForLevel(3, 10));
    const auto first = MakeData(Pattern::Random, 50000, 1);
    const auto second = first;   // all of it is a copy of the previous entry
    const auto third = MakeData(Pattern::Mixed, 90000, 3);
    std::vector<uint8_t> history;
    size_t packedSecond = 0;
    for (const std::vector<uint8_t>* data : {&first, &second, &third}) {
        const auto packed = Encode(enc, *data, true);
        if (data == &second) packedSecond = packed.size();
        const size_t before = history.size();
        ASSERT_EQ(DecodeLz77Entry(packed, data->size(), history, enc.DictionarySize()), "");
        ASSERT_TRUE(std::equal(data->begin(), data->end(), history.begin() + long(before)));
    }
    EXPECT_LT(packedSecond, 2000u);
}

TEST(Lz77Encoder, NonSolidEntriesNeverReachBack) {
    Lz77Encoder enc(Lz77Params::ForLevel(3, 10));
    const auto data = MakeData(Pattern::Text, 40000, 9);
    for (int i = 0; i < 3; ++i) {
        const auto packed = Encode(enc, data, false);
        std::vector<uint8_t> out;   // an empty history: any reach back fails
        ASSERT_EQ(DecodeLz77Entry(packed, data.size(), out, enc.DictionarySize()), "");
        ASSERT_EQ(out, data);
    }
}

TEST(Lz77Encoder, RepeatsBeyondTheDictionaryAreNotUsed) {
    // A 3000-byte random block repeated: with a 1 KiB dictionary the copy is
    // out of reach and must be sent as literals; with 4 KiB it is one match.
    auto block = MakeData(Pattern::Random, 3000, 5);
    std::vector<uint8_t> data = block;
    data.insert(data.end(), block.begin(), block.end());
    for (unsigned d : {0u, 2u}) {
        Lz77Encoder enc(Lz77Params::ForLevel(5, d));
        const auto packed = Encode(enc, data, false);
        std::vector<uint8_t> out;
        ASSERT_EQ(DecodeLz77Entry(packed, data.size(), out, enc.DictionarySize()), "");
        ASSERT_EQ(out, data);
        if (d == 0) EXPECT_GT(packed.size(), 5900u);
        else EXPECT_LT(packed.size(), 3300u);
    }
}

TEST(Lz77Encoder, ManySmallBlocksAndWindowSlides) {
    // One-symbol and seven-symbol blocks exercise block headers with lone
    // symbols; 1.3 MiB through a 256 KiB window half forces slides.
    for (unsigned blockSymbols : {1u, 7u, 32767u}) {
        auto params = Lz77Params::ForLevel(2, 8);
        params.BlockSymbols = blockSymbols;
        Lz77Encoder enc(params);
        const auto data = MakeData(Pattern::Mixed, blockSymbols == 32767 ? 1'300'000 : 20000, blockSymbols);
        std::vector<uint8_t> history;
        for (int entry = 0; entry < 2; ++entry) {
            const auto packed = Encode(enc, data, true, 4096);
            const size_t before = history.size();
            ASSERT_EQ(DecodeLz77Entry(packed, data.size(), history, enc.DictionarySize()), "") << blockSymbols;
            ASSERT_TRUE(std::equal(data.begin(), data.end(), history.begin() + long(before)));
        }
    }
}

TEST(Lz77Encoder, CompressesTextWell) {
    Lz77Encoder enc(Lz77Params::ForLevel(3, 10));
    const auto data = MakeData(Pattern::Text, 500000, 11);
    const auto packed = Encode(enc, data, false);
    EXPECT_LT(packed.size(), data.size() / 3);
}

}  // namespace
