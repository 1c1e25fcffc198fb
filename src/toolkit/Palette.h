// Colour tables and logical palettes.
//
// A colour table entry is 4 bytes in the order blue, green, red, reserved;
// a full table has 256 of them (1024 bytes). A logical palette is the
// toolkit's palette object: a version number and a list of entries in the
// order red, green, blue, flags. Pictures hand out palettes as
// `const TLogicalPalette*`; a null pointer plays the role of "no palette".
#pragma once

#include <array>
#include <cstdint>
#include <vector>

struct TRGBQuad {
    std::uint8_t rgbBlue = 0;
    std::uint8_t rgbGreen = 0;
    std::uint8_t rgbRed = 0;
    std::uint8_t rgbReserved = 0;
    friend bool operator==(const TRGBQuad&, const TRGBQuad&) = default;
};
static_assert(sizeof(TRGBQuad) == 4);

struct TPaletteEntry {
    std::uint8_t peRed = 0;
    std::uint8_t peGreen = 0;
    std::uint8_t peBlue = 0;
    std::uint8_t peFlags = 0;
    friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};
static_assert(sizeof(TPaletteEntry) == 4);

// 256 entries, 1024 bytes, laid out exactly as a stored colour table.
using TColorTable = std::array<TRGBQuad, 256>;
static_assert(sizeof(TColorTable) == 1024);

// The table whose entry i is grey level i (blue = green = red = i).
TColorTable GreyRampColorTable();

// Entry order conversions; the reserved byte and the flags byte carry over.
inline TPaletteEntry ToPaletteEntry(const TRGBQuad& q) {
    return TPaletteEntry{q.rgbRed, q.rgbGreen, q.rgbBlue, q.rgbReserved};
}
inline TRGBQuad ToRGBQuad(const TPaletteEntry& e) {
    return TRGBQuad{e.peBlue, e.peGreen, e.peRed, e.peFlags};
}

class TLogicalPalette {
public:
    static constexpr std::uint16_t kVersion = 0x300;
    static constexpr int kMaxEntries = 256;

    // Entries beyond kMaxEntries are dropped.
    explicit TLogicalPalette(std::vector<TPaletteEntry> entries,
                             std::uint16_t version = kVersion);

    std::uint16_t Version() const { return version_; }
    int Count() const { return static_cast<int>(entries_.size()); }
    const std::vector<TPaletteEntry>& Entries() const { return entries_; }

    // Copies up to `count` entries from `start` into `out` and returns how
    // many were copied (0 when `start` lies outside the palette).
    int GetEntries(int start, int count, TPaletteEntry* out) const;

private:
    std::uint16_t version_;
    std::vector<TPaletteEntry> entries_;
};
