// Instruction selection of the data instructions: arithmetic, compares, casts, memory,
// addresses and select.
#include <llvm/IR/Constants.h>
#include <llvm/IR/DataLayout.h>
#include <llvm/IR/GetElementPtrTypeIterator.h>
#include <llvm/IR/Instructions.h>
#include <llvm/IR/IntrinsicInst.h>
#include <llvm/IR/Intrinsics.h>

#include "UCcAsmText.h"
#include "UCcFunctionLowering.h"
#include "UCcSequences.h"

using namespace llvm;
using namespace cc_text;

void TCcFunctionLowering::SelectBinary(BinaryOperator& instruction) {
    const unsigned bits = Bits(instruction);
    const Value& left = *instruction.getOperand(0);
    const Value& right = *instruction.getOperand(1);
    const unsigned opcode = instruction.getOpcode();
    const int target = Target(instruction, 3);
    auto* constant = dyn_cast<ConstantInt>(&right);
    const bool one = constant && constant->getValue().trunc(bits).isOne();
    const bool allOnes = constant && constant->getValue().trunc(bits).isAllOnes();
    if ((opcode == Instruction::Add && one) || (opcode == Instruction::Sub && allOnes)) {
        FOut.Op("INC", R(target) + ", " + R(Operand(left, 1)));
        return Result(instruction, target);
    }
    // DEC leaves a result of all ones where the N-bit sum would be zero-extended.
    if ((opcode == Instruction::Sub && one) ||
        (opcode == Instruction::Add && allOnes && !instruction.hasNoUnsignedWrap())) {
        FOut.Op("DEC", R(target) + ", " + R(Operand(left, 1)));
        return Result(instruction, target);
    }
    auto simple = [&](const char* mnemonic, int a, int b) { FOut.Op(mnemonic, Three(target, a, b)); };
    switch (opcode) {
    case Instruction::Add:
        simple("ADD", Operand(left, 1), Operand(right, 2));
        break;
    case Instruction::Sub:
        simple("SUB", Operand(left, 1), Operand(right, 2));
        break;
    case Instruction::Mul:
        simple("MUL", Operand(left, 1), Operand(right, 2));
        break;
    case Instruction::And:
        simple("AND", Operand(left, 1), Operand(right, 2));
        break;
    case Instruction::Or:
        simple("OR", Operand(left, 1), Operand(right, 2));
        break;
    case Instruction::Xor:
        simple("XOR", Operand(left, 1), Operand(right, 2));
        break;
    case Instruction::Shl: {
        const int a = Operand(left, 1);
        simple("SHL", a, bits < 8 ? Extended(right, bits, false, 2) : Operand(right, 2));
        break;
    }
    case Instruction::AShr: {
        const int a = Extended(left, bits, true, 1);
        simple("SAR", a, bits < 8 ? Extended(right, bits, false, 2) : Operand(right, 2));
        break;
    }
    case Instruction::LShr: {
        if (bits < 64) {
            const int a = Extended(left, bits, false, 1);
            simple("SAR", a, bits < 8 ? Extended(right, bits, false, 2) : Operand(right, 2));
            break;
        }
        const int a = Operand(left, 1), b = Operand(right, 2);
        TCcSequences::LogicalShiftRight(FOut, target, a, b, bits, 4, 0);
        break;
    }
    case Instruction::SDiv:
    case Instruction::SRem:
    case Instruction::UDiv:
    case Instruction::URem: {
        const bool isSigned = opcode == Instruction::SDiv || opcode == Instruction::SRem;
        const bool remainder = opcode == Instruction::SRem || opcode == Instruction::URem;
        const int a = Extended(left, bits, isSigned, 1);
        const int b = Extended(right, bits, isSigned, 2);
        const int quotient = remainder ? 3 : target;
        if (isSigned || bits < 64)
            FOut.Op("DIV", Three(quotient, a, b));
        else
            TCcSequences::UnsignedDivide64(FOut, quotient, a, b, 4, 0);
        if (remainder) TCcSequences::Remainder(FOut, target, a, quotient, b, 4);
        break;
    }
    default:
        Fail(instruction,
             std::string("the instruction '") + instruction.getOpcodeName() + "' is not supported");
    }
    Result(instruction, target);
}

