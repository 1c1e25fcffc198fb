#include "unace/AceCrc.h"

#include <array>

namespace unace {

namespace {

// Eight tables for slicing-by-8: table[k][b] is the CRC register change of
// byte b followed by k zero bytes, so eight input bytes fold in per step.
struct CrcTables {
    std::array<std::array<uint32_t, 256>, 8> t{};

    constexpr CrcTables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i;
            for (int bit = 0; bit < 8; ++bit) r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
            t[0][i] = r;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
};

constexpr CrcTables kTables;

}  // namespace

uint32_t AceCrc32(const void* data, size_t size, uint32_t crc) {
    const auto* p = static_cast<const unsigned char*>(data);
    const auto& t = kTables.t;
    while (size >= 8) {
        const uint32_t lo = crc ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                                   uint32_t(p[3]) << 24);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
        p += 8;
        size -= 8;
    }
    while (size--) crc = t[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

uint16_t AceCrc16(const void* data, size_t size) {
    return static_cast<uint16_t>(AceCrc32(data, size) & 0xFFFF);
}

}  // namespace unace
