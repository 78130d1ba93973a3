// The intrinsics that clang and LLVM's passes emit for plain C. Any other is refused with its
// name and line.
#include <llvm/IR/Constants.h>
#include <llvm/IR/DataLayout.h>
#include <llvm/IR/Instructions.h>
#include <llvm/IR/IntrinsicInst.h>
#include <llvm/IR/Intrinsics.h>

#include "UCcAsmText.h"
#include "UCcFunctionLowering.h"
#include "UCcModuleLowering.h"
#include "UCcSequences.h"

using namespace llvm;
using namespace cc_text;

void TCcFunctionLowering::SelectMinMax(IntrinsicInst& instruction, bool isSigned, bool isMax) {
    const unsigned bits = Bits(instruction);
    const std::string done = FOut.NewLabel();
    Materialize(1, *instruction.getArgOperand(0));
    Materialize(2, *instruction.getArgOperand(1));
    FOut.Op("MOV", R(3) + ", " + R(1));
    FOut.Op("MOV", R(0) + ", " + R(2));
    TCcSequences::CompareOrdered(FOut, 1, 2, bits, isSigned, 4); // a against b
    FOut.Jump(isMax ? "JG" : "JLE", done);                       // keep a
    FOut.Op("MOV", R(3) + ", " + R(0));
    FOut.Label(done);
    Result(instruction, 3);
}

void TCcFunctionLowering::SelectIntrinsic(IntrinsicInst& instruction) {
    switch (instruction.getIntrinsicID()) {
    case Intrinsic::dbg_declare:
    case Intrinsic::dbg_value:
    case Intrinsic::dbg_label:
    case Intrinsic::lifetime_start:
    case Intrinsic::lifetime_end:
    case Intrinsic::assume:
    case Intrinsic::experimental_noalias_scope_decl:
    case Intrinsic::invariant_start:
    case Intrinsic::invariant_end:
    case Intrinsic::sideeffect:
    case Intrinsic::donothing:
    case Intrinsic::prefetch:
    case Intrinsic::var_annotation:
    case Intrinsic::vaend:
        if (!instruction.getType()->isVoidTy()) { // invariant.start's token, unused
            FOut.Op("CLR", R(1));
            return Result(instruction, 1);
        }
        return;
    case Intrinsic::expect:
    case Intrinsic::expect_with_probability:
    case Intrinsic::annotation:
    case Intrinsic::ptr_annotation:
    case Intrinsic::launder_invariant_group:
    case Intrinsic::strip_invariant_group:
        Materialize(1, *instruction.getArgOperand(0));
        return Result(instruction, 1);
    case Intrinsic::objectsize: // unknown: -1, or 0 when the minimum is asked
        FOut.Const(1, cast<ConstantInt>(instruction.getArgOperand(1))->isOne() ? 0 : UINT64_MAX);
        return Result(instruction, 1);
    case Intrinsic::is_constant:
        FOut.Op("CLR", R(1));
        return Result(instruction, 1);
    case Intrinsic::smax:
        return SelectMinMax(instruction, true, true);
    case Intrinsic::smin:
        return SelectMinMax(instruction, true, false);
    case Intrinsic::umax:
        return SelectMinMax(instruction, false, true);
    case Intrinsic::umin:
        return SelectMinMax(instruction, false, false);
    case Intrinsic::abs: {
        const std::string done = FOut.NewLabel();
        Materialize(1, *instruction.getArgOperand(0));
        TCcSequences::SignExtend(FOut, 1, Bits(instruction), 4);
        FOut.Op("CLR", R(2));
        FOut.Op("CMP", R(2) + ", " + R(1));
        FOut.Jump("JLE", done); // 0 <= x
        FOut.Op("SUB", Three(1, 2, 1));
        FOut.Label(done);
        return Result(instruction, 1);
    }
    case Intrinsic::memcpy: // BLKCOPY copies ascending, right for disjoint ranges
    case Intrinsic::memcpy_inline:
    case Intrinsic::vacopy: {
        Materialize(1, *instruction.getArgOperand(0));
        Materialize(2, *instruction.getArgOperand(1));
        if (instruction.getIntrinsicID() == Intrinsic::vacopy)
            FOut.Const(3, 24); // the SysV __va_list_tag
        else
            Materialize(3, *instruction.getArgOperand(2));
        FOut.Op("BLKCOPY", Three(1, 2, 3));
        return;
    }
    case Intrinsic::memmove:
        return SelectMemmove(instruction);
    case Intrinsic::memset:
        return SelectMemset(instruction);
    case Intrinsic::vastart:
        return SelectVaStart(instruction);
    case Intrinsic::stacksave:
        FOut.Op("RDCTL", R(1) + ", SP");
        return Result(instruction, 1);
    case Intrinsic::stackrestore:
        Materialize(1, *instruction.getArgOperand(0));
        FOut.Op("WRCTL", "SP, " + R(1));
        return;
    case Intrinsic::trap:
    case Intrinsic::ubsantrap:
        FOut.Const(0, TCcModuleLowering::TrapValue);
        FOut.Address(1, "__roz_end");
        FOut.Op("JMP", R(1));
        return;
    case Intrinsic::sadd_with_overflow:
    case Intrinsic::uadd_with_overflow:
    case Intrinsic::ssub_with_overflow:
    case Intrinsic::usub_with_overflow:
    case Intrinsic::smul_with_overflow:
    case Intrinsic::umul_with_overflow:
        return SelectWithOverflow(instruction);
    case Intrinsic::ctpop:
    case Intrinsic::ctlz:
    case Intrinsic::cttz:
    case Intrinsic::bswap:
        return SelectBitCount(instruction);
    case Intrinsic::fshl:
        return SelectFunnelShift(instruction, true);
    case Intrinsic::fshr:
        return SelectFunnelShift(instruction, false);
    default:
        Fail(instruction,
             "the intrinsic '" + instruction.getCalledFunction()->getName().str() + "' is not supported");
    }
}

