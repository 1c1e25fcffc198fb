#include "unace/PicModel.h"

#include <algorithm>
#include <cstdlib>

namespace unace {

namespace {

unsigned BitLength(uint32_t v) {
    unsigned n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}

// Quantised neighbour difference.
int Qp(int x) {
    if (x <= -21) return -4;
    if (x <= -7) return -3;
    if (x <= -3) return -2;
    if (x <= -1) return -1;
    if (x == 0) return 0;
    if (x <= 2) return 1;
    if (x <= 6) return 2;
    if (x <= 20) return 3;
    return 4;
}

// Cost in bits of a prediction error byte.
unsigned ErrorCost(unsigned u) {
    const int s = int(int8_t(uint8_t(u)));
    return s >= 0 ? BitLength(uint32_t(2 * s)) : BitLength(uint32_t(-2 * s - 1));
}

}  // namespace

bool PicModel::Start(BitReader& br) {
    uint32_t width = 0;
    uint32_t planes = 0;
    if (!br.ReadRice(12, kMaxWidth >> 12, width) || !br.ReadRice(2, kMaxPlanes >> 2, planes))
        return false;
    if (width == 0 || planes == 0 || width > kMaxWidth || planes > kMaxPlanes) return false;
    width_ = width;
    planes_ = planes;
    prev_.assign(width, 0);
    cur_.assign(width, 0);
    contexts_.assign(2 * kContexts, Context{});
    return true;
}

bool PicModel::DecodeRow(BitReader& br) {
    const int w = int(width_);
    const int planes = int(planes_);
    auto prevAt = [&](int i) -> int { return i >= 0 && i < w ? prev_[size_t(i)] : 0; };
    std::fill(cur_.begin(), cur_.end(), 0);

    for (int p = 0; p < planes; ++p) {
        unsigned t = 0;
        if (p > 0) {
            t = br.Read(2);
            if (t == 3) return false;
        }
        Context* set = &contexts_[p == 0 ? 0 : kContexts];
        // Forward map into this plane's domain, relative to the previous plane.
        auto forward = [t](int self, int ref) -> int {
            switch (t) {
                case 1: return (128 + self - ref) & 0xFF;
                case 2: return (128 + self - ((11 * ref) >> 4)) & 0xFF;
                default: return self;
            }
        };
        auto reverse = [t](int x, int ref) -> int {
            switch (t) {
                case 1: return (x + ref - 128) & 0xFF;
                case 2: return (x + ((11 * ref) >> 4) - 128) & 0xFF;
                default: return x;
            }
        };
        int a = t == 0 ? 0 : 128, b = a, c = a, x = a;
        int d = forward(prevAt(p), prevAt(p - 1));
        for (int col = p; col < w; col += planes) {
            c = a;
            a = d;
            b = x;
            d = forward(prevAt(col + planes), prevAt(col + planes - 1));
            const int h = std::abs(81 * Qp(d - a) + 9 * Qp(a - c) + Qp(c - b));
            Context& ctx = set[h];
            ++ctx.used;
            const unsigned k = BitLength(ctx.avg / ctx.used);
            if (k > 24) return false;
            uint32_t m = 0;
            if (!br.ReadRice(k, 256, m) || m > 255) return false;
            const int eps = (m & 1) ? -int(m >> 1) - 1 : int(m >> 1);
            const int cand[4] = {a, b, (a + b) >> 1, (a + b - c) & 0xFF};
            x = (cand[ctx.pred] + eps) & 0xFF;
            unsigned best = 0;
            bool halve = false;
            for (unsigned q = 0; q < 4; ++q) {
                ctx.err[q] += ErrorCost(unsigned(x - cand[q]) & 0xFF);
                if (ctx.err[q] < ctx.err[best]) best = q;
                if (ctx.err[q] >= 128) halve = true;
            }
            if (halve)
                for (auto& e : ctx.err) e >>= 1;
            ctx.pred = best;
            ctx.avg += uint32_t(std::abs(eps));
            if (ctx.used == 128) {
                ctx.used = 64;
                ctx.avg >>= 1;
            }
            const int ref = col > 0 ? cur_[size_t(col - 1)] : 0;
            cur_[size_t(col)] = uint8_t(reverse(x, ref));
        }
    }
    prev_.swap(cur_);
    return !br.Overrun();
}

}  // namespace unace
