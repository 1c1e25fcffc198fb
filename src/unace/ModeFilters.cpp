#include "unace/ModeFilters.h"


namespace unace {

size_t ExeTranslate(uint8_t* buf, size_t size, uint64_t base, unsigned variant) {
    size_t i = 0;
    while (i + 4 < size) {
        const uint8_t op = buf[i];
        if (op == 0xE8 && variant != 0) {
            uint32_t v = uint32_t(buf[i + 1]) | uint32_t(buf[i + 2]) << 8 |
                         uint32_t(buf[i + 3]) << 16 | uint32_t(buf[i + 4]) << 24;
            v -= uint32_t(base + i);
            buf[i + 1] = uint8_t(v);
            buf[i + 2] = uint8_t(v >> 8);
            buf[i + 3] = uint8_t(v >> 16);
            buf[i + 4] = uint8_t(v >> 24);
            i += 5;
        } else if (op == 0xE8 || op == 0xE9) {
            const uint16_t v = uint16_t(uint16_t(buf[i + 1] | buf[i + 2] << 8) - uint16_t(base + i));
            buf[i + 1] = uint8_t(v);
            buf[i + 2] = uint8_t(v >> 8);
            i += 3;
        } else {
            ++i;
        }
    }
    while (i < size && buf[i] != 0xE8 && buf[i] != 0xE9) ++i;
    return i;
}

void DeltaDecode(const uint8_t* in, uint8_t* out, size_t size, unsigned stride, uint8_t& running) {
    const size_t planeSize = size / stride;
    // Plane k holds bytes k, k + stride, k + 2 * stride, ... of the output.
    for (size_t i = 0; i < size; ++i) {
        running = uint8_t(running + in[i]);
        const size_t plane = i / planeSize;
        const size_t index = i % planeSize;
        out[index * stride + plane] = running;
    }
}

}  // namespace unace
