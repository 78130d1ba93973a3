// One function's lowering: the order of the work, the frame's layout, the prologue and the
// return, and the dispatch of each instruction to its selection (the data instructions:
// UCcInstructionSelect.cpp; operands and results: UCcOperands.cpp).
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
#include "UCcLegalize.h"
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
    NoteFusedAndStack();
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

void TCcFunctionLowering::NoteFusedAndStack() {
    for (const BasicBlock& block : FFunction) {
        for (const Instruction* member : TCcLegalize::ConditionTree(block, FLevel))
            FFused.insert(member);
        for (const Instruction& instruction : block) {
            if (auto* alloca = dyn_cast<AllocaInst>(&instruction); alloca && !alloca->isStaticAlloca())
                FMovingStack = true;
            if (auto* intrinsic = dyn_cast<IntrinsicInst>(&instruction);
                intrinsic && intrinsic->getIntrinsicID() == Intrinsic::stackrestore)
                FMovingStack = true;
        }
    }
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
    FFrameCode.FrameSet = FOut.Text().size();
    // R1 holds the CALL's target until the check: a stack overflow names the function by it.
    FOut.FrameAddress(3, FSaveArea);
    FOut.Op("WRCTL", "SP, " + R(3));
    const std::vector<int>& saved = FAllocation->UsedHomes();
    for (int reg : saved)
        FOut.Op("PUSH", R(reg));
    FFrameCode.SavesEnd = FOut.Text().size();
    FFrameCode.Saved = saved;
    FFrameCode.SaveArea = FSaveArea;
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

std::string TCcFunctionLowering::BlockLabel(const BasicBlock& block) const {
    return ".L" + std::to_string(FIndex) + "_" + std::to_string(FBlockNumber.at(&block));
}

void TCcFunctionLowering::Fail(const Instruction& instruction, const std::string& text) const {
    throw ErrorAt(instruction, text);
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
    const size_t ret = FOut.Text().size();
    FOut.Op("RET");
    FFrameCode.Returns.emplace_back(ret, FOut.Text().size());
}
