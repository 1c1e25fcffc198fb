// Feeds arbitrary bytes to the information viewer's text rules and checks
// what must hold for every input: the text ends before the first 0 byte,
// every line break is exactly CR LF, the capacity is never exceeded, and
// the shown text has one character per byte and one '\n' per line break.
#include "dialogs/NfoText.h"
#include "toolkit/Exceptions.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {
// Small limits so that the refusal paths are reached often.
constexpr std::size_t kFuzzCapacity = 4096;
constexpr std::size_t kFuzzMaxLine = 256;

void Check(bool condition) {
    if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string text;
    try {
        text = NormalizeNfoText(bytes, kFuzzCapacity, kFuzzMaxLine);
    } catch (const EMemoTooLarge&) {
        // Refused: the input before its 0 byte, line breaks counted as two
        // bytes each, really is too long, or one of its lines is.
        const std::string_view kept = bytes.substr(0, bytes.find('\0'));
        std::size_t grown = 0, line = 0, longest = 0;
        for (std::size_t i = 0; i < kept.size(); ++i) {
            if (kept[i] == '\r' || kept[i] == '\n') {
                if (kept[i] == '\r' && i + 1 < kept.size() && kept[i + 1] == '\n') ++i;
                grown += 2;
                line = 0;
            } else {
                ++grown;
                longest = std::max(longest, ++line);
            }
        }
        Check(grown > kFuzzCapacity || longest > kFuzzMaxLine);
        return 0;
    }
    Check(text.size() <= kFuzzCapacity);
    Check(text.find('\0') == std::string::npos);
    std::size_t breaks = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            Check(i + 1 < text.size() && text[i + 1] == '\n');
            ++breaks;
            ++i;
        } else {
            Check(text[i] != '\n');
        }
    }
    const QString shown = NfoDisplayText(text);
    Check(std::size_t(shown.size()) == text.size() - breaks);
    Check(std::size_t(shown.count(QChar('\n'))) == breaks);
    Check(!shown.contains(QChar('\r')));
    // Normalising is idempotent.
    Check(NormalizeNfoText(text, kFuzzCapacity, kFuzzMaxLine) == text);
    return 0;
}
