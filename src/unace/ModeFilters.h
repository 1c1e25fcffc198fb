// The output transforms of the ACE 2.0 EXE and DELTA modes. The LZ77 history
// keeps the untransformed bytes; these run on a copy on the way out.
#pragma once

#include <cstddef>
#include <cstdint>

namespace unace {

// EXE: undoes the absolute-address form of x86 CALL (E8) and JMP (E9)
// operands in buf[0..size), whose first byte is at output position `base`.
// `variant` 0: both opcodes take 16-bit operands; otherwise E8 takes a 32-bit
// one. An opcode needs its whole operand inside buf; the scan stops 4 bytes
// before the end. Returns how many bytes are final: the rest (from the first
// E8/E9 not yet translated, at most 4 bytes) must be held back and put in
// front of the next piece, or output unchanged if the EXE region ends.
size_t ExeTranslate(uint8_t* buf, size_t size, uint64_t base, unsigned variant);

// DELTA: turns `size` LZ77 bytes into output. The bytes are summed up with
// the running byte `running` (updated), then read as `stride` planes of
// size/stride bytes and interleaved. `size` must be a multiple of `stride`.
void DeltaDecode(const uint8_t* in, uint8_t* out, size_t size, unsigned stride, uint8_t& running);

}  // namespace unace
