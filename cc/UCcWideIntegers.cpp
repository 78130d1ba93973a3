#include "UCcWideIntegers.h"

#include <algorithm>
#include <map>
#include <vector>

#include <llvm/ADT/PostOrderIterator.h>
#include <llvm/Analysis/InstSimplifyFolder.h>
#include <llvm/IR/CFG.h>
#include <llvm/IR/Constants.h>
#include <llvm/IR/Function.h>
#include <llvm/IR/IRBuilder.h>
#include <llvm/IR/Instructions.h>

using namespace llvm;

namespace {

// Folds what the pieces make trivial (an and with 0, an or with 0, a shift of 0) as it builds.
using TBuilder = IRBuilder<InstSimplifyFolder>;

bool IsWide(const Type* type) {
    return type->isIntegerTy() && type->getIntegerBitWidth() > 64;
}

bool IsWideValue(const Value* value) {
    return IsWide(value->getType());
}

// A wide result or a wide operand.
bool IsWideUser(const Instruction& instruction) {
    if (IsWideValue(&instruction)) return true;
    for (const Value* operand : instruction.operand_values())
        if (IsWideValue(operand)) return true;
    return false;
}

// Whether the instruction touches wide integers only in ways that Split rewrites.
bool Supported(const Instruction& instruction) {
    const bool wideResult = IsWideValue(&instruction);
    bool wideOperand = false;
    for (const Value* operand : instruction.operand_values())
        if (IsWideValue(operand)) {
            wideOperand = true;
            if (operand->getType()->getIntegerBitWidth() > TCcWideIntegers::MaxBits) return false;
            if (!isa<Instruction>(operand) && !isa<ConstantInt>(operand) && !isa<UndefValue>(operand))
                return false;
        }
    if (!wideResult && !wideOperand) return true;
    if (wideResult && instruction.getType()->getIntegerBitWidth() > TCcWideIntegers::MaxBits) return false;
    switch (instruction.getOpcode()) {
    case Instruction::Load:
        return !cast<LoadInst>(instruction).isAtomic();
    case Instruction::Store:
        return !cast<StoreInst>(instruction).isAtomic() && IsWideValue(instruction.getOperand(0));
    case Instruction::And:
    case Instruction::Or:
    case Instruction::Xor:
    case Instruction::Add:
    case Instruction::Sub:
    case Instruction::Trunc:
    case Instruction::ZExt:
    case Instruction::SExt:
    case Instruction::ICmp:
    case Instruction::PHI:
        return true;
    case Instruction::Select:
        return !IsWideValue(instruction.getOperand(0));
    case Instruction::Shl:
    case Instruction::LShr:
    case Instruction::AShr:
        return isa<ConstantInt>(instruction.getOperand(1));
    default:
        return false;
    }
}

class TSplitter {
  public:
    explicit TSplitter(Function& function)
        : FFunction(function), FLayout(function.getParent()->getDataLayout()),
          FI64(Type::getInt64Ty(function.getContext())) {}

    void Run() {
        // Pieces of the phis first: their incoming values may be defined later.
        for (BasicBlock& block : FFunction)
            for (PHINode& phi : block.phis())
                if (IsWideValue(&phi)) {
                    TBuilder builder = Before(&phi);
                    std::vector<Value*>& pieces = FPieces[&phi];
                    for (unsigned i = 0; i < Count(phi.getType()); ++i)
                        pieces.push_back(builder.CreatePHI(FI64, phi.getNumIncomingValues()));
                }
        for (BasicBlock* block : ReversePostOrderTraversal<Function*>(&FFunction))
            for (Instruction& instruction : *block)
                if (IsWideUser(instruction)) Rewrite(instruction);
        for (BasicBlock& block : FFunction)
            for (PHINode& phi : block.phis())
                if (IsWideValue(&phi))
                    for (unsigned k = 0; k < phi.getNumIncomingValues(); ++k) {
                        TBuilder builder = Before(phi.getIncomingBlock(k)->getTerminator());
                        const std::vector<Value*> incoming = Pieces(phi.getIncomingValue(k), builder);
                        for (size_t i = 0; i < incoming.size(); ++i)
                            cast<PHINode>(FPieces[&phi][i])
                                ->addIncoming(incoming[i], phi.getIncomingBlock(k));
                    }
        // What is left of the wide integers (in unreachable blocks too, which were not visited)
        // goes: every use of them is rewritten or dead.
        std::vector<Instruction*> wide;
        for (BasicBlock& block : FFunction)
            for (Instruction& instruction : block)
                if (IsWideUser(instruction)) wide.push_back(&instruction);
        for (Instruction* instruction : wide)
            if (!instruction->getType()->isVoidTy())
                instruction->replaceAllUsesWith(UndefValue::get(instruction->getType()));
        for (Instruction* instruction : wide)
            instruction->eraseFromParent();
    }

