// Feeds arbitrary bytes to the entry decoder directly (the archive layer's
// header checksums would keep most mutations away from it). Byte 0 picks
// the method and solid mode, bytes 1..3 the output size (up to 16 MiB), the
// rest is the packed stream. Two entries are decoded from the same input so
// that solid history is exercised.
#include <cstddef>
#include <cstdint>

#include "unace/BitReader.h"
#include "unace/Decoder.h"

namespace {
class CountingSink final : public unace::OutputSink {
public:
    bool Write(const uint8_t*, size_t size) override {
        total += size;
        return true;
    }
    uint64_t total = 0;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const auto method = unace::Method(data[0] % 3);
    const bool solid = (data[0] & 0x80) != 0;
    const uint64_t origSize = (uint64_t(data[1]) | uint64_t(data[2]) << 8 | uint64_t(data[3]) << 16);
    static unace::Decoder decoder;   // reused like an archive's decoder
    decoder.ResetHistory();
    for (int entry = 0; entry < 2; ++entry) {
        unace::MemorySource source(data + 4, size - 4);
        CountingSink sink;
        uint32_t crc = 0;
        const auto status = decoder.DecodeEntry(method, origSize, solid, source, sink, crc);
        if (status == unace::DecodeStatus::Ok && sink.total != origSize) __builtin_trap();
    }
    return 0;
}
