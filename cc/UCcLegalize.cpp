#include "UCcLegalize.h"

#include <algorithm>
#include <functional>
#include <set>

#include <llvm/ADT/STLExtras.h>
#include <llvm/IR/CFG.h>
#include <llvm/IR/Constants.h>
#include <llvm/IR/DataLayout.h>
#include <llvm/IR/IRBuilder.h>
#include <llvm/IR/Instructions.h>
#include <llvm/IR/IntrinsicInst.h>
#include <llvm/IR/Module.h>
#include <llvm/IR/Operator.h>

#include "UCcError.h"
#include "UCcModuleLowering.h"

using namespace llvm;

namespace {

bool IsAggregate(const Type& type) {
    return type.isStructTy() || type.isArrayTy();
}

void LeafPaths(Type& type, std::vector<unsigned>& path, std::vector<std::vector<unsigned>>& paths) {
    if (auto* structure = dyn_cast<StructType>(&type)) {
        for (unsigned i = 0; i < structure->getNumElements(); ++i) {
            path.push_back(i);
            LeafPaths(*structure->getElementType(i), path, paths);
            path.pop_back();
        }
    } else if (auto* array = dyn_cast<ArrayType>(&type)) {
        for (unsigned i = 0; i < array->getNumElements() && paths.size() <= TCcLegalize::MaxLeaves; ++i) {
            path.push_back(i);
            LeafPaths(*array->getElementType(), path, paths);
            path.pop_back();
        }
    } else {
        paths.push_back(path);
    }
}

bool IsConstant(const Value& value, bool one) {
    auto* constant = dyn_cast<ConstantInt>(&value);
    return constant && (one ? constant->isOne() : constant->isZero());
}

// True when Materialize makes the constant itself: an address in a global plus a constant
// offset, or a cast of such a constant.
bool IsMadeDirectly(const Constant& constant, const DataLayout& layout) {
    auto* expression = dyn_cast<ConstantExpr>(&constant);
    if (!expression) return true;
    if (auto* gep = dyn_cast<GEPOperator>(expression)) {
        APInt offset(64, 0);
        return isa<GlobalValue>(gep->getPointerOperand()->stripPointerCasts()) &&
               gep->accumulateConstantOffset(layout, offset);
    }
    return expression->isCast() && IsMadeDirectly(*expression->getOperand(0), layout);
}

void CopyByvalArguments(Function& function) {
    const DataLayout& layout = function.getParent()->getDataLayout();
    std::vector<CallInst*> calls;
    for (BasicBlock& block : function)
        for (Instruction& instruction : block)
            if (auto* call = dyn_cast<CallInst>(&instruction); call && !isa<IntrinsicInst>(call))
                calls.push_back(call);
    IRBuilder<> entry(&*function.getEntryBlock().getFirstInsertionPt());
    for (CallInst* call : calls) {
        const unsigned fixed = call->getFunctionType()->getNumParams();
        for (unsigned i = 0; i < fixed && i < call->arg_size(); ++i) {
            if (!call->isByValArgument(i)) continue;
            Type* type = call->getParamByValType(i);
            const Align align = std::max(call->getParamAlign(i).valueOrOne(), layout.getABITypeAlign(type));
            AllocaInst* copy = entry.CreateAlloca(type);
            copy->setAlignment(align);
            IRBuilder<> before(call);
            before.SetCurrentDebugLocation(call->getDebugLoc());
            before.CreateMemCpy(copy, align, call->getArgOperand(i), align, layout.getTypeAllocSize(type));
            call->setArgOperand(i, copy);
            call->removeParamAttr(i, Attribute::ByVal);
        }
    }
}

void SplitAggregates(Function& function) {
    std::vector<Instruction*> split;
    for (BasicBlock& block : function)
        for (Instruction& instruction : block) {
            Type& type = *instruction.getType();
            if (!IsAggregate(type)) continue;
            if (TCcLegalize::LeafCount(type) > TCcLegalize::MaxLeaves)
                throw ErrorAt(instruction, "aggregate values of more than 64 fields are not supported");
            for (const std::vector<unsigned>& path : TCcLegalize::LeafPaths(type))
                if (!ExtractValueInst::getIndexedType(&type, path)->isIntOrPtrTy())
                    throw ErrorAt(instruction,
                                  "aggregates of this type are not supported (only integers and pointers)");
            if (isa<PHINode>(instruction) || isa<SelectInst>(instruction)) split.push_back(&instruction);
        }
    for (Instruction* instruction : split) {
        Type* type = instruction->getType();
        IRBuilder<> after(instruction->getParent(), instruction->getParent()->getFirstInsertionPt());
        if (isa<SelectInst>(instruction)) after.SetInsertPoint(instruction);
        after.SetCurrentDebugLocation(instruction->getDebugLoc());
        Value* whole = UndefValue::get(type);
        for (const std::vector<unsigned>& path : TCcLegalize::LeafPaths(*type)) {
            Value* leaf = nullptr;
            if (auto* phi = dyn_cast<PHINode>(instruction)) {
                Type* leafType = ExtractValueInst::getIndexedType(type, path);
                IRBuilder<> first(phi);
                PHINode* part = first.CreatePHI(leafType, phi->getNumIncomingValues());
                for (unsigned i = 0; i < phi->getNumIncomingValues(); ++i) {
                    IRBuilder<> edge(phi->getIncomingBlock(i)->getTerminator());
                    part->addIncoming(edge.CreateExtractValue(phi->getIncomingValue(i), path),
                                      phi->getIncomingBlock(i));
                }
                leaf = part;
            } else {
                auto* select = cast<SelectInst>(instruction);
                leaf = after.CreateSelect(select->getCondition(),
                                          after.CreateExtractValue(select->getTrueValue(), path),
                                          after.CreateExtractValue(select->getFalseValue(), path));
            }
            whole = after.CreateInsertValue(whole, leaf, path);
        }
        instruction->replaceAllUsesWith(whole);
        instruction->eraseFromParent();
    }
}

void ExpandConstants(Function& function) {
    const DataLayout& layout = function.getParent()->getDataLayout();
    std::vector<Instruction*> work;
    for (BasicBlock& block : function)
        for (Instruction& instruction : block)
            work.push_back(&instruction);
    while (!work.empty()) {
        Instruction* user = work.back();
        work.pop_back();
        for (unsigned i = 0; i < user->getNumOperands(); ++i) {
            auto* expression = dyn_cast<ConstantExpr>(user->getOperand(i));
            if (!expression || IsMadeDirectly(*expression, layout)) continue;
            Instruction* made = expression->getAsInstruction();
            auto* phi = dyn_cast<PHINode>(user);
            made->insertBefore(phi ? phi->getIncomingBlock(i)->getTerminator() : user);
            made->setDebugLoc(user->getDebugLoc());
            user->setOperand(i, made);
            work.push_back(made);
        }
    }
}

void PlaceBranches(Function& function, char level) {
    if (level == '0') return; // the blocks stay in clang's order, the conditions where they are
    std::vector<BasicBlock*> returns;
    for (BasicBlock& block : function) {
        const BasicBlock* previous = block.getPrevNode();
        if (isa<ReturnInst>(block.getTerminator()) && previous && &block != &function.back() &&
            !is_contained(successors(previous), &block))
            returns.push_back(&block);
    }
    for (BasicBlock* block : returns)
        block->moveAfter(&function.back());
    // The tree moves down to the branch, in its order: pure instructions whose one use is in
    // the tree, so their operands are still in their homes when the branch tests them.
    for (BasicBlock& block : function)
        for (const Instruction* member : TCcLegalize::ConditionTree(block, level))
            const_cast<Instruction*>(member)->moveBefore(block.getTerminator());
}

} // namespace

