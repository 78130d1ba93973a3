// Frame layout, operands and control flow; the data instructions are in UCcInstructionSelect.cpp.
#include "UCcFunctionLowering.h"

#include <llvm/IR/Constants.h>
#include <llvm/IR/DataLayout.h>
#include <llvm/IR/DebugInfoMetadata.h>
#include <llvm/IR/Function.h>
#include <llvm/IR/Instructions.h>
#include <llvm/IR/IntrinsicInst.h>
#include <llvm/IR/Module.h>
#include <llvm/IR/Operator.h>

#include "UCcError.h"
#include "UCcModuleLowering.h"
#include "UCcSequences.h"

using namespace llvm;

namespace {

std::string R(int number) {
    return TCcEmitter::Reg(number);
}
int64_t RoundUp16(uint64_t size) {
    return static_cast<int64_t>((size + 15) / 16 * 16);
}

} // namespace

TCcFunctionLowering::TCcFunctionLowering(TCcModuleLowering& module, Function& function, TCcEmitter& out,
                                         unsigned index)
    : FModule(module), FFunction(function), FOut(out), FLayout(module.Layout()), FIndex(index) {}

void TCcFunctionLowering::Lower() {
    Type& result = *FFunction.getReturnType();
    if (IsAggregate(result) && Leaves(result).size() > 2)
        Fail(*FFunction.getEntryBlock().begin(),
             "returning a structure of more than two words is not supported");
    PrepareCalls();
    PrepareAggregates();
    PrepareConstants();
    LayoutFrame();
    Prologue();
    for (BasicBlock& block : FFunction) {
        FOut.Label(BlockLabel(block));
        for (Instruction& instruction : block) {
            SourceComment(instruction);
            const Value* carried = FCarried;
            Select(instruction);
            if (carried == FCarried) FCarried = nullptr; // used up by this instruction
        }
    }
}

void TCcFunctionLowering::SourceComment(const Instruction& instruction) {
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

bool TCcFunctionLowering::IsCarried(const Instruction& instruction) {
    if (isa<PHINode>(instruction) || isa<AllocaInst>(instruction) || !instruction.hasOneUse() ||
        !instruction.getType()->isIntOrPtrTy())
        return false;
    auto* user = dyn_cast<Instruction>(*instruction.user_begin());
    return user && user == instruction.getNextNode() && !isa<PHINode>(user);
}

void TCcFunctionLowering::LayoutFrame() {
    unsigned number = 0;
    for (BasicBlock& block : FFunction)
        FBlockNumber[&block] = number++;
    int64_t offset = 16;
    for (Argument& argument : FFunction.args()) {
        if (!argument.getType()->isIntOrPtrTy())
            Fail(*FFunction.getEntryBlock().begin(), "aggregate parameters are not supported");
        FSlot[&argument] = offset;
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
            }
            if (instruction.getType()->isVoidTy() || IsCarried(instruction)) continue;
            FSlot[&instruction] = offset;
            offset += 16 * SlotCount(*instruction.getType());
            if (isa<PHINode>(instruction)) {
                FPhiTemp[&instruction] = offset;
                offset += 16;
            }
        }
    for (auto& [value, at] : FAlloca) {
        at = offset;
        offset += RoundUp16(*cast<AllocaInst>(value)->getAllocationSizeInBits(FLayout) / 8);
    }
    FSize = offset;
}

void TCcFunctionLowering::Prologue() {
    FOut.Raw("");
    FOut.Comment("function " + FFunction.getName().str() + ": frame of " + std::to_string(FSize) + " bytes");
    FOut.Label(TCcModuleLowering::Label(FFunction));
    FOut.Op("RDCTL", R(TCcEmitter::Addr) + ", SP");
    FOut.Op("STORE", "[" + R(TCcEmitter::Addr) + "], " + R(TCcEmitter::FP));
    FOut.Op("MOV", R(TCcEmitter::FP) + ", " + R(TCcEmitter::Addr));
    FOut.FrameAddress(1, FSize);
    FOut.Op("WRCTL", "SP, " + R(1));
    FModule.LoadStackLimit(FOut, 2);
    FOut.Op("CMP", R(1) + ", " + R(2));
    FOut.Jump("JG", "__roz_stack_overflow");
}

