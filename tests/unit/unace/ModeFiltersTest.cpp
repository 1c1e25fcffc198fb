// The EXE and DELTA output transforms on the format's worked examples and
// on the boundary cases of the EXE hold-back.
#include <gtest/gtest.h>

#include <vector>

#include "unace/ModeFilters.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(ExeTranslate, WorkedExamples) {
    // 32-bit CALL at output position 0x1000.
    Bytes call = {0xE8, 0x34, 0x12, 0x00, 0x00, 0x90};
    EXPECT_EQ(unace::ExeTranslate(call.data(), call.size(), 0x1000, 1), call.size());
    EXPECT_EQ(call, (Bytes{0xE8, 0x34, 0x02, 0x00, 0x00, 0x90}));
    // 16-bit JMP at position 5 (the buffer starts at 3).
    Bytes jmp = {0x90, 0x90, 0xE9, 0x00, 0x01, 0x90, 0x90};
    EXPECT_EQ(unace::ExeTranslate(jmp.data(), jmp.size(), 3, 0), jmp.size());
    EXPECT_EQ(jmp, (Bytes{0x90, 0x90, 0xE9, 0xFB, 0x00, 0x90, 0x90}));
    // In 32-bit code E9 still has a 16-bit operand; E8 in 16-bit code too.
    Bytes mixed = {0xE9, 0x10, 0x00, 0xE8, 0x10, 0x00, 0x90, 0x90, 0x90};
    unace::ExeTranslate(mixed.data(), mixed.size(), 0, 0);
    EXPECT_EQ(mixed, (Bytes{0xE9, 0x10, 0x00, 0xE8, 0x0D, 0x00, 0x90, 0x90, 0x90}));
}

TEST(ExeTranslate, OperandBytesAreNotOpcodesAndIncompleteOnesAreHeldBack) {
    // The operand of the first CALL contains E8 bytes; they are skipped.
    Bytes b = {0xE8, 0xE8, 0xE8, 0xE8, 0xE8, 0x00, 0x00};
    EXPECT_EQ(unace::ExeTranslate(b.data(), b.size(), 0, 1), b.size());
    EXPECT_EQ(b, (Bytes{0xE8, 0xE8, 0xE8, 0xE8, 0xE8, 0x00, 0x00}));
    // An opcode within the last 4 bytes waits for the next piece.
    Bytes tail = {0x01, 0x02, 0x03, 0x04, 0xE8, 0x05, 0x06};
    EXPECT_EQ(unace::ExeTranslate(tail.data(), tail.size(), 0, 1), 4u);
    // Held bytes translate once the rest arrives, at their own position.
    Bytes joined = {0xE8, 0x05, 0x06, 0x00, 0x00, 0x90};
    EXPECT_EQ(unace::ExeTranslate(joined.data(), joined.size(), 4, 1), joined.size());
    EXPECT_EQ(joined, (Bytes{0xE8, 0x01, 0x06, 0x00, 0x00, 0x90}));
    // Short pieces: nothing is final from the first E8 on.
    Bytes shortPiece = {0x90, 0xE9, 0x00};
    EXPECT_EQ(unace::ExeTranslate(shortPiece.data(), shortPiece.size(), 0, 1), 1u);
}

TEST(DeltaDecode, SumsAndInterleavesPlanes) {
    const Bytes in = {0x01, 0x01, 0x01, 0x01, 0x05, 0x00, 0x00, 0x00};
    Bytes out(in.size());
    uint8_t running = 0;
    unace::DeltaDecode(in.data(), out.data(), in.size(), 2, running);
    EXPECT_EQ(out, (Bytes{0x01, 0x09, 0x02, 0x09, 0x03, 0x09, 0x04, 0x09}));
    EXPECT_EQ(running, 9);
    // The running byte carries into the next block.
    const Bytes next = {0x01, 0x01};
    Bytes out2(2);
    unace::DeltaDecode(next.data(), out2.data(), 2, 1, running);
    EXPECT_EQ(out2, (Bytes{0x0A, 0x0B}));
}

}  // namespace
