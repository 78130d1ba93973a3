// Frame layout, operands and control flow; the data instructions are in UCcInstructionSelect.cpp.
#include "UCcFunctionLowering.h"

#include <llvm/Analysis/LoopInfo.h>
#include <llvm/IR/Constants.h>
#include <llvm/IR/DataLayout.h>
#include <llvm/IR/DebugInfoMetadata.h>
#include <llvm/IR/Dominators.h>
#include <llvm/IR/Function.h>
#include <llvm/IR/Instructions.h>
#include <llvm/IR/IntrinsicInst.h>
#include <llvm/IR/Module.h>
#include <llvm/IR/Operator.h>

#include "UCcAsmText.h"
#include "UCcError.h"
#include "UCcModuleLowering.h"
#include "UCcSequences.h"

using namespace llvm;
using namespace cc_text;

namespace {

int64_t RoundUp16(uint64_t size) {
    return static_cast<int64_t>((size + 15) / 16 * 16);
}

} // namespace

TCcFunctionLowering::TCcFunctionLowering(TCcModuleLowering& module, Function& function, TCcEmitter& out,
                                         unsigned index, char level)
    : FModule(module), FFunction(function), FOut(out), FLayout(module.Layout()), FIndex(index),
      FLevel(level) {}

TCcFunctionLowering::~TCcFunctionLowering() = default;

void TCcFunctionLowering::Lower() {
    Type& result = *FFunction.getReturnType();
    if (IsAggregate(result) && Leaves(result).size() > 2)
        Fail(*FFunction.getEntryBlock().begin(),
             "returning a structure of more than two words is not supported");
    PrepareCalls();
    PrepareAggregates();
    PrepareConstants();
    PrepareBranches();
    LayoutFrame();
    Prologue();
    for (BasicBlock& block : FFunction) {
        FOut.Label(BlockLabel(block));
        EnterBlock(block);
        for (Instruction& instruction : block) {
            SourceComment(instruction);
            Select(instruction);
        }
    }
    DeferredEdges();
}

void TCcFunctionLowering::SourceComment(const Instruction& instruction) {
    FOut.Mark(instruction);
    const DILocation* location = instruction.getDebugLoc().get();
    if (!location || !location->getLine() || isa<DbgInfoIntrinsic>(instruction)) return;
    std::string path = location->getFilename().str();
    if (!path.empty() && path[0] != '/' && !location->getDirectory().empty())
        path = location->getDirectory().str() + "/" + path;
    if (path == FCommentFile && location->getLine() == FCommentLine) return;
    FCommentFile = path;
    FCommentLine = location->getLine();
    FOut.Comment(location->getFilename().str() + ":" + std::to_string(FCommentLine) + ": " +
                 FModule.SourceLine(path, FCommentLine));
}

int TCcFunctionLowering::Home(const Value& value) const {
    return FAllocation->Home(value);
}

void TCcFunctionLowering::LayoutFrame() {
    unsigned number = 0;
    for (BasicBlock& block : FFunction)
        FBlockNumber[&block] = number++;
    FBits = std::make_unique<TCcValueBits>(FFunction, FLayout);
    PrepareLoopValues();
    std::vector<TCcRegisterAllocation::TLoopValue> loopValues;
    for (const TLoopValueInfo& info : FLoopValues)
        loopValues.push_back({&info, info.Blocks, info.Entries, info.Weight, info.Parent});
    FAllocation = std::make_unique<TCcRegisterAllocation>(
        FFunction, FLevel != '0', TCcEmitter::FirstHome,
        [this](const Instruction& instruction) {
            return !isa<AllocaInst>(instruction) && !IsFused(instruction) &&
                   instruction.getType()->isIntOrPtrTy();
        },
        [this](const Instruction& instruction) { return CopyOf(instruction); },
        [this](const Instruction& instruction) { return InPlace(instruction); }, loopValues);
    int64_t offset = 16;
    for (Argument& argument : FFunction.args()) {
        if (!argument.getType()->isIntOrPtrTy())
            Fail(*FFunction.getEntryBlock().begin(), "aggregate parameters are not supported");
        FSlot[&argument] = offset; // where the caller wrote it
        offset += 16;
    }
    if (FFunction.isVarArg()) offset += 16; // the address of the variadic area (UCcCallLowering.cpp)
    for (BasicBlock& block : FFunction)
        for (Instruction& instruction : block) {
            if (auto* alloca = dyn_cast<AllocaInst>(&instruction)) {
                const auto size = alloca->getAllocationSizeInBits(FLayout);
                if (alloca->isStaticAlloca() && size) {
                    FAlloca[alloca] = 0; // placed after the value slots
                    continue;
                }
                FResetStack = true; // a dynamic alloca moves SP
            }
            if (auto* intrinsic = dyn_cast<IntrinsicInst>(&instruction))
                FResetStack |= intrinsic->getIntrinsicID() == Intrinsic::stackrestore;
            if (instruction.getType()->isVoidTy() || Home(instruction) >= 0) continue;
            // The members of a group without a home share one slot.
            const Value& representative = FAllocation->Representative(instruction);
            if (auto shared = FSlot.find(&representative); shared != FSlot.end()) {
                FSlot[&instruction] = shared->second;
                continue;
            }
            FSlot[&instruction] = offset;
            if (&representative != &instruction) FSlot[&representative] = offset;
            offset += 16 * SlotCount(*instruction.getType());
        }
    // In the function's order, not the map's (addresses), so that the output is the same each run.
    for (const BasicBlock& block : FFunction)
        for (const Instruction& instruction : block)
            if (auto at = FAlloca.find(&instruction); at != FAlloca.end()) {
                at->second = offset;
                offset += RoundUp16(*cast<AllocaInst>(instruction).getAllocationSizeInBits(FLayout) / 8);
            }
    FSaveArea = offset;
    FSize = offset + 16 * static_cast<int64_t>(FAllocation->UsedHomes().size());
}

