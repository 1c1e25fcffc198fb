// Bit reader of the ACE compressed streams.
//
// The packed bytes form 32-bit little-endian words; each word is read from
// its most significant bit down. Values are read MSB first. The reader keeps
// a 64-bit accumulator whose valid bits are left-aligned: after Refill() at
// least 33 bits are available, enough for one Huffman symbol (11 bits) plus
// the longest distance extra field (21 bits), or any single Read(n <= 32).
//
// Input arrives from a ByteSource in chunks. Past the end of the data the
// reader supplies zero words ("phantom" bits): peeking there is legal (a last
// symbol may end less than 11 bits before the end), consuming is not, and
// Overrun() reports it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace unace {

// A producer of packed bytes. Fill() writes as many bytes as fit, fewer only
// at the end of the data; 0 means the end (or a failure the source records
// itself).
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual size_t Fill(uint8_t* buffer, size_t capacity) = 0;
};

// A source over bytes in memory (comments, tests, fuzzing).
class MemorySource final : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), left_(size) {}
    size_t Fill(uint8_t* buffer, size_t capacity) override {
        const size_t n = capacity < left_ ? capacity : left_;
        if (n) std::memcpy(buffer, data_, n);
        data_ += n;
        left_ -= n;
        return n;
    }

private:
    const uint8_t* data_;
    size_t left_;
};

class BitReader {
public:
    static constexpr size_t kChunkSize = 64 * 1024;   // a multiple of 4

    // The reader is a small value: decoders copy it into a local for their
    // inner loops (writes through byte pointers would otherwise force its
    // fields back to memory) and store it back afterwards. The chunk buffer
    // belongs to the caller and must hold kBufferSize bytes.
    static constexpr size_t kBufferSize = kChunkSize + 4;

    // Starts reading a new stream (each entry's data starts on a fresh word).
    void Reset(ByteSource* source, uint8_t* buffer) {
        source_ = source;
        buffer_ = buffer;
        cur_ = end_ = buffer_;
        acc_ = 0;
        bits_ = 0;
        phantom_ = 0;
        Refill();
    }

    // Makes at least 33 bits available.
    void Refill() {
        if (bits_ <= 32) {
            uint32_t word;
            if (end_ - cur_ >= 4) {
                word = uint32_t(cur_[0]) | uint32_t(cur_[1]) << 8 | uint32_t(cur_[2]) << 16 |
                       uint32_t(cur_[3]) << 24;
                cur_ += 4;
            } else {
                word = NextChunkWord();
            }
            acc_ |= uint64_t(word) << (32 - bits_);
            bits_ += 32;
        }
    }

    // The next n bits (1 <= n <= 32), not consumed; needs Refill() before.
    uint32_t Peek(unsigned n) const { return uint32_t(acc_ >> (64 - n)); }
    void Consume(unsigned n) {
        acc_ <<= n;
        bits_ -= int(n);
    }
    // Reads n bits (0 <= n <= 32).
    uint32_t Read(unsigned n) {
        if (n == 0) return 0;
        Refill();
        const uint32_t v = Peek(n);
        Consume(n);
        return v;
    }
    // Golomb-Rice value: k remainder bits, then a unary quotient of 1 bits
    // closed by a 0 bit. Quotients beyond `maxQuotient` count as corrupt
    // (returns false) so that a run of ones cannot stall the reader.
    bool ReadRice(unsigned k, uint32_t maxQuotient, uint32_t& value) {
        uint32_t r = Read(k);
        uint32_t q = 0;
        for (;;) {
            Refill();
            if (Peek(1) == 0) break;
            Consume(1);
            if (++q > maxQuotient) return false;
        }
        Consume(1);
        value = r + (q << k);
        return !Overrun();
    }

    // True once bits beyond the end of the data (rounded up to a word) were
    // consumed.
    bool Overrun() const { return bits_ < phantom_; }

private:
    uint32_t NextChunkWord() {
        // The buffer always holds a multiple of 4 bytes, so here it is empty.
        const size_t n = source_ ? source_->Fill(buffer_, kChunkSize) : 0;
        if (n == 0) {
            if (phantom_ < (1 << 24)) phantom_ += 32;   // saturates: Overrun() stays true
            return 0;
        }
        const size_t padded = (n + 3) & ~size_t(3);
        std::memset(buffer_ + n, 0, padded - n);
        cur_ = buffer_ + 4;
        end_ = buffer_ + padded;
        const uint8_t* p = buffer_;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }

    uint8_t* buffer_ = nullptr;
    ByteSource* source_ = nullptr;
    const uint8_t* cur_ = nullptr;   // next unread byte of the chunk
    const uint8_t* end_ = nullptr;   // end of the chunk (word aligned)
    uint64_t acc_ = 0;               // valid bits left-aligned
    int bits_ = 0;                   // valid bits in acc_
    int phantom_ = 0;                // zero bits appended after the end of the data
};

}  // namespace unace
