#include "StreamDecoder.h"

#include <memory>

#include "unace/AceFormat.h"
#include "unace/BitReader.h"
#include "unace/HuffmanTable.h"

namespace acewriter_test {

std::string DecodeLz77Entry(const std::vector<uint8_t>& packed, size_t origSize, std::vector<uint8_t>& history,
                            unsigned dictionarySize) {
    using namespace unace;
    if (packed.size() % 4 != 0) return "packed size is not a multiple of 4";
    MemorySource source(packed.data(), packed.size());
    auto buffer = std::make_unique<uint8_t[]>(BitReader::kBufferSize);
    BitReader br;
    br.Reset(&source, buffer.get());
    HuffmanTable mainTable;
    HuffmanTable lengthTable;
    uint32_t rep[4] = {0, 0, 0, 0};
    unsigned blockLeft = 0;
    const size_t start = history.size();
    while (history.size() - start < origSize) {
        if (blockLeft == 0) {
            if (!mainTable.Read(br, kMainSymbolMax, kMainMaxWidth)) return "bad main width table";
            if (!lengthTable.Read(br, kLengthSymbolMax, kMainMaxWidth)) return "bad length width table";
            blockLeft = br.Read(15);
            if (blockLeft == 0) return "block count 0";
        }
        --blockLeft;
        br.Refill();
        const int s = mainTable.Decode(br);
        if (s < 0) return "unassigned main code";
        if (s < 256) {
            history.push_back(static_cast<uint8_t>(s));
            continue;
        }
        uint32_t d;
        unsigned length;
        if (s <= 259) {
            const int k = s - 256;
            d = rep[k];
            for (int i = k; i > 0; --i) rep[i] = rep[i - 1];
            rep[0] = d;
            br.Refill();
            const int l = lengthTable.Decode(br);
            if (l < 0) return "unassigned length code";
            length = unsigned(l) + (k <= 1 ? 2 : 3);
        } else if (s <= 282) {
            const unsigned b = unsigned(s) - 260;
            d = b <= 1 ? b : (1u << (b - 1)) + br.Read(b - 1);
            br.Refill();
            const int l = lengthTable.Decode(br);
            if (l < 0) return "unassigned length code";
            length = unsigned(l) + (d <= 255 ? 2 : d <= 8191 ? 3 : 4);
            rep[3] = rep[2];
            rep[2] = rep[1];
            rep[1] = rep[0];
            rep[0] = d;
        } else {
            return "main symbol " + std::to_string(s) + " in a type-1 stream";
        }
        const size_t distance = size_t(d) + 1;
        if (distance > dictionarySize) return "distance beyond the dictionary";
        if (distance > history.size()) return "distance before the history";
        if (history.size() - start + length > origSize) return "match runs past the entry's end";
        for (unsigned i = 0; i < length; ++i) history.push_back(history[history.size() - distance]);
        if (br.Overrun()) return "read past the end of the data";
    }
    if (br.Overrun()) return "read past the end of the data";
    if (blockLeft != 0) return "last block count not used up";
    return {};
}

}  // namespace acewriter_test