void TCcLegalize::Run(Module& module, char level) {
    for (llvm::Function& function : module)
        if (!function.isDeclaration()) RunOn(function, TCcModuleLowering::FunctionLevel(function, level));
}

void TCcLegalize::RunOn(llvm::Function& function, char level) {
    CopyByvalArguments(function);
    SplitAggregates(function);
    ExpandConstants(function);
    PlaceBranches(function, level);
}

std::vector<const Instruction*> TCcLegalize::ConditionTree(const BasicBlock& block, char level) {
    auto* branch = dyn_cast<BranchInst>(block.getTerminator());
    if (!branch || !branch->isConditional()) return {};
    if (level == '0') {
        auto* compare = dyn_cast<ICmpInst>(branch->getCondition());
        if (compare && compare->hasOneUse() && compare->getNextNode() == branch) return {compare};
        return {};
    }
    std::set<const Instruction*> tree;
    std::function<void(const Value&)> collect = [&](const Value& value) {
        auto* instruction = dyn_cast<Instruction>(&value);
        if (!instruction || instruction->getParent() != &block || !instruction->hasOneUse()) return;
        const Value *first, *second;
        bool isOr;
        if (isa<ICmpInst>(instruction)) {
            tree.insert(instruction);
        } else if (AsLogic(*instruction, first, second, isOr)) {
            tree.insert(instruction);
            collect(*first);
            collect(*second);
        } else if (IsNegation(*instruction)) {
            tree.insert(instruction);
            collect(*instruction->getOperand(0));
        }
    };
    collect(*branch->getCondition());
    std::vector<const Instruction*> members; // in the block's order
    for (const Instruction& instruction : block)
        if (tree.count(&instruction)) members.push_back(&instruction);
    return members;
}

bool TCcLegalize::AsLogic(const Instruction& instruction, const Value*& first, const Value*& second, bool& isOr) {
    if (!instruction.getType()->isIntegerTy(1)) return false;
    if (instruction.getOpcode() == Instruction::Or || instruction.getOpcode() == Instruction::And) {
        first = instruction.getOperand(0);
        second = instruction.getOperand(1);
        isOr = instruction.getOpcode() == Instruction::Or;
        return true;
    }
    if (auto* select = dyn_cast<SelectInst>(&instruction)) { // c ? true : b is c || b; c ? b : false is c && b
        first = select->getCondition();
        isOr = IsConstant(*select->getTrueValue(), true);
        if (!isOr && !IsConstant(*select->getFalseValue(), false)) return false;
        second = isOr ? select->getFalseValue() : select->getTrueValue();
        return true;
    }
    return false;
}

bool TCcLegalize::IsNegation(const Instruction& instruction) {
    return instruction.getType()->isIntegerTy(1) && instruction.getOpcode() == Instruction::Xor &&
           IsConstant(*instruction.getOperand(1), true);
}

std::vector<std::vector<unsigned>> TCcLegalize::LeafPaths(Type& type) {
    std::vector<unsigned> path;
    std::vector<std::vector<unsigned>> paths;
    ::LeafPaths(type, path, paths);
    return paths;
}

unsigned TCcLegalize::LeafCount(Type& type) {
    if (auto* structure = dyn_cast<StructType>(&type)) {
        unsigned count = 0;
        for (Type* element : structure->elements())
            count += LeafCount(*element);
        return count;
    }
    if (auto* array = dyn_cast<ArrayType>(&type))
        return static_cast<unsigned>(array->getNumElements()) * LeafCount(*array->getElementType());
    return 1;
}
