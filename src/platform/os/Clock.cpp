#include "platform/os/Clock.h"

#include <chrono>

namespace os {
namespace {
std::function<std::uint32_t()>& InjectedClock() {
    static std::function<std::uint32_t()> clock;
    return clock;
}
}  // namespace

std::uint32_t timeGetTime() {
    if (InjectedClock()) return InjectedClock()();
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void SetClockForTesting(std::function<std::uint32_t()> clock) { InjectedClock() = std::move(clock); }
}  // namespace os