void TCcFunctionLowering::Prologue() {
    FOut.Raw("");
    FOut.Comment("function " + FFunction.getName().str() + ": frame of " + std::to_string(FSize) + " bytes");
    FOut.Label(TCcModuleLowering::Label(FFunction));
    FOut.Op("RDCTL", R(TCcEmitter::Addr) + ", SP");
    FOut.Op("STORE", "[" + R(TCcEmitter::Addr) + "], " + R(TCcEmitter::FP));
    FOut.Op("MOV", R(TCcEmitter::FP) + ", " + R(TCcEmitter::Addr));
    // R1 holds the CALL's target until the check: a stack overflow names the function by it.
    FOut.FrameAddress(3, FSaveArea);
    FOut.Op("WRCTL", "SP, " + R(3));
    const std::vector<int>& saved = FAllocation->UsedHomes();
    for (int reg : saved)
        FOut.Op("PUSH", R(reg));
    if (!saved.empty()) FOut.Op("RDCTL", R(3) + ", SP");
    FModule.LoadStackLimit(FOut, 2);
    FOut.Op("CMP", R(3) + ", " + R(2));
    FOut.Jump("JG", "__roz_stack_overflow");
    for (Argument& argument : FFunction.args())
        if (Home(argument) >= 0) FOut.LoadFrame(Home(argument), FSlot.at(&argument));
}

void TCcFunctionLowering::Select(Instruction& instruction) {
    Type& type = *instruction.getType();
    if (!type.isVoidTy() && !type.isIntOrPtrTy() && !IsAggregate(type))
        Fail(instruction, "values of this type are not supported (only integers and pointers)");
    if (type.isIntegerTy() && Bits(instruction) > 64)
        Fail(instruction, "integers wider than 64 bits are not supported on this machine");
    if (IsFused(instruction)) return;             // tested by the branch
    if (FAllocation->IsCopy(instruction)) return; // its operand's home or slot is its own
    if (auto* binary = dyn_cast<BinaryOperator>(&instruction)) return SelectBinary(*binary);
    if (auto* cast = dyn_cast<CastInst>(&instruction)) return SelectCast(*cast);
    switch (instruction.getOpcode()) {
    case Instruction::ICmp:
        return SelectICmp(cast<ICmpInst>(instruction));
    case Instruction::Load:
        return SelectLoad(cast<LoadInst>(instruction));
    case Instruction::Store:
        return SelectStore(cast<StoreInst>(instruction));
    case Instruction::GetElementPtr:
        return SelectGep(cast<GetElementPtrInst>(instruction));
    case Instruction::Select:
        return SelectSelect(cast<SelectInst>(instruction));
    case Instruction::Call:
        return SelectCall(cast<CallInst>(instruction));
    case Instruction::Ret:
        return SelectRet(cast<ReturnInst>(instruction));
    case Instruction::Br:
        return SelectBr(cast<BranchInst>(instruction));
    case Instruction::Switch:
        return SelectSwitch(cast<SwitchInst>(instruction));
    case Instruction::ExtractValue:
        return SelectExtractValue(cast<ExtractValueInst>(instruction));
    case Instruction::InsertValue:
        return SelectInsertValue(cast<InsertValueInst>(instruction));
    case Instruction::Alloca: // a static one's address is FP + its offset, made where it is used
        if (!FAlloca.count(&instruction)) SelectDynamicAlloca(cast<AllocaInst>(instruction));
        return;
    case Instruction::PHI: // written by the predecessors' edges
        return;
    case Instruction::Freeze: {
        const int target = Target(instruction, 1);
        Materialize(target, *instruction.getOperand(0));
        return Result(instruction, target);
    }
    case Instruction::Unreachable:
        FOut.Comment("unreachable");
        return;
    default:
        Fail(instruction,
             std::string("the instruction '") + instruction.getOpcodeName() + "' is not supported");
    }
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

std::string TCcFunctionLowering::BlockLabel(const BasicBlock& block) const {
    return ".L" + std::to_string(FIndex) + "_" + std::to_string(FBlockNumber.at(&block));
}

void TCcFunctionLowering::Fail(const Instruction& instruction, const std::string& text) const {
    unsigned line = 0, column = 0;
    std::string file = FModule.SourceName();
    if (const DILocation* location = instruction.getDebugLoc().get()) {
        line = location->getLine();
        column = location->getColumn();
        file = location->getFilename().str();
    } else if (const DISubprogram* program = FFunction.getSubprogram()) {
        line = program->getLine();
        file = program->getFilename().str();
    }
    throw TCcError(file, line, column, text);
}

void TCcFunctionLowering::SelectRet(ReturnInst& instruction) {
    if (Value* value = instruction.getReturnValue()) {
        if (IsAggregate(*value->getType())) {
            for (unsigned leaf = 0; leaf < Leaves(*value->getType()).size(); ++leaf)
                MaterializeLeaf(static_cast<int>(leaf), *value, leaf);
        } else {
            Materialize(0, *value);
        }
    }
    const std::vector<int>& saved = FAllocation->UsedHomes();
    if (FResetStack && !saved.empty()) {
        FOut.FrameAddress(1, FSize);
        FOut.Op("WRCTL", "SP, " + R(1));
    }
    for (auto reg = saved.rbegin(); reg != saved.rend(); ++reg)
        FOut.Op("POP", R(*reg));
    FOut.Op("WRCTL", "SP, " + R(TCcEmitter::FP));
    FOut.Op("LOAD", R(TCcEmitter::FP) + ", [" + R(TCcEmitter::FP) + "]");
    FOut.Op("RET");
}
