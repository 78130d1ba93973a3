// Loop values (above -O0): in each loop, the addresses of the blocks that its jumps go to and
// the constants that its code reads may have a register through the whole loop, set on the
// edges that enter it. PrepareLoopValues lists them with what a register saves (the weight
// that the register allocation compares); EntryCode sets the ones that got a register on an
// entering edge; EnterBlock makes the registers of the loops around a block the ones that
// Jump, Const and ConstOperand (UCcOperands.cpp) use while the block is selected.
#include <algorithm>
#include <cmath>

#include <llvm/ADT/STLExtras.h>
#include <llvm/Analysis/LoopInfo.h>
#include <llvm/IR/CFG.h>
#include <llvm/IR/Constants.h>
#include <llvm/IR/DataLayout.h>
#include <llvm/IR/Dominators.h>
#include <llvm/IR/Instructions.h>
#include <llvm/IR/IntrinsicInst.h>

#include "UCcAsmText.h"
#include "UCcFunctionLowering.h"
#include "UCcValueBits.h"

using namespace llvm;
using namespace cc_text;

void TCcFunctionLowering::PrepareLoopValues() {
    if (FLevel == '0') return;
    FDominators = std::make_unique<DominatorTree>(FFunction);
    FLoops = std::make_unique<LoopInfo>(*FDominators);
    auto mask = [](unsigned bits) { return bits >= 64 ? UINT64_MAX : (uint64_t{1} << bits) - 1; };
    for (Loop* loop : FLoops->getLoopsInPreorder()) {
        std::vector<const BasicBlock*> entries, blocks(loop->block_begin(), loop->block_end());
        for (const BasicBlock* predecessor : predecessors(loop->getHeader()))
            if (!loop->contains(predecessor)) entries.push_back(predecessor);
        if (entries.empty()) continue;
        // The jump targets in the order first met (not by address, so that the output is the
        // same each run), with their weights.
        std::vector<std::pair<const BasicBlock*, double>> targets;
        auto target = [&](const BasicBlock* block, double weight) {
            auto known = std::find_if(targets.begin(), targets.end(), [&](const auto& t) { return t.first == block; });
            if (known == targets.end()) targets.emplace_back(block, weight);
            else known->second += weight;
        };
        std::map<uint64_t, double> constants;
        for (const BasicBlock* block : loop->blocks()) {
            // What a register saves: an instruction per use, against the three of a slot's access.
            const double scale = std::pow(8.0, std::min(FLoops->getLoopDepth(block), 4u)) / 3;
            for (const BasicBlock* successor : JumpTargets(*block)) {
                // The jumps into a block that tests a value of this block's condition again go
                // on to its successors (Threaded).
                auto* again = dyn_cast<BranchInst>(successor->getTerminator());
                bool threaded = again && again->isConditional() && TestsLeaf(*block, *again->getCondition());
                for (const Instruction& instruction : *successor)
                    threaded = threaded && (&instruction == again || isa<DbgInfoIntrinsic>(instruction));
                if (!threaded) {
                    target(successor, scale);
                    continue;
                }
                for (const BasicBlock* next : successors(successor))
                    target(next, scale);
            }
            for (const Instruction& instruction : *block) {
                // A condition tested as a value is compared with 0.
                auto tested = [&](const Value& condition) {
                    auto* leaf = dyn_cast<Instruction>(&condition);
                    if (!leaf || !IsFused(*leaf)) constants[0] += scale;
                };
                if (auto* branch = dyn_cast<BranchInst>(&instruction); branch && branch->isConditional())
                    tested(*branch->getCondition());
                if (IsFused(instruction) && !isa<ICmpInst>(instruction))
                    for (const Value* operand : instruction.operand_values())
                        if (operand->getType()->isIntegerTy(1) && !isa<Constant>(operand)) tested(*operand);
                if (auto* call = dyn_cast<CallInst>(&instruction)) {
                    auto* callee = call->getCalledFunction();
                    if (callee && callee->getName() == "__roz_print") {
                        constants[mask(32)] += scale;
                        constants[uint64_t{1} << 56] += scale;
                        constants[1] += scale;
                    }
                    continue;
                }
                // The constants that the selection reads through Operand (not: the i1 logic
                // of a condition tree, select's arms, a value compare with 0, which is LNOT).
                if (auto* store = dyn_cast<StoreInst>(&instruction);
                    store && store->getValueOperand()->getType()->isIntOrPtrTy() &&
                    !IsPaddedAddress(*store->getPointerOperand()))
                    if (const uint64_t bytes = FLayout.getTypeStoreSize(store->getValueOperand()->getType());
                        bytes < 8)
                        constants[bytes] += scale; // the count of the store's BLKCOPY
                if (isa<PHINode>(instruction) || isa<GetElementPtrInst>(instruction) ||
                    isa<SelectInst>(instruction) || (IsFused(instruction) && !isa<ICmpInst>(instruction)))
                    continue;
                const bool valueEquality = isa<ICmpInst>(instruction) && !IsFused(instruction) &&
                                           cast<ICmpInst>(instruction).isEquality();
                const unsigned opcode = instruction.getOpcode();
                for (const Value* operand : instruction.operand_values()) {
                    if (!operand->getType()->isIntegerTy()) continue;
                    const unsigned bits = Bits(*operand);
                    if (auto* constant = dyn_cast<ConstantInt>(operand)) {
                        const bool step = (opcode == Instruction::Add || opcode == Instruction::Sub) &&
                                          (constant->isOne() || constant->isMinusOne());
                        if (bits <= 64 && !step && !(valueEquality && constant->isZero()))
                            constants[constant->getZExtValue()] += scale;
                        continue;
                    }
                    if (bits >= 64) continue;
                    const bool unsignedUse =
                        opcode == Instruction::ZExt || opcode == Instruction::UDiv ||
                        opcode == Instruction::URem || opcode == Instruction::LShr ||
                        (isa<ICmpInst>(instruction) && cast<ICmpInst>(instruction).isUnsigned());
                    if (unsignedUse && !FBits->ZeroExtended(*operand)) constants[mask(bits)] += scale;
                }
            }
        }
        // The same value of the loop around this one makes this one's needless when it has a
        // register (its range covers this loop).
        auto add = [&](const BasicBlock* target, uint64_t value, double weight) {
            int parent = -1;
            for (size_t k = 0; k < FLoopValues.size(); ++k)
                if (FLoopValues[k].Loop == loop->getParentLoop() && FLoopValues[k].Target == target &&
                    FLoopValues[k].Constant == value)
                    parent = static_cast<int>(k);
            FLoopValues.push_back({loop, target, value, blocks, entries, weight, parent});
        };
        for (auto& [target, weight] : targets)
            add(target, 0, weight);
        for (auto& [value, weight] : constants)
            add(nullptr, value, weight);
    }
}

