// SOUND modes (3..6) of the ACE 2.0 method: audio bytes coded as per-channel
// prediction errors with adaptive linear predictors and their own Huffman
// tables and blocks.
#pragma once

#include <cstdint>

#include "unace/BitReader.h"
#include "unace/HuffmanTable.h"

namespace unace {

class SoundModel {
public:
    static constexpr int kCorrupt = -1;
    static constexpr int kModeSwitch = -2;

    // A fresh model for SOUND mode 3..6.
    void Reset(unsigned mode);
    // Starts a new region after a mode switch record (byte index back to 0).
    void StartRegion() { index_ = 0; }
    // Decodes the next output byte (0..255), or returns kModeSwitch when the
    // stream switches mode (the caller reads the switch record), or kCorrupt.
    int NextByte(BitReader& br);

private:
    struct Channel {
        int state = 0;   // 0 normal, 1 after a run, 2 inside a run
        int run = 0;
        int amc = 0;     // adaptive counter choosing between the two normal tables
        int amu = 0;
        int last = 0;    // last sample, signed
        int d[4] = {};   // recent deltas
        int k[4] = {};   // predictor coefficients
        int acc[9] = {}; // error accumulators of the candidate coefficient changes
        int pc[2] = {};  // predictor choice counters
        int lpc[2] = {};
        unsigned count = 0;
    };

    bool ReadBlock(BitReader& br);
    static int Predict(const Channel& ch);
    static void Update(Channel& ch, int sample);

    unsigned mode_ = 3;
    unsigned channels_ = 1;
    unsigned index_ = 0;       // byte index within the region
    unsigned blockLeft_ = 0;   // symbols left in the current SOUND block
    Channel channel_[3];
    HuffmanTable table_[9];
};

}  // namespace unace
