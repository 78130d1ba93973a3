// Instruction selection of the data instructions: arithmetic, compares, casts, memory,
// addresses and select.
#include <llvm/IR/Constants.h>
#include <llvm/IR/DataLayout.h>
#include <llvm/IR/GetElementPtrTypeIterator.h>
#include <llvm/IR/Instructions.h>
#include <llvm/IR/IntrinsicInst.h>
#include <llvm/IR/Intrinsics.h>

#include "UCcFunctionLowering.h"
#include "UCcSequences.h"

using namespace llvm;

namespace {

std::string R(int number) {
    return TCcEmitter::Reg(number);
}
std::string Three(int a, int b, int c) {
    return R(a) + ", " + R(b) + ", " + R(c);
}

} // namespace

void TCcFunctionLowering::SelectBinary(BinaryOperator& instruction) {
    const unsigned bits = Bits(instruction);
    Materialize(1, *instruction.getOperand(0));
    Materialize(2, *instruction.getOperand(1));
    auto simple = [&](const char* mnemonic) { FOut.Op(mnemonic, Three(3, 1, 2)); };
    switch (instruction.getOpcode()) {
    case Instruction::Add:
        simple("ADD");
        break;
    case Instruction::Sub:
        simple("SUB");
        break;
    case Instruction::Mul:
        simple("MUL");
        break;
    case Instruction::And:
        simple("AND");
        break;
    case Instruction::Or:
        simple("OR");
        break;
    case Instruction::Xor:
        simple("XOR");
        break;
    case Instruction::Shl:
        if (bits < 8) TCcSequences::ZeroExtend(FOut, 2, bits, 4);
        simple("SHL");
        break;
    case Instruction::AShr:
        TCcSequences::SignExtend(FOut, 1, bits, 4);
        if (bits < 8) TCcSequences::ZeroExtend(FOut, 2, bits, 4);
        simple("SAR");
        break;
    case Instruction::LShr:
        TCcSequences::LogicalShiftRight(FOut, 3, 1, 2, bits, 4, 5);
        break;
    case Instruction::SDiv:
    case Instruction::SRem:
        TCcSequences::SignExtend(FOut, 1, bits, 4);
        TCcSequences::SignExtend(FOut, 2, bits, 4);
        simple("DIV");
        if (instruction.getOpcode() == Instruction::SRem) TCcSequences::Remainder(FOut, 3, 1, 3, 2, 4);
        break;
    case Instruction::UDiv:
    case Instruction::URem:
        if (bits < 64) {
            TCcSequences::ZeroExtend(FOut, 1, bits, 4);
            TCcSequences::ZeroExtend(FOut, 2, bits, 4);
            simple("DIV");
        } else {
            TCcSequences::UnsignedDivide64(FOut, 3, 1, 2, 4, 5, 6);
        }
        if (instruction.getOpcode() == Instruction::URem) TCcSequences::Remainder(FOut, 3, 1, 3, 2, 4);
        break;
    default:
        Fail(instruction,
             std::string("the instruction '") + instruction.getOpcodeName() + "' is not supported");
    }
    Result(instruction, 3);
}

void TCcFunctionLowering::SelectICmp(ICmpInst& instruction) {
    const unsigned bits = Bits(*instruction.getOperand(0));
    Materialize(1, *instruction.getOperand(0));
    Materialize(2, *instruction.getOperand(1));
    const CmpInst::Predicate predicate = instruction.getPredicate();
    const bool equality = predicate == CmpInst::ICMP_EQ || predicate == CmpInst::ICMP_NE;
    auto* branch = dyn_cast<BranchInst>(instruction.getNextNode());
    if (IsCarried(instruction) && branch && branch->isConditional() &&
        branch->getCondition() == &instruction) {
        if (equality) {
            TCcSequences::ZeroExtend(FOut, 1, bits, 4);
            TCcSequences::ZeroExtend(FOut, 2, bits, 4);
            FOut.Op("CMP", R(1) + ", " + R(2));
            FFusedJump = predicate == CmpInst::ICMP_EQ ? "JE" : "JNE";
            return;
        }
    }
    if (equality) {
        FOut.Op("XOR", Three(3, 1, 2));
        TCcSequences::ZeroExtend(FOut, 3, bits, 4);
        FOut.Op("LNOT", R(3) + ", " + R(3)); // 1 when equal
        if (predicate == CmpInst::ICMP_NE) FOut.Op("LNOT", R(3) + ", " + R(3));
        return Result(instruction, 3);
    }
    // a < b is b > a, a >= b is b <= a: CMP in the order that leaves LE or GT to test.
    const bool swap = predicate == CmpInst::ICMP_SLT || predicate == CmpInst::ICMP_ULT ||
                      predicate == CmpInst::ICMP_SGE || predicate == CmpInst::ICMP_UGE;
    const bool greater = predicate == CmpInst::ICMP_SGT || predicate == CmpInst::ICMP_UGT ||
                         predicate == CmpInst::ICMP_SLT || predicate == CmpInst::ICMP_ULT;
    TCcSequences::CompareOrdered(FOut, swap ? 2 : 1, swap ? 1 : 2, bits, instruction.isSigned(), 4);
    if (IsCarried(instruction) && branch && branch->isConditional() &&
        branch->getCondition() == &instruction) {
        FFusedJump = greater ? "JG" : "JLE";
        return;
    }
    const std::string done = FOut.NewLabel();
    FOut.Op("CLR", R(3));
    FOut.Jump(greater ? "JLE" : "JG", done); // the opposite of the condition skips the INC
    FOut.Op("INC", R(3) + ", " + R(3));
    FOut.Label(done);
    Result(instruction, 3);
}

