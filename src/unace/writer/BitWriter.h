// Bit writer for ACE compressed streams.
//
// The decoder reads the packed bytes as 32-bit little-endian words and takes
// each word's bits from bit 31 down to bit 0; a value of n bits is read most
// significant bit first. So the writer collects bits MSB first in a 64-bit
// accumulator and stores every completed 32-bit word little-endian.
#pragma once

#include <cstdint>
#include <vector>

namespace unace {

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : Out(out) {}

    // Appends the low `count` bits of `value` (count <= 32), MSB first.
    void Put(uint32_t value, unsigned count) {
        if (count == 0) return;
        Acc = (Acc << count) | (value & (count == 32 ? 0xFFFFFFFFu : ((1u << count) - 1)));
        Pending += count;
        if (Pending >= 32) {
            Pending -= 32;
            const auto word = static_cast<uint32_t>(Acc >> Pending);
            Out.push_back(static_cast<uint8_t>(word));
            Out.push_back(static_cast<uint8_t>(word >> 8));
            Out.push_back(static_cast<uint8_t>(word >> 16));
            Out.push_back(static_cast<uint8_t>(word >> 24));
        }
    }

    // Pads with zero bits up to the next word boundary (the end of an entry).
    void FlushWord() {
        if (Pending != 0) Put(0, 32 - Pending);
    }

    // Forgets bits not yet stored (the start of a new entry).
    void Reset() {
        Acc = 0;
        Pending = 0;
    }

private:
    std::vector<uint8_t>& Out;
    uint64_t Acc = 0;       // bits not yet stored; the newest in the low end
    unsigned Pending = 0;   // how many low bits of Acc are not yet stored (< 32)
};

}  // namespace unace