  private:
    TBuilder Before(Instruction* instruction) const {
        return TBuilder(instruction->getParent(), instruction->getIterator(), InstSimplifyFolder(FLayout));
    }
    static unsigned Count(const Type* type) { return (type->getIntegerBitWidth() + 63) / 64; }
    // The bits of the top piece.
    static unsigned TopBits(const Type* type) { return type->getIntegerBitWidth() - 64 * (Count(type) - 1); }

    // The pieces of a wide operand (an instruction rewritten before, a constant, undef).
    std::vector<Value*> Pieces(Value* value, TBuilder& builder) {
        if (auto found = FPieces.find(value); found != FPieces.end()) return found->second;
        const unsigned count = Count(value->getType());
        std::vector<Value*> pieces;
        if (auto* constant = dyn_cast<ConstantInt>(value)) {
            const APInt& bits = constant->getValue();
            for (unsigned i = 0; i < count; ++i)
                pieces.push_back(builder.getInt64(
                    bits.extractBitsAsZExtValue(std::min(64u, bits.getBitWidth() - 64 * i), 64 * i)));
        } else { // undef or poison, or an instruction in an unreachable block
            pieces.assign(count, UndefValue::get(FI64));
        }
        return pieces;
    }

    // Piece i in memory: 8 bytes, the top one as many as its bits need.
    Type* PieceType(const Type* type, unsigned i) const {
        return i + 1 < Count(type) ? FI64
                                   : IntegerType::get(FFunction.getContext(), 8 * ((TopBits(type) + 7) / 8));
    }
    // Its address from the wide integer's, cast to i64* (Words).
    Value* PieceAddress(Value* words, Type* piece, unsigned i, TBuilder& builder) const {
        Value* at = i ? builder.CreateConstGEP1_64(FI64, words, i) : words;
        return piece == FI64 ? at
                             : builder.CreateBitCast(
                                   at, piece->getPointerTo(words->getType()->getPointerAddressSpace()));
    }
    Value* Words(Value* pointer, TBuilder& builder) const {
        return builder.CreateBitCast(pointer,
                                     FI64->getPointerTo(pointer->getType()->getPointerAddressSpace()));
    }

    Value* MaskTop(Value* top, const Type* type, TBuilder& builder) {
        const unsigned bits = TopBits(type);
        return bits == 64 ? top : builder.CreateAnd(top, builder.getInt64((uint64_t{1} << bits) - 1));
    }

    // Pieces for a value of type `to` from pieces of any width: extended with fill, truncated,
    // the top masked.
    std::vector<Value*> Fit(std::vector<Value*> pieces, Value* fill, const Type* to, TBuilder& builder) {
        pieces.resize(Count(to), fill);
        pieces.back() = MaskTop(pieces.back(), to, builder);
        return pieces;
    }

    Value* Shift(Value* value, unsigned bits, bool left, TBuilder& builder) {
        if (!bits) return value;
        return left ? builder.CreateShl(value, bits) : builder.CreateLShr(value, bits);
    }

