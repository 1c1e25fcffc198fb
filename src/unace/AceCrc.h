// Checksums of ACE archives.
//
// One routine serves both purposes: a reflected CRC-32 (polynomial
// 0xEDB88320, register starting at 0xFFFFFFFF) WITHOUT the final inversion
// most CRC-32 users apply, so AceCrc32 is the bitwise NOT of the common
// CRC-32 of the same bytes. Every block header is checked with the low
// 16 bits of the same value (AceCrc16). File contents carry the full 32 bits.
//
// Incremental use: start from kAceCrcInit and feed the previous result back
// as `crc`; the register is the value, nothing is finalised.
#pragma once

#include <cstddef>
#include <cstdint>

namespace unace {

inline constexpr uint32_t kAceCrcInit = 0xFFFFFFFFu;

// Continues the ACE CRC-32 register `crc` over `size` bytes at `data`.
uint32_t AceCrc32(const void* data, size_t size, uint32_t crc = kAceCrcInit);

// Header check value: the low 16 bits of AceCrc32 over the same bytes.
uint16_t AceCrc16(const void* data, size_t size);

}  // namespace unace
