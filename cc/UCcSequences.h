#pragma once
#include <cstdint>

#include "UCcEmitter.h"

// The sequences for what the machine lacks, written once. Values of type iN live in 64-bit
// registers with undefined bits above bit N-1 (add, sub, mul, and, or, xor, shl and trunc
// are then right in their low N bits without any work); the operations below that read
// the upper bits first normalise their operands with SignExtend or ZeroExtend.
//
// Sign extension of iN:   SHL r, r, 64-N; SAR r, r, 64-N.
// Zero extension of iN:   AND r, r, 2^N-1.
// Unsigned compare:       below 64 bits both sides zero-extended are non-negative, so the
//                         signed CMP orders them; at 64 bits both sides get their sign bit
//                         flipped (XOR 2^63), which maps unsigned order onto signed order.
// Logical shift right:    below 64 bits SAR of the zero-extended value; at 64 bits
//                         SAR x, s masked with NOT(-1 SHL (64-s)) (s = 0 gives a shift by
//                         64, which yields 0, so the mask is all ones).
// Unsigned division i64:  divisor with its top bit set: the quotient is x >=u d (0 or 1);
//                         else dividend non-negative: DIV; else q = ((x >>u 1) DIV d) << 1,
//                         plus 1 when x - q*d >=u d (r - d is then non-negative, since
//                         r < 2d and d < 2^63). A divisor of 0 reaches a DIV, which
//                         ends the program as the machine's division by zero.
// Remainder:              x - (x / d) * d with the signed or unsigned quotient above.
// Store of 1..8 bytes at p (STORE writes 16 bytes, there is no byte store): through the
//     scratch cell S (R14 = S + 8, R12 = 8):
//         STORE [S+8], v          ; S+8..S+15 = v
//         BLKCOPY p, S+8, bytes   ; p..p+bytes-1 = the low bytes of v
//     so every byte around the stored value keeps its value.
// Load of 1..8 bytes:     LOAD 8 bytes; the bytes above the width are the undefined upper bits.
// Population count:       clear the lowest set bit (x AND (x - 1)) until x is 0, counting.
// Leading zeros of iN:    shift x to the top of the register (SHL 64-N), then shift left
//                         until the top bit is set, counting; N when x is 0.
// Trailing zeros of iN:   the population count of ((x AND -x) - 1) zero-extended from N bits
//                         (the bits below the lowest set one; all N when x is 0).
// Byte swap of iN:        N/8 times: r := (r SHL 8) OR (x AND 255), x := x SAR 8.
// Overflow of iN (*.with.overflow; r is the wrapped result):
//     add signed:   ((a XOR r) AND (b XOR r)) < 0 at N bits;  unsigned: r <u a
//     sub signed:   ((a XOR b) AND (a XOR r)) < 0 at N bits;  unsigned: a <u b
//     mul, N <= 32: the product of the extended operands is exact in 64 bits; it overflows
//                   when it differs from its own extension from N bits (signed) or has
//                   bits at N and above (unsigned)
//     mul, N > 32:  the 64-bit product is exact unless a != 0 and p / a != b (signed also
//                   a = -1, b = -2^63, where DIV gives back b); then as for N <= 32.
class TCcSequences {
  public:
    enum class TOverflow { SignedAdd, UnsignedAdd, SignedSub, UnsignedSub, SignedMul, UnsignedMul };

    static void SignExtend(TCcEmitter& out, int reg, unsigned bits, int temp);
    static void ZeroExtend(TCcEmitter& out, int reg, unsigned bits, int temp);
    static void FlipSign(TCcEmitter& out, int reg, int temp);

    // Normalises a and b (iN) for an ordered comparison and compares them with CMP: signed
    // or unsigned order as asked; a and b are changed; temp is scratch.
    static void CompareOrdered(TCcEmitter& out, int a, int b, unsigned bits, bool isSigned, int temp);

    // dst := x >>u s for iN (x and s normalised here and so changed); temps: t1, t2.
    static void LogicalShiftRight(TCcEmitter& out, int dst, int x, int s, unsigned bits, int t1, int t2);

    // q := x /u d for i64; x and d are kept; temps: t1, t2, neither live across a jump
    // (so either may be R13, which the jumps use).
    static void UnsignedDivide64(TCcEmitter& out, int q, int x, int d, int t1, int t2);

    // r := x - q * d; temp is scratch.
    static void Remainder(TCcEmitter& out, int r, int x, int q, int d, int temp);

    // Stores the low `bytes` (1..8) bytes of value at the address in addr, preserving every
    // other byte. value and addr are kept; t1 is scratch (t2 is not used), or count holds
    // the number of bytes already.
    static void StoreBytes(TCcEmitter& out, int addr, int value, unsigned bytes, int t1, int t2,
                           int count = -1);

    // dst := the number of set bits of x (iN); x is changed; temp is scratch.
    static void PopCount(TCcEmitter& out, int dst, int x, unsigned bits, int temp);
    // dst := the leading zeros of x (iN), N for 0; x is changed; t1, t2 scratch.
    static void LeadingZeros(TCcEmitter& out, int dst, int x, unsigned bits, int t1, int t2);
    // dst := the trailing zeros of x (iN), N for 0; x is changed; temp is scratch.
    static void TrailingZeros(TCcEmitter& out, int dst, int x, unsigned bits, int temp);
    // dst := x (iN, N a multiple of 8) with its bytes in reverse order; x is changed; t1, t2 scratch.
    static void ByteSwap(TCcEmitter& out, int dst, int x, unsigned bits, int t1, int t2);
    // r := a op b (wrapped), flag := 1 when the operation overflows iN, else 0. a and b are
    // changed; t1 and t2 are scratch (t2 may be R13), and flag is written last, so it is
    // scratch before.
    static void WithOverflow(TCcEmitter& out, TOverflow op, int r, int flag, int a, int b, unsigned bits,
                             int t1, int t2);
};