    std::vector<Value*> Rewrite(Instruction& instruction, TBuilder& builder) {
        const Type* type = instruction.getType();
        auto operand = [&](unsigned i) { return Pieces(instruction.getOperand(i), builder); };
        switch (instruction.getOpcode()) {
        case Instruction::Load: {
            auto& load = cast<LoadInst>(instruction);
            std::vector<Value*> pieces;
            Value* words = Words(load.getPointerOperand(), builder);
            for (unsigned i = 0; i < Count(type); ++i) {
                Type* piece = PieceType(type, i);
                LoadInst* part =
                    builder.CreateAlignedLoad(piece, PieceAddress(words, piece, i, builder),
                                              commonAlignment(load.getAlign(), 8 * i), load.isVolatile());
                pieces.push_back(builder.CreateZExt(part, FI64));
            }
            if (TopBits(type) % 8) pieces.back() = MaskTop(pieces.back(), type, builder);
            return pieces;
        }
        case Instruction::Store: {
            auto& store = cast<StoreInst>(instruction);
            const Type* stored = store.getValueOperand()->getType();
            const std::vector<Value*> pieces = operand(0);
            Value* words = Words(store.getPointerOperand(), builder);
            for (unsigned i = 0; i < Count(stored); ++i) {
                Type* piece = PieceType(stored, i);
                builder.CreateAlignedStore(builder.CreateTrunc(pieces[i], piece),
                                           PieceAddress(words, piece, i, builder),
                                           commonAlignment(store.getAlign(), 8 * i), store.isVolatile());
            }
            return {};
        }
        case Instruction::And:
        case Instruction::Or:
        case Instruction::Xor: {
            const std::vector<Value*> a = operand(0), b = operand(1);
            std::vector<Value*> pieces;
            for (size_t i = 0; i < a.size(); ++i)
                pieces.push_back(instruction.getOpcode() == Instruction::And ? builder.CreateAnd(a[i], b[i])
                                 : instruction.getOpcode() == Instruction::Or
                                     ? builder.CreateOr(a[i], b[i])
                                     : builder.CreateXor(a[i], b[i]));
            return pieces;
        }
        case Instruction::Add:
        case Instruction::Sub: {
            const bool add = instruction.getOpcode() == Instruction::Add;
            const std::vector<Value*> a = operand(0), b = operand(1);
            std::vector<Value*> pieces;
            Value* carry = builder.getInt64(0);
            for (size_t i = 0; i < a.size(); ++i) {
                Value* partial = add ? builder.CreateAdd(a[i], b[i]) : builder.CreateSub(a[i], b[i]);
                Value* first = add ? builder.CreateICmpULT(partial, a[i]) : builder.CreateICmpULT(a[i], b[i]);
                Value* whole = add ? builder.CreateAdd(partial, carry) : builder.CreateSub(partial, carry);
                Value* second =
                    add ? builder.CreateICmpULT(whole, partial) : builder.CreateICmpULT(partial, carry);
                pieces.push_back(whole);
                carry = builder.CreateZExt(builder.CreateOr(first, second), FI64);
            }
            pieces.back() = MaskTop(pieces.back(), type, builder);
            return pieces;
        }
        case Instruction::Shl:
        case Instruction::LShr:
        case Instruction::AShr: {
            std::vector<Value*> in = operand(0);
            const unsigned count = static_cast<unsigned>(in.size());
            const uint64_t amount = cast<ConstantInt>(instruction.getOperand(1))->getLimitedValue();
            if (amount >= type->getIntegerBitWidth())
                return std::vector<Value*>(count, UndefValue::get(FI64));
            const unsigned words = static_cast<unsigned>(amount / 64),
                           bits = static_cast<unsigned>(amount % 64);
            Value* zero = builder.getInt64(0);
            Value* fill = zero;
            if (instruction.getOpcode() == Instruction::AShr) { // the top piece sign-extended
                const unsigned top = 64 - TopBits(type);
                if (top) in.back() = builder.CreateAShr(builder.CreateShl(in.back(), top), top);
                fill = builder.CreateAShr(in.back(), 63);
            }
            auto at = [&](int i) {
                return i < 0 ? zero : i >= int(count) ? fill : in[static_cast<size_t>(i)];
            };
            std::vector<Value*> pieces;
            for (int i = 0; i < int(count); ++i) {
                if (instruction.getOpcode() == Instruction::Shl) {
                    Value* high = Shift(at(i - int(words)), bits, true, builder);
                    pieces.push_back(bits ? builder.CreateOr(high, Shift(at(i - int(words) - 1), 64 - bits,
                                                                         false, builder))
                                          : high);
                } else {
                    Value* low = Shift(at(i + int(words)), bits, false, builder);
                    pieces.push_back(
                        bits ? builder.CreateOr(low, Shift(at(i + int(words) + 1), 64 - bits, true, builder))
                             : low);
                }
            }
            pieces.back() = MaskTop(pieces.back(), type, builder);
            return pieces;
        }
        case Instruction::Trunc: {
            std::vector<Value*> in = operand(0);
            if (IsWide(type)) return Fit(in, nullptr, type, builder);
            return {type->getIntegerBitWidth() == 64 ? in[0]
                                                     : builder.CreateTrunc(in[0], instruction.getType())};
        }
        case Instruction::ZExt:
        case Instruction::SExt: {
            Value* source = instruction.getOperand(0);
            const bool isSigned = instruction.getOpcode() == Instruction::SExt;
            std::vector<Value*> in;
            if (IsWideValue(source)) {
                in = Pieces(source, builder);
                if (isSigned) {
                    const unsigned top = 64 - TopBits(source->getType());
                    if (top) in.back() = builder.CreateAShr(builder.CreateShl(in.back(), top), top);
                }
            } else {
                in = {isSigned ? builder.CreateSExt(source, FI64) : builder.CreateZExt(source, FI64)};
            }
            Value* fill = builder.getInt64(0);
            if (isSigned && Count(type) > in.size()) fill = builder.CreateAShr(in.back(), 63);
            return Fit(in, fill, type, builder);
        }
        case Instruction::ICmp: {
            auto& compare = cast<ICmpInst>(instruction);
            const Type* compared = compare.getOperand(0)->getType();
            std::vector<Value*> a = operand(0), b = operand(1);
            if (compare.isEquality()) {
                Value* differ = builder.getInt64(0);
                for (size_t i = 0; i < a.size(); ++i)
                    differ = builder.CreateOr(differ, builder.CreateXor(a[i], b[i]));
                return {compare.getPredicate() == ICmpInst::ICMP_EQ
                            ? builder.CreateICmpEQ(differ, builder.getInt64(0))
                            : builder.CreateICmpNE(differ, builder.getInt64(0))};
            }
            if (compare.isSigned()) { // the top pieces compare signed, sign-extended
                const unsigned top = 64 - TopBits(compared);
                if (top) {
                    a.back() = builder.CreateAShr(builder.CreateShl(a.back(), top), top);
                    b.back() = builder.CreateAShr(builder.CreateShl(b.back(), top), top);
                }
            }
            const ICmpInst::Predicate lower = compare.getUnsignedPredicate();
            Value* result = builder.CreateICmp(lower, a[0], b[0]);
            for (size_t i = 1; i < a.size(); ++i) {
                const bool top = i + 1 == a.size();
                Value* here = builder.CreateICmp(top ? compare.getPredicate() : lower, a[i], b[i]);
                result = builder.CreateSelect(builder.CreateICmpEQ(a[i], b[i]), result, here);
            }
            return {result};
        }
        case Instruction::Select: {
            const std::vector<Value*> a = operand(1), b = operand(2);
            std::vector<Value*> pieces;
            for (size_t i = 0; i < a.size(); ++i)
                pieces.push_back(builder.CreateSelect(instruction.getOperand(0), a[i], b[i]));
            return pieces;
        }
        case Instruction::PHI:
            return FPieces[&instruction];
        default:
            return {};
        }
    }

    void Rewrite(Instruction& instruction) {
        if (isa<PHINode>(instruction)) return; // its pieces exist, their inputs come last
        TBuilder builder = Before(&instruction);
        builder.SetCurrentDebugLocation(instruction.getDebugLoc());
        std::vector<Value*> pieces = Rewrite(instruction, builder);
        if (IsWideValue(&instruction)) {
            FPieces[&instruction] = std::move(pieces);
        } else if (!pieces.empty()) { // a narrow result: trunc or icmp
            instruction.replaceAllUsesWith(pieces[0]);
        }
    }

    Function& FFunction;
    const DataLayout& FLayout;
    Type* FI64;
    std::map<Value*, std::vector<Value*>> FPieces;
};

} // namespace

bool TCcWideIntegers::Split(Function& function) {
    bool any = false;
    for (BasicBlock& block : function)
        for (Instruction& instruction : block) {
            if (!Supported(instruction)) return false;
            any |= IsWideUser(instruction);
        }
    if (!any) return false;
    TSplitter(function).Run();
    return true;
}
