// Calls, the argument area, byval copies, dynamic allocas and va_start.
//
// A call writes the arguments where the callee's frame will be (the callee's FP is SP + 48
// once CALL has pushed its three records):
//   callee FP+16+16*i   fixed argument i (a parameter of the callee's type), one slot each
//   callee FP+16+16*n   for a variadic callee with n fixed parameters: the address of the
//                       variadic area, which the caller first writes at SP and moves SP past
//                       (and back after the return): the variadic arguments as consecutive
//                       8-byte words, in order, a byval structure among them copied whole in
//                       whole words.
// The callee's va_start describes that area as the overflow area of the SysV va_list (both
// register areas marked used up), so clang's va_arg code reads the words in turn.
// A fixed byval argument arrives here as the address of its copy in the caller's frame (the
// legalisation, TCcLegalize, makes the copy). Results come back in R0, a two-word structure in R0 and R1.
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

namespace {
int64_t RoundUp8(uint64_t size) {
    return static_cast<int64_t>((size + 7) / 8 * 8);
}

// The SysV va_list words as va_start leaves them: gp_offset 48 and fp_offset 176 (both
// register save areas used up), so that every va_arg reads the overflow area.
constexpr uint64_t VaOffsets = 48 | uint64_t{176} << 32;

} // namespace

void TCcFunctionLowering::OutgoingAddress(int reg, int64_t offset, int temp) {
    if (!FMovingStack) return FOut.FrameAddress(reg, FSize + 48 + offset);
    FOut.Op("RDCTL", R(reg) + ", SP");
    FOut.Const(temp, static_cast<uint64_t>(48 + offset));
    FOut.Op("ADD", Three(reg, reg, temp));
}

void TCcFunctionLowering::CheckStack(int reg, int temp) {
    FModule.LoadStackLimit(FOut, temp);
    FOut.Op("CMP", R(reg) + ", " + R(temp));
    FOut.Jump("JG", "__roz_stack_overflow");
}

void TCcFunctionLowering::SelectCall(CallInst& instruction) {
    if (auto* intrinsic = dyn_cast<IntrinsicInst>(&instruction)) return SelectIntrinsic(*intrinsic);
    if (instruction.isInlineAsm()) Fail(instruction, "inline assembly is not supported on this machine");
    // A call of an implicitly declared function calls it through a cast of its address.
    auto* callee = dyn_cast<Function>(instruction.getCalledOperand()->stripPointerCasts());
    if (callee && SelectBuiltin(instruction, callee->getName().str())) return;
    if (callee && callee->isDeclaration())
        Fail(instruction, "undefined function '" + callee->getName().str() + "'");
    Type& result = *instruction.getType();
    if (IsAggregate(result) && Leaves(result).size() > 2)
        Fail(instruction, "returning a structure of more than two words is not supported");
    const unsigned fixed = instruction.getFunctionType()->getNumParams();
    const bool variadic = instruction.getFunctionType()->isVarArg();
    // The variadic area: each argument's offset in it, and its size rounded up to 16.
    std::vector<int64_t> offsets;
    int64_t area = 0;
    for (unsigned i = fixed; i < instruction.arg_size(); ++i) {
        offsets.push_back(area);
        area += instruction.isByValArgument(i)
                    ? RoundUp8(FLayout.getTypeAllocSize(instruction.getParamByValType(i)))
                    : 8;
    }
    area = (area + 8 + 15) / 16 * 16; // the last STORE writes 8 bytes past the area
    // The fixed arguments (and a variadic callee's area address) end here, from the callee's FP.
    const int64_t end = 16 + 16 * static_cast<int64_t>(fixed + variadic);
    const bool moved = FMovingStack;
    if (variadic) { // the area at SP, then SP moves past it for the call
        FMovingStack = true;
        FOut.Op("RDCTL", R(1) + ", SP");
        FOut.Const(2, static_cast<uint64_t>(area));
        FOut.Op("ADD", Three(1, 1, 2));
        CheckStack(1, 2);
        for (unsigned i = fixed; i < instruction.arg_size(); ++i) {
            Value& argument = *instruction.getArgOperand(i);
            const bool byval = instruction.isByValArgument(i);
            if (!byval && !argument.getType()->isIntOrPtrTy())
                Fail(instruction, "arguments of this type are not supported (only integers and pointers)");
            Materialize(byval ? 2 : 1, argument);
            OutgoingAddress(byval ? 1 : 2, offsets[i - fixed] - 48, 3);
            if (byval) {
                FOut.Const(3, FLayout.getTypeAllocSize(instruction.getParamByValType(i)));
                FOut.Op("BLKCOPY", Three(1, 2, 3));
            } else {
                FOut.Op("STORE", "[" + R(2) + "], " + R(1));
            }
        }
        OutgoingAddress(1, -48, 2);
        FOut.Const(2, static_cast<uint64_t>(area));
        FOut.Op("ADD", Three(2, 1, 2));
        FOut.Op("WRCTL", "SP, " + R(2));
        FOut.Op("MOV", R(2) + ", " + R(1));
        OutgoingAddress(1, end - 16, 3);
        FOut.Op("STORE", "[" + R(1) + "], " + R(2));
    }
    // The entry check of this function leaves StackReserve bytes above SP: enough for the
    // records and the arguments of small calls. A larger area is checked before it is written.
    if (48 + end > TCcModuleLowering::StackReserve) {
        OutgoingAddress(1, end - TCcModuleLowering::StackReserve, 2);
        CheckStack(1, 2);
    }
    for (unsigned i = 0; i < fixed; ++i) {
        Value& argument = *instruction.getArgOperand(i);
        if (!argument.getType()->isIntOrPtrTy())
            Fail(instruction, "arguments of this type are not supported (only integers and pointers)");
        Materialize(1, argument);
        OutgoingAddress(2, 16 + 16 * static_cast<int64_t>(i), 3);
        FOut.Op("STORE", "[" + R(2) + "], " + R(1));
    }
    if (callee) {
        FOut.Op("LDA", R(1) + ", " + TCcModuleLowering::Label(*callee));
    } else { // a function pointer holds the function's address; CALL lands at register + 4
        Materialize(1, *instruction.getCalledOperand());
        FOut.Const(2, 4);
        FOut.Op("SUB", R(1) + ", " + R(1) + ", " + R(2));
    }
    FOut.Op("CALL", R(1));
    if (variadic) {
        FOut.Op("RDCTL", R(2) + ", SP");
        FOut.Const(3, static_cast<uint64_t>(area));
        FOut.Op("SUB", Three(2, 2, 3));
        FOut.Op("WRCTL", "SP, " + R(2));
        FMovingStack = moved;
    }
    if (IsAggregate(result)) {
        for (unsigned leaf = 0; leaf < Leaves(result).size(); ++leaf)
            StoreLeaf(instruction, leaf, leaf);
    } else if (!result.isVoidTy()) {
        Result(instruction, 0);
    }
}

