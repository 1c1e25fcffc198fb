// PIC mode (7) of the ACE 2.0 method: lossless image rows coded with a
// context model and Golomb-Rice coded prediction errors.
#pragma once

#include <cstdint>
#include <vector>

#include "unace/BitReader.h"

namespace unace {

class PicModel {
public:
    // Row widths above this are treated as corrupt; no real picture row
    // (pixels x bytes per pixel) comes near it, and it bounds the row buffers.
    static constexpr uint32_t kMaxWidth = 1u << 20;
    static constexpr uint32_t kMaxPlanes = 256;

    // Reads the picture geometry and resets the model. False on corrupt data.
    bool Start(BitReader& br);
    // Decodes one row into Row(). False on corrupt data.
    bool DecodeRow(BitReader& br);
    const std::vector<uint8_t>& Row() const { return prev_; }

private:
    struct Context {
        uint32_t used = 0;
        uint32_t pred = 0;
        uint32_t avg = 4;
        uint32_t err[4] = {};
    };
    static constexpr unsigned kContexts = 365;

    uint32_t width_ = 0;
    uint32_t planes_ = 0;
    std::vector<uint8_t> prev_;   // the last decoded row (the row above)
    std::vector<uint8_t> cur_;
    std::vector<Context> contexts_;   // two sets: plane 0, and planes >= 1
};

}  // namespace unace