std::string TCcFunctionLowering::CompareFlags(const ICmpInst& instruction) {
    const Value& left = *instruction.getOperand(0);
    const Value& right = *instruction.getOperand(1);
    const unsigned bits = Bits(left);
    const CmpInst::Predicate predicate = instruction.getPredicate();
    if (predicate == CmpInst::ICMP_EQ || predicate == CmpInst::ICMP_NE) {
        const bool isSigned = !(FBits->ZeroExtended(left) && FBits->ZeroExtended(right)) &&
                              FBits->SignExtended(left) && FBits->SignExtended(right);
        const int a = Extended(left, bits, isSigned, 1);
        FOut.Op("CMP", R(a) + ", " + R(Extended(right, bits, isSigned, 2)));
        return predicate == CmpInst::ICMP_EQ ? "JE" : "JNE";
    }
    // a < b is b > a, a >= b is b <= a: CMP in the order that leaves LE or GT to test.
    const bool swap = predicate == CmpInst::ICMP_SLT || predicate == CmpInst::ICMP_ULT ||
                      predicate == CmpInst::ICMP_SGE || predicate == CmpInst::ICMP_UGE;
    const bool greater = predicate == CmpInst::ICMP_SGT || predicate == CmpInst::ICMP_UGT ||
                         predicate == CmpInst::ICMP_SLT || predicate == CmpInst::ICMP_ULT;
    CompareOrdered(left, right, instruction.isSigned(), swap);
    return greater ? "JG" : "JLE";
}

void TCcFunctionLowering::SelectICmp(ICmpInst& instruction) {
    const Value& left = *instruction.getOperand(0);
    const Value& right = *instruction.getOperand(1);
    const unsigned bits = Bits(left);
    const CmpInst::Predicate predicate = instruction.getPredicate();
    const int target = Target(instruction, 3);
    if (predicate == CmpInst::ICMP_EQ || predicate == CmpInst::ICMP_NE) {
        // Either extension decides equality; the one the operands already have costs nothing.
        const bool isSigned = !(FBits->ZeroExtended(left) && FBits->ZeroExtended(right)) &&
                              FBits->SignExtended(left) && FBits->SignExtended(right);
        const int a = Extended(left, bits, isSigned, 1);
        auto* constant = dyn_cast<ConstantInt>(&right);
        if (constant && constant->getValue().trunc(bits).isZero()) {
            FOut.Op("LNOT", R(target) + ", " + R(a)); // 1 when equal
        } else {
            FOut.Op("XOR", Three(target, a, Extended(right, bits, isSigned, 2)));
            FOut.Op("LNOT", R(target) + ", " + R(target));
        }
        if (predicate == CmpInst::ICMP_NE) FOut.Op("LNOT", R(target) + ", " + R(target));
        return Result(instruction, target);
    }
    const std::string jump = CompareFlags(instruction);
    const std::string done = FOut.NewLabel();
    FOut.Op("CLR", R(target));
    FOut.Jump(jump == "JG" ? "JLE" : "JG", done); // the opposite of the condition skips the INC
    FOut.Op("INC", R(target) + ", " + R(target));
    FOut.Label(done);
    Result(instruction, target);
}

void TCcFunctionLowering::SelectCast(CastInst& instruction) {
    const unsigned from = Bits(*instruction.getOperand(0));
    const int target = Target(instruction, 1);
    switch (instruction.getOpcode()) {
    case Instruction::Trunc:
    case Instruction::PtrToInt:
    case Instruction::BitCast:
    case Instruction::AddrSpaceCast:
        if (!instruction.getOperand(0)->getType()->isIntOrPtrTy())
            Fail(instruction, "casts of this type are not supported");
        Materialize(target, *instruction.getOperand(0));
        break;
    case Instruction::ZExt:
    case Instruction::IntToPtr:
        ExtendInto(target, *instruction.getOperand(0), from, false);
        break;
    case Instruction::SExt:
        ExtendInto(target, *instruction.getOperand(0), from, true);
        break;
    default:
        Fail(instruction, std::string("the cast '") + instruction.getOpcodeName() + "' is not supported");
    }
    Result(instruction, target);
}