std::vector<const BasicBlock*> TCcFunctionLowering::JumpTargets(const BasicBlock& block) const {
    const BasicBlock* next = block.getNextNode();
    std::vector<const BasicBlock*> targets;
    if (auto* branch = dyn_cast<BranchInst>(block.getTerminator())) { // as SelectBr places them
        const BasicBlock* yes = branch->getSuccessor(0);
        const BasicBlock* no = branch->isConditional() ? branch->getSuccessor(1) : nullptr;
        auto* condition = no ? dyn_cast<Instruction>(branch->getCondition()) : nullptr;
        if (!no) {
            if (yes != next) targets.push_back(yes);
        } else if (condition && IsFused(*condition) && !isa<ICmpInst>(condition)) { // tests jump both ways
            targets.push_back(yes);
            targets.push_back(no);
        } else if (yes == next && no != next) {
            targets.push_back(no);
        } else {
            targets.push_back(yes);
            if (no != next) targets.push_back(no);
        }
        return targets;
    }
    for (const BasicBlock* successor : successors(&block))
        targets.push_back(successor);
    return targets;
}

bool TCcFunctionLowering::TestsLeaf(const BasicBlock& block, const Value& value) const {
    auto* branch = dyn_cast<BranchInst>(block.getTerminator());
    if (!branch || !branch->isConditional()) return false;
    if (branch->getCondition() == &value) return true;
    for (const Instruction& instruction : block)
        if (IsFused(instruction) && !isa<ICmpInst>(instruction) &&
            is_contained(instruction.operand_values(), &value))
            return true;
    return false;
}

void TCcFunctionLowering::EnterBlock(const BasicBlock& block) {
    FBlock = &block;
    FJumpRegisters.clear();
    FConstRegisters.clear();
    if (!FLoops) return;
    for (const Loop* loop = FLoops->getLoopFor(&block); loop; loop = loop->getParentLoop())
        for (const TLoopValueInfo& info : FLoopValues) { // the innermost loop's first
            const int home = info.Loop == loop ? FAllocation->LoopHome(&info) : -1;
            if (home < 0) continue;
            if (info.Target)
                FJumpRegisters.try_emplace(BlockLabel(*info.Target), home);
            else
                FConstRegisters.try_emplace(info.Constant, home);
        }
}

void TCcFunctionLowering::EntryCode(const BasicBlock& from, const BasicBlock& to) {
    for (const TLoopValueInfo& info : FLoopValues) {
        const int home = FAllocation->LoopHome(&info);
        if (home < 0 || info.Loop->getHeader() != &to || info.Loop->contains(&from)) continue;
        if (info.Target)
            FOut.Op("LDA", R(home) + ", " + BlockLabel(*info.Target));
        else
            FOut.Const(home, info.Constant);
    }
}
