#include "UCcSequences.h"

#include "UCcAsmText.h"

using namespace cc_text;

namespace {
uint64_t Mask(unsigned bits) {
    return bits >= 64 ? UINT64_MAX : (uint64_t{1} << bits) - 1;
}

} // namespace

void TCcSequences::SignExtend(TCcEmitter& out, int reg, unsigned bits, int temp) {
    if (bits >= 64) return;
    out.Const(temp, 64 - bits);
    out.Op("SHL", Three(reg, reg, temp));
    out.Op("SAR", Three(reg, reg, temp));
}

void TCcSequences::ZeroExtend(TCcEmitter& out, int reg, unsigned bits, int temp) {
    if (bits >= 64) return;
    out.Const(temp, Mask(bits));
    out.Op("AND", Three(reg, reg, temp));
}

void TCcSequences::FlipSign(TCcEmitter& out, int reg, int temp) {
    out.Const(temp, uint64_t{1} << 63);
    out.Op("XOR", Three(reg, reg, temp));
}

void TCcSequences::CompareOrdered(TCcEmitter& out, int a, int b, unsigned bits, bool isSigned, int temp) {
    if (isSigned) {
        SignExtend(out, a, bits, temp);
        SignExtend(out, b, bits, temp);
    } else if (bits < 64) {
        ZeroExtend(out, a, bits, temp);
        ZeroExtend(out, b, bits, temp);
    } else {
        FlipSign(out, a, temp);
        FlipSign(out, b, temp);
    }
    out.Op("CMP", R(a) + ", " + R(b));
}

void TCcSequences::LogicalShiftRight(TCcEmitter& out, int dst, int x, int s, unsigned bits, int t1, int t2) {
    if (bits < 64) {
        ZeroExtend(out, x, bits, t1);
        if (bits < 8) ZeroExtend(out, s, bits, t1);
        out.Op("SAR", Three(dst, x, s));
        return;
    }
    out.Op("ONES", R(t1));
    out.Const(t2, 64);
    out.Op("SUB", Three(t2, t2, s));
    out.Op("SHL", Three(t1, t1, t2)); // -1 << (64 - s)
    out.Op("ONES", R(t2));
    out.Op("XOR", Three(t1, t1, t2)); // the low 64 - s bits set
    out.Op("SAR", Three(dst, x, s));
    out.Op("AND", Three(dst, dst, t1));
}

void TCcSequences::UnsignedDivide64(TCcEmitter& out, int q, int x, int d, int t1, int t2) {
    const std::string big = out.NewLabel(), negative = out.NewLabel(), done = out.NewLabel();
    out.Op("CLR", R(t1));
    out.Op("CMP", R(t1) + ", " + R(d));
    out.Jump("JG", big); // d >= 2^63
    out.Op("CLR", R(t1));
    out.Op("CMP", R(t1) + ", " + R(x));
    out.Jump("JG", negative); // x >= 2^63
    out.Op("DIV", Three(q, x, d));
    out.Jump("JMP", done);

    out.Label(negative);
    out.Const(t1, 1);
    out.Op("SAR", Three(t2, x, t1));
    out.Const(t1, INT64_MAX);
    out.Op("AND", Three(t2, t2, t1)); // x >>u 1
    out.Op("DIV", Three(t2, t2, d));
    out.Const(t1, 1);
    out.Op("SHL", Three(q, t2, t1));
    out.Op("MUL", Three(t2, q, d));
    out.Op("SUB", Three(t2, x, t2)); // the remainder so far, r < 2d
    out.Op("SUB", Three(t2, t2, d)); // r - d: with d < 2^63 negative exactly when r < d
    out.Op("CLR", R(t1));
    out.Op("CMP", R(t1) + ", " + R(t2));
    out.Jump("JG", done);
    out.Op("INC", R(q) + ", " + R(q));
    out.Jump("JMP", done);

    out.Label(big);
    out.Const(t1, uint64_t{1} << 63);
    out.Op("XOR", Three(t2, x, t1));
    out.Op("XOR", Three(t1, d, t1));
    out.Op("CLR", R(q));
    out.Op("CMP", R(t1) + ", " + R(t2));
    out.Jump("JG", done);
    out.Op("INC", R(q) + ", " + R(q));
    out.Label(done);
}

void TCcSequences::Remainder(TCcEmitter& out, int r, int x, int q, int d, int temp) {
    out.Op("MUL", Three(temp, q, d));
    out.Op("SUB", Three(r, x, temp));
}

void TCcSequences::StoreBytes(TCcEmitter& out, int addr, int value, unsigned bytes, int t1, int t2,
                              int count) {
    static_cast<void>(t2);
    const int cell = TCcEmitter::ScratchCell;
    out.Op("STORE", "[" + R(cell) + "], " + R(value));
    if (count < 0 && bytes == 8) count = TCcEmitter::Eight;
    if (count < 0) {
        out.Const(t1, bytes);
        count = t1;
    }
    out.Op("BLKCOPY", Three(addr, cell, count));
}

void TCcSequences::PopCount(TCcEmitter& out, int dst, int x, unsigned bits, int temp) {
    const std::string loop = out.NewLabel(), done = out.NewLabel();
    ZeroExtend(out, x, bits, temp);
    out.Op("CLR", R(dst));
    out.Label(loop);
    out.Op("CLR", R(temp));
    out.Op("CMP", R(x) + ", " + R(temp));
    out.Jump("JE", done);
    out.Op("DEC", R(temp) + ", " + R(x));
    out.Op("AND", Three(x, x, temp));
    out.Op("INC", R(dst) + ", " + R(dst));
    out.Jump("JMP", loop);
    out.Label(done);
}