// An alloca of a run-time size (or outside the entry block) takes its memory at SP, rounded up
// to 16 bytes, and moves SP past it; the return's SP := FP frees it.
void TCcFunctionLowering::SelectDynamicAlloca(AllocaInst& instruction) {
    const uint64_t size = FLayout.getTypeAllocSize(instruction.getAllocatedType());
    const uint64_t align = std::max<uint64_t>(instruction.getAlign().value(), 16);
    Materialize(1, *instruction.getArraySize());
    TCcSequences::ZeroExtend(FOut, 1, Bits(*instruction.getArraySize()), 2);
    if (size != 1) {
        FOut.Const(2, size);
        FOut.Op("MUL", Three(1, 1, 2));
    }
    FOut.Const(2, align - 1);
    FOut.Op("ADD", Three(1, 1, 2));
    FOut.Op("RDCTL", R(3) + ", SP");
    FOut.Op("ADD", Three(3, 3, 2)); // the address rounded up to the alignment
    FOut.Const(2, ~(align - 1));
    FOut.Op("AND", Three(1, 1, 2));
    FOut.Op("AND", Three(3, 3, 2));
    FOut.Op("ADD", Three(4, 3, 1)); // the new SP
    FOut.Op("CMP", R(3) + ", " + R(4));
    FOut.Jump("JG", "__roz_stack_overflow"); // the size wrapped around
    CheckStack(4, 2);
    FOut.Op("WRCTL", "SP, " + R(4));
    Result(instruction, 3);
}

void TCcFunctionLowering::SelectVaStart(IntrinsicInst& instruction) {
    if (!FFunction.isVarArg()) Fail(instruction, "va_start outside a variadic function");
    Materialize(1, *instruction.getArgOperand(0));
    FOut.Const(2, VaOffsets);
    TCcSequences::StoreBytes(FOut, 1, 2, 8, 3, 4);
    FOut.Op("ADD", Three(1, 1, TCcEmitter::Eight));
    FOut.LoadFrame(2, 16 + 16 * static_cast<int64_t>(FFunction.arg_size())); // overflow_arg_area
    TCcSequences::StoreBytes(FOut, 1, 2, 8, 3, 4);
    FOut.Op("ADD", Three(1, 1, TCcEmitter::Eight));
    FOut.Op("CLR", R(2)); // reg_save_area: never read
    TCcSequences::StoreBytes(FOut, 1, 2, 8, 3, 4);
}
