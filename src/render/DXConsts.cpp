#include "render/DXConsts.h"

#include <cstdio>

namespace dxconsts {

std::string DisplayModeMessage(int width, int height, int bitCount) {
    char text[96];
    std::snprintf(text, sizeof text, SCannotChangeDisplayMode, width, height, bitCount);
    return text;
}

}  // namespace dxconsts
