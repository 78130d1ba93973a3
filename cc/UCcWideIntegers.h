#pragma once

namespace llvm {
class Function;
} // namespace llvm

// Integers wider than the machine's 64 bits, rewritten in 64-bit pieces before instruction
// selection. clang accesses the bit-fields of a packed structure through one integer as wide
// as their run (an i72 for 9 bytes of them): loaded, shifted by constants, masked, truncated
// and stored again. A value of W bits (65 <= W <= MaxBits) becomes ceil(W/64) i64 pieces,
// least significant first; the top piece holds the remaining bits, zero above them.
//
// Rewritten: load and store (piece by piece; the top piece as wide as its bytes), and, or,
// xor, add, sub, shl, lshr and ashr by a constant, trunc, zext, sext, icmp, select and phi,
// with constant and undefined operands. A function that uses a wide integer any other way
// (multiplication, division, a shift by a variable amount, a call, a return, a cast to a
// pointer, ...) is left as it is, and the instruction selection refuses it with its message.
class TCcWideIntegers {
  public:
    static constexpr unsigned MaxBits = 1024;

    // Rewrites the function; false when it uses a wide integer that is not rewritten (then
    // nothing changed) or uses none.
    static bool Split(llvm::Function& function);
};
