#include "toolkit/Palette.h"

#include <algorithm>

TColorTable GreyRampColorTable() {
    TColorTable table{};
    for (int i = 0; i < 256; ++i) {
        const auto level = static_cast<std::uint8_t>(i);
        table[i] = TRGBQuad{level, level, level, 0};
    }
    return table;
}

TLogicalPalette::TLogicalPalette(std::vector<TPaletteEntry> entries, std::uint16_t version)
    : version_(version), entries_(std::move(entries)) {
    if (entries_.size() > static_cast<std::size_t>(kMaxEntries))
        entries_.resize(kMaxEntries);
}

int TLogicalPalette::GetEntries(int start, int count, TPaletteEntry* out) const {
    if (start < 0 || count <= 0 || start >= Count())
        return 0;
    const int copied = std::min(count, Count() - start);
    std::copy_n(entries_.begin() + start, copied, out);
    return copied;
}
