#include "UCcValueBits.h"

#include <optional>

#include <llvm/ADT/Triple.h>
#include <llvm/Analysis/AssumptionCache.h>
#include <llvm/Analysis/LoopInfo.h>
#include <llvm/Analysis/ScalarEvolution.h>
#include <llvm/Analysis/TargetLibraryInfo.h>
#include <llvm/Analysis/ValueTracking.h>
#include <llvm/IR/Constants.h>
#include <llvm/IR/DataLayout.h>
#include <llvm/IR/Dominators.h>
#include <llvm/IR/Function.h>
#include <llvm/IR/Instructions.h>
#include <llvm/IR/Module.h>
#include <llvm/IR/Operator.h>
#include <llvm/Support/KnownBits.h>

using namespace llvm;

namespace {

unsigned Width(const Value& value) {
    return value.getType()->isIntegerTy() ? value.getType()->getIntegerBitWidth() : 64;
}

// Select, freeze and phi pass one of their operands on unchanged: the result is extended
// when every operand that may pass is. Nullopt for the other instructions.
template <typename TExtended>
std::optional<bool> PassedOn(const Instruction& instruction, const TExtended& extended) {
    switch (instruction.getOpcode()) {
    case Instruction::Select:
        return extended(*instruction.getOperand(1)) && extended(*instruction.getOperand(2));
    case Instruction::Freeze:
        return extended(*instruction.getOperand(0));
    case Instruction::PHI:
        for (const Value* incoming : cast<PHINode>(instruction).incoming_values())
            if (!extended(*incoming)) return false;
        return true;
    default:
        return std::nullopt;
    }
}

} // namespace

struct TCcValueBits::TAnalyses {
    explicit TAnalyses(Function& function)
        : LibraryImpl(Triple(function.getParent()->getTargetTriple())), Library(LibraryImpl),
          Assumptions(function), Dominators(function), Loops(Dominators),
          Evolution(function, Library, Assumptions, Dominators, Loops) {}
    TargetLibraryInfoImpl LibraryImpl;
    TargetLibraryInfo Library;
    AssumptionCache Assumptions;
    DominatorTree Dominators;
    LoopInfo Loops;
    ScalarEvolution Evolution;
};

TCcValueBits::~TCcValueBits() = default;

bool TCcValueBits::InRange(const Value& value, unsigned bits, bool isSigned) const {
    if (!value.getType()->isIntegerTy() || !FAnalyses->Evolution.isSCEVable(value.getType())) return false;
    const SCEV* evolution = FAnalyses->Evolution.getSCEV(const_cast<Value*>(&value));
    const unsigned width = Width(value);
    if (bits >= width) return true;
    if (isSigned) {
        const ConstantRange range = FAnalyses->Evolution.getSignedRange(evolution);
        return range.getSignedMin().sge(APInt::getSignedMinValue(bits).sext(width)) &&
               range.getSignedMax().sle(APInt::getSignedMaxValue(bits).sext(width));
    }
    return FAnalyses->Evolution.getUnsignedRange(evolution).getUnsignedMax().ult(APInt(width, 1).shl(bits));
}

TCcValueBits::TCcValueBits(const Function& function, const DataLayout& layout)
    : FLayout(layout), FAnalyses(std::make_unique<TAnalyses>(const_cast<Function&>(function))) {
    for (const BasicBlock& block : function)
        for (const Instruction& instruction : block)
            if (instruction.getType()->isIntegerTy() && Width(instruction) < 64) {
                FZero[&instruction] = true;
                FSign[&instruction] = true;
            }
    for (bool changed = true; changed;) { // the rules only turn true into false
        changed = false;
        for (auto& [value, known] : FZero)
            if (known && !ZeroRule(*value)) known = false, changed = true;
        for (auto& [value, known] : FSign)
            if (known && !SignRule(*value)) known = false, changed = true;
    }
}

bool TCcValueBits::NonNegative(const Value& value) const {
    if (!value.getType()->isIntOrPtrTy()) return false;
    return computeKnownBits(&value, FLayout).isNonNegative() || InRange(value, Width(value) - 1, false);
}