void TCcFunctionLowering::SelectMemmove(IntrinsicInst& instruction) {
    // BLKCOPY when copying ascending is safe (the destination is not inside the source
    // after its start), else byte by byte from the end.
    const std::string forward = FOut.NewLabel(), loop = FOut.NewLabel(), done = FOut.NewLabel();
    Materialize(1, *instruction.getArgOperand(0));
    Materialize(2, *instruction.getArgOperand(1));
    Materialize(3, *instruction.getArgOperand(2));
    FOut.Op("CMP", R(1) + ", " + R(2));
    FOut.Jump("JLE", forward);
    FOut.Op("ADD", Three(4, 2, 3));
    FOut.Op("CMP", R(4) + ", " + R(1));
    FOut.Jump("JLE", forward);
    FOut.Label(loop);
    FOut.Op("CLR", R(4));
    FOut.Op("CMP", R(3) + ", " + R(4));
    FOut.Jump("JLE", done);
    FOut.Op("DEC", R(3) + ", " + R(3));
    FOut.Op("ADD", Three(4, 2, 3));
    FOut.Op("LOAD", R(0) + ", " + Mem(4));
    FOut.Op("ADD", Three(4, 1, 3));
    TCcSequences::StoreBytes(FOut, 4, 0, 1, TCcEmitter::Addr, TCcEmitter::Addr);
    FOut.Jump("JMP", loop);
    FOut.Label(forward);
    FOut.Op("BLKCOPY", Three(1, 2, 3));
    FOut.Label(done);
}

void TCcFunctionLowering::SelectMemset(IntrinsicInst& instruction) {
    // The first byte by a byte store, then BLKCOPY from each byte to the next: copying
    // ascending through the overlap repeats the first byte over the rest.
    const std::string done = FOut.NewLabel();
    Materialize(3, *instruction.getArgOperand(2));
    FOut.Op("CLR", R(4));
    FOut.Op("CMP", R(3) + ", " + R(4));
    FOut.Jump("JLE", done);
    Materialize(1, *instruction.getArgOperand(0));
    Materialize(2, *instruction.getArgOperand(1));
    TCcSequences::StoreBytes(FOut, 1, 2, 1, 4, 4);
    Materialize(3, *instruction.getArgOperand(2));
    FOut.Op("DEC", R(3) + ", " + R(3));
    FOut.Op("INC", R(2) + ", " + R(1));
    FOut.Op("BLKCOPY", Three(2, 1, 3));
    FOut.Label(done);
}