void TCcFunctionLowering::SelectLoad(LoadInst& instruction) {
    if (IsAggregate(*instruction.getType())) return SelectAggregateLoad(instruction);
    if (FLayout.getTypeStoreSize(instruction.getType()) > 8)
        Fail(instruction, "loads of more than 8 bytes are not supported");
    const int pointer = Operand(*instruction.getPointerOperand(), 1);
    const int target = Target(instruction, 2);
    FOut.Op("LOAD", R(target) + ", [" + R(pointer) + "]");
    Result(instruction, target);
}

void TCcFunctionLowering::SelectStore(StoreInst& instruction) {
    Value& value = *instruction.getValueOperand();
    if (IsAggregate(*value.getType())) return SelectAggregateStore(instruction);
    if (!value.getType()->isIntOrPtrTy()) Fail(instruction, "stores of this type are not supported");
    const uint64_t bytes = FLayout.getTypeStoreSize(value.getType());
    const int pointer = Operand(*instruction.getPointerOperand(), 1);
    if (IsPaddedAddress(*instruction.getPointerOperand())) {
        FOut.Op("STORE", "[" + R(pointer) + "], " + R(Operand(value, 2)));
    } else {
        const int source = Operand(value, 2);
        const int count = bytes == 8 ? TCcEmitter::Eight : ConstOperand(bytes, 3);
        TCcSequences::StoreBytes(FOut, pointer, source, static_cast<unsigned>(bytes), 3, 4, count);
    }
}

void TCcFunctionLowering::SelectGep(GetElementPtrInst& instruction) {
    const int target = Target(instruction, 1);
    int address = Operand(*instruction.getPointerOperand(), 1);
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
        int scaled = Extended(index, Bits(index), true, 2);
        if (size != 1) {
            FOut.Const(3, static_cast<uint64_t>(size));
            FOut.Op("MUL", Three(2, scaled, 3));
            scaled = 2;
        }
        FOut.Op("ADD", Three(target, address, scaled));
        address = target;
    }
    if (offset == 1) {
        FOut.Op("INC", R(target) + ", " + R(address));
    } else if (offset) {
        FOut.Const(2, static_cast<uint64_t>(offset));
        FOut.Op("ADD", Three(target, address, 2));
    } else if (address != target) {
        FOut.Op("MOV", R(target) + ", " + R(address));
    }
    Result(instruction, target);
}

void TCcFunctionLowering::SelectSelect(SelectInst& instruction) {
    const Value& trueValue = *instruction.getTrueValue();
    const Value& falseValue = *instruction.getFalseValue();
    const int target = Target(instruction, 3);
    if (Bits(instruction) == 1) { // c ? 1 : x is c | x, c ? x : 0 is c & x
        auto* constantTrue = dyn_cast<ConstantInt>(&trueValue);
        auto* constantFalse = dyn_cast<ConstantInt>(&falseValue);
        if ((constantTrue && constantTrue->isOne()) || (constantFalse && constantFalse->isZero())) {
            const bool isOr = constantTrue && constantTrue->isOne();
            const int condition = Extended(*instruction.getCondition(), 1, false, 1);
            const int other = Extended(isOr ? falseValue : trueValue, 1, false, 2);
            FOut.Op(isOr ? "OR" : "AND", Three(target, condition, other));
            return Result(instruction, target);
        }
    }
    const std::string done = FOut.NewLabel();
    const int condition = Extended(*instruction.getCondition(), 1, false, 1);
    Materialize(target, falseValue);
    FOut.Op("CLR", R(4));
    FOut.Op("CMP", R(condition) + ", " + R(4));
    FOut.Jump("JE", done);
    Materialize(target, trueValue);
    FOut.Label(done);
    Result(instruction, target);
}
