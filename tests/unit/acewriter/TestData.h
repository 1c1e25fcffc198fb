// Deterministic contents for the writer's tests.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace acewriter_test {

enum class Pattern { Text, Random, Runs, Mixed };

inline std::vector<uint8_t> MakeData(Pattern pattern, size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> out;
    out.reserve(size);
    static const char* kWords[] = {"tactics", "skyforge", "the", "of", "unit", "move", "attack", "range",
                                   "shield", "turn", "and", "a", "map", "tile", "north", "light"};
    while (out.size() < size) {
        switch (pattern) {
            case Pattern::Text: {
                const std::string w = kWords[rng() % 16];
                out.insert(out.end(), w.begin(), w.end());
                out.push_back(rng() % 9 == 0 ? '\n' : ' ');
                break;
            }
            case Pattern::Random:
                out.push_back(static_cast<uint8_t>(rng()));
                break;
            case Pattern::Runs:
                out.insert(out.end(), 1 + rng() % 300, static_cast<uint8_t>(rng() % 4));
                break;
            case Pattern::Mixed: {
                const auto kind = static_cast<Pattern>(rng() % 3);
                const auto piece = MakeData(kind, 1 + rng() % 5000, rng());
                out.insert(out.end(), piece.begin(), piece.end());
                break;
            }
        }
    }
    out.resize(size);
    return out;
}

}  // namespace acewriter_test