// The {result, overflow} pair goes to the two leaf slots of the aggregate.
void TCcFunctionLowering::SelectWithOverflow(IntrinsicInst& instruction) {
    using TOverflow = TCcSequences::TOverflow;
    TOverflow op = TOverflow::SignedAdd;
    switch (instruction.getIntrinsicID()) {
    case Intrinsic::uadd_with_overflow:
        op = TOverflow::UnsignedAdd;
        break;
    case Intrinsic::ssub_with_overflow:
        op = TOverflow::SignedSub;
        break;
    case Intrinsic::usub_with_overflow:
        op = TOverflow::UnsignedSub;
        break;
    case Intrinsic::smul_with_overflow:
        op = TOverflow::SignedMul;
        break;
    case Intrinsic::umul_with_overflow:
        op = TOverflow::UnsignedMul;
        break;
    default:
        break;
    }
    const unsigned bits = Bits(*instruction.getArgOperand(0));
    if (bits > 64) Fail(instruction, "integers wider than 64 bits are not supported on this machine");
    Materialize(1, *instruction.getArgOperand(0));
    Materialize(2, *instruction.getArgOperand(1));
    TCcSequences::WithOverflow(FOut, op, 3, 4, 1, 2, bits, 0, TCcEmitter::Addr);
    StoreLeaf(instruction, 0, 3);
    StoreLeaf(instruction, 1, 4);
}

void TCcFunctionLowering::SelectBitCount(IntrinsicInst& instruction) {
    const unsigned bits = Bits(instruction);
    if (bits > 64) Fail(instruction, "integers wider than 64 bits are not supported on this machine");
    Materialize(1, *instruction.getArgOperand(0));
    switch (instruction.getIntrinsicID()) {
    case Intrinsic::ctpop:
        TCcSequences::PopCount(FOut, 2, 1, bits, 3);
        break;
    case Intrinsic::ctlz:
        TCcSequences::LeadingZeros(FOut, 2, 1, bits, 3, 4);
        break;
    case Intrinsic::cttz:
        TCcSequences::TrailingZeros(FOut, 2, 1, bits, 3);
        break;
    default:
        if (bits % 8) Fail(instruction, "llvm.bswap of a width that is not whole bytes");
        TCcSequences::ByteSwap(FOut, 2, 1, bits, 3, 4);
        break;
    }
    Result(instruction, 2);
}

// fshl: (a SHL s) OR (b >>u (N - s)); fshr: (b >>u s) OR (a SHL (N - s)), s taken modulo N.
// A shift by N leaves 0 in the low N bits, so s = 0 needs no case of its own.
void TCcFunctionLowering::SelectFunnelShift(IntrinsicInst& instruction, bool left) {
    const unsigned bits = Bits(instruction);
    if (bits > 64 || (bits & (bits - 1)))
        Fail(instruction, "funnel shifts of a width that is not a power of two are not supported");
    Materialize(1, *instruction.getArgOperand(0));
    Materialize(2, *instruction.getArgOperand(1));
    Materialize(3, *instruction.getArgOperand(2));
    FOut.Const(4, bits - 1);
    FOut.Op("AND", Three(3, 3, 4));
    FOut.Const(4, bits);
    FOut.Op("SUB", Three(4, 4, 3)); // N - s
    if (left) {
        FOut.Op("SHL", Three(0, 1, 3));
        TCcSequences::LogicalShiftRight(FOut, 1, 2, 4, bits, TCcEmitter::Addr, 3);
    } else {
        FOut.Op("SHL", Three(0, 1, 4));
        TCcSequences::LogicalShiftRight(FOut, 1, 2, 3, bits, TCcEmitter::Addr, 4);
    }
    FOut.Op("OR", Three(0, 0, 1));
    Result(instruction, 0);
}