void TCcSequences::LeadingZeros(TCcEmitter& out, int dst, int x, unsigned bits, int t1, int t2) {
    const std::string loop = out.NewLabel(), zero = out.NewLabel(), done = out.NewLabel();
    if (bits < 64) {
        out.Const(t1, 64 - bits);
        out.Op("SHL", Three(x, x, t1));
    }
    out.Op("CLR", R(dst));
    out.Op("CLR", R(t1));
    out.Op("CMP", R(x) + ", " + R(t1));
    out.Jump("JE", zero);
    out.Const(t2, 1);
    out.Label(loop);
    out.Op("CMP", R(x) + ", " + R(t1));
    out.Jump("JLE", done); // the top bit is set
    out.Op("SHL", Three(x, x, t2));
    out.Op("INC", R(dst) + ", " + R(dst));
    out.Jump("JMP", loop);
    out.Label(zero);
    out.Const(dst, bits);
    out.Label(done);
}

void TCcSequences::TrailingZeros(TCcEmitter& out, int dst, int x, unsigned bits, int temp) {
    out.Op("CLR", R(temp));
    out.Op("SUB", Three(temp, temp, x));
    out.Op("AND", Three(x, x, temp));
    out.Op("DEC", R(x) + ", " + R(x));
    PopCount(out, dst, x, bits, temp);
}

void TCcSequences::ByteSwap(TCcEmitter& out, int dst, int x, unsigned bits, int t1, int t2) {
    const std::string loop = out.NewLabel();
    const int eight = TCcEmitter::Eight;
    out.Op("CLR", R(dst));
    out.Const(t1, bits / 8);
    out.Label(loop);
    out.Op("SHL", Three(dst, dst, eight));
    out.Const(t2, 255);
    out.Op("AND", Three(t2, x, t2));
    out.Op("OR", Three(dst, dst, t2));
    out.Op("SAR", Three(x, x, eight));
    out.Op("DEC", R(t1) + ", " + R(t1));
    out.Op("CLR", R(t2));
    out.Op("CMP", R(t1) + ", " + R(t2));
    out.Jump("JG", loop);
}

void TCcSequences::WithOverflow(TCcEmitter& out, TOverflow op, int r, int flag, int a, int b, unsigned bits,
                                int t1, int t2) {
    const std::string set = out.NewLabel(), done = out.NewLabel();
    switch (op) {
    case TOverflow::SignedAdd:
    case TOverflow::SignedSub:
        out.Op(op == TOverflow::SignedAdd ? "ADD" : "SUB", Three(r, a, b));
        if (op == TOverflow::SignedAdd) {
            out.Op("XOR", Three(t1, a, r));
            out.Op("XOR", Three(t2, b, r));
        } else {
            out.Op("XOR", Three(t1, a, b));
            out.Op("XOR", Three(t2, a, r));
        }
        out.Op("AND", Three(t1, t1, t2));
        SignExtend(out, t1, bits, t2);
        out.Op("CLR", R(t2));
        out.Op("CMP", R(t2) + ", " + R(t1));
        out.Jump("JG", set);
        break;
    case TOverflow::UnsignedAdd:
        out.Op("ADD", Three(r, a, b));
        out.Op("MOV", R(t1) + ", " + R(r));
        CompareOrdered(out, a, t1, bits, false, t2);
        out.Jump("JG", set);
        break;
    case TOverflow::UnsignedSub:
        out.Op("SUB", Three(r, a, b));
        CompareOrdered(out, b, a, bits, false, t2);
        out.Jump("JG", set);
        break;
    case TOverflow::SignedMul:
    case TOverflow::UnsignedMul: {
        const bool isSigned = op == TOverflow::SignedMul;
        if (isSigned) {
            SignExtend(out, a, bits, t1);
            SignExtend(out, b, bits, t1);
        } else {
            ZeroExtend(out, a, bits, t1);
            ZeroExtend(out, b, bits, t1);
        }
        out.Op("MUL", Three(r, a, b));
        if (bits > 32) { // is the 64-bit product exact?
            const std::string exact = out.NewLabel();
            out.Op("CLR", R(t1));
            out.Op("CMP", R(a) + ", " + R(t1));
            out.Jump("JE", exact);
            if (isSigned)
                out.Op("DIV", Three(t1, r, a));
            else
                UnsignedDivide64(out, t1, r, a, t2, flag);
            out.Op("CMP", R(t1) + ", " + R(b));
            out.Jump("JNE", set);
            if (isSigned) { // -1 * -2^63
                out.Op("ONES", R(t1));
                out.Op("CMP", R(a) + ", " + R(t1));
                out.Jump("JNE", exact);
                out.Const(t1, uint64_t{1} << 63);
                out.Op("CMP", R(b) + ", " + R(t1));
                out.Jump("JE", set);
            }
            out.Label(exact);
        }
        if (bits < 64) { // does the exact product fit in N bits?
            if (isSigned) {
                out.Op("MOV", R(t1) + ", " + R(r));
                SignExtend(out, t1, bits, t2);
                out.Op("CMP", R(t1) + ", " + R(r));
            } else {
                out.Const(t2, bits);
                out.Op("SAR", Three(t1, r, t2));
                out.Op("CLR", R(t2));
                out.Op("CMP", R(t1) + ", " + R(t2));
            }
            out.Jump("JNE", set);
        }
        break;
    }
    }
    out.Op("CLR", R(flag));
    out.Jump("JMP", done);
    out.Label(set);
    out.Const(flag, 1);
    out.Label(done);
}