void TCcFunctionLowering::SelectCast(CastInst& instruction) {
    const unsigned from = Bits(*instruction.getOperand(0));
    switch (instruction.getOpcode()) {
    case Instruction::Trunc:
    case Instruction::PtrToInt:
    case Instruction::BitCast:
    case Instruction::AddrSpaceCast:
        if (!instruction.getOperand(0)->getType()->isIntOrPtrTy())
            Fail(instruction, "casts of this type are not supported");
        Materialize(1, *instruction.getOperand(0));
        break;
    case Instruction::ZExt:
    case Instruction::IntToPtr:
        Materialize(1, *instruction.getOperand(0));
        TCcSequences::ZeroExtend(FOut, 1, from, 2);
        break;
    case Instruction::SExt:
        Materialize(1, *instruction.getOperand(0));
        TCcSequences::SignExtend(FOut, 1, from, 2);
        break;
    default:
        Fail(instruction, std::string("the cast '") + instruction.getOpcodeName() + "' is not supported");
    }
    Result(instruction, 1);
}

void TCcFunctionLowering::SelectLoad(LoadInst& instruction) {
    if (IsAggregate(*instruction.getType())) return SelectAggregateLoad(instruction);
    if (FLayout.getTypeStoreSize(instruction.getType()) > 8)
        Fail(instruction, "loads of more than 8 bytes are not supported");
    Materialize(1, *instruction.getPointerOperand());
    FOut.Op("LOAD", R(2) + ", [" + R(1) + "]");
    Result(instruction, 2);
}

void TCcFunctionLowering::SelectStore(StoreInst& instruction) {
    Value& value = *instruction.getValueOperand();
    if (IsAggregate(*value.getType())) return SelectAggregateStore(instruction);
    if (!value.getType()->isIntOrPtrTy()) Fail(instruction, "stores of this type are not supported");
    const uint64_t bytes = FLayout.getTypeStoreSize(value.getType());
    Materialize(1, *instruction.getPointerOperand());
    Materialize(2, value);
    if (IsPaddedAddress(*instruction.getPointerOperand()))
        FOut.Op("STORE", "[" + R(1) + "], " + R(2));
    else
        TCcSequences::StoreBytes(FOut, 1, 2, static_cast<unsigned>(bytes), 3, 4);
}

void TCcFunctionLowering::SelectGep(GetElementPtrInst& instruction) {
    Materialize(1, *instruction.getPointerOperand());
    int64_t offset = 0;
    for (auto it = gep_type_begin(instruction); it != gep_type_end(instruction); ++it) {
        Value& index = *it.getOperand();
        if (StructType* structure = it.getStructTypeOrNull()) {
            const auto field = cast<ConstantInt>(index).getZExtValue();
            offset += static_cast<int64_t>(FLayout.getStructLayout(structure)->getElementOffset(field));
            continue;
        }
        const int64_t size = static_cast<int64_t>(FLayout.getTypeAllocSize(it.getIndexedType()));
        if (auto* constant = dyn_cast<ConstantInt>(&index)) {
            offset += constant->getSExtValue() * size;
            continue;
        }
        Materialize(2, index);
        TCcSequences::SignExtend(FOut, 2, Bits(index), 3);
        if (size != 1) {
            FOut.Const(3, static_cast<uint64_t>(size));
            FOut.Op("MUL", Three(2, 2, 3));
        }
        FOut.Op("ADD", Three(1, 1, 2));
    }
    if (offset) {
        FOut.Const(2, static_cast<uint64_t>(offset));
        FOut.Op("ADD", Three(1, 1, 2));
    }
    Result(instruction, 1);
}

void TCcFunctionLowering::SelectSelect(SelectInst& instruction) {
    const std::string done = FOut.NewLabel();
    Materialize(1, *instruction.getCondition());
    TCcSequences::ZeroExtend(FOut, 1, 1, 4);
    Materialize(2, *instruction.getTrueValue());
    Materialize(3, *instruction.getFalseValue());
    FOut.Op("CLR", R(4));
    FOut.Op("CMP", R(1) + ", " + R(4));
    FOut.Jump("JE", done);
    FOut.Op("MOV", R(3) + ", " + R(2));
    FOut.Label(done);
    Result(instruction, 3);
}
