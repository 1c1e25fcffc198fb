// The platform's millisecond clock: monotonic milliseconds as a wrapping
// unsigned 32-bit value. Tests may install their own clock.
#pragma once

#include <cstdint>
#include <functional>

namespace os {
std::uint32_t timeGetTime();
// Replaces the clock (tests); an empty function restores the real one.
void SetClockForTesting(std::function<std::uint32_t()> clock);
}  // namespace os
