#include "unace/SoundModel.h"

#include <cstdlib>

#include "unace/AceFormat.h"

namespace unace {

namespace {

// Channel of output byte i (i mod 4) for modes 3..6.
constexpr uint8_t kChannelOf[4][4] = {
    {0, 0, 0, 0},   // 8-bit, one channel
    {0, 1, 0, 1},   // 16-bit: low and high bytes
    {0, 1, 0, 2},   // 32-bit variant A
    {1, 0, 2, 0},   // 32-bit variant B
};
constexpr unsigned kChannelCount[4] = {1, 2, 3, 3};

int BitLength(unsigned v) {
    int n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}

int Signed8(int v) { return int(int8_t(uint8_t(v & 0xFF))); }

// Quantised magnitude of a byte read as a signed difference.
int Q8(unsigned u) {
    u &= 0xFF;
    if (u == 0) return 0;
    return u <= 128 ? BitLength(u) : BitLength(256 - u);
}

}  // namespace

void SoundModel::Reset(unsigned mode) {
    mode_ = mode;
    channels_ = kChannelCount[mode - 3];
    index_ = 0;
    blockLeft_ = 0;
    for (auto& ch : channel_) ch = Channel{};
}

bool SoundModel::ReadBlock(BitReader& br) {
    for (unsigned t = 0; t < channels_ * 3; ++t)
        if (!table_[t].Read(br, kSoundSymbolMax, kSoundMaxWidth)) return false;
    blockLeft_ = br.Read(15);
    return blockLeft_ != 0 && !br.Overrun();
}

int SoundModel::Predict(const Channel& ch) {
    const int sum = 8 * ch.last + ch.k[0] * ch.d[0] + ch.k[1] * ch.d[1] + ch.k[2] * ch.d[2] +
                    ch.k[3] * ch.d[3];
    return (sum >> 3) & 0xFF;
}

void SoundModel::Update(Channel& ch, int s) {
    ++ch.count;
    const int pd = Signed8(Predict(ch) - s) * 8;
    ch.acc[0] += std::abs(pd - ch.d[0]);
    ch.acc[1] += std::abs(pd + ch.d[0]);
    ch.acc[2] += std::abs(pd - ch.d[1]);
    ch.acc[3] += std::abs(pd + ch.d[1]);
    ch.acc[4] += std::abs(pd - ch.d[2]);
    ch.acc[5] += std::abs(pd + ch.d[2]);
    ch.acc[6] += std::abs(pd - ch.d[3]);
    ch.acc[7] += std::abs(pd + ch.d[3]);
    ch.acc[8] += std::abs(pd);
    const int delta = Signed8(s - ch.last);
    ch.pc[0] += Q8(unsigned(pd >> 3));
    ch.pc[1] += Q8(unsigned(ch.last - s));
    ch.last = s;
    if (ch.count % 32 == 0) {
        // Nudge the coefficient whose change would have cost least.
        int best = 8;
        for (int j = 8; j >= 0; --j)
            if (ch.acc[j] <= ch.acc[best]) best = j;
        for (int& a : ch.acc) a = 0;
        if (best != 8) {
            const int t = best >> 1;
            if ((best & 1) == 0) {
                if (ch.k[t] >= -16) --ch.k[t];
            } else {
                if (ch.k[t] <= 16) ++ch.k[t];
            }
        }
        if (ch.count % 256 == 0)
            for (int x = 0; x < 2; ++x) {
                ch.pc[x] -= ch.lpc[x];
                ch.lpc[x] = ch.pc[x];
            }
    }
    ch.d[3] = ch.d[2];
    ch.d[2] = ch.d[1];
    ch.d[1] = delta - ch.d[0];
    ch.d[0] = delta;
}

int SoundModel::NextByte(BitReader& br) {
    const unsigned c = kChannelOf[mode_ - 3][index_ & 3];
    Channel& ch = channel_[c];
    int e = 0;
    if (ch.state != 2) {
        if (blockLeft_ == 0 && !ReadBlock(br)) return kCorrupt;
        --blockLeft_;
        br.Refill();
        const int v = table_[3 * c + (ch.state == 0 ? ch.amu : 2)].Decode(br);
        if (v < 0 || v > int(kSoundSymbolModeSwitch) || br.Overrun()) return kCorrupt;
        if (v == int(kSoundSymbolModeSwitch)) return kModeSwitch;
        if (ch.state == 1) {
            e = v;
            ch.state = 0;
        } else if (v >= 32) {
            e = v - 32;
            ch.amc = ((ch.amc * 7) >> 3) + e;
            ch.amu = ch.amc > 40 ? 1 : 0;
        } else {
            ch.state = 2;
            ch.run = v;
        }
    }
    if (ch.state == 2) {
        if (ch.run == 0)
            ch.state = 1;
        else
            --ch.run;
        e = 0;
    }
    const int mapped = (e & 1) ? 255 - (e >> 1) : e >> 1;
    const int prediction = ch.pc[0] > ch.pc[1] ? (ch.last & 0xFF) : Predict(ch);
    const int b = (mapped + prediction) & 0xFF;
    Update(ch, Signed8(b));
    ++index_;
    return b;
}

}  // namespace unace
