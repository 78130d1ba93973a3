// Operands and results: where an instruction's selection reads its operands and writes its
// result (Materialize, Operand, Result, Target, Extended), and the helpers that every
// selection file calls for constants and jumps (Const, ConstOperand, Jump), which use the
// registers of the loop values around the block. CopyOf and InPlace tell the register
// allocation what the selection of an instruction does with its operands.
#include <algorithm>

#include <llvm/IR/Constants.h>
#include <llvm/IR/DataLayout.h>
#include <llvm/IR/GlobalVariable.h>
#include <llvm/IR/Instructions.h>
#include <llvm/IR/Operator.h>

#include "UCcAsmText.h"
#include "UCcFunctionLowering.h"
#include "UCcModuleLowering.h"
#include "UCcSequences.h"

using namespace llvm;
using namespace cc_text;

int TCcFunctionLowering::Home(const Value& value) const {
    return FAllocation->Home(value);
}

void TCcFunctionLowering::Materialize(int reg, const Value& value) {
    if (IsAggregate(*value.getType()))
        Fail(*FFunction.getEntryBlock().begin(), "an aggregate operand of this kind is not supported");
    if (auto* constant = dyn_cast<ConstantInt>(&value)) {
        if (constant->getBitWidth() > 64)
            Fail(*FFunction.getEntryBlock().begin(),
                 "integers wider than 64 bits are not supported on this machine");
        return Const(reg, constant->getZExtValue());
    }
    if (isa<ConstantPointerNull>(value) || isa<UndefValue>(value)) return FOut.Const(reg, 0);
    if (auto* global = dyn_cast<GlobalValue>(&value))
        return FOut.Address(reg, TCcModuleLowering::Label(*global));
    if (auto* expression = dyn_cast<ConstantExpr>(&value)) {
        if (auto* gep = dyn_cast<GEPOperator>(expression)) {
            APInt offset(64, 0);
            auto* base = dyn_cast<GlobalValue>(gep->getPointerOperand()->stripPointerCasts());
            if (base && gep->accumulateConstantOffset(FLayout, offset))
                return FOut.Address(reg, TCcModuleLowering::Label(*base), offset.getSExtValue());
        }
        if (expression->isCast()) {
            Materialize(reg, *expression->getOperand(0));
            if (expression->getOpcode() == Instruction::ZExt ||
                expression->getOpcode() == Instruction::IntToPtr)
                TCcSequences::ZeroExtend(FOut, reg, Bits(*expression->getOperand(0)), TCcEmitter::Addr);
            else if (expression->getOpcode() == Instruction::SExt)
                TCcSequences::SignExtend(FOut, reg, Bits(*expression->getOperand(0)), TCcEmitter::Addr);
            return;
        }
        Fail(*FFunction.getEntryBlock().begin(),
             std::string("the constant expression '") + expression->getOpcodeName() + "' is not supported");
    }
    if (auto alloca = FAlloca.find(&value); alloca != FAlloca.end())
        return FOut.FrameAddress(reg, alloca->second);
    if (const int home = Home(value); home >= 0) {
        if (reg != home) FOut.Op("MOV", R(reg) + ", " + R(home));
        return;
    }
    const auto slot = FSlot.find(&value);
    if (slot == FSlot.end())
        Fail(*FFunction.getEntryBlock().begin(), "an operand of this kind is not supported");
    FOut.LoadFrame(reg, slot->second);
}

void TCcFunctionLowering::Result(const Instruction& instruction, int reg) {
    if (const int home = Home(instruction); home >= 0) {
        if (reg != home) FOut.Op("MOV", R(home) + ", " + R(reg));
        return;
    }
    FOut.StoreFrame(FSlot.at(&instruction), reg);
}

int TCcFunctionLowering::Operand(const Value& value, int scratch) {
    if (const int home = Home(value); home >= 0) return home;
    if (auto* constant = dyn_cast<ConstantInt>(&value); constant && constant->getBitWidth() <= 64)
        return ConstOperand(constant->getZExtValue(), scratch);
    Materialize(scratch, value);
    return scratch;
}

int TCcFunctionLowering::Target(const Instruction& instruction, int scratch) const {
    const int home = Home(instruction);
    return home >= 0 ? home : scratch;
}

int TCcFunctionLowering::Extended(const Value& value, unsigned bits, bool isSigned, int scratch) {
    if (bits >= 64 ||
        (bits == Bits(value) && (isSigned ? FBits->SignExtended(value) : FBits->ZeroExtended(value))))
        return Operand(value, scratch);
    ExtendInto(scratch, value, bits, isSigned);
    return scratch;
}

void TCcFunctionLowering::ExtendInto(int reg, const Value& value, unsigned bits, bool isSigned) {
    if (auto* constant = dyn_cast<ConstantInt>(&value); constant && bits <= constant->getBitWidth()) {
        const APInt extended = constant->getValue().trunc(bits);
        return FOut.Const(reg, isSigned ? extended.getSExtValue() : extended.getZExtValue());
    }
    if (bits >= 64 ||
        (bits == Bits(value) && (isSigned ? FBits->SignExtended(value) : FBits->ZeroExtended(value))))
        return Materialize(reg, value);
    const int source = Operand(value, reg);
    const int temp = TCcEmitter::Addr;
    if (isSigned) {
        const int shift = ConstOperand(64 - bits, temp);
        FOut.Op("SHL", Three(reg, source, shift));
        FOut.Op("SAR", Three(reg, reg, shift));
    } else {
        FOut.Op("AND",
                Three(reg, source, ConstOperand(bits >= 64 ? UINT64_MAX : (uint64_t{1} << bits) - 1, temp)));
    }
}

