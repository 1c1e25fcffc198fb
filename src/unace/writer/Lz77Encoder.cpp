#include "unace/writer/Lz77Encoder.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

#include "unace/AceFormat.h"
#include "unace/writer/HuffmanCode.h"

namespace unace {

namespace {

// Bytes kept ahead of the encoding position while more input may follow:
// a full-length match at Pos and at Pos + 1 (the lazy look) plus the 3-byte
// hash prefix.
inline constexpr uint32_t kMinLookahead = kMaxMatchLength + 3;
// Smallest window half; bigger than any dictionary keeps slides rare.
inline constexpr uint32_t kMinWindowHalf = 1u << 18;
// Slack after the window so that 8-byte compares may read past Fill.
inline constexpr uint32_t kWindowSlack = 16;

inline constexpr unsigned kMainSymbols = kMainSymbolMax + 1;
inline constexpr unsigned kLengthSymbols = kLengthSymbolMax + 1;
inline constexpr int32_t kCostScale = 16;   // costs are in 1/16 bit

// Distance code d = distance - 1. Length symbols start at 2, 3 or 4 depending
// on how far the match reaches (new distances) or which repeat it uses.
inline uint32_t MinLengthForDistance(uint32_t distance) {
    const uint32_t d = distance - 1;
    return d <= 255 ? 2 : d <= 8191 ? 3 : 4;
}
inline uint32_t MinLengthForRepeat(int k) { return k <= 1 ? 2 : 3; }

inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
// Largest distance of a 3-byte match (distance code 8191).
inline constexpr uint32_t kMaxShortMatchDistance = 8192;
inline constexpr unsigned kHash3Bits = 14;
// Literals in a row after which the match search thins out.
inline constexpr uint32_t kSkipAfter = 256;

inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

}  // namespace

Lz77Params Lz77Params::ForLevel(unsigned level, unsigned dictionaryD) {
    Lz77Params p;
    p.DictionaryD = dictionaryD;
    switch (std::clamp(level, 1u, 5u)) {
        case 1: p.MaxChain = 4; p.NiceLength = 16; p.LazyLength = 4; p.GoodLength = 4; break;
        case 2: p.MaxChain = 8; p.NiceLength = 32; p.LazyLength = 8; p.GoodLength = 4; break;
        case 3: p.MaxChain = 32; p.NiceLength = 128; p.LazyLength = 32; p.GoodLength = 8; break;
        case 4: p.MaxChain = 64; p.NiceLength = 192; p.LazyLength = 64; p.GoodLength = 16; break;
        default: p.MaxChain = 256; p.NiceLength = 259; p.LazyLength = 259; p.GoodLength = 32; break;
    }
    return p;
}

uint32_t Lz77Encoder::Hash4(uint32_t prefix) const { return (prefix * 0x9E3779B1u) >> (32 - HashBits); }

uint32_t Lz77Encoder::Hash3(uint32_t prefix) { return ((prefix & 0xFFFFFF) * 0x9E3779B1u) >> (32 - kHash3Bits); }

Lz77Encoder::Lz77Encoder(const Lz77Params& params) : Params(params) {
    assert(params.DictionaryD <= kMaxDictionaryD);
    assert(params.BlockSymbols >= 1 && params.BlockSymbols <= kMaxBlockCount);
    DictSize = uint32_t(1) << (kDictionaryBitsBase + params.DictionaryD);
    WSize = std::max(DictSize, kMinWindowHalf);
    MaxDist = std::min(DictSize, WSize - kMinLookahead);
    // About 4..8 positions of the window per bucket keeps chains to real matches.
    HashBits = params.DictionaryD >= 10 ? 18 : params.DictionaryD >= 8 ? 17 : 16;
    Window.assign(size_t(2) * WSize + kWindowSlack, 0);
    Head.assign(size_t(1) << HashBits, 0);
    Head3.assign(size_t(1) << kHash3Bits, 0);
    Prev.assign(WSize, 0);
    Block.reserve(Params.BlockSymbols);
    // Until a block has been coded, assume 8-bit literals and cheap matches.
    std::fill(std::begin(MainCost), std::end(MainCost), static_cast<uint16_t>(8 * kCostScale));
    for (unsigned s = kSymbolFirstRepeat; s < kMainSymbols; ++s) MainCost[s] = 6 * kCostScale;
    for (unsigned s = 0; s < kLengthSymbols; ++s) LengthCost[s] = (s < 16 ? 4 : 8) * kCostScale;
    ResetHistory();
}

Lz77Encoder::~Lz77Encoder() = default;

void Lz77Encoder::ResetHistory() {
    // Position 0 holds a dummy byte: 0 means "no position" in the hash chains.
    std::fill(Head.begin(), Head.end(), 0);
    std::fill(Head3.begin(), Head3.end(), 0);
    Window[0] = 0;
    Fill = 1;
    Pos = 1;
    InsertNext = 1;
    HistoryStart = 1;
}

void Lz77Encoder::BeginEntry(bool keepHistory) {
    if (!keepHistory) ResetHistory();
    HistoryStart = keepHistory ? std::min(HistoryStart, Pos) : Pos;
    std::fill(std::begin(Repeats), std::end(Repeats), 0);
    HavePending = false;
    LiteralRun = 0;
    Block.clear();
    Out.clear();
    Bits.Reset();
}

void Lz77Encoder::SlideWindow() {
    assert(Pos >= WSize);
    std::memmove(Window.data(), Window.data() + WSize, Fill - WSize);
    Fill -= WSize;
    Pos -= WSize;
    InsertNext -= WSize;
    HistoryStart = HistoryStart > WSize ? HistoryStart - WSize : 0;
    for (uint32_t& h : Head) h = h > WSize ? h - WSize : 0;
    for (uint32_t& h : Head3) h = h > WSize ? h - WSize : 0;
    for (uint32_t& p : Prev) p = p > WSize ? p - WSize : 0;
}

void Lz77Encoder::InsertUpTo(uint32_t last) {
    const uint32_t mask = WSize - 1;
    uint32_t p = InsertNext;
    // Each position needs its 4-byte prefix; the last bytes of an entry wait
    // for the next entry's data (solid) or are never inserted.
    const uint32_t end = std::min(last + 1, Fill >= 4 ? Fill - 3 : 0);
    for (; p < end; ++p) {
        const uint32_t prefix = Load32(&Window[p]);
        const uint32_t h = Hash4(prefix);
        Prev[p & mask] = Head[h];
        Head[h] = p;
        Head3[Hash3(prefix)] = p;
    }
    InsertNext = std::max(InsertNext, p);
}

uint32_t Lz77Encoder::MatchLength(uint32_t a, uint32_t b, uint32_t maxLen) const {
    const uint8_t* pa = Window.data() + a;
    const uint8_t* pb = Window.data() + b;
    uint32_t len = 0;
    while (len < maxLen) {
        const uint64_t diff = Load64(pa + len) ^ Load64(pb + len);
        if (diff != 0) {
            len += static_cast<uint32_t>(std::countr_zero(diff)) / 8;
            return std::min(len, maxLen);
        }
        len += 8;
    }
    return maxLen;
}

void Lz77Encoder::FindMatch(uint32_t pos, uint32_t maxLen, unsigned chain, uint32_t& bestLen,
                            uint32_t& bestDist) const {
    bestLen = 0;
    bestDist = 0;
    if (maxLen < 3 || pos + 3 >= Fill) return;
    const uint32_t mask = WSize - 1;
    const uint32_t limit = std::max(pos > MaxDist ? pos - MaxDist : 0, HistoryStart > 0 ? HistoryStart - 1 : 0);
    const uint8_t* cur = Window.data() + pos;
    const uint32_t prefix = Load32(cur);

    // Three-byte matches are only allowed up to 8 KiB back: the latest
    // position with the same 3-byte hash is the one worth a look.
    uint32_t len3 = 0;
    const uint32_t cand3 = Head3[Hash3(prefix)];
    if (cand3 > limit && pos - cand3 <= kMaxShortMatchDistance &&
        (Load32(&Window[cand3]) & 0xFFFFFF) == (prefix & 0xFFFFFF)) {
        len3 = MatchLength(cand3, pos, maxLen);
        bestLen = len3;
        bestDist = pos - cand3;
        if (len3 >= Params.NiceLength || len3 >= maxLen) return;
    }

    // Longer matches come from the chain of 4-byte prefixes.
    uint32_t best = std::max<uint32_t>(bestLen, 3);
    uint32_t cand = Head[Hash4(prefix)];
    while (cand > limit && chain-- > 0) {
        // The walk is bound by memory latency: fetch the next link and its
        // bytes while this candidate is compared.
        const uint32_t next = Prev[cand & mask];
        __builtin_prefetch(&Prev[next & mask]);
        __builtin_prefetch(Window.data() + next + best);
        const uint8_t* c = Window.data() + cand;
        if (c[best] == cur[best] && Load32(c) == prefix) {
            const uint32_t len = MatchLength(cand, pos, maxLen);
            if (len > best) {
                best = len;
                bestLen = len;
                bestDist = pos - cand;
                if (len >= Params.NiceLength || len >= maxLen) break;
            }
        }
        cand = next;
    }
}

Lz77Encoder::Choice Lz77Encoder::BestAt(uint32_t pos, uint32_t maxLen, unsigned chain) const {
    Choice best;
    for (int k = 0; k < 4; ++k) {
        const uint32_t dist = Repeats[k] + 1;
        if (dist > pos - HistoryStart) continue;
        const uint32_t minLen = MinLengthForRepeat(k);
        const uint32_t len = MatchLength(pos - dist, pos, std::min(maxLen, minLen + kLengthSymbolMax));
        if (len < minLen) continue;
        const int32_t gain = static_cast<int32_t>(len) * LiteralAverage -
                             (MainCost[kSymbolFirstRepeat + k] + LengthCost[len - minLen]);
        if (gain > best.Gain) best = {len, dist, k, gain};
    }
    uint32_t len;
    uint32_t dist;
    FindMatch(pos, maxLen, chain, len, dist);
    if (len != 0) {
        const uint32_t minLen = MinLengthForDistance(dist);
        len = std::min(len, minLen + kLengthSymbolMax);
        const uint32_t d = dist - 1;
        const unsigned b = static_cast<unsigned>(std::bit_width(d));
        const int32_t cost = MainCost[kSymbolFirstDistance + b] + (b > 1 ? int32_t(b - 1) * kCostScale : 0) +
                             LengthCost[len - minLen];
        const int32_t gain = static_cast<int32_t>(len) * LiteralAverage - cost;
        if (gain > best.Gain) best = {len, dist, -1, gain};
    }
    return best;
}

void Lz77Encoder::Write(std::span<const uint8_t> data, const Sink& sink) {
    // Positions left at the end of the previous entry can be hashed now.
    if (InsertNext < Pos) InsertUpTo(Pos - 1);
    while (!data.empty()) {
        if (Fill == 2 * WSize) SlideWindow();
        const size_t n = std::min<size_t>(data.size(), 2 * WSize - Fill);
        std::memcpy(&Window[Fill], data.data(), n);
        Fill += static_cast<uint32_t>(n);
        data = data.subspan(n);
        Compress(false, sink);
    }
}

void Lz77Encoder::EndEntry(const Sink& sink) {
    Compress(true, sink);
    if (!Block.empty()) FlushBlock(sink);
    Bits.FlushWord();
    if (!Out.empty()) sink(Out);
    Out.clear();
}

void Lz77Encoder::Compress(bool finishing, const Sink& sink) {
    const uint32_t end = finishing ? Fill : (Fill > kMinLookahead ? Fill - kMinLookahead : 0);
    while (Pos < end) {
        if (HavePending && Pending.Length >= Params.LazyLength) {
            InsertUpTo(Pos - 1);
            EmitMatch(Pending, sink);
            Pos += Pending.Length - 1;
            HavePending = false;
            continue;
        }
        InsertUpTo(Pos - 1);
        const uint32_t maxLen = std::min<uint32_t>(kMaxMatchLength, Fill - Pos);
        unsigned chain = Params.MaxChain;
        if (HavePending && Pending.Length >= Params.GoodLength) chain = std::max(1u, chain / 4);
        // In data that has not matched for a while (packed or noisy data),
        // look at fewer positions: step 2 after 256 literals, up to 8.
        const bool look = LiteralRun < kSkipAfter || (LiteralRun & SkipMask()) == 0;
        if (!look && !HavePending) {
            // Not searched, and not hashed either: matches into such data
            // are rare, and the hash tables stay out of the cache.
            InsertNext = std::max(InsertNext, Pos + 1);
            EmitLiteral(Window[Pos], sink);
            ++Pos;
            continue;
        }
        Choice cur;
        if (maxLen >= 2 && look) cur = BestAt(Pos, maxLen, chain);
        if (HavePending) {
            if (cur.Gain > Pending.Gain) {
                EmitLiteral(Window[Pos - 1], sink);
                Pending = cur;
                ++Pos;
            } else {
                EmitMatch(Pending, sink);
                Pos += Pending.Length - 1;
                HavePending = false;
            }
        } else if (cur.Gain > 0) {
            Pending = cur;
            HavePending = true;
            ++Pos;
        } else {
            EmitLiteral(Window[Pos], sink);
            ++Pos;
        }
    }
    if (finishing && HavePending) {
        EmitMatch(Pending, sink);
        Pos += Pending.Length - 1;
        HavePending = false;
    }
}

void Lz77Encoder::EmitLiteral(uint8_t byte, const Sink& sink) {
    ++LiteralRun;
    PushSymbol({byte, 0, 0, 0}, sink);
}

uint32_t Lz77Encoder::SkipMask() const {
    const uint32_t over = (LiteralRun - kSkipAfter) >> 8;
    return over == 0 ? 1 : over == 1 ? 3 : 7;
}

void Lz77Encoder::EmitMatch(const Choice& match, const Sink& sink) {
    LiteralRun = 0;
    if (match.Repeat >= 0) {
        const int k = match.Repeat;
        const uint32_t d = Repeats[k];
        // Move entry k to the front, as the decoder does.
        for (int i = k; i > 0; --i) Repeats[i] = Repeats[i - 1];
        Repeats[0] = d;
        PushSymbol({static_cast<uint16_t>(kSymbolFirstRepeat + k),
                    static_cast<uint8_t>(match.Length - MinLengthForRepeat(k)), 0, 0},
                   sink);
        return;
    }
    const uint32_t d = match.Distance - 1;
    const unsigned b = static_cast<unsigned>(std::bit_width(d));
    Symbol s{static_cast<uint16_t>(kSymbolFirstDistance + b),
             static_cast<uint8_t>(match.Length - MinLengthForDistance(match.Distance)), 0, 0};
    if (b >= 2) {
        s.ExtraBits = static_cast<uint8_t>(b - 1);
        s.Extra = d & ((uint32_t(1) << (b - 1)) - 1);
    }
    Repeats[3] = Repeats[2];
    Repeats[2] = Repeats[1];
    Repeats[1] = Repeats[0];
    Repeats[0] = d;
    PushSymbol(s, sink);
}

void Lz77Encoder::PushSymbol(const Symbol& s, const Sink& sink) {
    Block.push_back(s);
    if (Block.size() >= Params.BlockSymbols) FlushBlock(sink);
}

void Lz77Encoder::FlushBlock(const Sink& sink) {
    uint32_t mainFreq[kMainSymbols] = {};
    uint32_t lengthFreq[kLengthSymbols] = {};
    for (const Symbol& s : Block) {
        ++mainFreq[s.Main];
        if (s.Main >= kSymbolFirstRepeat) ++lengthFreq[s.LengthSym];
    }
    const HuffmanCode mainCode = HuffmanCode::Build(mainFreq, kMainMaxWidth);
    const HuffmanCode lengthCode = HuffmanCode::Build(lengthFreq, kMainMaxWidth);
    WriteWidthTable(Bits, mainCode);
    WriteWidthTable(Bits, lengthCode);
    Bits.Put(static_cast<uint32_t>(Block.size()), 15);
    for (const Symbol& s : Block) {
        mainCode.Put(Bits, s.Main);
        if (s.Main >= kSymbolFirstRepeat) {
            Bits.Put(s.Extra, s.ExtraBits);
            lengthCode.Put(Bits, s.LengthSym);
        }
    }
    Block.clear();

    // The next block's choices are weighed with this block's widths; a symbol
    // this block did not use is assumed to be rare.
    uint64_t literalBits = 0;
    uint64_t literals = 0;
    for (unsigned s = 0; s < kMainSymbols; ++s) {
        const unsigned w = mainCode.Widths[s];
        MainCost[s] = static_cast<uint16_t>((w != 0 ? w : 12) * kCostScale);
        if (s < kSymbolFirstRepeat) {
            literalBits += uint64_t(mainFreq[s]) * w;
            literals += mainFreq[s];
        }
    }
    for (unsigned s = 0; s < kLengthSymbols; ++s) {
        const unsigned w = lengthCode.Widths[s];
        LengthCost[s] = static_cast<uint16_t>((w != 0 ? w : 11) * kCostScale);
    }
    if (literals != 0)
        LiteralAverage = static_cast<int32_t>(std::max<uint64_t>(literalBits * kCostScale / literals, kCostScale));

    if (!Out.empty()) sink(Out);
    Out.clear();
}

}  // namespace unace
