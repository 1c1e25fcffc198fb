// Small builders of stored bitmap data for the tests.
#pragma once

#include "render/DIB.h"
#include "toolkit/GraphicStream.h"

#include <cstdint>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline std::uint32_t Get32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// A 40-byte info header.
inline Bytes InfoHeader(std::int32_t width, std::int32_t height, int bitCount,
                        std::uint32_t compression = 0, std::uint32_t colorsUsed = 0) {
    Bytes b;
    Put32(b, 40);
    Put32(b, static_cast<std::uint32_t>(width));
    Put32(b, static_cast<std::uint32_t>(height));
    Put16(b, 1);
    Put16(b, static_cast<std::uint32_t>(bitCount));
    Put32(b, compression);
    for (int i = 0; i < 3; ++i) Put32(b, 0);
    Put32(b, colorsUsed);
    Put32(b, 0);
    return b;
}

inline void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }
inline void AppendFill(Bytes& to, std::size_t count, std::uint8_t value) { to.insert(to.end(), count, value); }

inline Bytes StoredOf(TDIB& dib) {
    TMemoryStream stream;
    dib.WriteStored(stream);
    return stream.Data();
}

inline Bytes BitmapFileOf(TDIB& dib) {
    TMemoryStream stream;
    dib.WriteBitmapFile(stream);
    return stream.Data();
}

inline void ReadStoredFrom(TDIB& dib, const Bytes& bytes) {
    TMemoryStream stream(bytes);
    dib.ReadStored(stream);
}

// Fills every pixel with a value from a simple generator within the depth.
inline void FillPattern(TDIB& dib, std::uint32_t seed = 1) {
    const int bits = dib.BitCount();
    const std::uint64_t limit = bits == 32 ? 0x100000000ull : (1ull << bits);
    std::uint32_t state = seed * 2654435761u + 1;
    for (int y = 0; y < dib.Height(); ++y)
        for (int x = 0; x < dib.Width(); ++x) {
            state = state * 1103515245u + 12345u;
            dib.PutPixel(x, y, static_cast<std::uint32_t>((state ^ (state >> 13)) % limit));
        }
}