void TCcFunctionLowering::Select(Instruction& instruction) {
    Type& type = *instruction.getType();
    if (!type.isVoidTy() && !type.isIntOrPtrTy() && !IsAggregate(type))
        Fail(instruction, "values of this type are not supported (only integers and pointers)");
    if (type.isIntegerTy() && Bits(instruction) > 64)
        Fail(instruction, "integers wider than 64 bits are not supported on this machine");
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
    case Instruction::Freeze:
        Materialize(1, *instruction.getOperand(0));
        return Result(instruction, 1);
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
        return FOut.Const(reg, constant->getZExtValue());
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
    if (&value == FCarried) {
        if (reg != Carry) FOut.Op("MOV", R(reg) + ", " + R(Carry));
        return;
    }
    const auto slot = FSlot.find(&value);
    if (slot == FSlot.end())
        Fail(*FFunction.getEntryBlock().begin(), "an operand of this kind is not supported");
    FOut.LoadFrame(reg, slot->second);
}

void TCcFunctionLowering::Result(const Instruction& instruction, int reg) {
    if (IsCarried(instruction)) {
        FOut.Op("MOV", R(Carry) + ", " + R(reg));
        FCarried = &instruction;
        return;
    }
    FOut.StoreFrame(FSlot.at(&instruction), reg);
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

void TCcFunctionLowering::Edge(const BasicBlock& from, const BasicBlock& to, bool last) {
    // Phis read their incoming values in parallel: when one reads another phi of the same
    // block, all go through their second slot first.
    bool parallel = false;
    for (const PHINode& phi : to.phis())
        if (auto* source = dyn_cast<PHINode>(phi.getIncomingValueForBlock(&from)))
            parallel |= source->getParent() == &to;
    for (const PHINode& phi : to.phis()) {
        Materialize(1, *phi.getIncomingValueForBlock(&from));
        FOut.StoreFrame(parallel ? FPhiTemp.at(&phi) : FSlot.at(&phi), 1);
    }
    if (parallel)
        for (const PHINode& phi : to.phis()) {
            FOut.LoadFrame(1, FPhiTemp.at(&phi));
            FOut.StoreFrame(FSlot.at(&phi), 1);
        }
    if (!last || from.getNextNode() != &to) FOut.Jump("JMP", BlockLabel(to)); // else it falls through
}

// A conditional jump goes straight to a block without phis, else to the edge's copies.
std::string TCcFunctionLowering::EdgeLabel(const BasicBlock& to) {
    return to.phis().empty() ? BlockLabel(to) : FOut.NewLabel();
}

void TCcFunctionLowering::SelectBr(BranchInst& instruction) {
    const BasicBlock& from = *instruction.getParent();
    if (instruction.isUnconditional()) return Edge(from, *instruction.getSuccessor(0), true);
    const BasicBlock& yes = *instruction.getSuccessor(0);
    const std::string taken = EdgeLabel(yes);
    if (!FFusedJump.empty()) { // the icmp just before left the flags
        FOut.Jump(FFusedJump, taken);
        FFusedJump.clear();
    } else {
        Materialize(1, *instruction.getCondition());
        TCcSequences::ZeroExtend(FOut, 1, 1, 2);
        FOut.Op("CLR", R(2));
        FOut.Op("CMP", R(1) + ", " + R(2));
        FOut.Jump("JNE", taken);
    }
    const bool copies = !yes.phis().empty();
    Edge(from, *instruction.getSuccessor(1), !copies);
    if (copies) {
        FOut.Label(taken);
        Edge(from, yes, true);
    }
}

void TCcFunctionLowering::SelectSwitch(SwitchInst& instruction) {
    const BasicBlock& from = *instruction.getParent();
    const unsigned bits = Bits(*instruction.getCondition());
    Materialize(1, *instruction.getCondition());
    TCcSequences::ZeroExtend(FOut, 1, bits, 2);
    std::vector<std::pair<std::string, const BasicBlock*>> copies;
    for (auto& item : instruction.cases()) {
        const std::string label = EdgeLabel(*item.getCaseSuccessor());
        if (!item.getCaseSuccessor()->phis().empty()) copies.emplace_back(label, item.getCaseSuccessor());
        FOut.Const(2, item.getCaseValue()->getZExtValue());
        FOut.Op("CMP", R(1) + ", " + R(2));
        FOut.Jump("JE", label);
    }
    Edge(from, *instruction.getDefaultDest(), copies.empty());
    for (size_t i = 0; i < copies.size(); ++i) {
        FOut.Label(copies[i].first);
        Edge(from, *copies[i].second, i + 1 == copies.size());
    }
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
    FOut.Op("WRCTL", "SP, " + R(TCcEmitter::FP));
    FOut.Op("LOAD", R(TCcEmitter::FP) + ", [" + R(TCcEmitter::FP) + "]");
    FOut.Op("RET");
}
