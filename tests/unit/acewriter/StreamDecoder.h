// A plain decoder of ACE 1.0 LZ77 streams for the writer's tests, built on
// the reader library's bit reader and Huffman tables. It checks every rule a
// writer must keep (block counts, length ranges per distance class, distances
// inside the history, exact end) and reports the first one broken.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace acewriter_test {

// Decodes one entry of `origSize` bytes from `packed`, appending to
// `history` (the solid history of earlier entries, or empty). Returns an
// empty string on success, else what was wrong.
std::string DecodeLz77Entry(const std::vector<uint8_t>& packed, size_t origSize, std::vector<uint8_t>& history,
                            unsigned dictionarySize);

}  // namespace acewriter_test