void TCcFunctionLowering::CompareOrdered(const Value& a, const Value& b, bool isSigned, bool swap) {
    const unsigned bits = Bits(a);
    int left, right;
    if (bits < 64 || isSigned || (FBits->NonNegative(a) && FBits->NonNegative(b))) {
        left = Extended(a, bits, isSigned, 1);
        right = Extended(b, bits, isSigned, 2);
    } else { // unsigned order of 64 bits is the signed order with the sign bits flipped
        const uint64_t sign = uint64_t{1} << 63;
        auto flipped = [&](const Value& value, int scratch) {
            if (auto* constant = dyn_cast<ConstantInt>(&value)) {
                FOut.Const(scratch, constant->getZExtValue() ^ sign);
                return scratch;
            }
            const int source = Operand(value, scratch);
            FOut.Const(TCcEmitter::Addr, sign);
            FOut.Op("XOR", R(scratch) + ", " + R(source) + ", " + R(TCcEmitter::Addr));
            return scratch;
        };
        left = flipped(a, 1);
        right = flipped(b, 2);
    }
    if (swap) std::swap(left, right);
    FOut.Op("CMP", R(left) + ", " + R(right));
}

bool TCcFunctionLowering::IsPaddedAddress(const Value& pointer) const {
    if (auto* alloca = dyn_cast<AllocaInst>(&pointer)) return *alloca->getAllocationSizeInBits(FLayout) <= 64;
    if (auto* global = dyn_cast<GlobalVariable>(&pointer))
        return TCcModuleLowering::IsPaddedGlobal(*global, FLayout);
    return false;
}

unsigned TCcFunctionLowering::Bits(const Value& value) const {
    Type* type = value.getType();
    if (type->isPointerTy()) return 64;
    if (type->isIntegerTy()) return type->getIntegerBitWidth();
    return 64;
}

void TCcFunctionLowering::Jump(const std::string& mnemonic, const std::string& label) {
    if (auto it = FJumpRegisters.find(label); it != FJumpRegisters.end())
        return FOut.Op(mnemonic, R(it->second));
    FOut.Jump(mnemonic, label);
}

void TCcFunctionLowering::Const(int reg, uint64_t value) {
    auto it = FConstRegisters.find(value);
    if (it == FConstRegisters.end()) return FOut.Const(reg, value);
    if (it->second != reg) FOut.Op("MOV", R(reg) + ", " + R(it->second));
}

int TCcFunctionLowering::ConstOperand(uint64_t value, int scratch) {
    if (auto it = FConstRegisters.find(value); it != FConstRegisters.end()) return it->second;
    FOut.Const(scratch, value);
    return scratch;
}

const Value* TCcFunctionLowering::CopyOf(const Instruction& instruction) const {
    if (isa<FreezeInst>(instruction)) return instruction.getOperand(0);
    if (!isa<CastInst>(instruction) || !instruction.getType()->isIntOrPtrTy() ||
        !instruction.getOperand(0)->getType()->isIntOrPtrTy())
        return nullptr;
    const Value& operand = *instruction.getOperand(0);
    switch (instruction.getOpcode()) {
    case Instruction::Trunc:
    case Instruction::PtrToInt:
    case Instruction::BitCast:
    case Instruction::AddrSpaceCast:
        return &operand;
    case Instruction::ZExt:
    case Instruction::IntToPtr:
        return FBits->ZeroExtended(operand) ? &operand : nullptr;
    case Instruction::SExt:
        return FBits->SignExtended(operand) ? &operand : nullptr;
    default:
        return nullptr;
    }
}

bool TCcFunctionLowering::InPlace(const Instruction& instruction) const {
    switch (instruction.getOpcode()) {
    case Instruction::Add:
    case Instruction::Sub:
    case Instruction::Mul:
    case Instruction::And:
    case Instruction::Or:
    case Instruction::Xor:
    case Instruction::Shl:
    case Instruction::AShr:
    case Instruction::LShr:
    case Instruction::SDiv:
    case Instruction::SRem:
    case Instruction::URem:
    case Instruction::ICmp:
    case Instruction::Load:
    case Instruction::Trunc:
    case Instruction::ZExt:
    case Instruction::SExt:
    case Instruction::PtrToInt:
    case Instruction::IntToPtr:
    case Instruction::BitCast:
        return true;
    case Instruction::UDiv: // the 64-bit sequence writes the quotient before its last read
        return Bits(instruction) < 64;
    case Instruction::GetElementPtr: // with two variable indices the sum is written between them
        return std::count_if(instruction.op_begin() + 1, instruction.op_end(),
                             [](const Use& index) { return !isa<ConstantInt>(index.get()); }) <= 1;
    default:
        return false;
    }
}