bool TCcValueBits::FitsUnsigned(const Value& value, unsigned bits) const {
    if (!value.getType()->isIntOrPtrTy()) return false;
    const unsigned width = Width(value);
    if (width <= bits) return ZeroExtended(value);
    return ZeroExtended(value) && (computeKnownBits(&value, FLayout).countMinLeadingZeros() >= width - bits ||
                                   InRange(value, bits, false));
}

bool TCcValueBits::ZeroExtended(const Value& value) const {
    if (Width(value) >= 64) return true;
    auto it = FZero.find(&value);
    return it != FZero.end() ? it->second : ZeroRule(value);
}

bool TCcValueBits::SignExtended(const Value& value) const {
    if (Width(value) >= 64) return true;
    auto it = FSign.find(&value);
    return it != FSign.end() ? it->second : SignRule(value);
}

bool TCcValueBits::ZeroRule(const Value& value) const {
    if (isa<ConstantInt>(value) || isa<UndefValue>(value)) return true; // materialized zero-extended
    auto* instruction = dyn_cast<Instruction>(&value);
    if (!instruction) return false;
    auto extended = [&](const Value& v) { return ZeroExtended(v); };
    if (const auto passed = PassedOn(*instruction, extended)) return *passed;
    auto operand = [&](unsigned i) { return ZeroExtended(*instruction->getOperand(i)); };
    auto signedOperand = [&](unsigned i) { return SignExtended(*instruction->getOperand(i)); };
    switch (instruction->getOpcode()) {
    case Instruction::ICmp: // 0 or 1
    case Instruction::ZExt:
    case Instruction::UDiv: // of zero-extended operands
    case Instruction::URem:
    case Instruction::LShr:
        return true;
    case Instruction::And:
        return operand(0) || operand(1);
    case Instruction::Or:
    case Instruction::Xor:
        return operand(0) && operand(1);
    case Instruction::Add:
    case Instruction::Sub:
    case Instruction::Mul: // the exact result fits in N bits (and is not negative, signed)
        return (instruction->hasNoUnsignedWrap() && instruction->getOpcode() != Instruction::Sub &&
                operand(0) && operand(1)) ||
               (instruction->hasNoSignedWrap() && signedOperand(0) && signedOperand(1) && NonNegative(value));
    case Instruction::Trunc: { // the bits cut off and those above them are 0
        const Value& source = *instruction->getOperand(0);
        const unsigned from = Width(source), to = Width(*instruction);
        return operand(0) && (computeKnownBits(&source, FLayout).countMinLeadingZeros() >= from - to ||
                              InRange(source, to, false));
    }
    default:
        return false;
    }
}

bool TCcValueBits::SignRule(const Value& value) const {
    if (isa<UndefValue>(value)) return true; // 0
    if (auto* constant = dyn_cast<ConstantInt>(&value)) return !constant->isNegative();
    auto* instruction = dyn_cast<Instruction>(&value);
    if (!instruction) return false;
    if (ZeroExtended(value) && NonNegative(value)) return true;
    auto extended = [&](const Value& v) { return SignExtended(v); };
    if (const auto passed = PassedOn(*instruction, extended)) return *passed;
    auto operand = [&](unsigned i) { return SignExtended(*instruction->getOperand(i)); };
    switch (instruction->getOpcode()) {
    case Instruction::SExt:
    case Instruction::SDiv: // of sign-extended operands
    case Instruction::SRem:
    case Instruction::AShr:
        return true;
    case Instruction::And: // bitwise: every bit above N-1 follows bit N-1
    case Instruction::Or:
    case Instruction::Xor:
        return operand(0) && operand(1);
    case Instruction::Add:
    case Instruction::Sub:
    case Instruction::Mul: // the exact result fits in N bits
        return instruction->hasNoSignedWrap() && operand(0) && operand(1);
    case Instruction::Trunc: { // the value fits in N bits as a signed number
        const Value& source = *instruction->getOperand(0);
        const unsigned from = Width(source), to = Width(*instruction);
        return operand(0) && (ComputeNumSignBits(&source, FLayout) > from - to || InRange(source, to, true));
    }
    default:
        return false;
    }
}
